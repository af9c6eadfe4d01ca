// Modem port discovery over a private registry, and the serial-device overlay built from a
// fake /sys and /dev tree.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/text.h"
#include "common/transport/discovery.h"
#include "platform/registry.h"
#include "platform/serial/devices.h"

namespace qvl {
namespace {

namespace fs = std::filesystem;

class DiscoveryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = "/tmp/qvl-discovery.XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_root = pattern;
        ::setenv("QVL_HOME", (m_root + "/home").c_str(), 1);
        RegDeleteTree(RegRoot::LocalMachine, u"ExtModems");
        RegDeleteTree(RegRoot::LocalMachine, u"Drivers");
    }
    void TearDown() override {
        RegDeleteTree(RegRoot::LocalMachine, u"ExtModems");
        RegDeleteTree(RegRoot::LocalMachine, u"Drivers");
        std::error_code ec;
        fs::remove_all(m_root, ec);
    }

    static void AddExtModem(const std::u16string& name, const char16_t* port,
                            const char16_t* friendly, std::optional<std::uint32_t> type = {}) {
        const RegKey key =
            RegKey::Open(RegRoot::LocalMachine, u"ExtModems\\" + name, RegOpen::Create);
        if (port != nullptr) {
            key.WriteString(u"Port", port);
        }
        if (friendly != nullptr) {
            key.WriteString(u"FriendlyName", friendly);
        }
        if (type) {
            key.WriteDword(u"DeviceType", *type);
        }
    }

    // An active driver slot; with a driverKey the friendly name goes into that key.
    static void AddActive(const std::u16string& slot, const char16_t* name, const char16_t* pnpId,
                          const char16_t* driverKey, const char16_t* friendly) {
        const RegKey key = RegKey::Open(RegRoot::LocalMachine, u"Drivers\\Active\\" + slot,
                                        RegOpen::CreateVolatile);
        if (name != nullptr) {
            key.WriteString(u"Name", name);
        }
        if (pnpId != nullptr) {
            key.WriteString(u"PnpId", pnpId);
        }
        if (driverKey != nullptr) {
            key.WriteString(u"Key", driverKey);
            if (friendly != nullptr) {
                RegKey::Open(RegRoot::LocalMachine, driverKey, RegOpen::CreateVolatile)
                    .WriteString(u"FriendlyName", friendly);
            }
        }
    }

    static std::vector<ModemEntry> List(std::size_t capacity = kMaxModemEntries) {
        std::vector<ModemEntry> entries(capacity + 1);
        entries.back().label = u"untouched";
        const std::size_t n = EnumerateModems(entries.data(), capacity);
        EXPECT_EQ(entries.back().label, u"untouched") << "wrote past the capacity";
        entries.resize(n);
        return entries;
    }

    void MakeFile(const std::string& path, const std::string& text) const {
        fs::create_directories(fs::path(m_root + path).parent_path());
        std::ofstream(m_root + path) << text << "\n";
    }
    void MakeDir(const std::string& path) const { fs::create_directories(m_root + path); }
    void MakeLink(const std::string& path, const std::string& target) const {
        fs::create_directories(fs::path(m_root + path).parent_path());
        fs::create_directory_symlink(target, m_root + path);
    }

    std::string m_root;
};

struct Expected {
    std::u16string label, display, port;
};

void ExpectEntries(const std::vector<ModemEntry>& got, const std::vector<Expected>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(WideToUtf8(got[i].label), WideToUtf8(want[i].label)) << "entry " << i;
        EXPECT_EQ(WideToUtf8(got[i].displayName), WideToUtf8(want[i].display)) << "entry " << i;
        EXPECT_EQ(WideToUtf8(got[i].portName), WideToUtf8(want[i].port)) << "entry " << i;
    }
}

TEST_F(DiscoveryTest, ExternalModemsComeFirstWithCableAndInfraredLabels) {
    AddExtModem(u"HayesCompat", u"/dev/ttyS1", u"Hayes Compatible on COM1:");
    AddExtModem(u"GenericInfraredModem", u"/dev/ircomm0", u"Generic IrDA Modem");
    AddExtModem(u"GPRS_Modem", u"/dev/ttyUSB3", u"GPRS_Modem");
    AddExtModem(u"NoPort", nullptr, u"Lost");
    AddExtModem(u"NoName", u"/dev/ttyUSB9", nullptr);
    AddActive(u"01", u"/dev/ttyACM0", nullptr, u"Drivers\\USB\\Serial\\ttyACM0",
              u"Phone (ttyACM0)");
    ExpectEntries(List(), {{u"Cable", u"Hayes Compatible on COM1:", u"/dev/ttyS1"},
                           {u"Infrared", u"Generic IrDA Modem", u"/dev/ircomm0"},
                           {u"GPRS_Modem", u"GPRS_Modem", u"/dev/ttyUSB3"},
                           {u"Phone (ttyACM0)", u"Phone (ttyACM0)", u"/dev/ttyACM0"}});
}

TEST_F(DiscoveryTest, ActiveDriversByPnpIdOrFriendlyNameWithoutBuiltIns) {
    AddActive(u"01", u"/dev/rfcomm0", u"BTSerial [DUN]", nullptr, nullptr);
    AddActive(u"02", u"/dev/rfcomm1", nullptr, u"Drivers\\Bluetooth\\Serial\\rfcomm1",
              u"rfcomm1 00:11:22:33:44:55 [DUN]");
    AddActive(u"03", u"/dev/ttyS0", nullptr, u"Drivers\\BuiltIn\\Serial\\ttyS0", u"Serial port");
    AddActive(u"04", nullptr, u"NoName", nullptr, nullptr);
    AddActive(u"05", u"/dev/ttyUSB7", nullptr, nullptr, nullptr);                   // no Key
    AddActive(u"06", u"/dev/ttyUSB8", nullptr, u"Drivers\\USB\\Missing", nullptr);  // no name
    AddActive(u"07", u"/dev/ttyUSB0", u"USB\\VID_12D1", nullptr, nullptr);
    ExpectEntries(List(), {{u"BTSerial [Bluetooth]", u"BTSerial [DUN]", u"/dev/rfcomm0"},
                           {u"rfcomm1 00:11:22:33:44:55 [Bluetooth]",
                            u"rfcomm1 00:11:22:33:44:55 [DUN]", u"/dev/rfcomm1"},
                           {u"USB\\VID_12D1", u"USB\\VID_12D1", u"/dev/ttyUSB0"}});
}

TEST_F(DiscoveryTest, NeverMoreThanTheCapacity) {
    for (int i = 0; i < 15; ++i) {
        AddExtModem(u"Ext" + Widen(std::to_string(i)), u"/dev/ttyUSB0", u"Ext");
    }
    for (int i = 0; i < 10; ++i) {
        const std::u16string n = Widen(std::to_string(10 + i));
        AddActive(n, u"/dev/ttyACM0", u"Acm", nullptr, nullptr);
    }
    EXPECT_EQ(List().size(), 20u);
    EXPECT_EQ(List(3).size(), 3u);
    EXPECT_EQ(EnumerateModems(nullptr, 20), 0u);
}

TEST_F(DiscoveryTest, NothingRegisteredListsNothing) {
    EXPECT_TRUE(List().empty());
}

struct ChannelCase {
    const char* name;
    const char16_t* channel;
    bool found;
    const char16_t* port;
};

class FindExtModemTest : public DiscoveryTest, public ::testing::WithParamInterface<ChannelCase> {};

TEST_P(FindExtModemTest, FindsOnlyChannelsOfDeviceTypeOne) {
    AddExtModem(u"HayesCompat", u"/dev/ttyS1", u"Cable", 1);
    AddExtModem(u"MPLCMD", u"/dev/ttyUSB2", u"Multiplexer commands", 1);
    AddExtModem(u"MPLDATA", u"/dev/ttyUSB3", u"Multiplexer data", 2);
    AddExtModem(u"MPLAUX", nullptr, u"No port", 1);
    std::u16string display = u"unchanged", port = u"unchanged";
    const ChannelCase& row = GetParam();
    EXPECT_EQ(FindExtModem(row.channel, display, port), row.found);
    EXPECT_EQ(WideToUtf8(port), WideToUtf8(row.port));
}

INSTANTIATE_TEST_SUITE_P(
    Channels, FindExtModemTest,
    ::testing::Values(ChannelCase{"CommandChannel", u"MPLCMD", true, u"/dev/ttyUSB2"},
                      ChannelCase{"DataChannelOfOtherType", u"MPLDATA", false, u"unchanged"},
                      ChannelCase{"MissingValue", u"MPLAUX", false, u"unchanged"},
                      ChannelCase{"Unknown", u"MPLX", false, u"unchanged"}),
    [](const ::testing::TestParamInfo<ChannelCase>& row) { return std::string(row.param.name); });

TEST_F(DiscoveryTest, NoExternalModemsKeyFindsNothing) {
    std::u16string display, port;
    EXPECT_FALSE(FindExtModem(u"MPLCMD", display, port));
}

// The overlay from a machine with a USB modem stick, a phone on ACM, a Bluetooth DUN port, a
// built-in UART and a virtual console.
TEST_F(DiscoveryTest, OverlayFromSysfsOffersUsbAcmAndBluetoothButNotBuiltInPorts) {
    MakeFile("/sys/devices/pci0/usb1/1-1/product", "Mobile Broadband Stick");
    MakeDir("/sys/devices/pci0/usb1/1-1/1-1:1.0/ttyUSB0");
    MakeDir("/sys/devices/pci0/usb1/1-1/1-1:1.2/ttyUSB2");
    MakeLink("/sys/class/tty/ttyUSB0/device", "../../../devices/pci0/usb1/1-1/1-1:1.0/ttyUSB0");
    MakeLink("/sys/class/tty/ttyUSB2/device", "../../../devices/pci0/usb1/1-1/1-1:1.2/ttyUSB2");
    MakeFile("/sys/devices/pci0/usb1/1-2/product", "Handset ACM");
    MakeDir("/sys/devices/pci0/usb1/1-2/1-2:1.1");
    MakeLink("/sys/class/tty/ttyACM0/device", "../../../devices/pci0/usb1/1-2/1-2:1.1");
    MakeFile("/sys/class/tty/rfcomm0/address", "00:1A:7D:DA:71:13");
    MakeDir("/sys/devices/platform/serial8250");
    MakeLink("/sys/class/tty/ttyS0/device", "../../../devices/platform/serial8250");
    MakeDir("/sys/class/tty/tty0");
    MakeDir("/dev/serial/by-id");
    fs::create_symlink("../../ttyUSB2", m_root + "/dev/serial/by-id/usb-Maker_Stick-if02-port0");

    const SerialDeviceRoots roots{m_root + "/sys", m_root + "/dev"};
    EXPECT_EQ(RefreshSerialDevices(roots), 5);
    // A second refresh replaces the overlay instead of adding to it.
    EXPECT_EQ(RefreshSerialDevices(roots), 5);
    const std::u16string dev = Utf8ToWide(m_root + "/dev/");
    ExpectEntries(List(),
                  {{u"rfcomm0 00:1A:7D:DA:71:13 [Bluetooth]", u"rfcomm0 00:1A:7D:DA:71:13 [DUN]",
                    dev + u"rfcomm0"},
                   {u"Handset ACM (ttyACM0)", u"Handset ACM (ttyACM0)", dev + u"ttyACM0"},
                   {u"Mobile Broadband Stick (ttyUSB0)", u"Mobile Broadband Stick (ttyUSB0)",
                    dev + u"ttyUSB0"},
                   {u"Mobile Broadband Stick (ttyUSB2)", u"Mobile Broadband Stick (ttyUSB2)",
                    dev + u"serial/by-id/usb-Maker_Stick-if02-port0"}});

    // The overlay lives in memory only: a persistent write elsewhere does not save it.
    RegKey::Open(RegRoot::LocalMachine, u"SOFTWARE\\Quorvel\\Test", RegOpen::Create)
        .WriteString(u"Probe", u"1");
    std::string saved;
    for (const auto& entry : fs::recursive_directory_iterator(m_root + "/home")) {
        if (entry.is_regular_file()) {
            std::ifstream in(entry.path());
            saved.append(std::istreambuf_iterator<char>(in), {});
        }
    }
    EXPECT_NE(saved.find("Probe"), std::string::npos);
    EXPECT_EQ(saved.find("ttyUSB"), std::string::npos);
    RegDeleteTree(RegRoot::LocalMachine, u"SOFTWARE\\Quorvel\\Test");
}

TEST_F(DiscoveryTest, OverlayOfAMachineWithoutSysfsIsEmpty) {
    EXPECT_EQ(RefreshSerialDevices({m_root + "/nosys", m_root + "/nodev"}), 0);
    EXPECT_TRUE(List().empty());
}

}  // namespace
}  // namespace qvl
