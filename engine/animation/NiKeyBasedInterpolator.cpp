#include "engine/animation/NiKeyBasedInterpolator.h"

#include <cfloat>

NiImplementTypeInfo(NiKeyBasedInterpolator, NiInterpolator)

namespace
{
void Widen(const NiAnimKey* pkKeys, std::uint32_t uiCount, std::uint8_t uiStride, float& fBegin, float& fEnd)
{
    if (pkKeys == nullptr || uiCount == 0 || uiStride == 0)
        return;
    const NiAnimKey* pkLast = NiAnimKey::At(pkKeys, uiCount - 1, uiStride);
    if (pkKeys->m_fTime < fBegin)
        fBegin = pkKeys->m_fTime;
    if (pkLast->m_fTime > fEnd)
        fEnd = pkLast->m_fTime;
}
} // namespace

void NiKeyBasedInterpolator::GetActiveTimeRange(float& fBegin, float& fEnd) const
{
    fBegin = FLT_MAX;
    fEnd = -FLT_MAX;
    for (std::uint16_t c = 0; c < GetKeyChannelCount(); ++c)
    {
        NiAnimKey* pkKeys = GetKeyArray(c);
        std::uint32_t uiCount = GetKeyCount(c);
        if (pkKeys == nullptr || uiCount == 0)
            continue;
        if (GetKeyContent(c) == NI_ROTKEY && GetKeyType(c) == NI_EULERKEY)
        {
            // The Euler key's own time says nothing; its axes hold the keys.
            const auto* pkEuler = static_cast<const NiEulerRotKey*>(pkKeys);
            for (int a = 0; a < 3; ++a)
                Widen(pkEuler->m_apkKeys[a], pkEuler->m_uiNumKeys[a], pkEuler->m_ucSizes[a], fBegin, fEnd);
            continue;
        }
        Widen(pkKeys, uiCount, GetKeyStride(c), fBegin, fEnd);
    }
    if (fBegin == FLT_MAX && fEnd == -FLT_MAX)
    {
        fBegin = 0.0f;
        fEnd = 0.0f;
    }
}
