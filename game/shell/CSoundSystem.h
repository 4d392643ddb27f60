#pragma once

#include "platform/audio/Audio.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class COrvaneTagTree;

// One loaded sample and the channel it last started on.
class CSoundSample
{
public:
    // Takes the loaded sample (null when the file did not load: every call
    // then does nothing).
    CSoundSample(audio::Sample* pkSample, bool bLoop);
    ~CSoundSample();
    CSoundSample(const CSoundSample&) = delete;
    CSoundSample& operator=(const CSoundSample&) = delete;

    void Play();
    void SetVolume(std::int32_t iVolume);
    [[nodiscard]] bool IsPlaying() const;
    void Stop();
    void SetLoop(bool bLoop);

    [[nodiscard]] audio::Sample* GetSample() const { return m_pkSample; }
    [[nodiscard]] std::int16_t GetChannel() const { return m_sChannel; }
    [[nodiscard]] bool GetLoop() const { return m_ucLoop != 0; }

private:
    audio::Sample* m_pkSample = nullptr;
    std::int16_t m_sChannel = -1;
    std::uint8_t m_ucLoop = 0;
};

// The game's music, effect samples and ambient loop. Effects are numbered by
// their place in the data document's "SOUND" / "SFX" list, ambient loops by
// "AMBIENT", music tracks by "MUSIC" (track 0 the front end's, track n + 1
// level n's). When one track ends the next is drawn at random among the
// in-game tracks, never the one that just ended.
class CSoundSystem
{
public:
    static constexpr std::int32_t MAX_VOLUME = 255;

    CSoundSystem();
    virtual ~CSoundSystem();
    CSoundSystem(const CSoundSystem&) = delete;
    CSoundSystem& operator=(const CSoundSystem&) = delete;

    // The initial values: both enabled, no stream, track 0, no ambient loop,
    // volume 255.
    void ResetState();
    // Opens the sound device, sets the master volume and loads the "SOUND"
    // lists. False when the device could not be opened: the system then
    // stays silent.
    bool Configure(COrvaneTagTree* pkData);
    virtual void Shutdown();

    // 1 when a track started, 0 when the music stopped instead (music
    // disabled, no such track). The second argument is kept for callers.
    std::int32_t PlayMusicTrack(std::int32_t iTrack, std::int32_t iMode);
    // Ends the music chain and closes the stream; StopMusic also stops every
    // sample.
    void StopMusicOnly();
    void StopMusic();
    // Closes the stream without touching the chain's state.
    void CloseMusicStream();
    // Volume exactly 0 becomes 1; else it grows by step x 255, within 0..255.
    // Applied to the effects' master volume and the music.
    void SetVolume(float fStep);
    void PlaySample(std::int32_t iSample, std::int32_t iVolume, bool bLoop);
    void StopSample(std::int32_t iSample);
    void StopAllSamples();
    // The ambient loop (-1 or a number without a loaded list entry: none)
    // and its volume (0 stops it, above 255 is 255).
    void SetAmbientSample(std::int32_t iSample);
    void SetAmbientVolume(std::int32_t iVolume);

    // The stream's end: draws and starts the next track. Delivered on the
    // main thread by the message pump.
    static bool OnMusicEnd(audio::Stream* pkStream, void* pvBuffer, int iLength, void* pvUser);

    void SetMusicEnabled(bool bEnabled) { m_bMusicEnabled = bEnabled; }
    void SetSoundEnabled(bool bEnabled) { m_bSoundEnabled = bEnabled; }
    [[nodiscard]] bool IsMusicEnabled() const { return m_bMusicEnabled; }
    [[nodiscard]] bool IsSoundEnabled() const { return m_bSoundEnabled; }
    [[nodiscard]] std::int32_t GetAmbientCount() const { return static_cast<std::int32_t>(m_usAmbientCount); }
    [[nodiscard]] std::int32_t GetEffectCount() const { return static_cast<std::int32_t>(m_usEffectCount); }
    [[nodiscard]] std::int32_t GetTrackCount() const { return m_sTrackCount; }
    [[nodiscard]] std::int32_t GetCurrentTrack() const { return m_sCurrentTrack; }
    [[nodiscard]] const std::vector<std::string>& GetTrackPaths() const { return m_kTracks; }
    [[nodiscard]] audio::Stream* GetMusicStream() const { return m_pkStream; }
    [[nodiscard]] std::int16_t GetMusicChannel() const { return m_sMusicChannel; }
    [[nodiscard]] CSoundSample* GetEffect(std::int32_t iSample) const;
    [[nodiscard]] CSoundSample* GetAmbient(std::int32_t iSample) const;
    [[nodiscard]] std::int32_t GetAmbientSample() const;
    [[nodiscard]] std::int32_t GetVolume() const { return static_cast<std::int32_t>(ms_fVolume); }
    [[nodiscard]] static float GetVolumeLevel() { return ms_fVolume; }
    [[nodiscard]] static bool IsMusicStopped() { return ms_bMusicStopped; }

    // The latest calls made on the system, oldest first ("PlayMusicTrack 0
    // 1"), for diagnostics; at most CALL_HISTORY kept.
    static constexpr std::size_t CALL_HISTORY = 256;
    [[nodiscard]] const std::vector<std::string>& GetCalls() const { return m_kCalls; }
    void ClearCalls() { m_kCalls.clear(); }

    // Test reset of the state shared by every instance.
    static void ResetStatics();

private:
    void Keep(std::string kCall);
    void LoadSamples(COrvaneTagTree& kData, const char* pcList, bool bLoop,
                     std::vector<std::unique_ptr<CSoundSample>>& kSamples);
    void CloseStream();

    bool m_bMusicEnabled = true;
    bool m_bSoundEnabled = true;
    audio::Stream* m_pkStream = nullptr;
    std::int16_t m_sMusicChannel = -1;
    std::vector<std::string> m_kTracks;
    std::int16_t m_sTrackCount = 0;
    std::int16_t m_sCurrentTrack = 0;
    std::vector<std::unique_ptr<CSoundSample>> m_kEffects;
    std::uint16_t m_usEffectCount = 0;
    std::vector<std::unique_ptr<CSoundSample>> m_kAmbients;
    std::uint16_t m_usAmbientCount = 0;
    CSoundSample* m_pkAmbientLoop = nullptr;

    std::vector<std::string> m_kCalls;

    static bool ms_bMusicStopped;
    static float ms_fVolume;
};
