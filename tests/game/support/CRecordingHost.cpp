#include "tests/game/support/CRecordingHost.h"

#include "framework/COrvaneAnimationSpline.h"
#include "game/simulation/characters/CSpawnManager.h"

#include <sstream>

namespace
{
std::string Number(double dValue)
{
    std::ostringstream kOut;
    kOut << dValue;
    return kOut.str();
}
} // namespace

CRecordingHost::CRecordingHost()
{
    CGameHost::Set(this);
}

CRecordingHost::~CRecordingHost() = default;

void CRecordingHost::Record(const std::string& kName, const std::string& kArguments) const
{
    m_kCalls.push_back(kArguments.empty() ? kName : kName + " " + kArguments);
}

CClockState CRecordingHost::GetClock() const
{
    Record("GetClock");
    return m_kClock;
}

float CRecordingHost::GetGameSpeed() const
{
    Record("GetGameSpeed");
    return m_fGameSpeed;
}

void CRecordingHost::SetGameSpeed(float fSpeed)
{
    Record("SetGameSpeed", Number(fSpeed));
    m_fGameSpeed = fSpeed;
}

float CRecordingHost::GetSavedSpeed() const
{
    Record("GetSavedSpeed");
    return m_fSavedSpeed;
}

void CRecordingHost::SetSavedSpeed(float fSpeed)
{
    Record("SetSavedSpeed", Number(fSpeed));
    m_fSavedSpeed = fSpeed;
}

void CRecordingHost::PostMessage(int iMessage)
{
    Record("PostMessage", std::to_string(iMessage));
}

void CRecordingHost::PostNumberedMessage(int iMessage, int iValue)
{
    Record("PostNumberedMessage", std::to_string(iMessage) + "," + std::to_string(iValue));
}

bool CRecordingHost::IsMessageShowing() const
{
    Record("IsMessageShowing");
    return m_bMessageShowing;
}

void CRecordingHost::PlaySample(int iSample, int iVolume, bool bLoop)
{
    Record("PlaySample", std::to_string(iSample) + "," + std::to_string(iVolume) + "," + (bLoop ? "1" : "0"));
}

void CRecordingHost::StopSample(int iSample)
{
    Record("StopSample", std::to_string(iSample));
}

std::uint32_t CRecordingHost::GetLevelNumber() const
{
    Record("GetLevelNumber");
    return m_uiLevel;
}

CWorld* CRecordingHost::GetWorld() const
{
    Record("GetWorld");
    return m_pkWorld;
}

CSpawnManager* CRecordingHost::GetSpawnManager() const
{
    Record("GetSpawnManager");
    return m_pkSpawnManager;
}

CWorldObject* CRecordingHost::GetSelectedBuilding() const
{
    Record("GetSelectedBuilding");
    return m_pkSelectedBuilding;
}

const CBaseObject* CRecordingHost::GetSelectedBuildingObject() const
{
    Record("GetSelectedBuildingObject");
    return m_pkSelectedBuildingObject;
}

void CRecordingHost::SetSelectedBuilding(CWorldObject* pkBuilding)
{
    Record("SetSelectedBuilding", pkBuilding ? "building" : "none");
    m_pkSelectedBuilding = pkBuilding;
}

std::uint16_t CRecordingHost::TakePersonNumber()
{
    Record("TakePersonNumber", std::to_string(m_usPersonCounter));
    return m_usPersonCounter++;
}

std::uint16_t CRecordingHost::GetPersonCounter() const
{
    Record("GetPersonCounter");
    return m_usPersonCounter;
}

void CRecordingHost::SetPersonCounter(std::uint16_t usCounter)
{
    Record("SetPersonCounter", std::to_string(usCounter));
    m_usPersonCounter = usCounter;
}

std::uint16_t CRecordingHost::GetSaveVersion() const
{
    Record("GetSaveVersion");
    return m_usSaveVersion;
}

COrvaneCamera* CRecordingHost::GetCamera() const
{
    Record("GetCamera");
    return m_pkCamera;
}

void CRecordingHost::ObjectDestroyed(COrvaneObject* pkObject)
{
    Record("ObjectDestroyed");
    m_kDestroyed.push_back(pkObject);
}

std::vector<std::string> CRecordingHost::CallsNamed(const std::string& kName) const
{
    std::vector<std::string> kFound;
    for (const std::string& kCall : m_kCalls)
    {
        if (kCall == kName)
            kFound.emplace_back();
        else if (kCall.size() > kName.size() && kCall.compare(0, kName.size(), kName) == 0 &&
                 kCall[kName.size()] == ' ')
            kFound.push_back(kCall.substr(kName.size() + 1));
    }
    return kFound;
}

std::vector<std::string> CRecordingHost::Actions() const
{
    std::vector<std::string> kFound;
    for (const std::string& kCall : m_kCalls)
        if (kCall.rfind("Get", 0) != 0 && kCall.rfind("Is", 0) != 0)
            kFound.push_back(kCall);
    return kFound;
}

std::int32_t CRecordingHost::GetCameraBoundsSide() const
{
    Record("GetCameraBoundsSide");
    return m_iCameraBoundsSide;
}

void CRecordingHost::SetCameraHeight(float fHeight)
{
    Record("SetCameraHeight", Number(fHeight));
}

void CRecordingHost::SetCameraBounds(float fFirst, float fSecond, float fThird, float fFourth)
{
    Record("SetCameraBounds", Number(fFirst) + "," + Number(fSecond) + "," + Number(fThird) + "," + Number(fFourth));
}

bool CRecordingHost::IsHeldForPlacing(const COrvaneObject& kObject) const
{
    Record("IsHeldForPlacing");
    return m_pkHeldForPlacing == &kObject;
}

void CRecordingHost::SpawnStaffForRoom(CPathableObject& kRoom)
{
    Record("SpawnStaffForRoom");
    if (m_pkSpawnManager)
        (void)m_pkSpawnManager->SpawnStaffForRoom(&kRoom);
}

COrvaneImage* CRecordingHost::FindOrLoadImage(const char* pcPath)
{
    return m_pkSpawnManager ? m_pkSpawnManager->FindOrLoadImage(pcPath) : nullptr;
}

void CRecordingHost::SetArrivalPath(std::unique_ptr<COrvaneAnimationSpline> pkSpline, COrvaneObject* pkVehicle)
{
    Record("SetArrivalPath");
    if (!m_pkSpawnManager)
        return;
    auto pkPath = std::make_unique<CSpawnManager::ArrivalPath>();
    pkPath->m_pkSpline = std::move(pkSpline);
    pkPath->m_pkVehicle = pkVehicle;
    m_pkSpawnManager->SetArrivalPath(std::move(pkPath));
}
