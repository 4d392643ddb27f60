#include "platform/gfx/GfxGlProgramGate.h"

#include "platform/gfx/Gfx.h"
#include "platform/hlslhelper/HlslHelperIo.h"
#include "platform/hlslhelper/HlslHelperLaunch.h"
#include "platform/hlslhelper/HlslHelperProtocol.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <mutex>
#include <unordered_map>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace gfx {
namespace {

using helper::kGlCheckFailed;
using helper::kGlCheckNoContext;
using helper::kGlCheckOk;
constexpr std::size_t kVerdictBytes = helper::kGlCheckVerdictBytes;
// Verdicts kept for texts already checked, at most (the texts are large).
constexpr std::size_t kKeptVerdictBytes = std::size_t(16) << 20;

std::atomic<std::uint32_t> g_runs{0}, g_refusals{0};

struct GateSettings {
    GlProgramGateForTests test;
};

std::mutex g_mutex;
GateSettings g_settings;
// Stage text -> "" when it passed, the refusal otherwise; oldest first in g_order.
std::unordered_map<std::string, std::string> g_verdicts;
std::deque<std::string> g_order;
std::size_t g_keptBytes = 0;

// ---- the pairs the check links ----

// The vertex half beside a pixel program: a quad over the whole target,
// every varying the pixel half reads given a value that changes across it. A
// constant would be folded into the pixel half when the pair links, and the
// check would time a program with its work taken away (a `switch` on an
// input down to one case).
std::string PartnerVertex(const TranslatedShader& ps) {
    std::string s = "#version 330 core\n";
    const std::vector<std::string> varyings = PixelProgramVaryings(ps, false);
    for (const std::string& name : varyings) s += "out vec4 " + name + ";\n";
    s += "void main() {\n"
         "    gl_Position = vec4((gl_VertexID & 1) != 0 ? 1.0 : -1.0, (gl_VertexID & 2) != 0 ? -1.0 : 1.0, 0.5, 1.0);\n";
    for (const std::string& name : varyings)
        s += "    " + name + " = vec4(0.5 + 0.5 * gl_Position.x, 0.5 - 0.5 * gl_Position.y, 0.25 * float(gl_VertexID), 1.0);\n";
    return s + "}\n";
}

// The fragment half beside a vertex program: every varying it writes read,
// so the driver drops none of the program's work as unused.
std::string PartnerFragment(const TranslatedShader& vs) {
    std::string s = "#version 330 core\nlayout(location = 0) out vec4 oColor;\n";
    const std::vector<std::string> varyings = VertexProgramVaryings(vs);
    for (const std::string& name : varyings) s += "in vec4 " + name + ";\n";
    s += "void main() {\n    vec4 sum = vec4(0.0);\n";
    for (const std::string& name : varyings) s += "    sum += " + name + ";\n";
    return s + "    oColor = sum;\n}\n";
}

// ---- the caller's side ----

std::string SignalName(int signal) {
    switch (signal) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGABRT: return "SIGABRT";
    case SIGILL: return "SIGILL";
    case SIGFPE: return "SIGFPE";
    case SIGKILL: return "SIGKILL";
    case SIGTRAP: return "SIGTRAP";
    default: return "signal " + std::to_string(signal);
    }
}

// What a check came to: `refusal` empty when the pair passed. `unmade`: no
// check ran (no process, no exec), which says nothing of the program.
struct CheckOutcome {
    std::string refusal;
    bool unmade = false;
};

CheckOutcome Unmade(std::string why) { return {std::move(why), true}; }

// One check process run on `vs` and `fs`.
CheckOutcome Check(const std::string& vs, const std::string& fs, const char* driver, const GlProgramGateForTests& test) {
    const std::chrono::milliseconds time = test.milliseconds ? std::chrono::milliseconds(test.milliseconds) : kGlGateTime;
    const std::string seconds = std::to_string(double(time.count()) / 1000.0).substr(0, 4);
    if (test.helper == GlProgramGateForTests::Helper::NotMade)
        return Unmade("no process could be made to check it first (a test's)");
    // The request in a memory file the helper reads from its start; both
    // above standard error, so that a host started with 0-2 closed writes
    // there as it likes.
    const int request = helper::AboveStandardDescriptors(::memfd_create("orvane-gl-check", MFD_CLOEXEC));
    if (request < 0) return Unmade(std::string("no process could be made to check it first: ") + std::strerror(errno));
    const std::uint32_t head[4] = {helper::kGlCheckMagic, std::uint32_t(test.helper), std::uint32_t(vs.size()),
                                   std::uint32_t(fs.size())};
    int verdictPipe[2] = {-1, -1};
    const bool piped = ::pipe2(verdictPipe, O_CLOEXEC) == 0;
    if (piped) {
        verdictPipe[0] = helper::AboveStandardDescriptors(verdictPipe[0]);
        verdictPipe[1] = helper::AboveStandardDescriptors(verdictPipe[1]);
    }
    if (!helper::WriteAll(request, head, sizeof head) || !helper::WriteAll(request, vs.data(), vs.size()) ||
        !helper::WriteAll(request, fs.data(), fs.size()) || ::lseek(request, 0, SEEK_SET) != 0 || !piped ||
        verdictPipe[0] < 0 || verdictPipe[1] < 0) {
        const int error = errno;
        ::close(request);
        for (const int fd : verdictPipe)
            if (fd >= 0) ::close(fd);
        return Unmade(std::string("no process could be made to check it first: ") + std::strerror(error));
    }
    // This process's environment, with the caller's video driver.
    std::vector<std::string> variables;
    for (char** e = environ; e && *e; ++e) {
        const std::string_view v(*e);
        if (driver && v.rfind("SDL_VIDEODRIVER=", 0) == 0) continue;
        variables.emplace_back(v);
    }
    if (driver) variables.push_back(std::string("SDL_VIDEODRIVER=") + driver);
    ++g_runs;
    const auto started = std::chrono::steady_clock::now();
    // The helper ends with this thread, which waits for it.
    const helper::StartedHelper helperStarted =
        helper::StartHelper(helper::kGlCheckRole, request, verdictPipe[1], &variables);
    const pid_t child = helperStarted.pid;
    ::close(request);
    ::close(verdictPipe[1]);
    if (child < 0) {
        ::close(verdictPipe[0]);
        return Unmade("no process could be made to check it first: " + helperStarted.why);
    }
    // The verdict until its end, the process's end, its budget of processor
    // time or the clock's backstop.
    const auto backstop = started + time * kGlGateWallTimesProcessorTime;
    clockid_t cpuClock{};
    const bool cpuClockKnown = ::clock_getcpuclockid(child, &cpuClock) == 0;
    const auto cpuSpent = [&]() -> std::chrono::milliseconds {
        timespec t{};
        if (!cpuClockKnown || ::clock_gettime(cpuClock, &t) != 0) return std::chrono::milliseconds(0);
        return std::chrono::milliseconds(std::int64_t(t.tv_sec) * 1000 + t.tv_nsec / 1000000);
    };
    std::string verdict;
    bool closed = false, reaped = false, late = false, lateByClock = false;
    int status = 0;
    while (!reaped) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(backstop - std::chrono::steady_clock::now());
        // Without its processor clock the check has the budget on the clock.
        const bool overBudget = cpuClockKnown ? cpuSpent() >= time : std::chrono::steady_clock::now() >= started + time;
        if (left.count() <= 0 || overBudget) {
            late = true;
            lateByClock = !overBudget;
            break;
        }
        if (!closed) {
            pollfd p{verdictPipe[0], POLLIN, 0};
            // Its processor time is looked at between short waits.
            const int ready = ::poll(&p, 1, int(std::min<std::int64_t>(left.count(), 20)));
            if (ready < 0 && errno != EINTR) break;
            if (ready <= 0) continue;
            char chunk[4096];
            const ssize_t n = ::read(verdictPipe[0], chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) closed = true;
            else if (verdict.size() < kVerdictBytes) verdict.append(chunk, std::size_t(n));
            continue;
        }
        // Its answer is whole; its end follows at once, or it is late.
        const pid_t got = ::waitpid(child, &status, WNOHANG);
        if (got == child) reaped = true;
        else if (got < 0 && errno != EINTR) break; // reaped by a handler of the caller's
        else ::usleep(1000);
    }
    ::close(verdictPipe[0]);
    if (!reaped) {
        ::kill(child, SIGKILL);
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    }
    if (late)
        return {"the driver took more than " + (lateByClock ? std::to_string(kGlGateWallTimesProcessorTime) + " x " + seconds + " s on the clock"
                                                            : seconds + " s of processor time") +
                " to compile, link and draw it in a check process"};
    if (reaped && WIFSIGNALED(status))
        return {"the check process died of " + SignalName(WTERMSIG(status)) + " compiling, linking or drawing it"};
    if (reaped && WIFEXITED(status) && WEXITSTATUS(status) == helper::kHelperNotRun && verdict.empty())
        return Unmade("no check process could be run for it");
    if (verdict.empty()) return {"the check process ended without a verdict on it"};
    if (verdict[0] == kGlCheckOk) return {};
    if (verdict[0] == kGlCheckNoContext)
        return {"the check process had no OpenGL context to check it with: " + verdict.substr(1)};
    if (verdict[0] == kGlCheckFailed) {
        // One line of standard error: the log's lines joined, cut to a length a reader takes in.
        std::string log;
        for (const char c : verdict.substr(1)) {
            if (c == '\n') {
                if (!log.empty() && log.back() != ' ') log += "; ";
            } else if (c != '\r' && c != '\0') {
                log += c;
            }
        }
        while (!log.empty() && (log.back() == ' ' || log.back() == ';')) log.pop_back();
        if (log.size() > 600) log = log.substr(0, 600) + " ...";
        return {"the driver refused it in a check process: " + log};
    }
    return {"the check process gave no verdict on it"};
}

} // namespace

int GlslLoopDepth(const std::string& code) {
    // A stack of open braces, each marked when it opens a loop's block.
    std::vector<bool> blocks;
    int depth = 0, deepest = 0, parens = 0;
    bool loopPending = false;
    const std::size_t n = code.size();
    for (std::size_t i = 0; i < n;) {
        const char c = code[i];
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            std::size_t end = i + 1;
            while (end < n && (std::isalnum(static_cast<unsigned char>(code[end])) || code[end] == '_')) ++end;
            const std::string_view word(code.data() + i, end - i);
            if (word == "for" || word == "while" || word == "do") loopPending = true;
            i = end;
            continue;
        }
        if (c == '(') ++parens;
        else if (c == ')') parens = std::max(0, parens - 1);
        else if (c == ';' && parens == 0) loopPending = false; // `} while (x);` and a loop without a block
        else if (c == '{') {
            blocks.push_back(loopPending);
            if (loopPending) deepest = std::max(deepest, ++depth);
            loopPending = false;
        } else if (c == '}' && !blocks.empty()) {
            if (blocks.back()) --depth;
            blocks.pop_back();
        }
        ++i;
    }
    return deepest;
}

int GlslCostlyCalls(const std::string& code) {
    int calls = 0;
    const std::size_t n = code.size();
    for (std::size_t i = 0; i < n;) {
        if (!std::isalpha(static_cast<unsigned char>(code[i])) && code[i] != '_') {
            ++i;
            continue;
        }
        std::size_t end = i + 1;
        while (end < n && (std::isalnum(static_cast<unsigned char>(code[end])) || code[end] == '_')) ++end;
        const std::string_view word(code.data() + i, end - i);
        std::size_t next = end;
        while (next < n && code[next] == ' ') ++next;
        if (next < n && code[next] == '(') {
            static constexpr std::string_view kCostly[] = {"sin",  "cos",  "tan",  "asin", "acos", "atan", "sinh",
                                                           "cosh", "tanh", "exp",  "exp2", "log",  "log2", "pow"};
            for (const std::string_view c : kCostly)
                if (word == c) ++calls;
        }
        i = end;
    }
    return calls;
}

bool NeedsGlProgramGate(const TranslatedShader& program) {
    {
        const std::lock_guard<std::mutex> lock(g_mutex);
        if (g_settings.test.everyProgram) return true;
    }
    const std::size_t estimate = program.code.size() + program.globals.size() +
                                 kGlGateCostlyCallBytes * std::size_t(GlslCostlyCalls(program.code));
    return estimate > kGlGateEstimate ||
           GlslLoopDepth(program.code) >= kGlGateLoopDepth;
}

bool RunGlProgramGate(const TranslatedShader& program, const std::string& stage, const char* driver,
                      std::string& failure) {
    GlProgramGateForTests test;
    {
        const std::lock_guard<std::mutex> lock(g_mutex);
        test = g_settings.test;
        if (const auto it = g_verdicts.find(stage); it != g_verdicts.end()) {
            failure = it->second;
            if (!failure.empty()) ++g_refusals;
            return failure.empty();
        }
    }
    const std::string vs = program.vertex ? stage : PartnerVertex(program);
    const std::string fs = program.vertex ? PartnerFragment(program) : stage;
    const CheckOutcome outcome = Check(vs, fs, driver, test);
    const bool passed = outcome.refusal.empty();
    if (!passed) {
        failure = outcome.refusal;
        ++g_refusals;
    }
    // A check that could not be made says nothing of the program: asked
    // again, it is tried again.
    if (outcome.unmade) return false;
    const std::lock_guard<std::mutex> lock(g_mutex);
    if (g_verdicts.count(stage)) return passed;
    while (!g_order.empty() && g_keptBytes + stage.size() > kKeptVerdictBytes) {
        const auto oldest = g_verdicts.find(g_order.front());
        if (oldest != g_verdicts.end()) {
            g_keptBytes -= oldest->first.size();
            g_verdicts.erase(oldest);
        }
        g_order.pop_front();
    }
    if (stage.size() > kKeptVerdictBytes) return passed;
    g_keptBytes += stage.size();
    g_order.push_back(stage);
    g_verdicts.emplace(stage, passed ? std::string() : failure);
    return passed;
}

void SetGlProgramGateForTests(const GlProgramGateForTests& gate) {
    const std::lock_guard<std::mutex> lock(g_mutex);
    g_settings.test = gate;
    g_verdicts.clear();
    g_order.clear();
    g_keptBytes = 0;
}

std::uint32_t GlProgramGateRunsForTests() { return g_runs; }

std::uint32_t GlProgramGateRefusalsForTests() { return g_refusals; }

} // namespace gfx
