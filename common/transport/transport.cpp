// The serial port transport on POSIX descriptors.
//
// Reads never spin: where the exchange waits for the modem it blocks in poll() on the
// descriptor for at most kPollSliceMs at a time and runs PumpMessages between the waits, so
// the UI stays alive while an idle read costs almost nothing. Bytes are read in bulk, but
// the terminator rules are applied byte by byte and bytes after a terminator stay queued for
// the next read, exactly as if the port had been read one byte at a time.
#include "common/transport/transport.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "base/text.h"
#include "common/lang/lang.h"
#include "platform/serial/serial.h"

namespace qvl {
namespace {

// Longest single wait in poll() between two PumpMessages calls.
constexpr int kPollSliceMs = 10;
// Bytes taken from the driver in one read.
constexpr std::size_t kDriverReadBytes = 4096;
constexpr std::chrono::milliseconds kAcquireWait{5000};

TransportPorts g_ports;
TraceHook g_trace;
std::once_flag g_traceEnvOnce;
bool g_traceToStderr = false;

using Clock = std::chrono::steady_clock;

std::int64_t ElapsedMs(Clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
}

void Trace(std::u16string_view text) {
    std::call_once(g_traceEnvOnce, [] {
        const char* value = std::getenv("QVL_TRACE_TRANSPORT");
        g_traceToStderr = value != nullptr && std::strcmp(value, "1") == 0;
    });
    if (g_trace) {
        g_trace(text);
    } else if (g_traceToStderr) {
        std::fprintf(stderr, "transport: %s\n", WideToUtf8(text).c_str());
    }
}

// Commands that carry a PIN, PUK or password, and their echo in the answer, reach the trace
// with everything after the '=' up to the line end replaced by "***".
std::u16string RedactCodes(std::u16string text) {
    static constexpr std::u16string_view kSecretCommands[] = {u"+CPIN=", u"+CPIN2=", u"+CPWD=",
                                                              u"+CLCK="};
    for (std::u16string_view command : kSecretCommands) {
        for (std::size_t at = 0; at + command.size() <= text.size();) {
            bool match = true;
            for (std::size_t i = 0; i < command.size() && match; ++i) {
                match = FoldCase(text[at + i]) == FoldCase(command[i]);
            }
            if (!match) {
                ++at;
                continue;
            }
            const std::size_t from = at + command.size();
            std::size_t to = text.find(u"\\r", from);
            if (to == std::u16string::npos) {
                to = text.size();
            }
            text.replace(from, to - from, u"***");
            at = from + 3;
        }
    }
    return text;
}

void TraceNumber(const char* format, long long value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    Trace(Widen(text));
}

// Bytes read from the driver but not yet handed to a caller, per open descriptor.
struct PendingBytes {
    std::vector<std::uint8_t> bytes;
    std::size_t head = 0;
    // A read found the device closed (hang-up or error): it will not answer again.
    bool deviceLost = false;

    bool Empty() const { return head >= bytes.size(); }
    std::uint8_t Take() { return bytes[head++]; }
};
std::mutex g_pendingMutex;
std::map<int, std::shared_ptr<PendingBytes>> g_pending;

std::shared_ptr<PendingBytes> PendingFor(int fd) {
    std::lock_guard<std::mutex> guard(g_pendingMutex);
    auto& slot = g_pending[fd];
    if (!slot) {
        slot = std::make_shared<PendingBytes>();
    }
    return slot;
}

// False once the port was closed (or closed and opened again) since queue was taken, which a
// handler run by PumpMessages may do in the middle of a read.
bool StillCurrent(int fd, const std::shared_ptr<PendingBytes>& queue) {
    std::lock_guard<std::mutex> guard(g_pendingMutex);
    auto it = g_pending.find(fd);
    return it != g_pending.end() && it->second == queue;
}

void DropPending(int fd) {
    std::lock_guard<std::mutex> guard(g_pendingMutex);
    g_pending.erase(fd);
}

enum class Fill { Data, Nothing, Ended };

// Waits at most waitMs for input and moves what the driver holds into pending.
Fill FillPending(int fd, PendingBytes& pending, int waitMs) {
    pollfd p{fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, waitMs);
    if (ready < 0) {
        return errno == EINTR ? Fill::Nothing : Fill::Ended;
    }
    if (ready == 0) {
        return Fill::Nothing;
    }
    if ((p.revents & POLLNVAL) != 0) {
        return Fill::Ended;
    }
    std::uint8_t chunk[kDriverReadBytes];
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n > 0) {
        pending.bytes.assign(chunk, chunk + n);
        pending.head = 0;
        return Fill::Data;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        // Readable without data; a hang-up or error flag with nothing to read ends the read.
        return (p.revents & (POLLHUP | POLLERR)) != 0 ? Fill::Ended : Fill::Nothing;
    }
    // End of file or a read error: the device went away.
    return Fill::Ended;
}

bool EndsWith(const std::uint8_t* buffer, std::size_t count, std::string_view tail) {
    return count >= tail.size() &&
           std::memcmp(buffer + count - tail.size(), tail.data(), tail.size()) == 0;
}

// The final result codes that end a read, and the lines after which the read ends at the next
// CR LF: the unsolicited lines, and the extended errors whose text follows the code (a modem
// set to AT+CMEE=1 or 2 answers "+CME ERROR: 16" or "+CME ERROR: incorrect password" where it
// would say ERROR). The dial results end an ATD as ERROR would. A match can only begin to exist
// when its last byte arrives, so testing the tail after each byte is the same as searching the
// whole buffer.
constexpr std::string_view kFinalResults[] = {"\r\nOK\r\n", "\r\nERROR\r\n", "\r\nBUSY\r\n",
                                              "\r\nNO ANSWER\r\n", "\r\nNO DIALTONE\r\n"};
constexpr std::string_view kUnsolicitedStarts[] = {
    "\r\nRING\r\n\r\n+CLIP:", "\r\n+CMTI:",  "+CSSU:",
    "\r\nNO CARRIER",         "+CMS ERROR:", "\r\n+CME ERROR:"};

// The block shared by PortWriteRaw and its writer thread; whichever ends last frees it (the
// writer outlives PortWriteRaw only when the watchdog gave it up).
struct WriterBlock {
    int fd = -1;  // a duplicate of the port, owned by the block
    std::vector<std::uint8_t> bytes;
    std::mutex mutex;
    std::condition_variable doneSignal;
    bool done = false;
    int error = 0;
    std::atomic<bool> abandoned{false};

    ~WriterBlock() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

int WriteAll(WriterBlock& block) {
    std::size_t written = 0;
    while (written < block.bytes.size()) {
        // An abandoned write stops at once, also while the line keeps taking bytes: the caller
        // has given up on it and the descriptor may serve another device soon.
        if (block.abandoned.load()) {
            return ETIMEDOUT;
        }
        const ssize_t n =
            ::write(block.fd, block.bytes.data() + written, block.bytes.size() - written);
        if (n > 0) {
            written += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN) {
            return errno;
        }
        // The output queue is full (the port is non-blocking): wait until it drains.
        pollfd p{block.fd, POLLOUT, 0};
        if (::poll(&p, 1, 500) > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            return EIO;
        }
    }
    return 0;
}

void WriterThread(std::shared_ptr<WriterBlock> block) {
    const int error = WriteAll(*block);
    std::lock_guard<std::mutex> guard(block->mutex);
    block->error = error;
    block->done = true;
    block->doneSignal.notify_all();
}

void ShowMessage(std::u16string_view text) {
    if (g_ports.messages != nullptr) {
        g_ports.messages->ShowMessage(text, u"", MsgButtons::Ok, MsgIcon::Error);
    } else {
        Trace(text);
    }
}

// Acquisitions this thread made through AcquirePort, per mutex, so that ReleasePort never
// unlocks a mutex the thread does not hold.
thread_local std::map<const void*, int> t_acquired;

}  // namespace

void SetTransportPorts(TransportPorts ports) {
    g_ports = std::move(ports);
}
const TransportPorts& GetTransportPorts() {
    return g_ports;
}
void SetTraceHook(TraceHook hook) {
    g_trace = std::move(hook);
}

void PumpMessages() {
    if (g_ports.pump != nullptr) {
        g_ports.pump->PumpMessages();
    }
}

void AppendResponseText(std::u16string& text, const std::uint8_t* bytes, std::size_t count) {
    static constexpr char16_t kHex[] = u"0123456789abcdef";
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t b = bytes[i];
        if (b == '\r') {
            text += u"\\r";
        } else if (b == '\n') {
            text += u"\\n";
        } else if (b < 0x20 || b == 0x7F) {
            text += kHex[b >> 4];
            text += kHex[b & 0x0F];
        } else {
            text += AnsiByteToWide(b);
        }
    }
}

int PortInitialize(std::u16string_view portName, PortHandle& handle) {
    Trace(u"PortInitialize");
    handle = kInvalidPortHandle;
    int fd = -1;
    const int err = SerialOpen(WideToUtf8(portName), fd);
    if (err != 0) {
        TraceNumber("CreateFile Error = %lld", err);
        return err;
    }
    DropPending(fd);
    handle = fd;
    Trace(u"Success");
    return 0;
}

std::u16string PortErrorText(int errorCode, std::u16string_view portName) {
    const std::u16string port(portName);
    switch (errorCode) {
        case 0:
            return {};
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return u"The modem port " + port +
                   u" does not exist. Check that the modem is plugged in and switched on.";
        case EACCES:
        case EPERM:
            return u"You are not permitted to open the modem port " + port +
                   u". Add your user to the \"dialout\" group (sudo usermod -aG dialout "
                   u"$USER), then log out and in again.";
        case EBUSY:
            return u"The modem port " + port +
                   u" is in use by another program (for example ModemManager). Close that "
                   u"program or tell it to leave the modem alone.";
        case ENOTTY:
            return port + u" is not a serial port.";
        default:
            return u"The modem port " + port + u" could not be opened: " +
                   Utf8ToWide(std::strerror(errorCode)) + u".";
    }
}

int PortWrite(PortHandle handle, std::u16string_view command) {
    const std::string bytes = WideToAnsi(command);
    return PortWriteRaw(handle, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

int PortWriteRaw(PortHandle handle, const std::uint8_t* bytes, std::size_t count) {
    if (!IsPortOpen(handle)) {
        return EBADF;
    }
    auto block = std::make_shared<WriterBlock>();
    block->fd = ::fcntl(handle, F_DUPFD_CLOEXEC, 3);
    if (block->fd < 0) {
        return errno;
    }
    if (bytes != nullptr && count > 0) {
        block->bytes.assign(bytes, bytes + count);
        std::u16string text;
        AppendResponseText(text, bytes, count);
        Trace(u"Write: " + RedactCodes(std::move(text)));
    }
    Trace(u"Before Write");
    const auto started = Clock::now();
    std::thread writer;
    try {
        writer = std::thread(WriterThread, block);
    } catch (const std::system_error&) {
        ShowMessage(u"CreateThread failed !");
        return EAGAIN;
    }
    std::unique_lock<std::mutex> lock(block->mutex);
    while (!block->done) {
        if (ElapsedMs(started) >= static_cast<std::int64_t>(g_ports.writeWatchdogMs)) {
            block->abandoned = true;
            lock.unlock();
            // Only a hung write is left to run on; it stops before its next write.
            writer.detach();
            Trace(u"Write watchdog");
            ShowMessage(LoadLocalString(kMsgWriteHung));
            if (g_ports.endProgram) {
                g_ports.endProgram();
            }
            return ETIMEDOUT;
        }
        block->doneSignal.wait_for(lock, std::chrono::milliseconds(10));
        if (!block->done) {
            lock.unlock();
            PumpMessages();
            lock.lock();
        }
    }
    const int error = block->error;
    lock.unlock();
    // A finished writer has only its last steps left: waiting for them means no thread of ours
    // outlives the write (its copy of the port is closed now, and a library that carries the
    // transport can be unloaded right after).
    writer.join();
    Trace(u"After Write");
    if (error != 0) {
        TraceNumber("WriteFile Error = %lld", error);
    }
    return error;
}

int PortWriteSecret(PortHandle handle, std::u16string_view command) {
    if (!IsPortOpen(handle)) {
        return EBADF;
    }
    // The port's queue of pending input stands for this opening of the descriptor: closing the
    // port drops it, so a handler that closed the port, even one that opened another device
    // under the same number, is noticed.
    const std::shared_ptr<PendingBytes> opening = PendingFor(handle);
    std::string bytes = WideToAnsi(command);
    std::size_t done = 0;
    const auto started = Clock::now();
    int error = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(handle, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            error = errno;
            break;
        }
        if (ElapsedMs(started) >= static_cast<std::int64_t>(g_ports.writeWatchdogMs)) {
            error = ETIMEDOUT;
            break;
        }
        PumpMessages();
        if (!StillCurrent(handle, opening)) {
            error = EBADF;
            break;
        }
        pollfd pfd{handle, POLLOUT, 0};
        ::poll(&pfd, 1, 50);
    }
    std::fill(bytes.begin(), bytes.end(), '\0');
    return error;
}

int PortReadRaw(PortHandle handle, std::uint8_t* buffer, std::size_t& count,
                std::uint32_t idleTimeoutMs) {
    const std::size_t capacity = count;
    count = 0;
    if (buffer == nullptr || capacity == 0 || !IsPortOpen(handle)) {
        return 0;
    }
    const std::shared_ptr<PendingBytes> queue = PendingFor(handle);
    PendingBytes& pending = *queue;
    bool unsolicited = false;
    auto lastByte = Clock::now();
    for (;;) {
        PumpMessages();
        if (!StillCurrent(handle, queue)) {
            return 0;
        }
        if (pending.Empty()) {
            const std::int64_t left =
                static_cast<std::int64_t>(idleTimeoutMs) - ElapsedMs(lastByte);
            const int wait =
                left < 0 ? 0 : static_cast<int>(std::min<std::int64_t>(left + 1, kPollSliceMs));
            const Fill fill = FillPending(handle, pending, wait);
            if (fill == Fill::Ended) {
                Trace(u"Read ended: device error or hang-up");
                pending.deviceLost = true;
                return 0;
            }
            if (fill == Fill::Nothing) {
                if (ElapsedMs(lastByte) > static_cast<std::int64_t>(idleTimeoutMs)) {
                    return count == 0 ? 0 : 1;
                }
                continue;
            }
        }
        while (!pending.Empty()) {
            buffer[count++] = pending.Take();
            lastByte = Clock::now();
            if (count == capacity) {
                return 1;
            }
            buffer[count] = 0;
            if (!unsolicited) {
                for (std::string_view final : kFinalResults) {
                    if (EndsWith(buffer, count, final)) {
                        return 0;
                    }
                }
                for (std::string_view start : kUnsolicitedStarts) {
                    if (EndsWith(buffer, count, start)) {
                        unsolicited = true;
                    }
                }
            } else if (EndsWith(buffer, count, "\r\n")) {
                return 0;
            }
        }
    }
}

bool PortDeviceLost(PortHandle handle) {
    if (!IsPortOpen(handle)) {
        return false;
    }
    std::lock_guard<std::mutex> guard(g_pendingMutex);
    const auto it = g_pending.find(handle);
    return it != g_pending.end() && it->second && it->second->deviceLost;
}

int PortRead(PortHandle handle, std::u16string& response, std::uint32_t timeoutMs) {
    Trace(u"Before Loop");
    std::uint8_t chunk[kReadChunkBytes + 1];
    for (int pass = 0; pass < kReadChunks; ++pass) {
        PumpMessages();
        std::size_t received = kReadChunkBytes;
        int more = PortReadRaw(handle, chunk, received, timeoutMs);
        TraceNumber("Return Value = %lld", more);
        for (std::size_t i = 0; i < received; ++i) {
            PumpMessages();
            AppendResponseText(response, chunk + i, 1);
        }
        if (more == 0 && response == u"\\r\\nOK\\r\\n") {
            // A lone OK left over from an earlier command: drop it and read on.
            response.clear();
            more = 1;
        }
        if (more != 1) {
            break;
        }
    }
    Trace(u"After Loop");
    if (!response.empty()) {
        Trace(u"Read: " + RedactCodes(response));
    }
    return 0;
}

int PortClose(PortHandle& handle) {
    if (!IsPortOpen(handle)) {
        Trace(u"Invalid Handle");
        return 0;
    }
    DropPending(handle);
    // Output still queued for a modem that stopped reading (a hung USB device) is discarded:
    // closing a tty waits until its output has drained, up to 30 s, on the UI thread.
    ::tcflush(handle, TCOFLUSH);
    const int err = SerialClose(handle);
    // The descriptor is released whatever close() reported; the handle must not keep a number
    // the system may hand out again.
    handle = kInvalidPortHandle;
    if (err != 0) {
        TraceNumber("CloseHandle Error = %lld", err);
        return 0;
    }
    return 1;
}

bool AcquirePort(const CModemPort& port) {
    return AcquirePort(port.handle, port.mutex);
}

bool AcquirePort(const PortHandle& handle, const NamedMutex& mutex) {
    for (;;) {
        PumpMessages();
        if (!IsPortOpen(handle)) {
            return false;
        }
        if (!mutex) {
            return true;
        }
        if (mutex->try_lock_for(kAcquireWait)) {
            ++t_acquired[mutex.get()];
            return true;
        }
    }
}

bool ReleasePort(const NamedMutex& mutex) {
    if (!mutex) {
        return false;
    }
    auto it = t_acquired.find(mutex.get());
    if (it == t_acquired.end()) {
        return false;
    }
    if (--it->second == 0) {
        t_acquired.erase(it);
    }
    mutex->unlock();
    return true;
}

bool Transact(PortHandle handle, std::u16string_view command, std::uint32_t timeoutMs,
              std::u16string& response, IUnsolicitedHandler* unsolicited) {
    response.clear();
    if (PortWrite(handle, command) != 0) {
        return false;
    }
    PortRead(handle, response, timeoutMs);
    if (unsolicited != nullptr) {
        // Every text read is handed over, the last one too, so no event is lost at the limit.
        for (int reads = 0; !response.empty() && unsolicited->HandleUnsolicited(response) &&
                            reads < kMaxUnsolicitedPasses;
             ++reads) {
            response.clear();
            PortRead(handle, response, timeoutMs);
        }
    }
    return true;
}

}  // namespace qvl
