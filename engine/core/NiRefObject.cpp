#include "engine/core/NiRefObject.h"

std::atomic<std::uint32_t> NiRefObject::ms_uiObjects{0};

NiRefObject::NiRefObject()
{
    ms_uiObjects.fetch_add(1);
}

NiRefObject::~NiRefObject()
{
    ms_uiObjects.fetch_sub(1);
}
