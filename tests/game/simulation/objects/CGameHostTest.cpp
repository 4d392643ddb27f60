#include "game/simulation/objects/CGameHost.h"

#include "game/simulation/objects/CWorld.h"
#include "tests/framework/FrameworkTestSupport.h"
#include "tests/game/support/CRecordingHost.h"

namespace
{

CClockState ClockAt(float fPrevious, float fNow)
{
    CClockState kClock;
    kClock.m_fPreviousMinutes = fPrevious;
    kClock.m_fMinutes = fNow;
    return kClock;
}

TEST(CClockState, AnHourBeginsOnceAlsoAcrossAJump)
{
    EXPECT_TRUE(ClockAt(719.5f, 720.0f).HasHourBegun(12));
    EXPECT_FALSE(ClockAt(720.0f, 721.0f).HasHourBegun(12));
    EXPECT_FALSE(ClockAt(719.0f, 719.9f).HasHourBegun(12));
    // A long step from 10:30 to 12:10 still begins 12 (and not 11).
    EXPECT_TRUE(ClockAt(630.0f, 730.0f).HasHourBegun(12));
    EXPECT_FALSE(ClockAt(630.0f, 730.0f).HasHourBegun(11));
    EXPECT_TRUE(ClockAt(630.0f, 730.0f).HasHourChanged());
    EXPECT_FALSE(ClockAt(1081.0f, 1100.0f).HasHourChanged());
    // The day roll: 23:59 to 00:00 begins hour 0.
    EXPECT_TRUE(ClockAt(1439.0f, 0.0f).HasHourBegun(0));
    EXPECT_EQ(CClockState::HourOf(-3.0f), 0);
    EXPECT_EQ(CClockState::HourOf(1440.0f), 24);
}

TEST(CGameHost, TheRecordingHostIsInstalledWhileItLives)
{
    CGameHost::ResetInstance();
    EXPECT_EQ(CGameHost::Get(), nullptr);
    {
        CRecordingHost kHost;
        EXPECT_EQ(CGameHost::Get(), &kHost);
        CGameHost::Get()->PostMessage(56);
        CGameHost::Get()->PostNumberedMessage(19, 2);
        CGameHost::Get()->PlaySample(20, 255, false);
        CGameHost::Get()->StopSample(25);
        EXPECT_EQ(CGameHost::Get()->TakePersonNumber(), 0);
        EXPECT_EQ(CGameHost::Get()->TakePersonNumber(), 1);
        EXPECT_EQ(kHost.m_usPersonCounter, 2);
        kHost.m_bMessageShowing = true;
        EXPECT_TRUE(CGameHost::Get()->IsMessageShowing());
        CGameHost::Get()->SetSavedSpeed(CGameHost::Get()->GetGameSpeed());
        CGameHost::Get()->SetGameSpeed(0.0f);
        EXPECT_EQ(kHost.m_fSavedSpeed, 1.0f);
        EXPECT_EQ(kHost.Actions(), (std::vector<std::string>{"PostMessage 56", "PostNumberedMessage 19,2",
                                                              "PlaySample 20,255,0", "StopSample 25",
                                                              "TakePersonNumber 0", "TakePersonNumber 1",
                                                              "SetSavedSpeed 1", "SetGameSpeed 0"}));
        EXPECT_EQ(kHost.CallsNamed("PostMessage"), std::vector<std::string>{"56"});
        EXPECT_EQ(kHost.CallsNamed("IsMessageShowing"), std::vector<std::string>{""});
    }
    // A host that goes takes itself out.
    EXPECT_EQ(CGameHost::Get(), nullptr);
}

TEST(CWorld, UpgradeLevelAndMapNumberStartAtZeroAndReset)
{
    CWorld kWorld;
    EXPECT_EQ(kWorld.GetUpgradeLevel(), 0);
    EXPECT_EQ(kWorld.GetHighestMapNumber(), 0);
    EXPECT_TRUE(kWorld.AreDetailsShown());
    // Without a fence switch only the field changes.
    kWorld.SetUpgradeLevel(2);
    kWorld.SetHighestMapNumber(7);
    EXPECT_EQ(kWorld.GetUpgradeLevel(), 2);
    EXPECT_EQ(kWorld.GetHighestMapNumber(), 7);
    kWorld.Reset();
    EXPECT_EQ(kWorld.GetUpgradeLevel(), 0);
    EXPECT_EQ(kWorld.GetHighestMapNumber(), 0);
}

} // namespace
