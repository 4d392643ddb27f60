#pragma once

#include "engine/core/NiMathConstants.h"
#include "engine/core/NiObject.h"
#include "engine/core/NiRefPtr.h"

#include <cstdint>

class NiObjectNET;

// Base of every time controller. An object's controllers form a singly
// linked chain through counted next links; the object holds the head. The
// base turns application time into the controller's key time.
class NiTimeController : public NiObject
{
    NiDeclareTypeInfo()

public:
    // Flag bits.
    enum : std::uint16_t
    {
        ANIMTYPE_MASK = 0x0001,
        CYCLETYPE_MASK = 0x0006,
        CYCLETYPE_POS = 1,
        ACTIVE_MASK = 0x0008,
        DIRECTION_MASK = 0x0010,
        MANAGERCONTROLLED_MASK = 0x0020,
    };
    enum AnimType : std::uint16_t
    {
        APP_TIME = 0,
        APP_INIT = 1,
    };
    enum CycleType : std::uint16_t
    {
        LOOP = 0,
        REVERSE = 1,
        CLAMP = 2,
        MAX_CYCLE_TYPES = 3, // names no cycle type; folds like CLAMP
    };
    // APP_TIME, CLAMP, active, forwards.
    static constexpr std::uint16_t DEFAULT_FLAGS = 12;

    NiTimeController() = default;
    // Releases a long chain link by link instead of recursively.
    ~NiTimeController() override;

    virtual void Start(float fTime);
    virtual void Stop();
    // Applies the controller at the time.
    virtual void Update(float fTime) = 0;
    virtual void SetTarget(NiObjectNET* pkTarget);
    [[nodiscard]] virtual bool IsTransformController() const { return false; }
    // True makes the data of the geometry it drives volatile.
    [[nodiscard]] virtual bool IsVertexController() const { return false; }
    // The key time for an application time (frequency, phase, cycle type,
    // key range, direction).
    [[nodiscard]] virtual float ComputeScaledTime(float fTime);
    // Called before the geometry it drives is drawn.
    virtual void ApplyDeferredUpdate() {}
    // Whether the controller is written to scene files.
    [[nodiscard]] virtual bool IsStreamable() const { return true; }
    // Whether the target's class is one the controller can drive; the base
    // takes any named object and each concrete controller narrows it.
    [[nodiscard]] virtual bool IsTargetClassValid(NiObjectNET*) const { return true; }

    // True when the update at fTime is to be skipped: inactive, same time,
    // or (computing scaled times) the same key time as last time.
    [[nodiscard]] bool ShouldSkipUpdate(float fTime);

    [[nodiscard]] NiTimeController* GetNext() const { return m_spNext; }
    // Replaces the next link (counted).
    void SetNext(NiTimeController* pkNext) { m_spNext = pkNext; }
    // Controllers from pkFirst along the chain; 0 for null.
    [[nodiscard]] static std::uint32_t CountChain(const NiTimeController* pkFirst);
    [[nodiscard]] std::uint32_t CountChain() const { return CountChain(this); }
    // The first controller from pkFirst on (itself included) that is
    // written to files; null when none.
    [[nodiscard]] static NiTimeController* FirstStreamable(NiTimeController* pkFirst);

    [[nodiscard]] std::uint16_t GetFlags() const { return m_uFlags; }
    void SetFlags(std::uint16_t uFlags) { m_uFlags = uFlags; }
    [[nodiscard]] AnimType GetAnimType() const { return static_cast<AnimType>(m_uFlags & ANIMTYPE_MASK); }
    void SetAnimType(AnimType eType) { SetBits(ANIMTYPE_MASK, eType); }
    [[nodiscard]] CycleType GetCycleType() const
    {
        return static_cast<CycleType>((m_uFlags & CYCLETYPE_MASK) >> CYCLETYPE_POS);
    }
    void SetCycleType(CycleType eType) { SetBits(CYCLETYPE_MASK, static_cast<std::uint16_t>(eType << CYCLETYPE_POS)); }
    [[nodiscard]] bool GetActive() const { return (m_uFlags & ACTIVE_MASK) != 0; }
    void SetActive(bool bOn) { SetBits(ACTIVE_MASK, bOn ? ACTIVE_MASK : 0); }
    [[nodiscard]] bool GetPlayBackwards() const { return (m_uFlags & DIRECTION_MASK) != 0; }
    void SetPlayBackwards(bool bOn) { SetBits(DIRECTION_MASK, bOn ? DIRECTION_MASK : 0); }
    [[nodiscard]] bool GetManagerControlled() const { return (m_uFlags & MANAGERCONTROLLED_MASK) != 0; }
    void SetManagerControlled(bool bOn) { SetBits(MANAGERCONTROLLED_MASK, bOn ? MANAGERCONTROLLED_MASK : 0); }

    [[nodiscard]] float GetFrequency() const { return m_fFrequency; }
    void SetFrequency(float f) { m_fFrequency = f; }
    [[nodiscard]] float GetPhase() const { return m_fPhase; }
    void SetPhase(float f) { m_fPhase = f; }
    [[nodiscard]] float GetBeginKeyTime() const { return m_fLoKeyTime; }
    void SetBeginKeyTime(float f) { m_fLoKeyTime = f; }
    [[nodiscard]] float GetEndKeyTime() const { return m_fHiKeyTime; }
    void SetEndKeyTime(float f) { m_fHiKeyTime = f; }
    [[nodiscard]] float GetStartTime() const { return m_fStartTime; }
    [[nodiscard]] float GetLastTime() const { return m_fLastTime; }
    [[nodiscard]] float GetScaledTime() const { return m_fScaledTime; }
    [[nodiscard]] bool GetComputeScaledTime() const { return m_bComputeScaledTime; }
    void SetComputeScaledTime(bool bOn) { m_bComputeScaledTime = bOn; }
    void SetForceUpdate(bool bOn) { m_bForceUpdate = bOn; }
    [[nodiscard]] bool GetForceUpdate() const { return m_bForceUpdate; }
    [[nodiscard]] NiObjectNET* GetTarget() const { return m_pkTarget; }

    // The flags word of a file before 10.0.1.2 as read; a subclass's own old
    // field sits in bits 5 and up.
    [[nodiscard]] std::uint16_t GetLegacyFlags() const { return m_usLegacyFlags; }

    // The process-wide one-entry cache of folded key times, back to its
    // start state (tests).
    static void ResetScaledTimeCache();

    // Geometry data belongs to the scene library: it installs how a vertex
    // controller's target gets its data marked volatile. Null removes it.
    using MarkDataVolatileFunction = void (*)(NiObjectNET* pkTarget);
    static void SetMarkDataVolatileFunction(MarkDataVolatileFunction pfnMark);
    // The consistency bits of a data flags word set to volatile.
    [[nodiscard]] static constexpr std::uint16_t MakeVolatileConsistency(std::uint16_t usFlags)
    {
        return static_cast<std::uint16_t>((usFlags & 0x0FFF) | 0x8000);
    }

    // Record: the next streamable controller's link, the flags, frequency,
    // phase, key range and the target's link.
    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    // Registers the rest of the chain too.
    bool RegisterForSave(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    // Flags, frequency, phase, key range, and whether there is a target;
    // chains are compared by their owner.
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;
    void FinishClone(NiCloneContext& kCloning) override;

protected:
    // The copy gets a clone of the rest of the chain.
    void CopyMembers(NiTimeController* pkDest, NiCloneContext& kCloning);
    void SetBits(std::uint16_t uMask, std::uint16_t uValue)
    {
        m_uFlags = static_cast<std::uint16_t>((m_uFlags & ~uMask) | (uValue & uMask));
    }
    void MarkTargetDataVolatile();

    NiRefPtr<NiTimeController> m_spNext;
    std::uint16_t m_uFlags = DEFAULT_FLAGS;
    float m_fFrequency = 1.0f;
    float m_fPhase = 0.0f;
    float m_fLoKeyTime = -NI_MIN_FLOAT;
    float m_fHiKeyTime = NI_MIN_FLOAT;
    float m_fStartTime = NI_MIN_FLOAT;
    float m_fLastTime = NI_MIN_FLOAT;
    float m_fWeightedLastTime = 0.0f; // accumulated scaled time
    float m_fScaledTime = NI_MIN_FLOAT;
    bool m_bComputeScaledTime = true;
    NiObjectNET* m_pkTarget = nullptr; // a link: the target holds this controller
    bool m_bForceUpdate = false;
    std::uint16_t m_usLegacyFlags = 0;
};

using NiTimeControllerPtr = NiRefPtr<NiTimeController>;
