// What the connection libraries' tests share: a private device root, the stand-in pppd with
// the route hooks, the modem simulator registered as an external modem (SIM PIN asked), and
// UI ports that record what the libraries show.
#pragma once

#include "base/text.h"
#include "common/ports/uiports.h"
#include "platform/ppp/tests/fake_pppd_harness.h"
#include "platform/registry.h"
#include "tools/modemsim/modem_simulator.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qvl::dataconn::test {

// A PIN that cannot turn up by chance in a pid, a time or an address.
inline constexpr char kPin[] = "73915846";
inline constexpr char16_t kWidePin[] = u"73915846";
inline constexpr char16_t kModemName[] = u"QVL GSM simulator (data)";
inline constexpr char16_t kGateway[] = u"10.11.12.13";

class RecordingPorts final : public IMessageBoxPort, public IMessagePump, public IProgressWindow {
  public:
    std::vector<std::string> messages;
    std::vector<std::string> texts;
    int created = 0;
    int destroyed = 0;
    bool cancellable = false;
    long pumps = 0;
    // Asked on every IsCanceled while a cancellable window is up.
    std::function<bool()> cancelWhen;

    MsgAnswer ShowMessage(std::u16string_view text, std::u16string_view, MsgButtons,
                          MsgIcon) override {
        messages.push_back(WideToUtf8(text));
        return MsgAnswer::Ok;
    }
    void PumpMessages() override { ++pumps; }
    void Create(int, int, int, bool canCancel) override {
        ++created;
        cancellable = canCancel;
    }
    void SetText(std::u16string_view text, int) override { texts.push_back(WideToUtf8(text)); }
    void Show(bool) override {}
    bool IsCanceled() const override { return cancellable && cancelWhen && cancelWhen(); }
    void Close() override {}
    void Destroy() override { ++destroyed; }

    UiPorts Ports() { return UiPorts{this, this, this}; }
};

class DataConnTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    const std::string& Home() const { return m_home; }
    std::string EntryFile(const char* suffix) const;
    // The library's registry value (HKEY_LOCAL_MACHINE "\Software\Quorvel\ConnMgr").
    std::optional<std::u16string> LibraryValue(std::u16string_view name) const;
    void SetPlatformType(std::u16string_view type) const;
    std::vector<std::string> ModemCommands() const { return m_modem->CommandLog(); }
    bool ModemGot(const std::string& prefix) const;
    // Waits until the simulator's data call has ended: the last close of the line (pppd's
    // hang-up, DTR dropped on a real modem) ends it, so a call still in data mode means that
    // something still holds the port. Fails the test after a generous limit.
    void EndDataCall();
    // How many descriptors of the modem's device this process has open (the simulator keeps
    // ModemFdsAtStart() of its own).
    int ModemPortFds() const;
    int ModemFdsAtStart() const { return m_modemFdsAtStart; }
    // Every file under the device root and the stand-in's folder that holds the PIN.
    std::vector<std::string> FilesWithPin() const;

    std::unique_ptr<ppp::test::FakePppd> m_pppd;
    std::unique_ptr<sim::ModemSimulator> m_modem;
    std::string m_port;
    RecordingPorts m_ui;

  private:
    std::string m_home;
    int m_modemFdsAtStart = 0;
};

}  // namespace qvl::dataconn::test
