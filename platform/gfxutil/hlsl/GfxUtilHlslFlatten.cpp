#include "platform/gfxutil/hlsl/GfxUtilHlslFlatten.h"

#include "platform/gfxutil/hlsl/GfxUtilHlslFlattenWords.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslText.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>
#include <vector>

namespace gfx::hlsl {
namespace {

using namespace flatten;

// Past this many components a value is left as written: its spelt-out form
// would grow the text past what any program holds.
constexpr std::size_t kMaxComponents = 16384;
// What the spelt-out forms may add to the text in all, beyond the source's
// own size: every later pass reads what they add, within the compile's one
// deadline, and no program of these profiles has values of more components.
constexpr std::size_t kMaxGrowth = std::size_t(64) << 10;
constexpr std::size_t kNone = std::size_t(-1);
constexpr std::string_view kHiddenMember = "orvBase";
constexpr std::size_t kMaxFields = std::size_t(1) << 16; // struct members in all, bases' copies with them
constexpr std::size_t kMaxDims = 8;                      // more than any program has: such an array is not read

struct Field {
    std::string name;
    Shape shape;
    // As written, by tokens: its qualifiers and type, and what follows its
    // name (sizes, semantic), for a struct deriving from its own.
    std::size_t declaredFrom = 0, declaredTo = 0, restFrom = 0, restTo = 0;
};

struct StructDef {
    std::string name; // "" for one without a name
    std::vector<Field> fields;
};

struct Comp {
    std::string text;
    std::string base;
};

struct Edit {
    std::size_t begin, end;
    std::string text;
};

class Flattener {
public:
    Flattener(std::string_view source, std::string& error, std::size_t& errorAt)
        : src_(source), t_(Tokenize(source)), error_(error), errorAt_(errorAt) {
        openOf_.assign(t_.size(), kNone);
        for (std::size_t i = 0; i < t_.size(); ++i)
            if ((Is(t_[i], "(") || Is(t_[i], "[") || Is(t_[i], "{")) && t_[i].close < t_.size())
                openOf_[t_[i].close] = i;
    }

    bool Run(std::string& out);

private:
    std::string_view src_;
    std::vector<Token> t_;
    std::vector<std::size_t> openOf_;
    std::string& error_;
    std::size_t& errorAt_;
    std::vector<Edit> edits_;
    std::map<std::string, StructDef, std::less<>> structs_;
    std::map<std::string, std::string, std::less<>> structByName_;
    // The variables in scope by name, the innermost last, and the order
    // they were declared in, to leave each scope.
    std::map<std::string, std::vector<Shape>, std::less<>> vars_;
    std::vector<std::string> declared_;
    void Declare(std::string_view name, const Shape& s) {
        declared_.emplace_back(name);
        vars_[declared_.back()].push_back(s);
    }
    void LeaveTo(std::size_t mark) {
        while (declared_.size() > mark) {
            const auto v = vars_.find(declared_.back());
            if (v != vars_.end()) {
                v->second.pop_back();
                if (v->second.empty()) vars_.erase(v);
            }
            declared_.pop_back();
        }
    }
    std::vector<std::size_t> scopeMarks_;
    std::vector<bool> scopeKinds_; // per '{' open: whether it made a scope
    struct Param {
        Shape shape;
        bool out = false;   // out or inout
        bool inout = false; // inout: the argument's value goes in too
    };
    std::multimap<std::string, std::vector<Param>, std::less<>> functions_;
    std::multimap<std::string, Shape, std::less<>> returns_; // what each overload returns
    struct ConstValue {
        Shape shape;
        std::vector<double> values;
    };
    std::map<std::string, ConstValue, std::less<>> constants_;
    int depth_ = 0;
    bool bodyPending_ = false; // a function's parameters wait for its body
    std::size_t temps_ = 0;
    std::size_t fieldsTaken_ = 0;
    // The first initialiser of a declaration that is an expression: the
    // scan goes on there, for the casts and constructors in it.
    std::size_t resume_ = kNone;
    std::size_t bodyEnd_ = kNone; // the '}' of the function or block at file scope being read
    // Of that body, read once: the names it indexes or gives a matrix
    // swizzle, and whether it multiplies, transposes or takes determinants.
    std::set<std::string_view> readAsMatrix_;
    bool bodyMultiplies_ = false;
    std::size_t bodyOpen_ = 0;
    bool bodyRead_ = false; // read when a local first asks
    void ReadBody(std::size_t open) {
        bodyRead_ = true;
        readAsMatrix_.clear();
        bodyMultiplies_ = false;
        for (std::size_t k = open + 1; k < bodyEnd_ && k + 2 < t_.size() && Step(); ++k) {
            const std::string_view w = t_[k].text;
            bodyMultiplies_ = bodyMultiplies_ || w == "mul" || w == "transpose" || w == "determinant";
            if (IdentStart(w[0]) && (Is(t_[k + 1], "[") || (Is(t_[k + 1], ".") && t_[k + 2].text.starts_with("_"))))
                readAsMatrix_.insert(w);
            // Beside matrices of other sizes a component-wise intrinsic
            // cuts each to the smallest: the shape counts there.
            if (Is(t_[k - 1], "(") && (Is(t_[k + 1], ",") || Is(t_[k + 1], ")")) && k >= 2 &&
                ComponentWiseCall(t_[k - 2].text))
                for (std::size_t a = k; a < bodyEnd_ && a < t_.size() && !Is(t_[a], ")") && Step(); ++a)
                    if (IdentStart(t_[a].text[0]) && (Is(t_[a - 1], "(") || Is(t_[a - 1], ",")) &&
                        a + 1 < t_.size() && (Is(t_[a + 1], ",") || Is(t_[a + 1], ")")))
                        readAsMatrix_.insert(t_[a].text);
        }
    }

    static bool ComponentWiseCall(std::string_view w) {
        static const std::set<std::string_view> kNames = {"atan2", "clamp", "fmod", "ldexp", "lerp",
                                                          "max",   "min",   "pow",  "smoothstep", "step"};
        return kNames.count(w) != 0;
    }

    // The scalar, vector and matrix words, less those a typedef of the
    // source has made another type's name (the pass leaves what those
    // declare as written).
    std::set<std::string, std::less<>> typedefs_;
    bool Numeric(std::string_view w, Shape& s) const { return !typedefs_.count(w) && NumericWord(w, s); }

    // Every edit goes through here, counting what it adds: a source of many
    // large values cast into each other would otherwise grow the text
    // without bound.
    std::size_t grown_ = 0;
    void Add(Edit e) {
        grown_ += e.text.size();
        edits_.push_back(std::move(e));
    }

    bool Refuse(std::size_t token, std::string message) {
        error_ = std::move(message);
        errorAt_ = token < t_.size() ? t_[token].begin : src_.size();
        return false;
    }

    std::size_t Close(std::size_t open) const { return t_[open].close < t_.size() ? t_[open].close : kNone; }

    // The tokens [k, e) as one line: a space only where two would run
    // together into another token.
    std::string Join(std::size_t k, std::size_t e) const {
        std::string s;
        const auto joins = [](char a, char b) {
            const std::string_view ops = "+-&|<>=!*/%^";
            return (IdentChar(a) || a == '.') && (IdentChar(b) || b == '.')
                       ? true
                       : ops.find(a) != std::string_view::npos && ops.find(b) != std::string_view::npos;
        };
        for (std::size_t j = k; j < e; ++j) {
            if (j > k && joins(s.back(), t_[j].text.front())) s += ' ';
            s += t_[j].text;
        }
        return s;
    }

    // How deep the recursive readers have gone: a hostile source nests
    // without end, and past this a form is left as written.
    static constexpr int kMaxNesting = 256;
    mutable int nesting_ = 0;
    struct Deeper {
        int& n;
        explicit Deeper(int& count) : n(count) { ++n; }
        ~Deeper() { --n; }
        Deeper(const Deeper&) = delete;
        Deeper& operator=(const Deeper&) = delete;
        bool TooDeep() const { return n > kMaxNesting; }
    };

    // A replacement of [begin, end) of the source keeping its line breaks.
    void Replace(std::size_t begin, std::size_t end, std::string text) {
        text += std::string(
            std::size_t(std::count(src_.begin() + std::ptrdiff_t(begin), src_.begin() + std::ptrdiff_t(end), '\n')),
            '\n');
        Add({begin, end, std::move(text)});
    }

    bool Lookup(std::string_view name, Shape& s) const {
        const auto v = vars_.find(name);
        if (v == vars_.end() || v->second.empty()) return false;
        s = v->second.back();
        return true;
    }

    std::size_t Count(const Shape& s, int nesting = 0) const {
        if (s.kind == Shape::Kind::Unknown || nesting > 32) return 0;
        std::size_t n = 1;
        for (std::size_t d : s.dims) {
            if (d == 0 || d > kMaxComponents) return 0;
            n *= d;
            if (n > kMaxComponents) return 0;
        }
        std::size_t each = 0;
        if (s.kind == Shape::Kind::Numeric) {
            each = std::size_t(s.rows * s.cols);
        } else {
            const auto def = structs_.find(s.structKey);
            if (def == structs_.end()) return 0;
            for (const Field& f : def->second.fields) {
                const std::size_t c = Count(f.shape, nesting + 1);
                if (c == 0) return 0;
                each += c;
            }
        }
        n *= each;
        return n > kMaxComponents ? 0 : n;
    }

    std::string TypeWord(const Shape& s) const {
        if (s.kind == Shape::Kind::Numeric) {
            if (s.matrix) return s.base + std::to_string(s.rows) + "x" + std::to_string(s.cols);
            return s.cols > 1 ? s.base + std::to_string(s.cols) : s.base;
        }
        if (s.kind == Shape::Kind::Struct) {
            const auto def = structs_.find(s.structKey);
            if (def != structs_.end()) return def->second.name;
        }
        return {};
    }

    std::string Dims(const Shape& s) const {
        std::string d;
        for (std::size_t n : s.dims) {
            d += '[';
            d += std::to_string(n);
            d += ']';
        }
        return d;
    }

    // The components of the value `e` of shape `s`, in their order.
    bool Components(const std::string& e, const Shape& s, std::vector<Comp>& out) const {
        const Deeper deeper(nesting_);
        // A step for every few components: what is kept of them is bounded
        // by the growth of the text, what is read and dropped by these.
        if (deeper.TooDeep() || s.kind == Shape::Kind::Unknown || s.dims.size() > kMaxDims ||
            out.size() > kMaxComponents || (out.size() % 16 == 0 && !Step()))
            return false;
        if (!s.dims.empty()) {
            const Shape el = s.Element();
            for (std::size_t i = 0; i < s.dims[0]; ++i)
                if (!Components(e + "[" + std::to_string(i) + "]", el, out)) return false;
            return s.dims[0] > 0;
        }
        if (s.kind == Shape::Kind::Struct) {
            const auto def = structs_.find(s.structKey);
            if (def == structs_.end()) return false;
            for (const Field& f : def->second.fields)
                if (!Components(e + "." + f.name, f.shape, out)) return false;
            return true;
        }
        if (s.kind != Shape::Kind::Numeric) return false;
        // A matrix of one row or one column is read as the vector of its
        // components, as the later passes make it.
        if (s.matrix && s.rows > 1 && s.cols > 1) {
            for (int r = 0; r < s.rows; ++r)
                for (int c = 0; c < s.cols; ++c)
                    out.push_back({e + "[" + std::to_string(r) + "][" + std::to_string(c) + "]", s.base});
        } else if (s.rows * s.cols > 1) {
            for (int c = 0; c < s.rows * s.cols; ++c) out.push_back({e + "." + "xyzw"[c], s.base});
        } else {
            out.push_back({e, s.base});
        }
        return true;
    }

    // The value of shape `s` made of the components from `pos` on: nested
    // braces for arrays and structs, constructors for the rest.
    bool Build(const Shape& s, const std::vector<Comp>& c, std::size_t& pos, std::string& out) const {
        const Deeper deeper(nesting_);
        // What it builds is kept, and bounded by the growth of the text.
        if (deeper.TooDeep() || s.kind == Shape::Kind::Unknown || s.dims.size() > kMaxDims || PassesExpired())
            return false;
        if (!s.dims.empty() || s.kind == Shape::Kind::Struct) {
            out += "{";
            if (!s.dims.empty()) {
                const Shape el = s.Element();
                for (std::size_t i = 0; i < s.dims[0]; ++i) {
                    if (i) out += ", ";
                    if (!Build(el, c, pos, out)) return false;
                }
            } else {
                const auto def = structs_.find(s.structKey);
                if (def == structs_.end()) return false;
                for (std::size_t i = 0; i < def->second.fields.size(); ++i) {
                    if (i) out += ", ";
                    if (!Build(def->second.fields[i].shape, c, pos, out)) return false;
                }
            }
            out += "}";
            return true;
        }
        if (s.kind != Shape::Kind::Numeric) return false;
        const std::size_t n = std::size_t(s.rows * s.cols);
        if (pos + n > c.size()) return false;
        out += TypeWord(s) + "(";
        for (std::size_t i = 0; i < n; ++i) {
            if (i) out += ", ";
            out += c[pos + i].text;
        }
        out += ")";
        pos += n;
        return true;
    }

    // Each item [first, end) of the comma list [k, e).
    // Each item [first, end) of the comma list [k, e), up to `limit` and
    // one more: a list longer than its reader wants is not read whole.
    std::vector<std::pair<std::size_t, std::size_t>> Items(std::size_t k, std::size_t e,
                                                           std::size_t limit = kMaxComponents) const {
        std::vector<std::pair<std::size_t, std::size_t>> items;
        std::size_t from = k;
        for (std::size_t j = k; j < e && items.size() <= limit && Step(); ++j) {
            if (Is(t_[j], "(") || Is(t_[j], "[") || Is(t_[j], "{")) {
                const std::size_t c = Close(j);
                if (c == kNone || c >= e) return {};
                j = c;
                continue;
            }
            if (!Is(t_[j], ",")) continue;
            items.push_back({from, j});
            from = j + 1;
        }
        if (from < e && items.size() <= limit) items.push_back({from, e});
        return items;
    }

    bool Swizzle(std::string_view w, Shape& s) const {
        int count = 0;
        if (s.matrix) {
            std::size_t i = 0;
            while (i < w.size()) {
                if (w[i] != '_') return false;
                const bool zero = i + 1 < w.size() && w[i + 1] == 'm';
                const std::size_t at = i + (zero ? 2 : 1);
                if (at + 2 > w.size()) return false;
                const int r = w[at] - (zero ? '0' : '1'), c = w[at + 1] - (zero ? '0' : '1');
                if (r < 0 || r >= s.rows || c < 0 || c >= s.cols) return false;
                ++count;
                i = at + 2;
            }
        } else {
            const std::string_view xyzw = "xyzw", rgba = "rgba";
            for (char ch : w) {
                std::size_t at = xyzw.find(ch);
                if (at == std::string_view::npos) at = rgba.find(ch);
                if (at == std::string_view::npos || int(at) >= s.cols) return false;
            }
            count = int(w.size());
        }
        if (count < 1 || count > 4) return false;
        s.matrix = false;
        s.rows = 1;
        s.cols = count;
        return true;
    }

    // The shape of the expression [k, e) where the pass can tell it, and
    // its text as the operand of a postfix.
    bool TypeOf(std::size_t k, std::size_t e, Shape& s, std::string& text) const {
        const Deeper deeper(nesting_);
        if (deeper.TooDeep() || k >= e || e > t_.size() || !Step()) return false;
        const std::string_view w = t_[k].text;
        if (e - k == 1 && IsNumber(w)) {
            s = Shape{};
            s.kind = Shape::Kind::Numeric;
            s.base = IsIntegerLiteral(w) ? "int" : "float";
            text = std::string(w);
            // A literal's swizzle (`0.0f.xxxx`), one token: a vector of
            // the literal's components.
            const std::size_t dot = w.rfind('.');
            if (dot != std::string_view::npos && dot > 0 && dot + 1 < w.size() &&
                w.find_first_not_of("xyzwrgba", dot + 1) == std::string_view::npos && w.size() - dot - 1 <= 4) {
                s.base = IsIntegerLiteral(w.substr(0, dot)) ? "int" : "float";
                s.cols = int(w.size() - dot - 1);
                text = "(" + text + ")";
            }
            return true;
        }
        if (e - k == 1 && (w == "true" || w == "false")) {
            s = Shape{};
            s.kind = Shape::Kind::Numeric;
            s.base = "bool";
            text = std::string(w);
            return true;
        }
        if (e - k == 2 && (w == "-" || w == "+") && IsNumber(t_[k + 1].text)) {
            s = Shape{};
            s.kind = Shape::Kind::Numeric;
            s.base = IsIntegerLiteral(t_[k + 1].text) ? "int" : "float";
            text = "(" + Join(k, e) + ")";
            return true;
        }
        if (w == "(" && Close(k) == e - 1) {
            if (!TypeOf(k + 1, e - 1, s, text)) return false;
            text = "(" + text + ")";
            return true;
        }
        if (k + 1 < e && Is(t_[k + 1], "(") && Close(k + 1) == e - 1 && Numeric(w, s)) {
            text = "(" + Join(k, e) + ")";
            return true;
        }
        if (IdentStart(w[0]) && k + 1 < e && Is(t_[k + 1], "(") && Close(k + 1) == e - 1) {
            // A call of a function of the source whose overloads all return one type.
            const auto range = returns_.equal_range(w);
            if (range.first == range.second) return IntrinsicType(k, e, s, text);
            for (auto r = range.first; r != range.second; ++r)
                if (!(r->second == range.first->second)) return false;
            s = range.first->second;
            text = "(" + Join(k, e) + ")";
            return s.kind != Shape::Kind::Unknown;
        }
        if (!IdentStart(w[0]) || !Lookup(w, s)) return ExpressionType(k, e, s, text);
        for (std::size_t j = k + 1; j < e;) {
            if (Is(t_[j], "[")) {
                const std::size_t c = Close(j);
                if (c == kNone || c >= e) return false;
                if (!s.dims.empty()) {
                    s = s.Element();
                } else if (s.kind == Shape::Kind::Numeric && s.matrix) {
                    s.matrix = false;
                    s.rows = 1;
                } else if (s.kind == Shape::Kind::Numeric && s.cols > 1) {
                    s.cols = 1;
                } else {
                    return false;
                }
                j = c + 1;
            } else if (Is(t_[j], ".") && j + 1 < e && IdentStart(t_[j + 1].text[0])) {
                if (!s.dims.empty()) return false;
                if (s.kind == Shape::Kind::Struct) {
                    const auto def = structs_.find(s.structKey);
                    if (def == structs_.end()) return false;
                    const auto f = std::find_if(def->second.fields.begin(), def->second.fields.end(),
                                                [&](const Field& x) { return x.name == t_[j + 1].text; });
                    if (f == def->second.fields.end()) return false;
                    s = f->shape;
                } else if (s.kind != Shape::Kind::Numeric || !Swizzle(t_[j + 1].text, s)) {
                    return false;
                }
                j += 2;
            } else {
                return ExpressionType(k, e, s, text);
            }
        }
        text = Join(k, e);
        return true;
    }

    // The shape of arithmetic on two values of shapes `a` and `b`, as the
    // language converts them: a scalar goes to every component of the
    // other, vectors of two sizes are cut to the smaller, matrices combine
    // only with their own shape. False for any other pair.
    static bool Combined(const Shape& a, const Shape& b, Shape& s) {
        if (a.kind != Shape::Kind::Numeric || b.kind != Shape::Kind::Numeric || a.Aggregate() || b.Aggregate())
            return false;
        const bool scalarA = !a.matrix && a.rows * a.cols == 1, scalarB = !b.matrix && b.rows * b.cols == 1;
        if (scalarA) s = b;
        else if (scalarB) s = a;
        else if (a.matrix || b.matrix) {
            if (a.matrix != b.matrix || a.rows != b.rows || a.cols != b.cols) return false;
            s = a;
        } else {
            s = a;
            s.cols = std::min(a.cols, b.cols);
        }
        const auto floating = [](const std::string& w) { return w == "float" || w == "half" || w == "double"; };
        s.base = a.base == b.base      ? a.base
                 : floating(a.base) && floating(b.base) ? "float"
                 : floating(a.base)    ? a.base
                 : floating(b.base)    ? b.base
                                       : "int";
        return true;
    }

    // The shape of the arithmetic expression [k, e): operands the pass can
    // type joined by `+ - * / %`, a sign or a cast to a scalar, vector or
    // matrix type in front of one, swizzles or indices after a call or a
    // bracketed expression. Its text is the expression in brackets. False
    // for anything else (comparisons, assignments, conditionals).
    bool ExpressionType(std::size_t k, std::size_t e, Shape& s, std::string& text) const {
        const Deeper deeper(nesting_);
        if (deeper.TooDeep() || k >= e || !Step()) return false;
        // The last additive operator at depth 0, else the last multiplicative
        // one: the operators group from the left.
        std::size_t additive = kNone, multiplicative = kNone;
        for (std::size_t j = k; j < e; ++j) {
            const std::string_view w = t_[j].text;
            if (Is(t_[j], "(") || Is(t_[j], "[") || Is(t_[j], "{")) {
                const std::size_t c = Close(j);
                if (c == kNone || c >= e) return false;
                j = c;
                continue;
            }
            if (w.size() == 1 && std::string_view("+-*/%").find(w[0]) != std::string_view::npos) {
                if (j + 1 < e && (Is(t_[j + 1], "=") || t_[j + 1].text == w)) return false; // `+=`, `++`
                const std::string_view before = j > k ? t_[j - 1].text : std::string_view();
                const bool binary = !before.empty() && (IdentChar(before.back()) || before == ")" || before == "]");
                if (!binary) {
                    if (w == "+" || w == "-") continue; // a sign
                    return false;
                }
                (w == "+" || w == "-" ? additive : multiplicative) = j;
                continue;
            }
            if (IdentStart(w[0]) || IsNumber(w) || w == ".") continue;
            return false;
        }
        const std::size_t split = additive != kNone ? additive : multiplicative;
        std::string left, right;
        if (split != kNone) {
            Shape a, b;
            if (!TypeOf(k, split, a, left) || !TypeOf(split + 1, e, b, right) || !Combined(a, b, s)) return false;
        } else if (Is(t_[k], "-") || Is(t_[k], "+")) {
            if (!TypeOf(k + 1, e, s, right) || s.Aggregate() || s.kind != Shape::Kind::Numeric) return false;
        } else if (Is(t_[k], "(") && k + 2 < e && Is(t_[k + 2], ")") && Numeric(t_[k + 1].text, s)) {
            Shape operand;
            if (!TypeOf(k + 3, e, operand, right) || operand.Aggregate() || operand.kind != Shape::Kind::Numeric)
                return false;
        } else if (!Postfixed(k, e, s)) {
            return false;
        }
        text = "(" + Join(k, e) + ")";
        return true;
    }

    // The shape of a call or a bracketed expression with swizzles or
    // indices after it ([k, e)): `normalize(v).xy`, `(a * 2)[1]`.
    bool Postfixed(std::size_t k, std::size_t e, Shape& s) const {
        std::size_t j = k;
        if (IdentStart(t_[k].text[0]) && k + 1 < e && Is(t_[k + 1], "(")) j = k + 1;
        else if (!Is(t_[k], "(")) return false;
        const std::size_t close = Close(j);
        if (close == kNone || close + 1 >= e) return false;
        std::string ignored;
        if (!TypeOf(k, close + 1, s, ignored) || s.Aggregate() || s.kind != Shape::Kind::Numeric) return false;
        for (j = close + 1; j < e;) {
            if (Is(t_[j], "[")) {
                const std::size_t c = Close(j);
                if (c == kNone || c >= e) return false;
                if (s.matrix) {
                    s.matrix = false;
                    s.rows = 1;
                } else if (s.cols > 1) {
                    s.cols = 1;
                } else {
                    return false;
                }
                j = c + 1;
            } else if (Is(t_[j], ".") && j + 1 < e && IdentStart(t_[j + 1].text[0]) && Swizzle(t_[j + 1].text, s)) {
                j += 2;
            } else {
                return false;
            }
        }
        return true;
    }

    // The shape of a call of an intrinsic [k, e) (the name at k, its
    // arguments' brackets closing at e - 1): component-wise ones the shape
    // their arguments combine to, reductions a scalar, `cross` a float3.
    bool IntrinsicType(std::size_t k, std::size_t e, Shape& s, std::string& text) const {
        static const std::set<std::string_view> kComponentWise = {
            "abs",   "acos",  "asin", "atan",    "atan2", "ceil",    "clamp",  "cos",   "cosh",  "ddx",
            "ddy",   "degrees", "exp", "exp2",   "floor", "fmod",    "frac",   "fwidth", "lerp", "log",
            "log10", "log2",  "max",  "min",     "normalize", "pow", "radians", "rcp",  "round", "rsqrt",
            "saturate", "sin", "sinh", "smoothstep", "sqrt", "step", "tan",    "tanh",  "trunc"};
        static const std::set<std::string_view> kScalar = {"dot", "length", "distance", "determinant"};
        const std::string_view w = t_[k].text;
        const bool componentWise = kComponentWise.count(w) != 0, scalar = kScalar.count(w) != 0;
        if (!componentWise && !scalar && w != "cross") return false;
        const auto items = Items(k + 2, e - 1, 4);
        if (items.empty() || items.size() > 3) return false;
        Shape combined;
        for (std::size_t a = 0; a < items.size(); ++a) {
            Shape x;
            std::string ignored;
            if (!TypeOf(items[a].first, items[a].second, x, ignored)) return false;
            if (a == 0) {
                if (x.kind != Shape::Kind::Numeric || x.Aggregate()) return false;
                combined = x;
            } else if (!Combined(combined, x, combined)) {
                return false;
            }
        }
        if (scalar || w == "cross") {
            s = Shape{};
            s.kind = Shape::Kind::Numeric;
            s.base = "float";
            if (w == "cross") s.cols = 3;
        } else {
            s = combined;
            if (s.base != "float" && s.base != "half" && s.base != "double" && w != "abs" && w != "max" &&
                w != "min" && w != "clamp")
                s.base = "float";
        }
        text = "(" + Join(k, e) + ")";
        return true;
    }

    // The components of each item of the list in the braces [open, close],
    // nested lists read flat; false when an item cannot be typed.
    bool FlattenList(std::size_t open, std::size_t close, std::vector<Comp>& out) const {
        const Deeper deeper(nesting_);
        if (deeper.TooDeep()) return false;
        // Items stops past its limit: a longer list is not one this pass can
        // read whole, and is left as written (read in part, it would size
        // an array by its first items).
        const auto items = Items(open + 1, close);
        if (items.size() > kMaxComponents) return false;
        for (const auto& [k, e] : items) {
            if (out.size() > kMaxComponents) return false;
            if (Is(t_[k], "{")) {
                if (Close(k) != e - 1 || !FlattenList(k, e - 1, out)) return false;
                continue;
            }
            Shape s;
            std::string text;
            if (!TypeOf(k, e, s, text) || !Components(text, s, out)) return false;
        }
        return true;
    }

    // Whether the item [k, e) initialises a value of shape `s` the way
    // glslang reads an initialiser: a brace per array and struct, a scalar
    // per component of a vector or matrix. What cannot be typed passes.
    bool Matches(const Shape& s, std::size_t k, std::size_t e) const {
        const Deeper deeper(nesting_);
        if (deeper.TooDeep() || !Step()) return true;
        if (Is(t_[k], "{") && Close(k) == e - 1) {
            const auto items = Items(k + 1, e - 1);
            if (!s.dims.empty()) {
                if (s.dims[0] == 0 || items.size() != s.dims[0]) return false;
                const Shape el = s.Element();
                return std::all_of(items.begin(), items.end(),
                                   [&](const auto& it) { return Matches(el, it.first, it.second); });
            }
            if (s.kind == Shape::Kind::Struct) {
                const auto def = structs_.find(s.structKey);
                if (def == structs_.end()) return true;
                if (items.size() != def->second.fields.size()) return false;
                for (std::size_t i = 0; i < items.size(); ++i)
                    if (!Matches(def->second.fields[i].shape, items[i].first, items[i].second)) return false;
                return true;
            }
            if (s.kind != Shape::Kind::Numeric) return true;
            if (items.size() != std::size_t(s.rows * s.cols)) return false;
            for (const auto& [a, b] : items) {
                if (Is(t_[a], "{")) return false;
                Shape x;
                std::string text;
                if (TypeOf(a, b, x, text) && (x.Aggregate() || x.rows * x.cols != 1)) return false;
            }
            return true;
        }
        Shape x;
        std::string text;
        if (!TypeOf(k, e, x, text)) return true;
        if (s.Aggregate() || x.Aggregate()) return x == s;
        return Count(x) == Count(s);
    }

    // Whether the '{' at `open` opens an initialiser list: after '=' or ','
    // or in another list.
    bool ListBrace(std::size_t open) const {
        while (open > 0 && Is(t_[open - 1], "{") && Step()) --open;
        return open > 0 && (Is(t_[open - 1], "=") || Is(t_[open - 1], ","));
    }

    // Where the statement holding token `k` starts, to put a temporary in
    // front of it; kNone where none can go (a loop's header, a branch
    // without braces).
    std::size_t StatementStart(std::size_t k) const {
        if (depth_ <= 0) return kNone;
        std::size_t j = k;
        while (j > 0 && Step()) {
            const Token& p = t_[j - 1];
            // The braces of an initialiser list are the statement's own.
            if (Is(p, "{") && ListBrace(j - 1)) {
                --j;
                continue;
            }
            if (Is(p, "}") && openOf_[j - 1] != kNone && ListBrace(openOf_[j - 1])) {
                j = openOf_[j - 1];
                continue;
            }
            if (Is(p, ";") || Is(p, "{") || Is(p, "}")) break;
            if (Is(p, ")") || Is(p, "]")) {
                if (openOf_[j - 1] == kNone) return kNone;
                j = openOf_[j - 1];
                continue;
            }
            if (Is(p, "(") && j >= 2 && Is(t_[j - 2], "for")) return kNone;
            --j;
        }
        if (j >= t_.size() || (IsControlWord(t_[j].text) && !Is(t_[j], "return"))) return kNone;
        return j;
    }

    // The value [k, e) of shape `x` read once: what is not a name (a call,
    // a parenthesised expression) computed into a temporary in front of its
    // statement, whose name is returned; "" where none can go.
    std::string Named(std::size_t k, std::size_t e, const Shape& x, const std::string& text) {
        if (text.empty() || text[0] != '(') return text;
        const std::size_t start = StatementStart(k);
        Shape element = x;
        element.dims.clear();
        const std::string word = TypeWord(element);
        if (start == kNone || word.empty()) return {};
        const std::string name = "orvFlat" + std::to_string(temps_++);
        Add({t_[start].begin, t_[start].begin, word + " " + name + Dims(x) + " = " + Join(k, e) + "; "});
        return name;
    }

    // A temporary of shape `s` made of `comps` in front of the statement at
    // `start`; its name, or "" when the shape has no type word.
    std::string Temporary(std::size_t start, const Shape& s, const std::vector<Comp>& comps) {
        Shape element = s;
        element.dims.clear();
        const std::string word = TypeWord(element);
        if (word.empty()) return {};
        std::string init;
        std::size_t pos = 0;
        if (!Build(s, comps, pos, init) || pos != comps.size()) return {};
        const std::string name = "orvFlat" + std::to_string(temps_++);
        Add({t_[start].begin, t_[start].begin, word + " " + name + Dims(s) + " = " + init + "; "});
        return name;
    }

    bool SameComponents(const std::vector<Comp>& a, const std::vector<Comp>& b) const {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i)
            if (Canon(a[i].base) != Canon(b[i].base)) return false;
        return true;
    }

    // A type at `i`: a scalar, vector or matrix word, `struct Name` or a
    // struct's name; how many tokens it takes in `used`.
    bool ReadType(std::size_t i, Shape& s, std::size_t& used) const {
        if (i >= t_.size()) return false;
        if (Numeric(t_[i].text, s)) {
            used = 1;
            return true;
        }
        std::size_t at = i;
        if (Is(t_[i], "struct")) ++at;
        if (at >= t_.size()) return false;
        const auto key = structByName_.find(t_[at].text);
        if (key == structByName_.end()) return false;
        s = Shape{};
        s.kind = Shape::Kind::Struct;
        s.structKey = key->second;
        used = at + 1 - i;
        return true;
    }

    // A local matrix of one row or one column that its function reads only
    // as its components: glslang builds no such matrix from a list or a
    // vector, so it is declared as the vector of its components, which is
    // what the conversions make of it.
    bool RowOrColumnAsVector(std::size_t typeAt, std::size_t nameAt, const Shape& type) {
        if (type.kind != Shape::Kind::Numeric || !type.matrix || (type.rows != 1 && type.cols != 1) ||
            bodyEnd_ == kNone || nameAt + 1 >= t_.size())
            return false;
        const std::size_t after = Is(t_[nameAt + 1], "=") && nameAt + 2 < t_.size() && Is(t_[nameAt + 2], "{")
                                      ? (Close(nameAt + 2) == kNone ? kNone : Close(nameAt + 2) + 1)
                                      : nameAt + 1;
        if (after >= t_.size() || !Is(t_[after], ";")) return false;
        if (!bodyRead_) ReadBody(bodyOpen_);
        if (bodyMultiplies_ || readAsMatrix_.count(t_[nameAt].text)) return false;
        Shape vector = type;
        vector.matrix = false;
        vector.cols = type.rows * type.cols;
        vector.rows = 1;
        Replace(t_[typeAt].begin, TokenEnd(t_[typeAt]), TypeWord(vector));
        return true;
    }

    bool ConstInt(std::size_t k, std::size_t e, long long& v) const;
    bool ConstValueOf(std::size_t k, std::size_t e, double& v) const;
    bool ReadDims(std::size_t& j, Shape& s, std::vector<std::size_t>& implicitAt, bool rewrite);
    bool ParseStruct(std::size_t i, std::size_t& close, std::string& key);
    bool Declarators(std::size_t j, const Shape& type, bool editable, bool isConst, std::size_t& end);
    bool Initialiser(std::size_t nameAt, Shape& s, const std::vector<std::size_t>& implicitAt, std::size_t k,
                     std::size_t e, bool editable);
    bool FunctionHeader(std::size_t nameAt, const Shape& returns, std::size_t& close);
    bool Cast(std::size_t i, std::size_t& next);
    bool WriteBackConverted(std::size_t i, std::size_t close,
                            const std::vector<std::pair<std::size_t, std::size_t>>& items,
                            const std::vector<Param>& params);
    void Constructor(std::size_t i, std::size_t& next);
    void Call(std::size_t i, std::size_t& next);
    void Assignment(std::size_t i, std::size_t& next);
};

// An integer constant expression of literals, `static const` values and
// the four operations.
bool Flattener::ConstInt(std::size_t k, std::size_t e, long long& v) const {
    double d = 0;
    if (!ConstValueOf(k, e, d) || !std::isfinite(d) || std::fabs(d) > 1e9) return false;
    v = static_cast<long long>(d);
    return true;
}

bool Flattener::ConstValueOf(std::size_t k, std::size_t e, double& v) const {
    const Deeper deeper(nesting_);
    if (deeper.TooDeep() || k >= e || !Step()) return false;
    // The last operator of the lowest precedence at depth 0 splits the rest.
    for (const std::string_view ops : {std::string_view("+-"), std::string_view("*/%")}) {
        for (std::size_t j = e; j-- > k;) {
            if (Is(t_[j], ")") || Is(t_[j], "]")) {
                if (openOf_[j] == kNone || openOf_[j] < k) return false;
                j = openOf_[j];
                continue;
            }
            if (t_[j].text.size() != 1 || ops.find(t_[j].text[0]) == std::string_view::npos || j == k) continue;
            // A sign, not an operator, follows another operator.
            const std::string_view before = t_[j - 1].text;
            if (before.size() == 1 && std::string_view("+-*/%(").find(before[0]) != std::string_view::npos) continue;
            double a = 0, b = 0;
            if (!ConstValueOf(k, j, a) || !ConstValueOf(j + 1, e, b)) return false;
            switch (t_[j].text[0]) {
            case '+': v = a + b; return true;
            case '-': v = a - b; return true;
            case '*': v = a * b; return true;
            case '/':
                if (b == 0) return false;
                v = a / b;
                if (std::trunc(a) == a && std::trunc(b) == b) v = std::trunc(v);
                return true;
            default:
                if (b == 0) return false;
                v = std::fmod(a, b);
                return true;
            }
        }
    }
    if (Is(t_[k], "-") || Is(t_[k], "+")) {
        if (!ConstValueOf(k + 1, e, v)) return false;
        if (Is(t_[k], "-")) v = -v;
        return true;
    }
    if (Is(t_[k], "(") && Close(k) == e - 1) return ConstValueOf(k + 1, e - 1, v);
    if (e - k == 1 && IsNumber(t_[k].text)) {
        v = IsIntegerLiteral(t_[k].text) ? double(std::strtoll(std::string(t_[k].text).c_str(), nullptr, 0))
                                         : double(Number(t_[k].text));
        return true;
    }
    // A constant's component: the flat positions each step selects.
    const auto c = constants_.find(t_[k].text);
    if (c == constants_.end()) return false;
    Shape s = c->second.shape;
    std::vector<std::size_t> at(c->second.values.size());
    for (std::size_t i = 0; i < at.size(); ++i) at[i] = i;
    for (std::size_t j = k + 1; j < e;) {
        if (Is(t_[j], "[")) {
            const std::size_t close = Close(j);
            long long index = 0;
            if (close == kNone || close >= e || !ConstInt(j + 1, close, index) || index < 0) return false;
            std::size_t each = 0;
            if (!s.dims.empty()) {
                if (std::size_t(index) >= s.dims[0]) return false;
                s = s.Element();
                each = Count(s);
            } else if (s.kind == Shape::Kind::Numeric && s.matrix && index < s.rows) {
                s.matrix = false;
                s.rows = 1;
                each = std::size_t(s.cols);
            } else if (s.kind == Shape::Kind::Numeric && index < s.cols) {
                s.cols = 1;
                each = 1;
            } else {
                return false;
            }
            if (each == 0 || (std::size_t(index) + 1) * each > at.size()) return false;
            at = std::vector<std::size_t>(at.begin() + std::ptrdiff_t(std::size_t(index) * each),
                                          at.begin() + std::ptrdiff_t((std::size_t(index) + 1) * each));
            j = close + 1;
        } else if (Is(t_[j], ".") && j + 1 < e) {
            const std::string_view w = t_[j + 1].text;
            if (s.kind == Shape::Kind::Struct && s.dims.empty()) {
                const auto def = structs_.find(s.structKey);
                if (def == structs_.end()) return false;
                std::size_t offset = 0;
                bool found = false;
                for (const Field& f : def->second.fields) {
                    const std::size_t n = Count(f.shape);
                    if (f.name == w) {
                        if (offset + n > at.size()) return false;
                        at = std::vector<std::size_t>(at.begin() + std::ptrdiff_t(offset),
                                                      at.begin() + std::ptrdiff_t(offset + n));
                        s = f.shape;
                        found = true;
                        break;
                    }
                    offset += n;
                }
                if (!found) return false;
            } else if (s.kind == Shape::Kind::Numeric && s.dims.empty()) {
                std::vector<std::size_t> picked;
                if (s.matrix) {
                    for (std::size_t i = 0; i < w.size();) {
                        const bool zero = i + 1 < w.size() && w[i + 1] == 'm';
                        const std::size_t p = i + (zero ? 2 : 1);
                        if (w[i] != '_' || p + 2 > w.size()) return false;
                        const int r = w[p] - (zero ? '0' : '1'), col = w[p + 1] - (zero ? '0' : '1');
                        if (r < 0 || r >= s.rows || col < 0 || col >= s.cols) return false;
                        picked.push_back(at[std::size_t(r * s.cols + col)]);
                        i = p + 2;
                    }
                } else {
                    for (char ch : w) {
                        std::size_t p = std::string_view("xyzw").find(ch);
                        if (p == std::string_view::npos) p = std::string_view("rgba").find(ch);
                        if (p == std::string_view::npos || p >= at.size()) return false;
                        picked.push_back(at[p]);
                    }
                }
                if (picked.empty() || picked.size() > 4) return false;
                at = picked;
                s.matrix = false;
                s.rows = 1;
                s.cols = int(picked.size());
            } else {
                return false;
            }
            j += 2;
        } else {
            return false;
        }
    }
    if (at.size() != 1) return false;
    v = c->second.values[at[0]];
    return true;
}

// The array sizes at `j` added to `s`; a size written as a constant
// expression replaced by its number, and where a size is left out noted.
bool Flattener::ReadDims(std::size_t& j, Shape& s, std::vector<std::size_t>& implicitAt, bool rewrite) {
    while (j < t_.size() && Is(t_[j], "[") && Step()) {
        const std::size_t close = Close(j);
        if (close == kNone) return false;
        if (s.dims.size() >= kMaxDims) s.kind = Shape::Kind::Unknown;
        if (close == j + 1) {
            implicitAt.push_back(s.dims.size());
            s.dims.push_back(0);
        } else {
            long long n = 0;
            if (ConstInt(j + 1, close, n) && n > 0 && n <= 65536) {
                s.dims.push_back(std::size_t(n));
                if (rewrite && !(close == j + 2 && IsIntegerLiteral(t_[j + 1].text)))
                    Replace(t_[j + 1].begin, t_[close].begin, std::to_string(n));
            } else {
                s.kind = Shape::Kind::Unknown; // a size the pass cannot tell
                s.dims.push_back(1);
            }
        }
        j = close + 1;
    }
    return true;
}

// The struct defined at `i` ("struct" [name] [: base] { ... }), its members
// read and a base's members put in front of its own.
bool Flattener::ParseStruct(std::size_t i, std::size_t& close, std::string& key) {
    const Deeper deeper(nesting_);
    if (deeper.TooDeep()) return false;
    std::size_t j = i + 1;
    std::string name;
    if (j < t_.size() && IdentStart(t_[j].text[0])) name = std::string(t_[j++].text);
    StructDef def;
    def.name = name;
    std::size_t baseFrom = kNone;
    if (j < t_.size() && Is(t_[j], ":")) {
        baseFrom = j;
        std::size_t open = j + 1;
        while (open < t_.size() && !Is(t_[open], "{") && !Is(t_[open], ";") && Step()) ++open;
        if (open >= t_.size() || !Is(t_[open], "{")) return false;
        const auto base = open == j + 2 ? structByName_.find(t_[j + 1].text) : structByName_.end();
        if (open != j + 2) return Refuse(j, "a struct derives from one struct only");
        if (base == structByName_.end())
            return Refuse(j + 1, "'" + std::string(t_[j + 1].text) + "' is not a struct to derive from");
        const std::vector<Field>& inheritedFields = structs_[base->second].fields;
        fieldsTaken_ += inheritedFields.size();
        if (fieldsTaken_ > kMaxFields) return false;
        def.fields = inheritedFields;
        j = open;
    }
    if (j >= t_.size() || !Is(t_[j], "{")) return false;
    close = Close(j);
    if (close == kNone) return false;
    const std::size_t inherited = def.fields.size();
    for (std::size_t m = j + 1; m < close && Step();) {
        Shape type;
        std::size_t used = 0;
        std::size_t at = m;
        while (at < close && IsQualifier(t_[at].text)) ++at;
        if (at < close && Is(t_[at], "struct") && at + 1 < close &&
            (Is(t_[at + 1], "{") || (at + 2 < close && Is(t_[at + 2], "{")))) {
            std::size_t innerClose = 0;
            std::string innerKey;
            if (!ParseStruct(at, innerClose, innerKey)) return false;
            type = Shape{};
            type.kind = Shape::Kind::Struct;
            type.structKey = innerKey;
            at = innerClose + 1;
        } else if (ReadType(at, type, used)) {
            at += used;
        } else {
            // A type of no components the pass knows: its name is the word
            // before the first ';', '[', ':' or ',' outside angle brackets.
            type = Shape{};
            int angle = 0;
            std::size_t nm = at;
            for (; nm + 1 < close && !Is(t_[nm], ";") && Step(); ++nm) {
                if (Is(t_[nm], "<")) ++angle;
                if (Is(t_[nm], ">")) --angle;
                if (angle == 0 && nm > at && IdentStart(t_[nm].text[0]) &&
                    (Is(t_[nm + 1], ";") || Is(t_[nm + 1], "[") || Is(t_[nm + 1], ":") || Is(t_[nm + 1], ",")))
                    break;
            }
            at = nm;
        }
        // Its declarators up to the ';'.
        while (at < close && Step()) {
            if (!IdentStart(t_[at].text[0])) break;
            Field f;
            f.name = std::string(t_[at].text);
            f.shape = type;
            f.declaredFrom = m;
            f.declaredTo = std::min(at, close);
            std::size_t d = at + 1;
            std::vector<std::size_t> implicitAt;
            if (!ReadDims(d, f.shape, implicitAt, true)) return false;
            if (!implicitAt.empty()) return Refuse(at, "the member '" + f.name + "' needs its array size");
            while (d < close && !Is(t_[d], ",") && !Is(t_[d], ";") && Step())
                d = (Is(t_[d], "(") || Is(t_[d], "[")) && Close(d) != kNone ? Close(d) + 1 : d + 1;
            f.restFrom = at + 1;
            f.restTo = std::min(d, close);
            // A member of the derived struct hides the base's of its name,
            // which keeps its place under another.
            for (std::size_t b = 0; b < inherited; ++b)
                if (def.fields[b].name == f.name)
                    def.fields[b].name = std::string(kHiddenMember) + std::to_string(b) + "_" + f.name;
            def.fields.push_back(std::move(f));
            if (++fieldsTaken_ > kMaxFields) return false; // more than any program has: left as written
            if (d >= close || Is(t_[d], ";")) {
                at = d;
                break;
            }
            at = d + 1;
        }
        m = at + 1;
    }
    if (baseFrom != kNone) {
        std::string members;
        for (std::size_t b = 0; b < inherited; ++b)
            members += Join(def.fields[b].declaredFrom, def.fields[b].declaredTo) + " " + def.fields[b].name +
                       Join(def.fields[b].restFrom, def.fields[b].restTo) + "; ";
        Replace(t_[baseFrom].begin, TokenEnd(t_[j]), "{ " + members);
    }
    key = name + "#" + std::to_string(structs_.size());
    structs_[key] = std::move(def);
    if (!name.empty()) structByName_[name] = key;
    return true;
}

// The initialiser [k, e) of the variable named at `nameAt`, of shape `s`
// (its sizes left out at `implicitAt` filled in from it).
bool Flattener::Initialiser(std::size_t nameAt, Shape& s, const std::vector<std::size_t>& implicitAt, std::size_t k,
                            std::size_t e, bool editable) {
    const std::string name(t_[nameAt].text);
    for (std::size_t d : implicitAt)
        if (d != 0)
            return Refuse(nameAt, "only the first size of the array '" + name + "' may be left to its initialiser");
    const bool list = Is(t_[k], "{") && Close(k) == e - 1;
    if (!list) {
        if (implicitAt.empty()) return true;
        Shape x;
        std::string text;
        if (!TypeOf(k, e, x, text) || x.dims.empty()) return true;
        Shape element = s.Element();
        const std::size_t each = Count(element), all = Count(x);
        if (each == 0 || all == 0) return true;
        if (all % each != 0) {
            element.dims.clear();
            return Refuse(k, std::to_string(all) + " values do not fill whole elements of '" + TypeWord(element) + "'");
        }
        s.dims[0] = all / each;
        Replace(t_[nameAt + 1].begin + 1, t_[nameAt + 1].begin + 1, std::to_string(s.dims[0]));
        return true;
    }
    if (implicitAt.empty() && (!editable || Matches(s, k, e))) return true;
    if (!editable) return true;
    std::vector<Comp> comps;
    if (!FlattenList(k, e - 1, comps)) return true; // an item of a type the pass cannot tell
    if (!implicitAt.empty()) {
        const std::size_t each = Count(s.Element());
        if (each == 0) return true;
        Shape element = s;
        element.dims.clear();
        if (comps.empty() || comps.size() % each != 0)
            return Refuse(k, std::to_string(comps.size()) + " values do not fill whole elements of '" +
                                 TypeWord(element) + "'");
        s.dims[0] = comps.size() / each;
        Replace(t_[nameAt + 1].begin + 1, t_[nameAt + 1].begin + 1, std::to_string(s.dims[0]));
    }
    const std::size_t want = Count(s);
    if (want == 0) return true;
    if (comps.size() != want)
        return Refuse(k, "the initialiser of '" + name + "' has " + std::to_string(comps.size()) +
                             " components where its type has " + std::to_string(want));
    if (!implicitAt.empty() && Matches(s, k, e)) return true;
    std::string built;
    std::size_t pos = 0;
    if (!Build(s, comps, pos, built)) return true;
    Replace(t_[k].begin, TokenEnd(t_[e - 1]), built);
    return true;
}

// Declarators from `j` (a name) of a declaration of `type`, to its ';' (or a
// parameter list's ',' or ')'), each declared in the scope.
bool Flattener::Declarators(std::size_t j, const Shape& type, bool editable, bool isConst, std::size_t& end) {
    while (j < t_.size() && IdentStart(t_[j].text[0]) && Step()) {
        const std::size_t nameAt = j;
        Shape s = type;
        std::vector<std::size_t> implicitAt;
        ++j;
        if (!ReadDims(j, s, implicitAt, true)) return false;
        // Its semantic, register or annotation.
        while (j < t_.size() && !Is(t_[j], "=") && !Is(t_[j], ",") && !Is(t_[j], ";") && !Is(t_[j], ")") &&
               !Is(t_[j], "{") && Step())
            j = (Is(t_[j], "(") || Is(t_[j], "[")) && Close(j) != kNone ? Close(j) + 1 : j + 1;
        if (j < t_.size() && Is(t_[j], "=")) {
            std::size_t e = j + 1;
            while (e < t_.size() && !Is(t_[e], ",") && !Is(t_[e], ";") && !Is(t_[e], ")") && Step())
                e = (Is(t_[e], "(") || Is(t_[e], "[") || Is(t_[e], "{")) && Close(e) != kNone ? Close(e) + 1 : e + 1;
            if (e >= t_.size() || e == j + 1) return true;
            const bool list = Is(t_[j + 1], "{") && Close(j + 1) == e - 1;
            const std::size_t editsBefore = edits_.size();
            if (!Initialiser(nameAt, s, implicitAt, j + 1, e, editable)) return false;
            // An expression, or a list of a body left as written, is read on
            // for the casts and constructors in it.
            const bool rewritten = edits_.size() > editsBefore && edits_.back().begin == t_[j + 1].begin;
            // (a list of thousands of tokens is numbers: it is passed over).
            const bool shortList = list && e - j < 4096;
            if (resume_ == kNone && (!list || (depth_ > 0 && !rewritten && shortList))) resume_ = j + 1;
            // A constant of literals, for the array sizes that read it.
            if (isConst && s.kind != Shape::Kind::Unknown) {
                std::vector<double> values;
                bool literal = true;
                for (std::size_t v = j + 1; v < e && literal; ++v) {
                    if (Is(t_[v], "{") || Is(t_[v], "}") || Is(t_[v], ",")) continue;
                    const bool negative = Is(t_[v], "-") && v + 1 < e && IsNumber(t_[v + 1].text);
                    if (negative) ++v;
                    literal = IsNumber(t_[v].text);
                    if (literal) values.push_back((negative ? -1.0 : 1.0) * double(Number(t_[v].text)));
                }
                if (literal && values.size() == Count(s)) constants_[std::string(t_[nameAt].text)] = {s, values};
            }
            j = e;
        } else if (!implicitAt.empty()) {
            return Refuse(nameAt,
                          "the array '" + std::string(t_[nameAt].text) + "' has neither a size nor an initialiser");
        }
        Declare(t_[nameAt].text, s);
        if (j < t_.size() && Is(t_[j], ",")) {
            ++j;
            continue;
        }
        break;
    }
    end = j;
    return true;
}

// A function's parameter list at `nameAt` + 1: its parameters declared for
// the body that follows, and its signature kept for its calls.
bool Flattener::FunctionHeader(std::size_t nameAt, const Shape& returns, std::size_t& close) {
    close = Close(nameAt + 1);
    if (close == kNone) return false;
    returns_.insert({std::string(t_[nameAt].text), returns});
    scopeMarks_.push_back(declared_.size());
    bodyPending_ = true;
    std::vector<Param> params;
    for (const auto& [k, e] : Items(nameAt + 2, close)) {
        Param p;
        std::size_t at = k;
        for (; at < e && IsQualifier(t_[at].text); ++at)
            if (Is(t_[at], "out") || Is(t_[at], "inout")) {
                p.out = true;
                p.inout = p.inout || Is(t_[at], "inout");
            }
        std::size_t used = 0;
        if (!ReadType(at, p.shape, used) || at + used >= e || !IdentStart(t_[at + used].text[0])) {
            p.shape = Shape{};
            params.push_back(p);
            continue;
        }
        std::size_t d = at + used + 1;
        std::vector<std::size_t> implicitAt;
        if (!ReadDims(d, p.shape, implicitAt, true)) return false;
        if (!implicitAt.empty())
            return Refuse(at + used, "the parameter '" + std::string(t_[at + used].text) + "' needs its array size");
        Declare(t_[at + used].text, p.shape);
        params.push_back(p);
    }
    functions_.insert({std::string(t_[nameAt].text), std::move(params)});
    return true;
}

// A cast at the '(' at `i` whose type or operand is an array, struct or
// matrix: the components of the operand made into the type.
bool Flattener::Cast(std::size_t i, std::size_t& next) {
    const std::size_t close = Close(i);
    Shape dst;
    std::size_t used = 0;
    if (close == kNone || !ReadType(i + 1, dst, used)) return true;
    std::size_t j = i + 1 + used;
    std::vector<std::size_t> implicitAt;
    if (!ReadDims(j, dst, implicitAt, false) || j != close || close + 1 >= t_.size()) return true;
    // The operand: a name and its postfixes, or a parenthesised expression.
    std::size_t e = close + 1;
    // A number made a matrix: glslang folds that cast from memory it has
    // not written (a different program each compile, often NaNs), so the
    // number is written for every component.
    if (dst.matrix && !dst.Aggregate() && dst.kind == Shape::Kind::Numeric &&
        std::isdigit(static_cast<unsigned char>(t_[e].text[0]))) {
        std::string built = TypeWord(dst) + "(";
        for (int k = 0; k < dst.rows * dst.cols; ++k) built += (k ? ", " : "") + std::string(t_[e].text);
        Replace(t_[i].begin, TokenEnd(t_[e]), built + ")");
        next = e;
        return true;
    }
    if (Is(t_[e], "(")) {
        e = Close(e);
        if (e == kNone) return true;
        ++e;
    } else if (IdentStart(t_[e].text[0])) {
        ++e;
        while (e < t_.size() && Step()) {
            if (Is(t_[e], "[") && Close(e) != kNone)
                e = Close(e) + 1;
            else if (Is(t_[e], ".") && e + 1 < t_.size() && IdentStart(t_[e + 1].text[0]))
                e += 2;
            else
                break;
        }
    } else {
        return true;
    }
    Shape src;
    std::string text;
    if (!TypeOf(close + 1, e, src, text)) return true;
    if (!implicitAt.empty()) return Refuse(i, "a cast to an array needs its size");
    if (src == dst) return true;
    // Between vectors, and between matrices (their upper left), glslang
    // converts as the language does.
    if (!src.Aggregate() && !dst.Aggregate() && src.matrix == dst.matrix) return true;
    const std::size_t from = Count(src), to = Count(dst);
    if (from == 0 || to == 0) return true;
    if (from == 1 && !src.Aggregate()) return true; // a scalar fills any type
    const auto written = [&](const Shape& x) {
        Shape element = x;
        element.dims.clear();
        const std::string word = TypeWord(element);
        return (word.empty() ? std::string("struct") : word) + Dims(x);
    };
    const std::string what = "cannot convert from '" + written(src) + "' to '" + written(dst) + "'";
    if (from < to) return Refuse(i, what + ": " + std::to_string(from) + " components where it takes " + std::to_string(to));
    if (dst.matrix && dst.rows > 1 && from != to)
        return Refuse(i, what + ": a matrix takes as many components as it has");
    if (src.matrix && src.rows > 1 && src.cols > 1 && from != to)
        return Refuse(i, what + ": a matrix gives as many components as it has");
    if (src.Aggregate() || src.matrix) text = Named(close + 1, e, src, text);
    std::vector<Comp> comps;
    if (text.empty() || !Components(text, src, comps)) return true;
    comps.resize(to);
    if (!dst.Aggregate()) {
        std::string built;
        std::size_t pos = 0;
        if (!Build(dst, comps, pos, built)) return true;
        Replace(t_[i].begin, TokenEnd(t_[e - 1]), "(" + built + ")");
        next = e - 1;
        return true;
    }
    const std::size_t start = StatementStart(i);
    if (start == kNone) return true;
    const std::string temp = Temporary(start, dst, comps);
    if (temp.empty()) return true;
    Replace(t_[i].begin, TokenEnd(t_[e - 1]), temp);
    next = e - 1;
    return true;
}

// A constructor at `i` given an array, struct or matrix: their components
// given instead.
void Flattener::Constructor(std::size_t i, std::size_t& next) {
    Shape dst;
    if (!Numeric(t_[i].text, dst) || i + 1 >= t_.size() || !Is(t_[i + 1], "(")) return;
    const std::size_t close = Close(i + 1);
    if (close == kNone) return;
    std::vector<Edit> made;
    for (const auto& [k, e] : Items(i + 2, close)) {
        Shape x;
        std::string text;
        if (!TypeOf(k, e, x, text)) continue;
        const bool matrix = x.matrix && x.rows > 1 && x.cols > 1; // one row or column is a vector
        if (!(x.Aggregate() || (matrix && !dst.matrix)) || Count(x) == 0) continue;
        // glslang's child stops converting a matrix of ints into a vector:
        // the components are given one by one, from a value read once.
        text = Named(k, e, x, text);
        std::vector<Comp> comps;
        if (text.empty() || !Components(text, x, comps)) return;
        std::string joined;
        for (const Comp& c : comps) joined += (joined.empty() ? "" : ", ") + c.text;
        made.push_back({t_[k].begin, TokenEnd(t_[e - 1]), joined});
    }
    if (made.empty()) return;
    for (Edit& m : made) Replace(m.begin, m.end, m.text);
    next = close;
}

// A call of a function of the source passing an array or struct where its
// parameter is another of the same components.
void Flattener::Call(std::size_t i, std::size_t& next) {
    Shape declared;
    std::size_t used = 0;
    if (i + 1 >= t_.size() || !Is(t_[i + 1], "(") || (i > 0 && (ReadType(i - 1, declared, used) || Is(t_[i - 1], "."))))
        return;
    const std::size_t close = Close(i + 1);
    if (close == kNone) return;
    const auto items = Items(i + 2, close);
    const auto range = functions_.equal_range(t_[i].text);
    const std::vector<Param>* params = nullptr;
    for (auto f = range.first; f != range.second; ++f) {
        if (f->second.size() != items.size()) continue;
        const auto same = [](const std::vector<Param>& a, const std::vector<Param>& b) {
            for (std::size_t k = 0; k < a.size(); ++k)
                if (!(a[k].shape == b[k].shape) || a[k].out != b[k].out) return false;
            return true;
        };
        if (params && same(*params, f->second)) continue; // its declaration, then its definition
        if (params) return;                               // overloads: glslang picks
        params = &f->second;
    }
    if (!params) return;
    if (WriteBackConverted(i, close, items, *params)) next = close;
    std::vector<Edit> made;
    std::size_t start = kNone;
    for (std::size_t a = 0; a < items.size(); ++a) {
        const Param& p = (*params)[a];
        Shape x;
        std::string text;
        if (p.out || !p.shape.Aggregate() || !TypeOf(items[a].first, items[a].second, x, text) || !x.Aggregate() ||
            x == p.shape)
            continue;
        std::vector<Comp> have, want;
        if (Count(x) == 0 || Count(p.shape) == 0 || !Components(text, x, have) || !Components("w", p.shape, want) ||
            !SameComponents(have, want))
            continue;
        if (start == kNone) start = StatementStart(i);
        if (start == kNone) return;
        const std::string temp = Temporary(start, p.shape, have);
        if (temp.empty()) continue;
        made.push_back({t_[items[a].first].begin, TokenEnd(t_[items[a].second - 1]), temp});
    }
    for (Edit& m : made) Replace(m.begin, m.end, m.text);
    if (!made.empty()) next = close;
}

// Out and inout arguments of the call of `i` that are a variable of another
// scalar type than the parameter's, or a cast of a variable: the function
// writes a temporary of the parameter's type, which goes back into the
// variable after the statement, converted, as the D3D9 compiler writes it
// (glslang drops what is written through a cast, and converts an inout
// argument one way only). False when nothing was changed.
bool Flattener::WriteBackConverted(std::size_t i, std::size_t close,
                                   const std::vector<std::pair<std::size_t, std::size_t>>& items,
                                   const std::vector<Param>& params) {
    std::size_t start = kNone, end = kNone;
    bool changed = false;
    for (std::size_t a = 0; a < items.size() && a < params.size(); ++a) {
        const Param& p = params[a];
        if (!p.out || p.shape.Aggregate() || p.shape.kind != Shape::Kind::Numeric) continue;
        std::size_t k = items[a].first;
        const std::size_t e = items[a].second;
        Shape cast;
        std::size_t used = 0;
        const bool isCast = k + 1 < e && Is(t_[k], "(") && ReadType(k + 1, cast, used) && k + 1 + used < e &&
                            Is(t_[k + 1 + used], ")");
        if (isCast) k += 2 + used;
        // The variable: a name with its members and indices, nothing more.
        if (k >= e || !IdentStart(t_[k].text[0])) continue;
        std::size_t m = k + 1;
        while (m < e && Step()) {
            if (Is(t_[m], "[") && Close(m) != kNone)
                m = Close(m) + 1;
            else if (Is(t_[m], ".") && m + 1 < e && IdentStart(t_[m + 1].text[0]))
                m += 2;
            else
                break;
        }
        Shape x;
        std::string text;
        if (m != e || !TypeOf(k, e, x, text) || x.Aggregate() || x.kind != Shape::Kind::Numeric) continue;
        const bool sameDims = x.rows == p.shape.rows && x.cols == p.shape.cols && x.matrix == p.shape.matrix;
        if (!isCast && (!sameDims || Canon(x.base) == Canon(p.shape.base))) continue;
        if (start == kNone) {
            start = StatementStart(i);
            if (start == kNone || Is(t_[start], "return")) return changed;
            // The statement's ';', past the call and any brackets after it.
            for (std::size_t j = close + 1; j < t_.size() && Step(); ++j) {
                if ((Is(t_[j], "(") || Is(t_[j], "[")) && Close(j) != kNone) {
                    j = Close(j);
                    continue;
                }
                if (Is(t_[j], ";")) {
                    end = j;
                    break;
                }
                if (Is(t_[j], "{") || Is(t_[j], "}")) break;
            }
            if (end == kNone) return changed;
        }
        const std::string word = TypeWord(p.shape), back = TypeWord(x);
        if (word.empty() || back.empty()) continue;
        const std::string name = "orvFlat" + std::to_string(temps_++);
        const std::string variable = Join(k, e);
        std::string before = word;
        before.append(" ").append(name);
        if (p.inout) before.append(" = (").append(word).append(")(").append(variable).append(")");
        before.append("; ");
        std::string after = " ";
        after.append(variable).append(" = (").append(back).append(")").append(name).append(";");
        Add({t_[start].begin, t_[start].begin, std::move(before)});
        Replace(t_[items[a].first].begin, TokenEnd(t_[e - 1]), name);
        Add({TokenEnd(t_[end]), TokenEnd(t_[end]), std::move(after)});
        changed = true;
    }
    return changed;
}

// `x = y;` of an array or struct from another of the same components.
void Flattener::Assignment(std::size_t i, std::size_t& next) {
    if (i == 0 || i + 1 >= t_.size() || Is(t_[i + 1], "=")) return;
    const std::string_view before = t_[i - 1].text;
    if (before.size() == 1 && std::string_view("=!<>+-*/%&|^").find(before[0]) != std::string_view::npos) return;
    // A whole statement of two names with their members and indices: each
    // side is read over its own tokens only.
    const auto chainToken = [&](std::size_t k) {
        return IdentStart(t_[k].text[0]) || Is(t_[k], ".") || Is(t_[k], "[") || Is(t_[k], "]");
    };
    std::size_t start = i;
    while (start > 0 && chainToken(start - 1) && Step())
        start = Is(t_[start - 1], "]") && openOf_[start - 1] != kNone ? openOf_[start - 1] : start - 1;
    if (start == i || (start > 0 && !Is(t_[start - 1], ";") && !Is(t_[start - 1], "{") && !Is(t_[start - 1], "}")) ||
        StatementStart(start) != start)
        return;
    std::size_t e = i + 1;
    while (e < t_.size() && chainToken(e) && Step()) e = Is(t_[e], "[") && Close(e) != kNone ? Close(e) + 1 : e + 1;
    if (e >= t_.size() || e == i + 1 || !Is(t_[e], ";")) return;
    Shape lhs, rhs;
    std::string lhsText, rhsText;
    if (!TypeOf(start, i, lhs, lhsText) || !TypeOf(i + 1, e, rhs, rhsText) || !lhs.Aggregate() || !rhs.Aggregate() ||
        lhs == rhs)
        return;
    std::vector<Comp> have, want;
    if (Count(lhs) == 0 || Count(rhs) == 0 || !Components(rhsText, rhs, have) || !Components(lhsText, lhs, want) ||
        !SameComponents(have, want))
        return;
    const std::string temp = Temporary(start, lhs, have);
    if (temp.empty()) return;
    Replace(t_[i + 1].begin, TokenEnd(t_[e - 1]), temp);
    next = e;
}

bool Flattener::Run(std::string& out) {
    const std::size_t n = t_.size();
    // An initialiser's braces past the readers' depth are refused here, at
    // once: left as written, they would hold the front end to its deadline.
    {
        std::vector<bool> initialiser; // per open brace: whether it opens a list
        std::size_t lists = 0;
        for (std::size_t i = 0; i < n && Step(); ++i) {
            if (Is(t_[i], "{")) {
                const bool list = i > 0 && (Is(t_[i - 1], "=") ||
                                            (lists > 0 && initialiser.back() && (Is(t_[i - 1], "{") || Is(t_[i - 1], ","))));
                initialiser.push_back(list);
                if (list && ++lists >= std::size_t(kMaxNesting))
                    return Refuse(i, "an initialiser nested too deeply");
            } else if (Is(t_[i], "}") && !initialiser.empty()) {
                if (initialiser.back()) --lists;
                initialiser.pop_back();
            }
        }
    }
    for (std::size_t i = 0; i < n && Step(); ++i) {
        const std::string_view w = t_[i].text;
        if (w == "struct" && i + 1 < n &&
            (Is(t_[i + 1], "{") || (i + 2 < n && (Is(t_[i + 2], "{") || Is(t_[i + 2], ":"))))) {
            std::size_t close = 0;
            std::string key;
            if (!ParseStruct(i, close, key)) {
                if (!error_.empty()) return false;
                continue;
            }
            Shape s;
            s.kind = Shape::Kind::Struct;
            s.structKey = key;
            std::size_t end = close + 1;
            bool isConst = false, isStatic = false;
            for (std::size_t q = i; q-- > 0 && IsQualifier(t_[q].text);) {
                isConst = isConst || Is(t_[q], "const");
                isStatic = isStatic || Is(t_[q], "static");
            }
            if (close + 1 < n && IdentStart(t_[close + 1].text[0]) &&
                !Declarators(close + 1, s, depth_ > 0 || isStatic, isConst, end))
                return false;
            i = std::max(close, end == 0 ? close : end - 1);
            if (resume_ != kNone) {
                i = resume_ - 1;
                resume_ = kNone;
            }
            continue;
        }
        if (w == "typedef") {
            for (std::size_t k = i + 1; k + 1 < n && !Is(t_[k], ";") && Step(); ++k) {
                if (Is(t_[k], "[") && Is(t_[k + 1], "]"))
                    return Refuse(k, "a typedef cannot leave an array's size out");
                if (IdentStart(t_[k].text[0]) && (Is(t_[k + 1], ";") || Is(t_[k + 1], "[") || Is(t_[k + 1], ",")))
                    typedefs_.insert(std::string(t_[k].text));
            }
            continue;
        }
        if (w == "{") {
            // The members of a constant buffer are globals, their
            // initialisers defaults the layout reads.
            bool buffer = false;
            for (std::size_t k = i; depth_ == 0 && k-- > 0 && !Is(t_[k], ";") && !Is(t_[k], "}") && Step();)
                buffer = buffer || Is(t_[k], "cbuffer") || Is(t_[k], "tbuffer");
            if (buffer) {
                scopeKinds_.push_back(false);
                continue;
            }
            if (depth_ == 0) {
                bodyEnd_ = Close(i);
                bodyOpen_ = i;
                bodyRead_ = false;
            }
            const bool scope = !bodyPending_;
            bodyPending_ = false;
            if (scope) scopeMarks_.push_back(declared_.size());
            scopeKinds_.push_back(true);
            ++depth_;
            continue;
        }
        if (w == "}") {
            if (!scopeKinds_.empty() && !scopeKinds_.back()) {
                scopeKinds_.pop_back();
                continue;
            }
            if (!scopeKinds_.empty()) scopeKinds_.pop_back();
            if (!scopeMarks_.empty()) {
                LeaveTo(scopeMarks_.back());
                scopeMarks_.pop_back();
            }
            --depth_;
            continue;
        }
        if (w == ";") {
            if (bodyPending_ && !scopeMarks_.empty()) { // a prototype only
                LeaveTo(scopeMarks_.back());
                scopeMarks_.pop_back();
                bodyPending_ = false;
            }
            continue;
        }
        if (w == "void" && depth_ == 0 && i + 2 < n && IdentStart(t_[i + 1].text[0]) && Is(t_[i + 2], "(")) {
            std::size_t close = 0;
            if (!FunctionHeader(i + 1, Shape{}, close)) {
                if (!error_.empty()) return false;
                continue;
            }
            i = close;
            continue;
        }
        // A declaration: qualifiers, a type, a name.
        const bool startsStatement = i == 0 || Is(t_[i - 1], ";") || Is(t_[i - 1], "{") || Is(t_[i - 1], "}") ||
                                     Is(t_[i - 1], "(") || Is(t_[i - 1], ",") || IsQualifier(t_[i - 1].text);
        Shape type;
        std::size_t used = 0;
        if (startsStatement && !IsQualifier(w) && ReadType(i, type, used) && i + used < n &&
            IdentStart(t_[i + used].text[0]) && !IsQualifier(t_[i + used].text)) {
            const std::size_t nameAt = i + used;
            if (nameAt + 1 < n && Is(t_[nameAt + 1], "(")) {
                std::size_t close = 0;
                if (depth_ == 0 && !FunctionHeader(nameAt, type, close)) {
                    if (!error_.empty()) return false;
                    continue;
                }
                if (depth_ == 0) i = close;
                continue;
            }
            bool isStatic = false, isConst = false, isParameter = false;
            std::size_t q = i;
            while (q > 0 && IsQualifier(t_[q - 1].text)) {
                --q;
                isStatic = isStatic || Is(t_[q], "static");
                isConst = isConst || Is(t_[q], "const");
            }
            isParameter = q > 0 && (Is(t_[q - 1], "(") || Is(t_[q - 1], ","));
            if (isParameter && depth_ == 0) continue;
            if (depth_ > 0 && RowOrColumnAsVector(i, nameAt, type)) {
                type.matrix = false;
                type.cols *= type.rows;
                type.rows = 1;
            }
            std::size_t end = nameAt;
            if (!Declarators(nameAt, type, depth_ > 0 || isStatic, isConst, end)) return false;
            i = end > i ? end - 1 : i;
            if (resume_ != kNone) {
                i = resume_ - 1;
                resume_ = kNone;
            } else if (i + 1 < n && Is(t_[i + 1], ";")) {
                ++i;
            }
            continue;
        }
        std::size_t next = i;
        if (w == "(") {
            if (!Cast(i, next)) return false;
        } else if (depth_ > 0 && Numeric(w, type)) {
            Constructor(i, next);
        } else if (depth_ > 0 && IdentStart(w[0]) && functions_.count(w)) {
            Call(i, next);
        } else if (depth_ > 0 && w == "=") {
            Assignment(i, next);
        }
        if (next > i) {
            // What was rewritten is passed over, its brackets with it.
            for (std::size_t k = i + 1; k <= next && k < n; ++k) {
                if (Is(t_[k], "{")) ++depth_;
                if (Is(t_[k], "}")) --depth_;
            }
            i = next;
        }
    }
    if (PassesExpired()) return Refuse(t_.size(), kPassesTooLong);
    if (grown_ > kMaxGrowth + src_.size())
        return Refuse(0, "the source's lists and casts spelt out component by component pass " +
                             std::to_string(kMaxGrowth + src_.size()) + " bytes");
    if (edits_.empty()) {
        out.assign(src_);
        return true;
    }
    // At one place what is put in front goes before what is replaced there.
    std::stable_sort(edits_.begin(), edits_.end(), [](const Edit& a, const Edit& b) {
        return a.begin != b.begin ? a.begin < b.begin : (a.begin == a.end) > (b.begin == b.end);
    });
    out.clear();
    out.reserve(src_.size() + 256);
    std::size_t from = 0;
    for (const Edit& e : edits_) {
        if (e.begin < from) continue; // inside what an earlier one replaced
        out.append(src_.substr(from, e.begin - from));
        out += e.text;
        from = e.end;
    }
    out.append(src_.substr(from));
    return true;
}

} // namespace

std::string_view DeclaredMemberName(std::string_view name) {
    if (!name.starts_with(kHiddenMember)) return name;
    std::size_t at = kHiddenMember.size();
    while (at < name.size() && std::isdigit(static_cast<unsigned char>(name[at]))) ++at;
    return at > kHiddenMember.size() && at + 1 < name.size() && name[at] == '_' ? name.substr(at + 1) : name;
}

bool FlattenComponents(std::string_view source, std::string& out, std::string& error, std::size_t& errorAt) {
    error.clear();
    errorAt = 0;
    if (!MayHoldComponentForms(source)) {
        out.assign(source);
        return true;
    }
    Flattener f(source, error, errorAt);
    if (f.Run(out)) return true;
    if (error.empty()) {
        out.assign(source);
        return true;
    }
    return false;
}

} // namespace gfx::hlsl
