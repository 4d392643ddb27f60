#include "platform/gfxutil/hlsl/GfxUtilHlslLayout.h"

#include "platform/gfx/Gfx.h"
#include "platform/gfxutil/GfxUtilEffect.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslDeclarations.h"

#include <bitset>
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace gfx::hlsl {

bool Assign(std::vector<HlslGlobal>& globals, std::string& error, std::size_t& errorAt, bool overlapsAllowed) {
    std::bitset<kMaxRegisters> used[4];
    auto take = [&](HlslGlobal& g, std::size_t at) {
        for (std::size_t r = at; r < at + g.registerCount && r < kMaxRegisters; ++r) used[g.registerSet].set(r);
    };
    auto fits = [&](const HlslGlobal& g, std::size_t at) {
        if (at + g.registerCount > kMaxRegisters) return false;
        for (std::size_t r = at; r < at + g.registerCount; ++r)
            if (used[g.registerSet].test(r)) return false;
        return true;
    };
    for (HlslGlobal& g : globals) {
        if (!g.explicitRegister || g.effectOnly || g.unused) continue;
        if (!overlapsAllowed && !fits(g, g.registerIndex)) {
            error = "registers of '" + g.name + "' overlap another constant's";
            errorAt = g.nameAt;
            return false;
        }
        take(g, g.registerIndex);
    }
    for (HlslGlobal& g : globals)
        if (g.explicitRegister && !g.effectOnly && g.unused) take(g, g.registerIndex);
    for (HlslGlobal& g : globals) {
        if (!g.declaredCount) g.declaredCount = g.registerCount;
        if (!g.explicitRegister || g.effectOnly || g.declaredCount <= g.registerCount) continue;
        // `float4 a[4] : register(c1)` invites setting c1-c4 by number,
        // however little of it the program reads.
        HlslGlobal whole;
        whole.registerSet = g.registerSet;
        whole.registerCount = g.declaredCount;
        take(whole, g.registerIndex);
    }
    auto place = [&](HlslGlobal& g) {
        std::size_t at = 0;
        while (at < kMaxRegisters && !fits(g, at)) ++at;
        if (at >= kMaxRegisters) {
            error = "no registers left for '" + g.name + "'";
            errorAt = g.nameAt;
            return false;
        }
        g.registerIndex = std::uint16_t(at);
        take(g, at);
        return true;
    };
    // The float constants go largest first (by what the program reads of
    // them), in declaration order among equals, as the D3D9 compiler
    // places them; the other files in declaration order.
    std::vector<HlslGlobal*> order;
    order.reserve(globals.size());
    for (HlslGlobal& g : globals) order.push_back(&g);
    std::stable_sort(order.begin(), order.end(), [](const HlslGlobal* a, const HlslGlobal* b) {
        const bool af = a->registerSet == kSetFloat && !a->shadow, bf = b->registerSet == kSetFloat && !b->shadow;
        if (af != bf) return bf;
        return af && a->registerCount > b->registerCount;
    });
    for (HlslGlobal* p : order) {
        HlslGlobal& g = *p;
        if (g.explicitRegister || g.effectOnly) continue;
        if (!g.unused && !place(g)) return false;
        // Never read, it may share the first registers with what is: the
        // code reads none of its own, and the register file the code
        // declares ends at the last register read.
        if (g.unused) g.registerIndex = 0;
    }
    for (HlslGlobal& g : globals) {
        if (!g.shadow || g.effectOnly) continue;
        if (g.unused) {
            g.shadowIndex = 0;
            continue;
        }
        if (g.registerIndex + g.registerCount > kBoolIntRegisters) {
            error = "'" + g.name + "' is beyond the 16 boolean or integer registers";
            errorAt = g.nameAt;
            return false;
        }
        // Its stand-in float registers, past every other.
        HlslGlobal standIn;
        standIn.registerSet = kSetFloat;
        standIn.registerCount = g.registerCount;
        std::size_t at = 0;
        while (at < kMaxRegisters && !fits(standIn, at)) ++at;
        if (at >= kMaxRegisters) {
            error = "no registers left for '" + g.name + "'";
            errorAt = g.nameAt;
            return false;
        }
        g.shadowIndex = std::uint16_t(at);
        take(standIn, at);
    }
    return true;
}

namespace {

struct Edit {
    std::size_t at, erase;
    std::string text;
};

// Whether a matrix of one row or one column (or a `float1`) has its
// components in one register (a column of a column-major matrix, a row of a
// row-major one): then it is that vector for glslang. Otherwise each stands
// in a register of its own, and it is the first row of a column-major
// square matrix, which every read of it then reads.
bool OneRegisterPerElement(const HlslGlobal& g) {
    return g.rows * g.columns == 1 || g.cls == D3DXPC_VECTOR || (g.cls == D3DXPC_MATRIX_COLUMNS && g.columns == 1) ||
           (g.cls == D3DXPC_MATRIX_ROWS && g.rows == 1);
}

// Such a global given a type glslang lays out on the same registers. The
// source's text passes have made the rest of the program read it as the
// vector (GfxUtilHlslOneRowOrColumn.h).
void OneRowOrColumnType(const HlslGlobal& g, std::vector<Edit>& edits, std::size_t& lastType) {
    if (g.typeBegin == lastType) return;
    const std::string size = std::to_string(g.rows * g.columns);
    edits.push_back({g.typeBegin, g.typeEnd - g.typeBegin,
                     OneRegisterPerElement(g) ? "float" + (g.rows * g.columns > 1 ? size : "")
                                              : "column_major float" + size + "x" + size});
    if (g.packingWord.second) edits.push_back({g.packingWord.first, g.packingWord.second, ""});
    lastType = g.typeBegin;
}

// Every read of such a global that is a square matrix made a read of its
// first row, in one sweep of the source.
void OneRowOrColumnReads(std::string_view source, const std::vector<HlslGlobal>& globals, std::vector<Edit>& edits) {
    std::map<std::string_view, const HlslGlobal*, std::less<>> rowOf;
    for (const HlslGlobal& g : globals)
        if (g.oneRowOrColumn && !g.aliasType && !g.effectOnly && !OneRegisterPerElement(g)) rowOf[g.name] = &g;
    if (rowOf.empty()) return;
    const std::vector<Token> t = Tokenize(source);
    std::vector<std::size_t> braces;                    // the blocks open
    std::map<std::string_view, std::size_t> hiddenTo; // a name declared again: to the end of its scope
    for (std::size_t i = 0; i < t.size() && Step(); ++i) {
        if (Is(t[i], "{")) braces.push_back(i);
        if (Is(t[i], "}") && !braces.empty()) braces.pop_back();
        const auto found = rowOf.find(t[i].text);
        if (found == rowOf.end()) continue;
        const HlslGlobal& g = *found->second;
        if (t[i].begin == g.nameAt || (i > 0 && Is(t[i - 1], ".")) || (i + 1 < t.size() && Is(t[i + 1], "(")))
            continue;
        if (const auto hidden = hiddenTo.find(g.name); hidden != hiddenTo.end() && hidden->second > i) continue;
        // A local or a parameter of the name (a word in front of it that
        // is no statement's) hides the global to the end of its block, or
        // of its function's body.
        if (i > 0 && IdentStart(t[i - 1].text[0]) && !Is(t[i - 1], "return") && !Is(t[i - 1], "else") &&
            !Is(t[i - 1], "case")) {
            std::size_t end = t.size();
            if (!braces.empty()) {
                end = MatchClose(t, braces.back());
            } else {
                std::size_t k = i;
                while (k < t.size() && !Is(t[k], "{") && !Is(t[k], ";") && Step()) ++k;
                if (k < t.size() && Is(t[k], "{")) end = MatchClose(t, k);
            }
            hiddenTo[t[i].text] = end;
            continue;
        }
        std::size_t end = i;
        if (g.elements > 0) {
            if (i + 1 >= t.size() || !Is(t[i + 1], "[")) continue; // the whole array: no row of it
            end = MatchClose(t, i + 1);
            if (end >= t.size()) continue;
        }
        edits.push_back({TokenEnd(t[end]), 0, "[0]"});
    }
}

} // namespace

std::string Rewrite(std::string_view source, const std::vector<HlslGlobal>& globals) {
    std::vector<Edit> edits;
    OneRowOrColumnReads(source, globals, edits);
    // A struct's definition edited once for all its globals (and the structs
    // holding it); an int matrix member under a row-major pragma has two
    // edits at its type's word, its float word and its packing word.
    std::set<std::pair<std::size_t, std::string_view>> structEdited;
    std::size_t lastType = std::string_view::npos, lastPacked = std::string_view::npos,
                lastUniform = std::string_view::npos;
    std::string blanked(source);
    // The globals of one statement may each name all of it: each byte
    // blanked once.
    std::vector<std::pair<std::size_t, std::size_t>> erased;
    for (const HlslGlobal& g : globals)
        if (g.eraseBegin < g.eraseEnd) erased.push_back({g.eraseBegin, std::min(g.eraseEnd, blanked.size())});
    std::sort(erased.begin(), erased.end());
    std::size_t blankedTo = 0;
    for (const auto& [begin, end] : erased) {
        for (std::size_t i = std::max(begin, blankedTo); i < end; ++i)
            if (blanked[i] != '\n') blanked[i] = ' ';
        blankedTo = std::max(blankedTo, end);
    }
    Step(blanked.size() + erased.size());
    // The packing pragmas become words on the globals they reach: glslang
    // does not read them as the D3D9 compiler does.
    for (std::size_t at = 0; at < blanked.size();) {
        std::size_t end = blanked.find('\n', at);
        if (end == std::string::npos) end = blanked.size();
        const std::string_view line = std::string_view(blanked).substr(at, end - at);
        const std::size_t hash = line.find_first_not_of(" \t");
        if (hash != std::string_view::npos && line[hash] == '#' && line.find("pragma") != std::string_view::npos &&
            line.find("pack_matrix") != std::string_view::npos)
            for (std::size_t i = at; i < end; ++i) blanked[i] = ' ';
        at = end + 1;
    }
    for (const HlslGlobal& g : globals) {
        if (!Step(1 + g.groupOpen.size() + g.structEdits.size())) break;
        for (std::size_t at : g.groupOpen) edits.push_back({at, 0, "{"});
        for (std::size_t at : g.groupClose) edits.push_back({at, 0, "}"});
        if (g.effectOnly) continue;
        // Its registers as written, for every profile: the compiler is told
        // the one the layout gives it below.
        for (const auto& [begin, end] : g.registerSpans) {
            std::string spaces(source.substr(begin, end - begin));
            for (char& c : spaces)
                if (c != '\n') c = ' ';
            edits.push_back({begin, end - begin, std::move(spaces)});
        }
        for (const HlslSourceEdit& e : g.structEdits)
            if (structEdited.insert({e.at, e.text}).second) edits.push_back({e.at, e.erase, e.text});
        if (g.oneRowOrColumn && !g.aliasType) {
            OneRowOrColumnType(g, edits, lastType);
        } else if ((g.registerSet == kSetFloat || g.shadow) && g.cls != D3DXPC_STRUCT && !g.aliasType &&
                   g.typeBegin != lastType) {
            // The element type's word: in `vector<int, 2>` the one inside.
            std::size_t at = g.typeBegin;
            std::string_view word = source.substr(g.typeBegin, g.typeEnd - g.typeBegin);
            if (word == "vector" || word == "matrix") {
                std::size_t k = g.typeEnd;
                while (k < source.size() && std::isspace(static_cast<unsigned char>(source[k]))) ++k;
                if (k < source.size() && source[k] == '<') {
                    ++k;
                    while (k < source.size() && std::isspace(static_cast<unsigned char>(source[k]))) ++k;
                    at = k;
                    while (k < source.size() && IdentChar(source[k])) ++k;
                    word = source.substr(at, k - at);
                }
            }
            std::size_t n = 0;
            while (n < word.size() && std::isalpha(static_cast<unsigned char>(word[n]))) ++n;
            // A double would make glslang's block hold two kinds of number.
            if (g.type != D3DXPT_FLOAT || word.starts_with("double")) edits.push_back({at, n, "float"});
            lastType = g.typeBegin;
        }
        if (g.unused && g.staticOk && !g.explicitRegister) {
            edits.push_back({g.typeBegin, 0, "static "});
            continue;
        }
        if (g.uniformWord && g.typeBegin != lastUniform) {
            edits.push_back({g.typeBegin, 0, "uniform "});
            lastUniform = g.typeBegin;
        }
        if (g.rowsFromPragma && g.typeBegin != lastPacked) {
            edits.push_back({g.typeBegin, 0, "row_major "});
            lastPacked = g.typeBegin;
        }
        if (g.shadow)
            edits.push_back({g.insertAt, 0, " : register(c" + std::to_string(g.shadowIndex) + ")"});
        else
            edits.push_back({g.insertAt, 0,
                             std::string(" : register(") + (g.registerSet == kSetSampler ? "s" : "c") +
                                 std::to_string(g.registerIndex) + ")"});
    }
    // Made in one sweep: an edit at a time would move the rest of the text
    // each time. At one place the edits' texts go in the reverse of their
    // order (a word put in front of a type's word goes before its
    // replacement) and the source they erase is erased once.
    std::stable_sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) { return a.at < b.at; });
    Step(edits.size());
    std::string out;
    out.reserve(blanked.size() + 16 * edits.size());
    std::size_t from = 0;
    for (std::size_t k = 0; k < edits.size();) {
        const std::size_t at = edits[k].at;
        std::size_t end = k, erase = 0;
        while (end < edits.size() && edits[end].at == at) erase = std::max(erase, edits[end++].erase);
        if (at > from) out.append(blanked, from, at - from);
        for (std::size_t e = end; e-- > k;) out += edits[e].text;
        from = std::max(from, std::min(at + erase, blanked.size()));
        k = end;
    }
    if (from < blanked.size()) out.append(blanked, from);
    return out;
}

} // namespace gfx::hlsl

namespace gfx {

std::uint64_t LastHlslPassSteps() { return hlsl::PassSteps(); }

bool LayoutHlslGlobals(std::string_view source, std::vector<HlslGlobal>& globals, std::string& error,
                       std::string_view profile, std::size_t* errorAt, std::uint8_t majority) {
    using namespace hlsl;
    const PassRun run;
    std::size_t at = 0;
    if (!errorAt) errorAt = &at;
    *errorAt = 0;
    globals.clear();
    const std::vector<Token> t = Tokenize(source);
    std::size_t first = 0;
    bool sawEquals = false, rowsByDefault = false;
    int parens = 0; // open parentheses in the statement so far
    bool cut = false; // a block the end of the source leaves open
    StructTypes structs;
    Constants constants;
    if (majority == kMajorityRows || majority == kMajorityColumns) {
        rowsByDefault = majority == kMajorityRows;
        structs.latentMajority = majority;
    }
    std::uint8_t pendingMajority = 0; // a pragma inside the statement's braces
    const auto applyPending = [&] {
        if (!pendingMajority) return;
        rowsByDefault = pendingMajority == kMajorityRows;
        structs.latentMajority = pendingMajority;
        pendingMajority = 0;
    };
    // The namespaces the walk is in, innermost last: a namespace's own
    // statements are read as the file's, their globals named through it
    // ("N::tint"), which is how the program names them too.
    struct Space {
        std::size_t close;
        std::string path; // "A::B::"
    };
    std::vector<Space> spaces;
    for (std::size_t i = 0; i < t.size() && Step(); ++i) {
        const std::string_view w = t[i].text;
        if (i == first && w == "namespace" && i + 2 < t.size() && IdentStart(t[i + 1].text[0]) && Is(t[i + 2], "{")) {
            const std::size_t close = MatchClose(t, i + 2);
            if (close >= t.size()) {
                cut = true;
                break;
            }
            spaces.push_back({close, (spaces.empty() ? std::string() : spaces.back().path) +
                                         std::string(t[i + 1].text) + "::"});
            i += 2;
            first = i + 1;
            continue;
        }
        if (!spaces.empty() && i == spaces.back().close) {
            // A statement the namespace's end cuts short declares nothing.
            spaces.pop_back();
            first = i + 1;
            sawEquals = false;
            parens = 0;
            applyPending();
            continue;
        }
        if (w == "#row_major" || w == "#column_major") {
            // "#pragma pack_matrix": matrices without a word of their own from here on.
            rowsByDefault = w == "#row_major";
            structs.latentMajority = rowsByDefault ? kMajorityRows : kMajorityColumns;
            if (first == i) first = i + 1;
            continue;
        }
        // An `=` inside parentheses is a parameter's default value, not an
        // initialiser: the function's body still ends the statement.
        if (w == "(") ++parens;
        if (w == ")" && parens > 0) --parens;
        if (w == "=" && parens == 0) sawEquals = true;
        if (w == "{") {
            const std::size_t close = MatchClose(t, i);
            if (close >= t.size()) {
                cut = true;
                break;
            }
            // An initialiser or a struct body goes on to the ';' (the struct
            // may type declarators after it); a function body or a block
            // ends the statement.
            const std::size_t open = i;
            const bool structBody = (open >= 1 && Is(t[open - 1], "struct")) ||
                                    (open >= 2 && Is(t[open - 2], "struct") && IdentStart(t[open - 1].text[0]));
            // A sampler's state block may follow its name without
            // `= sampler_state`: the statement goes on too.
            std::size_t typeAt = first;
            while (typeAt < open && (Is(t[typeAt], "uniform") || Is(t[typeAt], "static") || Is(t[typeAt], "extern") ||
                                     Is(t[typeAt], "shared") || Is(t[typeAt], "const") || Is(t[typeAt], "volatile")))
                ++typeAt;
            const bool samplerBlock = typeAt + 1 < open && ParseType(t[typeAt].text).sampler &&
                                      IdentStart(t[typeAt + 1].text[0]) && !Is(t[typeAt + 2], "(");
            // A pragma in the block holds past it: from the statement's end,
            // as the statement is read with the majority at its start.
            for (std::size_t k = open + 1; k < close && Step(); ++k)
                if (Is(t[k], "#row_major") || Is(t[k], "#column_major"))
                    pendingMajority = Is(t[k], "#row_major") ? kMajorityRows : kMajorityColumns;
            i = close;
            if (!structBody && !samplerBlock && !sawEquals) {
                first = i + 1;
                parens = 0;
                applyPending();
            }
            continue;
        }
        if (w == ";") {
            const std::size_t before = globals.size();
            if (!ReadStatement(t, first, i, rowsByDefault, profile, structs, constants, globals, error, *errorAt)) {
                if (PassesExpired()) error = kPassesTooLong;
                return false;
            }
            if (!spaces.empty())
                for (std::size_t g = before; g < globals.size(); ++g) globals[g].name.insert(0, spaces.back().path);
            first = i + 1;
            sawEquals = false;
            parens = 0;
            applyPending();
        }
    }
    if (PassesExpired()) {
        error = kPassesTooLong;
        return false;
    }
    // A global declared twice is refused here: glslang's HLSL front end
    // crashes on a uniform declared again with another type, even in a
    // declaration the end of the file cuts short.
    std::set<std::string_view> names;
    for (const HlslGlobal& g : globals)
        if (!names.insert(g.name).second) {
            error = "redefinition of '" + g.name + "'";
            *errorAt = g.nameAt;
            return false;
        }
    for (std::size_t i = first; !cut && i < t.size() && !Is(t[i], "(") && !Is(t[i], "=") && !Is(t[i], "{"); ++i)
        if (names.count(t[i].text)) {
            error = "redefinition of '" + std::string(t[i].text) + "' at the end of the source";
            *errorAt = t[i].begin;
            return false;
        }
    return Assign(globals, error, *errorAt, true);
}

} // namespace gfx
