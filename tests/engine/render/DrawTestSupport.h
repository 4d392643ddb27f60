#pragma once
// Geometry and a recording shader for the drawing tests: shapes, strips,
// skinned bars, lines and points built in code, and a default shader that
// notes every pipeline call with the device draws made so far.

#include "engine/core/NiXform.h"
#include "engine/render/NiDX9Renderer.h"
#include "engine/scene/NiLines.h"
#include "engine/scene/NiLinesData.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiParticles.h"
#include "engine/scene/NiPropertySet.h"
#include "engine/scene/NiSkinData.h"
#include "engine/scene/NiSkinInstance.h"
#include "engine/scene/NiSkinPartition.h"
#include "engine/scene/NiTriShape.h"
#include "engine/scene/NiTriStrips.h"
#include "engine/shaders/framework/NiD3DDefaultShader.h"
#include "platform/gfx/Gfx.h"

#include <cstdint>
#include <string>
#include <vector>

namespace drawtest
{
// A quad of four vertices (two triangles) in the z = 0 plane, coloured.
inline NiRefPtr<NiTriShape> MakeQuad(float fHalf = 1.0f, const NiColorRGBA& kColor = NiColorRGBA(1, 1, 1, 1))
{
    auto* pkVerts = new NiVec3[4]{{-fHalf, -fHalf, 0}, {fHalf, -fHalf, 0}, {fHalf, fHalf, 0}, {-fHalf, fHalf, 0}};
    auto* pkColors = new NiColorRGBA[4]{kColor, kColor, kColor, kColor};
    auto* pusTris = new std::uint16_t[6]{0, 1, 2, 0, 2, 3};
    NiRefPtr<NiTriShape> spShape = new NiTriShape(4, pkVerts, nullptr, pkColors, nullptr, 0, 0, 2, pusTris);
    spShape->Update(0.0f);
    return spShape;
}

// Strips of the given lengths over one vertex each index (vertex count = sum).
inline NiRefPtr<NiTriStrips> MakeStrips(const std::vector<std::uint16_t>& kLengths)
{
    std::uint16_t usTotal = 0, usTriangles = 0;
    for (std::uint16_t us : kLengths)
        usTotal = static_cast<std::uint16_t>(usTotal + us), usTriangles = static_cast<std::uint16_t>(usTriangles + us - 2);
    auto* pkVerts = new NiVec3[usTotal];
    auto* pusLists = new std::uint16_t[usTotal];
    for (std::uint16_t i = 0; i < usTotal; ++i)
    {
        pkVerts[i] = NiVec3(static_cast<float>(i % 2), static_cast<float>(i / 2), 0.0f);
        pusLists[i] = i;
    }
    auto* pusLengths = new std::uint16_t[kLengths.size()];
    for (std::size_t i = 0; i < kLengths.size(); ++i)
        pusLengths[i] = kLengths[i];
    auto* pkData = new NiTriStripsData(usTotal, pkVerts, nullptr, nullptr, nullptr, 0, 0, usTriangles,
                                       static_cast<std::uint16_t>(kLengths.size()), pusLengths, pusLists);
    NiRefPtr<NiTriStrips> spStrips = new NiTriStrips(pkData);
    spStrips->Update(0.0f);
    return spStrips;
}

// A bar along x from 0 to 2 (width 0.5 in y), two segments, skinned to two
// bones: bone 0 at the origin, bone 1 at x = 1 turned 90 degrees about z,
// so the second half bends up. Vertices at x = 1 weigh half and half.
struct SkinnedBar
{
    NiRefPtr<NiNode> m_spRoot;
    NiRefPtr<NiTriShape> m_spShape;
    NiRefPtr<NiNode> m_aspBones[2];
};

inline SkinnedBar MakeSkinnedBar(bool bPartition, std::uint16_t usPartitionBones = 2)
{
    SkinnedBar kBar;
    kBar.m_spRoot = new NiNode;
    for (int b = 0; b < 2; ++b)
    {
        kBar.m_aspBones[b] = new NiNode;
        kBar.m_spRoot->AttachChild(kBar.m_aspBones[b]);
    }
    kBar.m_aspBones[1]->SetTranslate(NiVec3(1.0f, 0.0f, 0.0f));
    NiMatrix3x3 kTurn;
    kTurn.MakeZRotation(1.5707963f);
    kBar.m_aspBones[1]->SetRotate(kTurn);
    // Six vertices: x = 0, 1, 2 at y = -0.25 and 0.25.
    auto* pkVerts = new NiVec3[6];
    auto* pkNormals = new NiVec3[6];
    for (int i = 0; i < 6; ++i)
    {
        pkVerts[i] = NiVec3(static_cast<float>(i / 2), (i % 2) ? 0.25f : -0.25f, 0.0f);
        pkNormals[i] = NiVec3(0.0f, 0.0f, 1.0f);
    }
    auto* pusTris = new std::uint16_t[12]{0, 1, 3, 0, 3, 2, 2, 3, 5, 2, 5, 4};
    auto* pkData = new NiTriShapeData(6, pkVerts, pkNormals, nullptr, nullptr, 0, 0, 4, pusTris);
    kBar.m_spShape = new NiTriShape(pkData);
    kBar.m_spRoot->AttachChild(kBar.m_spShape);

    NiRefPtr<NiSkinData> spSkinData = new NiSkinData;
    auto spBones = std::make_unique<NiSkinData::BoneData[]>(2);
    // Skin to bone: the inverse of the bone's bind (bone 1 bound unturned at x = 1).
    spBones[1].m_kSkinToBone.m_kTranslate = NiVec3(-1.0f, 0.0f, 0.0f);
    spBones[0].m_kBound.m_fRadius = 3.0f;
    spBones[1].m_kBound.m_fRadius = 3.0f;
    spSkinData->SetBones(2, std::move(spBones));
    // Weights: bone 0 all of x = 0, half of x = 1; bone 1 the rest.
    const float afWeight0[6] = {1, 1, 0.5f, 0.5f, 0, 0};
    for (std::uint32_t b = 0; b < 2; ++b)
    {
        auto spWeights = std::make_unique<NiSkinData::SkinWeight[]>(6);
        for (std::uint16_t v = 0; v < 6; ++v)
        {
            spWeights[v].m_usVertex = v;
            spWeights[v].m_fWeight = b == 0 ? afWeight0[v] : 1.0f - afWeight0[v];
        }
        spSkinData->SetBoneWeights(b, 6, std::move(spWeights));
    }
    NiRefPtr<NiSkinInstance> spSkin = new NiSkinInstance;
    spSkin->SetSkinData(spSkinData);
    spSkin->SetRootParent(kBar.m_spRoot);
    spSkin->SetBone(0, kBar.m_aspBones[0]);
    spSkin->SetBone(1, kBar.m_aspBones[1]);
    if (bPartition)
    {
        NiRefPtr<NiSkinPartition> spPartition = new NiSkinPartition;
        auto spParts = std::make_unique<NiSkinPartition::Partition[]>(1);
        NiSkinPartition::Partition& kPart = spParts[0];
        kPart.m_usVertices = 6;
        kPart.m_usTriangles = 4;
        kPart.m_usBones = usPartitionBones;
        kPart.m_usBonesPerVertex = 2;
        kPart.m_pusBones.reset(new std::uint16_t[usPartitionBones]);
        for (std::uint16_t b = 0; b < usPartitionBones; ++b)
            kPart.m_pusBones[b] = static_cast<std::uint16_t>(b % 2);
        kPart.m_pfWeights.reset(new float[12]);
        for (int v = 0; v < 6; ++v)
        {
            kPart.m_pfWeights[2 * v] = afWeight0[v];
            kPart.m_pfWeights[2 * v + 1] = 1.0f - afWeight0[v];
        }
        kPart.m_pusVertexMap.reset(new std::uint16_t[6]{0, 1, 2, 3, 4, 5});
        kPart.m_pusTriList.reset(new std::uint16_t[12]{0, 1, 3, 0, 3, 2, 2, 3, 5, 2, 5, 4});
        spPartition->SetPartitions(1, std::move(spParts));
        spSkin->SetSkinPartition(spPartition);
    }
    kBar.m_spShape->SetSkinInstance(spSkin);
    kBar.m_spRoot->Update(0.0f);
    return kBar;
}

// The default shader, noting each pipeline call as it comes, with the
// number of device draws the renderer has made by then.
class RecordingShader : public NiD3DDefaultShader
{
public:
    explicit RecordingShader(gfx::IDirect3DDevice9* pkDevice) : m_pkDevice(pkDevice) {}

    std::uint32_t m_uiPreResult = 0;
    std::uint32_t m_uiNullPrepareAt = 0xFFFFFFFFu; // the n-th Prepare call (0-based) returns null
    std::vector<std::string> m_kCalls;

    std::uint32_t PreProcessPipeline(NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                     NiDX9GeometryBufferData* pkBuffers, const NiPropertySet* pkState,
                                     const NiEffectSet* pkEffects, const NiXform& kWorld,
                                     const NiBoundSphere& kBound) override
    {
        m_kCalls.push_back("Pre");
        NiD3DDefaultShader::PreProcessPipeline(pkGeometry, pkSkin, pkBuffers, pkState, pkEffects, kWorld, kBound);
        return m_uiPreResult;
    }
    std::uint32_t UpdatePipeline(NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                 NiDX9GeometryBufferData* pkBuffers, const NiPropertySet* pkState,
                                 const NiEffectSet* pkEffects, const NiXform& kWorld,
                                 const NiBoundSphere& kBound) override
    {
        m_kCalls.push_back("Update");
        return NiD3DDefaultShader::UpdatePipeline(pkGeometry, pkSkin, pkBuffers, pkState, pkEffects, kWorld, kBound);
    }
    std::uint32_t SetupRenderingPass(NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                     NiDX9GeometryBufferData* pkBuffers, const NiPropertySet* pkState,
                                     const NiEffectSet* pkEffects, const NiXform& kWorld,
                                     const NiBoundSphere& kBound) override
    {
        m_kCalls.push_back("Pass");
        return NiD3DDefaultShader::SetupRenderingPass(pkGeometry, pkSkin, pkBuffers, pkState, pkEffects, kWorld,
                                                      kBound);
    }
    std::uint32_t SetupTransformations(NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                       const Partition* pkPartition, NiDX9GeometryBufferData* pkBuffers,
                                       const NiPropertySet* pkState, const NiEffectSet* pkEffects,
                                       const NiXform& kWorld, const NiBoundSphere& kBound) override
    {
        m_kCalls.push_back(pkPartition != nullptr ? "Transform(partition)" : "Transform");
        return NiD3DDefaultShader::SetupTransformations(pkGeometry, pkSkin, pkPartition, pkBuffers, pkState,
                                                        pkEffects, kWorld, kBound);
    }
    NiDX9GeometryBufferData* PrepareGeometryForRendering(NiGeometry* pkGeometry, const Partition* pkPartition,
                                                         NiDX9GeometryBufferData* pkBuffers,
                                                         const NiPropertySet* pkState) override
    {
        m_kCalls.push_back("Prepare");
        if (m_uiPrepares++ == m_uiNullPrepareAt)
            return nullptr;
        return NiD3DDefaultShader::PrepareGeometryForRendering(pkGeometry, pkPartition, pkBuffers, pkState);
    }
    std::uint32_t SetupShaderPrograms(NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                      const Partition* pkPartition, NiDX9GeometryBufferData* pkBuffers,
                                      const NiPropertySet* pkState, const NiEffectSet* pkEffects,
                                      const NiXform& kWorld, const NiBoundSphere& kBound) override
    {
        m_kCalls.push_back("Programs");
        return NiD3DDefaultShader::SetupShaderPrograms(pkGeometry, pkSkin, pkPartition, pkBuffers, pkState,
                                                       pkEffects, kWorld, kBound);
    }
    std::uint32_t PostRender(NiGeometry* pkGeometry, const NiSkinInstance* pkSkin, const Partition* pkPartition,
                             NiDX9GeometryBufferData* pkBuffers, const NiPropertySet* pkState,
                             const NiEffectSet* pkEffects, const NiXform& kWorld, const NiBoundSphere& kBound) override
    {
        m_kCalls.push_back("PostRender(draws " + std::to_string(Draws()) + ")");
        return NiD3DDefaultShader::PostRender(pkGeometry, pkSkin, pkPartition, pkBuffers, pkState, pkEffects, kWorld,
                                              kBound);
    }
    std::uint32_t PostProcessPipeline(NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                      NiDX9GeometryBufferData* pkBuffers, const NiPropertySet* pkState,
                                      const NiEffectSet* pkEffects, const NiXform& kWorld,
                                      const NiBoundSphere& kBound) override
    {
        m_kCalls.push_back("PostProcess");
        return NiD3DDefaultShader::PostProcessPipeline(pkGeometry, pkSkin, pkBuffers, pkState, pkEffects, kWorld,
                                                       kBound);
    }

    [[nodiscard]] std::size_t Draws() const
    {
        std::size_t n = 0;
        for (const gfx::RecordedCall& k : m_pkDevice->RecordedCalls())
            n += k.kind == gfx::RecordedCall::Kind::DrawPrimitive ||
                 k.kind == gfx::RecordedCall::Kind::DrawIndexedPrimitive;
        return n;
    }

private:
    gfx::IDirect3DDevice9* m_pkDevice;
    std::uint32_t m_uiPrepares = 0;
};

inline std::string Join(const std::vector<std::string>& kCalls)
{
    std::string k;
    for (const std::string& s : kCalls)
        k += (k.empty() ? "" : " ") + s;
    return k;
}
} // namespace drawtest
