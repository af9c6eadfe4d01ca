// The answer readers of the network, call and security settings on real answers beside
// malformed, cut-off and mutated ones.
#include "app/services/serviceanswers.h"
#include "app/services/networklist.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qvl::services {
namespace {

// Short names of rows: status digit, then the shown name and code.
std::vector<std::u16string> Rows(const std::vector<NetworkEntry>& networks) {
    std::vector<std::u16string> rows;
    for (const NetworkEntry& n : networks) {
        rows.push_back(std::u16string(1, u'0' + static_cast<char16_t>(n.status)) + u" " +
                       ShownName(n) + u" " + n.numeric);
    }
    return rows;
}

struct ListRow {
    const char* name;
    std::u16string answer;
    std::vector<std::u16string> rows;
};

TEST(NetworkListTest, Table) {
    const std::u16string three =
        u"(2,\"Quorvel Net\",\"QVL\",\"26201\"),(1,\"Other Net\",\"Other\",\"26202\"),"
        u"(3,\"Closed Net\",\"Closed\",\"26203\")";
    const std::vector<std::u16string> threeRows = {u"2 Quorvel Net 26201", u"1 Other Net 26202",
                                                   u"3 Closed Net 26203"};
    const ListRow rows[] = {
        {"older form with the mode lists",
         u"AT+COPS=?\\r\\r\\n+COPS: " + three + u",,(0,1,2,3,4),(0,1,2)\\r\\n\\r\\nOK\\r\\n",
         threeRows},
        // The current form gives each network its access technology as a fifth field.
        {"access technology",
         u"\\r\\n+COPS: (2,\"Quorvel Net\",\"QVL\",\"26201\",0),(1,\"Other Net\",\"Other\","
         u"\"26202\",2),(3,\"Closed Net\",\"Closed\",\"26203\",7),,(0-4),(0-2)\\r\\n\\r\\nOK\\r\\n",
         threeRows},
        {"blanks around the fields",
         u"\\r\\n+COPS: ( 2 , \"A\" , \"a\" , \"26201\" , 0 ) , ( 1,\"B\",\"b\",\"26202\")\\r\\n",
         {u"2 A 26201", u"1 B 26202"}},
        // An entry with empty names keeps its place: the rows after it are not shifted.
        {"empty names",
         u"\\r\\n+COPS: (1,\"\",\"\",\"26207\"),(1,\"Other Net\",\"Other\",\"26202\")\\r\\n",
         {u"1 26207 26207", u"1 Other Net 26202"}},
        {"only a short name",
         u"\\r\\n+COPS: (1,\"\",\"Short\",\"26209\")\\r\\n",
         {u"1 Short 26209"}},
        {"a comma and a parenthesis inside a quoted name",
         u"\\r\\n+COPS: (1,\"Net, (Roam)\",\"N\",\"26202\"),(2,\"X\",\"x\",\"26201\")\\r\\n",
         {u"1 Net, (Roam) 26202", u"2 X 26201"}},
        {"only the mode lists", u"\\r\\n+COPS: ,,(0,1,2,3,4),(0,1,2)\\r\\n\\r\\nOK\\r\\n", {}},
        {"no +COPS line", u"AT+COPS=?\\r\\r\\n\\r\\nERROR\\r\\n", {}},
        {"silence", u"", {}},
        {"damaged entry skipped, the others kept",
         u"\\r\\n+COPS: (1,\"A\",\"a\",\"26201\"),(x,\"B\",\"b\",\"26202\"),(1,\"C\",\"c\","
         u"\"26203\")\\r\\n",
         {u"1 A 26201", u"1 C 26203"}},
        {"status out of range skipped", u"\\r\\n+COPS: (9,\"A\",\"a\",\"26201\")\\r\\n", {}},
        {"unquoted name skipped", u"\\r\\n+COPS: (1,A,\"a\",\"26201\")\\r\\n", {}},
        {"cut off inside the second entry",
         u"\\r\\n+COPS: (2,\"Quorvel Net\",\"QVL\",\"26201\"),(1,\"Other Ne",
         {u"2 Quorvel Net 26201"}},
        {"cut off before the closing parenthesis",
         u"\\r\\n+COPS: (2,\"Quorvel Net\",\"QVL\",\"26201\"",
         {}},
        {"a missing quote", u"\\r\\n+COPS: (2,\"Quorvel Net,\"QVL\",\"26201\")\\r\\n", {}},
        {"nested parenthesis",
         u"\\r\\n+COPS: ((1,\"A\",\"a\",\"26201\")),(1,\"B\",\"b\",\"26202\")",
         {u"1 B 26202"}},
        {"the list ends at its line",
         u"\\r\\n+COPS: (1,\"A\",\"a\",\"26201\")\\r\\n(1,\"B\",\"b\",\"26202\")\\r\\nOK\\r\\n",
         {u"1 A 26201"}},
    };
    for (const ListRow& row : rows) {
        EXPECT_EQ(Rows(ParseNetworkList(row.answer)), row.rows) << row.name;
    }
}

TEST(NetworkListTest, AtMostTwentyNetworks) {
    std::u16string answer = u"\\r\\n+COPS: ";
    for (int i = 0; i < 25; ++i) {
        answer += u"(1,\"Net\",\"N\",\"262" + std::u16string(1, u'0' + (i / 10)) +
                  std::u16string(1, u'0' + (i % 10)) + u"\"),";
    }
    answer += u",(0-4),(0-2)\\r\\n\\r\\nOK\\r\\n";
    const auto networks = ParseNetworkList(answer);
    ASSERT_EQ(networks.size(), kMaxNetworks);
    EXPECT_EQ(networks.back().numeric, u"26219");
}

TEST(NetworkListTest, WhoMayBeRegisteredOn) {
    struct Row {
        NetworkStatus status;
        std::u16string numeric;
        bool allowed;
    };
    const Row rows[] = {
        {NetworkStatus::Available, u"26201", true},   {NetworkStatus::Current, u"310260", true},
        {NetworkStatus::Unknown, u"26201", true},     {NetworkStatus::Forbidden, u"26203", false},
        {NetworkStatus::Available, u"2620", false},   {NetworkStatus::Available, u"2620199", false},
        {NetworkStatus::Available, u"262\"1", false}, {NetworkStatus::Available, u"", false},
    };
    for (const Row& row : rows) {
        NetworkEntry entry;
        entry.status = row.status;
        entry.numeric = row.numeric;
        EXPECT_EQ(CanRegister(entry), row.allowed)
            << std::string(row.numeric.begin(), row.numeric.end());
    }
}

struct ForwardRow {
    const char* name;
    std::u16string answer;
    int classValue;
    ServiceState state;
    std::u16string number;
};

TEST(ServiceAnswersTest, ForwardingQuery) {
    const ForwardRow rows[] = {
        {"voice diverted", u"AT+CCFC=0,2,,,1\\r\\r\\n+CCFC: 1,1,\"+123\",145\\r\\n\\r\\nOK\\r\\n",
         1, ServiceState::Active, u"+123"},
        {"off for all classes", u"\\r\\n+CCFC: 0,7\\r\\n\\r\\nOK\\r\\n", 1, ServiceState::Inactive,
         u""},
        // One line per class: the fax line decides for fax, not the voice line before it.
        {"fax line of several",
         u"\\r\\n+CCFC: 1,1,\"+4930111\",145\\r\\n+CCFC: 1,4,\"0302\",129"
         u"\\r\\n\\r\\nOK\\r\\n",
         4, ServiceState::Active, u"0302"},
        {"voice off while data is on", u"\\r\\n+CCFC: 1,2,\"+4930111\",145\\r\\n\\r\\nOK\\r\\n", 1,
         ServiceState::Inactive, u""},
        {"no reply with its time", u"\\r\\n+CCFC: 1,1,\"+49301\",145,,,20\\r\\n\\r\\nOK\\r\\n", 1,
         ServiceState::Active, u"+49301"},
        {"active without a number", u"\\r\\n+CCFC: 1,1\\r\\n\\r\\nOK\\r\\n", 1,
         ServiceState::Active, u""},
        {"error", u"\\r\\n+CME ERROR: 30\\r\\n", 1, ServiceState::Failed, u""},
        {"silence", u"", 1, ServiceState::Failed, u""},
        {"ok without a status line", u"\\r\\nOK\\r\\n", 1, ServiceState::Failed, u""},
        {"cut off before OK", u"\\r\\n+CCFC: 1,1,\"+123\",145\\r\\n", 1, ServiceState::Failed, u""},
        {"unreadable status", u"\\r\\n+CCFC: x,1,\"+123\"\\r\\n\\r\\nOK\\r\\n", 1,
         ServiceState::Failed, u""},
        {"class out of range", u"\\r\\n+CCFC: 1,999,\"+123\"\\r\\n\\r\\nOK\\r\\n", 1,
         ServiceState::Failed, u""},
    };
    for (const ForwardRow& row : rows) {
        const ForwardState state = ParseForwardQuery(row.answer, row.classValue);
        EXPECT_EQ(state.state, row.state) << row.name;
        EXPECT_EQ(state.number, row.number) << row.name;
    }
}

TEST(ServiceAnswersTest, WaitingQuery) {
    struct Row {
        const char* name;
        std::u16string answer;
        ServiceState state;
    };
    const Row rows[] = {
        {"on", u"AT+CCWA=1,2,1\\r\\r\\n+CCWA: 1,1\\r\\n\\r\\nOK\\r\\n", ServiceState::Active},
        {"off", u"\\r\\n+CCWA: 0,1\\r\\n\\r\\nOK\\r\\n", ServiceState::Inactive},
        {"off for all classes", u"\\r\\n+CCWA: 0,7\\r\\n\\r\\nOK\\r\\n", ServiceState::Inactive},
        {"on for data only", u"\\r\\n+CCWA: 1,2\\r\\n\\r\\nOK\\r\\n", ServiceState::Inactive},
        {"error", u"\\r\\nERROR\\r\\n", ServiceState::Failed},
        {"verbose error", u"\\r\\n+CME ERROR: no network service\\r\\n", ServiceState::Failed},
        {"silence", u"", ServiceState::Failed},
        {"a waiting call's notice is no status",
         u"\\r\\n+CCWA: \"+4930\",145,1\\r\\n\\r\\nOK\\r\\n", ServiceState::Failed},
        {"cut off", u"\\r\\n+CCWA: 1,1\\r\\n", ServiceState::Failed},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ParseWaitingQuery(row.answer, 1), row.state) << row.name;
    }
}

TEST(ServiceAnswersTest, IdentityLines) {
    struct Row {
        const char* name;
        std::u16string answer;
        std::u16string text;
    };
    const Row rows[] = {
        {"after the echo, without the echo and OK",
         u"AT+CGSN\\r\\r\\n490154203237518\\r\\n\\r\\nOK\\r\\n", u"490154203237518"},
        {"modem without echo", u"\\r\\n490154203237518\\r\\n\\r\\nOK\\r\\n", u"490154203237518"},
        {"prefixed with the command's name",
         u"AT+CGSN\\r\\r\\n+CGSN: 490154203237518\\r\\n\\r\\nOK\\r\\n", u"490154203237518"},
        {"first line of several", u"AT+CGSN\\r\\r\\nA\\r\\nB\\r\\n\\r\\nOK\\r\\n", u"A"},
        {"empty answer", u"AT+CGSN\\r\\r\\n\\r\\nOK\\r\\n", u""},
        {"error", u"AT+CGSN\\r\\r\\nERROR\\r\\n", u""},
        {"cut off", u"AT+CGSN\\r\\r\\n4901542032", u""},
        {"silence", u"", u""},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ParseIdentityLine(row.answer, u"AT+CGSN"), row.text) << row.name;
    }
}

}  // namespace
}  // namespace qvl::services
