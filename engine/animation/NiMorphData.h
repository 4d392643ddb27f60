#pragma once

#include "engine/animation/NiInterpolator.h"
#include "engine/core/NiObject.h"
#include "engine/core/NiVec3.h"

#include <cstdint>
#include <memory>

// Morph targets: per target a full set of vertex positions (or offsets from
// the base shape when the targets are relative) and a name. Old files keep
// each target's weight keys here; they become a float interpolator on load.
class NiMorphData : public NiObject
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiMorphData)

public:
    class MorphTarget
    {
    public:
        // A copy; null clears it.
        void SetName(const char* pcName);
        [[nodiscard]] const char* GetName() const { return m_spName.get(); }
        [[nodiscard]] float GetLegacyWeight() const { return m_fLegacyWeight; }
        void SetLegacyWeight(float f) { m_fLegacyWeight = f; }
        [[nodiscard]] NiVec3* GetTargetVerts() const { return m_spVerts.get(); }
        [[nodiscard]] NiInterpolator* GetInterpolator() const { return m_spInterpolator; }
        void SetInterpolator(NiInterpolator* pk) { m_spInterpolator = pk; }

    private:
        friend class NiMorphData;
        std::unique_ptr<NiVec3[]> m_spVerts;
        std::unique_ptr<char[]> m_spName;
        float m_fLegacyWeight = 0.0f;
        NiInterpolatorPtr m_spInterpolator;
    };

    NiMorphData() = default;
    ~NiMorphData() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    // Replaces every target: uiTargets targets of uiVerts zeroed vertices.
    void SetTargets(std::uint32_t uiTargets, std::uint32_t uiVerts);
    [[nodiscard]] std::uint32_t GetNumTargets() const { return m_uiNumTargets; }
    [[nodiscard]] std::uint32_t GetNumVertsPerTarget() const { return m_uiNumVertsPerTarget; }
    [[nodiscard]] MorphTarget* GetTarget(std::uint32_t ui) const
    {
        return ui < m_uiNumTargets ? &m_spTargets[ui] : nullptr;
    }
    [[nodiscard]] bool GetRelativeTargets() const { return m_bRelativeTargets; }
    void SetRelativeTargets(bool b) { m_bRelativeTargets = b; }
    // First target whose name matches ignoring case; -1 for none.
    [[nodiscard]] std::int32_t FindTarget(const char* pcName) const;

    // u32 targets, u32 vertices per target, u8 relative flag; per target the
    // name, the weight and the vertices (files before 10.1.0.104: weight
    // keys instead of name and weight).
    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    std::uint32_t m_uiNumTargets = 0;
    std::uint32_t m_uiNumVertsPerTarget = 0;
    std::unique_ptr<MorphTarget[]> m_spTargets;
    bool m_bRelativeTargets = false;
};

using NiMorphDataPtr = NiRefPtr<NiMorphData>;
