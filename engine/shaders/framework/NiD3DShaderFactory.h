#pragma once

#include "engine/core/NiHashMap.h"
#include "engine/shaders/framework/NiShader.h"
#include "engine/shaders/framework/NiShaderFactory.h"
#include "engine/shaders/framework/NiShaderLibraryBase.h"
#include "platform/gfx/Gfx.h"

#include <cstdint>
#include <memory>
#include <string>

class NiDX9Renderer;

// A named block of bytes the shaders share (a texture matrix, say), kept by
// the factory with a count of its users.
class NiD3DGlobalDataEntry : public NiRefObject
{
public:
    NiD3DGlobalDataEntry(const char* pcName, std::uint32_t uiType, std::uint32_t uiSize, const void* pvData);

    [[nodiscard]] const char* GetName() const { return m_kName.c_str(); }
    [[nodiscard]] std::uint32_t GetType() const { return m_uiType; }
    // The buffer's capacity: it only grows.
    [[nodiscard]] std::uint32_t GetSize() const { return m_uiSize; }
    [[nodiscard]] const std::uint8_t* GetData() const { return m_spData.get(); }
    // Grows the buffer when the new size exceeds it; copies the bytes unless
    // the source is null.
    void SetOwnedDataBlock(std::uint32_t uiSize, const void* pvData);

private:
    std::string m_kName;
    std::uint32_t m_uiType = 0;
    std::uint32_t m_uiSize = 0;
    std::unique_ptr<std::uint8_t[]> m_spData;
};

using NiD3DGlobalDataEntryPtr = NiRefPtr<NiD3DGlobalDataEntry>;

// The device renderer's shader factory: shaders by name and implementation,
// the libraries asked for shaders it does not hold, and the shared global
// data blocks.
class NiD3DShaderFactory : public NiShaderFactory
{
public:
    static constexpr std::uint32_t SHADER_BUCKETS = 59;
    static constexpr std::uint32_t LIBRARY_BUCKETS = 37;
    static constexpr std::uint32_t GLOBAL_BUCKETS = 37;

    ~NiD3DShaderFactory() override;

    bool AttachShader(NiGeometry* pkGeometry, NiShader* pkShader) override;
    bool AttachShaderByName(NiGeometry* pkGeometry, const char* pcName, std::uint32_t uiImplementation) override;
    bool DetachGeometry(NiGeometry* pkGeometry) override;
    NiShader* RetrieveShader(const char* pcName, std::uint32_t uiImplementation, bool bReportErrors) override;
    void InsertShader(NiShader* pkShader, std::uint32_t uiImplementation) override;
    NiShader* FindShader(const char* pcName, std::uint32_t uiImplementation) override;
    void RemoveShader(const char* pcName, std::uint32_t uiImplementation) override;
    void RemoveAllShaders() override;
    void InsertLibrary(NiShaderLibraryBase* pkLibrary) override;
    NiShaderLibraryBase* FindLibrary(const char* pcName) override;
    void RemoveLibrary(const char* pcName) override;
    void RemoveAllLibraries() override;
    NiShaderLibraryBase* GetFirstLibrary() override;
    NiShaderLibraryBase* GetNextLibrary() override;
    [[nodiscard]] std::uint32_t GetMinorPixelShaderVersion(std::uint32_t uiVersion) override { return uiVersion & 0xFF; }
    [[nodiscard]] std::uint32_t GetMajorPixelShaderVersion(std::uint32_t uiVersion) override
    {
        return (uiVersion >> 8) & 0xFF;
    }
    [[nodiscard]] std::uint32_t CreatePixelShaderVersion(std::uint32_t uiMajor, std::uint32_t uiMinor) override
    {
        return gfx::D3DPS_VERSION(uiMajor, uiMinor);
    }
    [[nodiscard]] std::uint32_t GetMinorVertexShaderVersion(std::uint32_t uiVersion) override
    {
        return uiVersion & 0xFF;
    }
    [[nodiscard]] std::uint32_t GetMajorVertexShaderVersion(std::uint32_t uiVersion) override
    {
        return (uiVersion >> 8) & 0xFF;
    }
    [[nodiscard]] std::uint32_t CreateVertexShaderVersion(std::uint32_t uiMajor, std::uint32_t uiMinor) override
    {
        return gfx::D3DVS_VERSION(uiMajor, uiMinor);
    }
    [[nodiscard]] const char* GetPlatformName() override { return "DX9"; }
    // The program directories live in the program factory; without one
    // there are none.
    const char* GetFirstProgramDirectory(std::uint32_t& uiPos) override;
    const char* GetNextProgramDirectory(std::uint32_t& uiPos) override;
    void AddProgramDirectory(const char* pcDirectory) override;
    void RemoveProgramDirectory(const char* pcDirectory) override;
    void RemoveAllProgramDirectories() override;

    virtual void SetRenderer(NiDX9Renderer* pkRenderer);
    virtual void PurgeAllShaderRendererData();
    virtual void InitializeShaders();

    [[nodiscard]] NiDX9Renderer* GetRenderer() const { return m_pkRenderer; }
    [[nodiscard]] std::uint32_t GetShaderCount() const { return m_kShaders.GetCount(); }
    [[nodiscard]] std::uint32_t GetLibraryCount() const { return m_kLibraries.GetCount(); }

    // ---- class level ----
    // Makes the factory once and makes it current.
    static void Create();
    static void Destroy();
    [[nodiscard]] static NiD3DShaderFactory* GetD3DShaderFactory() { return ms_pkD3DShaderFactory; }
    // The renderer and device the factory module keeps (null lets go).
    static void SetRendererStatic(NiDX9Renderer* pkRenderer);
    [[nodiscard]] static NiDX9Renderer* GetRendererStatic() { return ms_pkRendererStatic; }
    [[nodiscard]] static gfx::IDirect3DDevice9* GetD3DDeviceStatic() { return ms_pkD3DDeviceStatic; }
    // False without a factory, or when the name is taken by another type.
    static bool AddGlobalData(const char* pcName, std::uint32_t uiType, std::uint32_t uiSize, const void* pvData);
    static bool ReleaseGlobalData(const char* pcName);
    static bool RetrieveGlobalData(const char* pcName, std::uint32_t& uiSize, const void*& pvData);
    [[nodiscard]] static NiD3DGlobalDataEntry* GetGlobalDataEntry(const char* pcName);
    // The numbering of unnamed shaders starts again (tests).
    static void ResetUnnamedCounter() { ms_uiUnnamedShaders = 0; }

private:
    NiD3DShaderFactory();
    static std::string MakeKey(const char* pcName, std::uint32_t uiImplementation);

    NiDX9Renderer* m_pkRenderer = nullptr;
    NiStringRefMap<NiShader> m_kShaders{SHADER_BUCKETS, true};
    NiHashMapPos m_kLibraryPos = nullptr;
    NiStringRefMap<NiShaderLibraryBase> m_kLibraries{LIBRARY_BUCKETS, false};
    NiStringHashMap<NiD3DGlobalDataEntry> m_kGlobals{GLOBAL_BUCKETS, true};

    static NiD3DShaderFactory* ms_pkD3DShaderFactory;
    static NiDX9Renderer* ms_pkRendererStatic;
    static gfx::IDirect3DDevice9* ms_pkD3DDeviceStatic;
    static std::uint32_t ms_uiUnnamedShaders;
};
