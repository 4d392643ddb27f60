#pragma once

// File and folder services. The game's data names files the Windows way:
// backslashes and any letter case. Every path the system opens goes through
// ResolvePath, so those names find the files on a case-sensitive Linux file
// system.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

namespace os
{
// ResolvePath: '\' becomes '/'. When the path exists as written it is
// returned as such. Otherwise each component is looked up in its folder: as
// written when that exists, else the first name (in byte-sorted order) of
// the folder listing that equals it ignoring ASCII case. From the first
// component that matches nothing on, the rest is kept as given, so a new
// file keeps its last component (and a missing folder its name) as written.
// "." and ".." and empty components (from "//") are kept. Absolute and
// relative paths both work; relative ones start at the current folder.
[[nodiscard]] std::string ResolvePath(std::string_view path);
// Called, when set, with every path ResolvePath returns (an existing file or
// folder, or a name that matched nothing), so a benchmark can learn which
// files a run touched. Every open, status query and folder change of this
// layer resolves first. Null removes it; so does os::Reset. The recorder must
// not resolve paths itself.
using PathRecorder = std::function<void(const std::string& resolved)>;
void SetPathRecorder(PathRecorder recorder);

// Why a file did not open or was not read whole.
enum class FileError : std::uint8_t
{
    None,
    CannotOpen, // missing, not permitted, a bad mode
    NotRegular, // a folder, FIFO, socket or device (see OpenFile)
    TooLarge,   // more bytes than the reader takes
    ReadFailed,
};
// fopen through the resolver; mode as the C library's ("rb", "wb", "ab",
// "a+t", "wt", ...; 't' is dropped: no text translation on Linux). Null on
// failure, with the reason in `error` when given. The caller closes the file.
// Data names come from data files: only a regular file opens, so a FIFO, a
// socket, /dev/stdin or a link to /dev/zero named there neither blocks the
// caller nor feeds it without end. The one exception: a write-only mode
// ("w", "a") also takes a character device (a log sent to /dev/null). The
// open itself never waits (a FIFO without a writer would), and the
// descriptor is not inherited by a program started later.
[[nodiscard]] std::FILE* OpenFile(std::string_view path, const char* mode, FileError* error = nullptr);
// Appends the whole file to out, through OpenFile (regular files only);
// false, with the reason in `error` when given, when it does not open, a
// read fails or it holds more than `limit` bytes (then out keeps no more
// than it had plus `limit`).
[[nodiscard]] bool ReadWholeFile(std::string_view path, std::string& out,
                                 std::uint64_t limit = UINT64_MAX, FileError* error = nullptr);
// The reason in words, naming the file as given: "cannot open file 'x'",
// "'x' is not a regular file", "'x' is larger than N bytes" (N the limit),
// "cannot read file 'x'"; empty for None.
[[nodiscard]] std::string DescribeFileError(std::string_view path, FileError error, std::uint64_t limit = 0);

// The file-status query, through the resolver.
struct FileStatus
{
    std::uint64_t size = 0; // bytes; 0 for folders
    bool isFolder = false;
    std::int64_t accessTime = 0; // seconds since 1970 UTC
    std::int64_t writeTime = 0;
    std::int64_t changeTime = 0;
};
[[nodiscard]] bool GetFileStatus(std::string_view path, FileStatus& out);
// Size in bytes; 0 when the file is missing or cannot be examined.
[[nodiscard]] std::uint64_t GetFileSize(std::string_view path);
[[nodiscard]] bool FileExists(std::string_view path);   // a file or a folder
[[nodiscard]] bool FolderExists(std::string_view path); // a folder
// Whether the path could be opened for writing, without creating or
// truncating anything: an existing file must be writable, a new one needs a
// writable existing folder.
[[nodiscard]] bool FileWritable(std::string_view path);

// _mkdir: creates one folder (its parent must exist); false when it exists
// or cannot be made. CreateFolderTree makes every missing level and is true
// when the folder exists at the end.
bool CreateFolder(std::string_view path);
bool CreateFolderTree(std::string_view path);
bool RemoveFile(std::string_view path);
bool RemoveFolder(std::string_view path); // empty folders only
bool RenameFile(std::string_view from, std::string_view to);

// Safe replacement of a file: the new content is written to
// TemporaryPathFor(path) beside it (CreateTemporaryFor), then CommitFile puts
// it in place. Commit syncs the temporary file's bytes, renames it over the
// path (a reader sees the whole old file or the whole new one) and syncs the
// folder, so a crash or a full disk never leaves a half-written file under
// the path. On any failure before the rename the temporary file is removed,
// the path is left as it was and the result is false; once renamed the
// result is true when the path holds the file written (the folder's sync is
// then only attempted).
[[nodiscard]] std::string TemporaryPathFor(std::string_view path);

// The temporary file of a safe replacement, open for writing from the
// moment it is made. The writer writes through GetFile() and never opens
// the name again: a name can be swapped for a link or a FIFO between two
// opens, a descriptor cannot. Closing and committing are the handle's
// business (the writer may flush, never close); a handle dropped without a
// commit closes its file and removes it.
class TemporaryFile
{
public:
    TemporaryFile() = default; // no file
    ~TemporaryFile();
    TemporaryFile(TemporaryFile&& other) noexcept;
    TemporaryFile& operator=(TemporaryFile&& other) noexcept;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    [[nodiscard]] bool IsOpen() const { return m_file != nullptr; }
    // Null when no file is open.
    [[nodiscard]] std::FILE* GetFile() const { return m_file; }
    // TemporaryPathFor the path it replaces; empty without a file.
    [[nodiscard]] const std::string& GetPath() const { return m_path; }
    // Closes the file and removes its name while that still is this file
    // (false when there was no file).
    bool Discard();

private:
    friend TemporaryFile CreateTemporaryFor(std::string_view path);
    friend bool CommitFile(TemporaryFile& temp, std::string_view path);
    bool Close();

    std::FILE* m_file = nullptr;
    std::string m_path;
    std::uint64_t m_device = 0; // identify the file, so a name swapped after
    std::uint64_t m_inode = 0;  // the create is never removed nor committed
};

// Makes TemporaryPathFor(path) a new empty regular file, open for writing;
// no file (IsOpen() false) when it cannot be made. Whatever a failed write
// or another program left under that name (a file, a link, a FIFO) is
// removed first, and the file is then created exclusively without following
// a link, so the writing never reaches another file, the old save included,
// and never blocks on a FIFO. A folder under the name is left alone: no
// temporary file then.
[[nodiscard]] TemporaryFile CreateTemporaryFor(std::string_view path);
// Flushes and syncs the file, renames it over the path, syncs the folder
// and only then closes it. False, the path left as it was and the temporary
// file removed, when a write or the rename failed or when the temporary name
// no longer holds this very file (something replaced it since it was made).
// False too when, after the rename, the path does not hold the file of the
// still open descriptor (its name was swapped for another file or a link
// just before the rename, which then put that in place): the save is not
// there, whatever the rename said. The handle is empty afterwards either way.
bool CommitFile(TemporaryFile& temp, std::string_view path);
// realpath: the absolute path with every symbolic link, "." and ".."
// resolved, through the resolver; empty when the path does not exist.
[[nodiscard]] std::string RealPath(std::string_view path);

// _getcwd: the current folder, absolute, '/'-separated, without a trailing
// '/' (except for "/" itself). Empty on failure.
[[nodiscard]] std::string GetCurrentFolder();
// _chdir through the resolver.
bool ChangeFolder(std::string_view path);

// _splitpath: drive ("X:" when the path starts so), folder (up to and with
// the last '/' or '\'), name, and extension (from the last '.' of the
// remainder, with the dot). "." splits into name "" ext "."; ".." into name
// "." ext ".".
struct PathParts
{
    std::string drive;
    std::string folder;
    std::string name;
    std::string extension;
};
[[nodiscard]] PathParts SplitPath(std::string_view path);

// ---- Folder search (_findfirst / _findnext / _findclose) ----
struct FindData
{
    std::uint32_t attributes = 0; // ATTRIB_SUBDIR (0x10) for folders, else ATTRIB_NORMAL
    std::int64_t accessTime = 0;
    std::int64_t writeTime = 0;
    std::int64_t changeTime = 0;
    std::uint64_t size = 0; // bytes; 0 for folders
    std::string name;       // the name as it is on disk, without folder
};
using FindHandle = std::intptr_t; // -1 = failure

// The pattern is a folder (resolved like any path) and a name pattern:
// '*' any run of characters, '?' exactly one, letters compared ignoring
// ASCII case, and a trailing ".*" also matching names without a dot (so
// "*.*" matches everything, "ab*.*" also "abc"). Matches come in
// byte-sorted name order; "." and ".." are listed like other folders.
// FindFirst returns -1 when the folder cannot be read or nothing matches.
[[nodiscard]] FindHandle FindFirst(std::string_view pattern, FindData& out);
// 0 and the next match, or -1 when none is left or the handle is unknown.
int FindNext(FindHandle handle, FindData& out);
// 0, or -1 for an unknown handle.
int FindClose(FindHandle handle);

// The name pattern rules of FindFirst, on one name.
[[nodiscard]] bool MatchesWildcard(std::string_view pattern, std::string_view name);
// ASCII case-insensitive equality.
[[nodiscard]] bool EqualsIgnoreCase(std::string_view a, std::string_view b);
} // namespace os
