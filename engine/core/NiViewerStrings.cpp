#include "engine/core/NiViewerStrings.h"

#include <cstdarg>
#include <cstdio>

char* NiViewerFormat(const char* pcFormat, ...)
{
    va_list args;
    va_start(args, pcFormat);
    va_list copy;
    va_copy(copy, args);
    int iLen = std::vsnprintf(nullptr, 0, pcFormat, copy);
    va_end(copy);
    if (iLen < 0)
        iLen = 0;
    char* pcText = new char[static_cast<std::size_t>(iLen) + 1];
    std::vsnprintf(pcText, static_cast<std::size_t>(iLen) + 1, pcFormat, args);
    va_end(args);
    return pcText;
}

char* NiViewerHeader(const char* pcClassName)
{
    return NiViewerFormat("--- %s ---", pcClassName ? pcClassName : "");
}

char* NiViewerBool(const char* pcName, bool bValue)
{
    return NiViewerFormat(bValue ? "%s = true" : "%s = false", pcName);
}

char* NiViewerUChar(const char* pcName, std::uint8_t ucValue)
{
    return NiViewerFormat("%s = %u", pcName, static_cast<unsigned>(ucValue));
}

char* NiViewerShort(const char* pcName, std::int16_t sValue)
{
    return NiViewerFormat("%s = %hd", pcName, sValue);
}

char* NiViewerUShort(const char* pcName, std::uint16_t usValue)
{
    return NiViewerFormat("%s = %hu", pcName, usValue);
}

char* NiViewerInt(const char* pcName, std::int32_t iValue)
{
    return NiViewerFormat("%s = %d", pcName, iValue);
}

char* NiViewerUInt(const char* pcName, std::uint32_t uiValue)
{
    return NiViewerFormat("%s = %u", pcName, uiValue);
}

char* NiViewerFloat(const char* pcName, float fValue)
{
    return NiViewerFormat("%s = %g", pcName, static_cast<double>(fValue));
}

char* NiViewerPointer(const char* pcName, const void* pvValue)
{
    return NiViewerFormat("%s = %p", pcName, pvValue);
}

char* NiViewerString(const char* pcName, const char* pcValue)
{
    if (pcValue == nullptr)
        return NiViewerFormat("%s = NULL", pcName);
    return NiViewerFormat("%s = %s", pcName, pcValue);
}
