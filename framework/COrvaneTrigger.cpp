#include "framework/COrvaneTrigger.h"

#include "framework/COrvaneObject.h"

COrvaneTrigger::COrvaneTrigger() = default;

COrvaneTrigger::~COrvaneTrigger() = default;

void COrvaneTrigger::Scan(COrvaneComposite* pkModel, COrvaneObject* pkTarget)
{
    if (!pkModel || !pkTarget)
        return;
    m_pkTarget = pkTarget;
    m_pkTarget = nullptr;
}

int COrvaneTrigger::OnUserProp(const char* pcText, int iPass, NiAVObject* pkNode)
{
    if (!m_pkTarget)
        return 0;
    return m_pkTarget->HandleUserProp(pcText, iPass, pkNode);
}
