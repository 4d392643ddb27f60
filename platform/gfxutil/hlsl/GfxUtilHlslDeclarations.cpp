#include "platform/gfxutil/hlsl/GfxUtilHlslDeclarations.h"

#include "platform/gfx/Gfx.h"
#include "platform/gfxutil/GfxUtilEffect.h"
#include "platform/gfxutil/GfxUtilEffectExpression.h"
#include "platform/gfxutil/GfxUtilPreprocess.h"

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

namespace {

// The tokens [b, e) as the evaluator reads them: a two-character operator
// the tokenizer split in two joined again where its halves touch.
std::vector<effect::ExpressionToken> ExpressionTokens(const std::vector<Token>& t, std::size_t b, std::size_t e,
                                                      std::vector<std::size_t>& from) {
    std::vector<effect::ExpressionToken> tokens;
    from.clear();
    for (std::size_t k = b; k < e; ++k) {
        const std::string_view w = t[k].text;
        const char c = w.empty() ? '\0' : w[0];
        using Kind = effect::ExpressionToken::Kind;
        const Kind kind = std::isdigit(static_cast<unsigned char>(c)) || (c == '.' && w.size() > 1) ? Kind::Number
                          : std::isalpha(static_cast<unsigned char>(c)) || c == '_'                  ? Kind::Word
                          : c == '"'                                                                 ? Kind::Other
                                                                                                     : Kind::Punct;
        if (kind == Kind::Punct && k + 1 < e && t[k + 1].begin == t[k].begin + 1) {
            const std::string_view two = effect::JoinOperator(w, t[k + 1].text);
            if (!two.empty()) {
                tokens.push_back({kind, two});
                from.push_back(k);
                ++k;
                continue;
            }
        }
        tokens.push_back({kind, w});
        from.push_back(k);
    }
    return tokens;
}

// Why an initialiser did not fold, and the token it stopped at.
struct FoldFailure {
    std::string why;
    std::size_t at = 0; // a token index
};

// The initialiser [b, e) folded as the compiler folds a constant's default:
// a list item by item (nested lists flat), anything else one expression of
// literals and the static globals before it, each item converted to the
// declared `kind` as an assignment converts it. False where it does not fold.
bool FoldInitialiser(const std::vector<Token>& t, std::size_t b, std::size_t e, const effect::ExpressionLookup& lookup,
                     effect::ExpressionKind kind, std::vector<double>& out, FoldFailure& failure, int depth = 0) {
    if (b >= e) {
        failure = {"value expected", std::min(b, t.size() - 1)};
        return false;
    }
    if (depth > 64) {
        failure = {"initialiser nested too deeply", b};
        return false;
    }
    if (Is(t[b], "{")) {
        if (MatchClose(t, b) != e - 1) {
            failure = {"initialiser list without its end", b};
            return false;
        }
        for (std::size_t k = b + 1; k < e - 1;) {
            std::size_t end = k;
            while (end < e - 1 && !Is(t[end], ","))
                end = Is(t[end], "{") || Is(t[end], "(") || Is(t[end], "[") ? MatchClose(t, end) + 1 : end + 1;
            if (end > e - 1) {
                failure = {"initialiser list without its end", k};
                return false;
            }
            if (end > k && !FoldInitialiser(t, k, end, lookup, kind, out, failure, depth + 1)) return false;
            k = end + 1;
        }
        return true;
    }
    std::vector<std::size_t> from;
    const std::vector<effect::ExpressionToken> tokens = ExpressionTokens(t, b, e, from);
    effect::ExpressionValue value;
    effect::ExpressionFailure why;
    if (!effect::EvaluateExpression(tokens, lookup, value, &why)) {
        failure = {why.why, why.token < from.size() ? from[why.token] : b};
        return false;
    }
    effect::ConvertExpression(value, kind);
    out.insert(out.end(), value.components.begin(), value.components.end());
    if (out.size() > 65536) {
        failure = {"initialiser too long", b};
        return false;
    }
    return true;
}

// The kind of value a global of `type` holds.
effect::ExpressionKind KindOf(const TypeInfo& type, bool unsignedWord) {
    if (type.type == D3DXPT_BOOL) return effect::ExpressionKind::Bool;
    if (type.type == D3DXPT_INT) return unsignedWord ? effect::ExpressionKind::Uint : effect::ExpressionKind::Int;
    return effect::ExpressionKind::Float;
}

// The integer constant expression between the tokens at `first` and `end`
// (exclusive), of numbers and `constants`. False when it is none.
bool ConstantExpression(const std::vector<Token>& t, std::size_t first, std::size_t end, const Constants& constants,
                        long long& value) {
    if (end <= first || end > t.size()) return false;
    std::vector<std::size_t> from;
    const std::vector<effect::ExpressionToken> tokens = ExpressionTokens(t, first, end, from);
    return effect::EvaluateIntegerConstant(
        tokens,
        [&](std::string_view name, effect::ExpressionValue& v) {
            const auto it = constants.find(name);
            if (it == constants.end()) return false;
            v.components = {double(it->second)};
            v.kind = effect::ExpressionKind::Int;
            return true;
        },
        value);
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

// A register's offset in brackets (`register(c0[1 + 2])`): numbers, the
// booleans as 0 and 1, `static const` integers, + - * / and parentheses,
// reckoned in floats and truncated, as the D3D9 compiler takes it. Over
// the tokens [at, end); false when they are no such expression.
class OffsetExpression {
public:
    OffsetExpression(const std::vector<Token>& t, std::size_t at, std::size_t end, const Constants& constants)
        : m_t(t), m_at(at), m_end(end), m_constants(constants) {}
    bool Read(long long& value) {
        double v = 0;
        if (!Sum(v) || m_at != m_end || !(v > -65536.0 && v < 65536.0)) return false;
        value = static_cast<long long>(v);
        return true;
    }

private:
    bool Sum(double& v) {
        if (!Product(v)) return false;
        while (m_at < m_end && (Is(m_t[m_at], "+") || Is(m_t[m_at], "-"))) {
            const bool minus = Is(m_t[m_at++], "-");
            double r = 0;
            if (!Product(r)) return false;
            v = minus ? v - r : v + r;
        }
        return true;
    }
    bool Product(double& v) {
        if (!Unary(v)) return false;
        while (m_at < m_end && (Is(m_t[m_at], "*") || Is(m_t[m_at], "/"))) {
            const bool divide = Is(m_t[m_at++], "/");
            double r = 0;
            if (!Unary(r) || (divide && r == 0)) return false;
            v = divide ? v / r : v * r;
        }
        return true;
    }
    bool Unary(double& v) {
        if (m_at >= m_end || ++m_depth > 64) return false;
        const std::string_view w = m_t[m_at].text;
        bool ok = true;
        if (w == "-" || w == "+") {
            ++m_at;
            ok = Unary(v);
            if (w == "-") v = -v;
        } else if (w == "(") {
            ++m_at;
            ok = Sum(v) && m_at < m_end && Is(m_t[m_at], ")");
            ++m_at;
        } else if (w == "true" || w == "false") {
            v = w == "true" ? 1 : 0;
            ++m_at;
        } else if (std::isdigit(static_cast<unsigned char>(w[0])) || w[0] == '.') {
            v = Number(w);
            ++m_at;
        } else {
            const auto found = m_constants.find(w);
            ok = found != m_constants.end();
            if (ok) v = double(found->second);
            ++m_at;
        }
        --m_depth;
        return ok;
    }

    const std::vector<Token>& m_t;
    std::size_t m_at, m_end;
    const Constants& m_constants;
    int m_depth = 0;
};

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

} // namespace

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

namespace {

constexpr std::size_t kMaxMembersTaken = 32768; // a table's member records point to their struct by 16 bits
// The members all struct definitions (and typedefs of them) may hold
// together: the layout runs in the caller, and its memory is to grow with
// the source, not with the source's nesting.
constexpr std::size_t kMaxMembersHeld = std::size_t(1) << 18;

// `s` kept as a definition: its members counted against what all may hold,
// and none kept past it (no constant can then have its type).
void Hold(StructTypes& structs, StructType& s) {
    if (!s.refusal.empty()) { // no constant has its type: its members serve nothing
        s.members.clear();
        s.edits.clear();
    }
    structs.membersHeld += s.members.size();
    if (structs.membersHeld <= kMaxMembersHeld) return;
    s.members.clear();
    s.edits.clear();
    if (s.refusal.empty()) s.refusal = "more than " + std::to_string(kMaxMembersHeld) + " struct members in all";
}

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

// The declarators [i, last) of a member statement whose type is the struct
// `inner`, defined before: each takes the inner struct's registers, element
// after element, and is followed by its members (those of its first element).
void ReadStructMember(const std::vector<Token>& t, std::size_t i, std::size_t last, const Constants& constants,
                      const StructType& inner, std::size_t held, StructType& s) {
    if (!inner.refusal.empty()) {
        // The reason at the root, named with the struct it stands in: each
        // struct of structs passing the whole chain on would make the
        // messages grow with the nesting.
        constexpr std::string_view kPassedOn = "member of struct '";
        std::string_view root = inner.refusal;
        if (const std::size_t end = root.find("': "); root.starts_with(kPassedOn) && end != std::string_view::npos)
            root.remove_prefix(end + 3);
        if (s.refusal.empty()) s.refusal = std::string(kPassedOn) + inner.name + "': " + std::string(root);
        return;
    }
    std::uint32_t floats = 0;
    std::uint16_t direct = 0;
    for (const HlslMember& m : inner.members)
        if (m.parent < 0) {
            floats += std::uint32_t(m.rows) * m.columns * std::max<std::uint32_t>(m.elements, 1);
            ++direct;
        }
    while (i < last) {
        if (!IdentStart(t[i].text[0])) {
            if (s.refusal.empty()) s.refusal = "member of type '" + inner.name + "' is not laid out";
            return;
        }
        HlslMember m;
        m.name = std::string(t[i].text);
        ++i;
        std::uint32_t elements = 0;
        // An array of arrays is laid out as one of all their elements.
        while (i < last && Is(t[i], "[")) {
            const std::size_t close = MatchClose(t, i);
            std::uint32_t n = 0;
            std::string why = "array without its ']'";
            const bool read = close < last && ArraySize(t, i, close, constants, n, why);
            if (read && std::uint64_t(std::max<std::uint32_t>(elements, 1)) * n > kMaxRegisters) why = "bad array size";
            if (!read || why == "bad array size") {
                if (s.refusal.empty()) s.refusal = "member '" + m.name + "': " + why;
                return;
            }
            elements = std::max<std::uint32_t>(elements, 1) * n;
            i = close + 1;
        }
        while (i < last && !Is(t[i], ",")) ++i; // a semantic
        const std::uint64_t count = std::uint64_t(inner.registers) * std::max<std::uint32_t>(elements, 1);
        if (s.registers + count > kMaxRegisters) {
            if (s.refusal.empty()) s.refusal = "too many registers";
            return;
        }
        // Structs of structs double what they hold at each level: bounded
        // here, before a few lines of source ask for millions of members.
        if (s.members.size() + 1 + inner.members.size() > kMaxMembersTaken) {
            if (s.refusal.empty()) s.refusal = "more than " + std::to_string(kMaxMembersTaken) + " members";
            return;
        }
        if (held + s.members.size() + 1 + inner.members.size() > kMaxMembersHeld) {
            if (s.refusal.empty()) s.refusal = "more than " + std::to_string(kMaxMembersHeld) + " struct members in all";
            return;
        }
        Step(1 + inner.members.size());
        m.cls = D3DXPC_STRUCT;
        m.type = D3DXPT_VOID;
        m.rows = 1;
        m.columns = std::uint16_t(std::min<std::uint32_t>(floats, 0xFFFF));
        m.elements = std::uint16_t(elements);
        m.structMembers = direct;
        m.registerOffset = s.registers;
        m.registerCount = std::uint16_t(count);
        const std::int32_t at = std::int32_t(s.members.size());
        s.members.push_back(m);
        for (HlslMember n : inner.members) {
            n.registerOffset = std::uint16_t(n.registerOffset + m.registerOffset);
            n.parent = n.parent < 0 ? at : at + 1 + n.parent;
            s.members.push_back(std::move(n));
        }
        s.registers = std::uint16_t(s.registers + count);
        if (i < last) ++i; // the ','
    }
    // The inner struct's own definition padded as for a constant of its
    // type: once, however many members have the type.
    std::set<std::pair<std::size_t, std::string_view>> had;
    for (const HlslSourceEdit& e : s.edits) had.insert({e.at, e.text});
    for (const HlslSourceEdit& e : inner.edits)
        if (!had.count({e.at, e.text})) s.edits.push_back(e);
}

// One member statement [first, last) of a struct body (last is the ';').
void ReadMember(const std::vector<Token>& t, std::size_t first, std::size_t last, bool rowsByDefault,
                const Constants& constants, const StructTypes& structs, StructType& s) {
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
    if (type.texture && structs.byName.count(typeToken.text)) type = TypeInfo{}; // the source's own type
    ++i;
    if (!type.known && !(i < last && Is(t[i], "<"))) {
        const auto inner = structs.byName.find(typeToken.text);
        if (inner != structs.byName.end() && !inner->second.alias) {
            ReadStructMember(t, i, last, constants, inner->second, structs.membersHeld, s);
            return;
        }
    }
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
        if (Is(t[k], "#row_major") || Is(t[k], "#column_major")) {
            // A pragma among the members reaches those after it.
            rowsByDefault = Is(t[k], "#row_major");
            structs.latentMajority = rowsByDefault ? kMajorityRows : kMajorityColumns;
            if (statement == k) statement = k + 1;
            continue;
        }
        if (!Is(t[k], ";")) continue;
        ReadMember(t, statement, k, rowsByDefault, constants, structs, s);
        statement = k + 1;
    }
    if (statement < close && s.refusal.empty()) s.refusal = "a member without its ';'";
    if (s.members.empty() && s.refusal.empty()) s.refusal = "no members";
    // A struct without a name is kept under a key no name can be.
    const std::string key = named ? s.name : "#" + std::to_string(structs.anonymous++);
    Hold(structs, s);
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
    std::uint8_t word = 0; // a majority of the typedef's own
    for (; i < last && (Is(t[i], "const") || Is(t[i], "row_major") || Is(t[i], "column_major")); ++i)
        if (!Is(t[i], "const")) word = Is(t[i], "row_major") ? kMajorityRows : kMajorityColumns;
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
        const std::string_view typeWord = t[element].text;
        if (type.type != D3DXPT_FLOAT || typeWord.starts_with("double"))
            alias.edits.push_back({t[element].begin, typeWord.size(), AsFloatType(typeWord)});
    }
    if (alias.alias && alias.type.rows > 1) {
        if (word) alias.majority = word;
        else if (!alias.majority) alias.majority = structs.latentMajority;
    }
    const StructType base = alias;
    for (std::size_t k = next; k < last; ++k) {
        if (!IdentStart(t[k].text[0])) continue;
        alias = base;
        if (k + 1 < last && Is(t[k + 1], "[")) {
            const std::size_t close = MatchClose(t, k + 1);
            std::uint32_t count = 0;
            std::string why;
            if (!alias.alias || close >= last || !ArraySize(t, k + 1, close, constants, count, why)) continue;
            alias.elements = std::max<std::uint32_t>(alias.elements, 1) * count;
            // The elements of an array type keep the majority it was made
            // with, column-major where no pragma had spoken.
            if (alias.type.rows > 1 && !alias.majority) alias.majority = kMajorityColumns;
            alias.name = std::string(t[k].text);
            Hold(structs, alias);
            structs.byName[alias.name] = alias;
            k = close;
            continue;
        }
        if (k + 1 < last && !Is(t[k + 1], ",")) continue;
        alias.name = std::string(t[k].text);
        Hold(structs, alias);
        structs.byName[alias.name] = alias;
    }
}

} // namespace

bool ReadStatement(const std::vector<Token>& t, std::size_t first, std::size_t last, bool rowsByDefault,
                   std::string_view profile, StructTypes& structs, Constants& constants,
                   std::vector<HlslGlobal>& out, std::string& error, std::size_t& errorAt) {
    errorAt = t[first].begin;
    std::size_t i = first;
    bool rowMajor = rowsByDefault, packingWord = false;
    std::size_t packingToken = last; // the packing word written, if any
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
        if (w == "row_major" || w == "column_major") packingToken = i;
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
    // A struct the source names `TextureState` is no texture: the source's
    // own type goes before the texture words read by their start.
    if (type.texture && structs.byName.count(typeToken.text)) type = TypeInfo{};
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
    // A matrix of one row or one column is laid out as a matrix (a register
    // per column, or per row when row-major); the rewriting maps it for
    // glslang, which keeps no such type. Of the template words only the
    // plain ones are mapped.
    const bool oneRowOrColumn = type.known && !type.sampler && !type.texture && (type.rows == 1 || type.columns == 1) &&
                                DegenerateMatrixWord(typeToken.text);
    if (!isStatic && oneRowOrColumn && typeToken.text == "matrix") {
        error = "global '" + std::string(i < last ? t[i].text : std::string_view()) +
                "': a matrix<> of one row or one column is not laid out";
        return false;
    }
    // `float1`: a vector, of one component.
    const bool oneComponent = type.known && !type.sampler && !type.texture && type.rows == 1 && type.columns == 1 &&
                              typeToken.text.size() > 1 && typeToken.text.back() == '1' &&
                              !DegenerateMatrixWord(typeToken.text);
    bool listed = false; // declarators separated by commas
    const StructType* alias = nullptr;
    if (!type.known && !structType) {
        const auto found = structs.byName.find(typeToken.text);
        if (found != structs.byName.end()) (found->second.alias ? alias : structType) = &found->second;
    }
    if (alias) {
        type = alias->type;
        if (type.rows > 1 && alias->majority) {
            const bool aliasRows = alias->majority == kMajorityRows;
            // A typedef that fixed its majority is not overruled by a word.
            if (packingWord && rowMajor != aliasRows) {
                error = "'" + std::string(typeToken.text) + "' is already " + (aliasRows ? "row" : "column") +
                        "-major";
                errorAt = typeToken.begin;
                return false;
            }
            rowMajor = aliasRows;
        }
    }
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
        // `[]` first: as many elements as the initialiser gives, counted
        // where it is folded and written into the brackets for the compiler.
        const bool sizable = !isStatic && !structType && type.known && !type.sampler && !type.texture;
        bool unsized = false;
        std::size_t sizeAt = 0;
        // An array of arrays is laid out as one of all their elements.
        while (i < last && Is(t[i], "[")) {
            const std::size_t close = MatchClose(t, i);
            if (close == i + 1 && sizable && !unsized && elements == 0) {
                unsized = true;
                sizeAt = t[i].begin + 1;
                i = close + 1;
                continue;
            }
            std::string why = "array without its ']'";
            std::uint32_t size = 0;
            const bool read = close < last && ArraySize(t, i, close, constants, size, why);
            const bool tooMany = std::uint64_t(std::max<std::uint32_t>(elements, 1)) * size > kMaxRegisters;
            if (read && tooMany) why = "bad array size";
            if (!read || tooMany) {
                if (isStatic) return true;
                error = "global '" + g.name + "': " + why;
                return false;
            }
            elements = std::max<std::uint32_t>(elements, 1) * size;
            i = close + 1;
        }
        if (alias && alias->elements) elements = alias->elements * std::max<std::uint32_t>(elements, 1);
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
                // The letter, then maybe a number (none is 0) and letters
                // after it (not for b), then maybe an offset in brackets.
                const std::string_view rest = r < close ? t[r].text.substr(1) : std::string_view();
                std::size_t digits = 0;
                while (digits < rest.size() && std::isdigit(static_cast<unsigned char>(rest[digits]))) ++digits;
                bool readable = r < close && digits <= 4 &&
                                (rest.empty() || (digits > 0 && (kind != 'b' || digits == rest.size())));
                long long index = digits ? std::atoll(std::string(rest.substr(0, digits)).c_str()) : 0;
                if (readable && r + 1 < close && Is(t[r + 1], "[")) {
                    const std::size_t bracket = MatchClose(t, r + 1);
                    long long offset = 0;
                    readable = bracket < close && OffsetExpression(t, r + 2, bracket, constants).Read(offset);
                    index += offset;
                    r = bracket;
                }
                // A texture object's `t` register, beside the sampler that
                // reads it, has no D3D9 register: it binds nothing.
                if (kind == 't' && type.texture && close < last && r + 1 == close && readable) {
                    g.registerSpans.push_back({t[colon].begin, t[close].begin + 1});
                    i = close + 1;
                    continue;
                }
                if (close >= last || r + 1 != close || !readable || index < 0 || index >= static_cast<long long>(kMaxRegisters) ||
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
                    g.registerIndex = std::uint16_t(index);
                    g.shadow = kind == 'b' || kind == 'i';
                    g.registerSet = kind == 'b' ? kSetBool : kind == 'i' ? kSetInt : g.registerSet;
                }
                i = close + 1;
            } else if (i + 1 < last && Is(t[i], "packoffset") && Is(t[i + 1], "(")) {
                // Outside a buffer it places nothing: the layout does, and the
                // compiler is told only where.
                const std::size_t close = MatchClose(t, i + 1);
                if (close >= last) {
                    error = "global '" + g.name + "': a packoffset without its ')'";
                    return false;
                }
                g.registerSpans.push_back({t[colon].begin, t[close].begin + 1});
                i = close + 1;
            } else {
                ++i; // a semantic
            }
        }
        // `static const int N = 12;` sizes arrays after it: its value is
        // the initialiser's, folded below.
        g.unsignedWord = !alias && (typeToken.text.starts_with("uint") || typeToken.text.starts_with("dword") ||
                                    typeToken.text.starts_with("DWORD"));
        const bool constantInteger = isStatic && type.known && (type.type == D3DXPT_INT || type.type == D3DXPT_BOOL) &&
                                     type.rows == 1 && type.columns == 1 && elements == 0;
        if (constantInteger) constants.erase(g.name);
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
        if (i < last && Is(t[i], "=") && i + 1 < last && Is(t[i + 1], "{") && (elements > 0 || unsized) &&
            MatchClose(t, i + 1) < last)
            GroupFlatList(t, i + 1, std::size_t(type.rows) * type.columns, unsized ? 0 : elements, g.groupOpen,
                          g.groupClose);
        if (unsized && !(i < last && Is(t[i], "="))) {
            error = "global '" + g.name + "': an array of no size needs an initialiser to take one from";
            return false;
        }
        if (i < last && Is(t[i], "=")) {
            if (type.sampler) {
                g.eraseBegin = t[i].begin;
                g.eraseEnd = t[last].begin;
            }
            ++i;
            // Folded as the compiler folds it where it can be: the comma
            // operator, arithmetic, casts, swizzles, the statics before it
            // (`float2 f = (1, 0.25);` is 0.25 twice). A static's own value
            // is kept only where it folds, for the defaults that read it.
            std::size_t valueEnd = i;
            while (valueEnd < last && !Is(t[valueEnd], ",") && Step())
                valueEnd = Is(t[valueEnd], "{") || Is(t[valueEnd], "(") || Is(t[valueEnd], "[")
                               ? std::min(MatchClose(t, valueEnd), last) + 1
                               : valueEnd + 1;
            const effect::ExpressionLookup lookup = [&](std::string_view name, effect::ExpressionValue& value) {
                for (auto it = out.rbegin(); it != out.rend(); ++it)
                    if (it->name == name) {
                        if (!it->effectOnly || it->defaults.empty()) return false;
                        value.components.assign(it->defaults.begin(), it->defaults.end());
                        TypeInfo its;
                        its.type = it->type;
                        value.kind = KindOf(its, it->unsignedWord);
                        return true;
                    }
                return false;
            };
            std::vector<double> folded;
            FoldFailure failure;
            const std::size_t components =
                std::size_t(std::max<unsigned>(type.rows, 1)) * std::max<unsigned>(type.columns, 1) *
                std::max<std::size_t>(std::size_t(elements), 1);
            if (type.sampler || type.texture || valueEnd > last) {
                // A sampler's state block or a texture's name: the effect's.
                i = std::min(valueEnd, last);
            } else if (FoldInitialiser(t, i, valueEnd, lookup, KindOf(type, g.unsignedWord), folded, failure)) {
                const bool list = Is(t[i], "{");
                if (unsized) {
                    // Whole elements of the list, at least one.
                    const std::size_t inner = std::max<std::uint32_t>(elements, 1);
                    const std::size_t per = std::size_t(std::max<unsigned>(type.rows, 1)) *
                                            std::max<unsigned>(type.columns, 1) * inner;
                    if (!list) {
                        error = "global '" + g.name + "': an array of no size takes it from an initialiser list";
                        return false;
                    }
                    if (folded.empty() || folded.size() % per != 0) {
                        error = "global '" + g.name + "': " + std::to_string(folded.size()) +
                                " initial values, not whole elements of " + std::to_string(per);
                        return false;
                    }
                    const std::size_t outer = folded.size() / per;
                    if (outer * inner > kMaxRegisters) {
                        error = "global '" + g.name + "': bad array size";
                        return false;
                    }
                    elements = std::uint32_t(outer * inner);
                    g.elements = std::uint16_t(elements);
                    g.structEdits.push_back({sizeAt, 0, std::to_string(outer)});
                }
                if (folded.size() == 1 && !list) folded.assign(components, folded[0]);
                if (!list && folded.size() > components) folded.resize(components);
                g.defaults.assign(folded.begin(), folded.end());
                if (isStatic && constantInteger && folded.size() == 1) constants[g.name] = static_cast<long long>(folded[0]);
                i = valueEnd;
            } else if (isStatic) {
                // The compiler reads a static's initialiser in the program;
                // only the defaults that name it need its value here.
                i = valueEnd;
            } else {
                // A uniform's default is a constant: one the reader cannot
                // fold would be stored as something else, or not at all.
                error = "global '" + g.name + "': initial value must be a constant expression (" + failure.why + ")";
                errorAt = t[std::min(failure.at, last)].begin;
                return false;
            }
        }
        if (unsized && g.elements == 0) {
            error = "global '" + g.name + "': array size must be an integer constant";
            return false;
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
                    if (m.parent < 0) floats += std::uint32_t(m.rows) * m.columns * std::max<std::uint32_t>(m.elements, 1);
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
                const bool matrix = type.rows > 1 || oneRowOrColumn;
                g.cls = matrix ? (rowMajor ? D3DXPC_MATRIX_ROWS : D3DXPC_MATRIX_COLUMNS)
                               : (type.columns > 1 || oneComponent ? D3DXPC_VECTOR : D3DXPC_SCALAR);
                g.rowsFromPragma = matrix && rowMajor && !packingWord && !oneRowOrColumn;
                g.oneRowOrColumn = oneRowOrColumn || oneComponent;
                if (packingToken < last) g.packingWord = {t[packingToken].begin, t[packingToken].text.size()};
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

} // namespace gfx::hlsl
