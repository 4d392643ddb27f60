// The game program itself, started as the user starts it: a start that fails
// says why on standard error and ends with exit status 1.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
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

// Runs the game in an empty folder with the environment changed as given
// (a null value removes the variable); gives it at most 60 s.
Outcome RunGame(std::initializer_list<std::pair<const char*, const char*>> kChanges)
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
    std::vector<char*> kEnvp;
    for (std::string& kVar : kEnvironment)
        kEnvp.push_back(kVar.data());
    kEnvp.push_back(nullptr);

    const std::filesystem::path kFolder =
        std::filesystem::temp_directory_path() / ("orvane-main-test-" + std::to_string(getpid()));
    std::filesystem::create_directories(kFolder);
    const std::filesystem::path kErrorFile = kFolder / "stderr.txt";

    posix_spawn_file_actions_t kActions;
    posix_spawn_file_actions_init(&kActions);
    posix_spawn_file_actions_addopen(&kActions, 2, kErrorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&kActions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addchdir_np(&kActions, kFolder.c_str());
    std::string kProgram = ORVANE_GAME_PROGRAM;
    char* apcArgs[] = {kProgram.data(), nullptr};
    pid_t iChild = -1;
    Outcome kOutcome;
    const int iSpawned = posix_spawn(&iChild, kProgram.c_str(), &kActions, nullptr, apcArgs, kEnvp.data());
    posix_spawn_file_actions_destroy(&kActions);
    EXPECT_EQ(iSpawned, 0) << std::strerror(iSpawned);
    if (iSpawned == 0)
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
    std::filesystem::remove_all(kFolder);
    return kOutcome;
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
} // namespace
