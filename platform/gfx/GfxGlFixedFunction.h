#pragma once

// The fixed-function pipeline as generated GLSL: the key of everything a
// program depends on, built from the device state word by word, and the
// vertex and fragment sources written for a key.

#include "platform/gfx/GfxBackendLocal.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace gfx {

// Everything a generated program depends on, word by word.
enum KeyWord : std::size_t {
    kPretransformedWord, kLightingWord, kDiffuseSrcWord, kAmbientSrcWord, kSpecularSrcWord, kEmissiveSrcWord,
    kHasNormalWord, kNormalizeWord, kLocalViewerWord, kSpecularLightWord, kFogModeWord, kRangeFogWord,
    kHasSpecularInputWord, kLightCountWord, kLightTypesWord, kFlatWord, kSpecularEnableWord, kAlphaFuncWord,
    kFogWord, kBlendWord, kIndexedWord,
    // Per-pixel fog: D3DFOG_* mode, plus 4 when it goes by eye depth (w) rather than z.
    kTableFogWord,
    // The programs bound (their ids), and the kinds of the textures a
    // pixel program before 2.0 samples, two bits per sampler.
    kVertexProgramWord, kPixelProgramWord, kSamplerKindsWord,
    // A pixel program before 1.4: per stage (three bits) the coordinate its
    // reads divide by, 1-4 for x-w, 0 for none.
    kProjectedWord, kStageBase
};
// Per stage: operations and arguments, result, texture kind and coordinates
// (kTexCoordForm: the set's size, the transform's count << 8 and the
// coordinate a projected lookup divides by, 1-4, << 16).
enum StageWord : std::size_t {
    kColorOp, kColorArg0, kColorArg1, kColorArg2, kAlphaOp, kAlphaArg0, kAlphaArg1, kAlphaArg2, kResultArg,
    kTextureKind, kTexCoordSource, kTexCoordForm, kStageWords
};
constexpr std::size_t kKeyWords = kStageBase + 8 * kStageWords;
using StateKey = std::array<std::uint32_t, kKeyWords>;
struct StateKeyHash {
    std::size_t operator()(const StateKey& k) const {
        std::size_t h = 1469598103934665603ull;
        for (std::uint32_t v : k) h = (h ^ v) * 1099511628211ull;
        return h;
    }
};

// The sources of a state key's program: constants in front of the bodies,
// the texture coordinates and the stages written out. `coordsForProgram`:
// a pixel program follows, which reads every stage's coordinates whole.
void FixedSources(const StateKey& key, bool coordsForProgram, std::string& vsOut, std::string& fsOut);

// The key of the program for the state; `lights` receives the enabled lights.
[[nodiscard]] StateKey BuildKey(const DeviceState& s, const VertexLayout& layout, std::vector<const D3DLIGHT9*>& lights);

// What a stage samples: 1 a plain texture, 2 a cube texture, 3 a volume,
// 0 nothing (none bound, or a format not uploaded).
[[nodiscard]] std::uint32_t TextureKind(const IDirect3DBaseTexture9* t);

// Whether the programs set are the ones the key was made for.
[[nodiscard]] bool SamePrograms(const DeviceState& s, const StateKey& key);
// The fields of a layout a program key reads.
[[nodiscard]] bool SameKeyLayout(const VertexLayout& a, const VertexLayout& b);
// Whether the bound textures are of the kinds the key's running stages were made for.
[[nodiscard]] bool SameTextureKinds(const DeviceState& s, const StateKey& key);

} // namespace gfx
