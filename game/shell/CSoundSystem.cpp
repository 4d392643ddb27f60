#include "game/shell/CSoundSystem.h"

#include "engine/core/NiRandom.h"
#include "framework/COrvaneApplication.h"
#include "framework/COrvaneTagTree.h"
#include "framework/COrvaneWindow.h"
#include "platform/os/OsFiles.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

bool CSoundSystem::ms_bMusicStopped = false;
float CSoundSystem::ms_fVolume = static_cast<float>(CSoundSystem::MAX_VOLUME);

namespace
{
std::string WithoutLineEnd(const std::string& kValue)
{
    std::string::size_type uiEnd = kValue.find_last_not_of("\r\n");
    return uiEnd == std::string::npos ? std::string() : kValue.substr(0, uiEnd + 1);
}

// The folder the game's data names are relative to, with its "/".
std::string WorkingDirectory()
{
    if (COrvaneApplication* pkApp = COrvaneApplication::GetExisting())
    {
        if (COrvaneWindow* pkWindow = pkApp->GetWindow())
        {
            if (!pkWindow->GetWorkingDirectory().empty())
                return pkWindow->GetWorkingDirectory();
        }
    }
    return os::GetCurrentFolder() + "/";
}

std::string NumberText(float fValue)
{
    if (fValue == std::floor(fValue) && std::fabs(fValue) < 1.0e9f)
        return std::to_string(static_cast<long long>(fValue));
    char acText[32];
    std::snprintf(acText, sizeof(acText), "%g", static_cast<double>(fValue));
    return acText;
}
} // namespace

// ---- CSoundSample ----

CSoundSample::CSoundSample(audio::Sample* pkSample, bool bLoop)
    : m_pkSample(pkSample), m_ucLoop(bLoop ? 1 : 0)
{
}

CSoundSample::~CSoundSample()
{
    Stop();
    audio::FreeSample(m_pkSample);
}

void CSoundSample::Play()
{
    m_sChannel = static_cast<std::int16_t>(audio::PlaySound(audio::FREE, m_pkSample));
}

void CSoundSample::SetVolume(std::int32_t iVolume)
{
    (void)audio::SetVolume(m_sChannel, iVolume);
}

bool CSoundSample::IsPlaying() const
{
    return audio::IsPlaying(m_sChannel);
}

void CSoundSample::Stop()
{
    (void)audio::StopSound(m_sChannel);
    m_sChannel = -1;
}

void CSoundSample::SetLoop(bool bLoop)
{
    m_ucLoop = bLoop ? 1 : 0;
    (void)audio::SetLoopMode(m_pkSample, bLoop ? audio::LOOP_NORMAL : audio::LOOP_OFF);
}

// ---- CSoundSystem ----

CSoundSystem::CSoundSystem()
{
    ResetState();
}

CSoundSystem::~CSoundSystem()
{
    Shutdown();
}

void CSoundSystem::ResetStatics()
{
    ms_bMusicStopped = false;
    ms_fVolume = static_cast<float>(MAX_VOLUME);
}

void CSoundSystem::ResetState()
{
    m_bMusicEnabled = true;
    m_bSoundEnabled = true;
    m_pkStream = nullptr;
    m_sMusicChannel = -1;
    m_kTracks.clear();
    m_sTrackCount = 0;
    m_sCurrentTrack = 0;
    m_kEffects.clear();
    m_usEffectCount = 0;
    m_kAmbients.clear();
    m_usAmbientCount = 0;
    m_pkAmbientLoop = nullptr;
    ms_fVolume = static_cast<float>(MAX_VOLUME);
}

void CSoundSystem::Keep(std::string kCall)
{
    if (m_kCalls.size() >= CALL_HISTORY)
        m_kCalls.erase(m_kCalls.begin());
    m_kCalls.push_back(std::move(kCall));
}

void CSoundSystem::LoadSamples(COrvaneTagTree& kData, const char* pcList, bool bLoop,
                               std::vector<std::unique_ptr<CSoundSample>>& kSamples)
{
    if (!kData.SelectSection("SOUND", true) || !kData.FindChild(pcList))
        return;
    const std::string kFolder = WorkingDirectory();
    const std::vector<std::string> kValues = kData.GetValues();
    for (const std::string& kValue : kValues)
    {
        audio::Sample* pkSample =
            audio::LoadSample(kFolder + WithoutLineEnd(kValue), bLoop ? audio::MODE_2D_LOOP_NORMAL : audio::MODE_2D);
        kSamples.push_back(std::make_unique<CSoundSample>(pkSample, bLoop));
    }
}

bool CSoundSystem::Configure(COrvaneTagTree* pkData)
{
    Keep("Configure");
    const bool bOpened = audio::Init(audio::DEFAULT_MIX_RATE, audio::DEFAULT_CHANNELS);
    (void)audio::SetMasterVolume(static_cast<int>(ms_fVolume));
    if (pkData == nullptr || !pkData->SelectSection("SOUND", true))
        return bOpened;

    LoadSamples(*pkData, "SFX", false, m_kEffects);
    m_usEffectCount = static_cast<std::uint16_t>(m_kEffects.size());
    LoadSamples(*pkData, "AMBIENT", true, m_kAmbients);
    m_usAmbientCount = static_cast<std::uint16_t>(m_kAmbients.size());
    if (pkData->SelectSection("SOUND", true) && pkData->FindChild("MUSIC"))
    {
        const std::string kFolder = WorkingDirectory();
        for (const std::string& kValue : pkData->GetValues())
            m_kTracks.push_back(kFolder + WithoutLineEnd(kValue));
        m_sTrackCount = static_cast<std::int16_t>(std::min<std::size_t>(m_kTracks.size(), 0x7FFF));
    }
    return bOpened;
}

void CSoundSystem::CloseStream()
{
    if (m_pkStream != nullptr)
    {
        (void)audio::StopStream(m_pkStream);
        (void)audio::CloseStream(m_pkStream);
        m_pkStream = nullptr;
    }
}

void CSoundSystem::Shutdown()
{
    ms_bMusicStopped = true;
    CloseStream();
    m_sMusicChannel = -1;
    m_pkAmbientLoop = nullptr;
    m_kEffects.clear();
    m_kAmbients.clear();
    m_usEffectCount = 0;
    m_usAmbientCount = 0;
    m_kTracks.clear();
    m_sTrackCount = 0;
    audio::Close();
}

std::int32_t CSoundSystem::PlayMusicTrack(std::int32_t iTrack, std::int32_t iMode)
{
    Keep("PlayMusicTrack " + std::to_string(iTrack) + " " + std::to_string(iMode));
    if (static_cast<std::uint16_t>(iTrack) < static_cast<std::uint16_t>(std::max<std::int16_t>(m_sTrackCount, 0)))
        m_sCurrentTrack = static_cast<std::int16_t>(iTrack);

    if (m_bMusicEnabled && m_sCurrentTrack >= 0 && m_sCurrentTrack < m_sTrackCount)
    {
        // One stream at a time: whatever still plays goes first.
        CloseStream();
        ms_bMusicStopped = false;
        m_pkStream = audio::OpenStream(m_kTracks[static_cast<std::size_t>(m_sCurrentTrack)], audio::MODE_STREAM);
        (void)audio::SetEndCallback(m_pkStream, &CSoundSystem::OnMusicEnd, this);
        m_sMusicChannel = static_cast<std::int16_t>(audio::PlayStream(audio::FREE, m_pkStream));
        (void)audio::SetPan(m_sMusicChannel, audio::STEREO_PAN);
        return 1;
    }
    ms_bMusicStopped = true;
    m_sMusicChannel = -1;
    CloseStream();
    return 0;
}

void CSoundSystem::StopMusicOnly()
{
    ms_bMusicStopped = true;
    m_sMusicChannel = -1;
    CloseStream();
}

void CSoundSystem::StopMusic()
{
    Keep("StopMusic");
    StopMusicOnly();
    StopAllSamples();
}

void CSoundSystem::CloseMusicStream()
{
    Keep("CloseMusicStream");
    CloseStream();
}

void CSoundSystem::SetVolume(float fStep)
{
    Keep("SetVolume " + NumberText(fStep));
    if (ms_fVolume == 0.0f)
        ms_fVolume = 1.0f;
    else
        ms_fVolume += fStep * static_cast<float>(MAX_VOLUME);
    ms_fVolume = std::clamp(ms_fVolume, 0.0f, static_cast<float>(MAX_VOLUME));
    const int iVolume = static_cast<int>(ms_fVolume);
    (void)audio::SetMasterVolume(iVolume);
    (void)audio::SetVolume(m_sMusicChannel, iVolume);
}

void CSoundSystem::PlaySample(std::int32_t iSample, std::int32_t iVolume, bool bLoop)
{
    Keep("PlaySample " + std::to_string(iSample) + " " + std::to_string(iVolume) + (bLoop ? " loop" : ""));
    if (!m_bSoundEnabled || iSample < 0 || iSample >= static_cast<std::int32_t>(m_usEffectCount) || iVolume < 1 ||
        iVolume > MAX_VOLUME)
        return;
    CSoundSample* pkSample = m_kEffects[static_cast<std::size_t>(iSample)].get();
    // Every play says its own loop mode: a looped play must not make the
    // sample's later plain plays loop for ever.
    pkSample->SetLoop(bLoop);
    pkSample->Play();
    pkSample->SetVolume(iVolume);
}

void CSoundSystem::StopSample(std::int32_t iSample)
{
    Keep("StopSample " + std::to_string(iSample));
    if (!m_bSoundEnabled || iSample < 0 || iSample >= static_cast<std::int32_t>(m_usEffectCount))
        return;
    m_kEffects[static_cast<std::size_t>(iSample)]->Stop();
}

void CSoundSystem::StopAllSamples()
{
    for (auto* pkList : {&m_kEffects, &m_kAmbients})
    {
        for (const auto& pkSample : *pkList)
        {
            if (pkSample->IsPlaying())
                pkSample->Stop();
        }
    }
}

void CSoundSystem::SetAmbientSample(std::int32_t iSample)
{
    Keep("SetAmbientSample " + std::to_string(iSample));
    m_pkAmbientLoop = GetAmbient(iSample);
}

void CSoundSystem::SetAmbientVolume(std::int32_t iVolume)
{
    Keep("SetAmbientVolume " + std::to_string(iVolume));
    iVolume = std::min(iVolume, MAX_VOLUME);
    if (!m_bSoundEnabled || m_pkAmbientLoop == nullptr)
        return;
    if (iVolume == 0)
    {
        if (m_pkAmbientLoop->IsPlaying())
            m_pkAmbientLoop->Stop();
        return;
    }
    if (!m_pkAmbientLoop->IsPlaying())
        m_pkAmbientLoop->Play();
    m_pkAmbientLoop->SetVolume(iVolume);
}

bool CSoundSystem::OnMusicEnd(audio::Stream* pkStream, void* pvBuffer, int iLength, void* pvUser)
{
    (void)pkStream;
    (void)pvBuffer;
    (void)iLength;
    auto* pkSystem = static_cast<CSoundSystem*>(pvUser);
    if (pkSystem == nullptr || ms_bMusicStopped)
        return false;
    ms_fVolume = static_cast<float>(audio::GetVolume(pkSystem->m_sMusicChannel));

    const std::int32_t iEnded = pkSystem->m_sCurrentTrack;
    const std::int32_t iChoices = pkSystem->m_sTrackCount - 1;
    const bool bOtherExists = iChoices > 1 || (iChoices == 1 && iEnded != 1);
    if (!bOtherExists)
    {
        pkSystem->StopMusicOnly();
        return false;
    }
    std::int32_t iNext = iEnded;
    while (iNext == iEnded)
        iNext = 1 + NiRand() % iChoices;
    (void)pkSystem->PlayMusicTrack(iNext, 1);
    return true;
}

CSoundSample* CSoundSystem::GetEffect(std::int32_t iSample) const
{
    return iSample >= 0 && iSample < static_cast<std::int32_t>(m_kEffects.size())
               ? m_kEffects[static_cast<std::size_t>(iSample)].get()
               : nullptr;
}

CSoundSample* CSoundSystem::GetAmbient(std::int32_t iSample) const
{
    return iSample >= 0 && iSample < static_cast<std::int32_t>(m_kAmbients.size())
               ? m_kAmbients[static_cast<std::size_t>(iSample)].get()
               : nullptr;
}

std::int32_t CSoundSystem::GetAmbientSample() const
{
    for (std::size_t i = 0; i < m_kAmbients.size(); ++i)
    {
        if (m_kAmbients[i].get() == m_pkAmbientLoop)
            return static_cast<std::int32_t>(i);
    }
    return -1;
}
