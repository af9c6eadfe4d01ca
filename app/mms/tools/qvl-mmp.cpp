// qvl-mmp: makes and reads the MMS profile files (.mmp) the MMS settings page imports.
//
//   qvl-mmp write FILE   reads profile lines from standard input and writes FILE
//   qvl-mmp read FILE    prints the profile lines of FILE
//
// A profile line (UTF-8) holds nine fields separated by "|": id, operator code (MCC and MNC
// as one number, 0 for none), name, APN, user name, password, DNS, gateway and MMS relay URI:
//
//   12|26202|Operator MMS|mms.example|wap|wap|10.0.0.53|10.0.0.1|http://mms.example/mms
//
// write refuses the whole file (exit status 1, nothing written) when a line cannot be stored;
// read prints each line that gives no profile to standard error and exits 1 when none does.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "app/mms/mmsprofiles.h"
#include "base/text.h"
#include "platform/atomicfile.h"

namespace {

using namespace qvl;
using namespace qvl::mms;

const char* LineProblemText(MmpLineProblem problem) {
    switch (problem) {
        case MmpLineProblem::kTooLong:
            return "the line is too long";
        case MmpLineProblem::kNotHex:
            return "the line is not scrambled profile text (hexadecimal pairs)";
        case MmpLineProblem::kControlCharacter:
            return "a control character";
        case MmpLineProblem::kTooFewFields:
            return "fewer than nine fields (or a file made with another key)";
        case MmpLineProblem::kBadId:
            return "the id is not a number from 0 to 999999999";
        case MmpLineProblem::kBadOperatorCode:
            return "the operator code is not a number from 0 to 999999";
        case MmpLineProblem::kDuplicateId:
            return "an earlier line has the same id";
        case MmpLineProblem::kNone:
            break;
    }
    return "unreadable";
}

const char* WriteProblemText(MmpWriteProblem problem) {
    switch (problem) {
        case MmpWriteProblem::kSeparatorInField:
            return "a field before the URI holds \"|\"";
        case MmpWriteProblem::kControlCharacter:
            return "a field holds a control character";
        case MmpWriteProblem::kNotWindows1252:
            return "a character the file's code page (Windows-1252) cannot hold";
        case MmpWriteProblem::kBadId:
            return "id or operator code out of range";
        case MmpWriteProblem::kNone:
            break;
    }
    return "cannot be written";
}

// Whether every text field of a profile line fits its width in the profile record.
bool FitsWidths(std::u16string_view line) {
    constexpr std::size_t kWidths[] = {
        kProfileNameChars, kProfileApnChars,     kProfileUserChars, kProfilePasswordChars,
        kProfileDnsChars,  kProfileGatewayChars, kProfileUriChars};
    std::size_t field = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= line.size(); ++i) {
        // The URI, the ninth field, runs to the end of the line.
        if (i < line.size() && (line[i] != u'|' || field == 8)) {
            continue;
        }
        if (field >= 2 && i - start > kWidths[field - 2] - 1) {
            return false;
        }
        ++field;
        start = i + 1;
    }
    return true;
}

int Write(const std::string& path) {
    std::vector<MmsProfile> profiles;
    std::string line;
    int number = 0;
    bool refused = false;
    while (std::getline(std::cin, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty()) {
            continue;
        }
        MmpLineProblem problem = MmpLineProblem::kNone;
        std::optional<MmsProfile> profile = ParseProfileLine(Utf8ToWide(line), problem);
        const MmpWriteProblem writable =
            profile ? CheckWritableProfile(*profile) : MmpWriteProblem::kNone;
        if (!profile || writable != MmpWriteProblem::kNone) {
            std::fprintf(stderr, "line %d: %s\n", number,
                         profile ? WriteProblemText(writable) : LineProblemText(problem));
            refused = true;
            continue;
        }
        // A field longer than its width would be cut: say so rather than store another
        // profile than the one typed.
        if (!FitsWidths(Utf8ToWide(line))) {
            std::fprintf(stderr, "line %d: a field is longer than the profile can hold\n", number);
            refused = true;
            continue;
        }
        profiles.push_back(std::move(*profile));
    }
    if (refused) {
        return 1;
    }
    if (!ReplaceFileAtomically(path, FormatMmpFile(profiles))) {
        std::fprintf(stderr, "%s: cannot be written\n", path.c_str());
        return 1;
    }
    std::fprintf(stderr, "%zu profiles written to %s\n", profiles.size(), path.c_str());
    return 0;
}

int Read(const std::string& path) {
    const MmpFileRead read = ReadMmpFile(path);
    switch (read.status) {
        case MmpReadStatus::kMissing:
            std::fprintf(stderr, "%s: no such file\n", path.c_str());
            return 1;
        case MmpReadStatus::kCannotRead:
            std::fprintf(stderr, "%s: %s\n", path.c_str(), read.reason.c_str());
            return 1;
        case MmpReadStatus::kTooLarge:
            std::fprintf(stderr, "%s: too large for a profile file\n", path.c_str());
            return 1;
        case MmpReadStatus::kRead:
            break;
    }
    for (const MmsProfile& p : read.content.profiles) {
        std::printf("%s\n", WideToUtf8(FormatProfileLine(p)).c_str());
    }
    for (const MmpSkippedLine& s : read.content.skipped) {
        std::fprintf(stderr, "line %d skipped: %s\n", s.line, LineProblemText(s.problem));
    }
    return read.content.profiles.empty() ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string verb = argc == 3 ? argv[1] : "";
    if (verb == "write") {
        return Write(argv[2]);
    }
    if (verb == "read") {
        return Read(argv[2]);
    }
    std::fprintf(stderr,
                 "usage: qvl-mmp write FILE < profile lines\n"
                 "       qvl-mmp read FILE\n"
                 "a profile line: id|operator code|name|APN|user|password|DNS|gateway|URI\n");
    return 2;
}
