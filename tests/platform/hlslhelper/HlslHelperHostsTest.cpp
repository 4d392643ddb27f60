// The compile and the gl check from hosts of their own kinds (HlslHostProgram.cpp,
// each a process of its own): started with standard descriptors closed,
// forking while other threads compile, ended by a signal to their process
// group, under a limit on their address space, started through the dynamic
// loader, and run from a folder of their own as a tool is. Each gets what a
// plain host gets.

#include "tests/platform/gfxutil/TempFolder.h"
#include "tests/support/SanitizedBuild.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using gfx::test::TempFolder;

constexpr const char* kHost = ORVANE_HLSL_HOST_PROGRAM;
constexpr const char* kHelper = ORVANE_HLSL_HELPER_PROGRAM;
constexpr const char* kLoader = "/lib64/ld-linux-x86-64.so.2";

struct HostRun {
    bool closeStandard = false;   // started with descriptors 0-2 closed
    bool ownGroup = false;        // in a process group of its own
    std::vector<std::string> env; // added to (or replacing) this process's
    std::vector<std::string> unset;
    std::chrono::seconds limit{120};
};

// The host run on `args`: its exit status, or 128 + its signal; -1 when it
// could not be started or ran past the limit (then killed).
int RunHost(const std::vector<std::string>& args, const HostRun& how = {}) {
    std::vector<std::string> variables;
    for (char** e = environ; e && *e; ++e) {
        const std::string v(*e);
        bool replaced = false;
        for (const std::string& name : how.unset) replaced = replaced || v.rfind(name + "=", 0) == 0;
        for (const std::string& added : how.env)
            replaced = replaced || v.rfind(added.substr(0, added.find('=') + 1), 0) == 0;
        if (!replaced) variables.push_back(v);
    }
    variables.insert(variables.end(), how.env.begin(), how.env.end());
    std::vector<char*> envp, argv;
    for (std::string& v : variables) envp.push_back(v.data());
    envp.push_back(nullptr);
    std::vector<std::string> copy = args;
    for (std::string& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawnattr_init(&attributes);
    if (how.closeStandard)
        for (int fd = 0; fd < 3; ++fd) ::posix_spawn_file_actions_addclose(&actions, fd);
    if (how.ownGroup) {
        ::posix_spawnattr_setpgroup(&attributes, 0);
        ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    }
    pid_t pid = -1;
    const int error = ::posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), envp.data());
    ::posix_spawn_file_actions_destroy(&actions);
    ::posix_spawnattr_destroy(&attributes);
    if (error != 0) return -1;
    int status = 0;
    for (const auto until = Clock::now() + how.limit;;) {
        const pid_t got = ::waitpid(pid, &status, WNOHANG);
        if (got == pid) break;
        if (Clock::now() > until) {
            ::kill(pid, SIGKILL);
            (void)::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The small program's code from a plain host.
std::string PlainCode(const TempFolder& folder) {
    const std::string out = folder.At("plain.bin");
    EXPECT_EQ(RunHost({kHost, "plain", out}), 0);
    return Read(out);
}

bool Gone(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    if (!stat) return true;
    std::string text;
    std::getline(stat, text);
    const std::size_t close = text.rfind(')');
    return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'Z';
}

} // namespace

// Descriptors 0-2 closed: the host's lines to standard error between
// compiles reach no worker, the host lives, no compile waits past its
// budget, one worker serves all, and the code is a plain host's.
TEST(HlslHelperHostsTest, AHostWithItsStandardDescriptorsClosed) {
    TempFolder folder("hlsl-hosts");
    const std::string plain = PlainCode(folder);
    ASSERT_FALSE(plain.empty());
    const std::string out = folder.At("closed.bin");
    HostRun how;
    how.closeStandard = true;
    EXPECT_EQ(RunHost({kHost, "closed-std", out}, how), 0)
        << "10: not started closed; 11: a compile failed; 13: a descriptor 0-2 taken; 14: more than one worker; "
           "128 + 13: SIGPIPE";
    EXPECT_EQ(Read(out), plain);
}

// Six threads compile while a seventh forks children that each compile
// once: every child answers, every compile gives the same code.
TEST(HlslHelperHostsTest, ChildrenForkedWhileThreadsCompileAllAnswer) {
    // A sanitizer's runtime takes a thread started in a child of a process
    // with several badly (ThreadSanitizer ends it; AddressSanitizer's
    // allocator keeps no lock across the fork): nothing of the compile's.
    if (ORVANE_SANITIZED_BUILD) GTEST_SKIP() << "run by the optimised tests";
    HostRun how;
    how.limit = std::chrono::seconds(600);
    EXPECT_EQ(RunHost({kHost, "fork-threads", "100"}, how), 0);
}

// SIGTERM to the host's process group: its handler's exit() runs its exit
// handler once, in the host alone, and its workers end with it.
TEST(HlslHelperHostsTest, ASignalToTheHostsGroupRunsItsHandlersOnce) {
    TempFolder folder("hlsl-hosts");
    const std::string file = folder.At("exits.txt");
    HostRun how;
    how.ownGroup = true;
    // The host's handler calls exit(), which is no call for a handler: the
    // host this test stands for does so, and ThreadSanitizer would say so.
    if (ORVANE_THREAD_SANITIZER) how.env.push_back("TSAN_OPTIONS=report_signal_unsafe=0");
    const int status = RunHost({kHost, "sigterm", file}, how);
    EXPECT_EQ(status, 0);
    std::istringstream lines(Read(file));
    int exits = 0;
    std::vector<pid_t> helpers;
    for (std::string word; lines >> word;) {
        pid_t pid = 0;
        lines >> pid;
        if (word == "exit") ++exits;
        if (word == "helper") helpers.push_back(pid);
    }
    EXPECT_EQ(exits, 1) << Read(file);
    EXPECT_FALSE(helpers.empty()) << "the host had no worker";
    for (const pid_t pid : helpers) {
        for (const auto until = Clock::now() + std::chrono::seconds(10); !Gone(pid) && Clock::now() < until;)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_TRUE(Gone(pid)) << "worker " << pid << " outlived its host";
    }
}

// Under RLIMIT_AS of 1 GiB a small program compiles, to a plain host's code.
TEST(HlslHelperHostsTest, AHostUnderAGibibyteOfAddressSpaceCompiles) {
    if (ORVANE_SANITIZED_BUILD) GTEST_SKIP() << "a sanitizer reserves terabytes of address space";
    TempFolder folder("hlsl-hosts");
    const std::string plain = PlainCode(folder);
    const std::string out = folder.At("limited.bin");
    EXPECT_EQ(RunHost({kHost, "address-limit", out}), 0);
    EXPECT_EQ(Read(out), plain);
}

// A host started through the dynamic loader compiles, and its gl device's
// check runs and passes; as it does started as itself.
TEST(HlslHelperHostsTest, AHostStartedThroughTheDynamicLoaderRunsTheGlCheck) {
    HostRun how;
    how.env = {"SDL_VIDEODRIVER=offscreen"};
    EXPECT_EQ(RunHost({kHost, "gl-check"}, how), 0);
    struct stat st {};
    if (::stat(kLoader, &st) != 0) GTEST_SKIP() << "no dynamic loader at " << kLoader;
    // Run as the program, the loader's own blocks for the driver it opens
    // are no leak the suppressions can name.
    if (ORVANE_SANITIZED_BUILD) how.env.push_back("ASAN_OPTIONS=detect_leaks=0");
    EXPECT_EQ(RunHost({kLoader, kHost, "gl-check"}, how), 0);
}

// A tool that links the library, run from a folder of its own, finds the
// helper the build made; one with the helper beside it uses that one; and
// where the helper named cannot be run, its compiles are refused with the
// reason.
TEST(HlslHelperHostsTest, AToolFindsTheHelper) {
    TempFolder folder("hlsl-hosts");
    const std::string plain = PlainCode(folder);
    const std::filesystem::path alone = folder.At("alone");
    std::filesystem::create_directories(alone);
    std::filesystem::copy_file(kHost, alone / "tool");
    const std::string out = folder.At("tool.bin");
    HostRun how;
    how.unset = {"ORVANE_HLSL_HELPER"};
    EXPECT_EQ(RunHost({(alone / "tool").string(), "plain", out}, how), 0);
    EXPECT_EQ(Read(out), plain);

    // Beside it: a helper that notes its use, then is the build's.
    const std::filesystem::path beside = folder.At("beside");
    std::filesystem::create_directories(beside);
    std::filesystem::copy_file(kHost, beside / "tool");
    const std::string used = folder.At("used.txt");
    {
        std::ofstream script(beside / "orvane-hlsl-helper");
        script << "#!/bin/sh\necho used >> '" << used << "'\nexec '" << kHelper << "' \"$@\"\n";
    }
    std::filesystem::permissions(beside / "orvane-hlsl-helper", std::filesystem::perms::owner_all);
    const std::string besideOut = folder.At("beside.bin");
    EXPECT_EQ(RunHost({(beside / "tool").string(), "plain", besideOut}, how), 0);
    EXPECT_EQ(Read(besideOut), plain);
    EXPECT_NE(Read(used).find("used"), std::string::npos) << "the helper beside the tool was not the one run";

    HostRun missing;
    missing.env = {"ORVANE_HLSL_HELPER=" + folder.At("no-such-helper")};
    EXPECT_EQ(RunHost({kHost, "refused"}, missing), 0);
}
