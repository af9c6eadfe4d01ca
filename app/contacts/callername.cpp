#include "app/contacts/callername.h"

#include <phonenumbers/phonenumberutil.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <utility>

#include "app/contacts/contactrows.h"
#include "base/atcursor.h"
#include "base/text.h"

namespace qvl {

namespace {

using i18n::phonenumbers::PhoneNumber;
using i18n::phonenumbers::PhoneNumberUtil;

// Mobile country codes (ITU-T E.212) of the countries whose numbering plans differ in how a
// national number is written; a code not listed leaves the region to the locale.
constexpr std::pair<int, const char*> kMccRegions[] = {
    {202, "GR"}, {204, "NL"}, {206, "BE"}, {208, "FR"}, {212, "MC"}, {213, "AD"}, {214, "ES"},
    {216, "HU"}, {218, "BA"}, {219, "HR"}, {220, "RS"}, {222, "IT"}, {225, "VA"}, {226, "RO"},
    {228, "CH"}, {230, "CZ"}, {231, "SK"}, {232, "AT"}, {234, "GB"}, {235, "GB"}, {238, "DK"},
    {240, "SE"}, {242, "NO"}, {244, "FI"}, {246, "LT"}, {247, "LV"}, {248, "EE"}, {250, "RU"},
    {255, "UA"}, {257, "BY"}, {259, "MD"}, {260, "PL"}, {262, "DE"}, {266, "GI"}, {268, "PT"},
    {270, "LU"}, {272, "IE"}, {274, "IS"}, {276, "AL"}, {278, "MT"}, {280, "CY"}, {282, "GE"},
    {283, "AM"}, {284, "BG"}, {286, "TR"}, {288, "FO"}, {290, "GL"}, {292, "SM"}, {293, "SI"},
    {294, "MK"}, {295, "LI"}, {297, "ME"}, {302, "CA"}, {310, "US"}, {311, "US"}, {312, "US"},
    {313, "US"}, {314, "US"}, {315, "US"}, {316, "US"}, {330, "PR"}, {334, "MX"}, {338, "JM"},
    {342, "BB"}, {350, "BM"}, {364, "BS"}, {368, "CU"}, {370, "DO"}, {372, "HT"}, {374, "TT"},
    {400, "AZ"}, {401, "KZ"}, {404, "IN"}, {405, "IN"}, {406, "IN"}, {410, "PK"}, {412, "AF"},
    {413, "LK"}, {414, "MM"}, {415, "LB"}, {416, "JO"}, {417, "SY"}, {418, "IQ"}, {419, "KW"},
    {420, "SA"}, {421, "YE"}, {422, "OM"}, {424, "AE"}, {425, "IL"}, {426, "BH"}, {427, "QA"},
    {428, "MN"}, {429, "NP"}, {430, "AE"}, {431, "AE"}, {432, "IR"}, {434, "UZ"}, {436, "TJ"},
    {437, "KG"}, {438, "TM"}, {440, "JP"}, {441, "JP"}, {450, "KR"}, {452, "VN"}, {454, "HK"},
    {455, "MO"}, {456, "KH"}, {457, "LA"}, {460, "CN"}, {461, "CN"}, {466, "TW"}, {470, "BD"},
    {472, "MV"}, {502, "MY"}, {505, "AU"}, {510, "ID"}, {515, "PH"}, {520, "TH"}, {525, "SG"},
    {528, "BN"}, {530, "NZ"}, {602, "EG"}, {603, "DZ"}, {604, "MA"}, {605, "TN"}, {606, "LY"},
    {608, "SN"}, {612, "CI"}, {620, "GH"}, {621, "NG"}, {624, "CM"}, {630, "CD"}, {631, "AO"},
    {636, "ET"}, {639, "KE"}, {640, "TZ"}, {641, "UG"}, {643, "MZ"}, {645, "ZM"}, {646, "MG"},
    {648, "ZW"}, {649, "NA"}, {652, "BW"}, {655, "ZA"}, {704, "GT"}, {706, "SV"}, {708, "HN"},
    {710, "NI"}, {712, "CR"}, {714, "PA"}, {716, "PE"}, {722, "AR"}, {724, "BR"}, {730, "CL"},
    {732, "CO"}, {734, "VE"}, {736, "BO"}, {740, "EC"}, {744, "PY"}, {748, "UY"},
};

// Trailing digits that two numbers must share before libphonenumber is asked: every pair it
// matches shares them (the national significant number ends both; a trunk or international
// prefix of up to three digits comes before it), and most pairs that differ are told apart by
// them at no cost.
constexpr std::size_t kTailDigits = 7;
constexpr std::size_t kLongestPrefix = 3;

bool KnownRegion(const std::string& region) {
    return !region.empty() && PhoneNumberUtil::GetInstance()->GetCountryCodeForRegion(region) != 0;
}

// The digits of a number up to an extension or a pause ("ext", "x", ",", ";").
std::u16string DigitsOf(std::u16string_view number) {
    std::u16string digits;
    for (const char16_t c : number) {
        if (c >= u'0' && c <= u'9') {
            digits.push_back(c);
        } else if (c == u',' || c == u';' || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')) {
            break;
        }
    }
    return digits;
}

bool AllZero(std::u16string_view digits) {
    return std::all_of(digits.begin(), digits.end(), [](char16_t c) { return c == u'0'; });
}

bool SameTail(std::u16string_view a, std::u16string_view b) {
    const std::size_t shorter = std::min(a.size(), b.size());
    if (shorter <= kLongestPrefix) {
        return true;
    }
    const std::size_t n = std::min(kTailDigits, shorter - kLongestPrefix);
    return a.substr(a.size() - n) == b.substr(b.size() - n);
}

bool Accepted(PhoneNumberUtil::MatchType match) {
    return match == PhoneNumberUtil::EXACT_MATCH || match == PhoneNumberUtil::NSN_MATCH;
}

}  // namespace

struct CallerNameMatcher::Prepared {
    std::u16string digits;
    std::string text;  // UTF-8 for libphonenumber
    std::optional<PhoneNumber> parsed;
};

std::string RegionForMcc(int mcc) {
    for (const auto& [code, region] : kMccRegions) {
        if (code == mcc) {
            return region;
        }
    }
    return {};
}

int ParseImsiMcc(std::u16string_view response) {
    AtCursor cursor(response);
    while (cursor.FindLine(u"")) {
        const std::u16string_view line = cursor.Line();
        // The IMSI is the one line of 6 to 15 digits (the echo and OK are not).
        if (line.size() >= 6 && line.size() <= 15 &&
            std::all_of(line.begin(), line.end(),
                        [](char16_t c) { return c >= u'0' && c <= u'9'; })) {
            const auto mcc = ParseDecimal(line.substr(0, 3), 200, 799);
            return mcc ? static_cast<int>(*mcc) : -1;
        }
    }
    return -1;
}

std::string RegionFromLocale() {
    for (const char* name : {"LC_ALL", "LC_TELEPHONE", "LANG"}) {
        const char* value = std::getenv(name);
        if (value == nullptr || *value == '\0') {
            continue;
        }
        const std::string_view locale(value);
        const std::size_t underscore = locale.find('_');
        if (underscore == std::string_view::npos || underscore + 3 > locale.size()) {
            return {};
        }
        std::string region(locale.substr(underscore + 1, 2));
        for (char& c : region) {
            c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        }
        return KnownRegion(region) ? region : std::string();
    }
    return {};
}

CallerNameMatcher::CallerNameMatcher(std::string region) {
    SetRegion(std::move(region));
}

CallerNameMatcher::~CallerNameMatcher() = default;

void CallerNameMatcher::SetRegion(std::string region) {
    m_region = KnownRegion(region) ? std::move(region) : std::string();
}

CallerNameMatcher::Prepared CallerNameMatcher::Prepare(std::u16string_view number) const {
    Prepared p;
    p.digits = DigitsOf(number);
    p.text = WideToUtf8(number);
    PhoneNumber parsed;
    if (!m_region.empty() && PhoneNumberUtil::GetInstance()->Parse(p.text, m_region, &parsed) ==
                                 PhoneNumberUtil::NO_PARSING_ERROR) {
        p.parsed = parsed;
    }
    return p;
}

bool CallerNameMatcher::Matches(const Prepared& caller, std::u16string_view stored) const {
    const std::u16string digits = DigitsOf(stored);
    if (digits.empty() || AllZero(digits)) {
        return false;
    }
    if (digits == caller.digits) {
        return true;
    }
    if (!SameTail(caller.digits, digits)) {
        return false;
    }
    const Prepared other = Prepare(stored);
    PhoneNumberUtil* util = PhoneNumberUtil::GetInstance();
    if (caller.parsed && other.parsed) {
        return Accepted(util->IsNumberMatch(*caller.parsed, *other.parsed));
    }
    return Accepted(util->IsNumberMatchWithTwoStrings(caller.text, other.text));
}

bool CallerNameMatcher::SameNumber(std::u16string_view a, std::u16string_view b) const {
    const Prepared caller = Prepare(a);
    return !caller.digits.empty() && !AllZero(caller.digits) && Matches(caller, b);
}

std::u16string CallerNameMatcher::LookupCallerName(std::u16string_view number,
                                                   std::span<const NamedNumber> simBook,
                                                   std::span<const ContactRecord> contacts) const {
    const Prepared caller = Prepare(number);
    if (caller.digits.empty() || AllZero(caller.digits)) {
        return {};
    }
    for (const NamedNumber& entry : simBook) {
        if (Matches(caller, entry.number)) {
            return entry.name;
        }
    }
    for (const ContactRecord& record : contacts) {
        for (const std::u16string* stored : {&record.work, &record.mobile, &record.home}) {
            if (Matches(caller, *stored)) {
                return ContactDisplayName(record);
            }
        }
    }
    return {};
}

}  // namespace qvl
