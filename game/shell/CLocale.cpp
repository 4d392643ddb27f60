#include "game/shell/CLocale.h"

#include "framework/COrvaneApplication.h"
#include "framework/COrvaneFont.h"
#include "framework/COrvaneTagTree.h"
#include "framework/COrvaneText.h"
#include "framework/COrvaneWidget.h"
#include "framework/COrvaneWindow.h"
#include "game/shell/CGame.h"
#include "platform/os/OsFiles.h"

#include <utility>

namespace
{
CLocale::DrawnTextRecorder g_fnDrawnText;

// The folder the data document's file names are relative to, with its "/".
std::string WorkingDirectory()
{
    if (COrvaneApplication* pkApp = COrvaneApplication::GetExisting())
        if (COrvaneWindow* pkWindow = pkApp->GetWindow())
            if (!pkWindow->GetWorkingDirectory().empty())
                return pkWindow->GetWorkingDirectory();
    return os::GetCurrentFolder() + "/";
}

std::string WithoutLineEnd(const std::string& kValue)
{
    const std::string::size_type uiEnd = kValue.find_last_not_of("\r\n");
    return uiEnd == std::string::npos ? std::string() : kValue.substr(0, uiEnd + 1);
}

// An entry's tag line without "<", its line end and ">".
std::string EntryTag(std::string kName)
{
    if (!kName.empty() && kName.front() == '<')
        kName.erase(0, 1);
    if (!kName.empty() && kName.back() == '\n')
        kName.pop_back();
    if (!kName.empty() && kName.back() == '>')
        kName.pop_back();
    return kName;
}
} // namespace

CLocale::CLocale() = default;

CLocale::~CLocale()
{
    ClearAll();
}

void CLocale::ReleaseLocale()
{
    ClearAll();
    ResetCounts();
}

void CLocale::ClearAll()
{
    m_kLists.clear();
    m_kTextObjects.clear();
    m_kTextObjectLoaded.clear();
    m_kFonts.clear();
    m_kFontLoaded.clear();
}

void CLocale::ResetCounts()
{
    // The counts are the lists' sizes: an empty list counts 0.
    m_kLists.clear();
    m_kTextObjects.clear();
    m_kTextObjectLoaded.clear();
}

bool CLocale::ReadLanguageAndLoad()
{
    (void)ReadLanguage();
    return Load();
}

bool CLocale::Load()
{
    ClearAll();
    COrvaneTagTree kDocument;
    if (!kDocument.Load(LANGUAGE_FILE) || !kDocument.SelectSection("LANGUAGE", true))
        return true;
    const COrvaneTagNode* pkSection = kDocument.GetCursor();
    const std::size_t uiLanguage = static_cast<std::size_t>(GetLanguage());
    const std::string kLanguage = std::to_string(GetLanguage());
    for (std::size_t l = 0; l < pkSection->GetChildCount(); ++l)
    {
        const COrvaneTagNode* pkList = pkSection->GetChild(l);
        TextList kList;
        kList.m_kName = pkList->GetName();
        for (std::size_t n = 0; n < pkList->GetChildCount(); ++n)
        {
            const COrvaneTagNode* pkEntry = pkList->GetChild(n);
            const std::string kTag = EntryTag(pkEntry->GetName());
            const std::string kWanted = std::to_string(n);
            const std::vector<std::string>& kValues = pkEntry->GetValues();
            if (kTag != kWanted)
                kList.m_kEntries.push_back("incorrect tag number. LIST:" + kList.m_kName + ", FOUND:" + kTag +
                                           ", WANTED:" + kWanted + ", LANGUAGE:" + kLanguage);
            else if (GetLanguage() < 0 || uiLanguage >= kValues.size())
                kList.m_kEntries.push_back("Missing Language Text. LIST: " + kList.m_kName + ", INDEX:" + kWanted +
                                           ", LANGUAGE:" + kLanguage +
                                           ", ENGLISH:" + (kValues.empty() ? std::string() : kValues.front()));
            else
                kList.m_kEntries.push_back(kValues[uiLanguage]);
        }
        m_kLists.push_back(std::move(kList));
    }
    return true;
}

bool CLocale::LoadFontsAndScreenText(COrvaneTagTree* pkData)
{
    if (pkData == nullptr)
        return true;
    const std::string kFolder = WorkingDirectory();
    if (pkData->SelectSection("FONTS", true))
    {
        for (const std::string& kValue : pkData->GetValues())
        {
            if (WithoutLineEnd(kValue).empty())
                continue;
            auto pkText = std::make_unique<COrvaneText>();
            m_kTextObjectLoaded.push_back(pkText->LoadFont((kFolder + WithoutLineEnd(kValue)).c_str()));
            m_kTextObjects.push_back(std::move(pkText));
        }
    }
    if (pkData->SelectSection("SCREENTEXT", true))
    {
        const CGame* pkGame = CGame::Get();
        COrvaneCamera* pkCamera = pkGame != nullptr ? pkGame->GetCamera() : nullptr;
        for (const std::string& kValue : pkData->GetValues())
        {
            if (WithoutLineEnd(kValue).empty())
                continue;
            auto pkFont = std::make_unique<COrvaneFont>();
            m_kFontLoaded.push_back(pkFont->Create((kFolder + WithoutLineEnd(kValue)).c_str(), pkCamera));
            m_kFonts.push_back(std::move(pkFont));
        }
    }
    return true;
}

bool CLocale::OpenLanguageFile()
{
    COrvaneTagTree kDocument;
    if (!kDocument.Load(LANGUAGE_FILE))
        return false;
    return kDocument.SaveSplit(LANGUAGE_SPLIT);
}

COrvaneText* CLocale::GetTextObject(std::int32_t iIndex) const
{
    if (iIndex < 0 || static_cast<std::size_t>(iIndex) >= m_kTextObjects.size() ||
        !m_kTextObjectLoaded[static_cast<std::size_t>(iIndex)])
        return nullptr;
    return m_kTextObjects[static_cast<std::size_t>(iIndex)].get();
}

COrvaneFont* CLocale::GetFont(std::int32_t iIndex) const
{
    if (iIndex < 0 || static_cast<std::size_t>(iIndex) >= m_kFonts.size() ||
        !m_kFontLoaded[static_cast<std::size_t>(iIndex)])
        return nullptr;
    return m_kFonts[static_cast<std::size_t>(iIndex)].get();
}

const CLocale::TextList* CLocale::GetList(std::int32_t iList) const
{
    if (iList < 0 || static_cast<std::size_t>(iList) >= m_kLists.size())
        return nullptr;
    return &m_kLists[static_cast<std::size_t>(iList)];
}

std::int16_t CLocale::FindList(const char* pcName) const
{
    if (pcName == nullptr)
        return -1;
    for (std::size_t i = 0; i < m_kLists.size() && i < 0x8000; ++i)
        if (m_kLists[i].m_kName.find(pcName) != std::string::npos)
            return static_cast<std::int16_t>(i);
    return -1;
}

std::string CLocale::InvalidListText(std::int32_t iList)
{
    return "Invalid language vector. index " + std::to_string(iList);
}

std::string CLocale::EntryOutOfRangeText(std::int32_t iList)
{
    return "Text out of range of selected language vector index " + std::to_string(iList);
}

std::string CLocale::GetEntryText(std::int32_t iList, std::int32_t iEntry) const
{
    const TextList* pkList = GetList(iList);
    if (pkList == nullptr)
        return InvalidListText(iList);
    if (iEntry < 0 || static_cast<std::size_t>(iEntry) >= pkList->m_kEntries.size())
        return EntryOutOfRangeText(iList);
    return pkList->m_kEntries[static_cast<std::size_t>(iEntry)];
}

void CLocale::SetDrawnTextRecorder(DrawnTextRecorder fnRecorder)
{
    g_fnDrawnText = std::move(fnRecorder);
}

std::int32_t CLocale::DrawString(std::int32_t iFont, std::string kText, bool bCentre, float fX, float fY,
                                 std::int32_t iAlignment, const COrvaneWidgetRect* pkBox)
{
    if (g_fnDrawnText)
        g_fnDrawnText(kText);
    if (pkBox != nullptr)
        return DrawInBox(iFont, *pkBox, kText);
    if (bCentre && iAlignment == ALIGN_CENTRE)
        fX = fX + ScreenWidth() / 2.0f - MeasureText(iFont, kText) / 2.0f;
    DrawLine(iFont, fX, fY, kText);
    return 0;
}

std::int32_t CLocale::DrawText(std::int32_t iFont, std::int32_t iList, std::int32_t iEntry, float fX, float fY,
                               std::int32_t iAlignment, const COrvaneWidgetRect* pkBox)
{
    const TextList* pkList = GetList(iList);
    const bool bFound = pkList != nullptr && iEntry >= 0 && static_cast<std::size_t>(iEntry) < pkList->m_kEntries.size();
    return DrawString(iFont, GetEntryText(iList, iEntry), bFound, fX, fY, iAlignment, pkBox);
}

std::int32_t CLocale::DrawNumberedText(std::int32_t iNumber, std::int32_t iFont, std::int32_t iList,
                                       std::int32_t iEntry, float fX, float fY, std::int32_t iAlignment,
                                       const COrvaneWidgetRect* pkBox)
{
    const TextList* pkList = GetList(iList);
    const bool bFound = pkList != nullptr && iEntry >= 0 && static_cast<std::size_t>(iEntry) < pkList->m_kEntries.size();
    if (!bFound)
        return DrawString(iFont, GetEntryText(iList, iEntry), false, fX, fY, iAlignment, pkBox);
    std::string kText = pkList->m_kEntries[static_cast<std::size_t>(iEntry)];
    if (iNumber != 1)
    {
        // A text without a space takes its plural at the end.
        const std::string::size_type uiSpace = kText.find(' ');
        kText.insert(uiSpace == std::string::npos ? kText.size() : uiSpace, PluralEnding());
    }
    return DrawString(iFont, std::to_string(iNumber) + " " + kText, true, fX, fY, iAlignment, pkBox);
}

std::string CLocale::PluralEnding() const
{
    // A language whose counted nouns take another ending than "s" (German
    // adds "e" to its word for a prisoner) names it in the language file;
    // a few letters, never a sentence, so that a broken entry's error
    // text is not put in.
    const std::int16_t sList = FindList(PLURAL_ENDING_LIST);
    const TextList* pkList = sList >= 0 ? GetList(sList) : nullptr;
    if (pkList == nullptr || pkList->m_kEntries.empty())
        return "s";
    const std::string& kEnding = pkList->m_kEntries.front();
    if (kEnding.empty() || kEnding.size() > MAX_PLURAL_ENDING || kEnding.find(' ') != std::string::npos)
        return "s";
    return kEnding;
}

std::int32_t CLocale::GetEntryWidth(std::int32_t iFont, std::int32_t iList, std::int32_t iEntry) const
{
    const TextList* pkList = GetList(iList);
    const COrvaneFont* pkFont = GetFont(iFont);
    if (pkList == nullptr || pkFont == nullptr || iEntry < 0 ||
        static_cast<std::size_t>(iEntry) >= pkList->m_kEntries.size())
        return -1;
    return static_cast<std::int32_t>(pkFont->GetTextWidth(pkList->m_kEntries[static_cast<std::size_t>(iEntry)].c_str()));
}

void CLocale::ReleaseFontGlyphs()
{
    ++m_uiGlyphReleases;
    for (std::size_t i = 0; i < m_kFonts.size(); ++i)
        if (m_kFontLoaded[i])
            m_kFonts[i]->ResetBatches();
}

float CLocale::MeasureText(std::int32_t iFont, const std::string& kText) const
{
    const COrvaneFont* pkFont = GetFont(iFont);
    return pkFont != nullptr ? static_cast<float>(pkFont->GetTextWidth(kText.c_str())) : 0.0f;
}

void CLocale::BeginFont(std::int32_t iFont)
{
    if (COrvaneFont* pkFont = GetFont(iFont))
        pkFont->BeginBatch();
}

void CLocale::FlushFont(std::int32_t iFont)
{
    if (COrvaneFont* pkFont = GetFont(iFont))
        pkFont->Flush();
}

void CLocale::DrawLine(std::int32_t iFont, float fX, float fY, const std::string& kText)
{
    if (COrvaneFont* pkFont = GetFont(iFont))
        pkFont->DrawText(fX, fY, kText.c_str());
}

std::int32_t CLocale::DrawInBox(std::int32_t iFont, const COrvaneWidgetRect& kBox, const std::string& kText)
{
    COrvaneFont* pkFont = GetFont(iFont);
    return pkFont != nullptr ? pkFont->DrawTextWrapped(kBox, kText.c_str()) : 0;
}

float CLocale::ScreenWidth() const
{
    const CGame* pkGame = CGame::Get();
    return pkGame != nullptr ? static_cast<float>(pkGame->GetScreenWidth()) : 1024.0f;
}
