#include "tools/install/tones.h"

#include <cmath>
#include <numbers>

namespace qvl::install {

namespace {

// Half of full scale leaves headroom for the two-tone mix.
constexpr double kLevel = 0.45 * 32767.0;
// 5 ms ramps at both ends of every burst, so that no burst starts or stops with a click.
constexpr double kRampSeconds = 0.005;

struct Burst {
    double seconds;
    double startHz;
    double endHz;    // equal to startHz for a steady tone
    double secondHz;  // 0, or a second steady tone mixed in
};

void AppendBurst(std::vector<std::int16_t>& out, const Burst& b) {
    const auto n = static_cast<std::size_t>(b.seconds * kToneSampleRate);
    double phase = 0;
    double phase2 = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kToneSampleRate;
        const double hz = b.startHz + (b.endHz - b.startHz) * t / b.seconds;
        phase += 2 * std::numbers::pi * hz / kToneSampleRate;
        double v = std::sin(phase);
        if (b.secondHz > 0) {
            phase2 += 2 * std::numbers::pi * b.secondHz / kToneSampleRate;
            v = 0.5 * (v + std::sin(phase2));
        }
        const double edge = std::min(t, b.seconds - t);
        const double gain = edge < kRampSeconds ? edge / kRampSeconds : 1.0;
        out.push_back(static_cast<std::int16_t>(std::lround(v * gain * kLevel)));
    }
}

void AppendSilence(std::vector<std::int16_t>& out, double seconds) {
    out.insert(out.end(), static_cast<std::size_t>(seconds * kToneSampleRate), 0);
}

void PutLe(std::string& out, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
}

}  // namespace

std::vector<Tone> MakeTones() {
    std::vector<Tone> tones;

    Tone ring{u"Quorvel Ring.wav", {}};
    for (int i = 0; i < 2; ++i) {
        AppendBurst(ring.pcm, {0.4, 425, 425, 475});
        AppendSilence(ring.pcm, 0.2);
    }
    AppendSilence(ring.pcm, 0.8);
    tones.push_back(std::move(ring));

    Tone chirp{u"Quorvel Chirp.wav", {}};
    for (int i = 0; i < 3; ++i) {
        AppendBurst(chirp.pcm, {0.15, 600, 1800, 0});
        AppendSilence(chirp.pcm, 0.1);
    }
    tones.push_back(std::move(chirp));

    Tone beep{u"Quorvel Message.wav", {}};
    AppendBurst(beep.pcm, {0.1, 1000, 1000, 0});
    AppendSilence(beep.pcm, 0.08);
    AppendBurst(beep.pcm, {0.12, 1300, 1300, 0});
    AppendSilence(beep.pcm, 0.1);
    tones.push_back(std::move(beep));
    return tones;
}

std::string EncodeWav(const std::vector<std::int16_t>& pcm, std::uint32_t sampleRate) {
    const auto dataBytes = static_cast<std::uint32_t>(pcm.size() * 2);
    std::string out;
    out.reserve(44 + dataBytes);
    out += "RIFF";
    PutLe(out, 36 + dataBytes, 4);
    out += "WAVEfmt ";
    PutLe(out, 16, 4);              // size of the format chunk
    PutLe(out, 1, 2);               // PCM
    PutLe(out, 1, 2);               // mono
    PutLe(out, sampleRate, 4);
    PutLe(out, sampleRate * 2, 4);  // bytes per second
    PutLe(out, 2, 2);               // bytes per frame
    PutLe(out, 16, 2);              // bits per sample
    out += "data";
    PutLe(out, dataBytes, 4);
    for (std::int16_t s : pcm) {
        PutLe(out, static_cast<std::uint16_t>(s), 2);
    }
    return out;
}

}  // namespace qvl::install
