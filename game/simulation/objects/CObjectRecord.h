#pragma once

#include <cstdint>

class COrvaneGridObject;

// What the ledger counts of a placed object: its economic record. Every
// placeable object embeds one and hands the ledger its address; the ledger
// keeps the address while the object is counted and owns nothing.
struct CObjectRecord
{
    COrvaneGridObject* m_pkOwner = nullptr; // link: the object holding the record
    std::uint16_t m_usPrice = 0;
    std::uint16_t m_usUpkeep = 0;        // daily running cost
    std::uint16_t m_usOccupancy = 0;     // prisoners housed now (cells)
    std::uint16_t m_usPlaces = 0;        // prisoners the object takes; a cell's beds
    std::uint16_t m_usRequiredLevel = 0; // prison level to build; a cell's security level
    std::uint16_t m_usStaffCount = 0;
    std::int16_t m_sScoreValue = 0;
    std::uint16_t m_ausSaved[3] = {};    // saved and loaded, set by nothing else
    std::uint16_t m_usAttraction = 100;  // 0..100
};
