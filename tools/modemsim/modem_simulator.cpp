#include "tools/modemsim/modem_simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tools/modemsim/at_args.h"

namespace qvl::sim {

namespace {

constexpr std::size_t kReadChunk = 4096;

}  // namespace

ModemSimulator::ModemSimulator(ModemSeed seed)
    : m_core(seed, *this), m_answerDelayMs(seed.behaviour.answerDelayMs) {}

ModemSimulator::~ModemSimulator() {
    Stop();
}

std::string ModemSimulator::Start() {
    Stop();
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::lock_guard lock(m_mutex);
        m_error = std::string("openpty: ") + std::strerror(errno);
        return {};
    }
    // The slave stays open here as well, so the line lives on while the program closes and
    // reopens it; raw mode keeps the line discipline from echoing or translating.
    termios tio{};
    tcgetattr(slave, &tio);
    cfmakeraw(&tio);
    cfsetispeed(&tio, B115200);
    cfsetospeed(&tio, B115200);
    tcsetattr(slave, TCSANOW, &tio);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    const int wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake < 0) {
        close(master);
        close(slave);
        std::lock_guard lock(m_mutex);
        m_error = std::string("eventfd: ") + std::strerror(errno);
        return {};
    }
    // Exclusive use (TIOCEXCL) ends with the last close of a serial device. The simulator's
    // own descriptor would keep it alive and lock a program out of reopening the line, so
    // the program's opens and closes are counted and the flag cleared when it let go.
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch >= 0 && inotify_add_watch(watch, name, IN_OPEN | IN_CLOSE) < 0) {
        close(watch);
    }
    {
        std::lock_guard lock(m_mutex);
        m_master = master;
        m_slave = slave;
        m_wake = wake;
        m_watch = watch;
        m_openers = 0;
        m_path = name;
        m_stopping = false;
        m_output.clear();
        m_error.clear();
    }
    m_thread = std::thread([this] { Run(); });
    return name;
}

void ModemSimulator::Stop() {
    {
        std::lock_guard lock(m_mutex);
        if (!m_thread.joinable()) {
            return;
        }
        m_stopping = true;
    }
    Wake();
    m_thread.join();
    std::lock_guard lock(m_mutex);
    CloseLineLocked();
    close(m_wake);
    m_wake = -1;
    m_timers.clear();
    // The timer that would have ended a command in progress is gone with the others.
    m_core.CancelPending();
}

void ModemSimulator::CloseLineLocked() {
    if (m_master >= 0) {
        close(m_master);
        m_master = -1;
    }
    if (m_slave >= 0) {
        close(m_slave);
        m_slave = -1;
    }
    if (m_watch >= 0) {
        close(m_watch);
        m_watch = -1;
    }
    m_output.clear();
}

void ModemSimulator::OnDeviceEvents() {
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = read(m_watch, buffer, sizeof buffer);
        if (n <= 0) {
            return;
        }
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            const auto* ev = reinterpret_cast<const inotify_event*>(buffer + at);
            if ((ev->mask & IN_OPEN) != 0) {
                ++m_openers;
            }
            if ((ev->mask & IN_CLOSE) != 0 && m_openers > 0 && --m_openers == 0 && m_slave >= 0) {
                ioctl(m_slave, TIOCNXCL);
                m_core.LineReleased();
            }
            at += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
        }
    }
}

std::string ModemSimulator::DevicePath() const {
    std::lock_guard lock(m_mutex);
    return m_path;
}

std::string ModemSimulator::LastError() const {
    std::lock_guard lock(m_mutex);
    return m_error;
}

void ModemSimulator::Wake() {
    int fd = -1;
    {
        // The descriptor is only closed by Stop after the thread ended.
        fd = m_wake;
    }
    if (fd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = write(fd, &one, sizeof one);
    }
}

void ModemSimulator::Emit(std::string bytes, OutputKind kind) {
    const auto now = Clock::now();
    switch (kind) {
        case OutputKind::Echo:
        case OutputKind::Unsolicited:
        case OutputKind::Raw:
            m_output.push_back({std::move(bytes), now});
            return;
        case OutputKind::Answer: {
            const auto at = now + std::chrono::milliseconds(m_answerDelayMs);
            if (m_splitPauseMs >= 0 && bytes.size() >= 2) {
                const std::size_t half =
                    m_splitAt > 0 && m_splitAt < bytes.size() ? m_splitAt : bytes.size() / 2;
                m_output.push_back({bytes.substr(0, half), at});
                m_output.push_back(
                    {bytes.substr(half), at + std::chrono::milliseconds(m_splitPauseMs)});
                m_splitPauseMs = -1;
                return;
            }
            m_output.push_back({std::move(bytes), at});
            return;
        }
    }
}

void ModemSimulator::Schedule(int ms, std::function<void()> fn) {
    m_timers.emplace(Clock::now() + std::chrono::milliseconds(std::max(ms, 0)), std::move(fn));
}

std::int64_t ModemSimulator::NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
        .count();
}

ModemSimulator::Clock::time_point ModemSimulator::FlushLocked(Clock::time_point now,
                                                              bool* wantWritable) {
    *wantWritable = false;
    while (!m_output.empty() && m_master >= 0) {
        Segment& head = m_output.front();
        if (head.notBefore > now) {
            return head.notBefore;
        }
        std::size_t allowed = head.bytes.size();
        std::chrono::nanoseconds byteTime{0};
        if (m_baud > 0) {
            byteTime = std::chrono::nanoseconds(10'000'000'000LL / m_baud);
            // A line idle for a while starts afresh; short lateness of this thread is made up
            // by writing the bytes that fell due meanwhile.
            const auto start = std::max(head.notBefore, now - std::chrono::milliseconds(20));
            if (m_lineFreeAt < start) {
                m_lineFreeAt = start;
            }
            const auto due = (now - m_lineFreeAt) / byteTime;
            if (due < 1) {
                return m_lineFreeAt + byteTime;
            }
            allowed = std::min<std::size_t>(allowed, static_cast<std::size_t>(due));
        }
        const ssize_t n = write(m_master, head.bytes.data(), allowed);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                *wantWritable = true;
                return Clock::time_point::max();
            }
            if (errno == EINTR) {
                continue;
            }
            // The line is gone; what is left cannot be delivered.
            m_output.clear();
            return Clock::time_point::max();
        }
        if (m_baud > 0) {
            m_lineFreeAt += byteTime * n;
        }
        head.bytes.erase(0, static_cast<std::size_t>(n));
        if (head.bytes.empty()) {
            m_output.pop_front();
        }
    }
    return Clock::time_point::max();
}

void ModemSimulator::Run() {
    std::unique_lock lock(m_mutex);
    char buffer[kReadChunk];
    while (!m_stopping) {
        auto now = Clock::now();
        // Timers that fell due; a timer may schedule further timers.
        while (!m_timers.empty() && m_timers.begin()->first <= now) {
            auto fn = std::move(m_timers.begin()->second);
            m_timers.erase(m_timers.begin());
            fn();
        }
        bool wantWritable = false;
        auto next = FlushLocked(now, &wantWritable);
        if (!m_timers.empty()) {
            next = std::min(next, m_timers.begin()->first);
        }
        pollfd fds[3] = {{m_wake, POLLIN, 0},
                         {m_watch, POLLIN, 0},
                         {m_master, static_cast<short>(POLLIN | (wantWritable ? POLLOUT : 0)), 0}};
        const nfds_t count = m_master >= 0 ? 3 : 2;
        timespec timeout{};
        timespec* timeoutPtr = nullptr;
        if (next != Clock::time_point::max()) {
            const auto wait = std::max(std::chrono::nanoseconds(0), next - now);
            timeout.tv_sec = static_cast<time_t>(wait.count() / 1'000'000'000);
            timeout.tv_nsec = static_cast<long>(wait.count() % 1'000'000'000);
            timeoutPtr = &timeout;
        }
        lock.unlock();
        const int ready = ppoll(fds, count, timeoutPtr, nullptr);
        lock.lock();
        if (ready <= 0) {
            continue;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            std::uint64_t value = 0;
            [[maybe_unused]] const auto n = read(m_wake, &value, sizeof value);
        }
        if (m_watch >= 0 && (fds[1].revents & POLLIN) != 0) {
            OnDeviceEvents();
        }
        if (count == 3 && m_master >= 0 && (fds[2].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            const ssize_t n = read(m_master, buffer, sizeof buffer);
            if (n > 0) {
                m_core.OnInput(std::string_view(buffer, static_cast<std::size_t>(n)));
                m_logChanged.notify_all();
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                // Our own slave descriptor keeps the line up, so this only happens when the
                // line was dropped; stop watching it rather than spin.
                CloseLineLocked();
            }
        }
    }
}

int ModemSimulator::InjectIncomingCall(const std::string& number) {
    std::lock_guard lock(m_mutex);
    const int id = m_core.InjectIncomingCall(number);
    Wake();
    return id;
}

bool ModemSimulator::InjectCallWaiting(const std::string& number) {
    std::lock_guard lock(m_mutex);
    const bool ok = m_core.InjectCallWaiting(number);
    Wake();
    return ok;
}

int ModemSimulator::InjectSms(const std::string& pduHex, const std::string& storage) {
    std::lock_guard lock(m_mutex);
    const int index = m_core.InjectSms(pduHex, storage);
    Wake();
    return index;
}

bool ModemSimulator::InjectStatusReport(const std::string& pduHex) {
    std::lock_guard lock(m_mutex);
    const bool ok = m_core.InjectStatusReport(pduHex);
    Wake();
    return ok;
}

bool ModemSimulator::InjectSupplementary(int code) {
    std::lock_guard lock(m_mutex);
    const bool ok = m_core.InjectSupplementary(code);
    Wake();
    return ok;
}

bool ModemSimulator::RemoteAnswer(int callId) {
    std::lock_guard lock(m_mutex);
    const bool ok = m_core.RemoteAnswer(callId);
    Wake();
    return ok;
}

bool ModemSimulator::RemoteHangup(int callId) {
    std::lock_guard lock(m_mutex);
    const bool ok = m_core.RemoteHangup(callId);
    Wake();
    return ok;
}

bool ModemSimulator::RemoteBusy(int callId) {
    std::lock_guard lock(m_mutex);
    const bool ok = m_core.RemoteBusy(callId);
    Wake();
    return ok;
}

void ModemSimulator::SetSignal(int rssi) {
    std::lock_guard lock(m_mutex);
    m_core.SetSignal(rssi);
}

void ModemSimulator::SetBattery(int percent, bool charging) {
    std::lock_guard lock(m_mutex);
    m_core.SetBattery(percent, charging);
}

void ModemSimulator::SetRegistered(bool registered) {
    std::lock_guard lock(m_mutex);
    m_core.SetRegistered(registered);
    Wake();
}

void ModemSimulator::SetRoaming(bool roaming) {
    std::lock_guard lock(m_mutex);
    m_core.SetRoaming(roaming);
    Wake();
}

void ModemSimulator::SetGprsAttached(bool attached) {
    std::lock_guard lock(m_mutex);
    m_core.SetGprsAttached(attached);
    Wake();
}

void ModemSimulator::SetSimPresent(bool present) {
    std::lock_guard lock(m_mutex);
    m_core.SetSimPresent(present);
    Wake();
}

bool ModemSimulator::SetCell(const std::string& lac, const std::string& cell) {
    std::lock_guard lock(m_mutex);
    const bool ok = m_core.SetCell(lac, cell);
    Wake();
    return ok;
}

bool ModemSimulator::SetOperatorRefusal(const std::string& numeric, int code) {
    std::lock_guard lock(m_mutex);
    return m_core.SetOperatorRefusal(numeric, code);
}

bool ModemSimulator::SetOperatorForbidden(const std::string& numeric, bool forbidden) {
    std::lock_guard lock(m_mutex);
    return m_core.SetOperatorForbidden(numeric, forbidden);
}

void ModemSimulator::SetNetworkScanMs(int ms) {
    std::lock_guard lock(m_mutex);
    m_core.SetNetworkScanMs(ms);
}

void ModemSimulator::SetListAccessTechnology(bool on) {
    std::lock_guard lock(m_mutex);
    m_core.SetListAccessTechnology(on);
}

void ModemSimulator::SetCmee(int mode) {
    std::lock_guard lock(m_mutex);
    m_core.SetCmee(mode);
}

bool ModemSimulator::SetForwarding(int reason, int classes, const std::string& number,
                                   bool active) {
    std::lock_guard lock(m_mutex);
    return m_core.SetForwarding(reason, classes, number, active);
}

void ModemSimulator::SetFault(FaultKind kind, int count, int code) {
    std::lock_guard lock(m_mutex);
    m_core.SetFault(kind, count, code);
}

void ModemSimulator::SetSilent(bool silent) {
    std::lock_guard lock(m_mutex);
    m_core.SetSilent(silent);
}

void ModemSimulator::SendGarbage(const std::string& bytes) {
    std::lock_guard lock(m_mutex);
    Emit(bytes, OutputKind::Raw);
    Wake();
}

void ModemSimulator::SplitNextAnswer(int pauseMs, std::size_t bytes) {
    std::lock_guard lock(m_mutex);
    m_splitPauseMs = std::max(pauseMs, 0);
    m_splitAt = bytes;
}

void ModemSimulator::SetAnswerDelay(int ms) {
    std::lock_guard lock(m_mutex);
    m_answerDelayMs = std::max(ms, 0);
}

void ModemSimulator::SetPacing(int baud) {
    std::lock_guard lock(m_mutex);
    m_baud = std::max(baud, 0);
    m_lineFreeAt = {};
}

void ModemSimulator::SetCannedAnswer(const std::string& prefix, const std::string& rawAnswer,
                                     int count) {
    std::lock_guard lock(m_mutex);
    m_core.SetCannedAnswer(prefix, rawAnswer, count);
}

void ModemSimulator::DropLine() {
    std::lock_guard lock(m_mutex);
    CloseLineLocked();
    Wake();
}

std::vector<std::string> ModemSimulator::CommandLog() const {
    std::lock_guard lock(m_mutex);
    return m_core.CommandLog();
}

bool ModemSimulator::WaitForCommand(const std::string& prefix, int timeoutMs,
                                    std::size_t from) const {
    const std::string wanted = UpperAscii(prefix);
    std::unique_lock lock(m_mutex);
    return m_logChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        const auto& log = m_core.CommandLog();
        for (std::size_t i = from; i < log.size(); ++i) {
            if (UpperAscii(log[i]).rfind(wanted, 0) == 0) {
                return true;
            }
        }
        return false;
    });
}

std::vector<Call> ModemSimulator::Calls() const {
    std::lock_guard lock(m_mutex);
    return m_core.Calls();
}

std::string ModemSimulator::Dtmf() const {
    std::lock_guard lock(m_mutex);
    return m_core.Dtmf();
}

std::vector<std::string> ModemSimulator::SentPdus() const {
    std::lock_guard lock(m_mutex);
    return m_core.SentPdus();
}

std::optional<StoredSms> ModemSimulator::Message(const std::string& storage, int index) const {
    std::lock_guard lock(m_mutex);
    return m_core.Message(storage, index);
}

ModemSeed ModemSimulator::State() const {
    std::lock_guard lock(m_mutex);
    return m_core.State();
}

LineMode ModemSimulator::Mode() const {
    std::lock_guard lock(m_mutex);
    return m_core.Mode();
}

int ModemSimulator::SelectionMode() const {
    std::lock_guard lock(m_mutex);
    return m_core.SelectionMode();
}

std::string ModemSimulator::SelectedOperator() const {
    std::lock_guard lock(m_mutex);
    return m_core.SelectedOperator();
}

Charset ModemSimulator::CurrentCharset() const {
    std::lock_guard lock(m_mutex);
    return m_core.CurrentCharset();
}

int ModemSimulator::Functionality() const {
    std::lock_guard lock(m_mutex);
    return m_core.Functionality();
}

}  // namespace qvl::sim
