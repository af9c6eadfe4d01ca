// Real handset and library PDUs from public sources (see each row), decoded field by field,
// re-encoded where this codec produces the same form, and cut short or mutated.
#include <gtest/gtest.h>

#include <ostream>

#include "app/sms/codec/hexutil.h"
#include "app/sms/codec/smscodec.h"

namespace qvl::sms {
namespace {

enum class Kind { kDeliver, kSubmit };

struct MessageRow {
    const char* name;
    Kind kind;
    const char* hex;  // as +CMGR shows it, service-centre field included
    std::u16string number;
    std::u16string time;
    std::u16string text;
    int concatenated;
    int reference;
    int total;
    int sequence;
    int graphic;
};

const std::u16string kLorem1 =
    u"Lorem ipsum dolor sit amet, consectetur adipisicing elit, sed do eiusmod tempor "
    u"incididunt ut labore et dolore magna aliqua.Ut enim ad minim veniam, quin";

const MessageRow kMessages[] = {
    // S-DEL-1: faucamp/python-gsmmodem @834c68b1387ca2c91e2210faa8f75526b39723b5
    // test/test_pdu.py TestSmsPdu.test_decode.
    {"S_DEL_1_plus2", Kind::kDeliver,
     "06917228195339040B917228214365F700003130805120618005D4F29C2E03", u"+27821234567",
     u"08/03/13,15:02:16,GMT+2", u"Test2", 0, 0, 0, 0, 0},
    // S-DEL-2: same source.
    {"S_DEL_2_plus8", Kind::kDeliver,
     "07915892000000F0040B915892214365F700007040213252242331493A283D0795C3F33C88FE06C9CB6132885E"
     "C6D341EDF27C1E3E97E7207B3A0C0A5241E377BB1D7693E72E",
     u"+85291234567", u"12/04/07,23:25:42,GMT+8",
     u"It is easy to read text messages via AT commands.", 0, 0, 0, 0, 0},
    // S-DEL-3: same source; extension characters inside the text.
    {"S_DEL_3_extension", Kind::kDeliver,
     "06917228195339040B917228214365F70000313062315352800A800D8A5E98D337A910", u"+27821234567",
     u"26/03/13,13:35:25,GMT+2", u"@{t\u00E9st}!", 0, 0, 0, 0, 0},
    // S-DEL-4: rilmodem/ofono @efc9c0a85d32706bc088e449e847be41dcc73b3d unit/test-sms.c
    // test_simple_deliver.
    {"S_DEL_4_minus1", Kind::kDeliver,
     "07911326040000F0040B911346610089F60000208062917314480CC8F71D14969741F977FD07",
     u"+31641600986", u"26/08/02,19:37:41,GMT-1", u"How are you?", 0, 0, 0, 0, 0},
    // S-DEL-5: same source, test_alnum_sender.
    {"S_DEL_5_alnum", Kind::kDeliver,
     "0791447758100650040DD0F334FC1CA6970100008080312170224008D4F29CDE0EA7D9", u"sipgate",
     u"13/08/08,12:07:22,GMT+1", u"Testmail", 0, 0, 0, 0, 0},
    // S-DEL-6: faucamp/python-gsmmodem test_decode; UCS2 part 1 of 2 from "Megafon".
    {"S_DEL_6_ucs2_concat", Kind::kDeliver,
     "07919762020033F1400DD0CDF2396C7EBB010008415072411084618C0500035602010053004D00530020006300"
     "6F00640065003A00200034003800350036002C00200063006F006E006600690072006D006100740069006F006E"
     "0020006F00660020006100730073006F00630069006100740069006F006E002000620065007400770065006500"
     "6E0020006100630063006F0075006E007400200061006E00640020004D00650067",
     u"Megafon", u"27/05/14,14:01:48,GMT+4",
     u"SMS code: 4856, confirmation of association between account and Meg", 1, 0x56, 2, 1, 0},
    // S-DEL-8: faucamp/python-gsmmodem test_decode; 7-bit with a concatenation header.
    {"S_DEL_8_concat_7bit", Kind::kDeliver,
     "0591721891F1400781721881F800003160526104848059050003C30101916536FB1DCABEEB2074D85E064941B1"
     "9CAB060319A5C522289C96D3D3ED32286C0FA7D96131BBEC024941B19CAB0603DDD36C36A88C87A7E565D0DB0D"
     "82C55EB0DB4B068BCD5C20",
     u"2781188", u"25/06/13,16:40:48,GMT+2",
     u"Hello!You have R 19.50 FREE airtime available. R 19.50 will expire on 01/07/2013. ", 1,
     0xC3, 1, 1, 0},
    // S-DEL-11: rilmodem/ofono test_assembly (assembly_pdu3); UCS2 class 1, part 3 of 3.
    {"S_DEL_11_ucs2_part3", Kind::kDeliver,
     "038121F340048155550119906041001222044A0500031E0303043C043D043004420443002C0020043F043E0437"
     "04300431044B0432000A0434043004360435002C002004470442043E002000200431044B043B0020043D043004"
     "33002E",
     u"5555", u"14/06/09,00:21:22,GMT+10",
     u"\u043C\u043D\u0430\u0442\u0443, \u043F\u043E\u0437\u0430\u0431\u044B\u0432\n\u0434"
     u"\u0430\u0436\u0435, \u0447\u0442\u043E  \u0431\u044B\u043B \u043D\u0430\u0433.",
     1, 0x1E, 3, 3, 0},
    // S-DEL-12: rilmodem/ofono test_simple_mwi; DCS C8 (message waiting), no user data.
    {"S_DEL_12_mwi_empty", Kind::kDeliver,
     "07913366002020F8040B913366600600F100C83180706174148000", u"+33660660001",
     u"07/08/13,16:47:41,GMT+2", u"", 0, 0, 0, 0, 0},
    // S-SUB-1: faucamp/python-gsmmodem test_encodeSmsSubmit; no validity period.
    {"S_SUB_1_no_vp", Kind::kSubmit, "0001000B917228001011F100000CC8329BFD065DDF72363904",
     u"+27820001111", u"", u"Hello World!", 0, 0, 0, 0, 0},
    // S-SUB-3: same source; UCS2 with a relative validity period.
    {"S_SUB_3_ucs2_vp", Kind::kSubmit,
     "07914400000000F01100099121436587F90008F40A4E16754C60A8597DFF01", u"+123456789", u"",
     u"\u4E16\u754C\u60A8\u597D\uFF01", 0, 0, 0, 0, 0},
    // S-SUB-4: same source; national numbers, status report, MR 13.
    {"S_SUB_4_national", Kind::kSubmit,
     "04A12143F5310D0AA110624521430000A91BD4F29C0E6A97E7F3F0B9AC03B1DFE3301BE4AEB7C565F91C",
     u"0126541234", u"", u"Test message: local numbers", 0, 0, 0, 0, 0},
    // S-SUB-5: same source; absolute validity period (seven octets).
    {"S_SUB_5_absolute_vp", Kind::kSubmit,
     "0019000B917228001011F100003170013193008017D474BB3CA787DB70903DCC4E93D3F43C885E9ED301",
     u"+27820001111", u"", u"Timestamp validity test", 0, 0, 0, 0, 0},
    // S-SUB-8: same source; 8-bit data is only named.
    {"S_SUB_8_8bit", Kind::kSubmit, "0591721891F101000B917228214365F700040C48656C6C6F20776F726C6421",
     u"+27821234567", u"", u"DCS_8_Bit_Data", 0, 0, 0, 0, 0},
    // S-SUB-9: rilmodem/ofono test_sms_charset (sms_charset_default_ext); filler nibble 1.
    {"S_SUB_9_extension", Kind::kSubmit,
     "0001000B915310101010100000151BC58602DAA036A9CD6BC3DBF436BE0D705306", u"+35010101010", u"",
     u"\n^ {}\\[~]|\u20AC", 0, 0, 0, 0, 0},
    // S-SUB-11: rilmodem/ofono test_ems_udh (ems_udh_test_1); text formatting elements.
    {"S_SUB_11_ems_graphic", Kind::kSubmit,
     "0041000B915121551532F40000631A0A031906200A032104100A032705040A032E05080A043807002B8ACD29A8"
     "5D9ECFC3E7F21C340EBB41E3B79B1E4EBB41697A989D1EB340E2379BCC02B1C3F27399059AB7C36C3628EC2683"
     "C66FF65B5E2683E8653C1D",
     u"+15125551234", u"", u"Message contains Graphic objects", 0, 0, 0, 0, 1},
    // S-SUB-13: rilmodem/ofono test_prepare_7bit.
    {"S_SUB_13_vp_a7", Kind::kSubmit,
     "079153485002020911000C915348870420140000A71154747A0E4ACF41F4F29C9E769F4121",
     u"+358478400241", u"", u"This is testing !", 0, 0, 0, 0, 0},
    // S-SUB-14: faucamp/python-gsmmodem test_encodeSmsSubmit_concatenated; part 1 of 3.
    {"S_SUB_14_concat", Kind::kSubmit,
     "0045000B915121551532F40000A0050003000301986F79B90D4AC3E7F53688FC66BFE5A0799A0E0AB7CB741668"
     "FC76CFCB637A995E9783C2E4343C3D4F8FD3EE33A8CC4ED359A079990C22BF41E5747DDE7E9341F4721BFE9683"
     "D2EE719A9C26D7DD74509D0E6287C56F791954A683C86FF65B5E06B5C36777181466A7E3F5B0AB4A0795DDE936"
     "284C06B5D3EE741B642FBBD3E1360B14AFA7DD",
     u"+15125551234", u"", kLorem1, 1, 0, 3, 1, 0},
    // S-SUB-17: faucamp/python-gsmmodem test_decode; UDL 160 but ten octets follow.
    {"S_SUB_17_udl_too_long", Kind::kSubmit, "0041010C910661345542F60008A0050003000301306F3044",
     u"+60164355246", u"", u"\u306F\u3044", 1, 0, 3, 1, 0},
    // S-SUB-18: rilmodem/ofono test_simple_submit; VP AA.
    {"S_SUB_18_vp_aa", Kind::kSubmit, "0011000B916407281553F80000AA0AE8329BFD4697D9EC37",
     u"+46708251358", u"", u"hellohello", 0, 0, 0, 0, 0},
};

SmsPduInfo Decode(Kind kind, std::string_view tpdu) {
    return kind == Kind::kDeliver ? DecodeDeliverPdu(tpdu) : DecodeSubmitPdu(tpdu);
}

// Test output names a row by its name instead of dumping its bytes.
void PrintTo(const MessageRow& row, std::ostream* os) {
    *os << row.name;
}

class MessageVectors : public ::testing::TestWithParam<MessageRow> {};

TEST_P(MessageVectors, DecodesEveryField) {
    const auto& row = GetParam();
    const auto info = Decode(row.kind, StripServiceCentre(row.hex));
    EXPECT_EQ(info.number, row.number);
    EXPECT_EQ(info.time, row.time);
    EXPECT_EQ(info.text, row.text);
    EXPECT_EQ(info.concatenated, row.concatenated);
    EXPECT_EQ(info.reference, row.reference);
    EXPECT_EQ(info.total, row.total);
    EXPECT_EQ(info.sequence, row.sequence);
    EXPECT_EQ(info.graphic, row.graphic);
    EXPECT_EQ(info.index, 0);
    EXPECT_EQ(info.status, 0);
    EXPECT_EQ(info.storage, 0);
}

// Every prefix of the PDU decodes to short fields: the time is whole or empty, and the text is
// a prefix of the full text (its last character may differ where the cut splits an escape).
TEST_P(MessageVectors, TruncatedTwinsGiveShortFields) {
    const auto& row = GetParam();
    const std::string tpdu = StripServiceCentre(row.hex);
    const auto full = Decode(row.kind, tpdu);
    for (std::size_t len = 0; len < tpdu.size(); ++len) {
        const auto info = Decode(row.kind, tpdu.substr(0, len));
        EXPECT_TRUE(info.time.empty() || info.time == full.time) << len;
        if (info.graphic == 0 && full.graphic == 0 && info.text != kText8BitData) {
            ASSERT_LE(info.text.size(), full.text.size()) << len;
            if (!info.text.empty()) {
                EXPECT_EQ(full.text.substr(0, info.text.size() - 1),
                          info.text.substr(0, info.text.size() - 1))
                    << len;
            }
        }
    }
}

// Flipping any octet never makes the decoder read outside the PDU or produce unbounded text:
// at most two characters per septet the PDU can hold.
TEST_P(MessageVectors, MutatedTwinsStayBounded) {
    const auto& row = GetParam();
    const std::string tpdu = StripServiceCentre(row.hex);
    for (std::size_t octet = 0; octet < tpdu.size() / 2; ++octet) {
        for (unsigned mask : {0x01u, 0x40u, 0x80u, 0xFFu}) {
            auto bytes = FromHex(tpdu);
            bytes[octet] ^= static_cast<std::uint8_t>(mask);
            const auto info = Decode(row.kind, ToHex(bytes));
            EXPECT_LE(info.text.size(), 2 * bytes.size() * 8 / 7 + 40) << octet;
            EXPECT_LE(info.number.size(), 2 * bytes.size() + 1) << octet;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Public, MessageVectors, ::testing::ValuesIn(kMessages),
                         [](const auto& row) { return std::string(row.param.name); });

// The forms this codec writes itself re-encode byte for byte: SMS-DELIVER with PID and DCS 00,
// SMS-SUBMIT with a relative validity period and MR 00.
TEST(RoundTrip, DecodeEncodeCompare) {
    struct Row {
        const char* name;
        Kind kind;
        const char* tpdu;
        int validity;
    } rows[] = {
        // S-DEL-1, faucamp/python-gsmmodem @834c68b test/test_pdu.py.
        {"S_DEL_1", Kind::kDeliver, "040B917228214365F700003130805120618005D4F29C2E03", 0},
        // S-DEL-2, same source.
        {"S_DEL_2", Kind::kDeliver,
         "040B915892214365F700007040213252242331493A283D0795C3F33C88FE06C9CB6132885EC6D341EDF27C"
         "1E3E97E7207B3A0C0A5241E377BB1D7693E72E",
         0},
        // S-DEL-4, rilmodem/ofono @efc9c0a unit/test-sms.c test_simple_deliver.
        {"S_DEL_4", Kind::kDeliver, "040B911346610089F60000208062917314480CC8F71D14969741F977FD07",
         0},
        // S-SUB-18, rilmodem/ofono test_simple_submit.
        {"S_SUB_18", Kind::kSubmit, "11000B916407281553F80000AA0AE8329BFD4697D9EC37", 0xAA},
        // S-SUB-13 without its service-centre field, rilmodem/ofono test_prepare_7bit.
        {"S_SUB_13", Kind::kSubmit, "11000C915348870420140000A71154747A0E4ACF41F4F29C9E769F4121",
         0xA7},
    };
    for (const auto& r : rows) {
        const auto info = Decode(r.kind, r.tpdu);
        const auto pdus =
            r.kind == Kind::kDeliver
                ? BuildDeliverPdus(info.number, info.time, info.text, 0)
                : BuildSubmitPdus(info.number, info.text, 0, SendAs::kText,
                                  StatusReport::kNotWanted, r.validity);
        ASSERT_EQ(pdus.size(), 1u) << r.name;
        EXPECT_EQ(pdus[0], std::string("00") + r.tpdu) << r.name;
    }
}

struct StatusRow {
    const char* name;
    const char* hex;  // service-centre field included
    std::u16string number;
    std::u16string time;
    std::u16string discharge;
    int status;
};

const StatusRow kStatusReports[] = {
    // S-SR-1: faucamp/python-gsmmodem @834c68b1387ca2c91e2210faa8f75526b39723b5 test_decode.
    {"S_SR_1", "0006D60B911326880736F4111011719551401110117195714000", u"+31628870634",
     u"11/01/11,17:59:15,GMT+1", u"11/01/11,17:59:17,GMT+1", 0},
    // S-SR-2..4: rilmodem/ofono @efc9c0a85d32706bc088e449e847be41dcc73b3d unit/test-sms.c
    // test_sr_assembly; TPDU only, so an empty service-centre field is put in front.
    {"S_SR_2_minus5", "00" "06040D91945152991136F00160124130340A0160124130940A00",
     u"+4915259911630", u"21/06/10,14:03:43,GMT-5", u"21/06/10,14:03:49,GMT-5", 0},
    {"S_SR_3", "00" "06050D91945152991136F00160124130640A0160124130450A00", u"+4915259911630",
     u"21/06/10,14:03:46,GMT-5", u"21/06/10,14:03:54,GMT-5", 0},
    {"S_SR_4_national", "00" "0606098121436587F9019012413064A0019012413045A000", u"123456789",
     u"21/09/10,14:03:46,GMT+2", u"21/09/10,14:03:54,GMT+2", 0},
    // S-SR-5: faucamp/python-gsmmodem test_decode, a semi-invalid report from a ZTE modem with
    // a garbage digit in the address.
    {"S_SR_5_broken", "0297F1061C0F910B487228297020F5317062419272803170624192138000",
     u"+B08427829207025", u"26/07/13,14:29:27,GMT+2", u"26/07/13,14:29:31,GMT+2", 0},
};

TEST(StatusReport, PublicVectors) {
    for (const auto& r : kStatusReports) {
        const auto sr = DecodeStatusReportPdu(r.hex);
        EXPECT_EQ(sr.number, r.number) << r.name;
        EXPECT_EQ(sr.time, r.time) << r.name;
        EXPECT_EQ(sr.discharge, r.discharge) << r.name;
        EXPECT_EQ(sr.status, r.status) << r.name;
        const std::string hex = r.hex;
        for (std::size_t len = 0; len < hex.size(); ++len) {
            const auto cut = DecodeStatusReportPdu(hex.substr(0, len));
            EXPECT_TRUE(cut.time.empty() || cut.time == sr.time) << r.name << " " << len;
            EXPECT_TRUE(cut.discharge.empty() || cut.discharge == sr.discharge);
            EXPECT_EQ(sr.number.substr(0, cut.number.size()), cut.number) << r.name << " " << len;
        }
    }
}

TEST(StatusReport, StatusOctetAndServiceCentreLongerThanPdu) {
    const auto sr = DecodeStatusReportPdu("00" "06040D91945152991136F00160124130340A0160124130940A46");
    EXPECT_EQ(sr.status, 0x46);
    const auto bad = DecodeStatusReportPdu("FF0604");
    EXPECT_TRUE(bad.number.empty());
    EXPECT_TRUE(bad.time.empty());
    EXPECT_EQ(bad.status, 0);
}

}  // namespace
}  // namespace qvl::sms
