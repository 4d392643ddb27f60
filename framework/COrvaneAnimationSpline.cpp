#include "framework/COrvaneAnimationSpline.h"

#include "engine/animation/NiTimeController.h"
#include "engine/core/NiRefPtr.h"
#include "engine/scene/NiAVObject.h"
#include "framework/COrvaneComposite.h"

class COrvaneAnimationSplineImpl
{
public:
    // The node's world position at a time of its animation.
    [[nodiscard]] NiVec3 PointAt(float fTime) const
    {
        // The route's controllers run on the clock that starts at their
        // first update, and routes are read at times in any order (the end
        // first, when a connector is made): start them at 0 for each
        // reading, so the time asked for is the time read.
        for (NiTimeController* pkController = m_spNode->GetControllers(); pkController;
             pkController = pkController->GetNext())
        {
            pkController->Start(0.0f);
            pkController->Update(0.0f);
        }
        // Only the route node itself: its parents' bounds are worked out
        // afresh by the world's update, and a walker reads its route every
        // frame.
        m_spNode->UpdateDownwardPass(fTime, true);
        return m_spNode->GetWorldTransform().m_kTranslate;
    }

    NiRefPtr<NiAVObject> m_spNode;
};

namespace
{
// Node: culled (bit 0) and bit 2. Controller: bits 0, 2 and 3 set, bit 1
// cleared.
constexpr std::uint16_t NODE_FLAGS = 0x0005;
constexpr std::uint16_t CONTROLLER_SET = 0x000D;
constexpr std::uint16_t CONTROLLER_CLEAR = 0x0002;
} // namespace

COrvaneAnimationSpline::COrvaneAnimationSpline() = default;

COrvaneAnimationSpline::~COrvaneAnimationSpline() = default;

void COrvaneAnimationSpline::Destroy()
{
    m_pkImpl.reset();
}

void COrvaneAnimationSpline::CreateFromFile(NiAVObject* pkNode, const char* pcName)
{
    if (pcName)
        SetName(pcName);
    m_pkImpl = std::make_unique<COrvaneAnimationSplineImpl>();
    m_pkImpl->m_spNode = pkNode;
    if (!pkNode)
        return;
    pkNode->SetFlags(static_cast<std::uint16_t>(pkNode->GetFlags() | NODE_FLAGS));
    if (NiTimeController* pkController = pkNode->GetControllers())
        pkController->SetFlags(
            static_cast<std::uint16_t>((pkController->GetFlags() | CONTROLLER_SET) & ~CONTROLLER_CLEAR));
}

NiAVObject* COrvaneAnimationSpline::GetNode() const
{
    return m_pkImpl ? static_cast<NiAVObject*>(m_pkImpl->m_spNode) : nullptr;
}

NiTimeController* COrvaneAnimationSpline::GetController() const
{
    NiAVObject* pkNode = GetNode();
    return pkNode ? pkNode->GetControllers() : nullptr;
}

bool COrvaneAnimationSpline::IsFixedPath() const
{
    return true;
}

float COrvaneAnimationSpline::MapParameter(float) const
{
    return 0.0f;
}

float COrvaneAnimationSpline::Advance(float fT, COrvaneComposite* pkModel, float fDt, float fSpeed, const NiVec3*,
                                      bool)
{
    NiTimeController* pkController = GetController();
    if (!pkController)
        return fT;
    const float fBegin = pkController->GetBeginKeyTime();
    const float fRange = pkController->GetEndKeyTime() - fBegin;
    if (fRange == 0.0f)
    {
        // A route with no time length has one point: stand there, arrived.
        NiVec3 kPoint = m_pkImpl->PointAt(fBegin);
        if (pkModel)
            pkModel->SetPosition(kPoint, 0);
        return fSpeed >= 0.0f ? 1.0f : 0.0f;
    }
    const float fTime = fBegin + fRange * fT;
    NiVec3 kPoint = m_pkImpl->PointAt(fTime);
    if (pkModel)
        FaceAndPlace(*pkModel, kPoint, fSpeed);
    // Kept as the routes were tuned with it: the time, not t, is advanced
    // and then divided by the range.
    return (fTime + fDt * fSpeed / fRange) / fRange;
}

std::int32_t COrvaneAnimationSpline::SegmentIndex(float, bool) const
{
    return 0;
}

std::uint32_t COrvaneAnimationSpline::GetPointCount() const
{
    return 0;
}

bool COrvaneAnimationSpline::GetStartPosition(NiVec3& kOut) const
{
    if (!GetNode())
        return false;
    kOut = m_pkImpl->PointAt(0.0f);
    return true;
}

bool COrvaneAnimationSpline::GetEndPosition(NiVec3& kOut) const
{
    NiTimeController* pkController = GetController();
    if (!pkController)
        return false;
    kOut = m_pkImpl->PointAt(pkController->GetEndKeyTime());
    return true;
}

float COrvaneAnimationSpline::GetEndHeading() const
{
    NiTimeController* pkController = GetController();
    if (!pkController)
        return 0.0f;
    const float fEnd = pkController->GetEndKeyTime();
    NiVec3 kFrom = m_pkImpl->PointAt(0.99f * fEnd);
    NiVec3 kTo = m_pkImpl->PointAt(fEnd);
    float fYaw = 0.0f;
    if (!FacingYaw(kFrom, kTo, 1.0f, fYaw))
        return 0.0f;
    return fYaw;
}

void COrvaneAnimationSpline::SetPoint(std::int32_t, const NiVec3&)
{
}

void COrvaneAnimationSpline::CreateDebugLines()
{
    NiTimeController* pkController = GetController();
    if (!m_pkImpl || pkController == nullptr || GetDebugLines() != nullptr)
        return;
    const float fRange = pkController->GetEndKeyTime() - pkController->GetBeginKeyTime();
    std::vector<NiVec3> kPoints;
    for (int i = 0; i < 10; ++i)
        kPoints.push_back(m_pkImpl->PointAt(static_cast<float>(i) * fRange * 0.1f));
    MakeDebugLines(kPoints);
}

std::unique_ptr<COrvaneSplineBase> COrvaneAnimationSpline::Clone() const
{
    auto pkCopy = std::make_unique<COrvaneAnimationSpline>();
    NiAVObject* pkNode = GetNode();
    pkCopy->CreateFromFile(pkNode, pkNode ? pkNode->GetName() : nullptr);
    return pkCopy;
}

float COrvaneAnimationSpline::SegmentLength(float) const
{
    return 0.0f;
}
