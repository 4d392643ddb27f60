#pragma once

// The sound layer: samples played on numbered channels, a master volume,
// and one streamed music track with an end callback, over SDL2_mixer.
//
// Everything is called on the main thread. The one thing that happens on
// SDL's audio thread, the end of the music, is only noted there; the os
// layer's message pump hands it to the stream's end callback on the main
// thread at its next pass.
//
// Failure never stops the game: when the device cannot be opened, Init
// writes one line on standard error and every later call does nothing
// (loads give null, plays give channel -1).

#include <cstdint>
#include <string_view>

namespace audio
{
// ---- Published numbers the game's sound code is written with ----
// Mix rate and channel count the game initialises with.
inline constexpr int DEFAULT_MIX_RATE = 44100;
inline constexpr int DEFAULT_CHANNELS = 32;
// Sample load modes: 2-D without looping; 2-D with normal looping.
inline constexpr std::uint32_t MODE_2D = 0x2000;
inline constexpr std::uint32_t MODE_2D_LOOP_NORMAL = 0x2002;
// The mode the music streams are opened with. The stream plays once: its
// end is what starts the next track.
inline constexpr std::uint32_t MODE_STREAM = 0x6B;
// The loop-mode bit within a load mode, and the loop modes themselves.
inline constexpr std::uint32_t MODE_LOOP_NORMAL_BIT = 0x0002;
inline constexpr int LOOP_OFF = 1;
inline constexpr int LOOP_NORMAL = 2;
// "Any free channel" when playing; also the channel of nothing.
inline constexpr int FREE = -1;
// The pan value that means plain stereo (no panning).
inline constexpr int STEREO_PAN = -1;
// The music's channel handle: outside every sample handle (those are
// channel | counter << 5 with the counter in 1..MAX_PLAY_COUNTER).
inline constexpr int MUSIC_CHANNEL = 0x7FFF;
inline constexpr int MAX_PLAY_COUNTER = 1022;
// Volumes are 0..255 here and 0..128 in the mixer.
inline constexpr int MAX_VOLUME = 255;

struct Sample;
struct Stream;

// Called on the main thread when a stream reached its end. The return value
// is the game's (kept for its own use, ignored here).
using StreamEndCallback = bool (*)(Stream* stream, void* buffer, int length, void* user);

// Opens the device: Mix_OpenAudio(mixRate, signed 16-bit native, stereo,
// 1024) and maxChannels mixing channels (at most 32). False (one line on
// standard error) when SDL's audio or the mixer cannot start; the layer then
// stays silent. Calling it again while open is true and changes nothing.
bool Init(int mixRate, int maxChannels);
// Stops everything, frees every sample and stream still loaded, closes the
// device. Handles taken before are dead afterwards.
void Close();
[[nodiscard]] bool IsInitialised();
// Test reset: Close, and the counters back to their start.
void Reset();

// ---- Samples ----
// Loads a WAV (or any format the mixer reads) through the os layer's path
// resolver. The mode's loop bit gives the sample's loop mode. Null, with a
// line naming the file, when it cannot be read or the layer is silent.
[[nodiscard]] Sample* LoadSample(std::string_view path, std::uint32_t mode);
void FreeSample(Sample* sample);
// LOOP_OFF or LOOP_NORMAL; kept with the sample for its next plays.
bool SetLoopMode(Sample* sample, int loopMode);
[[nodiscard]] int GetLoopMode(const Sample* sample);

// Plays on the given channel (FREE: the first free one). Returns the channel
// handle, -1 when nothing plays (null sample, silent layer, bad or busy
// channel numbers).
int PlaySound(int channel, Sample* sample);
// A handle whose channel was since used by another play acts on nothing.
bool StopSound(int handle);
bool SetVolume(int handle, int volume); // 0..255; the music handle sets the music's volume
[[nodiscard]] int GetVolume(int handle);
bool SetPan(int handle, int pan);       // STEREO_PAN, or 0 (left) .. 255 (right)
[[nodiscard]] bool IsPlaying(int handle);
// The effects' master volume, 0..255.
bool SetMasterVolume(int volume);
[[nodiscard]] int GetMasterVolume();

// ---- The music stream (at most one open) ----
// Opens a music file through the resolver; an open stream is closed first.
// Null (with a line naming the file) when it cannot be read.
[[nodiscard]] Stream* OpenStream(std::string_view path, std::uint32_t mode);
bool SetEndCallback(Stream* stream, StreamEndCallback callback, void* user);
// Starts the stream from its beginning; MUSIC_CHANNEL, or -1.
int PlayStream(int channel, Stream* stream);
// Stop and Close both cancel an end that was noted but not yet delivered.
bool StopStream(Stream* stream);
bool CloseStream(Stream* stream);
[[nodiscard]] Stream* GetOpenStream();

// Hands a noted stream end to its callback: only for the stream that is
// still open and was not stopped since it started. The os pump calls this
// on every pass; callable directly as well.
void DeliverPendingEnd();

// For tests and diagnostics: how many samples and streams are alive.
[[nodiscard]] int GetLiveSampleCount();
[[nodiscard]] int GetLiveStreamCount();
} // namespace audio
