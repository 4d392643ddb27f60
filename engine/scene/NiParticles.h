#pragma once

#include "engine/core/NiQuat.h"
#include "engine/scene/NiGeometry.h"
#include "engine/scene/NiGeometryData.h"
#include "engine/scene/NiNode.h"

#include <cstdint>

// Per-particle radius, size and optional rotation, and the number of
// particles in use (never more than the vertices).
class NiParticlesData : public NiGeometryData
{
    NiDeclareTypeInfo()

public:
    NiParticlesData();
    // Takes ownership of the arrays; radii and sizes start at 1.
    NiParticlesData(std::uint16_t usVertices, NiVec3* pkVertex, NiVec3* pkNormal, NiColorRGBA* pkColor,
                    NiVec2* pkTexture, std::uint16_t usTextureSets, std::uint16_t usNBTMethod);
    ~NiParticlesData() override;

    static NiObject* CreateObject();
    // The old rotating-particle class: data with the rotations flag.
    static NiObject* CreateRotatingObject();

    void SetActiveVertexCount(std::uint16_t usActive) override;
    [[nodiscard]] std::uint16_t GetActiveVertexCount() const override { return m_usActive; }
    void CalculateNormals() override {}
    // Moves the last active particle into slot i (texture coordinates stay)
    // and drops one; an index past the active ones changes nothing.
    virtual void RemoveParticle(std::uint16_t usParticle);

    [[nodiscard]] bool GetRotationsFlag() const { return m_uiRotationsFlag != 0; }
    void SetRotationsFlag(bool b) { m_uiRotationsFlag = b ? 1 : 0; }
    [[nodiscard]] float* GetRadii() const { return m_pfRadii; }
    [[nodiscard]] float* GetSizes() const { return m_pfSizes; }
    [[nodiscard]] NiQuat* GetRotations() const { return m_pkRotations; }
    // The data takes the array (vertex count entries, new[]).
    void SetRotations(NiQuat* pkRotations);

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

protected:
    void FillDefaults();

    std::uint32_t m_uiRotationsFlag = 0;
    float* m_pfRadii = nullptr;
    std::uint16_t m_usActive = 0;
    float* m_pfSizes = nullptr;
    NiQuat* m_pkRotations = nullptr;
};

// Particles drawn as meshes: child i of the container node is particle i's
// mesh.
class NiParticleMeshesData : public NiParticlesData
{
    NiDeclareTypeInfo()

public:
    NiParticleMeshesData();
    NiParticleMeshesData(std::uint16_t usVertices, NiVec3* pkVertex, NiVec3* pkNormal, NiColorRGBA* pkColor,
                         NiVec2* pkTexture, std::uint16_t usTextureSets, std::uint16_t usNBTMethod);

    static NiObject* CreateObject();

    [[nodiscard]] NiNode* GetContainerNode() const { return m_spContainer; }
    void SetContainerNode(NiNode* pkNode) { m_spContainer = pkNode; }
    [[nodiscard]] bool GetPropertiesChanged() const { return m_bPropertiesChanged; }
    void SetPropertiesChanged(bool b) { m_bPropertiesChanged = b; }

    void SetActiveVertexCount(std::uint16_t usActive) override;
    void RemoveParticle(std::uint16_t usParticle) override;

    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    bool RegisterForSave(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    // The container may hold the particles that hold this data.
    void DropCountedLinks() override;

private:
    NiNodePtr m_spContainer;
    bool m_bPropertiesChanged = false;
};

class NiParticles : public NiGeometry
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiParticles)

public:
    NiParticles() = default;
    explicit NiParticles(NiParticlesData* pkData) : NiGeometry(pkData) {}

    static NiObject* CreateObject();

    void RenderImmediate(NiRenderer* pkRenderer) override;
    // Particles move every frame: their data is always volatile.
    void SetConsistency(bool bHardwareSkinning) override;
    void UpdateEffectsDownward(NiEffectSet* pkParentEffects) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

    // The lights of a set without its texture effects, which never apply to
    // points and lines; the same set when it holds nothing else.
    [[nodiscard]] static NiEffectSetPtr KeepLightsOnly(NiEffectSet* pkEffects);

protected:
    [[nodiscard]] bool IsDataClassValid(const NiGeometryData* pkData) const override;
};

// Particles whose meshes are drawn in their place.
class NiParticleMeshes : public NiParticles
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiParticleMeshes)

public:
    NiParticleMeshes() = default;
    explicit NiParticleMeshes(NiParticleMeshesData* pkData) : NiParticles(pkData) {}

    static NiObject* CreateObject();

    void UpdateDownwardPass(float fTime, bool bUpdateControllers) override;
    // The meshes' container follows the particles in the world pass.
    [[nodiscard]] bool CanDeferWorldData() const override { return false; }
    void UpdateSelectedDownwardPass(float fTime) override;
    void UpdateRigidDownwardPass(float fTime) override;
    void ComputeSelectiveUpdateFlags(bool& bSelectiveUpdate, bool bSelectiveUpdateTransforms, bool& bRigid) override;
    void UpdatePropertiesDownward(NiPropertySet* pkParentState) override;
    void UpdateEffectsDownward(NiEffectSet* pkParentEffects) override;
    void UpdateWorldData() override;
    void OnVisible(NiCamera* pkCamera) override;
    void PurgeRendererData(NiRenderer* pkRenderer) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;
    void PostLink(NiObjectStream& kStream) override;

    [[nodiscard]] float GetUpdateTime() const { return m_fUpdateTime; }

protected:
    [[nodiscard]] bool IsDataClassValid(const NiGeometryData* pkData) const override;
    [[nodiscard]] NiNode* GetContainer() const;
    // True when this geometry hangs below its own container (directly or
    // through nested particle meshes): the update would never end.
    [[nodiscard]] bool IsBelowOwnContainer(std::uint32_t uiBound) const;

    float m_fUpdateTime = 0.0f;
    std::uint32_t m_uiUpdateFlag = 1;
};
