// The dial-up library as the main program uses it: linked, with the connection manager loaded
// by name, against the modem simulator and the stand-in pppd (which runs the real chat on the
// simulator's line).
#include "connmgr/connmgr.h"

#include "connmgr/tests/dataconn_fixture.h"
#include "connmgrplus/connmgrplus.h"
#include "platform/ppp/pppsystem.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#ifndef QVL_CONNMGRPLUS_LIBRARY
#error "QVL_CONNMGRPLUS_LIBRARY names libQVLConnMgrPlus.so"
#endif

namespace qvl::dataconn::test {
namespace {

namespace fs = std::filesystem;

constexpr char16_t kInit[] = u"+cgdcont=1,\"IP\",\"internet\"";

unsigned ModeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0xFFFF;
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool Has(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

class ConnMgrTest : public DataConnTest {
  protected:
    void SetUp() override {
        DataConnTest::SetUp();
        m_ports = m_ui.Ports();
        SetConnMgrUiPorts(&m_ports);
        m_plus = ::dlopen(QVL_CONNMGRPLUS_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(m_plus, nullptr) << ::dlerror();
    }
    void TearDown() override {
        SetConnMgrUiPorts(nullptr);
        if (m_plus != nullptr) {
            ::dlclose(m_plus);
        }
        DataConnTest::TearDown();
    }

    void Create(const char16_t* init = kInit, const char16_t* pin = kWidePin,
                const char16_t* device = kModemName, const char16_t* user = u"guest",
                const char16_t* password = u"s3cret") {
        CreateConnection(u"QuorvelMMS", device, u"*99***1#", 3, init, user, password, u"10.0.0.53",
                         u"10.0.0.54", pin, nullptr, nullptr);
    }
    // Connects as the main program does on this platform; true when connected.
    bool Connect() {
        const std::u16string port = Utf8ToWide(m_port);
        ConnectInternet(u"QuorvelMMS", port.c_str(), nullptr, nullptr, &m_plus, &m_ras,
                        &m_connection);
        return Is2000PPC() != 0 ? m_ras != nullptr : m_connection != nullptr;
    }
    int Disconnect() {
        const int result = DisconnectInternet(&m_plus, m_ras, m_connection, nullptr, nullptr);
        EndDataCall();
        return result;
    }

    ppp::test::PppdRecord OnlyRun() const {
        const auto records = m_pppd->Records();
        EXPECT_EQ(records.size(), 1u);
        return records.empty() ? ppp::test::PppdRecord{} : records.front();
    }

    UiPorts m_ports;
    void* m_plus = nullptr;
    void* m_ras = nullptr;
    void* m_connection = nullptr;
};

TEST_F(ConnMgrTest, WholeDialEntryPinLinkRouteDisconnectFilesGone) {
    Create();
    EXPECT_TRUE(m_ui.messages.empty()) << m_ui.messages.front();
    // The entry: pppd's options and the dial script, the password in its own 0600 file.
    for (const char* suffix : {".options", ".chat", ".secrets"}) {
        EXPECT_EQ(ModeOf(EntryFile(suffix)), 0600u) << suffix;
    }
    EXPECT_EQ(ModeOf(Home() + "/ppp"), 0700u);
    EXPECT_EQ(LibraryValue(u"PINNumber"), u"") << "the PIN is never stored";
    EXPECT_EQ(LibraryValue(u"LongInitString"), u"");
    EXPECT_EQ(Is2000PPC(), 0);

    ASSERT_TRUE(Connect()) << (m_ui.messages.empty() ? "" : m_ui.messages.front());
    EXPECT_EQ(m_ras, nullptr);
    EXPECT_TRUE(m_ui.messages.empty()) << m_ui.messages.front();
    // The PIN step on the data port, then the dial script on the same line.
    const auto commands = ModemCommands();
    const auto at = [&](const std::string& c) {
        return std::find(commands.begin(), commands.end(), c) - commands.begin();
    };
    ASSERT_TRUE(Has(commands, "AT+CPIN?"));
    ASSERT_TRUE(Has(commands, std::string("AT+CPIN=\"") + kPin + "\""));
    ASSERT_TRUE(Has(commands, "AT+cgdcont=1,\"IP\",\"internet\""));
    ASSERT_TRUE(Has(commands, "ATD*99***1#"));
    EXPECT_LT(at("AT+CPIN?"), at(std::string("AT+CPIN=\"") + kPin + "\""));
    EXPECT_LT(at(std::string("AT+CPIN=\"") + kPin + "\""), at("ATD*99***1#"));

    const ppp::test::PppdRecord run = OnlyRun();
    EXPECT_EQ(run.Value("nodetach"), "1");
    EXPECT_EQ(run.Value("lock"), "1");
    EXPECT_EQ(run.Value("user"), "guest");
    EXPECT_EQ(run.Value("password"), "s3cret") << "given to pppd in a file";
    EXPECT_EQ(run.Value("ipparam"), "quorvel-gateway=10.11.12.13");
    EXPECT_EQ(run.Value("parent_device_fds"), std::to_string(ModemFdsAtStart()))
        << "the PIN step closed its port before pppd";
    for (const std::string& arg : run.args) {
        EXPECT_EQ(arg.find("s3cret"), std::string::npos) << arg;
    }
    EXPECT_EQ(m_pppd->IpCalls(), std::vector<std::string>{"route replace 10.11.12.13/32 dev ppp0"});
    EXPECT_FALSE(fs::exists(EntryFile(".secrets"))) << "pppd has read it";
    EXPECT_TRUE(Has(m_ui.texts, "Connecting to Internet..."));

    EXPECT_EQ(Disconnect(), 0);
    EXPECT_TRUE(Has(m_ui.texts, "Disconnecting from Internet..."));
    EXPECT_EQ(m_ui.created, m_ui.destroyed);
    const ppp::test::PppdRecord ended = OnlyRun();
    EXPECT_EQ(ended.Signals(), std::vector<std::string>{"15"});
    EXPECT_EQ(ended.Value("exit"), "5");
    EXPECT_FALSE(ppp::test::ProcessExists(ended.pid));
    EXPECT_EQ(m_pppd->IpCalls(), (std::vector<std::string>{"route replace 10.11.12.13/32 dev ppp0",
                                                           "route del 10.11.12.13/32 dev ppp0"}));
    EXPECT_FALSE(fs::exists(EntryFile(".secrets")));
    EXPECT_EQ(FilesWithPin(), std::vector<std::string>{});
    EXPECT_EQ(ModemPortFds(), ModemFdsAtStart());
    EXPECT_EQ(Disconnect(), 0) << "a second release of the same handle does nothing";
}

TEST_F(ConnMgrTest, PinIsSentOnlyWhenTheSimAsksForIt) {
    // The phone has already unlocked the SIM: a PIN sent now would be an error.
    ASSERT_EQ(std::string(kPin).size(), 8u);
    Create();
    ASSERT_TRUE(Connect());
    ASSERT_EQ(Disconnect(), 0);
    m_pppd->Script("up", "run");
    const std::size_t before = ModemCommands().size();
    Create();
    ASSERT_TRUE(Connect()) << (m_ui.messages.empty() ? "" : m_ui.messages.front());
    const auto commands = ModemCommands();
    const std::vector<std::string> second(commands.begin() + static_cast<long>(before),
                                          commands.end());
    EXPECT_TRUE(Has(second, "AT+CPIN?"));
    EXPECT_FALSE(Has(second, std::string("AT+CPIN=\"") + kPin + "\""));
    EXPECT_EQ(Disconnect(), 0);
}

TEST_F(ConnMgrTest, SimSteps) {
    struct Case {
        const char* name;
        const char16_t* pin;
        const char* message;
    };
    const Case cases[] = {
        {"no_pin_known", u"",
         "The SIM card of the data modem asks for its PIN, but no PIN is known."},
        {"wrong_pin", u"1111", "The SIM card of the data modem refused the PIN."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_ui.messages.clear();
        Create(kInit, c.pin);
        EXPECT_FALSE(Connect());
        ASSERT_EQ(m_ui.messages.size(), 1u);
        EXPECT_EQ(m_ui.messages[0].rfind(c.message, 0), 0u) << m_ui.messages[0];
        EXPECT_TRUE(m_pppd->Records().empty()) << "no dial without the SIM";
        EXPECT_EQ(ModemPortFds(), ModemFdsAtStart());
    }
}

TEST_F(ConnMgrTest, FailedEntryEndsCreateAndConnectRefusesTheOldOne) {
    Create();
    ASSERT_TRUE(fs::exists(EntryFile(".options")));
    // A new entry with an access point that fails its check: the old one must not be dialled.
    Create(u"+cgdcont=1,\"IP\",\"inter net\"");
    ASSERT_EQ(m_ui.messages.size(), 1u);
    EXPECT_EQ(m_ui.messages[0].rfind("The access point name or the init command", 0), 0u);
    EXPECT_FALSE(fs::exists(EntryFile(".options")));
    EXPECT_FALSE(fs::exists(EntryFile(".chat")));
    EXPECT_FALSE(fs::exists(EntryFile(".secrets")));
    EXPECT_FALSE(Connect());
    ASSERT_EQ(m_ui.messages.size(), 2u);
    EXPECT_EQ(m_ui.messages[1].rfind("There is no data connection entry \"QuorvelMMS\"", 0), 0u);
    EXPECT_TRUE(m_pppd->Records().empty());
    EXPECT_FALSE(ModemGot("AT+CPIN")) << "refused before the modem is touched";
}

TEST_F(ConnMgrTest, RefusedTextsNeverReachAFile) {
    struct Case {
        const char* name;
        const char16_t* init;
        const char16_t* user;
        const char16_t* password;
        const char16_t* device;
        const char* message;
    };
    const Case cases[] = {
        {"password_with_quote", kInit, u"guest", u"a\"b", kModemName, "The user name or password"},
        {"user_with_blank", kInit, u"gu est", u"pw", kModemName, "The user name or password"},
        {"init_with_line_break", u"+cgdcont=1,\"IP\",\"web\"\r\nATD1", u"", u"", kModemName,
         "The access point name or the init command"},
        {"unknown_modem", kInit, u"", u"", u"No such modem",
         "The modem \"No such modem\" was not found"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_ui.messages.clear();
        Create(c.init, kWidePin, c.device, c.user, c.password);
        ASSERT_EQ(m_ui.messages.size(), 1u);
        EXPECT_EQ(m_ui.messages[0].rfind(c.message, 0), 0u) << m_ui.messages[0];
        EXPECT_FALSE(fs::exists(EntryFile(".options")));
    }
}

TEST_F(ConnMgrTest, InitCommandOf38CharactersIsDialledLongerOneSentFirst) {
    // 38 characters fit the dial script's modifier; 39 go to "LongInitString".
    const std::u16string fits = u"+cgdcont=1,\"IP\",\"" + std::u16string(20, u'a') + u"\"";
    const std::u16string tooLong = u"+cgdcont=1,\"IP\",\"" + std::u16string(21, u'a') + u"\"";
    ASSERT_EQ(fits.size(), 38u);
    Create(fits.c_str());
    EXPECT_EQ(LibraryValue(u"LongInitString"), u"");
    EXPECT_NE(Slurp(EntryFile(".chat")).find(WideToUtf8(fits)), std::string::npos);

    Create(tooLong.c_str());
    EXPECT_EQ(LibraryValue(u"LongInitString"), tooLong);
    EXPECT_EQ(Slurp(EntryFile(".chat")).find("cgdcont"), std::string::npos);
    ASSERT_TRUE(Connect()) << (m_ui.messages.empty() ? "" : m_ui.messages.front());
    EXPECT_TRUE(ModemGot("AT" + WideToUtf8(tooLong)));
    EXPECT_TRUE(Has(m_ui.texts, "Initializing..."));
    EXPECT_EQ(OnlyRun().Value("parent_device_fds"), std::to_string(ModemFdsAtStart()))
        << "the long init closed its port before pppd";
    EXPECT_EQ(Disconnect(), 0);
}

TEST_F(ConnMgrTest, LongInitWithoutOkClosesThePortAndStops) {
    const std::u16string tooLong = u"+cgdcont=1,\"IP\",\"" + std::u16string(30, u'b') + u"\"";
    Create(tooLong.c_str());
    m_modem->SetCannedAnswer("AT+CGDCONT=1", "\r\nERROR\r\n");
    EXPECT_FALSE(Connect());
    ASSERT_EQ(m_ui.messages.size(), 1u);
    EXPECT_EQ(m_ui.messages[0],
              "The modem did not accept the init command of the data connection.");
    EXPECT_TRUE(m_pppd->Records().empty());
    EXPECT_EQ(ModemPortFds(), ModemFdsAtStart()) << "the port is closed on the failing path";
    EXPECT_EQ(m_ui.created, m_ui.destroyed);
}

TEST_F(ConnMgrTest, FirstPlatformDialsItselfWithTheStateTexts) {
    SetPlatformType(u"Palm PC2");
    ASSERT_EQ(Is2000PPC(), 1);
    Create();
    ASSERT_TRUE(Connect()) << (m_ui.messages.empty() ? "" : m_ui.messages.front());
    EXPECT_EQ(m_connection, nullptr);
    // The SIM step opens the port first; then the dial's window with each step of the call.
    const std::vector<std::string> expected = {
        "Opening port...",
        "Connecting...",
        "Opening port...",
        "Connecting device...",
        "Connecting to host...",
        "Device connected...",
        "Physical layer established...",
        "Authenticating user...",
        "User authenticated...",
        "Starting projection phase...",
        "Connected...",
    };
    std::vector<std::string> shown;
    for (const std::string& text : m_ui.texts) {
        if (Has(expected, text) && (shown.empty() || shown.back() != text)) {
            shown.push_back(text);
        }
    }
    EXPECT_EQ(shown, expected);
    EXPECT_TRUE(m_ui.cancellable) << "the dial can be canceled";
    EXPECT_EQ(Disconnect(), 0);
    EXPECT_EQ(DisconnectInternet(&m_plus, m_ras, nullptr, nullptr, nullptr), 6)
        << "the handle is gone";
    EXPECT_FALSE(ppp::test::ProcessExists(OnlyRun().pid));
}

TEST_F(ConnMgrTest, FailuresOfTheCallAreTold) {
    struct Case {
        const char* outcome;
        const char* connect;
        const char* message;
    };
    const Case cases[] = {
        {"auth-fail", "run", "The network refused the user name or password"},
        {"chat-fail", "skip", "The modem did not answer the dial commands."},
        {"no-kernel", "skip", "The kernel of this computer has no PPP support"},
        {"killed", "skip", "The data connection was ended by another program."},
        {"hangup", "skip", "The data connection was ended by the modem or the network."},
        {"exit:6", "skip", "The modem port is in use by another program."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.outcome);
        m_ui.messages.clear();
        m_pppd->Script(c.outcome, c.connect);
        Create();
        EXPECT_FALSE(Connect());
        EndDataCall();
        ASSERT_EQ(m_ui.messages.size(), 1u);
        EXPECT_EQ(m_ui.messages[0].rfind(c.message, 0), 0u) << m_ui.messages[0];
        EXPECT_FALSE(fs::exists(EntryFile(".secrets"))) << "the password goes with the call";
        for (const auto& run : m_pppd->Records()) {
            EXPECT_FALSE(ppp::test::ProcessExists(run.pid)) << "reaped";
        }
        EXPECT_EQ(m_ui.created, m_ui.destroyed);
    }
}

TEST_F(ConnMgrTest, ModemPickedByPartOfItsNameAndRealDevicePath) {
    Create(kInit, kWidePin, u"GSM simulator");
    EXPECT_TRUE(m_ui.messages.empty()) << m_ui.messages.front();
    char resolved[4096];
    ASSERT_NE(::realpath(m_port.c_str(), resolved), nullptr);
    EXPECT_NE(Slurp(EntryFile(".options")).find(std::string("\n") + resolved + "\n"),
              std::string::npos);
}

TEST_F(ConnMgrTest, DialingLocationAndOldPinSlots) {
    const RegKey init =
        RegKey::Open(RegRoot::LocalMachine, u"Drivers\\Unimodem\\Init", RegOpen::Create);
    init.WriteString(u"2", u"AT+CPIN=\"1234\"<cr>");
    init.WriteString(u"3", u"ATS0=0");
    Create();
    EXPECT_FALSE(init.ReadString(u"2")) << "a PIN left in an init slot by an earlier version";
    EXPECT_EQ(init.ReadString(u"3"), u"ATS0=0");

    const RegKey dial = RegKey::Open(RegRoot::CurrentUser, u"ControlPanel\\Dial");
    const auto high = dial.ReadDword(u"HighLocID");
    ASSERT_TRUE(high);
    const RegKey locations = dial.OpenSub(u"Locations");
    const auto ours = locations.ReadMultiString(Utf8ToWide(std::to_string(*high - 1)));
    ASSERT_TRUE(ours);
    EXPECT_EQ(*ours, (std::vector<std::u16string>{u"QVL", u"g", u"g", u"g", u"***"}));
    Create();
    EXPECT_EQ(dial.ReadDword(u"HighLocID"), high) << "the second run finds its location";
    EXPECT_EQ(locations.ValueNames().size(), 1u);
}

TEST_F(ConnMgrTest, CancelDuringTheDialEndsPppd) {
    m_pppd->Script("never", "skip");
    SetPlatformType(u"Palm PC2");
    Create();
    // Cancel once pppd is negotiating (it then waits for signals, like pppd).
    m_ui.cancelWhen = [&] { return Has(m_ui.texts, "Starting projection phase..."); };
    EXPECT_FALSE(Connect());
    EXPECT_TRUE(m_ui.messages.empty()) << "a cancel needs no message: " << m_ui.messages.front();
    const auto run = OnlyRun();
    EXPECT_EQ(run.Signals(), std::vector<std::string>{"15"});
    EXPECT_FALSE(ppp::test::ProcessExists(run.pid));
    EXPECT_FALSE(fs::exists(EntryFile(".secrets")));
}

// The real pppd, where it is installed: on a kernel without PPP the user is told so; on a
// kernel with PPP it dials the simulator with the real chat. The simulator is no PPP peer, so
// the call is canceled once the modem has connected.
TEST_F(ConnMgrTest, RealPppdOnThisKernel) {
    if (::access("/usr/sbin/pppd", X_OK) != 0) {
        GTEST_SKIP() << "needs an executable pppd";
    }
    if (::getuid() != 0 && !ppp::PeerFileInstalled()) {
        GTEST_SKIP() << "a user needs the peer file of qvl-install --system";
    }
    m_pppd.reset();  // QVL_PPPD unset: the real one
    if (::access("/dev/ppp", F_OK) != 0) {
        Create();
        EXPECT_FALSE(Connect());
        ASSERT_EQ(m_ui.messages.size(), 1u);
        EXPECT_EQ(m_ui.messages[0].rfind("The kernel of this computer has no PPP support", 0), 0u)
            << m_ui.messages[0];
        EXPECT_NE(Slurp(EntryFile(".log")).find("/dev/ppp"), std::string::npos);
        return;
    }
    // The first platform's own dial shows every step, so the test sees the modem connect.
    SetPlatformType(u"Palm PC2");
    Create();
    m_ui.cancelWhen = [&] { return Has(m_ui.texts, "Device connected..."); };
    EXPECT_FALSE(Connect());
    EXPECT_TRUE(m_ui.messages.empty()) << m_ui.messages.front();
    EXPECT_TRUE(ModemGot("ATD*99***1#"));
    EXPECT_TRUE(Has(m_ui.texts, "Device connected...")) << Slurp(EntryFile(".log"));
    EXPECT_FALSE(fs::exists(EntryFile(".secrets")));
    EndDataCall();
}

}  // namespace
}  // namespace qvl::dataconn::test
