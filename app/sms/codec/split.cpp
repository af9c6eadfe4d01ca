// Splitting a text into one message or concatenated parts, in the default alphabet when every
// character has a septet and in UCS2 otherwise.
#include <algorithm>

#include "app/sms/codec/hexutil.h"
#include "app/sms/codec/smscodec.h"

namespace qvl::sms {
namespace {

constexpr int kMaxParts = 255;

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }

// The unit counts of the UCS2 parts: 67 each, one less where the 67th unit would open a
// surrogate pair, so that no character is cut in two.
std::vector<int> Ucs2PartSizes(std::u16string_view text) {
    std::vector<int> sizes;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t n = std::min<std::size_t>(kPartUcs2, text.size() - pos);
        if (n == kPartUcs2 && pos + n < text.size() && IsHighSurrogate(text[pos + n - 1])) {
            --n;
        }
        sizes.push_back(static_cast<int>(n));
        pos += n;
    }
    return sizes;
}

std::string ConcatHeader(int reference, int total, int k) {
    std::string h = "050003";
    AppendHexOctet(h, static_cast<unsigned>(reference) & 0xFF);
    AppendHexOctet(h, static_cast<unsigned>(total));
    AppendHexOctet(h, static_cast<unsigned>(k));
    return h;
}

void AppendUcs2(std::string& out, std::u16string_view units) {
    for (char16_t u : units) {
        AppendHexOctet(out, u >> 8);
        AppendHexOctet(out, u & 0xFF);
    }
}

}  // namespace

SmsCoding ChooseCoding(std::u16string_view text) {
    return IsGsm7Text(text) ? SmsCoding::kGsm7 : SmsCoding::kUcs2;
}

SmsSplit SplitText(std::u16string_view text, int reference) {
    SmsSplit split;
    split.coding = ChooseCoding(text);
    if (split.coding == SmsCoding::kGsm7) {
        const auto septets = ToSeptets(text);
        const int n = static_cast<int>(septets.size());
        if (n <= kSingleSeptets) {
            split.parts.push_back({PackSeptetBytes(septets), n, UserDataHeader::kAbsent});
            return split;
        }
        const int total = (n + kPartSeptets - 1) / kPartSeptets;
        if (total > kMaxParts) {
            return split;
        }
        for (int k = 1; k <= total; ++k) {
            const int first = (k - 1) * kPartSeptets;
            const int count = std::min(kPartSeptets, n - first);
            std::string ud = ConcatHeader(reference, total, k);
            // The part's first septet sits in the upper seven bits of the octet after the
            // six header octets; its lowest bit is the fill bit to the septet boundary.
            AppendHexOctet(ud, static_cast<unsigned>(septets[static_cast<std::size_t>(first)] << 1) & 0xFE);
            ud += PackSeptetBytes(std::vector<std::uint8_t>(septets.begin() + first + 1,
                                                            septets.begin() + first + count));
            split.parts.push_back({std::move(ud), 7 + count, UserDataHeader::kPresent});
        }
        return split;
    }
    const int n = static_cast<int>(text.size());
    if (n <= kSingleUcs2) {
        std::string ud;
        AppendUcs2(ud, text);
        split.parts.push_back({std::move(ud), 2 * n, UserDataHeader::kAbsent});
        return split;
    }
    const auto sizes = Ucs2PartSizes(text);
    const int total = static_cast<int>(sizes.size());
    if (total > kMaxParts) {
        return split;
    }
    std::size_t pos = 0;
    for (int k = 1; k <= total; ++k) {
        const auto count = static_cast<std::size_t>(sizes[static_cast<std::size_t>(k - 1)]);
        std::string ud = ConcatHeader(reference, total, k);
        AppendUcs2(ud, text.substr(pos, count));
        split.parts.push_back(
            {std::move(ud), 6 + 2 * static_cast<int>(count), UserDataHeader::kPresent});
        pos += count;
    }
    return split;
}

SmsLengthInfo ComputeLength(std::u16string_view text) {
    SmsLengthInfo info;
    info.coding = ChooseCoding(text);
    if (info.coding == SmsCoding::kGsm7) {
        const int n = SeptetLength(text);
        if (n <= kSingleSeptets) {
            info.parts = 1;
            info.used = n;
            info.left = kSingleSeptets - n;
        } else {
            info.parts = (n + kPartSeptets - 1) / kPartSeptets;
            info.used = n - (info.parts - 1) * kPartSeptets;
            info.left = kPartSeptets - info.used;
        }
        return info;
    }
    const int n = static_cast<int>(text.size());
    if (n <= kSingleUcs2) {
        info.parts = 1;
        info.used = n;
        info.left = kSingleUcs2 - n;
        return info;
    }
    const auto sizes = Ucs2PartSizes(text);
    info.parts = static_cast<int>(sizes.size());
    info.used = sizes.back();
    info.left = kPartUcs2 - info.used;
    return info;
}

std::vector<std::string> BuildSubmitPdus(std::u16string_view number, std::u16string_view text,
                                         int reference, SendAs sendAs, StatusReport report,
                                         int validity) {
    const auto split = SplitText(text, reference);
    std::vector<std::string> pdus;
    for (const auto& part : split.parts) {
        pdus.push_back(BuildSubmitPdu(number, part.userData, part.udl, sendAs, part.header, report,
                                      validity, split.coding));
    }
    return pdus;
}

std::vector<std::string> BuildDeliverPdus(std::u16string_view number, std::u16string_view time,
                                          std::u16string_view text, int reference) {
    const auto split = SplitText(text, reference);
    std::vector<std::string> pdus;
    for (const auto& part : split.parts) {
        pdus.push_back(
            BuildDeliverPdu(number, time, part.userData, part.udl, part.header, split.coding));
    }
    return pdus;
}

}  // namespace qvl::sms
