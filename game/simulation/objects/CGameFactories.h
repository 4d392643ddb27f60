#pragma once

#include "framework/COrvaneObjectFactory.h"

#include <memory>

// The pattern of every game factory: make the kind of object, load it from
// the descriptor's template and add it to the factory's world when asked.
// The kinds live in the libraries above the registry (characters, AI), so
// each factory is handed the maker of its kind by the library that holds
// it; until then it makes nothing (null, as for a name no factory has).
class CGameObjectFactory : public COrvaneObjectFactory
{
public:
    using Maker = std::unique_ptr<COrvaneObject> (*)();

    explicit CGameObjectFactory(const char* pcName);

    // Game factories hold nothing to reset.
    void Reset() override {}
    [[nodiscard]] COrvaneObject* Create(COrvaneObjectDesc& kDesc) override;
    [[nodiscard]] std::unique_ptr<COrvaneObject> CreateBlank() const override;

    void SetMaker(Maker pfnMaker) { m_pfnMaker = pfnMaker; }

    // The maker a library above the registry hands for the factory of that
    // exact name: factories made later start with it, and the registry's
    // factory, when the registry exists, takes it now.
    static void SetKindMaker(const char* pcFactoryName, Maker pfnMaker);
    // Forgets every handed maker; for tests.
    static void ResetKindMakers();
    [[nodiscard]] Maker GetMaker() const { return m_pfnMaker; }

private:
    Maker m_pfnMaker = nullptr;
};

// The sixteen game factories in the order they are registered.

// Makes CGameCharacter.
class CGameCharacterFactory : public CGameObjectFactory
{
public:
    CGameCharacterFactory();
};

// Makes CAIPrisoner.
class CAIPrisonerFactory : public CGameObjectFactory
{
public:
    CAIPrisonerFactory();
};

// Makes CAISecurity.
class CAISecurityFactory : public CGameObjectFactory
{
public:
    CAISecurityFactory();
};

// Makes CAIMedical.
class CAIMedicalFactory : public CGameObjectFactory
{
public:
    CAIMedicalFactory();
};

// Makes CAISupportStaff.
class CAISupportStaffFactory : public CGameObjectFactory
{
public:
    CAISupportStaffFactory();
};

// Makes CAIMaintenance.
class CAIMaintenanceFactory : public CGameObjectFactory
{
public:
    CAIMaintenanceFactory();
};

// Makes CCell.
class CCellFactory : public CGameObjectFactory
{
public:
    CCellFactory();
};

// Makes CPathableObject (told apart by the factory's name).
class CWorkObjectFactory : public CGameObjectFactory
{
public:
    CWorkObjectFactory();
};

// Makes CPathableObject (told apart by the factory's name).
class CFoodObjectFactory : public CGameObjectFactory
{
public:
    CFoodObjectFactory();
};

// Makes CPathableObject (told apart by the factory's name).
class CHospitalObjectFactory : public CGameObjectFactory
{
public:
    CHospitalObjectFactory();
};

// Makes CAdminRoom.
class CAdminRoomFactory : public CGameObjectFactory
{
public:
    CAdminRoomFactory();
};

// Makes CScalableObject.
class CScalableObjectFactory : public CGameObjectFactory
{
public:
    CScalableObjectFactory();
};

// Makes CPathableObject.
class CPathableObjectFactory : public CGameObjectFactory
{
public:
    CPathableObjectFactory();
};

// Makes CWorldObject.
class CWorldObjectFactory : public CGameObjectFactory
{
public:
    CWorldObjectFactory();
};

// Makes CBaseObject.
class CBaseObjectFactory : public CGameObjectFactory
{
public:
    CBaseObjectFactory();
};

// Makes CSpawnObject.
class CSpawnObjectFactory : public CGameObjectFactory
{
public:
    CSpawnObjectFactory();
};
