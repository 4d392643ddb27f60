#include "engine/animation/NiSequenceStreamHelper.h"

#include "engine/core/NiCloneContext.h"

NiImplementTypeInfo(NiSequenceStreamHelper, NiObjectNET)
NiImplementCreateClone(NiSequenceStreamHelper)

void NiSequenceStreamHelper::CopyMembers(NiSequenceStreamHelper* pkDest, NiCloneContext& kCloning)
{
    NiObjectNET::CopyMembers(pkDest, kCloning);
}
