#include "platform/gfxutil/GfxUtilHlslGuard.h"

#include "platform/gfxutil/GfxUtilShader.h"
#include "platform/os/OsFiles.h"

#include <cerrno>
#include <chrono>
#include <csignal>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace gfx {
namespace {

// The folder part of a path, with its separator ("" for a bare name).
std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool WriteAll(int fd, const void* data, std::size_t size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Everything the child writes, read until it closes its end or the time is
// up; false on the time running out.
bool ReadAll(int fd, std::vector<std::uint8_t>& out, int seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    std::uint8_t chunk[16384];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return true;
        out.insert(out.end(), chunk, chunk + n);
    }
}

} // namespace

bool ExpandHlslIncludes(std::string_view source, const std::string& path, int depth, std::string& out,
                        std::string& error) {
    if (depth > 16) {
        error = "includes nested too deeply";
        return false;
    }
    std::size_t at = 0;
    std::uint32_t line = 0;
    while (at < source.size()) {
        std::size_t end = source.find('\n', at);
        if (end == std::string_view::npos) end = source.size();
        const std::string_view text = source.substr(at, end - at);
        at = end + 1;
        ++line;
        std::size_t k = text.find_first_not_of(" \t");
        if (k == std::string_view::npos || text[k] != '#') {
            out.append(text);
            out += '\n';
            continue;
        }
        k = text.find_first_not_of(" \t", k + 1);
        if (k == std::string_view::npos || text.substr(k, 7) != "include") {
            out.append(text);
            out += '\n';
            continue;
        }
        const std::size_t open = text.find_first_of("\"<", k + 7);
        const std::size_t close = open == std::string_view::npos ? open : text.find(text[open] == '<' ? '>' : '"', open + 1);
        if (close == std::string_view::npos) {
            error = "(" + std::to_string(line) + ",1): error: bad #include";
            return false;
        }
        const std::string name(text.substr(open + 1, close - open - 1));
        std::string content, found;
        std::vector<std::string> candidates{FolderOf(path) + name};
        for (const std::string& folder : GetIncludeFolders()) candidates.push_back(JoinIncludePath(folder, name));
        candidates.push_back(name);
        for (const std::string& candidate : candidates) {
            if (os::ReadWholeFile(candidate, content)) {
                found = candidate;
                break;
            }
        }
        if (found.empty()) {
            error = "(" + std::to_string(line) + ",1): error: cannot open include file '" + name + "'";
            return false;
        }
        out += "#line 1\n";
        if (!ExpandHlslIncludes(content, found, depth + 1, out, error)) return false;
        out += "#line " + std::to_string(line + 1) + "\n";
    }
    return true;
}

// glslang stops the process on some sources it should refuse (a null
// dereference on a return of an undeclared name in a conditional, found by
// fuzz_effect), and sources come from data files: glslang runs in a child
// process, and a child that dies or hangs is a failed compile. Only glslang:
// this system's own code stays in the process, where a fault still shows.
HlslChildOutcome RunHlslChild(const std::function<std::vector<std::uint8_t>()>& work, int seconds,
                              std::vector<std::uint8_t>& reply) {
    reply.clear();
    int fds[2];
    if (::pipe(fds) != 0) return HlslChildOutcome::NoChild;
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return HlslChildOutcome::NoChild;
    }
    if (child == 0) {
        ::close(fds[0]);
        const std::vector<std::uint8_t> bytes = work();
        ::_exit(WriteAll(fds[1], bytes.data(), bytes.size()) ? 0 : 1); // nothing of the parent's is shut down here
    }
    ::close(fds[1]);
    const bool inTime = ReadAll(fds[0], reply, seconds);
    ::close(fds[0]);
    if (!inTime) ::kill(child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!inTime) return HlslChildOutcome::TooLong;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return HlslChildOutcome::Stopped;
    return HlslChildOutcome::Replied;
}

} // namespace gfx
