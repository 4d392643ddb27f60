#include "platform/gfx/GfxGlProgramConstants.h"

#include "platform/gfx/Gfx.h"
#include "platform/gfx/GfxShaderTranslator.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace gfx {

static_assert(DeviceState::kVertexSamplers == kVertexProgramSamplers, "the vertex samplers a program declares are the device's");

namespace {

// The elements of a uniform array the linker kept. Drivers drop the elements
// after the last one the code reads, and a location past them is an error
// (not ignored, as a count past the end is), so a run of changed registers
// must never start there.
std::uint32_t ActiveElements(unsigned program, const char* name, std::uint32_t declared) {
    GLuint index = GL_INVALID_INDEX;
    glGetUniformIndices(program, 1, &name, &index);
    if (index == GL_INVALID_INDEX) return 0;
    GLint size = 0;
    glGetActiveUniformsiv(program, 1, &index, GL_UNIFORM_SIZE, &size);
    return size > 0 ? std::min(declared, std::uint32_t(size)) : 0;
}

} // namespace

void GlProgramConstants::Locate(unsigned program, const TranslatedShader* vs, const TranslatedShader* ps) {
    auto loc = [&](const char* name) { return glGetUniformLocation(program, name); };
    glUseProgram(program);
    if (vs) {
        // Vertex samplers read the units after the sixteen pixel ones.
        for (std::uint32_t n = 0; n < DeviceState::kVertexSamplers; ++n) {
            if (!vs->samplers[n]) continue;
            const GLint unit = loc(("uVS" + std::to_string(n)).c_str());
            if (unit >= 0) glUniform1i(unit, GLint(DeviceState::kSamplers + n));
            m_vertexSamplers |= 1u << n;
        }
        m_vs.floats = loc("uVsC");
        m_vs.ints = loc("uVsI");
        m_vs.bools = loc("uVsB");
        m_vs.count = m_vs.floats >= 0 ? ActiveElements(program, "uVsC", vs->constF) : 0;
        m_inputW1 = loc("uVsInputW1");
    }
    if (ps) {
        m_ps.floats = loc("uPsC");
        m_ps.ints = loc("uPsI");
        m_ps.bools = loc("uPsB");
        m_ps.count = m_ps.floats >= 0 ? ActiveElements(program, "uPsC", ps->constF) : 0;
        m_bump = loc("uPsBump");
        m_bumpL = loc("uPsBumpL");
        m_bumpStages = ps->bumpStages;
        glUseProgram(program);
        for (int n = 0; n < 16; ++n) {
            if (!ps->samplers[n]) continue;
            const GLint unit = loc(("uS" + std::to_string(n)).c_str());
            if (unit >= 0) glUniform1i(unit, n);
            m_samplers |= 1u << n;
        }
    }
}

void GlProgramConstants::UploadFile(File& f, const float* floats, const std::int32_t* ints, const std::int32_t* bools) {
    if (f.floats >= 0 && f.count) {
        // The changed registers as one run from the first to the last.
        const std::size_t n = std::size_t(f.count) * 4;
        std::size_t first = 0, last = 0;
        if (!f.sentOnce || f.sentF.size() != n) {
            f.sentF.assign(floats, floats + n);
            first = 0;
            last = f.count;
        } else {
            first = f.count;
            for (std::uint32_t r = 0; r < f.count; ++r) {
                if (std::memcmp(&f.sentF[r * 4], floats + r * 4, 16) == 0) continue;
                if (first == f.count) first = r;
                last = r + 1;
            }
            if (first < last) std::memcpy(&f.sentF[first * 4], floats + first * 4, (last - first) * 16);
        }
        if (first < last) glUniform4fv(f.floats + GLint(first), GLsizei(last - first), floats + first * 4);
    }
    if (f.ints >= 0 && (!f.sentOnce || std::memcmp(f.sentI.data(), ints, sizeof f.sentI) != 0)) {
        std::memcpy(f.sentI.data(), ints, sizeof f.sentI);
        glUniform4iv(f.ints, 16, ints);
    }
    if (f.bools >= 0 && (!f.sentOnce || std::memcmp(f.sentB.data(), bools, sizeof f.sentB) != 0)) {
        std::memcpy(f.sentB.data(), bools, sizeof f.sentB);
        glUniform1iv(f.bools, 16, bools);
    }
    f.sentOnce = true;
}

void GlProgramConstants::Upload(const DeviceState& s) {
    if (m_bump >= 0 || m_bumpL >= 0) {
        std::array<float, 32> bump{};
        std::array<float, 16> lum{};
        for (std::uint32_t stage = 0; stage < 8; ++stage) {
            if (!(m_bumpStages & (1u << stage))) continue;
            const auto& ts = s.stageStates[stage];
            for (int k = 0; k < 4; ++k) std::memcpy(&bump[stage * 4 + k], &ts[D3DTSS_BUMPENVMAT00 + k], 4);
            std::memcpy(&lum[stage * 2], &ts[D3DTSS_BUMPENVLSCALE], 4);
            std::memcpy(&lum[stage * 2 + 1], &ts[D3DTSS_BUMPENVLOFFSET], 4);
        }
        if (!m_bumpSent || bump != m_sentBump || lum != m_sentBumpL) {
            if (m_bump >= 0) glUniform4fv(m_bump, 8, bump.data());
            if (m_bumpL >= 0) glUniform2fv(m_bumpL, 8, lum.data());
            m_sentBump = bump;
            m_sentBumpL = lum;
            m_bumpSent = true;
        }
    }
    // Registers are compared only when the device's constants changed since.
    if (m_state == &s && m_serial == s.constantSerial) return;
    m_state = &s;
    m_serial = s.constantSerial;
    UploadFile(m_vs, s.vsConstF.data(), s.vsConstI.data(), s.vsConstB.data());
    UploadFile(m_ps, s.psConstF.data(), s.psConstI.data(), s.psConstB.data());
}

void GlProgramConstants::SetInputW1(std::uint32_t mask) {
    if (m_inputW1 < 0 || mask == m_sentInputW1) return;
    glUniform1i(m_inputW1, GLint(mask));
    m_sentInputW1 = mask;
}

} // namespace gfx
