// The fold of initialiser expressions: each text tokenised here as the
// effect reader tokenises it, folded, and its components compared.

#include "platform/gfxutil/GfxUtilEffectExpression.h"

#include "tests/platform/gfxutil/HlslTestSupport.h"
#include "tests/support/SanitizedBuild.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <string>
#include <vector>

using gfx::effect::EvaluateExpression;
using gfx::effect::ExpressionKind;
using gfx::effect::ExpressionToken;
using gfx::effect::ExpressionValue;

namespace {

// Words, numbers (with their suffixes) and one- or two-character operators.
std::vector<ExpressionToken> Tokens(const std::string& text) {
    std::vector<ExpressionToken> out;
    const std::string_view s = text;
    for (std::size_t i = 0; i < s.size();) {
        const char c = s[i];
        std::size_t j = i + 1;
        ExpressionToken::Kind kind = ExpressionToken::Kind::Punct;
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
            continue;
        }
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            while (j < s.size() && (std::isalnum(static_cast<unsigned char>(s[j])) || s[j] == '_')) ++j;
            kind = ExpressionToken::Kind::Word;
        } else if (std::isdigit(static_cast<unsigned char>(c))) {
            while (j < s.size() && (std::isalnum(static_cast<unsigned char>(s[j])) || s[j] == '.')) ++j;
            kind = ExpressionToken::Kind::Number;
        } else if (j < s.size() && std::string_view("<=>=!=&&||<<>>==").find(s.substr(i, 2)) % 2 == 0 &&
                   std::string_view("<=>=!=&&||<<>>==").find(s.substr(i, 2)) != std::string_view::npos) {
            j = i + 2;
        }
        out.push_back({kind, s.substr(i, j - i)});
        i = j;
    }
    return out;
}

const std::map<std::string, std::vector<double>> kNames = {
    {"A", {0.2, 0.7, 0.1}}, {"N", {8}}, {"M", {1, 2, 3, 4}}};

bool Fold(const std::string& text, std::vector<double>& out) {
    const auto lookup = [](std::string_view name, ExpressionValue& value) {
        const auto it = kNames.find(std::string(name));
        if (it == kNames.end()) return false;
        value.components = it->second;
        value.kind = name == "N" ? ExpressionKind::Int : ExpressionKind::Float;
        return true;
    };
    const std::vector<ExpressionToken> tokens = Tokens(text);
    ExpressionValue value;
    if (!EvaluateExpression(tokens, lookup, value)) return false;
    out = value.components;
    return true;
}

std::vector<double> Folded(const std::string& text) {
    std::vector<double> out;
    EXPECT_TRUE(Fold(text, out)) << text;
    return out;
}

} // namespace

TEST(GfxUtilEffectExpressionTest, ArithmeticFollowsTheLanguagesPrecedenceAndTypes) {
    EXPECT_EQ(Folded("1 + 2 * 3"), (std::vector<double>{7}));
    EXPECT_EQ(Folded("(1 + 2) * 3"), (std::vector<double>{9}));
    EXPECT_EQ(Folded("-2 * -3 - 1"), (std::vector<double>{5}));
    EXPECT_EQ(Folded("7 / 2"), (std::vector<double>{3}));    // integers divide whole
    EXPECT_EQ(Folded("7 / 2.0"), (std::vector<double>{3.5})); // a float makes it a float division
    EXPECT_EQ(Folded("-7 / 2"), (std::vector<double>{-3}));  // towards zero
    EXPECT_EQ(Folded("7 % 3"), (std::vector<double>{1}));
    EXPECT_EQ(Folded("N / 16.0"), (std::vector<double>{0.5}));
    EXPECT_EQ(Folded("(1, 2)"), (std::vector<double>{2})); // the comma operator
    EXPECT_EQ(Folded("1 < 2 && 3 >= 4 || 5 != 5"), (std::vector<double>{0}));
    EXPECT_EQ(Folded("N > 7 ? 0.5 : 0.25"), (std::vector<double>{0.5}));
    EXPECT_EQ(Folded("!0 + !1"), (std::vector<double>{1}));
    EXPECT_EQ(Folded("0x10 + 1.5f"), (std::vector<double>{17.5}));
}

TEST(GfxUtilEffectExpressionTest, VectorsMeetComponentByComponent) {
    EXPECT_EQ(Folded("float3(1, 2, 3) * 2"), (std::vector<double>{2, 4, 6}));
    EXPECT_EQ(Folded("float2(1, 2) + float3(10, 20, 30)"), (std::vector<double>{11, 22})); // truncated
    EXPECT_EQ(Folded("float4(A, 1)"), (std::vector<double>{0.2, 0.7, 0.1, 1}));
    EXPECT_EQ(Folded("A.zyx"), (std::vector<double>{0.1, 0.7, 0.2}));
    EXPECT_EQ(Folded("M.ra"), (std::vector<double>{1, 4}));
    EXPECT_EQ(Folded("(0.5).xx"), (std::vector<double>{0.5, 0.5}));
    EXPECT_EQ(Folded("M[2]"), (std::vector<double>{3}));
    EXPECT_EQ(Folded("float3(2.0)"), (std::vector<double>{2, 2, 2}));
    EXPECT_EQ(Folded("(float2)3"), (std::vector<double>{3, 3}));
    EXPECT_EQ(Folded("(int3)float3(2.7, -2.7, 0.5)"), (std::vector<double>{2, -2, 0}));
    EXPECT_EQ(Folded("bool2(2, 0)"), (std::vector<double>{1, 0}));
    EXPECT_EQ(Folded("float2x2(1, 2, 3, 4)"), (std::vector<double>{1, 2, 3, 4}));
}

TEST(GfxUtilEffectExpressionTest, PureIntrinsicsFold) {
    EXPECT_EQ(Folded("log2(256 * sqrt(4))"), (std::vector<double>{9}));
    EXPECT_EQ(Folded("lerp(1, 10, 0.5)"), (std::vector<double>{5.5}));
    EXPECT_EQ(Folded("saturate(float2(-1, 2))"), (std::vector<double>{0, 1}));
    EXPECT_EQ(Folded("dot(float3(1, 2, 3), float3(4, 5, 6))"), (std::vector<double>{32}));
    EXPECT_EQ(Folded("length(float2(3, 4))"), (std::vector<double>{5}));
    EXPECT_EQ(Folded("normalize(float3(0, 3, 4))"), (std::vector<double>{0, 0.6, 0.8}));
    EXPECT_EQ(Folded("cross(float3(1, 0, 0), float3(0, 1, 0))"), (std::vector<double>{0, 0, 1}));
    EXPECT_EQ(Folded("max(1, 2) + min(float2(1, 5), 3)"), (std::vector<double>{3, 5}));
    EXPECT_EQ(Folded("clamp(5, 0, 2)"), (std::vector<double>{2}));
    EXPECT_EQ(Folded("step(0.5, float2(0.25, 0.75))"), (std::vector<double>{0, 1}));
    EXPECT_EQ(Folded("frac(2.25) + floor(-1.5)"), (std::vector<double>{-1.75}));
}

TEST(GfxUtilEffectExpressionTest, WhatDoesNotFoldIsRefused) {
    std::vector<double> out{42};
    for (const char* text : {"", "Unknown", "F(1)", "1 +", "float3(1, 2)", "1 / 0", "5 % 0", "A.w", "A.xyzwx",
                             "M[4]", "(1", "1)", "float4(1, 2, 3, 4, 5)", "dot(A)", "cross(A, M)", "1 2",
                             "mul(A, A)", "\"text\"", "A.xg"}) {
        EXPECT_FALSE(Fold(text, out)) << text;
        EXPECT_EQ(out, (std::vector<double>{42})) << text; // the output is left as it was
    }
    // Nesting past the bound is refused, not followed down the stack.
    std::string deep(10000, '(');
    deep += "1" + std::string(10000, ')');
    EXPECT_FALSE(Fold(deep, out));
    std::string fits(20, '(');
    fits += "1" + std::string(20, ')');
    EXPECT_EQ(Folded(fits), (std::vector<double>{1}));
}

namespace {

// The value and kind of `text`, with `kFour` an int (1 << 2), `kMask` an
// unsigned (0xF0), `kHalf` a float and `kOn` a boolean.
bool FoldValue(const std::string& text, ExpressionValue& out, gfx::effect::ExpressionFailure* failure = nullptr) {
    const auto lookup = [](std::string_view name, ExpressionValue& value) {
        if (name == "kFour") value = {{4}, ExpressionKind::Int};
        else if (name == "kMask") value = {{240}, ExpressionKind::Uint};
        else if (name == "kHalf") value = {{0.5}, ExpressionKind::Float};
        else if (name == "kOn") value = {{1}, ExpressionKind::Bool};
        else return false;
        return true;
    };
    const std::vector<ExpressionToken> tokens = Tokens(text);
    return EvaluateExpression(tokens, lookup, out, failure);
}

double One(const std::string& text) {
    ExpressionValue v;
    EXPECT_TRUE(FoldValue(text, v)) << text;
    EXPECT_EQ(v.components.size(), 1u) << text;
    return v.components.empty() ? -12345 : v.components[0];
}

} // namespace

// Every operator of integer constant expressions, worked out by hand, at
// C's precedence and in 32 bits as the program's own arithmetic has it.
TEST(GfxUtilEffectExpressionTest, IntegerOperatorsFoldAsTheProgramComputesThem) {
    const std::pair<const char*, double> cases[] = {
        {"1 << 2", 4},
        {"0x40 >> 3", 8},
        {"-16 >> 2", -4},           // an int shifts in its sign
        {"kMask >> 4", 15},         // an unsigned does not
        {"0xFFFFFFFF >> 28", -1},   // a literal without u is an int
        {"0xFFFFFFFFu >> 28", 15},
        {"1 << 31", -2147483648.0}, // wraps into the sign
        {"1u << 31", 2147483648.0},
        {"1 << 33", 2},             // the count modulo 32
        {"0xF0 & 0x3C", 48},
        {"0xF0 | 0x0F", 255},
        {"0xFF ^ 0x0F", 240},
        {"~5", -6},
        {"~0u", 4294967295.0},
        {"17 % 5", 2},
        {"-17 % 5", -2},            // the dividend's sign
        {"7.5 % 2", 1.5},           // a float's remainder
        {"7 / 2", 3},
        {"7 / 2.0", 3.5},
        {"(float)7 / 2", 3.5},
        {"(int)7.9", 7},
        {"(int)-7.9", -7},
        {"(bool)5 + (bool)0", 1},
        {"(uint)-1", 4294967295.0},
        {"2147483647 + 1", -2147483648.0},
        {"65536 * 65536", 0},       // the product wraps, its low bits kept
        {"65537 * 65537", 131073},
        {"(3 > 4) + (4 <= 4) * 2 + (2 == 2) * 4 + (2 != 2) * 8 + (1 < 2) * 16 + (2 >= 3) * 32", 22},
        {"-1 < 0u", 0},             // the int meets the unsigned as one
        {"1 && 0 || 1", 1},
        {"!3 + !0 * 2", 2},
        {"(1 < 2) / 2", 0},         // a comparison's boolean divides as an integer
        {"2 > 1 ? 10 : 20", 10},
        {"0 ? 1 : 2 ? 3 : 4", 3},
        {"1 << 2 | 1", 5},          // << before |
        {"1 + 2 << 1", 6},          // + before <<
        {"6 & 3 == 3", 0},          // == before &
        {"1 | 2 ^ 3 & 6", 1},       // & before ^ before |
        {"kFour | 1", 5},
        {"kFour / 8", 0},           // a static int divides whole
        {"kHalf * kFour", 2},
        {"kOn + kOn", 2},
        {"010", 8},                 // octal
        {"0x1Fu", 31},
        {"4L + 3u + 2l + 1U", 10},
        {"1.5f + 2.5h + 0.5 + 1e1 + 2.L", 16.5},
        {"1f / 2 + 2h", 2.5},       // a whole number with a float's suffix is a float
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(One(text), expected) << text;

    ExpressionValue v;
    ASSERT_TRUE(FoldValue("1 << 2", v));
    EXPECT_EQ(v.kind, ExpressionKind::Int);
    ASSERT_TRUE(FoldValue("kMask | 1", v));
    EXPECT_EQ(v.kind, ExpressionKind::Uint);
    ASSERT_TRUE(FoldValue("1 < 2", v));
    EXPECT_EQ(v.kind, ExpressionKind::Bool);
    ASSERT_TRUE(FoldValue("int2(1, 2) << 1", v));
    EXPECT_EQ(v.components, (std::vector<double>{2, 4}));
    ASSERT_TRUE(FoldValue("int3(7, 8, 9) & 3", v));
    EXPECT_EQ(v.components, (std::vector<double>{3, 0, 1}));
}

// What the language refuses is refused with its reason, at its token; a
// name the evaluator does not know is no refusal of the language's.
TEST(GfxUtilEffectExpressionTest, IntegerFormsTheLanguageRefusesSayWhy) {
    const std::pair<const char*, const char*> refused[] = {
        {"1.5 << 2", "'<<' takes integer operands"}, {"1 >> 0.5", "'>>' takes integer operands"},
        {"kHalf | 1", "'|' takes integer operands"}, {"2.0 & 1", "'&' takes integer operands"},
        {"1 ^ 1.0", "'^' takes integer operands"},   {"~1.5", "'~' takes an integer operand"},
        {"1 / 0", "division by zero"},                {"kFour % (2 - 2)", "division by zero"},
        {"09", "bad number '09'"},                    {"1fu", "bad number '1fu'"},
        {"0x", "bad number '0x'"},                    {"0x100000000", "bad number '0x100000000'"},
        {"1.5u", "bad number '1.5u'"},                {"12abc", "bad number '12abc'"},
    };
    for (const auto& [text, why] : refused) {
        gfx::effect::ExpressionFailure failure;
        ExpressionValue v;
        EXPECT_FALSE(FoldValue(text, v, &failure)) << text;
        EXPECT_EQ(failure.why, why) << text;
        EXPECT_TRUE(failure.refused) << text;
    }
    gfx::effect::ExpressionFailure failure;
    ExpressionValue v;
    EXPECT_FALSE(FoldValue("1 + Unknown", v, &failure));
    EXPECT_FALSE(failure.refused);
    EXPECT_EQ(failure.token, 2u);
    // Each way of nesting is bounded: brackets, unary operators, branches.
    for (const std::string& deep : {std::string(200, '(') + "1" + std::string(200, ')'), std::string(200, '~') + "1",
                                    std::string(200, '-') + "1"}) {
        EXPECT_FALSE(FoldValue(deep, v, &failure));
        EXPECT_EQ(failure.why, "expression nested too deeply");
    }
    std::string branches;
    for (int i = 0; i < 200; ++i) branches += "1 ? ";
    branches += "1";
    for (int i = 0; i < 200; ++i) branches += " : 0";
    EXPECT_FALSE(FoldValue(branches, v, &failure));
    EXPECT_EQ(failure.why, "expression nested too deeply");
    EXPECT_EQ(One(std::string(60, '~') + "5"), 5);
}

// The deepest expression the bound lets through, of every way of nesting at
// once, folds on a loading thread's small stack.
TEST(GfxUtilEffectExpressionTest, TheDeepestExpressionFoldsOnASmallStack) {
    std::string deep;
    for (int i = 0; i < 15; ++i) deep += "(1 ? -("; // four levels each
    deep += "int2(1, 2).y";
    for (int i = 0; i < 15; ++i) deep += ") : 0)";
    bool folded = false;
    double value = 0;
    // The sanitizers' frames are many times an optimised build's.
    gfx::test::OnASmallStack(ORVANE_SANITIZED_BUILD ? 4096 * 1024 : 256 * 1024, [&] {
        ExpressionValue v;
        folded = FoldValue(deep, v) && v.components.size() == 1;
        if (folded) value = v.components[0];
    });
    EXPECT_TRUE(folded);
    EXPECT_EQ(value, -2); // an odd number of negations
}
