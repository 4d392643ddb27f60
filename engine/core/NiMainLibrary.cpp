#include "engine/core/NiMainLibrary.h"

#include "engine/core/NiBatch.h"
#include "engine/core/NiListNodePool.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiProcessorInfo.h"

#include <algorithm>
#include <cstdio>
#include <vector>

const char* const NiMainLibrary::CREATE_FUNCTION_NAMES[CREATE_FUNCTION_NAME_COUNT] = {
    "NiAlphaAccumulator", "NiAlphaProperty", "NiAmbientLight", "NiAutoNormalParticles", "NiAutoNormalParticlesData",
    "NiBillboardNode", "NiBinaryExtraData", "NiBltSource", "NiBooleanExtraData", "NiBSPNode", "NiCamera",
    "NiScreenSpaceCamera", "NiClusterAccumulator", "NiCollisionSwitch", "NiColorExtraData",
    "NiDefaultAVObjectPalette", "NiDirectionalLight", "NiDitherProperty", "NiExtraData", "NiFloatExtraData",
    "NiFloatsExtraData", "NiFogProperty", "NiIntegerExtraData", "NiIntegersExtraData", "NiLODNode", "NiLines",
    "NiLinesData", "NiMaterialProperty", "NiNode", "NiPalette", "NiParticleMeshes", "NiParticleMeshesData",
    "NiParticles", "NiParticlesData", "NiPixelData", "NiPointLight", "NiRangeLODData", "NiRendererSpecificProperty",
    "NiRotatingParticles", "NiRotatingParticlesData", "NiScreenLODData", "NiScreenGeometry", "NiScreenGeometryData",
    "NiScreenPolygon", "NiScreenTexture", "NiShadeProperty", "NiSkinData", "NiSkinInstance", "NiSkinPartition",
    "NiSortAdjustNode", "NiSourceTexture", "NiSourceCubeMap", "NiSpecularProperty", "NiSpotLight",
    "NiStencilProperty", "NiStringExtraData", "NiStringsExtraData", "NiSwitchNode", "NiSwitchStringExtraData",
    "NiTextureEffect", "NiTexturingProperty", "NiTriShape", "NiTriShapeData", "NiTriShapeDynamicData", "NiTriStrips",
    "NiTriStripsData", "NiVectorExtraData", "NiVertexColorProperty", "NiVertWeightsExtraData", "NiWireframeProperty",
    "NiZBufferProperty",
};

namespace
{
struct ModuleHook
{
    int m_iInitStep;
    NiLibraryFunction m_pfnInit;
    int m_iShutdownStep;
    NiLibraryFunction m_pfnShutdown;
};

void StreamTablesInit()
{
    NiObjectStream::StaticInit();
}

void StreamTablesShutdown()
{
    NiObjectStream::StaticShutdown();
}

void ProcessorInit()
{
    NiDetectProcessor();
    NiSelectBatchRoutines();
}

void ListPoolShutdown()
{
    NiListNodePool::FreeAll();
}

// The core's own steps; the other libraries' hooks fall between them.
std::vector<ModuleHook> BuiltInHooks()
{
    return {
        {NI_INIT_STREAM_TABLES, StreamTablesInit, NI_SHUTDOWN_STREAM_TABLES, StreamTablesShutdown},
        {NI_INIT_SQRT_TABLE, NiBuildSqrtTable, NI_SHUTDOWN_SQRT_TABLE, NiFreeSqrtTable},
        {NI_INIT_PROCESSOR, ProcessorInit, NI_SHUTDOWN_LIST_POOL, nullptr},
        {NI_INIT_CREATE_FUNCTIONS, nullptr, NI_SHUTDOWN_LIST_POOL, ListPoolShutdown},
    };
}

std::vector<ModuleHook>& Hooks()
{
    static std::vector<ModuleHook> s_kHooks = BuiltInHooks();
    return s_kHooks;
}

bool s_bStarted = false;
NiLibraryRegistrationCounter s_kRegistration;

// Stable order by one of the two step numbers.
std::vector<const ModuleHook*> Ordered(int ModuleHook::*piStep)
{
    std::vector<const ModuleHook*> kOrder;
    for (const ModuleHook& kHook : Hooks())
        kOrder.push_back(&kHook);
    std::stable_sort(kOrder.begin(), kOrder.end(),
                     [piStep](const ModuleHook* a, const ModuleHook* b) { return a->*piStep < b->*piStep; });
    return kOrder;
}
} // namespace

void NiMainLibrary::RegisterOnce()
{
    if (s_kRegistration.Count())
        NiLibraryRegistry::RegisterMainLibrary(&NiMainLibrary::Init, &NiMainLibrary::Shutdown);
}

void NiMainLibrary::Init()
{
    if (s_bStarted)
        return;
    s_bStarted = true;
    for (const ModuleHook* pkHook : Ordered(&ModuleHook::m_iInitStep))
    {
        if (pkHook->m_pfnInit)
            pkHook->m_pfnInit();
    }
    (void)CountMissingCreateFunctions(true);
}

void NiMainLibrary::Shutdown()
{
    if (!s_bStarted)
        return;
    for (const ModuleHook* pkHook : Ordered(&ModuleHook::m_iShutdownStep))
    {
        if (pkHook->m_pfnShutdown)
            pkHook->m_pfnShutdown();
    }
    s_bStarted = false;
}

bool NiMainLibrary::IsStarted()
{
    return s_bStarted;
}

bool NiMainLibrary::AddModuleHook(int iInitStep, NiLibraryFunction pfnInit, int iShutdownStep,
                                  NiLibraryFunction pfnShutdown)
{
    for (const ModuleHook& kHook : Hooks())
    {
        if (kHook.m_pfnInit == pfnInit && kHook.m_pfnShutdown == pfnShutdown &&
            kHook.m_iInitStep == iInitStep && kHook.m_iShutdownStep == iShutdownStep)
            return false;
    }
    Hooks().push_back({iInitStep, pfnInit, iShutdownStep, pfnShutdown});
    return true;
}

std::uint32_t NiMainLibrary::GetModuleHookCount()
{
    return static_cast<std::uint32_t>(Hooks().size());
}

std::uint32_t NiMainLibrary::CountMissingCreateFunctions(bool bReport)
{
    std::uint32_t uiMissing = 0;
    for (const char* pcName : CREATE_FUNCTION_NAMES)
    {
        if (NiObjectStream::GetCreateFunction(pcName) == nullptr)
        {
            ++uiMissing;
            if (bReport)
                std::fprintf(stderr, "NiMainLibrary: no create function for \"%s\"\n", pcName);
        }
    }
    return uiMissing;
}

void NiMainLibrary::Reset()
{
    if (s_bStarted)
        Shutdown();
    Hooks() = BuiltInHooks();
    s_kRegistration.Reset();
}
