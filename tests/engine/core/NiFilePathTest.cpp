#include "engine/core/NiFilePath.h"

#include <gtest/gtest.h>

#include <string>

TEST(NiFilePath, SplitsOnEitherSlashAndJoinsAgain)
{
    NiFilePath kPath("C:data\\maps/wall.brick.TGA");
    EXPECT_EQ(kPath.GetDrive(), "C:");
    EXPECT_EQ(kPath.GetDir(), "data\\maps/");
    EXPECT_EQ(kPath.GetFname(), "wall.brick");
    EXPECT_EQ(kPath.GetExt(), ".TGA");
    EXPECT_EQ(kPath.GetFullPath(), "C:data\\maps/wall.brick.TGA");
    kPath.SetPlatformSubDir("dx9");
    EXPECT_EQ(kPath.GetFullPath(), "C:data\\maps/dx9\\wall.brick.TGA");

    const NiFilePath kBare("noextension");
    EXPECT_EQ(kBare.GetExt(), "");
    EXPECT_EQ(kBare.GetFname(), "noextension");
    const NiFilePath kDotDir("dir.d/name");
    EXPECT_EQ(kDotDir.GetExt(), "");
    // Longer than any fixed buffer would have held.
    const std::string kLong = std::string(600, 'a') + "/" + std::string(400, 'b') + ".dds";
    EXPECT_EQ(NiFilePath(kLong.c_str()).GetFullPath(), kLong);
}
