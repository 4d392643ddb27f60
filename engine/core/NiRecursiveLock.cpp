#include "engine/core/NiRecursiveLock.h"

// Function-local statics: built before first use whatever the order of
// static construction, destroyed at exit.
#define NI_GLOBAL_LOCK(name)                                                                                           \
    NiRecursiveLock& name()                                                                                            \
    {                                                                                                                  \
        static NiRecursiveLock s_kLock;                                                                                \
        return s_kLock;                                                                                                \
    }

NI_GLOBAL_LOCK(NiStreamLoadLock)
NI_GLOBAL_LOCK(NiListNodePoolLock)
NI_GLOBAL_LOCK(NiControllerLock)
NI_GLOBAL_LOCK(NiTextureListLock)
NI_GLOBAL_LOCK(NiPaletteLock)
NI_GLOBAL_LOCK(NiBltSourceLock)
NI_GLOBAL_LOCK(NiGeometryDataLock)
