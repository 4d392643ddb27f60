#include "engine/scene/NiRenderPathLibrary.h"

#include "engine/core/NiMainLibrary.h"
#include "engine/core/NiObjectStream.h"
#include "engine/scene/NiAlphaAccumulator.h"
#include "engine/scene/NiCamera.h"
#include "engine/scene/NiLines.h"
#include "engine/scene/NiScreenPolygon.h"
#include "engine/scene/NiScreenSpaceCamera.h"

namespace
{
struct CreateEntry
{
    const char* m_pcName;
    NiCreateFunction m_pfnCreate;
};

// Old files name a cluster accumulator; the alpha one does its work.
const CreateEntry CREATE_ENTRIES[NI_RENDER_PATH_CLASS_COUNT] = {
    {"NiAlphaAccumulator", &NiAlphaAccumulator::CreateObject},
    {"NiCamera", &NiCamera::CreateObject},
    {"NiClusterAccumulator", &NiAlphaAccumulator::CreateObject},
    {"NiLines", &NiLines::CreateObject},
    {"NiScreenPolygon", &NiScreenPolygon::CreateObject},
    {"NiScreenSpaceCamera", &NiScreenSpaceCamera::CreateObject},
};

void RenderPathInit()
{
    for (const CreateEntry& kEntry : CREATE_ENTRIES)
        NiObjectStream::RegisterCreateFunction(kEntry.m_pcName, kEntry.m_pfnCreate);
}

void RenderPathShutdown()
{
    for (const CreateEntry& kEntry : CREATE_ENTRIES)
        NiObjectStream::UnregisterCreateFunction(kEntry.m_pcName);
}
} // namespace

const char* const NI_RENDER_PATH_CLASS_NAMES[NI_RENDER_PATH_CLASS_COUNT] = {
    CREATE_ENTRIES[0].m_pcName,
    CREATE_ENTRIES[1].m_pcName,
    CREATE_ENTRIES[2].m_pcName,
    CREATE_ENTRIES[3].m_pcName, CREATE_ENTRIES[4].m_pcName, CREATE_ENTRIES[5].m_pcName,
};

void NiRenderPathRegister()
{
    NiMainLibrary::AddModuleHook(NI_INIT_CREATE_FUNCTIONS, RenderPathInit, NI_SHUTDOWN_CREATE_FUNCTIONS,
                                 RenderPathShutdown);
}
