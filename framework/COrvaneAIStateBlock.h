#pragma once

#include <cstdint>

class COrvaneAICharacter;
class COrvaneGridEntity;
struct COrvaneGridMarker;

// Everything a controller remembers about one character; the character
// owns it and hands it to the controller on each run. The links are
// pointer-sized: a save keeps them as grid references and person numbers,
// never as addresses.
struct COrvaneAIStateBlock
{
    COrvaneAICharacter* m_pkOwner = nullptr;
    // The object walked to or used, and the one last given up or used.
    COrvaneGridEntity* m_pkReferenceA = nullptr;
    COrvaneGridEntity* m_pkReferenceB = nullptr;
    // The partner, the previous partner and the connector walked to.
    COrvaneAICharacter* m_pkReference3 = nullptr;
    COrvaneAICharacter* m_pkReference4 = nullptr;
    COrvaneGridMarker* m_pkReference5 = nullptr;
    float m_fUpdateTimer = 0.0f;
    // Free for the controller (idle countdowns, interaction bouts).
    float m_fControllerTimer = 0.0f;
    // Walks failed in a row, use-slot index, use-slot list index.
    std::int16_t m_asValues[3] = {0, -1, -1};
    std::uint8_t m_ucCurrentState = 0;
    std::uint8_t m_ucRequestedState = 0;
    std::uint8_t m_ucChangePending = 0;
    // Set: the character is gone and runs no AI.
    std::uint8_t m_ucSuspended = 0;
    // Set: the character's extra update runs every frame.
    std::uint8_t m_ucExtraUpdate = 0;
    // Set by a reset, cleared by a controller's Enter; the game reads it as
    // "free for another character's interaction".
    std::uint8_t m_ucEntered = 1;
};
