#pragma once

#include "engine/core/NiRefPtr.h"

#include <memory>

class COrvaneCamera;
class COrvaneComposite;
class COrvaneWorld;
class COrvaneSceneNode;
class COrvaneRenderer;
class NiAVObject;
class NiCamera;
class NiFont;
class NiNode;
class NiRenderer;
class NiScreenSpaceCamera;

// The record in which framework objects meet with their engine objects for
// one operation: each side's provide operation fills its own field, only
// while that field is still empty, and says whether it did. Pointer-sized
// fields throughout: the record is never stored.
struct COrvaneSceneLink
{
    NiCamera* m_pkCamera = nullptr;
    NiScreenSpaceCamera* m_pkScreenCamera = nullptr;
    NiNode* m_pkTarget = nullptr;
    NiAVObject* m_pkNode = nullptr;
    // The caller's counted field that receives a loaded font.
    NiRefPtr<NiFont>* m_pspFontSlot = nullptr;
    void* m_pvReserved1 = nullptr;
    void* m_pvReserved2 = nullptr;
    NiRenderer* m_pkRenderer = nullptr;
};

// The camera takes the holder's renderer when it has none yet: true then;
// false when it already has one (kept) or either side has nothing to give.
bool AttachRendererToCamera(COrvaneCamera& kCamera, COrvaneRenderer& kRenderer);

// Loads the engine font file for the holder's renderer into the slot;
// false when the slot or the renderer is missing, or the file does not load
// (the slot is then emptied).
bool LoadFont(const char* pcFileName, NiRefPtr<NiFont>& spSlot, COrvaneRenderer& kRenderer);

// Detaches the record's node from its parent: false without a target or a
// node.
bool DetachLinked(COrvaneSceneLink& kLink);
// The model's root under the world's scene root (collision node when asked;
// then the model is updated at once), or, upright, under that node's
// upright child (COrvaneWorld::GetUprightNode). False when either is
// missing.
bool AttachModelToWorld(COrvaneComposite& kModel, COrvaneWorld& kWorld, bool bUseCollision, bool bUpright = false);
// The model leaves the world it remembers.
bool DetachModelFromWorld(COrvaneComposite& kModel);
// Fog from "Game_Data" "FogClipPlane" on the world's scene root, which the
// camera then views. False when the camera already views a scene.
bool ApplyWorldFog(COrvaneCamera& kCamera, COrvaneWorld& kWorld);
// The camera lets go of the world's scene root; false when it views
// something else.
bool DetachCameraFromWorld(COrvaneCamera& kCamera, COrvaneWorld& kWorld);
// Fog depth for the far and near distances and the fog distance F:
// max(0, (far - F) / (far - near)); 0 for an empty depth range.
float FogDepth(float fFar, float fNear, float fFog);

// A scene node under the world's scene root (or collision node); the node
// remembers the world. DetachSceneNodeFromWorld takes it out again.
bool AttachSceneNodeToWorld(COrvaneSceneNode& kNode, COrvaneWorld& kWorld, bool bUseCollision);
bool DetachSceneNodeFromWorld(COrvaneSceneNode& kNode, COrvaneWorld& kWorld);
// A w x d rectangle in the XZ plane centred on the origin: flat (faint
// black vertices under a white material) or textured (repeated u times
// along x and v times along z).
[[nodiscard]] std::unique_ptr<COrvaneSceneNode> CreateFlatQuad(float fWidth, float fDepth);
[[nodiscard]] std::unique_ptr<COrvaneSceneNode> CreateTexturedQuad(float fWidth, float fDepth, const char* pcTexture,
                                                                   float fURepeat, float fVRepeat);
