// The gateway's replies are untrusted: truncated, oversized and hostile forms side by side with
// the real ones a gateway sends.
#include "mms_test_support.h"
#include "mmsclient/mmsparse.h"
#include "mmsclient/mmstrace.h"

#include <gtest/gtest.h>

namespace qvl::mms {
namespace {

using test::Ascii;
using test::Bytes;
using test::Concat;
using test::Hex;
using test::ToHex;

TEST(DecodeUintvar, Table) {
    struct Row {
        const char* name;
        const char* hex;
        bool ok;
        std::uint32_t value;
        std::size_t length;
    } rows[] = {
        {"zero", "00", true, 0, 1},
        {"one_octet_then_more", "7F 81", true, 127, 1},
        {"two_octets", "81 00", true, 128, 2},
        {"largest_32_bit", "8F FF FF FF 7F", true, 0xFFFFFFFFu, 5},
        {"empty", "", false, 0, 0},
        {"cut_after_continuation", "81", false, 0, 0},
        {"more_than_32_bits", "90 80 80 80 00", false, 0, 0},
        {"six_octets", "80 80 80 80 80 01", false, 0, 0},
        {"ten_continuation_octets", "FF FF FF FF FF FF FF FF FF FF", false, 0, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const Bytes data = Hex(r.hex);
        const auto v = DecodeUintvar(data);
        ASSERT_EQ(v.has_value(), r.ok);
        if (r.ok) {
            EXPECT_EQ(v->value, r.value);
            EXPECT_EQ(v->length, r.length);
        }
    }
}

TEST(DecodeUintvar, TracesEachStep) {
    std::vector<std::string> notes;
    DecodeUintvar(Hex("8A 78"), [&](std::string_view t) { notes.emplace_back(t); });
    EXPECT_EQ(notes, (std::vector<std::string>{"0. uLong = 0", "1. uLong = 10", "2. uLong = 1400"}));
}

TEST(ParseConnectReply, Table) {
    struct Row {
        const char* name;
        const char* hex;
        int status;
        bool isConnectReply;
        const char* sessionId;
        std::string address;
        std::uint16_t port;
        int abortReason;
    } rows[] = {
        {"kannel_connect_reply", "16 80 01 02 81 05 00 00", kConnectNone, true, "81 05", "", 0, -1},
        {"one_octet_session_id", "16 80 01 02 07", kConnectNone, true, "07", "", 0, -1},
        {"session_id_cut", "16 80 01 02 81", kConnectNone, false, "", "", 0, -1},
        {"session_id_ten_continuation_octets", "16 80 01 02 FF FF FF FF FF FF FF FF FF FF", kConnectNone,
         false, "", "", 0, -1},
        {"result_without_wsp_octet", "16 80 01", kConnectNone, false, "", "", 0, -1},
        {"result_two_octets", "10 80", kConnectNone, false, "", "", 0, -1},
        {"result_other_wsp_pdu", "16 80 01 04 20", kConnectNone, false, "", "", 0, -1},
        {"result_con_bit_with_psn_tpi", "96 80 01 19 00 02 81 05", kConnectNone, true, "81 05", "", 0, -1},
        {"result_con_bit_long_tpi", "96 80 01 0C 02 AA BB 02 33", kConnectNone, true, "33", "", 0, -1},
        {"result_con_bit_tpi_past_end", "96 80 01 1B 00", kConnectNone, false, "", "", 0, -1},
        {"result_con_bit_long_tpi_past_end", "96 80 01 0C 09 AA", kConnectNone, false, "", "", 0, -1},
        {"redirect", "16 80 01 03 00 C4 00 23 29 7F 00 00 01", kConnectRedirect, false, "", "127.0.0.1", 9001, -1},
        {"redirect_high_octets", "16 80 01 03 80 C4 00 FF FE C0 A8 FF FE", kConnectRedirect, false, "",
         "192.168.255.254", 65534, -1},
        {"redirect_without_bearer_and_port", "16 80 01 03 00 04 0A 00 00 05", kConnectRedirect, false, "",
         "10.0.0.5", 9201, -1},
        {"redirect_too_short_for_address", "16 80 01 03 00 C4 00 23 29 7F 00", kConnectNone, false, "", "", 0, -1},
        {"redirect_without_address", "16 80 01 03 00", kConnectNone, false, "", "", 0, -1},
        {"redirect_ipv6_address", "16 80 01 03 00 50 00 23 29 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 01",
         kConnectNone, false, "", "", 0, -1},
        {"empty", "", kConnectEmptyOrUnknown, false, "", "", 0, -1},
        {"retransmission_flag", "17 80 01 02 81 05", kConnectRetransmission, false, "", "", 0, -1},
        {"invoke", "0A 80 01 12", kConnectInvoke, false, "", "", 0, -1},
        {"ack", "18 80 01", kConnectAck, false, "", "", 0, -1},
        {"tid_verification_ack", "1C 80 01", kConnectAck, false, "", "", 0, -1},
        {"abort_with_reason", "20 80 01 05", kConnectAbort, false, "", "", 0, 5},
        {"abort_without_reason", "20 80", kConnectAbort, false, "", "", 0, -1},
        {"nack", "38 80 01 00", kConnectEmptyOrUnknown, false, "", "", 0, -1},
        {"unknown_type_15", "78 80 01", kConnectEmptyOrUnknown, false, "", "", 0, -1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const Bytes data = Hex(r.hex);
        const ConnectReply reply = ParseConnectReply(data);
        EXPECT_EQ(reply.status, r.status);
        EXPECT_EQ(reply.isConnectReply, r.isConnectReply);
        EXPECT_EQ(ToHex(reply.serverSessionId), r.sessionId);
        EXPECT_EQ(reply.redirectAddress, r.address);
        EXPECT_EQ(reply.redirectPort, r.port);
        EXPECT_EQ(reply.abortReason, r.abortReason);
    }
}

// A WTP Result carrying a WSP Reply with status 200 and the given m-send-conf headers.
Bytes SendConf(const Bytes& mms, std::uint8_t first = 0x16, const Bytes& tpis = {}) {
    const Bytes wspHeaders = Concat({Hex("BE")});  // Content-Type application/vnd.wap.mms-message
    return Concat({Bytes{first}, Hex("80 02"), tpis, Hex("04 20"),
                   Bytes{static_cast<std::uint8_t>(wspHeaders.size())}, wspHeaders, mms});
}

TEST(ParseSendReply, Table) {
    const Bytes ok = Concat({Hex("8C 81 98"), Ascii("31887"), Hex("00 8D 90 92 80 8B"), Ascii("4dc268d7"), Hex("00")});
    const Bytes notOk = Hex("8C 81 98 31 00 8D 90 92 81");
    const Bytes textFirst = Concat({Hex("8C 81 93"), Ascii("Queued"), Hex("00 92 80")});
    const Bytes unknownHeader = Hex("8C 81 85 01 92 80");
    struct Row {
        const char* name;
        Bytes reply;
        bool result;
        int status;  // 99: left untouched
    } rows[] = {
        {"m_send_conf_ok", SendConf(ok), true, kSendOk},
        {"m_send_conf_ok_result_with_con_bit_and_tpi", SendConf(ok, 0x96, Hex("19 00")), true, kSendOk},
        {"response_text_skipped", SendConf(textFirst), true, kSendOk},
        {"m_send_conf_not_ok", SendConf(notOk), true, kSendFailed},
        {"unknown_mms_header", SendConf(unknownHeader), true, kSendFailed},
        {"wsp_status_406", Concat({Hex("16 80 02 04 46 00"), ok}), true, 99},
        {"wsp_redirect_not_reply", Hex("16 80 02 03 00"), true, 99},
        {"result_header_only", Hex("16 80 02"), true, 99},
        {"headers_length_past_datagram", Concat({Hex("16 80 02 04 20 7F BE"), ok}), true, 99},
        {"headers_length_ten_continuation_octets", Hex("16 80 02 04 20 FF FF FF FF FF FF FF FF FF FF"), true, 99},
        {"headers_length_cut", Hex("16 80 02 04 20 81"), true, 99},
        {"walk_runs_off_after_message_type", Hex("16 80 02 04 20 00 8C"), true, 99},
        {"text_without_nul", Concat({Hex("16 80 02 04 20 00 98"), Ascii("abc")}), true, 99},
        {"status_header_without_value", Hex("16 80 02 04 20 00 92"), true, 99},
        {"no_mms_headers", Hex("16 80 02 04 20 00"), true, 99},
        {"ack", Hex("18 80 02"), true, 99},
        {"kannel_segment_ack_with_psn", Hex("98 80 02 19 00"), true, 99},
        {"invoke", Hex("0A 80 02 12"), false, kSendInvoke},
        {"abort", Hex("20 80 02 01"), false, kSendAbort},
        {"nack", Hex("38 80 02 00"), false, kSendNAck},
        {"segmented_result", Hex("30 80 02"), false, kSendOtherPdu},
        {"empty", Hex(""), false, kSendOtherPdu},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        int status = 99;
        EXPECT_EQ(ParseSendReply(r.reply, status), r.result);
        EXPECT_EQ(status, r.status);
    }
}

TEST(ParseSendReply, TruncationsOfAConfirmationNeverConfirm) {
    const Bytes full = SendConf(Hex("8C 81 98 31 00 8D 90 92 80"));
    for (std::size_t n = 0; n + 1 < full.size(); ++n) {
        SCOPED_TRACE(n);
        int status = 0;
        ParseSendReply(std::span<const std::uint8_t>(full).first(n), status);
        EXPECT_NE(status, kSendOk);
    }
}

TEST(TraceEntry, Layout) {
    const Bytes data = Concat({Hex("0A 00 01 12 01 10 09 80 9F"), Ascii("AB~"), Hex("7F E9 20 41 42")});
    EXPECT_EQ(FormatTraceEntry("Connect PDU", data),
              "Connect PDU\n"
              "-----------\n"
              "\n0A 00 01 12 01 10 09 80 9F 41 42 7E 7F E9 20 41 \t.........AB~.\xC3\xA9 A"
              "\n42                                              \tB"
              "\n\n");
    EXPECT_EQ(FormatTraceEntry("Now check"), "Now check\n---------\n\n\n");
}

}  // namespace
}  // namespace qvl::mms
