#pragma once

#include "engine/core/NiVec3.h"
#include "framework/COrvaneBase.h"

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

class COrvaneAnim;
class COrvaneComposite;
class COrvaneCompositeImpl;
class COrvaneGame;
class COrvaneObject;
class COrvaneWorld;
class NiAVObject;
class NiBoneLODController;
class NiControllerManager;
class NiControllerSequence;
class NiNode;
class NiNodeAttachment;
struct COrvaneSceneLink;

// What a model is loaded from: a ready scene object, or the models it is
// made from (cloned when the clone flag is set).
struct COrvaneModelSource
{
    std::string m_kName;
    NiAVObject* m_pkPrebuilt = nullptr;
    std::vector<COrvaneComposite*> m_kEntries;
    bool m_bClone = false;
};

// The animated model every object and character holds: a scene sub-tree
// cloned from a loaded model, tagged with its owner, with a controller
// manager whose sequences play by name, a pending position and rotation, a
// bone level of detail from the camera distance, and visits of its nodes by
// name. A composite without a loaded model still keeps a bare position, so
// objects walk before (or without) their scene model.
class COrvaneComposite : public COrvaneBase
{
public:
    COrvaneComposite();
    ~COrvaneComposite() override;
    COrvaneComposite(const COrvaneComposite&) = delete;
    COrvaneComposite& operator=(const COrvaneComposite&) = delete;

    void Destroy() override;
    virtual int Reset();

    virtual int SetUserValue(std::uint32_t uiValue);
    [[nodiscard]] virtual std::uint32_t GetUserValue() const;
    [[nodiscard]] virtual COrvaneObject* GetOwner() const;
    virtual void SetOwner(COrvaneObject* pkOwner);
    // Mode 0 sets the pending position; any other mode adds the offset to
    // the pending position, or to the current one when none is pending.
    virtual void SetPosition(const NiVec3& kPoint, int iMode);
    // Mode 0 sets the accumulated angle (degrees); other modes add to it.
    // The pending rotation: mode 0 replaces, 1 new x current, 2 current x new.
    virtual void Rotate(const NiVec3& kAxis, float fAngle, int iMode);
    virtual void Hook();
    // Applies the pending position and rotation and sets the bone level of
    // detail.
    virtual void Update(float fArgument);
    // Name from the source, then the model (see the implementation).
    virtual void Load(const COrvaneModelSource& kSource);

    void UpdateNode(float fTime);
    void MakeAttachments(const std::vector<NiNode*>& kNodes, std::vector<std::unique_ptr<NiNodeAttachment>>& kOut);
    // The pending position when one is set, else the model's world
    // translation (the bare position without a model).
    [[nodiscard]] const NiVec3* GetPosition() const;
    void SetVisible(bool bVisible);
    [[nodiscard]] bool IsVisible() const;
    // Off: the model object's controllers are switched off, so the bones
    // keep their pose and the animation clocks stand (for a model nothing
    // draws; where the model stands is not theirs to change). On again,
    // those controllers run on. On by default; safe to call every frame.
    void SetAnimated(bool bAnimated);
    // On: the model's world transforms and bounds are worked out when
    // something reads them (a draw, a pick, a save, a query), not by every
    // scene update; its animations still run each update. Kept for roots
    // loaded later.
    void SetWorldOnDemand(bool bOnDemand);
    void SelectVariant(const char* pcText, bool bKeep, int iIndex);
    void CollectNodes(const char* pcText, std::vector<NiNode*>& kOut, bool bHide);
    void CollectNodePositions(const char* pcText, std::vector<NiVec3>& kOut, bool bHide);
    // 1 when the record's node field was empty and now holds the root.
    int ProvideRoot(COrvaneSceneLink& kRecord) const;
    int ProvideRootAndNotify(COrvaneSceneLink& kRecord) const;
    [[nodiscard]] bool HasAnimations() const { return true; }
    void CreateControllerManager();
    void AddSequences(std::vector<COrvaneAnim*>& kAnimations);
    void PlaySequence(const COrvaneAnim* pkAnimation, bool bKeep);
    void StopSequence(const char* pcName);
    void ResetSequenceTime();
    [[nodiscard]] float GetSequenceLength() const;
    void RestartSequence();
    void UpdateAtSequenceEnd();

    [[nodiscard]] float GetAccumulatedAngle() const { return m_fAccumulatedAngle; }
    [[nodiscard]] COrvaneWorld* GetWorld() const { return m_pkWorld; }
    void SetWorld(COrvaneWorld* pkWorld) { m_pkWorld = pkWorld; }
    [[nodiscard]] std::list<std::unique_ptr<NiNodeAttachment>>& GetAttachments() { return m_kAttachments; }
    [[nodiscard]] COrvaneCompositeImpl* GetImpl() const { return m_pkImpl.get(); }
    [[nodiscard]] NiNode* GetRoot() const;
    [[nodiscard]] NiAVObject* GetModelObject() const;
    [[nodiscard]] NiControllerManager* GetControllerManager() const;
    [[nodiscard]] NiControllerSequence* GetActiveSequence() const;
    [[nodiscard]] NiBoneLODController* GetBoneLODController() const;
    // The value written on the model as its "Owner": a handle that leads
    // back to this composite while it lives.
    [[nodiscard]] std::uint32_t GetHandle() const { return m_uiHandle; }

    // The composite a handle names; null once it is gone (or never was).
    [[nodiscard]] static COrvaneComposite* FromHandle(std::uint32_t uiHandle);
    // The game whose camera sets the bone level of detail; null: no camera.
    static void SetGame(COrvaneGame* pkGame);
    [[nodiscard]] static COrvaneGame* GetGame();
    // Forgets every handle and the game (tests).
    static void ResetProcessState();

private:
    std::unique_ptr<COrvaneCompositeImpl> m_pkImpl;
    COrvaneObject* m_pkOwner = nullptr; // link
    float m_fAccumulatedAngle = 0.0f;
    std::uint32_t m_uiUserValue = 0;
    std::list<std::unique_ptr<NiNodeAttachment>> m_kAttachments;
    COrvaneWorld* m_pkWorld = nullptr; // link
    std::uint32_t m_uiHandle = 0;
};
