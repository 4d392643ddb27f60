#pragma once

#include "engine/core/NiBoundSphere.h"
#include "engine/core/NiObject.h"
#include "engine/core/NiVec3.h"

#include <cstdint>
#include <vector>

class NiCamera;
class NiLODNode;

// How a level-of-detail node picks its level from the camera.
class NiLODData : public NiObject
{
    NiDeclareTypeInfo()

public:
    // -1 when no level applies.
    [[nodiscard]] virtual int ChooseLevel(NiCamera* pkCamera, NiLODNode* pkNode) = 0;
    virtual void UpdateWorldExtent(NiLODNode* pkNode) = 0;
    [[nodiscard]] virtual NiLODData* Copy() const = 0;
    [[nodiscard]] virtual int MapOverrideLevel(int iLevel) const = 0;

    // A copy (through Copy) with the object's own members.
    NiObject* CreateClone(NiCloneContext& kCloning) override;
};

using NiLODDataPtr = NiRefPtr<NiLODData>;

// Levels by the camera's distance from a centre, one range per level.
class NiRangeLODData : public NiLODData
{
    NiDeclareTypeInfo()

public:
    struct Range
    {
        float m_fNear = 0.0f;
        float m_fFar = 0.0f;
        float m_fWorldNear = 0.0f;
        float m_fWorldFar = 0.0f;
    };

    NiRangeLODData() = default;
    static NiObject* CreateObject() { return new NiRangeLODData; }

    [[nodiscard]] const NiVec3& GetCenter() const { return m_kCenter; }
    void SetCenter(const NiVec3& k) { m_kCenter = k; }
    [[nodiscard]] const NiVec3& GetWorldCenter() const { return m_kWorldCenter; }
    [[nodiscard]] std::uint32_t GetNumRanges() const { return static_cast<std::uint32_t>(m_kRanges.size()); }
    // Growing keeps the existing ranges.
    void SetNumRanges(std::uint32_t uiCount) { m_kRanges.resize(uiCount); }
    void SetRange(std::uint32_t uiIndex, float fNear, float fFar);
    [[nodiscard]] const Range& GetRange(std::uint32_t uiIndex) const { return m_kRanges[uiIndex]; }

    [[nodiscard]] int ChooseLevel(NiCamera* pkCamera, NiLODNode* pkNode) override;
    void UpdateWorldExtent(NiLODNode* pkNode) override;
    [[nodiscard]] NiLODData* Copy() const override;
    [[nodiscard]] int MapOverrideLevel(int iLevel) const override;

    // The record part after the object's: centre, count, near/far pairs.
    // Also the inline form of old LOD node records.
    void LoadRanges(NiObjectStream& kStream);

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    NiVec3 m_kCenter;
    NiVec3 m_kWorldCenter;
    std::vector<Range> m_kRanges;
};

// Levels by the share of the screen the node's bound covers.
class NiScreenLODData : public NiLODData
{
    NiDeclareTypeInfo()

public:
    NiScreenLODData() = default;
    static NiObject* CreateObject() { return new NiScreenLODData; }

    [[nodiscard]] const NiBoundSphere& GetBound() const { return m_kBound; }
    void SetBound(const NiBoundSphere& k) { m_kBound = k; }
    [[nodiscard]] const NiBoundSphere& GetWorldBound() const { return m_kWorldBound; }
    void SetWorldBound(const NiBoundSphere& k) { m_kWorldBound = k; }
    [[nodiscard]] std::uint32_t GetNumProportions() const { return static_cast<std::uint32_t>(m_kProportions.size()); }
    void SetNumProportions(std::uint32_t uiCount) { m_kProportions.resize(uiCount); }
    // Ignored beyond the count, as for the ranges.
    void SetProportion(std::uint32_t uiIndex, float f)
    {
        if (uiIndex < m_kProportions.size())
            m_kProportions[uiIndex] = f;
    }
    [[nodiscard]] float GetProportion(std::uint32_t uiIndex) const { return m_kProportions[uiIndex]; }

    [[nodiscard]] int ChooseLevel(NiCamera* pkCamera, NiLODNode* pkNode) override;
    void UpdateWorldExtent(NiLODNode* pkNode) override;
    [[nodiscard]] NiLODData* Copy() const override;
    [[nodiscard]] int MapOverrideLevel(int iLevel) const override;

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    NiBoundSphere m_kBound;
    NiBoundSphere m_kWorldBound;
    std::vector<float> m_kProportions;
};
