#include "game/simulation/objects/CGameFactories.h"

#include "framework/COrvaneObject.h"
#include "framework/COrvaneObjectDesc.h"
#include "game/simulation/characters/CSpawnManager.h"
#include "game/simulation/objects/CAdminRoom.h"
#include "game/simulation/objects/CBaseObject.h"
#include "game/simulation/objects/CCell.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CPathableObject.h"
#include "game/simulation/objects/CScalableObject.h"
#include "game/simulation/objects/CSpawnObject.h"
#include "game/simulation/objects/CWorldObject.h"

#include <cstring>
#include <map>
#include <string>

namespace
{
std::map<std::string, CGameObjectFactory::Maker>& KindMakers()
{
    static std::map<std::string, CGameObjectFactory::Maker> s_kMakers;
    return s_kMakers;
}

std::unique_ptr<COrvaneObject> MakePathable()
{
    return std::make_unique<CPathableObject>();
}

std::unique_ptr<COrvaneObject> MakeCell()
{
    return std::make_unique<CCell>();
}

std::unique_ptr<COrvaneObject> MakeAdminRoom()
{
    return std::make_unique<CAdminRoom>();
}
} // namespace

CGameObjectFactory::CGameObjectFactory(const char* pcName)
{
    SetName(pcName);
    auto kAt = KindMakers().find(pcName ? pcName : "");
    if (kAt != KindMakers().end())
        m_pfnMaker = kAt->second;
}

void CGameObjectFactory::SetKindMaker(const char* pcFactoryName, Maker pfnMaker)
{
    if (!pcFactoryName)
        return;
    KindMakers()[pcFactoryName] = pfnMaker;
    CDynamicObjectManager* pkManager = CDynamicObjectManager::GetExisting();
    for (std::size_t i = 0; pkManager && i < pkManager->GetFactoryCount(); ++i)
    {
        auto* pkFactory = dynamic_cast<CGameObjectFactory*>(pkManager->GetFactory(i));
        const char* pcName = pkFactory ? pkFactory->GetName() : nullptr;
        if (pcName && std::strcmp(pcName, pcFactoryName) == 0)
            pkFactory->SetMaker(pfnMaker);
    }
}

void CGameObjectFactory::ResetKindMakers()
{
    KindMakers().clear();
}

std::unique_ptr<COrvaneObject> CGameObjectFactory::CreateBlank() const
{
    return m_pfnMaker ? m_pfnMaker() : nullptr;
}

COrvaneObject* CGameObjectFactory::Create(COrvaneObjectDesc& kDesc)
{
    std::unique_ptr<COrvaneObject> pkObject = CreateBlank();
    if (!pkObject)
        return nullptr;
    pkObject->Load(kDesc);
    if (m_pkWorld && kDesc.m_ucAddToWorld)
        pkObject->AddToWorld(m_pkWorld, true);
    return pkObject.release();
}

CGameCharacterFactory::CGameCharacterFactory() : CGameObjectFactory("GameCharacterFactory")
{
}

CAIPrisonerFactory::CAIPrisonerFactory() : CGameObjectFactory("PrisonerFactory")
{
}

CAISecurityFactory::CAISecurityFactory() : CGameObjectFactory(CSpawnManager::GUARD_FACTORY)
{
}

CAIMedicalFactory::CAIMedicalFactory() : CGameObjectFactory(CSpawnManager::MEDICAL_FACTORY)
{
}

CAISupportStaffFactory::CAISupportStaffFactory() : CGameObjectFactory(CSpawnManager::SUPPORT_FACTORY)
{
}

CAIMaintenanceFactory::CAIMaintenanceFactory() : CGameObjectFactory(CSpawnManager::MAINTENANCE_FACTORY)
{
}

CCellFactory::CCellFactory() : CGameObjectFactory("CellFactory")
{
    SetMaker(&MakeCell);
}

CWorkObjectFactory::CWorkObjectFactory() : CGameObjectFactory("WorkObjectFactory")
{
    SetMaker(&MakePathable);
}

CFoodObjectFactory::CFoodObjectFactory() : CGameObjectFactory("FoodObjectFactory")
{
    SetMaker(&MakePathable);
}

CHospitalObjectFactory::CHospitalObjectFactory() : CGameObjectFactory("HospitalObjectFactory")
{
    SetMaker(&MakePathable);
}

CAdminRoomFactory::CAdminRoomFactory() : CGameObjectFactory("AdminRoomFactory")
{
    SetMaker(&MakeAdminRoom);
}

CScalableObjectFactory::CScalableObjectFactory() : CGameObjectFactory("ScalableObjectFactory")
{
    SetMaker([]() -> std::unique_ptr<COrvaneObject> { return std::make_unique<CScalableObject>(); });
}

CPathableObjectFactory::CPathableObjectFactory() : CGameObjectFactory("PathableObjectFactory")
{
    SetMaker(&MakePathable);
}

CWorldObjectFactory::CWorldObjectFactory() : CGameObjectFactory("WorldObjectFactory")
{
    SetMaker([]() -> std::unique_ptr<COrvaneObject> { return std::make_unique<CWorldObject>(); });
}

CBaseObjectFactory::CBaseObjectFactory() : CGameObjectFactory("BaseObjectFactory")
{
    SetMaker([]() -> std::unique_ptr<COrvaneObject> { return std::make_unique<CBaseObject>(); });
}

CSpawnObjectFactory::CSpawnObjectFactory() : CGameObjectFactory("SpawnObjectFactory")
{
    SetMaker([]() -> std::unique_ptr<COrvaneObject> { return std::make_unique<CSpawnObject>(); });
}
