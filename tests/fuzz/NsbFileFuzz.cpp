// Binary shader files as the library loads them. What loads saves and loads
// again; from the second save on the same bytes come every second time
// (packing names that share a bucket change places on each save, and the
// first save may still settle the file: an implementation without
// requirements is written with empty ones, and reading those back lets a
// software-processing pass mark them); nothing is left alive.

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
            std::vector<std::uint8_t> akSaved[4];
            akSaved[0] = Save(*spShader);
            for (int i = 1; i < 4; ++i)
            {
                NSBShaderPtr spAgain = Load(akSaved[i - 1].data(), akSaved[i - 1].size());
                if (!spAgain)
                    std::abort();
                akSaved[i] = Save(*spAgain);
            }
            if (akSaved[3] != akSaved[1])
                std::abort();
        }
    }
    if (NiRefObject::GetTotalObjectCount() != uiLive)
        std::abort();
    return 0;
}
