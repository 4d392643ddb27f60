#pragma once

#include "engine/core/NiRefObject.h"
#include "engine/core/NiRefPtr.h"
#include "platform/gfx/Gfx.h"

#include <cstdint>
#include <vector>

class NiDX9Renderer;

// Shader constant registers as the shader system writes them during a pass:
// float, integer and boolean files for each of the two shader stages, with
// the values each save overwrote, and one dirty range per file.
class NiD3DShaderConstantCache : public NiRefObject
{
public:
    enum Kind : std::uint32_t
    {
        KIND_FLOAT = 0,
        KIND_INT = 1,
        KIND_BOOL = 2,
        KIND_NUM = 3,
    };
    enum Stage : std::uint32_t
    {
        STAGE_VERTEX = 0,
        STAGE_PIXEL = 1,
        STAGE_NUM = 2,
    };

    ~NiD3DShaderConstantCache() override = default;

    // False, nothing changed, when the registers reach past the file.
    bool SetVertexConstantsF(std::uint32_t uiFirst, const float* pfValues, std::uint32_t uiCount, bool bSave);
    bool SetVertexConstantsI(std::uint32_t uiFirst, const std::int32_t* piValues, std::uint32_t uiCount, bool bSave);
    bool SetVertexConstantsB(std::uint32_t uiFirst, const std::int32_t* piValues, std::uint32_t uiCount, bool bSave);
    bool SetPixelConstantsF(std::uint32_t uiFirst, const float* pfValues, std::uint32_t uiCount, bool bSave);
    bool SetPixelConstantsI(std::uint32_t uiFirst, const std::int32_t* piValues, std::uint32_t uiCount, bool bSave);
    bool SetPixelConstantsB(std::uint32_t uiFirst, const std::int32_t* piValues, std::uint32_t uiCount, bool bSave);

    // Sends the dirty ranges and empties them.
    virtual void CommitConstants() = 0;

    [[nodiscard]] std::uint32_t GetRegisterCount(Kind eKind, Stage eStage) const
    {
        return m_akFiles[eKind][eStage].m_uiCount;
    }
    // Views of one file's current and saved words (4 per float or integer
    // register, 1 per boolean register).
    [[nodiscard]] const std::uint32_t* GetValues(Kind eKind, Stage eStage) const
    {
        return m_akFiles[eKind][eStage].m_kValues.data();
    }
    [[nodiscard]] const std::uint32_t* GetSavedValues(Kind eKind, Stage eStage) const
    {
        return m_akFiles[eKind][eStage].m_kSaved.data();
    }
    // The dirty range [first, end); empty is (register count, 0).
    void GetDirtyRange(Kind eKind, Stage eStage, std::uint32_t& uiFirst, std::uint32_t& uiEnd) const
    {
        uiFirst = m_akFiles[eKind][eStage].m_uiDirtyFirst;
        uiEnd = m_akFiles[eKind][eStage].m_uiDirtyEnd;
    }

protected:
    struct RegisterFile
    {
        std::vector<std::uint32_t> m_kValues;
        std::vector<std::uint32_t> m_kSaved;
        std::uint32_t m_uiDirtyFirst = 0;
        std::uint32_t m_uiDirtyEnd = 0;
        std::uint32_t m_uiCount = 0;
        std::uint32_t m_uiWidth = 4; // 32-bit words per register

        void Size(std::uint32_t uiCount, std::uint32_t uiWidth);
        [[nodiscard]] bool Empty() const { return m_uiDirtyFirst >= m_uiDirtyEnd; }
        void Clean()
        {
            m_uiDirtyFirst = m_uiCount;
            m_uiDirtyEnd = 0;
        }
    };

    NiD3DShaderConstantCache() = default;
    bool Set(Kind eKind, Stage eStage, std::uint32_t uiFirst, const void* pvValues, std::uint32_t uiCount,
             bool bSave);

    RegisterFile m_akFiles[KIND_NUM][STAGE_NUM];
};

// The renderer's constant cache: register counts from the device's shader
// versions, commits through the device.
class NiDX9ShaderConstantCache : public NiD3DShaderConstantCache
{
public:
    // Sizes every file from the capabilities (the renderer answers whether
    // it can process vertices in software); takes a device reference.
    NiDX9ShaderConstantCache(NiDX9Renderer* pkRenderer, const gfx::D3DCAPS9& kCaps);
    ~NiDX9ShaderConstantCache() override;
    NiDX9ShaderConstantCache(const NiDX9ShaderConstantCache&) = delete;
    NiDX9ShaderConstantCache& operator=(const NiDX9ShaderConstantCache&) = delete;

    void CommitConstants() override;
    [[nodiscard]] bool GetSoftwareVertexProcessing() const { return m_bSWVertexProcessing != 0; }

private:
    gfx::IDirect3DDevice9* m_pkD3DDevice9 = nullptr; // one reference
    NiDX9Renderer* m_pkRenderer = nullptr;           // link: the renderer owns this cache
    std::uint8_t m_bSWVertexProcessing = 0;
};

using NiDX9ShaderConstantCachePtr = NiRefPtr<NiDX9ShaderConstantCache>;
