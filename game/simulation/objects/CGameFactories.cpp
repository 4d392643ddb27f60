#include "game/simulation/objects/CGameFactories.h"

#include "framework/COrvaneObject.h"
#include "framework/COrvaneObjectDesc.h"
#include "game/simulation/objects/CAdminRoom.h"
#include "game/simulation/objects/CBaseObject.h"
#include "game/simulation/objects/CCell.h"
#include "game/simulation/objects/CPathableObject.h"
#include "game/simulation/objects/CScalableObject.h"

namespace
{
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

CAISecurityFactory::CAISecurityFactory() : CGameObjectFactory("SecurityGuardFactory")
{
}

CAIMedicalFactory::CAIMedicalFactory() : CGameObjectFactory("MedicalFactory")
{
}

CAISupportStaffFactory::CAISupportStaffFactory() : CGameObjectFactory("SupportStaffFactory")
{
}

CAIMaintenanceFactory::CAIMaintenanceFactory() : CGameObjectFactory("MaintenanceStaffFactory")
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
}

CBaseObjectFactory::CBaseObjectFactory() : CGameObjectFactory("BaseObjectFactory")
{
    SetMaker([]() -> std::unique_ptr<COrvaneObject> { return std::make_unique<CBaseObject>(); });
}

CSpawnObjectFactory::CSpawnObjectFactory() : CGameObjectFactory("SpawnObjectFactory")
{
}
