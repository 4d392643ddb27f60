// Values a compiled program gives that once came out wrong without any
// error: a number cast to a matrix. Compiled again and compared.

#include "platform/gfxutil/GfxUtilHlsl.h"

#include "platform/gfx/GfxShaderContainer.h"
#include "tests/platform/gfxutil/HlslTestSupport.h"

#include <gtest/gtest.h>

#include <string>

using namespace gfx;
using gfx::test::Compile;
using gfx::test::Compiled;

// A number cast to a matrix, as skinning programs start their sum of bones:
// the same program every compile, its start all zeros (glslang folds the
// cast itself from memory it has not written).
TEST(GfxUtilHlslValuesCompileTest, ANumberCastToAMatrixIsTheSameEveryCompile) {
    const std::string source = "float4x3 Bones[4];\n"
                               "float4 main(float4 p : POSITION, float4 w : BLENDWEIGHT, float4 i : BLENDINDICES)"
                               " : POSITION {\n"
                               "    float4x3 m = (float4x3)0;\n    m += Bones[i.x] * w.x;\n    m += Bones[i.y] * w.y;\n"
                               "    return float4(mul(p, m), 1);\n}\n";
    std::string first;
    for (int n = 0; n < 8; ++n) {
        Compiled vs;
        Compile(vs, source, "vs_2_0");
        ASSERT_EQ(vs.result, D3D_OK) << vs.errors;
        EXPECT_EQ(vs.container.glsl.find("nan"), std::string::npos) << vs.container.glsl;
        if (n == 0) first = vs.container.glsl;
        EXPECT_EQ(vs.container.glsl, first) << "compile " << n;
    }
}
