#include "platform/gfxutil/hlsl/GfxUtilHlslIntrinsics.h"

#include "platform/gfxutil/hlsl/GfxUtilHlslSpirvCodes.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslText.h"

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <set>

namespace gfx::hlsl {
namespace {

// A numeric type word: its element and its shape.
struct Shape {
    bool known = false, matrix = false, scalar = false;
    std::string element;
    int rows = 1, columns = 1;

    bool operator==(const Shape& o) const {
        return matrix == o.matrix && scalar == o.scalar && rows == o.rows && columns == o.columns;
    }
    bool OneComponent() const { return rows * columns == 1; }
    std::string Name() const {
        if (scalar) return element;
        if (!matrix) return element + std::to_string(columns);
        return element + std::to_string(rows) + "x" + std::to_string(columns);
    }
};

Shape ParseShape(std::string_view w) {
    static constexpr std::array<std::string_view, 11> kElements = {
        "float", "half", "double", "int", "uint", "bool", "dword", "min16float", "min10float", "min16int", "min16uint"};
    Shape s;
    for (const std::string_view e : kElements) {
        if (!w.starts_with(e)) continue;
        const std::string_view rest = w.substr(e.size());
        const auto digit = [](char c) { return c >= '1' && c <= '4'; };
        if (rest.empty()) {
            s.scalar = true;
        } else if (rest.size() == 1 && digit(rest[0])) {
            s.columns = rest[0] - '0';
        } else if (rest.size() == 3 && digit(rest[0]) && rest[1] == 'x' && digit(rest[2])) {
            s.matrix = true;
            s.rows = rest[0] - '0';
            s.columns = rest[2] - '0';
        } else {
            continue;
        }
        s.known = true;
        s.element = std::string(e);
        return s;
    }
    return s;
}

bool Word(const Token& t) { return !t.text.empty() && IdentStart(t.text[0]); }

bool Keyword(std::string_view w) {
    static const std::set<std::string_view> kWords = {"return", "in", "out", "inout", "uniform", "static", "const",
                                                      "if", "else", "for", "while", "do", "switch", "case", "struct",
                                                      "typedef", "extern", "shared", "volatile", "row_major",
                                                      "column_major", "register", "packoffset", "true", "false"};
    return kWords.count(w) != 0;
}

// The variables and parameters the text declares, each with its shape and
// the block it is seen in: a name stands for the last declaration before it
// whose block holds it.
class Declarations {
public:
    explicit Declarations(const std::vector<Token>& t) : m_tokens(t) {
        // The innermost block around each token, and where each block ends.
        std::vector<std::size_t> blocks;
        m_block.resize(t.size(), kGlobal);
        for (std::size_t i = 0; i < t.size() && !PassesExpired(); ++i) {
            if (Is(t[i], "}") && !blocks.empty()) blocks.pop_back();
            m_block[i] = blocks.empty() ? kGlobal : blocks.back();
            if (Is(t[i], "{")) blocks.push_back(i);
        }
        for (std::size_t i = 0; i + 1 < t.size() && !PassesExpired(); ++i) {
            const Shape s = ParseShape(t[i].text);
            if (!s.known) continue;
            std::size_t k = i + 1;
            while (k < t.size() && Word(t[k]) && !Keyword(t[k].text) && !ParseShape(t[k].text).known && Step()) {
                if (k + 1 < t.size() && Is(t[k + 1], "(")) break; // a function
                bool array = false;
                // Past its array sizes, semantic and value to the next declarator.
                std::size_t j = k + 1;
                int depth = 0;
                for (; j < t.size() && !PassesExpired(); ++j) {
                    if (Is(t[j], "(") || Is(t[j], "[") || Is(t[j], "{")) {
                        if (depth == 0 && Is(t[j], "[") && j == k + 1) array = true;
                        ++depth;
                    } else if (Is(t[j], ")") || Is(t[j], "]") || Is(t[j], "}")) {
                        if (depth == 0) break;
                        --depth;
                    } else if (depth == 0 && (Is(t[j], ",") || Is(t[j], ";"))) {
                        break;
                    }
                }
                Shape d = s;
                if (array) d.known = false;
                m_declared[t[k].text].push_back({k, Scope(k), d});
                if (j >= t.size() || !Is(t[j], ",")) break;
                k = j + 1;
            }
        }
    }

    // The shape of the name at token `at`; unknown where no declaration of a
    // known shape is seen there.
    Shape At(std::size_t at) const {
        const auto it = m_declared.find(m_tokens[at].text);
        // A name declared over and over is not worth following.
        if (it == m_declared.end() || it->second.size() > kMostDeclarations) return {};
        const Declaration* seen = nullptr;
        for (const Declaration& d : it->second) {
            const bool inside = d.block == kGlobal || (d.block < at && at < m_tokens[d.block].close);
            if (inside && (d.at < at || d.block == kGlobal) && (!seen || d.at > seen->at)) seen = &d;
        }
        return seen ? seen->shape : Shape{};
    }

private:
    static constexpr std::size_t kGlobal = ~std::size_t(0), kMostDeclarations = 64, kLongestParameters = 256;
    struct Declaration {
        std::size_t at, block;
        Shape shape;
    };

    // The block a declaration at `k` is seen in: a parameter's is the body
    // after its list.
    std::size_t Scope(std::size_t k) const {
        int depth = 0;
        for (std::size_t j = k; j < m_tokens.size() && j < k + kLongestParameters; ++j) {
            if (Is(m_tokens[j], "(")) ++depth;
            if (Is(m_tokens[j], ")") && --depth < 0) {
                // Past a semantic to the body.
                for (std::size_t b = j + 1; b < m_tokens.size() && b < j + 4; ++b)
                    if (Is(m_tokens[b], "{")) return b;
                break;
            }
            if (depth == 0 && (Is(m_tokens[j], ";") || Is(m_tokens[j], "{") || Is(m_tokens[j], "}"))) break;
        }
        return m_block[k];
    }

    const std::vector<Token>& m_tokens;
    std::vector<std::size_t> m_block;
    std::map<std::string_view, std::vector<Declaration>> m_declared;
};

// Whether the source defines or declares a function named `name`: a word
// before it that is a type or a name, not an operator or `return`.
bool DefinesFunction(const std::vector<Token>& t, std::string_view name) {
    for (std::size_t i = 1; i + 1 < t.size(); ++i)
        if (t[i].text == name && Is(t[i + 1], "(") && Word(t[i - 1]) && !Keyword(t[i - 1].text)) return true;
    return false;
}

// Intrinsics that act on each component of arguments of one shape.
bool ComponentWise(std::string_view w) {
    static const std::set<std::string_view> kNames = {"atan2", "clamp", "fmod", "ldexp", "lerp", "max",
                                                      "min",   "pow",   "smoothstep", "step"};
    return kNames.count(w) != 0;
}

// The arguments of the call whose '(' is at `open`: each as [first, last) of
// tokens.
std::vector<std::pair<std::size_t, std::size_t>> Arguments(const std::vector<Token>& t, std::size_t open) {
    std::vector<std::pair<std::size_t, std::size_t>> out;
    const std::size_t close = MatchClose(t, open);
    if (close >= t.size()) return out;
    std::size_t first = open + 1;
    int depth = 0;
    for (std::size_t i = open + 1; i <= close; ++i) {
        if (i < close && (Is(t[i], "(") || Is(t[i], "[") || Is(t[i], "{"))) ++depth;
        if (i < close && (Is(t[i], ")") || Is(t[i], "]") || Is(t[i], "}"))) --depth;
        if (i == close || (depth == 0 && Is(t[i], ","))) {
            out.push_back({first, i});
            first = i + 1;
        }
    }
    return out;
}

// The shape of an argument the text names by a known variable or a number;
// unknown otherwise.
Shape ArgumentShape(const std::vector<Token>& t, std::pair<std::size_t, std::size_t> a, const Declarations& shapes) {
    if (a.second != a.first + 1) return {};
    const std::string_view w = t[a.first].text;
    if (!w.empty() && (std::isdigit(static_cast<unsigned char>(w[0])) || w[0] == '.')) {
        Shape s;
        s.known = s.scalar = true;
        s.element = "float";
        return s;
    }
    return shapes.At(a.first);
}

// The intrinsics of the DX9 table a source may call or define again.
const std::set<std::string_view> kIntrinsics = {
    "abs",   "acos",  "all",      "any",      "asin",   "atan",      "atan2",      "ceil",    "clamp",
    "clip",  "cos",   "cosh",     "cross",    "ddx",    "ddy",       "degrees",    "determinant",
    "distance", "dot", "exp",     "exp2",     "faceforward", "floor", "fmod",      "frac",    "frexp",
    "fwidth", "isfinite", "isinf", "isnan",   "ldexp",  "length",    "lerp",       "lit",     "log",
    "log10", "log2",  "max",      "min",      "modf",   "mul",       "normalize",  "pow",     "radians",
    "reflect", "refract", "round", "rsqrt",   "saturate", "sign",    "sin",        "sincos",  "sinh",
    "smoothstep", "sqrt", "step", "tan",      "tanh",   "transpose", "trunc"};

// Whether the text holds anything the pass looks at: a conditional, an
// intrinsic's name, `unsigned`, a matrix of booleans. Read without tokens, so
// that a source of none costs no more than a look at its bytes.
bool WorthReading(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == '?') return true;
        if (!IdentStart(text[i])) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && IdentChar(text[end])) ++end;
        const std::string_view word = text.substr(i, end - i);
        if (kIntrinsics.count(word) || word == "unsigned" ||
            (word.size() == 7 && word.starts_with("bool") && word[5] == 'x'))
            return true;
        i = end;
    }
    return false;
}

// A change to the source: `erase` bytes at `at` replaced by `text`.
struct Edit {
    std::size_t at, erase;
    std::string text;
};

// Whether an argument of shape `a` is taken for a parameter of shape `p`: a
// scalar for any, anything for a scalar, a vector or matrix for one no
// larger of its kind.
bool Converts(const Shape& a, const Shape& p) {
    if (a.OneComponent() || p.scalar) return true;
    return a.matrix == p.matrix && a.rows >= p.rows && a.columns >= p.columns;
}

// The D3D9 compiler takes a function the source defines under an
// intrinsic's name for every call whose arguments it can take, and the
// intrinsic for the others; the front end prefers the intrinsic wherever it
// matches better. The source's functions renamed, with the calls they take.
void UserFunctionsOverIntrinsics(const std::vector<Token>& t, std::vector<Edit>& edits) {
    const auto call = [&](std::size_t i) {
        return i + 1 < t.size() && Is(t[i + 1], "(") && kIntrinsics.count(t[i].text) &&
               !(i > 0 && (Is(t[i - 1], ".") || (Word(t[i - 1]) && !Keyword(t[i - 1].text))));
    };
    std::map<std::string_view, std::vector<std::vector<Shape>>> overloads;
    for (std::size_t i = 1; i + 1 < t.size() && !PassesExpired(); ++i) {
        if (!Is(t[i + 1], "(") || !kIntrinsics.count(t[i].text) || !Word(t[i - 1]) || Keyword(t[i - 1].text)) continue;
        std::vector<Shape> parameters;
        for (const auto& a : Arguments(t, i + 1)) {
            Shape p;
            for (std::size_t k = a.first; k < a.second && !p.known; ++k) p = ParseShape(t[k].text);
            parameters.push_back(p);
        }
        overloads[t[i].text].push_back(std::move(parameters));
        edits.push_back({t[i].begin, 0, "orvUser_"});
    }
    if (overloads.empty()) return;
    const Declarations shapes(t);
    for (std::size_t i = 0; i < t.size() && !PassesExpired(); ++i) {
        const auto o = call(i) ? overloads.find(t[i].text) : overloads.end();
        if (o == overloads.end() || t[i + 1].close >= t.size() || t[i + 1].close - i > 64) continue;
        std::vector<Shape> arguments;
        for (const auto& a : Arguments(t, i + 1)) {
            Shape s = ArgumentShape(t, a, shapes);
            // A constructor is of its type.
            if (!s.known && a.second > a.first + 1 && Is(t[a.first + 1], "(") && t[a.first + 1].close + 1 == a.second)
                s = ParseShape(t[a.first].text);
            arguments.push_back(s);
        }
        bool taken = false;
        for (const std::vector<Shape>& parameters : o->second) {
            bool fits = parameters.size() == arguments.size();
            for (std::size_t k = 0; fits && k < arguments.size(); ++k)
                fits = arguments[k].known && parameters[k].known && Converts(arguments[k], parameters[k]);
            taken = taken || fits;
        }
        if (taken) edits.push_back({t[i].begin, 0, "orvUser_"});
    }
}

// The smallest of matrices in each dimension.
Shape Smallest(const std::vector<Shape>& matrices) {
    Shape s = matrices.front();
    for (const Shape& m : matrices) {
        s.rows = std::min(s.rows, m.rows);
        s.columns = std::min(s.columns, m.columns);
    }
    return s;
}

// A conditional `c ? x : y` whose three operands are one token each, the
// condition after an opening bracket, `=`, `return`, a comma or the end of a
// statement, the values
// before a closing bracket, `;` or a comma: where the '?' is.
bool SimpleConditional(const std::vector<Token>& t, std::size_t q) {
    if (q < 2 || q + 4 >= t.size() || !Is(t[q], "?") || !Is(t[q + 2], ":")) return false;
    const std::string_view before = t[q - 2].text, after = t[q + 4].text;
    return (before == "(" || before == "=" || before == "return" || before == "," || before == "{" || before == ";") &&
           (after == ")" || after == ";" || after == ",");
}

// The line breaks of text a rewrite replaces, kept after it so that every
// later line keeps its number.
std::string LineBreaks(std::string_view replaced) {
    return std::string(std::size_t(std::count(replaced.begin(), replaced.end(), '\n')), '\n');
}

// A helper `name` of `parameters` float arguments for every float shape:
// `body` (its arguments x, y) for scalars and vectors, where T stands for the
// type; matrices row by row through those.
std::string Overloads(const std::string& name, int parameters, const std::string& body) {
    std::string out;
    for (const std::string type : {"float", "float2", "float3", "float4"}) {
        std::string b = body;
        for (std::size_t at = b.find('T'); at != std::string::npos; at = b.find('T', at + type.size()))
            b.replace(at, 1, type);
        out += type + " " + name + "(" + type + " x" + (parameters > 1 ? ", " + type + " y" : "") + ") { " + b + " } ";
    }
    for (int r = 2; r <= 4; ++r)
        for (int c = 2; c <= 4; ++c) {
            const std::string type = "float" + std::to_string(r) + "x" + std::to_string(c);
            std::string rows;
            for (int k = 0; k < r; ++k) {
                const std::string at = "[" + std::to_string(k) + "]";
                rows += (k ? ", " : "") + name + "(x" + at + (parameters > 1 ? ", y" + at : "") + ")";
            }
            out += type + " " + name + "(" + type + " x" + (parameters > 1 ? ", " + type + " y" : "") +
                   ") { return " + type + "(" + rows + "); } ";
        }
    return out;
}

} // namespace

bool IntrinsicsAsTheD3D9CompilerGivesThem(std::string& source, std::size_t& at, std::string& error) {
    if (!WorthReading(source)) return true;
    const std::vector<Token> t = Tokenize(source);
    if (t.empty()) return true;
    // Refusals first: the text stays as it is when one is made.
    std::map<std::string_view, std::string_view> typedefs;
    bool calls = false; // component-wise intrinsics or conditionals to look at
    for (std::size_t i = 0; i < t.size() && !PassesExpired(); ++i) {
        // A type of arrays is no type `unsigned` applies to: none stands for it.
        if (Is(t[i], "typedef") && i + 2 < t.size() && Word(t[i + 1]) && Word(t[i + 2]))
            typedefs[t[i + 2].text] = i + 3 < t.size() && Is(t[i + 3], "[") ? "" : t[i + 1].text;
        calls = calls || Is(t[i], "?") || ComponentWise(t[i].text);
        const Shape s = ParseShape(t[i].text);
        if (s.known && s.matrix && s.element == "bool") {
            at = t[i].begin;
            error = "a matrix of booleans (" + std::string(t[i].text) + ") is not supported; use a float matrix";
            return false;
        }
        if (Is(t[i], "unsigned") && i + 1 < t.size() && Word(t[i + 1])) {
            std::string_view type = t[i + 1].text;
            const auto named = typedefs.find(type);
            if (named != typedefs.end()) type = named->second;
            const Shape u = ParseShape(type);
            if ((u.known && u.element != "int") || type.empty()) {
                at = t[i].begin;
                error = "'unsigned' applies to int types only, not to '" + std::string(t[i + 1].text) + "'";
                return false;
            }
        }
    }
    std::vector<Edit> edits;
    UserFunctionsOverIntrinsics(t, edits);
    std::optional<Declarations> shapes;
    if (calls) shapes.emplace(t);
    // Matrices cut to `to` where they differ from it.
    const auto cut = [&](std::pair<std::size_t, std::size_t> a, const Shape& s, const Shape& to) {
        if (s.known && s.matrix && (s.rows != to.rows || s.columns != to.columns)) {
            Shape c = to;
            c.element = s.element;
            edits.push_back({t[a.first].begin, 0, "(" + c.Name() + ")"});
        }
    };
    std::map<std::string_view, bool> defined;
    const auto userDefined = [&](std::string_view name) {
        const auto it = defined.find(name);
        if (it != defined.end()) return it->second;
        return defined[name] = DefinesFunction(t, name);
    };
    std::set<std::string_view> helpers;
    for (std::size_t i = 0; i < t.size() && !PassesExpired(); ++i) {
        if (Is(t[i], "unsigned") && i + 1 < t.size() &&
            (ParseShape(t[i + 1].text).known || typedefs.count(t[i + 1].text))) {
            edits.push_back({t[i].begin, t[i].text.size(), std::string(t[i].text.size(), ' ')});
            continue;
        }
        if (shapes && SimpleConditional(t, i)) {
            Step();
            const Shape c = ArgumentShape(t, {i - 1, i}, *shapes), x = ArgumentShape(t, {i + 1, i + 2}, *shapes),
                        y = ArgumentShape(t, {i + 3, i + 4}, *shapes);
            if (!c.known || !x.known || !y.known) continue;
            if (x.matrix && y.matrix && !(x.rows <= y.rows && x.columns <= y.columns) &&
                !(y.rows <= x.rows && y.columns <= x.columns)) {
                at = t[i].begin;
                error = "the values of '?:' are matrices of incompatible sizes (" + x.Name() + ", " + y.Name() + ")";
                return false;
            }
            // The condition is a scalar, or the values are, or all three are
            // of one shape (a row matrix and a vector of its size are).
            const bool oneShape = x.matrix == y.matrix && x.rows == y.rows && x.columns == y.columns;
            const bool rowAndVector = c.matrix != x.matrix && c.rows * c.columns == x.rows * x.columns &&
                                      ((c.matrix && c.rows == 1) || (x.matrix && x.rows == 1));
            if (!c.OneComponent() && oneShape && !x.OneComponent() && !(c == x) && !rowAndVector) {
                at = t[i].begin;
                error = "the condition of '?:' (" + c.Name() + ") is not of its values' shape (" + x.Name() + ")";
                return false;
            }
            if (c.matrix && x.matrix && c == x && x == y) {
                // A matrix condition chooses each component: row by row.
                std::string rows;
                for (int r = 0; r < x.rows; ++r) {
                    const std::string row = "[" + std::to_string(r) + "]";
                    rows += std::string(r ? ", " : "") + std::string(t[i - 1].text) + row + " ? " +
                            std::string(t[i + 1].text) + row + " : " + std::string(t[i + 3].text) + row;
                }
                Shape result = x;
                result.element = "float";
                const std::string_view spanned =
                    std::string_view(source).substr(t[i - 1].begin, TokenEnd(t[i + 3]) - t[i - 1].begin);
                edits.push_back({t[i - 1].begin, spanned.size(), result.Name() + "(" + rows + ")" + LineBreaks(spanned)});
                continue;
            }
            if (x.matrix && y.matrix) {
                const Shape to = Smallest({x, y});
                cut({i + 1, i + 2}, x, to);
                cut({i + 3, i + 4}, y, to);
            }
            continue;
        }
        if (i + 1 >= t.size() || !Is(t[i + 1], "(") ||
            (i > 0 && (Is(t[i - 1], ".") || (Word(t[i - 1]) && !Keyword(t[i - 1].text)))))
            continue;
        const std::string_view name = t[i].text;
        // Only calls of arguments one token each are judged: no longer list
        // is worth reading.
        if (shapes && ComponentWise(name) && t[i + 1].close < t.size() && t[i + 1].close - i <= 12 &&
            !userDefined(name)) {
            Step();
            const auto arguments = Arguments(t, i + 1);
            std::vector<Shape> matrices;
            for (const auto& a : arguments) {
                const Shape s = ArgumentShape(t, a, *shapes);
                if (s.known && s.matrix) matrices.push_back(s);
            }
            // Row by row, each matrix cut to the smallest: the front end
            // takes no matrices of different sizes, and stops on some
            // intrinsics of constant matrices.
            const auto rowByRow = [&] {
                if (matrices.empty()) return false;
                const Shape to = Smallest(matrices);
                std::vector<std::string> parts;
                for (const auto& a : arguments) {
                    const Shape s = ArgumentShape(t, a, *shapes);
                    if (!s.known || !(s.matrix || s.scalar)) break;
                    Shape c = to;
                    c.element = s.element;
                    const std::string text(t[a.first].text);
                    parts.push_back(!s.matrix ? text : s == c ? text : "((" + c.Name() + ")" + text + ")");
                }
                if (parts.size() != arguments.size()) return false;
                Shape result = to;
                result.element = "float";
                std::string rows;
                for (int r = 0; r < to.rows; ++r) {
                    rows += std::string(r ? ", " : "") + std::string(name) + "(";
                    for (std::size_t k = 0; k < parts.size(); ++k) {
                        const bool matrix = ArgumentShape(t, arguments[k], *shapes).matrix;
                        rows += (k ? ", " : "") + parts[k] + (matrix ? "[" + std::to_string(r) + "]" : "");
                    }
                    rows += ")";
                }
                const std::size_t close = t[i + 1].close;
                const std::string_view spanned = std::string_view(source).substr(t[i].begin, TokenEnd(t[close]) - t[i].begin);
                edits.push_back({t[i].begin, spanned.size(), result.Name() + "(" + rows + ")" + LineBreaks(spanned)});
                return true;
            };
            if (rowByRow()) continue;
        }
        // Neither infinite nor NaN: no comparison holds for a NaN.
        if (name == "isfinite" && !userDefined(name)) {
            const std::size_t close = MatchClose(t, i + 1);
            if (close >= t.size()) continue;
            edits.push_back({t[i].begin, TokenEnd(t[i + 1]) - t[i].begin, "(abs("});
            edits.push_back({TokenEnd(t[close]), 0, " <= 3.402823466e+38)"});
            continue;
        }
        static const std::map<std::string_view, std::string_view> kHelpers = {
            {"lit", "orvLit"}, {"asin", "orvAsin"}, {"atan2", "orvAtan2"}};
        const auto helper = kHelpers.find(name);
        if (helper == kHelpers.end() || userDefined(name)) continue;
        edits.push_back({t[i].begin, t[i].text.size(), std::string(helper->second)});
        helpers.insert(name);
    }
    if (edits.empty()) return true;
    // On the first line, so that every other keeps its number.
    std::string functions;
    if (helpers.count("lit"))
        functions += "float4 orvLit(float l, float h, float m) { return float4(1, max(l, 0), (l < 0 || h < 0) ? 0 : "
                     "pow(h, m), 1); } ";
    // The D3D9 compiler's expansion: pi/2 - sqrt(1 - |x|) times a cubic in
    // |x|, its sign that of x (a zero taken as positive).
    if (helpers.count("asin"))
        functions += Overloads("orvAsin", 1,
                               "T a = abs(x); return (2 * step(0, x) - 1) * (1.57079632679 - sqrt(1 - a) * "
                               "(((-0.0187293 * a + 0.0742610) * a - 0.2121144) * a + 1.5707288));");
    // A zero of either sign is the positive one; the front end folds away
    // what would only change the sign, so the value is chosen instead.
    if (helpers.count("atan2"))
        functions += Overloads("orvAtan2", 2, "return x == 0 ? (y < 0 ? 3.14159265 : 0) : atan2(x, y);");
    if (!functions.empty()) edits.push_back({t.front().begin, 0, functions});
    std::stable_sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) { return a.at > b.at; });
    for (const Edit& e : edits) source.replace(e.at, e.erase, e.text);
    return true;
}

void TruncatedRemainders(std::vector<std::uint32_t>& spirv) {
    using namespace spirv;
    constexpr std::uint32_t kOpSRem = 138, kOpSMod = 139, kOpFRem = 140, kOpFMod = 141;
    for (std::size_t at = kHeaderWords; at < spirv.size();) {
        const std::uint32_t words = WordCount(spirv[at]);
        if (words == 0) return;
        if (Opcode(spirv[at]) == kOpFMod) spirv[at] = FirstWord(words, kOpFRem);
        if (Opcode(spirv[at]) == kOpSMod) spirv[at] = FirstWord(words, kOpSRem);
        at += words;
    }
}

void EqualityBySquaredDifference(std::vector<std::uint32_t>& spirv) {
    using namespace spirv;
    constexpr std::uint32_t kOpFSub = 131, kOpFMul = 133, kOpFOrdEqual = 180, kOpFUnordNotEqual = 183;
    if (spirv.size() < kHeaderWords) return;
    // Most programs compare no floats for equality.
    bool anyCompare = false;
    for (std::size_t at = kHeaderWords; at < spirv.size() && !anyCompare;) {
        const std::uint32_t words = WordCount(spirv[at]), op = Opcode(spirv[at]);
        if (words == 0) return;
        anyCompare = op >= kOpFOrdEqual && op <= kOpFUnordNotEqual;
        at += words;
    }
    if (!anyCompare) return;
    // The float types and vectors of them, and the type of each value.
    std::set<std::uint32_t> floats;
    std::map<std::uint32_t, std::uint32_t> typeOf;
    std::set<std::uint32_t> typeIds;
    std::size_t firstFunction = 0;
    std::vector<std::size_t> compares;
    for (std::size_t at = kHeaderWords; at < spirv.size();) {
        const std::uint32_t words = WordCount(spirv[at]), op = Opcode(spirv[at]);
        if (words == 0 || at + words > spirv.size()) return;
        const std::uint32_t* w = &spirv[at];
        if (op == kOpFunction && !firstFunction) firstFunction = at;
        if (op == kOpTypeFloat && words >= 2) floats.insert(w[1]);
        if (op == kOpTypeVector && words == 4 && floats.count(w[2])) floats.insert(w[1]);
        const bool valued = firstFunction || (op >= kOpConstantTrue && op <= kOpConstantNull) || op == kOpVariable;
        if (op >= kOpTypeBool && op <= kOpTypePointer && words >= 2) typeIds.insert(w[1]);
        else if (valued && words >= 3 && typeIds.count(w[1])) typeOf[w[2]] = w[1];
        if (op >= kOpFOrdEqual && op <= kOpFUnordNotEqual && words == 5 && floats.count(typeOf[w[3]])) compares.push_back(at);
        at += words;
    }
    if (compares.empty() || !firstFunction) return;
    std::uint32_t bound = spirv[3];
    std::map<std::uint32_t, std::uint32_t> zeros; // type: its null constant
    for (const std::size_t at : compares) zeros.emplace(typeOf[spirv[at + 3]], 0);
    std::vector<std::uint32_t> out(spirv.begin(), spirv.begin() + std::ptrdiff_t(firstFunction));
    for (auto& [type, zero] : zeros) {
        zero = bound++;
        out.insert(out.end(), {FirstWord(3, kOpConstantNull), type, zero});
    }
    std::size_t next = 0;
    for (std::size_t at = firstFunction; at < spirv.size();) {
        const std::uint32_t words = WordCount(spirv[at]);
        if (next < compares.size() && compares[next] == at) {
            ++next;
            const std::uint32_t* w = &spirv[at];
            const std::uint32_t type = typeOf[w[3]], difference = bound++, square = bound++;
            out.insert(out.end(), {FirstWord(5, kOpFSub), type, difference, w[3], w[4]});
            out.insert(out.end(), {FirstWord(5, kOpFMul), type, square, difference, difference});
            out.insert(out.end(), {w[0], w[1], w[2], square, zeros[type]});
        } else {
            out.insert(out.end(), spirv.begin() + std::ptrdiff_t(at), spirv.begin() + std::ptrdiff_t(at + words));
        }
        at += words;
    }
    out[3] = bound;
    spirv = std::move(out);
}

bool PixelOnlyOperations(const std::vector<std::uint32_t>& spirv, bool vertex, std::string_view source,
                         std::size_t& at, std::string& error) {
    if (!vertex) return true;
    using namespace spirv;
    constexpr std::uint32_t kOpImageSampleImplicitLod = 87, kOpImageSampleProjDrefExplicitLod = 94, kOpDPdx = 207,
                            kOpFwidthCoarse = 215, kOpKill = 252, kImageOperandsBias = 1;
    std::string_view what;
    for (std::size_t i = kHeaderWords; i < spirv.size() && what.empty();) {
        const std::uint32_t words = WordCount(spirv[i]), op = Opcode(spirv[i]);
        if (words == 0 || i + words > spirv.size()) break;
        if (op >= kOpDPdx && op <= kOpFwidthCoarse) what = "derivatives (ddx, ddy, fwidth)";
        if (op == kOpKill) what = "clip and discard";
        // Lookups carry their operands after the coordinate (and the depth
        // reference); the front end makes a vertex program's lookups of
        // level 0, the bias kept beside it.
        if (op >= kOpImageSampleImplicitLod && op <= kOpImageSampleProjDrefExplicitLod && words > 5) {
            const std::uint32_t k = op - kOpImageSampleImplicitLod;
            const bool dref = k == 2 || k == 3 || k == 6 || k == 7;
            const std::size_t operands = i + (dref ? 6 : 5);
            if (operands < i + words && (spirv[operands] & kImageOperandsBias)) what = "lookups with a bias";
        }
        i += words;
    }
    if (what.empty()) return true;
    static constexpr std::array<std::string_view, 11> kCalls = {"ddx", "ddy", "fwidth", "clip", "discard",
                                                                "tex1Dbias", "tex2Dbias", "tex3Dbias", "texCUBEbias",
                                                                "ddx_fine", "ddy_fine"};
    at = 0;
    for (const Token& k : Tokenize(source))
        if (std::find(kCalls.begin(), kCalls.end(), k.text) != kCalls.end()) {
            at = k.begin;
            break;
        }
    error = std::string(what) + " belong to pixel programs; a vertex program has none";
    return false;
}

bool MatricesOfNumbersOnly(std::string_view glsl, std::string_view source, std::size_t& at, std::string& error) {
    bool found = false;
    for (std::size_t i = glsl.find("mat"); i != std::string_view::npos && !found; i = glsl.find("mat", i + 3)) {
        const char before = i > 0 ? glsl[i - 1] : ' ';
        const bool start = i < 2 || !IdentChar(glsl[i - 2]);
        found = (before == 'i' || before == 'u' || before == 'b') && start && i + 3 < glsl.size() &&
                glsl[i + 3] >= '2' && glsl[i + 3] <= '4';
    }
    if (!found) return true;
    at = 0;
    for (const Token& k : Tokenize(source)) {
        const Shape s = ParseShape(k.text);
        if (s.known && s.matrix && s.element != "float" && s.element != "half" && s.element != "double") {
            at = k.begin;
            break;
        }
    }
    error = "matrices of int or bool values are not supported here; use float matrices";
    return false;
}

} // namespace gfx::hlsl
