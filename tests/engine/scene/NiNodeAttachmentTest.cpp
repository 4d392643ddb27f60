#include "engine/scene/NiNodeAttachment.h"

#include "engine/scene/NiIntegerExtraData.h"
#include "engine/scene/NiStringExtraData.h"
#include "tests/engine/scene/SceneTestSupport.h"

using namespace scene_test;

namespace
{
class NiNodeAttachmentTest : public SceneTest
{
};

void AddText(NiObjectNET& kObject, const char* pcName, const char* pcText)
{
    NiRefPtr<NiStringExtraData> sp = new NiStringExtraData(pcText);
    sp->SetName(pcName);
    kObject.AddExtraData(sp);
}
} // namespace

TEST_F(NiNodeAttachmentTest, HoldsTheObjectAndClonesShareIt)
{
    NiRefPtr<TestAVObject> sp = new TestAVObject;
    NiNodeAttachment kAttachment;
    kAttachment.Set(sp);
    EXPECT_EQ(sp->GetRefCount(), 2u);
    EXPECT_EQ(kAttachment.GetNode(), nullptr);
    std::unique_ptr<NiNodeAttachment> spCopy = kAttachment.Clone();
    EXPECT_EQ(spCopy->GetObject(), sp.Get());
    EXPECT_EQ(sp->GetRefCount(), 3u);
    kAttachment.Clear();
    spCopy->Set(nullptr);
    EXPECT_EQ(sp->GetRefCount(), 1u);
}

TEST_F(NiNodeAttachmentTest, StringTextIsTheFirstLineOfTheLowestEntry)
{
    struct Case
    {
        const char* pcText;
        const char* pcExpected;
    };
    const Case akCases[] = {
        {"a.nif\n", "a.nif"}, {"a.nif\r\nmore", "a.nif"}, {"\nrest", ""}, {"plain", "plain"}, {"x\ry\n", "x\ry"},
    };
    for (const Case& kCase : akCases)
    {
        SCOPED_TRACE(kCase.pcText);
        NiRefPtr<TestAVObject> sp = new TestAVObject;
        AddText(*sp, "m", kCase.pcText);
        NiNodeAttachment kAttachment;
        kAttachment.Set(sp);
        std::string kText;
        kAttachment.GetStringExtraDataText(kText);
        EXPECT_EQ(kText, kCase.pcExpected);
    }

    NiRefPtr<TestAVObject> sp = new TestAVObject;
    AddText(*sp, "z", "last");
    AddText(*sp, "b", "first\n");
    NiRefPtr<NiIntegerExtraData> spNumber = new NiIntegerExtraData(3);
    spNumber->SetName("a");
    sp->AddExtraData(spNumber);
    NiNodeAttachment kAttachment;
    kAttachment.Set(sp);
    std::string kText;
    kAttachment.GetStringExtraDataText(kText);
    EXPECT_EQ(kText, "first");

    NiRefPtr<TestAVObject> spNone = new TestAVObject;
    kAttachment.Set(spNone);
    std::string kEmpty;
    kAttachment.GetStringExtraDataText(kEmpty);
    EXPECT_TRUE(kEmpty.empty());
}
