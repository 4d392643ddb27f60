#include "platform/os/OsFiles.h"

#include "platform/os/OsDefs.h"
#include "platform/os/OsLocal.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace os
{
namespace
{

// open(2), its descriptor above standard input, output and error: a program
// started with those closed would otherwise get a file of ours there, and a
// write meant for its standard error would reach the file.
int OpenAboveStandardStreams(const char* path, int flags, mode_t mode = 0)
{
    const int fd = ::open(path, flags, mode);
    if (fd < 0 || fd > 2)
    {
        return fd;
    }
    const int moved = ::fcntl(fd, (flags & O_CLOEXEC) ? F_DUPFD_CLOEXEC : F_DUPFD, 3);
    const int error = errno;
    ::close(fd);
    errno = error;
    return moved;
}

} // namespace

namespace
{
char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool Exists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// The names of a folder, without "." and "..", in byte order. Empty when
// the folder cannot be read.
std::vector<std::string> ListFolder(const std::string& folder, bool withDots)
{
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
    {
        return names;
    }
    while (dirent* entry = ::readdir(dir))
    {
        std::string name(entry->d_name);
        if (!withDots && (name == "." || name == ".."))
        {
            continue;
        }
        names.push_back(std::move(name));
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

std::string Joined(const std::string& folder, std::string_view name)
{
    if (folder.empty())
    {
        return std::string(name);
    }
    std::string out = folder;
    if (out.back() != '/')
    {
        out.push_back('/');
    }
    out.append(name);
    return out;
}

// Wildcard match, '*' any run, '?' one character, ASCII case ignored.
bool Match(std::string_view pattern, std::string_view name)
{
    std::size_t p = 0;
    std::size_t n = 0;
    std::size_t starP = std::string_view::npos;
    std::size_t starN = 0;
    while (n < name.size())
    {
        if (p < pattern.size() && (pattern[p] == '?' || LowerAscii(pattern[p]) == LowerAscii(name[n])))
        {
            ++p;
            ++n;
        }
        else if (p < pattern.size() && pattern[p] == '*')
        {
            starP = p++;
            starN = n;
        }
        else if (starP != std::string_view::npos)
        {
            p = starP + 1;
            n = ++starN;
        }
        else
        {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
    {
        ++p;
    }
    return p == pattern.size();
}

struct Search
{
    std::vector<FindData> matches;
    std::size_t next = 0;
};

struct Searches
{
    std::map<FindHandle, Search> open;
    FindHandle nextHandle = 1;
};

Searches& GetSearches()
{
    static Searches searches;
    return searches;
}

void FillStatus(const struct stat& st, FileStatus& out)
{
    out.isFolder = S_ISDIR(st.st_mode);
    out.size = out.isFolder ? 0 : static_cast<std::uint64_t>(st.st_size);
    out.accessTime = static_cast<std::int64_t>(st.st_atime);
    out.writeTime = static_cast<std::int64_t>(st.st_mtime);
    out.changeTime = static_cast<std::int64_t>(st.st_ctime);
}
} // namespace

bool EqualsIgnoreCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
    {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i)
    {
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
        {
            return false;
        }
    }
    return true;
}

namespace
{
// ResolvePath's work, without the recorder.
std::string ResolveUnrecorded(std::string_view path)
{
    std::string given(path);
    std::replace(given.begin(), given.end(), '\\', '/');
    if (given.empty() || Exists(given))
    {
        return given;
    }
    // Component by component; `resolved` is the folder reached so far.
    std::string out;
    std::size_t pos = 0;
    if (given[0] == '/')
    {
        out = "/";
        pos = 1;
    }
    bool lost = false; // a component matched nothing: keep the rest as given
    while (pos <= given.size())
    {
        std::size_t slash = given.find('/', pos);
        std::size_t end = slash == std::string::npos ? given.size() : slash;
        std::string_view component(given.data() + pos, end - pos);
        std::string piece(component);
        if (!lost && !component.empty() && component != "." && component != "..")
        {
            std::string candidate = out + piece;
            if (!Exists(candidate))
            {
                std::string folder = out.empty() ? std::string(".") : out;
                bool found = false;
                for (const std::string& name : ListFolder(folder, false))
                {
                    if (EqualsIgnoreCase(name, component))
                    {
                        piece = name;
                        found = true;
                        break;
                    }
                }
                lost = !found;
            }
        }
        out += piece;
        if (slash == std::string::npos)
        {
            break;
        }
        out.push_back('/');
        pos = slash + 1;
    }
    return out;
}

// Guarded: the audio layer may resolve on its own thread.
std::mutex& RecorderMutex()
{
    static std::mutex mutex;
    return mutex;
}
PathRecorder& Recorder()
{
    static PathRecorder recorder;
    return recorder;
}
} // namespace

void SetPathRecorder(PathRecorder recorder)
{
    std::lock_guard<std::mutex> lock(RecorderMutex());
    Recorder() = std::move(recorder);
}

std::string ResolvePath(std::string_view path)
{
    std::string resolved = ResolveUnrecorded(path);
    std::lock_guard<std::mutex> lock(RecorderMutex());
    if (Recorder())
    {
        Recorder()(resolved);
    }
    return resolved;
}

namespace
{
// The open flags and the fdopen mode of a C library mode; false for a mode
// fopen would refuse.
bool ModeFlags(const char* mode, int& flags, std::string& streamMode)
{
    const char kind = mode[0];
    const bool update = std::strchr(mode, '+') != nullptr;
    switch (kind)
    {
    case 'r':
        flags = update ? O_RDWR : O_RDONLY;
        break;
    case 'w':
        flags = (update ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC;
        break;
    case 'a':
        flags = (update ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND;
        break;
    default:
        return false;
    }
    if (std::strchr(mode, 'x') != nullptr)
    {
        flags |= O_EXCL;
    }
    streamMode.assign(1, kind);
    if (update)
    {
        streamMode.push_back('+');
    }
    return true;
}

// Whether a file of this kind may be opened with these flags (OpenFile).
bool MayOpen(mode_t kind, int flags)
{
    return S_ISREG(kind) || ((flags & O_ACCMODE) == O_WRONLY && S_ISCHR(kind));
}

void SetError(FileError* error, FileError value)
{
    if (error)
    {
        *error = value;
    }
}
} // namespace

std::FILE* OpenFile(std::string_view path, const char* mode, FileError* error)
{
    SetError(error, FileError::CannotOpen);
    int flags = 0;
    std::string streamMode;
    if (!mode || !ModeFlags(mode, flags, streamMode))
    {
        errno = EINVAL;
        return nullptr;
    }
    const std::string resolved = ResolvePath(path);
    // Looked at before the open, so a FIFO or a device is not even opened
    // (opening either can have effects of its own), and again through the
    // descriptor, which is what is read whatever the name says by then.
    struct stat info{};
    if (::stat(resolved.c_str(), &info) == 0 && !MayOpen(info.st_mode, flags))
    {
        SetError(error, FileError::NotRegular);
        errno = EINVAL;
        return nullptr;
    }
    const int fd = OpenAboveStandardStreams(resolved.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0)
    {
        // A FIFO without a reader, or a socket, swapped in after the look.
        if (errno == ENXIO)
        {
            SetError(error, FileError::NotRegular);
        }
        return nullptr;
    }
    if (::fstat(fd, &info) != 0 || !MayOpen(info.st_mode, flags))
    {
        ::close(fd);
        SetError(error, FileError::NotRegular);
        errno = EINVAL;
        return nullptr;
    }
    // Reads and writes of a regular file wait as they always do.
    const int status = ::fcntl(fd, F_GETFL);
    std::FILE* file = status == -1 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0
                          ? nullptr
                          : ::fdopen(fd, streamMode.c_str());
    if (!file)
    {
        ::close(fd);
        return nullptr;
    }
    SetError(error, FileError::None);
    return file;
}

bool ReadWholeFile(std::string_view path, std::string& out, std::uint64_t limit, FileError* error)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(OpenFile(path, "rb", error), &std::fclose);
    if (!file)
    {
        return false;
    }
    // The size refuses a large file before any byte is read; the count below
    // holds for a file that grows meanwhile (and for /proc, which says 0).
    struct stat info{};
    if (::fstat(::fileno(file.get()), &info) == 0 && static_cast<std::uint64_t>(info.st_size) > limit)
    {
        SetError(error, FileError::TooLarge);
        return false;
    }
    if (info.st_size > 0)
    {
        out.reserve(out.size() + static_cast<std::size_t>(info.st_size));
    }
    char chunk[4096];
    std::uint64_t total = 0;
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof(chunk), file.get())) > 0)
    {
        if (got > limit - total)
        {
            SetError(error, FileError::TooLarge);
            return false;
        }
        total += got;
        out.append(chunk, got);
    }
    if (std::ferror(file.get()) != 0)
    {
        SetError(error, FileError::ReadFailed);
        return false;
    }
    return true;
}

std::string DescribeFileError(std::string_view path, FileError error, std::uint64_t limit)
{
    const std::string name(path);
    switch (error)
    {
    case FileError::None:
        return {};
    case FileError::CannotOpen:
        return "cannot open file '" + name + "'";
    case FileError::NotRegular:
        return "'" + name + "' is not a regular file";
    case FileError::TooLarge:
        return "'" + name + "' is larger than " + std::to_string(limit) + " bytes";
    case FileError::ReadFailed:
        return "cannot read file '" + name + "'";
    }
    return {};
}

bool GetFileStatus(std::string_view path, FileStatus& out)
{
    struct stat st;
    if (::stat(ResolvePath(path).c_str(), &st) != 0)
    {
        return false;
    }
    FillStatus(st, out);
    return true;
}

std::uint64_t GetFileSize(std::string_view path)
{
    FileStatus status;
    return GetFileStatus(path, status) ? status.size : 0;
}

bool FileExists(std::string_view path)
{
    FileStatus status;
    return GetFileStatus(path, status);
}

bool FolderExists(std::string_view path)
{
    FileStatus status;
    return GetFileStatus(path, status) && status.isFolder;
}

bool FileWritable(std::string_view path)
{
    std::string resolved = ResolvePath(path);
    struct stat st;
    if (::stat(resolved.c_str(), &st) == 0)
    {
        return !S_ISDIR(st.st_mode) && ::access(resolved.c_str(), W_OK) == 0;
    }
    std::size_t slash = resolved.find_last_of('/');
    std::string folder = slash == std::string::npos ? std::string(".") : resolved.substr(0, slash + 1);
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

bool CreateFolder(std::string_view path)
{
    return ::mkdir(ResolvePath(path).c_str(), 0777) == 0;
}

bool CreateFolderTree(std::string_view path)
{
    std::string resolved = ResolvePath(path);
    for (std::size_t i = 1; i <= resolved.size(); ++i)
    {
        if (i == resolved.size() || resolved[i] == '/')
        {
            std::string prefix = resolved.substr(0, i);
            struct stat st;
            if (::stat(prefix.c_str(), &st) == 0)
            {
                if (!S_ISDIR(st.st_mode))
                {
                    return false;
                }
                continue;
            }
            if (::mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST)
            {
                return false;
            }
        }
    }
    return FolderExists(resolved);
}

bool RemoveFile(std::string_view path)
{
    return ::unlink(ResolvePath(path).c_str()) == 0;
}

bool RemoveFolder(std::string_view path)
{
    return ::rmdir(ResolvePath(path).c_str()) == 0;
}

bool RenameFile(std::string_view from, std::string_view to)
{
    return std::rename(ResolvePath(from).c_str(), ResolvePath(to).c_str()) == 0;
}

std::string TemporaryPathFor(std::string_view path)
{
    return std::string(path) + ".tmp";
}

namespace
{
// fsync through a descriptor of its own: the writer's stream may already be
// closed, and Linux syncs a file's data whatever mode it was opened in.
bool SyncPath(const std::string& path, int flags)
{
    const int fd = OpenAboveStandardStreams(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0)
    {
        return false;
    }
    const bool synced = ::fsync(fd) == 0;
    return ::close(fd) == 0 && synced;
}

// Renames a synced file over the path, then syncs the folder. The rename
// itself is durable once the folder's entry is. The new file is in place by
// then whatever the sync says, so the result stays true: false would tell
// the caller the old file was kept.
bool RenameInPlace(const std::string& from, const std::string& to)
{
    if (std::rename(from.c_str(), to.c_str()) != 0)
    {
        return false;
    }
    const std::string::size_type slash = to.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : (slash == 0 ? "/" : to.substr(0, slash));
    (void)SyncPath(folder, O_RDONLY | O_DIRECTORY);
    return true;
}

// Whether the name is, right now, the regular file of that device and inode
// (not a link to it, not another file put there since).
bool NameHolds(const std::string& resolved, std::uint64_t device, std::uint64_t inode)
{
    struct stat info{};
    return ::lstat(resolved.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           static_cast<std::uint64_t>(info.st_dev) == device && static_cast<std::uint64_t>(info.st_ino) == inode;
}
} // namespace

TemporaryFile::~TemporaryFile()
{
    (void)Discard();
}

TemporaryFile::TemporaryFile(TemporaryFile&& other) noexcept
    : m_file(other.m_file), m_path(std::move(other.m_path)), m_device(other.m_device), m_inode(other.m_inode)
{
    other.m_file = nullptr;
    other.m_path.clear();
}

TemporaryFile& TemporaryFile::operator=(TemporaryFile&& other) noexcept
{
    if (this != &other)
    {
        (void)Discard();
        m_file = other.m_file;
        m_path = std::move(other.m_path);
        m_device = other.m_device;
        m_inode = other.m_inode;
        other.m_file = nullptr;
        other.m_path.clear();
    }
    return *this;
}

bool TemporaryFile::Close()
{
    if (m_file == nullptr)
    {
        return false;
    }
    const bool closed = std::fclose(m_file) == 0;
    m_file = nullptr;
    return closed;
}

bool TemporaryFile::Discard()
{
    if (m_file == nullptr)
    {
        return false;
    }
    (void)Close();
    const std::string resolved = ResolvePath(m_path);
    if (NameHolds(resolved, m_device, m_inode))
    {
        ::unlink(resolved.c_str());
    }
    m_path.clear();
    return true;
}

TemporaryFile CreateTemporaryFor(std::string_view path)
{
    TemporaryFile made;
    const std::string temp = TemporaryPathFor(path);
    const std::string resolved = ResolvePath(temp);
    struct stat info{};
    if (::lstat(resolved.c_str(), &info) == 0)
    {
        if (S_ISDIR(info.st_mode) || ::unlink(resolved.c_str()) != 0)
        {
            return made;
        }
    }
    // O_EXCL fails on any name that exists again by now (a link included,
    // dangling or not); O_NOFOLLOW says the same for a link on its own. The
    // descriptor made here is the one written through: the name is never
    // opened again.
    const int fd = OpenAboveStandardStreams(resolved.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
    {
        return made;
    }
    std::FILE* file = ::fstat(fd, &info) == 0 ? ::fdopen(fd, "wb") : nullptr;
    if (file == nullptr)
    {
        ::close(fd);
        ::unlink(resolved.c_str());
        return made;
    }
    made.m_file = file;
    made.m_path = temp;
    made.m_device = static_cast<std::uint64_t>(info.st_dev);
    made.m_inode = static_cast<std::uint64_t>(info.st_ino);
    return made;
}

bool CommitFile(TemporaryFile& temp, std::string_view path)
{
    if (!temp.IsOpen())
    {
        return false;
    }
    std::FILE* file = temp.m_file;
    // The C library's buffer, then the system's: a full disk or a size limit
    // shows here, before anything is renamed.
    const bool written = std::fflush(file) == 0 && !std::ferror(file) && ::fsync(::fileno(file)) == 0;
    const std::string from = ResolvePath(temp.m_path);
    const bool ours = NameHolds(from, temp.m_device, temp.m_inode);
    temp.m_path.clear();
    // Resolved only now: the name is checked again once the rename is done
    // (see below), whatever happens to it from here on.
    const std::string to = ResolvePath(path);
    bool committed = written && ours && RenameInPlace(from, to);
    if (!committed && ours)
    {
        ::unlink(from.c_str());
    }
    // Something that can write in the folder may swap the temporary name for
    // a link between the check above and the rename, which then moves the
    // link into place. The descriptor, still open, says which file is ours:
    // the path must now hold exactly that one.
    if (committed)
    {
        struct stat mine{};
        committed = ::fstat(::fileno(file), &mine) == 0 &&
                    NameHolds(to, static_cast<std::uint64_t>(mine.st_dev), static_cast<std::uint64_t>(mine.st_ino));
    }
    // Everything was synced above: closing can lose nothing any more.
    (void)temp.Close();
    return committed;
}

std::string RealPath(std::string_view path)
{
    char* real = ::realpath(ResolvePath(path).c_str(), nullptr);
    if (!real)
    {
        return {};
    }
    std::string result(real);
    std::free(real);
    return result;
}

std::string GetCurrentFolder()
{
    std::vector<char> buffer(512);
    for (;;)
    {
        if (::getcwd(buffer.data(), buffer.size()))
        {
            return std::string(buffer.data());
        }
        if (errno != ERANGE || buffer.size() > (1u << 20))
        {
            return {};
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool ChangeFolder(std::string_view path)
{
    return ::chdir(ResolvePath(path).c_str()) == 0;
}

PathParts SplitPath(std::string_view path)
{
    PathParts parts;
    if (path.size() >= 2 && path[1] == ':')
    {
        parts.drive = std::string(path.substr(0, 2));
        path.remove_prefix(2);
    }
    std::size_t slash = path.find_last_of("/\\");
    if (slash != std::string_view::npos)
    {
        parts.folder = std::string(path.substr(0, slash + 1));
        path.remove_prefix(slash + 1);
    }
    std::size_t dot = path.find_last_of('.');
    if (dot != std::string_view::npos)
    {
        parts.extension = std::string(path.substr(dot));
        path = path.substr(0, dot);
    }
    parts.name = std::string(path);
    return parts;
}

bool MatchesWildcard(std::string_view pattern, std::string_view name)
{
    if (Match(pattern, name))
    {
        return true;
    }
    // A trailing ".*" also takes names without any dot ("*.*", "ab*.*").
    if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" &&
        name.find('.') == std::string_view::npos)
    {
        return Match(pattern.substr(0, pattern.size() - 2), name);
    }
    return false;
}

FindHandle FindFirst(std::string_view pattern, FindData& out)
{
    std::string p(pattern);
    std::replace(p.begin(), p.end(), '\\', '/');
    std::size_t slash = p.find_last_of('/');
    std::string folder = slash == std::string::npos ? std::string() : p.substr(0, slash + 1);
    std::string namePattern = slash == std::string::npos ? p : p.substr(slash + 1);
    if (namePattern.empty())
    {
        errno = EINVAL;
        return -1;
    }
    std::string resolved = folder.empty() ? std::string() : ResolvePath(folder);

    Search search;
    for (const std::string& name : ListFolder(resolved.empty() ? std::string(".") : resolved, true))
    {
        if (!MatchesWildcard(namePattern, name))
        {
            continue;
        }
        struct stat st;
        if (::stat(Joined(resolved, name).c_str(), &st) != 0)
        {
            continue; // vanished, or a dangling link: nothing to report
        }
        FileStatus status;
        FillStatus(st, status);
        FindData data;
        data.attributes = status.isFolder ? ATTRIB_SUBDIR : ATTRIB_NORMAL;
        data.accessTime = status.accessTime;
        data.writeTime = status.writeTime;
        data.changeTime = status.changeTime;
        data.size = status.size;
        data.name = name;
        search.matches.push_back(std::move(data));
    }
    if (search.matches.empty())
    {
        errno = ENOENT;
        return -1;
    }
    out = search.matches[0];
    search.next = 1;
    Searches& searches = GetSearches();
    FindHandle handle = searches.nextHandle++;
    searches.open.emplace(handle, std::move(search));
    return handle;
}

int FindNext(FindHandle handle, FindData& out)
{
    Searches& searches = GetSearches();
    auto it = searches.open.find(handle);
    if (it == searches.open.end() || it->second.next >= it->second.matches.size())
    {
        errno = ENOENT;
        return -1;
    }
    out = it->second.matches[it->second.next++];
    return 0;
}

int FindClose(FindHandle handle)
{
    return GetSearches().open.erase(handle) == 1 ? 0 : -1;
}

namespace detail
{
void ResetFindHandles()
{
    Searches& searches = GetSearches();
    searches.open.clear();
    searches.nextHandle = 1;
}
} // namespace detail
} // namespace os
