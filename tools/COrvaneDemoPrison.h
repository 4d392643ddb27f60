#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The prisons of the location screen's three levels.
inline constexpr int DEMO_PRISON_COUNT = 3;

// How far a post's undrawn square lies above the floor of its model: of
// one object's shapes under the cursor the nearest names what a click
// finds, and a post must come before the floor it stands on.
inline constexpr float DEMO_POST_LIFT = 0.25f;

// The demo prisons: the "PRISON1".."PRISON3" nodes under "TEMPLATES" of the
// document at the path (alike but for the background colour under "FOG"), holding the build menu's building and contents categories, the
// four staff groups, the criminals and the arrivals group, each a template
// group with its "plans"; and the first-name and surname lists
// ("MALE_NAMES", "FEMALE_NAMES", "SURNAMES").
[[nodiscard]] bool AddDemoPrison(const std::string& kDataPath);

// The templates' models under the folder ("prison1/<key>/<name>.nif"): a
// "Scene Root" over the model node, written with the engine's scene-file
// writer. Rooms with staff or visitor posts carry one "Staff_Root" node per
// post, its text naming the post's kind ("security", "support",
// "visitor"). The second and third prisons' arrival vehicles drive along
// their own level's arrival road.
[[nodiscard]] bool WriteDemoPrisonModels(const std::string& kFolder);

// One plan of the build menu: its model's key folder and name, the
// category it is listed under ("BUILDINGSCELLBLOCKS", "CONTENTSFOOD", ...)
// and whether it stands on the grounds.
struct DemoBuildPlan
{
    std::string m_kKey;
    std::string m_kName;
    std::string m_kCategory;
    bool m_bGrounds = false;
    // The footprint in world units: along x, then along z, unturned.
    int m_iWidth = 0;
    int m_iDepth = 0;
};
// A surface colour (red, green, blue) of the demo models.
struct DemoFloorColour
{
    std::uint8_t m_ucRed, m_ucGreen, m_ucBlue;
};
// What a building's placement marker can lie over inside the prison: each
// building kind's floor, then each room kind's tile.
[[nodiscard]] std::vector<DemoFloorColour> DemoFloorColours();

// The grounds plans, then the inside plans, in menu order.
[[nodiscard]] std::vector<DemoBuildPlan> DemoBuildPlans();

// What the staff a plan brings cost on the day it is built, besides its
// price: the wages of those its room hires and of the posts its model
// marks, as the game books them on that day; 0 for a plan that employs
// nobody.
[[nodiscard]] int DemoStaffCostOnBuildDay(const std::string& kName);

// Every model path the first prison's templates name, in the document's
// order. The other prisons name the same but for their arrival vehicle,
// "prison<n>/arrivals/spawn_van.nif".
[[nodiscard]] std::vector<std::string> DemoPrisonModels();
