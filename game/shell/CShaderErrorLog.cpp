#include "game/shell/CShaderErrorLog.h"

#include "engine/shaders/framework/NiShaderFactory.h"

#include <cstdio>
#include <set>
#include <string>

namespace
{
std::set<std::string>& Seen()
{
    static std::set<std::string> s_kSeen;
    return s_kSeen;
}
} // namespace

bool CShaderErrorLog::Install()
{
    return NiShaderFactory::SetErrorCallback(&CShaderErrorLog::Report);
}

int CShaderErrorLog::Report(const char* pcText, std::uint32_t uiCode, bool)
{
    if (pcText == nullptr || !Seen().insert(pcText).second)
        return 0;
    std::string kLine = "shader error " + std::to_string(uiCode) + ": " + pcText;
    if (kLine.empty() || kLine.back() != '\n')
        kLine += '\n';
    std::fputs(kLine.c_str(), stderr);
    return 0;
}

std::size_t CShaderErrorLog::GetPrintedCount()
{
    return Seen().size();
}

void CShaderErrorLog::Reset()
{
    Seen().clear();
}
