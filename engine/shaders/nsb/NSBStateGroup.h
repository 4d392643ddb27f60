#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class NiByteStream;
class NiD3DRenderStateGroup;
class NiD3DTextureStageGroup;

// One device state of a group, renderer-independent.
struct NSBStateGroupEntry
{
    static constexpr std::uint32_t FLAG_SAVE = 0x1;   // keep the previous value when applied
    static constexpr std::uint32_t FLAG_IGNORE = 0x2; // left out of every conversion

    [[nodiscard]] bool UsesSave() const { return (m_uiFlags & FLAG_SAVE) != 0; }
    [[nodiscard]] bool IsIgnored() const { return (m_uiFlags & FLAG_IGNORE) != 0; }

    std::uint32_t m_uiFlags = 0;
    std::uint32_t m_uiState = 0xFFFFFFFF;
    std::uint32_t m_uiValue = 0xFFFFFFFF;
    std::string m_kText; // stored, not used by the conversions
};

// Device states of an implementation, pass or texture stage, in insertion
// order.
class NSBStateGroup
{
public:
    NSBStateGroup() = default;
    NSBStateGroup(const NSBStateGroup&) = delete;
    NSBStateGroup& operator=(const NSBStateGroup&) = delete;

    // A state already present takes the new value and save flag in its
    // place (and is no longer ignored), with a warning; else it is appended.
    void SetState(std::uint32_t uiState, std::uint32_t uiValue, bool bSave);
    [[nodiscard]] NSBStateGroupEntry* FindState(std::uint32_t uiState) const;
    [[nodiscard]] std::uint32_t GetStateCount() const { return static_cast<std::uint32_t>(m_kEntries.size()); }
    // Insertion order through the group's own position; null at the end.
    NSBStateGroupEntry* GetFirstState();
    NSBStateGroupEntry* GetNextState();

    // Into the renderer's groups: entries marked to be ignored and those
    // that do not translate are left out. False only for an empty group.
    bool SetupRenderStateGroup(NiD3DRenderStateGroup& kRSGroup);
    bool SetupTextureStageGroup(NiD3DTextureStageGroup& kTSGroup);
    bool SetupSamplerGroup(NiD3DTextureStageGroup& kTSGroup);

    // Count, then flags, state, value and text of each entry.
    bool SaveBinary(NiByteStream& kStream) const;
    // Entries read before a failure stay.
    bool LoadBinary(NiByteStream& kStream);

    // With the presence word: 0 for none, else 1 and the group.
    static bool SaveOptional(NiByteStream& kStream, const NSBStateGroup* pkGroup);
    // Presence 0 leaves the slot as it is; a group that fails to read is
    // destroyed and the slot left empty.
    static bool LoadOptional(NiByteStream& kStream, std::unique_ptr<NSBStateGroup>& spGroup);

private:
    std::vector<std::unique_ptr<NSBStateGroupEntry>> m_kEntries;
    std::size_t m_uiIter = 0;
};
