// The record store: list maintenance, the tagged file format and the atomic save.
#include "app/sms/store/recordstore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <mutex>
#include <set>

#include "base/reader.h"
#include "platform/atomicfile.h"
#include "platform/devicefs.h"

namespace qvl::sms {
namespace {

constexpr std::uint32_t kVersionTag = 0;
constexpr std::uint32_t kCurrentVersion = 1;
constexpr std::size_t kSmsPayload = 664;
constexpr std::size_t kSmsPayloadV0 = 2660;
constexpr std::size_t kSmsTextCharsV0 = 1000;
constexpr std::size_t kFolderPayload = 520;
constexpr std::size_t kTemplatePayload = 1028;
constexpr std::size_t kMmsProfilePayload = 492;
constexpr std::size_t kMmsMessagePayload = 676;
constexpr std::size_t kMmsAddressChars = 100;
constexpr std::size_t kMmsTimeChars = 30;

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

// The length a text keeps in a field of maxUnits units: up to the first NUL, at most maxUnits,
// never ending in the first half of a surrogate pair.
std::size_t FittedLength(std::u16string_view text, std::size_t maxUnits) {
    const auto nul = text.find(u'\0');
    std::size_t n = nul == std::u16string_view::npos ? text.size() : nul;
    if (n > maxUnits) {
        n = maxUnits;
        if (n > 0 && IsHighSurrogate(text[n - 1])) {
            --n;
        }
    }
    return n;
}

std::u16string CutAtNul(std::u16string_view text, std::size_t maxUnits) {
    return std::u16string(text.substr(0, FittedLength(text, maxUnits)));
}

// Cuts a held text in place (no copy when it already fits).
void Fit(std::u16string& text, std::size_t maxUnits) {
    const std::size_t n = FittedLength(text, maxUnits);
    if (n != text.size()) {
        text.resize(n);
    }
}

// ---- Writing ----

class Writer {
  public:
    explicit Writer(std::vector<std::uint8_t>& out) : m_out(out) {}
    void U32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            m_out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        }
    }
    void I32(std::int32_t v) { U32(static_cast<std::uint32_t>(v)); }
    void Units(std::u16string_view s) {
        const std::size_t at = m_out.size();
        m_out.resize(at + s.size() * 2);
        std::uint8_t* p = m_out.data() + at;
        for (char16_t c : s) {
            *p++ = static_cast<std::uint8_t>(c & 0xFF);
            *p++ = static_cast<std::uint8_t>(c >> 8);
        }
    }
    // A fixed field: the text as far as it fits, then NULs up to its size.
    void Field(std::u16string_view s, std::size_t chars) {
        const std::size_t n = FittedLength(s, chars - 1);
        Units(s.substr(0, n));
        m_out.resize(m_out.size() + (chars - n) * 2, 0);
    }
    // A variable text: its length with the NUL, then the text and the NUL.
    void CountedText(std::u16string_view s) {
        U32(static_cast<std::uint32_t>(FittedLength(s, kMaxVariableChars - 1) + 1));
    }
    void TextWithNul(std::u16string_view s) {
        Units(s.substr(0, FittedLength(s, kMaxVariableChars - 1)));
        m_out.push_back(0);
        m_out.push_back(0);
    }

  private:
    std::vector<std::uint8_t>& m_out;
};

struct RecordWriter {
    Writer& w;
    void operator()(const SmsRecord& r) const {
        w.U32(static_cast<std::uint32_t>(RecordType::kMessage));
        w.I32(r.id);
        w.I32(r.folder);
        w.Field(r.name, kSmsNameChars);
        w.Field(r.number, kSmsNumberChars);
        w.Field(r.spare, kSmsSpareChars);
        w.Field(r.time, kSmsTimeChars);
        w.CountedText(r.text);
        w.TextWithNul(r.text);
    }
    void operator()(const FolderRecord& r) const {
        w.U32(static_cast<std::uint32_t>(RecordType::kFolder));
        w.I32(r.id);
        w.I32(r.key);
        w.Field(r.name, kFolderNameChars);
    }
    void operator()(const TemplateRecord& r) const {
        w.U32(static_cast<std::uint32_t>(RecordType::kTemplate));
        w.I32(r.id);
        w.I32(r.key);
        w.Field(r.title, kTemplateTitleChars);
        w.Field(r.text, kTemplateTextChars);
    }
    void operator()(const MmsProfileRecord& r) const {
        w.U32(static_cast<std::uint32_t>(RecordType::kMmsProfile));
        w.I32(r.id);
        w.I32(r.key);
        w.I32(r.operatorCode);
        w.Field(r.name, 40);
        w.Field(r.apn, 40);
        w.Field(r.user, 20);
        w.Field(r.password, 20);
        w.Field(r.dns, 20);
        w.Field(r.gateway, 20);
        w.Field(r.uri, 80);
    }
    void operator()(const MmsMessageRecord& r) const {
        w.U32(static_cast<std::uint32_t>(RecordType::kMmsMessage));
        w.I32(r.id);
        w.I32(r.folder);
        w.Field(r.to, kMmsAddressChars);
        w.Field(r.cc, kMmsAddressChars);
        w.Field(r.subject, kMmsAddressChars);
        w.Field(r.time, kMmsTimeChars);
        w.CountedText(r.text);
        w.CountedText(r.objects);
        w.TextWithNul(r.text);
        w.TextWithNul(r.objects);
    }
};

// ---- Reading ----

std::u16string ReadUnits(std::span<const std::uint8_t> bytes) {
    std::size_t n = 0;
    while (n + 1 < bytes.size() && (bytes[n] | bytes[n + 1]) != 0) {
        n += 2;
    }
    std::u16string s(n / 2, u'\0');
    for (std::size_t i = 0; i < n / 2; ++i) {
        s[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    return s;
}

std::u16string ReadField(ByteReader& r, std::size_t chars) {
    return ReadUnits(r.Take(chars * 2));
}

// A variable text of `count` units (NUL included); false when the file does not hold it.
bool ReadCountedText(ByteReader& r, std::uint32_t count, std::u16string& out) {
    if (count > kMaxVariableChars || r.Remaining() / 2 < count) {
        return false;
    }
    out = ReadUnits(r.Take(static_cast<std::size_t>(count) * 2));
    return true;
}

// Reads one record of the given tag; false when the file ends inside it or it is damaged.
bool ReadRecord(ByteReader& r, std::uint32_t tag, std::uint32_t version, Record& out) {
    switch (tag) {
        case 1: {
            SmsRecord m;
            if (version == 0) {
                if (r.Remaining() < kSmsPayloadV0) {
                    return false;
                }
                m.id = static_cast<std::int32_t>(r.U32Le());
                m.folder = static_cast<std::int32_t>(r.U32Le());
                m.name = ReadField(r, kSmsNameChars);
                m.number = ReadField(r, kSmsNumberChars);
                m.spare = ReadField(r, kSmsSpareChars);
                m.text = ReadField(r, kSmsTextCharsV0);
                m.time = ReadField(r, kSmsTimeChars);
                out = std::move(m);
                return r.Ok();
            }
            if (r.Remaining() < kSmsPayload) {
                return false;
            }
            m.id = static_cast<std::int32_t>(r.U32Le());
            m.folder = static_cast<std::int32_t>(r.U32Le());
            m.name = ReadField(r, kSmsNameChars);
            m.number = ReadField(r, kSmsNumberChars);
            m.spare = ReadField(r, kSmsSpareChars);
            m.time = ReadField(r, kSmsTimeChars);
            const std::uint32_t count = r.U32Le();
            if (!ReadCountedText(r, count, m.text)) {
                return false;
            }
            out = std::move(m);
            return r.Ok();
        }
        case 2: {
            if (r.Remaining() < kFolderPayload) {
                return false;
            }
            FolderRecord f;
            f.id = static_cast<std::int32_t>(r.U32Le());
            f.key = static_cast<std::int32_t>(r.U32Le());
            f.name = ReadField(r, kFolderNameChars);
            out = std::move(f);
            return r.Ok();
        }
        case 3: {
            if (r.Remaining() < kTemplatePayload) {
                return false;
            }
            TemplateRecord t;
            t.id = static_cast<std::int32_t>(r.U32Le());
            t.key = static_cast<std::int32_t>(r.U32Le());
            t.title = ReadField(r, kTemplateTitleChars);
            t.text = ReadField(r, kTemplateTextChars);
            out = std::move(t);
            return r.Ok();
        }
        case 4: {
            if (r.Remaining() < kMmsProfilePayload) {
                return false;
            }
            MmsProfileRecord p;
            p.id = static_cast<std::int32_t>(r.U32Le());
            p.key = static_cast<std::int32_t>(r.U32Le());
            p.operatorCode = static_cast<std::int32_t>(r.U32Le());
            p.name = ReadField(r, 40);
            p.apn = ReadField(r, 40);
            p.user = ReadField(r, 20);
            p.password = ReadField(r, 20);
            p.dns = ReadField(r, 20);
            p.gateway = ReadField(r, 20);
            p.uri = ReadField(r, 80);
            out = std::move(p);
            return r.Ok();
        }
        case 5: {
            if (r.Remaining() < kMmsMessagePayload) {
                return false;
            }
            MmsMessageRecord m;
            m.id = static_cast<std::int32_t>(r.U32Le());
            m.folder = static_cast<std::int32_t>(r.U32Le());
            m.to = ReadField(r, kMmsAddressChars);
            m.cc = ReadField(r, kMmsAddressChars);
            m.subject = ReadField(r, kMmsAddressChars);
            m.time = ReadField(r, kMmsTimeChars);
            const std::uint32_t textCount = r.U32Le();
            const std::uint32_t objectCount = r.U32Le();
            if (!ReadCountedText(r, textCount, m.text) ||
                !ReadCountedText(r, objectCount, m.objects)) {
                return false;
            }
            out = std::move(m);
            return r.Ok();
        }
        default:
            return false;
    }
}

// Fits every field of a record to what the file can hold, so that the list holds exactly
// what a save and a load give back.
struct Normalizer {
    void operator()(SmsRecord& r) const {
        Fit(r.name, kSmsNameChars - 1);
        Fit(r.number, kSmsNumberChars - 1);
        Fit(r.spare, kSmsSpareChars - 1);
        Fit(r.time, kSmsTimeChars - 1);
        Fit(r.text, kMaxVariableChars - 1);
    }
    void operator()(FolderRecord& r) const { Fit(r.name, kFolderNameChars - 1); }
    void operator()(TemplateRecord& r) const {
        Fit(r.title, kTemplateTitleChars - 1);
        Fit(r.text, kTemplateTextChars - 1);
    }
    void operator()(MmsProfileRecord& r) const {
        Fit(r.name, 39);
        Fit(r.apn, 39);
        Fit(r.user, 19);
        Fit(r.password, 19);
        Fit(r.dns, 19);
        Fit(r.gateway, 19);
        Fit(r.uri, 79);
    }
    void operator()(MmsMessageRecord& r) const {
        Fit(r.to, kMmsAddressChars - 1);
        Fit(r.cc, kMmsAddressChars - 1);
        Fit(r.subject, kMmsAddressChars - 1);
        Fit(r.time, kMmsTimeChars - 1);
        Fit(r.text, kMaxVariableChars - 1);
        Fit(r.objects, kMaxVariableChars - 1);
    }
};

void SetId(Record& r, std::int32_t id) {
    std::visit([id](auto& rec) { rec.id = id; }, r);
}

std::size_t MessageHash(const SmsRecord& m) {
    const std::hash<std::u16string_view> h;
    std::size_t v = h(m.number);
    v = v * 1000003u ^ h(m.time);
    v = v * 1000003u ^ h(m.text);
    return v;
}

bool SameMessage(const SmsRecord& a, const SmsRecord& b) {
    return a.number == b.number && a.time == b.time && a.text == b.text;
}

// ---- Problems met with the files, for the user ----

constexpr std::size_t kMaxStoreFileBytes = std::size_t{512} << 20;

struct ProblemQueue {
    std::mutex lock;
    std::vector<StoreProblem> pending;
    std::set<std::string> told;  // load problems already told, so each is told once
};

ProblemQueue& Problems() {
    static ProblemQueue queue;
    return queue;
}

void QueueProblem(StoreProblem problem) {
    ProblemQueue& q = Problems();
    std::lock_guard<std::mutex> guard(q.lock);
    if (problem.kind == StoreProblem::Kind::kNotSaved) {
        // Several refused saves of one operation make one notice.
        for (const auto& p : q.pending) {
            if (p.kind == problem.kind && p.path == problem.path) {
                return;
            }
        }
    } else {
        const std::string key = std::to_string(static_cast<int>(problem.kind)) + "|" +
                                problem.path + "|" + problem.reason + "|" + problem.copyPath;
        if (!q.told.insert(key).second) {
            return;
        }
    }
    q.pending.push_back(std::move(problem));
}

}  // namespace

struct CRecordStore::Index {
    std::unordered_multimap<std::size_t, std::list<Record>::iterator> messages;
};

RecordType TypeOf(const Record& record) {
    return static_cast<RecordType>(record.index() + 1);
}

std::int32_t IdOf(const Record& record) {
    return std::visit([](const auto& r) { return r.id; }, record);
}

std::u16string FitField(std::u16string_view text, std::size_t chars) {
    return CutAtNul(text, chars == 0 ? 0 : chars - 1);
}

CRecordStore::CRecordStore() : m_index(std::make_unique<Index>()) {}
CRecordStore::~CRecordStore() = default;

void CRecordStore::Clear() {
    m_records.clear();
    m_index->messages.clear();
}

void CRecordStore::Reindex() {
    m_index->messages.clear();
    for (auto it = m_records.begin(); it != m_records.end(); ++it) {
        if (const auto* m = std::get_if<SmsRecord>(&*it)) {
            m_index->messages.emplace(MessageHash(*m), it);
        }
    }
}

bool CRecordStore::Append(Record record) {
    std::visit(Normalizer{}, record);
    std::size_t hash = 0;
    if (const auto* m = std::get_if<SmsRecord>(&record)) {
        hash = MessageHash(*m);
        const auto [first, last] = m_index->messages.equal_range(hash);
        for (auto it = first; it != last; ++it) {
            if (SameMessage(std::get<SmsRecord>(*it->second), *m)) {
                return false;
            }
        }
    }
    SetId(record, m_records.empty() ? 0 : IdOf(m_records.back()) + 1);
    m_records.push_back(std::move(record));
    if (std::holds_alternative<SmsRecord>(m_records.back())) {
        m_index->messages.emplace(hash, std::prev(m_records.end()));
    }
    return true;
}

void CRecordStore::Renumber(std::list<Record>::iterator from, std::int32_t delta) {
    for (auto it = from; it != m_records.end(); ++it) {
        SetId(*it, IdOf(*it) + delta);
    }
}

void CRecordStore::InsertAfter(RecordType type, std::int32_t id, Record record) {
    auto pred = m_records.end();
    for (auto it = m_records.begin(); it != m_records.end(); ++it) {
        if (TypeOf(*it) == type && IdOf(*it) == id) {
            pred = it;
            break;
        }
    }
    if (pred == m_records.end()) {
        std::visit(Normalizer{}, record);
        SetId(record, m_records.empty() ? 0 : IdOf(m_records.back()) + 1);
        m_records.push_back(std::move(record));
        Reindex();
        return;
    }
    std::visit(Normalizer{}, record);
    SetId(record, IdOf(*pred) + 1);
    auto next = std::next(pred);
    Renumber(next, 1);
    m_records.insert(next, std::move(record));
    Reindex();
}

bool CRecordStore::Remove(RecordType type, std::int32_t id) {
    for (auto it = m_records.begin(); it != m_records.end(); ++it) {
        if (TypeOf(*it) == type && IdOf(*it) == id) {
            if (const auto* m = std::get_if<SmsRecord>(&*it)) {
                const auto [first, last] = m_index->messages.equal_range(MessageHash(*m));
                for (auto e = first; e != last; ++e) {
                    if (e->second == it) {
                        m_index->messages.erase(e);
                        break;
                    }
                }
            }
            Renumber(std::next(it), -1);
            m_records.erase(it);
            return true;
        }
    }
    return false;
}

Record* CRecordStore::Find(RecordType type, std::int32_t id) {
    for (auto& r : m_records) {
        if (TypeOf(r) == type && IdOf(r) == id) {
            return &r;
        }
    }
    return nullptr;
}

const Record* CRecordStore::Find(RecordType type, std::int32_t id) const {
    for (const auto& r : m_records) {
        if (TypeOf(r) == type && IdOf(r) == id) {
            return &r;
        }
    }
    return nullptr;
}

int CRecordStore::Count(RecordType type) const {
    int n = 0;
    for (const auto& r : m_records) {
        n += TypeOf(r) == type ? 1 : 0;
    }
    return n;
}

std::vector<std::uint8_t> CRecordStore::Serialize() {
    m_version = static_cast<int>(kCurrentVersion);
    std::vector<std::uint8_t> out;
    std::size_t estimate = 8;
    for (const auto& r : m_records) {
        estimate += 4 + 1100;
        if (const auto* m = std::get_if<SmsRecord>(&r)) {
            estimate += m->text.size() * 2;
        }
    }
    out.reserve(estimate);
    Writer w(out);
    w.U32(kVersionTag);
    w.U32(kCurrentVersion);
    for (const auto& r : m_records) {
        std::visit(RecordWriter{w}, r);
    }
    return out;
}

bool CRecordStore::Deserialize(const std::vector<std::uint8_t>& bytes) {
    return DeserializeSpan(bytes);
}

bool CRecordStore::DeserializeSpan(std::span<const std::uint8_t> bytes) {
    return Parse(bytes) == LoadStatus::kLoaded;
}

LoadStatus CRecordStore::Parse(std::span<const std::uint8_t> bytes) {
    Clear();
    m_version = 0;
    ByteReader r(bytes);
    while (r.Remaining() > 0) {
        if (r.Remaining() < 4) {
            return LoadStatus::kDamaged;
        }
        const std::uint32_t tag = r.U32Le();
        if (tag == kVersionTag) {
            if (r.Remaining() < 4) {
                return LoadStatus::kDamaged;
            }
            const std::uint32_t version = r.U32Le();
            if (version > kCurrentVersion) {
                return LoadStatus::kNewerVersion;  // a layout this program does not know
            }
            m_version = static_cast<int>(version);
            continue;
        }
        if (tag != 1 && m_version != static_cast<int>(kCurrentVersion)) {
            return LoadStatus::kDamaged;  // version-0 files hold messages only
        }
        Record record;
        if (!ReadRecord(r, tag, static_cast<std::uint32_t>(m_version), record)) {
            return LoadStatus::kDamaged;
        }
        Append(std::move(record));
    }
    return LoadStatus::kLoaded;
}

bool CRecordStore::Load(const std::string& path) {
    Clear();
    m_version = 0;
    m_loadedPath = path;
    m_loadStatus = LoadStatus::kLoaded;
    m_saveRefused = false;
    auto cannotOpen = [&](std::string reason) {
        m_loadStatus = LoadStatus::kCannotOpen;
        m_saveRefused = true;
        QueueProblem({StoreProblem::Kind::kCannotOpen, path, std::move(reason), 0, {}});
        return false;
    };
    // Non-blocking, so that a FIFO standing where the file should be cannot hang the screen.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT) {
            m_loadStatus = LoadStatus::kMissing;
            return true;
        }
        return cannotOpen(std::strerror(errno));
    }
    struct stat st {};
    std::string bytes;
    std::string failure;
    if (::fstat(fd, &st) != 0) {
        failure = std::strerror(errno);
    } else if (!S_ISREG(st.st_mode)) {
        failure = "not a regular file";
    } else if (static_cast<std::uint64_t>(st.st_size) > kMaxStoreFileBytes) {
        failure = "larger than 512 MiB";
    } else if (!ReadFileBytes(fd, static_cast<std::size_t>(st.st_size), bytes)) {
        failure = std::strerror(errno);
    }
    if (!failure.empty()) {
        ::close(fd);
        return cannotOpen(std::move(failure));
    }
    // Read into memory rather than mapped: a file cut short by another program meanwhile
    // gives a short read, and so a damaged store, never a fault.
    m_loadStatus = Parse(std::span<const std::uint8_t>(
        reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    switch (m_loadStatus) {
        case LoadStatus::kLoaded:
        case LoadStatus::kMissing:
        case LoadStatus::kCannotOpen:
            break;
        case LoadStatus::kNewerVersion:
            m_saveRefused = true;
            QueueProblem({StoreProblem::Kind::kNewerVersion, path, {}, 0, {}});
            break;
        case LoadStatus::kDamaged: {
            // What could not be read is kept aside before anything may be written over it;
            // without that copy the file stays as it is.
            std::string copy;
            m_saveRefused = !KeepDamagedCopy(path, fd, st, copy);
            QueueProblem({StoreProblem::Kind::kDamaged,
                          path,
                          {},
                          static_cast<int>(m_records.size()),
                          m_saveRefused ? "" : copy});
            break;
        }
    }
    ::close(fd);
    return m_loadStatus == LoadStatus::kLoaded;
}

bool CRecordStore::CanSave(const std::string& path) const {
    return !(m_saveRefused && path == m_loadedPath);
}

bool CRecordStore::Save(const std::string& path) {
    if (!CanSave(path)) {
        QueueProblem(
            {StoreProblem::Kind::kNotSaved, path, "the file could not be read whole", 0, {}});
        return false;
    }
    m_version = static_cast<int>(kCurrentVersion);
    AtomicFile file(path);
    if (!file.Open()) {
        QueueProblem({StoreProblem::Kind::kNotSaved, path, file.Error(), 0, {}});
        return false;
    }
    // Written in slices of about a megabyte, so a large store needs no second copy in memory.
    constexpr std::size_t kSlice = 1 << 20;
    std::vector<std::uint8_t> buffer;
    buffer.reserve(kSlice + 4096);
    Writer w(buffer);
    w.U32(kVersionTag);
    w.U32(kCurrentVersion);
    bool written = true;
    for (const auto& r : m_records) {
        std::visit(RecordWriter{w}, r);
        if (buffer.size() >= kSlice) {
            written = file.Write(buffer);
            buffer.clear();
            if (!written) {
                break;
            }
        }
    }
    if (!written || !file.Write(buffer) || !file.Commit(KeepBackup::Yes)) {
        QueueProblem({StoreProblem::Kind::kNotSaved, path, file.Error(), 0, {}});
        return false;
    }
    if (path == m_loadedPath) {
        m_loadStatus = LoadStatus::kLoaded;
    }
    return true;
}

std::vector<StoreProblem> TakeStoreProblems() {
    ProblemQueue& q = Problems();
    std::lock_guard<std::mutex> guard(q.lock);
    std::vector<StoreProblem> out;
    out.swap(q.pending);
    return out;
}

std::string SmsStorePath() {
    return DevicePath(u"QVLPhoneSMS.dat");
}
std::string FolderStorePath() {
    return DevicePath(u"QVLSMSFolder.dat");
}
std::string TemplateStorePath() {
    return DevicePath(u"QVLSMSTemplate.dat");
}
std::string MmsProfileStorePath() {
    return DevicePath(u"QVLMMSProfiles.dat");
}
std::string MmsStorePath() {
    return DevicePath(u"QVLPhoneMMS.dat");
}

}  // namespace qvl::sms
