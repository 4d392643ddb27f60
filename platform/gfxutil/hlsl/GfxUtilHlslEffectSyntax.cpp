#include "platform/gfxutil/hlsl/GfxUtilHlslEffectSyntax.h"

#include "platform/gfxutil/GfxUtilEffectData.h"

#include "platform/gfxutil/hlsl/GfxUtilHlslDeclarations.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslText.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <vector>

namespace gfx::hlsl {
namespace {

// A token of the source: strings are kept (state values and annotations
// hold them, and they count as arguments).
struct Tok {
    std::string_view text;
    std::size_t begin = 0;
    bool string = false;
    std::size_t close = 0; // an opening bracket's closing one; the count of tokens when none
};

// The compile's own tokens, strings marked; the packing markers a pragma
// leaves are no part of the effect's syntax.
std::vector<Tok> Lex(std::string_view s) {
    std::vector<Tok> out;
    for (const Token& t : Tokenize(s)) {
        if (t.text == "#row_major" || t.text == "#column_major") continue;
        out.push_back({t.text, t.begin, t.text[0] == '"'});
    }
    // Brackets of each kind pair among themselves.
    std::vector<std::size_t> open[3];
    for (std::size_t k = 0; k < out.size(); ++k) {
        if (out[k].string || out[k].text.size() != 1) continue;
        const char b = out[k].text[0];
        const int opening = b == '{' ? 0 : b == '(' ? 1 : b == '[' ? 2 : -1;
        const int closing = b == '}' ? 0 : b == ')' ? 1 : b == ']' ? 2 : -1;
        if (opening >= 0) {
            out[k].close = out.size();
            open[opening].push_back(k);
        } else if (closing >= 0 && !open[closing].empty()) {
            out[open[closing].back()].close = k;
            open[closing].pop_back();
        }
    }
    return out;
}

bool IsIdent(const Tok& t) { return !t.string && !t.text.empty() && IdentStart(t.text[0]); }
bool IsNumber(const Tok& t) {
    return !t.string && !t.text.empty() && (std::isdigit(static_cast<unsigned char>(t.text[0])) || t.text[0] == '.');
}
bool Is(const Tok& t, std::string_view s) { return !t.string && t.text == s; }

bool IsTechnique(std::string_view w) { return EqualNoCase(w, "technique") || w == "technique10" || w == "technique11"; }

// Names the effect keeps for itself: no variable or type may take them.
bool Reserved(std::string_view w) {
    return IsTechnique(w) || w == "fxgroup" || w == "pixelshader" || w == "PixelShader" || w == "vertexshader" ||
           w == "VertexShader" || w == "string" || w == "String" || w == "sampler_state" || w == "compile";
}

bool ShaderObject(std::string_view w) {
    return EqualNoCase(w, "pixelshader") || EqualNoCase(w, "vertexshader") || EqualNoCase(w, "geometryshader") ||
           EqualNoCase(w, "computeshader") || EqualNoCase(w, "domainshader") || EqualNoCase(w, "hullshader");
}

bool StateObject(std::string_view w) { return w == "BlendState" || w == "DepthStencilState" || w == "RasterizerState"; }

bool Modifier(std::string_view w) {
    static constexpr std::string_view kWords[] = {
        "static",      "uniform",      "extern", "const",           "shared", "volatile", "precise",
        "row_major",   "column_major", "inline", "nointerpolation", "linear", "centroid", "noperspective",
        "groupshared", "snorm",        "unorm"};
    return std::find(std::begin(kWords), std::end(kWords), w) != std::end(kWords);
}

// Words no declaration names: statements and operators of the language.
bool Keyword(std::string_view w) {
    static constexpr std::string_view kWords[] = {"return", "else", "do",    "if",       "for",     "while",
                                                  "switch", "case", "break", "continue", "discard", "default",
                                                  "in",     "out",  "inout", "true",     "false"};
    return std::find(std::begin(kWords), std::end(kWords), w) != std::end(kWords);
}

bool Profile(std::string_view p) {
    static constexpr std::string_view kProfiles[] = {
        "vs_1_1", "vs_2_0", "vs_2_a",  "vs_2_sw",          "vs_3_0",           "vs_3_sw",          "vs_4_0",
        "vs_4_1", "vs_5_0", "ps_1_1",  "ps_1_2",           "ps_1_3",           "ps_1_4",           "ps_2_0",
        "ps_2_a", "ps_2_b", "ps_2_sw", "ps_3_0",           "ps_3_sw",          "ps_4_0",           "ps_4_1",
        "ps_5_0", "gs_4_0", "gs_4_1",  "gs_5_0",           "hs_5_0",           "ds_5_0",           "cs_4_0",
        "cs_4_1", "cs_5_0", "tx_1_0",  "vs_4_0_level_9_1", "vs_4_0_level_9_3", "ps_4_0_level_9_1", "ps_4_0_level_9_3"};
    for (std::string_view k : kProfiles)
        if (EqualNoCase(p, k)) return true;
    return false;
}

// The state-setting calls a state block or a pass may make, with their
// counts of arguments.
bool StateCall(std::string_view w, std::size_t& least, std::size_t& most) {
    static constexpr struct {
        std::string_view name;
        std::size_t least, most;
    } kCalls[] = {{"SetBlendState", 3, 3},     {"SetDepthStencilState", 2, 2}, {"SetRasterizerState", 1, 1},
                  {"SetVertexShader", 1, 1},   {"SetDomainShader", 1, 1},      {"SetHullShader", 1, 1},
                  {"SetGeometryShader", 1, 1}, {"SetPixelShader", 1, 1},       {"SetComputeShader", 1, 1},
                  {"OMSetRenderTargets", 2, 9}};
    for (const auto& c : kCalls)
        if (w == c.name) {
            least = c.least;
            most = c.most;
            return true;
        }
    return false;
}

// Intrinsics a state value may call.
bool Intrinsic(std::string_view w) {
    static constexpr std::string_view kNames[] = {
        "abs",       "acos",    "asin",        "atan",     "atan2",   "ceil",  "clamp", "cos",       "cosh",
        "cross",     "degrees", "determinant", "distance", "dot",     "exp",   "exp2",  "floor",     "fmod",
        "frac",      "length",  "lerp",        "log",      "log2",    "log10", "max",   "min",       "mul",
        "normalize", "pow",     "radians",     "reflect",  "refract", "round", "rsqrt", "saturate",  "sign",
        "sin",       "sinh",    "smoothstep",  "sqrt",     "step",    "tan",   "tanh",  "transpose", "asfloat",
        "asint",     "asuint",  "any",         "all",      "trunc"};
    return std::find(std::begin(kNames), std::end(kNames), w) != std::end(kNames);
}

constexpr int kMaxDepth = 64;

struct Function {
    std::size_t params = 0, required = 0, uniforms = 0;
    std::vector<bool> arrays; // by parameter
};

struct Variable {
    int components = 1; // 0: not a vector or scalar (a matrix, a struct)
};

class Checker {
public:
    Checker(std::string_view source, std::string& out, std::size_t& at, std::string& error, std::string_view entry)
        : m_source(source), m_t(Lex(source)), m_out(out), m_at(at), m_error(error), m_entry(entry) {}

    bool Run() {
        m_out.assign(m_source);
        std::size_t i = 0;
        while (i < m_t.size() && Step())
            if (!Statement(i)) return false;
        // Past the deadline the compile's later stages say so.
        return PassesExpired() || Samplers();
    }

private:
    bool Fail(std::size_t k, std::string why) {
        m_at = k < m_t.size() ? m_t[k].begin : m_source.size();
        m_error = std::move(why);
        return false;
    }
    std::size_t Close(std::size_t open) const { return std::min(m_t[open].close, m_t.size()); }
    bool At(std::size_t k, std::string_view s) const { return k < m_t.size() && Is(m_t[k], s); }
    void BlankTokens(std::size_t first, std::size_t last) { // [first, last] inclusive
        if (first >= m_t.size() || last < first) return;
        last = std::min(last, m_t.size() - 1);
        Blank(m_out, m_t[first].begin, m_t[last].begin + m_t[last].text.size());
    }
    bool TypeWord(std::string_view w) const {
        const TypeInfo type = ParseType(w);
        return (type.known && !m_typedefs.count(w)) || w == "vector" || w == "matrix" || w == "void" ||
               m_typedefs.count(w) || m_structs.count(w);
    }
    // `sampler_state`, or in its place a sampler type word, as the DX9
    // syntax allows (`sampler s = sampler2D { ... }`).
    bool StateBlockWord(const Tok& t) const {
        return Is(t, "sampler_state") || (IsIdent(t) && ParseType(t.text).sampler && !m_typedefs.count(t.text));
    }
    bool StringType(std::string_view w) const { return EqualNoCase(w, "string") && !m_typedefs.count(w); }

    // Past `<...>` from the `<` at k: the token after the closing `>`. An
    // annotation's value runs to its ';' whatever it holds: `1 << 2`,
    // `kMask >> 4` and `a > b` close nothing.
    std::size_t PastAngles(std::size_t k) const {
        int depth = 0;
        for (; k < m_t.size() && Step(); ++k) {
            if (Is(m_t[k], "<"))
                ++depth;
            else if (Is(m_t[k], ">") && --depth == 0)
                return k + 1;
            else if (Is(m_t[k], "{") || Is(m_t[k], "(") || Is(m_t[k], "["))
                k = Close(k);
            else if (Is(m_t[k], "=") && depth == 1)
                k = ValueEnd(k);
        }
        return m_t.size();
    }
    // The ';' that ends the value after the '=' at k, brackets passed over;
    // k itself when none does before a closing bracket or the end.
    std::size_t ValueEnd(std::size_t k) const {
        for (std::size_t j = k + 1; j < m_t.size() && Step(); ++j) {
            if (Is(m_t[j], ";")) return j;
            if (Is(m_t[j], "{") || Is(m_t[j], "(") || Is(m_t[j], "["))
                j = Close(j);
            else if (Is(m_t[j], "}") || Is(m_t[j], ")") || Is(m_t[j], "]"))
                break;
        }
        return k;
    }

    bool Statement(std::size_t& i) {
        const std::string_view w = m_t[i].text;
        if (Is(m_t[i], ";")) {
            ++i;
            return true;
        }
        if (IsTechnique(w) && !m_t[i].string) return Technique(i, true);
        if (Is(m_t[i], "fxgroup")) return Group(i);
        if (Is(m_t[i], "sampler_state")) return Fail(i, "'sampler_state' outside an initialiser");
        if (Is(m_t[i], "typedef")) return Typedef(i);
        // A namespace's statements are read as the file's, each namespace
        // a call deeper: their nesting is bounded, as values' is.
        if (Is(m_t[i], "namespace") && i + 2 < m_t.size() && IsIdent(m_t[i + 1]) && Is(m_t[i + 2], "{")) {
            if (m_namespaces >= kMaxDepth) return Fail(i, "namespaces nested too deeply");
            const std::size_t close = Close(i + 2);
            ++m_namespaces;
            for (i += 3; i < close && i < m_t.size() && Step();)
                if (!Statement(i)) return false;
            --m_namespaces;
            i = close + 1;
            return true;
        }
        if (Is(m_t[i], "cbuffer") || Is(m_t[i], "tbuffer")) {
            std::size_t k = i + 1;
            while (k < m_t.size() && !Is(m_t[k], "{") && !Is(m_t[k], ";") && Step())
                ++k;
            i = k < m_t.size() && Is(m_t[k], "{") ? Close(k) + 1 : k + 1;
            return true;
        }
        return Declaration(i);
    }

    bool Typedef(std::size_t& i) {
        std::size_t k = i + 1;
        for (; k < m_t.size() && Step(); ++k) {
            if (Is(m_t[k], "{") || Is(m_t[k], "(") || Is(m_t[k], "["))
                k = Close(k);
            else if (Is(m_t[k], "<"))
                k = PastAngles(k) - 1;
            else if (Is(m_t[k], ";"))
                break;
            else if (IsIdent(m_t[k]) &&
                     (k + 1 >= m_t.size() || Is(m_t[k + 1], ",") || Is(m_t[k + 1], ";") || Is(m_t[k + 1], "["))) {
                if (Reserved(m_t[k].text)) return Fail(k, "'" + std::string(m_t[k].text) + "' names no type");
                m_typedefs.insert(m_t[k].text);
            }
        }
        i = k + 1;
        return true;
    }

    // technique [name] [<annotations>] { pass ... }
    bool Technique(std::size_t& i, bool plainAllowed) {
        if (!plainAllowed && EqualNoCase(m_t[i].text, "technique"))
            return Fail(i, "a group holds technique10 and technique11 blocks only");
        const std::size_t first = i;
        std::size_t k = i + 1;
        if (k < m_t.size() && IsIdent(m_t[k])) ++k;
        if (At(k, "<")) k = PastAngles(k);
        if (!At(k, "{")) return Fail(k, "'{' expected after the technique's name");
        const std::size_t close = Close(k);
        if (close >= m_t.size()) return Fail(k, "a technique without its end");
        for (std::size_t p = k + 1; p < close && Step();) {
            if (!EqualNoCase(m_t[p].text, "pass") || m_t[p].string) return Fail(p, "a technique holds passes only");
            std::size_t q = p + 1;
            if (q < close && IsIdent(m_t[q])) ++q;
            if (At(q, "<")) q = PastAngles(q);
            if (q >= close || !Is(m_t[q], "{")) return Fail(q, "'{' expected after the pass's name");
            const std::size_t end = Close(q);
            if (end >= close) return Fail(q, "a pass without its end");
            if (!Entries(q + 1, end)) return false;
            p = end + 1;
        }
        BlankTokens(first, close);
        i = close + 1;
        return true;
    }

    bool Group(std::size_t& i) {
        const std::size_t first = i;
        std::size_t k = i + 1;
        if (k < m_t.size() && IsIdent(m_t[k])) ++k;
        if (At(k, "<")) k = PastAngles(k);
        if (!At(k, "{")) return Fail(k, "'{' expected after the group's name");
        const std::size_t close = Close(k);
        if (close >= m_t.size()) return Fail(k, "a group without its end");
        for (std::size_t p = k + 1; p < close && Step();) {
            if (!IsTechnique(m_t[p].text)) return Fail(p, "a group holds techniques only");
            if (!Technique(p, false)) return false;
        }
        BlankTokens(first, close);
        i = close + 1;
        return true;
    }

    // The entries of a state block or a pass in (open, close).
    bool Entries(std::size_t k, std::size_t close) {
        while (k < close && Step()) {
            if (Is(m_t[k], ";")) {
                ++k;
                continue;
            }
            if (!IsIdent(m_t[k])) return Fail(k, "a state's name expected");
            std::size_t least = 0, most = 0;
            if (At(k + 1, "(")) {
                if (!StateCall(m_t[k].text, least, most))
                    return Fail(k, "'" + std::string(m_t[k].text) + "' is no state-setting call");
                const std::size_t end = Close(k + 1);
                if (end >= close) return Fail(k + 1, "a call without its end");
                const std::size_t count = Arguments(k + 2, end);
                if (count < least || count > most)
                    return Fail(k, "'" + std::string(m_t[k].text) + "' takes " + std::to_string(least) +
                                       (most != least ? " to " + std::to_string(most) : std::string()) + " arguments");
                if (!List(k + 2, end, false)) return false;
                if (end + 1 >= close || !Is(m_t[end + 1], ";")) return Fail(end + 1, "';' expected");
                k = end + 2;
                continue;
            }
            std::size_t e = k + 1;
            if (At(e, "[")) {
                const std::size_t end = Close(e);
                const bool integer = end == e + 2 && IsNumber(m_t[e + 1]) &&
                                     std::all_of(m_t[e + 1].text.begin(), m_t[e + 1].text.end(),
                                                 [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
                if (!integer) return Fail(e, "a state's index is a whole number");
                e = end + 1;
                if (At(e, "[")) return Fail(e, "a state has one index");
            }
            if (e >= close || !Is(m_t[e], "=")) return Fail(e, "'=' expected after the state's name");
            std::size_t end = e + 1;
            while (end < close && !Is(m_t[end], ";") && Step())
                end = (Is(m_t[end], "{") || Is(m_t[end], "(") || Is(m_t[end], "[")) ? Close(end) + 1 : end + 1;
            if (end >= close) return Fail(close, "';' expected after the state's value");
            if (end == e + 1) return Fail(end, "a state's value expected");
            // A state's value may be any word the effect states take, type
            // names among them (`ColorArg1 = Texture;`).
            m_stateValue = true;
            const bool read = Expression(e + 1, end, false);
            m_stateValue = false;
            if (!read) return false;
            k = end + 1;
        }
        return true;
    }

    // A state block at `open`, or a list of them, for `components` (0: any count).
    bool StateBlock(std::size_t open, std::size_t close, std::size_t components) {
        if (!At(open + 1, "{")) return Entries(open + 1, close);
        std::size_t count = 0;
        for (std::size_t k = open + 1; k < close && Step();) {
            if (!Is(m_t[k], "{")) return Fail(k, "a state block expected");
            const std::size_t end = Close(k);
            if (end >= close || !Entries(k + 1, end))
                return end >= close ? Fail(k, "a state block without its end") : false;
            ++count;
            k = end + 1;
            if (k < close) {
                if (!Is(m_t[k], ",")) return Fail(k, "',' expected between state blocks");
                if (++k >= close) return Fail(k, "a state block expected after ','");
            }
        }
        if (components && count != components)
            return Fail(open,
                        std::to_string(count) + " state blocks for " + std::to_string(components) + " components");
        return true;
    }

    // The count of comma-separated arguments in [k, end).
    std::size_t Arguments(std::size_t k, std::size_t end) const {
        if (k >= end) return 0;
        std::size_t count = 1;
        for (; k < end; ++k) {
            if (Is(m_t[k], "{") || Is(m_t[k], "(") || Is(m_t[k], "["))
                k = Close(k);
            else if (Is(m_t[k], ","))
                ++count;
        }
        return count;
    }

    // Comma-separated expressions in [k, end).
    bool List(std::size_t k, std::size_t end, bool strict) {
        while (k < end && Step()) {
            std::size_t e = k;
            while (e < end && !Is(m_t[e], ",") && Step())
                e = (Is(m_t[e], "{") || Is(m_t[e], "(") || Is(m_t[e], "[")) ? Close(e) + 1 : e + 1;
            if (e > k && !Expression(k, e, strict)) return false;
            k = e + 1;
        }
        return true;
    }

    // `compile profile f(args)` from the profile at `k`; `next` past it.
    bool Compile(std::size_t k, std::size_t end, bool strict, std::size_t& next) {
        if (k >= end || !IsIdent(m_t[k]) || !Profile(m_t[k].text)) {
            std::string message = "'";
            if (k < end) message += m_t[k].text;
            return Fail(k, message + "' is no profile");
        }
        if (k + 1 < end && Is(m_t[k + 1], ",")) ++k; // CompileShader(profile, call)
        if (k + 2 >= end || !IsIdent(m_t[k + 1]) || !Is(m_t[k + 2], "(")) return Fail(k + 1, "a call expected");
        const std::size_t close = Close(k + 2);
        if (close >= end) return Fail(k + 2, "a call without its end");
        const std::size_t count = Arguments(k + 3, close);
        auto [from, to] = m_functions.equal_range(m_t[k + 1].text);
        if (from != to) {
            bool fits = false;
            for (auto it = from; it != to; ++it)
                fits = fits || count <= it->second.uniforms;
            if (!fits)
                return Fail(k + 1, "'" + std::string(m_t[k + 1].text) + "' has fewer uniform parameters than " +
                                       std::to_string(count));
        } else if (strict) {
            return Fail(k + 1, "'" + std::string(m_t[k + 1].text) + "': no such function");
        }
        if (!List(k + 3, close, strict)) return false;
        next = close + 1;
        return true;
    }

    bool Operand(const Tok& t) const { return IsIdent(t) || IsNumber(t) || t.string || Is(t, "("); }

    // An expression in [b, e): undefined names are allowed and read as
    // `const int` scalars unless `strict`.
    bool Expression(std::size_t b, std::size_t e, bool strict) {
        // Values nest in braces, calls and state blocks: a hostile depth
        // stops here, not on the stack.
        if (m_depth >= kMaxDepth) return Fail(b, "a value nested too deeply");
        ++m_depth;
        const bool read = Values(b, e, strict);
        --m_depth;
        return read;
    }

    bool Values(std::size_t b, std::size_t e, bool strict) {
        // A range may end past an opening bracket that is never closed.
        e = std::min(e, m_t.size());
        for (std::size_t k = b; k < e && Step();) {
            const Tok& t = m_t[k];
            if (t.string || IsNumber(t)) {
                ++k;
                continue;
            }
            if (Is(t, "{")) {
                const std::size_t close = Close(k);
                if (close >= e || !List(k + 1, close, strict)) return close >= e ? Fail(k, "'}' expected") : false;
                k = close + 1;
                continue;
            }
            if (Is(t, "(")) {
                const std::size_t close = Close(k);
                if (close >= e) return Fail(k, "')' expected");
                if (close == k + 2 && IsIdent(m_t[k + 1]) && close + 1 < e && Operand(m_t[close + 1]) &&
                    !m_variables.count(m_t[k + 1].text)) {
                    const TypeInfo type = ParseType(m_t[k + 1].text);
                    const bool numeric =
                        (type.known && !type.sampler && !type.texture) || m_typedefs.count(m_t[k + 1].text);
                    if (!numeric) return Fail(k + 1, "no cast to '" + std::string(m_t[k + 1].text) + "'");
                    k = close + 1;
                    continue;
                }
                if (!List(k + 1, close, strict)) return false;
                k = close + 1;
                continue;
            }
            if (Is(t, "<") && (k == b || !Operand(m_t[k - 1])) && k + 2 < e && IsIdent(m_t[k + 1]) &&
                Is(m_t[k + 2], ">")) {
                k += 3; // a reference to a parameter: <name>
                continue;
            }
            if (!IsIdent(t)) {
                ++k;
                continue;
            }
            const std::string_view w = t.text;
            if (w == "compile") {
                if (!Compile(k + 1, e, strict, k)) return false;
                continue;
            }
            if (w == "CompileShader" && At(k + 1, "(")) {
                const std::size_t close = Close(k + 1);
                if (close >= e || !At(k + 3, ",")) return Fail(k, "CompileShader(profile, call) expected");
                std::size_t next = 0;
                if (!Compile(k + 2, close, strict, next)) return false;
                if (next != close) return Fail(next, "')' expected");
                k = close + 1;
                continue;
            }
            if (w == "sampler_state") {
                if (!At(k + 1, "{")) return Fail(k, "'sampler_state' without its state block");
                const std::size_t close = Close(k + 1);
                if (close >= e || !StateBlock(k + 1, close, 0)) return close >= e ? Fail(k, "'}' expected") : false;
                k = close + 1;
                continue;
            }
            if (w == "asm" && At(k + 1, "{")) {
                k = Close(k + 1) + 1;
                continue;
            }
            if (At(k + 1, "(")) {
                const std::size_t close = Close(k + 1);
                if (close >= e) return Fail(k + 1, "')' expected");
                const std::size_t count = Arguments(k + 2, close);
                auto [from, to] = m_functions.equal_range(w);
                if (from != to) {
                    bool fits = false;
                    for (auto it = from; it != to && !fits; ++it) {
                        const Function& f = it->second;
                        if (count < f.required || count > f.params) continue;
                        fits = true;
                        // An undefined name is a scalar: no array parameter takes it.
                        std::size_t a = k + 2;
                        for (std::size_t p = 0; p < count && a < close; ++p) {
                            std::size_t end = a;
                            while (end < close && !Is(m_t[end], ","))
                                end = Is(m_t[end], "(") || Is(m_t[end], "{") || Is(m_t[end], "[") ? Close(end) + 1
                                                                                                  : end + 1;
                            if (f.arrays[p] && end == a + 1 && IsIdent(m_t[a]) && !m_variables.count(m_t[a].text))
                                fits = false;
                            a = end + 1;
                        }
                    }
                    if (!fits) return Fail(k, "no overload of '" + std::string(w) + "' takes these arguments");
                } else if (!TypeWord(w) && !Intrinsic(w) && w != "ConstructGSWithSO") {
                    return Fail(k, "'" + std::string(w) + "': no such function");
                }
                if (!List(k + 2, close, strict)) return false;
                k = close + 1;
                continue;
            }
            if (w == "true" || w == "false" || w == "NULL") {
                ++k;
                continue;
            }
            // A variable may take a type's name ("Texture2D Texture;").
            const auto known = m_variables.find(w);
            if (known == m_variables.end() && (TypeWord(w) || StringType(w) || ShaderObject(w)) &&
                !(m_stateValue && effect::IsStateValueWord(std::string(w))))
                return Fail(k, "'" + std::string(w) + "' is a type, not a value");
            if (known == m_variables.end() && strict) return Fail(k, "'" + std::string(w) + "': no such name");
            if (known == m_variables.end() && At(k + 1, "["))
                return Fail(k + 1, "'" + std::string(w) + "' is no array");
            const int components = known == m_variables.end() ? 1 : known->second.components;
            ++k;
            while (k < e && Is(m_t[k], "["))
                k = Close(k) + 1;
            if (k + 1 < e && Is(m_t[k], ".") && IsIdent(m_t[k + 1]) && components > 0) {
                for (char c : m_t[k + 1].text) {
                    const std::string_view xyzw = "xyzw", rgba = "rgba";
                    const std::size_t at = std::min(xyzw.find(c), rgba.find(c));
                    if (at == std::string_view::npos || int(at) >= components)
                        return Fail(k + 1,
                                    "'" + std::string(m_t[k + 1].text) + "' is no swizzle of '" + std::string(w) + "'");
                }
                k += 2;
            }
        }
        return true;
    }

    // A function's parameters in (open, close): recorded for the calls
    // state blocks and `compile` make.
    void Parameters(std::string_view name, std::size_t open, std::size_t close) {
        Function f;
        for (std::size_t k = open + 1; k < close && Step();) {
            std::size_t end = k;
            bool uniform = false, initialised = false, array = false, named = false;
            while (end < close && !Is(m_t[end], ",") && Step()) {
                if (Is(m_t[end], "uniform")) uniform = true;
                if (Is(m_t[end], "=")) initialised = true;
                if (Is(m_t[end], "[") && !initialised) array = true;
                if (IsIdent(m_t[end]) && !Is(m_t[end], "void")) named = true;
                end = Is(m_t[end], "(") || Is(m_t[end], "{") || Is(m_t[end], "[") ? Close(end) + 1 : end + 1;
            }
            if (named) {
                ++f.params;
                if (!initialised) f.required = f.params;
                if (uniform) ++f.uniforms;
                f.arrays.push_back(array);
            }
            k = end + 1;
        }
        m_functions.emplace(name, std::move(f));
    }

    // What a function's body holds of the effect's syntax: state blocks on
    // its locals (kept by no one), and names no variable may take.
    bool Body(std::size_t open, std::size_t close) {
        std::size_t greaterAt = open; // the first '>' at or after a point looked at
        for (std::size_t k = open + 1; k < close && Step(); ++k) {
            const Tok& t = m_t[k];
            if (Is(t, "sampler_state")) return Fail(k, "'sampler_state' inside a function");
            if (!IsIdent(t) || Keyword(t.text)) continue;
            // A declarator follows its type, or the body of an unnamed struct.
            const Tok& before = m_t[k - 1];
            const bool declarator =
                (IsIdent(before) && !Keyword(before.text) && !Is(before, "struct") && !Is(before, "typedef")) ||
                Is(before, "}");
            if (!declarator) continue;
            if (Reserved(t.text) && (At(k + 1, "=") || At(k + 1, ";") || At(k + 1, ",") || At(k + 1, "[")))
                return Fail(k, "'" + std::string(t.text) + "' names no variable");
            if (At(k + 1, "<")) {
                // An annotation on a local: none holds a value. The first
                // '>' after a point is found once for all the points before
                // it, so that a body of many comparisons is read once.
                if (At(k + 2, ">")) {
                    if (At(k + 3, "=") || At(k + 3, ";")) BlankTokens(k + 1, k + 2);
                    continue;
                }
                if (k + 2 >= close || !IsIdent(m_t[k + 2]) ||
                    !(TypeWord(m_t[k + 2].text) || StringType(m_t[k + 2].text)))
                    continue;
                if (greaterAt <= k + 2) {
                    greaterAt = k + 2;
                    while (greaterAt < close && !Is(m_t[greaterAt], ">") && Step())
                        ++greaterAt;
                }
                if (greaterAt + 1 < close && (Is(m_t[greaterAt + 1], "=") || Is(m_t[greaterAt + 1], ";")))
                    return Fail(k + 1, "a local variable has no annotations");
                continue;
            }
            if (!At(k + 1, "{")) continue;
            const std::size_t end = Close(k + 1);
            if (end >= close || !(At(end + 1, ";") || At(end + 1, ","))) continue; // a block of statements
            if (!StateBlock(k + 1, end, 0)) return false;
            BlankTokens(k + 1, end);
            k = end;
        }
        return true;
    }

    Variable VariableOf(std::string_view type) const {
        const TypeInfo info = ParseType(type);
        Variable v;
        v.components = info.known && !info.sampler && !info.texture ? (info.rows > 1 ? 0 : info.columns)
                       : info.known                                 ? 1
                                                                    : 0;
        return v;
    }

    bool Declaration(std::size_t& i) {
        const std::size_t first = i;
        std::size_t k = i;
        while (k < m_t.size() && Modifier(m_t[k].text) && Step())
            ++k;
        if (At(k, "struct")) {
            ++k;
            if (k < m_t.size() && IsIdent(m_t[k])) m_structs.insert(m_t[k++].text);
            if (!At(k, "{")) { // a declaration of a struct's type, or a variable of one
                while (k < m_t.size() && !Is(m_t[k], ";") && Step())
                    ++k;
                i = k + 1;
                return true;
            }
            k = Close(k) + 1;
            if (At(k, ";")) {
                i = k + 1;
                return true;
            }
            return Declarators(first, k, "", i);
        }
        if (k >= m_t.size() || !IsIdent(m_t[k])) {
            // Not a declaration this reads: on to the statement's end.
            while (k < m_t.size() && !Is(m_t[k], ";") && Step())
                k = (Is(m_t[k], "{") || Is(m_t[k], "(") || Is(m_t[k], "[")) ? Close(k) + 1 : k + 1;
            i = k + 1;
            return true;
        }
        const std::string_view type = m_t[k].text;
        ++k;
        if (At(k, "<")) k = PastAngles(k); // vector<float, 4>, Texture2DMS<float4, 4>
        if (k < m_t.size() && IsIdent(m_t[k]) && At(k + 1, "(")) {
            // A function: its body to the end.
            // The program object words name functions too: an entry may be
            // called VertexShader or PixelShader.
            if (Reserved(m_t[k].text) && !ShaderObject(m_t[k].text))
                return Fail(k, "'" + std::string(m_t[k].text) + "' names no function");
            const std::size_t close = Close(k + 1);
            Parameters(m_t[k].text, k + 1, close);
            std::size_t b = close + 1;
            while (b < m_t.size() && !Is(m_t[b], "{") && !Is(m_t[b], ";") && Step())
                ++b;
            if (At(b, ";")) {
                i = b + 1;
                return true;
            }
            if (b >= m_t.size()) {
                i = b;
                return true;
            }
            const std::size_t end = Close(b);
            if (!Body(b, std::min(end, m_t.size()))) return false;
            i = end + 1;
            return true;
        }
        return Declarators(first, k, type, i);
    }

    // The declarators of a declaration from `k`, of type `type` ("" for a struct).
    bool Declarators(std::size_t first, std::size_t k, std::string_view type, std::size_t& next) {
        const TypeInfo info = ParseType(type);
        const bool sampler = info.known && info.sampler && !m_typedefs.count(type);
        const bool effectOnly = StringType(type) || ShaderObject(type) || StateObject(type);
        const bool shader = ShaderObject(type);
        while (k < m_t.size() && Step()) {
            if (!IsIdent(m_t[k])) {
                // Not a declarator this reads: on to the statement's end.
                while (k < m_t.size() && !Is(m_t[k], ";") && Step())
                    k = (Is(m_t[k], "{") || Is(m_t[k], "(") || Is(m_t[k], "[")) ? Close(k) + 1 : k + 1;
                next = k + 1;
                return true;
            }
            const std::size_t nameAt = k;
            if (Reserved(m_t[k].text)) return Fail(k, "'" + std::string(m_t[k].text) + "' names no variable");
            ++k;
            std::size_t elements = 1;
            while (At(k, "[")) {
                const std::size_t close = Close(k);
                if (close == k + 2 && IsNumber(m_t[k + 1]))
                    elements *= std::size_t(std::max(0, std::atoi(std::string(m_t[k + 1].text).c_str())));
                else
                    elements = 0;
                k = close + 1;
            }
            Variable v = VariableOf(type);
            if (elements != 1) v.components = 0;
            m_variables[m_t[nameAt].text] = v;
            if (sampler) m_samplers[m_t[nameAt].text] = info.type;
            // Where a `sampler` without a dimension declares this one alone,
            // its lookups may give it theirs.
            if (sampler && type == "sampler" && elements == 1 && type.data() >= m_source.data() &&
                type.data() < m_source.data() + m_source.size()) {
                const std::size_t at = std::size_t(type.data() - m_source.data());
                const bool alone = std::none_of(m_generic.begin(), m_generic.end(), [&](const auto& g) { return g.second == at; });
                if (alone) m_generic[m_t[nameAt].text] = at;
                else m_generic.erase(std::find_if(m_generic.begin(), m_generic.end(), [&](const auto& g) { return g.second == at; }));
            }
            while (At(k, ":")) {
                ++k;
                if (k < m_t.size() && IsIdent(m_t[k])) ++k;
                if (At(k, "(")) k = Close(k) + 1;
            }
            if (At(k, "<")) k = PastAngles(k);
            bool block = false;
            if (At(k, "{")) {
                const std::size_t close = Close(k);
                if (close >= m_t.size()) return Fail(k, "a state block without its end");
                const std::size_t components = elements * (sampler || info.texture ? 1
                                                           : info.known ? std::size_t(info.rows) * info.columns
                                                                        : 0);
                if (!StateBlock(k, close, components)) return false;
                BlankTokens(k, close);
                k = close + 1;
                block = true;
            }
            if (At(k, "=")) {
                if (block) return Fail(k, "a state block ends its declarator");
                const std::size_t equals = k;
                std::size_t end = k + 1;
                while (end < m_t.size() && !Is(m_t[end], ",") && !Is(m_t[end], ";") && Step()) {
                    if (Is(m_t[end], "{") && end > k + 1 && !StateBlockWord(m_t[end - 1]) && !Is(m_t[end - 1], "asm"))
                        return Fail(end, "a state block ends its declarator");
                    end = (Is(m_t[end], "{") || Is(m_t[end], "(") || Is(m_t[end], "[")) ? Close(end) + 1 : end + 1;
                }
                if (!Initialiser(equals + 1, end, sampler, shader, elements, type)) return false;
                k = end;
            } else if (At(k, ":")) {
                return Fail(k, "a state block ends its declarator");
            }
            if (At(k, ",")) {
                ++k;
                continue;
            }
            if (!At(k, ";") && k < m_t.size()) {
                // Not a declaration this reads: on to the statement's end.
                while (k < m_t.size() && !Is(m_t[k], ";") && Step())
                    k = (Is(m_t[k], "{") || Is(m_t[k], "(") || Is(m_t[k], "[")) ? Close(k) + 1 : k + 1;
                next = k + 1;
                return true;
            }
            break;
        }
        if (effectOnly) BlankTokens(first, std::min(k, m_t.size() - 1));
        next = k + 1;
        return true;
    }

    bool Initialiser(std::size_t b, std::size_t e, bool sampler, bool shader, std::size_t elements,
                     std::string_view type) {
        // The value ends past an opening bracket that is never closed: the
        // tokens stop first.
        e = std::min(e, m_t.size());
        bool effectWords = false;
        for (std::size_t k = b; k < e; ++k)
            effectWords =
                effectWords || Is(m_t[k], "sampler_state") || Is(m_t[k], "compile") || Is(m_t[k], "CompileShader");
        if (b >= e) return Fail(b, "an initial value expected");
        if (sampler) {
            if (StateBlockWord(m_t[b])) {
                if (!At(b + 1, "{")) return Fail(b, "'sampler_state' without its state block");
                const std::size_t close = Close(b + 1);
                if (close + 1 != e) return Fail(close + 1, "a sampler's initial value is its state block");
                return StateBlock(b + 1, close, 0);
            }
            if (Is(m_t[b], "{") && Close(b) + 1 == e && effectWords) {
                std::size_t count = 0;
                for (std::size_t k = b + 1; k < e - 1;) {
                    if (!StateBlockWord(m_t[k]) || !At(k + 1, "{"))
                        return Fail(k, "a list of sampler_state blocks expected");
                    const std::size_t close = Close(k + 1);
                    if (!StateBlock(k + 1, close, 0)) return false;
                    ++count;
                    k = close + 1;
                    if (k < e - 1) {
                        if (!Is(m_t[k], ",")) return Fail(k, "',' expected");
                        if (++k >= e - 1) return Fail(k, "a sampler_state block expected after ','");
                    }
                }
                if (count != elements)
                    return Fail(b, std::to_string(count) + " sampler states for " + std::to_string(elements) +
                                       " samplers");
                return true;
            }
            if (effectWords) return Fail(b, "a sampler's initial value is its state block");
            return true;
        }
        if (shader) {
            const Tok& t = m_t[b];
            const bool form = Is(t, "compile") || Is(t, "CompileShader") || Is(t, "ConstructGSWithSO") || Is(t, "{") ||
                              Is(t, "asm") || (IsIdent(t) && b + 1 == e);
            if (!form) return Fail(b, "a shader's initial value is a compiled program");
            if (Is(t, "ConstructGSWithSO")) {
                const std::size_t close = At(b + 1, "(") ? Close(b + 1) : e;
                const std::size_t count = close < e ? Arguments(b + 2, close) : 0;
                if (count != 2 && count != 6) return Fail(b, "ConstructGSWithSO takes 2 or 6 arguments");
                return true;
            }
            if (Is(t, "asm")) return true;
            return Expression(b, e, !Is(t, "{"));
        }
        if (!effectWords) return true;
        if (!Is(m_t[b], "{") || Close(b) + 1 != e)
            return Fail(b, "'" + std::string(type) + "' takes no state block or program");
        // A list the effect reads, which gives the variable no value.
        if (!Expression(b, e, false)) return false;
        BlankTokens(b - 1, e - 1);
        return true;
    }

    // The bodies of the functions the entry reaches, as token ranges; all
    // of the text where the entry names no function of it (or none is
    // given). A sampler's dimension is a matter of the code generated: a
    // function no entry reaches generates none.
    std::vector<std::pair<std::size_t, std::size_t>> ReachedBodies() const {
        const std::vector<std::pair<std::size_t, std::size_t>> all = {{0, m_t.size()}};
        if (m_entry.empty()) return all;
        std::multimap<std::string_view, std::pair<std::size_t, std::size_t>> bodies;
        for (std::size_t k = 0; k + 1 < m_t.size() && Step(); ++k) {
            if (Is(m_t[k], "{")) { // a block at file scope that is no function's: passed over
                k = std::max(k, m_t[k].close);
                continue;
            }
            if (!IsIdent(m_t[k]) || !Is(m_t[k + 1], "(") || m_t[k + 1].close >= m_t.size()) continue;
            std::size_t b = m_t[k + 1].close + 1;
            // Semantics and registers after the list: `: COLOR`, `: register(c0)`.
            while (b + 1 < m_t.size() && Is(m_t[b], ":") && IsIdent(m_t[b + 1]))
                b = b + 2 < m_t.size() && Is(m_t[b + 2], "(") ? m_t[b + 2].close + 1 : b + 2;
            if (b >= m_t.size() || !Is(m_t[b], "{") || m_t[b].close >= m_t.size()) {
                k = m_t[k + 1].close;
                continue;
            }
            bodies.emplace(m_t[k].text, std::make_pair(b, m_t[b].close));
            k = m_t[b].close;
        }
        if (!bodies.count(m_entry)) return all;
        std::vector<std::pair<std::size_t, std::size_t>> out;
        std::set<std::string_view> reached = {m_entry};
        std::vector<std::string_view> todo = {m_entry};
        while (!todo.empty() && Step()) {
            const std::string_view name = todo.back();
            todo.pop_back();
            const auto [from, to] = bodies.equal_range(name);
            for (auto f = from; f != to; ++f) {
                out.push_back(f->second);
                for (std::size_t k = f->second.first; k + 1 < f->second.second; ++k)
                    if (IsIdent(m_t[k]) && Is(m_t[k + 1], "(") && bodies.count(m_t[k].text) &&
                        reached.insert(m_t[k].text).second)
                        todo.push_back(m_t[k].text);
            }
        }
        std::sort(out.begin(), out.end()); // judged in the order of the text
        return out;
    }

    // Each global sampler read by lookups of its own dimension, one only,
    // in what the entry reaches.
    bool Samplers() {
        if (m_samplers.empty()) return true;
        std::map<std::string_view, std::pair<int, std::size_t>> seen; // dimension and where
        for (const auto& [first, last] : ReachedBodies())
        for (std::size_t k = first; k + 2 < last && Step(); ++k) {
            const std::string_view w = m_t[k].text;
            // An element of an array of samplers may be read at its own
            // dimension: only a sampler alone is looked at.
            if (m_t[k].string || !w.starts_with("tex") || !Is(m_t[k + 1], "(") || !IsIdent(m_t[k + 2]) ||
                k + 3 >= m_t.size() || !Is(m_t[k + 3], ","))
                continue;
            const int dimension = w.starts_with("texCUBE")                           ? 4
                                  : w.starts_with("tex3D")                           ? 3
                                  : w.starts_with("tex2D") || w.starts_with("tex1D") ? 2
                                                                                     : 0;
            const auto s = m_samplers.find(m_t[k + 2].text);
            if (!dimension || s == m_samplers.end()) continue;
            const int own = s->second == D3DXPT_SAMPLERCUBE ? 4
                            : s->second == D3DXPT_SAMPLER3D ? 3
                            : s->second == D3DXPT_SAMPLER   ? 0
                                                            : 2;
            if (own && own != dimension)
                return Fail(k, "'" + std::string(m_t[k + 2].text) + "' is read by a lookup of another dimension");
            const auto [it, added] = seen.emplace(m_t[k + 2].text, std::make_pair(dimension, k));
            if (!added && it->second.first != dimension)
                return Fail(k, "'" + std::string(m_t[k + 2].text) + "' is read by lookups of two dimensions");
        }
        // A sampler without a dimension that the program reads by cube or
        // volume lookups is declared as one of theirs: the front end would
        // read it as a 2-D sampler. From the last, so that the places before
        // stay where they are.
        std::map<std::size_t, std::string_view, std::greater<>> retyped;
        for (const auto& [name, at] : m_generic) {
            const auto read = seen.find(name);
            if (read == seen.end() || read->second.first < 3) continue;
            retyped[at] = read->second.first == 4 ? "samplerCUBE" : "sampler3D";
        }
        for (const auto& [at, word] : retyped)
            if (m_out.compare(at, 7, "sampler") == 0) m_out.replace(at, 7, word);
        return true;
    }

    std::string_view m_source;
    std::vector<Tok> m_t;
    std::string& m_out;
    std::size_t& m_at;
    std::string& m_error;
    std::multimap<std::string_view, Function> m_functions;
    std::map<std::string_view, Variable> m_variables;
    std::set<std::string_view> m_typedefs, m_structs;
    std::map<std::string_view, std::uint16_t> m_samplers;
    std::string_view m_entry; // the entry compiled; empty: the whole text
    // Samplers declared `sampler` alone in their declaration: where the word stands.
    std::map<std::string_view, std::size_t> m_generic;
    int m_depth = 0;
    int m_namespaces = 0; // the namespaces the statement read stands in
    bool m_stateValue = false; // reading the value of a state block's entry
};

} // namespace

bool ReadEffectSyntax(std::string_view source, std::string& out, std::size_t& at, std::string& error,
                      std::string_view entry) {
    Checker checker(source, out, at, error, entry);
    return checker.Run();
}

} // namespace gfx::hlsl
