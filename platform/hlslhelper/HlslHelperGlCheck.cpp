#include "platform/hlslhelper/HlslHelperGlCheck.h"

#include "platform/gfx/Gfx.h"
#include "platform/hlslhelper/HlslHelperIo.h"
#include "platform/hlslhelper/HlslHelperProtocol.h"

#include <SDL2/SDL.h>
#include <epoxy/gl.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <string>

#include <unistd.h>

namespace gfx::helper {
namespace {

// The check's target: big enough that a pixel program runs for many pixels.
constexpr int kTargetSize = 16;

GLuint CompileStage(GLenum kind, const std::string& text, std::string& log) {
    const GLuint s = glCreateShader(kind);
    const char* source = text.c_str();
    glShaderSource(s, 1, &source, nullptr);
    glCompileShader(s);
    GLint ok = 0;
    glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
    if (ok) return s;
    char text_[4096] = {};
    glGetShaderInfoLog(s, sizeof text_, nullptr, text_);
    log = std::string(kind == GL_VERTEX_SHADER ? "vertex" : "fragment") + " shader compile failed: " + text_;
    return 0;
}

// Compiles, links and draws the pair; the verdict's bytes.
std::string CheckPair(const std::string& vsText, const std::string& fsText) {
    SetGlWindowAttributes();
    SDL_Window* window = SDL_CreateWindow("orvane check", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                          kTargetSize, kTargetSize, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    SDL_GLContext context = window ? SDL_GL_CreateContext(window) : nullptr;
    if (!context || SDL_GL_MakeCurrent(window, context) != 0 || epoxy_gl_version() < 33)
        return std::string(1, kGlCheckNoContext) + SDL_GetError();
    std::string log;
    const GLuint vs = CompileStage(GL_VERTEX_SHADER, vsText, log);
    const GLuint fs = vs ? CompileStage(GL_FRAGMENT_SHADER, fsText, log) : 0;
    if (!fs) return kGlCheckFailed + log;
    const GLuint program = glCreateProgram();
    glAttachShader(program, vs);
    glAttachShader(program, fs);
    glLinkProgram(program);
    GLint ok = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (!ok) {
        char text[4096] = {};
        glGetProgramInfoLog(program, sizeof text, nullptr, text);
        return std::string(1, kGlCheckFailed) + "program link failed: " + text;
    }
    // A target of its own, whatever the window's configuration.
    GLuint texture = 0, framebuffer = 0, vertexArray = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kTargetSize, kTargetSize, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    glViewport(0, 0, kTargetSize, kTargetSize);
    glGenVertexArrays(1, &vertexArray);
    glBindVertexArray(vertexArray);
    glUseProgram(program);
    // The device's frame uniforms as a 16 x 16 target gives them.
    const float size = float(kTargetSize);
    if (const GLint at = glGetUniformLocation(program, "uViewport"); at >= 0) glUniform4f(at, 0, 0, size, size);
    if (const GLint at = glGetUniformLocation(program, "uTarget"); at >= 0) glUniform2f(at, size, size);
    if (const GLint at = glGetUniformLocation(program, "uDepthRange"); at >= 0) glUniform2f(at, 0, 1);
    if (const GLint at = glGetUniformLocation(program, "uFlipY"); at >= 0) glUniform2f(at, 1, 0);
    if (const GLint at = glGetUniformLocation(program, "uAlphaClamp"); at >= 0) glUniform2f(at, 0, 1);
    // Each sampler on a unit of its own: samplers of two kinds on one unit
    // fail the draw, which would then run nothing.
    GLint uniforms = 0, unit = 0;
    glGetProgramiv(program, GL_ACTIVE_UNIFORMS, &uniforms);
    for (GLint i = 0; i < uniforms; ++i) {
        char uniformName[256] = {};
        GLint count = 0;
        GLenum type = 0;
        glGetActiveUniform(program, GLuint(i), sizeof uniformName, nullptr, &count, &type, uniformName);
        if (type == GL_SAMPLER_2D || type == GL_SAMPLER_CUBE || type == GL_SAMPLER_3D)
            if (const GLint at = glGetUniformLocation(program, uniformName); at >= 0) glUniform1i(at, unit++);
    }
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    // The read waits for the draw: the driver has then run the program.
    std::uint8_t pixel[4] = {};
    glReadPixels(kTargetSize / 2, kTargetSize / 2, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    if (const GLenum error = glGetError(); error != GL_NO_ERROR)
        return std::string(1, kGlCheckFailed) + "the draw left GL error " + std::to_string(error);
    return std::string(1, kGlCheckOk);
}

} // namespace

void RunGlCheck() {
    std::uint32_t head[4] = {};
    std::string vsText, fsText;
    if (!ReadAll(kHelperJobFd, head, sizeof head) || head[0] != kGlCheckMagic) ::_exit(kHelperNotRun);
    vsText.resize(head[2]);
    fsText.resize(head[3]);
    if (!ReadAll(kHelperJobFd, vsText.data(), vsText.size()) || !ReadAll(kHelperJobFd, fsText.data(), fsText.size()))
        ::_exit(kHelperNotRun);
    ::close(kHelperJobFd);
    switch (static_cast<GlCheckMode>(head[1])) {
    case GlCheckMode::Crashes:
        (void)std::signal(SIGSEGV, SIG_DFL);
        (void)std::raise(SIGSEGV);
        ::_exit(kHelperNotRun);
    case GlCheckMode::Hangs:
        for (;;) ::pause();
    case GlCheckMode::Spins:
        for (;;) {
            static volatile std::uint64_t turns;
            turns = turns + 1;
        }
    default: break;
    }
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        const std::string verdict = std::string(1, kGlCheckNoContext) + SDL_GetError();
        ::_exit(WriteAll(kHelperReplyFd, verdict.data(), verdict.size()) ? 0 : kHelperNotRun);
    }
    std::string verdict = CheckPair(vsText, fsText);
    if (verdict.size() > kGlCheckVerdictBytes) verdict.resize(kGlCheckVerdictBytes);
    // Nothing is shut down: the driver's and SDL's exit handlers would only
    // add time (and, for a driver in a bad state, risk) to a process whose
    // answer is given.
    ::_exit(WriteAll(kHelperReplyFd, verdict.data(), verdict.size()) ? 0 : kHelperNotRun);
}

} // namespace gfx::helper
