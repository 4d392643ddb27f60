#include "platform/gfxutil/GfxUtilHlslRefusals.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <set>
#include <unordered_map>

namespace gfx {
namespace {

constexpr std::uint64_t kMaxArrayElements = 65536;

bool IsIdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

enum class Kind : std::uint8_t { Ident, Number, String, Punct };

struct Token {
    Kind kind;
    std::string_view text;
    std::size_t at; // in the source
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
        } else {
            for (const std::string_view op : kLong)
                if (s.compare(i, op.size(), op) == 0) {
                    j = i + op.size();
                    break;
                }
        }
        out.push_back({kind, s.substr(i, j - i), i});
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

class Checker {
public:
    Checker(std::string_view source, std::string_view entry) : m_t(Tokens(source)), m_entry(entry) {}

    bool Run(std::size_t& at, std::string& error) {
        Survey();
        for (std::size_t i = 0; i < m_t.size() && m_error.empty(); ++i) Look(i);
        if (m_error.empty()) return true;
        at = m_at;
        error = m_error;
        return false;
    }

private:
    [[nodiscard]] std::string_view Text(std::size_t i) const { return i < m_t.size() ? m_t[i].text : std::string_view(); }
    [[nodiscard]] bool IsIdent(std::size_t i) const { return i < m_t.size() && m_t[i].kind == Kind::Ident; }
    [[nodiscard]] bool IsPunct(std::size_t i, std::string_view p) const {
        return i < m_t.size() && m_t[i].kind == Kind::Punct && m_t[i].text == p;
    }
    void Refuse(std::size_t i, std::string error) {
        if (!m_error.empty()) return;
        m_at = i < m_t.size() ? m_t[i].at : 0;
        m_error = std::move(error);
    }
    // The token closing the bracket opened at `open` (the end when none).
    [[nodiscard]] std::size_t Closing(std::size_t open) const {
        const std::string_view o = Text(open);
        const std::string_view c = o == "(" ? ")" : o == "[" ? "]" : "}";
        int depth = 0;
        for (std::size_t i = open; i < m_t.size(); ++i) {
            if (IsPunct(i, o)) ++depth;
            else if (IsPunct(i, c) && --depth == 0) return i;
        }
        return m_t.size();
    }
    // The pieces of the list within the brackets opened at `open`, split at
    // its own commas: [first, end) of each.
    [[nodiscard]] std::vector<std::pair<std::size_t, std::size_t>> Pieces(std::size_t open) const {
        std::vector<std::pair<std::size_t, std::size_t>> out;
        const std::size_t close = Closing(open);
        std::size_t start = open + 1;
        int depth = 0;
        for (std::size_t i = open + 1; i < close; ++i) {
            if (IsPunct(i, "(") || IsPunct(i, "[") || IsPunct(i, "{")) ++depth;
            else if (IsPunct(i, ")") || IsPunct(i, "]") || IsPunct(i, "}")) --depth;
            else if (IsPunct(i, ",") && depth == 0) {
                out.emplace_back(start, i);
                start = i + 1;
            }
        }
        if (close > start) out.emplace_back(start, close);
        return out;
    }
    [[nodiscard]] bool HasWord(std::pair<std::size_t, std::size_t> piece, std::string_view word) const {
        for (std::size_t i = piece.first; i < piece.second; ++i)
            if (IsIdent(i) && Text(i) == word) return true;
        return false;
    }
    [[nodiscard]] std::size_t Find(std::pair<std::size_t, std::size_t> piece, std::string_view punct) const {
        int depth = 0;
        for (std::size_t i = piece.first; i < piece.second; ++i) {
            if (IsPunct(i, "(") || IsPunct(i, "[") || IsPunct(i, "{")) ++depth;
            else if (IsPunct(i, ")") || IsPunct(i, "]") || IsPunct(i, "}")) --depth;
            else if (depth == 0 && IsPunct(i, punct)) return i;
        }
        return piece.second;
    }

    // What the checks need of the whole source first: the braces that open
    // function bodies and struct bodies, the members of structs (a member
    // named "xx" is no swizzle), and the functions' out parameters.
    void Survey() {
        m_inFunction.assign(m_t.size(), false);
        std::vector<bool> kinds; // true: a function body (or a block within one)
        for (std::size_t i = 0; i < m_t.size(); ++i) {
            m_inFunction[i] = std::find(kinds.begin(), kinds.end(), true) != kinds.end();
            if (IsPunct(i, "{")) {
                const bool function = (i >= 1 && IsPunct(i - 1, ")")) ||
                                      (i >= 3 && IsIdent(i - 1) && IsPunct(i - 2, ":") && IsPunct(i - 3, ")"));
                const bool structBody = (i >= 1 && IsIdent(i - 1) && Text(i - 1) == "struct") ||
                                        (i >= 2 && IsIdent(i - 1) && Text(i - 2) == "struct");
                kinds.push_back(function || (!kinds.empty() && kinds.back()));
                if (structBody) {
                    const std::size_t close = Closing(i);
                    for (std::size_t k = i + 1; k + 1 < close; ++k)
                        if (IsIdent(k) && (IsPunct(k + 1, ";") || IsPunct(k + 1, ":") || IsPunct(k + 1, "[") ||
                                           IsPunct(k + 1, ",")))
                            m_members.insert(Text(k));
                }
            } else if (IsPunct(i, "}") && !kinds.empty()) {
                kinds.pop_back();
            }
            // A function: a name and its list at the top level, then a body.
            if (!m_inFunction[i] && IsIdent(i) && IsPunct(i + 1, "(") && i >= 1 && (IsIdent(i - 1) || IsPunct(i - 1, ">"))) {
                const std::size_t close = Closing(i + 1);
                std::size_t after = close + 1;
                if (IsPunct(after, ":")) after += 2;
                if (!IsPunct(after, "{")) continue;
                std::vector<bool> outs;
                for (const auto& piece : Pieces(i + 1)) outs.push_back(HasWord(piece, "out") || HasWord(piece, "inout"));
                m_functions[Text(i)].push_back(std::move(outs));
            }
        }
    }

    void Look(std::size_t i) {
        const Token& t = m_t[i];
        const bool statementStart = i == 0 || IsPunct(i - 1, ";") || IsPunct(i - 1, "{") || IsPunct(i - 1, "}");
        if (t.kind == Kind::Punct && t.text == "." && IsIdent(i + 1) && i >= 1 &&
            (IsIdent(i - 1) || IsPunct(i - 1, "]") || IsPunct(i - 1, ")")) && SwizzleRepeats(Text(i + 1)) &&
            !m_members.count(Text(i + 1)) && i + 2 < m_t.size() && m_t[i + 2].kind == Kind::Punct &&
            IsAssignment(Text(i + 2)))
            return Refuse(i + 1, "the swizzle " + Quoted(Text(i + 1), " is written to but names a component twice"));
        if (t.kind == Kind::Punct && t.text == "[") return Brackets(i, statementStart);
        if (t.kind == Kind::Punct && t.text == "(" && i >= 1 && IsIdent(i - 1) && m_inFunction[i])
            return Call(i - 1);
        if (t.kind != Kind::Ident) return;
        if (t.text == "struct" && IsPunct(i + 1, "{") && IsPunct(Closing(i + 1) + 1, ";"))
            return Refuse(i, "a struct without a name declares no variable");
        if (t.text == "typedef") return Typedef(i);
        if (IsModifier(t.text) && (i == 0 || !IsModifier(Text(i - 1)))) Modifiers(i, statementStart);
        if (!m_error.empty()) return;
        if (!m_inFunction[i] && IsPunct(i + 1, "(") && i >= 1 && (IsIdent(i - 1) || IsPunct(i - 1, ">")))
            Declaration(i);
    }

    // '[' after a name: an array's size; at the start of a statement or
    // declaration: attributes.
    void Brackets(std::size_t i, bool statementStart) {
        if (i >= 2 && IsIdent(i - 1) && IsIdent(i - 2) && i + 2 < m_t.size() && m_t[i + 1].kind == Kind::Number &&
            IsPunct(i + 2, "]") && Text(i - 2) != "return") {
            const std::string digits(Text(i + 1));
            char* end = nullptr;
            const unsigned long long n = std::strtoull(digits.c_str(), &end, 0);
            if (end && (*end == '\0' || *end == 'u' || *end == 'U' || *end == 'l' || *end == 'L') &&
                n > kMaxArrayElements)
                return Refuse(i + 1, "an array of " + digits + " elements: at most " +
                                         std::to_string(kMaxArrayElements));
        }
        if (!statementStart && !(i >= 1 && IsIdent(i - 1) && Text(i - 1) == "else")) return;
        std::set<std::string_view> names;
        for (std::size_t k = i; IsPunct(k, "[") && IsIdent(k + 1);) {
            if (!names.insert(Text(k + 1)).second)
                return Refuse(k + 1, "the attribute " + Quoted(Text(k + 1), " is given twice"));
            k = Closing(k) + 1;
        }
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
        if (!m_inFunction[i] || !statementStart) return;
        for (const std::string_view storage : {"uniform", "in", "out", "inout", "extern", "shared"})
            if (seen.count(storage))
                return Refuse(i, Quoted(storage, " is not for a local variable"));
        if (!seen.count("const") || seen.count("static")) return;
        // A local constant has its value where it is declared.
        int depth = 0;
        for (; k < m_t.size() && !(depth == 0 && IsPunct(k, ";")); ++k) {
            if (IsPunct(k, "(") || IsPunct(k, "[") || IsPunct(k, "{")) ++depth;
            else if (IsPunct(k, ")") || IsPunct(k, "]") || IsPunct(k, "}")) --depth;
            else if (depth == 0 && IsPunct(k, "=")) return;
        }
        Refuse(i, "a 'const' local without its value");
    }

    void Typedef(std::size_t i) {
        std::size_t k = i + 1;
        int depth = 0;
        for (; k < m_t.size() && !(depth == 0 && IsPunct(k, ";")); ++k) {
            if (IsPunct(k, "{") || IsPunct(k, "<") || IsPunct(k, "(")) ++depth;
            else if (IsPunct(k, "}") || IsPunct(k, ">") || IsPunct(k, ")")) --depth;
        }
        if (k > i + 2 && IsIdent(k - 1) && IsBuiltinType(Text(k - 1)))
            Refuse(k - 1, Quoted(Text(k - 1), " is a built-in type and cannot be defined again"));
    }

    // A function declared at `name`: its return type and its parameters.
    void Declaration(std::size_t name) {
        // `uniform` before the name, in the same declaration, is on its return type.
        for (std::size_t k = name; k-- > 0;) {
            if (IsPunct(k, ";") || IsPunct(k, "}") || IsPunct(k, "{") || IsPunct(k, "]")) break;
            if (IsIdent(k) && Text(k) == "uniform") return Refuse(k, "'uniform' on a return type");
        }
        const bool entry = Text(name) == m_entry;
        std::size_t after = Closing(name + 1) + 1;
        if (IsPunct(after, ":")) after += 2;
        const bool definition = IsPunct(after, "{");
        for (const auto& piece : Pieces(name + 1)) {
            const bool out = HasWord(piece, "out") || HasWord(piece, "inout");
            const std::size_t equals = Find(piece, "=");
            if (out && equals != piece.second)
                return Refuse(equals, "an 'out' parameter takes no default value");
            if (!entry || !definition || HasWord(piece, "uniform")) continue;
            // A parameter of the entry that is no constant comes from, or
            // goes to, the stage's registers: a semantic names which.
            std::size_t type = piece.first;
            while (type < piece.second && IsIdent(type) && IsModifier(Text(type))) ++type;
            const bool builtin = IsIdent(type) && IsBuiltinType(Text(type)) && IsIdent(type + 1) &&
                                 (type + 2 == piece.second || IsPunct(type + 2, "["));
            if (builtin && Find(piece, ":") == piece.second && !(type + 1 == piece.second))
                return Refuse(type + 1, Quoted(Text(type + 1), ", a parameter of ") + Quoted(m_entry, ", has no semantic"));
        }
    }

    // A call of a function of the source: a swizzle naming a component
    // twice is no place for an `out` argument to be written.
    void Call(std::size_t name) {
        const auto f = m_functions.find(Text(name));
        if (f == m_functions.end()) return;
        const auto pieces = Pieces(name + 1);
        for (std::size_t a = 0; a < pieces.size(); ++a) {
            const auto [first, end] = pieces[a];
            if (end < first + 3 || !IsPunct(end - 2, ".") || !IsIdent(end - 1) || !SwizzleRepeats(Text(end - 1)) ||
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
    std::string_view m_entry;
    std::vector<bool> m_inFunction; // by token: within a function's body
    std::set<std::string_view> m_members;
    std::map<std::string_view, std::vector<std::vector<bool>>> m_functions; // name: per declaration, its out parameters
    std::size_t m_at = 0;
    std::string m_error;
};

// SPIR-V's published numbers.
constexpr std::uint32_t kOpConstant = 43, kOpConstantComposite = 44, kOpConstantNull = 46, kOpUDiv = 134,
                        kOpSDiv = 135, kOpUMod = 137, kOpSRem = 138, kOpSMod = 139;
constexpr std::size_t kHeaderWords = 5;

} // namespace

bool RefuseInvalidForms(std::string_view source, std::string_view entry, std::size_t& at, std::string& error) {
    return Checker(source, entry).Run(at, error);
}

bool RefuseDivisionByZero(const std::vector<std::uint32_t>& spirv, std::string_view source, std::size_t& at,
                          std::string& error) {
    if (spirv.size() < kHeaderWords) return true;
    std::unordered_map<std::uint32_t, bool> zero; // constants: whether it is (or holds) a zero
    bool found = false;
    for (std::size_t i = kHeaderWords; i < spirv.size() && !found;) {
        const std::uint32_t words = spirv[i] >> 16, op = spirv[i] & 0xFFFF;
        if (words == 0 || i + words > spirv.size()) return true;
        const std::uint32_t* w = &spirv[i];
        if (op == kOpConstant && words >= 4) {
            zero[w[2]] = words == 4 ? w[3] == 0 : w[3] == 0 && w[4] == 0;
        } else if (op == kOpConstantNull && words >= 3) {
            zero[w[2]] = true;
        } else if (op == kOpConstantComposite && words >= 3) {
            bool any = false;
            for (std::size_t k = 3; k < words; ++k) any = any || (zero.count(w[k]) && zero[w[k]]);
            zero[w[2]] = any;
        } else if ((op == kOpUDiv || op == kOpSDiv || op == kOpUMod || op == kOpSRem || op == kOpSMod) && words >= 5) {
            const auto divisor = zero.find(w[4]);
            found = divisor != zero.end() && divisor->second;
        }
        i += words;
    }
    if (!found) return true;
    error = "an integer divided by zero";
    at = 0;
    int depth = 0;
    for (const Token& t : Tokens(source)) {
        if (t.kind != Kind::Punct) continue;
        if (t.text == "{") ++depth;
        else if (t.text == "}") --depth;
        else if (depth > 0 && (t.text == "/" || t.text == "%" || t.text == "/=" || t.text == "%=")) {
            at = t.at;
            break;
        }
    }
    return false;
}

} // namespace gfx
