#include "framework/COrvaneObjectFactory.h"

#include "framework/COrvaneObject.h"
#include "framework/COrvaneObjectDesc.h"

COrvaneObjectFactory::COrvaneObjectFactory()
{
    SetName("orvaneObjectFactory");
}

std::unique_ptr<COrvaneObject> COrvaneObjectFactory::CreateBlank() const
{
    return std::make_unique<COrvaneObject>();
}

COrvaneObject* COrvaneObjectFactory::Create(COrvaneObjectDesc& kDesc)
{
    auto* pkObject = new COrvaneObject;
    pkObject->Load(kDesc);
    if (m_pkWorld && kDesc.m_ucAddToWorld)
        pkObject->AddToWorld(m_pkWorld, true);
    return pkObject;
}
