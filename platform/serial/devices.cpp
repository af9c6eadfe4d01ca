// The serial-device overlay of HKLM\Drivers\Active, filled from sysfs.
#include "platform/serial/devices.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "base/text.h"
#include "platform/registry.h"

namespace qvl {
namespace {

namespace fs = std::filesystem;

enum class DeviceKind { Usb, Bluetooth, BuiltIn };

struct SerialDevice {
    std::string tty;
    DeviceKind kind = DeviceKind::BuiltIn;
    std::string friendlyName;
    std::string openPath;
};

// A one-line sysfs attribute without its line end; empty when missing.
std::string ReadAttribute(const fs::path& path) {
    std::ifstream in(path);
    std::string line;
    if (!in || !std::getline(in, line)) {
        return {};
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) {
        line.pop_back();
    }
    return line;
}

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// The USB product string of the device a tty belongs to: the nearest ancestor of the tty's
// device folder (port, interface, device) that has a "product" attribute.
std::string UsbProduct(const fs::path& deviceDir) {
    fs::path dir = deviceDir;
    for (int level = 0; level < 5 && !dir.empty() && dir != dir.root_path(); ++level) {
        std::string product = ReadAttribute(dir / "product");
        if (!product.empty()) {
            return product;
        }
        dir = dir.parent_path();
    }
    return {};
}

// tty name -> its /dev/serial/by-id link.
std::vector<std::pair<std::string, std::string>> ByIdLinks(const std::string& devRoot) {
    std::vector<std::pair<std::string, std::string>> links;
    std::error_code ec;
    const fs::path byId = fs::path(devRoot) / "serial" / "by-id";
    for (fs::directory_iterator it(byId, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code linkError;
        const fs::path target = fs::read_symlink(it->path(), linkError);
        if (!linkError) {
            links.emplace_back(target.filename().string(), it->path().string());
        }
    }
    std::sort(links.begin(), links.end());
    return links;
}

std::vector<SerialDevice> ScanDevices(const SerialDeviceRoots& roots) {
    std::vector<SerialDevice> devices;
    const auto byId = ByIdLinks(roots.dev);
    std::error_code ec;
    std::vector<fs::path> entries;
    for (fs::directory_iterator it(fs::path(roots.sys) / "class" / "tty", ec), end;
         !ec && it != end; it.increment(ec)) {
        entries.push_back(it->path());
    }
    std::sort(entries.begin(), entries.end());
    for (const fs::path& entry : entries) {
        SerialDevice device;
        device.tty = entry.filename().string();
        std::error_code linkError;
        const fs::path deviceDir = fs::canonical(entry / "device", linkError);
        if (StartsWith(device.tty, "rfcomm")) {
            // Bluetooth serial ports are bound to a dial-up (DUN) channel of a phone.
            const std::string address = ReadAttribute(entry / "address");
            device.kind = DeviceKind::Bluetooth;
            device.friendlyName =
                device.tty + (address.empty() ? std::string() : " " + address) + " [DUN]";
        } else if (linkError) {
            continue;  // a virtual terminal or the console: no device behind it
        } else if (deviceDir.string().find("/usb") != std::string::npos) {
            device.kind = DeviceKind::Usb;
            const std::string product = UsbProduct(deviceDir);
            // A modem stick offers several ports under one product name; the tty tells them
            // apart in the chooser.
            device.friendlyName =
                (product.empty() ? std::string("USB serial") : product) + " (" + device.tty + ")";
        } else {
            device.kind = DeviceKind::BuiltIn;
            device.friendlyName = "Serial port " + device.tty;
        }
        device.openPath = roots.dev + "/" + device.tty;
        for (const auto& [tty, link] : byId) {
            if (tty == device.tty) {
                device.openPath = link;
                break;
            }
        }
        devices.push_back(std::move(device));
    }
    return devices;
}

std::u16string DriverKeyPath(const SerialDevice& device) {
    std::u16string base;
    switch (device.kind) {
        case DeviceKind::Usb:
            base = u"Drivers\\USB\\Serial\\";
            break;
        case DeviceKind::Bluetooth:
            base = u"Drivers\\Bluetooth\\Serial\\";
            break;
        case DeviceKind::BuiltIn:
            base = u"Drivers\\BuiltIn\\Serial\\";
            break;
    }
    return base + Utf8ToWide(device.tty);
}

}  // namespace

int RefreshSerialDevices(const SerialDeviceRoots& roots) {
    for (const char16_t* path : {u"Drivers\\Active", u"Drivers\\USB\\Serial",
                                 u"Drivers\\Bluetooth\\Serial", u"Drivers\\BuiltIn\\Serial"}) {
        RegDeleteTree(RegRoot::LocalMachine, path);
    }
    const RegKey active =
        RegKey::Open(RegRoot::LocalMachine, u"Drivers\\Active", RegOpen::CreateVolatile);
    if (!active) {
        return 0;
    }
    int listed = 0;
    for (const SerialDevice& device : ScanDevices(roots)) {
        const std::u16string driverPath = DriverKeyPath(device);
        const RegKey driver =
            RegKey::Open(RegRoot::LocalMachine, driverPath, RegOpen::CreateVolatile);
        if (!driver) {
            continue;
        }
        driver.WriteString(u"FriendlyName", Utf8ToWide(device.friendlyName));
        char index[16];
        std::snprintf(index, sizeof index, "%02d", listed);
        const RegKey slot = active.OpenSub(Utf8ToWide(index), RegOpen::CreateVolatile);
        if (!slot) {
            continue;
        }
        slot.WriteString(u"Name", Utf8ToWide(device.openPath));
        slot.WriteString(u"Key", driverPath);
        ++listed;
    }
    return listed;
}

}  // namespace qvl
