#include "platform/gfxutil/hlsl/GfxUtilHlslSwizzle.h"

#include "platform/gfxutil/hlsl/GfxUtilHlslText.h"

#include <algorithm>
#include <map>
#include <set>
#include <vector>

namespace gfx::hlsl {
namespace {

// The components of a matrix swizzle (`_21_31`, `_m00_m21`), each as its
// own swizzle; empty when `w` is not one.
std::vector<std::string> MatrixComponents(std::string_view w) {
    std::vector<std::string> out;
    while (!w.empty()) {
        if (w.size() >= 4 && w[0] == '_' && w[1] == 'm' && w[2] >= '0' && w[2] <= '3' && w[3] >= '0' && w[3] <= '3') {
            out.emplace_back(w.substr(0, 4));
            w.remove_prefix(4);
        } else if (w.size() >= 3 && w[0] == '_' && w[1] >= '1' && w[1] <= '4' && w[2] >= '1' && w[2] <= '4') {
            out.emplace_back(w.substr(0, 3));
            w.remove_prefix(3);
        } else {
            return {};
        }
    }
    return out;
}

// A numeric type word's rows and columns ("float4x3": 4, 3; "float3": 1, 3;
// "float": 1, 1); false for any other word.
bool NumericType(std::string_view w, int& rows, int& columns) {
    for (const std::string_view scalar : {"float", "half", "double", "uint", "int", "bool", "min16float"}) {
        if (!w.starts_with(scalar)) continue;
        const std::string_view rest = w.substr(scalar.size());
        rows = columns = 1;
        if (rest.empty()) return true;
        if (rest.size() == 1 && rest[0] >= '1' && rest[0] <= '4') return columns = rest[0] - '0', true;
        if (rest.size() == 3 && rest[0] >= '1' && rest[0] <= '4' && rest[1] == 'x' && rest[2] >= '1' && rest[2] <= '4') {
            rows = rest[0] - '0';
            columns = rest[2] - '0';
            return true;
        }
        return false;
    }
    return false;
}

} // namespace

std::string MatrixArgumentsByRows(std::string_view source) {
    const std::vector<Token> t = Tokenize(source);
    // Names declared as matrices: their rows; 0 for names declared otherwise too.
    std::map<std::string_view, int> rowsOf;
    for (std::size_t i = 1; i < t.size(); ++i) {
        if (!IdentStart(t[i].text.front()) || !IdentStart(t[i - 1].text.front())) continue;
        const std::string_view w = t[i - 1].text;
        if (w == "return" || w == "in" || w == "out" || w == "inout" || w == "uniform" || w == "const" ||
            w == "static" || w == "else" || w == "row_major" || w == "column_major")
            continue;
        int rows = 0, columns = 0;
        const bool matrix = NumericType(w, rows, columns) && rows > 1 && columns > 1 &&
                            (i + 1 >= t.size() || !Is(t[i + 1], "["));
        const auto known = rowsOf.find(t[i].text);
        if (known == rowsOf.end()) rowsOf[t[i].text] = matrix ? rows : 0;
        else if (known->second != (matrix ? rows : 0)) known->second = 0;
    }
    struct Edit {
        std::size_t at, erase;
        std::string text;
    };
    std::vector<Edit> edits;
    for (std::size_t i = 0; i + 1 < t.size(); ++i) {
        int rows = 0, columns = 0;
        if (!NumericType(t[i].text, rows, columns) || !Is(t[i + 1], "(")) continue;
        const std::size_t close = MatchClose(t, i + 1);
        if (close >= t.size()) continue;
        std::vector<std::pair<std::size_t, std::size_t>> arguments; // first and last token
        std::size_t first = i + 2;
        int depth = 0;
        for (std::size_t k = i + 2; k <= close; ++k) {
            const std::string_view w = t[k].text;
            if (w == "(" || w == "[" || w == "{") ++depth;
            if ((w == ")" || w == "]" || w == "}") && k != close) --depth;
            if (depth == 0 && (k == close || w == ",")) {
                arguments.push_back({first, k});
                first = k + 1;
            }
        }
        if (arguments.size() < 2) continue;
        for (const auto& [a, end] : arguments) {
            if (end != a + 1) continue;
            const auto named = rowsOf.find(t[a].text);
            if (named == rowsOf.end() || named->second == 0) continue;
            std::string rowsText;
            for (int r = 0; r < named->second; ++r)
                rowsText += (r ? ", " : "") + std::string(t[a].text) + "[" + std::to_string(r) + "]";
            edits.push_back({t[a].begin, t[a].text.size(), rowsText});
        }
    }
    std::string out(source);
    std::sort(edits.begin(), edits.end(), [](const Edit& x, const Edit& y) { return x.at > y.at; });
    for (const Edit& e : edits) out.replace(e.at, e.erase, e.text);
    return out;
}

std::string OneComponentProducts(std::string_view source) {
    if (source.find("mul") == std::string_view::npos) return std::string(source);
    const std::vector<Token> t = Tokenize(source);
    // Names by their declared shape: rows, columns, and whether a float1 and
    // its kind; an empty shape for names declared with more than one.
    struct Shape {
        int rows = 0, columns = 0;
        bool single = false;
        bool operator==(const Shape&) const = default;
    };
    std::map<std::string_view, Shape> shapes;
    std::set<std::string_view> ambiguous;
    for (std::size_t i = 1; i < t.size(); ++i) {
        if (!IdentStart(t[i].text.front())) continue;
        Shape s;
        if (!NumericType(t[i - 1].text, s.rows, s.columns)) continue;
        if (i + 1 < t.size() && (Is(t[i + 1], "(") || Is(t[i + 1], "["))) continue; // functions, arrays
        s.single = t[i - 1].text.back() == '1' && t[i - 1].text.find('x') == std::string_view::npos;
        const auto known = shapes.find(t[i].text);
        if (known == shapes.end()) shapes[t[i].text] = s;
        else if (!(known->second == s)) ambiguous.insert(t[i].text);
    }
    std::string out(source);
    std::vector<std::pair<std::size_t, std::pair<std::size_t, std::string>>> edits;
    for (std::size_t i = 0; i + 5 < t.size(); ++i) {
        if (!Is(t[i], "mul") || !Is(t[i + 1], "(") || !Is(t[i + 3], ",") || !Is(t[i + 5], ")")) continue;
        const auto a = shapes.find(t[i + 2].text), b = shapes.find(t[i + 4].text);
        if (a == shapes.end() || b == shapes.end() || ambiguous.count(a->first) || ambiguous.count(b->first)) continue;
        const auto widen = [&](const Token& name, int size) {
            std::string text = "float" + std::to_string(size) + "(" + std::string(name.text);
            for (int k = 1; k < size; ++k) text += ", 0";
            edits.push_back({name.begin, {name.text.size(), text + ")"}});
        };
        if (a->second.single && b->second.rows > 1 && b->second.columns > 1) widen(t[i + 2], b->second.rows);
        else if (b->second.single && a->second.rows > 1 && a->second.columns > 1) widen(t[i + 4], a->second.columns);
    }
    for (auto e = edits.rbegin(); e != edits.rend(); ++e) out.replace(e->first, e->second.first, e->second.second);
    return out;
}

std::string MatrixSwizzlesByComponent(std::string_view source) {
    if (source.find("._") == std::string_view::npos) return std::string(source);
    const std::vector<Token> t = Tokenize(source);
    struct Edit {
        std::size_t at, erase;
        std::string text;
    };
    std::vector<Edit> edits;
    std::size_t temporaries = 0;
    for (std::size_t i = 1; i + 1 < t.size(); ++i) {
        if (!Is(t[i], ".")) continue;
        const std::vector<std::string> parts = MatrixComponents(t[i + 1].text);
        if (parts.size() < 2 || parts.size() > 4) continue;
        // The base: names, members and indices back from the dot.
        std::size_t b = i;
        bool plain = true;
        while (b > 0) {
            const std::size_t j = b - 1;
            if (Is(t[j], "]")) {
                int depth = 0;
                std::size_t k = j + 1;
                while (k > 0) {
                    --k;
                    if (Is(t[k], "]")) ++depth;
                    if (Is(t[k], "[") && --depth == 0) break;
                    if (Is(t[k], "(") || Is(t[k], ")") || Is(t[k], "=") || Is(t[k], ";")) plain = false;
                    if (k > 0 && ((Is(t[k], "+") && Is(t[k - 1], "+")) || (Is(t[k], "-") && Is(t[k - 1], "-"))))
                        plain = false;
                }
                if (depth != 0 || k == 0) plain = false;
                if (!plain) break;
                b = k; // then the name indexed
                continue;
            }
            if (IdentStart(t[j].text.front())) {
                b = j;
                if (b >= 2 && Is(t[b - 1], ".")) {
                    b = b - 1;
                    continue;
                }
                break;
            }
            plain = false;
            break;
        }
        if (!plain || b == i || !IdentStart(t[b].text.front())) continue;
        const std::string base(source.substr(t[b].begin, t[i].begin - t[b].begin));
        if (base.find('\n') != std::string::npos) continue;
        const std::string vector = "float" + std::to_string(parts.size());
        const bool write = i + 3 < t.size() && Is(t[i + 2], "=") && !Is(t[i + 3], "=");
        if (!write) {
            std::string text = vector + "(";
            for (std::size_t p = 0; p < parts.size(); ++p) text += (p ? ", " : "") + base + "." + parts[p];
            edits.push_back({t[b].begin, TokenEnd(t[i + 1]) - t[b].begin, text + ")"});
            continue;
        }
        // A write: a statement of its own, a component at most once.
        std::vector<std::string> sorted = parts;
        std::sort(sorted.begin(), sorted.end());
        if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) continue;
        if (b > 0 && !Is(t[b - 1], ";") && !Is(t[b - 1], "{") && !Is(t[b - 1], "}") && !Is(t[b - 1], ")") &&
            !Is(t[b - 1], "else"))
            continue;
        std::size_t end = i + 3;
        int depth = 0;
        for (; end < t.size(); ++end) {
            const std::string_view w = t[end].text;
            if (w == "(" || w == "[" || w == "{") ++depth;
            if (w == ")" || w == "]" || w == "}") --depth;
            if (depth < 0 || (depth == 0 && w == ";")) break;
        }
        if (end >= t.size() || depth < 0) continue;
        const std::string name = "orvSwizzle" + std::to_string(temporaries++);
        edits.push_back({t[b].begin, t[i + 3].begin - t[b].begin, "{ " + vector + " " + name + " = ("});
        std::string tail = "); ";
        for (std::size_t p = 0; p < parts.size(); ++p)
            tail += base + "." + parts[p] + " = " + name + "." + "xyzw"[p] + "; ";
        edits.push_back({t[end].begin, 1, tail + "}"});
        i = end;
    }
    std::string out(source);
    std::sort(edits.begin(), edits.end(), [](const Edit& x, const Edit& y) { return x.at > y.at; });
    for (const Edit& e : edits) out.replace(e.at, e.erase, e.text);
    return out;
}

} // namespace gfx::hlsl
