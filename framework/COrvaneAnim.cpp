#include "framework/COrvaneAnim.h"

#include "engine/animation/NiControllerSequence.h"

struct COrvaneAnim::Holder
{
    NiRefPtr<NiControllerSequence> m_spSequence;
};

COrvaneAnim::COrvaneAnim() : m_pkSequence(std::make_unique<Holder>())
{
}

COrvaneAnim::~COrvaneAnim()
{
    Destroy();
    ClearName();
}

void COrvaneAnim::Destroy()
{
    Reset();
}

void COrvaneAnim::SetSequence(NiObject* pkObject)
{
    m_pkSequence->m_spSequence = NiDynamicCast<NiControllerSequence>(pkObject);
}

void COrvaneAnim::Load(const COrvaneAnimDesc& kDesc)
{
    SetName(kDesc.m_kName.c_str());
    if (kDesc.m_pkObject)
        SetSequence(kDesc.m_pkObject);
}

NiControllerSequence* COrvaneAnim::GetSequence() const
{
    return m_pkSequence->m_spSequence;
}
