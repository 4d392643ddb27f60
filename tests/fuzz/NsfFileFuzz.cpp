// Shader descriptions as the start-up compiles them: any text parses or
// fails without a crash; what parses saves as a binary shader that loads
// again; the scanner holds no block and no shader is left alive afterwards.

#include "engine/core/NiMemoryStream.h"
#include "engine/core/NiRefObject.h"
#include "engine/shaders/nsb/NSBShader.h"
#include "engine/shaders/nsf/NSFGrammarActions.h"
#include "engine/shaders/nsf/NSFParserLib.h"
#include "engine/shaders/nsf/NSFScanner.h"
#include "engine/shaders/nsf/NSFScannerState.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::StartEngine();
    // The parser's texts are not what is being looked for.
    std::freopen("/dev/null", "w", stdout);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pucData, std::size_t uiSize)
{
    if (uiSize > 0x10000)
        return 0;
    static fuzz::ScratchFile s_kFile(".nsf");
    if (!s_kFile.Write(pucData, uiSize))
        return 0;
    const std::uint32_t uiLive = NiRefObject::GetTotalObjectCount();
    NSFScannerState::Reset();
    if (ParseNSFFile(s_kFile.GetPath()) == 0)
    {
        for (NiRefPtr<NSBShader>& spShader : NSFGrammarActions::GetParsedShaders())
        {
            NiMemoryStream kStream;
            if (!spShader->SaveBinary(kStream))
                std::abort();
            NiMemoryStream kRead(kStream.GetBuffer(), kStream.GetSize());
            NSBShaderPtr spLoaded = new NSBShader;
            if (!spLoaded->LoadBinary(kRead))
                std::abort();
        }
    }
    NSFGrammarActions::Reset();
    ReleaseScannerBuffer();
    if (NSFScannerState::LiveBlocks() != 0 || NiRefObject::GetTotalObjectCount() != uiLive)
        std::abort();
    return 0;
}
