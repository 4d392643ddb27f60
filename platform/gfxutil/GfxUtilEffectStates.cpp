// The state names effect passes may write and the words their values may
// use, each mapped to the device's published number (defined once, in
// platform/gfx/GfxTypes.h).

#include "platform/gfxutil/GfxUtilEffectData.h"

#include <cctype>
#include <cstring>

namespace gfx::effect {
namespace {

using K = StateKind;
using V = ValueType;

std::vector<StateInfo> MakeTable() {
    std::vector<StateInfo> t = {
        {"ZEnable", K::Render, D3DRS_ZENABLE, V::ZBuffer, 0},
        {"FillMode", K::Render, D3DRS_FILLMODE, V::Fill, 0},
        {"ShadeMode", K::Render, D3DRS_SHADEMODE, V::Shade, 0},
        {"ZWriteEnable", K::Render, D3DRS_ZWRITEENABLE, V::Bool, 0},
        {"AlphaTestEnable", K::Render, D3DRS_ALPHATESTENABLE, V::Bool, 0},
        {"LastPixel", K::Render, D3DRS_LASTPIXEL, V::Bool, 0},
        {"SrcBlend", K::Render, D3DRS_SRCBLEND, V::Blend, 0},
        {"DestBlend", K::Render, D3DRS_DESTBLEND, V::Blend, 0},
        {"CullMode", K::Render, D3DRS_CULLMODE, V::Cull, 0},
        {"ZFunc", K::Render, D3DRS_ZFUNC, V::Cmp, 0},
        {"AlphaRef", K::Render, D3DRS_ALPHAREF, V::Dword, 0},
        {"AlphaFunc", K::Render, D3DRS_ALPHAFUNC, V::Cmp, 0},
        {"DitherEnable", K::Render, D3DRS_DITHERENABLE, V::Bool, 0},
        {"AlphaBlendEnable", K::Render, D3DRS_ALPHABLENDENABLE, V::Bool, 0},
        {"FogEnable", K::Render, D3DRS_FOGENABLE, V::Bool, 0},
        {"SpecularEnable", K::Render, D3DRS_SPECULARENABLE, V::Bool, 0},
        {"FogColor", K::Render, D3DRS_FOGCOLOR, V::Dword, 0},
        {"FogTableMode", K::Render, D3DRS_FOGTABLEMODE, V::Fog, 0},
        {"FogStart", K::Render, D3DRS_FOGSTART, V::Float, 0},
        {"FogEnd", K::Render, D3DRS_FOGEND, V::Float, 0},
        {"FogDensity", K::Render, D3DRS_FOGDENSITY, V::Float, 0},
        {"RangeFogEnable", K::Render, D3DRS_RANGEFOGENABLE, V::Bool, 0},
        {"StencilEnable", K::Render, D3DRS_STENCILENABLE, V::Bool, 0},
        {"StencilFail", K::Render, D3DRS_STENCILFAIL, V::StencilOp, 0},
        {"StencilZFail", K::Render, D3DRS_STENCILZFAIL, V::StencilOp, 0},
        {"StencilPass", K::Render, D3DRS_STENCILPASS, V::StencilOp, 0},
        {"StencilFunc", K::Render, D3DRS_STENCILFUNC, V::Cmp, 0},
        {"StencilRef", K::Render, D3DRS_STENCILREF, V::Dword, 0},
        {"StencilMask", K::Render, D3DRS_STENCILMASK, V::Dword, 0},
        {"StencilWriteMask", K::Render, D3DRS_STENCILWRITEMASK, V::Dword, 0},
        {"TextureFactor", K::Render, D3DRS_TEXTUREFACTOR, V::Dword, 0},
        {"Wrap0", K::Render, D3DRS_WRAP0, V::Wrap, 0},
        {"Wrap1", K::Render, D3DRS_WRAP1, V::Wrap, 0},
        {"Wrap2", K::Render, D3DRS_WRAP2, V::Wrap, 0},
        {"Wrap3", K::Render, D3DRS_WRAP3, V::Wrap, 0},
        {"Wrap4", K::Render, D3DRS_WRAP4, V::Wrap, 0},
        {"Wrap5", K::Render, D3DRS_WRAP5, V::Wrap, 0},
        {"Wrap6", K::Render, D3DRS_WRAP6, V::Wrap, 0},
        {"Wrap7", K::Render, D3DRS_WRAP7, V::Wrap, 0},
        {"Clipping", K::Render, D3DRS_CLIPPING, V::Bool, 0},
        {"Lighting", K::Render, D3DRS_LIGHTING, V::Bool, 0},
        {"Ambient", K::Render, D3DRS_AMBIENT, V::Dword, 0},
        {"FogVertexMode", K::Render, D3DRS_FOGVERTEXMODE, V::Fog, 0},
        {"ColorVertex", K::Render, D3DRS_COLORVERTEX, V::Bool, 0},
        {"LocalViewer", K::Render, D3DRS_LOCALVIEWER, V::Bool, 0},
        {"NormalizeNormals", K::Render, D3DRS_NORMALIZENORMALS, V::Bool, 0},
        {"DiffuseMaterialSource", K::Render, D3DRS_DIFFUSEMATERIALSOURCE, V::MaterialSource, 0},
        {"SpecularMaterialSource", K::Render, D3DRS_SPECULARMATERIALSOURCE, V::MaterialSource, 0},
        {"AmbientMaterialSource", K::Render, D3DRS_AMBIENTMATERIALSOURCE, V::MaterialSource, 0},
        {"EmissiveMaterialSource", K::Render, D3DRS_EMISSIVEMATERIALSOURCE, V::MaterialSource, 0},
        {"VertexBlend", K::Render, D3DRS_VERTEXBLEND, V::VertexBlend, 0},
        {"ClipPlaneEnable", K::Render, D3DRS_CLIPPLANEENABLE, V::Dword, 0},
        {"PointSize", K::Render, D3DRS_POINTSIZE, V::Float, 0},
        {"PointSize_Min", K::Render, D3DRS_POINTSIZE_MIN, V::Float, 0},
        {"PointSpriteEnable", K::Render, D3DRS_POINTSPRITEENABLE, V::Bool, 0},
        {"PointScaleEnable", K::Render, D3DRS_POINTSCALEENABLE, V::Bool, 0},
        {"PointScale_A", K::Render, D3DRS_POINTSCALE_A, V::Float, 0},
        {"PointScale_B", K::Render, D3DRS_POINTSCALE_B, V::Float, 0},
        {"PointScale_C", K::Render, D3DRS_POINTSCALE_C, V::Float, 0},
        {"MultiSampleAntialias", K::Render, D3DRS_MULTISAMPLEANTIALIAS, V::Bool, 0},
        {"MultiSampleMask", K::Render, D3DRS_MULTISAMPLEMASK, V::Dword, 0},
        {"PatchEdgeStyle", K::Render, D3DRS_PATCHEDGESTYLE, V::Dword, 0},
        {"DebugMonitorToken", K::Render, D3DRS_DEBUGMONITORTOKEN, V::Dword, 0},
        {"PointSize_Max", K::Render, D3DRS_POINTSIZE_MAX, V::Float, 0},
        {"IndexedVertexBlendEnable", K::Render, D3DRS_INDEXEDVERTEXBLENDENABLE, V::Bool, 0},
        {"ColorWriteEnable", K::Render, D3DRS_COLORWRITEENABLE, V::ColorWrite, 0},
        {"TweenFactor", K::Render, D3DRS_TWEENFACTOR, V::Float, 0},
        {"BlendOp", K::Render, D3DRS_BLENDOP, V::BlendOp, 0},
        {"PositionDegree", K::Render, D3DRS_POSITIONDEGREE, V::Degree, 0},
        {"NormalDegree", K::Render, D3DRS_NORMALDEGREE, V::Degree, 0},
        {"ScissorTestEnable", K::Render, D3DRS_SCISSORTESTENABLE, V::Bool, 0},
        {"SlopeScaleDepthBias", K::Render, D3DRS_SLOPESCALEDEPTHBIAS, V::Float, 0},
        {"AntialiasedLineEnable", K::Render, D3DRS_ANTIALIASEDLINEENABLE, V::Bool, 0},
        {"MinTessellationLevel", K::Render, D3DRS_MINTESSELLATIONLEVEL, V::Float, 0},
        {"MaxTessellationLevel", K::Render, D3DRS_MAXTESSELLATIONLEVEL, V::Float, 0},
        {"AdaptiveTess_X", K::Render, D3DRS_ADAPTIVETESS_X, V::Float, 0},
        {"AdaptiveTess_Y", K::Render, D3DRS_ADAPTIVETESS_Y, V::Float, 0},
        {"AdaptiveTess_Z", K::Render, D3DRS_ADAPTIVETESS_Z, V::Float, 0},
        {"AdaptiveTess_W", K::Render, D3DRS_ADAPTIVETESS_W, V::Float, 0},
        {"EnableAdaptiveTessellation", K::Render, D3DRS_ENABLEADAPTIVETESSELLATION, V::Bool, 0},
        {"TwoSidedStencilMode", K::Render, D3DRS_TWOSIDEDSTENCILMODE, V::Bool, 0},
        {"CCW_StencilFail", K::Render, D3DRS_CCW_STENCILFAIL, V::StencilOp, 0},
        {"CCW_StencilZFail", K::Render, D3DRS_CCW_STENCILZFAIL, V::StencilOp, 0},
        {"CCW_StencilPass", K::Render, D3DRS_CCW_STENCILPASS, V::StencilOp, 0},
        {"CCW_StencilFunc", K::Render, D3DRS_CCW_STENCILFUNC, V::Cmp, 0},
        {"ColorWriteEnable1", K::Render, D3DRS_COLORWRITEENABLE1, V::ColorWrite, 0},
        {"ColorWriteEnable2", K::Render, D3DRS_COLORWRITEENABLE2, V::ColorWrite, 0},
        {"ColorWriteEnable3", K::Render, D3DRS_COLORWRITEENABLE3, V::ColorWrite, 0},
        {"BlendFactor", K::Render, D3DRS_BLENDFACTOR, V::Dword, 0},
        {"SRGBWriteEnable", K::Render, D3DRS_SRGBWRITEENABLE, V::Bool, 0},
        {"DepthBias", K::Render, D3DRS_DEPTHBIAS, V::Float, 0},
        {"Wrap8", K::Render, D3DRS_WRAP8, V::Wrap, 0},
        {"Wrap9", K::Render, D3DRS_WRAP9, V::Wrap, 0},
        {"Wrap10", K::Render, D3DRS_WRAP10, V::Wrap, 0},
        {"Wrap11", K::Render, D3DRS_WRAP11, V::Wrap, 0},
        {"Wrap12", K::Render, D3DRS_WRAP12, V::Wrap, 0},
        {"Wrap13", K::Render, D3DRS_WRAP13, V::Wrap, 0},
        {"Wrap14", K::Render, D3DRS_WRAP14, V::Wrap, 0},
        {"Wrap15", K::Render, D3DRS_WRAP15, V::Wrap, 0},
        {"SeparateAlphaBlendEnable", K::Render, D3DRS_SEPARATEALPHABLENDENABLE, V::Bool, 0},
        {"SrcBlendAlpha", K::Render, D3DRS_SRCBLENDALPHA, V::Blend, 0},
        {"DestBlendAlpha", K::Render, D3DRS_DESTBLENDALPHA, V::Blend, 0},
        {"BlendOpAlpha", K::Render, D3DRS_BLENDOPALPHA, V::BlendOp, 0},
        // texture stages 0-7
        {"ColorOp", K::TextureStage, D3DTSS_COLOROP, V::TextureOp, 8},
        {"ColorArg1", K::TextureStage, D3DTSS_COLORARG1, V::TextureArg, 8},
        {"ColorArg2", K::TextureStage, D3DTSS_COLORARG2, V::TextureArg, 8},
        {"AlphaOp", K::TextureStage, D3DTSS_ALPHAOP, V::TextureOp, 8},
        {"AlphaArg1", K::TextureStage, D3DTSS_ALPHAARG1, V::TextureArg, 8},
        {"AlphaArg2", K::TextureStage, D3DTSS_ALPHAARG2, V::TextureArg, 8},
        {"BumpEnvMat00", K::TextureStage, D3DTSS_BUMPENVMAT00, V::Float, 8},
        {"BumpEnvMat01", K::TextureStage, D3DTSS_BUMPENVMAT01, V::Float, 8},
        {"BumpEnvMat10", K::TextureStage, D3DTSS_BUMPENVMAT10, V::Float, 8},
        {"BumpEnvMat11", K::TextureStage, D3DTSS_BUMPENVMAT11, V::Float, 8},
        {"TexCoordIndex", K::TextureStage, D3DTSS_TEXCOORDINDEX, V::TexCoordIndex, 8},
        {"BumpEnvLScale", K::TextureStage, D3DTSS_BUMPENVLSCALE, V::Float, 8},
        {"BumpEnvLOffset", K::TextureStage, D3DTSS_BUMPENVLOFFSET, V::Float, 8},
        {"TextureTransformFlags", K::TextureStage, D3DTSS_TEXTURETRANSFORMFLAGS, V::TransformFlags, 8},
        {"ColorArg0", K::TextureStage, D3DTSS_COLORARG0, V::TextureArg, 8},
        {"AlphaArg0", K::TextureStage, D3DTSS_ALPHAARG0, V::TextureArg, 8},
        {"ResultArg", K::TextureStage, D3DTSS_RESULTARG, V::TextureArg, 8},
        {"Constant", K::TextureStage, D3DTSS_CONSTANT, V::Dword, 8},
        // samplers 0-15
        {"AddressU", K::Sampler, D3DSAMP_ADDRESSU, V::Address, 16},
        {"AddressV", K::Sampler, D3DSAMP_ADDRESSV, V::Address, 16},
        {"AddressW", K::Sampler, D3DSAMP_ADDRESSW, V::Address, 16},
        {"BorderColor", K::Sampler, D3DSAMP_BORDERCOLOR, V::Dword, 16},
        {"MagFilter", K::Sampler, D3DSAMP_MAGFILTER, V::Filter, 16},
        {"MinFilter", K::Sampler, D3DSAMP_MINFILTER, V::Filter, 16},
        {"MipFilter", K::Sampler, D3DSAMP_MIPFILTER, V::Filter, 16},
        {"MipMapLodBias", K::Sampler, D3DSAMP_MIPMAPLODBIAS, V::Float, 16},
        {"MaxMipLevel", K::Sampler, D3DSAMP_MAXMIPLEVEL, V::Dword, 16},
        {"MaxAnisotropy", K::Sampler, D3DSAMP_MAXANISOTROPY, V::Dword, 16},
        {"SRGBTexture", K::Sampler, D3DSAMP_SRGBTEXTURE, V::Bool, 16},
        {"ElementIndex", K::Sampler, D3DSAMP_ELEMENTINDEX, V::Dword, 16},
        {"DMapOffset", K::Sampler, D3DSAMP_DMAPOFFSET, V::Dword, 16},
        // lights 0-7, each member a state of its own
        {"LightType", K::Light, kLightType, V::LightType, 8},
        {"LightDiffuse", K::Light, kLightDiffuse, V::Vector, 8},
        {"LightSpecular", K::Light, kLightSpecular, V::Vector, 8},
        {"LightAmbient", K::Light, kLightAmbient, V::Vector, 8},
        {"LightPosition", K::Light, kLightPosition, V::Vector, 8},
        {"LightDirection", K::Light, kLightDirection, V::Vector, 8},
        {"LightRange", K::Light, kLightRange, V::Float, 8},
        {"LightFalloff", K::Light, kLightFalloff, V::Float, 8},
        {"LightAttenuation0", K::Light, kLightAttenuation0, V::Float, 8},
        {"LightAttenuation1", K::Light, kLightAttenuation1, V::Float, 8},
        {"LightAttenuation2", K::Light, kLightAttenuation2, V::Float, 8},
        {"LightTheta", K::Light, kLightTheta, V::Float, 8},
        {"LightPhi", K::Light, kLightPhi, V::Float, 8},
        {"LightEnable", K::LightEnable, 0, V::Bool, 8},
        // the material
        {"MaterialDiffuse", K::Material, kMaterialDiffuse, V::Vector, 0},
        {"MaterialAmbient", K::Material, kMaterialAmbient, V::Vector, 0},
        {"MaterialSpecular", K::Material, kMaterialSpecular, V::Vector, 0},
        {"MaterialEmissive", K::Material, kMaterialEmissive, V::Vector, 0},
        {"MaterialPower", K::Material, kMaterialPower, V::Float, 0},
        // objects
        {"Texture", K::Texture, 0, V::Object, 16},
        {"Sampler", K::SamplerObject, 0, V::Object, 16},
        {"VertexShader", K::VertexShader, 0, V::Object, 0},
        {"PixelShader", K::PixelShader, 0, V::Object, 0},
        {"FVF", K::Fvf, 0, V::Dword, 0},
        {"WorldTransform", K::Transform, D3DTS_WORLD, V::Object, 256},
        {"ViewTransform", K::Transform, D3DTS_VIEW, V::Object, 0},
        {"ProjectionTransform", K::Transform, D3DTS_PROJECTION, V::Object, 0},
        {"TextureTransform", K::Transform, D3DTS_TEXTURE0, V::Object, 8},
        {"VertexShaderConstant", K::VertexConstantF, 0, V::Object, 256},
        {"VertexShaderConstantF", K::VertexConstantF, 0, V::Object, 256},
        {"VertexShaderConstant1", K::VertexConstantF, 0, V::Object, 256, 1},
        {"VertexShaderConstant2", K::VertexConstantF, 0, V::Object, 256, 2},
        {"VertexShaderConstant3", K::VertexConstantF, 0, V::Object, 256, 3},
        {"VertexShaderConstant4", K::VertexConstantF, 0, V::Object, 256, 4},
        {"VertexShaderConstantI", K::VertexConstantI, 0, V::Object, 16},
        {"VertexShaderConstantB", K::VertexConstantB, 0, V::Object, 16},
        {"PixelShaderConstant", K::PixelConstantF, 0, V::Object, 224},
        {"PixelShaderConstantF", K::PixelConstantF, 0, V::Object, 224},
        {"PixelShaderConstant1", K::PixelConstantF, 0, V::Object, 224, 1},
        {"PixelShaderConstant2", K::PixelConstantF, 0, V::Object, 224, 2},
        {"PixelShaderConstant3", K::PixelConstantF, 0, V::Object, 224, 3},
        {"PixelShaderConstant4", K::PixelConstantF, 0, V::Object, 224, 4},
        {"PixelShaderConstantI", K::PixelConstantI, 0, V::Object, 16},
        {"PixelShaderConstantB", K::PixelConstantB, 0, V::Object, 16},
    };
    return t;
}

struct Word {
    ValueType type;
    const char* word;
    std::uint32_t number;
};

const Word kWords[] = {
    {V::Bool, "TRUE", 1}, {V::Bool, "FALSE", 0},
    {V::ZBuffer, "TRUE", D3DZB_TRUE}, {V::ZBuffer, "FALSE", D3DZB_FALSE}, {V::ZBuffer, "USEW", D3DZB_USEW},
    {V::Fill, "POINT", D3DFILL_POINT}, {V::Fill, "WIREFRAME", D3DFILL_WIREFRAME}, {V::Fill, "SOLID", D3DFILL_SOLID},
    {V::Shade, "FLAT", D3DSHADE_FLAT}, {V::Shade, "GOURAUD", D3DSHADE_GOURAUD}, {V::Shade, "PHONG", D3DSHADE_PHONG},
    {V::Cull, "NONE", D3DCULL_NONE}, {V::Cull, "CW", D3DCULL_CW}, {V::Cull, "CCW", D3DCULL_CCW},
    {V::Blend, "ZERO", D3DBLEND_ZERO}, {V::Blend, "ONE", D3DBLEND_ONE}, {V::Blend, "SRCCOLOR", D3DBLEND_SRCCOLOR},
    {V::Blend, "INVSRCCOLOR", D3DBLEND_INVSRCCOLOR}, {V::Blend, "SRCALPHA", D3DBLEND_SRCALPHA},
    {V::Blend, "INVSRCALPHA", D3DBLEND_INVSRCALPHA}, {V::Blend, "DESTALPHA", D3DBLEND_DESTALPHA},
    {V::Blend, "INVDESTALPHA", D3DBLEND_INVDESTALPHA}, {V::Blend, "DESTCOLOR", D3DBLEND_DESTCOLOR},
    {V::Blend, "INVDESTCOLOR", D3DBLEND_INVDESTCOLOR}, {V::Blend, "SRCALPHASAT", D3DBLEND_SRCALPHASAT},
    {V::Blend, "BOTHSRCALPHA", D3DBLEND_BOTHSRCALPHA}, {V::Blend, "BOTHINVSRCALPHA", D3DBLEND_BOTHINVSRCALPHA},
    {V::Cmp, "NEVER", D3DCMP_NEVER}, {V::Cmp, "LESS", D3DCMP_LESS}, {V::Cmp, "EQUAL", D3DCMP_EQUAL},
    {V::Cmp, "LESSEQUAL", D3DCMP_LESSEQUAL}, {V::Cmp, "GREATER", D3DCMP_GREATER},
    {V::Cmp, "NOTEQUAL", D3DCMP_NOTEQUAL}, {V::Cmp, "GREATEREQUAL", D3DCMP_GREATEREQUAL},
    {V::Cmp, "ALWAYS", D3DCMP_ALWAYS},
    {V::StencilOp, "KEEP", D3DSTENCILOP_KEEP}, {V::StencilOp, "ZERO", D3DSTENCILOP_ZERO},
    {V::StencilOp, "REPLACE", D3DSTENCILOP_REPLACE}, {V::StencilOp, "INCRSAT", D3DSTENCILOP_INCRSAT},
    {V::StencilOp, "DECRSAT", D3DSTENCILOP_DECRSAT}, {V::StencilOp, "INVERT", D3DSTENCILOP_INVERT},
    {V::StencilOp, "INCR", D3DSTENCILOP_INCR}, {V::StencilOp, "DECR", D3DSTENCILOP_DECR},
    {V::Fog, "NONE", D3DFOG_NONE}, {V::Fog, "EXP", D3DFOG_EXP}, {V::Fog, "EXP2", D3DFOG_EXP2},
    {V::Fog, "LINEAR", D3DFOG_LINEAR},
    {V::MaterialSource, "MATERIAL", D3DMCS_MATERIAL}, {V::MaterialSource, "COLOR1", D3DMCS_COLOR1},
    {V::MaterialSource, "COLOR2", D3DMCS_COLOR2},
    {V::VertexBlend, "DISABLE", D3DVBF_DISABLE}, {V::VertexBlend, "1WEIGHTS", D3DVBF_1WEIGHTS},
    {V::VertexBlend, "2WEIGHTS", D3DVBF_2WEIGHTS}, {V::VertexBlend, "3WEIGHTS", D3DVBF_3WEIGHTS},
    {V::VertexBlend, "TWEENING", D3DVBF_TWEENING}, {V::VertexBlend, "0WEIGHTS", D3DVBF_0WEIGHTS},
    {V::BlendOp, "ADD", D3DBLENDOP_ADD}, {V::BlendOp, "SUBTRACT", D3DBLENDOP_SUBTRACT},
    {V::BlendOp, "REVSUBTRACT", D3DBLENDOP_REVSUBTRACT}, {V::BlendOp, "MIN", D3DBLENDOP_MIN},
    {V::BlendOp, "MAX", D3DBLENDOP_MAX},
    {V::Degree, "LINEAR", D3DDEGREE_LINEAR}, {V::Degree, "QUADRATIC", D3DDEGREE_QUADRATIC},
    {V::Degree, "CUBIC", D3DDEGREE_CUBIC}, {V::Degree, "QUINTIC", D3DDEGREE_QUINTIC},
    {V::ColorWrite, "RED", D3DCOLORWRITEENABLE_RED}, {V::ColorWrite, "GREEN", D3DCOLORWRITEENABLE_GREEN},
    {V::ColorWrite, "BLUE", D3DCOLORWRITEENABLE_BLUE}, {V::ColorWrite, "ALPHA", D3DCOLORWRITEENABLE_ALPHA},
    {V::Wrap, "U", D3DWRAP_U}, {V::Wrap, "V", D3DWRAP_V}, {V::Wrap, "W", D3DWRAP_W},
    {V::TextureOp, "DISABLE", D3DTOP_DISABLE}, {V::TextureOp, "SELECTARG1", D3DTOP_SELECTARG1},
    {V::TextureOp, "SELECTARG2", D3DTOP_SELECTARG2}, {V::TextureOp, "MODULATE", D3DTOP_MODULATE},
    {V::TextureOp, "MODULATE2X", D3DTOP_MODULATE2X}, {V::TextureOp, "MODULATE4X", D3DTOP_MODULATE4X},
    {V::TextureOp, "ADD", D3DTOP_ADD}, {V::TextureOp, "ADDSIGNED", D3DTOP_ADDSIGNED},
    {V::TextureOp, "ADDSIGNED2X", D3DTOP_ADDSIGNED2X}, {V::TextureOp, "SUBTRACT", D3DTOP_SUBTRACT},
    {V::TextureOp, "ADDSMOOTH", D3DTOP_ADDSMOOTH}, {V::TextureOp, "BLENDDIFFUSEALPHA", D3DTOP_BLENDDIFFUSEALPHA},
    {V::TextureOp, "BLENDTEXTUREALPHA", D3DTOP_BLENDTEXTUREALPHA},
    {V::TextureOp, "BLENDFACTORALPHA", D3DTOP_BLENDFACTORALPHA},
    {V::TextureOp, "BLENDTEXTUREALPHAPM", D3DTOP_BLENDTEXTUREALPHAPM},
    {V::TextureOp, "BLENDCURRENTALPHA", D3DTOP_BLENDCURRENTALPHA},
    {V::TextureOp, "PREMODULATE", D3DTOP_PREMODULATE},
    {V::TextureOp, "MODULATEALPHA_ADDCOLOR", D3DTOP_MODULATEALPHA_ADDCOLOR},
    {V::TextureOp, "MODULATECOLOR_ADDALPHA", D3DTOP_MODULATECOLOR_ADDALPHA},
    {V::TextureOp, "MODULATEINVALPHA_ADDCOLOR", D3DTOP_MODULATEINVALPHA_ADDCOLOR},
    {V::TextureOp, "MODULATEINVCOLOR_ADDALPHA", D3DTOP_MODULATEINVCOLOR_ADDALPHA},
    {V::TextureOp, "BUMPENVMAP", D3DTOP_BUMPENVMAP}, {V::TextureOp, "BUMPENVMAPLUMINANCE", D3DTOP_BUMPENVMAPLUMINANCE},
    {V::TextureOp, "DOTPRODUCT3", D3DTOP_DOTPRODUCT3}, {V::TextureOp, "MULTIPLYADD", D3DTOP_MULTIPLYADD},
    {V::TextureOp, "LERP", D3DTOP_LERP},
    {V::TextureArg, "DIFFUSE", D3DTA_DIFFUSE}, {V::TextureArg, "CURRENT", D3DTA_CURRENT},
    {V::TextureArg, "TEXTURE", D3DTA_TEXTURE}, {V::TextureArg, "TFACTOR", D3DTA_TFACTOR},
    {V::TextureArg, "SPECULAR", D3DTA_SPECULAR}, {V::TextureArg, "TEMP", D3DTA_TEMP},
    {V::TextureArg, "CONSTANT", D3DTA_CONSTANT}, {V::TextureArg, "COMPLEMENT", D3DTA_COMPLEMENT},
    {V::TextureArg, "ALPHAREPLICATE", D3DTA_ALPHAREPLICATE},
    {V::TexCoordIndex, "PASSTHRU", D3DTSS_TCI_PASSTHRU},
    {V::TexCoordIndex, "CAMERASPACENORMAL", D3DTSS_TCI_CAMERASPACENORMAL},
    {V::TexCoordIndex, "CAMERASPACEPOSITION", D3DTSS_TCI_CAMERASPACEPOSITION},
    {V::TexCoordIndex, "CAMERASPACEREFLECTIONVECTOR", D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR},
    {V::TexCoordIndex, "SPHEREMAP", D3DTSS_TCI_SPHEREMAP},
    {V::TransformFlags, "DISABLE", D3DTTFF_DISABLE}, {V::TransformFlags, "COUNT1", D3DTTFF_COUNT1},
    {V::TransformFlags, "COUNT2", D3DTTFF_COUNT2}, {V::TransformFlags, "COUNT3", D3DTTFF_COUNT3},
    {V::TransformFlags, "COUNT4", D3DTTFF_COUNT4}, {V::TransformFlags, "PROJECTED", D3DTTFF_PROJECTED},
    {V::Filter, "NONE", D3DTEXF_NONE}, {V::Filter, "POINT", D3DTEXF_POINT}, {V::Filter, "LINEAR", D3DTEXF_LINEAR},
    {V::Filter, "ANISOTROPIC", D3DTEXF_ANISOTROPIC}, {V::Filter, "PYRAMIDALQUAD", D3DTEXF_PYRAMIDALQUAD},
    {V::Filter, "GAUSSIANQUAD", D3DTEXF_GAUSSIANQUAD},
    {V::Address, "WRAP", D3DTADDRESS_WRAP}, {V::Address, "MIRROR", D3DTADDRESS_MIRROR},
    {V::Address, "CLAMP", D3DTADDRESS_CLAMP}, {V::Address, "BORDER", D3DTADDRESS_BORDER},
    {V::Address, "MIRRORONCE", D3DTADDRESS_MIRRORONCE},
    {V::LightType, "POINT", D3DLIGHT_POINT}, {V::LightType, "SPOT", D3DLIGHT_SPOT},
    {V::LightType, "DIRECTIONAL", D3DLIGHT_DIRECTIONAL},
};

bool EqualNoCase(const char* a, const std::string& b) {
    const std::size_t n = std::strlen(a);
    if (n != b.size()) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

} // namespace

const std::vector<StateInfo>& StateTable() {
    static const std::vector<StateInfo> table = MakeTable();
    return table;
}

const StateInfo* FindState(const std::string& name) {
    for (const StateInfo& info : StateTable())
        if (EqualNoCase(info.name, name)) return &info;
    return nullptr;
}

bool IsStateValueWord(const std::string& word) {
    for (const Word& w : kWords)
        if (EqualNoCase(w.word, word)) return true;
    return false;
}

bool FindValueWord(ValueType type, const std::string& word, std::uint32_t& number) {
    for (const Word& w : kWords)
        if (w.type == type && EqualNoCase(w.word, word)) {
            number = w.number;
            return true;
        }
    return false;
}

} // namespace gfx::effect
