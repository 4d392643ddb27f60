#pragma once

#include <cstdint>
#include <string>

class COrvaneBase;
class COrvaneBlockGrid;
class COrvaneObjectTemplate;

// What an object is loaded from: its template, its type and how its model
// is made (mode 0 shares the template's first model, 1 and 2 make one of the
// object's own).
struct COrvaneObjectDesc
{
    COrvaneObjectTemplate* m_pkTemplate = nullptr;
    COrvaneBase* m_pkType = nullptr;
    std::uint8_t m_ucMode = 0;
    std::uint32_t m_uiWord1 = 0;
    std::string m_kName;
    std::uint32_t m_uiValueA = 0;
    std::uint32_t m_uiValueB = 0;
    std::uint32_t m_uiWord2 = 0;
    std::uint8_t m_ucAddToWorld = 0;
    // The floor a character is loaded onto.
    COrvaneBlockGrid* m_pkGrid = nullptr;
};
