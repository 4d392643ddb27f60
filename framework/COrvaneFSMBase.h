#pragma once

#include "framework/COrvaneBase.h"

#include <cstdint>

// The state-machine driver of every AI controller. The state it drives lives
// in the state block the controller is bound to, so one controller object
// serves every character that uses it.
class COrvaneFSMBase : public COrvaneBase
{
public:
    static constexpr std::int32_t EVENT_UPDATE = 0;
    static constexpr std::int32_t EVENT_ENTER = 1;
    static constexpr std::int32_t EVENT_EXIT = 2;
    // State changes carried out per call at most; the rest wait a call.
    static constexpr int MAX_CHANGES_PER_UPDATE = 10;

    ~COrvaneFSMBase() override = default;

    virtual int HandleEvent(std::int32_t iEvent, std::uint8_t ucState) = 0;
    virtual void CommitState() = 0;
    [[nodiscard]] virtual bool IsChangePending() const = 0;
    virtual void SetChangePending(bool bPending) = 0;
    [[nodiscard]] virtual std::uint8_t GetState() const = 0;

    // One handler call with the event, then the requested changes: exit the
    // current state, commit, enter the new one.
    int Update(std::int32_t iEvent);
    int UpdateNow() { return Update(EVENT_UPDATE); }
};
