#pragma once

#include "engine/animation/NiTimeController.h"
#include "engine/core/NiObject.h"

#include <cstdint>

class NiExtraData;

// Base of every named engine object: a name, extra data kept sorted by name
// (bytes compared unsigned, case-sensitive, no two alike) and the head of a
// chain of time controllers.
class NiObjectNET : public NiObject
{
    NiDeclareTypeInfo()

public:
    NiObjectNET() = default;
    ~NiObjectNET() override;

    // Keeps a copy; null clears it.
    void SetName(const char* pcName);
    [[nodiscard]] const char* GetName() const { return m_pcName; }

    // ---- Extra data ----
    [[nodiscard]] NiExtraData* GetExtraData(const char* pcName) const;
    // Names an unnamed entry after its class and position; refuses (false)
    // a null entry and a name already present, the entry then losing the
    // reference it gained.
    bool AddExtraData(NiExtraData* pkExtra);
    bool RemoveExtraData(const char* pcName);
    bool RemoveExtraDataAt(std::uint32_t uiIndex);
    void RemoveAllExtraData();
    // False for 0 and for fewer entries than are held.
    bool ReserveExtraData(std::uint32_t uiCount);
    [[nodiscard]] std::uint32_t GetExtraDataSize() const { return m_uiExtraDataSize; }
    [[nodiscard]] std::uint32_t GetExtraDataCapacity() const { return m_uiExtraDataCapacity; }
    [[nodiscard]] NiExtraData* GetExtraDataAt(std::uint32_t uiIndex) const;

    // ---- Controllers ----
    [[nodiscard]] NiTimeController* GetControllers() const { return m_spControllers; }
    void SetControllers(NiTimeController* pkFirst)
    {
        m_spControllers = pkFirst;
        ControllerListsChanged();
    }
    void PrependController(NiTimeController* pkController);
    void RemoveController(NiTimeController* pkController);
    [[nodiscard]] NiTimeController* GetControllerOfType(const NiTypeInfo* pkType) const;
    // Grows whenever any object's chain of controllers, or a positioned
    // object's list of properties, may have changed: what a pass remembers
    // about who has controllers holds while it stays the same.
    [[nodiscard]] static std::uint32_t GetControllerListEpoch();

    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    bool RegisterForSave(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;
    void FinishClone(NiCloneContext& kCloning) override;
    void PostLink(NiObjectStream& kStream) override;

protected:
    void CopyMembers(NiObjectNET* pkDest, NiCloneContext& kCloning);
    static void ControllerListsChanged();

    char* m_pcName = nullptr;
    NiTimeControllerPtr m_spControllers;
    NiExtraData** m_ppkExtra = nullptr;
    std::uint32_t m_uiExtraDataSize = 0;
    std::uint32_t m_uiExtraDataCapacity = 0;
    // Files before 5.0.0.11: the first extra data of the chain the linked
    // entries form, collected after every link is resolved.
    NiExtraData* m_pkOldExtraChain = nullptr;
};

using NiObjectNETPtr = NiRefPtr<NiObjectNET>;
