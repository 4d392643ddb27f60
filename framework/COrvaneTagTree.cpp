#include "framework/COrvaneTagTree.h"

#include "framework/COrvaneFile.h"

#include <algorithm>

namespace
{
bool Matches(const std::string& kName, const char* pcText)
{
    return pcText == nullptr || kName.find(pcText) != std::string::npos;
}

// The closing line of a name: "/" after its first character.
std::string ClosingName(const std::string& kCut)
{
    if (kCut.empty())
        return "/";
    return kCut.substr(0, 1) + "/" + kCut.substr(1);
}

constexpr char SPLIT_MARK = '\x17';

bool WriteNode(COrvaneFile& kFile, const COrvaneTagNode& kNode)
{
    const std::string& kName = kNode.GetName();
    std::string kCut = kName.substr(0, kName.find_first_of(std::string("\r\n\0", 3)));
    bool bOk = kFile.WriteString((kCut + "\r\n").c_str());
    for (const std::string& kValue : kNode.GetValues())
    {
        if (kValue.empty())
            continue;
        bOk = kFile.WriteString(kValue.c_str()) && bOk;
        if (kValue.back() != '\n')
            bOk = kFile.WriteString("\r\n") && bOk;
    }
    for (std::size_t i = 0; i < kNode.GetChildCount(); ++i)
        bOk = WriteNode(kFile, *kNode.GetChild(i)) && bOk;
    if (kNode.GetValues().empty() && kNode.GetChildCount() == 0)
        bOk = kFile.WriteString("\r\n") && bOk;
    bOk = kFile.WriteString((ClosingName(kCut) + "\r\n").c_str()) && bOk;
    return bOk;
}

// Each part goes out as its own byte run: a text holding a NUL ends there,
// and the mark or TAB after it is still written.
bool WriteSplitNode(COrvaneFile& kTags, COrvaneFile& kData, const COrvaneTagNode& kNode)
{
    const std::string& kName = kNode.GetName();
    const std::string kCut = kName.substr(0, kName.find(SPLIT_MARK));
    const char acMark[2] = {SPLIT_MARK, '\0'};
    bool bOk = kTags.WriteString(kCut.c_str());
    bOk = kTags.WriteString(acMark) && bOk;
    if (!kNode.GetValues().empty())
    {
        bOk = kTags.WriteString(acMark) && bOk;
        const std::string& kFirst = kNode.GetValues().front();
        bOk = kData.WriteString(kFirst.c_str()) && bOk;
        if (!kFirst.empty() && kFirst.back() != '\n')
            bOk = kData.WriteString("\t") && bOk;
        bOk = kData.WriteString(acMark) && bOk;
    }
    for (std::size_t i = 0; i < kNode.GetChildCount(); ++i)
        bOk = WriteSplitNode(kTags, kData, *kNode.GetChild(i)) && bOk;
    if (kNode.GetValues().empty() && kNode.GetChildCount() == 0)
        bOk = kTags.WriteString(acMark) && bOk;
    bOk = kTags.WriteString(ClosingName(kCut).c_str()) && bOk;
    bOk = kTags.WriteString(acMark) && bOk;
    return bOk;
}
} // namespace

COrvaneTagNode::COrvaneTagNode(std::string kName, std::uint8_t ucDepth, COrvaneTagNode* pkParent)
    : m_kName(std::move(kName)), m_ucDepth(ucDepth), m_pkParent(pkParent)
{
}

// ---- reading and writing ----

bool COrvaneTagTreeIO::Read(COrvaneTagTree& kTree, const char* pcPath) const
{
    COrvaneFile kFile;
    if (kFile.Open(pcPath, COrvaneFile::MODE_READ) == 0)
        return false;

    COrvaneTagNode* pkCurrent = kTree.m_pkRoot.get();
    std::string kLine;
    while (!kFile.IsEof())
    {
        kFile.ReadLine(kLine);
        if (kLine.empty())
        {
            pkCurrent->m_kValues.emplace_back();
        }
        else if (kLine[0] == '<' && (kLine.size() < 2 || kLine[1] != '/'))
        {
            // A lone "<" opens a child named "<".
            if (pkCurrent->m_ucDepth >= COrvaneTagTree::MAX_DEPTH)
                return false;
            pkCurrent = kTree.AttachChild(pkCurrent, kLine);
        }
        else if (kLine[0] == '<')
        {
            // Extra closing lines leave the reader at the root.
            if (pkCurrent->m_pkParent != nullptr)
                pkCurrent = pkCurrent->m_pkParent;
        }
        else if (kLine[0] != '#')
        {
            pkCurrent->m_kValues.push_back(kLine);
        }
    }
    kFile.Close();
    return true;
}

bool COrvaneTagTreeIO::Write(const COrvaneTagTree& kTree, const char* pcPath) const
{
    COrvaneFile kFile;
    return kFile.Open(pcPath, COrvaneFile::MODE_WRITE) != 0 && WriteTree(kTree, kFile);
}

bool COrvaneTagTreeIO::Write(const COrvaneTagTree& kTree, std::FILE* pkFile) const
{
    COrvaneFile kFile;
    return kFile.OpenForWrite(pkFile) != 0 && WriteTree(kTree, kFile);
}

bool COrvaneTagTreeIO::WriteTree(const COrvaneTagTree& kTree, COrvaneFile& kFile) const
{
    bool bOk = true;
    if (const COrvaneTagNode* pkRoot = kTree.m_pkRoot.get())
    {
        for (std::size_t i = 0; i < pkRoot->GetChildCount(); ++i)
            bOk = WriteNode(kFile, *pkRoot->GetChild(i)) && bOk;
    }
    bOk = kFile.Flush() && bOk;
    kFile.Close();
    return bOk;
}

bool COrvaneTagTreeIO::WriteSplit(const COrvaneTagTree& kTree, const char* pcPath) const
{
    const std::string kPath = pcPath != nullptr ? pcPath : "";
    COrvaneFile kTags;
    COrvaneFile kData;
    if (kTags.Open((kPath + "_TAGS.xml").c_str(), COrvaneFile::MODE_WRITE) == 0)
        return false;
    if (kData.Open((kPath + "_DATA.txt").c_str(), COrvaneFile::MODE_WRITE) == 0)
        return false;
    bool bOk = true;
    if (const COrvaneTagNode* pkRoot = kTree.m_pkRoot.get())
    {
        for (std::size_t i = 0; i < pkRoot->GetChildCount(); ++i)
            bOk = WriteSplitNode(kTags, kData, *pkRoot->GetChild(i)) && bOk;
    }
    bOk = kTags.Flush() && bOk;
    bOk = kData.Flush() && bOk;
    return bOk;
}

// ---- the document ----

COrvaneTagTree::COrvaneTagTree() : m_pkIO(std::make_unique<COrvaneTagTreeIO>())
{
}

COrvaneTagTree::~COrvaneTagTree()
{
    Clear();
}

void COrvaneTagTree::Clear()
{
    m_kLevels.clear();
    m_pkCursor = nullptr;
    m_pkRoot.reset();
    m_ucDeepestLevel = 0;
}

void COrvaneTagTree::StartDocument()
{
    Clear();
    m_pkRoot = std::make_unique<COrvaneTagNode>("root", 0, nullptr);
    m_kLevels.emplace_back().push_back(m_pkRoot.get());
    m_pkCursor = m_pkRoot.get();
}

COrvaneTagNode* COrvaneTagTree::AttachChild(COrvaneTagNode* pkParent, std::string kName)
{
    const std::uint32_t uiDepth = pkParent->m_ucDepth + 1u;
    auto pkChild = std::make_unique<COrvaneTagNode>(std::move(kName), static_cast<std::uint8_t>(uiDepth), pkParent);
    COrvaneTagNode* pkLink = pkChild.get();
    pkParent->m_kChildren.push_back(std::move(pkChild));
    while (m_kLevels.size() <= uiDepth)
        m_kLevels.emplace_back();
    m_kLevels[uiDepth].push_back(pkLink);
    m_ucDeepestLevel = static_cast<std::uint8_t>(m_kLevels.size() - 1);
    return pkLink;
}

bool COrvaneTagTree::Load(const char* pcPath)
{
    StartDocument();
    if (!m_pkIO->Read(*this, pcPath))
    {
        // Nothing half-read stays behind.
        StartDocument();
        return false;
    }
    m_pkCursor = m_pkRoot.get();
    return true;
}

bool COrvaneTagTree::Save(const char* pcPath) const
{
    return m_pkIO->Write(*this, pcPath);
}

bool COrvaneTagTree::Save(std::FILE* pkFile) const
{
    return m_pkIO->Write(*this, pkFile);
}

bool COrvaneTagTree::SaveSplit(const char* pcPath) const
{
    return m_pkIO->WriteSplit(*this, pcPath);
}

const std::vector<std::string>& COrvaneTagTree::GetValues() const
{
    static const std::vector<std::string> s_kNone;
    return m_pkCursor != nullptr ? m_pkCursor->m_kValues : s_kNone;
}

bool COrvaneTagTree::FindChild(const char* pcText)
{
    if (m_pkCursor == nullptr)
        return false;
    for (const auto& pkChild : m_pkCursor->m_kChildren)
    {
        if (Matches(pkChild->m_kName, pcText))
        {
            m_pkCursor = pkChild.get();
            return true;
        }
    }
    return false;
}

bool COrvaneTagTree::NextSibling(const char* pcText)
{
    if (m_pkCursor == nullptr || m_pkCursor->m_pkParent == nullptr)
        return false;
    const auto& kSiblings = m_pkCursor->m_pkParent->m_kChildren;
    auto it = std::find_if(kSiblings.begin(), kSiblings.end(),
                           [this](const auto& pkNode) { return pkNode.get() == m_pkCursor; });
    if (it == kSiblings.end() || ++it == kSiblings.end())
        return false;
    // Only the very next sibling is looked at.
    if (!Matches((*it)->m_kName, pcText))
        return false;
    m_pkCursor = it->get();
    return true;
}

bool COrvaneTagTree::HasChild(const char* pcText) const
{
    if (m_pkCursor == nullptr)
        return false;
    return std::any_of(m_pkCursor->m_kChildren.begin(), m_pkCursor->m_kChildren.end(),
                       [pcText](const auto& pkChild) { return Matches(pkChild->m_kName, pcText); });
}

bool COrvaneTagTree::SelectSection(const char* pcText, bool bFromRoot)
{
    if (pcText == nullptr)
        return false;
    std::size_t uiStart = 0;
    if (!bFromRoot)
    {
        if (m_pkCursor == nullptr)
            return false;
        uiStart = m_pkCursor->m_ucDepth;
    }
    for (std::size_t uiLevel = uiStart; uiLevel < m_kLevels.size(); ++uiLevel)
    {
        for (COrvaneTagNode* pkNode : m_kLevels[uiLevel])
        {
            if (Matches(pkNode->m_kName, pcText))
            {
                m_pkCursor = pkNode;
                return true;
            }
        }
    }
    return false;
}

bool COrvaneTagTree::SelectParent()
{
    if (m_pkCursor == nullptr || m_pkCursor->m_pkParent == nullptr)
        return false;
    m_pkCursor = m_pkCursor->m_pkParent;
    return true;
}

bool COrvaneTagTree::ReplaceValue(std::size_t uiIndex, std::string kValue)
{
    if (m_pkCursor == nullptr || uiIndex >= m_pkCursor->m_kValues.size())
        return false;
    m_pkCursor->m_kValues[uiIndex] = std::move(kValue);
    return true;
}

void COrvaneTagTree::AddValue(std::string kValue)
{
    if (m_pkCursor != nullptr)
        m_pkCursor->m_kValues.push_back(std::move(kValue));
}

bool COrvaneTagTree::AddChild(const char* pcName)
{
    if (m_pkCursor == nullptr || m_pkCursor->m_ucDepth >= MAX_DEPTH)
        return false;
    std::string kName = pcName != nullptr ? pcName : "";
    if (kName.empty() || kName.front() != '<')
        kName.insert(kName.begin(), '<');
    if (kName.back() != '>')
        kName.push_back('>');
    kName.push_back('\n');
    AttachChild(m_pkCursor, std::move(kName));
    return true;
}

void COrvaneTagTree::Unindex(COrvaneTagNode* pkNode)
{
    for (const auto& pkChild : pkNode->m_kChildren)
        Unindex(pkChild.get());
    if (pkNode->m_ucDepth < m_kLevels.size())
    {
        auto& kLevel = m_kLevels[pkNode->m_ucDepth];
        kLevel.erase(std::remove(kLevel.begin(), kLevel.end(), pkNode), kLevel.end());
    }
}

void COrvaneTagTree::RemoveNode()
{
    if (m_pkCursor == nullptr || m_pkCursor->m_pkParent == nullptr)
        return;
    COrvaneTagNode* pkNode = m_pkCursor;
    COrvaneTagNode* pkParent = pkNode->m_pkParent;
    Unindex(pkNode);
    auto& kSiblings = pkParent->m_kChildren;
    kSiblings.erase(std::remove_if(kSiblings.begin(), kSiblings.end(),
                                   [pkNode](const auto& pkChild) { return pkChild.get() == pkNode; }),
                    kSiblings.end());
    m_pkCursor = pkParent;
}
