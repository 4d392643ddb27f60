#include "framework/COrvaneGridObject.h"

#include "framework/COrvaneBlock.h"
#include "framework/COrvaneBlockGrid.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneFile.h"
#include "framework/COrvaneObjectDesc.h"
#include "tests/framework/FrameworkTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
class Thing : public COrvaneGridObject
{
public:
    std::int32_t GetEntityKind() const override { return 1; }
    void SetExtent(std::int32_t iWidth, std::int32_t iDepth)
    {
        m_iWidth = iWidth;
        m_iDepth = iDepth;
    }
};

class Named : public COrvaneBase
{
public:
    explicit Named(const char* pcName) { SetName(pcName); }
};

class COrvaneObjectTest : public FrameworkTest
{
protected:
    // A loaded object with a model of its own, standing at the origin.
    static void LoadWithModel(COrvaneObject& kObject, COrvaneBase* pkType = nullptr)
    {
        COrvaneObjectDesc kDesc;
        kDesc.m_ucMode = 2;
        kDesc.m_kName = "cot";
        kDesc.m_pkType = pkType;
        ASSERT_EQ(kObject.Load(kDesc), 1);
        ASSERT_NE(kObject.GetModel(), nullptr);
    }

    void WriteState(COrvaneIOObject& kObject, const char* pcName)
    {
        COrvaneFile kFile;
        ASSERT_EQ(kFile.Open(pcName, COrvaneFile::MODE_WRITE), 1);
        EXPECT_EQ(kObject.SaveState(kFile), 1);
        kFile.Close();
    }
};
} // namespace

TEST_F(COrvaneObjectTest, ResetGivesPlayModeOneAndTimerTen)
{
    Thing kThing;
    EXPECT_EQ(kThing.GetPlayMode(), 1);
    EXPECT_EQ(kThing.GetTimer(), 10.0f);
    EXPECT_EQ(kThing.GetModel(), nullptr);
    EXPECT_EQ(kThing.GetModelPosition(), nullptr);
    EXPECT_EQ(kThing.GetGridNumber(), -1);
    LoadWithModel(kThing);
    EXPECT_STREQ(kThing.GetName(), "cot");
    kThing.SetName("own");
    EXPECT_STREQ(kThing.GetName(), "own");
    kThing.Update(0.25f);
    EXPECT_EQ(kThing.GetTimer(), 9.75f);
    EXPECT_EQ(kThing.GetLastTimeStep(), 0.25f);
    kThing.PlayAnimation("walk", 3, 0.0f, 0, 2);
    EXPECT_EQ(kThing.GetPlayMode(), 3);
    EXPECT_EQ(kThing.GetTimer(), 9.75f);
}

TEST_F(COrvaneObjectTest, RelativeTurnsWrapOnceAndReachTheModel)
{
    Thing kThing;
    LoadWithModel(kThing);
    kThing.Rotate(NiVec3::UNIT_Y, 350.0f, false);
    kThing.Rotate(NiVec3::UNIT_Y, 30.0f, true);
    EXPECT_FLOAT_EQ(kThing.GetHeading(), 20.0f);
    kThing.Rotate(NiVec3::UNIT_Y, 10.0f, false);
    kThing.Rotate(NiVec3::UNIT_Y, -30.0f, true);
    EXPECT_FLOAT_EQ(kThing.GetHeading(), 340.0f);
    EXPECT_FLOAT_EQ(kThing.GetModel()->GetAccumulatedAngle(), -20.0f);
    EXPECT_EQ(kThing.GetRotation()[1], kThing.GetHeading());
}

TEST_F(COrvaneObjectTest, FacingAPointTurnsAndKeepsThePosition)
{
    Thing kThing;
    LoadWithModel(kThing);
    kThing.SetPosition(NiVec3(1.0f, 0.0f, 1.0f), 0);
    kThing.Update(0.0f);
    kThing.FaceTowards(NiVec3(2.0f, 5.0f, 2.0f));
    EXPECT_NEAR(kThing.GetHeading(), 45.0f, 1e-4f);
    EXPECT_EQ(*kThing.GetModelPosition(), NiVec3(1.0f, 0.0f, 1.0f));
    kThing.FaceTowards(NiVec3(1.0f, 0.0f, -3.0f));
    EXPECT_NEAR(kThing.GetHeading(), 180.0f, 1e-4f);
    EXPECT_FLOAT_EQ(kThing.DistanceSquaredTo(NiVec3(4.0f, 4.0f, 1.0f)), 25.0f);
}

TEST_F(COrvaneObjectTest, StateLinesAreExactAndReadBack)
{
    COrvaneBlockGrid kGrid;
    kGrid.Setup(4, 4, NiVec3::ZERO, 1, 3);
    Named kType("bunk");
    Thing kSaved;
    LoadWithModel(kSaved, &kType);
    kSaved.SetGrid(&kGrid);
    kSaved.SetPosition(NiVec3(1.0f, 0.0f, 2.5f), 0);
    kSaved.Rotate(NiVec3::UNIT_Y, 90.0f, false);
    kSaved.Update(0.0f);
    WriteState(kSaved, "thing.txt");
    EXPECT_EQ(ReadFileBytes(Folder() / "thing.txt"),
              "cot\r\nbunk\r\n1.00000,0.00000,2.50000,90.0000\r\n3\r\n-1,0,0\r\n");

    Thing kLoaded;
    LoadWithModel(kLoaded);
    COrvaneFile kFile;
    ASSERT_EQ(kFile.Open("thing.txt", COrvaneFile::MODE_READ), 1);
    std::string kName;
    kFile.ReadLine(kName);
    kFile.ReadLine(kName);
    EXPECT_EQ(kLoaded.LoadState(kFile), 1);
    EXPECT_EQ(*kLoaded.GetModelPosition(), NiVec3(1.0f, 0.0f, 2.5f));
    EXPECT_EQ(kLoaded.GetHeading(), 90.0f);
    EXPECT_EQ(kLoaded.GetGridNumber(), 3);
    EXPECT_EQ(kLoaded.GetAnchor(), -1);
}

TEST_F(COrvaneObjectTest, BigNumbersInBothExponentStylesAndNoGrid)
{
    Thing kSaved;
    LoadWithModel(kSaved);
    kSaved.SetPosition(NiVec3(1000000.0f, -0.5f, 0.000125f), 0);
    kSaved.Update(0.0f);
    WriteState(kSaved, "big.txt");
    // Six significant digits; a missing grid is written as -1.
    EXPECT_EQ(ReadFileBytes(Folder() / "big.txt"), "cot\r\n\r\n1.00000e+06,-0.500000,0.000125000,0.00000\r\n-1\r\n-1,0,0\r\n");

    for (const char* pcLine : {"1e+006,2,3,45\r\n7\r\n", "1e+06,2,3,45\r\n7\r\n"})
    {
        SCOPED_TRACE(pcLine);
        WriteFileBytes(Folder() / "in.txt", pcLine);
        Thing kLoaded;
        LoadWithModel(kLoaded);
        COrvaneFile kFile;
        ASSERT_EQ(kFile.Open("in.txt", COrvaneFile::MODE_READ), 1);
        EXPECT_EQ(kLoaded.COrvaneGridEntity::LoadState(kFile), 1);
        EXPECT_EQ(*kLoaded.GetModelPosition(), NiVec3(1000000.0f, 2.0f, 3.0f));
        EXPECT_EQ(kLoaded.GetHeading(), 45.0f);
        EXPECT_EQ(kLoaded.GetGridNumber(), 7);
    }
}

TEST_F(COrvaneObjectTest, ShortOrDamagedStateLinesChangeNothing)
{
    for (const char* pcLine : {"1,2,3\r\n", "1,x,3,4\r\n", "\r\n", ""})
    {
        SCOPED_TRACE(pcLine);
        WriteFileBytes(Folder() / "short.txt", std::string(pcLine) + "5\r\n");
        Thing kLoaded;
        LoadWithModel(kLoaded);
        kLoaded.Rotate(NiVec3::UNIT_Y, 30.0f, false);
        COrvaneFile kFile;
        if (kFile.Open("short.txt", COrvaneFile::MODE_READ) != 1)
            continue;
        EXPECT_EQ(kLoaded.LoadState(kFile), 0);
        EXPECT_EQ(*kLoaded.GetModelPosition(), NiVec3::ZERO);
        EXPECT_EQ(kLoaded.GetHeading(), 30.0f);
        EXPECT_EQ(kLoaded.GetGridNumber(), -1);
    }
}

TEST_F(COrvaneObjectTest, FootprintsSwapOnlyOffTheAxis)
{
    COrvaneBlockGrid kGrid;
    kGrid.Setup(10, 10, NiVec3::ZERO, 2, 1);
    Thing kThing;
    LoadWithModel(kThing);
    kThing.SetExtent(8, 4);
    kThing.SetGrid(&kGrid);
    for (auto [fHeading, iRows, iColumns] :
         {std::tuple{0.0f, 4, 2}, std::tuple{90.0f, 2, 4}, std::tuple{180.0f, 4, 2}, std::tuple{270.0f, 2, 4}})
    {
        kThing.Rotate(NiVec3::UNIT_Y, fHeading, false);
        kThing.ComputeFootprint();
        EXPECT_EQ(kThing.GetRows(), iRows) << fHeading;
        EXPECT_EQ(kThing.GetColumns(), iColumns) << fHeading;
    }
}

TEST_F(COrvaneObjectTest, AnchorsAreOffsetByHalfTheFootprint)
{
    COrvaneBlockGrid kGrid;
    kGrid.Setup(10, 10, NiVec3::ZERO, 1, 1);
    Thing kThing;
    LoadWithModel(kThing);
    const NiVec3 kAt(5.0f, 0.0f, -5.0f); // cell 55
    // Width along rows at heading 0: 2 rows -> X - 0, 3 -> X - 1, 4 -> X - 1.
    for (auto [iRows, iAnchor] : {std::tuple{2, 55}, std::tuple{3, 45}, std::tuple{4, 45}, std::tuple{1, 55}})
    {
        kThing.SetExtent(iRows, 3);
        ASSERT_TRUE(kThing.PlaceAt(kAt, &kGrid)) << iRows;
        // Three columns: the anchor's Z moves back by one column.
        EXPECT_EQ(kThing.GetAnchor(), iAnchor - 1) << iRows;
    }
    kThing.SetExtent(0, 3);
    EXPECT_FALSE(kThing.PlaceAt(kAt, &kGrid));
    EXPECT_EQ(kThing.GetAnchor(), -1);
    kThing.SetExtent(2, 2);
    EXPECT_FALSE(kThing.PlaceAt(kAt, nullptr));
    EXPECT_FALSE(kThing.PlaceAt(NiVec3(50.0f, 0.0f, 0.0f), &kGrid));
    EXPECT_EQ(kThing.GetAnchor(), -1);
    EXPECT_FALSE(kThing.CanPlace());
}

TEST_F(COrvaneObjectTest, PlacedObjectsOccupyAndFreeTheirCells)
{
    COrvaneBlockGrid kGrid;
    kGrid.Setup(10, 10, NiVec3::ZERO, 1, 1);
    Thing kBed, kChair;
    LoadWithModel(kBed);
    LoadWithModel(kChair);
    kBed.SetExtent(2, 2);
    kChair.SetExtent(1, 1);
    ASSERT_TRUE(kBed.PlaceAt(NiVec3(5.0f, 0.0f, -5.0f), &kGrid));
    EXPECT_TRUE(kBed.CanPlace());
    EXPECT_EQ(kBed.Occupy(), 1);
    for (std::int32_t iCell : {55, 56, 65, 66})
    {
        EXPECT_EQ(kGrid.GetBlock(iCell)->GetOccupant(), &kBed);
        EXPECT_FALSE(kGrid.GetBlock(iCell)->IsWalkable());
    }
    ASSERT_TRUE(kChair.PlaceAt(NiVec3(6.0f, 0.0f, -6.0f), &kGrid));
    EXPECT_FALSE(kChair.CanPlace());
    EXPECT_EQ(kBed.ClearFootprint(), 1);
    EXPECT_TRUE(kChair.CanPlace());
    EXPECT_TRUE(kGrid.GetBlock(66)->IsWalkable());
    // Border cells do not count for placing.
    ASSERT_TRUE(kChair.PlaceAt(NiVec3(0.0f, 0.0f, 0.0f), &kGrid));
    EXPECT_FALSE(kChair.CanPlace());
}

TEST_F(COrvaneObjectTest, TruncatedStateRecordsLoadOnlyWhenWhole)
{
    COrvaneBlockGrid kGrid;
    kGrid.Setup(10, 10, NiVec3::ZERO, 1, 4);
    Thing kSaved;
    LoadWithModel(kSaved);
    kSaved.SetExtent(2, 3);
    ASSERT_TRUE(kSaved.PlaceAt(NiVec3(5.0f, 0.0f, -5.0f), &kGrid));
    kSaved.SetPosition(NiVec3(5.0f, 0.0f, -5.0f), 0);
    kSaved.Update(0.0f);
    WriteState(kSaved, "whole.txt");
    const std::string kFull = ReadFileBytes(Folder() / "whole.txt");
    EXPECT_EQ(kFull, "cot\r\n\r\n5.00000,0.00000,-5.00000,0.00000\r\n4\r\n54,2,3\r\n");
    const std::size_t uiRecord = kFull.find("5.00000");
    for (std::size_t n = uiRecord; n <= kFull.size(); ++n)
    {
        SCOPED_TRACE(n);
        WriteFileBytes(Folder() / "cut.txt", kFull.substr(uiRecord, n - uiRecord));
        COrvaneFile kFile;
        if (kFile.Open("cut.txt", COrvaneFile::MODE_READ) != 1)
            continue;
        Thing kLoaded;
        LoadWithModel(kLoaded);
        // Whole, or cut inside the last line end.
        bool bWhole = n + 2 >= kFull.size();
        EXPECT_EQ(kLoaded.LoadState(kFile), bWhole ? 1 : 0);
        if (bWhole)
        {
            EXPECT_EQ(kLoaded.GetAnchor(), 54);
        }
    }
}

TEST_F(COrvaneObjectTest, ARecordIsParsedWholeBeforeAnyOfItReachesTheObject)
{
    // Good object and entity lines, a damaged last line: nothing is taken.
    WriteFileBytes(Folder() / "bad.txt", "4,5,6,90\r\n7\r\n12,2,x\r\n");
    Thing kLoaded;
    LoadWithModel(kLoaded);
    kLoaded.Rotate(NiVec3::UNIT_Y, 30.0f, false);
    {
        COrvaneFile kFile;
        ASSERT_EQ(kFile.Open("bad.txt", COrvaneFile::MODE_READ), 1);
        EXPECT_EQ(kLoaded.LoadState(kFile), 0);
    }
    EXPECT_EQ(*kLoaded.GetModelPosition(), NiVec3::ZERO);
    EXPECT_EQ(kLoaded.GetHeading(), 30.0f);
    EXPECT_EQ(kLoaded.GetGridNumber(), -1);
    EXPECT_EQ(kLoaded.GetAnchor(), -1);
    // Numbers past their 32-bit fields are damage too, not wrapped values.
    for (const char* pcBytes : {"4,5,6,90\r\n4294967303\r\n12,2,3\r\n", "4,5,6,90\r\n7\r\n12,2,2147483648\r\n",
                                "4,5,6,90\r\n7\r\n-2147483649,2,3\r\n"})
    {
        SCOPED_TRACE(pcBytes);
        WriteFileBytes(Folder() / "range.txt", pcBytes);
        COrvaneFile kFile;
        ASSERT_EQ(kFile.Open("range.txt", COrvaneFile::MODE_READ), 1);
        EXPECT_EQ(kLoaded.LoadState(kFile), 0);
        EXPECT_EQ(kLoaded.GetGridNumber(), -1);
        EXPECT_EQ(kLoaded.GetAnchor(), -1);
    }

    // The parse alone fills the record of the object's kind and leaves the
    // object as it was; the apply then puts the whole record in.
    WriteFileBytes(Folder() / "good.txt", "4,5,6,90\r\n7\r\n12,2,3\r\n");
    COrvaneFile kFile;
    ASSERT_EQ(kFile.Open("good.txt", COrvaneFile::MODE_READ), 1);
    std::unique_ptr<COrvaneIOState> pkState = kLoaded.NewState();
    ASSERT_TRUE(kLoaded.ParseState(kFile, *pkState));
    EXPECT_EQ(kLoaded.GetGridNumber(), -1);
    EXPECT_EQ(*kLoaded.GetModelPosition(), NiVec3::ZERO);
    const auto& kRecord = static_cast<const COrvaneGridObjectState&>(*pkState);
    EXPECT_EQ(kRecord.m_kPosition, NiVec3(4.0f, 5.0f, 6.0f));
    EXPECT_EQ(kRecord.m_fHeading, 90.0f);
    EXPECT_EQ(kRecord.m_iGridNumber, 7);
    EXPECT_EQ(kRecord.m_iColumns, 3);
    kLoaded.ApplyState(*pkState);
    EXPECT_EQ(*kLoaded.GetModelPosition(), NiVec3(4.0f, 5.0f, 6.0f));
    EXPECT_EQ(kLoaded.GetHeading(), 90.0f);
    EXPECT_EQ(kLoaded.GetGridNumber(), 7);
    EXPECT_EQ(kLoaded.GetAnchor(), 12);
    EXPECT_EQ(kLoaded.GetRows(), 2);
    EXPECT_EQ(kLoaded.GetColumns(), 3);
}
