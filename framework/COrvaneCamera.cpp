#include "framework/COrvaneCamera.h"

#include "engine/core/NiBufferedFile.h"
#include "engine/core/NiMatrix3x3.h"
#include "engine/core/NiObjectStream.h"
#include "engine/render/NiDX9Renderer.h"
#include "engine/render/NiPixelData.h"
#include "engine/scene/NiAccumulator.h"
#include "engine/scene/NiCamera.h"
#include "engine/scene/NiScreenSpaceCamera.h"
#include "framework/COrvaneApplication.h"
#include "framework/COrvaneSceneLink.h"
#include "framework/COrvaneGame.h"
#include "framework/COrvaneTagTree.h"
#include "platform/os/OsDialog.h"

#include <algorithm>
#include <cstring>
#include <sstream>

namespace
{
bool s_bScreenRootMade = false;

// The first value under the tree's cursor as a float; false when there is none.
bool ReadCursorFloat(const COrvaneTagTree& kTree, float& fValue)
{
    const std::vector<std::string>& kValues = kTree.GetValues();
    if (kValues.empty())
        return false;
    std::istringstream kStream(kValues.front());
    float f = 0.0f;
    if (!(kStream >> f))
        return false;
    fValue = f;
    return true;
}

const NiVec3 ZERO_VECTOR;
constexpr float QUARTER_TURN = 1.5707964f;
} // namespace

// The engine side of the camera.
class COrvaneCameraImpl
{
public:
    NiRefPtr<NiCamera> m_spCamera;
    NiRefPtr<NiScreenSpaceCamera> m_spScreenCamera;
    NiVec3 m_kWorldPosition;
};

COrvaneCamera::COrvaneCamera() : m_pkImpl(std::make_unique<COrvaneCameraImpl>()) {}

COrvaneCamera::~COrvaneCamera() = default;

bool COrvaneCamera::LoadSettings(float, float, float)
{
    m_pkImpl->m_spCamera = new NiCamera;
    NiCamera* pkCamera = m_pkImpl->m_spCamera;

    // Unread, the far distance stays the engine camera's own.
    float fFar = NiViewFrustum().m_fFar;
    bool bFarRead = false;
    if (COrvaneTagTree* pkSettings = COrvaneApplication::GetSettings())
    {
        // The three distances are read only as consecutive siblings.
        float fIgnored = 0.0f;
        if (pkSettings->SelectSection("Game_Data", true) && pkSettings->FindChild("NearClipPlane"))
        {
            (void)ReadCursorFloat(*pkSettings, fIgnored);
            if (pkSettings->NextSibling("FarClipPlane"))
                bFarRead = ReadCursorFloat(*pkSettings, fFar);
        }
    }
    if (!bFarRead)
        os::OutputDebugString("Camera: no FarClipPlane right after NearClipPlane in Game_Data; far plane 2.0\n");
    pkCamera->SetTranslate(NiVec3(-100.0f, 0.0f, 0.0f));
    NiViewFrustum kFrustum;
    // A near plane of 0 would leave the depth range without precision.
    kFrustum.Set(-0.25f, 0.25f, 0.1875f, -0.1875f, std::max(fFar / 10000.0f, 0.1f), fFar, false);
    pkCamera->SetViewFrustum(kFrustum);
    NiRect<float> kPort;
    kPort.m_left = 0.0f;
    kPort.m_right = 1.0f;
    kPort.m_top = 1.0f;
    kPort.m_bottom = 0.0f;
    pkCamera->SetViewPort(kPort);
    RotateC(nullptr, -1.5707964f, 2);
    return true;
}

bool COrvaneCamera::SetProjection(float fTanHalfHeight, float fAspect)
{
    NiCamera* pkCamera = m_pkImpl->m_spCamera;
    if (pkCamera == nullptr || !(fTanHalfHeight > 0.0f) || !(fAspect > 0.0f))
        return false;
    NiViewFrustum kFrustum = pkCamera->GetViewFrustum();
    const float fHalfWidth = fTanHalfHeight * fAspect;
    kFrustum.Set(-fHalfWidth, fHalfWidth, fTanHalfHeight, -fTanHalfHeight, kFrustum.m_fNear, kFrustum.m_fFar, false);
    pkCamera->SetViewFrustum(kFrustum);
    pkCamera->Update(0.0f);
    return true;
}

void COrvaneCamera::Release()
{
    m_pkImpl->m_spScreenCamera = nullptr;
    m_pkImpl->m_spCamera = nullptr;
}

void COrvaneCamera::Reset()
{
    m_fAngleA = m_fAngleB = m_fAngleC = 0.0f;
    m_kMove = NiVec3();
    m_kTurn = NiVec3();
    m_ucHeld = 0;
    m_uiMode = MODE_IDLE;
}

void COrvaneCamera::Turn(NiMatrix3x3 kRotation, const NiVec3* pkPivot, std::int32_t iCombine)
{
    NiCamera* pkCamera = m_pkImpl->m_spCamera;
    if (pkCamera == nullptr)
        return;
    if (iCombine != 0)
        kRotation = pkCamera->GetRotate() * kRotation;
    pkCamera->SetRotate(kRotation);
    if (pkPivot != nullptr)
        pkCamera->SetTranslate(*pkPivot - kRotation * *pkPivot);
    pkCamera->Update(0.0f);
}

void COrvaneCamera::RotateA(const NiVec3* pkPivot, float fAngle, std::int32_t iCombine)
{
    m_fAngleA = iCombine != 0 ? m_fAngleA + fAngle : fAngle;
    NiMatrix3x3 kQuarter;
    kQuarter.MakeYRotation(QUARTER_TURN);
    NiMatrix3x3 kTilt;
    kTilt.MakeXRotation(fAngle);
    NiMatrix3x3 kBack;
    kBack.MakeYRotation(-QUARTER_TURN);
    Turn(kQuarter * kTilt * kBack, pkPivot, iCombine);
}

void COrvaneCamera::RotateB(const NiVec3* pkPivot, float fAngle, std::int32_t iCombine)
{
    m_fAngleB = iCombine != 0 ? m_fAngleB + fAngle : fAngle;
    NiMatrix3x3 kRotation;
    kRotation.MakeYRotation(-fAngle);
    Turn(kRotation, pkPivot, iCombine);
}

void COrvaneCamera::RotateC(const NiVec3* pkPivot, float fAngle, std::int32_t iCombine)
{
    m_fAngleC = iCombine != 0 ? m_fAngleC + fAngle : fAngle;
    NiMatrix3x3 kRotation;
    kRotation.MakeZRotation(fAngle);
    Turn(kRotation, pkPivot, iCombine);
}

void COrvaneCamera::Translate(const NiVec3& kDelta)
{
    if (NiCamera* pkCamera = m_pkImpl->m_spCamera)
    {
        pkCamera->SetTranslate(pkCamera->GetTranslate() + kDelta);
        pkCamera->Update(0.0f);
    }
}

void COrvaneCamera::SetPosition(const NiVec3& kPoint)
{
    if (NiCamera* pkCamera = m_pkImpl->m_spCamera)
    {
        pkCamera->SetTranslate(kPoint);
        pkCamera->Update(0.0f);
    }
}

bool COrvaneCamera::Move(const NiVec3& kDelta, const MoveValidator& kValidator, bool bRaw)
{
    NiCamera* pkCamera = m_pkImpl->m_spCamera;
    if (pkCamera == nullptr)
        return false;
    NiVec3 kStep = kDelta;
    if (!bRaw)
    {
        kStep = NiVec3();
        if (kDelta.z != 0.0f)
        {
            NiVec3 kForward = pkCamera->GetWorldDirection();
            kForward.y = 0.0f;
            kForward.Normalize();
            kStep += kForward * kDelta.z;
        }
        if (kDelta.x != 0.0f)
        {
            NiVec3 kRight = pkCamera->GetWorldRightVector();
            kRight.y = 0.0f;
            kRight.Normalize();
            kStep += kRight * -kDelta.x;
        }
        if (kDelta.y != 0.0f)
        {
            NiVec3 kUp(0.0f, pkCamera->GetWorldUpVector().y, 0.0f);
            kUp.Normalize();
            kStep += kUp * kDelta.y;
        }
    }
    NiVec3 kPosition = pkCamera->GetTranslate() + kStep;
    if (kValidator && !kValidator(kPosition))
        return false;
    pkCamera->SetTranslate(kPosition);
    pkCamera->Update(0.0f);
    return true;
}

bool COrvaneCamera::LookAt(const NiVec3& kPoint)
{
    NiCamera* pkCamera = m_pkImpl->m_spCamera;
    if (pkCamera == nullptr || !pkCamera->LookAtWorldPoint(kPoint, NiVec3(0.0f, 1.0f, 0.0f)))
        return false;
    pkCamera->Update(0.0f);
    return true;
}

void COrvaneCamera::ResetAngles()
{
    m_fAngleA = m_fAngleB = m_fAngleC = 0.0f;
}

std::int32_t COrvaneCamera::BeginRender()
{
    NiCamera* pkCamera = m_pkImpl->m_spCamera;
    NiRenderer* pkRenderer = pkCamera != nullptr ? pkCamera->GetRenderer() : nullptr;
    if (pkRenderer == nullptr)
        return 0;
    pkRenderer->SetCameraData(pkCamera->GetWorldLocation(), pkCamera->GetWorldDirection(),
                              pkCamera->GetWorldUpVector(), pkCamera->GetWorldRightVector(),
                              pkCamera->GetViewFrustum(), pkCamera->GetViewPort());
    (void)pkRenderer->BeginScene();
    return 1;
}

std::int32_t COrvaneCamera::RenderScene()
{
    NiCamera* pkCamera = m_pkImpl->m_spCamera;
    NiRenderer* pkRenderer = pkCamera != nullptr ? pkCamera->GetRenderer() : nullptr;
    NiAccumulator* pkAccumulator = pkRenderer != nullptr ? pkRenderer->GetAccumulator() : nullptr;
    if (pkAccumulator == nullptr)
        return 0;
    (void)pkAccumulator->StartAccumulating(pkCamera);
    if (NiAVObject* pkScene = pkCamera->GetScene())
    {
        std::uint32_t uiPlanes = pkCamera->GetActivePlaneMask();
        pkScene->Cull(pkCamera, pkCamera->GetWorldPlanes(), uiPlanes);
    }
    pkAccumulator->FinishAccumulating();
    return 1;
}

std::int32_t COrvaneCamera::EndRender()
{
    NiCamera* pkCamera = m_pkImpl->m_spCamera;
    if (pkCamera == nullptr || pkCamera->GetRenderer() == nullptr)
        return 0;
    pkCamera->GetRenderer()->EndScene();
    return 1;
}

std::int32_t COrvaneCamera::DisplayFrame()
{
    NiCamera* pkCamera = m_pkImpl->m_spCamera;
    if (pkCamera == nullptr)
        return 0;
    pkCamera->DisplayFrame();
    return 1;
}

bool COrvaneCamera::SavePreview(const char* pcPath)
{
    return pcPath != nullptr && WritePreview(pcPath, nullptr);
}

bool COrvaneCamera::SavePreview(std::FILE* pkFile)
{
    return pkFile != nullptr && WritePreview(nullptr, pkFile);
}

bool COrvaneCamera::WritePreview(const char* pcPath, std::FILE* pkFile)
{
    NiCamera* pkCamera = m_pkImpl->m_spCamera;
    auto* pkRenderer = pkCamera != nullptr ? NiDynamicCast<NiDX9Renderer>(pkCamera->GetRenderer()) : nullptr;
    if (pkRenderer == nullptr)
        return false;
    std::uint32_t uiWidth = 0, uiHeight = 0, uiFlags = 0, uiAdapter = 0, uiDesc = 0, uiFBFormat = 0;
    std::uint32_t uiInterval = 0, uiSwap = 0, uiBackBuffers = 0, uiRefresh = 0;
    gfx::WindowHandle kWindow = nullptr, kFocus = nullptr;
    gfx::D3DFORMAT eDepth = 0;
    std::int32_t iFBMode = 0;
    pkRenderer->GetCreationParameters(uiWidth, uiHeight, uiFlags, kWindow, kFocus, uiAdapter, uiDesc, uiFBFormat,
                                      eDepth, uiInterval, uiSwap, iFBMode, uiBackBuffers, uiRefresh);
    // The game keeps its window mode: a windowed game is not sent full screen
    // for its picture.
    const std::uint32_t uiMode = uiFlags & NiDX9Renderer::USE_FULLSCREEN;
    const std::uint32_t uiScreenWidth = GetScreenWidth();
    const std::uint32_t uiScreenHeight = GetScreenHeight();

    (void)pkRenderer->Recreate(uiScreenWidth, uiScreenHeight, uiMode, kWindow, 0, 0, 1, 0,
                               NiDX9Renderer::FBMODE_LOCKABLE, 1, 0);
    COrvaneApplication* pkApp = COrvaneApplication::GetExisting();
    if (COrvaneGame* pkGame = pkApp != nullptr ? pkApp->GetGame() : nullptr)
        (void)pkGame->RenderScene();
    NiRefPtr<NiPixelData> spCapture = pkRenderer->CaptureBackBuffer(nullptr);

    bool bSaved = false;
    if (spCapture != nullptr && spCapture->GetPixels() != nullptr)
    {
        // Point samples, every (W / 128)th column of every (H / 96)th row.
        const std::uint32_t uiStride = spCapture->GetPixelStride();
        const std::uint32_t uiStepX = spCapture->GetWidth() >> 7;
        const std::uint32_t uiStepY = spCapture->GetHeight() / PREVIEW_HEIGHT;
        NiRefPtr<NiPixelData> spPreview =
            new NiPixelData(PREVIEW_WIDTH, PREVIEW_HEIGHT, spCapture->GetPixelFormat(), 1);
        if (spPreview->GetPixels() != nullptr && uiStride > 0)
        {
            const std::uint8_t* pucSource = spCapture->GetPixels();
            std::uint8_t* pucDest = spPreview->GetPixels();
            const std::size_t uiSourceRow = std::size_t(spCapture->GetWidth()) * uiStride;
            for (std::uint32_t uiY = 0; uiY < PREVIEW_HEIGHT; ++uiY)
            {
                for (std::uint32_t uiX = 0; uiX < PREVIEW_WIDTH; ++uiX)
                    std::memcpy(pucDest + (std::size_t(uiY) * PREVIEW_WIDTH + uiX) * uiStride,
                                pucSource + uiY * uiStepY * uiSourceRow + std::size_t(uiX) * uiStepX * uiStride,
                                uiStride);
            }
            NiObjectStream kStream;
            kStream.InsertTopObject(spPreview);
            if (pkFile != nullptr)
            {
                NiBufferedFile kFile(pkFile, NiBufferedFile::WRITE_ONLY, NiObjectStream::FILE_BUFFER_SIZE);
                bSaved = kStream.SaveByteStream(&kFile);
                bSaved = kFile.Flush() && kFile.IsGood() && bSaved;
            }
            else
            {
                bSaved = kStream.SaveFile(pcPath);
            }
        }
    }

    (void)pkRenderer->Recreate(uiScreenWidth, uiScreenHeight, uiMode, kWindow, 0, 0, 1, 0,
                               NiDX9Renderer::FBMODE_DEFAULT, 1, 0);
    return bSaved;
}

std::int32_t COrvaneCamera::ClearViewport(std::int32_t, std::int32_t iKind)
{
    NiCamera* pkCamera = m_pkImpl->m_spCamera;
    if (pkCamera == nullptr)
        return 0;
    // Kinds 1-3: colour, depth, colour and depth (the renderer's flags 1, 4, 5).
    static constexpr std::uint32_t CLEAR_FLAGS[] = {NiRenderer::CLEAR_BACKBUFFER, NiRenderer::CLEAR_ZBUFFER,
                                                    NiRenderer::CLEAR_BACKBUFFER | NiRenderer::CLEAR_ZBUFFER};
    if (iKind >= 1 && iKind <= 3)
        pkCamera->ClearViewport(CLEAR_FLAGS[iKind - 1]);
    return 1;
}

void COrvaneCamera::ClearVisibleSet()
{
    if (NiScreenSpaceCamera* pkScreen = m_pkImpl->m_spScreenCamera)
        pkScreen->RemoveAllScreenTextures();
}

std::int32_t COrvaneCamera::ProvideCamera(NiCamera*& rpkSlot) const
{
    if (rpkSlot != nullptr)
        return 0;
    rpkSlot = m_pkImpl->m_spCamera;
    return 1;
}

std::int32_t COrvaneCamera::ProvideScene(COrvaneSceneLink& kLink) const
{
    if (kLink.m_pkScreenCamera != nullptr)
        return 0;
    kLink.m_pkScreenCamera = m_pkImpl->m_spScreenCamera;
    return 1;
}

bool COrvaneCamera::CreateScreenRoot()
{
    NiCamera* pkCamera = m_pkImpl->m_spCamera;
    if (s_bScreenRootMade || pkCamera == nullptr)
        return false;
    s_bScreenRootMade = true;
    m_pkImpl->m_spScreenCamera = new NiScreenSpaceCamera;
    NiScreenSpaceCamera* pkScreen = m_pkImpl->m_spScreenCamera;
    pkScreen->SetRenderer(pkCamera->GetRenderer());
    (void)pkScreen->FitToRenderer();
    pkScreen->Update(0.0f);
    return true;
}

void COrvaneCamera::ResetScreenRootFlag()
{
    s_bScreenRootMade = false;
}

std::uint32_t COrvaneCamera::GetScreenWidth() const
{
    const NiCamera* pkCamera = m_pkImpl->m_spCamera;
    // Every renderer of ours knows its target's size, not only the device one.
    return pkCamera != nullptr && pkCamera->GetRenderer() != nullptr ? pkCamera->GetRenderer()->GetWidth() : 0;
}

std::uint32_t COrvaneCamera::GetScreenHeight() const
{
    const NiCamera* pkCamera = m_pkImpl->m_spCamera;
    return pkCamera != nullptr && pkCamera->GetRenderer() != nullptr ? pkCamera->GetRenderer()->GetHeight() : 0;
}

const NiVec3& COrvaneCamera::GetWorldPosition()
{
    if (const NiCamera* pkCamera = m_pkImpl->m_spCamera)
        m_pkImpl->m_kWorldPosition = pkCamera->GetWorldLocation();
    return m_pkImpl->m_kWorldPosition;
}

const NiVec3& COrvaneCamera::GetViewDirection() const
{
    const NiCamera* pkCamera = m_pkImpl->m_spCamera;
    return pkCamera != nullptr ? pkCamera->GetWorldDirection() : ZERO_VECTOR;
}

const NiVec3& COrvaneCamera::GetUpVector() const
{
    const NiCamera* pkCamera = m_pkImpl->m_spCamera;
    return pkCamera != nullptr ? pkCamera->GetWorldUpVector() : ZERO_VECTOR;
}

const NiVec3& COrvaneCamera::GetRightVector() const
{
    const NiCamera* pkCamera = m_pkImpl->m_spCamera;
    return pkCamera != nullptr ? pkCamera->GetWorldRightVector() : ZERO_VECTOR;
}

NiCamera* COrvaneCamera::GetEngineCamera() const
{
    return m_pkImpl->m_spCamera;
}

NiScreenSpaceCamera* COrvaneCamera::GetScreenCamera() const
{
    return m_pkImpl->m_spScreenCamera;
}

CZelmarCamera::CZelmarCamera()
{
    CZelmarCamera::Reset();
}

void CZelmarCamera::Reset()
{
    // Replaces the base reset: angles and control fields stay.
    m_fSpeed = 0.0f;
    m_fMinPitch = 0.1f;
    m_uiReserved = 0;
    m_fMaxPitch = 1.5f;
    m_ucTurnLocked = 0;
}

bool CZelmarCamera::LoadSettings(MoveValidator kValidator)
{
    m_kMoveValidator = std::move(kValidator);
    return true;
}

void CZelmarCamera::ClampedRotateA(const NiVec3* pkPivot, float fAngle, std::int32_t iCombine)
{
    if (m_uiMode == MODE_PITCH_LOCKED)
        return;
    const float fPitch = m_fAngleA + fAngle;
    if (fPitch >= m_fMinPitch && fPitch <= m_fMaxPitch)
        RotateA(pkPivot, fAngle, iCombine);
}

void CZelmarCamera::Update()
{
    const NiVec3 kZero;
    if (m_uiMode == MODE_TURNING)
    {
        if (m_ucTurnLocked == 0)
        {
            if (m_kTurn.x != 0.0f)
                ClampedRotateA(nullptr, m_kTurn.x * 0.1f, 2);
            if (m_kTurn.y != 0.0f)
                RotateB(nullptr, m_kTurn.y * -0.1f, 2);
        }
        m_kTurn = kZero;
    }
    else if (m_uiMode == MODE_RAISING)
    {
        if (m_kMove != kZero)
            MoveVertical(NiVec3(0.0f, -m_kMove.y, 0.0f));
    }
    else if (m_uiMode == MODE_MOVING)
    {
        if (m_kMove != kZero)
        {
            const COrvaneApplication* pkApplication = COrvaneApplication::GetExisting();
            const COrvaneGame* pkGame = pkApplication != nullptr ? pkApplication->GetGame() : nullptr;
            const float fFrameTime = pkGame != nullptr ? pkGame->GetFrameTimes().m_fFrameTime : 0.0f;
            m_fSpeed = std::min(m_fSpeed + fFrameTime, 1.0f);
            (void)Move(NiVec3(m_kMove.x * m_fSpeed, 0.0f, m_kMove.z * m_fSpeed), m_kMoveValidator, false);
        }
    }
    if (m_ucHeld == 0)
        m_kMove = kZero;
    COrvaneCamera::Update();
}
