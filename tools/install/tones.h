// Ring tones the install step puts into the device's "\windows" folder: short synthesized
// sounds, 8 kHz 16-bit mono PCM in a RIFF/WAVE file, made here so that the project ships no
// sound files of unclear origin.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qvl::install {

inline constexpr std::uint32_t kToneSampleRate = 8000;

struct Tone {
    const char16_t* fileName;      // bare name in "\windows"
    std::vector<std::int16_t> pcm;  // mono samples at kToneSampleRate
};

// The tones in the order they are installed: a telephone ring, a rising chirp, a short
// two-note message beep.
std::vector<Tone> MakeTones();

// A complete .wav file (canonical 44-byte header, then the samples little-endian).
std::string EncodeWav(const std::vector<std::int16_t>& pcm, std::uint32_t sampleRate);

}  // namespace qvl::install
