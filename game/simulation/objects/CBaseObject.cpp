#include "game/simulation/objects/CBaseObject.h"

#include "engine/core/NiRandom.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiNodeAttachment.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneFile.h"
#include "framework/COrvaneObjectDesc.h"
#include "framework/COrvaneObjectTemplate.h"
#include "game/simulation/characters/CSpawnManager.h"
#include "game/simulation/objects/CBlock.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CGameHost.h"
#include "game/simulation/objects/CGridCharacter.h"
#include "game/simulation/objects/CObjectQuery.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "game/simulation/objects/TextConvert.h"

#include <cmath>
#include <cstring>

namespace
{
constexpr std::uint16_t RETIREMENT_AGE = 65;

CPrisonStatistics* Ledger()
{
    CDynamicObjectManager* pkManager = CDynamicObjectManager::GetExisting();
    return pkManager ? pkManager->GetStatistics() : nullptr;
}

CClockState Clock()
{
    const CGameHost* pkHost = CGameHost::Get();
    return pkHost ? pkHost->GetClock() : CClockState();
}

std::uint16_t CurrentYear()
{
    const CClockState kClock = Clock();
    return static_cast<std::uint16_t>(kClock.m_usYear + kClock.m_sYearOffset);
}

// A draw from a name list of the count; an empty list gives 0 and draws
// nothing.
std::uint16_t DrawName(std::uint16_t usCount)
{
    return usCount ? static_cast<std::uint16_t>(NiRand() % usCount) : 0;
}

std::uint16_t FirstNameCount(bool bFemale)
{
    const CGameHost* pkHost = CGameHost::Get();
    const CSpawnManager* pkSpawn = pkHost ? pkHost->GetSpawnManager() : nullptr;
    if (!pkSpawn)
        return 0;
    return bFemale ? pkSpawn->m_usFemaleNameCount : pkSpawn->m_usMaleNameCount;
}

std::uint16_t SurnameCount()
{
    const CGameHost* pkHost = CGameHost::Get();
    const CSpawnManager* pkSpawn = pkHost ? pkHost->GetSpawnManager() : nullptr;
    return pkSpawn ? pkSpawn->m_usSurnameCount : 0;
}

// The 18 values of a post line: the three wide fields as their low 16 bits,
// then the fifteen narrow ones, in the record's order.
std::vector<unsigned short> PostValues(const CCharacterStats& kStats)
{
    return {static_cast<unsigned short>(kStats.m_uiGender), static_cast<unsigned short>(kStats.m_uiGang),
            static_cast<unsigned short>(kStats.m_uiMood), kStats.m_usMoodIntensity, kStats.m_usHealth,
            kStats.m_usSecurityLevel, kStats.m_usFirstName, kStats.m_usSurname, kStats.m_usPersonNumber,
            kStats.m_usAge, kStats.m_usArrivalYear, kStats.m_usTerm, kStats.m_usReserved, kStats.m_usStarSign,
            kStats.m_usKnockdowns, kStats.m_usWorkCount, kStats.m_usWage, kStats.m_usHeadTexture};
}

// Values past the line's end keep the fields as they are.
void ApplyPostValues(const std::vector<unsigned short>& kValues, CCharacterStats& kStats)
{
    std::uint32_t* apuiWide[] = {&kStats.m_uiGender, &kStats.m_uiGang, &kStats.m_uiMood};
    std::uint16_t* apusNarrow[] = {&kStats.m_usMoodIntensity, &kStats.m_usHealth, &kStats.m_usSecurityLevel,
                                   &kStats.m_usFirstName, &kStats.m_usSurname, &kStats.m_usPersonNumber,
                                   &kStats.m_usAge, &kStats.m_usArrivalYear, &kStats.m_usTerm,
                                   &kStats.m_usReserved, &kStats.m_usStarSign, &kStats.m_usKnockdowns,
                                   &kStats.m_usWorkCount, &kStats.m_usWage, &kStats.m_usHeadTexture};
    for (std::size_t i = 0; i < kValues.size() && i < 18; ++i)
    {
        if (i < 3)
            *apuiWide[i] = kValues[i];
        else
            *apusNarrow[i - 3] = kValues[i];
    }
}

bool ReadLine(COrvaneFile& kFile, std::string& kLine)
{
    if (kFile.IsEof())
        return false;
    kFile.ReadLine(kLine);
    return true;
}
} // namespace

std::uint16_t CStaffPost::CategoryOf(const std::string& kText)
{
    if (kText.find("security") != std::string::npos)
        return SECURITY;
    if (kText.find("support") != std::string::npos)
        return SUPPORT;
    if (kText.find("visitor") != std::string::npos)
        return VISITOR;
    return OTHER_STAFF;
}

std::uint16_t CStaffPost::WageOf(const std::string& kText)
{
    return CategoryOf(kText) == VISITOR ? 0 : WAGE;
}

int CStaffPost::CostOnPlacingDay(const std::string& kText)
{
    return CategoryOf(kText) <= OTHER_STAFF ? WageOf(kText) : 0;
}

CStaffPost::CStaffPost() = default;

CStaffPost::~CStaffPost() = default;

CBaseObject::CBaseObject()
{
    CBaseObject::Reset();
}

CBaseObject::~CBaseObject()
{
    CBaseObject::Destroy();
}

void CBaseObject::Destroy()
{
    Unplace();
    RemoveFromStatistics();
    if (CPrisonStatistics* pkLedger = Ledger())
    {
        for (const std::unique_ptr<CStaffPost>& pkPost : m_kPosts)
        {
            const std::uint16_t usCategory = pkPost->GetCategory();
            // Posts held back left the ledger already.
            if (usCategory > CStaffPost::OTHER_STAFF || m_ucPostsHeldBack)
                continue;
            pkLedger->RemoveStaff(pkPost.get(), usCategory);
            // Registering booked the wage; an object that never stood in
            // the prison (a build preview) employed nobody.
            if (!m_ucEverPlaced)
                pkLedger->m_iWages -= pkPost->m_usWage;
        }
    }
    m_kPosts.clear();
    m_ucPostsHeldBack = 0;
    m_kRestoredPosts.clear();
    COrvaneGridObject::Destroy();
}

void CBaseObject::Reset()
{
    COrvaneGridObject::Reset();
    m_usDescriptionList = 0;
    m_usDescriptionEntry = 0;
    m_ucPlaced = 0;
    m_ucInStatistics = 0;
    m_pkLabelWidget = nullptr;
}

int CBaseObject::Load(COrvaneObjectDesc& kDesc)
{
    return Create(kDesc);
}

int CBaseObject::Create(COrvaneObjectDesc& kDesc)
{
    COrvaneGridObject::Load(kDesc);
    BuildUseSlots(kDesc);
    CreatePosts();
    m_kRecord.m_pkOwner = this;
    m_kRecord.m_usPrice = static_cast<std::uint16_t>(ReadIntParam(kDesc));
    return 1;
}

void CBaseObject::CreatePosts()
{
    if (!m_pkModel)
        return;
    std::vector<NiNode*> kNodes;
    m_pkModel->CollectNodes("Staff_Root", kNodes, false);
    std::vector<std::unique_ptr<NiNodeAttachment>> kHolders;
    m_pkModel->MakeAttachments(kNodes, kHolders);

    const char* pcName = GetName();
    std::string kFolder = pcName ? pcName : "";
    const std::size_t uiSlash = kFolder.rfind('/');
    kFolder.resize(uiSlash == std::string::npos ? 0 : uiSlash + 1);
    CPrisonStatistics* pkLedger = Ledger();

    for (std::unique_ptr<NiNodeAttachment>& pkHolder : kHolders)
    {
        auto pkPost = std::make_unique<CStaffPost>();
        std::string kText;
        pkHolder->GetStringExtraDataText(kText);
        pkPost->m_pkNode = std::move(pkHolder);
        pkPost->m_kHeadTexturePath = kFolder + kText + ".tga";
        const std::string& kPath = pkPost->m_kHeadTexturePath;
        if (CGameHost* pkHost = CGameHost::Get())
            pkPost->m_pkHeadTexture = pkHost->FindOrLoadImage(kPath.c_str());

        pkPost->m_usAge = static_cast<std::uint16_t>(NiRand() % 20 + 18);
        pkPost->m_usArrivalYear = CurrentYear();
        const bool bFemale = kPath.find("female") != std::string::npos;
        pkPost->m_uiGender = bFemale ? 1 : 0;
        pkPost->m_usFirstName = DrawName(FirstNameCount(bFemale));
        pkPost->m_usSurname = DrawName(SurnameCount());
        pkPost->m_usWage = CStaffPost::WageOf(kPath);
        pkPost->m_usMoodIntensity = CStaffPost::CategoryOf(kPath);
        pkPost->m_usStarSign = static_cast<std::uint16_t>(NiRand() % 12);
        pkPost->m_usSecurityLevel = GetRequiredLevel();
        if (pkLedger && pkPost->GetCategory() <= CStaffPost::OTHER_STAFF)
            pkLedger->RegisterStaff(pkPost.get(), pkPost->GetCategory());
        m_kPosts.push_back(std::move(pkPost));
    }
}

float CBaseObject::ReadFloatParam(COrvaneObjectDesc& kDesc)
{
    const COrvaneObjectTemplate* pkTemplate = kDesc.m_pkTemplate ? kDesc.m_pkTemplate : m_pkTemplate;
    if (!pkTemplate || m_usParameterCursor >= pkTemplate->m_kParameters.size())
        return 0.0f;
    return FromString<float>(pkTemplate->m_kParameters[m_usParameterCursor++]);
}

int CBaseObject::ReadIntParam(COrvaneObjectDesc& kDesc)
{
    const COrvaneObjectTemplate* pkTemplate = kDesc.m_pkTemplate ? kDesc.m_pkTemplate : m_pkTemplate;
    if (!pkTemplate || m_usParameterCursor >= pkTemplate->m_kParameters.size())
        return 0;
    return FromString<int>(pkTemplate->m_kParameters[m_usParameterCursor++]);
}

std::string CBaseObject::ReadStringParam(COrvaneObjectDesc& kDesc)
{
    const COrvaneObjectTemplate* pkTemplate = kDesc.m_pkTemplate ? kDesc.m_pkTemplate : m_pkTemplate;
    if (!pkTemplate || m_usParameterCursor >= pkTemplate->m_kParameters.size())
        return std::string();
    return FromString<std::string>(pkTemplate->m_kParameters[m_usParameterCursor++]);
}

bool CBaseObject::CanBuild() const
{
    const CPrisonStatistics* pkLedger = Ledger();
    if (!pkLedger)
        return false;
    if (static_cast<int>(m_kRecord.m_usPrice) > pkLedger->GetBalance())
        return false;
    return GetRequiredLevel() <= pkLedger->m_usPrisonLevel;
}

bool CBaseObject::IsPlacementValid(bool bWithBorder) const
{
    if (!m_pkGrid)
        return false;
    if (!m_pkGrid->IsAreaValid(m_iAnchor, m_iRows, m_iColumns, bWithBorder) ||
        !m_pkGrid->IsAreaFree(m_iAnchor, m_iRows, m_iColumns, bWithBorder))
        return false;
    for (std::int32_t i = 0; i < m_iRows; ++i)
    {
        for (std::int32_t j = 0; j < m_iColumns; ++j)
        {
            const COrvaneBlock* pkBlock = m_pkGrid->GetBlock(m_iAnchor + m_pkGrid->GetColumns() * i + j);
            if (!pkBlock || pkBlock->GetState() == CBlock::STATE_CONNECTOR ||
                pkBlock->GetState() == CBlock::STATE_DOOR)
                return false;
        }
    }
    return true;
}

void CBaseObject::HoldPostsBack()
{
    if (m_ucPostsHeldBack || m_ucEverPlaced)
        return;
    m_ucPostsHeldBack = 1;
    CPrisonStatistics* pkLedger = Ledger();
    if (!pkLedger)
        return;
    for (const std::unique_ptr<CStaffPost>& pkPost : m_kPosts)
    {
        const std::uint16_t usCategory = pkPost->GetCategory();
        if (usCategory > CStaffPost::OTHER_STAFF || !pkLedger->HoldsStaff(pkPost.get()))
            continue;
        pkLedger->RemoveStaff(pkPost.get(), usCategory);
        pkLedger->m_iWages -= pkPost->m_usWage;
    }
}

void CBaseObject::Place()
{
    OccupyFootprint();
    m_ucPlaced = 1;
    m_ucEverPlaced = 1;
    // A held preview's posts take up their work as it is built.
    if (m_ucPostsHeldBack)
    {
        m_ucPostsHeldBack = 0;
        if (CPrisonStatistics* pkLedger = Ledger())
            for (const std::unique_ptr<CStaffPost>& pkPost : m_kPosts)
                if (pkPost->GetCategory() <= CStaffPost::OTHER_STAFF)
                    pkLedger->RegisterStaff(pkPost.get(), pkPost->GetCategory());
    }
    if (m_pkGrid)
    {
        if (CDynamicObjectManager* pkManager = CDynamicObjectManager::GetExisting())
        {
            for (std::uint32_t i = 0; COrvaneObject* pkObject = pkManager->GetObjectAt(i); ++i)
            {
                auto* pkCharacter = dynamic_cast<CGridCharacter*>(pkObject);
                auto* pkEntity = dynamic_cast<COrvaneGridEntity*>(pkObject);
                if (!pkCharacter || !pkEntity || pkEntity->GetGrid() != m_pkGrid)
                    continue;
                bool bInTheWay = false;
                for (std::int32_t r = 0; r < m_iRows && !bInTheWay; ++r)
                    for (std::int32_t c = 0; c < m_iColumns && !bInTheWay; ++c)
                        bInTheWay = pkCharacter->IsAboutToStandOn(
                            *m_pkGrid, m_pkGrid->GetColumns() * r + m_iAnchor + c);
                if (bInTheWay)
                    pkCharacter->ForceRelocate();
            }
        }
        if (auto* pkFloor = dynamic_cast<CBlockGrid*>(m_pkGrid))
            pkFloor->AddMember(this);
    }
    AddToStatistics();
}

void CBaseObject::Unplace()
{
    if (!m_ucPlaced)
        return;
    if (CDynamicObjectManager* pkManager = CDynamicObjectManager::GetExisting())
        for (std::uint32_t i = 0; COrvaneObject* pkObject = pkManager->GetObjectAt(i); ++i)
            if (auto* pkCharacter = dynamic_cast<CGridCharacter*>(pkObject))
                pkCharacter->OnObjectRemoved(*this);
    ClearFootprint();
    if (auto* pkFloor = dynamic_cast<CBlockGrid*>(m_pkGrid))
        pkFloor->RemoveMember(this);
    m_ucPlaced = 0;
}

void CBaseObject::AddToStatistics()
{
    if (m_ucInStatistics)
        return;
    CPrisonStatistics* pkLedger = Ledger();
    if (!pkLedger)
        return;
    m_ucInStatistics = 1;
    const char* pcName = GetName();
    if (pcName && std::strstr(pcName, "execution"))
        ++pkLedger->m_usExecutionRooms;
    pkLedger->AddObject(&m_kRecord);
}

void CBaseObject::RemoveFromStatistics()
{
    if (!m_ucInStatistics)
        return;
    m_ucInStatistics = 0;
    CPrisonStatistics* pkLedger = Ledger();
    if (!pkLedger)
        return;
    const char* pcName = GetName();
    if (pcName && std::strstr(pcName, "execution") && pkLedger->m_usExecutionRooms > 0)
        --pkLedger->m_usExecutionRooms;
    pkLedger->RemoveObject(&m_kRecord);
}

void CBaseObject::DailyUpdate()
{
    CPrisonStatistics* pkLedger = Ledger();
    const CClockState kClock = Clock();
    const bool bNewYear = kClock.m_ucDayRolled && kClock.m_usDay == 0;
    const std::uint16_t usYear = CurrentYear();
    for (const std::unique_ptr<CStaffPost>& pkPost : m_kPosts)
    {
        if (pkPost->m_usWage == 0)
            continue;
        if (pkLedger)
            pkLedger->m_iWages += pkPost->m_usWage;
        if (!bNewYear)
            continue;
        ++pkPost->m_usAge;
        if (pkPost->m_usAge > RETIREMENT_AGE)
        {
            pkPost->m_usAge = static_cast<std::uint16_t>(NiRand() % 10 + 25);
            pkPost->m_usFirstName = DrawName(FirstNameCount(pkPost->m_uiGender == 1));
            pkPost->m_usArrivalYear = usYear;
        }
        pkPost->m_usTerm = static_cast<std::uint16_t>(usYear - pkPost->m_usArrivalYear);
    }
}

bool CBaseObject::MatchQuery(CObjectQuery& kQuery) const
{
    if (!m_ucPlaced || kQuery.m_pkSkip == this)
        return false;
    if (!(kQuery.m_ucWantUnattractive ? IsUnattractive() : WantsUser()))
        return false;
    if (kQuery.m_fMaxDistanceSquared == 0.0f && !kQuery.m_ucNearestOnly)
        return true;
    const NiVec3* pkSeeker = kQuery.m_pkSeeker ? kQuery.m_pkSeeker->GetModelPosition() : nullptr;
    const NiVec3* pkOwn = GetModelPosition();
    if (!pkSeeker || !pkOwn)
        return false;
    const NiVec3 kDelta = *pkSeeker - *pkOwn;
    if (kQuery.m_fMaxDistanceSquared != 0.0f &&
        kDelta.x * kDelta.x + kDelta.z * kDelta.z > kQuery.m_fMaxDistanceSquared)
        return false;
    if (kQuery.m_ucNearestOnly)
    {
        const float fDistance = std::sqrt(kDelta.x * kDelta.x + kDelta.y * kDelta.y + kDelta.z * kDelta.z);
        if (!(fDistance < kQuery.m_fBestDistance))
            return false;
        kQuery.m_fBestDistance = fDistance;
    }
    return true;
}

void CBaseObject::Reattach()
{
    SetGrid(CBlockGridManager::GetInstance()->FindGrid(m_iGridNumber));
    if (!m_pkLabelWidget)
    {
        CBuildMenuItem kItem;
        if (CGameHost* pkHost = CGameHost::Get(); pkHost && pkHost->FindBuildMenuItem(*this, IsNotTower(), kItem))
        {
            m_pkLabelWidget = kItem.m_pkPicture;
            m_usDescriptionList = kItem.m_usDescriptionList;
            m_usDescriptionEntry = kItem.m_usDescriptionEntry;
        }
    }
    for (std::size_t i = 0; i < m_kRestoredPosts.size() && i < m_kPosts.size(); ++i)
        static_cast<CCharacterStats&>(*m_kPosts[i]) = *m_kRestoredPosts[i];
    m_kRestoredPosts.clear();
}

CStaffPost* CBaseObject::FindPost(const NiNodeAttachment& kHolder) const
{
    for (const std::unique_ptr<CStaffPost>& pkPost : m_kPosts)
        if (pkPost->m_pkNode && pkPost->m_pkNode->GetObject() == kHolder.GetObject())
            return pkPost.get();
    return nullptr;
}

void CBaseObject::SetBuildMenuItem(const CBuildMenuItem& kItem)
{
    m_pkLabelWidget = kItem.m_pkPicture;
    m_usDescriptionList = kItem.m_usDescriptionList;
    m_usDescriptionEntry = kItem.m_usDescriptionEntry;
}

void CBaseObject::SetDescription(std::uint16_t usList, std::uint16_t usEntry)
{
    m_usDescriptionList = usList;
    m_usDescriptionEntry = usEntry;
}

int CBaseObject::SaveState(COrvaneFile& kFile)
{
    if (!COrvaneGridObject::SaveState(kFile))
        return 0;
    bool bWritten = WriteUShortList(kFile, {m_kRecord.m_ausSaved[0], m_kRecord.m_ausSaved[1],
                                            m_kRecord.m_ausSaved[2], m_kRecord.m_usAttraction});
    bWritten = WriteUShortList(kFile, {m_usDescriptionList, m_usDescriptionEntry}) && bWritten;
    bWritten = kFile.WriteString((ToString(m_kPosts.size()) + "\r\n").c_str()) && bWritten;
    for (const std::unique_ptr<CStaffPost>& pkPost : m_kPosts)
        bWritten = WriteUShortList(kFile, PostValues(*pkPost)) && bWritten;
    return bWritten ? 1 : 0;
}

int CBaseObject::LoadState(COrvaneFile& kFile)
{
    CBaseObjectState kState;
    if (!CBaseObject::ParseState(kFile, kState))
        return 0;
    CBaseObject::ApplyState(kState);
    return 1;
}

std::unique_ptr<COrvaneIOState> CBaseObject::NewState() const
{
    return std::make_unique<CBaseObjectState>();
}

bool CBaseObject::ParseState(COrvaneFile& kFile, COrvaneIOState& kState) const
{
    if (!COrvaneGridObject::ParseState(kFile, kState))
        return false;
    auto& kOwn = static_cast<CBaseObjectState&>(kState);
    // Every number is read as the stream reads it and must fit its field: a
    // line with one that does not fails the record there.
    std::string kLine;
    std::vector<unsigned short> kValues;
    if (!ReadLine(kFile, kLine) || !ParseLeadingUShortList(kLine, kValues))
        return false;
    for (std::size_t i = 0; i < kValues.size() && i < 3; ++i)
        kOwn.m_ausSaved[i] = kValues[i];
    if (kValues.size() > 3)
        kOwn.m_usAttraction = kValues[3];

    kValues.clear();
    if (!ReadLine(kFile, kLine) || !ParseLeadingUShortList(kLine, kValues))
        return false;
    if (!kValues.empty())
        kOwn.m_usDescriptionList = kValues[0];
    if (kValues.size() > 1)
        kOwn.m_usDescriptionEntry = kValues[1];

    const CGameHost* pkHost = CGameHost::Get();
    if (IsBuilding() && pkHost && pkHost->GetSaveVersion() < 1)
        return true;

    long long llCount = 0;
    if (!ReadLine(kFile, kLine) || !ParseLeadingInt(kLine, 0, MAX_SAVED_POSTS, llCount))
        return false;
    // Every post the count names must be there: a file that ends first was
    // cut short.
    for (long long i = 0; i < llCount; ++i)
    {
        kValues.clear();
        if (!ReadLine(kFile, kLine) || !ParseLeadingUShortList(kLine, kValues))
            return false;
        CCharacterStats kPost;
        ApplyPostValues(kValues, kPost);
        kOwn.m_kPosts.push_back(kPost);
    }
    return true;
}

void CBaseObject::ApplyState(const COrvaneIOState& kState)
{
    COrvaneGridObject::ApplyState(kState);
    const auto& kOwn = static_cast<const CBaseObjectState&>(kState);
    for (int i = 0; i < 3; ++i)
        m_kRecord.m_ausSaved[i] = kOwn.m_ausSaved[i];
    m_kRecord.m_usAttraction = kOwn.m_usAttraction;
    m_usDescriptionList = kOwn.m_usDescriptionList;
    m_usDescriptionEntry = kOwn.m_usDescriptionEntry;
    m_kRestoredPosts.clear();
    for (const CCharacterStats& kPost : kOwn.m_kPosts)
        m_kRestoredPosts.push_back(std::make_unique<CCharacterStats>(kPost));
}
