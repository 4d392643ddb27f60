#include "engine/shaders/framework/NiShader.h"

NiImplementTypeInfo(NiShader, NiObject)

NiShader::NiShader(const char* pcName, std::uint32_t uiImplementation)
    : m_kName(pcName ? pcName : ""), m_uiImplementation(uiImplementation)
{
}
