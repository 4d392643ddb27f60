#include "framework/COrvaneFileIOCanvas.h"

#include "framework/COrvaneApplication.h"
#include "framework/COrvaneCamera.h"
#include "framework/COrvaneGame.h"
#include "framework/COrvaneWidget.h"
#include "platform/os/OsDefs.h"
#include "platform/os/OsFiles.h"

#include <algorithm>

namespace
{
COrvaneCamera* GameCamera()
{
    const COrvaneApplication* pkApplication = COrvaneApplication::GetExisting();
    const COrvaneGame* pkGame = pkApplication != nullptr ? pkApplication->GetGame() : nullptr;
    return pkGame != nullptr ? pkGame->GetCamera() : nullptr;
}

// Byte order with the bytes taken as signed characters.
bool SignedLess(const std::string& kA, const std::string& kB)
{
    return std::lexicographical_compare(kA.begin(), kA.end(), kB.begin(), kB.end(),
                                        [](char a, char b)
                                        { return static_cast<signed char>(a) < static_cast<signed char>(b); });
}
} // namespace

COrvaneFileIOCanvas::COrvaneFileIOCanvas()
{
    COrvaneFileIOCanvas::Reset();
}

COrvaneFileIOCanvas::~COrvaneFileIOCanvas()
{
    COrvaneFileIOCanvas::Destroy();
}

void COrvaneFileIOCanvas::Destroy()
{
    m_pkPreview.reset();
    m_kEntries.clear();
    COrvaneFileIOCanvas::Reset();
    COrvaneCanvas::Destroy();
}

void COrvaneFileIOCanvas::Reset()
{
    m_iHasFiles = 0;
    m_pkPreview.reset();
    m_sSelected = -1;
    m_sNameField = -1;
    m_sScroll = 0;
}

void COrvaneFileIOCanvas::Draw()
{
    COrvaneCanvas::Draw();
    if (m_pkPreview != nullptr)
        m_pkPreview->DrawIfVisible(GetX(), GetY());
}

void COrvaneFileIOCanvas::Create(const char* pcImageName, float fX, float fY, bool bScale)
{
    COrvaneCanvas::Create(pcImageName, fX, fY, bScale);
    CWidgetDesc kDesc;
    kDesc.m_fX = GetX() + 38.0f;
    kDesc.m_fY = GetY() + 42.0f;
    kDesc.m_fLength = 160.0f;
    auto pkName = std::make_unique<COrvaneTextWidget>();
    pkName->Create(kDesc);
    AddWidget(std::move(pkName));
    m_sNameField = static_cast<std::int16_t>(GetWidgetCount() - 1);
    m_kStartFolder = os::GetCurrentFolder();
    m_kCurrentFolder = "./";
    m_iPreviewX = 200;
    m_iPreviewY = 160;
}

void COrvaneFileIOCanvas::OpenSaveFolder()
{
    (void)ChangeFolder("maps");
}

void COrvaneFileIOCanvas::ScanFolder()
{
    m_sSelected = -1;
    m_kEntries.clear();
    m_iHasFiles = 0;
    os::FindData kItem;
    const os::FindHandle hSearch = os::FindFirst("*.*", kItem);
    if (hSearch != -1)
    {
        do
        {
            const os::PathParts kParts = os::SplitPath(kItem.name);
            if ((kItem.attributes & os::ATTRIB_SUBDIR) != 0)
            {
                // Whole folder names; "." and ".." and hidden folders are not listed.
                if (!kItem.name.empty() && kItem.name[0] != '.')
                    m_kEntries.push_back({kItem.name, KIND_FOLDER});
            }
            else if (kParts.extension == ".fds")
            {
                m_kEntries.push_back({kParts.name, KIND_FILE});
                m_iHasFiles = 1;
            }
        } while (os::FindNext(hSearch, kItem) == 0);
        (void)os::FindClose(hSearch);
    }
    std::sort(m_kEntries.begin(), m_kEntries.end(),
              [](const Entry& kA, const Entry& kB)
              { return kA.m_uiKind != kB.m_uiKind ? kA.m_uiKind < kB.m_uiKind : SignedLess(kA.m_kName, kB.m_kName); });
    for (std::size_t i = m_kEntries.size(); i-- > 0;)
        if (m_kEntries[i].m_uiKind == KIND_FILE)
            LoadPreview(static_cast<std::int32_t>(i), false);
    m_sScroll = 0;
}

bool COrvaneFileIOCanvas::ChangeFolder(const std::string& kPath)
{
    SetNameText("");
    const bool bChanged = os::ChangeFolder(kPath);
    if (bChanged)
        m_kCurrentFolder += kPath + "/";
    ScanFolder();
    return bChanged;
}

void COrvaneFileIOCanvas::GoToStartFolder()
{
    (void)ChangeFolderTo(m_kStartFolder);
    m_kCurrentFolder = "./";
}

void COrvaneFileIOCanvas::LoadPreview(std::int32_t iIndex, bool bStayInFolder)
{
    if (iIndex < 0 || iIndex >= static_cast<std::int32_t>(m_kEntries.size()))
        return;
    const Entry kEntry = m_kEntries[static_cast<std::size_t>(iIndex)];
    if (kEntry.m_uiKind == KIND_FILE)
    {
        m_sSelected = static_cast<std::int16_t>(iIndex);
        SetNameText(kEntry.m_kName);
        ShowPreview(kEntry.m_kName + ".fdp");
    }
    else if (!bStayInFolder)
    {
        (void)ChangeFolder(kEntry.m_kName);
    }
}

void COrvaneFileIOCanvas::ShowPreview(const std::string& kFileName)
{
    m_pkPreview.reset();
    if (os::GetFileSize(kFileName) == 0)
        return;
    CWidgetDesc kDesc;
    kDesc.m_kName = kFileName;
    kDesc.m_fX = static_cast<float>(m_iPreviewX);
    kDesc.m_fY = static_cast<float>(m_iPreviewY);
    kDesc.m_pkCamera = GameCamera();
    m_pkPreview = std::make_unique<COrvaneImage>();
    m_pkPreview->Create(kDesc);
}

bool COrvaneFileIOCanvas::CapturePreview(const std::string& kFileName, std::int32_t, std::int32_t)
{
    m_pkPreview.reset();
    COrvaneCamera* pkCamera = GameCamera();
    if (pkCamera == nullptr)
        return false;
    // Written beside it and put in place whole, as the save itself: a
    // failed or cut write keeps the old picture, and a link or FIFO under
    // the picture's name is never written through.
    os::TemporaryFile kTemp = os::CreateTemporaryFor(kFileName);
    return kTemp.IsOpen() && pkCamera->SavePreview(kTemp.GetFile()) && os::CommitFile(kTemp, kFileName);
}

void COrvaneFileIOCanvas::SetNameText(const std::string& kText)
{
    if (COrvaneWidget* pkName = GetWidget(m_sNameField))
        pkName->SetText(kText);
}
