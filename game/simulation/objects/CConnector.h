#pragma once

#include "engine/core/NiVec3.h"
#include "framework/COrvaneBase.h"

#include <memory>

class CBlockGrid;
class COrvaneSplineBase;
struct COrvaneGridMarker;

// The path of a connector, held by its record: a spline made for the
// connector is owned, a spline of the world's list is only referred to.
class CSplineHolder : public COrvaneBase
{
public:
    explicit CSplineHolder(std::unique_ptr<COrvaneSplineBase> pkOwned);
    explicit CSplineHolder(COrvaneSplineBase* pkShared);
    ~CSplineHolder() override;

    [[nodiscard]] COrvaneSplineBase* GetSpline() const { return m_pkSpline; }
    [[nodiscard]] bool OwnsSpline() const { return m_pkOwned != nullptr; }

private:
    std::unique_ptr<COrvaneSplineBase> m_pkOwned;
    COrvaneSplineBase* m_pkSpline = nullptr; // link, or the owned one
};

// A way from a cell of one grid to another grid, kept as the grid's marker
// record field for field: the start point is the record's position, the
// end point its three further words, the destination grid its owner (found
// by its grid number) and the path its attached object.
class CConnector
{
public:
    [[nodiscard]] static std::unique_ptr<COrvaneGridMarker> Make(const NiVec3& kStart, const NiVec3& kEnd,
                                                                 CBlockGrid* pkDestination,
                                                                 std::unique_ptr<CSplineHolder> pkPath);

    [[nodiscard]] static NiVec3 GetStart(const COrvaneGridMarker& kConnector);
    [[nodiscard]] static NiVec3 GetEnd(const COrvaneGridMarker& kConnector);
    [[nodiscard]] static CBlockGrid* GetDestination(const COrvaneGridMarker& kConnector);
    // Null when the connector has no path.
    [[nodiscard]] static COrvaneSplineBase* GetSpline(const COrvaneGridMarker& kConnector);
};
