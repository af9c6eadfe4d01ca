// MMS profiles: the operator settings of an MMS send (WAP gateway, relay URI, packet-data
// access point and its log-in), kept as type-4 records in QVLMMSProfiles.dat; their exchange
// file ".mmp"; the MMS registry values; and the import of "\My Documents\mms.mmp" at the
// program's first start.
//
// An .mmp file is single-byte text, one profile a line. Each line is scrambled: the line's
// Windows-1252 octets are combined by exclusive-or with a repeating six-character key and
// written as pairs of hexadecimal digits. Unscrambled, a line holds nine fields separated by
// "|": id and operator code (decimal digits), name, APN, user name, password, DNS, gateway and
// relay URI (the URI is everything after the eighth "|"). docs/mms-sending.md gives the key.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/sms/store/recordstore.h"
#include "common/ports/uiports.h"

namespace qvl::mms {

using MmsProfile = sms::MmsProfileRecord;

// Field capacities of a type-4 record in UTF-16 units, the NUL included.
inline constexpr std::size_t kProfileNameChars = 40;
inline constexpr std::size_t kProfileApnChars = 40;
inline constexpr std::size_t kProfileUserChars = 20;
inline constexpr std::size_t kProfilePasswordChars = 20;
inline constexpr std::size_t kProfileDnsChars = 20;
inline constexpr std::size_t kProfileGatewayChars = 20;
inline constexpr std::size_t kProfileUriChars = 80;

// The key the lines of an .mmp file are scrambled with.
inline constexpr std::string_view kMmpKey = "Qv7#mP";
// A line holds at most 500 characters once unscrambled, so at most 1000 hexadecimal digits.
inline constexpr std::size_t kMaxMmpLineDigits = 1000;
// A larger file is no profile list: it is not read.
inline constexpr std::size_t kMaxMmpFileBytes = 1u << 20;
// Profile ids are 0 to kMaxProfileId, so that a new id (the highest + 1) never overflows;
// operator codes (MCC and MNC as one number) have at most six digits.
inline constexpr std::int32_t kMaxProfileId = 999'999'999;
inline constexpr std::int32_t kMaxOperatorCode = 999'999;
// New profiles get ids above every existing id and above this one.
inline constexpr std::int32_t kNewProfileIdBase = 5000;

// Why a line of an .mmp file gave no profile.
enum class MmpLineProblem {
    kNone,
    kTooLong,           // more than kMaxMmpLineDigits digits
    kNotHex,            // an odd number of digits, or a character that is no hexadecimal digit
    kControlCharacter,  // the unscrambled line holds a control character (NUL, CR, ...)
    kTooFewFields,      // fewer than nine fields
    kBadId,             // the id is not a number from 0 to kMaxProfileId
    kBadOperatorCode,   // the operator code is not a number from 0 to kMaxOperatorCode
    kDuplicateId,       // an earlier line of the file has the same id
};

// Scrambles the octets of one line: kMmpKey combined by exclusive-or, written as upper-case
// hexadecimal pairs.
std::string ScrambleMmpLine(std::string_view plain);
// The octets of a scrambled line (without its line end), or nothing with the problem.
std::optional<std::string> UnscrambleMmpLine(std::string_view line, MmpLineProblem& problem);

// The profile of an unscrambled line, its text fields cut to their widths; the record's store
// id is left 0.
std::optional<MmsProfile> ParseProfileLine(std::u16string_view line, MmpLineProblem& problem);
// The nine fields of a profile joined by "|".
std::u16string FormatProfileLine(const MmsProfile& profile);

// Why a profile cannot be written to an .mmp file.
enum class MmpWriteProblem {
    kNone,
    kSeparatorInField,  // a field before the URI holds "|"
    kControlCharacter,  // a field holds a control character
    kNotWindows1252,    // a character the file's single-byte code page cannot hold
    kBadId,             // id or operator code outside their ranges
};
MmpWriteProblem CheckWritableProfile(const MmsProfile& profile);

struct MmpSkippedLine {
    int line = 0;  // counted from 1
    MmpLineProblem problem = MmpLineProblem::kNone;
};

// What an .mmp file holds: the profiles in file order, and the lines that gave none. Empty
// lines are neither.
struct MmpContent {
    std::vector<MmsProfile> profiles;
    std::vector<MmpSkippedLine> skipped;
};
MmpContent ParseMmpFile(std::span<const std::uint8_t> bytes);
// The file's text for these profiles, one scrambled line each, each ended by CR LF. Profiles
// that CheckWritableProfile refuses must not be passed.
std::string FormatMmpFile(const std::vector<MmsProfile>& profiles);

enum class MmpReadStatus { kRead, kMissing, kCannotRead, kTooLarge };
struct MmpFileRead {
    MmpReadStatus status = MmpReadStatus::kMissing;
    std::string reason;  // kCannotRead: what failed
    MmpContent content;
};
// Reads an .mmp file (UTF-8 path) without following it into a FIFO or device.
MmpFileRead ReadMmpFile(const std::string& path);

// How an import went. The store's profiles are replaced only for kImported.
enum class ImportStatus { kImported, kMissing, kCannotRead, kTooLarge, kNothingValid };
struct ImportReport {
    ImportStatus status = ImportStatus::kMissing;
    int imported = 0;
    std::vector<MmpSkippedLine> skipped;
    std::string reason;
};
// Reads the file into a list of its own; when at least one line gave a profile, the store is
// cleared and holds the file's profiles in file order. Otherwise the store is left as it was.
ImportReport ImportMmsProfiles(const std::string& path, sms::CRecordStore& store);

// The profiles of a store in list order.
std::vector<const MmsProfile*> ProfilesOf(const sms::CRecordStore& store);
// The first profile with this profile id / operator code, or null.
const MmsProfile* FindProfileById(const sms::CRecordStore& store, std::int32_t profileId);
const MmsProfile* FindProfileByOperator(const sms::CRecordStore& store, std::int64_t operatorCode);
// The id of a new profile: the larger of kNewProfileIdBase and the highest id, plus 1; nothing
// when that would pass kMaxProfileId.
std::optional<std::int32_t> NewProfileId(const sms::CRecordStore& store);
std::optional<std::int32_t> NewProfileId(const std::vector<MmsProfile>& profiles);

// The registry values of MMS (HKEY_LOCAL_MACHINE).
bool DetectProfileSetting();            // "DetectProfile", missing: 1
std::int32_t SelectedProfileSetting();  // "SelectedProfileID", missing: 0
void WriteProfileSettings(bool detect, std::int32_t selectedProfileId);
bool MmsImportedSetting();  // "MMSImported", missing: 0
void WriteMmsImported();

// The longest user name or password the data call takes.
inline constexpr std::size_t kMaxCredentialLength = 63;

// Why a profile typed by the user cannot be kept (the message text to show), or 0.
// Checked: a name, the access point, the user name and password, the DNS address.
int ProfileEntryProblem(const MmsProfile& profile);

// The "%s" and "%d" of a message text replaced, in order, by the values.
std::u16string FillMessage(std::u16string_view text,
                           std::initializer_list<std::u16string_view> values);
// The user's text of an import's outcome from the file at path (UTF-8), in the current
// language: how many profiles and skipped lines, or why the profiles were kept.
std::u16string ImportReportText(const ImportReport& report, const std::string& path);

// Message ids of the profiles.
inline constexpr int kMsgProfilesImported = 5449;
inline constexpr int kMsgNothingImported = 5450;
inline constexpr int kMsgImportUnreadable = 5451;
inline constexpr int kMsgImportTooLarge = 5452;
inline constexpr int kMsgProfileNameMissing = 5453;
inline constexpr int kMsgProfileIdsUsedUp = 5454;
inline constexpr int kMsgProfileBadApn = 5455;
inline constexpr int kMsgProfileBadCredentials = 5456;
inline constexpr int kMsgProfileBadDns = 5457;

// "\My Documents\mms.mmp" in the device root.
std::string DefaultMmpPath();

// The import at the program's first start, when "MMSImported" is not set: loads
// QVLMMSProfiles.dat, imports the default file, saves, and sets "MMSImported" (also when there
// is no file). A file that exists but cannot be read, or a store that cannot be written, leaves
// the flag unset, so the next start tries again. Shows the progress window with message
// progressText while it works.
enum class FirstImportResult { kAlreadyDone, kDone, kTryAgainLater };
FirstImportResult RunFirstMmsImport(const UiPorts& ui, std::u16string_view progressText);

}  // namespace qvl::mms
