#include "game/shell/CSoundSystem.h"

#include "engine/core/NiRandom.h"
#include "framework/COrvaneTagTree.h"
#include "platform/audio/Audio.h"
#include "platform/os/OsFiles.h"
#include "platform/os/OsSystem.h"
#include "platform/os/OsWindow.h"
#include "tests/framework/FrameworkTestSupport.h"
#include "tests/support/TestWav.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace
{
class CSoundSystemTest : public FrameworkTest
{
protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        audio::Reset();
        CSoundSystem::ResetStatics();
        NiResetRandom();
        ASSERT_TRUE(os::Startup());
        std::filesystem::create_directories("sound");
    }
    void TearDown() override
    {
        audio::Reset();
        CSoundSystem::ResetStatics();
        FrameworkTest::TearDown();
    }

    // A "SOUND" section with the given lists; every named file that does
    // not start with "missing" is written as a WAV of the given length.
    void MakeData(const std::vector<std::string>& kEffects, const std::vector<std::string>& kAmbient,
                  const std::vector<std::string>& kMusic, int iMilliseconds = 20)
    {
        std::string kText = "<SOUND>\r\n";
        auto AddList = [&](const char* pcName, const std::vector<std::string>& kNames) {
            if (kNames.empty())
                return;
            kText += std::string("<") + pcName + ">\r\n";
            for (const std::string& kName : kNames)
            {
                kText += "sound\\" + kName + "\r\n";
                if (kName.rfind("missing", 0) != 0)
                {
                    ASSERT_TRUE(testsupport::WriteWav("sound/" + kName, iMilliseconds));
                }
            }
            kText += std::string("</") + pcName + ">\r\n";
        };
        AddList("SFX", kEffects);
        AddList("AMBIENT", kAmbient);
        AddList("MUSIC", kMusic);
        kText += "</SOUND>\r\n";
        WriteFileBytes("data.xml", kText);
        ASSERT_TRUE(m_kData.Load("data.xml"));
    }

    static std::vector<std::string> Names(const char* pcStem, int iCount)
    {
        std::vector<std::string> kNames;
        for (int i = 0; i < iCount; ++i)
            kNames.push_back(pcStem + std::to_string(i) + ".wav");
        return kNames;
    }

    static void PumpOnce()
    {
        os::Message kMessage{};
        while (os::PeekMessage(kMessage, nullptr, 0, 0, os::PM_REMOVE))
        {
        }
    }

    // The tracks the system moves to while the pump runs, until iCount
    // changes were seen, the music stopped or the time is up.
    static std::vector<int> FollowTracks(const CSoundSystem& kSound, std::size_t uiCount, int iMilliseconds = 5000)
    {
        std::vector<int> kSeen{kSound.GetCurrentTrack()};
        const auto kEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(iMilliseconds);
        while (kSeen.size() < uiCount && std::chrono::steady_clock::now() < kEnd)
        {
            PumpOnce();
            if (kSound.GetCurrentTrack() != kSeen.back())
                kSeen.push_back(kSound.GetCurrentTrack());
            if (CSoundSystem::IsMusicStopped() && kSound.GetMusicStream() == nullptr)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return kSeen;
    }

    COrvaneTagTree m_kData;
};
} // namespace

TEST_F(CSoundSystemTest, ConfigureLoadsTheThreeListsFromTheWorkingFolder)
{
    MakeData({"a.wav", "missing.wav", "c.wav"}, {"loop.wav"}, {"m0.wav", "m1.wav"});
    CSoundSystem kSound;
    testing::internal::CaptureStderr();
    EXPECT_TRUE(kSound.Configure(&m_kData));
    const std::string kErr = testing::internal::GetCapturedStderr();
    EXPECT_NE(kErr.find("missing.wav"), std::string::npos) << kErr;

    EXPECT_EQ(kSound.GetEffectCount(), 3);
    EXPECT_EQ(kSound.GetAmbientCount(), 1);
    EXPECT_EQ(kSound.GetTrackCount(), 2);
    ASSERT_NE(kSound.GetEffect(0), nullptr);
    EXPECT_NE(kSound.GetEffect(0)->GetSample(), nullptr);
    EXPECT_EQ(kSound.GetEffect(1)->GetSample(), nullptr); // kept in its place, silent
    EXPECT_FALSE(kSound.GetEffect(0)->GetLoop());
    EXPECT_TRUE(kSound.GetAmbient(0)->GetLoop());
    EXPECT_EQ(audio::GetLoopMode(kSound.GetAmbient(0)->GetSample()), audio::LOOP_NORMAL);
    EXPECT_EQ(kSound.GetTrackPaths()[1], os::GetCurrentFolder() + "/sound\\m1.wav");
    EXPECT_EQ(audio::GetMasterVolume(), 255);

    // Playing the missing one is silent; its neighbours play.
    kSound.PlaySample(1, 255, false);
    EXPECT_EQ(kSound.GetEffect(1)->GetChannel(), -1);
    kSound.PlaySample(2, 255, false);
    EXPECT_GE(kSound.GetEffect(2)->GetChannel(), 0);
}

TEST_F(CSoundSystemTest, ADocumentWithoutSoundLeavesEveryListEmpty)
{
    WriteFileBytes("data.xml", "<OTHER>\r\nx\r\n</OTHER>\r\n");
    ASSERT_TRUE(m_kData.Load("data.xml"));
    CSoundSystem kSound;
    EXPECT_TRUE(kSound.Configure(&m_kData));
    EXPECT_EQ(kSound.GetEffectCount(), 0);
    EXPECT_EQ(kSound.GetTrackCount(), 0);
    EXPECT_EQ(kSound.PlayMusicTrack(0, 1), 0);
    EXPECT_TRUE(CSoundSystem::IsMusicStopped());
    kSound.PlaySample(0, 255, false); // nothing to play, nothing breaks
}

TEST_F(CSoundSystemTest, PlaySampleKeepsToTheEffectCountVolumesAndTheEnabledFlag)
{
    // Long enough to be still playing when checked on a busy machine.
    MakeData(Names("fx", 24), {}, {}, 3000);
    CSoundSystem kSound;
    ASSERT_TRUE(kSound.Configure(&m_kData));
    ASSERT_EQ(kSound.GetEffectCount(), 24);

    kSound.PlaySample(24, 255, false);
    kSound.PlaySample(-1, 255, false);
    kSound.PlaySample(5, 0, false);
    kSound.PlaySample(5, 256, false);
    for (int i = 0; i < 24; ++i)
        EXPECT_EQ(kSound.GetEffect(i)->GetChannel(), -1) << i;

    kSound.PlaySample(23, 120, false);
    const int iChannel = kSound.GetEffect(23)->GetChannel();
    ASSERT_GE(iChannel, 0);
    EXPECT_TRUE(audio::IsPlaying(iChannel));
    EXPECT_EQ(audio::GetVolume(iChannel), 120);

    kSound.SetSoundEnabled(false);
    kSound.PlaySample(4, 255, false);
    EXPECT_EQ(kSound.GetEffect(4)->GetChannel(), -1);
    kSound.StopSample(23); // disabled: left alone
    EXPECT_TRUE(audio::IsPlaying(iChannel));
    kSound.SetSoundEnabled(true);
    kSound.StopSample(23);
    EXPECT_FALSE(audio::IsPlaying(iChannel));
    EXPECT_EQ(kSound.GetEffect(23)->GetChannel(), -1);
}

TEST_F(CSoundSystemTest, EveryPlaySetsItsOwnLoopMode)
{
    MakeData({"fx.wav"}, {}, {});
    CSoundSystem kSound;
    ASSERT_TRUE(kSound.Configure(&m_kData));
    kSound.PlaySample(0, 255, true);
    const int iLooping = kSound.GetEffect(0)->GetChannel();
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_TRUE(audio::IsPlaying(iLooping));
    kSound.StopAllSamples();
    EXPECT_FALSE(audio::IsPlaying(iLooping));

    // A plain play after a looped one plays once.
    kSound.PlaySample(0, 255, false);
    EXPECT_EQ(audio::GetLoopMode(kSound.GetEffect(0)->GetSample()), audio::LOOP_OFF);
    const int iOnce = kSound.GetEffect(0)->GetChannel();
    const auto kEnd = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (audio::IsPlaying(iOnce) && std::chrono::steady_clock::now() < kEnd)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_FALSE(audio::IsPlaying(iOnce));
}

TEST_F(CSoundSystemTest, SetVolumeStepsWithinTheRange)
{
    MakeData({}, {}, {"m0.wav"}, 2000);
    CSoundSystem kSound;
    ASSERT_TRUE(kSound.Configure(&m_kData));
    ASSERT_EQ(kSound.PlayMusicTrack(0, 1), 1);
    EXPECT_EQ(kSound.GetMusicChannel(), audio::MUSIC_CHANNEL);

    EXPECT_EQ(CSoundSystem::GetVolumeLevel(), 255.0f);
    kSound.SetVolume(-1.0f);
    EXPECT_EQ(CSoundSystem::GetVolumeLevel(), 0.0f);
    kSound.SetVolume(0.0f); // exactly 0 becomes 1
    EXPECT_EQ(CSoundSystem::GetVolumeLevel(), 1.0f);
    EXPECT_EQ(audio::GetMasterVolume(), 1);
    EXPECT_EQ(audio::GetVolume(audio::MUSIC_CHANNEL), 1);

    kSound.SetVolume(199.0f / 255.0f);
    EXPECT_NEAR(CSoundSystem::GetVolumeLevel(), 200.0f, 0.001f);
    const float fBefore = CSoundSystem::GetVolumeLevel();
    kSound.SetVolume(0.0f); // not 0: unchanged
    EXPECT_EQ(CSoundSystem::GetVolumeLevel(), fBefore);
    kSound.SetVolume(0.5f);
    EXPECT_EQ(CSoundSystem::GetVolumeLevel(), 255.0f);
    EXPECT_EQ(audio::GetMasterVolume(), 255);

    // No volume below silence.
    kSound.SetVolume(-3.0f);
    EXPECT_EQ(CSoundSystem::GetVolumeLevel(), 0.0f);
    EXPECT_EQ(audio::GetMasterVolume(), 0);
}

TEST_F(CSoundSystemTest, ThreeTracksAlternateBetweenTheTwoInGameTracks)
{
    MakeData({}, {}, {"m0.wav", "m1.wav", "m2.wav"}, 10);
    CSoundSystem kSound;
    ASSERT_TRUE(kSound.Configure(&m_kData));
    NiSeedRandom(5);
    ASSERT_EQ(kSound.PlayMusicTrack(0, 1), 1);
    const std::vector<int> kSeen = FollowTracks(kSound, 7);
    ASSERT_EQ(kSeen.size(), 7u);
    EXPECT_EQ(kSeen[0], 0);
    for (std::size_t i = 1; i < kSeen.size(); ++i)
    {
        EXPECT_TRUE(kSeen[i] == 1 || kSeen[i] == 2) << i;
        if (i > 1)
        {
            EXPECT_NE(kSeen[i], kSeen[i - 1]);
        }
    }
    EXPECT_LE(audio::GetLiveStreamCount(), 1);
}

TEST_F(CSoundSystemTest, TwoTracksPlayTheFrontEndThenTheOtherThenSilence)
{
    MakeData({}, {}, {"m0.wav", "m1.wav"}, 10);
    CSoundSystem kSound;
    ASSERT_TRUE(kSound.Configure(&m_kData));
    ASSERT_EQ(kSound.PlayMusicTrack(0, 1), 1);
    EXPECT_EQ(FollowTracks(kSound, 5), (std::vector<int>{0, 1}));
    EXPECT_TRUE(CSoundSystem::IsMusicStopped());
    EXPECT_EQ(kSound.GetMusicStream(), nullptr);
    EXPECT_EQ(kSound.GetMusicChannel(), -1);
    EXPECT_EQ(audio::GetLiveStreamCount(), 0);
}

TEST_F(CSoundSystemTest, AfterStopMusicTheEndStartsNothing)
{
    MakeData({}, {}, {"m0.wav", "m1.wav", "m2.wav"}, 10);
    CSoundSystem kSound;
    ASSERT_TRUE(kSound.Configure(&m_kData));
    ASSERT_EQ(kSound.PlayMusicTrack(0, 1), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // over on the audio thread
    kSound.StopMusic();
    EXPECT_EQ(FollowTracks(kSound, 2, 300), (std::vector<int>{0}));
    EXPECT_EQ(audio::GetLiveStreamCount(), 0);

    // A new track closes the one still open; the closed one's end is lost.
    ASSERT_EQ(kSound.PlayMusicTrack(1, 1), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_EQ(kSound.PlayMusicTrack(2, 1), 1);
    EXPECT_EQ(audio::GetLiveStreamCount(), 1);
    const std::vector<int> kSeen = FollowTracks(kSound, 2);
    EXPECT_EQ(kSeen, (std::vector<int>{2, 1}));
}

TEST_F(CSoundSystemTest, PlayMusicTrackKeepsTheCurrentTrackForAnUnknownOneAndStopsWhenDisabled)
{
    MakeData({}, {}, {"m0.wav", "m1.wav", "m2.wav"}, 2000);
    CSoundSystem kSound;
    ASSERT_TRUE(kSound.Configure(&m_kData));
    ASSERT_EQ(kSound.PlayMusicTrack(2, 1), 1);
    EXPECT_EQ(kSound.PlayMusicTrack(7, 1), 1); // plays the current track again
    EXPECT_EQ(kSound.GetCurrentTrack(), 2);
    EXPECT_EQ(kSound.PlayMusicTrack(-1, 1), 1); // 65535 as a track number
    EXPECT_EQ(kSound.GetCurrentTrack(), 2);

    kSound.SetMusicEnabled(false);
    EXPECT_EQ(kSound.PlayMusicTrack(1, 1), 0);
    EXPECT_EQ(kSound.GetCurrentTrack(), 1);
    EXPECT_TRUE(CSoundSystem::IsMusicStopped());
    EXPECT_EQ(kSound.GetMusicStream(), nullptr);
}

TEST_F(CSoundSystemTest, TheAmbientLoopStartsOnceAndStopsAtVolumeZero)
{
    MakeData({}, {"amb0.wav", "amb1.wav"}, {});
    CSoundSystem kSound;
    ASSERT_TRUE(kSound.Configure(&m_kData));
    kSound.SetAmbientVolume(200); // no loop chosen: nothing
    kSound.SetAmbientSample(5);
    EXPECT_EQ(kSound.GetAmbientSample(), -1);
    kSound.SetAmbientSample(1);
    EXPECT_EQ(kSound.GetAmbientSample(), 1);
    kSound.SetAmbientVolume(300);
    const int iChannel = kSound.GetAmbient(1)->GetChannel();
    ASSERT_GE(iChannel, 0);
    EXPECT_EQ(audio::GetVolume(iChannel), 255);
    kSound.SetAmbientVolume(90); // already playing: only the volume
    EXPECT_EQ(kSound.GetAmbient(1)->GetChannel(), iChannel);
    EXPECT_EQ(audio::GetVolume(iChannel), 90);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(audio::IsPlaying(iChannel)); // loops beyond its 20 ms
    kSound.SetAmbientVolume(0);
    EXPECT_FALSE(audio::IsPlaying(iChannel));
    EXPECT_EQ(kSound.GetAmbient(1)->GetChannel(), -1);
}

TEST_F(CSoundSystemTest, WithoutADeviceTheSystemIsSilentButCountsItsLists)
{
    MakeData({"fx.wav"}, {}, {"m0.wav"});
    const std::string kOld = std::getenv("SDL_AUDIODRIVER") != nullptr ? std::getenv("SDL_AUDIODRIVER") : "dummy";
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    CSoundSystem kSound;
    testing::internal::CaptureStderr();
    const bool bOpened = kSound.Configure(&m_kData);
    const std::string kErr = testing::internal::GetCapturedStderr();
    setenv("SDL_AUDIODRIVER", kOld.c_str(), 1);
    EXPECT_FALSE(bOpened);
    EXPECT_NE(kErr.find("no sound"), std::string::npos) << kErr;
    EXPECT_EQ(kSound.GetEffectCount(), 1);
    kSound.PlaySample(0, 255, false);
    EXPECT_EQ(kSound.GetEffect(0)->GetChannel(), -1);
    EXPECT_EQ(kSound.PlayMusicTrack(0, 1), 1);
    EXPECT_EQ(kSound.GetMusicStream(), nullptr);
    kSound.SetVolume(0.5f);
}
