// Writes the seed corpus of every fuzz target with the project's own
// writers: the scene-file stream for scene and pixel-data files, the font
// writer, the tag tree and line-file writers, the tools' TGA writer and
// demo-data builder, and the image tests' byte writers for the formats the
// engine only reads.
// Usage: orvane_fuzz_seeds <folder>; each target's seeds go to <folder>/<target name>.

#include "engine/animation/NiAnimKey.h"
#include "engine/animation/NiAnimKeyTables.h"
#include "engine/animation/NiAnimationLibrary.h"
#include "engine/animation/NiBoneLODController.h"
#include "engine/animation/NiControllerManager.h"
#include "engine/animation/NiControllerSequence.h"
#include "engine/animation/NiFloatInterpolator.h"
#include "engine/animation/NiGeomMorpherController.h"
#include "engine/animation/NiKeyData.h"
#include "engine/animation/NiKeyframeManager.h"
#include "engine/animation/NiLookAtInterpolator.h"
#include "engine/animation/NiPathInterpolator.h"
#include "engine/animation/NiPoint3Interpolator.h"
#include "engine/animation/NiStringPalette.h"
#include "engine/animation/NiTextKeyExtraData.h"
#include "engine/animation/NiTransformController.h"
#include "engine/animation/NiTransformData.h"
#include "engine/animation/NiTransformInterpolator.h"
#include "engine/animation/NiUVController.h"
#include "engine/core/NiMainLibrary.h"
#include "engine/core/NiObjectStream.h"
#include "engine/render/NiPalette.h"
#include "engine/render/NiPixelData.h"
#include "engine/render/NiSourceTexture.h"
#include "engine/render/image/NiFontWriter.h"
#include "engine/core/NiMemoryStream.h"
#include "engine/shaders/nsb/NSBShader.h"
#include "engine/render/image/NiPixelFormat.h"
#include "engine/scene/NiCollisionData.h"
#include "engine/scene/NiDynamicEffect.h"
#include "engine/scene/NiExtraData.h"
#include "platform/gfx/GfxShaderTokens.h"
#include "platform/gfxutil/GfxUtilShader.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiProperty.h"
#include "engine/scene/NiSkinData.h"
#include "engine/scene/NiSkinInstance.h"
#include "engine/scene/NiStringExtraData.h"
#include "engine/scene/NiTexturingProperty.h"
#include "engine/scene/NiTriShape.h"
#include "framework/COrvaneFile.h"
#include "framework/COrvaneTagTree.h"
#include "game/shell/CCamera.h"
#include "game/shell/CGame.h"
#include "game/shell/ui/CBuildPlacement.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "game/simulation/objects/CWorldObject.h"
#include "framework/COrvaneApplication.h"
#include "framework/COrvaneMouse.h"
#include "platform/os/OsSystem.h"
#include "tests/game/support/CHeadlessPrison.h"
#include "tests/engine/render/image/ImageFileBytes.h"
#include "tests/platform/gfxutil/DdsFixture.h"
#include "tests/platform/gfxutil/HlslSuiteFile.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/support/TestPng.h"
#include "tools/COrvaneDemoData.h"
#include "tools/COrvaneDemoInterface.h"
#include "tools/COrvaneDemoLauncher.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace
{
namespace fs = std::filesystem;

class SeedFolder
{
public:
    SeedFolder(const fs::path& kRoot, const char* pcTarget) : m_kFolder(kRoot / pcTarget)
    {
        fs::create_directories(m_kFolder, m_kError);
    }

    void Add(const std::vector<std::uint8_t>& kBytes)
    {
        char acName[32];
        std::snprintf(acName, sizeof(acName), "seed-%03u", m_uiCount++);
        std::ofstream kOut(m_kFolder / acName, std::ios::binary | std::ios::trunc);
        kOut.write(reinterpret_cast<const char*>(kBytes.data()), static_cast<std::streamsize>(kBytes.size()));
        if (!kOut)
            m_bFailed = true;
    }
    // Copies a file another writer made.
    void AddFile(const fs::path& kPath)
    {
        std::ifstream kIn(kPath, std::ios::binary);
        Add(std::vector<std::uint8_t>(std::istreambuf_iterator<char>(kIn), {}));
    }
    void Fail() { m_bFailed = true; }
    [[nodiscard]] bool Failed() const { return m_bFailed || m_kError || m_uiCount == 0; }
    [[nodiscard]] const fs::path& GetFolder() const { return m_kFolder; }

private:
    fs::path m_kFolder;
    std::error_code m_kError;
    std::uint32_t m_uiCount = 0;
    bool m_bFailed = false;
};

// The stream's save of the objects, in order, as top-level objects.
std::vector<std::uint8_t> SaveScene(std::initializer_list<NiObject*> kObjects)
{
    NiObjectStream kStream;
    for (NiObject* pkObject : kObjects)
        kStream.InsertTopObject(pkObject);
    std::unique_ptr<std::uint8_t[]> spBuffer;
    std::uint32_t uiSize = 0;
    if (!kStream.SaveBuffer(spBuffer, uiSize))
        return {};
    return std::vector<std::uint8_t>(spBuffer.get(), spBuffer.get() + uiSize);
}

// Pixel data of the format with every byte set, optionally mip-mapped.
NiRefPtr<NiPixelData> Image(std::uint32_t uiWidth, std::uint32_t uiHeight, const NiPixelFormat& kFormat,
                            std::uint32_t uiLevels)
{
    NiRefPtr<NiPixelData> spImage = new NiPixelData(uiWidth, uiHeight, kFormat, uiLevels);
    for (std::uint32_t uiLevel = 0; uiLevel < spImage->GetNumMipmapLevels(); ++uiLevel)
    {
        std::uint8_t* pucPixels = spImage->GetPixels(uiLevel);
        for (std::uint32_t i = 0; pucPixels != nullptr && i < spImage->GetSizeInBytes(uiLevel); ++i)
            pucPixels[i] = static_cast<std::uint8_t>(i * 37 + uiLevel);
    }
    return spImage;
}

NiRefPtr<NiPalette> GreyPalette(std::uint32_t uiEntries)
{
    std::vector<NiPalette::PaletteEntry> kEntries(uiEntries);
    for (std::uint32_t i = 0; i < uiEntries; ++i)
        kEntries[i] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i),
                       static_cast<std::uint8_t>(255 - i)};
    return new NiPalette(true, uiEntries, kEntries.data());
}

// Three keys at times 0, 1 and 2 (values zero) of the content and type.
NiAnimKey* ThreeKeys(std::uint32_t uiContent, std::uint32_t uiType)
{
    const std::uint8_t uiStride = NiAnimKeyTables::GetKeySize(uiContent, uiType);
    if (uiStride == 0)
        return nullptr;
    NiAnimKey* pkKeys = NiAnimKey::AllocateArray(3, uiStride);
    for (std::uint32_t i = 0; pkKeys != nullptr && i < 3; ++i)
        NiAnimKey::At(pkKeys, i, uiStride)->m_fTime = static_cast<float>(i);
    return pkKeys;
}

void PutF32(Bytes& k, float f)
{
    PutLE32(k, std::bit_cast<std::uint32_t>(f));
}

void PutText(Bytes& k, const char* pcText)
{
    PutLE32(k, static_cast<std::uint32_t>(std::strlen(pcText)));
    k.insert(k.end(), pcText, pcText + std::strlen(pcText));
}

// An old scene file (before class tables): a node of the class with the
// stored flags, velocity and, when given, an inline bounding volume, and a
// plain child node after it.
Bytes OldCollisionScene(std::uint32_t uiVersion, const char* pcClass, std::uint16_t usFlags, float fVelocity,
                        const Bytes* pkVolume)
{
    Bytes k;
    char acLine[64];
    std::snprintf(acLine, sizeof(acLine), "Quenthal File Format, Version %u.%u.%u.%u\n", uiVersion >> 24,
                  (uiVersion >> 16) & 0xFF, (uiVersion >> 8) & 0xFF, uiVersion & 0xFF);
    k.insert(k.end(), acLine, acLine + std::strlen(acLine));
    PutLE32(k, uiVersion);
    PutLE32(k, 2);
    for (std::uint32_t uiRecord = 0; uiRecord < 2; ++uiRecord)
    {
        const bool bFirst = uiRecord == 0;
        PutText(k, bFirst ? pcClass : "NiNode");
        PutText(k, bFirst ? "Solid" : "Inside");
        PutLE32(k, NiObjectStream::NULL_LINK); // extra data
        PutLE32(k, NiObjectStream::NULL_LINK); // controller
        // The child: mode 2, still, no volume.
        PutLE16(k, bFirst ? usFlags : 0x0004);
        for (float f : {0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f})
            PutF32(k, f);
        for (float f : {bFirst ? fVelocity : 0.0f, 0.0f, 0.0f})
            PutF32(k, f);
        PutLE32(k, 0); // properties
        const bool bVolume = bFirst && pkVolume != nullptr;
        if (uiVersion < NiStreamVersion(4, 1, 0, 0))
            PutLE32(k, bVolume ? 1 : 0);
        else
            k.push_back(bVolume ? 1 : 0);
        if (bVolume)
            Append(k, *pkVolume);
        PutLE32(k, bFirst ? 1 : 0); // children
        if (bFirst)
            PutLE32(k, 1);
        PutLE32(k, 0); // effects
    }
    PutLE32(k, 1);
    PutLE32(k, 0);
    return k;
}

// Collision data linked by a current file, and inline in old files: each
// width of the bounding-volume flag, every volume kind, a velocity, and a
// collision switch with and without the flag bit that changes its mode.
void CollisionSeeds(SeedFolder& kSeeds)
{
    NiCollisionData::Volume kSphere;
    kSphere.m_uiKind = NiCollisionData::VOLUME_SPHERE;
    kSphere.m_kCenter = NiVec3(0, 1, 0);
    kSphere.m_fRadius = 2.0f;
    NiCollisionData::Volume kBox;
    kBox.m_uiKind = NiCollisionData::VOLUME_BOX;
    kBox.m_afExtent[0] = kBox.m_afExtent[1] = kBox.m_afExtent[2] = 1.0f;
    NiCollisionData::Volume kUnion;
    kUnion.m_uiKind = NiCollisionData::VOLUME_UNION;
    kUnion.m_kParts = {kSphere, kBox};
    for (const NiCollisionData::Volume& kVolume : {kSphere, kBox, kUnion})
    {
        NiRefPtr<NiNode> spSolid = new NiNode;
        spSolid->SetName("Solid");
        spSolid->AttachChild(new NiNode);
        NiRefPtr<NiCollisionData> spData = new NiCollisionData;
        spData->SetPropagationMode(3);
        (void)spData->SetModelVolume(kVolume);
        spSolid->SetCollisionObject(spData);
        kSeeds.Add(SaveScene({spSolid}));
    }

    Bytes kSphereBytes;
    PutLE32(kSphereBytes, NiCollisionData::VOLUME_SPHERE);
    for (float f : {0.0f, 1.0f, 0.0f, 2.0f})
        PutF32(kSphereBytes, f);
    Bytes kBoxBytes;
    PutLE32(kBoxBytes, NiCollisionData::VOLUME_BOX);
    for (float f : {0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f, 1.0f})
        PutF32(kBoxBytes, f);
    Bytes kUnionBytes;
    PutLE32(kUnionBytes, NiCollisionData::VOLUME_UNION);
    PutLE32(kUnionBytes, 2);
    Append(kUnionBytes, kSphereBytes);
    Append(kUnionBytes, kBoxBytes);
    // From 4.1.0.12 on, the old flags keep the bit a switch looks at.
    // Hand-made: each must load, or the generator has the layout wrong.
    auto AddLoadable = [&kSeeds](const Bytes& kFile) {
        NiObjectStream kCheck;
        if (!kCheck.LoadBuffer(kFile.data(), static_cast<std::uint32_t>(kFile.size())))
            kSeeds.Fail();
        kSeeds.Add(kFile);
    };
    for (std::uint32_t uiVersion : {NiStreamVersion(4, 0, 0, 2), NiStreamVersion(4, 1, 0, 0), NiStreamVersion(4, 2, 0, 2)})
    {
        for (const Bytes* pkVolume : {&kSphereBytes, &kBoxBytes, &kUnionBytes})
            AddLoadable(OldCollisionScene(uiVersion, "NiNode", 0x0004, 0.0f, pkVolume));
        AddLoadable(OldCollisionScene(uiVersion, "NiNode", 0x0004, 1.5f, nullptr));
        AddLoadable(OldCollisionScene(uiVersion, "NiNode", 0x0002, 0.0f, nullptr));
        AddLoadable(OldCollisionScene(uiVersion, "NiCollisionSwitch", 0x0004, 0.0f, nullptr));
        AddLoadable(OldCollisionScene(uiVersion, "NiCollisionSwitch", 0x0044, 0.0f, &kSphereBytes));
    }
}

void SceneSeeds(SeedFolder& kSeeds, SeedFolder& kImages)
{
    // Every class the game can load, alone and as it is made.
    std::vector<const char*> kClasses(NiMainLibrary::CREATE_FUNCTION_NAMES,
                                      NiMainLibrary::CREATE_FUNCTION_NAMES + NiMainLibrary::CREATE_FUNCTION_NAME_COUNT);
    for (std::uint32_t i = 0; i < NiAnimationLibrary::GetClassNameCount(); ++i)
        kClasses.push_back(NiAnimationLibrary::GetClassName(i));
    for (const char* pcClass : kClasses)
    {
        NiObjectPtr spObject = NiObjectStream::CreateObjectByName(pcClass);
        if (spObject != nullptr)
            kSeeds.Add(SaveScene({spObject}));
    }
    // The class names as files hold them (a u32 length, then the name), for
    // the fuzzer to put wherever a file names a class.
    std::ofstream kDictionary(kSeeds.GetFolder().string() + ".dict", std::ios::trunc);
    for (const char* pcClass : kClasses)
    {
        char acLength[32];
        std::snprintf(acLength, sizeof(acLength), "\\x%02X\\x00\\x00\\x00", static_cast<unsigned>(std::strlen(pcClass)));
        kDictionary << '"' << acLength << pcClass << "\"\n";
    }
    if (!kDictionary)
        kSeeds.Fail();

    // Key data of every content and interpolation the tables know.
    const struct
    {
        const char* pcClass;
        std::uint32_t uiContent;
    } akKeyed[] = {{"NiFloatData", NI_FLOATKEY}, {"NiPosData", NI_POSKEY},   {"NiRotData", NI_ROTKEY},
                   {"NiColorData", NI_COLORKEY}, {"NiBoolData", NI_BOOLKEY}};
    for (const auto& kKeyed : akKeyed)
    {
        for (std::uint32_t uiType : {NI_LINKEY, NI_BEZKEY, NI_TCBKEY, NI_STEPKEY})
        {
            NiAnimKey* pkKeys = ThreeKeys(kKeyed.uiContent, uiType);
            if (pkKeys == nullptr)
                continue;
            NiRefPtr<NiKeyData> spData = NiDynamicCast<NiKeyData>(NiObjectStream::CreateObjectByName(kKeyed.pcClass));
            if (spData == nullptr)
            {
                NiAnimKey::FreeArray(pkKeys);
                continue;
            }
            spData->ReplaceKeys(pkKeys, 3, uiType);
            kSeeds.Add(SaveScene({spData}));
        }
    }
    // One Euler rotation key with a linear channel per axis.
    NiAnimKey* pkEuler = ThreeKeys(NI_ROTKEY, NI_EULERKEY);
    if (pkEuler != nullptr)
    {
        auto* pkKey = static_cast<NiEulerRotKey*>(pkEuler);
        for (std::uint32_t uiAxis = 0; uiAxis < 3; ++uiAxis)
        {
            pkKey->m_uiNumKeys[uiAxis] = 3;
            pkKey->m_eType[uiAxis] = NI_LINKEY;
            pkKey->m_ucSizes[uiAxis] = NiAnimKeyTables::GetKeySize(NI_FLOATKEY, NI_LINKEY);
            pkKey->m_apkKeys[uiAxis] = ThreeKeys(NI_FLOATKEY, NI_LINKEY);
        }
        NiRefPtr<NiKeyData> spRotations = NiDynamicCast<NiKeyData>(NiObjectStream::CreateObjectByName("NiRotData"));
        if (spRotations != nullptr)
        {
            spRotations->ReplaceKeys(pkEuler, 1, NI_EULERKEY);
            kSeeds.Add(SaveScene({spRotations}));
        }
    }
    NiRefPtr<NiTransformData> spTransform = new NiTransformData;
    spTransform->SetPosKeys(ThreeKeys(NI_POSKEY, NI_LINKEY), 3, NI_LINKEY);
    spTransform->SetScaleKeys(ThreeKeys(NI_FLOATKEY, NI_BEZKEY), 3, NI_BEZKEY);
    kSeeds.Add(SaveScene({spTransform}));

    // An animated model: a manager playing two sequences on named bones,
    // one of them moving the root, with text keys; and the sequences alone,
    // as an animation file holds them.
    NiRefPtr<NiNode> spModel = new NiNode;
    spModel->SetName("Body");
    for (const char* pcBone : {"Hip", "Arm"})
    {
        NiRefPtr<NiNode> spBone = new NiNode;
        spBone->SetName(pcBone);
        spModel->AttachChild(spBone);
    }
    NiControllerManagerPtr spManager = new NiControllerManager(spModel, false);
    std::vector<NiControllerSequencePtr> kSequences;
    for (const char* pcName : {"walk", "wave"})
    {
        NiControllerSequencePtr spSeq = new NiControllerSequence;
        spSeq->SetName(pcName);
        spSeq->SetStringPalette(new NiStringPalette(0));
        spSeq->SetArrayGrowBy(3);
        spSeq->SetKeyRange(0.0f, 2.0f);
        for (const char* pcBone : {"Body", "Hip", "Arm"})
        {
            NiRefPtr<NiTransformData> spData = new NiTransformData;
            spData->SetPosKeys(ThreeKeys(NI_POSKEY, NI_LINKEY), 3, NI_LINKEY);
            NiControllerSequence::IDTag kTag;
            kTag.SetStrings(spSeq->GetStringPalette(), pcBone, nullptr, "NiTransformController", nullptr, nullptr);
            spSeq->AddItem(new NiTransformInterpolator(spData), kTag);
        }
        auto spKeys = std::make_unique<NiTextKey[]>(2);
        spKeys[0] = NiTextKey(0.0f, "morph:a");
        spKeys[1] = NiTextKey(1.0f, "morph:b");
        NiTextKeyExtraDataPtr spTextKeys = new NiTextKeyExtraData;
        spTextKeys->SetKeys(std::move(spKeys), 2);
        spSeq->SetTextKeys(spTextKeys);
        kSequences.push_back(spSeq);
    }
    kSeeds.Add(SaveScene({kSequences[0], kSequences[1]}));
    for (const NiControllerSequencePtr& spSeq : kSequences)
        spManager->AddSequence(spSeq);
    kSequences[0]->Activate(0, false, 1.0f, 0.0f, nullptr);
    kSequences[1]->Activate(0, false, 1.0f, 0.5f, kSequences[0]);
    kSeeds.Add(SaveScene({spModel}));
    spManager->RemoveAllSequences();
    // Animated objects with their data: a morphing shape with a UV scroll, a
    // rig with bone levels, an object on a path looking at another, and an
    // old manager with a sequence.
    {
        auto* pkVerts = new NiVec3[4]{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
        auto* pkUV = new NiVec2[4]{{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        auto* pusTris = new std::uint16_t[6]{0, 1, 2, 0, 2, 3};
        NiRefPtr<NiTriShape> spMorphed = new NiTriShape(4, pkVerts, nullptr, nullptr, pkUV, 1, 0, 2, pusTris);
        NiRefPtr<NiMorphData> spMorph = new NiMorphData;
        spMorph->SetTargets(2, 4);
        spMorph->GetTarget(0)->SetName("Base");
        spMorph->GetTarget(1)->SetName("Smile");
        NiGeomMorpherControllerPtr spMorpher = new NiGeomMorpherController;
        spMorpher->SetMorphData(spMorph);
        spMorpher->SetInterpolator(new NiFloatInterpolator(0.5f), 1);
        spMorpher->SetTarget(spMorphed);
        NiRefPtr<NiUVData> spUV = new NiUVData;
        spUV->SetChannel(NiUVData::U_OFFSET, ThreeKeys(NI_FLOATKEY, NI_LINKEY), 3, NI_LINKEY);
        NiUVControllerPtr spScroll = new NiUVController;
        spScroll->SetUVData(spUV);
        spScroll->SetTarget(spMorphed);
        kSeeds.Add(SaveScene({spMorphed}));

        NiRefPtr<NiNode> spRig = new NiNode;
        NiRefPtr<NiNode> spBone = new NiNode;
        spRig->AttachChild(spBone);
        spRig->AttachChild(spMorphed);
        NiBoneLODControllerPtr spLOD = new NiBoneLODController;
        spLOD->SetNumberOfBoneLODs(2);
        spLOD->AddBone(0, spBone);
        spLOD->AddShape(spMorphed);
        NiRefPtr<NiSkinInstance> spLODSkin = new NiSkinInstance;
        spLODSkin->SetSkinData(new NiSkinData);
        spLOD->AddSkin(1, spMorphed, spLODSkin);
        spLOD->SetTarget(spRig);

        NiRefPtr<NiNode> spMover = new NiNode;
        spMover->SetName("Mover");
        spRig->AttachChild(spMover);
        NiPosDataPtr spPath = new NiPosData;
        spPath->ReplaceKeys(ThreeKeys(NI_POSKEY, NI_BEZKEY), 3, NI_BEZKEY);
        NiFloatDataPtr spPercent = new NiFloatData;
        spPercent->ReplaceKeys(ThreeKeys(NI_FLOATKEY, NI_LINKEY), 3, NI_LINKEY);
        NiTransformControllerPtr spOnPath = new NiTransformController;
        spOnPath->SetInterpolator(new NiPathInterpolator(spPath, spPercent));
        spOnPath->SetTarget(spMover);
        NiRefPtr<NiNode> spWatcher = new NiNode;
        spRig->AttachChild(spWatcher);
        NiLookAtInterpolatorPtr spLook = new NiLookAtInterpolator(spMover, NiLookAtInterpolator::Y, true);
        spLook->SetSub(NiLookAtInterpolator::ROLL, new NiFloatInterpolator(0.25f));
        spLook->SetSub(NiLookAtInterpolator::TRANSLATE, new NiPoint3Interpolator(NiVec3(1, 2, 3)));
        NiTransformControllerPtr spWatching = new NiTransformController;
        spWatching->SetInterpolator(spLook);
        spWatching->SetTarget(spWatcher);
        NiKeyframeManagerPtr spOldManager = new NiKeyframeManager;
        NiSequencePtr spSequence = new NiSequence("wave", 4, 4);
        spSequence->AddNameAndController("Mover", new NiTransformController);
        spOldManager->AddSequence(spSequence);
        spOldManager->SetTarget(spWatcher);
        kSeeds.Add(SaveScene({spRig}));
    }

    // A textured, lit, named scene holding one of every kind of scene
    // object below its root.
    NiRefPtr<NiNode> spRoot = new NiNode;
    spRoot->SetName("Scene Root");
    auto* pkVertices = new NiVec3[4]{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    auto* pkNormals = new NiVec3[4]{{0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
    auto* pkUVs = new NiVec2[4]{{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    auto* pusTriangles = new std::uint16_t[6]{0, 1, 2, 0, 2, 3};
    NiRefPtr<NiTriShape> spShape = new NiTriShape(4, pkVertices, pkNormals, nullptr, pkUVs, 1, 0, 2, pusTriangles);
    spShape->SetName("Square");
    spShape->AttachProperty(new NiTexturingProperty(Image(8, 8, NiPixelFormat::RGBA32, 0)));
    spShape->AddExtraData(new NiStringExtraData("floor"));
    spRoot->AttachChild(spShape);
    for (const char* pcClass : kClasses)
    {
        NiObjectPtr spObject = NiObjectStream::CreateObjectByName(pcClass);
        if (auto* pkEffect = NiDynamicCast<NiDynamicEffect>(spObject.Get()))
            spRoot->AttachEffect(pkEffect);
        if (auto* pkChild = NiDynamicCast<NiAVObject>(spObject.Get()))
            spRoot->AttachChild(pkChild);
        else if (auto* pkProperty = NiDynamicCast<NiProperty>(spObject.Get()))
            spRoot->AttachProperty(pkProperty);
        else if (auto* pkExtra = NiDynamicCast<NiExtraData>(spObject.Get()))
            spRoot->AddExtraData(pkExtra);
    }
    kSeeds.Add(SaveScene({spRoot}));
    kSeeds.Add(SaveScene({spShape, spRoot}));

    // The square skinned to two bones below a root of its own.
    NiRefPtr<NiNode> spSkinned = new NiNode;
    NiRefPtr<NiTriShape> spSkin = new NiTriShape(static_cast<NiTriShapeData*>(spShape->GetModelData()));
    NiRefPtr<NiNode> aspBones[2] = {new NiNode, new NiNode};
    spSkinned->AttachChild(spSkin);
    NiRefPtr<NiSkinData> spSkinData = new NiSkinData;
    auto spBoneData = std::make_unique<NiSkinData::BoneData[]>(2);
    spSkinData->SetBones(2, std::move(spBoneData));
    for (std::uint32_t uiBone = 0; uiBone < 2; ++uiBone)
    {
        spSkinned->AttachChild(aspBones[uiBone]);
        auto spWeights = std::make_unique<NiSkinData::SkinWeight[]>(2);
        spWeights[0] = {static_cast<std::uint16_t>(2 * uiBone), 1.0f};
        spWeights[1] = {static_cast<std::uint16_t>(2 * uiBone + 1), 1.0f};
        spSkinData->SetBoneWeights(uiBone, 2, std::move(spWeights));
    }
    NiRefPtr<NiSkinInstance> spInstance = new NiSkinInstance;
    spInstance->SetSkinData(spSkinData);
    spInstance->SetRootParent(spSkinned);
    for (std::uint32_t uiBone = 0; uiBone < 2; ++uiBone)
        spInstance->SetBone(uiBone, aspBones[uiBone]);
    spSkin->SetSkinInstance(spInstance);
    kSeeds.Add(SaveScene({spSkinned}));
    CollisionSeeds(kSeeds);

    // Pixel-data files, as the engine's own image format.
    kImages.Add(SaveScene({Image(4, 4, NiPixelFormat::RGB24, 1)}));
    kImages.Add(SaveScene({Image(8, 4, NiPixelFormat::RGBA32, 0)}));
    kImages.Add(SaveScene({Image(8, 8, NiPixelFormat::DXT1, 0)}));
    kImages.Add(SaveScene({Image(4, 4, NiPixelFormat::DXT5, 1)}));
    kImages.Add(SaveScene({Image(2, 2, NiPixelFormat::R5G6B5, 1)}));
    NiRefPtr<NiPixelData> spMapped = Image(4, 2, NiPixelFormat::PAL8, 1);
    spMapped->SetPalette(GreyPalette(256));
    kImages.Add(SaveScene({spMapped}));
    NiRefPtr<NiPixelData> spMapped4 = Image(4, 2, NiPixelFormat::PALA4, 1);
    spMapped4->SetPalette(GreyPalette(16));
    kImages.Add(SaveScene({spMapped4}));
}

Bytes Counting(std::size_t n)
{
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>(i * 7 + 1);
    return b;
}

void TgaSeeds(SeedFolder& kSeeds)
{
    auto TrueColor = [](std::uint16_t w, std::uint16_t h, std::uint8_t ucDepth, std::uint8_t ucType) {
        TgaHeader t;
        t.ucType = ucType;
        t.usWidth = w;
        t.usHeight = h;
        t.ucDepth = ucDepth;
        return t;
    };
    auto Mapped = [&](std::uint16_t w, std::uint16_t h, std::uint16_t usLength, std::uint8_t ucEntry,
                      std::uint8_t ucType) {
        TgaHeader t = TrueColor(w, h, 8, ucType);
        t.ucMapType = 1;
        t.usMapLength = usLength;
        t.ucMapEntrySize = ucEntry;
        return t;
    };
    kSeeds.Add(TgaFile(TrueColor(2, 2, 24, 2), Counting(12)));
    kSeeds.Add(TgaFile(TrueColor(2, 2, 32, 2), Counting(16)));
    kSeeds.Add(TgaFile(TrueColor(3, 1, 16, 2), Counting(6)));
    kSeeds.Add(TgaFile(TrueColor(2, 2, 8, 3), Counting(4)));
    kSeeds.Add(TgaFile(TrueColor(2, 1, 16, 3), Counting(4)));
    kSeeds.Add(TgaFile(TrueColor(3, 2, 24, 10), {0x01, 1, 2, 3, 4, 5, 6, 0x82, 30, 20, 10, 0x00, 9, 8, 7}));
    kSeeds.Add(TgaFile(TrueColor(2, 1, 16, 11), {0x81, 7, 9}));
    Bytes kMap = Counting(16 * 3);
    Append(kMap, {1, 2, 3, 4});
    kSeeds.Add(TgaFile(Mapped(4, 1, 16, 24, 1), kMap));
    kSeeds.Add(TgaFile(Mapped(2, 2, 2, 32, 9), {1, 2, 3, 4, 5, 6, 7, 8, 0x83, 1}));
    kSeeds.Add(TgaFile(Mapped(1, 1, 1, 16, 1), {0x1F, 0x7C, 0}));
    TgaHeader kBottomUp = TrueColor(2, 2, 24, 2);
    kBottomUp.ucDescriptor = 0;
    kBottomUp.ucIDLength = 3;
    kSeeds.Add(TgaFile(kBottomUp, Counting(12)));
}

void BmpSeeds(SeedFolder& kSeeds)
{
    auto Bmp = [](std::int32_t w, std::int32_t h, std::uint16_t usBits) {
        BmpHeader b;
        b.iWidth = w;
        b.iHeight = h;
        b.usBitCount = usBits;
        return b;
    };
    auto Palette = [](std::uint32_t uiEntries) {
        Bytes b;
        for (std::uint32_t i = 0; i < uiEntries; ++i)
            Append(b, {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i + 1), static_cast<std::uint8_t>(i + 2), 0});
        return b;
    };
    kSeeds.Add(BmpFile(Bmp(3, 2, 24), {}, Counting(24)));
    kSeeds.Add(BmpFile(Bmp(3, -2, 32), {}, Counting(24)));
    BmpHeader kEight = Bmp(3, 2, 8);
    kEight.uiColorsUsed = 4;
    kSeeds.Add(BmpFile(kEight, Palette(4), Bytes(8, 2)));
    kSeeds.Add(BmpFile(Bmp(5, 2, 4), Palette(16), Bytes(8, 0x12)));
    BmpHeader kFields = Bmp(2, 2, 32);
    kFields.uiCompression = 3; // bit fields
    Bytes kMasks;
    PutLE32(kMasks, 0xFF0000);
    PutLE32(kMasks, 0xFF00);
    PutLE32(kMasks, 0xFF);
    kSeeds.Add(BmpFile(kFields, {}, Counting(16), kMasks));
}

void DdsSeeds(SeedFolder& kSeeds)
{
    constexpr std::uint32_t CAPS_COMPLEX = 0x8;
    constexpr std::uint32_t CAPS_TEXTURE = 0x1000;
    constexpr std::uint32_t CAPS_MIPMAP = 0x400000;
    auto Rgb = [](std::uint32_t w, std::uint32_t h, std::uint32_t uiBits, std::uint32_t r, std::uint32_t g,
                  std::uint32_t b, std::uint32_t a) {
        DdsHeader d;
        d.uiWidth = w;
        d.uiHeight = h;
        d.uiPFFlags = 0x40 | (a ? 0x1 : 0);
        d.uiFourCC = 0;
        d.uiBitCount = uiBits;
        d.auiMasks[0] = r;
        d.auiMasks[1] = g;
        d.auiMasks[2] = b;
        d.auiMasks[3] = a;
        return d;
    };
    DdsHeader kChain;
    kChain.uiWidth = 8;
    kChain.uiHeight = 4;
    kChain.uiMipCount = 4;
    kChain.uiCaps1 = CAPS_COMPLEX | CAPS_TEXTURE | CAPS_MIPMAP;
    kSeeds.Add(DdsFile(kChain, Counting(16 + 8 + 8 + 8)));
    for (std::uint32_t uiFourCC : {0x31545844u, 0x33545844u, 0x35545844u}) // DXT1, DXT3, DXT5
    {
        DdsHeader kBlocks;
        kBlocks.uiFourCC = uiFourCC;
        kSeeds.Add(DdsFile(kBlocks, Counting(uiFourCC == 0x31545844u ? 8 : 16)));
    }
    kSeeds.Add(DdsFile(Rgb(3, 2, 16, 0x7C00, 0x3E0, 0x1F, 0x8000), Counting(12)));
    kSeeds.Add(DdsFile(Rgb(3, 2, 32, 0xFF0000, 0xFF00, 0xFF, 0), Counting(24)));
    kSeeds.Add(DdsFile(Rgb(3, 2, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000), Counting(24)));
    kSeeds.Add(DdsFile(Rgb(3, 2, 24, 0xFF0000, 0xFF00, 0xFF, 0), Counting(18)));
}

void SgiSeeds(SeedFolder& kSeeds)
{
    auto Sgi = [](std::uint16_t w, std::uint16_t h, std::uint16_t usChannels, std::uint8_t ucStorage,
                  std::uint8_t ucBytes) {
        SgiHeader s;
        s.usWidth = w;
        s.usHeight = h;
        s.usChannels = usChannels;
        s.ucStorage = ucStorage;
        s.ucBytesPerChannel = ucBytes;
        return s;
    };
    kSeeds.Add(SgiEncoded(Sgi(4, 2, 2, 1, 1),
                          {{{0x82, 7, 8, 0x02, 9, 0x00}, {0x04, 5, 0x00}}, {{0x84, 1, 2, 3, 4, 0}, {0x7F, 1, 0}}}));
    kSeeds.Add(SgiVerbatim(Sgi(2, 2, 3, 0, 2), {{Bytes(4, 1), Bytes(4, 2)}, {Bytes(4, 3), Bytes(4, 4)},
                                                {Bytes(4, 5), Bytes(4, 6)}}));
    kSeeds.Add(SgiVerbatim(Sgi(2, 1, 1, 0, 1), {{Bytes{9, 200}}}));
    kSeeds.Add(SgiVerbatim(Sgi(1, 2, 4, 0, 1), {{Bytes{1}, Bytes{2}}, {Bytes{3}, Bytes{4}}, {Bytes{5}, Bytes{6}},
                                                {Bytes{7}, Bytes{8}}}));
    kSeeds.Add(SgiEncoded(Sgi(2, 1, 3, 1, 1), {{{0x82, 1, 2, 0}}, {{0x02, 3, 0}}, {{0x82, 4, 5, 0}}}));
}

void FontSeeds(SeedFolder& kSeeds)
{
    kSeeds.Add(NiFontWriter::MakeGrid(4, 2, 3).ToBytes());
    NiFontWriter kFull = NiFontWriter::MakeGrid(96, 1, 2);
    kFull.m_uiHeight = 3;
    kFull.m_fTextureScale = 0.5f;
    kSeeds.Add(kFull.ToBytes());
    NiFontWriter kOld = NiFontWriter::MakeGrid(2, 1, 1);
    kOld.m_uiVersion = 0;
    kSeeds.Add(kOld.ToBytes());
}

void TextSeeds(SeedFolder& kTags, SeedFolder& kLines)
{
    // Documents written by the tag tree, as the game's data files are.
    const fs::path kTemp = kTags.GetFolder() / "document.tmp";
    COrvaneTagTree kTree;
    (void)kTree.AddChild("Game_Data");
    (void)kTree.FindChild("Game_Data");
    kTree.AddValue("Name");
    kTree.AddValue("12\t34\t5.5");
    (void)kTree.AddChild("Room");
    (void)kTree.FindChild("Room");
    kTree.AddValue("Kitchen");
    (void)kTree.AddChild("Empty");
    if (kTree.Save(kTemp.c_str()))
    {
        kTags.AddFile(kTemp);
        kLines.AddFile(kTemp);
    }
    if (kTree.SaveSplit(kTemp.c_str()))
        kLines.AddFile(kTemp.string() + "_DATA.txt");
    std::vector<std::uint8_t> kHand;
    const std::string kText = "# a comment\n<Settings>\nWidth\n1024\n\n<Inner>\nx\n</Inner>\n</Settings>\n</Extra>\n<";
    kHand.assign(kText.begin(), kText.end());
    kTags.Add(kHand);

    // Line files as the file class writes them, CR LF and LF alone.
    COrvaneFile kFile;
    if (kFile.Open(kTemp.c_str(), COrvaneFile::MODE_WRITE) != 0)
    {
        (void)kFile.WriteString("first line\r\nsecond\r\n\r\nlast without end");
        (void)kFile.Flush();
        kFile.Close();
        kLines.AddFile(kTemp);
    }
    const std::string kPlain = "a\nbb\n\nccc\n";
    kLines.Add(std::vector<std::uint8_t>(kPlain.begin(), kPlain.end()));
    std::error_code kError;
    fs::remove(kTemp, kError);
    fs::remove(kTemp.string() + "_TAGS.xml", kError);
    fs::remove(kTemp.string() + "_DATA.txt", kError);
}
// Interface pictures: the demo data's cursor, panel and maps; a saved
// preview; shaped font and map inputs (width - 1, height - 1, then the
// target's own bytes, then 24-bit pixels).
void UiSeeds(SeedFolder& kImages, SeedFolder& kPreviews, SeedFolder& kFonts, SeedFolder& kMaps)
{
    const fs::path kDemo = kImages.GetFolder() / "demo.tmp";
    if (WriteDemoInterface(kDemo.string()))
    {
        for (const char* pcName : {"cursor.tga", "images/demo/panel_h.tga", "images/demo/panel1_s.tga",
                                   "images/demo/row01.tga", "fonts/demo.tga"})
            kImages.AddFile(kDemo / pcName);
    }
    std::error_code kError;
    fs::remove_all(kDemo, kError);
    NiPixelDataPtr spPreview = new NiPixelData(8, 6, NiPixelFormat::RGBA32, 1);
    for (std::uint32_t i = 0; i < spPreview->GetSizeInBytes(); ++i)
        spPreview->GetPixels()[i] = static_cast<std::uint8_t>(i);
    kPreviews.Add(SaveScene({spPreview}));

    const std::vector<std::uint8_t> kKey = {255, 0, 255};
    auto Shaped = [](std::uint8_t ucWidth, std::uint8_t ucHeight, const std::vector<std::uint8_t>& kOwn,
                     const std::vector<std::vector<std::uint8_t>>& kRows) {
        std::vector<std::uint8_t> b = {static_cast<std::uint8_t>(ucWidth - 1), static_cast<std::uint8_t>(ucHeight - 1)};
        b.insert(b.end(), kOwn.begin(), kOwn.end());
        for (const auto& kRow : kRows)
            b.insert(b.end(), kRow.begin(), kRow.end());
        return b;
    };
    // Width 12, cells 2 high in two bands: "ab" then "c".
    auto Row = [&](std::initializer_list<int> kKeyColumns) {
        std::vector<std::uint8_t> kRow(12 * 3, 0);
        for (int x : kKeyColumns)
            std::copy(kKey.begin(), kKey.end(), kRow.begin() + 3 * x);
        return kRow;
    };
    const std::vector<std::uint8_t> kInk(12 * 3, 255);
    kFonts.Add(Shaped(12, 7, {3, 'a', 'b', 'c'}, {Row({0, 5, 9}), kInk, kInk, Row({0, 4}), kInk, kInk, Row({0})}));

    // A 16 x 8 map: red and blue keys, then white; a block of each below.
    std::vector<std::vector<std::uint8_t>> kRows(8, std::vector<std::uint8_t>(16 * 3, 40));
    auto Put = [&](int x, int y, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        kRows[y][3 * x] = r;
        kRows[y][3 * x + 1] = g;
        kRows[y][3 * x + 2] = b;
    };
    Put(0, 0, 255, 0, 0);
    Put(1, 0, 0, 0, 255);
    Put(2, 0, 255, 255, 255);
    for (int y = 2; y < 5; ++y)
        for (int x = 3; x < 7; ++x)
            Put(x, y, 255, 0, 0);
    Put(10, 6, 0, 0, 255);
    kMaps.Add(Shaped(16, 8, {0}, kRows));
    kMaps.Add(Shaped(16, 8, {1}, kRows));
}

// Saves' objects and statistics sections over the demo prison's templates:
// whole records of both saving kinds, an empty prison, a section without
// statistics, and damaged ones.
void ObjectsSeeds(SeedFolder& kSeeds)
{
    const std::string kCell = "prison1/cells/cell_single.nif|Scene Root\r\nCellFactory\r\n"
                              "4.00000,0.00000,-6.00000,90.0000\r\n3\r\n21,1,1\r\n";
    const std::string kGuard = "prison1/staff/guard1.nif|Scene Root\r\nSecurityGuardFactory\r\n"
                               "1.50000,0.00000,2.00000,180.000\r\n-1\r\n";
    const std::string kStatistics = "<STATISTICS>\r\n100000,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,500\r\n"
                                    "</STATISTICS>\r\n";
    for (const std::string& kText :
         {"<OBJECTS>\r\n" + kCell + kGuard + kCell + "</OBJECTS>\r\n" + kStatistics,
          "<OBJECTS>\r\n</OBJECTS>\r\n" + kStatistics, "<OBJECTS>\r\n" + kGuard + "</OBJECTS>\r\n",
          "<OBJECTS>\r\n" + kCell + kCell.substr(0, kCell.size() - 4) + "</OBJECTS>\r\n" + kStatistics,
          "<VERSION>\r\n1\r\n" + kStatistics})
        kSeeds.Add(std::vector<std::uint8_t>(kText.begin(), kText.end()));
}

// Characters' records as saves hold them (after the two name lines): in
// "wander", using an object, on a connector, with a short person line, and
// damaged ones.
void CharacterSeeds(SeedFolder& kCharacters)
{
    const std::string kHead = "4.00000,0.00000,-6.00000,90.0000\r\n1\r\n12\r\n-1\r\n1,40\r\n7\r\n-1\r\n4\r\n";
    const std::string kPerson = "0,0,1,0,100,2,3,4,77,30,2005,5,0,3,0,0,0,2\r\n";
    for (const std::string& kText :
         {kHead + "wander\r\n1,1,0\r\n-1\r\n" + kPerson,
          kHead + "objectUse\r\n3,3,0\r\n0\r\n1\r\nprison1/pause3\r\n2.50000\r\n1\r\n2,5\r\n" + kPerson,
          kHead + "objectUse\r\n2,2,0\r\n0\r\n0\r\n0.250000\r\n1\r\n-1\r\n" + kPerson,
          kHead + "connectorUse\r\n31.0000,0.00000,-2.00000\r\n-1\r\n" + kPerson,
          kHead + "pathToSpecific\r\n1,1,0\r\n1,2,3\r\n-1\r\n1,2,3\r\n",
          kHead + "spawn\r\n1,2\r\n-1\r\n" + kPerson, kHead + "escape\r\n0,0,0\r\n-1\r\n" + kPerson})
        kCharacters.Add(std::vector<std::uint8_t>(kText.begin(), kText.end()));
}

// Whole saved games: the header sections in full, partly missing and
// damaged, with objects of both saving kinds.
void SaveSeeds(SeedFolder& kSeeds)
{
    const std::string kHeader = "<VERSION>\r\n1\r\n12:00:00\r\nJan  1 2026\r\n</VERSION>\r\n<WORLD>\r\n0\r\n41\r\n"
                                "<CONDITIONS>\r\n3\r\n1,1,20,12,0,3\r\n0,0,-5000\r\n</CONDITIONS>\r\n<TIME>\r\n"
                                "2005,0,2,0\r\n840.3\r\n840.25\r\n1.23457e+06\r\n0.05\r\n12.5\r\n</TIME>\r\n"
                                "<UPGRADE_LEVEL>\r\n1\r\n</UPGRADE_LEVEL>\r\n</WORLD>\r\n";
    const std::string kObjects = "<OBJECTS>\r\nprison1/cells/cell_single.nif|Scene Root\r\nCellFactory\r\n"
                                 "4.00000,0.00000,-6.00000,90.0000\r\n3\r\n21,1,1\r\n"
                                 "prison1/staff/guard.nif|Scene Root\r\nSecurityGuardFactory\r\n"
                                 "1.50000,0.00000,2.00000,180.000\r\n-1\r\n</OBJECTS>\r\n<STATISTICS>\r\n"
                                 "100000,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,500\r\n</STATISTICS>\r\n";
    for (const std::string& kText : {kHeader + kObjects, kHeader, kObjects,
                                     std::string("<TIME>\r\n2005,1\r\n1410\r\n1409\r\n1\r\n1\r\n1\r\n"),
                                     std::string("<WORLD>\r\n-1\r\n0\r\n"), kHeader.substr(0, 200)})
        kSeeds.Add(std::vector<std::uint8_t>(kText.begin(), kText.end()));
}

// A whole saved game of the demo prison, as the game writes it: the
// play-through's buildings, furnished (their rooms hire staff, who come
// down the arrival road) and fenced, and prisoners admitted onto the yard;
// built in a game without a window, renderer or mouse in a copy of the demo
// data. Empty when the game could not build or save it.
std::vector<std::uint8_t> DemoPrisonSave(const fs::path& kRoot)
{
    setenv("SDL_VIDEODRIVER", "dummy", 0); // 0: keep the caller's choice
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    const fs::path kFolder = kRoot / "demo-prison";
    if (!os::Startup() || !BuildDemoData(kFolder.string()))
        return {};
    std::error_code kError;
    const fs::path kPrevious = fs::current_path();
    fs::current_path(kFolder);
    COrvaneApplication::LoadSettings();
    // The cursor is never over a panel: nothing draws them.
    CBuildPlacement::SetPanelTest([] { return false; });
    std::vector<std::uint8_t> kBytes;
    {
        CGame kGame;
        CBlockGrid* pkYard = nullptr;
        if (CHeadlessPrison::EnterLevel(kGame, 1))
        {
            kGame.SetMouse(nullptr);
            pkYard = CBlockGridManager::GetInstance()->FindGrid(1);
        }
        CPrisonStatistics* pkLedger = kGame.GetStatistics();
        bool bBuilt = pkYard != nullptr && pkLedger != nullptr;
        if (bBuilt)
        {
            // Money for everything and the highest prison level.
            pkLedger->m_iStartingFunds = 1000000;
            pkLedger->UpdateTotals();
            const auto Build = [&kGame, pkLedger](const CHeadlessPrison::Placed& kWhat, const CBlockGrid& kFloor,
                                                  std::int32_t iFrom) -> CBaseObject* {
                pkLedger->m_usPrisonLevel = 3;
                return CHeadlessPrison::Commit(kGame, kWhat, kFloor, iFrom, true);
            };
            const std::int32_t iColumns = pkYard->GetColumns();
            for (const CHeadlessPrison::Building& kBuilding : CHeadlessPrison::PlayPrison())
            {
                auto* pkBuilding = dynamic_cast<CWorldObject*>(Build(
                    {"WorldObjectFactory", kBuilding.m_pcTemplate}, *pkYard, kBuilding.m_iRow * iColumns + kBuilding.m_iColumn));
                if (pkBuilding != nullptr)
                    CHeadlessPrison::Furnish(kGame, *pkBuilding, kBuilding.m_kInside, Build);
                bBuilt = bBuilt && pkBuilding != nullptr;
            }
            bBuilt = bBuilt && Build({"BaseObjectFactory", "fence"}, *pkYard,
                                     CHeadlessPrison::FENCE_ROW * iColumns + CHeadlessPrison::FENCE_COLUMN) != nullptr;
            bBuilt = bBuilt && CHeadlessPrison::Admit(kGame, 8) == 8;
        }
        if (bBuilt && kGame.SaveGame("prison.fds"))
        {
            std::ifstream kIn(kFolder / "prison.fds", std::ios::binary);
            kBytes.assign(std::istreambuf_iterator<char>(kIn), {});
        }
        kGame.ResetGame();
    }
    CBuildPlacement::Destroy();
    CBuildPlacement::SetPanelTest(nullptr);
    COrvaneApplication::ResetSettings();
    CCamera::ResetCurrent();
    CGame::ResetStatics();
    fs::current_path(kPrevious, kError);
    fs::remove_all(kFolder, kError);
    os::Shutdown();
    return kBytes;
}

// Language files: three languages, an entry with too few values, a wrongly
// numbered entry, Latin-1 letters.
void LanguageSeeds(SeedFolder& kSeeds)
{
    const std::string kText = "<LANGUAGE>\r\n<InGameMessages>\r\n<0>\r\nPrison\r\nGef\xe4ngnis\r\nPrison\r\n</0>\r\n"
                              "<1>\r\nguard on duty\r\nWache\r\n</1>\r\n<3>\r\nx\r\ny\r\nz\r\n</3>\r\n"
                              "</InGameMessages>\r\n<Empty>\r\n</Empty>\r\n</LANGUAGE>\r\n";
    kSeeds.Add(std::vector<std::uint8_t>(kText.begin(), kText.end()));
}

// Build menus: the demo's layouts with numbered thumbnails, an empty
// category, a category without plans, an inside menu without categories
// and a prison of another level.
void BuildMenuSeeds(SeedFolder& kSeeds)
{
    const std::string kMenu =
        "<TEMPLATES>\r\n<PRISON1>\r\n<BUILD_OBJECTS>\r\n<BUILDINGS>\r\n<panel>\r\n"
        "images/panels/build/icons_ext.tga\r\nimages/panels/build/page.tga\r\n</panel>\r\n"
        "<BUILDINGS_CELLBLOCKS>\r\n<plans>\r\n<cellblock_small>\r\nprison1/cellblocks/cellblock_small.nif\r\n"
        "<thumbnail>\r\nimages/panels/build/thumbs/cellblocks/cellblock_small.tga\r\n7\r\n</thumbnail>\r\n"
        "</cellblock_small>\r\n<shed>\r\n<thumbnail>\r\n</thumbnail>\r\n</shed>\r\n</plans>\r\n"
        "</BUILDINGS_CELLBLOCKS>\r\n<EMPTY>\r\n<plans>\r\n</plans>\r\n</EMPTY>\r\n<NO_PLANS>\r\n</NO_PLANS>\r\n"
        "</BUILDINGS>\r\n<CONTENTS>\r\n<panel>\r\nimages/panels/build/icons_int.tga\r\n"
        "images/panels/build/page.tga\r\n</panel>\r\n</CONTENTS>\r\n</BUILD_OBJECTS>\r\n</PRISON1>\r\n"
        "</TEMPLATES>\r\n";
    const std::string kOtherLevel = "<PRISON2>\r\n<BUILD_OBJECTS>\r\n<BUILDINGS>\r\n<panel>\r\n</panel>\r\n"
                                    "</BUILDINGS>\r\n</BUILD_OBJECTS>\r\n</PRISON2>\r\n";
    for (const std::string& kText : {kMenu, kOtherLevel})
        kSeeds.Add(std::vector<std::uint8_t>(kText.begin(), kText.end()));
}

// Statistics lines as saves hold them: fresh, full (with the purchases),
// older (20 and 19 values) and short lines, and a section whose line is
// missing.
void StatisticsSeeds(SeedFolder& kStatistics)
{
    const char* const apcSeeds[] = {
        "100000,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,500,0\r\n",
        "100000,2000,150,40,300,120,35,0,2500,6,1,2,1,3,4,0,1,2,0,480,78000\r\n",
        "100000,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,500\r\n",
        "-5,0,0,0,0,0,0,0,0,70000,0,0,0,0,0,0,0,0,65535,1000\n",
        "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19\r\n7,8,9\r\n",
        "</STATISTICS>\r\n",
    };
    for (const char* pcSeed : apcSeeds)
    {
        const std::string kSeed = pcSeed;
        kStatistics.Add(std::vector<std::uint8_t>(kSeed.begin(), kSeed.end()));
    }
}

// Placeable objects' records as saves hold them: with posts, without, a
// building's of a file without version, and damaged ones.
void BaseObjectSeeds(SeedFolder& kObjects)
{
    const std::string kHead = "prison1/guardroom/guardroom.nif|Scene Root\r\nBaseObjectFactory\r\n"
                              "4.00000,0.00000,-6.00000,90.0000\r\n1\r\n27,2,1\r\n";
    const std::string kPost = "0,0,1,0,100,0,2,1,0,40,2005,0,0,7,0,0,25,0\r\n";
    const std::string apcSeeds[] = {
        kHead + "4,0,0,60\r\n7,3\r\n2\r\n" + kPost + kPost,
        kHead + "0,0,0,100\r\n0,0\r\n0\r\n",
        kHead + "0,0,0,100\r\n2,3\r\n",
        kHead + "1,2\r\n5\r\n4000000000\r\n1,2\r\nabc,70000,-,,\r\n",
    };
    for (const std::string& kSeed : apcSeeds)
        kObjects.Add(std::vector<std::uint8_t>(kSeed.begin(), kSeed.end()));
}

// Level texts as the game's world reads them: areas with door runs, the
// camera, the protesters, connectors and the arrival road.
void GameLevelSeeds(SeedFolder& kLevels)
{
    const char* const apcSeeds[] = {
        "map_1_40_40_0_2\nmap_2_6_8_0_2,2-4,7\ncamera_45\nprotest\nconnectorA_1_2\nspawn_road\n",
        "map_camera_3_4_4_0_2,0-3\nmap_5_0_4_0_2\nmap_6_4_4\nconnectorC_1_9\n",
        "map_9_512_512_255_1,-1-99999,1e30\n",
    };
    for (const char* pcSeed : apcSeeds)
    {
        const std::string kSeed = pcSeed;
        kLevels.Add(std::vector<std::uint8_t>(kSeed.begin(), kSeed.end()));
    }
}

// Each plan group of a game-data document alone, inside the sections that
// hold it: the whole document names every model of the demo data, and
// reading them all was most of an input's time.
void TemplateGroupSeeds(const fs::path& kPath, SeedFolder& kSeeds)
{
    std::ifstream kIn(kPath, std::ios::binary);
    std::vector<std::string> kLines;
    for (std::string kLine; std::getline(kIn, kLine);)
        kLines.push_back(kLine + "\n");
    std::vector<std::string> kOpen;
    for (std::size_t i = 0; i < kLines.size(); ++i)
    {
        const std::string kTag = kLines[i].substr(0, kLines[i].find_last_not_of("\r\n") + 1);
        if (kTag.size() < 3 || kTag.front() != '<' || kTag.back() != '>')
            continue;
        if (kTag[1] == '/')
        {
            if (!kOpen.empty())
                kOpen.pop_back();
            continue;
        }
        if (kTag != "<plans>" || kOpen.empty() || kOpen.front() != "<TEMPLATES>")
        {
            kOpen.push_back(kTag);
            continue;
        }
        std::string kText;
        for (const std::string& kOuter : kOpen)
            kText += kOuter + "\r\n";
        std::size_t j = i;
        for (; j < kLines.size(); ++j)
        {
            kText += kLines[j];
            if (kLines[j].rfind("</plans>", 0) == 0)
                break;
        }
        for (auto kIt = kOpen.rbegin(); kIt != kOpen.rend(); ++kIt)
            kText += "</" + kIt->substr(1) + "\r\n";
        kSeeds.Add(std::vector<std::uint8_t>(kText.begin(), kText.end()));
        i = j;
    }
}

// The demo data set, as the game reads it: its models, documents and engine
// fonts go to the targets that load them, its levels to the level loader
// and its scenario's save to the scenario list.
bool DemoDataSeeds(const fs::path& kRoot, SeedFolder& kScene, SeedFolder& kFont, SeedFolder& kTags, SeedFolder& kLines,
                   SeedFolder& kTemplates, SeedFolder& kNsb, SeedFolder& kLauncher, SeedFolder& kLevels,
                   SeedFolder& kScenarios)
{
    const fs::path kData = kRoot / "demo-data";
    if (!BuildDemoData(kData.string()))
        return false;
    std::error_code kError;
    for (const fs::directory_entry& kEntry : fs::recursive_directory_iterator(kData, kError))
    {
        if (!kEntry.is_regular_file())
            continue;
        const fs::path& kPath = kEntry.path();
        const std::string kExt = kPath.extension().string();
        if (kExt == ".nif" || kExt == ".kf")
            kScene.AddFile(kPath);
        if (kExt == ".nif" && kPath.parent_path().filename() == "levels")
            kLevels.AddFile(kPath);
        else if (kExt == ".fds")
            kScenarios.AddFile(kPath);
        else if (kExt == ".nsb")
            kNsb.AddFile(kPath);
        else if (kExt == ".nff")
            kFont.AddFile(kPath);
        else if (kExt == ".xml")
        {
            kTags.AddFile(kPath);
            kLines.AddFile(kPath);
            if (kPath.filename() == "data.xml")
            {
                kTemplates.AddFile(kPath);
                TemplateGroupSeeds(kPath, kTemplates);
            }
            if (kPath.filename() == "setup.xml")
                kLauncher.AddFile(kPath);
        }
    }
    fs::remove_all(kData, kError);
    return true;
}
} // namespace

// Binary shader files: the smallest, and one with a record of each kind in
// every list (the demo data adds its own).
void NsbSeeds(SeedFolder& kFolder)
{
    auto Add = [&](NSBShader& kShader) {
        NiMemoryStream kStream;
        if (!kShader.SaveBinary(kStream))
            kFolder.Fail();
        kFolder.Add(std::vector<std::uint8_t>(kStream.GetBuffer(), kStream.GetBuffer() + kStream.GetSize()));
    };
    NSBShaderPtr spMinimal = new NSBShader;
    spMinimal->SetName("Minimal");
    Add(*spMinimal);

    NSBShaderPtr spFull = new NSBShader;
    spFull->SetName("Full");
    spFull->SetDescription("one of each record");
    NSBUserDefinedDataSetPtr spSet = new NSBUserDefinedDataSet;
    const float afValues[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    spSet->GetBlock("Wind", true)->AddEntry("Speed", 0x10000004, 4, 4, afValues, true);
    spFull->SetUserDefinedDataSet(spSet);
    NSBAttributeDescPtr spGloss = new NSBAttributeDesc;
    spGloss->SetName("Gloss");
    spGloss->SetValue_Float(0.5f);
    spGloss->SetRange_Float(0.0f, 1.0f);
    spGloss->SetRanged(true);
    spFull->GetAttributeTable().AddAttribDesc(spGloss);
    NSBAttributeDescPtr spTexture = new NSBAttributeDesc;
    spTexture->SetName("Base");
    spTexture->SetValue_Texture(0, "base.dds");
    spFull->GetGlobalAttributeTable().AddAttribDesc(spTexture);
    spFull->GetPackingDef("Skin", true)->AddPackingEntry(0, 0, 0, 2, 0, 14, 0);
    NSBImplementation* pkImplementation = spFull->AddImplementation("Main", true, 0);
    pkImplementation->GetRequirements()->SetPSVersion(0xFFFF0200);
    pkImplementation->SetPackingDef("Skin");
    pkImplementation->GetRenderStateGroup()->SetState(7, 1, true);
    NSBConstantMap* pkMap = pkImplementation->GetPixelConstantMap();
    pkMap->AddEntry("Color", 0x1000000A, 0, 0, 1, "gColor", 16, 4, afValues, true);
    pkMap->AddPlatformSpecificEntry(1 | 2 | 4, "Fog", 0x20000004, 0, 1, 1, nullptr, 0, 0, nullptr, false);
    NSBPass* pkPass = pkImplementation->GetPass(0, true);
    pkPass->SetPixelShaderProgramFile(NSBPass::SLOT_DX9, "a.psh");
    pkPass->GetVertexConstantMap()->AddEntry("WVP", 0x20000009, 0, 0, 4, nullptr, 0, 0, nullptr, false);
    NSBTextureStage* pkStage = pkPass->GetStage(1, true);
    pkStage->GetSamplerStageGroup()->SetState(5, 2, false);
    pkStage->SetTextureTransformation(afValues);
    pkStage->SetUseTextureTransformation(true);
    Add(*spFull);
}

// Files of each kind the platform loader takes (and a few it refuses): the
// fuzzer starts from whole, sound headers.
void DdsTextureSeeds(SeedFolder& kFolder)
{
    using ddsfixture::Spec;
    auto Make = [](gfx::D3DFORMAT eFormat, std::uint32_t uiW, std::uint32_t uiH, std::uint32_t uiLevels) {
        Spec kSpec;
        kSpec.format = eFormat;
        kSpec.width = uiW;
        kSpec.height = uiH;
        kSpec.levels = uiLevels;
        return kSpec;
    };
    Spec kCube = Make(gfx::D3DFMT_DXT5, 8, 8, 4);
    kCube.cube = true;
    Spec kFloatCube = Make(gfx::D3DFMT_A32B32G32R32F, 4, 4, 3);
    kFloatCube.cube = true;
    // Volumes of each kind the device makes: 32-bit with a chain, blocks, bump texels.
    auto Volume = [&](gfx::D3DFORMAT eFormat, std::uint32_t uiW, std::uint32_t uiH, std::uint32_t uiD,
                      std::uint32_t uiLevels) {
        Spec kSpec = Make(eFormat, uiW, uiH, uiLevels);
        kSpec.volume = true;
        kSpec.depth = uiD;
        return kSpec;
    };
    for (const Spec& kSpec :
         {Make(gfx::D3DFMT_DXT1, 16, 8, 5), Make(gfx::D3DFMT_DXT3, 8, 8, 1), Make(gfx::D3DFMT_A8R8G8B8, 4, 4, 3),
          Make(gfx::D3DFMT_R5G6B5, 8, 2, 4), Make(gfx::D3DFMT_A4R4G4B4, 3, 5, 3), Make(gfx::D3DFMT_R8G8B8, 2, 2, 1),
          Make(gfx::D3DFMT_P8, 4, 4, 1), Make(gfx::D3DFMT_V8U8, 4, 4, 2), kCube,
          Volume(gfx::D3DFMT_A8R8G8B8, 4, 4, 4, 3), Volume(gfx::D3DFMT_X8R8G8B8, 8, 2, 4, 4),
          Volume(gfx::D3DFMT_DXT1, 8, 8, 3, 2), Volume(gfx::D3DFMT_DXT5, 4, 4, 2, 1), Volume(gfx::D3DFMT_V8U8, 2, 2, 8, 4),
          // Floats of both widths, named by their format numbers.
          Make(gfx::D3DFMT_A16B16G16R16F, 4, 4, 3), Make(gfx::D3DFMT_R32F, 8, 2, 4), kFloatCube,
          Volume(gfx::D3DFMT_G16R16F, 4, 2, 2, 3)})
        kFolder.Add(ddsfixture::Build(kSpec));
}

// Assembly texts of each model, with modifiers, relative addressing,
// predicates and macros: the fuzzer starts from programs that assemble.
void ShaderAssemblySeeds(SeedFolder& kFolder)
{
    const char* const apcTexts[] = {
        "vs_1_1\ndcl_position v0\ndcl_normal v1\nm4x4 oPos, v0, c0\ndp3 r0.x, v1, c4\nmov oD0, r0.x\n"
        "mov oT0.xy, c[a0.x]\n",
        "ps.1.1\ndef c0, 1.0, 0.5, -2.0, 0.0\ntex t0\nmul_x2 r0.rgb, t0_bx2, -c0\n+mov_sat r0.a, 1-v0.a\n",
        "ps_1_4\ntexld r0, t0\ntexcrd r1.rgb, t1\nphase\ncnd r0, r1.a, r0, c0 ; last\n",
        "ps_2_0\ndcl t0.xy\ndcl_2d s0\ndcl_cube s1\ntexld r0, t0, s0\ntexldp_pp r1, t0, s1\n"
        "mov oC0, r0\n",
        "#define POS v0\nvs_2_x\ndefb b0, true\ndefi i0, 3, 0, 1, 0\ndcl_texcoord1 v1\nmova a0.x, v1.x\n"
        "setp_gt p0.x, v1.x, c0.y\n(!p0.x) mov r0, c[a0.x + 3]\nrep i0\nadd r0, r0, POS\nendrep\n",
        "vs_3_0\ndcl_position o0\ndcl_texcoord0 v0\ndcl_2d s0\ntexldl r0, v0, s0\nloop aL, i0\n"
        "mov o0, v[aL]\nendloop\n",
    };
    for (const char* pcText : apcTexts)
        kFolder.Add(std::vector<std::uint8_t>(pcText, pcText + std::strlen(pcText)));
}

// Compiled high-level programs of both kinds as the container fuzzer reads
// them: a byte (0: take as stored) and the code.
void ShaderContainerSeeds(SeedFolder& kFolder)
{
    struct Source
    {
        const char* pcText;
        const char* pcProfile;
    };
    const Source akSources[] = {
        {"float4x4 WorldViewProj;\nfloat4 Tint : register(c2);\nfloat4x3 Bones[4];\n"
         "void main(float4 p : POSITION, float4 bi : BLENDINDICES, float2 uv : TEXCOORD0, out float4 o : POSITION,"
         " out float2 t : TEXCOORD0, out float4 c : COLOR0)\n"
         "{ o = mul(float4(mul(p, Bones[(int)bi.x]), 1), WorldViewProj); t = uv; c = Tint; }\n",
         "vs_2_0"},
        {"sampler2D Base : register(s0);\nsamplerCUBE Sky;\nfloat4 Scale = {1, 0.5, 0.25, 1};\nbool On;\n"
         "float4 main(float2 uv : TEXCOORD0, float4 c : COLOR0) : COLOR\n"
         "{ return tex2D(Base, uv) * c * Scale + texCUBE(Sky, uv.xyy) * (On ? 1 : 0); }\n",
         "ps_3_0"},
    };
    for (const Source& kSource : akSources)
    {
        gfx::ID3DXBuffer* pkCode = nullptr;
        if (gfx::FAILED(gfx::D3DXCompileShader(kSource.pcText, static_cast<std::uint32_t>(std::strlen(kSource.pcText)),
                                               "main", kSource.pcProfile, 0, &pkCode, nullptr, nullptr)))
            continue;
        const auto* pucCode = static_cast<const std::uint8_t*>(pkCode->GetBufferPointer());
        std::vector<std::uint8_t> kSeed(1, 0);
        kSeed.insert(kSeed.end(), pucCode, pucCode + pkCode->GetBufferSize());
        kFolder.Add(kSeed);
        kSeed[0] = 1; // the same, its header made right again after any change
        kFolder.Add(kSeed);
        pkCode->Release();
    }
}

// High-level sources as the source fuzzer reads them: a byte naming the
// profile (its place in the fuzzer's list: vs_1_1, vs_2_0, vs_3_0, ps_2_0,
// ps_3_0), then the text.
void HlslSourceSeeds(SeedFolder& kFolder)
{
    struct Source
    {
        std::uint8_t ucProfile;
        const char* pcText;
    };
    const Source akSources[] = {
        {1, "float4x4 WorldViewProj;\nfloat4 Tint : register(c2);\nfloat4x3 Bones[4];\n"
            "void main(float4 p : POSITION, float4 bi : BLENDINDICES, float2 uv : TEXCOORD0, out float4 o : POSITION,"
            " out float2 t : TEXCOORD0, out float4 c : COLOR0)\n"
            "{ o = mul(float4(mul(p, Bones[(int)bi.x]), 1), WorldViewProj); t = uv; c = Tint; }\n"},
        {4, "sampler2D Base : register(s0);\nsamplerCUBE Sky;\nfloat4 Scale = {1, 0.5, 0.25, 1};\nbool On;\n"
            "float2 Taps[2] = {0.1, 0.2, -0.3, 0.4};\n"
            "struct In { float2 uv : TEXCOORD0; float4 c : COLOR0; };\n"
            "float4 main(In i, float f : VFACE) : COLOR\n"
            "{ float4 s = tex2D(Base, i.uv + Taps[1]) * i.c * Scale;\n"
            "  return lerp(s, texCUBE(Sky, i.uv.xyy), saturate(f)) * (On ? 1 : 0); }\n"},
        {3, "#pragma pack_matrix(row_major)\nfloat3x3 Turn;\nsampler s;\n"
            "float4 main(float2 uv : TEXCOORD0) : COLOR { return tex2Dproj(s, float4(mul(float3(uv, 1), Turn), 1)); }\n"},
        // Saved by Windows and older Mac editors: a byte-order mark, CR LF
        // and lone CR line ends, a comment ended by a lone CR.
        {3, "\xEF\xBB\xBF"
            "// tint\rfloat4 Tint;\rfloat4 main() : COLOR\r\n{ return Tint; }\r\n"},
        // Forms the compile refuses: a swizzle written twice, a division by
        // a constant zero, a local array indexed past the registers.
        {4, "int k;\nfloat4 main() : COLOR\n{ float4 x = 0; x.xzzx = 1; int a = 1, b = 0; float4 l[40];\n"
            "  for (int i = 0; i < 40; ++i) l[i] = i;\n  return x + a / b + l[k]; }\n"},
        // An effect file's entry: annotations, strings, shader objects and
        // techniques around it; uniform parameters; a local flat list.
        {3, "string Name = \"a; <b>\";\nfloat Level < string UIName = \"level\"; > = 0.5;\n"
            "float4 main(float2 uv : TEXCOORD0, uniform sampler2D tex, uniform float4 tints[2]) : COLOR\n"
            "{ static const float2 taps[2] = { 0.1, -0.2, 0.3, 0.4 };\n"
            "  return tex2D(tex, uv + taps[1]) * tints[1] * Level; }\n"
            "PixelShader P = compile ps_2_0 main();\n"
            "technique T < int Order = 1; > { pass P0 < string N = \"x\"; > { PixelShader = (P); } }\n"},
        // A bone palette handed whole to a function, written through out parameters.
        {2, "float3x4 Bones[4];\nfloat3 Skin(float3x4 b[4], float4 p, int i) { return mul(b[i], p); }\n"
            "void main(float4 p : POSITION, float4 i : BLENDINDICES, out float4 o : POSITION, out float s : PSIZE,\n"
            "          inout float4 c : COLOR0) { int4 k = D3DCOLORtoUBYTE4(i); o = float4(Skin(Bones, p, k.x), 1); s = 1; }\n"},
        // The front end dereferences null on it (growing the uniform block)
        // in its child: a refusal, and no crash file of the fuzzer's.
        {3, "#pragma pfloat4ack_matrix(row_maj-or)\nfloat3x3 Turn;\nsampler s;\n"
            "float4 main(float2 uv : TEXCOORD0) : COLOR s return tex2Dproj(s, float4(mul(float3loat2 uv : TEXCOORD0) : "
            "COLOR { return tex2Dproj(s, float4(mul(f(halfuv, 1), Turn), 1)); }\n"},
        // Globals only the preprocessor makes: marker words, registers by
        // macro and by profile, a declaring macro.
        {1, "#define BEGIN_CONSTANTS\n#define END_CONSTANTS\n#define _vs(r) : register(vs, r)\n"
            "#define _ps(r) : register(ps, r)\n#define DECL(n) float4 n;\nBEGIN_CONSTANTS\n"
            "float4 Tint _vs(c3) _ps(c1);\nfloat4 A : register(vs_2_0, c5) : register(vs, c6) : register(c9);\n"
            "DECL(B)\nEND_CONSTANTS\nfloat4 main(float4 p : POSITION) : POSITION { return p * Tint + A + B; }\n"},
        // Array sizes by macro and constant expression, branches taken and
        // not, a condition, samplers bound per target.
        {4, "#define N 4\nstatic const int Three = 3;\nfloat4 L[N * Three];\n#ifdef SKINNED\nfloat4 Bones[BONES];\n"
            "#else\nfloat4 Tint : register(c20);\n#endif\n#if N > 2 && !defined(SKINNED)\n#define DECL(t, n) t n;\n"
            "DECL(float4, Extra)\n#endif\nsampler2D S : register(ps_3_0, s2) : register(ps, s1);\n"
            "float4 main(float2 uv : TEXCOORD0) : COLOR { return L[N * Three - 1] * Tint + Extra * tex2D(S, uv); }\n"},
        // Renumbered lines, a packing pragma after a matrix, a continued
        // line, a call over lines.
        {3, "#line 10 \"named.fx\"\nfloat4x4 Before;\n#pragma pack_matrix(row_major)\nfloat4x4 \\\n After;\n"
            "/* a comment */ #define MUL(a, b) mul(a, b)\nfloat4 main(float4 c : COLOR0) : COLOR\n"
            "{ return MUL(c,\n Before) + MUL(c, After); }\n"},
        // A SamplerState, casts to one-row and one-column matrices, a constant
        // vector indexed by a loop's counter, VPOS written with `in`.
        {4, "SamplerState s0;\nfloat2x4 M;\nfloat3 G;\n"
            "float4 main(float2 uv : TEXCOORD0, in float2 p : VPOS) : COLOR0\n"
            "{ float s = 0; for (int i = 0; i < 3; ++i) s += G[i];\n"
            "  float4 r = (float1x4)M + (float4x1)M._11_12_21_22 + float1x4(p, s, 1);\n"
            "  return tex2D(s0, uv) * r; }\n"},
    };
    for (const Source& kSource : akSources)
    {
        std::vector<std::uint8_t> kSeed(1, kSource.ucProfile);
        kSeed.insert(kSeed.end(), kSource.pcText, kSource.pcText + std::strlen(kSource.pcText));
        kFolder.Add(kSeed);
    }
    // The text passes' hostile shapes, each a head and a unit repeated to
    // about 12 KB, and an effect's keywords capitalised.
    const struct
    {
        std::uint8_t ucProfile;
        const char* pcHead;
        const char* pcUnit;
    } akShapes[] = {
        {3, "", "main("},
        {3, "float4 main(uniform float4 u) : COLOR { return u", "+u"},
        {4, "float4 main() : COLOR { ", "for("},
        {3, "", "{"},
        {3, "", "float a=(1;"},
        {3, "float4 main() : COLOR { float4 L[] = {", "1,"},
        {3, "", "Technique T < int a = 1; > { Pass P { PixelShader = compile ps_2_0 main(); } }\n"},
        {3, "texture ", "t, "},
        {3, "struct S { float4 a; float b; };\n", "S g; "},
    };
    for (const auto& kShape : akShapes)
    {
        std::string kText = kShape.pcHead;
        while (kText.size() + std::strlen(kShape.pcUnit) < 12000)
            kText += kShape.pcUnit;
        std::vector<std::uint8_t> kSeed(1, kShape.ucProfile);
        kSeed.insert(kSeed.end(), kText.begin(), kText.end());
        kFolder.Add(kSeed);
    }
    const char* pcCapitalised = "float4 Tint;\nfloat4 main(float4 c : COLOR0) : COLOR { return c * Tint; }\n"
                                "TECHNIQUE Lit { PASS P0 { PixelShader = compile ps_2_0 main(); } }\n"
                                "Technique Other < string Name = \"x\"; > { Pass { CullMode = None; } }\n";
    std::vector<std::uint8_t> kCapitalised(1, 3);
    kCapitalised.insert(kCapitalised.end(), pcCapitalised, pcCapitalised + std::strlen(pcCapitalised));
    kFolder.Add(kCapitalised);
}

// High-level sources whose registers depend on what the program reads: globals
// never read beside a palette, explicit registers shared by constants of which
// one is read, a matrix read in part, and palettes indexed by floats.
void HlslRegisterSeeds(SeedFolder& kFolder)
{
    const std::pair<std::uint8_t, const char*> akSources[] = {
        {2, "float4x3 Bones[64];\nuniform float4 Unused[100];\nfloat4 Tint, Never[20];\n"
            "float4 main(float4 p : POSITION, float4 i : BLENDINDICES) : POSITION\n"
            "{ return float4(mul(p, Bones[D3DCOLORtoUBYTE4(i).x]), 1) * Tint; }\n"},
        {3, "sampler2D Diffuse : register(s0);\nsamplerCUBE Sky : register(s0);\nfloat4x4 Other : register(c0);\n"
            "float4 Tint : register(c1);\nfloat4 main(float2 uv : TEXCOORD0) : COLOR { return tex2D(Diffuse, uv) * Tint; }\n"},
        {1, "float4x4 World : register(c16);\nfloat3x3 WIT : register(c19);\nfloat4 Some[8];\n"
            "float4 main(float4 p : POSITION, float3 n : NORMAL) : POSITION\n"
            "{ return float4(mul(p, World).xyz + mul(n, WIT), 1) + Some[0] + Some[2]; }\n"},
        {0, "float4x3 Bones[8];\nfloat4 main(float4 p : POSITION, float2 w : BLENDWEIGHT, float4 idx : BLENDINDICES)"
            " : POSITION\n{ float4 i = D3DCOLORtoUBYTE4(idx);\n"
            "  return float4(mul(p, Bones[i.x]) * w.x + mul(p, Bones[i.y]) * w.y, 1); }\n"},
        {2, "float4 Pal[4] : register(c1);\nfloat4 main(float4 p : POSITION, float4 idx : BLENDINDICES) : POSITION\n"
            "{ float4 s = 0; for (int k = 0; k < 2; k++) s += Pal[idx[k] - 0.6]; return p + s; }\n"},
    };
    for (const auto& [ucProfile, pcText] : akSources)
    {
        std::vector<std::uint8_t> kSeed(1, ucProfile);
        kSeed.insert(kSeed.end(), pcText, pcText + std::strlen(pcText));
        kFolder.Add(kSeed);
    }
}

// Declaration forms: struct types defined in a global's declaration, arrays
// of inputs and outputs with semantics, the tex1D family, sampler blocks
// without sampler_state and the Direct3D 10 semantic names (profile byte as
// above).
void HlslDeclarationFormSeeds(SeedFolder& kFolder)
{
    struct Source
    {
        std::uint8_t ucProfile;
        const char* pcText;
    };
    const Source akSources[] = {
        {3, "uniform struct { float4 a; float4 b; } cb;\nstruct N { float4 t; bool f; } nb, spare;\n"
            "float4 main(float4 c : COLOR0) : COLOR { return (nb.f ? cb.b : cb.a) * nb.t; }\n"},
        {1, "struct VO { float4 p : POSITION; float4 t[3] : TEXCOORD1; };\n"
            "VO main(float4 p : POSITION, float4 w[2] : COLOR0) { VO o; o.p = p; o.t[0] = w[0]; o.t[1] = w[1];"
            " o.t[2] = 0; return o; }\n"},
        {4, "sampler1D s;\nsampler g : register(s2);\n"
            "float4 main(float4 t[2] : TEXCOORD0) : SV_Target0 { return tex1D(s, t[0].x) + tex1Dlod(s, t[1])"
            " + tex1Dgrad(g, t[0].y, ddx(t[0].y), ddy(t[0].y)) + tex1Dproj(s, t[1]) + tex1Dbias(g, t[0]); }\n"},
        {3, "texture T;\nsampler2D s { Texture = <T>; MinFilter = Point; }, other : register(s3);\n"
            "struct PO { float4 c : SV_Target; float d : SV_Depth; };\n"
            "PO main(float2 uv : TEXCOORD0) { PO o; o.c = tex2D(s, uv) + tex1D(other, uv.x); o.d = 0.5; return o; }\n"},
        {1, "void main(float4 p : POSITION, out float4 o : SV_Position, out float4 c[2] : COLOR0)"
            " { o = p; c[0] = p; c[1] = 1; }\n"},
        // Typedefs, template element types, sampler arrays and the intrinsics
        // GLSL 3.30 has no word for.
        {4, "typedef float4 colour;\ntypedef int2 pair;\ncolour Base;\npair P;\nvector<int, 2> Q;\ndouble D;\n"
            "sampler2D Ss[2];\nsamplerCUBE C;\n"
            "float4 main(float4 at : SV_Position, float2 uv : TEXCOORD0) : COLOR { float e; float m = frexp(D, e);"
            " return Base * tex2D(Ss[1], uv) + texCUBEproj(C, at) * ldexp(m, e) + ddy(uv).xyxy + float4(P, Q); }\n"},
        // Struct constants of structs, a sampler array picked by a loop's
        // counter through a function that discards, and a namespace's
        // functions reading its constants unqualified.
        {2, "struct L { float3 c; float r; };\nstruct R { float4x4 m; L l[3]; };\nstruct S { R r; float k; };\nS s;\n"
            "float4 main(float4 p : POSITION, float4 i : BLENDINDICES) : POSITION"
            " { return mul(p, s.r.m) * s.r.l[(int)i.x].r * s.k; }\n"},
        {4, "sampler2D l[3];\nstatic const float on[3] = {1, 0, 1};\n"
            "float4 f(int i, float2 uv) { if (on[i] == 0) return 0; float4 t = tex2D(l[i], uv); if (t.a < 0.5) discard;"
            " return t; }\nfloat4 main(float2 uv : TEXCOORD0) : COLOR { float4 c = 0;"
            " for (int i = 0; i < 3; i++) c += f(i, uv); return c; }\n"},
        {3, "namespace A {\n static const float k = 0.5;\n namespace B { float f(float x) { return x * k; } }\n"
            " float g(float k) { return k + B::f(1); }\n}\n"
            "float4 main(float4 c : COLOR0) : COLOR { return c * A::g(A::k); }\n"},
    };
    for (const Source& kSource : akSources)
    {
        std::vector<std::uint8_t> kSeed(1, kSource.ucProfile);
        kSeed.insert(kSeed.end(), kSource.pcText, kSource.pcText + std::strlen(kSource.pcText));
        kFolder.Add(kSeed);
    }
}

// The published conformance suite's sources, read from its folder at build
// time: each pixel and vertex section (those that must be refused too)
// at the profile the suite runs it (2.0, 3.0 where its requirements ask), and
// each effect section as an effect text.
bool HlslSuiteSeeds(SeedFolder& kPrograms, SeedFolder& kEffects)
{
    std::error_code kError;
    std::vector<fs::path> kFiles;
    for (const auto& kEntry : fs::directory_iterator(ORVANE_HLSL_SUITE_FILES, kError))
        if (kEntry.path().extension() == ".shader_test")
            kFiles.push_back(kEntry.path());
    std::sort(kFiles.begin(), kFiles.end());
    std::uint32_t uiSources = 0;
    for (const fs::path& kPath : kFiles)
    {
        hlslsuite::HlslSuiteFile kFile;
        if (!kFile.Read(kPath.string()))
            return false;
        hlslsuite::Model iModel = 20;
        for (const hlslsuite::Section& kSection : kFile.Sections())
        {
            if (const auto* pkRequire = std::get_if<hlslsuite::Requirement>(&kSection))
                iModel = pkRequire->Admits(20) ? 20 : (pkRequire->Admits(30) ? 30 : -1);
            const auto* pkShader = std::get_if<hlslsuite::ShaderSection>(&kSection);
            if (!pkShader || iModel < 0 || pkShader->source.empty())
                continue;
            const std::string& kText = pkShader->source;
            if (pkShader->stage == hlslsuite::Stage::Effect)
            {
                kEffects.Add(std::vector<std::uint8_t>(kText.begin(), kText.end()));
            }
            else if (pkShader->stage != hlslsuite::Stage::Other)
            {
                // The profile byte: vs_2_0 1, vs_3_0 2, ps_2_0 3, ps_3_0 4.
                const bool bPixel = pkShader->stage == hlslsuite::Stage::Pixel;
                std::vector<std::uint8_t> kSeed{
                    static_cast<std::uint8_t>((bPixel ? 3 : 1) + (iModel >= 30 ? 1 : 0))};
                kSeed.insert(kSeed.end(), kText.begin(), kText.end());
                kPrograms.Add(kSeed);
            }
            ++uiSources;
        }
    }
    return !kError && uiSources > 0;
}

// Programs of every model as the program fuzzer reads them: a byte naming
// the version (its place in the fuzzer's list), then the tokens after the
// version token, without the end token.
void ShaderProgramSeeds(SeedFolder& kFolder)
{
    const char* const apcTexts[] = {
        "vs_1_1\ndcl_position v0\ndcl_color v1\nm4x4 oPos, v0, c0\nmov a0.x, c4.x\nmov oD0, c[a0.x + 5]\n"
        "lit r0, v1\nexpp r1, v1.x\nmov oT0, r0\nmov oFog, r1.y\n",
        "vs_2_0\ndcl_position v0\ndefi i0, 3, 0, 1, 0\ndefb b0, true\nmova a0.x, c0.x\nrep i0\nadd r0, r0, c[a0.x]\n"
        "endrep\nif b0\ncall l0\nendif\nmov oPos, v0\nmov oD0, r0\nret\nlabel l0\nsincos r1.xy, c1.x, c2, c3\nret\n",
        "vs_2_x\ndcl_position v0\nsetp_gt p0.x, v0.x, c0.y\n(p0.x) mov r0, c1\nmov oPos, v0\nmov oD0, r0\n",
        "vs_3_0\ndcl_position v0\ndcl_position o0\ndcl_texcoord0 o1.xy\ndefi i0, 4, 0, 1, 0\nloop aL, i0\n"
        "add r0, r0, c[aL]\nbreakp p0.x\nendloop\nmov o0, v0\nmov o1.xy, r0\n",
        "ps_1_1\ndef c0, 1.0, 0.5, -2.0, 0.0\ntex t0\ntexbem t1, t0\nmul_x2 r0.rgb, t1_bx2, -c0\n+mov_sat r0.a, 1-v0.a\n",
        "ps_1_2\ntex t0\ntexm3x3pad t1, t0\ntexm3x3pad t2, t0\ntexm3x3 t3, t0\ncmp r0, t3, c0, c1\n",
        "ps_1_3\ntex t0\ntexm3x2pad t1, t0\ntexm3x2depth t2, t0\ntexreg2ar t3, t0\nmov r0, t3\n",
        "ps_1_4\ntexld r0, t0\ntexcrd r1.rgb, t1\nbem r2.rg, r1, r0\nphase\ntexld r2, r2\ncnd r0, r1, r0, r2\n",
        "ps_2_0\ndcl t0.xy\ndcl v0\ndcl_2d s0\ndcl_cube s1\ntexld r0, t0, s0\ntexldp r1, t0, s1\ntexkill r1\n"
        "dp2add r0.x, r0, r1, c0.x\nmov oC0, r0\nmov oDepth, r0.x\n",
        "ps_2_x\ndcl t0\ndcl_2d s0\ndsx r1, t0\ndsy r2, t0\ntexldd r0, t0, s0, r1, r2\nmov oC0, r0\n",
        "ps_3_0\ndcl_texcoord0 v0\ndcl vPos.xy\ndcl vFace\ndcl_2d s0\ndefi i0, 2, 0, 1, 0\nloop aL, i0\n"
        "add r0, r0, v[aL]\nendloop\nif_gt vFace, c0.x\ntexldl r1, v0, s0\nendif\nmov oC0, r1\n",
    };
    constexpr std::uint32_t kVersions[] = {0xFFFE0101u, 0xFFFE0200u, 0xFFFE0201u, 0xFFFE0300u,
                                           0xFFFF0101u, 0xFFFF0102u, 0xFFFF0103u, 0xFFFF0104u,
                                           0xFFFF0200u, 0xFFFF0201u, 0xFFFF0300u};
    for (const char* pcText : apcTexts)
    {
        gfx::ID3DXBuffer* pkCode = nullptr;
        gfx::ID3DXBuffer* pkErrors = nullptr;
        const gfx::HRESULT hr = gfx::D3DXAssembleShader(pcText, static_cast<std::uint32_t>(std::strlen(pcText)), 0,
                                                        &pkCode, &pkErrors);
        if (pkErrors)
            pkErrors->Release();
        if (gfx::FAILED(hr) || !pkCode)
            continue;
        const auto* puiTokens = static_cast<const std::uint32_t*>(pkCode->GetBufferPointer());
        const std::size_t uiWords = pkCode->GetBufferSize() / 4;
        std::uint8_t ucVersion = 0;
        for (std::uint8_t i = 0; i < sizeof(kVersions) / sizeof(kVersions[0]); ++i)
            if (kVersions[i] == puiTokens[0])
                ucVersion = i;
        std::vector<std::uint8_t> kBytes(1, ucVersion);
        const auto* pucTokens = reinterpret_cast<const std::uint8_t*>(puiTokens + 1);
        if (uiWords >= 2)
            kBytes.insert(kBytes.end(), pucTokens, pucTokens + (uiWords - 2) * 4);
        kFolder.Add(kBytes);
        pkCode->Release();
    }
}

// Programs naming a register past their version's range, one of each kind,
// as the program fuzzer reads them (hand-made: the assembler refuses them),
// and the fuzzer's find: a ps_1_4 texdepth from temporary register 512.
void ShaderRegisterRangeSeeds(SeedFolder& kFolder)
{
    // Parameter tokens: a destination with every component, a source unswizzled.
    const auto Dst = [](std::uint32_t uiType, std::uint32_t uiNumber) {
        return 0x80000000u | ((uiType & 7) << 28) | ((uiType & 0x18) << 8) | gfx::D3DSP_WRITEMASK_ALL | uiNumber;
    };
    const auto Src = [](std::uint32_t uiType, std::uint32_t uiNumber) {
        return 0x80000000u | ((uiType & 7) << 28) | ((uiType & 0x18) << 8) | gfx::D3DSP_NOSWIZZLE | uiNumber;
    };
    // From 2.0 on an instruction token carries its length.
    const auto Op = [](std::uint32_t uiOpcode, std::uint32_t uiAfter, bool bLength) {
        return uiOpcode | (bLength ? uiAfter << 24 : 0u);
    };
    struct Seed
    {
        std::uint8_t ucVersion; // place in the fuzzer's list: vs_1_1 .. ps_3_0
        std::vector<std::uint32_t> kTokens;
    };
    using namespace gfx;
    const Seed akSeeds[] = {
        {0, {Op(D3DSIO_MOV, 2, false), Dst(D3DSPR_TEMP, 12), Src(D3DSPR_CONST, 0)}},
        {0, {Op(D3DSIO_MOV, 2, false), Dst(D3DSPR_TEMP, 0), Src(D3DSPR_INPUT, 16)}},
        {0, {Op(D3DSIO_MOV, 2, false), Dst(D3DSPR_TEMP, 0), Src(D3DSPR_CONST, 256)}},
        {0, {Op(D3DSIO_MOV, 2, false), Dst(D3DSPR_ADDR, 1), Src(D3DSPR_CONST, 0)}},
        {0, {Op(D3DSIO_MOV, 2, false), Dst(D3DSPR_RASTOUT, 3), Src(D3DSPR_CONST, 0)}},
        {0, {Op(D3DSIO_MOV, 2, false), Dst(D3DSPR_ATTROUT, 2), Src(D3DSPR_CONST, 0)}},
        {0, {Op(D3DSIO_MOV, 2, false), Dst(D3DSPR_TEXCRDOUT, 8), Src(D3DSPR_CONST, 0)}},
        {0, {Op(D3DSIO_MOV, 2, false), Dst(D3DSPR_TEMP, 0), Src(D3DSPR_CONSTBOOL, 0)}},
        {1, {Op(D3DSIO_DEFI, 5, true), Dst(D3DSPR_CONSTINT, 16), 1, 0, 1, 0}},
        {1, {Op(D3DSIO_DEFB, 2, true), Dst(D3DSPR_CONSTBOOL, 16), 1}},
        {1, {Op(D3DSIO_MOV, 3, true), Dst(D3DSPR_TEMP, 0), Src(D3DSPR_CONST, 0) | D3DSHADER_ADDRMODE_RELATIVE,
             Src(D3DSPR_LOOP, 1)}},
        {2, {Op(D3DSIO_MOV, 2, true), Dst(D3DSPR_TEMP, 32), Src(D3DSPR_CONST, 0)}},
        {2, {Op(D3DSIO_SETP, 3, true) | (1u << 16), Dst(D3DSPR_PREDICATE, 1), Src(D3DSPR_CONST, 0), Src(D3DSPR_CONST, 1)}},
        {3, {Op(D3DSIO_DCL, 2, true), 0x80000000u | (D3DSTT_2D << 27), Dst(D3DSPR_SAMPLER, 4)}},
        {3, {Op(D3DSIO_DCL, 2, true), 0x80000000u, Dst(D3DSPR_OUTPUT, 12)}},
        {4, {Op(D3DSIO_MOV, 2, false), Dst(D3DSPR_TEMP, 2), Src(D3DSPR_INPUT, 0)}},
        {4, {Op(D3DSIO_TEX, 1, false), Dst(D3DSPR_TEXTURE, 4)}},
        {5, {Op(D3DSIO_MOV, 2, false), Dst(D3DSPR_TEMP, 0), Src(D3DSPR_CONST, 8)}},
        {6, {Op(D3DSIO_MOV, 2, false), Dst(D3DSPR_TEMP, 0), Src(D3DSPR_INPUT, 2)}},
        {7, {Op(D3DSIO_TEXDEPTH, 1, false), Dst(D3DSPR_TEMP, 512)}},
        {7, {Op(D3DSIO_TEXCOORD, 2, false), Dst(D3DSPR_TEMP, 0), Src(D3DSPR_TEXTURE, 6)}},
        {8, {Op(D3DSIO_MOV, 2, true), Dst(D3DSPR_COLOROUT, 4), Src(D3DSPR_CONST, 0)}},
        {8, {Op(D3DSIO_MOV, 2, true), Dst(D3DSPR_DEPTHOUT, 1), Src(D3DSPR_CONST, 0)}},
        {8, {Op(D3DSIO_TEX, 3, true), Dst(D3DSPR_TEMP, 0), Src(D3DSPR_TEXTURE, 0), Src(D3DSPR_SAMPLER, 16)}},
        {8, {Op(D3DSIO_DCL, 2, true), 0x80000000u, Dst(D3DSPR_TEXTURE, 8)}},
        {9, {Op(D3DSIO_MOV, 2, true), Dst(D3DSPR_TEMP, 0), Src(D3DSPR_PREDICATE, 1)}},
        {10, {Op(D3DSIO_DCL, 2, true), 0x80000005u, Dst(D3DSPR_INPUT, 10)}},
        {10, {Op(D3DSIO_MOV, 2, true), Dst(D3DSPR_COLOROUT, 0), Src(D3DSPR_CONST, 224)}},
        {10, {Op(D3DSIO_MOV, 2, true), Dst(D3DSPR_COLOROUT, 0), Src(D3DSPR_MISCTYPE, 2)}},
        {10, {Op(D3DSIO_MOV, 2, true), Dst(D3DSPR_COLOROUT, 0), Src(D3DSPR_TEXTURE, 0)}},
    };
    for (const Seed& kSeed : akSeeds)
    {
        std::vector<std::uint8_t> kBytes(1, kSeed.ucVersion);
        const auto* pucTokens = reinterpret_cast<const std::uint8_t*>(kSeed.kTokens.data());
        kBytes.insert(kBytes.end(), pucTokens, pucTokens + kSeed.kTokens.size() * 4);
        kFolder.Add(kBytes);
    }
    // The find as it came: eleven bytes, the last two short of a token.
    kFolder.Add({7, 0x57, 0x00, 0x00, 0x00, 0x00, 0x02, 0x0F, 0x80, 0x00, 0x00});
}

void EffectSeeds(SeedFolder& kFolder)
{
    const char* const apcTexts[] = {
        "#define N 3\n#if N > 2 && defined(N)\nfloat4 c : DIFFUSE < string UIName = \"c\"; > = {1, 0, 0, 1};\n"
        "#endif\nrow_major float3x3 m = float3x3(1,2,3,4,5,6,7,8,9);\nint i[2] = {1, -2};\n"
        "technique T < string shadername = \"S\"; int implementation = 1; > { pass P {\n"
        "AlphaBlendEnable = true; SrcBlend = SrcAlpha; ColorOp[0] = Modulate; ColorArg1[0] = Texture | Complement;\n"
        "VertexShaderConstant4[0] = <m>; PixelShaderConstantF[1] = float4(1, 2, 3, 4); } }\n",
        "texture t < string name = \"a.dds\"; string type = \"cube\"; >;\n"
        "sampler2D s = sampler_state { Texture = <t>; MinFilter = Linear; AddressU = Clamp; };\n"
        "float4 f(float2 uv : TEXCOORD0) : COLOR { return tex2D(s, uv); }\n"
        "technique H { pass { Sampler[0] = <s>; PixelShader = compile ps_2_0 f(); VertexShader = NULL; } }\n",
        "float4x4 W : WORLD;\nvertexshader v = asm { vs_1_1\ndcl_position v0\nm4x4 oPos, v0, c0\n};\n"
        "technique A { pass { VertexShader = <v>; PixelShader = asm { ps_1_1\ntex t0\nmov r0, t0\n}; "
        "WorldTransform[0] = <W>; Wibble = 1; } }\n",
        // Pragmas: applied, let pass, malformed.
        "#pragma once\n#pragma pack_matrix(row_major)\nfloat4x4 R;\n#pragma pack_matrix(column_major)\n"
        "float3x3 C;\n#pragma warning(disable: 3571)\n#pragma message(\"m\")\n#pragma vendor x\n"
        "#pragma pack_matrix(\n#\n",
        // Function-like macros: nesting, '#', '##', variadic, a call over lines.
        "#define SQ(x) ((x) * (x))\n#define ADD(a, b) (a + b)\n#if SQ(ADD(1, 1)) == 4\nfloat Four;\n#endif\n"
        "#define CAT_(a, b) a ## b\n#define CAT(a, b) CAT_(a, b)\nfloat CAT(CAT(X, Y), Z);\n"
        "#define STR(x) #x\nstring S = STR(a \"b\" c);\n#define V(a, ...) __VA_ARGS__\nint I[2] = {V(0, 1, 2)};\n"
        "#define D(t, n) t n;\nD(float,\n  Split)\n#define F(x) x\nfloat F;\n",
        // Compiled passes: shared parameters, uniform arguments, a program
        // kept in a parameter, an unused constant.
        "float4x4 WVP : WORLDVIEWPROJECTION;\nfloat4 Tint < string UIName = \"t\"; > = {1, 1, 1, 1};\nint N = 2;\n"
        "float Unused;\nstruct VO { float4 p : POSITION; float4 c : COLOR0; };\n"
        "VO VS(float4 p : POSITION, float4 c : COLOR0) { VO o; o.p = mul(p, WVP); o.c = c * Tint; return o; }\n"
        "float4 PS(float4 c : COLOR0, uniform bool inv) : COLOR { return inv ? 1 - c * N : c; }\n"
        "pixelshader Kept = compile ps_2_0 PS(false);\n"
        "technique C { pass { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(true); }\n"
        "pass { VertexShader = compile vs_1_1 VS(); PixelShader = <Kept>; } }\ntechnique F { pass { Lighting = false; } }\n",
        // Saved by Windows and older Mac editors: a byte-order mark, lone CR
        // and CR LF line ends, a first line that is a comment.
        "\xEF\xBB\xBF"
        "// an effect\rfloat4 Tint = {1, 0, 0, 1};\rfloat4 PS() : COLOR { return Tint; }\r\n"
        "technique T { pass { PixelShader = compile ps_2_0 PS(); } }\r",
    };
    for (const char* pcText : apcTexts)
        kFolder.Add(std::vector<std::uint8_t>(pcText, pcText + std::strlen(pcText)));
}

// Effects whose passes pick their programs from shader arrays by int
// parameters, with sampler blocks written without sampler_state.
void EffectProgramExpressionSeeds(SeedFolder& kFolder)
{
    const char* const apcTexts[] = {
        "float4 A(float4 p : POSITION) : POSITION { return p; }\nfloat4 B(float4 p : POSITION) : POSITION"
        " { return -p; }\nfloat4 P() : COLOR { return 1; }\n"
        "VertexShader VSArray[2] = { compile vs_2_0 A(), compile vs_2_0 B() };\nint VSIndices[3] = { 1, 0, 1 };\n"
        "int ShaderIndex = 0;\ntexture T;\nsampler2D S { Texture = <T>; AddressU = Clamp; };\n"
        "technique E { pass { VertexShader = (VSArray[VSIndices[ShaderIndex]]); PixelShader = compile ps_2_0 P(); } }\n"
        "technique F { pass { VertexShader = (VSArray[ShaderIndex]); } pass { VertexShader = VSArray[1]; } }\n",
        "float4 P(uniform float k) : COLOR { return k; }\n"
        "PixelShader PS[2] = { compile ps_2_0 P(0), compile ps_2_0 P(1) };\nfloat Which = 1;\n"
        "technique G { pass { PixelShader = (PS[Which]); } pass { PixelShader = (PS[2]); } }\n",
    };
    for (const char* pcText : apcTexts)
        kFolder.Add(std::vector<std::uint8_t>(pcText, pcText + std::strlen(pcText)));
}

// Small PNG files (stored deflate blocks) and a baseline JPEG header cut short.
void EffectTextureSeeds(SeedFolder& kFolder)
{
    const fs::path kTemp = fs::temp_directory_path() / "orvane_seed_effect_texture.png";
    const std::vector<std::uint8_t> kRgb = {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9, 80, 90, 100, 1, 2, 3};
    if (test_png::WriteRgb(kTemp.string(), 3, 2, kRgb))
        kFolder.AddFile(kTemp);
    if (test_png::WriteRgb(kTemp.string(), 1, 1, {7, 8, 9}))
        kFolder.AddFile(kTemp);
    fs::remove(kTemp);
    kFolder.Add({0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00,
                 0x01, 0x00, 0x00, 0xFF, 0xD9});
}

int main(int iArgs, char** ppcArgs)
{
    if (iArgs != 2)
    {
        std::fprintf(stderr, "usage: %s <folder>\n", ppcArgs[0]);
        return 2;
    }
    fuzz::StartEngine();
    const fs::path kRoot = ppcArgs[1];
    bool bOk = true;
    {
        SeedFolder kScene(kRoot, "fuzz_scene");
        SeedFolder kNif(kRoot, "fuzz_image_nif");
        SceneSeeds(kScene, kNif);
        SeedFolder kTga(kRoot, "fuzz_image_tga");
        TgaSeeds(kTga);
        SeedFolder kBmp(kRoot, "fuzz_image_bmp");
        BmpSeeds(kBmp);
        SeedFolder kLauncherBmp(kRoot, "fuzz_launcher_bitmap");
        BmpSeeds(kLauncherBmp);
        kLauncherBmp.Add(MakeBmp24(5, 3, std::vector<std::uint32_t>(15, 0x2E3644)));
        SeedFolder kDds(kRoot, "fuzz_image_dds");
        DdsSeeds(kDds);
        SeedFolder kDdsTexture(kRoot, "fuzz_dds_texture");
        DdsTextureSeeds(kDdsTexture);
        if (kDdsTexture.Failed())
        {
            std::fprintf(stderr, "orvane_fuzz_seeds: could not fill %s\n", kDdsTexture.GetFolder().c_str());
            bOk = false;
        }
        SeedFolder kShaders(kRoot, "fuzz_shader_assembly");
        ShaderAssemblySeeds(kShaders);
        SeedFolder kPrograms(kRoot, "fuzz_shader_program");
        ShaderProgramSeeds(kPrograms);
        ShaderRegisterRangeSeeds(kPrograms);
        SeedFolder kContainers(kRoot, "fuzz_shader_container");
        ShaderContainerSeeds(kContainers);
        SeedFolder kHlsl(kRoot, "fuzz_hlsl");
        HlslSourceSeeds(kHlsl);
        HlslRegisterSeeds(kHlsl);
        HlslDeclarationFormSeeds(kHlsl);
        SeedFolder kEffects(kRoot, "fuzz_effect");
        EffectSeeds(kEffects);
        EffectProgramExpressionSeeds(kEffects);
        SeedFolder kSuiteFiles(kRoot, "fuzz_hlsl_suite_file");
        std::error_code kSuiteError;
        // The suite is test data the project does not hold: without it the
        // targets start from the seeds written here only.
        if (!fs::is_directory(ORVANE_HLSL_SUITE_FILES, kSuiteError))
        {
            std::fprintf(stderr, "orvane_fuzz_seeds: no conformance files at %s: their seeds are left out\n",
                         ORVANE_HLSL_SUITE_FILES);
        }
        else
        {
            for (const auto& kEntry : fs::directory_iterator(ORVANE_HLSL_SUITE_FILES, kSuiteError))
                kSuiteFiles.AddFile(kEntry.path());
            if (!HlslSuiteSeeds(kHlsl, kEffects) || kSuiteFiles.Failed())
            {
                std::fprintf(stderr, "orvane_fuzz_seeds: the conformance files in %s were not read\n",
                             ORVANE_HLSL_SUITE_FILES);
                bOk = false;
            }
        }
        SeedFolder kEffectTextures(kRoot, "fuzz_effect_texture");
        EffectTextureSeeds(kEffectTextures);
        SeedFolder kSgi(kRoot, "fuzz_image_sgi");
        SgiSeeds(kSgi);
        SeedFolder kFont(kRoot, "fuzz_font");
        FontSeeds(kFont);
        SeedFolder kTags(kRoot, "fuzz_tag");
        SeedFolder kLines(kRoot, "fuzz_line");
        TextSeeds(kTags, kLines);
        SeedFolder kUiTga(kRoot, "fuzz_ui_image_tga");
        SeedFolder kUiFdp(kRoot, "fuzz_ui_image_fdp");
        SeedFolder kUiFont(kRoot, "fuzz_ui_font");
        SeedFolder kUiLayout(kRoot, "fuzz_ui_layout");
        UiSeeds(kUiTga, kUiFdp, kUiFont, kUiLayout);
        SeedFolder kTemplates(kRoot, "fuzz_templates");
        SeedFolder kStatistics(kRoot, "fuzz_statistics");
        StatisticsSeeds(kStatistics);
        SeedFolder kObjects(kRoot, "fuzz_objects");
        ObjectsSeeds(kObjects);
        SeedFolder kCharacters(kRoot, "fuzz_character");
        CharacterSeeds(kCharacters);
        SeedFolder kBaseObjects(kRoot, "fuzz_base_object");
        BaseObjectSeeds(kBaseObjects);
        SeedFolder kGameLevels(kRoot, "fuzz_game_level");
        GameLevelSeeds(kGameLevels);
        SeedFolder kSaves(kRoot, "fuzz_save");
        SaveSeeds(kSaves);
        const std::vector<std::uint8_t> kPrison = DemoPrisonSave(kRoot);
        if (kPrison.empty())
        {
            std::fprintf(stderr, "orvane_fuzz_seeds: the demo prison could not be built and saved\n");
            bOk = false;
        }
        kSaves.Add(kPrison);
        SeedFolder kLanguages(kRoot, "fuzz_language");
        LanguageSeeds(kLanguages);
        SeedFolder kBuildMenu(kRoot, "fuzz_build_menu");
        BuildMenuSeeds(kBuildMenu);
        SeedFolder kNsb(kRoot, "fuzz_nsb");
        NsbSeeds(kNsb);
        // Shader descriptions: the parser tests' corpus and fixtures.
        SeedFolder kNsf(kRoot, "fuzz_nsf");
        for (const char* pcFolder : {ORVANE_NSF_CORPUS, ORVANE_NSF_FIXTURES})
            for (const auto& kEntry : fs::directory_iterator(pcFolder))
                kNsf.AddFile(kEntry.path());
        SeedFolder kLauncherLayout(kRoot, "fuzz_launcher_layout");
        // Stored French in a window; an unknown language with the keys out of order.
        for (const char* pcSetup :
             {"<Game_Data>\r\n<Current_Language>\r\n2\r\n</Current_Language>\r\n</Game_Data>\r\n"
              "<Application_Data>\r\n<Windowed>\r\n1\r\n</Windowed>\r\n</Application_Data>\r\n",
              "<Game_Data>\r\n<Current_Language>\r\n5\r\n</Current_Language>\r\n</Game_Data>\r\n"
              "<Application_Data>\r\n<VideoModeBits>\r\n16\r\n</VideoModeBits>\r\n<VideoModeWidth>\r\n1600\r\n"
              "</VideoModeWidth>\r\n</Application_Data>\r\n<Startup_Screen>\r\n<Generic>\r\n<b>\r\n1\r\n2\r\n3\r\n"
              "4\r\n6\r\n1\r\n<s>\r\n3\r\n<base>\r\nlanguage0_base.bmp\r\n</base>\r\n</s>\r\n</b>\r\n"
              "</Generic>\r\n</Startup_Screen>\r\n"})
            kLauncherLayout.Add(std::vector<std::uint8_t>(pcSetup, pcSetup + std::strlen(pcSetup)));
        SeedFolder kLevels(kRoot, "fuzz_level");
        SeedFolder kScenarios(kRoot, "fuzz_scenario_list");
        // The scenario list reads a save's first lines: the demo prison's too.
        if (!kPrison.empty())
            kScenarios.Add(kPrison);
        if (!DemoDataSeeds(kRoot, kScene, kFont, kTags, kLines, kTemplates, kNsb, kLauncherLayout, kLevels, kScenarios))
        {
            std::fprintf(stderr, "orvane_fuzz_seeds: the demo data could not be written\n");
            bOk = false;
        }
        for (const SeedFolder* pkFolder : {&kScene, &kNif, &kTga, &kBmp, &kLauncherBmp, &kDds, &kSgi, &kFont, &kTags, &kLines, &kUiTga,
                                           &kUiFdp, &kUiFont, &kUiLayout, &kTemplates, &kStatistics, &kObjects,
                                           &kCharacters, &kBaseObjects, &kGameLevels, &kSaves, &kLanguages,
                                           &kLauncherLayout, &kBuildMenu, &kShaders, &kNsb, &kNsf, &kLevels, &kScenarios})
        {
            if (pkFolder->Failed())
            {
                std::fprintf(stderr, "orvane_fuzz_seeds: could not fill %s\n", pkFolder->GetFolder().c_str());
                bOk = false;
            }
        }
    }
    NiLibraryRegistry::ShutdownLibraries();
    return bOk ? 0 : 1;
}
