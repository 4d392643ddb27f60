#pragma once

#include "engine/animation/NiExtraDataController.h"
#include "engine/core/NiColor.h"

#include <cstdint>

class NiFloatsExtraData;

// Drives the value of one element of the target's floats extra data of the
// controller's name.
class NiFloatsExtraDataController : public NiValueInterpController<NiExtraDataController, float>
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiFloatsExtraDataController)

public:
    NiFloatsExtraDataController() = default;
    ~NiFloatsExtraDataController() override;

    [[nodiscard]] static NiObject* CreateObject();

    void Update(float fTime) override;
    // The extra data's current value; left as it is without one.
    void GetTargetValue(float& kValue) const;
    // The extra-data name and the element, "name[index]".
    [[nodiscard]] const char* GetCtlrID() override;
    [[nodiscard]] std::int32_t GetFloatsExtraDataIndex() const { return m_iFloatsExtraDataIndex; }
    void SetFloatsExtraDataIndex(std::int32_t i);

    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;

    // Files before 10.1.0.104 link key data instead of an interpolator.
    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

protected:
    void GetPoseValue(float& kValue) override { GetTargetValue(kValue); }

private:
    std::int32_t m_iFloatsExtraDataIndex = -1;
    char* m_pcCtlrID = nullptr;
};

using NiFloatsExtraDataControllerPtr = NiRefPtr<NiFloatsExtraDataController>;
