#include "engine/scene/NiSceneLibrary.h"
#include "engine/scene/NiSceneGraphLibrary.h"
#include "engine/scene/NiGeometryLibrary.h"
#include "engine/scene/NiRenderPathLibrary.h"

#include "engine/core/NiMainLibrary.h"
#include "engine/core/NiObjectStream.h"
#include "engine/scene/NiAVObject.h"
#include "engine/scene/NiBinaryExtraData.h"
#include "engine/scene/NiBooleanExtraData.h"
#include "engine/scene/NiCollisionData.h"
#include "engine/scene/NiColorExtraData.h"
#include "engine/scene/NiExtraData.h"
#include "engine/scene/NiFloatExtraData.h"
#include "engine/scene/NiFloatsExtraData.h"
#include "engine/scene/NiIntegerExtraData.h"
#include "engine/scene/NiIntegersExtraData.h"
#include "engine/scene/NiStringExtraData.h"
#include "engine/scene/NiStringsExtraData.h"
#include "engine/scene/NiSwitchStringExtraData.h"
#include "engine/scene/NiVectorExtraData.h"
#include "engine/scene/NiVertWeightsExtraData.h"

namespace
{
template <class T>
NiObject* Create()
{
    return new T;
}

struct CreateEntry
{
    const char* m_pcName;
    NiCreateFunction m_pfnCreate;
};

const CreateEntry CREATE_ENTRIES[] = {
    {"NiBinaryExtraData", Create<NiBinaryExtraData>},
    {"NiBooleanExtraData", Create<NiBooleanExtraData>},
    {"NiCollisionData", Create<NiCollisionData>},
    {"NiColorExtraData", Create<NiColorExtraData>},
    {"NiExtraData", Create<NiExtraData>},
    {"NiFloatExtraData", Create<NiFloatExtraData>},
    {"NiFloatsExtraData", Create<NiFloatsExtraData>},
    {"NiIntegerExtraData", Create<NiIntegerExtraData>},
    {"NiIntegersExtraData", Create<NiIntegersExtraData>},
    {"NiStringExtraData", Create<NiStringExtraData>},
    {"NiStringsExtraData", Create<NiStringsExtraData>},
    {"NiSwitchStringExtraData", Create<NiSwitchStringExtraData>},
    {"NiVectorExtraData", Create<NiVectorExtraData>},
    {"NiVertWeightsExtraData", Create<NiVertWeightsExtraData>},
};

void SceneInit()
{
    for (const CreateEntry& kEntry : CREATE_ENTRIES)
        NiObjectStream::RegisterCreateFunction(kEntry.m_pcName, kEntry.m_pfnCreate);
    NiObjectStream::SetOldUpdateFlagFix(&NiAVObject::OldUpdateFlagFix);
}

void SceneShutdown()
{
    for (const CreateEntry& kEntry : CREATE_ENTRIES)
        NiObjectStream::UnregisterCreateFunction(kEntry.m_pcName);
    NiObjectStream::SetOldUpdateFlagFix(nullptr);
}
} // namespace

void NiSceneLibraryRegister()
{
    NiMainLibrary::AddModuleHook(NI_INIT_CREATE_FUNCTIONS, SceneInit, NI_SHUTDOWN_CREATE_FUNCTIONS, SceneShutdown);
    NiSceneGraphRegister();
    NiGeometryRegister();
    NiRenderPathRegister();
}
