// Level files as a world loads them: the scene root, its sky box, collision
// node, splines and object placeholders (both passes, a game hook that takes
// every other text), then an update and a pick-free frame of the objects.

#include "engine/core/NiMessageBox.h"
#include "engine/scene/NiNode.h"
#include "framework/COrvaneWorld.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace
{
const fuzz::ScratchFile g_kFile(".nif");

class FuzzWorld : public COrvaneWorld
{
public:
    int BuildObjectFromNode(const char* pcText, int iPass, NiVec3* pkPosition) override
    {
        if (pcText == nullptr || pkPosition == nullptr || iPass < 1 || iPass > 2)
            std::abort();
        m_uiTexts += std::string(pcText).size();
        return (++m_uiAsked & 1) != 0 ? 1 : 0;
    }
    std::size_t m_uiAsked = 0;
    std::size_t m_uiTexts = 0;
};
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::StartEngine();
    // A refused level shows a box: without a display that starts a dialog
    // program for every input.
    NiSetMessageBoxFunction(nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pucData, std::size_t uiSize)
{
    if (!g_kFile.Write(pucData, uiSize))
        return 0;
    FuzzWorld kWorld;
    const bool bLoaded = kWorld.LoadLevel(g_kFile.GetPath(), nullptr);
    if (bLoaded != (kWorld.GetSceneRoot() != nullptr))
        std::abort();
    if (kWorld.GetSkyBox() != nullptr && kWorld.GetSkyBox()->GetParent() != nullptr)
        std::abort();
    kWorld.UpdateObjects(0.016f);
    kWorld.UpdateScene(0.032f);
    return 0;
}
