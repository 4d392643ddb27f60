#pragma once

#include <cstdint>

class CGameCharacter;
class COrvaneBase;
class COrvaneObject;

// The search record with which characters look for objects and for each
// other: each candidate is asked whether it answers, and the nearest-only
// search narrows the best distance as it goes.
struct CObjectQuery
{
    // The factory whose objects are searched.
    const COrvaneBase* m_pkFactory = nullptr;
    // An object never to answer (the previous target).
    const COrvaneObject* m_pkSkip = nullptr;
    const COrvaneObject* m_pkSeeker = nullptr;
    // Largest horizontal squared distance; 0 is unlimited.
    float m_fMaxDistanceSquared = 0.0f;
    // The distance of the best answer so far (nearest-only searches).
    float m_fBestDistance = 0.0f;
    std::uint8_t m_ucNearestOnly = 0;
    // Objects that are unattractive answer instead of those wanting a user.
    std::uint8_t m_ucWantUnattractive = 0;
    // Only buildings of this kind answer; -1 asks for no kind.
    std::int32_t m_iBuildingKind = -1;

    // The seeker as a person (null when it is none) and the prisoners'
    // word for what kind of person (-1 until a prisoner is asked), worked
    // out by the first candidate asked and kept while m_pkSeeker stays the
    // one they were worked out for: a search asks every person of a group,
    // and the type tests cost more than the rest of an answer. Filled by
    // CGameCharacter::SeekerOf.
    const COrvaneObject* m_pkSeekerSeen = nullptr;
    const CGameCharacter* m_pkSeekerPerson = nullptr;
    std::int32_t m_iSeekerKind = -1;
};
