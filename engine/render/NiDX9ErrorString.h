#pragma once

#include "platform/gfx/GfxTypes.h"

// The symbolic name of a device result for diagnostics; "UNKNOWN!" for
// codes without one (success included).
[[nodiscard]] const char* NiDX9ErrorString(gfx::HRESULT eResult);
