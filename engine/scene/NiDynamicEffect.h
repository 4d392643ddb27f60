#pragma once

#include "engine/core/NiTList.h"
#include "engine/scene/NiAVObject.h"

#include <atomic>
#include <cstdint>

class NiNode;

// Common base of lights and texture effects: an on/off switch, a distinct
// index that orders effects in effect sets, a revision the renderer watches
// for changes, the nodes the effect is attached to and the nodes below which
// it does not apply.
class NiDynamicEffect : public NiAVObject
{
    NiDeclareTypeInfo()

public:
    enum EffectType : int
    {
        AMBIENT_LIGHT = 0,
        DIR_LIGHT = 1,
        POINT_LIGHT = 2,
        SPOT_LIGHT = 3,
        TEXTURE_EFFECT = 4,
    };

    NiDynamicEffect();
    // Leaves every affected node.
    ~NiDynamicEffect() override;

    [[nodiscard]] virtual int GetEffectType() const = 0;

    [[nodiscard]] bool GetSwitch() const { return m_bOn != 0; }
    void SetSwitch(bool bOn) { m_bOn = bOn ? 1 : 0; }
    [[nodiscard]] std::uint32_t GetIndex() const { return m_uiIndex; }
    [[nodiscard]] std::uint32_t GetRevisionID() const { return m_uiRevID; }
    void IncRevisionID() { ++m_uiRevID; }

    // Both sides stay in step: the node's effect list and this list.
    void AttachAffectedNode(NiNode* pkNode);
    void DetachAffectedNode(NiNode* pkNode);
    [[nodiscard]] const NiTList<NiNode>& GetAffectedNodeList() const { return m_kAffectedNodeList; }

    void AttachUnaffectedNode(NiNode* pkNode);
    void DetachUnaffectedNode(NiNode* pkNode);
    [[nodiscard]] bool IsUnaffectedNode(const NiNode* pkNode) const;
    void ClearUnaffectedNodes() { m_kUnaffectedNodeList.RemoveAll(); }
    [[nodiscard]] const NiTList<NiNode>& GetUnaffectedNodeList() const { return m_kUnaffectedNodeList; }

    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

    // Process-wide index counter (tests).
    static void ResetIndexCounter();

protected:
    void CopyMembers(NiDynamicEffect* pkDest, NiCloneContext& kCloning);

    std::uint8_t m_bOn = 1;
    std::uint32_t m_uiIndex;
    std::uint32_t m_uiPushCount = 0; // kept for the renderer, never streamed
    std::uint32_t m_uiRevID = 1;
    // Plain pointers: the nodes hold the effect, never the other way round.
    NiTList<NiNode> m_kAffectedNodeList;
    NiTList<NiNode> m_kUnaffectedNodeList;

    static std::atomic<std::uint32_t> ms_uiNextIndex;
};

using NiDynamicEffectPtr = NiRefPtr<NiDynamicEffect>;
