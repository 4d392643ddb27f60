#pragma once

// Short WAV files written by the tests that play real sound: 16-bit stereo
// PCM of a quiet tone, in a file the test names.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace testsupport
{
inline void PutLe(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
    {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

// The bytes of a WAV of the given length at 44100 Hz.
inline std::vector<std::uint8_t> MakeWavBytes(int milliseconds, double frequency = 440.0)
{
    constexpr std::uint32_t kRate = 44100;
    const std::uint32_t frames = kRate * static_cast<std::uint32_t>(milliseconds) / 1000;
    const std::uint32_t dataBytes = frames * 4;
    std::vector<std::uint8_t> out;
    out.insert(out.end(), {'R', 'I', 'F', 'F'});
    PutLe(out, 36 + dataBytes, 4);
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    PutLe(out, 16, 4);
    PutLe(out, 1, 2); // PCM
    PutLe(out, 2, 2); // stereo
    PutLe(out, kRate, 4);
    PutLe(out, kRate * 4, 4);
    PutLe(out, 4, 2);
    PutLe(out, 16, 2);
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    PutLe(out, dataBytes, 4);
    for (std::uint32_t i = 0; i < frames; ++i)
    {
        const double t = static_cast<double>(i) / kRate;
        const auto v = static_cast<std::int16_t>(2000.0 * std::sin(2.0 * 3.14159265358979 * frequency * t));
        PutLe(out, static_cast<std::uint16_t>(v), 2);
        PutLe(out, static_cast<std::uint16_t>(v), 2);
    }
    return out;
}

inline bool WriteWav(const std::string& path, int milliseconds, double frequency = 440.0)
{
    const std::vector<std::uint8_t> bytes = MakeWavBytes(milliseconds, frequency);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
    {
        return false;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}
} // namespace testsupport
