// Binary shader files as the library loads them. What loads saves, loads
// again and then saves the same bytes every second time (packing names that
// share a bucket change places on each save); nothing is left alive.

#include "engine/core/NiMemoryStream.h"
#include "engine/core/NiRefObject.h"
#include "engine/shaders/nsb/NSBShader.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace
{
std::vector<std::uint8_t> Save(NSBShader& kShader)
{
    NiMemoryStream kStream;
    if (!kShader.SaveBinary(kStream))
        std::abort();
    return std::vector<std::uint8_t>(kStream.GetBuffer(), kStream.GetBuffer() + kStream.GetSize());
}

NSBShaderPtr Load(const std::uint8_t* pucData, std::size_t uiSize)
{
    NiMemoryStream kStream(pucData, static_cast<std::uint32_t>(uiSize));
    NSBShaderPtr spShader = new NSBShader;
    if (!spShader->LoadBinary(kStream))
        return nullptr;
    return spShader;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::StartEngine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pucData, std::size_t uiSize)
{
    if (uiSize > 0x100000)
        return 0;
    const std::uint32_t uiLive = NiRefObject::GetTotalObjectCount();
    {
        NSBShaderPtr spShader = Load(pucData, uiSize);
        if (spShader)
        {
            const std::vector<std::uint8_t> kFirst = Save(*spShader);
            NSBShaderPtr spSecond = Load(kFirst.data(), kFirst.size());
            if (!spSecond)
                std::abort();
            const std::vector<std::uint8_t> kSecond = Save(*spSecond);
            NSBShaderPtr spThird = Load(kSecond.data(), kSecond.size());
            if (!spThird || Save(*spThird) != kFirst)
                std::abort();
        }
    }
    if (NiRefObject::GetTotalObjectCount() != uiLive)
        std::abort();
    return 0;
}
