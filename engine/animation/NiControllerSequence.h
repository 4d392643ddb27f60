#pragma once

#include "engine/animation/NiBlendInterpolator.h"
#include "engine/animation/NiInterpController.h"
#include "engine/animation/NiInterpolator.h"
#include "engine/animation/NiStringPalette.h"
#include "engine/animation/NiTextKeyExtraData.h"
#include "engine/core/NiMathConstants.h"
#include "engine/core/NiObject.h"

#include <cstdint>
#include <memory>
#include <vector>

class NiAVObject;
class NiAVObjectPalette;
class NiControllerManager;

// One named animation of a model: items pairing an interpolator with a tag
// that says where its value goes (object, property, controller class and
// ID, interpolator ID). Played through a controller manager, it feeds its
// weight, ease factor and key time into the blend interpolators of the
// controllers it is bound to.
class NiControllerSequence : public NiObject
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiControllerSequence)

public:
    enum AnimState : std::int32_t
    {
        INACTIVE = 0,
        ANIMATING = 1,
        EASINGIN = 7,
        EASINGOUT = 8,
    };
    // 0 loops; every other value clamps.
    static constexpr std::uint32_t LOOP = 0;
    static constexpr std::uint32_t CLAMP = 2;
    static constexpr std::uint32_t NO_STRING = NiStringPalette::NO_STRING;
    // Old files carried their controllers directly; their sequences were
    // made with this growth step.
    static constexpr std::uint32_t OLD_ARRAY_GROW_BY = 12;
    static constexpr std::uint32_t OLD_PALETTE_BYTES_PER_ITEM = 320;

    struct InterpArrayItem
    {
        NiInterpolatorPtr m_spInterpolator;
        NiInterpControllerPtr m_spInterpCtlr;
        NiBlendInterpolator* m_pkBlendInterp = nullptr; // the controller holds it
        std::uint8_t m_ucBlendIdx = NiBlendInterpolator::INVALID_INDEX;

        void ClearValues();
    };

    // Where an item's value goes: offsets of strings in a palette.
    struct IDTag
    {
        NiStringPalettePtr m_spPalette;
        std::uint32_t m_uiAVObjectNameOffset = NO_STRING;
        std::uint32_t m_uiPropertyTypeOffset = NO_STRING;
        std::uint32_t m_uiCtlrTypeOffset = NO_STRING;
        std::uint32_t m_uiCtlrIDOffset = NO_STRING;
        std::uint32_t m_uiInterpolatorIDOffset = NO_STRING;

        [[nodiscard]] const char* GetString(std::uint32_t uiOffset) const
        {
            return m_spPalette ? m_spPalette->GetString(uiOffset) : nullptr;
        }
        [[nodiscard]] const char* GetAVObjectName() const { return GetString(m_uiAVObjectNameOffset); }
        [[nodiscard]] const char* GetPropertyType() const { return GetString(m_uiPropertyTypeOffset); }
        [[nodiscard]] const char* GetCtlrType() const { return GetString(m_uiCtlrTypeOffset); }
        [[nodiscard]] const char* GetCtlrID() const { return GetString(m_uiCtlrIDOffset); }
        [[nodiscard]] const char* GetInterpolatorID() const { return GetString(m_uiInterpolatorIDOffset); }
        void ClearValues();
        // Each string added to the palette (null gives no string).
        void SetStrings(NiStringPalette* pkPalette, const char* pcObject, const char* pcProperty,
                        const char* pcCtlrType, const char* pcCtlrID, const char* pcInterpID);
    };

    NiControllerSequence() = default;
    ~NiControllerSequence() override = default;

    [[nodiscard]] static NiObject* CreateObject() { return new NiControllerSequence; }

    // ---- Playing ----
    bool Activate(std::int32_t iPriority, bool bStartOver, float fWeight, float fEaseInTime,
                  NiControllerSequence* pkTimeSyncSeq);
    bool Deactivate(float fEaseOutTime);
    void Update(float fTime, bool bUpdateInterpolators);
    // The key time for an input time; commit keeps the accumulation.
    float ComputeScaledTime(float fTime, bool bCommit);
    [[nodiscard]] bool IsSyncCycleFree(const NiControllerSequence* pkOther) const;
    [[nodiscard]] bool VerifyMatchingMorphKeys(const NiControllerSequence* pkOther) const;
    [[nodiscard]] float FindCorrespondingMorphTime(NiControllerSequence* pkPartner, float fPartnerTime);
    void AttachToBlendInterpolators(std::int32_t iPriority);
    void DetachFromBlendInterpolators();
    void SetBlendValues(float fWeight, float fEaseSpinner, float fKeyTime);

    // ---- Items ----
    // The item's index; -1 when no entry can be made (grow-by 0).
    std::int32_t AddItem(NiInterpolator* pkInterpolator, const IDTag& kTag);
    bool GrowArrays();
    [[nodiscard]] std::uint32_t GetArraySize() const { return static_cast<std::uint32_t>(m_kItems.size()); }
    [[nodiscard]] const InterpArrayItem* GetItem(std::uint32_t uiIndex) const
    {
        return uiIndex < m_kItems.size() ? &m_kItems[uiIndex] : nullptr;
    }
    [[nodiscard]] const IDTag* GetTag(std::uint32_t uiIndex) const
    {
        return uiIndex < m_kTags.size() ? &m_kTags[uiIndex] : nullptr;
    }
    // -1 when no item's object name is the name.
    [[nodiscard]] std::int32_t FindItem(const char* pcObjectName) const;
    [[nodiscard]] std::uint32_t GetArrayGrowBy() const { return m_uiArrayGrowBy; }
    void SetArrayGrowBy(std::uint32_t uiGrowBy) { m_uiArrayGrowBy = uiGrowBy; }
    [[nodiscard]] NiStringPalette* GetStringPalette() const { return m_spStringPalette; }
    void SetStringPalette(NiStringPalette* pkPalette) { m_spStringPalette = pkPalette; }

    // ---- Binding (through the owning manager) ----
    bool BindToTargets(NiAVObject* pkRoot);
    void SortItemsByBlendInterpolator();
    void UnbindFromManager();
    // Old sequences become items once their controllers are linked; binding
    // needs that done first.
    void ConvertPendingLegacyItems();
    bool ConvertLegacyController(const char* pcObjectName, NiInterpController* pkController);

    // ---- Fields ----
    void SetName(const char* pcName);
    [[nodiscard]] const char* GetName() const { return m_spName.get(); }
    void SetAccumRootName(const char* pcName);
    [[nodiscard]] const char* GetAccumRootName() const { return m_spAccumRootName.get(); }
    [[nodiscard]] NiAVObject* GetAccumRoot() const { return m_pkAccumRoot; }
    [[nodiscard]] NiTextKeyExtraData* GetTextKeys() const { return m_spTextKeys; }
    void SetTextKeys(NiTextKeyExtraData* pkKeys) { m_spTextKeys = pkKeys; }
    [[nodiscard]] std::uint32_t GetCycleType() const { return m_uiCycleType; }
    void SetCycleType(std::uint32_t uiCycle) { m_uiCycleType = uiCycle; }
    [[nodiscard]] float GetFrequency() const { return m_fFrequency; }
    void SetFrequency(float f) { m_fFrequency = f; }
    [[nodiscard]] float GetPhase() const { return m_fPhase; }
    void SetPhase(float f) { m_fPhase = f; }
    [[nodiscard]] float GetBeginKeyTime() const { return m_fBeginKeyTime; }
    [[nodiscard]] float GetEndKeyTime() const { return m_fEndKeyTime; }
    void SetKeyRange(float fBegin, float fEnd)
    {
        m_fBeginKeyTime = fBegin;
        m_fEndKeyTime = fEnd;
    }
    [[nodiscard]] float GetWeight() const { return m_fSeqWeight; }
    [[nodiscard]] AnimState GetState() const { return m_eState; }
    [[nodiscard]] float GetLastTime() const { return m_fLastTime; }
    [[nodiscard]] float GetLastScaledTime() const { return m_fLastScaledTime; }
    [[nodiscard]] float GetTimeOffset() const { return m_fOffset; }
    // -FLT_MAX: the next update restarts the input time at 0.
    void SetTimeOffset(float fOffset) { m_fOffset = fOffset; }
    [[nodiscard]] float GetEaseStartTime() const { return m_fStartTime; }
    [[nodiscard]] float GetEaseEndTime() const { return m_fEndTime; }
    [[nodiscard]] NiControllerSequence* GetTimeSyncSequence() const { return m_pkPartnerSequence; }
    [[nodiscard]] NiControllerManager* GetOwner() const { return m_pkOwner; }
    void SetOwner(NiControllerManager* pkOwner) { m_pkOwner = pkOwner; }

    // ---- Object operations ----
    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    bool RegisterForSave(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void FinishClone(NiCloneContext& kCloning) override;
    void PostLink(NiObjectStream& kStream) override;
    void DropCountedLinks() override;

private:
    [[nodiscard]] bool BindMultiTargetTransforms(NiAVObject* pkRoot, NiAVObjectPalette* pkPalette);
    void ReadCurrentItems(NiObjectStream& kStream, std::uint32_t uiCount);
    void ReadStringTagItems(NiObjectStream& kStream, std::uint32_t uiCount);
    void ReadOldLayout(NiObjectStream& kStream);

    std::unique_ptr<char[]> m_spName;
    std::uint32_t m_uiArrayGrowBy = 0;
    std::vector<InterpArrayItem> m_kItems;
    std::vector<IDTag> m_kTags;
    float m_fSeqWeight = 1.0f;
    NiTextKeyExtraDataPtr m_spTextKeys;
    std::uint32_t m_uiCycleType = LOOP;
    float m_fFrequency = 1.0f;
    float m_fPhase = 0.0f;
    float m_fBeginKeyTime = -NI_MIN_FLOAT;
    float m_fEndKeyTime = NI_MIN_FLOAT;
    float m_fLastTime = NI_MIN_FLOAT;
    float m_fWeightedLastTime = NI_MIN_FLOAT;
    float m_fLastScaledTime = NI_MIN_FLOAT;
    NiControllerManager* m_pkOwner = nullptr; // the manager holds this sequence
    AnimState m_eState = INACTIVE;
    float m_fOffset = NI_MIN_FLOAT;
    float m_fStartTime = NI_MIN_FLOAT;
    float m_fEndTime = NI_MIN_FLOAT;
    NiControllerSequence* m_pkPartnerSequence = nullptr;
    std::unique_ptr<char[]> m_spAccumRootName;
    NiAVObject* m_pkAccumRoot = nullptr;
    NiStringPalettePtr m_spStringPalette;
    // Set between reading an old layout and turning it into items.
    bool m_bLegacyPending = false;
};

using NiControllerSequencePtr = NiRefPtr<NiControllerSequence>;
