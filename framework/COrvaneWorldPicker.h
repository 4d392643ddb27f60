#pragma once

#include "engine/core/NiVec3.h"

#include <cstdint>
#include <memory>

class COrvaneCamera;
class COrvaneSceneNode;
class COrvaneWorld;
class COrvaneWorldPickerImpl;
class NiCamera;
class NiNodeAttachment;

// The caller's pick record: what to pick in and where, and where the
// answers go (the picker points them at its own fields).
struct COrvanePickQuery
{
    NiCamera* m_pkCamera = nullptr; // not read by the world picker
    COrvaneSceneNode* m_pkRestrict = nullptr;
    std::uint32_t* m_puiResult = nullptr;
    NiVec3* m_pkPoint = nullptr;
    float* m_pfDistance = nullptr;
    void* m_pvReserved = nullptr;
    const float* m_pfScreenPoint = nullptr; // x, y in pixels
    NiNodeAttachment** m_ppkStaff = nullptr;
};

// Turns a screen point into the world object under it: the nearest hit in
// the world's collision geometry (or in a given scene node), and the
// "Owner" handle of the model it belongs to.
class COrvaneWorldPicker
{
public:
    COrvaneWorldPicker();
    ~COrvaneWorldPicker();
    COrvaneWorldPicker(const COrvaneWorldPicker&) = delete;
    COrvaneWorldPicker& operator=(const COrvaneWorldPicker&) = delete;

    // Distance and point FLT_MAX, result 0.
    void Reset();
    void Init(COrvaneWorld& kWorld, COrvaneCamera& kCamera);
    // The result value; a miss leaves it as it was.
    std::uint32_t Pick(COrvanePickQuery& kQuery);
    // Off (as made): the first object met in the collision node's order,
    // whatever lies nearer. On: the nearest object on the ray, where the
    // node's order only settles a tie; for a view in which every object
    // shows whole, whose order then says nothing of what the eye sees.
    void SetNearestFirst(bool bNearest);
    [[nodiscard]] bool IsNearestFirst() const { return m_bNearestFirst; }

    [[nodiscard]] float GetBestDistance() const { return m_fBestDistance; }
    [[nodiscard]] const NiVec3& GetHitPoint() const { return m_kHitPoint; }
    [[nodiscard]] std::uint32_t GetResult() const { return m_uiResult; }
    [[nodiscard]] NiNodeAttachment* GetStaffAttachment() const { return m_pkStaff; }

private:
    std::unique_ptr<COrvaneWorldPickerImpl> m_pkImpl;
    float m_fBestDistance = 0.0f;
    NiVec3 m_kHitPoint;
    std::uint32_t m_uiResult = 0;
    NiNodeAttachment* m_pkStaff = nullptr; // owned; handed out through the query
    bool m_bNearestFirst = false;
};
