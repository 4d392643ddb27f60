#pragma once

#include "engine/core/NiByteStream.h"
#include "engine/core/NiEndian.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// A byte stream over a vector for the math encoding tests: reads what was
// written, and can be cut short to test truncated records.
class NiMathTestStream : public NiByteStream
{
public:
    std::vector<std::uint8_t> m_bytes;
    std::size_t m_pos = 0;

    bool IsGood() const override { return true; }
    std::uint32_t Read(void* pv, std::uint32_t n) override
    {
        std::size_t k = std::min<std::size_t>(n, m_bytes.size() - m_pos);
        if (k > 0)
            std::memcpy(pv, m_bytes.data() + m_pos, k);
        m_pos += k;
        return static_cast<std::uint32_t>(k);
    }
    std::uint32_t Write(const void* pv, std::uint32_t n) override
    {
        auto p = static_cast<const std::uint8_t*>(pv);
        m_bytes.insert(m_bytes.end(), p, p + n);
        return n;
    }

    // The written bytes read back as little-endian floats.
    std::vector<float> Floats() const
    {
        std::vector<float> af(m_bytes.size() / 4);
        for (std::size_t i = 0; i < af.size(); ++i)
            af[i] = NiBitsFloat(NiGetLE32(m_bytes.data() + 4 * i));
        return af;
    }
};

// Owns a viewer string and frees it with delete[] as the caller must.
class NiViewerText
{
public:
    explicit NiViewerText(char* pc) : m_pc(pc) {}
    ~NiViewerText() { delete[] m_pc; }
    NiViewerText(const NiViewerText&) = delete;
    NiViewerText& operator=(const NiViewerText&) = delete;
    std::string Str() const { return m_pc ? std::string(m_pc) : std::string("<null>"); }

private:
    char* m_pc;
};
