#include "engine/animation/NiSequence.h"

#include "engine/animation/NiMultiTargetTransformController.h"
#include "engine/animation/NiSequenceStreamHelper.h"
#include "engine/animation/NiStringPalette.h"
#include "engine/animation/NiTextKeyExtraData.h"
#include "engine/animation/NiTransformController.h"
#include "tests/engine/animation/AnimModelSupport.h"
#include "tests/engine/core/NiStreamFixture.h"

#include <gtest/gtest.h>

#include <cstring>

using stream_test::Bytes;
using stream_test::Record;
using stream_test::V;

namespace
{
constexpr std::uint32_t NONE = 0xFFFFFFFF;

class NiSequenceTest : public animtest::ModelTest
{
protected:
    // Loads into m_kStream; false when the load fails.
    bool Load(const std::vector<std::uint8_t>& kFile)
    {
        return m_kStream.LoadBuffer(kFile.data(), static_cast<std::uint32_t>(kFile.size()));
    }
    void TearDown() override
    {
        m_kStream.RemoveAllTopObjects();
        animtest::ModelTest::TearDown();
    }
    NiObjectStream m_kStream;
};

class TestTextKeys : public NiTextKeyExtraData
{
    NiDeclareTypeInfo()
    NiDeclareClone(TestTextKeys)
};
NiImplementTypeInfo(TestTextKeys, NiTextKeyExtraData)
NiImplementCreateClone(TestTextKeys)
void TestTextKeys::CopyMembers(TestTextKeys* pkDest, NiCloneContext& kCloning)
{
    NiTextKeyExtraData::CopyMembers(pkDest, kCloning);
}

// Old time-controller part (4.x): next, flags, frequency, phase, range,
// target.
Bytes OldController(std::uint32_t uiNext)
{
    Bytes b;
    b.U32(uiNext).U16(0x0C).F32(1).F32(0).F32(0).F32(1).U32(NONE);
    return b;
}

// An old extra-data part: next link and a byte count of 0.
Bytes OldExtra(std::uint32_t uiNext)
{
    Bytes b;
    return b.U32(uiNext).U32(0);
}
} // namespace

// ---- String palette ----

TEST_F(NiSequenceTest, PaletteGrowsToFitAndReturnsOffsets)
{
    NiRefPtr<NiStringPalette> sp = new NiStringPalette(8);
    EXPECT_EQ(sp->AddString("abc"), 0u);
    EXPECT_EQ(sp->GetEndOfBuffer(), 4u);
    EXPECT_EQ(sp->GetAllocatedSize(), 8u);
    EXPECT_EQ(sp->AddString("defgh"), 4u);
    EXPECT_EQ(sp->GetAllocatedSize(), 16u);
    EXPECT_STREQ(sp->GetString(0), "abc");
    EXPECT_STREQ(sp->GetString(4), "defgh");
    EXPECT_STREQ(sp->GetString(5), "efgh");
    EXPECT_EQ(sp->GetString(10), nullptr); // past the used end
    EXPECT_EQ(sp->AddString(nullptr), NiStringPalette::NO_STRING);

    // An empty palette, or a string beyond one doubling, grows to fit.
    NiRefPtr<NiStringPalette> spEmpty = new NiStringPalette(0);
    EXPECT_EQ(spEmpty->AddString("a long name"), 0u);
    EXPECT_EQ(spEmpty->GetAllocatedSize(), 12u);
    EXPECT_EQ(spEmpty->AddString("a much longer name than before"), 12u);
    EXPECT_STREQ(spEmpty->GetString(12), "a much longer name than before");

    // Copies share the palette.
    NiObjectPtr spCopy = sp->Clone();
    EXPECT_EQ(spCopy.Get(), sp.Get());
}

TEST_F(NiSequenceTest, PaletteRecordKeepsTheUsedBytes)
{
    NiRefPtr<NiStringPalette> sp = new NiStringPalette(64);
    sp->AddString("bone");
    sp->AddString("NiTransformController");
    auto kFile = animtest::Save(sp);
    NiObjectPtr spLoaded = animtest::Load(kFile);
    auto* pk = NiDynamicCast<NiStringPalette>(spLoaded.Get());
    ASSERT_NE(pk, nullptr);
    EXPECT_EQ(pk->GetAllocatedSize(), 27u); // exactly the used bytes
    EXPECT_EQ(pk->GetEndOfBuffer(), 27u);
    EXPECT_STREQ(pk->GetString(5), "NiTransformController");
    EXPECT_FALSE(pk->IsEqual(sp)); // allocated sizes differ
    EXPECT_EQ(animtest::Save(pk), kFile);
    EXPECT_TRUE(pk->IsEqual(animtest::Load(kFile)));
    for (std::size_t n = 0; n < kFile.size(); ++n)
    {
        SCOPED_TRACE(n);
        EXPECT_EQ(animtest::Load(kFile, n), nullptr);
    }
    // The used end may not lie past the bytes.
    animtest::File kBad;
    animtest::Bytes b;
    b.U32(2).U8('a').U8(0).U32(3);
    kBad.Add("NiStringPalette", b);
    kBad.Top(0);
    EXPECT_EQ(animtest::Load(kBad.Build()), nullptr);
}

// ---- Text keys ----

TEST_F(NiSequenceTest, TextKeysLoadInOrderAndWriteBack)
{
    animtest::Bytes b;
    b.U32(0); // no name
    b.U32(3);
    auto Text = [&](const char* pc) {
        b.U32(static_cast<std::uint32_t>(std::strlen(pc)));
        for (const char* p = pc; *p; ++p)
            b.U8(static_cast<std::uint8_t>(*p));
    };
    b.F32(0.0f);
    Text("start");
    b.F32(1.5f);
    Text("morph:step");
    b.F32(3.0f);
    Text("end");
    animtest::File kFile;
    kFile.Add("NiTextKeyExtraData", b);
    kFile.Top(0);
    auto kBytes = kFile.Build();
    NiObjectPtr sp = animtest::Load(kBytes);
    auto* pk = NiDynamicCast<NiTextKeyExtraData>(sp.Get());
    ASSERT_NE(pk, nullptr);
    ASSERT_EQ(pk->GetNumKeys(), 3u);
    EXPECT_EQ(pk->GetKeyAt(1)->GetTime(), 1.5f);
    EXPECT_STREQ(pk->GetKeyAt(1)->GetText(), "morph:step");
    EXPECT_STREQ(pk->GetKeyAt(2)->GetText(), "end");
    EXPECT_EQ(animtest::Save(pk), kBytes);
    for (std::size_t n = 0; n < kBytes.size(); ++n)
    {
        SCOPED_TRACE(n);
        EXPECT_EQ(animtest::Load(kBytes, n), nullptr);
    }
    animtest::File kHuge;
    kHuge.Add("NiTextKeyExtraData", animtest::Bytes().U32(0).U32(0xFFFFFFFF));
    kHuge.Top(0);
    EXPECT_EQ(animtest::Load(kHuge.Build()), nullptr);
    // No keys: the name part and a zero count.
    NiRefPtr<NiTextKeyExtraData> spEmpty = new NiTextKeyExtraData;
    NiObjectPtr spEmptyLoaded = animtest::Load(animtest::Save(spEmpty));
    ASSERT_NE(spEmptyLoaded, nullptr);
    EXPECT_TRUE(spEmptyLoaded->IsEqual(spEmpty));
}

TEST_F(NiSequenceTest, TextKeyEqualityAndCopies)
{
    NiTextKeyExtraDataPtr a = animtest::MakeTextKeys({{0.0f, "a"}, {1.0f, "b"}});
    NiTextKeyExtraDataPtr b = animtest::MakeTextKeys({{0.0f, "a"}, {1.0f, "c"}});
    NiTextKeyExtraDataPtr c = animtest::MakeTextKeys({{0.0f, "a"}, {1.0f, nullptr}});
    NiTextKeyExtraDataPtr d = animtest::MakeTextKeys({{0.0f, "a"}, {1.0f, nullptr}});
    EXPECT_FALSE(a->IsEqual(b));
    EXPECT_FALSE(a->IsEqual(c)); // a null text equals only a null text
    EXPECT_FALSE(c->IsEqual(a));
    EXPECT_TRUE(c->IsEqual(d));
    NiObjectPtr spCopy = a->Clone();
    EXPECT_TRUE(spCopy->IsEqual(a));
    EXPECT_NE(static_cast<NiTextKeyExtraData*>(spCopy.Get())->GetKeyAt(0)->GetText(), a->GetKeyAt(0)->GetText());

    // A subclass copies no keys: its count is 0 too.
    NiRefPtr<TestTextKeys> spSub = new TestTextKeys;
    spSub->SetKeys(std::make_unique<NiTextKey[]>(2), 2);
    NiObjectPtr spSubCopy = spSub->Clone();
    EXPECT_EQ(static_cast<NiTextKeyExtraData*>(spSubCopy.Get())->GetNumKeys(), 0u);
    EXPECT_EQ(static_cast<NiTextKeyExtraData*>(spSubCopy.Get())->GetKeys(), nullptr);
}

// ---- Old sequences ----

TEST_F(NiSequenceTest, SequenceRecordFrom4103)
{
    std::vector<Record> kRecords;
    Bytes kSeq;
    kSeq.Str("wave").U32(77).U32(1).U32(2).Str("Hand").U32(2).Str("Arm").U32(NONE);
    kRecords.push_back({"NiSequence", kSeq});
    Bytes kKeys = OldExtra(NONE);
    kKeys.U32(1).F32(0.5f).Str("hit");
    kRecords.push_back({"NiTextKeyExtraData", kKeys});
    kRecords.push_back({"NiKeyframeController", OldController(NONE).U32(NONE)});
    auto kFile = stream_test::BuildFile(V(4, 1, 0, 3), kRecords, {0, 2});
    ASSERT_TRUE(Load(kFile));

    NiSequencePtr sp = NiSequence::CreateFromStream(m_kStream, 0, nullptr);
    ASSERT_NE(sp, nullptr);
    EXPECT_STREQ(sp->GetName(), "wave");
    EXPECT_EQ(sp->GetStoredValue(), 77u);
    ASSERT_EQ(sp->GetCount(), 2u);
    EXPECT_STREQ(sp->GetNameAt(0), "Hand");
    EXPECT_TRUE(NiIsKindOf<NiTransformController>(sp->GetControllerAt(0)));
    EXPECT_EQ(sp->GetControllerAt(1), nullptr);
    ASSERT_NE(sp->GetTextKeys(), nullptr);
    EXPECT_STREQ(sp->GetTextKeys()->GetKeyAt(0)->GetText(), "hit");
    EXPECT_STREQ(NiSequence::CreateFromStream(m_kStream, 0, "renamed")->GetName(), "renamed");
    EXPECT_EQ(NiSequence::CreateFromStream(m_kStream, 1, nullptr), nullptr); // a controller
    EXPECT_EQ(NiSequence::CreateFromStream(m_kStream, 2, nullptr), nullptr); // past the end

    // Truncated at every length: nothing loads.
    for (std::size_t n = 0; n < kFile.size(); ++n)
    {
        SCOPED_TRACE(n);
        NiObjectStream kStream;
        EXPECT_FALSE(kStream.LoadBuffer(kFile.data(), static_cast<std::uint32_t>(n)));
    }
    // A count the file cannot hold.
    Bytes kHuge;
    kHuge.Str("x").U32(0).U32(NONE).U32(0x7FFFFFFF);
    NiObjectStream kStream;
    auto kHugeFile = stream_test::BuildFile(V(4, 1, 0, 3), {{"NiSequence", kHuge}}, {0});
    EXPECT_FALSE(kStream.LoadBuffer(kHugeFile.data(), static_cast<std::uint32_t>(kHugeFile.size())));
}

TEST_F(NiSequenceTest, StreamHelperFrom4002BecomesASequence)
{
    // The helper: name, the head of its extra-data chain, its controllers.
    // Extra data: text keys -> "Hand" -> "Lamp"; controllers: a transform
    // controller, then a multi-target controller (not adopted).
    std::vector<Record> kRecords;
    Bytes kHelper;
    kHelper.Str("wave").U32(1).U32(4);
    kRecords.push_back({"NiSequenceStreamHelper", kHelper});
    Bytes kKeys = OldExtra(2);
    kKeys.U32(1).F32(0.25f).Str("morph:a");
    kRecords.push_back({"NiTextKeyExtraData", kKeys});
    kRecords.push_back({"NiStringExtraData", OldExtra(3).Str("Hand")});
    kRecords.push_back({"NiStringExtraData", OldExtra(NONE).Str("Lamp")});
    kRecords.push_back({"NiKeyframeController", OldController(5).U32(NONE)});
    kRecords.push_back({"NiMultiTargetTransformController", OldController(NONE).U16(0)});
    auto kFile = stream_test::BuildFile(V(4, 0, 0, 2), kRecords, {0});
    ASSERT_TRUE(Load(kFile));
    auto* pkHelper = NiDynamicCast<NiSequenceStreamHelper>(m_kStream.GetObjectAt(0));
    ASSERT_NE(pkHelper, nullptr);
    NiTimeControllerPtr spTransform = pkHelper->GetControllers();
    ASSERT_NE(spTransform, nullptr);

    NiSequencePtr sp = NiSequence::CreateFromStream(m_kStream, 0, nullptr);
    ASSERT_NE(sp, nullptr);
    EXPECT_STREQ(sp->GetName(), "wave");
    ASSERT_NE(sp->GetTextKeys(), nullptr);
    EXPECT_STREQ(sp->GetTextKeys()->GetKeyAt(0)->GetText(), "morph:a");
    ASSERT_EQ(sp->GetCount(), 2u);
    EXPECT_STREQ(sp->GetNameAt(0), "Hand");
    EXPECT_EQ(sp->GetControllerAt(0), spTransform.Get());
    EXPECT_EQ(spTransform->GetTarget(), nullptr);
    EXPECT_STREQ(sp->GetNameAt(1), "Lamp");
    EXPECT_EQ(sp->GetControllerAt(1), nullptr);
    // The helper gave everything away.
    EXPECT_EQ(pkHelper->GetControllers(), nullptr);
    EXPECT_EQ(pkHelper->GetExtraDataSize(), 0u);

    // A named sequence; anything but a helper gives none.
    ASSERT_TRUE(Load(kFile));
    EXPECT_STREQ(NiSequence::CreateFromStream(m_kStream, 0, "given")->GetName(), "given");
    auto kNotHelper = stream_test::BuildFile(V(4, 0, 0, 2), {{"NiStringExtraData", OldExtra(NONE).Str("x")}}, {0});
    ASSERT_TRUE(Load(kNotHelper));
    EXPECT_EQ(NiSequence::CreateFromStream(m_kStream, 0, nullptr), nullptr);

    // From a file.
    stream_test::TempFolder kFolder;
    std::string kPath = kFolder.File("wave.kf");
    {
        std::FILE* pf = std::fopen(kPath.c_str(), "wb");
        ASSERT_NE(pf, nullptr);
        ASSERT_EQ(std::fwrite(kFile.data(), 1, kFile.size(), pf), kFile.size());
        std::fclose(pf);
    }
    NiSequencePtr spFromFile = NiSequence::CreateFromFile(kPath.c_str(), 0, nullptr);
    ASSERT_NE(spFromFile, nullptr);
    EXPECT_EQ(spFromFile->GetCount(), 2u);
    EXPECT_EQ(NiSequence::CreateFromFile(kFolder.File("none.kf").c_str(), 0, nullptr), nullptr);
}

TEST_F(NiSequenceTest, CurrentRecordRoundTrips)
{
    NiSequencePtr sp = new NiSequence("s", 2, 2);
    sp->SetTextKeys(animtest::MakeTextKeys({{0.0f, "x"}}));
    NiRefPtr<NiTransformController> spController = new NiTransformController;
    sp->AddNameAndController("a", spController);
    sp->AddNameAndController("b", nullptr);
    auto kFile = animtest::Save(sp);
    NiObjectPtr spLoaded = animtest::Load(kFile);
    ASSERT_NE(spLoaded, nullptr);
    EXPECT_TRUE(spLoaded->IsEqual(sp));
    EXPECT_EQ(animtest::Save(spLoaded), kFile);
    NiObjectStream kStream;
    ASSERT_TRUE(kStream.LoadBuffer(kFile.data(), static_cast<std::uint32_t>(kFile.size())));
    EXPECT_NE(NiSequence::CreateFromStream(kStream, 0), nullptr);
    kStream.RemoveAllTopObjects();
}
