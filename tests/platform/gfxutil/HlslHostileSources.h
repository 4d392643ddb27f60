#pragma once
// Sources that make the HLSL front end work without end, for the tests of a
// compile's bounds.

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

} // namespace gfx::test
