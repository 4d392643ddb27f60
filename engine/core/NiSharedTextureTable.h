#pragma once

#include "engine/core/NiHashMap.h"
#include "engine/core/NiObject.h"
#include "engine/core/NiRefObject.h"
#include "engine/core/NiRefPtr.h"

// Textures already loaded by one stream, by file name, so a file named by
// several objects of a scene is loaded once. Textures are engine objects;
// the texture classes keep their own type.
class NiSharedTextureTable : public NiRefObject
{
public:
    static constexpr std::uint32_t HASH_SIZE = 37;

    // Walks every live texture for one whose file name equals pcName without
    // regard to case, skipping pkLoading; set by the texture code. The hit
    // comes with a reference: another thread may drop its last one meanwhile.
    using SearchAllFunction = NiObjectPtr (*)(const char* pcName, const NiObject* pkLoading);

    NiSharedTextureTable() = default;
    ~NiSharedTextureTable() override = default;

    // A hit in the table; otherwise, with search-all on, the live-texture
    // walk; else null.
    [[nodiscard]] virtual NiObjectPtr FindTexture(const char* pcName, const NiObject* pkLoading);
    // Stores (or replaces) the entry, holding a reference.
    virtual void AddTexture(const char* pcName, NiObject* pkTexture);
    virtual void SetSearchAll(bool bSearchAll) { m_bSearchAll = bSearchAll; }
    [[nodiscard]] virtual bool GetSearchAll() const { return m_bSearchAll; }

    [[nodiscard]] std::uint32_t GetCount() const { return m_kTextures.GetCount(); }

    // Null removes the walk (until the texture code exists, and in tests).
    static void SetSearchAllFunction(SearchAllFunction pfnSearch);

private:
    NiStringRefMap<NiObject> m_kTextures{HASH_SIZE, true};
    bool m_bSearchAll = false;
};

using NiSharedTextureTablePtr = NiRefPtr<NiSharedTextureTable>;
