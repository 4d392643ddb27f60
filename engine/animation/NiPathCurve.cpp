#include "engine/animation/NiPathCurve.h"

#include "engine/animation/NiAnimKeyTables.h"
#include "engine/core/NiCloneContext.h"
#include "engine/core/NiMathConstants.h"
#include "engine/core/NiObjectStream.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace
{
enum CurveOp : std::uint32_t
{
    POSITION = 0,
    DERIVATIVE = 1,
    SECOND_DERIVATIVE = 2,
};

constexpr std::uint32_t NEWTON_STEPS = 32;
constexpr float NEWTON_TOLERANCE = 0.0001f;
// The five-point Gauss-Legendre rule mapped to [0, 1].
constexpr float GAUSS_X[5] = {0.04691008f, 0.23076534f, 0.5f, 0.76923466f, 0.95308990f};
constexpr float GAUSS_W[5] = {0.11846344f, 0.23931434f, 0.28444445f, 0.23931434f, 0.11846344f};

NiVec3 Negated(const NiVec3& k)
{
    return NiVec3(-k.x, -k.y, -k.z);
}

NiVec3 Normalized(NiVec3 k)
{
    k.Normalize();
    return k;
}

// A unit vector across the tangent: from the plane of the tangent and world
// Z when it can, else from the other two axes.
NiVec3 AnyNormal(const NiVec3& kT)
{
    return (std::fabs(kT.x) > 1e-6f || std::fabs(kT.y) > 1e-6f) ? Normalized(NiVec3(kT.y, -kT.x, 0))
                                                                 : Normalized(NiVec3(0, -kT.z, kT.y));
}

// A blended normal made square to the tangent again, so the frame stays a
// rotation.
NiVec3 AcrossTangent(const NiVec3& kNormal, const NiVec3& kT)
{
    NiVec3 kAcross = Normalized(kNormal - kT * kNormal.Dot(kT));
    return kAcross == NiVec3::ZERO ? AnyNormal(kT) : kAcross;
}
} // namespace

std::uint32_t NiPathCurve::GetPathKeyCount() const
{
    return m_spPathData ? m_spPathData->GetNumKeys() : 0;
}

bool NiPathCurve::HasData() const
{
    return m_spPercentData && m_spPercentData->GetNumKeys() > 0 && m_spPercentData->GetKeys() != nullptr &&
           GetPathKeyCount() > 0 && m_spPathData->GetKeys() != nullptr;
}

NiVec3 NiPathCurve::Curve(std::uint32_t uiOp, std::uint32_t i, std::uint32_t j, float t) const
{
    NiVec3 kResult = NiVec3::ZERO;
    const std::uint32_t uiType = m_spPathData->GetKeyType();
    NiAnimKeyTables::CurveFunction pfn = nullptr;
    switch (uiOp)
    {
    case POSITION:
        pfn = NiAnimKeyTables::GetInterpolateFunction(NI_POSKEY, uiType);
        break;
    case DERIVATIVE:
        pfn = NiAnimKeyTables::GetDerivativeFunction(NI_POSKEY, uiType);
        break;
    default:
        pfn = NiAnimKeyTables::GetSecondDerivativeFunction(NI_POSKEY, uiType);
        break;
    }
    if (pfn == nullptr)
        return kResult;
    const std::uint8_t ucStride = m_spPathData->GetKeyStride();
    const NiAnimKey* pkKeys = m_spPathData->GetKeys();
    pfn(t, NiAnimKey::At(pkKeys, i, ucStride), NiAnimKey::At(pkKeys, j, ucStride), &kResult);
    return kResult;
}

float NiPathCurve::EvaluatePercent(float fTime)
{
    return NiFloatKey::EvaluateAt(fTime, m_spPercentData->GetKeys(), m_spPercentData->GetKeyType(),
                                  m_spPercentData->GetNumKeys(), m_uiLastPercentIdx,
                                  m_spPercentData->GetKeyStride());
}

// ---- Segments ----

NiPathCurve::Segment NiPathCurve::FindSegment(float fPercent)
{
    if (!GetBit(CONSTANT_VELOCITY_MASK))
        return FindSegmentByPercent(fPercent);
    Segment kSegment = FindSegmentByLength(fPercent);
    m_uiLastPathIdx = kSegment.i;
    return kSegment;
}

NiPathCurve::Segment NiPathCurve::FindSegmentByPercent(float fPercent)
{
    const std::uint32_t n = GetPathKeyCount();
    if (n < 2)
        return Segment{0, 0, 0.0f};
    const std::uint8_t ucStride = m_spPathData->GetKeyStride();
    const NiAnimKey* pkKeys = m_spPathData->GetKeys();
    auto Time = [&](std::uint32_t k) { return NiAnimKey::At(pkKeys, k, ucStride)->m_fTime; };
    if (!(fPercent > Time(0)))
        return Segment{0, 1, 0.0f};
    if (!(fPercent < Time(n - 1)))
        return Segment{n - 2, n - 1, 1.0f};

    // From the last segment on, wrapping once round the n - 1 segments.
    std::uint32_t k = std::min(m_uiLastPathIdx, n - 2);
    for (std::uint32_t uiTries = 0; uiTries < n - 1; ++uiTries)
    {
        const float t0 = Time(k);
        const float t1 = Time(k + 1);
        if (fPercent == t0 || (t0 < fPercent && fPercent < t1))
        {
            m_uiLastPathIdx = k;
            const float fSpan = t1 - t0;
            return Segment{k, k + 1, fSpan > 0.0f ? (fPercent - t0) / fSpan : 0.0f};
        }
        k = k + 1 < n - 1 ? k + 1 : 0;
    }
    // Key times that do not increase: the remembered segment, clamped.
    k = std::min(m_uiLastPathIdx, n - 2);
    return Segment{k, k + 1, 0.0f};
}

NiPathCurve::Segment NiPathCurve::FindSegmentByLength(float fPercent)
{
    const std::uint32_t n = GetPathKeyCount();
    if (n < 2)
        return Segment{0, 0, 0.0f};
    if (std::isnan(fPercent) || fPercent == 0.0f)
        return Segment{0, 1, 0.0f};
    if (fPercent < 0.0f)
        fPercent = std::fmod(fPercent, 1.0f) + 1.0f;
    if (fPercent == 1.0f)
        return Segment{n - 2, n - 1, 1.0f};
    if (fPercent > 1.0f)
        fPercent = std::fmod(fPercent, 1.0f);
    ComputePathLengths();
    if (!m_spLengths || m_uiLengthCount != n || !(m_fTotalLength > 0.0f))
        return Segment{0, 1, 0.0f};

    const float fLength = fPercent * m_fTotalLength;
    std::uint32_t k = 0;
    while (k < n - 2 && fLength > m_spLengths[k + 1])
        ++k;
    const float fSegment = m_spLengths[k + 1] - m_spLengths[k];
    const float fLocal = fLength - m_spLengths[k];
    float t = fSegment > 0.0f ? fLocal / fSegment : 0.0f;
    for (std::uint32_t uiStep = 0; uiStep < NEWTON_STEPS; ++uiStep)
    {
        const float fDiff = GetSegmentLength(k, k + 1, t) - fLocal;
        if (std::fabs(fDiff) <= NEWTON_TOLERANCE)
            break;
        const float fSpeed = Curve(DERIVATIVE, k, k + 1, t).Length();
        if (!(fSpeed > 0.0f))
            break;
        t -= fDiff / fSpeed;
    }
    return Segment{k, k + 1, t};
}

// ---- Lengths ----

float NiPathCurve::GetSegmentLength(std::uint32_t i, std::uint32_t j, float t) const
{
    float fSum = 0.0f;
    for (std::uint32_t m = 0; m < 5; ++m)
        fSum += GAUSS_W[m] * Curve(DERIVATIVE, i, j, t * GAUSS_X[m]).Length();
    return t * fSum;
}

void NiPathCurve::ComputePathLengths()
{
    const std::uint32_t n = GetPathKeyCount();
    if (m_fTotalLength >= 0.0f && m_uiLengthCount == n)
        return;
    m_spLengths.reset();
    m_uiLengthCount = 0;
    m_fTotalLength = -1.0f;
    if (n == 0)
        return;
    m_spLengths = std::make_unique<float[]>(n);
    m_uiLengthCount = n;
    m_spLengths[0] = 0.0f;
    for (std::uint32_t k = 0; k + 1 < n; ++k)
        m_spLengths[k + 1] = m_spLengths[k] + GetSegmentLength(k, k + 1, 1.0f);
    m_fTotalLength = m_spLengths[n - 1];
    SetBit(DIRTY_MASK, false);
}

void NiPathCurve::Prepare()
{
    SetBit(DIRTY_MASK, true);
    m_fTotalLength = -1.0f;
    if (GetBit(CONSTANT_VELOCITY_MASK))
        ComputePathLengths();
    m_fMaxCurvature = 0.0f;
    const std::uint32_t n = GetPathKeyCount();
    if (n > 0)
    {
        auto pfn = NiAnimKeyTables::GetMaxCurvatureFunction(NI_POSKEY, m_spPathData->GetKeyType());
        if (pfn != nullptr)
            m_fMaxCurvature = pfn(m_spPathData->GetKeys(), n);
    }
}

void NiPathCurve::SetConstantVelocity(bool bOn)
{
    SetBit(CONSTANT_VELOCITY_MASK, bOn);
    if (bOn)
        ComputePathLengths();
}

// ---- Position and frame ----

NiVec3 NiPathCurve::ComputePosition(const Segment& kSegment) const
{
    return Curve(POSITION, kSegment.i, kSegment.j, kSegment.t);
}

NiPathCurve::Frame NiPathCurve::ComputeFrame(std::uint32_t i, std::uint32_t j, float t) const
{
    Frame kFrame;
    const NiVec3 kD1 = Curve(DERIVATIVE, i, j, t);
    const NiVec3 kD2 = Curve(SECOND_DERIVATIVE, i, j, t);
    kFrame.m_kTangent = Normalized(kD1);
    const float fSpeed2 = kD1.SqrLength();
    kFrame.m_fCurvature = fSpeed2 > 0.0f ? kD1.Cross(kD2).Length() / fSpeed2 : 0.0f;
    if (kFrame.m_fCurvature > 1e-6f)
    {
        // The part of the second derivative across the tangent: the
        // principal normal.
        kFrame.m_kNormal = Normalized(kD2 * fSpeed2 - kD1 * kD1.Dot(kD2));
    }
    else
    {
        kFrame.m_fCurvature = 0.0f;
        kFrame.m_kNormal = AnyNormal(kFrame.m_kTangent);
    }
    kFrame.m_kBinormal = kFrame.m_kTangent.Cross(kFrame.m_kNormal);
    return kFrame;
}

NiMatrix3x3 NiPathCurve::ComputeOrientation(const Segment& kSegment) const
{
    const std::uint32_t n = GetPathKeyCount();
    if (n < 2)
        return NiMatrix3x3::IDENTITY;
    const std::uint32_t i = kSegment.i;
    const std::uint32_t j = kSegment.j;
    const float t = kSegment.t;
    NiMatrix3x3 kMatrix;
    NiVec3 kTangent;
    float fCurvature = 0.0f;
    if (!GetBit(CURVE_FRAME_MASK))
    {
        const Frame kFrame = ComputeFrame(i, j, t);
        kTangent = kFrame.m_kTangent;
        fCurvature = kFrame.m_fCurvature;
        NiVec3 kNormal = NiVec3(0, 0, 1).UnitCross(kTangent);
        // Moving straight up or down: world Z gives no side.
        if (kNormal == NiVec3::ZERO)
            kNormal = AnyNormal(kTangent);
        kMatrix.SetColumns(kTangent, kNormal, kTangent.Cross(kNormal));
    }
    else
    {
        Frame kFrame = ComputeFrame(i, j, t);
        const float s = m_fSmoothing;
        const bool bOpen = GetBit(OPEN_MASK);
        if (s != 0.0f && t < 1.0f - s && !(t > s))
        {
            // Blend with the segment before at the start of this one.
            const std::uint32_t e = (!bOpen && i == 0) ? n - 1 : i;
            if (e != 0)
            {
                const float w = (s - t) / (2.0f * s);
                const Frame kHere = ComputeFrame(i, j, s);
                const Frame kBefore = ComputeFrame(e - 1, e, 1.0f - s);
                kFrame.m_kNormal =
                    AcrossTangent(kBefore.m_kNormal * w + kHere.m_kNormal * (1.0f - w), kFrame.m_kTangent);
                kFrame.m_fCurvature = kBefore.m_fCurvature * w + kHere.m_fCurvature * (1.0f - w);
                kFrame.m_kBinormal = kFrame.m_kTangent.Cross(kFrame.m_kNormal);
            }
        }
        else if (s != 0.0f && !(t < 1.0f - s))
        {
            // Blend with the segment after at the end of this one.
            const std::uint32_t e = (!bOpen && j == n - 1) ? 0 : j;
            if (e < n - 1)
            {
                const float u = ((1.0f - t) + s) / (2.0f * s);
                const Frame kHere = ComputeFrame(i, j, 1.0f - s);
                const Frame kAfter = ComputeFrame(e, e + 1, s);
                kFrame.m_kNormal =
                    AcrossTangent(kAfter.m_kNormal * (1.0f - u) + kHere.m_kNormal * u, kFrame.m_kTangent);
                kFrame.m_fCurvature = kAfter.m_fCurvature * (1.0f - u) + kHere.m_fCurvature * u;
                kFrame.m_kBinormal = kFrame.m_kTangent.Cross(kFrame.m_kNormal);
            }
        }
        kTangent = kFrame.m_kTangent;
        fCurvature = kFrame.m_fCurvature;
        kMatrix.SetColumns(kTangent, Negated(kFrame.m_kNormal), Negated(kFrame.m_kBinormal));
    }

    if (GetBit(FLIP_MASK))
    {
        kMatrix.SetColumn(0, Negated(kMatrix.GetColumn(0)));
        kMatrix.SetColumn(1, Negated(kMatrix.GetColumn(1)));
    }
    if (m_usFollowAxis == 1)
    {
        const NiVec3 kOld0 = kMatrix.GetColumn(0);
        kMatrix.SetColumn(0, Negated(kMatrix.GetColumn(1)));
        kMatrix.SetColumn(1, kOld0);
    }
    else if (m_usFollowAxis == 2)
    {
        const NiVec3 kOld0 = kMatrix.GetColumn(0);
        kMatrix.SetColumn(0, Negated(kMatrix.GetColumn(2)));
        kMatrix.SetColumn(2, kOld0);
    }
    if (GetBit(BANK_MASK))
    {
        static const float s_fFourOverPi = 4.0f / NI_PI;
        float fAngle = static_cast<float>(m_iBankDir) * m_fMaxBankAngle;
        if (fCurvature < m_fMaxCurvature)
            fAngle *= std::atan(fCurvature / m_fMaxCurvature) * s_fFourOverPi;
        NiMatrix3x3 kBank;
        kBank.MakeAxisRotation(fAngle, kTangent);
        kMatrix = kBank * kMatrix;
    }
    return kMatrix;
}

bool NiPathCurve::Evaluate(float fTime, NiVec3& kPosition, NiMatrix3x3& kRotate)
{
    if (!HasData())
        return false;
    if (GetPathKeyCount() == 1)
    {
        // A path of one key holds the object there, unturned.
        kPosition = static_cast<const NiPosKey*>(m_spPathData->GetKeys())->m_kPos;
        kRotate = NiMatrix3x3::IDENTITY;
        return true;
    }
    const Segment kSegment = FindSegment(EvaluatePercent(fTime));
    if (GetBit(FOLLOW_MASK))
        kRotate = ComputeOrientation(kSegment);
    kPosition = ComputePosition(kSegment);
    return true;
}

// ---- Copies and records ----

void NiPathCurve::CopySettingsFrom(const NiPathCurve& kSource)
{
    m_usFlags = static_cast<std::uint16_t>((m_usFlags & ~SETTINGS_MASK) | (kSource.m_usFlags & SETTINGS_MASK));
    m_fMaxBankAngle = kSource.m_fMaxBankAngle;
    m_fSmoothing = kSource.m_fSmoothing;
    m_usFollowAxis = kSource.m_usFollowAxis;
    m_iBankDir = kSource.m_iBankDir;
}

void NiPathCurve::CopyFrom(const NiPathCurve& kSource, NiCloneContext& kCloning)
{
    CopySettingsFrom(kSource);
    m_spPathData =
        kSource.m_spPathData ? static_cast<NiPosData*>(kSource.m_spPathData->CreateClone(kCloning)) : nullptr;
    m_spPercentData =
        kSource.m_spPercentData ? static_cast<NiFloatData*>(kSource.m_spPercentData->CreateClone(kCloning)) : nullptr;
    m_fMaxCurvature = kSource.m_fMaxCurvature;
    if (kSource.m_spLengths)
    {
        m_spLengths = std::make_unique<float[]>(kSource.m_uiLengthCount);
        std::copy(kSource.m_spLengths.get(), kSource.m_spLengths.get() + kSource.m_uiLengthCount, m_spLengths.get());
        m_uiLengthCount = kSource.m_uiLengthCount;
        m_fTotalLength = kSource.m_fTotalLength;
    }
    else if (kSource.GetBit(CONSTANT_VELOCITY_MASK) && kSource.GetBit(DIRTY_MASK))
    {
        ComputePathLengths();
    }
}

void NiPathCurve::Read(NiObjectStream& kStream, bool bReadFlags, std::uint16_t usOldFlags)
{
    if (bReadFlags)
        kStream.ReadLE(m_usFlags);
    else
        m_usFlags = usOldFlags;
    kStream.ReadLE(m_iBankDir);
    kStream.ReadLE(m_fMaxBankAngle);
    kStream.ReadLE(m_fSmoothing);
    kStream.ReadLE(m_usFollowAxis);
    kStream.ReadLinkID();
    kStream.ReadLinkID();
}

void NiPathCurve::ResolveLinks(NiObjectStream& kStream)
{
    m_spPathData = kStream.GetLinkedObjectAs<NiPosData>();
    m_spPercentData = kStream.GetLinkedObjectAs<NiFloatData>();
    Prepare();
}

void NiPathCurve::Write(NiObjectStream& kStream) const
{
    kStream.WriteLE(m_usFlags);
    kStream.WriteLE(m_iBankDir);
    kStream.WriteLE(m_fMaxBankAngle);
    kStream.WriteLE(m_fSmoothing);
    kStream.WriteLE(m_usFollowAxis);
    kStream.WriteLinkID(m_spPathData);
    kStream.WriteLinkID(m_spPercentData);
}

void NiPathCurve::RegisterForSave(NiObjectStream& kStream) const
{
    if (m_spPathData)
        m_spPathData->RegisterForSave(kStream);
    if (m_spPercentData)
        m_spPercentData->RegisterForSave(kStream);
}

bool NiPathCurve::IsEqual(const NiPathCurve& kOther) const
{
    auto DataEqual = [](NiObject* pkA, NiObject* pkB) {
        if (pkA == nullptr || pkB == nullptr)
            return pkA == pkB;
        return pkA->IsEqual(pkB);
    };
    if (!DataEqual(m_spPathData, kOther.m_spPathData) || !DataEqual(m_spPercentData, kOther.m_spPercentData))
        return false;
    if ((m_spLengths == nullptr) != (kOther.m_spLengths == nullptr) || m_uiLengthCount != kOther.m_uiLengthCount)
        return false;
    if (m_spLengths &&
        std::memcmp(m_spLengths.get(), kOther.m_spLengths.get(), sizeof(float) * m_uiLengthCount) != 0)
        return false;
    return m_fTotalLength == kOther.m_fTotalLength &&
           (m_usFlags & SETTINGS_MASK) == (kOther.m_usFlags & SETTINGS_MASK) && m_iBankDir == kOther.m_iBankDir &&
           m_fMaxBankAngle == kOther.m_fMaxBankAngle && m_fSmoothing == kOther.m_fSmoothing &&
           m_usFollowAxis == kOther.m_usFollowAxis;
}

void NiPathCurve::DropCountedLinks()
{
    m_spPathData = nullptr;
    m_spPercentData = nullptr;
}
