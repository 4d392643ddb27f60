// The DX9 intrinsics table, each function at every argument shape it takes
// (scalar, vector, matrix of each size; float, int and bool where the table
// lists them), compiled at ps_2_0, ps_3_0 and vs_3_0 and made and drawn on
// the gl device: a compile that succeeds gives code the device takes, and a
// compile that does not says why at a line of the source. Calls go several
// to a program; a program the compile refuses is tried again a call at a
// time (by halves), so that each call is held to that rule on its own.

#include "platform/gfxutil/hlsl/GfxUtilHlsl.h"

#include "tests/platform/gfx/GfxProgramFixture.h"
#include "tests/platform/gfxutil/HlslTestSupport.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

using namespace gfx;
using gfx::test::Compile;
using gfx::test::Compiled;

namespace {

struct Shape {
    std::string element; // float, int or bool
    int rows = 1, columns = 1;
    bool matrix = false;
    bool scalar = false;

    std::string Name() const {
        if (scalar) return element;
        if (!matrix) return element + std::to_string(columns);
        return element + std::to_string(rows) + "x" + std::to_string(columns);
    }
    Shape As(const std::string& e) const {
        Shape s = *this;
        s.element = e;
        return s;
    }
    // Component (r, c) of a value `v` of this shape.
    std::string At(const std::string& v, int r, int c) const {
        if (scalar) return v;
        if (matrix) return v + "._m" + std::to_string(r) + std::to_string(c);
        return v + "." + "xyzw"[c];
    }
    // Every component of `v` summed, as a float.
    std::string Sum(const std::string& v) const {
        std::string out;
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < columns; ++c) out += (out.empty() ? "" : " + ") + ("(float)" + At(v, r, c));
        return "(" + out + ")";
    }
};

Shape Scalar(const std::string& e = "float") { return {e, 1, 1, false, true}; }
Shape Vector(int n, const std::string& e = "float") { return {e, 1, n, false, false}; }
Shape Matrix(int r, int c, const std::string& e = "float") { return {e, r, c, true, false}; }

// The shapes of the table with more than one row and column or none: the
// one-row and one-column ones are tried with the conversions.
std::vector<Shape> Shapes(const std::string& e) {
    std::vector<Shape> out = {Scalar(e)};
    for (int n = 2; n <= 4; ++n) out.push_back(Vector(n, e));
    for (int r = 2; r <= 4; ++r)
        for (int c = 2; c <= 4; ++c) out.push_back(Matrix(r, c, e));
    return out;
}

// One call in a program: statements that end by adding what it gives to
// `sum`.
struct Call {
    std::string what;
    std::string body;
    // A call the compile may well refuse, tried alone: together with others
    // it would have them tried again by halves.
    bool alone = false;
};

// A value of `s` made of the components of the uniforms u and w (so that
// nothing folds away), the k-th of three.
std::string Value(const Shape& s, int k) {
    static const char* kParts[] = {"u.x", "u.y", "u.z", "u.w", "w.x", "w.y", "w.z", "w.w"};
    std::string list;
    for (int i = 0; i < s.rows * s.columns; ++i)
        list += std::string(i ? ", " : "") + kParts[(i + 3 * k) % 8] + (k == 2 ? " + 0.5" : "");
    const std::string made = s.scalar ? list : s.Name() + "(" + list + ")";
    return s.element == "float" ? made : "(" + s.Name() + ")(" + made + ")";
}

// `call` on values a, b, c of `s` (and d, a float), its result of `result`.
Call Of(const std::string& name, const Shape& s, const std::string& call, const Shape& result) {
    Call out;
    out.what = name + " of " + s.Name();
    out.body = "        " + s.Name() + " a = " + Value(s, 0) + ", b = " + Value(s, 1) + ", c = " + Value(s, 2) +
               ";\n        float d = u.x;\n        " + result.Name() + " r = " + call + ";\n        sum += " +
               result.Sum("r") + ";\n";
    return out;
}

// The intrinsics that take every shape and give their argument's.
struct ComponentWise {
    const char* name;
    const char* call;
};
constexpr ComponentWise kComponentWise[] = {
    {"abs", "abs(a)"},           {"acos", "acos(a * 0.5)"},  {"asin", "asin(a * 0.5)"},
    {"atan", "atan(a)"},         {"atan2", "atan2(a, b)"},   {"ceil", "ceil(a)"},
    {"clamp", "clamp(a, b, c)"}, {"cos", "cos(a)"},          {"cosh", "cosh(a)"},
    {"ddx", "ddx(a)"},           {"ddy", "ddy(a)"},          {"degrees", "degrees(a)"},
    {"exp", "exp(a)"},           {"exp2", "exp2(a)"},        {"floor", "floor(a)"},
    {"fmod", "fmod(a, b + 2)"},  {"frac", "frac(a)"},        {"fwidth", "fwidth(a)"},
    {"ldexp", "ldexp(a, b)"},    {"lerp", "lerp(a, b, c)"},  {"lerp by a float", "lerp(a, b, d)"},
    {"log", "log(a + 2)"},       {"log10", "log10(a + 2)"},  {"log2", "log2(a + 2)"},
    {"max", "max(a, b)"},        {"min", "min(a, b)"},       {"pow", "pow(a + 2, b)"},
    {"radians", "radians(a)"},   {"round", "round(a)"},      {"rsqrt", "rsqrt(a + 2)"},
    {"saturate", "saturate(a)"}, {"sign", "sign(a)"},        {"sin", "sin(a)"},
    {"sinh", "sinh(a)"},         {"smoothstep", "smoothstep(a, b + 2, c)"},
    {"sqrt", "sqrt(a + 2)"},     {"step", "step(a, b)"},     {"tan", "tan(a)"},
    {"tanh", "tanh(a)"},         {"trunc", "trunc(a)"},      {"max with a float", "max(a, d)"},
    {"clamp by floats", "clamp(a, d, 2.0)"},
};

// Every float call the table gives values of shape `s`.
std::vector<Call> FloatCalls(const Shape& s) {
    std::vector<Call> out;
    const Shape f = Scalar(), boolean = s.As("bool");
    for (const ComponentWise& c : kComponentWise) out.push_back(Of(c.name, s, c.call, s));
    out.push_back(Of("all", s, "all(a)", f.As("bool")));
    out.push_back(Of("any", s, "any(a)", f.As("bool")));
    for (const char* name : {"isfinite", "isinf", "isnan"}) {
        out.push_back(Of(name, s, std::string(name) + "(a)", boolean));
        out.back().alone = s.matrix; // a matrix of booleans
        out.push_back(Of(std::string(name) + " reduced", s, "any(" + std::string(name) + "(a))", f.As("bool")));
        out.back().alone = s.matrix;
    }
    out.push_back(Of("mul by a float", s, "mul(d, a)", s));
    Call clip = Of("clip", s, "a", s);
    clip.body += "        clip(a);\n";
    out.push_back(clip);
    // Those with results through their out parameters.
    for (const char* name : {"frexp", "modf"}) {
        Call c = Of(name, s, std::string(name) + "(a, b)", s);
        c.body += "        sum += " + s.Sum("b") + ";\n";
        c.alone = s.matrix;
        out.push_back(c);
    }
    Call sincos = Of("sincos", s, "a", s);
    sincos.body += "        sincos(a, b, c);\n        sum += " + s.Sum("b") + " + " + s.Sum("c") + ";\n";
    out.push_back(sincos);
    if (!s.matrix) {
        out.push_back(Of("distance", s, "distance(a, b)", f));
        out.push_back(Of("dot", s, "dot(a, b)", f));
        out.push_back(Of("length", s, "length(a)", f));
        out.push_back(Of("faceforward", s, "faceforward(a, b, c)", s));
        out.push_back(Of("normalize", s, "normalize(a + 2)", s));
        out.push_back(Of("reflect", s, "reflect(a, b)", s));
        out.push_back(Of("refract", s, "refract(a, b, d)", s));
        // Of a scalar the front end cannot choose among the vector forms.
        for (std::size_t i = out.size() - 7; i < out.size(); ++i) out[i].alone = s.scalar;
    }
    if (s.matrix) {
        out.push_back(Of("determinant", s, "determinant(a)", f));
        out.push_back(Of("transpose", s, "transpose(a)", Matrix(s.columns, s.rows)));
    }
    if (s.scalar) out.push_back(Of("lit", s, "lit(a, b, c)", Vector(4)));
    if (!s.matrix && s.columns == 3) out.push_back(Of("cross", s, "cross(a, b)", s));
    if (!s.matrix && s.columns == 4) {
        out.push_back(Of("D3DCOLORtoUBYTE4", s, "D3DCOLORtoUBYTE4(a)", s.As("int")));
        out.push_back(Of("dst", s, "dst(a, b)", s));
    }
    return out;
}

// The calls the table gives int and bool values of shape `s`.
std::vector<Call> OtherCalls(const Shape& s) {
    std::vector<Call> out;
    const Shape i = s.As("int"), b = s.As("bool");
    for (const char* call : {"abs(a)", "max(a, b)", "min(a, b)", "clamp(a, b, c)", "sign(a)", "mul(2, a)"})
        out.push_back(Of(std::string(call).substr(0, std::string(call).find('(')), i, call, i));
    for (const Shape& t : {i, b}) {
        out.push_back(Of("all", t, "all(a)", Scalar("bool")));
        out.push_back(Of("any", t, "any(a)", Scalar("bool")));
    }
    for (Call& c : out) c.alone = s.matrix; // GLSL has no matrices of integers
    if (!s.matrix && !s.scalar) out.push_back(Of("dot", i, "dot(a, b)", Scalar("int")));
    return out;
}

// mul at every pairing of shapes it takes: scalars, vectors and matrices of
// sizes 2 to 4 (the products whose inner sizes differ take the smaller).
std::vector<Call> MulCalls() {
    std::vector<Call> out;
    const auto product = [&](const Shape& x, const Shape& y, const Shape& result) {
        Call c;
        c.what = "mul of " + x.Name() + " and " + y.Name();
        c.body = "        " + x.Name() + " a = " + Value(x, 0) + ";\n        " + y.Name() + " b = " + Value(y, 1) +
                 ";\n        " + result.Name() + " r = mul(a, b);\n        sum += " + result.Sum("r") + ";\n";
        out.push_back(c);
    };
    product(Scalar(), Scalar(), Scalar());
    for (int n = 2; n <= 4; ++n) {
        product(Scalar(), Vector(n), Vector(n));
        product(Vector(n), Scalar(), Vector(n));
        product(Vector(n), Vector(n), Scalar());
    }
    for (int r = 2; r <= 4; ++r)
        for (int c = 2; c <= 4; ++c) {
            product(Scalar(), Matrix(r, c), Matrix(r, c));
            product(Matrix(r, c), Scalar(), Matrix(r, c));
            product(Vector(r), Matrix(r, c), Vector(c));
            product(Matrix(r, c), Vector(c), Vector(r));
            for (int k = 2; k <= 4; ++k) product(Matrix(r, c), Matrix(c, k), Matrix(r, k));
        }
    return out;
}

// Component-wise calls on arguments of different sizes, which the D3D9
// compiler takes at the smallest of each dimension (with a warning), and on
// a float against a vector or matrix.
std::vector<Call> MixedCalls() {
    std::vector<Call> out;
    const auto mixed = [&](const char* name, const Shape& x, const Shape& y, const Shape& z, const Shape& result) {
        Call c;
        c.what = std::string(name) + " of " + x.Name() + ", " + y.Name() + " and " + z.Name();
        c.body = "        " + x.Name() + " a = " + Value(x, 0) + ";\n        " + y.Name() + " b = " + Value(y, 1) +
                 ";\n        " + z.Name() + " c = " + Value(z, 2) + ";\n        " + result.Name() + " r = " + name +
                 "(a, b, c);\n        sum += " + result.Sum("r") + ";\n";
        out.push_back(c);
    };
    const auto pair = [&](const char* name, const Shape& x, const Shape& y, const Shape& result) {
        Call c;
        c.what = std::string(name) + " of " + x.Name() + " and " + y.Name();
        c.body = "        " + x.Name() + " a = " + Value(x, 0) + ";\n        " + y.Name() + " b = " + Value(y, 1) +
                 " + 2;\n        " + result.Name() + " r = " + name + "(a, b);\n        sum += " + result.Sum("r") +
                 ";\n";
        out.push_back(c);
    };
    for (const char* name : {"clamp", "lerp", "smoothstep"}) {
        mixed(name, Vector(4), Vector(3), Vector(2), Vector(2));
        mixed(name, Matrix(3, 2), Matrix(2, 3), Matrix(3, 4), Matrix(2, 2));
        mixed(name, Matrix(4, 4), Matrix(3, 3), Matrix(4, 3), Matrix(3, 3));
        mixed(name, Scalar(), Vector(3), Scalar(), Vector(3));
        mixed(name, Matrix(2, 3), Scalar(), Scalar(), Matrix(2, 3));
    }
    for (const char* name : {"max", "min", "pow", "step", "atan2", "fmod", "ldexp"}) {
        pair(name, Vector(4), Vector(2), Vector(2));
        pair(name, Matrix(2, 3), Matrix(3, 2), Matrix(2, 2));
        pair(name, Matrix(4, 3), Matrix(3, 4), Matrix(3, 3));
        pair(name, Scalar(), Matrix(3, 2), Matrix(3, 2));
        pair(name, Vector(3), Scalar(), Vector(3));
    }
    return out;
}

// The texture lookups of each sampler type, with their gradients, bias,
// level and projection.
std::vector<Call> TextureCalls() {
    std::vector<Call> out;
    struct Kind {
        const char* suffix;
        const char* sampler;
        int size;
    };
    for (const Kind k : {Kind{"1D", "s1", 1}, Kind{"2D", "s2", 2}, Kind{"3D", "s3", 3}, Kind{"CUBE", "sc", 3}}) {
        const std::string t = k.size == 1 ? "u.x" : "u." + std::string("xyz").substr(0, std::size_t(k.size));
        const std::string g = k.size == 1 ? "w.x" : "w." + std::string("xyz").substr(0, std::size_t(k.size));
        const std::string name = std::string("tex") + k.suffix, s = k.sampler;
        const std::vector<std::pair<std::string, std::string>> calls = {
            {name + "lod", name + "lod(" + s + ", u)"},
            {name, name + "(" + s + ", " + t + ")"},
            {name + " with gradients", name + "(" + s + ", " + t + ", " + g + ", " + g + ")"},
            {name + "bias", name + "bias(" + s + ", u)"},
            {name + "grad", name + "grad(" + s + ", " + t + ", " + g + ", " + g + ")"},
            {name + "proj", name + "proj(" + s + ", u + 2)"}};
        for (const auto& [what, call] : calls) out.push_back({what, "        sum += dot(" + call + ", 1);\n"});
    }
    return out;
}

constexpr const char* kProfiles[] = {"ps_2_0", "ps_3_0", "vs_3_0"};

std::string Program(const std::vector<Call>& calls, bool vertex) {
    std::string text = "uniform float4 u;\nuniform float4 w;\nsampler1D s1;\nsampler2D s2;\nsampler3D s3;\nsamplerCUBE sc;\n";
    text += vertex ? "float4 main(float4 p : POSITION) : POSITION\n{\n" : "float4 main() : COLOR\n{\n";
    text += "    float sum = 0;\n";
    for (const Call& c : calls) text += "    {\n" + c.body + "    }\n";
    text += vertex ? "    return p + float4(sum, 0, 0, 0) * 0.0001;\n}\n" : "    return float4(sum, 0, 0, 1);\n}\n";
    return text;
}

class GfxUtilHlslIntrinsicsTest : public gfx::test::HlslDrawTest {
protected:
    void SetUp() override {
        HlslDrawTest::SetUp();
        if (Stopped()) return;
        // The partners the programs under test are drawn with: 3.0 programs
        // pair with 3.0 programs only.
        m_vertex2 = Vertex(gfxtest::kPassVertex);
        Compiled vs, ps;
        Compile(vs, "float4 main(float4 p : POSITION) : POSITION { return p; }", "vs_3_0");
        Compile(ps, "float4 main() : COLOR { return 1; }", "ps_3_0");
        ASSERT_EQ(vs.result, D3D_OK) << vs.errors;
        ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
        m_vertex3 = MakeVertex(vs);
        m_pixel3 = MakePixel(ps);
        ASSERT_TRUE(m_vertex2 && m_vertex3 && m_pixel3);
        ASSERT_EQ(device->SetFVF(gfxtest::kProgramVertexFvf), D3D_OK);
    }

    // The calls as one program at `profile` (those likely refused each
    // alone), then by halves where the compile or the device refuses them
    // together. A failure names the call and shows its source, its errors or
    // its GLSL.
    void Check(const std::vector<Call>& calls, const char* profile) {
        const bool vertex = profile[0] == 'v';
        if (calls.size() > 1) {
            // What only pixel programs have, in a vertex program.
            static const std::regex pixelOnly(R"(\b(ddx|ddy|fwidth|clip|tex\w*bias)\()");
            std::vector<Call> together;
            for (const Call& c : calls) {
                if (c.alone || (vertex && std::regex_search(c.body, pixelOnly))) Check({c}, profile);
                else together.push_back(c);
            }
            if (together.size() < calls.size()) {
                if (!together.empty()) Check(together, profile);
                return;
            }
        }
        const std::string source = Program(calls, vertex);
        Compiled c;
        Compile(c, source, profile);
        if (c.result == D3D_OK) {
            if (!Made(c, vertex)) {
                if (calls.size() == 1) {
                    ADD_FAILURE() << calls[0].what << " at " << profile << " compiles; the device refuses it\n"
                                  << source << "\n" << c.container.glsl;
                    return;
                }
                Halves(calls, profile); // which of them the device refuses
            }
            return;
        }
        if (calls.size() > 1) {
            Halves(calls, profile);
            return;
        }
        static const std::regex atLine(R"(memory\([1-9][0-9]*,[0-9]+\): error: )");
        EXPECT_TRUE(std::regex_search(c.errors, atLine))
            << calls[0].what << " at " << profile << " is refused without a line:\n" << c.errors << "\n" << source;
        EXPECT_EQ(c.errors.find("stopped on this source"), std::string::npos)
            << calls[0].what << " at " << profile << " stops the compiler\n" << source;
    }

    void Halves(const std::vector<Call>& calls, const char* profile) {
        const auto half = calls.begin() + std::ptrdiff_t(calls.size() / 2);
        Check({calls.begin(), half}, profile);
        Check({half, calls.end()}, profile);
    }

    // Whether the device makes the program and draws with it.
    bool Made(const Compiled& c, bool vertex) {
        const auto* words = c.Words();
        const auto bytes = std::uint32_t(c.code.size());
        IDirect3DVertexShader9* vs = nullptr;
        IDirect3DPixelShader9* ps = nullptr;
        if ((vertex ? device->CreateVertexShader(words, bytes, &vs) : device->CreatePixelShader(words, bytes, &ps)) != D3D_OK)
            return false;
        const bool three = vertex || c.container.kind >> 8 == 0xFFFF03u;
        device->SetVertexShader(vertex ? vs : three ? m_vertex3 : m_vertex2);
        device->SetPixelShader(vertex ? m_pixel3 : ps);
        const gfxtest::ProgramVertex quad[4] = {{-1, 1, 0.5f, 0xFFFFFFFFu, 0, 0}, {1, 1, 0.5f, 0xFFFFFFFFu, 1, 0},
                                                {-1, -1, 0.5f, 0xFFFFFFFFu, 0, 1}, {1, -1, 0.5f, 0xFFFFFFFFu, 1, 1}};
        const bool drawn = device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]) == D3D_OK;
        device->SetVertexShader(nullptr);
        device->SetPixelShader(nullptr);
        if (vs) vs->Release();
        if (ps) ps->Release();
        return drawn;
    }

    IDirect3DVertexShader9* m_vertex2 = nullptr;
    IDirect3DVertexShader9* m_vertex3 = nullptr;
    IDirect3DPixelShader9* m_pixel3 = nullptr;
};

TEST_P(GfxUtilHlslIntrinsicsTest, FloatCallsAtEachShapeMadeOrRefusedAtTheirLine) {
    if (Stopped()) return;
    for (const char* profile : kProfiles)
        for (const Shape& s : Shapes("float")) {
            SCOPED_TRACE(std::string(profile) + ", " + s.Name());
            Check(FloatCalls(s), profile);
        }
}

TEST_P(GfxUtilHlslIntrinsicsTest, IntAndBoolCallsAtEachShapeMadeOrRefusedAtTheirLine) {
    if (Stopped()) return;
    for (const char* profile : kProfiles)
        for (const Shape& s : Shapes("int")) {
            SCOPED_TRACE(std::string(profile) + ", " + s.Name());
            std::vector<Call> calls = OtherCalls(s);
            // Each call on a matrix of integers is tried alone: at the first
            // profile all of them, at the others the first, the refusal
            // being the profile's no more than the call's.
            if (s.matrix && profile != kProfiles[0]) calls.resize(1);
            Check(calls, profile);
        }
}

TEST_P(GfxUtilHlslIntrinsicsTest, MulAtEachPairingMadeOrRefusedAtItsLine) {
    if (Stopped()) return;
    const std::vector<Call> calls = MulCalls();
    for (const char* profile : kProfiles)
        for (std::size_t at = 0; at < calls.size(); at += 24)
            Check({calls.begin() + std::ptrdiff_t(at), calls.begin() + std::ptrdiff_t(std::min(at + 24, calls.size()))},
                  profile);
}

TEST_P(GfxUtilHlslIntrinsicsTest, ArgumentsOfDifferentSizesMadeOrRefusedAtTheirLine) {
    if (Stopped()) return;
    for (const char* profile : kProfiles) Check(MixedCalls(), profile);
}

TEST_P(GfxUtilHlslIntrinsicsTest, TextureLookupsMadeOrRefusedAtTheirLine) {
    if (Stopped()) return;
    for (const char* profile : kProfiles) Check(TextureCalls(), profile);
}

// noise is the texture fill programs' alone: refused at every program profile.
TEST_P(GfxUtilHlslIntrinsicsTest, NoiseRefusedAtEachProfile) {
    if (Stopped()) return;
    for (const char* profile : kProfiles) {
        for (const Shape& s : {Scalar(), Vector(2), Vector(3), Vector(4)}) {
            const std::vector<Call> calls = {Of("noise", s, "noise(a)", Scalar())};
            Compiled c;
            Compile(c, Program(calls, profile[0] == 'v'), profile);
            EXPECT_NE(c.result, D3D_OK) << s.Name() << " at " << profile;
            EXPECT_NE(c.errors.find("noise"), std::string::npos) << c.errors;
        }
    }
}

// What the D3D9 compiler refuses, or what the device would: refused at the
// line that holds it, with the reason.
TEST_P(GfxUtilHlslIntrinsicsTest, FormsRefusedAtTheirLine) {
    if (Stopped()) return;
    struct Case {
        const char* profile;
        const char* source;
        const char* line;
        const char* says;
    };
    const Case cases[] = {
        {"vs_3_0", "float4 main(float4 p : POSITION) : POSITION\n{\n    return p + ddx(p);\n}\n", "(3,", "pixel programs"},
        {"vs_3_0", "float4 main(float4 p : POSITION) : POSITION\n{\n\n    clip(p);\n    return p;\n}\n", "(4,",
         "pixel programs"},
        {"vs_3_0", "sampler2D s;\nfloat4 main(float4 p : POSITION) : POSITION\n{\n    return tex2Dbias(s, p);\n}\n",
         "(4,", "bias"},
        {"ps_2_0", "uniform float4 u;\nfloat4 main() : COLOR\n{\n    int2x2 m = (int2x2)float2x2(u);\n    return abs(m)[0].xyxy;\n}\n",
         "(4,", "matrices of int"},
        {"ps_2_0", "uniform float4 u;\nfloat4 main() : COLOR\n{\n    bool2x2 m = {u.x, u.y, u.z, u.w};\n    return m[0].x;\n}\n",
         "(4,", "matrix of booleans"},
        {"ps_2_0", "uniform float2x4 a;\nuniform float3x2 b;\nfloat4 main() : COLOR\n{\n    0 ? a : b;\n    return 0;\n}\n",
         "(5,", "incompatible sizes"},
        {"ps_2_0", "uniform float3 c;\nuniform float4 a, b;\nfloat4 main() : COLOR\n{\n    return c ? a : b;\n}\n", "(5,",
         "condition of '?:'"},
        {"ps_2_0", "unsigned uint2 u;\nfloat4 main() : COLOR { return u.x; }\n", "(1,", "'unsigned'"},
    };
    for (const Case& k : cases) {
        Compiled c;
        Compile(c, k.source, k.profile);
        EXPECT_NE(c.result, D3D_OK) << k.source;
        EXPECT_NE(c.errors.find(std::string("memory") + k.line), std::string::npos) << c.errors << k.source;
        EXPECT_NE(c.errors.find(k.says), std::string::npos) << c.errors << k.source;
    }
}

// Values the D3D9 compiler gives where the front end alone differs: the
// remainder's sign is the dividend's, lit's specular term is a power,
// matrices of different sizes meet at the smallest, `unsigned int` is int.
TEST_P(GfxUtilHlslIntrinsicsTest, ValuesAsTheD3D9CompilerGivesThem) {
    if (Stopped()) return;
    const char* source = R"(
unsigned int k;
uniform float4 u;
float4 main() : COLOR
{
    float2x3 a = {u.x, u.y, u.z, u.w, u.x, u.y};
    float3x2 b = {u.w, u.z, u.y, u.x, u.w, u.z};
    float2x2 m = max(a, b);
    float4 l = lit(u.y, u.w, u.z);
    int n = -(int)(u.z * 3.5);
    return float4(fmod(-u.x, u.y) + 0.5, (float)(n % 4 + k) / 8 + 0.5, m._m11 + l.z, 1);
}
)";
    Compiled ps;
    Compile(ps, source, "ps_2_0");
    ASSERT_EQ(ps.result, D3D_OK) << ps.errors;
    IDirect3DPixelShader9* p = MakePixel(ps);
    ASSERT_NE(p, nullptr);
    const D3DXVECTOR4 u{0.25f, 1.0f, 2.0f, 0.5f};
    ASSERT_EQ(ps.table->SetVector(device, "u", &u), D3D_OK);
    ASSERT_EQ(ps.table->SetInt(device, "k", 1), D3D_OK);
    ASSERT_EQ(device->SetVertexShader(m_vertex2), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
    Clear();
    DrawQuad();
    // fmod(-0.25, 1) = -0.25 (not 0.75); -7 % 4 = -3 (not 1), + 1; the
    // leading 2 x 2 of each matrix, rows (0.25, 1), (0.5, 0.25) against
    // (0.5, 2), (1, 0.25): m._m11 = 0.25; lit(1, 0.5, 2).z = 0.5^2 (not 0.5 * 2).
    ExpectPixel(kSize / 2, kSize / 2, 63.75, 63.75, 127.5);
}

// The remainder takes the dividend's sign whether the front end folds it
// from constants or the program computes it from constants set per draw.
TEST_P(GfxUtilHlslIntrinsicsTest, RemaindersTruncatedWhenFoldedAndAtRunTime) {
    if (Stopped()) return;
    struct Case {
        const char* values;
        double r, g, b; // (value / 8 + 0.5) * 255
    };
    const Case cases[] = {
        {"x % y, -x % y, x % -y", 191.25, 63.75, 191.25},
        {"-x % -y, int2(x, -x) % -y", 63.75, 191.25, 63.75},
        {"a % b, -a % b, a % -b", 63.75, 191.25, 63.75},
        {"-a % -b, fmod(v.z, v.w), fmod(-v.z, v.w)", 191.25, 143.4375, 111.5625},
        {"(int2(a, -a) % int2(b, -b)).xy, (float)(x % b)", 63.75, 191.25, 191.25},
        // Numbers alone: fmod(-4.5, 2) = -0.5, fmod(4.5, -2) = 0.5, fmod(-3, -2) = -1.
        {"fmod(-4.5, 2), fmod(4.5, -2.0f), fmod(-3, -2) / 1", 111.5625, 143.4375, 95.625},
    };
    ASSERT_EQ(device->SetVertexShader(m_vertex2), D3D_OK);
    for (const Case& k : cases) {
        const std::string source = std::string(R"(
uniform float4 v;
float4 main() : COLOR
{
    int x = 42;
    int y = 5;
    int a = (int)v.x;
    int b = (int)v.y;
    return float4(float3()") + k.values + R"() / 8 + 0.5, 1);
}
)";
        Compiled ps;
        Compile(ps, source, "ps_2_0");
        ASSERT_EQ(ps.result, D3D_OK) << ps.errors << source;
        IDirect3DPixelShader9* p = MakePixel(ps);
        ASSERT_NE(p, nullptr);
        // A negative dividend over a positive divisor; fmod(4.5, -2) = 0.5.
        const D3DXVECTOR4 v{-42.0f, 5.0f, 4.5f, -2.0f};
        if (ps.table->GetConstantByName(nullptr, "v")) {
            ASSERT_EQ(ps.table->SetVector(device, "v", &v), D3D_OK);
        }
        ASSERT_EQ(device->SetPixelShader(p), D3D_OK);
        Clear();
        DrawQuad();
        ExpectPixel(kSize / 2, kSize / 2, k.r, k.g, k.b, k.values);
    }
}

INSTANTIATE_TEST_SUITE_P(, GfxUtilHlslIntrinsicsTest, ::testing::Values(true), gfxtest::GlReadBackParamName);

} // namespace

