#include "platform/audio/Audio.h"

#include "platform/os/OsFiles.h"
#include "platform/os/OsSdl.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace audio
{
struct Sample
{
    Mix_Chunk* chunk = nullptr;
    int loopMode = LOOP_OFF;
};

struct Stream
{
    Mix_Music* music = nullptr;
    std::uint32_t serial = 0; // of its latest play; 0 before any
    bool stopped = true;
    StreamEndCallback callback = nullptr;
    void* user = nullptr;
};

namespace
{
constexpr int kMixerChannelsMax = 32;
constexpr int kChannelBits = 5;
constexpr int kChannelMask = (1 << kChannelBits) - 1;
constexpr int kBufferFrames = 1024;

struct ChannelState
{
    int counter = 0; // play counter of the handle playing here; 0 none
    Sample* sample = nullptr;
    int volume = MAX_VOLUME;
};

struct State
{
    bool open = false;
    bool audioStarted = false;
    int channels = 0;
    int masterVolume = MAX_VOLUME;
    int musicVolume = MAX_VOLUME;
    int playCounter = 0;
    std::uint32_t nextSerial = 1;
    std::array<ChannelState, kMixerChannelsMax> channel{};
    std::vector<std::unique_ptr<Sample>> samples;
    std::unique_ptr<Stream> stream;
};

State& GetState()
{
    static State state;
    return state;
}

// Written by SDL's audio thread (the music-finished hook) and the main
// thread; nothing else is shared with the audio thread.
std::atomic<std::uint32_t> g_playingSerial{0};
std::atomic<std::uint32_t> g_endedSerial{0};

void OnMusicFinished()
{
    const std::uint32_t serial = g_playingSerial.exchange(0);
    if (serial != 0)
    {
        g_endedSerial.store(serial);
    }
}

int ToMixerVolume(int volume)
{
    volume = std::clamp(volume, 0, MAX_VOLUME);
    return (volume * MIX_MAX_VOLUME + MAX_VOLUME / 2) / MAX_VOLUME;
}

// The channel of a live handle, or -1 when the handle's play is over
// (another play took its channel) or it was never one.
int ChannelOf(int handle)
{
    State& st = GetState();
    if (!st.open || handle < 0 || handle == MUSIC_CHANNEL)
    {
        return -1;
    }
    const int channel = handle & kChannelMask;
    const int counter = handle >> kChannelBits;
    if (channel >= st.channels || counter == 0 || st.channel[static_cast<std::size_t>(channel)].counter != counter)
    {
        return -1;
    }
    return channel;
}

bool IsLiveSample(const Sample* sample)
{
    for (const auto& p : GetState().samples)
    {
        if (p.get() == sample)
        {
            return true;
        }
    }
    return false;
}

void CancelStream(Stream& stream)
{
    stream.stopped = true;
    g_playingSerial.store(0);
    if (Mix_PlayingMusic() != 0 || Mix_PausedMusic() != 0)
    {
        Mix_HaltMusic();
    }
    std::uint32_t expected = stream.serial;
    (void)g_endedSerial.compare_exchange_strong(expected, 0);
}

// The sound library's back ends (ALSA among them) print their own
// complaints to standard error while a device is looked for. The game says
// in one line whether it has sound, so their lines are kept back meanwhile.
class QuietStandardError
{
public:
    QuietStandardError()
    {
        std::fflush(stderr);
        m_saved = dup(STDERR_FILENO);
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (m_saved >= 0 && null >= 0)
            m_quiet = dup2(null, STDERR_FILENO) >= 0;
        if (null >= 0)
            close(null);
    }
    ~QuietStandardError()
    {
        std::fflush(stderr);
        if (m_quiet)
            (void)dup2(m_saved, STDERR_FILENO);
        if (m_saved >= 0)
            close(m_saved);
    }
    QuietStandardError(const QuietStandardError&) = delete;
    QuietStandardError& operator=(const QuietStandardError&) = delete;

private:
    int m_saved = -1;
    bool m_quiet = false;
};

// Opens SDL's audio and the mixer; on failure the reason, written by the caller.
bool OpenDevice(int mixRate, std::string& reason)
{
    QuietStandardError quiet;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
    {
        reason = std::string("SDL audio: ") + SDL_GetError();
        return false;
    }
    if (Mix_OpenAudio(mixRate, AUDIO_S16SYS, 2, kBufferFrames) != 0)
    {
        reason = std::string("mixer: ") + Mix_GetError();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    return true;
}

void DropStream()
{
    State& st = GetState();
    if (!st.stream)
    {
        return;
    }
    CancelStream(*st.stream);
    Mix_FreeMusic(st.stream->music);
    st.stream.reset();
}
} // namespace

bool Init(int mixRate, int maxChannels)
{
    State& st = GetState();
    if (st.open)
    {
        return true;
    }
    std::string reason;
    if (!OpenDevice(mixRate, reason))
    {
        std::fprintf(stderr, "audio: no sound (%s)\n", reason.c_str());
        return false;
    }
    st.open = true;
    st.channels = Mix_AllocateChannels(std::clamp(maxChannels, 1, kMixerChannelsMax));
    for (ChannelState& c : st.channel)
    {
        c = ChannelState{};
    }
    Mix_MasterVolume(ToMixerVolume(st.masterVolume));
    Mix_VolumeMusic(ToMixerVolume(st.musicVolume));
    Mix_HookMusicFinished(OnMusicFinished);
    os::SetPumpHook(DeliverPendingEnd);
    return true;
}

void Close()
{
    State& st = GetState();
    if (!st.open)
    {
        return;
    }
    DropStream();
    Mix_HaltChannel(-1);
    for (auto& sample : st.samples)
    {
        Mix_FreeChunk(sample->chunk);
    }
    st.samples.clear();
    for (ChannelState& c : st.channel)
    {
        c = ChannelState{};
    }
    Mix_HookMusicFinished(nullptr);
    Mix_CloseAudio();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    os::SetPumpHook(nullptr);
    g_playingSerial.store(0);
    g_endedSerial.store(0);
    st.open = false;
    st.channels = 0;
}

bool IsInitialised()
{
    return GetState().open;
}

void Reset()
{
    Close();
    State& st = GetState();
    st.masterVolume = MAX_VOLUME;
    st.musicVolume = MAX_VOLUME;
    st.playCounter = 0;
    st.nextSerial = 1;
}

// ---- Samples ----

Sample* LoadSample(std::string_view path, std::uint32_t mode)
{
    State& st = GetState();
    if (!st.open)
    {
        return nullptr;
    }
    const std::string resolved = os::ResolvePath(path);
    Mix_Chunk* chunk = Mix_LoadWAV(resolved.c_str());
    if (chunk == nullptr)
    {
        std::fprintf(stderr, "audio: cannot load the sound \"%.*s\" (%s)\n", static_cast<int>(path.size()),
                     path.data(), Mix_GetError());
        return nullptr;
    }
    auto sample = std::make_unique<Sample>();
    sample->chunk = chunk;
    sample->loopMode = (mode & MODE_LOOP_NORMAL_BIT) != 0 ? LOOP_NORMAL : LOOP_OFF;
    st.samples.push_back(std::move(sample));
    return st.samples.back().get();
}

void FreeSample(Sample* sample)
{
    State& st = GetState();
    auto it = std::find_if(st.samples.begin(), st.samples.end(),
                           [sample](const std::unique_ptr<Sample>& p) { return p.get() == sample; });
    if (it == st.samples.end())
    {
        return;
    }
    for (int i = 0; i < st.channels; ++i)
    {
        ChannelState& c = st.channel[static_cast<std::size_t>(i)];
        if (c.sample == sample)
        {
            Mix_HaltChannel(i);
            c.sample = nullptr;
            c.counter = 0;
        }
    }
    Mix_FreeChunk((*it)->chunk);
    st.samples.erase(it);
}

bool SetLoopMode(Sample* sample, int loopMode)
{
    if (!IsLiveSample(sample) || (loopMode != LOOP_OFF && loopMode != LOOP_NORMAL))
    {
        return false;
    }
    sample->loopMode = loopMode;
    return true;
}

int GetLoopMode(const Sample* sample)
{
    return IsLiveSample(sample) ? sample->loopMode : 0;
}

int PlaySound(int channel, Sample* sample)
{
    State& st = GetState();
    if (!st.open || !IsLiveSample(sample) || channel < FREE || channel >= st.channels)
    {
        return -1;
    }
    if (channel != FREE)
    {
        Mix_HaltChannel(channel);
    }
    const int loops = sample->loopMode == LOOP_NORMAL ? -1 : 0;
    const int used = Mix_PlayChannel(channel, sample->chunk, loops);
    if (used < 0 || used >= st.channels)
    {
        return -1;
    }
    st.playCounter = st.playCounter >= MAX_PLAY_COUNTER ? 1 : st.playCounter + 1;
    ChannelState& c = st.channel[static_cast<std::size_t>(used)];
    c.counter = st.playCounter;
    c.sample = sample;
    c.volume = MAX_VOLUME;
    Mix_Volume(used, MIX_MAX_VOLUME);
    Mix_SetPanning(used, 255, 255);
    return used | (st.playCounter << kChannelBits);
}

bool StopSound(int handle)
{
    const int channel = ChannelOf(handle);
    if (channel < 0)
    {
        return false;
    }
    Mix_HaltChannel(channel);
    return true;
}

bool SetVolume(int handle, int volume)
{
    State& st = GetState();
    if (!st.open)
    {
        return false;
    }
    volume = std::clamp(volume, 0, MAX_VOLUME);
    if (handle == MUSIC_CHANNEL)
    {
        st.musicVolume = volume;
        Mix_VolumeMusic(ToMixerVolume(volume));
        return true;
    }
    const int channel = ChannelOf(handle);
    if (channel < 0)
    {
        return false;
    }
    st.channel[static_cast<std::size_t>(channel)].volume = volume;
    Mix_Volume(channel, ToMixerVolume(volume));
    return true;
}

int GetVolume(int handle)
{
    State& st = GetState();
    if (handle == MUSIC_CHANNEL)
    {
        return st.open ? st.musicVolume : 0;
    }
    const int channel = ChannelOf(handle);
    return channel < 0 ? 0 : st.channel[static_cast<std::size_t>(channel)].volume;
}

bool SetPan(int handle, int pan)
{
    if (handle == MUSIC_CHANNEL)
    {
        // The music is always plain stereo.
        return GetState().open && pan == STEREO_PAN;
    }
    const int channel = ChannelOf(handle);
    if (channel < 0 || pan < STEREO_PAN || pan > 255)
    {
        return false;
    }
    if (pan == STEREO_PAN)
    {
        return Mix_SetPanning(channel, 255, 255) != 0;
    }
    return Mix_SetPanning(channel, static_cast<Uint8>(255 - pan), static_cast<Uint8>(pan)) != 0;
}

bool IsPlaying(int handle)
{
    if (handle == MUSIC_CHANNEL)
    {
        State& st = GetState();
        return st.open && st.stream && !st.stream->stopped && Mix_PlayingMusic() != 0;
    }
    const int channel = ChannelOf(handle);
    return channel >= 0 && Mix_Playing(channel) != 0;
}

bool SetMasterVolume(int volume)
{
    State& st = GetState();
    if (!st.open)
    {
        return false;
    }
    st.masterVolume = std::clamp(volume, 0, MAX_VOLUME);
    Mix_MasterVolume(ToMixerVolume(st.masterVolume));
    return true;
}

int GetMasterVolume()
{
    return GetState().masterVolume;
}

// ---- Music ----

Stream* OpenStream(std::string_view path, std::uint32_t mode)
{
    (void)mode; // streams play once whatever the mode: their end chains the music
    State& st = GetState();
    if (!st.open)
    {
        return nullptr;
    }
    DropStream();
    const std::string resolved = os::ResolvePath(path);
    Mix_Music* music = Mix_LoadMUS(resolved.c_str());
    if (music == nullptr)
    {
        std::fprintf(stderr, "audio: cannot open the music \"%.*s\" (%s)\n", static_cast<int>(path.size()),
                     path.data(), Mix_GetError());
        return nullptr;
    }
    st.stream = std::make_unique<Stream>();
    st.stream->music = music;
    return st.stream.get();
}

bool SetEndCallback(Stream* stream, StreamEndCallback callback, void* user)
{
    State& st = GetState();
    if (stream == nullptr || stream != st.stream.get())
    {
        return false;
    }
    stream->callback = callback;
    stream->user = callback != nullptr ? user : nullptr;
    return true;
}

int PlayStream(int channel, Stream* stream)
{
    (void)channel; // the music has its own channel
    State& st = GetState();
    if (stream == nullptr || stream != st.stream.get())
    {
        return -1;
    }
    CancelStream(*stream);
    stream->serial = st.nextSerial++;
    if (st.nextSerial == 0)
    {
        st.nextSerial = 1;
    }
    // Noted before the start: a very short track may end before
    // Mix_PlayMusic returns.
    g_playingSerial.store(stream->serial);
    stream->stopped = false;
    if (Mix_PlayMusic(stream->music, 0) != 0)
    {
        std::fprintf(stderr, "audio: cannot play the music (%s)\n", Mix_GetError());
        CancelStream(*stream);
        return -1;
    }
    return MUSIC_CHANNEL;
}

bool StopStream(Stream* stream)
{
    State& st = GetState();
    if (stream == nullptr || stream != st.stream.get())
    {
        return false;
    }
    CancelStream(*stream);
    return true;
}

bool CloseStream(Stream* stream)
{
    State& st = GetState();
    if (stream == nullptr || stream != st.stream.get())
    {
        return false;
    }
    DropStream();
    return true;
}

Stream* GetOpenStream()
{
    return GetState().stream.get();
}

void DeliverPendingEnd()
{
    const std::uint32_t serial = g_endedSerial.exchange(0);
    State& st = GetState();
    if (serial == 0 || !st.stream || st.stream->serial != serial || st.stream->stopped)
    {
        return;
    }
    Stream* stream = st.stream.get();
    stream->stopped = true;
    if (stream->callback != nullptr)
    {
        // The callback may close this stream and open the next.
        (void)stream->callback(stream, nullptr, 0, stream->user);
    }
}

int GetLiveSampleCount()
{
    return static_cast<int>(GetState().samples.size());
}

int GetLiveStreamCount()
{
    return GetState().stream ? 1 : 0;
}
} // namespace audio
