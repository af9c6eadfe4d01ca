// Fuzzes the read path with arbitrary modem output: the bytes are written on the modem side
// of a fresh pseudo-terminal and read back through PortRead. Whatever arrives, the read must
// end, stay within 11 x 256 bytes, and deliver every byte as one or two characters.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/text.h"
#include "common/transport/tests/pty.h"
#include "common/transport/transport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The pseudo-terminal's queue holds a few kilobytes; more would block the writer.
    if (size > 3000) {
        return 0;
    }
    static const bool configured = [] {
        ::setenv("QVL_LOCK_DIR", "", 1);
        return true;
    }();
    (void)configured;
    qvl::testing::FakeModemLine line;
    qvl::PortHandle handle = qvl::kInvalidPortHandle;
    if (!line.Ok() || qvl::PortInitialize(qvl::Utf8ToWide(line.SlavePath()), handle) != 0) {
        return 0;
    }
    line.Send(std::string(reinterpret_cast<const char*>(data), size));
    std::u16string response;
    qvl::PortRead(handle, response, 1);
    const std::size_t bound = qvl::kReadChunks * qvl::kReadChunkBytes;
    if (response.size() > 2 * bound) {
        std::abort();
    }
    // Every byte read is one character, or two for an escaped control byte.
    std::size_t controls = 0;
    for (std::size_t i = 0; i < size; ++i) {
        controls += (data[i] < 0x20 || data[i] == 0x7f) ? 1 : 0;
    }
    if (response.size() > size + controls) {
        std::abort();
    }
    qvl::PortClose(handle);
    return 0;
}
