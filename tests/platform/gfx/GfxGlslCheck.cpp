#include "tests/platform/gfx/GfxGlslCheck.h"

#include "platform/gfx/Gfx.h"

#include <glslang/Public/ResourceLimits.h>
#include <glslang/Public/ShaderLang.h>

#include <array>
#include <mutex>
#include <vector>

namespace gfxtest {
namespace {

std::string OneLine(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += "; ";
        else if (c != '\r' && c != '\0') out += c;
    }
    while (out.size() >= 2 && out.compare(out.size() - 2, 2, "; ") == 0) out.resize(out.size() - 2);
    return out;
}

// Installed before the tests run, so every null device of the program has it.
const bool g_installed = [] {
    UseGlslangOnNullDevices();
    return true;
}();

} // namespace

bool GlslangAccepts(const std::string& source, bool vertex, std::string& log) {
    static std::once_flag started;
    std::call_once(started, [] { glslang::InitializeProcess(); });
    const EShLanguage stage = vertex ? EShLangVertex : EShLangFragment;
    glslang::TShader shader(stage);
    const char* text = source.c_str();
    shader.setStrings(&text, 1);
    const auto messages = EShMessages(EShMsgDefault);
    // The source's own #version (330 core) decides; these apply without one.
    bool ok = shader.parse(GetDefaultResources(), 330, ECoreProfile, false, false, messages);
    log = shader.getInfoLog();
    if (ok) {
        glslang::TProgram program;
        program.addShader(&shader);
        ok = program.link(messages);
        log += program.getInfoLog();
    }
    return ok;
}

bool GlslangAcceptsProgram(const gfx::TranslatedShader& program, std::string& failure) {
    std::string log;
    if (!GlslangAccepts(gfx::ComposeProgramStage(program), program.vertex, log)) {
        failure = "glslang refuses the " + std::string(program.vertex ? "vertex" : "fragment") + " stage: " + OneLine(log);
        return false;
    }
    // Beside the fixed-function other half.
    const std::vector<gfx::FixedStageInput> stages = {{0, 0, 2}};
    const std::string other =
        program.vertex ? gfx::ComposeVertexProgram(program, &stages, {})
                       : gfx::ComposePixelProgram(program, true, std::array<std::uint8_t, 16>{}, 0, false);
    if (!GlslangAccepts(other, program.vertex, log)) {
        failure = "glslang refuses the " + std::string(program.vertex ? "vertex" : "fragment") +
                  " stage beside the fixed-function pipeline: " + OneLine(log);
        return false;
    }
    return true;
}

void UseGlslangOnNullDevices() { gfx::SetNullProgramCheckForTests(&GlslangAcceptsProgram); }

} // namespace gfxtest
