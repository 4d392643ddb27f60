#include "tests/engine/scene/RenderPathTestSupport.h"

#include "engine/render/NiScreenTexture.h"
#include "engine/scene/NiLines.h"
#include "engine/scene/NiPropertySet.h"
#include "engine/scene/NiSceneGraphLibrary.h"

namespace scene_test
{
void FrameRenderer::SetCameraData(const NiVec3& kLoc, const NiVec3& kDir, const NiVec3& kUp, const NiVec3& kRight,
                                  const NiViewFrustum& kFrustum, const NiRect<float>& kPort)
{
    Log("camera");
    m_kCameraLocation = kLoc;
    m_kCameraDirection = kDir;
    m_kCameraUp = kUp;
    m_kCameraRight = kRight;
    m_kCameraFrustum = kFrustum;
    m_kCameraPort = kPort;
}

void FrameRenderer::DrawTriShape(NiTriBasedGeom* pkShape)
{
    GeomRenderer::DrawTriShape(pkShape);
    Log(std::string("shape:") + (pkShape->GetName() ? pkShape->GetName() : ""));
}

void FrameRenderer::DrawLines(NiLines* pkLines, NiPropertySet*, NiEffectSet* pkEffects)
{
    m_kLineEffects.push_back(pkEffects);
    Log(std::string("lines:") + (pkLines->GetName() ? pkLines->GetName() : ""));
}

void FrameRenderer::RenderScreenPolygon(NiScreenPolygon*)
{
    m_kPolygonSets.push_back(GetPropertyState());
    m_kPolygonHadEffects.push_back(GetEffectState() != nullptr);
    Log("polygon");
}

void FrameRenderer::RenderScreenTexture(NiScreenTexture*)
{
    Log("texture");
}

void RenderPathTest::SetUp()
{
    GeometryTest::SetUp();
    // Cameras list screen textures; the render library may not be started.
    NiObjectStream::RegisterCreateFunction("NiScreenTexture", &NiScreenTexture::CreateObject);
    // The library's shared defaults, as its start-up makes them.
    NiSceneGraphSetDefaultProperties();
}

void RenderPathTest::TearDown()
{
    NiPropertySet::ResetDefaults();
    GeometryTest::TearDown();
}

NiRefPtr<NiTriShape> NamedSquare(const char* pcName, const NiVec3& kPosition, float fScale)
{
    NiRefPtr<NiTriShape> sp = new NiTriShape(SquareData());
    sp->SetName(pcName);
    sp->SetTranslate(kPosition);
    sp->SetScale(fScale);
    sp->Update(0.0f);
    return sp;
}

NiRefPtr<NiTriShape> BoundSquare(const char* pcName, const NiVec3& kCenter, float fRadius)
{
    NiRefPtr<NiTriShape> sp = NamedSquare(pcName);
    sp->SetWorldBound(NiBoundSphere(kCenter, fRadius));
    return sp;
}
} // namespace scene_test
