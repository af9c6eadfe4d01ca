// Addresses, time stamps, data coding classes and the PDU builders.
#include <gtest/gtest.h>

#include "app/sms/codec/smscodec.h"

namespace qvl::sms {
namespace {

TEST(Address, Encode) {
    struct Row {
        std::u16string number;
        const char* field;
    } rows[] = {
        {u"+491701234567", "0C91947110325476"},
        {u"0170123", "0781100721F3"},
        {u"+9876543210", "0A918967452301"},  // faucamp/python-gsmmodem @834c68b test_pdu.py
        {u"+987654321", "099189674523F1"},   // same source, odd length with F filler
        {u"+27829135934", "0B917228195339F4"},
        {u"", "0081"},
        {u"+", "0091"},
        {u"12+34", "04912143"},  // every '+' is removed, the type says international
    };
    for (const auto& r : rows) {
        EXPECT_EQ(EncodeAddress(r.number), r.field) << r.field;
    }
}

TEST(Address, Decode) {
    struct Row {
        const char* name;
        const char* hex;
        int digits;
        int type;
        std::u16string number;
    } rows[] = {
        // Sources: faucamp/python-gsmmodem @834c68b1387ca2c91e2210faa8f75526b39723b5
        // test/test_pdu.py (TestSmsPduAddressFields); [S] qotto/smspdudecoder @a1d1ca9 fields.py.
        {"international", "8967452301", 10, 0x91, u"+9876543210"},
        {"odd_filler", "89674523F1", 9, 0x91, u"+987654321"},
        {"national_isdn", "1092997856", 10, 0xA1, u"0129998765"},
        {"alnum_abc", "61F118", 6, 0xD0, u"abc"},
        {"alnum_francois", "4669D0397C26A7", 14, 0xD0, u"FRANCOIS"},
        {"alnum_ext_chars", "E10D6FE3DBA036A94D19", 20, 0xD0, u"a[]{}\u20AC"},
        {"alnum_mmoney", "CDE6DB5DCE03", 11, 0xD0, u"MMoney"},
        {"alnum_at_sign", "C4F23C7D760390EF7619", 20, 0xD0, u"Design@Home"},
        {"filler_not_F_ignored", "531010101010", 11, 0x91, u"+35010101010"},
        {"filler_counted_as_digit", "0661345542F6", 12, 0x91, u"+60164355246"},  // S-SUB-17
        {"digits_past_data", "2143", 10, 0x81, u"1234"},
        {"zero_digits", "2143", 0, 0x81, u""},
        {"type_b0_is_international", "21", 2, 0xB1, u"+12"},
        {"garbage_digit_kept", "0B", 2, 0x81, u"B0"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(DecodeAddress(r.hex, r.digits, r.type), r.number) << r.name;
    }
}

TEST(Timestamp, Decode) {
    struct Row {
        const char* name;
        const char* hex;
        std::u16string text;
    } rows[] = {
        {"part_example", "40212181035040", u"12/12/04,18:30:05,GMT+1"},
        {"zone_minus_one", "40212181035048", u"12/12/04,18:30:05,GMT-1"},
        {"zone_minus_six", "4021218103504A", u"12/12/04,18:30:05,GMT-6"},
        // faucamp/python-gsmmodem @834c68b1387ca2c91e2210faa8f75526b39723b5 TestTimestamp.
        {"gsmmodem_utc", "51117200000000", u"27/11/15,00:00:00,GMT+0"},
        {"gsmmodem_plus2", "51117200000080", u"27/11/15,00:00:00,GMT+2"},
        {"gsmmodem_plus8", "70402132522423", u"12/04/07,23:25:42,GMT+8"},
        {"gsmmodem_minus8", "7040213252242B", u"12/04/07,23:25:42,GMT-8"},
        // qotto/smspdudecoder @a1d1ca99e9926c560598510fc88952f356852072.
        {"smspdudecoder_minus7", "3130523210658A", u"25/03/13,23:01:56,GMT-7"},
        {"smspdudecoder_zone_04_is_plus10", "11101131522404", u"11/01/11,13:25:42,GMT+10"},
        // rilmodem/ofono @efc9c0a85d32706bc088e449e847be41dcc73b3d simple_deliver.
        {"ofono_minus1", "20806291731448", u"26/08/02,19:37:41,GMT-1"},
        // Quarter-hour zones are truncated to whole hours: +10 quarters is GMT+2.
        {"non_decimal_zone_digit", "019012413064A0", u"21/09/10,14:03:46,GMT+2"},
        {"too_short", "4021218103504", u""},
        {"too_long", "402121810350400", u""},
        {"empty", "", u""},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(DecodeTimestamp(r.hex), r.text) << r.name;
    }
}

TEST(Timestamp, Encode) {
    struct Row {
        const char* name;
        std::u16string text;
        const char* hex;
    } rows[] = {
        {"plus_one", u"12/12/04,18:30:05,GMT+1", "40212181035040"},
        {"minus_one", u"12/12/04,18:30:05,GMT-1", "40212181035048"},
        {"minus_eleven", u"12/12/04,18:30:05,GMT-11", "4021218103504C"},
        {"plus_eight", u"12/04/07,23:25:42,GMT+8", "70402132522423"},
        {"zero_zone", u"27/11/15,00:00:00,GMT+0", "51117200000000"},
        {"no_sign", u"27/11/15,00:00:00,GMT2", "51117200000080"},
        {"missing_zone", u"27/11/15,00:00:00", "51117200000000"},
        {"empty", u"", "00000000000000"},
        {"garbage", u"yesterday", "00000000000000"},
        {"stops_at_bad_separator", u"27/11-15,00:00:00,GMT+1", "00117200000000"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(EncodeTimestamp(r.text), r.hex) << r.name;
    }
}

TEST(Timestamp, RoundTripsEveryWholeHourZone) {
    for (int zone = -19; zone <= 19; ++zone) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "01/02/03,04:05:06,GMT%+d", zone);
        const std::u16string text(buf, buf + std::char_traits<char>::length(buf));
        EXPECT_EQ(DecodeTimestamp(EncodeTimestamp(text)), text);
    }
}

TEST(Timestamp, CompleteTimeText) {
    EXPECT_TRUE(IsCompleteTimeText(u"12/12/04,18:30:05,GMT+1"));
    EXPECT_TRUE(IsCompleteTimeText(u"12/12/04,18:30:05,GMT-11"));
    EXPECT_FALSE(IsCompleteTimeText(u"12/12/04,18:30:05"));
    EXPECT_FALSE(IsCompleteTimeText(u"12/12/04,18:30:05,GMT+1 "));
    EXPECT_FALSE(IsCompleteTimeText(u"12/12/04 18:30:05,GMT+1"));
}

TEST(DataCoding, Classes) {
    struct Row {
        int dcs;
        int coding;  // DataCodingClass
        int decode;  // DecodingClass
    } rows[] = {
        {0x00, 0, 0}, {0x04, 1, 1}, {0x08, 2, 2}, {0x0C, 3, 3}, {0x20, 0, 0},  // compressed flag ignored
        {0x19, 2, 2}, {0x11, 0, 0}, {0xF0, 0, 0}, {0xF4, 1, 1}, {0xF1, 0, 0},  {0xF8, -1, 0},
        {0xFC, -1, 1}, {0x40, -1, 0}, {0x48, -1, 2}, {0x80, -1, 3}, {0xB4, -1, 3}, {0xC8, -1, 0},
        {0xD0, -1, 0}, {0xE0, -1, 2},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(DataCodingClass(r.dcs), r.coding) << r.dcs;
        EXPECT_EQ(DecodingClass(r.dcs), r.decode) << r.dcs;
    }
}

TEST(Build, SubmitFirstOctetAndFields) {
    struct Row {
        const char* name;
        UserDataHeader header;
        StatusReport report;
        SendAs sendAs;
        int validity;
        const char* pdu;
    } rows[] = {
        {"plain", UserDataHeader::kAbsent, StatusReport::kNotWanted, SendAs::kText, 0xA8,
         "00110007811007" "21F30000A805E8329BFD06"},
        {"header", UserDataHeader::kPresent, StatusReport::kNotWanted, SendAs::kText, 0xA8,
         "00510007811007" "21F30000A805E8329BFD06"},
        {"report", UserDataHeader::kAbsent, StatusReport::kWanted, SendAs::kFaxGroup3, 0xA8,
         "00310007811007" "21F32200A805E8329BFD06"},
        {"both_fax4", UserDataHeader::kPresent, StatusReport::kWanted, SendAs::kFaxGroup4, 0xFF,
         "00710007811007" "21F32300FF05E8329BFD06"},
        {"email_vp_zero", UserDataHeader::kAbsent, StatusReport::kNotWanted, SendAs::kEmail, 0,
         "00110007811007" "21F332000005E8329BFD06"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(BuildSubmitPdu(u"0170123", "E8329BFD06", 5, r.sendAs, r.header, r.report,
                                 r.validity),
                  r.pdu)
            << r.name;
    }
    EXPECT_EQ(BuildSubmitPdu(u"0170123", "00480069", 4, SendAs::kText, UserDataHeader::kAbsent,
                             StatusReport::kNotWanted, 0xA8, SmsCoding::kUcs2),
              "00110007811007" "21F30008A80400480069");
}

TEST(Build, Deliver) {
    EXPECT_EQ(BuildDeliverPdu(u"+491701234567", u"12/12/04,18:30:05,GMT+1", "E8329BFD06", 5,
                              UserDataHeader::kAbsent),
              "00040C91947110325476000040212181035040" "05E8329BFD06");
    EXPECT_EQ(BuildDeliverPdu(u"0170123", u"12/12/04,18:30:05,GMT-1", "", 0,
                              UserDataHeader::kPresent, SmsCoding::kUcs2),
              "00440781100721F3000840212181035048" "00");
}

TEST(Build, PduLength) {
    EXPECT_EQ(PduLength("001100"), "02");
    EXPECT_EQ(PduLength("00" "112233445566778899"), "09");
    EXPECT_EQ(PduLength("0011000B916407281553F80000AA0AE8329BFD4697D9EC37"), "23");
    EXPECT_EQ(PduLength(std::string(2 + 2 * 140, '0')), "140");
    EXPECT_EQ(PduLength(""), "00");
}

TEST(Build, StripServiceCentre) {
    EXPECT_EQ(StripServiceCentre("00" "0411"), "0411");
    EXPECT_EQ(StripServiceCentre("0291F1" "04"), "04");
    EXPECT_EQ(StripServiceCentre("0591"), "");
    EXPECT_EQ(StripServiceCentre(""), "");
}

}  // namespace
}  // namespace qvl::sms
