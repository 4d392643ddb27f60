#pragma once

#include "engine/core/NiHashMap.h"

#include <cstdint>

class NiObject;

// Lives for one clone operation: which source became which copy, and which
// sources have had their second pass.
class NiCloneContext
{
public:
    static constexpr std::uint32_t HASH_SIZE = 37;
    enum CopyMode : std::uint32_t
    {
        COPY_NONE = 0,   // names are not copied
        COPY_EXACT = 1,  // names copied unchanged
        COPY_UNIQUE = 2, // names copied with the append character added
    };

    NiCloneContext() : m_uiCopyMode(ms_uiDefaultCopyMode), m_cAppendChar(ms_cDefaultAppendChar) {}

    NiTPointerMap<NiObject, NiObject> m_kCloneMap{HASH_SIZE};
    NiTFlagMap<NiObject> m_kProcessMap{HASH_SIZE};
    std::uint32_t m_uiCopyMode;
    char m_cAppendChar;

    // Process-wide defaults taken by every new context; the animated model
    // switches the copy mode to 1 before it clones a model.
    static std::uint32_t ms_uiDefaultCopyMode;
    static char ms_cDefaultAppendChar;
    static void ResetDefaults()
    {
        ms_uiDefaultCopyMode = COPY_NONE;
        ms_cDefaultAppendChar = '$';
    }
};
