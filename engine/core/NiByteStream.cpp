#include "engine/core/NiByteStream.h"

std::uint32_t NiByteStream::ReadLine(char* pcBuffer, std::uint32_t uiCapacity)
{
    if (pcBuffer == nullptr)
        return 0;
    if (uiCapacity < 2)
    {
        if (uiCapacity == 1)
            pcBuffer[0] = '\0';
        return 0;
    }

    std::uint32_t uiStored = 0;
    std::uint32_t uiConsumed = 0;
    while (uiStored < uiCapacity - 1)
    {
        char c = 0;
        if (Read(&c, 1) != 1)
            break;
        ++uiConsumed;
        if (c == '\n')
            break;
        if (c == '\r')
            continue;
        pcBuffer[uiStored++] = c;
    }
    pcBuffer[uiStored] = '\0';
    return uiConsumed;
}

std::uint32_t NiByteStream::WriteCString(const char* pcText)
{
    if (pcText == nullptr)
        return 0;
    std::uint32_t uiWritten = 0;
    for (const char* p = pcText; *p != '\0'; ++p)
    {
        if (Write(p, 1) != 1)
            break;
        ++uiWritten;
    }
    return uiWritten;
}
