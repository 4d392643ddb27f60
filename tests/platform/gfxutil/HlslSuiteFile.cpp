#include "tests/platform/gfxutil/HlslSuiteFile.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace hlslsuite {

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// One atom of a condition: "sm<4", "sm>=6", or a runner's name.
bool AtomHolds(std::string_view atom, Model model) {
    atom = Trim(atom);
    if (!StartsWith(atom, "sm")) return false;
    atom.remove_prefix(2);
    std::string_view op;
    for (std::string_view o : {"<=", ">=", "==", "!=", "<", ">"})
        if (StartsWith(atom, o)) {
            op = o;
            break;
        }
    if (op.empty()) return false;
    // Conditions write whole models ("sm<4") or minor ones ("sm>=4.1").
    const std::string_view number = Trim(atom.substr(op.size()));
    const Model value = number.size() == 1 && std::isdigit(static_cast<unsigned char>(number[0]))
                            ? (number[0] - '0') * 10
                            : ParseModel(number);
    if (value < 0) return false;
    if (op == "<") return model < value;
    if (op == "<=") return model <= value;
    if (op == ">") return model > value;
    if (op == ">=") return model >= value;
    if (op == "==") return model == value;
    return model != value;
}

// "name(cond)" or "name" at the front of `s`: the name, the condition
// (nullopt-like empty with `hasCondition` false), and the rest.
struct Marker {
    std::string name, condition;
    bool hasCondition = false;
};

bool TakeMarker(std::string_view& s, Marker& out) {
    s = Trim(s);
    std::size_t n = 0;
    while (n < s.size() && (std::isalnum(static_cast<unsigned char>(s[n])) || s[n] == '_')) ++n;
    if (n == 0) return false;
    out.name = std::string(s.substr(0, n));
    out.condition.clear();
    out.hasCondition = false;
    std::string_view rest = s.substr(n);
    if (!rest.empty() && rest.front() == '(') {
        const std::size_t close = rest.find(')');
        if (close == std::string_view::npos) return false;
        out.condition = std::string(rest.substr(1, close - 1));
        out.hasCondition = true;
        rest.remove_prefix(close + 1);
    }
    s = rest;
    return true;
}

Condition MarkerCondition(const Marker& m) { return m.hasCondition ? Condition::When(m.condition) : Condition::Always(); }

// Numbers separated by spaces or commas, optionally inside parentheses.
std::vector<std::string> Numbers(std::string_view s) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : s) {
        if (c == '(' || c == ')' || c == ',' || c == ';' || std::isspace(static_cast<unsigned char>(c))) {
            if (!cur.empty()) out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
}

bool ToFloat(const std::string& s, float& v) {
    char* end = nullptr;
    v = std::strtof(s.c_str(), &end);
    return end && *end == '\0' && end != s.c_str();
}

bool ToLong(const std::string& s, long long& v) {
    char* end = nullptr;
    v = std::strtoll(s.c_str(), &end, 0);
    return end && *end == '\0' && end != s.c_str();
}

void ParseUniform(std::string_view rest, TestLine& t) {
    std::istringstream in{std::string(rest)};
    std::string offset, type;
    in >> offset >> type;
    long long index = 0;
    if (!ToLong(offset, index) || index < 0 || index > 65535) return;
    t.offset = std::uint32_t(index);
    const bool isFloat = StartsWith(type, "float");
    const bool isInt = StartsWith(type, "int") && type.find("64") == std::string::npos;
    const bool isUint = StartsWith(type, "uint") && type.find("64") == std::string::npos;
    if (!isFloat && !isInt && !isUint) return; // doubles and 64-bit integers: not for these models
    std::string word;
    while (in >> word) {
        if (isFloat) {
            float f = 0;
            if (!ToFloat(word, f)) return;
            t.words.push_back(std::bit_cast<std::uint32_t>(f));
        } else {
            long long v = 0;
            if (!ToLong(word, v)) return;
            t.words.push_back(std::uint32_t(v));
        }
    }
    if (t.words.empty()) return;
    t.kind = TestLine::Kind::Uniform;
}

void ParseProbe(std::string_view rest, TestLine& t) {
    rest = Trim(rest);
    if (StartsWith(rest, "rtv ")) {
        rest = Trim(rest.substr(4));
        if (rest.empty() || rest.front() < '0' || rest.front() > '3') return;
        t.target = rest.front() - '0';
        rest = Trim(rest.substr(1));
    }
    if (rest.empty() || rest.front() != '(') return; // probes of other resources (uav, rtv, dsv)
    const std::size_t close = rest.find(')');
    if (close == std::string_view::npos) return;
    const std::vector<std::string> place = Numbers(rest.substr(0, close + 1));
    rest = Trim(rest.substr(close + 1));
    std::vector<long long> at;
    for (const std::string& p : place) {
        long long v = 0;
        if (!ToLong(p, v) || v < 0 || v > 100000) return;
        at.push_back(v);
    }
    if (at.size() != 2 && at.size() != 4) return;
    std::size_t n = 0;
    while (n < rest.size() && std::isalpha(static_cast<unsigned char>(rest[n]))) ++n;
    const std::string_view channels = rest.substr(0, n);
    if (channels == "rgba") t.channels = 4;
    else if (channels == "rg") t.channels = 2;
    else if (channels == "r") t.channels = 1;
    else return; // integer probes (rgbaui, rgbai, rui, ri): targets of later models
    rest = Trim(rest.substr(n));
    const std::size_t valuesEnd = rest.find(')');
    if (rest.empty() || rest.front() != '(' || valuesEnd == std::string_view::npos) return;
    const std::vector<std::string> values = Numbers(rest.substr(0, valuesEnd + 1));
    if (values.size() != std::size_t(t.channels)) return;
    for (std::size_t i = 0; i < values.size(); ++i)
        if (!ToFloat(values[i], t.expected[i])) return;
    const std::vector<std::string> tail = Numbers(rest.substr(valuesEnd + 1));
    if (tail.size() > 1) return;
    if (tail.size() == 1) {
        long long ulps = 0;
        if (!ToLong(tail[0], ulps) || ulps < 0 || ulps > (1ll << 30)) return;
        t.ulps = std::uint32_t(ulps);
    }
    t.x = int(at[0]);
    t.y = int(at[1]);
    if (at.size() == 4) {
        // A rectangle is written as its left, top, right and bottom edges.
        t.w = int(at[2] - at[0]);
        t.h = int(at[3] - at[1]);
        if (t.w <= 0 || t.h <= 0) return;
    }
    t.kind = TestLine::Kind::Probe;
}

TestLine ParseTestLine(int line, std::string_view text) {
    TestLine t;
    t.line = line;
    // Markers first: todo(...), if(...), bug(...), notimpl(...), fail(...).
    for (;;) {
        std::string_view probe = text;
        Marker m;
        if (!TakeMarker(probe, m)) break;
        if (m.name == "todo" || m.name == "notimpl") {
            t.todo = MarkerCondition(m);
        } else if (m.name == "if" && m.hasCondition) {
            t.onlyIf = MarkerCondition(m);
        } else if (m.name == "bug" && m.hasCondition) {
            // Another runner's driver bug: nothing here.
        } else if (m.name == "fail") {
            // Expected failure of a command this runner does not take.
            t.text = std::string(Trim(text));
            return t;
        } else {
            break;
        }
        text = probe;
    }
    text = Trim(text);
    t.text = std::string(text);
    if (StartsWith(text, "uniform ")) {
        ParseUniform(text.substr(8), t);
    } else if (text == "draw quad") {
        t.kind = TestLine::Kind::DrawQuad;
    } else if (StartsWith(text, "draw triangle strip ") || StartsWith(text, "draw triangle list ")) {
        long long count = 0;
        if (ToLong(std::string(Trim(text.substr(19))), count) && count >= 3 && count <= 65536) {
            t.kind = TestLine::Kind::DrawTriangles;
            t.strip = StartsWith(text, "draw triangle strip");
            t.count = std::uint32_t(count);
        }
    } else if (StartsWith(text, "probe")) {
        ParseProbe(text.substr(5), t);
    } else if (StartsWith(text, "alpha test ")) {
        // Longest names first: "less equal" before "less".
        static constexpr std::pair<std::string_view, std::uint32_t> kCompare[] = {
            {"less equal", 4}, {"greater equal", 7}, {"not equal", 6}, {"never", 1}, {"less", 2},
            {"equal", 3},      {"greater", 5},       {"always", 8}};
        const std::string_view rest = Trim(text.substr(11));
        for (const auto& [name, value] : kCompare) {
            if (!StartsWith(rest, name)) continue;
            const std::vector<std::string> v = Numbers(rest.substr(name.size()));
            if (v.size() == 1 && ToFloat(v[0], t.reference)) {
                t.compare = value;
                t.kind = TestLine::Kind::AlphaTest;
            } else if (v.empty() && (value == 1 || value == 8)) {
                t.compare = value;
                t.kind = TestLine::Kind::AlphaTest;
            }
            break;
        }
    } else if (StartsWith(text, "clear rtv 0 ") || StartsWith(text, "clear rtv 0\t")) {
        const std::vector<std::string> v = Numbers(text.substr(11));
        bool ok = v.size() == 4;
        for (std::size_t i = 0; ok && i < 4; ++i) ok = ToFloat(v[i], t.expected[i]);
        if (ok) t.kind = TestLine::Kind::ClearTarget;
    } else if (text == "shade mode flat" || text == "shade mode linear") {
        t.kind = TestLine::Kind::ShadeMode;
        t.flat = text == "shade mode flat";
    }
    return t;
}

Stage StageOf(std::string_view name) {
    if (name == "pixel shader") return Stage::Pixel;
    if (name == "vertex shader") return Stage::Vertex;
    if (name == "effect") return Stage::Effect;
    return Stage::Other;
}

// The section a header opens; its lines come after.
Section Open(int line, std::string_view header) {
    header = Trim(header);
    if (header == "require") {
        Requirement r;
        r.line = line;
        return r;
    }
    if (header == "test") {
        TestSection t;
        t.line = line;
        return t;
    }
    if (header == "input layout") {
        InputLayoutSection l;
        l.line = line;
        return l;
    }
    if (StartsWith(header, "rtv ")) {
        long long index = 0;
        if (ToLong(std::string(Trim(header.substr(4))), index) && index >= 0 && index < 4) {
            RenderTargetSection r;
            r.line = line;
            r.index = int(index);
            return r;
        }
    }
    if (StartsWith(header, "vb ")) {
        long long slot = 0;
        if (ToLong(std::string(Trim(header.substr(3))), slot) && slot >= 0 && slot < 16) {
            VertexBufferSection v;
            v.line = line;
            v.slot = std::uint32_t(slot);
            return v;
        }
    }
    for (std::string_view kind : {"srv ", "texture ", "sampler "}) {
        if (!StartsWith(header, kind)) continue;
        long long index = 0;
        if (!ToLong(std::string(Trim(header.substr(kind.size()))), index) || index < 0 || index > 15) break;
        if (kind == "sampler ") {
            SamplerSection s;
            s.line = line;
            s.index = int(index);
            return s;
        }
        TextureSection t;
        t.line = line;
        t.index = int(index);
        return t;
    }
    for (std::string_view stage : {"pixel shader", "vertex shader", "effect", "compute shader", "hull shader",
                                   "domain shader", "geometry shader"}) {
        if (!StartsWith(header, stage)) continue;
        ShaderSection s;
        s.line = line;
        s.stage = StageOf(stage);
        s.header = std::string(header);
        std::string_view rest = header.substr(stage.size());
        Marker m;
        while (TakeMarker(rest, m)) {
            if (m.name == "fail") s.fail = MarkerCondition(m);
            else if (m.name == "todo") s.todo = MarkerCondition(m);
            else if (m.name == "notimpl") s.notimpl = MarkerCondition(m);
        }
        return s;
    }
    OtherSection o;
    o.line = line;
    o.header = std::string(header);
    return o;
}

void Finish(Section& s, const std::vector<std::pair<int, std::string>>& lines) {
    if (auto* r = std::get_if<Requirement>(&s)) {
        for (const auto& [n, text] : lines) {
            std::string_view l = Trim(text);
            if (l.empty()) continue;
            if (StartsWith(l, "shader model")) {
                std::string_view rest = Trim(l.substr(12));
                std::string_view op;
                for (std::string_view o : {">=", "<=", "<", ">"})
                    if (StartsWith(rest, o)) {
                        op = o;
                        break;
                    }
                const Model value = op.empty() ? -1 : ParseModel(Trim(rest.substr(op.size())));
                if (value < 0) r->needs.push_back(std::string(l));
                else if (op == ">=") r->minimum = value;
                else if (op == ">") r->minimum = value + 1;
                else if (op == "<") r->maximum = value;
                else r->maximum = value + 1;
            } else if (StartsWith(l, "options:")) {
                std::istringstream in{std::string(l.substr(8))};
                std::string option;
                while (in >> option) r->options.push_back(option);
            } else {
                r->needs.push_back(std::string(l));
            }
        }
    } else if (auto* sh = std::get_if<ShaderSection>(&s)) {
        for (const auto& [n, text] : lines) sh->source += text + "\n";
    } else if (auto* t = std::get_if<TestSection>(&s)) {
        for (const auto& [n, text] : lines) {
            if (Trim(text).empty()) continue;
            t->lines.push_back(ParseTestLine(n, text));
        }
    } else if (auto* tex = std::get_if<TextureSection>(&s)) {
        bool sized = false, ok = true;
        for (const auto& [n, text] : lines) {
            std::string_view l = Trim(text);
            if (l.empty()) continue;
            if (StartsWith(l, "size")) {
                const std::vector<std::string> v = Numbers(l.substr(4));
                long long w = 0, h = 0;
                // Only plain 2-D textures: "size (2d, w, h)", or the older "size (w, h)".
                const std::size_t first = v.size() == 3 && v[0] == "2d" ? 1 : (v.size() == 2 ? 0 : 99);
                if (first > 1 || !ToLong(v[first], w) || !ToLong(v[first + 1], h) || w <= 0 || h <= 0 || w > 4096 ||
                    h > 4096) {
                    ok = false;
                    continue;
                }
                tex->width = std::uint32_t(w);
                tex->height = std::uint32_t(h);
                sized = true;
            } else if (StartsWith(l, "levels")) {
                long long levels = 0;
                const std::vector<std::string> v = Numbers(l.substr(6));
                if (v.size() != 1 || !ToLong(v[0], levels) || levels < 1 || levels > 13) ok = false;
                else tex->levels = std::uint32_t(levels);
            } else if (std::isdigit(static_cast<unsigned char>(l.front())) || l.front() == '-' || l.front() == '.') {
                for (const std::string& word : Numbers(l)) {
                    float f = 0;
                    if (!ToFloat(word, f)) ok = false;
                    tex->texels.push_back(f);
                }
            } else {
                ok = false; // formats, levels and other forms
            }
        }
        tex->supported = ok && sized && tex->texels.size() == TexelCount(*tex);
    } else if (auto* l = std::get_if<InputLayoutSection>(&s)) {
        for (const auto& [n, text] : lines) {
            std::istringstream in{text};
            std::string slot, format, semantic, index;
            if (!(in >> slot >> format >> semantic)) continue;
            in >> index;
            InputElement e;
            long long v = 0;
            if (!ToLong(slot, v) || v < 0 || v > 15) v = 16;
            e.slot = std::uint32_t(v);
            // Float formats only: "r32-float" to "r32g32b32a32-float".
            static constexpr std::pair<std::string_view, std::uint32_t> kFormats[] = {
                {"r32-float", 1}, {"r32g32-float", 2}, {"r32g32b32-float", 3}, {"r32g32b32a32-float", 4}};
            for (const auto& [name, floats] : kFormats)
                if (format == name) e.floats = floats;
            if (e.slot > 15) e.floats = 0;
            for (char& c : semantic) c = char(std::toupper(static_cast<unsigned char>(c)));
            e.semantic = semantic;
            if (!index.empty() && (!ToLong(index, v) || v < 0 || v > 15)) e.floats = 0;
            else e.index = index.empty() ? 0 : std::uint32_t(v);
            l->elements.push_back(e);
        }
    } else if (auto* rt = std::get_if<RenderTargetSection>(&s)) {
        bool format = false, size = false, other = false;
        for (const auto& [n, text] : lines) {
            std::string_view l = Trim(text);
            if (l.empty()) continue;
            if (l == "format r32g32b32a32-float") format = true;
            else if (StartsWith(l, "size") && Numbers(l.substr(4)) == std::vector<std::string>{"2d", "640", "480"})
                size = true;
            else other = true;
        }
        rt->supported = format && size && !other;
    } else if (auto* vb = std::get_if<VertexBufferSection>(&s)) {
        for (const auto& [n, text] : lines)
            for (const std::string& word : Numbers(text)) {
                float f = 0;
                if (ToFloat(word, f)) vb->floats.push_back(f);
                else vb->supported = false;
            }
    } else if (auto* sa = std::get_if<SamplerSection>(&s)) {
        for (const auto& [n, text] : lines) {
            std::istringstream in{text};
            std::string word, first;
            in >> word >> first;
            if (word == "filter") sa->linear = first == "linear";
            else if (word == "address") sa->address = first;
            else if (!word.empty()) sa->supported = false;
        }
    }
}

} // namespace

std::size_t TexelCount(const TextureSection& t) {
    std::size_t floats = 0;
    for (std::uint32_t level = 0; level < t.levels; ++level)
        floats += std::size_t(std::max(1u, t.width >> level)) * std::max(1u, t.height >> level) * 4;
    return floats;
}

Condition Condition::Always() {
    Condition c;
    c.m_present = true;
    return c;
}

Condition Condition::When(std::string expression) {
    Condition c;
    c.m_present = true;
    c.m_expression = std::move(expression);
    return c;
}

bool Condition::At(Model model) const {
    if (!m_present) return false;
    if (m_expression.empty()) return true;
    // Alternatives by '|', each a conjunction by '&'.
    std::string_view all = m_expression;
    while (true) {
        const std::size_t bar = all.find('|');
        std::string_view alternative = all.substr(0, bar);
        bool holds = true;
        while (true) {
            const std::size_t amp = alternative.find('&');
            holds = holds && AtomHolds(alternative.substr(0, amp), model);
            if (amp == std::string_view::npos) break;
            alternative.remove_prefix(amp + 1);
        }
        if (holds) return true;
        if (bar == std::string_view::npos) return false;
        all.remove_prefix(bar + 1);
    }
}

Model ParseModel(std::string_view text) {
    text = Trim(text);
    if (text.size() < 3 || !std::isdigit(static_cast<unsigned char>(text[0])) || text[1] != '.' ||
        !std::isdigit(static_cast<unsigned char>(text[2])) || text.size() != 3)
        return -1;
    return (text[0] - '0') * 10 + (text[2] - '0');
}

bool HlslSuiteFile::Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream text;
    text << in.rdbuf();
    Parse(text.str());
    return true;
}

void HlslSuiteFile::Parse(std::string_view text) {
    m_sections.clear();
    bool open = false;
    Section current;
    std::vector<std::pair<int, std::string>> lines;
    int number = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string line(text.substr(start, end - start));
        start = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line.front() == '%') continue; // the format's comments
        std::string_view t = Trim(line);
        if (t.size() >= 2 && t.front() == '[' && t.back() == ']' && line.front() == '[') {
            if (open) {
                Finish(current, lines);
                m_sections.push_back(std::move(current));
            }
            current = Open(number, t.substr(1, t.size() - 2));
            lines.clear();
            open = true;
            continue;
        }
        if (open) lines.emplace_back(number, std::move(line));
        if (end == text.size()) break;
    }
    if (open) {
        Finish(current, lines);
        m_sections.push_back(std::move(current));
    }
}

bool HlslSuiteFile::HasProgramAt(Model model) const {
    // A requirement holds for the sections after it, up to the next one.
    Requirement current;
    for (const Section& s : m_sections) {
        if (const auto* r = std::get_if<Requirement>(&s)) current = *r;
        const auto* shader = std::get_if<ShaderSection>(&s);
        if (shader && shader->stage != Stage::Other && current.Admits(model)) return true;
    }
    return false;
}

} // namespace hlslsuite
