// Object templates from a game-data document: the input is the document
// (the seeds hold the demo's whole one and each of its plan groups alone);
// the model files it may name are the demo data's, written once into a
// scratch folder that becomes the current folder. Every template the
// document yields makes an object through the framework's factory, in each
// model mode, and everything goes again.

#include "engine/core/NiMessageBox.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneDynamicObjectManager.h"
#include "framework/COrvaneObject.h"
#include "framework/COrvaneObjectDesc.h"
#include "framework/COrvaneObjectTemplate.h"
#include "framework/COrvaneTagTree.h"
#include "tests/fuzz/FuzzDemoData.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstdint>
#include <cstdlib>

namespace
{
void Check(bool bHolds)
{
    if (!bHolds)
        std::abort();
}

const fuzz::ScratchFile g_kFile(".xml");
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::StartEngine();
    NiSetMessageBoxFunction(nullptr);
    // Before the first input: writing the demo data can take longer than an
    // input may, and its coverage is no input's.
    (void)EnterDemoData("templates");
    LeaveDemoData();
    return 0;
}

namespace
{
void ReadTemplates(const std::uint8_t* pucData, std::size_t uiSize)
{
    if (!g_kFile.Write(pucData, uiSize))
        return;
    COrvaneTagTree kDocument;
    if (!kDocument.Load(g_kFile.GetPath()))
        return;
    COrvaneDynamicObjectManager kManager;
    kManager.Init();
    kManager.LoadTemplateSection(kDocument, true);
    COrvaneObjectFactory* pkFactory = kManager.FindFactory("orvaneObjectFactory", nullptr);
    Check(pkFactory != nullptr);
    for (std::uint16_t usGroup = 0; usGroup < kManager.GetGroupCount() && usGroup < 64; ++usGroup)
    {
        for (std::uint16_t usIndex = 0; usIndex < 64; ++usIndex)
        {
            COrvaneObjectTemplate* pkTemplate = kManager.GetTemplate(usGroup, usIndex);
            if (!pkTemplate)
                break;
            for (const COrvaneModelEntryPtr& spEntry : pkTemplate->m_kModels)
                Check(spEntry && spEntry->Get() && spEntry->Get()->GetName());
            COrvaneObjectDesc kDesc;
            kDesc.m_pkTemplate = pkTemplate;
            kDesc.m_ucMode = static_cast<std::uint8_t>(usIndex % 3);
            COrvaneObject* pkObject = kManager.CreateObject(pkFactory, kDesc);
            Check(pkObject != nullptr);
            pkObject->PlayAnimation("i", 1, 0.0f, 0, 2);
            if (!pkTemplate->m_kModels.empty())
                Check(kManager.FindTemplate(pkTemplate->m_kModels.front()->Get()->GetName()) != nullptr);
        }
    }
    kManager.UpdateObjects(0.1f);
    kManager.Destroy();
    COrvaneComposite::ResetProcessState();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pucData, std::size_t uiSize)
{
    if (EnterDemoData("templates"))
        ReadTemplates(pucData, uiSize);
    LeaveDemoData();
    return 0;
}
