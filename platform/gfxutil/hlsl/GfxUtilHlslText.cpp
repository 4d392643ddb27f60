#include "platform/gfxutil/hlsl/GfxUtilHlslText.h"

#include "platform/gfxutil/hlsl/GfxUtilHlslGuard.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <functional>

namespace gfx::hlsl {
namespace {

// What the text passes of the compile under way on this thread have done:
// tokens and bytes looked at. A hostile source must meet the compile's one
// deadline inside a pass, not only between the includes and in the worker,
// so every loop of a pass counts its steps here and the clock is read every
// so many of them.
constexpr std::uint64_t kStepsPerLook = 4096;
struct PassWork {
    std::uint64_t steps = 0, nextLook = kStepsPerLook;
    bool expired = false;
};
thread_local PassWork t_work;
thread_local int t_passRuns = 0;

// Each opening bracket given its closing one. Brackets of one kind pair
// among themselves whatever the others do, as a scan counting only that
// kind would pair them.
void PairBrackets(std::vector<Token>& t) {
    std::vector<std::size_t> open[4];
    for (std::size_t i = 0; i < t.size() && Step(); ++i) {
        if (t[i].text.size() != 1) continue;
        const char c = t[i].text[0];
        const int opening = c == '{' ? 0 : c == '(' ? 1 : c == '[' ? 2 : c == '<' ? 3 : -1;
        const int closing = c == '}' ? 0 : c == ')' ? 1 : c == ']' ? 2 : c == '>' ? 3 : -1;
        if (opening >= 0) {
            t[i].close = t.size();
            open[opening].push_back(i);
        } else if (closing >= 0 && !open[closing].empty()) {
            t[open[closing].back()].close = i;
            open[closing].pop_back();
        }
    }
}

} // namespace

PassRun::PassRun() {
    if (t_passRuns++ == 0) t_work = PassWork{};
}

PassRun::~PassRun() {
    if (--t_passRuns == 0) t_work.expired = false;
}

bool Step(std::uint64_t n) {
    t_work.steps += n;
    if (t_work.steps >= t_work.nextLook) {
        t_work.nextLook = t_work.steps + kStepsPerLook;
        const HlslCompileScope* scope = HlslCompileScope::Current();
        if (scope && scope->Expired()) t_work.expired = true;
    }
    return !t_work.expired;
}

bool PassesExpired() { return t_work.expired; }

bool RunHlslCompile(const std::function<void()>& work) {
    if (OnHlslStack()) {
        work();
        return true;
    }
    // The pass count goes with the compile and comes back with it, for
    // LastHlslPassSteps on the caller's thread.
    const PassWork before = t_work;
    const int runs = t_passRuns;
    PassWork after = before;
    const bool ran = RunOnHlslStack([&] {
        t_work = before;
        t_passRuns = runs;
        work();
        after = t_work;
        // The thread serves other compiles after this one.
        t_work = PassWork{};
        t_passRuns = 0;
    });
    if (ran) t_work = after;
    return ran;
}

std::uint64_t PassSteps() { return t_work.steps; }

std::vector<Token> Tokenize(std::string_view s) {
    std::vector<Token> out;
    out.reserve(s.size() / 4);
    std::size_t i = 0;
    bool lineStart = true;
    while (i < s.size() && Step()) {
        const char c = s[i];
        if (c == '\n') {
            lineStart = true;
            ++i;
            continue;
        }
        if (SpaceByte(c)) {
            // A run of blanks at once, each byte a step still.
            const std::size_t begin = i;
            while (++i < s.size() && SpaceByte(s[i]) && s[i] != '\n') {
            }
            Step(i - begin - 1);
            continue;
        }
        if (c == '#' && lineStart) {
            // A directive runs to the end of its line, continued by a backslash;
            // the matrix packing a pragma asks for is kept as a marker.
            const std::size_t begin = i;
            while (i < s.size() && s[i] != '\n') i += (s[i] == '\\' && i + 1 < s.size()) ? 2 : 1;
            const std::string_view line = s.substr(begin, i - begin);
            if (line.find("pragma") != std::string_view::npos && line.find("pack_matrix") != std::string_view::npos) {
                if (line.find("row_major") != std::string_view::npos) out.push_back({"#row_major", begin});
                else if (line.find("column_major") != std::string_view::npos) out.push_back({"#column_major", begin});
            }
            continue;
        }
        lineStart = false;
        if (c == '/' && i + 1 < s.size() && s[i + 1] == '/') {
            while (i < s.size() && s[i] != '\n') ++i;
            continue;
        }
        if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
            const std::size_t end = s.find("*/", i + 2);
            i = end == std::string_view::npos ? s.size() : end + 2;
            continue;
        }
        const std::size_t begin = i;
        if (c == '"') {
            ++i;
            while (i < s.size() && s[i] != '"') i += (s[i] == '\\') ? 2 : 1;
            i = std::min(i + 1, s.size());
        } else if (IdentStart(c)) {
            while (i < s.size() && IdentChar(s[i])) ++i;
        } else if (DigitByte(c) || (c == '.' && i + 1 < s.size() && DigitByte(s[i + 1]))) {
            while (i < s.size() && (IdentChar(s[i]) || s[i] == '.' ||
                                    ((s[i] == '-' || s[i] == '+') && (s[i - 1] == 'e' || s[i - 1] == 'E'))))
                ++i;
        } else {
            ++i;
        }
        out.push_back({s.substr(begin, i - begin), begin});
    }
    PairBrackets(out);
    return out;
}

std::size_t MatchClose(const std::vector<Token>& t, std::size_t open) {
    if (t[open].close > open && t[open].close <= t.size()) return t[open].close;
    const char o = t[open].text[0], c = o == '{' ? '}' : o == '(' ? ')' : o == '[' ? ']' : '>';
    int depth = 0;
    for (std::size_t i = open; i < t.size() && Step(); ++i) {
        if (t[i].text.size() == 1 && t[i].text[0] == o) ++depth;
        if (t[i].text.size() == 1 && t[i].text[0] == c && --depth == 0) return i;
    }
    return t.size();
}

float Number(std::string_view s) {
    std::string text(s);
    while (!text.empty() && (text.back() == 'f' || text.back() == 'F' || text.back() == 'h' || text.back() == 'H'))
        text.pop_back();
    return std::strtof(text.c_str(), nullptr);
}

void Blank(std::string& text, std::size_t begin, std::size_t end) {
    Step(end > begin ? end - begin : 0);
    for (std::size_t i = begin; i < end && i < text.size(); ++i)
        if (text[i] != '\n') text[i] = ' ';
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

} // namespace gfx::hlsl
