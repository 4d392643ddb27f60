#pragma once

#include "framework/COrvaneBase.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

class COrvaneAnim;
class COrvaneComposite;

// One loaded asset and the count of objects using it. The pool and every
// template that names the asset hold the same entry; the asset goes with the
// last holder, whichever of pool and templates that is.
template <class T>
struct COrvaneAssetEntry
{
    explicit COrvaneAssetEntry(std::unique_ptr<T> pkAsset) : m_pkAsset(std::move(pkAsset)) {}

    [[nodiscard]] T* Get() const { return m_pkAsset.get(); }

    std::uint32_t m_uiUseCount = 1;
    std::unique_ptr<T> m_pkAsset;
};

struct COrvaneModelEntry : COrvaneAssetEntry<COrvaneComposite>
{
    using COrvaneAssetEntry::COrvaneAssetEntry;
};

struct COrvaneAnimEntry : COrvaneAssetEntry<COrvaneAnim>
{
    using COrvaneAssetEntry::COrvaneAssetEntry;
};

template <class T>
struct COrvaneAssetEntryOf;
template <>
struct COrvaneAssetEntryOf<COrvaneComposite>
{
    using Type = COrvaneModelEntry;
};
template <>
struct COrvaneAssetEntryOf<COrvaneAnim>
{
    using Type = COrvaneAnimEntry;
};

using COrvaneModelEntryPtr = std::shared_ptr<COrvaneModelEntry>;
using COrvaneAnimEntryPtr = std::shared_ptr<COrvaneAnimEntry>;

// Models and animation sequences loaded once and shared by name.
template <class T>
class COrvaneAssetPool : public COrvaneBase
{
public:
    using Entry = typename COrvaneAssetEntryOf<T>::Type;
    using EntryPtr = std::shared_ptr<Entry>;

    COrvaneAssetPool() = default;
    ~COrvaneAssetPool() override { Destroy(); }

    // Lets go of every entry; assets still named by templates stay with them.
    void Destroy() override { m_kEntries.clear(); }

    // The first entry, in insertion order, whose asset's name equals the
    // name exactly (case counts); null when none.
    [[nodiscard]] EntryPtr Find(const char* pcName) const
    {
        if (!pcName)
            return nullptr;
        for (const EntryPtr& sp : m_kEntries)
        {
            const char* pcAsset = sp->Get() ? sp->Get()->GetName() : nullptr;
            if (pcAsset && std::strcmp(pcAsset, pcName) == 0)
                return sp;
        }
        return nullptr;
    }

    // A new entry holding the asset, appended.
    EntryPtr Add(std::unique_ptr<T> pkAsset)
    {
        auto sp = std::make_shared<Entry>(std::move(pkAsset));
        m_kEntries.push_back(sp);
        return sp;
    }

    [[nodiscard]] std::size_t GetCount() const { return m_kEntries.size(); }
    [[nodiscard]] const std::vector<EntryPtr>& GetEntries() const { return m_kEntries; }

private:
    std::vector<EntryPtr> m_kEntries;
};

using COrvaneModelPool = COrvaneAssetPool<COrvaneComposite>;
using COrvaneAnimPool = COrvaneAssetPool<COrvaneAnim>;
