// Tag files (the tag tree opens files by name only: a scratch file). A
// document that loads is walked with the cursor moves the game uses, saved,
// and loaded again: the saved file holds the same nodes under the same
// names (a name is written up to its first NUL, CR or LF).

#include "framework/COrvaneTagTree.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{
const fuzz::ScratchFile g_kFile(".xml");
const fuzz::ScratchFile g_kSaved("_saved.xml");
const fuzz::ScratchFile g_kSplit("_split");

void Check(bool bHolds)
{
    if (!bHolds)
        std::abort();
}

void CollectNames(const COrvaneTagNode& kNode, std::vector<std::string>& kNames)
{
    const std::string& kName = kNode.GetName();
    kNames.push_back(kName.substr(0, kName.find_first_of(std::string("\r\n\0", 3))));
    for (std::size_t i = 0; i < kNode.GetChildCount(); ++i)
        CollectNames(*kNode.GetChild(i), kNames);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pucData, std::size_t uiSize)
{
    if (!g_kFile.Write(pucData, uiSize))
        return 0;
    COrvaneTagTree kTree;
    if (!kTree.Load(g_kFile.GetPath()))
    {
        Check(kTree.GetRoot() != nullptr && kTree.GetCursor() == kTree.GetRoot());
        Check(kTree.GetRoot()->GetChildCount() == 0);
        return 0;
    }

    // Cursor walks by the first child's name, as the game's readers do.
    if (kTree.GetRoot()->GetChildCount() > 0)
    {
        const std::string kFirst = kTree.GetRoot()->GetChild(0)->GetName().c_str();
        (void)kTree.SelectSection(kFirst.c_str(), true);
        while (kTree.FindChild(nullptr))
            (void)kTree.GetValues();
        while (kTree.NextSibling(nullptr))
            (void)kTree.HasChild(kFirst.c_str());
        (void)kTree.SelectSection("<", false);
    }

    std::vector<std::string> kNames;
    CollectNames(*kTree.GetRoot(), kNames);
    Check(kTree.Save(g_kSaved.GetPath()));
    (void)kTree.SaveSplit(g_kSplit.GetPath());
    std::remove((std::string(g_kSplit.GetPath()) + "_TAGS.xml").c_str());
    std::remove((std::string(g_kSplit.GetPath()) + "_DATA.txt").c_str());

    COrvaneTagTree kAgain;
    if (kNames.size() == 1)
        return 0; // a root alone saves as an empty file, which does not load
    Check(kAgain.Load(g_kSaved.GetPath()));
    std::vector<std::string> kNamesAgain;
    CollectNames(*kAgain.GetRoot(), kNamesAgain);
    Check(kNamesAgain == kNames);
    return 0;
}
