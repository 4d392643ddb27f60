// The ENABLE_OPT switch shows glslang's optimiser entry, which the installed
// glslang is built with.
#ifndef ENABLE_OPT
#define ENABLE_OPT 1
#endif

#include "tests/platform/gfxutil/HlslRegisterUse.h"

#include "platform/gfxutil/GfxUtilConstantTable.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslRegisters.h"

#include <glslang/Public/ResourceLimits.h>
#include <glslang/Public/ShaderLang.h>
#include <glslang/SPIRV/GlslangToSpv.h>
#include <glslang/SPIRV/SpvTools.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <mutex>
#include <vector>

namespace gfx::test {
namespace {

constexpr std::string_view kOne = "orvRegister";    // orvRegister12: register 12 read at a constant place
constexpr std::string_view kAny = "orvRegisterAny"; // the registers read at computed places

// The GLSL with each register read at a constant place a member of a block
// of its own name, and the register array read elsewhere another member:
// the follow through the code then tells each register apart. False when
// the program declares no register array.
bool RegistersAsMembers(const std::string& glsl, bool vertex, std::string& out) {
    const std::string array = vertex ? "uVsC" : "uPsC";
    const std::string declaration = "uniform vec4 " + array + "[";
    const std::size_t declared = glsl.find(declaration);
    if (declared == std::string::npos) return false;
    const std::size_t end = glsl.find("];", declared);
    if (end == std::string::npos) return false;
    const unsigned count = unsigned(std::strtoul(glsl.c_str() + declared + declaration.size(), nullptr, 10));
    std::string block = "layout(std140) uniform OrvRegisters {";
    for (unsigned r = 0; r < count; ++r) block += " vec4 " + std::string(kOne) + std::to_string(r) + ";";
    block += " vec4 " + std::string(kAny) + "[" + std::to_string(count) + "]; };";
    out = glsl.substr(0, declared) + block;
    const std::string read = array + "[";
    std::size_t from = end + 2;
    for (std::size_t at = glsl.find(read, from); at != std::string::npos; at = glsl.find(read, from)) {
        const bool ownName = at == 0 || !(std::isalnum(static_cast<unsigned char>(glsl[at - 1])) || glsl[at - 1] == '_');
        out.append(glsl, from, at - from);
        std::size_t digits = at + read.size();
        while (digits < glsl.size() && std::isdigit(static_cast<unsigned char>(glsl[digits]))) ++digits;
        if (!ownName) {
            out += read;
        } else if (digits > at + read.size() && digits < glsl.size() && glsl[digits] == ']') {
            out += std::string(kOne) + glsl.substr(at + read.size(), digits - at - read.size());
            from = digits + 1;
            continue;
        } else {
            out += std::string(kAny) + "[";
        }
        from = at + read.size();
    }
    out.append(glsl, from, std::string::npos);
    // What the device's own composition takes care of and glslang's GLSL
    // rules refuse: arrays of arrays (core from 4.30, taken there) and
    // boolean inputs and outputs, which are followed as plain globals.
    const std::size_t version = out.find("#version 330");
    if (version != std::string::npos) out.replace(version, 12, "#version 430");
    const std::string arrays = "#extension GL_ARB_arrays_of_arrays : require";
    if (const std::size_t at = out.find(arrays); at != std::string::npos) out.erase(at, arrays.size());
    for (const std::string_view word : {"\nin bool ", "\nout bool "})
        for (std::size_t at = out.find(word); at != std::string::npos; at = out.find(word, at))
            out.erase(at + 1, word.size() - 6);
    return true;
}

} // namespace

bool RegistersTheCodeReads(const ShaderContainer& c, RegisterUse& use, std::string& error) {
    use = RegisterUse{};
    std::string source;
    if (!RegistersAsMembers(c.glsl, c.Vertex(), source)) return true; // it reads no float register
    static std::once_flag started;
    std::call_once(started, [] { glslang::InitializeProcess(); });
    const EShLanguage stage = c.Vertex() ? EShLangVertex : EShLangFragment;
    glslang::TShader shader(stage);
    const char* text = source.c_str();
    shader.setStrings(&text, 1);
    shader.setEnvInput(glslang::EShSourceGlsl, stage, glslang::EShClientOpenGL, 100);
    shader.setEnvClient(glslang::EShClientOpenGL, glslang::EShTargetOpenGL_450);
    shader.setEnvTarget(glslang::EShTargetSpv, glslang::EShTargetSpv_1_0);
    shader.setAutoMapBindings(true);
    shader.setAutoMapLocations(true);
    const auto messages = EShMessages(EShMsgSpvRules);
    if (!shader.parse(GetDefaultResources(), 330, ECoreProfile, false, false, messages)) {
        error = std::string("glslang refuses the GLSL: ") + shader.getInfoLog();
        return false;
    }
    glslang::TProgram program;
    program.addShader(&shader);
    if (!program.link(messages) || !program.mapIO()) {
        error = std::string("glslang does not link the GLSL: ") + program.getInfoLog();
        return false;
    }
    // The optimiser takes the locals out (a temporary matrix whose columns
    // the code picks), so that what is read is followed value by value.
    std::vector<std::uint32_t> spirv;
    glslang::SpvOptions options;
    options.disableOptimizer = true;
    spv::SpvBuildLogger logger;
    const glslang::TIntermediate& intermediate = *program.getIntermediate(stage);
    glslang::GlslangToSpv(intermediate, spirv, &logger, &options);
    options.disableOptimizer = false;
    glslang::SpirvToolsTransform(intermediate, spirv, &logger, &options);
    std::map<std::string, std::uint32_t> read;
    if (!HlslRegistersRead(spirv, read)) {
        error = "the SPIR-V of the GLSL cannot be followed";
        return false;
    }
    for (const auto& [name, registers] : read) {
        if (registers == 0) continue;
        if (name == kAny) use.computed = true;
        else if (name.starts_with(kOne)) use.registers.insert(unsigned(std::strtoul(name.c_str() + kOne.size(), nullptr, 10)));
    }
    return true;
}

std::string RegistersReadOutsideTheTable(const ShaderContainer& c) {
    RegisterUse use;
    std::string error;
    if (!RegistersTheCodeReads(c, use, error)) return error;
    std::string outside;
    for (const unsigned r : use.registers) {
        bool covered = false;
        for (const ShaderConstantRecord& k : c.constants)
            covered = covered || (k.registerSet == D3DXRS_FLOAT4 && r >= k.registerIndex &&
                                  r < unsigned(k.registerIndex) + k.registerCount);
        if (!covered) outside += (outside.empty() ? "c" : ", c") + std::to_string(r);
    }
    if (outside.empty()) return {};
    std::string table;
    for (const ShaderConstantRecord& k : c.constants)
        if (k.registerSet == D3DXRS_FLOAT4 && k.parent < 0)
            table += " " + k.name + " c" + std::to_string(k.registerIndex) + " (" + std::to_string(k.registerCount) + ")";
    return "the code reads " + outside + ", which no constant of the table holds:" + table;
}

} // namespace gfx::test
