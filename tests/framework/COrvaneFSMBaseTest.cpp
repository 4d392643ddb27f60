#include "framework/COrvaneFSMBase.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace
{
// A machine with its state in itself, recording every handler call.
class RecordingMachine : public COrvaneFSMBase
{
public:
    int HandleEvent(std::int32_t iEvent, std::uint8_t ucState) override
    {
        m_kCalls.push_back(std::to_string(iEvent) + ":" + std::to_string(ucState));
        if (m_kOnEvent)
            m_kOnEvent(iEvent, ucState);
        return static_cast<int>(m_kCalls.size());
    }
    void CommitState() override { m_ucState = m_ucRequested; }
    bool IsChangePending() const override { return m_bPending; }
    void SetChangePending(bool bPending) override { m_bPending = bPending; }
    std::uint8_t GetState() const override { return m_ucState; }

    void Request(std::uint8_t ucState)
    {
        m_ucRequested = ucState;
        m_bPending = true;
    }

    std::uint8_t m_ucState = 0;
    std::uint8_t m_ucRequested = 0;
    bool m_bPending = false;
    std::vector<std::string> m_kCalls;
    std::function<void(std::int32_t, std::uint8_t)> m_kOnEvent;
};
} // namespace

TEST(COrvaneFSMBaseTest, WithoutAChangeTheHandlerRunsOnce)
{
    RecordingMachine kMachine;
    kMachine.m_ucState = 6;
    EXPECT_EQ(kMachine.Update(3), 1);
    EXPECT_EQ(kMachine.m_kCalls, (std::vector<std::string>{"3:6"}));
    kMachine.m_kCalls.clear();
    kMachine.UpdateNow();
    EXPECT_EQ(kMachine.m_kCalls, (std::vector<std::string>{"0:6"}));
}

TEST(COrvaneFSMBaseTest, AChangeExitsCommitsAndEnters)
{
    RecordingMachine kMachine;
    kMachine.m_ucState = 1;
    kMachine.m_kOnEvent = [&](std::int32_t iEvent, std::uint8_t) {
        if (iEvent == COrvaneFSMBase::EVENT_UPDATE)
            kMachine.Request(4);
    };
    kMachine.UpdateNow();
    EXPECT_EQ(kMachine.m_kCalls, (std::vector<std::string>{"0:1", "2:1", "1:4"}));
    EXPECT_FALSE(kMachine.m_bPending);
}

TEST(COrvaneFSMBaseTest, RequestsOnEveryEnterStopAfterTenPairs)
{
    RecordingMachine kMachine;
    kMachine.m_kOnEvent = [&](std::int32_t iEvent, std::uint8_t ucState) {
        if (iEvent == COrvaneFSMBase::EVENT_ENTER)
            kMachine.Request(static_cast<std::uint8_t>(ucState + 1));
    };
    kMachine.Request(1);
    kMachine.UpdateNow();
    ASSERT_EQ(kMachine.m_kCalls.size(), 21u);
    EXPECT_EQ(kMachine.m_kCalls[1], "2:0");
    EXPECT_EQ(kMachine.m_kCalls[2], "1:1");
    EXPECT_EQ(kMachine.m_kCalls[19], "2:9");
    EXPECT_EQ(kMachine.m_kCalls[20], "1:10");
    // The tenth enter's request waits for the next call, after its update.
    EXPECT_TRUE(kMachine.m_bPending);
    EXPECT_EQ(kMachine.m_ucRequested, 11);
    kMachine.m_kCalls.clear();
    kMachine.m_kOnEvent = nullptr;
    kMachine.UpdateNow();
    EXPECT_EQ(kMachine.m_kCalls, (std::vector<std::string>{"0:10", "2:10", "1:11"}));
}

TEST(COrvaneFSMBaseTest, ARequestDuringExitIsCommittedAndReenteredOnce)
{
    RecordingMachine kMachine;
    kMachine.m_ucState = 2;
    int iExits = 0;
    kMachine.m_kOnEvent = [&](std::int32_t iEvent, std::uint8_t) {
        if (iEvent == COrvaneFSMBase::EVENT_EXIT && iExits++ == 0)
            kMachine.Request(7);
    };
    kMachine.Request(5);
    kMachine.UpdateNow();
    EXPECT_EQ(kMachine.m_kCalls, (std::vector<std::string>{"0:2", "2:2", "1:7", "2:7", "1:7"}));
    EXPECT_FALSE(kMachine.m_bPending);
}
