#pragma once

#include "engine/shaders/framework/NiD3DPool.h"

#include <array>
#include <cstdint>
#include <memory>

class NiD3DRenderState;

// The texture-stage and sampler states one stage sets on the device, each
// held with or without the save flag (in one of two sets, never both). A new
// group holds nothing: what it does not set stays as the cache last sent it.
// Stage states are the device's own numbers 0-32; sampler states the
// engine's numbers 0-13, which the state cache turns into device ones.
class NiD3DTextureStageGroup
{
public:
    static constexpr std::uint32_t STAGE_STATES = 33;
    static constexpr std::uint32_t SAMPLER_STATES = 14;
    static constexpr std::uint32_t BLOCK = 8;

    void SetStageState(std::uint32_t uiState, std::uint32_t uiValue, bool bSave);
    void SetSamplerState(std::uint32_t uiState, std::uint32_t uiValue, bool bSave);
    // False for a number out of range or a state not held.
    bool GetStageState(std::uint32_t uiState, std::uint32_t& uiValue, bool& bSave) const;
    bool GetSamplerState(std::uint32_t uiState, std::uint32_t& uiValue, bool& bSave) const;
    void RemoveAllStageStates();
    void RemoveAllSamplerStates();
    // Stage states (only for a stage below the device's blend stages), then
    // sampler states, ascending, each from the unsaved set when held there.
    // The cache always gets the save flag false. 0 on success. Nothing is
    // sent again to the stage the group was last applied to while the
    // cache's stage states have not changed since.
    std::uint32_t SetToDevice(std::uint32_t uiStage) const;

    [[nodiscard]] std::uint32_t GetSavedStageStateCount() const { return m_kStage.m_uiSavedCount; }
    [[nodiscard]] std::uint32_t GetUnsavedStageStateCount() const { return m_kStage.m_uiUnsavedCount; }
    [[nodiscard]] std::uint32_t GetSavedSamplerStateCount() const { return m_kSampler.m_uiSavedCount; }
    [[nodiscard]] std::uint32_t GetUnsavedSamplerStateCount() const { return m_kSampler.m_uiUnsavedCount; }
    [[nodiscard]] bool IsPooled() const { return m_bPooled; }

    [[nodiscard]] static NiD3DTextureStageGroup* GetFreeGroup();
    // 0, and nothing done, for a group the pool did not make.
    static std::uint32_t ReleaseGroup(NiD3DTextureStageGroup* pkGroup);
    static void CreatePool();
    static void DestroyPool();
    [[nodiscard]] static NiD3DPool<NiD3DTextureStageGroup>* GetPool() { return ms_spPool.get(); }
    static void SetRenderState(NiD3DRenderState* pkRenderState) { ms_pkRenderState = pkRenderState; }
    [[nodiscard]] static NiD3DRenderState* GetRenderState() { return ms_pkRenderState; }

private:
    template <std::uint32_t N>
    struct StateSets
    {
        std::uint32_t m_uiSavedCount = 0;
        std::array<std::uint32_t, N> m_auiSaved{};
        std::array<bool, N> m_abSaved{};
        std::uint32_t m_uiUnsavedCount = 0;
        std::array<std::uint32_t, N> m_auiUnsaved{};
        std::array<bool, N> m_abUnsaved{};

        void Set(std::uint32_t uiState, std::uint32_t uiValue, bool bSave);
        bool Get(std::uint32_t uiState, std::uint32_t& uiValue, bool& bSave) const;
        void Clear() { *this = StateSets(); }
    };

    void Changed() { m_pkAppliedTo = nullptr; }

    std::uint8_t m_bPooled = 0;
    StateSets<STAGE_STATES> m_kStage;
    StateSets<SAMPLER_STATES> m_kSampler;
    // Where and at which cache serial the group was last applied.
    mutable const NiD3DRenderState* m_pkAppliedTo = nullptr;
    mutable std::uint64_t m_uiAppliedSerial = 0;
    mutable std::uint32_t m_uiAppliedStage = 0;
    mutable std::uint32_t m_uiAppliedBlendStages = 0;

    static NiD3DRenderState* ms_pkRenderState;
    static std::unique_ptr<NiD3DPool<NiD3DTextureStageGroup>> ms_spPool;
};
