// Tables of real and malformed modem answers for the engine's readers. Answers are written as
// the transport delivers them: CR and LF escaped as the two characters "\r" and "\n".
#include "app/engine/answers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qvl {
namespace {

struct IntCase {
    const char* name;
    std::u16string answer;
    std::int64_t expected;
};

void RunIntTable(const std::vector<IntCase>& cases, std::int64_t (*parse)(std::u16string_view)) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(parse(c.answer), c.expected);
    }
}

template <int (*Parse)(std::u16string_view)>
std::int64_t Widened(std::u16string_view answer) {
    return Parse(answer);
}

TEST(AnswersTest, SignalBars) {
    RunIntTable(
        {
            {"rssi_99_no_measurement", u"\\r\\n+CSQ: 99,99\\r\\n\\r\\nOK\\r\\n", 0},
            {"rssi_31", u"\\r\\n+CSQ: 31,0\\r\\n\\r\\nOK\\r\\n", 4},
            {"rssi_8", u"\\r\\n+CSQ: 8,0\\r\\n\\r\\nOK\\r\\n", 2},
            {"rssi_7", u"\\r\\n+CSQ: 7,0\\r\\n\\r\\nOK\\r\\n", 1},
            {"rssi_0", u"\\r\\n+CSQ: 0,0\\r\\n\\r\\nOK\\r\\n", 1},
            {"rssi_23", u"\\r\\n+CSQ: 23,0\\r\\n\\r\\nOK\\r\\n", 3},
            {"echo_and_cmti_before",
             u"AT+CSQ\\r\\r\\n+CMTI: \"SM\",3\\r\\n\\r\\n+CSQ: 16,99\\r\\n\\r\\nOK\\r\\n", 3},
            {"missing_comma", u"\\r\\n+CSQ: 20\\r\\n\\r\\nOK\\r\\n", 0},
            {"huge_number", u"\\r\\n+CSQ: 99999999999999999999,0\\r\\n", 0},
            {"negative", u"\\r\\n+CSQ: -5,0\\r\\n", 0},
            {"cut_after_prefix", u"\\r\\n+CSQ: ", 0},
            {"cut_in_prefix", u"\\r\\n+CS", 0},
            {"error", u"\\r\\nERROR\\r\\n", 0},
            {"empty", u"", 0},
        },
        Widened<ParseSignalBars>);
}

TEST(AnswersTest, GprsMailboxRoamingVolume) {
    RunIntTable(
        {
            {"attached", u"\\r\\n+CGATT: 1\\r\\n\\r\\nOK\\r\\n", 1},
            {"detached", u"\\r\\n+CGATT: 0\\r\\n\\r\\nOK\\r\\n", 0},
            {"cut_before_line_end", u"\\r\\n+CGATT: 1", 0},
            {"garbage_value", u"\\r\\n+CGATT: x\\r\\n", 0},
        },
        Widened<ParseGprsAttached>);
    RunIntTable(
        {
            {"sm_15_of_15_full",
             u"\\r\\n+CPMS: \"SM\",15,15,\"SM\",15,15,\"SM\",15,15\\r\\n\\r\\nOK\\r\\n", 1},
            {"sm_14_of_15",
             u"\\r\\n+CPMS: \"SM\",14,15,\"SM\",14,15,\"SM\",14,15\\r\\n\\r\\nOK\\r\\n", 0},
            {"single_store_line_end", u"\\r\\n+CPMS: \"SM\",20,20\\r\\n\\r\\nOK\\r\\n", 1},
            {"zero_size_store", u"\\r\\n+CPMS: \"SM\",0,0\\r\\n\\r\\nOK\\r\\n", 0},
            {"missing_comma", u"\\r\\n+CPMS: \"SM\",15\\r\\n", 0},
            {"no_sm_store", u"\\r\\n+CPMS: \"ME\",5,5\\r\\n\\r\\nOK\\r\\n", 0},
            {"cut_off", u"\\r\\n+CPMS: \"SM\",15,1", 0},
            {"huge_total", u"\\r\\n+CPMS: \"SM\",15,999999999999\\r\\n", 0},
        },
        Widened<ParseMailboxFull>);
    RunIntTable(
        {
            {"home", u"\\r\\n+CREG: 0,1\\r\\n\\r\\nOK\\r\\n", 0},
            {"roaming", u"\\r\\n+CREG: 0,5\\r\\n\\r\\nOK\\r\\n", 1},
            {"roaming_with_cell", u"\\r\\n+CREG: 2,5,\"00C3\",\"A1B2\"\\r\\n\\r\\nOK\\r\\n", 1},
            {"missing_comma", u"\\r\\n+CREG: 5\\r\\n\\r\\nOK\\r\\n", 0},
            {"cut_off", u"\\r\\n+CREG: 0,5", 0},
        },
        Widened<ParseRoaming>);
    RunIntTable(
        {
            {"100_is_2", u"\\r\\n+CLVL: 100\\r\\n\\r\\nOK\\r\\n", 2},
            {"224_is_4", u"\\r\\n+CLVL: 224\\r\\n\\r\\nOK\\r\\n", 4},
            {"225_is_5", u"\\r\\n+CLVL: 225\\r\\n\\r\\nOK\\r\\n", 5},
            {"24_is_0", u"\\r\\n+CLVL: 24\\r\\n\\r\\nOK\\r\\n", 0},
            {"25_is_1", u"\\r\\n+CLVL: 25\\r\\n\\r\\nOK\\r\\n", 1},
            {"negative", u"\\r\\n+CLVL: -3\\r\\n\\r\\nOK\\r\\n", 0},
            {"missing", u"\\r\\nOK\\r\\n", 0},
            {"huge", u"\\r\\n+CLVL: 4294967296\\r\\n", 0},
        },
        Widened<ParseVolumeLevel>);
}

TEST(AnswersTest, PinCountersAndLocks) {
    const auto counters = ParseCpinc(u"\\r\\n+CPINC: 3,3,10,10\\r\\n\\r\\nOK\\r\\n");
    ASSERT_TRUE(counters);
    EXPECT_EQ(counters->pin, 3);
    EXPECT_EQ(counters->puk, 10);
    EXPECT_EQ(counters->puk2, 10);
    const char16_t* bad[] = {
        u"\\r\\n+CPINC: 3,3,10\\r\\n\\r\\nOK\\r\\n",              // three numbers
        u"\\r\\n+CPINC: 3,,10,10\\r\\n\\r\\nOK\\r\\n",            // empty field
        u"\\r\\n+CPINC: 3,3,10,99999999999\\r\\n\\r\\nOK\\r\\n",  // huge
        u"\\r\\n+CME ERROR: 4\\r\\n",                             // refused
        u"\\r\\n+CPINC: 3,3,1",                                   // cut off
        u"\\r\\n+CPINC: ",                                        // cut off right after
    };
    for (const char16_t* answer : bad) {
        SCOPED_TRACE(testing::PrintToString(std::u16string(answer)));
        EXPECT_FALSE(ParseCpinc(answer));
    }

    RunIntTable(
        {
            {"on", u"\\r\\n+CLCK: 1\\r\\n\\r\\nOK\\r\\n", 1},
            {"off", u"\\r\\n+CLCK: 0\\r\\n\\r\\nOK\\r\\n", 0},
            {"other", u"\\r\\n+CLCK: 2\\r\\n\\r\\nOK\\r\\n", -1},
            {"no_ok", u"\\r\\n+CLCK: 1\\r\\n", -1},
            {"cut_after_prefix_with_ok_before", u"\\r\\nOK\\r\\n+CLCK: ", -1},
            {"error", u"\\r\\n+CME ERROR: 3\\r\\n", -1},
            {"two_digit_status", u"\\r\\n+CLCK: 10\\r\\n\\r\\nOK\\r\\n", -1},
        },
        [](std::u16string_view a) -> std::int64_t { return ParseClckState(a); });
}

TEST(AnswersTest, OperatorNames) {
    struct Case {
        const char* name;
        std::u16string answer;
        std::optional<std::u16string> expected;
    };
    const std::vector<Case> cases = {
        {"long_name", u"\\r\\n+COPS: 0,0,\"T-Mobile D\"\\r\\n\\r\\nOK\\r\\n", u"T-Mobile D"},
        {"numeric_name", u"\\r\\n+COPS: 0,0,\"26201\"\\r\\n\\r\\nOK\\r\\n", u"26201"},
        {"not_registered", u"\\r\\n+COPS: 0\\r\\n\\r\\nOK\\r\\n", std::nullopt},
        {"short_answer", u"+COPS: 0,0,\"X\"", std::nullopt},
        {"missing_closing_quote", u"\\r\\n+COPS: 0,0,\"Vodafone\\r\\n\\r\\nOK\\r\\n", std::nullopt},
        {"no_cops", u"\\r\\nOK\\r\\n\\r\\nOK\\r\\n\\r\\nOK\\r\\n", std::nullopt},
        {"ring_in_middle", u"\\r\\nRING\\r\\n\\r\\n+COPS: 0,0,\"E-Plus\"\\r\\n\\r\\nOK\\r\\n",
         u"E-Plus"},
        // The late answer of a canceled network search ahead of the real one.
        {"late_network_list",
         u"\\r\\n+COPS: (2,\"Op A\",\"A\",\"26201\"),(1,\"Op B\",\"B\",\"26202\"),,(0-4),(0-2)"
         u"\\r\\n\\r\\nOK\\r\\nAT+COPS?\\r\\r\\n+COPS: 1,0,\"Op B\"\\r\\n\\r\\nOK\\r\\n",
         u"Op B"},
        {"only_a_network_list", u"\\r\\n+COPS: (2,\"Op A\",\"A\",\"26201\")\\r\\n\\r\\nOK\\r\\n",
         std::nullopt},
        {"cut_before_line_end", u"\\r\\n+COPS: 0,0,\"Vodafone\"", std::nullopt},
        {"with_access_technology", u"\\r\\n+COPS: 0,0,\"O2 - de\",2\\r\\n\\r\\nOK\\r\\n",
         u"O2 - de"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ParseCopsName(c.answer), c.expected);
    }
    EXPECT_TRUE(IsNumericOperatorName(u"26201"));
    EXPECT_TRUE(IsNumericOperatorName(u""));
    EXPECT_FALSE(IsNumericOperatorName(u"o2 - de"));
    EXPECT_FALSE(IsNumericOperatorName(u"E-Plus"));

    RunIntTable(
        {
            {"numeric", u"\\r\\n+COPS: 0,2,\"26207\"\\r\\n\\r\\nOK\\r\\n", 26207},
            {"short", u"\\r\\n+COPS: 0\\r\\n\\r\\nOK\\r\\n", -1},
            {"huge", u"\\r\\n+COPS: 0,2,\"262079999999999\"\\r\\n\\r\\nOK\\r\\n", -1},
            {"letters", u"\\r\\n+COPS: 0,2,\"abcdef\"\\r\\n\\r\\nOK\\r\\n", -1},
        },
        ParseCopsNumeric);
}

TEST(AnswersTest, Forwarding) {
    struct Case {
        const char* name;
        std::u16string answer;
        bool diverted;
        std::u16string number;
    };
    const std::vector<Case> cases = {
        {"active", u"\\r\\n+CCFC: 1,1,\"+491701234567\",145\\r\\n\\r\\nOK\\r\\n", true,
         u"+491701234567"},
        {"inactive", u"\\r\\n+CCFC: 0,1\\r\\n\\r\\nOK\\r\\n", false, u""},
        {"no_ok", u"\\r\\n+CCFC: 1,1,\"+49170\",145\\r\\n", false, u""},
        {"missing_quotes", u"\\r\\n+CCFC: 1,1,+49170,145\\r\\n\\r\\nOK\\r\\n", false, u""},
        {"missing_closing", u"\\r\\n+CCFC: 1,1,\"+49170\\r\\n\\r\\nOK\\r\\n", false, u""},
        {"error", u"\\r\\n+CME ERROR: 30\\r\\n", false, u""},
        {"number_without_type", u"\\r\\n+CCFC: 1,1,\"+49170\"\\r\\n\\r\\nOK\\r\\n", true,
         u"+49170"},
        {"one_class_off", u"\\r\\n+CCFC: 1,1,\"+49170\",145\\r\\n+CCFC: 0,2\\r\\n\\r\\nOK\\r\\n",
         false, u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const DivertAnswer got = ParseCcfc(c.answer);
        EXPECT_EQ(got.diverted, c.diverted);
        EXPECT_EQ(got.number, c.number);
    }
}

TEST(AnswersTest, CallList) {
    struct Case {
        const char* name;
        std::u16string answer;
        std::optional<std::vector<CallEntry>> expected;
    };
    const std::vector<Case> cases = {
        {"active_and_held_in_modem_order",
         u"AT+CLCC\\r\\r\\n+CLCC: 1,0,0,0,0,\"0301234\",129\\r\\n+CLCC: "
         u"2,1,1,0,0,\"+4917055\",145\\r\\n\\r\\nOK\\r\\n",
         std::vector<CallEntry>{{1, 0, 0, 0, u"0301234"}, {2, 1, 1, 0, u"+4917055"}}},
        {"no_calls", u"\\r\\nOK\\r\\n", std::vector<CallEntry>{}},
        {"call_without_number_skipped",
         u"\\r\\n+CLCC: 1,1,4,0,0\\r\\n+CLCC: 2,0,0,0,1,\"555\",129\\r\\n\\r\\nOK\\r\\n",
         std::vector<CallEntry>{{2, 0, 0, 1, u"555"}}},
        {"ring_between_lines",
         u"\\r\\n+CLCC: 1,0,0,0,0,\"1\",129\\r\\n\\r\\nRING\\r\\n\\r\\n+CLCC: "
         u"2,1,5,0,0,\"2\",129\\r\\n\\r\\nOK\\r\\n",
         std::vector<CallEntry>{{1, 0, 0, 0, u"1"}, {2, 1, 5, 0, u"2"}}},
        {"huge_index_skipped", u"\\r\\n+CLCC: 99999999999,0,0,0,0,\"1\",129\\r\\n\\r\\nOK\\r\\n",
         std::vector<CallEntry>{}},
        {"missing_commas_skipped", u"\\r\\n+CLCC: 1 0 0\\r\\n\\r\\nOK\\r\\n",
         std::vector<CallEntry>{}},
        {"missing_closing_quote_skipped", u"\\r\\n+CLCC: 1,0,0,0,0,\"123\\r\\n\\r\\nOK\\r\\n",
         std::vector<CallEntry>{}},
        {"no_ok_keeps_table", u"\\r\\n+CLCC: 1,0,0,0,0,\"1\",129\\r\\n", std::nullopt},
        {"cut_off_line_after_ok", u"\\r\\nOK\\r\\n+CLCC: 1,0,0,0,0,\"12", std::vector<CallEntry>{}},
        {"number_without_type", u"\\r\\n+CLCC: 1,0,0,0,0,\"0301\"\\r\\n\\r\\nOK\\r\\n",
         std::vector<CallEntry>{{1, 0, 0, 0, u"0301"}}},
        // An OK whose line end was cut is still the final result (ReadFinalResult).
        {"cut_after_final_ok", u"\\r\\n+CLCC: 1,0,0,0,0,\"1\",129\\r\\n\\r\\nOK",
         std::vector<CallEntry>{{1, 0, 0, 0, u"1"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ParseClcc(c.answer), c.expected);
    }
}

TEST(AnswersTest, UnsolicitedCodes) {
    RunIntTable(
        {
            {"index_3", u"\\r\\n+CMTI: \"SM\",3\\r\\n", 3},
            {"index_in_me", u"\\r\\n+CMTI: \"ME\",12\\r\\n", 12},
            {"no_quote", u"\\r\\n+CMTI: SM,3\\r\\n", -1},
            {"cut_after_comma", u"\\r\\n+CMTI: \"SM\",", -1},
            {"huge", u"\\r\\n+CMTI: \"SM\",99999999999\\r\\n", -1},
            {"index_cut_before_line_end", u"\\r\\n+CMTI: \"SM\",1", -1},
        },
        ParseCmtiIndex);
    RunIntTable(
        {
            {"held", u"\\r\\n+CSSU: 2\\r\\n", 2},
            {"with_number", u"\\r\\n+CSSU: 0,,\"123\"\\r\\n", 0},
            {"cut_off", u"\\r\\n+CSSU:", -1},
            {"no_value", u"\\r\\n+CSSU: \\r\\n", -1},
        },
        ParseCssuCode);
    struct RingCase {
        const char* name;
        std::u16string answer;
        bool ring;
    };
    const std::vector<RingCase> rings = {
        {"ring_line", u"\\r\\nRING\\r\\n", true},
        {"ring_with_clip", u"\\r\\nRING\\r\\n\\r\\n+CLIP: \"+4930\",145\\r\\n", true},
        {"cut_before_line_end", u"\\r\\nRING", true},
        {"previous_read_took_crlf", u"RING\\r\\n", true},
        {"cring", u"\\r\\n+CRING: VOICE\\r\\n", true},
        {"name_in_phonebook", u"\\r\\n+CPBR: 1,\"0301\",129,\"BRINGMANN\"\\r\\n\\r\\nOK\\r\\n",
         false},
        {"ringtone_word", u"\\r\\nRINGTONE\\r\\n", false},
        {"empty", u"", false},
    };
    for (const auto& c : rings) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ContainsRing(c.answer), c.ring);
    }

    EXPECT_EQ(ParseClipNumber(u"\\r\\nRING\\r\\n\\r\\n+CLIP: \"+4930123\",145\\r\\n"), u"+4930123");
    EXPECT_EQ(ParseClipNumber(u"\\r\\nRING\\r\\n"), u"");
    EXPECT_EQ(ParseClipNumber(u"\\r\\nRING\\r\\n\\r\\n+CLIP: \"+4930"), u"");
    EXPECT_EQ(ParseClipNumber(u"\\r\\nRING\\r\\n\\r\\n+CLIP: 4930,129\\r\\n"), u"");

    EXPECT_EQ(ParseCcwaNumber(u"\\r\\n+CCWA: \"+4930999\",145,1\\r\\n"), u"+4930999");
    EXPECT_EQ(ParseCcwaNumber(u"\\r\\n+CCWA: \"+4930"), std::nullopt);
    EXPECT_EQ(ParseCcwaNumber(u"\\r\\n+CCWA: 1,1\\r\\n"), std::nullopt);

    EXPECT_EQ(ExtractCdsPdu(u"\\r\\n+CDS: 25\\r\\n0006A10B914171\\r\\n"), u"0006A10B914171");
    EXPECT_EQ(ExtractCdsPdu(u"\\r\\n+CDS: 25\\r\\n0006A1"), u"0006A1");
    EXPECT_EQ(ExtractCdsPdu(u"\\r\\n+CDS: 25"), u"");
    EXPECT_EQ(ExtractCdsPdu(u"\\r\\n+CDS:"), u"");
}

TEST(AnswersTest, SimStates) {
    struct Case {
        const char* name;
        std::u16string answer;
        CpinState state;
    };
    const std::vector<Case> cases = {
        {"ready", u"\\r\\n+CPIN: READY\\r\\n\\r\\nOK\\r\\n", CpinState::Ready},
        {"pin", u"\\r\\n+CPIN: SIM PIN\\r\\n\\r\\nOK\\r\\n", CpinState::SimPin},
        {"puk", u"\\r\\n+CPIN: SIM PUK\\r\\n\\r\\nOK\\r\\n", CpinState::SimPuk},
        {"phone_code_07_07", u"\\r\\n+CPIN: PH-SIM PIN\\r\\n\\r\\nOK\\r\\n", CpinState::PhoneCode},
        {"phone_code", u"\\r\\n+CPIN: ME-CODE\\r\\n\\r\\nOK\\r\\n", CpinState::PhoneCode},
        {"blocked", u"\\r\\n+CPIN: BLOCKED\\r\\n\\r\\nOK\\r\\n", CpinState::Blocked},
        {"no_sim", u"\\r\\n+CME ERROR: 10\\r\\n", CpinState::Error},
        {"plain_error", u"\\r\\nERROR\\r\\n", CpinState::Error},
        {"busy_sim", u"\\r\\n+CPIN: BUSY\\r\\n", CpinState::Unknown},
        {"no_cpin_line", u"\\r\\nOK\\r\\n", CpinState::Unknown},
        // Words elsewhere in the answer do not count: only the +CPIN line does.
        {"ready_in_another_line", u"\\r\\n+CMTI: \"READY\",1\\r\\n+CPIN: SIM PIN\\r\\n",
         CpinState::SimPin},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ParseCpinState(c.answer), c.state);
    }
}

TEST(AnswersTest, BatteryLevels) {
    struct Case {
        const char* name;
        PowerStatus status;
        int level;
    };
    const std::vector<Case> cases = {
        {"mains", {true, false, 40}, 5},      {"charging", {false, true, 40}, 5},
        {"no_value", {false, false, 255}, 1}, {"0", {false, false, 0}, 1},
        {"24", {false, false, 24}, 1},        {"25", {false, false, 25}, 2},
        {"74", {false, false, 74}, 3},        {"75", {false, false, 75}, 4},
        {"100", {false, false, 100}, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(BatteryLevelFromStatus(c.status), c.level);
    }
}

}  // namespace
}  // namespace qvl
