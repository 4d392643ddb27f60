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

    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    bool RegisterForSave(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;

private:
    NiRefPtr<NiSkinPartition> m_spOldPartition;
    NiXform m_kRootParentToSkin;
    std::uint32_t m_uiBones = 0;
    std::unique_ptr<BoneData[]> m_spBoneData;
};

using NiSkinDataPtr = NiRefPtr<NiSkinData>;
