#pragma once
// What the text passes of the high-level compile (platform/gfxutil/hlsl/GfxUtilHlsl.h)
// share: tokens of the preprocessed source, and the count of their work
// against the compile's deadline. Private to the HLSL compiler.

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace gfx::hlsl {

// D3DXREGISTER_SET
constexpr std::uint16_t kSetBool = 0, kSetInt = 1, kSetFloat = 2, kSetSampler = 3;
constexpr std::size_t kBoolIntRegisters = 16; // the device's b and i files
constexpr std::size_t kMaxRegisters = 4096;

constexpr const char* kPassesTooLong = "preparing the source for the compiler took too long";

struct Token {
    std::string_view text;
    std::size_t begin = 0;
    // An opening bracket's closing one (the list's size when it has none),
    // found once for the whole list: passes that look for the end of every
    // list or block would otherwise scan to it each time.
    std::size_t close = 0;
};

// One run of the passes: the outermost on this thread starts the count
// afresh (the layout runs alone too, or within a compile).
class PassRun {
public:
    PassRun();
    // The count stays for LastHlslPassSteps; what is past its deadline is
    // the run's alone.
    ~PassRun();
    PassRun(const PassRun&) = delete;
    PassRun& operator=(const PassRun&) = delete;
};

// `n` steps more; false, and false from then on, once the deadline of the
// compile under way has passed.
bool Step(std::uint64_t n = 1);
bool PassesExpired();
// Runs a compile's `work` on a stack of its own (RunOnHlslStack), whatever
// the caller's thread's, carrying the compile's scope and the pass count
// there and back; at once when this thread runs on one. False, nothing run,
// when no thread could be made: then the compile is refused (kHlslNoThread).
bool RunHlslCompile(const std::function<void()>& work);
// The steps the last run on this thread took.
std::uint64_t PassSteps();

// The source's characters by their ASCII classes, whatever the process's
// locale: every pass reads every byte, and the C library's classes are a
// call each (and a Latin-1 locale would take bytes past 127 for letters).
inline bool DigitByte(char c) { return c >= '0' && c <= '9'; }
inline bool SpaceByte(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool IdentStart(char c) { return ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') || c == '_'; }
inline bool IdentChar(char c) { return IdentStart(c) || DigitByte(c); }

// Words, numbers and single punctuation; comments, strings and preprocessor
// lines dropped. Cut short once the deadline has passed.
std::vector<Token> Tokenize(std::string_view s);

// The closing bracket of the one at `open`; the list's size when none.
std::size_t MatchClose(const std::vector<Token>& t, std::size_t open);

inline bool Is(const Token& t, std::string_view s) { return t.text == s; }
inline std::size_t TokenEnd(const Token& t) { return t.begin + t.text.size(); }

float Number(std::string_view s);

// Spaces over [begin, end) of `text`, keeping its line breaks so that the
// compiler's line numbers stay those of the file.
void Blank(std::string& text, std::size_t begin, std::size_t end);

bool EqualNoCase(std::string_view a, std::string_view b);

} // namespace gfx::hlsl
