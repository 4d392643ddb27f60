#pragma once

#include "engine/core/NiObject.h"
#include "engine/core/NiRefPtr.h"

#include <cstdint>

// Base of every time controller. An object's controllers form a singly
// linked chain through counted next links; the object holds the head.
class NiTimeController : public NiObject
{
    NiDeclareTypeInfo()

public:
    NiTimeController() = default;
    // Releases a long chain link by link instead of recursively.
    ~NiTimeController() override;

    // Applies the controller at the time.
    virtual void Update(float fTime) = 0;
    [[nodiscard]] virtual bool IsTransformController() const { return false; }
    // Whether the controller is written to scene files.
    [[nodiscard]] virtual bool IsStreamable() const { return true; }
    // True makes the data of the geometry it drives volatile.
    [[nodiscard]] virtual bool IsVertexController() const { return false; }
    // Called before the geometry it drives is drawn.
    virtual void ApplyDeferredUpdate() {}

    [[nodiscard]] NiTimeController* GetNext() const { return m_spNext; }
    // Replaces the next link (counted).
    void SetNext(NiTimeController* pkNext) { m_spNext = pkNext; }
    // Controllers from pkFirst along the chain; 0 for null.
    [[nodiscard]] static std::uint32_t CountChain(const NiTimeController* pkFirst);
    // The first controller from pkFirst on (itself included) that is
    // written to files; null when none.
    [[nodiscard]] static NiTimeController* FirstStreamable(NiTimeController* pkFirst);

    [[nodiscard]] std::uint16_t GetFlags() const { return m_uFlags; }
    void SetFlags(std::uint16_t uFlags) { m_uFlags = uFlags; }

    // Record: the next streamable controller's link, then the flags.
    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    // Registers the rest of the chain too.
    bool RegisterForSave(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    // The flags (and the class); chains are compared by their owner.
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;
    void FinishClone(NiCloneContext& kCloning) override;

protected:
    // The copy gets a clone of the rest of the chain.
    void CopyMembers(NiTimeController* pkDest, NiCloneContext& kCloning);

    NiRefPtr<NiTimeController> m_spNext;
    std::uint16_t m_uFlags = 0;
};

using NiTimeControllerPtr = NiRefPtr<NiTimeController>;
