#pragma once

#include "engine/scene/NiLODData.h"
#include "engine/scene/NiSwitchNode.h"

#include <cstdint>

// A switch node whose active child is chosen at each visit by its
// level-of-detail data.
class NiLODNode : public NiSwitchNode
{
    NiDeclareTypeInfo()

public:
    NiLODNode();
    static NiObject* CreateObject() { return new NiLODNode; }

    [[nodiscard]] NiLODData* GetLODData() const { return m_spLODData; }
    void SetLODData(NiLODData* pkData) { m_spLODData = pkData; }
    [[nodiscard]] bool GetLODActive() const { return m_bLODActive != 0; }
    void SetLODActive(bool b) { m_bLODActive = b ? 1 : 0; }

    // Every child that missed updates is brought up to date.
    void UpdateMissedChildren();

    // Read by every LOD node; -1 (none) unless a tool or test sets it.
    [[nodiscard]] static int GetGlobalLOD() { return ms_iGlobalLOD; }
    static void SetGlobalLOD(int iLevel) { ms_iGlobalLOD = iLevel; }

    void UpdateWorldData() override;
    void OnVisible(NiCamera* pkCamera) override;

    NiObject* CreateClone(NiCloneContext& kCloning) override;
    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    bool RegisterForSave(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    NiLODDataPtr m_spLODData;
    std::uint8_t m_bLODActive = 1;

    static int ms_iGlobalLOD;
};

using NiLODNodePtr = NiRefPtr<NiLODNode>;
