#include "engine/core/NiPlane.h"

#include "engine/core/NiViewerStrings.h"

char* NiPlane::GetViewerString(const char* /*pcLabel*/) const
{
    return NiViewerFormat("(%g,%g,%g), %g", static_cast<double>(m_kNormal.x), static_cast<double>(m_kNormal.y),
                        static_cast<double>(m_kNormal.z), static_cast<double>(m_fConstant));
}
