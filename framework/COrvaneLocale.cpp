#include "framework/COrvaneLocale.h"

#include "framework/COrvaneApplication.h"
#include "framework/COrvaneTagTree.h"

#include <sstream>

void COrvaneLocale::Release()
{
    ReleaseLocale();
}

bool COrvaneLocale::ReadLanguage()
{
    COrvaneTagTree* pkSettings = COrvaneApplication::GetSettings();
    if (pkSettings == nullptr)
        return true;
    // Without the setting the cursor stays elsewhere: nothing to read.
    if (!pkSettings->SelectSection("Game_Data", true) || !pkSettings->FindChild("Language"))
        return true;
    const std::vector<std::string>& kValues = pkSettings->GetValues();
    if (kValues.empty())
        return true;
    std::istringstream kStream(kValues.front());
    std::int32_t iLanguage = 0;
    if (kStream >> iLanguage)
        m_iLanguage = iLanguage;
    return true;
}
