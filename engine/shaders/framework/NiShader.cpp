#include "engine/shaders/framework/NiShader.h"

NiImplementRootTypeInfo(NiShader)

NiShader::NiShader(const char* pcName, std::uint32_t uiImplementation)
    : m_kName(pcName ? pcName : ""), m_uiImplementation(uiImplementation)
{
}
