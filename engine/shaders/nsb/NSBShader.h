#pragma once

#include "engine/core/NiHashMap.h"
#include "engine/core/NiRefObject.h"
#include "engine/core/NiRefPtr.h"
#include "engine/shaders/nsb/NSBAttributeTable.h"
#include "engine/shaders/nsb/NSBImplementation.h"
#include "engine/shaders/nsb/NSBPackingDef.h"
#include "engine/shaders/nsb/NSBUserDefinedDataSet.h"
#include "engine/shaders/nsb/NiShaderDesc.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class NiBinaryShader;
class NiByteStream;
class NiDX9Renderer;

// What the device offers a binary shader's implementations, taken from the
// renderer at every request.
struct NSBCapsSnapshot
{
    std::uint32_t m_uiMaxPSVersion = 0;
    std::uint32_t m_uiMinPSVersion = 0;
    std::uint32_t m_uiCurrPSVersion = 0;
    std::uint32_t m_uiMaxVSVersion = 0;
    std::uint32_t m_uiMinVSVersion = 0;
    std::uint32_t m_uiCurrVSVersion = 0;
    std::uint32_t m_uiMaxUserVersion = 0;
    std::uint32_t m_uiMinUserVersion = 0;
    std::uint32_t m_uiCurrUserVersion = 0;
    std::uint32_t m_uiPlatform = 0;
    bool m_bSoftwareVPAvailable = false;
};

// A complete, renderer-independent shader as a binary shader file holds it:
// attributes, packing definitions and every implementation.
class NSBShader : public NiRefObject
{
public:
    // "nsb" and a zero byte, in file order.
    static constexpr std::uint32_t MAGIC = 0x0062736E;
    // Buffer of the file opened for loading and saving.
    static constexpr std::uint32_t FILE_BUFFER_SIZE = 32768;

    NSBShader() = default;
    ~NSBShader() override;

    // The shader a description being parsed fills: made when the reference
    // is empty.
    static NSBShader* GetOrCreate(NiRefPtr<NSBShader>& spShader);

    [[nodiscard]] const char* GetName() const { return m_kName.empty() ? nullptr : m_kName.c_str(); }
    void SetName(const char* pcName) { m_kName = pcName ? pcName : ""; }
    [[nodiscard]] const char* GetDescription() const { return m_kDescription.empty() ? nullptr : m_kDescription.c_str(); }
    void SetDescription(const char* pcText) { m_kDescription = pcText ? pcText : ""; }

    // Ranges and platforms widened from the implementations' requirements
    // (never stored in the file).
    [[nodiscard]] std::uint32_t GetMinPixelShaderVersion() const { return m_uiMinPSVersion; }
    [[nodiscard]] std::uint32_t GetMaxPixelShaderVersion() const { return m_uiMaxPSVersion; }
    [[nodiscard]] std::uint32_t GetMinVertexShaderVersion() const { return m_uiMinVSVersion; }
    [[nodiscard]] std::uint32_t GetMaxVertexShaderVersion() const { return m_uiMaxVSVersion; }
    [[nodiscard]] std::uint32_t GetMinUserVersion() const { return m_uiMinUserVersion; }
    [[nodiscard]] std::uint32_t GetMaxUserVersion() const { return m_uiMaxUserVersion; }
    [[nodiscard]] std::uint32_t GetPlatformFlags() const { return m_uiPlatformFlags; }
    // Widens the ranges and platforms with one implementation's needs.
    void AddRequirements(const NSBRequirements& kRequirements);

    [[nodiscard]] NSBUserDefinedDataSet* GetUserDefinedDataSet() const { return m_spUserDefinedDataSet.Get(); }
    void SetUserDefinedDataSet(NSBUserDefinedDataSet* pkSet) { m_spUserDefinedDataSet = pkSet; }
    NSBAttributeTable& GetGlobalAttributeTable() { return m_kGlobalAttributes; }
    NSBAttributeTable& GetAttributeTable() { return m_kAttributes; }

    // By name; when absent and asked to create, a new definition of that
    // name joins the table.
    NSBPackingDef* GetPackingDef(const char* pcName, bool bCreate);
    [[nodiscard]] std::uint32_t GetPackingDefCount() const { return m_kPackingDefs.GetCount(); }

    // By exact name, lowest index first.
    [[nodiscard]] NSBImplementation* GetImplementation(const char* pcName) const;
    [[nodiscard]] NSBImplementation* GetImplementationByIndex(std::uint32_t uiIndex) const
    {
        return uiIndex < m_kImplementations.size() ? m_kImplementations[uiIndex].get() : nullptr;
    }
    // The implementation of that name wherever it is; else, with create, a
    // new one of that name and index stored at the index.
    NSBImplementation* AddImplementation(const char* pcName, bool bCreate, std::uint32_t uiIndex);
    // Non-null implementations; one past the highest occupied index.
    [[nodiscard]] std::uint32_t GetImplementationCount() const;
    [[nodiscard]] std::uint32_t GetImplementationArraySize() const;

    // Built on the first call, then the same object.
    NiShaderDesc* GetShaderDesc();

    // Any implementation.
    static constexpr std::uint32_t ANY_IMPLEMENTATION = 0xFFFFFFFF;
    // Usability of an implementation.
    static constexpr std::uint32_t UNUSABLE = 0;
    static constexpr std::uint32_t USABLE = 1;
    static constexpr std::uint32_t USABLE_EXACT = 2;

    // The renderer shader of the implementation asked for when the device
    // runs it, else of the first one it runs; null when none. The shader
    // keeps the number asked for.
    NiBinaryShader* GetD3DShader(NiDX9Renderer* pkRenderer, std::uint32_t uiImplementation);
    // Lowest index the device runs within its current versions; null (with
    // an error report) when none.
    NSBImplementation* FindUsableImplementation(NiDX9Renderer* pkRenderer);
    // UNUSABLE, USABLE or USABLE_EXACT; marks an implementation that is
    // accepted through software vertex processing.
    static std::uint32_t IsImplementationUsable(NSBImplementation* pkImplementation, const NSBCapsSnapshot& kCaps);
    static void TakeCapsSnapshot(NiDX9Renderer* pkRenderer, NSBCapsSnapshot& kCaps);
    // Stands in for the renderer's versions (tests); null goes back to them.
    static void SetCapsSnapshotOverride(const NSBCapsSnapshot* pkCaps);
    // Names a class of renderer shader; none exist beyond the plain one.
    static NiBinaryShader* DefaultCreateNiBinaryShader(const char* pcClassName);
    // The global matrices the stages of an implementation transform their
    // coordinates with, shared through the factory while a shader is built.
    // False when a name is not among the global attributes.
    bool RegisterGlobalTextureStageVariables(NiDX9Renderer* pkRenderer, NSBImplementation* pkImplementation);
    bool ReleaseGlobalTextureStageVariables(NiDX9Renderer* pkRenderer, NSBImplementation* pkImplementation);

    // False when the file cannot be opened or read (or written).
    bool LoadFromFile(const char* pcPath);
    bool SaveToFile(const char* pcPath);
    // The whole file; a load stops at the first failure keeping what was
    // read. A wrong magic or a version above the current one fails before
    // anything else is read.
    bool LoadBinary(NiByteStream& kStream);
    bool SaveBinary(NiByteStream& kStream);
    bool LoadPackingDefs(NiByteStream& kStream);
    bool SavePackingDefs(NiByteStream& kStream);
    bool LoadImplementations(NiByteStream& kStream);
    bool SaveImplementations(NiByteStream& kStream);

private:
    void DeletePackingDefs();
    // Set-up and declaration; false when either fails.
    bool BuildD3DShader(NiBinaryShader& kShader, NSBImplementation& kImplementation, NiDX9Renderer* pkRenderer);

    std::string m_kName;
    std::string m_kDescription;
    std::uint32_t m_uiMinPSVersion = 0xFFFFFFFF;
    std::uint32_t m_uiMaxPSVersion = 0;
    std::uint32_t m_uiMinVSVersion = 0xFFFFFFFF;
    std::uint32_t m_uiMaxVSVersion = 0;
    std::uint32_t m_uiMinUserVersion = 0xFFFFFFFF;
    std::uint32_t m_uiMaxUserVersion = 0;
    std::uint32_t m_uiPlatformFlags = 0;
    NSBUserDefinedDataSetPtr m_spUserDefinedDataSet;
    NSBAttributeTable m_kGlobalAttributes;
    NSBAttributeTable m_kAttributes;
    // Name -> owned definition; the map owns copies of the names. The file
    // order is the map's bucket order, so it carries no meaning.
    NiStringHashMap<NSBPackingDef> m_kPackingDefs{37, true};
    std::vector<std::unique_ptr<NSBImplementation>> m_kImplementations;
    NiShaderDescPtr m_spShaderDesc;
};

using NSBShaderPtr = NiRefPtr<NSBShader>;
