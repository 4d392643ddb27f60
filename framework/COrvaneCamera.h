#pragma once

#include "engine/core/NiMatrix3x3.h"
#include "engine/core/NiVec3.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>

class COrvaneCameraImpl;
struct COrvaneSceneLink;
class NiCamera;
class NiScreenSpaceCamera;

// The framework's view of the world: the engine camera and the screen
// camera for 2-D drawing, behind an implementation object, plus the control
// fields the mouse and the keys set and the camera applies each frame.
class COrvaneCamera
{
public:
    // Control modes.
    static constexpr std::uint32_t MODE_IDLE = 0;
    static constexpr std::uint32_t MODE_TURNING = 1;
    static constexpr std::uint32_t MODE_LEFT_BUTTON = 2; // ended by the left button's release
    static constexpr std::uint32_t MODE_RAISING = 4;
    static constexpr std::uint32_t MODE_MOVING = 8;
    static constexpr std::uint32_t MODE_PITCH_LOCKED = 16;

    COrvaneCamera();
    virtual ~COrvaneCamera();
    COrvaneCamera(const COrvaneCamera&) = delete;
    COrvaneCamera& operator=(const COrvaneCamera&) = delete;

    // A new engine camera set up from the settings document: far distance
    // from "Game_Data" "FarClipPlane" (read only right after
    // "NearClipPlane"), placed at (-100, 0, 0) and turned a quarter turn
    // about z. The three values are the game's and not used here.
    virtual bool LoadSettings(float fWidth, float fHeight, float fDepth);
    virtual void Release();
    // A perspective frustum of the vertical half-angle tangent and the
    // width-to-height aspect; near and far stay. False without an engine
    // camera or for a tangent or aspect not above 0.
    virtual bool SetProjection(float fTanHalfHeight, float fAspect);
    // Angles and control fields back to zero.
    virtual void Reset();

    // Says whether the camera may go to a position; it may also correct
    // the position (a game keeps its camera within bounds so).
    using MoveValidator = std::function<bool(NiVec3&)>;

    // The engine camera's local translation moved by delta / set.
    virtual void Translate(const NiVec3& kDelta);
    void SetPosition(const NiVec3& kPoint);
    // Raw: by delta; otherwise z along the flattened view direction, x
    // against the flattened right vector, y straight up or down. A refusing
    // validator leaves the camera where it was: false.
    bool Move(const NiVec3& kDelta, const MoveValidator& kValidator, bool bRaw);
    // The three turns (R = Ry(q) Rx(a) Ry(-q) with a quarter turn q; Ry(-a);
    // Rz(a)) become the rotation, or follow the current one when combine is
    // non-zero; with a pivot the pivot keeps its place. The matching angle
    // is set or grows by the angle.
    virtual void RotateA(const NiVec3* pkPivot, float fAngle, std::int32_t iCombine);
    virtual void RotateB(const NiVec3* pkPivot, float fAngle, std::int32_t iCombine);
    virtual void RotateC(const NiVec3* pkPivot, float fAngle, std::int32_t iCombine);
    // Per frame control; nothing at this level.
    virtual void Update() {}
    bool LookAt(const NiVec3& kPoint);
    void ResetAngles();
    [[nodiscard]] float GetAngleA() const { return m_fAngleA; }
    [[nodiscard]] float GetAngleB() const { return m_fAngleB; }

    // The frame: camera data and begin, cull and draw the camera's scene,
    // end, present. Each 1 (0 without an engine camera or renderer).
    std::int32_t BeginRender();
    std::int32_t RenderScene();
    std::int32_t EndRender();
    std::int32_t DisplayFrame();
    // Kinds 1, 2, 3 clear with the engine flags 1 (colour), 4 (depth),
    // 5 (colour and depth); other kinds nothing.
    std::int32_t ClearViewport(std::int32_t iIgnored, std::int32_t iKind);
    // Releases the screen camera's screen textures.
    void ClearVisibleSet();
    // The save browser's preview picture: the game's scene drawn into a
    // lockable back buffer, 128 x 96 point samples of it saved at the path
    // as a scene file holding only that pixel data, the renderer then back
    // to its own back buffer. False, and no file, when the picture cannot be
    // had or written.
    bool SavePreview(const char* pcPath);
    // The same picture into a file the caller opened for writing and keeps
    // open (the bytes are flushed into it).
    bool SavePreview(std::FILE* pkFile);
    // Size of the preview picture.
    static constexpr std::uint32_t PREVIEW_WIDTH = 128;
    static constexpr std::uint32_t PREVIEW_HEIGHT = 96;

    // Stores the engine camera into an empty slot: 1; else 0.
    std::int32_t ProvideCamera(NiCamera*& rpkSlot) const;
    // Stores the screen camera into the record's empty screen-camera field:
    // 1; else 0.
    std::int32_t ProvideScene(COrvaneSceneLink& kLink) const;
    // Once per process: the screen camera, on the engine camera's renderer
    // and fitted to it. False when already made or nothing to make it on.
    bool CreateScreenRoot();
    // The once-per-process flag back to "not made" (tests).
    static void ResetScreenRootFlag();

    // The engine camera's renderer's size in pixels; 0 without one.
    [[nodiscard]] std::uint32_t GetScreenWidth() const;
    [[nodiscard]] std::uint32_t GetScreenHeight() const;
    // The engine camera's world position (zero without one).
    const NiVec3& GetWorldPosition();
    // The engine camera's world view direction, up and right vectors.
    [[nodiscard]] const NiVec3& GetViewDirection() const;
    [[nodiscard]] const NiVec3& GetUpVector() const;
    [[nodiscard]] const NiVec3& GetRightVector() const;

    [[nodiscard]] NiCamera* GetEngineCamera() const;
    [[nodiscard]] NiScreenSpaceCamera* GetScreenCamera() const;
    [[nodiscard]] float GetAngleC() const { return m_fAngleC; }

    // Control fields, written by the mouse and the keyboard.
    NiVec3 m_kMove;
    NiVec3 m_kTurn;
    std::uint8_t m_ucHeld = 0;
    std::uint32_t m_uiMode = MODE_IDLE;

protected:
    // SavePreview to the path, or into the file when one is given.
    bool WritePreview(const char* pcPath, std::FILE* pkFile);
    // The rotation (after the current one when combining); the pivot stays.
    void Turn(NiMatrix3x3 kRotation, const NiVec3* pkPivot, std::int32_t iCombine);

    std::unique_ptr<COrvaneCameraImpl> m_pkImpl;
    float m_fAngleA = 0.0f;
    float m_fAngleB = 0.0f;
    float m_fAngleC = 0.0f;
};

// Game-style control: the scroll speed that builds up while moving, and
// the pitch limits.
class CZelmarCamera : public COrvaneCamera
{
public:
    CZelmarCamera();
    void Reset() override;
    using COrvaneCamera::LoadSettings;
    // Keeps the position check for moves; the engine camera is not made.
    bool LoadSettings(MoveValidator kValidator);
    // Turning (mode 1), raising (4), moving (8) by the control vectors;
    // the move vector is cleared unless held.
    void Update() override;
    // The game's camera raises or lowers itself; nothing here.
    virtual void MoveVertical(const NiVec3& kDelta) { (void)kDelta; }
    // RotateA only while the pitch stays within its limits, never in mode 16.
    virtual void ClampedRotateA(const NiVec3* pkPivot, float fAngle, std::int32_t iCombine);

    // Speed 0..1; set to 0 by turning, by the cursor inside the scroll
    // margin and by releasing the arrows, Shift or Control.
    float m_fSpeed = 0.0f;
    float m_fMinPitch = 0.1f;
    std::uint32_t m_uiReserved = 0;
    float m_fMaxPitch = 1.5f;
    MoveValidator m_kMoveValidator;
    std::uint8_t m_ucTurnLocked = 0;
};
