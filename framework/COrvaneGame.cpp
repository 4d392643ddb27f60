#include "framework/COrvaneGame.h"

#include "framework/COrvaneCamera.h"
#include "framework/COrvaneKeyboard.h"
#include "framework/COrvaneLocale.h"
#include "framework/COrvaneMouse.h"
#include "framework/COrvaneTagTree.h"

void COrvaneGameLists::Clear()
{
    m_kFirst.clear();
    m_kSecond.clear();
}

COrvaneGame::COrvaneGame()
{
    Reset();
}

COrvaneGame::~COrvaneGame()
{
    // The derived parts are gone by now; only the base's members remain.
    COrvaneGame::Destroy();
    ClearName();
}

void COrvaneGame::ClearFields()
{
    m_iState = 0;
    m_iMode = 0;
    m_ucSkipNextUpdate = 0;
    m_kTimes = COrvaneFrameTimes{};
    m_iScreenWidth = 0;
    m_iScreenHeight = 0;
    m_aucFlags.fill(0);
    m_uiCounter = 0;
    m_kLastKey = COrvaneLastKeyEvent{};
    m_kFrameKeys.Clear();
}

void COrvaneGame::RecordKeyEvent(const COrvaneLastKeyEvent& kEvent)
{
    GetLastKeyEvent() = kEvent;
    m_kFrameKeys.Add(kEvent);
}

void COrvaneGame::ClearKeyEvents()
{
    GetLastKeyEvent() = COrvaneLastKeyEvent{};
    m_kFrameKeys.Clear();
}

void COrvaneGame::DestroyInputs()
{
    if (m_pkMouse)
        m_pkMouse->Release();
    if (m_pkKeyboard)
        m_pkKeyboard->Release();
    if (m_pkCamera)
        m_pkCamera->Release();
    m_pkMouse.reset();
    m_pkKeyboard.reset();
    m_pkCamera.reset();
}

void COrvaneGame::Reset()
{
    // Dropping a member here deletes it rather than leaking it.
    m_pkDataDocument.reset();
    m_pkLists.reset();
    m_pkLocale.reset();
    m_pkMouse.reset();
    m_pkKeyboard.reset();
    m_pkCamera.reset();
    ClearFields();
}

void COrvaneGame::Destroy()
{
    if (m_pkLists)
        m_pkLists->Clear();
    m_pkLists.reset();
    m_pkDataDocument.reset();
    if (m_pkLocale)
        m_pkLocale->Release();
    m_pkLocale.reset();
    DestroyInputs();
    ClearFields();
    m_uiReserved = 0;
}

void COrvaneGame::SetScreenSize(std::int32_t iWidth, std::int32_t iHeight)
{
    m_iScreenWidth = iWidth;
    m_iScreenHeight = iHeight;
}

bool COrvaneGame::ChooseDisplayMode(std::uint32_t&, std::uint32_t&)
{
    return true;
}

void COrvaneGame::Update(float fDeltaTime)
{
    if (m_ucSkipNextUpdate != 0)
    {
        m_ucSkipNextUpdate = 0;
        m_kTimes.m_fFrameTime = 0.0f;
        m_kTimes.m_fTotalTime = 0.0f;
        return;
    }
    m_kTimes.m_fFrameTime = fDeltaTime < MAX_FRAME_TIME ? fDeltaTime : MAX_FRAME_TIME;
    m_kTimes.m_fTotalTime += m_kTimes.m_fFrameTime;
}

bool COrvaneGame::Init(const char* pcName)
{
    SetName(pcName);
    m_pkLists = std::make_unique<COrvaneGameLists>();
    return true;
}

void COrvaneGame::SetDataDocument(std::unique_ptr<COrvaneTagTree> pkDocument)
{
    m_pkDataDocument = std::move(pkDocument);
}

void COrvaneGame::SetLocale(std::unique_ptr<COrvaneLocale> pkLocale)
{
    m_pkLocale = std::move(pkLocale);
}

void COrvaneGame::SetCamera(std::unique_ptr<COrvaneCamera> pkCamera)
{
    m_pkCamera = std::move(pkCamera);
}

void COrvaneGame::SetMouse(std::unique_ptr<COrvaneMouse> pkMouse)
{
    m_pkMouse = std::move(pkMouse);
}

void COrvaneGame::SetKeyboard(std::unique_ptr<COrvaneKeyboard> pkKeyboard)
{
    m_pkKeyboard = std::move(pkKeyboard);
}
