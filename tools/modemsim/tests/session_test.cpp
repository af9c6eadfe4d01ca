// Conformance of the session commands: echo and framing, SIM codes, status queries.
#include "tools/modemsim/tests/fixture.h"

namespace qvl::sim::test {
namespace {

TEST_F(SimTest, EchoesCommandThenFramesAnswer) {
    Open();
    EXPECT_EQ(m_line->Command("AT"), "AT\r\r\nOK\r\n");
    EXPECT_EQ(m_line->Command("AT+CGMR"), "AT+CGMR\r\r\nR1.0.0\r\n\r\nOK\r\n");
    EXPECT_EQ(m_line->Command("ATE0"), "ATE0\r\r\nOK\r\n");
    EXPECT_EQ(m_line->Command("AT"), "\r\nOK\r\n");
    EXPECT_EQ(m_line->Command("ATE1"), "\r\nOK\r\n");
    EXPECT_EQ(m_line->Command("AT"), "AT\r\r\nOK\r\n");
}

TEST_F(SimTest, EchoOffBehaviourAndAtzRestoresIt) {
    ModemSeed seed = ReadySeed();
    seed.behaviour.echo = false;
    Open(seed);
    EXPECT_EQ(m_line->Command("AT"), "\r\nOK\r\n");
    EXPECT_EQ(m_line->Command("ATE1"), "\r\nOK\r\n");
    EXPECT_EQ(m_line->Command("ATZ"), "ATZ\r\r\nOK\r\n");
    EXPECT_EQ(m_line->Command("AT"), "\r\nOK\r\n");
}

TEST_F(SimTest, AnswersUnknownAndMalformedCommandsWithError) {
    Open();
    struct Row {
        const char* name;
        const char* command;
        const char* answer;
    };
    const Row rows[] = {
        {"unknown extended", "AT+XYZZY", "\r\nERROR\r\n"},
        {"unknown basic", "ATJ", "\r\nERROR\r\n"},
        {"unterminated quote", "AT+CPBS=\"SM", "\r\nERROR\r\n"},
        {"out of range", "AT+CLVL=300", "\r\nERROR\r\n"},
        {"numeric errors", "AT+CMEE=1", "\r\nOK\r\n"},
        {"cme when asked", "AT+CHLD=2", "\r\n+CME ERROR: 3\r\n"},
        {"verbose errors", "AT+CMEE=2", "\r\nOK\r\n"},
        {"cme verbose", "AT+CHLD=2", "\r\n+CME ERROR: operation not allowed\r\n"},
        {"concatenated", "AT+CMEE=0;+CLVL=25;+CLVL?", "\r\n+CLVL: 25\r\n\r\nOK\r\n"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Ask(row.command), row.answer) << row.name;
    }
}

TEST_F(SimTest, IgnoresLinesThatAreNotCommands) {
    Open();
    m_line->Send("hello\r");
    EXPECT_EQ(m_line->ReadAtLeast(6), "hello\r");
    EXPECT_EQ(Ask("at"), "\r\nOK\r\n");
}

TEST_F(SimTest, PinWrongTwiceThenRightResetsCounter) {
    Open(DefaultSeed());
    EXPECT_EQ(Ask("AT+CPIN?"), "\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CPINC?"), "\r\n+CPINC: 3,3,10,10\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CMGF=0;+CPMS?"), "\r\n+CMS ERROR: 311\r\n");
    EXPECT_EQ(Ask("AT+CPIN=\"0000\""), "\r\nERROR\r\n");
    EXPECT_EQ(Ask("AT+CPIN=\"1111\""), "\r\nERROR\r\n");
    EXPECT_EQ(Ask("AT+CPINC?"), "\r\n+CPINC: 1,3,10,10\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CPIN=\"1234\""), "\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CPIN?"), "\r\n+CPIN: READY\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CPINC?"), "\r\n+CPINC: 3,3,10,10\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CPIN=\"1234\""), "\r\nERROR\r\n") << "no PIN is asked for any more";
}

TEST_F(SimTest, ThreeWrongPinsNeedPukAndTenWrongPuksBlock) {
    Open(DefaultSeed());
    Ask("AT+CMEE=1");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Ask("AT+CPIN=\"9999\""), "\r\n+CME ERROR: 16\r\n");
    }
    EXPECT_EQ(Ask("AT+CPIN?"), "\r\n+CPIN: SIM PUK\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CPIN=\"1234\""), "\r\n+CME ERROR: 12\r\n")
        << "the PIN alone no longer opens it";
    EXPECT_EQ(Ask("AT+CPIN=\"11111111\",\"4321\""), "\r\n+CME ERROR: 16\r\n");
    EXPECT_EQ(Ask("AT+CPINC?"), "\r\n+CPINC: 0,3,9,10\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CPIN=\"12345678\",\"4321\""), "\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CPIN?"), "\r\n+CPIN: READY\r\n\r\nOK\r\n");
    EXPECT_EQ(m_sim->State().sim.pin, "4321");

    ModemSeed seed = DefaultSeed();
    seed.sim.pinAttempts = 0;
    seed.sim.pukAttempts = 1;
    Open(seed);
    EXPECT_EQ(Ask("AT+CPIN=\"00000000\",\"1111\""), "\r\nERROR\r\n");
    EXPECT_EQ(Ask("AT+CPIN?"), "\r\n+CPIN: BLOCKED\r\n\r\nOK\r\n");
}

TEST_F(SimTest, NoSimAnswersErrorToPinQuery) {
    ModemSeed seed = DefaultSeed();
    seed.sim.present = false;
    Open(seed);
    EXPECT_EQ(Ask("AT+CPIN?"), "\r\nERROR\r\n");
    Ask("AT+CMEE=1");
    EXPECT_EQ(Ask("AT+CPIN?"), "\r\n+CME ERROR: 10\r\n");
}

TEST_F(SimTest, PhoneCodeAfterPin) {
    ModemSeed seed = DefaultSeed();
    seed.sim.phoneLockEnabled = true;
    Open(seed);
    EXPECT_EQ(Ask("AT+CPIN=\"1234\""), "\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CPIN?"), "\r\n+CPIN: PH-SIM PIN\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CPIN=\"11111111\",\"11111111\""), "\r\nERROR\r\n");
    EXPECT_EQ(Ask("AT+CPIN=\"00000000\",\"00000000\""), "\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CPIN?"), "\r\n+CPIN: READY\r\n\r\nOK\r\n");
}

TEST_F(SimTest, CpinrBehaviourReplacesCpinc) {
    ModemSeed seed = DefaultSeed();
    seed.behaviour.pinCountersCpinr = true;
    Open(seed);
    EXPECT_EQ(Ask("AT+CPINC?"), "\r\nERROR\r\n");
    EXPECT_EQ(Ask("AT+CPINR"),
              "\r\n+CPINR: SIM PIN,3,3\r\n+CPINR: SIM PUK,10,10\r\n+CPINR: SIM PIN2,3,3\r\n"
              "+CPINR: SIM PUK2,10,10\r\n\r\nOK\r\n");
}

TEST_F(SimTest, LocksAndCodeChanges) {
    Open(DefaultSeed());
    Ask("AT+CPIN=\"1234\"");
    struct Row {
        const char* name;
        const char* command;
        const char* answer;
    };
    const Row rows[] = {
        {"SIM lock on", "AT+CLCK=\"SC\",2", "\r\n+CLCK: 1\r\n\r\nOK\r\n"},
        {"phone lock off", "AT+CLCK=\"ME\",2", "\r\n+CLCK: 0\r\n\r\nOK\r\n"},
        {"SIM lock off, wrong PIN", "AT+CLCK=\"SC\",0,\"9999\"", "\r\nERROR\r\n"},
        {"SIM lock off", "AT+CLCK=\"SC\",0,\"1234\"", "\r\nOK\r\n"},
        {"SIM lock now off", "AT+CLCK=\"SC\",2", "\r\n+CLCK: 0\r\n\r\nOK\r\n"},
        {"PIN change needs the lock", "AT+CPWD=\"SC\",\"1234\",\"5555\"", "\r\nERROR\r\n"},
        {"SIM lock on again", "AT+CLCK=\"SC\",1,\"1234\"", "\r\nOK\r\n"},
        {"PIN change", "AT+CPWD=\"SC\",\"1234\",\"5555\"", "\r\nOK\r\n"},
        {"PIN2 change wrong", "AT+CPWD=\"P2\",\"0000\",\"1111\"", "\r\nERROR\r\n"},
        {"phone code change", "AT+CPWD=\"ME\",\"00000000\",\"87654321\"", "\r\nOK\r\n"},
        {"network code too short", "AT+CPWD=\"PN\",\"12345678\",\"12\"", "\r\nERROR\r\n"},
        {"barring on", "AT+CLCK=\"AO\",1,\"0000\",1", "\r\nOK\r\n"},
        {"barring query", "AT+CLCK=\"AO\",2", "\r\n+CLCK: 1,1\r\n\r\nOK\r\n"},
        {"all barring off", "AT+CLCK=\"AB\",0,\"0000\"", "\r\nOK\r\n"},
        {"barring query off", "AT+CLCK=\"AO\",2,,1", "\r\n+CLCK: 0,1\r\n\r\nOK\r\n"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Ask(row.command), row.answer) << row.name;
    }
    EXPECT_EQ(m_sim->State().sim.pin, "5555");
    EXPECT_EQ(m_sim->State().sim.pinAttempts, 3) << "a right PIN restores the counter";
    EXPECT_EQ(m_sim->State().sim.pin2Attempts, 2);
}

TEST_F(SimTest, StatusQueriesInTheFormsHandsetsUse) {
    Open();
    m_sim->SetSignal(17);
    m_sim->SetBattery(64, true);
    struct Row {
        const char* name;
        const char* command;
        const char* answer;
    };
    const Row rows[] = {
        {"operator long", "AT+COPS=0,0;+COPS?", "\r\n+COPS: 0,0,\"QVL Mobile\",0\r\n\r\nOK\r\n"},
        {"operator numeric", "AT+COPS=3,2;+COPS?", "\r\n+COPS: 0,2,\"26201\",0\r\n\r\nOK\r\n"},
        {"signal", "AT+CSQ", "\r\n+CSQ: 17,99\r\n\r\nOK\r\n"},
        {"battery", "AT+CBC", "\r\n+CBC: 1,64\r\n\r\nOK\r\n"},
        {"gprs", "AT+CGATT?", "\r\n+CGATT: 1\r\n\r\nOK\r\n"},
        {"registration", "AT+CREG?", "\r\n+CREG: 0,1\r\n\r\nOK\r\n"},
        {"volume", "AT+CLVL?", "\r\n+CLVL: 125\r\n\r\nOK\r\n"},
        {"storage", "AT+CPMS?", "\r\n+CPMS: \"SM\",0,20,\"SM\",0,20,\"SM\",0,20\r\n\r\nOK\r\n"},
        {"forwarding", "AT+CCFC=0,2,,,1", "\r\n+CCFC: 0,1\r\n\r\nOK\r\n"},
        {"model", "AT+CGMM", "\r\nGSM-SIM 1\r\n\r\nOK\r\n"},
        {"imei", "AT+CGSN", "\r\n490154203237518\r\n\r\nOK\r\n"},
        {"imsi", "AT+CIMI", "\r\n262011234567890\r\n\r\nOK\r\n"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Ask(row.command), row.answer) << row.name;
    }
    m_sim->SetRoaming(true);
    EXPECT_EQ(Ask("AT+CREG?"), "\r\n+CREG: 0,5\r\n\r\nOK\r\n");
}

TEST_F(SimTest, NetworkListAndManualSelection) {
    Open();
    EXPECT_EQ(
        Ask("AT+COPS=?"),
        "\r\n+COPS: (2,\"QVL Mobile\",\"QVL\",\"26201\",0),(1,\"Northnet\",\"NNET\",\"26202\",0),"
        "(3,\"Southcell\",\"SCELL\",\"26203\",0),,(0,1,2,3,4),(0,1,2)\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+COPS=1,2,\"26203\""), "\r\nERROR\r\n") << "forbidden network";
    EXPECT_EQ(Ask("AT+COPS=1,2,\"99999\""), "\r\nERROR\r\n") << "unknown network";
    EXPECT_EQ(Ask("AT+COPS=1,2,\"26202\""), "\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+COPS=3,0;+COPS?"), "\r\n+COPS: 1,0,\"Northnet\",0\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CREG?"), "\r\n+CREG: 0,5\r\n\r\nOK\r\n") << "a foreign network is roaming";
    EXPECT_EQ(Ask("AT+CREG=1"), "\r\nOK\r\n");
    m_sim->SetRegistered(false);
    EXPECT_EQ(m_line->ReadUntil("\r\n"), "\r\n+CREG: 2\r\n") << "searching for it";
    EXPECT_EQ(Ask("AT+COPS?"), "\r\n+COPS: 1\r\n\r\nOK\r\n");
}

}  // namespace
}  // namespace qvl::sim::test
