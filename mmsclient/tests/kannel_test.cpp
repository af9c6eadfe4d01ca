// End to end through a real WAP gateway (Kannel on loopback) to a test MMS relay: the relay
// must receive the m-send-req byte-exact as the encoder produces it, and the verdict must
// follow the relay's answer. The session runs with its real waits.
#include "base/text.h"
#include "kannel_harness.h"
#include "mms_test_support.h"
#include "mmsclient/wspsession.h"
#include "ui_fakes.h"

#include <limits.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <random>

namespace qvl::mms {
namespace {

using test::Ascii;
using test::Bytes;
using test::HttpRelay;
using test::KannelGateway;
using test::ToHex;

Bytes RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    Bytes out(n);
    for (auto& b : out) b = static_cast<std::uint8_t>(gen());
    return out;
}

class KannelTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!KannelGateway::Installed()) return;
        s_gateway = new KannelGateway();
        if (!s_gateway->Start(s_problem)) {
            delete s_gateway;
            s_gateway = nullptr;
        }
    }
    static void TearDownTestSuite() {
        delete s_gateway;
        s_gateway = nullptr;
    }

    void SetUp() override {
        if (!KannelGateway::Installed()) {
            GTEST_SKIP() << "Kannel is not installed (" << test::kBearerbox << ", " << test::kWapbox
                         << "); scripts/deps.sh installs it";
        }
        ASSERT_NE(s_gateway, nullptr) << "the WAP gateway did not start: " << s_problem;
        options.ports = UiPorts{&messages, &pump, &progress};
        options.trace = TraceFile::InDeviceRoot();
        options.tick = [] { return 1234567u; };
        request.to = u"+491701234567; friend@example.org";
        request.subject = u"Greetings";
        request.text = u"Hello through the gateway";
    }

    SessionReport Send(HttpRelay& relay) {
        request.uri = Widen(relay.Uri());
        return RunMmsSession(u"127.0.0.1", request, options);
    }
    // The m-send-req as the encoder writes it for this request.
    Bytes Expected(std::uint32_t tick = 1234567u) const {
        SendRequest r = request;
        r.transactionTick = tick;
        return BuildMmsPdu(r);
    }
    void ExpectDelivered(const HttpRelay& relay, const Bytes& expected) const {
        const auto requests = relay.Requests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].head.rfind("POST /mms ", 0), 0u) << requests[0].head;
        EXPECT_EQ(requests[0].body.size(), expected.size());
        EXPECT_TRUE(requests[0].body == expected) << "relay got " << ToHex(requests[0].body).substr(0, 300);
    }

    static KannelGateway* s_gateway;
    static std::string s_problem;
    test::TempHome home;
    test::RecordingMessages messages;
    test::RecordingProgress progress;
    test::CountingPump pump;
    SessionOptions options;
    SendRequest request;
};

KannelGateway* KannelTest::s_gateway = nullptr;
std::string KannelTest::s_problem;

TEST_F(KannelTest, TextOnlyMessage) {
    HttpRelay relay(HttpRelay::Mode::ConfirmOk);
    const SessionReport report = Send(relay);
    EXPECT_TRUE(report.confirmed);
    EXPECT_EQ(report.packets, 1u);
    ExpectDelivered(relay, Expected());
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(KannelTest, SeveralImagesAndASound) {
    request.objects = {
        {Widen(home.WriteFile("media/logo.gif", RandomBytes(300, 1))), 0x9D},
        {Widen(home.WriteFile("media/Photo.JPG", RandomBytes(500, 2))), 0x9E},
        {Widen(home.WriteFile("media/icon.png", RandomBytes(200, 3))), 0xA0},
        {Widen(home.WriteFile("media/ring.wav", RandomBytes(250, 4))), 0xF0},
    };
    HttpRelay relay(HttpRelay::Mode::ConfirmOk);
    const SessionReport report = Send(relay);
    EXPECT_TRUE(report.confirmed);
    ExpectDelivered(relay, Expected());
}

TEST_F(KannelTest, MessageOver1400OctetsGoesOutSegmented) {
    request.objects = {{Widen(home.WriteFile("big.jpg", RandomBytes(20000, 5))), 0x9E},
                       {Widen(home.WriteFile("tune.mp3", RandomBytes(3000, 6))), 0xF4}};
    HttpRelay relay(HttpRelay::Mode::ConfirmOk);
    const SessionReport report = Send(relay);
    EXPECT_TRUE(report.confirmed);
    EXPECT_EQ(report.packets, PacketCount(SendRequestLength(request)));
    EXPECT_GT(report.packets, 10u);
    ExpectDelivered(relay, Expected());
}

TEST_F(KannelTest, RelayAnswersNotOk) {
    HttpRelay relay(HttpRelay::Mode::ConfirmNotOk);
    const SessionReport report = Send(relay);
    EXPECT_FALSE(report.confirmed);
    ExpectDelivered(relay, Expected());
    // The session is still closed properly after the four extra waits.
    const std::string trace = home.ReadFile("mmstrans.txt");
    EXPECT_NE(trace.find("Disconnect PDU Response\n"), std::string::npos);
}

TEST_F(KannelTest, RelayNeverAnswers) {
    HttpRelay relay(HttpRelay::Mode::Silent);
    const SessionReport report = Send(relay);
    EXPECT_FALSE(report.confirmed);
    EXPECT_FALSE(report.canceled);
    ExpectDelivered(relay, Expected());
}

TEST_F(KannelTest, CancelWhileWaitingForTheRelay) {
    HttpRelay relay(HttpRelay::Mode::Silent);
    progress.cancelWhen = [&relay] { return relay.Received(); };
    // Waits that only Cancel can end early: ending well within them shows that it did.
    options.timings.postPacketMs = 120000;
    options.timings.extraWaitMs = 120000;
    const auto start = std::chrono::steady_clock::now();
    const SessionReport report = Send(relay);
    EXPECT_FALSE(report.confirmed);
    EXPECT_TRUE(report.canceled);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
}

// The command-line front end loads libQVLMMSClient.so by name and calls SendMMS.
class SendMmsProgramTest : public KannelTest {
protected:
    int RunProgram(const std::vector<std::string>& args) {
        char self[PATH_MAX];
        const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
        if (n <= 0) return -1;
        self[n] = '\0';
        std::string program = self;
        program = program.substr(0, program.rfind('/')) + "/qvl-sendmms";
        std::vector<char*> argv{program.data()};
        std::vector<std::string> copy = args;
        for (std::string& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

TEST_F(SendMmsProgramTest, ConfirmedMessageArrivesByteExactAndExitsZero) {
    HttpRelay relay(HttpRelay::Mode::ConfirmOk);
    const std::string gif = home.WriteFile("pics/cat.gif", RandomBytes(2500, 7));
    const std::string wav = home.WriteFile("pics/meow.WAV", RandomBytes(900, 8));
    EXPECT_EQ(RunProgram({"--gateway", "localhost", "--uri", relay.Uri(), "--to", "555; me@example.org", "--cc",
                          "777", "--subject", "Cat", "--text", "See the cat", gif, wav}),
              0);
    const auto requests = relay.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const std::string tid = test::TransactionIdOf(requests[0].body);
    ASSERT_EQ(tid.size(), 10u);
    request.uri = Widen(relay.Uri());
    request.to = u"555; me@example.org";
    request.cc = u"777";
    request.subject = u"Cat";
    request.text = u"See the cat";
    request.objects = {{Widen(gif), 0x9D}, {Widen(wav), 0xF0}};
    ExpectDelivered(relay, Expected(static_cast<std::uint32_t>(std::stoul(tid))));
    EXPECT_NE(home.ReadFile("mmstrans.txt").find("Send MMS Packet Reply\n"), std::string::npos);
}

TEST_F(SendMmsProgramTest, RelayFailureExitsOne) {
    HttpRelay relay(HttpRelay::Mode::ConfirmNotOk);
    EXPECT_EQ(RunProgram({"--gateway", "127.0.0.1", "--uri", relay.Uri(), "--to", "555"}), 1);
    EXPECT_EQ(relay.Requests().size(), 1u);
}

TEST_F(SendMmsProgramTest, UsageErrorExitsOne) {
    EXPECT_EQ(RunProgram({"--gateway", "127.0.0.1", "--to", "555"}), 1);
}

}  // namespace
}  // namespace qvl::mms
