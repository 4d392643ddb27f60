#pragma once

#include <memory>

class NiObjectNET;

// Owned copies of the names and texts that sequences and text keys keep.
// A null text stays null.
[[nodiscard]] std::unique_ptr<char[]> NiCopyText(const char* pcText);
// Equal texts, or both null.
[[nodiscard]] bool NiTextEqual(const char* pcA, const char* pcB);
// Linked objects compared by class and name: their own equality would walk
// their controllers, and so back to the one comparing. Both null are the
// same; one null is not.
[[nodiscard]] bool NiSameClassAndName(const NiObjectNET* pkA, const NiObjectNET* pkB);
