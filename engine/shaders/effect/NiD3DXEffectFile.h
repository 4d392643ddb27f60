#pragma once

#include "engine/shaders/effect/NiD3DXEffectParameter.h"
#include "engine/shaders/effect/NiD3DXEffectTechnique.h"
#include "engine/shaders/nsb/NSBAttributeTable.h"
#include "platform/gfxutil/GfxUtilEffect.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class NiDX9Renderer;

// One ".fx" file: its technique sets and parameters, built once from its
// first compile, and the compiled effect object, which comes and goes with
// the device.
class NiD3DXEffectFile
{
public:
    explicit NiD3DXEffectFile(const char* pcName);
    ~NiD3DXEffectFile();
    NiD3DXEffectFile(const NiD3DXEffectFile&) = delete;
    NiD3DXEffectFile& operator=(const NiD3DXEffectFile&) = delete;

    [[nodiscard]] const char* GetName() const { return m_kName.c_str(); }

    // Keeps the effect (an effect on `pkDevice`, or a compiler object
    // without one; the file takes over the caller's reference), parses it
    // once and, on a device, links the handles. False for the object it
    // already holds or a failed parse.
    bool SetEffect(gfx::ID3DXBaseEffect* pkEffect, gfx::IDirect3DDevice9* pkDevice);
    bool ParseEffect();
    bool LinkHandles();
    // Compiled on the renderer's device and linked (when it is not yet).
    void PrepareForRenderer(NiDX9Renderer* pkRenderer);
    // The shader of the set of that name for the implementation (or the
    // set's default); null when the set is absent or nothing validates.
    NiD3DXEffectShader* GetD3DShader(NiDX9Renderer* pkRenderer, const char* pcName, std::uint32_t uiImplementation);
    void HandleLostDevice();
    void HandleResetDevice();
    // Drops the effect object; techniques and parameters stay.
    void ReleaseDeviceObjects();

    [[nodiscard]] gfx::ID3DXBaseEffect* GetEffect() const { return m_pkEffect; }
    [[nodiscard]] bool IsCreatedWithDevice() const { return m_bCreatedWithDevice; }
    [[nodiscard]] bool IsParsed() const { return m_bParsed; }

    // Null when the set is absent or the implementation not below its size.
    [[nodiscard]] NiD3DXEffectTechnique* GetTechnique(const char* pcShaderName, std::uint32_t uiImplementation) const;
    [[nodiscard]] NiD3DXEffectTechniqueSet* GetTechniqueSet(const char* pcShaderName) const;
    [[nodiscard]] std::uint32_t GetTechniqueSetCount() const { return static_cast<std::uint32_t>(m_kSets.size()); }
    [[nodiscard]] NiD3DXEffectTechniqueSet* GetTechniqueSetAt(std::uint32_t ui) const
    {
        return ui < m_kSets.size() ? m_kSets[ui].Get() : nullptr;
    }
    // Every technique, set by set, each set by ascending implementation.
    NiD3DXEffectTechnique* GetFirstTechnique();
    NiD3DXEffectTechnique* GetNextTechnique();
    [[nodiscard]] std::uint32_t GetParameterCount() const { return static_cast<std::uint32_t>(m_kParameters.size()); }
    [[nodiscard]] NiD3DXEffectParameter* GetParameterAt(std::uint32_t ui) const
    {
        return ui < m_kParameters.size() ? m_kParameters[ui].get() : nullptr;
    }
    [[nodiscard]] NSBAttributeTable& GetAttributeTable() { return m_kAttributes; }
    // Techniques left out (an implementation outside 0..255).
    [[nodiscard]] std::uint32_t GetRejectedTechniqueCount() const { return m_uiRejected; }

private:
    void AddTechnique(NiD3DXEffectTechnique* pkTechnique);

    std::string m_kName;
    std::vector<NiD3DXEffectTechniqueSetPtr> m_kSets; // in order of creation
    std::vector<std::unique_ptr<NiD3DXEffectParameter>> m_kParameters;
    std::size_t m_uiSetIter = 0, m_uiTechniqueIter = 0;
    NSBAttributeTable m_kAttributes;
    gfx::ID3DXBaseEffect* m_pkEffect = nullptr; // counted
    bool m_bCreatedWithDevice = false;
    bool m_bParsed = false;
    std::uint32_t m_uiRejected = 0;
};

// The process-wide effect factory ("D3D Effect factory"): files by name,
// the current renderer and device, and the device changes files follow.
class NiD3DXEffectFactory
{
public:
    [[nodiscard]] static NiD3DXEffectFactory* GetInstance(); // made on first use
    [[nodiscard]] static NiD3DXEffectFactory* PeekInstance() { return ms_pkInstance; }
    static void Shutdown();

    static void SetRenderer(NiDX9Renderer* pkRenderer);
    static void SetD3DDevice(gfx::IDirect3DDevice9* pkDevice);
    static void HandleLostDevice(std::uint32_t uiMarker);
    static void HandleResetDevice(std::uint32_t uiMarker);
    // The file of the path, compiled (again on the current device when it was
    // compiled without one); null on failure.
    static NiD3DXEffectFile* LoadEffectFile(const char* pcName);
    static bool CompileEffectFile(const char* pcName, NiD3DXEffectFile*& pkFile);
    static bool FindEffectFile(const char* pcName, std::string& kPath);

    [[nodiscard]] NiD3DXEffectFile* GetFile(const char* pcName) const;
    [[nodiscard]] std::uint32_t GetFileCount() const { return static_cast<std::uint32_t>(m_kFiles.size()); }
    void AddFile(NiD3DXEffectFile* pkFile);
    void RemoveFile(const char* pcName);
    [[nodiscard]] NiDX9Renderer* GetRenderer() const { return m_pkRenderer; }
    [[nodiscard]] gfx::IDirect3DDevice9* GetD3DDevice() const { return m_pkDevice; }
    static void SetEffectDirectory(const char* pcDirectory);
    // A folder an effect's `#include` is searched in (after the including
    // file's own), beside the program factory's directories; each once.
    static void AddIncludeFolder(const char* pcDirectory);
    [[nodiscard]] const std::vector<std::string>& GetIncludeFolders() const { return m_kIncludeFolders; }
    static void SetCompileFlags(std::uint32_t uiFlags);
    // Files released for a device change, counted (tests).
    [[nodiscard]] std::uint32_t GetReleaseCount() const { return m_uiReleases; }

private:
    NiD3DXEffectFactory() = default;
    ~NiD3DXEffectFactory();
    void ReleaseAllDeviceObjects();

    std::vector<NiD3DXEffectFile*> m_kFiles; // not owned: the libraries own their files
    std::uint32_t m_uiLastLost = 0xFFFFFFFFu, m_uiLastReset = 0xFFFFFFFFu;
    NiDX9Renderer* m_pkRenderer = nullptr;
    gfx::IDirect3DDevice9* m_pkDevice = nullptr; // counted
    std::string m_kDirectory;
    std::vector<std::string> m_kIncludeFolders;
    std::uint32_t m_uiCompileFlags = 0;
    std::uint32_t m_uiReleases = 0;
    static NiD3DXEffectFactory* ms_pkInstance;
};
