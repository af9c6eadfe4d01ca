#include "mmsclient/wspsession.h"

#include "base/text.h"
#include "mmsclient/mmsparse.h"
#include "mmsclient/mmstexts.h"
#include "platform/sync.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace qvl::mms {
namespace {

constexpr std::size_t kReplyBuffer = 10000;
// The longest the socket is left unwatched between two pumps of the caller's messages.
constexpr int kPollSliceMs = 10;
constexpr int kMaxResends = 3;
constexpr int kExtraWaits = 4;

std::uint64_t NowMs() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

enum class SendKind { Plain, Post };

// Replies gathered by one wait: the octets as they arrived, where each datagram ends and
// whether it was longer than the room it had (then only its first part is kept, and it is not
// judged: a parser must never take a cut datagram for a whole one).
struct Replies {
    Octets octets;
    std::vector<std::size_t> ends;
    std::vector<bool> cut;

    void Clear() {
        octets.clear();
        ends.clear();
        cut.clear();
    }
    std::size_t Count() const { return ends.size(); }
    std::span<const std::uint8_t> Datagram(std::size_t i) const {
        const std::size_t begin = i == 0 ? 0 : ends[i - 1];
        return std::span<const std::uint8_t>(octets).subspan(begin, ends[i] - begin);
    }
    bool Whole(std::size_t i) const { return !cut[i]; }
    void Add(std::span<const std::uint8_t> datagram, bool wasCut) {
        octets.insert(octets.end(), datagram.begin(), datagram.end());
        ends.push_back(octets.size());
        cut.push_back(wasCut);
    }
};

// The transaction id of a WTP PDU (octets 1 and 2).
std::uint16_t WireTid(std::span<const std::uint8_t> pdu) {
    return static_cast<std::uint16_t>((pdu[1] << 8) | pdu[2]);
}

// A PDU of the responder carries the initiator's TID with the top bit inverted (WAP WTP); a
// datagram too short to hold a TID answers nothing.
bool AnswersTransaction(std::span<const std::uint8_t> datagram, std::uint16_t tid) {
    return datagram.size() >= 3 && WireTid(datagram) == (tid ^ 0x8000u);
}

class Session {
  public:
    Session(const SessionOptions& options)
        : m_options(options), m_tids(options.tids != nullptr ? *options.tids : LibraryTids()) {}
    ~Session() { CloseSocket(); }

    SessionReport Run(const std::u16string& gateway, const SendRequest& request);

  private:
    bool OpenGatewaySocket(const std::string& address, std::uint16_t port);
    void CloseSocket();
    int SendAndCollect(std::span<const std::uint8_t> data, std::uint32_t timeoutMs, SendKind kind);
    // Waits for the replies to transaction tid; datagrams of other transactions are logged and
    // dropped without ending the wait.
    int ReceiveDatagrams(Replies& into, std::uint32_t timeoutMs, std::uint16_t tid);
    bool Canceled() {
        if (m_options.ports.progress != nullptr && m_options.ports.progress->IsCanceled()) {
            m_report.canceled = true;
        }
        return m_report.canceled;
    }
    void Step(TextId id) {
        if (m_options.ports.progress != nullptr) {
            m_options.ports.progress->SetText(MmsText(id), -1);
        }
    }
    void Message(std::u16string_view text) {
        if (m_options.ports.messages != nullptr) {
            m_options.ports.messages->ShowMessage(text, u"MMS", MsgButtons::Ok, MsgIcon::Error);
        }
    }
    void ErrorMessage(const char* format, int code) {
        char text[96];
        std::snprintf(text, sizeof text, format, code);
        Message(Widen(text));
    }
    void Log(std::string_view title, std::span<const std::uint8_t> data = {}) {
        m_options.trace.Log(title, data);
    }
    bool RefuseBeforeConnecting(const SendRequest& request);

    const SessionOptions& m_options;
    TidCounter& m_tids;
    SessionReport m_report;
    int m_fd = -1;
    sockaddr_in m_peer{};
    Replies m_collected;                       // replies gathered while sending
    Replies m_extra;                           // the extra replies waited for after the post
    Octets m_datagram = Octets(kReplyBuffer);  // one datagram as it is read
    std::uint16_t m_postTid = 0;               // the TID the Post's packets carry
    bool m_success = false;
};

bool Session::OpenGatewaySocket(const std::string& address, std::uint16_t port) {
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (m_fd < 0) {
        ErrorMessage("Error (%d) Socket NOT Created", errno);
        return false;
    }
    const int flags = ::fcntl(m_fd, F_GETFL);
    if (flags < 0 || ::fcntl(m_fd, F_SETFL, flags | O_NONBLOCK) < 0) {
        ErrorMessage("Error (%d) Socket Non-Blocking Failed", errno);
        CloseSocket();
        return false;
    }
    m_peer = sockaddr_in{};
    m_peer.sin_family = AF_INET;
    m_peer.sin_port = htons(port);
    const std::string host = address.substr(0, 255);
    if (::inet_pton(AF_INET, host.c_str(), &m_peer.sin_addr) != 1) {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_DGRAM;
        addrinfo* found = nullptr;
        if (host.empty() || ::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 ||
            found == nullptr) {
            Message(u"ERROR getting host");
            CloseSocket();
            return false;
        }
        m_peer.sin_addr = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
        ::freeaddrinfo(found);
    }
    // A connected datagram socket sends to and receives from the gateway only.
    if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&m_peer), sizeof m_peer) != 0) {
        ErrorMessage("Error (%d) NOT Connected", errno);
        CloseSocket();
        return false;
    }
    return true;
}

void Session::CloseSocket() {
    if (m_fd >= 0) {
        if (::close(m_fd) != 0) {
            ErrorMessage("Socket Close Error (%d)", errno);
        }
        m_fd = -1;
    }
}

int Session::ReceiveDatagrams(Replies& into, std::uint32_t timeoutMs, std::uint16_t tid) {
    into.Clear();
    const std::uint64_t start = NowMs();
    auto read = [&into]() { return static_cast<int>(into.octets.size()); };
    for (;;) {
        m_options.ports.Pump();
        if (Canceled()) {
            return -1;
        }
        if (into.octets.size() >= kReplyBuffer) {
            return read();
        }
        // Every datagram is read into a buffer of its own, so it is never cut to the room the
        // earlier ones left; MSG_TRUNC makes recvfrom tell the datagram's real length.
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t n = ::recvfrom(m_fd, m_datagram.data(), m_datagram.size(), MSG_TRUNC,
                                     reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n >= 0) {
            if (fromLength != sizeof from || from.sin_family != AF_INET ||
                from.sin_addr.s_addr != m_peer.sin_addr.s_addr ||
                from.sin_port != m_peer.sin_port) {
                continue;  // not the gateway's: ignored
            }
            if (n == 0) {
                ErrorMessage("Error (%d) Socket Closed", 0);
                return read();
            }
            const std::size_t length = static_cast<std::size_t>(n);
            const auto datagram = std::span<const std::uint8_t>(m_datagram)
                                      .first(std::min(length, m_datagram.size()));
            if (!AnswersTransaction(datagram, tid)) {
                Log("Reply of another transaction ignored", datagram);
                continue;
            }
            const bool cut = length > datagram.size();
            if (cut) {
                char note[96];
                std::snprintf(note, sizeof note, "Reply cut short: %zu octets, %zu kept", length,
                              datagram.size());
                Log(note);
            }
            into.Add(datagram, cut);
            continue;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            ErrorMessage("Error (%d) Socket Read Error", errno);
            return read();
        }
        if (!into.octets.empty()) {
            return read();
        }
        const std::uint64_t elapsed = NowMs() - start;
        if (elapsed >= timeoutMs) {
            return 0;
        }
        pollfd pfd{m_fd, POLLIN, 0};
        const int slice =
            static_cast<int>(std::min<std::uint64_t>(kPollSliceMs, timeoutMs - elapsed));
        ::poll(&pfd, 1, slice);
    }
}

int Session::SendAndCollect(std::span<const std::uint8_t> data, std::uint32_t timeoutMs,
                            SendKind kind) {
    const bool post = kind == SendKind::Post;
    m_collected.Clear();
    std::size_t sent = 0;
    int retries = 0;
    Replies scratch;
    while (sent < data.size()) {
        m_options.ports.Pump();
        if (Canceled()) {
            return -1;
        }
        const auto slice = data.subspan(sent, std::min(data.size() - sent, kMaxPacket));
        if (post) {
            Log("Send MMS Packet", slice);
        }
        if (::send(m_fd, slice.data(), slice.size(), 0) < 0) {
            ErrorMessage("Error (%d) NOT Sent", errno);
            return -1;
        }
        ++m_report.datagramsSent;
        // Every packet of one message carries the TID of its transaction.
        const std::uint16_t tid = WireTid(slice);
        if (post) {
            m_postTid = tid;
        }
        const int n = ReceiveDatagrams(scratch, timeoutMs, tid);
        if (n < 0) {
            return -1;
        }
        if (post && n == 0) {
            if (++retries <= kMaxResends) {
                continue;
            }
            return -1;
        }
        for (std::size_t i = 0; i < scratch.Count(); ++i) {
            const auto datagram = scratch.Datagram(i);
            if (m_collected.octets.size() + datagram.size() > kReplyBuffer) {
                break;
            }
            m_collected.Add(datagram, !scratch.Whole(i));
        }
        if (post) {
            Log("Send MMS Packet Reply", scratch.octets);
            // Each datagram is judged on its own, so that an Ack arriving together with the
            // Result does not hide the relay's answer.
            bool nacked = false;
            for (std::size_t i = 0; i < scratch.Count(); ++i) {
                if (!scratch.Whole(i)) {
                    continue;
                }
                int status = kSendNone;
                const bool ok = ParseSendReply(scratch.Datagram(i), status,
                                               [this](std::string_view t) { Log(t); });
                if (ok && status == kSendOk) {
                    m_success = true;
                }
                if (!ok && status == kSendNAck) {
                    nacked = true;
                }
            }
            if (nacked && ++retries <= kMaxResends) {
                continue;
            }
        }
        retries = 0;
        sent += slice.size();
    }
    return static_cast<int>(m_collected.octets.size());
}

bool Session::RefuseBeforeConnecting(const SendRequest& request) {
    if (request.objects.size() > static_cast<std::size_t>(kMaxObjects)) {
        Message(MmsText(kTextTooManyObjects));
        return true;
    }
    if (RecipientAddresses(request.to).empty() && RecipientAddresses(request.cc).empty()) {
        Message(MmsText(kTextNoRecipient));
        return true;
    }
    if (PacketCount(SendRequestLength(request)) > kMaxPackets) {
        Message(MmsText(kTextTooLarge));
        return true;
    }
    return false;
}

SessionReport Session::Run(const std::u16string& gateway, const SendRequest& original) {
    m_options.trace.Truncate();
    IProgressWindow* progress = m_options.ports.progress;
    if (progress != nullptr) {
        progress->Create(0, 100, -1, true);
        progress->Show(true);
    }
    auto end = [&]() {
        CloseSocket();
        if (progress != nullptr) {
            progress->Destroy();
        }
        m_report.confirmed = m_success;
        return m_report;
    };
    SendRequest request = original;
    request.transactionTick = m_options.tick ? m_options.tick() : TickCount();
    if (RefuseBeforeConnecting(request)) {
        return end();
    }

    std::string address = WideToAnsi(gateway);
    std::uint16_t port = m_options.port;
    std::vector<std::uint8_t> sessionId;
    for (;;) {
        Step(kTextConnecting);
        if (!OpenGatewaySocket(address, port)) {
            return end();
        }
        Step(kTextPreparingConnect);
        const Octets connect = BuildConnectPdu(m_tids);
        Step(kTextSendingConnect);
        Log("Connect PDU", connect);
        if (SendAndCollect(connect, m_options.timings.connectMs, SendKind::Plain) <= 0) {
            return end();
        }
        Log("Connect PDU Response", m_collected.octets);
        Step(kTextCheckingConnect);
        const bool whole = m_collected.Count() > 0 && m_collected.Whole(0);
        const ConnectReply reply =
            ParseConnectReply(whole ? m_collected.Datagram(0) : std::span<const std::uint8_t>());
        sessionId = reply.serverSessionId;
        const Octets ack = BuildAckPdu(m_tids);
        Log("Connect PDU Response Acknowledgement", ack);
        if (SendAndCollect(ack, m_options.timings.ackMs, SendKind::Plain) < 0) {
            return end();
        }
        Log("Connect PDU Response Acknowledgement Response", m_collected.octets);
        if (reply.isConnectReply || reply.status != kConnectRedirect) {
            break;
        }
        if (m_report.redirects >= m_options.maxRedirects) {
            Message(MmsText(kTextTooManyRedirects));
            return end();
        }
        ++m_report.redirects;
        Step(kTextRedirecting);
        address = reply.redirectAddress;
        port = reply.redirectPort;
        CloseSocket();
    }

    Step(kTextPreparingSend);
    const BuiltRequest built =
        BuildSendRequest(m_tids, request, kMaxPacket, [this]() { m_options.ports.Pump(); });
    switch (built.status) {
        case BuildStatus::Ok:
            break;
        case BuildStatus::TooManyObjects:
            Message(MmsText(kTextTooManyObjects));
            return end();
        case BuildStatus::TooLarge:  // an object file grew since the check
            Message(MmsText(kTextTooLarge));
            return end();
    }
    m_report.packets = built.packets;
    Step(kTextSending);
    Log("Send MMS PDU", built.octets);
    if (SendAndCollect(built.octets, m_options.timings.postPacketMs, SendKind::Post) < 0) {
        return end();
    }
    Log("Send MMS PDU Response", m_collected.octets);
    Step(kTextReceiving);
    for (int attempt = 0; attempt < kExtraWaits && !m_success; ++attempt) {
        const int n = ReceiveDatagrams(m_extra, m_options.timings.extraWaitMs, m_postTid);
        if (n < 0) {
            return end();
        }
        Log("Send MMS PDU Response another time", m_extra.octets);
        bool failed = false;
        for (std::size_t i = 0; i < m_extra.Count(); ++i) {
            if (!m_extra.Whole(i)) {
                continue;
            }
            int status = kSendNone;
            if (ParseSendReply(m_extra.Datagram(i), status,
                               [this](std::string_view t) { Log(t); })) {
                m_success = m_success || status == kSendOk;
                failed = failed || status == kSendFailed;
            }
        }
        if (failed) {
            break;
        }
    }

    // Once the relay has confirmed, the message is sent: a failed or canceled acknowledgement
    // or disconnect no longer changes the verdict.
    Step(kTextAcknowledging);
    const Octets ack = BuildAckPdu(m_tids);
    Log("Send MMS PDU Response Acknowledgement", ack);
    if (SendAndCollect(ack, m_options.timings.ackMs, SendKind::Plain) < 0) {
        return end();
    }
    Log("Send MMS PDU Response Acknowledgement Response", m_collected.octets);
    Step(kTextSendingDisconnect);
    const Octets disconnect = BuildDisconnectPdu(m_tids, sessionId);
    Log("Disconnect PDU", disconnect);
    if (SendAndCollect(disconnect, m_options.timings.ackMs, SendKind::Plain) < 0) {
        return end();
    }
    Log("Disconnect PDU Response", m_collected.octets);
    Step(kTextDisconnecting);
    return end();
}

}  // namespace

SessionReport RunMmsSession(const std::u16string& gateway, const SendRequest& request,
                            const SessionOptions& options) {
    Session session(options);
    return session.Run(gateway, request);
}

}  // namespace qvl::mms
