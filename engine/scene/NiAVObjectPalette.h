#pragma once

#include "engine/core/NiObject.h"

class NiAVObject;

// A table of scene objects by name, through which animation finds the
// objects it drives.
class NiAVObjectPalette : public NiObject
{
    NiDeclareTypeInfo()

public:
    // Null when no object is registered under the name.
    [[nodiscard]] virtual NiAVObject* GetAVObject(const char* pcName) = 0;
    // A null object removes the name.
    virtual void SetAVObject(const char* pcName, NiAVObject* pkObject) = 0;

    bool IsEqual(NiObject* pkOther) override { return NiObject::IsEqual(pkOther); }
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;
};

using NiAVObjectPalettePtr = NiRefPtr<NiAVObjectPalette>;
