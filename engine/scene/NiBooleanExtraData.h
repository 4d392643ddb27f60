#pragma once

#include "engine/scene/NiExtraData.h"

#include <cstdint>

// One flag, stored as a byte; any non-zero byte reads as true.
class NiBooleanExtraData : public NiExtraData
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiBooleanExtraData)

public:
    NiBooleanExtraData() = default;
    explicit NiBooleanExtraData(bool value) : m_bValue(value) {}

    [[nodiscard]] bool GetValue() const { return m_bValue; }
    void SetValue(bool value) { m_bValue = value; }

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    bool m_bValue = false;
};
