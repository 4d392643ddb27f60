#pragma once

#include "engine/core/NiRefObject.h"
#include "engine/core/NiRefPtr.h"
#include "engine/scene/NiProperty.h"

// The current property of each type at a point of the scene graph. Slots no
// property above has set hold the shared default of their type.
class NiPropertySet : public NiRefObject
{
public:
    // Every slot holds the global default of its type.
    NiPropertySet();
    // Shares the other set's properties.
    NiPropertySet(const NiPropertySet& kOther);
    NiPropertySet& operator=(const NiPropertySet&) = delete;
    // Releases the slots from the last to the first.
    ~NiPropertySet() override;

    // Every slot back to its type's default.
    void Reset();
    // Into the slot of its type; null is ignored.
    void SetProperty(NiProperty* pkProperty);
    // Null for a code outside 0..11.
    [[nodiscard]] NiProperty* GetProperty(int iType) const;

    // The shared default of each type, set by the property classes' start-up
    // and released by their shut-down (and by ResetDefaults in tests).
    static void SetDefault(int iType, NiProperty* pkProperty);
    [[nodiscard]] static NiProperty* GetDefault(int iType);
    static void ResetDefaults();

private:
    NiPropertyPtr m_aspProps[NiProperty::MAX_TYPES];
};

using NiPropertySetPtr = NiRefPtr<NiPropertySet>;
