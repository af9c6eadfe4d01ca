// The modem queries of an MMS send: the PDP context for the profile's APN and the operator's
// numeric code, read from real answer forms and from damaged ones.
#include "app/mms/mmscontext.h"

#include <gtest/gtest.h>

#include "app/engine/testing/scriptedengine.h"

namespace qvl::mms {
namespace {

using qvl::testing::Esc;
using qvl::testing::ScriptedEngine;

std::vector<std::pair<int, std::u16string>> Pairs(const std::vector<DefinedContext>& list) {
    std::vector<std::pair<int, std::u16string>> out;
    for (const auto& c : list) {
        out.emplace_back(c.cid, c.apn);
    }
    return out;
}

TEST(ContextAnswerTest, DefinedContextsLineByLine) {
    struct Row {
        const char* name;
        std::string answer;
        std::vector<std::pair<int, std::u16string>> contexts;
    };
    const std::vector<Row> rows = {
        {"two contexts",
         "\r\n+CGDCONT: 1,\"IP\",\"internet\",\"0.0.0.0\",0,0\r\n"
         "+CGDCONT: 2,\"IP\",\"mms.example\",\"0.0.0.0\",0,0\r\n\r\nOK\r\n",
         {{1, u"internet"}, {2, u"mms.example"}}},
        // A context whose line ends after its type must not take the next line's APN.
        {"no APN, then another line",
         "\r\n+CGDCONT: 1,\"IP\"\r\n+CGDCONT: 2,\"IP\",\"mms\",\"\",0,0\r\n\r\nOK\r\n",
         {{1, u""}, {2, u"mms"}}},
        {"empty APN field", "\r\n+CGDCONT: 3,\"IP\",,\"0.0.0.0\"\r\n\r\nOK\r\n", {{3, u""}}},
        {"quoted empty APN", "\r\n+CGDCONT: 4,\"IP\",\"\"\r\n\r\nOK\r\n", {{4, u""}}},
        {"no address field", "\r\n+CGDCONT: 5,\"IP\",\"web\"\r\n\r\nOK\r\n", {{5, u"web"}}},
        {"context number damaged",
         "\r\n+CGDCONT: x,\"IP\",\"bad\"\r\n+CGDCONT: 0,\"IP\",\"zero\"\r\n"
         "+CGDCONT: 6,\"IP\",\"good\"\r\n\r\nOK\r\n",
         {{6, u"good"}}},
        {"cut off in the APN", "\r\n+CGDCONT: 7,\"IP\",\"mms.ex", {{7, u""}}},
        {"no context", "\r\nOK\r\n", {}},
        {"error", "\r\nERROR\r\n", {}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Pairs(ParseDefinedContexts(Esc(row.answer))), row.contexts) << row.name;
    }
    // More contexts than the handheld's table of 20 are all read.
    std::string many = "\r\n";
    for (int cid = 1; cid <= 24; ++cid) {
        many += "+CGDCONT: " + std::to_string(cid) + ",\"IP\",\"a" + std::to_string(cid) + "\"\r\n";
    }
    EXPECT_EQ(ParseDefinedContexts(Esc(many + "\r\nOK\r\n")).size(), 24u);
}

TEST(ContextAnswerTest, HighestContextNumber) {
    struct Row {
        const char* name;
        std::string answer;
        int max;
    };
    const std::vector<Row> rows = {
        {"range 1-3", "\r\n+CGDCONT: (1-3),\"IP\",,,(0-2),(0-4)\r\n\r\nOK\r\n", 3},
        {"two PDP types",
         "\r\n+CGDCONT: (1-3),\"IP\",,,(0),(0)\r\n+CGDCONT: (1-5),\"IPV6\",,,(0),(0)\r\n\r\nOK\r\n",
         5},
        {"single number", "\r\n+CGDCONT: (4),\"IP\"\r\n\r\nOK\r\n", 4},
        {"no range", "\r\nERROR\r\n", 10},
        {"beyond what a data call can name", "\r\n+CGDCONT: (1-255),\"IP\"\r\n\r\nOK\r\n", 99},
        {"garbage", "\r\n+CGDCONT: (a-b)\r\n\r\nOK\r\n", 10},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ParseMaxContextId(Esc(row.answer)), row.max) << row.name;
    }
}

TEST(ContextAnswerTest, ChoosingTheContext) {
    const std::vector<DefinedContext> twoOthers = {{1, u"internet"}, {2, u"wap"}};
    const std::vector<DefinedContext> threeTaken = {{1, u"a"}, {2, u"b"}, {3, u"c"}};
    const std::vector<DefinedContext> gap = {{1, u"a"}, {3, u"c"}};
    EXPECT_EQ(MatchingContextId(twoOthers, u"mms"), 0);
    EXPECT_EQ(FreeContextId(twoOthers, 3), 3) << "contexts 1 and 2 carry other APNs";
    EXPECT_EQ(FreeContextId(threeTaken, 3), 3) << "all taken: the highest";
    EXPECT_EQ(FreeContextId(gap, 3), 2);
    EXPECT_EQ(FreeContextId({}, 3), 1);
    EXPECT_EQ(MatchingContextId({{1, u"internet"}, {2, u"MMS.Example.COM"}}, u"mms.example.com"), 2)
        << "the same APN in other letter case is reused";
    EXPECT_EQ(MatchingContextId({{1, u""}}, u""), 0) << "an empty APN matches nothing";
}

TEST(ContextQueryTest, SelectContextIdOverTheModem) {
    ScriptedEngine s;
    ASSERT_TRUE(s.StartReady());
    s.io.On(
        u"AT+CGDCONT?",
        {Esc("\r\n+CGDCONT: 1,\"IP\",\"internet\"\r\n+CGDCONT: 2,\"IP\",\"wap\"\r\n\r\nOK\r\n")});
    s.io.On(u"AT+CGDCONT=?", {Esc("\r\n+CGDCONT: (1-3),\"IP\",,,(0-2),(0-4)\r\n\r\nOK\r\n")});
    EXPECT_EQ(SelectContextId(*s.engine, u"mms"), 3);
    EXPECT_EQ(s.io.CountWritten(u"AT+CGDCONT?"), 1);
    EXPECT_EQ(s.io.CountWritten(u"AT+CGDCONT=?"), 1);
    EXPECT_FALSE(s.engine->Busy()) << "the busy flag is the query's only";

    s.io.written.clear();
    EXPECT_EQ(SelectContextId(*s.engine, u"WAP"), 2);
    EXPECT_EQ(s.io.CountWritten(u"AT+CGDCONT=?"), 0) << "a matching context needs no range";

    s.engine->StopSession();
    s.io.written.clear();
    EXPECT_EQ(SelectContextId(*s.engine, u"mms"), 1) << "port closed";
    EXPECT_TRUE(s.io.written.empty());
}

TEST(ContextQueryTest, DetectOperatorCodeAsksForTheNumericFormat) {
    ScriptedEngine s;
    ASSERT_TRUE(s.StartReady());
    s.io.On(u"AT+COPS?", {Esc("\r\n+COPS: 0,2,\"26201\"\r\n\r\nOK\r\n")});
    EXPECT_EQ(DetectOperatorCode(*s.engine), 26201);
    EXPECT_EQ(s.io.CountWritten(u"AT+COPS=3,2"), 1);

    s.io.On(u"AT+COPS?", {Esc("\r\n+COPS: 0\r\n\r\nOK\r\n")});
    EXPECT_EQ(DetectOperatorCode(*s.engine), -1) << "registered nowhere";
    s.io.On(u"AT+COPS?", {Esc("\r\n+COPS: 0,0,\"Telekom.de\"\r\n\r\nOK\r\n")});
    EXPECT_EQ(DetectOperatorCode(*s.engine), -1) << "a name is no code";
    s.engine->StopSession();
    EXPECT_EQ(DetectOperatorCode(*s.engine), -1) << "port closed";
}

}  // namespace
}  // namespace qvl::mms
