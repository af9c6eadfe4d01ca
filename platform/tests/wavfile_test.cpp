// The ring tone reader: the forms of RIFF/WAVE that ring, and the damaged or foreign files
// that must stay silent (every one of them is refused before it reaches the sound system).
#include "platform/wavfile.h"

#include <gtest/gtest.h>

#include <string>

namespace qvl {
namespace {

void PutLe(std::string& out, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
}

std::string Chunk(const char* id, const std::string& body) {
    std::string out(id, 4);
    PutLe(out, static_cast<std::uint32_t>(body.size()), 4);
    out += body;
    if (body.size() % 2 != 0) {
        out.push_back('\0');
    }
    return out;
}

std::string Fmt(std::uint16_t code, std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                std::uint16_t blockAlign = 0) {
    if (blockAlign == 0) {
        blockAlign = static_cast<std::uint16_t>(channels * bits / 8);
    }
    std::string f;
    PutLe(f, code, 2);
    PutLe(f, channels, 2);
    PutLe(f, rate, 4);
    PutLe(f, rate * blockAlign, 4);
    PutLe(f, blockAlign, 2);
    PutLe(f, bits, 2);
    return f;
}

std::string Extensible(std::uint16_t sub, std::uint16_t channels, std::uint16_t bits) {
    std::string f = Fmt(0xFFFE, channels, 8000, bits);
    PutLe(f, 22, 2);
    PutLe(f, bits, 2);
    PutLe(f, 0, 4);
    PutLe(f, sub, 2);
    f += std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
    return f;
}

std::string Riff(const std::string& chunks, std::uint32_t riffSize = 0xFFFFFFFF) {
    std::string out = "RIFF";
    PutLe(out, riffSize == 0xFFFFFFFF ? static_cast<std::uint32_t>(4 + chunks.size()) : riffSize,
          4);
    return out + "WAVE" + chunks;
}

std::optional<WavSound> Parse(const std::string& bytes) {
    return ParseWav(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

const std::string kSamples16 = std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8);
const std::string kTone = Riff(Chunk("fmt ", Fmt(1, 1, 8000, 16)) + Chunk("data", kSamples16));

struct Rings {
    const char* name;
    std::string file;
    WavSampleFormat format;
    std::uint16_t channels;
    std::string samples;
};

TEST(WavFile, FormsThatRing) {
    std::string data2GB = "data";
    PutLe(data2GB, 0x7FFFFFFF, 4);
    const Rings rows[] = {
        {"16-bit mono", kTone, WavSampleFormat::Int16, 1, kSamples16},
        {"8-bit", Riff(Chunk("fmt ", Fmt(1, 1, 11025, 8)) + Chunk("data", "abc")),
         WavSampleFormat::UInt8, 1, "abc"},
        {"24-bit widened to 32",
         Riff(Chunk("fmt ", Fmt(1, 1, 8000, 24)) + Chunk("data", "\x11\x22\x33\x44\x55\x66")),
         WavSampleFormat::Int32, 1, std::string("\0\x11\x22\x33\0\x44\x55\x66", 8)},
        {"32-bit float stereo",
         Riff(Chunk("fmt ", Fmt(3, 2, 48000, 32)) + Chunk("data", "12345678")),
         WavSampleFormat::Float32, 2, "12345678"},
        {"extensible PCM", Riff(Chunk("fmt ", Extensible(1, 2, 16)) + Chunk("data", "abcd")),
         WavSampleFormat::Int16, 2, "abcd"},
        {"list chunk of odd length first",
         Riff(Chunk("LIST", "odd") + Chunk("fmt ", Fmt(1, 1, 8000, 16)) + Chunk("data", "ab")),
         WavSampleFormat::Int16, 1, "ab"},
        {"data before format", Riff(Chunk("data", "ab") + Chunk("fmt ", Fmt(1, 1, 8000, 16))),
         WavSampleFormat::Int16, 1, "ab"},
        {"half frame at the end dropped",
         Riff(Chunk("fmt ", Fmt(1, 2, 8000, 16)) + Chunk("data", "abcdef")), WavSampleFormat::Int16,
         2, "abcd"},
        {"riff size zero, as streaming writers leave it",
         Riff(Chunk("fmt ", Fmt(1, 1, 8000, 16)) + Chunk("data", "ab"), 0), WavSampleFormat::Int16,
         1, "ab"},
        {"cut short in the samples keeps what is there",
         Riff(Chunk("fmt ", Fmt(1, 1, 8000, 16)) + data2GB + "abcde", 0), WavSampleFormat::Int16, 1,
         "abcd"},
        {"trailing bytes past the riff size ignored",
         Riff(Chunk("fmt ", Fmt(1, 1, 8000, 16)) + "data" + std::string("\x04\0\0\0", 4) + "abcd",
              4 + 24 + 8 + 2) +
             "cd",
         WavSampleFormat::Int16, 1, "ab"},
    };
    for (const Rings& row : rows) {
        SCOPED_TRACE(row.name);
        const auto sound = Parse(row.file);
        ASSERT_TRUE(sound.has_value());
        EXPECT_EQ(sound->format, row.format);
        EXPECT_EQ(sound->channels, row.channels);
        EXPECT_EQ(std::string(sound->samples.begin(), sound->samples.end()), row.samples);
    }
    EXPECT_EQ(Parse(kTone)->sampleRate, 8000u);
}

TEST(WavFile, DamagedOrForeignFilesStaySilent) {
    const std::string fmt16 = Chunk("fmt ", Fmt(1, 1, 8000, 16));
    std::string fmtLie = "fmt ";
    PutLe(fmtLie, 1000, 4);
    fmtLie += Fmt(1, 1, 8000, 16);
    const struct {
        const char* name;
        std::string file;
    } rows[] = {
        {"empty", ""},
        {"text", "this is not a wave file"},
        {"riff of another kind", "RIFF\x04\0\0\0AVI "},
        {"no data chunk", Riff(fmt16)},
        {"no format chunk", Riff(Chunk("data", kSamples16))},
        {"two format chunks", Riff(fmt16 + fmt16 + Chunk("data", kSamples16))},
        {"format chunk longer than the file", Riff(fmtLie + Chunk("data", kSamples16))},
        {"format chunk too short", Riff(Chunk("fmt ", "\x01\x00\x01\x00") + Chunk("data", "ab"))},
        {"compressed (MPEG layer 3)",
         Riff(Chunk("fmt ", Fmt(0x55, 1, 8000, 16)) + Chunk("data", "ab"))},
        {"a-law", Riff(Chunk("fmt ", Fmt(6, 1, 8000, 8)) + Chunk("data", "ab"))},
        {"12 bits", Riff(Chunk("fmt ", Fmt(1, 1, 8000, 12, 2)) + Chunk("data", "ab"))},
        {"64-bit float", Riff(Chunk("fmt ", Fmt(3, 1, 8000, 64)) + Chunk("data", "abcdefgh"))},
        {"no channel", Riff(Chunk("fmt ", Fmt(1, 0, 8000, 16, 2)) + Chunk("data", "ab"))},
        {"nine channels", Riff(Chunk("fmt ", Fmt(1, 9, 8000, 8)) + Chunk("data", "abcdefghi"))},
        {"rate zero", Riff(Chunk("fmt ", Fmt(1, 1, 0, 16)) + Chunk("data", "ab"))},
        {"rate too high", Riff(Chunk("fmt ", Fmt(1, 1, 400000, 16)) + Chunk("data", "ab"))},
        {"block align wrong", Riff(Chunk("fmt ", Fmt(1, 1, 8000, 16, 3)) + Chunk("data", "abc"))},
        {"extensible with a foreign GUID",
         Riff(Chunk("fmt ", Extensible(1, 1, 16).replace(30, 1, "\x11")) + Chunk("data", "ab"))},
        {"extensible of a compressed kind",
         Riff(Chunk("fmt ", Extensible(0x55, 1, 16)) + Chunk("data", "ab"))},
        {"no whole frame", Riff(fmt16 + Chunk("data", "a"))},
        {"empty data", Riff(fmt16 + Chunk("data", ""))},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_FALSE(Parse(row.file).has_value());
    }
    // Every cut inside the header and the first frame.
    for (std::size_t n = 0; n < 46; ++n) {
        SCOPED_TRACE(n);
        EXPECT_FALSE(Parse(kTone.substr(0, n)).has_value());
    }
    EXPECT_TRUE(Parse(kTone.substr(0, 46)).has_value());
}

TEST(WavFile, LargeFileRefusedUnread) {
    std::string big = kTone;
    big.resize(kMaxWavFileBytes + 1, '\0');
    EXPECT_FALSE(Parse(big).has_value());
}

}  // namespace
}  // namespace qvl
