#pragma once

// A test that writes demo data into a fresh temporary folder, with the debug
// options reset around it and the working folder put back afterwards (the
// game's loaders change it).

#include "framework/COrvaneDebugOptions.h"
#include "tests/tools/DemoTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace demotest
{
class DemoDataFolderTest : public testing::Test
{
protected:
    void SetUp() override
    {
        COrvaneDebugOptions::ResetInstance();
        m_kFolder = MakeTempFolder("demo");
        ASSERT_FALSE(m_kFolder.empty());
        m_kPrevious = std::filesystem::current_path();
    }

    void TearDown() override
    {
        COrvaneDebugOptions::ResetInstance();
        std::error_code kError;
        std::filesystem::current_path(m_kPrevious, kError);
        RemoveFolder(m_kFolder);
    }

    static std::string Read(const std::filesystem::path& kPath)
    {
        std::ifstream kIn(kPath, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(kIn), std::istreambuf_iterator<char>());
    }

    std::filesystem::path m_kFolder;
    std::filesystem::path m_kPrevious;
};
} // namespace demotest
