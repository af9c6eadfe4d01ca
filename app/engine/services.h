// The engine's default system services: the serial transport, the registry's modem list, the
// power supply class in /sys, and the MMS profile file.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "app/engine/ports.h"

namespace qvl {

// IModemIo over the serial transport (PortInitialize, PortWrite, PortRead, PortClose).
class SerialModemIo final : public IModemIo {
  public:
    int Open(std::u16string_view portName, PortHandle& handle) override;
    int Write(PortHandle handle, std::u16string_view command) override;
    void Read(PortHandle handle, std::u16string& response, std::uint32_t timeoutMs) override;
    int WriteSecret(PortHandle handle, std::u16string_view command) override;
    void ReadSecret(PortHandle handle, std::u16string& response, std::uint32_t timeoutMs) override;
    int Close(PortHandle& handle) override;
    bool DeviceLost(PortHandle handle) override;
};

// IModemDirectory over the registry (EnumerateModems, FindExtModem).
class RegistryModemDirectory final : public IModemDirectory {
  public:
    std::vector<ModemEntry> EnumerateModems(std::size_t capacity) override;
    bool FindExtModem(std::u16string_view channel, std::u16string& displayName,
                      std::u16string& portName) override;
};

// The Linux power supply class: <root>/<supply>/{type,online,status,capacity}. A machine with
// no battery (a desktop) reads as running on mains.
class SysfsPowerSupply final : public IPowerSupply {
  public:
    explicit SysfsPowerSupply(std::string root = "/sys/class/power_supply")
        : m_root(std::move(root)) {}
    PowerStatus Read() override;

  private:
    std::string m_root;
};

// Operator names from the MMS profile file (record type 4 of the record store format). A
// missing or unreadable file has no profiles.
class FileOperatorProfiles final : public IOperatorProfiles {
  public:
    explicit FileOperatorProfiles(std::string path) : m_path(std::move(path)) {}
    std::optional<std::u16string> OperatorNameForCode(std::int64_t networkCode) override;

  private:
    std::string m_path;
};

// The profile name of the first type-4 record whose operator code equals networkCode, read
// from the bytes of a record file. Bounds-checked: a cut-off file ends the search.
std::optional<std::u16string> FindProfileOperatorName(std::span<const std::uint8_t> file,
                                                      std::int64_t networkCode);

// The device root's "QVLMMSProfiles.dat": $QVL_HOME, else $XDG_DATA_HOME/quorvel-phone, else
// ~/.local/share/quorvel-phone.
std::string DefaultProfilesPath();

}  // namespace qvl
