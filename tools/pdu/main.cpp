// qvl-pdu: see pdutool.h.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/pdu/pdutool.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string out;
    std::string err;
    const int status = qvl::pdutool::Run(args, out, err);
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fwrite(err.data(), 1, err.size(), stderr);
    return status;
}
