#include "engine/shaders/framework/NiD3DController.h"

#include <limits>

NiImplementTypeInfo(NiD3DController, NiTimeController)

NiD3DController::NiD3DController()
{
    m_fLoKeyTime = -std::numeric_limits<float>::max();
    m_fHiKeyTime = std::numeric_limits<float>::max();
}
