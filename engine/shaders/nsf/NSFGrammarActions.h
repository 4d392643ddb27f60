#pragma once

#include "engine/core/NiRefPtr.h"

#include <cstdint>
#include <cstdio>
#include <vector>

class NSBAttributeTable;
class NSBConstantMap;
class NSBImplementation;
class NSBPackingDef;
class NSBPass;
class NSBRequirements;
class NSBShader;
class NSBStateGroup;
class NSBTextureStage;
class NSBUserDefinedDataBlock;
class NSBUserDefinedDataSet;

// What the grammar's actions do: they build the shaders of a description
// while it is read. Strings handed in are the grammar's heap strings and are
// freed here once copied.
class NSFGrammarActions
{
public:
    static constexpr std::uint32_t VALUE_BUFFER_SIZE = 64;
    // Stage numbers above this are refused: the number sizes the pass's
    // stage list.
    static constexpr std::uint32_t MAX_STAGE = 15;

    // The current objects the actions share. Everything is reset for each
    // file, so nothing of one description leaks into the next.
    struct Context
    {
        NSBShader* m_pkShader = nullptr;
        NSBAttributeTable* m_pkAttributeTable = nullptr;
        bool m_bGlobalTable = false;
        NSBPackingDef* m_pkPackingDef = nullptr;
        std::uint32_t m_uiStream = 0;
        bool m_bFixedFunction = false;
        NSBImplementation* m_pkImplementation = nullptr;
        std::uint32_t m_uiImplementationCounter = 0;
        NSBRequirements* m_pkRequirements = nullptr;
        NSBStateGroup* m_pkRenderStateGroup = nullptr;
        NSBConstantMap* m_pkConstantMap = nullptr;
        std::uint32_t m_uiMapKind = 0; // 0 vertex, 1 pixel
        std::uint32_t m_uiPassCounter = 0;
        NSBPass* m_pkPass = nullptr;
        NSBTextureStage* m_pkStage = nullptr;
        bool m_bPlatformBlock = false;
        std::uint32_t m_uiPlatformMask = 0;
        std::uint32_t m_uiPendingState = 0;
        std::uint32_t m_uiPendingValue = 0;
        bool m_bPendingValid = false;
        NSBUserDefinedDataSet* m_pkUserDataSet = nullptr;
        NSBUserDefinedDataBlock* m_pkUserDataBlock = nullptr;
        float m_afValues[VALUE_BUFFER_SIZE] = {};
        std::uint32_t m_uiValueCount = 0;
        float m_afMin[VALUE_BUFFER_SIZE] = {};
        float m_afMax[VALUE_BUFFER_SIZE] = {};
        std::uint32_t m_uiMinCount = 0;
        std::uint32_t m_uiMaxCount = 0;
        bool m_bRangePresent = false;
    };

    [[nodiscard]] static Context& GetContext();
    // Every shader begun in the file, in file order.
    [[nodiscard]] static std::vector<NiRefPtr<NSBShader>>& GetParsedShaders();
    // Context cleared and parsed shaders released.
    static void Reset();

    // Runs the grammar over the current source; its own result.
    static int RunParser();
    // Test builds watch the rules the parser reduces (bison's numbering).
    using RuleRecorder = void (*)(int iRule);
    static void SetRuleRecorder(RuleRecorder pfnRecorder);
    static void SetParserTrace(bool bOn);
    static int Trace(std::FILE* pkFile, const char* pcFormat, ...);

    // ---- strings ----
    [[nodiscard]] static char* EmptyString();
    static void FreeString(char* pcText);
    [[nodiscard]] static char* JoinStrings(char* pcFirst, char* pcSecond);

    // ---- values ----
    static void ClearValues();
    static std::uint32_t AppendValues(const float* pfValues, std::uint32_t uiCount);
    static void AppendRange(const float* pfMin, const float* pfMax, std::uint32_t uiCount);
    static void SetRangePresent(bool bPresent);
    [[nodiscard]] static std::uint32_t FloatBits(float fValue);

    // ---- shaders and attributes ----
    static void StartShader(char* pcName);
    static void SetShaderDescription(char* pcDescription);
    static void EndShader();
    static void OpenAttributeTable(bool bGlobal);
    static void CloseAttributeTable();
    static void AddBoolAttribute(char* pcName, unsigned char ucHidden, unsigned char ucValue);
    static void AddUnsignedIntAttribute(char* pcName, unsigned char ucHidden, int iValue);
    static void AddFloatAttribute(char* pcName, unsigned char ucHidden, float fValue);
    static void AddPointAttribute(char* pcName, unsigned char ucHidden, std::uint32_t uiCount);
    static void AddMatrixAttribute(char* pcName, unsigned char ucHidden, std::uint32_t uiCount);
    static void AddColorAttribute(char* pcName, unsigned char ucHidden, std::uint32_t uiCount);
    static void AddTextureAttribute(char* pcName, unsigned char ucHidden, int iSlot, char* pcFile);

    // ---- user-defined data ----
    static void OpenUserDataBlock(char* pcName);
    static void CloseUserDataBlock();
    static void AddUserDataInt(char* pcKey, int iValue);
    static void AddUserDataBool(char* pcKey, unsigned char ucValue);
    static void AddUserDataFloats(char* pcKey, std::uint32_t uiCount);
    static void AddUserDataString(char* pcKey, char* pcValue);

    // ---- packing definitions ----
    static void OpenPackingDef(char* pcName);
    static void ClosePackingDef();
    static void ReferencePackingDef(char* pcName);
    static void SetStream(int iStream);
    static void SetFixedFunction(unsigned char ucOn);
    static void AddPackingEntry(std::uint32_t uiInput, int iRegister, std::uint32_t uiType,
                                std::uint32_t uiTesselator, std::uint32_t uiUsage, int iUsageIndex);

    // ---- implementations, requirements, passes ----
    static void OpenImplementation(char* pcName);
    static void SetImplementationDescription(char* pcDescription);
    static void CloseImplementation();
    static void SetClassName(char* pcName);
    static void OpenRequirements();
    static void CloseRequirements();
    static void SetVSVersion(std::uint32_t uiVersion);
    static void SetPSVersion(std::uint32_t uiVersion);
    static void SetUserVersion(std::uint32_t uiVersion);
    static void SetPlatforms(std::uint32_t uiPlatforms);
    static void SetBonesPerPartition(int iBones);
    static void SetBinormalTangentMethod(std::uint32_t uiMethod);
    static void SetRequirementFlag(char* pcName, unsigned char ucValue);
    [[nodiscard]] static std::uint32_t PlatformFlags(char* pcName);
    static void OpenPass(char* pcName);
    static void ClosePass();

    // ---- render states and programs ----
    static void OpenRenderStates();
    static void CloseRenderStates();
    static void RenderStateFromWord(char* pcState, char* pcValue);
    static void RenderStateFromValue(char* pcState, std::uint32_t uiValue);
    static void RenderStateFromAttribute(char* pcState, char* pcAttribute);
    static void RecordRenderState(bool bSave);
    static void SetProgramFile(bool bPixel, char* pcFile);
    static void SetPlatformProgramFile(bool bPixel, char* pcFile);
    static void SetProgramEntryPoint(bool bPixel, char* pcEntry);
    static void SetProgramShaderTarget(bool bPixel, char* pcTarget);
    static void SetSoftwareVP(unsigned char ucOn);
    static void OpenProgramBlock();
    static void SetPlatformMask(std::uint32_t uiMask);

    // ---- constant maps ----
    static void OpenConstantMap(std::uint32_t uiKind);
    static void CloseConstantMap();
    static void OpenPlatformBlock();
    static void ClosePlatformBlock();
    static void AddBoneMatrixEntry(const char* pcKey, std::uint32_t uiRegistersPerBone, std::uint32_t uiCalcMode,
                                   int iRegister, char* pcVariable, int iFirstBone, int iBoneCount);
    static void AddDefinedEntry(char* pcKey, int iRegister, char* pcVariable, int iExtra);
    static void AddAttributeEntry(char* pcName, int iRegister, int iCount, int iExtra);
    static void AddConstantEntry(char* pcName, int iRegister, int iCount, std::uint32_t uiValues);
    static void AddGlobalEntry(char* pcName, int iRegister, int iCount);
    static void AddOperatorEntry(char* pcKey, int iRegister, int iCount, char* pcFirst, std::uint32_t uiOperator,
                                 char* pcSecond, unsigned char ucInverse, unsigned char ucTranspose);

    // ---- stages and samplers ----
    static void OpenStage(int iStage, char* pcName, bool bStage);
    static void CloseStage();
    static void SetPendingState(std::uint32_t uiState, std::uint32_t uiValue);
    static void SkipAttributeState(char* pcAttribute);
    static void RecordStageState(bool bSave);
    static void RecordSamplerState(bool bSave);
    static void UseMapIndex();
    static void UseTextureTransform();
    static void SelectEngineMap(std::uint32_t uiMap);
    static void SelectDecalMap(std::uint32_t uiMap);
    static void SelectAttributeMap(char* pcAttribute);
    static void SetGlobalTransform(std::uint32_t uiOption, char* pcName);
    static void SetConstantTransform(std::uint32_t uiOption);
    [[nodiscard]] static std::uint32_t ColorSignBits(char* pcWord);
};
