#include "tools/COrvaneDemoLevel.h"

#include "engine/animation/NiAnimKeyTables.h"
#include "engine/animation/NiTransformController.h"
#include "engine/animation/NiTransformData.h"
#include "engine/animation/NiTransformInterpolator.h"
#include "engine/core/NiObjectStream.h"
#include "engine/scene/NiLight.h"
#include "engine/scene/NiMaterialProperty.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiStringExtraData.h"
#include "engine/scene/NiSwitchNode.h"
#include "engine/scene/NiTexturingProperty.h"
#include "engine/scene/NiTriShape.h"
#include "engine/shaders/framework/NiShader.h"
#include "platform/os/OsFiles.h"
#include "tools/COrvaneDemoScene.h"
#include "tools/COrvaneDemoEffect.h"
#include "tools/COrvaneDemoImage.h"
#include "tools/COrvaneDemoShader.h"
#include "tools/COrvaneDemoShapes.h"
#include "tools/COrvaneTgaWriter.h"

#include <cmath>
#include <cstdio>
#include <vector>

namespace
{
constexpr std::uint16_t SKY_SIZE = 16;

// How far the drawn land lies under the yard and the field: the game lays
// a floor display over each at their height, which land at that height
// would meet in the depth buffer and stripe.
constexpr float GROUND_DROP = 0.15f;

NiRefPtr<NiNode> Named(const char* pcName)
{
    NiRefPtr<NiNode> sp = new NiNode;
    sp->SetName(pcName);
    return sp;
}

NiRefPtr<NiNode> Placeholder(const char* pcName, const char* pcText, const NiVec3& kAt)
{
    NiRefPtr<NiNode> sp = Named(pcName);
    auto* pkText = new NiStringExtraData(pcText);
    pkText->SetName("UserPropBuffer");
    sp->AddExtraData(pkText);
    sp->SetTranslate(kAt);
    return sp;
}

// Points of the level's file (Z up) given about the prison's middle.
NiVec3 InFile(const DemoLevel& kLevel, float fX, float fY, float fZ)
{
    return NiVec3(kLevel.m_fPrisonX + fX, fY - kLevel.m_fPrisonZ, fZ);
}

// Places the game reads as they stand (Y up, as the game's world), given
// about the prison's middle.
NiVec3 InWorld(const DemoLevel& kLevel, float fX, float fY, float fZ)
{
    return NiVec3(kLevel.m_fPrisonX + fX, fY, kLevel.m_fPrisonZ + fZ);
}

NiRefPtr<NiNode> Route(const char* pcName, const NiVec3& kFrom, const NiVec3& kTo)
{
    return MakeDemoRoute(pcName, kFrom, kTo);
}

// The stand's colour: a weathered stone, darker than the sand on it.
constexpr std::uint8_t STAND_COLOUR[3] = {124, 112, 100};
// How far the stand reaches past the sand on every side.
constexpr float STAND_MARGIN = 0.75f;
// The stand's foot lies under the land, so its sides meet no ground face.
constexpr float STAND_FOOT = -0.4f;

// The sign on the showcase's sand, in the sand's own units (the showcase's
// scale makes them larger): a board on two legs south of the bars, turned to
// the start view, its foot sunk into the sand. The word is understood in
// each of the game's languages.
constexpr float SIGN_X = -1.0f, SIGN_Y = -4.3f;
constexpr float SIGN_HALF_WIDTH = 1.3f, SIGN_BOTTOM = 0.3f, SIGN_TOP = 1.6f;
constexpr float SIGN_FOOT = -0.05f;
constexpr const char* SIGN_WORD = "DEMO";
constexpr std::uint8_t SIGN_WOOD[3] = {96, 72, 52};

// The board's face: its picture upright to one who looks along +x (whose
// right is -y), at x = 0.
NiTriShape* MakeSignFace()
{
    constexpr float W = SIGN_HALF_WIDTH, B = SIGN_BOTTOM, T = SIGN_TOP;
    auto* pkVerts = new NiVec3[4]{{0, -W, B}, {0, -W, T}, {0, W, T}, {0, W, B}};
    auto* pkNormals = new NiVec3[4]{{-1, 0, 0}, {-1, 0, 0}, {-1, 0, 0}, {-1, 0, 0}};
    auto* pkUV = new NiVec2[4]{{1, 1}, {1, 0}, {0, 0}, {0, 1}};
    auto* pusTris = new std::uint16_t[6]{0, 1, 2, 0, 2, 3};
    auto* pkFace = new NiTriShape(4, pkVerts, pkNormals, nullptr, pkUV, 1, 0, 2, pusTris);
    pkFace->SetName("sign_face");
    pkFace->AttachProperty(new NiTexturingProperty(DEMO_SHOWCASE_SIGN_IMAGE));
    auto* pkMaterial = new NiMaterialProperty;
    pkMaterial->SetEmittance(NiColorRGB{0.5f, 0.5f, 0.5f});
    pkFace->AttachProperty(pkMaterial);
    return pkFace;
}

// The sign, turned so that its face looks at the start view. The face, its
// board behind it and the legs inside the board lie apart by more than the
// depth buffer tells apart there.
NiRefPtr<NiNode> MakeSign(const DemoLevel& kLevel)
{
    NiRefPtr<NiNode> spSign = Named(DEMO_SHOWCASE_SIGN);
    spSign->SetTranslate(NiVec3(SIGN_X, SIGN_Y, 0.0f));
    // Towards the view in the level's file, whose y runs against the game's z.
    NiVec3 kToView(kLevel.m_fViewX - kLevel.m_fPrisonX, kLevel.m_fPrisonZ - kLevel.m_fViewZ, 0.0f);
    const float fLength = std::sqrt(kToView.x * kToView.x + kToView.y * kToView.y);
    if (fLength > 0.0f)
        kToView = kToView * (1.0f / fLength);
    else
        kToView = NiVec3(-1.0f, 0.0f, 0.0f);
    // The face's -x goes towards the view.
    NiMatrix3x3 kTurn;
    kTurn.SetColumns(NiVec3(-kToView.x, -kToView.y, 0.0f), NiVec3(kToView.y, -kToView.x, 0.0f), NiVec3(0, 0, 1));
    spSign->SetRotate(kTurn);
    spSign->AttachChild(MakeSignFace());
    constexpr float W = SIGN_HALF_WIDTH;
    spSign->AttachChild(MakeDemoColouredBox(NiVec3(0.03f, -W - 0.05f, SIGN_BOTTOM - 0.05f),
                                            NiVec3(0.1f, W + 0.05f, SIGN_TOP + 0.05f), SIGN_WOOD, "sign_board"));
    for (const float fY : {-0.7f * W, 0.7f * W})
        spSign->AttachChild(MakeDemoColouredBox(NiVec3(0.045f, fY - 0.05f, SIGN_FOOT),
                                                NiVec3(0.085f, fY + 0.05f, SIGN_BOTTOM + 0.2f), SIGN_WOOD, "sign_leg"));
    return spSign;
}
} // namespace

NiVec3 DemoShowcasePlace(const DemoLevel& kLevel)
{
    float fX = kLevel.m_fViewX - kLevel.m_fPrisonX;
    float fZ = kLevel.m_fViewZ - kLevel.m_fPrisonZ;
    const float fLength = std::sqrt(fX * fX + fZ * fZ);
    if (fLength > 0.0f)
    {
        fX *= DEMO_SHOWCASE_DISTANCE / fLength;
        fZ *= DEMO_SHOWCASE_DISTANCE / fLength;
    }
    // The game's z runs against the file's y.
    return NiVec3(kLevel.m_fPrisonX + fX, -(kLevel.m_fPrisonZ + fZ), DEMO_SHOWCASE_LIFT);
}

NiVec3 DemoRoadStart(const DemoLevel& kLevel)
{
    return InFile(kLevel, -60.0f, 0.0f, 0.0f);
}

NiVec3 DemoRoadEnd(const DemoLevel& kLevel)
{
    return InFile(kLevel, -35.0f, 0.0f, 0.0f);
}

// Two position keys over four seconds.
NiRefPtr<NiNode> MakeDemoRoute(const char* pcName, const NiVec3& kFrom, const NiVec3& kTo)
{
    NiRefPtr<NiNode> spRoute = Named(pcName);
    const std::uint8_t ucSize = NiAnimKeyTables::GetKeySize(NI_POSKEY, NI_LINKEY);
    NiAnimKey* pkKeys = NiAnimKeyTables::GetCreateFunction(NI_POSKEY, NI_LINKEY)(2);
    auto* pkFirst = static_cast<NiPosKey*>(NiAnimKey::At(pkKeys, 0, ucSize));
    pkFirst->m_fTime = 0.0f;
    pkFirst->m_kPos = kFrom;
    auto* pkLast = static_cast<NiPosKey*>(NiAnimKey::At(pkKeys, 1, ucSize));
    pkLast->m_fTime = 4.0f;
    pkLast->m_kPos = kTo;
    NiAnimKeyTables::GetFillDerivedFunction(NI_POSKEY, NI_LINKEY)(pkKeys, 2, ucSize);
    NiTransformDataPtr spData = new NiTransformData;
    spData->ReplacePosKeys(pkKeys, 2, NI_LINKEY);
    NiRefPtr<NiTransformController> spController = new NiTransformController;
    spController->SetInterpolator(new NiTransformInterpolator(spData));
    spController->ResetTimeExtrema();
    spController->SetTarget(spRoute);
    return spRoute;
}

namespace
{
// The level's root name: its file's name without folder and extension.
std::string LevelName(const DemoLevel& kLevel)
{
    std::string kName = kLevel.m_pcFile;
    kName = kName.substr(kName.rfind('/') + 1);
    return kName.substr(0, kName.rfind('.'));
}

bool WriteLevel(const std::string& kFolder, const DemoLevel& kLevel)
{
    NiRefPtr<NiNode> spRoot = Named(LevelName(kLevel).c_str());
    NiRefPtr<NiNode> spSky = Named("SkyBox");
    NiTriShape* pkSkyBox = MakeDemoBox(NiVec3(-500, -500, -500), NiVec3(500, 500, 500), true, "sky");
    auto* pkSkyTexture = new NiTexturingProperty("levels/sky.tga");
    // Each face shows the whole picture: a filter that wrapped round would
    // bring the horizon's colour into the top of the sky at the seams.
    if (NiTextureMap* pkMap = pkSkyTexture->GetMap(NiTexturingProperty::BASE_INDEX))
        pkMap->SetClampMode(NiTextureMap::CLAMP_S_CLAMP_T);
    pkSkyBox->AttachProperty(pkSkyTexture);
    // The sky shows its picture whatever the lights: it glows white, the texel modulating it.
    auto* pkSkyMaterial = new NiMaterialProperty;
    pkSkyMaterial->SetEmittance(NiColorRGB{1.0f, 1.0f, 1.0f});
    pkSkyBox->AttachProperty(pkSkyMaterial);
    spSky->AttachChild(pkSkyBox);
    spRoot->AttachChild(spSky);

    // Daylight over the whole level: a sun from high up and a soft ambient.
    // They hang under the sky node so the level's own top-level layout stays as it is.
    auto* pkSun = new NiDirectionalLight;
    pkSun->SetName("sun");
    const NiVec3 kDown = NiVec3(0.3f, 0.4f, -0.866f);
    const NiVec3 kSide = NiVec3(0.8f, -0.6f, 0.0f);
    NiMatrix3x3 kSunTurn;
    kSunTurn.SetColumns(kDown, kSide, kDown.Cross(kSide));
    pkSun->SetRotate(kSunTurn);
    pkSun->SetDiffuseColor(NiColorRGB{0.75f, 0.72f, 0.65f});
    pkSun->SetAmbientColor(NiColorRGB{0.0f, 0.0f, 0.0f});
    pkSun->SetSpecularColor(NiColorRGB{0.0f, 0.0f, 0.0f});
    spSky->AttachChild(pkSun);
    spRoot->AttachEffect(pkSun);
    auto* pkDaylight = new NiAmbientLight;
    pkDaylight->SetName("daylight");
    pkDaylight->SetAmbientColor(NiColorRGB{DEMO_DAYLIGHT[0], DEMO_DAYLIGHT[1], DEMO_DAYLIGHT[2]});
    pkDaylight->SetDiffuseColor(NiColorRGB{0.0f, 0.0f, 0.0f});
    spSky->AttachChild(pkDaylight);
    spRoot->AttachEffect(pkDaylight);

    // The ground reaches from the arrival road and the place the camera is
    // put after each arrival (west of the prison) to past the field (east).
    // The world hangs its objects under "collide" in its first empty
    // slots, and the mouse's pick takes the first thing it meets in the
    // node's order: the ground comes after slots kept free for them, so that
    // a building or a post is found before the ground under it. Its top
    // lies at the height of the yard, so a pick finds the cell the pointer
    // is on; it is not drawn: the land, a little lower, shows it.
    NiRefPtr<NiNode> spCollide = Named("collide");
    const NiVec3 kGroundMin = InFile(kLevel, -kLevel.m_fWest, -kLevel.m_fSouth, -0.5f);
    const NiVec3 kGroundMax = InFile(kLevel, kLevel.m_fEast, kLevel.m_fNorth, 0.0f);
    NiTriShape* pkGround = MakeDemoBox(kGroundMin, kGroundMax, false, "ground");
    pkGround->SetAppCulled(true);
    (void)spCollide->SetAt(DEMO_OBJECT_SLOTS, pkGround);
    NiTriShape* pkLand = MakeDemoColouredBox(NiVec3(kGroundMin.x, kGroundMin.y, kGroundMin.z - GROUND_DROP),
                                             NiVec3(kGroundMax.x, kGroundMax.y, kGroundMax.z - GROUND_DROP),
                                             kLevel.m_aucGround, "land");
    spCollide->AttachChild(MakeDemoBox(InFile(kLevel, -12, 6, -GROUND_DROP), InFile(kLevel, -6, 12, 4), false, "block01"));
    spCollide->AttachChild(MakeDemoBox(InFile(kLevel, 8, -14, -GROUND_DROP), InFile(kLevel, 14, -8, 6), false, "block02"));
    spRoot->AttachChild(spCollide);
    spRoot->AttachChild(pkLand);

    // Routes lie on the ground (height 0 of the scene): the arrival road
    // ends inside the prison yard near its western edge (its end cell takes
    // no building), one connector leads from the yard to the
    // field and one back.
    NiRefPtr<NiNode> spSplines = Named("splines");
    spSplines->AttachChild(Route("route01", InFile(kLevel, -20.0f, -20.0f, 0.0f), InFile(kLevel, 20.0f, 20.0f, 0.0f)));
    spSplines->AttachChild(Route("spawn_road", DemoRoadStart(kLevel), DemoRoadEnd(kLevel)));
    spSplines->AttachChild(Route("connectorA_1_2", InFile(kLevel, 31.0f, 0.0f, 0.0f), InFile(kLevel, 103.0f, 0.0f, 0.0f)));
    spSplines->AttachChild(Route("connectorB_2_1", InFile(kLevel, 105.0f, 0.0f, 0.0f), InFile(kLevel, 21.0f, 0.0f, 0.0f)));
    spRoot->AttachChild(spSplines);

    // Placeholders name their places as the game reads them: the yard (grid
    // 1, 40 x 40 cells of 2 centred on the ground), a small field (grid 2,
    // 6 x 8, with a door run along its first row), the camera start, the
    // protesters.
    NiRefPtr<NiNode> spObjects = Named("objects");
    spObjects->AttachChild(Placeholder("crate01", "models/props/crate.nif\r\n", InWorld(kLevel, 4, 4, 0)));
    spObjects->AttachChild(Placeholder("crate02", "models/props/crate.nif\r\n", InWorld(kLevel, -4, 8, 0)));
    spObjects->AttachChild(Placeholder("start", "spawn\r\n", InWorld(kLevel, 0, -10, 0)));
    spObjects->AttachChild(Placeholder("yard", "map_1_40_40_0_2\r\n", InWorld(kLevel, -39, 0, 39)));
    spObjects->AttachChild(Placeholder("field", "map_2_6_8_0_2,2-4\r\n", InWorld(kLevel, 99, 0, 7)));
    spObjects->AttachChild(Placeholder("view", "camera_45\r\n", InWorld(kLevel, 0, 60, -40)));
    spObjects->AttachChild(Placeholder("crowd", "protest\r\n", InWorld(kLevel, -50, 0, 0)));
    spRoot->AttachChild(spObjects);

    // The renderer at work where the player looks first: lights, a textured
    // floor and box, bars skinned on the device and in software, a pane
    // drawn by an effect file and a floor drawn by a described shader.
    NiRefPtr<NiNode> spShowcase = Named(DEMO_SHOWCASE);
    if (NiRefPtr<NiNode> spTurntable = demo_scene::BuildShowcase())
        spShowcase->AttachChild(spTurntable);
    spShowcase->AttachChild(MakeSign(kLevel));
    const NiVec3 kPlace = DemoShowcasePlace(kLevel);
    spShowcase->SetTranslate(kPlace);
    spShowcase->SetScale(DEMO_SHOWCASE_SCALE);
    spRoot->AttachChild(spShowcase);
    // The stand the sand lies on, a little lower: the two faces lie apart
    // by more than the depth buffer tells apart at the start view.
    const float fReach = demo_scene::FLOOR_HALF * DEMO_SHOWCASE_SCALE + STAND_MARGIN;
    spRoot->AttachChild(MakeDemoColouredBox(NiVec3(kPlace.x - fReach, kPlace.y - fReach, STAND_FOOT),
                                            NiVec3(kPlace.x + fReach, kPlace.y + fReach, DEMO_STAND_TOP), STAND_COLOUR,
                                            DEMO_SHOWCASE_STAND));
    // The first level's program showcase on the same sand: a pillar drawn by
    // the demo material's programs, a signal post drawn by the demo effect's
    // program technique and a pillar drawn by compiled high-level programs.
    // Their feet stand inside the stand, under the sand.
    if (&kLevel == &DEMO_LEVELS[0])
    {
        NiRefPtr<NiNode> spShowcase = Named(DEMO_SHOWCASE_NODE);
        constexpr float W = DEMO_SHOWCASE_WEST, E = DEMO_SHOWCASE_EAST;
        constexpr float B = DEMO_SHOWCASE_BASE, T = DEMO_SHOWCASE_BASE + DEMO_SHOWCASE_HEIGHT;
        constexpr float M = DEMO_SHOWCASE_MATERIAL_Y, S = DEMO_SHOWCASE_SIGNAL_Y;
        NiTriShape* pkPillar =
            MakeDemoBox(InFile(kLevel, W, M - 2, B), InFile(kLevel, E, M + 2, T), false, DEMO_SHOWCASE_MATERIAL);
        pkPillar->AttachProperty(new NiTexturingProperty(DEMO_SHOWCASE_IMAGE));
        pkPillar->SetShader(new NiShader(DEMO_SHADER_NAME, 0));
        spShowcase->AttachChild(pkPillar);
        NiTriShape* pkSignal =
            MakeDemoBox(InFile(kLevel, W, S - 2, B), InFile(kLevel, E, S + 2, T), false, DEMO_SHOWCASE_SIGNAL);
        pkSignal->SetShader(new NiShader(DEMO_PROGRAM_EFFECT_NAME, 0));
        spShowcase->AttachChild(pkSignal);
        constexpr float L = DEMO_SHOWCASE_HLSL_Y;
        NiTriShape* pkHighLevel =
            MakeDemoBox(InFile(kLevel, W, L - 2, B), InFile(kLevel, E, L + 2, T), false, DEMO_SHOWCASE_HLSL);
        pkHighLevel->SetShader(new NiShader(DEMO_HLSL_SHADER_NAME, 0));
        spShowcase->AttachChild(pkHighLevel);
        spRoot->AttachChild(spShowcase);
    }

    // One fence per upgrade level 0-2 and one detail node.
    NiRefPtr<NiSwitchNode> spFence = new NiSwitchNode;
    spFence->SetName("NiSwitchNode_fence");
    for (const char* pcFence : {"fence0", "fence1", "fence2"})
        spFence->AttachChild(Named(pcFence));
    spRoot->AttachChild(spFence);
    spRoot->AttachChild(Named("detail2"));

    NiObjectStream kStream;
    kStream.InsertTopObject(spRoot);
    const std::string kPath = kFolder + "/" + kLevel.m_pcFile;
    if (!kStream.SaveFile(kPath.c_str()))
    {
        std::fprintf(stderr, "demo data: cannot write %s\n", kPath.c_str());
        return false;
    }
    return true;
}
} // namespace

bool WriteDemoLevel(const std::string& kFolder)
{
    if (!os::CreateFolderTree(kFolder + "/levels") || !os::CreateFolderTree(kFolder + "/maps"))
    {
        std::fprintf(stderr, "demo data: cannot make the level folders under %s\n", kFolder.c_str());
        return false;
    }
    // A sky that pales towards the horizon.
    std::vector<std::uint8_t> kSky;
    for (int y = 0; y < SKY_SIZE; ++y)
        for (int x = 0; x < SKY_SIZE; ++x)
        {
            kSky.push_back(static_cast<std::uint8_t>(230 - y * 6)); // blue first in the file
            kSky.push_back(static_cast<std::uint8_t>(150 + y * 4));
            kSky.push_back(static_cast<std::uint8_t>(90 + y * 8));
        }
    if (!WriteTga(kFolder + "/levels/sky.tga", SKY_SIZE, SKY_SIZE, 24, kSky) ||
        !demo_scene::WriteImages(kFolder + "/levels"))
        return false;
    // The showcase pillar's texture: one grey, so what its programs make of it is known.
    std::vector<std::uint8_t> kGrey(std::size_t(4 * 4 * 3), DEMO_SHOWCASE_TEXEL);
    if (!WriteTga(kFolder + "/" + DEMO_SHOWCASE_IMAGE, 4, 4, 24, kGrey))
        return false;
    // The showcase's sign: the word in white on a framed dark blue.
    COrvaneDemoImage kSign(256, 128, {30, 40, 80, 255});
    kSign.Fill({6, 6, 244, 116}, {230, 200, 90, 255}).Fill({10, 10, 236, 108}, {30, 40, 80, 255});
    if (!kSign.Label({10, 10, 236, 108}, SIGN_WORD, 84) || !kSign.Write(kFolder + "/" + DEMO_SHOWCASE_SIGN_IMAGE))
        return false;
    for (const DemoLevel& kLevel : DEMO_LEVELS)
        if (!WriteLevel(kFolder, kLevel))
            return false;
    return true;
}
