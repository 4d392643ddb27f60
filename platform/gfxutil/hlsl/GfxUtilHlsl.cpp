// The installed glslang is built with its SPIR-V optimiser; its header shows
// the optimiser's entry only under this switch.
#ifndef ENABLE_OPT
#define ENABLE_OPT 1
#endif

#include "platform/gfxutil/hlsl/GfxUtilHlsl.h"

#include "platform/gfx/Gfx.h"
#include "platform/gfx/GfxShaderTokens.h"
#include "platform/gfx/GfxShaderTranslator.h"
#include "platform/gfxutil/GfxUtilEffect.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslBuffers.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslFlatten.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslCompile.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslEffectSyntax.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslGlsl.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslGuard.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslIntrinsics.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslLayout.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslLimits.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslMessage.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslOneRowOrColumn.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslRegisters.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslRefusals.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslRewrite.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslSpirv.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslSwizzle.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslText.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslTextureObjects.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslTranslateJob.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslWorkers.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslWords.h"
#include "platform/gfxutil/GfxUtilPreprocess.h"
#include "platform/gfxutil/GfxUtilShader.h"

#include <glslang/Public/ResourceLimits.h>
#include <glslang/Public/ShaderLang.h>
#include <glslang/SPIRV/GlslangToSpv.h>
#include <glslang/SPIRV/SpvTools.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <tuple>

namespace gfx {
namespace hlsl {
namespace {

constexpr std::size_t kMaxMessages = 64; // error lines from the preprocessor

struct Profile {
    bool vertex = false;
    std::uint32_t major = 0, minor = 0;
};

bool ParseProfile(const char* text, Profile& p) {
    if (!text) return false;
    static constexpr std::pair<std::string_view, Profile> kProfiles[] = {
        {"vs_1_1", {true, 1, 1}}, {"vs_2_0", {true, 2, 0}},  {"vs_2_a", {true, 2, 1}}, {"vs_3_0", {true, 3, 0}},
        {"ps_1_1", {false, 1, 1}}, {"ps_1_2", {false, 1, 2}}, {"ps_1_3", {false, 1, 3}}, {"ps_1_4", {false, 1, 4}},
        {"ps_2_0", {false, 2, 0}}, {"ps_2_a", {false, 2, 1}}, {"ps_2_b", {false, 2, 2}}, {"ps_3_0", {false, 3, 0}}};
    for (const auto& [name, profile] : kProfiles)
        if (name == text) {
            p = profile;
            return true;
        }
    return false;
}

// glslang's "ERROR: name:line: text" lines as "file(line,col): error: text",
// with the file and line the preprocessed line came from.
std::string FormatErrors(const std::string& log, const std::string& name, const PreprocessedText& lines) {
    std::string out;
    std::size_t column = 1;
    const std::string columnMark = "error at column ";
    const std::size_t mark = log.find(columnMark);
    if (mark != std::string::npos) column = std::strtoul(log.c_str() + mark + columnMark.size(), nullptr, 10);
    std::size_t at = 0;
    while (at < log.size()) {
        std::size_t end = log.find('\n', at);
        if (end == std::string::npos) end = log.size();
        std::string_view line(log.data() + at, end - at);
        at = end + 1;
        if (!line.starts_with("ERROR: ")) continue;
        line.remove_prefix(7);
        const std::string prefix = name + ":";
        if (!line.starts_with(prefix)) {
            if (line.find("compilation errors") == std::string_view::npos && line.find("No code generated") == std::string_view::npos)
                out += name + "(1,1): error: " + std::string(line) + "\n";
            continue;
        }
        line.remove_prefix(prefix.size());
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        std::string_view text = line.substr(colon + 1);
        while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
        while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
        const std::string number(line.substr(0, colon));
        const PreprocessedText::Origin o = lines.At(std::strtoul(number.c_str(), nullptr, 10));
        out += lines.files[static_cast<std::size_t>(o.file)] + "(" + std::to_string(o.line) + "," +
               std::to_string(column) + "): error: " + std::string(text) + "\n";
    }
    if (out.empty() && !log.empty()) out = name + "(1,1): error: " + log;
    return out;
}

// The rewritten source to SPIR-V; false with the compiler's errors.
bool ToSpirv(const std::string& rewritten, const std::string& sourceName, const PreprocessedText& lines,
             const char* entry, bool vertex, std::vector<std::uint32_t>& spirv, std::string& errors) {
    const EShLanguage stage = vertex ? EShLangVertex : EShLangFragment;
    glslang::TShader shader(stage);
    const char* text = rewritten.c_str();
    const int length = int(rewritten.size());
    const char* names[] = {sourceName.c_str()};
    shader.setStringsWithLengthsAndNames(&text, &length, names, 1);
    shader.setEntryPoint(entry);
    shader.setSourceEntryPoint(entry);
    shader.setEnvInput(glslang::EShSourceHlsl, stage, glslang::EShClientOpenGL, 100);
    shader.setEnvClient(glslang::EShClientOpenGL, glslang::EShTargetOpenGL_450);
    shader.setEnvTarget(glslang::EShTargetSpv, glslang::EShTargetSpv_1_0);
    shader.setEnvTargetHlslFunctionality1(); // keeps the semantics on inputs and outputs
    shader.setHlslIoMapping(true);
    shader.setAutoMapBindings(true);
    shader.setAutoMapLocations(true);
    const auto messages = EShMessages(EShMsgReadHlsl | EShMsgHlslDX9Compatible | EShMsgSpvRules | EShMsgHlslLegalization);
    if (!shader.parse(GetDefaultResources(), 110, false, messages)) {
        errors = FormatErrors(shader.getInfoLog(), sourceName, lines);
        return false;
    }
    glslang::TProgram program;
    program.addShader(&shader);
    if (!program.link(messages) || !program.mapIO()) {
        errors = FormatErrors(program.getInfoLog(), sourceName, lines);
        return false;
    }
    spirv.clear();
    // The optimiser folds the remainders of constants floored, as glslang
    // emits them; they are made truncated first, so that folded and run-time
    // remainders agree.
    glslang::SpvOptions spvOptions;
    spvOptions.disableOptimizer = true;
    const glslang::TIntermediate& intermediate = *program.getIntermediate(stage);
    spv::SpvBuildLogger logger;
    glslang::GlslangToSpv(intermediate, spirv, &logger, &spvOptions);
    TruncatedRemainders(spirv);
    // A module the optimiser refuses goes on as the front end made it, as
    // glslang's own legalisation leaves it.
    (void)LegaliseHlslSpirv(spirv);
    // A module the optimiser will not unroll stays as it was: its sampler
    // picked at run time is refused on the way to GLSL.
    static_cast<void>(UnrollLoopsPickingSamplers(spirv));
    return true;
}

// What a compile is asked for, checked before any work: false with the
// message.
bool StartCompile(const std::string& sourceName, const char* entry, const char* profileText, Profile& profile,
                  std::string& errors) {
    if (!ParseProfile(profileText, profile)) {
        errors = sourceName + "(1,1): error: unknown profile '" + std::string(profileText ? profileText : "") + "'\n";
        return false;
    }
    if (!entry || !*entry) {
        errors = sourceName + "(1,1): error: no entry point\n";
        return false;
    }
    return true;
}

// A source or a preprocessed text over the scope's cap: false with the message.
bool WithinCap(std::size_t bytes, const std::string& sourceName, const HlslCompileScope& scope, std::string& errors) {
    if (bytes <= scope.Limits().expandedBytes) return true;
    errors = sourceName + "(1,1): error: the source passes " + std::to_string(scope.Limits().expandedBytes) + " bytes\n";
    return false;
}

// The one step from a byte of a pass's text to a message: every pass keeps
// the preprocessor's lines one for one, and each of those knows the file and
// line it came from. An offset past the text stands at its end.
std::string ErrorAt(const PreprocessedText& lines, std::string_view text, std::size_t at, const std::string& reason) {
    at = std::min(at, text.size());
    const std::size_t lineStart = at == 0 ? std::string_view::npos : text.rfind('\n', at - 1);
    const std::size_t column = lineStart == std::string_view::npos ? at + 1 : at - lineStart;
    const auto line = std::size_t(1 + std::count(text.begin(), text.begin() + std::ptrdiff_t(at), '\n'));
    const PreprocessedText::Origin o = lines.At(line);
    return lines.files[static_cast<std::size_t>(o.file)] + "(" + std::to_string(o.line) + "," +
           std::to_string(column) + "): error: " + reason + "\n";
}

// One compile of a preprocessed text on its way through the stages below.
struct Compile {
    const PreprocessedText& lines;
    const std::string& sourceName;
    const char* entry;
    const char* profileText;
    Profile profile;
    std::uint8_t majority;
    std::string& errors;
    // The source as the passes so far made it.
    std::string text;
    // The layout's refusal and where in `text` it stands, kept from one
    // stage to the next as the layout is done again.
    std::size_t at = 0;
    std::string reason;

    // A refusal at byte `where` of `text`: false.
    bool RefuseAt(std::size_t where, const std::string& why) {
        errors = ErrorAt(lines, text, where, why);
        return false;
    }
    bool RefuseLayout() { return RefuseAt(at, reason); }
    // A refusal of the program as a whole: false.
    bool Refuse(const std::string& why) {
        errors = sourceName + "(1,1): error: " + why + "\n";
        return false;
    }
};

// The effect's syntax checked and blanked, the component-wise forms spelt
// out, then the forms the language refuses that the front end would take.
// Texture objects read through a sampler are combined samplers from the
// start.
bool CheckForms(Compile& k) {
    std::size_t at = 0;
    std::string why;
    if (!ReadEffectSyntax(CombineTextureObjects(k.lines.text), k.text, at, why, k.entry)) return k.RefuseAt(at, why);
    k.text = BlankEffectSyntax(k.text);
    // What the blanking leaves of an effect's techniques (and any blank
    // line) goes empty: every pass after steps through each blank byte.
    EmptyBlankLines(k.text);
    std::string flat;
    if (!PassesExpired() && !FlattenComponents(k.text, flat, why, at)) return k.RefuseAt(at, why);
    if (!PassesExpired()) k.text = std::move(flat);
    k.text = GroupLocalFlatLists(k.text);
    if (!PassesExpired() &&
        !RefuseInvalidForms(k.text, k.entry, at, why, {true, k.profile.vertex, k.profile.major, k.profile.minor}))
        return k.RefuseAt(at, why);
    return true;
}

// The words, shapes and intrinsics read as the D3D9 compiler reads them, in
// forms the front end takes.
bool ReadAsTheD3D9CompilerDoes(Compile& k) {
    // Buffers opened first: their members are globals to every pass after.
    k.text = ReadWordsAsTheD3D9CompilerDoes(DoubleUniformArguments(OpenConstantBuffers(k.text)), k.entry);
    // Past the deadline the passes stop short, and the layout refuses.
    if (!PassesExpired() && UnnamedEntryParameter(k.text, k.entry))
        return k.Refuse("a parameter of '" + std::string(k.entry) + "' has no name");
    std::string lifted = LiftEntryUniforms(UniformWordsOutsideEntry(k.text, k.entry), k.entry);
    // The entry's uniforms are globals now: a double one picks its overloads
    // as a global double does.
    if (lifted.size() != k.text.size()) lifted = DoubleUniformArguments(lifted);
    k.text = InitialiseStaticsInEntry(lifted, k.entry);
    std::size_t at = 0;
    std::string why;
    if (!PassesExpired()) {
        std::string shaped;
        if (!OneRowOrColumnShapes(k.text, shaped, why, at)) return k.RefuseAt(at, why);
        k.text = std::move(shaped);
    }
    k.text = OneComponentProducts(MatrixArgumentsByRows(MatrixSwizzlesByComponent(DialectTypeWords(k.text))));
    const bool intrinsicsTaken = IntrinsicsAsTheD3D9CompilerGivesThem(k.text, at, why);
    if (CallsNoise(k.text))
        return k.Refuse("'noise' is offered to texture fill programs only, not to " + std::string(k.profileText));
    if (!intrinsicsTaken) return k.RefuseAt(at, why);
    return true;
}

// The uniforms laid out in the constant registers.
bool LayOut(Compile& k, std::vector<HlslGlobal>& globals) {
    if (!LayoutHlslGlobals(k.text, globals, k.reason, k.profileText, &k.at, k.majority)) return k.RefuseLayout();
    // Where there is static flow control (vertex programs from 2.0, pixel
    // programs from 3.0) a boolean scalar goes to the boolean registers.
    const Profile& profile = k.profile;
    const bool flowControl = profile.vertex ? profile.major >= 2 : profile.major >= 3;
    // Likewise an int scalar bounding a `for` loop goes to the integer
    // registers, where the loop reads its count; an int read any other way
    // stays a float constant, as the D3D9 compiler keeps it.
    const auto bounds = flowControl ? LoopBounds(k.text) : std::set<std::string, std::less<>>{};
    bool implicitBools = false;
    for (HlslGlobal& g : globals) {
        if (!flowControl || g.effectOnly || g.explicitRegister || g.registerSet != kSetFloat || g.rows != 1 ||
            g.columns != 1 || g.cls == D3DXPC_STRUCT)
            continue;
        if (g.type == D3DXPT_BOOL) {
            g.registerSet = kSetBool;
            g.shadow = implicitBools = true;
            g.registerCount = std::max<std::uint16_t>(g.elements, 1);
        } else if (g.type == D3DXPT_INT && g.elements == 0 && bounds.count(g.name)) {
            g.registerSet = kSetInt;
            g.shadow = implicitBools = true;
            g.registerCount = 1;
        }
    }
    if (implicitBools && !Assign(globals, k.reason, k.at, true)) return k.RefuseLayout();
    return true;
}

// The program as SPIR-V, with the laid-out uniforms written in.
bool ToSpirvOf(Compile& k, const std::vector<HlslGlobal>& globals, std::vector<std::uint32_t>& spirv) {
    spirv.clear();
    std::string rewritten;
    if (!OneDimensionalAsTwo(Rewrite(k.text, globals), rewritten))
        return k.Refuse("tex1D lookups nested too deeply");
    EmptyBlankLines(rewritten);
    return ToSpirv(rewritten, k.sourceName, k.lines, k.entry, k.profile.vertex, spirv, k.errors);
}

// What the profile cannot run, refused from the program's SPIR-V.
bool FitsTheProfile(Compile& k, const std::vector<std::uint32_t>& spirv) {
    // What the profile cannot hold is refused here: its GLSL would compile,
    // then hold the driver at creation or at the first draw.
    const Profile& profile = k.profile;
    if (!ProgramFitsProfile(spirv, profile.vertex, profile.major, profile.minor, k.profileText, k.entry, k.text, k.at,
                            k.reason))
        return k.RefuseLayout();
    if (!PixelOnlyOperations(spirv, profile.vertex, k.text, k.at, k.reason)) return k.RefuseLayout();
    return true;
}

// What the program never reads leaves the table, and each constant keeps
// the registers up to the last one the program reads; the rest is laid out
// again without what that frees, as the D3D9 compiler lays out only what is
// used. The SPIR-V is made again where a register moved.
bool KeepWhatIsRead(Compile& k, std::vector<HlslGlobal>& globals, std::vector<std::uint32_t>& spirv) {
    std::set<std::string> active;
    if (!HlslActiveGlobals(spirv, active)) return k.Refuse("unexpected SPIR-V from the compiler");
    std::map<std::string, std::uint32_t> registersRead;
    if (!HlslRegistersRead(spirv, registersRead)) registersRead.clear(); // every register of each then
    std::vector<std::tuple<bool, std::uint16_t, std::uint16_t>> before;
    for (HlslGlobal& g : globals) {
        before.emplace_back(g.unused, g.registerIndex, g.shadowIndex);
        if (g.effectOnly) continue;
        if (!active.count(g.name)) {
            g.unused = true;
            continue;
        }
        // The stand-ins of boolean and integer registers keep all theirs.
        const auto read = registersRead.find(g.name);
        if (g.registerSet == kSetFloat && !g.shadow && read != registersRead.end() && read->second > 0 &&
            read->second < g.registerCount)
            g.registerCount = std::uint16_t(read->second);
    }
    if (!Assign(globals, k.reason, k.at)) return k.RefuseLayout();
    bool moved = false;
    for (std::size_t i = 0; i < globals.size(); ++i)
        moved = moved || before[i] != std::make_tuple(globals[i].unused, globals[i].registerIndex, globals[i].shadowIndex);
    return !moved || ToSpirvOf(k, globals, spirv);
}

// The container's kind word of the profile.
std::uint32_t KindOf(const Profile& profile) {
    return (profile.vertex ? 0xFFFE0000u : 0xFFFF0000u) | (profile.major << 8) | profile.minor;
}

// The SPIR-V as the container's GLSL, its boolean and integer stand-ins
// read from their own register files where the program lets them.
bool ToGlsl(Compile& k, std::vector<HlslGlobal>& globals, std::vector<std::uint32_t>& spirv, ShaderContainer& c) {
    const Profile& profile = k.profile;
    // Shader model 2 compares floats for equality by their squared difference.
    const auto toGlsl = [&](ShaderContainer& out, std::string& error) {
        if (profile.major < 3) EqualityBySquaredDifference(spirv);
        return SpirvToGlsl(spirv, profile.vertex, out, error);
    };
    c = ShaderContainer{};
    c.kind = KindOf(profile);
    std::string error;
    if (!toGlsl(c, error)) return k.Refuse(error);
    if (!MatricesOfNumbersOnly(c.glsl, k.text, k.at, k.reason)) return k.RefuseLayout();
    if (profile.vertex && profile.major < 3 &&
        std::any_of(c.samplers.begin(), c.samplers.end(), [](std::uint8_t s) { return s != 0; }))
        return k.Refuse("vertex texture fetch needs vs_3_0");
    if (ReadStandInsFromTheirFiles(c.glsl, profile.vertex, globals)) return true;
    // A computed index into the float registers: booleans stay there.
    bool explicitFiles = false;
    for (HlslGlobal& g : globals) {
        if (!g.shadow || g.effectOnly || g.unused) continue;
        if (g.explicitRegister) explicitFiles = true;
        g.shadow = false;
        g.registerSet = kSetFloat;
    }
    if (explicitFiles) return k.Refuse("boolean or integer registers in a program that indexes its constants");
    c = ShaderContainer{};
    c.kind = KindOf(profile);
    if (!Assign(globals, k.reason, k.at)) return k.RefuseLayout();
    if (!ToSpirvOf(k, globals, spirv) || !toGlsl(c, error)) {
        if (k.errors.empty()) return k.Refuse(error.empty() ? k.reason : error);
        return false;
    }
    return true;
}

// Constants laid out past the profile's float registers, refused at their
// declaration: the device would refuse the program.
bool ConstantsFitTheProfile(Compile& k, const std::vector<HlslGlobal>& globals) {
    const Profile& profile = k.profile;
    return ConstantsFitProfile(globals, profile.vertex, profile.major, profile.minor, k.profileText, k.at, k.reason) ||
           k.RefuseLayout();
}

// A global's name in the table: an entry's uniform parameter is "$name",
// a texture read through a sampler state "sampler+texture", a renamed word
// its word as written, in the namespaces it is declared in.
std::string TableName(std::string_view word) {
    std::string prefix;
    if (word.starts_with(kLiftedUniform)) {
        prefix = "$";
        word.remove_prefix(kLiftedUniform.size());
    }
    std::string name = CombinedSamplerTableName(word);
    const std::size_t own = name.rfind("::") == std::string::npos ? 0 : name.rfind("::") + 2;
    if (std::string_view(name).substr(own).starts_with(kRenamedWord)) name.erase(own, kRenamedWord.size());
    return prefix + name;
}

// The table's constants in the order the D3D9 compiler stores them: by
// name, as bytes compare ('$' before digits before capitals before '_'
// before small letters), each struct's members after it as declared.
void SortByName(ShaderContainer& c) {
    std::vector<std::pair<std::size_t, std::size_t>> groups; // [first, end) of each top-level constant
    for (std::size_t i = 0; i < c.constants.size(); ++i) {
        if (c.constants[i].parent == -1) groups.emplace_back(i, i + 1);
        else if (!groups.empty()) groups.back().second = i + 1;
    }
    std::stable_sort(groups.begin(), groups.end(), [&](const auto& a, const auto& b) {
        return c.constants[a.first].name < c.constants[b.first].name;
    });
    std::vector<ShaderConstantRecord> sorted;
    sorted.reserve(c.constants.size());
    for (const auto& [first, end] : groups) {
        const std::ptrdiff_t moved = std::ptrdiff_t(sorted.size()) - std::ptrdiff_t(first);
        for (std::size_t i = first; i < end; ++i) {
            ShaderConstantRecord k = std::move(c.constants[i]);
            if (k.parent != -1) k.parent = std::int16_t(k.parent + moved);
            sorted.push_back(std::move(k));
        }
    }
    c.constants = std::move(sorted);
}

// The constant table of what the program reads, members after their struct.
void TableConstants(const std::vector<HlslGlobal>& globals, ShaderContainer& c) {
    for (const HlslGlobal& g : globals) {
        if (g.effectOnly || g.unused) continue;
        ShaderConstantRecord k;
        k.name = TableName(g.name);
        k.registerSet = g.registerSet;
        k.registerIndex = g.registerIndex;
        k.registerCount = g.registerCount;
        k.cls = g.cls;
        k.type = g.registerSet == kSetSampler ? SamplerTypeRead(c, g.type, g.registerIndex) : g.type;
        k.rows = g.cls == D3DXPC_OBJECT ? 1 : g.rows;
        k.columns = g.cls == D3DXPC_OBJECT ? 1 : g.columns;
        k.elements = std::max<std::uint16_t>(g.elements, 1);
        k.defaultValue.resize(g.defaults.size() * sizeof(float));
        if (!g.defaults.empty()) std::memcpy(k.defaultValue.data(), g.defaults.data(), k.defaultValue.size());
        if (g.registerSet == kSetFloat)
            c.constF = std::max<std::uint32_t>(c.constF, std::uint32_t(g.registerIndex) + g.registerCount);
        k.structMembers = std::uint16_t(std::count_if(g.members.begin(), g.members.end(),
                                                      [](const HlslMember& m) { return m.parent < 0; }));
        const std::int16_t parent = std::int16_t(c.constants.size());
        c.constants.push_back(std::move(k));
        // Members follow their struct, with the registers of its first
        // element; a struct member's own after it, naming it as theirs.
        const std::size_t firstMember = c.constants.size();
        for (const HlslMember& m : g.members) {
            ShaderConstantRecord r;
            // Its name as declared: a base's member a derived struct hides,
            // or a word the dialect reads otherwise, was renamed.
            std::string_view name = m.name;
            if (name.starts_with(kRenamedWord)) name.remove_prefix(kRenamedWord.size());
            name = DeclaredMemberName(name);
            if (name.starts_with(kRenamedWord)) name.remove_prefix(kRenamedWord.size());
            r.name = std::string(name);
            r.registerSet = kSetFloat;
            r.registerIndex = std::uint16_t(g.registerIndex + m.registerOffset);
            // Of a struct the program reads in part, what lies past the
            // last register read is no member's any more.
            const std::uint32_t end = g.elements > 1 ? 0xFFFFu : g.registerCount;
            r.registerCount = m.registerOffset >= end ? 0 : std::uint16_t(std::min<std::uint32_t>(m.registerCount, end - m.registerOffset));
            r.cls = m.cls;
            r.type = m.type;
            r.rows = m.rows;
            r.columns = m.columns;
            r.elements = std::max<std::uint16_t>(m.elements, 1);
            r.structMembers = m.structMembers;
            r.parent = m.parent < 0 ? parent : std::int16_t(firstMember + std::size_t(m.parent));
            c.constants.push_back(std::move(r));
        }
    }
}

// From the laid-out program to its container: the front end's SPIR-V, what
// the profile refuses of it, the registers it reads, its GLSL and the
// constant table.
bool Translate(Compile& k, std::vector<HlslGlobal>& globals, std::vector<std::uint8_t>& code) {
    std::vector<std::uint32_t> spirv;
    ShaderContainer c;
    if (!ToSpirvOf(k, globals, spirv) || !FitsTheProfile(k, spirv) || !KeepWhatIsRead(k, globals, spirv) ||
        !ToGlsl(k, globals, spirv, c) || !ConstantsFitTheProfile(k, globals))
        return false;
    TableConstants(globals, c);
    SortByName(c);
    FitRegisterFile(c, k.profile.vertex);
    code = WriteShaderContainer(c);
    return true;
}

// Translate's answer from the worker: whether it took the program, then the
// sizes of the code and of the messages, then both.
std::vector<std::uint8_t> TranslationReply(bool ok, const std::vector<std::uint8_t>& code, const std::string& errors) {
    const std::uint32_t sizes[2] = {static_cast<std::uint32_t>(code.size()), static_cast<std::uint32_t>(errors.size())};
    std::vector<std::uint8_t> bytes(1 + sizeof sizes + code.size() + errors.size());
    bytes[0] = ok ? 1 : 0;
    std::memcpy(bytes.data() + 1, sizes, sizeof sizes);
    if (!code.empty()) std::memcpy(bytes.data() + 1 + sizeof sizes, code.data(), code.size());
    if (!errors.empty()) std::memcpy(bytes.data() + 1 + sizeof sizes + code.size(), errors.data(), errors.size());
    return bytes;
}

bool CompileLines(const PreprocessedText& lines, const std::string& sourceName, const char* entry,
                  const char* profileText, const Profile& profile, std::vector<std::uint8_t>& code,
                  std::string& errors, std::uint8_t majority, bool isolated);

// What a worker needs of a compile to Translate it: the preprocessor's
// lines (for the messages), the names, the passes' text and the layout.
std::vector<std::uint8_t> TranslationRequest(const Compile& k, const std::vector<HlslGlobal>& globals) {
    MessageWriter m;
    m.Put(k.lines);
    m.Put(k.sourceName);
    m.Put(std::string_view(k.entry));
    m.Put(std::string_view(k.profileText));
    m.Put(k.majority);
    m.Put(k.text);
    m.Put(k.at);
    m.Put(k.reason);
    m.Put(globals);
    return std::move(m.Bytes());
}

// Translate in a warm worker bounded by the compile under way: its work
// grows with the source, and glslang and SPIRV-Cross recurse with it, so a
// hostile source ends in a refusal at the budget, the memory cap or the
// worker's fault, never in the caller's. Where no worker can be made nothing
// bounds the work, and the compile is refused.
bool TranslateIsolated(Compile& k, std::vector<HlslGlobal>& globals, std::vector<std::uint8_t>& code) {
    code.clear();
    k.errors.clear(); // its messages are the worker's alone
    const HlslCompileScope scope; // within the compile's own: its budget and caps
    std::vector<std::uint8_t> reply;
    std::string why;
    const HlslChildOutcome outcome =
        RunHlslWorkerJob(helper::WorkerJob::Translate, TranslationRequest(k, globals), scope, reply, &why);
    if (outcome == HlslChildOutcome::NoChild)
        return k.Refuse(std::string(kHlslNoProcess) + (why.empty() ? "" : ": " + why));
    std::uint32_t sizes[2] = {0, 0};
    const std::size_t body = 1 + sizeof sizes;
    if (reply.size() >= body) std::memcpy(sizes, reply.data() + 1, sizeof sizes);
    if (outcome != HlslChildOutcome::Replied || reply.size() < body || reply[0] > 1 ||
        std::size_t(sizes[0]) + sizes[1] != reply.size() - body)
        return k.Refuse(std::string("the HLSL compiler ") +
                        (outcome == HlslChildOutcome::TooLong       ? "took too long"
                         : outcome == HlslChildOutcome::OutOfMemory ? "ran out of memory"
                                                                    : "stopped") +
                        " on this source");
    code.assign(reply.begin() + std::ptrdiff_t(body), reply.begin() + std::ptrdiff_t(body + sizes[0]));
    k.errors.assign(reply.begin() + std::ptrdiff_t(body + sizes[0]), reply.end());
    if (reply[0] == 1) return true;
    code.clear();
    return false;
}

// The compile of what the preprocessor made, within the scope and the pass
// run of the caller: its stages in order, each refusing with its message.
// `isolated`: Translate in a worker, as every compile in a host does; the
// worker's own run of the whole compile (its warming) runs it in place.
bool CompileLines(const PreprocessedText& lines, const std::string& sourceName, const char* entry,
                  const char* profileText, const Profile& profile, std::vector<std::uint8_t>& code,
                  std::string& errors, std::uint8_t majority, bool isolated) {
    Compile k{lines, sourceName, entry, profileText, profile, majority, errors, {}, 0, {}};
    std::vector<HlslGlobal> globals;
    if (!CheckForms(k) || !ReadAsTheD3D9CompilerDoes(k) || !LayOut(k, globals)) return false;
    return isolated ? TranslateIsolated(k, globals, code) : Translate(k, globals, code);
}

// A compile's work on a stack of its own (RunHlslCompile): false with the
// refusal when no thread could be made for it.
bool OnItsOwnStack(const std::string& sourceName, std::string& errors, const std::function<bool()>& work) {
    bool ok = false;
    if (RunHlslCompile([&] { ok = work(); })) return ok;
    errors = sourceName + "(1,1): error: " + kHlslNoThread + "\n";
    return false;
}

// What every job shares, made once in the worker before its first: see
// WarmHlslTranslation. A fixed source, outside every compile's scope (its
// time is no compile's).
void WarmTheFrontEnd() {
    glslang::InitializeProcess();
    static constexpr const char* kPrograms[][2] = {
        {"float4x4 M;\nfloat4 main(float4 p : POSITION, inout float4 c : COLOR0) : POSITION\n"
         "{ c = c * 0.5; return mul(p, M); }\n",
         "vs_2_0"},
        {"sampler2D S;\nfloat4 T;\nfloat4 main(float2 uv : TEXCOORD0) : COLOR\n"
         "{ return tex2D(S, uv) * T; }\n",
         "ps_2_0"}};
    for (const auto& [source, profileText] : kPrograms) {
        PreprocessedText lines;
        lines.files.push_back("warm");
        lines.text = source;
        const auto count = std::size_t(std::count(lines.text.begin(), lines.text.end(), '\n'));
        for (std::size_t k = 0; k < count; ++k) lines.origins.push_back({0, std::int32_t(k + 1)});
        Profile profile;
        (void)ParseProfile(profileText, profile);
        std::vector<std::uint8_t> code;
        std::string errors;
        const PassRun run;
        (void)CompileLines(lines, "warm", "main", profileText, profile, code, errors, 0, false);
    }
}

// Translate, in a worker, of a TranslationRequest: its TranslationReply.
std::vector<std::uint8_t> TranslateInWorker(const std::vector<std::uint8_t>& request) {
    MessageReader m(request);
    PreprocessedText lines;
    std::string sourceName, entry, profileText, text, reason, errors;
    std::uint8_t majority = 0;
    std::size_t at = 0;
    std::vector<HlslGlobal> globals;
    Profile profile;
    if (!m.Get(lines) || !m.Get(sourceName) || !m.Get(entry) || !m.Get(profileText) || !m.Get(majority) ||
        !m.Get(text) || !m.Get(at) || !m.Get(reason) || !m.Get(globals) || !m.AtEnd() ||
        !ParseProfile(profileText.c_str(), profile))
        return {};
    Compile k{lines, sourceName, entry.c_str(), profileText.c_str(), profile, majority, errors, std::move(text),
              at, std::move(reason)};
    // The passes Translate runs count afresh, as in a compile of its own.
    const PassRun run;
    std::vector<std::uint8_t> code;
    const bool ok = Translate(k, globals, code);
    return TranslationReply(ok, code, errors);
}

} // namespace

bool CompilePreprocessed(const PreprocessedText& lines, const char* name, const char* entry, const char* profileText,
                         std::vector<std::uint8_t>& code, std::string& errors, std::uint8_t majority) {
    code.clear();
    errors.clear();
    const std::string sourceName = name && *name ? name : "memory";
    Profile profile;
    if (!StartCompile(sourceName, entry, profileText, profile, errors)) return false;
    // The caller's thread may have a small stack: the passes recurse with
    // the source's nesting.
    return OnItsOwnStack(sourceName, errors, [&] {
        const HlslCompileScope scope;
        const PassRun run;
        if (!WithinCap(lines.text.size(), sourceName, scope, errors)) return false;
        return CompileLines(lines, sourceName, entry, profileText, profile, code, errors, majority, true);
    });
}

} // namespace hlsl

void WarmHlslTranslation() { hlsl::WarmTheFrontEnd(); }

std::vector<std::uint8_t> TranslateHlslRequest(const std::vector<std::uint8_t>& request) {
    return hlsl::TranslateInWorker(request);
}

bool CompileHlsl(std::string_view source, const char* name, const D3DXMACRO* defines, const char* entry,
                 const char* profileText, std::vector<std::uint8_t>& code, std::string& errors,
                 std::uint8_t majority) {
    using namespace hlsl;
    code.clear();
    errors.clear();
    const std::string sourceName = name && *name ? name : "memory";
    Profile profile;
    if (!StartCompile(sourceName, entry, profileText, profile, errors)) return false;
    return OnItsOwnStack(sourceName, errors, [&] {
        const HlslCompileScope scope;
        const PassRun run;
        if (!WithinCap(source.size(), sourceName, scope, errors)) return false;
        // The preprocessor runs first, with the caller's macros: the layout, the
        // rewriting and the compiler all read what it makes, and every line of
        // that keeps the file and line it came from for the messages.
        PreprocessedText lines;
        PreprocessOptions options;
        options.defines = defines;
        std::size_t problems = 0;
        const PreprocessReport report = [&](int file, int line, const std::string& text, bool warning) {
            if (warning || ++problems > kMaxMessages) return;
            errors +=
                lines.files[static_cast<std::size_t>(file)] + "(" + std::to_string(line) + ",1): error: " + text + "\n";
        };
        if (!PreprocessText(source, name && *name ? name : "", options, scope, report, lines)) return false;
        return CompileLines(lines, sourceName, entry, profileText, profile, code, errors, majority, true);
    });
}

} // namespace gfx
