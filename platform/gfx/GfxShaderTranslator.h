#pragma once
// Vertex and pixel program token streams (1.1-3.0) turned into GLSL 3.30
// core, once per program, and the whole shader texts a program pair links
// from: each half with the other half's interface (another program, or the
// fixed-function emulation's).

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace gfx {

// One declared input or output: usage and index (published numbering), the
// register and its components.
struct ShaderSemantic {
    std::uint8_t usage = 0, index = 0, reg = 0, mask = 0xF;
};

// A program's GLSL and the interface around it.
struct TranslatedShader {
    bool vertex = false;
    std::uint16_t model = 0;  // ShaderModel bit
    std::uint32_t major = 0;
    std::string globals;      // uniforms, registers, defined constants
    std::string extensions;   // "#extension" lines the code needs, which go before all else
    std::string code;         // the subroutines and `void d3d_main()`
    // Vertex: dcl'd inputs, attribute location = register. Pixel 3.0: dcl'd inputs.
    std::vector<ShaderSemantic> inputs;
    // Vertex 3.0: dcl'd outputs.
    std::vector<ShaderSemantic> outputs;
    // Per sampler: published D3DSTT_* from its declaration, kSamplerByTexture
    // when the bound texture decides (before 2.0), 0 when unused.
    std::array<std::uint8_t, 16> samplers{};
    std::uint32_t texcoordsRead = 0; // pixel before 3.0: interpolated sets read (bits 0-7)
    std::uint32_t colorsRead = 0;    // pixel before 3.0: colours read (bits 0-1)
    std::uint32_t bumpStages = 0;    // pixel 1.x: stages whose bump matrix is read
    bool writesDepth = false;
    bool usesPosition = false, usesFace = false; // pixel 3.0 vPos, vFace
    std::uint32_t constF = 0;        // registers the float-constant uniform array holds
    std::uint32_t colorsWritten = 0; // pixel: colour outputs written (bits 0-3)
};
constexpr std::uint8_t kSamplerByTexture = 0xFF;
// Samplers a 3.0 vertex program declares: 0-3, the device's vertex samplers.
constexpr std::uint32_t kVertexProgramSamplers = 4;

struct D3DCAPS9;

// The GLSL of a token stream the walker accepted; false with `error` naming
// the instruction or register form it cannot take, or the first register
// outside its version's ranges on a device with `caps` (null: the device
// table's, DeviceCaps).
[[nodiscard]] bool TranslateShader(const std::uint32_t* tokens, std::size_t count, TranslatedShader& out,
                                   std::string& error, const D3DCAPS9* caps = nullptr);

// The varying a semantic travels in between two programs.
[[nodiscard]] std::string ShaderVaryingName(std::uint32_t usage, std::uint32_t index);

// What the fragment side reads from a vertex program: the names of the varyings.
[[nodiscard]] std::vector<std::string> PixelProgramVaryings(const TranslatedShader& ps, bool fog);

// What a vertex program feeds a pixel program: the varyings it writes
// (before 3.0 every colour, coordinate set and fog, which start from their
// defaults). A pair whose pixel half reads no others links the vertex half
// composed with these, the form the device compiles when the program is made.
[[nodiscard]] std::vector<std::string> VertexProgramVaryings(const TranslatedShader& vs);

// The fixed-function fragment emulation's inputs a vertex program feeds: per
// stage that samples, the coordinate set and 2 or 3 components (4: projected).
struct FixedStageInput {
    int stage = 0, set = 0, components = 2;
};

// Whole vertex shader of a vertex program. `fixedStages` non-null: the
// fixed-function fragment emulation follows; else `pixelVaryings` are the
// pixel program's.
// `flatColors`: the colour varyings take the provoking (first) vertex's
// value, as D3DSHADE_FLAT gives them; the pixel half must agree.
[[nodiscard]] std::string ComposeVertexProgram(const TranslatedShader& vs, const std::vector<FixedStageInput>* fixedStages,
                                               const std::vector<std::string>& pixelVaryings, bool flatColors = false);

// Whole fragment shader of a pixel program. `afterFixedVertex`: the
// fixed-function vertex emulation feeds it. `textureKinds` (D3DSTT_* per
// stage) decides samplers the program leaves to the bound texture.
// `alphaFunc` 0 or D3DCMP_*; `fog`: fixed-function fog after the program,
// per pixel when `tableFog` gives its D3DFOG_* mode (plus 4: by eye depth).
// `projected`: per stage, three bits, the component (1-4) a 1.1-1.3 tex
// divides its coordinates by. `flatColors`: colour inputs read the first
// vertex's value (D3DSHADE_FLAT); coordinates stay interpolated.
[[nodiscard]] std::string ComposePixelProgram(const TranslatedShader& ps, bool afterFixedVertex,
                                              const std::array<std::uint8_t, 16>& textureKinds,
                                              std::uint32_t alphaFunc, bool fog, std::uint32_t projected = 0,
                                              std::uint32_t tableFog = 0, bool flatColors = false);

// The stage a program is compiled as when it is made: its usual pairing (a
// vertex program feeding a pixel program every varying it writes, a pixel
// program after a vertex program, no alpha test or fog).
[[nodiscard]] std::string ComposeProgramStage(const TranslatedShader& program);

// GLSL of `float d3dFogFactor(int mode, float d, vec3 fog)`: the fog left
// (1 none) at distance `d` for a D3DFOG_* mode, fog = start, end, density.
extern const char* const kFogFactorGlsl;

} // namespace gfx
