#pragma once

#include <cstdint>

class NiD3DShaderConstantMapEntry;

// The words of render-state lists, platform lists and constant-map
// operators, and the checks the grammar hands constant-map entries to.
// Names are compared whole, ignoring case.
class NSFVocabulary
{
public:
    static constexpr std::uint32_t RENDER_STATE_COUNT = 199;
    // The last state that takes named values.
    static constexpr std::uint32_t LAST_NAMED_VALUE_STATE = 141;
    static constexpr std::uint32_t UNKNOWN_RENDER_STATE = 0x7FFFFFFF;

    static constexpr std::uint32_t OPERATOR_MULTIPLY = 0x10000000;
    static constexpr std::uint32_t OPERATOR_DIVIDE = 0x20000000;
    static constexpr std::uint32_t OPERATOR_ADD = 0x30000000;
    static constexpr std::uint32_t OPERATOR_SUBTRACT = 0x40000000;
    static constexpr std::uint32_t OPERATOR_TRANSPOSE = 0x02000000;
    static constexpr std::uint32_t OPERATOR_INVERSE = 0x01000000;
    // Operand positions share 12 bits each with the operator word.
    static constexpr std::uint32_t MAX_OPERAND_INDEX = 0xFFF;

    // The state's index, or 0x7FFFFFFF for null, "" and unknown names.
    [[nodiscard]] static std::uint32_t LookupRenderState(const char* pcName);
    // The name of an index; null beyond the table.
    [[nodiscard]] static const char* GetRenderStateName(std::uint32_t uiState);
    // The value 0 first; false for null, "", a state without named values
    // or an unknown word.
    static bool LookupRenderStateValue(std::uint32_t uiState, const char* pcValue, std::uint32_t& uiValue);
    // 1 DX8, 2 DX9, 4 XBOX, 8 XENON; 0 for anything else.
    [[nodiscard]] static std::uint32_t ParsePlatformName(const char* pcName);

    // An entry combining two entries of the current constant map; false
    // (with a counted parse error for the operand and type checks) when
    // the entry cannot be made.
    static bool SetupOperatorEntry(const char* pcName, std::uint32_t uiRegister, std::uint32_t uiCount,
                                   const char* pcFirst, std::uint32_t uiOperator, const char* pcSecond,
                                   bool bInverse, bool bTranspose);
    // A copy of the current shader's global attribute of the name; true
    // without an entry when there is no such attribute, false for strings
    // and textures.
    static bool AddGlobalAttributeToConstantMap(const char* pcName, std::uint32_t uiRegister,
                                                std::uint32_t uiCount);

    // The value type an operator gives two operand types; 0 when the pair
    // is not allowed.
    [[nodiscard]] static std::uint32_t OperatorResultType(std::uint32_t uiOperator, std::uint32_t uiFirst,
                                                          std::uint32_t uiSecond);
    [[nodiscard]] static std::uint32_t GetEntryValueType(const NiD3DShaderConstantMapEntry* pkEntry);
    [[nodiscard]] static bool IsBoolType(std::uint32_t uiType) { return uiType == 1; }
    [[nodiscard]] static bool IsStringType(std::uint32_t uiType) { return uiType == 2; }
    [[nodiscard]] static bool IsUnsignedIntType(std::uint32_t uiType) { return uiType == 3; }
    [[nodiscard]] static bool IsFloatType(std::uint32_t uiType) { return uiType == 4; }
    [[nodiscard]] static bool IsPoint2Type(std::uint32_t uiType) { return uiType == 5; }
    [[nodiscard]] static bool IsPoint3Type(std::uint32_t uiType) { return uiType == 6; }
    [[nodiscard]] static bool IsPoint4Type(std::uint32_t uiType) { return uiType == 7; }
    [[nodiscard]] static bool IsMatrix3Type(std::uint32_t uiType) { return uiType == 8; }
    [[nodiscard]] static bool IsMatrix4Type(std::uint32_t uiType) { return uiType == 9; }
    [[nodiscard]] static bool IsColorType(std::uint32_t uiType) { return uiType == 10; }
    [[nodiscard]] static bool IsTextureType(std::uint32_t uiType) { return uiType == 11; }
};
