// The WSP session against a scripted gateway on loopback: the exchanges a real gateway does not
// produce on demand (redirect, NAck, abort, silence, forged replies) and the refusals before
// connecting. Waits are shortened through SessionTimings; the sequence is the one SendMMS runs.
#include "mms_test_support.h"
#include "mmsclient/mmstexts.h"
#include "mmsclient/wspsession.h"
#include "udp_gateway.h"
#include "ui_fakes.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace qvl::mms {
namespace {

using test::Ascii;
using test::Bytes;
using test::Concat;
using test::Hex;
using test::ScriptedGateway;
using test::ToHex;

int Count(const std::string& haystack, const std::string& needle) {
    int n = 0;
    for (std::size_t at = haystack.find(needle); at != std::string::npos;
         at = haystack.find(needle, at + 1))
        ++n;
    return n;
}

class SessionTest : public ::testing::Test {
  protected:
    SessionTest() {
        // Waits for a reply that comes end when it comes, so they are generous (a loaded
        // machine must not fail a test); waits that run out when nothing comes are short.
        options.timings = SessionTimings{10000, 100, 5000, 300};
        options.ports = UiPorts{&messages, &pump, &progress};
        options.trace = TraceFile::InDeviceRoot();
        options.tids = &tids;
        options.tick = [] { return 42u; };
        request.uri = u"http://relay.example/mms";
        request.to = u"555";
        request.text = u"Hello";
    }

    SessionReport Send(const ScriptedGateway& gateway, const std::u16string& host = u"127.0.0.1") {
        options.port = gateway.Port();
        return RunMmsSession(host, request, options);
    }
    std::string Trace() const { return home.ReadFile("mmstrans.txt"); }
    // Holds the session's first read after the Post until the gateway has sent every reply to
    // it (on loopback they are then queued), so that several replies really arrive in one wait.
    void HoldFirstReadAfterThePost(const ScriptedGateway& gateway, const std::atomic<bool>& posted,
                                   const std::atomic<std::size_t>& postIndex) {
        auto held = std::make_shared<bool>(false);
        pump.onPump = [&gateway, &posted, &postIndex, held] {
            if (posted && !*held) {
                *held = true;
                const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
                while (gateway.Answered() <= postIndex &&
                       std::chrono::steady_clock::now() < limit) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
            }
        };
    }
    static std::vector<int> FirstOctets(const std::vector<Bytes>& datagrams) {
        std::vector<int> out;
        for (const Bytes& d : datagrams) out.push_back(d.empty() ? -1 : d[0]);
        return out;
    }

    test::TempHome home;
    test::RecordingMessages messages;
    test::RecordingProgress progress;
    test::CountingPump pump;
    TidCounter tids;
    SessionOptions options;
    SendRequest request;
};

TEST_F(SessionTest, TextOnlyMessageIsConfirmedAcknowledgedAndDisconnected) {
    ScriptedGateway gateway([](const Bytes& d, std::size_t, const sockaddr_in&) {
        return test::GoodGatewayReplies(d, test::MSendConf(0x80));
    });
    const SessionReport report = Send(gateway);
    EXPECT_TRUE(report.confirmed);
    EXPECT_EQ(report.packets, 1u);
    const auto got = gateway.Received();
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(ToHex(Bytes(got[0].begin(), got[0].begin() + 5)), "0A 00 01 12 01");  // Connect
    EXPECT_EQ(ToHex(got[1]), "18 00 01");                                           // its Ack
    TidCounter expectedTids;
    expectedTids.Next(TidUse::New);
    SendRequest sent = request;
    sent.transactionTick = 42;
    EXPECT_EQ(ToHex(got[2]), ToHex(BuildSendRequest(expectedTids, sent).octets));  // the Post
    EXPECT_EQ(ToHex(got[3]), "18 00 02");
    EXPECT_EQ(ToHex(got[4]), "0A 00 03 12 05 81 05");  // Disconnect with the session id
    EXPECT_EQ(progress.created, 1);
    EXPECT_EQ(progress.destroyed, 1);
    EXPECT_EQ(progress.texts.front(), WideToUtf8(MmsText(kTextConnecting)));
    EXPECT_EQ(progress.texts.back(), WideToUtf8(MmsText(kTextDisconnecting)));
    EXPECT_GT(pump.pumps.load(), 0);
    EXPECT_TRUE(messages.shown.empty());

    const std::string trace = Trace();
    const char* titles[] = {"Connect PDU\n",
                            "Connect PDU Response\n",
                            "Connect PDU Response Acknowledgement\n",
                            "Connect PDU Response Acknowledgement Response\n",
                            "Send MMS PDU\n",
                            "Send MMS Packet\n",
                            "Send MMS Packet Reply\n",
                            "Now check MMS layer's Response-Status\n",
                            "Send MMS PDU Response\n",
                            "Send MMS PDU Response Acknowledgement\n",
                            "Disconnect PDU\n",
                            "Disconnect PDU Response\n"};
    std::size_t at = 0;
    for (const char* title : titles) {
        SCOPED_TRACE(title);
        at = trace.find(title, at);
        ASSERT_NE(at, std::string::npos);
    }
    EXPECT_EQ(Count(trace, "another time"), 0);
    struct stat st {};
    ASSERT_EQ(::stat((home.Path() + "/mmstrans.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(SessionTest, TraceIsTruncatedAtEachCall) {
    home.WriteFile("mmstrans.txt", Ascii("OLD ENTRY\n"));
    ScriptedGateway gateway([](const Bytes& d, std::size_t, const sockaddr_in&) {
        return test::GoodGatewayReplies(d, test::MSendConf(0x80));
    });
    EXPECT_TRUE(Send(gateway).confirmed);
    EXPECT_EQ(Trace().find("OLD ENTRY"), std::string::npos);
    EXPECT_EQ(Trace().rfind("Connect PDU\n", 0), 0u);
}

TEST_F(SessionTest, LongMessageGoesOutSegmentedStopAndWait) {
    request.text = std::u16string(3000, u'x');
    ScriptedGateway gateway([](const Bytes& d, std::size_t, const sockaddr_in&) {
        return test::GoodGatewayReplies(d, test::MSendConf(0x80));
    });
    const SessionReport report = Send(gateway);
    EXPECT_TRUE(report.confirmed);
    EXPECT_EQ(report.packets, 3u);
    const auto got = gateway.Received();
    ASSERT_EQ(got.size(), 2u + 3u + 2u);
    EXPECT_EQ(FirstOctets(got), (std::vector<int>{0x0A, 0x18, 0x8C, 0x2C, 0x2A, 0x18, 0x0A}));
    EXPECT_EQ(got[2].size(), 1400u);
    EXPECT_EQ(got[3].size(), 1400u);
    // The Post's own TID (2) is drawn but the packets carry 3; the Ack and Disconnect follow.
    EXPECT_EQ(test::TidOf(got[2]), 3);
    EXPECT_EQ(ToHex(got[5]), "18 00 03");
    EXPECT_EQ(test::TidOf(got[6]), 4);
    SendRequest sent = request;
    sent.transactionTick = 42;
    TidCounter scratch;
    Bytes whole = BuildSendRequest(scratch, sent, 1u << 30).octets;
    EXPECT_EQ(test::Reassemble({got[2], got[3], got[4]}), Bytes(whole.begin() + 4, whole.end()));
}

struct ResendCase {
    const char* name;
    int nacksOfFirstSegment;  // -1: NAck every time
    std::size_t firstSegmentSends;
    bool confirmed;
};

class NAckTest : public SessionTest, public ::testing::WithParamInterface<ResendCase> {};

TEST_P(NAckTest, SegmentIsResentUpToThreeTimes) {
    const ResendCase c = GetParam();
    request.text = std::u16string(2000, u'y');
    std::atomic<int> nacks{0};
    ScriptedGateway gateway(
        [&](const Bytes& d, std::size_t, const sockaddr_in&) -> std::vector<Bytes> {
            if (d[0] == 0x8C && (c.nacksOfFirstSegment < 0 || nacks < c.nacksOfFirstSegment)) {
                ++nacks;
                return {Concat({Hex("38"), Bytes{static_cast<std::uint8_t>(d[1] | 0x80), d[2]},
                                Hex("01 00")})};
            }
            return test::GoodGatewayReplies(d, test::MSendConf(0x80));
        });
    EXPECT_EQ(Send(gateway).confirmed, c.confirmed);
    std::size_t firstSends = 0;
    for (const Bytes& d : gateway.Received()) firstSends += d[0] == 0x8C ? 1 : 0;
    EXPECT_EQ(firstSends, c.firstSegmentSends);
    // After the third resend the segment counts as sent and the next one follows.
    EXPECT_EQ(FirstOctets(gateway.Received()).back(), 0x0A);
}

INSTANTIATE_TEST_SUITE_P(Rows, NAckTest,
                         ::testing::Values(ResendCase{"one_nack", 1, 2, true},
                                           ResendCase{"three_nacks", 3, 4, true},
                                           ResendCase{"nack_forever", -1, 4, true}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(SessionTest, SilenceAfterAPacketResendsThreeTimesThenFails) {
    ScriptedGateway gateway(
        [](const Bytes& d, std::size_t, const sockaddr_in&) -> std::vector<Bytes> {
            if (d[0] == 0x0A && d.size() > 4 && d[4] == 0x60)
                return {};
            return test::GoodGatewayReplies(d, test::MSendConf(0x80));
        });
    options.timings.postPacketMs = 300;  // every wait after the Post runs out
    const SessionReport report = Send(gateway);
    EXPECT_FALSE(report.confirmed);
    // Connect, Ack, the Post four times; no acknowledgement and no Disconnect after a failed post.
    EXPECT_EQ(FirstOctets(gateway.Received()),
              (std::vector<int>{0x0A, 0x18, 0x0A, 0x0A, 0x0A, 0x0A}));
}

TEST_F(SessionTest, SilenceOnceIsRecoveredByTheResend) {
    std::atomic<int> posts{0};
    ScriptedGateway gateway(
        [&](const Bytes& d, std::size_t, const sockaddr_in&) -> std::vector<Bytes> {
            if (d[0] == 0x0A && d.size() > 4 && d[4] == 0x60 && posts++ == 0)
                return {};
            return test::GoodGatewayReplies(d, test::MSendConf(0x80));
        });
    options.timings.postPacketMs = 2000;  // the first wait runs out, the second is answered
    EXPECT_TRUE(Send(gateway).confirmed);
    EXPECT_EQ(posts.load(), 2);
}

struct VerdictCase {
    const char* name;
    std::function<std::vector<Bytes>(std::uint16_t tid)> postReply;
    bool confirmed;
    int extraWaits;
};

class VerdictTest : public SessionTest, public ::testing::WithParamInterface<VerdictCase> {};

TEST_P(VerdictTest, PostReplyDecidesTheResult) {
    const VerdictCase& c = GetParam();
    std::atomic<bool> posted{false};
    std::atomic<std::size_t> postIndex{0};
    ScriptedGateway gateway(
        [&](const Bytes& d, std::size_t index, const sockaddr_in&) -> std::vector<Bytes> {
            if (d[0] == 0x0A && d.size() > 4 && d[4] == 0x60) {
                postIndex = index;
                posted = true;
                return c.postReply(test::TidOf(d));
            }
            return test::GoodGatewayReplies(d, test::MSendConf(0x80));
        });
    HoldFirstReadAfterThePost(gateway, posted, postIndex);
    EXPECT_EQ(Send(gateway).confirmed, c.confirmed);
    EXPECT_EQ(Count(Trace(), "Send MMS PDU Response another time\n"), c.extraWaits);
    // Acknowledged and disconnected in every case.
    EXPECT_EQ(FirstOctets(gateway.Received()), (std::vector<int>{0x0A, 0x18, 0x0A, 0x18, 0x0A}));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, VerdictTest,
    ::testing::Values(
        VerdictCase{"ok",
                    [](std::uint16_t tid) {
                        return std::vector<Bytes>{
                            test::WspReplyResult(tid, 0x20, test::MSendConf(0x80))};
                    },
                    true, 0},
        VerdictCase{"ack_and_result_in_one_wait",
                    [](std::uint16_t tid) {
                        return std::vector<Bytes>{
                            Hex("18 80 02"),
                            test::WspReplyResult(tid, 0x20, test::MSendConf(0x80))};
                    },
                    true, 0},
        // Not OK in the post exchange: the extra waits still run, as for any unconfirmed post.
        VerdictCase{"relay_not_ok",
                    [](std::uint16_t tid) {
                        return std::vector<Bytes>{
                            test::WspReplyResult(tid, 0x20, test::MSendConf(0x81))};
                    },
                    false, 4},
        VerdictCase{"wsp_status_406",
                    [](std::uint16_t tid) {
                        return std::vector<Bytes>{test::WspReplyResult(tid, 0x46, {})};
                    },
                    false, 4},
        VerdictCase{"abort", [](std::uint16_t) { return std::vector<Bytes>{Hex("20 80 02 01")}; },
                    false, 4},
        VerdictCase{"headers_length_past_datagram",
                    [](std::uint16_t) {
                        return std::vector<Bytes>{
                            Concat({Hex("16 80 02 04 20 7F BE"), test::MSendConf(0x80)})};
                    },
                    false, 4}),
    [](const auto& row) { return std::string(row.param.name); });

// Replies under another transaction's TID (a late datagram of the Connect, a reflection of the
// Post itself) arrive before or instead of the Post's answer; they must not count for it.
struct StaleCase {
    const char* name;
    std::function<std::vector<Bytes>(std::uint16_t postTid)> postReply;
    bool confirmed;
    std::size_t postSends;
};

class StaleReplyTest : public SessionTest, public ::testing::WithParamInterface<StaleCase> {};

TEST_P(StaleReplyTest, OnlyRepliesToThePostsTidCount) {
    const StaleCase& c = GetParam();
    options.timings.postPacketMs = 200;
    ScriptedGateway gateway(
        [&](const Bytes& d, std::size_t, const sockaddr_in&) -> std::vector<Bytes> {
            if (d[0] == 0x0A && d.size() > 4 && d[4] == 0x60)
                return c.postReply(test::TidOf(d));
            return test::GoodGatewayReplies(d, test::MSendConf(0x80));
        });
    EXPECT_EQ(Send(gateway).confirmed, c.confirmed);
    std::size_t posts = 0;
    for (const Bytes& d : gateway.Received())
        posts += d[0] == 0x0A && d.size() > 4 && d[4] == 0x60 ? 1 : 0;
    EXPECT_EQ(posts, c.postSends);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StaleReplyTest,
    ::testing::Values(
        // The Connect's TID is 1, the Post's 2.
        StaleCase{"confirmation_under_the_connects_tid",
                  [](std::uint16_t) {
                      return std::vector<Bytes>{
                          test::WspReplyResult(1, 0x20, test::MSendConf(0x80))};
                  },
                  false, 4},
        StaleCase{"stale_nack_before_the_confirmation",
                  [](std::uint16_t tid) {
                      return std::vector<Bytes>{
                          Hex("38 80 01 00"),
                          test::WspReplyResult(tid, 0x20, test::MSendConf(0x80))};
                  },
                  true, 1},
        StaleCase{"own_tid_without_the_responder_bit",
                  [](std::uint16_t tid) {
                      Bytes reflected = test::WspReplyResult(tid, 0x20, test::MSendConf(0x80));
                      reflected[1] &= 0x7F;
                      return std::vector<Bytes>{reflected};
                  },
                  false, 4},
        StaleCase{"datagram_too_short_for_a_tid",
                  [](std::uint16_t) { return std::vector<Bytes>{Hex("12 80")}; }, false, 4}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(SessionTest, RedirectOfAnotherTransactionIsNotFollowed) {
    ScriptedGateway gateway(
        [](const Bytes& d, std::size_t, const sockaddr_in&) -> std::vector<Bytes> {
            if (d[0] == 0x0A && d.size() > 4 && d[4] == 0x01) {
                // A Redirect left over from an earlier Connect (TID 7), then the real ConnectReply.
                return {Hex("16 80 07 03 00 C4 00 23 29 7F 00 00 01"),
                        Concat({Hex("16 80"), Bytes{d[2]}, Hex("02 81 05")})};
            }
            return test::GoodGatewayReplies(d, test::MSendConf(0x80));
        });
    const SessionReport report = Send(gateway);
    EXPECT_TRUE(report.confirmed);
    EXPECT_EQ(report.redirects, 0);
    EXPECT_EQ(ToHex(gateway.Received().back()), "0A 00 03 12 05 81 05");
}

// A reply datagram is read whole or known to be cut: one longer than the reply buffer is not
// judged from its first part, and one that arrives after others is not cut to the room they left.
TEST_F(SessionTest, ReplyLongerThanTheBufferIsDetectedAndNotJudged) {
    ScriptedGateway gateway(
        [](const Bytes& d, std::size_t, const sockaddr_in&) -> std::vector<Bytes> {
            if (d[0] == 0x0A && d.size() > 4 && d[4] == 0x60) {
                return {Concat({test::WspReplyResult(test::TidOf(d), 0x20, test::MSendConf(0x80)),
                                Bytes(10100, 0x41)})};
            }
            return test::GoodGatewayReplies(d, test::MSendConf(0x80));
        });
    EXPECT_FALSE(Send(gateway).confirmed);
    const std::string trace = Trace();
    EXPECT_NE(trace.find("Reply cut short"), std::string::npos);
    EXPECT_EQ(trace.find("Now check MMS layer"), std::string::npos);
}

TEST_F(SessionTest, ReplyAfterALargeOneIsReadWhole) {
    std::atomic<bool> posted{false};
    std::atomic<std::size_t> postIndex{0};
    ScriptedGateway gateway(
        [&](const Bytes& d, std::size_t index, const sockaddr_in&) -> std::vector<Bytes> {
            if (d[0] == 0x0A && d.size() > 4 && d[4] == 0x60) {
                postIndex = index;
                posted = true;
                const std::uint16_t tid = test::TidOf(d);
                return {test::WspReplyResult(tid, 0x46, Bytes(9990, 0x41)),
                        test::WspReplyResult(tid, 0x20, test::MSendConf(0x80))};
            }
            return test::GoodGatewayReplies(d, test::MSendConf(0x80));
        });
    HoldFirstReadAfterThePost(gateway, posted, postIndex);
    EXPECT_TRUE(Send(gateway).confirmed);
    EXPECT_EQ(Trace().find("Reply cut short"), std::string::npos);
}

TEST_F(SessionTest, ConfirmationInAnExtraWaitCounts) {
    std::atomic<bool> posted{false};
    sockaddr_in client{};
    std::uint16_t postTid = 0;
    ScriptedGateway gateway(
        [&](const Bytes& d, std::size_t, const sockaddr_in& from) -> std::vector<Bytes> {
            if (d[0] == 0x0A && d.size() > 4 && d[4] == 0x60) {
                client = from;
                postTid = test::TidOf(d);
                posted = true;
                return {Hex("18 80 02")};  // an Ack now, the Result later
            }
            return test::GoodGatewayReplies(d, test::MSendConf(0x80));
        });
    // The Result is sent once the session shows that it waits for the relay's answer.
    bool resultSent = false;
    const std::string receiving = WideToUtf8(MmsText(kTextReceiving));
    progress.cancelWhen = [&]() {
        if (posted && !resultSent && !progress.texts.empty() &&
            progress.texts.back() == receiving) {
            gateway.SendTo(test::WspReplyResult(postTid, 0x20, test::MSendConf(0x80)), client);
            resultSent = true;
        }
        return false;
    };
    options.timings.extraWaitMs = 10000;  // the Result comes during the first extra wait
    EXPECT_TRUE(Send(gateway).confirmed);
    EXPECT_TRUE(resultSent);
    EXPECT_EQ(Count(Trace(), "Send MMS PDU Response another time\n"), 1);
}

TEST_F(SessionTest, RedirectReconnectsToTheNewAddressWithANewTid) {
    ScriptedGateway target([](const Bytes& d, std::size_t, const sockaddr_in&) {
        return test::GoodGatewayReplies(d, test::MSendConf(0x80));
    });
    const std::uint16_t port = target.Port();
    ScriptedGateway first(
        [port](const Bytes& d, std::size_t, const sockaddr_in&) -> std::vector<Bytes> {
            if (d[0] == 0x0A) {
                return {Concat(
                    {Hex("16 80 01 03 00 C4 00"),
                     Bytes{static_cast<std::uint8_t>(port >> 8), static_cast<std::uint8_t>(port)},
                     Hex("7F 00 00 01")})};
            }
            return {};
        });
    const SessionReport report = Send(first);
    EXPECT_TRUE(report.confirmed);
    EXPECT_EQ(report.redirects, 1);
    EXPECT_EQ(FirstOctets(first.Received()), (std::vector<int>{0x0A, 0x18}));
    const auto got = target.Received();
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(test::TidOf(got[0]), 2);  // a new Connect, not a resend of the first
    EXPECT_EQ(got[0][4], 0x01);
    EXPECT_EQ(progress.texts[4], WideToUtf8(MmsText(kTextRedirecting)));
}

TEST_F(SessionTest, RedirectChainEndsAfterTheBound) {
    std::uint16_t self = 0;
    ScriptedGateway loop(
        [&self](const Bytes& d, std::size_t, const sockaddr_in&) -> std::vector<Bytes> {
            if (d[0] == 0x0A) {
                // Each Connect is redirected under its own TID.
                return {Concat(
                    {Bytes{0x16, static_cast<std::uint8_t>(d[1] | 0x80), d[2]}, Hex("03 00 C4 00"),
                     Bytes{static_cast<std::uint8_t>(self >> 8), static_cast<std::uint8_t>(self)},
                     Hex("7F 00 00 01")})};
            }
            return {};
        });
    self = loop.Port();
    const SessionReport report = Send(loop);
    EXPECT_FALSE(report.confirmed);
    EXPECT_EQ(report.redirects, options.maxRedirects);
    int connects = 0;
    for (const Bytes& d : loop.Received()) connects += d[0] == 0x0A ? 1 : 0;
    EXPECT_EQ(connects, options.maxRedirects + 1);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0], WideToUtf8(MmsText(kTextTooManyRedirects)));
}

TEST_F(SessionTest, UnreadableRedirectKeepsTheGatewayAndPosts) {
    ScriptedGateway gateway(
        [](const Bytes& d, std::size_t, const sockaddr_in&) -> std::vector<Bytes> {
            if (d[0] == 0x0A && d.size() > 4 && d[4] == 0x01)
                return {Hex("16 80 01 03 00 C4 00 23 29 7F 00")};
            return test::GoodGatewayReplies(d, test::MSendConf(0x80));
        });
    const SessionReport report = Send(gateway);
    EXPECT_TRUE(report.confirmed);
    EXPECT_EQ(report.redirects, 0);
    // No session id was learnt: the Disconnect carries none.
    EXPECT_EQ(ToHex(gateway.Received().back()), "0A 00 03 12 05");
}

TEST_F(SessionTest, ConnectOutcomesOtherThanConnectReplyStillPost) {
    ScriptedGateway gateway(
        [](const Bytes& d, std::size_t, const sockaddr_in&) -> std::vector<Bytes> {
            if (d[0] == 0x0A && d.size() > 4 && d[4] == 0x01)
                return {Hex("20 80 01 05")};  // Abort
            return test::GoodGatewayReplies(d, test::MSendConf(0x80));
        });
    EXPECT_TRUE(Send(gateway).confirmed);
    EXPECT_EQ(FirstOctets(gateway.Received()), (std::vector<int>{0x0A, 0x18, 0x0A, 0x18, 0x0A}));
}

TEST_F(SessionTest, UnansweredConnectEndsSilently) {
    options.timings.connectMs = 300;
    ScriptedGateway gateway(
        [](const Bytes&, std::size_t, const sockaddr_in&) { return std::vector<Bytes>{}; });
    EXPECT_FALSE(Send(gateway).confirmed);
    EXPECT_EQ(gateway.Received().size(), 1u);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(SessionTest, RepliesFromAnotherAddressAreIgnored) {
    // A forger that knows the client's port answers the Post with a confirmation from its own
    // socket; the gateway itself stays silent about the Post.
    const int forger = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(forger, 0);
    ScriptedGateway gateway([forger](const Bytes& d, std::size_t,
                                     const sockaddr_in& client) -> std::vector<Bytes> {
        if (d[0] == 0x0A && d.size() > 4 && d[4] == 0x60) {
            const Bytes forged = test::WspReplyResult(test::TidOf(d), 0x20, test::MSendConf(0x80));
            ::sendto(forger, forged.data(), forged.size(), 0,
                     reinterpret_cast<const sockaddr*>(&client), sizeof client);
            return {};
        }
        return test::GoodGatewayReplies(d, test::MSendConf(0x80));
    });
    options.timings.postPacketMs = 200;
    EXPECT_FALSE(Send(gateway).confirmed);
    EXPECT_EQ(Trace().find("Now check MMS layer"), std::string::npos);
    ::close(forger);
}

TEST_F(SessionTest, CancelDuringTheWaitForTheRelayStopsWithoutDisconnect) {
    std::atomic<bool> posted{false};
    ScriptedGateway gateway(
        [&](const Bytes& d, std::size_t, const sockaddr_in&) -> std::vector<Bytes> {
            if (d[0] == 0x0A && d.size() > 4 && d[4] == 0x60) {
                posted = true;
                return {};
            }
            return test::GoodGatewayReplies(d, test::MSendConf(0x80));
        });
    progress.cancelWhen = [&] { return posted.load(); };
    options.timings.postPacketMs = 60000;  // only Cancel can end this wait early
    const SessionReport report = Send(gateway);
    EXPECT_FALSE(report.confirmed);
    EXPECT_TRUE(report.canceled);
    EXPECT_EQ(FirstOctets(gateway.Received()), (std::vector<int>{0x0A, 0x18, 0x0A}));
    EXPECT_EQ(progress.destroyed, 1);
}

TEST_F(SessionTest, CancelAfterTheConfirmationKeepsTheVerdict) {
    std::atomic<bool> confirmedSent{false};
    ScriptedGateway gateway([&](const Bytes& d, std::size_t, const sockaddr_in&) {
        // The Ack of the Post's Result: the relay's answer has been read.
        if (d[0] == 0x18 && test::TidOf(d) == 2)
            confirmedSent = true;
        return test::GoodGatewayReplies(d, test::MSendConf(0x80));
    });
    progress.cancelWhen = [&] { return confirmedSent.load(); };
    const SessionReport report = Send(gateway);
    EXPECT_TRUE(report.canceled);
    EXPECT_TRUE(report.confirmed);
    // Canceled while waiting after the Ack: no Disconnect went out.
    EXPECT_EQ(FirstOctets(gateway.Received()), (std::vector<int>{0x0A, 0x18, 0x0A, 0x18}));
}

TEST_F(SessionTest, HostNameIsResolved) {
    ScriptedGateway gateway([](const Bytes& d, std::size_t, const sockaddr_in&) {
        return test::GoodGatewayReplies(d, test::MSendConf(0x80));
    });
    EXPECT_TRUE(Send(gateway, u"localhost").confirmed);
}

struct RefusalCase {
    const char* name;
    std::function<void(SendRequest&, const test::TempHome&)> prepare;
    TextId message;
};

class RefusalTest : public SessionTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RefusalTest, RefusedBeforeConnecting) {
    GetParam().prepare(request, home);
    ScriptedGateway gateway([](const Bytes& d, std::size_t, const sockaddr_in&) {
        return test::GoodGatewayReplies(d, test::MSendConf(0x80));
    });
    EXPECT_FALSE(Send(gateway).confirmed);
    EXPECT_TRUE(gateway.Received().empty());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0], WideToUtf8(MmsText(GetParam().message)));
    EXPECT_EQ(progress.destroyed, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RefusalTest,
    ::testing::Values(
        RefusalCase{
            "more_than_126_objects",
            [](SendRequest& r, const test::TempHome& h) {
                r.objects.assign(127, MmsObject{Widen(h.WriteFile("a.gif", Ascii("G"))), 0x9D});
            },
            kTextTooManyObjects},
        RefusalCase{
            "more_than_256_packets",
            [](SendRequest& r, const test::TempHome& h) {
                r.objects = {{Widen(h.WriteFile("big.png", Bytes(1392 + 255 * 1396, 1))), 0xA0}};
            },
            kTextTooLarge},
        RefusalCase{"no_recipient",
                    [](SendRequest& r, const test::TempHome&) {
                        r.to = u" ; ";
                        r.cc = u"";
                    },
                    kTextNoRecipient}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace qvl::mms
