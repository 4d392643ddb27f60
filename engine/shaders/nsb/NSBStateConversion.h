#pragma once

#include <cstdint>

class NSBStateGroup;
class NiD3DRenderStateGroup;
class NiD3DTextureStageGroup;

// Turns the description language's state numbers and value indices, as a
// binary shader stores them, into device states and values. Every lookup is
// a pure function that reports whether the number translates; a state group
// is converted entry by entry, and an entry that does not translate is left
// out without a message, so one foreign state never costs the whole group.
class NSBStateConversion
{
public:
    // Unrecognised state names are stored with this number; it is never set.
    static constexpr std::uint32_t INVALID_STATE = 0x7FFFFFFF;
    // Highest render-state number of the language.
    static constexpr std::uint32_t MAX_RENDER_STATE = 141;

    // Render-state number -> device render state.
    [[nodiscard]] static bool ConvertRenderState(std::uint32_t uiState, std::uint32_t& uiD3DState);
    // Value of a render state, chosen by the language's state number.
    [[nodiscard]] static bool ConvertRenderStateValue(std::uint32_t uiState, std::uint32_t uiValue,
                                                      std::uint32_t& uiD3DValue);
    // Texture-stage state number -> device texture-stage state.
    [[nodiscard]] static bool ConvertTextureStageState(std::uint32_t uiState, std::uint32_t& uiD3DState);
    // Value of a texture-stage state, chosen by the language's state number.
    [[nodiscard]] static bool ConvertTextureStageValue(std::uint32_t uiState, std::uint32_t uiValue,
                                                       std::uint32_t& uiD3DValue);
    // Value of a sampler state; the sampler numbers are already the
    // engine's (address U = 0), so only the value changes.
    [[nodiscard]] static bool ConvertSamplerValue(std::uint32_t uiState, std::uint32_t uiValue,
                                                  std::uint32_t& uiD3DValue);

    // Each entry not marked to be ignored that translates is set with its
    // save flag. False only for a group without entries.
    static bool SetupRenderStateGroup(NSBStateGroup& kGroup, NiD3DRenderStateGroup& kRSGroup);
    static bool SetupTextureStageGroup(NSBStateGroup& kGroup, NiD3DTextureStageGroup& kTSGroup);
    static bool SetupSamplerGroup(NSBStateGroup& kGroup, NiD3DTextureStageGroup& kTSGroup);
};
