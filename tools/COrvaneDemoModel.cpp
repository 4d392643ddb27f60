#include "tools/COrvaneDemoModel.h"

#include "engine/animation/NiAnimKeyTables.h"
#include "engine/animation/NiControllerSequence.h"
#include "engine/animation/NiStringPalette.h"
#include "engine/animation/NiTextKeyExtraData.h"
#include "engine/animation/NiTransformData.h"
#include "engine/animation/NiTransformInterpolator.h"
#include "engine/core/NiObjectStream.h"
#include "engine/scene/NiNode.h"
#include "tools/COrvaneDemoShapes.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <memory>
#include <vector>

namespace
{
constexpr float WALK_LENGTH = 1.0f;
constexpr float IDLE_LENGTH = 2.0f;
constexpr int KEYS = 5;

NiAnimKey* PosKeys(const std::vector<std::pair<float, NiVec3>>& kKeys)
{
    std::uint8_t ucSize = NiAnimKeyTables::GetKeySize(NI_POSKEY, NI_LINKEY);
    NiAnimKey* pk = NiAnimKeyTables::GetCreateFunction(NI_POSKEY, NI_LINKEY)(static_cast<std::uint32_t>(kKeys.size()));
    for (std::size_t i = 0; i < kKeys.size(); ++i)
    {
        auto* p = static_cast<NiPosKey*>(NiAnimKey::At(pk, static_cast<std::uint32_t>(i), ucSize));
        p->m_fTime = kKeys[i].first;
        p->m_kPos = kKeys[i].second;
    }
    NiAnimKeyTables::GetFillDerivedFunction(NI_POSKEY, NI_LINKEY)(pk, static_cast<std::uint32_t>(kKeys.size()), ucSize);
    return pk;
}

NiAnimKey* RotKeys(const std::vector<std::pair<float, NiQuat>>& kKeys)
{
    std::uint8_t ucSize = NiAnimKeyTables::GetKeySize(NI_ROTKEY, NI_LINKEY);
    NiAnimKey* pk = NiAnimKeyTables::GetCreateFunction(NI_ROTKEY, NI_LINKEY)(static_cast<std::uint32_t>(kKeys.size()));
    for (std::size_t i = 0; i < kKeys.size(); ++i)
    {
        auto* p = static_cast<NiRotKey*>(NiAnimKey::At(pk, static_cast<std::uint32_t>(i), ucSize));
        p->m_fTime = kKeys[i].first;
        p->m_kQuat = kKeys[i].second;
    }
    NiAnimKeyTables::GetFillDerivedFunction(NI_ROTKEY, NI_LINKEY)(pk, static_cast<std::uint32_t>(kKeys.size()), ucSize);
    return pk;
}

// The bone's rest position in its parent.
NiVec3 RestPosition(int iBone)
{
    static const NiVec3 REST[] = {{0, 0, 0},     {0, 0, 1.0f},  {0, 0, 0.3f},  {0, 0, 0.35f},
                                  {0.25f, 0, 0.25f}, {-0.25f, 0, 0.25f}, {0.1f, 0, -0.1f}, {-0.1f, 0, -0.1f}};
    return REST[iBone];
}

// A swing about the x axis of the given amplitude, sampled over the length:
// limbs swing in turn, the pelvis bobs and the root stays.
NiTransformInterpolatorPtr Swing(int iBone, float fLength, float fAmplitude, float fPhase, float fBob)
{
    std::vector<std::pair<float, NiVec3>> kPos;
    std::vector<std::pair<float, NiQuat>> kRot;
    for (int k = 0; k < KEYS; ++k)
    {
        float u = static_cast<float>(k) / static_cast<float>(KEYS - 1);
        float fAngle = fAmplitude * std::sin(6.2831853f * u + fPhase);
        kRot.emplace_back(u * fLength, NiQuat(std::cos(0.5f * fAngle), std::sin(0.5f * fAngle), 0, 0));
        NiVec3 kAt = RestPosition(iBone);
        kAt.z += fBob * std::sin(12.566371f * u);
        kPos.emplace_back(u * fLength, kAt);
    }
    NiTransformDataPtr spData = new NiTransformData;
    spData->ReplacePosKeys(PosKeys(kPos), KEYS, NI_LINKEY);
    spData->ReplaceRotKeys(RotKeys(kRot), KEYS, NI_LINKEY);
    return new NiTransformInterpolator(spData);
}

NiControllerSequencePtr MakeSequence(const char* pcName, float fLength, float fSwing, float fBob)
{
    NiControllerSequencePtr sp = new NiControllerSequence;
    sp->SetName(pcName);
    sp->SetStringPalette(new NiStringPalette(0));
    constexpr int BONES = static_cast<int>(std::size(DEMO_MODEL_BONES));
    sp->SetArrayGrowBy(BONES - 1);
    for (int i = 1; i < BONES; ++i)
    {
        // Arms and legs swing against each other; the spine and head sway.
        float fPhase = (i == 4 || i == 7) ? 3.1415927f : 0.0f;
        float fAmplitude = i >= 4 ? fSwing : 0.2f * fSwing;
        NiControllerSequence::IDTag kTag;
        kTag.SetStrings(sp->GetStringPalette(), DEMO_MODEL_BONES[i], nullptr, "NiTransformController", nullptr,
                        nullptr);
        sp->AddItem(Swing(i, fLength, fAmplitude, fPhase, i == 1 ? fBob : 0.0f), kTag);
    }
    sp->SetKeyRange(0.0f, fLength);
    sp->SetCycleType(NiControllerSequence::LOOP);
    auto spKeys = std::make_unique<NiTextKey[]>(2);
    spKeys[0] = NiTextKey(0.0f, "start");
    spKeys[1] = NiTextKey(fLength, "end");
    NiTextKeyExtraDataPtr spTextKeys = new NiTextKeyExtraData;
    spTextKeys->SetKeys(std::move(spKeys), 2);
    sp->SetTextKeys(spTextKeys);
    return sp;
}

bool Save(NiObjectStream& kStream, const std::string& kPath)
{
    if (kStream.SaveFile(kPath.c_str()))
        return true;
    std::fprintf(stderr, "demo data: cannot write %s\n", kPath.c_str());
    return false;
}
} // namespace

namespace
{
// Pelvis under the root; spine, legs under the pelvis; head and arms
// under the spine.
NiRefPtr<NiNode> MakeSkeleton(std::vector<NiRefPtr<NiNode>>& kBones, bool bYUp = false)
{
    NiRefPtr<NiNode> spRoot = new NiNode;
    spRoot->SetName(DEMO_MODEL_BONES[0]);
    // The game places a person by the root's first child; no animation
    // drives it, so the pelvis's own keys do not undo the placing.
    NiRefPtr<NiNode> spFigure = new NiNode;
    spFigure->SetName("Figure");
    spRoot->AttachChild(spFigure);
    kBones.assign(1, spFigure);
    if (bYUp)
    {
        // The bones stand along z; a quarter turn about x stands them along
        // y, the up of the game's models. Nothing animates this node, so
        // the turn stays under the placing.
        NiRefPtr<NiNode> spUpright = new NiNode;
        spUpright->SetName("Upright");
        NiMatrix3x3 kTurn;
        kTurn.MakeXRotation(DEMO_PERSON_TURN);
        spUpright->SetRotate(kTurn);
        spFigure->AttachChild(spUpright);
        kBones.assign(1, spUpright);
    }
    static const int PARENT[] = {-1, 0, 1, 2, 2, 2, 1, 1};
    for (int i = 1; i < static_cast<int>(std::size(DEMO_MODEL_BONES)); ++i)
    {
        NiRefPtr<NiNode> spBone = new NiNode;
        spBone->SetName(DEMO_MODEL_BONES[i]);
        spBone->SetTranslate(RestPosition(i));
        kBones[static_cast<std::size_t>(PARENT[i])]->AttachChild(spBone);
        kBones.push_back(spBone);
    }
    return spRoot;
}
} // namespace

namespace
{
// A colour a step lighter (positive) or darker (negative), so that
// variants of one kind stay alike.
void Shade(const std::uint8_t (&aucFrom)[3], int iStep, std::uint8_t (&aucTo)[3])
{
    for (int c = 0; c < 3; ++c)
        aucTo[c] = static_cast<std::uint8_t>(std::clamp(aucFrom[c] + 24 * iStep, 0, 255));
}

constexpr std::uint8_t SKIN_TONES[][3] = {
    {236, 196, 160}, {196, 140, 100}, {150, 100, 70}, {226, 178, 136}, {110, 74, 52}};
} // namespace

bool WriteDemoPerson(const std::string& kPath, int iHeads, int iBodies, const std::uint8_t (&aucClothes)[3])
{
    std::vector<NiRefPtr<NiNode>> kBones;
    NiRefPtr<NiNode> spRoot = MakeSkeleton(kBones, true);
    // A click finds whose model it met by walking up to "Scene Root".
    spRoot->SetName("Scene Root");
    // Variant nodes: the head's under the "Head" bone, the body's under the
    // pelvis, each holding its own shape (a skin tone per head, a shade of
    // the kind's clothes per body), so the one the game shows is what
    // draws. Without body variants the body hangs from the pelvis itself.
    for (int i = 1; i <= iHeads; ++i)
    {
        NiRefPtr<NiNode> spHead = new NiNode;
        spHead->SetName(("head" + std::to_string(i)).c_str());
        spHead->AttachChild(MakeDemoColouredBox(NiVec3(-0.12f, -0.12f, 0.0f), NiVec3(0.12f, 0.12f, 0.28f),
                                                SKIN_TONES[(i - 1) % std::size(SKIN_TONES)], "head"));
        kBones[3]->AttachChild(spHead);
    }
    const NiVec3 kTorsoMin(-0.2f, -0.12f, -0.05f);
    const NiVec3 kTorsoMax(0.2f, 0.12f, 0.62f);
    for (int i = 1; i <= iBodies; ++i)
    {
        NiRefPtr<NiNode> spBody = new NiNode;
        spBody->SetName(("body" + std::to_string(i)).c_str());
        std::uint8_t aucShade[3];
        Shade(aucClothes, 1 - i, aucShade);
        spBody->AttachChild(MakeDemoColouredBox(kTorsoMin, kTorsoMax, aucShade, "torso"));
        kBones[1]->AttachChild(spBody);
    }
    if (iBodies <= 0)
        kBones[1]->AttachChild(MakeDemoColouredBox(kTorsoMin, kTorsoMax, aucClothes, "torso"));
    // Arms and legs hang from their bones, which the animations swing.
    std::uint8_t aucLimbs[3];
    Shade(aucClothes, -1, aucLimbs);
    kBones[4]->AttachChild(MakeDemoColouredBox(NiVec3(-0.05f, -0.05f, -0.6f), NiVec3(0.05f, 0.05f, 0.0f), aucLimbs, "arm"));
    kBones[5]->AttachChild(MakeDemoColouredBox(NiVec3(-0.05f, -0.05f, -0.6f), NiVec3(0.05f, 0.05f, 0.0f), aucLimbs, "arm"));
    kBones[6]->AttachChild(MakeDemoColouredBox(NiVec3(-0.07f, -0.07f, -0.9f), NiVec3(0.07f, 0.07f, 0.0f), aucLimbs, "leg"));
    kBones[7]->AttachChild(MakeDemoColouredBox(NiVec3(-0.07f, -0.07f, -0.9f), NiVec3(0.07f, 0.07f, 0.0f), aucLimbs, "leg"));
    NiObjectStream kModel;
    kModel.InsertTopObject(spRoot);
    if (kPath.size() < 4 || !Save(kModel, kPath))
        return false;
    NiObjectStream kAnimations;
    for (const char* pcName : DEMO_PERSON_ANIMATIONS)
    {
        const bool bWalking = std::string(pcName).rfind("walk", 0) == 0 || std::string(pcName) == "limp";
        kAnimations.InsertTopObject(
            MakeSequence(pcName, bWalking ? WALK_LENGTH : IDLE_LENGTH, bWalking ? 0.6f : 0.1f, bWalking ? 0.03f : 0.0f));
    }
    return Save(kAnimations, kPath.substr(0, kPath.size() - 3) + "kf");
}

bool WriteDemoModel(const std::string& kFolder)
{
    std::vector<NiRefPtr<NiNode>> kBones;
    NiRefPtr<NiNode> spRoot = MakeSkeleton(kBones);
    NiObjectStream kModel;
    kModel.InsertTopObject(spRoot);
    if (!Save(kModel, kFolder + "/prisoner.nif"))
        return false;

    NiObjectStream kAnimations;
    kAnimations.InsertTopObject(MakeSequence("idle", IDLE_LENGTH, 0.05f, 0.0f));
    kAnimations.InsertTopObject(MakeSequence("walk", WALK_LENGTH, 0.6f, 0.03f));
    return Save(kAnimations, kFolder + "/prisoner.kf");
}

bool WriteDemoVehicle(const std::string& kPath, const NiVec3& kFrom, const NiVec3& kTo)
{
    if (kPath.size() < 4)
        return false;
    std::string kName = kPath.substr(kPath.find_last_of('/') + 1);
    kName = kName.substr(0, kName.find('.'));
    NiRefPtr<NiNode> spRoot = new NiNode;
    spRoot->SetName("Scene Root");
    NiRefPtr<NiNode> spBody = new NiNode;
    spBody->SetName(kName.c_str());
    // At rest the body stands where its drive ends.
    spBody->SetTranslate(kTo);
    spRoot->AttachChild(spBody);
    // Its shape: a white van, long along its drive (the level's frame, Z up).
    static constexpr std::uint8_t VAN_WHITE[3] = {224, 224, 216};
    spBody->AttachChild(MakeDemoColouredBox(NiVec3(-2.5f, -1.1f, 0.0f), NiVec3(2.5f, 1.1f, 2.2f), VAN_WHITE, "van_body"));
    NiRefPtr<NiNode> spCamera = new NiNode;
    spCamera->SetName("camera");
    spCamera->SetTranslate(NiVec3(DEMO_VEHICLE_CAMERA[0], DEMO_VEHICLE_CAMERA[1], DEMO_VEHICLE_CAMERA[2]));
    spBody->AttachChild(spCamera);
    NiRefPtr<NiNode> spTarget = new NiNode;
    spTarget->SetName("bus03");
    spTarget->SetTranslate(NiVec3(DEMO_VEHICLE_TARGET[0], DEMO_VEHICLE_TARGET[1], DEMO_VEHICLE_TARGET[2]));
    spBody->AttachChild(spTarget);
    NiObjectStream kModel;
    kModel.InsertTopObject(spRoot);
    if (!Save(kModel, kPath))
        return false;

    // The body drives in a straight line and stops at its end.
    std::vector<std::pair<float, NiVec3>> kPos;
    for (int k = 0; k < KEYS; ++k)
    {
        const float u = static_cast<float>(k) / static_cast<float>(KEYS - 1);
        kPos.emplace_back(u * DEMO_ARRIVE_LENGTH, kFrom + (kTo - kFrom) * u);
    }
    NiTransformDataPtr spData = new NiTransformData;
    spData->ReplacePosKeys(PosKeys(kPos), KEYS, NI_LINKEY);
    NiControllerSequencePtr spArrive = new NiControllerSequence;
    spArrive->SetName("arrive");
    spArrive->SetStringPalette(new NiStringPalette(0));
    // A new sequence has no room for items until it is told how to grow.
    spArrive->SetArrayGrowBy(1);
    NiControllerSequence::IDTag kTag;
    kTag.SetStrings(spArrive->GetStringPalette(), kName.c_str(), nullptr, "NiTransformController", nullptr, nullptr);
    NiTransformInterpolatorPtr spDrive = new NiTransformInterpolator(spData);
    if (spArrive->AddItem(spDrive, kTag) < 0)
    {
        std::fprintf(stderr, "demo data: the arrival of %s has no drive\n", kPath.c_str());
        return false;
    }
    spArrive->SetKeyRange(0.0f, DEMO_ARRIVE_LENGTH);
    spArrive->SetCycleType(NiControllerSequence::CLAMP);
    auto spKeys = std::make_unique<NiTextKey[]>(2);
    spKeys[0] = NiTextKey(0.0f, "start");
    spKeys[1] = NiTextKey(DEMO_ARRIVE_LENGTH, "end");
    NiTextKeyExtraDataPtr spTextKeys = new NiTextKeyExtraData;
    spTextKeys->SetKeys(std::move(spKeys), 2);
    spArrive->SetTextKeys(spTextKeys);
    NiObjectStream kAnimations;
    kAnimations.InsertTopObject(spArrive);
    return Save(kAnimations, kPath.substr(0, kPath.size() - 3) + "kf");
}
