#include "common/transport/tests/pty.h"

#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace qvl::testing {

FakeModemLine::FakeModemLine() {
    char name[256] = {};
    termios raw{};
    ::cfmakeraw(&raw);
    if (::openpty(&m_master, &m_slave, name, &raw, nullptr) != 0) {
        m_master = m_slave = -1;
        return;
    }
    m_slavePath = name;
}

FakeModemLine::~FakeModemLine() {
    Join();
    if (m_master >= 0) {
        ::close(m_master);
    }
    if (m_slave >= 0) {
        ::close(m_slave);
    }
}

void FakeModemLine::Send(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size() && m_master >= 0) {
        const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        done += static_cast<std::size_t>(n);
    }
}

std::string FakeModemLine::Receive(std::size_t want, int timeoutMs) {
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < want && m_master >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            break;
        }
        pollfd p{m_master, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0) {
            break;
        }
        char chunk[512];
        const ssize_t n = ::read(m_master, chunk, sizeof chunk);
        if (n <= 0) {
            break;
        }
        got.append(chunk, static_cast<std::size_t>(n));
    }
    return got;
}

void FakeModemLine::HangUp() {
    Join();
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
    if (m_slave >= 0) {
        ::close(m_slave);
        m_slave = -1;
    }
}

void FakeModemLine::Play(std::vector<Piece> pieces) {
    Join();
    m_player = std::thread([this, pieces = std::move(pieces)] {
        for (const Piece& piece : pieces) {
            if (piece.delayMs > 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(piece.delayMs));
            }
            Send(piece.bytes);
        }
    });
}

void FakeModemLine::Join() {
    if (m_player.joinable()) {
        m_player.join();
    }
}

}  // namespace qvl::testing
