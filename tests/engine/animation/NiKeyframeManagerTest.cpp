#include "engine/animation/NiKeyframeManager.h"

#include "engine/animation/NiTransformController.h"
#include "tests/engine/animation/AnimModelSupport.h"
#include "tests/engine/animation/AnimShapes.h"
#include "tests/engine/core/NiStreamFixture.h"

#include <gtest/gtest.h>

#include <fstream>

using animtest::NULL_LINK;
using stream_test::V;

namespace
{
class NiKeyframeManagerTest : public animtest::ModelTest
{
};

NiSequencePtr NamedSequence(const char* pcName, const char* pcObject)
{
    NiSequencePtr sp = new NiSequence(pcName, 4, 4);
    sp->AddNameAndController(pcObject, new NiTransformController);
    return sp;
}

void WriteFile(const std::string& kPath, const std::vector<std::uint8_t>& kBytes)
{
    std::ofstream kOut(kPath, std::ios::binary);
    kOut.write(reinterpret_cast<const char*>(kBytes.data()), static_cast<std::streamsize>(kBytes.size()));
}

stream_test::Bytes ManagerPart()
{
    stream_test::Bytes b;
    b.U32(NULL_LINK).U16(0x0C).F32(1).F32(0).F32(0).F32(1).U32(NULL_LINK);
    return b;
}
} // namespace

TEST_F(NiKeyframeManagerTest, SequencesAreWrittenEmbeddedAndRoundTrip)
{
    NiKeyframeManagerPtr sp = new NiKeyframeManager;
    sp->AddSequence(NamedSequence("walk", "Hand"));
    sp->AddSequence(NamedSequence("run", "Foot"));
    sp->AddSequence(NamedSequence("walk", "Arm"));
    ASSERT_EQ(sp->GetSequenceCount(), 2u);
    EXPECT_STREQ(sp->GetSequence("walk")->GetNameAt(0), "Arm") << "a name replaces its sequence";
    animtest::ExpectRoundTrip(sp);
    EXPECT_EQ(sp->GetSequence("jump"), nullptr);

    // A link to anything but a sequence, and more entries than bytes.
    animtest::File kWrong;
    kWrong.Add("NiKeyframeManager", animtest::TimeControllerRecord(0x0C).U32(1).U8(0).U32(1));
    kWrong.Add("NiFloatData", animtest::Bytes().U32(0));
    kWrong.Top(0);
    EXPECT_EQ(animtest::Load(kWrong.Build()), nullptr);
    animtest::File kHuge;
    kHuge.Add("NiKeyframeManager", animtest::TimeControllerRecord(0x0C).U32(0xFFFFFFFF).U8(0));
    kHuge.Top(0);
    EXPECT_EQ(animtest::Load(kHuge.Build()), nullptr);
}

TEST_F(NiKeyframeManagerTest, EntriesFromOtherFilesLoadOnceAndNeverInACircle)
{
    stream_test::TempFolder kFolder;
    const std::string kSeqFile = kFolder.File("wave.kf");
    {
        NiObjectStream kStream;
        kStream.InsertTopObject(NamedSequence("stored", "Hand"));
        ASSERT_TRUE(kStream.SaveFile(kSeqFile.c_str()));
    }
    const std::string kA = kFolder.File("a.nif");
    const std::string kB = kFolder.File("b.nif");
    // a: its own entry "wave" from wave.kf, one naming a itself and one
    // naming b, whose only entry names a again.
    auto Manager = [](std::initializer_list<std::pair<std::string, std::string>> kEntries) {
        stream_test::Bytes b = ManagerPart();
        b.U32(static_cast<std::uint32_t>(kEntries.size()));
        for (const auto& [kName, kFile] : kEntries)
            b.U8(1).Str(kName).Str(kFile).U32(0);
        return stream_test::BuildFile(V(4, 1, 0, 3), {{"NiKeyframeManager", b}}, {0});
    };
    WriteFile(kA, Manager({{"wave", kSeqFile}, {"self", kA}, {"other", kB}}));
    WriteFile(kB, Manager({{"back", kA}, {"wave2", kSeqFile}}));

    NiObjectStream kStream;
    ASSERT_TRUE(kStream.LoadFile(kA.c_str()));
    auto* pk = NiDynamicCast<NiKeyframeManager>(kStream.GetObjectAt(0));
    ASSERT_NE(pk, nullptr);
    ASSERT_EQ(pk->GetSequenceCount(), 1u);
    NiSequence* pkWave = pk->GetSequence("wave");
    ASSERT_NE(pkWave, nullptr);
    EXPECT_STREQ(pkWave->GetNameAt(0), "Hand");

    // A missing file is skipped too.
    WriteFile(kB, Manager({{"gone", kFolder.File("missing.kf")}, {"wave2", kSeqFile}}));
    NiObjectStream kSecond;
    ASSERT_TRUE(kSecond.LoadFile(kB.c_str()));
    auto* pkB = NiDynamicCast<NiKeyframeManager>(kSecond.GetObjectAt(0));
    ASSERT_NE(pkB, nullptr);
    EXPECT_EQ(pkB->GetSequenceCount(), 1u);
    EXPECT_NE(pkB->GetSequence("wave2"), nullptr);
    kStream.RemoveAllTopObjects();
    kSecond.RemoveAllTopObjects();
}

TEST_F(NiKeyframeManagerTest, OldEmbeddedEntriesEachBecomeASequence)
{
    // 4.0.0.2: per entry the flag and the name; embedded entries hold a
    // u32, the text keys' link and (object name, controller link) pairs.
    stream_test::Bytes kManager = ManagerPart();
    kManager.U32(2);
    kManager.U8(0).Str("walk").U32(0).U32(NULL_LINK).U32(1).Str("Hand").U32(1);
    kManager.U8(0).Str("run").U32(0).U32(3).U32(2).Str("Foot").U32(2).Str("Leg").U32(NULL_LINK);
    stream_test::Bytes kController;
    kController.U32(NULL_LINK).U16(0x0C).F32(1).F32(0).F32(0).F32(1).U32(NULL_LINK).U32(NULL_LINK);
    stream_test::Bytes kKeys;
    kKeys.U32(NULL_LINK).U32(0).U32(1).F32(0.5f).Str("hit");
    auto kFile = stream_test::BuildFile(V(4, 0, 0, 2),
                                        {{"NiKeyframeManager", kManager},
                                         {"NiKeyframeController", kController},
                                         {"NiKeyframeController", kController},
                                         {"NiTextKeyExtraData", kKeys}},
                                        {0});
    NiObjectPtr sp = animtest::Load(kFile);
    auto* pk = NiDynamicCast<NiKeyframeManager>(sp.Get());
    ASSERT_NE(pk, nullptr);
    ASSERT_EQ(pk->GetSequenceCount(), 2u);
    NiSequence* pkWalk = pk->GetSequence("walk");
    NiSequence* pkRun = pk->GetSequence("run");
    ASSERT_NE(pkWalk, nullptr);
    ASSERT_NE(pkRun, nullptr);
    ASSERT_EQ(pkWalk->GetCount(), 1u);
    EXPECT_STREQ(pkWalk->GetNameAt(0), "Hand");
    EXPECT_NE(pkWalk->GetControllerAt(0), nullptr);
    ASSERT_EQ(pkRun->GetCount(), 2u);
    EXPECT_STREQ(pkRun->GetNameAt(1), "Leg");
    EXPECT_EQ(pkRun->GetControllerAt(1), nullptr);
    ASSERT_NE(pkRun->GetTextKeys(), nullptr);
    EXPECT_STREQ(pkRun->GetTextKeys()->GetKeyAt(0)->GetText(), "hit");
    for (std::size_t n = 0; n < kFile.size(); ++n)
        EXPECT_EQ(animtest::Load(kFile, n), nullptr) << n;
}

TEST_F(NiKeyframeManagerTest, ASequenceHoldingItsManagerIsRefusedAndFreed)
{
    // manager -> sequence -> the manager as the sequence's controller.
    animtest::File kFile;
    kFile.Add("NiKeyframeManager", animtest::TimeControllerRecord(0x0C).U32(1).U8(0).U32(1));
    kFile.Add("NiSequence", animtest::Bytes().U32(1).U8('s').U32(0).U32(NULL_LINK).U32(1).U32(1).U8('a').U32(0));
    kFile.Top(0);
    NiObjectStream kStream;
    const auto kBytes = kFile.Build();
    EXPECT_FALSE(kStream.LoadBuffer(kBytes.data(), static_cast<std::uint32_t>(kBytes.size())));
    EXPECT_EQ(kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);
    // The fixture checks that both are gone.
}
