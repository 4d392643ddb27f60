#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

class COrvaneComposite;
class NiAVObject;
class NiNode;
class NiNodeAttachment;

// Reads the text properties attached to a model's nodes and hands each to a
// handler: two walks (kind 1, then kind 2), children before their node.
class COrvaneUserPropScan
{
public:
    // Takes (text, kind, node) and says whether it consumed the node.
    using Handler = std::function<bool(const char*, int, NiAVObject*)>;

    COrvaneUserPropScan() = default;
    ~COrvaneUserPropScan();
    COrvaneUserPropScan(const COrvaneUserPropScan&) = delete;
    COrvaneUserPropScan& operator=(const COrvaneUserPropScan&) = delete;

    // A node the handler leaves in kind 2 is kept in the node list.
    void Scan(const COrvaneComposite& kModel, const Handler& kHandler);
    void Clear();

    [[nodiscard]] const std::vector<std::unique_ptr<NiNodeAttachment>>& GetNodes() const { return m_kNodes; }
    [[nodiscard]] NiNode* GetLastNode() const { return m_pkLastNode; }

    // The text of a node: its lowest-index string extra data up to the first
    // line feed (a carriage return before it dropped; a string without line
    // feed, or starting with one, whole). False when the node has none.
    static bool NodeText(const NiAVObject& kNode, std::string& kText);

private:
    void Walk(NiNode* pkNode, int iKind, const Handler& kHandler);

    std::vector<std::unique_ptr<NiNodeAttachment>> m_kNodes;
    NiNode* m_pkLastNode = nullptr; // link, the model's
};
