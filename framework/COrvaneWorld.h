#pragma once

#include "engine/core/NiVec3.h"
#include "framework/COrvaneAssetPool.h"
#include "framework/COrvaneBase.h"

#include <cstdint>
#include <list>
#include <memory>
#include <vector>

class COrvaneAnimationSpline;
class COrvaneBlockGridStack;
class COrvaneCamera;
class COrvaneComposite;
class COrvaneObject;
class COrvaneObjectTemplate;
class COrvaneWorldImpl;
class NiAVObject;
class NiNode;
class NiNodeAttachment;
struct COrvaneSceneLink;

// Two lists the game layer fills with what listens to scene events.
class COrvaneSceneEvents
{
public:
    virtual ~COrvaneSceneEvents() = default;
    std::list<void*> m_kFirst;  // links
    std::list<void*> m_kSecond; // links
};

// The framework's world: a level's scene with its sky box, collision
// geometry, splines and object placeholders turned into objects, the
// objects and their shared animated parts, updated every frame.
class COrvaneWorld : public COrvaneBase
{
public:
    // The quarter turn about x that stands a level's Z-up scene upright.
    static constexpr float LEVEL_TURN = 1.5707964f;
    // The sky box follows the camera, a little below its height.
    static constexpr float SKY_HEIGHT_FACTOR = 0.99925f;

    COrvaneWorld();
    ~COrvaneWorld() override;
    COrvaneWorld(const COrvaneWorld&) = delete;
    COrvaneWorld& operator=(const COrvaneWorld&) = delete;

    void Destroy() override;
    // The reference point and the word back to zero.
    virtual void Reset();
    // The game's world builds the object a placeholder names; 0: declined.
    virtual int BuildObjectFromNode(const char* pcText, int iPass, NiVec3* pkPosition);
    virtual int SecondHook() { return 0; }
    virtual void DrawScene(COrvaneCamera& kCamera) { (void)kCamera; }
    // Draws the sky box around the camera.
    virtual void Render(COrvaneCamera& kCamera);
    virtual const NiVec3* GetReferencePoint() { return &m_kReferencePoint; }
    virtual void UpdateScene(float fTime);
    virtual void UpdateObjects(float fDt);
    virtual void RenderFrame(COrvaneCamera& kCamera);
    // New pools; the first call loads the scene (a later one keeps it); fog
    // with a camera. False when a named file gave no scene root.
    virtual bool LoadLevel(const char* pcFileName, COrvaneCamera* pkCamera);

    // 1 and a holder of the node appended when a node of the name exists.
    int FindNode(const char* pcName, std::vector<std::unique_ptr<NiNodeAttachment>>& kOut) const;
    NiAVObject* FindObjectByName(const char* pcName);
    // The selected switch node shows child index (-1 hides all).
    NiNode* SelectFloor(int iIndex);
    // The collision node or the scene root into the record's empty target.
    bool ProvideRoot(COrvaneSceneLink& kLink, bool bUseCollision) const;
    // A child of the collision node (or of the scene root) that undoes the
    // frame the level's scene is turned into: what hangs there is placed in
    // the world's own axes, so its placement is its world position. Made on
    // first use; null while that parent is missing.
    [[nodiscard]] NiNode* GetUprightNode(bool bUseCollision);
    int CreateObjectsFromScene(const char* pcModelFile, const NiVec3& kPosition);
    void FrameHook() {}

    [[nodiscard]] NiNode* GetSceneRoot() const;
    [[nodiscard]] NiNode* GetCollisionNode() const;
    [[nodiscard]] NiNode* GetSkyBox() const;
    [[nodiscard]] COrvaneModelPool* GetModelPool() const { return m_pkModels.get(); }
    [[nodiscard]] COrvaneAnimPool* GetAnimationPool() const { return m_pkAnimations.get(); }
    [[nodiscard]] const std::vector<std::unique_ptr<COrvaneAnimationSpline>>& GetSplines() const { return m_kSplines; }
    [[nodiscard]] const std::vector<std::unique_ptr<COrvaneObject>>& GetObjects() const { return m_kObjects; }
    [[nodiscard]] const std::list<NiAVObject*>& GetSharedParts() const { return m_kSharedParts; }
    [[nodiscard]] COrvaneSceneEvents* GetSceneEvents() const { return m_pkSceneEvents.get(); }
    void SetSceneryModel(std::unique_ptr<COrvaneComposite> pkModel);
    void SetFloorStack(std::unique_ptr<COrvaneBlockGridStack> pkStack);
    [[nodiscard]] COrvaneBlockGridStack* GetFloorStack() const { return m_pkFloorStack.get(); }

    // Used by the level scene load.
    void AddSpline(std::unique_ptr<COrvaneAnimationSpline> pkSpline);

    // The object's first shared part joins the world's per-frame updates,
    // unless a part of the same name (less its two-character suffix) is
    // there already: parts shared by several objects are updated once.
    void AttachSharedParts(COrvaneObject& kObject);

private:

    std::unique_ptr<COrvaneWorldImpl> m_pkImpl;
    std::unique_ptr<COrvaneSceneEvents> m_pkSceneEvents;
    std::unique_ptr<COrvaneModelPool> m_pkModels;
    std::unique_ptr<COrvaneAnimPool> m_pkAnimations;
    std::list<NiAVObject*> m_kSharedParts; // links: their models hold them
    std::vector<std::unique_ptr<COrvaneAnimationSpline>> m_kSplines;
    NiVec3 m_kReferencePoint;
    std::unique_ptr<COrvaneComposite> m_pkSceneryModel;
    std::uint32_t m_uiWord = 0;
    std::vector<std::unique_ptr<COrvaneObjectTemplate>> m_kTemplates;
    std::vector<std::unique_ptr<COrvaneObject>> m_kObjects;
    std::unique_ptr<COrvaneBlockGridStack> m_pkFloorStack;
};
