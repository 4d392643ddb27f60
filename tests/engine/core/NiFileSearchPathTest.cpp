#include "engine/core/NiFileSearchPath.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
std::vector<std::string> All(NiFileSearchPath& kSearch)
{
    std::vector<std::string> kPaths;
    std::string kPath;
    kSearch.Reset();
    while (kSearch.GetNextPath(kPath))
        kPaths.push_back(kPath);
    return kPaths;
}
} // namespace

TEST(NiFileSearchPathTest, TexturePathsAreTriedAsGivenBareAndBelowTheSceneFolder)
{
    NiFileSearchPath kSearch;
    kSearch.SetReferencePath("data\\models\\cell.nif");
    kSearch.SetFilePath("maps\\wall.tga");
    EXPECT_EQ(All(kSearch), (std::vector<std::string>{"maps\\wall.tga", "wall.tga", "data\\models\\maps\\wall.tga",
                                                      "data\\models\\wall.tga"}));
    std::string kPath;
    EXPECT_FALSE(kSearch.GetNextPath(kPath)) << "four, then none";
}

TEST(NiFileSearchPathTest, DrivesAreDroppedFromTheAlternativesAndSeparatorsJoinOnce)
{
    NiFileSearchPath kSearch;
    kSearch.SetReferencePath("C:/game/data/cell.nif");
    kSearch.SetFilePath("D:\\art\\wall.tga");
    EXPECT_EQ(kSearch.GetReferencePath(), "C:/game/data/");
    EXPECT_EQ(All(kSearch), (std::vector<std::string>{"D:\\art\\wall.tga", "wall.tga", "C:/game/data/\\art\\wall.tga",
                                                      "C:/game/data/wall.tga"}));

    NiFileSearchPath kBare;
    kBare.SetReferencePath("cell.nif");
    kBare.SetFilePath("wall");
    EXPECT_EQ(All(kBare), (std::vector<std::string>{"wall", "wall", "wall", "wall"}));

    kBare.SetFilePath(nullptr);
    EXPECT_EQ(kBare.GetFilePath(), "");
    kBare.SetFilePath(std::string(300, 'a').c_str());
    EXPECT_EQ(kBare.GetFilePath().size(), 259u);
}
