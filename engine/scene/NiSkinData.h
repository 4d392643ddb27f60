#pragma once

#include "engine/core/NiBoundSphere.h"
#include "engine/core/NiObject.h"
#include "engine/core/NiXform.h"

#include <cstdint>
#include <memory>
#include <vector>

class NiSkinPartition;

// The bone-independent part of a skin: its own transform and, per bone, the
// bind transform, bound and vertex weights. Shared by the clones of a skin
// instance.
class NiSkinData : public NiObject
{
    NiDeclareTypeInfo()

public:
    struct SkinWeight
    {
        std::uint16_t m_usVertex = 0;
        float m_fWeight = 0.0f;
    };

    struct BoneData
    {
        NiXform m_kSkinToBone;
        NiBoundSphere m_kBound;
        std::unique_ptr<SkinWeight[]> m_spWeights;
        std::uint16_t m_usVerts = 0;
    };

    NiSkinData();
    ~NiSkinData() override;

    static NiObject* CreateObject();

    [[nodiscard]] const NiXform& GetRootParentToSkin() const { return m_kRootParentToSkin; }
    void SetRootParentToSkin(const NiXform& kXform) { m_kRootParentToSkin = kXform; }
    [[nodiscard]] std::uint32_t GetBoneCount() const { return m_uiBones; }
    [[nodiscard]] BoneData* GetBoneData() const { return m_spBoneData.get(); }
    // Replaces the bone records (the data takes them).
    void SetBones(std::uint32_t uiBones, std::unique_ptr<BoneData[]> spBones);
    // Weight array for one bone (the data takes it).
    void SetBoneWeights(std::uint32_t uiBone, std::uint16_t usCount, std::unique_ptr<SkinWeight[]> spWeights);

    // The partition old files kept here; the skin instance takes it.
    [[nodiscard]] NiSkinPartition* GetOldPartition() const;
    NiRefPtr<NiSkinPartition> TakeOldPartition();

    // True when every weight names a vertex below the count.
    [[nodiscard]] bool WeightsBelow(std::uint32_t uiVertexCount) const;

    // The weights turned vertex-major for software skinning, prepared
    // whenever bones or weights are set or read: per vertex its first four
    // weights in bone order; unused places name bone GetBoneCount() with
    // weight 0. Weights edited in place through GetBoneData are not seen
    // here until they are set again.
    struct VertexWeights
    {
        std::uint16_t m_ausBone[4];
        float m_afWeight[4];
    };
    // Null when a vertex has more than four weights or the skin has 65,535
    // bones or more; skinning then goes bone by bone.
    [[nodiscard]] const VertexWeights* GetVertexWeights() const
    {
        return m_kVertexWeights.empty() ? nullptr : m_kVertexWeights.data();
    }
    // One past the highest vertex any weight names.
    [[nodiscard]] std::uint32_t GetVertexWeightCount() const
    {
        return static_cast<std::uint32_t>(m_kVertexWeights.size());
    }

    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    bool RegisterForSave(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;

private:
    void PrepareVertexWeights();

    NiRefPtr<NiSkinPartition> m_spOldPartition;
    NiXform m_kRootParentToSkin;
    std::uint32_t m_uiBones = 0;
    std::unique_ptr<BoneData[]> m_spBoneData;
    std::vector<VertexWeights> m_kVertexWeights;
};

using NiSkinDataPtr = NiRefPtr<NiSkinData>;
