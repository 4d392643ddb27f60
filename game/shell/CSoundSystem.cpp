#include "game/shell/CSoundSystem.h"

#include <algorithm>

bool CSoundSystem::Configure(COrvaneTagTree* pkData)
{
    (void)pkData;
    Keep("Configure");
    return true;
}

void CSoundSystem::PlayMusicTrack(std::int32_t iTrack, std::int32_t iMode)
{
    Keep("PlayMusicTrack " + std::to_string(iTrack) + " " + std::to_string(iMode));
}

void CSoundSystem::StopMusic()
{
    Keep("StopMusic");
}

void CSoundSystem::CloseMusicStream()
{
    Keep("CloseMusicStream");
}

void CSoundSystem::SetVolume(std::int32_t iStep)
{
    m_iVolume = std::clamp(m_iVolume + iStep, 0, MAX_VOLUME);
    if (m_iVolume == 0)
        m_iVolume = 1;
    Keep("SetVolume " + std::to_string(iStep));
}

void CSoundSystem::PlaySample(std::int32_t iSample, std::int32_t iVolume, bool bLoop)
{
    Keep("PlaySample " + std::to_string(iSample) + " " + std::to_string(iVolume) + (bLoop ? " loop" : ""));
}

void CSoundSystem::StopSample(std::int32_t iSample)
{
    Keep("StopSample " + std::to_string(iSample));
}

void CSoundSystem::SetAmbientSample(std::int32_t iSample)
{
    m_iAmbientSample = iSample;
    Keep("SetAmbientSample " + std::to_string(iSample));
}

void CSoundSystem::SetAmbientVolume(std::int32_t iVolume)
{
    Keep("SetAmbientVolume " + std::to_string(iVolume));
}
