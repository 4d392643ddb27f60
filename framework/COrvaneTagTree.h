#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

class COrvaneFile;
class COrvaneTagTree;

// One node of a tag document. The name is the whole opening line, angle
// brackets included ("<Game_Data>").
class COrvaneTagNode
{
public:
    COrvaneTagNode() = default;
    COrvaneTagNode(std::string kName, std::uint8_t ucDepth, COrvaneTagNode* pkParent);
    ~COrvaneTagNode() = default;
    COrvaneTagNode(const COrvaneTagNode&) = delete;
    COrvaneTagNode& operator=(const COrvaneTagNode&) = delete;

    [[nodiscard]] const std::string& GetName() const { return m_kName; }
    [[nodiscard]] std::uint8_t GetDepth() const { return m_ucDepth; }
    [[nodiscard]] COrvaneTagNode* GetParent() const { return m_pkParent; }
    [[nodiscard]] const std::vector<std::string>& GetValues() const { return m_kValues; }
    [[nodiscard]] std::size_t GetChildCount() const { return m_kChildren.size(); }
    [[nodiscard]] COrvaneTagNode* GetChild(std::size_t uiIndex) const
    {
        return uiIndex < m_kChildren.size() ? m_kChildren[uiIndex].get() : nullptr;
    }

private:
    friend class COrvaneTagTree;
    friend class COrvaneTagTreeIO;

    std::string m_kName;
    std::uint8_t m_ucDepth = 0;
    std::vector<std::string> m_kValues;
    COrvaneTagNode* m_pkParent = nullptr; // link: the parent owns this node
    std::vector<std::unique_ptr<COrvaneTagNode>> m_kChildren;
};

// Reads and writes the tag syntax; holds no state of its own.
class COrvaneTagTreeIO
{
public:
    [[nodiscard]] bool Read(COrvaneTagTree& kTree, const char* pcPath) const;
    [[nodiscard]] bool Write(const COrvaneTagTree& kTree, const char* pcPath) const;
    [[nodiscard]] bool Write(const COrvaneTagTree& kTree, std::FILE* pkFile) const;
    [[nodiscard]] bool WriteSplit(const COrvaneTagTree& kTree, const char* pcPath) const;

private:
    [[nodiscard]] bool WriteTree(const COrvaneTagTree& kTree, COrvaneFile& kFile) const;
};

// The document behind every text data file: a line-based tag syntax loaded
// into a tree, with a cursor that callers move by (substring of) name.
class COrvaneTagTree
{
public:
    // Depths are kept in a byte: the deepest node sits 255 levels below the root.
    static constexpr std::uint32_t MAX_DEPTH = 255;

    COrvaneTagTree();
    virtual ~COrvaneTagTree();
    COrvaneTagTree(const COrvaneTagTree&) = delete;
    COrvaneTagTree& operator=(const COrvaneTagTree&) = delete;

    // Replaces the document with the file's tree; the cursor goes to the
    // root. False for a missing, empty or too deeply nested file: the
    // document is then an empty root with the cursor on it.
    [[nodiscard]] bool Load(const char* pcPath);
    // False when the file cannot be created or written.
    [[nodiscard]] bool Save(const char* pcPath) const;
    // Into a file the caller opened for writing and keeps open; false when
    // a write fails (the bytes are flushed into it).
    [[nodiscard]] bool Save(std::FILE* pkFile) const;
    // Writes path + "_TAGS.xml" and path + "_DATA.txt"; false when either
    // cannot be created or written.
    [[nodiscard]] bool SaveSplit(const char* pcPath) const;

    // The values of the node under the cursor; empty without a cursor.
    [[nodiscard]] const std::vector<std::string>& GetValues() const;

    // Cursor moves: false (cursor unchanged) when nothing matches. A null
    // text matches anything; a text matches a name containing it.
    bool FindChild(const char* pcText);
    bool NextSibling(const char* pcText);
    [[nodiscard]] bool HasChild(const char* pcText) const;
    bool SelectSection(const char* pcText, bool bFromRoot);
    // Moves the cursor straight to its node's parent, as callers do after
    // working inside a child; false (cursor unchanged) at the root or
    // without a cursor.
    bool SelectParent();

    void AddValue(std::string kValue);
    // Replaces the cursor node's value at uiIndex in place (the caller gives
    // the text with its line end); false, nothing changed, without a cursor
    // or when the node has no such value.
    bool ReplaceValue(std::size_t uiIndex, std::string kValue);
    // Adds a child under the cursor (which stays); false without a cursor
    // or when the child would be deeper than MAX_DEPTH.
    bool AddChild(const char* pcName);
    // Removes the node under the cursor and its subtree; the cursor goes to
    // the parent. Nothing happens at the root or without a cursor.
    void RemoveNode();
    virtual void Clear();

    [[nodiscard]] COrvaneTagNode* GetRoot() const { return m_pkRoot.get(); }
    [[nodiscard]] COrvaneTagNode* GetCursor() const { return m_pkCursor; }
    [[nodiscard]] std::uint8_t GetDeepestLevel() const { return m_ucDeepestLevel; }
    [[nodiscard]] std::size_t GetLevelSize(std::uint32_t uiDepth) const
    {
        return uiDepth < m_kLevels.size() ? m_kLevels[uiDepth].size() : 0;
    }

private:
    friend class COrvaneTagTreeIO;

    // Makes the empty root, alone in level 0, with the cursor on it.
    void StartDocument();
    // Appends a new child of pkParent and indexes it in its level.
    COrvaneTagNode* AttachChild(COrvaneTagNode* pkParent, std::string kName);
    void Unindex(COrvaneTagNode* pkNode);

    std::unique_ptr<COrvaneTagTreeIO> m_pkIO;
    std::unique_ptr<COrvaneTagNode> m_pkRoot;
    COrvaneTagNode* m_pkCursor = nullptr;
    std::vector<std::vector<COrvaneTagNode*>> m_kLevels; // links, by depth
    std::uint8_t m_ucDeepestLevel = 0;
};
