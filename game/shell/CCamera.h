#pragma once

#include "engine/core/NiVec3.h"
#include "framework/COrvaneCamera.h"

#include <array>
#include <cstdint>

class COrvaneObject;
class COrvaneWorld;

// The player's view of the prison: the framework's game camera kept within
// a circle around the prison, at a sensible height over the ground, able to
// follow a character and to return to one remembered view.
class CCamera : public CZelmarCamera
{
public:
    // Heights over the ground floor the camera keeps.
    static constexpr float MIN_HEIGHT = 15.0f;
    static constexpr float MAX_HEIGHT = 150.0f;
    // Over an open building's floor count.
    static constexpr float BUILDING_HEIGHT = 25.0f;
    static constexpr float BUILDING_CLAMP_HEIGHT = 50.0f;
    // GetBoundsSide without a corner.
    static constexpr std::int32_t NO_SIDE = 5;

    CCamera();
    ~CCamera() override;

    // The camera that moved last (process-wide); null before any move.
    [[nodiscard]] static CCamera* GetCurrent();
    static void ResetCurrent();

    // Becomes the current camera, then moves by the delta, or to the
    // position when absolute, kept within the circle.
    bool Move(const NiVec3& kVector, bool bAbsolute);
    // Follows the target by its movement since the last frame (within the
    // circle), then the framework's control.
    void Update() override;
    // The raising keys: up or down within the height limits.
    void MoveVertical(const NiVec3& kDelta) override;

    // Null stops following.
    void SetFollowTarget(COrvaneObject* pkTarget);
    virtual void StopFollowing();
    [[nodiscard]] COrvaneObject* GetFollowTarget() const { return m_pkFollowTarget; }
    // The registry is about to delete the object: a followed one is let go.
    void ObjectDestroyed(const COrvaneObject* pkObject);

    // One remembered view: position, the three angles and the rotation
    // they were turned to. Restoring puts back the rotation itself: the
    // player's turns alternate between tilt and heading, each following the
    // last, and turning again by the summed angles in any one order gives
    // another view (tilted the other way at some headings, up into the sky).
    void SaveView();
    void RestoreView();

    void SetBounds(float fFirst, float fSecond, float fThird, float fFourth);
    [[nodiscard]] const std::array<float, 4>& GetBounds() const { return m_afBounds; }

    // Moves to the position, then keeps the height: above the upper limit
    // it is the upper limit, below the lower one the lower one; otherwise a
    // camera looking up is turned level. Not in mode 16.
    virtual void SetPositionClamped(const NiVec3& kPosition);
    // Within the circle, then within the height limits.
    bool ClampHeight(NiVec3& kPosition) const;
    // Pulls the horizontal position back onto the circle around the prison
    // (the level scene's bound); the height is left. Always true.
    bool ConstrainPosition(NiVec3& kPosition) const;
    // The corner of the opened building the camera stands at; NO_SIDE.
    [[nodiscard]] std::int32_t GetBoundsSide() const;

    // The world whose scene bounds the camera; without one the game's.
    void SetWorld(COrvaneWorld* pkWorld) { m_pkWorld = pkWorld; }
    // The ground floor's height (the first block grid's); 0 until set.
    void SetGroundHeight(float fHeight) { m_fGroundHeight = fHeight; }
    [[nodiscard]] float GetGroundHeight() const { return m_fGroundHeight; }
    // With a building open: its first floor + 15 up to its number of
    // floors + 25 (+ 50 for ClampHeight); else the ground floor + 15 up to
    // the ground floor + 150.
    [[nodiscard]] float GetLowerLimit() const;
    [[nodiscard]] float GetUpperLimit() const;
    [[nodiscard]] float GetClampUpperLimit() const;

    // At a corner of the open building (1 to 4) turned to it and tilted
    // down to it, or above its middle looking straight down (any other
    // side); -1 the next corner after the one the camera stands at (from
    // none: corner 1; after 4: above).
    void ViewBuilding(std::int32_t iSide);
    static constexpr float TILT = 1.25f;
    static constexpr float STRAIGHT_DOWN = 1.5707964f;

    // The opened building's corners: 1 (x, z) where its footprint has its
    // least x and greatest z, 2 (x, z - D), 3 (x + W, z - D), 4 (x + W, z),
    // with W and D its extents; false without one.
    [[nodiscard]] static bool GetBuildingCorner(std::int32_t iSide, NiVec3& kOut);
    // The opened building's extents along x (its rows times the cell size)
    // and along -z (its columns times the cell size); false without one.
    [[nodiscard]] static bool GetBuildingExtents(float& fWidth, float& fDepth);

    // The engine camera's local position (zero without one).
    [[nodiscard]] NiVec3 GetPosition() const;

private:
    [[nodiscard]] COrvaneWorld* BoundingWorld() const;

    std::array<float, 4> m_afBounds{};
    NiVec3 m_kSavedPosition;
    std::array<float, 3> m_afSavedAngles{};
    NiMatrix3x3 m_kSavedRotation = NiMatrix3x3::IDENTITY;
    COrvaneObject* m_pkFollowTarget = nullptr; // link: the registry owns it
    NiVec3 m_kFollowLast;
    COrvaneWorld* m_pkWorld = nullptr; // link
    float m_fGroundHeight = 0.0f;
};
