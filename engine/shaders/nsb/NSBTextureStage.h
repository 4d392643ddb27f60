#pragma once

#include "engine/shaders/nsb/NSBStateGroup.h"

#include <cstdint>
#include <memory>
#include <string>

class NiByteStream;
class NiD3DTextureStage;

// One texture stage of a pass: its states, samplers and texture transform.
class NSBTextureStage
{
public:
    NSBTextureStage();

    [[nodiscard]] const char* GetName() const { return m_kName.empty() ? nullptr : m_kName.c_str(); }
    void SetName(const char* pcName) { m_kName = pcName ? pcName : ""; }
    [[nodiscard]] std::uint32_t GetStage() const { return m_uiStage; }
    void SetStage(std::uint32_t uiStage) { m_uiStage = uiStage; }
    [[nodiscard]] std::uint32_t GetTextureFlags() const { return m_uiTextureFlags; }
    void SetTextureFlags(std::uint32_t uiFlags) { m_uiTextureFlags = uiFlags; }
    // Created on first use.
    NSBStateGroup* GetTextureStageGroup();
    NSBStateGroup* GetSamplerStageGroup();
    [[nodiscard]] const NSBStateGroup* PeekTextureStageGroup() const { return m_spTextureStageGroup.get(); }
    [[nodiscard]] const NSBStateGroup* PeekSamplerStageGroup() const { return m_spSamplerStageGroup.get(); }
    [[nodiscard]] bool GetUseTextureTransformation() const { return m_bUseTextureTransform; }
    void SetUseTextureTransformation(bool bOn) { m_bUseTextureTransform = bOn; }
    // Sixteen floats, row by row (identity when new).
    void GetTextureTransformation(float* pfMatrix) const;
    void SetTextureTransformation(const float* pfMatrix);
    [[nodiscard]] std::uint32_t GetTextureTransformFlags() const { return m_uiTextureTransformFlags; }
    void SetTextureTransformFlags(std::uint32_t uiFlags) { m_uiTextureTransformFlags = uiFlags; }
    [[nodiscard]] const char* GetGlobalName() const { return m_kGlobalName.empty() ? nullptr : m_kGlobalName.c_str(); }
    void SetGlobalName(const char* pcName) { m_kGlobalName = pcName ? pcName : ""; }

    // Fills a renderer stage: number, texture flags, transform source, the
    // stage then the sampler states into its one group, and the matrix.
    bool SetupNiD3DTextureStage(NiD3DTextureStage& kStage);

    bool SaveBinary(NiByteStream& kStream) const;
    bool LoadBinary(NiByteStream& kStream);

    // Name, stage, flags, two presence words, use flag, matrix, flags, global name.
    static constexpr std::uint32_t MIN_RECORD_BYTES = 96;

private:
    std::string m_kName;
    std::uint32_t m_uiStage = 0;
    std::uint32_t m_uiTextureFlags = 0;
    std::unique_ptr<NSBStateGroup> m_spTextureStageGroup;
    std::unique_ptr<NSBStateGroup> m_spSamplerStageGroup;
    bool m_bUseTextureTransform = false;
    std::uint32_t m_auiTransform[16]; // float bits, kept as stored
    std::uint32_t m_uiTextureTransformFlags = 0;
    std::string m_kGlobalName;
};
