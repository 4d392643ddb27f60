#include "framework/COrvaneTrigger.h"

#include "engine/scene/NiNodeAttachment.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneObject.h"
#include "framework/COrvaneUserPropScan.h"

COrvaneTrigger::COrvaneTrigger() = default;

COrvaneTrigger::~COrvaneTrigger() = default;


void COrvaneTrigger::Scan(COrvaneComposite* pkModel, COrvaneObject* pkTarget)
{
    if (!pkModel || !pkTarget)
        return;
    m_pkScanner = std::make_unique<COrvaneUserPropScan>();
    m_pkTarget = pkTarget;
    m_pkScanner->Scan(*pkModel, [this](const char* pcText, int iKind, NiAVObject* pkNode) {
        return OnUserProp(pcText, iKind, pkNode) != 0;
    });
    m_pkTarget = nullptr;
}

int COrvaneTrigger::OnUserProp(const char* pcText, int iPass, NiAVObject* pkNode)
{
    if (!m_pkTarget)
        return 0;
    return m_pkTarget->HandleUserProp(pcText, iPass, pkNode);
}
