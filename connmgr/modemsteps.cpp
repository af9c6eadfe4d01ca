#include "connmgr/modemsteps.h"

#include "base/atcursor.h"
#include "base/checks.h"
#include "base/finalresult.h"
#include "common/dataconn/dataconn.h"
#include "common/transport/transport.h"

#include <algorithm>
#include <cerrno>

namespace qvl::connmgr {

namespace {

constexpr int kMsgInitializing = 5014;
constexpr std::size_t kMinPinLength = 4;
constexpr std::size_t kMaxPinLength = 8;

// The port, closed when the step ends, whichever way it ends.
class OpenPort {
  public:
    explicit OpenPort(std::u16string_view name) : m_error(PortInitialize(name, m_handle)) {}
    ~OpenPort() {
        if (IsPortOpen(m_handle)) {
            PortClose(m_handle);
        }
    }
    OpenPort(const OpenPort&) = delete;
    OpenPort& operator=(const OpenPort&) = delete;

    int Error() const { return m_error; }
    PortHandle Handle() const { return m_handle; }

  private:
    PortHandle m_handle = kInvalidPortHandle;
    int m_error;
};

bool HasFinalResult(const std::u16string& response) {
    return ReadFinalResult(response).result != FinalResult::None;
}

// Reads on while what came so far ends without a final result code: an unsolicited line (a
// "NO CARRIER" of the last call, a registration report) ends a read of its own.
void ReadToFinalResult(PortHandle handle, std::u16string& response) {
    for (int extra = 0; extra < 3 && !HasFinalResult(response); ++extra) {
        const std::size_t before = response.size();
        PortRead(handle, response, kCommandTimeoutMs);
        if (response.size() == before) {
            return;
        }
    }
}

std::u16string Exchange(PortHandle handle, std::u16string_view command) {
    std::u16string response;
    if (!Transact(handle, command, kCommandTimeoutMs, response, nullptr)) {
        return {};
    }
    ReadToFinalResult(handle, response);
    return response;
}

// The text of the "+CPIN:" line ("READY", "SIM PIN", ...), or empty when there is none.
std::u16string CpinState(PortHandle handle) {
    const std::u16string response = Exchange(handle, u"AT+CPIN?\r");
    AtCursor cursor(response);
    if (!cursor.FindLine(u"+CPIN:")) {
        return {};
    }
    std::u16string_view state = cursor.RestOfLine();
    while (!state.empty() && state.back() == u' ') {
        state.remove_suffix(1);
    }
    return std::u16string(state);
}

}  // namespace

SimResult UnlockSim(std::u16string_view port, std::u16string_view pin) {
    OpenPort open(port);
    if (open.Error() != 0) {
        return {SimStep::PortFailed, PortErrorText(open.Error(), port)};
    }
    // Echo on first: the transport drops a lone "OK" as left over from an earlier command, so
    // with echo off (as another program may have left the modem) every answer would be lost.
    Exchange(open.Handle(), u"ATE1\r");
    const std::u16string state = CpinState(open.Handle());
    if (state == u"SIM PUK") {
        return {SimStep::Blocked, {}};
    }
    if (state != u"SIM PIN") {
        // READY, an error or no answer: a modem that cannot tell on its data port is left to
        // the dial script.
        return {SimStep::Ready, {}};
    }
    if (!IsValidCode(pin, kMinPinLength, kMaxPinLength)) {
        return {SimStep::NoPin, {}};
    }
    std::u16string command = u"AT+CPIN=\"";
    command += pin;
    command += u"\"\r";
    // The untraced write: no writer thread holds a copy of the PIN. The answer (with the echo
    // of the command) is read as usual; the transport's trace hides codes.
    std::u16string response;
    if (PortWriteSecret(open.Handle(), command) == 0) {
        PortRead(open.Handle(), response, kCommandTimeoutMs);
        ReadToFinalResult(open.Handle(), response);
    }
    // The command and its echo held the PIN: nothing of it stays in memory longer than needed.
    const bool accepted = AnsweredOk(response);
    for (std::u16string* text : {&command, &response}) {
        std::fill(text->begin(), text->end(), u'\0');
    }
    if (!accepted) {
        return {SimStep::PinRefused, {}};
    }
    return {SimStep::PinEntered, {}};
}

int SendLongInit(std::u16string_view port, std::u16string_view text, const UiPorts& ports) {
    const dataconn::ScopedProgress progress(ports, false, kMsgInitializing);
    int result = 0;
    {
        OpenPort open(port);
        result = open.Error();
        if (result == 0) {
            std::u16string command;
            if (text.size() < 2 || (text[0] != u'a' && text[0] != u'A') ||
                (text[1] != u't' && text[1] != u'T')) {
                command = u"AT";
            }
            command += text;
            command += u"\r";
            result = PortWrite(open.Handle(), command);
            if (result == 0) {
                std::u16string response;
                PortRead(open.Handle(), response, kCommandTimeoutMs);
                ReadToFinalResult(open.Handle(), response);
                result = AnsweredOk(response) ? 0 : EPROTO;
            }
        }
    }
    return result;
}

}  // namespace qvl::connmgr
