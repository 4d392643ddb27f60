#include "game/shell/CLocale.h"

bool CLocale::Load()
{
    (void)ReadLanguage();
    return true;
}

bool CLocale::LoadFontsAndScreenText(COrvaneTagTree* pkData)
{
    (void)pkData;
    return true;
}
