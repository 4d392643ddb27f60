#include "platform/gfxutil/hlsl/GfxUtilHlslSwitches.h"

#include "platform/gfxutil/hlsl/GfxUtilHlslText.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

namespace gfx::hlsl {

namespace {

constexpr std::size_t npos = std::string_view::npos;

std::string_view Trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

bool WordAt(std::string_view s, std::size_t at, std::string_view word) {
    return s.compare(at, word.size(), word) == 0 && (at == 0 || !IdentChar(s[at - 1])) &&
           (at + word.size() >= s.size() || !IdentChar(s[at + word.size()]));
}

bool Opens(char c) { return c == '(' || c == '{' || c == '['; }
bool Closes(char c) { return c == ')' || c == '}' || c == ']'; }

// The bracket closing the one at `open`, any kind counted; npos when none.
std::size_t Closing(std::string_view s, std::size_t open) {
    std::size_t depth = 0;
    for (std::size_t i = open; i < s.size(); ++i) {
        if (Opens(s[i])) ++depth;
        else if (Closes(s[i]) && --depth == 0) return i;
    }
    return npos;
}

// The bracket opening the one at `close`; npos when none.
std::size_t Opening(std::string_view s, std::size_t close) {
    std::size_t depth = 0;
    for (std::size_t i = close + 1; i-- > 0;) {
        if (Closes(s[i])) ++depth;
        else if (Opens(s[i]) && --depth == 0) return i;
    }
    return npos;
}

// Whether statements surely leave the switch, or the loop around it, at
// their end: their last is a jump, alone or at the end of plain blocks. What
// ends in a condition may fall through to the next case.
bool EndsInJump(std::string_view s) {
    for (;;) {
        s = Trim(s);
        if (s.empty()) return false;
        if (s.back() != '}') break;
        const std::size_t open = Opening(s, s.size() - 1);
        if (open == npos) return false;
        // A block of an `if`, a loop or an `else` may be skipped.
        const std::string_view before = Trim(s.substr(0, open));
        if (!before.empty() && !std::strchr(";{}:", before.back())) return false;
        s = s.substr(open + 1, s.size() - open - 2);
    }
    if (s.back() != ';') return false;
    std::size_t start = s.size() - 1, depth = 0;
    for (; start > 0; --start) {
        const char c = s[start - 1];
        if (c == ')' || c == ']') ++depth;
        else if ((c == '(' || c == '[') && depth > 0) --depth;
        else if (depth == 0 && (c == ';' || c == '{' || c == '}')) break;
    }
    const std::string_view last = Trim(s.substr(start, s.size() - 1 - start));
    return last == "break" || last == "discard" || last == "continue" || WordAt(last, 0, "return");
}

// An integer literal as SPIRV-Cross writes a case label ("-5", "7u"), as
// the 32 bits the comparison sees.
bool LabelValue(std::string_view s, std::uint32_t& value) {
    s = Trim(s);
    const bool negative = !s.empty() && s.front() == '-';
    if (negative) s.remove_prefix(1);
    if (!s.empty() && (s.back() == 'u' || s.back() == 'U')) s.remove_suffix(1);
    if (s.empty() || s.size() > 10) return false;
    std::uint64_t v = 0;
    for (const char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + std::uint64_t(c - '0');
    }
    if (v > (negative ? 0x80000000ull : 0xFFFFFFFFull)) return false;
    value = std::uint32_t(negative ? 0u - std::uint32_t(v) : std::uint32_t(v));
    return true;
}

// Labels that lead to the same statements, in the order written.
struct Group {
    std::vector<std::uint32_t> values;
    bool isDefault = false;
    bool hasStatements = false;
    std::string_view statements;
};

// The groups of a switch's body (between its braces); false when the body
// is not in the form SPIRV-Cross writes.
bool ReadGroups(std::string_view body, std::vector<Group>& groups) {
    std::size_t p = 0;
    const auto label = [&]() -> Group& {
        if (groups.empty() || groups.back().hasStatements) groups.emplace_back();
        return groups.back();
    };
    for (;;) {
        while (p < body.size() && std::isspace(static_cast<unsigned char>(body[p]))) ++p;
        if (p == body.size()) return true;
        if (WordAt(body, p, "case")) {
            const std::size_t colon = body.find(':', p);
            std::uint32_t value = 0;
            if (colon == npos || !LabelValue(body.substr(p + 4, colon - p - 4), value)) return false;
            label().values.push_back(value);
            p = colon + 1;
        } else if (WordAt(body, p, "default")) {
            const std::size_t colon = body.find(':', p);
            if (colon == npos || !Trim(body.substr(p + 7, colon - p - 7)).empty()) return false;
            label().isDefault = true;
            p = colon + 1;
        } else {
            // Statements before any label never run: no form SPIRV-Cross writes.
            if (groups.empty()) return false;
            std::size_t end = p, depth = 0;
            for (; end < body.size(); ++end) {
                if (Opens(body[end])) ++depth;
                else if (Closes(body[end])) {
                    if (depth == 0) return false;
                    --depth;
                } else if (depth == 0 && (WordAt(body, end, "case") || WordAt(body, end, "default")))
                    break;
            }
            const std::string_view statements = Trim(body.substr(p, end - p));
            // Declarations at the switch's own scope would be seen by the
            // cases after them, which the rewriting puts elsewhere.
            if (statements.front() != '{' && !(EndsInJump(statements) && statements.find(';') == statements.size() - 1))
                return false;
            groups.back().hasStatements = true;
            groups.back().statements = statements;
            p = end;
        }
    }
}

struct Names {
    std::string value, group;
};

// Finds the group of the value: leaves of one label, split by value.
void WriteValueTree(std::string& out, const Names& n, const std::vector<std::pair<std::uint32_t, std::size_t>>& labels,
                    std::size_t lo, std::size_t hi) {
    if (hi - lo == 1) {
        out += "if (" + n.value + " == " + std::to_string(labels[lo].first) + "u) " + n.group + " = " +
               std::to_string(labels[lo].second) + ";\n";
        return;
    }
    const std::size_t mid = lo + (hi - lo) / 2;
    out += "if (" + n.value + " < " + std::to_string(labels[mid].first) + "u)\n{\n";
    WriteValueTree(out, n, labels, lo, mid);
    out += "}\nelse\n{\n";
    WriteValueTree(out, n, labels, mid, hi);
    out += "}\n";
}

// Runs the group found: leaves of one group, split by index.
void WriteGroupTree(std::string& out, const Names& n, const std::vector<std::string>& bodies, std::size_t lo,
                    std::size_t hi) {
    if (hi - lo == 1) {
        out += "if (" + n.group + " == " + std::to_string(lo) + ")\n{\n" + bodies[lo] + "break;\n}\n";
        return;
    }
    const std::size_t mid = lo + (hi - lo) / 2;
    out += "if (" + n.group + " < " + std::to_string(mid) + ")\n{\n";
    WriteGroupTree(out, n, bodies, lo, mid);
    out += "}\nelse\n{\n";
    WriteGroupTree(out, n, bodies, mid, hi);
    out += "}\n";
}

// A name the program does not use yet.
std::string FreshName(const std::string& glsl, const std::string& stem, std::size_t& counter) {
    for (;; ++counter) {
        std::string name = stem + std::to_string(counter);
        if (glsl.find(name) == std::string::npos) return name;
    }
}

// The rewriting of the switch whose selector is `selector` and whose body
// holds `groups`; false when it keeps its form.
bool Rewrite(std::string_view selector, const std::vector<Group>& groups, const Names& n, std::string& out) {
    std::vector<std::pair<std::uint32_t, std::size_t>> labels;
    std::size_t defaultGroup = groups.size();
    for (std::size_t g = 0; g < groups.size(); ++g) {
        for (const std::uint32_t v : groups[g].values) labels.emplace_back(v, g);
        if (groups[g].isDefault) {
            if (defaultGroup != groups.size()) return false;
            defaultGroup = g;
        }
    }
    if (labels.size() <= kMaxSwitchLabels) return false;
    std::sort(labels.begin(), labels.end());
    for (std::size_t i = 1; i < labels.size(); ++i)
        if (labels[i].first == labels[i - 1].first) return false;
    // A group's statements, then those of each group after it while the one
    // before may fall through; past the last, the switch is left.
    std::vector<std::string> bodies(groups.size());
    for (std::size_t g = 0; g < groups.size(); ++g)
        for (std::size_t f = g; f < groups.size(); ++f) {
            bodies[g] += std::string(groups[f].statements) + "\n";
            if (EndsInJump(groups[f].statements)) break;
        }
    out = "switch (0)\n{\ndefault:\n{\nuint " + n.value + " = uint(" + std::string(selector) + ");\nint " + n.group +
          " = " + (defaultGroup == groups.size() ? std::string("-1") : std::to_string(defaultGroup)) + ";\n";
    WriteValueTree(out, n, labels, 0, labels.size());
    WriteGroupTree(out, n, bodies, 0, groups.size());
    out += "}\n}";
    return true;
}

} // namespace

std::size_t SplitLargeSwitches(std::string& glsl) {
    std::size_t rewritten = 0, counter = 0;
    // From the last switch back: one nested in a case is rewritten before
    // the switch holding it is read, and the text before each stays as it was.
    for (std::size_t at = glsl.rfind("switch"); at != std::string::npos;
         at = at == 0 ? std::string::npos : glsl.rfind("switch", at - 1)) {
        const std::string_view text = glsl;
        if (!WordAt(text, at, "switch")) continue;
        std::size_t open = at + 6;
        while (open < text.size() && std::isspace(static_cast<unsigned char>(text[open]))) ++open;
        if (open == text.size() || text[open] != '(') continue;
        const std::size_t close = Closing(text, open);
        if (close == npos) continue;
        std::size_t brace = close + 1;
        while (brace < text.size() && std::isspace(static_cast<unsigned char>(text[brace]))) ++brace;
        if (brace == text.size() || text[brace] != '{') continue;
        const std::size_t end = Closing(text, brace);
        if (end == npos) continue;
        std::vector<Group> groups;
        if (!ReadGroups(text.substr(brace + 1, end - brace - 1), groups)) continue;
        std::size_t labels = 0;
        for (const Group& g : groups) labels += g.values.size();
        if (labels <= kMaxSwitchLabels) continue;
        Names n;
        n.value = FreshName(glsl, "orvCase", counter);
        n.group = FreshName(glsl, "orvGroup", counter);
        std::string replacement;
        if (!Rewrite(text.substr(open + 1, close - open - 1), groups, n, replacement)) continue;
        glsl.replace(at, end + 1 - at, replacement);
        ++rewritten;
    }
    return rewritten;
}

} // namespace gfx::hlsl
