#pragma once

#include "engine/animation/NiKeyChannel.h"
#include "engine/core/NiObject.h"

#include <cstdint>

// Four float key channels that scroll and tile one texture-coordinate set,
// and the values last applied to it. Clones share the object, so every
// controller on it shares the memory of what was applied.
class NiUVData : public NiObject
{
    NiDeclareTypeInfo()

public:
    enum Channel : std::uint32_t
    {
        U_OFFSET = 0,
        V_OFFSET = 1,
        U_TILING = 2,
        V_TILING = 3,
        CHANNEL_COUNT = 4,
    };

    NiUVData();
    ~NiUVData() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    // Frees the channel's keys, then takes the new ones (empty unless keys
    // and count are given).
    void SetChannel(std::uint32_t uiChannel, NiAnimKey* pkKeys, std::uint32_t uiCount, std::uint32_t uiType);
    // Keys, count, type and stride; all zero for an empty channel.
    NiAnimKey* GetChannel(std::uint32_t uiChannel, std::uint32_t& uiCount, std::uint32_t& uiType,
                          std::uint8_t& ucStride) const;
    [[nodiscard]] const NiKeyChannel& GetKeyChannel(std::uint32_t uiChannel) const { return *m_apkChannels[uiChannel]; }

    // Last applied U offset, V offset, U tiling, V tiling.
    float m_afLastApplied[CHANNEL_COUNT] = {0.0f, 0.0f, 1.0f, 1.0f};
    void ResetLastApplied();

    // The object itself.
    NiObject* CreateClone(NiCloneContext& kCloning) override;
    // Per channel: u32 count; when not 0, u32 type and the keys.
    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    NiKeyChannel m_kUOffset{NI_FLOATKEY};
    NiKeyChannel m_kVOffset{NI_FLOATKEY};
    NiKeyChannel m_kUTiling{NI_FLOATKEY};
    NiKeyChannel m_kVTiling{NI_FLOATKEY};
    NiKeyChannel* m_apkChannels[CHANNEL_COUNT];
};

using NiUVDataPtr = NiRefPtr<NiUVData>;
