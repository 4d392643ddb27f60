#pragma once
// Sources that make the HLSL compile work without end or recurse deep, for
// the tests of a compile's bounds.

#include <string>

namespace gfx::test {

// Macros each the sum of two of the one before: A<levels> stands for
// 2^levels terms.
inline std::string DoublingMacros(const std::string& first, bool grouped, int levels) {
    std::string s = "#define A0 " + first + "\n";
    for (int i = 1; i <= levels; ++i) {
        const std::string sum = "A" + std::to_string(i - 1) + "+A" + std::to_string(i - 1);
        s += "#define A" + std::to_string(i) + " " + (grouped ? "(" + sum + ")" : sum) + "\n";
    }
    return s;
}

// Functions each calling the one before twice, the first of `statements`
// lines: the front end inlines every call into the entry point, 2^levels
// copies of the first one's body, its memory growing as long as it runs.
inline std::string DoublingFunctions(int statements, int levels) {
    std::string s = "float4 f0(float4 c) {\n";
    for (int i = 0; i < statements; ++i) s += "    c = c * 1.01 + " + std::to_string(i) + ".5;\n";
    s += "    return c;\n}\n";
    for (int i = 1; i <= levels; ++i)
        s += "float4 f" + std::to_string(i) + "(float4 c) { return f" + std::to_string(i - 1) + "(c) + f" +
             std::to_string(i - 1) + "(c * 0.5); }\n";
    return s + "float4 main(float4 c : COLOR0) : COLOR { return f" + std::to_string(levels) + "(c); }\n";
}

// A pixel program `entry` whose body holds `count` blocks in a row, each an
// `if` or a loop of two runs: a chain of blocks, each the way into the
// next, which a recursive writer walks one call (or more) per block. It
// returns the input's red channel summed over the blocks and divided back,
// so a program that runs every block draws that red again.
inline std::string BlocksInARow(bool loops, int count, const std::string& entry = "main") {
    std::string s = "float4 " + entry + "(float4 c : COLOR0) : COLOR {\n    float x = c.x;\n    float s = 0;\n";
    for (int i = 0; i < count; ++i)
        s += loops ? "    for (int i = 0; i < 2; i++) { s += x; }\n" : "    if (x > 0) s += x;\n";
    return s + "    return float4(s / " + std::to_string(loops ? 2 * count : count) + ".0, 0, 0, 1);\n}\n";
}

} // namespace gfx::test
