#include "engine/scene/NiProperty.h"

#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

NiImplementTypeInfo(NiProperty, NiObjectNET)

void NiProperty::UpdateControllers(float fTime)
{
    for (NiTimeController* pk = GetControllers(); pk != nullptr; pk = pk->GetNext())
        pk->Update(fTime);
}

void NiProperty::ReadFromStream(NiObjectStream& kStream)
{
    NiObjectNET::ReadFromStream(kStream);
    if (kStream.GetFileVersion() < NiStreamVersion(10, 0, 1, 2))
    {
        std::uint16_t usFlags = 0;
        kStream.ReadLE(usFlags);
        kStream.SetSavedPropertyFlags(usFlags);
    }
}

void NiProperty::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiObjectNET::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiProperty::TypeInfo()->GetName()));
}

void NiProperty::CopyMembers(NiProperty* pkDest, NiCloneContext& kCloning)
{
    NiObjectNET::CopyMembers(pkDest, kCloning);
}
