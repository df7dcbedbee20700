// Writes the job-end sounds "ok.wav" (a short rising chime) and "error.wav" (a low falling
// buzz) into the folder given, so that no binary file is kept in the sources. Mono 16-bit PCM.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr int SampleRate = 22050;

struct TTone {
    double FFrequency; // Hz
    double FSeconds;
    double FPause; // silence after the tone
    double FThird; // share of the third harmonic: 0 a pure tone, more a harsher one
};

// A few milliseconds of attack and a decay to silence keep each tone free of clicks.
void AppendTone(std::vector<int16_t>& samples, const TTone& tone) {
    const int count = static_cast<int>(tone.FSeconds * SampleRate);
    const int attack = SampleRate / 200;
    for (int i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / SampleRate;
        const double phase = 2 * std::numbers::pi * tone.FFrequency * t;
        const double wave =
            (std::sin(phase) + tone.FThird * std::sin(3 * phase)) / (1 + tone.FThird);
        const double envelope = (i < attack ? static_cast<double>(i) / attack : 1.0) *
                                std::pow(1.0 - static_cast<double>(i) / count, 1.5);
        samples.push_back(static_cast<int16_t>(std::lround(0.45 * 32767 * envelope * wave)));
    }
    samples.insert(samples.end(), static_cast<size_t>(tone.FPause * SampleRate), 0);
}

void PutLe(std::string& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

bool WriteWav(const std::string& path, const std::vector<TTone>& tones) {
    std::vector<int16_t> samples;
    for (const TTone& tone : tones)
        AppendTone(samples, tone);
    const auto dataBytes = static_cast<uint32_t>(samples.size() * 2);
    std::string out = "RIFF";
    PutLe(out, 36 + dataBytes, 4);
    out += "WAVEfmt ";
    PutLe(out, 16, 4);             // format chunk size
    PutLe(out, 1, 2);              // PCM
    PutLe(out, 1, 2);              // mono
    PutLe(out, SampleRate, 4);     // frames per second
    PutLe(out, SampleRate * 2, 4); // bytes per second
    PutLe(out, 2, 2);              // bytes per frame
    PutLe(out, 16, 2);             // bits per sample
    out += "data";
    PutLe(out, dataBytes, 4);
    for (const int16_t sample : samples)
        PutLe(out, static_cast<uint16_t>(sample), 2);

    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(out.data(), static_cast<std::streamsize>(out.size()));
    file.close();
    return static_cast<bool>(file);
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    const bool ok =
        WriteWav(folder + "/ok.wav", {{1046.5, 0.09, 0.01, 0.0}, {1568.0, 0.16, 0, 0.0}});
    const bool error =
        WriteWav(folder + "/error.wav", {{311.1, 0.16, 0.04, 0.35}, {207.7, 0.26, 0, 0.35}});
    if (!ok || !error) {
        std::fprintf(stderr, "%s: cannot write the sounds into %s\n", argv[0], folder.c_str());
        return 1;
    }
    return 0;
}
