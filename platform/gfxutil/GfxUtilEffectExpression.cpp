// A recursive-descent evaluator over the expression's tokens. Values are
// lists of components of one kind; a scalar meets a vector component by
// component, and two vectors of different sizes meet at the smaller, as the
// compiler's implicit truncation has it. Integers are held as doubles, each
// result of integer arithmetic wrapped to 32 bits as the machine's integers
// wrap, so every such value is exact.

#include "platform/gfxutil/GfxUtilEffectExpression.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string>

namespace gfx::effect {
namespace {

// Nesting of brackets, unary operators and branches the evaluator follows;
// each level is a bounded number of frames.
constexpr int kMaxDepth = 64;
constexpr std::size_t kMaxComponents = 65536;

using Kind = ExpressionKind;
using Value = ExpressionValue;

bool Integral(Kind k) { return k != Kind::Float; }

// The kind two operands meet in: a float makes a float, an unsigned an
// unsigned, and a boolean counts as an int.
Kind Common(Kind a, Kind b) {
    if (a == Kind::Float || b == Kind::Float) return Kind::Float;
    if (a == Kind::Uint || b == Kind::Uint) return Kind::Uint;
    return Kind::Int;
}

// `x` as an integer of `kind`: truncated, then wrapped at 32 bits.
double Wrap(double x, Kind kind) {
    if (!std::isfinite(x)) return 0;
    x = std::trunc(x);
    // Past what a long long holds the low bits are gone anyway.
    if (x >= 9.2e18 || x <= -9.2e18) return 0;
    const auto bits = static_cast<std::uint32_t>(static_cast<unsigned long long>(static_cast<long long>(x)));
    return kind == Kind::Uint ? double(bits) : double(static_cast<std::int32_t>(bits));
}

std::int64_t Whole(double x) { return static_cast<std::int64_t>(x); }

// `'word' after`, built by appending: gcc's -Wrestrict misreads the
// temporaries of `"'" + std::string(word) + ...` once inlined.
std::string Quoted(std::string_view word, std::string_view after) {
    std::string out;
    out.reserve(word.size() + after.size() + 2);
    out.append(1, '\'').append(word).append(1, '\'').append(after);
    return out;
}

// A numeric type word: its components (rows * columns) and its kind; false
// for any other word.
bool TypeWord(std::string_view w, std::size_t& components, Kind& kind) {
    static constexpr std::string_view bases[] = {"float", "half", "double", "int", "uint", "bool", "dword"};
    static constexpr Kind kinds[] = {Kind::Float, Kind::Float, Kind::Float, Kind::Int,
                                     Kind::Uint,  Kind::Bool,  Kind::Uint};
    for (int b = 0; b < 7; ++b) {
        if (!w.starts_with(bases[b])) continue;
        const std::string_view rest = w.substr(bases[b].size());
        kind = kinds[b];
        if (rest.empty()) {
            components = 1;
            return true;
        }
        if (b == 6) return false;
        if (rest.size() == 1 && rest[0] >= '1' && rest[0] <= '4') {
            components = std::size_t(rest[0] - '0');
            return true;
        }
        if (rest.size() == 3 && rest[0] >= '1' && rest[0] <= '4' && rest[1] == 'x' && rest[2] >= '1' &&
            rest[2] <= '4') {
            components = std::size_t(rest[0] - '0') * std::size_t(rest[2] - '0');
            return true;
        }
        return false;
    }
    return false;
}

void Convert(Value& v, Kind kind) {
    v.kind = kind;
    for (double& d : v.components) {
        if (kind == Kind::Int || kind == Kind::Uint) d = Wrap(d, kind);
        else if (kind == Kind::Bool) d = d != 0.0 ? 1.0 : 0.0;
    }
}

class Evaluator {
public:
    Evaluator(std::span<const ExpressionToken> t, const ExpressionLookup& lookup) : m_t(t), m_lookup(lookup) {}

    bool Run(Value& out) {
        Value v;
        if (!Comma(v, 0)) return false;
        if (m_i != m_t.size()) return Fail(Quoted(m_t[m_i].text, " unexpected"));
        out = std::move(v);
        return true;
    }

    const ExpressionFailure& Failure() const { return m_failure; }

private:
    bool AtEnd() const { return m_i >= m_t.size(); }
    bool Is(std::string_view punct, std::size_t ahead = 0) const {
        return m_i + ahead < m_t.size() && m_t[m_i + ahead].kind == ExpressionToken::Kind::Punct &&
               m_t[m_i + ahead].text == punct;
    }
    bool Accept(std::string_view punct) {
        if (!Is(punct)) return false;
        ++m_i;
        return true;
    }
    // False, the first reason kept with the token it stopped at.
    bool Fail(const std::string& why) {
        if (m_failure.why.empty()) {
            m_failure.why = why;
            m_failure.token = std::min(m_i, m_t.empty() ? std::size_t(0) : m_t.size() - 1);
        }
        return false;
    }
    bool Refuse(const std::string& why) {
        if (m_failure.why.empty()) m_failure.refused = true;
        return Fail(why);
    }
    bool Deeper(int depth) { return depth <= kMaxDepth || Refuse("expression nested too deeply"); }

    // Both sides at one size: a scalar spread, two vectors at the smaller.
    static bool Match(Value& a, Value& b) {
        auto& x = a.components;
        auto& y = b.components;
        if (x.empty() || y.empty()) return false;
        if (x.size() == 1) x.assign(y.size(), x[0]);
        else if (y.size() == 1) y.assign(x.size(), y[0]);
        const std::size_t n = std::min(x.size(), y.size());
        x.resize(n);
        y.resize(n);
        return true;
    }

    bool Comma(Value& v, int depth) {
        if (!Conditional(v, depth)) return false;
        // `(a, b)` is b: the comma operator, as `float2 f = (1, 1);` means.
        while (Accept(","))
            if (!Conditional(v, depth)) return false;
        return true;
    }

    bool Conditional(Value& v, int depth) {
        if (!Deeper(depth) || !Binary(v, 0, depth)) return false;
        if (!Accept("?")) return true;
        Value a, b;
        if (!Conditional(a, depth + 1)) return false;
        if (!Accept(":")) return Fail("':' expected");
        if (!Conditional(b, depth + 1)) return false;
        if (!Match(a, b)) return Fail("the branches of '?:' do not meet");
        const Kind kind = a.kind == b.kind ? a.kind : Common(a.kind, b.kind);
        Convert(a, kind);
        Convert(b, kind);
        Value cond = v;
        if (cond.components.size() == 1) cond.components.assign(a.components.size(), cond.components[0]);
        if (cond.components.size() < a.components.size()) return Fail("the condition of '?:' is too short");
        for (std::size_t k = 0; k < a.components.size(); ++k)
            a.components[k] = cond.components[k] != 0.0 ? a.components[k] : b.components[k];
        v = std::move(a);
        return true;
    }

    // Binary operators by precedence level, lowest first, as C has them.
    static int Level(std::string_view op) {
        if (op == "||") return 0;
        if (op == "&&") return 1;
        if (op == "|") return 2;
        if (op == "^") return 3;
        if (op == "&") return 4;
        if (op == "==" || op == "!=") return 5;
        if (op == "<" || op == ">" || op == "<=" || op == ">=") return 6;
        if (op == "<<" || op == ">>") return 7;
        if (op == "+" || op == "-") return 8;
        if (op == "*" || op == "/" || op == "%") return 9;
        return -1;
    }

    // By precedence climbing: a bracket costs a few frames, not one per
    // level, and an operand's frames nest only as the levels rise.
    bool Binary(Value& v, int minLevel, int depth) {
        if (!Unary(v, depth)) return false;
        while (!AtEnd() && m_t[m_i].kind == ExpressionToken::Kind::Punct) {
            const int level = Level(m_t[m_i].text);
            if (level < minLevel) return true; // a lower level's, or no binary operator
            const std::string_view op = m_t[m_i++].text;
            Value b;
            if (!Binary(b, level + 1, depth)) return false;
            if (!Match(v, b)) return Fail(Quoted(op, " has operands that do not meet"));
            if (!Apply(op, v, b)) return false;
        }
        return true;
    }

    // `v op b`, the two of one size.
    bool Apply(std::string_view op, Value& v, const Value& b) {
        const bool bitwise = op == "|" || op == "^" || op == "&" || op == "<<" || op == ">>";
        if (bitwise && (!Integral(v.kind) || !Integral(b.kind)))
            return Refuse(Quoted(op, " takes integer operands"));
        const bool logical = op == "||" || op == "&&";
        const bool compare = op == "==" || op == "!=" || op == "<" || op == ">" || op == "<=" || op == ">=";
        // A shift is of the left operand's kind; the others meet in one.
        const Kind kind = op == "<<" || op == ">>" ? (v.kind == Kind::Uint ? Kind::Uint : Kind::Int)
                                                   : Common(v.kind, b.kind);
        for (std::size_t k = 0; k < v.components.size(); ++k) {
            double x = v.components[k], y = b.components[k];
            if (compare && kind == Kind::Uint) {
                x = Wrap(x, kind);
                y = Wrap(y, kind);
            }
            double r = 0;
            if (op == "||") r = (x != 0 || y != 0);
            else if (op == "&&") r = (x != 0 && y != 0);
            else if (op == "==") r = x == y;
            else if (op == "!=") r = x != y;
            else if (op == "<") r = x < y;
            else if (op == ">") r = x > y;
            else if (op == "<=") r = x <= y;
            else if (op == ">=") r = x >= y;
            else if ((op == "+" || op == "-" || op == "*") && Integral(kind)) {
                // In 32 bits, where a product of two such values wraps: a
                // double would lose its low bits first.
                const auto ux = std::uint32_t(Whole(Wrap(x, Kind::Uint))), uy = std::uint32_t(Whole(Wrap(y, Kind::Uint)));
                r = double(std::uint32_t(op == "+" ? ux + uy : op == "-" ? ux - uy : ux * uy));
            } else if (op == "+") r = x + y;
            else if (op == "-") r = x - y;
            else if (op == "*") r = x * y;
            else if (op == "/" || op == "%") {
                if (Integral(kind) && y == 0) return Refuse("division by zero");
                if (!Integral(kind)) r = op == "/" ? x / y : std::fmod(x, y);
                else if (kind == Kind::Uint) {
                    const auto ux = std::uint64_t(Wrap(x, kind)), uy = std::uint64_t(Wrap(y, kind));
                    r = double(op == "/" ? ux / uy : ux % uy);
                } else {
                    r = double(op == "/" ? Whole(x) / Whole(y) : Whole(x) % Whole(y));
                }
            } else if (op == "<<" || op == ">>") {
                // The count is taken modulo the width, as the hardware takes it.
                const int n = int(Whole(Wrap(y, Kind::Uint)) & 31);
                if (op == "<<") r = double(std::uint32_t(std::uint32_t(Whole(Wrap(x, Kind::Uint))) << n));
                else if (kind == Kind::Uint) r = double(std::uint32_t(Whole(Wrap(x, Kind::Uint))) >> n);
                else r = double(std::int32_t(Whole(Wrap(x, Kind::Int))) >> n);
            } else {
                const auto ux = std::uint32_t(Whole(Wrap(x, Kind::Uint))), uy = std::uint32_t(Whole(Wrap(y, Kind::Uint)));
                r = double(op == "|" ? (ux | uy) : op == "^" ? (ux ^ uy) : (ux & uy));
            }
            v.components[k] = logical || compare || !Integral(kind) ? r : Wrap(r, kind);
        }
        v.kind = logical || compare ? Kind::Bool : kind;
        return true;
    }

    bool Unary(Value& v, int depth) {
        if (!Deeper(depth)) return false;
        if (Accept("-")) {
            if (!Unary(v, depth + 1)) return false;
            if (v.kind == Kind::Bool) v.kind = Kind::Int;
            for (double& d : v.components) d = Integral(v.kind) ? Wrap(-d, v.kind) : -d;
            return true;
        }
        if (Accept("+")) {
            if (!Unary(v, depth + 1)) return false;
            if (v.kind == Kind::Bool) v.kind = Kind::Int;
            return true;
        }
        if (Accept("!")) {
            if (!Unary(v, depth + 1)) return false;
            for (double& d : v.components) d = d == 0.0 ? 1.0 : 0.0;
            v.kind = Kind::Bool;
            return true;
        }
        if (Accept("~")) {
            if (!Unary(v, depth + 1)) return false;
            if (!Integral(v.kind)) return Refuse("'~' takes an integer operand");
            if (v.kind == Kind::Bool) v.kind = Kind::Int;
            for (double& d : v.components) d = Wrap(double(~std::uint32_t(Whole(Wrap(d, Kind::Uint)))), v.kind);
            return true;
        }
        // A cast: `(float3)x`.
        std::size_t components = 0;
        Kind kind = Kind::Float;
        if (Is("(") && m_i + 2 < m_t.size() && m_t[m_i + 1].kind == ExpressionToken::Kind::Word &&
            TypeWord(m_t[m_i + 1].text, components, kind) && Is(")", 2)) {
            m_i += 3;
            if (!Unary(v, depth + 1)) return false;
            if (v.components.size() == 1) v.components.assign(components, v.components[0]);
            if (v.components.size() < components) return Fail("a cast to more components than the value has");
            v.components.resize(components);
            Convert(v, kind);
            return true;
        }
        return Postfix(v, depth);
    }

    bool Postfix(Value& v, int depth) {
        if (!Primary(v, depth)) return false;
        for (;;) {
            if (Accept(".")) {
                if (AtEnd() || m_t[m_i].kind != ExpressionToken::Kind::Word) return Fail("swizzle expected");
                const std::string_view s = m_t[m_i++].text;
                if (s.empty() || s.size() > 4 || v.components.size() > 4) return Fail("bad swizzle");
                std::vector<double> picked;
                const bool rgba = std::string_view("rgba").find(s[0]) != std::string_view::npos;
                for (char ch : s) {
                    const std::size_t k = std::string_view(rgba ? "rgba" : "xyzw").find(ch);
                    if (k == std::string_view::npos || k >= v.components.size()) return Fail("bad swizzle");
                    picked.push_back(v.components[k]);
                }
                v.components = std::move(picked);
            } else if (Accept("[")) {
                Value index;
                if (!Comma(index, depth + 1)) return false;
                if (!Accept("]")) return Fail("']' expected");
                if (index.components.size() != 1 || v.components.size() > 4) return Fail("bad index");
                const double k = index.components[0];
                if (k < 0 || k >= double(v.components.size())) return Fail("index out of range");
                v.components = {v.components[std::size_t(k)]};
            } else {
                return true;
            }
        }
    }

    // Arguments of a call or constructor, each a value.
    bool Arguments(std::vector<Value>& args, int depth) {
        if (!Accept("(")) return Fail("'(' expected");
        if (Accept(")")) return true;
        for (;;) {
            Value a;
            if (!Conditional(a, depth + 1)) return false;
            args.push_back(std::move(a));
            if (Accept(")")) return true;
            if (!Accept(",")) return Fail("',' or ')' expected");
        }
    }

    bool Primary(Value& v, int depth) {
        if (!Deeper(depth)) return false;
        if (AtEnd()) return Fail("value expected");
        const ExpressionToken& t = m_t[m_i];
        if (Accept("(")) {
            if (!Comma(v, depth + 1)) return false;
            return Accept(")") || Fail("')' expected");
        }
        if (t.kind == ExpressionToken::Kind::Number) {
            if (!Number(t.text, v)) return Refuse("bad number " + Quoted(t.text, ""));
            ++m_i;
            return true;
        }
        if (t.kind != ExpressionToken::Kind::Word) return Fail("value expected before '" + std::string(t.text) + "'");
        ++m_i;
        if (t.text == "true" || t.text == "false") {
            v.components = {t.text == "true" ? 1.0 : 0.0};
            v.kind = Kind::Bool;
            return true;
        }
        std::size_t components = 0;
        Kind kind = Kind::Float;
        if (TypeWord(t.text, components, kind)) {
            std::vector<Value> args;
            if (!Arguments(args, depth)) return false;
            v.components.clear();
            for (const Value& a : args) v.components.insert(v.components.end(), a.components.begin(), a.components.end());
            if (v.components.size() == 1) v.components.assign(components, v.components[0]);
            if (v.components.size() != components)
                return Fail(Quoted(t.text, " takes ").append(std::to_string(components)).append(" components"));
            Convert(v, kind);
            return true;
        }
        if (Is("(")) {
            std::vector<Value> args;
            if (!Arguments(args, depth)) return false;
            return Call(t.text, args, v) || Fail(Quoted(t.text, " does not fold to a constant"));
        }
        v = Value{};
        if (!m_lookup(t.text, v) || v.components.empty() || v.components.size() > kMaxComponents) {
            --m_i;
            return Fail(Quoted(t.text, " is no constant"));
        }
        return true;
    }

    // A literal as the language reads it: an integer in decimal, in octal
    // after a leading 0 or in hex after 0x, maybe with u (unsigned) and l
    // suffixes; a float with a point or an exponent, maybe with f, h or l.
    // False for anything else (a stray letter, an octal 8, an integer past
    // 32 bits).
    static bool Number(std::string_view s, Value& v) {
        const bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
        const std::size_t end = s.find_last_not_of(hex ? "uUlL" : "uUlLfFhH") + 1;
        if (end == 0 || end > s.size()) return false;
        const std::string_view suffix = s.substr(end);
        std::string digits(s.substr(0, end));
        // A whole number with a float's suffix (`1f`, `2h`) is a float.
        const bool isFloat = !hex && (digits.find_first_of(".eE") != std::string::npos ||
                                      suffix.find_first_of("fFhH") != std::string_view::npos);
        if (!isFloat) {
            const bool octal = !hex && digits.size() > 1 && digits[0] == '0';
            const std::size_t from = hex ? 2 : 0;
            if (digits.size() <= from) return false;
            for (std::size_t k = from; k < digits.size(); ++k) {
                const unsigned char c = static_cast<unsigned char>(digits[k]);
                if (hex ? !std::isxdigit(c) : (c < '0' || c > (octal ? '7' : '9'))) return false;
            }
            errno = 0;
            const unsigned long long n = std::strtoull(digits.c_str() + from, nullptr, hex ? 16 : octal ? 8 : 10);
            if (errno == ERANGE || n > 0xFFFFFFFFull) return false;
            v.kind = suffix.find_first_of("uU") != std::string_view::npos ? Kind::Uint : Kind::Int;
            v.components = {Wrap(double(n), v.kind)};
            return true;
        }
        // A float's suffix is one letter (`lf` is not read).
        if (suffix.size() > 1 || suffix.find_first_of("uU") != std::string_view::npos) return false;
        char* stop = nullptr;
        const double d = std::strtod(digits.c_str(), &stop);
        if (stop != digits.c_str() + digits.size()) return false;
        v.kind = Kind::Float;
        v.components = {d};
        return true;
    }

    // The intrinsics that are pure functions of their arguments.
    static bool Call(std::string_view name, std::vector<Value>& a, Value& v) {
        using Unary = double (*)(double);
        static const std::pair<std::string_view, Unary> unary[] = {
            {"abs", [](double x) { return std::fabs(x); }},
            {"sqrt", [](double x) { return std::sqrt(x); }},
            {"rsqrt", [](double x) { return 1.0 / std::sqrt(x); }},
            {"rcp", [](double x) { return 1.0 / x; }},
            {"exp", [](double x) { return std::exp(x); }},
            {"exp2", [](double x) { return std::exp2(x); }},
            {"log", [](double x) { return std::log(x); }},
            {"log2", [](double x) { return std::log2(x); }},
            {"log10", [](double x) { return std::log10(x); }},
            {"sin", [](double x) { return std::sin(x); }},
            {"cos", [](double x) { return std::cos(x); }},
            {"tan", [](double x) { return std::tan(x); }},
            {"asin", [](double x) { return std::asin(x); }},
            {"acos", [](double x) { return std::acos(x); }},
            {"atan", [](double x) { return std::atan(x); }},
            {"sinh", [](double x) { return std::sinh(x); }},
            {"cosh", [](double x) { return std::cosh(x); }},
            {"tanh", [](double x) { return std::tanh(x); }},
            {"floor", [](double x) { return std::floor(x); }},
            {"ceil", [](double x) { return std::ceil(x); }},
            {"round", [](double x) { return std::round(x); }},
            {"trunc", [](double x) { return std::trunc(x); }},
            {"frac", [](double x) { return x - std::floor(x); }},
            {"saturate", [](double x) { return std::clamp(x, 0.0, 1.0); }},
            {"sign", [](double x) { return double((x > 0) - (x < 0)); }},
            {"radians", [](double x) { return x * 0.017453292519943295; }},
            {"degrees", [](double x) { return x * 57.29577951308232; }},
        };
        for (const auto& [word, f] : unary) {
            if (name != word) continue;
            if (a.size() != 1) return false;
            v = std::move(a[0]);
            for (double& d : v.components) d = f(d);
            if (name != "abs" && name != "sign") v.kind = Kind::Float;
            else if (v.kind == Kind::Bool) v.kind = Kind::Int;
            return true;
        }
        using Binary = double (*)(double, double);
        static const std::pair<std::string_view, Binary> binary[] = {
            {"pow", [](double x, double y) { return std::pow(x, y); }},
            {"min", [](double x, double y) { return std::min(x, y); }},
            {"max", [](double x, double y) { return std::max(x, y); }},
            {"fmod", [](double x, double y) { return std::fmod(x, y); }},
            {"atan2", [](double x, double y) { return std::atan2(x, y); }},
            {"step", [](double e, double x) { return x >= e ? 1.0 : 0.0; }},
        };
        for (const auto& [word, f] : binary) {
            if (name != word) continue;
            if (a.size() != 2 || !Match(a[0], a[1])) return false;
            const Kind kind = name == "min" || name == "max" ? Common(a[0].kind, a[1].kind) : Kind::Float;
            v = std::move(a[0]);
            for (std::size_t k = 0; k < v.components.size(); ++k) v.components[k] = f(v.components[k], a[1].components[k]);
            v.kind = kind;
            return true;
        }
        if (name == "lerp" || name == "clamp" || name == "smoothstep") {
            if (a.size() != 3 || !Match(a[0], a[1]) || !Match(a[1], a[2]) || !Match(a[0], a[2])) return false;
            v.components.resize(a[0].components.size());
            for (std::size_t k = 0; k < v.components.size(); ++k) {
                const double x = a[0].components[k], y = a[1].components[k], s = a[2].components[k];
                if (name == "lerp") v.components[k] = x + (y - x) * s;
                else if (name == "clamp") v.components[k] = std::min(std::max(x, y), s);
                else {
                    const double t = std::clamp((s - x) / (y - x), 0.0, 1.0);
                    v.components[k] = t * t * (3 - 2 * t);
                }
            }
            v.kind = Kind::Float;
            return true;
        }
        v.kind = Kind::Float;
        if (name == "dot" || name == "distance") {
            if (a.size() != 2 || a[0].components.size() > 4 || a[1].components.size() > 4 || !Match(a[0], a[1])) return false;
            double s = 0;
            for (std::size_t k = 0; k < a[0].components.size(); ++k) {
                const double d = name == "dot" ? a[0].components[k] * a[1].components[k] : (a[0].components[k] - a[1].components[k]) * (a[0].components[k] - a[1].components[k]);
                s += d;
            }
            v.components = {name == "dot" ? s : std::sqrt(s)};
            return true;
        }
        if (name == "length" || name == "normalize") {
            if (a.size() != 1 || a[0].components.size() > 4) return false;
            double s = 0;
            for (double d : a[0].components) s += d * d;
            s = std::sqrt(s);
            if (name == "length") {
                v.components = {s};
                return true;
            }
            v.components = a[0].components;
            for (double& d : v.components) d /= s;
            return true;
        }
        if (name == "cross") {
            if (a.size() != 2 || a[0].components.size() != 3 || a[1].components.size() != 3) return false;
            const std::vector<double>& x = a[0].components;
            const std::vector<double>& y = a[1].components;
            v.components = {x[1] * y[2] - x[2] * y[1], x[2] * y[0] - x[0] * y[2], x[0] * y[1] - x[1] * y[0]};
            return true;
        }
        return false;
    }

    std::span<const ExpressionToken> m_t;
    const ExpressionLookup& m_lookup;
    std::size_t m_i = 0;
    ExpressionFailure m_failure;
};

} // namespace

std::string_view JoinOperator(std::string_view a, std::string_view b) {
    static constexpr std::string_view kTwo[] = {"<<", ">>", "<=", ">=", "==", "!=", "&&", "||"};
    if (a.size() != 1 || b.size() != 1) return {};
    for (std::string_view two : kTwo)
        if (two[0] == a[0] && two[1] == b[0]) return two;
    return {};
}

bool EvaluateExpression(std::span<const ExpressionToken> tokens, const ExpressionLookup& lookup,
                        ExpressionValue& value, ExpressionFailure* failure) {
    if (tokens.empty()) {
        if (failure) *failure = {"value expected", 0};
        return false;
    }
    Evaluator e(tokens, lookup);
    ExpressionValue out;
    if (!e.Run(out) || out.components.empty() || out.components.size() > kMaxComponents) {
        if (failure) {
            *failure = e.Failure();
            if (failure->why.empty()) failure->why = "not a constant expression";
        }
        return false;
    }
    value = std::move(out);
    return true;
}

void ConvertExpression(ExpressionValue& value, ExpressionKind kind) { Convert(value, kind); }

bool EvaluateIntegerConstant(std::span<const ExpressionToken> tokens, const ExpressionLookup& lookup,
                             long long& value, ExpressionFailure* failure) {
    ExpressionValue v;
    if (!EvaluateExpression(tokens, lookup, v, failure)) return false;
    if (v.components.size() != 1 || !Integral(v.kind)) {
        if (failure) *failure = {"integer constant expected", 0};
        return false;
    }
    value = static_cast<long long>(v.components[0]);
    return true;
}

} // namespace gfx::effect
