// The language file: the input is "./language.xml", loaded in each of the
// three languages (and one past them). Every entry reads as a text or as
// the text that says why it has none; lists are found by their own names.

#include "game/shell/CLocale.h"
#include "tests/fuzz/FuzzDemoData.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>

namespace
{
void Check(bool bHolds)
{
    if (!bHolds)
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pucData, std::size_t uiSize)
{
    if (!EnterDemoData("language"))
        return 0;
    {
        std::ofstream kOut("language.xml", std::ios::binary | std::ios::trunc);
        kOut.write(reinterpret_cast<const char*>(pucData), static_cast<std::streamsize>(uiSize));
        if (!kOut)
            return 0;
    }
    for (std::int32_t iLanguage = 0; iLanguage <= 3; ++iLanguage)
    {
        CLocale kLocale;
        kLocale.SetLanguage(iLanguage);
        Check(kLocale.Load());
        const std::int32_t iLists = kLocale.GetListCount();
        for (std::int32_t l = 0; l < iLists; ++l)
        {
            const CLocale::TextList* pkList = kLocale.GetList(l);
            Check(pkList != nullptr);
            const std::int16_t sFound = kLocale.FindList(pkList->m_kName.c_str());
            Check(sFound >= 0 && sFound <= l);
            const std::int32_t iEntries = static_cast<std::int32_t>(pkList->m_kEntries.size());
            Check(kLocale.GetEntryText(l, iEntries) == CLocale::EntryOutOfRangeText(l));
            for (std::int32_t e = 0; e < iEntries; ++e)
                Check(kLocale.GetEntryText(l, e) == pkList->m_kEntries[static_cast<std::size_t>(e)]);
            Check(kLocale.DrawNumberedText(2, 0, l, 0, 0.0f, 0.0f, CLocale::ALIGN_CENTRE, nullptr) == 0);
        }
        Check(kLocale.GetEntryText(iLists, 0) == CLocale::InvalidListText(iLists));
        Check(kLocale.GetEntryWidth(0, 0, 0) == -1); // no fonts
    }
    return 0;
}
