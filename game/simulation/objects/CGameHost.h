#pragma once

#include <cstdint>
#include <memory>

class CBaseObject;
class COrvaneAnimationSpline;
class COrvaneImage;
class CPathableObject;
class COrvaneAIControllerManager;
class COrvaneCamera;
class COrvaneObject;
class CSpawnManager;
class CWorld;
class CWorldObject;

// An item of the build menu: its picture and the text that describes it.
struct CBuildMenuItem
{
    const void* m_pkPicture = nullptr; // link: the build panel owns it
    std::uint16_t m_usDescriptionList = 0;
    std::uint16_t m_usDescriptionEntry = 0;
};

// What the simulation reads of the game's clock: a copy of its values taken
// when asked, so the simulation needs nothing of the shell above it.
struct CClockState
{
    std::uint16_t m_usYear = 0;
    std::int16_t m_sYearOffset = 0;
    std::uint16_t m_usDay = 0;
    float m_fMinutes = 0.0f;
    float m_fPreviousMinutes = 0.0f;
    // Set for the one update that follows the change of day.
    std::uint8_t m_ucDayRolled = 0;

    [[nodiscard]] static std::uint16_t HourOf(float fMinutes);
    // True on the one update that enters the hour, also when the update
    // jumped over several minutes.
    [[nodiscard]] bool HasHourBegun(std::uint16_t usHour) const;
    // True when the hour of the minutes differs from the previous one's.
    [[nodiscard]] bool HasHourChanged() const;
};

// The game as the simulation sees it: every call the registry, the ledger,
// the objects and the characters make upwards goes through the one host the
// game installs. Tests install a recording host.
class CGameHost
{
public:
    virtual ~CGameHost();

    // The installed host, or null (no game running).
    [[nodiscard]] static CGameHost* Get();
    // Installs a host (null removes it); the caller keeps ownership.
    static void Set(CGameHost* pkHost);
    // Back to no host; for tests.
    static void ResetInstance();

    // Clock.
    [[nodiscard]] virtual CClockState GetClock() const = 0;

    // Game speed and the speed a pausing panel keeps.
    [[nodiscard]] virtual float GetGameSpeed() const = 0;
    virtual void SetGameSpeed(float fSpeed) = 0;
    [[nodiscard]] virtual float GetSavedSpeed() const = 0;
    virtual void SetSavedSpeed(float fSpeed) = 0;

    // Messages of the "InGameMessages" list, with or without a number.
    virtual void PostMessage(int iMessage) = 0;
    virtual void PostNumberedMessage(int iMessage, int iValue) = 0;
    // True while the interface shows a message.
    [[nodiscard]] virtual bool IsMessageShowing() const = 0;

    // Effect samples by number.
    virtual void PlaySample(int iSample, int iVolume = 255, bool bLoop = false) = 0;
    virtual void StopSample(int iSample) = 0;

    // The level manager's level number (0 for the first level).
    [[nodiscard]] virtual std::uint32_t GetLevelNumber() const = 0;
    // The level's world; null outside a level.
    [[nodiscard]] virtual CWorld* GetWorld() const = 0;
    // Null until a level has been entered.
    [[nodiscard]] virtual CSpawnManager* GetSpawnManager() const = 0;
    // The building the player has opened, or null.
    [[nodiscard]] virtual CWorldObject* GetSelectedBuilding() const = 0;
    virtual void SetSelectedBuilding(CWorldObject* pkBuilding) = 0;
    // The selected building as a placeable object, whose level a cell built
    // inside it must not exceed.
    [[nodiscard]] virtual const CBaseObject* GetSelectedBuildingObject() const { return nullptr; }

    // The next character number: handed out and counted up by every
    // character made.
    virtual std::uint16_t TakePersonNumber() = 0;
    [[nodiscard]] virtual std::uint16_t GetPersonCounter() const = 0;
    virtual void SetPersonCounter(std::uint16_t usCounter) = 0;

    // The version of the save being read (0 when it has none).
    [[nodiscard]] virtual std::uint16_t GetSaveVersion() const = 0;

    // The game camera, or null.
    [[nodiscard]] virtual COrvaneCamera* GetCamera() const = 0;

    // The AI controllers characters switch between by name; null before
    // the game has made them.
    [[nodiscard]] virtual COrvaneAIControllerManager* GetControllerManager() const { return nullptr; }
    // The corner of the selected building the game camera stands at (1 to
    // 4), 5 at none or without a camera.
    [[nodiscard]] virtual std::int32_t GetCameraBoundsSide() const { return 5; }
    // The game camera keeps its x and z and takes the height, within its
    // limits.
    virtual void SetCameraHeight(float fHeight) { (void)fHeight; }
    // The game camera's four movement bounds, in the camera's order.
    virtual void SetCameraBounds(float fFirst, float fSecond, float fThird, float fFourth)
    {
        (void)fFirst;
        (void)fSecond;
        (void)fThird;
        (void)fFourth;
    }
    // The build placement holds the object under the cursor.
    [[nodiscard]] virtual bool IsHeldForPlacing(const COrvaneObject& kObject) const
    {
        (void)kObject;
        return false;
    }

    // The spawn manager's steps that the objects start. The game hands them
    // on to its manager; without one nothing happens.
    // One staff member for a room that has just been placed.
    virtual void SpawnStaffForRoom(CPathableObject& kRoom) { (void)kRoom; }
    // The arrival road the world built and the vehicle driving it (the
    // registry owns the vehicle).
    virtual void SetArrivalPath(std::unique_ptr<COrvaneAnimationSpline> pkSpline, COrvaneObject* pkVehicle);
    // The picture of a ".tga" path, loaded once and kept by the spawn
    // manager's head sets; null for other paths or without a manager.
    virtual COrvaneImage* FindOrLoadImage(const char* pcPath)
    {
        (void)pcPath;
        return nullptr;
    }

    // The registry is about to delete the object: nothing may keep it.
    virtual void ObjectDestroyed(COrvaneObject* pkObject) = 0;

    // The build menu's item whose picture belongs to the object's model, in
    // the internal or the external build panel. False until the game has
    // build panels.
    virtual bool FindBuildMenuItem(const COrvaneObject& kObject, bool bInternal, CBuildMenuItem& kOut)
    {
        (void)kObject;
        (void)bInternal;
        (void)kOut;
        return false;
    }
};
