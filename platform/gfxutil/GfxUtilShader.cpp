#include "platform/gfxutil/GfxUtilShader.h"

#include "platform/gfx/GfxShaderContainer.h"
#include "platform/gfx/GfxShaderTokens.h"
#include "platform/gfxutil/GfxUtilConstantTable.h"
#include "platform/gfxutil/GfxUtilPreprocess.h"
#include "platform/gfxutil/hlsl/GfxUtilHlsl.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslGuard.h"
#include "platform/os/OsFiles.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace gfx {
namespace {

// Registers of each model; 0 = the model has none of that kind.
struct RegisterLimits {
    std::uint32_t r, v, c, a, t, s, oD, oT, o, oC, oDepth, i, b, p, aL, l, misc, rast;
};

RegisterLimits LimitsOf(std::uint16_t model) {
    switch (model) {
    case SM_VS11: return {12, 16, 256, 1, 0, 0, 2, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3};
    case SM_VS20: return {12, 16, 256, 1, 0, 0, 2, 8, 0, 0, 0, 16, 16, 0, 1, 16, 0, 3};
    case SM_VS2X: return {32, 16, 256, 1, 0, 0, 2, 8, 0, 0, 0, 16, 16, 1, 1, 16, 0, 3};
    case SM_VS30: return {32, 16, 256, 1, 0, 4, 0, 0, 12, 0, 0, 16, 16, 1, 1, 2048, 0, 0};
    case SM_PS11:
    case SM_PS12:
    case SM_PS13: return {2, 2, 8, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    case SM_PS14: return {6, 2, 8, 0, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    case SM_PS20: return {12, 2, 32, 0, 8, 16, 0, 0, 0, 4, 1, 16, 16, 0, 0, 0, 0, 0};
    case SM_PS2X: return {32, 2, 32, 0, 8, 16, 0, 0, 0, 4, 1, 16, 16, 1, 0, 16, 0, 0};
    case SM_PS30: return {32, 10, 224, 0, 0, 16, 0, 0, 0, 4, 1, 16, 16, 1, 1, 2048, 2, 0};
    default: return {};
    }
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

bool IsWordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

std::uint32_t RegisterBits(std::uint32_t type, std::uint32_t number) {
    return ((type & 7) << D3DSP_REGTYPE_SHIFT) | ((type & 0x18) << D3DSP_REGTYPE_SHIFT2) | (number & D3DSP_REGNUM_MASK);
}

// Component letter to 0..3, -1 for none.
int Component(char c) {
    switch (c) {
    case 'x': case 'r': return 0;
    case 'y': case 'g': return 1;
    case 'z': case 'b': return 2;
    case 'w': case 'a': return 3;
    default: return -1;
    }
}

struct Register {
    std::uint32_t type = 0;
    std::uint32_t number = 0;
    bool relative = false;
    std::uint32_t addressToken = 0; // the address register, 2.0 on
};

class Assembler {
public:
    explicit Assembler(std::uint32_t flags) : m_skipLimits((flags & D3DXSHADER_SKIPVALIDATION) != 0) {}

    void Run(std::string_view text) {
        // Text saved by Windows editors: a UTF-8 byte-order mark first, and
        // lines ended by CR LF or a lone CR, each one line end.
        if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
        text = TextBeforeTrailingNuls(text);
        int line = 0;
        std::size_t pos = 0;
        while (pos <= text.size()) {
            std::size_t end = text.find_first_of("\r\n", pos);
            if (end == std::string_view::npos) end = text.size();
            ++line;
            Statement(line, text.substr(pos, end - pos));
            if (m_stop) break;
            pos = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        }
        if (!m_stop && m_model == 0) Error(line, "missing version line");
        // A vertex program's input register is bound to a stream element
        // only by its declaration's usage.
        if (!m_skipLimits)
            for (const auto& [readLine, number] : m_inputReads) {
                if (m_declaredInputs & (1u << number)) continue;
                Error(readLine, "input register 'v" + std::to_string(number) + "' is read but never declared");
                m_declaredInputs |= 1u << number; // said once
            }
        if (m_errors.empty()) m_tokens.push_back(D3DSIO_END);
    }

    [[nodiscard]] const std::vector<std::uint32_t>& Tokens() const { return m_tokens; }
    [[nodiscard]] const std::string& Errors() const { return m_errors; }

private:
    void Error(int line, const std::string& text) {
        m_errors += "line " + std::to_string(line) + ": " + text + "\n";
    }

    [[nodiscard]] bool Vertex() const { return (m_model & (SM_VS11 | SM_VS20 | SM_VS2X | SM_VS30)) != 0; }

    // A macro naming itself in its own value grows the line each round; a
    // statement longer than any real instruction is refused rather than built.
    static constexpr std::size_t kMaxExpandedLine = 16384;

    bool Expand(std::string_view text, std::string& out) const {
        out.assign(text);
        for (int depth = 0; depth < 8 && !m_defines.empty(); ++depth) {
            std::string next;
            bool changed = false;
            for (std::size_t i = 0; i < out.size();) {
                if (next.size() > kMaxExpandedLine) return false;
                if (!IsWordChar(out[i])) { next += out[i++]; continue; }
                std::size_t j = i;
                while (j < out.size() && IsWordChar(out[j])) ++j;
                const std::string word = out.substr(i, j - i);
                const auto found = m_defines.find(word);
                if (found != m_defines.end()) { next += found->second; changed = true; }
                else next += word;
                i = j;
            }
            out = std::move(next);
            if (!changed) break;
        }
        return out.size() <= kMaxExpandedLine;
    }

    void Directive(int line, std::string_view text) {
        text.remove_prefix(1);
        text = Trim(text);
        std::size_t nameEnd = 0;
        while (nameEnd < text.size() && IsWordChar(text[nameEnd])) ++nameEnd;
        const std::string directive(text.substr(0, nameEnd));
        std::string_view rest = Trim(text.substr(nameEnd));
        std::size_t macroEnd = 0;
        while (macroEnd < rest.size() && IsWordChar(rest[macroEnd])) ++macroEnd;
        const std::string macro(rest.substr(0, macroEnd));
        const std::string_view value = Trim(rest.substr(macroEnd));
        // Object-like only: a name followed straight by '(' would take arguments.
        if (directive == "define" && !macro.empty() && (macroEnd == rest.size() || rest[macroEnd] != '(')) {
            m_defines[macro] = std::string(value);
        } else if (directive == "undef" && !macro.empty()) {
            m_defines.erase(macro);
        } else {
            Error(line, "unsupported directive '#" + directive + "'");
        }
    }

    void Statement(int line, std::string_view raw) {
        std::size_t cut = std::min(raw.find("//"), raw.find(';'));
        if (cut != std::string_view::npos) raw = raw.substr(0, cut);
        raw = Trim(raw);
        if (raw.empty()) return;
        if (raw.front() == '#') { Directive(line, raw); return; }
        std::string macroText;
        if (!Expand(raw, macroText)) {
            Error(line, "the line grows too long through its macros");
            return;
        }
        const std::string expanded = Lower(Trim(macroText));
        std::string_view text = expanded;
        if (text.empty()) return;

        bool coissue = false;
        if (text.front() == '+') { coissue = true; text = Trim(text.substr(1)); }
        std::string predicate;
        if (!text.empty() && text.front() == '(') {
            const std::size_t close = text.find(')');
            if (close == std::string_view::npos) { Error(line, "missing ')' after the predicate"); return; }
            predicate = std::string(Trim(text.substr(1, close - 1)));
            text = Trim(text.substr(close + 1));
        }
        std::size_t wordEnd = 0;
        while (wordEnd < text.size() && !std::isspace(static_cast<unsigned char>(text[wordEnd]))) ++wordEnd;
        const std::string word(text.substr(0, wordEnd));
        std::vector<std::string> operands;
        const std::string_view rest = Trim(text.substr(wordEnd));
        if (!rest.empty()) {
            std::size_t start = 0;
            for (;;) {
                const std::size_t comma = rest.find(',', start);
                operands.emplace_back(Trim(rest.substr(start, comma == std::string_view::npos ? std::string_view::npos
                                                                                             : comma - start)));
                if (comma == std::string_view::npos) break;
                start = comma + 1;
            }
        }

        if (Version(line, word, operands)) return;
        if (m_model == 0) {
            Error(line, "missing version line");
            m_stop = true;
            return;
        }
        if (coissue && !(m_model & (SM_PS11 | SM_PS12 | SM_PS13 | SM_PS14))) {
            Error(line, "co-issue '+' is only for ps_1_x");
            return;
        }
        const std::size_t start = m_tokens.size();
        bool ok = false;
        if (word == "dcl" || word.rfind("dcl_", 0) == 0) ok = Declaration(line, word, operands);
        else if (word == "def" || word == "defi" || word == "defb") ok = Definition(line, word, operands);
        else ok = Instruction(line, word, operands, predicate, coissue);
        if (!ok) {
            m_tokens.resize(start);
            return;
        }
        if (m_major >= 2) {
            const std::size_t after = m_tokens.size() - start - 1;
            m_tokens[start] |= static_cast<std::uint32_t>(after) << D3DSI_INSTLENGTH_SHIFT;
        }
    }

    bool Version(int line, const std::string& word, const std::vector<std::string>& operands) {
        if (word.size() < 6 || (word.rfind("vs", 0) != 0 && word.rfind("ps", 0) != 0) ||
            (word[2] != '_' && word[2] != '.') || word[4] != word[2] || !std::isdigit(static_cast<unsigned char>(word[3])))
            return false;
        const bool pixel = word[0] == 'p';
        const std::string minor = word.substr(5);
        const std::uint32_t major = static_cast<std::uint32_t>(word[3] - '0');
        std::uint32_t minorValue = 0;
        if (minor == "x" && major == 2) minorValue = 1;
        else if (minor.size() == 1 && std::isdigit(static_cast<unsigned char>(minor[0]))) minorValue = std::uint32_t(minor[0] - '0');
        else minorValue = 0xFF;
        const std::uint32_t token = pixel ? D3DPS_VERSION(major, minorValue) : D3DVS_VERSION(major, minorValue);
        const std::uint16_t model = minorValue == 0xFF ? 0 : ShaderModelOf(token);
        if (m_model != 0) {
            Error(line, "second version line '" + word + "'");
            return true;
        }
        if (model == 0 || (major == 2 && minorValue == 1 && minor != "x")) {
            Error(line, "unknown shader version '" + word + "'");
            m_stop = true;
            return true;
        }
        if (!operands.empty()) Error(line, "the version line takes no operands");
        m_model = model;
        m_major = major;
        m_name = word;
        m_name[2] = '_';
        m_name[4] = '_';
        m_limits = LimitsOf(model);
        m_tokens.push_back(token);
        return true;
    }

    bool ParseNumber(std::string_view digits, std::uint32_t& value) const {
        if (digits.empty() || digits.size() > 5) return false;
        value = 0;
        for (char c : digits) {
            if (!std::isdigit(static_cast<unsigned char>(c))) return false;
            value = value * 10 + std::uint32_t(c - '0');
        }
        return true;
    }

    // A register name (and relative address) into its type and number.
    bool ParseRegister(int line, std::string_view text, Register& reg, bool destination) {
        const std::string name(text);
        struct Special { const char* name; std::uint32_t type, number, RegisterLimits::*limit; };
        static constexpr Special kSpecial[] = {
            {"opos", D3DSPR_RASTOUT, 0, &RegisterLimits::rast},  {"ofog", D3DSPR_RASTOUT, 1, &RegisterLimits::rast},
            {"opts", D3DSPR_RASTOUT, 2, &RegisterLimits::rast},  {"odepth", D3DSPR_DEPTHOUT, 0, &RegisterLimits::oDepth},
            {"vpos", D3DSPR_MISCTYPE, 0, &RegisterLimits::misc}, {"vface", D3DSPR_MISCTYPE, 1, &RegisterLimits::misc},
            {"al", D3DSPR_LOOP, 0, &RegisterLimits::aL},
        };
        for (const Special& special : kSpecial) {
            if (name != special.name) continue;
            if (m_limits.*special.limit == 0) {
                Error(line, "register '" + name + "' is not available in " + m_name);
                return false;
            }
            reg.type = special.type;
            reg.number = special.number;
            return true;
        }
        struct Prefix { const char* prefix; std::uint32_t type, RegisterLimits::*limit; };
        const Prefix kPrefixes[] = {
            {"oc", D3DSPR_COLOROUT, &RegisterLimits::oC}, {"od", D3DSPR_ATTROUT, &RegisterLimits::oD},
            {"ot", D3DSPR_TEXCRDOUT, &RegisterLimits::oT}, {"o", D3DSPR_OUTPUT, &RegisterLimits::o},
            {"r", D3DSPR_TEMP, &RegisterLimits::r},        {"v", D3DSPR_INPUT, &RegisterLimits::v},
            {"c", D3DSPR_CONST, &RegisterLimits::c},       {"a", D3DSPR_ADDR, &RegisterLimits::a},
            {"t", D3DSPR_TEXTURE, &RegisterLimits::t},     {"s", D3DSPR_SAMPLER, &RegisterLimits::s},
            {"i", D3DSPR_CONSTINT, &RegisterLimits::i},    {"b", D3DSPR_CONSTBOOL, &RegisterLimits::b},
            {"p", D3DSPR_PREDICATE, &RegisterLimits::p},   {"l", D3DSPR_LABEL, &RegisterLimits::l},
        };
        std::size_t letters = 0;
        while (letters < name.size() && std::isalpha(static_cast<unsigned char>(name[letters]))) ++letters;
        const std::string prefix = name.substr(0, letters);
        const Prefix* kind = nullptr;
        for (const Prefix& p : kPrefixes)
            if (prefix == p.prefix) kind = &p;
        std::string_view digits = std::string_view(name).substr(letters);
        std::string_view inside;
        const std::size_t open = digits.find('[');
        if (open != std::string_view::npos) {
            if (digits.back() != ']') {
                Error(line, "unknown register '" + name + "'");
                return false;
            }
            inside = Trim(digits.substr(open + 1, digits.size() - open - 2));
            digits = digits.substr(0, open);
        }
        std::uint32_t number = 0;
        if (!kind || (!digits.empty() && !ParseNumber(digits, number)) || (digits.empty() && open == std::string_view::npos)) {
            Error(line, "unknown register '" + name + "'");
            return false;
        }
        const std::uint32_t limit = m_limits.*(kind->limit);
        if (limit == 0) {
            Error(line, "register '" + name + "' is not available in " + m_name);
            return false;
        }
        if (open != std::string_view::npos && !Relative(line, name, inside, number, reg, destination)) return false;
        if (number > D3DSP_REGNUM_MASK || (!m_skipLimits && number >= limit)) {
            Error(line, "register '" + name + "' is out of range");
            return false;
        }
        reg.type = kind->type;
        reg.number = number;
        return true;
    }

    // "[a0.x + n]", "[n + a0.x]", "[al]", "[al + n]".
    bool Relative(int line, const std::string& name, std::string_view inside, std::uint32_t& number, Register& reg,
                  bool destination) {
        const bool allowed = destination ? (m_model & SM_VS30) != 0
                                         : (m_model & (SM_VS11 | SM_VS20 | SM_VS2X | SM_VS30 | SM_PS30)) != 0;
        if (!allowed) {
            Error(line, "relative addressing is not available for '" + name + "' in " + m_name);
            return false;
        }
        std::string_view address;
        std::uint32_t offset = 0;
        std::size_t plus = inside.find('+');
        std::string_view first = Trim(inside.substr(0, plus));
        std::string_view second = plus == std::string_view::npos ? std::string_view{} : Trim(inside.substr(plus + 1));
        if (!first.empty() && std::isdigit(static_cast<unsigned char>(first.front()))) std::swap(first, second);
        address = first;
        if (!second.empty() && !ParseNumber(second, offset)) {
            Error(line, "bad relative address '" + name + "'");
            return false;
        }
        number += offset;
        std::uint32_t type = 0;
        int component = 0;
        if (address == "al") {
            type = D3DSPR_LOOP;
        } else if (address.rfind("a0", 0) == 0) {
            type = D3DSPR_ADDR;
            if (address.size() == 2) component = 0;
            else if (address.size() == 4 && address[2] == '.' && Component(address[3]) >= 0) component = Component(address[3]);
            else { Error(line, "bad relative address '" + name + "'"); return false; }
        } else {
            Error(line, "bad relative address '" + name + "'");
            return false;
        }
        if (m_model == SM_VS11 && (type != D3DSPR_ADDR || component != 0)) {
            Error(line, "bad relative address '" + name + "'");
            return false;
        }
        reg.relative = true;
        reg.addressToken = D3DSP_PARAM_TOKEN | RegisterBits(type, 0) |
                           (static_cast<std::uint32_t>(component) * 0x55u) << D3DSP_SWIZZLE_SHIFT;
        return true;
    }

    void PushRegister(std::uint32_t token, const Register& reg) {
        token |= RegisterBits(reg.type, reg.number);
        if (reg.relative) token |= D3DSHADER_ADDRMODE_RELATIVE;
        m_tokens.push_back(token);
        if (reg.relative && m_major >= 2) m_tokens.push_back(reg.addressToken);
    }

    bool Destination(int line, std::string_view text, std::uint32_t modifiers) {
        const std::size_t dot = text.find('.', text.find(']') == std::string_view::npos ? 0 : text.find(']'));
        std::uint32_t mask = 0xF;
        if (dot != std::string_view::npos) {
            const std::string_view letters = text.substr(dot + 1);
            mask = 0;
            int last = -1;
            for (char c : letters) {
                const int comp = Component(c);
                if (comp <= last) { mask = 0; break; }
                mask |= 1u << comp;
                last = comp;
            }
            if (mask == 0) {
                Error(line, "bad write mask '." + std::string(letters) + "'");
                return false;
            }
            text = text.substr(0, dot);
        }
        Register reg;
        if (!ParseRegister(line, text, reg, true)) return false;
        PushRegister(D3DSP_PARAM_TOKEN | (mask << D3DSP_WRITEMASK_SHIFT) | modifiers, reg);
        return true;
    }

    bool Source(int line, std::string_view text) {
        const std::string original(text);
        bool negate = false, complement = false, logicalNot = false;
        if (!text.empty() && text.front() == '-') { negate = true; text = Trim(text.substr(1)); }
        if (!text.empty() && text.front() == '!') { logicalNot = true; text = Trim(text.substr(1)); }
        if (text.size() > 1 && text[0] == '1' && Trim(text.substr(1)).front() == '-') {
            complement = true;
            text = Trim(Trim(text.substr(1)).substr(1));
        }
        // Suffix modifiers, before or after the swizzle.
        std::string body(text);
        std::string modifier;
        for (const char* suffix : {"_bias", "_bx2", "_x2", "_dz", "_db", "_dw", "_da", "_abs"}) {
            const std::size_t at = body.find(suffix);
            if (at == std::string::npos) continue;
            if (!modifier.empty()) {
                Error(line, "more than one modifier on '" + original + "'");
                return false;
            }
            modifier = suffix;
            body.erase(at, std::strlen(suffix));
        }
        std::uint32_t swizzle = D3DSP_NOSWIZZLE;
        const std::size_t close = body.find(']');
        const std::size_t dot = body.find('.', close == std::string::npos ? 0 : close);
        if (dot != std::string::npos) {
            const std::string letters = body.substr(dot + 1);
            if (letters.empty() || letters.size() > 4) {
                Error(line, "bad swizzle '." + letters + "'");
                return false;
            }
            swizzle = 0;
            int comp = 0;
            for (std::size_t i = 0; i < 4; ++i) {
                if (i < letters.size()) comp = Component(letters[i]);
                if (comp < 0) {
                    Error(line, "bad swizzle '." + letters + "'");
                    return false;
                }
                swizzle |= static_cast<std::uint32_t>(comp) << (D3DSP_SWIZZLE_SHIFT + 2 * i);
            }
            body.resize(dot);
        }
        std::uint32_t mod = D3DSPSM_NONE;
        const int kinds = int(negate) + int(complement) + int(logicalNot);
        if (modifier.empty()) mod = negate ? D3DSPSM_NEG : complement ? D3DSPSM_COMP : logicalNot ? D3DSPSM_NOT : D3DSPSM_NONE;
        else if (modifier == "_bias") mod = negate ? D3DSPSM_BIASNEG : D3DSPSM_BIAS;
        else if (modifier == "_bx2") mod = negate ? D3DSPSM_SIGNNEG : D3DSPSM_SIGN;
        else if (modifier == "_x2") mod = negate ? D3DSPSM_X2NEG : D3DSPSM_X2;
        else if (modifier == "_abs") mod = negate ? D3DSPSM_ABSNEG : D3DSPSM_ABS;
        else if (!negate) mod = (modifier == "_dz" || modifier == "_db") ? D3DSPSM_DZ : D3DSPSM_DW;
        if (kinds > 1 || ((complement || logicalNot) && !modifier.empty()) ||
            (negate && (modifier == "_dz" || modifier == "_db" || modifier == "_dw" || modifier == "_da"))) {
            Error(line, "modifiers that cannot go together on '" + original + "'");
            return false;
        }
        Register reg;
        if (!ParseRegister(line, Trim(body), reg, false)) return false;
        if (Vertex() && reg.type == D3DSPR_INPUT && !reg.relative && reg.number < 32)
            m_inputReads.emplace_back(line, reg.number);
        PushRegister(D3DSP_PARAM_TOKEN | swizzle | (mod << D3DSP_SRCMOD_SHIFT), reg);
        return true;
    }

    bool Instruction(int line, const std::string& word, const std::vector<std::string>& operands,
                     const std::string& predicate, bool coissue) {
        std::string base = word;
        std::uint32_t modifiers = 0;
        std::uint32_t comparison = 0;
        std::size_t underscore = word.find('_');
        if (underscore != std::string::npos) {
            base = word.substr(0, underscore);
            std::string_view rest = std::string_view(word).substr(underscore + 1);
            while (!rest.empty()) {
                const std::size_t next = rest.find('_');
                const std::string part(rest.substr(0, next));
                rest = next == std::string_view::npos ? std::string_view{} : rest.substr(next + 1);
                static const std::map<std::string, std::uint32_t> kShifts = {
                    {"x2", 1}, {"x4", 2}, {"x8", 3}, {"d2", 15}, {"d4", 14}, {"d8", 13}};
                static const std::map<std::string, std::uint32_t> kCompare = {
                    {"gt", 1}, {"eq", 2}, {"ge", 3}, {"lt", 4}, {"ne", 5}, {"le", 6}};
                if (part == "sat") modifiers |= D3DSPDM_SATURATE;
                else if (part == "pp") modifiers |= D3DSPDM_PARTIALPRECISION;
                else if (part == "centroid") modifiers |= D3DSPDM_MSAMPCENTROID;
                else if (kShifts.count(part) && (modifiers >> D3DSP_DSTSHIFT_SHIFT) == 0)
                    modifiers |= kShifts.at(part) << D3DSP_DSTSHIFT_SHIFT;
                else if (kCompare.count(part) && comparison == 0) comparison = kCompare.at(part);
                else {
                    Error(line, "unknown modifier '_" + part + "' on '" + base + "'");
                    return false;
                }
            }
        }
        std::string name = base;
        if (comparison != 0) {
            if (base == "if") name = "ifc";
            else if (base == "break") name = "breakc";
            else if (base != "setp") {
                Error(line, "'" + base + "' takes no comparison");
                return false;
            }
        } else if (base == "setp") {
            Error(line, "'setp' needs a comparison");
            return false;
        }
        bool known = false;
        const ShaderInstructionInfo* info = FindShaderInstruction(name, m_model, &known);
        if (!known) {
            Error(line, "unknown instruction '" + word + "'");
            return false;
        }
        if (!info) {
            Error(line, "'" + base + "' is not available in " + m_name);
            return false;
        }
        if ((modifiers >> D3DSP_DSTSHIFT_SHIFT) != 0 && m_major >= 2) {
            Error(line, "result shifts are only for ps_1_x");
            return false;
        }
        if ((modifiers != 0) && info->dsts == 0) {
            Error(line, "'" + base + "' has no result to modify");
            return false;
        }
        const std::size_t wanted = std::size_t(info->dsts) + info->srcs;
        if (operands.size() != wanted) {
            Error(line, "'" + base + "' takes " + std::to_string(wanted) + " operands, not " +
                            std::to_string(operands.size()));
            return false;
        }
        std::uint32_t token = info->opcode | (std::uint32_t(info->control | comparison) << D3DSP_OPCODESPECIFICCONTROL_SHIFT);
        if (coissue) token |= D3DSI_COISSUE;
        if (!predicate.empty()) {
            if (!(m_model & (SM_VS2X | SM_VS30 | SM_PS2X | SM_PS30))) {
                Error(line, "predicates are not available in " + m_name);
                return false;
            }
            token |= D3DSHADER_INSTRUCTION_PREDICATED;
        }
        m_tokens.push_back(token);
        std::size_t next = 0;
        if (info->dsts && !Destination(line, operands[next++], modifiers)) return false;
        if (!predicate.empty() && !Source(line, predicate)) return false;
        for (; next < operands.size(); ++next)
            if (!Source(line, operands[next])) return false;
        return true;
    }

    bool Declaration(int line, const std::string& word, const std::vector<std::string>& operands) {
        static const std::map<std::string, std::uint32_t> kUsages = {
            {"position", 0}, {"blendweight", 1}, {"blendindices", 2}, {"normal", 3},  {"psize", 4},
            {"texcoord", 5}, {"tangent", 6},     {"binormal", 7},     {"tessfactor", 8}, {"positiont", 9},
            {"color", 10},   {"fog", 11},        {"depth", 12},       {"sample", 13}};
        static const std::map<std::string, std::uint32_t> kSamplers = {
            {"2d", D3DSTT_2D}, {"cube", D3DSTT_CUBE}, {"volume", D3DSTT_VOLUME}};
        if (!ShaderOpcodeInModel(D3DSIO_DCL, m_model)) {
            Error(line, "'dcl' is not available in " + m_name);
            return false;
        }
        std::uint32_t declToken = D3DSP_PARAM_TOKEN;
        std::uint32_t modifiers = 0;
        bool usage = false, sampler = false;
        std::string_view rest = std::string_view(word).substr(3);
        while (!rest.empty()) {
            rest.remove_prefix(1); // '_'
            const std::size_t next = rest.find('_');
            const std::string part(rest.substr(0, next));
            rest = next == std::string_view::npos ? std::string_view{} : rest.substr(next);
            std::size_t letters = part.size();
            while (letters > 0 && std::isdigit(static_cast<unsigned char>(part[letters - 1]))) --letters;
            const std::string usageName = part.substr(0, letters);
            if (part == "pp") modifiers |= D3DSPDM_PARTIALPRECISION;
            else if (part == "centroid") modifiers |= D3DSPDM_MSAMPCENTROID;
            else if (!usage && !sampler && kSamplers.count(part)) {
                sampler = true;
                declToken |= kSamplers.at(part) << D3DSP_TEXTURETYPE_SHIFT;
            } else if (!usage && !sampler && kUsages.count(usageName)) {
                std::uint32_t index = 0;
                if (letters < part.size() && (!ParseNumber(std::string_view(part).substr(letters), index) || index > 15)) {
                    Error(line, "bad usage index in '" + word + "'");
                    return false;
                }
                usage = true;
                declToken |= kUsages.at(usageName) | (index << D3DSP_DCL_USAGEINDEX_SHIFT);
            } else {
                Error(line, "unknown declaration '" + word + "'");
                return false;
            }
        }
        if (operands.size() != 1) {
            Error(line, "'dcl' takes 1 operand, not " + std::to_string(operands.size()));
            return false;
        }
        const bool vertex = Vertex();
        if (vertex && !usage && !sampler) {
            Error(line, "'" + word + "' needs a usage");
            return false;
        }
        const std::size_t start = m_tokens.size();
        m_tokens.push_back(D3DSIO_DCL);
        m_tokens.push_back(declToken);
        if (!Destination(line, operands[0], modifiers)) return false;
        const std::uint32_t dest = m_tokens[start + 2];
        const std::uint32_t type = ((dest >> D3DSP_REGTYPE_SHIFT) & 7) | ((dest >> D3DSP_REGTYPE_SHIFT2) & 0x18);
        if (sampler != (type == D3DSPR_SAMPLER)) {
            Error(line, sampler ? "a sampler type needs a sampler register" : "a sampler needs its type");
            return false;
        }
        const std::uint32_t number = dest & D3DSP_REGNUM_MASK;
        if (vertex && type == D3DSPR_INPUT && number < 32) m_declaredInputs |= 1u << number;
        return true;
    }

    bool Definition(int line, const std::string& word, const std::vector<std::string>& operands) {
        const std::uint32_t opcode = word == "def" ? D3DSIO_DEF : word == "defi" ? D3DSIO_DEFI : D3DSIO_DEFB;
        const std::uint32_t type = word == "def" ? D3DSPR_CONST : word == "defi" ? D3DSPR_CONSTINT : D3DSPR_CONSTBOOL;
        const std::size_t values = opcode == D3DSIO_DEFB ? 1 : 4;
        if (!ShaderOpcodeInModel(opcode, m_model)) {
            Error(line, "'" + word + "' is not available in " + m_name);
            return false;
        }
        if (operands.size() != values + 1) {
            Error(line, "'" + word + "' takes " + std::to_string(values + 1) + " operands, not " +
                            std::to_string(operands.size()));
            return false;
        }
        m_tokens.push_back(opcode);
        Register reg;
        if (!ParseRegister(line, operands[0], reg, true)) return false;
        if (reg.type != type || reg.relative) {
            Error(line, "'" + word + "' cannot define '" + operands[0] + "'");
            return false;
        }
        PushRegister(D3DSP_PARAM_TOKEN | D3DSP_WRITEMASK_ALL, reg);
        for (std::size_t i = 1; i <= values; ++i) {
            const std::string& value = operands[i];
            char* end = nullptr;
            errno = 0;
            std::uint32_t bits = 0;
            if (opcode == D3DSIO_DEF) {
                const float f = std::strtof(value.c_str(), &end);
                bits = std::bit_cast<std::uint32_t>(f);
                // Authors write C float literals: one suffix after the digits.
                if (end && end != value.c_str() && (*end == 'f' || *end == 'F') && end[1] == '\0') ++end;
            } else if (opcode == D3DSIO_DEFI) {
                const long v = std::strtol(value.c_str(), &end, 10);
                if (v < INT32_MIN || v > INT32_MAX) errno = ERANGE;
                bits = static_cast<std::uint32_t>(static_cast<std::int32_t>(v));
            } else if (value == "true" || value == "false") {
                bits = value == "true" ? 1 : 0;
                end = const_cast<char*>(value.c_str() + value.size());
            }
            if (value.empty() || !end || *end != '\0' || errno == ERANGE) {
                Error(line, "bad value '" + value + "'");
                return false;
            }
            m_tokens.push_back(bits);
        }
        return true;
    }

    bool m_skipLimits;
    std::uint16_t m_model = 0;
    std::uint32_t m_major = 0;
    std::string m_name;
    RegisterLimits m_limits{};
    bool m_stop = false;
    std::map<std::string, std::string> m_defines;
    std::vector<std::uint32_t> m_tokens;
    std::string m_errors;
    std::uint32_t m_declaredInputs = 0;                   // vertex programs: bit per declared v#
    std::vector<std::pair<int, std::uint32_t>> m_inputReads; // line, v# of each read
};

ID3DXBuffer* MakeBuffer(const void* data, std::size_t size) {
    auto* buffer = new ID3DXBuffer(static_cast<std::uint32_t>(size));
    if (size) std::memcpy(buffer->GetBufferPointer(), data, size);
    return buffer;
}

ID3DXBuffer* MakeText(const std::string& text) { return MakeBuffer(text.c_str(), text.size() + 1); }

HRESULT Refuse(const std::string& text, ID3DXBuffer** errors, HRESULT result) {
    if (errors) *errors = MakeText(text);
    return result;
}
} // namespace

HRESULT D3DXAssembleShader(const char* text, std::uint32_t size, std::uint32_t flags, ID3DXBuffer** code,
                           ID3DXBuffer** errors) {
    if (code) *code = nullptr;
    if (errors) *errors = nullptr;
    if (!text && size != 0) return D3DERR_INVALIDCALL;
    Assembler assembler(flags);
    assembler.Run(std::string_view(text ? text : "", size));
    if (!assembler.Errors().empty()) return Refuse(assembler.Errors(), errors, D3DXERR_INVALIDDATA);
    const std::vector<std::uint32_t>& tokens = assembler.Tokens();
    if (code) *code = MakeBuffer(tokens.data(), tokens.size() * sizeof(std::uint32_t));
    return D3D_OK;
}

HRESULT D3DXAssembleShaderFromFile(const char* path, std::uint32_t flags, ID3DXBuffer** code, ID3DXBuffer** errors) {
    if (code) *code = nullptr;
    if (errors) *errors = nullptr;
    if (!path) return D3DERR_INVALIDCALL;
    std::string text;
    os::FileError why = os::FileError::None;
    const std::uint64_t cap = SourceFileByteCap();
    if (!os::ReadWholeFile(path, text, cap, &why))
        return Refuse(os::DescribeFileError(path, why, cap), errors, D3DXERR_INVALIDDATA);
    return D3DXAssembleShader(text.data(), static_cast<std::uint32_t>(text.size()), flags, code, errors);
}

HRESULT D3DXCompileShader(const char* source, std::uint32_t size, const char* entry, const char* profile,
                          std::uint32_t flags, ID3DXBuffer** code, ID3DXBuffer** errors, ID3DXConstantTable** table,
                          const D3DXMACRO* defines, const char* sourceName) {
    // Of the flags only the matrix packing ones change the program: debug
    // and optimisation flags change nothing in the GLSL.
    // Both asked for, row-major wins, as the D3D9 compiler packs them.
    const std::uint8_t majority = (flags & D3DXSHADER_PACKMATRIX_ROWMAJOR)      ? 1
                                  : (flags & D3DXSHADER_PACKMATRIX_COLUMNMAJOR) ? 2
                                                                                : 0;
    if (code) *code = nullptr;
    if (errors) *errors = nullptr;
    if (table) *table = nullptr;
    if (!source && size != 0) return D3DERR_INVALIDCALL;
    std::vector<std::uint8_t> bytes;
    std::string text;
    if (!CompileHlsl(std::string_view(source ? source : "", size), sourceName, defines, entry, profile, bytes, text,
                     majority))
        return Refuse(text, errors, E_FAIL);
    if (table) *table = ID3DXConstantTable::FromCode(bytes.data(), bytes.size());
    if (code) *code = MakeBuffer(bytes.data(), bytes.size());
    return D3D_OK;
}

HRESULT D3DXCompileShaderFromFile(const char* path, const char* entry, const char* profile, std::uint32_t flags,
                                  ID3DXBuffer** code, ID3DXBuffer** errors, ID3DXConstantTable** table,
                                  const D3DXMACRO* defines) {
    if (code) *code = nullptr;
    if (errors) *errors = nullptr;
    if (table) *table = nullptr;
    if (!path) return D3DERR_INVALIDCALL;
    // Read no further than a compile takes: a larger file is refused, not
    // held whole, in the words a larger source in memory is refused with.
    std::string text;
    os::FileError why = os::FileError::None;
    const std::uint64_t cap = SourceFileByteCap();
    if (!os::ReadWholeFile(path, text, cap, &why)) {
        if (why == os::FileError::TooLarge)
            return Refuse(std::string(path) + "(1,1): error: the source passes " + std::to_string(cap) + " bytes\n",
                          errors, E_FAIL);
        return Refuse(os::DescribeFileError(path, why, cap), errors, E_FAIL);
    }
    return D3DXCompileShader(text.data(), static_cast<std::uint32_t>(text.size()), entry, profile, flags, code, errors,
                             table, defines, path);
}

HRESULT D3DXGetShaderConstantTable(const std::uint32_t* function, ID3DXConstantTable** table) {
    if (table) *table = nullptr;
    if (!function || !table) return D3DERR_INVALIDCALL;
    // Only a compiled program's container carries a table; its size is in its header.
    if (!IsShaderContainer(function)) return D3DXERR_INVALIDDATA;
    *table = ID3DXConstantTable::FromCode(function, ShaderContainerSize(function));
    return *table ? D3D_OK : D3DXERR_INVALIDDATA;
}

const char* VertexShaderProfileForCaps(const D3DCAPS9& caps) {
    const std::uint32_t version = caps.VertexShaderVersion & 0xFFFF;
    if (version >= 0x0300) return "vs_3_0";
    if (version >= 0x0200) return "vs_2_0";
    if (version >= 0x0101) return "vs_1_1";
    return nullptr;
}

const char* PixelShaderProfileForCaps(const D3DCAPS9& caps) {
    const std::uint32_t version = caps.PixelShaderVersion & 0xFFFF;
    if (version >= 0x0300) return "ps_3_0";
    if (version >= 0x0200) return "ps_2_0";
    if (version >= 0x0104) return "ps_1_4";
    if (version >= 0x0103) return "ps_1_3";
    if (version >= 0x0102) return "ps_1_2";
    if (version >= 0x0101) return "ps_1_1";
    return nullptr;
}

const char* D3DXGetVertexShaderProfile(IDirect3DDevice9* device) {
    D3DCAPS9 caps{};
    if (!device || FAILED(device->GetDeviceCaps(&caps))) return nullptr;
    return VertexShaderProfileForCaps(caps);
}

const char* D3DXGetPixelShaderProfile(IDirect3DDevice9* device) {
    D3DCAPS9 caps{};
    if (!device || FAILED(device->GetDeviceCaps(&caps))) return nullptr;
    return PixelShaderProfileForCaps(caps);
}

namespace {
std::vector<std::string>& IncludeFolders() {
    static std::vector<std::string> folders;
    return folders;
}
} // namespace

void SetIncludeFolders(std::vector<std::string> folders) { IncludeFolders() = std::move(folders); }
std::vector<std::string> GetIncludeFolders() { return IncludeFolders(); }

std::string JoinIncludePath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    const char last = folder.back();
    return last == '/' || last == '\\' ? folder + name : folder + "/" + name;
}

// A compiled program keeps its version token in the container's kind word.
std::uint32_t D3DXGetShaderVersion(const std::uint32_t* function) {
    if (!function) return 0;
    return IsShaderContainer(function) ? function[2] : function[0];
}

HRESULT D3DXGetShaderInputSemantics(const std::uint32_t* function, D3DXSEMANTIC* semantics, std::uint32_t* count) {
    if (!function || !count) return D3DERR_INVALIDCALL;
    if (IsShaderContainer(function)) {
        ShaderContainer c;
        if (!ReadShaderContainer(function, ShaderContainerSize(function), c)) return D3DERR_INVALIDCALL;
        std::uint32_t n = 0;
        for (const ShaderSemantic& s : c.inputs) {
            if (semantics) semantics[n] = {s.usage, s.index};
            ++n;
        }
        *count = n;
        return D3D_OK;
    }
    // The length is not given: each end token in turn is tried as the end.
    const std::uint32_t kind = function[0] & 0xFFFF0000u;
    std::size_t used = 0;
    for (std::size_t i = 1; i < (std::size_t(1) << 20) && used == 0; ++i)
        if (function[i] == D3DSIO_END) used = WalkShaderTokens(function, i + 1, kind);
    if (used == 0) return D3DERR_INVALIDCALL;
    struct Context { D3DXSEMANTIC* out; std::uint32_t n; } context{semantics, 0};
    (void)WalkShaderTokens(function, used, kind, [](void* c, const std::uint32_t* instruction, std::size_t after) {
        auto& ctx = *static_cast<Context*>(c);
        if ((instruction[0] & D3DSI_OPCODE_MASK) != D3DSIO_DCL || after < 2) return;
        const std::uint32_t dest = instruction[2];
        const std::uint32_t type = ((dest >> D3DSP_REGTYPE_SHIFT) & 7) | ((dest >> D3DSP_REGTYPE_SHIFT2) & 0x18);
        if (type != D3DSPR_INPUT) return;
        if (ctx.out) ctx.out[ctx.n] = {instruction[1] & 0x1F, (instruction[1] >> D3DSP_DCL_USAGEINDEX_SHIFT) & 0xF};
        ++ctx.n;
    }, &context);
    *count = context.n;
    return D3D_OK;
}

} // namespace gfx
