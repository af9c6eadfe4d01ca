// Conformance of the message commands in PDU mode.
#include "tools/modemsim/seed.h"
#include "tools/modemsim/tests/fixture.h"

namespace qvl::sim::test {
namespace {

// SMS-DELIVER from +27821234567, "Test2", 2013-03-08 15:02:16 +02:00 (a published vector).
constexpr const char* kDeliver = "06917228195339040B917228214365F700003130805120618005D4F29C2E03";
// SMS-SUBMIT to +4915112345678 "hi", no service-centre address, 16 octets of TPDU.
constexpr const char* kSubmit = "0001000D91941511325476F8000002E834";

TEST_F(SimTest, WriteReadDeleteRoundTripThroughPrompt) {
    Open();
    EXPECT_EQ(Ask("AT+CMGF=0"), "\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CPMS=\"ME\",\"ME\""), "\r\n+CPMS: 0,50,0,50,0,20\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CMGW=16,3"), "\r\n> ");
    m_line->Send(std::string(kSubmit) + "\x1a");
    EXPECT_EQ(m_line->ReadAnswer(), std::string(kSubmit) + "\r\n+CMGW: 1\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CMGR=1"), "\r\n+CMGR: 3,,16\r\n" + std::string(kSubmit) + "\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CPMS?"), "\r\n+CPMS: \"ME\",1,50,\"ME\",1,50,\"SM\",0,20\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CMGD=1"), "\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CMGR=1"), "\r\nOK\r\n") << "an empty location answers OK alone";
    EXPECT_EQ(Ask("AT+CMGR=51"), "\r\n+CMS ERROR: 321\r\n");
}

TEST_F(SimTest, SendGivesReferenceAndRejectsBadPdus) {
    Open();
    struct Row {
        const char* name;
        std::string command;
        std::string pdu;
        std::string answer;
    };
    const Row rows[] = {
        {"good", "AT+CMGS=16", kSubmit, "\r\n+CMGS: 0\r\n\r\nOK\r\n"},
        {"second reference", "AT+CMGS=16", kSubmit, "\r\n+CMGS: 1\r\n\r\nOK\r\n"},
        {"length disagrees", "AT+CMGS=15", kSubmit, "\r\n+CMS ERROR: 304\r\n"},
        {"not hex", "AT+CMGS=16", std::string(kSubmit).replace(4, 1, "G"),
         "\r\n+CMS ERROR: 304\r\n"},
        {"a deliver is not sent", "AT+CMGS=24", std::string(kDeliver).substr(14),
         "\r\n+CMS ERROR: 304\r\n"},
    };
    ASSERT_EQ(Ask("ATE0"), "\r\nOK\r\n");
    for (const Row& row : rows) {
        EXPECT_EQ(Ask(row.command), "\r\n> ") << row.name;
        m_line->Send(row.pdu + "\x1a");
        EXPECT_EQ(m_line->ReadAnswer(), row.answer) << row.name;
    }
    EXPECT_EQ(m_sim->SentPdus().size(), 2u);
    EXPECT_EQ(Ask("AT+CMGS=16"), "\r\n> ");
    m_line->Send("0011\x1b");
    EXPECT_EQ(m_line->ReadAnswer(), "\r\nOK\r\n") << "escape abandons the message";
    EXPECT_EQ(m_sim->SentPdus().size(), 2u);
    EXPECT_EQ(Ask("AT"), "\r\nOK\r\n") << "back in command state";
}

TEST_F(SimTest, PduSentInPiecesAfterPromptIsJoined) {
    Open();
    Ask("ATE0");
    EXPECT_EQ(Ask("AT+CMGS=16"), "\r\n> ");
    m_line->Send(std::string(kSubmit).substr(0, 10));
    m_line->Send(std::string(kSubmit).substr(10));
    m_line->Send("\x1a");
    EXPECT_EQ(m_line->ReadAnswer(), "\r\n+CMGS: 0\r\n\r\nOK\r\n");
}

TEST_F(SimTest, InjectedMessageRaisesCmtiWithItsIndexAndTurnsRead) {
    Open();
    EXPECT_EQ(m_sim->InjectSms(kDeliver, "SM"), 1);
    EXPECT_EQ(m_line->ReadFor(100), "") << "no indication before AT+CNMI asks for one";
    EXPECT_EQ(Ask("AT+CNMI=1,1,0,1"), "\r\nOK\r\n");
    EXPECT_EQ(m_sim->InjectSms(kDeliver, "SM"), 2);
    EXPECT_EQ(m_line->ReadUntil("\r\n+CMTI: \"SM\",2\r\n"), "\r\n+CMTI: \"SM\",2\r\n");
    EXPECT_EQ(m_sim->InjectSms(kDeliver, "ME"), 1);
    EXPECT_EQ(m_line->ReadUntil("\r\n+CMTI: \"ME\",1\r\n"), "\r\n+CMTI: \"ME\",1\r\n");
    EXPECT_EQ(Ask("AT+CMGL=0"), std::string("\r\n+CMGL: 1,0,,24\r\n") + kDeliver +
                                    "\r\n+CMGL: 2,0,,24\r\n" + kDeliver + "\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CMGR=2"), std::string("\r\n+CMGR: 1,,24\r\n") + kDeliver + "\r\n\r\nOK\r\n");
    EXPECT_EQ(m_sim->InjectSms("0G", "SM"), -1);
}

TEST_F(SimTest, IndicationsWaitWhileThePromptIsOpen) {
    Open();
    Ask("ATE0;+CNMI=1,1,0,1");
    EXPECT_EQ(Ask("AT+CMGS=16"), "\r\n> ");
    m_sim->InjectSms(kDeliver, "SM");
    EXPECT_EQ(m_line->ReadFor(100), "");
    m_line->Send(std::string(kSubmit) + "\x1a");
    EXPECT_EQ(m_line->ReadUntil("+CMTI: \"SM\",1\r\n"),
              "\r\n+CMGS: 0\r\n\r\nOK\r\n\r\n+CMTI: \"SM\",1\r\n");
}

TEST_F(SimTest, FullMemoryAndCnmiFallbacks) {
    ModemSeed seed = ReadySeed();
    seed.simSms.capacity = 1;
    seed.behaviour.cnmiAccepted = {"1,1,0,2"};
    Open(seed);
    EXPECT_EQ(Ask("AT+CNMI=1,1,0,1"), "\r\n+CMS ERROR: 303\r\n");
    EXPECT_EQ(Ask("AT+CNMI=3,1"), "\r\n+CMS ERROR: 303\r\n");
    EXPECT_EQ(Ask("AT+CNMI=1,1,0,2"), "\r\nOK\r\n");
    EXPECT_EQ(m_sim->InjectSms(kDeliver, "SM"), 1);
    m_line->ReadUntil("\r\n+CMTI: \"SM\",1\r\n");
    EXPECT_EQ(m_sim->InjectSms(kDeliver, "SM"), -1);
    EXPECT_EQ(Ask("AT+CPMS?"), "\r\n+CPMS: \"SM\",1,1,\"SM\",1,1,\"SM\",1,1\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CMGW=16"), "\r\n> ");
    m_line->Send(std::string(kSubmit) + "\x1a");
    EXPECT_EQ(m_line->ReadAnswer(), std::string(kSubmit) + "\r\n+CMS ERROR: 322\r\n");
}

TEST_F(SimTest, StatusReportAndServiceCentre) {
    Open();
    const std::string report = "0006D60B911326880736F4111011719551401110117195714000";
    EXPECT_FALSE(m_sim->InjectStatusReport(report)) << "no +CDS without AT+CNMI";
    Ask("AT+CNMI=1,1,0,1");
    EXPECT_TRUE(m_sim->InjectStatusReport(report));
    EXPECT_EQ(m_line->ReadUntil(report + "\r\n"), "\r\n+CDS: 25\r\n" + report + "\r\n");
    EXPECT_EQ(Ask("AT+CSCA?"), "\r\n+CSCA: \"+491710760000\",145\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CSCA=\"491719999\",145"), "\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CSAS"), "\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CSCA?"), "\r\n+CSCA: \"+491719999\",145\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CGSMS=2;+CGSMS?"), "\r\n+CGSMS: 2\r\n\r\nOK\r\n");
}

TEST_F(SimTest, ReportRequestedBySubmitArrivesAsCds) {
    ModemSeed seed = ReadySeed();
    seed.behaviour.statusReportMs = 50;
    Open(seed);
    Ask("ATE0;+CNMI=1,1,0,1");
    Ask("AT+CMGS=16");
    m_line->Send("0021000D91941511325476F8000002E834\x1a");  // TP-SRR set
    EXPECT_EQ(m_line->ReadAnswer(), "\r\n+CMGS: 0\r\n\r\nOK\r\n");
    const std::string cds = m_line->ReadUntil("00\r\n");
    // Service centre, SMS-STATUS-REPORT, reference 0, the recipient, two time stamps, status 0.
    ASSERT_EQ(cds.size(), std::string("\r\n+CDS: 26\r\n").size() + 2 * 34 + 2) << cds;
    EXPECT_EQ(cds.substr(0, 12), "\r\n+CDS: 26\r\n");
    EXPECT_EQ(cds.substr(12, 38),
              "0791947101670000"
              "0600"
              "0D91941511325476F8");
    EXPECT_EQ(cds.substr(cds.size() - 4), "00\r\n");

    Ask("AT+CMGS=16");
    m_line->Send(std::string(kSubmit) + "\x1a");
    m_line->ReadAnswer();
    EXPECT_EQ(m_line->ReadFor(150), "") << "no report asked for, none sent";
}

TEST(SeedEncoder, DeliverPduMatchesPublishedVector) {
    EXPECT_EQ(EncodeDeliverPdu("+2782913593", "+27821234567", "2013-03-08 15:02:16+02:00", "Test2"),
              kDeliver);
    // Text outside the GSM alphabet goes as UCS2 (DCS 08), two octets a character.
    const std::string ucs2 = EncodeDeliverPdu("", "+4915112345678", "2026-01-02 03:04:05", "Grüße");
    EXPECT_EQ(ucs2.substr(0, 2), "00");
    EXPECT_NE(ucs2.find("0008"), std::string::npos);
    EXPECT_EQ(ucs2.substr(ucs2.size() - 22), "0A0047007200FC00DF0065");
}

TEST(SeedEncoder, StatusReportMatchesPublishedVector) {
    // S-SR-1 with both time stamps equal to the first one.
    EXPECT_EQ(EncodeStatusReportPdu("", 214, "+31628870634", "2011-01-11 17:59:15+01:00", 0),
              "0006D60B911326880736F4111011719551401110117195514000");
}

TEST(SeedEncoder, LocalTimeStampIsAcceptedByTheEncoder) {
    const std::string now = LocalTimeStamp();
    ASSERT_EQ(now.size(), 25u) << now;
    EXPECT_TRUE(now[19] == '+' || now[19] == '-') << now;
    EXPECT_NE(EncodeDeliverPdu("", "+49", now, "a"), "");
}

TEST(SeedEncoder, RejectsWhatDoesNotFit) {
    EXPECT_EQ(EncodeDeliverPdu("", "+49x", "2026-01-02 03:04:05", "a"), "");
    EXPECT_EQ(EncodeDeliverPdu("", "+49", "yesterday", "a"), "");
    EXPECT_EQ(EncodeDeliverPdu("", "+49", "2026-01-02 03:04:05", std::string(161, 'a')), "");
    EXPECT_NE(EncodeDeliverPdu("", "+49", "2026-01-02 03:04:05", std::string(160, 'a')), "");
}

}  // namespace
}  // namespace qvl::sim::test
