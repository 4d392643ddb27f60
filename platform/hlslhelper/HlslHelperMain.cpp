// The helper program: a compile worker or the gl back end's check, started
// by the host (HlslHelperLaunch.h) with its two descriptors, never run by
// hand.

#include "platform/hlslhelper/HlslHelperGlCheck.h"
#include "platform/hlslhelper/HlslHelperProtocol.h"
#include "platform/hlslhelper/HlslHelperWorker.h"

#include <csignal>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

// Present in sanitized builds only.
extern "C" void __sanitizer_set_death_callback(void (*callback)()) __attribute__((weak));

namespace {

[[noreturn]] void DieQuietly() { ::_exit(gfx::helper::kHelperNotRun); }

} // namespace

int main(int argc, char** argv) {
    using namespace gfx::helper;
    if (argc < 3) return kHelperNotRun;
    // Ends with the host's thread that started it; a host gone before the
    // signal was asked for is seen as a parent that is not the host.
    const long host = std::strtol(argv[2], nullptr, 10);
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || host <= 0 || long(::getppid()) != host) return kHelperNotRun;
    if (::fcntl(kHelperJobFd, F_GETFD) < 0 || ::fcntl(kHelperReplyFd, F_GETFD) < 0) return kHelperNotRun;
    // The host's start closed every other descriptor; a start by other means
    // keeps none either.
    (void)::syscall(SYS_close_range, kHelperReplyFd + 1, ~0u, 0);
    // A fault ends it quietly: no core, no sanitizer's crash callback (a
    // fuzzer's, which would write a crash file), nothing the host must clear.
    const rlimit noCore{0, 0};
    (void)::setrlimit(RLIMIT_CORE, &noCore);
    if (__sanitizer_set_death_callback) __sanitizer_set_death_callback(&DieQuietly);
    if (std::strcmp(argv[1], kWorkerRole) == 0) {
        (void)::prctl(PR_SET_NAME, "hlsl-compiler", 0, 0, 0);
        ServeCompileJobs();
    }
    if (std::strcmp(argv[1], kGlCheckRole) == 0) {
        (void)::prctl(PR_SET_NAME, "orvane-gl-check", 0, 0, 0);
        RunGlCheck();
    }
    return kHelperNotRun;
}
