// One message or concatenated parts; 7-bit when the alphabet carries the text, UCS2 otherwise.
#include <gtest/gtest.h>

#include <map>

#include "app/sms/codec/smscodec.h"

namespace qvl::sms {
namespace {

std::u16string Repeat(std::u16string_view unit, int times) {
    std::u16string s;
    for (int i = 0; i < times; ++i) {
        s += unit;
    }
    return s;
}

// Decodes every PDU (leading "00" dropped) and joins the parts by sequence number.
std::u16string Reassemble(const std::vector<std::string>& pdus, bool deliver, int* reference) {
    std::map<int, std::u16string> parts;
    for (const auto& pdu : pdus) {
        const auto info = deliver ? DecodeDeliverPdu(pdu.substr(2)) : DecodeSubmitPdu(pdu.substr(2));
        EXPECT_EQ(info.graphic, 0);
        if (pdus.size() > 1) {
            EXPECT_EQ(info.concatenated, 1);
            EXPECT_EQ(info.total, static_cast<int>(pdus.size()));
            *reference = info.reference;
        }
        parts[info.concatenated ? info.sequence : 1] = info.text;
    }
    std::u16string text;
    for (const auto& [seq, part] : parts) {
        text += part;
    }
    return text;
}

TEST(Split, HelloIsOneMessage) {
    const auto split = SplitText(u"hello", 7);
    ASSERT_EQ(split.parts.size(), 1u);
    EXPECT_EQ(split.coding, SmsCoding::kGsm7);
    EXPECT_EQ(split.parts[0].userData, "E8329BFD06");
    EXPECT_EQ(split.parts[0].udl, 5);
    EXPECT_EQ(split.parts[0].header, UserDataHeader::kAbsent);
}

TEST(Split, SeptetBoundaries) {
    struct Row {
        const char* name;
        std::u16string text;
        std::vector<int> udls;
    } rows[] = {
        {"empty", u"", {0}},
        {"exactly_160", Repeat(u"a", 160), {160}},
        {"161_two_parts", Repeat(u"a", 161), {159, 16}},
        {"euro_makes_161", Repeat(u"a", 159) + u"\u20AC", {159, 16}},
        {"line_feed_makes_161", Repeat(u"a", 159) + u"\n", {159, 16}},
        {"exactly_304", Repeat(u"a", 304), {159, 159}},
        {"305_three_parts", Repeat(u"a", 305), {159, 159, 8}},
    };
    for (const auto& r : rows) {
        const auto split = SplitText(r.text, 1);
        std::vector<int> udls;
        for (const auto& p : split.parts) {
            udls.push_back(p.udl);
            EXPECT_EQ(p.header, r.udls.size() > 1 ? UserDataHeader::kPresent : UserDataHeader::kAbsent);
        }
        EXPECT_EQ(udls, r.udls) << r.name;
        EXPECT_EQ(split.coding, SmsCoding::kGsm7) << r.name;
    }
}

TEST(Split, PartLayout) {
    // 161 'a': part 1 holds septets 0-151, part 2 septets 152-160.
    const auto split = SplitText(Repeat(u"a", 161), 0x2A);
    ASSERT_EQ(split.parts.size(), 2u);
    // Header 05 00 03 ref total k, then 'a' (0x61) in the upper seven bits with the fill bit.
    EXPECT_EQ(split.parts[0].userData.substr(0, 14), "0500032A0201C2");
    EXPECT_EQ(split.parts[1].userData.substr(0, 14), "0500032A0202C2");
    EXPECT_EQ(split.parts[1].userData.substr(14), PackSeptets(Repeat(u"a", 8)));
    // 152 septets: 7 + one septet octet + 151 septets packed in 133 octets = 140 octets.
    EXPECT_EQ(split.parts[0].userData.size(), 2u * 140);
}

TEST(Split, PublicConcatenatedPartHasTheSameLayout) {
    // S-SUB-14 (faucamp/python-gsmmodem @834c68b1387ca2c91e2210faa8f75526b39723b5
    // test_encodeSmsSubmit_concatenated) packs 153-septet parts; the layout of a part is the
    // same, so our first 152 septets are its first 152 septets.
    const std::string expectedUd =
        "050003000301986F79B90D4AC3E7F53688FC66BFE5A0799A0E0AB7CB741668FC76CFCB637A995E9783C2E4"
        "343C3D4F8FD3EE33A8CC4ED359A079990C22BF41E5747DDE7E9341F4721BFE9683D2EE719A9C26D7DD7450"
        "9D0E6287C56F791954A683C86FF65B5E06B5C36777181466A7E3F5B0AB4A0795DDE936284C06B5D3EE741B"
        "642FBBD3E1360B14AFA7DD";
    const std::u16string lorem =
        u"Lorem ipsum dolor sit amet, consectetur adipisicing elit, sed do eiusmod tempor "
        u"incididunt ut labore et dolore magna aliqua.Ut enim ad minim veniam, quin"
        u"ostrud exercitation ullamco laboris nisi ut aliquip ex ea commodo consequat.";
    const auto split = SplitText(lorem, 0);
    ASSERT_GE(split.parts.size(), 2u);
    // 152 septets fill 140 octets exactly; the public part goes on with its 153rd septet.
    // Only the last octet differs: it holds the top bits of our 152nd septet alone.
    const std::size_t n = split.parts[0].userData.size() - 2;
    EXPECT_EQ(split.parts[0].userData.substr(0, 6), expectedUd.substr(0, 6));
    EXPECT_EQ(split.parts[0].userData.substr(10, n - 10), expectedUd.substr(10, n - 10));
}

TEST(Split, Ucs2ForTextsTheAlphabetCannotCarry) {
    struct Row {
        const char* name;
        std::u16string text;
        std::vector<int> udls;
    } rows[] = {
        {"spanish_a_acute", u"est\u00E1", {8}},
        {"greek_lower", u"\u03B1\u03B2", {4}},
        {"emoji", u"hi \U0001F600", {10}},
        {"exactly_70", Repeat(u"\u00E1", 70), {140}},
        {"71_two_parts", Repeat(u"\u00E1", 71), {140, 14}},
        {"134_two_full", Repeat(u"\u00E1", 134), {140, 140}},
        {"135_three", Repeat(u"\u00E1", 135), {140, 140, 8}},
        // The 67th unit would open a surrogate pair: the part ends one unit early.
        {"pair_not_cut", Repeat(u"\u00E1", 66) + Repeat(u"\U0001F600", 3), {138, 18}},
    };
    for (const auto& r : rows) {
        const auto split = SplitText(r.text, 1);
        EXPECT_EQ(split.coding, SmsCoding::kUcs2) << r.name;
        std::vector<int> udls;
        for (const auto& p : split.parts) {
            udls.push_back(p.udl);
        }
        EXPECT_EQ(udls, r.udls) << r.name;
    }
    const auto pdus = BuildSubmitPdus(u"0170123", u"est\u00E1", 0, SendAs::kText,
                                      StatusReport::kNotWanted);
    ASSERT_EQ(pdus.size(), 1u);
    EXPECT_EQ(pdus[0], "00110007811007" "21F30008A808006500730074" "00E1");
}

TEST(Split, GsmTextStaysSevenBitByteForByte) {
    // Every character of both tables: still 7-bit, the same user data as PackSeptets.
    const std::u16string text = u"@\u00A3$\u00A5 \u00E8{}[]~|^\\\u20AC\n\u00C7\u0394\u00DF";
    const auto split = SplitText(text, 0);
    EXPECT_EQ(split.coding, SmsCoding::kGsm7);
    ASSERT_EQ(split.parts.size(), 1u);
    EXPECT_EQ(split.parts[0].userData, PackSeptets(text));
    EXPECT_EQ(split.parts[0].udl, SeptetLength(text));
}

TEST(Split, TooManyPartsGivesNothing) {
    EXPECT_EQ(SplitText(Repeat(u"a", 152 * 255), 0).parts.size(), 255u);
    EXPECT_TRUE(SplitText(Repeat(u"a", 152 * 255 + 1), 0).parts.empty());
    EXPECT_TRUE(SplitText(Repeat(u"\u00E1", 67 * 255 + 1), 0).parts.empty());
}

TEST(Split, LengthCounter) {
    struct Row {
        const char* name;
        std::u16string text;
        SmsCoding coding;
        int parts, used, left;
    } rows[] = {
        {"empty", u"", SmsCoding::kGsm7, 1, 0, 160},
        {"hello", u"hello", SmsCoding::kGsm7, 1, 5, 155},
        {"euro_two_septets", u"\u20AC", SmsCoding::kGsm7, 1, 2, 158},
        {"160", Repeat(u"a", 160), SmsCoding::kGsm7, 1, 160, 0},
        {"161", Repeat(u"a", 161), SmsCoding::kGsm7, 2, 9, 143},
        // A full last part: two parts, all used (not "3 parts, 0 used").
        {"304", Repeat(u"a", 304), SmsCoding::kGsm7, 2, 152, 0},
        {"305", Repeat(u"a", 305), SmsCoding::kGsm7, 3, 1, 151},
        {"ucs2_one", u"est\u00E1", SmsCoding::kUcs2, 1, 4, 66},
        {"ucs2_70", Repeat(u"\u00E1", 70), SmsCoding::kUcs2, 1, 70, 0},
        {"ucs2_71", Repeat(u"\u00E1", 71), SmsCoding::kUcs2, 2, 4, 63},
        {"ucs2_134", Repeat(u"\u00E1", 134), SmsCoding::kUcs2, 2, 67, 0},
        {"ucs2_pair", Repeat(u"\u00E1", 66) + Repeat(u"\U0001F600", 3), SmsCoding::kUcs2, 2, 6, 61},
    };
    for (const auto& r : rows) {
        const auto info = ComputeLength(r.text);
        EXPECT_EQ(info.coding, r.coding) << r.name;
        EXPECT_EQ(info.parts, r.parts) << r.name;
        EXPECT_EQ(info.used, r.used) << r.name;
        EXPECT_EQ(info.left, r.left) << r.name;
        EXPECT_EQ(static_cast<std::size_t>(info.parts), SplitText(r.text, 0).parts.size()) << r.name;
    }
}

TEST(Split, RoundTripThroughTheDecoders) {
    struct Row {
        const char* name;
        std::u16string text;
    } rows[] = {
        {"short", u"Meet at 8?"},
        {"three_parts_7bit", Repeat(u"The quick brown fox jumps over the lazy dog. ", 9)},
        {"escapes_inside", Repeat(u"{[x]}~|^ \u20AC ", 20)},
        {"ucs2_single", u"\u00BFQu\u00E9 tal? est\u00E1 bien"},
        {"ucs2_parts", Repeat(u"\u039A\u03B1\u03BB\u03B7\u03BC\u03AD\u03C1\u03B1 ", 30)},
        {"emoji_parts", Repeat(u"ok \U0001F44D ", 40)},
    };
    for (const auto& r : rows) {
        int reference = -1;
        const auto submits =
            BuildSubmitPdus(u"+491701234567", r.text, 77, SendAs::kText, StatusReport::kNotWanted);
        EXPECT_EQ(Reassemble(submits, false, &reference), r.text) << r.name;
        if (submits.size() > 1) {
            EXPECT_EQ(reference, 77) << r.name;
        }
        const auto delivers = BuildDeliverPdus(u"+491701234567", u"24/12/04,18:30:05,GMT+1", r.text, 78);
        EXPECT_EQ(Reassemble(delivers, true, &reference), r.text) << r.name;
        for (const auto& pdu : delivers) {
            EXPECT_EQ(DecodeDeliverPdu(pdu.substr(2)).time, u"24/12/04,18:30:05,GMT+1");
        }
    }
}

}  // namespace
}  // namespace qvl::sms
