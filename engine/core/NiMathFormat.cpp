#include "engine/core/NiMathFormat.h"

#include <cstdarg>
#include <cstdio>

char* NiMathFormat(const char* pcFormat, ...)
{
    va_list kArgs;
    va_start(kArgs, pcFormat);
    va_list kCopy;
    va_copy(kCopy, kArgs);
    int iLength = std::vsnprintf(nullptr, 0, pcFormat, kCopy);
    va_end(kCopy);
    if (iLength < 0)
        iLength = 0;
    char* pcText = new char[static_cast<std::size_t>(iLength) + 1];
    if (iLength > 0)
        std::vsnprintf(pcText, static_cast<std::size_t>(iLength) + 1, pcFormat, kArgs);
    else
        pcText[0] = '\0';
    va_end(kArgs);
    return pcText;
}
