#include "platform/gfxutil/hlsl/GfxUtilHlslRefusals.h"

#include "platform/gfxutil/hlsl/GfxUtilHlslGuard.h"

#include <algorithm>
#include <chrono>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <vector>

namespace gfx {
namespace {

constexpr std::uint64_t kMaxArrayElements = 65536;
constexpr std::uint64_t kMaxUnrolled = 1024; // runs of a loop unrolled without a count
constexpr int kNestedStatements = 64;        // statements within statements a switch's check follows
constexpr std::size_t kOverloadsCompared = 64; // declarations of one name compared for ambiguity
// Sources come from data files: every check takes time in proportion to the
// source. A declaration is looked at no further than this many tokens (its
// brackets one each), and the members of the entry's structs no more often.
constexpr std::size_t kDeclarationTokens = 32;
constexpr std::size_t kMembersLooked = 65536;
constexpr std::size_t kTokensPerLook = 4096; // how often the clock is looked at
constexpr int kShareOfTimeLeft = 32;         // the checks' share of the compile's time left

bool IsIdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

enum class Kind : std::uint8_t { Ident, Number, String, Punct };

struct Token {
    Kind kind;
    std::string_view text;
    std::size_t at; // in the source
    char punct;     // a one-character punctuator; 0 for any other token
};

// The source's tokens; a line starting with '#' (the packing pragmas the
// preprocessor leaves) is passed over.
std::vector<Token> Tokens(std::string_view s) {
    static const std::string_view kLong[] = {"<<=", ">>=", "==", "!=", "<=", ">=", "+=", "-=", "*=", "/=", "%=",
                                             "&=",  "|=",  "^=", "<<", ">>", "&&", "||", "++", "--", "::"};
    std::vector<Token> out;
    bool lineStart = true;
    for (std::size_t i = 0; i < s.size();) {
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
            while (i < s.size() && s[i] != '\n') ++i;
            continue;
        }
        lineStart = false;
        std::size_t j = i + 1;
        Kind kind = Kind::Punct;
        if (IsIdentStart(c)) {
            while (j < s.size() && IsIdentChar(s[j])) ++j;
            kind = Kind::Ident;
        } else if (std::isdigit(static_cast<unsigned char>(c)) ||
                   (c == '.' && j < s.size() && std::isdigit(static_cast<unsigned char>(s[j])))) {
            while (j < s.size() && (IsIdentChar(s[j]) || s[j] == '.' ||
                                    ((s[j] == '+' || s[j] == '-') && (s[j - 1] == 'e' || s[j - 1] == 'E'))))
                ++j;
            kind = Kind::Number;
        } else if (c == '"') {
            while (j < s.size() && s[j] != '"' && s[j] != '\n') j += (s[j] == '\\' && j + 1 < s.size()) ? 2 : 1;
            j = std::min(j + 1, s.size());
            kind = Kind::String;
        } else if (j < s.size() && std::strchr("=<>&|+-:", s[j]) && s[j] != '\0') {
            // Every operator of two or three characters has one of these second.
            for (const std::string_view op : kLong)
                if (s.compare(i, op.size(), op) == 0) {
                    j = i + op.size();
                    break;
                }
        }
        out.push_back({kind, s.substr(i, j - i), i, kind == Kind::Punct && j == i + 1 ? c : '\0'});
        i = j;
    }
    return out;
}

// "'word' rest", built by appending (GCC 12 warns falsely of overlapping
// copies in a chain of '+' starting from a literal).
std::string Quoted(std::string_view word, std::string_view rest) {
    std::string out = "'";
    out += word;
    out += "'";
    out += rest;
    return out;
}

bool IsAssignment(std::string_view t) {
    return t == "=" || t == "+=" || t == "-=" || t == "*=" || t == "/=" || t == "%=" || t == "&=" || t == "|=" ||
           t == "^=" || t == "<<=" || t == ">>=";
}

// A vector swizzle ("xzzx", "rgba") or a matrix one ("_11_22", "_m00_m11")
// naming one component twice; false for any other name.
bool SwizzleRepeats(std::string_view name) {
    std::set<std::pair<int, int>> seen; // row and column from 0; a vector's row is 0
    if (name.size() >= 2 && name.size() <= 4) {
        const std::string_view sets[] = {"xyzw", "rgba"};
        for (const std::string_view letters : sets) {
            if (name.find_first_not_of(letters) != std::string_view::npos) continue;
            for (const char c : name)
                if (!seen.insert({0, int(letters.find(c))}).second) return true;
            return false;
        }
        return false;
    }
    if (name.size() < 6 || name[0] != '_') return false;
    bool repeats = false;
    for (std::size_t i = 0; i < name.size();) {
        if (name[i] != '_') return false;
        const std::size_t next = std::min(name.find('_', i + 1), name.size());
        const std::string_view part = name.substr(i + 1, next - i - 1);
        std::pair<int, int> rc;
        if (part.size() == 2 && part[0] >= '1' && part[0] <= '4' && part[1] >= '1' && part[1] <= '4')
            rc = {part[0] - '1', part[1] - '1'};
        else if (part.size() == 3 && part[0] == 'm' && part[1] >= '0' && part[1] <= '3' && part[2] >= '0' &&
                 part[2] <= '3')
            rc = {part[1] - '0', part[2] - '0'}; // "_m00" is "_11"
        else
            return false;
        repeats = !seen.insert(rc).second || repeats;
        i = next;
    }
    return repeats;
}

// A matrix swizzle mixing the two namings ("_11_m00").
bool SwizzleMixesNamings(std::string_view name) {
    if (name.size() < 6 || name[0] != '_') return false;
    bool ones = false, zeros = false;
    for (std::size_t i = 0; i < name.size();) {
        const std::size_t next = std::min(name.find('_', i + 1), name.size());
        const std::string_view part = name.substr(i + 1, next - i - 1);
        if (part.size() == 2 && std::isdigit(static_cast<unsigned char>(part[0]))) ones = true;
        else if (part.size() == 3 && part[0] == 'm') zeros = true;
        else return false;
        i = next;
    }
    return ones && zeros;
}

bool IsModifier(std::string_view t) {
    static const std::set<std::string_view> kModifiers = {
        "static", "uniform", "const", "extern", "volatile", "shared", "groupshared", "row_major", "column_major",
        "in", "out", "inout", "precise", "nointerpolation", "linear", "centroid", "noperspective"};
    return kModifiers.count(t) != 0;
}

// A built-in scalar, vector or matrix type name ("float", "half3", "int2x4").
bool IsBuiltinType(std::string_view t) {
    static const std::string_view kScalars[] = {"float", "half", "double", "int", "uint", "bool", "dword", "min16float",
                                                "min10float", "min16int", "min12int", "min16uint"};
    for (const std::string_view s : kScalars) {
        if (!t.starts_with(s)) continue;
        const std::string_view rest = t.substr(s.size());
        if (rest.empty()) return true;
        if (rest.size() == 1 && rest[0] >= '1' && rest[0] <= '4') return true;
        if (rest.size() == 3 && rest[0] >= '1' && rest[0] <= '4' && rest[1] == 'x' && rest[2] >= '1' && rest[2] <= '4')
            return true;
    }
    return t == "vector" || t == "matrix";
}

// An integer scalar or vector type name ("int", "uint3", "dword").
bool IsIntegerType(std::string_view t) {
    for (const std::string_view s : {"int", "uint", "dword"}) {
        if (!t.starts_with(s)) continue;
        const std::string_view rest = t.substr(s.size());
        if (rest.empty() || (rest.size() == 1 && rest[0] >= '1' && rest[0] <= '4')) return true;
    }
    return false;
}

// An integer literal ("0", "0x10", "3u"); false for a float one.
bool IsIntegerLiteral(std::string_view t, unsigned long long& value) {
    const std::string digits(t);
    char* end = nullptr;
    value = std::strtoull(digits.c_str(), &end, 0);
    if (!end || end == digits.c_str()) return false;
    for (; *end; ++end)
        if (*end != 'u' && *end != 'U' && *end != 'l' && *end != 'L') return false;
    return true;
}

// The components of a built-in type ("float4" 4, "half2x3" 6); 0 when not one.
std::size_t Components(std::string_view t) {
    if (!IsBuiltinType(t) || t == "vector" || t == "matrix") return 0;
    const std::size_t digit = t.find_first_of("1234");
    if (digit == std::string_view::npos || (t.starts_with("min1") && digit == 3)) {
        // "min16float" and its kin: the size after the name
        const std::size_t after = t.find_first_of("1234", 5);
        if (after == std::string_view::npos) return 1;
        return after + 2 < t.size() && t[after + 1] == 'x' ? std::size_t(t[after] - '0') * std::size_t(t[after + 2] - '0')
                                                          : std::size_t(t[after] - '0');
    }
    if (digit + 2 < t.size() && t[digit + 1] == 'x') return std::size_t(t[digit] - '0') * std::size_t(t[digit + 2] - '0');
    return std::size_t(t[digit] - '0');
}

class Checker {
    struct Member {
        std::size_t type, name; // tokens
        bool semantic;
    };

public:
    Checker(std::string_view source, std::string_view entry, RefusalProfile profile)
        : m_t(Tokens(source)), m_tokens(m_t.data()), m_count(m_t.size()), m_entry(entry), m_profile(profile) {
        // Each bracket's partner, found once, so no check walks a list twice.
        m_match.assign(m_t.size(), m_t.size());
        std::vector<std::size_t> open;
        for (std::size_t i = 0; i < m_t.size(); ++i) {
            if (m_t[i].kind != Kind::Punct) continue;
            const std::string_view t = m_t[i].text;
            if (t == "(" || t == "[" || t == "{") {
                open.push_back(i);
            } else if ((t == ")" || t == "]" || t == "}") && !open.empty()) {
                const std::string_view o = m_t[open.back()].text;
                if ((o == "(") == (t == ")") && (o == "[") == (t == "]")) {
                    m_match[open.back()] = i;
                    m_match[i] = open.back();
                }
                open.pop_back();
            }
        }
    }

    bool Run(std::size_t& at, std::string& error) {
        // The checks take no more than a share of the compile's time left:
        // past it they end where they are (refusing nothing), and the passes
        // after them keep the rest.
        // Counted in the compile's processor time, as its budget is: what
        // the checks refuse does not depend on how busy the machine is.
        if (const HlslCompileScope* scope = HlslCompileScope::Current()) {
            m_scope = scope;
            const std::chrono::nanoseconds spent = scope->SpentAtMost();
            m_budgetEnd = spent + std::max(std::chrono::nanoseconds(scope->Limits().time) - spent,
                                           std::chrono::nanoseconds(0)) / kShareOfTimeLeft;
            m_timed = true;
        }
        if (!Survey()) return true;
        for (std::size_t i = 0; i < m_t.size() && m_error.empty(); ++i) {
            if (OutOfTime(i)) return true;
            Look(i);
        }
        if (m_error.empty()) return true;
        at = m_at;
        error = m_error;
        return false;
    }

private:
    [[nodiscard]] std::string_view Text(std::size_t i) const { return i < m_count ? m_tokens[i].text : std::string_view(); }
    [[nodiscard]] bool IsIdent(std::size_t i) const { return i < m_count && m_tokens[i].kind == Kind::Ident; }
    [[nodiscard]] bool IsPunct(std::size_t i, std::string_view p) const {
        return i < m_t.size() && m_t[i].kind == Kind::Punct && m_t[i].text == p;
    }
    // The same for one character, looked at for nearly every token.
    [[nodiscard]] bool IsPunct(std::size_t i, char p) const { return i < m_count && m_tokens[i].punct == p; }
    void Refuse(std::size_t i, std::string error) {
        if (!m_error.empty()) return;
        m_at = i < m_t.size() ? m_t[i].at : 0;
        m_error = std::move(error);
    }
    // The token closing the bracket opened at `open` (the end when none).
    [[nodiscard]] std::size_t Closing(std::size_t open) const { return open < m_t.size() ? m_match[open] : m_t.size(); }
    // The token after `i`, past the whole of a bracketed part opened there.
    [[nodiscard]] std::size_t Step(std::size_t i) const {
        const char p = i < m_count ? m_tokens[i].punct : '\0';
        return (p == '(' || p == '[' || p == '{') && m_match[i] < m_count ? m_match[i] + 1 : i + 1;
    }
    // The pieces of the list within the brackets opened at `open`, split at
    // its own commas: [first, end) of each.
    [[nodiscard]] std::vector<std::pair<std::size_t, std::size_t>> Pieces(std::size_t open) const {
        std::vector<std::pair<std::size_t, std::size_t>> out;
        const std::size_t close = Closing(open);
        if (close >= m_t.size()) return out;
        std::size_t start = open + 1;
        for (std::size_t i = open + 1; i < close; i = Step(i))
            if (IsPunct(i, ',')) {
                out.emplace_back(start, i);
                start = i + 1;
            }
        if (close > start) out.emplace_back(start, close);
        return out;
    }
    [[nodiscard]] bool HasWord(std::pair<std::size_t, std::size_t> piece, std::string_view word) const {
        for (std::size_t i = piece.first; i < piece.second; i = Step(i))
            if (IsIdent(i) && Text(i) == word) return true;
        return false;
    }
    [[nodiscard]] std::size_t Find(std::pair<std::size_t, std::size_t> piece, std::string_view punct) const {
        for (std::size_t i = piece.first; i < piece.second; i = Step(i))
            if (IsPunct(i, punct)) return i;
        return piece.second;
    }

    // What the checks need of the whole source first: the braces that open
    // function bodies and struct bodies, the members of structs (a member
    // named "xx" is no swizzle), and the functions' out parameters.
    [[nodiscard]] bool OutOfTime(std::size_t i) const {
        return m_timed && i % kTokensPerLook == 0 && (m_scope->SpentAtLeast(m_budgetEnd) || m_scope->Expired());
    }

    // False when out of time.
    [[nodiscard]] bool Survey() {
        m_inFunction.assign(m_t.size(), false);
        m_inStruct.assign(m_t.size(), false);
        std::vector<bool> kinds; // true: a function body (or a block within one)
        int structDepth = 0;
        for (std::size_t i = 0; i < m_t.size(); ++i) {
            if (OutOfTime(i)) return false;
            m_inFunction[i] = !kinds.empty() && kinds.back();
            m_inStruct[i] = structDepth > 0;
            if (IsPunct(i, '{')) {
                const bool function = (i >= 1 && IsPunct(i - 1, ')')) ||
                                      (i >= 3 && IsIdent(i - 1) && IsPunct(i - 2, ':') && IsPunct(i - 3, ')'));
                const bool structBody = (i >= 1 && IsIdent(i - 1) && Text(i - 1) == "struct") ||
                                        (i >= 2 && IsIdent(i - 1) && Text(i - 2) == "struct");
                kinds.push_back(function || (!kinds.empty() && kinds.back()));
                if (structBody || structDepth > 0) ++structDepth;
                if (structBody) {
                    const std::size_t close = std::min(Closing(i), m_t.size());
                    for (std::size_t k = i + 1; k + 1 < close; k = Step(k))
                        if (IsIdent(k) && (IsPunct(k + 1, ';') || IsPunct(k + 1, ':') || IsPunct(k + 1, '[') ||
                                           IsPunct(k + 1, ',')))
                            m_members.insert(Text(k));
                    // Its members, one a ';': type, name, whether a semantic is given.
                    if (IsIdent(i - 1) && Text(i - 1) != "struct") {
                        std::vector<Member>& members = m_structs[Text(i - 1)];
                        std::size_t start = i + 1;
                        for (std::size_t k = i + 1; k < close; k = Step(k)) {
                            if (!IsPunct(k, ';')) continue;
                            std::size_t type = start;
                            while (type < k && IsIdent(type) && IsModifier(Text(type))) ++type;
                            if (type + 1 < k && IsIdent(type) && IsIdent(type + 1))
                                members.push_back({type, type + 1, Find({start, k}, ":") != k});
                            start = k + 1;
                        }
                    }
                }
            } else if (IsPunct(i, '}') && !kinds.empty()) {
                kinds.pop_back();
                if (structDepth > 0) --structDepth;
            }
            Declared(i);
            // Integer variables, and those that hold a constant zero: given
            // 0 where declared (a local, or a static const global), and never
            // written again.
            if (IsIdent(i) && IsIntegerType(Text(i)) && IsIdent(i + 1) && !(i >= 1 && IsPunct(i - 1, '('))) {
                for (std::size_t k = i + 1; IsIdent(k) && k < i + kDeclarationTokens;) {
                    m_integers.insert(Text(k));
                    unsigned long long value = 1;
                    const bool again = !m_declared.insert(Text(k)).second; // declared before: its value may differ
                    // A static global without a value starts at zero.
                    const bool staticZero = !m_inFunction[i] && i >= 1 && Text(i - 1) == "static" &&
                                            (IsPunct(k + 1, ';') || IsPunct(k + 1, ','));
                    if ((staticZero || (IsPunct(k + 1, '=') && k + 2 < m_t.size() &&
                                        IsIntegerLiteral(Text(k + 2), value) &&
                                        (IsPunct(k + 3, ';') || IsPunct(k + 3, ',')) && value == 0)) &&
                        !m_written.count(Text(k)) && !again)
                        m_zeros.insert(Text(k));
                    else
                        m_zeros.erase(Text(k)); // another value, or none: no constant zero
                    // the next declarator of the list
                    std::size_t n = k + 1;
                    while (n < m_t.size() && n < i + kDeclarationTokens && !IsPunct(n, ',') && !IsPunct(n, ';'))
                        n = Step(n);
                    if (!IsPunct(n, ',')) break;
                    k = n + 1;
                }
            }
            if (IsIdent(i) && ((i + 1 < m_t.size() && m_t[i + 1].kind == Kind::Punct &&
                                (IsAssignment(Text(i + 1)) || Text(i + 1) == "++" || Text(i + 1) == "--") &&
                                !(i >= 1 && IsIntegerType(Text(i - 1))) && !(i >= 1 && IsPunct(i - 1, ','))) ||
                               (i >= 1 && (IsPunct(i - 1, "++") || IsPunct(i - 1, "--"))) ||
                               (i >= 1 && (IsPunct(i - 1, '(') || IsPunct(i - 1, ',')) && m_inFunction[i] &&
                                (IsPunct(i + 1, ',') || IsPunct(i + 1, ')'))))) {
                // Written, or handed to a call that may write it.
                m_written.insert(Text(i));
                m_zeros.erase(Text(i));
            }
            // A function: a name and its list at the top level, then a body.
            if (!m_inFunction[i] && IsIdent(i) && IsPunct(i + 1, '(') && i >= 1 && (IsIdent(i - 1) || IsPunct(i - 1, '>'))) {
                const std::size_t close = Closing(i + 1);
                std::size_t after = close + 1;
                if (IsPunct(after, ':')) after += 2;
                if (IsPunct(after, '{') || IsPunct(after, ';')) {
                    // The types of its parameters, declared or defined.
                    std::vector<std::string_view> types;
                    for (const auto& piece : Pieces(i + 1)) {
                        std::size_t type = piece.first;
                        while (type < piece.second && IsIdent(type) && IsModifier(Text(type))) ++type;
                        types.push_back(type < piece.second ? Text(type) : std::string_view());
                    }
                    m_signatures[Text(i)].insert(std::move(types));
                }
                if (!IsPunct(after, '{')) continue;
                std::vector<bool> outs;
                for (const auto& piece : Pieces(i + 1)) outs.push_back(HasWord(piece, "out") || HasWord(piece, "inout"));
                m_functions[Text(i)].push_back(std::move(outs));
            }
        }
        return true;
    }

    // Names declared at `i` with a built-in type: vectors, one-component
    // vectors, and the constants of file scope.
    void Declared(std::size_t i) {
        if (!IsIdent(i) || !IsIdent(i + 1) || !IsBuiltinType(Text(i)) || Text(i) == "vector" || Text(i) == "matrix")
            return;
        std::size_t start = i;
        bool isStatic = false;
        while (start > 0 && IsIdent(start - 1) && IsModifier(Text(start - 1))) {
            isStatic = isStatic || Text(start - 1) == "static";
            --start;
        }
        const bool statement = start == 0 || IsPunct(start - 1, ';') || IsPunct(start - 1, '}') ||
                               IsPunct(start - 1, '{');
        if (!statement) return; // a parameter or a cast
        const std::string_view type = Text(i);
        const bool floating = type.starts_with("float") || type.starts_with("half") || type.starts_with("double") ||
                              type.starts_with("min16float") || type.starts_with("min10float");
        const bool vector = type.find('x') == std::string_view::npos && std::isdigit(static_cast<unsigned char>(type.back()));
        for (std::size_t k = i + 1; IsIdent(k) && k < i + kDeclarationTokens;) {
            if (IsPunct(k + 1, '(')) return; // a function
            if (floating) m_floats.insert(Text(k));
            if (vector && type.back() == '1') m_oneComponent.insert(Text(k));
            else if (vector) m_vectors.insert(Text(k));
            if (!m_inFunction[i] && !m_inStruct[i] && !isStatic) m_fileConstants.insert(Text(k));
            std::size_t n = k + 1;
            while (n < m_t.size() && n < i + kDeclarationTokens && !IsPunct(n, ',') && !IsPunct(n, ';')) n = Step(n);
            if (!IsPunct(n, ',')) break;
            k = n + 1;
        }
    }

    // The value of a constant of file scope, `type name = ...`: a literal
    // expression, no other constant's value (which the application sets).
    void FileConstantValue(std::size_t equals) {
        if (equals < 2 || !IsIdent(equals - 1) || !IsIdent(equals - 2) || !IsBuiltinType(Text(equals - 2)) ||
            !m_fileConstants.count(Text(equals - 1)))
            return;
        for (std::size_t k = equals + 1; k < m_t.size() && !IsPunct(k, ';') && !IsPunct(k, '='); ++k)
            if (IsIdent(k) && m_fileConstants.count(Text(k)) && !IsPunct(k + 1, '('))
                return Refuse(k, "the value of " + Quoted(Text(equals - 1), " reads ") +
                                     Quoted(Text(k), ": an initial value must be a literal expression"));
    }

    // A numeric type built from one literal: its constructor takes all its
    // components (a cast, `(float2)1`, is what fills it from one).
    void Constructor(std::size_t open) {
        const std::size_t components = Components(Text(open - 1));
        const std::size_t close = Closing(open);
        const std::size_t literal = IsPunct(open + 1, '-') ? open + 2 : open + 1;
        if (components > 1 && close == literal + 1 && literal < m_t.size() && m_t[literal].kind == Kind::Number)
            Refuse(open - 1, "incorrect number of arguments to the constructor of " + Quoted(Text(open - 1), ""));
    }

    // `static` on a variable of a struct holding an object: objects are
    // the application's, set as constants.
    void StaticObject(std::size_t i) {
        std::size_t type = i + 1;
        while (IsIdent(type) && IsModifier(Text(type))) ++type;
        if (IsIdent(type) && Text(type) == "struct") ++type;
        const auto s = m_structs.find(Text(type));
        if (!IsIdent(type) || !IsIdent(type + 1) || s == m_structs.end()) return;
        for (const Member& m : s->second) {
            const std::string_view t = Text(m.type);
            if (t.starts_with("sampler") || t.starts_with("texture") || t.starts_with("Texture"))
                return Refuse(type + 1, Quoted(Text(type + 1), " is static, and its struct ") +
                                            Quoted(Text(type), " holds the object ") + Quoted(Text(m.name), ""));
        }
    }

    // A loop unrolled without a count runs fewer than 1,024 times: the
    // D3D9 compiler gives up on more. `for ([type] v = A; v < B; ...)`.
    void UnrolledLoop(std::size_t forAt) {
        if (!IsIdent(forAt) || Text(forAt) != "for" || !IsPunct(forAt + 1, '(')) return;
        std::size_t k = forAt + 2;
        if (IsIdent(k) && IsIdent(k + 1)) ++k;
        unsigned long long from = 0, to = 0;
        if (!IsIdent(k) || !IsPunct(k + 1, '=') || k + 5 >= m_t.size() || !IsIntegerLiteral(Text(k + 2), from) ||
            !IsPunct(k + 3, ';') || Text(k + 4) != Text(k) || !IsIntegerLiteral(Text(k + 6), to) ||
            !IsPunct(k + 7, ';'))
            return;
        const bool inclusive = IsPunct(k + 5, "<=");
        if (!inclusive && !IsPunct(k + 5, '<')) return;
        const unsigned long long runs = to < from ? 0 : to - from + (inclusive ? 1 : 0);
        if (runs >= kMaxUnrolled)
            Refuse(forAt, "a loop of " + std::to_string(runs) + " runs cannot be unrolled without a count (at most " +
                              std::to_string(kMaxUnrolled - 1) + ")");
    }

    // The statement at `i` within [i, end): the token after it. A `continue`
    // it holds outside a loop of its own is noted in `continues`; past
    // kNestedStatements levels the rest is passed over whole.
    std::size_t Statement(std::size_t i, std::size_t end, std::size_t& continues, int depth = 0) {
        if (i >= end) return end;
        if (depth > kNestedStatements) return std::min(Step(i), end);
        const std::string_view w = Text(i);
        if (IsPunct(i, '{')) {
            const std::size_t close = std::min(Closing(i), end);
            for (std::size_t k = i + 1; k < close;) k = Statement(k, close, continues, depth + 1);
            return std::min(close + 1, end);
        }
        const bool loop = w == "for" || w == "while";
        if ((w == "if" || loop || w == "switch") && IsPunct(i + 1, '(')) {
            const std::size_t after = Closing(i + 1) + 1;
            if (w == "switch") return std::min(Step(after), end);
            std::size_t inner = end; // a loop's own continue is no concern here
            std::size_t next = Statement(after, end, loop ? inner : continues, depth + 1);
            if (w == "if" && next < end && IsIdent(next) && Text(next) == "else")
                next = Statement(next + 1, end, continues, depth + 1);
            return next;
        }
        if (w == "do") {
            std::size_t inner = end;
            std::size_t next = Statement(i + 1, end, inner, depth + 1);
            while (next < end && !IsPunct(next, ';')) next = Step(next);
            return std::min(next + 1, end);
        }
        if (w == "continue" && continues == end) continues = i;
        std::size_t k = i;
        while (k < end && !IsPunct(k, ';')) k = Step(k);
        return std::min(k + 1, end);
    }

    // A switch's cases: each that has statements has a way out of the
    // switch (`break`, `return`, or a condition the D3D9 compiler may fold
    // to one), never only falling into the next, and ends on no `discard`;
    // none ends the switch without statements; no `continue` leaves it.
    void Switch(std::size_t i) {
        // What it tests is an integer (a name declared only with a float
        // type is not).
        if (IsIdent(i + 2) && m_floats.count(Text(i + 2)) && !m_integers.count(Text(i + 2)))
            return Refuse(i + 2, "a switch tests an integer, not the float " + Quoted(Text(i + 2), ""));
        const std::size_t open = Closing(i + 1) + 1;
        if (!IsPunct(open, '{') || Closing(open) >= m_t.size()) return;
        const std::size_t close = Closing(open);
        std::size_t continues = close;
        std::size_t last = close;  // the first token of the case's last statement
        std::size_t label = close; // the case's label
        bool statements = false, wayOut = false;
        for (std::size_t k = open + 1; k < close;) {
            if (IsIdent(k) && (Text(k) == "case" || Text(k) == "default")) {
                if (statements && (!wayOut || Text(last) == "discard"))
                    return Refuse(label, Text(last) == "discard" ? std::string("the case ends on 'discard'")
                                                                 : std::string("the case falls through to the next"));
                label = k;
                while (k < close && !IsPunct(k, ':')) k = Step(k);
                ++k;
                statements = wayOut = false;
                continue;
            }
            last = k;
            statements = true;
            wayOut = wayOut || Text(k) == "break" || Text(k) == "return" || Text(k) == "if" || IsPunct(k, '{');
            k = Statement(k, close, continues);
            if (continues < close) return Refuse(continues, "'continue' within a switch");
        }
        if (label < close && !statements) return Refuse(label, "a case without statements ends the switch");
        if (statements && last < close && (Text(last) == "discard" || Text(last) == "continue"))
            return Refuse(label, "the case ends on " + Quoted(Text(last), ""));
    }

    void Look(std::size_t i) {
        const Token& t = m_t[i];
        const bool statementStart = i == 0 || IsPunct(i - 1, ';') || IsPunct(i - 1, '{') || IsPunct(i - 1, '}');
        if (t.kind == Kind::Punct && t.text == "." && IsIdent(i + 1) && i >= 1 &&
            (IsIdent(i - 1) || IsPunct(i - 1, ']') || IsPunct(i - 1, ')')) && SwizzleRepeats(Text(i + 1)) &&
            !m_members.count(Text(i + 1)) && i + 2 < m_t.size() && m_t[i + 2].kind == Kind::Punct &&
            IsAssignment(Text(i + 2)))
            return Refuse(i + 1, "the swizzle " + Quoted(Text(i + 1), " is written to but names a component twice"));
        if (t.kind == Kind::Punct && t.text == "." && IsIdent(i + 1) && SwizzleMixesNamings(Text(i + 1)) &&
            !m_members.count(Text(i + 1)))
            return Refuse(i + 1, "the swizzle " + Quoted(Text(i + 1), " mixes the _11 and _m00 namings"));
        if (t.kind == Kind::Punct && t.text == "[") return Brackets(i, statementStart);
        if (t.kind == Kind::Punct && m_inFunction[i] && (t.text == "/" || t.text == "%" || t.text == "/=" ||
                                                         t.text == "%="))
            return Division(i);
        if (t.kind == Kind::Punct && t.text == "(" && i >= 1 && IsIdent(i - 1) && IsBuiltinType(Text(i - 1))) {
            Constructor(i);
            if (!m_error.empty()) return;
        }
        if (t.kind == Kind::Punct && t.text == "(" && i >= 1 && IsIdent(i - 1) && m_inFunction[i])
            return Call(i - 1);
        if (t.kind == Kind::Punct && t.text == "=" && !m_inFunction[i] && !m_inStruct[i]) return FileConstantValue(i);
        if (t.kind != Kind::Ident) return;
        if (t.text == "struct" && IsPunct(i + 1, '{') && IsPunct(Closing(i + 1) + 1, ';'))
            return Refuse(i, "a struct without a name declares no variable");
        if (t.text == "typedef") return Typedef(i);
        // A type word names no variable where the type is defined, at file
        // scope (`float4 float;`); a function's own scope may take it.
        if (!m_inFunction[i] && IsBuiltinType(t.text) && IsIdent(i + 1) && IsBuiltinType(Text(i + 1)) && !(i >= 1 && Text(i - 1) == "typedef") &&
            (IsPunct(i + 2, ';') || IsPunct(i + 2, '=') || IsPunct(i + 2, ',') || IsPunct(i + 2, '[') || IsPunct(i + 2, ':')))
            return Refuse(i + 1, Quoted(Text(i + 1), " is a type and cannot name a variable"));
        if (t.text == "switch" && m_inFunction[i] && IsPunct(i + 1, '(')) return Switch(i);
        if (t.text == "static" && !m_inFunction[i]) StaticObject(i);
        // `NULL` is the null object; `null` no word of the language.
        if (t.text == "null" && !m_inFunction[i] && i >= 1 && IsPunct(i - 1, '=') && !m_fileConstants.count("null"))
            return Refuse(i, "'null' is not declared (the null object is 'NULL')");
        if (!m_error.empty()) return;
        if (IsModifier(t.text) && (i == 0 || !IsModifier(Text(i - 1)))) Modifiers(i, statementStart);
        if (!m_error.empty()) return;
        if (!m_inFunction[i] && IsPunct(i + 1, '(') && i >= 1 && (IsIdent(i - 1) || IsPunct(i - 1, '>')))
            Declaration(i);
    }

    // '[' after a name: an array's size; at the start of a statement or
    // declaration: attributes.
    void Brackets(std::size_t i, bool statementStart) {
        if (i >= 2 && IsIdent(i - 1) && IsIdent(i - 2) && i + 2 < m_t.size() && m_t[i + 1].kind == Kind::Number &&
            IsPunct(i + 2, ']') && Text(i - 2) != "return") {
            const std::string digits(Text(i + 1));
            char* end = nullptr;
            const unsigned long long n = std::strtoull(digits.c_str(), &end, 0);
            if (end && (*end == '\0' || *end == 'u' || *end == 'U' || *end == 'l' || *end == 'L') &&
                n > kMaxArrayElements)
                return Refuse(i + 1, "an array of " + digits + " elements: at most " +
                                         std::to_string(kMaxArrayElements));
        }
        // An array sized by its list: the values fill whole elements.
        if (i >= 2 && IsIdent(i - 1) && IsIdent(i - 2) && IsPunct(i + 1, ']') && IsPunct(i + 2, '=') &&
            IsPunct(i + 3, '{')) {
            const std::size_t width = Components(Text(i - 2));
            std::size_t values = 0;
            bool plain = true; // numbers and braces only: constructors and names are not counted here
            const std::size_t close = Closing(i + 3);
            for (std::size_t k = i + 4; k < close && plain; ++k) {
                if (m_t[k].kind == Kind::Number) ++values;
                else plain = IsPunct(k, ',') || IsPunct(k, '{') || IsPunct(k, '}') || IsPunct(k, '-');
            }
            if (width > 0 && close < m_t.size() && plain && values % width != 0)
                return Refuse(i + 3, std::to_string(values) + " values do not fill whole elements of " +
                                         Quoted(Text(i - 2), ""));
            // Sized by its list, an array has the same bound as one sized
            // in its brackets.
            if (width > 0 && close < m_t.size() && plain && values / width > kMaxArrayElements)
                return Refuse(i + 3, "an array of " + std::to_string(values / width) + " elements: at most " +
                                         std::to_string(kMaxArrayElements));
        }
        if (i >= 1 && IsIdent(i - 1) && IsIdent(i + 1) && IsPunct(i + 2, ']') && m_vectors.count(Text(i - 1)) &&
            m_oneComponent.count(Text(i + 1)))
            return Refuse(i + 1, Quoted(Text(i + 1), ", a vector of one component, cannot index a vector"));
        // A vector's component written at an index read from a constant the
        // application sets: the profiles have no register file to index
        // that way (a loop's counter, unrolled, is a known place).
        if (i >= 1 && IsIdent(i - 1) && m_vectors.count(Text(i - 1)) && m_inFunction[i] && Closing(i) < m_t.size() &&
            IsAssignment(Text(Closing(i) + 1)))
            for (std::size_t k = i + 1; k < Closing(i); k = Step(k))
                if (IsIdent(k) && m_fileConstants.count(Text(k)) && !IsPunct(k + 1, '('))
                    return Refuse(i, Quoted(Text(i - 1), " is written at an index read from the constant ") +
                                         Quoted(Text(k), ": a vector's components are written at known places"));
        if (!statementStart && !(i >= 1 && IsIdent(i - 1) && Text(i - 1) == "else")) return;
        std::set<std::string_view> names;
        bool unrollCounted = false;
        for (std::size_t k = i; IsPunct(k, '[') && IsIdent(k + 1);) {
            if (!names.insert(Text(k + 1)).second)
                return Refuse(k + 1, "the attribute " + Quoted(Text(k + 1), " is given twice"));
            // A loop is unrolled, or kept a loop: not both.
            if (names.count("unroll") && (names.count("loop") || names.count("fastopt")))
                return Refuse(k + 1, std::string("'unroll' with '") + (names.count("loop") ? "loop" : "fastopt") + "'");
            if (Text(k + 1) == "unroll") unrollCounted = Closing(k) != k + 2;
            k = Closing(k) + 1;
            if (names.count("unroll") && !unrollCounted && !IsPunct(k, '[')) return UnrolledLoop(k);
        }
    }

    // An integer divided by a constant zero: the D3D9 compiler folds the
    // constants and refuses it (glslang folds it to zero).
    void Division(std::size_t i) {
        if (i == 0 || i + 1 >= m_t.size()) return;
        unsigned long long value = 1;
        const bool zero = (m_t[i + 1].kind == Kind::Number && IsIntegerLiteral(Text(i + 1), value) && value == 0) ||
                          (IsIdent(i + 1) && m_zeros.count(Text(i + 1)) && !IsPunct(i + 2, '.') &&
                           !IsPunct(i + 2, '[') && !IsPunct(i + 2, '('));
        if (!zero) return;
        const bool integer = (m_t[i - 1].kind == Kind::Number && IsIntegerLiteral(Text(i - 1), value)) ||
                             (IsIdent(i - 1) && m_integers.count(Text(i - 1)) && !(i >= 2 && IsPunct(i - 2, '.')));
        if (integer) Refuse(i, "an integer divided by zero");
    }

    // A run of modifiers from `i`: each once, and none with one it excludes.
    void Modifiers(std::size_t i, bool statementStart) {
        std::set<std::string_view> seen;
        std::size_t k = i;
        for (; IsIdent(k) && IsModifier(Text(k)); ++k)
            if (!seen.insert(Text(k)).second)
                return Refuse(k, Quoted(Text(k), " is given twice"));
        if (seen.count("static") && (seen.count("uniform") || seen.count("extern")))
            return Refuse(i, "'static' with " + Quoted(seen.count("uniform") ? "uniform" : "extern", ""));
        if (seen.count("uniform") && (seen.count("out") || seen.count("inout")))
            return Refuse(i, "an 'out' parameter cannot be 'uniform'");
        if (seen.count("row_major") && seen.count("column_major")) return Refuse(i, "'row_major' with 'column_major'");
        // A majority is a matrix's; no other type takes one.
        if ((seen.count("row_major") || seen.count("column_major")) && IsIdent(k) && IsBuiltinType(Text(k)) &&
            Text(k) != "matrix" && Text(k).find('x') == std::string_view::npos)
            return Refuse(k, Quoted(seen.count("row_major") ? "row_major" : "column_major", " on ") +
                                 Quoted(Text(k), ", which is no matrix"));
        if ((seen.count("row_major") || seen.count("column_major")) && IsIdent(k)) {
            const std::string_view word = seen.count("row_major") ? "row_major" : "column_major";
            if (Text(k) == "struct" || m_structs.count(Text(k)))
                return Refuse(i, Quoted(word, " on a struct: a majority is a matrix's"));
            // The same one again is no change.
            const auto typed = m_majorityTypes.find(Text(k));
            if (typed != m_majorityTypes.end() && typed->second != word)
                return Refuse(i, Quoted(word, " on ") + Quoted(Text(k), ", which has the other majority"));
        }
        if (!m_inFunction[i] || !statementStart) return;
        for (const std::string_view storage : {"uniform", "in", "out", "inout", "extern", "shared"})
            if (seen.count(storage))
                return Refuse(i, Quoted(storage, " is not for a local variable"));
        if (!seen.count("const") || seen.count("static")) return;
        // A local constant has its value where it is declared.
        for (; k < m_t.size() && !IsPunct(k, ';'); k = Step(k))
            if (IsPunct(k, '=') || k > i + kDeclarationTokens) return;
        Refuse(i, "a 'const' local without its value");
    }

    void Typedef(std::size_t i) {
        std::size_t k = i + 1;
        std::string_view majority; // the first word giving one, as the type it names
        while (k < m_t.size() && k < i + kDeclarationTokens && !IsPunct(k, ';')) {
            if (IsIdent(k) && majority.empty()) {
                const auto typed = m_majorityTypes.find(Text(k));
                if (Text(k) == "row_major" || Text(k) == "column_major") majority = Text(k);
                else if (typed != m_majorityTypes.end()) majority = typed->second;
            }
            k = Step(k);
        }
        if (!majority.empty() && IsPunct(k, ';') && IsIdent(k - 1)) m_majorityTypes.emplace(Text(k - 1), majority);
        // Within a function a typedef may take a scalar or vector type's
        // name for its own scope; `matrix` and `vector` never.
        if (IsPunct(k, ';') && k > i + 2 && IsIdent(k - 1) && IsBuiltinType(Text(k - 1)) &&
            (!m_inFunction[i] || Text(k - 1) == "matrix" || Text(k - 1) == "vector"))
            Refuse(k - 1, Quoted(Text(k - 1), " is a built-in type and cannot be defined again"));
    }

    // A function declared at `name`: its return type and its parameters.
    void Declaration(std::size_t name) {
        // `uniform` before the name, in the same declaration, is on its return type.
        for (std::size_t k = name; k-- > 0 && k + kDeclarationTokens > name;) {
            if (m_t[k].kind == Kind::Punct && !IsPunct(k, '<') && !IsPunct(k, '>') && !IsPunct(k, ',')) break;
            if (IsIdent(k) && Text(k) == "uniform") return Refuse(k, "'uniform' on a return type");
        }
        const bool entry = Text(name) == m_entry;
        std::size_t after = Closing(name + 1) + 1;
        if (IsPunct(after, ':')) after += 2;
        const bool definition = IsPunct(after, '{');
        for (const auto& piece : Pieces(name + 1)) {
            const bool out = HasWord(piece, "out") || HasWord(piece, "inout");
            const std::size_t equals = Find(piece, "=");
            if (out && equals != piece.second)
                return Refuse(equals, "an 'out' parameter takes no default value");
            if (entry && definition && out) EntryOutput(piece);
            if (!m_error.empty()) return;
            if (!entry || !definition || HasWord(piece, "uniform")) continue;
            // A parameter of the entry that is no constant comes from, or
            // goes to, the stage's registers: a semantic names which.
            std::size_t type = piece.first;
            while (type < piece.second && IsIdent(type) && IsModifier(Text(type))) ++type;
            const bool builtin = IsIdent(type) && IsBuiltinType(Text(type)) && IsIdent(type + 1) &&
                                 (type + 2 == piece.second || IsPunct(type + 2, '['));
            if (builtin && Find(piece, ":") == piece.second && !(type + 1 == piece.second))
                return Refuse(type + 1, Quoted(Text(type + 1), ", a parameter of ") + Quoted(m_entry, ", has no semantic"));
            if (IsIdent(type) && Find(piece, ":") == piece.second) StructSemantics(Text(type), 0);
            if (!m_error.empty()) return;
        }
    }

    // An output of the entry: no array of structs (the members' semantics
    // would each name one register for every element), and below vs_3_0
    // fog and point size are one value each.
    void EntryOutput(std::pair<std::size_t, std::size_t> piece) {
        std::size_t type = piece.first;
        while (type < piece.second && IsIdent(type) && IsModifier(Text(type))) ++type;
        if (!IsIdent(type) || !IsIdent(type + 1)) return;
        if (m_structs.count(Text(type)) && IsPunct(type + 2, '['))
            return Refuse(type + 1, Quoted(Text(type + 1), ", an output of ") +
                                        Quoted(m_entry, ", is an array of structs: its semantics cannot name every element"));
        const std::size_t colon = Find(piece, ":");
        if (!m_profile.known || !m_profile.vertex || m_profile.major >= 3 || colon + 1 >= piece.second ||
            !IsIdent(colon + 1))
            return;
        std::string semantic(Text(colon + 1));
        for (char& c : semantic) c = char(std::toupper(static_cast<unsigned char>(c)));
        if ((semantic == "FOG" || semantic == "PSIZE") && Components(Text(type)) > 1)
            Refuse(colon + 1, Quoted(Text(colon + 1), " takes one value below vs_3_0, not ") + Quoted(Text(type), ""));
    }

    // Every member of a struct the entry reads or writes, and of the
    // structs within it, names its register by a semantic.
    void StructSemantics(std::string_view name, int depth) {
        const auto s = m_structs.find(name);
        if (s == m_structs.end() || depth > 8) return;
        for (const Member& m : s->second) {
            // Structs of structs could name each other's members many times
            // over: the members looked at are counted.
            if (m.semantic || ++m_membersLooked > kMembersLooked) continue;
            if (m_structs.count(Text(m.type))) {
                StructSemantics(Text(m.type), depth + 1);
                if (!m_error.empty()) return;
                continue;
            }
            if (!IsBuiltinType(Text(m.type))) continue;
            return Refuse(m.name, Quoted(Text(m.name), ", a member of ") + Quoted(name, " the entry reads or writes,") +
                                      " has no semantic");
        }
    }

    // Two declarations of a function called with `arguments` that differ
    // only in types holding the same values (`float` and `float1`, `float4`
    // and `float2x2`): no call can choose between them.
    void Ambiguous(std::size_t name, std::size_t arguments, const std::set<std::vector<std::string_view>>& signatures) {
        const auto alike = [](std::string_view a, std::string_view b) {
            if (a == b) return true;
            if (!IsBuiltinType(a) || !IsBuiltinType(b)) return false;
            const auto base = [](std::string_view t) { return t.substr(0, t.find_first_of("1234")); };
            return base(a) == base(b) && Components(a) == Components(b) && Components(a) != 0;
        };
        // Each pair once for every name (a source of many overloads and
        // many calls must not compare them at every call), of the first few.
        const auto known = m_ambiguous.find({Text(name), arguments});
        if (known != m_ambiguous.end()) {
            if (!known->second.empty()) Refuse(name, "the call of " + Quoted(Text(name), known->second));
            return;
        }
        std::string& reason = m_ambiguous[{Text(name), arguments}];
        std::vector<const std::vector<std::string_view>*> of;
        for (const std::vector<std::string_view>& s : signatures)
            if (s.size() == arguments && of.size() < kOverloadsCompared) of.push_back(&s);
        for (std::size_t a = 0; a < of.size() && reason.empty(); ++a)
            for (std::size_t b = a + 1; b < of.size() && reason.empty(); ++b) {
                if (!std::equal(of[a]->begin(), of[a]->end(), of[b]->begin(), alike)) continue;
                for (std::size_t k = 0; k < arguments && reason.empty(); ++k)
                    if ((*of[a])[k] != (*of[b])[k])
                        reason = " is ambiguous: its declarations of " + Quoted((*of[a])[k], " and ") +
                                 Quoted((*of[b])[k], " take the same values");
            }
        if (!reason.empty()) Refuse(name, "the call of " + Quoted(Text(name), reason));
    }

    // A call of a function of the source: a swizzle naming a component
    // twice is no place for an `out` argument to be written.
    void Call(std::size_t name) {
        const auto f = m_functions.find(Text(name));
        const auto signatures = m_signatures.find(Text(name));
        if (f == m_functions.end() && signatures == m_signatures.end()) return;
        const auto pieces = Pieces(name + 1);
        if (signatures != m_signatures.end() && signatures->second.size() > 1) Ambiguous(name, pieces.size(), signatures->second);
        if (!m_error.empty() || f == m_functions.end()) return;
        for (std::size_t a = 0; a < pieces.size(); ++a) {
            const auto [first, end] = pieces[a];
            if (end < first + 3 || !IsPunct(end - 2, '.') || !IsIdent(end - 1) || !SwizzleRepeats(Text(end - 1)) ||
                m_members.count(Text(end - 1)))
                continue;
            // Every declaration of that many parameters writes this one.
            bool writes = false, any = false;
            for (const std::vector<bool>& outs : f->second) {
                if (outs.size() != pieces.size()) continue;
                writes = (any ? writes : true) && outs[a];
                any = true;
            }
            if (any && writes)
                return Refuse(end - 1, "the swizzle " + Quoted(Text(end - 1), " is written to but names a component twice"));
        }
    }

    std::vector<Token> m_t;
    const Token* m_tokens; // m_t's, looked at directly on the hot path
    std::size_t m_count;
    std::string_view m_entry;
    std::vector<std::size_t> m_match; // by token: its bracket's partner (the end when none)
    std::vector<bool> m_inFunction;   // by token: within a function's body
    std::vector<bool> m_inStruct;     // by token: within a struct's body
    RefusalProfile m_profile;
    std::set<std::string_view> m_vectors, m_oneComponent; // names declared with vector types, and of one component
    std::set<std::string_view> m_floats;                  // names declared with float types
    std::set<std::string_view> m_fileConstants;           // non-static names of file scope
    std::map<std::string_view, std::string_view> m_majorityTypes; // typedefs giving a majority: which
    std::set<std::string_view> m_members;
    std::map<std::string_view, std::vector<Member>> m_structs;
    std::size_t m_membersLooked = 0;
    std::set<std::string_view> m_integers; // names declared with an integer type
    std::set<std::string_view> m_zeros;    // integers holding a constant zero
    std::set<std::string_view> m_written;  // names written after their declaration
    std::set<std::string_view> m_declared; // integers declared so far
    std::map<std::string_view, std::vector<std::vector<bool>>> m_functions; // name: per definition, its out parameters
    std::map<std::string_view, std::set<std::vector<std::string_view>>> m_signatures; // name: its parameters' types
    std::map<std::pair<std::string_view, std::size_t>, std::string> m_ambiguous; // name and arguments: why ambiguous
    std::size_t m_at = 0;
    std::string m_error;
    bool m_timed = false;
    const HlslCompileScope* m_scope = nullptr;
    std::chrono::nanoseconds m_budgetEnd{0};
};

} // namespace

bool RefuseInvalidForms(std::string_view source, std::string_view entry, std::size_t& at, std::string& error,
                        RefusalProfile profile) {
    return Checker(source, entry, profile).Run(at, error);
}

} // namespace gfx
