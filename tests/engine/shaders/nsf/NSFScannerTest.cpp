#include "engine/shaders/nsf/NSFScanner.h"
#include "engine/shaders/nsf/NSFScannerState.h"
#include "engine/shaders/nsf/NSFGrammarActions.h"
#include "engine/shaders/nsf/NSFSourceFile.h"

#include "nsf_grammar.hpp"
#include "tests/engine/shaders/nsf/NsfTestSupport.h"

#include <cctype>
#include <climits>
#include <string>
#include <vector>

using namespace nsf_test;

using NSFScannerTest = NsfTest;

namespace
{
struct Form
{
    const char* m_pcText;
    int m_iToken;
};

// Every written keyword with its token number, aliases and the misspelt
// forms included.
const Form s_akKeywords[] = {
    {"NSFSHADER", 283}, {"ARTIST", 284}, {"HIDDEN", 285}, {"SAVE", 286}, {"ATTRIBUTES", 287},
    {"GLOBAL_ATTRIBUTES", 288}, {"ATTRIB", 289}, {"ATTRIB_BOOL", 290}, {"ATTRIB_STRING", 291},
    {"ATTRIB_UINT", 292}, {"ATTRIB_FLOAT", 293}, {"ATTRIB_POINT2", 294}, {"ATTRIB_POINT3", 295},
    {"ATTRIB_POINT4", 296}, {"ATTRIB_MATRIX3", 297}, {"ATTRIB_TRANSFORM", 298}, {"ATTRIB_COLOR", 299},
    {"ATTRIB_TEXTURE", 300}, {"PACKINGDEF", 301}, {"PD_STREAM", 302}, {"PD_FIXEDFUNCTION", 303},
    {"PDP_POSITION", 304}, {"PDP_BLENDWEIGHT", 305}, {"PDP_BLENDWEIGHTS", 305}, {"PDP_BLENDINDICES", 306},
    {"PDP_NORMAL", 307}, {"PDP_PSIZE", 308}, {"PDP_POINTSIZE", 308}, {"PDP_DIFFUSE", 309}, {"PDP_COLOR", 309},
    {"PDP_SPECULAR", 310}, {"PDP_COLOR2", 310}, {"PDP_TEXCOORD0", 311}, {"PDP_TEXCOORD1", 312},
    {"PDP_TEXCOORD2", 313}, {"PDP_TEXCOORD3", 314}, {"PDP_TEXCOORD4", 315}, {"PDP_TEXCOORD5", 316},
    {"PDP_TEXCOORD6", 317}, {"PDP_TEXCOORD7", 318}, {"PDP_POSITION2", 319}, {"PDP_NORMAL2", 320},
    {"PDP_TANGENT", 321}, {"PDP_BINORMAL", 322}, {"PDP_EXTRADATA", 323}, {"PDT_FLOAT1", 324},
    {"PDT_FLOAT2", 325}, {"PDT_FLOAT3", 326}, {"PDT_FLOAT4", 327}, {"PDT_D3DCOLOR", 328},
    {"PDT_UBYTECOLOR", 328}, {"PDT_SHORT1", 329}, {"PDT_SHORT2", 330}, {"PDT_SHORT3", 331}, {"PDT_SHORT4", 332},
    {"PDT_UBYTE4", 333}, {"PDT_SHORT1N", 334}, {"PDT_NORMSHORT1", 334}, {"PDT_SHORT2N", 335},
    {"PDT_NORMSHORT2", 335}, {"PDT_SHORT3N", 336}, {"PDT_NORMSHORT3", 336}, {"PDT_SHORT4N", 337},
    {"PDT_NORMSHORT4", 337}, {"PDT_PACKED3N", 338}, {"PDT_NORMPACKED3", 338}, {"PDT_PBYTE1", 339},
    {"PDT_PBYTE2", 340}, {"PDT_PBYTE3", 341}, {"PDT_PBYTE4", 342}, {"PDT_FLOAT2H", 343}, {"PDT_UBYTE4N", 344},
    {"PDT_NORMUBYTE4", 344}, {"PDT_USHORT2N", 345}, {"PDT_NORMUSHORT2", 345}, {"PDT_USHORT4N", 346},
    {"PDT_NORMUSHORT4", 346}, {"PDT_UDEC3", 347}, {"PDT_DEC3N", 348}, {"PDT_NORMDEC3", 348},
    {"PDT_FLOAT16_2", 349}, {"PDT_FLOAT16_4", 350}, {"PDTESS_DEFAULT", 351}, {"PDTESS_PARTIALU", 352},
    {"PDTESS_PARTIALV", 353}, {"PDTESS_CROSSUV", 354}, {"PDTESS_UV", 355}, {"PDTESS_LOOKUP", 356},
    {"PDTESS_LOOKUPPRESAMPLED", 357}, {"PDU_POSITION", 358}, {"PDU_BLENDWEIGHT", 359},
    {"PDU_BLENDINDICES", 360}, {"PDU_NORMAL", 361}, {"PDU_PSIZE", 362}, {"PDU_TEXCOORD", 363},
    {"PDU_TANGENT", 364}, {"PDU_BINORMAL", 365}, {"PDU_TESSFACTOR", 366}, {"PDU_POSITIONT", 367},
    {"PDU_COLOR", 368}, {"PDU_FOG", 369}, {"PDU_DEPTH", 370}, {"PDU_SAMPLE", 371}, {"RENDERSTATES", 372},
    {"CM_DEFINED", 373}, {"CM_ATTRIBUTE", 374}, {"CM_CONSTANT", 375}, {"CM_GLOBAL", 376}, {"CM_OPERATOR", 377},
    {"VS_CONSTANTMAP", 378}, {"VSPROGRAM", 379}, {"PS_CONSTANTMAP", 380}, {"PSPROGRAM", 381}, {"PROGRAM", 382},
    {"ENTRYPOINT", 383}, {"SHADERTARGET", 384}, {"SOFTWAREVP", 385}, {"BONEMATRIX3", 386}, {"BONEMATRIX4", 387},
    {"SKINBONEMATRIX3", 388}, {"SKINBONEMATRIX4", 389}, {"REQUIREMENTS", 390}, {"VSVERSION", 391},
    {"PSVERSION", 392}, {"USERVERSION", 393}, {"PLATFORM", 394}, {"BONESPERPARTITION", 395},
    {"BINORMALTANGENTMETHOD", 396}, {"NBTMETHOD_NONE", 397}, {"NBTMETHOD_NI", 398}, {"NBTMETHOD_MAX", 399},
    {"NBTMETHOD_ATI", 400}, {"USERDEFINEDDATA", 401}, {"IMPLEMENTATION", 402}, {"CLASSNAME", 403},
    {"PASS", 404}, {"STAGE", 405}, {"TSS_TEXTURE", 406}, {"TSS_COLOROP", 407}, {"TSS_COLORARG0", 408},
    {"TSS_COLORARG1", 409}, {"TSS_COLORARG2", 410}, {"TSS_ALPHAOP", 411}, {"TSS_ALPHAARG0", 412},
    {"TSS_ALPHAARG1", 413}, {"TSS_ALPHAARG2", 414}, {"TSS_RESULTARG", 415}, {"TSS_CONSTANT", 416},
    {"TSS_BUMPENVMAT00", 417}, {"TSS_BUMPENVMAT01", 418}, {"TSS_BUMPENVMAT10", 419}, {"TSS_BUMPENVMAT11", 420},
    {"TSS_BUMPENVLSCALE", 421}, {"TSS_BUMPENVLOFFSET", 422}, {"TSS_TEXCOORDINDEX", 423},
    {"TSS_TEXTRANSFLAGS", 424}, {"TSS_TEXTURETRANSFORMFLAGS", 424}, {"TSS_TEXTRANSMATRIX", 425},
    {"TSS_TEXTURETRANSFORMMATRIX", 425}, {"TTFF_DISABLE", 426}, {"TTFF_COUNT1", 427}, {"TTFF_COUNT2", 428},
    {"TTFF_COUNT3", 429}, {"TTFF_COUNT4", 430}, {"TTFF_PROJECTED", 431}, {"PROJECTED", 432},
    {"USEMAPINDEX", 433}, {"INVERSE", 434}, {"TRANSPOSE", 435}, {"TTSRC_GLOBAL", 436}, {"TTSRC_CONSTANT", 437},
    {"TT_WORLDPARALLEL", 438}, {"TT_WORLDPERSPECTIVE", 439}, {"TT_WORLDSPHEREMAP", 440},
    {"TT_CAMERASPHEREMAP", 441}, {"TT_SPECULARCUBEMAP", 442}, {"TT_DIFFUSECUBEMAP", 443}, {"TCI_PASSTHRU", 444},
    {"TCI_CAMERASPACENORMAL", 445}, {"TCI_CAMERASPACEPOSITION", 446}, {"TCI_CAMERASPACEREFLECT", 447},
    {"TCI_CAMERASPACEREFLECTIONVECTOR", 447}, {"TCI_SPHEREMAP", 448}, {"TOP_DISABLE", 449},
    {"TOP_SELECTARG1", 450}, {"TOP_SELECTARG2", 451}, {"TOP_MODULATE", 452}, {"TOP_MODULATE2X", 453},
    {"TOP_MODULATE4X", 454}, {"TOP_ADD", 455}, {"TOP_ADDSIGNED", 456}, {"TOP_ADDSIGNED2X", 457},
    {"TOP_SUBTRACT", 458}, {"TOP_ADDSMOOTH", 459}, {"TOP_BLENDDIFFUSEALPHA", 460},
    {"TOP_BLENDTEXTUREALPHA", 461}, {"TOP_BLENDFACTORAAPHA", 462}, {"TOP_BLENDFACTORALALPHA", 462},
    {"TOP_BLENDTEXTUREALPHAPM", 463}, {"TOP_BLENDCURRENTALPHA", 464}, {"TOP_PREMODULATE", 465},
    {"TOP_MODULATEALPHA_ADDCOLOR", 466}, {"TOP_MODULATECOLOR_ADDALPHA", 467},
    {"TOP_MODULATEINVALPHA_ADDCOLOR", 468}, {"TOP_MODULATEINVCOLOR_ADDALPHA", 469}, {"TOP_BUMPENVMAP", 470},
    {"TOP_BUMPENVMAPLUMINANCE", 471}, {"TOP_DOTPRODUCT3", 472}, {"TOP_MULTIPLYADD", 473}, {"TOP_LERP", 474},
    {"TA_CURRENT", 475}, {"TA_DIFFUSE", 476}, {"TA_SELECTMASK", 477}, {"TA_SPECULAR", 478}, {"TA_TEMP", 479},
    {"TA_TEXTURE", 480}, {"TA_TFACTOR", 481}, {"TA_ALPHAREPLICATE", 482}, {"TA_COMPLEMENT", 483},
    {"NTM_BASE", 484}, {"NTM_DARK", 485}, {"NTM_DETAIL", 486}, {"NTM_GLOSS", 487}, {"NTM_GLOW", 488},
    {"NTM_BUMP", 489}, {"NTM_DECAL", 490}, {"SAMPLER", 491}, {"TSAMP_ADDRESSU", 492}, {"TSAMP_ADDRESSV", 493},
    {"TSAMP_ADDRESSW", 494}, {"TSAMP_BORDERCOLOR", 495}, {"TSAMP_MAGFILTER", 496}, {"TSAMP_MINFILTER", 497},
    {"TSAMP_MIPFILTER", 498}, {"TSAMP_MIPMAPLODBIAS", 499}, {"TSAMP_MAXMIPLEVEL", 500},
    {"TSAMP_MAXANISOTROPY", 501}, {"TSAMP_SRGBTEXTURE", 502}, {"TSAMP_ELEMENTINDEX", 503},
    {"TSAMP_DMAPOFFSET", 504}, {"TSAMP_ALPHAKILL", 505}, {"TSAMP_COLORKEYOP", 506}, {"TSAMP_COLORSIGN", 507},
    {"TSAMP_COLORKEYCOLOR", 508}, {"TADDR_WRAP", 509}, {"TADDR_MIRROR", 510}, {"TADDR_CLAMP", 511},
    {"TADDR_BORDER", 512}, {"TADDR_MIRRORONCE", 513}, {"TADDR_CLAMPTOEDGE", 514}, {"TEXF_NONE", 515},
    {"TEXF_POINT", 516}, {"TEXF_LINEAR", 517}, {"TEXF_ANISOTROPIC", 518}, {"TEXF_PYRAMIDALQUAD", 519},
    {"TEXF_QUASSIANQUAD", 520}, {"TEXF_QUINCUNX", 521}, {"TEXF_FLATCUBIC", 522}, {"TEXF_GAUSSIANCUBIC", 523},
    {"TEXF_MAX", 524}, {"TAK_DISABLE", 525}, {"TAK_ENABLE", 526}, {"TCKOP_DISABLE", 527}, {"TCKOP_ALPHA", 528},
    {"TCKOP_RGBA", 529}, {"TCKOP_KILL", 530},
};

std::string Describe(const std::vector<Token>& kTokens)
{
    std::string k;
    for (const Token& kToken : kTokens)
    {
        if (!k.empty())
            k += ' ';
        k += std::to_string(kToken.m_iToken);
        if (!kToken.m_kValue.empty())
            k += ":" + kToken.m_kValue;
    }
    return k;
}

std::string One(int iToken, const std::string& kValue = "")
{
    return std::to_string(iToken) + (kValue.empty() ? "" : ":" + kValue);
}
} // namespace

// The token classes decided by longest match and rule order.
TEST_F(NSFScannerTest, LongestMatchAndRuleOrderGiveTheDocumentedTokens)
{
    const struct
    {
        const char* m_pcText;
        std::string m_kTokens;
    } akCases[] = {
        {"12", One(N_INT, "12")},
        {"1a", One(N_STRING, "1a")},
        {"0x", One(N_STRING, "0x")},
        {"_a", One(N_STRING, "_a")},
        {"1X", One(N_STRING, "1X")},
        {"vs_1_1", One(N_STRING, "vs_1_1")},
        {"1e3", One(N_STRING, "1e3")},
        {"TRUE1", One(N_STRING, "TRUE1")},
        {"__", One(N_STRING, "__")},
        {"ZFUNC", One(N_STRING, "ZFUNC")},
        {"zfunc", One(N_STRING, "zfunc")},
        {"_", One(UNDERSCORE)},
        {"1.5f", One(PATH, "1.5f")},
        {"a.b", One(PATH, "a.b")},
        {"x.vsh", One(PATH, "x.vsh")},
        {"1/2", One(PATH, "1/2")},
        {"v1.x", One(PATH, "v1.x")},
        {"1.5e", One(PATH, "1.5e")},
        {"a/b.c/d", One(PATH, "a/b.c") + " " + One(FORWARDSLASH) + " " + One(N_STRING, "d")},
        {"v1.1", One(N_VERSION, std::to_string(0xFFFE0101u))},
        {"V2.0", One(N_VERSION, std::to_string(0xFFFE0200u))},
        {"v1.1.1", One(N_VERSION, std::to_string(0xFFFE0101u)) + " " + One(N_INT, "1")},
        {"-12", One(N_INT, "-12")},
        {"- 12", One(MINUS) + " " + One(N_INT, "12")},
        {".5", One(N_INT, "5")},
        {"-0x1", One(N_INT, "0") + " " + One(N_STRING, "x1")},
        {"0x1F", One(N_HEX, "31")},
        {"0xFFFFFFFF", One(N_HEX, std::to_string(0xFFFFFFFFu))},
        {"0x123456789", One(N_HEX, std::to_string(0x23456789u))},
        {"1.5e-3", One(N_FLOAT, std::to_string(1.5e-3f))},
        {"1.e3", One(N_FLOAT, std::to_string(1000.0f))},
        {"-2.5", One(N_FLOAT, std::to_string(-2.5f))},
        {"TRUE false", One(N_BOOL, "1") + " " + One(N_BOOL, "0")},
        {"dir\\file.vsh", One(N_STRING, "dir") + " " + One(PATH, "file.vsh")},
        {"a//b", One(N_STRING, "a")},
        {"a/*x*/b", One(N_STRING, "a") + " " + One(N_STRING, "b")},
        {"\"a\"b\"", One(N_QUOTE, "a") + " " + One(N_STRING, "b")},
        {"\"\"", One(N_QUOTE)},
        {"{}()[]<>|=,*/+-", "260 261 262 263 264 265 266 267 268 269 270 272 273 274 275"},
        {"a;b:c!", One(N_STRING, "a") + " " + One(N_STRING, "b") + " " + One(N_STRING, "c")},
    };
    for (const auto& kCase : akCases)
    {
        SCOPED_TRACE(kCase.m_pcText);
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(Describe(Scan(kCase.m_pcText)), kCase.m_kTokens);
        ::testing::internal::GetCapturedStdout();
    }
}

// Bytes that are no token are echoed and dropped.
TEST_F(NSFScannerTest, OtherCharactersAreEchoedToStandardOutput)
{
    ::testing::internal::CaptureStdout();
    const std::vector<Token> kTokens = Scan("a;\\ . \x80 \"open");
    const std::string kOut = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(kOut, ";\\.\x80\"");
    EXPECT_EQ(Describe(kTokens), One(N_STRING, "a") + " " + One(N_STRING, "open"));
}

// Integers hold at the 32-bit limits instead of wrapping.
TEST_F(NSFScannerTest, IntegersSaturateAtTheLimits)
{
    EXPECT_EQ(Describe(Scan("2147483647 2147483648 99999999999999999999 -2147483648 -99999999999999999999")),
              One(N_INT, std::to_string(INT_MAX)) + " " + One(N_INT, std::to_string(INT_MAX)) + " " +
                  One(N_INT, std::to_string(INT_MAX)) + " " + One(N_INT, std::to_string(INT_MIN)) + " " +
                  One(N_INT, std::to_string(INT_MIN)));
    EXPECT_EQ(ParseHexValue(nullptr), 0u);
    EXPECT_EQ(ParseHexValue(""), 0u);
    EXPECT_EQ(ParseHexValue("0x"), 0u);
    EXPECT_EQ(ParseHexValue("0xaB"), 0xABu);
}

// Each keyword in upper, lower and mixed case; the correct spellings of
// the misspelt keywords and the underscored forms stay words.
TEST_F(NSFScannerTest, EveryKeywordInAnyCaseAndTheNearMissesAsWords)
{
    EXPECT_EQ(std::size(s_akKeywords), 266u);
    std::string kText;
    std::string kExpected;
    for (const Form& kForm : s_akKeywords)
    {
        std::string kLower = kForm.m_pcText;
        std::string kMixed = kForm.m_pcText;
        for (std::size_t ui = 0; ui < kLower.size(); ++ui)
        {
            kLower[ui] = static_cast<char>(std::tolower(static_cast<unsigned char>(kLower[ui])));
            if (ui % 2 == 1)
                kMixed[ui] = kLower[ui];
        }
        kText += std::string(kForm.m_pcText) + " " + kLower + "\n" + kMixed + " ";
        for (int i = 0; i < 3; ++i)
            kExpected += (kExpected.empty() ? "" : " ") + std::to_string(kForm.m_iToken);
    }
    EXPECT_EQ(Describe(Scan(kText)), kExpected);
    const char* apcWords[] = {"TOP_BLENDFACTORALPHA", "TEXF_GAUSSIANQUAD", "GLOBALATTRIBUTES", "CMDEFINED",
                              "TT_WORLD_PARALLEL", "DTEXF_MAX", "EOLN", "VSCONSTANTMAP"};
    for (const char* pcWord : apcWords)
        EXPECT_EQ(Describe(Scan(pcWord)), One(N_STRING, pcWord));
}

// Lines count at line feeds, in comments and in quoted texts alike.
TEST_F(NSFScannerTest, LineNumbersFollowEveryLineFeed)
{
    const std::vector<Token> kTokens = Scan("a\r\n// x\n/* 1\n2\n*/ b \"q\nr\" c\n\nd // last");
    ASSERT_EQ(kTokens.size(), 5u);
    EXPECT_EQ(kTokens[0].m_iLine, 1);
    EXPECT_EQ(kTokens[1].m_iLine, 5);
    EXPECT_EQ(kTokens[2].m_iLine, 6);
    EXPECT_EQ(kTokens[3].m_iLine, 6);
    EXPECT_EQ(kTokens[4].m_iLine, 8);
    // The comment on the last line counts its line without a line feed.
    EXPECT_EQ(GetLineNumber(), 9);
}

// A 0xFF byte ends the input where it stands; the next text is read from
// its start.
TEST_F(NSFScannerTest, ByteFFEndsTheInput)
{
    EXPECT_EQ(Describe(Scan(std::string("a b\xFF c d"))), One(N_STRING, "a") + " " + One(N_STRING, "b"));
    EXPECT_EQ(Describe(Scan(std::string("/* x \xFF */"))), "");
    EXPECT_TRUE(NSFScannerState::Failed());
    NSFScannerState::ClearFailure();
    EXPECT_EQ(Describe(Scan("e")), One(N_STRING, "e"));
}

// The text is taken from the source a buffer at a time: taken a byte at a
// time, flex went over a token's text again for each byte it waited for,
// and a quote left open made the scan of a file quadratic in its length.
// The open quote is still given back as one byte and the words after it
// are read as before, across buffer boundaries and comments.
TEST_F(NSFScannerTest, TheSourceIsTakenABufferAtATime)
{
    std::string kText = "first";
    for (int i = 0; i < 6000; ++i)
        kText += " w" + std::to_string(i);
    NSFSourceFile kSource;
    ASSERT_EQ(kSource.Load(Write("long.nsf", kText).c_str()), 0);
    NSFSourceFile::SetCurrent(&kSource);
    ResetScanner();
    ASSERT_EQ(NextToken(), N_STRING);
    NSFGrammarActions::FreeString(nsflval.pcValue);
    EXPECT_GE(kSource.GetPosition(), 4096u);
    EXPECT_FALSE(NSFScannerState::InputEnded());
    NSFSourceFile::SetCurrent(nullptr);
    ReleaseScannerBuffer();

    const std::vector<Token> kTokens = Scan("\"" + kText + " /* a\nb */ end");
    ASSERT_EQ(kTokens.size(), 6002u);
    EXPECT_EQ(kTokens[0].m_kValue, "first");
    EXPECT_EQ(kTokens[5000].m_kValue, "w4999");
    EXPECT_EQ(kTokens.back().m_kValue, "end");
    EXPECT_FALSE(NSFScannerState::Failed());
}
