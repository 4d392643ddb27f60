#include "game/simulation/objects/CGameHost.h"

#include "framework/COrvaneAnimationSpline.h"

namespace
{
CGameHost* g_pkHost = nullptr;
} // namespace

std::uint16_t CClockState::HourOf(float fMinutes)
{
    // The clock's own rule (its minutes times the float sixtieth), so both
    // agree at every boundary; NaN and negatives count as midnight.
    if (!(fMinutes > 0.0f))
        return 0;
    return static_cast<std::uint16_t>(static_cast<int>(fMinutes * 0.016666668f));
}

bool CClockState::HasHourBegun(std::uint16_t usHour) const
{
    return HourOf(m_fMinutes) == usHour && HourOf(m_fPreviousMinutes) != usHour;
}

bool CClockState::HasHourChanged() const
{
    return HourOf(m_fMinutes) != HourOf(m_fPreviousMinutes);
}

CGameHost::~CGameHost()
{
    if (g_pkHost == this)
        g_pkHost = nullptr;
}

CGameHost* CGameHost::Get()
{
    return g_pkHost;
}

void CGameHost::Set(CGameHost* pkHost)
{
    g_pkHost = pkHost;
}

void CGameHost::ResetInstance()
{
    g_pkHost = nullptr;
}

void CGameHost::SetArrivalPath(std::unique_ptr<COrvaneAnimationSpline> pkSpline, COrvaneObject* pkVehicle)
{
    (void)pkSpline;
    (void)pkVehicle;
}
