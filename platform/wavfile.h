// The ring tones are RIFF/WAVE files. This reads one far enough to hand its samples to an audio
// output, and refuses everything else, so that a damaged, truncated or foreign file never
// reaches the sound system: the phone then plays nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace qvl {

enum class WavSampleFormat { UInt8, Int16, Int32, Float32 };

struct WavSound {
    WavSampleFormat format = WavSampleFormat::Int16;
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
    // Interleaved frames, little-endian; 24-bit samples are widened to 32 bits.
    std::vector<std::uint8_t> samples;

    std::size_t BytesPerFrame() const;
};

// A ring tone larger than this is not read: no ring needs minutes of sound, and the phone must
// not take a large foreign file into memory.
inline constexpr std::size_t kMaxWavFileBytes = 32u << 20;

// Linear PCM (8, 16, 24 or 32 bits) or 32-bit float, plain or in the extensible format
// header, 1 to 8 channels, 1,000 to 384,000 frames a second. A data chunk that claims more
// than the file holds keeps the whole frames that are there (a file cut short in its samples
// still rings). No value when the file is not such a sound or holds no whole frame.
std::optional<WavSound> ParseWav(std::span<const std::uint8_t> file);

}  // namespace qvl
