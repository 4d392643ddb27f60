#include "platform/gfxutil/GfxUtilHlsl.h"

#include "platform/gfx/Gfx.h"
#include "platform/gfx/GfxShaderTokens.h"
#include "platform/gfx/GfxShaderTranslator.h"
#include "platform/gfxutil/GfxUtilEffect.h"
#include "platform/gfxutil/GfxUtilHlslGuard.h"
#include "platform/gfxutil/GfxUtilHlslRegisters.h"
#include "platform/gfxutil/GfxUtilHlslRefusals.h"
#include "platform/gfxutil/GfxUtilHlslSpirv.h"
#include "platform/gfxutil/GfxUtilHlslTemporaries.h"
#include "platform/gfxutil/GfxUtilPreprocess.h"
#include "platform/gfxutil/GfxUtilShader.h"

#include <glslang/Public/ResourceLimits.h>
#include <glslang/Public/ShaderLang.h>
#include <glslang/SPIRV/GlslangToSpv.h>
#include <spirv_cross_c.h>

#include <algorithm>
#include <bitset>
#include <cctype>
#include <functional>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <tuple>

namespace gfx {
namespace {

// D3DXREGISTER_SET
constexpr std::uint16_t kSetBool = 0, kSetInt = 1, kSetFloat = 2, kSetSampler = 3;
constexpr std::size_t kBoolIntRegisters = 16; // the device's b and i files
constexpr std::size_t kMaxRegisters = 4096;
constexpr std::size_t kMaxMessages = 64; // error lines from the preprocessor

struct Token {
    std::string_view text;
    std::size_t begin = 0;
    // An opening bracket's closing one (the list's size when it has none),
    // found once for the whole list: passes that look for the end of every
    // list or block would otherwise scan to it each time.
    std::size_t close = 0;
};

// What the text passes of the compile under way on this thread have done:
// tokens and bytes looked at. A hostile source must meet the compile's one
// deadline inside a pass, not only between the includes and in the child,
// so every loop of a pass counts its steps here and the clock is read every
// so many of them.
constexpr std::uint64_t kStepsPerLook = 4096;
struct PassWork {
    std::uint64_t steps = 0, nextLook = kStepsPerLook;
    bool expired = false;
};
thread_local PassWork t_work;
thread_local int t_passRuns = 0;

// One run of the passes: the outermost on this thread starts the count
// afresh (the layout runs alone too, or within a compile).
class PassRun {
public:
    PassRun() {
        if (t_passRuns++ == 0) t_work = PassWork{};
    }
    // The count stays for LastHlslPassSteps; what is past its deadline is
    // the run's alone.
    ~PassRun() {
        if (--t_passRuns == 0) t_work.expired = false;
    }
    PassRun(const PassRun&) = delete;
    PassRun& operator=(const PassRun&) = delete;
};

// `n` steps more; false, and false from then on, once the deadline of the
// compile under way has passed.
bool Step(std::uint64_t n = 1) {
    t_work.steps += n;
    if (t_work.steps >= t_work.nextLook) {
        t_work.nextLook = t_work.steps + kStepsPerLook;
        const HlslCompileScope* scope = HlslCompileScope::Current();
        if (scope && scope->Expired()) t_work.expired = true;
    }
    return !t_work.expired;
}

bool PassesExpired() { return t_work.expired; }

constexpr const char* kPassesTooLong = "preparing the source for the compiler took too long";

bool IdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// Each opening bracket given its closing one. Brackets of one kind pair
// among themselves whatever the others do, as a scan counting only that
// kind would pair them.
void PairBrackets(std::vector<Token>& t) {
    std::vector<std::size_t> open[4];
    for (std::size_t i = 0; i < t.size() && Step(); ++i) {
        if (t[i].text.size() != 1) continue;
        const char c = t[i].text[0];
        const int opening = c == '{' ? 0 : c == '(' ? 1 : c == '[' ? 2 : c == '<' ? 3 : -1;
        const int closing = c == '}' ? 0 : c == ')' ? 1 : c == ']' ? 2 : c == '>' ? 3 : -1;
        if (opening >= 0) {
            t[i].close = t.size();
            open[opening].push_back(i);
        } else if (closing >= 0 && !open[closing].empty()) {
            t[open[closing].back()].close = i;
            open[closing].pop_back();
        }
    }
}

// Words, numbers and single punctuation; comments, strings and preprocessor
// lines dropped. Cut short once the deadline has passed.
std::vector<Token> Tokenize(std::string_view s) {
    std::vector<Token> out;
    out.reserve(s.size() / 4);
    std::size_t i = 0;
    bool lineStart = true;
    while (i < s.size() && Step()) {
        const char c = s[i];
        if (c == '\n') {
            lineStart = true;
            ++i;
            continue;
        }
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
            continue;
        }
        if (c == '#' && lineStart) {
            // A directive runs to the end of its line, continued by a backslash;
            // the matrix packing a pragma asks for is kept as a marker.
            const std::size_t begin = i;
            while (i < s.size() && s[i] != '\n') i += (s[i] == '\\' && i + 1 < s.size()) ? 2 : 1;
            const std::string_view line = s.substr(begin, i - begin);
            if (line.find("pragma") != std::string_view::npos && line.find("pack_matrix") != std::string_view::npos) {
                if (line.find("row_major") != std::string_view::npos) out.push_back({"#row_major", begin});
                else if (line.find("column_major") != std::string_view::npos) out.push_back({"#column_major", begin});
            }
            continue;
        }
        lineStart = false;
        if (c == '/' && i + 1 < s.size() && s[i + 1] == '/') {
            while (i < s.size() && s[i] != '\n') ++i;
            continue;
        }
        if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
            const std::size_t end = s.find("*/", i + 2);
            i = end == std::string_view::npos ? s.size() : end + 2;
            continue;
        }
        const std::size_t begin = i;
        if (c == '"') {
            ++i;
            while (i < s.size() && s[i] != '"') i += (s[i] == '\\') ? 2 : 1;
            i = std::min(i + 1, s.size());
        } else if (IdentStart(c)) {
            while (i < s.size() && IdentChar(s[i])) ++i;
        } else if (std::isdigit(static_cast<unsigned char>(c)) || (c == '.' && i + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
            while (i < s.size() && (IdentChar(s[i]) || s[i] == '.' ||
                                    ((s[i] == '-' || s[i] == '+') && (s[i - 1] == 'e' || s[i - 1] == 'E'))))
                ++i;
        } else {
            ++i;
        }
        out.push_back({s.substr(begin, i - begin), begin});
    }
    PairBrackets(out);
    return out;
}

struct TypeInfo {
    bool known = false, sampler = false, texture = false;
    std::uint16_t type = D3DXPT_FLOAT, rows = 1, columns = 1;
};

// "float", "int3", "half4x3", "sampler2D" ...
TypeInfo ParseType(std::string_view t) {
    TypeInfo info;
    static constexpr std::pair<std::string_view, std::uint16_t> kSamplers[] = {
        {"sampler", D3DXPT_SAMPLER},       {"sampler1D", D3DXPT_SAMPLER1D}, {"sampler2D", D3DXPT_SAMPLER2D},
        {"sampler3D", D3DXPT_SAMPLER3D},   {"samplerCUBE", D3DXPT_SAMPLERCUBE}, {"SamplerState", D3DXPT_SAMPLER}};
    for (const auto& [name, type] : kSamplers)
        if (t == name) {
            info.known = info.sampler = true;
            info.type = type;
            return info;
        }
    if (t.starts_with("texture") || t.starts_with("Texture")) {
        info.known = info.texture = true;
        return info;
    }
    static constexpr std::pair<std::string_view, std::uint16_t> kScalars[] = {
        {"float", D3DXPT_FLOAT}, {"half", D3DXPT_FLOAT}, {"double", D3DXPT_FLOAT}, {"int", D3DXPT_INT},
        {"uint", D3DXPT_INT},    {"dword", D3DXPT_INT},  {"DWORD", D3DXPT_INT}, {"bool", D3DXPT_BOOL}};
    for (const auto& [name, type] : kScalars) {
        if (!t.starts_with(name)) continue;
        std::string_view rest = t.substr(name.size());
        auto digit = [](char c) { return c >= '1' && c <= '4'; };
        if (rest.empty()) {
        } else if (rest.size() == 1 && digit(rest[0])) {
            info.columns = std::uint16_t(rest[0] - '0');
        } else if (rest.size() == 3 && digit(rest[0]) && rest[1] == 'x' && digit(rest[2])) {
            info.rows = std::uint16_t(rest[0] - '0');
            info.columns = std::uint16_t(rest[2] - '0');
        } else {
            continue;
        }
        info.known = true;
        info.type = type;
        return info;
    }
    return info;
}

// The closing bracket of the one at `open`; the list's size when none.
std::size_t MatchClose(const std::vector<Token>& t, std::size_t open) {
    if (t[open].close > open && t[open].close <= t.size()) return t[open].close;
    const char o = t[open].text[0], c = o == '{' ? '}' : o == '(' ? ')' : o == '[' ? ']' : '>';
    int depth = 0;
    for (std::size_t i = open; i < t.size() && Step(); ++i) {
        if (t[i].text.size() == 1 && t[i].text[0] == o) ++depth;
        if (t[i].text.size() == 1 && t[i].text[0] == c && --depth == 0) return i;
    }
    return t.size();
}

bool Is(const Token& t, std::string_view s) { return t.text == s; }

float Number(std::string_view s) {
    std::string text(s);
    while (!text.empty() && (text.back() == 'f' || text.back() == 'F' || text.back() == 'h' || text.back() == 'H'))
        text.pop_back();
    return std::strtof(text.c_str(), nullptr);
}

// The `static const` integers declared so far, by name: array sizes may
// be written with them.
using Constants = std::map<std::string, long long, std::less<>>;

// The integer constant expression between the tokens at `first` and `end`
// (exclusive), of numbers and `constants`. False when it is none.
bool ConstantExpression(const std::vector<Token>& t, std::size_t first, std::size_t end, const Constants& constants,
                        long long& value) {
    if (end <= first || end > t.size()) return false;
    // The source between the first token and the last, as written.
    const char* from = t[first].text.data();
    const std::string_view text(from, std::size_t(t[end - 1].text.data() + t[end - 1].text.size() - from));
    std::string error;
    return EvaluateIntegerExpression(
        text,
        [&](std::string_view name, long long& v) {
            const auto it = constants.find(name);
            if (it == constants.end()) return false;
            v = it->second;
            return true;
        },
        value, error);
}

// An array's size, in the brackets at `open` and `close`: false when it is
// no integer constant expression, or out of the registers' range.
bool ArraySize(const std::vector<Token>& t, std::size_t open, std::size_t close, const Constants& constants,
               std::uint32_t& size, std::string& why) {
    long long n = 0;
    if (!ConstantExpression(t, open + 1, close, constants, n)) {
        why = "array size must be an integer constant";
        return false;
    }
    if (n <= 0 || n > static_cast<long long>(kMaxRegisters)) {
        why = "bad array size";
        return false;
    }
    size = static_cast<std::uint32_t>(n);
    return true;
}

// How closely the profile a register is written for (`register(vs, c0)`,
// `register(ps_2_0, s1)`) names the target compiled for: -1 another stage
// or target, 0 none given (every profile), 1 the target's stage, 2 the
// target itself.
int ProfileMatch(std::string_view written, std::string_view target) {
    if (written.empty()) return 0;
    const auto same = [](std::string_view a, std::string_view b) {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
                   return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
               });
    };
    if (target.size() < 2) return -1;
    if (same(written, target)) return 2;
    return same(written, target.substr(0, 2)) ? 1 : -1;
}

// A flat list of numbers in the braces at `open` initialising `elements`
// vectors or matrices of `per` numbers each (0 elements: as many as the
// numbers make), which this dialect allows and glslang does not: where each
// element's braces go. Nothing when the list is not such a list.
void GroupFlatList(const std::vector<Token>& t, std::size_t open, std::size_t per, std::size_t elements,
                   std::vector<std::size_t>& groupOpen, std::vector<std::size_t>& groupClose) {
    const std::size_t close = MatchClose(t, open);
    if (per < 2 || close >= t.size()) return;
    std::vector<std::pair<std::size_t, std::size_t>> values; // source span of each number
    for (std::size_t k = open + 1; k < close && Step(); ++k) {
        const std::string_view w = t[k].text;
        if (w == "," || w == "-" || w == "+") continue;
        if (!std::isdigit(static_cast<unsigned char>(w[0])) && w[0] != '.') return;
        values.push_back({Is(t[k - 1], "-") || Is(t[k - 1], "+") ? t[k - 1].begin : t[k].begin, t[k].begin + w.size()});
    }
    if (elements == 0 && values.size() % per == 0) elements = values.size() / per;
    if (elements == 0 || values.size() != per * elements) return;
    for (std::size_t e = 0; e < elements; ++e) {
        groupOpen.push_back(values[e * per].first);
        groupClose.push_back(values[e * per + per - 1].second);
    }
}

// A struct the source defines, as a constant of its type is laid out.
struct StructType {
    std::string name;
    std::vector<HlslMember> members;
    std::vector<HlslSourceEdit> edits;
    std::uint16_t registers = 0; // per element
    std::string refusal;         // why no constant can have this type ("" when one can)
    // A typedef's name for a scalar, vector or matrix type: `type` is that
    // type, and `edits` read the typedef's type word as a float.
    bool alias = false;
    TypeInfo type;
};

// The structs defined so far, by name (a later definition replaces an
// earlier one), and how many members the globals of their types have taken
// in all: each global holds its own copy, and a source of many globals of a
// large struct would otherwise grow the layout past any table.
struct StructTypes {
    std::map<std::string, StructType, std::less<>> byName;
    std::size_t membersTaken = 0;
    std::size_t anonymous = 0;        // structs without a name so far
    const StructType* last = nullptr; // the one read last
};
constexpr std::size_t kMaxMembersTaken = 32768; // a table's member records point to their struct by 16 bits

// The alphabetic part of a type word ("int" of "int3") as "float", for
// members and globals the float registers hold.
std::string AsFloatType(std::string_view word) {
    std::size_t n = 0;
    while (n < word.size() && std::isalpha(static_cast<unsigned char>(word[n]))) ++n;
    return "float" + std::string(word.substr(n));
}

// "float1x4", "int3x1", "matrix": a type word of matrix form.
bool DegenerateMatrixWord(std::string_view w) {
    return w == "matrix" || (w.size() >= 4 && w[w.size() - 2] == 'x' && std::isdigit(static_cast<unsigned char>(w.back())) &&
                             std::isdigit(static_cast<unsigned char>(w[w.size() - 3])));
}

// One member statement [first, last) of a struct body (last is the ';').
void ReadMember(const std::vector<Token>& t, std::size_t first, std::size_t last, bool rowsByDefault,
                const Constants& constants, StructType& s) {
    std::size_t i = first;
    bool rowMajor = rowsByDefault, packingWord = false;
    for (; i < last; ++i) {
        const std::string_view w = t[i].text;
        if (w == "row_major") rowMajor = packingWord = true;
        else if (w == "column_major") rowMajor = false, packingWord = true;
        else if (w != "linear" && w != "centroid" && w != "nointerpolation" && w != "noperspective" &&
                 w != "sample" && w != "const" && w != "precise" && w != "uniform")
            break;
    }
    if (i >= last) return;
    const std::size_t typeAt = i;
    const Token& typeToken = t[i];
    TypeInfo type = typeToken.text == "matrix" ? ParseType("float4x4")
                    : typeToken.text == "vector" ? ParseType("float4")
                                                 : ParseType(typeToken.text);
    ++i;
    if (!type.known || type.sampler || type.texture || (i < last && Is(t[i], "<"))) {
        if (s.refusal.empty())
            s.refusal = "member '" + (i < last ? std::string(t[i].text) : std::string()) + "' of type '" +
                        std::string(typeToken.text) + "' is not laid out";
        return;
    }
    if ((type.rows == 1 || type.columns == 1) && DegenerateMatrixWord(typeToken.text)) {
        if (s.refusal.empty()) s.refusal = "a member matrix of one row or one column is not laid out";
        return;
    }
    const bool matrix = type.rows > 1;
    const bool floatType = type.type == D3DXPT_FLOAT;
    const bool packWord = matrix && rowMajor && !packingWord;
    // The member's type as the compiler sees it, for a declarator split off.
    // Each word of it once: it goes in front of every declarator.
    std::string typeText = packWord ? "row_major " : "";
    std::set<std::string_view> words;
    for (std::size_t k = first; k < typeAt && Step(); ++k)
        if (words.insert(t[k].text).second) typeText += std::string(t[k].text) + " ";
    typeText += floatType ? std::string(typeToken.text) : AsFloatType(typeToken.text);
    // The registers hold floats: an int or bool member is read as one.
    if (!floatType) s.edits.push_back({typeToken.begin, typeToken.text.size(), AsFloatType(typeToken.text)});
    if (packWord) s.edits.push_back({typeToken.begin, 0, "row_major "});
    while (i < last) {
        if (!IdentStart(t[i].text[0])) {
            if (s.refusal.empty()) s.refusal = "member of type '" + std::string(typeToken.text) + "' is not laid out";
            return;
        }
        HlslMember m;
        m.name = std::string(t[i].text);
        ++i;
        if (i < last && Is(t[i], "[")) {
            const std::size_t close = MatchClose(t, i);
            std::uint32_t n = 0;
            std::string why = "array without its ']'";
            if (close >= last || !ArraySize(t, i, close, constants, n, why)) {
                if (s.refusal.empty()) s.refusal = "member '" + m.name + "': " + why;
                return;
            }
            m.elements = std::uint16_t(n);
            i = close + 1;
        }
        while (i < last && !Is(t[i], ",")) ++i; // a semantic
        m.type = type.type;
        m.rows = type.rows;
        m.columns = type.columns;
        m.cls = matrix ? (rowMajor ? D3DXPC_MATRIX_ROWS : D3DXPC_MATRIX_COLUMNS)
                       : (type.columns > 1 ? D3DXPC_VECTOR : D3DXPC_SCALAR);
        const std::uint32_t per = matrix ? (rowMajor ? type.rows : type.columns) : 1;
        const std::uint32_t count = per * std::max<std::uint32_t>(m.elements, 1);
        if (s.registers + count > kMaxRegisters) {
            if (s.refusal.empty()) s.refusal = "too many registers";
            return;
        }
        m.registerOffset = s.registers;
        m.registerCount = std::uint16_t(count);
        s.registers = std::uint16_t(s.registers + count);
        // Arrays and matrices end on a register boundary already; a scalar
        // or short vector gets floats after it up to the next one.
        std::string pads;
        if (!matrix && m.elements == 0)
            for (std::uint32_t c = type.columns; c < 4; ++c)
                pads += " float orvPad" + std::to_string(s.members.size()) + "_" + std::to_string(c) + ";";
        const std::size_t at = i < last ? t[i].begin : t[last].begin;
        if (!pads.empty()) {
            if (i < last) s.edits.push_back({at, 1, ";" + pads + " " + typeText + " "});
            else s.edits.push_back({at + 1, 0, pads});
        }
        s.members.push_back(std::move(m));
        if (i < last) ++i; // the ','
    }
}

// `struct Name { members }` or `struct { members }` starting at token `at`,
// added to `structs` (the one read last in `structs.last`); the index of its
// closing brace (t.size() when there is no body).
std::size_t ReadStruct(const std::vector<Token>& t, std::size_t at, bool rowsByDefault, const Constants& constants,
                       StructTypes& structs) {
    const bool named = at + 1 < t.size() && IdentStart(t[at + 1].text[0]);
    const std::size_t open = named ? at + 2 : at + 1;
    if (open >= t.size() || !Is(t[open], "{")) return t.size();
    StructType s;
    if (named) s.name = std::string(t[at + 1].text);
    const std::size_t close = MatchClose(t, open);
    if (close >= t.size()) return t.size();
    std::size_t statement = open + 1;
    for (std::size_t k = open + 1; k < close && Step(); ++k) {
        if (!Is(t[k], ";")) continue;
        ReadMember(t, statement, k, rowsByDefault, constants, s);
        statement = k + 1;
    }
    if (statement < close && s.refusal.empty()) s.refusal = "a member without its ';'";
    if (s.members.empty() && s.refusal.empty()) s.refusal = "no members";
    // A struct without a name is kept under a key no name can be.
    const std::string key = named ? s.name : "#" + std::to_string(structs.anonymous++);
    StructType& stored = structs.byName[key];
    stored = std::move(s);
    structs.last = &stored;
    return close;
}

// A type word and, for `vector<...>` and `matrix<...>`, its arguments from
// token `at`; the token after it in `next`. The element type's word (for a
// template, the one inside) in `element`.
TypeInfo ReadTypeWords(const std::vector<Token>& t, std::size_t at, std::size_t last, std::size_t& next,
                       std::size_t& element) {
    const std::string_view word = t[at].text;
    TypeInfo type = ParseType(word);
    element = at;
    next = at + 1;
    if (next < last && Is(t[next], "<") && (word == "matrix" || word == "vector")) {
        const std::size_t close = MatchClose(t, next);
        std::vector<std::size_t> args;
        for (std::size_t k = next + 1; k < close && k < last; ++k)
            if (!Is(t[k], ",")) args.push_back(k);
        type = TypeInfo{};
        if (word == "matrix" && args.size() == 3) {
            type = ParseType(t[args[0]].text);
            type.rows = std::uint16_t(std::atoi(std::string(t[args[1]].text).c_str()));
            type.columns = std::uint16_t(std::atoi(std::string(t[args[2]].text).c_str()));
        } else if (word == "vector" && args.size() == 2) {
            type = ParseType(t[args[0]].text);
            type.columns = std::uint16_t(std::atoi(std::string(t[args[1]].text).c_str()));
        }
        if (type.rows < 1 || type.rows > 4 || type.columns < 1 || type.columns > 4 || type.sampler || type.texture)
            type.known = false;
        if (!args.empty()) element = args[0];
        next = close + 1;
    } else if (word == "matrix") {
        type = ParseType("float4x4");
    } else if (word == "vector") {
        type = ParseType("float4");
    }
    return type;
}

// `typedef Type Name, ...;` over [at, last): each name an alias of a
// scalar, vector or matrix type, or of a struct the source defined.
void ReadTypedef(const std::vector<Token>& t, std::size_t at, std::size_t last, bool rowsByDefault,
                 const Constants& constants, StructTypes& structs) {
    std::size_t i = at + 1;
    while (i < last && (Is(t[i], "const") || Is(t[i], "row_major") || Is(t[i], "column_major"))) ++i;
    if (i >= last || !IdentStart(t[i].text[0])) return;
    std::size_t next = 0, element = 0;
    const TypeInfo type = ReadTypeWords(t, i, last, next, element);
    const StructType* aliased = nullptr;
    if (Is(t[i], "struct")) {
        // `typedef struct [Name] { ... } Alias;`, or `typedef struct Name Alias;`.
        const std::size_t close = ReadStruct(t, i, rowsByDefault, constants, structs);
        if (close < last) {
            aliased = structs.last;
            next = close + 1;
        } else if (i + 1 < last) {
            ++i;
            next = i + 1;
        }
    }
    if (!aliased) {
        const auto found = structs.byName.find(t[i].text);
        if (found != structs.byName.end()) aliased = &found->second;
    }
    if ((!type.known || type.sampler || type.texture) && !aliased) return;
    StructType alias = aliased ? *aliased : StructType{};
    if (!aliased) {
        alias.alias = true;
        alias.type = type;
        // What the registers hold are floats: the typedef's type word is read as one.
        const std::string_view word = t[element].text;
        if (type.type != D3DXPT_FLOAT || word.starts_with("double"))
            alias.edits.push_back({t[element].begin, word.size(), AsFloatType(word)});
    }
    for (std::size_t k = next; k < last; ++k) {
        if (!IdentStart(t[k].text[0]) || (k + 1 < last && !Is(t[k + 1], ","))) continue;
        alias.name = std::string(t[k].text);
        structs.byName[alias.name] = alias;
    }
}

// One global declaration statement [first, last) (last is the ';').
bool ReadStatement(const std::vector<Token>& t, std::size_t first, std::size_t last, bool rowsByDefault,
                   std::string_view profile, StructTypes& structs, Constants& constants,
                   std::vector<HlslGlobal>& out, std::string& error, std::size_t& errorAt) {
    errorAt = t[first].begin;
    std::size_t i = first;
    bool rowMajor = rowsByDefault, packingWord = false;
    bool isStatic = false, storageWord = false;
    std::size_t structAt = last; // a `struct` keyword in front of the declarators
    for (; i < last; ++i) {
        const std::string_view w = t[i].text;
        if (w == "static") {
            isStatic = true;
            continue;
        }
        if (w == "struct") {
            structAt = i;
            break;
        }
        if (w == "typedef") {
            ReadTypedef(t, i, last, rowsByDefault, constants, structs);
            return true;
        }
        if (w == "cbuffer" || w == "tbuffer" ||
            w == "technique" || w == "technique10" || w == "pass")
            return true;
        if (w == "uniform" || w == "extern" || w == "shared" || w == "volatile") storageWord = true;
        if (w == "row_major") rowMajor = packingWord = true;
        else if (w == "column_major") rowMajor = false, packingWord = true;
        else if (w != "uniform" && w != "const" && w != "extern" && w != "shared" && w != "volatile" && w != "precise")
            break;
    }
    if (i >= last) return true;
    // A struct type defined in the declaration itself (named or not) types
    // the declarators after its body; `struct Name x` names one defined before.
    const StructType* structType = nullptr;
    if (structAt < last) {
        const std::size_t close = ReadStruct(t, structAt, rowsByDefault, constants, structs);
        if (close < last) {
            structType = structs.last;
            i = close;
        } else if (structAt + 2 < last && IdentStart(t[structAt + 1].text[0]) && !Is(t[structAt + 2], "{")) {
            i = structAt + 1;
        } else {
            return true; // a definition alone
        }
    }
    const Token& typeToken = structType ? t[structAt] : t[i];
    TypeInfo type = structType ? TypeInfo{} : ParseType(typeToken.text);
    ++i;
    if (i < last && Is(t[i], "<")) { // matrix<float, 4, 4> and vector<float, 3>
        const std::size_t close = MatchClose(t, i);
        std::vector<std::string_view> args;
        for (std::size_t k = i + 1; k < close && k < last; ++k)
            if (!Is(t[k], ",")) args.push_back(t[k].text);
        if (typeToken.text == "matrix" && args.size() == 3) {
            type = ParseType(args[0]);
            type.rows = std::uint16_t(std::atoi(std::string(args[1]).c_str()));
            type.columns = std::uint16_t(std::atoi(std::string(args[2]).c_str()));
        } else if (typeToken.text == "vector" && args.size() == 2) {
            type = ParseType(args[0]);
            type.columns = std::uint16_t(std::atoi(std::string(args[1]).c_str()));
        }
        i = close + 1;
    } else if (typeToken.text == "matrix") {
        type = ParseType("float4x4");
    } else if (typeToken.text == "vector") {
        type = ParseType("float4");
    }
    // A matrix of one row or one column: glslang makes it a vector or a
    // scalar, which cannot hold the D3D9 layout (a register per column).
    if (!isStatic && type.known && (type.rows == 1 || type.columns == 1) && DegenerateMatrixWord(typeToken.text)) {
        error = "global '" + std::string(i < last ? t[i].text : std::string_view()) + "' of type '" +
                std::string(typeToken.text) + "': matrices of one row or one column are not laid out";
        return false;
    }
    bool listed = false; // declarators separated by commas
    const StructType* alias = nullptr;
    if (!type.known && !structType) {
        const auto found = structs.byName.find(typeToken.text);
        if (found != structs.byName.end()) (found->second.alias ? alias : structType) = &found->second;
    }
    if (alias) type = alias->type;
    while (i < last && Step()) {
        if (!IdentStart(t[i].text[0])) return true;
        HlslGlobal g;
        g.name = std::string(t[i].text);
        g.nameAt = errorAt = t[i].begin;
        ++i;
        if (i < last && Is(t[i], "(")) return true; // a function's declaration
        if (!type.known && !structType) {
            if (isStatic) return true;
            error = "global '" + g.name + "' of type '" + std::string(typeToken.text) +
                    "': user-typed constants are not laid out";
            return false;
        }
        if (structType && !structType->refusal.empty()) {
            if (isStatic) return true;
            error = "global '" + g.name + "' of struct '" + structType->name + "': " + structType->refusal;
            return false;
        }
        std::uint32_t elements = 0;
        if (i < last && Is(t[i], "[")) {
            const std::size_t close = MatchClose(t, i);
            std::string why = "array without its ']'";
            if (close >= last || !ArraySize(t, i, close, constants, elements, why)) {
                if (isStatic) return true;
                error = "global '" + g.name + "': " + why;
                return false;
            }
            i = close + 1;
        }
        g.insertAt = t[i - 1].begin + t[i - 1].text.size();
        g.typeBegin = typeToken.begin;
        g.typeEnd = typeToken.begin + typeToken.text.size();
        g.type = type.type;
        g.rows = type.rows;
        g.columns = type.columns;
        g.elements = std::uint16_t(elements);
        if (alias) {
            g.aliasType = true;
            g.structEdits = alias->edits;
        }
        // Post-declarator annotations: semantics and register(), each
        // register maybe for one profile: the one closest to the target binds.
        int bound = -1; // how closely the binding taken names the target (ProfileMatch)
        while (i < last && Is(t[i], ":")) {
            const std::size_t colon = i++;
            if (i + 3 < last && Is(t[i], "register") && Is(t[i + 1], "(")) {
                // register([profile,] rN) and register([profile,] r[N])
                const std::size_t close = MatchClose(t, i + 1);
                std::size_t r = i + 2;
                std::string_view written;
                if (r + 2 < close && Is(t[r + 1], ",")) {
                    written = t[r].text;
                    r += 2;
                }
                const char kind = r < close ? char(std::tolower(static_cast<unsigned char>(t[r].text[0]))) : 0;
                std::string_view number = r < close ? t[r].text.substr(1) : std::string_view();
                if (number.empty() && r + 4 == close && Is(t[r + 1], "[") && Is(t[r + 3], "]")) {
                    number = t[r + 2].text;
                    r += 3;
                }
                const bool digits = !number.empty() && number.size() <= 4 &&
                                    std::all_of(number.begin(), number.end(),
                                                [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
                if (close >= last || r + 1 != close || !digits ||
                    (kind != 'c' && kind != 's' && kind != 'b' && kind != 'i')) {
                    error = "global '" + g.name + "': only register(cN), (bN), (iN) and (sN) are taken";
                    return false;
                }
                if ((kind == 's') != type.sampler || (kind == 'b' && type.type != D3DXPT_BOOL) ||
                    (kind == 'i' && type.type != D3DXPT_INT)) {
                    error = "global '" + g.name + "': register kind does not suit its type";
                    return false;
                }
                g.registerSpans.push_back({t[colon].begin, t[close].begin + 1});
                const int match = ProfileMatch(written, profile);
                if (match >= 0 && match >= bound) {
                    bound = match;
                    g.explicitRegister = true;
                    g.registerIndex = std::uint16_t(std::atoi(std::string(number).c_str()));
                    g.shadow = kind == 'b' || kind == 'i';
                    g.registerSet = kind == 'b' ? kSetBool : kind == 'i' ? kSetInt : g.registerSet;
                }
                i = close + 1;
            } else {
                ++i; // a semantic
            }
        }
        // `static const int N = 12;` sizes arrays after it.
        if (isStatic && type.known && type.type == D3DXPT_INT && type.rows == 1 && type.columns == 1 && elements == 0 &&
            i + 1 < last && Is(t[i], "=")) {
            std::size_t end = i + 1;
            while (end < last && !Is(t[end], ",")) ++end;
            long long value = 0;
            if (ConstantExpression(t, i + 1, end, constants, value)) constants[g.name] = value;
            else constants.erase(g.name);
        }
        if (i < last && Is(t[i], "{") && type.sampler) {
            // A state block without `= sampler_state`: the effect's, as that one is.
            const std::size_t close = MatchClose(t, i);
            if (close >= last) {
                error = "global '" + g.name + "': a state block without its end";
                return false;
            }
            g.eraseBegin = t[i].begin;
            g.eraseEnd = t[close].begin + 1;
            i = close + 1;
        }
        if (i < last && Is(t[i], "=") && i + 1 < last && Is(t[i + 1], "{") && elements > 0 &&
            MatchClose(t, i + 1) < last)
            GroupFlatList(t, i + 1, std::size_t(type.rows) * type.columns, elements, g.groupOpen, g.groupClose);
        if (i < last && Is(t[i], "=")) {
            if (type.sampler) {
                g.eraseBegin = t[i].begin;
                g.eraseEnd = t[last].begin;
            }
            ++i;
            for (; i < last && !Is(t[i], ",") && Step(); ++i) {
                if (Is(t[i], "{") || Is(t[i], "(")) {
                    // Not past the statement: a bracket the ';' leaves open
                    // would have every later statement read here again.
                    const std::size_t close = std::min(MatchClose(t, i), last);
                    for (std::size_t k = i; k < close && Step(); ++k) {
                        const std::string_view w = t[k].text;
                        const bool neg = k > i && Is(t[k - 1], "-");
                        if (std::isdigit(static_cast<unsigned char>(w[0])) || w[0] == '.')
                            g.defaults.push_back(neg ? -Number(w) : Number(w));
                        else if (w == "true" || w == "false")
                            g.defaults.push_back(w == "true" ? 1.f : 0.f);
                    }
                    i = close;
                } else {
                    const std::string_view w = t[i].text;
                    const bool neg = Is(t[i - 1], "-");
                    if (std::isdigit(static_cast<unsigned char>(w[0])) || w[0] == '.')
                        g.defaults.push_back(neg ? -Number(w) : Number(w));
                    else if (w == "true" || w == "false")
                        g.defaults.push_back(w == "true" ? 1.f : 0.f);
                }
            }
        }
        if (type.sampler) g.defaults.clear(); // sampler_state blocks: the effect keeps those
        if (isStatic) {
            g.effectOnly = true;
            out.push_back(std::move(g));
        } else if (type.texture) {
            g.effectOnly = true;
            g.eraseBegin = t[first].begin;
            g.eraseEnd = t[last].begin + 1;
            out.push_back(std::move(g));
        } else {
            const std::uint32_t count = std::max<std::uint32_t>(elements, 1);
            if (structType) {
                structs.membersTaken += structType->members.size();
                if (structs.membersTaken > kMaxMembersTaken) {
                    error = "global '" + g.name + "': more than " + std::to_string(kMaxMembersTaken) +
                            " struct members among the constants";
                    return false;
                }
                Step(structType->members.size() + structType->edits.size());
                g.registerSet = kSetFloat;
                g.cls = D3DXPC_STRUCT;
                g.type = D3DXPT_VOID;
                g.rows = 1;
                std::uint32_t floats = 0;
                for (const HlslMember& m : structType->members)
                    floats += std::uint32_t(m.rows) * m.columns * std::max<std::uint32_t>(m.elements, 1);
                g.columns = std::uint16_t(std::min<std::uint32_t>(floats, 0xFFFF));
                g.registerCount = std::uint16_t(std::min<std::uint32_t>(structType->registers * count, kMaxRegisters));
                g.members = structType->members;
                g.structEdits = structType->edits;
                g.uniformWord = !storageWord && typeToken.text == "struct";
            } else if (type.sampler) {
                g.registerSet = kSetSampler;
                g.cls = D3DXPC_OBJECT;
                g.registerCount = std::uint16_t(count);
            } else if (g.shadow) {
                g.cls = type.columns > 1 ? D3DXPC_VECTOR : D3DXPC_SCALAR;
                g.registerCount = std::uint16_t(std::min<std::uint32_t>(count, kMaxRegisters));
                if (type.rows > 1) {
                    error = "global '" + g.name + "': a matrix in boolean or integer registers";
                    return false;
                }
            } else {
                g.registerSet = kSetFloat;
                const bool matrix = type.rows > 1;
                g.cls = matrix ? (rowMajor ? D3DXPC_MATRIX_ROWS : D3DXPC_MATRIX_COLUMNS)
                               : (type.columns > 1 ? D3DXPC_VECTOR : D3DXPC_SCALAR);
                g.rowsFromPragma = matrix && rowMajor && !packingWord;
                // A matrix takes a register per column, or per row when row-major.
                const std::uint32_t per = matrix ? (rowMajor ? type.rows : type.columns) : 1;
                g.registerCount = std::uint16_t(std::min<std::uint32_t>(per * count, kMaxRegisters));
            }
            g.staticOk = !storageWord && !type.sampler && !listed;
            out.push_back(std::move(g));
        }
        if (i < last && Is(t[i], ",")) {
            ++i;
            // A word in front of the type would reach every declarator of
            // the list, the last one's included.
            out.back().staticOk = false;
            listed = true;
        }
    }
    return true;
}

// Registers for the globals: explicit `register()` ones where they say, the
// rest in order in the lowest free run. Only what the program reads may not
// overlap (a file's variations often bind several samplers to one unit and
// read one); until that is known (`overlapsAllowed`) explicit registers are
// taken as given. What the program never reads takes no register, though an
// explicit one still keeps the others out of its own. False with `error`,
// and the refused global's name in `errorAt`.
bool Assign(std::vector<HlslGlobal>& globals, std::string& error, std::size_t& errorAt, bool overlapsAllowed = false) {
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
    for (HlslGlobal& g : globals) {
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

// The source glslang compiles: every global given its register, and int and
// bool globals read as floats (the D3D9 compiler keeps them in float
// registers, and one float register file holds them all here).
std::string Rewrite(std::string_view source, const std::vector<HlslGlobal>& globals) {
    struct Edit {
        std::size_t at, erase;
        std::string text;
    };
    std::vector<Edit> edits;
    std::set<std::size_t> structEdited; // a struct's definition edited once for all its globals
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
            if (structEdited.insert(e.at).second) edits.push_back({e.at, e.erase, e.text});
        if ((g.registerSet == kSetFloat || g.shadow) && g.cls != D3DXPC_STRUCT && !g.aliasType &&
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

struct Profile {
    bool vertex = false;
    std::uint32_t major = 0, minor = 0;
};

bool ParseProfile(const char* text, Profile& p) {
    if (!text) return false;
    static constexpr std::pair<std::string_view, Profile> kProfiles[] = {
        {"vs_1_1", {true, 1, 1}}, {"vs_2_0", {true, 2, 0}},  {"vs_2_a", {true, 2, 1}}, {"vs_3_0", {true, 3, 0}},
        {"ps_1_1", {false, 1, 1}}, {"ps_1_2", {false, 1, 2}}, {"ps_1_3", {false, 1, 3}}, {"ps_1_4", {false, 1, 4}},
        {"ps_2_0", {false, 2, 0}}, {"ps_2_a", {false, 2, 1}}, {"ps_2_b", {false, 2, 2}}, {"ps_3_0", {false, 3, 0}}};
    for (const auto& [name, profile] : kProfiles)
        if (name == text) {
            p = profile;
            return true;
        }
    return false;
}

// glslang's "ERROR: name:line: text" lines as "file(line,col): error: text",
// with the file and line the preprocessed line came from.
std::string FormatErrors(const std::string& log, const std::string& name, const PreprocessedText& lines) {
    std::string out;
    std::size_t column = 1;
    const std::string columnMark = "error at column ";
    const std::size_t mark = log.find(columnMark);
    if (mark != std::string::npos) column = std::strtoul(log.c_str() + mark + columnMark.size(), nullptr, 10);
    std::size_t at = 0;
    while (at < log.size()) {
        std::size_t end = log.find('\n', at);
        if (end == std::string::npos) end = log.size();
        std::string_view line(log.data() + at, end - at);
        at = end + 1;
        if (!line.starts_with("ERROR: ")) continue;
        line.remove_prefix(7);
        const std::string prefix = name + ":";
        if (!line.starts_with(prefix)) {
            if (line.find("compilation errors") == std::string_view::npos && line.find("No code generated") == std::string_view::npos)
                out += name + "(1,1): error: " + std::string(line) + "\n";
            continue;
        }
        line.remove_prefix(prefix.size());
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        std::string_view text = line.substr(colon + 1);
        while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
        while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
        const std::string number(line.substr(0, colon));
        const PreprocessedText::Origin o = lines.At(std::strtoul(number.c_str(), nullptr, 10));
        out += lines.files[static_cast<std::size_t>(o.file)] + "(" + std::to_string(o.line) + "," +
               std::to_string(column) + "): error: " + std::string(text) + "\n";
    }
    if (out.empty() && !log.empty()) out = name + "(1,1): error: " + log;
    return out;
}

// Published declaration usages by semantic name, e.g. "TEXCOORD3".
bool ParseSemantic(std::string_view s, ShaderSemantic& out) {
    static constexpr std::pair<std::string_view, std::uint8_t> kUsages[] = {
        {"POSITIONT", 9}, {"POSITION", 0}, {"BLENDWEIGHT", 1}, {"BLENDINDICES", 2}, {"NORMAL", 3}, {"PSIZE", 4},
        {"TEXCOORD", 5},  {"TANGENT", 6},  {"BINORMAL", 7},    {"TESSFACTOR", 8},   {"COLOR", 10}, {"FOG", 11},
        {"DEPTH", 12},    {"SAMPLE", 13}};
    std::string upper;
    for (char c : s) upper += char(std::toupper(static_cast<unsigned char>(c)));
    // The Direct3D 10 names of the same outputs, which the DX9 targets take.
    static constexpr std::pair<std::string_view, std::string_view> kSystemValues[] = {
        {"SV_TARGET", "COLOR"}, {"SV_DEPTH", "DEPTH"}, {"SV_POSITION", "POSITION"}};
    for (const auto& [name, dx9] : kSystemValues)
        if (upper.starts_with(name)) {
            upper = std::string(dx9) + upper.substr(name.size());
            break;
        }
    for (const auto& [name, usage] : kUsages) {
        if (!std::string_view(upper).starts_with(name)) continue;
        const std::string_view digits = std::string_view(upper).substr(name.size());
        if (!std::all_of(digits.begin(), digits.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
            continue;
        out.usage = usage;
        out.index = std::uint8_t(digits.empty() ? 0 : std::atoi(std::string(digits).c_str()));
        return true;
    }
    return false;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

class SpvcContext {
public:
    SpvcContext() { spvc_context_create(&m_context); }
    ~SpvcContext() {
        if (m_context) spvc_context_destroy(m_context);
    }
    SpvcContext(const SpvcContext&) = delete;
    SpvcContext& operator=(const SpvcContext&) = delete;
    spvc_context Get() const { return m_context; }

private:
    spvc_context m_context = nullptr;
};

// A SPIRV-Cross compiler for `spirv` in the context; null with `error`.
spvc_compiler StartCompiler(spvc_context ctx, const std::vector<std::uint32_t>& spirv, spvc_backend backend,
                            std::string& error) {
    spvc_parsed_ir ir = nullptr;
    spvc_compiler comp = nullptr;
    if (!ctx || spvc_context_parse_spirv(ctx, spirv.data(), spirv.size(), &ir) != SPVC_SUCCESS ||
        spvc_context_create_compiler(ctx, backend, ir, SPVC_CAPTURE_MODE_TAKE_OWNERSHIP, &comp) != SPVC_SUCCESS) {
        error = ctx ? spvc_context_get_last_error_string(ctx) : "cannot start SPIRV-Cross";
        return nullptr;
    }
    return comp;
}

// Loads of a whole array out of the constants (an array passed to a
// function: a bone palette handed to a skinning helper) made loads of each
// element, put together again: the register file the constants become
// holds no arrays, only registers, and SPIRV-Cross flattens loads of single
// elements only. Structs holding arrays are split the same way. So is a
// whole matrix whose value is taken apart, column by column: SPIRV-Cross
// loses the transposition of a flattened matrix kept by rows there (a row
// of a matrix handed to a function read a column). False on a module not
// in the form glslang writes.
bool SplitConstantArrayLoads(std::vector<std::uint32_t>& spirv) {
    constexpr std::uint32_t kOpTypeInt = 21, kOpTypeMatrix = 24, kOpTypeArray = 28, kOpTypeStruct = 30, kOpTypePointer = 32,
                            kOpConstant = 43, kOpFunction = 54, kOpVariable = 59, kOpLoad = 61, kOpAccessChain = 65,
                            kOpInBoundsAccessChain = 66, kOpCompositeConstruct = 80, kOpCompositeExtract = 81,
                            kUniform = 2;
    if (spirv.size() < 5) return false;
    struct Inst {
        std::size_t at, words;
    };
    std::map<std::uint32_t, std::vector<std::uint32_t>> types; // id: the type's instruction words
    std::map<std::uint32_t, std::uint32_t> pointerOf;           // pointer value id: its pointer type id
    std::map<std::uint32_t, std::uint32_t> constants;          // int constant id: value
    std::map<std::uint32_t, std::vector<std::uint32_t>> chains; // access chain id: its base and indices
    std::uint32_t intType = 0;
    std::size_t firstFunction = 0;
    std::vector<Inst> loads;
    std::set<std::uint32_t> takenApart; // values parts are extracted from
    for (std::size_t at = 5; at < spirv.size();) {
        const std::uint32_t words = spirv[at] >> 16, op = spirv[at] & 0xFFFF;
        if (words == 0 || at + words > spirv.size()) return false;
        const std::uint32_t* w = &spirv[at];
        if ((op == kOpTypeInt || op == kOpTypeMatrix || op == kOpTypeArray || op == kOpTypeStruct || op == kOpTypePointer) &&
            words >= 2)
            types[w[1]].assign(w, w + words);
        if (op == kOpTypeInt && words == 4 && w[2] == 32 && w[3] == 1) intType = w[1];
        if (op == kOpConstant && words == 4) constants[w[2]] = w[3];
        if ((op == kOpVariable || op == kOpAccessChain || op == kOpInBoundsAccessChain) && words >= 3)
            pointerOf[w[2]] = w[1];
        if ((op == kOpAccessChain || op == kOpInBoundsAccessChain) && words >= 4) chains[w[2]].assign(w + 3, w + words);
        if (op == kOpFunction && firstFunction == 0) firstFunction = at;
        if (op == kOpLoad && words >= 4) loads.push_back({at, words});
        if (op == kOpCompositeExtract && words >= 5) takenApart.insert(w[3]);
        at += words;
    }
    auto storage = [&](std::uint32_t pointer) {
        const auto p = pointerOf.find(pointer);
        if (p == pointerOf.end()) return ~0u;
        const auto t = types.find(p->second);
        return t == types.end() || t->second.size() < 4 || (t->second[0] & 0xFFFF) != kOpTypePointer ? ~0u : t->second[2];
    };
    std::function<bool(std::uint32_t)> loadedInParts = [&](std::uint32_t type) {
        const auto t = types.find(type);
        if (t == types.end() || t->second.empty()) return false;
        const std::uint32_t op = t->second[0] & 0xFFFF;
        if (op == kOpTypeArray) return true;
        if (op != kOpTypeStruct) return false;
        for (std::size_t m = 2; m < t->second.size(); ++m)
            if (loadedInParts(t->second[m])) return true;
        return false;
    };
    std::uint32_t bound = spirv[3];
    std::vector<std::uint32_t> declarations; // new types and constants, before the first function
    std::map<std::uint32_t, std::uint32_t> uniformPointers, intConstants; // element type / value: id
    for (const auto& [id, words] : types)
        if ((words[0] & 0xFFFF) == kOpTypePointer && words.size() == 4 && words[2] == kUniform) uniformPointers[words[3]] = id;
    auto pointerTo = [&](std::uint32_t type) {
        auto it = uniformPointers.find(type);
        if (it != uniformPointers.end()) return it->second;
        const std::uint32_t id = bound++;
        declarations.insert(declarations.end(), {(4u << 16) | kOpTypePointer, id, kUniform, type});
        return uniformPointers[type] = id;
    };
    auto intConstant = [&](std::uint32_t value) {
        if (intType == 0) {
            intType = bound++;
            declarations.insert(declarations.end(), {(4u << 16) | kOpTypeInt, intType, 32, 1});
        }
        if (intConstants.empty())
            for (const auto& [id, v] : constants) intConstants.emplace(v, id);
        auto it = intConstants.find(value);
        // Only constants of the int type itself are taken.
        if (it != intConstants.end()) {
            for (std::size_t at = 5; at < firstFunction;) {
                const std::uint32_t words = spirv[at] >> 16;
                if ((spirv[at] & 0xFFFF) == kOpConstant && words == 4 && spirv[at + 2] == it->second)
                    if (spirv[at + 1] == intType) return it->second;
                at += words;
            }
        }
        const std::uint32_t id = bound++;
        declarations.insert(declarations.end(), {(4u << 16) | kOpConstant, intType, id, value});
        intConstants[value] = id;
        return id;
    };
    // The instructions loading `type` from `pointer` element by element; the
    // value's id.
    std::function<std::uint32_t(std::uint32_t, std::uint32_t, std::uint32_t, std::vector<std::uint32_t>&)> load =
        [&](std::uint32_t type, std::uint32_t pointer, std::uint32_t result, std::vector<std::uint32_t>& out) {
            static const std::vector<std::uint32_t> kNone;
            const auto found = types.find(type);
            const std::vector<std::uint32_t>& t = found == types.end() ? kNone : found->second;
            const bool array = !t.empty() && (t[0] & 0xFFFF) == kOpTypeArray;
            const bool matrix = !t.empty() && (t[0] & 0xFFFF) == kOpTypeMatrix;
            if ((!loadedInParts(type) && !matrix) || ((array || matrix) && t.size() < 4) ||
                (array && !constants.count(t[3]))) {
                out.insert(out.end(), {(4u << 16) | kOpLoad, type, result, pointer});
                return result;
            }
            std::vector<std::uint32_t> parts;
            const std::uint32_t count = array ? constants[t[3]] : matrix ? t[3] : std::uint32_t(t.size() - 2);
            for (std::uint32_t e = 0; e < count && e < kMaxRegisters; ++e) {
                const std::uint32_t elementType = array || matrix ? t[2] : t[2 + e];
                // From the chain's own base: SPIRV-Cross cannot flatten a
                // chain that stops at an array, even one only built upon.
                const std::uint32_t chain = bound++;
                const auto base = chains.find(pointer);
                std::vector<std::uint32_t> operands =
                    base != chains.end() ? base->second : std::vector<std::uint32_t>{pointer};
                operands.push_back(intConstant(e));
                out.insert(out.end(), {((3u + std::uint32_t(operands.size())) << 16) | kOpAccessChain, pointerTo(elementType), chain});
                out.insert(out.end(), operands.begin(), operands.end());
                chains[chain] = operands;
                parts.push_back(load(elementType, chain, bound++, out));
            }
            out.insert(out.end(), {((3u + std::uint32_t(parts.size())) << 16) | kOpCompositeConstruct, type, result});
            out.insert(out.end(), parts.begin(), parts.end());
            return result;
        };
    std::vector<std::pair<Inst, std::vector<std::uint32_t>>> replacements;
    std::vector<std::uint32_t> splitFrom; // the pointers of the loads split
    for (const Inst& l : loads) {
        const std::uint32_t type = spirv[l.at + 1], result = spirv[l.at + 2], pointer = spirv[l.at + 3];
        const auto t = types.find(type);
        const bool matrix = t != types.end() && (t->second[0] & 0xFFFF) == kOpTypeMatrix;
        if (storage(pointer) != kUniform || !(loadedInParts(type) || (matrix && takenApart.count(result)))) continue;
        splitFrom.push_back(pointer);
        std::vector<std::uint32_t> out;
        load(type, pointer, result, out);
        replacements.push_back({l, std::move(out)});
    }
    if (replacements.empty()) return true;
    if (firstFunction == 0 || bound >= 0x400000) return false;
    // From the end, so that earlier places stay put; the declarations last.
    for (auto it = replacements.rbegin(); it != replacements.rend(); ++it) {
        spirv.erase(spirv.begin() + std::ptrdiff_t(it->first.at), spirv.begin() + std::ptrdiff_t(it->first.at + it->first.words));
        spirv.insert(spirv.begin() + std::ptrdiff_t(it->first.at), it->second.begin(), it->second.end());
    }
    spirv.insert(spirv.begin() + std::ptrdiff_t(firstFunction), declarations.begin(), declarations.end());
    spirv[3] = bound;
    // The chains that stopped at the arrays, now read by nothing, go too:
    // SPIRV-Cross would still refuse them.
    std::set<std::uint32_t> dead;
    for (const std::uint32_t pointer : splitFrom)
        if (chains.count(pointer)) dead.insert(pointer);
    std::vector<std::uint32_t> kept(spirv.begin(), spirv.begin() + 5);
    std::map<std::uint32_t, std::size_t> uses;
    for (std::size_t at = firstFunction + declarations.size(); at < spirv.size(); at += spirv[at] >> 16)
        for (std::size_t k = at + 1; k < at + (spirv[at] >> 16); ++k)
            if (dead.count(spirv[k]) && !(k == at + 2 && (spirv[at] & 0xFFFF) == kOpAccessChain)) ++uses[spirv[k]];
    for (std::size_t at = 5; at < spirv.size(); at += spirv[at] >> 16) {
        const std::uint32_t words = spirv[at] >> 16, op = spirv[at] & 0xFFFF;
        const bool unused = (op == kOpAccessChain || op == kOpInBoundsAccessChain) && at >= firstFunction &&
                            dead.count(spirv[at + 2]) && uses[spirv[at + 2]] == 0;
        if (!unused) kept.insert(kept.end(), spirv.begin() + std::ptrdiff_t(at), spirv.begin() + std::ptrdiff_t(at + words));
    }
    spirv = std::move(kept);
    return true;
}

// Functions GLSL 3.30 lacks that SPIRV-Cross writes for HLSL intrinsics
// (frexp and ldexp came with GLSL 4.00), defined in the program that calls
// them, after its #version line. A pixel program's ddy is taken down the
// target as Direct3D has it: the device draws into its bottom-up window
// flipped, and says so in uFlipY, as its own translation of dsy reads it.
void AddMissingBuiltIns(std::string& glsl, bool vertex) {
    static constexpr std::tuple<std::string_view, std::string_view> kFunctions[] = {
        {"frexp(", "float frexp(float x, out int e) {\n"
                   "    if (x == 0.0 || isinf(x) || isnan(x)) { e = 0; return x; }\n"
                   "    e = int(floor(log2(abs(x)))) + 1;\n"
                   "    float m = x * exp2(float(-e));\n"
                   "    if (abs(m) >= 1.0) { m *= 0.5; e += 1; } else if (abs(m) < 0.5) { m *= 2.0; e -= 1; }\n"
                   "    return m;\n}\n"
                   "vec2 frexp(vec2 x, out ivec2 e) { return vec2(frexp(x.x, e.x), frexp(x.y, e.y)); }\n"
                   "vec3 frexp(vec3 x, out ivec3 e) { return vec3(frexp(x.x, e.x), frexp(x.y, e.y), frexp(x.z, e.z)); }\n"
                   "vec4 frexp(vec4 x, out ivec4 e) {\n"
                   "    return vec4(frexp(x.x, e.x), frexp(x.y, e.y), frexp(x.z, e.z), frexp(x.w, e.w));\n}\n"},
        {"ldexp(", "float ldexp(float x, int e) { return x * exp2(float(e)); }\n"
                   "vec2 ldexp(vec2 x, ivec2 e) { return x * exp2(vec2(e)); }\n"
                   "vec3 ldexp(vec3 x, ivec3 e) { return x * exp2(vec3(e)); }\n"
                   "vec4 ldexp(vec4 x, ivec4 e) { return x * exp2(vec4(e)); }\n"},
    };
    std::string definitions;
    for (const auto& [call, text] : kFunctions)
        if (glsl.find(call) != std::string::npos) definitions += text;
    // SV_Position read by a pixel program is the pixel's position as VPOS
    // gives it at these targets: from the top left, whichever way up the
    // device draws.
    if (!vertex && glsl.find("gl_FragCoord") != std::string::npos) {
        const std::string from = "gl_FragCoord", to = "orvFragCoord";
        for (std::size_t at = glsl.find(from); at != std::string::npos; at = glsl.find(from, at + to.size()))
            glsl.replace(at, from.size(), to);
        definitions += "uniform vec2 uTarget;\n"
                       "#define orvFragCoord vec4(gl_FragCoord.x - 0.5, (uFlipY.x < 0.0 ? uTarget.y - gl_FragCoord.y :"
                       " gl_FragCoord.y) - 0.5, gl_FragCoord.zw)\n";
    }
    if (!vertex && glsl.find("dFdy(") != std::string::npos) {
        const std::string from = "dFdy(", to = "orvDdy(";
        for (std::size_t at = glsl.find(from); at != std::string::npos; at = glsl.find(from, at + to.size()))
            if (at == 0 || !IdentChar(glsl[at - 1])) glsl.replace(at, from.size(), to);
        definitions += "float orvDdy(float v) { return dFdy(v) * uFlipY.x; }\n"
                       "vec2 orvDdy(vec2 v) { return dFdy(v) * uFlipY.x; }\n"
                       "vec3 orvDdy(vec3 v) { return dFdy(v) * uFlipY.x; }\n"
                       "vec4 orvDdy(vec4 v) { return dFdy(v) * uFlipY.x; }\n";
    }
    if (definitions.empty()) return;
    if (definitions.find("uFlipY") != std::string::npos) definitions = "uniform vec2 uFlipY;\n" + definitions;
    const std::size_t version = glsl.rfind("#version", 0) == 0 ? glsl.find('\n') : std::string::npos;
    glsl.insert(version == std::string::npos ? 0 : version + 1, definitions);
}

// SPIR-V to GLSL 3.30 with the register file and the interface named as the
// device names them; fills the container's interface.
bool SpirvToGlsl(std::vector<std::uint32_t> spirv, bool vertex, ShaderContainer& c, std::string& error) {
    if (!HlslAddressRegisterIndices(spirv) || !SplitConstantArrayLoads(spirv) ||
        !ExtractDynamicConstantComponents(spirv) || !CopyDynamicallyIndexedMatrices(spirv) ||
        (!vertex && !ReadPixelPositionAsInput(spirv)))
        return error = "unexpected SPIR-V from the compiler", false;
    SpvcContext context;
    spvc_context ctx = context.Get();
    spvc_compiler comp = StartCompiler(ctx, spirv, SPVC_BACKEND_GLSL, error);
    if (!comp) return false;
    spvc_resources res = nullptr;
    if (spvc_compiler_create_shader_resources(comp, &res) != SPVC_SUCCESS) {
        error = spvc_context_get_last_error_string(ctx);
        return false;
    }
    const spvc_reflected_resource* list = nullptr;
    std::size_t count = 0;
    spvc_resources_get_resource_list_for_type(res, SPVC_RESOURCE_TYPE_UNIFORM_BUFFER, &list, &count);
    for (std::size_t i = 0; i < count; ++i) {
        // The flattened array takes the block type's name.
        spvc_compiler_set_name(comp, list[i].id, vertex ? "uVsC" : "uPsC");
        spvc_compiler_set_name(comp, list[i].base_type_id, vertex ? "uVsC" : "uPsC");
        std::size_t bytes = 0;
        spvc_compiler_get_declared_struct_size(comp, spvc_compiler_get_type_handle(comp, list[i].base_type_id), &bytes);
        c.constF = std::max<std::uint32_t>(c.constF, std::uint32_t((bytes + 15) / 16));
        spvc_compiler_flatten_buffer_block(comp, list[i].id);
    }
    std::vector<std::pair<unsigned, unsigned>> samplerArrays; // first unit, elements
    spvc_resources_get_resource_list_for_type(res, SPVC_RESOURCE_TYPE_SAMPLED_IMAGE, &list, &count);
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned unit = spvc_compiler_get_decoration(comp, list[i].id, SpvDecorationBinding);
        if (unit >= (vertex ? DeviceState::kVertexSamplers : 16)) {
            error = std::string("sampler '") + list[i].name + "' beyond unit " + (vertex ? "3" : "15");
            return false;
        }
        // Vertex samplers are uniforms of their own: the pixel half of a
        // program pair names its samplers uS*.
        spvc_compiler_set_name(comp, list[i].id, ((vertex ? "uVS" : "uS") + std::to_string(unit)).c_str());
        const spvc_type type = spvc_compiler_get_type_handle(comp, list[i].type_id);
        const SpvDim dim = spvc_type_get_image_dimension(type);
        // An array of samplers takes a unit per element.
        unsigned elements = 1;
        if (spvc_type_get_num_array_dimensions(type) == 1) elements = spvc_type_get_array_dimension(type, 0);
        if (spvc_type_get_num_array_dimensions(type) > 1 || elements == 0 ||
            unit + elements > (vertex ? DeviceState::kVertexSamplers : 16)) {
            error = std::string("sampler '") + list[i].name + "' beyond unit " + (vertex ? "3" : "15");
            return false;
        }
        if (elements > 1) samplerArrays.push_back({unit, elements});
        for (unsigned e = 0; e < elements; ++e)
            c.samplers[unit + e] =
                std::uint8_t(dim == SpvDimCube ? D3DSTT_CUBE : dim == SpvDim3D ? D3DSTT_VOLUME : D3DSTT_2D);
        spvc_compiler_unset_decoration(comp, list[i].id, SpvDecorationBinding);
    }
    auto readInterface = [&](spvc_resource_type kind, std::vector<ShaderSemantic>& semantics, bool varying) {
        spvc_resources_get_resource_list_for_type(res, kind, &list, &count);
        for (std::size_t i = 0; i < count; ++i) {
            const char* text = spvc_compiler_get_decoration_string(comp, list[i].id, SpvDecorationUserSemantic);
            // The pixel position and face: the device gives them, they are no
            // varyings. (An SV_Position here is one of fewer than four components.)
            const bool position = text && (EqualNoCase(text, "VPOS") || EqualNoCase(text, "SV_Position"));
            if (!vertex && kind == SPVC_RESOURCE_TYPE_STAGE_INPUT && text && (position || EqualNoCase(text, "VFACE"))) {
                spvc_compiler_set_name(comp, list[i].id, position ? "hVPos" : "hVFace");
                spvc_compiler_unset_decoration(comp, list[i].id, SpvDecorationLocation);
                continue;
            }
            ShaderSemantic s;
            if (!text || !ParseSemantic(text, s)) {
                error = std::string("input or output '") + list[i].name + "' has no semantic this device knows";
                return false;
            }
            // glslang splits an array member of a struct into a variable per
            // element ("o.t[2]"), each with the array's semantic: element k
            // takes the index k after it.
            const std::string_view variable = list[i].name ? list[i].name : "";
            if (variable.ends_with("]")) {
                const std::size_t open = variable.rfind('[');
                const std::string_view digits = variable.substr(open + 1, variable.size() - open - 2);
                if (!digits.empty() && digits.size() <= 3 &&
                    std::all_of(digits.begin(), digits.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
                    s.index = std::uint8_t(std::min(s.index + std::atoi(std::string(digits).c_str()), 255));
            }
            s.reg = std::uint8_t(semantics.size());
            if (kind == SPVC_RESOURCE_TYPE_STAGE_OUTPUT && !vertex) s.reg = s.index; // colour n goes to target n
            // An array takes its semantic's index and the ones after it, one
            // register each, as the D3D9 compiler gives them.
            const spvc_type type = spvc_compiler_get_type_handle(comp, list[i].type_id);
            unsigned elements = 1;
            if (spvc_type_get_num_array_dimensions(type) == 1) elements = spvc_type_get_array_dimension(type, 0);
            if (spvc_type_get_num_array_dimensions(type) > 1 || elements == 0 || elements > 16 ||
                s.index + elements > 256 || s.reg + elements > 256) {
                error = std::string("input or output '") + list[i].name + "' is an array the registers cannot hold";
                return false;
            }
            // Named by register: the device wires them to its attributes,
            // varyings and colour outputs by these names.
            const std::string prefix = kind == SPVC_RESOURCE_TYPE_STAGE_INPUT ? "hIn" : "hOut";
            spvc_compiler_set_name(comp, list[i].id, (prefix + std::to_string(s.reg)).c_str());
            // The device interpolates its own registers: how the program
            // asked for it (centroid, flat, noperspective) would only keep
            // the declaration from the form the device reads.
            for (const SpvDecoration d : {SpvDecorationCentroid, SpvDecorationFlat, SpvDecorationNoPerspective,
                                          SpvDecorationSample})
                spvc_compiler_unset_decoration(comp, list[i].id, d);
            if (varying) spvc_compiler_unset_decoration(comp, list[i].id, SpvDecorationLocation);
            else spvc_compiler_set_decoration(comp, list[i].id, SpvDecorationLocation, s.reg);
            for (unsigned e = 0; e < elements; ++e) {
                ShaderSemantic element = s;
                element.index = std::uint8_t(s.index + e);
                element.reg = std::uint8_t(s.reg + e);
                semantics.push_back(element);
            }
        }
        return true;
    };
    if (!readInterface(SPVC_RESOURCE_TYPE_STAGE_INPUT, c.inputs, !vertex) ||
        !readInterface(SPVC_RESOURCE_TYPE_STAGE_OUTPUT, c.outputs, vertex))
        return false;
    spvc_compiler_options options = nullptr;
    spvc_compiler_create_compiler_options(comp, &options);
    spvc_compiler_options_set_uint(options, SPVC_COMPILER_OPTION_GLSL_VERSION, 330);
    spvc_compiler_options_set_bool(options, SPVC_COMPILER_OPTION_GLSL_ES, SPVC_FALSE);
    spvc_compiler_options_set_bool(options, SPVC_COMPILER_OPTION_GLSL_ENABLE_420PACK_EXTENSION, SPVC_FALSE);
    spvc_compiler_options_set_bool(options, SPVC_COMPILER_OPTION_GLSL_EMIT_UNIFORM_BUFFER_AS_PLAIN_UNIFORMS, SPVC_TRUE);
    spvc_compiler_install_compiler_options(comp, options);
    const char* glsl = nullptr;
    if (spvc_compiler_compile(comp, &glsl) != SPVC_SUCCESS || !glsl) {
        error = spvc_context_get_last_error_string(ctx);
        return false;
    }
    c.glsl = glsl;
    AddMissingBuiltIns(c.glsl, vertex);
    // The device declares a sampler per unit: element k of an array at unit
    // n is the sampler of unit n + k. The D3D9 compiler takes only constant
    // indices into sampler arrays; any other is refused here.
    for (const auto& [unit, elements] : samplerArrays) {
        const std::string name = (vertex ? "uVS" : "uS") + std::to_string(unit);
        for (unsigned e = 0; e < elements; ++e) {
            const std::string from = name + "[" + std::to_string(e) + "]";
            const std::string to = (vertex ? "uVS" : "uS") + std::to_string(unit + e);
            for (std::size_t at = c.glsl.find(from); at != std::string::npos; at = c.glsl.find(from, at + to.size()))
                c.glsl.replace(at, from.size(), to);
        }
        // The array's own declaration goes; the device declares each unit.
        const std::string array = name + "[" + std::to_string(elements) + "];";
        const std::size_t declared = c.glsl.find(array);
        const std::size_t line = declared == std::string::npos ? declared : c.glsl.rfind('\n', declared);
        if (declared != std::string::npos)
            c.glsl.erase(line == std::string::npos ? 0 : line + 1, c.glsl.find('\n', declared) - (line == std::string::npos ? 0 : line + 1) + 1);
        if (c.glsl.find(name + "[") != std::string::npos)
            return error = "a sampler array indexed by a value computed at run time", false;
    }
    // GLSL has no projected cube lookup (texCUBEproj): the coordinate is
    // divided by its w first, as the projection does.
    bool cubeProjection = false;
    for (std::size_t unit = 0; unit < c.samplers.size(); ++unit) {
        if (c.samplers[unit] != D3DSTT_CUBE) continue;
        const std::string from = "textureProj(" + std::string(vertex ? "uVS" : "uS") + std::to_string(unit) + ",";
        const std::string to = "orvCubeProj(" + std::string(vertex ? "uVS" : "uS") + std::to_string(unit) + ",";
        for (std::size_t at = c.glsl.find(from); at != std::string::npos; at = c.glsl.find(from, at + to.size())) {
            c.glsl.replace(at, from.size(), to);
            cubeProjection = true;
        }
    }
    if (cubeProjection) {
        // It takes the sampler as a parameter: it may stand before the samplers.
        const std::size_t version = c.glsl.rfind("#version", 0) == 0 ? c.glsl.find('\n') : std::string::npos;
        c.glsl.insert(version == std::string::npos ? 0 : version + 1,
                      "vec4 orvCubeProj(samplerCube s, vec4 c) { return texture(s, c.xyz / c.w); }\n"
                      "vec4 orvCubeProj(samplerCube s, vec4 c, float bias) { return texture(s, c.xyz / c.w, bias); }\n");
    }
    // The position and point size a program writes through `out` parameters
    // come out as GLSL's own variables: outputs like the others, recorded so
    // that the device takes them from the program.
    if (vertex) {
        static constexpr std::tuple<std::string_view, const char*, std::uint8_t> kBuiltIns[] = {
            {"gl_Position", "vec4", D3DDECLUSAGE_POSITION}, {"gl_PointSize", "float", D3DDECLUSAGE_PSIZE}};
        for (const auto& [builtIn, type, usage] : kBuiltIns) {
            if (c.glsl.find(builtIn) == std::string::npos) continue;
            ShaderSemantic s;
            s.usage = usage;
            s.reg = std::uint8_t(c.outputs.size());
            const std::string name = "hOut" + std::to_string(s.reg);
            for (std::size_t at = c.glsl.find(builtIn); at != std::string::npos; at = c.glsl.find(builtIn, at + name.size()))
                c.glsl.replace(at, builtIn.size(), name);
            const std::size_t version = c.glsl.rfind("#version", 0) == 0 ? c.glsl.find('\n') : std::string::npos;
            c.glsl.insert(version == std::string::npos ? 0 : version + 1, std::string("out ") + type + " " + name + ";\n");
            c.outputs.push_back(s);
        }
    }
    const auto writes = [&](std::uint8_t usage) {
        return std::any_of(c.outputs.begin(), c.outputs.end(), [&](const ShaderSemantic& s) { return s.usage == usage; });
    };
    if (vertex && !writes(D3DDECLUSAGE_POSITION)) return error = "vertex program writes no position", false;
    if (!vertex && !writes(D3DDECLUSAGE_COLOR)) return error = "pixel program writes no colour", false;
    return true;
}

std::once_flag g_glslangStarted;

// Reads of the stand-in float registers of boolean and integer constants
// turned into reads of the device's boolean and integer files. False, with
// nothing changed, when the program indexes its float registers by a
// computed index: a stand-in could then be read that way.
bool ReadStandInsFromTheirFiles(std::string& glsl, bool vertex, const std::vector<HlslGlobal>& globals) {
    const std::string floats = vertex ? "uVsC[" : "uPsC[";
    for (std::size_t at = glsl.find(floats); at != std::string::npos; at = glsl.find(floats, at + 1))
        if (at + floats.size() >= glsl.size() || !std::isdigit(static_cast<unsigned char>(glsl[at + floats.size()])))
            return false;
    bool bools = false, ints = false;
    std::map<std::uint32_t, std::string> standIns; // float register: the read that replaces it
    for (const HlslGlobal& g : globals) {
        if (!g.shadow || g.effectOnly || g.unused) continue;
        const bool isBool = g.registerSet == kSetBool;
        (isBool ? bools : ints) = true;
        for (std::uint32_t e = 0; e < g.registerCount; ++e) {
            const std::string index = std::to_string(g.registerIndex + e);
            standIns.emplace(g.shadowIndex + e, isBool ? std::string("vec4(float(") + (vertex ? "uVsB[" : "uPsB[") +
                                                             index + "] != 0))"
                                                       : std::string("vec4(") + (vertex ? "uVsI[" : "uPsI[") + index +
                                                             "])");
        }
    }
    // Made in one sweep: a read replaced at a time would move the rest of
    // the text for every read.
    std::string out;
    out.reserve(glsl.size());
    std::size_t copied = 0;
    for (std::size_t at = glsl.find(floats); at != std::string::npos; at = glsl.find(floats, at + 1)) {
        std::size_t end = at + floats.size();
        std::uint32_t reg = 0;
        while (end < glsl.size() && std::isdigit(static_cast<unsigned char>(glsl[end])) && reg < kMaxRegisters)
            reg = reg * 10 + std::uint32_t(glsl[end++] - '0');
        const auto standIn = standIns.find(reg);
        if (end >= glsl.size() || glsl[end] != ']' || standIn == standIns.end()) continue;
        out.append(glsl, copied, at - copied);
        out += standIn->second;
        copied = end + 1;
    }
    out.append(glsl, copied);
    std::string declarations;
    if (bools) declarations += std::string("uniform int ") + (vertex ? "uVsB" : "uPsB") + "[16];\n";
    if (ints) declarations += std::string("uniform ivec4 ") + (vertex ? "uVsI" : "uPsI") + "[16];\n";
    const std::size_t version = out.rfind("#version", 0) == 0 ? out.find('\n') : std::string::npos;
    out.insert(version == std::string::npos ? 0 : version + 1, declarations);
    glsl = std::move(out);
    return true;
}

// The register file the code declares made to end with the last register of
// the table's constants, or the last one the code names if that is later.
// The file the block's layout makes ends with the member placed last, which
// may be one never read, before the end of an array read whole; past the
// table's last lie only registers never read (the end of a matrix read in
// part, constants never read), which would count against the device's file;
// but a matrix read in part is still loaded whole, naming registers past its
// last, which may be past every other constant's.
void FitRegisterFile(ShaderContainer& c, bool vertex) {
    std::uint32_t last = 0;
    for (const ShaderConstantRecord& k : c.constants)
        if (k.registerSet == kSetFloat) last = std::max<std::uint32_t>(last, std::uint32_t(k.registerIndex) + k.registerCount);
    const std::string type = "uniform vec4 ", floats = vertex ? "uVsC[" : "uPsC[";
    const std::size_t declaration = c.glsl.find(type + floats);
    if (last == 0 || declaration == std::string::npos) return;
    const std::size_t name = declaration + type.size();
    const std::size_t end = c.glsl.find("];", name);
    if (end == std::string::npos) return;
    std::uint32_t named = last;
    for (std::size_t at = c.glsl.find(floats); at != std::string::npos; at = c.glsl.find(floats, at + 1)) {
        const char* digits = c.glsl.c_str() + at + floats.size();
        if (at != name && std::isdigit(static_cast<unsigned char>(*digits)))
            named = std::max<std::uint32_t>(named, std::uint32_t(std::min<unsigned long>(std::strtoul(digits, nullptr, 10), 4096)) + 1);
    }
    c.glsl.replace(declaration, end + 2 - declaration, type + floats + std::to_string(named) + "];");
    c.constF = named;
}

// The rewritten source to SPIR-V; false with the compiler's errors.
bool ToSpirv(const std::string& rewritten, const std::string& sourceName, const PreprocessedText& lines,
             const char* entry, bool vertex, std::vector<std::uint32_t>& spirv, std::string& errors) {
    const EShLanguage stage = vertex ? EShLangVertex : EShLangFragment;
    glslang::TShader shader(stage);
    const char* text = rewritten.c_str();
    const int length = int(rewritten.size());
    const char* names[] = {sourceName.c_str()};
    shader.setStringsWithLengthsAndNames(&text, &length, names, 1);
    shader.setEntryPoint(entry);
    shader.setSourceEntryPoint(entry);
    shader.setEnvInput(glslang::EShSourceHlsl, stage, glslang::EShClientOpenGL, 100);
    shader.setEnvClient(glslang::EShClientOpenGL, glslang::EShTargetOpenGL_450);
    shader.setEnvTarget(glslang::EShTargetSpv, glslang::EShTargetSpv_1_0);
    shader.setEnvTargetHlslFunctionality1(); // keeps the semantics on inputs and outputs
    shader.setHlslIoMapping(true);
    shader.setAutoMapBindings(true);
    shader.setAutoMapLocations(true);
    const auto messages = EShMessages(EShMsgReadHlsl | EShMsgHlslDX9Compatible | EShMsgSpvRules | EShMsgHlslLegalization);
    if (!shader.parse(GetDefaultResources(), 110, false, messages)) {
        errors = FormatErrors(shader.getInfoLog(), sourceName, lines);
        return false;
    }
    glslang::TProgram program;
    program.addShader(&shader);
    if (!program.link(messages) || !program.mapIO()) {
        errors = FormatErrors(program.getInfoLog(), sourceName, lines);
        return false;
    }
    spirv.clear();
    glslang::SpvOptions spvOptions;
    spvOptions.disableOptimizer = false;
    glslang::GlslangToSpv(*program.getIntermediate(stage), spirv, &spvOptions);
    return true;
}

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

// The source with its one-dimensional lookups made 2-D; false when they
// nest too deeply to be rewritten.
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

// In a child bounded by the compile under way; where no child can be made
// glslang runs here.
bool ToSpirvIsolated(const std::string& source, const std::string& sourceName, const PreprocessedText& lines,
                     const char* entry, bool vertex, std::vector<std::uint32_t>& spirv, std::string& errors) {
    spirv.clear();
    errors.clear();
    std::string rewritten;
    if (!OneDimensionalAsTwo(source, rewritten)) {
        errors = sourceName + "(1,1): error: tex1D lookups nested too deeply\n";
        return false;
    }
    const HlslCompileScope scope; // within the compile's own: its deadline and caps
    std::vector<std::uint8_t> reply;
    const HlslChildOutcome outcome = RunHlslChild(
        [&] {
            std::vector<std::uint32_t> words;
            std::string text;
            const std::uint8_t ok = ToSpirv(rewritten, sourceName, lines, entry, vertex, words, text) ? 1 : 0;
            const std::uint32_t sizes[2] = {static_cast<std::uint32_t>(words.size() * 4),
                                            static_cast<std::uint32_t>(text.size())};
            std::vector<std::uint8_t> bytes(1 + sizeof sizes + sizes[0] + sizes[1]);
            bytes[0] = ok;
            std::memcpy(bytes.data() + 1, sizes, sizeof sizes);
            if (sizes[0]) std::memcpy(bytes.data() + 1 + sizeof sizes, words.data(), sizes[0]);
            if (sizes[1]) std::memcpy(bytes.data() + 1 + sizeof sizes + sizes[0], text.data(), sizes[1]);
            return bytes;
        },
        scope, reply);
    if (outcome == HlslChildOutcome::NoChild)
        return ToSpirv(rewritten, sourceName, lines, entry, vertex, spirv, errors);
    std::uint32_t sizes[2] = {0, 0};
    const std::size_t body = 1 + sizeof sizes;
    if (reply.size() >= body) std::memcpy(sizes, reply.data() + 1, sizeof sizes);
    if (outcome != HlslChildOutcome::Replied || reply.size() < body || sizes[0] % 4 != 0 ||
        std::size_t(sizes[0]) + sizes[1] != reply.size() - body) {
        errors = sourceName + "(1,1): error: the HLSL compiler " +
                 (outcome == HlslChildOutcome::TooLong       ? "took too long"
                  : outcome == HlslChildOutcome::OutOfMemory ? "ran out of memory"
                                                             : "stopped") +
                 " on this source\n";
        return false;
    }
    spirv.resize(sizes[0] / 4);
    if (sizes[0]) std::memcpy(spirv.data(), reply.data() + body, sizes[0]);
    errors.assign(reply.begin() + std::ptrdiff_t(body + sizes[0]), reply.end());
    return reply[0] == 1;
}

// The names of the globals the program reads: members of the constant block
// with an active range, and samplers it samples.
bool ActiveGlobals(const std::vector<std::uint32_t>& spirv, std::set<std::string>& names, std::string& error) {
    SpvcContext context;
    spvc_context ctx = context.Get();
    spvc_compiler comp = StartCompiler(ctx, spirv, SPVC_BACKEND_NONE, error);
    if (!comp) return false;
    spvc_set active = nullptr;
    spvc_resources res = nullptr;
    if (spvc_compiler_get_active_interface_variables(comp, &active) != SPVC_SUCCESS ||
        spvc_compiler_create_shader_resources_for_active_variables(comp, &res, active) != SPVC_SUCCESS) {
        error = spvc_context_get_last_error_string(ctx);
        return false;
    }
    const spvc_reflected_resource* list = nullptr;
    std::size_t count = 0;
    spvc_resources_get_resource_list_for_type(res, SPVC_RESOURCE_TYPE_UNIFORM_BUFFER, &list, &count);
    for (std::size_t i = 0; i < count; ++i) {
        const spvc_buffer_range* ranges = nullptr;
        std::size_t n = 0;
        if (spvc_compiler_get_active_buffer_ranges(comp, list[i].id, &ranges, &n) != SPVC_SUCCESS) continue;
        for (std::size_t r = 0; r < n; ++r)
            if (const char* member = spvc_compiler_get_member_name(comp, list[i].base_type_id, ranges[r].index))
                names.insert(member);
    }
    spvc_resources_get_resource_list_for_type(res, SPVC_RESOURCE_TYPE_SAMPLED_IMAGE, &list, &count);
    for (std::size_t i = 0; i < count; ++i) names.insert(list[i].name);
    return true;
}

} // namespace

std::uint64_t LastHlslPassSteps() { return t_work.steps; }

bool LayoutHlslGlobals(std::string_view source, std::vector<HlslGlobal>& globals, std::string& error,
                       std::string_view profile, std::size_t* errorAt) {
    const PassRun run;
    std::size_t at = 0;
    if (!errorAt) errorAt = &at;
    *errorAt = 0;
    globals.clear();
    const std::vector<Token> t = Tokenize(source);
    std::size_t first = 0;
    bool sawEquals = false, rowsByDefault = false;
    bool cut = false; // a block the end of the source leaves open
    StructTypes structs;
    Constants constants;
    for (std::size_t i = 0; i < t.size() && Step(); ++i) {
        const std::string_view w = t[i].text;
        if (w == "#row_major" || w == "#column_major") {
            // "#pragma pack_matrix": matrices without a word of their own from here on.
            rowsByDefault = w == "#row_major";
            if (first == i) first = i + 1;
            continue;
        }
        if (w == "=") sawEquals = true;
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
            i = close;
            if (!structBody && !samplerBlock && !sawEquals) first = i + 1;
            continue;
        }
        if (w == ";") {
            if (!ReadStatement(t, first, i, rowsByDefault, profile, structs, constants, globals, error, *errorAt)) {
                if (PassesExpired()) error = kPassesTooLong;
                return false;
            }
            first = i + 1;
            sawEquals = false;
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

namespace {
// Names that are read only as a `for` loop's count: each read is one side of
// a condition comparing it with the loop's variable ("k < Count"). Such a
// uniform int the D3D9 compiler turns into a `loop` on an integer register;
// an int read any other way needs a float register, and stays there.
std::set<std::string, std::less<>> LoopBounds(std::string_view source) {
    const std::vector<Token> t = Tokenize(source);
    std::map<std::string_view, std::size_t> reads, asBound;
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
        // ident, a comparison of one or two characters, ident.
        const std::size_t ops = last - first - 2;
        bool comparison = ops <= 2 && IdentStart(t[first].text[0]) && IdentStart(t[last - 1].text[0]);
        for (std::size_t k = first + 1; comparison && k < last - 1; ++k)
            comparison = t[k].text.size() == 1 && std::strchr("<>=!", t[k].text[0]) != nullptr;
        if (!comparison) continue;
        ++asBound[t[first].text];
        ++asBound[t[last - 1].text];
    }
    std::set<std::string, std::less<>> out;
    // The declaration is the one read that is no bound.
    for (const auto& [name, n] : asBound)
        if (reads[name] == n + 1) out.insert(std::string(name));
    return out;
}

// Whether a parameter of the entry point has no name ("float4 main(float4)"):
// glslang's HLSL front end crashes mapping such a parameter to an input,
// and it could carry no semantic anyway. Each parameter is read up to its
// semantic, default or array size; "void" alone is an empty list.
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

// Spaces over [begin, end) of `text`, keeping its line breaks so that the
// compiler's line numbers stay those of the file.
void Blank(std::string& text, std::size_t begin, std::size_t end) {
    Step(end > begin ? end - begin : 0);
    for (std::size_t i = begin; i < end && i < text.size(); ++i)
        if (text[i] != '\n') text[i] = ' ';
}

std::size_t TokenEnd(const Token& t) { return t.begin + t.text.size(); }

// An effect file compiled one entry at a time: what only the effect reads
// (techniques and their passes, annotations, string and shader-object
// globals, `compile` expressions) blanked.
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
                open = Is(t[open], "<") ? MatchClose(t, open) + 1 : open + 1; // past its annotations
            const std::size_t close = open < t.size() && Is(t[open], "{") ? MatchClose(t, open) : open;
            const std::size_t end = close < t.size() ? TokenEnd(t[close]) : source.size();
            Blank(out, t[i].begin, end);
            i = std::min(close, t.size() - 1);
            first = i + 1;
            sawEquals = false;
            continue;
        }
        if (w == "<" && !sawEquals && i > first && !Is(t[i - 1], "matrix") && !Is(t[i - 1], "vector") &&
            (IdentStart(t[i - 1].text[0]) || Is(t[i - 1], "]"))) {
            // An annotation after a declarator or a semantic.
            const std::size_t close = MatchClose(t, i);
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

// Arrays of vectors or matrices inside functions, initialised from a flat
// list of numbers, given each element's braces as file-scope ones are.
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

// Whether the source calls the intrinsic `noise`, which the D3D9 compiler
// offers to texture fill programs (tx_1_0) only and glslang's HLSL front end
// stops on. A function of that name the source defines is its own.
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

// What a uniform parameter of the entry point becomes: a global of this
// name prefix, listed in the table as "$" and the parameter's name, as the
// D3D9 compiler lists it.
constexpr std::string_view kLiftedUniform = "orvUniform_";

// The entry point's uniform parameters made globals declared just before
// it, the parameters blanked from its list and its body reading the globals
// (a call passing them would copy a whole array out of the constants, which
// SPIRV-Cross cannot flatten). The source unchanged when it has none.
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
            std::size_t nameAt = from, uniformAt = k;
            for (std::size_t m = from; m < k && !Is(t[m], ":") && !Is(t[m], "=") && !Is(t[m], "[") && Step(); ++m) {
                if (Is(t[m], "uniform")) uniformAt = m;
                if (IdentStart(t[m].text[0])) nameAt = m;
            }
            if (from < k && uniformAt < k) {
                names.insert(t[nameAt].text);
                for (std::size_t m = from; m < k && Step(); ++m)
                    if (m != uniformAt)
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
        std::size_t copied = declaration;
        for (std::size_t k = body + 1; k <= bodyClose && Step(); ++k) {
            if (!names.count(t[k].text) || Is(t[k - 1], ".")) continue;
            out.append(blanked, copied, t[k].begin - copied);
            out += kLiftedUniform;
            copied = t[k].begin;
        }
        out.append(blanked, copied);
        return out;
    }
    return std::string(source);
}

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

// Type words glslang reads otherwise than the D3D9 compiler. `SamplerState`
// is one of that compiler's sampler types, the same as `sampler`; glslang
// takes it for a separate sampler object no DX9 lookup can use.
// Casts to a matrix type of one row or one column, and its constructors,
// are made of vectors: glslang keeps such a matrix as a type but cannot build
// one. A cast becomes a call of a function overloaded on what it converts
// (a scalar fills it, a vector of its size is it, a matrix gives its first
// row or column up to the size, as the published conversions have it), and
// its value is the vector of the same elements, which is all that HLSL
// does with such a value beside indexing it. The functions go in front of
// the first declaration, on its line, so the lines stay the file's.
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

} // namespace

bool CompileHlsl(std::string_view source, const char* name, const D3DXMACRO* defines, const char* entry,
                 const char* profileText, std::vector<std::uint8_t>& code, std::string& errors) {
    code.clear();
    errors.clear();
    const std::string sourceName = name && *name ? name : "memory";
    Profile profile;
    if (!ParseProfile(profileText, profile)) {
        errors = sourceName + "(1,1): error: unknown profile '" + std::string(profileText ? profileText : "") + "'\n";
        return false;
    }
    if (!entry || !*entry) {
        errors = sourceName + "(1,1): error: no entry point\n";
        return false;
    }
    const HlslCompileScope scope;
    const PassRun run;
    if (source.size() > scope.Limits().expandedBytes) {
        errors = sourceName + "(1,1): error: the source passes " + std::to_string(scope.Limits().expandedBytes) +
                 " bytes\n";
        return false;
    }
    // The preprocessor runs first, with the caller's macros: the layout, the
    // rewriting and the compiler all read what it makes, and every line of
    // that keeps the file and line it came from for the messages.
    PreprocessedText lines;
    PreprocessOptions options;
    options.defines = defines;
    std::size_t problems = 0;
    const PreprocessReport report = [&](int file, int line, const std::string& text, bool warning) {
        if (warning || ++problems > kMaxMessages) return;
        errors +=
            lines.files[static_cast<std::size_t>(file)] + "(" + std::to_string(line) + ",1): error: " + text + "\n";
    };
    if (!PreprocessText(source, name && *name ? name : "", options, scope, report, lines)) return false;
    std::string prepared = GroupLocalFlatLists(BlankEffectSyntax(lines.text));
    // Forms the language refuses that the front end would take, named at their line.
    if (std::size_t formAt = 0; !PassesExpired() && !RefuseInvalidForms(prepared, entry, formAt, errors)) {
        const auto line = std::size_t(1 + std::count(prepared.begin(), prepared.begin() + std::ptrdiff_t(formAt), '\n'));
        const std::size_t lineStart = prepared.rfind('\n', formAt == 0 ? 0 : formAt - 1);
        const std::size_t column = lineStart == std::string::npos ? formAt + 1 : formAt - lineStart;
        const PreprocessedText::Origin o = lines.At(line);
        errors = lines.files[static_cast<std::size_t>(o.file)] + "(" + std::to_string(o.line) + "," +
                 std::to_string(column) + "): error: " + errors + "\n";
        return false;
    }
    // Past the deadline the passes stop short, and the layout refuses.
    if (!PassesExpired() && UnnamedEntryParameter(prepared, entry)) {
        errors = sourceName + "(1,1): error: a parameter of '" + std::string(entry) + "' has no name\n";
        return false;
    }
    prepared = LiftEntryUniforms(prepared, entry);
    prepared = DialectTypeWords(prepared);
    if (CallsNoise(prepared)) {
        errors = sourceName + "(1,1): error: 'noise' is offered to texture fill programs only, not to " +
                 std::string(profileText) + "\n";
        return false;
    }
    source = prepared;
    // A refusal of the layout, at `at` in `source`, whose lines are the
    // preprocessor's one for one.
    std::size_t errorAt = 0;
    std::string layoutError;
    const auto refuse = [&] {
        const std::size_t at = std::min(errorAt, source.size());
        const std::size_t lineStart = source.rfind('\n', at == 0 ? 0 : at - 1);
        const std::size_t column = lineStart == std::string_view::npos || at == 0 ? at + 1 : at - lineStart;
        const auto line = std::size_t(1 + std::count(source.begin(), source.begin() + std::ptrdiff_t(at), '\n'));
        const PreprocessedText::Origin o = lines.At(line);
        errors = lines.files[static_cast<std::size_t>(o.file)] + "(" + std::to_string(o.line) + "," +
                 std::to_string(column) + "): error: " + layoutError + "\n";
        return false;
    };
    std::vector<HlslGlobal> globals;
    if (!LayoutHlslGlobals(source, globals, layoutError, profileText, &errorAt)) return refuse();
    std::call_once(g_glslangStarted, [] { glslang::InitializeProcess(); });
    // Where there is static flow control (vertex programs from 2.0, pixel
    // programs from 3.0) a boolean scalar goes to the boolean registers.
    const bool flowControl = profile.vertex ? profile.major >= 2 : profile.major >= 3;
    // Likewise an int scalar bounding a `for` loop goes to the integer
    // registers, where the loop reads its count; an int read any other way
    // stays a float constant, as the D3D9 compiler keeps it.
    const auto bounds = flowControl ? LoopBounds(source) : std::set<std::string, std::less<>>{};
    bool implicitBools = false;
    for (HlslGlobal& g : globals) {
        if (!flowControl || g.effectOnly || g.explicitRegister || g.registerSet != kSetFloat || g.rows != 1 ||
            g.columns != 1 || g.cls == D3DXPC_STRUCT)
            continue;
        if (g.type == D3DXPT_BOOL) {
            g.registerSet = kSetBool;
            g.shadow = implicitBools = true;
            g.registerCount = std::max<std::uint16_t>(g.elements, 1);
        } else if (g.type == D3DXPT_INT && g.elements == 0 && bounds.count(g.name)) {
            g.registerSet = kSetInt;
            g.shadow = implicitBools = true;
            g.registerCount = 1;
        }
    }
    if (implicitBools && !Assign(globals, layoutError, errorAt, true)) return refuse();
    std::vector<std::uint32_t> spirv;
    if (!ToSpirvIsolated(Rewrite(source, globals), sourceName, lines, entry, profile.vertex, spirv, errors))
        return false;
    // What the profile's temporary registers cannot hold is refused here:
    // its GLSL would compile, then hold the driver at the first draw.
    if (!LocalArraysFitTemporaries(spirv, HlslTemporaryRegisters(profile.vertex, profile.major, profile.minor),
                                   source, errorAt, layoutError)) {
        layoutError += " (" + std::string(profileText) + ")";
        return refuse();
    }
    // What the program never reads leaves the table, and each constant keeps
    // the registers up to the last one the program reads; the rest is laid
    // out again without what that frees, as the D3D9 compiler lays out only
    // what is used.
    std::set<std::string> active;
    if (!ActiveGlobals(spirv, active, layoutError)) {
        errors = sourceName + "(1,1): error: " + layoutError + "\n";
        return false;
    }
    std::map<std::string, std::uint32_t> registersRead;
    if (!HlslRegistersRead(spirv, registersRead)) registersRead.clear(); // every register of each then
    std::vector<std::tuple<bool, std::uint16_t, std::uint16_t>> before;
    for (HlslGlobal& g : globals) {
        before.emplace_back(g.unused, g.registerIndex, g.shadowIndex);
        if (g.effectOnly) continue;
        if (!active.count(g.name)) {
            g.unused = true;
            continue;
        }
        // Structs and the stand-ins of boolean and integer registers keep all theirs.
        const auto read = registersRead.find(g.name);
        if (g.registerSet == kSetFloat && !g.shadow && g.cls != D3DXPC_STRUCT && read != registersRead.end() &&
            read->second > 0 && read->second < g.registerCount)
            g.registerCount = std::uint16_t(read->second);
    }
    if (!Assign(globals, layoutError, errorAt)) return refuse();
    bool moved = false;
    for (std::size_t i = 0; i < globals.size(); ++i)
        moved = moved || before[i] != std::make_tuple(globals[i].unused, globals[i].registerIndex, globals[i].shadowIndex);
    if (moved && !ToSpirvIsolated(Rewrite(source, globals), sourceName, lines, entry, profile.vertex, spirv, errors))
        return false;

    ShaderContainer c;
    c.kind = (profile.vertex ? 0xFFFE0000u : 0xFFFF0000u) | (profile.major << 8) | profile.minor;
    std::string error;
    if (!SpirvToGlsl(spirv, profile.vertex, c, error)) {
        errors = sourceName + "(1,1): error: " + error + "\n";
        return false;
    }
    if (profile.vertex && profile.major < 3 &&
        std::any_of(c.samplers.begin(), c.samplers.end(), [](std::uint8_t s) { return s != 0; })) {
        errors = sourceName + "(1,1): error: vertex texture fetch needs vs_3_0\n";
        return false;
    }
    if (!ReadStandInsFromTheirFiles(c.glsl, profile.vertex, globals)) {
        // A computed index into the float registers: booleans stay there.
        bool explicitFiles = false;
        for (HlslGlobal& g : globals) {
            if (!g.shadow || g.effectOnly || g.unused) continue;
            if (g.explicitRegister) explicitFiles = true;
            g.shadow = false;
            g.registerSet = kSetFloat;
        }
        if (explicitFiles) {
            errors = sourceName + "(1,1): error: boolean or integer registers in a program that indexes its constants\n";
            return false;
        }
        c = ShaderContainer{};
        c.kind = (profile.vertex ? 0xFFFE0000u : 0xFFFF0000u) | (profile.major << 8) | profile.minor;
        if (!Assign(globals, layoutError, errorAt)) return refuse();
        if (!ToSpirvIsolated(Rewrite(source, globals), sourceName, lines, entry, profile.vertex, spirv, errors) ||
            !SpirvToGlsl(spirv, profile.vertex, c, error)) {
            if (errors.empty()) errors = sourceName + "(1,1): error: " + (error.empty() ? layoutError : error) + "\n";
            return false;
        }
    }
    for (const HlslGlobal& g : globals) {
        if (g.effectOnly || g.unused) continue;
        ShaderConstantRecord k;
        k.name = g.name.starts_with(kLiftedUniform) ? "$" + g.name.substr(kLiftedUniform.size()) : g.name;
        k.registerSet = g.registerSet;
        k.registerIndex = g.registerIndex;
        k.registerCount = g.registerCount;
        k.cls = g.cls;
        k.type = g.type;
        k.rows = g.cls == D3DXPC_OBJECT ? 1 : g.rows;
        k.columns = g.cls == D3DXPC_OBJECT ? 1 : g.columns;
        k.elements = std::max<std::uint16_t>(g.elements, 1);
        k.defaultValue.resize(g.defaults.size() * sizeof(float));
        if (!g.defaults.empty()) std::memcpy(k.defaultValue.data(), g.defaults.data(), k.defaultValue.size());
        if (g.registerSet == kSetFloat)
            c.constF = std::max<std::uint32_t>(c.constF, std::uint32_t(g.registerIndex) + g.registerCount);
        k.structMembers = std::uint16_t(g.members.size());
        const std::int16_t parent = std::int16_t(c.constants.size());
        c.constants.push_back(std::move(k));
        // Members follow their struct, with the registers of its first element.
        for (const HlslMember& m : g.members) {
            ShaderConstantRecord r;
            r.name = m.name;
            r.registerSet = kSetFloat;
            r.registerIndex = std::uint16_t(g.registerIndex + m.registerOffset);
            r.registerCount = m.registerCount;
            r.cls = m.cls;
            r.type = m.type;
            r.rows = m.rows;
            r.columns = m.columns;
            r.elements = std::max<std::uint16_t>(m.elements, 1);
            r.parent = parent;
            c.constants.push_back(std::move(r));
        }
    }
    FitRegisterFile(c, profile.vertex);
    code = WriteShaderContainer(c);
    return true;
}

} // namespace gfx
