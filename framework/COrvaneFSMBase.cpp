#include "framework/COrvaneFSMBase.h"

int COrvaneFSMBase::Update(std::int32_t iEvent)
{
    int iResult = HandleEvent(iEvent, GetState());
    for (int iPasses = MAX_CHANGES_PER_UPDATE; IsChangePending() && --iPasses >= 0;)
    {
        // Cleared first, so a request made while exiting or entering is kept
        // for the next pass.
        SetChangePending(false);
        iResult = HandleEvent(EVENT_EXIT, GetState());
        CommitState();
        iResult = HandleEvent(EVENT_ENTER, GetState());
    }
    return iResult;
}
