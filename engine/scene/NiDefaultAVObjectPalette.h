#pragma once

#include "engine/core/NiHashMap.h"
#include "engine/scene/NiAVObject.h"
#include "engine/scene/NiAVObjectPalette.h"

#include <cstdint>
#include <vector>

// The standard palette: names to objects under one scene root.
class NiDefaultAVObjectPalette : public NiAVObjectPalette
{
    NiDeclareTypeInfo()

public:
    static constexpr std::uint32_t HASH_SIZE = 37;

    NiDefaultAVObjectPalette() = default;
    explicit NiDefaultAVObjectPalette(NiAVObject* pkScene) : m_pkScene(pkScene) {}
    ~NiDefaultAVObjectPalette() override = default;
    static NiObject* CreateObject() { return new NiDefaultAVObjectPalette; }

    // A name not yet in the table is searched under the scene root; what is
    // found is entered.
    [[nodiscard]] NiAVObject* GetAVObject(const char* pcName) override;
    void SetAVObject(const char* pcName, NiAVObject* pkObject) override;
    [[nodiscard]] std::uint32_t GetCount() const { return m_kHash.GetCount(); }

    [[nodiscard]] NiAVObject* GetScene() const { return m_pkScene; }
    virtual void SetScene(NiAVObject* pkScene) { m_pkScene = pkScene; }

    NiObject* CreateClone(NiCloneContext& kCloning) override;
    void FinishClone(NiCloneContext& kCloning) override;
    void ReadFromStream(NiObjectStream& kStream) override;
    void PostLink(NiObjectStream& kStream) override;
    void DropCountedLinks() override;
    bool RegisterForSave(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    // Links only: the scene keeps its objects alive. Objects a loaded file
    // gave to nothing but the palette are held in m_kHeld instead.
    NiStringHashMap<NiAVObject> m_kHash{HASH_SIZE, true};
    NiAVObject* m_pkScene = nullptr;
    std::vector<NiAVObjectPtr> m_kHeld;
};
