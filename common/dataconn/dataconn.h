// One data call of an entry, as both connection libraries make it: the checks before pppd is
// started, the wait for the link on the caller's thread (pumping the user interface, watching
// the progress window's Cancel, an overall limit), the hang-up, and the messages that tell the
// user why a call failed. The texts are those of texts/dataconn-errors.tsv, which both
// libraries compile in.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/ports/uiports.h"
#include "platform/ppp/ppplink.h"
#include "platform/sync.h"

namespace qvl::dataconn {

// The longest wait for the link to come up.
inline constexpr std::uint32_t kDialLimitMs = 90000;
// After the link is up, the longest wait for the route hook to set the gateway's route.
inline constexpr std::uint32_t kRouteWaitMs = 5000;
// Each pass of the wait blocks on pppd's log and process for at most this long.
inline constexpr int kPollMs = 20;

struct DialOptions {
    std::uint32_t limitMs = kDialLimitMs;
    std::uint32_t routeWaitMs = kRouteWaitMs;
    std::uint32_t stopGraceMs = ppp::kStopGraceMs;
    IClock* clock = nullptr;  // null: the system clock
};

struct DialResult {
    std::unique_ptr<ppp::PppLink> link;  // running with the link up; null on failure
    ppp::LinkFailure failure = ppp::LinkFailure::None;
    std::string detail;  // what the failure's message names (the log line, the abort string)
};

// Dials the entry: checks that it is complete and that this user may run pppd, starts pppd
// and waits until the link is up (and the gateway's route is set, when the entry has a
// gateway), the call fails, the user cancels (ports.progress) or limitMs passes. onState is
// called on every step until DialEntry returns. The entry's password file is removed as soon as
// pppd has read its options, and whenever the call fails. A failure other than Canceled is shown to
// the user.
DialResult DialEntry(std::u16string_view entryName, const UiPorts& ports,
                     const std::function<void(ppp::LinkState)>& onState,
                     const DialOptions& options);

// Ends a call (SIGTERM, SIGKILL after the grace time), pumping while it waits, and removes the
// entry's password file.
void HangUp(ppp::PppLink& link, std::u16string_view entryName, const UiPorts& ports,
            const DialOptions& options);

// The user's explanation of a failure in the current language; empty for None and Canceled.
std::u16string FailureText(ppp::LinkFailure failure, std::string_view detail,
                           const DialOptions& options = {});

// Replaces the first placeholder ("%s" or "%d") of text by value, taken as it stands.
std::u16string FillPlaceholder(std::u16string text, std::u16string_view placeholder,
                               std::u16string_view value);

// The progress window of one library call (animated bar, the text of message textId), destroyed
// when the call returns.
class ScopedProgress {
  public:
    ScopedProgress(const UiPorts& ports, bool cancellable, int textId);
    ~ScopedProgress();
    ScopedProgress(const ScopedProgress&) = delete;
    ScopedProgress& operator=(const ScopedProgress&) = delete;
    void SetText(int textId) const;

  private:
    IProgressWindow* m_window;
};

// The ports of a library whose caller gave none: messages go to standard error, nothing is
// pumped, no progress is shown.
UiPorts ConsolePorts();

// The platform type text both libraries ask for: the REG_SZ "PlatformType" of HKEY_LOCAL_MACHINE
// "System\Platform" when set, else "PocketPC" (the platform with a connection manager).
std::u16string PlatformTypeText();
// The major version of the running kernel (6 for "6.1.0-18-amd64"); 0 when unknown.
int OsMajorVersion();

// The calls of one library by handle: handles are small numbers, never 0, never reused while
// the library is loaded.
class CallTable {
  public:
    struct Call {
        std::unique_ptr<ppp::PppLink> link;
        std::u16string entryName;
    };
    void* Add(Call call);
    Call* Find(void* handle);
    // Removes the call and hands it over; empty when the handle is unknown.
    std::optional<Call> Take(void* handle);
    std::size_t Size() const { return m_calls.size(); }

  private:
    std::map<std::uintptr_t, Call> m_calls;
    std::uintptr_t m_next = 1;
};

}  // namespace qvl::dataconn
