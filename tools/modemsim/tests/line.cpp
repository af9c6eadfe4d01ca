#include "tools/modemsim/tests/line.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace qvl::sim::test {

namespace {

using Clock = std::chrono::steady_clock;

int Remaining(Clock::time_point end) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

bool HasFinalResult(const std::string& text) {
    for (const char* code :
         {"\r\nOK\r\n", "\r\nERROR\r\n", "\r\nNO CARRIER\r\n", "\r\nCONNECT\r\n", "\r\n> "}) {
        if (text.find(code) != std::string::npos) {
            return true;
        }
    }
    for (const char* code : {"+CME ERROR: ", "+CMS ERROR: "}) {
        const auto at = text.find(code);
        if (at != std::string::npos && text.find("\r\n", at) != std::string::npos) {
            return true;
        }
    }
    return false;
}

TestLine::TestLine(const std::string& path) {
    m_fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0) {
        m_error = errno;
    }
}

TestLine::~TestLine() {
    if (m_fd >= 0) {
        close(m_fd);
    }
}

bool TestLine::Send(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(m_fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EAGAIN) {
                pollfd p{m_fd, POLLOUT, 0};
                poll(&p, 1, 100);
                continue;
            }
            m_error = errno;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool TestLine::ReadSome(std::string& into, int waitMs) {
    pollfd p{m_fd, POLLIN, 0};
    if (poll(&p, 1, waitMs) <= 0) {
        return false;
    }
    char buf[4096];
    const ssize_t n = read(m_fd, buf, sizeof buf);
    if (n > 0) {
        into.append(buf, static_cast<std::size_t>(n));
        return true;
    }
    m_error = n == 0 ? EIO : errno;
    if (m_error == EAGAIN) {
        m_error = 0;
        return false;
    }
    return false;
}

std::string TestLine::ReadAnswer(int timeoutMs) {
    std::string text;
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!HasFinalResult(text) && Remaining(end) > 0 && m_error == 0) {
        ReadSome(text, Remaining(end));
    }
    return text;
}

std::string TestLine::ReadUntil(const std::string& marker, int timeoutMs) {
    std::string text;
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (text.find(marker) == std::string::npos && Remaining(end) > 0 && m_error == 0) {
        ReadSome(text, Remaining(end));
    }
    return text;
}

std::string TestLine::ReadAtLeast(std::size_t count, int timeoutMs) {
    std::string text;
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (text.size() < count && Remaining(end) > 0 && m_error == 0) {
        ReadSome(text, Remaining(end));
    }
    return text;
}

std::string TestLine::ReadFor(int ms) {
    std::string text;
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Remaining(end) > 0 && m_error == 0) {
        ReadSome(text, Remaining(end));
    }
    return text;
}

std::string TestLine::Command(const std::string& command, int timeoutMs) {
    if (!Send(command + "\r")) {
        return {};
    }
    return ReadAnswer(timeoutMs);
}

}  // namespace qvl::sim::test
