#pragma once

#include "engine/animation/NiBlendTransformInterpolator.h"
#include "engine/animation/NiInterpController.h"

#include <cstdint>
#include <memory>

class NiAVObject;

// One controller on a model root that moves many objects, each through its
// own blend transform interpolator, so every sequence that moves an object
// feeds the same blend. Made by the controller manager.
using NiBlendTransformInterpolatorPtr = NiRefPtr<NiBlendTransformInterpolator>;

class NiMultiTargetTransformController : public NiInterpController
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiMultiTargetTransformController)

public:
    NiMultiTargetTransformController() = default;
    explicit NiMultiTargetTransformController(std::uint16_t usNumInterps);
    ~NiMultiTargetTransformController() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    // The first free entry's index; INVALID_INDEX when every entry is taken.
    std::uint16_t AddTarget(NiAVObject* pkTarget);
    // Adds free entries; existing blends keep their addresses. False when
    // the count would pass the u16 range.
    bool GrowTargets(std::uint16_t usMore);
    [[nodiscard]] NiAVObject* GetTargetAt(std::uint16_t usIndex) const
    {
        return usIndex < m_usNumInterps ? m_ppkTargets[usIndex] : nullptr;
    }
    // INVALID_INDEX when absent.
    [[nodiscard]] std::uint16_t FindTarget(const NiAVObject* pkTarget) const;
    [[nodiscard]] NiBlendTransformInterpolator* GetBlendInterpolator(std::uint16_t usIndex) const
    {
        return usIndex < m_usNumInterps ? m_pkBlendInterps[usIndex].Get() : nullptr;
    }
    [[nodiscard]] std::uint16_t GetNumInterps() const { return m_usNumInterps; }

    void Update(float fTime) override;
    // The root's whole subtree is moved from here.
    [[nodiscard]] bool IsTransformController() const override { return true; }
    [[nodiscard]] bool IsTargetClassValid(NiObjectNET* pkTarget) const override;

    [[nodiscard]] std::uint16_t GetInterpolatorCount() const override { return m_usNumInterps; }
    [[nodiscard]] const char* GetInterpolatorID(std::uint16_t usIndex) const override;
    [[nodiscard]] std::uint16_t GetInterpolatorIndex(const char* pcID) const override;
    [[nodiscard]] NiInterpolator* GetInterpolator(std::uint16_t usIndex) const override
    {
        return GetBlendInterpolator(usIndex);
    }
    void SetInterpolator(NiInterpolator*, std::uint16_t) override {}
    void ResetTimeExtrema() override;
    [[nodiscard]] NiInterpolator* CreatePoseInterpolator(std::uint16_t usIndex) override;
    void SynchronizePoseInterpolator(NiInterpolator*, std::uint16_t) override {}
    [[nodiscard]] NiBlendInterpolator* CreateBlendInterpolator(std::uint16_t usIndex, bool, bool, float,
                                                               std::uint8_t) const override
    {
        return GetBlendInterpolator(usIndex);
    }
    void GuaranteeTimeRange(float fStart, float fEnd) override;
    [[nodiscard]] bool InterpolatorIsCorrectType(NiInterpolator* pkInterpolator, std::uint16_t) const override
    {
        return pkInterpolator != nullptr && pkInterpolator->IsTransformValueSupported();
    }

    // The count and one link per target; the blends are not stored.
    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;
    void FinishClone(NiCloneContext& kCloning) override;

private:
    void Allocate(std::uint16_t usCount);

    // Counted on the heap rather than held in place: sequences keep plain
    // pointers to them, which must survive a grow.
    std::unique_ptr<NiBlendTransformInterpolatorPtr[]> m_pkBlendInterps;
    std::unique_ptr<NiAVObject*[]> m_ppkTargets; // links: the scene holds them
    std::uint16_t m_usNumInterps = 0;
};

using NiMultiTargetTransformControllerPtr = NiRefPtr<NiMultiTargetTransformController>;
