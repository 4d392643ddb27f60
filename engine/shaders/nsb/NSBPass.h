#pragma once

#include "engine/shaders/nsb/NSBConstantMap.h"
#include "engine/shaders/nsb/NSBStateGroup.h"
#include "engine/shaders/nsb/NSBTextureStage.h"
#include "engine/shaders/nsb/NSBUserDefinedDataSet.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class NiByteStream;
class NiD3DPass;
class NiShaderDesc;

// One pass of an implementation: states, constants, the pixel and vertex
// programs by platform and the texture stages.
class NSBPass
{
public:
    // Program name slots by platform.
    enum ProgramSlot : std::uint32_t
    {
        SLOT_XBOX = 0,
        SLOT_DX8 = 1,
        SLOT_DX9 = 2,
        SLOT_COUNT = 3,
    };

    NSBPass() = default;
    NSBPass(const NSBPass&) = delete;
    NSBPass& operator=(const NSBPass&) = delete;

    [[nodiscard]] const char* GetName() const { return m_kName.empty() ? nullptr : m_kName.c_str(); }
    void SetName(const char* pcName) { m_kName = pcName ? pcName : ""; }

    [[nodiscard]] NSBUserDefinedDataSet* GetUserDefinedDataSet() const { return m_spUserDefinedDataSet.Get(); }
    void SetUserDefinedDataSet(NSBUserDefinedDataSet* pkSet) { m_spUserDefinedDataSet = pkSet; }

    // Created on first use (the maps with their program kinds).
    NSBStateGroup* GetRenderStateGroup();
    NSBConstantMap* GetPixelConstantMap();
    NSBConstantMap* GetVertexConstantMap();
    [[nodiscard]] const NSBStateGroup* PeekRenderStateGroup() const { return m_spRenderStateGroup.get(); }
    [[nodiscard]] NSBConstantMap* PeekPixelConstantMap() const { return m_spPixelConstantMap.Get(); }
    [[nodiscard]] NSBConstantMap* PeekVertexConstantMap() const { return m_spVertexConstantMap.Get(); }

    // Program file names by slot; null outside the slots or while unset.
    [[nodiscard]] const char* GetPixelShaderProgramFile(std::uint32_t uiSlot) const;
    void SetPixelShaderProgramFile(std::uint32_t uiSlot, const char* pcFile);
    [[nodiscard]] const char* GetVertexShaderProgramFile(std::uint32_t uiSlot) const;
    void SetVertexShaderProgramFile(std::uint32_t uiSlot, const char* pcFile);
    [[nodiscard]] const char* GetPixelShaderProgramEntryPoint() const { return Text(m_kPixelEntryPoint); }
    void SetPixelShaderProgramEntryPoint(const char* pc) { m_kPixelEntryPoint = pc ? pc : ""; }
    [[nodiscard]] const char* GetPixelShaderProgramShaderTarget() const { return Text(m_kPixelTarget); }
    void SetPixelShaderProgramShaderTarget(const char* pc) { m_kPixelTarget = pc ? pc : ""; }
    [[nodiscard]] const char* GetVertexShaderProgramEntryPoint() const { return Text(m_kVertexEntryPoint); }
    void SetVertexShaderProgramEntryPoint(const char* pc) { m_kVertexEntryPoint = pc ? pc : ""; }
    [[nodiscard]] const char* GetVertexShaderProgramShaderTarget() const { return Text(m_kVertexTarget); }
    void SetVertexShaderProgramShaderTarget(const char* pc) { m_kVertexTarget = pc ? pc : ""; }

    [[nodiscard]] bool GetSoftwareVertexProcessing() const { return m_bSoftwareVP; }
    void SetSoftwareVertexProcessing(bool bOn) { m_bSoftwareVP = bOn; }

    [[nodiscard]] std::uint32_t GetStageCount() const;
    // The stage at the index; with create, every missing stage up to the
    // index is made, each numbered by its place.
    NSBTextureStage* GetStage(std::uint32_t uiIndex, bool bCreate);

    // One slot per stage number, empty ones included.
    [[nodiscard]] std::uint32_t GetStageArraySize() const { return static_cast<std::uint32_t>(m_kStages.size()); }

    // Fills a renderer pass: states, constant maps (against the pass class's
    // renderer), the DX9 program names and the stages. False at the first
    // failure, or when the stages outnumber the device's samplers.
    bool SetupNiD3DPass(NiD3DPass& kPass, const NiShaderDesc* pkDesc);

    bool SaveBinary(NiByteStream& kStream) const;
    bool LoadBinary(NiByteStream& kStream);

    // The smallest record a file of the version can hold (a pass with
    // nothing in it): a count of passes is checked against this before
    // anything is made, so it must not exceed what the version writes.
    [[nodiscard]] static std::uint32_t MinRecordBytes(std::uint32_t uiVersion);

private:
    static const char* Text(const std::string& k) { return k.empty() ? nullptr : k.c_str(); }

    std::string m_kName;
    NSBUserDefinedDataSetPtr m_spUserDefinedDataSet;
    std::unique_ptr<NSBStateGroup> m_spRenderStateGroup;
    NSBConstantMapPtr m_spPixelConstantMap;
    NSBConstantMapPtr m_spVertexConstantMap;
    std::string m_akPixelProgram[SLOT_COUNT];
    std::string m_kPixelEntryPoint;
    std::string m_kPixelTarget;
    std::string m_akVertexProgram[SLOT_COUNT];
    std::string m_kVertexEntryPoint;
    std::string m_kVertexTarget;
    bool m_bSoftwareVP = false;
    std::vector<std::unique_ptr<NSBTextureStage>> m_kStages;
};
