#include "engine/render/image/NiNIFImageReader.h"

bool NiNIFImageReader::CanReadFile(const char* pcExtension) const
{
    return ExtensionIs(pcExtension, ".nif");
}

NiPixelDataPtr NiNIFImageReader::ReadFile(NiByteStream& kIst, NiPixelData*)
{
    NiRecursiveLockGuard kGuard(m_kReadCriticalSection);
    m_kStream.RemoveAllTopObjects();
    if (!m_kStream.LoadByteStream(&kIst) || m_kStream.GetObjectCount() != 1)
        return nullptr;
    return NiDynamicCast<NiPixelData>(m_kStream.GetObjectAt(0));
}

bool NiNIFImageReader::ReadHeader(NiByteStream& kIst, std::uint32_t& uiWidth, std::uint32_t& uiHeight,
                                  NiPixelFormat& kFormat, bool& bMipmap)
{
    NiRecursiveLockGuard kGuard(m_kReadCriticalSection);
    NiPixelDataPtr spImage = ReadFile(kIst, nullptr);
    if (!spImage)
        return false;
    uiWidth = spImage->GetWidth();
    uiHeight = spImage->GetHeight();
    kFormat = spImage->GetPixelFormat();
    bMipmap = spImage->GetNumMipmapLevels() > 1;
    return true;
}
