// What the network, forwarding and phonebook dialogs need from a handset: both forms of the
// network list, networks that refuse registration, a slow search that holds the line, manual
// registration that stays, forwarding per class in answers of several lines, the error modes
// of AT+CMEE, the phonebook's lengths, and the seed keys and control commands behind them.
#include "tools/modemsim/control.h"
#include "tools/modemsim/seed.h"
#include "tools/modemsim/tests/fixture.h"

namespace qvl::sim::test {
namespace {

class Services : public SimTest {
  protected:
    // Reads up to and with the n-th final OK (echo off).
    std::string ReadOks(int n, int timeoutMs = 10000) {
        const std::string ok = "\r\nOK\r\n";
        auto count = [&ok](const std::string& text) {
            int found = 0;
            for (auto at = text.find(ok); at != std::string::npos; at = text.find(ok, at + 1)) {
                ++found;
            }
            return found;
        };
        std::string text;
        while (count(text) < n) {
            const std::string more = m_line->ReadUntil(ok, timeoutMs);
            if (more.empty()) {
                break;
            }
            text += more;
        }
        return text;
    }
    static ModemSeed Parsed(const std::string& text) {
        ModemSeed seed = ReadySeed();
        std::string error;
        EXPECT_TRUE(ParseSeed(text, seed, &error)) << error;
        return seed;
    }
};

const char* kFourNetworks = R"(
[operators]
operator = 26201, QVL Mobile, QVL
operator = 26202, Northnet, NNET, act 2
operator = 26203, Southcell, SCELL, forbidden
operator = 26204, , , act 7, refuses 111
)";

TEST_F(Services, NetworkListInBothForms) {
    Open(Parsed(kFourNetworks));
    Ask("ATE0;+CMEE=1");
    ExpectAnswers({
        {"with access technology", "AT+COPS=?",
         "\r\n+COPS: (2,\"QVL Mobile\",\"QVL\",\"26201\",0),(1,\"Northnet\",\"NNET\",\"26202\",2),"
         "(3,\"Southcell\",\"SCELL\",\"26203\",0),(1,\"\",\"\",\"26204\",7),,(0,1,2,3,4),(0,1,2)"
         "\r\n\r\nOK\r\n"},
        {"read with access technology", "AT+COPS?",
         "\r\n+COPS: 0,0,\"QVL Mobile\",0\r\n\r\nOK\r\n"},
    });
    m_sim->SetListAccessTechnology(false);
    ExpectAnswers({
        {"older form", "AT+COPS=?",
         "\r\n+COPS: (2,\"QVL Mobile\",\"QVL\",\"26201\"),(1,\"Northnet\",\"NNET\",\"26202\"),"
         "(3,\"Southcell\",\"SCELL\",\"26203\"),(1,\"\",\"\",\"26204\"),,(0,1,2,3,4),(0,1,2)"
         "\r\n\r\nOK\r\n"},
        {"read in the older form", "AT+COPS?", "\r\n+COPS: 0,0,\"QVL Mobile\"\r\n\r\nOK\r\n"},
    });
    m_sim->SetRegistered(false);
    EXPECT_EQ(Ask("AT+COPS=?"), "\r\n+COPS: ,,(0,1,2,3,4),(0,1,2)\r\n\r\nOK\r\n")
        << "out of reach of every network";
    m_sim->SetRegistered(true);
    ExpectAnswers({
        {"radio off", "AT+CFUN=4", "\r\nOK\r\n"},
        {"no search with the radio off", "AT+COPS=?", "\r\n+CME ERROR: 30\r\n"},
    });
}

TEST_F(Services, NetworksThatRefuseRegistration) {
    Open(Parsed(kFourNetworks));
    Ask("ATE0;+CMEE=2");
    ExpectAnswers({
        {"forbidden", "AT+COPS=1,2,\"26203\"",
         "\r\n+CME ERROR: network not allowed - emergency calls only\r\n"},
        {"refused by the network", "AT+COPS=1,2,\"26204\"", "\r\n+CME ERROR: PLMN not allowed\r\n"},
        {"unknown", "AT+COPS=1,2,\"99999\"", "\r\n+CME ERROR: no network service\r\n"},
        {"registration stays as it was", "AT+COPS?", "\r\n+COPS: 0,2,\"26201\",0\r\n\r\nOK\r\n"},
        {"manual then automatic", "AT+COPS=4,2,\"26204\"", "\r\nOK\r\n"},
        {"fell back to automatic", "AT+COPS?", "\r\n+COPS: 0,2,\"26201\",0\r\n\r\nOK\r\n"},
    });
    EXPECT_EQ(RunControlCommand(*m_sim, "refuse 26202 113"), "OK");
    EXPECT_EQ(Ask("AT+CMEE=1;+COPS=1,2,\"26202\""), "\r\n+CME ERROR: 113\r\n");
    EXPECT_EQ(RunControlCommand(*m_sim, "refuse 26202 off"), "OK");
    EXPECT_EQ(Ask("AT+COPS=1,2,\"26202\""), "\r\nOK\r\n");
    EXPECT_EQ(RunControlCommand(*m_sim, "forbid 26202"), "OK");
    EXPECT_EQ(Ask("AT+COPS=1,2,\"26202\""), "\r\n+CME ERROR: 32\r\n");
}

TEST_F(Services, SlowSearchHoldsTheLineButNotTheSimulator) {
    ModemSeed seed = ReadySeed();
    seed.behaviour.networkScanMs = 400;
    Open(seed);
    Ask("ATE0;+CNMI=1,1,0,1");
    const std::size_t from = m_sim->CommandLog().size();
    ASSERT_TRUE(m_line->Send("AT+COPS=?\r"));
    ASSERT_TRUE(m_sim->WaitForCommand("AT+COPS=?", 5000, from));
    // The network delivers a message and the program asks for the signal meanwhile: the
    // indication waits for the list, the command for both.
    EXPECT_EQ(m_sim->InjectSms(
                  "07911326040000F0040B911346610089F60000208062917314080CC8F71D14969741F977FD07"),
              1);
    ASSERT_TRUE(m_line->Send("AT+CSQ\r"));
    EXPECT_EQ(
        ReadOks(2),
        "\r\n+COPS: (2,\"QVL Mobile\",\"QVL\",\"26201\",0),(1,\"Northnet\",\"NNET\",\"26202\",0),"
        "(3,\"Southcell\",\"SCELL\",\"26203\",0),,(0,1,2,3,4),(0,1,2)\r\n\r\nOK\r\n"
        "\r\n+CMTI: \"SM\",1\r\n"
        "\r\n+CSQ: 20,99\r\n\r\nOK\r\n");
    // The duration can be changed from the control socket.
    EXPECT_EQ(RunControlCommand(*m_sim, "scan 0"), "OK");
    EXPECT_EQ(Ask("AT+COPS=?").substr(0, 10), "\r\n+COPS: (");
}

TEST_F(Services, ManualRegistrationStays) {
    ModemSeed seed = ReadySeed();
    seed.behaviour.registerMs = 50;
    Open(seed);
    Ask("ATE0");
    ASSERT_TRUE(m_line->Send("AT+COPS=1,0,\"Northnet\"\r"));
    EXPECT_EQ(ReadOks(1), "\r\nOK\r\n");
    EXPECT_EQ(RunControlCommand(*m_sim, "registration"), "OK 1 26202");
    ExpectAnswers({
        {"manual", "AT+COPS?", "\r\n+COPS: 1,0,\"Northnet\",0\r\n\r\nOK\r\n"},
        {"roaming there", "AT+CREG?", "\r\n+CREG: 0,5\r\n\r\nOK\r\n"},
    });
    m_sim->SetRegistered(false);
    EXPECT_EQ(Ask("AT+CREG?"), "\r\n+CREG: 0,2\r\n\r\nOK\r\n");
    m_sim->SetRegistered(true);
    Ask("AT+CFUN=4");
    Ask("AT+CFUN=1");
    ExpectAnswers({
        {"back on the chosen network", "AT+COPS?", "\r\n+COPS: 1,0,\"Northnet\",0\r\n\r\nOK\r\n"},
        {"the format of a manual choice stays", "AT+COPS=3,2;+COPS?",
         "\r\n+COPS: 1,2,\"26202\",0\r\n\r\nOK\r\n"},
        {"automatic again", "AT+COPS=0", "\r\nOK\r\n"},
        {"home network", "AT+COPS?", "\r\n+COPS: 0,2,\"26201\",0\r\n\r\nOK\r\n"},
        {"deregister", "AT+COPS=2", "\r\nOK\r\n"},
        {"none", "AT+COPS?", "\r\n+COPS: 2\r\n\r\nOK\r\n"},
    });
    m_sim->SetRegistered(true);
    EXPECT_EQ(Ask("AT+COPS?"), "\r\n+COPS: 2\r\n\r\nOK\r\n")
        << "a network in reach does not undo it";
}

TEST_F(Services, ForwardingPerClassAnswersOneLinePerClass) {
    Open();
    Ask("ATE0;+CMEE=1");
    ExpectAnswers({
        {"register voice, data and fax", "AT+CCFC=1,3,\"+4917099\",145", "\r\nOK\r\n"},
        {"query all three", "AT+CCFC=1,2",
         "\r\n+CCFC: 1,1,\"+4917099\",145\r\n+CCFC: 1,2,\"+4917099\",145\r\n"
         "+CCFC: 1,4,\"+4917099\",145\r\n\r\nOK\r\n"},
        {"disable data", "AT+CCFC=1,0,,,2", "\r\nOK\r\n"},
        {"query data", "AT+CCFC=1,2,,,2", "\r\n+CCFC: 0,2\r\n\r\nOK\r\n"},
        {"query voice and data", "AT+CCFC=1,2,,,3",
         "\r\n+CCFC: 1,1,\"+4917099\",145\r\n\r\nOK\r\n"},
        {"erase everything", "AT+CCFC=1,4", "\r\nOK\r\n"},
        {"nothing left", "AT+CCFC=1,2", "\r\n+CCFC: 0,7\r\n\r\nOK\r\n"},
        {"no reply with time", "AT+CCFC=2,3,\"0301\",129,4,,,25", "\r\nOK\r\n"},
        {"no reply query", "AT+CCFC=2,2,,,4", "\r\n+CCFC: 1,4,\"0301\",129,,,25\r\n\r\nOK\r\n"},
        {"query of all reasons", "AT+CCFC=4,2", "\r\n+CME ERROR: 3\r\n"},
    });
}

TEST_F(Services, NetworkThatAnswersEveryClassAndRefusesTheTime) {
    ModemSeed seed = Parsed(R"(
[behaviour]
ccfc_every_class = yes
ccfc_time_refused = yes
[forwarding]
rule = 0, 4, +4930111
rule = 3, 1, 0301234, inactive
rule = 2, 1, 0301, 15
)");
    Open(seed);
    Ask("ATE0;+CMEE=1");
    ExpectAnswers({
        {"voice asked, every class answered", "AT+CCFC=0,2,,,1",
         "\r\n+CCFC: 0,1\r\n+CCFC: 0,2\r\n+CCFC: 1,4,\"+4930111\",145\r\n\r\nOK\r\n"},
        {"registered but inactive", "AT+CCFC=3,2,,,1",
         "\r\n+CCFC: 0,1\r\n+CCFC: 0,2\r\n+CCFC: 0,4\r\n\r\nOK\r\n"},
        {"enable it", "AT+CCFC=3,1,,,1", "\r\nOK\r\n"},
        {"active now", "AT+CCFC=3,2,,,1",
         "\r\n+CCFC: 1,1,\"0301234\",129\r\n+CCFC: 0,2\r\n+CCFC: 0,4\r\n\r\nOK\r\n"},
        {"seeded time", "AT+CCFC=2,2,,,1",
         "\r\n+CCFC: 1,1,\"0301\",129,,,15\r\n+CCFC: 0,2\r\n+CCFC: 0,4\r\n\r\nOK\r\n"},
        {"time refused", "AT+CCFC=2,3,\"0302\",129,1,,,20", "\r\n+CME ERROR: 4\r\n"},
        {"without the time", "AT+CCFC=2,3,\"0302\",129,1", "\r\nOK\r\n"},
    });
    EXPECT_EQ(RunControlCommand(*m_sim, "forward 1 2 +4940222"), "OK");
    EXPECT_EQ(Ask("AT+CCFC=1,2,,,2"),
              "\r\n+CCFC: 0,1\r\n+CCFC: 1,2,\"+4940222\",145\r\n+CCFC: 0,4\r\n\r\nOK\r\n");
    EXPECT_EQ(RunControlCommand(*m_sim, "forward 1 2 off"), "OK");
    EXPECT_EQ(Ask("AT+CCFC=1,2,,,2"), "\r\n+CCFC: 0,1\r\n+CCFC: 0,2\r\n+CCFC: 0,4\r\n\r\nOK\r\n");
}

TEST_F(Services, ErrorModesOfCmee) {
    ModemSeed seed = ReadySeed();
    seed.behaviour.cmeeDefault = 2;
    Open(seed);
    Ask("ATE0");
    ExpectAnswers({
        {"verbose from the seed", "AT+CPBR=251", "\r\n+CME ERROR: invalid index\r\n"},
        {"numeric", "AT+CMEE=1;+CPBR=251", "\r\n+CME ERROR: 21\r\n"},
        {"plain", "AT+CMEE=0;+CPBR=251", "\r\nERROR\r\n"},
        {"message errors stay numeric", "AT+CMGR=99", "\r\n+CMS ERROR: 321\r\n"},
        {"read", "AT+CMEE?", "\r\n+CMEE: 0\r\n\r\nOK\r\n"},
        {"reset to the seed's mode", "ATZ;E0;+CMEE?", "\r\n+CMEE: 2\r\n\r\nOK\r\n"},
    });
    EXPECT_EQ(RunControlCommand(*m_sim, "cmee 1"), "OK");
    EXPECT_EQ(Ask("AT+CPBW=1,\"12\",,\"ABCDEFGHIJKLMNOPQ\""), "\r\n+CME ERROR: 24\r\n");
    EXPECT_EQ(RunControlCommand(*m_sim, "cmee 3"), "ERROR cmee 0|1|2");
}

TEST_F(Services, PhonebookLengthsCountWhatTheMemoryStores) {
    ModemSeed seed = Parsed(R"(
[phonebook SM]
number_length = 12
name_length = 14
[phonebook ME]
name_length = 14
)");
    Open(seed);
    Ask("ATE0;+CMEE=1;+CSCS=\"UCS2\"");
    // "Łukasz Nowak" is not in the GSM alphabet: the SIM keeps it in UCS2, 1 + 2 x 12 octets.
    const std::string lukasz =
        "0141"
        "0075006B00610073007A0020004E006F00770061006B";
    const std::string joerg = "004A00F6007200670020004D00FC006C006C00650072";
    ExpectAnswers({
        {"lengths", "AT+CPBR=?", "\r\n+CPBR: (1-250),12,14\r\n\r\nOK\r\n"},
        {"gsm name of 11 fits", ("AT+CPBW=1,\"0301\",129,\"" + joerg + "\"").c_str(), "\r\nOK\r\n"},
        {"ucs2 name of 25 octets", ("AT+CPBW=2,\"0301\",129,\"" + lukasz + "\"").c_str(),
         "\r\n+CME ERROR: 24\r\n"},
        {"12 digits and a plus", "AT+CPBW=3,\"+491701234567\"", "\r\nOK\r\n"},
        {"13 digits", "AT+CPBW=3,\"4917012345678\"", "\r\n+CME ERROR: 26\r\n"},
        {"letters in a number", "AT+CPBW=3,\"0301ABC\"", "\r\n+CME ERROR: 27\r\n"},
        {"handset book counts characters", "AT+CPBS=\"ME\"", "\r\nOK\r\n"},
        {"12 characters fit", ("AT+CPBW=2,\"0301\",129,\"" + lukasz + "\"").c_str(), "\r\nOK\r\n"},
    });
}

TEST_F(Services, NumbersInUcs2WhenTheHandsetDoesSo) {
    ModemSeed seed = ReadySeed();
    seed.behaviour.ucs2Numbers = true;
    seed.phonebooks["SM"].entries[1] = {"+4930", 145, "A"};
    Open(seed);
    Ask("ATE0;+CMEE=1");
    ExpectAnswers({
        {"plain in gsm", "AT+CPBR=1", "\r\n+CPBR: 1,\"+4930\",145,\"A\"\r\n\r\nOK\r\n"},
        {"hex in ucs2", "AT+CSCS=\"UCS2\";+CPBR=1",
         "\r\n+CPBR: 1,\"002B0034003900330030\",145,\"0041\"\r\n\r\nOK\r\n"},
        {"written in hex", "AT+CPBW=2,\"00300033\",129,\"0042\"", "\r\nOK\r\n"},
        {"a plain number is not hex", "AT+CPBW=3,\"0301\",129,\"0042\"", "\r\n+CME ERROR: 27\r\n"},
        {"back in gsm", "AT+CSCS=\"GSM\";+CPBR=2", "\r\n+CPBR: 2,\"03\",129,\"B\"\r\n\r\nOK\r\n"},
    });
}

TEST_F(Services, CallListsNameTheCallerFromTheBooks) {
    ModemSeed seed = ReadySeed();
    seed.phonebooks["SM"].entries[4] = {"0301234", 129, "J\u00f6rg"};
    Open(seed);
    Ask("ATE0");
    Ask("ATD0301234;");
    Ask("ATH");
    EXPECT_EQ(Ask("AT+CSCS=\"8859-1\";+CPBS=\"DC\";+CPBR=1"),
              "\r\n+CPBR: 1,\"0301234\",129,\"J\xF6rg\"\r\n\r\nOK\r\n");
}

TEST_F(Services, CharacterSetsOfAHandsetThatOffersFewer) {
    Open(Parsed("[behaviour]\ncscs = IRA\ncharsets = IRA UCS2\n"));
    Ask("ATE0");
    ExpectAnswers({
        {"default", "AT+CSCS?", "\r\n+CSCS: \"IRA\"\r\n\r\nOK\r\n"},
        {"offered", "AT+CSCS=?", "\r\n+CSCS: (\"IRA\",\"UCS2\")\r\n\r\nOK\r\n"},
        {"not offered", "AT+CSCS=\"GSM\"", "\r\nERROR\r\n"},
        {"ucs2", "AT+CSCS=\"UCS2\"", "\r\nOK\r\n"},
        {"name given in ucs2 hex", "AT+CSCS=\"004900520041\";+CSCS?",
         "\r\n+CSCS: \"IRA\"\r\n\r\nOK\r\n"},
    });
}

TEST_F(Services, ControlCommandsForTheNetwork) {
    Open();
    Ask("ATE0;+CREG=2");
    struct ControlRow {
        const char* command;
        const char* reply;
    };
    const ControlRow rows[] = {
        {"cell 2F01 00ABCD", "OK"},
        {"cell 2F01", "ERROR cell LAC CI (hex, 1-8 digits each; needs a network)"},
        {"cell XYZ 1", "ERROR cell LAC CI (hex, 1-8 digits each; needs a network)"},
        {"refuse 99999", "ERROR no network 99999 in the list"},
        {"refuse 26202 0", "ERROR refuse NUMERIC [CODE 1..1000|off]"},
        {"forbid 26201 maybe", "ERROR expected on or off"},
        {"scan -1", "ERROR scan MS (0..600000)"},
        {"cops-act off", "OK"},
        {"forward 4 1 +49", "ERROR forward REASON(0..3) CLASS(1..255) NUMBER|off [inactive]"},
        {"forward 0 1 12x", "ERROR not a dialling number"},
        {"registration", "OK 0 26201"},
    };
    for (const ControlRow& row : rows) {
        EXPECT_EQ(RunControlCommand(*m_sim, row.command), row.reply) << row.command;
    }
    EXPECT_EQ(Ask("AT"), "\r\n+CREG: 1,\"2F01\",\"00ABCD\"\r\n\r\nOK\r\n")
        << "a new cell is reported";
    EXPECT_EQ(Ask("AT+COPS?"), "\r\n+COPS: 0,0,\"QVL Mobile\"\r\n\r\nOK\r\n");
}

TEST(SeedFile, NetworkAndServiceKeys) {
    ModemSeed seed = DefaultSeed();
    std::string error;
    ASSERT_TRUE(ParseSeed(R"(
[behaviour]
cops_act = no
network_scan_ms = 45000
register_ms = 2000
cscs = ucs2
ucs2_numbers = yes
[operators]
operator = 00101, Test Net, TEST, act 7, lac 00AB, cell 1234567
operator = 00102, Bad Net, BAD, refuses
[forwarding]
rule = 2, 3, +4912, 30
[messages]
report_capacity = 5
)",
                          seed, &error))
        << error;
    EXPECT_FALSE(seed.behaviour.copsAccessTechnology);
    EXPECT_EQ(seed.behaviour.networkScanMs, 45000);
    EXPECT_EQ(seed.behaviour.registerMs, 2000);
    EXPECT_EQ(seed.behaviour.charset, "UCS2");
    EXPECT_TRUE(seed.behaviour.ucs2Numbers);
    ASSERT_EQ(seed.operators.size(), 2u);
    EXPECT_EQ(seed.operators[0].act, 7);
    EXPECT_EQ(seed.operators[0].lac, "00AB");
    EXPECT_EQ(seed.operators[0].cell, "1234567");
    EXPECT_EQ(seed.operators[1].refuseCode, 30);
    EXPECT_EQ(seed.forwarding.at(2).at(2).number, "+4912");
    EXPECT_EQ(seed.forwarding.at(2).at(2).time, 30);
    EXPECT_TRUE(seed.forwarding.at(2).at(1).active);
    EXPECT_EQ(seed.reportSms.capacity, 5u);

    struct Row {
        const char* text;
        const char* error;
    };
    const Row bad[] = {
        {"[behaviour]\ncscs = UTF-8\n", "line 2: expected GSM, IRA, 8859-1 or UCS2"},
        {"[behaviour]\ncharsets =\n", "line 2: expected GSM, IRA, 8859-1 or UCS2"},
        {"[operators]\noperator = 1, A, B, purple\n", "line 2: unknown operator flag purple"},
        {"[operators]\noperator = 1, A, B, act 12\n", "line 2: act N (0..9)"},
        {"[operators]\noperator = 1, A, B, refuses many\n", "line 2: refuses [CODE 1..1000]"},
        {"[forwarding]\nrule = 4, 1, +49\n",
         "line 2: rule = reason 0..3, class 1..255, number[, time][, inactive]"},
        {"[forwarding]\nrule = 0, 1, +49, 31\n", "line 2: time 5..30 or inactive"},
    };
    for (const Row& row : bad) {
        ModemSeed s = DefaultSeed();
        EXPECT_FALSE(ParseSeed(row.text, s, &error)) << row.text;
        EXPECT_EQ(error, row.error) << row.text;
    }
}

}  // namespace
}  // namespace qvl::sim::test
