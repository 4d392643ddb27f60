#include "engine/shaders/nsf/NSFVocabulary.h"

#include "engine/shaders/framework/NiD3DShaderConstantMapEntry.h"
#include "engine/shaders/framework/NiD3DVertexShaderConstantMap.h"
#include "engine/shaders/nsb/NSBAttributeDesc.h"
#include "engine/shaders/nsb/NSBAttributeTable.h"
#include "engine/shaders/nsb/NSBConstantMap.h"
#include "engine/shaders/nsb/NSBShader.h"
#include "engine/shaders/nsf/NSFGrammarActions.h"
#include "engine/shaders/nsf/NSFScanner.h"

#include <cstring>
#include <strings.h>

namespace
{
struct NamedValue
{
    const char* m_pcName;
    std::uint32_t m_uiValue;
};

struct ValueTable
{
    std::uint32_t m_auiStates[16];
    std::uint32_t m_uiStateCount;
    const NamedValue* m_pkValues;
    std::uint32_t m_uiValueCount;
};

const char* const s_apcStates[NSFVocabulary::RENDER_STATE_COUNT] = {
    "ZFUNC", "ALPHAFUNC", "ALPHABLENDENABLE", "ALPHATESTENABLE", "ALPHAREF", "SRCBLEND", "DESTBLEND",
    "ZWRITEENABLE", "DITHERENABLE", "SHADEMODE", "COLORWRITEENABLE", "STENCILZFAIL", "STENCILPASS",
    "STENCILFUNC", "STENCILREF", "STENCILMASK", "STENCILWRITEMASK", "BLENDOP", "BLENDCOLOR", "SWATHWIDTH",
    "POLYGONOFFSETZSLOPESCALE", "POLYGONOFFSETZOFFSET", "POINTOFFSETENABLE", "WIREFRAMEOFFSETENABLE",
    "SOLIDOFFSETENABLE", "DEPTHCLIPCONTROL", "STIPPLEENABLE", "FOGENABLE", "FOGTABLEMODE", "FOGSTART",
    "FOGEND", "FOGDENSITY", "RANGEFOGENABLE", "WRAP0", "WRAP1", "WRAP2", "WRAP3", "WRAP4", "WRAP5", "WRAP6",
    "WRAP7", "LIGHTING", "SPECULARENABLE", "LOCALVIEWER", "COLORVERTEX", "BACKSPECULARMATERIALSOURCE",
    "BACKDIFFUSEMATERIALSOURCE", "BACKAMBIENTMATERIALSOURCE", "BACKEMISSIVEMATERIALSOURCE",
    "SPECULARMATERIALSOURCE", "DIFFUSEMATERIALSOURCE", "AMBIENTMATERIALSOURCE", "EMISSIVEMATERIALSOURCE",
    "BACKAMBIENT", "AMBIENT", "POINTSIZE", "POINTSIZE_MIN", "POINTSPRITEENABLE", "POINTSCALEENABLE",
    "POINTSCALE_A", "POINTSCALE_B", "POINTSCALE_C", "POINTSIZE_MAX", "PATCHEDGESTYLE", "PATCHSEGMENTS",
    "SWAPFILTER", "PRESENTATIONINTERVAL", "VERTEXBLEND", "FOGCOLOR", "FILLMODE", "BACKFILLMODE",
    "TWOSIDEDLIGHTING", "NORMALIZENORMALS", "ZENABLE", "STENCILENABLE", "STENCILFAIL", "FRONTFACE",
    "CULLMODE", "TEXTUREFACTOR", "ZBIAS", "LOGICOP", "EDGEANTIALIAS", "MULTISAMPLEANTIALIAS",
    "MULTISAMPLEMASK", "MULTISAMPLEMODE", "MULTISAMPLERENDERTARGETMODE", "SHADOWFUNC", "LINEWIDTH",
    "SAMPLEALPHA", "DXT1NOISEENABLE", "YUVENABLE", "OCCLUSIONCULLENABLE", "STENCILCULLENABLE",
    "ROPZCMPALWAYSREAD", "ROPZREAD", "DONOTCULLUNCOMPRESSED", "LINEPATTERN", "LASTPIXEL", "CLIPPING",
    "FOGVERTEXMODE", "CLIPPLANEENABLE", "SOFTWAREVERTEXPROCESSING", "DEBUGMONITORTOKEN",
    "INDEXEDVERTEXBLENDENABLE", "TWEENFACTOR", "POSITIONORDER", "NORMALORDER", "POSITIONDEGREE",
    "NORMALDEGREE", "SCISSORTESTENABLE", "SLOPESCALEDEPTHBIAS", "ANTIALIASEDLINEENABLE",
    "MINTESSELLATIONLEVEL", "MAXTESSELLATIONLEVEL", "ADAPTIVETESS_X", "ADAPTIVETESS_Y", "ADAPTIVETESS_Z",
    "ADAPTIVETESS_W", "ENABLEADAPTIVETESSELATION", "TWOSIDEDSTENCILMODE", "CCW_STENCILFAIL",
    "CCW_STENCILZFAIL", "CCW_STENCILPASS", "CCW_STENCILFUNC", "COLORWRITEENABLE1", "COLORWRITEENABLE2",
    "COLORWRITEENABLE3", "BLENDFACTOR", "SRGBWRITEENABLE", "DEPTHBIAS", "WRAP8", "WRAP9", "WRAP10", "WRAP11",
    "WRAP12", "WRAP13", "WRAP14", "WRAP15", "SEPARATEALPHABLENDENABLE", "SRCBLENDALPHA", "DESTBLENDALPHA",
    "BLENDOPALPHA", "PSTEXTUREMODES", "PSALPHAINPUTS0", "PSALPHAINPUTS1", "PSALPHAINPUTS2", "PSALPHAINPUTS3",
    "PSALPHAINPUTS4", "PSALPHAINPUTS5", "PSALPHAINPUTS6", "PSALPHAINPUTS7", "PSFINALCOMBINERINPUTSABCD",
    "PSFINALCOMBINERINPUTSEFG", "PSCONSTANT0_0", "PSCONSTANT0_1", "PSCONSTANT0_2", "PSCONSTANT0_3",
    "PSCONSTANT0_4", "PSCONSTANT0_5", "PSCONSTANT0_6", "PSCONSTANT0_7", "PSCONSTANT1_0", "PSCONSTANT1_1",
    "PSCONSTANT1_2", "PSCONSTANT1_3", "PSCONSTANT1_4", "PSCONSTANT1_5", "PSCONSTANT1_6", "PSCONSTANT1_7",
    "PSALPHAOUTPUTS0", "PSALPHAOUTPUTS1", "PSALPHAOUTPUTS2", "PSALPHAOUTPUTS3", "PSALPHAOUTPUTS4",
    "PSALPHAOUTPUTS5", "PSALPHAOUTPUTS6", "PSALPHAOUTPUTS7", "PSRGBINPUTS0", "PSRGBINPUTS1", "PSRGBINPUTS2",
    "PSRGBINPUTS3", "PSRGBINPUTS4", "PSRGBINPUTS5", "PSRGBINPUTS6", "PSRGBINPUTS7", "PSCOMPAREMODE",
    "PSFINALCOMBINERCONSTANT0", "PSFINALCOMBINERCONSTANT1", "PSRGBOUTPUTS0", "PSRGBOUTPUTS1", "PSRGBOUTPUTS2",
    "PSRGBOUTPUTS3", "PSRGBOUTPUTS4", "PSRGBOUTPUTS5", "PSRGBOUTPUTS6", "PSRGBOUTPUTS7", "PSCOMBINERCOUNT",
    "PSDOTMAPPING", "PSINPUTTEXTURE",
};

const NamedValue s_akValues0[] = {
    {"NEVER", 0}, {"LESS", 1}, {"EQUAL", 2}, {"LESSEQUAL", 3}, {"GREATER", 4}, {"NOTEQUAL", 5},
    {"GREATEREQUAL", 6}, {"ALWAYS", 7},
};
const NamedValue s_akValues1[] = {
    {"ZERO", 0}, {"ONE", 1}, {"SRCCOLOR", 2}, {"INVSRCCOLOR", 3}, {"SRCALPHA", 4}, {"INVSRCALPHA", 5},
    {"DESTALPHA", 6}, {"INVDESTALPHA", 7}, {"DESTCOLOR", 8}, {"INVDESTCOLOR", 9}, {"SRCALPHASAT", 10},
    {"BOTHSRCALPHA", 11}, {"BOTHINVSRCALPHA", 12}, {"CONSTANTCOLOR", 13}, {"INVCONSTANTCOLOR", 14},
    {"CONSTANTALPHA", 15}, {"INVCONSTANTALPHA", 16},
};
const NamedValue s_akValues2[] = {
    {"FLAT", 0}, {"GOURAUD", 1}, {"PHONG", 2},
};
const NamedValue s_akValues3[] = {
    {"KEEP", 0}, {"ZERO", 1}, {"REPLACE", 2}, {"INCRSAT", 3}, {"DECRSAT", 4}, {"INVERT", 5}, {"INCR", 6},
    {"DECR", 7},
};
const NamedValue s_akValues4[] = {
    {"ADD", 0}, {"SUBTRACT", 1}, {"REVSUBTRACT", 2}, {"MIN", 3}, {"MAX", 4}, {"ADDSIGNED", 5},
    {"REVSUBTRACTSIGNED", 6},
};
const NamedValue s_akValues5[] = {
    {"SWATH_8", 0}, {"SWATH_16", 1}, {"SWATH_32", 2}, {"SWATH_64", 3}, {"SWATH_128", 4}, {"SWATH_OFF", 5},
};
const NamedValue s_akValues6[] = {
    {"CULLPRIMITIVE", 0}, {"CLAMP", 1}, {"IGNORE_W_SIGN", 2},
};
const NamedValue s_akValues7[] = {
    {"NONE", 0}, {"EXP", 1}, {"EXP2", 2}, {"LINEAR", 3},
};
const NamedValue s_akValues8[] = {
    {"DISABLED", 0}, {"U", 1}, {"V", 2}, {"W", 3}, {"UV", 4}, {"UW", 5}, {"VW", 6}, {"UVW", 7},
};
const NamedValue s_akValues9[] = {
    {"MATERIAL", 0}, {"COLOR1", 1}, {"COLOR2", 2},
};
const NamedValue s_akValues10[] = {
    {"DISCRETE", 0}, {"CONTINUOUS", 1},
};
const NamedValue s_akValues11[] = {
    {"NONE", 0}, {"POINT", 1}, {"LINEAR", 2}, {"ANISOTROPIC", 3}, {"QUINCUNX", 4}, {"GAUSSIANCUBIC", 5},
    {"MAX", 6},
};
const NamedValue s_akValues12[] = {
    {"INTERVAL_IMMEDIATE", 0}, {"INTERVAL_ONE", 1}, {"INTERVAL_ONE_OR_IMMEDIATE", 2}, {"INTERVAL_TWO", 3},
    {"INTERVAL_TWO_OR_IMMEDIATE", 4}, {"INTERVAL_THREE", 5}, {"INTERVAL_THREE_OR_IMMEDIATE", 6},
    {"INTERVAL_FOUR", 7},
};
const NamedValue s_akValues13[] = {
    {"DISABLE", 0}, {"1WEIGHTS", 1}, {"2WEIGHTS", 2}, {"3WEIGHTS", 3}, {"2WEIGHTS2MATRICES", 4},
    {"3WEIGHTS3MATRICES", 5}, {"4WEIGHTS4MATRICES", 6}, {"TWEENING", 7}, {"0WEIGHTS", 8},
};
const NamedValue s_akValues14[] = {
    {"POINT", 0}, {"WIREFRAME", 1}, {"SOLID", 2},
};
const NamedValue s_akValues15[] = {
    {"ZB_FALSE", 0}, {"ZB_TRUE", 1}, {"ZB_USEW", 2},
};
const NamedValue s_akValues16[] = {
    {"CW", 0}, {"CCW", 1},
};
const NamedValue s_akValues17[] = {
    {"NONE", 0}, {"CW", 1}, {"CCW", 2},
};
const NamedValue s_akValues18[] = {
    {"NONE", 0}, {"CLEAR", 1}, {"NIAND", 2}, {"AND", 2}, {"AND_REVERSE", 3}, {"COPY", 4}, {"AND_INVERTED", 5},
    {"NOOP", 6}, {"XOR", 7}, {"OR", 8}, {"NOR", 9}, {"EQUIV", 10}, {"INVERT", 11}, {"OR_REVERSE", 12},
    {"COPY_INVERTED", 13}, {"OR_INVERTED", 14}, {"NAND", 15}, {"SET", 16},
};
const NamedValue s_akValues19[] = {
    {"1X", 0}, {"2X", 1}, {"4X", 2},
};
const NamedValue s_akValues20[] = {
    {"TOCOVERAGE", 0}, {"TOONE", 1},
};
const NamedValue s_akValues21[] = {
    {"ENABLE", 0}, {"DISABLE", 1},
};
const NamedValue s_akValues22[] = {
    {"LINEAR", 0}, {"QUADRATIC", 1}, {"CUBIC", 2}, {"QUINTIC", 3},
};
const NamedValue s_akValues23[] = {
    {"LINEAR", 1}, {"QUADRATIC", 2}, {"CUBIC", 3},
};

const ValueTable s_akTables[] = {
    {{0, 1, 13, 86, 123}, 5, s_akValues0, 8},
    {{5, 6, 139, 140}, 4, s_akValues1, 17},
    {{9}, 1, s_akValues2, 3},
    {{11, 12, 75, 120, 121, 122}, 6, s_akValues3, 8},
    {{17, 141}, 2, s_akValues4, 7},
    {{19}, 1, s_akValues5, 6},
    {{25}, 1, s_akValues6, 3},
    {{28, 99}, 2, s_akValues7, 4},
    {{33, 34, 35, 36, 37, 38, 39, 40, 130, 131, 132, 133, 134, 135, 136, 137}, 16, s_akValues8, 8},
    {{45, 46, 47, 48, 49, 50, 51, 52}, 8, s_akValues9, 3},
    {{63}, 1, s_akValues10, 2},
    {{65}, 1, s_akValues11, 7},
    {{66}, 1, s_akValues12, 8},
    {{67}, 1, s_akValues13, 9},
    {{69, 70}, 2, s_akValues14, 3},
    {{73}, 1, s_akValues15, 3},
    {{76}, 1, s_akValues16, 2},
    {{77}, 1, s_akValues17, 3},
    {{80}, 1, s_akValues18, 18},
    {{84, 85}, 2, s_akValues19, 3},
    {{88}, 1, s_akValues20, 2},
    {{102}, 1, s_akValues21, 2},
    {{105, 106}, 2, s_akValues22, 4},
    {{107, 108}, 2, s_akValues23, 3},
};

bool Same(const char* pcA, const char* pcB)
{
    return strcasecmp(pcA, pcB) == 0;
}

using Entry = NiD3DShaderConstantMapEntry;

constexpr std::uint32_t T_UINT = Entry::SCME_TYPE_UNSIGNEDINT;
constexpr std::uint32_t T_FLOAT = Entry::SCME_TYPE_FLOAT;
constexpr std::uint32_t T_POINT2 = Entry::SCME_TYPE_POINT2;
constexpr std::uint32_t T_POINT3 = Entry::SCME_TYPE_POINT3;
constexpr std::uint32_t T_POINT4 = Entry::SCME_TYPE_POINT4;
constexpr std::uint32_t T_MATRIX3 = Entry::SCME_TYPE_MATRIX3;
constexpr std::uint32_t T_MATRIX4 = Entry::SCME_TYPE_MATRIX4;
constexpr std::uint32_t T_COLOR = Entry::SCME_TYPE_COLOR;

bool IsScalar(std::uint32_t uiType)
{
    return uiType == T_UINT || uiType == T_FLOAT;
}

std::uint32_t MultiplyResult(std::uint32_t uiFirst, std::uint32_t uiSecond)
{
    switch (uiFirst)
    {
    case T_UINT:
    case T_FLOAT:
        if (IsScalar(uiSecond))
            return uiFirst == T_UINT && uiSecond == T_UINT ? T_UINT : (uiFirst == T_UINT ? uiSecond : T_FLOAT);
        if (uiSecond >= T_POINT2 && uiSecond <= T_COLOR)
            return uiSecond;
        return 0;
    case T_POINT2:
        return IsScalar(uiSecond) || uiSecond == T_POINT2 ? T_POINT2 : 0;
    case T_POINT3:
        return IsScalar(uiSecond) || uiSecond == T_POINT3 || uiSecond == T_MATRIX3 ? T_POINT3 : 0;
    case T_POINT4:
        return IsScalar(uiSecond) || uiSecond == T_POINT4 || uiSecond == T_MATRIX4 ? T_POINT4 : 0;
    case T_MATRIX3:
        if (uiSecond == T_UINT || uiSecond == T_POINT3)
            return T_POINT3;
        return uiSecond == T_FLOAT || uiSecond == T_MATRIX3 ? T_MATRIX3 : 0;
    case T_MATRIX4:
        if (IsScalar(uiSecond) || uiSecond == T_MATRIX4)
            return T_MATRIX4;
        if (uiSecond == T_POINT4)
            return T_POINT4;
        return uiSecond == T_COLOR ? T_COLOR : 0;
    case T_COLOR:
        return IsScalar(uiSecond) || uiSecond == T_POINT4 || uiSecond == T_MATRIX4 || uiSecond == T_COLOR ? T_COLOR
                                                                                                           : 0;
    default:
        return 0;
    }
}

std::uint32_t DivideResult(std::uint32_t uiFirst, std::uint32_t uiSecond)
{
    if (IsScalar(uiFirst))
        return IsScalar(uiSecond) ? T_FLOAT : 0;
    switch (uiFirst)
    {
    case T_POINT2:
    case T_POINT3:
    case T_POINT4:
    case T_COLOR:
        return IsScalar(uiSecond) || uiSecond == uiFirst ? uiFirst : 0;
    default:
        return 0;
    }
}

std::uint32_t AddResult(std::uint32_t uiFirst, std::uint32_t uiSecond)
{
    if (IsScalar(uiFirst))
    {
        if (!IsScalar(uiSecond))
            return 0;
        return uiFirst == T_UINT && uiSecond == T_UINT ? T_UINT : T_FLOAT;
    }
    if (uiFirst >= T_POINT2 && uiFirst <= T_COLOR)
        return uiSecond == uiFirst ? uiFirst : 0;
    return 0;
}

bool AddToCurrentMap(const char* pcKey, std::uint32_t uiFlags, std::uint32_t uiExtra, std::uint32_t uiRegister,
                     std::uint32_t uiCount, std::uint32_t uiDataSize, const void* pvData)
{
    NSFGrammarActions::Context& kContext = NSFGrammarActions::GetContext();
    NSBConstantMap* pkMap = kContext.m_pkConstantMap;
    if (kContext.m_bPlatformBlock)
        return pkMap->AddPlatformSpecificEntry(kContext.m_uiPlatformMask, pcKey, uiFlags, uiExtra, uiRegister,
                                               uiCount, nullptr, uiDataSize, uiDataSize, pvData, pvData != nullptr);
    return pkMap->AddEntry(pcKey, uiFlags, uiExtra, uiRegister, uiCount, nullptr, uiDataSize, uiDataSize, pvData,
                           pvData != nullptr);
}
} // namespace

std::uint32_t NSFVocabulary::LookupRenderState(const char* pcName)
{
    if (pcName == nullptr || *pcName == '\0')
        return UNKNOWN_RENDER_STATE;
    for (std::uint32_t ui = 0; ui < RENDER_STATE_COUNT; ++ui)
    {
        if (Same(pcName, s_apcStates[ui]))
            return ui;
    }
    return UNKNOWN_RENDER_STATE;
}

const char* NSFVocabulary::GetRenderStateName(std::uint32_t uiState)
{
    return uiState < RENDER_STATE_COUNT ? s_apcStates[uiState] : nullptr;
}

bool NSFVocabulary::LookupRenderStateValue(std::uint32_t uiState, const char* pcValue, std::uint32_t& uiValue)
{
    uiValue = 0;
    if (pcValue == nullptr || *pcValue == '\0' || uiState > LAST_NAMED_VALUE_STATE)
        return false;
    for (const ValueTable& kTable : s_akTables)
    {
        bool bMine = false;
        for (std::uint32_t ui = 0; ui < kTable.m_uiStateCount; ++ui)
            bMine = bMine || kTable.m_auiStates[ui] == uiState;
        if (!bMine)
            continue;
        for (std::uint32_t ui = 0; ui < kTable.m_uiValueCount; ++ui)
        {
            if (Same(pcValue, kTable.m_pkValues[ui].m_pcName))
            {
                uiValue = kTable.m_pkValues[ui].m_uiValue;
                return true;
            }
        }
        return false;
    }
    return false;
}

std::uint32_t NSFVocabulary::ParsePlatformName(const char* pcName)
{
    if (pcName == nullptr)
        return 0;
    static const NamedValue s_akPlatforms[] = {{"DX8", 1}, {"DX9", 2}, {"XBOX", 4}, {"XENON", 8}};
    for (const NamedValue& kPlatform : s_akPlatforms)
    {
        if (Same(pcName, kPlatform.m_pcName))
            return kPlatform.m_uiValue;
    }
    return 0;
}

std::uint32_t NSFVocabulary::OperatorResultType(std::uint32_t uiOperator, std::uint32_t uiFirst,
                                                std::uint32_t uiSecond)
{
    switch (uiOperator)
    {
    case OPERATOR_MULTIPLY: return MultiplyResult(uiFirst, uiSecond);
    case OPERATOR_DIVIDE: return DivideResult(uiFirst, uiSecond);
    case OPERATOR_ADD:
    case OPERATOR_SUBTRACT: return AddResult(uiFirst, uiSecond);
    default: return 0;
    }
}

std::uint32_t NSFVocabulary::GetEntryValueType(const NiD3DShaderConstantMapEntry* pkEntry)
{
    // The map's type byte and the attribute codes are one numbering.
    return pkEntry != nullptr ? pkEntry->GetValueType() : 0;
}

bool NSFVocabulary::SetupOperatorEntry(const char* pcName, std::uint32_t uiRegister, std::uint32_t uiCount,
                                       const char* pcFirst, std::uint32_t uiOperator, const char* pcSecond,
                                       bool bInverse, bool bTranspose)
{
    NSFGrammarActions::Context& kContext = NSFGrammarActions::GetContext();
    NSBConstantMap* pkMap = kContext.m_pkConstantMap;
    if (pkMap == nullptr)
        return false;
    const Entry* apkOperand[2] = {pkMap->FindEntry(pcFirst), pkMap->FindEntry(pcSecond)};
    if (apkOperand[0] == nullptr || apkOperand[1] == nullptr)
    {
        ReportParseError("CM_Operator operand not found\n");
        return false;
    }
    std::uint32_t auiIndex[2] = {};
    std::uint32_t auiType[2] = {};
    for (int i = 0; i < 2; ++i)
    {
        const std::uint32_t uiKind = apkOperand[i]->GetFlags() & Entry::SCME_MAP_MASK;
        if (uiKind != Entry::SCME_MAP_CONSTANT && uiKind != Entry::SCME_MAP_DEFINED &&
            uiKind != Entry::SCME_MAP_ATTRIBUTE && uiKind != Entry::SCME_MAP_GLOBAL)
        {
            ReportParseError("CM_Operator operand INVALID TYPE\n");
            return false;
        }
    }
    for (int i = 0; i < 2; ++i)
    {
        // A position beyond 12 bits would spill into the other operand.
        const std::int32_t iIndex = pkMap->GetEntryIndex(apkOperand[i]->GetKey());
        if (iIndex < 0 || static_cast<std::uint32_t>(iIndex) > MAX_OPERAND_INDEX)
        {
            ReportParseError("CM_Operator operand INVALID INDEX\n");
            return false;
        }
        auiIndex[i] = static_cast<std::uint32_t>(iIndex);
    }
    for (int i = 0; i < 2; ++i)
    {
        if ((apkOperand[i]->GetFlags() & Entry::SCME_MAP_MASK) != Entry::SCME_MAP_DEFINED)
            auiType[i] = GetEntryValueType(apkOperand[i]);
        else if (kContext.m_uiMapKind == 0)
        {
            Entry kProbe;
            kProbe.SetKey(apkOperand[i]->GetKey());
            kProbe.SetExtra(apkOperand[i]->GetExtra());
            NiD3DVertexShaderConstantMap kVertexMap(nullptr);
            kVertexMap.SetupDefinedEntry(&kProbe);
            auiType[i] = kProbe.GetValueType();
        }
        else
            auiType[i] = T_POINT4;
        if (auiType[i] == 0 || IsBoolType(auiType[i]) || IsStringType(auiType[i]) || IsTextureType(auiType[i]))
        {
            ReportParseError("Invalid Operator Type");
            return false;
        }
    }
    const std::uint32_t uiResult = OperatorResultType(uiOperator, auiType[0], auiType[1]);
    if (uiResult == 0)
    {
        ReportParseError("Invalid Operator - Result was invalid");
        return false;
    }
    std::uint32_t uiOperands = (auiIndex[1] << 12) | auiIndex[0] | uiOperator;
    if (bTranspose)
        uiOperands |= OPERATOR_TRANSPOSE;
    if (bInverse)
        uiOperands |= OPERATOR_INVERSE;
    return AddToCurrentMap(pcName, Entry::SCME_MAP_OPERATOR | uiResult, uiOperands, uiRegister, uiCount, 0, nullptr);
}

bool NSFVocabulary::AddGlobalAttributeToConstantMap(const char* pcName, std::uint32_t uiRegister,
                                                    std::uint32_t uiCount)
{
    NSFGrammarActions::Context& kContext = NSFGrammarActions::GetContext();
    if (kContext.m_pkConstantMap == nullptr || kContext.m_pkShader == nullptr)
        return false;
    const NSBAttributeDesc* pkDesc = kContext.m_pkShader->GetGlobalAttributeTable().GetAttribDescByName(pcName);
    if (pkDesc == nullptr)
        return true;
    float afData[16] = {};
    std::uint32_t uiWord = 0;
    bool bValue = false;
    const void* pvData = afData;
    std::uint32_t uiSize = 0;
    switch (pkDesc->GetType())
    {
    case NSBAttributeDesc::ATTRIB_TYPE_BOOL:
        pkDesc->GetValue_Bool(bValue);
        pvData = &bValue;
        uiSize = 1;
        break;
    case NSBAttributeDesc::ATTRIB_TYPE_UNSIGNEDINT:
        pkDesc->GetValue_UnsignedInt(uiWord);
        pvData = &uiWord;
        uiSize = 4;
        break;
    case NSBAttributeDesc::ATTRIB_TYPE_FLOAT: pkDesc->GetValue_Float(afData[0]); uiSize = 4; break;
    case NSBAttributeDesc::ATTRIB_TYPE_POINT2: pkDesc->GetValue_Point2(afData); uiSize = 8; break;
    case NSBAttributeDesc::ATTRIB_TYPE_POINT3: pkDesc->GetValue_Point3(afData); uiSize = 12; break;
    case NSBAttributeDesc::ATTRIB_TYPE_POINT4: pkDesc->GetValue_Point4(afData); uiSize = 16; break;
    case NSBAttributeDesc::ATTRIB_TYPE_MATRIX3: pkDesc->GetValue_Matrix3(afData); uiSize = 36; break;
    case NSBAttributeDesc::ATTRIB_TYPE_MATRIX4: pkDesc->GetValue_Matrix4(afData); uiSize = 64; break;
    case NSBAttributeDesc::ATTRIB_TYPE_COLOR: pkDesc->GetValue_Color(afData); uiSize = 16; break;
    default: return false;
    }
    return AddToCurrentMap(pcName, Entry::SCME_MAP_GLOBAL | pkDesc->GetType(), 0, uiRegister, uiCount, uiSize,
                           pvData);
}
