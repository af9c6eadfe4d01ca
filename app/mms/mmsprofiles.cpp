#include "app/mms/mmsprofiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>

#include "app/settings/settingkeys.h"
#include "app/settings/settings.h"
#include "app/sms/store/messageops.h"
#include "base/checks.h"
#include "base/text.h"
#include "common/lang/lang.h"
#include "platform/atomicfile.h"
#include "platform/devicefs.h"

namespace qvl::mms {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr int kFieldCount = 9;

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// C0 controls, DEL and the C1 controls (where the code page's undefined octets land).
bool IsControl(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

bool HasControl(std::u16string_view text) {
    for (const char16_t c : text) {
        if (IsControl(c)) {
            return true;
        }
    }
    return false;
}

// A number of the line: decimal digits only, within [0, hi].
std::optional<std::int32_t> FieldNumber(std::u16string_view field, std::int32_t hi) {
    if (field.empty() || field.size() > 10) {
        return std::nullopt;
    }
    for (const char16_t c : field) {
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
    }
    const auto value = ParseDecimal(field, 0, hi);
    if (!value) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(*value);
}

std::u16string Decimal(std::int32_t value) {
    return Widen(std::to_string(value));
}

}  // namespace

std::string ScrambleMmpLine(std::string_view plain) {
    std::string out;
    out.reserve(plain.size() * 2);
    for (std::size_t i = 0; i < plain.size(); ++i) {
        const auto octet = static_cast<std::uint8_t>(static_cast<std::uint8_t>(plain[i]) ^
                                                     static_cast<std::uint8_t>(kMmpKey[i % 6]));
        out.push_back(kHexDigits[octet >> 4]);
        out.push_back(kHexDigits[octet & 0x0F]);
    }
    return out;
}

std::optional<std::string> UnscrambleMmpLine(std::string_view line, MmpLineProblem& problem) {
    if (line.size() > kMaxMmpLineDigits) {
        problem = MmpLineProblem::kTooLong;
        return std::nullopt;
    }
    // A cut or damaged line is refused whole: read with a digit missing, every later field
    // (the URI, say) would silently lose its end.
    if (line.size() % 2 != 0) {
        problem = MmpLineProblem::kNotHex;
        return std::nullopt;
    }
    std::string plain;
    plain.reserve(line.size() / 2);
    for (std::size_t i = 0; i < line.size(); i += 2) {
        const int high = HexValue(line[i]);
        const int low = HexValue(line[i + 1]);
        if (high < 0 || low < 0) {
            problem = MmpLineProblem::kNotHex;
            return std::nullopt;
        }
        const auto octet = static_cast<std::uint8_t>((high << 4) | low);
        plain.push_back(static_cast<char>(octet ^ static_cast<std::uint8_t>(kMmpKey[(i / 2) % 6])));
    }
    problem = MmpLineProblem::kNone;
    return plain;
}

std::optional<MmsProfile> ParseProfileLine(std::u16string_view line, MmpLineProblem& problem) {
    if (HasControl(line)) {
        problem = MmpLineProblem::kControlCharacter;
        return std::nullopt;
    }
    std::u16string_view fields[kFieldCount];
    std::size_t start = 0;
    for (int i = 0; i < kFieldCount - 1; ++i) {
        const std::size_t bar = line.find(u'|', start);
        if (bar == std::u16string_view::npos) {
            problem = MmpLineProblem::kTooFewFields;
            return std::nullopt;
        }
        fields[i] = line.substr(start, bar - start);
        start = bar + 1;
    }
    fields[kFieldCount - 1] = line.substr(start);

    const auto id = FieldNumber(fields[0], kMaxProfileId);
    if (!id) {
        problem = MmpLineProblem::kBadId;
        return std::nullopt;
    }
    const auto code = FieldNumber(fields[1], kMaxOperatorCode);
    if (!code) {
        problem = MmpLineProblem::kBadOperatorCode;
        return std::nullopt;
    }
    MmsProfile p;
    p.key = *id;
    p.operatorCode = *code;
    p.name = sms::FitField(fields[2], kProfileNameChars);
    p.apn = sms::FitField(fields[3], kProfileApnChars);
    p.user = sms::FitField(fields[4], kProfileUserChars);
    p.password = sms::FitField(fields[5], kProfilePasswordChars);
    p.dns = sms::FitField(fields[6], kProfileDnsChars);
    p.gateway = sms::FitField(fields[7], kProfileGatewayChars);
    p.uri = sms::FitField(fields[8], kProfileUriChars);
    problem = MmpLineProblem::kNone;
    return p;
}

std::u16string FormatProfileLine(const MmsProfile& p) {
    std::u16string line = Decimal(p.key) + u'|' + Decimal(p.operatorCode);
    for (const std::u16string* field :
         {&p.name, &p.apn, &p.user, &p.password, &p.dns, &p.gateway, &p.uri}) {
        line += u'|';
        line += *field;
    }
    return line;
}

MmpWriteProblem CheckWritableProfile(const MmsProfile& p) {
    if (p.key < 0 || p.key > kMaxProfileId || p.operatorCode < 0 ||
        p.operatorCode > kMaxOperatorCode) {
        return MmpWriteProblem::kBadId;
    }
    for (const std::u16string* field :
         {&p.name, &p.apn, &p.user, &p.password, &p.dns, &p.gateway, &p.uri}) {
        if (HasControl(*field)) {
            return MmpWriteProblem::kControlCharacter;
        }
        if (field != &p.uri && field->find(u'|') != std::u16string::npos) {
            return MmpWriteProblem::kSeparatorInField;
        }
        if (AnsiToWide(WideToAnsi(*field)) != *field) {
            return MmpWriteProblem::kNotWindows1252;
        }
    }
    return MmpWriteProblem::kNone;
}

MmpContent ParseMmpFile(std::span<const std::uint8_t> bytes) {
    MmpContent content;
    std::set<std::int32_t> ids;
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    int number = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        // Files written on Windows end their lines with CR LF; blanks at the end are no digits.
        while (!line.empty() &&
               (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
            line.remove_suffix(1);
        }
        if (line.empty()) {
            continue;
        }
        MmpLineProblem problem = MmpLineProblem::kNone;
        const auto plain = UnscrambleMmpLine(line, problem);
        std::optional<MmsProfile> profile;
        if (plain) {
            profile = ParseProfileLine(AnsiToWide(*plain), problem);
        }
        if (profile && !ids.insert(profile->key).second) {
            profile.reset();
            problem = MmpLineProblem::kDuplicateId;
        }
        if (profile) {
            content.profiles.push_back(std::move(*profile));
        } else {
            content.skipped.push_back({number, problem});
        }
    }
    return content;
}

std::string FormatMmpFile(const std::vector<MmsProfile>& profiles) {
    std::string text;
    for (const MmsProfile& p : profiles) {
        text += ScrambleMmpLine(WideToAnsi(FormatProfileLine(p)));
        text += "\r\n";
    }
    return text;
}

MmpFileRead ReadMmpFile(const std::string& path) {
    MmpFileRead result;
    // Non-blocking, so that a FIFO put in the file's place cannot hang the caller.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        const int error = errno;
        result.status = error == ENOENT || error == ENOTDIR ? MmpReadStatus::kMissing
                                                            : MmpReadStatus::kCannotRead;
        result.reason = std::strerror(error);
        return result;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        result.status = MmpReadStatus::kCannotRead;
        result.reason = "not a regular file";
        ::close(fd);
        return result;
    }
    if (static_cast<std::uint64_t>(st.st_size) > kMaxMmpFileBytes) {
        result.status = MmpReadStatus::kTooLarge;
        ::close(fd);
        return result;
    }
    std::string bytes;
    const bool read = ReadFileBytes(fd, static_cast<std::size_t>(st.st_size), bytes);
    const int error = errno;
    ::close(fd);
    if (!read) {
        result.status = MmpReadStatus::kCannotRead;
        result.reason = std::strerror(error);
        return result;
    }
    result.status = MmpReadStatus::kRead;
    result.content = ParseMmpFile(std::span<const std::uint8_t>(
        reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    return result;
}

ImportReport ImportMmsProfiles(const std::string& path, sms::CRecordStore& store) {
    ImportReport report;
    MmpFileRead read = ReadMmpFile(path);
    report.reason = read.reason;
    switch (read.status) {
        case MmpReadStatus::kMissing:
            report.status = ImportStatus::kMissing;
            return report;
        case MmpReadStatus::kCannotRead:
            report.status = ImportStatus::kCannotRead;
            return report;
        case MmpReadStatus::kTooLarge:
            report.status = ImportStatus::kTooLarge;
            return report;
        case MmpReadStatus::kRead:
            break;
    }
    report.skipped = std::move(read.content.skipped);
    if (read.content.profiles.empty()) {
        // A file of another key, or no profile file at all: the user's profiles stay.
        report.status = ImportStatus::kNothingValid;
        return report;
    }
    store.Clear();
    for (MmsProfile& p : read.content.profiles) {
        store.Append(std::move(p));
        ++report.imported;
    }
    report.status = ImportStatus::kImported;
    return report;
}

std::vector<const MmsProfile*> ProfilesOf(const sms::CRecordStore& store) {
    std::vector<const MmsProfile*> list;
    for (const auto& record : store.Records()) {
        if (const auto* p = std::get_if<MmsProfile>(&record)) {
            list.push_back(p);
        }
    }
    return list;
}

const MmsProfile* FindProfileById(const sms::CRecordStore& store, std::int32_t profileId) {
    for (const MmsProfile* p : ProfilesOf(store)) {
        if (p->key == profileId) {
            return p;
        }
    }
    return nullptr;
}

const MmsProfile* FindProfileByOperator(const sms::CRecordStore& store, std::int64_t operatorCode) {
    if (operatorCode < 0) {
        return nullptr;
    }
    for (const MmsProfile* p : ProfilesOf(store)) {
        if (p->operatorCode == operatorCode) {
            return p;
        }
    }
    return nullptr;
}

namespace {

std::optional<std::int32_t> IdAbove(std::int32_t highest) {
    highest = std::max(highest, kNewProfileIdBase);
    if (highest >= kMaxProfileId) {
        return std::nullopt;
    }
    return highest + 1;
}

}  // namespace

std::optional<std::int32_t> NewProfileId(const sms::CRecordStore& store) {
    std::int32_t highest = kNewProfileIdBase;
    for (const MmsProfile* p : ProfilesOf(store)) {
        highest = std::max(highest, p->key);
    }
    return IdAbove(highest);
}

std::optional<std::int32_t> NewProfileId(const std::vector<MmsProfile>& profiles) {
    std::int32_t highest = kNewProfileIdBase;
    for (const MmsProfile& p : profiles) {
        highest = std::max(highest, p.key);
    }
    return IdAbove(highest);
}

bool DetectProfileSetting() {
    return ReadSettingNumber(kRootLocalMachine, keys::kKeyMms, keys::kValueDetectProfile,
                             keys::kDefaultDetectProfile) == 1;
}

std::int32_t SelectedProfileSetting() {
    return static_cast<std::int32_t>(ReadSettingNumber(kRootLocalMachine, keys::kKeyMms,
                                                       keys::kValueSelectedProfileId,
                                                       keys::kDefaultSelectedProfileId));
}

void WriteProfileSettings(bool detect, std::int32_t selectedProfileId) {
    const RegKey key = OpenSettingsKey(kRootLocalMachine, keys::kKeyMms);
    WriteNumberToKey(key, keys::kValueDetectProfile, detect ? 1 : 0);
    WriteNumberToKey(key, keys::kValueSelectedProfileId,
                     static_cast<std::uint32_t>(selectedProfileId));
}

bool MmsImportedSetting() {
    return ReadSettingNumber(kRootLocalMachine, keys::kKeyDialer, keys::kValueMmsImported,
                             keys::kDefaultMmsImported) != 0;
}

void WriteMmsImported() {
    WriteSettingNumber(kRootLocalMachine, keys::kKeyDialer, keys::kValueMmsImported, 1);
}

int ProfileEntryProblem(const MmsProfile& p) {
    if (p.name.empty()) {
        return kMsgProfileNameMissing;
    }
    if (!IsValidApn(p.apn)) {
        return kMsgProfileBadApn;
    }
    if (!IsSafeCredential(p.user, kMaxCredentialLength) ||
        !IsSafeCredential(p.password, kMaxCredentialLength)) {
        return kMsgProfileBadCredentials;
    }
    if (!p.dns.empty() && !ParseDottedIp(p.dns)) {
        return kMsgProfileBadDns;
    }
    return 0;
}

std::u16string FillMessage(std::u16string_view text,
                           std::initializer_list<std::u16string_view> values) {
    std::u16string out;
    auto next = values.begin();
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool mark =
            text[i] == u'%' && i + 1 < text.size() && (text[i + 1] == u's' || text[i + 1] == u'd');
        if (mark && next != values.end()) {
            out += *next++;
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::u16string ImportReportText(const ImportReport& report, const std::string& path) {
    const std::u16string file = Utf8ToWide(path);
    switch (report.status) {
        case ImportStatus::kImported:
            return FillMessage(LoadLocalString(kMsgProfilesImported),
                               {Utf8ToWide(std::to_string(report.imported)),
                                Utf8ToWide(std::to_string(report.skipped.size()))});
        case ImportStatus::kNothingValid:
            return FillMessage(LoadLocalString(kMsgNothingImported), {file});
        case ImportStatus::kTooLarge:
            return FillMessage(LoadLocalString(kMsgImportTooLarge), {file});
        case ImportStatus::kMissing:
        case ImportStatus::kCannotRead:
            break;
    }
    const std::u16string reason =
        report.reason.empty() ? Utf8ToWide(std::strerror(ENOENT)) : Utf8ToWide(report.reason);
    return FillMessage(LoadLocalString(kMsgImportUnreadable), {file, reason});
}

std::string DefaultMmpPath() {
    return DevicePath(keys::kMmsImportFile);
}

FirstImportResult RunFirstMmsImport(const UiPorts& ui, std::u16string_view progressText) {
    if (MmsImportedSetting()) {
        return FirstImportResult::kAlreadyDone;
    }
    if (ui.progress != nullptr) {
        ui.progress->Create(0, 100, -1, false);
        ui.progress->SetText(progressText, -1);
        ui.progress->Show(true);
        ui.Pump();
    }
    ImportReport report;
    const sms::FileChange change =
        sms::ChangeFile(sms::MmsProfileStorePath(), [&](sms::CRecordStore& store) {
            report = ImportMmsProfiles(DefaultMmpPath(), store);
            return report.status == ImportStatus::kImported;
        });
    if (ui.progress != nullptr) {
        ui.progress->Destroy();
    }
    const bool fileRead = report.status != ImportStatus::kCannotRead;
    if (change == sms::FileChange::kNotSaved || !fileRead) {
        return FirstImportResult::kTryAgainLater;
    }
    WriteMmsImported();
    return FirstImportResult::kDone;
}

}  // namespace qvl::mms
