#pragma once

#include "engine/animation/NiSequence.h"
#include "engine/animation/NiTimeController.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The old keyframe manager: a controller that only keeps old sequences by
// name, loaded with its scene (from the same file or from other files).
class NiKeyframeManager : public NiTimeController
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiKeyframeManager)

public:
    NiKeyframeManager() = default;
    ~NiKeyframeManager() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    // Nothing to do each frame.
    void Update(float) override {}
    [[nodiscard]] bool IsTargetClassValid(NiObjectNET* pkTarget) const override;

    // Under its own name, replacing a sequence of the same name.
    void AddSequence(NiSequence* pkSequence);
    [[nodiscard]] NiSequence* GetSequence(const char* pcName) const;
    [[nodiscard]] std::uint32_t GetSequenceCount() const { return static_cast<std::uint32_t>(m_kSequences.size()); }
    [[nodiscard]] NiSequence* GetSequenceAt(std::uint32_t ui) const
    {
        return ui < m_kSequences.size() ? m_kSequences[ui].second.Get() : nullptr;
    }

    // Record from 4.1.0.3: u32 entry count; per entry a u8 flag, then the
    // sequence name, a file name and a u32 index (set: loaded from that
    // file at once), or a link to an embedded sequence (clear). Written
    // with every sequence embedded.
    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    // A sequence whose controllers lead back here would hold this manager.
    void PostLink(NiObjectStream& kStream) override;
    bool RegisterForSave(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;
    void DropCountedLinks() override;

private:
    // An embedded entry of a file before 4.1.0.3, until its links resolve.
    struct OldEntry
    {
        std::string m_kName;
        std::vector<std::string> m_kObjectNames;
    };

    void ReadFileEntry(NiObjectStream& kStream, const char* pcName);
    void ReadOldEmbeddedEntry(NiObjectStream& kStream, const char* pcName);

    std::vector<std::pair<std::string, NiSequencePtr>> m_kSequences;
    std::uint32_t m_uiEmbeddedLinks = 0;
    std::vector<OldEntry> m_kOldEntries;
};

using NiKeyframeManagerPtr = NiRefPtr<NiKeyframeManager>;
