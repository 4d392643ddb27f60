#pragma once

#include "engine/core/NiVec3.h"
#include "framework/COrvaneAssetPool.h"
#include "framework/COrvaneBase.h"

#include <cstdint>
#include <list>
#include <memory>
#include <vector>

class COrvaneAnim;
class COrvaneComposite;
class COrvaneWorld;
class COrvaneObjectTemplate;
class NiAVObject;
struct COrvaneObjectDesc;

// Root of every world object and character: ties the object to its
// template, its model and the world, and keeps its rotation and timer.
class COrvaneObject : public COrvaneBase
{
public:
    // Degrees per radian of the heading toward a point.
    static constexpr float DEGREES_PER_RADIAN = 57.29578f;

    COrvaneObject();
    ~COrvaneObject() override;

    void Destroy() override;
    virtual void Reset();
    // The object's own name, else its model's.
    [[nodiscard]] const char* GetName() const override;
    virtual int HandleUserProp(const char* pcText, int iPass, NiAVObject* pkNode);
    [[nodiscard]] virtual bool HasModelData() const;
    virtual void SetModelValue(std::uint32_t uiValue);
    // The model joins the world's scene once the world exists; until then
    // only the world is remembered.
    virtual bool AddToWorld(COrvaneWorld* pkWorld, bool bUseCollision);
    // True: the model joins the world in the world's own axes (the upright
    // node), not in the level's turned frame.
    [[nodiscard]] virtual bool StandsUpright() const { return false; }
    virtual bool RemoveFromWorld();
    // Mode 0 sets the position; other modes add the offset.
    virtual void SetPosition(const NiVec3& kPosition, int iMode);
    virtual void ApplyHeading();
    // Turns to the point, keeping the position.
    virtual void FaceTowards(const NiVec3& kPoint);
    [[nodiscard]] virtual float DistanceSquaredTo(const NiVec3& kPoint) const;
    // Relative turns wrap the heading into [0, 360) by one step.
    virtual void Rotate(const NiVec3& kAxis, float fAngle, bool bRelative);
    virtual void Update(float fDt);
    [[nodiscard]] virtual const NiVec3* GetModelPosition() const;
    [[nodiscard]] virtual const float* GetRotation() const;
    virtual void EmptySlot() {}
    virtual void ModelHook();
    virtual int Load(COrvaneObjectDesc& kDesc);

    void PlayAnimation(const char* pcName, std::uint8_t ucMode, float fDuration, std::uint32_t uiFlags,
                       std::int32_t iLengthFactor);
    void SetModelHidden(bool bHidden);
    [[nodiscard]] bool IsModelVisible() const;
    void ResetModelAnimation();
    void ApplyToModel(std::uint32_t uiValue);

    [[nodiscard]] COrvaneComposite* GetModel() const { return m_pkModel; }
    [[nodiscard]] COrvaneObjectTemplate* GetTemplate() const { return m_pkTemplate; }
    [[nodiscard]] COrvaneAnim* GetCurrentAnimation() const { return m_pkCurrentAnimation; }
    [[nodiscard]] const std::vector<COrvaneAnimEntryPtr>& GetAnimationEntries() const { return m_kAnimations; }
    [[nodiscard]] const COrvaneModelEntryPtr& GetSharedModelEntry() const { return m_spSharedModel; }
    [[nodiscard]] COrvaneWorld* GetWorld() const { return m_pkWorld; }
    [[nodiscard]] const std::list<NiAVObject*>& GetSharedParts() const { return m_kSharedParts; }
    [[nodiscard]] COrvaneBase* GetTypeObject() const { return m_pkTypeObject; }
    [[nodiscard]] float GetHeading() const { return m_afAngles[1]; }
    [[nodiscard]] float GetTimer() const { return m_fTimer; }
    // The animation's time left as a save stored it, run out (0 or below)
    // included, which PlayAnimation reads as "the whole length".
    void SetTimer(float fTimer) { m_fTimer = fTimer; }
    [[nodiscard]] std::uint8_t GetPlayMode() const { return m_ucPlayMode; }
    [[nodiscard]] float GetLastTimeStep() const { return m_fLastTimeStep; }
    [[nodiscard]] std::uint16_t GetParameterCursor() const { return m_usParameterCursor; }

protected:
    COrvaneWorld* m_pkWorld = nullptr;             // link
    COrvaneBase* m_pkTypeObject = nullptr;         // link
    COrvaneObjectTemplate* m_pkTemplate = nullptr; // link
    std::uint16_t m_usParameterCursor = 0;
    std::uint8_t m_ucPlayMode = 1;
    std::uint8_t m_ucAnimationStarted = 0;
    float m_fTimer = 10.0f;
    float m_afAngles[3] = {};
    float m_fLastTimeStep = 0.0f;
    COrvaneAnim* m_pkCurrentAnimation = nullptr; // link: the template's entry holds it
    std::uint32_t m_auiWords[3] = {};
    // The template's first model entry while the model is shared.
    COrvaneModelEntryPtr m_spSharedModel;
    std::vector<void*> m_kUnused;
    std::vector<COrvaneAnimEntryPtr> m_kAnimations;
    std::list<NiAVObject*> m_kSharedParts;
    // The model: owned unless shared from the template, whose entry keeps a
    // shared one alive.
    COrvaneComposite* m_pkModel = nullptr;
    std::unique_ptr<COrvaneComposite> m_pkOwnedModel;
};
