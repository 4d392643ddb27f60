#pragma once

#include "framework/COrvaneAssetPool.h"
#include "framework/COrvaneBase.h"

#include <cstdint>
#include <list>
#include <memory>
#include <vector>

class COrvaneGame;
class COrvaneObject;
class COrvaneObjectFactory;
class COrvaneObjectTemplate;
class COrvaneTagNode;
class COrvaneTagTree;
class COrvaneWorld;
struct COrvaneObjectDesc;
struct COrvaneTemplateGroup;

// Runs the game's dynamic objects: makes them through named factories,
// updates them, removes them at the end of an update, and holds the object
// templates of the game data with the pools their models come from.
class COrvaneDynamicObjectManager : public COrvaneBase
{
public:
    COrvaneDynamicObjectManager();
    ~COrvaneDynamicObjectManager() override;
    COrvaneDynamicObjectManager(const COrvaneDynamicObjectManager&) = delete;
    COrvaneDynamicObjectManager& operator=(const COrvaneDynamicObjectManager&) = delete;

    // Objects, pools, templates and factories go.
    void Destroy() override;
    virtual void Reset();
    // The game's hook before the plans are read; true.
    virtual bool BeforePlans(COrvaneTagTree& kDocument);
    // Children with a "plans" child are groups; other children recurse.
    virtual void LoadPlans(COrvaneTagTree& kDocument);
    // The templates under the cursor's "plans" node, appended to records.
    virtual void LoadTemplates(std::vector<std::unique_ptr<COrvaneObjectTemplate>>& kRecords,
                               COrvaneTagTree& kDocument);
    virtual void FlushRemovals();
    virtual void DestroyAllObjects();
    virtual COrvaneObject* CreateObject(COrvaneObjectFactory* pkFactory, COrvaneObjectDesc& kDesc);
    // Without now the object goes at the next flush; with now at once.
    virtual void RemoveObject(COrvaneObject* pkObject, bool bNow);
    [[nodiscard]] virtual COrvaneObject* GetObjectAt(std::uint32_t uiIndex) const;
    // Updates every live object, then flushes the removals.
    virtual void UpdateObjects(float fDt);
    // Both pools and the framework's object factory.
    virtual void Init();

    [[nodiscard]] COrvaneObjectFactory* FindFactory(const char* pcName, COrvaneWorld* pkWorld);
    // The lookup of FindFactory without touching the factory's world.
    [[nodiscard]] COrvaneObjectFactory* FactoryNamed(const char* pcName) const;
    [[nodiscard]] std::size_t GetFactoryCount() const { return m_kFactories.size(); }
    [[nodiscard]] COrvaneObjectFactory* GetFactory(std::size_t uiIndex) const;
    // Every template group goes.
    void ClearTemplates();
    // New empty pools in place of the old ones.
    void RenewPools();
    void AddFactory(std::unique_ptr<COrvaneObjectFactory> pkFactory);
    [[nodiscard]] COrvaneObjectTemplate* GetTemplate(std::uint16_t usGroup, std::uint16_t usIndex) const;
    // The first record whose first model's name contains the name.
    [[nodiscard]] COrvaneObjectTemplate* FindTemplate(const char* pcName) const;
    // "TEMPLATES" from the document's root; clearFirst drops the old groups.
    void LoadTemplateSection(COrvaneTagTree& kDocument, bool bClearFirst);
    // The game whose prerequisite registry is told of every template's list.
    void SetGame(COrvaneGame* pkGame) { m_pkGame = pkGame; }

    [[nodiscard]] COrvaneModelPool* GetModelPool() const { return m_pkModels.get(); }
    [[nodiscard]] COrvaneAnimPool* GetAnimationPool() const { return m_pkAnimations.get(); }
    [[nodiscard]] std::size_t GetGroupCount() const { return m_kGroups.size(); }
    [[nodiscard]] const COrvaneTemplateGroup* GetGroup(std::size_t uiIndex) const;
    [[nodiscard]] std::size_t GetLiveCount() const { return m_kLive.size(); }
    [[nodiscard]] bool IsLive(const COrvaneObject* pkObject) const;
    [[nodiscard]] bool IsPending(const COrvaneObject* pkObject) const;
    [[nodiscard]] std::size_t GetPendingCount() const { return m_kPending.size(); }

protected:
    // Told of each object right before it is deleted, whichever way it goes.
    virtual void OnDeleting(COrvaneObject* pkObject) { (void)pkObject; }
    void AddGroup(std::unique_ptr<COrvaneTemplateGroup> pkGroup);

private:
    void ReadPrerequisites(const COrvaneTagNode& kNode, COrvaneObjectTemplate& kRecord);
    // An erase shifts the indices after it.
    void ForgetCursor() const { m_uiCursor = NO_CURSOR; }

    std::list<COrvaneObject*> m_kLive; // owned
    // The last object GetObjectAt found, and its index.
    static constexpr std::uint32_t NO_CURSOR = 0xFFFFFFFFu;
    mutable std::list<COrvaneObject*>::const_iterator m_kCursor;
    mutable std::uint32_t m_uiCursor = NO_CURSOR;
    std::vector<COrvaneObject*> m_kPending;
    std::vector<std::unique_ptr<COrvaneObjectFactory>> m_kFactories;
    std::vector<std::unique_ptr<COrvaneTemplateGroup>> m_kGroups;
    std::unique_ptr<COrvaneAnimPool> m_pkAnimations;
    std::unique_ptr<COrvaneModelPool> m_pkModels;
    COrvaneGame* m_pkGame = nullptr; // link
};
