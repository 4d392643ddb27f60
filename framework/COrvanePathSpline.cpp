#include "framework/COrvanePathSpline.h"

#include "framework/COrvaneComposite.h"

#include <algorithm>
#include <cmath>

// The evaluation state: the knot vector over the public object's points.
class COrvanePathSplineImpl
{
public:
    static constexpr std::int32_t ORDER = 4;

    void Clear()
    {
        m_kKnots.clear();
        m_kTerms.clear();
        m_uiCount = 0;
        m_iDegree = 3;
        m_pkPoints = nullptr;
    }

    void SetPoints(const NiVec3* pkPoints, std::uint32_t uiCount)
    {
        m_pkPoints = pkPoints;
        m_uiCount = uiCount;
        m_iDegree = 3;
        m_kKnots.assign(static_cast<std::size_t>(uiCount) + ORDER, 0);
        const std::int32_t iN = static_cast<std::int32_t>(uiCount);
        for (std::int32_t j = 0; j < iN + ORDER; ++j)
        {
            if (j < ORDER)
                m_kKnots[static_cast<std::size_t>(j)] = 0;
            else if (j <= iN - 1)
                m_kKnots[static_cast<std::size_t>(j)] = j - ORDER + 1;
            else
                m_kKnots[static_cast<std::size_t>(j)] = iN - ORDER + 1;
        }
        // Each span's terms, in the order SpanBasis takes them.
        m_kTerms.clear();
        if (iN >= ORDER)
            m_kTerms.reserve(static_cast<std::size_t>(iN - (ORDER - 1)) * TERMS);
        for (std::int32_t iSpan = ORDER - 1; iSpan < iN; ++iSpan)
        {
            for (std::int32_t k = 2; k <= ORDER; ++k)
            {
                for (std::int32_t o = ORDER - k; o < ORDER; ++o)
                {
                    const std::int32_t i = iSpan - (ORDER - 1) + o;
                    BasisTerm kTerm;
                    kTerm.m_fKi = Knot(i);
                    kTerm.m_fKik = Knot(i + k);
                    kTerm.m_fA = Knot(i + k - 1) - kTerm.m_fKi;
                    kTerm.m_fB = Knot(i + k) - Knot(i + 1);
                    kTerm.m_ucKind = kTerm.m_fA == 0.0f ? (kTerm.m_fB == 0.0f ? TERM_ZERO : TERM_RIGHT)
                                                        : (kTerm.m_fB == 0.0f ? TERM_LEFT : TERM_BOTH);
                    m_kTerms.push_back(kTerm);
                }
            }
        }
    }

    // Cox-de Boor on the integer knots.
    [[nodiscard]] float Basis(std::int32_t i, std::int32_t k, float fU) const
    {
        const float fKi = Knot(i);
        if (k == 1)
            return (fKi <= fU && fU < Knot(i + 1)) ? 1.0f : 0.0f;
        const float fA = Knot(i + k - 1) - fKi;
        const float fB = Knot(i + k) - Knot(i + 1);
        if (fA == 0.0f && fB == 0.0f)
            return 0.0f;
        if (fA == 0.0f)
            return Basis(i + 1, k - 1, fU) * (Knot(i + k) - fU) / fB;
        if (fB == 0.0f)
            return Basis(i, k - 1, fU) * (fU - fKi) / fA;
        return Basis(i, k - 1, fU) * (fU - fKi) / fA + Basis(i + 1, k - 1, fU) * (Knot(i + k) - fU) / fB;
    }

    [[nodiscard]] NiVec3 Evaluate(float fT) const
    {
        if (m_uiCount == 0)
            return NiVec3::ZERO;
        const float fLast = static_cast<float>(m_uiCount - 3);
        const float fU = fLast * fT;
        if (fU >= fLast)
            return m_pkPoints[m_uiCount - 1];
        if (!(fU > 0.0f)) // also a t that is not a number
            return m_pkPoints[0];
        const std::int32_t iN = static_cast<std::int32_t>(m_uiCount);
        const std::int32_t iS = static_cast<std::int32_t>(fT * static_cast<float>(m_uiCount - 1));
        float afSpan[ORDER];
        const std::int32_t iSpan = SpanBasis(fU, afSpan);
        NiVec3 kResult;
        for (std::int32_t i = iS > 3 ? iS - 3 : 0; i < iN; ++i)
        {
            float fB;
            if (iSpan < 0)
                fB = Basis(i, ORDER, fU);
            else
                fB = (i >= iSpan - (ORDER - 1) && i <= iSpan) ? afSpan[i - (iSpan - (ORDER - 1))] : 0.0f;
            kResult += fB * m_pkPoints[i];
            if (fB == 0.0f && i > iS)
                break;
        }
        return kResult;
    }

    // The values the recursion gives for the cubic's four basis functions
    // that can be non-zero at fU: those of the one knot span that holds it.
    // Each comes from the recursion's own operations in its order; what the
    // recursion would work out from the spans' zeros is zero here too, and
    // a zero adds nothing to a point, whatever its sign. Returns the span's
    // index (the last function's), or -1 when no span holds fU.
    [[nodiscard]] std::int32_t SpanBasis(float fU, float (&afOut)[ORDER]) const
    {
        const std::int32_t iLastSpan = static_cast<std::int32_t>(m_uiCount) - 1;
        std::int32_t iSpan = std::clamp(static_cast<std::int32_t>(fU) + (ORDER - 1), ORDER - 1, iLastSpan);
        while (iSpan > ORDER - 1 && Knot(iSpan) > fU)
            --iSpan;
        while (iSpan < iLastSpan && !(fU < Knot(iSpan + 1)))
            ++iSpan;
        if (!(Knot(iSpan) <= fU && fU < Knot(iSpan + 1)) ||
            static_cast<std::size_t>(iSpan - (ORDER - 2)) * TERMS > m_kTerms.size())
            return -1;
        // afLevel[k - 1][o]: order k, function iSpan - (ORDER - 1) + o; order
        // k has the functions iSpan - k + 1 .. iSpan, and the zeros on either
        // side stand for the functions that are zero at fU.
        float afLevel[ORDER][ORDER + 1] = {};
        afLevel[0][ORDER - 1] = 1.0f;
        const BasisTerm* pkTerm = &m_kTerms[static_cast<std::size_t>(iSpan - (ORDER - 1)) * TERMS];
        for (std::int32_t k = 2; k <= ORDER; ++k)
        {
            const float* afLower = afLevel[k - 2];
            for (std::int32_t o = ORDER - k; o < ORDER; ++o, ++pkTerm)
            {
                float fValue;
                switch (pkTerm->m_ucKind)
                {
                case TERM_ZERO:
                    fValue = 0.0f;
                    break;
                case TERM_RIGHT:
                    fValue = afLower[o + 1] * (pkTerm->m_fKik - fU) / pkTerm->m_fB;
                    break;
                case TERM_LEFT:
                    fValue = afLower[o] * (fU - pkTerm->m_fKi) / pkTerm->m_fA;
                    break;
                default:
                    fValue = afLower[o] * (fU - pkTerm->m_fKi) / pkTerm->m_fA +
                             afLower[o + 1] * (pkTerm->m_fKik - fU) / pkTerm->m_fB;
                    break;
                }
                afLevel[k - 1][o] = fValue;
            }
        }
        for (std::int32_t j = 0; j < ORDER; ++j)
            afOut[j] = afLevel[ORDER - 1][j];
        return iSpan;
    }

    [[nodiscard]] std::uint32_t GetCount() const { return m_uiCount; }

private:
    [[nodiscard]] float Knot(std::int32_t j) const { return static_cast<float>(m_kKnots[static_cast<std::size_t>(j)]); }

    std::vector<std::int32_t> m_kKnots;
    // One function of one order within a span: the knots and differences
    // the recursion divides by, and which of its two parts it takes (a
    // part whose divisor is zero is left out).
    static constexpr std::uint8_t TERM_ZERO = 0;
    static constexpr std::uint8_t TERM_RIGHT = 1; // only the part from function i + 1
    static constexpr std::uint8_t TERM_LEFT = 2;  // only the part from function i
    static constexpr std::uint8_t TERM_BOTH = 3;
    static constexpr std::int32_t TERMS = 2 + 3 + 4; // orders 2 .. ORDER
    struct BasisTerm
    {
        float m_fKi = 0.0f;
        float m_fKik = 0.0f;
        float m_fA = 0.0f;
        float m_fB = 0.0f;
        std::uint8_t m_ucKind = TERM_ZERO;
    };
    std::vector<BasisTerm> m_kTerms; // TERMS a span, spans ORDER - 1 .. count - 1
    std::uint32_t m_uiCount = 0;
    std::int32_t m_iDegree = 3;
    const NiVec3* m_pkPoints = nullptr; // the public object's copy
};

COrvanePathSpline::COrvanePathSpline() : m_pkImpl(std::make_unique<COrvanePathSplineImpl>())
{
}

COrvanePathSpline::~COrvanePathSpline() = default;

void COrvanePathSpline::Destroy()
{
    m_pkImpl->Clear();
    m_kPoints.clear();
}

void COrvanePathSpline::Reset()
{
}

bool COrvanePathSpline::IsFixedPath() const
{
    return false;
}

float COrvanePathSpline::MapParameter(float fT) const
{
    return fT;
}

NiVec3 COrvanePathSpline::Evaluate(float fT) const
{
    return m_pkImpl->Evaluate(fT);
}

float COrvanePathSpline::Advance(float fT, COrvaneComposite* pkModel, float fDt, float fSpeed,
                                 const NiVec3* pkOffset, bool bUseLength)
{
    const std::uint32_t uiN = m_pkImpl->GetCount();
    // An empty spline has nowhere to put the model.
    if (uiN == 0)
        return fT;
    NiVec3 kPoint = Evaluate(fT);
    if (pkOffset)
        kPoint += *pkOffset;
    if (pkModel)
        FaceAndPlace(*pkModel, kPoint, fSpeed);

    const float fStep = 2.0f / static_cast<float>(uiN);
    float fEase = 1.0f;
    if (fT <= fStep)
        fEase = 1.0f - fStep + fT;
    else if (fT >= 1.0f - fStep)
        fEase = 2.0f - fT - fStep;
    fEase = fEase * fEase * fEase * fEase;
    const float fK = std::max(fEase, fStep);
    const float fSpan = static_cast<float>(uiN - 1);
    if (bUseLength)
    {
        const float fLength = std::max(SegmentLength(fT), 0.01f);
        return fT + fK * fDt * fSpeed / (fSpan * fLength);
    }
    return fT + fK * fDt * fSpeed / fSpan;
}

std::int32_t COrvanePathSpline::SegmentIndex(float fT, bool bRoundDown) const
{
    const std::uint32_t uiN = m_pkImpl->GetCount();
    if (uiN == 0)
        return 0;
    const std::int32_t iLast = static_cast<std::int32_t>(uiN - 1);
    float fScaled = (fT > 0.0f ? std::min(fT, 1.0f) : 0.0f) * static_cast<float>(iLast);
    std::int32_t iIndex = static_cast<std::int32_t>(fScaled) + (bRoundDown ? 0 : 1);
    return std::min(iIndex, iLast);
}

std::uint32_t COrvanePathSpline::GetPointCount() const
{
    return m_pkImpl->GetCount();
}

bool COrvanePathSpline::GetStartPosition(NiVec3& kOut) const
{
    if (m_kPoints.empty())
        return false;
    kOut = m_kPoints.front();
    return true;
}

bool COrvanePathSpline::GetEndPosition(NiVec3& kOut) const
{
    if (m_kPoints.empty())
        return false;
    kOut = m_kPoints.back();
    return true;
}

float COrvanePathSpline::GetEndHeading() const
{
    if (m_kPoints.empty())
        return 0.0f;
    float fYaw = 0.0f;
    if (!FacingYaw(Evaluate(0.99f), m_kPoints.back(), 1.0f, fYaw))
        return 0.0f;
    return fYaw;
}

void COrvanePathSpline::SetPoint(std::int32_t iIndex, const NiVec3& kPoint)
{
    if (iIndex < 0 || static_cast<std::uint32_t>(iIndex) >= m_pkImpl->GetCount())
        return;
    m_kPoints[static_cast<std::size_t>(iIndex)] = kPoint;
}

void COrvanePathSpline::CreateDebugLines()
{
    const std::size_t uiCount = std::min<std::size_t>(GetPointCount(), m_kPoints.size());
    MakeDebugLines(std::vector<NiVec3>(m_kPoints.begin(), m_kPoints.begin() + static_cast<std::ptrdiff_t>(uiCount)));
}

std::unique_ptr<COrvaneSplineBase> COrvanePathSpline::Clone() const
{
    auto pkCopy = std::make_unique<COrvanePathSpline>();
    pkCopy->SetPoints(m_kPoints.data(), static_cast<std::uint32_t>(m_kPoints.size()), GetName());
    return pkCopy;
}

float COrvanePathSpline::SegmentLength(float fT) const
{
    const std::uint32_t uiN = m_pkImpl->GetCount();
    if (uiN < 2)
        return 0.0f;
    std::int32_t iLast = static_cast<std::int32_t>(uiN) - 2;
    std::int32_t i = 0;
    if (fT >= 1.0f)
        i = iLast;
    else if (fT > 0.0f)
        i = std::min(static_cast<std::int32_t>(fT * static_cast<float>(uiN - 1)), iLast);
    return (m_kPoints[static_cast<std::size_t>(i) + 1] - m_kPoints[static_cast<std::size_t>(i)]).Length();
}

void COrvanePathSpline::SetPoints(const NiVec3* pkPoints, std::uint32_t uiCount, const char* pcName)
{
    m_pkImpl->Clear();
    if (!pkPoints)
        uiCount = 0;
    m_kPoints.assign(pkPoints, pkPoints + uiCount);
    // Fewer than four points would leave the knot span negative: repeat the
    // last point instead.
    if (!m_kPoints.empty())
        while (m_kPoints.size() < 4)
            m_kPoints.push_back(m_kPoints.back());
    m_pkImpl->SetPoints(m_kPoints.data(), static_cast<std::uint32_t>(m_kPoints.size()));
    if (pcName)
        SetName(pcName);
}
