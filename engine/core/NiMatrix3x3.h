#pragma once

#include "engine/core/NiVec3.h"

class NiByteStream;

// 3x3 float matrix in row-major order: m_afEntry[row][column]. The rotation
// constructors build the transposes of the usual right-handed column-vector
// rotations, so MakeZRotation(pi/2) turns (1, 0, 0) into (0, -1, 0); every
// composition in the engine is written for that convention.
class NiMatrix3x3
{
public:
    float m_afEntry[3][3] = {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};

    // The identity.
    constexpr NiMatrix3x3() = default;
    constexpr NiMatrix3x3(float m00, float m01, float m02, float m10, float m11, float m12, float m20, float m21,
                          float m22)
        : m_afEntry{{m00, m01, m02}, {m10, m11, m12}, {m20, m21, m22}}
    {
    }

    static const NiMatrix3x3 IDENTITY;
    static const NiMatrix3x3 ZERO;

    [[nodiscard]] constexpr float GetEntry(int iRow, int iCol) const { return m_afEntry[iRow][iCol]; }
    constexpr void SetEntry(int iRow, int iCol, float f) { m_afEntry[iRow][iCol] = f; }
    [[nodiscard]] NiVec3 GetRow(int iRow) const;
    void SetRow(int iRow, const NiVec3& k);
    [[nodiscard]] NiVec3 GetColumn(int iCol) const;
    void SetColumn(int iCol, const NiVec3& k);
    // The three vectors become the columns.
    void SetColumns(const NiVec3& kCol0, const NiVec3& kCol1, const NiVec3& kCol2);

    void MakeIdentity();
    void MakeZero();
    // Rows (1, 0, 0), (0, c, s), (0, -s, c).
    void MakeXRotation(float fAngle);
    // Rows (c, 0, -s), (0, 1, 0), (s, 0, c).
    void MakeYRotation(float fAngle);
    // Rows (c, s, 0), (-s, c, 0), (0, 0, 1).
    void MakeZRotation(float fAngle);
    // Rotation by fAngle radians about the unit axis (fX, fY, fZ), transposed
    // like the others.
    void MakeAxisRotation(float fAngle, float fX, float fY, float fZ);
    void MakeAxisRotation(float fAngle, const NiVec3& kAxis) { MakeAxisRotation(fAngle, kAxis.x, kAxis.y, kAxis.z); }

    // this x other.
    [[nodiscard]] NiMatrix3x3 Multiply(const NiMatrix3x3& kOther) const;
    // transpose(this) x other.
    [[nodiscard]] NiMatrix3x3 TransposeMultiply(const NiMatrix3x3& kOther) const;
    // Every element times fScale.
    [[nodiscard]] NiMatrix3x3 ScaleBy(float fScale) const;
    // this x v: each row dotted with v.
    [[nodiscard]] NiVec3 MultiplyVector(const NiVec3& kVector) const;
    // transpose(this) x v, which is v taken as a row vector times this.
    [[nodiscard]] NiVec3 TransposeMultiplyVector(const NiVec3& kVector) const;
    [[nodiscard]] NiMatrix3x3 Transpose() const;
    // kOut = adjugate / determinant, the determinant by cofactors along the
    // first row. False when |determinant| <= 1e-6; kOut is then not an
    // inverse and must not be used.
    [[nodiscard]] bool Inverse(NiMatrix3x3& kOut) const;
    [[nodiscard]] float Determinant() const;

    NiMatrix3x3 operator*(const NiMatrix3x3& k) const { return Multiply(k); }
    NiVec3 operator*(const NiVec3& k) const { return MultiplyVector(k); }
    NiMatrix3x3 operator*(float f) const { return ScaleBy(f); }
    NiMatrix3x3 operator+(const NiMatrix3x3& k) const;
    NiMatrix3x3 operator-(const NiMatrix3x3& k) const;
    // Row vector times matrix.
    friend NiVec3 operator*(const NiVec3& kVector, const NiMatrix3x3& kMatrix)
    {
        return kMatrix.TransposeMultiplyVector(kVector);
    }

    // All nine elements exactly equal.
    bool operator==(const NiMatrix3x3& k) const;
    bool operator!=(const NiMatrix3x3& k) const { return !(*this == k); }

    // Elements with |value| <= 1e-8 become 0: rounding dust of composed
    // rotations is not written to files.
    void SnapTinyToZero();

    // Angle in [0, pi] and unit axis of a rotation matrix; see the .cpp for
    // the half-turn case.
    void ExtractAngleAndAxis(float& fAngle, float& fX, float& fY, float& fZ) const;

    // Scene-file encoding: the nine elements in row order. Writing snaps this
    // matrix itself first, so the object then holds what the file holds.
    [[nodiscard]] bool ReadFromStream(NiByteStream& kStream);
    bool WriteToStream(NiByteStream& kStream);
};

inline constexpr NiMatrix3x3 NiMatrix3x3::IDENTITY{};
inline constexpr NiMatrix3x3 NiMatrix3x3::ZERO{0, 0, 0, 0, 0, 0, 0, 0, 0};

// acos clamped to its domain: pi for x <= -1, 0 for x >= 1.
[[nodiscard]] float NiACos(float fX);

// Viewer string "%s = ((%g,%g,%g),(%g,%g,%g),(%g,%g,%g))", rows in order; a
// new heap string the caller frees with delete[].
[[nodiscard]] char* NiViewerMatrix3x3(const char* pcName, const NiMatrix3x3& kValue);
