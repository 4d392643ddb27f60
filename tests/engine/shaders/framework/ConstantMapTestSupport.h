#pragma once
// A program that keeps every value a constant map hands it, so tests read
// exactly what a draw would have set.

#include "engine/shaders/framework/NiD3DShaderConstantMapEntry.h"
#include "engine/shaders/framework/NiD3DShaderProgram.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace shader_test
{
struct ConstantCall
{
    bool m_bPixel = false;
    bool m_bArray = false;
    std::string m_kKey;
    std::uint32_t m_uiRegister = 0;
    std::uint32_t m_uiCount = 0;          // as given (0: the entry's)
    std::uint32_t m_uiValueRegisters = 0; // as given
    std::vector<std::uint32_t> m_kWords;  // the value's words (own data: all of it)
    // Array calls: elements, registers per element, index list.
    std::uint32_t m_uiElements = 0;
    std::uint32_t m_uiPerElement = 0;
    std::vector<std::uint16_t> m_kIndices;

    [[nodiscard]] float F(std::size_t ui) const
    {
        float f;
        std::memcpy(&f, &m_kWords.at(ui), 4);
        return f;
    }
};

class RecordingProgram : public NiD3DShaderProgram
{
public:
    void DestroyRendererData() override {}
    bool RecreateRendererData() override { return true; }

    bool SetVertexShaderConstant(NiD3DShaderConstantMapEntry* pkEntry, const void* pvValues, std::uint32_t uiCount,
                                 std::uint32_t uiValueRegisters) override
    {
        return Record(false, pkEntry, pvValues, uiCount, uiValueRegisters);
    }
    bool SetPixelShaderConstant(NiD3DShaderConstantMapEntry* pkEntry, const void* pvValues, std::uint32_t uiCount,
                                std::uint32_t uiValueRegisters) override
    {
        return Record(true, pkEntry, pvValues, uiCount, uiValueRegisters);
    }
    bool SetVertexShaderConstantArray(NiD3DShaderConstantMapEntry* pkEntry, const void* pvValues,
                                      std::uint32_t uiElements, std::uint32_t uiPerElement,
                                      const std::uint16_t* puiIndices) override
    {
        ++m_uiCalls;
        if (!m_bRecord)
            return m_bAccept;
        ConstantCall kCall;
        kCall.m_bArray = true;
        kCall.m_kKey = pkEntry->GetKey() ? pkEntry->GetKey() : "";
        kCall.m_uiRegister = pkEntry->GetShaderRegister();
        kCall.m_uiElements = uiElements;
        kCall.m_uiPerElement = uiPerElement;
        kCall.m_kIndices.assign(puiIndices, puiIndices + uiElements);
        // Element i as the program would read it.
        const auto* puiValues = static_cast<const std::uint32_t*>(pvValues);
        for (std::uint32_t ui = 0; ui < uiElements; ++ui)
            for (std::uint32_t uiWord = 0; uiWord < uiPerElement * 4; ++uiWord)
                kCall.m_kWords.push_back(puiValues[std::size_t(puiIndices[ui]) * uiPerElement * 4 + uiWord]);
        m_kCalls.push_back(std::move(kCall));
        return m_bAccept;
    }

    std::vector<ConstantCall> m_kCalls;
    std::uint32_t m_uiCalls = 0;
    bool m_bAccept = true;
    bool m_bRecord = true;

private:
    bool Record(bool bPixel, NiD3DShaderConstantMapEntry* pkEntry, const void* pvValues, std::uint32_t uiCount,
                std::uint32_t uiValueRegisters)
    {
        ++m_uiCalls;
        if (!m_bRecord)
            return m_bAccept;
        ConstantCall kCall;
        kCall.m_bPixel = bPixel;
        kCall.m_kKey = pkEntry->GetKey() ? pkEntry->GetKey() : "";
        kCall.m_uiRegister = pkEntry->GetShaderRegister();
        kCall.m_uiCount = uiCount;
        kCall.m_uiValueRegisters = uiValueRegisters;
        std::size_t uiWords = 0;
        if (pvValues == nullptr)
        {
            pvValues = pkEntry->GetDataSource();
            uiWords = pkEntry->GetDataSize() / 4;
        }
        else
            uiWords = pkEntry->IsBool() && uiValueRegisters == 1 ? 1 : std::size_t(uiValueRegisters) * 4;
        kCall.m_kWords.resize(uiWords);
        if (uiWords != 0)
            std::memcpy(kCall.m_kWords.data(), pvValues, uiWords * 4);
        m_kCalls.push_back(std::move(kCall));
        return m_bAccept;
    }
};
} // namespace shader_test
