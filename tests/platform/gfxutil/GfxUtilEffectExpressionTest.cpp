// The fold of initialiser expressions: each text tokenised here as the
// effect reader tokenises it, folded, and its components compared.

#include "platform/gfxutil/GfxUtilEffectExpression.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <string>
#include <vector>

using gfx::effect::EvaluateExpression;
using gfx::effect::ExpressionToken;

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
        } else if (j < s.size() && std::string_view("<=>=!=&&||").find(s.substr(i, 2)) % 2 == 0 &&
                   std::string_view("<=>=!=&&||").find(s.substr(i, 2)) != std::string_view::npos) {
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
    const auto lookup = [](std::string_view name, std::vector<double>& values) {
        const auto it = kNames.find(std::string(name));
        if (it == kNames.end()) return false;
        values = it->second;
        return true;
    };
    const std::vector<ExpressionToken> tokens = Tokens(text);
    return EvaluateExpression(tokens, lookup, out);
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
