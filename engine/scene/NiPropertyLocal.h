#pragma once

// Helpers the rendering property classes share; only their .cpp files
// include this.

#include "engine/core/NiColor.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

#include <cstdint>

namespace NiPropertyLocal
{
template <std::size_t N>
const char* EnumName(const char* const (&apcNames)[N], std::uint32_t uiValue)
{
    return uiValue < N ? apcNames[uiValue] : "UNKNOWN";
}

inline void ReadColor(NiObjectStream& kStream, NiColorRGB& kColor)
{
    kStream.ReadLE(kColor.r);
    kStream.ReadLE(kColor.g);
    kStream.ReadLE(kColor.b);
}

inline void WriteColor(NiObjectStream& kStream, const NiColorRGB& kColor)
{
    kStream.WriteLE(kColor.r);
    kStream.WriteLE(kColor.g);
    kStream.WriteLE(kColor.b);
}

// Files from 10.0.1.2 carry the flags in the class's own record; older ones
// left them in the property base's part.
inline std::uint16_t ReadFlags(NiObjectStream& kStream, std::uint16_t usOldMask)
{
    if (kStream.GetFileVersion() >= NiStreamVersion(10, 0, 1, 2))
    {
        std::uint16_t us = 0;
        kStream.ReadLE(us);
        return us;
    }
    return static_cast<std::uint16_t>(kStream.GetSavedPropertyFlags() & usOldMask);
}

inline const char* const BLEND_NAMES[] = {"ALPHA_ONE",          "ALPHA_ZERO",         "ALPHA_SRCCOLOR",
                                          "ALPHA_INVSRCCOLOR",  "ALPHA_DESTCOLOR",    "ALPHA_INVDESTCOLOR",
                                          "ALPHA_SRCALPHA",     "ALPHA_INVSRCALPHA",  "ALPHA_DESTALPHA",
                                          "ALPHA_INVDESTALPHA", "ALPHA_SRCALPHASAT"};
inline const char* const TEST_NAMES[] = {"TEST_ALWAYS",   "TEST_LESS",     "TEST_EQUAL",        "TEST_LESSEQUAL",
                                         "TEST_GREATER",  "TEST_NOTEQUAL", "TEST_GREATEREQUAL", "TEST_NEVER"};
} // namespace NiPropertyLocal
