// The compile's legalisation of the front end's SPIR-V against glslang's
// own: the same module, word for word, for straight code (which goes
// without the passes of branches and returns) and for every form of flow,
// on programs written here and on every program of the real-world set
// (REALWORLD_DIR) that glslang reads as it stands. And the globals a
// legalised module reads.

#include "platform/gfxutil/hlsl/GfxUtilHlslRegisters.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslSpirv.h"

#include <glslang/Public/ResourceLimits.h>
#include <glslang/Public/ShaderLang.h>
#include <glslang/SPIRV/GlslangToSpv.h>
#include <glslang/SPIRV/SpvTools.h>
#include <spirv-tools/optimizer.hpp>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace gfx {
namespace {

#ifdef REALWORLD_DIR
const std::string kRealWorld = REALWORLD_DIR;
#else
const std::string kRealWorld;
#endif

// Includes beside the file, as the set's programs write them.
class FolderIncluder : public glslang::TShader::Includer {
public:
    explicit FolderIncluder(std::filesystem::path folder) : m_folder(std::move(folder)) {}
    IncludeResult* includeLocal(const char* name, const char* includer, size_t) override {
        std::filesystem::path from = includer && *includer ? std::filesystem::path(includer).parent_path() : m_folder;
        for (const std::filesystem::path& folder : {from, m_folder}) {
            std::ifstream in(folder / name, std::ios::binary);
            if (!in) continue;
            std::stringstream text;
            text << in.rdbuf();
            auto* kept = new std::string(text.str());
            return new IncludeResult((folder / name).string(), kept->data(), kept->size(), kept);
        }
        return nullptr;
    }
    IncludeResult* includeSystem(const char* name, const char* includer, size_t depth) override {
        return includeLocal(name, includer, depth);
    }
    void releaseInclude(IncludeResult* result) override {
        if (!result) return;
        delete static_cast<std::string*>(result->userData);
        delete result;
    }

private:
    std::filesystem::path m_folder;
};

// What glslang makes of `source` before any legalisation, with the options
// the compile gives it, and that module legalised by glslang and by the
// compile; false where glslang refuses the source.
struct Legalised {
    std::vector<std::uint32_t> made, theFrontEnds, ours;
};

bool Legalise(const std::string& source, const std::string& name, const std::string& entry, bool vertex,
              const std::string& preamble, Legalised& out) {
    const EShLanguage stage = vertex ? EShLangVertex : EShLangFragment;
    glslang::TShader shader(stage);
    const char* text = source.c_str();
    const int length = int(source.size());
    const char* names[] = {name.c_str()};
    shader.setStringsWithLengthsAndNames(&text, &length, names, 1);
    shader.setPreamble(preamble.c_str());
    shader.setEntryPoint(entry.c_str());
    shader.setSourceEntryPoint(entry.c_str());
    shader.setEnvInput(glslang::EShSourceHlsl, stage, glslang::EShClientOpenGL, 100);
    shader.setEnvClient(glslang::EShClientOpenGL, glslang::EShTargetOpenGL_450);
    shader.setEnvTarget(glslang::EShTargetSpv, glslang::EShTargetSpv_1_0);
    shader.setEnvTargetHlslFunctionality1();
    shader.setHlslIoMapping(true);
    shader.setAutoMapBindings(true);
    shader.setAutoMapLocations(true);
    const auto messages = EShMessages(EShMsgReadHlsl | EShMsgHlslDX9Compatible | EShMsgSpvRules | EShMsgHlslLegalization);
    FolderIncluder includer(std::filesystem::path(name).parent_path());
    if (!shader.parse(GetDefaultResources(), 110, false, messages, includer)) return false;
    glslang::TProgram program;
    program.addShader(&shader);
    if (!program.link(messages) || !program.mapIO()) return false;
    glslang::SpvOptions options;
    options.disableOptimizer = true;
    const glslang::TIntermediate& intermediate = *program.getIntermediate(stage);
    spv::SpvBuildLogger logger;
    glslang::GlslangToSpv(intermediate, out.made, &logger, &options);
    if (out.made.empty()) return false;
    out.theFrontEnds = out.ours = out.made;
    options.disableOptimizer = false;
    glslang::SpirvToolsTransform(intermediate, out.theFrontEnds, &logger, &options);
    return LegaliseHlslSpirv(out.ours);
}

// Whether the module has one block in each function and no branch: the
// straight code the compile legalises with fewer passes.
bool OneBlockEach(const std::vector<std::uint32_t>& spirv) {
    int labels = 0, functions = 0;
    for (std::size_t at = 5; at < spirv.size() && (spirv[at] >> 16) != 0; at += spirv[at] >> 16) {
        const std::uint32_t op = spirv[at] & 0xFFFF;
        functions += op == 54;
        labels += op == 248;
        if (op == 249 || op == 250 || op == 251 || op == 252) return false;
    }
    return labels == functions;
}

// The straight module through glslang's passes up to its first dead-code
// round only: what the compile gives straight code the rest of the passes
// leave as it is.
std::vector<std::uint32_t> ToFirstDeadCodeRound(const std::vector<std::uint32_t>& made) {
    spvtools::Optimizer optimizer(SPV_ENV_UNIVERSAL_1_0);
    optimizer.RegisterPass(spvtools::CreateInlineExhaustivePass())
        .RegisterPass(spvtools::CreateEliminateDeadFunctionsPass())
        .RegisterPass(spvtools::CreateScalarReplacementPass())
        .RegisterPass(spvtools::CreateLocalAccessChainConvertPass())
        .RegisterPass(spvtools::CreateLocalSingleBlockLoadStoreElimPass())
        .RegisterPass(spvtools::CreateLocalSingleStoreElimPass())
        .RegisterPass(spvtools::CreateSimplificationPass())
        .RegisterPass(spvtools::CreateAggressiveDCEPass());
    spvtools::OptimizerOptions options;
    options.set_run_validator(false);
    std::vector<std::uint32_t> out;
    if (!optimizer.Run(made.data(), made.size(), &out, options)) out.clear();
    return out;
}

struct Form {
    const char* what;
    bool vertex;
    bool straight;
    const char* source;
    // Of straight code: whether the passes after the first dead-code round
    // change it.
    bool changedLater = false;
};

const Form kForms[] = {
    {"a struct out of the entry point", true, true, R"(
float4x4 WorldViewProj : register(c0);
float4 Tint : register(c4);
struct VOut { float4 pos : POSITION; float4 col : COLOR0; float2 uv : TEXCOORD0; };
VOut main(float4 pos : POSITION, float4 col : COLOR0, float2 uv : TEXCOORD0) {
    VOut o; o.pos = mul(pos, WorldViewProj); o.col = col * Tint; o.uv = uv; return o;
})"},
    {"helpers, out parameters and a sampler handed on", false, true, R"(
sampler2D S; float4 K;
void Split(float4 v, out float2 a, out float2 b) { a = v.xy; b = v.zw; }
float4 Look(sampler2D s, float2 uv) { return tex2D(s, uv); }
float4 main(float2 uv : TEXCOORD0) : COLOR {
    float2 a, b; Split(Look(S, uv) * K, a, b); float s, c; sincos(a.x, s, c);
    return float4(a * s, b * c);
})"},
    {"components never read and swizzles of swizzles", false, true, R"(
sampler2D S;
float4 main(float2 uv : TEXCOORD0) : COLOR {
    float4 t = tex2D(S, uv); float4 p = t.xyxy * 256.0; float4 q = t * t.wzyx;
    return float4(floor(p.xy) / 256.0, frac(p.zw)) + float4(q.x, 0, q.zw);
})"},
    {"an if and an else", false, false, R"(
float4 K;
float4 main(float4 c : COLOR0) : COLOR { float4 r; if (c.x > K.x) r = c * 2; else r = c.wzyx; return r; })"},
    {"a loop of a constant's count", true, false, R"(
float4 W[8]; int N;
float4 main(float4 p : POSITION) : POSITION { float4 s = 0; for (int i = 0; i < N; ++i) s += W[i] * p; return s; })"},
    {"clip in a helper, and an early return", false, false, R"(
float4 K;
float4 Cut(float4 c) { clip(c.w - 0.5); if (c.x > 0.5) return c; return c * K; }
float4 main(float4 c : COLOR0) : COLOR { return Cut(c); })"},
    {"a switch", false, false, R"(
int Mode;
float4 main(float4 c : COLOR0) : COLOR {
    switch (Mode) { case 0: return c; case 1: return c.yzxw; default: return 1 - c; }
})"},
    {"a local array picked at run time", true, true, R"(
float4 Pick; float4 main(float4 p : POSITION) : POSITION {
    float4 a[4] = { p, p.yxzw, p.zwxy, p.wzyx }; return a[(int)Pick.x];
})"},
    {"a conditional value", false, true, R"(
float4 K; float4 main(float4 c : COLOR0) : COLOR { return c.x > K.x ? c : K; })"},
    {"a vector of which a swizzle reads nothing", false, true, R"(
float4 main(float4 a : TEXCOORD0, float4 b : TEXCOORD1) : COLOR { float4 v = float4(a.xy, b.zw); return v.xyxy; })",
     true},
    {"a product of which a constructor keeps nothing", false, true, R"(
float4 main(float4 a : TEXCOORD0, float4 b : TEXCOORD1) : COLOR {
    float4 v = float4(a.x * 2, b.y * 3, 0, 1); return v.xxzw;
})",
     true},
    {"a component stored into a local", false, true, R"(
float4 K; float4 main(float4 a : TEXCOORD0) : COLOR { float4 v = a; v.y = K.x; return v * v.x; })"},
    {"a swizzle of a constructor of a swizzle", false, true, R"(
float4 K; float4 main(float4 c : TEXCOORD0) : COLOR { float4 v = c * K; return float4(v.xy, 0, 1).xyxy.zwzw; })"},
};

TEST(GfxUtilHlslLegaliseTest, EveryFormComesOutAsTheFrontEndsOwnLegalisationMakesIt) {
    glslang::InitializeProcess();
    for (const Form& form : kForms) {
        SCOPED_TRACE(form.what);
        Legalised l;
        ASSERT_TRUE(Legalise(form.source, "form.hlsl", "main", form.vertex, "", l));
        EXPECT_EQ(OneBlockEach(l.made), form.straight);
        EXPECT_EQ(l.ours, l.theFrontEnds);
        EXPECT_NE(l.ours, l.made);
        // The forms of straight code try both ways the compile may go.
        if (form.straight) EXPECT_EQ(ToFirstDeadCodeRound(l.made) != l.theFrontEnds, form.changedLater);
    }
    glslang::FinalizeProcess();
}

TEST(GfxUtilHlslLegaliseTest, AModuleTheOptimiserRefusesStaysAsItWas) {
    std::vector<std::uint32_t> broken = {0x07230203u, 0x00010000u, 0u, 10u, 0u, (9u << 16) | 54u};
    const std::vector<std::uint32_t> before = broken;
    EXPECT_FALSE(LegaliseHlslSpirv(broken));
    EXPECT_EQ(broken, before);
    std::vector<std::uint32_t> empty;
    EXPECT_FALSE(LegaliseHlslSpirv(empty));
    EXPECT_TRUE(empty.empty());
}

// What the program reads once legalised: the members its chains pick and the
// samplers it uses, not what only dead code or a copy never read touched.
TEST(GfxUtilHlslActiveGlobalsTest, TheMembersAndSamplersTheProgramReadsAreActive) {
    glslang::InitializeProcess();
    const char* source = R"(
struct Light { float4 colour; float4 where; };
float4 A; float4 Unused; float4 C[3]; Light L; float4x4 M;
sampler2D S; sampler2D Never; sampler2D Dead;
float4 Helper(float4 v) { return v * Unused; }
float4 main(float2 uv : TEXCOORD0, float4 p : COLOR0) : COLOR {
    float4 dead = Helper(tex2D(Dead, uv));
    float4 t = tex2D(S, uv) * A + C[(int)p.x];
    return t + L.where + mul(p, M)[0];
})";
    Legalised l;
    ASSERT_TRUE(Legalise(source, "active.hlsl", "main", false, "", l));
    std::set<std::string> names;
    ASSERT_TRUE(HlslActiveGlobals(l.ours, names));
    EXPECT_EQ(names, (std::set<std::string>{"A", "C", "L", "M", "S"}));
    // Before legalisation the dead helper still reads its constant and sampler.
    ASSERT_TRUE(HlslActiveGlobals(l.made, names));
    EXPECT_TRUE(names.count("Unused") && names.count("Dead"));
    EXPECT_FALSE(names.count("Never"));
    // A module not in glslang's form.
    std::vector<std::uint32_t> none = {0x07230203u, 0x00010000u, 0u, 4u, 0u};
    EXPECT_FALSE(HlslActiveGlobals(none, names));
    glslang::FinalizeProcess();
}

TEST(GfxUtilHlslLegaliseTest, EveryRealWorldProgramGlslangReadsComesOutTheSame) {
    const std::string manifest = kRealWorld + "/programs.txt";
    if (kRealWorld.empty() || !std::filesystem::is_regular_file(manifest))
        GTEST_SKIP() << "the real-world set is not at " << kRealWorld;
    glslang::InitializeProcess();
    std::ifstream in(manifest);
    std::string line;
    int compared = 0, straight = 0, unread = 0;
    while (std::getline(in, line)) {
        if (const std::size_t note = line.find_first_of("#!"); note != std::string::npos) line.erase(note);
        std::stringstream words(line);
        std::string file, entry, profile, word, preamble;
        if (!(words >> file >> entry >> profile)) continue;
        while (words >> word) {
            if (word[0] == '@') continue;
            const std::size_t eq = word.find('=');
            preamble += "#define " + (eq == std::string::npos ? word + " 1" : word.substr(0, eq) + " " +
                                                                              word.substr(eq + 1)) + "\n";
        }
        const std::string path = kRealWorld + "/" + file;
        std::ifstream source(path, std::ios::binary);
        std::stringstream text;
        text << source.rdbuf();
        Legalised l;
        if (!Legalise(text.str(), path, entry, profile.rfind("vs_", 0) == 0, preamble, l)) {
            ++unread; // the compile's passes make it a form glslang reads
            continue;
        }
        ++compared;
        straight += OneBlockEach(l.made);
        EXPECT_EQ(l.ours, l.theFrontEnds) << file << " " << entry << " " << profile;
    }
    glslang::FinalizeProcess();
    std::cout << "real-world programs: " << compared << " compared (" << straight << " straight code), " << unread
              << " that glslang does not read as they stand\n";
    EXPECT_GT(compared, 0);
    EXPECT_GT(straight, 0);
}

} // namespace
} // namespace gfx
