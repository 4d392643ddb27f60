#include "engine/shaders/nsb/NiShaderDescBase.h"

#include "engine/shaders/nsb/NSBStream.h"

bool NiShaderDescBase::SaveBinary(NiByteStream& kStream)
{
    return NSBStream::WriteString(kStream, m_kName) && NSBStream::WriteString(kStream, m_kDescription);
}

bool NiShaderDescBase::LoadBinary(NiByteStream& kStream)
{
    return NSBStream::ReadString(kStream, m_kName) && NSBStream::ReadString(kStream, m_kDescription);
}
