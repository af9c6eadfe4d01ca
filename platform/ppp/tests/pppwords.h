// pppd's reading of an options file, for the tests and the stand-in pppd: blanks separate
// words, "#" at the start of a word comments out the rest of the line, '...' and "..." quote,
// and a backslash takes the next character as it is.
#pragma once

#include <string>
#include <vector>

namespace qvl::ppp::test {

inline std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            ++i;
            continue;
        }
        if (c == '#') {
            while (i < text.size() && text[i] != '\n') {
                ++i;
            }
            continue;
        }
        std::string word;
        char quote = 0;
        while (i < text.size()) {
            const char d = text[i];
            if (quote == 0 && (d == ' ' || d == '\t' || d == '\n' || d == '\r')) {
                break;
            }
            if (d == '\\' && i + 1 < text.size()) {
                word += text[i + 1];
                i += 2;
                continue;
            }
            if (quote == 0 && (d == '"' || d == '\'')) {
                quote = d;
            } else if (d == quote) {
                quote = 0;
            } else {
                word += d;
            }
            ++i;
        }
        words.push_back(word);
    }
    return words;
}

}  // namespace qvl::ppp::test
