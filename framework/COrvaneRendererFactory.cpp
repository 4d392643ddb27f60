#include "framework/COrvaneRendererFactory.h"

namespace
{
// Stands in until a graphics device renderer is installed: nothing can be
// made, so the start-up fails with a clear message instead of a crash.
class COrvaneNoRendererFactory final : public COrvaneRendererFactory
{
public:
    NiRendererPtr Create(const COrvaneRendererParams&) override { return nullptr; }
    std::string GetLastError() const override { return "Creation failed: no renderer is installed"; }
    const std::vector<COrvaneAdapterDesc>& GetSystemInfo() override { return m_kNone; }
    bool FindMode(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) override { return false; }
    std::uint32_t GetCreationFlags(const NiRenderer*) const override { return 0; }

private:
    std::vector<COrvaneAdapterDesc> m_kNone;
};

COrvaneNoRendererFactory s_kNoRenderer;
COrvaneRendererFactory* s_pkFactory = &s_kNoRenderer;
} // namespace

COrvaneRendererFactory& COrvaneRendererFactory::Get()
{
    return *s_pkFactory;
}

void COrvaneRendererFactory::Set(COrvaneRendererFactory* pkFactory)
{
    s_pkFactory = pkFactory != nullptr ? pkFactory : &s_kNoRenderer;
}
