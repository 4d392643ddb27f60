#pragma once
// Test-side builders for animation records and whole scene files, so old
// layouts can be written byte by byte without any engine writer.

#include "engine/animation/NiAnimationLibrary.h"
#include "engine/animation/NiBlendInterpolator.h"
#include "engine/core/NiEndian.h"
#include "engine/core/NiObjectStream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace animtest
{
constexpr std::uint32_t V(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d)
{
    return NiStreamVersion(a, b, c, d);
}

// Little-endian byte appender.
struct Bytes
{
    std::vector<std::uint8_t> m;

    Bytes& U8(std::uint8_t v)
    {
        m.push_back(v);
        return *this;
    }
    Bytes& I8(std::int8_t v) { return U8(static_cast<std::uint8_t>(v)); }
    Bytes& U16(std::uint16_t v)
    {
        U8(static_cast<std::uint8_t>(v));
        return U8(static_cast<std::uint8_t>(v >> 8));
    }
    Bytes& U32(std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            U8(static_cast<std::uint8_t>(v >> (8 * i)));
        return *this;
    }
    Bytes& I32(std::int32_t v) { return U32(static_cast<std::uint32_t>(v)); }
    Bytes& F32(float f) { return U32(NiFloatBits(f)); }
    Bytes& Floats(std::initializer_list<float> af)
    {
        for (float f : af)
            F32(f);
        return *this;
    }
    Bytes& Append(const Bytes& k)
    {
        m.insert(m.end(), k.m.begin(), k.m.end());
        return *this;
    }
    [[nodiscard]] std::size_t Size() const { return m.size(); }
};

// A whole scene file: objects given as class name and record bytes (without
// the base object's part, which the builder adds by version).
class File
{
public:
    explicit File(std::uint32_t uiVersion = NiObjectStream::CURRENT_VERSION) : m_uiVersion(uiVersion) {}

    std::uint32_t Add(const std::string& kClass, const Bytes& kRecord)
    {
        std::uint16_t usIndex = 0;
        for (; usIndex < m_kClasses.size(); ++usIndex)
        {
            if (m_kClasses[usIndex] == kClass)
                break;
        }
        if (usIndex == m_kClasses.size())
            m_kClasses.push_back(kClass);
        m_kIndices.push_back(usIndex);
        m_kRecords.push_back(kRecord);
        return static_cast<std::uint32_t>(m_kRecords.size() - 1);
    }
    void Top(std::uint32_t uiLink) { m_kTops.push_back(uiLink); }

    [[nodiscard]] std::vector<std::uint8_t> Build() const
    {
        Bytes b;
        const char* pcLine = NiObjectStream::HEADER_LINE;
        b.m.insert(b.m.end(), pcLine, pcLine + std::strlen(pcLine));
        b.U32(m_uiVersion);
        if (m_uiVersion >= V(10, 0, 1, 8))
            b.U32(0);
        b.U32(static_cast<std::uint32_t>(m_kRecords.size()));
        b.U16(static_cast<std::uint16_t>(m_kClasses.size()));
        for (const std::string& k : m_kClasses)
        {
            b.U32(static_cast<std::uint32_t>(k.size()));
            b.m.insert(b.m.end(), k.begin(), k.end());
        }
        for (std::uint16_t us : m_kIndices)
            b.U16(us);
        b.U32(0); // no allocation groups
        for (const Bytes& r : m_kRecords)
        {
            if (m_uiVersion < V(10, 1, 0, 114))
                b.U32(0); // allocation group of the base object part
            b.Append(r);
        }
        b.U32(static_cast<std::uint32_t>(m_kTops.size()));
        for (std::uint32_t u : m_kTops)
            b.U32(u);
        return b.m;
    }

private:
    std::uint32_t m_uiVersion;
    std::vector<std::string> m_kClasses;
    std::vector<std::uint16_t> m_kIndices;
    std::vector<Bytes> m_kRecords;
    std::vector<std::uint32_t> m_kTops;
};

// Loads a file; the first top-level object, or null when the load fails.
inline NiObjectPtr Load(const std::vector<std::uint8_t>& kFile, std::size_t uiLength = SIZE_MAX)
{
    NiObjectStream kStream;
    std::uint32_t uiSize = static_cast<std::uint32_t>(std::min(uiLength, kFile.size()));
    if (!kStream.LoadBuffer(kFile.data(), uiSize) || kStream.GetObjectCount() == 0)
        return nullptr;
    return kStream.GetObjectAt(0);
}

inline std::vector<std::uint8_t> Save(NiObject* pkTop)
{
    NiObjectStream kStream;
    kStream.InsertTopObject(pkTop);
    std::unique_ptr<std::uint8_t[]> spBuffer;
    std::uint32_t uiSize = 0;
    if (!kStream.SaveBuffer(spBuffer, uiSize))
        return {};
    return std::vector<std::uint8_t>(spBuffer.get(), spBuffer.get() + uiSize);
}

// Every test starts with the class table filled and the process-wide
// animation state at its defaults.
class AnimTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        NiObjectStream::StaticInit();
        NiAnimationLibrary::Init();
        NiBlendInterpolator::ResetArrayGrowBy();
    }
    void TearDown() override
    {
        NiBlendInterpolator::ResetArrayGrowBy();
        NiAnimationLibrary::Shutdown();
    }
};
} // namespace animtest
