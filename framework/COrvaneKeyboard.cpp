#include "framework/COrvaneKeyboard.h"

#include "framework/COrvaneApplication.h"
#include "framework/COrvaneCamera.h"
#include "framework/COrvaneGame.h"

namespace
{
constexpr std::array<std::uint8_t, 256> MakeTable()
{
    std::array<std::uint8_t, 256> a{};
    a.fill(static_cast<std::uint8_t>(COrvaneKeys::KEY_NONE));
    const char* pcDigits = "1234567890-=";
    for (int i = 0; i < 12; ++i)
        a[2 + i] = static_cast<std::uint8_t>(pcDigits[i]);
    const char* pcTop = "qwertyuiop[]";
    for (int i = 0; i < 12; ++i)
        a[16 + i] = static_cast<std::uint8_t>(pcTop[i]);
    const char* pcHome = "asdfghjkl;'`";
    for (int i = 0; i < 12; ++i)
        a[30 + i] = static_cast<std::uint8_t>(pcHome[i]);
    a[43] = '#';
    const char* pcBottom = "zxcvbnm,./";
    for (int i = 0; i < 10; ++i)
        a[44 + i] = static_cast<std::uint8_t>(pcBottom[i]);
    a[57] = ' ';
    a[86] = '\\';
    a[1] = 128;
    for (int i = 0; i < 10; ++i)
        a[59 + i] = static_cast<std::uint8_t>(129 + i);
    a[87] = 139;
    a[88] = 140;
    a[210] = 141;
    a[211] = 142;
    a[199] = 143;
    a[71] = 143;
    a[207] = 144;
    a[201] = 145;
    a[209] = 146;
    a[200] = 147;
    a[208] = 148;
    a[203] = 149;
    a[205] = 150;
    a[82] = 151;
    a[83] = 152;
    a[79] = 154;
    a[80] = 158;
    a[81] = 156;
    a[75] = 159;
    a[76] = 167;
    a[77] = 160;
    a[72] = 157;
    a[73] = 155;
    a[69] = 161;
    a[197] = 161;
    a[181] = 162;
    a[55] = 163;
    a[74] = 164;
    a[78] = 165;
    a[156] = 166;
    a[14] = 168;
    a[15] = 169;
    a[58] = 170;
    a[28] = 171;
    a[42] = 172;
    a[54] = 173;
    a[29] = 174;
    a[157] = 175;
    a[56] = 176;
    a[184] = 177;
    return a;
}

constexpr std::array<std::uint8_t, 256> KEY_TABLE = MakeTable();

CZelmarCamera* GameCamera()
{
    COrvaneApplication* pkApp = COrvaneApplication::GetExisting();
    COrvaneGame* pkGame = pkApp != nullptr ? pkApp->GetGame() : nullptr;
    return pkGame != nullptr ? dynamic_cast<CZelmarCamera*>(pkGame->GetCamera()) : nullptr;
}

struct MoveKey
{
    std::uint32_t uiKey;
    std::uint32_t uiMode;
    NiVec3 kMove;
};

constexpr MoveKey MOVE_KEYS[] = {
    {'a', COrvaneCamera::MODE_MOVING, {1.0f, 0.0f, 0.0f}},  {'d', COrvaneCamera::MODE_MOVING, {-1.0f, 0.0f, 0.0f}},
    {'w', COrvaneCamera::MODE_MOVING, {0.0f, 0.0f, 1.0f}},  {'s', COrvaneCamera::MODE_MOVING, {0.0f, 0.0f, -1.0f}},
    {'q', COrvaneCamera::MODE_RAISING, {0.0f, -1.0f, 0.0f}}, {'z', COrvaneCamera::MODE_RAISING, {0.0f, 1.0f, 0.0f}},
};
} // namespace

const std::array<std::uint8_t, 256>& COrvaneKeys::Table()
{
    return KEY_TABLE;
}

std::uint32_t COrvaneKeys::FromScanCode(std::uint32_t uiIndex)
{
    // An extended code above 127 would index past the table.
    return uiIndex < KEY_TABLE.size() ? KEY_TABLE[uiIndex] : KEY_NONE;
}

bool COrvaneKeyboard::SetState(const COrvaneKeyEvent& kEvent)
{
    m_ucCtrl = kEvent.m_ucCtrl;
    m_ucShift = kEvent.m_ucShift;
    m_uiScanCode = kEvent.m_uiScanCode;
    m_uiKeyCode = kEvent.m_uiKeyCode;
    m_usCharacter = kEvent.m_ucCharacter;
    return true;
}

bool CZelmarKeyboard::OnKeyDown(const COrvaneKeyEvent& kEvent)
{
    SetState(kEvent);
    if (IsInputBlocked())
        return true;
    CZelmarCamera* pkCamera = GameCamera();
    if (pkCamera == nullptr)
        return true;
    for (const MoveKey& kKey : MOVE_KEYS)
    {
        if (kKey.uiKey == kEvent.m_uiKeyCode)
        {
            pkCamera->m_uiMode = kKey.uiMode;
            pkCamera->m_kMove = kKey.kMove;
        }
    }
    const bool bShift = IsShiftDown();
    const std::uint32_t uiTurnMode = bShift ? COrvaneCamera::MODE_TURNING : COrvaneCamera::MODE_MOVING;
    switch (kEvent.m_uiKeyCode)
    {
    case COrvaneKeys::KEY_UP:
        pkCamera->m_uiMode = uiTurnMode;
        pkCamera->m_kTurn = bShift ? NiVec3(0.0f, -80.0f, 0.0f) : NiVec3(1.0f, 0.0f, 0.0f);
        break;
    case COrvaneKeys::KEY_DOWN:
        pkCamera->m_uiMode = uiTurnMode;
        pkCamera->m_kTurn = bShift ? NiVec3(0.0f, 80.0f, 0.0f) : NiVec3(-1.0f, 0.0f, 0.0f);
        break;
    case COrvaneKeys::KEY_LEFT:
        pkCamera->m_uiMode = uiTurnMode;
        pkCamera->m_kTurn = bShift ? NiVec3(-80.0f, 0.0f, 0.0f) : NiVec3(0.0f, 1.0f, 0.0f);
        break;
    case COrvaneKeys::KEY_RIGHT:
        pkCamera->m_uiMode = uiTurnMode;
        pkCamera->m_kTurn = bShift ? NiVec3(80.0f, 0.0f, 0.0f) : NiVec3(0.0f, -1.0f, 0.0f);
        break;
    default: break;
    }
    pkCamera->m_ucHeld = 1;
    return true;
}

bool CZelmarKeyboard::OnKeyUp(const COrvaneKeyEvent& kEvent)
{
    SetState(kEvent);
    if (IsInputBlocked())
        return true;
    CZelmarCamera* pkCamera = GameCamera();
    if (pkCamera == nullptr)
        return true;
    for (const MoveKey& kKey : MOVE_KEYS)
    {
        // Another move key pressed since keeps its own movement going.
        if (kKey.uiKey == kEvent.m_uiKeyCode && pkCamera->m_kMove == kKey.kMove)
        {
            pkCamera->m_uiMode = COrvaneCamera::MODE_IDLE;
            pkCamera->m_ucHeld = 0;
        }
    }
    switch (kEvent.m_uiKeyCode)
    {
    case COrvaneKeys::KEY_UP:
    case COrvaneKeys::KEY_DOWN:
    case COrvaneKeys::KEY_LEFT:
    case COrvaneKeys::KEY_RIGHT:
    case COrvaneKeys::KEY_LEFT_SHIFT:
    case COrvaneKeys::KEY_RIGHT_SHIFT:
    case COrvaneKeys::KEY_LEFT_CONTROL:
    case COrvaneKeys::KEY_RIGHT_CONTROL:
        pkCamera->m_uiMode = COrvaneCamera::MODE_IDLE;
        pkCamera->m_fSpeed = 0.0f;
        break;
    default: break;
    }
    return true;
}
