// A bounds-checked cursor over binary data (PDUs, record files, network replies).
//
// Reads past the end never touch memory: they set a sticky error, return zero or an empty
// span, and leave the offset where it was. A caller can run a long sequence of field reads and
// check Ok() once at the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace qvl {

class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> data) : m_data(data) {}

    std::size_t Offset() const { return m_offset; }
    std::size_t Remaining() const { return m_data.size() - m_offset; }
    bool AtEnd() const { return Remaining() == 0; }
    bool Ok() const { return !m_failed; }
    void Fail() { m_failed = true; }

    // The next octet without consuming it; 0 past the end (no error).
    std::uint8_t Peek() const { return Remaining() > 0 ? m_data[m_offset] : 0; }

    std::uint8_t U8() {
        if (Remaining() < 1) {
            m_failed = true;
            return 0;
        }
        return m_data[m_offset++];
    }
    std::uint16_t U16Le() {
        if (Remaining() < 2) {
            m_failed = true;
            return 0;
        }
        const auto v = static_cast<std::uint16_t>(m_data[m_offset] | (m_data[m_offset + 1] << 8));
        m_offset += 2;
        return v;
    }
    std::uint32_t U32Le() {
        if (Remaining() < 4) {
            m_failed = true;
            return 0;
        }
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i) {
            v = (v << 8) | m_data[m_offset + static_cast<std::size_t>(i)];
        }
        m_offset += 4;
        return v;
    }
    // n octets, or an empty span and the error when fewer are left.
    std::span<const std::uint8_t> Take(std::size_t n) {
        if (Remaining() < n) {
            m_failed = true;
            return {};
        }
        auto s = m_data.subspan(m_offset, n);
        m_offset += n;
        return s;
    }
    // Up to n octets: what is left when fewer remain (no error). For "a missing piece gives a
    // short field" rules.
    std::span<const std::uint8_t> TakeAtMost(std::size_t n) {
        const std::size_t k = n < Remaining() ? n : Remaining();
        auto s = m_data.subspan(m_offset, k);
        m_offset += k;
        return s;
    }
    bool Skip(std::size_t n) { return Take(n).size() == n; }
    std::span<const std::uint8_t> Rest() { return TakeAtMost(Remaining()); }

private:
    std::span<const std::uint8_t> m_data;
    std::size_t m_offset = 0;
    bool m_failed = false;
};

}  // namespace qvl
