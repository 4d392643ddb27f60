#include "engine/shaders/nsf/NSFVocabulary.h"

#include "tests/engine/shaders/nsf/NsfTestSupport.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <sstream>

using namespace nsf_test;

using NSFVocabularyTest = NsfTest;

namespace
{
// The render states in index order.
const char* const s_pcStates =
    "ZFUNC ALPHAFUNC ALPHABLENDENABLE ALPHATESTENABLE ALPHAREF SRCBLEND DESTBLEND ZWRITEENABLE "
    "DITHERENABLE SHADEMODE COLORWRITEENABLE STENCILZFAIL STENCILPASS STENCILFUNC STENCILREF STENCILMASK "
    "STENCILWRITEMASK BLENDOP BLENDCOLOR SWATHWIDTH POLYGONOFFSETZSLOPESCALE POLYGONOFFSETZOFFSET "
    "POINTOFFSETENABLE WIREFRAMEOFFSETENABLE SOLIDOFFSETENABLE DEPTHCLIPCONTROL STIPPLEENABLE FOGENABLE "
    "FOGTABLEMODE FOGSTART FOGEND FOGDENSITY RANGEFOGENABLE WRAP0 WRAP1 WRAP2 WRAP3 WRAP4 WRAP5 WRAP6 "
    "WRAP7 LIGHTING SPECULARENABLE LOCALVIEWER COLORVERTEX BACKSPECULARMATERIALSOURCE "
    "BACKDIFFUSEMATERIALSOURCE BACKAMBIENTMATERIALSOURCE BACKEMISSIVEMATERIALSOURCE "
    "SPECULARMATERIALSOURCE DIFFUSEMATERIALSOURCE AMBIENTMATERIALSOURCE EMISSIVEMATERIALSOURCE "
    "BACKAMBIENT AMBIENT POINTSIZE POINTSIZE_MIN POINTSPRITEENABLE POINTSCALEENABLE POINTSCALE_A "
    "POINTSCALE_B POINTSCALE_C POINTSIZE_MAX PATCHEDGESTYLE PATCHSEGMENTS SWAPFILTER "
    "PRESENTATIONINTERVAL VERTEXBLEND FOGCOLOR FILLMODE BACKFILLMODE TWOSIDEDLIGHTING NORMALIZENORMALS "
    "ZENABLE STENCILENABLE STENCILFAIL FRONTFACE CULLMODE TEXTUREFACTOR ZBIAS LOGICOP EDGEANTIALIAS "
    "MULTISAMPLEANTIALIAS MULTISAMPLEMASK MULTISAMPLEMODE MULTISAMPLERENDERTARGETMODE SHADOWFUNC "
    "LINEWIDTH SAMPLEALPHA DXT1NOISEENABLE YUVENABLE OCCLUSIONCULLENABLE STENCILCULLENABLE "
    "ROPZCMPALWAYSREAD ROPZREAD DONOTCULLUNCOMPRESSED LINEPATTERN LASTPIXEL CLIPPING FOGVERTEXMODE "
    "CLIPPLANEENABLE SOFTWAREVERTEXPROCESSING DEBUGMONITORTOKEN INDEXEDVERTEXBLENDENABLE TWEENFACTOR "
    "POSITIONORDER NORMALORDER POSITIONDEGREE NORMALDEGREE SCISSORTESTENABLE SLOPESCALEDEPTHBIAS "
    "ANTIALIASEDLINEENABLE MINTESSELLATIONLEVEL MAXTESSELLATIONLEVEL ADAPTIVETESS_X ADAPTIVETESS_Y "
    "ADAPTIVETESS_Z ADAPTIVETESS_W ENABLEADAPTIVETESSELATION TWOSIDEDSTENCILMODE CCW_STENCILFAIL "
    "CCW_STENCILZFAIL CCW_STENCILPASS CCW_STENCILFUNC COLORWRITEENABLE1 COLORWRITEENABLE2 "
    "COLORWRITEENABLE3 BLENDFACTOR SRGBWRITEENABLE DEPTHBIAS WRAP8 WRAP9 WRAP10 WRAP11 WRAP12 WRAP13 "
    "WRAP14 WRAP15 SEPARATEALPHABLENDENABLE SRCBLENDALPHA DESTBLENDALPHA BLENDOPALPHA PSTEXTUREMODES "
    "PSALPHAINPUTS0 PSALPHAINPUTS1 PSALPHAINPUTS2 PSALPHAINPUTS3 PSALPHAINPUTS4 PSALPHAINPUTS5 "
    "PSALPHAINPUTS6 PSALPHAINPUTS7 PSFINALCOMBINERINPUTSABCD PSFINALCOMBINERINPUTSEFG PSCONSTANT0_0 "
    "PSCONSTANT0_1 PSCONSTANT0_2 PSCONSTANT0_3 PSCONSTANT0_4 PSCONSTANT0_5 PSCONSTANT0_6 PSCONSTANT0_7 "
    "PSCONSTANT1_0 PSCONSTANT1_1 PSCONSTANT1_2 PSCONSTANT1_3 PSCONSTANT1_4 PSCONSTANT1_5 PSCONSTANT1_6 "
    "PSCONSTANT1_7 PSALPHAOUTPUTS0 PSALPHAOUTPUTS1 PSALPHAOUTPUTS2 PSALPHAOUTPUTS3 PSALPHAOUTPUTS4 "
    "PSALPHAOUTPUTS5 PSALPHAOUTPUTS6 PSALPHAOUTPUTS7 PSRGBINPUTS0 PSRGBINPUTS1 PSRGBINPUTS2 PSRGBINPUTS3 "
    "PSRGBINPUTS4 PSRGBINPUTS5 PSRGBINPUTS6 PSRGBINPUTS7 PSCOMPAREMODE PSFINALCOMBINERCONSTANT0 "
    "PSFINALCOMBINERCONSTANT1 PSRGBOUTPUTS0 PSRGBOUTPUTS1 PSRGBOUTPUTS2 PSRGBOUTPUTS3 PSRGBOUTPUTS4 "
    "PSRGBOUTPUTS5 PSRGBOUTPUTS6 PSRGBOUTPUTS7 PSCOMBINERCOUNT PSDOTMAPPING PSINPUTTEXTURE";

// Each row: states sharing one list of named values.
const struct
{
    const char* m_pcStates;
    const char* m_pcValues;
} s_akRows[] = {
    {"ZFUNC ALPHAFUNC STENCILFUNC SHADOWFUNC CCW_STENCILFUNC", "NEVER=0 LESS=1 EQUAL=2 LESSEQUAL=3 GREATER=4 NOTEQUAL=5 GREATEREQUAL=6 ALWAYS=7"},
    {"SRCBLEND DESTBLEND SRCBLENDALPHA DESTBLENDALPHA", "ZERO=0 ONE=1 SRCCOLOR=2 INVSRCCOLOR=3 SRCALPHA=4 INVSRCALPHA=5 DESTALPHA=6 INVDESTALPHA=7 DESTCOLOR=8 INVDESTCOLOR=9 SRCALPHASAT=10 BOTHSRCALPHA=11 BOTHINVSRCALPHA=12 CONSTANTCOLOR=13 INVCONSTANTCOLOR=14 CONSTANTALPHA=15 INVCONSTANTALPHA=16"},
    {"SHADEMODE", "FLAT=0 GOURAUD=1 PHONG=2"},
    {"STENCILZFAIL STENCILPASS STENCILFAIL CCW_STENCILFAIL CCW_STENCILZFAIL CCW_STENCILPASS", "KEEP=0 ZERO=1 REPLACE=2 INCRSAT=3 DECRSAT=4 INVERT=5 INCR=6 DECR=7"},
    {"BLENDOP BLENDOPALPHA", "ADD=0 SUBTRACT=1 REVSUBTRACT=2 MIN=3 MAX=4 ADDSIGNED=5 REVSUBTRACTSIGNED=6"},
    {"SWATHWIDTH", "SWATH_8=0 SWATH_16=1 SWATH_32=2 SWATH_64=3 SWATH_128=4 SWATH_OFF=5"},
    {"DEPTHCLIPCONTROL", "CULLPRIMITIVE=0 CLAMP=1 IGNORE_W_SIGN=2"},
    {"FOGTABLEMODE FOGVERTEXMODE", "NONE=0 EXP=1 EXP2=2 LINEAR=3"},
    {"WRAP0 WRAP1 WRAP2 WRAP3 WRAP4 WRAP5 WRAP6 WRAP7 WRAP8 WRAP9 WRAP10 WRAP11 WRAP12 WRAP13 WRAP14 WRAP15", "DISABLED=0 U=1 V=2 W=3 UV=4 UW=5 VW=6 UVW=7"},
    {"BACKSPECULARMATERIALSOURCE BACKDIFFUSEMATERIALSOURCE BACKAMBIENTMATERIALSOURCE BACKEMISSIVEMATERIALSOURCE SPECULARMATERIALSOURCE DIFFUSEMATERIALSOURCE AMBIENTMATERIALSOURCE EMISSIVEMATERIALSOURCE", "MATERIAL=0 COLOR1=1 COLOR2=2"},
    {"PATCHEDGESTYLE", "DISCRETE=0 CONTINUOUS=1"},
    {"SWAPFILTER", "NONE=0 POINT=1 LINEAR=2 ANISOTROPIC=3 QUINCUNX=4 GAUSSIANCUBIC=5 MAX=6"},
    {"PRESENTATIONINTERVAL", "INTERVAL_IMMEDIATE=0 INTERVAL_ONE=1 INTERVAL_ONE_OR_IMMEDIATE=2 INTERVAL_TWO=3 INTERVAL_TWO_OR_IMMEDIATE=4 INTERVAL_THREE=5 INTERVAL_THREE_OR_IMMEDIATE=6 INTERVAL_FOUR=7"},
    {"VERTEXBLEND", "DISABLE=0 1WEIGHTS=1 2WEIGHTS=2 3WEIGHTS=3 2WEIGHTS2MATRICES=4 3WEIGHTS3MATRICES=5 4WEIGHTS4MATRICES=6 TWEENING=7 0WEIGHTS=8"},
    {"FILLMODE BACKFILLMODE", "POINT=0 WIREFRAME=1 SOLID=2"},
    {"ZENABLE", "ZB_FALSE=0 ZB_TRUE=1 ZB_USEW=2"},
    {"FRONTFACE", "CW=0 CCW=1"},
    {"CULLMODE", "NONE=0 CW=1 CCW=2"},
    {"LOGICOP", "NONE=0 CLEAR=1 NIAND=2 AND=2 AND_REVERSE=3 COPY=4 AND_INVERTED=5 NOOP=6 XOR=7 OR=8 NOR=9 EQUIV=10 INVERT=11 OR_REVERSE=12 COPY_INVERTED=13 OR_INVERTED=14 NAND=15 SET=16"},
    {"MULTISAMPLEMODE MULTISAMPLERENDERTARGETMODE", "1X=0 2X=1 4X=2"},
    {"SAMPLEALPHA", "TOCOVERAGE=0 TOONE=1"},
    {"DEBUGMONITORTOKEN", "ENABLE=0 DISABLE=1"},
    {"POSITIONORDER NORMALORDER", "LINEAR=0 QUADRATIC=1 CUBIC=2 QUINTIC=3"},
    {"POSITIONDEGREE NORMALDEGREE", "LINEAR=1 QUADRATIC=2 CUBIC=3"},
};

std::vector<std::string> Split(const std::string& kText)
{
    std::istringstream kIn(kText);
    std::vector<std::string> kWords;
    for (std::string kWord; kIn >> kWord;)
        kWords.push_back(kWord);
    return kWords;
}

std::string Lower(std::string k)
{
    for (char& c : k)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return k;
}
} // namespace

// All 199 names in any case, and nothing that is only close to one.
TEST_F(NSFVocabularyTest, EveryRenderStateNameGivesItsIndex)
{
    const std::vector<std::string> kNames = Split(s_pcStates);
    ASSERT_EQ(kNames.size(), 199u);
    for (std::uint32_t ui = 0; ui < kNames.size(); ++ui)
    {
        SCOPED_TRACE(kNames[ui]);
        EXPECT_EQ(NSFVocabulary::LookupRenderState(kNames[ui].c_str()), ui);
        EXPECT_EQ(NSFVocabulary::LookupRenderState(Lower(kNames[ui]).c_str()), ui);
    }
    for (const char* pcName : {"ZFUNC2", "ZFUN", "", " ZFUNC", "WRAP16"})
        EXPECT_EQ(NSFVocabulary::LookupRenderState(pcName), 0x7FFFFFFFu) << pcName;
    EXPECT_EQ(NSFVocabulary::LookupRenderState(nullptr), 0x7FFFFFFFu);
}

// Every value row for each of its states; a state outside every row, or
// beyond the named-value states, takes no word.
TEST_F(NSFVocabularyTest, EveryValueRowAnswersForItsStatesOnly)
{
    const std::vector<std::string> kNames = Split(s_pcStates);
    std::map<std::uint32_t, std::map<std::string, std::uint32_t>> kByState;
    for (const auto& kRow : s_akRows)
    {
        for (const std::string& kState : Split(kRow.m_pcStates))
        {
            const auto kIt = std::find(kNames.begin(), kNames.end(), kState);
            ASSERT_NE(kIt, kNames.end()) << kState;
            for (const std::string& kPair : Split(kRow.m_pcValues))
            {
                const std::size_t uiEq = kPair.find('=');
                kByState[static_cast<std::uint32_t>(kIt - kNames.begin())][kPair.substr(0, uiEq)] =
                    static_cast<std::uint32_t>(std::stoul(kPair.substr(uiEq + 1)));
            }
        }
    }
    std::set<std::string> kAllWords;
    for (const auto& [uiState, kValues] : kByState)
        for (const auto& [kWord, uiValue] : kValues)
            kAllWords.insert(kWord);
    for (std::uint32_t uiState = 0; uiState < 199; ++uiState)
    {
        SCOPED_TRACE(kNames[uiState]);
        const auto kIt = kByState.find(uiState);
        for (const std::string& kWord : kAllWords)
        {
            std::uint32_t uiValue = 12345;
            const bool bFound = NSFVocabulary::LookupRenderStateValue(uiState, Lower(kWord).c_str(), uiValue);
            const bool bExpected = kIt != kByState.end() && kIt->second.count(kWord) != 0;
            EXPECT_EQ(bFound, bExpected) << kWord;
            EXPECT_EQ(uiValue, bExpected ? kIt->second.at(kWord) : 0u) << kWord;
        }
    }
    std::uint32_t uiValue = 9;
    EXPECT_FALSE(NSFVocabulary::LookupRenderStateValue(0, "", uiValue));
    EXPECT_FALSE(NSFVocabulary::LookupRenderStateValue(0, nullptr, uiValue));
    EXPECT_FALSE(NSFVocabulary::LookupRenderStateValue(0x7FFFFFFF, "ALWAYS", uiValue));
    EXPECT_EQ(uiValue, 0u);
}

TEST_F(NSFVocabularyTest, PlatformWordsGiveTheirBits)
{
    EXPECT_EQ(NSFVocabulary::ParsePlatformName("dx8"), 1u);
    EXPECT_EQ(NSFVocabulary::ParsePlatformName("DX9"), 2u);
    EXPECT_EQ(NSFVocabulary::ParsePlatformName("Xbox"), 4u);
    EXPECT_EQ(NSFVocabulary::ParsePlatformName("xenon"), 8u);
    EXPECT_EQ(NSFVocabulary::ParsePlatformName("DX10"), 0u);
    EXPECT_EQ(NSFVocabulary::ParsePlatformName(nullptr), 0u);
}

// The allowed operand pairs of each operator, written out from the
// language's tables; every other pair of the eleven types gives 0.
TEST_F(NSFVocabularyTest, OperatorResultTypesFollowTheTables)
{
    enum { U = 3, F = 4, P2 = 5, P3 = 6, P4 = 7, M3 = 8, M4 = 9, C = 10 };
    std::map<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>, std::uint32_t> kAllowed;
    auto Allow = [&](std::uint32_t uiOp, std::uint32_t uiA, std::initializer_list<std::uint32_t> kB,
                     std::uint32_t uiResult) {
        for (std::uint32_t uiB : kB)
            kAllowed[{uiOp, uiA, uiB}] = uiResult == 0 ? uiB : uiResult;
    };
    const std::uint32_t MUL = 0x10000000, DIV = 0x20000000, ADD = 0x30000000, SUB = 0x40000000;
    Allow(MUL, U, {U}, U);
    Allow(MUL, U, {F, P2, P3, P4, M3, M4, C}, 0);
    Allow(MUL, F, {U, F}, F);
    Allow(MUL, F, {P2, P3, P4, M3, M4, C}, 0);
    Allow(MUL, P2, {U, F, P2}, P2);
    Allow(MUL, P3, {U, F, P3, M3}, P3);
    Allow(MUL, P4, {U, F, P4, M4}, P4);
    Allow(MUL, M3, {U, P3}, P3);
    Allow(MUL, M3, {F, M3}, M3);
    Allow(MUL, M4, {U, F, M4}, M4);
    Allow(MUL, M4, {P4}, P4);
    Allow(MUL, M4, {C}, C);
    Allow(MUL, C, {U, F, P4, M4, C}, C);
    Allow(DIV, U, {U, F}, F);
    Allow(DIV, F, {U, F}, F);
    Allow(DIV, P2, {U, F, P2}, P2);
    Allow(DIV, P3, {U, F, P3}, P3);
    Allow(DIV, P4, {U, F, P4}, P4);
    Allow(DIV, C, {U, F, C}, C);
    for (std::uint32_t uiOp : {ADD, SUB})
    {
        Allow(uiOp, U, {U}, U);
        Allow(uiOp, U, {F}, F);
        Allow(uiOp, F, {U, F}, F);
        for (std::uint32_t uiType : {P2, P3, P4, M3, M4, C})
            Allow(uiOp, uiType, {uiType}, uiType);
    }
    for (std::uint32_t uiOp : {MUL, DIV, ADD, SUB, 0x50000000u})
        for (std::uint32_t uiA = 0; uiA <= 12; ++uiA)
            for (std::uint32_t uiB = 0; uiB <= 12; ++uiB)
            {
                const auto kIt = kAllowed.find({uiOp, uiA, uiB});
                EXPECT_EQ(NSFVocabulary::OperatorResultType(uiOp, uiA, uiB), kIt == kAllowed.end() ? 0u : kIt->second)
                    << std::hex << uiOp << std::dec << " " << uiA << " x " << uiB;
            }
}
