#include "game/shell/CMouse.h"

#include "framework/COrvaneUtility.h"
#include "platform/os/OsFiles.h"

#include <cstdio>

namespace
{
bool CursorReadable()
{
    std::FILE* pkFile = os::OpenFile(CMouse::CURSOR_FILE, "rb");
    if (pkFile == nullptr)
        return false;
    const bool bHasByte = std::fgetc(pkFile) != EOF;
    std::fclose(pkFile);
    return bHasByte;
}
} // namespace

std::string CMouse::MissingCursorText(const std::string& kFolder)
{
    return std::string("Cannot start: the cursor image \"") + CURSOR_FILE + "\" is missing or unreadable in " +
           kFolder + ".";
}

bool CMouse::SetCallback(Callback kCallback)
{
    m_kCallback = std::move(kCallback);
    if (!CursorReadable())
    {
        ShowErrorBox(MissingCursorText(os::GetCurrentFolder()).c_str());
        return false;
    }
    return LoadCursor();
}

bool CMouse::OnLeftDown(const NiVec2& kPosition)
{
    (void)CZelmarMouse::OnLeftDown(kPosition);
    m_bFrameFlag = true;
    if (m_kCallback)
        (void)m_kCallback(BUTTON_LEFT_DOWN);
    return true;
}

bool CMouse::OnLeftUp(std::uint32_t uiUnused)
{
    (void)CZelmarMouse::OnLeftUp(uiUnused);
    if (m_kCallback)
        (void)m_kCallback(BUTTON_LEFT_UP);
    return true;
}

bool CMouse::OnRightDown(const NiVec2& kPosition)
{
    (void)CZelmarMouse::OnRightDown(kPosition);
    m_bFrameFlag = true;
    if (m_kCallback)
        (void)m_kCallback(BUTTON_RIGHT_DOWN);
    return true;
}
