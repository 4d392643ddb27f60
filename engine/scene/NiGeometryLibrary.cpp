#include "engine/scene/NiGeometryLibrary.h"

#include "engine/animation/NiTimeController.h"
#include "engine/core/NiMainLibrary.h"
#include "engine/core/NiObjectStream.h"
#include "engine/scene/NiLinesData.h"
#include "engine/scene/NiParticles.h"
#include "engine/scene/NiScreenGeometry.h"
#include "engine/scene/NiSkinInstance.h"
#include "engine/scene/NiTriStrips.h"

namespace
{
struct CreateEntry
{
    const char* m_pcName;
    NiCreateFunction m_pfnCreate;
};

// Old particle classes load as the plain ones; rotating data keeps a flag
// that decides how its record reads.
const CreateEntry CREATE_ENTRIES[NI_GEOMETRY_CLASS_COUNT] = {
    {"NiAutoNormalParticles", &NiParticles::CreateObject},
    {"NiAutoNormalParticlesData", &NiParticlesData::CreateObject},
    {"NiLinesData", &NiLinesData::CreateObject},
    {"NiParticleMeshes", &NiParticleMeshes::CreateObject},
    {"NiParticleMeshesData", &NiParticleMeshesData::CreateObject},
    {"NiParticles", &NiParticles::CreateObject},
    {"NiParticlesData", &NiParticlesData::CreateObject},
    {"NiRotatingParticles", &NiParticles::CreateObject},
    {"NiRotatingParticlesData", &NiParticlesData::CreateRotatingObject},
    {"NiScreenGeometry", &NiScreenGeometry::CreateObject},
    {"NiScreenGeometryData", &NiScreenGeometryData::CreateObject},
    {"NiSkinData", &NiSkinData::CreateObject},
    {"NiSkinInstance", &NiSkinInstance::CreateObject},
    {"NiSkinPartition", &NiSkinPartition::CreateObject},
    {"NiTriShape", &NiTriShape::CreateObject},
    {"NiTriShapeData", &NiTriShapeData::CreateObject},
    {"NiTriShapeDynamicData", &NiTriShapeDynamicData::CreateObject},
    {"NiTriStrips", &NiTriStrips::CreateObject},
    {"NiTriStripsData", &NiTriStripsData::CreateObject},
};

void GeometryInit()
{
    for (const CreateEntry& kEntry : CREATE_ENTRIES)
        NiObjectStream::RegisterCreateFunction(kEntry.m_pcName, kEntry.m_pfnCreate);
    NiTimeController::SetMarkDataVolatileFunction(&NiGeometry::MarkDataVolatile);
}

void GeometryShutdown()
{
    for (const CreateEntry& kEntry : CREATE_ENTRIES)
        NiObjectStream::UnregisterCreateFunction(kEntry.m_pcName);
    NiTimeController::SetMarkDataVolatileFunction(nullptr);
    NiTriStripsData::ResetStripCursor();
}
} // namespace

const char* const NI_GEOMETRY_CLASS_NAMES[NI_GEOMETRY_CLASS_COUNT] = {
    CREATE_ENTRIES[0].m_pcName,  CREATE_ENTRIES[1].m_pcName,  CREATE_ENTRIES[2].m_pcName,  CREATE_ENTRIES[3].m_pcName,
    CREATE_ENTRIES[4].m_pcName,  CREATE_ENTRIES[5].m_pcName,  CREATE_ENTRIES[6].m_pcName,  CREATE_ENTRIES[7].m_pcName,
    CREATE_ENTRIES[8].m_pcName,  CREATE_ENTRIES[9].m_pcName,  CREATE_ENTRIES[10].m_pcName, CREATE_ENTRIES[11].m_pcName,
    CREATE_ENTRIES[12].m_pcName, CREATE_ENTRIES[13].m_pcName, CREATE_ENTRIES[14].m_pcName, CREATE_ENTRIES[15].m_pcName,
    CREATE_ENTRIES[16].m_pcName, CREATE_ENTRIES[17].m_pcName, CREATE_ENTRIES[18].m_pcName,
};

void NiGeometryRegister()
{
    NiMainLibrary::AddModuleHook(NI_INIT_CREATE_FUNCTIONS, GeometryInit, NI_SHUTDOWN_CREATE_FUNCTIONS, GeometryShutdown);
    NiMainLibrary::AddModuleHook(NI_INIT_SCREEN_GEOMETRY, NiScreenElementPool::Init, NI_SHUTDOWN_SCREEN_GEOMETRY,
                                 NiScreenElementPool::Shutdown);
}
