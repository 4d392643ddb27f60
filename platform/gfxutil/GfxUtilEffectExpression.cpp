// A recursive-descent evaluator over the initialiser's tokens. Values are
// lists of components with one flag for integer arithmetic (`1 / 2` is 0 as
// the language has it); a scalar meets a vector component by component, and
// two vectors of different sizes meet at the smaller, as the compiler's
// implicit truncation has it.

#include "platform/gfxutil/GfxUtilEffectExpression.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

namespace gfx::effect {
namespace {

constexpr int kMaxDepth = 64;
constexpr std::size_t kMaxComponents = 65536;

struct Value {
    std::vector<double> c;
    bool integer = false;
};

// A numeric type word: its components (rows * columns) and whether it is of
// integers or booleans; false for any other word.
bool TypeWord(std::string_view w, std::size_t& components, int& kind) {
    static constexpr std::string_view bases[] = {"float", "half", "double", "int", "uint", "bool", "dword"};
    for (int b = 0; b < 7; ++b) {
        if (!w.starts_with(bases[b])) continue;
        const std::string_view rest = w.substr(bases[b].size());
        kind = b < 3 ? 0 : (b == 5 ? 2 : 1); // 0 float, 1 integer, 2 bool
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

// The value converted to a type of `kind`.
void Convert(Value& v, int kind) {
    v.integer = kind != 0;
    for (double& d : v.c) {
        if (kind == 1) d = std::trunc(d);
        else if (kind == 2) d = d != 0.0 ? 1.0 : 0.0;
    }
}

class Evaluator {
public:
    Evaluator(std::span<const ExpressionToken> t, const ExpressionLookup& lookup) : m_t(t), m_lookup(lookup) {}

    bool Run(std::vector<double>& out) {
        Value v;
        if (!Comma(v, 0) || m_i != m_t.size()) return false;
        out = std::move(v.c);
        return true;
    }

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

    // Both sides at one size: a scalar spread, two vectors at the smaller.
    static bool Match(Value& a, Value& b) {
        if (a.c.empty() || b.c.empty()) return false;
        if (a.c.size() == 1) a.c.assign(b.c.size(), a.c[0]);
        else if (b.c.size() == 1) b.c.assign(a.c.size(), b.c[0]);
        const std::size_t n = std::min(a.c.size(), b.c.size());
        a.c.resize(n);
        b.c.resize(n);
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
        if (depth > kMaxDepth || !Binary(v, 0, depth)) return false;
        if (!Accept("?")) return true;
        Value a, b;
        if (!Conditional(a, depth + 1) || !Accept(":") || !Conditional(b, depth + 1)) return false;
        if (!Match(a, b)) return false;
        Value cond = v;
        if (cond.c.size() == 1) cond.c.assign(a.c.size(), cond.c[0]);
        if (cond.c.size() < a.c.size()) return false;
        for (std::size_t k = 0; k < a.c.size(); ++k) a.c[k] = cond.c[k] != 0.0 ? a.c[k] : b.c[k];
        a.integer = a.integer && b.integer;
        v = std::move(a);
        return true;
    }

    // Binary operators by precedence level, lowest first. `depth` counts
    // brackets and unary operators, each a bounded number of frames.
    static int Level(std::string_view op) {
        if (op == "||") return 0;
        if (op == "&&") return 1;
        if (op == "==" || op == "!=") return 2;
        if (op == "<" || op == ">" || op == "<=" || op == ">=") return 3;
        if (op == "+" || op == "-") return 4;
        if (op == "*" || op == "/" || op == "%") return 5;
        return -1;
    }

    bool Binary(Value& v, int level, int depth) {
        if (level > 5) return Unary(v, depth);
        if (!Binary(v, level + 1, depth)) return false;
        while (!AtEnd() && m_t[m_i].kind == ExpressionToken::Kind::Punct && Level(m_t[m_i].text) == level) {
            const std::string_view op = m_t[m_i++].text;
            Value b;
            if (!Binary(b, level + 1, depth) || !Match(v, b)) return false;
            const bool integer = v.integer && b.integer;
            for (std::size_t k = 0; k < v.c.size(); ++k) {
                const double x = v.c[k], y = b.c[k];
                double r = 0;
                if (op == "||") r = (x != 0 || y != 0);
                else if (op == "&&") r = (x != 0 && y != 0);
                else if (op == "==") r = x == y;
                else if (op == "!=") r = x != y;
                else if (op == "<") r = x < y;
                else if (op == ">") r = x > y;
                else if (op == "<=") r = x <= y;
                else if (op == ">=") r = x >= y;
                else if (op == "+") r = x + y;
                else if (op == "-") r = x - y;
                else if (op == "*") r = x * y;
                else if (op == "/") {
                    if (integer && y == 0) return false; // the compiler refuses it
                    r = integer ? std::trunc(x / y) : x / y;
                } else {
                    if (integer && y == 0) return false;
                    r = std::fmod(x, y);
                }
                v.c[k] = r;
            }
            v.integer = level <= 3 ? false : integer;
        }
        return true;
    }

    bool Unary(Value& v, int depth) {
        if (depth > kMaxDepth) return false;
        if (Accept("-")) {
            if (!Unary(v, depth + 1)) return false;
            for (double& d : v.c) d = -d;
            return true;
        }
        if (Accept("+")) return Unary(v, depth + 1);
        if (Accept("!")) {
            if (!Unary(v, depth + 1)) return false;
            for (double& d : v.c) d = d == 0.0 ? 1.0 : 0.0;
            v.integer = false;
            return true;
        }
        // A cast: `(float3)x`.
        std::size_t components = 0;
        int kind = 0;
        if (Is("(") && m_i + 2 < m_t.size() && m_t[m_i + 1].kind == ExpressionToken::Kind::Word &&
            TypeWord(m_t[m_i + 1].text, components, kind) && Is(")", 2)) {
            m_i += 3;
            if (!Unary(v, depth + 1)) return false;
            if (v.c.size() == 1) v.c.assign(components, v.c[0]);
            if (v.c.size() < components) return false;
            v.c.resize(components);
            Convert(v, kind);
            return true;
        }
        return Postfix(v, depth);
    }

    bool Postfix(Value& v, int depth) {
        if (!Primary(v, depth)) return false;
        for (;;) {
            if (Accept(".")) {
                if (AtEnd() || m_t[m_i].kind != ExpressionToken::Kind::Word) return false;
                const std::string_view s = m_t[m_i++].text;
                if (s.empty() || s.size() > 4 || v.c.size() > 4) return false;
                std::vector<double> picked;
                const bool rgba = std::string_view("rgba").find(s[0]) != std::string_view::npos;
                for (char ch : s) {
                    const std::size_t k = std::string_view(rgba ? "rgba" : "xyzw").find(ch);
                    if (k == std::string_view::npos || k >= v.c.size()) return false;
                    picked.push_back(v.c[k]);
                }
                v.c = std::move(picked);
            } else if (Accept("[")) {
                Value index;
                if (!Comma(index, depth + 1) || !Accept("]") || index.c.size() != 1 || v.c.size() > 4) return false;
                const double k = index.c[0];
                if (k < 0 || k >= double(v.c.size())) return false;
                v.c = {v.c[std::size_t(k)]};
            } else {
                return true;
            }
        }
    }

    // Arguments of a call or constructor, each a value.
    bool Arguments(std::vector<Value>& args, int depth) {
        if (!Accept("(")) return false;
        if (Accept(")")) return true;
        for (;;) {
            Value a;
            if (!Conditional(a, depth + 1)) return false;
            args.push_back(std::move(a));
            if (Accept(")")) return true;
            if (!Accept(",")) return false;
        }
    }

    bool Primary(Value& v, int depth) {
        if (depth > kMaxDepth || AtEnd()) return false;
        const ExpressionToken& t = m_t[m_i];
        if (Accept("(")) return Comma(v, depth + 1) && Accept(")");
        if (t.kind == ExpressionToken::Kind::Number) {
            ++m_i;
            return Number(t.text, v);
        }
        if (t.kind != ExpressionToken::Kind::Word) return false;
        ++m_i;
        if (t.text == "true" || t.text == "false") {
            v.c = {t.text == "true" ? 1.0 : 0.0};
            v.integer = true;
            return true;
        }
        std::size_t components = 0;
        int kind = 0;
        if (TypeWord(t.text, components, kind)) {
            std::vector<Value> args;
            if (!Arguments(args, depth)) return false;
            v.c.clear();
            for (const Value& a : args) v.c.insert(v.c.end(), a.c.begin(), a.c.end());
            if (v.c.size() == 1) v.c.assign(components, v.c[0]);
            if (v.c.size() != components) return false;
            Convert(v, kind);
            return true;
        }
        if (Is("(")) {
            std::vector<Value> args;
            return Arguments(args, depth) && Call(t.text, args, v);
        }
        v.integer = false;
        return m_lookup(t.text, v.c) && !v.c.empty() && v.c.size() <= kMaxComponents;
    }

    static bool Number(std::string_view text, Value& v) {
        const std::string s(text);
        const bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
        v.integer = hex || s.find_first_of(".eEfFhH") == std::string::npos;
        v.c = {hex ? double(std::strtoull(s.c_str(), nullptr, 16)) : std::strtod(s.c_str(), nullptr)};
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
            for (double& d : v.c) d = f(d);
            v.integer = v.integer && (name == "abs" || name == "sign");
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
            v = std::move(a[0]);
            for (std::size_t k = 0; k < v.c.size(); ++k) v.c[k] = f(v.c[k], a[1].c[k]);
            v.integer = v.integer && a[1].integer && (name == "min" || name == "max");
            return true;
        }
        if (name == "lerp" || name == "clamp" || name == "smoothstep") {
            if (a.size() != 3 || !Match(a[0], a[1]) || !Match(a[1], a[2]) || !Match(a[0], a[2])) return false;
            v.c.resize(a[0].c.size());
            for (std::size_t k = 0; k < v.c.size(); ++k) {
                const double x = a[0].c[k], y = a[1].c[k], s = a[2].c[k];
                if (name == "lerp") v.c[k] = x + (y - x) * s;
                else if (name == "clamp") v.c[k] = std::min(std::max(x, y), s);
                else {
                    const double t = std::clamp((s - x) / (y - x), 0.0, 1.0);
                    v.c[k] = t * t * (3 - 2 * t);
                }
            }
            v.integer = false;
            return true;
        }
        v.integer = false;
        if (name == "dot" || name == "distance") {
            if (a.size() != 2 || a[0].c.size() > 4 || a[1].c.size() > 4 || !Match(a[0], a[1])) return false;
            double s = 0;
            for (std::size_t k = 0; k < a[0].c.size(); ++k) {
                const double d = name == "dot" ? a[0].c[k] * a[1].c[k] : (a[0].c[k] - a[1].c[k]) * (a[0].c[k] - a[1].c[k]);
                s += d;
            }
            v.c = {name == "dot" ? s : std::sqrt(s)};
            return true;
        }
        if (name == "length" || name == "normalize") {
            if (a.size() != 1 || a[0].c.size() > 4) return false;
            double s = 0;
            for (double d : a[0].c) s += d * d;
            s = std::sqrt(s);
            if (name == "length") {
                v.c = {s};
                return true;
            }
            v.c = a[0].c;
            for (double& d : v.c) d /= s;
            return true;
        }
        if (name == "cross") {
            if (a.size() != 2 || a[0].c.size() != 3 || a[1].c.size() != 3) return false;
            const std::vector<double>& x = a[0].c;
            const std::vector<double>& y = a[1].c;
            v.c = {x[1] * y[2] - x[2] * y[1], x[2] * y[0] - x[0] * y[2], x[0] * y[1] - x[1] * y[0]};
            return true;
        }
        return false;
    }

    std::span<const ExpressionToken> m_t;
    const ExpressionLookup& m_lookup;
    std::size_t m_i = 0;
};

} // namespace

bool EvaluateExpression(std::span<const ExpressionToken> tokens, const ExpressionLookup& lookup,
                        std::vector<double>& components) {
    if (tokens.empty()) return false;
    Evaluator e(tokens, lookup);
    std::vector<double> out;
    if (!e.Run(out) || out.empty() || out.size() > kMaxComponents) return false;
    components = std::move(out);
    return true;
}

} // namespace gfx::effect
