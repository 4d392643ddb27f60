#include "game/shell/CSecurityScreen.h"

#include "engine/core/NiRandom.h"
#include "framework/COrvaneWidget.h"
#include "game/shell/CLocale.h"
#include "platform/os/OsFiles.h"

namespace
{
std::unique_ptr<COrvaneImage> LoadPicture(const char* pcPicture, float fHeight, COrvaneCamera* pkCamera)
{
    if (pkCamera == nullptr || os::GetFileSize(os::ResolvePath(pcPicture)) == 0)
        return nullptr;
    auto pkImage = std::make_unique<COrvaneImage>();
    CWidgetDesc kDesc;
    kDesc.m_kName = pcPicture;
    kDesc.m_fWidth = 1024.0f;
    kDesc.m_fHeight = fHeight;
    kDesc.m_pkCamera = pkCamera;
    kDesc.m_ucScaleToScreen = 1;
    pkImage->Create(kDesc);
    return pkImage;
}

// 2 or 3 seconds to the next flicker decision.
float NextFlickerTime()
{
    return static_cast<float>(NiRand() % 2 + 2);
}
} // namespace

CSecurityScreen::CSecurityScreen() = default;

CSecurityScreen::~CSecurityScreen() = default;

void CSecurityScreen::Create(const CLocale* pkLocale, COrvaneCamera* pkCamera)
{
    m_pkFrame = LoadPicture(FRAME_IMAGE, 768.0f, pkCamera);
    m_pkScanLine = LoadPicture(SCAN_LINE_IMAGE, 16.0f, pkCamera);
    m_fScanLine = 0.0f;
    m_ucMode = 2;
    m_iFont = FONT;
    const std::int16_t sList = pkLocale != nullptr ? pkLocale->FindList(MESSAGES) : -1;
    m_usMessages = static_cast<std::uint16_t>(sList);
    m_iFlicker = 0;
    m_fFlickerTimer = NextFlickerTime();
    m_bDrewScanLine = false;
}

void CSecurityScreen::Clear()
{
    m_pkFrame.reset();
    m_pkScanLine.reset();
    m_fScanLine = 0.0f;
    m_ucMode = 0;
    m_iFont = 0;
    m_usMessages = 0;
    m_iFlicker = 0;
    m_fFlickerTimer = 0.0f;
    m_bDrewScanLine = false;
}

char CSecurityScreen::CornerLetter(float fCameraX, float fCameraZ, float fOriginX, float fOriginZ, float fWidth,
                                   float fDepth)
{
    // The building camera places itself exactly on a corner; anywhere else
    // it is moving and shows no letter.
    if (fCameraX == fOriginX && fCameraZ == fOriginZ)
        return 'A';
    if (fCameraX == fOriginX && fCameraZ == fOriginZ - fDepth)
        return 'B';
    if (fCameraX == fOriginX + fWidth && fCameraZ == fOriginZ - fDepth)
        return 'C';
    if (fCameraX == fOriginX + fWidth && fCameraZ == fOriginZ)
        return 'D';
    return 0;
}

std::string CSecurityScreen::Label(std::int32_t iGridNumber, char cCorner)
{
    std::string kLabel = std::to_string(iGridNumber);
    if (cCorner != 0)
        kLabel.push_back(cCorner);
    return kLabel;
}

void CSecurityScreen::Draw(const CSecurityScreenView& kView, CLocale* pkLocale)
{
    const bool bWide = kView.m_iGridNumber >= 10;
    const float fW = kView.m_fScreenWidth;
    if (pkLocale != nullptr)
    {
        const std::int32_t iList = static_cast<std::int16_t>(m_usMessages);
        const float fCameraWidth = pkLocale->MeasureText(m_iFont, pkLocale->GetEntryText(iList, ENTRY_CAMERA));
        const float fClockWidth = pkLocale->MeasureText(m_iFont, pkLocale->GetEntryText(iList, ENTRY_CLOCK));
        const float fMessageRight = fW - (bWide ? 98.0f : 80.0f);
        pkLocale->BeginFont(m_iFont);
        (void)pkLocale->DrawText(m_iFont, iList, ENTRY_CAMERA, fMessageRight - fCameraWidth, ROWS[0], 0, nullptr);
        pkLocale->DrawPlainText(m_iFont, fW - (bWide ? 82.0f : 64.0f), ROWS[0],
                                Label(kView.m_iGridNumber, kView.m_cCorner));
        (void)pkLocale->DrawText(m_iFont, iList, ENTRY_CLOCK, fMessageRight - fClockWidth, ROWS[1], 0, nullptr);
        const float fClockX = fW - fCameraWidth - 60.0f;
        pkLocale->DrawPlainText(m_iFont, fClockX, ROWS[2], kView.m_kTime);
        pkLocale->DrawPlainText(m_iFont, fClockX, ROWS[3], kView.m_kYear);
        pkLocale->FlushFont(m_iFont);
    }

    // While flickering the line shows in one frame out of three.
    m_bDrewScanLine = m_iFlicker == 0 || NiRand() % 3 == 0;
    if (m_bDrewScanLine && m_pkScanLine != nullptr)
        m_pkScanLine->Draw(0.0f, m_fScanLine);
    if (m_pkFrame != nullptr)
        m_pkFrame->Draw(0.0f, 0.0f);

    if (m_fScanLine > kView.m_fScreenHeight)
        m_fScanLine = 0.0f;
    else
        m_fScanLine += kView.m_fFrameTime * SCAN_LINE_SPEED;

    m_fFlickerTimer -= kView.m_fFrameTime;
    if (m_fFlickerTimer < 0.0f)
    {
        m_iFlicker = NiRand() % 3 == 0 ? 1 : 0;
        m_fFlickerTimer = NextFlickerTime();
    }
}
