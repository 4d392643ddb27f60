#pragma once

#include "engine/scene/NiExtraData.h"

// One string (null allowed).
class NiStringExtraData : public NiExtraData
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiStringExtraData)

public:
    NiStringExtraData() = default;
    explicit NiStringExtraData(const char* pcText) { SetValue(pcText); }
    ~NiStringExtraData() override;

    [[nodiscard]] const char* GetValue() const { return m_pString; }
    // Copies the text.
    void SetValue(const char* pcText);

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    char* m_pString = nullptr;
};
