#include "tools/COrvaneDemoPrison.h"

#include "engine/core/NiObjectStream.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiStringExtraData.h"
#include "engine/scene/NiTriShape.h"
#include "framework/COrvaneTagTree.h"
#include "game/simulation/characters/CAIStaff.h"
#include "game/simulation/characters/CSpawnManager.h"
#include "game/simulation/objects/CBaseObject.h"
#include "platform/os/OsFiles.h"
#include "tools/COrvaneDemoLevel.h"
#include "tools/COrvaneDemoModel.h"
#include "tools/COrvaneDemoPanels.h"
#include "tools/COrvaneDemoShapes.h"
#include "tools/COrvaneTgaWriter.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

namespace
{
// One template: the model's key folder and name, then its parameters in
// the order the object reads them.
struct Plan
{
    const char* pcKey;
    const char* pcName;
    std::initializer_list<const char*> kParameters;
};

// A template group: its tag (which holds the word it is looked up by) and
// its plans.
struct Group
{
    const char* pcTag;
    std::initializer_list<Plan> kPlans;
};

// Buildings: width, depth, price, required level, kind word. Grounds
// category c is template group c: the cell block, the workshop, the
// canteen, the hospital, the administration building, then the fences and
// other outdoor objects. An inside item fits a building whose name holds
// its category word, so each building is named with the words of the items
// that go inside it; the five buildings share the cell block's form. The
// administration building carries "indoor" for the chapel.
const Group BUILDINGS[] = {
    {"BUILDINGS_CELLBLOCKS",
     {{"cellblocks", "cellblock_small", {"16", "16", "20000", "0", "cellblock"}},
      // A first prison that takes it (the larger first build) keeps enough
      // in hand to pay for a death or an escape.
      {"cellblocks", "cellblock_large", {"24", "16", "35000", "1", "cellblock"}},
      // The block that may hold cells of every security level.
      {"cellblocks", "cellblock_secure", {"24", "16", "60000", "3", "cellblock"}}}},
    {"BUILDINGS_WORKSHOPS", {{"workshops", "workshop_maint", {"16", "16", "18000", "0", "work"}}}},
    {"BUILDINGS_CANTEENS", {{"canteens", "canteen_food", {"16", "16", "15000", "0", "food"}}}},
    {"BUILDINGS_HOSPITALS", {{"hospitals", "hospital_health_therapy", {"16", "16", "22000", "0", "health"}}}},
    {"BUILDINGS_ADMIN", {{"admin", "admin_staff_security_indoor", {"16", "16", "25000", "0", "staff"}}}},
    {"BUILDINGS_FENCES",
     {{"grounds", "fence", {"2", "2", "500", "0", "fence"}},
      {"grounds", "watchtower", {"4", "4", "6000", "1", "tower"}},
      {"grounds", "balcony_walk", {"4", "2", "3000", "2", "balc"}},
      // Stretched to length where it is laid.
      {"grounds", "wall_stretch", {"2", "2", "100", "0", "wall"}}}},
};

// Inside category c is the first "CONTENTS" group + c; each keeps its
// models in its building's folder, so that the building's folder name finds
// its page. Templates are found by the first name holding the text asked
// for: the dining "bench" comes before the "work_bench". Administration rooms
// carry the word "staff" (their own kind comes from their names); the
// guard room keeps "security", the staff it calls for. A room hires a
// maintenance worker by "maint" in its name, so the repair room carries it,
// and a chaplain by "indoor" in its kind word, so the chapel carries that
// (not in its name: a room's nodes named with "door" are its entrances).
// Scores are the prison's progress: a cell block with a couple of two-bed
// cells lifts the prison to level 1 (the large block), about nine such
// cells to level 3 (the secure block).
// A placed room costs its whole price again every day, a building a
// hundredth of its price, the administration 2500 each morning, and a
// prisoner pays (security level + 1) x 1000 a day. So cells and the serving
// counter are cheap: a first prison of a small block, six single cells, a
// canteen and a counter must pay its way at six prisoners, and a cell of a
// higher level earns more than one of level 0 by its prisoners' pay. The
// guard room stays cheap too: it is where the escape message sends a
// player for guards.
// Every cell hires a guard, a two-bed cell as well as a single one: a
// prisoner left bored turns angry a few hours after a meal, and with no
// guard near an angry one fights: beaten prisoners turn angry in turn, and
// with no hospital to heal them the losers die within days. A guard in
// reach stops a fight before it starts; a guard strikes only an angry
// prisoner, who is above half health, so its blows alone leave him
// injured at worst. The games table is what a first prison can afford to
// calm the bored before they turn angry: a bored prisoner looks for any
// object that is neither cell, food, work nor care, and one used leaves
// him content again. Its kind word "block" fits it into every cell block,
// where the prisoners idle, without making it a cell; it hires nobody.
const Group CONTENTS[] = {
    {"CONTENTS_CELLS",
     {{"cellblocks", "cell_single", {"2", "2", "100", "1", "0", "cell", "40", "1"}},
      {"cellblocks", "cell_double", {"4", "2", "250", "2", "0", "cell", "60", "1"}},
      {"cellblocks", "cell_secure", {"2", "2", "600", "1", "3", "cell", "100", "1"}},
      // Two-bed cells for the higher security levels.
      {"cellblocks", "cell_double_medium", {"4", "2", "400", "2", "1", "cell", "60", "1"}},
      {"cellblocks", "cell_double_high", {"4", "2", "600", "2", "2", "cell", "80", "1"}},
      {"cellblocks", "cell_double_max", {"4", "2", "800", "2", "3", "cell", "100", "1"}},
      {"cellblocks", "games_table", {"4", "2", "300", "4", "0", "block", "20", "0"}}}},
    {"CONTENTS_FOOD",
     {{"canteens", "serving_counter", {"4", "2", "200", "4", "0", "food", "40", "1"}},
      {"canteens", "dining_table", {"4", "2", "400", "4", "0", "food", "20", "0"}},
      {"canteens", "bench", {"2", "2", "150", "2", "0", "food", "20", "0"}}}},
    {"CONTENTS_WORK",
     {{"workshops", "work_bench", {"4", "2", "1500", "2", "0", "work", "40", "1"}},
      {"workshops", "laundry_press", {"2", "2", "2200", "1", "1", "work", "60", "1"}},
      {"workshops", "maint_repair_room", {"4", "4", "4000", "1", "0", "maint", "40", "1"}}}},
    {"CONTENTS_HEALTH",
     {{"hospitals", "sick_bed", {"2", "4", "1200", "1", "0", "health", "40", "1"}},
      {"hospitals", "therapy_room", {"4", "4", "5000", "2", "1", "health", "80", "1"}},
      {"hospitals", "medical_room", {"4", "4", "6000", "1", "0", "health", "60", "1"}},
      {"hospitals", "counselling_room", {"4", "4", "5000", "1", "0", "therapy", "60", "1"}}}},
    {"CONTENTS_ADMIN",
     {{"admin", "planning1", {"4", "4", "8000", "0", "0", "staff", "100", "1"}},
      {"admin", "planning2", {"4", "4", "16000", "0", "1", "staff", "160", "1"}},
      {"admin", "clerical1", {"4", "4", "6000", "0", "0", "staff", "80", "1"}},
      {"admin", "execution_room", {"4", "4", "30000", "0", "2", "staff", "0", "1"}},
      {"admin", "guard_room", {"4", "4", "800", "0", "0", "security", "40", "2"}},
      {"admin", "chapel", {"4", "4", "5000", "1", "0", "indoor", "60", "1"}}}},
};

// People: model, then the staff kind word.
const Group STAFF[] = {
    {"STAFF_SECURITY",
     {{"staff", "guard1", {"security"}},
      {"staff", "guard2", {"security"}},
      {"staff", "guard3", {"security"}},
      {"staff", "guard_female", {"security"}}}},
    {"STAFF_MEDICAL", {{"staff", "doctor", {"medical"}}}},
    {"STAFF_SUPPORT", {{"staff", "chaplain", {"support"}}, {"staff", "counsellor", {"support"}}}},
    {"STAFF_MAINTENANCE", {{"staff", "maint_worker", {"maintenance"}}}},
};

const Group CRIMINALS = {
    "CRIMINALS",
    {{"criminals", "thug", {}}, {"criminals", "old_lag", {}}, {"criminals", "con_female", {}}}};

const Group ARRIVALS = {"ARRIVALS", {{"arrivals", "spawn_van", {}}, {"arrivals", "protesters", {}}}};

const char* const MALE_NAMES[] = {"Abel",   "Bram",  "Corin", "Dace",  "Elric", "Fenn",  "Gorton",
                                  "Hollis", "Ivo",   "Jasper", "Kellan", "Lorne", "Marek", "Niall",
                                  "Osric",  "Perrin", "Quill", "Roscoe", "Silas", "Tobin"};
const char* const FEMALE_NAMES[] = {"Alda",  "Brina",  "Cressa", "Delia", "Evadne", "Fira",   "Greta",
                                    "Hesper", "Isolde", "Jocasta", "Kira", "Lenna",  "Mirela", "Nessa",
                                    "Orla",  "Petra",  "Quenby", "Rhosyn", "Sabra", "Tamsin"};
const char* const SURNAMES[] = {"Ashdown", "Blackett", "Corrigan", "Dunmore", "Elsworth", "Fairley", "Grantham",
                                "Hollow",  "Ingram",   "Jessop",   "Kettle",  "Lindqvist", "Marlowe", "Norcott",
                                "Oakes",   "Pennick",  "Quarry",   "Redfern", "Stanwick", "Thorne"};

// The staff and visitor posts a room's model marks: one "Staff_Root" node
// each, whose text names the head picture and so the post's kind.
struct Posts
{
    const char* pcName;
    std::initializer_list<const char*> kTexts;
};

const Posts ROOM_POSTS[] = {
    {"admin_staff_security_indoor", {"security", "support", "visitor"}},
    {"hospital_health_therapy", {"support"}},
    {"execution_room", {"security", "security_female"}},
};

// A small picture of one colour, a head image or a post's head texture.
bool WriteHeadPicture(const std::string& kPath, int iShade)
{
    std::vector<std::uint8_t> kPixels(4 * 4 * 3);
    for (std::size_t i = 0; i < kPixels.size(); i += 3)
    {
        kPixels[i] = static_cast<std::uint8_t>(40 * iShade);
        kPixels[i + 1] = 160;
        kPixels[i + 2] = static_cast<std::uint8_t>(200 - 30 * iShade);
    }
    if (WriteTga(kPath, 4, 4, 24, kPixels))
        return true;
    std::fprintf(stderr, "demo data: cannot write %s\n", kPath.c_str());
    return false;
}

// Head variants of a person's model by kind (prisoners 5, guards 3, the
// other staff 1); 0 for anything that is not a person.
int HeadVariants(const Plan& kPlan)
{
    const std::string kKey = kPlan.pcKey;
    if (kKey == "criminals")
        return 5;
    if (kKey != "staff")
        return 0;
    return std::string(*kPlan.kParameters.begin()) == "security" ? 3 : 1;
}

// What a person wears, by kind: prisoners orange, guards navy, doctors
// white, support staff plum, maintenance workers olive.
const std::uint8_t (&ClothesColour(const Plan& kPlan))[3]
{
    static constexpr std::uint8_t PRISONER[3] = {232, 120, 40};
    static constexpr std::uint8_t KINDS[][3] = {{40, 56, 110}, {232, 232, 236}, {110, 70, 130}, {96, 112, 60}};
    static constexpr const char* WORDS[] = {"security", "medical", "support", "maintenance"};
    if (kPlan.kParameters.size() > 0)
        for (std::size_t k = 0; k < std::size(WORDS); ++k)
            if (std::string(*kPlan.kParameters.begin()) == WORDS[k])
                return KINDS[k];
    return PRISONER;
}

// The place of use of a usable object: its route node's name carries the
// animation the user plays after the first "_"; empty for other plans.
std::string PlaceName(const Plan& kPlan)
{
    if (kPlan.kParameters.size() < 8)
        return std::string();
    if (std::string(kPlan.pcName) == "bench")
        return "SP_sit";
    const std::string kKind = *(kPlan.kParameters.begin() + 5);
    if (kKind == "food")
        return "SP_pause3_eat";
    if (kKind == "work")
        return "SP_work_bench";
    if (kKind == "health")
        return "SP_pause5_rest";
    if (kKind == "cell")
        return "SP_pause6_bunk";
    return "SP_pause4_desk";
}

// A table that several play at: its places of use (its places parameter)
// beside its one door, so that a first prison's bored are calmed together.
int TableSeats(const Plan& kPlan)
{
    if (kPlan.kParameters.size() <= 5 || std::string(*(kPlan.kParameters.begin() + 5)) != "block")
        return 1;
    return std::max(1, std::atoi(*(kPlan.kParameters.begin() + 3)));
}

// A cell with two places: two bunks beside its one door.
bool IsTwoBedCell(const Plan& kPlan)
{
    return kPlan.kParameters.size() > 5 && std::string(*(kPlan.kParameters.begin() + 5)) == "cell" &&
           std::string(*(kPlan.kParameters.begin() + 3)) == "2";
}

// A usable object's footprint in cells of size 2 (width along the rows,
// depth along the columns, unturned).
bool TwoCellsEachWay(const Plan& kPlan)
{
    if (kPlan.kParameters.size() < 2)
        return false;
    return std::atoi(*kPlan.kParameters.begin()) > 2 && std::atoi(*(kPlan.kParameters.begin() + 1)) > 2;
}

// The entrance node: its place picks the access cell, one row past the
// first row and one column past the last column of the footprint (row +1,
// column +1, or column +2 for a footprint two cells each way). It lies
// outside the footprint: where the entrance has no square, its red marker
// stands at this node, and inside the footprint the held room's own look
// covered it.
NiVec3 UsableDoor(const Plan& kPlan)
{
    if (TwoCellsEachWay(kPlan))
        return NiVec3(0.5f, 0.0f, -2.5f);
    // Two cells deep, one wide: out beyond its side instead, where the
    // column offset stays the same.
    if (kPlan.kParameters.size() >= 2 && std::atoi(*(kPlan.kParameters.begin() + 1)) > 2)
        return NiVec3(1.5f, 0.0f, -0.5f);
    return NiVec3(0.5f, 0.0f, -1.5f);
}

// The centre of that access cell in the model's own frame (rows run along
// x, columns along -z, two units a cell).
NiVec3 UsableAccess(const Plan& kPlan)
{
    return TwoCellsEachWay(kPlan) ? NiVec3(2.0f, 0.0f, -4.0f) : NiVec3(2.0f, 0.0f, -2.0f);
}

// A flat square the mouse's pick meets from above, at height fY over the
// object's base: x in [fMinX, fMaxX], z in [fMinZ, fMaxZ] of the model's own
// frame (y up), facing up. It is never drawn (the models keep their look).
NiRefPtr<NiTriShape> MakePickPlate(const char* pcName, float fMinX, float fMinZ, float fMaxX, float fMaxZ,
                                   float fY = 0.0f)
{
    auto* pkVertex = new NiVec3[4]{NiVec3(fMinX, fY, fMinZ), NiVec3(fMinX, fY, fMaxZ), NiVec3(fMaxX, fY, fMaxZ),
                                   NiVec3(fMaxX, fY, fMinZ)};
    // Wound so that the face turns up: the pick meets front faces only.
    auto* pusTriangles = new std::uint16_t[6]{0, 1, 2, 0, 2, 3};
    NiRefPtr<NiTriShape> spPlate = new NiTriShape(4, pkVertex, nullptr, nullptr, nullptr, 0, 0, 2, pusTriangles);
    spPlate->SetName(pcName);
    spPlate->SetAppCulled(true);
    return spPlate;
}

// How high the upper floor lies over the ground floor.
constexpr float UPPER_FLOOR_HEIGHT = 3.0f;

// Flights of stairs from a building's ground floor to its upper floor, for
// one way out to the yard.
constexpr int STAIR_FLIGHTS = 8;

// A cell block's nodes: its two floors of 8 x 9 cells of size 2 (a map text
// each), the roof, the entrance in front with the ways in and out, and
// stairs up and down. Routes walk in four seconds. The floors reach one row
// past the front wall, so the entrance lies on the ground floor as well as
// in front of the building: the ways in and out both start there. The way
// out ends on that cell, which a placement keeps free: one a row further on
// ended inside a neighbour built one row off, where nobody can walk.
void AddCellBlockNodes(NiNode& kModel)
{
    auto Text = [&kModel](const char* pcName, const NiVec3& kAt, const char* pcText) {
        NiRefPtr<NiNode> spNode = new NiNode;
        spNode->SetName(pcName);
        spNode->SetTranslate(kAt);
        spNode->AddExtraData(new NiStringExtraData((std::string(pcText) + "\r\n").c_str()));
        kModel.AttachChild(spNode);
    };
    auto Way = [&kModel](const char* pcName, const NiVec3& kFrom, const NiVec3& kTo) {
        NiRefPtr<NiNode> spRoute = MakeDemoRoute(pcName, kFrom, kTo);
        spRoute->SetTranslate(kFrom);
        kModel.AttachChild(spRoute);
    };
    Text("floor0", NiVec3(-7.0f, 0.0f, 9.0f), "map_1_8_9_0_2");
    Text("floor1", NiVec3(-7.0f, UPPER_FLOOR_HEIGHT, 9.0f), "map_2_8_9_1_2");
    Text("roof", NiVec3(0.0f, 6.0f, 0.0f), "roof");
    Text("mark_door", NiVec3(0.0f, 0.0f, 8.5f), "door_e1");
    Way("SP_enter_e1", NiVec3(0.0f, 0.0f, 8.5f), NiVec3(1.0f, 0.0f, 5.0f));
    Way("SP_exit_e1", NiVec3(0.0f, 0.0f, 8.5f), NiVec3(0.0f, 0.0f, 9.0f));
    Text("mark_up", NiVec3(5.0f, 0.0f, -3.0f), "connector_1_2");
    // Several flights up from the ground floor, each a connector of its own:
    // someone idling inside takes a connector drawn at random, and with one
    // flight beside the way out half of those walks left the building for
    // the yard, where nobody's post stands, so that the bored gathered
    // there and turned angry with no guard in reach.
    for (int i = 0; i < STAIR_FLIGHTS; ++i)
    {
        const std::string kName = "path_1_2_" + std::to_string(i);
        Way(kName.c_str(), NiVec3(5.0f, 0.0f, -3.0f), NiVec3(5.0f, 3.0f, -5.0f));
    }
    Text("mark_down", NiVec3(3.0f, 3.0f, -3.0f), "connector_2_1");
    Way("path_2_1", NiVec3(3.0f, 3.0f, -3.0f), NiVec3(3.0f, 0.0f, -5.0f));
}

// How high a building's walls stand: low. The mouse takes the first object
// whose shape the pointer's ray meets in the world's order, so a higher wall
// of a building built earlier takes clicks aimed past it at a building
// behind it, seen from the usual view.
constexpr float WALL_HEIGHT = 0.3f;
// The building's floor, drawn over the game's floor display at height 0
// and under its posts' squares (the nearest of a building's shapes names
// what a click finds in it). Far enough over the display that the depth
// buffer tells the two apart from as high and as far as the camera goes
// (a twentieth of a unit is some three of its steps 250 units away):
// nearer, the display wins here and there by chance and the floor, and all
// that stands on it, show striped with the yard's grey. As far under the
// squares the placement lays a tenth of a unit over a floor: at that very
// height the floor took a held room's squares on some cells and not on
// others. Still low enough that a ray aimed at the ground past the building
// meets it only a hair behind its edge.
constexpr float PLACEMENT_SQUARE_LIFT = 0.1f;
constexpr float SLAB_TOP = 0.05f;
constexpr float SLAB_BOTTOM = -0.05f;
static_assert(SLAB_TOP < DEMO_POST_LIFT && SLAB_TOP + 0.04f < PLACEMENT_SQUARE_LIFT);
constexpr float WALL_THICKNESS = 0.3f;
// Half the width of the gap the entrance leaves in the front wall.
constexpr float ENTRANCE_HALF = 2.0f;
// A room's tile lies above the building's drawn floor, as far again as the
// floor over the display (for the depth buffer's sake), and under a post's
// square, so that a post stays the nearer thing to the mouse.
constexpr float TILE_BOTTOM = 0.12f;
constexpr float TILE_TOP = 0.2f;
static_assert(SLAB_TOP < TILE_BOTTOM && TILE_TOP < DEMO_POST_LIFT);
static_assert(std::size(BUILDINGS) == 6 && std::size(CONTENTS) == 5);

// Colours by building kind (cell block, workshop, canteen, hospital,
// administration) and by inside category (cells, food, work, health,
// administration): each is told apart at a glance, and from the yard's grey.
// The walls carry the kind's colour; the floors, and the rooms on them, are
// what the held room's red or green marker lies over, so none of them leans
// to red or to green: a red-brown floor swallowed the red, a green one the
// green.
constexpr std::uint8_t BUILDING_COLOURS[5][3] = {
    {184, 92, 64}, {204, 152, 60}, {96, 160, 92}, {236, 236, 240}, {84, 116, 180}};
constexpr std::uint8_t FLOOR_COLOURS[5][3] = {
    {92, 100, 120}, {120, 116, 128}, {136, 140, 156}, {177, 177, 180}, {63, 87, 135}};
constexpr std::uint8_t ROOM_COLOURS[5][3] = {
    {112, 128, 170}, {220, 190, 120}, {150, 150, 164}, {170, 214, 210}, {176, 120, 156}};
constexpr std::uint8_t BUNK_COLOUR[3] = {110, 80, 60};

// The group a plan belongs to among the groups; -1 when none holds it.
template <std::size_t N> int GroupOf(const Plan& kPlan, const Group (&akGroups)[N])
{
    for (std::size_t g = 0; g < N; ++g)
        for (const Plan& kOther : akGroups[g].kPlans)
            if (&kOther == &kPlan)
                return static_cast<int>(g);
    return -1;
}

// A building's floor and walls round its 16 x 16 footprint (x, z in
// [-8, 8], y up), the front wall (z = +8) open where the entrance's ways
// start.
void AddBuildingWalls(NiNode& kModel, const std::uint8_t (&aucColour)[3], const std::uint8_t (&aucFloor)[3])
{
    constexpr float E = 8.0f;
    constexpr float I = E - WALL_THICKNESS;
    kModel.AttachChild(MakeDemoColouredBox(NiVec3(-I, SLAB_BOTTOM, -I), NiVec3(I, SLAB_TOP, I), aucFloor, "slab"));
    kModel.AttachChild(MakeDemoColouredBox(NiVec3(-E, 0, -E), NiVec3(E, WALL_HEIGHT, -I), aucColour, "wall_back"));
    kModel.AttachChild(MakeDemoColouredBox(NiVec3(-E, 0, -I), NiVec3(-I, WALL_HEIGHT, E), aucColour, "wall_left"));
    kModel.AttachChild(MakeDemoColouredBox(NiVec3(I, 0, -I), NiVec3(E, WALL_HEIGHT, E), aucColour, "wall_right"));
    kModel.AttachChild(
        MakeDemoColouredBox(NiVec3(-I, 0, I), NiVec3(-ENTRANCE_HALF, WALL_HEIGHT, E), aucColour, "wall_front_left"));
    kModel.AttachChild(
        MakeDemoColouredBox(NiVec3(ENTRANCE_HALF, 0, I), NiVec3(I, WALL_HEIGHT, E), aucColour, "wall_front_right"));
}

// The upper floor's structure, hung under its floor node (whose place is
// given), so that it shows and hides with the floor: joists along x on every
// line between the rows of cells, from wall to wall, their tops where the
// ground floor's slab has its top, and a ledge along each side wall a little
// lower, under their ends. Rooms of the upper floor stand on them; between
// them the ground floor stays in sight from above.
void AddUpperFloor(NiNode& kFloor, const NiVec3& kFloorAt, const std::uint8_t (&aucFloor)[3])
{
    constexpr float E = 8.0f;
    constexpr float I = E - WALL_THICKNESS;
    constexpr float JOIST = 0.4f;
    constexpr float DEPTH = 0.25f;
    constexpr float LEDGE_DROP = 0.05f;
    const NiVec3 kShift(-kFloorAt.x, 0.0f, -kFloorAt.z);
    for (int iLine = 0; iLine <= 8; ++iLine)
    {
        const float fZ = std::clamp(-E + 2.0f * static_cast<float>(iLine), -I + 0.5f * JOIST, I - 0.5f * JOIST);
        kFloor.AttachChild(MakeDemoColouredBox(NiVec3(-I, SLAB_TOP - DEPTH, fZ - 0.5f * JOIST) + kShift,
                                               NiVec3(I, SLAB_TOP, fZ + 0.5f * JOIST) + kShift, aucFloor, "joist"));
    }
    for (const float fX : {-I, I - JOIST})
        kFloor.AttachChild(MakeDemoColouredBox(NiVec3(fX, SLAB_TOP - DEPTH - LEDGE_DROP, -I) + kShift,
                                               NiVec3(fX + JOIST, SLAB_TOP - LEDGE_DROP, I) + kShift, aucFloor, "ledge"));
}

// An inside plan's look: a rim round its footprint (width along x, depth
// along z, about the model's origin, where the placement puts the middle of
// the footprint), a little in from its edges so that neighbours part, open
// in the middle; and a two-bed cell's two bunks along its back, away from
// its door. A room held for building floats over its footprint's red or
// green square: a whole tile hid all of it but a thin edge, so the middle
// stays open and the square shows through. A plate that is never drawn
// spans the footprint at the rim's top, so that a click anywhere on the room
// finds it.
void AddRoomLook(NiNode& kModel, const Plan& kPlan, const std::uint8_t (&aucColour)[3])
{
    const float fHalfX = 0.5f * static_cast<float>(std::atoi(*kPlan.kParameters.begin()));
    const float fHalfZ = 0.5f * static_cast<float>(std::atoi(*(kPlan.kParameters.begin() + 1)));
    constexpr float INSET = 0.1f;
    constexpr float RIM = 0.35f;
    const float fX0 = -fHalfX + INSET, fX1 = fHalfX - INSET;
    const float fZ0 = -fHalfZ + INSET, fZ1 = fHalfZ - INSET;
    kModel.AttachChild(MakeDemoColouredBox(NiVec3(fX0, TILE_BOTTOM, fZ0), NiVec3(fX1, TILE_TOP, fZ0 + RIM), aucColour,
                                           "tile"));
    kModel.AttachChild(MakeDemoColouredBox(NiVec3(fX0, TILE_BOTTOM, fZ1 - RIM), NiVec3(fX1, TILE_TOP, fZ1), aucColour,
                                           "tile"));
    kModel.AttachChild(MakeDemoColouredBox(NiVec3(fX0, TILE_BOTTOM, fZ0 + RIM), NiVec3(fX0 + RIM, TILE_TOP, fZ1 - RIM),
                                           aucColour, "tile"));
    kModel.AttachChild(MakeDemoColouredBox(NiVec3(fX1 - RIM, TILE_BOTTOM, fZ0 + RIM), NiVec3(fX1, TILE_TOP, fZ1 - RIM),
                                           aucColour, "tile"));
    kModel.AttachChild(MakePickPlate("room_area", fX0, fZ0, fX1, fZ1, TILE_TOP));
    if (!IsTwoBedCell(kPlan))
        return;
    const float fBunkZ = fHalfZ - INSET;
    kModel.AttachChild(MakeDemoColouredBox(NiVec3(-fHalfX + 0.3f, TILE_TOP, fBunkZ - 0.9f),
                                           NiVec3(-0.2f, 0.6f, fBunkZ), BUNK_COLOUR, "bunk1"));
    kModel.AttachChild(MakeDemoColouredBox(NiVec3(0.2f, TILE_TOP, fBunkZ - 0.9f),
                                           NiVec3(fHalfX - 0.3f, 0.6f, fBunkZ), BUNK_COLOUR, "bunk2"));
}

// An outdoor plan's look (fence, tower, walk, wall): one grey box over its
// footprint, the tower tall.
void AddOutdoorLook(NiNode& kModel, const Plan& kPlan)
{
    static constexpr std::uint8_t GREY[3] = {128, 128, 124};
    const float fHalfX = 0.5f * static_cast<float>(std::atoi(*kPlan.kParameters.begin()));
    const float fHalfZ = 0.5f * static_cast<float>(std::atoi(*(kPlan.kParameters.begin() + 1)));
    const std::string kName = kPlan.pcName;
    const float fHeight = kName == "watchtower" ? 5.0f : kName == "wall_stretch" ? 2.0f : 1.2f;
    kModel.AttachChild(MakeDemoColouredBox(NiVec3(-fHalfX + 0.1f, 0.0f, -fHalfZ + 0.1f),
                                           NiVec3(fHalfX - 0.1f, fHeight, fHalfZ - 0.1f), GREY, "body"));
}

// A building with floors inside: a plan of the first five grounds groups.
bool HasFloors(const Plan& kPlan)
{
    for (std::size_t g = 0; g + 1 < std::size(BUILDINGS); ++g)
        for (const Plan& kBuilding : BUILDINGS[g].kPlans)
            if (&kBuilding == &kPlan)
                return true;
    return false;
}

std::string ModelPath(const Plan& kPlan)
{
    return std::string("prison1/") + kPlan.pcKey + "/" + kPlan.pcName + ".nif";
}

// Each prison has an arrival vehicle of its own: the first prison's is its
// plan's model, the others' lie in their own prison's folder.
std::string VanPath(const Plan& kPlan, int iPrison)
{
    if (iPrison <= 1)
        return ModelPath(kPlan);
    return "prison" + std::to_string(iPrison) + "/" + kPlan.pcKey + "/" + kPlan.pcName + ".nif";
}

bool IsVan(const Plan& kPlan)
{
    return std::string(kPlan.pcName) == "spawn_van";
}

// A group under the cursor: its tag, "plans", one child per plan holding
// the model path and the parameters. The cursor comes back.
bool AddGroup(COrvaneTagTree& kTree, const Group& kGroup, bool bThumbnails = false, int iPrison = 1)
{
    const std::string kTag = std::string("<") + kGroup.pcTag + ">";
    if (!kTree.AddChild(kGroup.pcTag) || !kTree.FindChild(kTag.c_str()) || !kTree.AddChild("plans") ||
        !kTree.FindChild("<plans>"))
        return false;
    for (const Plan& kPlan : kGroup.kPlans)
    {
        const std::string kPlanTag = std::string("<") + kPlan.pcName + ">";
        if (!kTree.AddChild(kPlan.pcName))
            return false;
        // The newest child is the last one: walk to it (names may share a
        // beginning).
        kTree.FindChild(nullptr);
        while (kTree.NextSibling(nullptr))
        {
        }
        // Node names keep their line end.
        if (kTree.GetCursor()->GetName().rfind(kPlanTag, 0) != 0)
            return false;
        kTree.AddValue(IsVan(kPlan) ? VanPath(kPlan, iPrison) : ModelPath(kPlan));
        for (const char* pcValue : kPlan.kParameters)
            kTree.AddValue(pcValue);
        // The build menu's picture of the plan.
        if (bThumbnails)
        {
            if (!kTree.AddChild("thumbnail") || !kTree.FindChild("<thumbnail>"))
                return false;
            kTree.AddValue(DemoThumbnailPath(kPlan.pcKey, kPlan.pcName));
            kTree.SelectParent();
        }
        kTree.SelectParent();
    }
    kTree.SelectParent();
    kTree.SelectParent();
    return true;
}

// A container under the cursor with a "panel" child (the menu's category
// row and page layouts) and then its groups, one menu category each.
template <std::size_t N>
bool AddContainer(COrvaneTagTree& kTree, const char* pcName, const char* pcIconRow, const Group (&akGroups)[N])
{
    const std::string kTag = std::string("<") + pcName + ">";
    if (!kTree.AddChild(pcName) || !kTree.FindChild(kTag.c_str()) || !kTree.AddChild("panel") ||
        !kTree.FindChild("<panel>"))
        return false;
    kTree.AddValue(pcIconRow);
    kTree.AddValue("images/panels/build/page.tga");
    kTree.SelectParent();
    for (const Group& kGroup : akGroups)
        if (!AddGroup(kTree, kGroup, true))
            return false;
    kTree.SelectParent();
    return true;
}

template <std::size_t N> bool AddNames(COrvaneTagTree& kTree, const char* pcSection, const char* const (&apcNames)[N])
{
    const std::string kTag = std::string("<") + pcSection + ">";
    if (!kTree.SelectSection("root", true) || !kTree.AddChild(pcSection) || !kTree.SelectSection(kTag.c_str(), true))
        return false;
    for (const char* pcName : apcNames)
        kTree.AddValue(pcName);
    return true;
}

template <typename F> bool ForEachPlan(F&& fnVisit)
{
    for (const Group& kGroup : BUILDINGS)
        for (const Plan& kPlan : kGroup.kPlans)
            if (!fnVisit(kPlan))
                return false;
    for (const Group& kGroup : CONTENTS)
        for (const Plan& kPlan : kGroup.kPlans)
            if (!fnVisit(kPlan))
                return false;
    for (const Group& kGroup : STAFF)
        for (const Plan& kPlan : kGroup.kPlans)
            if (!fnVisit(kPlan))
                return false;
    for (const Group* pkGroup : {&CRIMINALS, &ARRIVALS})
        for (const Plan& kPlan : pkGroup->kPlans)
            if (!fnVisit(kPlan))
                return false;
    return true;
}

// The background colour a prison's level clears to, channel by channel
// under "FOG" / "plans".
bool AddFog(COrvaneTagTree& kTree, int iPrison)
{
    if (!kTree.AddChild("FOG") || !kTree.FindChild("<FOG>") || !kTree.AddChild("plans") || !kTree.FindChild("<plans>"))
        return false;
    const int aiChannels[] = {40 + 10 * iPrison, 56, 80 - 10 * iPrison, 255};
    const char* const apcNames[] = {"R", "G", "B", "A"};
    for (std::size_t i = 0; i < 4; ++i)
    {
        const std::string kTag = std::string("<") + apcNames[i] + ">";
        if (!kTree.AddChild(apcNames[i]) || !kTree.FindChild(kTag.c_str()))
            return false;
        kTree.AddValue(std::to_string(aiChannels[i]));
        kTree.SelectParent();
    }
    kTree.SelectParent();
    kTree.SelectParent();
    return true;
}

bool AddPrison(COrvaneTagTree& kTree, int iPrison)
{
    const std::string kName = "PRISON" + std::to_string(iPrison);
    bool bOk = kTree.SelectSection("<TEMPLATES>", true) || (kTree.SelectSection("root", true) &&
                                                            kTree.AddChild("TEMPLATES") &&
                                                            kTree.SelectSection("<TEMPLATES>", true));
    bOk = bOk && kTree.AddChild(kName.c_str()) && kTree.FindChild(("<" + kName + ">").c_str()) && AddFog(kTree, iPrison);
    bOk = bOk && kTree.AddChild("BUILD_OBJECTS") && kTree.FindChild("<BUILD_OBJECTS>") &&
          AddContainer(kTree, "BUILDINGS", "images/panels/build/icons_ext.tga", BUILDINGS) &&
          AddContainer(kTree, "CONTENTS", "images/panels/build/icons_int.tga", CONTENTS) &&
          kTree.SelectParent();
    bOk = bOk && kTree.AddChild("STAFF") && kTree.FindChild("<STAFF>");
    for (const Group& kGroup : STAFF)
        bOk = bOk && AddGroup(kTree, kGroup);
    return bOk && kTree.SelectParent() && AddGroup(kTree, CRIMINALS) &&
           AddGroup(kTree, ARRIVALS, false, iPrison);
}
} // namespace

bool AddDemoPrison(const std::string& kDataPath)
{
    COrvaneTagTree kTree;
    if (!kTree.Load(kDataPath.c_str()))
        return false;
    bool bOk = true;
    for (int iPrison = 1; iPrison <= DEMO_PRISON_COUNT; ++iPrison)
        bOk = bOk && AddPrison(kTree, iPrison);
    bOk = bOk && AddNames(kTree, "MALE_NAMES", MALE_NAMES) && AddNames(kTree, "FEMALE_NAMES", FEMALE_NAMES) &&
          AddNames(kTree, "SURNAMES", SURNAMES);
    if (!bOk || !kTree.Save(kDataPath.c_str()))
    {
        std::fprintf(stderr, "demo data: cannot write the prison of %s\n", kDataPath.c_str());
        return false;
    }
    return true;
}

std::vector<DemoFloorColour> DemoFloorColours()
{
    std::vector<DemoFloorColour> kColours;
    for (const auto& aucColour : FLOOR_COLOURS)
        kColours.push_back({aucColour[0], aucColour[1], aucColour[2]});
    for (const auto& aucColour : ROOM_COLOURS)
        kColours.push_back({aucColour[0], aucColour[1], aucColour[2]});
    return kColours;
}

std::vector<DemoBuildPlan> DemoBuildPlans()
{
    std::vector<DemoBuildPlan> kPlans;
    for (const Group* pkGroups : {&BUILDINGS[0], &CONTENTS[0]})
    {
        const bool bBuildings = pkGroups == &BUILDINGS[0];
        const std::size_t uiCount = bBuildings ? std::size(BUILDINGS) : std::size(CONTENTS);
        for (std::size_t g = 0; g < uiCount; ++g)
        {
            // "BUILDINGS_CELLBLOCKS" -> "BUILDINGSCELLBLOCKS".
            std::string kList = pkGroups[g].pcTag;
            kList.erase(kList.find('_'), 1);
            for (const Plan& kPlan : pkGroups[g].kPlans)
                kPlans.push_back({kPlan.pcKey, kPlan.pcName, kList, bBuildings,
                                  kPlan.kParameters.size() >= 2 ? std::atoi(*kPlan.kParameters.begin()) : 0,
                                  kPlan.kParameters.size() >= 2 ? std::atoi(*(kPlan.kParameters.begin() + 1)) : 0});
        }
    }
    return kPlans;
}

namespace
{
// What the staff a room plan hires cost on the day it is built: the game
// picks whom a room hires by its kind word, its name (its model's path) and
// its level, as the staff group and the model in it; each is booked his
// wage as he is hired and again as he arrives.
int HiredStaffCost(const Plan& kPlan)
{
    // Rooms: width, depth, price, places, level, kind word, score, staff.
    if (kPlan.kParameters.size() < 8)
        return 0;
    const auto* ppcParameter = kPlan.kParameters.begin();
    const int iStaff = std::atoi(ppcParameter[7]);
    const auto usLevel = static_cast<std::uint16_t>(std::atoi(ppcParameter[4]));
    const CSpawnManager::StaffChoice kChoice = CSpawnManager::ChooseStaff(ppcParameter[5], ModelPath(kPlan), usLevel);
    if (iStaff <= 0 || kChoice.uiGroup >= std::size(STAFF) || kChoice.uiModel >= STAFF[kChoice.uiGroup].kPlans.size())
        return 0;
    const Plan& kHired = STAFF[kChoice.uiGroup].kPlans.begin()[kChoice.uiModel];
    const std::uint16_t usWage = CAIStaff::WageOf(kChoice.pcFactory, ModelPath(kHired).c_str());
    return iStaff * CAIStaff::CostOnHiringDay(usWage);
}

// What the posts a plan's model marks cost on the day it is built, by the
// head texture path the game makes of each post's text.
int PostsCost(const Plan& kPlan)
{
    const std::string kModel = ModelPath(kPlan);
    const std::string kFolder = kModel.substr(0, kModel.rfind('/') + 1);
    int iCost = 0;
    for (const Posts& kPosts : ROOM_POSTS)
        if (kPlan.pcName == std::string(kPosts.pcName))
            for (const char* pcText : kPosts.kTexts)
                iCost += CStaffPost::CostOnPlacingDay(kFolder + pcText + ".tga");
    return iCost;
}
} // namespace

int DemoStaffCostOnBuildDay(const std::string& kName)
{
    const auto Cost = [&kName](const auto& akGroups) {
        for (const Group& kGroup : akGroups)
            for (const Plan& kPlan : kGroup.kPlans)
                if (kName == kPlan.pcName)
                    return HiredStaffCost(kPlan) + PostsCost(kPlan);
        return -1;
    };
    const int iBuilding = Cost(BUILDINGS);
    return iBuilding >= 0 ? iBuilding : std::max(Cost(CONTENTS), 0);
}

std::vector<std::string> DemoPrisonModels()
{
    std::vector<std::string> kPaths;
    (void)ForEachPlan([&kPaths](const Plan& kPlan) {
        kPaths.push_back(ModelPath(kPlan));
        return true;
    });
    return kPaths;
}

bool WriteDemoPrisonModels(const std::string& kFolder)
{
    // The plate under a building while it is laid out.
    std::vector<std::uint8_t> kGround(16 * 16 * 3);
    for (std::size_t i = 0; i < kGround.size(); i += 3)
    {
        kGround[i] = 200;
        kGround[i + 1] = 120;
        kGround[i + 2] = 60;
    }
    if (!os::CreateFolderTree(kFolder + "/images/panels/build") ||
        !WriteTga(kFolder + "/images/panels/build/ground.tga", 16, 16, 24, kGround))
    {
        std::fprintf(stderr, "demo data: cannot write the building ground plate under %s\n", kFolder.c_str());
        return false;
    }
    return ForEachPlan([&kFolder](const Plan& kPlan) {
        const std::string kDirectory = kFolder + "/prison1/" + kPlan.pcKey;
        if (!os::CreateFolderTree(kDirectory))
        {
            std::fprintf(stderr, "demo data: cannot make the folder %s\n", kDirectory.c_str());
            return false;
        }
        // People are animated skeletons with their head and body variants,
        // and "head_1".."head_n" pictures beside them (a folder holds as
        // many as its person with the most heads).
        if (const int iHeads = HeadVariants(kPlan); iHeads > 0)
        {
            for (int i = 1; i <= iHeads; ++i)
                if (!WriteHeadPicture(kDirectory + "/head_" + std::to_string(i) + ".tga", i))
                    return false;
            const bool bPrisoner = std::string(kPlan.pcKey) == "criminals";
            return WriteDemoPerson(kFolder + "/" + ModelPath(kPlan), iHeads, bPrisoner ? 2 : 0,
                                   ClothesColour(kPlan));
        }
        if (IsVan(kPlan))
        {
            static_assert(DEMO_LEVEL_COUNT == DEMO_PRISON_COUNT);
            for (int iPrison = 1; iPrison <= DEMO_PRISON_COUNT; ++iPrison)
            {
                const std::string kPath = kFolder + "/" + VanPath(kPlan, iPrison);
                const DemoLevel& kLevel = DEMO_LEVELS[iPrison - 1];
                // The first prison's vehicle drives in to the scene's
                // origin, from where its camera looks east across the
                // level to the prison; the others' drive along their
                // level's arrival road into the yard.
                const NiVec3 kFrom = iPrison == 1 ? NiVec3(-12.0f, 0.0f, 0.0f) : DemoRoadStart(kLevel);
                const NiVec3 kTo = iPrison == 1 ? NiVec3(0.0f, 0.0f, 0.0f) : DemoRoadEnd(kLevel);
                if (!os::CreateFolderTree(kPath.substr(0, kPath.rfind('/'))) || !WriteDemoVehicle(kPath, kFrom, kTo))
                    return false;
            }
            return true;
        }
        NiRefPtr<NiNode> spRoot = new NiNode;
        spRoot->SetName("Scene Root");
        NiRefPtr<NiNode> spModel = new NiNode;
        spModel->SetName(kPlan.pcName);
        spRoot->AttachChild(spModel);
        for (const Posts& kPosts : ROOM_POSTS)
        {
            if (std::string(kPosts.pcName) != kPlan.pcName)
                continue;
            int iPost = 0;
            for (const char* pcText : kPosts.kTexts)
            {
                // The post's head texture beside the room's model.
                if (!WriteHeadPicture(kDirectory + "/" + pcText + ".tga", iPost + 1))
                    return false;
                NiRefPtr<NiNode> spPost = new NiNode;
                spPost->SetName(("Staff_Root0" + std::to_string(++iPost)).c_str());
                spPost->AddExtraData(new NiStringExtraData((std::string(pcText) + "\r\n").c_str()));
                // The post's place on the floor, where a click finds it: a
                // building's posts side by side near its front, a room's
                // on its first cells. A little above the floor: of one
                // object's shapes under the cursor the nearest names what a
                // click finds, and a post must be nearer than its floor.
                const float fX = HasFloors(kPlan) ? 4.0f * static_cast<float>(iPost) - 8.0f
                                                  : 2.0f * static_cast<float>(iPost) - 2.0f;
                const float fZ = HasFloors(kPlan) ? 4.0f : 0.0f;
                spPost->AttachChild(
                    MakePickPlate("post_area", fX - 1.0f, fZ - 1.0f, fX + 1.0f, fZ + 1.0f, DEMO_POST_LIFT));
                spModel->AttachChild(spPost);
            }
        }
        if (HasFloors(kPlan))
        {
            AddCellBlockNodes(*spModel);
            // The building's ground under its walls, so that a click on it
            // enters it. Below its own posts, and after them in the model's
            // order (of two things met at one distance the first wins).
            spModel->AttachChild(MakePickPlate("building_area", -8.0f, -8.0f, 8.0f, 8.0f));
            // Its walls come after the plates: drawn, and part of the same
            // building to a click.
            const int iKind = GroupOf(kPlan, BUILDINGS);
            AddBuildingWalls(*spModel, BUILDING_COLOURS[iKind], FLOOR_COLOURS[iKind]);
            if (auto* pkUpper = NiDynamicCast<NiNode>(spModel->GetObjectByName("floor1")))
                AddUpperFloor(*pkUpper, pkUpper->GetTranslate(), FLOOR_COLOURS[iKind]);
        }
        else if (GroupOf(kPlan, BUILDINGS) >= 0)
        {
            AddOutdoorLook(*spModel, kPlan);
        }
        // Usable objects: an entrance and one place of use beside it, the
        // walk in along its route. The route starts on the entrance's access
        // cell, outside the footprint, so that the walk out ends where the
        // user can walk on.
        const NiVec3 kDoor = UsableDoor(kPlan);
        const NiVec3 kAccess = UsableAccess(kPlan);
        if (IsTwoBedCell(kPlan))
        {
            // Two bunks beside the one door.
            NiRefPtr<NiNode> spDoor = new NiNode;
            spDoor->SetName("door01");
            spDoor->SetTranslate(kDoor);
            spModel->AttachChild(spDoor);
            for (const char* pcBunk : {"SP_sleep1", "SP_sleep2"})
            {
                NiRefPtr<NiNode> spPlace = MakeDemoRoute(pcBunk, kAccess, NiVec3(0.5f, 0.0f, 0.5f));
                spPlace->SetTranslate(kDoor);
                spModel->AttachChild(spPlace);
            }
        }
        else if (const std::string kPlace = PlaceName(kPlan); !kPlace.empty())
        {
            NiRefPtr<NiNode> spDoor = new NiNode;
            spDoor->SetName("door01");
            spDoor->SetTranslate(kDoor);
            spModel->AttachChild(spDoor);
            for (int i = TableSeats(kPlan); i > 0; --i)
            {
                NiRefPtr<NiNode> spPlace = MakeDemoRoute(kPlace.c_str(), kAccess, NiVec3(0.5f, 0.0f, 0.5f));
                spPlace->SetTranslate(kDoor);
                spModel->AttachChild(spPlace);
            }
        }
        if (const int iCategory = GroupOf(kPlan, CONTENTS); iCategory >= 0)
            AddRoomLook(*spModel, kPlan, ROOM_COLOURS[iCategory]);
        NiObjectStream kStream;
        kStream.InsertTopObject(spRoot);
        const std::string kPath = kFolder + "/" + ModelPath(kPlan);
        if (!kStream.SaveFile(kPath.c_str()))
        {
            std::fprintf(stderr, "demo data: cannot write %s\n", kPath.c_str());
            return false;
        }
        return true;
    });
}
