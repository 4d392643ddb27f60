#include "platform/gfx/GfxGlProgramGate.h"

#include "platform/gfx/Gfx.h"

#include <SDL2/SDL.h>
#include <epoxy/gl.h>

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
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace gfx {
namespace {

// Marks the check process; its value is the pid of the process that started
// it, so a variable left in a game's environment by mistake starts nothing.
constexpr const char* kGateVariable = "ORVANE_GL_PROGRAM_GATE";
// The check process's descriptors: the request (a memory file) and the verdict's pipe.
constexpr int kRequestFd = 3;
constexpr int kVerdictFd = 4;
// The check process's status when it could not run the check (exec failed among them).
constexpr int kGateNotRun = 127;
constexpr std::uint32_t kRequestMagic = 0x4B434847; // "GHCK"
// The driver's log a verdict carries, at most.
constexpr std::size_t kVerdictBytes = 16 * 1024;
// Verdicts kept for texts already checked, at most (the texts are large).
constexpr std::size_t kKeptVerdictBytes = std::size_t(16) << 20;
// The check's target: big enough that a pixel program runs for many pixels.
constexpr int kTargetSize = 16;

// The verdict's first byte.
constexpr char kOk = 'O', kFailed = 'F', kNoContext = 'C';

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

bool WriteAll(int fd, const void* data, std::size_t size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= std::size_t(n);
    }
    return true;
}

bool ReadAll(int fd, void* data, std::size_t size) {
    auto* p = static_cast<std::uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = ::read(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= std::size_t(n);
    }
    return true;
}

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

// ---- the check process ----

GLuint CompileStage(GLenum kind, const std::string& text, std::string& log) {
    const GLuint s = glCreateShader(kind);
    const char* source = text.c_str();
    glShaderSource(s, 1, &source, nullptr);
    glCompileShader(s);
    GLint ok = 0;
    glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
    if (ok) return s;
    char text_[4096] = {};
    glGetShaderInfoLog(s, sizeof text_, nullptr, text_);
    log = std::string(kind == GL_VERTEX_SHADER ? "vertex" : "fragment") + " shader compile failed: " + text_;
    return 0;
}

// Compiles, links and draws the pair; the verdict's bytes.
std::string CheckPair(const std::string& vsText, const std::string& fsText) {
    SetGlWindowAttributes();
    SDL_Window* window = SDL_CreateWindow("orvane check", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                          kTargetSize, kTargetSize, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    SDL_GLContext context = window ? SDL_GL_CreateContext(window) : nullptr;
    if (!context || SDL_GL_MakeCurrent(window, context) != 0 || epoxy_gl_version() < 33)
        return std::string(1, kNoContext) + SDL_GetError();
    std::string log;
    const GLuint vs = CompileStage(GL_VERTEX_SHADER, vsText, log);
    const GLuint fs = vs ? CompileStage(GL_FRAGMENT_SHADER, fsText, log) : 0;
    if (!fs) return kFailed + log;
    const GLuint program = glCreateProgram();
    glAttachShader(program, vs);
    glAttachShader(program, fs);
    glLinkProgram(program);
    GLint ok = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (!ok) {
        char text[4096] = {};
        glGetProgramInfoLog(program, sizeof text, nullptr, text);
        return std::string(1, kFailed) + "program link failed: " + text;
    }
    // A target of its own, whatever the window's configuration.
    GLuint texture = 0, framebuffer = 0, vertexArray = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kTargetSize, kTargetSize, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    glViewport(0, 0, kTargetSize, kTargetSize);
    glGenVertexArrays(1, &vertexArray);
    glBindVertexArray(vertexArray);
    glUseProgram(program);
    // The device's frame uniforms as a 16 x 16 target gives them.
    const float size = float(kTargetSize);
    if (const GLint at = glGetUniformLocation(program, "uViewport"); at >= 0) glUniform4f(at, 0, 0, size, size);
    if (const GLint at = glGetUniformLocation(program, "uTarget"); at >= 0) glUniform2f(at, size, size);
    if (const GLint at = glGetUniformLocation(program, "uDepthRange"); at >= 0) glUniform2f(at, 0, 1);
    if (const GLint at = glGetUniformLocation(program, "uFlipY"); at >= 0) glUniform2f(at, 1, 0);
    if (const GLint at = glGetUniformLocation(program, "uAlphaClamp"); at >= 0) glUniform2f(at, 0, 1);
    // Each sampler on a unit of its own: samplers of two kinds on one unit
    // fail the draw, which would then run nothing.
    GLint uniforms = 0, unit = 0;
    glGetProgramiv(program, GL_ACTIVE_UNIFORMS, &uniforms);
    for (GLint i = 0; i < uniforms; ++i) {
        char uniformName[256] = {};
        GLint count = 0;
        GLenum type = 0;
        glGetActiveUniform(program, GLuint(i), sizeof uniformName, nullptr, &count, &type, uniformName);
        if (type == GL_SAMPLER_2D || type == GL_SAMPLER_CUBE || type == GL_SAMPLER_3D)
            if (const GLint at = glGetUniformLocation(program, uniformName); at >= 0) glUniform1i(at, unit++);
    }
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    // The read waits for the draw: the driver has then run the program.
    std::uint8_t pixel[4] = {};
    glReadPixels(kTargetSize / 2, kTargetSize / 2, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    if (const GLenum error = glGetError(); error != GL_NO_ERROR)
        return std::string(1, kFailed) + "the draw left GL error " + std::to_string(error);
    return std::string(1, kOk);
}

[[noreturn]] void RunCheckProcess() {
    std::uint32_t head[4] = {};
    std::string vsText, fsText;
    if (!ReadAll(kRequestFd, head, sizeof head) || head[0] != kRequestMagic) ::_exit(kGateNotRun);
    vsText.resize(head[2]);
    fsText.resize(head[3]);
    if (!ReadAll(kRequestFd, vsText.data(), vsText.size()) || !ReadAll(kRequestFd, fsText.data(), fsText.size()))
        ::_exit(kGateNotRun);
    ::close(kRequestFd);
    switch (static_cast<GlProgramGateForTests::Helper>(head[1])) {
    case GlProgramGateForTests::Helper::Crashes:
        (void)std::signal(SIGSEGV, SIG_DFL);
        (void)std::raise(SIGSEGV);
        ::_exit(kGateNotRun);
    case GlProgramGateForTests::Helper::Hangs:
        for (;;) ::pause();
    case GlProgramGateForTests::Helper::Spins:
        for (;;) {
            static volatile std::uint64_t turns;
            turns = turns + 1;
        }
    default:
        break;
    }
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        const std::string verdict = std::string(1, kNoContext) + SDL_GetError();
        ::_exit(WriteAll(kVerdictFd, verdict.data(), verdict.size()) ? 0 : kGateNotRun);
    }
    std::string verdict = CheckPair(vsText, fsText);
    if (verdict.size() > kVerdictBytes) verdict.resize(kVerdictBytes);
    // Nothing is shut down: the driver's and SDL's exit handlers would only
    // add time (and, for a driver in a bad state, risk) to a process whose
    // answer is given.
    ::_exit(WriteAll(kVerdictFd, verdict.data(), verdict.size()) ? 0 : kGateNotRun);
}

// Runs before main in every program the gl back end is linked into: in the
// check process, the check is all it does.
__attribute__((constructor)) void EnterCheckProcess() {
    const char* marker = std::getenv(kGateVariable);
    if (!marker) return;
    const long parent = std::strtol(marker, nullptr, 10);
    ::unsetenv(kGateVariable);
    if (parent <= 0 || parent != long(::getppid()) || ::fcntl(kRequestFd, F_GETFD) < 0 ||
        ::fcntl(kVerdictFd, F_GETFD) < 0)
        return;
    RunCheckProcess();
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
    // Everything the child needs is made before the fork: between the fork
    // and the exec a child of a process with several threads may call only
    // what is safe in a signal handler.
    const int request = ::memfd_create("orvane-gl-check", MFD_CLOEXEC);
    if (request < 0) return Unmade(std::string("no process could be made to check it first: ") + std::strerror(errno));
    const std::uint32_t head[4] = {kRequestMagic, std::uint32_t(test.helper), std::uint32_t(vs.size()),
                                   std::uint32_t(fs.size())};
    int verdictPipe[2] = {-1, -1};
    if (!WriteAll(request, head, sizeof head) || !WriteAll(request, vs.data(), vs.size()) ||
        !WriteAll(request, fs.data(), fs.size()) || ::lseek(request, 0, SEEK_SET) != 0 ||
        ::pipe2(verdictPipe, O_CLOEXEC) != 0) {
        const int error = errno;
        ::close(request);
        return Unmade(std::string("no process could be made to check it first: ") + std::strerror(error));
    }
    const pid_t parent = ::getpid();
    std::vector<std::string> variables;
    for (char** e = environ; e && *e; ++e) {
        const std::string_view v(*e);
        if (v.rfind(std::string(kGateVariable) + "=", 0) == 0) continue;
        if (driver && v.rfind("SDL_VIDEODRIVER=", 0) == 0) continue;
        variables.emplace_back(v);
    }
    variables.push_back(std::string(kGateVariable) + "=" + std::to_string(parent));
    if (driver) variables.push_back(std::string("SDL_VIDEODRIVER=") + driver);
    std::vector<char*> envp;
    for (std::string& v : variables) envp.push_back(v.data());
    envp.push_back(nullptr);
    char name[] = "orvane-gl-check";
    char* argv[] = {name, nullptr};
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    ++g_runs;
    const auto started = std::chrono::steady_clock::now();
    const pid_t child = null >= 0 ? ::fork() : -1;
    if (child == 0) {
        // Ends with the thread that made it; a caller gone before the signal
        // was asked for leaves it nothing to answer.
        if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent) ::_exit(kGateNotRun);
        // A session of its own: a terminal's signals to the caller's group
        // (an interrupt, a stop) are not the check's, and a signal to the
        // check's group never reaches the caller.
        (void)::setsid();
        sigset_t none;
        sigemptyset(&none);
        (void)::sigprocmask(SIG_SETMASK, &none, nullptr);
        struct sigaction plain {};
        plain.sa_handler = SIG_DFL;
        for (int s = 1; s < NSIG; ++s) (void)::sigaction(s, &plain, nullptr);
        const rlimit noCore{0, 0};
        (void)::setrlimit(RLIMIT_CORE, &noCore);
        // The request and the verdict at their numbers, moved above them
        // first so that neither dup2 overwrites the other; standard input,
        // output and error on /dev/null; no other descriptor of the caller.
        const int high = 10;
        const int req = ::fcntl(request, F_DUPFD, high), out = ::fcntl(verdictPipe[1], F_DUPFD, high);
        if (req < 0 || out < 0 || ::dup2(req, kRequestFd) != kRequestFd || ::dup2(out, kVerdictFd) != kVerdictFd)
            ::_exit(kGateNotRun);
        for (int fd = 0; fd < 3; ++fd)
            if (::dup2(null, fd) != fd) ::_exit(kGateNotRun);
        (void)::syscall(SYS_close_range, kVerdictFd + 1, ~0u, 0);
        ::execve("/proc/self/exe", argv, envp.data());
        ::_exit(kGateNotRun);
    }
    const int forkError = errno;
    ::close(request);
    ::close(verdictPipe[1]);
    if (null >= 0) ::close(null);
    if (child < 0) {
        ::close(verdictPipe[0]);
        return Unmade(std::string("no process could be made to check it first: ") + std::strerror(forkError));
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
    if (reaped && WIFEXITED(status) && WEXITSTATUS(status) == kGateNotRun && verdict.empty())
        return Unmade("no check process could be run for it");
    if (verdict.empty()) return {"the check process ended without a verdict on it"};
    if (verdict[0] == kOk) return {};
    if (verdict[0] == kNoContext)
        return {"the check process had no OpenGL context to check it with: " + verdict.substr(1)};
    if (verdict[0] == kFailed) {
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
