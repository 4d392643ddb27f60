#pragma once
// The register files of a linked program pair on the `gl` back end: where
// each sits in the program, and what each last received, so a draw sends
// only the registers the device's constants changed since.

#include <array>
#include <cstdint>
#include <vector>

namespace gfx {

struct DeviceState;
struct TranslatedShader;

class GlProgramConstants {
public:
    // Finds the uniforms of the program just linked from these halves (null:
    // the fixed-function half) and points its samplers at their units.
    void Locate(unsigned program, const TranslatedShader* vs, const TranslatedShader* ps);
    // Sends what changed; the program is in use.
    void Upload(const DeviceState& s);
    // Inputs whose fourth component reads 1 (three-component packed types), one bit per register.
    void SetInputW1(std::uint32_t mask);
    // Pixel samplers the program reads, one bit per unit.
    [[nodiscard]] std::uint32_t Samplers() const { return m_samplers; }
    // The vertex samplers the vertex program reads (bits 0-3).
    [[nodiscard]] std::uint32_t VertexSamplers() const { return m_vertexSamplers; }

private:
    struct File {
        int floats = -1, ints = -1, bools = -1;
        std::uint32_t count = 0;  // float registers the linked program kept
        std::vector<float> sentF; // empty until the first upload
        std::array<std::int32_t, 64> sentI{};
        std::array<std::int32_t, 16> sentB{};
        bool sentOnce = false;
    };
    void UploadFile(File& f, const float* floats, const std::int32_t* ints, const std::int32_t* bools);

    File m_vs, m_ps;
    int m_bump = -1, m_bumpL = -1, m_inputW1 = -1;
    std::uint32_t m_bumpStages = 0;
    std::array<float, 32> m_sentBump{};
    std::array<float, 16> m_sentBumpL{};
    bool m_bumpSent = false;
    std::uint32_t m_sentInputW1 = 0;
    std::uint32_t m_samplers = 0;
    std::uint32_t m_vertexSamplers = 0;
    const DeviceState* m_state = nullptr;
    std::uint64_t m_serial = 0;
};

} // namespace gfx
