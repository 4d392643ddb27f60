#include "tools/COrvaneDemoProps.h"

#include "engine/core/NiObjectStream.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiStringExtraData.h"
#include "engine/scene/NiTexturingProperty.h"
#include "engine/scene/NiTriShape.h"
#include "framework/COrvaneTagTree.h"
#include "platform/os/OsFiles.h"
#include "tools/COrvaneTgaWriter.h"

#include <cstdio>
#include <fstream>
#include <vector>

namespace
{
struct Prop
{
    const char* pcName;
    NiVec3 kSize;
    std::uint8_t aucColour[3];
    const char* pcText;
    const char* pcWidth;
    const char* pcDepth;
    const char* pcPrerequisite;
};

const Prop PROPS[] = {
    {"crate", NiVec3(1.0f, 1.0f, 1.0f), {150, 110, 60}, "crate\r\nstackable", "2", "2", "1"},
    {"lamp", NiVec3(0.3f, 0.3f, 1.8f), {230, 220, 120}, "light 1\r\n", "2", "2", "2"},
};

constexpr std::uint16_t TEXTURE_SIZE = 8;

// A box of the given size standing on z = 0, four vertices a face so every
// face has the whole texture.
NiTriShape* MakeBox(const NiVec3& kSize)
{
    static const int FACES[6][4][3] = {
        {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 0, 1}, {0, 1, 1}, {1, 1, 1}, {1, 0, 1}},
        {{0, 0, 0}, {0, 0, 1}, {1, 0, 1}, {1, 0, 0}}, {{0, 1, 0}, {1, 1, 0}, {1, 1, 1}, {0, 1, 1}},
        {{0, 0, 0}, {0, 1, 0}, {0, 1, 1}, {0, 0, 1}}, {{1, 0, 0}, {1, 0, 1}, {1, 1, 1}, {1, 1, 0}},
    };
    static const float UV[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    auto* pkVertex = new NiVec3[24];
    auto* pkTexture = new NiVec2[24];
    auto* pusTriangles = new std::uint16_t[36];
    for (int f = 0; f < 6; ++f)
    {
        for (int v = 0; v < 4; ++v)
        {
            const int* piCorner = FACES[f][v];
            pkVertex[f * 4 + v] = NiVec3((static_cast<float>(piCorner[0]) - 0.5f) * kSize.x,
                                         (static_cast<float>(piCorner[1]) - 0.5f) * kSize.y,
                                         static_cast<float>(piCorner[2]) * kSize.z);
            pkTexture[f * 4 + v] = NiVec2(UV[v][0], UV[v][1]);
        }
        const std::uint16_t usBase = static_cast<std::uint16_t>(f * 4);
        const std::uint16_t ausFace[6] = {usBase, static_cast<std::uint16_t>(usBase + 1),
                                          static_cast<std::uint16_t>(usBase + 2), usBase,
                                          static_cast<std::uint16_t>(usBase + 2), static_cast<std::uint16_t>(usBase + 3)};
        for (int i = 0; i < 6; ++i)
            pusTriangles[f * 6 + i] = ausFace[i];
    }
    return new NiTriShape(24, pkVertex, nullptr, nullptr, pkTexture, 1, 0, 12, pusTriangles);
}

bool WriteProp(const std::string& kFolder, const Prop& kProp)
{
    const std::string kBase = std::string("models/props/") + kProp.pcName;
    std::vector<std::uint8_t> kPixels;
    for (int i = 0; i < TEXTURE_SIZE * TEXTURE_SIZE; ++i)
    {
        // A darker frame around the face.
        int x = i % TEXTURE_SIZE;
        int y = i / TEXTURE_SIZE;
        bool bEdge = x == 0 || y == 0 || x == TEXTURE_SIZE - 1 || y == TEXTURE_SIZE - 1;
        for (std::uint8_t ucChannel : kProp.aucColour)
            kPixels.push_back(bEdge ? static_cast<std::uint8_t>(ucChannel / 2) : ucChannel);
    }
    if (!WriteTga(kFolder + "/" + kBase + ".tga", TEXTURE_SIZE, TEXTURE_SIZE, 24, kPixels))
        return false;

    NiRefPtr<NiNode> spSceneRoot = new NiNode;
    spSceneRoot->SetName("Scene Root");
    NiRefPtr<NiNode> spModel = new NiNode;
    spModel->SetName(kProp.pcName);
    spSceneRoot->AttachChild(spModel);
    NiTriShape* pkBox = MakeBox(kProp.kSize);
    pkBox->SetName((std::string(kProp.pcName) + "_box").c_str());
    // Named as the game finds it: relative to the game folder.
    pkBox->AttachProperty(new NiTexturingProperty((kBase + ".tga").c_str()));
    spModel->AttachChild(pkBox);
    NiRefPtr<NiNode> spMarker = new NiNode;
    spMarker->SetName((std::string(kProp.pcName) + "_marker").c_str());
    spMarker->SetTranslate(NiVec3(0.0f, 0.0f, kProp.kSize.z));
    auto* pkText = new NiStringExtraData(kProp.pcText);
    pkText->SetName("UserPropBuffer");
    spMarker->AddExtraData(pkText);
    spModel->AttachChild(spMarker);

    NiObjectStream kStream;
    kStream.InsertTopObject(spSceneRoot);
    const std::string kPath = kFolder + "/" + kBase + ".nif";
    if (!kStream.SaveFile(kPath.c_str()))
    {
        std::fprintf(stderr, "demo data: cannot write %s\n", kPath.c_str());
        return false;
    }
    return true;
}
} // namespace

bool WriteDemoProps(const std::string& kFolder)
{
    if (!os::CreateFolderTree(kFolder + "/models/props"))
    {
        std::fprintf(stderr, "demo data: cannot make the folder %s/models/props\n", kFolder.c_str());
        return false;
    }
    for (const Prop& kProp : PROPS)
    {
        if (!WriteProp(kFolder, kProp))
            return false;
    }
    // The lamp's animation file exists but is empty: it brings nothing.
    const std::string kEmpty = kFolder + "/models/props/lamp.kf";
    std::ofstream kOut(kEmpty, std::ios::binary | std::ios::trunc);
    if (!kOut)
    {
        std::fprintf(stderr, "demo data: cannot write %s\n", kEmpty.c_str());
        return false;
    }
    return true;
}

bool AddDemoTemplates(const std::string& kDataPath)
{
    COrvaneTagTree kTree;
    if (!kTree.Load(kDataPath.c_str()))
        return false;
    bool bOk = kTree.SelectSection("root", true) && kTree.AddChild("TEMPLATES") &&
               kTree.SelectSection("<TEMPLATES>", true) && kTree.AddChild("Props") && kTree.FindChild("<Props>") &&
               kTree.AddChild("plans") && kTree.FindChild("<plans>");
    for (const Prop& kProp : PROPS)
    {
        const std::string kTag = std::string("<") + kProp.pcName + ">";
        bOk = bOk && kTree.AddChild(kProp.pcName) && kTree.FindChild(kTag.c_str());
        if (!bOk)
            break;
        kTree.AddValue(std::string("models/props/") + kProp.pcName + ".nif");
        kTree.AddValue(kProp.pcWidth);
        kTree.AddValue(kProp.pcDepth);
        bOk = kTree.AddChild("prerequisits") && kTree.FindChild("<prerequisits>");
        if (!bOk)
            break;
        kTree.AddValue(kProp.pcPrerequisite);
        kTree.SelectParent();
        kTree.SelectParent();
    }
    if (!bOk || !kTree.Save(kDataPath.c_str()))
    {
        std::fprintf(stderr, "demo data: cannot write the templates of %s\n", kDataPath.c_str());
        return false;
    }
    return true;
}
