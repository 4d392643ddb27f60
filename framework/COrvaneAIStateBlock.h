#pragma once

#include <cstdint>

class COrvaneAICharacter;
class COrvaneGridEntity;

// Everything a controller remembers about one character; the character
// owns it and hands it to the controller on each run.
struct COrvaneAIStateBlock
{
    COrvaneAICharacter* m_pkOwner = nullptr;
    COrvaneGridEntity* m_pkReferenceA = nullptr;
    COrvaneGridEntity* m_pkReferenceB = nullptr;
    void* m_pkReference3 = nullptr;
    std::uint32_t m_auiWords[2] = {};
    float m_fUpdateTimer = 0.0f;
    std::uint32_t m_uiTimerWord = 0;
    std::int16_t m_asValues[3] = {0, -1, -1};
    std::uint8_t m_ucCurrentState = 0;
    std::uint8_t m_ucRequestedState = 0;
    std::uint8_t m_ucChangePending = 0;
    std::uint8_t m_ucSuspended = 0;
    std::uint8_t m_ucExtraUpdate = 0;
    std::uint8_t m_ucEntered = 1;
};
