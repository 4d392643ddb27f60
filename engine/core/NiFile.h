#pragma once

#include "engine/core/NiByteStream.h"

#include <cstdint>
#include <memory>

// Engine file access goes through two replaceable hooks, so a host could
// route it elsewhere; the defaults use buffered disk files.

// Returns a stream even when the file did not open: callers test IsGood.
using NiOpenFileFunction = std::unique_ptr<NiByteStream> (*)(const char* pcPath, std::uint32_t uiMode,
                                                             std::uint32_t uiBufferSize);
using NiFileAccessFunction = bool (*)(const char* pcPath, std::uint32_t uiMode);

// Mode 0 read, 1 write, 2 append.
[[nodiscard]] std::unique_ptr<NiByteStream> NiOpenFile(const char* pcPath, std::uint32_t uiMode,
                                                       std::uint32_t uiBufferSize);
// Mode 0: the file can be opened for reading. Modes 1 and 2: it could be
// opened for writing; nothing is created or truncated to find out.
[[nodiscard]] bool NiFileAccessible(const char* pcPath, std::uint32_t uiMode);
// Size in bytes; 0 when the file is missing or cannot be examined (and for an
// empty file). Files beyond 4 GB report 0xFFFFFFFF.
[[nodiscard]] std::uint32_t NiGetFileSize(const char* pcPath);

// Null restores the default.
void NiSetOpenFileFunction(NiOpenFileFunction pfnOpen);
void NiSetFileAccessFunction(NiFileAccessFunction pfnAccess);
