#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

// Every process-wide state of the framework and the layers below it, back
// to a fresh start.
void ResetFrameworkState();

// Base fixture: a fresh state and a new empty temporary folder as the
// current folder (the game reads its files from there).
class FrameworkTest : public testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    [[nodiscard]] const std::filesystem::path& Folder() const { return m_kFolder; }

private:
    std::filesystem::path m_kFolder;
    std::filesystem::path m_kPrevious;
};

// A framework test whose engine libraries are up, so scene and animation
// files load and save.
class EngineFrameworkTest : public FrameworkTest
{
protected:
    void SetUp() override;
    void TearDown() override;
};

// Whole-file helpers, bytes as they are.
void WriteFileBytes(const std::filesystem::path& kPath, const std::string& kBytes);
[[nodiscard]] std::string ReadFileBytes(const std::filesystem::path& kPath);

// A settings file with the four colour channels in order.
void WriteSetupFile(int iRed, int iGreen, int iBlue, int iAlpha);
