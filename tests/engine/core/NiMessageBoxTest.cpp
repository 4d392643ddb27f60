#include "engine/core/NiMessageBox.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
std::string s_kLast;
int Record(const char* pcText, const char* pcCaption)
{
    s_kLast = std::string(pcCaption) + ": " + pcText;
    return 7;
}

class NiMessageBoxTest : public ::testing::Test
{
protected:
    void SetUp() override { NiResetMessageBoxFunction(); }
    void TearDown() override { NiResetMessageBoxFunction(); }
};
} // namespace

TEST_F(NiMessageBoxTest, HookIsCalledReplacedAndSkippedWhenNull)
{
    EXPECT_NE(NiGetMessageBoxFunction(), nullptr) << "a default exists";
    NiSetMessageBoxFunction(Record);
    EXPECT_EQ(NiMessageBox("Error loading file - a.nif", "Error"), 7);
    EXPECT_EQ(s_kLast, "Error: Error loading file - a.nif");
    NiSetMessageBoxFunction(nullptr);
    EXPECT_EQ(NiMessageBox("ignored", "Error"), 0);
}
