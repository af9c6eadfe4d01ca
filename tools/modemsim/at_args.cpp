#include "tools/modemsim/at_args.h"

#include "base/text.h"

namespace qvl::sim {

AtArgs::AtArgs(std::string_view params) {
    if (params.empty()) {
        return;
    }
    AtArg current;
    bool inQuote = false;
    for (const char c : params) {
        if (inQuote) {
            if (c == '"') {
                inQuote = false;
            } else {
                current.text += c;
            }
            continue;
        }
        if (c == '"') {
            inQuote = true;
            current.quoted = true;
            current.present = true;
        } else if (c == ',') {
            m_args.push_back(current);
            current = AtArg{};
        } else if (c != ' ') {
            current.text += c;
            current.present = true;
        }
    }
    m_args.push_back(current);
    m_malformed = inQuote;
}

std::optional<int> AtArgs::Int(std::size_t i, int lo, int hi) const {
    if (!Present(i) || m_args[i].quoted) {
        return std::nullopt;
    }
    const auto v = ParseDecimal(std::string_view(m_args[i].text), lo, hi);
    if (!v) {
        return std::nullopt;
    }
    return static_cast<int>(*v);
}

std::string UpperAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

}  // namespace qvl::sim
