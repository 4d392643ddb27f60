#include "framework/COrvaneShaderFactory.h"

namespace
{
COrvaneShaderFactory* s_pkFactory = nullptr;
}

COrvaneShaderFactory* COrvaneShaderFactory::Get()
{
    return s_pkFactory;
}

void COrvaneShaderFactory::Set(COrvaneShaderFactory* pkFactory)
{
    s_pkFactory = pkFactory;
}
