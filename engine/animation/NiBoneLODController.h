#pragma once

#include "engine/animation/NiTimeController.h"
#include "engine/scene/NiSkinInstance.h"

#include <cstdint>
#include <vector>

class NiGeometry;
class NiNode;

// Switches a skinned character between levels of detail of its skeleton:
// the bones of the level and the later ones stay animated, and only the
// level's geometries are shown, each with the skin instance made for it.
class NiBoneLODController : public NiTimeController
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiBoneLODController)

public:
    struct SkinInfo
    {
        NiGeometry* m_pkGeometry = nullptr; // the scene graph's
        NiRefPtr<NiSkinInstance> m_spSkinInstance;
    };

    NiBoneLODController() = default;
    ~NiBoneLODController() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    // False, changing nothing, without levels, for the current level, and
    // for anything but -1 (no level) and 0 .. n - 1.
    bool SetBoneLOD(std::int32_t iLOD);
    [[nodiscard]] std::int32_t GetBoneLOD() const { return m_iLOD; }
    [[nodiscard]] std::uint32_t GetNumberOfBoneLODs() const { return m_uiNumLODs; }
    // Takes the process-wide request (-1: none), lowered to the last level.
    void Update(float fTime) override;
    [[nodiscard]] bool IsTargetClassValid(NiObjectNET* pkTarget) const override;

    // The level set by the framework for every controller; -1 for none.
    static void SetBoneLODRequest(std::int32_t iLOD) { ms_iRequest = iLOD; }
    [[nodiscard]] static std::int32_t GetBoneLODRequest() { return ms_iRequest; }
    static void ResetBoneLODRequest() { ms_iRequest = -1; }

    // Building in code: the level count, then the sets by level.
    void SetNumberOfBoneLODs(std::uint32_t uiCount) { m_uiNumLODs = uiCount; }
    void AddBone(std::uint32_t uiSet, NiNode* pkBone);
    void AddSkin(std::uint32_t uiSet, NiGeometry* pkGeometry, NiSkinInstance* pkSkin);
    void AddShape(NiGeometry* pkGeometry) { m_kShapes.push_back(pkGeometry); }
    [[nodiscard]] const std::vector<std::vector<NiNode*>>& GetBoneSets() const { return m_kBoneSets; }
    [[nodiscard]] const std::vector<std::vector<SkinInfo>>& GetSkinSets() const { return m_kSkinSets; }
    [[nodiscard]] const std::vector<NiGeometry*>& GetShapes() const { return m_kShapes; }

    // Record: i32 level, u32 level count, the bone sets (count, then per set
    // a count and bone links), the skin sets (per entry a geometry and a
    // skin-instance link) and the shape links.
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
    // Applies the stored level afresh (after a load or a clone).
    void ApplyStoredLevel();

    std::int32_t m_iLOD = -1;
    std::uint32_t m_uiNumLODs = 0;
    std::vector<std::vector<NiNode*>> m_kBoneSets;
    std::vector<std::vector<SkinInfo>> m_kSkinSets;
    std::vector<NiGeometry*> m_kShapes;

    static std::int32_t ms_iRequest;
};

using NiBoneLODControllerPtr = NiRefPtr<NiBoneLODController>;
