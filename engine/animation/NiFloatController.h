#pragma once

#include "engine/animation/NiFloatData.h"
#include "engine/animation/NiTimeController.h"

#include <cstdint>

struct NiAnimKey;

// The old form of a float-valued controller: it holds its float keys itself
// instead of asking an interpolator.
class NiFloatController : public NiTimeController
{
    NiDeclareTypeInfo()

public:
    ~NiFloatController() override = default;

    [[nodiscard]] NiFloatData* GetFloatData() const { return m_spFloatData; }
    void SetFloatData(NiFloatData* pkData) { m_spFloatData = pkData; }
    // All zero and null without data.
    [[nodiscard]] NiAnimKey* GetKeys(std::uint32_t& uiNumKeys, std::uint32_t& uiKeyType,
                                     std::uint8_t& ucKeyStride) const;

    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    bool RegisterForSave(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;
    void FinishClone(NiCloneContext& kCloning) override;
    void DropCountedLinks() override;

protected:
    NiFloatController() = default;
    void CopyMembers(NiFloatController* pkDest, NiCloneContext& kCloning);

    NiFloatDataPtr m_spFloatData;
};
