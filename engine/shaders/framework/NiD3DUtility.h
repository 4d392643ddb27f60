#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class NiByteStream;

// Small routines the shader libraries, the description parser and the
// program factory share: path pieces, owned strings and length-prefixed
// blocks in binary files.
class NiD3DUtility
{
public:
    // Formats only while the debug flag is set or a hook listens; the text
    // goes nowhere but to the hook.
    static void Log(const char* pcFormat, ...) __attribute__((format(printf, 1, 2)));
    static void SetDebugFlag(bool bOn) { ms_bDebug = bOn; }
    using LogHook = void (*)(const char* pcText);
    // Tests listen here; null stops listening.
    static void SetLogHook(LogHook pfnHook) { ms_pfnLogHook = pfnHook; }

    // Drive ("C:"), directory up to and including the last separator,
    // file name up to the last dot, extension from that dot; either
    // separator counts. True.
    static bool _splitpath(const char* pcPath, std::string& kDrive, std::string& kDirectory, std::string& kName,
                           std::string& kExtension);
    // Drive and directory; false when they do not fit in uiSize bytes.
    static bool GetPath(const char* pcFile, char* pcOut, std::size_t uiSize);
    // The file-name part; false when it does not fit.
    static bool GetFileName(const char* pcFile, char* pcOut, std::size_t uiSize);
    // The extension, cut to the size; true.
    static bool GetFileExtension(const char* pcFile, char* pcOut, std::size_t uiSize);

    // Null or "" frees the text and leaves null; otherwise a copy.
    static void SetString(std::unique_ptr<char[]>& spSlot, const char* pcText);

    // u32 size, then the bytes; true when every write completed.
    static bool WriteData(NiByteStream& kStream, const void* pvData, std::uint32_t uiSize);
    // u32 size, then that many bytes (size 0 gives null). A size beyond the
    // bytes the stream holds is refused before anything is allocated.
    static bool ReadData(NiByteStream& kStream, std::unique_ptr<std::uint8_t[]>& spData, std::uint32_t& uiSize);
    static bool ReadU32Array(NiByteStream& kStream, std::uint32_t* puiArray, std::uint32_t uiCount);

private:
    static bool ms_bDebug;
    static LogHook ms_pfnLogHook;
};
