// The launcher's layout and stored choices: the input is "./setup.xml" in
// the demo data, read by the launcher with no display to show it on (it
// then builds both screens and plays in the stored mode at once). Every
// button's look is one of its own, the chosen mode is one the adapter
// lists, a language read is one of the three, and nothing is written.

#include "framework/COrvaneRendererFactory.h"
#include "game/shell/CStartUp.h"
#include "tests/fuzz/FuzzDemoData.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace
{
void Check(bool bHolds)
{
    if (!bHolds)
        std::abort();
}

// Two adapters; modes inside and outside the listed range, one refused.
class FuzzRenderers final : public COrvaneRendererFactory
{
public:
    FuzzRenderers()
    {
        m_kAdapters.push_back({"First", {{800, 600, 32, 1}, {1024, 768, 32, 1}, {1280, 1024, 16, 1},
                                         {1600, 1200, 32, 1}, {1024, 768, 32, 2}}});
        m_kAdapters.push_back({"Second", {{1280, 960, 32, 1}}});
    }
    NiRendererPtr Create(const COrvaneRendererParams&) override { return nullptr; }
    std::string GetLastError() const override { return "none"; }
    const std::vector<COrvaneAdapterDesc>& GetSystemInfo() override { return m_kAdapters; }
    bool FindMode(std::uint32_t, std::uint32_t uiFormat, std::uint32_t, std::uint32_t) override
    {
        return uiFormat == 1;
    }
    std::uint32_t GetCreationFlags(const NiRenderer*) const override { return 0; }

private:
    std::vector<COrvaneAdapterDesc> m_kAdapters;
};

FuzzRenderers g_kRenderers;

void CheckButtons(const std::vector<std::unique_ptr<CStartUpButton>>& kButtons)
{
    for (const auto& pkButton : kButtons)
    {
        bool bOwn = pkButton->m_pkCurrentSet == nullptr && pkButton->m_kImageSets.empty();
        for (const auto& pkSet : pkButton->m_kImageSets)
            bOwn = bOwn || pkSet.get() == pkButton->m_pkCurrentSet;
        Check(bOwn);
    }
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Nobody answers a dialog here.
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    fuzz::StartEngine();
    COrvaneRendererFactory::Set(&g_kRenderers);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pucData, std::size_t uiSize)
{
    if (!EnterDemoData("launcher"))
        return 0;
    const std::string kInput(reinterpret_cast<const char*>(pucData), uiSize);
    {
        std::ofstream kOut("setup.xml", std::ios::binary | std::ios::trunc);
        kOut << kInput;
        if (!kOut)
            return 0;
    }
    CStartUp kStartUp;
    Check(kStartUp.Run());
    Check(kStartUp.GetEnd() == CStartUp::End::Play);
    Check(kStartUp.GetAdapter() == 0);
    Check(kStartUp.GetMode() >= 0 && kStartUp.GetMode() < 5);
    Check(!kStartUp.HasLanguage() || (kStartUp.GetLanguage() >= 0 && kStartUp.GetLanguage() <= 2));
    CheckButtons(kStartUp.GetLanguageButtons());
    CheckButtons(kStartUp.GetOptionButtons());
    std::ifstream kIn("setup.xml", std::ios::binary);
    Check(std::string(std::istreambuf_iterator<char>(kIn), std::istreambuf_iterator<char>()) == kInput);
    return 0;
}
