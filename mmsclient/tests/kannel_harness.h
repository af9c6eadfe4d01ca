// A real WAP gateway for the end-to-end tests: Kannel's bearerbox and wapbox on loopback with a
// small configuration written into a private folder, and a tiny HTTP server playing the MMS
// relay behind it.
#pragma once

#include "mms_test_support.h"

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qvl::mms::test {

inline constexpr char kBearerbox[] = "/usr/sbin/bearerbox";
inline constexpr char kWapbox[] = "/usr/sbin/wapbox";

class KannelGateway {
public:
    // True when both programs are installed.
    static bool Installed();

    KannelGateway() = default;
    ~KannelGateway() { Stop(); }
    KannelGateway(const KannelGateway&) = delete;
    KannelGateway& operator=(const KannelGateway&) = delete;

    // Starts both boxes and waits until a probe Connect on UDP 9201 is answered. On failure
    // returns false with the reason (and the tail of the logs). The gateway's ports are fixed,
    // so one gateway runs on the machine at a time: Start first waits for a lock that other
    // test runs (of other checkouts too) hold while their gateway runs.
    bool Start(std::string& why);
    // Stops both boxes (SIGTERM, then SIGKILL after a grace period) and removes the folder.
    void Stop();

private:
    std::string m_folder;
    int m_machineLock = -1;
    pid_t m_bearerbox = -1;
    pid_t m_wapbox = -1;
};

// An MMS relay on a free loopback port: records every POST and answers it as told.
class HttpRelay {
public:
    enum class Mode { ConfirmOk, ConfirmNotOk, Silent };
    struct Request {
        std::string head;  // request line and headers
        Bytes body;
    };

    explicit HttpRelay(Mode mode);
    ~HttpRelay();
    HttpRelay(const HttpRelay&) = delete;
    HttpRelay& operator=(const HttpRelay&) = delete;

    std::uint16_t Port() const { return m_port; }
    std::string Uri() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/mms"; }
    std::vector<Request> Requests() const;
    bool Received() const { return m_received; }

private:
    void Serve();
    void Handle(int fd);

    Mode m_mode;
    int m_listen = -1;
    int m_stop[2] = {-1, -1};
    std::uint16_t m_port = 0;
    std::atomic<bool> m_received{false};
    mutable std::mutex m_lock;
    std::vector<Request> m_requests;
    std::vector<int> m_held;  // connections of a silent relay, closed at the end
    std::thread m_thread;
};

// The transaction id of a posted m-send-req (the text after 0x98), or empty.
std::string TransactionIdOf(const Bytes& mSendReq);

}  // namespace qvl::mms::test
