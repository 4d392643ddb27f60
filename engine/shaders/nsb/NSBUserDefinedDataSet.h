#pragma once

#include "engine/shaders/nsb/NSBUserDefinedDataBlock.h"

#include <cstdint>
#include <vector>

class NiByteStream;

// The data blocks a shader, implementation or pass carries, in order.
class NSBUserDefinedDataSet : public NiRefObject
{
public:
    NSBUserDefinedDataSet() = default;
    ~NSBUserDefinedDataSet() override = default;

    // The block of that name, ignoring case. With create: a block already
    // there is reported as a possible overwrite and returned; a new one is
    // appended.
    NSBUserDefinedDataBlock* GetBlock(const char* pcName, bool bCreate);
    [[nodiscard]] std::uint32_t GetBlockCount() const { return static_cast<std::uint32_t>(m_kBlocks.size()); }
    NSBUserDefinedDataBlock* GetFirstBlock();
    NSBUserDefinedDataBlock* GetNextBlock();

    // Count, then each block; failures are reported.
    bool SaveBinary(NiByteStream& kStream);
    // Blocks read before a failure stay.
    bool LoadBinary(NiByteStream& kStream);

    // The record's presence word: 0 for none, else 1 and the set.
    static bool SaveOptional(NiByteStream& kStream, NSBUserDefinedDataSet* pkSet);
    // Non-zero: a set follows and replaces the slot; zero empties it.
    static bool LoadOptional(NiByteStream& kStream, NiRefPtr<NSBUserDefinedDataSet>& spSet);

private:
    std::vector<NSBUserDefinedDataBlockPtr> m_kBlocks;
    std::size_t m_uiIter = 0;
};

using NSBUserDefinedDataSetPtr = NiRefPtr<NSBUserDefinedDataSet>;
