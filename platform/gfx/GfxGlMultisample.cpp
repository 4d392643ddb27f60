#include "platform/gfx/GfxBackendLocal.h"

#include <SDL2/SDL.h>
#include <epoxy/gl.h>

#include <algorithm>

namespace gfx {
namespace {

bool g_countsKnown = false;
std::vector<std::uint32_t> g_counts;

// The counts the current context makes colour renderbuffers with.
std::vector<std::uint32_t> AskContext() {
    GLint most = 0;
    glGetIntegerv(GL_MAX_SAMPLES, &most);
    std::vector<std::uint32_t> counts;
    if (epoxy_gl_version() >= 42 || epoxy_has_gl_extension("GL_ARB_internalformat_query")) {
        GLint n = 0;
        glGetInternalformativ(GL_RENDERBUFFER, GL_RGBA8, GL_NUM_SAMPLE_COUNTS, 1, &n);
        if (n > 0) {
            std::vector<GLint> listed(std::size_t(n), 0);
            glGetInternalformativ(GL_RENDERBUFFER, GL_RGBA8, GL_SAMPLES, n, listed.data());
            for (GLint c : listed)
                if (c > 1 && c <= 16) counts.push_back(std::uint32_t(c));
        }
    }
    // Without the query: the powers of two up to the most (every driver has those).
    if (counts.empty())
        for (GLint c = 2; c <= std::min(most, 16); c *= 2) counts.push_back(std::uint32_t(c));
    std::sort(counts.begin(), counts.end());
    counts.erase(std::unique(counts.begin(), counts.end()), counts.end());
    return counts;
}

} // namespace

bool GlSampleCountsKnown() { return g_countsKnown || SDL_GL_GetCurrentContext() != nullptr; }

const std::vector<std::uint32_t>& GlSampleCounts() {
    if (g_countsKnown) return g_counts;
    if (SDL_GL_GetCurrentContext() != nullptr) {
        g_counts = AskContext();
        g_countsKnown = true;
        return g_counts;
    }
    // No device yet: a hidden window's context answers, then goes.
    SetGlWindowAttributes();
    SDL_Window* window = SDL_CreateWindow("orvane probe", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 1, 1,
                                          SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!window) return g_counts;
    if (SDL_GLContext context = SDL_GL_CreateContext(window)) {
        g_counts = AskContext();
        g_countsKnown = true;
        SDL_GL_MakeCurrent(nullptr, nullptr);
        SDL_GL_DeleteContext(context);
    }
    SDL_DestroyWindow(window);
    return g_counts;
}

std::uint32_t SamplesFor(std::uint32_t type, std::uint32_t quality, const std::vector<std::uint32_t>& counts) {
    if (counts.empty()) return 0;
    if (type == D3DMULTISAMPLE_NONE) return 1;
    // Non-maskable: the quality level picks among the counts, fewest first.
    if (type == D3DMULTISAMPLE_NONMASKABLE) return quality < counts.size() ? counts[quality] : 0;
    if (type > 16 || quality != 0) return 0;
    // A count between those listed gets the next one up, as the driver does.
    for (std::uint32_t c : counts)
        if (c >= type) return c;
    return 0;
}

} // namespace gfx
