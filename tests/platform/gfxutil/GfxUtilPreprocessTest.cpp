// The preprocessor high-level sources and effect texts share: what it
// writes, where each line it writes came from, its caps, and the time it
// takes on hostile texts.
#include "platform/gfxutil/GfxUtilPreprocess.h"

#include "platform/gfxutil/GfxUtilConstantTable.h"
#include "platform/gfxutil/GfxUtilEffect.h"
#include "platform/gfxutil/GfxUtilShader.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslGuard.h"
#include "tests/platform/gfxutil/TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

using namespace gfx;
using gfx::test::TempFolder;
using gfx::test::WorkingFolder;

namespace {

using Clock = std::chrono::steady_clock;

struct Outcome {
    bool ok = false;
    PreprocessedText out;
    std::string problems; // "file(line): text" lines, warnings marked
    Clock::duration took{};
};

Outcome Preprocess(const std::string& text, const D3DXMACRO* defines = nullptr, const HlslCompileLimits& limits = {},
               const std::string& name = "") {
    Outcome r;
    const HlslCompileScope scope(limits);
    PreprocessOptions options;
    options.defines = defines;
    const PreprocessReport report = [&](int file, int line, const std::string& what, bool warning) {
        r.problems += r.out.files[static_cast<std::size_t>(file)] + "(" + std::to_string(line) + "): " +
                      (warning ? "warning: " : "") + what + "\n";
    };
    const auto started = Clock::now();
    r.ok = PreprocessText(text, name, options, scope, report, r.out);
    r.took = Clock::now() - started;
    return r;
}

// Each line of the output with its origin, as "file:line|text".
std::vector<std::string> Lines(const PreprocessedText& p) {
    std::vector<std::string> out;
    std::size_t at = 0;
    for (const PreprocessedText::Origin& o : p.origins) {
        const std::size_t end = p.text.find('\n', at);
        out.push_back(std::filesystem::path(p.files[static_cast<std::size_t>(o.file)]).filename().string() + ":" +
                      std::to_string(o.line) + "|" + p.text.substr(at, end - at));
        at = end + 1;
    }
    return out;
}

// The line written for source line `line`, as Lines gives it; empty when none is.
std::string LineOf(const PreprocessedText& p, int line) {
    const std::vector<std::string> all = Lines(p);
    const std::string prefix = ":" + std::to_string(line) + "|";
    for (const std::string& l : all)
        if (l.find(prefix) != std::string::npos) return l;
    return {};
}

} // namespace

// Every line written keeps the file and line it came from: across includes,
// skipped branches, comments over lines, continued lines and macro calls
// over lines. Columns hold where no macro was expanded.
TEST(GfxUtilPreprocessTest, EachLineKeepsItsFileAndLine) {
    TempFolder folder("gfxutil-pp");
    ASSERT_FALSE(folder.Path().empty());
    (void)folder.Write("inc.fxh", "#pragma once\nfloat4 Inc;\n");
    const std::string main = folder.Write("main.hlsl", "float4 A; /* a\n"
                                                       "comment */ float4 B;\n"
                                                       "#include \"inc.fxh\"\n"
                                                       "#include \"inc.fxh\"\n"
                                                       "#if 0\n"
                                                       "float4 Skipped;\n"
                                                       "#else\n"
                                                       "float4 C; // gone\n"
                                                       "#endif\n"
                                                       "#define PAIR(a, b) float4 a, b;\n"
                                                       "PAIR(D,\n"
                                                       "     E)\n"
                                                       "float4 \\\n"
                                                       "F;\n"
                                                       "#line 40 \"named.hlsl\"\n"
                                                       "float4 G;\n");
    std::ifstream file(main, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const Outcome r = Preprocess(text, nullptr, {}, main);
    ASSERT_TRUE(r.ok) << r.problems;
    EXPECT_EQ(r.problems, "");
    const std::vector<std::string> want = {"main.hlsl:1|float4 A;     ",
                                           "main.hlsl:2|           float4 B;",
                                           "inc.fxh:2|float4 Inc;",
                                           "inc.fxh:3|",
                                           "main.hlsl:8|float4 C; ",
                                           "main.hlsl:11|float4 D, E;",
                                           "main.hlsl:13|float4 F;",
                                           "main.hlsl:14|",
                                           "named.hlsl:40|float4 G;",
                                           "named.hlsl:41|"};
    EXPECT_EQ(Lines(r.out), want);
}

// Text as Windows and older Mac editors save it: a UTF-8 byte-order mark
// first (in the text and in a file it includes) and lines ended by CR LF or a
// lone CR. A lone CR ends its line: a "//" comment on the first line hides
// nothing after it, and lines, #line and messages keep their numbers.
TEST(GfxUtilPreprocessTest, ByteOrderMarksAndEveryLineEndAreRead) {
    TempFolder folder("gfxutil-pp");
    ASSERT_FALSE(folder.Path().empty());
    (void)folder.Write("inc.fxh", "\xEF\xBB\xBF// included\rfloat4 Inc;\r");
    const std::string main = folder.Write("main.hlsl", "");
    const std::string bom = "\xEF\xBB\xBF";
    for (const std::string end : {"\r", "\r\n", "\n"}) {
        SCOPED_TRACE(end == "\r" ? "CR" : end == "\n" ? "LF" : "CR LF");
        const std::string text = bom + "// a comment" + end + "float4 A; /* over" + end + "lines */ float4 B;" + end +
                                 "#include \"inc.fxh\"" + end + "#line 40" + end + "float4 C;" + end;
        const Outcome r = Preprocess(text, nullptr, {}, main);
        ASSERT_TRUE(r.ok) << r.problems;
        const std::vector<std::string> want = {"main.hlsl:1|",          "main.hlsl:2|float4 A;        ",
                                               "main.hlsl:3|         float4 B;", "inc.fxh:1|",
                                               "inc.fxh:2|float4 Inc;", "inc.fxh:3|",
                                               "main.hlsl:40|float4 C;", "main.hlsl:41|"};
        EXPECT_EQ(Lines(r.out), want);
        EXPECT_EQ(Preprocess(bom + "float4 A;" + end + end + "#error here" + end).problems, "memory(3): #error here\n");
    }
    // A mark anywhere but first is no mark, and an empty text with one is empty.
    EXPECT_FALSE(Preprocess("float4 A;\n#if \xEF\xBB\xBF 1\n#endif\n").ok);
    const Outcome onlyMark = Preprocess(bom);
    ASSERT_TRUE(onlyMark.ok) << onlyMark.problems;
    EXPECT_EQ(onlyMark.out.text, "\n");
}

// The caller's macros come before the text's own, function-like ones too;
// the packing pragma stays a line of its own where it stood.
TEST(GfxUtilPreprocessTest, CallerMacrosAndPackingPragmas) {
    const D3DXMACRO defines[] = {{"N", "12"}, {"SQ(x)", "((x) * (x))"}, {"EMPTY", nullptr}, {nullptr, nullptr}};
    const Outcome r = Preprocess("EMPTY float4 L[N];\n#pragma pack_matrix( row_major )\nfloat a = SQ(N);\n"
                             "#pragma warning(disable: 3205)\n#pragma pack_matrix(sideways)\n",
                             defines);
    ASSERT_TRUE(r.ok) << r.problems;
    const std::vector<std::string> want = {"memory:1| float4 L[12];", "memory:2|#pragma pack_matrix(row_major)",
                                           "memory:3|float a = ((12) * (12));", "memory:6|"};
    EXPECT_EQ(Lines(r.out), want);
    EXPECT_EQ(r.problems, "memory(5): warning: #pragma pack_matrix takes row_major or column_major; ignored\n");
    const D3DXMACRO bad[] = {{"(x)", "1"}, {nullptr, nullptr}};
    EXPECT_FALSE(Preprocess("float a;\n", bad).ok);
    EXPECT_EQ(Preprocess("#line x\n").problems, "memory(1): bad #line\n");
}

// An operand of '##' is expanded before it is pasted, as the D3D9 compiler
// pastes: on the left, on the right or both, an object-like macro or a
// function-like one called, through a macro that calls the paster and
// through a chain of pastes; the result is read again for macros. '#'
// still quotes its argument as written, and a function-like macro's name
// without its call stays a name.
TEST(GfxUtilPreprocessTest, PastingExpandsItsOperandsFirst) {
    const std::string defines = "#define TINT warm\n"
                                "#define SHADE _colour\n"
                                "#define PICK(a, b) a##b\n"
                                "#define CHOSEN PICK(TINT, _colour)\n"
                                "#define TINTF() cool\n"
                                "#define INNER(a) PICK(a, TINT)\n"
                                "#define STR(a) #a\n"
                                "#define GLUE(a, b) a ## b ## _end\n"
                                "#define TWICE(a) PICK(a, a)\n";
    const std::pair<const char*, const char*> cases[] = {
        {"CHOSEN", "warm_colour"},
        {"PICK(TINT, _colour)", "warm_colour"},
        {"PICK(my, SHADE)", "my_colour"},
        {"PICK(TINT, SHADE)", "warm_colour"},
        {"PICK(TINTF(), _colour)", "cool_colour"},
        {"PICK(TINTF, _x)", "TINTF_x"},
        {"INNER(TINT)", "warmwarm"},
        {"TWICE(TINT)", "warmwarm"},
        {"GLUE(TINT, SHADE)", "warm_colour_end"},
        {"PICK(plain, 2)", "plain2"},
        {"STR(TINT)", "\"TINT\""},
        {"PICK(STR(TINT), )", "\"TINT\""},
    };
    for (const auto& [use, want] : cases) {
        SCOPED_TRACE(use);
        const Outcome r = Preprocess(defines + use + "\n");
        ASSERT_TRUE(r.ok) << r.problems;
        EXPECT_EQ(r.problems, "");
        EXPECT_EQ(LineOf(r.out, 10), std::string("memory:10|") + want);
    }
    // What the paste makes is a macro's name: it is expanded in turn.
    const Outcome again = Preprocess(defines + "#define warm_colour rescanned\nPICK(TINT, _colour)\n");
    ASSERT_TRUE(again.ok) << again.problems;
    EXPECT_EQ(LineOf(again.out, 11), "memory:11|rescanned");

    // The program that names the pasted variable compiles, both ways round.
    for (const char* use : {"CHOSEN", "PICK(TINT, _colour)"}) {
        SCOPED_TRACE(use);
        const std::string text = defines + "float4 warm_colour;\nfloat4 main() : COLOR { return " + use + "; }\n";
        ID3DXBuffer* code = nullptr;
        ID3DXBuffer* errors = nullptr;
        ID3DXConstantTable* table = nullptr;
        EXPECT_EQ(D3DXCompileShader(text.data(), std::uint32_t(text.size()), "main", "ps_2_0", 0, &code, &errors,
                                    &table),
                  D3D_OK)
            << (errors ? static_cast<const char*>(errors->GetBufferPointer()) : "");
        if (table) {
            EXPECT_NE(table->GetConstantByName(nullptr, "warm_colour"), nullptr);
            table->Release();
        }
        if (code) code->Release();
        if (errors) errors->Release();
    }
}

// The integer constant expressions of #if and of array sizes.
TEST(GfxUtilPreprocessTest, IntegerExpressions) {
    const auto named = [](std::string_view name, long long& v) {
        if (name != "Three") return false;
        v = 3;
        return true;
    };
    struct Case {
        const char* text;
        long long value;
    };
    for (const Case& c : {Case{"4 * 3", 12}, Case{"(1 << 4) | 0x3", 19}, Case{"Three * Three - 1", 8},
                          Case{"1 ? 2 : 3", 2}, Case{"-7 / 2", -3}, Case{"10u % 4", 2}, Case{"!0 + ~0", 0},
                          Case{"3 >= Three && 2 < 1 << 2", 1}}) {
        SCOPED_TRACE(c.text);
        long long v = 0;
        std::string error;
        ASSERT_TRUE(EvaluateIntegerExpression(c.text, named, v, error)) << error;
        EXPECT_EQ(v, c.value);
    }
    for (const auto& [text, why] : {std::pair{"Four", "'Four' is no constant"}, std::pair{"1 / 0", "division by zero"},
                                    std::pair{"(1", "')' expected"}, std::pair{"1 2", "bad expression"},
                                    std::pair{"2.5", "bad expression"}}) {
        long long v = 0;
        std::string error;
        EXPECT_FALSE(EvaluateIntegerExpression(text, named, v, error)) << text;
        EXPECT_EQ(error, why) << text;
    }
    // Nesting of every kind is bounded, without running the stack out.
    for (const std::string& deep : {std::string(100000, '(') + "1", std::string(100000, '-') + "1",
                                    [] {
                                        std::string s;
                                        for (int i = 0; i < 100000; ++i) s += "1 ? ";
                                        return s + "1";
                                    }()}) {
        long long v = 0;
        std::string error;
        EXPECT_FALSE(EvaluateIntegerExpression(deep, named, v, error));
        EXPECT_EQ(error, "expression nested too deeply");
    }
}

// Hostile texts end in time in proportion to their size, with a reason
// when they are refused: each takes about eight times as long at 128 KB as
// at 16 KB, and all of them in one 2 MB source far less than a compile's
// time. The same source within a deadline too short for it ends there.
TEST(GfxUtilPreprocessTest, HostileTextsEndInTimeInProportionToTheirSize) {
    std::string emptyDoubling = "#define A0\n";
    for (int i = 1; i <= 48; ++i)
        emptyDoubling +=
            "#define A" + std::to_string(i) + " A" + std::to_string(i - 1) + " A" + std::to_string(i - 1) + "\n";
    struct Case {
        const char* what;
        std::string head, unit, tail;
        const char* reason; // "" when the text is fine
    };
    // The last two end the text where they stand.
    const Case cases[] = {
        {"empty lines", "", "\n", "", ""},
        {"one long line", "", "x", "\n", ""},
        {"macros that double into nothing", emptyDoubling, "A48\n", "", "macro expansion takes too many steps"},
        {"calls nested deep", "#define F(x) x\n", "F(", ")", "macro expansion"},
        {"names waiting for their arguments", "#define F(x) x\n", "F\n", "", ""},
        {"macros defined and used", "", "#define M M M\nM\n", "", ""},
        {"block comments", "", "/* */", "\n", ""},
        {"a call left open", "#define G(x) x\nG(", "a, ", "", "macro call without its ')'"},
        {"conditionals nested deep", "", "#if 1\n", "", "conditionals nested too deeply"},
    };
    // The case at `size` bytes.
    const auto text = [](const Case& c, std::size_t size) {
        std::string t = c.head;
        while (t.size() < size) t += c.unit;
        while (!c.tail.empty() && t.size() < size * 3 / 2) t += c.tail;
        return t + "\n";
    };
    HlslCompileLimits limits;
    limits.time = std::chrono::seconds(60);
    std::string all;
    Clock::duration largeTook{};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Clock::duration took[2];
        for (const std::size_t size : {std::size_t(16) << 10, std::size_t(128) << 10}) {
            const Outcome r = Preprocess(text(c, size), nullptr, limits);
            took[size > (16u << 10)] = r.took;
            if (*c.reason) EXPECT_NE(r.problems.find(c.reason), std::string::npos) << r.problems.substr(0, 300);
            else EXPECT_TRUE(r.ok) << r.problems.substr(0, 300);
        }
        EXPECT_LT(took[1], 20 * took[0] + std::chrono::milliseconds(100));
        largeTook += took[1];
        all += text(c, (2u << 20) / std::size(cases));
    }
    // All the cases at 2 MB together: about the time of their 128 KB texts
    // (the same bytes in all), far from the deadline.
    const Outcome r = Preprocess(all, nullptr, limits);
    EXPECT_FALSE(r.ok);
    EXPECT_LT(r.took, 20 * largeTook + std::chrono::milliseconds(100));
    EXPECT_EQ(r.problems.find("took too long"), std::string::npos) << r.problems.substr(0, 300);
    // Within a deadline too short, the deadline ends it.
    limits.time = std::chrono::milliseconds(20);
    const Outcome late = Preprocess(all, nullptr, limits);
    EXPECT_FALSE(late.ok);
    EXPECT_NE(late.problems.find("the source took too long to preprocess"), std::string::npos) << late.problems;
    // Soon after the deadline: well before the text's whole time.
    EXPECT_LT(late.took, limits.time + r.took / 2 + std::chrono::milliseconds(50));
}

// What the text may grow to: the bytes written are within the cap as the
// bytes read are, a line's expansion within its own.
TEST(GfxUtilPreprocessTest, TheOutputIsCapped) {
    HlslCompileLimits limits;
    limits.expandedBytes = 4096;
    const Outcome r = Preprocess("#define W float4 a; float4 b; float4 c; float4 d;\n" + std::string(200, 'W') + "\n" +
                                 [] {
                                     std::string s;
                                     for (int i = 0; i < 300; ++i) s += "W\n";
                                     return s;
                                 }(),
                             nullptr, limits);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.problems.find("the source with its macros expanded passes 4096 bytes"), std::string::npos)
        << r.problems;
    EXPECT_LE(r.out.text.size(), 4096u);
}

// A text that ends in NUL bytes (a header written out from a C string, a
// file included into an effect's assembly block) ends at the first of them,
// on every road a text takes: a program compiled from memory or from a file,
// a file it includes, an effect file, and a file an effect's assembly block
// includes; so does assembly on its own. A NUL with text after it is no end.
TEST(GfxUtilPreprocessTest, TrailingNulBytesEndTheText) {
    TempFolder folder("gfxutil-nul");
    ASSERT_FALSE(folder.Path().empty());
    const std::string program = "float4 main() : COLOR { return 0.5; }\n";
    const auto release = [](ID3DXBuffer* b) {
        if (b) b->Release();
    };
    using namespace std::string_literals;
    for (const std::string& ending : {"\0"s, "\0\0\0"s, "\n\0\n\0"s}) {
        SCOPED_TRACE(ending.size());
        ID3DXBuffer* code = nullptr;
        ID3DXBuffer* errors = nullptr;
        const std::string text = program + ending;
        EXPECT_EQ(D3DXCompileShader(text.data(), std::uint32_t(text.size()), "main", "ps_2_0", 0, &code, &errors,
                                    nullptr),
                  D3D_OK)
            << (errors ? static_cast<const char*>(errors->GetBufferPointer()) : "");
        release(code);
        release(errors);
        code = errors = nullptr;
        const std::string file = folder.Write("whole.hlsl", text);
        EXPECT_EQ(D3DXCompileShaderFromFile(file.c_str(), "main", "ps_2_0", 0, &code, &errors, nullptr), D3D_OK)
            << (errors ? static_cast<const char*>(errors->GetBufferPointer()) : "");
        release(code);
        release(errors);
        code = errors = nullptr;
        (void)folder.Write("head.h", "float4 Tint;\n" + ending);
        const std::string main =
            folder.Write("main.hlsl", "#include \"head.h\"\nfloat4 main() : COLOR { return Tint; }\n");
        EXPECT_EQ(D3DXCompileShaderFromFile(main.c_str(), "main", "ps_2_0", 0, &code, &errors, nullptr), D3D_OK)
            << (errors ? static_cast<const char*>(errors->GetBufferPointer()) : "");
        release(code);
        release(errors);
        code = errors = nullptr;
        const std::string assembly = "vs_1_1\ndcl_position v0\nmov oPos, v0\n" + ending;
        EXPECT_EQ(D3DXAssembleShader(assembly.data(), std::uint32_t(assembly.size()), 0, &code, &errors), D3D_OK)
            << (errors ? static_cast<const char*>(errors->GetBufferPointer()) : "");
        release(code);
        release(errors);
        code = errors = nullptr;
        const std::string assemblyFile = folder.Write("whole.vsh", assembly);
        EXPECT_EQ(D3DXAssembleShaderFromFile(assemblyFile.c_str(), 0, &code, &errors), D3D_OK)
            << (errors ? static_cast<const char*>(errors->GetBufferPointer()) : "");
        release(code);
        release(errors);
        code = errors = nullptr;
        (void)folder.Write("body.vsh", "dcl_position v0\nmov oPos, v0\n" + ending);
        const std::string effects[] = {
            folder.Write("whole.fx", "float4 Tint;\ntechnique T { pass P { FillMode = Solid; } }\n" + ending),
            folder.Write("asm.fx", "technique T\n{\n    pass P\n    {\n        VertexShader = asm {\n"
                                   "            vs_1_1\n#include \"body.vsh\"\n        };\n    }\n}\n")};
        for (const std::string& effect : effects) {
            SCOPED_TRACE(effect);
            ID3DXEffectCompiler* compiler = nullptr;
            EXPECT_EQ(D3DXCreateEffectCompilerFromFileA(effect.c_str(), nullptr, nullptr, 0, &compiler, &errors), D3D_OK)
                << (errors ? static_cast<const char*>(errors->GetBufferPointer()) : "");
            if (compiler) compiler->Release();
            release(errors);
            errors = nullptr;
        }
    }
    // Text after a NUL: the NUL stays where it stands, and is refused there.
    ID3DXBuffer* errors = nullptr;
    const std::string inside = "float4 main() : COLOR {\0 return 0.5; }\n"s;
    EXPECT_NE(D3DXCompileShader(inside.data(), std::uint32_t(inside.size()), "main", "ps_2_0", 0, nullptr, &errors,
                                nullptr),
              D3D_OK);
    release(errors);
    errors = nullptr;
    const std::string assembly = "vs_1_1\ndcl_position v0\n\0mov oPos, v0\n"s;
    EXPECT_NE(D3DXAssembleShader(assembly.data(), std::uint32_t(assembly.size()), 0, nullptr, &errors), D3D_OK);
    release(errors);
}

// An include is looked for beside the file that includes it, then beside
// the first file, then in the include folders, then from the working
// folder: a header's own includes may be written from the top file's
// folder, and same-named headers in several of these places pin the order.
// Quoted and angle-bracket names alike, from a working folder of its own.
TEST(GfxUtilPreprocessTest, IncludesAreFoundBesideTheIncluderThenTheFirstFile) {
    TempFolder t("gfxutil-include-order");
    ASSERT_FALSE(t.Path().empty());
    for (const char* folder : {"proj", "proj/inc", "proj/inc/sub", "folders", "work"})
        std::filesystem::create_directories(t.At(folder));
    t.Write("proj/main.fx", "#include \"inc/outer.h\"\n#include <inc/sub/deep.h>\nfloat Main;\n");
    t.Write("proj/inc/outer.h", "#include \"inc/inner.h\"\n#include <pick.h>\nfloat Outer;\n");
    t.Write("proj/inc/inner.h", "float Inner;\n");
    t.Write("proj/inc/pick.h", "float PickBesideIncluder;\n");
    t.Write("proj/pick.h", "float PickBesideTop;\n");
    t.Write("proj/inc/sub/deep.h", "#include \"common.h\"\n#include \"only.h\"\n#include <cwdonly.h>\n");
    t.Write("proj/common.h", "float CommonBesideTop;\n");
    t.Write("folders/common.h", "float CommonInFolders;\n");
    t.Write("folders/only.h", "float OnlyInFolders;\n");
    t.Write("work/common.h", "float CommonInWorkingFolder;\n");
    t.Write("work/cwdonly.h", "float OnlyInWorkingFolder;\n");
    const std::vector<std::string> before = GetIncludeFolders();
    SetIncludeFolders({t.At("folders")});
    {
        WorkingFolder moved(t.At("work"));
        ASSERT_TRUE(moved.Moved());
        // The first file named by a full path, and by one from the working folder.
        for (const std::string& top : {t.At("proj/main.fx"), std::string("../proj/main.fx")}) {
            SCOPED_TRACE(top);
            std::ifstream in(top, std::ios::binary);
            const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            const Outcome r = Preprocess(text, nullptr, {}, top);
            EXPECT_TRUE(r.ok) << r.problems;
            EXPECT_EQ(r.problems, "");
            std::string declared; // the lines written, less the blank ones
            for (std::size_t at = 0, end; at < r.out.text.size(); at = end + 1) {
                end = r.out.text.find('\n', at);
                if (end == std::string::npos) end = r.out.text.size();
                if (end > at) declared += r.out.text.substr(at, end - at) + "\n";
            }
            EXPECT_EQ(declared, "float Inner;\nfloat PickBesideIncluder;\nfloat Outer;\nfloat CommonBesideTop;\n"
                                "float OnlyInFolders;\nfloat OnlyInWorkingFolder;\nfloat Main;\n");
        }
        // A header no folder holds is still refused, by its name.
        const Outcome missing = Preprocess("#include \"inc/nowhere.h\"\n", nullptr, {}, t.At("proj/main.fx"));
        EXPECT_FALSE(missing.ok);
        EXPECT_NE(missing.problems.find("cannot open include file 'inc/nowhere.h'"), std::string::npos)
            << missing.problems;
    }
    SetIncludeFolders(before);
}
