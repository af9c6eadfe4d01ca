// Modem port discovery from HKLM\ExtModems and HKLM\Drivers\Active.
#include "common/transport/discovery.h"

#include "platform/registry.h"

namespace qvl {
namespace {

bool Contains(std::u16string_view text, std::u16string_view part) {
    return text.find(part) != std::u16string_view::npos;
}

// A Bluetooth dial-up port is shown with "Bluetooth" wherever its driver name says "DUN".
std::u16string BluetoothLabel(std::u16string name) {
    if (!Contains(name, u"[DUN]")) {
        return name;
    }
    std::u16string label;
    for (std::size_t at = 0; at < name.size();) {
        if (name.compare(at, 3, u"DUN") == 0) {
            label += u"Bluetooth";
            at += 3;
        } else {
            label += name[at++];
        }
    }
    return label;
}

}  // namespace

std::size_t EnumerateModems(ModemEntry* entries, std::size_t capacity) {
    std::size_t filled = 0;
    if (entries == nullptr || capacity == 0) {
        return 0;
    }
    if (const RegKey ext = RegKey::Open(RegRoot::LocalMachine, u"ExtModems"); ext) {
        for (const std::u16string& name : ext.SubKeyNames()) {
            if (filled >= capacity) {
                return filled;
            }
            const RegKey modem = ext.OpenSub(name);
            if (!modem) {
                continue;
            }
            const auto port = modem.ReadString(u"Port");
            const auto friendly = modem.ReadString(u"FriendlyName");
            if (!port || !friendly) {
                continue;
            }
            std::u16string label = *friendly;
            if (name == u"GenericInfraredModem") {
                label = u"Infrared";
            } else if (name == u"HayesCompat") {
                label = u"Cable";
            }
            entries[filled++] = ModemEntry{label, *friendly, *port};
        }
    }
    if (const RegKey active = RegKey::Open(RegRoot::LocalMachine, u"Drivers\\Active"); active) {
        for (const std::u16string& name : active.SubKeyNames()) {
            if (filled >= capacity) {
                return filled;
            }
            const RegKey driver = active.OpenSub(name);
            if (!driver) {
                continue;
            }
            const auto port = driver.ReadString(u"Name");
            if (!port) {
                continue;
            }
            if (const auto pnpId = driver.ReadString(u"PnpId")) {
                entries[filled++] = ModemEntry{BluetoothLabel(*pnpId), *pnpId, *port};
                continue;
            }
            const auto keyPath = driver.ReadString(u"Key");
            if (!keyPath || Contains(*keyPath, u"Drivers\\BuiltIn")) {
                continue;
            }
            const RegKey driverKey = RegKey::Open(RegRoot::LocalMachine, *keyPath);
            const auto friendly = driverKey ? driverKey.ReadString(u"FriendlyName") : std::nullopt;
            if (!friendly) {
                continue;
            }
            entries[filled++] = ModemEntry{BluetoothLabel(*friendly), *friendly, *port};
        }
    }
    return filled;
}

bool FindExtModem(std::u16string_view channel, std::u16string& displayName,
                  std::u16string& portName) {
    const RegKey ext = RegKey::Open(RegRoot::LocalMachine, u"ExtModems");
    if (!ext) {
        return false;
    }
    for (const std::u16string& name : ext.SubKeyNames()) {
        const RegKey modem = ext.OpenSub(name);
        if (!modem) {
            return false;
        }
        if (modem.ReadDword(u"DeviceType") != 1u) {
            continue;
        }
        const auto friendly = modem.ReadString(u"FriendlyName");
        const auto port = modem.ReadString(u"Port");
        if (!friendly || !port) {
            continue;
        }
        if (name == channel) {
            displayName = *friendly;
            portName = *port;
            return true;
        }
    }
    return false;
}

}  // namespace qvl
