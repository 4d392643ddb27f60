// Hosts of their own kinds for the HLSL compile and the gl back end's check,
// each run by HlslHelperHostsTest.cpp as a process of its own: the first
// argument names the kind, the others its files. Each ends 0 when every
// compile gave what a plain host gets; another status names what failed.

#include "platform/gfx/Gfx.h"
#include "platform/gfxutil/hlsl/GfxUtilHlsl.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslGuard.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslWorkers.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr const char* kSmall = "float4 Tint;\nfloat4 main(float4 c : COLOR0) : COLOR { return c * Tint; }\n";

bool CompileSmall(std::vector<std::uint8_t>& code, std::string& errors) {
    return gfx::CompileHlsl(kSmall, "small.hlsl", nullptr, "main", "ps_2_0", code, errors);
}

bool WriteFile(const char* path, const std::string& text) {
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const bool whole = ::write(fd, text.data(), text.size()) == ssize_t(text.size());
    ::close(fd);
    return whole;
}

void AppendLine(const char* path, const std::string& line) {
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    (void)!::write(fd, line.data(), line.size());
    ::close(fd);
}

// The small program's code written to `out`: the test sets it beside a
// plain host's.
int Plain(const char* out) {
    std::vector<std::uint8_t> code;
    std::string errors;
    if (!CompileSmall(code, errors)) {
        std::fprintf(stderr, "%s", errors.c_str());
        return 2;
    }
    return WriteFile(out, std::string(code.begin(), code.end())) ? 0 : 3;
}

// Started with standard input, output and error closed: lines written to
// standard error between compiles (they fail, as they must with nothing
// there) never reach a worker, and no compile waits past its budget.
int ClosedStandardDescriptors(const char* out) {
    for (int fd = 0; fd < 3; ++fd)
        if (::fcntl(fd, F_GETFD) >= 0) return 10; // not started as asked
    const std::string longLine(78, 'x'), shortLine(30, 'y');
    std::vector<std::uint8_t> first, code;
    std::string errors;
    for (int i = 0; i < 40; ++i) {
        (void)!::write(2, (longLine + "\n").data(), longLine.size() + 1);
        (void)!::write(2, (shortLine + "\n").data(), shortLine.size() + 1);
        gfx::HlslCompileLimits limits;
        limits.time = std::chrono::seconds(5);
        const gfx::HlslCompileScope scope(limits);
        if (!CompileSmall(code, errors)) return 11;
        if (i == 0) first = code;
        else if (code != first) return 12;
        for (int fd = 0; fd < 3; ++fd)
            if (::fcntl(fd, F_GETFD) >= 0) return 13; // the library took one
    }
    // One worker served them all: no line ended one.
    if (gfx::HlslWorkersMade() != 1) return 14;
    return WriteFile(out, std::string(first.begin(), first.end())) ? 0 : 15;
}

// Six threads compile while a seventh forks `children` children that each
// compile once: every one answers (a child that hangs is ended by its alarm).
int ForkWhileThreadsCompile(int children) {
    std::vector<std::uint8_t> expected;
    std::string errors;
    if (!CompileSmall(expected, errors)) return 20;
    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t)
        threads.emplace_back([&] {
            std::vector<std::uint8_t> code;
            std::string e;
            while (!stop)
                if (!CompileSmall(code, e) || code != expected) ++wrong;
        });
    int unanswered = 0;
    std::thread forker([&] {
        for (int c = 0; c < children; ++c) {
            const pid_t child = ::fork();
            if (child == 0) {
                ::alarm(30);
                std::vector<std::uint8_t> code;
                std::string e;
                ::_exit(CompileSmall(code, e) && code == expected ? 0 : 1);
            }
            int status = 0;
            if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
                ++unanswered;
        }
    });
    forker.join();
    stop = true;
    for (std::thread& t : threads) t.join();
    std::fprintf(stderr, "children unanswered: %d of %d; wrong compiles on the threads: %d\n", unanswered, children,
                 wrong.load());
    return unanswered == 0 && wrong == 0 ? 0 : 21;
}

const char* g_exitFile = nullptr;

void AtExit() { AppendLine(g_exitFile, "exit " + std::to_string(::getpid()) + "\n"); }

void ExitOnTerm(int) { std::exit(0); }

// A host whose SIGTERM handler calls exit() and whose exit handler writes a
// line: SIGTERM to its process group runs the handler once, in the host.
// The workers' pids go to the file first, for the test to see them end.
int TermToTheGroup(const char* file) {
    g_exitFile = file;
    if (std::atexit(&AtExit) != 0) return 40;
    struct sigaction term {};
    term.sa_handler = &ExitOnTerm;
    sigemptyset(&term.sa_mask);
    if (::sigaction(SIGTERM, &term, nullptr) != 0) return 41;
    std::vector<std::uint8_t> code;
    std::string errors;
    if (!CompileSmall(code, errors)) return 42;
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
        std::ifstream children(task.path() / "children");
        for (pid_t p = 0; children >> p;) AppendLine(file, "helper " + std::to_string(p) + "\n");
    }
    ::kill(0, SIGTERM);
    for (;;) ::pause();
}

// Under a limit of 1 GiB on its address space a small program compiles.
int UnderAnAddressLimit(const char* out) {
    const rlimit limit{rlim_t(1) << 30, rlim_t(1) << 30};
    if (::setrlimit(RLIMIT_AS, &limit) != 0) return 30;
    return Plain(out);
}

// A large program made on the gl device is checked first (every program is
// checked here), and passes: the check's helper is found and runs, however
// this host was started (through the dynamic loader among them).
int GlCheck() {
    gfx::GlProgramGateForTests gate;
    gate.everyProgram = true;
    gfx::SetGlProgramGateForTests(gate);
    std::vector<std::uint8_t> code;
    std::string errors;
    if (!CompileSmall(code, errors)) {
        std::fprintf(stderr, "%s", errors.c_str());
        return 50;
    }
    gfx::IDirect3D9* d3d = gfx::Direct3DCreate9(gfx::D3D_SDK_VERSION, gfx::BackendKind::Gl);
    gfx::IDirect3DDevice9* device = nullptr;
    gfx::D3DPRESENT_PARAMETERS p;
    p.BackBufferWidth = 16;
    p.BackBufferHeight = 16;
    p.BackBufferFormat = gfx::D3DFMT_X8R8G8B8;
    p.BackBufferCount = 1;
    p.SwapEffect = gfx::D3DSWAPEFFECT_DISCARD;
    p.Windowed = 1;
    if (!d3d || d3d->CreateDevice(0, gfx::D3DDEVTYPE_HAL, nullptr, gfx::D3DCREATE_HARDWARE_VERTEXPROCESSING, &p,
                                  &device) != gfx::D3D_OK)
        return 51;
    gfx::IDirect3DPixelShader9* ps = nullptr;
    const gfx::HRESULT hr = device->CreatePixelShader(reinterpret_cast<const std::uint32_t*>(code.data()),
                                                      std::uint32_t(code.size()), &ps);
    const std::uint32_t runs = gfx::GlProgramGateRunsForTests(), refusals = gfx::GlProgramGateRefusalsForTests();
    if (ps) ps->Release();
    device->Release();
    d3d->Release();
    std::fprintf(stderr, "checks run: %u, refused: %u\n", runs, refusals);
    return hr == gfx::D3D_OK && runs == 1 && refusals == 0 ? 0 : 52;
}

// Where the helper named cannot be run, a compile is refused with the reason.
int RefusedWithTheReason() {
    std::vector<std::uint8_t> code;
    std::string errors;
    if (CompileSmall(code, errors)) return 60;
    std::fprintf(stderr, "%s", errors.c_str());
    return errors.find("no process could be made for the HLSL compiler") != std::string::npos &&
                   errors.find("helper program") != std::string::npos
               ? 0
               : 61;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 1;
    const std::string kind = argv[1];
    const char* file = argc > 2 ? argv[2] : "";
    if (kind == "plain") return Plain(file);
    if (kind == "closed-std") return ClosedStandardDescriptors(file);
    if (kind == "fork-threads") return ForkWhileThreadsCompile(argc > 2 ? std::atoi(argv[2]) : 100);
    if (kind == "sigterm") return TermToTheGroup(file);
    if (kind == "address-limit") return UnderAnAddressLimit(file);
    if (kind == "gl-check") return GlCheck();
    if (kind == "refused") return RefusedWithTheReason();
    return 1;
}
