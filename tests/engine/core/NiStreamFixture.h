#pragma once

// Test support shared by the stream tests of the core, scene and render
// libraries: a little-endian byte builder, a scene-file builder that lays out
// the header, class table, groups and records the way each file version
// does, and save and load helpers for fixtures that keep what they loaded.

#include "engine/core/NiObjectStream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

namespace stream_test
{
class Bytes
{
public:
    std::vector<std::uint8_t> m_kBytes;

    Bytes& U8(std::uint8_t v)
    {
        m_kBytes.push_back(v);
        return *this;
    }
    Bytes& U16(std::uint16_t v)
    {
        for (int i = 0; i < 2; ++i)
            m_kBytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        return *this;
    }
    Bytes& U32(std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            m_kBytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        return *this;
    }
    Bytes& I32(std::int32_t v) { return U32(static_cast<std::uint32_t>(v)); }
    Bytes& F32(float f)
    {
        std::uint32_t u;
        static_assert(sizeof u == sizeof f);
        __builtin_memcpy(&u, &f, 4);
        return U32(u);
    }
    // u32 length and the bytes; an empty text is length 0.
    Bytes& Str(const std::string& k)
    {
        U32(static_cast<std::uint32_t>(k.size()));
        return Raw(k);
    }
    Bytes& Raw(const std::string& k)
    {
        m_kBytes.insert(m_kBytes.end(), k.begin(), k.end());
        return *this;
    }
    Bytes& Append(const Bytes& k)
    {
        m_kBytes.insert(m_kBytes.end(), k.m_kBytes.begin(), k.m_kBytes.end());
        return *this;
    }
    [[nodiscard]] std::size_t Size() const { return m_kBytes.size(); }
};

struct Record
{
    std::string m_kClass;
    Bytes m_kBody; // the record after NiObject's part (the builder adds that)
};

inline constexpr std::uint32_t V(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d)
{
    return NiStreamVersion(a, b, c, d);
}

// A whole file of the given version. Group indices (when the version has
// them) are 0; groups lists the group sizes of the table.
inline std::vector<std::uint8_t> BuildFile(std::uint32_t uiVersion, const std::vector<Record>& kRecords,
                                           const std::vector<std::uint32_t>& kTops,
                                           const std::vector<std::uint32_t>& kGroups = {},
                                           std::uint32_t uiUserVersion = 0)
{
    Bytes k;
    char acLine[64];
    std::snprintf(acLine, sizeof(acLine), "Quenthal File Format, Version %u.%u.%u.%u\n", uiVersion >> 24,
                  (uiVersion >> 16) & 0xFF, (uiVersion >> 8) & 0xFF, uiVersion & 0xFF);
    k.Raw(acLine);
    k.U32(uiVersion);
    if (uiVersion >= V(10, 0, 1, 8))
        k.U32(uiUserVersion);
    k.U32(static_cast<std::uint32_t>(kRecords.size()));
    bool bTable = uiVersion >= V(5, 0, 0, 1);
    if (bTable)
    {
        std::vector<std::string> kNames;
        std::vector<std::uint16_t> kIndex;
        for (const Record& kRecord : kRecords)
        {
            std::size_t i = 0;
            while (i < kNames.size() && kNames[i] != kRecord.m_kClass)
                ++i;
            if (i == kNames.size())
                kNames.push_back(kRecord.m_kClass);
            kIndex.push_back(static_cast<std::uint16_t>(i));
        }
        k.U16(static_cast<std::uint16_t>(kNames.size()));
        for (const std::string& kName : kNames)
            k.Str(kName);
        for (std::uint16_t us : kIndex)
            k.U16(us);
    }
    if (uiVersion >= V(5, 0, 0, 6))
    {
        k.U32(static_cast<std::uint32_t>(kGroups.size()));
        for (std::uint32_t ui : kGroups)
            k.U32(ui);
    }
    for (const Record& kRecord : kRecords)
    {
        if (!bTable)
            k.Str(kRecord.m_kClass);
        if (uiVersion >= V(5, 0, 0, 6) && uiVersion < V(10, 1, 0, 114))
            k.U32(0);
        k.Append(kRecord.m_kBody);
    }
    k.U32(static_cast<std::uint32_t>(kTops.size()));
    for (std::uint32_t ui : kTops)
        k.U32(ui);
    return k.m_kBytes;
}

// The objects saved as the top-level objects of one file in memory.
inline std::vector<std::uint8_t> SaveTops(const std::vector<NiObject*>& kTops)
{
    NiObjectStream kStream;
    for (NiObject* pk : kTops)
        kStream.InsertTopObject(pk);
    std::unique_ptr<std::uint8_t[]> spBuffer;
    std::uint32_t uiSize = 0;
    EXPECT_TRUE(kStream.SaveBuffer(spBuffer, uiSize));
    return std::vector<std::uint8_t>(spBuffer.get(), spBuffer.get() + uiSize);
}

// After a load: the stream's top-level objects appended to kLoaded, and the
// stream's own references to them dropped, so kLoaded alone keeps them.
inline void TakeTopObjects(NiObjectStream& kStream, std::vector<NiObjectPtr>& kLoaded)
{
    for (std::uint32_t i = 0; i < kStream.GetObjectCount(); ++i)
        kLoaded.emplace_back(kStream.GetObjectAt(i));
    kStream.RemoveAllTopObjects();
}

// A fresh folder under the system's temporary folder, removed at the end.
class TempFolder
{
public:
    TempFolder()
    {
        std::filesystem::path kBase = std::filesystem::temp_directory_path();
        for (int i = 0;; ++i)
        {
            m_kPath = kBase / ("orvane_stream_" + std::to_string(::getpid()) + "_" + std::to_string(i));
            std::error_code kError;
            if (std::filesystem::create_directory(m_kPath, kError))
                break;
        }
    }
    ~TempFolder()
    {
        std::error_code kError;
        std::filesystem::remove_all(m_kPath, kError);
    }
    [[nodiscard]] std::string File(const std::string& kName) const { return (m_kPath / kName).string(); }
    [[nodiscard]] const std::filesystem::path& Path() const { return m_kPath; }

private:
    std::filesystem::path m_kPath;
};
} // namespace stream_test
