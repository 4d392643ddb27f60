#include "engine/shaders/framework/NiShader.h"

#include "engine/core/NiLoadArena.h"
#include "engine/core/NiObjectStream.h"

NiImplementRootTypeInfo(NiShader)

NiShader::NiShader(const char* pcName, std::uint32_t uiImplementation)
    : m_kName(pcName ? pcName : ""), m_uiImplementation(uiImplementation)
{
}

bool NiShader::SetupGeometry(NiGeometry*)
{
    return true;
}

void NiShader::SaveBinary(NiObjectStream& kStream) const
{
    kStream.WriteString(GetName());
    kStream.WriteLE(m_uiImplementation);
}

void NiShader::LoadBinary(NiObjectStream& kStream)
{
    NiArenaString spName = kStream.ReadArenaString();
    SetName(spName.get());
    std::uint32_t uiImplementation = 0;
    if (kStream.ReadLE(uiImplementation))
        m_uiImplementation = uiImplementation;
    else
        kStream.SetCorrupt();
}
