// Answers that an AT client checks against GSM 07.07 / 07.05 handsets: GPRS registration,
// the clock, the functionality levels, the location in +CREG, the character sets and the
// status-report memory. Unsolicited codes are caught with the next command's answer: the
// simulator writes them before it reads the command, so no time window is needed.
#include <ctime>

#include "tools/modemsim/seed.h"
#include "tools/modemsim/tests/fixture.h"

namespace qvl::sim::test {
namespace {

class Conformance : public SimTest {
  protected:
    // What arrived before the answer of a plain AT: the unsolicited codes a change raised
    // (echo is off in these tests).
    std::string Unsolicited() {
        const std::string ok = "\r\nOK\r\n";
        EXPECT_TRUE(m_line->Send("AT\r"));
        const std::string text = m_line->ReadUntil(ok);
        EXPECT_GE(text.size(), ok.size()) << text;
        return text.substr(0, text.size() - std::min(text.size(), ok.size()));
    }
};

TEST_F(Conformance, GprsRegistrationKeepsItsModeAndReportsLocation) {
    Open();
    Ask("ATE0");
    ExpectAnswers({
        {"test", "AT+CGREG=?", "\r\n+CGREG: (0-2)\r\n\r\nOK\r\n"},
        {"mode 2", "AT+CGREG=2", "\r\nOK\r\n"},
        {"query with location", "AT+CGREG?", "\r\n+CGREG: 2,1,\"1A2B\",\"00C3D4\"\r\n\r\nOK\r\n"},
        {"out of range", "AT+CGREG=3", "\r\nERROR\r\n"},
    });
    m_sim->SetGprsAttached(false);
    EXPECT_EQ(Unsolicited(), "\r\n+CGREG: 0\r\n");
    EXPECT_EQ(Ask("AT+CGREG?"), "\r\n+CGREG: 2,0\r\n\r\nOK\r\n");
    m_sim->SetGprsAttached(true);
    EXPECT_EQ(Unsolicited(), "\r\n+CGREG: 1,\"1A2B\",\"00C3D4\"\r\n");
    Ask("AT+CGREG=1");
    m_sim->SetRoaming(true);
    EXPECT_EQ(Unsolicited(), "\r\n+CGREG: 5\r\n") << "no +CREG: AT+CREG is 0";
    m_sim->SetRoaming(true);
    EXPECT_EQ(Unsolicited(), "") << "nothing changed, nothing is sent";
    Ask("AT+CGREG=0");
    m_sim->SetRoaming(false);
    EXPECT_EQ(Unsolicited(), "");
}

TEST_F(Conformance, NetworkRegistrationReportsLocationInMode2) {
    Open();
    Ask("ATE0;+CREG=2");
    m_sim->SetRegistered(false);
    EXPECT_EQ(Unsolicited(), "\r\n+CREG: 2\r\n") << "automatic mode keeps searching";
    EXPECT_EQ(Ask("AT+CREG?"), "\r\n+CREG: 2,2\r\n\r\nOK\r\n");
    m_sim->SetRegistered(true);
    EXPECT_EQ(Unsolicited(), "\r\n+CREG: 1,\"1A2B\",\"00C3D4\"\r\n");
    EXPECT_EQ(Ask("AT+CREG?"), "\r\n+CREG: 2,1,\"1A2B\",\"00C3D4\"\r\n\r\nOK\r\n");
}

TEST_F(Conformance, ClockIsSetAndRead) {
    Open();
    Ask("ATE0");
    // The read form before any set: the local time as "yy/MM/dd,hh:mm:ss+zz".
    const std::string first = Ask("AT+CCLK?");
    ASSERT_EQ(first.size(), std::string("\r\n+CCLK: \"26/12/24,18:30:00+04\"\r\n\r\nOK\r\n").size())
        << first;
    EXPECT_EQ(first.substr(0, 10), "\r\n+CCLK: \"");
    EXPECT_EQ(first[12], '/');
    EXPECT_EQ(first[18], ',');
    EXPECT_TRUE(first[27] == '+' || first[27] == '-') << first;
    ExpectAnswers({
        {"test", "AT+CCLK=?", "\r\nOK\r\n"},
        {"set", "AT+CCLK=\"26/12/24,18:30:00+04\"", "\r\nOK\r\n"},
        {"leap day", "AT+CCLK=\"28/02/29,00:00:00-08\"", "\r\nOK\r\n"},
        {"month 13", "AT+CCLK=\"26/13/01,00:00:00+00\"", "\r\nERROR\r\n"},
        {"no leap day", "AT+CCLK=\"26/02/29,00:00:00+00\"", "\r\nERROR\r\n"},
        {"hour 24", "AT+CCLK=\"26/12/24,24:00:00+00\"", "\r\nERROR\r\n"},
        {"zone too far", "AT+CCLK=\"26/12/24,12:00:00+99\"", "\r\nERROR\r\n"},
        {"unquoted", "AT+CCLK=26/12/24,18:30:00", "\r\nERROR\r\n"},
        {"cut", "AT+CCLK=\"26/12/24\"", "\r\nERROR\r\n"},
    });
    const std::string read = Ask("AT+CCLK?");
    // Seconds pass while the test runs; the minute does not roll over within a few seconds
    // of 00:00:00.
    EXPECT_EQ(read.substr(0, 26), "\r\n+CCLK: \"28/02/29,00:00:0") << read;
    EXPECT_EQ(read.substr(27), "-08\"\r\n\r\nOK\r\n") << read;
}

TEST_F(Conformance, FunctionalityLevelsSwitchTheRadio) {
    Open();
    Ask("ATE0");
    ExpectAnswers({
        {"test", "AT+CFUN=?", "\r\n+CFUN: (0,1,4),(0,1)\r\n\r\nOK\r\n"},
        {"read", "AT+CFUN?", "\r\n+CFUN: 1\r\n\r\nOK\r\n"},
        {"mode outside the list", "AT+CFUN=2", "\r\nERROR\r\n"},
        {"reset flag outside the list", "AT+CFUN=1,2", "\r\nERROR\r\n"},
        {"radio off", "AT+CFUN=4", "\r\nOK\r\n"},
        {"read off", "AT+CFUN?", "\r\n+CFUN: 4\r\n\r\nOK\r\n"},
        {"not registered", "AT+CREG?", "\r\n+CREG: 0,0\r\n\r\nOK\r\n"},
        {"no operator", "AT+COPS?", "\r\n+COPS: 0\r\n\r\nOK\r\n"},
        {"no signal", "AT+CSQ", "\r\n+CSQ: 99,99\r\n\r\nOK\r\n"},
        {"no call", "ATD0301234;", "\r\nNO CARRIER\r\n"},
        {"no emergency call either", "ATD112;", "\r\nNO CARRIER\r\n"},
        {"minimum functionality", "AT+CFUN=0", "\r\nOK\r\n"},
        {"still off", "AT+CREG?", "\r\n+CREG: 0,0\r\n\r\nOK\r\n"},
        {"radio on", "AT+CFUN=1", "\r\nOK\r\n"},
        {"registered again", "AT+CREG?", "\r\n+CREG: 0,1\r\n\r\nOK\r\n"},
        {"operator again", "AT+COPS?", "\r\n+COPS: 0,0,\"QVL Mobile\",0\r\n\r\nOK\r\n"},
    });
}

TEST_F(Conformance, RadioOffEndsTheCall) {
    Open();
    Ask("ATE0");
    Ask("ATD0301234;");
    m_sim->RemoteAnswer();
    // The call's end follows the answer (it may arrive with it or just after it).
    const std::string answer = Ask("AT+CFUN=4");
    EXPECT_EQ(answer + Unsolicited(), "\r\nOK\r\n\r\nNO CARRIER\r\n");
    EXPECT_TRUE(m_sim->Calls().empty());
}

TEST_F(Conformance, ResetRestartsTheHandset) {
    Open(DefaultSeed());
    Ask("ATE0");
    EXPECT_EQ(Ask("AT+CPIN=\"1234\""), "\r\nOK\r\n");
    Ask("AT+CMEE=1;+CREG=1");
    Ask("ATD0301234;");
    EXPECT_EQ(Ask("AT+CFUN=1,1"), "\r\nOK\r\n");
    EXPECT_TRUE(m_sim->Calls().empty());
    // Echo is on again, the PIN is asked again, AT+CMEE and AT+CREG are back at 0.
    EXPECT_EQ(m_line->Command("AT+CPIN?"), "AT+CPIN?\r\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CLCC=1"), "\r\nERROR\r\n");
    EXPECT_EQ(Ask("AT+CPIN=\"1234\""), "\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CREG?"), "\r\n+CREG: 0,1\r\n\r\nOK\r\n");
}

TEST_F(Conformance, HangUpAnswersItsTestForm) {
    Open();
    Ask("ATE0");
    EXPECT_EQ(Ask("AT+CHUP=?"), "\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CHUP"), "\r\nOK\r\n");
}

// "Jörg Müller" on the SIM and in every character set the handset offers.
TEST_F(Conformance, NamesTravelInTheSelectedCharacterSet) {
    ModemSeed seed = ReadySeed();
    seed.phonebooks["SM"].entries[5] = {"0301234567", 129, "J\u00f6rg M\u00fcller"};
    Open(seed);
    Ask("ATE0;+CMEE=1");
    const std::string entry = "\r\n+CPBR: 5,\"0301234567\",129,\"";
    const std::string ok = "\"\r\n\r\nOK\r\n";
    ExpectAnswers({
        {"default set", "AT+CSCS?", "\r\n+CSCS: \"GSM\"\r\n\r\nOK\r\n"},
        {"offered sets", "AT+CSCS=?",
         "\r\n+CSCS: (\"GSM\",\"IRA\",\"8859-1\",\"UCS2\")\r\n\r\nOK\r\n"},
        {"gsm", "AT+CPBR=5",
         entry +
             "J\x7Crg M\x7E"
             "ller" +
             ok},
        {"to ucs2", "AT+CSCS=\"UCS2\"", "\r\nOK\r\n"},
        {"ucs2", "AT+CPBR=5", entry + "004A00F6007200670020004D00FC006C006C00650072" + ok},
        {"to latin-1", "AT+CSCS=\"8859-1\"", "\r\nOK\r\n"},
        {"latin-1", "AT+CPBR=5", entry + "J\xF6rg M\xFCller" + ok},
        {"to ira", "AT+CSCS=\"IRA\"", "\r\nOK\r\n"},
        {"ira has no umlauts", "AT+CPBR=5", entry + "J?rg M?ller" + ok},
        {"unknown set", "AT+CSCS=\"KOI8-R\"", "\r\nERROR\r\n"},
        {"ira refuses 8-bit names", "AT+CPBW=6,\"0301\",129,\"Ren\xE9\"", "\r\n+CME ERROR: 25\r\n"},
        {"to gsm", "AT+CSCS=\"GSM\"", "\r\nOK\r\n"},
        {"gsm write with euro", "AT+CPBW=6,\"0301\",129,\"5\x1B\x65 \x05t\x05\"", "\r\nOK\r\n"},
        {"gsm refuses 8-bit bytes", "AT+CPBW=7,\"0301\",129,\"\xE9\"", "\r\n+CME ERROR: 25\r\n"},
        {"gsm refuses an unknown escape",
         "AT+CPBW=7,\"0301\",129,\"a\x1B"
         "b\"",
         "\r\n+CME ERROR: 25\r\n"},
        {"back to ucs2", "AT+CSCS=\"UCS2\"", "\r\nOK\r\n"},
        {"read the gsm write", "AT+CPBR=6",
         "\r\n+CPBR: 6,\"0301\",129,\"003520AC002000E9007400E9\"\r\n\r\nOK\r\n"},
        {"ucs2 write", "AT+CPBW=7,\"0302\",129,\"004C00F60077006500200041\"", "\r\nOK\r\n"},
        {"ucs2 refuses odd hex", "AT+CPBW=8,\"0301\",129,\"004\"", "\r\n+CME ERROR: 25\r\n"},
        {"ucs2 refuses a lone surrogate", "AT+CPBW=8,\"0301\",129,\"D800\"",
         "\r\n+CME ERROR: 25\r\n"},
        {"operator in ucs2", "AT+COPS?",
         "\r\n+COPS: 0,0,\"00510056004C0020004D006F00620069006C0065\",0\r\n\r\nOK\r\n"},
        {"latin-1 again", "AT+CSCS=\"8859-1\"", "\r\nOK\r\n"},
        {"read the ucs2 write", "AT+CPBR=7",
         "\r\n+CPBR: 7,\"0302\",129,\"L\xF6we A\"\r\n\r\nOK\r\n"},
    });
    EXPECT_EQ(m_sim->State().phonebooks.at("SM").entries.at(7).name, "L\u00f6we A");
}

TEST_F(Conformance, ResetReturnsToTheDefaultCharacterSet) {
    Open();
    Ask("ATE0;+CSCS=\"UCS2\"");
    Ask("ATZ");
    Ask("ATE0");
    EXPECT_EQ(Ask("AT+CSCS?"), "\r\n+CSCS: \"GSM\"\r\n\r\nOK\r\n");
}

TEST_F(Conformance, StatusReportsGoToTheMemoryThatIsOffered) {
    Open();
    Ask("ATE0;+CMEE=1");
    const std::string report = "0006D60B911326880736F4111011719551401110117195714000";
    ExpectAnswers({
        {"memories", "AT+CPMS=?",
         "\r\n+CPMS: (\"SM\",\"ME\",\"SR\"),(\"SM\",\"ME\"),(\"SM\",\"ME\")\r\n\r\nOK\r\n"},
        {"indication mode 2", "AT+CNMI=1,1,0,2", "\r\nOK\r\n"},
    });
    ASSERT_TRUE(m_sim->InjectStatusReport(report));
    EXPECT_EQ(Unsolicited(), "\r\n+CDSI: \"SR\",1\r\n");
    ExpectAnswers({
        {"read memory SR", "AT+CPMS=\"SR\"", "\r\n+CPMS: 1,20,0,20,0,20\r\n\r\nOK\r\n"},
        {"read the report", "AT+CMGR=1", "\r\n+CMGR: 0,,25\r\n" + report + "\r\n\r\nOK\r\n"},
        {"now read", "AT+CMGL=4", "\r\n+CMGL: 1,1,,25\r\n" + report + "\r\n\r\nOK\r\n"},
        {"delete it", "AT+CMGD=1", "\r\nOK\r\n"},
        {"empty", "AT+CPMS?", "\r\n+CPMS: \"SR\",0,20,\"SM\",0,20,\"SM\",0,20\r\n\r\nOK\r\n"},
        {"reports are not written", "AT+CPMS=\"SM\",\"SR\"", "\r\n+CMS ERROR: 302\r\n"},
        {"nor received as messages", "AT+CPMS=\"SM\",\"SM\",\"SR\"", "\r\n+CMS ERROR: 302\r\n"},
    });
    EXPECT_EQ(
        m_sim->InjectSms("0791947101670000040C914915214365870000621032418070400548656C6C6F", "SR"),
        -1);
}

// AT+CNMI mt=3 routes class 3 messages directly and stores the others as mt=1 does.
TEST_F(Conformance, DirectRoutingOfClass3Only) {
    Open();
    Ask("ATE0;+CNMI=1,3");
    // The data coding scheme is the octet after the protocol identifier (hex offset 14 here).
    std::string pdu = EncodeDeliverPdu("", "+4912", "2026-12-24 18:00:00", "Hi");
    ASSERT_EQ(pdu.substr(14, 2), "00") << pdu;
    std::string class3 = pdu;
    class3.replace(14, 2, "F3");
    std::string class1 = pdu;
    class1.replace(14, 2, "F1");
    EXPECT_EQ(m_sim->InjectSms(class3), 0) << "delivered, not stored";
    EXPECT_EQ(Unsolicited(), "\r\n+CMT: ,17\r\n" + class3 + "\r\n");
    EXPECT_EQ(m_sim->InjectSms(class1), 1);
    EXPECT_EQ(Unsolicited(), "\r\n+CMTI: \"SM\",1\r\n");
    EXPECT_EQ(m_sim->InjectSms(pdu), 2) << "no class";
    EXPECT_EQ(Unsolicited(), "\r\n+CMTI: \"SM\",2\r\n");
    Ask("AT+CNMI=1,2");
    EXPECT_EQ(m_sim->InjectSms(class1), 0) << "mt=2 delivers every class";
}

}  // namespace
}  // namespace qvl::sim::test
