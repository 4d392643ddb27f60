// A local array read at an index known only at run time lives whole in the
// profile's temporary registers: one larger is refused at compile, with the
// reason, and quickly (its GLSL once held the driver for many seconds at the
// first draw). An array read only at constant indices, or at a loop's
// counter, is not held to that.
#include "platform/gfxutil/GfxUtilShader.h"
#include "tests/platform/gfxutil/HlslTestSupport.h"

#include <gtest/gtest.h>

#include <string>

using namespace gfx;
using gfx::test::CompileOutcome;
using gfx::test::Finish;

namespace {

CompileOutcome CompileText(const std::string& source, const char* profile) {
    ID3DXBuffer* code = nullptr;
    ID3DXBuffer* errors = nullptr;
    const HRESULT hr = D3DXCompileShader(source.data(), std::uint32_t(source.size()), "main", profile, 0, &code,
                                         &errors, nullptr);
    return Finish(hr, code, errors);
}

// `count` values of `type` in a local array, filled in a loop and read at
// the uniform `k`.
std::string RunTimeIndex(const std::string& type, int count, bool vertex) {
    const std::string n = std::to_string(count);
    return std::string("int k;\n") + (vertex ? "float4 main(float4 p : POSITION) : POSITION\n"
                                             : "float4 main() : COLOR\n") +
           "{\n    " + type + " a[" + n + "];\n    for (int i = 0; i < " + n + "; ++i) a[i] = i;\n    return a[k]" +
           (type == "float4x4" ? "[0]" : "") + ";\n}\n";
}

} // namespace

// The published counts: 12 temporary registers at 2.0, 32 at 3.0 (and ps_2_b).
TEST(GfxUtilHlslTemporariesTest, ArraysIndexedAtRunTimeFitTheProfilesRegisters) {
    struct Case {
        const char* profile;
        const char* type;
        int fits; // elements that fit; one more does not
        int registers;
    };
    const Case cases[] = {
        {"ps_3_0", "float4", 32, 32},  {"vs_3_0", "float4", 32, 32},  {"ps_2_0", "float4", 12, 12},
        {"vs_2_0", "float4", 12, 12},  {"ps_2_b", "float4", 32, 32},  {"ps_3_0", "float4x4", 8, 32},
        {"ps_3_0", "float", 32, 32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.profile) + " " + c.type);
        const bool vertex = c.profile[0] == 'v';
        const CompileOutcome fits = CompileText(RunTimeIndex(c.type, c.fits, vertex), c.profile);
        EXPECT_EQ(fits.hr, D3D_OK) << fits.errors;
        const CompileOutcome past = CompileText(RunTimeIndex(c.type, c.fits + 1, vertex), c.profile);
        EXPECT_EQ(past.hr, E_FAIL);
        const int needed = (c.fits + 1) * (c.registers / c.fits);
        EXPECT_NE(past.errors.find("memory(4,"), std::string::npos) << past.errors;
        EXPECT_NE(past.errors.find("the local array 'a' is indexed at run time and takes " + std::to_string(needed) +
                                   " registers; the profile has " + std::to_string(c.registers) +
                                   " temporary registers (" + c.profile + ")"),
                  std::string::npos)
            << past.errors;
    }
}

// Arrays far past the registers are refused as quickly as any compile ends;
// read only at constant indices, or at a loop's counter, they compile.
TEST(GfxUtilHlslTemporariesTest, OnlyIndicesKnownAtRunTimeAreHeldToTheRegisters) {
    for (const int count : {1000, 10000}) {
        SCOPED_TRACE(count);
        const CompileOutcome r = CompileText(RunTimeIndex("float4", count, false), "ps_3_0");
        EXPECT_EQ(r.hr, E_FAIL);
        EXPECT_NE(r.errors.find("takes " + std::to_string(count) + " registers"), std::string::npos) << r.errors;
    }
    std::string literalList = "int k;\nfloat4 main() : COLOR\n{\n    float a[40] = {0";
    for (int i = 1; i < 40; ++i) literalList += ", " + std::to_string(i);
    literalList += "};\n    return a[k];\n}\n";
    const std::string fine[] = {
        // A literal list is kept in constant registers.
        literalList,
        // So is a uniform array handed to a function, whose copy the front end indexes.
        "float Pick(float4 v[40], int i) { return v[i].x; }\nint k;\n"
        "float4 main(uniform float4 u[40]) : COLOR { return Pick(u, k); }\n",
        "float4 main() : COLOR\n{\n    float4 a[40];\n    a[0] = 1;\n    a[39] = 2;\n    return a[0] + a[39];\n}\n",
        "float4 main() : COLOR\n{\n    float4 a[40];\n    float4 s = 0;\n    for (int i = 0; i < 40; ++i) a[i] = i;\n"
        "    for (int j = 0; j < 40; ++j) s += a[j];\n    return s;\n}\n",
        // A uniform array is constant registers, not temporaries.
        "float4 u[100];\nint k;\nfloat4 main() : COLOR { return u[k]; }\n",
    };
    for (const std::string& source : fine) {
        SCOPED_TRACE(source);
        const CompileOutcome r = CompileText(source, "ps_3_0");
        EXPECT_EQ(r.hr, D3D_OK) << r.errors;
    }
}
