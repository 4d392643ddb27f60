#include "game/shell/CShaderErrorLog.h"

#include "engine/shaders/framework/NiD3DShaderFactory.h"
#include "engine/shaders/framework/NiShaderFactory.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
class CShaderErrorLogTest : public testing::Test
{
protected:
    void SetUp() override
    {
        NiD3DShaderFactory::Destroy();
        CShaderErrorLog::Reset();
    }
    void TearDown() override
    {
        NiD3DShaderFactory::Destroy();
        CShaderErrorLog::Reset();
    }

    static std::size_t Count(const std::string& kIn, const std::string& kWhat)
    {
        std::size_t uiCount = 0;
        for (std::size_t uiAt = kIn.find(kWhat); uiAt != std::string::npos; uiAt = kIn.find(kWhat, uiAt + 1))
            ++uiCount;
        return uiCount;
    }
};
} // namespace

// Each distinct report is printed once with its code, however often it comes.
TEST_F(CShaderErrorLogTest, EachDistinctReportIsPrintedOnce)
{
    EXPECT_FALSE(CShaderErrorLog::Install()); // no factory yet
    NiD3DShaderFactory::Create();
    ASSERT_TRUE(CShaderErrorLog::Install());

    testing::internal::CaptureStderr();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(NiShaderFactory::ReportError(NiShaderFactory::ERROR_GENERAL, true,
                                               "Failed to compile shader %s in file %s\nError: %s\n", "main",
                                               "glow.hlsl", "glow.hlsl(3,5): error: 'x' : undeclared identifier"),
                  0);
    NiShaderFactory::ReportError(NiShaderFactory::ERROR_SHADER_NOT_FOUND, true, "Shader %s not found", "Glass");
    NiShaderFactory::ReportError(NiShaderFactory::ERROR_GENERAL, true, "Failed to find shader program file %s\n",
                                 "none.hlsl");
    const std::string kOut = testing::internal::GetCapturedStderr();
    EXPECT_EQ(Count(kOut, "Failed to compile shader main in file glow.hlsl\nError: glow.hlsl(3,5)"), 1u) << kOut;
    EXPECT_EQ(Count(kOut, "shader error 1: Failed to compile"), 1u) << kOut;
    // A text without its own line end gets one.
    EXPECT_EQ(Count(kOut, "shader error 256: Shader Glass not found\n"), 1u) << kOut;
    EXPECT_EQ(Count(kOut, "Failed to find shader program file none.hlsl\n"), 1u) << kOut;
    EXPECT_EQ(CShaderErrorLog::GetPrintedCount(), 3u);
}
