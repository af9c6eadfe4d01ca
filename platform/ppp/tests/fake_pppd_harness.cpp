#include "platform/ppp/tests/fake_pppd_harness.h"

#include "platform/ppp/pppsystem.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#ifndef QVL_FAKE_PPPD
#error "QVL_FAKE_PPPD names the stand-in program"
#endif

namespace qvl::ppp::test {

namespace fs = std::filesystem;

namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::string& path, const std::string& text, fs::perms perms) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    fs::permissions(path, perms);
}

}  // namespace

std::string PppdRecord::Value(const std::string& key) const {
    std::string value;
    for (const std::string& line : lines) {
        if (line.rfind(key + " ", 0) == 0) {
            value = line.substr(key.size() + 1);
        } else if (line == key) {
            value.clear();
        }
    }
    return value;
}

std::vector<std::string> PppdRecord::Signals() const {
    std::vector<std::string> signals;
    for (const std::string& line : lines) {
        if (line.rfind("signal ", 0) == 0) {
            signals.push_back(line.substr(7));
        }
    }
    return signals;
}

bool PppdRecord::Has(const std::string& line) const {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

FakePppd::FakePppd() {
    char tmpl[] = "/tmp/qvl-fake-pppd.XXXXXX";
    if (::mkdtemp(tmpl) != nullptr) {
        m_dir = tmpl;
    }
    m_program = m_dir + "/pppd";
    fs::create_symlink(QVL_FAKE_PPPD, m_program);
    WriteControl();
    ::setenv("QVL_PPPD", m_program.c_str(), 1);
}

FakePppd::~FakePppd() {
    ::unsetenv("QVL_PPPD");
    std::error_code ec;
    fs::remove_all(m_dir, ec);
}

void FakePppd::Script(const std::string& outcome, const std::string& connect) {
    m_outcome = outcome;
    m_connect = connect;
    WriteControl();
}

void FakePppd::InstallHooks() {
    const std::string hooks = m_dir + "/hooks";
    const std::string bin = m_dir + "/bin";
    fs::create_directories(hooks);
    fs::create_directories(bin);
    WriteFile(hooks + "/ip-up", GatewayHookText(true), fs::perms(0755));
    WriteFile(hooks + "/ip-down", GatewayHookText(false), fs::perms(0755));
    WriteFile(bin + "/ip", "#!/bin/sh\necho \"$*\" >> " + m_dir + "/ip-calls\n", fs::perms(0755));
    m_hooks = true;
    WriteControl();
}

std::vector<std::string> FakePppd::IpCalls() const {
    std::vector<std::string> calls;
    std::istringstream in(Slurp(m_dir + "/ip-calls"));
    for (std::string line; std::getline(in, line);) {
        calls.push_back(line);
    }
    return calls;
}

void FakePppd::WriteControl() {
    std::string text = "outcome=" + m_outcome + "\nconnect=" + m_connect + "\n";
    if (m_hooks) {
        // The shell's own tools stay reachable behind the fake ip.
        text += "hooks=" + m_dir + "/hooks\nhookpath=" + m_dir + "/bin:/usr/bin:/bin\n";
    }
    WriteFile(m_dir + "/control", text, fs::perms(0644));
}

std::vector<PppdRecord> FakePppd::Records() const {
    std::vector<PppdRecord> records;
    for (const auto& e : fs::directory_iterator(m_dir)) {
        const std::string name = e.path().filename().string();
        if (name.rfind("record-", 0) != 0) {
            continue;
        }
        PppdRecord record;
        record.pid = std::atoi(name.c_str() + 7);
        std::istringstream in(Slurp(e.path().string()));
        for (std::string line; std::getline(in, line);) {
            record.lines.push_back(line);
            if (line.rfind("arg ", 0) == 0) {
                record.args.push_back(line.substr(4));
            } else if (line.rfind("env ", 0) == 0) {
                record.env.push_back(line.substr(4));
            }
        }
        records.push_back(std::move(record));
    }
    std::sort(records.begin(), records.end(),
              [](const PppdRecord& a, const PppdRecord& b) { return a.pid < b.pid; });
    return records;
}

bool ProcessExists(int pid) {
    struct stat st {};
    return pid > 0 && ::stat(("/proc/" + std::to_string(pid)).c_str(), &st) == 0;
}

std::vector<std::string> FilesContaining(const std::string& dir, const std::string& text) {
    std::vector<std::string> found;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::end(it);
         it.increment(ec)) {
        if (it->is_regular_file(ec) && Slurp(it->path().string()).find(text) != std::string::npos) {
            found.push_back(it->path().string());
        }
    }
    return found;
}

}  // namespace qvl::ppp::test
