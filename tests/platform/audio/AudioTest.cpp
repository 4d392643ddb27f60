#include "platform/audio/Audio.h"
#include "platform/os/OsSystem.h"
#include "platform/os/OsWindow.h"
#include "tests/support/TestWav.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace
{
namespace fs = std::filesystem;

class AudioTest : public testing::Test
{
protected:
    void SetUp() override
    {
        audio::Reset();
        ASSERT_TRUE(os::Startup());
        char pattern[] = "/tmp/orvane-audio-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_kFolder = pattern;
        ASSERT_TRUE(audio::Init(audio::DEFAULT_MIX_RATE, audio::DEFAULT_CHANNELS));
    }
    void TearDown() override
    {
        audio::Reset();
        std::error_code ec;
        fs::remove_all(m_kFolder, ec);
    }

    std::string Wav(const std::string& name, int milliseconds)
    {
        const std::string path = m_kFolder + "/" + name;
        EXPECT_TRUE(testsupport::WriteWav(path, milliseconds));
        return path;
    }

    // Pumps the os layer's messages until the condition holds or the time is up.
    template <typename F>
    bool PumpUntil(F condition, int milliseconds = 3000)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (std::chrono::steady_clock::now() < end)
        {
            os::Message kMessage{};
            while (os::PeekMessage(kMessage, nullptr, 0, 0, os::PM_REMOVE))
            {
            }
            if (condition())
            {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return condition();
    }

    std::string m_kFolder;
};

struct EndLog
{
    int count = 0;
    std::thread::id thread;
    audio::Stream* last = nullptr;
};

bool RecordEnd(audio::Stream* stream, void*, int, void* user)
{
    auto* log = static_cast<EndLog*>(user);
    ++log->count;
    log->thread = std::this_thread::get_id();
    log->last = stream;
    return true;
}
} // namespace

TEST_F(AudioTest, SamplesLoadThroughTheResolverAndKeepTheirLoopMode)
{
    fs::create_directories(m_kFolder + "/Sounds");
    Wav("Sounds/Beep.wav", 20);
    audio::Sample* pkPlain = audio::LoadSample(m_kFolder + "/SOUNDS\\beep.WAV", audio::MODE_2D);
    ASSERT_NE(pkPlain, nullptr);
    EXPECT_EQ(audio::GetLoopMode(pkPlain), audio::LOOP_OFF);
    audio::Sample* pkLoop = audio::LoadSample(m_kFolder + "/sounds/beep.wav", audio::MODE_2D_LOOP_NORMAL);
    ASSERT_NE(pkLoop, nullptr);
    EXPECT_EQ(audio::GetLoopMode(pkLoop), audio::LOOP_NORMAL);

    // A looping sample is still playing long after its 20 ms; a plain one is not.
    const int iLoop = audio::PlaySound(audio::FREE, pkLoop);
    const int iPlain = audio::PlaySound(audio::FREE, pkPlain);
    ASSERT_GE(iLoop, 0);
    ASSERT_GE(iPlain, 0);
    EXPECT_NE(iLoop & 31, iPlain & 31);
    EXPECT_TRUE(PumpUntil([&] { return !audio::IsPlaying(iPlain); }));
    EXPECT_TRUE(audio::IsPlaying(iLoop));

    // The mode set stays for the next play.
    EXPECT_TRUE(audio::SetLoopMode(pkPlain, audio::LOOP_NORMAL));
    EXPECT_EQ(audio::GetLoopMode(pkPlain), audio::LOOP_NORMAL);
    EXPECT_FALSE(audio::SetLoopMode(pkPlain, 3));
    const int iNow = audio::PlaySound(audio::FREE, pkPlain);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_TRUE(audio::IsPlaying(iNow));

    audio::FreeSample(pkPlain);
    EXPECT_FALSE(audio::IsPlaying(iNow)); // freeing stops its channels
    EXPECT_EQ(audio::PlaySound(audio::FREE, pkPlain), -1);
    EXPECT_EQ(audio::GetLiveSampleCount(), 1);
}

TEST_F(AudioTest, AMissingFileGivesNullAndALineNamingIt)
{
    testing::internal::CaptureStderr();
    audio::Sample* pkSample = audio::LoadSample(m_kFolder + "/missing.wav", audio::MODE_2D);
    audio::Stream* pkStream = audio::OpenStream(m_kFolder + "/nothing.wav", audio::MODE_STREAM);
    const std::string kErr = testing::internal::GetCapturedStderr();
    EXPECT_EQ(pkSample, nullptr);
    EXPECT_EQ(pkStream, nullptr);
    EXPECT_NE(kErr.find("missing.wav"), std::string::npos) << kErr;
    EXPECT_NE(kErr.find("nothing.wav"), std::string::npos) << kErr;
    EXPECT_EQ(audio::PlaySound(audio::FREE, nullptr), -1);
    EXPECT_EQ(audio::PlayStream(audio::FREE, nullptr), -1);

    // A file that is not sound at all is refused the same way.
    std::FILE* f = std::fopen((m_kFolder + "/junk.wav").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("RIFF\x10\x00\x00\x00WAVEjunk", f);
    std::fclose(f);
    testing::internal::CaptureStderr();
    EXPECT_EQ(audio::LoadSample(m_kFolder + "/junk.wav", audio::MODE_2D), nullptr);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("junk.wav"), std::string::npos);
}

TEST_F(AudioTest, AHandleWhoseChannelWasReusedActsOnNothing)
{
    audio::Sample* pkSample = audio::LoadSample(Wav("a.wav", 20), audio::MODE_2D_LOOP_NORMAL);
    ASSERT_NE(pkSample, nullptr);
    const int iOld = audio::PlaySound(3, pkSample);
    ASSERT_GE(iOld, 0);
    EXPECT_EQ(iOld & 31, 3);
    EXPECT_TRUE(audio::SetVolume(iOld, 100));
    const int iNew = audio::PlaySound(3, pkSample);
    ASSERT_GE(iNew, 0);
    EXPECT_EQ(iNew & 31, 3);
    EXPECT_NE(iNew, iOld);

    EXPECT_FALSE(audio::IsPlaying(iOld));
    EXPECT_FALSE(audio::SetVolume(iOld, 10));
    EXPECT_FALSE(audio::StopSound(iOld));
    EXPECT_EQ(audio::GetVolume(iOld), 0);
    EXPECT_TRUE(audio::IsPlaying(iNew));
    EXPECT_EQ(audio::GetVolume(iNew), 255); // a new play starts at full volume

    // Channel numbers the device does not have, and handles that were never one.
    EXPECT_EQ(audio::PlaySound(32, pkSample), -1);
    EXPECT_EQ(audio::PlaySound(-2, pkSample), -1);
    EXPECT_FALSE(audio::StopSound(3)); // counter 0
    EXPECT_FALSE(audio::IsPlaying(-1));

    EXPECT_TRUE(audio::StopSound(iNew));
    EXPECT_FALSE(audio::IsPlaying(iNew));
}

TEST_F(AudioTest, HandlesStayClearOfTheMusicChannelOverManyPlays)
{
    audio::Sample* pkSample = audio::LoadSample(Wav("a.wav", 5), audio::MODE_2D);
    ASSERT_NE(pkSample, nullptr);
    int iPrevious = -1;
    for (int i = 0; i < 2 * audio::MAX_PLAY_COUNTER + 5; ++i)
    {
        const int iHandle = audio::PlaySound(31, pkSample);
        ASSERT_GE(iHandle, 32);
        ASSERT_LT(iHandle, audio::MUSIC_CHANNEL);
        ASSERT_NE(iHandle, iPrevious);
        iPrevious = iHandle;
    }
}

TEST_F(AudioTest, VolumesAreKeptAsGivenAndClamped)
{
    audio::Sample* pkSample = audio::LoadSample(Wav("a.wav", 20), audio::MODE_2D_LOOP_NORMAL);
    const int iHandle = audio::PlaySound(audio::FREE, pkSample);
    ASSERT_GE(iHandle, 0);
    EXPECT_TRUE(audio::SetVolume(iHandle, 200));
    EXPECT_EQ(audio::GetVolume(iHandle), 200);
    EXPECT_TRUE(audio::SetVolume(iHandle, 300));
    EXPECT_EQ(audio::GetVolume(iHandle), 255);
    EXPECT_TRUE(audio::SetVolume(iHandle, -4));
    EXPECT_EQ(audio::GetVolume(iHandle), 0);

    EXPECT_EQ(audio::GetMasterVolume(), 255);
    EXPECT_TRUE(audio::SetMasterVolume(100));
    EXPECT_EQ(audio::GetMasterVolume(), 100);
    EXPECT_TRUE(audio::SetVolume(audio::MUSIC_CHANNEL, 17));
    EXPECT_EQ(audio::GetVolume(audio::MUSIC_CHANNEL), 17);

    EXPECT_TRUE(audio::SetPan(iHandle, audio::STEREO_PAN));
    EXPECT_TRUE(audio::SetPan(iHandle, 0));
    EXPECT_FALSE(audio::SetPan(iHandle, 256));
    EXPECT_TRUE(audio::SetPan(audio::MUSIC_CHANNEL, audio::STEREO_PAN));
}

TEST_F(AudioTest, WithoutADeviceEveryCallIsSilent)
{
    audio::Reset();
    const char* pcOld = std::getenv("SDL_AUDIODRIVER");
    const std::string kOld = pcOld != nullptr ? pcOld : "";
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    testing::internal::CaptureStderr();
    const bool bOpened = audio::Init(audio::DEFAULT_MIX_RATE, audio::DEFAULT_CHANNELS);
    const std::string kErr = testing::internal::GetCapturedStderr();
    setenv("SDL_AUDIODRIVER", kOld.empty() ? "dummy" : kOld.c_str(), 1);

    EXPECT_FALSE(bOpened);
    EXPECT_FALSE(audio::IsInitialised());
    EXPECT_EQ(std::count(kErr.begin(), kErr.end(), '\n'), 1) << kErr;
    const std::string kPath = Wav("a.wav", 20);
    EXPECT_EQ(audio::LoadSample(kPath, audio::MODE_2D), nullptr);
    EXPECT_EQ(audio::OpenStream(kPath, audio::MODE_STREAM), nullptr);
    EXPECT_FALSE(audio::SetMasterVolume(10));
    EXPECT_FALSE(audio::SetVolume(audio::MUSIC_CHANNEL, 10));
    audio::DeliverPendingEnd();
}

// A real driver that finds no device (ALSA without a card prints lines of
// its own through its library): the one line the game writes is all.
TEST_F(AudioTest, ProbingARealDriverWithoutADevicePrintsOneLine)
{
    audio::Reset();
    const char* pcOld = std::getenv("SDL_AUDIODRIVER");
    const std::string kOld = pcOld != nullptr ? pcOld : "";
    setenv("SDL_AUDIODRIVER", "alsa", 1);
    testing::internal::CaptureStderr();
    const bool bOpened = audio::Init(audio::DEFAULT_MIX_RATE, audio::DEFAULT_CHANNELS);
    const std::string kErr = testing::internal::GetCapturedStderr();
    setenv("SDL_AUDIODRIVER", kOld.empty() ? "dummy" : kOld.c_str(), 1);
    if (bOpened)
    {
        audio::Close();
        GTEST_SKIP() << "this machine has a sound device";
    }
    EXPECT_EQ(kErr.rfind("audio: no sound (", 0), 0u) << kErr;
    EXPECT_EQ(std::count(kErr.begin(), kErr.end(), '\n'), 1) << kErr;
    // Standard error works again afterwards.
    testing::internal::CaptureStderr();
    std::fprintf(stderr, "after\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "after\n");
}

TEST_F(AudioTest, TheStreamEndReachesItsCallbackOnceOnTheMainThreadThroughThePump)
{
    audio::Stream* pkStream = audio::OpenStream(Wav("track.wav", 20), audio::MODE_STREAM);
    ASSERT_NE(pkStream, nullptr);
    EndLog kLog;
    ASSERT_TRUE(audio::SetEndCallback(pkStream, RecordEnd, &kLog));
    ASSERT_EQ(audio::PlayStream(audio::FREE, pkStream), audio::MUSIC_CHANNEL);
    EXPECT_TRUE(audio::IsPlaying(audio::MUSIC_CHANNEL));

    // Without a pump pass nothing is delivered, however long the wait.
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_EQ(kLog.count, 0);
    EXPECT_TRUE(PumpUntil([&] { return kLog.count > 0; }));
    EXPECT_EQ(kLog.count, 1);
    EXPECT_EQ(kLog.thread, std::this_thread::get_id());
    EXPECT_EQ(kLog.last, pkStream);
    EXPECT_FALSE(audio::IsPlaying(audio::MUSIC_CHANNEL));
    EXPECT_FALSE(PumpUntil([&] { return kLog.count > 1; }, 200));

    // Played again, it ends again.
    ASSERT_EQ(audio::PlayStream(audio::FREE, pkStream), audio::MUSIC_CHANNEL);
    EXPECT_TRUE(PumpUntil([&] { return kLog.count == 2; }));
}

TEST_F(AudioTest, AStoppedOrClosedStreamReportsNoEnd)
{
    const std::string kPath = Wav("track.wav", 20);
    EndLog kLog;
    audio::Stream* pkStream = audio::OpenStream(kPath, audio::MODE_STREAM);
    ASSERT_NE(pkStream, nullptr);
    audio::SetEndCallback(pkStream, RecordEnd, &kLog);
    ASSERT_EQ(audio::PlayStream(audio::FREE, pkStream), audio::MUSIC_CHANNEL);
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // ended on the audio thread
    EXPECT_TRUE(audio::StopStream(pkStream));
    EXPECT_FALSE(PumpUntil([&] { return kLog.count > 0; }, 300));

    ASSERT_EQ(audio::PlayStream(audio::FREE, pkStream), audio::MUSIC_CHANNEL);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(audio::CloseStream(pkStream));
    EXPECT_EQ(audio::GetOpenStream(), nullptr);
    EXPECT_FALSE(PumpUntil([&] { return kLog.count > 0; }, 300));

    // Opening another closes the first: its noted end is dropped with it.
    audio::Stream* pkFirst = audio::OpenStream(kPath, audio::MODE_STREAM);
    audio::SetEndCallback(pkFirst, RecordEnd, &kLog);
    ASSERT_EQ(audio::PlayStream(audio::FREE, pkFirst), audio::MUSIC_CHANNEL);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    audio::Stream* pkSecond = audio::OpenStream(kPath, audio::MODE_STREAM);
    ASSERT_NE(pkSecond, nullptr);
    EXPECT_EQ(audio::GetLiveStreamCount(), 1);
    EXPECT_FALSE(PumpUntil([&] { return kLog.count > 0; }, 300));
}

namespace
{
struct Chain
{
    std::vector<std::string> paths;
    int ended = 0;
    int maxOpen = 0;
    std::mt19937 random{7};
};

bool PlayNext(audio::Stream*, void*, int, void* user);

void StartTrack(Chain& chain)
{
    const std::string& kPath = chain.paths[chain.random() % chain.paths.size()];
    audio::Stream* pkStream = audio::OpenStream(kPath, audio::MODE_STREAM);
    chain.maxOpen = std::max(chain.maxOpen, audio::GetLiveStreamCount());
    if (pkStream != nullptr)
    {
        audio::SetEndCallback(pkStream, PlayNext, &chain);
        (void)audio::PlayStream(audio::FREE, pkStream);
    }
}

bool PlayNext(audio::Stream*, void*, int, void* user)
{
    auto* chain = static_cast<Chain*>(user);
    ++chain->ended;
    StartTrack(*chain);
    return true;
}
} // namespace

TEST_F(AudioTest, TwoHundredChainedTracksWithRandomStopsKeepOneStream)
{
    Chain kChain;
    for (int i = 0; i < 3; ++i)
    {
        kChain.paths.push_back(Wav("t" + std::to_string(i) + ".wav", 3 + i));
    }
    StartTrack(kChain);
    int iStarted = 1;
    std::mt19937 kStops(11);
    const auto kEnd = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (iStarted + kChain.ended < 200 && std::chrono::steady_clock::now() < kEnd)
    {
        os::Message kMessage{};
        while (os::PeekMessage(kMessage, nullptr, 0, 0, os::PM_REMOVE))
        {
        }
        if (kStops() % 8 == 0)
        {
            // The game stops the music and starts another track.
            if (audio::Stream* pkOpen = audio::GetOpenStream())
            {
                if (kStops() % 2 == 0)
                    audio::StopStream(pkOpen);
                else
                    audio::CloseStream(pkOpen);
            }
            StartTrack(kChain);
            ++iStarted;
        }
        ASSERT_LE(audio::GetLiveStreamCount(), 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    EXPECT_GE(iStarted + kChain.ended, 200);
    EXPECT_GT(kChain.ended, 0);
    EXPECT_EQ(kChain.maxOpen, 1);
    audio::Close();
    EXPECT_EQ(audio::GetLiveStreamCount(), 0);
    EXPECT_EQ(audio::GetLiveSampleCount(), 0);
}
