#include "game/simulation/characters/CCharacterFactories.h"

#include "game/simulation/characters/CAIPrisoner.h"
#include "game/simulation/characters/CAIStaff.h"
#include "game/simulation/objects/CGameFactories.h"

namespace
{
template <typename Kind> std::unique_ptr<COrvaneObject> Make()
{
    return std::make_unique<Kind>();
}
} // namespace

void RegisterCharacterKinds()
{
    CGameObjectFactory::SetKindMaker("GameCharacterFactory", &Make<CGameCharacter>);
    CGameObjectFactory::SetKindMaker("PrisonerFactory", &Make<CAIPrisoner>);
    CGameObjectFactory::SetKindMaker("SecurityGuardFactory", &Make<CAISecurity>);
    CGameObjectFactory::SetKindMaker("MedicalFactory", &Make<CAIMedical>);
    CGameObjectFactory::SetKindMaker("SupportStaffFactory", &Make<CAISupportStaff>);
    CGameObjectFactory::SetKindMaker("MaintenanceStaffFactory", &Make<CAIMaintenance>);
}
