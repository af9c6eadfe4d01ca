// CRecordStore: the typed record file behind QVLPhoneSMS.dat (messages), QVLSMSFolder.dat
// (folders), QVLSMSTemplate.dat (templates), QVLMMSProfiles.dat (MMS profiles) and
// QVLPhoneMMS.dat (sent MMS). A list of records in file order, saved to and loaded from a tagged
// little-endian binary file; docs/sms-store.md gives the byte layout.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <variant>
#include <vector>

namespace qvl::sms {

enum class RecordType : std::uint32_t {
    kMessage = 1,
    kFolder = 2,
    kTemplate = 3,
    kMmsProfile = 4,
    kMmsMessage = 5,
};

// Folder keys of messages (SmsRecord and MmsMessageRecord).
inline constexpr std::int32_t kFolderInUnread = 0;
inline constexpr std::int32_t kFolderInRead = 1;
inline constexpr std::int32_t kFolderOutUnsent = 2;
inline constexpr std::int32_t kFolderOutSent = 3;
inline constexpr std::int32_t kFolderDrafts = 9999;
inline constexpr std::int32_t kFirstUserFolder = 4;

// Capacities of the fixed text fields in UTF-16 units, the terminating NUL included. Longer
// texts are cut (never inside a surrogate pair) when a record enters the store.
inline constexpr std::size_t kSmsNameChars = 20;
inline constexpr std::size_t kSmsNumberChars = 20;
inline constexpr std::size_t kSmsSpareChars = 255;
inline constexpr std::size_t kSmsTimeChars = 31;
inline constexpr std::size_t kFolderNameChars = 256;
inline constexpr std::size_t kTemplateTitleChars = 255;
inline constexpr std::size_t kTemplateTextChars = 255;
// The text of a message (and the two texts of an MMS record) are variable; this bounds what
// one record may hold so a damaged length never allocates without bound.
inline constexpr std::size_t kMaxVariableChars = 1u << 20;

// Type 1. Texts hold no NUL.
struct SmsRecord {
    std::int32_t id = 0;
    std::int32_t folder = kFolderInUnread;
    std::u16string name;  // spare, written empty by this program
    std::u16string number;
    std::u16string spare;  // spare, written empty by this program
    std::u16string time;   // codec time text; empty for messages written on the device
    std::u16string text;

    bool operator==(const SmsRecord&) const = default;
};

// Type 2.
struct FolderRecord {
    std::int32_t id = 0;
    std::int32_t key = 0;
    std::u16string name;

    bool operator==(const FolderRecord&) const = default;
};

// Type 3.
struct TemplateRecord {
    std::int32_t id = 0;
    std::int32_t key = 0;
    std::u16string title;
    std::u16string text;

    bool operator==(const TemplateRecord&) const = default;
};

// Type 4: an MMS profile (fields filled by the MMS profiles code).
struct MmsProfileRecord {
    std::int32_t id = 0;
    std::int32_t key = 0;           // profile id
    std::int32_t operatorCode = 0;  // MCC and MNC as one decimal number
    std::u16string name;            // 40
    std::u16string apn;             // 40
    std::u16string user;            // 20
    std::u16string password;        // 20
    std::u16string dns;             // 20
    std::u16string gateway;         // 20
    std::u16string uri;             // 80

    bool operator==(const MmsProfileRecord&) const = default;
};

// Type 5: a sent MMS (fields filled by the MMS sending flow).
struct MmsMessageRecord {
    std::int32_t id = 0;
    std::int32_t folder = kFolderOutSent;
    std::u16string to;       // 100
    std::u16string cc;       // 100
    std::u16string subject;  // 100
    std::u16string time;     // 30
    std::u16string text;     // variable
    std::u16string objects;  // variable: object paths, each followed by "\n"

    bool operator==(const MmsMessageRecord&) const = default;
};

using Record =
    std::variant<SmsRecord, FolderRecord, TemplateRecord, MmsProfileRecord, MmsMessageRecord>;

RecordType TypeOf(const Record& record);
std::int32_t IdOf(const Record& record);

// How the last Load of a store went.
enum class LoadStatus {
    kLoaded,        // the whole file was read
    kMissing,       // there was no file: an empty store
    kCannotOpen,    // the file is there but cannot be read (rights, I/O error, not a file, size)
    kNewerVersion,  // written in a layout this program does not know: nothing was read
    kDamaged,       // read up to the damage (cut short, unknown tag, impossible length)
};

// A problem met with a record file, for the user. Load problems are reported once per
// process and file state; a save that was refused or failed is reported each time (several of
// one operation as one).
struct StoreProblem {
    enum class Kind { kCannotOpen, kNewerVersion, kDamaged, kNotSaved };
    Kind kind = Kind::kCannotOpen;
    std::string path;
    std::string reason;    // kCannotOpen, kNotSaved: what failed
    int recordsKept = 0;   // kDamaged: the records before the damage
    std::string copyPath;  // kDamaged: where the whole file was kept; empty when no copy was made
};

// The problems met since the last call, oldest first.
std::vector<StoreProblem> TakeStoreProblems();

class CRecordStore {
  public:
    CRecordStore();
    ~CRecordStore();
    CRecordStore(const CRecordStore&) = delete;
    CRecordStore& operator=(const CRecordStore&) = delete;

    // Frees the list, then reads the file (UTF-8 path) with read(), never a mapping. A missing
    // file leaves an empty store (true). Otherwise false unless the whole file was read: a
    // damaged file gives every record that is whole up to the damage. A file that could not be
    // read whole is remembered: Save refuses to write over it (see CanSave), except over a
    // damaged file that has been kept aside as "<path>.corrupt-<time>". Each problem is queued
    // for the user (TakeStoreProblems).
    bool Load(const std::string& path);
    LoadStatus LastLoadStatus() const { return m_loadStatus; }
    // False when the last Load was of path and could not read it whole, and what it could not
    // read exists nowhere else: saving would lose it.
    bool CanSave(const std::string& path) const;
    // Keeps the previous file as path + ".bak", then replaces the file atomically with the
    // version record and every record (mode 0600). False when the save was refused (CanSave)
    // or the new file could not be written; the old file is then untouched.
    bool Save(const std::string& path);
    // The file's bytes, as Save writes them.
    std::vector<std::uint8_t> Serialize();
    // Replaces the content from bytes, as Load reads them. False when the data was damaged.
    bool Deserialize(const std::vector<std::uint8_t>& bytes);
    bool DeserializeSpan(std::span<const std::uint8_t> bytes);

    // Adds at the end with the previous record's id + 1. A message (type 1) equal in number,
    // time and text to one already held is not added: returns false.
    bool Append(Record record);
    // Adds after the record (type, id), or at the end when there is none.
    void InsertAfter(RecordType type, std::int32_t id, Record record);
    // Unlinks the record (type, id); later ids drop by 1. False when there is none.
    bool Remove(RecordType type, std::int32_t id);
    // The record (type, id), or nullptr. The pointer lives until the record is removed.
    Record* Find(RecordType type, std::int32_t id);
    const Record* Find(RecordType type, std::int32_t id) const;
    template <typename T>
    T* FindAs(std::int32_t id) {
        Record* r = Find(TypeOf(Record{T{}}), id);
        return r != nullptr ? std::get_if<T>(r) : nullptr;
    }
    int Count(RecordType type) const;
    void Clear();

    int Version() const { return m_version; }
    // Records in list order.
    const std::list<Record>& Records() const { return m_records; }
    // Visits every record of type T in order; the callback may change fields other than id.
    // A changed message is re-indexed for duplicate suppression afterwards.
    template <typename T, typename F>
    void ForEach(F&& f) {
        for (auto& r : m_records) {
            if (auto* p = std::get_if<T>(&r)) {
                f(*p);
            }
        }
        if constexpr (std::is_same_v<T, SmsRecord>) {
            Reindex();
        }
    }
    // Must be called after changing a message's number, time or text through Find.
    void Reindex();

  private:
    struct Index;
    void Renumber(std::list<Record>::iterator from, std::int32_t delta);
    LoadStatus Parse(std::span<const std::uint8_t> bytes);

    std::list<Record> m_records;
    std::unique_ptr<Index> m_index;
    int m_version = 0;
    std::string m_loadedPath;
    LoadStatus m_loadStatus = LoadStatus::kMissing;
    bool m_saveRefused = false;
};

// Cuts a text to a fixed field of `chars` units (NUL included): at most chars - 1 units, never
// ending in the first half of a surrogate pair, and nothing from the first NUL on.
std::u16string FitField(std::u16string_view text, std::size_t chars);

// The record files in the device root.
std::string SmsStorePath();         // QVLPhoneSMS.dat
std::string FolderStorePath();      // QVLSMSFolder.dat
std::string TemplateStorePath();    // QVLSMSTemplate.dat
std::string MmsProfileStorePath();  // QVLMMSProfiles.dat
std::string MmsStorePath();         // QVLPhoneMMS.dat

}  // namespace qvl::sms
