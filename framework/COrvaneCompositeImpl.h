#pragma once

#include "engine/core/NiMatrix3x3.h"
#include "engine/core/NiRefPtr.h"
#include "engine/core/NiVec3.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class COrvaneAnim;
class NiAVObject;
class NiBoneLODController;
class NiControllerManager;
class NiControllerSequence;
class NiNode;
class NiNodeAttachment;
class NiTimeController;
struct COrvaneModelSource;
struct COrvaneSceneLink;

// The work behind an animated model: cloned roots, the model object the
// position and rotation apply to, the controller manager and the bone level
// of detail.
class COrvaneCompositeImpl
{
public:
    // Depths in front of the camera that end bone levels 1 and 2.
    static constexpr float NEAR_DEPTH = 50.0f;
    static constexpr float MIDDLE_DEPTH = 150.0f;
    static constexpr float UNSET_TIME = -3.4028235e38f;

    COrvaneCompositeImpl();
    virtual ~COrvaneCompositeImpl();
    COrvaneCompositeImpl(const COrvaneCompositeImpl&) = delete;
    COrvaneCompositeImpl& operator=(const COrvaneCompositeImpl&) = delete;

    virtual void Destroy();
    virtual void SetPosition(const NiVec3& kPoint, bool bRelative);
    virtual void SetRotation(const NiVec3& kAxis, float fDegrees, int iMode);
    virtual void Hook() {}
    virtual void ApplyChanges(float fArgument);
    virtual void Load(const COrvaneModelSource& kSource, std::uint32_t uiOwnerValue);
    virtual void Release() {}
    virtual void Reset();

    [[nodiscard]] const NiVec3* GetPosition();
    void SetVisible(bool bVisible);
    [[nodiscard]] bool IsVisible() const;
    void SetAnimated(bool bAnimated);
    void SetWorldOnDemand(bool bOnDemand);
    int ProvideRoot(COrvaneSceneLink& kRecord) const;
    void UpdateNode(float fTime);
    void CreateControllerManager();
    void AddSequences(std::vector<COrvaneAnim*>& kAnimations);
    void PlaySequence(const COrvaneAnim* pkAnimation, bool bKeep);
    void StopSequence(const char* pcName);
    void RestartSequence();
    void ResetSequenceTime();
    [[nodiscard]] float GetSequenceLength() const;
    void UpdateAtSequenceEnd();
    void CollectNodes(const char* pcText, std::vector<NiNode*>& kOut, bool bHide);
    void CollectNodePositions(const char* pcText, std::vector<NiVec3>& kOut, bool bHide);
    void SelectVariant(const char* pcText, bool bKeep, int iIndex);
    static void MakeAttachments(const std::vector<NiNode*>& kNodes,
                                std::vector<std::unique_ptr<NiNodeAttachment>>& kOut);

    [[nodiscard]] NiNode* GetRoot() const;
    [[nodiscard]] NiAVObject* GetModelObject() const { return m_pkModelObject; }
    // The position the model object is placed at in its root's frame: the
    // pending one, else its local translation. False without a model object.
    [[nodiscard]] bool GetLocalPosition(NiVec3& kOut) const;
    [[nodiscard]] NiControllerManager* GetControllerManager() const;
    [[nodiscard]] NiControllerSequence* GetActiveSequence() const { return m_pkActive; }
    [[nodiscard]] NiBoneLODController* GetBoneLODController() const { return m_pkBoneLOD; }
    [[nodiscard]] std::uint32_t GetOwnerValue() const { return m_uiOwnerValue; }

    // The level for a depth in front of the camera: 1 nearer than 50, 2
    // nearer than 150, else 3.
    [[nodiscard]] static std::int32_t LevelForDepth(float fDepth);
    // Walks every node child below pkNode depth first; the visitor returns
    // whether to descend. The start node itself is not offered.
    static void VisitNodes(NiNode* pkNode, const std::function<bool(NiNode&)>& kVisitor);

private:
    // The model object's controller list taken off it and kept, and given
    // back.
    void StillControllers();
    void WakeControllers();
    // The bone LOD controller of a freshly cloned model, or null.
    static NiBoneLODController* FindBoneLOD(NiNode* pkRoot);

    std::uint32_t m_uiOwnerValue = 0;
    std::vector<NiRefPtr<NiNode>> m_kRoots;
    NiAVObject* m_pkModelObject = nullptr; // the root's child, held by it
    NiVec3 m_kCachedPosition;
    NiRefPtr<NiControllerManager> m_spManager;
    NiControllerSequence* m_pkActive = nullptr;  // the manager holds it
    NiBoneLODController* m_pkBoneLOD = nullptr; // the model holds it
    bool m_bPositionPending = false;
    bool m_bRotationPending = false;
    NiVec3 m_kPendingPosition;
    NiMatrix3x3 m_kPendingRotation;
    // Without a model: the position objects walk with.
    NiVec3 m_kBarePosition;
    // Not animated: the model object's controller list, taken off it to be
    // given back when animated again (and before the model object changes).
    bool m_bStill = false;
    NiRefPtr<NiTimeController> m_spStilled;
    bool m_bWorldOnDemand = false;
};
