#include "game/simulation/objects/CGameFactories.h"

#include "framework/COrvaneObject.h"
#include "framework/COrvaneObjectDesc.h"
#include "game/simulation/objects/CBaseObject.h"

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
}

CWorkObjectFactory::CWorkObjectFactory() : CGameObjectFactory("WorkObjectFactory")
{
}

CFoodObjectFactory::CFoodObjectFactory() : CGameObjectFactory("FoodObjectFactory")
{
}

CHospitalObjectFactory::CHospitalObjectFactory() : CGameObjectFactory("HospitalObjectFactory")
{
}

CAdminRoomFactory::CAdminRoomFactory() : CGameObjectFactory("AdminRoomFactory")
{
}

CScalableObjectFactory::CScalableObjectFactory() : CGameObjectFactory("ScalableObjectFactory")
{
}

CPathableObjectFactory::CPathableObjectFactory() : CGameObjectFactory("PathableObjectFactory")
{
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
