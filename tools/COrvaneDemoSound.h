#pragma once

#include <string>
#include <vector>

// The sound part of the demo data: 26 effects, one ambient loop per level
// (three) and four music tracks (the front end's and one per level) as WAV
// files under "sound", listed in a "SOUND" section of the data document.
// False (with the reason on standard error) when a file cannot be written.
[[nodiscard]] bool WriteDemoSound(const std::string& kFolder, const std::string& kDataPath);

// The bytes of a mono 16-bit WAV at 22050 Hz holding the given samples.
[[nodiscard]] std::string DemoWavBytes(const std::vector<short>& kSamples);
