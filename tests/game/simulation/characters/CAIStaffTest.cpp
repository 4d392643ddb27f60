#include "game/simulation/characters/CAIStaff.h"

#include "framework/COrvaneAIControllerManager.h"
#include "framework/COrvaneAnim.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneObjectDesc.h"
#include "game/simulation/characters/CAIPrisoner.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CPathableObject.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "tests/game/simulation/characters/CharacterTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace
{
class CAIStaffTest : public CharacterTest
{
protected:
    void SetUp() override
    {
        CharacterTest::SetUp();
        UseStubControllers();
        m_pkLedger = m_pkManager->GetStatistics();
        m_pkYard = Area(1, 16, 16);
    }

    template <typename Kind> Kind* Staff(const char* pcFactory, const char* pcTemplate, std::int32_t iCell)
    {
        auto* pkMember = dynamic_cast<Kind*>(Make(pcFactory, pcTemplate, m_pkYard));
        if (pkMember)
        {
            StandOn(*pkMember, iCell);
            pkMember->SetFree(true);
        }
        return pkMember;
    }

    CPathableObject* Stand(const char* pcFactory, const char* pcTemplate, std::int32_t iCell)
    {
        COrvaneObjectDesc kDesc;
        kDesc.m_pkTemplate = m_pkManager->FindTemplate(pcTemplate);
        kDesc.m_ucMode = 1;
        auto* pkObject =
            dynamic_cast<CPathableObject*>(m_pkManager->CreateObject(m_pkManager->FindFactory(pcFactory, nullptr), kDesc));
        NiVec3 kAt;
        if (!pkObject || !m_pkYard->CellPosition(iCell, kAt, true))
            return nullptr;
        pkObject->SetPosition(kAt, 0);
        pkObject->PlaceAt(kAt, m_pkYard);
        pkObject->Update(0.0f);
        if (COrvaneComposite* pkModel = pkObject->GetModel())
            pkModel->UpdateNode(0.0f);
        pkObject->Place();
        return pkObject;
    }

    std::size_t Calls(const std::string& kCall) const
    {
        return static_cast<std::size_t>(std::count(m_kHost.m_kCalls.begin(), m_kHost.m_kCalls.end(), kCall));
    }

    static std::string Animation(const CGameCharacter& kCharacter)
    {
        // The name without the model's folder.
        const COrvaneAnim* pkAnimation = kCharacter.GetCurrentAnimation();
        const std::string kName = pkAnimation && pkAnimation->GetName() ? pkAnimation->GetName() : "";
        return kName.substr(kName.rfind('/') == std::string::npos ? 0 : kName.rfind('/') + 1);
    }

    CPrisonStatistics* m_pkLedger = nullptr;
    CBlockGrid* m_pkYard = nullptr;
};

TEST_F(CAIStaffTest, EachKindIsHiredAtItsWageAndLeavesTheLedgerOnce)
{
    EXPECT_EQ(CAISecurity::GradeOf("prison1/staff/guard3.nif"), 3);
    EXPECT_EQ(CAISecurity::GradeOf("guard3"), 0);
    EXPECT_EQ(CAISecurity::GradeOf("a.b2.c"), 2);
    EXPECT_EQ(CAISecurity::GradeOf(".nif"), 0);
    EXPECT_EQ(CAISecurity::GradeOf(nullptr), 0);

    auto* pkGuard = Staff<CAISecurity>("SecurityGuardFactory", "guard1", 0);
    // No grade digit: wage 0, and the lowest level instead of 65535.
    auto* pkUngraded = Staff<CAISecurity>("SecurityGuardFactory", "guard_female", 1);
    auto* pkDoctor = Staff<CAIMedical>("MedicalFactory", "doctor", 2);
    auto* pkChaplain = Staff<CAISupportStaff>("SupportStaffFactory", "chaplain", 3);
    auto* pkCounsellor = Staff<CAISupportStaff>("SupportStaffFactory", "counsellor", 4);
    auto* pkWorker = Staff<CAIMaintenance>("MaintenanceStaffFactory", "maint_worker", 5);
    ASSERT_TRUE(pkGuard && pkUngraded && pkDoctor && pkChaplain && pkCounsellor && pkWorker);
    EXPECT_EQ(pkGuard->GetStats().m_usWage, 100);
    EXPECT_EQ(pkGuard->GetStats().m_usSecurityLevel, 0);
    EXPECT_EQ(pkUngraded->GetStats().m_usWage, 0);
    EXPECT_EQ(pkUngraded->GetStats().m_usSecurityLevel, 0);
    EXPECT_EQ(pkDoctor->GetStats().m_usWage, 250);
    EXPECT_EQ(pkChaplain->GetStats().m_usWage, 150);
    EXPECT_TRUE(pkChaplain->IsChaplain());
    EXPECT_FALSE(pkCounsellor->IsChaplain());
    EXPECT_EQ(pkWorker->GetStats().m_usWage, 250);
    EXPECT_EQ(pkGuard->GetStats().m_usArrivalYear, 2005);
    EXPECT_EQ(m_pkLedger->GetStaffGroup(0)->m_usCount, 2);
    EXPECT_EQ(m_pkLedger->GetStaffGroup(1)->m_usCount, 1);
    EXPECT_EQ(m_pkLedger->GetStaffGroup(2)->m_usCount, 3);
    EXPECT_EQ(m_pkLedger->m_kStaff.size(), 6u);

    // A post lists its staff; going takes the member off it and the ledger.
    CPathableObject* pkRoom = Stand("PathableObjectFactory", "medical_room", 16 * 8 + 8);
    ASSERT_NE(pkRoom, nullptr);
    pkDoctor->SetHome(pkRoom);
    pkDoctor->SetHome(pkRoom);
    EXPECT_EQ(pkRoom->GetStaffMembers().size(), 1u);
    pkDoctor->Release(); // the registry's later destroy finds nothing left
    EXPECT_TRUE(pkRoom->GetStaffMembers().empty());
    EXPECT_EQ(m_pkLedger->GetStaffGroup(2)->m_usCount, 2);
    m_pkManager->DestroyObject(pkDoctor, true);
    m_pkManager->DestroyObject(pkGuard, true);
    EXPECT_EQ(m_pkLedger->GetStaffGroup(2)->m_usCount, 2);
    EXPECT_EQ(m_pkLedger->GetStaffGroup(0)->m_usCount, 1);
    EXPECT_EQ(m_pkLedger->m_kStaff.size(), 4u);
}

TEST_F(CAIStaffTest, BoutsCountTheirServices)
{
    auto* pkGuard = Staff<CAISecurity>("SecurityGuardFactory", "guard1", 0);
    auto* pkDoctor = Staff<CAIMedical>("MedicalFactory", "doctor", 1);
    auto* pkChaplain = Staff<CAISupportStaff>("SupportStaffFactory", "chaplain", 2);
    auto* pkCounsellor = Staff<CAISupportStaff>("SupportStaffFactory", "counsellor", 3);
    CGameCharacter* pkPrisoner = Make("PrisonerFactory", "thug", m_pkYard);
    // Runs the bouts as the controller does: the timer falls by one each.
    auto Bouts = [&](CGameCharacter* pkStaff) {
        std::vector<std::string> kNames;
        pkStaff->SetControllerTimer(0.0f);
        do
        {
            EXPECT_TRUE(pkStaff->Interact(pkPrisoner));
            kNames.push_back(Animation(*pkStaff));
            pkStaff->SetControllerTimer(pkStaff->GetControllerTimer() - 1.0f);
        } while (pkStaff->GetControllerTimer() > 0.0f);
        return kNames;
    };
    const std::vector<std::string> kFight = Bouts(pkGuard);
    ASSERT_EQ(kFight.size(), 3u);
    EXPECT_EQ(kFight[0].rfind("gfight", 0), 0u);
    EXPECT_EQ(kFight[1].rfind("gfight", 0), 0u);
    EXPECT_EQ(kFight[2].rfind("gknockdown", 0), 0u);
    EXPECT_EQ(m_pkLedger->GetStaffGroup(0)->m_usServices, 1);
    EXPECT_EQ(pkGuard->GetStats().m_usKnockdowns, 1);
    EXPECT_EQ(pkGuard->GetStats().m_usWorkCount, 1);
    EXPECT_EQ(Calls("PlaySample 3,255,0"), 1u);

    ASSERT_EQ(Bouts(pkDoctor).size(), 1u);
    EXPECT_EQ(Animation(*pkDoctor).rfind("heal", 0), 0u);
    ASSERT_EQ(Bouts(pkChaplain).size(), 1u);
    EXPECT_EQ(Animation(*pkChaplain).rfind("bless", 0), 0u);
    EXPECT_EQ(m_pkLedger->GetStaffGroup(2)->m_usServices, 2);
    // A counsellor talks three bouts and counts the first two.
    const std::vector<std::string> kTalk = Bouts(pkCounsellor);
    ASSERT_EQ(kTalk.size(), 3u);
    EXPECT_EQ(kTalk[2].rfind("talk", 0), 0u);
    EXPECT_EQ(pkCounsellor->GetStats().m_usWorkCount, 2);
    EXPECT_EQ(m_pkLedger->GetStaffGroup(2)->m_usServices, 4);
    EXPECT_EQ(Calls("PlaySample 4,255,0"), 1u);
    EXPECT_EQ(Calls("PlaySample 6,255,0"), 3u);

    pkGuard->PlayPauseAnimation();
    const std::string kPause = Animation(*pkGuard);
    EXPECT_TRUE(kPause.size() == 6 && kPause.rfind("pause", 0) == 0 && kPause[5] >= '1' && kPause[5] <= '6')
        << kPause;
}

TEST_F(CAIStaffTest, GuardsReachByGradeAndARecallWidensTheSearch)
{
    auto* pkGuard = Staff<CAISecurity>("SecurityGuardFactory", "guard1", 16 * 2 + 2);
    auto* pkPrisoner = dynamic_cast<CAIPrisoner*>(Make("PrisonerFactory", "thug", m_pkYard));
    StandOn(*pkPrisoner, 16 * 9 + 2); // 14 units: beyond a grade-1 guard's 10
    pkPrisoner->SetFree(true);
    pkPrisoner->SetMood(CAIPrisoner::MOOD_ANGRY, true);
    EXPECT_FALSE(pkGuard->FindCharacterToServe());
    // Busy (a partner): the recall is ignored.
    pkGuard->SetPartner(pkPrisoner);
    pkGuard->RequestRecall();
    EXPECT_FALSE(pkGuard->IsRecallRequested());
    pkGuard->SetPartner(nullptr);
    pkGuard->RequestRecall();
    EXPECT_TRUE(pkGuard->IsRecallRequested());
    pkGuard->UpdateAI(0.05f);
    EXPECT_FALSE(pkGuard->IsRecallRequested());
    EXPECT_TRUE(pkGuard->HasWiderSearch());
    // Doubled reach (200 for 100): 14 units now within it.
    StandOn(*pkGuard, 16 * 2 + 2);
    EXPECT_TRUE(pkGuard->FindCharacterToServe());
    EXPECT_EQ(pkGuard->GetPartner(), pkPrisoner);
    EXPECT_FALSE(pkGuard->HasWiderSearch());
    // A guard does not answer a prisoner's look when taken.
    pkGuard->SetFree(false);
    EXPECT_EQ(pkPrisoner->FindNearbyGuard(), nullptr);
}

TEST_F(CAIStaffTest, MaintenanceServicesOnlyWornObjects)
{
    auto* pkWorker = Staff<CAIMaintenance>("MaintenanceStaffFactory", "maint_worker", 16 * 2 + 2);
    CPathableObject* pkBench = Stand("WorkObjectFactory", "work_bench", 16 * 6 + 6);
    ASSERT_NE(pkBench, nullptr);
    for (int i = 0; i < 20; ++i)
    {
        EXPECT_FALSE(pkWorker->FindObjectForMood());
        EXPECT_EQ(pkWorker->GetTargetObject(), nullptr);
    }
    pkBench->GetObjectStats()->m_usAttraction = 10;
    ASSERT_TRUE(pkWorker->FindObjectForMood());
    EXPECT_EQ(pkWorker->GetTargetObject(), pkBench);
    EXPECT_TRUE(pkBench->IsUserAt(pkWorker, pkWorker->GetUseSlotList(), pkWorker->GetUseSlot()));
    EXPECT_EQ(pkWorker->GetDestination(), pkBench->GetAccessCell(pkWorker->GetUseSlotList()));
    pkWorker->OnPartnerTask();
    EXPECT_EQ(pkBench->GetRecord().m_usAttraction, 100);
    EXPECT_EQ(m_pkLedger->GetStaffGroup(1)->m_usServices, 1);
    EXPECT_EQ(pkWorker->GetStats().m_usWorkCount, 1);
    EXPECT_EQ(Calls("PlaySample 5,255,0"), 1u);
}

TEST_F(CAIStaffTest, TheDayPaysAndTheYearAgesOrReplacesTheOld)
{
    auto* pkDoctor = Staff<CAIMedical>("MedicalFactory", "doctor", 3);
    const int iWages = m_pkLedger->m_iWages;
    pkDoctor->SetPartner(dynamic_cast<CGameCharacter*>(Make("PrisonerFactory", "thug", m_pkYard)));
    pkDoctor->FinishActivity();
    EXPECT_EQ(m_pkLedger->m_iWages, iWages + 250);
    EXPECT_EQ(pkDoctor->GetPartner(), nullptr);
    EXPECT_EQ(pkDoctor->GetUseSlot(), -1);

    m_kHost.m_kClock.m_ucDayRolled = 1;
    m_kHost.m_kClock.m_usDay = 0;
    pkDoctor->GetStats().m_usAge = 40;
    pkDoctor->GetStats().m_usTerm = 2;
    pkDoctor->UpdateAI(0.05f);
    EXPECT_EQ(pkDoctor->GetStats().m_usTerm, 3);
    EXPECT_EQ(pkDoctor->GetStats().m_usAge, 40);
    // Above 60 a younger person takes over; an empty name list gives the
    // first name instead of a division by zero.
    m_kSpawn.m_kMaleNames.clear();
    m_kSpawn.m_kFemaleNames.clear();
    pkDoctor->GetStats().m_usAge = 61;
    pkDoctor->GetStats().m_usFirstName = 7;
    pkDoctor->UpdateAI(0.05f);
    EXPECT_GE(pkDoctor->GetStats().m_usAge, 20);
    EXPECT_LE(pkDoctor->GetStats().m_usAge, 49);
    EXPECT_EQ(pkDoctor->GetStats().m_usFirstName, 0);
    EXPECT_EQ(pkDoctor->GetStats().m_usTerm, 4);
}
} // namespace
