#include "tests/engine/shaders/nsb/NsbTestSupport.h"

#include "engine/core/NiRefObject.h"
#include "engine/shaders/framework/NiD3DShaderFactory.h"
#include "engine/shaders/nsb/NSBStream.h"

namespace nsb_test
{
namespace
{
constexpr std::uint32_t V11 = 0x00010001;
constexpr std::uint32_t V14 = 0x00010004;
constexpr std::uint32_t V15 = 0x00010005;
constexpr std::uint32_t V16 = 0x00010006;
constexpr std::uint32_t V17 = 0x00010007;

struct Entry
{
    std::string m_kKey;
    std::uint32_t m_uiFlags;
    std::uint32_t m_uiExtra;
    std::uint32_t m_uiRegister;
    std::uint32_t m_uiCount;
    std::string m_kVariable;
    std::uint32_t m_uiSize;
    std::uint32_t m_uiStride;
    std::vector<float> m_kData;
};

void WriteEntry(ByteWriter& w, std::uint32_t uiFormat, const Entry& e)
{
    w.Str(e.m_kKey);
    w.U32(e.m_uiFlags);
    w.U32(e.m_uiExtra);
    w.U32(e.m_uiRegister);
    w.U32(e.m_uiCount);
    if (uiFormat != V11)
        w.Str(e.m_kVariable);
    w.U32(e.m_uiSize);
    w.U32(e.m_uiStride);
    w.Count(static_cast<std::uint32_t>(e.m_kData.size() * 4));
    for (float f : e.m_kData)
        w.F32(f);
}

// Program kind, the common list, then (from 0x00010004) the three
// platform lists.
void WriteMap(ByteWriter& w, std::uint32_t uiFormat, std::uint32_t uiKind, const std::vector<Entry>& kCommon,
              const std::vector<Entry>& kDX9)
{
    w.U32(uiKind);
    w.Count(static_cast<std::uint32_t>(kCommon.size()));
    for (const Entry& e : kCommon)
        WriteEntry(w, uiFormat, e);
    if (uiFormat < V14)
        return;
    w.Count(0);
    w.Count(static_cast<std::uint32_t>(kDX9.size()));
    for (const Entry& e : kDX9)
        WriteEntry(w, uiFormat, e);
    w.Count(0);
}

void WriteUserSet(ByteWriter& w, std::uint32_t uiFormat, const std::string& kBlock)
{
    w.Count(1);
    w.Str(kBlock);
    WriteMap(w, uiFormat, 0, {{"Scale", 0x10000004, 0, 0xFFFFFFFF, 1, "", 4, 4, {2.0f}}}, {});
}
} // namespace

Bytes WriteFixture(std::uint32_t uiContent, std::uint32_t uiFormat, ByteWriter* pkWriter, std::uint32_t uiUserDataFlag)
{
    ByteWriter kLocal;
    ByteWriter& w = pkWriter ? *pkWriter : kLocal;
    const bool bSingleName = uiContent == V11;
    w.U32(0x0062736E);
    w.U32(uiFormat);
    w.Str("Fixture");
    w.Str("One of each record");
    if (uiFormat >= V16)
    {
        w.U32(uiContent >= V16 ? uiUserDataFlag : 0);
        if (uiContent >= V16)
            WriteUserSet(w, uiFormat, "ShaderData");
    }
    // Global table: one float.
    w.Count(1);
    w.Str("Time");
    w.Str("");
    w.U32(0);
    w.U32(4);
    w.F32(0.25f);
    // Attributes: a ranged float, a hidden texture.
    w.Count(2);
    w.Str("Gloss");
    w.Str("Shininess");
    w.U32(1);
    w.U32(4);
    w.F32(0.5f);
    w.F32(0.0f);
    w.F32(1.0f);
    w.Str("Base");
    w.Str("");
    w.U32(2);
    w.U32(11);
    w.U32(0);
    w.Str("base.dds");
    // One packing definition of two entries.
    w.Count(1);
    w.Str("Skin");
    w.U32(0);
    w.Count(2);
    for (std::uint32_t ui : {0u, 0u, 0u, 2u, 0u, 0u, 0u, 0u, 3u, 3u, 2u, 0u, 14u, 0u})
        w.U32(ui);
    // One implementation.
    w.Count(1);
    w.Str("Main");
    w.Str("The only one");
    if (uiFormat >= V15)
        w.Str(uiContent >= V15 ? "NiCustomShader" : "");
    w.U32(0);
    w.U32(1);
    for (std::uint32_t ui : {0xFFFF0200u, 0xFFFE0200u, 3u, 2u, 1u, 0u, 30u, 4u, 1u, 2u})
        w.U32(ui);
    if (uiFormat >= V17)
    {
        w.U32(uiContent >= V17 ? 1 : 0);
        w.U32(uiContent >= V17 ? 1 : 0);
    }
    if (uiFormat >= V16)
    {
        w.U32(uiContent >= V16 ? 1 : 0);
        if (uiContent >= V16)
            WriteUserSet(w, uiFormat, "ImplData");
    }
    w.Str("Skin");
    w.U32(1);
    w.Count(1);
    w.U32(1);
    w.U32(7);
    w.U32(1);
    w.Str("ZENABLE");
    w.U32(1);
    std::vector<Entry> kDX9;
    if (uiContent >= V14)
        kDX9.push_back({"Fog", 0x20000004, 0, 1, 1, "gFog", 0, 0, {}});
    WriteMap(w, uiFormat, 1,
             {{"Color", 0x1000000A, 0, 0, 1, bSingleName ? "" : "gColor", 16, 4, {1.0f, 0.5f, 0.25f, 1.0f}}}, kDX9);
    w.U32(0);
    // One pass.
    w.Count(1);
    w.Str("Pass0");
    if (uiFormat >= V16)
    {
        w.U32(uiContent >= V16 ? 1 : 0);
        if (uiContent >= V16)
            WriteUserSet(w, uiFormat, "PassData");
    }
    w.U32(0);
    if (uiFormat == V11)
    {
        w.Str("shade.psh");
    }
    else
    {
        const std::vector<std::string> kNames =
            bSingleName ? std::vector<std::string>{"shade.psh", "shade.psh", "shade.psh", "", ""}
                        : std::vector<std::string>{"shade.xps", "shade8.psh", "shade.psh", "main", "ps_2_0"};
        for (const std::string& k : kNames)
            w.Str(k);
    }
    w.U32(0);
    if (uiFormat == V11)
    {
        w.Str("shade.vsh");
    }
    else
    {
        const std::vector<std::string> kNames =
            bSingleName ? std::vector<std::string>{"shade.vsh", "shade.vsh", "shade.vsh"}
                        : std::vector<std::string>{"shade.xvs", "shade8.vsh", "shade.vsh"};
        for (const std::string& k : kNames)
            w.Str(k);
    }
    w.Str("vmain");
    w.Str("vs_2_0");
    w.U32(1);
    WriteMap(w, uiFormat, 2, {{"WorldViewProj", 0x20000009, 0, 0, 4, bSingleName ? "" : "gWVP", 0, 0, {}}}, {});
    w.U32(0);
    // One texture stage.
    w.Count(1);
    w.Str("Base");
    w.U32(0);
    w.U32(0x100);
    w.U32(1);
    w.Count(1);
    for (std::uint32_t ui : {0u, 1u, 4u})
        w.U32(ui);
    w.Str("");
    w.U32(1);
    w.Count(0);
    w.U32(1);
    for (int i = 0; i < 16; ++i)
        w.F32(i % 5 == 0 ? 2.0f : 0.0f);
    w.U32(3);
    w.Str("Transform");
    if (uiFormat >= V17)
        w.U32(uiContent >= V17 ? 1 : 0);
    return w.m_kBytes;
}

Bytes WriteMinimal(const std::string& kName, std::uint32_t uiVersion)
{
    ByteWriter w;
    w.U32(0x0062736E);
    w.U32(uiVersion);
    w.Str(kName);
    w.Str("");
    if (uiVersion >= V16)
        w.U32(0);
    for (int i = 0; i < 4; ++i)
        w.Count(0);
    return w.m_kBytes;
}

Bytes Words(std::initializer_list<std::uint32_t> kWords)
{
    ByteWriter w;
    for (std::uint32_t ui : kWords)
        w.U32(ui);
    return w.m_kBytes;
}

Bytes Text(const std::string& k)
{
    ByteWriter w;
    w.Str(k);
    return w.m_kBytes;
}

Bytes operator+(Bytes kA, const Bytes& kB)
{
    kA.insert(kA.end(), kB.begin(), kB.end());
    return kA;
}

std::vector<std::string> NsbTest::ms_kReports;

void NsbTest::SetUp()
{
    NSBStream::Reset();
    NiD3DShaderFactory::Create();
    ms_kReports.clear();
    NiShaderFactory::SetErrorCallback(+[](const char* pcText, std::uint32_t, bool) {
        ms_kReports.emplace_back(pcText);
        return 0;
    });
    m_uiLive = NiRefObject::GetTotalObjectCount();
}

void NsbTest::TearDown()
{
    EXPECT_EQ(NiRefObject::GetTotalObjectCount(), m_uiLive) << "objects left alive";
    NiD3DShaderFactory::Destroy();
    NSBStream::Reset();
}

std::vector<std::string> NsbTest::TakeReports()
{
    std::vector<std::string> kReports;
    kReports.swap(ms_kReports);
    return kReports;
}
} // namespace nsb_test
