#pragma once

#include "engine/core/NiColor.h"
#include "engine/core/NiVec2.h"
#include "engine/core/NiVec3.h"
#include "engine/scene/NiAVObject.h"

#include <cstdint>
#include <memory>
#include <vector>

class NiNode;
class NiTriBasedGeom;

// One thing a picking ray met: a whole object whose bounding sphere it
// crossed, or one triangle of a triangle-based geometry with what lies at the
// hit point.
class NiPickRecord
{
public:
    explicit NiPickRecord(NiAVObject* pkObject) : m_spObject(pkObject) {}

    [[nodiscard]] NiAVObject* GetAVObject() const { return m_spObject; }
    [[nodiscard]] const NiVec3& GetIntersection() const { return m_kIntersect; }
    // The ray parameter of the hit: the point is origin + t direction.
    [[nodiscard]] float GetDistance() const { return m_fDistance; }
    [[nodiscard]] std::uint16_t GetTriangleIndex() const { return m_usTriangleIndex; }
    void GetVertexIndices(std::uint16_t& us0, std::uint16_t& us1, std::uint16_t& us2) const
    {
        us0 = m_ausVertexIndex[0];
        us1 = m_ausVertexIndex[1];
        us2 = m_ausVertexIndex[2];
    }
    [[nodiscard]] const NiVec2& GetTexture() const { return m_kTexture; }
    [[nodiscard]] const NiVec3& GetNormal() const { return m_kNormal; }
    [[nodiscard]] const NiColorRGBA& GetColor() const { return m_kColor; }

private:
    friend class NiPicker;

    NiAVObjectPtr m_spObject;
    NiVec3 m_kIntersect;
    float m_fDistance = 0.0f;
    std::uint16_t m_usTriangleIndex = 0;
    std::uint16_t m_ausVertexIndex[3] = {0, 0, 0};
    NiVec2 m_kTexture;
    NiVec3 m_kNormal;
    NiColorRGBA m_kColor;
};

// Casts a world ray into a subtree and keeps what it hits, sorted by
// distance or reduced to the closest hit.
class NiPicker
{
public:
    enum PickType : std::uint32_t
    {
        FIND_ALL = 0,
        FIND_FIRST = 1,
    };
    enum SortType : std::uint32_t
    {
        SORT = 0,
        NO_SORT = 1,
    };
    enum IntersectType : std::uint32_t
    {
        BOUND_INTERSECT = 0,
        TRIANGLE_INTERSECT = 1,
    };
    enum CoordinateType : std::uint32_t
    {
        MODEL_COORDINATES = 0,
        WORLD_COORDINATES = 1,
    };

    // Below this |determinant| a ray counts as parallel to a triangle.
    static constexpr float TRIANGLE_EPSILON = 1e-5f;

    NiPicker() = default;
    ~NiPicker() = default;
    NiPicker(const NiPicker&) = delete;
    NiPicker& operator=(const NiPicker&) = delete;

    // Unless appending, the earlier results go first. True when the target
    // was hit and something was recorded.
    bool Pick(const NiVec3& kOrigin, const NiVec3& kDir, bool bAppend = false);

    [[nodiscard]] std::uint32_t GetSize() const { return static_cast<std::uint32_t>(m_kResults.size()); }
    [[nodiscard]] NiPickRecord* GetAt(std::uint32_t uiIndex) const;
    void ClearResults();
    [[nodiscard]] NiPickRecord* GetLastAddedRecord() const { return m_pkLastAddedRecord; }

    [[nodiscard]] NiAVObject* GetTarget() const { return m_spTarget; }
    void SetTarget(NiAVObject* pkTarget) { m_spTarget = pkTarget; }

    [[nodiscard]] PickType GetPickType() const { return m_ePickType; }
    void SetPickType(PickType e) { m_ePickType = e; }
    [[nodiscard]] SortType GetSortType() const { return m_eSortType; }
    void SetSortType(SortType e) { m_eSortType = e; }
    [[nodiscard]] IntersectType GetIntersectType() const { return m_eIntersectType; }
    void SetIntersectType(IntersectType e) { m_eIntersectType = e; }
    [[nodiscard]] CoordinateType GetCoordinateType() const { return m_eCoordinateType; }
    void SetCoordinateType(CoordinateType e) { m_eCoordinateType = e; }
    [[nodiscard]] bool GetFrontOnly() const { return m_bFrontOnly; }
    void SetFrontOnly(bool b) { m_bFrontOnly = b; }
    [[nodiscard]] bool GetObserveAppCullFlag() const { return m_bObserveAppCullFlag; }
    void SetObserveAppCullFlag(bool b) { m_bObserveAppCullFlag = b; }
    [[nodiscard]] bool GetReturnTexture() const { return m_bReturnTexture; }
    void SetReturnTexture(bool b) { m_bReturnTexture = b; }
    [[nodiscard]] bool GetReturnNormal() const { return m_bReturnNormal; }
    void SetReturnNormal(bool b) { m_bReturnNormal = b; }
    [[nodiscard]] bool GetReturnSmoothNormal() const { return m_bReturnSmoothNormal; }
    void SetReturnSmoothNormal(bool b) { m_bReturnSmoothNormal = b; }
    [[nodiscard]] bool GetReturnColor() const { return m_bReturnColor; }
    void SetReturnColor(bool b) { m_bReturnColor = b; }

    // Origin inside or on the sphere, or a ray heading into it.
    [[nodiscard]] static bool IntersectSphere(const NiVec3& kOrigin, const NiVec3& kDir, const NiVec3& kCenter,
                                              float fRadius);
    // On a hit, t is the ray parameter and (u, v) the weights of V1 and V2
    // (V0 takes 1 - u - v). Back faces hit only when bFrontOnly is false.
    [[nodiscard]] static bool IntersectTriangle(const NiVec3& kOrigin, const NiVec3& kDir, const NiVec3& kV0,
                                                const NiVec3& kV1, const NiVec3& kV2, bool bFrontOnly, float& fT,
                                                float& fU, float& fV);

private:
    bool PickObject(NiAVObject* pkObject);
    bool PickNode(NiNode* pkNode);
    bool PickTriangles(NiTriBasedGeom* pkGeometry);
    NiPickRecord* AddRecord(NiAVObject* pkObject);
    // First hit and unsorted: the first record ends the search.
    [[nodiscard]] bool StopAtFirst() const
    {
        return m_ePickType == FIND_FIRST && m_eSortType == NO_SORT && !m_kResults.empty();
    }

    PickType m_ePickType = FIND_ALL;
    SortType m_eSortType = SORT;
    IntersectType m_eIntersectType = TRIANGLE_INTERSECT;
    CoordinateType m_eCoordinateType = WORLD_COORDINATES;
    bool m_bFrontOnly = true;
    bool m_bObserveAppCullFlag = false;
    NiAVObjectPtr m_spTarget;
    std::vector<std::unique_ptr<NiPickRecord>> m_kResults;
    NiPickRecord* m_pkLastAddedRecord = nullptr;
    bool m_bReturnTexture = false;
    bool m_bReturnNormal = false;
    bool m_bReturnSmoothNormal = false;
    bool m_bReturnColor = false;

    // The ray of the Pick in progress, in world space.
    NiVec3 m_kOrigin;
    NiVec3 m_kDir;
};
