// Conformance of phonebooks and supplementary services.
#include "tools/modemsim/seed.h"
#include "tools/modemsim/tests/fixture.h"

namespace qvl::sim::test {
namespace {

TEST_F(SimTest, PhonebookReadWriteRanges) {
    Open();
    Ask("ATE0;+CMEE=1");
    struct Row {
        const char* name;
        const char* command;
        const char* answer;
    };
    const Row rows[] = {
        {"select", "AT+CPBS=\"SM\"", "\r\nOK\r\n"},
        {"empty book", "AT+CPBS?", "\r\n+CPBS: \"SM\",0,250\r\n\r\nOK\r\n"},
        {"range", "AT+CPBR=?", "\r\n+CPBR: (1-250),20,16\r\n\r\nOK\r\n"},
        {"write 1", "AT+CPBW=1,\"+4912345\",,\"Anna\"", "\r\nOK\r\n"},
        {"write 7 national", "AT+CPBW=7,\"030123\",,\"Bob\"", "\r\nOK\r\n"},
        {"write first free", "AT+CPBW=,\"0049\",129,\"Cleo\"", "\r\nOK\r\n"},
        {"count", "AT+CPBS?", "\r\n+CPBS: \"SM\",3,250\r\n\r\nOK\r\n"},
        {"read one", "AT+CPBR=7", "\r\n+CPBR: 7,\"030123\",129,\"Bob\"\r\n\r\nOK\r\n"},
        {"read empty", "AT+CPBR=3", "\r\nOK\r\n"},
        {"read range", "AT+CPBR=1,9",
         "\r\n+CPBR: 1,\"+4912345\",145,\"Anna\"\r\n+CPBR: 2,\"0049\",129,\"Cleo\"\r\n"
         "+CPBR: 7,\"030123\",129,\"Bob\"\r\n\r\nOK\r\n"},
        {"index past the end", "AT+CPBR=251", "\r\n+CME ERROR: 21\r\n"},
        {"name too long", "AT+CPBW=4,\"1\",,\"ABCDEFGHIJKLMNOPQ\"", "\r\n+CME ERROR: 24\r\n"},
        {"number too long", "AT+CPBW=4,\"123456789012345678901\",,\"A\"", "\r\n+CME ERROR: 26\r\n"},
        {"erase", "AT+CPBW=1", "\r\nOK\r\n"},
        {"erased", "AT+CPBR=1", "\r\nOK\r\n"},
        {"unknown memory", "AT+CPBS=\"XX\"", "\r\n+CME ERROR: 3\r\n"},
        {"emergency list", "AT+CPBS=\"EN\";+CPBR=1,5",
         "\r\n+CPBR: 1,\"112\",129,\"\"\r\n+CPBR: 2,\"911\",129,\"\"\r\n\r\nOK\r\n"},
        {"emergency list is read-only", "AT+CPBW=3,\"110\"", "\r\n+CME ERROR: 3\r\n"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Ask(row.command), row.answer) << row.name;
    }
}

TEST_F(SimTest, BlankLineBehaviourAndMissingDialledList) {
    ModemSeed seed = ReadySeed();
    seed.behaviour.blankLineInPhonebook = true;
    seed.behaviour.phonebooks = {"SM", "ME", "LD"};
    seed.phonebooks["SM"].entries[1] = {"+491", 145, "A"};
    seed.phonebooks["SM"].entries[2] = {"+492", 145, "B"};
    Open(seed);
    Ask("ATE0");
    EXPECT_EQ(Ask("AT+CPBR=1,2"),
              "\r\n+CPBR: 1,\"+491\",145,\"A\"\r\n\r\n+CPBR: 2,\"+492\",145,\"B\"\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CPBS=\"DC\""), "\r\nERROR\r\n");
    EXPECT_EQ(Ask("AT+CPBS=\"LD\""), "\r\nOK\r\n");
}

TEST_F(SimTest, ForwardingRegisterQueryEraseAndWaiting) {
    Open();
    Ask("ATE0");
    struct Row {
        const char* name;
        const char* command;
        const char* answer;
    };
    const Row rows[] = {
        {"enable without number", "AT+CCFC=0,1,,,1", "\r\nERROR\r\n"},
        {"register", "AT+CCFC=0,3,\"+4917099\",129,1", "\r\nOK\r\n"},
        {"query", "AT+CCFC=0,2,,,1", "\r\n+CCFC: 1,1,\"+4917099\",129\r\n\r\nOK\r\n"},
        {"disable", "AT+CCFC=0,0,,,1", "\r\nOK\r\n"},
        {"query disabled", "AT+CCFC=0,2,,,1", "\r\n+CCFC: 0,1\r\n\r\nOK\r\n"},
        {"enable again", "AT+CCFC=0,1,,,1", "\r\nOK\r\n"},
        {"erase", "AT+CCFC=0,4,,,1", "\r\nOK\r\n"},
        {"erased cannot be enabled", "AT+CCFC=0,1,,,1", "\r\nERROR\r\n"},
        {"no reply with time", "AT+CCFC=2,3,\"0301\",129,1,,,15", "\r\nOK\r\n"},
        {"no reply query", "AT+CCFC=2,2,,,1", "\r\n+CCFC: 1,1,\"0301\",129,,,15\r\n\r\nOK\r\n"},
        {"bad time", "AT+CCFC=2,3,\"0301\",129,1,,,31", "\r\nERROR\r\n"},
        {"waiting query", "AT+CCWA=1,2,1", "\r\n+CCWA: 1,1\r\n\r\nOK\r\n"},
        {"waiting off", "AT+CCWA=1,0,1", "\r\nOK\r\n"},
        {"waiting query off", "AT+CCWA=1,2,1", "\r\n+CCWA: 0,1\r\n\r\nOK\r\n"},
        {"presentation", "AT+CCWA?", "\r\n+CCWA: 1\r\n\r\nOK\r\n"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Ask(row.command), row.answer) << row.name;
    }
    Ask("ATD0301;");
    m_sim->RemoteAnswer();
    EXPECT_FALSE(m_sim->InjectCallWaiting("+4933")) << "with waiting off the caller hears busy";
}

TEST(SeedFile, ParsesEverySection) {
    const char* text = R"(# a seed
[identity]
model = FISIO 9
[sim]
pin = 4711
pin_attempts = 2
[status]
signal = 9
roaming = yes
[behaviour]
echo = off
cnmi_accepted = 1,1,0,2 | 3, 1
phonebooks = SM ME
[operators]
operator = 00101, Test Net, TEST
operator = 00102, Bad Net, BAD, forbidden
[messages]
sim_capacity = 5
message = SM, 2, read, 0001000D91941511325476F8000002E834
deliver = ME, 1, unread, +4915112345678, 2026-12-01 10:30:00, Hello, world
[phonebook SM]
entry = 3, +4930123, Müller, Jörg
[contexts]
context = 2, IP, internet.example
)";
    ModemSeed seed = DefaultSeed();
    std::string error;
    ASSERT_TRUE(ParseSeed(text, seed, &error)) << error;
    EXPECT_EQ(seed.identity.model, "FISIO 9");
    EXPECT_EQ(seed.sim.pin, "4711");
    EXPECT_EQ(seed.sim.pinAttempts, 2);
    EXPECT_EQ(seed.signal, 9);
    EXPECT_TRUE(seed.roaming);
    EXPECT_FALSE(seed.behaviour.echo);
    EXPECT_EQ(seed.behaviour.cnmiAccepted, (std::set<std::string>{"1,1,0,2", "3,1"}));
    EXPECT_EQ(seed.behaviour.phonebooks, (std::set<std::string>{"SM", "ME"}));
    ASSERT_EQ(seed.operators.size(), 2u);
    EXPECT_TRUE(seed.operators[1].forbidden);
    EXPECT_EQ(seed.simSms.capacity, 5u);
    EXPECT_EQ(seed.simSms.slots.at(2).status, SmsStatus::Read);
    EXPECT_EQ(seed.phoneSms.slots.at(1).pdu.substr(0, 16), "0791947101670000")
        << "service centre first";
    EXPECT_EQ(seed.phonebooks["SM"].entries.at(3).name, "M\u00fcller, J\u00f6rg")
        << "names are kept as Unicode";
    EXPECT_EQ(seed.contexts.at(2).apn, "internet.example");
}

TEST(SeedFile, NamesTheFirstBadLine) {
    struct Row {
        const char* name;
        const char* text;
        const char* error;
    };
    const Row rows[] = {
        {"no equals", "[sim]\npin 1234\n", "line 2: expected key = value"},
        {"unknown key", "[sim]\ncolour = red\n", "line 2: unknown key COLOUR"},
        {"unknown section", "[moon]\n", "line 1: unknown section [moon]"},
        {"bad number", "[status]\nsignal = lots\n", "line 2: number out of range"},
        {"index beyond capacity", "[messages]\nmessage = SM, 99, read, 00\n",
         "line 2: bad storage, index or status"},
        {"odd pdu", "[messages]\nmessage = SM, 1, read, 001\n",
         "line 2: bad PDU, sender, time or text"},
    };
    for (const Row& row : rows) {
        ModemSeed seed = DefaultSeed();
        std::string error;
        EXPECT_FALSE(ParseSeed(row.text, seed, &error)) << row.name;
        EXPECT_EQ(error, row.error) << row.name;
    }
}

}  // namespace
}  // namespace qvl::sim::test
