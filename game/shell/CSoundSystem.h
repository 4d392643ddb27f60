#pragma once

#include <cstdint>
#include <string>
#include <vector>

class COrvaneTagTree;

// The game's music, effect samples and ambient loop. For now it plays
// nothing: it keeps every call, in order, as a line of text ("PlayMusicTrack
// 0 1"), and its volume.
class CSoundSystem
{
public:
    static constexpr std::int32_t MAX_VOLUME = 255;

    CSoundSystem() = default;
    virtual ~CSoundSystem() = default;

    // Reads the sound settings from the data document.
    bool Configure(COrvaneTagTree* pkData);
    void PlayMusicTrack(std::int32_t iTrack, std::int32_t iMode);
    void StopMusic();
    void CloseMusicStream();
    // The volume grows by the step up to MAX_VOLUME; a volume of exactly 0
    // becomes 1.
    void SetVolume(std::int32_t iStep);
    void PlaySample(std::int32_t iSample, std::int32_t iVolume, bool bLoop);
    void StopSample(std::int32_t iSample);
    // The ambient loop's sample (-1: none) and its volume (0 stops it).
    void SetAmbientSample(std::int32_t iSample);
    void SetAmbientVolume(std::int32_t iVolume);
    [[nodiscard]] std::int32_t GetAmbientCount() const { return m_iAmbientCount; }

    [[nodiscard]] std::int32_t GetVolume() const { return m_iVolume; }
    [[nodiscard]] std::int32_t GetAmbientSample() const { return m_iAmbientSample; }
    [[nodiscard]] const std::vector<std::string>& GetCalls() const { return m_kCalls; }
    void ClearCalls() { m_kCalls.clear(); }

private:
    void Keep(std::string kCall) { m_kCalls.push_back(std::move(kCall)); }

    std::vector<std::string> m_kCalls;
    std::int32_t m_iVolume = 0;
    std::int32_t m_iAmbientCount = 0;
    std::int32_t m_iAmbientSample = -1;
};
