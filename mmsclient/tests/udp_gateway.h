// A scripted WAP gateway on a loopback UDP port for the tests: every datagram it receives is
// recorded and handed to a script that returns the replies to send back.
#pragma once

#include "mms_test_support.h"

#include <netinet/in.h>

#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace qvl::mms::test {

class ScriptedGateway {
public:
    // index counts the datagrams received so far (0 for the first).
    using Script = std::function<std::vector<Bytes>(const Bytes& datagram, std::size_t index,
                                                    const sockaddr_in& client)>;
    explicit ScriptedGateway(Script script);
    ~ScriptedGateway();
    ScriptedGateway(const ScriptedGateway&) = delete;
    ScriptedGateway& operator=(const ScriptedGateway&) = delete;

    std::uint16_t Port() const { return m_port; }
    std::vector<Bytes> Received() const;
    // Datagrams whose replies have all been sent (on loopback they are then queued at the
    // client), so a test can wait for them instead of sleeping.
    std::size_t Answered() const;
    // Sends a datagram from the gateway's port outside the script.
    void SendTo(const Bytes& datagram, const sockaddr_in& client) const;

private:
    void Serve();

    Script m_script;
    int m_fd = -1;
    int m_stop[2] = {-1, -1};
    std::uint16_t m_port = 0;
    mutable std::mutex m_lock;
    std::vector<Bytes> m_received;
    std::size_t m_answered = 0;
    std::thread m_thread;
};

// Replies of a well-behaved gateway (the way Kannel answers): a ConnectReply with session id
// 81 05, an Ack with a PSN item for each packet with GTR set, and the m-send-conf given for a
// single-packet Post or the last packet of a segmented one.
std::vector<Bytes> GoodGatewayReplies(const Bytes& datagram, const Bytes& mSendConf);
Bytes MSendConf(std::uint8_t responseStatus);
// A WTP Result carrying a WSP Reply with the given HTTP status octet and the MMS PDU.
Bytes WspReplyResult(std::uint16_t tid, std::uint8_t wspStatus, const Bytes& mms);
std::uint16_t TidOf(const Bytes& datagram);
// Undoes the segmentation of a post (the packets as the gateway received them, one datagram
// each) and returns the Invoke body after the WTP header.
Bytes Reassemble(const std::vector<Bytes>& packets);

}  // namespace qvl::mms::test
