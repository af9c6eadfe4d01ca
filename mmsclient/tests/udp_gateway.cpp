#include "udp_gateway.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace qvl::mms::test {

ScriptedGateway::ScriptedGateway(Script script) : m_script(std::move(script)) {
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::pipe(m_stop) != 0) {
        throw std::runtime_error("scripted gateway: socket");
    }
    socklen_t len = sizeof addr;
    ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len);
    m_port = ntohs(addr.sin_port);
    m_thread = std::thread([this] { Serve(); });
}

ScriptedGateway::~ScriptedGateway() {
    const char b = 1;
    (void)!::write(m_stop[1], &b, 1);
    m_thread.join();
    ::close(m_fd);
    ::close(m_stop[0]);
    ::close(m_stop[1]);
}

std::vector<Bytes> ScriptedGateway::Received() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_received;
}

std::size_t ScriptedGateway::Answered() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_answered;
}

void ScriptedGateway::SendTo(const Bytes& datagram, const sockaddr_in& client) const {
    ::sendto(m_fd, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&client), sizeof client);
}

void ScriptedGateway::Serve() {
    for (;;) {
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_stop[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            continue;
        }
        if (fds[1].revents != 0) {
            return;
        }
        Bytes buffer(65536);
        sockaddr_in client{};
        socklen_t len = sizeof client;
        const ssize_t n = ::recvfrom(m_fd, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&client), &len);
        if (n < 0) {
            continue;
        }
        buffer.resize(static_cast<std::size_t>(n));
        std::size_t index = 0;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            index = m_received.size();
            m_received.push_back(buffer);
        }
        for (const Bytes& reply : m_script(buffer, index, client)) {
            ::sendto(m_fd, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&client), sizeof client);
        }
        std::lock_guard<std::mutex> guard(m_lock);
        m_answered = index + 1;
    }
}

std::uint16_t TidOf(const Bytes& d) {
    return d.size() >= 3 ? static_cast<std::uint16_t>((d[1] << 8) | d[2]) : 0;
}

Bytes MSendConf(std::uint8_t responseStatus) {
    return Concat({Hex("8C 81 98"), Ascii("0000000042"), Hex("00 8D 90 92"), Bytes{responseStatus}, Hex("8B"),
                   Ascii("msg-1"), Hex("00")});
}

Bytes WspReplyResult(std::uint16_t tid, std::uint8_t wspStatus, const Bytes& mms) {
    // Result + TTR, responder TID; WSP Reply, status, headers: Content-Type mms-message.
    return Concat({Bytes{0x12, static_cast<std::uint8_t>((tid >> 8) | 0x80), static_cast<std::uint8_t>(tid)},
                   Bytes{0x04, wspStatus, 0x01, 0xBE}, mms});
}

std::vector<Bytes> GoodGatewayReplies(const Bytes& d, const Bytes& mSendConf) {
    if (d.size() < 3) {
        return {};
    }
    const std::uint16_t tid = TidOf(d);
    const Bytes rtid{static_cast<std::uint8_t>((tid >> 8) | 0x80), static_cast<std::uint8_t>(tid)};
    switch (d[0]) {
        case 0x0A:
            if (d.size() > 4 && d[4] == 0x01) {
                return {Concat({Hex("16"), rtid, Hex("02 81 05")})};
            }
            if (d.size() > 4 && d[4] == 0x60) {
                return {WspReplyResult(tid, 0x20, mSendConf)};
            }
            return {};
        case 0x8C:
            return {Concat({Hex("98"), rtid, Hex("19 00")})};
        case 0x2C:
            return {Concat({Hex("98"), rtid, Hex("19"), Bytes{d.size() > 3 ? d[3] : std::uint8_t(0)}})};
        case 0x2A:
            return {WspReplyResult(tid, 0x20, mSendConf)};
        default:
            return {};
    }
}

Bytes Reassemble(const std::vector<Bytes>& packets) {
    Bytes body;
    for (const Bytes& p : packets) {
        const std::size_t header = p[0] == 0x8C ? 8 : 4;
        body.insert(body.end(), p.begin() + static_cast<std::ptrdiff_t>(header), p.end());
    }
    return body;
}

}  // namespace qvl::mms::test
