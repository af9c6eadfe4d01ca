// The trace of every PDU the MMS library sends or receives: "mmstrans.txt" in the device root.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace qvl::mms {

// One entry: the title, a row of "-" as long as the title, then per 16 octets a line of hex
// octets, a tab and the characters ("." for control characters, tab and 0x80-0x9F; the other
// octets above 0x7F as their Windows-1252 characters in UTF-8), and a blank line to close.
std::string FormatTraceEntry(std::string_view title, std::span<const std::uint8_t> data = {});

class TraceFile {
public:
    // The trace in the device root; an empty path writes nothing.
    static TraceFile InDeviceRoot();
    explicit TraceFile(std::string path) : m_path(std::move(path)) {}

    const std::string& Path() const { return m_path; }
    void Truncate() const;
    void Log(std::string_view title, std::span<const std::uint8_t> data = {}) const;

private:
    void Write(std::string_view text, bool truncate) const;
    std::string m_path;
};

}  // namespace qvl::mms
