#pragma once

#include "framework/COrvaneDynamicObjectManager.h"
#include "framework/COrvaneIOObject.h"

#include <cstdint>
#include <memory>
#include <string>
#include <typeindex>
#include <vector>

class COrvaneFile;
class COrvaneObjectTemplate;
class COrvaneTagTree;
class CPrisonStatistics;
struct COrvaneTemplateGroup;

// One record of a save's objects section, read and not yet made.
struct CParsedObjectRecord
{
    std::string m_kTemplate;
    std::uint32_t m_uiTemplateLine = 0;
    COrvaneObjectTemplate* m_pkTemplate = nullptr; // link, once resolved
    std::string m_kFactory;
    std::type_index m_kKind = typeid(void);
    std::unique_ptr<COrvaneIOState> m_pkState;
};

// A save's objects and statistics sections read whole; nothing made.
struct CParsedObjects
{
    std::vector<CParsedObjectRecord> m_kRecords;
    // The file held an objects section (perhaps empty).
    bool m_bSection = false;
    bool m_bStatistics = false;
    std::string m_kStatisticsLine;
};

// The one registry of everything that lives in a prison: it makes every
// object through the game's named factories, updates and removes them,
// keeps the prison's ledger, picks the prison's templates out of the game
// data and writes and reads the objects and the ledger of a save.
class CDynamicObjectManager : public COrvaneDynamicObjectManager
{
public:
    // The process-wide registry, made (with its factories) on first use.
    [[nodiscard]] static CDynamicObjectManager* GetInstance();
    // Deletes it; the next GetInstance makes a fresh one.
    static void DestroyInstance();
    // The registry when one was made, else null (nothing is made).
    [[nodiscard]] static CDynamicObjectManager* GetExisting();

    // Empty, without factories or ledger until RegisterFactories.
    CDynamicObjectManager();
    ~CDynamicObjectManager() override;

    // The ledger goes, then every object.
    void Destroy() override;
    // No ledger.
    void Reset() override;
    // The prison's section is picked before its plans are read.
    bool BeforePlans(COrvaneTagTree& kDocument) override;
    // Like the framework's walk, but a node named "<FOG>" is never a group.
    void LoadPlans(COrvaneTagTree& kDocument) override;
    // Every object goes at once, each off its floor first.
    void DestroyAllObjects() override;
    // Stores the factory in the descriptor; an object made for a floor
    // joins that floor's members.
    COrvaneObject* CreateObject(COrvaneObjectFactory* pkFactory, COrvaneObjectDesc& kDesc) override;
    // Updates every object, deletes the pending ones, then the ledger's
    // step.
    void UpdateObjects(float fDt) override;

    // A fresh ledger (with one step), the framework's pools and default
    // factory, then the sixteen game factories.
    void RegisterFactories();
    // The cursor moves to "PRISON" + (level number + 1); always true (the
    // cursor stays where it was when there is none).
    bool SelectPrisonSection(COrvaneTagTree& kDocument);
    // "TEMPLATES" / the prison's section, its plan groups in place of the
    // old ones.
    void LoadPrisonTemplates(COrvaneTagTree& kDocument);
    // The first group whose name contains the text; -1 when none.
    [[nodiscard]] int FindTemplateGroup(const char* pcText) const;
    [[nodiscard]] const COrvaneTemplateGroup* FindGroupOfTemplate(const COrvaneObjectTemplate* pkRecord) const;

    void RemoveAllObjects();
    // A character leaves its floor's members at once; without now the
    // object itself stays until the end of the current update.
    void DestroyObject(COrvaneObject* pkObject, bool bNow);

    // "<OBJECTS>", every saving object's record, "</OBJECTS>", then the
    // "<STATISTICS>" section; false when a write fails.
    bool SaveObjects(COrvaneFile& kFile);
    // Reads the two sections back. All or nothing: every record of the
    // objects section is read first; a template or factory that is not
    // known, a record that does not read, or a section without its end
    // gives false with the number of the first bad line (GetBadLine) and
    // nothing made or changed. A missing section is skipped.
    bool LoadObjects(COrvaneFile& kFile);
    // LoadObjects in three steps, so a caller can read a whole save before
    // it lets go of the running game. ParseObjects reads both sections
    // (every record through its kind's parse step, the statistics line as
    // whole numbers) and touches nothing; ResolveTemplates finds each
    // record's template among those loaded now; MakeObjects makes the
    // objects and takes the statistics, and cannot fail. The first two
    // give false with GetBadLine.
    bool ParseObjects(COrvaneFile& kFile, CParsedObjects& kParsed);
    bool ResolveTemplates(CParsedObjects& kParsed);
    void MakeObjects(CParsedObjects& kParsed);
    // The line LoadObjects stopped at; 0 after a good load.
    [[nodiscard]] std::uint32_t GetBadLine() const { return m_uiBadLine; }
    // Puts the loaded prison back together (scene, ledger); true.
    bool RelinkAfterLoad();
    // The day's step of every object, then the ledger's.
    void NewDayStep();
    // Back to the front end: no objects, templates or models; a fresh
    // ledger when there was one. The factories stay.
    void ResetForNewGame();

    [[nodiscard]] CPrisonStatistics* GetStatistics() const { return m_pkStatistics.get(); }

protected:
    void OnDeleting(COrvaneObject* pkObject) override;

private:
    void StatisticsStep();

    std::unique_ptr<CPrisonStatistics> m_pkStatistics;
    std::uint32_t m_uiBadLine = 0;
};
