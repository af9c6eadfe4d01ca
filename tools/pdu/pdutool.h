// qvl-pdu: SMS-SUBMIT and SMS-DELIVER PDUs of a text, and the fields of a PDU, for users and
// scripts. The command logic lives here so that tests can run it without a process.
#pragma once

#include <string>
#include <vector>

namespace qvl::pdutool {

inline constexpr int kExitOk = 0;
inline constexpr int kExitBadInput = 2;

// Runs one command. `args` are the arguments after the program name, UTF-8. Standard output
// goes to `out`; a failure writes one line to `err` and returns kExitBadInput.
int Run(const std::vector<std::string>& args, std::string& out, std::string& err);

}  // namespace qvl::pdutool
