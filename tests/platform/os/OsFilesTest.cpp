#include "platform/os/OsFiles.h"

#include "platform/os/OsDefs.h"
#include "platform/os/OsSystem.h"
#include "tests/platform/os/OsTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{
class OsFilesTest : public OsTest
{
protected:
    void SetUp() override
    {
        OsTest::SetUp();
        char pattern[] = "/tmp/os_files_XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_root = pattern;
        m_startFolder = os::GetCurrentFolder();
    }
    void TearDown() override
    {
        if (!m_startFolder.empty())
        {
            EXPECT_EQ(::chdir(m_startFolder.c_str()), 0);
        }
        std::string command = "rm -rf '" + m_root + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
        OsTest::TearDown();
    }

    // Writes a file of `bytes` bytes at root/relative (folders must exist).
    void Write(const std::string& relative, std::size_t bytes = 0)
    {
        std::FILE* f = std::fopen((m_root + "/" + relative).c_str(), "wb");
        ASSERT_NE(f, nullptr) << relative;
        for (std::size_t i = 0; i < bytes; ++i)
        {
            std::fputc('x', f);
        }
        std::fclose(f);
    }
    void Folder(const std::string& relative)
    {
        ASSERT_EQ(::mkdir((m_root + "/" + relative).c_str(), 0777), 0) << relative;
    }
    std::vector<os::FindData> FindAll(const std::string& pattern)
    {
        std::vector<os::FindData> out;
        os::FindData data;
        os::FindHandle h = os::FindFirst(pattern, data);
        if (h == -1)
        {
            return out;
        }
        do
        {
            out.push_back(data);
        } while (os::FindNext(h, data) == 0);
        EXPECT_EQ(os::FindClose(h), 0);
        return out;
    }
    std::vector<std::string> Names(const std::string& pattern)
    {
        std::vector<std::string> names;
        for (const os::FindData& d : FindAll(pattern))
        {
            names.push_back(d.name);
        }
        return names;
    }

    std::string m_root;
    std::string m_startFolder;
};

TEST_F(OsFilesTest, ResolverMatchesComponentsIgnoringCase)
{
    Folder("Data");
    Folder("Data/Models");
    Write("Data/Models/Cell.NIF", 3);
    const std::string expected = m_root + "/Data/Models/Cell.NIF";
    EXPECT_EQ(os::ResolvePath(expected), expected); // exists as written
    EXPECT_EQ(os::ResolvePath(m_root + "/data/models/cell.nif"), expected);
    EXPECT_EQ(os::ResolvePath(m_root + "\\DATA\\models\\CELL.nif"), expected);
    EXPECT_EQ(os::ResolvePath(m_root + "/data//models/cell.nif"), m_root + "/Data//Models/Cell.NIF");
    EXPECT_EQ(os::ResolvePath(m_root + "/data/./models/../models/cell.nif"), m_root + "/Data/./Models/../Models/Cell.NIF");
    // A new file keeps its last component; a missing folder keeps the rest.
    EXPECT_EQ(os::ResolvePath(m_root + "/data/models/New.Nif"), m_root + "/Data/Models/New.Nif");
    EXPECT_EQ(os::ResolvePath(m_root + "/data/Missing/models/cell.nif"), m_root + "/Data/Missing/models/cell.nif");
    EXPECT_EQ(os::ResolvePath(m_root + "/data/models/"), m_root + "/Data/Models/");
    EXPECT_EQ(os::ResolvePath(""), "");
}

TEST_F(OsFilesTest, ResolverTakesTheFirstMatchInSortedOrder)
{
    Write("SETUP.xml", 1);
    Write("Setup.xml", 2);
    Write("setup.xml", 3);
    EXPECT_EQ(os::ResolvePath(m_root + "/setup.xml"), m_root + "/setup.xml"); // as written first
    EXPECT_EQ(os::ResolvePath(m_root + "/SeTuP.XML"), m_root + "/SETUP.xml");
    EXPECT_EQ(os::GetFileSize(m_root + "/sEtUp.xml"), 1u);
}

TEST_F(OsFilesTest, RelativePathsResolveFromTheCurrentFolder)
{
    Folder("Game");
    Write("Game/Setup.xml", 4);
    ASSERT_TRUE(os::ChangeFolder(m_root + "/GAME"));
    EXPECT_EQ(os::ResolvePath("./setup.xml"), "./Setup.xml");
    EXPECT_EQ(os::ResolvePath("setup.XML"), "Setup.xml");
    EXPECT_EQ(os::ResolvePath("..\\game\\setup.xml"), "../Game/Setup.xml");
    EXPECT_EQ(os::GetFileSize(".\\SETUP.XML"), 4u);
    // The current folder is absolute and has no trailing slash.
    std::string here = os::GetCurrentFolder();
    EXPECT_EQ(here.substr(here.size() - 5), "/Game");
}

TEST_F(OsFilesTest, OpenFileReadsAndCreatesThroughTheResolver)
{
    Folder("Saves");
    std::FILE* f = os::OpenFile(m_root + "\\saves\\Slot1.DAT", "wt");
    ASSERT_NE(f, nullptr);
    std::fputs("a\nb", f);
    std::fclose(f);
    struct stat st;
    EXPECT_EQ(::stat((m_root + "/Saves/Slot1.DAT").c_str(), &st), 0); // last component kept as given
    EXPECT_EQ(st.st_size, 3); // no text translation
    f = os::OpenFile(m_root + "/SAVES/slot1.dat", "rb");
    ASSERT_NE(f, nullptr);
    char buffer[8] = {};
    EXPECT_EQ(std::fread(buffer, 1, sizeof buffer, f), 3u);
    std::fclose(f);
    EXPECT_EQ(os::OpenFile(m_root + "/missing.dat", "rb"), nullptr);
    EXPECT_EQ(os::OpenFile(m_root + "/nofolder/x.dat", "wb"), nullptr);
}

TEST_F(OsFilesTest, TheRecorderSeesEveryResolvedPathUntilRemovedOrReset)
{
    Folder("Data");
    Write("Data/Cell.NIF", 5);
    std::vector<std::string> seen;
    os::SetPathRecorder([&seen](const std::string& resolved) { seen.push_back(resolved); });
    std::FILE* f = os::OpenFile(m_root + "\\data\\cell.nif", "rb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_EQ(os::GetFileSize(m_root + "/DATA/cell.nif"), 5u);
    EXPECT_EQ(os::OpenFile(m_root + "/data/gone.nif", "rb"), nullptr);
    std::string whole;
    EXPECT_TRUE(os::ReadWholeFile(m_root + "/data/CELL.nif", whole));
    EXPECT_EQ(whole.size(), 5u);
    // The paths as found on disk, in order; a missing name as given.
    const std::string cell = m_root + "/Data/Cell.NIF";
    EXPECT_EQ(seen, (std::vector<std::string>{cell, cell, m_root + "/Data/gone.nif", cell}));

    os::SetPathRecorder(nullptr);
    EXPECT_EQ(os::ResolvePath(m_root + "/data"), m_root + "/Data");
    EXPECT_EQ(seen.size(), 4u);

    os::SetPathRecorder([&seen](const std::string& resolved) { seen.push_back(resolved); });
    os::Reset();
    EXPECT_TRUE(os::FileExists(m_root + "/data/cell.nif"));
    EXPECT_EQ(seen.size(), 4u);
    ASSERT_TRUE(os::Startup());
}

TEST_F(OsFilesTest, StatusSizeAndExistence)
{
    Folder("Dir");
    Write("Dir/Ten.bin", 10);
    Write("Empty.bin");
    os::FileStatus status;
    ASSERT_TRUE(os::GetFileStatus(m_root + "/dir/ten.BIN", status));
    EXPECT_EQ(status.size, 10u);
    EXPECT_FALSE(status.isFolder);
    EXPECT_GT(status.writeTime, 0);
    EXPECT_EQ(os::GetFileSize(m_root + "/DIR/TEN.BIN"), 10u);
    EXPECT_EQ(os::GetFileSize(m_root + "/empty.bin"), 0u);
    EXPECT_EQ(os::GetFileSize(m_root + "/missing.bin"), 0u);
    EXPECT_TRUE(os::FileExists(m_root + "/EMPTY.BIN"));
    EXPECT_FALSE(os::FileExists(m_root + "/missing.bin"));
    EXPECT_TRUE(os::FolderExists(m_root + "/DIR"));
    EXPECT_FALSE(os::FolderExists(m_root + "/empty.bin"));
}

TEST_F(OsFilesTest, WritableWithoutCreatingOrTruncating)
{
    Write("Keep.txt", 5);
    EXPECT_TRUE(os::FileWritable(m_root + "/keep.txt"));
    EXPECT_EQ(os::GetFileSize(m_root + "/Keep.txt"), 5u);
    EXPECT_TRUE(os::FileWritable(m_root + "/New.txt"));
    EXPECT_FALSE(os::FileExists(m_root + "/New.txt"));
    EXPECT_FALSE(os::FileWritable(m_root + "/nofolder/New.txt"));
    Folder("Sub");
    EXPECT_FALSE(os::FileWritable(m_root + "/sub")); // a folder is not a file
}

TEST_F(OsFilesTest, FoldersAreMadeRemovedAndRenamed)
{
    EXPECT_TRUE(os::CreateFolder(m_root + "/Maps"));
    EXPECT_FALSE(os::CreateFolder(m_root + "/maps")); // exists (in other case)
    EXPECT_FALSE(os::CreateFolder(m_root + "/a/b"));  // parent missing
    EXPECT_TRUE(os::CreateFolderTree(m_root + "/maps/x/y"));
    EXPECT_TRUE(os::FolderExists(m_root + "/Maps/x/y"));
    EXPECT_TRUE(os::CreateFolderTree(m_root + "/MAPS/X"));
    Write("Maps/x/y/f.txt", 1);
    EXPECT_TRUE(os::RenameFile(m_root + "/maps/X/Y/F.TXT", m_root + "/maps/g.txt"));
    EXPECT_TRUE(os::FileExists(m_root + "/Maps/g.txt"));
    EXPECT_TRUE(os::RemoveFile(m_root + "/MAPS/G.TXT"));
    EXPECT_FALSE(os::RemoveFile(m_root + "/MAPS/G.TXT"));
    EXPECT_TRUE(os::RemoveFolder(m_root + "/maps/x/y"));
    EXPECT_FALSE(os::FolderExists(m_root + "/Maps/x/y"));
}

// The temporary file of a safe replacement is always a new regular file:
// whatever is under its name (a stale file, a link to the file itself or
// elsewhere, a dangling link, a FIFO) goes first and is never written
// through; a folder there is left alone and gives no temporary file.
TEST_F(OsFilesTest, ATemporaryFileIsAlwaysANewRegularFile)
{
    const std::string path = m_root + "/save.fds";
    const std::string temp = path + ".tmp";
    Write("save.fds", 7);
    Write("elsewhere", 4);
    const auto IsNewFile = [&temp](const os::TemporaryFile& made) {
        struct stat info{};
        return made.IsOpen() && made.GetPath() == temp && ::lstat(temp.c_str(), &info) == 0 &&
               S_ISREG(info.st_mode) && info.st_size == 0;
    };
    // A stale file.
    Write("save.fds.tmp", 3);
    EXPECT_TRUE(IsNewFile(os::CreateTemporaryFor(path)));
    // A handle dropped without a commit takes its file with it.
    EXPECT_FALSE(os::FileExists(temp));
    // Links: to the file itself, elsewhere, nowhere.
    for (const std::string& target : {path, m_root + "/elsewhere", m_root + "/nowhere"})
    {
        SCOPED_TRACE(target);
        ASSERT_EQ(::symlink(target.c_str(), temp.c_str()), 0);
        os::TemporaryFile made = os::CreateTemporaryFor(path);
        EXPECT_TRUE(IsNewFile(made));
        ASSERT_TRUE(made.IsOpen());
        EXPECT_EQ(std::fwrite("new", 1, 3, made.GetFile()), 3u);
        EXPECT_TRUE(made.Discard());
        EXPECT_FALSE(made.IsOpen());
        EXPECT_FALSE(os::FileExists(temp));
    }
    EXPECT_EQ(os::GetFileSize(path), 7u);
    EXPECT_EQ(os::GetFileSize(m_root + "/elsewhere"), 4u);
    EXPECT_FALSE(os::FileExists(m_root + "/nowhere"));
    // A FIFO: opening it to write would wait for a reader for ever.
    ASSERT_EQ(::mkfifo(temp.c_str(), 0600), 0);
    EXPECT_TRUE(IsNewFile(os::CreateTemporaryFor(path)));
    // A folder: left as it is.
    Folder("save.fds.tmp");
    EXPECT_FALSE(os::CreateTemporaryFor(path).IsOpen());
    EXPECT_TRUE(os::FolderExists(temp));
    // Through the resolver, like every path.
    EXPECT_TRUE(os::RemoveFolder(temp));
    os::TemporaryFile upper = os::CreateTemporaryFor(m_root + "/SAVE.FDS");
    EXPECT_EQ(upper.GetPath(), m_root + "/SAVE.FDS.tmp");
    EXPECT_TRUE(os::CommitFile(upper, m_root + "/SAVE.FDS"));
    EXPECT_FALSE(upper.IsOpen());
    EXPECT_EQ(os::GetFileSize(path), 0u);
    // A folder that is not there.
    EXPECT_FALSE(os::CreateTemporaryFor(m_root + "/none/x").IsOpen());
}

// The temporary file comes open for writing, and its bytes go through that
// descriptor: a name swapped for a link after the create (to the old file
// or elsewhere) never receives them, and a commit then refuses to put
// anything but the file it made in place.
TEST_F(OsFilesTest, ATemporaryFileIsWrittenThroughItsHandleNeverItsName)
{
    const std::string path = m_root + "/save.fds";
    const std::string temp = path + ".tmp";
    Write("save.fds", 7);
    Write("elsewhere", 4);
    for (const std::string& target : {path, m_root + "/elsewhere", m_root + "/nowhere"})
    {
        SCOPED_TRACE(target);
        os::TemporaryFile made = os::CreateTemporaryFor(path);
        ASSERT_TRUE(made.IsOpen());
        EXPECT_EQ(::fcntl(::fileno(made.GetFile()), F_GETFL) & O_ACCMODE, O_WRONLY);
        ASSERT_EQ(::unlink(temp.c_str()), 0);
        ASSERT_EQ(::symlink(target.c_str(), temp.c_str()), 0);
        EXPECT_EQ(std::fwrite("redirected?", 1, 11, made.GetFile()), 11u);
        EXPECT_FALSE(os::CommitFile(made, path));
        EXPECT_FALSE(made.IsOpen());
        EXPECT_EQ(os::GetFileSize(path), 7u);
        EXPECT_EQ(os::GetFileSize(m_root + "/elsewhere"), 4u);
        EXPECT_FALSE(os::FileExists(m_root + "/nowhere"));
        // Not its own file: the link stays for the next create to remove.
        struct stat info{};
        EXPECT_EQ(::lstat(temp.c_str(), &info), 0);
        EXPECT_TRUE(S_ISLNK(info.st_mode));
    }
    // A handle dropped after its name was swapped leaves the stranger alone.
    {
        os::TemporaryFile made = os::CreateTemporaryFor(path);
        ASSERT_TRUE(made.IsOpen());
        ASSERT_EQ(::unlink(temp.c_str()), 0);
        Write("save.fds.tmp", 2);
    }
    EXPECT_EQ(os::GetFileSize(temp), 2u);

    // Undisturbed, the bytes written through the handle are the file's,
    // also after a move of the handle.
    os::TemporaryFile first = os::CreateTemporaryFor(path);
    ASSERT_TRUE(first.IsOpen());
    EXPECT_GE(std::fputs("the new save", first.GetFile()), 0);
    os::TemporaryFile made = std::move(first);
    EXPECT_FALSE(first.IsOpen());
    EXPECT_TRUE(os::CommitFile(made, path));
    EXPECT_FALSE(os::CommitFile(made, path)); // nothing left to commit
    EXPECT_FALSE(os::FileExists(temp));
    std::string bytes;
    ASSERT_TRUE(os::ReadWholeFile(path, bytes));
    EXPECT_EQ(bytes, "the new save");
    EXPECT_EQ(os::GetFileSize(m_root + "/elsewhere"), 4u);
}

// Another program swaps the temporary name for a link after the commit has
// checked that name and before the rename, which then moves the link over
// the save. The commit looks at the save's name with its file still open,
// and fails.
TEST_F(OsFilesTest, ACommitWhoseNameIsSwappedJustBeforeTheRenameFails)
{
    const std::string path = m_root + "/save.fds";
    const std::string temp = path + ".tmp";
    const std::string elsewhere = m_root + "/elsewhere";
    Write("save.fds", 7);
    Write("elsewhere", 4);
    os::TemporaryFile made = os::CreateTemporaryFor(path);
    ASSERT_TRUE(made.IsOpen());
    EXPECT_GE(std::fputs("the new save", made.GetFile()), 0);
    // The commit resolves the save's name after checking the temporary one:
    // the swap comes at that moment.
    bool swapped = false;
    os::SetPathRecorder([&](const std::string& resolved) {
        if (resolved == path && !swapped)
            swapped = ::unlink(temp.c_str()) == 0 && ::symlink(elsewhere.c_str(), temp.c_str()) == 0;
    });
    EXPECT_FALSE(os::CommitFile(made, path));
    os::SetPathRecorder(nullptr);
    ASSERT_TRUE(swapped);
    EXPECT_FALSE(made.IsOpen());
    // The rename ran (the link is where the save was): only the look after
    // it could tell.
    struct stat info{};
    ASSERT_EQ(::lstat(path.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(os::GetFileSize(elsewhere), 4u);

    // The next save replaces the link itself, not what it names.
    os::TemporaryFile next = os::CreateTemporaryFor(path);
    ASSERT_TRUE(next.IsOpen());
    EXPECT_GE(std::fputs("saved again", next.GetFile()), 0);
    EXPECT_TRUE(os::CommitFile(next, path));
    ASSERT_EQ(::lstat(path.c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(os::GetFileSize(path), 11u);
    EXPECT_EQ(os::GetFileSize(elsewhere), 4u);
}

TEST_F(OsFilesTest, CommitPutsAWholeFileInPlaceOrLeavesTheOldOne)
{
    Write("old.txt", 3);
    const std::string path = m_root + "/old.txt";
    const std::string temp = os::TemporaryPathFor(path);
    EXPECT_EQ(temp, path + ".tmp");
    os::TemporaryFile made = os::CreateTemporaryFor(path);
    ASSERT_TRUE(made.IsOpen());
    EXPECT_EQ(std::fwrite("fresh", 1, 5, made.GetFile()), 5u);
    EXPECT_TRUE(os::CommitFile(made, path));
    EXPECT_EQ(os::GetFileSize(path), 5u);
    EXPECT_FALSE(os::FileExists(temp));
    // Nothing to commit, or a folder where the file should come from: the
    // old file stays, the folder is left alone.
    EXPECT_FALSE(os::CommitFile(made, path));
    Folder("old.txt.tmp");
    os::TemporaryFile none = os::CreateTemporaryFor(path);
    EXPECT_FALSE(none.IsOpen());
    EXPECT_FALSE(os::CommitFile(none, path));
    EXPECT_TRUE(os::FolderExists(temp));
    // A full folder is not replaced; the failed file goes.
    Folder("target");
    Write("target/inside", 1);
    os::TemporaryFile beside = os::CreateTemporaryFor(m_root + "/target");
    ASSERT_TRUE(beside.IsOpen());
    EXPECT_FALSE(os::CommitFile(beside, m_root + "/target"));
    EXPECT_FALSE(os::FileExists(m_root + "/target.tmp"));
    EXPECT_EQ(os::GetFileSize(m_root + "/target/inside"), 1u);
    EXPECT_EQ(os::GetFileSize(path), 5u);

    // Real paths follow links and resolve letter case.
    ASSERT_EQ(::symlink((m_root + "/target").c_str(), (m_root + "/link").c_str()), 0);
    EXPECT_EQ(os::RealPath(m_root + "/LINK/Inside"), os::RealPath(m_root + "/target/inside"));
    EXPECT_EQ(os::RealPath(m_root + "/link/.."), os::RealPath(m_root));
    EXPECT_EQ(os::RealPath(m_root + "/none"), "");
}

TEST_F(OsFilesTest, SplitPathLikeTheCRuntime)
{
    struct Case
    {
        const char* path;
        const char* drive;
        const char* folder;
        const char* name;
        const char* ext;
    };
    const Case cases[] = {
        {"C:\\data\\models\\cell.nif", "C:", "\\data\\models\\", "cell", ".nif"},
        {"maps/wall.tga", "", "maps/", "wall", ".tga"},
        {"save.game.fds", "", "", "save.game", ".fds"},
        {"noext", "", "", "noext", ""},
        {".", "", "", "", "."},
        {"..", "", "", ".", "."},
        {"old.folder", "", "", "old", ".folder"},
        {"a.b/c", "", "a.b/", "c", ""},
        {"", "", "", "", ""},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.path);
        os::PathParts p = os::SplitPath(c.path);
        EXPECT_EQ(p.drive, c.drive);
        EXPECT_EQ(p.folder, c.folder);
        EXPECT_EQ(p.name, c.name);
        EXPECT_EQ(p.extension, c.ext);
    }
}

// The wildcard table.
TEST_F(OsFilesTest, WildcardTable)
{
    struct Case
    {
        const char* pattern;
        const char* name;
        bool match;
    };
    const Case cases[] = {
        {"*.*", "a.fds", true},
        {"*.*", "noext", true},      // "*.*" also takes dotless names
        {"*.*", ".", true},
        {"*.*", "..", true},
        {"*", "anything.at.all", true},
        {"*.fds", "a.fds", true},
        {"*.fds", "A.FDS", true},    // case ignored
        {"*.fds", "a.fdsx", false},
        {"*.fds", "fds", false},
        {"*.fds", "a.b.fds", true},
        {"button1*.*", "button1_s.tga", true},
        {"button1*.*", "Button1", true}, // trailing ".*": dotless too
        {"button1*.*", "button10.tga", true},
        {"button1*.*", "button2.tga", false},
        {"icon0?*.*", "icon07_s.tga", true},
        {"icon0?*.*", "icon0.tga", false},
        {"?", "a", true},
        {"?", "", false},
        {"?", "ab", false},
        {"a?c", "abc", true},
        {"a?c", "ac", false},
        {"a*c", "ac", true},
        {"a*c", "abbbc", true},
        {"a*c", "abcd", false},
        {"*a*b*", "xxaxxbxx", true},
        {"*a*b*", "xxbxxaxx", false},
        {"setup.xml", "SETUP.XML", true},
        {"setup.xml", "setup.xm", false},
        {"*.", "noext", false},
        {"", "", true},
        {"", "a", false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(c.pattern) + " ~ " + c.name);
        EXPECT_EQ(os::MatchesWildcard(c.pattern, c.name), c.match);
    }
}

TEST_F(OsFilesTest, FolderSearchIsSortedWithSizesAndAttributes)
{
    Folder("Saves");
    Write("Saves/b.fds", 2);
    Write("Saves/a.fds", 1);
    Write("Saves/notes.txt", 5);
    Write("Saves/UPPER.FDS", 3);
    Write("Saves/README", 4);
    Folder("Saves/old");

    std::vector<os::FindData> all = FindAll(m_root + "\\SAVES\\*.*");
    std::vector<std::string> names;
    for (const os::FindData& d : all)
    {
        names.push_back(d.name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", "README", "UPPER.FDS", "a.fds", "b.fds", "notes.txt", "old"}));
    ASSERT_EQ(all.size(), 8u);
    EXPECT_EQ(all[0].attributes, os::ATTRIB_SUBDIR);
    EXPECT_EQ(all[1].attributes, os::ATTRIB_SUBDIR);
    EXPECT_EQ(all[2].attributes, os::ATTRIB_NORMAL);
    EXPECT_EQ(all[2].size, 4u);
    EXPECT_EQ(all[4].size, 1u);
    EXPECT_EQ(all[5].size, 2u);
    EXPECT_EQ(all[7].attributes & 0x10, 0x10u);
    EXPECT_EQ(all[7].size, 0u);
    EXPECT_GT(all[4].writeTime, 0);

    EXPECT_EQ(Names(m_root + "/saves/*.fds"), (std::vector<std::string>{"UPPER.FDS", "a.fds", "b.fds"}));
    EXPECT_EQ(Names(m_root + "/saves/?.FDS"), (std::vector<std::string>{"a.fds", "b.fds"}));
    EXPECT_EQ(Names(m_root + "/saves/readme"), (std::vector<std::string>{"README"}));
    EXPECT_EQ(Names(m_root + "/saves/O*"), (std::vector<std::string>{"old"}));
}

TEST_F(OsFilesTest, FolderSearchFailures)
{
    os::FindData data;
    EXPECT_EQ(os::FindFirst(m_root + "/missing/*.*", data), -1);
    EXPECT_EQ(os::FindFirst(m_root + "/*.none", data), -1);
    EXPECT_EQ(os::FindFirst(m_root + "/", data), -1);
    EXPECT_EQ(os::FindNext(12345, data), -1);
    EXPECT_EQ(os::FindClose(12345), -1);

    Write("only.txt");
    os::FindHandle h = os::FindFirst(m_root + "/only.*", data);
    ASSERT_NE(h, -1);
    EXPECT_EQ(data.name, "only.txt");
    EXPECT_EQ(os::FindNext(h, data), -1);
    EXPECT_EQ(os::FindNext(h, data), -1);
    EXPECT_EQ(os::FindClose(h), 0);
    EXPECT_EQ(os::FindClose(h), -1);
}

TEST_F(OsFilesTest, FolderSearchInTheCurrentFolder)
{
    Folder("Ui");
    Write("Ui/Button1_S.tga");
    Write("Ui/button1.tga");
    Write("Ui/button2_s.tga");
    ASSERT_TRUE(os::ChangeFolder(m_root));
    EXPECT_EQ(Names("ui\\button1*.*"), (std::vector<std::string>{"Button1_S.tga", "button1.tga"}));
    ASSERT_TRUE(os::ChangeFolder("UI"));
    EXPECT_EQ(Names("*2*.*"), (std::vector<std::string>{"button2_s.tga"}));
    EXPECT_FALSE(os::ChangeFolder("nowhere"));
}

TEST_F(OsFilesTest, ResetClosesOpenSearches)
{
    Write("a.txt");
    Write("b.txt");
    os::FindData data;
    os::FindHandle h = os::FindFirst(m_root + "/*.txt", data);
    ASSERT_NE(h, -1);
    OsTest::TearDown(); // the test reset
    EXPECT_EQ(os::FindNext(h, data), -1);
    OsTest::SetUp();
}
} // namespace
