#include "tools/COrvaneDemoSign.h"

#include "engine/animation/NiAnimKeyTables.h"
#include "engine/animation/NiFlipController.h"
#include "engine/animation/NiFloatData.h"
#include "engine/animation/NiFloatInterpolator.h"
#include "engine/animation/NiUVController.h"
#include "engine/animation/NiUVData.h"
#include "engine/core/NiObjectStream.h"
#include "engine/render/NiSourceTexture.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiTexturingProperty.h"
#include "engine/scene/NiTriShape.h"
#include "tools/COrvaneTgaWriter.h"

#include <cstdio>
#include <fstream>
#include <vector>

namespace
{
NiAnimKey* FloatKeys(std::uint32_t uiType, const std::vector<std::pair<float, float>>& kKeys)
{
    const std::uint8_t ucSize = NiAnimKeyTables::GetKeySize(NI_FLOATKEY, uiType);
    NiAnimKey* pk = NiAnimKeyTables::GetCreateFunction(NI_FLOATKEY, uiType)(static_cast<std::uint32_t>(kKeys.size()));
    for (std::size_t i = 0; i < kKeys.size(); ++i)
    {
        auto* p = static_cast<NiFloatKey*>(NiAnimKey::At(pk, static_cast<std::uint32_t>(i), ucSize));
        p->m_fTime = kKeys[i].first;
        p->m_fValue = kKeys[i].second;
    }
    if (auto pfnFill = NiAnimKeyTables::GetFillDerivedFunction(NI_FLOATKEY, uiType))
        pfnFill(pk, static_cast<std::uint32_t>(kKeys.size()), ucSize);
    return pk;
}

// An 8 x 8 picture: picture n has n + 1 light stripes on a dark ground.
bool WritePicture(const std::string& kPath, int iPicture)
{
    std::vector<std::uint8_t> kPixels;
    for (int y = 0; y < 8; ++y)
    {
        for (int x = 0; x < 8; ++x)
        {
            const bool bLight = x % (8 / (iPicture + 1)) == 0;
            kPixels.push_back(bLight ? 230 : 40);
            kPixels.push_back(bLight ? 200 : 40);
            kPixels.push_back(static_cast<std::uint8_t>(bLight ? 60 * iPicture : 60));
        }
    }
    const std::vector<std::uint8_t> kFile = TgaImage(8, 8, 24, kPixels);
    std::ofstream kOut(kPath, std::ios::binary);
    kOut.write(reinterpret_cast<const char*>(kFile.data()), static_cast<std::streamsize>(kFile.size()));
    if (kOut)
        return true;
    std::fprintf(stderr, "demo data: cannot write %s\n", kPath.c_str());
    return false;
}
} // namespace

bool WriteDemoSign(const std::string& kFolder)
{
    std::vector<std::string> kNames;
    for (int i = 0; i < DEMO_SIGN_PICTURES; ++i)
    {
        kNames.push_back("sign" + std::to_string(i) + ".tga");
        if (!WritePicture(kFolder + "/" + kNames.back(), i))
            return false;
    }

    NiRefPtr<NiNode> spRoot = new NiNode;
    spRoot->SetName("Sign");
    auto* pkVertices = new NiVec3[4]{{-1, 0, 0}, {1, 0, 0}, {1, 0, 1}, {-1, 0, 1}};
    auto* pkNormals = new NiVec3[4]{{0, -1, 0}, {0, -1, 0}, {0, -1, 0}, {0, -1, 0}};
    auto* pkUVs = new NiVec2[4]{{0, 1}, {1, 1}, {1, 0}, {0, 0}};
    auto* pusTriangles = new std::uint16_t[6]{0, 1, 2, 0, 2, 3};
    NiRefPtr<NiTriShape> spBoard = new NiTriShape(4, pkVertices, pkNormals, nullptr, pkUVs, 1, 0, 2, pusTriangles);
    spBoard->SetName("Board");
    spRoot->AttachChild(spBoard);

    // The pictures are only named here; the game loads them when it draws.
    const bool bPrecache = NiTexture::GetPrecacheOnCreation();
    NiTexture::SetPrecacheOnCreation(false);
    std::vector<NiRefPtr<NiSourceTexture>> kTextures;
    for (const std::string& kName : kNames)
        kTextures.push_back(NiSourceTexture::CreateFromFile(kName.c_str(), NiTexture::FormatPrefs()));
    NiTexture::SetPrecacheOnCreation(bPrecache);
    NiRefPtr<NiTexturingProperty> spTexturing = new NiTexturingProperty;
    spTexturing->SetMap(NiTexturingProperty::BASE_INDEX, new NiTextureMap(kTextures[0]));
    spBoard->AttachProperty(spTexturing);

    // Scrolling: the U offset runs from 0 to 1 and starts again.
    NiRefPtr<NiUVData> spUV = new NiUVData;
    spUV->SetChannel(NiUVData::U_OFFSET, FloatKeys(NI_LINKEY, {{0.0f, 0.0f}, {DEMO_SIGN_SCROLL_TIME, 1.0f}}), 2,
                     NI_LINKEY);
    NiRefPtr<NiUVController> spScroll = new NiUVController;
    spScroll->SetUVData(spUV);
    spScroll->SetCycleType(NiTimeController::LOOP);
    spScroll->SetTarget(spBoard);

    // Flipping: one step key per picture, the last held for a full step.
    std::vector<std::pair<float, float>> kSteps;
    for (int i = 0; i <= DEMO_SIGN_PICTURES; ++i)
        kSteps.emplace_back(static_cast<float>(i) * DEMO_SIGN_FLIP_STEP,
                            static_cast<float>(i < DEMO_SIGN_PICTURES ? i : DEMO_SIGN_PICTURES - 1));
    NiFloatDataPtr spSteps = new NiFloatData;
    spSteps->ReplaceKeys(FloatKeys(NI_STEPKEY, kSteps), static_cast<std::uint32_t>(kSteps.size()), NI_STEPKEY);
    NiRefPtr<NiFlipController> spFlip = new NiFlipController;
    for (const auto& spTexture : kTextures)
        spFlip->AttachTexture(spTexture);
    spFlip->SetAffectedMap(NiTexturingProperty::BASE_INDEX);
    spFlip->SetInterpolator(new NiFloatInterpolator(spSteps));
    spFlip->ResetTimeExtrema();
    spFlip->SetCycleType(NiTimeController::LOOP);
    spFlip->SetTarget(spTexturing);

    NiObjectStream kStream;
    kStream.InsertTopObject(spRoot);
    const std::string kPath = kFolder + "/sign.nif";
    if (kStream.SaveFile(kPath.c_str()))
        return true;
    std::fprintf(stderr, "demo data: cannot write %s\n", kPath.c_str());
    return false;
}
