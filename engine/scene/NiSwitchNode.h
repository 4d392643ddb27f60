#pragma once

#include "engine/scene/NiNode.h"

#include <cstdint>
#include <vector>

// Shows one child, the active one. With update-only-active set, only that
// child is updated; a child that missed updates is brought up to date when
// it is next needed (its stamp differs from the node's counter).
class NiSwitchNode : public NiNode
{
    NiDeclareTypeInfo()

public:
    static constexpr std::uint16_t UPDATE_ONLY_ACTIVE = 0x0001;

    NiSwitchNode();
    static NiObject* CreateObject() { return new NiSwitchNode; }

    [[nodiscard]] int GetIndex() const { return m_iIndex; }
    // -1 shows nothing.
    void SetIndex(int iIndex) { m_iIndex = iIndex; }
    [[nodiscard]] NiAVObject* GetActiveChild() const;
    [[nodiscard]] bool GetUpdateOnlyActiveChild() const { return (m_usSwitchFlags & UPDATE_ONLY_ACTIVE) != 0; }
    void SetUpdateOnlyActiveChild(bool b);
    [[nodiscard]] std::uint32_t GetUpdateCounter() const { return m_uiUpdateCounter; }
    [[nodiscard]] std::uint32_t GetChildStamp(std::uint32_t uiIndex) const;

    void AttachChild(NiAVObject* pkChild, bool bFirstAvail = false) override;
    NiAVObjectPtr DetachChild(NiAVObject* pkChild) override;
    NiAVObjectPtr DetachChildAt(std::uint32_t uiIndex) override;
    NiAVObjectPtr SetAt(std::uint32_t uiIndex, NiAVObject* pkChild) override;

    void UpdateControllers(float fTime) override;
    void UpdateModelBound() override;
    void UpdateDownwardPass(float fTime, bool bUpdateControllers) override;
    void UpdateSelectedDownwardPass(float fTime) override;
    void UpdateRigidDownwardPass(float fTime) override;
    void UpdateWorldBound() override;
    void OnVisible(NiCamera* pkCamera) override;

    NiObject* CreateClone(NiCloneContext& kCloning) override;
    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

protected:
    void CopyMembers(NiSwitchNode* pkDest, NiCloneContext& kCloning);
    // Brings a child that missed updates up to date with the stored time.
    void BringUpToDate(std::uint32_t uiIndex);
    // Keeps the stamps in step with the child slots after an edit.
    void SyncStamps();
    void ForgetActiveIfGone();
    // After a detach from slot uiIndex: the slot's stamp cleared when a
    // child left it, the stamps resized, a vanished active child forgotten.
    void AfterDetach(std::uint32_t uiIndex, bool bDetached);
    // The selective passes' own part when only the active child is updated:
    // the stored time, a new stamp, the node's controllers and world data;
    // returns the active child (null: none).
    [[nodiscard]] NiAVObject* StartSelectivePass(float fTime);
    // After the active child's pass: its stamp, and its bound as the node's.
    void FinishActivePass(NiAVObject& kChild);
    [[nodiscard]] bool IsIndexValid() const;

    std::uint16_t m_usSwitchFlags = UPDATE_ONLY_ACTIVE;
    int m_iIndex = -1;
    float m_fSavedTime = 0.0f;
    std::uint32_t m_uiUpdateCounter = 1;
    std::vector<std::uint32_t> m_kChildStamps;
    std::uint8_t m_bUpdateControllers = 1;
};

using NiSwitchNodePtr = NiRefPtr<NiSwitchNode>;
