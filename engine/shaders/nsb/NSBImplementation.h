#pragma once

#include "engine/shaders/nsb/NSBConstantMap.h"
#include "engine/shaders/nsb/NSBPass.h"
#include "engine/shaders/nsb/NSBRequirements.h"
#include "engine/shaders/nsb/NSBStateGroup.h"
#include "engine/shaders/nsb/NSBUserDefinedDataSet.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class NiBinaryShader;
class NiByteStream;
class NiShaderDesc;

// One way of drawing a shader's material: its requirements, packing
// definition, implementation-wide states and constants, and its passes.
class NSBImplementation
{
public:
    NSBImplementation() = default;
    NSBImplementation(const NSBImplementation&) = delete;
    NSBImplementation& operator=(const NSBImplementation&) = delete;

    [[nodiscard]] const char* GetName() const { return Text(m_kName); }
    void SetName(const char* pc) { m_kName = pc ? pc : ""; }
    [[nodiscard]] const char* GetDesc() const { return Text(m_kDesc); }
    void SetDesc(const char* pc) { m_kDesc = pc ? pc : ""; }
    [[nodiscard]] const char* GetClassName() const { return Text(m_kClassName); }
    void SetClassName(const char* pc) { m_kClassName = pc ? pc : ""; }
    [[nodiscard]] std::uint32_t GetIndex() const { return m_uiIndex; }
    void SetIndex(std::uint32_t ui) { m_uiIndex = ui; }
    [[nodiscard]] const char* GetPackingDef() const { return Text(m_kPackingDef); }
    void SetPackingDef(const char* pc) { m_kPackingDef = pc ? pc : ""; }
    [[nodiscard]] bool GetSoftwareVP() const { return m_bSoftwareVP; }
    void SetSoftwareVP(bool bOn) { m_bSoftwareVP = bOn; }

    // Created on first use (all zero).
    NSBRequirements* GetRequirements();
    [[nodiscard]] const NSBRequirements* PeekRequirements() const { return m_spRequirements.get(); }
    [[nodiscard]] NSBUserDefinedDataSet* GetUserDefinedDataSet() const { return m_spUserDefinedDataSet.Get(); }
    void SetUserDefinedDataSet(NSBUserDefinedDataSet* pkSet) { m_spUserDefinedDataSet = pkSet; }
    NSBStateGroup* GetRenderStateGroup();
    NSBConstantMap* GetPixelConstantMap();
    NSBConstantMap* GetVertexConstantMap();
    [[nodiscard]] const NSBStateGroup* PeekRenderStateGroup() const { return m_spRenderStateGroup.get(); }
    [[nodiscard]] NSBConstantMap* PeekPixelConstantMap() const { return m_spPixelConstantMap.Get(); }
    [[nodiscard]] NSBConstantMap* PeekVertexConstantMap() const { return m_spVertexConstantMap.Get(); }

    // Non-null passes.
    [[nodiscard]] std::uint32_t GetPassCount() const;
    // The pass at the index; with create a missing one is made there.
    NSBPass* GetPass(std::uint32_t uiIndex, bool bCreate);

    // One slot per pass number, empty ones included.
    [[nodiscard]] std::uint32_t GetPassArraySize() const { return static_cast<std::uint32_t>(m_kPasses.size()); }

    // Fills a renderer shader: requirement values, the implementation's
    // constant maps and states, and one renderer pass per pass at the next
    // free position, each with its own user data. False at the first failure.
    bool SetupNiBinaryShader(NiBinaryShader& kShader, const NiShaderDesc* pkDesc);

    bool SaveBinary(NiByteStream& kStream) const;
    // A pass with software vertex processing marks the requirements
    // "required" (when there are requirements).
    bool LoadBinary(NiByteStream& kStream);

    // Three empty strings of the oldest form and seven words.
    static constexpr std::uint32_t MIN_RECORD_BYTES = 36;

private:
    static const char* Text(const std::string& k) { return k.empty() ? nullptr : k.c_str(); }

    std::string m_kName;
    std::string m_kDesc;
    std::string m_kClassName;
    std::uint32_t m_uiIndex = 0;
    std::unique_ptr<NSBRequirements> m_spRequirements;
    NSBUserDefinedDataSetPtr m_spUserDefinedDataSet;
    std::string m_kPackingDef;
    std::unique_ptr<NSBStateGroup> m_spRenderStateGroup;
    NSBConstantMapPtr m_spPixelConstantMap;
    NSBConstantMapPtr m_spVertexConstantMap;
    std::vector<std::unique_ptr<NSBPass>> m_kPasses;
    bool m_bSoftwareVP = false;
};
