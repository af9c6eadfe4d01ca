#include "connmgr/tests/dataconn_fixture.h"

#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace qvl::dataconn::test {

namespace fs = std::filesystem;

void DataConnTest::SetUp() {
    char tmpl[] = "/tmp/qvl-dataconn-test.XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    m_home = tmpl;
    ::setenv("QVL_HOME", m_home.c_str(), 1);
    // Lock files of the test's serial ports stay in the test's folder.
    fs::create_directories(m_home + "/lock");
    ::setenv("QVL_LOCK_DIR", (m_home + "/lock").c_str(), 1);

    m_pppd = std::make_unique<ppp::test::FakePppd>();
    m_pppd->InstallHooks();
    m_pppd->Script("up", "run");

    sim::ModemSeed seed = sim::DefaultSeed();
    seed.sim.pin = kPin;
    m_modem = std::make_unique<sim::ModemSimulator>(seed);
    m_port = m_modem->Start();
    ASSERT_FALSE(m_port.empty()) << m_modem->LastError();
    m_modemFdsAtStart = ModemPortFds();

    const RegKey modem =
        RegKey::Open(RegRoot::LocalMachine, u"ExtModems\\QVLSimData", RegOpen::Create);
    modem.WriteString(u"FriendlyName", kModemName);
    modem.WriteString(u"Port", Utf8ToWide(m_port));
    RegKey::Open(RegRoot::LocalMachine, u"\\Software\\Quorvel\\ConnMgr", RegOpen::Create)
        .WriteString(u"GatewayAddress", kGateway);
}

void DataConnTest::TearDown() {
    m_modem.reset();
    m_pppd.reset();
    std::error_code ec;
    fs::remove_all(m_home, ec);
    ::unsetenv("QVL_LOCK_DIR");
}

std::string DataConnTest::EntryFile(const char* suffix) const {
    return m_home + "/ppp/QuorvelMMS" + suffix;
}

std::optional<std::u16string> DataConnTest::LibraryValue(std::u16string_view name) const {
    return RegKey::Open(RegRoot::LocalMachine, u"\\Software\\Quorvel\\ConnMgr").ReadString(name);
}

void DataConnTest::SetPlatformType(std::u16string_view type) const {
    RegKey::Open(RegRoot::LocalMachine, u"System\\Platform", RegOpen::Create)
        .WriteString(u"PlatformType", type);
}

bool DataConnTest::ModemGot(const std::string& prefix) const {
    for (const std::string& command : m_modem->CommandLog()) {
        if (command.rfind(prefix, 0) == 0) {
            return true;
        }
    }
    return false;
}

void DataConnTest::EndDataCall() {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (m_modem->Mode() != sim::LineMode::Command && std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(m_modem->Mode(), sim::LineMode::Command) << "the line was not released";
}

int DataConnTest::ModemPortFds() const {
    char resolved[4096];
    if (::realpath(m_port.c_str(), resolved) == nullptr) {
        return 0;
    }
    int count = 0;
    for (const auto& e : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        count += fs::read_symlink(e.path(), ec).string() == resolved ? 1 : 0;
    }
    return count;
}

std::vector<std::string> DataConnTest::FilesWithPin() const {
    std::vector<std::string> found = ppp::test::FilesContaining(m_home, kPin);
    for (const std::string& f : ppp::test::FilesContaining(m_pppd->Dir(), kPin)) {
        found.push_back(f);
    }
    return found;
}

}  // namespace qvl::dataconn::test
