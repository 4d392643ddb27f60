#include "engine/animation/NiInterpController.h"

#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

NiImplementTypeInfo(NiInterpController, NiTimeController)

namespace
{
constexpr std::uint32_t FLAG_BYTE_FROM = NiStreamVersion(10, 1, 0, 104);
constexpr std::uint32_t FLAG_BYTE_UNTIL = NiStreamVersion(10, 1, 0, 108);
} // namespace

void NiInterpController::ResetTimeExtrema()
{
    m_fLoKeyTime = 0.0f;
    m_fHiKeyTime = 0.0f;
}

void NiInterpController::CopyMembers(NiInterpController* pkDest, NiCloneContext& kCloning)
{
    NiTimeController::CopyMembers(pkDest, kCloning);
}

void NiInterpController::ReadFromStream(NiObjectStream& kStream)
{
    NiTimeController::ReadFromStream(kStream);
    const std::uint32_t uiVersion = kStream.GetFileVersion();
    if (uiVersion >= FLAG_BYTE_FROM && uiVersion <= FLAG_BYTE_UNTIL)
    {
        std::uint8_t ucManaged = 0;
        kStream.ReadLE(ucManaged);
        SetManagerControlled(ucManaged != 0);
    }
}

void NiInterpController::WriteToStream(NiObjectStream& kStream)
{
    NiTimeController::WriteToStream(kStream);
}

bool NiInterpController::IsEqual(NiObject* pkOther)
{
    return NiTimeController::IsEqual(pkOther);
}

void NiInterpController::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiTimeController::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiInterpController::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerBool("IsManagerControlled", GetManagerControlled()));
}
