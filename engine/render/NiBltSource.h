#pragma once

#include "engine/core/NiObject.h"
#include "engine/render/NiPixelData.h"

#include <cstdint>
#include <memory>
#include <string>

// An image copied straight to the back buffer: from a file or from pixel
// data in memory. Every blit source sits in one process-wide list from
// construction to destruction, so a renderer can walk them all to drop the
// data it made for them.
class NiBltSource : public NiObject
{
    NiDeclareTypeInfo()

public:
    // Whatever a renderer keeps for a blit source; deleted with it.
    class RendererData
    {
    public:
        virtual ~RendererData() = default;
        [[nodiscard]] virtual std::uint32_t GetWidth() const = 0;
        [[nodiscard]] virtual std::uint32_t GetHeight() const = 0;
    };

    NiBltSource();
    ~NiBltSource() override;

    // The renderer data's size, else the pixel data's level 0, else 0.
    [[nodiscard]] virtual std::uint32_t GetWidth() const;
    [[nodiscard]] virtual std::uint32_t GetHeight() const;

    // Empty when the image comes from pixel data.
    [[nodiscard]] const std::string& GetFileName() const { return m_kFileName; }
    [[nodiscard]] const std::string& GetPlatformSpecificFileName() const { return m_kPlatformFileName; }
    // Names the image file (and the name opened for it).
    void SetFileName(const char* pcFileName);
    [[nodiscard]] NiPixelData* GetSourcePixelData() const { return m_spSrcPixelData; }
    void SetSourcePixelData(NiPixelData* pkPixelData) { m_spSrcPixelData = pkPixelData; }

    [[nodiscard]] RendererData* GetRendererData() const { return m_spRendererData.get(); }
    void SetRendererData(std::unique_ptr<RendererData> spData) { m_spRendererData = std::move(spData); }

    // The process-wide list, walked under the blit-source lock.
    [[nodiscard]] static NiBltSource* GetListHead() { return ms_pkHead; }
    [[nodiscard]] NiBltSource* GetListNext() const { return m_pkNext; }
    [[nodiscard]] static std::uint32_t GetListCount();

    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    bool RegisterForSave(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

    [[nodiscard]] static NiObject* CreateObject();

protected:
    // Leaves the blit-source list before any part of it is destroyed.
    void DeleteThis() override;

private:
    void AddToList();
    void RemoveFromList();

    std::string m_kFileName;
    std::string m_kPlatformFileName;
    NiPixelDataPtr m_spSrcPixelData;
    std::unique_ptr<RendererData> m_spRendererData;
    NiBltSource* m_pkPrev = nullptr;
    NiBltSource* m_pkNext = nullptr;

    static NiBltSource* ms_pkHead;
    static NiBltSource* ms_pkTail;
};

using NiBltSourcePtr = NiRefPtr<NiBltSource>;
