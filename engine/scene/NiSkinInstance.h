#pragma once

#include "engine/core/NiBoundSphere.h"
#include "engine/core/NiObject.h"
#include "engine/scene/NiSkinData.h"
#include "engine/scene/NiSkinPartition.h"

#include <cstdint>
#include <memory>
#include <vector>

class NiAVObject;

// Binds a geometry's vertices to bone objects of the scene graph. Bones and
// the root parent are links, not references: the scene graph keeps them.
class NiSkinInstance : public NiObject
{
    NiDeclareTypeInfo()

public:
    NiSkinInstance();
    ~NiSkinInstance() override;

    static NiObject* CreateObject();

    [[nodiscard]] NiSkinData* GetSkinData() const { return m_spSkinData; }
    void SetSkinData(NiSkinData* pkData);
    [[nodiscard]] NiSkinPartition* GetSkinPartition() const { return m_spSkinPartition; }
    void SetSkinPartition(NiSkinPartition* pkPartition) { m_spSkinPartition = pkPartition; }
    [[nodiscard]] NiAVObject* GetRootParent() const { return m_pkRootParent; }
    void SetRootParent(NiAVObject* pkRoot) { m_pkRootParent = pkRoot; }
    // As many as the skin data has bones.
    [[nodiscard]] NiAVObject* const* GetBones() const { return m_kBones.data(); }
    [[nodiscard]] std::uint32_t GetBoneCount() const { return static_cast<std::uint32_t>(m_kBones.size()); }
    void SetBone(std::uint32_t uiIndex, NiAVObject* pkBone);

    // Renderer-owned fields.
    std::int32_t m_iFrameID = -1;
    std::uint32_t m_auiRendererFields[4] = {0, 0, 0, 0};

    // The data's model bound from the bones' world bounds, in the skin's
    // frame; unchanged without bones.
    void UpdateModelBound(NiBoundSphere& kBound);

    // Skinned positions (and normals, binormals, tangents when both source
    // and destination are given) written at the destination stride.
    void NiDeformSkinnedVertices(const NiVec3* pkSrcVertex, const NiVec3* pkSrcNormal, std::uint32_t uiVertexCount,
                                 void* pvDstVertex, void* pvDstNormal, void* pvDstBinormal, void* pvDstTangent,
                                 std::uint32_t uiStride) const;

    // Old files kept the partition in the skin data; it moves here.
    void TakeOldPartition();

    // Objects this instance keeps alive because nothing else held them when
    // it was loaded or cloned.
    [[nodiscard]] std::uint32_t GetHeldCount() const { return static_cast<std::uint32_t>(m_kHeld.size()); }

    NiObject* CreateClone(NiCloneContext& kCloning) override;
    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    bool RegisterForSave(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;
    void PostLink(NiObjectStream& kStream) override;

private:
    // W: the skin's frame relative to the root parent's world.
    [[nodiscard]] NiXform SkinFromWorld() const;
    // The general case: bone by bone, adding into zeroed outputs.
    void DeformBoneMajor(const NiVec3* pkSrcVertex, const NiVec3* pkSrcNormal, std::uint32_t uiVertexCount,
                         void* pvDstVertex, void* pvDstNormal, void* pvDstBinormal, void* pvDstTangent,
                         std::uint32_t uiStride) const;
    void Hold(NiObject* pkObject);

    NiSkinDataPtr m_spSkinData;
    NiSkinPartitionPtr m_spSkinPartition;
    NiAVObject* m_pkRootParent = nullptr;
    std::vector<NiAVObject*> m_kBones;
    std::vector<NiObjectPtr> m_kHeld;
};

using NiSkinInstancePtr = NiRefPtr<NiSkinInstance>;
