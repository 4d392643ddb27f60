#pragma once

#include "engine/animation/NiControllerSequence.h"
#include "engine/animation/NiTimeController.h"
#include "engine/core/NiHashMap.h"
#include "engine/scene/NiAVObjectPalette.h"

#include <cstdint>
#include <vector>

class NiAVObject;

// Sequence name -> index into the manager's sequence array; keys copied.
class NiSequenceIndexMap : public NiStringHashMapBase
{
public:
    explicit NiSequenceIndexMap(std::uint32_t uiBuckets) : NiStringHashMapBase(uiBuckets, true) {}
    ~NiSequenceIndexMap() override { DestroyAll(); }

    bool GetAt(const char* pcName, std::uint32_t& uiIndex) const
    {
        std::uintptr_t v = 0;
        if (pcName == nullptr || !GetAtRaw(reinterpret_cast<std::uintptr_t>(pcName), v))
            return false;
        uiIndex = static_cast<std::uint32_t>(v);
        return true;
    }
    void SetAt(const char* pcName, std::uint32_t uiIndex)
    {
        if (pcName != nullptr)
            SetAtRaw(reinterpret_cast<std::uintptr_t>(pcName), uiIndex);
    }
    bool RemoveAt(const char* pcName)
    {
        return pcName != nullptr && RemoveAtRaw(reinterpret_cast<std::uintptr_t>(pcName));
    }
};

// Plays the animations of one model: attached to the model root, it owns
// the model's sequences, binds them to the model's objects by name and runs
// each once per frame.
class NiControllerManager : public NiTimeController
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiControllerManager)

public:
    static constexpr std::uint32_t HASH_SIZE = 37;

    // For the stream: no target and no palette.
    NiControllerManager() = default;
    // Joins the head of the target's chain, with a default palette over it.
    NiControllerManager(NiAVObject* pkTarget, bool bCumulative);
    // Lets go of its sequences, which then point at no manager.
    ~NiControllerManager() override;

    [[nodiscard]] static NiObject* CreateObject() { return new NiControllerManager; }

    // False for a sequence that has a manager already, and when binding
    // fails. A given name renames the sequence.
    bool AddSequence(NiControllerSequence* pkSequence, const char* pcName = nullptr, bool bBind = true);
    // Stops and lets go of every sequence.
    void RemoveAllSequences();
    [[nodiscard]] bool GetSequenceIndex(const char* pcName, std::uint32_t& uiIndex) const
    {
        return m_kIndexMap.GetAt(pcName, uiIndex);
    }
    // Null when no sequence has the name.
    [[nodiscard]] NiControllerSequence* GetSequenceByName(const char* pcName) const;
    [[nodiscard]] std::uint32_t GetSequenceCount() const { return static_cast<std::uint32_t>(m_kSequences.size()); }
    [[nodiscard]] NiControllerSequence* GetSequenceAt(std::uint32_t uiIndex) const
    {
        return uiIndex < m_kSequences.size() ? m_kSequences[uiIndex].Get() : nullptr;
    }

    [[nodiscard]] bool GetCumulative() const { return m_bCumulative; }
    [[nodiscard]] NiAVObjectPalette* GetObjectPalette() const { return m_spObjectPalette; }
    void SetObjectPalette(NiAVObjectPalette* pkPalette) { m_spObjectPalette = pkPalette; }

    // The target is fixed at construction; starting and stopping is the
    // sequences' business.
    void Start(float) override {}
    void Stop() override {}
    void SetTarget(NiObjectNET*) override {}
    void Update(float fTime) override;
    [[nodiscard]] bool IsTargetClassValid(NiObjectNET* pkTarget) const override;

    // u8 cumulative, the sequence links, the palette link (from 10.1.0.104).
    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    void PostLink(NiObjectStream& kStream) override;
    bool RegisterForSave(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;
    void FinishClone(NiCloneContext& kCloning) override;
    void DropCountedLinks() override;

private:
    // Whether a sequence item's controller chain reaches this manager (or
    // runs on past the bound).
    [[nodiscard]] bool ItemChainsLeadBack(std::uint32_t uiBound) const;
    // Stores an adopted sequence in the first empty entry and names it in
    // the map (a nameless one stays out of the map).
    void StoreSequence(NiControllerSequence* pkSequence);

    std::vector<NiControllerSequencePtr> m_kSequences;
    NiSequenceIndexMap m_kIndexMap{HASH_SIZE};
    bool m_bCumulative = false;
    NiAVObjectPalettePtr m_spObjectPalette;
};

using NiControllerManagerPtr = NiRefPtr<NiControllerManager>;
