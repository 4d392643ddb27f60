#include "engine/scene/NiCamera.h"

#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiAccumulator.h"
#include "engine/scene/NiNode.h"

NiImplementTypeInfo(NiCamera, NiAVObject)

namespace
{
NiVec3 Unit(NiVec3 k)
{
    k.Normalize();
    return k;
}

// (v, -v.P): a world direction as the row that measures along it from P.
void SetRow(float (&afRow)[4], const NiVec3& kV, float fW)
{
    afRow[0] = kV.x;
    afRow[1] = kV.y;
    afRow[2] = kV.z;
    afRow[3] = fW;
}

template <class T>
bool ElementsEqual(const NiSparsePtrArray<NiRefPtr<T>>& kA, const NiSparsePtrArray<NiRefPtr<T>>& kB)
{
    if (kA.GetSize() != kB.GetSize())
        return false;
    for (std::uint32_t i = 0; i < kA.GetSize(); ++i)
    {
        T* pkA = kA.GetAt(i);
        T* pkB = kB.GetAt(i);
        if ((pkA == nullptr) != (pkB == nullptr))
            return false;
        if (pkA != nullptr && !pkA->IsEqual(pkB))
            return false;
    }
    return true;
}

// Versions of the camera record.
constexpr std::uint32_t FLAGS_FROM = NiStreamVersion(10, 0, 1, 2);
constexpr std::uint32_t ORTHO_FROM = NiStreamVersion(10, 0, 1, 5);
constexpr std::uint32_t SCREEN_TEXTURES_FROM = NiStreamVersion(4, 1, 0, 4);
constexpr std::uint32_t THIRD_LIST_FROM = NiStreamVersion(10, 0, 1, 7);
constexpr std::uint32_t THIRD_LIST_UNTIL = NiStreamVersion(10, 0, 1, 15);
} // namespace

char* NiViewerFrustum(const char* pcName, const NiViewFrustum& kFrustum)
{
    return NiViewerFormat("%s = (N=%g,F=%g,L=%g,R=%g,T=%g,B=%g,O=%u)", pcName, static_cast<double>(kFrustum.m_fNear),
                          static_cast<double>(kFrustum.m_fFar), static_cast<double>(kFrustum.m_fLeft),
                          static_cast<double>(kFrustum.m_fRight), static_cast<double>(kFrustum.m_fTop),
                          static_cast<double>(kFrustum.m_fBottom), kFrustum.m_bOrtho ? 1u : 0u);
}

char* NiViewerViewport(const char* pcName, const NiRect<float>& kPort)
{
    return NiViewerFormat("%s = (L=%g,R=%g,T=%g,B=%g)", pcName, static_cast<double>(kPort.m_left),
                          static_cast<double>(kPort.m_right), static_cast<double>(kPort.m_top),
                          static_cast<double>(kPort.m_bottom));
}

NiCamera::NiCamera()
{
    UpdateWorldData();
}

NiCamera::~NiCamera() = default;

NiObject* NiCamera::CreateObject()
{
    return new NiCamera;
}

void NiCamera::SetViewFrustum(const NiViewFrustum& kFrustum)
{
    m_kViewFrustum = kFrustum;
    UpdateWorldPlanes();
    UpdateWorldToCamera();
}

// ---- World data ----

void NiCamera::UpdateWorldData()
{
    NiAVObject::UpdateWorldData();
    UpdateWorldVectors();
    UpdateWorldPlanes();
    UpdateWorldToCamera();
}

void NiCamera::UpdateWorldVectors()
{
    m_kWorldDir = m_kWorld.m_kRotate.GetColumn(0);
    m_kWorldUp = m_kWorld.m_kRotate.GetColumn(1);
    m_kWorldRight = m_kWorld.m_kRotate.GetColumn(2);
}

void NiCamera::UpdateWorldBound()
{
    m_kWorldBound.m_kCenter = m_kWorld.m_kTranslate;
}

void NiCamera::UpdateWorldPlanes()
{
    const NiVec3& P = m_kWorld.m_kTranslate;
    const NiVec3& D = m_kWorldDir;
    const NiVec3& U = m_kWorldUp;
    const NiVec3& R = m_kWorldRight;
    const NiViewFrustum& f = m_kViewFrustum;

    // Each plane keeps the inside on its positive side.
    m_akWorldPlanes[NEAR_PLANE] = NiPlane(D, P + D * f.m_fNear);
    m_akWorldPlanes[FAR_PLANE] = NiPlane(-D, P + D * f.m_fFar);
    if (f.m_bOrtho)
    {
        m_akWorldPlanes[LEFT_PLANE] = NiPlane(R, P + R * f.m_fLeft);
        m_akWorldPlanes[RIGHT_PLANE] = NiPlane(-R, P + R * f.m_fRight);
        m_akWorldPlanes[TOP_PLANE] = NiPlane(-U, P + U * f.m_fTop);
        m_akWorldPlanes[BOTTOM_PLANE] = NiPlane(U, P + U * f.m_fBottom);
    }
    else
    {
        m_akWorldPlanes[LEFT_PLANE] = NiPlane(Unit((D + R * f.m_fLeft).Cross(U)), P);
        m_akWorldPlanes[RIGHT_PLANE] = NiPlane(Unit(U.Cross(D + R * f.m_fRight)), P);
        m_akWorldPlanes[TOP_PLANE] = NiPlane(Unit((D + U * f.m_fTop).Cross(R)), P);
        m_akWorldPlanes[BOTTOM_PLANE] = NiPlane(Unit(R.Cross(D + U * f.m_fBottom)), P);
    }
}

void NiCamera::UpdateWorldToCamera()
{
    const NiVec3& P = m_kWorld.m_kTranslate;
    const NiVec3& D = m_kWorldDir;
    const NiVec3& U = m_kWorldUp;
    const NiVec3& R = m_kWorldRight;
    const NiViewFrustum& f = m_kViewFrustum;

    m_fXScale = 2.0f / (f.m_fRight - f.m_fLeft);
    m_fYScale = 2.0f / (f.m_fTop - f.m_fBottom);
    const float fXShift = (f.m_fRight + f.m_fLeft) / (f.m_fRight - f.m_fLeft);
    const float fYShift = (f.m_fTop + f.m_fBottom) / (f.m_fTop - f.m_fBottom);
    const float fDepth = f.m_fFar - f.m_fNear;
    const float fDP = -D.Dot(P);
    const float fUP = -U.Dot(P);
    const float fRP = -R.Dot(P);

    if (f.m_bOrtho)
    {
        // Side shifts move the box, not the view line: they go into the
        // constant column alone.
        SetRow(m_aafWorldToCam[0], R * m_fXScale, fRP * m_fXScale - fXShift);
        SetRow(m_aafWorldToCam[1], U * m_fYScale, fUP * m_fYScale - fYShift);
        SetRow(m_aafWorldToCam[2], D / fDepth, (fDP - f.m_fNear) / fDepth);
        SetRow(m_aafWorldToCam[3], NiVec3(), 1.0f);
    }
    else
    {
        SetRow(m_aafWorldToCam[0], R * m_fXScale - D * fXShift, fRP * m_fXScale - fDP * fXShift);
        SetRow(m_aafWorldToCam[1], U * m_fYScale - D * fYShift, fUP * m_fYScale - fDP * fYShift);
        const float fFar = f.m_fFar / fDepth;
        SetRow(m_aafWorldToCam[2], D * fFar, fDP * fFar - f.m_fNear * f.m_fFar / fDepth);
        SetRow(m_aafWorldToCam[3], D, fDP);
    }
}

// ---- Screen elements ----

NiScreenPolygon* NiCamera::GetScreenPolygon(std::uint32_t uiIndex) const
{
    return m_kScreenPolygons.GetAt(uiIndex);
}

void NiCamera::AddScreenPolygon(NiScreenPolygon* pkPolygon)
{
    if (pkPolygon != nullptr)
        m_kScreenPolygons.AddTail(pkPolygon);
}

void NiCamera::RemoveScreenPolygon(NiScreenPolygon* pkPolygon)
{
    for (std::uint32_t i = 0; pkPolygon != nullptr && i < m_kScreenPolygons.GetSize(); ++i)
    {
        if (m_kScreenPolygons.GetAt(i) == pkPolygon)
        {
            m_kScreenPolygons.RemoveAt(i);
            return;
        }
    }
}

NiScreenTexture* NiCamera::GetScreenTexture(std::uint32_t uiIndex) const
{
    return m_kScreenTextures.GetAt(uiIndex);
}

void NiCamera::AddScreenTexture(NiScreenTexture* pkTexture)
{
    if (pkTexture != nullptr)
        m_kScreenTextures.AddTail(pkTexture);
}

void NiCamera::RemoveScreenTexture(NiScreenTexture* pkTexture)
{
    for (std::uint32_t i = 0; pkTexture != nullptr && i < m_kScreenTextures.GetSize(); ++i)
    {
        if (m_kScreenTextures.GetAt(i) == pkTexture)
        {
            m_kScreenTextures.SetAt(i, nullptr);
            return;
        }
    }
}

void NiCamera::FlagScreenPolygons()
{
    for (std::uint32_t i = 0; i < m_kScreenPolygons.GetSize(); ++i)
    {
        if (NiScreenPolygon* pkPolygon = m_kScreenPolygons.GetAt(i))
            pkPolygon->SetRendererFlags(static_cast<std::uint16_t>(pkPolygon->GetRendererFlags() | 1u));
    }
}

void NiCamera::PurgeRendererData(NiRenderer* pkRenderer)
{
    NiAVObject::PurgeRendererData(pkRenderer);
    if (pkRenderer == nullptr)
        return;
    for (std::uint32_t i = 0; i < m_kScreenPolygons.GetSize(); ++i)
    {
        if (NiScreenPolygon* pkPolygon = m_kScreenPolygons.GetAt(i))
            pkRenderer->PurgeScreenPolygonRendererData(pkPolygon);
    }
    for (std::uint32_t i = 0; i < m_kScreenTextures.GetSize(); ++i)
    {
        if (NiScreenTexture* pkTexture = m_kScreenTextures.GetAt(i))
            (void)pkRenderer->PurgeScreenTextureRendererData(pkTexture);
    }
}

// ---- Frames ----

void NiCamera::ClearViewport(std::uint32_t uiFlags)
{
    if (m_spRenderer != nullptr)
        m_spRenderer->ClearBuffer(&m_kPort, uiFlags);
}

void NiCamera::DisplayFrame()
{
    if (m_spRenderer != nullptr)
        m_spRenderer->DisplayFrame();
}

void NiCamera::SetCameraDataOn(NiRenderer* pkRenderer)
{
    pkRenderer->SetCameraData(m_kWorld.m_kTranslate, m_kWorldDir, m_kWorldUp, m_kWorldRight, m_kViewFrustum, m_kPort);
}

void NiCamera::DrawScreenElements(NiRenderer* pkRenderer)
{
    for (std::uint32_t i = 0; i < m_kScreenPolygons.GetSize(); ++i)
    {
        if (NiScreenPolygon* pkPolygon = m_kScreenPolygons.GetAt(i))
            pkPolygon->Draw(pkRenderer);
    }
    for (std::uint32_t i = 0; i < m_kScreenTextures.GetSize(); ++i)
    {
        if (NiScreenTexture* pkTexture = m_kScreenTextures.GetAt(i))
            pkTexture->Draw(pkRenderer);
    }
}

void NiCamera::RenderFrame()
{
    // Held for the frame: an owner may let go of the renderer meanwhile.
    NiRendererPtr spRenderer = m_spRenderer;
    if (spRenderer == nullptr)
        return;
    SetCameraDataOn(spRenderer);
    (void)spRenderer->BeginScene();

    if (m_spScene != nullptr && m_spScene->GetWorldBound().m_fRadius != 0.0f)
    {
        // Without an accumulator, or with one busy in another pass, visible
        // geometry is drawn as culling reaches it.
        NiAccumulatorPtr spAccumulator = spRenderer->GetAccumulator();
        const bool bStarted = spAccumulator != nullptr && spAccumulator->StartAccumulating(this);
        if (!bStarted)
            spRenderer->SetAccumulator(nullptr);
        NiNode::CullChild(m_spScene, this);
        if (bStarted)
            spAccumulator->FinishAccumulating();
        spRenderer->SetAccumulator(spAccumulator);
    }

    DrawScreenElements(spRenderer);
    spRenderer->EndScene();
}

// ---- Rays and aiming ----

bool NiCamera::WindowPointToRay(std::int32_t iX, std::int32_t iY, NiVec3& kOrigin, NiVec3& kDir) const
{
    if (m_spRenderer == nullptr || iX < 0 || iY < 0)
        return false;
    float fU = 0.0f;
    float fV = 0.0f;
    if (!NiRenderer::PixelToUnit(static_cast<std::uint32_t>(iX), static_cast<std::uint32_t>(iY), fU, fV))
        return false;

    const float fPortWidth = m_kPort.m_right - m_kPort.m_left;
    const float fPortHeight = m_kPort.m_top - m_kPort.m_bottom;
    // A viewport without area has no pixel to map (and would divide by 0).
    if (!(fPortWidth > 0.0f) || !(fPortHeight > 0.0f))
        return false;
    if (fU < m_kPort.m_left || fU > m_kPort.m_right || fV < m_kPort.m_bottom || fV > m_kPort.m_top)
        return false;

    const NiViewFrustum& f = m_kViewFrustum;
    const float fX = f.m_fLeft + (fU - m_kPort.m_left) / fPortWidth * (f.m_fRight - f.m_fLeft);
    const float fY = f.m_fBottom + (fV - m_kPort.m_bottom) / fPortHeight * (f.m_fTop - f.m_fBottom);
    const NiVec3& P = m_kWorld.m_kTranslate;
    if (f.m_bOrtho)
    {
        // The frustum values are positions across the view here: the ray
        // starts where the pixel lies, whatever the frustum's centre.
        kDir = Unit(m_kWorldDir);
        kOrigin = P + m_kWorldRight * fX + m_kWorldUp * fY;
    }
    else
    {
        kOrigin = P;
        kDir = Unit(m_kWorldDir + m_kWorldRight * fX + m_kWorldUp * fY);
    }
    return true;
}

bool NiCamera::LookAtWorldPoint(const NiVec3& kPoint, const NiVec3& kWorldUp)
{
    NiVec3 kAway = m_kWorld.m_kTranslate - kPoint;
    if (kAway.SqrLength() < 1e-10f)
        return false;
    kAway.Normalize();
    const NiVec3 kRight = kWorldUp.UnitCross(kAway);
    if (kRight.SqrLength() < 0.5f)
        return false;
    const NiVec3 kUp = kAway.UnitCross(kRight);
    if (kUp.SqrLength() < 0.5f)
        return false;

    NiMatrix3x3 kRotate;
    kRotate.SetColumns(-kAway, kUp, kRight);
    if (const NiAVObject* pkParent = GetParent())
        kRotate = pkParent->GetWorldTransform().m_kRotate.TransposeMultiply(kRotate);
    SetRotate(kRotate);
    UpdateWorldData();
    UpdateWorldBound();
    return true;
}

// ---- Cloning ----

NiImplementCreateClone(NiCamera)

void NiCamera::CopyMembers(NiCamera* pkDest, NiCloneContext& kCloning)
{
    NiAVObject::CopyMembers(pkDest, kCloning);
    pkDest->m_usCameraFlags = m_usCameraFlags;
    for (int r = 0; r < 4; ++r)
    {
        for (int c = 0; c < 4; ++c)
            pkDest->m_aafWorldToCam[r][c] = m_aafWorldToCam[r][c];
    }
    pkDest->m_fXScale = m_fXScale;
    pkDest->m_fYScale = m_fYScale;
    pkDest->m_kWorldDir = m_kWorldDir;
    pkDest->m_kWorldUp = m_kWorldUp;
    pkDest->m_kWorldRight = m_kWorldRight;
    pkDest->m_kViewFrustum = m_kViewFrustum;
    pkDest->m_kPort = m_kPort;
    pkDest->m_fLODAdjust = m_fLODAdjust;
    for (std::uint32_t i = 0; i < MAX_PLANES; ++i)
        pkDest->m_akWorldPlanes[i] = m_akWorldPlanes[i];
    pkDest->m_uiActivePlanes = m_uiActivePlanes;

    // Each screen element is copied into the same index; the scene and the
    // renderer stay with the original.
    pkDest->m_kScreenPolygons.RemoveAll();
    pkDest->m_kScreenPolygons.SetCapacity(m_kScreenPolygons.GetCapacity());
    for (std::uint32_t i = 0; i < m_kScreenPolygons.GetSize(); ++i)
    {
        NiScreenPolygon* pkPolygon = m_kScreenPolygons.GetAt(i);
        pkDest->m_kScreenPolygons.SetAt(
            i, pkPolygon != nullptr ? static_cast<NiScreenPolygon*>(pkPolygon->CreateClone(kCloning)) : nullptr);
    }
    pkDest->m_kScreenTextures.RemoveAll();
    pkDest->m_kScreenTextures.SetCapacity(m_kScreenTextures.GetCapacity());
    for (std::uint32_t i = 0; i < m_kScreenTextures.GetSize(); ++i)
    {
        NiScreenTexture* pkTexture = m_kScreenTextures.GetAt(i);
        pkDest->m_kScreenTextures.SetAt(
            i, pkTexture != nullptr ? static_cast<NiScreenTexture*>(pkTexture->CreateClone(kCloning)) : nullptr);
    }
}

void NiCamera::FinishClone(NiCloneContext& kCloning)
{
    NiAVObject::FinishClone(kCloning);
    for (std::uint32_t i = 0; i < m_kScreenPolygons.GetSize(); ++i)
    {
        if (NiScreenPolygon* pkPolygon = m_kScreenPolygons.GetAt(i))
            pkPolygon->FinishClone(kCloning);
    }
    for (std::uint32_t i = 0; i < m_kScreenTextures.GetSize(); ++i)
    {
        if (NiScreenTexture* pkTexture = m_kScreenTextures.GetAt(i))
            pkTexture->FinishClone(kCloning);
    }
}

// ---- Scene-file record ----

void NiCamera::ReadFromStream(NiObjectStream& kStream)
{
    NiAVObject::ReadFromStream(kStream);
    const std::uint32_t uiVersion = kStream.GetFileVersion();
    if (uiVersion >= FLAGS_FROM)
        kStream.ReadLE(m_usCameraFlags);
    else
        m_usCameraFlags = static_cast<std::uint16_t>((kStream.GetSavedObjectFlags() >> 6) & 0x1FF);

    NiViewFrustum& f = m_kViewFrustum;
    kStream.ReadLE(f.m_fLeft);
    kStream.ReadLE(f.m_fRight);
    kStream.ReadLE(f.m_fTop);
    kStream.ReadLE(f.m_fBottom);
    kStream.ReadLE(f.m_fNear);
    kStream.ReadLE(f.m_fFar);
    f.m_bOrtho = false;
    if (uiVersion >= ORTHO_FROM)
    {
        std::uint8_t ucOrtho = 0;
        kStream.ReadLE(ucOrtho);
        f.m_bOrtho = ucOrtho != 0;
    }
    kStream.ReadLE(m_kPort.m_left);
    kStream.ReadLE(m_kPort.m_right);
    kStream.ReadLE(m_kPort.m_top);
    kStream.ReadLE(m_kPort.m_bottom);
    kStream.ReadLE(m_fLODAdjust);

    kStream.ReadLinkID();     // scene
    kStream.ReadLinkIDList(); // screen polygons
    if (uiVersion >= SCREEN_TEXTURES_FROM)
        kStream.ReadLinkIDList();
    if (uiVersion >= THIRD_LIST_FROM && uiVersion < THIRD_LIST_UNTIL)
        kStream.ReadLinkIDList();

    UpdateWorldPlanes();
    UpdateWorldToCamera();
}

void NiCamera::ResolveLinks(NiObjectStream& kStream)
{
    NiAVObject::ResolveLinks(kStream);
    const std::uint32_t uiVersion = kStream.GetFileVersion();
    // Every link through the typed check: a scene that is no positioned
    // object, or a screen element of another class, fails the load.
    m_spScene = kStream.GetLinkedObjectAs<NiAVObject>();
    std::uint32_t uiCount = kStream.GetNextLinkCount();
    for (std::uint32_t i = 0; i < uiCount; ++i)
        m_kScreenPolygons.AddTail(kStream.GetLinkedObjectAs<NiScreenPolygon>());
    if (uiVersion >= SCREEN_TEXTURES_FROM)
    {
        uiCount = kStream.GetNextLinkCount();
        for (std::uint32_t i = 0; i < uiCount; ++i)
            m_kScreenTextures.AddTail(kStream.GetLinkedObjectAs<NiScreenTexture>());
    }
    if (uiVersion >= THIRD_LIST_FROM && uiVersion < THIRD_LIST_UNTIL)
    {
        uiCount = kStream.GetNextLinkCount();
        for (std::uint32_t i = 0; i < uiCount; ++i)
            (void)kStream.GetLinkedObject();
    }
}

void NiCamera::PostLink(NiObjectStream& kStream)
{
    NiAVObject::PostLink(kStream);
    if (m_spScene == nullptr)
        return;
    // Every parent is set by now, and the nodes refused any loop among
    // themselves; the bound is a second guard.
    std::uint32_t uiSteps = 0;
    for (NiAVObject* pk = this; pk != nullptr; pk = pk->GetParent())
    {
        if (pk == m_spScene || ++uiSteps > kStream.GetFileObjectCount() + 1)
        {
            kStream.SetCorrupt();
            return;
        }
    }
}

void NiCamera::DropCountedLinks()
{
    NiAVObject::DropCountedLinks();
    m_spScene = nullptr;
}

bool NiCamera::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiAVObject::RegisterForSave(kStream))
        return false;
    if (m_spScene != nullptr)
        m_spScene->RegisterForSave(kStream);
    for (std::uint32_t i = 0; i < m_kScreenPolygons.GetSize(); ++i)
    {
        if (NiScreenPolygon* pkPolygon = m_kScreenPolygons.GetAt(i))
            pkPolygon->RegisterForSave(kStream);
    }
    for (std::uint32_t i = 0; i < m_kScreenTextures.GetSize(); ++i)
    {
        if (NiScreenTexture* pkTexture = m_kScreenTextures.GetAt(i))
            pkTexture->RegisterForSave(kStream);
    }
    return true;
}

void NiCamera::WriteToStream(NiObjectStream& kStream)
{
    NiAVObject::WriteToStream(kStream);
    kStream.WriteLE(m_usCameraFlags);
    const NiViewFrustum& f = m_kViewFrustum;
    kStream.WriteLE(f.m_fLeft);
    kStream.WriteLE(f.m_fRight);
    kStream.WriteLE(f.m_fTop);
    kStream.WriteLE(f.m_fBottom);
    kStream.WriteLE(f.m_fNear);
    kStream.WriteLE(f.m_fFar);
    kStream.WriteLE(static_cast<std::uint8_t>(f.m_bOrtho ? 1 : 0));
    kStream.WriteLE(m_kPort.m_left);
    kStream.WriteLE(m_kPort.m_right);
    kStream.WriteLE(m_kPort.m_top);
    kStream.WriteLE(m_kPort.m_bottom);
    kStream.WriteLE(m_fLODAdjust);
    kStream.WriteLinkID(m_spScene);
    kStream.WriteLE(m_kScreenPolygons.GetSize());
    for (std::uint32_t i = 0; i < m_kScreenPolygons.GetSize(); ++i)
        kStream.WriteLinkID(m_kScreenPolygons.GetAt(i));
    kStream.WriteLE(m_kScreenTextures.GetSize());
    for (std::uint32_t i = 0; i < m_kScreenTextures.GetSize(); ++i)
        kStream.WriteLinkID(m_kScreenTextures.GetAt(i));
}

bool NiCamera::IsEqual(NiObject* pkOther)
{
    if (!NiAVObject::IsEqual(pkOther))
        return false;
    auto* pkCamera = static_cast<NiCamera*>(pkOther);
    const NiViewFrustum& a = m_kViewFrustum;
    const NiViewFrustum& b = pkCamera->m_kViewFrustum;
    // The scene and the orthographic flag are left out.
    if (a.m_fLeft != b.m_fLeft || a.m_fRight != b.m_fRight || a.m_fTop != b.m_fTop || a.m_fBottom != b.m_fBottom ||
        a.m_fNear != b.m_fNear || a.m_fFar != b.m_fFar)
        return false;
    const NiRect<float>& p = m_kPort;
    const NiRect<float>& q = pkCamera->m_kPort;
    if (p.m_left != q.m_left || p.m_right != q.m_right || p.m_top != q.m_top || p.m_bottom != q.m_bottom)
        return false;
    if (m_fLODAdjust != pkCamera->m_fLODAdjust)
        return false;
    return ElementsEqual(m_kScreenPolygons, pkCamera->m_kScreenPolygons) &&
           ElementsEqual(m_kScreenTextures, pkCamera->m_kScreenTextures);
}

void NiCamera::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiAVObject::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiCamera::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerFrustum("m_kViewFrustum", m_kViewFrustum));
    kStrings.AddTail(NiViewerViewport("m_kPort", m_kPort));
    kStrings.AddTail(NiViewerVec3("m_kWorldDir", m_kWorldDir));
    kStrings.AddTail(NiViewerVec3("m_kWorldUp", m_kWorldUp));
    kStrings.AddTail(NiViewerVec3("m_kWorldRight", m_kWorldRight));
}
