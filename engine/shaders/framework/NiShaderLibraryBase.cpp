#include "engine/shaders/framework/NiShaderLibraryBase.h"

NiShader* NiShaderLibraryBase::GetShader(NiRenderer*, const char*, std::uint32_t)
{
    return nullptr;
}

void NiShaderLibraryBase::SetRenderer(NiDX9Renderer*) {}
