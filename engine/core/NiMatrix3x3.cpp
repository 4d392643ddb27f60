#include "engine/core/NiMatrix3x3.h"

#include "engine/core/NiEndian.h"
#include "engine/core/NiMathConstants.h"
#include "engine/core/NiViewerStrings.h"

#include <cmath>

float NiACos(float fX)
{
    if (fX <= -1.0f)
        return NI_PI;
    if (fX >= 1.0f)
        return 0.0f;
    return std::acos(fX);
}

NiVec3 NiMatrix3x3::GetRow(int iRow) const
{
    return {m_afEntry[iRow][0], m_afEntry[iRow][1], m_afEntry[iRow][2]};
}

void NiMatrix3x3::SetRow(int iRow, const NiVec3& k)
{
    m_afEntry[iRow][0] = k.x;
    m_afEntry[iRow][1] = k.y;
    m_afEntry[iRow][2] = k.z;
}

NiVec3 NiMatrix3x3::GetColumn(int iCol) const
{
    return {m_afEntry[0][iCol], m_afEntry[1][iCol], m_afEntry[2][iCol]};
}

void NiMatrix3x3::SetColumn(int iCol, const NiVec3& k)
{
    m_afEntry[0][iCol] = k.x;
    m_afEntry[1][iCol] = k.y;
    m_afEntry[2][iCol] = k.z;
}

void NiMatrix3x3::SetColumns(const NiVec3& kCol0, const NiVec3& kCol1, const NiVec3& kCol2)
{
    SetColumn(0, kCol0);
    SetColumn(1, kCol1);
    SetColumn(2, kCol2);
}

void NiMatrix3x3::MakeIdentity()
{
    *this = IDENTITY;
}

void NiMatrix3x3::MakeZero()
{
    *this = ZERO;
}

void NiMatrix3x3::MakeXRotation(float fAngle)
{
    float c = std::cos(fAngle);
    float s = std::sin(fAngle);
    *this = NiMatrix3x3(1.0f, 0.0f, 0.0f, 0.0f, c, s, 0.0f, -s, c);
}

void NiMatrix3x3::MakeYRotation(float fAngle)
{
    float c = std::cos(fAngle);
    float s = std::sin(fAngle);
    *this = NiMatrix3x3(c, 0.0f, -s, 0.0f, 1.0f, 0.0f, s, 0.0f, c);
}

void NiMatrix3x3::MakeZRotation(float fAngle)
{
    float c = std::cos(fAngle);
    float s = std::sin(fAngle);
    *this = NiMatrix3x3(c, s, 0.0f, -s, c, 0.0f, 0.0f, 0.0f, 1.0f);
}

void NiMatrix3x3::MakeAxisRotation(float fAngle, float x, float y, float z)
{
    float c = std::cos(fAngle);
    float s = std::sin(fAngle);
    float t = 1.0f - c;
    m_afEntry[0][0] = x * x * t + c;
    m_afEntry[0][1] = x * y * t + z * s;
    m_afEntry[0][2] = x * z * t - y * s;
    m_afEntry[1][0] = x * y * t - z * s;
    m_afEntry[1][1] = y * y * t + c;
    m_afEntry[1][2] = y * z * t + x * s;
    m_afEntry[2][0] = x * z * t + y * s;
    m_afEntry[2][1] = y * z * t - x * s;
    m_afEntry[2][2] = z * z * t + c;
}

NiMatrix3x3 NiMatrix3x3::Multiply(const NiMatrix3x3& k) const
{
    NiMatrix3x3 kResult;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            kResult.m_afEntry[r][c] = m_afEntry[r][0] * k.m_afEntry[0][c] + m_afEntry[r][1] * k.m_afEntry[1][c] +
                                      m_afEntry[r][2] * k.m_afEntry[2][c];
    return kResult;
}

NiMatrix3x3 NiMatrix3x3::TransposeMultiply(const NiMatrix3x3& k) const
{
    NiMatrix3x3 kResult;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            kResult.m_afEntry[r][c] = m_afEntry[0][r] * k.m_afEntry[0][c] + m_afEntry[1][r] * k.m_afEntry[1][c] +
                                      m_afEntry[2][r] * k.m_afEntry[2][c];
    return kResult;
}

NiMatrix3x3 NiMatrix3x3::ScaleBy(float fScale) const
{
    NiMatrix3x3 kResult;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            kResult.m_afEntry[r][c] = m_afEntry[r][c] * fScale;
    return kResult;
}

NiVec3 NiMatrix3x3::MultiplyVector(const NiVec3& v) const
{
    return {m_afEntry[0][0] * v.x + m_afEntry[0][1] * v.y + m_afEntry[0][2] * v.z,
            m_afEntry[1][0] * v.x + m_afEntry[1][1] * v.y + m_afEntry[1][2] * v.z,
            m_afEntry[2][0] * v.x + m_afEntry[2][1] * v.y + m_afEntry[2][2] * v.z};
}

NiVec3 NiMatrix3x3::TransposeMultiplyVector(const NiVec3& v) const
{
    return {m_afEntry[0][0] * v.x + m_afEntry[1][0] * v.y + m_afEntry[2][0] * v.z,
            m_afEntry[0][1] * v.x + m_afEntry[1][1] * v.y + m_afEntry[2][1] * v.z,
            m_afEntry[0][2] * v.x + m_afEntry[1][2] * v.y + m_afEntry[2][2] * v.z};
}

NiMatrix3x3 NiMatrix3x3::Transpose() const
{
    NiMatrix3x3 kResult;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            kResult.m_afEntry[r][c] = m_afEntry[c][r];
    return kResult;
}

NiMatrix3x3 NiMatrix3x3::operator+(const NiMatrix3x3& k) const
{
    NiMatrix3x3 kResult;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            kResult.m_afEntry[r][c] = m_afEntry[r][c] + k.m_afEntry[r][c];
    return kResult;
}

NiMatrix3x3 NiMatrix3x3::operator-(const NiMatrix3x3& k) const
{
    NiMatrix3x3 kResult;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            kResult.m_afEntry[r][c] = m_afEntry[r][c] - k.m_afEntry[r][c];
    return kResult;
}

float NiMatrix3x3::Determinant() const
{
    const auto& m = m_afEntry;
    float fCof00 = m[1][1] * m[2][2] - m[1][2] * m[2][1];
    float fCof01 = m[1][2] * m[2][0] - m[1][0] * m[2][2];
    float fCof02 = m[1][0] * m[2][1] - m[1][1] * m[2][0];
    return m[0][0] * fCof00 + m[0][1] * fCof01 + m[0][2] * fCof02;
}

bool NiMatrix3x3::Inverse(NiMatrix3x3& kOut) const
{
    const auto& m = m_afEntry;
    // Cofactors of the first row give the determinant; the adjugate is the
    // transposed cofactor matrix.
    float fCof00 = m[1][1] * m[2][2] - m[1][2] * m[2][1];
    float fCof01 = m[1][2] * m[2][0] - m[1][0] * m[2][2];
    float fCof02 = m[1][0] * m[2][1] - m[1][1] * m[2][0];
    float fDet = m[0][0] * fCof00 + m[0][1] * fCof01 + m[0][2] * fCof02;
    if (std::fabs(fDet) <= 1e-6f)
        return false;
    float fInv = 1.0f / fDet;
    NiMatrix3x3 kResult(fCof00 * fInv, (m[0][2] * m[2][1] - m[0][1] * m[2][2]) * fInv,
                        (m[0][1] * m[1][2] - m[0][2] * m[1][1]) * fInv, fCof01 * fInv,
                        (m[0][0] * m[2][2] - m[0][2] * m[2][0]) * fInv,
                        (m[0][2] * m[1][0] - m[0][0] * m[1][2]) * fInv, fCof02 * fInv,
                        (m[0][1] * m[2][0] - m[0][0] * m[2][1]) * fInv,
                        (m[0][0] * m[1][1] - m[0][1] * m[1][0]) * fInv);
    kOut = kResult;
    return true;
}

bool NiMatrix3x3::operator==(const NiMatrix3x3& k) const
{
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            if (m_afEntry[r][c] != k.m_afEntry[r][c])
                return false;
    return true;
}

void NiMatrix3x3::SnapTinyToZero()
{
    for (auto& afRow : m_afEntry)
        for (float& f : afRow)
            if (std::fabs(f) <= NI_SNAP_EPSILON)
                f = 0.0f;
}

void NiMatrix3x3::ExtractAngleAndAxis(float& fAngle, float& fX, float& fY, float& fZ) const
{
    const auto& m = m_afEntry;
    fAngle = NiACos((m[0][0] + m[1][1] + m[2][2] - 1.0f) * 0.5f);

    // The antisymmetric part holds 2 sin(angle) times the axis.
    NiVec3 kAxis(m[1][2] - m[2][1], m[2][0] - m[0][2], m[0][1] - m[1][0]);
    float fLength = kAxis.Length();
    if (fLength > 1e-6f)
    {
        kAxis = kAxis / fLength;
    }
    else if (fAngle <= 1.0f)
    {
        // No rotation to speak of: any axis will do.
        kAxis = NiVec3::UNIT_X;
    }
    else
    {
        // A half turn is symmetric (2 a a^T - I), so the diagonal gives the
        // axis components' magnitudes only; their signs are found by testing
        // which candidate the matrix leaves fixed. Up to the overall sign the
        // candidates are (x, y, z), (x, y, -z), (x, -y, -z) and (x, -y, z);
        // the last must be tried too, or an axis such as (1, -1, 1)/sqrt(3)
        // comes back as (1, -1, -1)/sqrt(3).
        // Rounding can push a diagonal element a hair below -1; that
        // component is then 0, not NaN.
        auto Root = [](float fDiagonal) { return std::sqrt(std::fmax((fDiagonal + 1.0f) * 0.5f, 0.0f)); };
        kAxis = NiVec3(Root(m[0][0]), Root(m[1][1]), Root(m[2][2]));
        auto Moves = [this](const NiVec3& k) { return (MultiplyVector(k) - k).SqrLength() >= 1e-6f; };
        if (Moves(kAxis))
        {
            kAxis.z = -kAxis.z;
            if (Moves(kAxis))
            {
                kAxis.y = -kAxis.y;
                if (Moves(kAxis))
                    kAxis.z = -kAxis.z;
            }
        }
    }
    fX = kAxis.x;
    fY = kAxis.y;
    fZ = kAxis.z;
}

bool NiMatrix3x3::ReadFromStream(NiByteStream& kStream)
{
    float af[9];
    if (!NiReadLE(kStream, af, 9))
        return false;
    for (int i = 0; i < 9; ++i)
        m_afEntry[i / 3][i % 3] = af[i];
    return true;
}

bool NiMatrix3x3::WriteToStream(NiByteStream& kStream)
{
    SnapTinyToZero();
    float af[9];
    for (int i = 0; i < 9; ++i)
        af[i] = m_afEntry[i / 3][i % 3];
    return NiWriteLE(kStream, af, 9);
}

char* NiViewerMatrix3x3(const char* pcName, const NiMatrix3x3& k)
{
    const auto& m = k.m_afEntry;
    return NiViewerFormat("%s = ((%g,%g,%g),(%g,%g,%g),(%g,%g,%g))", pcName ? pcName : "", static_cast<double>(m[0][0]),
                        static_cast<double>(m[0][1]), static_cast<double>(m[0][2]), static_cast<double>(m[1][0]),
                        static_cast<double>(m[1][1]), static_cast<double>(m[1][2]), static_cast<double>(m[2][0]),
                        static_cast<double>(m[2][1]), static_cast<double>(m[2][2]));
}
