#include "engine/core/NiViewerStrings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <ostream>
#include <string>

namespace
{
struct FormatterCase
{
    const char* pcLabel;
    std::function<char*()> fnMake;
    const char* pcExpected;
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const FormatterCase& kCase, std::ostream* pkOut)
{
    *pkOut << kCase.pcLabel;
}

std::string Take(char* pc)
{
    std::unique_ptr<char[]> kOwned(pc);
    return pc ? std::string(pc) : std::string("<null>");
}

class NiViewerStrings : public ::testing::TestWithParam<FormatterCase>
{
};

const FormatterCase g_akCases[] = {
    {"Header", [] { return NiViewerHeader("NiNode"); }, "--- NiNode ---"},
    {"BoolTrue", [] { return NiViewerBool("m_bShow", true); }, "m_bShow = true"},
    {"BoolFalse", [] { return NiViewerBool("m_bShow", false); }, "m_bShow = false"},
    {"UCharMax", [] { return NiViewerUChar("m_ucFlags", 255); }, "m_ucFlags = 255"},
    {"ShortMin", [] { return NiViewerShort("s", std::numeric_limits<std::int16_t>::min()); }, "s = -32768"},
    {"UShortMax", [] { return NiViewerUShort("us", 65535); }, "us = 65535"},
    {"IntMin", [] { return NiViewerInt("i", std::numeric_limits<std::int32_t>::min()); }, "i = -2147483648"},
    {"UIntMax", [] { return NiViewerUInt("ui", 4294967295u); }, "ui = 4294967295"},
    {"FloatShort", [] { return NiViewerFloat("f", 0.5f); }, "f = 0.5"},
    {"FloatSixDigits", [] { return NiViewerFloat("f", 0.1f); }, "f = 0.1"},
    {"FloatLarge", [] { return NiViewerFloat("f", 1e20f); }, "f = 1e+20"},
    {"FloatNegativeTiny", [] { return NiViewerFloat("f", -1.5e-7f); }, "f = -1.5e-07"},
    {"NullPointer", [] { return NiViewerPointer("p", nullptr); }, "p = (nil)"},
    {"PointerHex", [] { return NiViewerPointer("p", reinterpret_cast<const void*>(0xbeef)); }, "p = 0xbeef"},
    {"String", [] { return NiViewerString("m_pcName", "box"); }, "m_pcName = box"},
    {"EmptyString", [] { return NiViewerString("m_pcName", ""); }, "m_pcName = "},
    {"NullString", [] { return NiViewerString("m_pcName", nullptr); }, "m_pcName = NULL"},
    {"PercentInTextIsData", [] { return NiViewerString("m_pcName", "%s%n%p"); }, "m_pcName = %s%n%p"},
};
} // namespace

TEST_P(NiViewerStrings, FormatsExactly)
{
    EXPECT_EQ(Take(GetParam().fnMake()), GetParam().pcExpected);
}

INSTANTIATE_TEST_SUITE_P(Formatters, NiViewerStrings, ::testing::ValuesIn(g_akCases),
                         [](const ::testing::TestParamInfo<FormatterCase>& kInfo) { return kInfo.param.pcLabel; });

TEST(NiViewerStringsSizing, LongNamesAndTextsFitTheirBuffers)
{
    // Buffers are sized from the inputs; ASan sees any overrun.
    const std::string kName(5000, 'n');
    const std::string kText(7000, 't');
    EXPECT_EQ(Take(NiViewerString(kName.c_str(), kText.c_str())), kName + " = " + kText);
    EXPECT_EQ(Take(NiViewerHeader(kName.c_str())), "--- " + kName + " ---");
    EXPECT_EQ(Take(NiViewerUInt(kName.c_str(), 4294967295u)), kName + " = 4294967295");
    EXPECT_EQ(Take(NiViewerFloat(kName.c_str(), -3.4028235e38f)), kName + " = -3.40282e+38");
    EXPECT_EQ(Take(NiViewerBool(kName.c_str(), false)), kName + " = false");
}
