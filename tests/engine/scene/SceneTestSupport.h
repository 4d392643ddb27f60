#pragma once

// Test-only scene classes (a positioned object, a property, a controller)
// and the fixture that starts the core and scene libraries around a test.

#include "engine/animation/NiTimeController.h"
#include "engine/core/NiCloneContext.h"
#include "engine/core/NiMainLibrary.h"
#include "engine/core/NiMemoryStream.h"
#include "engine/core/NiObjectStream.h"
#include "engine/scene/NiAVObject.h"
#include "engine/scene/NiProperty.h"
#include "engine/scene/NiPropertySet.h"
#include "engine/scene/NiSceneLibrary.h"
#include "tests/engine/core/NiStreamFixture.h"

#include <gtest/gtest.h>

#include <vector>

namespace scene_test
{
using namespace stream_test;

// A concrete positioned object; its children make it a small node for the
// subtree walks.
class TestAVObject : public NiAVObject
{
    NiDeclareTypeInfo()
    NiDeclareClone(TestAVObject)

public:
    std::vector<NiAVObjectPtr> m_kChildren;
    std::uint32_t m_uiVisible = 0;

    void OnVisible(NiCamera*) override { ++m_uiVisible; }
    void CollectChildren(std::vector<NiAVObject*>& kChildren) const override
    {
        for (const NiAVObjectPtr& sp : m_kChildren)
            kChildren.push_back(sp);
    }
};

// A property of a chosen type with its own flags word (current files) or the
// old flags the stream saved for it.
class TestProperty : public NiProperty
{
    NiDeclareTypeInfo()
    NiDeclareClone(TestProperty)

public:
    int m_iType = ALPHA;
    std::uint16_t m_uFlags = 0;

    [[nodiscard]] int GetType() const override { return m_iType; }
    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
};

// Counts its updates; transform and streamable answers are settable.
class TestController : public NiTimeController
{
    NiDeclareTypeInfo()
    NiDeclareClone(TestController)

public:
    std::vector<float> m_kTimes;
    bool m_bTransform = false;
    bool m_bStreamable = true;

    void Update(float fTime) override { m_kTimes.push_back(fTime); }
    [[nodiscard]] bool IsTransformController() const override { return m_bTransform; }
    [[nodiscard]] bool IsStreamable() const override { return m_bStreamable; }
    [[nodiscard]] bool IsTargetClassValid(NiObjectNET*) const override { return true; }
};

inline constexpr std::uint32_t NONE = 0xFFFFFFFF;

// NiObjectNET's record part: files before 5.0.0.11 hold one extra-data link
// (the head of a chain) instead of a counted list.
inline Bytes NETBody(std::uint32_t uiVersion, const std::string& kName, const std::vector<std::uint32_t>& kExtra,
                     std::uint32_t uiController)
{
    Bytes k;
    k.Str(kName);
    if (uiVersion >= V(5, 0, 0, 11))
    {
        k.U32(static_cast<std::uint32_t>(kExtra.size()));
        for (std::uint32_t ui : kExtra)
            k.U32(ui);
    }
    else
    {
        k.U32(kExtra.empty() ? NONE : kExtra[0]);
    }
    return k.U32(uiController);
}

// NiAVObject's record part: translation (1, 2, 3), identity rotation,
// scale 1; old files add the velocity (zero unless given) and the
// bounding-volume flag.
inline Bytes AVBody(std::uint32_t uiVersion, std::uint16_t usFlags, const std::vector<std::uint32_t>& kProperties,
                    bool bHasBound = false, const NiVec3& kVelocity = NiVec3(0, 0, 0))
{
    Bytes k;
    k.U16(usFlags).F32(1).F32(2).F32(3);
    for (int i = 0; i < 9; ++i)
        k.F32(i % 4 == 0 ? 1.0f : 0.0f);
    k.F32(1);
    if (uiVersion < V(5, 0, 0, 19))
        k.F32(kVelocity.x).F32(kVelocity.y).F32(kVelocity.z);
    k.U32(static_cast<std::uint32_t>(kProperties.size()));
    for (std::uint32_t ui : kProperties)
        k.U32(ui);
    if (uiVersion < V(5, 0, 0, 19))
    {
        if (uiVersion < V(4, 1, 0, 0))
            k.U32(bHasBound ? 1 : 0);
        else
            k.U8(bHasBound ? 1 : 0);
    }
    else
    {
        k.U32(NONE);
    }
    return k;
}

// A current controller record: next link, flags, frequency, phase, key
// range and target link.
inline Bytes ControllerBody(std::uint32_t uiNext, std::uint16_t usFlags = 12)
{
    return Bytes().U32(uiNext).U16(usFlags).F32(1).F32(0).F32(0).F32(1).U32(NONE);
}

// The NiExtraData part of old files (before 5.0.0.11): next link and the
// byte count of what follows.
inline Bytes OldExtraHead(std::uint32_t uiNext, std::uint32_t uiBytes)
{
    return Bytes().U32(uiNext).U32(uiBytes);
}

class SceneTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Saves the objects as top-level objects into memory.
    std::vector<std::uint8_t> Save(const std::vector<NiObject*>& kTops);
    // Loads the bytes; the top-level objects are kept in m_kLoaded.
    bool Load(const std::vector<std::uint8_t>& kBytes);

    NiObjectStream m_kStream;
    std::vector<NiObjectPtr> m_kLoaded;
    std::uint32_t m_uiLive = 0;
};
} // namespace scene_test
