#pragma once

#include "engine/core/NiVec3.h"

#include <cstdint>
#include <memory>

class CBaseObject;
class COrvaneObject;
class COrvaneObjectFactory;
class COrvaneObjectTemplate;
class COrvaneSceneNode;

// The tool that holds what the player is building: the object made from a
// build-menu item hangs under the cursor, snapped to the cells of the floor
// under it, green where it may stand and red where not, turns a quarter at a
// time and is committed with a click. It also moves the small yellow marker
// with which the player picks something to demolish.
class CBuildPlacement
{
public:
    // The marker quad's colours (red, green, blue, alpha).
    struct Tint
    {
        float m_fRed, m_fGreen, m_fBlue, m_fAlpha;
    };
    static constexpr Tint NEW_TINT{0.0f, 0.0f, 1.0f, 0.25f};
    static constexpr Tint VALID_TINT{0.0f, 1.0f, 0.0f, 0.45f};
    static constexpr Tint INVALID_TINT{1.0f, 0.0f, 0.0f, 0.45f};
    static constexpr Tint DEMOLISH_TINT{1.0f, 1.0f, 0.0f, 0.5f};
    // Colours a marker quad (a flat quad with a material).
    static void ApplyTint(COrvaneSceneNode& kMarker, const Tint& kTint);

    static constexpr std::int32_t MODE_PLACING = 0;
    static constexpr std::int32_t MODE_MARKER = 1;
    static constexpr int COMMIT_SAMPLE = 24;
    // Out of sight: the lowest finite height.
    static constexpr float OUT_OF_SIGHT = -3.4028235e38f;

    // The tool, made on first use.
    [[nodiscard]] static CBuildPlacement* GetInstance();
    // The tool when one was made, else null.
    [[nodiscard]] static CBuildPlacement* GetExisting();
    // Clears and deletes the tool.
    static void Destroy();

    CBuildPlacement();
    ~CBuildPlacement();
    CBuildPlacement(const CBuildPlacement&) = delete;
    CBuildPlacement& operator=(const CBuildPlacement&) = delete;

    // The held object is destroyed, the marker deleted, mode placing. The
    // flag is not used. True.
    bool Clear(bool bFlag = false);
    bool ClearAll() { return Clear(true); }
    // Picks up a new object of the template (group, index) made by the
    // factory, turned to the last angle used. True, also when the template
    // is missing or has no model (the tool stays idle).
    bool BeginPlacing(std::uint16_t usGroup, std::uint16_t usIndex, COrvaneObjectFactory* pkFactory);
    // The demolition marker instead of an object.
    void BeginMarker();
    // An object is held and may be built (money and level).
    [[nodiscard]] bool CanPlace() const;
    [[nodiscard]] bool IsPlacing() const { return m_iMode == MODE_PLACING && m_pkObject; }
    // A quarter turn of the held object; the angle is kept for the next.
    bool Rotate();
    // 1 when the held object was put down where the cursor is, else 0.
    int Commit();
    // Once a frame in play.
    void Update();
    // The registry is about to delete the object: a held one is forgotten.
    void ObjectDestroyed(const COrvaneObject* pkObject);

    // True when the held object may stand at the cell under the cursor.
    bool FollowCursor();
    void FollowCursorWithMarker();

    [[nodiscard]] CBaseObject* GetObject() const { return m_pkObject; }
    [[nodiscard]] COrvaneObjectTemplate* GetTemplate() const { return m_pkTemplate; }
    [[nodiscard]] COrvaneObjectFactory* GetFactory() const { return m_pkFactory; }
    [[nodiscard]] COrvaneSceneNode* GetMarker() const { return m_pkMarker.get(); }
    [[nodiscard]] float GetAngle() const { return m_fAngle; }
    [[nodiscard]] std::int32_t GetMode() const { return m_iMode; }

    // Where the cursor is thought to be over a panel: the game's mouse, or
    // a test's answer when one is set.
    static void SetPanelTest(bool (*pfnOverPanel)());

private:
    void CreateFootprintMarker();
    void RemoveMarker();
    // The snapped point for the pick point: the middle of the cells the
    // held object takes there (on the cell, or between cells for an even
    // count).
    [[nodiscard]] NiVec3 Snap(const NiVec3& kPick, float fLift) const;
    void Hide();

    COrvaneObjectTemplate* m_pkTemplate = nullptr; // link: the registry's
    COrvaneObjectFactory* m_pkFactory = nullptr;   // link: the registry's
    CBaseObject* m_pkObject = nullptr;             // link: the registry owns it
    std::unique_ptr<COrvaneSceneNode> m_pkMarker;
    float m_fAngle = 0.0f;
    std::int32_t m_iMode = MODE_PLACING;
};
