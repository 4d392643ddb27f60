#include "platform/gfxutil/hlsl/GfxUtilHlslOneRowOrColumn.h"

#include "platform/gfxutil/hlsl/GfxUtilHlslText.h"

#include <algorithm>
#include <map>
#include <set>
#include <vector>

namespace gfx::hlsl {
namespace {

constexpr std::string_view kParts = "xyzw";

// A numeric type word's shape.
struct Shape {
    std::string_view scalar; // "float", "int" ...
    int rows = 1, columns = 1;
    bool matrixWord = false; // written RxC
    bool single = false;     // written with one component ("float1")
    bool array = false;      // a declared name's: an array of the shape

    int Size() const { return rows * columns; }
    // One row or one column, or `float1`: what this pass reads as a vector.
    bool Degenerate() const { return (matrixWord && (rows == 1 || columns == 1)) || single; }
    bool FullMatrix() const { return matrixWord && rows > 1 && columns > 1; }
    bool ScalarLike() const { return Size() == 1; }
    // The vector (or scalar) word of the same components.
    std::string VectorWord() const { return std::string(scalar) + (Size() > 1 ? std::to_string(Size()) : ""); }
    bool operator==(const Shape& o) const {
        return scalar == o.scalar && rows == o.rows && columns == o.columns && matrixWord == o.matrixWord &&
               single == o.single && array == o.array;
    }
};

bool ReadShape(std::string_view w, Shape& s) {
    for (const std::string_view scalar : {"min16float", "float", "half", "double", "uint", "int", "bool"}) {
        if (!w.starts_with(scalar)) continue;
        const std::string_view rest = w.substr(scalar.size());
        s = Shape{};
        s.scalar = scalar;
        if (rest.empty()) return true;
        if (rest.size() == 1 && rest[0] >= '1' && rest[0] <= '4') {
            s.columns = rest[0] - '0';
            s.single = s.columns == 1;
            return true;
        }
        if (rest.size() == 3 && rest[0] >= '1' && rest[0] <= '4' && rest[1] == 'x' && rest[2] >= '1' && rest[2] <= '4') {
            s.rows = rest[0] - '0';
            s.columns = rest[2] - '0';
            s.matrixWord = true;
            return true;
        }
        return false;
    }
    return false;
}

bool Ident(const Token& t) { return IdentStart(t.text[0]); }

bool NumberToken(const Token& t) {
    return std::isdigit(static_cast<unsigned char>(t.text[0])) || (t.text[0] == '.' && t.text.size() > 1);
}

struct Edit {
    std::size_t at, erase;
    std::string text;
};

// The arguments of the call whose '(' is at `open`: each one's first token
// and the token past its last.
std::vector<std::pair<std::size_t, std::size_t>> Arguments(const std::vector<Token>& t, std::size_t open) {
    std::vector<std::pair<std::size_t, std::size_t>> out;
    const std::size_t close = MatchClose(t, open);
    if (close >= t.size() || close == open + 1) return out;
    std::size_t first = open + 1;
    for (std::size_t k = open + 1; k <= close; ++k) {
        if (k < close && (Is(t[k], "(") || Is(t[k], "[") || Is(t[k], "{"))) {
            k = MatchClose(t, k);
            if (k >= close) return {};
            continue;
        }
        if (k == close || Is(t[k], ",")) {
            out.push_back({first, k});
            first = k + 1;
        }
    }
    return out;
}

class Pass {
public:
    explicit Pass(std::string_view source) : m_source(source), m_t(Tokenize(source)) {}

    bool Run(std::string& out, std::string& error, std::size_t& errorAt) {
        Classify();
        ReadNames();
        for (std::size_t i = 0; i < m_t.size() && Step(); ++i) {
            TypeWord(i);
            if (!Ident(m_t[i])) continue;
            if (!Call(i, error, errorAt) || !Return(i, error, errorAt) || !Conditional(i, error, errorAt) ||
                !Cast(i, error, errorAt))
                return false;
            Reference(i);
            Sum(i);
        }
        if (PassesExpired()) {
            out.assign(m_source);
            return true;
        }
        Overloads();
        std::stable_sort(m_edits.begin(), m_edits.end(), [](const Edit& a, const Edit& b) { return a.at > b.at; });
        out.assign(m_source);
        std::size_t limit = out.size();
        for (const Edit& e : m_edits) {
            if (e.at + e.erase > limit) continue; // overlaps one made after it: the first kept
            out.replace(e.at, e.erase, e.text);
            limit = e.at;
        }
        return true;
    }

private:
    enum class Place : std::uint8_t { Body, Uniform, Struct, Overloaded };

    // Where each type word stands: in a body, a parameter list, a return
    // type or a static global (rewritten); in a uniform global's declaration
    // (laid out as written); in a struct (its own refusal).
    void Classify() {
        m_place.assign(m_t.size(), Place::Body);
        m_function.assign(m_t.size(), m_t.size());
        m_scope.assign(m_t.size(), m_t.size());
        std::vector<bool> structBrace; // the open braces: a struct's body or not
        std::vector<std::size_t> braces; // and where each opened
        std::size_t parens = 0, function = m_t.size();
        std::size_t named = m_t.size(); // the statement's first word before a '(', a function's name
        bool isStatic = false, isTypedef = false;
        for (std::size_t i = 0; i < m_t.size() && Step(); ++i) {
            const std::string_view w = m_t[i].text;
            const bool fileScope = structBrace.empty();
            if (w == "{") {
                const bool s = (i >= 1 && Is(m_t[i - 1], "struct")) ||
                               (i >= 2 && Is(m_t[i - 2], "struct") && Ident(m_t[i - 1]));
                // A function's body: its name is the word before the
                // parameter list that opened the statement.
                if (fileScope && !s && parens == 0) {
                    function = named;
                    // Its parameters' scope is the body.
                    const std::size_t close = MatchClose(m_t, i);
                    for (std::size_t k = named + 1; named < i && k < i && Step(); ++k) m_scope[k] = close;
                }
                structBrace.push_back(s || (!structBrace.empty() && structBrace.back()));
                braces.push_back(i);
                continue;
            }
            if (w == "}") {
                if (!structBrace.empty()) structBrace.pop_back();
                if (!braces.empty()) braces.pop_back();
                if (structBrace.empty()) {
                    named = m_t.size();
                    isStatic = isTypedef = false;
                    function = m_t.size();
                }
                continue;
            }
            if (!fileScope) {
                m_function[i] = function;
                m_scope[i] = MatchClose(m_t, braces.back());
                if (structBrace.back()) m_place[i] = Place::Struct;
                continue;
            }
            if (w == "(" && parens++ == 0 && named == m_t.size() && i > 0 && Ident(m_t[i - 1])) named = i - 1;
            if (w == ")" && parens > 0) --parens;
            if (w == ";") {
                named = m_t.size();
                isStatic = isTypedef = false;
                continue;
            }
            if (w == "static") isStatic = true;
            if (w == "typedef") isTypedef = true;
            const bool declaresFunction = i + 2 < m_t.size() && Ident(m_t[i + 1]) && Is(m_t[i + 2], "(");
            if (parens == 0 && declaresFunction) {
                // A name declared with several parameter lists keeps its
                // `float1` ones apart from its `float` ones.
                if (++m_declarations[m_t[i + 1].text] > 1) m_overloaded.insert(m_t[i + 1].text);
                const std::size_t close = MatchClose(m_t, i + 2);
                for (std::size_t k = i + 3; k < close && k < m_t.size() && Step(); ++k) m_list[k] = m_t[i + 1].text;
            }
            if (parens == 0 && !isStatic && !declaresFunction) m_place[i] = isTypedef ? Place::Struct : Place::Uniform;
        }
        for (const auto& [k, name] : m_list)
            if (m_overloaded.count(name)) m_place[k] = Place::Overloaded;
    }

    // Names by their declared shapes and scopes. Functions by their return
    // shape.
    void ReadNames() {
        for (std::size_t i = 0; i + 1 < m_t.size() && Step(); ++i) {
            Shape s;
            if (!ReadShape(m_t[i].text, s) || !Ident(m_t[i + 1]) || (i > 0 && Is(m_t[i - 1], "."))) continue;
            if (i + 2 < m_t.size() && Is(m_t[i + 2], "(")) {
                m_returns[m_t[i + 1].text] = s;
                continue;
            }
            std::size_t k = i + 1;
            while (k < m_t.size()) {
                Shape named = s;
                const std::string_view name = m_t[k].text;
                std::size_t j = k + 1;
                if (j < m_t.size() && Is(m_t[j], "[")) {
                    named.array = true;
                    while (j < m_t.size() && Is(m_t[j], "[")) j = MatchClose(m_t, j) + 1;
                }
                Name(name, named, k);
                m_declared.insert(k);
                // Further declarators of the statement: `float1x4 a = b, c;`
                // (not past another type word: each declaration is looked
                // through once).
                Shape other;
                while (j < m_t.size() && !Is(m_t[j], ",") && !Is(m_t[j], ";") && !Is(m_t[j], ")") &&
                       !Is(m_t[j], "{") && !Is(m_t[j], "}") && !ReadShape(m_t[j].text, other) && Step())
                    j = (Is(m_t[j], "(") || Is(m_t[j], "[")) ? MatchClose(m_t, j) + 1 : j + 1;
                if (j + 2 < m_t.size() && Is(m_t[j], ",") && Ident(m_t[j + 1]) && !ReadShape(m_t[j + 1].text, other) &&
                    (Is(m_t[j + 2], ";") || Is(m_t[j + 2], ",") || Is(m_t[j + 2], "=") || Is(m_t[j + 2], "[") ||
                     Is(m_t[j + 2], ":"))) {
                    k = j + 1;
                    continue;
                }
                break;
            }
        }
    }

    void Name(std::string_view name, const Shape& s, std::size_t at) { m_names[name].push_back({at, m_scope[at], s}); }

    // The shape of the name at `i` as declared where `i` stands: the latest
    // declaration whose scope holds it.
    const Shape* Lookup(std::size_t i) const {
        const auto found = m_names.find(m_t[i].text);
        if (found == m_names.end()) return nullptr;
        const std::vector<Declared>& all = found->second;
        auto at = std::upper_bound(all.begin(), all.end(), i, [](std::size_t k, const Declared& d) { return k < d.at; });
        // Past a few blocks closed before it, the name is taken as unknown.
        for (int n = 0; at != all.begin() && n < 64; ++n) {
            --at;
            if (at->end > i) return &at->shape;
        }
        return nullptr;
    }

    // The shape of the one-token expression at `i`: a name of one shape,
    // not an array, or a number (a scalar).
    bool Operand(std::size_t i, std::size_t end, Shape& s) const {
        if (end != i + 1) return false;
        if (NumberToken(m_t[i])) {
            s = Shape{};
            s.scalar = "float";
            return true;
        }
        if (!Ident(m_t[i])) return false;
        const Shape* found = Lookup(i);
        if (!found || found->array) return false;
        s = *found;
        return true;
    }

    void TypeWord(std::size_t i) {
        Shape s;
        if (m_place[i] != Place::Body || !ReadShape(m_t[i].text, s) || !s.Degenerate()) return;
        if (i > 0 && Is(m_t[i - 1], ".")) return;
        // Constructors and casts of the matrix words are the dialect pass's
        // (GfxUtilHlslRewrite.h); a `float1` is a scalar everywhere.
        const bool declaration = i + 1 < m_t.size() && Ident(m_t[i + 1]);
        if (!declaration && !s.single) return;
        m_edits.push_back({m_t[i].begin, m_t[i].text.size(), s.VectorWord()});
    }

    // A name of such a shape read as a matrix: the row of a one-row matrix
    // is the whole vector, and a matrix swizzle picks its components.
    void Reference(std::size_t i) {
        if (m_declared.count(i) || (i > 0 && Is(m_t[i - 1], "."))) return;
        const Shape* found = Lookup(i);
        if (!found || !found->Degenerate()) return;
        const Shape& s = *found;
        std::size_t k = i + 1;
        if (k < m_t.size() && Is(m_t[k], "(")) return;
        if (s.array) {
            if (k >= m_t.size() || !Is(m_t[k], "[")) return;
            k = MatchClose(m_t, k) + 1;
        }
        if (k >= m_t.size()) return;
        if (s.rows == 1 && Is(m_t[k], "[")) {
            EraseRowIndex(k, s);
            return;
        }
        if (!s.matrixWord || !Is(m_t[k], ".") || k + 1 >= m_t.size()) return;
        std::string_view w = m_t[k + 1].text;
        std::string parts;
        while (!w.empty()) {
            int r = 0, c = 0;
            if (w.size() >= 4 && w[0] == '_' && w[1] == 'm' && w[2] >= '0' && w[2] <= '3' && w[3] >= '0' && w[3] <= '3') {
                r = w[2] - '0';
                c = w[3] - '0';
                w.remove_prefix(4);
            } else if (w.size() >= 3 && w[0] == '_' && w[1] >= '1' && w[1] <= '4' && w[2] >= '1' && w[2] <= '4') {
                r = w[1] - '1';
                c = w[2] - '1';
                w.remove_prefix(3);
            } else {
                return;
            }
            if (r >= s.rows || c >= s.columns) return;
            parts += kParts[std::size_t(s.rows == 1 ? c : r)];
        }
        if (parts.empty() || parts.size() > 4) return;
        m_edits.push_back({m_t[k + 1].begin, m_t[k + 1].text.size(), parts});
    }

    // The row index at `k` of a value of one row: the row is the vector; of
    // a 1x1 matrix an index of that row's one component follows, which is
    // the scalar.
    void EraseRowIndex(std::size_t k, const Shape& s) {
        std::size_t close = MatchClose(m_t, k);
        if (close >= m_t.size()) return;
        if (s.matrixWord && s.ScalarLike() && close + 1 < m_t.size() && Is(m_t[close + 1], "[")) {
            const std::size_t second = MatchClose(m_t, close + 1);
            if (second < m_t.size()) close = second;
        }
        m_edits.push_back({m_t[k].begin, TokenEnd(m_t[close]) - m_t[k].begin, ""});
    }

    // `(c ? a : b)` of single names: the condition must fit the operands
    // (the same class and size, either side of one component, or a vector
    // and a one-row matrix of its size), and a row index of the result is
    // the vector's as for a name.
    bool Conditional(std::size_t i, std::string& error, std::size_t& errorAt) {
        if (i + 4 >= m_t.size() || !Is(m_t[i + 1], "?") || !Is(m_t[i + 3], ":")) return true;
        Shape c, a, b;
        if (!Operand(i, i + 1, c) || !Operand(i + 2, i + 3, a) || !Operand(i + 4, i + 5, b) || !(a == b)) return true;
        const bool fits = c.ScalarLike() || a.ScalarLike() ||
                          (c.matrixWord == a.matrixWord && c.rows == a.rows && c.columns == a.columns) ||
                          (c.Size() == a.Size() && (c.rows == 1 && a.rows == 1));
        // Other shapes are glslang's to judge, as before this pass.
        if (!fits && (c.Degenerate() || a.Degenerate()))
            return Refuse(i, "the condition's shape does not fit its operands'", error, errorAt);
        if (i > 0 && Is(m_t[i - 1], "(") && i + 6 < m_t.size() && Is(m_t[i + 5], ")") && Is(m_t[i + 6], "[") &&
            a.rows == 1 && a.Degenerate())
            EraseRowIndex(i + 6, a);
        return true;
    }

    // A cast of a vector to a one-column matrix of another size, which the
    // D3D9 compiler refuses (it takes a vector to a one-row matrix).
    bool Cast(std::size_t i, std::string& error, std::size_t& errorAt) const {
        Shape to, from;
        if (i == 0 || i + 2 >= m_t.size() || !Is(m_t[i - 1], "(") || !Is(m_t[i + 1], ")") || !ReadShape(m_t[i].text, to) ||
            !to.matrixWord || to.columns != 1 || to.rows < 2 || !Operand(i + 2, i + 3, from) || from.matrixWord ||
            from.Size() < 2 || from.Size() == to.Size())
            return true;
        if (i + 3 < m_t.size() && (Is(m_t[i + 3], ".") || Is(m_t[i + 3], "[") || Is(m_t[i + 3], "("))) return true;
        return Refuse(i, "cannot convert from '" + std::string(from.scalar) + std::to_string(from.Size()) + "' to '" +
                             std::string(m_t[i].text) + "'",
                      error, errorAt);
    }

    // The row (of a one-row shape) or column (of a one-column one) of a
    // matrix `m` as wide as the other operand.
    std::string RowOrColumn(std::string_view m, const Shape& matrix, const Shape& of) const {
        const int n = of.Size();
        if (of.rows == 1) {
            if (matrix.columns < n) return {};
            return std::string(m) + "[0]" + (matrix.columns > n ? "." + std::string(kParts.substr(0, std::size_t(n))) : "");
        }
        if (matrix.rows < n) return {};
        std::string text = std::string(matrix.scalar) + std::to_string(n) + "(";
        for (int r = 0; r < n; ++r) text += (r ? ", " : "") + std::string(m) + "[" + std::to_string(r) + "][0]";
        return text + ")";
    }

    // `a op m` and `m op a` of such a shape and a whole matrix, alone
    // between brackets, commas or a statement's ends: the matrix taken to
    // the shape, its first row or column.
    void Sum(std::size_t i) {
        if (i == 0 || i + 3 >= m_t.size()) return;
        const std::string_view op = m_t[i + 1].text;
        if (op != "+" && op != "-" && op != "*" && op != "/" && op != "%") return;
        const auto before = [](std::string_view w) {
            return w == "(" || w == "," || w == "=" || w == "return" || w == ";" || w == "{" || w == "?" || w == ":";
        };
        const auto after = [](std::string_view w) { return w == ")" || w == "," || w == ";" || w == "]"; };
        if (!before(m_t[i - 1].text) || !after(m_t[i + 3].text)) return;
        Shape a, b;
        if (!Operand(i, i + 1, a) || !Operand(i + 2, i + 3, b)) return;
        const bool aShape = a.Degenerate() && a.matrixWord && a.Size() > 1 && b.FullMatrix();
        const bool bShape = b.Degenerate() && b.matrixWord && b.Size() > 1 && a.FullMatrix();
        if (!aShape && !bShape) return;
        const std::size_t m = aShape ? i + 2 : i;
        const std::string text = RowOrColumn(m_t[m].text, aShape ? b : a, aShape ? a : b);
        if (!text.empty()) m_edits.push_back({m_t[m].begin, m_t[m].text.size(), text});
    }

    bool Refuse(std::size_t at, std::string text, std::string& error, std::size_t& errorAt) const {
        error = std::move(text);
        errorAt = m_t[at].begin;
        return false;
    }

    bool Call(std::size_t i, std::string& error, std::size_t& errorAt) {
        if (i + 1 >= m_t.size() || !Is(m_t[i + 1], "(") || (i > 0 && Is(m_t[i - 1], "."))) return true;
        const std::string_view name = m_t[i].text;
        if (m_declared.count(i) || m_returns.count(name)) return true; // the source's own function
        const auto args = Arguments(m_t, i + 1);
        const std::size_t close = MatchClose(m_t, i + 1);
        std::vector<Shape> shapes(args.size());
        std::vector<bool> known(args.size());
        for (std::size_t a = 0; a < args.size(); ++a) known[a] = Operand(args[a].first, args[a].second, shapes[a]);
        // Only where a call needs them: glslang then has one more candidate
        // for every call of the name.
        const auto scalars = [&](std::size_t n) {
            if (args.size() < n) return false;
            for (std::size_t a = 0; a < n; ++a)
                if (!known[a] || !shapes[a].ScalarLike()) return false;
            return true;
        };
        if ((name == "normalize" && scalars(1)) || (name == "reflect" && scalars(2)) || (name == "refract" && scalars(2)))
            m_called.insert(std::string(name));
        if (name == "refract" && args.size() == 3 && known[2] && !shapes[2].ScalarLike() && !shapes[2].matrixWord)
            m_called.insert("refract ratio");
        if (name == "dst" || name == "refract" || name == "reflect" || name == "normalize" || name == "dot" ||
            name == "cross" || name == "distance" || name == "length" || name == "faceforward") {
            for (std::size_t a = 0; a < args.size(); ++a) {
                const Shape& s = shapes[a];
                if (known[a] && ((s.matrixWord && s.Degenerate()) || (name == "dst" && s.single)))
                    return Refuse(args[a].first,
                                  "'" + std::string(name) + "' takes vectors, not the " +
                                      (s.single ? "one-component vector" : "matrix") + " '" +
                                      std::string(m_t[args[a].first].text) + "'",
                                  error, errorAt);
            }
            return true;
        }
        if (args.size() == 1 && known[0] && (name == "transpose" || name == "determinant")) {
            const Shape& s = shapes[0];
            // A `float1` is a vector, which neither takes.
            if ((!s.ScalarLike() && !s.Degenerate()) || s.single) return true;
            // The transpose of a row is the column: the same vector here.
            // A determinant is of the square at the top left.
            m_edits.push_back({m_t[i].begin, name.size(), ""});
            if (name == "determinant" && !s.ScalarLike()) m_edits.push_back({TokenEnd(m_t[close]), 0, ".x"});
            return true;
        }
        if (ComponentWiseOfTwoOrMore(name)) CutToSmallest(args, shapes, known);
        if (name == "mul" && args.size() == 2 && known[0] && known[1] && Ident(m_t[args[0].first]) &&
            Ident(m_t[args[1].first])) {
            const std::string text = Product(m_t[args[0].first].text, shapes[0], m_t[args[1].first].text, shapes[1]);
            if (!text.empty()) m_edits.push_back({m_t[i].begin, TokenEnd(m_t[close]) - m_t[i].begin, text});
        }
        return true;
    }

    static bool ComponentWiseOfTwoOrMore(std::string_view name) {
        static const std::set<std::string_view> kNames = {"atan2", "clamp", "fmod", "ldexp", "lerp",
                                                          "max",   "min",   "pow",  "smoothstep", "step"};
        return kNames.count(name) != 0;
    }

    // A component-wise intrinsic of matrices of different sizes acts on the
    // smallest in each dimension. Where such a matrix meets a full one,
    // that smallest has one row or one column; the intrinsics pass cuts
    // only matrices, and this one's have become vectors by then, so each
    // argument is cut here to the components of the smallest, in its rows'
    // order: a vector of them for both.
    void CutToSmallest(const std::vector<std::pair<std::size_t, std::size_t>>& args, const std::vector<Shape>& shapes,
                       const std::vector<bool>& known) {
        bool degenerate = false, full = false;
        int rows = 4, columns = 4;
        for (std::size_t a = 0; a < args.size(); ++a) {
            const Shape& s = shapes[a];
            if (!known[a] || s.array || (!s.matrixWord && !s.ScalarLike())) return; // a vector meets no matrix
            if (!s.matrixWord) continue;
            degenerate = degenerate || s.Degenerate();
            full = full || s.FullMatrix();
            rows = std::min(rows, s.rows);
            columns = std::min(columns, s.columns);
        }
        if (!degenerate || !full) return;
        const int size = rows * columns;
        for (std::size_t a = 0; a < args.size(); ++a) {
            const Shape& s = shapes[a];
            if (!s.matrixWord) continue;
            const std::string text(m_t[args[a].first].text);
            std::string cut;
            if (s.Degenerate()) {
                if (s.Size() == size) continue;
                cut = text + ".";
                for (int r = 0; r < rows; ++r)
                    for (int c = 0; c < columns; ++c) cut += kParts[std::size_t(r * s.columns + c)];
            } else {
                std::string parts;
                for (int r = 0; r < rows; ++r)
                    for (int c = 0; c < columns; ++c)
                        parts += (parts.empty() ? "" : ", ") + text + "[" + std::to_string(r) + "][" +
                                 std::to_string(c) + "]";
                cut = size == 1 ? parts : std::string(s.scalar) + std::to_string(size) + "(" + parts + ")";
            }
            m_edits.push_back({m_t[args[a].first].begin, text.size(), cut});
        }
    }

    // `mul` where a side has one row or one column and glslang's product
    // differs from the D3D9 compiler's: a one-component side scales the
    // other's first row or column; a column times a row (or a matrix's
    // first column times a row, a column times a matrix's first row) is
    // their outer product. "" where glslang's own product is right.
    std::string Product(std::string_view a, const Shape& sa, std::string_view b, const Shape& sb) const {
        const auto scalarLike = [](const Shape& s) { return s.Degenerate() && s.ScalarLike(); };
        const auto column = [](const Shape& s) { return s.matrixWord && s.columns == 1 && s.rows > 1; };
        const auto row = [](const Shape& s) { return s.matrixWord && s.rows == 1 && s.columns > 1; };
        const std::string scalar(sa.scalar == sb.scalar ? sa.scalar : "float");
        if (scalarLike(sa) && sb.FullMatrix()) return "(" + std::string(a) + " * " + std::string(b) + "[0])";
        if (scalarLike(sb) && sa.FullMatrix()) {
            Shape col = sb;
            col.rows = sa.rows;
            col.matrixWord = true;
            return "(" + std::string(b) + " * " + RowOrColumn(a, sa, col) + ")";
        }
        // Outer products: the left side's column, the right side's row.
        int rows = 0, columns = 0;
        std::string left, right;
        if (column(sa) && (row(sb) || sb.FullMatrix())) {
            rows = sa.rows;
            left = std::string(a) + "[";
            columns = sb.columns;
            right = row(sb) ? std::string(b) : std::string(b) + "[0]";
        } else if (sa.FullMatrix() && row(sb)) {
            rows = sa.rows;
            left = std::string(a) + "[";
            columns = sb.columns;
            right = std::string(b);
        } else {
            return {};
        }
        std::string text = scalar + std::to_string(rows) + "x" + std::to_string(columns) + "(";
        for (int r = 0; r < rows; ++r)
            text += (r ? ", " : "") + left + std::to_string(r) + (sa.FullMatrix() ? "][0]" : "]") + " * " + right;
        return text + ")";
    }

    // A one-row matrix returned where one column is declared, or the other
    // way round: the D3D9 compiler converts neither.
    bool Return(std::size_t i, std::string& error, std::size_t& errorAt) const {
        if (!Is(m_t[i], "return") || i + 2 >= m_t.size() || m_function[i] >= m_t.size()) return true;
        Shape declared;
        if (m_function[i] == 0 || !ReadShape(m_t[m_function[i] - 1].text, declared) || !declared.matrixWord ||
            declared.Size() < 2 || !declared.Degenerate())
            return true;
        Shape given;
        const std::size_t v = i + 1;
        if (ReadShape(m_t[v].text, given) && Is(m_t[v + 1], "(")) {
        } else if (!(Operand(v, v + 1, given) && Is(m_t[v + 1], ";"))) {
            return true;
        }
        // A vector goes to a one-row matrix of its size or less, to a
        // one-column one of its size only.
        const bool vectorToColumn = !given.matrixWord && given.Size() > 1 && declared.columns == 1 &&
                                    given.Size() != declared.Size();
        if (!vectorToColumn &&
            (!given.matrixWord || given.Size() < 2 || !given.Degenerate() || (given.rows == 1) == (declared.rows == 1)))
            return true;
        const auto word = [](const Shape& s) {
            return std::string(s.scalar) + (s.matrixWord ? std::to_string(s.rows) + "x" + std::to_string(s.columns)
                                                         : std::to_string(s.Size()));
        };
        return Refuse(v, "cannot convert from '" + word(given) + "' to '" + word(declared) + "'", error, errorAt);
    }

    // The scalar forms glslang finds ambiguous, and `refract` with a vector
    // ratio, as overloads of the source's calls. None the source defines.
    void Overloads() {
        if (m_called.empty()) return;
        std::string text;
        if (m_called.count("normalize")) text += "float normalize(float v) { return v / abs(v); } ";
        if (m_called.count("reflect")) text += "float reflect(float i, float n) { return i - 2.0 * n * i * n; } ";
        if (m_called.count("refract"))
            text += "float refract(float i, float n, float r) { float c = n * i; float k = 1.0 - r * r * (1.0 - c * c); "
                    "return k < 0.0 ? 0.0 : r * i - (r * c + sqrt(k)) * n; } ";
        if (m_called.count("refract ratio")) {
            for (int n = 2; n <= 4; ++n) {
                const std::string v = "float" + std::to_string(n);
                text += v + " refract(" + v + " i, " + v + " n, " + v + " r) { return refract(i, n, r.x); } ";
            }
        }
        // In front of the first declaration, on its line: the lines stay.
        for (const Token& token : m_t)
            if (Ident(token)) {
                m_edits.push_back({token.begin, 0, text});
                return;
            }
    }

    std::string_view m_source;
    std::vector<Token> m_t;
    std::vector<Place> m_place;
    std::vector<std::size_t> m_function; // per token in a body, its function's name
    struct Declared {
        std::size_t at, end; // the declaration, and the end of its scope
        Shape shape;
    };
    std::map<std::string_view, std::vector<Declared>, std::less<>> m_names; // in the order declared
    std::map<std::string_view, Shape, std::less<>> m_returns;
    std::vector<std::size_t> m_scope; // per token, the end of the scope of what it would declare
    std::set<std::size_t> m_declared; // tokens naming what is declared
    std::set<std::string, std::less<>> m_called;
    std::map<std::string_view, int, std::less<>> m_declarations; // functions' declarations by name
    std::set<std::string_view, std::less<>> m_overloaded;
    std::map<std::size_t, std::string_view> m_list; // tokens of a function's parameter list, its name
    std::vector<Edit> m_edits;
};

} // namespace

bool OneRowOrColumnShapes(std::string_view source, std::string& out, std::string& error, std::size_t& errorAt) {
    // Most sources have none of these shapes and call none of the scalar
    // forms: a look at their words, and they stay as they are.
    bool needed = false;
    for (std::size_t at = 0; at < source.size() && !needed;) {
        if (!IdentStart(source[at]) || (at > 0 && IdentChar(source[at - 1]))) {
            ++at;
            continue;
        }
        std::size_t end = at;
        while (end < source.size() && IdentChar(source[end])) ++end;
        const std::string_view w = source.substr(at, end - at);
        Shape s;
        needed = (ReadShape(w, s) && s.Degenerate()) || w == "transpose" || w == "determinant" || w == "normalize" ||
                 w == "reflect" || w == "refract";
        at = end;
    }
    if (!needed) {
        out.assign(source);
        return true;
    }
    return Pass(source).Run(out, error, errorAt);
}

} // namespace gfx::hlsl
