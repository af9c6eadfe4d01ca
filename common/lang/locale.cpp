// POSIX locale names mapped to the handheld's language identifiers.
#include <cstdlib>
#include <string>

#include "common/lang/lang.h"

namespace qvl {
namespace {

struct LocaleId {
    const char* name;  // "ll" or "ll_CC"
    int id;
};

// Territory-specific identifiers first; a bare language gives its default identifier.
constexpr LocaleId kLocales[] = {
    {"en_US", 1033},
    {"en_GB", 2057},
    {"en_AU", 3081},
    {"en_CA", 4105},
    {"en_NZ", 5129},
    {"en_IE", 6153},
    {"en_ZA", 7177},
    {"en_IN", 16393},
    {"en", 1033},
    {"de_DE", 1031},
    {"de_CH", 2055},
    {"de_AT", 3079},
    {"de_LU", 4103},
    {"de_LI", 5127},
    {"de", 1031},
    {"fr_FR", 1036},
    {"fr_BE", 2060},
    {"fr_CA", 3084},
    {"fr_CH", 4108},
    {"fr_LU", 5132},
    {"fr_MC", 6156},
    {"fr", 1036},
    // Spanish (Spain) is the traditional-sort identifier 1034, the one the dialog mapping
    // recognises as Spanish.
    {"es_ES", 1034},
    {"es_MX", 2058},
    {"es_GT", 4106},
    {"es_CR", 5130},
    {"es_PA", 6154},
    {"es_DO", 7178},
    {"es_VE", 8202},
    {"es_CO", 9226},
    {"es_PE", 10250},
    {"es_AR", 11274},
    {"es_EC", 12298},
    {"es_CL", 13322},
    {"es_UY", 14346},
    {"es_PY", 15370},
    {"es_BO", 16394},
    {"es_SV", 17418},
    {"es_HN", 18442},
    {"es_NI", 19466},
    {"es_PR", 20490},
    {"es_US", 21514},
    {"es", 1034},
    {"it_IT", 1040},
    {"it_CH", 2064},
    {"it", 1040},
    {"nl_NL", 1043},
    {"nl_BE", 2067},
    {"nl", 1043},
    {"pt_BR", 1046},
    {"pt_PT", 2070},
    {"pt", 2070},
    {"sv_SE", 1053},
    {"sv_FI", 2077},
    {"sv", 1053},
    {"da", 1030},
    {"fi", 1035},
    {"nb", 1044},
    {"no", 1044},
    {"nn", 2068},
    {"is", 1039},
    {"pl", 1045},
    {"cs", 1029},
    {"sk", 1051},
    {"hu", 1038},
    {"ro", 1048},
    {"hr", 1050},
    {"sl", 1060},
    {"ru", 1049},
    {"uk", 1058},
    {"el", 1032},
    {"tr", 1055},
    {"he", 1037},
    {"ar", 1025},
    {"ja", 1041},
    {"ko", 1042},
    {"zh_CN", 2052},
    {"zh_TW", 1028},
    {"zh_HK", 3076},
    {"zh_SG", 4100},
    {"zh", 2052},
    {"ca", 1027},
    {"eu", 1069},
    {"gl", 1110},
};

constexpr int kDefaultId = 1033;

const char* EnvValue(const char* name) {
    const char* v = std::getenv(name);
    return v && *v ? v : nullptr;
}

}  // namespace

int LanguageIdFromLocaleName(std::string_view name) {
    // ll[_CC][.codeset][@modifier]
    std::size_t cut = name.find_first_of(".@");
    std::string_view base = name.substr(0, cut);
    if (base.empty() || base == "C" || base == "POSIX") {
        return kDefaultId;
    }
    std::string lower;
    std::string_view language = base.substr(0, base.find('_'));
    for (char c : language) {
        lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    std::string full = lower;
    if (language.size() < base.size()) {
        full += '_';
        for (char c : base.substr(language.size() + 1)) {
            full += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        }
    }
    for (const auto& l : kLocales) {
        if (full == l.name) {
            return l.id;
        }
    }
    for (const auto& l : kLocales) {
        if (lower == l.name) {
            return l.id;
        }
    }
    return 0;
}

int SystemDefaultLangId() {
    const char* v = EnvValue("LC_ALL");
    if (!v) {
        v = EnvValue("LANG");
    }
    return v ? LanguageIdFromLocaleName(v) : kDefaultId;
}

int UserDefaultLangId() {
    const char* v = EnvValue("LC_ALL");
    if (!v) {
        v = EnvValue("LC_MESSAGES");
    }
    std::string first;
    if (!v) {
        if (const char* list = EnvValue("LANGUAGE")) {
            std::string_view s(list);
            first = std::string(s.substr(0, s.find(':')));
            if (!first.empty()) {
                v = first.c_str();
            }
        }
    }
    if (!v) {
        v = EnvValue("LANG");
    }
    return v ? LanguageIdFromLocaleName(v) : kDefaultId;
}

}  // namespace qvl
