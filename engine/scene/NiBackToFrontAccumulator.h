#pragma once

#include "engine/scene/NiAccumulator.h"

#include <cstdint>
#include <memory>
#include <vector>

class NiGeometry;

// Takes every geometry of the pass and draws it farthest first when the
// pass ends: depth is the distance of the bound's centre along the camera's
// view direction.
class NiBackToFrontAccumulator : public NiAccumulator
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiBackToFrontAccumulator)

public:
    NiBackToFrontAccumulator() = default;
    ~NiBackToFrontAccumulator() override = default;

    // Sorts, draws from the largest depth down, then empties the pending
    // list and ends the pass. Nothing outside a pass.
    void FinishAccumulating() override;
    // Appends any geometry; anything else is left to its caller.
    bool RegisterGeometry(NiAVObject* pkObject) override;
    // Fills the sort arrays from the pending list and sorts them by depth.
    virtual void Sort();

    [[nodiscard]] std::uint32_t GetPendingCount() const { return static_cast<std::uint32_t>(m_kPending.size()); }
    // After Sort: the geometry and depths in ascending depth order.
    [[nodiscard]] std::uint32_t GetSortedCount() const { return m_uiNumItems; }
    [[nodiscard]] NiGeometry* GetSortedItem(std::uint32_t uiIndex) const;
    [[nodiscard]] float GetSortedDepth(std::uint32_t uiIndex) const;
    [[nodiscard]] std::uint32_t GetSortCapacity() const { return m_uiMaxItems; }

protected:
    // Depth key of one geometry for the camera of the pass.
    [[nodiscard]] virtual float DepthOf(const NiGeometry* pkGeometry) const;
    // Ascending quicksort of entries first..last, geometry and depth moving
    // together. The smaller part is sorted by recursion and the larger by the
    // loop, so the stack stays logarithmic whatever the input.
    void SortObjectsByDepth(std::int64_t iFirst, std::int64_t iLast);

    // Registration order; the geometry lives in the scene for the pass.
    std::vector<NiGeometry*> m_kPending;
    std::uint32_t m_uiNumItems = 0;
    std::uint32_t m_uiMaxItems = 0;
    std::unique_ptr<NiGeometry*[]> m_ppkItems;
    std::unique_ptr<float[]> m_pfDepths;
    std::uint32_t m_uiCurrentItem = 0;
};

using NiBackToFrontAccumulatorPtr = NiRefPtr<NiBackToFrontAccumulator>;
