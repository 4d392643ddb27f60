#include "engine/animation/NiBoolTimelineInterpolator.h"

#include "engine/core/NiCloneContext.h"
#include "engine/core/NiViewerStrings.h"

NiImplementTypeInfo(NiBoolTimelineInterpolator, NiBoolInterpolator)
NiImplementCreateClone(NiBoolTimelineInterpolator)

NiObject* NiBoolTimelineInterpolator::CreateObject()
{
    return new NiBoolTimelineInterpolator;
}

void NiBoolTimelineInterpolator::CopyMembers(NiBoolTimelineInterpolator* pkDest, NiCloneContext& kCloning)
{
    NiBoolInterpolator::CopyMembers(pkDest, kCloning);
    pkDest->m_uiPreviousIdx = m_uiPreviousIdx;
    pkDest->m_bPreviousValue = m_bPreviousValue;
}

bool NiBoolTimelineInterpolator::UpdateBool(float fTime, NiObjectNET*, std::uint8_t& bValue)
{
    if (fTime == m_fLastTime)
    {
        bValue = IsValueValid(m_bBoolValue) ? m_bBoolValue : 0;
        return IsValueValid(m_bBoolValue);
    }
    if (!m_spData || m_spData->GetNumKeys() == 0 || m_spData->GetKeys() == nullptr)
    {
        if (!IsValueValid(m_bBoolValue))
        {
            bValue = 0;
            return false;
        }
        bValue = m_bBoolValue;
        m_fLastTime = fTime;
        return true;
    }

    const NiAnimKey* pkKeys = m_spData->GetKeys();
    const std::uint32_t uiCount = m_spData->GetNumKeys();
    const std::uint8_t ucStride = m_spData->GetKeyStride();
    const std::uint32_t uiPrevious = m_uiPreviousIdx = m_uiLastIdx;
    std::uint8_t b = NiBoolKey::EvaluateAt(fTime, pkKeys, m_spData->GetKeyType(), uiCount, m_uiLastIdx, ucStride)
                         ? 1
                         : 0;
    // Past the last key every key has been passed, though the search stops
    // its index one short of the end.
    const float fLastKeyTime = NiAnimKey::At(pkKeys, uiCount - 1, ucStride)->m_fTime;
    const std::uint32_t uiNew = fTime > fLastKeyTime ? uiCount - 1 : m_uiLastIdx;
    std::uint8_t bResult = b;

    if (b == m_bPreviousValue)
    {
        auto fnOpposite = [&](std::uint32_t uiFrom, std::uint32_t uiTo) {
            for (std::uint32_t i = uiFrom; i < uiTo && i < uiCount; ++i)
            {
                if ((static_cast<const NiBoolKey*>(NiAnimKey::At(pkKeys, i, ucStride))->m_bValue != 0) != (b != 0))
                    return true;
            }
            return false;
        };
        bool bPassed = uiPrevious <= uiNew ? fnOpposite(uiPrevious + 1, uiNew)
                                           : (fnOpposite(uiPrevious + 1, uiCount) || fnOpposite(0, uiNew));
        if (bPassed)
            bResult = b ? 0 : 1;
    }

    m_bBoolValue = bResult;
    m_bPreviousValue = b;
    bValue = bResult;
    m_fLastTime = fTime;
    return true;
}

void NiBoolTimelineInterpolator::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiBoolInterpolator::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiBoolTimelineInterpolator::TypeInfo()->GetName()));
}
