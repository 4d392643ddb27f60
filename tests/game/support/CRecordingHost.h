#pragma once

#include "game/simulation/objects/CGameHost.h"

#include <cstdint>
#include <string>
#include <vector>

// A game host for tests: installs itself while it lives, answers from the
// values a test sets and records every call as "Name" or "Name a,b" in the
// order made.
class CRecordingHost : public CGameHost
{
public:
    CRecordingHost();
    ~CRecordingHost() override;
    CRecordingHost(const CRecordingHost&) = delete;
    CRecordingHost& operator=(const CRecordingHost&) = delete;

    CClockState GetClock() const override;
    float GetGameSpeed() const override;
    void SetGameSpeed(float fSpeed) override;
    float GetSavedSpeed() const override;
    void SetSavedSpeed(float fSpeed) override;
    void PostMessage(int iMessage) override;
    void PostNumberedMessage(int iMessage, int iValue) override;
    bool IsMessageShowing() const override;
    void PlaySample(int iSample, int iVolume, bool bLoop) override;
    void StopSample(int iSample) override;
    std::uint32_t GetLevelNumber() const override;
    CWorld* GetWorld() const override;
    CSpawnManager* GetSpawnManager() const override;
    CWorldObject* GetSelectedBuilding() const override;
    void SetSelectedBuilding(CWorldObject* pkBuilding) override;
    const CBaseObject* GetSelectedBuildingObject() const override;
    std::uint16_t TakePersonNumber() override;
    std::uint16_t GetPersonCounter() const override;
    void SetPersonCounter(std::uint16_t usCounter) override;
    std::uint16_t GetSaveVersion() const override;
    COrvaneCamera* GetCamera() const override;
    COrvaneAIControllerManager* GetControllerManager() const override { return m_pkControllerManager; }
    std::int32_t GetCameraBoundsSide() const override;
    void SetCameraHeight(float fHeight) override;
    void SetCameraBounds(float fFirst, float fSecond, float fThird, float fFourth) override;
    bool IsHeldForPlacing(const COrvaneObject& kObject) const override;
    void ObjectDestroyed(COrvaneObject* pkObject) override;
    // Recorded, and handed to the spawn manager when a test set one.
    void SpawnStaffForRoom(CPathableObject& kRoom) override;
    // From the spawn manager when a test set one; not recorded.
    COrvaneImage* FindOrLoadImage(const char* pcPath) override;
    void SetArrivalPath(std::unique_ptr<COrvaneAnimationSpline> pkSpline, COrvaneObject* pkVehicle) override;

    // The recorded calls whose name is the given one, their arguments only
    // ("" for a call without).
    [[nodiscard]] std::vector<std::string> CallsNamed(const std::string& kName) const;
    // The recorded calls other than the plain reads (Get..., Is...).
    [[nodiscard]] std::vector<std::string> Actions() const;
    void ClearCalls() { m_kCalls.clear(); }

    mutable std::vector<std::string> m_kCalls;
    CClockState m_kClock;
    float m_fGameSpeed = 1.0f;
    float m_fSavedSpeed = 1.0f;
    bool m_bMessageShowing = false;
    std::uint32_t m_uiLevel = 0;
    CWorld* m_pkWorld = nullptr;
    CSpawnManager* m_pkSpawnManager = nullptr;
    CWorldObject* m_pkSelectedBuilding = nullptr;
    const CBaseObject* m_pkSelectedBuildingObject = nullptr;
    std::uint16_t m_usPersonCounter = 0;
    std::uint16_t m_usSaveVersion = 1;
    COrvaneCamera* m_pkCamera = nullptr;
    COrvaneAIControllerManager* m_pkControllerManager = nullptr;
    std::int32_t m_iCameraBoundsSide = 5;
    const COrvaneObject* m_pkHeldForPlacing = nullptr;
    std::vector<COrvaneObject*> m_kDestroyed;

private:
    void Record(const std::string& kName, const std::string& kArguments = std::string()) const;
};
