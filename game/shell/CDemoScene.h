#pragma once

#include "engine/core/NiRefPtr.h"

class NiCamera;
class NiNode;
class NiRenderer;

// The demo data's first scene ("models/demo.nif"), shown until the game's
// own world takes over: loaded once, drawn each frame through the file's
// camera, its turntable turning slowly.
class CDemoScene
{
public:
    // Radians a second.
    static constexpr float TURN_RATE = 0.2f;

    CDemoScene();
    ~CDemoScene();
    CDemoScene(const CDemoScene&) = delete;
    CDemoScene& operator=(const CDemoScene&) = delete;

    // False (nothing kept) when the file is missing, unreadable or holds no
    // node with a camera.
    bool Load(const char* pcPath);
    [[nodiscard]] bool IsLoaded() const;
    [[nodiscard]] NiNode* GetRoot() const;
    [[nodiscard]] NiCamera* GetCamera() const;

    // Turns the turntable by the elapsed time.
    void Advance(float fSeconds);
    [[nodiscard]] float GetAngle() const { return m_fAngle; }

    // Inside a begun scene: the file's camera, a depth clear, the scene
    // culled and drawn; the camera given (the frame's own) is set again after.
    void DrawInFrame(NiRenderer* pkRenderer, NiCamera* pkFrameCamera);
    // A whole frame: camera data, begin, clear colour and depth, cull and
    // draw, end (no present).
    void DrawFrame(NiRenderer* pkRenderer);

private:
    void DrawScene(NiRenderer* pkRenderer);

    NiRefPtr<NiNode> m_spRoot;
    NiNode* m_pkTurntable = nullptr;
    NiCamera* m_pkCamera = nullptr;
    float m_fAngle = 0.0f;
};
