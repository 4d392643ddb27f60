#pragma once

#include "engine/shaders/nsb/NSBConstantMap.h"

#include <string>

// A named block of data an application looks up by name: a constant map
// whose entries carry data only.
class NSBUserDefinedDataBlock : public NSBConstantMap
{
public:
    explicit NSBUserDefinedDataBlock(const char* pcName = nullptr) { SetName(pcName); }
    ~NSBUserDefinedDataBlock() override = default;

    // Null while unset.
    [[nodiscard]] const char* GetName() const { return m_kName.empty() ? nullptr : m_kName.c_str(); }
    void SetName(const char* pcName) { m_kName = pcName ? pcName : ""; }

    using NSBConstantMap::AddEntry;
    // Into the common list with extra 0, no register (-1), count 1 and no
    // variable name; a key the block holds is refused with an error report.
    bool AddEntry(const char* pcKey, std::uint32_t uiFlags, std::uint32_t uiDataSize, std::uint32_t uiDataStride,
                  const void* pvData, bool bCopyData);

    // Name, then the map's record without its presence word.
    bool SaveRecord(NiByteStream& kStream) override;
    bool LoadRecord(NiByteStream& kStream) override;

    // Name, kind and the common count.
    static constexpr std::uint32_t MIN_RECORD_BYTES = 12;

private:
    std::string m_kName;
};

using NSBUserDefinedDataBlockPtr = NiRefPtr<NSBUserDefinedDataBlock>;
