#pragma once
// The start of a helper program (HlslHelperProtocol.h): where it is found,
// and its start by posix_spawn with exactly the two descriptors it uses,
// default signal dispositions, an empty signal mask and a session of its own.

#include <string>
#include <vector>

#include <sys/types.h>

namespace gfx::helper {

// The helper's path: the variable kHelperPathVariable where set, else the
// program beside this process's executable (or beside the program the
// dynamic loader was asked to run), else the one the build made. Empty,
// with the reason in `why`, where none of them is an executable file.
// Looked up once a process; the answer is kept.
[[nodiscard]] std::string HelperPath(std::string& why);

// A started helper: its pid, or -1 with the reason in `why`.
struct StartedHelper {
    pid_t pid = -1;
    std::string why;
};

// Starts the helper in `role` with `jobFd` as its kHelperJobFd and `replyFd`
// as its kHelperReplyFd (both the caller's, left open here), `environment`
// its environment (null: this process's). The helper ends with the thread
// that started it (it asks for a death signal and checks its parent).
[[nodiscard]] StartedHelper StartHelper(const char* role, int jobFd, int replyFd,
                                        const std::vector<std::string>* environment = nullptr);

// Moves `fd` above standard input, output and error, close-on-exec: the
// host may have started with those closed, and a descriptor of ours there
// would take a write meant for its standard error. The new number, or -1
// (the old one closed either way).
[[nodiscard]] int AboveStandardDescriptors(int fd);

} // namespace gfx::helper
