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

// A pixel program `entry` of `count` lines of `line`, which works on `s`
// from 0 with the uniform `f` alone: the same work for every pixel, which
// the program still does for each. It gives the input's red, and `s` in
// green (0 where `f` is 0 and `s` stays within 0..1 but for a rounding).
inline std::string UniformChain(const std::string& line, int count, const std::string& entry = "main") {
    std::string s = "float f;\nfloat4 " + entry + "(float4 c : COLOR0) : COLOR {\n    float s = 0;\n";
    for (int i = 0; i < count; ++i) s += "    " + line + "\n";
    return s + "    return float4(c.x, saturate(s) * 0.001, 0, 1);\n}\n";
}

// A pixel program `entry` of `depth` loops of `passes` passes each, the
// n-th (from 0) at line 3 + n, the innermost adding the input's red; it
// gives that red again.
inline std::string NestedLoops(int depth, int passes, const std::string& entry = "main") {
    std::string s = "float4 " + entry + "(float4 c : COLOR0) : COLOR {\n    float s = 0;\n";
    for (int i = 0; i < depth; ++i)
        s += "    for (int i" + std::to_string(i) + " = 0; i" + std::to_string(i) + " < " + std::to_string(passes) +
             "; i" + std::to_string(i) + "++) {\n";
    s += "    s += c.x;\n";
    for (int i = 0; i < depth; ++i) s += "    }\n";
    double runs = 1;
    for (int i = 0; i < depth; ++i) runs *= passes;
    return s + "    return float4(s / " + std::to_string(runs) + ", 0, 0, 1);\n}\n";
}

// A pixel program `entry` with a `switch` of `count` cases on the input's
// red, each giving that red and a green of its own, below 0.001.
inline std::string SwitchOfCases(int count, const std::string& entry = "main") {
    std::string s = "float4 " + entry + "(float4 c : COLOR0) : COLOR {\n    switch ((int)(c.x * 2))\n    {\n";
    for (int i = 0; i < count; ++i)
        s += "    case " + std::to_string(i) + ": return float4(c.x, " + std::to_string(i) + ".0 / " +
             std::to_string(count * 1000) + ".0, 0, 1);\n";
    return s + "    default: return float4(c.x, 0, 0, 1);\n    }\n}\n";
}

// A pixel program `entry` that reads `constants` (declared before it) at
// `read`, a struct's or an array's element, and gives the input's red.
inline std::string ReadsConstants(const std::string& constants, const std::string& read,
                                  const std::string& entry = "main") {
    return constants + "\nfloat4 " + entry + "(float4 colour : COLOR0) : COLOR {\n    return float4(colour.x, (" +
           read + ") * 0.001, 0, 1);\n}\n";
}

// A pixel program `entry` with a `static` array of `count` float4s written,
// then read, in loops of `passes` passes at indices made from the input:
// each access picks its element at run time. It gives the share of its
// reads (from uv.y) that find an element its writes (from uv.x) set: 0
// where the two are apart.
inline std::string PickedInLoops(int count, int passes, const std::string& entry = "main") {
    const std::string n = std::to_string(count), p = std::to_string(passes);
    return "static float4 a[" + n + "];\nfloat4 " + entry + "(float2 uv : TEXCOORD0) : COLOR\n{\n"
           "    for (int i = 0; i < " + n + "; ++i) a[i] = 0;\n"
           "    for (int j = 0; j < " + p + "; ++j) a[(int)(uv.x * " + n + " + j) % " + n + "] = 1;\n"
           "    float4 s = 0;\n"
           "    for (int k = 0; k < " + p + "; ++k) s += a[(int)(uv.y * " + n + " + k) % " + n + "];\n"
           "    return s / " + p + ";\n}\n";
}

} // namespace gfx::test
