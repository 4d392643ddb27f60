// Scene files from memory, loaded the way the game loads them, then used
// the way a loaded scene is used: updated, cloned, described and saved. A
// scene that loads must save into a file that loads again.

#include "engine/core/NiObject.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiSparsePtrArray.h"
#include "engine/scene/NiAVObject.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::StartEngine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pucData, std::size_t uiSize)
{
    if (uiSize > 0xFFFFFFFFu)
        return 0;
    NiObjectStream kStream;
    if (!kStream.LoadBuffer(pucData, static_cast<std::uint32_t>(uiSize)))
        return 0;

    for (std::uint32_t i = 0; i < kStream.GetObjectCount(); ++i)
    {
        NiObject* pkObject = kStream.GetObjectAt(i);
        if (pkObject == nullptr)
            continue;
        NiStringArray kStrings;
        pkObject->AppendViewerStrings(kStrings);
        NiObjectPtr spClone = pkObject->Clone();
        if (spClone != nullptr)
            (void)pkObject->IsEqual(spClone);
        auto* pkScene = NiDynamicCast<NiAVObject>(pkObject);
        if (pkScene != nullptr && pkScene->GetParent() == nullptr)
        {
            pkScene->Update(0.5f);
            pkScene->UpdateProperties();
            pkScene->UpdateEffects();
        }
    }

    std::unique_ptr<std::uint8_t[]> spSaved;
    std::uint32_t uiSaved = 0;
    if (!kStream.SaveBuffer(spSaved, uiSaved))
        return 0;
    NiObjectStream kReload;
    if (!kReload.LoadBuffer(spSaved.get(), uiSaved))
    {
        std::fprintf(stderr, "a loaded scene saved into a file that does not load: %u %s\n", kReload.GetLastError(),
                     kReload.GetLastErrorMessage().c_str());
        std::abort();
    }
    return 0;
}
