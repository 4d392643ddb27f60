#pragma once
// SPIR-V's published numbers and instruction layout, as the passes over the
// SPIR-V of a high-level program (GfxUtilHlslRegisters.h, GfxUtilHlslSpirv.h,
// GfxUtilHlslTemporaries.h) read and write them. Private to the HLSL compiler.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace gfx::spirv {

// Opcodes.
constexpr std::uint32_t kOpName = 5, kOpMemberName = 6, kOpExtInstImport = 11, kOpExtInst = 12, kOpMemoryModel = 14,
                        kOpTypeBool = 20, kOpTypeInt = 21, kOpTypeFloat = 22, kOpTypeVector = 23, kOpTypeMatrix = 24,
                        kOpTypeArray = 28, kOpTypeRuntimeArray = 29, kOpTypeStruct = 30, kOpTypePointer = 32,
                        kOpConstantTrue = 41, kOpConstantFalse = 42, kOpConstant = 43, kOpConstantComposite = 44,
                        kOpConstantNull = 46, kOpFunction = 54, kOpFunctionParameter = 55, kOpVariable = 59, kOpLoad = 61, kOpStore = 62,
                        kOpAccessChain = 65, kOpInBoundsAccessChain = 66, kOpDecorate = 71, kOpMemberDecorate = 72,
                        kOpVectorExtractDynamic = 77, kOpVectorShuffle = 79, kOpCompositeConstruct = 80,
                        kOpCompositeExtract = 81, kOpCompositeInsert = 82, kOpCopyObject = 83, kOpTranspose = 84,
                        kOpConvertFToU = 109, kOpConvertFToS = 110, kOpBitcast = 124, kOpFAdd = 129,
                        kOpVectorTimesScalar = 142, kOpMatrixTimesScalar = 143, kOpVectorTimesMatrix = 144,
                        kOpMatrixTimesVector = 145, kOpMatrixTimesMatrix = 146, kOpSelect = 169, kOpPhi = 245,
                        kOpLabel = 248, kOpCopyLogical = 400, kOpDecorateString = 5632;
// Decorations.
constexpr std::uint32_t kDecorationBlock = 2, kDecorationRowMajor = 4, kDecorationArrayStride = 6,
                        kDecorationMatrixStride = 7, kDecorationBuiltIn = 11, kDecorationOffset = 35,
                        kDecorationUserSemantic = 5635;
constexpr std::uint32_t kBuiltInFragCoord = 15;
// Storage classes.
constexpr std::uint32_t kStorageUniformConstant = 0, kStorageInput = 1, kStorageUniform = 2, kStoragePrivate = 6, kStorageFunction = 7,
                        kStoragePushConstant = 9, kStorageStorageBuffer = 12;
// GLSL.std.450 extended instructions.
constexpr std::uint32_t kGlslFloor = 8;

// The module's header: magic, version, generator, id bound, schema.
constexpr std::size_t kHeaderWords = 5;

// An instruction's first word holds its length in words and its opcode.
constexpr std::uint32_t WordCount(std::uint32_t first) { return first >> 16; }
constexpr std::uint32_t Opcode(std::uint32_t first) { return first & 0xFFFF; }
constexpr std::uint32_t FirstWord(std::uint32_t words, std::uint32_t op) { return (words << 16) | op; }

// A literal string operand from word `at` of an instruction ending at `end`.
inline std::string LiteralString(const std::vector<std::uint32_t>& spirv, std::size_t at, std::size_t end) {
    std::string out;
    for (; at < end; ++at)
        for (int b = 0; b < 4; ++b) {
            const char c = char((spirv[at] >> (8 * b)) & 0xFF);
            if (c == 0) return out;
            out += c;
        }
    return out;
}

// Whether word `k` of an instruction of opcode `op` in a function's body may
// name an id. The literals there (indices, masks, case values, an extended
// instruction's number) are not ids, however equal to one in value: a
// member's offset of 192 is no use of the pointer %192.
inline bool IdWord(std::uint32_t op, std::uint32_t k) {
    constexpr std::uint32_t kOpLine = 8, kOpSelectionMerge = 247, kOpLoopMerge = 246, kOpSwitch = 251;
    switch (op) {
    case kOpLine: return k == 1;
    case kOpFunction: return k != 3;
    case kOpLoad: return k <= 3;
    case kOpStore: return k <= 2;
    case kOpExtInst: return k != 4;
    case kOpCompositeExtract: return k <= 3;
    case kOpCompositeInsert:
    case kOpVectorShuffle: return k <= 4;
    case kOpLoopMerge: return k <= 2;
    case kOpSelectionMerge: return k == 1;
    case kOpSwitch: return k <= 2 || (k - 3) % 2 == 1;
    default: return true;
    }
}

} // namespace gfx::spirv
