// Long switches of the GLSL SPIRV-Cross writes, rewritten as trees of
// comparisons: which are rewritten, which keep their form, and text cut
// anywhere read without harm. What the rewritten programs draw is checked in
// GfxUtilHlslValuesTest.

#include "platform/gfxutil/hlsl/GfxUtilHlslSwitches.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

using gfx::hlsl::kMaxSwitchLabels;
using gfx::hlsl::SplitLargeSwitches;

namespace {

// A switch as SPIRV-Cross writes one: `labels` cases, each its own block
// ending in a break, `inner` in the first case's block, a default last.
std::string Switch(std::size_t labels, const std::string& selector = "k", const std::string& inner = {}) {
    std::string s = "switch (" + selector + ")\n{\n";
    for (std::size_t i = 0; i < labels; ++i)
        s += "    case " + std::to_string(int(i) - 3) + ":\n    {\n        r = " + std::to_string(i) + ".0;\n" +
             (i == 0 ? inner : std::string()) + "        break;\n    }\n";
    return s + "    default:\n    {\n        r = -1.0;\n        break;\n    }\n}\n";
}

std::string Program(const std::string& body) {
    return "#version 330\nuniform int k;\nout vec4 o;\nvoid main()\n{\n    float r = 0.5;\n" + body +
           "    o = vec4(r);\n}\n";
}

std::size_t Count(const std::string& s, const std::string& word) {
    std::size_t n = 0;
    for (std::size_t at = s.find(word); at != std::string::npos; at = s.find(word, at + 1)) ++n;
    return n;
}

} // namespace

TEST(GfxUtilHlslSwitches, OnlySwitchesPastTheLabelBoundAreRewritten) {
    const std::string within = Program(Switch(kMaxSwitchLabels));
    std::string glsl = within;
    EXPECT_EQ(SplitLargeSwitches(glsl), 0u);
    EXPECT_EQ(glsl, within);

    glsl = Program(Switch(kMaxSwitchLabels + 1));
    EXPECT_EQ(SplitLargeSwitches(glsl), 1u);
    EXPECT_EQ(Count(glsl, "case "), 0u) << glsl;
    EXPECT_EQ(Count(glsl, "switch (0)"), 1u) << glsl;
    // Each case's statements once, the default's with them.
    for (std::size_t i = 0; i <= kMaxSwitchLabels; ++i) EXPECT_EQ(Count(glsl, "r = " + std::to_string(i) + ".0;"), 1u) << i;
    EXPECT_EQ(Count(glsl, "r = -1.0;"), 1u);
    // Labels compared as their 32 bits: -3 is 0xFFFFFFFD.
    EXPECT_NE(glsl.find("== 4294967293u"), std::string::npos) << glsl;
}

TEST(GfxUtilHlslSwitches, ALongSwitchInALongSwitchIsRewrittenToo) {
    std::string glsl = Program(Switch(40, "k", Switch(30, "k + 1")));
    EXPECT_EQ(SplitLargeSwitches(glsl), 2u);
    EXPECT_EQ(Count(glsl, "case "), 0u) << glsl;
    EXPECT_NE(glsl.find("uint(k + 1)"), std::string::npos) << glsl;
    // Their names stay apart.
    EXPECT_NE(glsl.find("orvCase0"), std::string::npos);
    EXPECT_NE(glsl.find("orvCase1"), std::string::npos);
}

TEST(GfxUtilHlslSwitches, ACaseThatMayFallThroughTakesTheNextOnesStatements) {
    // The first case ends in a conditional break: the second's statements
    // follow it in its branch of the tree.
    std::string body = Switch(kMaxSwitchLabels + 1);
    const std::string first = "        r = 0.0;\n        break;\n";
    body.replace(body.find(first), first.size(), "        r = 0.0;\n        if (r > 1.0)\n        {\n            break;\n        }\n");
    std::string glsl = Program(body);
    EXPECT_EQ(SplitLargeSwitches(glsl), 1u);
    EXPECT_EQ(Count(glsl, "r = 1.0;"), 2u) << glsl;
    EXPECT_EQ(Count(glsl, "r = 2.0;"), 1u) << glsl;
}

TEST(GfxUtilHlslSwitches, FormsSpirvCrossDoesNotWriteKeepTheirForm) {
    const std::string base = Switch(kMaxSwitchLabels + 4);
    const struct {
        const char* what;
        std::string from, to;
    } kForms[] = {
        {"a label that is no literal", "case 0:", "case K:"},
        {"a label past 32 bits", "case 0:", "case 4294967296:"},
        {"a label given twice", "case 0:", "case 1:"},
        {"a second default", "case 0:", "default:"},
        {"statements outside a block", "case 0:\n    {\n        r = 3.0;\n        break;\n    }",
         "case 0:\n        r = 3.0;\n        break;"},
        {"a closing brace too many", "case 0:\n    {", "case 0:\n    }"},
    };
    for (const auto& f : kForms) {
        SCOPED_TRACE(f.what);
        std::string body = base;
        ASSERT_NE(body.find(f.from), std::string::npos);
        body.replace(body.find(f.from), f.from.size(), f.to);
        const std::string before = Program(body);
        std::string glsl = before;
        EXPECT_EQ(SplitLargeSwitches(glsl), 0u);
        EXPECT_EQ(glsl, before);
    }
}

TEST(GfxUtilHlslSwitches, TextCutAnywhereIsReadWithoutHarm) {
    const std::string whole = Program(Switch(kMaxSwitchLabels + 2, "k", Switch(kMaxSwitchLabels + 1)));
    const std::size_t end = whole.rfind("}\n    o = vec4") + 1;
    for (std::size_t n = 0; n <= whole.size(); ++n) {
        SCOPED_TRACE(n);
        std::string glsl = whole.substr(0, n);
        const std::size_t rewritten = SplitLargeSwitches(glsl);
        // The outer switch only once its closing brace is in; the inner
        // one, once its own is.
        if (n >= end) EXPECT_EQ(rewritten, 2u);
        else EXPECT_LE(rewritten, 1u);
    }
}
