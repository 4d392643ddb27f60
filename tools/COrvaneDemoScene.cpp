#include "tools/COrvaneDemoScene.h"

#include "engine/core/NiMatrix3x3.h"
#include "engine/core/NiObjectStream.h"
#include "engine/render/NiSourceTexture.h"
#include "engine/render/NiTexture.h"
#include "engine/scene/NiCamera.h"
#include "engine/scene/NiLight.h"
#include "engine/scene/NiMaterialProperty.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiSkinData.h"
#include "engine/scene/NiSkinInstance.h"
#include "engine/scene/NiSkinPartition.h"
#include "engine/scene/NiTexturingProperty.h"
#include "engine/scene/NiTriShape.h"
#include "platform/os/OsFiles.h"
#include "tools/COrvaneDdsWriter.h"
#include "tools/COrvaneDemoEffect.h"
#include "tools/COrvaneDemoShader.h"
#include "tools/COrvaneTgaWriter.h"

#include <cstdio>
#include <memory>
#include <vector>

namespace demo_scene
{
namespace
{
constexpr std::uint16_t IMAGE_SIDE = 8;

NiMaterialProperty* Material(const NiColorRGB& kColor)
{
    auto* pkMaterial = new NiMaterialProperty;
    pkMaterial->SetDiffuseColor(kColor);
    pkMaterial->SetAmbientColor(kColor);
    pkMaterial->SetSpecularColor(NiColorRGB{0.0f, 0.0f, 0.0f});
    pkMaterial->SetEmittance(NiColorRGB{0.0f, 0.0f, 0.0f});
    return pkMaterial;
}

NiTexturingProperty* Texturing(const char* pcImage, bool bLoadDirect)
{
    auto* pkTexturing = new NiTexturingProperty;
    NiRefPtr<NiSourceTexture> spTexture =
        NiSourceTexture::CreateFromFile(pcImage, NiTexture::GetDefaultFormatPrefs(), bLoadDirect);
    pkTexturing->SetMap(NiTexturingProperty::BASE_INDEX, new NiTextureMap(spTexture));
    pkTexturing->SetApplyMode(2); // modulate: texel times the lit colour
    return pkTexturing;
}

// The floor: one quad, normals up, the image once across it.
NiTriShape* MakeFloor()
{
    const float h = FLOOR_HALF;
    auto* pkVerts = new NiVec3[4]{{-h, -h, 0}, {h, -h, 0}, {h, h, 0}, {-h, h, 0}};
    auto* pkNormals = new NiVec3[4]{{0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
    auto* pkUV = new NiVec2[4]{{0, 1}, {1, 1}, {1, 0}, {0, 0}};
    auto* pusTris = new std::uint16_t[6]{0, 1, 2, 0, 2, 3};
    auto* pkFloor = new NiTriShape(4, pkVerts, pkNormals, nullptr, pkUV, 1, 0, 2, pusTris);
    pkFloor->SetName("Floor");
    return pkFloor;
}

// A box standing on z = 0, four vertices a face with the face's normal.
NiTriShape* MakeBox()
{
    static const int FACES[6][4][3] = {
        {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}}, {{0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}},
        {{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}}, {{0, 1, 0}, {0, 1, 1}, {1, 1, 1}, {1, 1, 0}},
        {{0, 0, 0}, {0, 0, 1}, {0, 1, 1}, {0, 1, 0}}, {{1, 0, 0}, {1, 1, 0}, {1, 1, 1}, {1, 0, 1}},
    };
    static const NiVec3 NORMALS[6] = {{0, 0, -1}, {0, 0, 1}, {0, -1, 0}, {0, 1, 0}, {-1, 0, 0}, {1, 0, 0}};
    static const float UV[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    auto* pkVerts = new NiVec3[24];
    auto* pkNormals = new NiVec3[24];
    auto* pkUV = new NiVec2[24];
    auto* pusTris = new std::uint16_t[36];
    for (int f = 0; f < 6; ++f)
    {
        for (int v = 0; v < 4; ++v)
        {
            const int* piCorner = FACES[f][v];
            pkVerts[f * 4 + v] = NiVec3((static_cast<float>(piCorner[0]) - 0.5f) * BOX_SIDE,
                                        (static_cast<float>(piCorner[1]) - 0.5f) * BOX_SIDE,
                                        static_cast<float>(piCorner[2]) * BOX_SIDE);
            pkNormals[f * 4 + v] = NORMALS[f];
            pkUV[f * 4 + v] = NiVec2(UV[v][0], UV[v][1]);
        }
        const auto usBase = static_cast<std::uint16_t>(f * 4);
        const std::uint16_t ausFace[6] = {usBase, static_cast<std::uint16_t>(usBase + 1),
                                          static_cast<std::uint16_t>(usBase + 2), usBase,
                                          static_cast<std::uint16_t>(usBase + 2),
                                          static_cast<std::uint16_t>(usBase + 3)};
        for (int i = 0; i < 6; ++i)
            pusTris[f * 6 + i] = ausFace[i];
    }
    auto* pkBox = new NiTriShape(24, pkVerts, pkNormals, nullptr, pkUV, 1, 0, 12, pusTris);
    pkBox->SetName("Box");
    return pkBox;
}

// A bar of two bones: six vertices at x = 0, 1, 2 and y = +-0.25; bone 1
// sits at x = 1 turned a quarter turn about z, so the far half bends. The
// middle vertices weigh half and half.
NiNode* MakeBar(const char* pcName, const NiVec3& kOrigin, bool bPartition)
{
    auto* pkRoot = new NiNode;
    pkRoot->SetName(pcName);
    pkRoot->SetTranslate(kOrigin);
    pkRoot->SetScale(BAR_SCALE);
    NiNode* apkBones[2] = {new NiNode, new NiNode};
    apkBones[0]->SetName((std::string(pcName) + " Bone0").c_str());
    apkBones[1]->SetName((std::string(pcName) + " Bone1").c_str());
    pkRoot->AttachChild(apkBones[0]);
    pkRoot->AttachChild(apkBones[1]);
    apkBones[1]->SetTranslate(NiVec3(1.0f, 0.0f, 0.0f));
    NiMatrix3x3 kTurn;
    kTurn.MakeZRotation(1.5707964f);
    apkBones[1]->SetRotate(kTurn);

    auto* pkVerts = new NiVec3[6];
    auto* pkNormals = new NiVec3[6];
    for (int i = 0; i < 6; ++i)
    {
        pkVerts[i] = NiVec3(static_cast<float>(i / 2), (i % 2) ? 0.25f : -0.25f, 0.0f);
        pkNormals[i] = NiVec3(0.0f, 0.0f, 1.0f);
    }
    static const std::uint16_t TRIS[12] = {0, 3, 1, 0, 2, 3, 2, 5, 3, 2, 4, 5};
    auto* pusTris = new std::uint16_t[12];
    std::copy(TRIS, TRIS + 12, pusTris);
    auto* pkShape = new NiTriShape(6, pkVerts, pkNormals, nullptr, nullptr, 0, 0, 4, pusTris);
    pkShape->SetName((std::string(pcName) + " Shape").c_str());
    pkShape->AttachProperty(Material(BAR_MATERIAL));
    pkRoot->AttachChild(pkShape);

    NiRefPtr<NiSkinData> spSkinData = new NiSkinData;
    auto spBones = std::make_unique<NiSkinData::BoneData[]>(2);
    // Skin to bone: the inverse of where each bone was bound (bone 1 at x = 1, unturned).
    spBones[1].m_kSkinToBone.m_kTranslate = NiVec3(-1.0f, 0.0f, 0.0f);
    spBones[0].m_kBound.m_kCenter = NiVec3(1.0f, 0.0f, 0.0f);
    spBones[0].m_kBound.m_fRadius = 2.0f;
    spBones[1].m_kBound.m_fRadius = 2.0f;
    spSkinData->SetBones(2, std::move(spBones));
    static const float WEIGHT0[6] = {1.0f, 1.0f, 0.5f, 0.5f, 0.0f, 0.0f};
    for (std::uint32_t b = 0; b < 2; ++b)
    {
        auto spWeights = std::make_unique<NiSkinData::SkinWeight[]>(6);
        for (std::uint16_t v = 0; v < 6; ++v)
        {
            spWeights[v].m_usVertex = v;
            spWeights[v].m_fWeight = b == 0 ? WEIGHT0[v] : 1.0f - WEIGHT0[v];
        }
        spSkinData->SetBoneWeights(b, 6, std::move(spWeights));
    }
    auto* pkSkin = new NiSkinInstance;
    pkSkin->SetSkinData(spSkinData);
    pkSkin->SetRootParent(pkRoot);
    pkSkin->SetBone(0, apkBones[0]);
    pkSkin->SetBone(1, apkBones[1]);
    if (bPartition)
    {
        NiRefPtr<NiSkinPartition> spPartition = new NiSkinPartition;
        auto spParts = std::make_unique<NiSkinPartition::Partition[]>(1);
        NiSkinPartition::Partition& kPart = spParts[0];
        kPart.m_usVertices = 6;
        kPart.m_usTriangles = 4;
        kPart.m_usBones = 2;
        kPart.m_usBonesPerVertex = 2;
        kPart.m_pusBones.reset(new std::uint16_t[2]{0, 1});
        kPart.m_pfWeights.reset(new float[12]);
        for (int v = 0; v < 6; ++v)
        {
            kPart.m_pfWeights[2 * v] = WEIGHT0[v];
            kPart.m_pfWeights[2 * v + 1] = 1.0f - WEIGHT0[v];
        }
        kPart.m_pusVertexMap.reset(new std::uint16_t[6]{0, 1, 2, 3, 4, 5});
        kPart.m_pucBonePalette.reset(new std::uint8_t[12]{0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1});
        kPart.m_pusTriList.reset(new std::uint16_t[12]);
        std::copy(TRIS, TRIS + 12, kPart.m_pusTriList.get());
        spPartition->SetPartitions(1, std::move(spParts));
        pkSkin->SetSkinPartition(spPartition);
    }
    pkShape->SetSkinInstance(pkSkin);
    return pkRoot;
}
} // namespace

NiRefPtr<NiNode> Build()
{
    NiRefPtr<NiNode> spTop = new NiNode;
    spTop->SetName("Scene Root");

    auto* pkCamera = new NiCamera;
    pkCamera->SetName("Camera");
    pkCamera->SetTranslate(CAMERA_POSITION);
    NiMatrix3x3 kLook;
    // Direction, up, right as columns 0, 1, 2.
    kLook.SetColumns(NiVec3(0.0f, 0.0f, -1.0f), NiVec3(0.0f, 1.0f, 0.0f), NiVec3(1.0f, 0.0f, 0.0f));
    pkCamera->SetRotate(kLook);
    NiViewFrustum kFrustum;
    kFrustum.Set(-FRUSTUM_HALF_WIDTH, FRUSTUM_HALF_WIDTH, FRUSTUM_HALF_HEIGHT, -FRUSTUM_HALF_HEIGHT, 1.0f, 20.0f,
                 false);
    pkCamera->SetViewFrustum(kFrustum);
    spTop->AttachChild(pkCamera);

    auto* pkTurntable = new NiNode;
    pkTurntable->SetName(TURNTABLE);
    spTop->AttachChild(pkTurntable);

    auto* pkSun = new NiDirectionalLight;
    pkSun->SetName("Sun");
    NiVec3 kUp(0.0f, 0.8f, 0.6f);
    NiMatrix3x3 kSunTurn;
    kSunTurn.SetColumns(DIRECTION, kUp, DIRECTION.Cross(kUp));
    pkSun->SetRotate(kSunTurn);
    pkSun->SetDiffuseColor(DIRECTIONAL);
    pkSun->SetAmbientColor(NiColorRGB{0.0f, 0.0f, 0.0f});
    pkSun->SetSpecularColor(NiColorRGB{0.0f, 0.0f, 0.0f});
    pkTurntable->AttachChild(pkSun);
    pkTurntable->AttachEffect(pkSun);

    auto* pkSky = new NiAmbientLight;
    pkSky->SetName("Sky");
    pkSky->SetAmbientColor(AMBIENT);
    pkSky->SetDiffuseColor(NiColorRGB{0.0f, 0.0f, 0.0f});
    pkTurntable->AttachChild(pkSky);
    pkTurntable->AttachEffect(pkSky);

    NiTriShape* pkFloor = MakeFloor();
    pkFloor->AttachProperty(Material(FLOOR_MATERIAL));
    pkFloor->AttachProperty(Texturing(FLOOR_IMAGE, false));
    // Drawn by the shader the demo description compiles to at start.
    pkFloor->SetShader(new NiShader(DEMO_DESCRIBED_SHADER_NAME, 0));
    pkTurntable->AttachChild(pkFloor);

    // The point light reaches the box alone.
    auto* pkBoxNode = new NiNode;
    pkBoxNode->SetName("BoxNode");
    pkBoxNode->SetTranslate(BOX_CENTRE);
    NiTriShape* pkBox = MakeBox();
    pkBox->AttachProperty(Material(BOX_MATERIAL));
    pkBox->AttachProperty(Texturing(BOX_IMAGE, true));
    pkBoxNode->AttachChild(pkBox);
    auto* pkLamp = new NiPointLight;
    pkLamp->SetName("Lamp");
    pkLamp->SetTranslate(POINT_POSITION - BOX_CENTRE);
    pkLamp->SetDiffuseColor(POINT);
    pkLamp->SetAmbientColor(NiColorRGB{0.0f, 0.0f, 0.0f});
    pkLamp->SetSpecularColor(NiColorRGB{0.0f, 0.0f, 0.0f});
    pkLamp->SetConstantAttenuation(POINT_ATTENUATION);
    pkLamp->SetLinearAttenuation(0.0f);
    pkLamp->SetQuadraticAttenuation(0.0f);
    pkBoxNode->AttachChild(pkLamp);
    pkBoxNode->AttachEffect(pkLamp);
    pkTurntable->AttachChild(pkBoxNode);

    // Drawn by the demo effect file's technique.
    pkTurntable->AttachChild(MakeDemoGlass());
    pkTurntable->AttachChild(MakeBar(BAR_PARTITIONED, BAR_ORIGIN_PARTITIONED, true));
    pkTurntable->AttachChild(
        MakeBar(BAR_SOFTWARE, BAR_ORIGIN_PARTITIONED + NiVec3(BAR_SHIFT, 0.0f, 0.0f), false));

    spTop->Update(0.0f);
    spTop->UpdateProperties();
    spTop->UpdateEffects();
    return spTop;
}

NiCamera* FindCamera(NiNode* pkRoot)
{
    if (pkRoot == nullptr)
        return nullptr;
    for (std::uint32_t i = 0; i < pkRoot->GetArrayCount(); ++i)
    {
        NiAVObject* pkChild = pkRoot->GetAt(i);
        if (pkChild == nullptr)
            continue;
        if (NiIsKindOf<NiCamera>(pkChild))
            return static_cast<NiCamera*>(pkChild);
        if (NiIsKindOf<NiNode>(pkChild))
            if (NiCamera* pkFound = FindCamera(static_cast<NiNode*>(pkChild)))
                return pkFound;
    }
    return nullptr;
}

bool WriteImages(const std::string& kFolder)
{
    std::vector<std::uint8_t> kPixels;
    for (int i = 0; i < IMAGE_SIDE * IMAGE_SIDE; ++i)
        kPixels.insert(kPixels.end(), FLOOR_TEXEL, FLOOR_TEXEL + 3);
    return WriteTga(kFolder + "/" + FLOOR_IMAGE, IMAGE_SIDE, IMAGE_SIDE, 24, kPixels) &&
           WriteSolidDxt1(kFolder + "/" + BOX_IMAGE, IMAGE_SIDE, IMAGE_SIDE, BOX_TEXEL_565);
}

NiRefPtr<NiNode> BuildShowcase()
{
    NiRefPtr<NiNode> spScene = Build();
    NiAVObject* pkTurntable = spScene->GetObjectByName(TURNTABLE);
    if (pkTurntable == nullptr || !NiIsKindOf<NiNode>(pkTurntable))
        return nullptr;
    NiRefPtr<NiNode> spShowcase = static_cast<NiNode*>(pkTurntable);
    (void)spScene->DetachChild(spShowcase);
    // Seen from afar, the box's bottom on the floor would fight the floor in
    // the depth buffer along its edges: its foot sinks a little into it.
    if (NiAVObject* pkBox = spShowcase->GetObjectByName("BoxNode"))
        pkBox->SetTranslate(BOX_CENTRE - NiVec3(0.0f, 0.0f, SHOWCASE_BOX_SINK));
    return spShowcase;
}

bool Write(const std::string& kFolder)
{
    const std::string kModels = kFolder + "/models";
    if (!os::CreateFolderTree(kModels))
    {
        std::fprintf(stderr, "demo data: cannot make the folder %s\n", kModels.c_str());
        return false;
    }
    if (!WriteImages(kModels))
        return false;
    NiRefPtr<NiNode> spScene = Build();
    NiObjectStream kStream;
    kStream.InsertTopObject(spScene);
    const std::string kPath = kFolder + "/" + FILE_NAME;
    if (!kStream.SaveFile(kPath.c_str()))
    {
        std::fprintf(stderr, "demo data: cannot write %s\n", kPath.c_str());
        return false;
    }
    return true;
}
} // namespace demo_scene
