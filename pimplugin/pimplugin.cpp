#include "pimplugin/pimplugin.h"

#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QWidget>

#include <cstdio>

#include "base/text.h"
#include "common/lang/lang.h"
#include "pimplugin/links.h"
#include "platform/ipc/ipc_dbus.h"
#include "platform/ipc/programs.h"

namespace {

constexpr int kMsgDial = 5001;

// The chosen command, 0 when the menu was dismissed.
std::uint32_t ChooseFromMenu(const std::vector<qvl::pim::MenuEntry>& entries, QWidget* owner) {
    QMenu menu(owner);
    menu.setObjectName(QStringLiteral("QVLDialerPluginMenu"));
    for (const qvl::pim::MenuEntry& e : entries) {
        if (e.command == 0) {
            menu.addSeparator();
            continue;
        }
        menu.addAction(QString::fromStdU16String(e.text))->setData(e.command);
    }
    const QAction* chosen = menu.exec(QCursor::pos());
    return chosen != nullptr ? chosen->data().toUInt() : 0;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) std::int32_t CePimCommand(
    void* owner, std::uint32_t, const char* const* items, std::uint32_t count) {
    using namespace qvl::pim;
    if (items == nullptr || count == 0 || items[0] == nullptr) {
        return 0;
    }
    std::string problem;
    const auto contact = ReadContactFile(items[0], problem);
    if (!contact) {
        std::fprintf(stderr, "QVLDialerPlugin: %s\n", problem.c_str());
        return 0;
    }
    const std::vector<MenuEntry> entries = ContactMenu(*contact, qvl::LoadLocalString(kMsgDial));
    if (entries.empty()) {
        std::fprintf(stderr, "QVLDialerPlugin: %s: the contact has no number to dial\n", items[0]);
        return 0;
    }
    const std::uint32_t chosen = ChooseFromMenu(entries, static_cast<QWidget*>(owner));

    qvl::DbusWindowMessenger messenger;
    if (!messenger.FindWindow(kPhoneWindow)) {
        // The phone is started without the number; the command is repeated once it runs.
        std::u16string path;
        if (qvl::FindMainProgram(path)) {
            qvl::StartProgram(qvl::WideToUtf8(path), {});
        }
        return 0;
    }
    const MenuEntry* entry = nullptr;
    for (const MenuEntry& e : entries) {
        if (e.command != 0 && e.command == chosen) {
            entry = &e;
        }
    }
    if (entry == nullptr) {
        HandOver(messenger, kPhoneWindow, nullptr);
        return 0;
    }
    Link link;
    link.action = entry->command >= kCmdSmsWork ? LinkAction::Message : LinkAction::Dial;
    link.number = entry->number;
    HandOver(messenger, kPhoneWindow, &link);
    return 0;
}
