#include "framework/COrvaneCharacter.h"

#include "engine/core/NiRandom.h"
#include "framework/COrvaneAStar.h"
#include "framework/COrvaneApplication.h"
#include "framework/COrvaneBlock.h"
#include "framework/COrvaneBlockGrid.h"
#include "framework/COrvaneCastMemo.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneObjectDesc.h"
#include "framework/COrvanePathSpline.h"
#include "framework/COrvaneRenderer.h"
#include "framework/COrvaneWindow.h"
#include "platform/os/OsDialog.h"
#include "platform/os/OsTime.h"

#include <algorithm>
#include <cstdlib>

namespace
{
// Whether anything draws: the application's window has a renderer.
bool SomethingDraws()
{
    const COrvaneApplication* pkApplication = COrvaneApplication::GetExisting();
    const COrvaneWindow* pkWindow = pkApplication != nullptr ? pkApplication->GetWindow() : nullptr;
    const COrvaneRenderer* pkHolder = pkWindow != nullptr ? pkWindow->GetRenderer() : nullptr;
    return pkHolder != nullptr && pkHolder->GetRenderer() != nullptr;
}
} // namespace

COrvaneCharacter::COrvaneCharacter()
{
    Reset();
}

COrvaneCharacter::~COrvaneCharacter() = default;

void COrvaneCharacter::Destroy()
{
    ClearPath();
    m_pkFinder.reset();
}

void COrvaneCharacter::Reset()
{
    m_kOffset = NiVec3::ZERO;
    m_iWalkMode = WALK_STANDING;
    m_iCurrentCell = -1;
    m_iPreviousCell = -1;
    m_iDestination = -1;
    m_iLastGoal = -1;
    m_kCellPath.clear();
    m_pkSpline.reset();
    m_fT = 0.0f;
    m_bReversed = false;
    m_pkFinder.reset();
    m_iPathState = PATH_IDLE;
    m_fSearchWait = 0.0f;
}

void COrvaneCharacter::Update(float fDt)
{
    const NiVec3* pkPosition = GetModelPosition();
    if (!m_pkGrid || !pkPosition)
        return;
    m_iPreviousCell = m_iCurrentCell;
    m_ucCellChanged = 0;
    m_iCurrentCell = m_pkGrid->CellAt(*pkPosition);
    if (fDt > 0.0f && m_iWalkMode == WALK_FOLLOWING && MoveAlongSpline(fDt))
        OnPathEnd();
    // A person's pose is for the eye only: where nothing draws, the
    // animation of the bones is not run.
    if (m_pkModel != nullptr)
        m_pkModel->SetAnimated(SomethingDraws());
    COrvaneObject::Update(fDt);
}

void COrvaneCharacter::DebugDraw(bool)
{
    if (m_pkSpline)
        m_pkSpline->CreateDebugLines();
    if (m_pkFinder)
        m_pkFinder->DebugDrawLists();
}

int COrvaneCharacter::Load(COrvaneObjectDesc& kDesc)
{
    // A character always has a model of its own.
    if (kDesc.m_ucMode == 0)
        kDesc.m_ucMode = 1;
    m_pkGrid = kDesc.m_pkGrid;
    COrvaneIOObject::Load(kDesc);
    // Most people are out of view, or nothing draws at all: their nodes'
    // world data is worked out when a draw, pick, save or query reads it.
    if (m_pkModel != nullptr)
        m_pkModel->SetWorldOnDemand(true);
    m_pkFinder = std::make_unique<COrvaneAStar>();
    m_pkFinder->Init(nullptr);
    m_fSpeed = 1.0f + 0.05f * static_cast<float>(NiRand() % 11);
    return 1;
}

void COrvaneCharacter::SetGrid(COrvaneBlockGrid* pkGrid)
{
    m_pkGrid = pkGrid;
    const NiVec3* pkPosition = GetModelPosition();
    if (m_pkGrid && pkPosition)
        m_iCurrentCell = m_pkGrid->CellAt(*pkPosition);
}

void COrvaneCharacter::OnPathEnd()
{
    m_iWalkMode = WALK_STANDING;
}

bool COrvaneCharacter::IsNextPointWalkable() const
{
    if (!m_pkSpline || m_pkSpline->IsFixedPath() || !m_pkGrid)
        return true;
    static thread_local COrvaneCastMemo<const COrvanePathSpline> s_kCast;
    const auto* pkPath = s_kCast.Cast(m_pkSpline.get());
    if (!pkPath || pkPath->GetPoints().empty())
        return true;
    std::int32_t iIndex = pkPath->SegmentIndex(m_fT, m_bReversed);
    std::int32_t iCell = m_pkGrid->CellAt(pkPath->GetPoints()[static_cast<std::size_t>(iIndex)]);
    const COrvaneBlock* pkBlock = m_pkGrid->GetBlock(iCell);
    return pkBlock && pkBlock->IsWalkable();
}

bool COrvaneCharacter::MoveAlongSpline(float fDt)
{
    if (!m_pkSpline)
        return true;
    COrvaneComposite* pkModel = GetModel();
    if (!m_bReversed)
    {
        m_fT = m_pkSpline->Advance(std::min(m_fT, 1.0f), pkModel, fDt, m_fSpeed, &m_kOffset, true);
        if (m_fT < 1.0f)
            return false;
    }
    else
    {
        const float fBefore = pkModel ? pkModel->GetAccumulatedAngle() : 0.0f;
        m_fT = m_pkSpline->Advance(std::max(m_fT, 0.0f), pkModel, fDt, -m_fSpeed, &m_kOffset, true);
        // The spline faces the model back along the route; turn it to face
        // the way it walks. A step of no length left the model as it was,
        // already turned.
        if (pkModel && pkModel->GetAccumulatedAngle() != fBefore)
            Rotate(NiVec3::UNIT_Y, 180.0f, true);
        if (m_fT > 0.0f)
            return false;
    }
    m_fT = 0.0f;
    return true;
}

bool COrvaneCharacter::PathStep(std::int32_t iFrom, std::int32_t iTo, float fBudget, std::int32_t iTag)
{
    if (m_iPathState == PATH_IDLE)
    {
        ClearPath();
        if (iFrom < 0)
            iFrom = m_iCurrentCell;
        if (iTo < 0)
            iTo = m_iDestination;
        const COrvaneBlock* pkFrom = m_pkGrid ? m_pkGrid->GetBlock(iFrom) : nullptr;
        const COrvaneBlock* pkTo = m_pkGrid ? m_pkGrid->GetBlock(iTo) : nullptr;
        if (!pkFrom || !pkTo || !pkFrom->IsWalkable() || !pkTo->IsWalkable() || !m_pkFinder)
        {
            m_iPathState = PATH_FAILED;
            return true;
        }
        m_iDestination = iTo;
        if (iFrom == iTo)
        {
            m_iLastGoal = iTo;
            m_iPathState = PATH_READY;
            return true;
        }
        std::int32_t iReached = WalkStraight(iFrom, iTo);
        if (iReached == iTo)
        {
            m_iPathState = PATH_READY;
            m_pkSpline = m_pkGrid->BuildSpline(m_kCellPath, GetPathCount());
            return true;
        }
        // The search starts where the straight walk stopped; that cell comes
        // back as the first cell of the found path.
        m_kCellPath.pop_back();
        m_pkFinder->StartSearch(iReached, iTo, m_pkGrid, iTag);
        m_iPathState = PATH_SEARCHING;
    }

    if (m_iPathState != PATH_SEARCHING)
        return false;
    if (m_fSearchWait > 0.0f)
    {
        m_fSearchWait -= m_fLastTimeStep;
        return false;
    }
    const std::uint32_t uiStart = os::GetTickCount();
    std::int32_t iResult = 0;
    for (;;)
    {
        iResult = m_pkFinder->SearchStep();
        if (iResult != COrvaneAStar::STATE_SEARCHING)
            break;
        // Only a search still running is put off: a finished one is taken
        // now, or its result would be lost with the finder's lists.
        if (fBudget > 0.0f && static_cast<float>(os::GetTickCount() - uiStart) > fBudget)
        {
            // The budget is in milliseconds and the wait counts down frame
            // times in seconds: ten budgets, at least one frame.
            m_fSearchWait = std::max(fBudget * 10.0f / 1000.0f, m_fLastTimeStep);
            os::OutputDebugString(SEARCH_SPLIT_TEXT);
            return false;
        }
    }
    if (iResult == COrvaneAStar::STATE_FOUND)
    {
        m_pkFinder->GetPath(m_kCellPath, true);
        m_pkSpline = m_pkGrid->BuildSpline(m_kCellPath, GetPathCount());
        m_pkFinder->ClearVisited();
        m_iPathState = PATH_READY;
        return true;
    }
    ClearPath();
    m_iPathState = PATH_FAILED;
    return true;
}

bool COrvaneCharacter::PathToDestination(float fBudget, std::int32_t iTag)
{
    return PathStep(m_iCurrentCell, m_iDestination, fBudget, iTag);
}

std::int32_t COrvaneCharacter::WalkStraight(std::int32_t iFrom, std::int32_t iTo)
{
    const std::uint16_t usFrom = static_cast<std::uint16_t>(iFrom);
    const std::uint16_t usTo = static_cast<std::uint16_t>(iTo);
    if (!m_pkGrid)
        return usFrom;
    const std::int32_t iTargetRow = m_pkGrid->RowOf(usTo, true);
    const std::int32_t iTargetColumn = m_pkGrid->ColumnOf(usTo, true);
    const std::int32_t iColumns = m_pkGrid->GetColumns();
    m_kCellPath.push_back(usFrom);
    std::int32_t iCell = usFrom;
    bool bStop = false;
    while (iCell != usTo && !bStop)
    {
        const std::int32_t iRow = m_pkGrid->RowOf(iCell, true);
        const std::int32_t iColumn = m_pkGrid->ColumnOf(iCell, true);
        bStop = iRow == -1 || iColumn == -1;
        const std::int32_t iDr = iRow - iTargetRow;
        const std::int32_t iDc = iColumn - iTargetColumn;
        int iDirection = 0;
        if (std::abs(iDc) < std::abs(iDr))
            iDirection = iDr < 0 ? 2 : 6;
        else if (std::abs(iDr) < std::abs(iDc))
            iDirection = iDc < 0 ? 0 : 4;
        else if (iDr < 0)
            iDirection = iDc < 0 ? 1 : 3;
        else
            iDirection = iDc > 0 ? 5 : 7;
        if (!m_pkGrid->CanLeaveCell(iDirection, iCell))
            break;
        iCell += COrvaneBlockGrid::DirectionOffset(iDirection, iColumns);
        m_kCellPath.push_back(iCell);
    }
    return iCell;
}

void COrvaneCharacter::ClearPath()
{
    m_kCellPath.clear();
    m_iPathState = PATH_IDLE;
    if (m_pkFinder)
        m_pkFinder->ClearVisited();
    m_pkSpline.reset();
    m_fT = 0.0f;
    m_bReversed = false;
}

COrvaneSplineBase* COrvaneCharacter::GetSpline() const
{
    return m_pkSpline.get();
}

void COrvaneCharacter::SetSpline(const COrvaneSplineBase* pkSource, bool bFollow)
{
    if (!pkSource)
        return;
    ClearPath();
    m_pkSpline = pkSource->Clone();
    if (bFollow)
        m_iWalkMode = WALK_FOLLOWING;
}

int COrvaneCharacter::TurnBack(bool bFollow)
{
    if (!m_pkSpline)
        return 0;
    if (m_bReversed)
    {
        m_fT = 0.0f;
        m_bReversed = false;
    }
    else
    {
        m_bReversed = true;
        m_fT = 1.0f;
    }
    if (bFollow)
        m_iWalkMode = WALK_FOLLOWING;
    return 0;
}

void COrvaneCharacter::RandomiseOffset()
{
    if (!m_pkSpline || m_pkSpline->IsFixedPath())
        return;
    // A grid without a real cell size gives no room to spread walkers in.
    const std::int32_t iSize = m_pkGrid ? m_pkGrid->GetCellSize() : 0;
    if (iSize < 1)
        return;
    const int iRange = 100 * iSize;
    float fX = static_cast<float>(NiRand() % iRange + 1);
    float fZ = static_cast<float>(NiRand() % iRange + 1);
    if (NiRand() % 2 != 0)
        fX = -fX;
    if (NiRand() % 2 != 0)
        fZ = -fZ;
    const float fScale = 250.0f * static_cast<float>(iSize);
    m_kOffset = NiVec3(fX / fScale, 0.0f, fZ / fScale);
}

int COrvaneCharacter::ClearOffset()
{
    m_kOffset = NiVec3::ZERO;
    return 0;
}

void COrvaneCharacter::AnchorSplineStart()
{
    const NiVec3* pkPosition = GetModelPosition();
    if (!m_pkSpline || m_pkSpline->IsFixedPath() || !pkPosition)
        return;
    const NiVec3 kPoint = *pkPosition - m_kOffset;
    const std::int32_t iLast = static_cast<std::int32_t>(m_pkSpline->GetPointCount()) - 1;
    m_pkSpline->SetPoint(m_bReversed ? iLast : 0, kPoint);
}

void COrvaneCharacter::SetSplineEnd(const NiVec3& kPoint)
{
    if (!m_pkSpline || m_pkSpline->IsFixedPath())
        return;
    const std::int32_t iLast = static_cast<std::int32_t>(m_pkSpline->GetPointCount()) - 1;
    m_pkSpline->SetPoint(m_bReversed ? 0 : iLast, kPoint);
}

void COrvaneCharacter::SnapToPathPoint()
{
    if (!m_pkSpline)
        return;
    if (!m_pkSpline->IsFixedPath())
    {
        const auto* pkPath = dynamic_cast<const COrvanePathSpline*>(m_pkSpline.get());
        if (pkPath && !pkPath->GetPoints().empty())
            SetPosition(pkPath->GetPoints()[static_cast<std::size_t>(pkPath->SegmentIndex(m_fT, m_bReversed))], 0);
    }
    else
    {
        m_pkSpline->Advance(m_bReversed ? 0.0f : 1.0f, GetModel(), 0.0f, 0.0f, nullptr, false);
    }
    const NiVec3* pkPosition = GetModelPosition();
    if (m_pkGrid && pkPosition)
        m_iCurrentCell = m_pkGrid->CellAt(*pkPosition);
}
