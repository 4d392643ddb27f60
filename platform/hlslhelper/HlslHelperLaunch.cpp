#include "platform/hlslhelper/HlslHelperLaunch.h"

#include "platform/hlslhelper/HlslHelperProtocol.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

extern char** environ;

namespace gfx::helper {
namespace {

// Whether `path` names an executable regular file.
bool Runnable(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

std::string Folder(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
}

std::string OwnExecutable() {
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, std::size_t(n)) : std::string();
}

// The program the dynamic loader runs: this code is linked into it, and the
// loader names the main program by the path it was given. Where the program
// was started as itself, that is /proc/self/exe again; started as
// `ld.so ./program`, /proc/self/exe is the loader and this is the program.
std::string MainProgram() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<const void*>(&MainProgram), &info) == 0 || !info.dli_fname || !*info.dli_fname)
        return {};
    char resolved[4096];
    return ::realpath(info.dli_fname, resolved) ? std::string(resolved) : std::string();
}

struct Found {
    std::string path, why;
};

Found Look() {
    std::string tried;
    const auto candidate = [&](const std::string& path) {
        if (Runnable(path)) return true;
        if (!path.empty()) tried += (tried.empty() ? "" : ", ") + path;
        return false;
    };
    if (const char* named = std::getenv(kHelperPathVariable); named && *named) {
        // Named outright: nothing else is looked for.
        if (Runnable(named)) return {named, {}};
        return {{}, std::string("the HLSL compiler's helper program is not an executable file at ") + named + " (" +
                        kHelperPathVariable + ")"};
    }
    const std::string name = std::string("/") + kHelperProgramName;
    const std::string own = OwnExecutable();
    if (!own.empty() && candidate(Folder(own) + name)) return {Folder(own) + name, {}};
    if (const std::string main = MainProgram(); !main.empty() && main != own && candidate(Folder(main) + name))
        return {Folder(main) + name, {}};
#ifdef ORVANE_HLSL_HELPER_BUILD_PATH
    if (candidate(ORVANE_HLSL_HELPER_BUILD_PATH)) return {ORVANE_HLSL_HELPER_BUILD_PATH, {}};
#endif
    return {{}, "the HLSL compiler's helper program " + std::string(kHelperProgramName) + " was not found (looked at " +
                    tried + ")"};
}

} // namespace

std::string HelperPath(std::string& why) {
    static std::once_flag once;
    static Found* found = nullptr;
    std::call_once(once, [] { found = new Found(Look()); });
    why = found->why;
    return found->path;
}

int AboveStandardDescriptors(int fd) {
    if (fd < 0 || fd > 2) return fd;
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    ::close(fd);
    return moved;
}

StartedHelper StartHelper(const char* role, int jobFd, int replyFd, const std::vector<std::string>* environment) {
    StartedHelper started;
    const std::string path = HelperPath(started.why);
    if (path.empty()) return started;
    // Copies above the numbers the helper gets them at, so that neither
    // dup2 of the spawn overwrites the other's source.
    constexpr int kAbove = 10;
    const int job = ::fcntl(jobFd, F_DUPFD_CLOEXEC, kAbove);
    const int reply = job >= 0 ? ::fcntl(replyFd, F_DUPFD_CLOEXEC, kAbove) : -1;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    bool actionsMade = false, attributesMade = false;
    int error = job < 0 || reply < 0 ? errno : 0;
    if (error == 0) error = ::posix_spawn_file_actions_init(&actions);
    actionsMade = error == 0;
    if (error == 0) error = ::posix_spawnattr_init(&attributes);
    attributesMade = actionsMade && error == 0;
    if (error == 0) error = ::posix_spawn_file_actions_adddup2(&actions, job, kHelperJobFd);
    if (error == 0) error = ::posix_spawn_file_actions_adddup2(&actions, reply, kHelperReplyFd);
    if (error == 0) error = ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDWR, 0);
    if (error == 0) error = ::posix_spawn_file_actions_adddup2(&actions, 0, 1);
    if (error == 0) error = ::posix_spawn_file_actions_adddup2(&actions, 0, 2);
    // Nothing of the host's beyond them, inheritable or not.
    if (error == 0) error = ::posix_spawn_file_actions_addclosefrom_np(&actions, kHelperReplyFd + 1);
    sigset_t every, none;
    sigfillset(&every);
    sigemptyset(&none);
    // Every signal at its default and none blocked, whatever the host set;
    // a session of its own, so that a signal to the host's process group
    // (a terminal's interrupt, a session manager's end) is not the helper's:
    // it ends with its host instead.
    if (error == 0) error = ::posix_spawnattr_setsigdefault(&attributes, &every);
    if (error == 0) error = ::posix_spawnattr_setsigmask(&attributes, &none);
    if (error == 0)
        error = ::posix_spawnattr_setflags(&attributes,
                                           POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSID);
    const std::string parent = std::to_string(::getpid());
    std::vector<char*> envp;
    if (environment) {
        for (const std::string& v : *environment) envp.push_back(const_cast<char*>(v.c_str()));
        envp.push_back(nullptr);
    }
    char* argv[] = {const_cast<char*>(path.c_str()), const_cast<char*>(role), const_cast<char*>(parent.c_str()),
                    nullptr};
    pid_t pid = -1;
    if (error == 0)
        error = ::posix_spawn(&pid, path.c_str(), &actions, &attributes, argv, environment ? envp.data() : environ);
    if (attributesMade) (void)::posix_spawnattr_destroy(&attributes);
    if (actionsMade) (void)::posix_spawn_file_actions_destroy(&actions);
    if (job >= 0) ::close(job);
    if (reply >= 0) ::close(reply);
    if (error != 0) {
        started.why = "the HLSL compiler's helper program " + path + " could not be started: " + std::strerror(error);
        return started;
    }
    started.pid = pid;
    return started;
}

} // namespace gfx::helper
