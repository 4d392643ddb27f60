#include "tools/COrvaneDemoSound.h"

#include "framework/COrvaneTagTree.h"
#include "platform/os/OsFiles.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace
{
constexpr int kRate = 22050;
constexpr double kPi = 3.14159265358979;
constexpr int kEffectCount = 26;
constexpr int kLevelCount = 3;

void PutLe(std::string& kOut, std::uint32_t uiValue, int iBytes)
{
    for (int i = 0; i < iBytes; ++i)
        kOut.push_back(static_cast<char>((uiValue >> (8 * i)) & 0xFF));
}

// A tone with a short rise and fall, so it starts and ends without a click.
void AddTone(std::vector<short>& kOut, double dFrequency, double dSeconds, double dLoudness)
{
    const int iCount = static_cast<int>(dSeconds * kRate);
    const int iEdge = std::max(1, std::min(iCount / 4, kRate / 100));
    for (int i = 0; i < iCount; ++i)
    {
        double dEnvelope = 1.0;
        if (i < iEdge)
            dEnvelope = static_cast<double>(i) / iEdge;
        else if (i > iCount - iEdge)
            dEnvelope = static_cast<double>(iCount - i) / iEdge;
        const double t = static_cast<double>(i) / kRate;
        kOut.push_back(static_cast<short>(dLoudness * dEnvelope * 32767.0 * std::sin(2.0 * kPi * dFrequency * t)));
    }
}

bool WriteBytes(const std::string& kPath, const std::string& kBytes)
{
    std::FILE* pkFile = os::OpenFile(kPath, "wb");
    if (pkFile == nullptr)
    {
        std::fprintf(stderr, "demo data: cannot write %s\n", kPath.c_str());
        return false;
    }
    const bool bOk = std::fwrite(kBytes.data(), 1, kBytes.size(), pkFile) == kBytes.size();
    return std::fclose(pkFile) == 0 && bOk;
}

// An effect: two short notes, the pitch rising with the effect's number.
std::vector<short> Effect(int iNumber)
{
    std::vector<short> kOut;
    const double dBase = 330.0 * std::pow(2.0, iNumber / 12.0);
    AddTone(kOut, dBase, 0.08, 0.3);
    AddTone(kOut, dBase * 1.5, 0.12, 0.3);
    return kOut;
}

// An ambient loop: a soft low chord whose length holds whole periods, so
// it loops without a seam.
std::vector<short> Ambient(int iLevel)
{
    std::vector<short> kOut;
    const double dBase = 55.0 * (iLevel + 2);
    const int iCount = kRate * 2;
    for (int i = 0; i < iCount; ++i)
    {
        const double t = static_cast<double>(i) / kRate;
        const double d = 0.06 * std::sin(2.0 * kPi * dBase * t) + 0.04 * std::sin(2.0 * kPi * dBase * 1.5 * t);
        kOut.push_back(static_cast<short>(d * 32767.0));
    }
    return kOut;
}

// A music track: a short tune of its own, played twice.
std::vector<short> Track(int iTrack)
{
    static const int aiSteps[4][8] = {
        {0, 4, 7, 12, 7, 4, 0, -5}, {0, 2, 4, 5, 7, 5, 4, 2}, {0, 3, 7, 10, 7, 3, 0, 3}, {0, 7, 5, 4, 2, 4, 5, 7}};
    std::vector<short> kOut;
    const double dRoot = 220.0 * std::pow(2.0, iTrack * 2 / 12.0);
    for (int iRepeat = 0; iRepeat < 2; ++iRepeat)
    {
        for (int iStep : aiSteps[iTrack % 4])
            AddTone(kOut, dRoot * std::pow(2.0, iStep / 12.0), 0.4, 0.2);
    }
    return kOut;
}
} // namespace

std::string DemoWavBytes(const std::vector<short>& kSamples)
{
    const auto uiData = static_cast<std::uint32_t>(kSamples.size() * 2);
    std::string kOut = "RIFF";
    PutLe(kOut, 36 + uiData, 4);
    kOut += "WAVEfmt ";
    PutLe(kOut, 16, 4);
    PutLe(kOut, 1, 2); // PCM
    PutLe(kOut, 1, 2); // mono
    PutLe(kOut, kRate, 4);
    PutLe(kOut, kRate * 2, 4);
    PutLe(kOut, 2, 2);
    PutLe(kOut, 16, 2);
    kOut += "data";
    PutLe(kOut, uiData, 4);
    for (short s : kSamples)
        PutLe(kOut, static_cast<std::uint16_t>(s), 2);
    return kOut;
}

bool WriteDemoSound(const std::string& kFolder, const std::string& kDataPath)
{
    if (!os::CreateFolderTree(kFolder + "/sound"))
    {
        std::fprintf(stderr, "demo data: cannot make the folder %s/sound\n", kFolder.c_str());
        return false;
    }
    std::vector<std::string> kEffects;
    std::vector<std::string> kAmbient;
    std::vector<std::string> kMusic;
    bool bOk = true;
    for (int i = 0; i < kEffectCount; ++i)
    {
        kEffects.push_back("sound/effect" + std::to_string(i) + ".wav");
        bOk = bOk && WriteBytes(kFolder + "/" + kEffects.back(), DemoWavBytes(Effect(i)));
    }
    for (int i = 0; i < kLevelCount; ++i)
    {
        kAmbient.push_back("sound/ambient" + std::to_string(i) + ".wav");
        bOk = bOk && WriteBytes(kFolder + "/" + kAmbient.back(), DemoWavBytes(Ambient(i)));
    }
    for (int i = 0; i <= kLevelCount; ++i)
    {
        kMusic.push_back("sound/music" + std::to_string(i) + ".wav");
        bOk = bOk && WriteBytes(kFolder + "/" + kMusic.back(), DemoWavBytes(Track(i)));
    }
    if (!bOk)
        return false;

    COrvaneTagTree kTree;
    if (!kTree.Load(kDataPath.c_str()))
    {
        std::fprintf(stderr, "demo data: cannot read %s\n", kDataPath.c_str());
        return false;
    }
    bOk = kTree.AddChild("SOUND") && kTree.SelectSection("<SOUND>", true);
    for (const auto& [pcList, pkNames] : {std::pair{"SFX", &kEffects}, std::pair{"AMBIENT", &kAmbient},
                                          std::pair{"MUSIC", &kMusic}})
    {
        bOk = bOk && kTree.SelectSection("<SOUND>", true) && kTree.AddChild(pcList) && kTree.FindChild(pcList);
        if (bOk)
        {
            for (const std::string& kName : *pkNames)
                kTree.AddValue(kName + "\r\n");
        }
    }
    if (!bOk || !kTree.Save(kDataPath.c_str()))
    {
        std::fprintf(stderr, "demo data: cannot write the sound lists to %s\n", kDataPath.c_str());
        return false;
    }
    return true;
}
