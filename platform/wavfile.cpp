#include "platform/wavfile.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "base/reader.h"

namespace qvl {

namespace {

constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatFloat = 3;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;
// The tail shared by the sub-format GUIDs of the extensible header; its first two octets are
// the plain format code.
constexpr std::array<std::uint8_t, 14> kGuidTail{0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

bool IsTag(std::span<const std::uint8_t> id, const char* tag) {
    return id.size() == 4 && std::memcmp(id.data(), tag, 4) == 0;
}

struct Format {
    std::uint16_t code = 0;
    std::uint16_t channels = 0;
    std::uint32_t rate = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bits = 0;
};

std::optional<Format> ReadFormat(std::span<const std::uint8_t> body) {
    ByteReader r(body);
    Format f;
    f.code = r.U16Le();
    f.channels = r.U16Le();
    f.rate = r.U32Le();
    r.U32Le();  // bytes per second: derived, often wrong in the wild
    f.blockAlign = r.U16Le();
    f.bits = r.U16Le();
    if (!r.Ok()) {
        return std::nullopt;
    }
    if (f.code == kFormatExtensible) {
        const std::uint16_t extra = r.U16Le();
        r.U16Le();  // valid bits per sample
        r.U32Le();  // speaker positions
        const std::uint16_t sub = r.U16Le();
        const auto tail = r.Take(kGuidTail.size());
        if (!r.Ok() || extra < 22 || !std::equal(tail.begin(), tail.end(), kGuidTail.begin())) {
            return std::nullopt;
        }
        f.code = sub;
    }
    return f;
}

std::optional<WavSampleFormat> SampleFormatOf(const Format& f) {
    if (f.code == kFormatFloat && f.bits == 32) {
        return WavSampleFormat::Float32;
    }
    if (f.code != kFormatPcm) {
        return std::nullopt;
    }
    switch (f.bits) {
        case 8:
            return WavSampleFormat::UInt8;
        case 16:
            return WavSampleFormat::Int16;
        case 24:
        case 32:
            return WavSampleFormat::Int32;
        default:
            return std::nullopt;
    }
}

}  // namespace

std::size_t WavSound::BytesPerFrame() const {
    std::size_t bytes = 0;
    switch (format) {
        case WavSampleFormat::UInt8:
            bytes = 1;
            break;
        case WavSampleFormat::Int16:
            bytes = 2;
            break;
        case WavSampleFormat::Int32:
        case WavSampleFormat::Float32:
            bytes = 4;
            break;
    }
    return bytes * channels;
}

std::optional<WavSound> ParseWav(std::span<const std::uint8_t> file) {
    if (file.size() > kMaxWavFileBytes) {
        return std::nullopt;
    }
    ByteReader head(file);
    const auto riff = head.Take(4);
    const std::uint32_t riffSize = head.U32Le();
    const auto wave = head.Take(4);
    if (!head.Ok() || !IsTag(riff, "RIFF") || !IsTag(wave, "WAVE")) {
        return std::nullopt;
    }
    // Writers that stream often leave the RIFF size 0 or too large; trailing bytes past a
    // plausible size are not part of the sound.
    std::size_t end = file.size();
    if (riffSize >= 4 && riffSize <= file.size() - 8) {
        end = 8 + std::size_t{riffSize};
    }
    ByteReader r(file.subspan(12, end - 12));

    std::optional<Format> format;
    std::span<const std::uint8_t> data;
    bool haveData = false;
    while (r.Remaining() >= 8 && !(format && haveData)) {
        const auto id = r.Take(4);
        const std::uint32_t size = r.U32Le();
        if (IsTag(id, "fmt ")) {
            const auto body = r.Take(size);
            if (!r.Ok() || format) {
                return std::nullopt;
            }
            format = ReadFormat(body);
            if (!format) {
                return std::nullopt;
            }
        } else if (IsTag(id, "data")) {
            data = r.TakeAtMost(size);
            haveData = true;
        } else if (!r.Skip(size)) {
            break;
        }
        if ((size & 1) != 0) {
            r.TakeAtMost(1);  // chunks are padded to an even length
        }
    }
    if (!format || !haveData) {
        return std::nullopt;
    }
    const auto sampleFormat = SampleFormatOf(*format);
    if (!sampleFormat || format->channels < 1 || format->channels > 8 || format->rate < 1000 ||
        format->rate > 384000 ||
        format->blockAlign != static_cast<std::uint32_t>(format->channels) * format->bits / 8) {
        return std::nullopt;
    }

    WavSound sound;
    sound.format = *sampleFormat;
    sound.channels = format->channels;
    sound.sampleRate = format->rate;
    const std::size_t frames = data.size() / format->blockAlign;
    if (frames == 0) {
        return std::nullopt;
    }
    const std::size_t samples = frames * format->channels;
    if (format->bits == 24) {
        // Widened to the top three octets of a 32-bit sample, which keeps the level.
        sound.samples.resize(samples * 4);
        for (std::size_t i = 0; i < samples; ++i) {
            sound.samples[4 * i] = 0;
            std::memcpy(&sound.samples[4 * i + 1], &data[3 * i], 3);
        }
    } else {
        sound.samples.assign(data.begin(), data.begin() + frames * format->blockAlign);
    }
    return sound;
}

}  // namespace qvl
