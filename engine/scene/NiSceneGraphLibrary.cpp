#include "engine/scene/NiSceneGraphLibrary.h"

#include "engine/core/NiMainLibrary.h"
#include "engine/core/NiObjectStream.h"
#include "engine/scene/NiAlphaProperty.h"
#include "engine/scene/NiBSPNode.h"
#include "engine/scene/NiBillboardNode.h"
#include "engine/scene/NiDefaultAVObjectPalette.h"
#include "engine/scene/NiFlagProperty.h"
#include "engine/scene/NiFogProperty.h"
#include "engine/scene/NiLODData.h"
#include "engine/scene/NiLODNode.h"
#include "engine/scene/NiLight.h"
#include "engine/scene/NiMaterialProperty.h"
#include "engine/scene/NiPropertySet.h"
#include "engine/scene/NiRendererSpecificProperty.h"
#include "engine/scene/NiSortAdjustNode.h"
#include "engine/scene/NiStencilProperty.h"
#include "engine/scene/NiTextureEffect.h"
#include "engine/scene/NiTexturingProperty.h"
#include "engine/scene/NiVertexColorProperty.h"
#include "engine/scene/NiZBufferProperty.h"

namespace
{
struct CreateEntry
{
    const char* m_pcName;
    NiCreateFunction m_pfnCreate;
};

// Old files name a collision switch; nothing of it is kept but the node.
const CreateEntry CREATE_ENTRIES[NI_SCENE_GRAPH_CLASS_COUNT] = {
    {"NiAlphaProperty", &NiAlphaProperty::CreateObject},
    {"NiAmbientLight", &NiAmbientLight::CreateObject},
    {"NiBillboardNode", &NiBillboardNode::CreateObject},
    {"NiBSPNode", &NiBSPNode::CreateObject},
    {"NiCollisionSwitch", &NiNode::CreateObject},
    {"NiDefaultAVObjectPalette", &NiDefaultAVObjectPalette::CreateObject},
    {"NiDirectionalLight", &NiDirectionalLight::CreateObject},
    {"NiDitherProperty", &NiDitherProperty::CreateObject},
    {"NiFogProperty", &NiFogProperty::CreateObject},
    {"NiLODNode", &NiLODNode::CreateObject},
    {"NiMaterialProperty", &NiMaterialProperty::CreateObject},
    {"NiNode", &NiNode::CreateObject},
    {"NiPointLight", &NiPointLight::CreateObject},
    {"NiRangeLODData", &NiRangeLODData::CreateObject},
    {"NiRendererSpecificProperty", &NiRendererSpecificProperty::CreateObject},
    {"NiScreenLODData", &NiScreenLODData::CreateObject},
    {"NiShadeProperty", &NiShadeProperty::CreateObject},
    {"NiSortAdjustNode", &NiSortAdjustNode::CreateObject},
    {"NiSpecularProperty", &NiSpecularProperty::CreateObject},
    {"NiSpotLight", &NiSpotLight::CreateObject},
    {"NiStencilProperty", &NiStencilProperty::CreateObject},
    {"NiSwitchNode", &NiSwitchNode::CreateObject},
    {"NiTextureEffect", &NiTextureEffect::CreateObject},
    {"NiTexturingProperty", &NiTexturingProperty::CreateObject},
    {"NiVertexColorProperty", &NiVertexColorProperty::CreateObject},
    {"NiWireframeProperty", &NiWireframeProperty::CreateObject},
    {"NiZBufferProperty", &NiZBufferProperty::CreateObject},
};

void DefaultPropertiesShutdown()
{
    NiPropertySet::ResetDefaults();
}

void CreateFunctionsInit()
{
    for (const CreateEntry& kEntry : CREATE_ENTRIES)
        NiObjectStream::RegisterCreateFunction(kEntry.m_pcName, kEntry.m_pfnCreate);
}

void CreateFunctionsShutdown()
{
    for (const CreateEntry& kEntry : CREATE_ENTRIES)
        NiObjectStream::UnregisterCreateFunction(kEntry.m_pcName);
}
} // namespace

const char* const NI_SCENE_GRAPH_CLASS_NAMES[NI_SCENE_GRAPH_CLASS_COUNT] = {
    CREATE_ENTRIES[0].m_pcName,  CREATE_ENTRIES[1].m_pcName,  CREATE_ENTRIES[2].m_pcName,
    CREATE_ENTRIES[3].m_pcName,  CREATE_ENTRIES[4].m_pcName,  CREATE_ENTRIES[5].m_pcName,
    CREATE_ENTRIES[6].m_pcName,  CREATE_ENTRIES[7].m_pcName,  CREATE_ENTRIES[8].m_pcName,
    CREATE_ENTRIES[9].m_pcName,  CREATE_ENTRIES[10].m_pcName, CREATE_ENTRIES[11].m_pcName,
    CREATE_ENTRIES[12].m_pcName, CREATE_ENTRIES[13].m_pcName, CREATE_ENTRIES[14].m_pcName,
    CREATE_ENTRIES[15].m_pcName, CREATE_ENTRIES[16].m_pcName, CREATE_ENTRIES[17].m_pcName,
    CREATE_ENTRIES[18].m_pcName, CREATE_ENTRIES[19].m_pcName, CREATE_ENTRIES[20].m_pcName,
    CREATE_ENTRIES[21].m_pcName, CREATE_ENTRIES[22].m_pcName, CREATE_ENTRIES[23].m_pcName,
    CREATE_ENTRIES[24].m_pcName, CREATE_ENTRIES[25].m_pcName, CREATE_ENTRIES[26].m_pcName,
};

void NiSceneGraphSetDefaultProperties()
{
    // In type-code order, alpha to z-buffer.
    NiPropertySet::SetDefault(NiProperty::ALPHA, new NiAlphaProperty);
    NiPropertySet::SetDefault(NiProperty::DITHER, new NiDitherProperty);
    NiPropertySet::SetDefault(NiProperty::FOG, new NiFogProperty);
    NiPropertySet::SetDefault(NiProperty::MATERIAL, new NiMaterialProperty);
    NiPropertySet::SetDefault(NiProperty::REND_SPEC, new NiRendererSpecificProperty);
    NiPropertySet::SetDefault(NiProperty::SHADE, new NiShadeProperty);
    NiPropertySet::SetDefault(NiProperty::SPECULAR, new NiSpecularProperty);
    NiPropertySet::SetDefault(NiProperty::STENCIL, new NiStencilProperty);
    NiPropertySet::SetDefault(NiProperty::TEXTURING, new NiTexturingProperty);
    NiPropertySet::SetDefault(NiProperty::VERTEX_COLOR, new NiVertexColorProperty);
    NiPropertySet::SetDefault(NiProperty::WIREFRAME, new NiWireframeProperty);
    NiPropertySet::SetDefault(NiProperty::ZBUFFER, new NiZBufferProperty);
}

void NiSceneGraphRegister()
{
    NiMainLibrary::AddModuleHook(NI_INIT_DEFAULT_PROPERTIES, NiSceneGraphSetDefaultProperties, NI_SHUTDOWN_DEFAULT_PROPERTIES,
                                 DefaultPropertiesShutdown);
    NiMainLibrary::AddModuleHook(NI_INIT_CREATE_FUNCTIONS, CreateFunctionsInit, NI_SHUTDOWN_CREATE_FUNCTIONS,
                                 CreateFunctionsShutdown);
}
