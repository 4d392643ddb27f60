#include "platform/gfxutil/GfxUtilHlslSwizzle.h"

#include "platform/gfxutil/GfxUtilHlslText.h"

#include <algorithm>
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

} // namespace

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
