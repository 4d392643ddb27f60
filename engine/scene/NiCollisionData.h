#pragma once

#include "engine/core/NiVec3.h"
#include "engine/scene/NiCollisionObject.h"

#include <cstdint>
#include <vector>

// Collision data of a positioned object: how a collision found in its
// subtree is passed on (the propagation mode) and an optional bounding
// volume in the owner's model space, with a copy that follows the owner's
// world transform.
//
// Record, after the object's part (little-endian):
//   propagation mode   u8, 0..7
//   volume             (below)
// Volume:
//   kind               u32: 0 none, 1 sphere, 2 box, 3 union
//   sphere             centre 3 x f32, radius f32 (>= 0)
//   box                centre 3 x f32, three unit axes 3 x (3 x f32) in
//                      order, half extents along them 3 x f32 (each >= 0)
//   union              part count u32 (at least 1), then that many volumes,
//                      each a sphere or a box
// Files from before collision objects had records of their own hold the
// volume alone, inline after the owner's bounding-volume flag and only when
// that flag is set; the mode then comes from the owner's old flags.
//
// Any other kind, a union inside a union, an empty union, a mode above 7 or
// a negative size marks the load corrupt.
class NiCollisionData : public NiCollisionObject
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiCollisionData)

public:
    enum VolumeKind : std::uint32_t
    {
        VOLUME_NONE = 0,
        VOLUME_SPHERE = 1,
        VOLUME_BOX = 2,
        VOLUME_UNION = 3,
    };
    static constexpr std::uint32_t MAX_PROPAGATION_MODE = 7;

    struct Volume
    {
        std::uint32_t m_uiKind = VOLUME_NONE;
        NiVec3 m_kCenter;
        // Sphere.
        float m_fRadius = 0.0f;
        // Box.
        NiVec3 m_akAxis[3] = {NiVec3(1, 0, 0), NiVec3(0, 1, 0), NiVec3(0, 0, 1)};
        float m_afExtent[3] = {0.0f, 0.0f, 0.0f};
        // Union: spheres and boxes only.
        std::vector<Volume> m_kParts;

        bool operator==(const Volume& kOther) const;
    };

    NiCollisionData() = default;
    static NiObject* CreateObject() { return new NiCollisionData; }

    [[nodiscard]] std::uint32_t GetPropagationMode() const { return m_uiPropagationMode; }
    // Modes above MAX_PROPAGATION_MODE are ignored.
    void SetPropagationMode(std::uint32_t uiMode);
    [[nodiscard]] const Volume& GetModelVolume() const { return m_kModel; }
    // Nothing changes for a volume no record could hold (see above).
    bool SetModelVolume(const Volume& kVolume);
    // The model volume placed by the owner's world transform at the last
    // world-data update.
    [[nodiscard]] const Volume& GetWorldVolume() const { return m_kWorld; }

    void UpdateWorldData() override;

    // The inline form of old files: the owner, the mode its flags gave, and
    // whether a volume follows in the stream.
    void LoadOldFormat(NiAVObject* pkOwner, std::uint32_t uiPropagationMode, bool bHasVolume,
                       NiObjectStream& kStream);

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    static bool IsValid(const Volume& kVolume, bool bInUnion);
    static void ReadVolume(NiObjectStream& kStream, Volume& kVolume, bool bInUnion);
    static void WriteVolume(NiObjectStream& kStream, const Volume& kVolume);

    std::uint32_t m_uiPropagationMode = 0;
    Volume m_kModel;
    Volume m_kWorld;
};

using NiCollisionDataPtr = NiRefPtr<NiCollisionData>;
