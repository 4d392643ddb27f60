#include "platform/gfxutil/hlsl/GfxUtilHlslWords.h"

#include "platform/gfxutil/hlsl/GfxUtilHlslText.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <utility>
#include <vector>

namespace gfx::hlsl {
namespace {

// Attributes of the stages of later models (compute, geometry, hull,
// domain) that glslang reads on any function, stopping on or refusing one
// without its arguments.
bool IsStageAttribute(std::string_view w) {
    static const std::set<std::string_view> kNames = {"numthreads",     "maxvertexcount", "domain",
                                                      "partitioning",   "outputtopology", "patchconstantfunc",
                                                      "outputcontrolpoints", "instance",  "maxtessfactor"};
    return kNames.count(w) != 0;
}

bool IsModifierWord(std::string_view w) {
    static const std::set<std::string_view> kWords = {
        "static", "uniform", "const", "extern", "volatile", "shared", "groupshared", "row_major", "column_major",
        "in", "out", "inout", "precise", "nointerpolation", "linear", "centroid", "noperspective", "inline",
        "export", "typedef", "struct"};
    return kWords.count(w) != 0;
}

// A type word of the language ("float4", "half2x3", "sampler2D", "matrix").
bool IsTypeWord(std::string_view w) {
    static const std::string_view kScalars[] = {"float", "half", "double", "int", "uint", "bool", "dword",
                                                "min16float", "min10float", "min16int", "min12int", "min16uint"};
    for (const std::string_view s : kScalars) {
        if (!w.starts_with(s)) continue;
        const std::string_view rest = w.substr(s.size());
        if (rest.empty() || (rest.size() == 1 && rest[0] >= '1' && rest[0] <= '4') ||
            (rest.size() == 3 && rest[0] >= '1' && rest[0] <= '4' && rest[1] == 'x' && rest[2] >= '1' &&
             rest[2] <= '4'))
            return true;
    }
    return w == "vector" || w == "matrix" || w == "void" || w == "string" || w.starts_with("sampler") ||
           w.starts_with("texture") || w.starts_with("Texture") || w == "SamplerState";
}

struct Statement {
    std::size_t first, end; // tokens [first, end): its last is ';' or a body's '}'
    bool body;              // a function's definition
};

// The statements at file scope: declarations, definitions of functions
// and of structs.
std::vector<Statement> FileScopeStatements(const std::vector<Token>& t) {
    std::vector<Statement> out;
    std::size_t first = 0;
    bool equals = false, list = false, structWord = false;
    for (std::size_t i = 0; i < t.size() && Step(); ++i) {
        const std::string_view w = t[i].text;
        if (w == "=") equals = true;
        if (w == "struct" || w == "cbuffer" || w == "tbuffer") structWord = true;
        if (w == "(" || w == "[" || w == "<") {
            if (w == "(") list = true;
            if (t[i].close >= t.size()) break;
            i = t[i].close;
            continue;
        }
        if (w == "{") {
            const std::size_t close = t[i].close;
            if (close >= t.size()) break;
            i = close;
            if (list && !equals && !structWord) {
                out.push_back({first, i + 1, true});
                first = i + 1;
                equals = list = structWord = false;
            }
            continue;
        }
        if (w != ";") continue;
        out.push_back({first, i + 1, false});
        first = i + 1;
        equals = list = structWord = false;
    }
    return out;
}

// Where the entry is declared in [first, end): its name's token, or end.
std::size_t EntryName(const std::vector<Token>& t, const Statement& s, std::string_view entry) {
    for (std::size_t k = s.first + 1; k + 1 < s.end; ++k) {
        if (Is(t[k], "(") || Is(t[k], "=")) return s.end;
        if (t[k].text == entry && Is(t[k + 1], "(") && IdentStart(t[k - 1].text[0])) return k;
    }
    return s.end;
}

struct Edit {
    std::size_t at; // in the source
    std::string text;
};

// `text` with each edit's text put in at its byte, in source order (an
// edit's place may come after a later one's in the list).
std::string WithEdits(std::string_view text, std::vector<Edit>& edits, std::size_t perEdit) {
    std::stable_sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) { return a.at < b.at; });
    std::string out;
    out.reserve(text.size() + edits.size() * perEdit);
    std::size_t copied = 0;
    for (const Edit& e : edits) {
        out.append(text, copied, e.at - copied);
        out += e.text;
        copied = e.at;
    }
    out.append(text, copied);
    return out;
}

// Whether the source holds a word one of the forms below starts with: most
// hold none, and are left as they are without being read.
bool HoldsAnyForm(std::string_view source, std::string_view entry) {
    static const std::string_view kWords[] = {"export", "const", "precise", "CompileShader", "switch", "unroll", "fmod",
                                              "numthreads", "maxvertexcount", "domain", "partitioning",
                                              "outputtopology", "patchconstantfunc", "outputcontrolpoints",
                                              "instance", "maxtessfactor", "_centroid", "_CENTROID", "half",
                                              "namespace"};
    for (const std::string_view w : kWords)
        if (source.find(w) != std::string_view::npos) return true;
    // Type words in any case, and typedefs.
    for (std::size_t at = source.find_first_of("tTmMvVdD"); at != std::string_view::npos;
         at = source.find_first_of("tTmMvVdD", at + 1))
        for (const std::string_view w : {"texture", "matrix", "vector", "dword", "typedef"})
            if (EqualNoCase(source.substr(at, w.size()), w)) return true;
    // A struct's member of one component.
    if (source.find("struct") != std::string_view::npos)
        for (const std::string_view w : {"float1", "half1", "int1", "uint1", "bool1", "double1"})
            if (source.find(w) != std::string_view::npos) return true;
    // A boolean for an array's size.
    for (const std::string_view w : {"true", "false"})
        for (std::size_t at = source.find(w); at != std::string_view::npos; at = source.find(w, at + 1)) {
            const std::size_t before = at == 0 ? std::string_view::npos : source.find_last_not_of(" \t", at - 1);
            if (before != std::string_view::npos && source[before] == '[') return true;
        }
    // A function of a float scalar parameter, which may be given a vector.
    for (const std::string_view w : {"float ", "half "})
        for (std::size_t at = source.find(w); at != std::string_view::npos; at = source.find(w, at + 1)) {
            const std::size_t before = at == 0 ? std::string_view::npos : source.find_last_not_of(" \t\r\n", at - 1);
            if (before != std::string_view::npos && (source[before] == '(' || source[before] == ',')) return true;
        }
    // A vector constructor as an assignment's target.
    for (std::size_t at = source.find(") ="); at != std::string_view::npos; at = source.find(") =", at + 3))
        if (source.rfind("float", at) != std::string_view::npos) return true;
    // A `for` loop, whose counter may be read after it.
    for (std::size_t at = source.find("for"); at != std::string_view::npos; at = source.find("for", at + 3)) {
        const std::size_t next = source.find_first_not_of(" \t\r\n", at + 3);
        if ((at == 0 || !IdentChar(source[at - 1])) && next != std::string_view::npos && source[next] == '(')
            return true;
    }
    // The entry named twice: declared before its body, perhaps.
    const std::size_t first = entry.empty() ? std::string_view::npos : source.find(entry);
    return first != std::string_view::npos && source.find(entry, first + entry.size()) != std::string_view::npos;
}

// File-scope declarations: attributes of later stages, `export`, the
// entry's declarations without a body, shader objects in values, `const`
// of constants without a value. Blanked in `out`.
void FileScopeWords(const std::vector<Token>& t, std::string_view entry, std::string& out) {
    const std::vector<Statement> statements = FileScopeStatements(t);
    bool entryDefined = false;
    for (const Statement& s : statements)
        entryDefined = entryDefined || (s.body && EntryName(t, s, entry) < s.end);
    for (Statement s : statements) {
        // Attributes in front: [name] or [name(arguments)], one after another.
        while (s.first + 2 < s.end && Is(t[s.first], "[") && IdentStart(t[s.first + 1].text[0]) &&
               t[s.first].close < s.end) {
            if (t[s.first].close == s.first + 2 && IsStageAttribute(t[s.first + 1].text))
                Blank(out, t[s.first].begin, TokenEnd(t[s.first + 2]));
            s.first = t[s.first].close + 1;
        }
        if (s.first >= s.end) continue;
        if (Is(t[s.first], "export") && s.first + 1 < s.end && IdentStart(t[s.first + 1].text[0])) {
            Blank(out, t[s.first].begin, TokenEnd(t[s.first]));
            ++s.first;
        }
        if (!s.body && entryDefined && EntryName(t, s, entry) < s.end) {
            Blank(out, t[s.first].begin, TokenEnd(t[s.end - 1]));
            continue;
        }
        if (s.body) continue;
        // A shader object in a constant's value (`{5, CompileShader(ps_2_0,
        // f())}`) is the effect's: the program's value has 0 there.
        for (std::size_t k = s.first; k + 1 < s.end; ++k)
            if (Is(t[k], "CompileShader") && Is(t[k + 1], "(") && t[k + 1].close < s.end) {
                Blank(out, t[k].begin, TokenEnd(t[t[k + 1].close]));
                out[t[k].begin] = '0';
                k = t[k + 1].close;
            }
        // `const` of a constant the application sets: no value, not static,
        // no function's declaration, no typedef.
        bool plain = true;
        for (std::size_t k = s.first; k < s.end && plain; ++k)
            plain = !Is(t[k], "static") && !Is(t[k], "typedef") && !Is(t[k], "=") && !Is(t[k], "{") &&
                    !(Is(t[k], "(") && !(k > 0 && (Is(t[k - 1], "register") || Is(t[k - 1], "packoffset"))));
        if (!plain) continue;
        for (std::size_t k = s.first; k < s.end && IdentStart(t[k].text[0]) && IsModifierWord(t[k].text); ++k)
            if (Is(t[k], "const")) Blank(out, t[k].begin, TokenEnd(t[k]));
    }
}

// A loop unrolled with a count from the attributes at `i`: the edits that
// count its runs; the token after the attributes.
// A number written as one, with its sign: `-4.5`, `2`, `+1e3`; `k` moves
// past it.
bool SignedNumber(const std::vector<Token>& t, std::size_t& k, double& value) {
    double sign = 1.0;
    if (k < t.size() && (Is(t[k], "-") || Is(t[k], "+"))) {
        sign = Is(t[k], "-") ? -1.0 : 1.0;
        ++k;
    }
    if (k >= t.size() || t[k].text.empty() || !(std::isdigit(static_cast<unsigned char>(t[k].text[0])) ||
                                                 t[k].text[0] == '.'))
        return false;
    if (t[k].text.starts_with("0x") || t[k].text.starts_with("0X")) return false;
    value = sign * double(Number(t[k].text));
    ++k;
    return true;
}

// A float literal of `v` that reads back as the same float.
std::string FloatLiteral(double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.9g", v);
    std::string out(text);
    if (out.find_first_of(".en") == std::string::npos) out += ".0";
    return "(" + out + ")";
}

std::size_t CountedLoop(const std::vector<Token>& t, std::size_t i, std::size_t& loops, std::vector<Edit>& edits) {
    std::string count;
    std::size_t k = i;
    while (k < t.size() && Is(t[k], "[") && t[k].close < t.size() && Step()) {
        if (k + 5 == t[k].close && Is(t[k + 1], "unroll") && Is(t[k + 2], "(") && Is(t[k + 4], ")") &&
            std::all_of(t[k + 3].text.begin(), t[k + 3].text.end(), [](char c) { return c >= '0' && c <= '9'; }))
            count = std::string(t[k + 3].text);
        k = t[k].close + 1;
    }
    if (count.empty() || k + 1 >= t.size() || !Is(t[k], "for") || !Is(t[k + 1], "(") || t[k + 1].close >= t.size())
        return k;
    const std::size_t close = t[k + 1].close;
    std::size_t semicolons[2] = {close, close}, found = 0;
    for (std::size_t m = k + 2; m < close && found < 2 && Step(); ++m) {
        if (Is(t[m], "(") || Is(t[m], "[")) m = std::min(t[m].close, close);
        else if (Is(t[m], ";")) semicolons[found++] = m;
    }
    if (found != 2) return k;
    const std::string counter = "orvUnrolled" + std::to_string(loops++);
    edits.push_back({t[i].begin, "int " + counter + " = 0; "});
    if (semicolons[1] == semicolons[0] + 1) {
        edits.push_back({t[semicolons[1]].begin, counter + " < " + count});
    } else {
        edits.push_back({t[semicolons[0] + 1].begin, "("});
        edits.push_back({t[semicolons[1]].begin, ") && " + counter + " < " + count});
    }
    edits.push_back({t[close].begin, std::string(close == semicolons[1] + 1 ? "" : ", ") + "++" + counter});
    return k;
}

// The parameters a function's list at `open` declares.
std::size_t ParameterCount(const std::vector<Token>& t, std::size_t open) {
    const std::size_t close = t[open].close;
    if (close == open + 1 || (close == open + 2 && Is(t[open + 1], "void"))) return 0;
    std::size_t count = 1;
    for (std::size_t k = open + 1; k < close; ++k) {
        if (Is(t[k], "(") || Is(t[k], "[") || Is(t[k], "{") || Is(t[k], "<")) k = std::max(k, std::min(t[k].close, close));
        else if (Is(t[k], ",")) ++count;
    }
    return count;
}

// An entry point defined more than once, overloaded: the one with the fewest
// parameters is the program, where the others are the helpers it calls
// (`main(t, c, true)` from `main(t, c)`). The others, and every call of the
// name (a call within the program is of another overload: functions do not
// recurse), are renamed.
void OverloadedEntry(const std::vector<Token>& t, std::string_view entry, std::vector<Edit>& edits) {
    std::vector<std::size_t> names; // the name token of each definition
    for (const Statement& s : FileScopeStatements(t)) {
        if (!s.body) continue;
        const std::size_t k = EntryName(t, s, entry);
        if (k < s.end && t[k + 1].close < s.end) names.push_back(k);
    }
    if (names.size() < 2) return;
    std::size_t chosen = names[0];
    for (const std::size_t k : names)
        if (ParameterCount(t, k + 1) < ParameterCount(t, chosen + 1)) chosen = k;
    for (std::size_t k = 0; k + 1 < t.size() && Step(); ++k)
        if (k != chosen && t[k].text == entry && Is(t[k + 1], "(") && !(k > 0 && Is(t[k - 1], ".")))
            edits.push_back({t[k].begin, std::string(kOverloadedEntry)});
}

// Whether the name at `k` is declared there: a type's word (or a list's
// comma) before it, and what may follow a declarator after it.
bool DeclaredAt(const std::vector<Token>& t, std::size_t k, std::size_t first) {
    if (k <= first || k + 1 >= t.size() || !IdentStart(t[k].text[0])) return false;
    const std::string_view before = t[k - 1].text, after = t[k + 1].text;
    const bool typed = (IdentStart(before[0]) && before != "return" && before != "else" && before != "case" &&
                        before != "do") ||
                       before == ",";
    return typed && (after == "=" || after == ";" || after == "," || after == "[" || after == ":" || after == "(" ||
                     after == ")");
}

// Whether the name at `k` is written qualified (`Fog::Start`) or as a member (`l.Start`).
bool Qualified(const std::vector<Token>& t, std::size_t k) {
    if (k > 0 && Is(t[k - 1], ".")) return true;
    return k > 1 && Is(t[k - 1], ":") && Is(t[k - 2], ":") && t[k - 1].begin == t[k - 2].begin + 1;
}

// A namespace of the source: its path, its braces, the one around it and
// the names it declares at its own scope.
struct Space {
    std::string path; // "A::B::"
    std::size_t open, close;
    std::size_t around; // the namespace it is in; size_t(-1) for none
    std::set<std::string_view> names;
};

// The source's namespaces in the order they open. Namespaces nest no deeper
// than this here: deeper ones leave all as written (each name is looked up
// through every level around it), and none is given.
std::vector<Space> Namespaces(const std::vector<Token>& t) {
    constexpr std::size_t kMaxDepth = 64; // as the syntax check takes them
    std::vector<Space> spaces;
    std::vector<std::size_t> open; // the namespaces the walk is in
    for (std::size_t i = 0; i + 2 < t.size() && Step(); ++i) {
        while (!open.empty() && i > spaces[open.back()].close) open.pop_back();
        if (!Is(t[i], "namespace") || !IdentStart(t[i + 1].text[0]) || !Is(t[i + 2], "{") || t[i + 2].close >= t.size())
            continue;
        if (open.size() >= kMaxDepth) return {};
        const std::string path = open.empty() ? std::string() : spaces[open.back()].path;
        spaces.push_back({path + std::string(t[i + 1].text) + "::", i + 2, t[i + 2].close,
                          open.empty() ? std::size_t(-1) : open.back(), {}});
        open.push_back(spaces.size() - 1);
    }
    return spaces;
}

// Whether `A::B` is written from `k` on, the colons side by side: the
// last name's token, or k.
std::size_t QualifiedNameEnd(const std::vector<Token>& t, std::size_t k) {
    std::size_t last = k;
    while (last + 3 < t.size() && Is(t[last + 1], ":") && Is(t[last + 2], ":") &&
           t[last + 2].begin == t[last + 1].begin + 1 && IdentStart(t[last + 3].text[0]))
        last += 3;
    return last;
}

// The types a namespace defines at its own scope (structs and typedefs),
// renamed at their definitions and at each use, qualified or not, to a name
// of the file's scope: glslang's front end reads no type named through a
// namespace (`A::S`), and keeps a struct by its own name at the file's scope,
// where two namespaces' structs of one name would meet; a typedef it keeps
// by the namespace's name, so that is moved out of it. The new name is
// kNamespaceType, then each part of the path and the name as its size, '_'
// and the part, so no two paths give one name. The names written go against
// `budget`; the tokens renamed are `taken`.
void NamespaceTypes(const std::vector<Token>& t, const std::vector<Space>& spaces, std::string& out,
                    std::vector<Edit>& edits, std::size_t& budget, std::set<std::size_t>& taken) {
    // Each path once (a namespace may be opened again), the file's scope last:
    // the namespaces and types each holds.
    std::map<std::string_view, std::size_t> ids;
    std::vector<std::size_t> idOf(spaces.size());
    for (std::size_t i = 0; i < spaces.size(); ++i) idOf[i] = ids.emplace(spaces[i].path, ids.size()).first->second;
    const std::size_t file = ids.size();
    std::vector<std::map<std::string_view, std::size_t>> inner(file + 1);
    std::vector<std::map<std::string_view, std::string>> types(file + 1);
    for (std::size_t i = 0; i < spaces.size(); ++i)
        inner[spaces[i].around < spaces.size() ? idOf[spaces[i].around] : file][t[spaces[i].open - 1].text] = idOf[i];
    std::set<std::size_t> defined; // the name tokens of the typedefs
    bool any = false;
    const auto rename = [&](const Space& s, std::size_t id, std::string_view own) {
        std::string name(kNamespaceType);
        const std::string full = s.path + std::string(own);
        for (std::size_t from = 0; from < full.size();) {
            const std::size_t end = std::min(full.find("::", from), full.size());
            name += std::to_string(end - from) + "_" + full.substr(from, end - from);
            from = end + 2;
        }
        types[id].emplace(own, std::move(name));
        any = true;
    };
    for (std::size_t i = 0; i < spaces.size(); ++i) {
        const Space& s = spaces[i];
        for (std::size_t k = s.open + 1; k + 2 < s.close && Step(); ++k) {
            if (Is(t[k], "namespace") && Is(t[k + 2], "{")) {
                k = std::min(t[k + 2].close, s.close);
                continue;
            }
            if (Is(t[k], "struct") && IdentStart(t[k + 1].text[0]) && Is(t[k + 2], "{")) {
                rename(s, idOf[i], t[k + 1].text);
                k = std::min(t[k + 2].close, s.close);
                continue;
            }
            // `typedef float4 colour;`, `typedef S pair[2];`: the name before
            // its brackets or the ';'.
            if (Is(t[k], "typedef")) {
                std::size_t end = k + 1, name = k;
                for (; end < s.close && !Is(t[end], ";") && Step(); ++end) {
                    if (IdentStart(t[end].text[0])) name = end;
                    if ((Is(t[end], "{") || Is(t[end], "(") || Is(t[end], "[") || Is(t[end], "<")) &&
                        t[end].close < s.close)
                        end = t[end].close;
                }
                if (name > k + 1 && end < s.close && Is(t[end], ";")) {
                    // glslang keeps a typedef by the namespace's name where
                    // it stands: the statement is moved out of the
                    // namespaces around it, on its line.
                    std::string close, reopen;
                    for (std::size_t from = 0; from < s.path.size(); from = s.path.find("::", from) + 2) {
                        close += "} ";
                        reopen += " namespace " + s.path.substr(from, s.path.find("::", from) - from) + " {";
                    }
                    if (close.size() + reopen.size() > budget) continue;
                    budget -= close.size() + reopen.size();
                    edits.push_back({t[k].begin, std::move(close)});
                    edits.push_back({TokenEnd(t[end]), std::move(reopen)});
                    rename(s, idOf[i], t[name].text);
                    defined.insert(name);
                }
                k = end;
                continue;
            }
            if ((Is(t[k], "{") || Is(t[k], "(") || Is(t[k], "[")) && t[k].close < s.close) k = t[k].close;
        }
    }
    if (!any) return;
    // A name is looked up from the namespaces the walk is in, innermost
    // first, then at the file's scope: the first that holds its first part
    // (a namespace, or the type itself when it is unqualified) is where the
    // rest is looked for, as a qualified name is found.
    std::vector<std::size_t> open;
    std::size_t next = 0;
    for (std::size_t k = 0; k < t.size() && Step(); ++k) {
        while (!open.empty() && k > spaces[open.back()].close) open.pop_back();
        while (next < spaces.size() && spaces[next].open <= k) open.push_back(next++);
        if (!IdentStart(t[k].text[0]) || Qualified(t, k) || (DeclaredAt(t, k, 0) && !defined.count(k))) continue;
        const std::size_t last = QualifiedNameEnd(t, k);
        const std::string* name = nullptr;
        for (std::size_t level = open.size() + 1; level-- > 0 && Step();) {
            std::size_t scope = level ? idOf[open[level - 1]] : file;
            if (last == k) {
                const auto found = types[scope].find(t[k].text);
                if (found == types[scope].end()) continue;
                name = &found->second;
                break;
            }
            if (!inner[scope].count(t[k].text)) continue;
            bool held = true;
            for (std::size_t m = k; m < last && held && Step(); m += 3) {
                const auto found = inner[scope].find(t[m].text);
                held = found != inner[scope].end();
                if (held) scope = found->second;
            }
            const auto found = types[scope].find(t[last].text);
            if (held && found != types[scope].end()) name = &found->second;
            break;
        }
        if (!name || name->size() > budget) {
            k = last;
            continue;
        }
        budget -= name->size();
        Blank(out, t[k].begin, TokenEnd(t[last]));
        edits.push_back({t[k].begin, *name});
        for (std::size_t m = k; m <= last; ++m) taken.insert(m);
        k = last;
    }
}

// The names a namespace declares at its own scope (its constants and
// functions), used unqualified within it, written qualified: glslang finds
// them only so. A function of the namespace that declares a parameter or a
// local of the name keeps its own; struct bodies keep their members. The
// namespaces' types are renamed first (NamespaceTypes).
void NamespaceMembers(const std::vector<Token>& t, std::string& out, std::vector<Edit>& edits) {
    std::vector<Space> spaces = Namespaces(t);
    if (spaces.empty()) return;
    // The qualifiers and names put in stay within the source's own size: a
    // deep namespace's names read over and over would otherwise grow the
    // text the passes after read many times over (uses past that are left
    // as written).
    std::size_t budget = t.empty() ? 0 : TokenEnd(t.back());
    std::set<std::size_t> taken; // the tokens of the types' names renamed
    NamespaceTypes(t, spaces, out, edits, budget, taken);
    std::set<std::string> paths;
    for (const Space& s : spaces) paths.insert(s.path);
    std::set<std::size_t> declarations;
    for (Space& s : spaces)
        for (std::size_t k = s.open + 1; k < s.close && Step(); ++k) {
            if (Is(t[k], "namespace") && k + 2 < s.close && Is(t[k + 2], "{")) {
                k = std::min(t[k + 2].close, s.close);
                continue;
            }
            if (DeclaredAt(t, k, s.open + 1) && !Is(t[k - 1], "struct")) {
                s.names.insert(t[k].text);
                declarations.insert(k);
            }
            if ((Is(t[k], "{") || Is(t[k], "(") || Is(t[k], "[")) && t[k].close < s.close) k = t[k].close;
        }
    // Each use within a namespace: its innermost namespace that declares it.
    const auto qualify = [&](std::size_t k, const std::string& path) {
        if (path.size() > budget) return;
        budget -= path.size();
        edits.push_back({t[k].begin, path});
    };
    for (const Space& s : spaces) {
        std::vector<const Space*> chain; // s and the namespaces around it, innermost first
        for (const Space* around = &s;; around = &spaces[around->around]) {
            chain.push_back(around);
            if (around->around >= spaces.size()) break;
        }
        // A name, or a namespace written before `::` (`B::F` within the A that
        // holds B): the path in front of it, null for none.
        const auto pathOf = [&](std::size_t k) -> const std::string* {
            if (!IdentStart(t[k].text[0]) || Qualified(t, k) || taken.count(k)) return nullptr;
            const bool scope = k + 2 < t.size() && Is(t[k + 1], ":") && Is(t[k + 2], ":");
            for (const Space* around : chain) {
                if (!scope && around->names.count(t[k].text)) return &around->path;
                if (scope && paths.count(around->path + std::string(t[k].text) + "::")) return &around->path;
            }
            return nullptr;
        };
        for (std::size_t k = s.open + 1; k < s.close && Step(); ++k) {
            if (Is(t[k], "namespace") && k + 2 < s.close && Is(t[k + 2], "{")) {
                k = std::min(t[k + 2].close, s.close); // its own uses are its own
                continue;
            }
            if (Is(t[k], "struct")) {
                std::size_t body = k + 1;
                while (body < s.close && !Is(t[body], "{") && !Is(t[body], ";") && body < k + 3) ++body;
                if (body < s.close && Is(t[body], "{")) k = std::min(t[body].close, s.close);
                continue;
            }
            // A function: its parameters and body, unless they declare the name.
            std::size_t end = k, from = k;
            if (Is(t[k], "(") && t[k].close + 1 < s.close) {
                std::size_t body = t[k].close + 1;
                while (body < s.close && Is(t[body], ":") && body + 1 < s.close) body += 2; // a semantic
                if (body < s.close && Is(t[body], "{")) end = t[body].close;
            }
            if (end == k) {
                const std::string* path = pathOf(k);
                if (path && !declarations.count(k)) qualify(k, *path);
                continue;
            }
            // A name after a comma is declared in a list of declarators
            // (`float a, b;`, a `for`'s head), not among a call's arguments
            // (`max(x, a)` reads the namespace's `a`).
            std::set<std::string_view> own;
            std::vector<std::size_t> parens; // the '(' the walk is in, within the parameters'
            for (std::size_t m = from; m < end && Step(); ++m) {
                while (!parens.empty() && m > t[parens.back()].close) parens.pop_back();
                if (Is(t[m], "(")) parens.push_back(m);
                const bool argument = m > from && Is(t[m - 1], ",") && !parens.empty() && parens.back() != from &&
                                      !Is(t[parens.back() - 1], "for");
                if (!argument && DeclaredAt(t, m, from)) own.insert(t[m].text);
            }
            for (std::size_t m = from; m < end && Step(); ++m) {
                const std::string* path = own.count(t[m].text) ? nullptr : pathOf(m);
                if (path) qualify(m, *path);
            }
            k = end;
        }
    }
}

// A parameter list's types with `half` read as `float`, which is what the
// D3D9 compiler computes it at: the key of overloads that differ by it only.
// Names, semantics and defaults are left out.
std::string FloatSignature(const std::vector<Token>& t, std::size_t open, std::size_t& halves) {
    std::string out;
    const std::size_t close = t[open].close;
    bool typeSeen = false;
    for (std::size_t k = open + 1; k < close; ++k) {
        if (Is(t[k], ",")) {
            out += ",";
            typeSeen = false;
            continue;
        }
        if (Is(t[k], "(") || Is(t[k], "[") || Is(t[k], "<")) {
            k = std::max(k, std::min(t[k].close, close));
            continue;
        }
        if (typeSeen || !IdentStart(t[k].text[0]) || (IsModifierWord(t[k].text) && !Is(t[k], "struct"))) {
            if (Is(t[k], "out") || Is(t[k], "inout")) out += std::string(t[k].text) + " ";
            continue;
        }
        typeSeen = true;
        if (t[k].text.starts_with("half")) {
            ++halves;
            out += "float" + std::string(t[k].text.substr(4));
        } else {
            out += std::string(t[k].text);
        }
    }
    return out;
}

// The scalar a value is computed at, as far as the words show it.
enum class Precision { Unknown, Literal, Half, Float, Double };

// A value's type as far as the words show it: its scalar, and its shape as
// its type word spells it after the scalar ("" for a scalar, "3", "4x4").
struct ValueType {
    Precision precision = Precision::Unknown;
    std::string shape;
};

// A type word's: `half2` Half and "2"; Unknown for any but the three scalars
// (`matrix`, `vector` and typedefs among them).
ValueType OfTypeWord(std::string_view w) {
    ValueType v;
    if (!IsTypeWord(w)) return v;
    for (const auto& [base, p] : {std::pair{std::string_view("half"), Precision::Half},
                                  std::pair{std::string_view("float"), Precision::Float},
                                  std::pair{std::string_view("double"), Precision::Double}})
        if (w.starts_with(base)) {
            v.shape = std::string(w.substr(base.size()));
            if (v.shape == "1") v.shape.clear(); // a vector of one reads as its scalar
            v.precision = v.shape.empty() || std::isdigit(static_cast<unsigned char>(v.shape[0])) ? p : Precision::Unknown;
            return v;
        }
    return v;
}

// A number's: its suffix types it (`1.0h` half, `1.0f` float, `1.0l` or
// `1.0lf` double); without one it takes the type of what it meets.
Precision OfNumber(std::string_view w) {
    if (w.starts_with("0x") || w.starts_with("0X")) return Precision::Literal;
    std::string suffix;
    for (std::size_t i = w.size(); i > 0 && std::isalpha(static_cast<unsigned char>(w[i - 1])) &&
                                   w[i - 1] != 'e' && w[i - 1] != 'E';
         --i)
        suffix.insert(suffix.begin(), char(std::tolower(static_cast<unsigned char>(w[i - 1]))));
    if (suffix == "h") return Precision::Half;
    if (suffix == "f") return Precision::Float;
    if (suffix == "l" || suffix == "lf") return Precision::Double;
    return Precision::Literal;
}

// The type of `name` as declared nearest before token `at` and from token
// `from` on (a declaration's type word, back over `a, b` lists); Unknown
// where no declaration of a type word is found.
ValueType DeclaredType(const std::vector<Token>& t, std::size_t from, std::size_t at, std::string_view name) {
    for (std::size_t k = at; k-- > from + 1 && Step();) {
        if (t[k].text != name || Is(t[k - 1], ".")) continue;
        std::size_t m = k - 1;
        while (m > from + 1 && Is(t[m], ",") && IdentStart(t[m - 1].text[0])) m -= 2;
        // An array of the type: its elements are read through a postfix
        // this reading does not follow.
        if (IsTypeWord(t[m].text)) return k + 1 < t.size() && Is(t[k + 1], "[") ? ValueType{} : OfTypeWord(t[m].text);
        // Declared with a struct's or a typedef's name.
        if (IdentStart(t[m].text[0]) && !Is(t[m], "return") && !Is(t[m], "else") && !Is(t[m], "case")) return {};
    }
    return {};
}

// Where the variables of a function are looked up: its own words, then the
// declarations at file scope before it.
struct Scope {
    std::size_t function = 0;                 // the function's first token
    const std::vector<Statement>* statements; // the file's
};

ValueType VariableType(const std::vector<Token>& t, const Scope& scope, std::size_t at, std::string_view name) {
    const ValueType local = DeclaredType(t, scope.function, at, name);
    if (local.precision != Precision::Unknown) return local;
    for (auto s = scope.statements->rbegin(); s != scope.statements->rend() && Step(); ++s) {
        if (s->body || s->first >= scope.function) continue;
        const ValueType global = DeclaredType(t, s->first == 0 ? 0 : s->first - 1, s->end, name);
        if (global.precision != Precision::Unknown) return global;
    }
    return {};
}

// A value's type after its postfix (`.xy`, `[i]`) from token `k` on, within
// [k, end); `k` is left after it. Unknown for a postfix not read here.
ValueType AfterPostfix(const std::vector<Token>& t, std::size_t& k, std::size_t end, ValueType v) {
    while (k < end && v.precision != Precision::Unknown) {
        if (Is(t[k], ".") && k + 1 < end && IdentStart(t[k + 1].text[0])) {
            const std::string_view swizzle = t[k + 1].text;
            const bool components = swizzle.size() <= 4 && !v.shape.empty() && v.shape.find('x') == std::string::npos &&
                                    (swizzle.find_first_not_of("xyzw") == std::string_view::npos ||
                                     swizzle.find_first_not_of("rgba") == std::string_view::npos);
            const bool ofScalar = v.shape.empty() && swizzle.find_first_not_of("xr") == std::string_view::npos &&
                                  swizzle.size() <= 4;
            if (!components && !ofScalar) return {};
            v.shape = swizzle.size() == 1 ? std::string() : std::to_string(swizzle.size());
            k += 2;
        } else if (Is(t[k], "[") && t[k].close < end) {
            // A vector's component, or a matrix's row.
            const std::size_t x = v.shape.find('x');
            if (v.shape.empty()) return {};
            v.shape = x == std::string::npos ? std::string() : v.shape.substr(x + 1);
            if (v.shape == "1") v.shape.clear();
            k = t[k].close + 1;
        } else {
            break;
        }
    }
    return v;
}

// The type of the value of tokens [begin, end): sums, differences,
// products and quotients of variables, numbers, casts and constructors,
// whose widest typed operand it takes (a number without a suffix takes the
// others' type, a scalar their shape). Unknown for any other form (a call,
// a comparison, a member of a struct, operands of two shapes): the caller
// then leaves the choice as it was.
ValueType TypeOfValue(const std::vector<Token>& t, std::size_t begin, std::size_t end, const Scope& scope,
                      int depth = 0) {
    if (begin >= end || depth > 8) return {};
    ValueType out{Precision::Literal, {}};
    bool operand = true;
    for (std::size_t k = begin; k < end;) {
        const std::string_view w = t[k].text;
        if (!operand) {
            if (w != "+" && w != "-" && w != "*" && w != "/" && w != "%") return {};
            operand = true;
            ++k;
            continue;
        }
        if (w == "-" || w == "+") {
            ++k;
            continue;
        }
        ValueType v;
        std::size_t next = k + 1;
        if (w == "(") {
            const std::size_t close = t[k].close;
            if (close >= end) return {};
            if (close == k + 2 && IsTypeWord(t[k + 1].text)) {
                // A cast, of the operand after it, whatever that is.
                v = OfTypeWord(t[k + 1].text);
                next = close + 1;
                while (next < end && (Is(t[next], "-") || Is(t[next], "+"))) ++next;
                if (next >= end) return {};
                next = (Is(t[next], "(") && t[next].close < end) ? t[next].close + 1 : next + 1;
                if (next < end && Is(t[next], "(") && t[next].close < end) next = t[next].close + 1;
                while (next < end && ((Is(t[next], ".") && next + 1 < end) || (Is(t[next], "[") && t[next].close < end)))
                    next = Is(t[next], ".") ? next + 2 : t[next].close + 1;
            } else {
                v = TypeOfValue(t, k + 1, close, scope, depth + 1);
                next = close + 1;
            }
        } else if (std::isdigit(static_cast<unsigned char>(w[0])) || w[0] == '.') {
            v.precision = OfNumber(w);
        } else if (IdentStart(w[0])) {
            if (k + 1 < end && Is(t[k + 1], "(")) {
                if (!IsTypeWord(w) || t[k + 1].close >= end) return {};
                v = OfTypeWord(w); // a constructor
                next = t[k + 1].close + 1;
            } else {
                v = VariableType(t, scope, k, w);
            }
        }
        k = next;
        v = AfterPostfix(t, k, end, v);
        if (v.precision == Precision::Unknown) return {};
        if (v.precision != Precision::Literal && (out.precision == Precision::Literal || v.precision > out.precision))
            out.precision = v.precision;
        if (out.shape.empty()) out.shape = v.shape;
        else if (!v.shape.empty() && v.shape != out.shape) return {};
        operand = false;
    }
    if (operand) return {};
    return out;
}

// One definition of an overloaded name: where its name is, its parameters'
// types, and which are `half` ('1') or not ('0').
struct Overload {
    std::size_t name = 0;
    std::vector<ValueType> parameters;
    std::string halves;
    bool renamed = false;
};

// The parameters of the list opening at `open`, by their type words.
std::vector<ValueType> ParameterTypes(const std::vector<Token>& t, std::size_t open) {
    std::vector<ValueType> out;
    bool typeSeen = false;
    const std::size_t close = t[open].close;
    for (std::size_t k = open + 1; k < close; ++k) {
        if (Is(t[k], ",")) {
            if (!typeSeen) out.emplace_back();
            typeSeen = false;
            continue;
        }
        if (Is(t[k], "(") || Is(t[k], "[") || Is(t[k], "<")) {
            k = std::max(k, std::min(t[k].close, close));
            continue;
        }
        if (typeSeen || !IdentStart(t[k].text[0]) || (IsModifierWord(t[k].text) && !Is(t[k], "struct"))) continue;
        typeSeen = true;
        out.push_back(OfTypeWord(t[k].text));
    }
    if (close > open + 1 && !typeSeen) out.emplace_back();
    return out;
}

Overload OverloadAt(const std::vector<Token>& t, std::size_t k, bool renamed) {
    Overload o{k, ParameterTypes(t, k + 1), {}, renamed};
    for (const ValueType& p : o.parameters) o.halves += p.precision == Precision::Half ? '1' : '0';
    return o;
}

// What an overload renamed out of glslang's way is prefixed with.
std::string HalfPrefix(const std::string& halves) { return std::string(kHalfOverload) + halves + "_"; }

// The call at `k` (the name) given the overload its arguments' types fit
// best: of the overloads whose parameters have the arguments' shapes (or
// else take their first components), the one with `half` parameters where
// the arguments are `half` and others where they are `float`. Left to glslang (which takes the overload keeping
// the name, the one of fewest `half` parameters) where any argument's type
// is not read, or no overload fits best.
void ChooseByArguments(const std::vector<Token>& t, std::size_t k, const std::vector<Overload>& overloads,
                       const Scope& scope, std::vector<Edit>& edits) {
    std::vector<ValueType> arguments;
    const std::size_t close = t[k + 1].close;
    for (std::size_t a = k + 2; a < close;) {
        std::size_t b = a;
        while (b < close && !Is(t[b], ",")) b = (Is(t[b], "(") || Is(t[b], "[")) ? t[b].close + 1 : b + 1;
        arguments.push_back(TypeOfValue(t, a, std::min(b, close), scope));
        if (arguments.back().precision == Precision::Unknown) return;
        a = b + 1;
    }
    // Overloads of the arguments' shapes; where there are none, those that
    // take a vector's first component for a scalar parameter too.
    const Overload* best = nullptr;
    bool tie = false;
    for (const bool truncating : {false, true}) {
        std::size_t bestScore = 0;
        for (const Overload& o : overloads) {
            if (o.parameters.size() != arguments.size()) continue;
            std::size_t score = 0;
            bool shaped = true;
            for (std::size_t i = 0; i < arguments.size() && shaped; ++i) {
                const ValueType& p = o.parameters[i];
                const ValueType& a = arguments[i];
                // A number without a suffix is a scalar any shape takes.
                const bool fits = p.shape == a.shape || (a.precision == Precision::Literal && a.shape.empty()) ||
                                  (truncating && p.shape.empty() && a.shape.find('x') == std::string::npos);
                if (p.precision == Precision::Unknown || !fits) shaped = false;
                score += (a.precision == Precision::Half && p.precision == Precision::Half) ||
                         (a.precision == Precision::Float && p.precision == Precision::Float);
            }
            if (!shaped) continue;
            if (!best || score > bestScore) {
                best = &o;
                bestScore = score;
                tie = false;
            } else if (score == bestScore) {
                tie = true;
            }
        }
        if (best) break;
    }
    if (best && !tie && best->renamed) edits.push_back({t[k].begin, HalfPrefix(best->halves)});
}

// Overloads of a function that differ only by `half` where another says
// `float` are one function to glslang ("already has a body"), where the
// D3D9 compiler keeps both: the one with the fewest `half` parameters keeps
// the name, the others are renamed out of the way by their `half`
// parameters. A call takes the overload its arguments' types fit, as the
// D3D9 compiler picks it (a `half` argument the `half` parameter), where
// the words show those types; else the overload keeping the name, whose
// `float` the D3D9 compiler computes `half` at.
void HalfOverloads(const std::vector<Token>& t, std::vector<Edit>& edits, std::map<std::size_t, std::string>& renamed) {
    const std::vector<Statement> statements = FileScopeStatements(t);
    std::map<std::string, std::vector<std::pair<std::size_t, std::size_t>>> bySignature; // name token, halves
    for (const Statement& s : statements) {
        if (!s.body) continue;
        std::size_t k = s.first;
        while (k + 1 < s.end && !Is(t[k], "{") && !(IdentStart(t[k].text[0]) && Is(t[k + 1], "("))) ++k;
        if (k + 1 >= s.end || t[k + 1].close >= s.end || k == s.first || Is(t[k], "{")) continue;
        std::size_t halves = 0;
        const std::string key = std::string(t[k].text) + "(" + FloatSignature(t, k + 1, halves);
        bySignature[key].push_back({k, halves});
    }
    std::map<std::string_view, std::vector<Overload>> byName;
    std::set<std::string> renamedSignatures; // key and pattern
    for (auto& [key, names] : bySignature) {
        if (names.size() < 2) continue;
        std::stable_sort(names.begin(), names.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
        for (std::size_t n = 0; n < names.size(); ++n) {
            const std::size_t k = names[n].first;
            const Overload o = OverloadAt(t, k, n > 0);
            if (o.renamed) {
                edits.push_back({t[k].begin, HalfPrefix(o.halves)});
                renamed[k] = HalfPrefix(o.halves);
                renamedSignatures.insert(key + ")" + o.halves);
            }
            byName[t[k].text].push_back(o);
        }
    }
    if (byName.empty()) return;
    // A declaration without a body (a call may come before the definition)
    // is renamed as its definition is.
    for (const Statement& s : statements) {
        if (s.body) continue;
        std::size_t k = s.first;
        while (k + 1 < s.end && !Is(t[k], "=") && !Is(t[k], "{") && !(IdentStart(t[k].text[0]) && Is(t[k + 1], "(")))
            ++k;
        if (k + 1 >= s.end || k == s.first || !IdentStart(t[k].text[0]) || !IdentStart(t[k - 1].text[0]) ||
            !Is(t[k + 1], "(") || t[k + 1].close + 1 >= s.end || !byName.count(t[k].text))
            continue;
        std::size_t halves = 0;
        const std::string key = std::string(t[k].text) + "(" + FloatSignature(t, k + 1, halves);
        const std::string pattern = OverloadAt(t, k, false).halves;
        if (renamedSignatures.count(key + ")" + pattern)) edits.push_back({t[k].begin, HalfPrefix(pattern)});
    }
    // Add the overloads that differ otherwise: a call's arguments may fit them.
    for (const auto& [key, names] : bySignature) {
        if (names.size() != 1) continue;
        const std::size_t k = names[0].first;
        const auto o = byName.find(t[k].text);
        if (o != byName.end()) o->second.push_back(OverloadAt(t, k, false));
    }
    Scope scope{0, &statements};
    std::size_t s = 0;
    for (std::size_t k = 0; k + 1 < t.size() && Step(); ++k) {
        while (s < statements.size() && statements[s].end <= k) ++s;
        if (s < statements.size() && statements[s].first <= k) scope.function = statements[s].first;
        const auto o = byName.find(t[k].text);
        if (o == byName.end() || !Is(t[k + 1], "(") || t[k + 1].close >= t.size() || (k > 0 && Is(t[k - 1], ".")))
            continue;
        // A definition or a declaration, not a call.
        if (k > 0 && IdentStart(t[k - 1].text[0]) && !Is(t[k - 1], "return") && !Is(t[k - 1], "else")) continue;
        ChooseByArguments(t, k, o->second, scope, edits);
    }
}

// One-component members (`float1 a;`) of the structs no constant of the
// file is declared with, as the scalar type: glslang keeps such a member a
// vector of one it takes no component write of (`o.a.x = 1;`), where the
// D3D9 compiler takes it as the scalar it is. A struct of constants keeps
// its members' types: the table describes them as written.
void OneComponentMembers(const std::vector<Token>& t, std::string& out) {
    std::set<std::string_view> constantTypes;
    for (const Statement& s : FileScopeStatements(t)) {
        if (s.body) continue;
        std::size_t k = s.first;
        bool isStatic = false;
        for (; k < s.end && IsModifierWord(t[k].text) && !Is(t[k], "struct"); ++k)
            if (Is(t[k], "static")) isStatic = true;
        if (k < s.end && Is(t[k], "struct") && k + 1 < s.end && IdentStart(t[k + 1].text[0])) ++k;
        if (!isStatic && k + 1 < s.end && IdentStart(t[k].text[0]) && IdentStart(t[k + 1].text[0]))
            constantTypes.insert(t[k].text);
        if (Is(t[s.first], "cbuffer") || Is(t[s.first], "tbuffer")) return; // members of buffers are constants
    }
    for (std::size_t i = 0; i + 2 < t.size() && Step(); ++i) {
        if (!Is(t[i], "struct") || !IdentStart(t[i + 1].text[0]) || !Is(t[i + 2], "{") || t[i + 2].close >= t.size() ||
            constantTypes.count(t[i + 1].text))
            continue;
        const std::size_t close = t[i + 2].close;
        for (std::size_t k = i + 3; k + 1 < close; ++k) {
            if (Is(t[k], "{") || Is(t[k], "(")) {
                k = std::max(k, std::min(t[k].close, close));
                continue;
            }
            const std::string_view w = t[k].text;
            if (w.size() < 2 || w.back() != '1' || !IsTypeWord(w) || !IdentStart(t[k + 1].text[0]) ||
                !(Is(t[k - 1], ";") || Is(t[k - 1], "{")))
                continue;
            Blank(out, t[k].begin + w.size() - 1, TokenEnd(t[k]));
        }
        i = close;
    }
}

// The components of the variable `name` declared before `at` within the
// block from `from`: the digit of its vector type word (`float2 a, b;`), 1
// for a scalar; 0 where no declaration of it is found.
int DeclaredComponents(const std::vector<Token>& t, std::size_t from, std::size_t at, std::string_view name) {
    for (std::size_t k = at; k-- > from + 1;) {
        if (t[k].text != name) continue;
        std::size_t m = k - 1;
        // Back over `, other` pairs to the type word.
        while (m > from + 1 && Is(t[m], ",") && IdentStart(t[m - 1].text[0])) m -= 2;
        if (!IsTypeWord(t[m].text) || t[m].text.find('x') != std::string_view::npos) continue;
        const char last = t[m].text.back();
        return last >= '1' && last <= '4' ? last - '0' : 1;
    }
    return 0;
}

// A vector constructor as an assignment's target (`float4(a, b) = v;`):
// the value held once and each variable given its components in order.
void ConstructorTarget(const std::vector<Token>& t, std::size_t i, std::size_t block, std::string& out,
                       std::vector<Edit>& edits, std::size_t& made) {
    const std::string_view w = t[i].text;
    if (!IsTypeWord(w) || w.find('x') != std::string_view::npos || w.back() < '2' || w.back() > '4' ||
        i + 1 >= t.size() || !Is(t[i + 1], "(") || t[i + 1].close + 1 >= t.size() || !Is(t[t[i + 1].close + 1], "="))
        return;
    if (i == 0 || !(Is(t[i - 1], ";") || Is(t[i - 1], "{") || Is(t[i - 1], "}"))) return;
    const std::size_t close = t[i + 1].close;
    std::vector<std::pair<std::string_view, int>> parts;
    int total = 0;
    for (std::size_t k = i + 2; k < close; k += 2) {
        if (!IdentStart(t[k].text[0]) || !(Is(t[k + 1], ",") || k + 1 == close)) return;
        const int n = DeclaredComponents(t, block, i, t[k].text);
        if (n == 0) return;
        parts.emplace_back(t[k].text, n);
        total += n;
    }
    if (total != w.back() - '0') return;
    std::size_t end = close + 2;
    while (end < t.size() && !Is(t[end], ";") && Step())
        end = (Is(t[end], "(") || Is(t[end], "[") || Is(t[end], "{")) ? t[end].close + 1 : end + 1;
    if (end >= t.size()) return;
    const std::string held = "orvParts" + std::to_string(made++);
    Blank(out, t[i].begin, TokenEnd(t[close + 1]));
    edits.push_back({t[i].begin, "{ " + std::string(w) + " " + held + " ="});
    std::string assign;
    int at = 0;
    for (const auto& [name, n] : parts) {
        assign += " " + std::string(name) + " = " + held + "." + std::string("xyzw").substr(std::size_t(at), std::size_t(n)) + ";";
        at += n;
    }
    edits.push_back({TokenEnd(t[end]), assign + " }"});
}

// A function of one float scalar parameter (`float2 r2d(float2 x, float
// a)`) takes a vector there too, truncated to its first component, as the
// D3D9 compiler converts an argument: glslang finds no function for such a
// call. Overloads of two to four components that call the function with
// `.x` are written after its body (on its last line); they are left out
// where the name is defined more than once, or is the entry's. An overload
// renamed for its `half` parameters (`renamed`: the name's token, its
// prefix) is a name of its own.
void TruncatingOverloads(const std::vector<Token>& t, std::string_view source, std::string_view entry,
                         const std::map<std::size_t, std::string>& renamed, std::vector<Edit>& edits) {
    std::map<std::string, int> definitions;
    const auto nameOf = [&](std::size_t k) {
        const auto r = renamed.find(k);
        return (r == renamed.end() ? std::string() : r->second) + std::string(t[k].text);
    };
    struct Candidate {
        std::size_t name, end; // the name's token, the body's '}'
        std::size_t returnFirst;
    };
    std::vector<Candidate> candidates;
    for (const Statement& s : FileScopeStatements(t)) {
        if (!s.body) continue;
        std::size_t k = s.first;
        while (k + 1 < s.end && !Is(t[k], "{") && !(IdentStart(t[k].text[0]) && Is(t[k + 1], "("))) ++k;
        if (k + 1 >= s.end || k == s.first || Is(t[k], "{") || t[k + 1].close >= s.end) continue;
        ++definitions[nameOf(k)];
        candidates.push_back({k, s.end - 1, s.first});
    }
    for (const Candidate& c : candidates) {
        const std::string callee = nameOf(c.name);
        if (definitions[callee] != 1 || t[c.name].text == entry || !Is(t[c.end], "}")) continue;
        const std::size_t open = c.name + 1, close = t[open].close;
        // The parameters: their type text and whether each is a float scalar.
        std::vector<std::string> types;
        std::size_t scalarAt = std::string_view::npos;
        bool readable = close > open + 1;
        for (std::size_t k = open + 1; k < close && readable;) {
            std::size_t e = k;
            while (e < close && !Is(t[e], ",")) {
                if (Is(t[e], "(") || Is(t[e], "[") || Is(t[e], "<") || Is(t[e], ":") || Is(t[e], "=")) readable = false;
                ++e;
            }
            // [k, e): modifiers, the type, the name.
            if (e < k + 2 || !IdentStart(t[e - 1].text[0])) readable = false;
            std::string type;
            for (std::size_t m = k; m + 1 < e && readable; ++m) {
                if (Is(t[m], "out") || Is(t[m], "inout") || Is(t[m], "uniform")) readable = false;
                type += std::string(t[m].text) + " ";
            }
            if (readable && (Is(t[e - 2], "float") || Is(t[e - 2], "half"))) {
                if (scalarAt != std::string_view::npos) readable = false;
                scalarAt = types.size();
            }
            types.push_back(type);
            k = e + 1;
        }
        if (!readable || scalarAt == std::string_view::npos) continue;
        std::string returnType(source.substr(t[c.returnFirst].begin, t[c.name].begin - t[c.returnFirst].begin));
        for (char& ch : returnType)
            if (ch == '\n' || ch == '\r') ch = ' ';
        if (returnType.find_first_of("[:(") != std::string::npos) continue;
        const bool returns = returnType.find("void") == std::string::npos;
        std::string added;
        for (const char n : {'2', '3', '4'}) {
            std::string params, args;
            for (std::size_t p = 0; p < types.size(); ++p) {
                if (p) {
                    params += ", ";
                    args += ", ";
                }
                const std::string name = "orvArg" + std::to_string(p);
                params += (p == scalarAt ? "float" + std::string(1, n) + " " : types[p]) + name;
                args += p == scalarAt ? name + ".x" : name;
            }
            added += " " + returnType + callee + "(" + params + ") { " + (returns ? "return " : "") + callee + "(" +
                     args + "); }";
        }
        edits.push_back({TokenEnd(t[c.end]), added});
    }
}

// A `for` loop's counter declared in its head (`for (int i = 0; ...)`) is
// the enclosing block's in the D3D9 compiler's reading, where glslang ends
// it with the loop. Where the block reads or sets it after the loop before
// declaring it again, the declaration is moved out in front of the loop's
// statement (at `start`, its attributes included). `i` is the `for`; `end`
// the block's closing brace. Only a loop that is a statement of its own
// moves: as the body of an `if` its counter is out of the block's reach.
void CounterBeyondItsLoop(const std::vector<Token>& t, std::size_t start, std::size_t i, std::size_t end,
                          std::string_view source, std::string& out, std::vector<Edit>& edits) {
    if (i + 4 >= t.size() || !Is(t[i + 1], "(") || t[i + 1].close >= end) return;
    if (start > 0 && !Is(t[start - 1], ";") && !Is(t[start - 1], "{") && !Is(t[start - 1], "}")) return;
    std::size_t k = i + 2;
    while (k < t.size() && (Is(t[k], "const") || Is(t[k], "static"))) ++k;
    if (k + 2 >= t.size() || !IdentStart(t[k].text[0]) || !IdentStart(t[k + 1].text[0]) ||
        !(Is(t[k + 2], "=") || Is(t[k + 2], ";") || Is(t[k + 2], ",")))
        return;
    const std::string_view name = t[k + 1].text;
    const std::size_t head = t[i + 1].close;
    std::size_t semicolon = head;
    for (std::size_t m = k; m < head && Step(); ++m) {
        if (Is(t[m], "(") || Is(t[m], "[") || Is(t[m], "{")) m = std::min(t[m].close, head);
        else if (Is(t[m], ";")) {
            semicolon = m;
            break;
        }
    }
    if (semicolon >= head) return;
    // The loop's end: its body's block, or its one statement's semicolon.
    std::size_t after = head + 1;
    if (after < end && Is(t[after], "{")) {
        after = t[after].close + 1;
    } else {
        while (after < end && !Is(t[after], ";") && Step())
            after = (Is(t[after], "(") || Is(t[after], "[") || Is(t[after], "{")) ? t[after].close + 1 : after + 1;
        ++after;
    }
    bool used = false;
    for (std::size_t m = after; m < end && !used && Step(); ++m) {
        if (t[m].text != name || (m > 0 && Is(t[m - 1], "."))) continue;
        const std::string_view before = t[m - 1].text;
        const bool declared = IdentStart(before[0]) && before != "return" && before != "else" && before != "case";
        if (declared) return;
        used = true;
    }
    if (!used) return;
    std::string declaration(source.substr(t[k].begin, t[semicolon].begin - t[k].begin));
    std::replace(declaration.begin(), declaration.end(), '\n', ' ');
    std::replace(declaration.begin(), declaration.end(), '\r', ' ');
    Blank(out, t[i + 2].begin, t[semicolon].begin);
    edits.push_back({t[start].begin, declaration + "; "});
}

} // namespace

std::string ReadWordsAsTheD3D9CompilerDoes(std::string_view source, std::string_view entry) {
    if (!HoldsAnyForm(source, entry)) return std::string(source);
    const std::vector<Token> t = Tokenize(source);
    std::string out(source); // blanked in place; the edits put in at the end
    FileScopeWords(t, entry, out);
    std::vector<Edit> edits;
    OverloadedEntry(t, entry, edits);
    std::map<std::size_t, std::string> renamed; // half overloads' name tokens, their prefixes
    if (source.find("half") != std::string_view::npos) HalfOverloads(t, edits, renamed);
    if (source.find("struct") != std::string_view::npos) OneComponentMembers(t, out);
    TruncatingOverloads(t, source, entry, renamed, edits);
    if (source.find("namespace") != std::string_view::npos) NamespaceMembers(t, out, edits);
    // One sweep: switches, loops unrolled with a count, and what `precise`
    // is where the source declares it as a name (a variable or a type): a
    // name wherever no type follows it.
    std::set<std::string_view> typeNames;
    std::vector<std::size_t> precise;
    bool preciseNamed = false;
    std::size_t loops = 0, targets = 0;
    std::vector<std::size_t> blocks; // the braces open at each token
    std::vector<bool> shadowed(t.size(), false);
    for (std::size_t i = 0; i < t.size() && Step(); ++i) {
        if (Is(t[i], "{")) blocks.push_back(i);
        if (Is(t[i], "}") && !blocks.empty()) blocks.pop_back();
        if (shadowed[i]) {
            edits.push_back({t[i].begin, std::string(kRenamedWord)});
            continue;
        }
        if (Is(t[i], "switch") && i + 1 < t.size() && Is(t[i + 1], "(") && t[i + 1].close < t.size()) {
            edits.push_back({TokenEnd(t[i + 1]), "int("});
            edits.push_back({t[t[i + 1].close].begin, ")"});
            continue;
        }
        // A case's float label is its whole part, as the D3D9 compiler takes it.
        if (Is(t[i], "case") && i + 2 < t.size() && std::isdigit(static_cast<unsigned char>(t[i + 1].text[0])) &&
            Is(t[i + 2], ":") && t[i + 1].text.find_first_of(".eEfF") != std::string_view::npos &&
            !t[i + 1].text.starts_with("0x") && !t[i + 1].text.starts_with("0X")) {
            Blank(out, t[i + 1].begin, TokenEnd(t[i + 1]));
            edits.push_back({t[i + 1].begin, std::to_string(static_cast<long long>(Number(t[i + 1].text)))});
            continue;
        }
        // fmod of two numbers: glslang's front end folds it with the
        // divisor's sign, the language takes the dividend's.
        if (Is(t[i], "fmod") && i + 1 < t.size() && Is(t[i + 1], "(") && t[i + 1].close < t.size()) {
            std::size_t k = i + 2;
            double a = 0, b = 0;
            if (SignedNumber(t, k, a) && k < t.size() && Is(t[k], ",") && SignedNumber(t, ++k, b) &&
                k == t[i + 1].close && b != 0) {
                Blank(out, t[i].begin, TokenEnd(t[k]));
                edits.push_back({t[i].begin, FloatLiteral(std::fmod(float(a), float(b)))});
                i = k;
                continue;
            }
        }
        if (Is(t[i], "[") && (i == 0 || Is(t[i - 1], ";") || Is(t[i - 1], "{") || Is(t[i - 1], "}"))) {
            const std::size_t loop = CountedLoop(t, i, loops, edits);
            if (loop > i && loop < t.size() && Is(t[loop], "for") && !blocks.empty())
                CounterBeyondItsLoop(t, i, loop, t[blocks.back()].close, source, out, edits);
            i = std::max(loop, i + 1) - 1;
            continue;
        }
        if (Is(t[i], "for") && !blocks.empty()) CounterBeyondItsLoop(t, i, i, t[blocks.back()].close, source, out, edits);
        if (i > 0 && Is(t[i - 1], "struct") && IdentStart(t[i].text[0])) typeNames.insert(t[i].text);
        if (Is(t[i], "typedef")) {
            std::size_t k = i;
            while (k + 1 < t.size() && !Is(t[k + 1], ";") && k < i + 64) ++k;
            if (IdentStart(t[k].text[0])) typeNames.insert(t[k].text);
            // A typedef taking a type word's name within a block: that
            // word is the typedef's to the block's end, under another name.
            // (Once for each word in a block: a later typedef of it is within
            // what the first marked.)
            if (!blocks.empty() && k > i + 1 && !shadowed[k] && IsTypeWord(t[k].text) &&
                t[blocks.back()].close < t.size()) {
                const std::size_t end = t[blocks.back()].close;
                for (std::size_t m = k; m < end && Step(); ++m)
                    if (t[m].text == t[k].text) shadowed[m] = true;
            }
        }
        // `matrix`, `vector` and `dword` in any case where no typedef of
        // that spelling is meant, and no template follows.
        if (i + 1 < t.size() && IdentStart(t[i + 1].text[0]) && !typeNames.count(t[i].text)) {
            for (const std::string_view w : {"matrix", "vector", "dword"})
                if (t[i].text != w && EqualNoCase(t[i].text, w)) {
                    Blank(out, t[i].begin, TokenEnd(t[i]));
                    edits.push_back({t[i].begin, std::string(w)});
                    break;
                }
        }
        // `texture` in any case, where no typedef of that spelling is meant.
        if (i + 1 < t.size() && IdentStart(t[i + 1].text[0]) && !Is(t[i], "texture") && !Is(t[i], "Texture") &&
            EqualNoCase(t[i].text, "texture") && !typeNames.count(t[i].text)) {
            Blank(out, t[i].begin, TokenEnd(t[i]));
            edits.push_back({t[i].begin, "texture"});
            continue;
        }
        // A semantic's `_centroid` suffix asks for centroid sampling of the
        // input, which a draw of whole pixels does not tell from the centre's.
        if (i > 0 && Is(t[i - 1], ":") && t[i].text.size() > 9 &&
            EqualNoCase(t[i].text.substr(t[i].text.size() - 9), "_centroid")) {
            Blank(out, t[i].begin + t[i].text.size() - 9, TokenEnd(t[i]));
            continue;
        }
        // An array's size given as a boolean (`float w[true];`) is 1 or 0.
        if ((Is(t[i], "true") || Is(t[i], "false")) && i > 0 && Is(t[i - 1], "[") && i + 1 < t.size() &&
            Is(t[i + 1], "]")) {
            Blank(out, t[i].begin, TokenEnd(t[i]));
            edits.push_back({t[i].begin, Is(t[i], "true") ? "1" : "0"});
            continue;
        }
        if (!blocks.empty() && i + 1 < t.size() && Is(t[i + 1], "(") && IsTypeWord(t[i].text))
            ConstructorTarget(t, i, blocks.back(), out, edits, targets);
        // A cast to a `const` type is a cast to the type.
        if (Is(t[i], "const") && i > 0 && Is(t[i - 1], "(") && i + 2 < t.size() && IsTypeWord(t[i + 1].text) &&
            Is(t[i + 2], ")")) {
            Blank(out, t[i].begin, TokenEnd(t[i]));
            continue;
        }
        // The template spelling of a matrix type, `matrix<float, 3, 1>`, in
        // the short one, `float3x1`.
        if (Is(t[i], "matrix") && i + 6 < t.size() && Is(t[i + 1], "<") && IsTypeWord(t[i + 2].text) &&
            Is(t[i + 3], ",") && t[i + 4].text.size() == 1 && t[i + 4].text[0] >= '1' && t[i + 4].text[0] <= '4' &&
            Is(t[i + 5], ",") && t[i + 6].text.size() == 1 && t[i + 6].text[0] >= '1' && t[i + 6].text[0] <= '4' &&
            i + 7 < t.size() && Is(t[i + 7], ">") && t[i + 2].text.find_first_of("1234") == std::string_view::npos) {
            Blank(out, t[i].begin, TokenEnd(t[i + 7]));
            edits.push_back({t[i].begin, std::string(t[i + 2].text) + std::string(t[i + 4].text) + "x" +
                                             std::string(t[i + 6].text)});
            i += 7;
            continue;
        }
        if (!Is(t[i], "precise")) continue;
        precise.push_back(i);
        if (i == 0 || i + 1 >= t.size() || !IdentStart(t[i - 1].text[0]) ||
            (IsModifierWord(t[i - 1].text) && !Is(t[i - 1], "typedef")) || Is(t[i - 1], "return"))
            continue;
        const std::string_view next = t[i + 1].text;
        preciseNamed = preciseNamed || next == ";" || next == "=" || next == "," || next == "[" || next == ":" ||
                       next == ")";
    }
    for (const std::size_t i : preciseNamed ? precise : std::vector<std::size_t>{}) {
        const bool modifier = i + 1 < t.size() && IdentStart(t[i + 1].text[0]) &&
                              (IsTypeWord(t[i + 1].text) || IsModifierWord(t[i + 1].text) ||
                               typeNames.count(t[i + 1].text));
        if (!modifier) edits.push_back({t[i].begin, std::string(kRenamedWord)});
    }
    if (edits.empty()) return out;
    // A switch within a loop's head, a name renamed anywhere: in source order.
    return WithEdits(out, edits, 32);
}

namespace {

// `double`, `double1` .. `double4`: the type of a double scalar or vector.
bool DoubleWord(std::string_view w) {
    return w == "double" || (w.size() == 7 && w.starts_with("double") && w[6] >= '1' && w[6] <= '4');
}

// A name declared at file scope or in a struct: its type's word (a double
// word or a struct's name) and whether it is an array.
struct Declared {
    std::string_view type;
    bool array = false;
};

using Members = std::map<std::string_view, Declared>;

// The declarators of [k, end): `a, b[2] : SEMANTIC, c = 1`, each name with
// `type`. Stops at a brace or a parenthesis (a function, an initialiser's
// list).
void Declarators(const std::vector<Token>& t, std::size_t k, std::size_t end, std::string_view type, Members& out) {
    for (; k < end && Step() && !Is(t[k], "{") && !Is(t[k], "("); ++k) {
        if (Is(t[k], "<") && t[k].close < end) {
            k = t[k].close;
            continue;
        }
        if (!IdentStart(t[k].text[0]) || !(Is(t[k - 1], ",") || IdentStart(t[k - 1].text[0]))) continue;
        if (IsModifierWord(t[k].text) || IsTypeWord(t[k].text) || t[k].text == type) continue;
        if (k > 0 && Is(t[k - 1], ":")) continue; // a semantic
        out[t[k].text] = {type, k + 1 < end && Is(t[k + 1], "[")};
        if (k + 1 < end && Is(t[k + 1], "[") && t[k + 1].close < end) k = t[k + 1].close;
    }
}

// The read of a double within an argument starting at `k`, a name of the
// uniforms: the end of what is read as a double (`ws[1]`, `s.d`, `s.in.d`,
// `v`) and its type's word, or 0 where it reads no double (`s.f`, a whole
// array).
std::size_t DoubleRead(const std::vector<Token>& t, std::size_t k, std::size_t end, const Declared& uniform,
                       const std::map<std::string_view, Members>& structs, std::string_view& type) {
    Declared d = uniform;
    std::size_t e = k + 1;
    for (;;) {
        if (d.array) {
            if (e >= end || !Is(t[e], "[") || t[e].close >= end) return 0;
            e = t[e].close + 1;
        }
        if (DoubleWord(d.type)) {
            type = d.type;
            return e;
        }
        const auto members = structs.find(d.type);
        if (members == structs.end() || e + 1 >= end || !Is(t[e], ".")) return 0;
        const auto member = members->second.find(t[e + 1].text);
        if (member == members->second.end() || !Step()) return 0;
        d = member->second;
        e += 2;
    }
}

} // namespace

std::string DoubleUniformArguments(std::string_view source) {
    if (source.find("double") == std::string_view::npos) return std::string(source);
    const std::vector<Token> t = Tokenize(source);
    // The structs of the file's scope, by name: their members.
    std::map<std::string_view, Members> structs;
    // Where each struct's members declared double have their type's word.
    std::map<std::string_view, std::vector<std::size_t>> doubleMembers;
    // The uniforms of the file's scope declared double, or with a struct's
    // type, by name; the other globals of a struct's type.
    Members uniforms, structGlobals;
    // Functions by name: the places of their parameters declared double
    // (taken in: an `out` one takes no value).
    std::set<std::pair<std::string_view, std::size_t>> doubleParameters;
    std::set<std::string_view> doubleFunctions;
    std::size_t statement = 0; // the first token of the statement at file scope
    for (std::size_t i = 0; i < t.size() && Step(); ++i) {
        if (Is(t[i], ";") || Is(t[i], "}")) {
            statement = i + 1;
            continue;
        }
        if (Is(t[i], "{")) {
            const std::size_t close = t[i].close < t.size() ? t[i].close : t.size();
            if (i >= 2 && Is(t[i - 2], "struct") && IdentStart(t[i - 1].text[0])) {
                // A struct's members, statement by statement.
                Members& members = structs[t[i - 1].text];
                std::size_t first = i + 1;
                for (std::size_t k = i + 1; k < close && Step(); ++k) {
                    if (!Is(t[k], ";")) {
                        if ((Is(t[k], "(") || Is(t[k], "[") || Is(t[k], "{") || Is(t[k], "<")) && t[k].close < close)
                            k = t[k].close;
                        continue;
                    }
                    std::size_t type = first;
                    while (type < k && IsModifierWord(t[type].text)) ++type;
                    if (type + 1 < k && IdentStart(t[type].text[0])) {
                        Declarators(t, type + 1, k, t[type].text, members);
                        if (t[type].text.starts_with("double") && IsTypeWord(t[type].text))
                            doubleMembers[t[i - 1].text].push_back(type);
                    }
                    first = k + 1;
                }
            }
            // A function's body, or a struct's or buffer's members: over it.
            i = close;
            if (i + 1 < t.size() && Is(t[i + 1], ";")) ++i;
            statement = i + 1;
            continue;
        }
        if (Is(t[i], "(") && i > statement && IdentStart(t[i - 1].text[0]) && t[i].close < t.size()) {
            // A function's declaration: its parameters' types, place by place.
            std::size_t place = 0;
            bool isDouble = false, typeSeen = false, out = false;
            for (std::size_t k = i + 1; k <= t[i].close && Step(); ++k) {
                if (k == t[i].close || Is(t[k], ",")) {
                    if (isDouble && !out) {
                        doubleParameters.insert({t[i - 1].text, place});
                        doubleFunctions.insert(t[i - 1].text);
                    }
                    ++place;
                    isDouble = typeSeen = out = false;
                    continue;
                }
                if ((Is(t[k], "(") || Is(t[k], "[")) && t[k].close < t[i].close) k = t[k].close;
                if (Is(t[k], "out") || Is(t[k], "inout")) out = true;
                if (!typeSeen && IdentStart(t[k].text[0]) && !IsModifierWord(t[k].text)) {
                    typeSeen = true;
                    isDouble = DoubleWord(t[k].text);
                }
            }
            i = t[i].close;
            continue;
        }
        if (!DoubleWord(t[i].text) && !structs.count(t[i].text)) continue;
        bool storage = true, modifiers = true;
        for (std::size_t k = statement; k < i; ++k) {
            storage = storage && (Is(t[k], "uniform") || Is(t[k], "extern") || Is(t[k], "shared") || Is(t[k], "const"));
            modifiers = modifiers && IsModifierWord(t[k].text) && !Is(t[k], "typedef") && !Is(t[k], "struct");
        }
        if (!storage && !(modifiers && structs.count(t[i].text))) continue;
        // The statement's end, over an annotation's own statements.
        std::size_t end = i + 1;
        for (; end < t.size() && !Is(t[end], ";") && Step(); ++end)
            if (Is(t[end], "<") && t[end].close < t.size()) end = t[end].close;
        Declarators(t, i + 1, end, t[i].text, storage ? uniforms : structGlobals);
    }
    if (uniforms.empty()) return std::string(source);
    std::string out(source);
    std::vector<Edit> edits;
    // The layout keeps a uniform struct in float registers, and glslang's
    // block takes one kind of number: the double members of the structs
    // the uniforms have (and of the structs within them) are declared float,
    // as a double uniform of its own is. A read of one is given back as a
    // double below.
    std::set<std::string_view> held;
    std::vector<std::string_view> toHold;
    for (const auto& [name, d] : uniforms)
        if (structs.count(d.type) && held.insert(d.type).second) toHold.push_back(d.type);
    while (!toHold.empty() && Step()) {
        const std::string_view s = toHold.back();
        toHold.pop_back();
        for (const std::size_t k : doubleMembers[s]) {
            Blank(out, t[k].begin, TokenEnd(t[k]));
            edits.push_back({t[k].begin, "float" + std::string(t[k].text.substr(6))});
        }
        for (const auto& [member, d] : structs[s])
            if (structs.count(d.type) && held.insert(d.type).second) toHold.push_back(d.type);
    }
    // Each read of such a uniform's double within a call's argument, where
    // the function takes a double at that place, given as a double (`w` as
    // `double(w)`, `ws[1] * 2` as `double(ws[1]) * 2`): the argument's type
    // then follows from its operators as the D3D9 compiler works it out
    // (a double by arithmetic with one, a float through a cast or another
    // call, a bool by a comparison). Not where a name of the function's own
    // (a parameter or local of the uniform's name) hides it there. So too
    // the double members of other globals, parameters and locals of the
    // structs declared float above.
    for (const auto& [name, d] : structGlobals)
        if (held.count(d.type) && !uniforms.count(name)) uniforms[name] = d;
    std::size_t body = 0, bodyEnd = 0; // the function body the call is in
    std::set<std::string_view> hidden;
    Members locals; // of the held structs' types
    int depth = 0;
    std::vector<std::pair<std::size_t, std::size_t>> ranges; // an argument and the parentheses within it
    for (std::size_t i = 0; i + 1 < t.size() && Step(); ++i) {
        if (Is(t[i], "{")) {
            if (depth == 0) {
                body = i;
                bodyEnd = t[i].close;
                hidden.clear();
                locals.clear();
                // The parameters and locals of the function: names after a
                // type word. Its parameters end before a semantic's `:`.
                std::size_t from = i, list = i;
                if (i > 0 && Is(t[i - 1], ")")) list = i - 1;
                else if (i > 2 && Is(t[i - 3], ")") && Is(t[i - 2], ":")) list = i - 3;
                if (list < i) {
                    std::size_t k = list;
                    while (k > 0 && !(Is(t[k], "(") && t[k].close == list) && Step()) --k;
                    from = k;
                }
                for (std::size_t k = from + 1; k < bodyEnd && k < t.size() && Step(); ++k) {
                    if (!IdentStart(t[k].text[0]) || !IdentStart(t[k - 1].text[0]) || Is(t[k - 1], "return"))
                        continue;
                    if (uniforms.count(t[k].text)) hidden.insert(t[k].text);
                    if (held.count(t[k - 1].text))
                        locals[t[k].text] = {t[k - 1].text, k + 1 < t.size() && Is(t[k + 1], "[")};
                }
            }
            ++depth;
        }
        if (Is(t[i], "}") && depth > 0) --depth;
        if (depth == 0 || i <= body || i >= bodyEnd) continue;
        if (!IdentStart(t[i].text[0]) || !Is(t[i + 1], "(") || t[i + 1].close >= t.size()) continue;
        if (i > 0 && Is(t[i - 1], ".")) continue;
        if (!doubleFunctions.count(t[i].text)) continue;
        std::size_t place = 0, from = i + 2;
        const std::size_t close = t[i + 1].close;
        for (std::size_t k = i + 2; k <= close && Step(); ++k) {
            if (k < close && (Is(t[k], "(") || Is(t[k], "[") || Is(t[k], "{")) && t[k].close < close) {
                k = t[k].close;
                continue;
            }
            if (k < close && !Is(t[k], ",")) continue;
            if (doubleParameters.count({t[i].text, place})) ranges.push_back({from, k});
            // The argument's reads, and those within its parentheses; not
            // within a call's, whose own parameters decide, nor an index.
            while (!ranges.empty() && Step()) {
                const auto [first, end] = ranges.back();
                ranges.pop_back();
                for (std::size_t m = first; m < end && Step(); ++m) {
                    if (Is(t[m], "(") || Is(t[m], "[") || Is(t[m], "{")) {
                        if (t[m].close >= end) break;
                        if (Is(t[m], "(") && (m == first || !(IdentStart(t[m - 1].text[0]) || Is(t[m - 1], ")") ||
                                                              Is(t[m - 1], "]"))))
                            ranges.push_back({m + 1, t[m].close});
                        m = t[m].close;
                        continue;
                    }
                    // Not a member of another value, nor a namespace's name.
                    if (!IdentStart(t[m].text[0]) || Is(t[m - 1], ".") || (Is(t[m - 1], ":") && Is(t[m - 2], ":")) ||
                        (m + 1 < end && Is(t[m + 1], "(")))
                        continue;
                    const auto local = locals.find(t[m].text);
                    const auto uniform = uniforms.find(t[m].text);
                    const Declared* named = local != locals.end()  ? &local->second
                                            : hidden.count(t[m].text) ? nullptr
                                            : uniform != uniforms.end() ? &uniform->second
                                                                        : nullptr;
                    if (!named) continue;
                    std::string_view type;
                    const std::size_t read = DoubleRead(t, m, end, *named, structs, type);
                    if (read == 0) continue;
                    edits.push_back({t[m].begin, std::string(type) + "("});
                    edits.push_back({TokenEnd(t[read - 1]), ")"});
                    m = read - 1;
                }
            }
            ++place;
            from = k + 1;
        }
    }
    if (edits.empty()) return std::string(source);
    return WithEdits(out, edits, 8);
}

} // namespace gfx::hlsl
