// A program past its profile's limits (temporary and constant registers,
// instruction slots, flow-control nesting) is refused at compile with the
// reason at its line: the GLSL made of it would hold the driver for tens of
// seconds at creation or at the first draw. Its neighbour just within each
// limit compiles, and is made and drawn on gl, with the driver's on-disk
// shader cache off, within a bound set by a small program drawn in the
// same run.
#include "platform/gfxutil/GfxUtilEffect.h"
#include "platform/gfxutil/GfxUtilShader.h"
#include "tests/platform/gfxutil/HlslDrawPrograms.h"
#include "tests/platform/gfxutil/HlslHostileSources.h"
#include "tests/platform/gfxutil/HlslTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

using namespace gfx;
using gfx::test::CompileOutcome;
using gfx::test::Finish;
using gfx::test::NestedLoops;
using gfx::test::PickedInLoops;
using gfx::test::ReadsConstants;
using gfx::test::SwitchOfCases;
using gfx::test::UniformChain;

namespace {

CompileOutcome CompileText(const std::string& source, const char* profile) {
    ID3DXBuffer* code = nullptr;
    ID3DXBuffer* errors = nullptr;
    const HRESULT hr = D3DXCompileShader(source.data(), std::uint32_t(source.size()), "main", profile, 0, &code,
                                         &errors, nullptr);
    return Finish(hr, code, errors);
}

std::string Repeat(const std::string& text, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) out += text;
    return out;
}

// `count` float4s of a `static` array written in a loop, read at an index
// made from the input. Each element i holds i / count.
std::string StaticArray(int count) {
    const std::string n = std::to_string(count);
    return "static float4 a[" + n + "];\nfloat4 main(float2 uv : TEXCOORD0) : COLOR\n{\n"
           "    for (int i = 0; i < " + n + "; ++i) a[i] = i / " + n + ".0;\n"
           "    return a[(int)(uv.x * " + n + " + 0.5)];\n}\n";
}

// `arrays` local arrays of eight float4s, each read at the uniform `k`;
// element i of each is u * (i + 1), so with k 0 the program gives u.
std::string LocalArrays(int arrays) {
    std::string s = "int k;\nfloat4 main(float2 uv : TEXCOORD0) : COLOR\n{\n    float4 s = 0;\n";
    for (int j = 0; j < arrays; ++j) {
        const std::string a = "a" + std::to_string(j), i = "i" + std::to_string(j);
        s += "    float4 " + a + "[8];\n    for (int " + i + " = 0; " + i + " < 8; ++" + i + ") " + a + "[" + i +
             "] = uv.x * (" + i + " + 1);\n    s += " + a + "[k];\n";
    }
    return s + "    return s / " + std::to_string(arrays) + ";\n}\n";
}

// A `static const` table of `count` literals (element i is i / count) read
// at an index made from the input, beside `uniforms` float4 constants read.
std::string ConstTable(int count, int uniforms = 0) {
    std::string s = uniforms ? "float4 u[" + std::to_string(uniforms) + "];\nint k;\n" : "";
    s += "static const float t[" + std::to_string(count) + "] = {";
    for (int i = 0; i < count; ++i) s += (i ? ", " : " ") + std::to_string(double(i) / count);
    s += " };\nfloat4 main(float2 uv : TEXCOORD0) : COLOR\n{\n    return t[(int)(uv.x * " + std::to_string(count) +
         " + 0.5)]" + (uniforms ? " + u[k] * uv.y" : "") + ";\n}\n";
    return s;
}

// An else-if chain of `count` arms each returning its own value (i / count),
// as fixed-function emulators pick a stage's operation.
std::string ElseIfChain(int count) {
    std::string s = "float4 main(float2 uv : TEXCOORD0) : COLOR\n{\n    int k = (int)(uv.x * " +
                    std::to_string(count) + " + 0.5);\n";
    for (int i = 0; i < count; ++i)
        s += std::string(i ? "    else if" : "    if") + " (k == " + std::to_string(i) + ") return " +
             std::to_string(double(i) / count) + ";\n";
    return s + "    else return 1;\n}\n";
}

// A `switch` of `count` cases each returning its own value (i / count).
std::string Cases(int count) {
    std::string s = "float4 main(float2 uv : TEXCOORD0) : COLOR\n{\n    switch ((int)(uv.x * " +
                    std::to_string(count) + " + 0.5))\n    {\n";
    for (int i = 0; i < count; ++i)
        s += "    case " + std::to_string(i) + ": return " + std::to_string(double(i) / count) + ";\n";
    return s + "    default: return 1;\n    }\n}\n";
}

// `depth` `switch`es, each in a case of the one before, the n-th at line
// 4 + n; 1 right of the middle, 0 left of it.
std::string NestedSwitches(int depth) {
    std::string s = "float4 main(float2 uv : TEXCOORD0) : COLOR\n{\n    float r = 0;\n    int k = (int)(uv.x * 2);\n";
    s += Repeat("    switch (k) { case 1: r += 1;\n", depth);
    s += Repeat("    }\n", depth);
    return s + "    return r / " + std::to_string(depth) + ";\n}\n";
}

// `depth` `if`s, each in the one before and each kept a branch (`[branch]`;
// without it the compiler may flatten them into selects), the n-th at line
// 3 + n; 1 right of a quarter of the width.
std::string NestedIfs(int depth, bool branch = true) {
    std::string s = "float4 main(float2 uv : TEXCOORD0) : COLOR\n{\n    float r = 0;\n";
    for (int i = 0; i < depth; ++i)
        s += std::string("    ") + (branch ? "[branch] " : "") + "if (uv.x > " + std::to_string(0.25 * i / depth) +
             ") { r += 1;\n";
    s += Repeat("    }\n", depth);
    return s + "    return r / " + std::to_string(depth) + ";\n}\n";
}

// `count` lines adding any() and all() of the input.
std::string AnyAll(int count) {
    return "float4 main(float4 f : TEXCOORD0) : COLOR\n{\n    float s = 0;\n" +
           Repeat("    s += any(f) + all(f);\n", count) + "    return s / " + std::to_string(2 * count) + ";\n}\n";
}

// Three texture lookups in each of 12 passes of a loop, all of them made
// from the pass where `varying`, else only the first: the others do not
// change in the loop, and are looked up once before it.
std::string LookupsInALoop(const std::string& entry, bool varying) {
    const std::string moved = varying ? "uv + i * 0.01" : "uv";
    return "sampler s0; sampler s1; sampler s2; float4 " + entry + "(float2 uv : TEXCOORD0) : COLOR {\n"
           "    float4 c = 0;\n    for (int i = 0; i < 12; i++)\n"
           "        c += tex2D(s0, uv + i * 0.01) * tex2D(s1, " + moved + ") + tex2D(s2, " + moved + ");\n"
           "    return c / 12;\n}\n";
}

// 448 lookups of one texture at coordinates a step apart, summed and
// averaged: past shader model 2's slots and 3's 512, within the 32768 the
// device's caps give shader model 3.
std::string TextureReads448() {
    std::string s = "sampler2D img;\n#define T(k) s += tex2D(img, uv + (k) * 0.001).x;\n"
                    "#define T4(k) T(k) T(k + 1) T(k + 2) T(k + 3)\n"
                    "#define T16(k) T4(k) T4(k + 4) T4(k + 8) T4(k + 12)\n"
                    "float4 main(float2 uv : TEXCOORD0) : COLOR\n{\n    float s = 0;\n";
    for (int k = 0; k < 28; ++k) s += "    T16(" + std::to_string(16 * k) + ")\n";
    return s + "    return s / 448;\n}\n";
}

// Float constants past the registers of each profile, and the line of
// the declaration that passes them.
struct ConstantsCase {
    const char* what;
    const char* profile;
    std::string source;
    std::string reason;
};

std::vector<ConstantsCase> ConstantsPastTheRegisters(const std::string& entry) {
    std::string fields = "struct P {";
    for (int i = 0; i < 300; ++i) fields += " float v" + std::to_string(i) + ";";
    fields += " };\nP p;";
    return {
        {"a thousand float4s read at the last", "ps_3_0", ReadsConstants("float4 c[1000];", "c[999].x", entry),
         "the constant 'c' takes float constant registers up to c999; the profile has 224 float constant "
         "registers (ps_3_0)"},
        {"a struct of arrays of structs of 1056 registers", "ps_3_0",
         "struct In { float4 v[32]; float4 w; };\n" + ReadsConstants("struct S { In n[32]; }; S s;", "s.n[31].w.x", entry),
         "the constant 's' takes float constant registers up to c1055"},
        {"a struct of 300 floats read at both ends", "ps_3_0", ReadsConstants(fields, "p.v0 + p.v299", entry),
         "the constant 'p' takes float constant registers up to c299"},
        {"33 float4s at 2.0", "ps_2_0", ReadsConstants("float4 c[33];", "c[32].x", entry),
         "up to c32; the profile has 32 float constant registers (ps_2_0)"},
        {"9 float4s at 1.1", "ps_1_1", ReadsConstants("float4 c[9];", "c[8].x", entry),
         "up to c8; the profile has 8 float constant registers (ps_1_1)"},
        {"257 float4s in a vertex program", "vs_3_0",
         "float4 c[257];\nfloat4 " + entry + "(float4 p : POSITION) : POSITION { return p * c[256]; }\n",
         "up to c256; the profile has 256 float constant registers (vs_3_0)"},
    };
}

// The shapes that passed the instruction slots or the nesting unseen.
struct ShapeCase {
    const char* what;
    const char* profile;
    std::string source;
    std::string reason;
};

std::vector<ShapeCase> WorkPastTheSlots(const std::string& entry) {
    return {
        {"five thousand sin() of a uniform", "ps_2_b", UniformChain("s = sin(s * f + 0.5);", 5000, entry),
         "instruction slots, more than twice the 512 the profile has (ps_2_b)"},
        {"two thousand sin() of a uniform", "ps_2_a", UniformChain("s = sin(s * f + 0.5);", 2000, entry),
         "instruction slots, more than twice the 512"},
        {"five thousand products of a uniform", "ps_2_b", UniformChain("s = s * f + 0.5;", 5000, entry),
         "instruction slots, more than twice the 512"},
        // Shader model 3 holds what the device's caps state, 32768 slots.
        {"eight thousand sin() of a uniform", "ps_3_0", UniformChain("s = sin(s * f + 0.5);", 8000, entry),
         "instruction slots, more than twice the 32768 the profile has (ps_3_0)"},
        // Ten thousand, as found, may reach the compile's deadline on a busy
        // machine first: the chains test takes them in a caller of its own.
        {"two thousand any() and all() of a uniform", "ps_2_b", UniformChain("s += any(f) + all(f);", 2000, entry),
         "instruction slots, more than twice the 512"},
        {"a thousand cases at 1.1", "ps_1_1", SwitchOfCases(1000, entry),
         "arithmetic instruction slots, more than twice the 8 the profile has (ps_1_1)"},
        {"a thousand cases at 1.4", "ps_1_4", SwitchOfCases(1000, entry),
         "arithmetic instruction slots, more than twice the 16 the profile has (ps_1_4)"},
        {"twenty loops of two passes nested", "ps_3_0", NestedLoops(20, 2, entry),
         "loops nested 20 deep; the profile nests 4 deep (ps_3_0)"},
        {"five loops nested", "ps_3_0", NestedLoops(5, 2, entry), "loops nested 5 deep; the profile nests 4 deep"},
        {"three loops of six passes nested at 2.0", "ps_2_0", NestedLoops(3, 6, entry),
         "arithmetic instruction slots, more than twice the 64 the profile has (ps_2_0)"},
        {"three lookups in each of 12 passes at 2.0", "ps_2_0", LookupsInALoop(entry, true),
         "the program takes 36 texture instruction slots; the profile has 32 (ps_2_0)"},
        {"three hundred products of a uniform at vertex 1.1", "vs_1_1",
         "float f;\nfloat4 " + entry + "(float4 p : POSITION) : POSITION {\n    float s = 0;\n" +
             Repeat("    s = s * f + 0.5;\n", 300) + "    return p * s;\n}\n",
         "instruction slots, more than twice the 128 the profile has (vs_1_1)"},
        {"eight thousand sin() of a uniform at vertex 3.0", "vs_3_0",
         "float f;\nfloat4 " + entry + "(float4 p : POSITION) : POSITION {\n    float s = 0;\n" +
             Repeat("    s = sin(s * f + 0.5);\n", 8000) + "    return p * s;\n}\n",
         "instruction slots, more than twice the 32768 the profile has (vs_3_0)"},
    };
}

} // namespace

// Each shape past a limit: refused, with the reason, at the line of what
// passes it.
TEST(GfxUtilHlslLimitsTest, ProgramsPastTheirProfilesLimitsAreRefusedAtTheirLine) {
    struct Case {
        const char* what;
        const char* profile;
        std::string source;
        const char* line;   // "memory(L,"
        std::string reason; // what the message holds
    };
    const Case cases[] = {
        {"a static array past the temporaries", "ps_3_0", StaticArray(33), "memory(1,",
         "the static array 'a' is indexed at run time and takes 33 registers; the profile has 32 temporary "
         "registers (ps_3_0)"},
        {"a static array far past them", "ps_3_0", StaticArray(1000), "memory(1,", "takes 1000 registers"},
        {"a static array at 2.0", "ps_2_0", StaticArray(13), "memory(1,", "12 temporary registers (ps_2_0)"},
        {"five local arrays, each within the temporaries", "ps_3_0", LocalArrays(5), "memory(5,",
         "5 arrays indexed at run time take 40 registers together (the local array 'a0' 8); the profile has 32 "
         "temporary registers (ps_3_0)"},
        {"two hundred local arrays", "ps_3_0", LocalArrays(200), "memory(5,", "200 arrays indexed at run time take 1600"},
        {"a local array of structs of arrays of the same size", "ps_3_0",
         "int u;\nstruct S { float4 x[8]; };\nfloat4 main(float2 uv : TEXCOORD0) : COLOR\n{\n    S t[8];\n"
         "    t[u].x[1] = uv.x;\n    return t[u + 1].x[1];\n}\n",
         "memory(5,", "the local array 't' is indexed at run time and takes 64 registers"},
        {"a local array written with a literal at a run-time index", "ps_3_0",
         "int u;\nfloat4 main() : COLOR\n{\n    float a[33];\n    a[u] = 1;\n    return a[u + 1];\n}\n",
         "memory(4,", "the local array 'a' is indexed at run time and takes 33 registers"},
        {"a table of literals past the constants", "ps_3_0", ConstTable(225), "memory(1,",
         "the array of literals 't' is indexed at run time and takes 225 constant registers, 225 with the "
         "program's constants; the profile has 224 float constant registers (ps_3_0)"},
        {"a table within them, beside the uniforms", "ps_3_0", ConstTable(200, 30), "memory(3,",
         "takes 200 constant registers, 231 with the program's constants"},
        {"a table of a thousand literals", "ps_3_0", ConstTable(1000), "memory(1,", "takes 1000 constant registers"},
        {"a table of 16384 literals", "ps_3_0", ConstTable(16384), "memory(1,", "takes 16384 constant registers"},
        {"a table at 2.0", "ps_2_0", ConstTable(33), "memory(1,", "32 float constant registers (ps_2_0)"},
        {"a table in a vertex program", "vs_3_0",
         "static const float t[257] = {" + Repeat("1, ", 256) +
             "1};\nfloat4 main(float4 p : POSITION) : POSITION { return p * t[(int)p.w]; }\n",
         "memory(1,", "256 float constant registers (vs_3_0)"},
        {"a thousand cases", "ps_2_b", Cases(1000), "memory(1,",
         "instruction slots, more than twice the 512 the profile has (ps_2_b)"},
        {"five hundred nested switches", "ps_3_0", NestedSwitches(500), "memory(29,",
         "flow control nested 500 deep; the profile nests 24 deep (ps_3_0)"},
        {"five nested switches", "ps_3_0", NestedSwitches(5), "memory(9,",
         "'switch' nested 5 deep; the profile nests 4 deep (ps_3_0)"},
        {"twenty-five nested ifs", "ps_3_0", NestedIfs(25), "memory(28,", "flow control nested 25 deep"},
        {"ten thousand any() and all()", "ps_2_b", AnyAll(10000), "memory(1,", "instruction slots"},
        {"arithmetic past 2.0's slots", "ps_2_0", AnyAll(20), "memory(1,", "arithmetic instruction slots, more than twice the 64"},
        {"texture lookups past 2.0's slots", "ps_2_0",
         "sampler2D s;\nfloat4 main(float2 uv : TEXCOORD0) : COLOR\n{\n    float4 c = 0;\n" +
             Repeat("    c = tex2D(s, uv + c.xy);\n", 33) + "    return c;\n}\n",
         "memory(2,", "the program takes 33 texture instruction slots; the profile has 32 (ps_2_0)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const CompileOutcome r = CompileText(c.source, c.profile);
        EXPECT_EQ(r.hr, E_FAIL);
        EXPECT_NE(r.errors.find(c.line), std::string::npos) << r.errors;
        EXPECT_NE(r.errors.find(c.reason), std::string::npos) << r.errors;
    }
}

// Work the program does for every pixel is counted whatever its operands,
// shader model 1 has its slots, loops nest as D3D9 nests them and count
// their passes, and constants stay within the float registers: each shape
// refused, with the reason, at its line.
TEST(GfxUtilHlslLimitsTest, WorkLoopsAndConstantsPastTheProfileAreRefusedAtTheirLine) {
    for (const ShapeCase& c : WorkPastTheSlots("main")) {
        SCOPED_TRACE(c.what);
        const CompileOutcome r = CompileText(c.source, c.profile);
        EXPECT_EQ(r.hr, E_FAIL);
        EXPECT_NE(r.errors.find(c.reason), std::string::npos) << r.errors;
        // The entry point's line, or the loop that passes the nesting.
        const bool loops = c.reason.starts_with("loops nested");
        const std::string line = loops ? "memory(7," : c.source.starts_with("float f;") ? "memory(2," : "memory(1,";
        EXPECT_NE(r.errors.find(line), std::string::npos) << r.errors;
    }
    for (const ConstantsCase& c : ConstantsPastTheRegisters("main")) {
        SCOPED_TRACE(c.what);
        const CompileOutcome r = CompileText(c.source, c.profile);
        EXPECT_EQ(r.hr, E_FAIL);
        EXPECT_NE(r.errors.find(c.reason), std::string::npos) << r.errors;
        // The declaration's line: after its struct's where it has one.
        const std::string line = c.source.starts_with("struct") ? "memory(2," : "memory(1,";
        EXPECT_NE(r.errors.find(line), std::string::npos) << r.errors;
    }
    // Elements of an array of temporaries picked at run time in each pass
    // of loops the driver unrolls.
    const CompileOutcome picked = CompileText(PickedInLoops(30, 30), "ps_2_b");
    EXPECT_EQ(picked.hr, E_FAIL);
    EXPECT_NE(picked.errors.find("instruction slots, more than twice the 512"), std::string::npos) << picked.errors;
    // Their neighbours within each limit compile.
    for (const auto& [source, profile] : std::vector<std::pair<std::string, const char*>>{
             {UniformChain("s = sin(s * f + 0.5);", 100), "ps_3_0"},
             {UniformChain("s = s * f + 0.5;", 900), "ps_3_0"},
             {SwitchOfCases(2), "ps_1_1"},
             {"sampler2D s;\nfloat4 k;\nfloat4 main(float2 uv : TEXCOORD0, float4 c : COLOR0) : COLOR\n"
              "{\n    return lerp(tex2D(s, uv), c, k.x) * k;\n}\n",
              "ps_1_1"},
             {NestedLoops(4, 2), "ps_3_0"},
             {NestedLoops(3, 4), "ps_3_0"},
             {NestedLoops(2, 4), "ps_2_0"},
             {LookupsInALoop("main", false), "ps_2_0"},
             {PickedInLoops(30, 4), "ps_3_0"},
             {ReadsConstants("float4 c[224];", "c[223].x"), "ps_3_0"},
             {ReadsConstants("float4 c[32];", "c[31].x"), "ps_2_0"},
             {ReadsConstants("float4 c[8];", "c[7].x"), "ps_1_1"},
             {"float4 c[256];\nfloat4 main(float4 p : POSITION) : POSITION { return p * c[255]; }\n", "vs_3_0"},
             // Past 512 slots, within the caps' 32768 at shader model 3.
             {UniformChain("s = sin(s * f + 0.5);", 200), "ps_3_0"},
             {TextureReads448(), "ps_3_0"},
             {"float f;\nfloat4 main(float4 p : POSITION) : POSITION {\n    float s = 0;\n" +
                  Repeat("    s = sin(s * f + 0.5);\n", 200) + "    return p * s;\n}\n",
              "vs_3_0"},
         }) {
        SCOPED_TRACE(source.substr(0, 120));
        const CompileOutcome r = CompileText(source, profile);
        EXPECT_EQ(r.hr, D3D_OK) << r.errors;
    }
}

// The same programs as passes of an effect: the pass is left without its
// program, the reason given at the line, and its neighbour keeps its own.
TEST(GfxUtilHlslLimitsTest, AnEffectsPassPastItsProfileHasNoProgram) {
    const std::string text = Cases(1000) + "float4 near(float2 uv : TEXCOORD0) : COLOR { return uv.x; }\n"
                                           "technique T { pass Past { PixelShader = compile ps_2_b main(); }\n"
                                           "  pass Within { PixelShader = compile ps_2_b near(); } }\n";
    ID3DXEffectCompiler* fx = nullptr;
    ID3DXBuffer* errors = nullptr;
    ASSERT_EQ(D3DXCreateEffectCompiler(text.data(), std::uint32_t(text.size()), nullptr, nullptr, 0, &fx, &errors),
              D3D_OK);
    ASSERT_NE(errors, nullptr);
    const std::string messages = static_cast<const char*>(errors->GetBufferPointer());
    errors->Release();
    EXPECT_NE(messages.find("memory(1): warning: the program takes an estimated"), std::string::npos) << messages;
    EXPECT_NE(messages.find("instruction slots, more than twice the 512 the profile has (ps_2_b)"), std::string::npos)
        << messages;
    D3DXPASS_DESC past{}, within{};
    ASSERT_EQ(fx->GetPassDesc(fx->GetPass("T", 0), &past), D3D_OK);
    ASSERT_EQ(fx->GetPassDesc(fx->GetPass("T", 1), &within), D3D_OK);
    EXPECT_EQ(past.pPixelShaderFunction, nullptr);
    EXPECT_NE(within.pPixelShaderFunction, nullptr);
    EXPECT_EQ(fx->Release(), 0u);
}

// Each shape past a limit as the pass of an effect: the pass is left
// without its program and the reason given; the technique's other pass,
// within the limits, keeps its own.
TEST(GfxUtilHlslLimitsTest, AnEffectsPassOfWorkLoopsOrConstantsPastItsProfileHasNoProgram) {
    std::vector<std::string> whats, profiles, sources, reasons;
    for (const ShapeCase& c : WorkPastTheSlots("Ps")) {
        whats.push_back(c.what);
        profiles.push_back(c.profile);
        sources.push_back(c.source);
        reasons.push_back(c.reason);
    }
    for (const ConstantsCase& c : ConstantsPastTheRegisters("Ps")) {
        whats.push_back(c.what);
        profiles.push_back(c.profile);
        sources.push_back(c.source);
        reasons.push_back(c.reason);
    }
    for (std::size_t i = 0; i < whats.size(); ++i) {
        SCOPED_TRACE(whats[i]);
        const bool vertex = profiles[i][0] == 'v';
        const std::string kind = vertex ? "VertexShader" : "PixelShader";
        const std::string near = vertex ? "float4 Near(float4 p : POSITION) : POSITION { return p; }\n"
                                        : "float4 Near(float4 c : COLOR0) : COLOR { return c; }\n";
        const std::string text = sources[i] + near + "technique T { pass Past { " + kind + " = compile " +
                                 profiles[i] + " Ps(); }\n  pass Within { " + kind + " = compile " + profiles[i] +
                                 " Near(); } }\n";
        ID3DXEffectCompiler* fx = nullptr;
        ID3DXBuffer* errors = nullptr;
        ASSERT_EQ(D3DXCreateEffectCompiler(text.data(), std::uint32_t(text.size()), nullptr, nullptr, 0, &fx, &errors),
                  D3D_OK);
        ASSERT_NE(errors, nullptr);
        const std::string messages = static_cast<const char*>(errors->GetBufferPointer());
        errors->Release();
        EXPECT_NE(messages.find(reasons[i]), std::string::npos) << messages;
        D3DXPASS_DESC past{}, within{};
        ASSERT_EQ(fx->GetPassDesc(fx->GetPass("T", 0), &past), D3D_OK);
        ASSERT_EQ(fx->GetPassDesc(fx->GetPass("T", 1), &within), D3D_OK);
        EXPECT_EQ(vertex ? past.pVertexShaderFunction : past.pPixelShaderFunction, nullptr);
        EXPECT_NE(vertex ? within.pVertexShaderFunction : within.pPixelShaderFunction, nullptr);
        EXPECT_EQ(fx->Release(), 0u);
    }
}

// Made and drawn on gl with the driver's on-disk cache off: what is timed is
// the driver's work on the program, at creation and at the first draw.
class GfxUtilHlslLimitsDrawTest : public gfx::test::HlslDrawTest {
protected:
    void SetUp() override {
        // Before the device: the driver reads it when it starts.
        setenv("MESA_SHADER_CACHE_DISABLE", "true", 1);
        gfx::test::HlslDrawTest::SetUp();
    }

    // Seconds to make `ps` (a ps_3_0 program) and draw the quad with it,
    // its pixels read back; the red of the pixel at (x, 0) in `red`.
    double Draw(const gfx::test::Compiled& ps, int x, double& red) {
        static const char* const kVertex3 = "vs_3_0\ndcl_position v0\ndcl_color v1\ndcl_texcoord v2\n"
                                            "dcl_position o0\ndcl_color o1\ndcl_texcoord o2\n"
                                            "mov o0, v0\nmov o1, v1\nmov o2, v2\n";
        IDirect3DVertexShader9* vs = Vertex(kVertex3);
        const auto start = std::chrono::steady_clock::now();
        IDirect3DPixelShader9* p = MakePixel(ps);
        if (!vs || !p) return 0;
        EXPECT_EQ(device->SetVertexShader(vs), D3D_OK);
        EXPECT_EQ(device->SetPixelShader(p), D3D_OK);
        Clear();
        DrawQuad();
        red = gfxtest::ChannelOf(At(x, 0), 16);
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
};

// The neighbour of each refused shape just within the limit draws what it
// computes, in no more than a bounded multiple of a small program's time.
TEST_P(GfxUtilHlslLimitsDrawTest, ProgramsJustWithinTheLimitsDrawPromptly) {
    // Pixel 11 of 16 across: u = 11 / 16, by the half-pixel offset.
    constexpr int kX = 11;
    constexpr double kU = double(kX) / kSize;
    // Times a small program's making and drawing, the first one's start-up
    // aside.
    constexpr double kBound = 50;
    gfx::test::Compiled small;
    gfx::test::Compile(small, "float4 main(float2 uv : TEXCOORD0) : COLOR { return uv.x; }\n", "ps_3_0");
    ASSERT_EQ(small.result, D3D_OK) << small.errors;
    double red = 0;
    // The driver's first program pays for its start: the baseline is the
    // slowest of a few more.
    (void)Draw(small, kX, red);
    double baseline = 0;
    for (int i = 0; i < 3; ++i) {
        gfx::test::Compiled again;
        gfx::test::Compile(again, "float4 main(float2 uv : TEXCOORD0) : COLOR { return uv.x + 0.0" +
                                      std::to_string(i + 1) + "; }\n", "ps_3_0");
        baseline = std::max(baseline, Draw(again, kX, red));
        EXPECT_NEAR(red, (kU + 0.01 * (i + 1)) * 255, 1.5);
    }
    struct Case {
        const char* what;
        std::string source;
        double expected; // the red at pixel kX, 0..1
    };
    const auto step = [&](int count) { return double(int(kU * count + 0.5)) / count; };
    const Case cases[] = {
        {"a static array of the 32 temporaries", StaticArray(32), step(32)},
        {"four local arrays of eight", LocalArrays(4), kU},
        {"a table of 224 literals", ConstTable(224), step(224)},
        {"a hundred cases", Cases(100), step(100)},
        {"four nested switches", NestedSwitches(4), 1},
        {"twenty-four nested ifs", NestedIfs(24), 1},
        // Flow control the compiler flattens into selects nests no deeper
        // than the branches it keeps.
        {"forty nested ifs left to be flattened", NestedIfs(40, false), 1},
        {"an else-if chain of forty", ElseIfChain(40), step(40)},
        {"a hundred any() and all()", AnyAll(100), 0.5},
        // The quad is white: programs of the input's red give 1.
        {"a hundred sin() of a uniform", UniformChain("s = sin(s * f + 0.5);", 100), 1},
        {"nine hundred products of a uniform", UniformChain("s = s * f + 0.5;", 900), 1},
        {"a hundred any() and all() of a uniform", UniformChain("s += any(f) + all(f);", 100), 1},
        {"four loops of two passes nested", NestedLoops(4, 2), 1},
        {"three loops of four passes nested", NestedLoops(3, 4), 1},
        {"thirty elements picked in four passes", PickedInLoops(30, 4), 0},
        {"the 224 float constants", ReadsConstants("float4 c[224];", "c[223].x"), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        gfx::test::Compiled ps;
        gfx::test::Compile(ps, c.source, "ps_3_0");
        ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
        const double seconds = Draw(ps, kX, red);
        // The shapes refused took 15 s to hours; these, a few tenths.
        EXPECT_LT(seconds, kBound * baseline) << seconds << " s against " << baseline << " s";
        EXPECT_NEAR(red, c.expected * 255, 1.5);
    }
}

// A ps_3_0 program past 512 slots, within the caps' 32768, compiles; what
// the driver spends on it is the gl back end's check's to bound: made, it
// draws the average of its lookups, the one texel's red; else that check
// refused it.
TEST_P(GfxUtilHlslLimitsDrawTest, AProgramPastFiveHundredSlotsIsMadeThroughTheGlCheck) {
    if (Stopped()) return;
    gfx::test::Compiled ps;
    gfx::test::Compile(ps, TextureReads448(), "ps_3_0");
    ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
    IDirect3DTexture9* texture = OneTexel(0xFF804020u);
    ASSERT_NE(texture, nullptr);
    ASSERT_EQ(device->SetTexture(0, texture), D3D_OK);
    IDirect3DVertexShader9* vs = Vertex("vs_3_0\ndcl_position v0\ndcl_color v1\ndcl_texcoord v2\n"
                                        "dcl_position o0\ndcl_color o1\ndcl_texcoord o2\n"
                                        "mov o0, v0\nmov o1, v1\nmov o2, v2\n");
    ASSERT_NE(vs, nullptr);
    const std::uint32_t refusals = GlProgramGateRefusalsForTests();
    IDirect3DPixelShader9* p = nullptr;
    const HRESULT made = device->CreatePixelShader(ps.Words(), std::uint32_t(ps.code.size()), &p);
    if (made != D3D_OK) {
        EXPECT_GT(GlProgramGateRefusalsForTests(), refusals) << "refused, not by the check";
    } else {
        EXPECT_EQ(device->SetVertexShader(vs), D3D_OK);
        EXPECT_EQ(device->SetPixelShader(p), D3D_OK);
        Clear();
        DrawQuad();
        ExpectPixel(8, 8, 0x80, 0x80, 0x80, "the texel's red, averaged");
        EXPECT_EQ(device->SetPixelShader(nullptr), D3D_OK);
        p->Release();
    }
    EXPECT_EQ(device->SetTexture(0, nullptr), D3D_OK);
    texture->Release();
}

INSTANTIATE_TEST_SUITE_P(, GfxUtilHlslLimitsDrawTest, ::testing::Values(false), gfxtest::GlReadBackParamName);
