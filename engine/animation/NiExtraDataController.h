#pragma once

#include "engine/animation/NiSingleInterpController.h"
#include "engine/scene/NiExtraData.h"

// Base of the controllers whose value is an extra-data object of the target,
// found by its exact name. The name doubles as the controller ID.
class NiExtraDataController : public NiSingleInterpController
{
    NiDeclareTypeInfo()

public:
    ~NiExtraDataController() override;

    void SetExtraDataName(const char* pcName);
    [[nodiscard]] const char* GetExtraDataName() const { return m_pcExtraDataName; }
    [[nodiscard]] NiExtraData* GetExtraData() const { return m_spExtraData; }

    [[nodiscard]] const char* GetCtlrID() override { return m_pcExtraDataName; }
    [[nodiscard]] bool InterpTargetIsCorrectType(NiObjectNET* pkTarget) const override;
    void SetTarget(NiObjectNET* pkTarget) override;

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    void PostLink(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;
    void FinishClone(NiCloneContext& kCloning) override;
    void DropCountedLinks() override;

protected:
    NiExtraDataController() = default;
    void CopyMembers(NiExtraDataController* pkDest, NiCloneContext& kCloning);
    void FindExtraData();

    char* m_pcExtraDataName = nullptr;
    NiExtraDataPtr m_spExtraData;
};

extern template class NiValueInterpController<NiExtraDataController, float>;
extern template class NiValueInterpController<NiExtraDataController, NiColorRGBA>;
