// Byte-exact encodings of the WTP headers, WSP PDUs and the MMS m-send-req.
#include "base/text.h"
#include "mms_test_support.h"
#include "mmsclient/mmsencode.h"

#include <gtest/gtest.h>

namespace qvl::mms {
namespace {

using test::Ascii;
using test::Bytes;
using test::Concat;
using test::Hex;
using test::ToHex;

TEST(EncodeUintvar, Table) {
    struct Row {
        const char* name;
        std::uint32_t value;
        const char* hex;
    } rows[] = {
        {"zero", 0, "00"},
        {"largest_one_octet", 127, "7F"},
        {"smallest_two_octets", 128, "81 00"},
        {"max_packet", 1400, "8A 78"},
        {"largest_two_octets", 16383, "FF 7F"},
        {"smallest_three_octets", 16384, "81 80 00"},
        {"largest_32_bit", 0xFFFFFFFFu, "8F FF FF FF 7F"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(ToHex(EncodeUintvar(r.value)), ToHex(Hex(r.hex)));
    }
}

TEST(NextTid, StartsAtOneReusesForAckAndWraps) {
    TidCounter tids;
    EXPECT_EQ(tids.Next(TidUse::New), 1);
    EXPECT_EQ(tids.Next(TidUse::Reuse), 1);
    EXPECT_EQ(tids.Next(TidUse::New), 2);
    for (int i = 0; i < 65533; ++i) tids.Next(TidUse::New);
    EXPECT_EQ(tids.Last(), 65535);
    EXPECT_EQ(tids.Next(TidUse::New), 0);
}

TEST(WtpHeaders, Table) {
    struct Row {
        const char* name;
        Octets octets;
        const char* hex;
    };
    auto build = [](auto append) {
        Octets o;
        append(o);
        return o;
    };
    const Row rows[] = {
        {"invoke", build([](Octets& o) { AppendInvokeHeader(o, 0x1234); }), "0A 12 34 12"},
        {"ack", build([](Octets& o) { AppendAckHeader(o, 0x0102); }), "18 01 02"},
        {"first_segment", build([](Octets& o) { AppendFirstSegmentHeader(o, 7); }), "8C 00 07 12 13 04 05 78"},
        {"middle_segment", build([](Octets& o) { AppendMiddleSegmentHeader(o, 7, 3); }), "2C 00 07 03"},
        {"last_segment", build([](Octets& o) { AppendLastSegmentHeader(o, 0xFFFF, 255); }), "2A FF FF FF"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(ToHex(r.octets), ToHex(Hex(r.hex)));
    }
}

TEST(WspPdus, ConnectAckDisconnect) {
    TidCounter tids;
    // Accept: application/vnd.wap.mms-message follows the User-Agent; the headers length
    // counts it (37 + 2 + 2 = 41).
    const Bytes connect = Concat({Hex("0A 00 01 12 01 10 03 29 02 81 00 A9"),
                                  Ascii("Quorvel Mobiles Internet - MMS Client"), Hex("00 80 BE")});
    EXPECT_EQ(ToHex(BuildConnectPdu(tids)), ToHex(connect));
    EXPECT_EQ(ToHex(BuildAckPdu(tids)), "18 00 01");
    EXPECT_EQ(ToHex(BuildConnectPdu(tids, "ua")), "0A 00 02 12 01 10 03 06 02 81 00 A9 75 61 00 80 BE");
    const Bytes session = Hex("81 05");
    EXPECT_EQ(ToHex(BuildDisconnectPdu(tids, session)), "0A 00 03 12 05 81 05");
    EXPECT_EQ(ToHex(BuildDisconnectPdu(tids, {})), "0A 00 04 12 05");
    EXPECT_EQ(ToHex(BuildAckPdu(tids)), "18 00 04");
}

TEST(SegmentInvoke, PacketsOf1400WithSequenceNumbers) {
    Bytes body(1392 + 1396 + 10);
    for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<std::uint8_t>(i * 7);
    TidCounter tids;
    tids.Next(TidUse::New);
    const Octets out = SegmentInvoke(tids, body);
    ASSERT_EQ(out.size(), 1400u + 1400u + 14u);
    EXPECT_EQ(ToHex(Octets(out.begin(), out.begin() + 8)), "8C 00 02 12 13 04 05 78");
    EXPECT_EQ(ToHex(Octets(out.begin() + 1400, out.begin() + 1404)), "2C 00 02 01");
    EXPECT_EQ(ToHex(Octets(out.begin() + 2800, out.begin() + 2804)), "2A 00 02 02");
    Octets reassembled(out.begin() + 8, out.begin() + 1400);
    reassembled.insert(reassembled.end(), out.begin() + 1404, out.begin() + 2800);
    reassembled.insert(reassembled.end(), out.begin() + 2804, out.end());
    EXPECT_EQ(reassembled, body);
    EXPECT_EQ(tids.Last(), 2);
}

TEST(SegmentInvoke, PacketCountBound) {
    struct Row {
        const char* name;
        std::size_t invokeLength;
        std::size_t packets;
    } rows[] = {
        {"one_octet", 1, 1},
        {"exactly_max_packet", 1400, 1},
        {"one_over", 1401, 2},
        {"two_full_packets_plus_last", 4 + 1392 + 1396 + 10, 3},
        {"largest_256", 4 + 1392 + 255 * 1396, 256},
        {"smallest_257", 4 + 1392 + 255 * 1396 + 1, 257},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(PacketCount(r.invokeLength), r.packets);
    }
    TidCounter tids;
    EXPECT_FALSE(SegmentInvoke(tids, Bytes(1392 + 255 * 1396)).empty());
    EXPECT_TRUE(SegmentInvoke(tids, Bytes(1392 + 255 * 1396 + 1)).empty());
}

TEST(MediaType, FromFileExtension) {
    struct Row {
        const char* path;
        std::uint8_t code;
    } rows[] = {
        {"a.bmp", 0x9C},        {"a.GIF", 0x9D},      {"a.jpe", 0x9E},  {"a.JPG", 0x9E},
        {"x.y.jpeg", 0x9E},     {"a.tif", 0x9F},      {"a.TIFF", 0x9F}, {"a.png", 0xA0},
        {"a.wbmp", 0xA1},       {"a.wav", 0xF0},      {"a.wma", 0xF1},  {"a.wmv", 0xF2},
        {"a.mpg", 0xF3},        {"a.MPEG", 0xF3},     {"a.mp3", 0xF4},  {"a.txt", 0},
        {"noextension", 0},     {"dir.png/file", 0},  {"a.", 0},        {"a.jpg ", 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.path);
        EXPECT_EQ(MediaTypeFromPath(Widen(r.path)), r.code);
    }
}

TEST(Recipients, SplitTrimAndForm) {
    struct Row {
        const char* name;
        std::u16string list;
        std::vector<std::string> addresses;
    } rows[] = {
        {"number", u"555", {"555/TYPE=PLMN"}},
        {"mail", u"a@b.c", {"a@b.c <a@b.c>"}},
        {"blank_semicolon_x_blank_semicolon", u" ;x ;", {"x/TYPE=PLMN"}},
        {"empty", u"", {}},
        {"only_separators", u" ; ;\t;", {}},
        {"two", u"+49 171 ; m@x.de", {"+49 171/TYPE=PLMN", "m@x.de <m@x.de>"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(RecipientAddresses(r.list), r.addresses);
    }
}

// The m-send-req headers before the multipart body for a request without cc and subject.
Bytes TextOnlyRequestHeaders() {
    return Concat({Hex("8C 80 98"), Ascii("0000000042"), Hex("00 8D 90 89 01 81 97"),
                   Ascii("555/TYPE=PLMN"), Hex("00 86 81 84 A3")});
}

Bytes TextPart(std::string_view text) {
    return Concat({Hex("18"), EncodeUintvar(static_cast<std::uint32_t>(text.size())), Hex("83 C0 22"),
                   Ascii("<Text.txt>"), Hex("00 8E"), Ascii("Text.txt"), Hex("00"), Ascii(text)});
}

TEST(SendRequest, TextOnlyIsOneInvoke) {
    SendRequest request;
    request.uri = u"http://mms/";
    request.to = u"555";
    request.text = u"Hi";
    request.transactionTick = 42;
    TidCounter tids;
    const BuiltRequest built = BuildSendRequest(tids, request);
    ASSERT_EQ(built.status, BuildStatus::Ok);
    const Bytes expected = Concat({Hex("0A 00 01 12 60 0B 20"), Ascii("http://mms/"),
                                   Ascii("application/vnd.wap.mms-message"), Hex("00"),
                                   TextOnlyRequestHeaders(), Hex("01"), TextPart("Hi")});
    EXPECT_EQ(ToHex(built.octets), ToHex(expected));
    EXPECT_EQ(built.packets, 1u);
    EXPECT_EQ(SendRequestLength(request), built.octets.size());
}

TEST(SendRequest, CcSubjectAndEmptyText) {
    SendRequest request;
    request.to = u"a@b";
    request.cc = u"1;2";
    request.subject = u"S\u00E9";  // one octet per character in the ANSI code page
    request.transactionTick = 4294967295u;
    const Bytes expected = Concat(
        {Hex("8C 80 98"), Ascii("4294967295"), Hex("00 8D 90 89 01 81 97"), Ascii("a@b <a@b>"),
         Hex("00 82"), Ascii("1/TYPE=PLMN"), Hex("00 82"), Ascii("2/TYPE=PLMN"), Hex("00 96 53 E9 00"),
         Hex("86 81 84 A3 01"), TextPart("")});
    EXPECT_EQ(ToHex(BuildMmsPdu(request)), ToHex(expected));
}

TEST(SendRequest, ObjectPartsByMediaType) {
    test::TempHome home;
    const std::string jpg = home.WriteFile("pics/Pic.JPG", Ascii("abc"));
    const std::string wav = home.WriteFile("a.wav", Ascii("RIFF"));
    SendRequest request;
    request.to = u"555";
    request.transactionTick = 42;
    request.objects = {{Widen(jpg), 0x9E}, {Widen(wav), 0xF0}, {Widen(home.Path() + "/missing.gif"), 0x9D}};
    const Bytes expected = Concat({
        TextOnlyRequestHeaders(), Hex("04"), TextPart(""),
        // 4 + "<Pic.JPG>" NUL (10) + "Pic.JPG" NUL (8) = 22
        Hex("16 03 9E C0 22"), Ascii("<Pic.JPG>"), Hex("00 8E"), Ascii("Pic.JPG"), Hex("00"), Ascii("abc"),
        // 13 + 8 + 6 = 27, textual type
        Hex("1B 04"), Ascii("audio/wav"), Hex("00 C0 22"), Ascii("<a.wav>"), Hex("00 8E"), Ascii("a.wav"),
        Hex("00"), Ascii("RIFF"),
        // an unreadable file still gets its part, with no data
        Hex("1E 00 9D C0 22"), Ascii("<missing.gif>"), Hex("00 8E"), Ascii("missing.gif"), Hex("00"),
    });
    EXPECT_EQ(ToHex(BuildMmsPdu(request)), ToHex(expected));
}

TEST(SendRequest, HeadersLengthConstantsOfTextualTypes) {
    test::TempHome home;
    struct Row {
        std::uint8_t code;
        const char* type;
        std::size_t constant;
    } rows[] = {{0x9C, "image/bmp", 13},     {0xF0, "audio/wav", 13}, {0xF1, "audio/x-ms-wma", 18},
                {0xF2, "video/x-ms-wmv", 18}, {0xF3, "video/mpeg", 14}, {0xF4, "audio/mp3", 13},
                {0x00, nullptr, 4},          {0xA1, nullptr, 4}};
    const std::string file = home.WriteFile("f", Ascii("x"));
    for (const Row& r : rows) {
        SCOPED_TRACE(r.code);
        SendRequest request;
        request.objects = {{Widen(file), r.code}};
        const Octets pdu = BuildMmsPdu(request);
        // The object part is the tail: headers length, data length 1, type, C0 22 "<f>" NUL,
        // 8E "f" NUL, "x".
        const std::size_t typeLength = r.type ? std::string(r.type).size() + 1 : 1;
        const std::size_t tail = 2 + typeLength + 2 + 4 + 1 + 2 + 1;
        ASSERT_GT(pdu.size(), tail);
        const std::size_t start = pdu.size() - tail;
        EXPECT_EQ(pdu[start], 4 + 2 + r.constant);
        EXPECT_EQ(pdu[start + 1], 1);
        if (r.type != nullptr) {
            EXPECT_EQ(std::string(pdu.begin() + static_cast<std::ptrdiff_t>(start + 2),
                                  pdu.begin() + static_cast<std::ptrdiff_t>(start + 2 + std::string(r.type).size())),
                      r.type);
        } else {
            EXPECT_EQ(pdu[start + 2], r.code);
        }
    }
}

TEST(SendRequest, ObjectCountBound) {
    test::TempHome home;
    const std::string file = home.WriteFile("p.gif", Ascii("G"));
    SendRequest request;
    request.to = u"555";
    request.transactionTick = 42;
    request.objects.assign(126, MmsObject{Widen(file), 0x9D});
    TidCounter tids;
    BuiltRequest built = BuildSendRequest(tids, request);
    ASSERT_EQ(built.status, BuildStatus::Ok);
    const Octets pdu = BuildMmsPdu(request);
    EXPECT_EQ(pdu[TextOnlyRequestHeaders().size()], 0x7F);  // 126 objects and the text part
    request.objects.push_back(MmsObject{Widen(file), 0x9D});
    built = BuildSendRequest(tids, request);
    EXPECT_EQ(built.status, BuildStatus::TooManyObjects);
    EXPECT_TRUE(built.octets.empty());
}

TEST(SendRequest, SegmentedAtTheBoundaryAndRefusedPast256Packets) {
    test::TempHome home;
    SendRequest request;
    request.to = u"555";
    request.uri = u"http://relay/";
    const std::string path = home.WriteFile("big.png", Bytes(300000, 0x5A));
    request.objects = {{Widen(path), 0xA0}};
    const std::size_t base = SendRequestLength(request) - 300000;

    struct Row {
        const char* name;
        std::size_t total;
        BuildStatus status;
        std::size_t packets;
    } rows[] = {
        {"exactly_1400_one_packet", 1400, BuildStatus::Ok, 1},
        {"1401_segmented", 1401, BuildStatus::Ok, 2},
        {"largest_256_packets", 4 + 1392 + 255 * 1396, BuildStatus::Ok, 256},
        {"one_octet_more", 4 + 1392 + 255 * 1396 + 1, BuildStatus::TooLarge, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        // The data length uintvar grows with the file: find the file size giving the total.
        std::size_t size = r.total - base + 2;
        home.WriteFile("big.png", Bytes(size, 0x5A));
        while (SendRequestLength(request) > r.total) {
            home.WriteFile("big.png", Bytes(--size, 0x5A));
        }
        ASSERT_EQ(SendRequestLength(request), r.total);
        TidCounter tids;
        const BuiltRequest built = BuildSendRequest(tids, request);
        EXPECT_EQ(built.status, r.status);
        EXPECT_EQ(built.packets, r.packets);
        if (r.status != BuildStatus::Ok) {
            continue;
        }
        if (r.packets == 1) {
            EXPECT_EQ(built.octets.size(), r.total);
            EXPECT_EQ(built.octets[0], 0x0A);
            continue;
        }
        // The Post builder's TID is drawn but not used; the packets carry the next one.
        EXPECT_EQ(tids.Last(), 2);
        EXPECT_EQ(built.octets.size(), r.total + 4 + 4 * (r.packets - 1));
        EXPECT_EQ(built.octets[0], 0x8C);
        const std::size_t last = (r.packets - 1) * kMaxPacket;
        EXPECT_EQ(built.octets[last], 0x2A);
        EXPECT_EQ(built.octets[last + 3], r.packets - 1);
    }
}

}  // namespace
}  // namespace qvl::mms
