// Script commands of the standalone simulator, one per line ("call +4912345", "sms SM <pdu>",
// "hangup", "signal 20", ...), as its control socket takes them. README.md lists them all.
#pragma once

#include <string>

#include "tools/modemsim/modem_simulator.h"

namespace qvl::sim {

// Runs one command line against the simulator and returns the reply line: "OK", "OK <info>"
// or "ERROR <why>". Empty lines and lines starting with "#" give "OK".
std::string RunControlCommand(ModemSimulator& modem, const std::string& line);

// "\r", "\n", "\t", "\\", "\xHH" and "\e" (escape) in a garbage argument, the rest verbatim.
std::string UnescapeBytes(const std::string& text);

}  // namespace qvl::sim
