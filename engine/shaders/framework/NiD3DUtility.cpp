#include "engine/shaders/framework/NiD3DUtility.h"

#include "engine/core/NiByteStream.h"
#include "engine/core/NiEndian.h"

#include <cstdarg>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <vector>

bool NiD3DUtility::ms_bDebug = false;
NiD3DUtility::LogHook NiD3DUtility::ms_pfnLogHook = nullptr;

void NiD3DUtility::Log(const char* pcFormat, ...)
{
    if (!ms_bDebug && ms_pfnLogHook == nullptr)
        return;
    char acText[1024];
    std::va_list kArgs;
    va_start(kArgs, pcFormat);
    std::vsnprintf(acText, sizeof(acText), pcFormat, kArgs);
    va_end(kArgs);
    if (ms_pfnLogHook != nullptr)
        ms_pfnLogHook(acText);
}

bool NiD3DUtility::_splitpath(const char* pcPath, std::string& kDrive, std::string& kDirectory, std::string& kName,
                              std::string& kExtension)
{
    const std::string kPath = pcPath ? pcPath : "";
    std::size_t uiStart = 0;
    kDrive.clear();
    if (kPath.size() >= 2 && kPath[1] == ':')
    {
        kDrive = kPath.substr(0, 2);
        uiStart = 2;
    }
    const std::size_t uiSlash = kPath.find_last_of("\\/");
    std::size_t uiNameStart = uiStart;
    kDirectory.clear();
    if (uiSlash != std::string::npos && uiSlash >= uiStart)
    {
        kDirectory = kPath.substr(uiStart, uiSlash + 1 - uiStart);
        uiNameStart = uiSlash + 1;
    }
    const std::string kFile = kPath.substr(uiNameStart);
    const std::size_t uiDot = kFile.find_last_of('.');
    if (uiDot == std::string::npos)
    {
        kName = kFile;
        kExtension.clear();
    }
    else
    {
        kName = kFile.substr(0, uiDot);
        kExtension = kFile.substr(uiDot);
    }
    return true;
}

namespace
{
bool CopyFitting(const std::string& kText, char* pcOut, std::size_t uiSize)
{
    if (pcOut == nullptr || kText.size() + 1 > uiSize)
        return false;
    std::memcpy(pcOut, kText.c_str(), kText.size() + 1);
    return true;
}
} // namespace

bool NiD3DUtility::GetPath(const char* pcFile, char* pcOut, std::size_t uiSize)
{
    std::string kDrive, kDirectory, kName, kExtension;
    _splitpath(pcFile, kDrive, kDirectory, kName, kExtension);
    return CopyFitting(kDrive + kDirectory, pcOut, uiSize);
}

bool NiD3DUtility::GetFileName(const char* pcFile, char* pcOut, std::size_t uiSize)
{
    std::string kDrive, kDirectory, kName, kExtension;
    _splitpath(pcFile, kDrive, kDirectory, kName, kExtension);
    return CopyFitting(kName, pcOut, uiSize);
}

bool NiD3DUtility::GetFileExtension(const char* pcFile, char* pcOut, std::size_t uiSize)
{
    std::string kDrive, kDirectory, kName, kExtension;
    _splitpath(pcFile, kDrive, kDirectory, kName, kExtension);
    if (pcOut == nullptr || uiSize == 0)
        return true;
    const std::size_t uiCopy = kExtension.size() < uiSize - 1 ? kExtension.size() : uiSize - 1;
    std::memcpy(pcOut, kExtension.data(), uiCopy);
    pcOut[uiCopy] = '\0';
    return true;
}

void NiD3DUtility::SetString(std::unique_ptr<char[]>& spSlot, const char* pcText)
{
    if (pcText == nullptr || pcText[0] == '\0')
    {
        spSlot.reset();
        return;
    }
    const std::size_t uiLength = std::strlen(pcText);
    if (spSlot != nullptr && uiLength < std::strlen(spSlot.get()))
    {
        std::memcpy(spSlot.get(), pcText, uiLength + 1);
        return;
    }
    spSlot = std::make_unique<char[]>(uiLength + 1);
    std::memcpy(spSlot.get(), pcText, uiLength + 1);
}

bool NiD3DUtility::WriteData(NiByteStream& kStream, const void* pvData, std::uint32_t uiSize)
{
    if (!NiWriteLE(kStream, uiSize))
        return false;
    if (uiSize == 0)
        return true;
    return pvData != nullptr && kStream.Write(pvData, uiSize) == uiSize;
}

bool NiD3DUtility::ReadData(NiByteStream& kStream, std::unique_ptr<std::uint8_t[]>& spData, std::uint32_t& uiSize)
{
    spData.reset();
    uiSize = 0;
    std::uint32_t uiStored = 0;
    if (!NiReadLE(kStream, uiStored))
        return false;
    if (uiStored == 0)
        return true;
    const std::uint64_t uiLeft = kStream.GetBytesLeft();
    if (uiLeft != NiByteStream::UNKNOWN_SIZE && uiStored > uiLeft)
        return false;
    std::unique_ptr<std::uint8_t[]> spNew;
    if (uiLeft != NiByteStream::UNKNOWN_SIZE)
    {
        spNew = std::make_unique<std::uint8_t[]>(uiStored);
        if (kStream.Read(spNew.get(), uiStored) != uiStored)
            return false;
    }
    else
    {
        // A stream that cannot tell its length is read in pieces, so a
        // hostile size costs no more memory than the bytes really there.
        std::vector<std::uint8_t> kBytes;
        constexpr std::uint32_t PIECE = 65536;
        while (kBytes.size() < uiStored)
        {
            const std::uint32_t uiWant = std::min<std::uint32_t>(PIECE, uiStored - static_cast<std::uint32_t>(kBytes.size()));
            const std::size_t uiAt = kBytes.size();
            kBytes.resize(uiAt + uiWant);
            if (kStream.Read(kBytes.data() + uiAt, uiWant) != uiWant)
                return false;
        }
        spNew = std::make_unique<std::uint8_t[]>(uiStored);
        std::memcpy(spNew.get(), kBytes.data(), uiStored);
    }
    spData = std::move(spNew);
    uiSize = uiStored;
    return true;
}

bool NiD3DUtility::ReadU32Array(NiByteStream& kStream, std::uint32_t* puiArray, std::uint32_t uiCount)
{
    for (std::uint32_t ui = 0; ui < uiCount; ++ui)
    {
        if (!NiReadLE(kStream, puiArray[ui]))
            return false;
    }
    return true;
}
