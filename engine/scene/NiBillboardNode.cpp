#include "engine/scene/NiBillboardNode.h"

#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiCamera.h"

#include <cmath>

NiImplementTypeInfo(NiBillboardNode, NiNode)

namespace
{
const char* const MODE_NAMES[] = {"ALWAYS_FACE_CAMERA", "ROTATE_ABOUT_UP", "RIGID_FACE_CAMERA", "ALWAYS_FACE_CENTER",
                                  "RIGID_FACE_CENTER"};

// The camera frame turned so that it looks from the camera straight at the
// node: false when the camera sits on the node.
bool CenterFrame(NiCamera* pkCamera, const NiVec3& kPosition, NiVec3& kToward, NiVec3& kUp, NiVec3& kRight)
{
    NiVec3 kDir = pkCamera->GetWorldLocation() - kPosition;
    if (kDir.SqrLength() < 0.001f)
        return false;
    kDir.Normalize();
    kToward = -pkCamera->GetWorldDirection();
    kUp = pkCamera->GetWorldUpVector();
    kRight = pkCamera->GetWorldRightVector();
    float fDot = kDir.Dot(kToward);
    if (fDot >= 0.999999f)
        return true;
    NiVec3 kAxis = kToward.UnitCross(kDir);
    NiMatrix3x3 kTurn;
    // The engine's rotation constructors build transposed matrices: the
    // transpose turns vectors the usual way about the axis.
    kTurn.MakeAxisRotation(NiACos(fDot), kAxis);
    kUp = kTurn.TransposeMultiplyVector(kUp);
    kRight = kTurn.TransposeMultiplyVector(kRight);
    kToward = kDir;
    return true;
}
} // namespace

void NiBillboardNode::RotateToCamera(NiCamera* pkCamera)
{
    if (NiAVObject* pkParent = GetParent())
        m_kWorld = pkParent->GetWorldTransform().Multiply(m_kLocal);
    else
        m_kWorld = m_kLocal;
    if (pkCamera == nullptr)
        return;

    const NiMatrix3x3& R = m_kWorld.m_kRotate;
    const NiVec3& T = m_kWorld.m_kTranslate;
    NiMatrix3x3 kFacing;
    std::uint16_t eMode = GetMode();

    if (eMode == ROTATE_ABOUT_UP)
    {
        NiVec3 v = R.TransposeMultiplyVector(pkCamera->GetWorldLocation() - T) / m_kWorld.m_fScale;
        float l = std::sqrt(v.x * v.x + v.z * v.z);
        if (l >= 1e-12f)
        {
            float c = v.z / l;
            float s = v.x / l;
            kFacing = NiMatrix3x3(c, 0.0f, s, 0.0f, 1.0f, 0.0f, -s, 0.0f, c);
        }
    }
    else if (eMode <= RIGID_FACE_CENTER)
    {
        NiVec3 kToward = -pkCamera->GetWorldDirection();
        NiVec3 kUp = pkCamera->GetWorldUpVector();
        NiVec3 kRight = pkCamera->GetWorldRightVector();
        bool bFrame = true;
        if (eMode == ALWAYS_FACE_CENTER || eMode == RIGID_FACE_CENTER)
            bFrame = CenterFrame(pkCamera, T, kToward, kUp, kRight);
        if (bFrame)
        {
            NiVec3 a = R.TransposeMultiplyVector(kToward);
            NiVec3 u = R.TransposeMultiplyVector(kUp);
            NiVec3 r = R.TransposeMultiplyVector(kRight);
            if (eMode == RIGID_FACE_CAMERA || eMode == RIGID_FACE_CENTER)
            {
                kFacing.SetColumns(r, u, a);
            }
            else
            {
                float l = std::sqrt(u.y * u.y + r.y * r.y);
                if (l <= 1e-6f)
                {
                    kFacing.SetColumns(-r, -u, a);
                }
                else
                {
                    float p = u.y / l;
                    float q = -r.y / l;
                    kFacing.SetColumns(u * q + r * p, u * p - r * q, a);
                }
            }
        }
    }
    // Modes 5-7 name no facing rule: the rotation stays as it is.

    m_kWorld.m_kRotate = R.Multiply(kFacing);
    for (std::uint32_t i = 0; i < GetArrayCount(); ++i)
    {
        if (NiAVObject* pkChild = GetAt(i))
            pkChild->UpdateDownwardPass(m_fSavedTime, m_bUpdateControllers != 0);
    }
}

void NiBillboardNode::UpdateDownwardPass(float fTime, bool bUpdateControllers)
{
    m_fSavedTime = fTime;
    m_bUpdateControllers = bUpdateControllers ? 1 : 0;
    NiNode::UpdateDownwardPass(fTime, bUpdateControllers);
    UpdateWorldBound();
}

void NiBillboardNode::UpdateSelectedDownwardPass(float fTime)
{
    m_fSavedTime = fTime;
    NiNode::UpdateSelectedDownwardPass(fTime);
    UpdateWorldBound();
}

void NiBillboardNode::UpdateRigidDownwardPass(float fTime)
{
    m_fSavedTime = fTime;
    NiNode::UpdateRigidDownwardPass(fTime);
    UpdateWorldBound();
}

void NiBillboardNode::UpdateWorldBound()
{
    NiNode::UpdateWorldBound();
    if (GetChildCount() == 0)
        return;
    // A sphere about the node's own position holds the children's bound
    // whichever way the node turns.
    const NiVec3& T = m_kWorld.m_kTranslate;
    float fRadius = m_kWorldBound.m_fRadius + (m_kWorldBound.m_kCenter - T).Length();
    m_kWorldBound = NiBoundSphere(T, fRadius);
}

void NiBillboardNode::OnVisible(NiCamera* pkCamera)
{
    RotateToCamera(pkCamera);
    NiNode::OnVisible(pkCamera);
}

NiObject* NiBillboardNode::CreateClone(NiCloneContext& kCloning)
{
    auto* pkClone = new NiBillboardNode;
    CopyMembers(pkClone, kCloning);
    pkClone->m_usBillboardFlags = m_usBillboardFlags;
    return pkClone;
}

void NiBillboardNode::ReadFromStream(NiObjectStream& kStream)
{
    NiNode::ReadFromStream(kStream);
    std::uint32_t uiVersion = kStream.GetFileVersion();
    if (uiVersion >= NiStreamVersion(10, 0, 1, 2))
    {
        kStream.ReadLE(m_usBillboardFlags);
        return;
    }
    // Old files kept the mode in the object flags word as written.
    std::uint32_t uiWord = kStream.GetRawObjectFlags();
    if (uiVersion < NiStreamVersion(4, 2, 0, 3))
        uiWord = (((uiWord & 0xE000) << 1) | (uiWord & 0x1FFF)) & 0xFFFF;
    m_usBillboardFlags = static_cast<std::uint16_t>(uiWord >> 8);
}

void NiBillboardNode::WriteToStream(NiObjectStream& kStream)
{
    NiNode::WriteToStream(kStream);
    kStream.WriteLE(m_usBillboardFlags);
}

bool NiBillboardNode::IsEqual(NiObject* pkOther)
{
    return NiNode::IsEqual(pkOther) && GetMode() == static_cast<NiBillboardNode*>(pkOther)->GetMode();
}

void NiBillboardNode::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiNode::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiBillboardNode::TypeInfo()->GetName()));
    std::uint16_t eMode = GetMode();
    kStrings.AddTail(NiViewerString("m_eMode", eMode < 5 ? MODE_NAMES[eMode] : "UNKNOWN"));
}
