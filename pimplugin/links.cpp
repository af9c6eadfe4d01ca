#include "pimplugin/links.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/checks.h"
#include "base/text.h"
#include "platform/contacts/vcard.h"
#include "platform/registry.h"

namespace qvl::pim {

namespace {

constexpr const char16_t* kDialerKey = u"SOFTWARE\\Quorvel\\Dialer";
constexpr const char16_t* kValueNumber = u"Number";
constexpr const char16_t* kValueBody = u"Body";

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = static_cast<char>(c | 0x20);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// Percent escapes decoded to bytes ("+" stays "+": in a tel: or sms: link it is the
// international prefix, never a blank), then read as UTF-8.
std::u16string Decoded(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int hi = HexValue(text[i + 1]);
            const int lo = HexValue(text[i + 2]);
            if (hi >= 0 && lo >= 0) {
                bytes += static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        bytes += text[i];
    }
    return Utf8ToWide(bytes);
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if ((text[i] | 0x20) != prefix[i]) {
            return false;
        }
    }
    return true;
}

// The value of "name=" among "&"-separated fields (the first one), undecoded.
std::optional<std::string_view> Field(std::string_view query, std::string_view name) {
    std::size_t at = 0;
    while (at <= query.size()) {
        const std::size_t end = std::min(query.find('&', at), query.size());
        const std::string_view field = query.substr(at, end - at);
        if (StartsWithNoCase(field, name) && field.size() > name.size() &&
            field[name.size()] == '=') {
            return field.substr(name.size() + 1);
        }
        at = end + 1;
    }
    return std::nullopt;
}

}  // namespace

std::optional<Link> ParseLink(std::string_view uri) {
    Link link;
    std::string_view rest;
    if (StartsWithNoCase(uri, "tel:")) {
        link.action = LinkAction::Dial;
        rest = uri.substr(4);
    } else if (StartsWithNoCase(uri, "sms:")) {
        link.action = LinkAction::Message;
        rest = uri.substr(4);
    } else {
        return std::nullopt;
    }
    if (rest.substr(0, 2) == "//") {
        rest.remove_prefix(2);
    }
    std::string_view query;
    if (const std::size_t q = rest.find('?'); q != std::string_view::npos) {
        query = rest.substr(q + 1);
        rest = rest.substr(0, q);
    }
    // Parameters (";ext=", ";phone-context=") follow the number; several sms: recipients are
    // separated by commas, of which the first is taken.
    rest = rest.substr(0, std::min(rest.find(';'), rest.size()));
    if (link.action == LinkAction::Message) {
        rest = rest.substr(0, std::min(rest.find(','), rest.size()));
    }
    link.number = WithoutNumberSeparators(Decoded(rest));
    if (link.action == LinkAction::Dial) {
        if (!IsDialableNumber(link.number)) {
            return std::nullopt;
        }
        return link;
    }
    if (!link.number.empty() && !IsSmsAddress(link.number)) {
        return std::nullopt;
    }
    if (const auto body = Field(query, "body")) {
        link.body = Decoded(*body);
        if (link.body.size() > kMaxLinkBody) {
            link.body.resize(kMaxLinkBody);
        }
    }
    return link;
}

std::vector<MenuEntry> ContactMenu(const ContactItem& contact, const std::u16string& dialText) {
    const ContactProperty order[] = {ContactProperty::BusinessTelephoneNumber,
                                     ContactProperty::MobileTelephoneNumber,
                                     ContactProperty::HomeTelephoneNumber};
    std::vector<MenuEntry> dial;
    std::vector<MenuEntry> sms;
    for (std::uint32_t i = 0; i < 3; ++i) {
        const std::u16string& shown = contact.Get(order[i]);
        const std::u16string number = WithoutNumberSeparators(shown);
        if (shown.empty() || !IsDialableNumber(number)) {
            continue;
        }
        dial.push_back({kCmdDialWork + i, dialText + shown, number});
        sms.push_back({kCmdSmsWork + i, u"SMS " + shown, number});
    }
    if (dial.empty()) {
        return {};
    }
    dial.push_back({0, {}, {}});
    dial.insert(dial.end(), sms.begin(), sms.end());
    return dial;
}

bool HandOver(IWindowMessenger& messenger, const std::u16string& window, const Link* link) {
    if (!messenger.FindWindow(window)) {
        return false;
    }
    const RegKey key = RegKey::Open(RegRoot::LocalMachine, kDialerKey, RegOpen::Create);
    if (!key) {
        return false;
    }
    key.WriteString(kValueNumber, link != nullptr ? link->number : u"");
    if (link == nullptr) {
        return true;  // dismissed: nothing is asked
    }
    if (link->action == LinkAction::Message) {
        key.WriteString(kValueBody, link->body);
    } else {
        key.DeleteValue(kValueBody);
    }
    return messenger.PostWindowMessage(window, kWmDialRequest,
                                       link->action == LinkAction::Dial ? 1 : 2, 0);
}

std::optional<ContactItem> ReadContactFile(const std::string& path, std::string& problem) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        problem = path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    struct stat st {};
    std::string bytes;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        problem = path + ": not a file";
    } else if (static_cast<std::size_t>(st.st_size) >= kMaxCardFileSize) {
        problem = path + ": too large for a contact";
    } else {
        bytes.resize(static_cast<std::size_t>(st.st_size));
        std::size_t got = 0;
        while (got < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
            if (n <= 0) {
                break;
            }
            got += static_cast<std::size_t>(n);
        }
        bytes.resize(got);
    }
    ::close(fd);
    if (!problem.empty()) {
        return std::nullopt;
    }
    const std::vector<VCard> cards = ParseVCards(bytes);
    if (cards.empty()) {
        problem = path + ": no contact card in the file";
        return std::nullopt;
    }
    return ContactItem::FromCard(cards.front(), path);
}

}  // namespace qvl::pim
