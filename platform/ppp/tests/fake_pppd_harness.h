// The tests' handle on the stand-in pppd: a private folder holding a link named "pppd" to the
// stand-in, its control file and the records of its runs; QVL_PPPD points at the link while
// the harness lives.
#pragma once

#include <string>
#include <vector>

namespace qvl::ppp::test {

// One run of the stand-in, as it recorded it.
struct PppdRecord {
    int pid = 0;
    std::vector<std::string> args;
    std::vector<std::string> env;
    std::vector<std::string> lines;                   // everything, in order
    std::string Value(const std::string& key) const;  // "device", "nodetach", "exit", ...
    std::vector<std::string> Signals() const;
    bool Has(const std::string& line) const;
};

class FakePppd {
  public:
    FakePppd();
    ~FakePppd();
    FakePppd(const FakePppd&) = delete;
    FakePppd& operator=(const FakePppd&) = delete;

    const std::string& Dir() const { return m_dir; }
    const std::string& Program() const { return m_program; }

    // Writes the control file: outcome, connect (run|skip) and, when given, the hooks folder
    // and their PATH.
    void Script(const std::string& outcome, const std::string& connect = "skip");
    // Installs the route hooks (the texts the install step writes) with a fake "ip" that
    // appends its arguments to IpCalls().
    void InstallHooks();
    std::vector<std::string> IpCalls() const;

    std::vector<PppdRecord> Records() const;

  private:
    void WriteControl();

    std::string m_dir;
    std::string m_program;
    std::string m_outcome = "up";
    std::string m_connect = "skip";
    bool m_hooks = false;
};

// Whether a process of that pid is still there (a zombie counts: it has not been reaped).
bool ProcessExists(int pid);

// Every file below dir that holds text (for "the PIN is nowhere on disk").
std::vector<std::string> FilesContaining(const std::string& dir, const std::string& text);

}  // namespace qvl::ppp::test
