#include "platform/gfxutil/hlsl/GfxUtilHlslGlsl.h"

#include "platform/gfx/Gfx.h"
#include "platform/gfx/GfxShaderTokens.h"
#include "platform/gfx/GfxShaderTranslator.h"
#include "platform/gfxutil/GfxUtilEffect.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslIntrinsics.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslRegisters.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslSpirv.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslSpirvShapes.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslSwitches.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslText.h"

#include <spirv_cross_c.h>

#include <bitset>
#include <functional>
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace gfx::hlsl {

namespace {

constexpr std::uint64_t kMaxVariableComponents = 65536 * 4;

// Where `word` stands in `text` from `from` on as a name of its own: not
// within a longer one. SPIRV-Cross renames a source's variable that takes a
// GLSL built-in's name (`static float4 gl_Position;`, which cross-compiled
// sources carry) to one that ends with it; that one is no built-in.
std::size_t FindWord(const std::string& text, std::string_view word, std::size_t from = 0) {
    for (std::size_t at = text.find(word, from); at != std::string::npos; at = text.find(word, at + 1)) {
        const std::size_t end = at + word.size();
        if ((at == 0 || !IdentChar(text[at - 1])) && (end >= text.size() || !IdentChar(text[end]))) return at;
    }
    return std::string::npos;
}

// Published declaration usages by semantic name, e.g. "TEXCOORD3".
bool ParseSemantic(std::string_view s, ShaderSemantic& out) {
    static constexpr std::pair<std::string_view, std::uint8_t> kUsages[] = {
        {"POSITIONT", 9}, {"POSITION", 0}, {"BLENDWEIGHT", 1}, {"BLENDINDICES", 2}, {"NORMAL", 3}, {"PSIZE", 4},
        {"TEXCOORD", 5},  {"TANGENT", 6},  {"BINORMAL", 7},    {"TESSFACTOR", 8},   {"COLOR", 10}, {"FOG", 11},
        {"DEPTH", 12},    {"SAMPLE", 13}};
    std::string upper;
    for (char c : s) upper += char(std::toupper(static_cast<unsigned char>(c)));
    // The Direct3D 10 names of the same outputs, which the DX9 targets take.
    static constexpr std::pair<std::string_view, std::string_view> kSystemValues[] = {
        {"SV_TARGET", "COLOR"}, {"SV_DEPTH", "DEPTH"}, {"SV_POSITION", "POSITION"}};
    for (const auto& [name, dx9] : kSystemValues)
        if (upper.starts_with(name)) {
            upper = std::string(dx9) + upper.substr(name.size());
            break;
        }
    for (const auto& [name, usage] : kUsages) {
        if (!std::string_view(upper).starts_with(name)) continue;
        const std::string_view digits = std::string_view(upper).substr(name.size());
        if (!std::all_of(digits.begin(), digits.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
            continue;
        out.usage = usage;
        out.index = std::uint8_t(digits.empty() ? 0 : std::atoi(std::string(digits).c_str()));
        return true;
    }
    return false;
}

class SpvcContext {
public:
    SpvcContext() { spvc_context_create(&m_context); }
    ~SpvcContext() {
        if (m_context) spvc_context_destroy(m_context);
    }
    SpvcContext(const SpvcContext&) = delete;
    SpvcContext& operator=(const SpvcContext&) = delete;
    spvc_context Get() const { return m_context; }

private:
    spvc_context m_context = nullptr;
};

// A SPIRV-Cross compiler for `spirv` in the context; null with `error`.
spvc_compiler StartCompiler(spvc_context ctx, const std::vector<std::uint32_t>& spirv, spvc_backend backend,
                            std::string& error) {
    spvc_parsed_ir ir = nullptr;
    spvc_compiler comp = nullptr;
    if (!ctx || spvc_context_parse_spirv(ctx, spirv.data(), spirv.size(), &ir) != SPVC_SUCCESS ||
        spvc_context_create_compiler(ctx, backend, ir, SPVC_CAPTURE_MODE_TAKE_OWNERSHIP, &comp) != SPVC_SUCCESS) {
        error = ctx ? spvc_context_get_last_error_string(ctx) : "cannot start SPIRV-Cross";
        return nullptr;
    }
    return comp;
}

// Functions GLSL 3.30 lacks that SPIRV-Cross writes for HLSL intrinsics
// (frexp and ldexp came with GLSL 4.00), defined in the program that calls
// them, after its #version line. A pixel program's ddy is taken down the
// target as Direct3D has it: the device draws into its bottom-up window
// flipped, and says so in uFlipY, as its own translation of dsy reads it.
void AddMissingBuiltIns(std::string& glsl, bool vertex) {
    static constexpr std::tuple<std::string_view, std::string_view> kFunctions[] = {
        {"frexp(", "float frexp(float x, out int e) {\n"
                   "    if (x == 0.0 || isinf(x) || isnan(x)) { e = 0; return x; }\n"
                   "    e = int(floor(log2(abs(x)))) + 1;\n"
                   "    float m = x * exp2(float(-e));\n"
                   "    if (abs(m) >= 1.0) { m *= 0.5; e += 1; } else if (abs(m) < 0.5) { m *= 2.0; e -= 1; }\n"
                   "    return m;\n}\n"
                   "vec2 frexp(vec2 x, out ivec2 e) { return vec2(frexp(x.x, e.x), frexp(x.y, e.y)); }\n"
                   "vec3 frexp(vec3 x, out ivec3 e) { return vec3(frexp(x.x, e.x), frexp(x.y, e.y), frexp(x.z, e.z)); }\n"
                   "vec4 frexp(vec4 x, out ivec4 e) {\n"
                   "    return vec4(frexp(x.x, e.x), frexp(x.y, e.y), frexp(x.z, e.z), frexp(x.w, e.w));\n}\n"},
        {"ldexp(", "float ldexp(float x, int e) { return x * exp2(float(e)); }\n"
                   "vec2 ldexp(vec2 x, ivec2 e) { return x * exp2(vec2(e)); }\n"
                   "vec3 ldexp(vec3 x, ivec3 e) { return x * exp2(vec3(e)); }\n"
                   "vec4 ldexp(vec4 x, ivec4 e) { return x * exp2(vec4(e)); }\n"},
    };
    std::string definitions;
    for (const auto& [call, text] : kFunctions)
        if (glsl.find(call) != std::string::npos) definitions += text;
    // SV_Position read by a pixel program is the pixel's position as VPOS
    // gives it at these targets: from the top left, whichever way up the
    // device draws.
    if (!vertex && FindWord(glsl, "gl_FragCoord") != std::string::npos) {
        const std::string from = "gl_FragCoord", to = "orvFragCoord";
        for (std::size_t at = FindWord(glsl, from); at != std::string::npos; at = FindWord(glsl, from, at + to.size()))
            glsl.replace(at, from.size(), to);
        definitions += "uniform vec2 uTarget;\n"
                       "#define orvFragCoord vec4(gl_FragCoord.x - 0.5, (uFlipY.x < 0.0 ? uTarget.y - gl_FragCoord.y :"
                       " gl_FragCoord.y) - 0.5, gl_FragCoord.zw)\n";
    }
    if (!vertex && glsl.find("dFdy(") != std::string::npos) {
        const std::string from = "dFdy(", to = "orvDdy(";
        for (std::size_t at = glsl.find(from); at != std::string::npos; at = glsl.find(from, at + to.size()))
            if (at == 0 || !IdentChar(glsl[at - 1])) glsl.replace(at, from.size(), to);
        definitions += "float orvDdy(float v) { return dFdy(v) * uFlipY.x; }\n"
                       "vec2 orvDdy(vec2 v) { return dFdy(v) * uFlipY.x; }\n"
                       "vec3 orvDdy(vec3 v) { return dFdy(v) * uFlipY.x; }\n"
                       "vec4 orvDdy(vec4 v) { return dFdy(v) * uFlipY.x; }\n";
    }
    if (definitions.empty()) return;
    if (definitions.find("uFlipY") != std::string::npos) definitions = "uniform vec2 uFlipY;\n" + definitions;
    const std::size_t version = glsl.rfind("#version", 0) == 0 ? glsl.find('\n') : std::string::npos;
    glsl.insert(version == std::string::npos ? 0 : version + 1, definitions);
}

} // namespace

namespace {

// Whether `name` is one the device's program composer declares beside the
// program (platform/gfx/GfxShaderTranslator.cpp): its registers, varyings,
// uniforms and helpers. A global or function of the source so named would
// compile here and fail where the composed program is made.
bool ComposerWord(std::string_view name) {
    static const std::set<std::string_view> kNames = {
        "v",        "o",           "oC",       "oDepthV",  "t",          "tc",         "oPos",     "oFogV",
        "oPtsV",    "oD",          "oT",       "a0",       "aL",         "p0",         "oColor",   "oColor1",
        "oColor2",  "oColor3",     "uFlipY",   "uTarget",  "uAlphaRef",  "uAlphaClamp", "uFogColor", "uFog",
        "uViewport", "uDepthRange", "vFog",    "vDiffuse", "vDiffuseFlat", "vSpecular", "vSpecularFlat"};
    if (kNames.count(name)) return true;
    for (const std::string_view prefix : {"d3d", "dC", "aV", "vT", "uPs", "uVs", "uS", "uVS"})
        if (name.starts_with(prefix) && name.size() > prefix.size()) return true;
    if (name.size() > 1 && name[0] == 'r' &&
        std::all_of(name.begin() + 1, name.end(), [](char ch) { return ch >= '0' && ch <= '9'; }))
        return true;
    return false;
}

// Names of the source that are also the composer's (`static float t;`)
// given a suffix. The names the compile gives its interface are set after
// this, and the register file's are no source's.
void RenameComposerWords(const std::vector<std::uint32_t>& spirv, spvc_compiler comp) {
    constexpr std::uint32_t kOpName = 5;
    for (std::size_t at = 5; at < spirv.size();) {
        const std::uint32_t count = spirv[at] >> 16;
        if (count == 0 || at + count > spirv.size()) return;
        if ((spirv[at] & 0xFFFFu) == kOpName && count > 2) {
            const char* text = reinterpret_cast<const char*>(&spirv[at + 2]);
            const std::string name(text, strnlen(text, (count - 2) * 4));
            const std::string base = name.substr(0, name.find('('));
            if (ComposerWord(base)) spvc_compiler_set_name(comp, spirv[at + 1], (base + "_").c_str());
        }
        at += count;
    }
}

} // namespace

bool SpirvToGlsl(std::vector<std::uint32_t> spirv, bool vertex, ShaderContainer& c, std::string& error) {
    // The largest array the source may declare, of four-component
    // registers: the GLSL of a variable holding more (arrays of structs of
    // arrays) is not written at all.
    if (!VariablesWithin(spirv, kMaxVariableComponents, error)) {
        if (error.empty()) error = "unexpected SPIR-V from the compiler";
        return false;
    }
    TruncatedRemainders(spirv);
    if (!SplitMatrixComponentWise(spirv, error)) {
        if (error.empty()) error = "unexpected SPIR-V from the compiler";
        return false;
    }
    if (!ReadConstantArrayCopiesInPlace(spirv) || !HlslAddressRegisterIndices(spirv) || !SplitConstantArrayLoads(spirv) ||
        !ExtractDynamicConstantComponents(spirv) || !CopyDynamicallyIndexedMatrices(spirv) ||
        (!vertex && !ReadPixelPositionAsInput(spirv)))
        return error = "unexpected SPIR-V from the compiler", false;
    SpvcContext context;
    spvc_context ctx = context.Get();
    spvc_compiler comp = StartCompiler(ctx, spirv, SPVC_BACKEND_GLSL, error);
    if (!comp) return false;
    RenameComposerWords(spirv, comp);
    spvc_resources res = nullptr;
    if (spvc_compiler_create_shader_resources(comp, &res) != SPVC_SUCCESS) {
        error = spvc_context_get_last_error_string(ctx);
        return false;
    }
    const spvc_reflected_resource* list = nullptr;
    std::size_t count = 0;
    spvc_resources_get_resource_list_for_type(res, SPVC_RESOURCE_TYPE_UNIFORM_BUFFER, &list, &count);
    for (std::size_t i = 0; i < count; ++i) {
        // The flattened array takes the block type's name.
        spvc_compiler_set_name(comp, list[i].id, vertex ? "uVsC" : "uPsC");
        spvc_compiler_set_name(comp, list[i].base_type_id, vertex ? "uVsC" : "uPsC");
        std::size_t bytes = 0;
        spvc_compiler_get_declared_struct_size(comp, spvc_compiler_get_type_handle(comp, list[i].base_type_id), &bytes);
        c.constF = std::max<std::uint32_t>(c.constF, std::uint32_t((bytes + 15) / 16));
        spvc_compiler_flatten_buffer_block(comp, list[i].id);
    }
    std::vector<std::pair<unsigned, unsigned>> samplerArrays; // first unit, elements
    spvc_resources_get_resource_list_for_type(res, SPVC_RESOURCE_TYPE_SAMPLED_IMAGE, &list, &count);
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned unit = spvc_compiler_get_decoration(comp, list[i].id, SpvDecorationBinding);
        if (unit >= (vertex ? DeviceState::kVertexSamplers : 16)) {
            error = std::string("sampler '") + list[i].name + "' beyond unit " + (vertex ? "3" : "15");
            return false;
        }
        // Vertex samplers are uniforms of their own: the pixel half of a
        // program pair names its samplers uS*.
        spvc_compiler_set_name(comp, list[i].id, ((vertex ? "uVS" : "uS") + std::to_string(unit)).c_str());
        const spvc_type type = spvc_compiler_get_type_handle(comp, list[i].type_id);
        const SpvDim dim = spvc_type_get_image_dimension(type);
        // An array of samplers takes a unit per element.
        unsigned elements = 1;
        if (spvc_type_get_num_array_dimensions(type) == 1) elements = spvc_type_get_array_dimension(type, 0);
        if (spvc_type_get_num_array_dimensions(type) > 1 || elements == 0 ||
            unit + elements > (vertex ? DeviceState::kVertexSamplers : 16)) {
            error = std::string("sampler '") + list[i].name + "' beyond unit " + (vertex ? "3" : "15");
            return false;
        }
        if (elements > 1) samplerArrays.push_back({unit, elements});
        for (unsigned e = 0; e < elements; ++e)
            c.samplers[unit + e] =
                std::uint8_t(dim == SpvDimCube ? D3DSTT_CUBE : dim == SpvDim3D ? D3DSTT_VOLUME : D3DSTT_2D);
        spvc_compiler_unset_decoration(comp, list[i].id, SpvDecorationBinding);
    }
    auto readInterface = [&](spvc_resource_type kind, std::vector<ShaderSemantic>& semantics, bool varying) {
        spvc_resources_get_resource_list_for_type(res, kind, &list, &count);
        for (std::size_t i = 0; i < count; ++i) {
            const char* text = spvc_compiler_get_decoration_string(comp, list[i].id, SpvDecorationUserSemantic);
            // The pixel position and face: the device gives them, they are no
            // varyings. (An SV_Position here is one of fewer than four components.)
            const bool position = text && (EqualNoCase(text, "VPOS") || EqualNoCase(text, "SV_Position"));
            if (!vertex && kind == SPVC_RESOURCE_TYPE_STAGE_INPUT && text && (position || EqualNoCase(text, "VFACE"))) {
                spvc_compiler_set_name(comp, list[i].id, position ? "hVPos" : "hVFace");
                spvc_compiler_unset_decoration(comp, list[i].id, SpvDecorationLocation);
                continue;
            }
            ShaderSemantic s;
            if (!text || !ParseSemantic(text, s)) {
                error = std::string("input or output '") + list[i].name + "' has no semantic this device knows";
                return false;
            }
            // glslang splits an array member of a struct into a variable per
            // element ("o.t[2]"), each with the array's semantic: element k
            // takes the index k after it.
            const std::string_view variable = list[i].name ? list[i].name : "";
            int splitElement = 0;
            if (variable.ends_with("]")) {
                const std::size_t open = variable.rfind('[');
                const std::string_view digits = variable.substr(open + 1, variable.size() - open - 2);
                if (!digits.empty() && digits.size() <= 3 &&
                    std::all_of(digits.begin(), digits.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
                    splitElement = std::atoi(std::string(digits).c_str());
            }
            // An array takes its semantic's index and the ones after it, one
            // register each, as the D3D9 compiler gives them.
            const spvc_type type = spvc_compiler_get_type_handle(comp, list[i].type_id);
            unsigned elements = 1;
            if (spvc_type_get_num_array_dimensions(type) == 1) elements = spvc_type_get_array_dimension(type, 0);
            // A matrix takes a register per column of its HLSL form (a
            // GLSL row), each the next index of its semantic.
            const unsigned perElement = spvc_type_get_columns(type) > 1 ? spvc_type_get_vector_size(type) : 1;
            s.index = std::uint8_t(std::min(s.index + splitElement * int(perElement), 255));
            s.reg = std::uint8_t(semantics.size());
            if (kind == SPVC_RESOURCE_TYPE_STAGE_OUTPUT && !vertex) s.reg = s.index; // colour n goes to target n
            if (spvc_type_get_num_array_dimensions(type) > 1 || elements == 0 || elements > 16 || perElement == 0 ||
                s.index + elements * perElement > 256 || s.reg + elements * perElement > 256) {
                error = std::string("input or output '") + list[i].name + "' is an array the registers cannot hold";
                return false;
            }
            // Named by register: the device wires them to its attributes,
            // varyings and colour outputs by these names.
            const std::string prefix = kind == SPVC_RESOURCE_TYPE_STAGE_INPUT ? "hIn" : "hOut";
            spvc_compiler_set_name(comp, list[i].id, (prefix + std::to_string(s.reg)).c_str());
            // The device interpolates its own registers: how the program
            // asked for it (centroid, flat, noperspective) would only keep
            // the declaration from the form the device reads.
            for (const SpvDecoration d : {SpvDecorationCentroid, SpvDecorationFlat, SpvDecorationNoPerspective,
                                          SpvDecorationSample})
                spvc_compiler_unset_decoration(comp, list[i].id, d);
            if (varying) spvc_compiler_unset_decoration(comp, list[i].id, SpvDecorationLocation);
            else spvc_compiler_set_decoration(comp, list[i].id, SpvDecorationLocation, s.reg);
            for (unsigned e = 0; e < elements * perElement; ++e) {
                ShaderSemantic element = s;
                element.index = std::uint8_t(s.index + e);
                element.reg = std::uint8_t(s.reg + e);
                semantics.push_back(element);
            }
        }
        return true;
    };
    if (!readInterface(SPVC_RESOURCE_TYPE_STAGE_INPUT, c.inputs, !vertex) ||
        !readInterface(SPVC_RESOURCE_TYPE_STAGE_OUTPUT, c.outputs, vertex))
        return false;
    spvc_compiler_options options = nullptr;
    spvc_compiler_create_compiler_options(comp, &options);
    spvc_compiler_options_set_uint(options, SPVC_COMPILER_OPTION_GLSL_VERSION, 330);
    spvc_compiler_options_set_bool(options, SPVC_COMPILER_OPTION_GLSL_ES, SPVC_FALSE);
    spvc_compiler_options_set_bool(options, SPVC_COMPILER_OPTION_GLSL_ENABLE_420PACK_EXTENSION, SPVC_FALSE);
    spvc_compiler_options_set_bool(options, SPVC_COMPILER_OPTION_GLSL_EMIT_UNIFORM_BUFFER_AS_PLAIN_UNIFORMS, SPVC_TRUE);
    // A static the program never sets holds zero, as HLSL gives it; GLSL
    // leaves a global without a value undefined.
    spvc_compiler_options_set_bool(options, SPVC_COMPILER_OPTION_FORCE_ZERO_INITIALIZED_VARIABLES, SPVC_TRUE);
    spvc_compiler_install_compiler_options(comp, options);
    const char* glsl = nullptr;
    if (spvc_compiler_compile(comp, &glsl) != SPVC_SUCCESS || !glsl) {
        error = spvc_context_get_last_error_string(ctx);
        return false;
    }
    c.glsl = glsl;
    AddMissingBuiltIns(c.glsl, vertex);
    SplitLargeSwitches(c.glsl);
    // The device declares a sampler per unit: element k of an array at unit
    // n is the sampler of unit n + k. The D3D9 compiler takes only constant
    // indices into sampler arrays; any other is refused here.
    for (const auto& [unit, elements] : samplerArrays) {
        const std::string name = (vertex ? "uVS" : "uS") + std::to_string(unit);
        for (unsigned e = 0; e < elements; ++e) {
            const std::string from = name + "[" + std::to_string(e) + "]";
            const std::string to = (vertex ? "uVS" : "uS") + std::to_string(unit + e);
            for (std::size_t at = c.glsl.find(from); at != std::string::npos; at = c.glsl.find(from, at + to.size()))
                c.glsl.replace(at, from.size(), to);
        }
        // The array's own declaration goes; the device declares each unit.
        const std::string array = name + "[" + std::to_string(elements) + "];";
        const std::size_t declared = c.glsl.find(array);
        const std::size_t line = declared == std::string::npos ? declared : c.glsl.rfind('\n', declared);
        if (declared != std::string::npos)
            c.glsl.erase(line == std::string::npos ? 0 : line + 1, c.glsl.find('\n', declared) - (line == std::string::npos ? 0 : line + 1) + 1);
        if (c.glsl.find(name + "[") != std::string::npos)
            return error = "a sampler array indexed by a value computed at run time", false;
    }
    // GLSL has no projected cube lookup (texCUBEproj): the coordinate is
    // divided by its w first, as the projection does.
    bool cubeProjection = false;
    for (std::size_t unit = 0; unit < c.samplers.size(); ++unit) {
        if (c.samplers[unit] != D3DSTT_CUBE) continue;
        // A vertex program's lookups are of level 0 (textureProjLod).
        for (const std::string kind : {"", "Lod"}) {
            const std::string sampler = std::string(vertex ? "uVS" : "uS") + std::to_string(unit) + ",";
            const std::string from = "textureProj" + kind + "(" + sampler, to = "orvCubeProj" + kind + "(" + sampler;
            for (std::size_t at = c.glsl.find(from); at != std::string::npos; at = c.glsl.find(from, at + to.size())) {
                c.glsl.replace(at, from.size(), to);
                cubeProjection = true;
            }
        }
    }
    if (cubeProjection) {
        // It takes the sampler as a parameter: it may stand before the samplers.
        const std::size_t version = c.glsl.rfind("#version", 0) == 0 ? c.glsl.find('\n') : std::string::npos;
        c.glsl.insert(version == std::string::npos ? 0 : version + 1,
                      std::string("vec4 orvCubeProj(samplerCube s, vec4 c) { return texture(s, c.xyz / c.w); }\n") +
                          (vertex ? "" : "vec4 orvCubeProj(samplerCube s, vec4 c, float bias) { return texture(s, c.xyz / c.w, bias); }\n") +
                          "vec4 orvCubeProjLod(samplerCube s, vec4 c, float lod) { return textureLod(s, c.xyz / c.w, lod); }\n");
    }
    // The position and point size a program writes through `out` parameters
    // come out as GLSL's own variables: outputs like the others, recorded so
    // that the device takes them from the program.
    if (vertex) {
        static constexpr std::tuple<std::string_view, const char*, std::uint8_t> kBuiltIns[] = {
            {"gl_Position", "vec4", D3DDECLUSAGE_POSITION}, {"gl_PointSize", "float", D3DDECLUSAGE_PSIZE}};
        for (const auto& [builtIn, type, usage] : kBuiltIns) {
            if (FindWord(c.glsl, builtIn) == std::string::npos) continue;
            ShaderSemantic s;
            s.usage = usage;
            s.reg = std::uint8_t(c.outputs.size());
            const std::string name = "hOut" + std::to_string(s.reg);
            // A point size of more than one component (a float2 PSIZE) is
            // its first: GLSL's is a float.
            if (usage == D3DDECLUSAGE_PSIZE) {
                const std::string store = std::string(builtIn) + " = ";
                bool wrapped = false;
                for (std::size_t at = FindWord(c.glsl, builtIn); at != std::string::npos;
                     at = FindWord(c.glsl, builtIn, at + 1)) {
                    if (c.glsl.compare(at, store.size(), store) != 0) continue;
                    const std::size_t end = c.glsl.find(';', at);
                    if (end == std::string::npos) break;
                    c.glsl.insert(end, ")");
                    c.glsl.insert(at + store.size(), "orvPointSize(");
                    wrapped = true;
                }
                if (wrapped) {
                    const std::size_t version = c.glsl.rfind("#version", 0) == 0 ? c.glsl.find('\n') : std::string::npos;
                    c.glsl.insert(version == std::string::npos ? 0 : version + 1,
                                  "float orvPointSize(float v) { return v; }\n"
                                  "float orvPointSize(vec2 v) { return v.x; }\n"
                                  "float orvPointSize(vec3 v) { return v.x; }\n"
                                  "float orvPointSize(vec4 v) { return v.x; }\n");
                }
            }
            for (std::size_t at = FindWord(c.glsl, builtIn); at != std::string::npos;
                 at = FindWord(c.glsl, builtIn, at + name.size()))
                c.glsl.replace(at, builtIn.size(), name);
            const std::size_t version = c.glsl.rfind("#version", 0) == 0 ? c.glsl.find('\n') : std::string::npos;
            c.glsl.insert(version == std::string::npos ? 0 : version + 1, std::string("out ") + type + " " + name + ";\n");
            c.outputs.push_back(s);
        }
    }
    const auto writes = [&](std::uint8_t usage) {
        return std::any_of(c.outputs.begin(), c.outputs.end(), [&](const ShaderSemantic& s) { return s.usage == usage; });
    };
    if (vertex && !writes(D3DDECLUSAGE_POSITION)) return error = "vertex program writes no position", false;
    if (!vertex && !writes(D3DDECLUSAGE_COLOR)) return error = "pixel program writes no colour", false;
    return true;
}

std::uint16_t SamplerTypeRead(const ShaderContainer& c, std::uint16_t type, std::uint32_t unit) {
    if (type != D3DXPT_SAMPLER || unit >= c.samplers.size()) return type;
    switch (c.samplers[unit]) {
    case D3DSTT_2D: return D3DXPT_SAMPLER2D;
    case D3DSTT_CUBE: return D3DXPT_SAMPLERCUBE;
    case D3DSTT_VOLUME: return D3DXPT_SAMPLER3D;
    default: return type;
    }
}

bool ReadStandInsFromTheirFiles(std::string& glsl, bool vertex, const std::vector<HlslGlobal>& globals) {
    const std::string floats = vertex ? "uVsC[" : "uPsC[";
    // Where the source placed each of its booleans and integers itself, a
    // scalar of its own register (the count of a loop, `int n :
    // register(i0)`), the computed indices are of other constants: a loop
    // bounded so reads an array by its counter.
    bool placedScalars = true, any = false;
    for (const HlslGlobal& g : globals)
        if (g.shadow && !g.effectOnly && !g.unused) {
            any = true;
            placedScalars = placedScalars && g.explicitRegister && g.registerCount == 1 && g.elements <= 1 &&
                            g.rows == 1 && g.columns == 1;
        }
    placedScalars = placedScalars && any;
    for (std::size_t at = glsl.find(floats); at != std::string::npos && !placedScalars; at = glsl.find(floats, at + 1))
        if (at + floats.size() >= glsl.size() || !std::isdigit(static_cast<unsigned char>(glsl[at + floats.size()])))
            return false;
    bool bools = false, ints = false;
    std::map<std::uint32_t, std::string> standIns; // float register: the read that replaces it
    for (const HlslGlobal& g : globals) {
        if (!g.shadow || g.effectOnly || g.unused) continue;
        const bool isBool = g.registerSet == kSetBool;
        (isBool ? bools : ints) = true;
        for (std::uint32_t e = 0; e < g.registerCount; ++e) {
            const std::string index = std::to_string(g.registerIndex + e);
            standIns.emplace(g.shadowIndex + e, isBool ? std::string("vec4(float(") + (vertex ? "uVsB[" : "uPsB[") +
                                                             index + "] != 0))"
                                                       : std::string("vec4(") + (vertex ? "uVsI[" : "uPsI[") + index +
                                                             "])");
        }
    }
    // Made in one sweep: a read replaced at a time would move the rest of
    // the text for every read.
    std::string out;
    out.reserve(glsl.size());
    std::size_t copied = 0;
    for (std::size_t at = glsl.find(floats); at != std::string::npos; at = glsl.find(floats, at + 1)) {
        std::size_t end = at + floats.size();
        std::uint32_t reg = 0;
        while (end < glsl.size() && std::isdigit(static_cast<unsigned char>(glsl[end])) && reg < kMaxRegisters)
            reg = reg * 10 + std::uint32_t(glsl[end++] - '0');
        const auto standIn = standIns.find(reg);
        if (end >= glsl.size() || glsl[end] != ']' || standIn == standIns.end()) continue;
        out.append(glsl, copied, at - copied);
        out += standIn->second;
        copied = end + 1;
    }
    out.append(glsl, copied);
    std::string declarations;
    if (bools) declarations += std::string("uniform int ") + (vertex ? "uVsB" : "uPsB") + "[16];\n";
    if (ints) declarations += std::string("uniform ivec4 ") + (vertex ? "uVsI" : "uPsI") + "[16];\n";
    const std::size_t version = out.rfind("#version", 0) == 0 ? out.find('\n') : std::string::npos;
    out.insert(version == std::string::npos ? 0 : version + 1, declarations);
    glsl = std::move(out);
    return true;
}

void FitRegisterFile(ShaderContainer& c, bool vertex) {
    std::uint32_t last = 0;
    for (const ShaderConstantRecord& k : c.constants)
        if (k.registerSet == kSetFloat) last = std::max<std::uint32_t>(last, std::uint32_t(k.registerIndex) + k.registerCount);
    const std::string type = "uniform vec4 ", floats = vertex ? "uVsC[" : "uPsC[";
    const std::size_t declaration = c.glsl.find(type + floats);
    if (last == 0 || declaration == std::string::npos) return;
    const std::size_t name = declaration + type.size();
    const std::size_t end = c.glsl.find("];", name);
    if (end == std::string::npos) return;
    std::uint32_t named = last;
    for (std::size_t at = c.glsl.find(floats); at != std::string::npos; at = c.glsl.find(floats, at + 1)) {
        const char* digits = c.glsl.c_str() + at + floats.size();
        if (at != name && std::isdigit(static_cast<unsigned char>(*digits)))
            named = std::max<std::uint32_t>(named, std::uint32_t(std::min<unsigned long>(std::strtoul(digits, nullptr, 10), 4096)) + 1);
    }
    c.glsl.replace(declaration, end + 2 - declaration, type + floats + std::to_string(named) + "];");
    c.constF = named;
}

} // namespace gfx::hlsl
