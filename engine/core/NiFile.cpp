#include "engine/core/NiFile.h"

#include "engine/core/NiBufferedFile.h"
#include "platform/os/OsFiles.h"

#include <cstdio>

namespace
{
std::unique_ptr<NiByteStream> DefaultOpenFile(const char* pcPath, std::uint32_t uiMode, std::uint32_t uiBufferSize)
{
    return std::make_unique<NiBufferedFile>(pcPath, uiMode, uiBufferSize);
}

bool DefaultFileAccess(const char* pcPath, std::uint32_t uiMode)
{
    if (pcPath == nullptr || pcPath[0] == '\0')
        return false;
    if (uiMode == NiBufferedFile::READ_ONLY)
        return NiBufferedFile(pcPath, NiBufferedFile::READ_ONLY, 0).IsGood();
    // Opening in mode 1 would truncate the file it is asked about.
    return os::FileWritable(pcPath);
}

NiOpenFileFunction s_pfnOpen = DefaultOpenFile;
NiFileAccessFunction s_pfnAccess = DefaultFileAccess;
} // namespace

std::unique_ptr<NiByteStream> NiOpenFile(const char* pcPath, std::uint32_t uiMode, std::uint32_t uiBufferSize)
{
    return s_pfnOpen(pcPath, uiMode, uiBufferSize);
}

bool NiFileAccessible(const char* pcPath, std::uint32_t uiMode)
{
    return s_pfnAccess(pcPath, uiMode);
}

std::uint32_t NiGetFileSize(const char* pcPath)
{
    if (pcPath == nullptr || pcPath[0] == '\0')
        return 0;
    std::uint64_t uiSize = os::GetFileSize(pcPath);
    return uiSize > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(uiSize);
}

void NiSetOpenFileFunction(NiOpenFileFunction pfnOpen)
{
    s_pfnOpen = pfnOpen ? pfnOpen : DefaultOpenFile;
}

void NiSetFileAccessFunction(NiFileAccessFunction pfnAccess)
{
    s_pfnAccess = pfnAccess ? pfnAccess : DefaultFileAccess;
}
