#include "engine/scene/NiPicker.h"

#include "engine/scene/NiNode.h"
#include "engine/scene/NiSwitchNode.h"
#include "engine/scene/NiTriBasedGeom.h"

#include <utility>

NiPickRecord* NiPicker::GetAt(std::uint32_t uiIndex) const
{
    return uiIndex < m_kResults.size() ? m_kResults[uiIndex].get() : nullptr;
}

void NiPicker::ClearResults()
{
    m_kResults.clear();
    m_pkLastAddedRecord = nullptr;
}

NiPickRecord* NiPicker::AddRecord(NiAVObject* pkObject)
{
    m_kResults.push_back(std::make_unique<NiPickRecord>(pkObject));
    m_pkLastAddedRecord = m_kResults.back().get();
    return m_pkLastAddedRecord;
}

bool NiPicker::Pick(const NiVec3& kOrigin, const NiVec3& kDir, bool bAppend)
{
    if (!bAppend)
        ClearResults();
    m_kOrigin = kOrigin;
    m_kDir = kDir;
    if (!PickObject(m_spTarget))
        return false;
    if (m_kResults.empty())
        return false;
    if (m_eSortType == NO_SORT || m_eIntersectType == BOUND_INTERSECT || m_kResults.size() < 2)
        return true;

    if (m_ePickType == FIND_FIRST)
    {
        // Strictly closer only: on a tie the earlier record stays.
        std::size_t uiBest = 0;
        for (std::size_t i = 1; i < m_kResults.size(); ++i)
        {
            if (m_kResults[i]->m_fDistance < m_kResults[uiBest]->m_fDistance)
                uiBest = i;
        }
        std::unique_ptr<NiPickRecord> spBest = std::move(m_kResults[uiBest]);
        m_kResults.clear();
        m_kResults.push_back(std::move(spBest));
        m_pkLastAddedRecord = m_kResults.front().get();
        return true;
    }

    for (std::size_t i = 0; i < m_kResults.size(); ++i)
    {
        for (std::size_t j = i + 1; j < m_kResults.size(); ++j)
        {
            if (m_kResults[j]->m_fDistance < m_kResults[i]->m_fDistance)
                std::swap(m_kResults[i], m_kResults[j]);
        }
    }
    return true;
}

bool NiPicker::PickObject(NiAVObject* pkObject)
{
    if (pkObject == nullptr)
        return false;
    if (m_bObserveAppCullFlag && pkObject->GetAppCulled())
        return false;
    const NiBoundSphere& kBound = pkObject->GetWorldBound();
    if (!IntersectSphere(m_kOrigin, m_kDir, kBound.m_kCenter, kBound.m_fRadius))
        return false;
    if (auto* pkNode = NiDynamicCast<NiNode>(pkObject))
        return PickNode(pkNode);
    if (auto* pkGeometry = NiDynamicCast<NiTriBasedGeom>(pkObject))
        return PickTriangles(pkGeometry);
    return false;
}

bool NiPicker::PickNode(NiNode* pkNode)
{
    if (m_eIntersectType == BOUND_INTERSECT && m_ePickType == FIND_FIRST)
    {
        AddRecord(pkNode);
        return true;
    }

    if (auto* pkSwitch = NiDynamicCast<NiSwitchNode>(pkNode))
    {
        const int iIndex = pkSwitch->GetIndex();
        if (iIndex < 0)
            return false;
        if (StopAtFirst())
            return true;
        if (static_cast<std::uint32_t>(iIndex) >= pkSwitch->GetArrayCount())
            return false;
        NiAVObject* pkChild = pkSwitch->GetAt(static_cast<std::uint32_t>(iIndex));
        return pkChild != nullptr && PickObject(pkChild);
    }

    bool bHit = false;
    for (std::uint32_t i = 0; i < pkNode->GetArrayCount(); ++i)
    {
        if (StopAtFirst())
            return true;
        if (NiAVObject* pkChild = pkNode->GetAt(i))
            bHit = PickObject(pkChild) || bHit;
    }
    return bHit;
}

bool NiPicker::PickTriangles(NiTriBasedGeom* pkGeometry)
{
    if (m_eIntersectType == BOUND_INTERSECT)
    {
        AddRecord(pkGeometry);
        return true;
    }

    const NiXform& kWorld = pkGeometry->GetWorldTransform();
    // A collapsed object has no surface to meet, and dividing by its scale
    // would fill the ray with infinities.
    if (kWorld.m_fScale == 0.0f)
        return false;
    const NiMatrix3x3& R = kWorld.m_kRotate;
    const float fInvScale = 1.0f / kWorld.m_fScale;
    const NiVec3 kOrigin = R.TransposeMultiplyVector(m_kOrigin - kWorld.m_kTranslate) * fInvScale;
    const NiVec3 kDir = R.TransposeMultiplyVector(m_kDir) * fInvScale;

    auto* pkData = NiDynamicCast<NiTriBasedGeomData>(pkGeometry->GetModelData());
    if (pkData == nullptr || pkData->GetVertices() == nullptr)
        return false;
    const NiVec3* pkVertex = pkData->GetVertices();
    const NiVec3* pkNormal = pkData->GetNormals();
    const NiColorRGBA* pkColor = pkData->GetColors();
    const NiVec2* pkTexture = pkData->GetTextureSet(0);
    const std::uint16_t usVertices = pkData->GetVertexCount();
    const bool bWorld = m_eCoordinateType == WORLD_COORDINATES;

    bool bHit = false;
    const std::uint16_t usTriangles = pkData->GetTriangleCount();
    for (std::uint16_t usTri = 0; usTri < usTriangles; ++usTri)
    {
        std::uint16_t i0 = 0;
        std::uint16_t i1 = 0;
        std::uint16_t i2 = 0;
        // Indices come from the file: one past the vertices names nothing.
        if (!pkData->GetTriangleIndices(usTri, i0, i1, i2) || i0 >= usVertices || i1 >= usVertices ||
            i2 >= usVertices)
            continue;
        float fT = 0.0f;
        float fU = 0.0f;
        float fV = 0.0f;
        if (!IntersectTriangle(kOrigin, kDir, pkVertex[i0], pkVertex[i1], pkVertex[i2], m_bFrontOnly, fT, fU, fV))
            continue;

        NiPickRecord* pkRecord = AddRecord(pkGeometry);
        bHit = true;
        const float fW = 1.0f - fU - fV;
        const NiVec3 kPoint = kOrigin + kDir * fT;
        pkRecord->m_kIntersect = bWorld ? R.MultiplyVector(kPoint) * kWorld.m_fScale + kWorld.m_kTranslate : kPoint;
        pkRecord->m_fDistance = fT;
        pkRecord->m_usTriangleIndex = usTri;
        pkRecord->m_ausVertexIndex[0] = i0;
        pkRecord->m_ausVertexIndex[1] = i1;
        pkRecord->m_ausVertexIndex[2] = i2;

        if (m_bReturnTexture && pkTexture != nullptr)
        {
            pkRecord->m_kTexture = NiVec2(fW * pkTexture[i0].x + fU * pkTexture[i1].x + fV * pkTexture[i2].x,
                                          fW * pkTexture[i0].y + fU * pkTexture[i1].y + fV * pkTexture[i2].y);
        }
        if (m_bReturnNormal)
        {
            NiVec3 kNormal;
            if (m_bReturnSmoothNormal && pkNormal != nullptr)
                kNormal = pkNormal[i0] * fW + pkNormal[i1] * fU + pkNormal[i2] * fV;
            else
                kNormal = (pkVertex[i1] - pkVertex[i0]).Cross(pkVertex[i2] - pkVertex[i0]);
            kNormal.Normalize();
            pkRecord->m_kNormal = bWorld ? R.MultiplyVector(kNormal) : kNormal;
        }
        if (m_bReturnColor && pkColor != nullptr)
            pkRecord->m_kColor = pkColor[i0].Scale(fW).Add(pkColor[i1].Scale(fU)).Add(pkColor[i2].Scale(fV));
        else
            pkRecord->m_kColor = NiColorRGBA(1.0f, 1.0f, 1.0f, 1.0f);

        if (m_ePickType == FIND_FIRST && m_eSortType == NO_SORT)
            break;
    }
    return bHit;
}

bool NiPicker::IntersectSphere(const NiVec3& kOrigin, const NiVec3& kDir, const NiVec3& kCenter, float fRadius)
{
    const NiVec3 kQ = kOrigin - kCenter;
    const float fC = kQ.SqrLength() - fRadius * fRadius;
    if (fC <= 0.0f)
        return true;
    const float fB = kQ.Dot(kDir);
    if (fB >= 0.0f)
        return false;
    return fB * fB >= kDir.SqrLength() * fC;
}

bool NiPicker::IntersectTriangle(const NiVec3& kOrigin, const NiVec3& kDir, const NiVec3& kV0, const NiVec3& kV1,
                                 const NiVec3& kV2, bool bFrontOnly, float& fT, float& fU, float& fV)
{
    const NiVec3 kEdge1 = kV1 - kV0;
    const NiVec3 kEdge2 = kV2 - kV0;
    const NiVec3 kP = kDir.Cross(kEdge2);
    const float fDet = kP.Dot(kEdge1);

    float fU0 = 0.0f;
    float fV0 = 0.0f;
    float fT0 = 0.0f;
    if (fDet >= TRIANGLE_EPSILON)
    {
        const NiVec3 kS = kOrigin - kV0;
        fU0 = kS.Dot(kP);
        if (fU0 < 0.0f || fU0 > fDet)
            return false;
        const NiVec3 kQ = kS.Cross(kEdge1);
        fV0 = kDir.Dot(kQ);
        if (fV0 < 0.0f || fU0 + fV0 > fDet)
            return false;
        fT0 = kEdge2.Dot(kQ);
        if (fT0 < 0.0f)
            return false;
    }
    else if (fDet <= -TRIANGLE_EPSILON)
    {
        if (bFrontOnly)
            return false;
        const NiVec3 kS = kOrigin - kV0;
        fU0 = kS.Dot(kP);
        if (fU0 > 0.0f || fU0 < fDet)
            return false;
        const NiVec3 kQ = kS.Cross(kEdge1);
        fV0 = kDir.Dot(kQ);
        if (fV0 > 0.0f || fU0 + fV0 < fDet)
            return false;
        fT0 = kEdge2.Dot(kQ);
        if (fT0 > 0.0f)
            return false;
    }
    else
    {
        // Too close to parallel to the plane to place a hit.
        return false;
    }
    const float fInvDet = 1.0f / fDet;
    fT = fT0 * fInvDet;
    fU = fU0 * fInvDet;
    fV = fV0 * fInvDet;
    return true;
}
