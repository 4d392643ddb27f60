#pragma once

#include "engine/core/NiVec3.h"
#include "framework/COrvaneGridEntity.h"

#include <cstdint>
#include <memory>
#include <vector>

class COrvaneAStar;
class COrvaneSplineBase;

// A walking character: plans walks over its grid (a straight walk, then an
// A* search under a time budget where that is blocked) and follows the
// resulting spline frame by frame.
class COrvaneCharacter : public COrvaneGridEntity
{
public:
    static constexpr std::int32_t WALK_STANDING = 4;
    static constexpr std::int32_t WALK_FOLLOWING = 5;
    static constexpr std::int32_t PATH_IDLE = 0;
    static constexpr std::int32_t PATH_SEARCHING = 1;
    static constexpr std::int32_t PATH_READY = 2;
    static constexpr std::int32_t PATH_FAILED = 3;

    COrvaneCharacter();
    ~COrvaneCharacter() override;

    void Destroy() override;
    void Reset() override;
    void Update(float fDt) override;
    virtual void DebugDraw(bool bFlag);
    int Load(COrvaneObjectDesc& kDesc) override;
    void SetGrid(COrvaneBlockGrid* pkGrid) override;
    // A character walks the grids, whose positions are in the world's own
    // axes: its model hangs upright, so its world position is its placement.
    [[nodiscard]] bool StandsUpright() const override { return true; }
    [[nodiscard]] std::int32_t GetReferenceCell() const override { return m_iCurrentCell; }
    virtual void OnPathEnd();
    [[nodiscard]] virtual bool IsNextPointWalkable() const;
    // True when there is no spline or the walk has arrived.
    virtual bool MoveAlongSpline(float fDt);
    // One slice of planning; true once planning has finished in this call.
    // Budget in milliseconds, fractions allowed (the game passes 0.0025:
    // a slice then ends as soon as the tick moves); 0 or less runs the
    // search to its end.
    virtual bool PathStep(std::int32_t iFrom, std::int32_t iTo, float fBudget, std::int32_t iTag);
    virtual bool PathToDestination(float fBudget, std::int32_t iTag);
    // Cell by cell toward the target while the grid allows; the last cell
    // reached. Cells travel as 16-bit values.
    virtual std::int32_t WalkStraight(std::int32_t iFrom, std::int32_t iTo);
    virtual void ClearPath();
    virtual void Unused5() {}
    virtual void Unused6() {}
    [[nodiscard]] virtual COrvaneSplineBase* GetSpline() const;
    virtual void SetSpline(const COrvaneSplineBase* pkSource, bool bFollow);
    virtual int TurnBack(bool bFollow);
    virtual void RandomiseOffset();
    virtual int ClearOffset();
    virtual void AnchorSplineStart();
    virtual void SetSplineEnd(const NiVec3& kPoint);

    void SnapToPathPoint();

    [[nodiscard]] COrvaneAStar* GetFinder() const { return m_pkFinder.get(); }
    [[nodiscard]] const std::vector<std::int32_t>& GetCellPath() const { return m_kCellPath; }
    [[nodiscard]] std::int32_t GetPathCount() const { return static_cast<std::int32_t>(m_kCellPath.size()); }
    [[nodiscard]] const NiVec3& GetOffset() const { return m_kOffset; }
    [[nodiscard]] float GetT() const { return m_fT; }
    void SetT(float fT) { m_fT = fT; }
    [[nodiscard]] bool IsReversed() const { return m_bReversed; }
    [[nodiscard]] std::int32_t GetCurrentCell() const { return m_iCurrentCell; }
    [[nodiscard]] std::int32_t GetPreviousCell() const { return m_iPreviousCell; }
    [[nodiscard]] std::int32_t GetLastGoal() const { return m_iLastGoal; }
    [[nodiscard]] std::int32_t GetDestination() const { return m_iDestination; }
    void SetDestination(std::int32_t iCell) { m_iDestination = iCell; }
    [[nodiscard]] std::int32_t GetWalkMode() const { return m_iWalkMode; }
    void SetWalkMode(std::int32_t iMode) { m_iWalkMode = iMode; }
    [[nodiscard]] std::int32_t GetPathState() const { return m_iPathState; }
    [[nodiscard]] float GetSearchWait() const { return m_fSearchWait; }
    [[nodiscard]] float GetSpeed() const { return m_fSpeed; }
    void SetSpeed(float fSpeed) { m_fSpeed = fSpeed; }

    // The debugger line of a search split over frames.
    static constexpr const char* SEARCH_SPLIT_TEXT = "\nAStar taking more than one step\n";

protected:
    std::unique_ptr<COrvaneAStar> m_pkFinder;
    float m_fSearchWait = 0.0f;
    std::vector<std::int32_t> m_kCellPath;
    std::unique_ptr<COrvaneSplineBase> m_pkSpline;
    NiVec3 m_kOffset;
    float m_fT = 0.0f;
    bool m_bReversed = false;
    std::uint8_t m_ucCellChanged = 0;
    std::int32_t m_iCurrentCell = -1;
    std::int32_t m_iPreviousCell = -1;
    std::int32_t m_iLastGoal = -1;
    std::int32_t m_iDestination = -1;
    std::int32_t m_iWalkMode = WALK_STANDING;
    std::int32_t m_iPathState = PATH_IDLE;
    float m_fSpeed = 1.0f;
};
