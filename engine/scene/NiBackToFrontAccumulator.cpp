#include "engine/scene/NiBackToFrontAccumulator.h"

#include "engine/scene/NiCamera.h"
#include "engine/scene/NiGeometry.h"

#include <utility>

NiImplementTypeInfo(NiBackToFrontAccumulator, NiAccumulator)

namespace
{
// One of the three values, whatever they are (NaN included): the pivot must
// be a value of the range so the partition scans stop inside it.
float MedianOfThree(float a, float b, float c)
{
    if (a < b)
    {
        if (b < c)
            return b;
        return a < c ? c : a;
    }
    if (a < c)
        return a;
    return b < c ? c : b;
}
} // namespace

NiImplementCreateClone(NiBackToFrontAccumulator)

void NiBackToFrontAccumulator::CopyMembers(NiBackToFrontAccumulator* pkDest, NiCloneContext& kCloning)
{
    NiAccumulator::CopyMembers(pkDest, kCloning);
}

bool NiBackToFrontAccumulator::RegisterGeometry(NiAVObject* pkObject)
{
    auto* pkGeometry = NiDynamicCast<NiGeometry>(pkObject);
    if (pkGeometry == nullptr)
        return false;
    m_kPending.push_back(pkGeometry);
    return true;
}

float NiBackToFrontAccumulator::DepthOf(const NiGeometry* pkGeometry) const
{
    if (m_pkCamera == nullptr)
        return 0.0f;
    return m_pkCamera->GetWorldDirection().Dot(pkGeometry->GetWorldBound().m_kCenter);
}

void NiBackToFrontAccumulator::Sort()
{
    const auto uiCount = static_cast<std::uint32_t>(m_kPending.size());
    if (uiCount > m_uiMaxItems)
    {
        m_ppkItems.reset(new NiGeometry*[uiCount]);
        m_pfDepths.reset(new float[uiCount]);
        m_uiMaxItems = uiCount;
    }
    for (std::uint32_t i = 0; i < uiCount; ++i)
    {
        m_ppkItems[i] = m_kPending[i];
        m_pfDepths[i] = DepthOf(m_kPending[i]);
    }
    m_uiNumItems = uiCount;
    if (uiCount > 1)
        SortObjectsByDepth(0, static_cast<std::int64_t>(uiCount) - 1);
}

void NiBackToFrontAccumulator::SortObjectsByDepth(std::int64_t iFirst, std::int64_t iLast)
{
    while (iFirst < iLast)
    {
        const float fPivot = MedianOfThree(m_pfDepths[iFirst], m_pfDepths[(iFirst + iLast) / 2], m_pfDepths[iLast]);
        std::int64_t i = iFirst;
        std::int64_t j = iLast;
        // The bounds on the scans keep a NaN depth (which compares false
        // every way) from walking them off the range.
        do
        {
            while (i <= iLast && m_pfDepths[i] < fPivot)
                ++i;
            while (j >= iFirst && m_pfDepths[j] > fPivot)
                --j;
            if (i <= j)
            {
                std::swap(m_pfDepths[i], m_pfDepths[j]);
                std::swap(m_ppkItems[i], m_ppkItems[j]);
                ++i;
                --j;
            }
        } while (i <= j);

        if (j - iFirst < iLast - i)
        {
            SortObjectsByDepth(iFirst, j);
            iFirst = i;
        }
        else
        {
            SortObjectsByDepth(i, iLast);
            iLast = j;
        }
    }
}

void NiBackToFrontAccumulator::FinishAccumulating()
{
    if (m_pkCamera == nullptr)
        return;
    Sort();
    NiRenderer* pkRenderer = m_pkCamera->GetRenderer();
    for (m_uiCurrentItem = m_uiNumItems; m_uiCurrentItem > 0; --m_uiCurrentItem)
        m_ppkItems[m_uiCurrentItem - 1]->RenderImmediate(pkRenderer);
    m_kPending.clear();
    NiAccumulator::FinishAccumulating();
}

NiGeometry* NiBackToFrontAccumulator::GetSortedItem(std::uint32_t uiIndex) const
{
    return uiIndex < m_uiNumItems ? m_ppkItems[uiIndex] : nullptr;
}

float NiBackToFrontAccumulator::GetSortedDepth(std::uint32_t uiIndex) const
{
    return uiIndex < m_uiNumItems ? m_pfDepths[uiIndex] : 0.0f;
}
