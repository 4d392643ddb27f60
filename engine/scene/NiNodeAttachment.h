#pragma once

#include "engine/scene/NiAVObject.h"

#include <memory>
#include <string>

// Holds a scene object and remembers the node it hangs under, so the
// framework's objects can take it off and hang it back.
class NiNodeAttachment
{
public:
    NiNodeAttachment() = default;

    // Holds the object and remembers its current parent; null clears both.
    void Set(NiAVObject* pkObject);
    void Clear();
    // The object's current parent lets it go; nothing without a parent.
    void Detach();
    // The remembered node takes the object back (appended).
    void Reattach();
    // A second holder of the same object and node.
    [[nodiscard]] std::unique_ptr<NiNodeAttachment> Clone() const;

    [[nodiscard]] NiAVObject* GetObject() const { return m_spObject; }
    [[nodiscard]] NiAVObject* GetNode() const { return m_pkNode; }

    // The first line of the lowest-indexed string extra data of the object:
    // the line feed and a carriage return before it are dropped. Stays empty
    // when there is none.
    void GetStringExtraDataText(std::string& kText) const;

private:
    NiAVObjectPtr m_spObject;
    NiAVObject* m_pkNode = nullptr; // a link: the scene keeps the node alive
};
