#include "tools/COrvaneDemoData.h"

#include "framework/COrvaneTagTree.h"
#include "platform/os/OsFiles.h"
#include "tools/COrvaneDemoFrontEnd.h"
#include "tools/COrvaneDemoInterface.h"
#include "tools/COrvaneDemoLauncher.h"
#include "tools/COrvaneDemoScreens.h"
#include "tools/COrvaneDemoInfoPanels.h"
#include "tools/COrvaneDemoPanels.h"
#include "tools/COrvaneDemoLevel.h"
#include "tools/COrvaneDemoModel.h"
#include "tools/COrvaneDemoPrison.h"
#include "tools/COrvaneDemoProps.h"
#include "tools/COrvaneDemoScene.h"
#include "tools/COrvaneDemoEffect.h"
#include "tools/COrvaneDemoShader.h"
#include "tools/COrvaneDemoSign.h"
#include "tools/COrvaneDemoSound.h"
#include "tools/COrvaneDemoSync.h"
#include "tools/COrvaneDemoText.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

namespace
{
using Setting = std::pair<const char*, const char*>;
struct Section
{
    const char* pcName;
    std::vector<Setting> kSettings;
};

// A dark slate blue: clearly not the black of a renderer that never got its
// colour. The three clip distances stand together, in this order: the camera reads
// them only so. "Game_type" names its child that holds the level number.
const std::vector<Section> SETUP = {
    {"Game_Data",
     {{"BGr", "40"},
      {"BGg", "56"},
      {"BGb", "80"},
      {"BGa", "255"},
      {"Current_Language", "0"},
      {"NearClipPlane", "1"},
      {"FarClipPlane", "3000"},
      {"FogClipPlane", "900"},
      {"Game_type", "Normal"}}},
    {"Debug_Data", {{"DebugFile", "debug.txt"}}},
    // Each prison of the location screen has a level of its own.
    {"Level_Data",
     {{"0", DEMO_LEVELS[0].m_pcFile}, {"1", DEMO_LEVELS[1].m_pcFile}, {"2", DEMO_LEVELS[2].m_pcFile}, {"total", "3"}}},
};

// The game types "Game_type" chooses from, each with its level number.
const std::vector<Setting> GAME_TYPES = {{"Normal", "0"}};

// Every switch at the value the game starts with.
const std::vector<Section> DATA = {
    {"DEBUG",
     {{"fulltrace", "0"},
      {"clumpload", "1"},
      {"assetpool", "1"},
      {"streamchecking", "1"},
      {"debugtxtonscreen", "1"},
      {"hasstartupscreen", "1"},
      {"readtxd", "0"},
      {"cameracoords", "0"}}},
};

bool WriteDocument(const std::string& kPath, const std::vector<Section>& kSections)
{
    // A document starts from an empty load: remove what an earlier build left.
    os::RemoveFile(kPath);
    COrvaneTagTree kTree;
    (void)kTree.Load(kPath.c_str());
    for (const Section& kSection : kSections)
    {
        const std::string kTag = std::string("<") + kSection.pcName + ">";
        kTree.SelectSection("root", true);
        kTree.AddChild(kSection.pcName);
        for (const Setting& kSetting : kSection.kSettings)
        {
            const std::string kKey = std::string("<") + kSetting.first + ">";
            if (!kTree.SelectSection(kTag.c_str(), true) || !kTree.AddChild(kSetting.first))
                return false;
            // The newest child is the last one of the section.
            kTree.FindChild(kKey.c_str());
            kTree.AddValue(kSetting.second);
        }
    }
    if (&kSections == &SETUP)
    {
        for (const Setting& kType : GAME_TYPES)
        {
            const std::string kKey = std::string("<") + kType.first + ">";
            if (!kTree.SelectSection("<Game_type>", true) || !kTree.AddChild(kType.first) ||
                !kTree.FindChild(kKey.c_str()))
                return false;
            kTree.AddValue(kType.second);
        }
    }
    if (!kTree.Save(kPath.c_str()))
    {
        std::fprintf(stderr, "demo data: cannot write %s\n", kPath.c_str());
        return false;
    }
    return true;
}

bool WriteAll(const std::string& kFolder)
{
    if (!os::CreateFolderTree(kFolder + "/models"))
    {
        std::fprintf(stderr, "demo data: cannot make the folder %s/models\n", kFolder.c_str());
        return false;
    }
    return WriteDocument(kFolder + "/setup.xml", SETUP) && WriteDocument(kFolder + "/data.xml", DATA) &&
           AddDemoTemplates(kFolder + "/data.xml") && AddDemoPrison(kFolder + "/data.xml") &&
           WriteDemoPrisonModels(kFolder) && WriteDemoModel(kFolder + "/models") &&
           WriteDemoSign(kFolder + "/models") && WriteDemoProps(kFolder) && WriteDemoInterface(kFolder) && WriteDemoPanels(kFolder) &&
           WriteDemoInfoPanels(kFolder) &&
           WriteDemoLevel(kFolder) && WriteDemoSound(kFolder, kFolder + "/data.xml") && demo_scene::Write(kFolder) &&
           WriteDemoTexts(kFolder) && WriteDemoFrontEnd(kFolder) && WriteDemoLauncher(kFolder) && WriteDemoScreens(kFolder) &&
           WriteDemoShader(kFolder + "/models", kFolder) && WriteDemoHlslShader(kFolder + "/models", kFolder) &&
           WriteDemoShaderDescription(kFolder + "/models") &&
           WriteDemoEffect(kFolder + "/models");
}
} // namespace

bool BuildDemoData(const std::string& kFolder)
{
    if (!os::CreateFolderTree(kFolder))
    {
        std::fprintf(stderr, "demo data: cannot make the folder %s\n", kFolder.c_str());
        return false;
    }
    // The whole set is written afresh in a folder of its own and then
    // brought over: files whose bytes are the same keep their times, and
    // the player's settings, scenario states and saves stay as they are.
    std::error_code kError;
    std::string kStaging = (std::filesystem::temp_directory_path(kError) / "orvane-demo-data-XXXXXX").string();
    if (kError || mkdtemp(kStaging.data()) == nullptr)
    {
        std::fprintf(stderr, "demo data: cannot make a folder to write the data in\n");
        return false;
    }
    const bool bOk = WriteAll(kStaging) && SyncDemoFolder(kStaging, kFolder);
    std::filesystem::remove_all(kStaging, kError);
    return bOk;
}
