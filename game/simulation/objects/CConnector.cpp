#include "game/simulation/objects/CConnector.h"

#include "framework/COrvaneBlockGrid.h"
#include "framework/COrvaneSplineBase.h"
#include "game/simulation/objects/CBlockGrid.h"

#include <bit>
#include <cstdint>

CSplineHolder::CSplineHolder(std::unique_ptr<COrvaneSplineBase> pkOwned)
    : m_pkOwned(std::move(pkOwned)), m_pkSpline(m_pkOwned.get())
{
}

CSplineHolder::CSplineHolder(COrvaneSplineBase* pkShared) : m_pkSpline(pkShared)
{
}

CSplineHolder::~CSplineHolder() = default;

std::unique_ptr<COrvaneGridMarker> CConnector::Make(const NiVec3& kStart, const NiVec3& kEnd,
                                                    CBlockGrid* pkDestination, std::unique_ptr<CSplineHolder> pkPath)
{
    auto pkRecord = std::make_unique<COrvaneGridMarker>();
    pkRecord->m_kPosition = kStart;
    pkRecord->m_auiReserved[0] = std::bit_cast<std::uint32_t>(kEnd.x);
    pkRecord->m_auiReserved[1] = std::bit_cast<std::uint32_t>(kEnd.y);
    pkRecord->m_auiReserved[2] = std::bit_cast<std::uint32_t>(kEnd.z);
    pkRecord->m_pkOwner = pkDestination;
    pkRecord->m_pkAttached = std::move(pkPath);
    return pkRecord;
}

NiVec3 CConnector::GetStart(const COrvaneGridMarker& kConnector)
{
    return kConnector.m_kPosition;
}

NiVec3 CConnector::GetEnd(const COrvaneGridMarker& kConnector)
{
    return NiVec3(std::bit_cast<float>(kConnector.m_auiReserved[0]), std::bit_cast<float>(kConnector.m_auiReserved[1]),
                  std::bit_cast<float>(kConnector.m_auiReserved[2]));
}

CBlockGrid* CConnector::GetDestination(const COrvaneGridMarker& kConnector)
{
    return dynamic_cast<CBlockGrid*>(kConnector.m_pkOwner);
}

COrvaneSplineBase* CConnector::GetSpline(const COrvaneGridMarker& kConnector)
{
    const auto* pkHolder = dynamic_cast<const CSplineHolder*>(kConnector.m_pkAttached.get());
    return pkHolder ? pkHolder->GetSpline() : nullptr;
}
