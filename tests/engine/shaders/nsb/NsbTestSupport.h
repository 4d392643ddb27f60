#pragma once
// Binary shader tests: a shader factory to receive reports, the reports
// taken through its error callback, the file version reset, and a byte
// writer of the file format that shares no code with the engine's.

#include "engine/core/NiMemoryStream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace nsb_test
{
using Bytes = std::vector<std::uint8_t>;

// Appends little-endian words and length-prefixed strings, and remembers
// where every count and length went, so hostile tests can rewrite them.
class ByteWriter
{
public:
    void U32(std::uint32_t ui)
    {
        for (int i = 0; i < 4; ++i)
            m_kBytes.push_back(static_cast<std::uint8_t>(ui >> (8 * i)));
    }
    void F32(float f)
    {
        std::uint32_t ui;
        std::memcpy(&ui, &f, 4);
        U32(ui);
    }
    void Count(std::uint32_t ui)
    {
        m_kCounts.push_back(m_kBytes.size());
        U32(ui);
    }
    void Str(const std::string& k)
    {
        m_kCounts.push_back(m_kBytes.size());
        U32(static_cast<std::uint32_t>(k.size()));
        m_kBytes.insert(m_kBytes.end(), k.begin(), k.end());
    }
    void Raw(const Bytes& k) { m_kBytes.insert(m_kBytes.end(), k.begin(), k.end()); }

    Bytes m_kBytes;
    // Offsets of every count, length and byte-count word.
    std::vector<std::size_t> m_kCounts;
};

// The fixture file: one of each record. Fields the content version does
// not have are left empty (as a reader of that version leaves them); the
// format version decides what is written.
Bytes WriteFixture(std::uint32_t uiContent, std::uint32_t uiFormat, ByteWriter* pkWriter = nullptr,
                   std::uint32_t uiUserDataFlag = 1);
// The smallest file: a name and nothing else.
Bytes WriteMinimal(const std::string& kName, std::uint32_t uiVersion = 0x00010007);

// Saves through a memory stream; empty when the save failed.
template <class T>
Bytes Save(T& kObject)
{
    NiMemoryStream kStream;
    if (!kObject.SaveBinary(kStream))
        return {};
    return Bytes(kStream.GetBuffer(), kStream.GetBuffer() + kStream.GetSize());
}

template <class T>
bool Load(T& kObject, const Bytes& kBytes)
{
    NiMemoryStream kStream(kBytes.data(), static_cast<std::uint32_t>(kBytes.size()));
    return kObject.LoadBinary(kStream);
}

// Words as bytes, for short golden records.
Bytes Words(std::initializer_list<std::uint32_t> kWords);
Bytes Text(const std::string& k);
Bytes operator+(Bytes kA, const Bytes& kB);

class NsbTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;
    // The reports since the last call.
    std::vector<std::string> TakeReports();

    std::uint32_t m_uiLive = 0;
    static std::vector<std::string> ms_kReports;
};
} // namespace nsb_test
