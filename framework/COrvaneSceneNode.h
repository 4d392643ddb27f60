#pragma once

#include "engine/core/NiColor.h"
#include "engine/core/NiMatrix3x3.h"
#include "engine/core/NiRefPtr.h"
#include "engine/core/NiVec2.h"
#include "engine/core/NiVec3.h"

#include <cstdint>
#include <memory>

class COrvaneWorld;
class NiNode;
class NiTriShape;
struct COrvaneSceneLink;

// The scene graph a built node keeps: "Scene Root" (turned a quarter turn
// back about x, carrying the properties) over "Root" (placed and turned)
// over the shape.
class COrvaneSceneNodeImpl
{
public:
    COrvaneSceneNodeImpl() = default;
    virtual ~COrvaneSceneNodeImpl() = default;
    COrvaneSceneNodeImpl(const COrvaneSceneNodeImpl&) = delete;
    COrvaneSceneNodeImpl& operator=(const COrvaneSceneNodeImpl&) = delete;

    virtual void Reset();

    NiRefPtr<NiNode> m_spSceneRoot;
    NiRefPtr<NiNode> m_spRoot;
    NiTriShape* m_pkShape = nullptr; // the root holds it
    bool m_bRotationPending = false;
    bool m_bPositionPending = false;
    NiVec3 m_kPendingPosition;
    NiMatrix3x3 m_kPendingRotation;
};

// A small piece of scene graph built from geometry the caller makes (a
// triangle shape, textured or flatly coloured and translucent), placed,
// turned, coloured, shown and hidden by its owner.
class COrvaneSceneNode
{
public:
    // The scene root's turn about x, radians.
    static constexpr float SCENE_ROOT_TURN = -1.5707964f;

    COrvaneSceneNode() = default;
    ~COrvaneSceneNode();
    COrvaneSceneNode(const COrvaneSceneNode&) = delete;
    COrvaneSceneNode& operator=(const COrvaneSceneNode&) = delete;

    // The shape takes the arrays (new[]); an empty texture name gives no
    // texturing property.
    void BuildTexturedShape(std::uint16_t usVertices, NiVec3* pkVertex, NiColorRGBA* pkColors, std::uint16_t usTriangles,
                            std::uint16_t* pusTriList, const char* pcTexture, NiVec2* pkTexture,
                            std::uint16_t usTextureSets, NiVec3* pkNormals);
    // Translucent: blending alpha (flags 237, reference 0) and a material
    // of the colour.
    void BuildColouredShape(std::uint16_t usVertices, NiVec3* pkVertex, NiColorRGBA* pkColors, std::uint16_t usTriangles,
                            std::uint16_t* pusTriList, const NiColorRGBA& kColour, NiVec2* pkTexture,
                            std::uint16_t usTextureSets, NiVec3* pkNormals);
    void SetVisible(bool bVisible);
    // Nothing without a material (a textured build).
    void SetMaterialColor(float fRed, float fGreen, float fBlue, float fAlpha);
    // SetMaterialColor for a marker that signals (green allowed, red refused):
    // the colour glows too, so that it reads as itself whatever light the
    // level gives (a soft ambient alone made green and red dark olive and dark
    // red). Nothing without a material.
    void SetSignalColor(float fRed, float fGreen, float fBlue, float fAlpha);
    // 1 when the record's node field was empty and now holds the scene root.
    int ProvideNode(COrvaneSceneLink& kRecord) const;
    // Relative moves add to the pending position, or to the root's.
    void SetPosition(const NiVec3& kPoint, bool bRelative);
    // Mode 0: new x the scene root's turn; 1 new x current; 2 current x new.
    void SetRotation(const NiVec3& kAxis, float fDegrees, int iMode);
    void ApplyChanges();
    void Release();

    [[nodiscard]] COrvaneSceneNodeImpl* GetImpl() const { return m_pkImpl.get(); }
    [[nodiscard]] NiNode* GetSceneRoot() const;
    [[nodiscard]] NiNode* GetRoot() const;
    [[nodiscard]] COrvaneWorld* GetWorld() const { return m_pkWorld; }
    void SetWorld(COrvaneWorld* pkWorld) { m_pkWorld = pkWorld; }

private:
    void BuildNodes(std::uint16_t usVertices, NiVec3* pkVertex, NiColorRGBA* pkColors, std::uint16_t usTriangles,
                    std::uint16_t* pusTriList, NiVec2* pkTexture, std::uint16_t usTextureSets, NiVec3* pkNormals);

    std::unique_ptr<COrvaneSceneNodeImpl> m_pkImpl;
    COrvaneWorld* m_pkWorld = nullptr; // link
};
