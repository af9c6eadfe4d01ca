// The serial port transport: the only path to the GSM modem.
//
// It opens and configures the port, writes one command line, reads one response and closes the
// port. A response is handed upward as "response text": wide text in which CR is the two
// characters backslash and 'r', LF is backslash and 'n', any other control byte (0x00-0x1F and
// 0x7F, the C locale's control class) is two lower-case hexadecimal digits, and every other byte
// is one Windows-1252 character. So CR LF "OK" CR LF reads "\r\nOK\r\n" (10 characters), and
// every parser searches with such escaped literals.
//
// Threads: everything here runs on the one UI thread, except the one-shot writer thread that
// PortWriteRaw starts for each write; that thread touches nothing but its own block. Every wait
// and read loop runs PumpMessages, so a handler may start a nested exchange on the same thread.
//
// Port handle: an int file descriptor of the opened tty. kInvalidPortHandle (-1) marks a
// closed port; the engine also stores 0 for "no session", so PortInitialize never hands out a
// descriptor below 3 and IsPortOpen() treats both -1 and 0 as closed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "common/ports/uiports.h"
#include "platform/sync.h"

namespace qvl {

using PortHandle = int;
inline constexpr PortHandle kInvalidPortHandle = -1;

inline bool IsPortOpen(PortHandle handle) {
    return handle > 0;
}

// Limits of one response: PortRead reads at most kReadChunks raw chunks of kReadChunkBytes.
inline constexpr std::size_t kReadChunkBytes = 256;
inline constexpr int kReadChunks = 11;
// Reads of one exchange that an unsolicited-line handler may consume before the exchange ends
// with what it has: a modem that sends nothing but unsolicited lines cannot hold the UI thread.
inline constexpr int kMaxUnsolicitedPasses = 16;

// Time-outs the command code uses, in milliseconds.
inline constexpr std::uint32_t kDrainTimeoutMs = 500;         // draining reads of the poll loop
inline constexpr std::uint32_t kStatusTimeoutMs = 1000;       // periodic status queries
inline constexpr std::uint32_t kCommandTimeoutMs = 3000;      // ordinary commands
inline constexpr std::uint32_t kLockQueryTimeoutMs = 10000;   // facility lock queries
inline constexpr std::uint32_t kForwardingTimeoutMs = 25000;  // call-forwarding status

// Message ids used by the transport (texts of the main program's table).
inline constexpr int kMsgWriteHung = 5259;

// What the engine holds for its session: the port handle and the port mutex
// "MutexToProtectPort" (null while closed).
struct CModemPort {
    PortHandle handle = kInvalidPortHandle;
    NamedMutex mutex;
};

// The name of the port mutex, created unowned by the session owner right after PortInitialize.
inline constexpr std::u16string_view kPortMutexName = u"MutexToProtectPort";

// The outside services the transport calls. Installed once by the program (or a test) before
// the first exchange; every member may be left empty.
struct TransportPorts {
    // One round of the UI event loop (PumpMessages). Empty: pumping does nothing.
    IMessagePump* pump = nullptr;
    // Message boxes ("CreateThread failed !", message 5259). Empty: the texts go to the trace.
    IMessageBoxPort* messages = nullptr;
    // Asked to end the program cleanly after message 5259 (a write that hung for the watchdog
    // time). Empty: nothing more happens; the write is reported as failed.
    std::function<void()> endProgram;
    // Watchdog of the writer thread.
    std::uint32_t writeWatchdogMs = 10000;
};
void SetTransportPorts(TransportPorts ports);
const TransportPorts& GetTransportPorts();

// The trace hook receives the transport's trace texts ("PortInitialize", "Before Write",
// "CreateFile Error = 2", the bytes written and read with PINs and passwords of +CPIN, +CPIN2,
// +CPWD and +CLCK replaced by "***", ...). By default it discards them, unless
// the environment variable QVL_TRACE_TRANSPORT is set to 1, which writes them to stderr.
using TraceHook = std::function<void(std::u16string_view text)>;
void SetTraceHook(TraceHook hook);

// Runs the installed IMessagePump once (at most one round of pending UI events).
void PumpMessages();

// Opens and configures the port (a device path such as u"/dev/ttyUSB0"): 115200 8N1 raw, no flow
// control, DTR and RTS raised, exclusive use. On success handle holds the open port and the
// result is 0; otherwise the result is the system error code (ENOENT, EACCES, EBUSY, ENOTTY...)
// and handle is kInvalidPortHandle (nothing stays open after a failed configuration).
int PortInitialize(std::u16string_view portName, PortHandle& handle);

// A user-facing explanation of a PortInitialize error code (English), e.g. for EACCES that the
// user must be in the "dialout" group.
std::u16string PortErrorText(int errorCode, std::u16string_view portName);

// Writes a command, converted to Windows-1252; the command carries its own final "\r" and
// nothing is added. 0 when the bytes were written; otherwise non-zero (a system error code,
// ETIMEDOUT when the write hung for the watchdog time, EAGAIN when no writer thread could be
// started), which callers treat as a failed write.
int PortWrite(PortHandle handle, std::u16string_view command);
int PortWriteRaw(PortHandle handle, const std::uint8_t* bytes, std::size_t count);
// Writes a command that carries a PIN, PUK or other code: never traced, written straight to
// the descriptor (no writer thread holds a copy), given up after the same 10 s as the writer's
// watchdog. Messages are pumped while the output queue is full, and after every pump the port
// must still be the one the write began on: a handler that closed it (and perhaps opened
// another device under the same descriptor number) ends the write with EBADF. 0 when all bytes
// were written.
int PortWriteSecret(PortHandle handle, std::u16string_view command);

// Reads one response and appends it to response (escaped as described above). Reads at most
// 11 chunks of 256 bytes; each chunk ends early on a final result code or a complete unsolicited
// line, or when timeoutMs passed since the last byte. A lone "\r\nOK\r\n" left over from an
// earlier command is dropped and reading goes on. Always 0; the text may be empty.
int PortRead(PortHandle handle, std::u16string& response, std::uint32_t timeoutMs);

// Reads raw bytes. In: count is the capacity of buffer; out: the bytes stored. Returns 1 when
// more may follow (buffer full, or idle time-out after at least one byte), 0 when complete
// (final result code or complete unsolicited line seen), nothing was received, or the device
// reported an error or hang-up. The buffer is NUL-terminated when count < capacity.
int PortReadRaw(PortHandle handle, std::uint8_t* buffer, std::size_t& count,
                std::uint32_t idleTimeoutMs);

// True when a read on the open port found the device closed (POLLHUP, POLLERR, EIO, end of
// file): an unplugged modem or a simulator that ended. It does not come back on this handle.
bool PortDeviceLost(PortHandle handle);

// Closes the port: 1 when closed (handle set to kInvalidPortHandle), 0 when the handle was
// already invalid (or 0) or closing failed.
int PortClose(PortHandle& handle);

// Takes the port mutex, pumping messages and waiting up to 5000 ms at a time. False when the
// port is not open (checked again on every pass, since a nested handler may stop the session).
// Acquisition by the owning thread nests. With a null mutex and an open port it returns true
// at once: exchanges are then not kept apart, but none waits forever.
bool AcquirePort(const CModemPort& port);
bool AcquirePort(const PortHandle& handle, const NamedMutex& mutex);
// Releases one acquisition made by AcquirePort on this thread. False when the mutex is null or
// this thread holds no acquisition of it.
bool ReleasePort(const NamedMutex& mutex);

// The engine's hook for unsolicited result codes (RING/+CLIP, +CMTI, +CSSU, +CCWA, +CDS,
// NO CARRIER). Returns true when it consumed the response, which is then read again.
class IUnsolicitedHandler {
  public:
    virtual ~IUnsolicitedHandler() = default;
    virtual bool HandleUnsolicited(const std::u16string& response) = 0;
};

// One exchange, made while holding the port: empties response, writes command, reads the
// answer with timeoutMs. With a handler, the answer is handed to it and read again while the
// handler consumes it (a consumed empty answer is not read again). False when the write failed.
bool Transact(PortHandle handle, std::u16string_view command, std::uint32_t timeoutMs,
              std::u16string& response, IUnsolicitedHandler* unsolicited);

// The response text conversion, exposed for parsers' tests: appends bytes to text escaped.
void AppendResponseText(std::u16string& text, const std::uint8_t* bytes, std::size_t count);

}  // namespace qvl
