// The game program itself, started as the user starts it: a start that fails
// says why on standard error and ends with exit status 1; a game closed
// normally ends with status 0 (in the sanitizer build: no leak of ours).

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

namespace
{
struct Outcome
{
    bool bExited = false; // false: still running after the time allowed, then killed
    int iStatus = -1;
    std::string kErrors;
};

// The environment with the changes given (a null value removes the variable).
std::vector<std::string> ChangedEnvironment(std::initializer_list<std::pair<const char*, const char*>> kChanges)
{
    std::vector<std::string> kEnvironment;
    for (char** ppcVar = environ; *ppcVar != nullptr; ++ppcVar)
    {
        const std::string kVar(*ppcVar);
        bool bChanged = false;
        for (const auto& [pcName, pcValue] : kChanges)
            bChanged |= kVar.rfind(std::string(pcName) + "=", 0) == 0;
        if (!bChanged)
            kEnvironment.push_back(kVar);
    }
    for (const auto& [pcName, pcValue] : kChanges)
        if (pcValue != nullptr)
            kEnvironment.push_back(std::string(pcName) + "=" + pcValue);
    return kEnvironment;
}

// Starts the game in the folder, its standard error going to a file; -1 when
// it could not be started.
pid_t SpawnGame(std::vector<std::string> kEnvironment, const std::filesystem::path& kFolder,
                const std::filesystem::path& kErrorFile)
{
    std::vector<char*> kEnvp;
    for (std::string& kVar : kEnvironment)
        kEnvp.push_back(kVar.data());
    kEnvp.push_back(nullptr);
    posix_spawn_file_actions_t kActions;
    posix_spawn_file_actions_init(&kActions);
    posix_spawn_file_actions_addopen(&kActions, 2, kErrorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&kActions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addchdir_np(&kActions, kFolder.c_str());
    std::string kProgram = ORVANE_GAME_PROGRAM;
    char* apcArgs[] = {kProgram.data(), nullptr};
    // A test runner started as a background job ignores SIGINT, and an ignored
    // signal stays ignored across exec: the game would never see the close.
    // Start it as a terminal would, with the default actions.
    posix_spawnattr_t kAttributes;
    posix_spawnattr_init(&kAttributes);
    sigset_t kDefaults;
    sigemptyset(&kDefaults);
    sigaddset(&kDefaults, SIGINT);
    sigaddset(&kDefaults, SIGTERM);
    sigaddset(&kDefaults, SIGXFSZ);
    posix_spawnattr_setsigdefault(&kAttributes, &kDefaults);
    posix_spawnattr_setflags(&kAttributes, POSIX_SPAWN_SETSIGDEF);
    pid_t iChild = -1;
    const int iSpawned = posix_spawn(&iChild, kProgram.c_str(), &kActions, &kAttributes, apcArgs, kEnvp.data());
    posix_spawnattr_destroy(&kAttributes);
    posix_spawn_file_actions_destroy(&kActions);
    EXPECT_EQ(iSpawned, 0) << std::strerror(iSpawned);
    return iSpawned == 0 ? iChild : -1;
}

// Waits for the game to end, at most 60 s, then kills it; the outcome with
// what it wrote on standard error.
Outcome WaitForGame(pid_t iChild, const std::filesystem::path& kErrorFile)
{
    Outcome kOutcome;
    if (iChild > 0)
    {
        const auto kDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        int iWait = 0;
        while (waitpid(iChild, &iWait, WNOHANG) == 0)
        {
            if (std::chrono::steady_clock::now() > kDeadline)
            {
                kill(iChild, SIGKILL);
                waitpid(iChild, &iWait, 0);
                iWait = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        kOutcome.bExited = iWait != -1 && WIFEXITED(iWait);
        kOutcome.iStatus = kOutcome.bExited ? WEXITSTATUS(iWait) : -1;
    }
    std::ifstream kIn(kErrorFile);
    kOutcome.kErrors.assign(std::istreambuf_iterator<char>(kIn), std::istreambuf_iterator<char>());
    return kOutcome;
}

std::filesystem::path TestFolder()
{
    return std::filesystem::temp_directory_path() / ("orvane-main-test-" + std::to_string(getpid()));
}

// Runs the game in an empty folder with the environment changed as given.
Outcome RunGame(std::initializer_list<std::pair<const char*, const char*>> kChanges)
{
    const std::filesystem::path kFolder = TestFolder();
    std::filesystem::create_directories(kFolder);
    const std::filesystem::path kErrorFile = kFolder / "stderr.txt";
    const Outcome kOutcome = WaitForGame(SpawnGame(ChangedEnvironment(kChanges), kFolder, kErrorFile), kErrorFile);
    std::filesystem::remove_all(kFolder);
    return kOutcome;
}

// True once the process catches SIGINT: SDL's quit handler is in place, so
// an interrupt from then on becomes a quit message, never a kill.
bool CatchesInterrupt(pid_t iPid)
{
    std::ifstream kStatus("/proc/" + std::to_string(iPid) + "/status");
    std::string kLine;
    while (std::getline(kStatus, kLine))
    {
        if (kLine.rfind("SigCgt:", 0) == 0)
            return ((std::stoull(kLine.substr(7), nullptr, 16) >> (SIGINT - 1)) & 1u) != 0;
    }
    return false;
}

TEST(OrvaneMainTest, AVideoDriverThatDoesNotExistEndsWithStatusOne)
{
    const Outcome kRun = RunGame({{"SDL_VIDEODRIVER", "bogus"}});
    ASSERT_TRUE(kRun.bExited) << kRun.kErrors;
    EXPECT_EQ(kRun.iStatus, 1);
    EXPECT_NE(kRun.kErrors.find("bogus not available"), std::string::npos) << kRun.kErrors;
}

TEST(OrvaneMainTest, WithoutADisplayTheGameSaysSoAndEndsWithStatusOne)
{
    const Outcome kRun = RunGame({{"SDL_VIDEODRIVER", nullptr}, {"DISPLAY", nullptr}, {"WAYLAND_DISPLAY", nullptr}});
    ASSERT_TRUE(kRun.bExited) << "the game ran on without a display\n" << kRun.kErrors;
    EXPECT_EQ(kRun.iStatus, 1);
    EXPECT_NE(kRun.kErrors.find("no display available (set DISPLAY or WAYLAND_DISPLAY)"), std::string::npos)
        << kRun.kErrors;
}

// A driver without OpenGL: the renderer cannot be made, and the game does not
// go on with a device that shows nothing.
TEST(OrvaneMainTest, NoOpenGlEndsWithStatusOneAndTheDriversReason)
{
    const Outcome kRun = RunGame({{"SDL_VIDEODRIVER", "dummy"}, {"ORVANE_GFX_BACKEND", nullptr}});
    ASSERT_TRUE(kRun.bExited) << "the game ran on without OpenGL\n" << kRun.kErrors;
    EXPECT_EQ(kRun.iStatus, 1);
    EXPECT_NE(kRun.kErrors.find("Direct3D renderer creation error: Creation failed: Could not initialize DirectX9 "
                                "(gfx gl: the video driver \"dummy\" offers no OpenGL: "),
              std::string::npos)
        << kRun.kErrors;
}
// Closed as a user closes it (an interrupt becomes the quit message), on GL
// through the offscreen driver in a copy of the demo data: status 0. In the
// sanitizer build the GL driver's and SDL's own leftovers are not ours, a
// leak of ours would end it with status 1.
// Whether the process ignores the signal (its status's SigIgn mask).
bool IgnoresSignal(pid_t iPid, int iSignal)
{
    std::ifstream kStatus("/proc/" + std::to_string(iPid) + "/status");
    std::string kLine;
    while (std::getline(kStatus, kLine))
    {
        if (kLine.rfind("SigIgn:", 0) == 0)
            return ((std::stoull(kLine.substr(7), nullptr, 16) >> (iSignal - 1)) & 1u) != 0;
    }
    return false;
}

TEST(OrvaneMainTest, AGameClosedNormallyEndsWithStatusZero)
{
    const std::filesystem::path kFolder = TestFolder();
    std::filesystem::remove_all(kFolder);
    std::filesystem::copy(ORVANE_DEMO_DATA, kFolder, std::filesystem::copy_options::recursive);
    const std::filesystem::path kErrorFile = kFolder / "stderr.txt";
    const pid_t iChild =
        SpawnGame(ChangedEnvironment({{"SDL_VIDEODRIVER", "offscreen"}, {"ORVANE_GFX_BACKEND", nullptr}}), kFolder,
                  kErrorFile);
    ASSERT_GT(iChild, 0);
    const auto kDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int iWait = 0;
    bool bEnded = false;
    while (!bEnded && !CatchesInterrupt(iChild) && std::chrono::steady_clock::now() < kDeadline)
    {
        bEnded = waitpid(iChild, &iWait, WNOHANG) == iChild;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (bEnded)
    {
        std::ifstream kIn(kErrorFile);
        FAIL() << "the game ended before it could be closed\n" << std::string(std::istreambuf_iterator<char>(kIn), {});
    }
    // Started with the default action, the game ignores the file-size
    // signal once it has started: a save past the limit fails instead of
    // ending it.
    while (!IgnoresSignal(iChild, SIGXFSZ) && std::chrono::steady_clock::now() < kDeadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(IgnoresSignal(iChild, SIGXFSZ));
    EXPECT_EQ(kill(iChild, SIGINT), 0);
    const Outcome kRun = WaitForGame(iChild, kErrorFile);
    std::filesystem::remove_all(kFolder);
    ASSERT_TRUE(kRun.bExited) << "the game did not close\n" << kRun.kErrors;
    EXPECT_EQ(kRun.iStatus, 0) << kRun.kErrors;
}
} // namespace

// The demo data without its cursor image: the game says which file is
// missing where, and ends with status 1 instead of running without a cursor.
TEST(OrvaneMainTest, AMissingCursorImageEndsWithStatusOneAndNamesTheFile)
{
    const std::filesystem::path kFolder = TestFolder();
    std::filesystem::remove_all(kFolder);
    std::filesystem::copy(ORVANE_DEMO_DATA, kFolder, std::filesystem::copy_options::recursive);
    std::filesystem::remove(kFolder / "cursor.tga");
    const std::filesystem::path kErrorFile = kFolder / "stderr.txt";
    const Outcome kRun = WaitForGame(
        SpawnGame(ChangedEnvironment({{"SDL_VIDEODRIVER", "offscreen"}, {"ORVANE_GFX_BACKEND", nullptr}}), kFolder,
                  kErrorFile),
        kErrorFile);
    const std::string kFolderText = std::filesystem::canonical(kFolder).string();
    std::filesystem::remove_all(kFolder);
    ASSERT_TRUE(kRun.bExited) << kRun.kErrors;
    EXPECT_EQ(kRun.iStatus, 1);
    EXPECT_NE(kRun.kErrors.find("Cannot start: the cursor image \"cursor.tga\" is missing or unreadable in " +
                                kFolderText + "."),
              std::string::npos)
        << kRun.kErrors;
}
