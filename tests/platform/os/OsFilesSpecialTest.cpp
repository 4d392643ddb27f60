// Files that are no data: a FIFO, a device, /dev/stdin, a folder, a link to
// /dev/zero. Opening one for reading is refused at once, naming it, and a
// whole-file read stops at its limit. Every call that could block runs under
// a watchdog, so a fault fails the test instead of hanging it.
#include "platform/os/OsFiles.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

namespace
{
// The name of the call under way, for the watchdog's message.
const char* g_watched = "";

[[noreturn]] void Blocked(int)
{
    const char text[] = "watchdog: a call blocked: ";
    (void)!::write(2, text, sizeof(text) - 1);
    (void)!::write(2, g_watched, std::strlen(g_watched));
    (void)!::write(2, "\n", 1);
    std::_Exit(3);
}

// Runs `call` with an alarm set: a call still running after 20 s ends the
// program (a blocked open cannot be taken back), failing the run.
void WithinDeadline(const char* what, const std::function<void()>& call)
{
    g_watched = what;
    struct sigaction watchdog{};
    watchdog.sa_handler = &Blocked;
    sigemptyset(&watchdog.sa_mask);
    struct sigaction before{};
    ASSERT_EQ(::sigaction(SIGALRM, &watchdog, &before), 0);
    ::alarm(20);
    call();
    ::alarm(0);
    ::sigaction(SIGALRM, &before, nullptr);
}

class OsFilesSpecialTest : public testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/os_special_XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_root = pattern;
    }
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }
    std::string Path(const std::string& name) const { return m_root + "/" + name; }
    std::string Write(const std::string& name, const std::string& bytes) const
    {
        std::FILE* f = std::fopen(Path(name).c_str(), "wb");
        EXPECT_NE(f, nullptr);
        if (f)
        {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        return Path(name);
    }
    std::string Fifo(const std::string& name) const
    {
        EXPECT_EQ(::mkfifo(Path(name).c_str(), 0600), 0);
        return Path(name);
    }
    std::string Link(const std::string& name, const char* target) const
    {
        EXPECT_EQ(::symlink(target, Path(name).c_str()), 0);
        return Path(name);
    }

    // OpenFile refuses the path at once as no regular file, in this mode.
    void ExpectNotRegular(const std::string& path, const char* mode)
    {
        os::FileError why = os::FileError::None;
        std::FILE* file = nullptr;
        WithinDeadline(path.c_str(), [&] { file = os::OpenFile(path, mode, &why); });
        EXPECT_EQ(file, nullptr) << path << " " << mode;
        if (file)
        {
            std::fclose(file);
        }
        EXPECT_EQ(why, os::FileError::NotRegular) << path << " " << mode;
    }

    std::string m_root;
};
} // namespace

// A FIFO without a writer, a link to /dev/zero, a folder: never opened to be
// read (nor the FIFO to be written), and the read of a whole file says why.
TEST_F(OsFilesSpecialTest, ReadingTakesRegularFilesOnly)
{
    const std::string fifo = Fifo("pipe.hlsl");
    const std::string zero = Link("zero.fx", "/dev/zero");
    ASSERT_EQ(::mkdir(Path("folder.fx").c_str(), 0700), 0);
    for (const char* mode : {"rb", "r", "r+", "a+", "w+"})
    {
        ExpectNotRegular(fifo, mode);
        ExpectNotRegular(zero, mode);
        ExpectNotRegular(Path("folder.fx"), mode);
    }
    // Written to, the FIFO is refused too: without a reader, an open for
    // writing would wait.
    ExpectNotRegular(fifo, "wb");
    ExpectNotRegular(fifo, "ab");

    std::string text = "kept";
    os::FileError why = os::FileError::None;
    WithinDeadline("reading /dev/zero", [&] { EXPECT_FALSE(os::ReadWholeFile(zero, text, UINT64_MAX, &why)); });
    EXPECT_EQ(why, os::FileError::NotRegular);
    EXPECT_EQ(text, "kept");
    WithinDeadline("reading a FIFO", [&] { EXPECT_FALSE(os::ReadWholeFile(fifo, text, UINT64_MAX, &why)); });
    EXPECT_EQ(os::DescribeFileError(fifo, why), "'" + fifo + "' is not a regular file");
    // A name written the Windows way resolves first, then is refused the same.
    const std::string upper = m_root + "\\PIPE.HLSL";
    WithinDeadline("reading a FIFO by its other name",
                   [&] { EXPECT_FALSE(os::ReadWholeFile(upper, text, UINT64_MAX, &why)); });
    EXPECT_EQ(why, os::FileError::NotRegular);
}

// /dev/stdin is whatever standard input is: a pipe that never sends
// anything is refused, and so is /dev/null.
TEST_F(OsFilesSpecialTest, StandardInputIsNoDataFile)
{
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    const int savedInput = ::dup(0);
    ASSERT_GE(savedInput, 0);
    ASSERT_EQ(::dup2(pipeEnds[0], 0), 0);
    ExpectNotRegular("/dev/stdin", "rb");
    std::string text;
    os::FileError why = os::FileError::None;
    WithinDeadline("reading /dev/stdin", [&] { EXPECT_FALSE(os::ReadWholeFile("/dev/stdin", text, 1024, &why)); });
    EXPECT_EQ(why, os::FileError::NotRegular);
    ASSERT_EQ(::dup2(savedInput, 0), 0);
    ::close(savedInput);
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    ExpectNotRegular("/dev/null", "rb");
}

// Written only, a character device still opens (a log sent to /dev/null);
// read from, it does not.
TEST_F(OsFilesSpecialTest, WritingMayGoToADevice)
{
    std::FILE* null = os::OpenFile("/dev/null", "wb");
    ASSERT_NE(null, nullptr);
    EXPECT_EQ(std::fputs("gone", null) >= 0, true);
    EXPECT_EQ(std::fclose(null), 0);
    null = os::OpenFile("/dev/null", "a");
    ASSERT_NE(null, nullptr);
    std::fclose(null);
    ExpectNotRegular("/dev/null", "a+");
}

// The limit holds at the file's size, before any byte is read, and during
// the read for a file whose size says nothing (/proc); the bytes of a file
// within it are appended to what the string held.
TEST_F(OsFilesSpecialTest, WholeFileReadsStopAtTheLimit)
{
    const std::string path = Write("ten.txt", "0123456789");
    std::string text = ">";
    os::FileError why = os::FileError::None;
    EXPECT_TRUE(os::ReadWholeFile(path, text, 10, &why));
    EXPECT_EQ(text, ">0123456789");
    EXPECT_EQ(why, os::FileError::None);
    text = ">";
    EXPECT_FALSE(os::ReadWholeFile(path, text, 9, &why));
    EXPECT_EQ(why, os::FileError::TooLarge);
    EXPECT_EQ(text, ">");
    EXPECT_EQ(os::DescribeFileError(path, why, 9), "'" + path + "' is larger than 9 bytes");

    // /proc/self/status: a regular file of size 0 with a few hundred bytes.
    text.clear();
    EXPECT_TRUE(os::ReadWholeFile("/proc/self/status", text, 1 << 20, &why));
    EXPECT_NE(text.find("Name:"), std::string::npos);
    text.clear();
    EXPECT_FALSE(os::ReadWholeFile("/proc/self/status", text, 16, &why));
    EXPECT_EQ(why, os::FileError::TooLarge);
    EXPECT_LE(text.size(), 16u);

    EXPECT_FALSE(os::ReadWholeFile(Path("missing.txt"), text, 16, &why));
    EXPECT_EQ(why, os::FileError::CannotOpen);
    EXPECT_EQ(os::DescribeFileError("missing.txt", why), "cannot open file 'missing.txt'");
}

// The modes keep the C library's meaning through the open of a descriptor:
// "w" truncates, "a" appends, "r+" reads and writes in place, "x" refuses an
// existing file; the stream blocks as usual and is not inherited by a
// program started later.
TEST_F(OsFilesSpecialTest, ModesKeepTheirMeaning)
{
    const std::string path = Write("modes.txt", "abcdef");
    std::FILE* f = os::OpenFile(path, "r+b");
    ASSERT_NE(f, nullptr);
    const int flags = ::fcntl(::fileno(f), F_GETFL);
    EXPECT_EQ(flags & O_NONBLOCK, 0);
    EXPECT_NE(::fcntl(::fileno(f), F_GETFD) & FD_CLOEXEC, 0);
    char c = 0;
    EXPECT_EQ(std::fread(&c, 1, 1, f), 1u);
    EXPECT_EQ(c, 'a');
    EXPECT_EQ(std::fseek(f, 0, SEEK_CUR), 0);
    EXPECT_EQ(std::fputc('X', f), 'X');
    std::fclose(f);
    std::string text;
    EXPECT_TRUE(os::ReadWholeFile(path, text));
    EXPECT_EQ(text, "aXcdef");

    f = os::OpenFile(path, "at");
    ASSERT_NE(f, nullptr);
    std::fputs("gh", f);
    std::fclose(f);
    text.clear();
    EXPECT_TRUE(os::ReadWholeFile(path, text));
    EXPECT_EQ(text, "aXcdefgh");

    EXPECT_EQ(os::OpenFile(path, "wx"), nullptr);
    f = os::OpenFile(path, "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_EQ(os::GetFileSize(path), 0u);

    os::FileError why = os::FileError::None;
    EXPECT_EQ(os::OpenFile(path, "q", &why), nullptr);
    EXPECT_EQ(why, os::FileError::CannotOpen);
    EXPECT_EQ(os::OpenFile(path, nullptr, &why), nullptr);
}
