#include "engine/shaders/nsb/NSBPackingDef.h"

#include "engine/shaders/framework/NiD3DShaderDeclaration.h"
#include "engine/shaders/framework/NiD3DUtility.h"
#include "engine/shaders/framework/NiShaderFactory.h"
#include "engine/shaders/nsb/NSBStream.h"

#include <map>

namespace
{
const char* const s_apcInputNames[] = {
    "NiPosition",  "NiBlendWeight", "NiBlendIndices", "NiNormal",    "NiColor",
    "NiTexCoord0", "NiTexCoord1",   "NiTexCoord2",    "NiTexCoord3", "NiTexCoord4",
    "NiTexCoord5", "NiTexCoord6",   "NiTexCoord7",    "NiTangent",   "NiBinormal"};

const char* const s_apcTypeNames[] = {
    "Float1",     "Float2",     "Float3",     "Float4", "UByteColor", "UByte4", "Short1",
    "Short2",     "Short3",     "Short4",     "NormShort1", "NormShort2", "NormShort3", "NormShort4",
    "NormPacked3", "PByte1",    "PByte2",     "PByte3", "PByte4",     "Float2H"};

// Published vertex declaration types (D3DDECLTYPE_*) per stored type.
const std::int32_t s_aiDeclTypes[] = {
    0,  // FLOAT1
    1,  // FLOAT2
    2,  // FLOAT3
    3,  // FLOAT4
    4,  // D3DCOLOR
    5,  // UBYTE4
    -1, // one short
    6,  // SHORT2
    -1, // three shorts
    7,  // SHORT4
    -1, // one normalised short
    9,  // SHORT2N
    -1, // three normalised shorts
    10, // SHORT4N
    -1, -1, -1, -1, -1, -1, // packed normal, packed bytes, half-float 2H
    8,  // UBYTE4N
    11, // USHORT2N
    12, // USHORT4N
    13, // UDEC3
    14, // DEC3N
    15, // FLOAT16_2
    16, // FLOAT16_4
};
} // namespace

const char* NSBPackingDef::GetParameterName(std::int32_t iInput)
{
    if (iInput < 0)
        return "ExtraData";
    if (static_cast<std::size_t>(iInput) < std::size(s_apcInputNames))
        return s_apcInputNames[iInput];
    return "UNKNOWN";
}

const char* NSBPackingDef::GetParameterTypeName(std::uint32_t uiType)
{
    if (uiType < std::size(s_apcTypeNames))
        return s_apcTypeNames[uiType];
    return "UNKNOWN";
}

std::int32_t NSBPackingDef::ConvertPackingDefType(std::uint32_t uiType)
{
    if (uiType < std::size(s_aiDeclTypes))
        return s_aiDeclTypes[uiType];
    return -1;
}

const NSBPackingDef::Entry* NSBPackingDef::GetFirstEntry()
{
    m_uiIter = 0;
    return GetNextEntry();
}

const NSBPackingDef::Entry* NSBPackingDef::GetNextEntry()
{
    if (m_uiIter >= m_kEntries.size())
        return nullptr;
    return &m_kEntries[m_uiIter++];
}

bool NSBPackingDef::AddPackingEntry(std::uint32_t uiStream, std::uint32_t uiRegister, std::int32_t iInput,
                                    std::uint32_t uiType, std::uint32_t uiTesselator, std::uint32_t uiUsage,
                                    std::uint32_t uiUsageIndex)
{
    Entry* pkEntry = nullptr;
    for (Entry& kEntry : m_kEntries)
    {
        if (kEntry.m_uiStream == uiStream && kEntry.m_uiRegister == uiRegister)
        {
            pkEntry = &kEntry;
            break;
        }
    }
    if (pkEntry != nullptr)
    {
        NiD3DUtility::Log("WARNING> PackingDef %s - Entry stream %d register %d being written over!\n",
                          m_kName.c_str(), static_cast<int>(uiStream), static_cast<int>(uiRegister));
        NiShaderFactory::ReportError(NiShaderFactory::ERROR_GENERAL, true,
                                     "* WARNING: NSBPackingDef::AddPackingEntry\n"
                                     "    %s - overwriting stream %d, register %d\n",
                                     m_kName.c_str(), static_cast<int>(uiStream), static_cast<int>(uiRegister));
    }
    else
    {
        m_kEntries.emplace_back();
        pkEntry = &m_kEntries.back();
    }
    pkEntry->m_uiStream = uiStream;
    pkEntry->m_uiRegister = uiRegister;
    pkEntry->m_iInput = iInput;
    pkEntry->m_uiType = uiType;
    pkEntry->m_uiTesselator = uiTesselator;
    pkEntry->m_uiUsage = uiUsage;
    pkEntry->m_uiUsageIndex = uiUsageIndex;
    return true;
}

bool NSBPackingDef::GetStreamInfo(std::uint32_t& uiStreamCount, std::uint32_t& uiMaxEntriesPerStream) const
{
    std::uint32_t auiCounts[MAX_STREAMS] = {};
    uiStreamCount = 0;
    uiMaxEntriesPerStream = 0;
    for (const Entry& kEntry : m_kEntries)
    {
        if (kEntry.m_uiStream >= MAX_STREAMS)
            return false;
        if (++auiCounts[kEntry.m_uiStream] == 1)
            ++uiStreamCount;
        if (auiCounts[kEntry.m_uiStream] > uiMaxEntriesPerStream)
            uiMaxEntriesPerStream = auiCounts[kEntry.m_uiStream];
    }
    return true;
}

std::vector<std::uint32_t> NSBPackingDef::GetStreamEntryIndices() const
{
    std::vector<std::uint32_t> kIndices;
    kIndices.reserve(m_kEntries.size());
    std::map<std::uint32_t, std::uint32_t> kNext;
    for (const Entry& kEntry : m_kEntries)
        kIndices.push_back(kNext[kEntry.m_uiStream]++);
    return kIndices;
}

NiD3DShaderDeclaration* NSBPackingDef::GetShaderDeclaration(NiDX9Renderer* pkRenderer) const
{
    std::uint32_t uiStreams = 0;
    std::uint32_t uiPerStream = 0;
    if (!GetStreamInfo(uiStreams, uiPerStream))
        return nullptr;
    NiD3DShaderDeclaration* pkDeclaration = NiD3DShaderDeclaration::Create(pkRenderer, uiPerStream, uiStreams);
    if (pkDeclaration == nullptr)
        return nullptr;
    const std::vector<std::uint32_t> kIndices = GetStreamEntryIndices();
    for (std::size_t uiEntry = 0; uiEntry < m_kEntries.size(); ++uiEntry)
    {
        const Entry& kEntry = m_kEntries[uiEntry];
        const std::uint32_t uiIndex = kIndices[uiEntry];
        const auto uiType = static_cast<std::uint32_t>(ConvertPackingDefType(kEntry.m_uiType));
        // A type this renderer has none for is refused by the declaration;
        // the other entries still go in.
        if (kEntry.m_uiUsage != USAGE_NONE)
            (void)pkDeclaration->SetEntry(kEntry.m_uiStream, uiIndex, kEntry.m_uiRegister, kEntry.m_iInput, uiType,
                                          kEntry.m_uiUsage, kEntry.m_uiUsageIndex, kEntry.m_uiTesselator);
        else
            (void)pkDeclaration->SetEntry(uiIndex, kEntry.m_uiRegister, kEntry.m_iInput, uiType, kEntry.m_uiStream);
    }
    return pkDeclaration;
}

bool NSBPackingDef::SaveBinary(NiByteStream& kStream) const
{
    if (!NSBStream::WriteString(kStream, m_kName) || !NSBStream::WriteBool(kStream, m_bFixedFunction) ||
        !NSBStream::WriteU32(kStream, GetEntryCount()))
        return false;
    for (const Entry& kEntry : m_kEntries)
    {
        const std::uint32_t auiWords[7] = {kEntry.m_uiStream,     kEntry.m_uiRegister,
                                           static_cast<std::uint32_t>(kEntry.m_iInput), kEntry.m_uiType,
                                           kEntry.m_uiTesselator, kEntry.m_uiUsage,
                                           kEntry.m_uiUsageIndex};
        if (!NSBStream::WriteU32Array(kStream, auiWords, 7))
            return false;
    }
    return true;
}

bool NSBPackingDef::LoadBinary(NiByteStream& kStream)
{
    std::uint32_t uiCount = 0;
    if (!NSBStream::ReadString(kStream, m_kName) || !NSBStream::ReadBool(kStream, m_bFixedFunction) ||
        !NSBStream::ReadU32(kStream, uiCount) || !NSBStream::CountFits(kStream, uiCount, ENTRY_BYTES))
        return false;
    for (std::uint32_t ui = 0; ui < uiCount; ++ui)
    {
        std::uint32_t auiWords[7];
        if (!NSBStream::ReadU32Array(kStream, auiWords, 7))
            return false;
        Entry kEntry;
        kEntry.m_uiStream = auiWords[0];
        kEntry.m_uiRegister = auiWords[1];
        kEntry.m_iInput = static_cast<std::int32_t>(auiWords[2]);
        kEntry.m_uiType = auiWords[3];
        kEntry.m_uiTesselator = auiWords[4];
        kEntry.m_uiUsage = auiWords[5];
        kEntry.m_uiUsageIndex = auiWords[6];
        m_kEntries.push_back(kEntry);
    }
    return true;
}
