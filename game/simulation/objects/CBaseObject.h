#pragma once

#include "framework/COrvaneGridObject.h"
#include "game/simulation/characters/CCharacterStats.h"
#include "game/simulation/objects/CObjectRecord.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class COrvaneImage;
class CPrisonStatistics;
struct CBuildMenuItem;
class NiNodeAttachment;
struct CObjectQuery;

// A staff or visitor post of a placeable object: the person who fills it,
// the model node that marks it and the head texture chosen for it.
struct CStaffPost : CCharacterStats
{
    // Post categories kept in the record's mood-intensity field.
    static constexpr std::uint16_t SECURITY = 0;
    static constexpr std::uint16_t SUPPORT = 2;
    static constexpr std::uint16_t OTHER_STAFF = 3;
    static constexpr std::uint16_t VISITOR = 5;
    // A staff post's daily wage; a visitor's post pays none.
    static constexpr std::uint16_t WAGE = 25;

    // The category and the wage of a post whose head texture path (or the
    // text of its model node) is kText.
    [[nodiscard]] static std::uint16_t CategoryOf(const std::string& kText);
    [[nodiscard]] static std::uint16_t WageOf(const std::string& kText);
    // What the post costs on the day its object is placed: its wage, booked
    // as it joins the ledger (the next is booked the next morning); nothing
    // for a post the ledger does not count.
    [[nodiscard]] static int CostOnPlacingDay(const std::string& kText);

    CStaffPost();
    ~CStaffPost();
    CStaffPost(const CStaffPost&) = delete;
    CStaffPost& operator=(const CStaffPost&) = delete;

    [[nodiscard]] std::uint16_t GetCategory() const { return m_usMoodIntensity; }

    std::unique_ptr<NiNodeAttachment> m_pkNode;
    // Where the head texture is found: the model's folder, the node's text
    // and ".tga"; the spawn manager turns it into a texture.
    std::string m_kHeadTexturePath;
    COrvaneImage* m_pkHeadTexture = nullptr; // link: the spawn manager's head sets own it
};

// A base object's saved values, read before any reach the object.
struct CBaseObjectState : COrvaneGridObjectState
{
    std::uint16_t m_ausSaved[3] = {};
    std::uint16_t m_usAttraction = 100;
    std::uint16_t m_usDescriptionList = 0;
    std::uint16_t m_usDescriptionEntry = 0;
    std::vector<CCharacterStats> m_kPosts;
};

// The base of every placeable prison object: its economic record, the staff
// and visitor posts its model marks, its place on a game floor, its count in
// the ledger and its save record.
class CBaseObject : public COrvaneGridObject
{
public:
    // The most posts a saved record may hold (the count is written from the
    // model's posts; a higher one is damage).
    static constexpr long long MAX_SAVED_POSTS = 0xFFFF;

    CBaseObject();
    ~CBaseObject() override;

    // Off the floor and out of the ledger, posts unregistered and freed.
    void Destroy() override;
    void Reset() override;
    // The factory's load: Create.
    int Load(COrvaneObjectDesc& kDesc) override;
    // The grid object's lines, then the object's own.
    int SaveState(COrvaneFile& kFile) override;
    int LoadState(COrvaneFile& kFile) override;
    [[nodiscard]] std::unique_ptr<COrvaneIOState> NewState() const override;
    [[nodiscard]] bool ParseState(COrvaneFile& kFile, COrvaneIOState& kState) const override;
    void ApplyState(const COrvaneIOState& kState) override;
    // A placed object stands on the grids, whose positions are in the
    // world's own axes: its model hangs upright, so the floors, routes and
    // doors it lays out lie where it is placed.
    [[nodiscard]] bool StandsUpright() const override { return true; }

    // The grid object's load, use slots, posts and price.
    virtual int Create(COrvaneObjectDesc& kDesc);
    // After a whole file is read: the floor by its saved number, the build
    // menu's label and the restored people in their posts.
    virtual void Reattach();
    // The price is within the balance and the level within the prison's.
    [[nodiscard]] virtual bool CanBuild() const;
    // Occupies the footprint, moves characters off it, joins the floor and
    // the ledger.
    virtual void Place();
    // The footprint is valid, free, and has no connector or door cell.
    [[nodiscard]] virtual bool IsPlacementValid(bool bWithBorder) const;
    // Leaves the floor and frees the footprint; only while placed.
    void Unplace();
    // The object is a preview the build placement holds: its posts leave
    // the ledger, wages and all, until it is first placed, so that a held
    // object's posts cost nothing and the balance shows no wage of a post
    // not yet built. Nothing for an object placed before.
    void HoldPostsBack();
    [[nodiscard]] bool ArePostsHeldBack() const { return m_ucPostsHeldBack != 0; }

    [[nodiscard]] virtual bool IsNotTower() const { return false; }
    virtual void BuildUseSlots(COrvaneObjectDesc& kDesc) { (void)kDesc; }
    // The template parameter at the cursor (0, 0 or empty when the list is
    // exhausted); the cursor moves only past a parameter that was there.
    virtual float ReadFloatParam(COrvaneObjectDesc& kDesc);
    virtual int ReadIntParam(COrvaneObjectDesc& kDesc);
    virtual std::string ReadStringParam(COrvaneObjectDesc& kDesc);
    // Counted once; an object named for executions counts as an execution
    // room.
    virtual void AddToStatistics();
    virtual void RemoveFromStatistics();
    // Each waged post's wage; at the first day of a year its person ages
    // and, past 65, is replaced.
    virtual void DailyUpdate();
    [[nodiscard]] virtual CObjectRecord* GetObjectStats() { return &m_kRecord; }
    [[nodiscard]] virtual bool IsUnattractive() const { return false; }
    [[nodiscard]] virtual std::uint16_t GetRequiredLevel() const { return m_kRecord.m_usRequiredLevel; }
    // True when the object answers the search.
    [[nodiscard]] virtual bool MatchQuery(CObjectQuery& kQuery) const;
    // An object others use wants one more user (the usable objects).
    [[nodiscard]] virtual bool WantsUser() const { return false; }
    // Objects staffing their posts count them as staff of their floor.
    [[nodiscard]] virtual bool AddsPostsToFloorStaff() const { return false; }
    // A building's record of a file without version ends before the posts.
    [[nodiscard]] virtual bool IsBuilding() const { return false; }

    // The first post whose model node is the holder's, or null.
    [[nodiscard]] CStaffPost* FindPost(const NiNodeAttachment& kHolder) const;
    void SetDescription(std::uint16_t usList, std::uint16_t usEntry);
    // The build-menu item the object came from: its picture as the label
    // and its description.
    void SetBuildMenuItem(const CBuildMenuItem& kItem);

    [[nodiscard]] std::int32_t GetEntityKind() const override { return 2; }
    [[nodiscard]] const std::vector<std::unique_ptr<CStaffPost>>& GetPosts() const { return m_kPosts; }
    [[nodiscard]] const std::vector<std::unique_ptr<CCharacterStats>>& GetRestoredPosts() const
    {
        return m_kRestoredPosts;
    }
    [[nodiscard]] const CObjectRecord& GetRecord() const { return m_kRecord; }
    [[nodiscard]] bool IsPlaced() const { return m_ucPlaced != 0; }
    [[nodiscard]] bool IsInStatistics() const { return m_ucInStatistics != 0; }
    [[nodiscard]] std::uint16_t GetDescriptionList() const { return m_usDescriptionList; }
    [[nodiscard]] std::uint16_t GetDescriptionEntry() const { return m_usDescriptionEntry; }
    [[nodiscard]] const std::string& GetStringParameter() const { return m_kStringParameter; }
    [[nodiscard]] const void* GetLabelWidget() const { return m_pkLabelWidget; }

protected:
    // The posts the model's "Staff_Root" nodes mark, each with a new person.
    void CreatePosts();

    std::uint16_t m_usDescriptionList = 0;
    std::uint16_t m_usDescriptionEntry = 0;
    std::vector<std::unique_ptr<CStaffPost>> m_kPosts;
    std::vector<std::unique_ptr<CCharacterStats>> m_kRestoredPosts;
    CObjectRecord m_kRecord;
    std::uint8_t m_ucPlaced = 0;
    std::string m_kStringParameter;
    std::uint8_t m_ucInStatistics = 0;
    const void* m_pkLabelWidget = nullptr; // link: the build panel owns it
    // Whether the object was ever placed: a preview that never was gives
    // back the wages its posts booked.
    std::uint8_t m_ucEverPlaced = 0;
    // The posts are out of the ledger until the first placing.
    std::uint8_t m_ucPostsHeldBack = 0;
};
