#pragma once

#include "engine/scene/NiAccumulator.h"
#include "engine/scene/NiNode.h"

#include <cstdint>

// Changes how alpha-sorted geometry below it is collected: as usual, not at
// all, or by its own accumulator.
class NiSortAdjustNode : public NiNode
{
    NiDeclareTypeInfo()

public:
    enum SortingMode : std::uint32_t
    {
        SORTING_INHERIT = 0,
        SORTING_OFF = 1,
        SORTING_SUBSORT = 2,
    };

    NiSortAdjustNode() = default;
    static NiObject* CreateObject() { return new NiSortAdjustNode; }

    [[nodiscard]] std::uint32_t GetSortingMode() const { return m_eSortingMode; }
    void SetSortingMode(std::uint32_t e) { m_eSortingMode = e; }
    [[nodiscard]] NiAccumulator* GetAccumulator() const { return m_spAccum; }
    void SetAccumulator(NiAccumulator* pk) { m_spAccum = pk; }

    void OnVisible(NiCamera* pkCamera) override;

    NiObject* CreateClone(NiCloneContext& kCloning) override;
    void FinishClone(NiCloneContext& kCloning) override;
    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    bool RegisterForSave(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    std::uint32_t m_eSortingMode = SORTING_INHERIT;
    NiAccumulatorPtr m_spAccum;
};
