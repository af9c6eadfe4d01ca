#include "common/dataconn/dataconn.h"

#include "base/checks.h"
#include "base/text.h"
#include "common/lang/lang.h"
#include "platform/ppp/pppentry.h"
#include "platform/ppp/pppsystem.h"
#include "platform/registry.h"

#include <pwd.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace qvl::dataconn {

namespace {

using ppp::LinkFailure;
using ppp::LinkState;

// Texts of texts/dataconn-errors.tsv.
constexpr int kMsgPppdMissing = 5016;
constexpr int kMsgNotInDipGroup = 5017;
constexpr int kMsgPppdNotSetUid = 5018;
constexpr int kMsgSystemFilesMissing = 5019;
constexpr int kMsgNoKernelSupport = 5020;
constexpr int kMsgOptionsRefused = 5021;
constexpr int kMsgPortLocked = 5022;
constexpr int kMsgPortNotOpened = 5023;
constexpr int kMsgModemSilent = 5024;
constexpr int kMsgModemRefused = 5025;
constexpr int kMsgNegotiationFailed = 5026;
constexpr int kMsgAuthRefused = 5027;
constexpr int kMsgHungUp = 5028;
constexpr int kMsgEndedByOther = 5029;
constexpr int kMsgDialTimedOut = 5030;
constexpr int kMsgDialFailed = 5031;
constexpr int kMsgNoEntry = 5032;
constexpr int kMsgNoPassword = 5033;

IClock& ClockOf(const DialOptions& options) {
    return options.clock != nullptr ? *options.clock : SystemClock();
}

std::u16string UserName() {
    if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_name != nullptr) {
        return Utf8ToWide(pw->pw_name);
    }
    return u"$USER";
}

void Report(const UiPorts& ports, LinkFailure failure, std::string_view detail,
            const DialOptions& options) {
    const std::u16string text = FailureText(failure, detail, options);
    if (!text.empty() && ports.messages != nullptr) {
        ports.messages->ShowMessage(text, u"", MsgButtons::Ok, MsgIcon::Error);
    }
}

DialResult Fail(LinkFailure failure, std::string detail = {}) {
    DialResult result;
    result.failure = failure;
    result.detail = std::move(detail);
    return result;
}

// The checks that need no pppd run: a complete entry, a pppd this user may start, and the
// source of the privileged options.
DialResult Check(const std::string& folder, std::u16string_view entryName,
                 ppp::PrivilegedOptions& privileged, std::optional<ppp::EntryInfo>& info) {
    info = ppp::ReadEntryInfo(folder, entryName);
    if (!info) {
        return Fail(LinkFailure::NoEntry, WideToUtf8(entryName));
    }
    if (info->wantsPassword && !info->hasSecrets) {
        return Fail(LinkFailure::NoPassword);
    }
    const std::string program = ppp::PppdProgram();
    struct stat st {};
    if (::stat(program.c_str(), &st) != 0) {
        return Fail(LinkFailure::NotInstalled);
    }
    if (::access(program.c_str(), X_OK) != 0) {
        return Fail(LinkFailure::NotPermitted);
    }
    if (ppp::PeerFileInstalled()) {
        privileged = ppp::PrivilegedOptions::FromPeerFile;
    } else if (::getuid() == 0) {
        privileged = ppp::PrivilegedOptions::OnCommandLine;
    } else {
        return Fail(LinkFailure::SystemFilesMissing);
    }
    return {};
}

std::string DetailOf(LinkFailure failure, const ppp::PppLink& link) {
    switch (failure) {
        case LinkFailure::ChatRefused:
            return link.Log().chatDetail;
        case LinkFailure::Other:
            return std::to_string(link.ExitCode() == -1 ? 128 + link.TermSignal()
                                                        : link.ExitCode());
        case LinkFailure::Options:
        case LinkFailure::PortLocked:
        case LinkFailure::PortOpen:
            return link.Log().lastLine;
        case LinkFailure::None:
        case LinkFailure::NoEntry:
        case LinkFailure::NoPassword:
        case LinkFailure::NotInstalled:
        case LinkFailure::NotPermitted:
        case LinkFailure::NotSetUid:
        case LinkFailure::SystemFilesMissing:
        case LinkFailure::NoKernelSupport:
        case LinkFailure::ChatTimeout:
        case LinkFailure::Negotiation:
        case LinkFailure::AuthFailed:
        case LinkFailure::Hangup:
        case LinkFailure::Killed:
        case LinkFailure::TimedOut:
        case LinkFailure::Canceled:
            break;
    }
    return {};
}

}  // namespace

std::u16string FillPlaceholder(std::u16string text, std::u16string_view placeholder,
                               std::u16string_view value) {
    const std::size_t at = text.find(placeholder);
    if (at != std::u16string::npos) {
        text.replace(at, placeholder.size(), value);
    }
    return text;
}

std::u16string FailureText(LinkFailure failure, std::string_view detail,
                           const DialOptions& options) {
    const std::u16string wideDetail = Utf8ToWide(detail);
    switch (failure) {
        case LinkFailure::None:
        case LinkFailure::Canceled:
            return {};
        case LinkFailure::NoEntry:
            return FillPlaceholder(LoadLocalString(kMsgNoEntry), u"%s", wideDetail);
        case LinkFailure::NoPassword:
            return LoadLocalString(kMsgNoPassword);
        case LinkFailure::NotInstalled:
            return LoadLocalString(kMsgPppdMissing);
        case LinkFailure::NotPermitted:
            return FillPlaceholder(LoadLocalString(kMsgNotInDipGroup), u"%s", UserName());
        case LinkFailure::NotSetUid:
            return LoadLocalString(kMsgPppdNotSetUid);
        case LinkFailure::SystemFilesMissing:
            return LoadLocalString(kMsgSystemFilesMissing);
        case LinkFailure::NoKernelSupport:
            return LoadLocalString(kMsgNoKernelSupport);
        case LinkFailure::Options:
            return FillPlaceholder(LoadLocalString(kMsgOptionsRefused), u"%s", wideDetail);
        case LinkFailure::PortLocked:
            return LoadLocalString(kMsgPortLocked);
        case LinkFailure::PortOpen:
            return LoadLocalString(kMsgPortNotOpened);
        case LinkFailure::ChatTimeout:
            return LoadLocalString(kMsgModemSilent);
        case LinkFailure::ChatRefused:
            return FillPlaceholder(LoadLocalString(kMsgModemRefused), u"%s", wideDetail);
        case LinkFailure::Negotiation:
            return LoadLocalString(kMsgNegotiationFailed);
        case LinkFailure::AuthFailed:
            return LoadLocalString(kMsgAuthRefused);
        case LinkFailure::Hangup:
            return LoadLocalString(kMsgHungUp);
        case LinkFailure::Killed:
            return LoadLocalString(kMsgEndedByOther);
        case LinkFailure::TimedOut:
            return FillPlaceholder(LoadLocalString(kMsgDialTimedOut), u"%d",
                                   Utf8ToWide(std::to_string(options.limitMs / 1000)));
        case LinkFailure::Other:
            return FillPlaceholder(LoadLocalString(kMsgDialFailed), u"%d", wideDetail);
    }
    return {};
}

DialResult DialEntry(std::u16string_view entryName, const UiPorts& ports,
                     const std::function<void(LinkState)>& onState, const DialOptions& options) {
    const std::string folder = ppp::EntryFolder();
    ppp::PrivilegedOptions privileged = ppp::PrivilegedOptions::FromPeerFile;
    std::optional<ppp::EntryInfo> info;
    DialResult result = Check(folder, entryName, privileged, info);
    auto fail = [&](DialResult failed) {
        if (!folder.empty() && IsSafeEntryName(entryName)) {
            ppp::RemoveSecrets(folder, entryName);
        }
        Report(ports, failed.failure, failed.detail, options);
        return failed;
    };
    if (result.failure != LinkFailure::None) {
        return fail(std::move(result));
    }
    const ppp::EntryPaths paths = ppp::PathsOf(folder, entryName);
    auto link = std::make_unique<ppp::PppLink>();
    if (const int error = link->Start(
            ppp::PppdArguments(ppp::PppdProgram(), paths, info->hasSecrets, privileged), paths.log);
        error != 0) {
        const LinkFailure failure = error == ENOENT                     ? LinkFailure::NotInstalled
                                    : error == EACCES || error == EPERM ? LinkFailure::NotPermitted
                                                                        : LinkFailure::Other;
        return fail(Fail(failure, std::to_string(error)));
    }

    IClock& clock = ClockOf(options);
    const std::uint64_t start = clock.NowMs();
    std::optional<std::uint64_t> upSince;
    bool secretsRemoved = !info->hasSecrets;
    if (onState) {
        onState(LinkState::Starting);
        link->onState = onState;
    }
    for (;;) {
        link->Poll(kPollMs);
        // pppd reads every option before it runs the dial script: the password has done its job.
        if (!secretsRemoved && link->State() > LinkState::Starting) {
            secretsRemoved = ppp::RemoveSecrets(folder, entryName);
        }
        if (!link->Running()) {
            LinkFailure failure = link->Failure();
            if (failure == LinkFailure::None) {
                failure = LinkFailure::Other;
            }
            return fail(Fail(failure, DetailOf(failure, *link)));
        }
        if (link->State() == LinkState::Up) {
            if (!upSince) {
                upSince = clock.NowMs();
            }
            if (!info->gateway || link->RouteHookFinished() ||
                clock.NowMs() - *upSince >= options.routeWaitMs) {
                ppp::RemoveSecrets(folder, entryName);
                // onState belongs to this wait (it may refer to the caller's window).
                link->onState = nullptr;
                result.link = std::move(link);
                return result;
            }
        }
        ports.Pump();
        const bool canceled = ports.progress != nullptr && ports.progress->IsCanceled();
        const bool late = clock.NowMs() - start >= options.limitMs;
        if (canceled || late) {
            link->Stop(options.stopGraceMs, clock, [&] { ports.Pump(); });
            return fail(Fail(canceled ? LinkFailure::Canceled : LinkFailure::TimedOut));
        }
    }
}

void HangUp(ppp::PppLink& link, std::u16string_view entryName, const UiPorts& ports,
            const DialOptions& options) {
    link.Stop(options.stopGraceMs, ClockOf(options), [&] { ports.Pump(); });
    if (const std::string folder = ppp::EntryFolder();
        !folder.empty() && IsSafeEntryName(entryName)) {
        ppp::RemoveSecrets(folder, entryName);
    }
}

ScopedProgress::ScopedProgress(const UiPorts& ports, bool cancellable, int textId)
    : m_window(ports.progress) {
    if (m_window != nullptr) {
        m_window->Create(0, 100, -1, cancellable);
        m_window->SetText(LoadLocalString(textId), -1);
    }
}

ScopedProgress::~ScopedProgress() {
    if (m_window != nullptr) {
        m_window->Destroy();
    }
}

void ScopedProgress::SetText(int textId) const {
    if (m_window != nullptr) {
        m_window->SetText(LoadLocalString(textId), -1);
    }
}

UiPorts ConsolePorts() {
    class ConsoleMessages final : public IMessageBoxPort {
      public:
        MsgAnswer ShowMessage(std::u16string_view text, std::u16string_view, MsgButtons,
                              MsgIcon) override {
            std::fprintf(stderr, "%s\n", WideToUtf8(text).c_str());
            return MsgAnswer::Ok;
        }
    };
    static ConsoleMessages messages;
    return UiPorts{&messages, nullptr, nullptr};
}

std::u16string PlatformTypeText() {
    const RegKey key = RegKey::Open(RegRoot::LocalMachine, u"System\\Platform");
    if (const auto text = key ? key.ReadString(u"PlatformType") : std::nullopt; text) {
        return *text;
    }
    return u"PocketPC";
}

int OsMajorVersion() {
    utsname name{};
    if (::uname(&name) != 0) {
        return 0;
    }
    int major = 0;
    for (const char* c = name.release; *c >= '0' && *c <= '9' && major < 1000; ++c) {
        major = major * 10 + (*c - '0');
    }
    return major;
}

void* CallTable::Add(Call call) {
    const std::uintptr_t handle = m_next++;
    m_calls.emplace(handle, std::move(call));
    return reinterpret_cast<void*>(handle);
}

CallTable::Call* CallTable::Find(void* handle) {
    const auto it = m_calls.find(reinterpret_cast<std::uintptr_t>(handle));
    return it != m_calls.end() ? &it->second : nullptr;
}

std::optional<CallTable::Call> CallTable::Take(void* handle) {
    const auto it = m_calls.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == m_calls.end()) {
        return std::nullopt;
    }
    Call call = std::move(it->second);
    m_calls.erase(it);
    return call;
}

}  // namespace qvl::dataconn
