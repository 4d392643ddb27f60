// The conformance runner's own parts on small written texts: the file
// reader's sections and markers, conditions per shader model, the probe
// tolerance, and the departures record's round trip.

#include "tests/platform/gfxutil/HlslSuiteDepartures.h"
#include "tests/platform/gfxutil/HlslSuiteFile.h"
#include "tests/platform/gfxutil/HlslSuiteRunner.h"
#include "tests/platform/gfxutil/TempFolder.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <fstream>
#include <limits>

using namespace hlslsuite;

namespace {

template <class T>
const T& Nth(const HlslSuiteFile& f, std::size_t i) {
    EXPECT_LT(i, f.Sections().size());
    return std::get<T>(f.Sections().at(i));
}

TEST(HlslSuiteCondition, ModelComparisonsAndOtherRunners) {
    const Condition below4 = Condition::When("sm<4");
    EXPECT_TRUE(below4.At(20));
    EXPECT_TRUE(below4.At(30));
    EXPECT_FALSE(below4.At(40));
    // Other runners' names never hold here; an alternative of them does not block the rest.
    EXPECT_FALSE(Condition::When("msl").At(20));
    EXPECT_FALSE(Condition::When("glsl | msl").At(30));
    EXPECT_TRUE(Condition::When("sm<4 | glsl | msl").At(20));
    EXPECT_FALSE(Condition::When("mvk & vulkan | msl").At(20));
    EXPECT_TRUE(Condition::When("sm>=4 & sm<6").At(50));
    EXPECT_FALSE(Condition::When("sm>=4 & sm<6").At(30));
    EXPECT_FALSE(Condition::When("sm>=4 & sm<6").At(60));
    EXPECT_TRUE(Condition::When("sm>=3").At(30));
    EXPECT_FALSE(Condition::When("sm>=3").At(20));
    EXPECT_TRUE(Condition::Always().At(20));
    EXPECT_FALSE(Condition().At(20));
    EXPECT_EQ(ParseModel("4.1"), 41);
    EXPECT_EQ(ParseModel("4"), -1);
    EXPECT_EQ(ParseModel("x.0"), -1);
}

TEST(HlslSuiteFile, SectionsMarkersAndSourcesInOrder) {
    HlslSuiteFile f;
    f.Parse("[require]\n"
            "shader model >= 3.0\n"
            "shader model < 4.0\n"
            "options: row-major backcompat\n"
            "float64\n"
            "\n"
            "[pixel shader todo(sm<4) fail(sm>=6)]\n"
            "% a comment of the format, not of the source\n"
            "float4 main() : sv_target { return 1; }\n"
            "[pixel shader fail]\n"
            "float4 main() : sv_target { return x; }\r\n"
            "[vertex shader notimpl(sm<6)]\n"
            "void main(inout float4 p : position) {}\n"
            "[effect fail todo]\n"
            "technique { }\n"
            "[compute shader]\n"
            "[numthreads(1, 1, 1)] void main() {}\n"
            "[uav 1]\n"
            "format r32-float\n");
    ASSERT_EQ(f.Sections().size(), 7u);
    const auto& r = Nth<Requirement>(f, 0);
    EXPECT_EQ(r.line, 1);
    EXPECT_EQ(r.minimum, 30);
    EXPECT_EQ(r.maximum, 40);
    EXPECT_FALSE(r.Admits(20));
    EXPECT_TRUE(r.Admits(30));
    EXPECT_EQ(r.options, (std::vector<std::string>{"row-major", "backcompat"}));
    EXPECT_EQ(r.needs, (std::vector<std::string>{"float64"}));

    const auto& ps = Nth<ShaderSection>(f, 1);
    EXPECT_EQ(ps.line, 7);
    EXPECT_EQ(ps.stage, Stage::Pixel);
    EXPECT_TRUE(ps.TodoAt(30));
    EXPECT_FALSE(ps.TodoAt(40));
    EXPECT_FALSE(ps.FailsAt(30));
    EXPECT_TRUE(ps.FailsAt(60));
    EXPECT_EQ(ps.source, "float4 main() : sv_target { return 1; }\n");

    const auto& refused = Nth<ShaderSection>(f, 2);
    EXPECT_TRUE(refused.FailsAt(20));
    EXPECT_TRUE(refused.FailsAt(30));
    EXPECT_FALSE(refused.TodoAt(20));
    EXPECT_EQ(refused.source, "float4 main() : sv_target { return x; }\n"); // CR LF read as LF

    const auto& vs = Nth<ShaderSection>(f, 3);
    EXPECT_EQ(vs.stage, Stage::Vertex);
    EXPECT_TRUE(vs.TodoAt(20)); // notimpl is a todo of the suite's own implementation

    const auto& fx = Nth<ShaderSection>(f, 4);
    EXPECT_EQ(fx.stage, Stage::Effect);
    EXPECT_TRUE(fx.FailsAt(20));
    EXPECT_TRUE(fx.TodoAt(20));

    // A line starting with '[' inside a source with more after its bracket is source, not a header.
    const auto& cs = Nth<ShaderSection>(f, 5);
    EXPECT_EQ(cs.stage, Stage::Other);
    EXPECT_EQ(cs.source, "[numthreads(1, 1, 1)] void main() {}\n");
    EXPECT_EQ(Nth<OtherSection>(f, 6).header, "uav 1");
}

// A requirement holds up to the next one; compute sections are not programs
// Direct3D 9 can run.
TEST(HlslSuiteFile, ProgramsAtAModelFollowTheRequirementsBeforeThem) {
    HlslSuiteFile later;
    later.Parse("[require]\nshader model >= 4.0\n[pixel shader]\nfloat4 main() : sv_target { return 1; }\n"
                "[require]\nshader model >= 2.0\n[compute shader]\n[numthreads(1, 1, 1)] void main() {}\n");
    EXPECT_FALSE(later.HasProgramAt(20));
    EXPECT_FALSE(later.HasProgramAt(30));
    EXPECT_TRUE(later.HasProgramAt(40));

    HlslSuiteFile both;
    both.Parse("[require]\nshader model >= 4.0\n[pixel shader]\nfloat4 main() : sv_target { return 1; }\n"
               "[require]\nshader model >= 3.0\nshader model < 4.0\n[vertex shader]\n"
               "float4 main() : position { return 0; }\n");
    EXPECT_FALSE(both.HasProgramAt(20));
    EXPECT_TRUE(both.HasProgramAt(30));

    HlslSuiteFile unconditional;
    unconditional.Parse("[effect]\ntechnique { pass {} }\n");
    EXPECT_TRUE(unconditional.HasProgramAt(20));
    HlslSuiteFile empty;
    EXPECT_FALSE(empty.HasProgramAt(20));
}

TEST(HlslSuiteFile, TestLinesUniformsDrawsAndProbes) {
    HlslSuiteFile f;
    f.Parse("[test]\n"
            "uniform 0 float4 0.1 -0.7 1e3 -inf\n"
            "if(sm<4) uniform 4 int -2\n"
            "if(sm>=4) uniform 4 uint4 1 2 3 0x10\n"
            "uniform 0 int64_t2 1 2\n"
            "todo(sm<4 | msl) draw quad\n"
            "probe (0, 0) rgba (0.1, 0.7, 0.4, 0.4)\n"
            "todo(glsl) probe (320, 240, 330, 260) rgba(1.0, 2.0, 3.0, 4.0) 4096\n"
            "probe(1, 2) rg (0.5, -0.5);\n"
            "probe (3, 4) r (7) 2\n"
            "probe (0, 0) rgbaui (1, 2, 3, 4)\n"
            "probe uav 1 (0) r (1)\n"
            "probe (0, 0) rgba (1, 2, 3)\n"
            "shade mode flat\n"
            "draw point list 2\n"
            "alpha test less 0.5\n"
            "alpha test greater equal 1.0\n"
            "clear rtv 0  1 0 0.5 1\n"
            "alpha test sideways 1\n");
    const auto& t = Nth<TestSection>(f, 0);
    ASSERT_EQ(t.lines.size(), 18u);
    const TestLine& u = t.lines[0];
    EXPECT_EQ(u.line, 2);
    ASSERT_EQ(u.kind, TestLine::Kind::Uniform);
    ASSERT_EQ(u.words.size(), 4u);
    EXPECT_EQ(u.words[0], std::bit_cast<std::uint32_t>(0.1f));
    EXPECT_EQ(u.words[1], std::bit_cast<std::uint32_t>(-0.7f));
    EXPECT_EQ(u.words[2], std::bit_cast<std::uint32_t>(1000.0f));
    EXPECT_EQ(u.words[3], std::bit_cast<std::uint32_t>(-std::numeric_limits<float>::infinity()));
    // Integers are written as their bits, as the suite's constant buffer holds them.
    EXPECT_EQ(t.lines[1].offset, 4u);
    EXPECT_EQ(t.lines[1].words, std::vector<std::uint32_t>{0xFFFFFFFEu});
    EXPECT_TRUE(t.lines[1].onlyIf.At(20));
    EXPECT_FALSE(t.lines[2].onlyIf.At(30));
    EXPECT_EQ(t.lines[2].words, (std::vector<std::uint32_t>{1, 2, 3, 16}));
    EXPECT_EQ(t.lines[3].kind, TestLine::Kind::Unsupported);
    EXPECT_EQ(t.lines[4].kind, TestLine::Kind::DrawQuad);
    EXPECT_TRUE(t.lines[4].todo.At(20));

    const TestLine& p = t.lines[5];
    ASSERT_EQ(p.kind, TestLine::Kind::Probe);
    EXPECT_EQ(p.channels, 4);
    EXPECT_EQ(p.ulps, 0u);
    EXPECT_FLOAT_EQ(p.expected[1], 0.7f);
    // A rectangle by its edges: left, top, right, bottom.
    const TestLine& rect = t.lines[6];
    ASSERT_EQ(rect.kind, TestLine::Kind::Probe);
    EXPECT_EQ(rect.x, 320);
    EXPECT_EQ(rect.y, 240);
    EXPECT_EQ(rect.w, 10);
    EXPECT_EQ(rect.h, 20);
    EXPECT_EQ(rect.ulps, 4096u);
    EXPECT_FALSE(rect.todo.At(20));
    ASSERT_EQ(t.lines[7].kind, TestLine::Kind::Probe);
    EXPECT_EQ(t.lines[7].channels, 2);
    EXPECT_FLOAT_EQ(t.lines[7].expected[1], -0.5f);
    ASSERT_EQ(t.lines[8].kind, TestLine::Kind::Probe);
    EXPECT_EQ(t.lines[8].channels, 1);
    EXPECT_EQ(t.lines[8].ulps, 2u);
    // Integer targets, other resources and malformed probes are kept as unsupported, never dropped.
    for (std::size_t i : {9u, 10u, 11u}) {
        SCOPED_TRACE(i);
        EXPECT_EQ(t.lines[i].kind, TestLine::Kind::Unsupported);
        EXPECT_EQ(t.lines[i].text.rfind("probe", 0), 0u);
    }
    EXPECT_EQ(t.lines[12].kind, TestLine::Kind::ShadeMode);
    EXPECT_TRUE(t.lines[12].flat);
    EXPECT_EQ(t.lines[13].kind, TestLine::Kind::Unsupported);
    // Comparisons by their published numbers, the longer name first.
    ASSERT_EQ(t.lines[14].kind, TestLine::Kind::AlphaTest);
    EXPECT_EQ(t.lines[14].compare, 2u);
    EXPECT_FLOAT_EQ(t.lines[14].reference, 0.5f);
    ASSERT_EQ(t.lines[15].kind, TestLine::Kind::AlphaTest);
    EXPECT_EQ(t.lines[15].compare, 7u);
    ASSERT_EQ(t.lines[16].kind, TestLine::Kind::ClearTarget);
    EXPECT_FLOAT_EQ(t.lines[16].expected[2], 0.5f);
    EXPECT_EQ(t.lines[17].kind, TestLine::Kind::Unsupported);
}

TEST(HlslSuiteFile, TexturesAndSamplers) {
    HlslSuiteFile f;
    f.Parse("[sampler 1]\nfilter linear linear linear\naddress clamp clamp clamp\n"
            "[sampler 2]\ncomparison less\n"
            "[srv 0]\nsize (2d, 2, 1)\n0.0 0.5 1.0 2.0   -1 -2 -3 -4\n"
            "[texture 3]\nsize (2, 2)\n1 1 1 1\n"
            "[srv 4]\nsize (3d, 1, 1, 1)\n1 1 1 1\n"
            "[srv 16]\n"
            "[srv 5]\nsize (2d, 2, 2)\nlevels 2\n1 1 1 1  2 2 2 2\n3 3 3 3  4 4 4 4\n\n5 5 5 5\n");
    ASSERT_EQ(f.Sections().size(), 7u);
    EXPECT_TRUE(Nth<SamplerSection>(f, 0).linear);
    EXPECT_EQ(Nth<SamplerSection>(f, 0).address, "clamp");
    EXPECT_EQ(Nth<SamplerSection>(f, 0).index, 1);
    EXPECT_FALSE(Nth<SamplerSection>(f, 1).supported);
    const auto& t = Nth<TextureSection>(f, 2);
    ASSERT_TRUE(t.supported);
    EXPECT_EQ(t.width, 2u);
    EXPECT_EQ(t.height, 1u);
    EXPECT_EQ(t.texels, (std::vector<float>{0, 0.5f, 1, 2, -1, -2, -3, -4}));
    EXPECT_FALSE(Nth<TextureSection>(f, 3).supported); // fewer texels than the size asks
    EXPECT_FALSE(Nth<TextureSection>(f, 4).supported); // a volume
    EXPECT_EQ(Nth<OtherSection>(f, 5).header, "srv 16");   // no sampler 16 on this device
    // Levels follow each other: 2 x 2, then 1 x 1.
    const auto& mips = Nth<TextureSection>(f, 6);
    EXPECT_TRUE(mips.supported);
    EXPECT_EQ(mips.levels, 2u);
    EXPECT_EQ(TexelCount(mips), 20u);
    EXPECT_EQ(mips.texels.back(), 5.0f);
}

TEST(HlslSuiteFile, InputLayoutsVertexBuffersAndTriangleDraws) {
    HlslSuiteFile f;
    f.Parse("[input layout]\n"
            "0 r32g32-float POSITION\n"
            "0 r32-float color 1\n"
            "1 r32g32b32a32-float TEXCOORD 3\n"
            "1 r32-uint TEXCOORD 4\n"
            "[vb 1]\n-1.0 2.5\n 3 4e1\n"
            "[vb 2]\n1 x\n"
            "[test]\ndraw triangle strip 4\ndraw triangle list 3\ndraw triangle list 2\ndraw point list 1\n");
    ASSERT_EQ(f.Sections().size(), 4u);
    const auto& l = Nth<InputLayoutSection>(f, 0);
    ASSERT_EQ(l.elements.size(), 4u);
    EXPECT_EQ(l.elements[0].floats, 2u);
    EXPECT_EQ(l.elements[0].semantic, "POSITION");
    EXPECT_EQ(l.elements[1].semantic, "COLOR"); // semantics compare without case
    EXPECT_EQ(l.elements[1].index, 1u);
    EXPECT_EQ(l.elements[2].slot, 1u);
    EXPECT_EQ(l.elements[2].floats, 4u);
    EXPECT_EQ(l.elements[2].index, 3u);
    EXPECT_EQ(l.elements[3].floats, 0u); // integers: not read by this runner
    const auto& vb = Nth<VertexBufferSection>(f, 1);
    EXPECT_TRUE(vb.supported);
    EXPECT_EQ(vb.slot, 1u);
    EXPECT_EQ(vb.floats, (std::vector<float>{-1.0f, 2.5f, 3.0f, 40.0f}));
    EXPECT_FALSE(Nth<VertexBufferSection>(f, 2).supported);
    const auto& t = Nth<TestSection>(f, 3);
    ASSERT_EQ(t.lines.size(), 4u);
    EXPECT_EQ(t.lines[0].kind, TestLine::Kind::DrawTriangles);
    EXPECT_TRUE(t.lines[0].strip);
    EXPECT_EQ(t.lines[0].count, 4u);
    EXPECT_EQ(t.lines[1].kind, TestLine::Kind::DrawTriangles);
    EXPECT_FALSE(t.lines[1].strip);
    EXPECT_EQ(t.lines[2].kind, TestLine::Kind::Unsupported); // fewer vertices than a triangle
    EXPECT_EQ(t.lines[3].kind, TestLine::Kind::Unsupported);
}

TEST(HlslSuiteFile, RenderTargetsAndTheirProbes) {
    HlslSuiteFile f;
    f.Parse("[rtv 1]\nformat r32g32b32a32-float\nsize (2d, 640, 480)\n"
            "[rtv 0]\nformat r32g32b32a32-uint\nsize (2d, 640, 480)\n"
            "[rtv 2]\nformat r32g32b32a32-float\nsize (2d, 64, 64)\n"
            "[rtv 4]\n"
            "[test]\nprobe rtv 1 (3, 4) rgba (0.5, 0.6, 0.7, 0.8)\nprobe rtv 7 (0, 0) rgba (1, 1, 1, 1)\n");
    ASSERT_EQ(f.Sections().size(), 5u);
    EXPECT_TRUE(Nth<RenderTargetSection>(f, 0).supported);
    EXPECT_EQ(Nth<RenderTargetSection>(f, 0).index, 1);
    EXPECT_FALSE(Nth<RenderTargetSection>(f, 1).supported); // integers
    EXPECT_FALSE(Nth<RenderTargetSection>(f, 2).supported); // another size
    EXPECT_EQ(Nth<OtherSection>(f, 3).header, "rtv 4");      // beyond the device's four targets
    const auto& t = Nth<TestSection>(f, 4);
    ASSERT_EQ(t.lines[0].kind, TestLine::Kind::Probe);
    EXPECT_EQ(t.lines[0].target, 1);
    EXPECT_EQ(t.lines[0].x, 3);
    EXPECT_FLOAT_EQ(t.lines[0].expected[3], 0.8f);
    EXPECT_EQ(t.lines[1].kind, TestLine::Kind::Unsupported);
}

TEST(HlslSuiteFile, OddTextNeverStopsTheReader) {
    for (const char* text : {"", "[", "[]", "[test]\nprobe (", "[test]\nuniform x float4 1", "[pixel shader todo(sm<4]\n",
                             "[require]\nshader model >= four\n", "no section\n[test]\n", "[test]\nprobe (1, 2) rgba (1, 2, 3, 4) x\n"}) {
        SCOPED_TRACE(text);
        HlslSuiteFile f;
        f.Parse(text);
        for (const Section& s : f.Sections()) {
            const auto* t = std::get_if<TestSection>(&s);
            for (std::size_t i = 0; t && i < t->lines.size(); ++i) {
                const TestLine& l = t->lines[i];
                if (l.text.rfind("probe", 0) == 0 || l.text.rfind("uniform", 0) == 0) {
                    EXPECT_EQ(l.kind, TestLine::Kind::Unsupported);
                }
            }
        }
    }
    HlslSuiteFile missing;
    EXPECT_FALSE(missing.Read("/nonexistent/folder/x.shader_test"));
}

TEST(HlslSuiteRunner, UlpDistance) {
    EXPECT_EQ(UlpDistance(1.0f, 1.0f), 0u);
    EXPECT_EQ(UlpDistance(0.0f, -0.0f), 0u);
    EXPECT_EQ(UlpDistance(1.0f, std::nextafter(1.0f, 2.0f)), 1u);
    // Across zero: the smallest subnormals on either side are two steps apart.
    EXPECT_EQ(UlpDistance(std::numeric_limits<float>::denorm_min(), -std::numeric_limits<float>::denorm_min()), 2u);
    EXPECT_EQ(UlpDistance(-1.0f, std::nextafter(-1.0f, -2.0f)), 1u);
    EXPECT_GT(UlpDistance(0.1f, 0.2f), 1000000u);
    EXPECT_EQ(UlpDistance(std::nanf(""), std::nanf("")), 0u);
    EXPECT_EQ(UlpDistance(std::nanf(""), 1.0f), 0xFFFFFFFFu);
    EXPECT_EQ(UlpDistance(std::numeric_limits<float>::infinity(), std::numeric_limits<float>::infinity()), 0u);
    // The widest finite span: twice the largest finite value's bits.
    EXPECT_EQ(UlpDistance(-std::numeric_limits<float>::max(), std::numeric_limits<float>::max()), 2u * 0x7F7FFFFFu);
}

TEST(HlslSuiteDepartures, RoundTripKeepsHeaderAndOrdersByLine) {
    HlslSuiteDepartures d;
    d.Parse("# header line\n#\n"
            "b.shader_test 120:probe a reason with words\r\n"
            "a.shader_test 9:compile   shader model 4 syntax\n"
            "b.shader_test 30:compile quirk\n"
            "# a later comment is not kept\n"
            "lonely\n");
    EXPECT_EQ(d.Size(), 3u);
    ASSERT_NE(d.Find("b.shader_test", "120:probe"), nullptr);
    EXPECT_EQ(*d.Find("b.shader_test", "120:probe"), "a reason with words");
    EXPECT_EQ(*d.Find("a.shader_test", "9:compile"), "shader model 4 syntax");
    EXPECT_EQ(d.Find("a.shader_test", "9:probe"), nullptr);
    EXPECT_EQ(d.IdsOf("b.shader_test"), (std::vector<std::string>{"30:compile", "120:probe"}));
    const std::string written = d.Write();
    EXPECT_EQ(written, "# header line\n#\n"
                       "a.shader_test 9:compile shader model 4 syntax\n"
                       "b.shader_test 30:compile quirk\n"
                       "b.shader_test 120:probe a reason with words\n");
    gfx::test::TempFolder folder("HlslSuiteDepartures");
    const std::string path = folder.Write("departures.txt", written);
    HlslSuiteDepartures back;
    ASSERT_TRUE(back.Read(path));
    EXPECT_EQ(back.Write(), written);
    back.Clear("b.shader_test");
    EXPECT_EQ(back.Size(), 1u);
    HlslSuiteDepartures none;
    EXPECT_TRUE(none.Read(folder.At("missing.txt")));
    EXPECT_EQ(none.Size(), 0u);
}

} // namespace
