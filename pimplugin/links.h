// What the phone is handed from outside: tel: and sms: links (RFC 3966, RFC 5724) as browsers and
// mail programs pass them, the menu the Contacts command builds from a contact's numbers, and the
// hand-over of a number to the running phone. Plain C++.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/contacts/contactsfolder.h"
#include "platform/ipc/ipc.h"

namespace qvl::pim {

enum class LinkAction { Dial, Message };

struct Link {
    LinkAction action = LinkAction::Dial;
    std::u16string number;  // without visual separators; empty: an sms: link without recipient
    std::u16string body;    // sms: the text to fill in
};

// The longest text taken from an sms: link's body (what a long concatenated message holds).
inline constexpr std::size_t kMaxLinkBody = 1530;

// "tel:" number with its parameters (";ext=", ";phone-context=" and others are left out),
// "sms:" recipients (the first is used) with "?body=". The scheme in any case, "//" after it
// tolerated, percent escapes and UTF-8 decoded. Nothing when the link is of another scheme, or
// its number is empty (tel:) or not one the phone may dial or address (a line break, a command,
// letters), so that no such text is ever handed on.
std::optional<Link> ParseLink(std::string_view uri);

// Commands of the Contacts command's menu: dial the work, mobile, home number; send an SMS.
inline constexpr std::uint32_t kCmdDialWork = 10;
inline constexpr std::uint32_t kCmdSmsWork = 20;

struct MenuEntry {
    std::uint32_t command = 0;  // 0: the separator
    std::u16string text;        // as shown
    std::u16string number;      // as handed over, without separators
};

// The menu for a contact: "Dial " (text 5001, given as dialText) + number for each of the work,
// mobile and home numbers that is set and dialable, a separator, then "SMS " + number for the
// same numbers. A number that is not dialable once its separators are gone is not offered.
// Empty when the contact has no such number.
std::vector<MenuEntry> ContactMenu(const ContactItem& contact, const std::u16string& dialText);

// The hand-over to the running phone: "Number" (and for a message "Body") under
// HKLM\SOFTWARE\Quorvel\Dialer, then message 1124 posted to its window (wParam 1 dial, 2 send an
// SMS); the phone asks and acts from its own queue, nobody waits for it. An empty number with
// dismissed = true writes the empty "Number" and sends nothing. False when the window is not
// there or the message could not be posted.
inline constexpr std::uint32_t kWmDialRequest = 0x0400 + 100;
bool HandOver(IWindowMessenger& messenger, const std::u16string& window, const Link* link);

// The first card of a vCard file: a regular file below kMaxCardFileSize, opened without
// blocking; nothing when it cannot be read or holds no card.
std::optional<ContactItem> ReadContactFile(const std::string& path, std::string& problem);

}  // namespace qvl::pim
