#pragma once

#include <memory>

// Owned copies of the names and texts that sequences and text keys keep.
// A null text stays null.
[[nodiscard]] std::unique_ptr<char[]> NiCopyText(const char* pcText);
// Equal texts, or both null.
[[nodiscard]] bool NiTextEqual(const char* pcA, const char* pcB);
