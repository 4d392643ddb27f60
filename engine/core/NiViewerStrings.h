#pragma once

#include <cstdint>

// Formatters for the viewer strings engine objects describe themselves with.
// Each returns a new heap string (new[]); the array they go into owns them.
char* NiViewerHeader(const char* pcClassName);
char* NiViewerBool(const char* pcName, bool bValue);
char* NiViewerUChar(const char* pcName, std::uint8_t ucValue);
char* NiViewerShort(const char* pcName, std::int16_t sValue);
char* NiViewerUShort(const char* pcName, std::uint16_t usValue);
char* NiViewerInt(const char* pcName, std::int32_t iValue);
char* NiViewerUInt(const char* pcName, std::uint32_t uiValue);
char* NiViewerFloat(const char* pcName, float fValue);
char* NiViewerPointer(const char* pcName, const void* pvValue);
char* NiViewerString(const char* pcName, const char* pcValue);

// printf-style formatting into a new heap string sized to fit.
char* NiViewerFormat(const char* pcFormat, ...) __attribute__((format(printf, 1, 2)));
