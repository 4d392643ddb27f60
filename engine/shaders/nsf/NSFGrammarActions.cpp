#include "engine/shaders/nsf/NSFGrammarActions.h"

#include "engine/shaders/framework/NiD3DShaderConstantMapEntry.h"
#include "engine/shaders/framework/NiShaderFactory.h"
#include "engine/shaders/nsb/NSBAttributeDesc.h"
#include "engine/shaders/nsb/NSBAttributeTable.h"
#include "engine/shaders/nsb/NSBConstantMap.h"
#include "engine/shaders/nsb/NSBImplementation.h"
#include "engine/shaders/nsb/NSBPackingDef.h"
#include "engine/shaders/nsb/NSBPass.h"
#include "engine/shaders/nsb/NSBRequirements.h"
#include "engine/shaders/nsb/NSBShader.h"
#include "engine/shaders/nsb/NSBStateGroup.h"
#include "engine/shaders/nsb/NSBTextureStage.h"
#include "engine/shaders/nsb/NSBUserDefinedDataBlock.h"
#include "engine/shaders/nsb/NSBUserDefinedDataSet.h"
#include "engine/shaders/nsf/NSFScanner.h"
#include "engine/shaders/nsf/NSFSourceFile.h"
#include "engine/shaders/nsf/NSFVocabulary.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace
{
NSFGrammarActions::Context s_kContext;
std::vector<NiRefPtr<NSBShader>> s_kParsedShaders;
NSFGrammarActions::RuleRecorder s_pfnRuleRecorder = nullptr;
// The value of every empty optional text; never freed.
char s_acEmpty[1] = {'\0'};

using Entry = NiD3DShaderConstantMapEntry;

const char* SourcePath()
{
    const NSFSourceFile* pkSource = NSFSourceFile::GetCurrent();
    return pkSource != nullptr ? pkSource->GetPath() : "*** Unknown File ***";
}

// Checks of the actions: reported, not counted as errors of the file.
template <typename... Args>
void ReportCheck(const char* pcFormat, Args... kArgs)
{
    NiShaderFactory::ReportError(NiShaderFactory::ERROR_GENERAL, true, pcFormat, SourcePath(), kArgs...);
}

void ReportCreator(const char* pcCreator, const char* pcName)
{
    NiShaderFactory::ReportError(NiShaderFactory::ERROR_GENERAL, true,
                                 "* PARSE ERROR: %s\n    %s at line %d\n    Desc name = %s\n", SourcePath(),
                                 pcCreator, GetLineNumber(), pcName);
}

// A range float as an unsigned bound: negative and NaN give 0, too large
// the largest; truncated otherwise.
std::uint32_t ClampToUnsigned(float fValue)
{
    if (!(fValue > 0.0f))
        return 0;
    if (fValue >= 4294967295.0f)
        return UINT32_MAX;
    return static_cast<std::uint32_t>(fValue);
}

bool AddMapEntry(const char* pcKey, std::uint32_t uiFlags, std::uint32_t uiExtra, std::uint32_t uiRegister,
                 std::uint32_t uiCount, const char* pcVariable, std::uint32_t uiSize, std::uint32_t uiStride,
                 const void* pvData, bool bCopy)
{
    NSBConstantMap* pkMap = s_kContext.m_pkConstantMap;
    if (pkMap == nullptr)
        return false;
    if (s_kContext.m_bPlatformBlock)
        return pkMap->AddPlatformSpecificEntry(s_kContext.m_uiPlatformMask, pcKey, uiFlags, uiExtra, uiRegister,
                                               uiCount, pcVariable, uiSize, uiStride, pvData, bCopy);
    return pkMap->AddEntry(pcKey, uiFlags, uiExtra, uiRegister, uiCount, pcVariable, uiSize, uiStride, pvData,
                           bCopy);
}

// The four words of a colour bound: a bound of three takes alpha 1.0.
void ColorBound(const float* pfSource, std::uint32_t uiCount, float* pfBound)
{
    for (std::uint32_t ui = 0; ui < 4; ++ui)
        pfBound[ui] = ui < uiCount ? pfSource[ui] : 1.0f;
}

void SetProgram(NSBPass* pkPass, bool bPixel, std::uint32_t uiSlot, const char* pcFile)
{
    if (bPixel)
        pkPass->SetPixelShaderProgramFile(uiSlot, pcFile);
    else
        pkPass->SetVertexShaderProgramFile(uiSlot, pcFile);
}
} // namespace

NSFGrammarActions::Context& NSFGrammarActions::GetContext()
{
    return s_kContext;
}

std::vector<NiRefPtr<NSBShader>>& NSFGrammarActions::GetParsedShaders()
{
    return s_kParsedShaders;
}

void NSFGrammarActions::Reset()
{
    s_kContext = Context();
    s_kParsedShaders.clear();
}

void NSFGrammarActions::SetRuleRecorder(RuleRecorder pfnRecorder)
{
    s_pfnRuleRecorder = pfnRecorder;
    SetParserTrace(pfnRecorder != nullptr);
}

int NSFGrammarActions::Trace(std::FILE*, const char* pcFormat, ...)
{
    static const char s_acReducing[] = "Reducing stack by rule %d (line %d):\n";
    if (s_pfnRuleRecorder == nullptr || std::strcmp(pcFormat, s_acReducing) != 0)
        return 0;
    std::va_list kArgs;
    va_start(kArgs, pcFormat);
    const int iRule = va_arg(kArgs, int);
    va_end(kArgs);
    s_pfnRuleRecorder(iRule);
    return 0;
}

// ---- strings ----

char* NSFGrammarActions::EmptyString()
{
    return s_acEmpty;
}

void NSFGrammarActions::FreeString(char* pcText)
{
    if (pcText != s_acEmpty)
        std::free(pcText);
}

char* NSFGrammarActions::JoinStrings(char* pcFirst, char* pcSecond)
{
    const std::size_t uiFirst = std::strlen(pcFirst);
    const std::size_t uiSecond = std::strlen(pcSecond);
    if (pcFirst == s_acEmpty)
        return pcSecond;
    char* pcJoined = static_cast<char*>(std::realloc(pcFirst, uiFirst + uiSecond + 1));
    if (pcJoined == nullptr)
    {
        FreeString(pcSecond);
        return pcFirst;
    }
    std::memcpy(pcJoined + uiFirst, pcSecond, uiSecond + 1);
    FreeString(pcSecond);
    return pcJoined;
}

// ---- values ----

void NSFGrammarActions::ClearValues()
{
    // Bounds start at zero, so an entry without a range never carries one
    // left by an earlier entry.
    std::fill(std::begin(s_kContext.m_afValues), std::end(s_kContext.m_afValues), 0.0f);
    std::fill(std::begin(s_kContext.m_afMin), std::end(s_kContext.m_afMin), 0.0f);
    std::fill(std::begin(s_kContext.m_afMax), std::end(s_kContext.m_afMax), 0.0f);
    s_kContext.m_uiValueCount = 0;
    s_kContext.m_uiMinCount = 0;
    s_kContext.m_uiMaxCount = 0;
    s_kContext.m_bRangePresent = false;
}

std::uint32_t NSFGrammarActions::AppendValues(const float* pfValues, std::uint32_t uiCount)
{
    for (std::uint32_t ui = 0; ui < uiCount && s_kContext.m_uiValueCount < VALUE_BUFFER_SIZE; ++ui)
        s_kContext.m_afValues[s_kContext.m_uiValueCount++] = pfValues[ui];
    return uiCount;
}

void NSFGrammarActions::AppendRange(const float* pfMin, const float* pfMax, std::uint32_t uiCount)
{
    for (std::uint32_t ui = 0; ui < uiCount && s_kContext.m_uiMinCount < VALUE_BUFFER_SIZE; ++ui)
        s_kContext.m_afMin[s_kContext.m_uiMinCount++] = pfMin[ui];
    for (std::uint32_t ui = 0; ui < uiCount && s_kContext.m_uiMaxCount < VALUE_BUFFER_SIZE; ++ui)
        s_kContext.m_afMax[s_kContext.m_uiMaxCount++] = pfMax[ui];
    s_kContext.m_bRangePresent = true;
}

void NSFGrammarActions::SetRangePresent(bool bPresent)
{
    s_kContext.m_bRangePresent = bPresent;
}

std::uint32_t NSFGrammarActions::FloatBits(float fValue)
{
    std::uint32_t uiBits;
    std::memcpy(&uiBits, &fValue, sizeof(uiBits));
    return uiBits;
}

// ---- shaders and attributes ----

void NSFGrammarActions::StartShader(char* pcName)
{
    // The shader's own items start empty; values, the pending pair, the
    // platform items and user data keep theirs.
    s_kContext.m_pkAttributeTable = nullptr;
    s_kContext.m_bGlobalTable = false;
    s_kContext.m_uiStream = 0;
    s_kContext.m_bFixedFunction = false;
    s_kContext.m_pkPackingDef = nullptr;
    s_kContext.m_pkRequirements = nullptr;
    s_kContext.m_uiImplementationCounter = 0;
    s_kContext.m_pkImplementation = nullptr;
    s_kContext.m_pkRenderStateGroup = nullptr;
    s_kContext.m_pkConstantMap = nullptr;
    s_kContext.m_uiPassCounter = 0;
    s_kContext.m_pkPass = nullptr;
    s_kContext.m_pkStage = nullptr;
    NiRefPtr<NSBShader> spShader = new NSBShader;
    spShader->SetName(pcName);
    s_kParsedShaders.push_back(spShader);
    s_kContext.m_pkShader = spShader.Get();
    FreeString(pcName);
}

void NSFGrammarActions::SetShaderDescription(char* pcDescription)
{
    if (s_kContext.m_pkShader != nullptr)
        s_kContext.m_pkShader->SetDescription(pcDescription);
    FreeString(pcDescription);
}

void NSFGrammarActions::EndShader()
{
    s_kContext.m_pkShader = nullptr;
}

void NSFGrammarActions::OpenAttributeTable(bool bGlobal)
{
    if (s_kContext.m_pkShader == nullptr)
        return;
    s_kContext.m_pkAttributeTable = bGlobal ? &s_kContext.m_pkShader->GetGlobalAttributeTable()
                                            : &s_kContext.m_pkShader->GetAttributeTable();
    s_kContext.m_bGlobalTable = bGlobal;
}

void NSFGrammarActions::CloseAttributeTable()
{
    s_kContext.m_pkAttributeTable = nullptr;
}

void NSFGrammarActions::AddBoolAttribute(char* pcName, unsigned char ucHidden, unsigned char ucValue)
{
    NSBAttributeTable* pkTable = s_kContext.m_pkAttributeTable;
    if (pkTable != nullptr && !pkTable->AddAttribDesc_Bool(pcName, nullptr, ucHidden != 0, ucValue != 0))
        ReportCreator("AddAttribDesc_Bool", pcName);
    FreeString(pcName);
}

void NSFGrammarActions::AddUnsignedIntAttribute(char* pcName, unsigned char ucHidden, int iValue)
{
    NSBAttributeTable* pkTable = s_kContext.m_pkAttributeTable;
    std::uint32_t uiMin = 0;
    std::uint32_t uiMax = 0;
    if (s_kContext.m_bRangePresent && !s_kContext.m_bGlobalTable)
    {
        uiMin = ClampToUnsigned(s_kContext.m_afMin[0]);
        uiMax = ClampToUnsigned(s_kContext.m_afMax[0]);
    }
    if (pkTable != nullptr &&
        !pkTable->AddAttribDesc_UnsignedInt(pcName, nullptr, ucHidden != 0, static_cast<std::uint32_t>(iValue),
                                            uiMin, uiMax))
        ReportCreator("AddAttribDesc_UnsignedInt", pcName);
    FreeString(pcName);
}

void NSFGrammarActions::AddFloatAttribute(char* pcName, unsigned char ucHidden, float fValue)
{
    NSBAttributeTable* pkTable = s_kContext.m_pkAttributeTable;
    float fMin = 0.0f;
    float fMax = 0.0f;
    if (s_kContext.m_bRangePresent && !s_kContext.m_bGlobalTable)
    {
        fMin = s_kContext.m_afMin[0];
        fMax = s_kContext.m_afMax[0];
    }
    if (pkTable != nullptr && !pkTable->AddAttribDesc_Float(pcName, nullptr, ucHidden != 0, fValue, fMin, fMax))
        ReportCreator("AddAttribDesc_Float", pcName);
    FreeString(pcName);
}

void NSFGrammarActions::AddPointAttribute(char* pcName, unsigned char ucHidden, std::uint32_t uiCount)
{
    NSBAttributeTable* pkTable = s_kContext.m_pkAttributeTable;
    if (pkTable != nullptr)
    {
        // Without a range clause the entry has no bounds at all.
        const float* pfMin = s_kContext.m_bRangePresent ? s_kContext.m_afMin : nullptr;
        const float* pfMax = s_kContext.m_bRangePresent ? s_kContext.m_afMax : nullptr;
        const bool bHidden = ucHidden != 0;
        bool bAdded = false;
        const char* pcCreator = "AddAttribDesc_Point2";
        if (uiCount == 2)
            bAdded = pkTable->AddAttribDesc_Point2(pcName, nullptr, bHidden, s_kContext.m_afValues, pfMin, pfMax);
        else if (uiCount == 3)
        {
            pcCreator = "AddAttribDesc_Point3";
            bAdded = pkTable->AddAttribDesc_Point3(pcName, nullptr, bHidden, s_kContext.m_afValues, pfMin, pfMax);
        }
        else
        {
            pcCreator = "AddAttribDesc_Point4";
            bAdded = pkTable->AddAttribDesc_Point4(pcName, nullptr, bHidden, s_kContext.m_afValues, pfMin, pfMax);
        }
        if (!bAdded)
            ReportCreator(pcCreator, pcName);
    }
    FreeString(pcName);
}

void NSFGrammarActions::AddMatrixAttribute(char* pcName, unsigned char ucHidden, std::uint32_t uiCount)
{
    NSBAttributeTable* pkTable = s_kContext.m_pkAttributeTable;
    if (pkTable != nullptr)
    {
        if (uiCount == 9)
        {
            if (!pkTable->AddAttribDesc_Matrix3(pcName, nullptr, ucHidden != 0, s_kContext.m_afValues))
                ReportCreator("AddAttribDesc_Matrix3", pcName);
        }
        else if (!pkTable->AddAttribDesc_Matrix4(pcName, nullptr, ucHidden != 0, s_kContext.m_afValues))
            ReportCreator("AddAttribDesc_Matrix4", pcName);
    }
    FreeString(pcName);
}

void NSFGrammarActions::AddColorAttribute(char* pcName, unsigned char ucHidden, std::uint32_t uiCount)
{
    NSBAttributeTable* pkTable = s_kContext.m_pkAttributeTable;
    if (pkTable != nullptr)
    {
        float afMin[4];
        float afMax[4];
        ColorBound(s_kContext.m_afMin, s_kContext.m_uiMinCount, afMin);
        ColorBound(s_kContext.m_afMax, s_kContext.m_uiMaxCount, afMax);
        const float* pfMin = s_kContext.m_bRangePresent ? afMin : nullptr;
        const float* pfMax = s_kContext.m_bRangePresent ? afMax : nullptr;
        if (uiCount == 3)
        {
            if (!pkTable->AddAttribDesc_Color(pcName, nullptr, ucHidden != 0, s_kContext.m_afValues, pfMin, pfMax))
                ReportCreator("AddAttribDesc_Color", pcName);
        }
        else if (!pkTable->AddAttribDesc_ColorA(pcName, nullptr, ucHidden != 0, s_kContext.m_afValues, pfMin,
                                                pfMax))
            ReportCreator("AddAttribDesc_ColorA", pcName);
    }
    FreeString(pcName);
}

void NSFGrammarActions::AddTextureAttribute(char* pcName, unsigned char ucHidden, int iSlot, char* pcFile)
{
    NSBAttributeTable* pkTable = s_kContext.m_pkAttributeTable;
    if (pkTable != nullptr &&
        !pkTable->AddAttribDesc_Texture(pcName, nullptr, ucHidden != 0, static_cast<std::uint32_t>(iSlot), pcFile))
        ReportCreator("AddAttribDesc_Texture", pcName);
    FreeString(pcName);
    FreeString(pcFile);
}

// ---- user-defined data ----

void NSFGrammarActions::OpenUserDataBlock(char* pcName)
{
    ClearValues();
    s_kContext.m_pkUserDataSet = nullptr;
    s_kContext.m_pkUserDataBlock = nullptr;
    NSBUserDefinedDataSet* pkSet = nullptr;
    bool bOwner = true;
    if (s_kContext.m_pkPass != nullptr)
    {
        pkSet = s_kContext.m_pkPass->GetUserDefinedDataSet();
        if (pkSet == nullptr)
        {
            pkSet = new NSBUserDefinedDataSet;
            s_kContext.m_pkPass->SetUserDefinedDataSet(pkSet);
        }
    }
    else if (s_kContext.m_pkImplementation != nullptr)
    {
        pkSet = s_kContext.m_pkImplementation->GetUserDefinedDataSet();
        if (pkSet == nullptr)
        {
            pkSet = new NSBUserDefinedDataSet;
            s_kContext.m_pkImplementation->SetUserDefinedDataSet(pkSet);
        }
    }
    else if (s_kContext.m_pkShader != nullptr)
    {
        pkSet = s_kContext.m_pkShader->GetUserDefinedDataSet();
        if (pkSet == nullptr)
        {
            pkSet = new NSBUserDefinedDataSet;
            s_kContext.m_pkShader->SetUserDefinedDataSet(pkSet);
        }
    }
    else
        bOwner = false;
    if (bOwner && pkSet != nullptr)
    {
        s_kContext.m_pkUserDataSet = pkSet;
        NSBUserDefinedDataBlock* pkBlock = pkSet->GetBlock(pcName, false);
        if (pkBlock != nullptr)
            ReportCheck("* PARSE ERROR: %s\n    UserDefinedDataBlock at line %d\n    Name = %s\n\t ALREADY EXISTS!\n",
                        GetLineNumber(), pcName);
        else
            pkBlock = pkSet->GetBlock(pcName, true);
        s_kContext.m_pkUserDataBlock = pkBlock;
    }
    FreeString(pcName);
}

void NSFGrammarActions::CloseUserDataBlock()
{
    s_kContext.m_pkUserDataSet = nullptr;
    s_kContext.m_pkUserDataBlock = nullptr;
}

namespace
{
void AddUserData(char* pcKey, std::uint32_t uiFlags, std::uint32_t uiSize, std::uint32_t uiStride,
                 const void* pvData)
{
    NSBUserDefinedDataBlock* pkBlock = NSFGrammarActions::GetContext().m_pkUserDataBlock;
    if (pkBlock != nullptr && !pkBlock->AddEntry(pcKey, uiFlags, uiSize, uiStride, pvData, true))
        ReportCheck("* PARSE ERROR: %s\n    UserDefinedData at line %d\n    Name = %s\n\t Failed to add!\n",
                    GetLineNumber(), pcKey);
    NSFGrammarActions::FreeString(pcKey);
}
} // namespace

void NSFGrammarActions::AddUserDataInt(char* pcKey, int iValue)
{
    AddUserData(pcKey, 0x30000003, 4, 4, &iValue);
}

void NSFGrammarActions::AddUserDataBool(char* pcKey, unsigned char ucValue)
{
    const unsigned char ucByte = ucValue != 0 ? 1 : 0;
    AddUserData(pcKey, 0x30000001, 1, 1, &ucByte);
}

void NSFGrammarActions::AddUserDataFloats(char* pcKey, std::uint32_t uiCount)
{
    std::uint32_t uiType = 0;
    switch (uiCount)
    {
    case 1: uiType = 4; break;
    case 2: uiType = 5; break;
    case 3: uiType = 6; break;
    case 4: uiType = 7; break;
    case 8: uiType = 12; break;
    case 9: uiType = 8; break;
    case 12: uiType = 13; break;
    default: uiType = 9; break;
    }
    AddUserData(pcKey, 0x30000000 + uiType, 4 * uiCount, 4, s_kContext.m_afValues);
    ClearValues();
}

void NSFGrammarActions::AddUserDataString(char* pcKey, char* pcValue)
{
    const std::uint32_t uiLength = static_cast<std::uint32_t>(std::strlen(pcValue));
    AddUserData(pcKey, 0x30000002, uiLength, uiLength, pcValue);
    FreeString(pcValue);
}

// ---- packing definitions ----

void NSFGrammarActions::OpenPackingDef(char* pcName)
{
    if (s_kContext.m_pkShader != nullptr)
        s_kContext.m_pkPackingDef = s_kContext.m_pkShader->GetPackingDef(pcName, true);
    s_kContext.m_bFixedFunction = false;
    FreeString(pcName);
}

void NSFGrammarActions::ClosePackingDef()
{
    s_kContext.m_pkPackingDef = nullptr;
}

void NSFGrammarActions::ReferencePackingDef(char* pcName)
{
    if (s_kContext.m_pkShader != nullptr)
    {
        if (s_kContext.m_pkShader->GetPackingDef(pcName, false) != nullptr)
        {
            if (s_kContext.m_pkImplementation != nullptr)
                s_kContext.m_pkImplementation->SetPackingDef(pcName);
        }
        else
            ReportCheck("* PARSE ERROR: %s\n    PackingDefinition %s\n    at line %d\n    NOT FOUND!\n", pcName,
                        GetLineNumber());
    }
    FreeString(pcName);
}

void NSFGrammarActions::SetStream(int iStream)
{
    s_kContext.m_uiStream = static_cast<std::uint32_t>(iStream);
}

void NSFGrammarActions::SetFixedFunction(unsigned char ucOn)
{
    s_kContext.m_bFixedFunction = ucOn != 0;
    if (s_kContext.m_pkPackingDef != nullptr)
        s_kContext.m_pkPackingDef->SetFixedFunction(ucOn != 0);
}

void NSFGrammarActions::AddPackingEntry(std::uint32_t uiInput, int iRegister, std::uint32_t uiType,
                                        std::uint32_t uiTesselator, std::uint32_t uiUsage, int iUsageIndex)
{
    NSBPackingDef* pkDef = s_kContext.m_pkPackingDef;
    if (pkDef == nullptr)
        return;
    if (!pkDef->AddPackingEntry(s_kContext.m_uiStream, static_cast<std::uint32_t>(iRegister),
                                static_cast<std::int32_t>(uiInput), uiType, uiTesselator, uiUsage,
                                static_cast<std::uint32_t>(iUsageIndex)))
        ReportCheck("* PARSE ERROR: %s\n    PackingDefinition failed AddPackingEntry\n    at line %d\n",
                    GetLineNumber());
}

// ---- implementations, requirements, passes ----

void NSFGrammarActions::OpenImplementation(char* pcName)
{
    if (s_kContext.m_pkShader != nullptr)
    {
        NSBImplementation* pkImplementation =
            s_kContext.m_pkShader->AddImplementation(pcName, true, s_kContext.m_uiImplementationCounter);
        s_kContext.m_pkImplementation = pkImplementation;
        if (pkImplementation != nullptr && pkImplementation->GetIndex() == s_kContext.m_uiImplementationCounter)
            ++s_kContext.m_uiImplementationCounter;
    }
    s_kContext.m_uiPassCounter = 0;
    FreeString(pcName);
}

void NSFGrammarActions::SetImplementationDescription(char* pcDescription)
{
    if (s_kContext.m_pkImplementation != nullptr)
        s_kContext.m_pkImplementation->SetDesc(pcDescription);
    FreeString(pcDescription);
}

void NSFGrammarActions::CloseImplementation()
{
    s_kContext.m_pkImplementation = nullptr;
}

void NSFGrammarActions::SetClassName(char* pcName)
{
    if (s_kContext.m_pkImplementation != nullptr)
        s_kContext.m_pkImplementation->SetClassName(pcName);
    FreeString(pcName);
}

void NSFGrammarActions::OpenRequirements()
{
    s_kContext.m_pkRequirements =
        s_kContext.m_pkImplementation != nullptr ? s_kContext.m_pkImplementation->GetRequirements() : nullptr;
}

void NSFGrammarActions::CloseRequirements()
{
    if (s_kContext.m_pkShader != nullptr && s_kContext.m_pkRequirements != nullptr)
        s_kContext.m_pkShader->AddRequirements(*s_kContext.m_pkRequirements);
    s_kContext.m_pkRequirements = nullptr;
}

void NSFGrammarActions::SetVSVersion(std::uint32_t uiVersion)
{
    if (s_kContext.m_pkRequirements != nullptr)
        s_kContext.m_pkRequirements->SetVSVersion(uiVersion);
}

void NSFGrammarActions::SetPSVersion(std::uint32_t uiVersion)
{
    if (s_kContext.m_pkRequirements != nullptr)
        s_kContext.m_pkRequirements->SetPSVersion(0xFFFF0000u + (uiVersion & 0xFFFFu));
}

void NSFGrammarActions::SetUserVersion(std::uint32_t uiVersion)
{
    if (s_kContext.m_pkRequirements != nullptr)
        s_kContext.m_pkRequirements->SetUserVersion(uiVersion);
}

void NSFGrammarActions::SetPlatforms(std::uint32_t uiPlatforms)
{
    if (s_kContext.m_pkRequirements != nullptr)
        s_kContext.m_pkRequirements->SetPlatformFlags(uiPlatforms);
}

void NSFGrammarActions::SetBonesPerPartition(int iBones)
{
    if (s_kContext.m_pkRequirements != nullptr)
        s_kContext.m_pkRequirements->SetBonesPerPartition(static_cast<std::uint32_t>(iBones));
}

void NSFGrammarActions::SetBinormalTangentMethod(std::uint32_t uiMethod)
{
    if (s_kContext.m_pkRequirements != nullptr)
        s_kContext.m_pkRequirements->SetBinormalTangentMethod(uiMethod);
}

void NSFGrammarActions::SetRequirementFlag(char* pcName, unsigned char ucValue)
{
    NSBRequirements* pkRequirements = s_kContext.m_pkRequirements;
    const bool bOn = ucValue != 0;
    if (pkRequirements != nullptr)
    {
        if (strcasecmp(pcName, "USESNIRENDERSTATE") == 0)
            pkRequirements->SetUsesNiRenderState(bOn);
        else if (strcasecmp(pcName, "USESNILIGHTSTATE") == 0)
            pkRequirements->SetUsesNiLightState(bOn);
        else if (strcasecmp(pcName, "SOFTWAREVPREQUIRED") == 0)
            pkRequirements->SetSoftwareVPRequired(bOn);
        else if (strcasecmp(pcName, "SOFTWAREVPFALLBACK") == 0)
            pkRequirements->SetSoftwareVPFallback(bOn);
    }
    FreeString(pcName);
}

std::uint32_t NSFGrammarActions::PlatformFlags(char* pcName)
{
    const std::uint32_t uiFlags = NSFVocabulary::ParsePlatformName(pcName);
    FreeString(pcName);
    return uiFlags;
}

void NSFGrammarActions::OpenPass(char* pcName)
{
    if (s_kContext.m_pkImplementation != nullptr)
        s_kContext.m_pkPass = s_kContext.m_pkImplementation->GetPass(s_kContext.m_uiPassCounter, true);
    FreeString(pcName);
}

void NSFGrammarActions::ClosePass()
{
    ++s_kContext.m_uiPassCounter;
    s_kContext.m_pkPass = nullptr;
}

// ---- render states and programs ----

void NSFGrammarActions::OpenRenderStates()
{
    if (s_kContext.m_pkPass != nullptr)
        s_kContext.m_pkRenderStateGroup = s_kContext.m_pkPass->GetRenderStateGroup();
    else if (s_kContext.m_pkImplementation != nullptr)
        s_kContext.m_pkRenderStateGroup = s_kContext.m_pkImplementation->GetRenderStateGroup();
    else
        s_kContext.m_pkRenderStateGroup = nullptr;
}

void NSFGrammarActions::CloseRenderStates()
{
    s_kContext.m_pkRenderStateGroup = nullptr;
}

namespace
{
std::uint32_t StateOf(const char* pcState)
{
    const std::uint32_t uiState = NSFVocabulary::LookupRenderState(pcState);
    if (uiState == NSFVocabulary::UNKNOWN_RENDER_STATE)
        ReportCheck("* PARSE ERROR: %s\n    InvalidRenderState (%s)\n    at line %d\n", pcState, GetLineNumber());
    return uiState;
}
} // namespace

void NSFGrammarActions::RenderStateFromWord(char* pcState, char* pcValue)
{
    const std::uint32_t uiState = StateOf(pcState);
    std::uint32_t uiValue = 0;
    if (!NSFVocabulary::LookupRenderStateValue(uiState, pcValue, uiValue))
        ReportCheck("* PARSE ERROR: %s\n    Invalid RenderStateValue (%s)\n    at line %d\n", pcValue,
                    GetLineNumber());
    SetPendingState(uiState, uiValue);
    FreeString(pcState);
    FreeString(pcValue);
}

void NSFGrammarActions::RenderStateFromValue(char* pcState, std::uint32_t uiValue)
{
    SetPendingState(StateOf(pcState), uiValue);
    FreeString(pcState);
}

void NSFGrammarActions::RenderStateFromAttribute(char* pcState, char* pcAttribute)
{
    StateOf(pcState);
    s_kContext.m_bPendingValid = false;
    FreeString(pcState);
    FreeString(pcAttribute);
}

void NSFGrammarActions::RecordRenderState(bool bSave)
{
    if (s_kContext.m_bPendingValid && s_kContext.m_pkRenderStateGroup != nullptr)
        s_kContext.m_pkRenderStateGroup->SetState(s_kContext.m_uiPendingState, s_kContext.m_uiPendingValue, bSave);
    s_kContext.m_bPendingValid = false;
}

void NSFGrammarActions::SetProgramFile(bool bPixel, char* pcFile)
{
    if (NSBPass* pkPass = s_kContext.m_pkPass)
    {
        SetProgram(pkPass, bPixel, NSBPass::SLOT_DX8, pcFile);
        SetProgram(pkPass, bPixel, NSBPass::SLOT_DX9, pcFile);
        SetProgram(pkPass, bPixel, NSBPass::SLOT_XBOX, pcFile);
    }
    FreeString(pcFile);
}

void NSFGrammarActions::SetPlatformProgramFile(bool bPixel, char* pcFile)
{
    if (NSBPass* pkPass = s_kContext.m_pkPass)
    {
        const std::uint32_t uiMask = s_kContext.m_uiPlatformMask;
        if (uiMask & 4u)
            SetProgram(pkPass, bPixel, NSBPass::SLOT_XBOX, pcFile);
        if (uiMask & 1u)
            SetProgram(pkPass, bPixel, NSBPass::SLOT_DX8, pcFile);
        if (uiMask & (2u | 8u))
            SetProgram(pkPass, bPixel, NSBPass::SLOT_DX9, pcFile);
    }
    FreeString(pcFile);
}

void NSFGrammarActions::SetProgramEntryPoint(bool bPixel, char* pcEntry)
{
    if (NSBPass* pkPass = s_kContext.m_pkPass)
    {
        if (bPixel)
            pkPass->SetPixelShaderProgramEntryPoint(pcEntry);
        else
            pkPass->SetVertexShaderProgramEntryPoint(pcEntry);
    }
    FreeString(pcEntry);
}

void NSFGrammarActions::SetProgramShaderTarget(bool bPixel, char* pcTarget)
{
    if (NSBPass* pkPass = s_kContext.m_pkPass)
    {
        if (bPixel)
            pkPass->SetPixelShaderProgramShaderTarget(pcTarget);
        else
            pkPass->SetVertexShaderProgramShaderTarget(pcTarget);
    }
    FreeString(pcTarget);
}

void NSFGrammarActions::SetSoftwareVP(unsigned char ucOn)
{
    if (s_kContext.m_pkPass != nullptr)
        s_kContext.m_pkPass->SetSoftwareVertexProcessing(ucOn != 0);
}

void NSFGrammarActions::OpenProgramBlock()
{
}

void NSFGrammarActions::SetPlatformMask(std::uint32_t uiMask)
{
    s_kContext.m_uiPlatformMask = uiMask;
}

// ---- constant maps ----

void NSFGrammarActions::OpenConstantMap(std::uint32_t uiKind)
{
    s_kContext.m_uiMapKind = uiKind;
    NSBConstantMap* pkMap = nullptr;
    if (s_kContext.m_pkPass != nullptr)
        pkMap = uiKind == 0 ? s_kContext.m_pkPass->GetVertexConstantMap() : s_kContext.m_pkPass->GetPixelConstantMap();
    else if (s_kContext.m_pkImplementation != nullptr)
        pkMap = uiKind == 0 ? s_kContext.m_pkImplementation->GetVertexConstantMap()
                            : s_kContext.m_pkImplementation->GetPixelConstantMap();
    s_kContext.m_pkConstantMap = pkMap;
}

void NSFGrammarActions::CloseConstantMap()
{
    s_kContext.m_pkConstantMap = nullptr;
}

void NSFGrammarActions::OpenPlatformBlock()
{
    if (s_kContext.m_bPlatformBlock)
        ReportParseError("Syntax Error: Embedded ConstantMap Platform-block");
    s_kContext.m_bPlatformBlock = true;
}

void NSFGrammarActions::ClosePlatformBlock()
{
    s_kContext.m_bPlatformBlock = false;
}

void NSFGrammarActions::AddBoneMatrixEntry(const char* pcKey, std::uint32_t uiRegistersPerBone,
                                           std::uint32_t uiCalcMode, int iRegister, char* pcVariable,
                                           int iFirstBone, int iBoneCount)
{
    const std::uint32_t uiBones = static_cast<std::uint32_t>(iBoneCount);
    const std::uint32_t uiExtra = uiBones * 65536u + static_cast<std::uint32_t>(iFirstBone);
    AddMapEntry(pcKey, Entry::SCME_MAP_DEFINED, uiExtra, static_cast<std::uint32_t>(iRegister),
                uiRegistersPerBone * uiBones, pcVariable, 0, 0, nullptr, false);
    if (s_kContext.m_pkImplementation != nullptr)
    {
        NSBRequirements* pkRequirements = s_kContext.m_pkImplementation->GetRequirements();
        pkRequirements->SetBoneMatrixRegisters(uiRegistersPerBone);
        pkRequirements->SetBoneCalcMethod(uiCalcMode);
        s_kContext.m_pkRequirements = pkRequirements;
    }
    FreeString(pcVariable);
}

void NSFGrammarActions::AddDefinedEntry(char* pcKey, int iRegister, char* pcVariable, int iExtra)
{
    AddMapEntry(pcKey, Entry::SCME_MAP_DEFINED, static_cast<std::uint32_t>(iExtra),
                static_cast<std::uint32_t>(iRegister), 0, pcVariable, 0, 0, nullptr, false);
    FreeString(pcKey);
    FreeString(pcVariable);
}

void NSFGrammarActions::AddAttributeEntry(char* pcName, int iRegister, int iCount, int iExtra)
{
    std::uint32_t uiType = 0;
    if (s_kContext.m_pkShader != nullptr && *pcName != '\0')
    {
        const NSBAttributeDesc* pkDesc = s_kContext.m_pkShader->GetAttributeTable().GetAttribDescByName(pcName);
        if (pkDesc == nullptr)
            pkDesc = s_kContext.m_pkShader->GetGlobalAttributeTable().GetAttribDescByName(pcName);
        if (pkDesc != nullptr)
            uiType = pkDesc->GetType();
    }
    AddMapEntry(pcName, Entry::SCME_MAP_ATTRIBUTE + uiType, static_cast<std::uint32_t>(iExtra),
                static_cast<std::uint32_t>(iRegister), static_cast<std::uint32_t>(iCount), nullptr, 0, 0, nullptr,
                false);
    FreeString(pcName);
}

void NSFGrammarActions::AddConstantEntry(char* pcName, int iRegister, int iCount, std::uint32_t uiValues)
{
    AddMapEntry(pcName, Entry::SCME_MAP_CONSTANT, 0, static_cast<std::uint32_t>(iRegister),
                static_cast<std::uint32_t>(iCount), nullptr, 4 * uiValues, 4, s_kContext.m_afValues, true);
    FreeString(pcName);
}

void NSFGrammarActions::AddGlobalEntry(char* pcName, int iRegister, int iCount)
{
    if (!NSFVocabulary::AddGlobalAttributeToConstantMap(pcName, static_cast<std::uint32_t>(iRegister),
                                                        static_cast<std::uint32_t>(iCount)))
        ReportParseError("Syntax Error: AddGlobalAttributeToConstantMap!");
    FreeString(pcName);
}

void NSFGrammarActions::AddOperatorEntry(char* pcKey, int iRegister, int iCount, char* pcFirst,
                                         std::uint32_t uiOperator, char* pcSecond, unsigned char ucInverse,
                                         unsigned char ucTranspose)
{
    if (!NSFVocabulary::SetupOperatorEntry(pcKey, static_cast<std::uint32_t>(iRegister),
                                           static_cast<std::uint32_t>(iCount), pcFirst, uiOperator, pcSecond,
                                           ucInverse != 0, ucTranspose != 0))
        ReportParseError("Syntax Error: SetupOperatorEntry!");
    FreeString(pcKey);
    FreeString(pcFirst);
    FreeString(pcSecond);
}

// ---- stages and samplers ----

void NSFGrammarActions::OpenStage(int iStage, char* pcName, bool bStage)
{
    s_kContext.m_pkStage = nullptr;
    if (s_kContext.m_pkPass != nullptr)
    {
        if (iStage < 0 || static_cast<std::uint32_t>(iStage) > MAX_STAGE)
            ReportCheck("* PARSE ERROR: %s\n    Stage %d at line %d\n    OUT OF RANGE!\n", iStage,
                        GetLineNumber());
        else
        {
            s_kContext.m_pkStage = s_kContext.m_pkPass->GetStage(static_cast<std::uint32_t>(iStage), true);
            if (bStage)
                s_kContext.m_pkStage->SetUseTextureTransformation(false);
        }
    }
    FreeString(pcName);
}

void NSFGrammarActions::CloseStage()
{
    s_kContext.m_pkStage = nullptr;
}

void NSFGrammarActions::SetPendingState(std::uint32_t uiState, std::uint32_t uiValue)
{
    s_kContext.m_uiPendingState = uiState;
    s_kContext.m_uiPendingValue = uiValue;
    s_kContext.m_bPendingValid = true;
}

void NSFGrammarActions::SkipAttributeState(char* pcAttribute)
{
    s_kContext.m_bPendingValid = false;
    FreeString(pcAttribute);
}

void NSFGrammarActions::RecordStageState(bool bSave)
{
    if (s_kContext.m_bPendingValid && s_kContext.m_pkStage != nullptr)
        s_kContext.m_pkStage->GetTextureStageGroup()->SetState(s_kContext.m_uiPendingState,
                                                               s_kContext.m_uiPendingValue, bSave);
    s_kContext.m_bPendingValid = false;
}

void NSFGrammarActions::RecordSamplerState(bool bSave)
{
    if (s_kContext.m_bPendingValid && s_kContext.m_pkStage != nullptr)
        s_kContext.m_pkStage->GetSamplerStageGroup()->SetState(s_kContext.m_uiPendingState,
                                                               s_kContext.m_uiPendingValue, bSave);
    s_kContext.m_bPendingValid = false;
}

void NSFGrammarActions::UseMapIndex()
{
    if (NSBTextureStage* pkStage = s_kContext.m_pkStage)
        pkStage->SetTextureFlags(pkStage->GetTextureFlags() | 0x10000000u);
}

void NSFGrammarActions::UseTextureTransform()
{
    if (s_kContext.m_pkStage != nullptr)
        s_kContext.m_pkStage->SetUseTextureTransformation(true);
}

namespace
{
// Bits 20-27 name the texture: one selection replaces the one before.
constexpr std::uint32_t TEXTURE_SOURCE_BITS = 0x0FF00000;
} // namespace

void NSFGrammarActions::SelectEngineMap(std::uint32_t uiMap)
{
    if (NSBTextureStage* pkStage = s_kContext.m_pkStage)
        pkStage->SetTextureFlags((pkStage->GetTextureFlags() & ~TEXTURE_SOURCE_BITS) | uiMap);
}

void NSFGrammarActions::SelectDecalMap(std::uint32_t uiMap)
{
    if (NSBTextureStage* pkStage = s_kContext.m_pkStage)
        pkStage->SetTextureFlags((pkStage->GetTextureFlags() & ~TEXTURE_SOURCE_BITS) | uiMap);
}

void NSFGrammarActions::SelectAttributeMap(char* pcAttribute)
{
    NSBTextureStage* pkStage = s_kContext.m_pkStage;
    if (pkStage != nullptr && s_kContext.m_pkShader != nullptr)
    {
        s_kContext.m_pkAttributeTable = &s_kContext.m_pkShader->GetAttributeTable();
        const NSBAttributeDesc* pkDesc = s_kContext.m_pkAttributeTable->GetAttribDescByName(pcAttribute);
        std::uint32_t uiSlot = 0;
        const char* pcTexture = nullptr;
        if (pkDesc != nullptr && pkDesc->GetValue_Texture(uiSlot, pcTexture))
            pkStage->SetTextureFlags((pkStage->GetTextureFlags() & ~TEXTURE_SOURCE_BITS) | (0x2000000u + uiSlot));
        s_kContext.m_pkAttributeTable = nullptr;
    }
    FreeString(pcAttribute);
}

void NSFGrammarActions::SetGlobalTransform(std::uint32_t uiOption, char* pcName)
{
    if (NSBTextureStage* pkStage = s_kContext.m_pkStage)
    {
        pkStage->SetTextureTransformFlags(uiOption + 0x10000000u);
        pkStage->SetGlobalName(pcName);
        pkStage->SetUseTextureTransformation(true);
    }
    FreeString(pcName);
}

void NSFGrammarActions::SetConstantTransform(std::uint32_t uiOption)
{
    if (NSBTextureStage* pkStage = s_kContext.m_pkStage)
    {
        pkStage->SetTextureTransformFlags(uiOption + 0x20000000u);
        pkStage->SetTextureTransformation(s_kContext.m_afValues);
        pkStage->SetUseTextureTransformation(true);
    }
}

std::uint32_t NSFGrammarActions::ColorSignBits(char* pcWord)
{
    std::uint32_t uiBits = 0;
    for (const char* pc = pcWord; *pc != '\0'; ++pc)
    {
        switch (*pc)
        {
        case 'r':
        case 'R': uiBits |= 0x20000000u; break;
        case 'g':
        case 'G': uiBits |= 0x40000000u; break;
        case 'b':
        case 'B': uiBits |= 0x80000000u; break;
        case 'a':
        case 'A': uiBits |= 0x10000000u; break;
        default: break;
        }
    }
    FreeString(pcWord);
    return uiBits;
}
