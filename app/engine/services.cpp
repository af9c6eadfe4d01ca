#include "app/engine/services.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/reader.h"
#include "base/text.h"

namespace qvl {

int SerialModemIo::Open(std::u16string_view portName, PortHandle& handle) {
    return PortInitialize(portName, handle);
}

int SerialModemIo::Write(PortHandle handle, std::u16string_view command) {
    return PortWrite(handle, command);
}

void SerialModemIo::Read(PortHandle handle, std::u16string& response, std::uint32_t timeoutMs) {
    PortRead(handle, response, timeoutMs);
}

// The transport traces every command it writes and every answer it reads; a code must not
// reach that trace (nor the answer, where the modem's echo repeats it). So the secret write is
// the transport's untraced write, and the read uses the untraced raw reads.
int SerialModemIo::WriteSecret(PortHandle handle, std::u16string_view command) {
    return PortWriteSecret(handle, command);
}

void SerialModemIo::ReadSecret(PortHandle handle, std::u16string& response,
                               std::uint32_t timeoutMs) {
    std::uint8_t chunk[kReadChunkBytes + 1];
    for (int pass = 0; pass < kReadChunks; ++pass) {
        std::size_t received = kReadChunkBytes;
        int more = PortReadRaw(handle, chunk, received, timeoutMs);
        AppendResponseText(response, chunk, received);
        if (more == 0 && response == kEscOk) {
            response.clear();
            more = 1;
        }
        if (more != 1) {
            break;
        }
    }
    std::fill(std::begin(chunk), std::end(chunk), std::uint8_t{0});
}

int SerialModemIo::Close(PortHandle& handle) {
    return PortClose(handle);
}

std::vector<ModemEntry> RegistryModemDirectory::EnumerateModems(std::size_t capacity) {
    std::vector<ModemEntry> entries(capacity);
    const std::size_t n = qvl::EnumerateModems(entries.data(), entries.size());
    entries.resize(std::min(n, capacity));
    return entries;
}

bool RegistryModemDirectory::FindExtModem(std::u16string_view channel, std::u16string& displayName,
                                          std::u16string& portName) {
    return qvl::FindExtModem(channel, displayName, portName);
}

namespace {

std::string ReadFirstLine(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) {
        line.pop_back();
    }
    return line;
}

}  // namespace

bool SerialModemIo::DeviceLost(PortHandle handle) {
    return PortDeviceLost(handle);
}

PowerStatus SysfsPowerSupply::Read() {
    namespace fs = std::filesystem;
    PowerStatus status;
    std::vector<fs::path> supplies;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(m_root, ec)) {
        supplies.push_back(entry.path());
    }
    std::sort(supplies.begin(), supplies.end());
    bool batteryFound = false;
    for (const auto& supply : supplies) {
        const std::string type = ReadFirstLine(supply / "type");
        if (type == "Battery") {
            if (ReadFirstLine(supply / "present") == "0" || batteryFound) {
                continue;
            }
            batteryFound = true;
            const std::string state = ReadFirstLine(supply / "status");
            status.charging = state == "Charging";
            const auto percent = ParseDecimal(ReadFirstLine(supply / "capacity"), 0, 100);
            status.percent = percent ? static_cast<int>(*percent) : 255;
        } else if (!type.empty()) {
            // Mains, USB and the other external supplies.
            if (ReadFirstLine(supply / "online") == "1") {
                status.acOnline = true;
            }
        }
    }
    status.batteryPresent = batteryFound;
    if (!batteryFound) {
        status.acOnline = true;
    }
    return status;
}

std::optional<std::u16string> FindProfileOperatorName(std::span<const std::uint8_t> file,
                                                      std::int64_t networkCode) {
    constexpr std::size_t kProfilePayload = 492;
    constexpr std::size_t kNameOffset = 12;
    constexpr std::size_t kNameChars = 40;
    ByteReader reader(file);
    // The version record (tag 0) opens files written by the store.
    if (reader.Remaining() >= 8 && reader.Peek() == 0) {
        const std::uint32_t tag = reader.U32Le();
        reader.U32Le();
        if (tag != 0) {
            return std::nullopt;
        }
    }
    while (reader.Remaining() >= 4) {
        if (reader.U32Le() != 4) {
            // The profile file holds profiles only; another type ends what can be read.
            return std::nullopt;
        }
        const auto payload = reader.Take(kProfilePayload);
        if (!reader.Ok()) {
            return std::nullopt;
        }
        ByteReader record(payload);
        record.Skip(8);
        const auto code = static_cast<std::int32_t>(record.U32Le());
        if (code != networkCode) {
            continue;
        }
        static_assert(kNameOffset == 12, "the name follows id, key and operator code");
        std::u16string name;
        for (std::size_t i = 0; i < kNameChars; ++i) {
            const char16_t c = record.U16Le();
            if (c == 0) {
                break;
            }
            name.push_back(c);
        }
        return name;
    }
    return std::nullopt;
}

std::optional<std::u16string> FileOperatorProfiles::OperatorNameForCode(std::int64_t networkCode) {
    std::ifstream in(m_path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
    return FindProfileOperatorName(bytes, networkCode);
}

std::string DefaultProfilesPath() {
    std::string root;
    if (const char* home = std::getenv("QVL_HOME"); home != nullptr && *home != '\0') {
        root = home;
    } else if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg != '\0') {
        root = std::string(xdg) + "/quorvel-phone";
    } else if (const char* user = std::getenv("HOME"); user != nullptr) {
        root = std::string(user) + "/.local/share/quorvel-phone";
    }
    return root + "/QVLMMSProfiles.dat";
}

}  // namespace qvl
