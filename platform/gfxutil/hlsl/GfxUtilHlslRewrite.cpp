#include "platform/gfxutil/hlsl/GfxUtilHlslRewrite.h"

#include "platform/gfx/Gfx.h"
#include "platform/gfxutil/GfxUtilEffect.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslDeclarations.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace gfx::hlsl {

namespace {

// The device has no one-dimensional textures: a 1-D texture is a 2-D one of
// height 1, and the D3D9 compiler samples a sampler1D as a 2-D sampler. So
// does this: `sampler1D` becomes `sampler2D` and each call of the tex1D
// family samples the middle of the row. Appends source[from, to), whose
// tokens are t[first, end), to `out`; `closeOf` gives each opening
// bracket's closing one (t.size() when none).
void EmitOneDimensionalAsTwo(std::string_view source, const std::vector<Token>& t,
                             const std::vector<std::size_t>& closeOf, std::size_t first, std::size_t end,
                             std::size_t from, std::size_t to, int depth, std::string& out, bool& tooDeep) {
    // How each call's arguments are rewritten; "%0" is the sampler, "%1".. the rest.
    static constexpr std::tuple<std::string_view, std::size_t, std::string_view> kCalls[] = {
        {"tex1D", 2, "tex2D(%0, float2((%1).x, 0.5))"},
        {"tex1D", 4, "tex2D(%0, float2((%1).x, 0.5), float2((%2).x, 0), float2((%3).x, 0))"},
        {"tex1Dgrad", 4, "tex2Dgrad(%0, float2((%1).x, 0.5), float2((%2).x, 0), float2((%3).x, 0))"},
        {"tex1Dlod", 2, "tex2Dlod(%0, (%1).xxzw * float4(1, 0, 0, 1) + float4(0, 0.5, 0, 0))"},
        {"tex1Dbias", 2, "tex2Dbias(%0, (%1).xxzw * float4(1, 0, 0, 1) + float4(0, 0.5, 0, 0))"},
        {"tex1Dproj", 2, "tex2Dproj(%0, (%1).xwzw * float4(1, 0.5, 0, 1))"}};
    constexpr int kMaxDepth = 64; // no program nests its lookups deeper
    auto tokenEnd = [&](std::size_t k) { return t[k].begin + t[k].text.size(); };
    for (std::size_t k = first; k < end; ++k) {
        const std::string_view w = t[k].text;
        if (w == "sampler1D") {
            out.append(source.substr(from, t[k].begin - from));
            out += "sampler2D";
            from = tokenEnd(k);
            continue;
        }
        if (!w.starts_with("tex1D") || k + 1 >= end || !Is(t[k + 1], "(")) continue;
        if (depth >= kMaxDepth) {
            tooDeep = true;
            return;
        }
        const std::size_t close = closeOf[k + 1];
        if (close >= end) continue;
        std::vector<std::pair<std::size_t, std::size_t>> arguments; // token ranges
        std::size_t argument = k + 2;
        for (std::size_t a = k + 2; a <= close; ++a) {
            if (a < close && (Is(t[a], "(") || Is(t[a], "[") || Is(t[a], "{"))) {
                a = std::min(closeOf[a], close - 1);
                continue;
            }
            if (a < close && !Is(t[a], ",")) continue;
            arguments.push_back({argument, a});
            argument = a + 1;
        }
        const std::string_view* form = nullptr;
        for (const auto& [name, count, text] : kCalls)
            if (name == w && count == arguments.size()) form = &text;
        if (!form || std::any_of(arguments.begin(), arguments.end(), [](const auto& r) { return r.first >= r.second; }))
            continue;
        out.append(source.substr(from, t[k].begin - from));
        std::vector<std::string> texts;
        for (const auto& [a, b] : arguments) {
            std::string text;
            EmitOneDimensionalAsTwo(source, t, closeOf, a, b, t[a].begin, tokenEnd(b - 1), depth + 1, text, tooDeep);
            if (tooDeep) return;
            texts.push_back(std::move(text));
        }
        for (std::size_t c = 0; c < form->size(); ++c) {
            if ((*form)[c] == '%' && c + 1 < form->size()) {
                out += texts[std::size_t((*form)[++c] - '0')];
                continue;
            }
            out += (*form)[c];
        }
        from = tokenEnd(close);
        k = close;
    }
    if (from < to) out.append(source.substr(from, to - from));
}

} // namespace

bool OneDimensionalAsTwo(const std::string& source, std::string& out) {
    if (source.find("1D") == std::string::npos) {
        out = source;
        return true;
    }
    const std::vector<Token> t = Tokenize(source);
    // Each bracket's partner, found once: a hostile source's unclosed calls
    // must not be scanned to its end one by one.
    std::vector<std::size_t> closeOf(t.size(), t.size());
    std::vector<std::size_t> open[3];
    for (std::size_t k = 0; k < t.size(); ++k) {
        if (t[k].text.size() != 1) continue;
        const std::size_t kind = std::string_view("([{").find(t[k].text[0]);
        if (kind != std::string_view::npos) {
            open[kind].push_back(k);
            continue;
        }
        const std::size_t closing = std::string_view(")]}").find(t[k].text[0]);
        if (closing != std::string_view::npos && !open[closing].empty()) {
            closeOf[open[closing].back()] = k;
            open[closing].pop_back();
        }
    }
    out.clear();
    out.reserve(source.size());
    bool tooDeep = false;
    EmitOneDimensionalAsTwo(source, t, closeOf, 0, t.size(), 0, source.size(), 0, out, tooDeep);
    return !tooDeep;
}

std::set<std::string, std::less<>> LoopBounds(std::string_view source) {
    const std::vector<Token> t = Tokenize(source);
    std::map<std::string_view, std::size_t> reads, asBound;
    std::map<std::string_view, std::set<std::string>> written; // each bound's spellings, by its own name
    for (std::size_t i = 0; i < t.size() && Step(); ++i)
        if (IdentStart(t[i].text[0])) ++reads[t[i].text];
    // The first ';' at or after each token, found once: loops nested in a
    // loop's head would have it looked for again from each.
    std::vector<std::size_t> nextSemicolon(t.size() + 1, t.size());
    for (std::size_t i = t.size(); i-- > 0 && Step();) nextSemicolon[i] = Is(t[i], ";") ? i : nextSemicolon[i + 1];
    for (std::size_t i = 0; i + 1 < t.size() && Step(); ++i) {
        if (!Is(t[i], "for") || !Is(t[i + 1], "(")) continue;
        const std::size_t close = MatchClose(t, i + 1);
        // The condition lies between the head's first two ';'.
        const std::size_t semicolon = nextSemicolon[i + 2];
        if (semicolon >= close) continue;
        const std::size_t first = semicolon + 1, last = nextSemicolon[first];
        if (last >= close || last < first + 3) continue;
        // ident, a comparison of one or two characters, ident; either may
        // be named through a namespace (`k < N::Count`), as its globals are.
        if (!IdentStart(t[first].text[0]) || !IdentStart(t[last - 1].text[0])) continue;
        std::size_t left = first, right = last - 1;
        while (left + 3 < right && Is(t[left + 1], ":") && Is(t[left + 2], ":") && IdentStart(t[left + 3].text[0]))
            left += 3;
        while (right > left + 3 && Is(t[right - 1], ":") && Is(t[right - 2], ":") && IdentStart(t[right - 3].text[0]))
            right -= 3;
        const std::size_t ops = right - left - 1;
        bool comparison = ops >= 1 && ops <= 2;
        for (std::size_t k = left + 1; comparison && k < right; ++k)
            comparison = t[k].text.size() == 1 && std::strchr("<>=!", t[k].text[0]) != nullptr;
        if (!comparison) continue;
        for (const auto& [from, to] : {std::pair{first, left}, std::pair{right, last - 1}}) {
            ++asBound[t[to].text];
            std::string name;
            for (std::size_t k = from; k <= to; ++k) name += t[k].text;
            written[t[to].text].insert(std::move(name));
        }
    }
    std::set<std::string, std::less<>> out;
    // The declaration is the one read that is no bound: its own name, where
    // the bounds may name it through its namespace.
    for (const auto& [name, n] : asBound)
        if (reads[name] == n + 1) out.insert(written[name].begin(), written[name].end());
    return out;
}

bool UnnamedEntryParameter(std::string_view source, std::string_view entry) {
    const std::vector<Token> t = Tokenize(source);
    int depth = 0;
    // Tokens up to here were read as one list's parameters: an entry's name
    // among them is a call in that list, not another list to read.
    std::size_t read = 0;
    for (std::size_t i = 0; i + 1 < t.size() && Step(); ++i) {
        if (Is(t[i], "{")) ++depth;
        if (Is(t[i], "}")) --depth;
        if (i < read || depth != 0 || t[i].text != entry || !Is(t[i + 1], "(")) continue;
        std::size_t tokens = 0, names = 0;
        bool reading = true, onlyVoid = true;
        int nest = 0;
        std::size_t j = i + 2;
        for (; j <= t.size() && Step(); ++j) {
            const bool end = j == t.size();
            const std::string_view w = end ? std::string_view(")") : t[j].text;
            if (w == "(") ++nest;
            if (w == ")" && nest > 0) {
                --nest;
                continue;
            }
            if (nest > 0) continue;
            if (w == "," || w == ")") {
                if (tokens > 0 && names < 2 && !(names == 1 && onlyVoid && w == ")")) return true;
                if (w == ")") break;
                tokens = names = 0;
                reading = onlyVoid = true;
                continue;
            }
            ++tokens;
            if (w == ":" || w == "=" || w == "[") reading = false;
            const bool modifier = w == "in" || w == "out" || w == "inout" || w == "uniform" || w == "const" ||
                                  w == "linear" || w == "centroid" || w == "nointerpolation" ||
                                  w == "noperspective" || w == "sample";
            if (reading && !modifier && IdentStart(w[0])) {
                ++names;
                onlyVoid = onlyVoid && w == "void";
            }
        }
        read = j;
    }
    return false;
}

namespace {

// The '>' that closes the annotation block opened at `open`; t.size() when
// none does. A value runs to its ';' whatever it holds: the '<' and '>' of
// `1 << 2`, `kMask >> 4` or `a > b` pair with nothing.
std::size_t AnnotationClose(const std::vector<Token>& t, std::size_t open) {
    for (std::size_t k = open + 1; k < t.size() && Step(); ++k) {
        if (Is(t[k], ">")) return k;
        if (Is(t[k], "{") || Is(t[k], "(") || Is(t[k], "[")) {
            k = MatchClose(t, k);
        } else if (Is(t[k], "}") || Is(t[k], ")") || Is(t[k], "]")) {
            break;
        } else if (Is(t[k], "=")) {
            // To the value's ';', or as the brackets pair where it has none.
            std::size_t j = k + 1;
            while (j < t.size() && !Is(t[j], ";") && !Is(t[j], "}") && !Is(t[j], ")") && !Is(t[j], "]") && Step())
                j = Is(t[j], "{") || Is(t[j], "(") || Is(t[j], "[") ? MatchClose(t, j) + 1 : j + 1;
            if (j < t.size() && Is(t[j], ";")) k = j;
        }
    }
    // Not an annotation of that form: as the brackets pair.
    return MatchClose(t, open);
}

// Whether the token at `at` follows a declarator's `: register(...)` or
// `: packoffset(...)`, after which annotations may stand too.
bool AfterBinding(const std::vector<Token>& t, std::size_t at) {
    if (at < 4 || !Is(t[at - 1], ")")) return false;
    // The binding's few tokens back to its '('.
    std::size_t open = at - 1;
    while (open > 0 && at - open < 16 && !Is(t[open], "(")) --open;
    return Is(t[open], "(") && t[open].close == at - 1 && open >= 2 &&
           (Is(t[open - 1], "register") || Is(t[open - 1], "packoffset")) && Is(t[open - 2], ":");
}

} // namespace

void EmptyBlankLines(std::string& text) {
    std::size_t out = 0;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const bool blank = text.find_first_not_of(" \t\r", at) >= end;
        if (!blank) {
            std::memmove(&text[out], &text[at], end - at);
            out += end - at;
        }
        if (end < text.size()) text[out++] = '\n';
        at = end + 1;
    }
    text.resize(out);
}

std::string BlankEffectSyntax(std::string_view source) {
    std::string out(source);
    const std::vector<Token> t = Tokenize(source);
    std::size_t first = 0; // the statement's first token
    bool sawEquals = false;
    for (std::size_t i = 0; i < t.size() && Step(); ++i) {
        const std::string_view w = t[i].text;
        const bool statementStart = i == first;
        // In any case, as the effect reads them ("Technique", "TECHNIQUE").
        if (statementStart && (EqualNoCase(w, "technique") || EqualNoCase(w, "technique9") ||
                               EqualNoCase(w, "technique10") || EqualNoCase(w, "technique11"))) {
            std::size_t open = i + 1;
            while (open < t.size() && !Is(t[open], "{") && !Is(t[open], ";") && Step())
                open = Is(t[open], "<") ? AnnotationClose(t, open) + 1 : open + 1; // past its annotations
            const std::size_t close = open < t.size() && Is(t[open], "{") ? MatchClose(t, open) : open;
            const std::size_t end = close < t.size() ? TokenEnd(t[close]) : source.size();
            Blank(out, t[i].begin, end);
            i = std::min(close, t.size() - 1);
            first = i + 1;
            sawEquals = false;
            continue;
        }
        // (`Matrix<...>` is no annotation either: the type word in another case.)
        if (w == "<" && !sawEquals && i > first && !EqualNoCase(t[i - 1].text, "matrix") &&
            !EqualNoCase(t[i - 1].text, "vector") &&
            (IdentStart(t[i - 1].text[0]) || Is(t[i - 1], "]") || AfterBinding(t, i))) {
            // An annotation after a declarator or a semantic.
            const std::size_t close = AnnotationClose(t, i);
            Blank(out, t[i].begin, close < t.size() ? TokenEnd(t[close]) : source.size());
            if (close >= t.size()) break;
            i = close;
            continue;
        }
        if (w == "=") sawEquals = true;
        if (w == "{") {
            const std::size_t close = MatchClose(t, i);
            if (close >= t.size()) break;
            i = close;
            if (!sawEquals) first = i + 1; // a function or a struct ends the statement
            continue;
        }
        if (w != ";") continue;
        // A string or a shader object: the effect's own.
        bool effectOnly = false;
        for (std::size_t k = first; k < i && !effectOnly && Step(); ++k) {
            const std::string_view v = t[k].text;
            if (Is(t[k], "{") || Is(t[k], "(")) k = std::min(MatchClose(t, k), i);
            effectOnly = v == "compile" || (k <= first + 2 && (v == "string" || EqualNoCase(v, "pixelshader") ||
                                                               EqualNoCase(v, "vertexshader")));
        }
        if (effectOnly) Blank(out, t[first].begin, TokenEnd(t[i]));
        first = i + 1;
        sawEquals = false;
    }
    return out;
}

std::string GroupLocalFlatLists(std::string_view source) {
    const std::vector<Token> t = Tokenize(source);
    std::vector<std::size_t> opens, closes;
    int depth = 0;
    for (std::size_t i = 0; i < t.size() && Step(); ++i) {
        if (Is(t[i], "{")) ++depth;
        if (Is(t[i], "}")) --depth;
        if (depth <= 0 || i + 4 >= t.size() || !Is(t[i + 2], "[")) continue;
        const TypeInfo type = ParseType(t[i].text);
        if (!type.known || type.sampler || type.texture || !IdentStart(t[i + 1].text[0])) continue;
        const std::size_t close = MatchClose(t, i + 2);
        if (close + 2 >= t.size() || !Is(t[close + 1], "=") || !Is(t[close + 2], "{") || close > i + 4) continue;
        const std::size_t elements = close == i + 4 ? std::size_t(std::atoi(std::string(t[i + 3].text).c_str())) : 0;
        if (close == i + 4 && (elements == 0 || elements > kMaxRegisters)) continue;
        GroupFlatList(t, close + 2, std::size_t(type.rows) * type.columns, elements, opens, closes);
    }
    if (opens.empty()) return std::string(source);
    // Made in one sweep: a brace put in at a time would move the rest of the
    // text each time. At one place a '}' goes before a '{'.
    std::vector<std::pair<std::size_t, char>> inserts;
    for (std::size_t at : closes) inserts.push_back({at, '}'});
    for (std::size_t at : opens) inserts.push_back({at, '{'});
    std::stable_sort(inserts.begin(), inserts.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::string out;
    out.reserve(source.size() + inserts.size());
    std::size_t from = 0;
    for (const auto& [at, c] : inserts) {
        out.append(source.substr(from, at - from));
        out += c;
        from = at;
    }
    out.append(source.substr(from));
    return out;
}

bool CallsNoise(std::string_view source) {
    if (source.find("noise") == std::string_view::npos) return false;
    const std::vector<Token> t = Tokenize(source);
    bool called = false;
    int depth = 0;
    for (std::size_t i = 0; i + 1 < t.size(); ++i) {
        if (Is(t[i], "{")) ++depth;
        if (Is(t[i], "}")) --depth;
        if (!Is(t[i], "noise") || !Is(t[i + 1], "(")) continue;
        if (depth == 0 && i > 0 && IdentStart(t[i - 1].text[0])) return false; // its definition or declaration
        called = true;
    }
    return called;
}

std::string LiftEntryUniforms(std::string_view source, std::string_view entry) {
    const std::vector<Token> t = Tokenize(source);
    // The first '{' or ';' at or after each token, found once: what follows
    // each parameter list, a body or the end of a declaration.
    std::vector<std::size_t> nextBlockOrEnd(t.size() + 1, t.size());
    for (std::size_t i = t.size(); i-- > 0 && Step();)
        nextBlockOrEnd[i] = Is(t[i], "{") || Is(t[i], ";") ? i : nextBlockOrEnd[i + 1];
    int depth = 0;
    for (std::size_t i = 1; i + 1 < t.size() && Step(); ++i) {
        if (Is(t[i], "{")) ++depth;
        if (Is(t[i], "}")) --depth;
        if (depth != 0 || t[i].text != entry || !Is(t[i + 1], "(") || !IdentStart(t[i - 1].text[0])) continue;
        const std::size_t close = MatchClose(t, i + 1);
        const std::size_t body = close < t.size() ? nextBlockOrEnd[close + 1] : t.size();
        if (body >= t.size() || Is(t[body], ";")) continue; // a declaration only
        const std::size_t bodyClose = MatchClose(t, body);
        if (bodyClose >= t.size()) return std::string(source);
        std::string globals;
        std::set<std::string_view> names;
        std::map<std::string_view, std::string> copies;
        std::vector<std::pair<std::size_t, std::size_t>> blanks;
        std::size_t from = i + 2, lastKept = 0; // the comma after the last parameter kept
        bool keptAny = false;
        for (std::size_t k = i + 2; k <= close && Step(); ++k) {
            if (k < close && (Is(t[k], "(") || Is(t[k], "[") || Is(t[k], "{") || Is(t[k], "<"))) {
                k = MatchClose(t, k);
                continue;
            }
            if (k < close && !Is(t[k], ",")) continue;
            // One parameter [from, k): its name is the last word before its
            // semantic, array size or default.
            // A sampler is a constant whether it says so or not.
            std::size_t nameAt = from, uniformAt = k;
            bool sampler = false;
            for (std::size_t m = from; m < k && !Is(t[m], ":") && !Is(t[m], "=") && !Is(t[m], "[") && Step(); ++m) {
                if (Is(t[m], "uniform")) uniformAt = m;
                if (IdentStart(t[m].text[0])) nameAt = m;
                sampler = sampler || t[m].text.starts_with("sampler") || Is(t[m], "SamplerState");
            }
            if (from < k && (uniformAt < k || (sampler && nameAt > from))) {
                names.insert(t[nameAt].text);
                // The copy a body that changes the parameter works on.
                std::string copy;
                for (std::size_t m = from; m < k && Step(); ++m) {
                    if (Is(t[m], ":") || Is(t[m], "=")) break;
                    if (m == uniformAt || Is(t[m], "in") || Is(t[m], "const")) continue;
                    copy += std::string(t[m].text) + " ";
                }
                copies[t[nameAt].text] = copy + "= " + std::string(kLiftedUniform) + std::string(t[nameAt].text) + ";";
                // `in` and `const` are a parameter's words, no global's.
                for (std::size_t m = from; m < k && Step(); ++m)
                    if (m != uniformAt && !Is(t[m], "in") && !Is(t[m], "const"))
                        globals += (m == nameAt ? std::string(kLiftedUniform) : std::string()) + std::string(t[m].text) + " ";
                globals += "; ";
                // The parameter with the comma after it, or before it when last.
                const bool last = k == close;
                blanks.push_back({last && keptAny ? lastKept : t[from].begin, last ? t[k - 1].begin + t[k - 1].text.size()
                                                                                    : TokenEnd(t[k])});
            } else if (from < k) {
                keptAny = true;
                lastKept = k < close ? t[k].begin : 0;
            }
            from = k + 1;
        }
        if (names.empty()) return std::string(source);
        std::string blanked(source);
        for (const auto& [begin, end] : blanks) Blank(blanked, begin, end);
        // Made in one sweep: the globals before the entry's return type, each
        // read in the body renamed. A name put in at a time would move the
        // rest of the text for every read.
        const std::size_t declaration = t[i - 1].begin;
        std::string out;
        out.reserve(source.size() + globals.size());
        out.append(blanked, 0, declaration);
        out += globals;
        // A parameter the body changes is a local copy of its constant, as a
        // parameter is; the others read the constant itself.
        std::set<std::string_view> written;
        for (std::size_t k = body + 1; k < bodyClose && Step(); ++k) {
            if (!names.count(t[k].text) || Is(t[k - 1], ".")) continue;
            if (Is(t[k - 1], "+") && Is(t[k - 2], "+")) written.insert(t[k].text);
            if (Is(t[k - 1], "-") && Is(t[k - 2], "-")) written.insert(t[k].text);
            std::size_t m = k + 1;
            while (m < bodyClose && Step()) {
                if (Is(t[m], ".") && m + 1 < bodyClose) m += 2;
                else if (Is(t[m], "[")) m = MatchClose(t, m) + 1;
                else break;
            }
            if (m + 1 >= bodyClose) continue;
            const bool assigns = Is(t[m], "=") && !Is(t[m + 1], "=");
            const bool compound = Is(t[m + 1], "=") && (Is(t[m], "+") || Is(t[m], "-") || Is(t[m], "*") ||
                                                        Is(t[m], "/") || Is(t[m], "%"));
            const bool steps = (Is(t[m], "+") && Is(t[m + 1], "+")) || (Is(t[m], "-") && Is(t[m + 1], "-"));
            if (assigns || compound || steps) written.insert(t[k].text);
        }
        std::size_t copied = declaration;
        if (!written.empty()) {
            const std::size_t open = TokenEnd(t[body]);
            out.append(blanked, copied, open - copied);
            for (std::string_view name : written) out += " " + copies[name];
            copied = open;
        }
        for (std::size_t k = body + 1; k <= bodyClose && Step(); ++k) {
            if (!names.count(t[k].text) || Is(t[k - 1], ".") || written.count(t[k].text)) continue;
            out.append(blanked, copied, t[k].begin - copied);
            out += kLiftedUniform;
            copied = t[k].begin;
        }
        out.append(blanked, copied);
        return out;
    }
    return std::string(source);
}

std::string UniformWordsOutsideEntry(std::string_view source, std::string_view entry) {
    // Most sources have none: a parameter's `uniform` follows a '(' or a ','.
    bool parameter = false;
    for (std::size_t at = source.find("uniform"); at != std::string_view::npos && !parameter;
         at = source.find("uniform", at + 7)) {
        std::size_t before = at;
        while (before > 0 && SpaceByte(source[before - 1])) --before;
        parameter = before > 0 && (source[before - 1] == '(' || source[before - 1] == ',');
    }
    if (!parameter) return std::string(source);
    const std::vector<Token> t = Tokenize(source);
    std::string out;
    int depth = 0;
    for (std::size_t i = 1; i + 1 < t.size() && Step(); ++i) {
        if (Is(t[i], "{")) ++depth;
        if (Is(t[i], "}")) --depth;
        // A function's parameter list at file scope: a name after a word, then '('.
        if (depth != 0 || !IdentStart(t[i].text[0]) || !Is(t[i + 1], "(") || !IdentStart(t[i - 1].text[0]) ||
            t[i].text == entry)
            continue;
        const std::size_t close = t[i + 1].close;
        if (close >= t.size()) break;
        for (std::size_t k = i + 2; k < close && Step(); ++k) {
            if (!Is(t[k], "uniform")) continue;
            if (out.empty()) out.assign(source);
            Blank(out, t[k].begin, TokenEnd(t[k]));
        }
        i = close;
    }
    return out.empty() ? std::string(source) : out;
}

namespace {

// A matrix type of one row or one column ("float1x4", "half3x1"): its
// scalar word and its two sizes. False for any other word.
bool OneRowOrColumn(std::string_view w, std::string_view& scalar, int& rows, int& columns) {
    static constexpr std::string_view kScalars[] = {"float", "half", "double", "int", "uint", "bool"};
    for (std::string_view name : kScalars) {
        if (w.size() != name.size() + 3 || !w.starts_with(name)) continue;
        const std::string_view rest = w.substr(name.size());
        if (rest[1] != 'x' || rest[0] < '1' || rest[0] > '4' || rest[2] < '1' || rest[2] > '4') return false;
        rows = rest[0] - '0';
        columns = rest[2] - '0';
        scalar = name;
        return rows == 1 || columns == 1;
    }
    return false;
}

} // namespace

std::string DialectTypeWords(std::string_view source) {
    const std::vector<Token> t = Tokenize(source);
    std::vector<std::size_t> partner(t.size(), t.size()), open;
    for (std::size_t i = 0; i < t.size(); ++i) {
        const std::string_view w = t[i].text;
        if (w == "(" || w == "[" || w == "{") open.push_back(i);
        if ((w == ")" || w == "]" || w == "}") && !open.empty()) {
            partner[open.back()] = i;
            partner[i] = open.back();
            open.pop_back();
        }
    }
    struct Edit {
        std::size_t at, erase;
        std::string text;
    };
    std::vector<Edit> edits;
    std::set<std::string, std::less<>> casts; // the cast types used
    auto isPrefix = [](std::string_view w) { return w == "-" || w == "+" || w == "!" || w == "~"; };
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (Is(t[i], "SamplerState")) {
            edits.push_back({t[i].begin, t[i].text.size(), "sampler     "}); // as wide: the columns stay
            continue;
        }
        std::string_view scalar;
        int rows = 0, columns = 0;
        if (!OneRowOrColumn(t[i].text, scalar, rows, columns)) continue;
        const std::string vector = std::string(scalar) + (rows * columns > 1 ? std::to_string(rows * columns) : "");
        if (i + 1 < t.size() && Is(t[i + 1], "(")) { // a constructor: the same components make the vector
            edits.push_back({t[i].begin, t[i].text.size(), vector});
            continue;
        }
        // A cast is "(" type ")" before an operand: prefix operators and
        // casts, a primary, its postfixes.
        if (i == 0 || i + 2 >= t.size() || !Is(t[i - 1], "(") || !Is(t[i + 1], ")")) continue;
        std::size_t k = i + 2;
        while (k < t.size()) {
            if (isPrefix(t[k].text)) ++k;
            else if (Is(t[k], "(") && k + 2 < t.size() && Is(t[k + 2], ")") && ParseType(t[k + 1].text).known) k += 3;
            else break;
        }
        if (k >= t.size()) continue;
        const std::string_view first = t[k].text;
        if (Is(t[k], "(")) {
            k = partner[k];
        } else if (IdentStart(first[0]) || std::isdigit(static_cast<unsigned char>(first[0])) || first[0] == '.') {
            if (k + 1 < t.size() && Is(t[k + 1], "(")) k = partner[k + 1];
        } else {
            continue; // no operand: not a cast
        }
        while (k < t.size() && k + 1 < t.size()) {
            if (Is(t[k + 1], "[")) k = partner[k + 1];
            else if (Is(t[k + 1], ".") && k + 2 < t.size() && IdentStart(t[k + 2].text[0])) k += 2;
            else break;
        }
        if (k >= t.size()) continue;
        casts.insert(std::string(t[i].text));
        edits.push_back({t[i - 1].begin, 1, "orvCast_" + std::string(t[i].text) + "(("});
        edits.push_back({t[i].begin, t[i].text.size(), ""});
        edits.push_back({t[i + 1].begin, 1, ""});
        edits.push_back({TokenEnd(t[k]), 0, "))"});
    }
    if (edits.empty()) return std::string(source);
    std::string functions;
    static constexpr std::string_view kParts = "xyzw";
    for (const std::string& cast : casts) {
        std::string_view scalar;
        int rows = 0, columns = 0;
        OneRowOrColumn(cast, scalar, rows, columns);
        const int n = rows * columns;
        const std::string s(scalar), result = s + (n > 1 ? std::to_string(n) : ""), name = "orvCast_" + cast;
        auto function = [&](const std::string& parameter, const std::string& value) {
            functions += result + " " + name + "(" + parameter + " a) { return " + value + "; } ";
        };
        function(s, "(" + result + ")a");
        if (n > 1) function(result, "a");
        for (int r = 2; r <= 4; ++r)
            for (int c = 2; c <= 4; ++c) {
                const std::string matrix = s + std::to_string(r) + "x" + std::to_string(c);
                if (rows == 1 && c >= n) // the first row, up to the size
                    function(matrix, n == c ? "a[0]" : "a[0]." + std::string(kParts.substr(0, std::size_t(n))));
                else if (columns == 1 && rows > 1 && r >= n) { // the first column
                    std::string parts;
                    for (int e = 0; e < n; ++e) parts += (e ? ", a[" : "a[") + std::to_string(e) + "][0]";
                    function(matrix, result + "(" + parts + ")");
                }
            }
    }
    if (!functions.empty()) edits.push_back({t.front().begin, 0, functions});
    std::stable_sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) { return a.at > b.at; });
    std::string out(source);
    for (const Edit& e : edits) out.replace(e.at, e.erase, e.text);
    return out;
}

std::string InitialiseStaticsInEntry(std::string_view source, std::string_view entry) {
    const std::vector<Token> t = Tokenize(source);
    // The functions the source defines, and where the entry's body opens.
    std::set<std::string_view> functions;
    std::size_t entryBody = t.size();
    int depth = 0;
    for (std::size_t i = 0; i + 1 < t.size() && Step(); ++i) {
        if (Is(t[i], "{")) ++depth;
        if (Is(t[i], "}")) --depth;
        if (depth != 0 || i == 0 || !IdentStart(t[i].text[0]) || !Is(t[i + 1], "(") || !IdentStart(t[i - 1].text[0]))
            continue;
        std::size_t k = MatchClose(t, i + 1);
        // Past the semantic of the return value to the body.
        while (k + 1 < t.size() && !Is(t[k + 1], "{") && !Is(t[k + 1], ";") && !Is(t[k + 1], "(") && Step()) ++k;
        if (k + 1 >= t.size() || !Is(t[k + 1], "{")) continue;
        functions.insert(t[i].text);
        if (t[i].text == entry) entryBody = k + 1;
        i = MatchClose(t, k + 1);
        if (i >= t.size()) break;
    }
    if (entryBody >= t.size() || functions.empty()) return std::string(source);
    // Where the entry's declaration starts: its return type, after any
    // modifiers and attributes of the statement before it.
    std::size_t entryStart = entryBody;
    while (entryStart > 0 && !Is(t[entryStart - 1], ";") && !Is(t[entryStart - 1], "}") && Step()) --entryStart;
    std::string blanked(source), assignments, prototypes;
    // A static declared after the entry is given its value by a function of
    // its own, defined after it (where every name its value reads is
    // declared) and called first thing in the entry.
    std::vector<std::pair<std::size_t, std::string>> initialisers; // after which byte, the function
    depth = 0;
    for (std::size_t first = 0, i = 0; i < t.size() && Step(); ++i) {
        if (Is(t[i], "{") || Is(t[i], "(") || Is(t[i], "[")) {
            // A body or a block ends a statement; brackets are inside one.
            const bool block = Is(t[i], "{") && !(i > 0 && Is(t[i - 1], "="));
            i = std::min(MatchClose(t, i), t.size() - 1);
            if (block) first = i + 1;
            continue;
        }
        if (!Is(t[i], ";")) continue;
        const std::size_t last = i;
        const std::size_t from = first;
        first = i + 1;
        if (!Is(t[from], "static")) continue;
        // `static [const] type name = value;`, one declarator, no array.
        std::size_t equals = from, constAt = last;
        for (std::size_t k = from; k < last && equals == from; ++k) {
            if (Is(t[k], "const")) constAt = k;
            if (Is(t[k], "=")) equals = k;
            if (Is(t[k], "[") || Is(t[k], ",") || Is(t[k], "{") || Is(t[k], ":")) break;
        }
        if (equals == from || equals + 1 >= last || !IdentStart(t[equals - 1].text[0]) || Is(t[equals + 1], "{"))
            continue;
        bool calls = false;
        for (std::size_t k = equals + 1; k + 1 < last && !calls; ++k)
            calls = functions.count(t[k].text) && Is(t[k + 1], "(");
        if (!calls) continue;
        std::string value(source.substr(t[equals + 1].begin, t[last].begin - t[equals + 1].begin));
        for (char& c : value)
            if (c == '\n' || c == '\r') c = ' ';
        const std::string assignment = std::string(t[equals - 1].text) + " = " + value + ";";
        if (i < entryBody) {
            assignments += " " + assignment;
        } else {
            const std::string name = "orvStatic" + std::to_string(initialisers.size());
            prototypes += "void " + name + "(); ";
            assignments += " " + name + "();";
            initialisers.push_back({TokenEnd(t[last]), " void " + name + "() { " + assignment + " }"});
        }
        Blank(blanked, t[equals].begin, t[last].begin);
        if (constAt < last) Blank(blanked, t[constAt].begin, TokenEnd(t[constAt]));
    }
    if (assignments.empty()) return std::string(source);
    // Made in one sweep, on the lines where each part stands.
    const std::size_t declaration = t[entryStart].begin, at = TokenEnd(t[entryBody]);
    std::string out;
    out.reserve(blanked.size() + prototypes.size() + assignments.size() + 64 * initialisers.size());
    out.append(blanked, 0, declaration);
    out += prototypes;
    out.append(blanked, declaration, at - declaration);
    out += assignments;
    std::size_t copied = at;
    for (const auto& [after, function] : initialisers) {
        out.append(blanked, copied, after - copied);
        out += function;
        copied = after;
    }
    out.append(blanked, copied);
    return out;
}

} // namespace gfx::hlsl
