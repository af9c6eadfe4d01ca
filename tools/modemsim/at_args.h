// Parameter lists of extended AT commands ("1,\"+4912\",,145"), split at commas outside
// double quotes. A missing parameter is empty and not present; quotes are removed.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qvl::sim {

struct AtArg {
    bool present = false;  // something was written between the commas
    bool quoted = false;
    std::string text;
};

class AtArgs {
  public:
    AtArgs() = default;
    explicit AtArgs(std::string_view params);

    std::size_t Count() const { return m_args.size(); }
    bool Present(std::size_t i) const { return i < m_args.size() && m_args[i].present; }
    // The text of parameter i (quotes removed), empty when absent.
    std::string Text(std::size_t i) const {
        return i < m_args.size() ? m_args[i].text : std::string();
    }
    bool Quoted(std::size_t i) const { return i < m_args.size() && m_args[i].quoted; }
    // A decimal parameter within [lo, hi]; nullopt when absent, not a number or out of range.
    std::optional<int> Int(std::size_t i, int lo, int hi) const;
    // True when the parameter list could not be split (an unterminated quote).
    bool Malformed() const { return m_malformed; }

  private:
    std::vector<AtArg> m_args;
    bool m_malformed = false;
};

// Upper-case ASCII copy.
std::string UpperAscii(std::string_view s);
// The value of a hexadecimal digit (either case), -1 for any other character.
int HexValue(char c);

}  // namespace qvl::sim
