// Reading an effect text: the shared preprocessor (GfxUtilPreprocess.h), a
// tokenizer, and the reader of parameters, functions and techniques. Nothing
// read from the text is trusted: sizes, counts, nesting and macro growth are
// bounded, and every problem is a "file(line): text" line rather than a stop.

#include "platform/gfxutil/GfxUtilEffectData.h"
#include "platform/gfxutil/GfxUtilEffectExpression.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslGuard.h"
#include "platform/gfxutil/GfxUtilPreprocess.h"
#include "platform/gfx/GfxShaderTokens.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

namespace gfx::effect {
namespace {

constexpr std::size_t kMaxErrors = 64;
constexpr std::uint32_t kMaxComponents = 65536; // per parameter
constexpr int kMaxNesting = 64;

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}
std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}
bool IsIdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// A preprocessed line, in the preprocessor's text.
struct Line {
    std::string_view text;
    int file = 0;
    int number = 0;
    std::string pragma; // non-empty: a pragma the reader applies here ("pack_matrix row_major")
};

class Errors {
public:
    explicit Errors(std::vector<std::string>& files) : m_files(files) {}
    void Add(int file, int line, const std::string& text) {
        ++m_count;
        Write(file, line, text);
    }
    // A line in the same buffer that does not refuse the file.
    void Warn(int file, int line, const std::string& text) { Write(file, line, "warning: " + text); }
    [[nodiscard]] bool Any() const { return m_count != 0; }
    [[nodiscard]] const std::string& Text() const { return m_text; }

private:
    void Write(int file, int line, const std::string& text) {
        if (m_lines++ >= kMaxErrors) return;
        m_text += m_files[static_cast<std::size_t>(file)] + "(" + std::to_string(line) + "): " + text + "\n";
    }

    std::vector<std::string>& m_files;
    std::string m_text;
    std::size_t m_count = 0;
    std::size_t m_lines = 0;
};

// ---- tokens ------------------------------------------------------------------

enum class Tok : std::uint8_t { Ident, Number, String, Punct, Asm, Pragma, End };

struct Token {
    Tok kind = Tok::End;
    std::string text;
    int file = 0;
    int line = 0;
    // Where it stands in the preprocessed lines (the end is exclusive), so
    // the text the compiler sees can be cut from the same lines.
    std::size_t li = 0, col = 0, endLi = 0, endCol = 0;
    // A string as written between its quotes, its backslashes kept.
    std::string written = {};
};

// How often the reader looks at the load's deadline: in lines and in tokens.
constexpr std::size_t kLinesPerLook = 1024;
constexpr std::size_t kTokensPerLook = 4096;
constexpr const char* kTooLong = "the effect took too long to read";

bool Expired() {
    const HlslCompileScope* scope = HlslCompileScope::Current();
    return scope && scope->Expired();
}

std::vector<Token> Tokenize(const std::vector<Line>& lines, Errors& errors) {
    std::vector<Token> tokens;
    for (std::size_t li = 0; li < lines.size(); ++li) {
        const std::string_view s = lines[li].text;
        const int file = lines[li].file, line = lines[li].number;
        if (li % kLinesPerLook == kLinesPerLook - 1 && Expired()) {
            errors.Add(file, line, kTooLong);
            break;
        }
        if (!lines[li].pragma.empty()) tokens.push_back({Tok::Pragma, lines[li].pragma, file, line});
        for (std::size_t i = 0; i < s.size();) {
            const char c = s[i];
            const std::size_t tokenCount = tokens.size(), tokenStart = i;
            if (std::isspace(static_cast<unsigned char>(c))) {
                ++i;
            } else if (IsIdentStart(c)) {
                std::size_t j = i;
                while (j < s.size() && IsIdentChar(s[j])) ++j;
                std::string word(s.substr(i, j - i));
                i = j;
                if (Lower(word) == "asm") {
                    // The block's raw text, to its matching '}' (maybe lines on).
                    std::size_t l2 = li, k = i;
                    auto at = [&](std::size_t L, std::size_t K) { return K < lines[L].text.size() ? lines[L].text[K] : '\n'; };
                    while (l2 < lines.size() && (k >= lines[l2].text.size() || std::isspace(static_cast<unsigned char>(at(l2, k))))) {
                        if (k >= lines[l2].text.size()) {
                            ++l2;
                            k = 0;
                        } else {
                            ++k;
                        }
                    }
                    if (l2 < lines.size() && at(l2, k) == '{') {
                        std::string body;
                        int depth = 1;
                        ++k;
                        while (l2 < lines.size() && depth > 0) {
                            if (k >= lines[l2].text.size()) {
                                body += '\n';
                                ++l2;
                                k = 0;
                                continue;
                            }
                            const char d = lines[l2].text[k++];
                            if (d == '{') ++depth;
                            else if (d == '}' && --depth == 0) break;
                            body += d;
                        }
                        if (depth != 0) {
                            errors.Add(file, line, "asm block without its '}'");
                            tokens.push_back({Tok::End, "", file, line});
                            return tokens;
                        }
                        tokens.push_back({Tok::Asm, body, file, line, li, tokenStart, l2, k});
                        li = l2;
                        // continue on the closing line after the brace
                        const std::string_view rest = lines[li].text;
                        std::vector<Line> tail{{rest.substr(k), lines[li].file, lines[li].number, {}}};
                        std::vector<Token> more = Tokenize(tail, errors);
                        more.pop_back(); // its end
                        for (Token& m : more) {
                            m.li = m.endLi = li;
                            m.col += k;
                            m.endCol += k;
                        }
                        tokens.insert(tokens.end(), more.begin(), more.end());
                        goto nextLine;
                    }
                }
                tokens.push_back({Tok::Ident, word, file, line});
            } else if (std::isdigit(static_cast<unsigned char>(c)) ||
                       (c == '.' && i + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
                std::size_t j = i;
                if (c == '0' && j + 1 < s.size() && (s[j + 1] == 'x' || s[j + 1] == 'X')) {
                    j += 2;
                    while (j < s.size() && std::isxdigit(static_cast<unsigned char>(s[j]))) ++j;
                } else {
                    while (j < s.size() && (std::isdigit(static_cast<unsigned char>(s[j])) || s[j] == '.')) ++j;
                    if (j < s.size() && (s[j] == 'e' || s[j] == 'E')) {
                        std::size_t k = j + 1;
                        if (k < s.size() && (s[k] == '+' || s[k] == '-')) ++k;
                        if (k < s.size() && std::isdigit(static_cast<unsigned char>(s[k]))) {
                            j = k;
                            while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
                        }
                    }
                }
                while (j < s.size() && std::strchr("fFhHlLuU", s[j])) ++j;
                tokens.push_back({Tok::Number, std::string(s.substr(i, j - i)), file, line});
                i = j;
            } else if (c == '"') {
                std::string text;
                std::size_t j = i + 1;
                bool closed = false;
                while (j < s.size()) {
                    char d = s[j++];
                    if (d == '"') {
                        closed = true;
                        break;
                    }
                    if (d == '\\' && j < s.size()) {
                        d = s[j++];
                        if (d == 'n') d = '\n';
                        else if (d == 't') d = '\t';
                    }
                    text += d;
                }
                if (!closed) errors.Add(file, line, "string without its closing quote");
                tokens.push_back({Tok::String, text, file, line});
                tokens.back().written = s.substr(i + 1, j - i - 1 - (closed ? 1 : 0));
                i = j;
            } else {
                static const char* kTwo[] = {"<=", ">=", "==", "!=", "&&", "||", "::", "++", "--", "+=", "-=", "*=", "/="};
                std::string p(1, c);
                for (const char* two : kTwo)
                    if (s.compare(i, 2, two) == 0) p = two;
                tokens.push_back({Tok::Punct, p, file, line});
                i += p.size();
            }
            if (tokens.size() == tokenCount + 1) {
                Token& t = tokens.back();
                t.li = t.endLi = li;
                t.col = tokenStart;
                t.endCol = i;
            }
        }
    nextLine:;
    }
    const int file = lines.empty() ? 0 : lines.back().file;
    const int line = lines.empty() ? 1 : lines.back().number;
    tokens.push_back({Tok::End, "", file, line});
    return tokens;
}

// ---- reader ------------------------------------------------------------------

struct TypeInfo {
    std::uint32_t cls = 0, type = 0, rows = 0, columns = 0;
    bool known = false;
};

class Reader {
public:
    Reader(std::vector<Token> tokens, Errors& errors, EffectData& out, bool rowsByDefault)
        : m_errors(errors), m_out(out) {
        m_rowsByDefault = rowsByDefault;
        // Pragmas take effect from where they stand: kept aside by position.
        // Without any, the tokens are taken as they are (a large file's are
        // tens of megabytes).
        if (std::none_of(tokens.begin(), tokens.end(), [](const Token& t) { return t.kind == Tok::Pragma; })) {
            m_t = std::move(tokens);
            return;
        }
        m_t.reserve(tokens.size());
        for (Token& t : tokens) {
            if (t.kind == Tok::Pragma) m_rowMajorFrom.emplace_back(m_t.size(), t.text == "pack_matrix row_major");
            else m_t.push_back(std::move(t));
        }
    }

    void Run() {
        // Room for a parameter per statement outside braces, made once: a
        // file of many parameters would otherwise have them moved and their
        // names rehashed each time their tables grow.
        std::size_t statements = 0;
        int depth = 0;
        for (const Token& t : m_t) {
            if (t.kind != Tok::Punct || t.text.size() != 1) continue;
            if (t.text[0] == '{') ++depth;
            else if (t.text[0] == '}') --depth;
            else if (t.text[0] == ';' && depth == 0) ++statements;
        }
        m_out.ReserveParameters(statements);
        while (!AtEnd() && m_fatal == false) {
            const std::size_t before = m_i;
            TopLevel();
            if (m_i == before) Next(); // never stand still on bad input
        }
    }

private:
    // -- token access
    const Token& Peek(std::size_t ahead = 0) const {
        const std::size_t k = std::min(m_i + ahead, m_t.size() - 1);
        return m_t[k];
    }
    bool AtEnd() const { return Peek().kind == Tok::End; }
    const Token& Next() {
        const Token& t = Peek();
        if (m_i < m_t.size() - 1) ++m_i;
        // Past the deadline every loop of the reader ends at once: the
        // tokens left are passed over.
        if (++m_taken % kTokensPerLook == 0 && Expired()) {
            m_errors.Add(t.file, t.line, kTooLong);
            m_fatal = true;
            m_i = m_t.size() - 1;
        }
        return t;
    }
    bool Is(const char* punct, std::size_t ahead = 0) const {
        const Token& t = Peek(ahead);
        return t.kind == Tok::Punct && t.text == punct;
    }
    bool IsWord(const char* word) const {
        return Peek().kind == Tok::Ident && Lower(Peek().text) == Lower(word);
    }
    bool Accept(const char* punct) {
        if (!Is(punct)) return false;
        Next();
        return true;
    }
    void Error(const Token& at, const std::string& text) {
        m_errors.Add(at.file, at.line, text);
        if (m_errors.Any() && ++m_errorCount > 32) m_fatal = true;
    }
    bool Expect(const char* punct) {
        if (Accept(punct)) return true;
        Error(Peek(), std::string("'") + punct + "' expected" +
                          (AtEnd() ? std::string(" at the end") : " before '" + Peek().text + "'"));
        return false;
    }
    // Skips to after the next ';' at this nesting (or a closing brace).
    void Recover() {
        int depth = 0;
        while (!AtEnd()) {
            if (Is("{") || Is("(") || Is("[")) ++depth;
            else if (Is("}") || Is(")") || Is("]")) {
                if (depth == 0) return;
                --depth;
            } else if (Is(";") && depth == 0) {
                Next();
                return;
            }
            Next();
        }
    }
    // Skips a balanced group starting at the opening token, collecting identifiers.
    bool SkipGroup(const char* open, const char* close, std::set<std::string>* idents) {
        if (!Expect(open)) return false;
        int depth = 1;
        while (!AtEnd()) {
            const Token& t = Next();
            if (t.kind == Tok::Punct && t.text == open) ++depth;
            else if (t.kind == Tok::Punct && t.text == close) {
                if (--depth == 0) return true;
            } else if (t.kind == Tok::Ident && idents) {
                idents->insert(t.text);
            }
        }
        Error(Peek(), std::string("'") + close + "' expected at the end");
        return false;
    }

    // -- types
    TypeInfo ParseType(const std::string& word) {
        TypeInfo ti;
        const std::string w = Lower(word);
        auto numeric = [&](const std::string& base, std::uint32_t type) -> bool {
            if (w.compare(0, base.size(), base) != 0) return false;
            const std::string rest = w.substr(base.size());
            if (rest.empty()) {
                ti = {D3DXPC_SCALAR, type, 1, 1, true};
                return true;
            }
            if (rest.size() == 1 && rest[0] >= '1' && rest[0] <= '4') {
                ti = {D3DXPC_VECTOR, type, 1, static_cast<std::uint32_t>(rest[0] - '0'), true};
                return true;
            }
            if (rest.size() == 3 && rest[0] >= '1' && rest[0] <= '4' && rest[1] == 'x' && rest[2] >= '1' &&
                rest[2] <= '4') {
                ti = {D3DXPC_MATRIX_COLUMNS, type, static_cast<std::uint32_t>(rest[0] - '0'),
                      static_cast<std::uint32_t>(rest[2] - '0'), true};
                return true;
            }
            return false;
        };
        if (word.rfind("bool", 0) == 0 && numeric("bool", D3DXPT_BOOL)) return ti;
        if (word.rfind("int", 0) == 0 && numeric("int", D3DXPT_INT)) return ti;
        if (word.rfind("uint", 0) == 0 && numeric("uint", D3DXPT_INT)) return ti;
        if (word == "dword" || word == "DWORD") return {D3DXPC_SCALAR, D3DXPT_INT, 1, 1, true};
        if (word.rfind("float", 0) == 0 && numeric("float", D3DXPT_FLOAT)) return ti;
        if (word.rfind("half", 0) == 0 && numeric("half", D3DXPT_FLOAT)) return ti;
        if (word.rfind("double", 0) == 0 && numeric("double", D3DXPT_FLOAT)) return ti;
        if (word == "vector" || word == "matrix") {
            std::uint32_t type = D3DXPT_FLOAT, r = word == "matrix" ? 4u : 1u, c = 4;
            if (Is("<")) {
                Next();
                const TypeInfo inner = ParseType(Next().text);
                if (inner.known) type = inner.type;
                std::vector<std::uint32_t> dims;
                while (Accept(",")) {
                    const Token& n = Next();
                    dims.push_back(static_cast<std::uint32_t>(std::strtoul(n.text.c_str(), nullptr, 10)));
                }
                Expect(">");
                if (word == "vector" && dims.size() == 1) c = dims[0];
                if (word == "matrix" && dims.size() == 2) {
                    r = dims[0];
                    c = dims[1];
                }
                if (r < 1 || r > 4 || c < 1 || c > 4) {
                    Error(Peek(), "bad " + word + " size");
                    r = c = 1;
                }
            }
            return {word == "matrix" ? D3DXPC_MATRIX_COLUMNS : D3DXPC_VECTOR, type, r, c, true};
        }
        if (w == "string") return {D3DXPC_OBJECT, D3DXPT_STRING, 0, 0, true};
        if (w == "texture") return {D3DXPC_OBJECT, D3DXPT_TEXTURE, 0, 0, true};
        if (w == "texture1d") return {D3DXPC_OBJECT, D3DXPT_TEXTURE1D, 0, 0, true};
        if (w == "texture2d") return {D3DXPC_OBJECT, D3DXPT_TEXTURE2D, 0, 0, true};
        if (w == "texture3d") return {D3DXPC_OBJECT, D3DXPT_TEXTURE3D, 0, 0, true};
        if (w == "texturecube") return {D3DXPC_OBJECT, D3DXPT_TEXTURECUBE, 0, 0, true};
        if (w == "texture2dms" || w == "texture1darray" || w == "texture2darray" || w == "texture2dmsarray" ||
            w == "texturecubearray") {
            // A later model's texture types: a texture to the effect.
            if (Is("<")) SkipGroup("<", ">", nullptr);
            return {D3DXPC_OBJECT, D3DXPT_TEXTURE, 0, 0, true};
        }
        // SamplerState is a DX9 sampler type too, the same as `sampler`.
        if (w == "sampler" || w == "samplerstate") return {D3DXPC_OBJECT, D3DXPT_SAMPLER, 0, 0, true};
        if (w == "sampler1d") return {D3DXPC_OBJECT, D3DXPT_SAMPLER1D, 0, 0, true};
        if (w == "sampler2d") return {D3DXPC_OBJECT, D3DXPT_SAMPLER2D, 0, 0, true};
        if (w == "sampler3d") return {D3DXPC_OBJECT, D3DXPT_SAMPLER3D, 0, 0, true};
        if (w == "samplercube") return {D3DXPC_OBJECT, D3DXPT_SAMPLERCUBE, 0, 0, true};
        if (w == "vertexshader") return {D3DXPC_OBJECT, D3DXPT_VERTEXSHADER, 0, 0, true};
        if (w == "pixelshader") return {D3DXPC_OBJECT, D3DXPT_PIXELSHADER, 0, 0, true};
        if (word == "void") return {D3DXPC_OBJECT, D3DXPT_VOID, 0, 0, true};
        return ti;
    }

    // -- top level
    void TopLevel() {
        if (Accept(";")) return;
        const std::size_t start = m_i;
        // An fx_2 file may name a technique `technique10` too (not
        // `technique11`, nor that word in another case).
        if (IsWord("technique") || (Peek().kind == Tok::Ident && Peek().text == "technique10")) {
            Next();
            Technique();
            Hide(start, m_i);
            return;
        }
        if (Peek().kind == Tok::Ident && (Peek().text == "struct" || Peek().text == "typedef")) {
            const bool isStruct = Peek().text == "struct";
            Next();
            std::string name;
            if (isStruct && Peek().kind == Tok::Ident) name = Next().text;
            if (!name.empty()) m_structs.insert(name);
            const std::size_t body = m_i;
            if (isStruct && Is("{")) SkipGroup("{", "}", nullptr);
            // A struct ends at its ';' or declares variables: anything else
            // is a ';' left out (or a file cut short), and the text after it
            // would be lost.
            if (isStruct && !Is(";") &&
                !(Peek().kind == Tok::Ident && (Is(";", 1) || Is(",", 1) || Is(":", 1) || Is("=", 1) ||
                                                Is("[", 1) || Is("<", 1)))) {
                const Token& last = m_t[m_i > 0 ? m_i - 1 : 0];
                Error(last, "';' expected after the struct" + (name.empty() ? std::string() : " '" + name + "'"));
                return;
            }
            // A member's type is the word before its name.
            for (std::size_t k = body; !name.empty() && k + 1 < m_i; ++k) {
                if (m_t[k].kind != Tok::Ident || m_t[k + 1].kind != Tok::Ident) continue;
                const std::string w = Lower(m_t[k].text);
                if (w.starts_with("texture") || w == "string" || w == "vertexshader" || w == "pixelshader")
                    m_objectStructs.insert(name);
            }
            Recover();
            return;
        }
        bool isStatic = false, rowMajor = false, columnMajor = false;
        for (;;) {
            const Token& t = Peek();
            if (t.kind != Tok::Ident) break;
            if (t.text == "static") isStatic = true;
            else if (t.text == "row_major") rowMajor = true;
            else if (t.text == "column_major") columnMajor = true;
            else if (t.text != "uniform" && t.text != "extern" && t.text != "shared" && t.text != "const" &&
                     t.text != "volatile" && t.text != "inline")
                break;
            Next();
        }
        // `uniform struct { ... } name;`: a struct global, as above.
        if (Peek().kind == Tok::Ident && Peek().text == "struct") {
            Next();
            if (Peek().kind == Tok::Ident) m_structs.insert(Next().text);
            if (Is("{")) SkipGroup("{", "}", nullptr);
            Recover();
            return;
        }
        const Token& typeToken = Next();
        if (typeToken.kind != Tok::Ident) {
            Error(typeToken, "unexpected '" + typeToken.text + "'");
            Recover();
            return;
        }
        const bool isStructType = m_structs.count(typeToken.text) != 0;
        if (!isStatic && m_objectStructs.count(typeToken.text)) {
            // Textures, strings and programs are the effect's objects: no
            // constant of a struct holds one.
            Error(typeToken, "struct '" + typeToken.text + "' holds an object: no parameter is of its type");
            Recover();
            return;
        }
        TypeInfo ti = isStructType ? TypeInfo{} : ParseType(typeToken.text);
        if (!ti.known && !isStructType) {
            Error(typeToken, "unknown type '" + typeToken.text + "'");
            Recover();
            return;
        }
        // Without a word of its own a matrix takes the packing the last
        // "#pragma pack_matrix" before it asked for.
        bool rowsByDefault = m_rowsByDefault;
        for (const auto& [at, rows] : m_rowMajorFrom)
            if (at <= m_i) rowsByDefault = rows;
        if (ti.cls == D3DXPC_MATRIX_COLUMNS && !columnMajor && (rowMajor || rowsByDefault)) ti.cls = D3DXPC_MATRIX_ROWS;
        const Token& nameToken = Next();
        if (nameToken.kind != Tok::Ident) {
            Error(nameToken, "name expected after '" + typeToken.text + "'");
            Recover();
            return;
        }
        if (Is("(")) {
            Function f;
            f.name = nameToken.text;
            SkipGroup("(", ")", &f.identifiers);
            while (Accept(":")) {
                if (Peek().kind == Tok::Ident) Next();
                if (Is("(")) SkipGroup("(", ")", nullptr);
            }
            if (Is("{")) {
                const std::size_t open = m_i;
                SkipGroup("{", "}", &f.identifiers);
                LocalAnnotations(open, m_i);
            } else {
                Expect(";");
            }
            if (!m_fatal) m_out.functions.push_back(std::move(f));
            return;
        }
        const Token* name = &nameToken;
        for (;;) {
            Parameter p;
            p.name = name->text;
            p.cls = ti.cls;
            p.type = ti.type;
            p.rows = ti.rows;
            p.columns = ti.columns;
            // A static global's value is the compiler's: an initialiser
            // the reader cannot fold (a call of the file's own function)
            // is passed over, not refused.
            m_quietValues = isStatic;
            Declarator(p, *name);
            if (p.Numeric() && !isStructType) Remember(p);
            m_quietValues = false;
            if (isStatic && p.type == D3DXPT_INT && p.cls == D3DXPC_SCALAR && p.elements == 0 && p.data.size() == 1)
                m_constants[p.name] = static_cast<std::int32_t>(p.data[0]);
            if (!isStatic && !isStructType && !m_fatal) {
                const std::string declared = p.name;
                if (!m_out.AddParameter(std::move(p))) Error(*name, "'" + declared + "' declared twice");
            }
            if (!Accept(",")) break;
            name = &Next();
            if (name->kind != Tok::Ident) {
                Error(*name, "name expected");
                Recover();
                return;
            }
        }
        Expect(";");
        // Objects only the effect has: the compiler never sees them. A
        // texture of a dimension stays: the programs may read it as an
        // object through a sampler state (`img.Sample(samp, uv)`), and the
        // compiler takes out what they do not read.
        if (ti.type == D3DXPT_STRING || ti.type == D3DXPT_TEXTURE || ti.type == D3DXPT_VERTEXSHADER ||
            ti.type == D3DXPT_PIXELSHADER)
            Hide(start, m_i);
    }

    // A local variable of a body in [first, end) may carry empty angle
    // brackets, no annotation.
    void LocalAnnotations(std::size_t first, std::size_t end) {
        // The first '>' after a point, found once for all the points before
        // it: a body of many comparisons is read once.
        std::size_t closeAt = first;
        for (std::size_t k = first + 2; k + 2 < end; ++k) {
            const Token& t = m_t[k];
            if (t.kind != Tok::Punct || t.text != "<" || m_t[k - 1].kind != Tok::Ident ||
                m_t[k - 2].kind != Tok::Ident || m_t[k + 1].kind != Tok::Ident)
                continue;
            // `type name < type name = value; ... > =` or `;`
            const std::string w = Lower(m_t[k + 1].text);
            const bool annotation = w == "string" || w.starts_with("bool") || w.starts_with("int") ||
                                    w.starts_with("uint") || w.starts_with("float") || w.starts_with("half") ||
                                    w.starts_with("double") || w == "dword";
            if (!annotation) continue;
            if (closeAt <= k + 1) {
                closeAt = k + 1;
                while (closeAt < end && !(m_t[closeAt].kind == Tok::Punct && m_t[closeAt].text == ">")) ++closeAt;
            }
            const std::size_t close = closeAt;
            const bool declaration = close + 1 < end && m_t[close + 1].kind == Tok::Punct &&
                                     (m_t[close + 1].text == "=" || m_t[close + 1].text == ";");
            if (declaration) {
                Error(t, "a local variable carries no annotations");
                return;
            }
        }
    }

    void Declarator(Parameter& p, const Token& at) {
        // `[]`: as many elements as the initialiser gives.
        bool unsized = false;
        const std::size_t bracketLine = Peek().li, bracketEnd = Peek().endCol;
        if (Is("[") && Is("]", 1)) {
            Next();
            Next();
            unsized = true;
        } else if (Accept("[")) {
            // An integer constant expression, of numbers and the static
            // const integers declared before.
            const Token& first = Peek();
            const std::size_t begin = m_i;
            for (int depth = 0; !AtEnd() && !(depth == 0 && Is("]"));) {
                const Token& t = Next();
                if (t.kind == Tok::Punct && (t.text == "(" || t.text == "[")) ++depth;
                if (t.kind == Tok::Punct && (t.text == ")" || t.text == "]")) --depth;
            }
            std::vector<std::size_t> from;
            const std::vector<ExpressionToken> tokens = ExpressionTokens(begin, m_i, from);
            long long count = 0;
            const auto constant = [&](std::string_view name, ExpressionValue& v) { return ConstantValue(name, v); };
            if (!EvaluateIntegerConstant(tokens, constant, count) || count <= 0 || count > kMaxComponents)
                Error(first, "bad array size");
            else
                p.elements = static_cast<std::uint32_t>(count);
            Expect("]");
        }
        while (Accept(":")) {
            const Token& s = Next();
            if (s.kind != Tok::Ident) {
                Error(s, "semantic expected");
                continue;
            }
            if ((s.text == "register" || s.text == "packoffset") && Is("(")) SkipGroup("(", ")", nullptr);
            else p.semantic = s.text;
        }
        if (p.Components() > kMaxComponents) {
            Error(at, "parameter too large");
            p.elements = 0;
        }
        if (p.Numeric()) p.data.assign(p.Components(), 0);
        if (Is("<")) {
            const std::size_t open = m_i;
            Annotations(p.annotations);
            Hide(open, m_i);
        }
        if (Accept("=")) {
            Initialiser(p, at, unsized);
            // The compiler lays out no constant without its size: it is
            // given the count the initialiser gave.
            if (unsized && p.Numeric() && p.elements != 0)
                m_sizes.push_back({bracketLine, bracketEnd, std::to_string(p.elements)});
        } else if (unsized) Error(at, "'" + p.name + "' has no size and no initialiser to take one from");
        // A sampler's states may follow its name without `= sampler_state`.
        else if (p.type >= D3DXPT_SAMPLER && p.type <= D3DXPT_SAMPLERCUBE && Is("{"))
            StateBlock(p.samplerStates, true);
    }

    void Annotations(std::vector<Parameter>& out) {
        Expect("<");
        ++m_inAnnotation;
        // Names already given in this block, for the check of a name given
        // twice: one look each, however many the block holds.
        std::set<std::string> names;
        for (const Parameter& b : out) names.insert(b.name);
        while (!AtEnd() && !Is(">") && !m_fatal) {
            bool rowMajor = false;
            while (IsWord("row_major") || IsWord("column_major")) rowMajor = Next().text == "row_major";
            const Token& typeToken = Next();
            TypeInfo ti = ParseType(typeToken.text);
            if (!ti.known || (ti.type != D3DXPT_STRING && ti.type != D3DXPT_BOOL && ti.type != D3DXPT_INT &&
                              ti.type != D3DXPT_FLOAT)) {
                Error(typeToken, "bad annotation type '" + typeToken.text + "'");
                while (!AtEnd() && !Is(">") && !Accept(";")) Next();
                continue;
            }
            if (rowMajor && ti.cls == D3DXPC_MATRIX_COLUMNS) ti.cls = D3DXPC_MATRIX_ROWS;
            // `int a = 1, b = 2;`: one annotation a name.
            for (;;) {
                const Token& nameToken = Next();
                Parameter a;
                a.name = nameToken.text;
                a.cls = ti.cls;
                a.type = ti.type;
                a.rows = ti.rows;
                a.columns = ti.columns;
                if (nameToken.kind != Tok::Ident) Error(nameToken, "annotation name expected");
                bool unsized = false;
                if (Is("[") && Is("]", 1)) { // sized by its initial values
                    Next();
                    Next();
                    unsized = true;
                }
                if (a.Numeric()) a.data.assign(a.Components(), 0);
                // An annotation is its value: one without, or a name given
                // twice in a block, the D3D9 compiler refuses.
                if (Accept("=")) {
                    if (unsized && a.Numeric()) {
                        const std::size_t at = m_i;
                        std::vector<double> values;
                        const std::uint32_t per = a.rows * a.columns;
                        if (Values(values, 0) && per > 0 && !values.empty() && values.size() % per == 0) {
                            a.elements = static_cast<std::uint32_t>(values.size() / per);
                            a.data.resize(values.size());
                            for (std::size_t i = 0; i < values.size(); ++i) a.data[i] = Bits(a.type, values[i]);
                        } else if (m_i != at) {
                            Error(nameToken, "annotation '" + a.name + "' has no whole elements");
                        }
                    } else {
                        Initialiser(a, nameToken);
                    }
                } else if (nameToken.kind == Tok::Ident) {
                    Error(nameToken, "annotation '" + a.name + "' without its value");
                }
                if (!names.insert(a.name).second) Error(nameToken, "annotation '" + a.name + "' declared twice");
                out.push_back(std::move(a));
                if (!Accept(",") || m_fatal) break;
            }
            Expect(";");
        }
        --m_inAnnotation;
        Expect(">");
    }

    // Flattens literals, constructors and braces into numbers.
    bool Values(std::vector<double>& out, int depth) {
        if (depth > kMaxNesting) {
            Error(Peek(), "initialiser nested too deeply");
            return false;
        }
        if (Is("{")) {
            Next();
            while (!Is("}") && !AtEnd()) {
                if (!Values(out, depth + 1)) return false;
                if (!Accept(",")) break;
            }
            return Expect("}");
        }
        return Expression(out);
    }

    // One value of an initialiser, to the ',', ';' or '}' that ends it (or
    // the '>' of an annotation block), folded as the compiler folds it: its
    // components added, true. A value that does not fold is an error at its
    // first token, but for a static global's, which is passed over.
    bool Expression(std::vector<double>& out) {
        const Token& first = Peek();
        const std::size_t begin = m_i;
        for (int depth = 0; !AtEnd() && !m_fatal;) {
            const Token& t = Peek();
            if (t.kind == Tok::Punct) {
                // In an annotation a '>' with an operand after it, or half
                // of `>>`, is an operator, not the block's end.
                const Token& after = m_i + 1 < m_t.size() ? m_t[m_i + 1] : t;
                const bool operand = after.kind == Tok::Ident || after.kind == Tok::Number ||
                                     (after.kind == Tok::Punct && (after.text == "(" || after.text == "-" ||
                                                                   after.text == "!" || after.text == "~"));
                const bool shift = (Touching(m_i, m_i + 1) && m_t[m_i + 1].text == ">") ||
                                   (m_i > begin && Touching(m_i - 1, m_i) && m_t[m_i - 1].text == ">");
                if (depth == 0 && (t.text == "," || t.text == ";" || t.text == "}" ||
                                   (m_inAnnotation > 0 && t.text == ">" && !shift && !operand)))
                    break;
                if (t.text == "(" || t.text == "[" || t.text == "{") ++depth;
                else if ((t.text == ")" || t.text == "]" || t.text == "}") && --depth < 0) break;
            }
            Next();
        }
        std::vector<std::size_t> from;
        const std::vector<ExpressionToken> tokens = ExpressionTokens(begin, m_i, from);
        // A parameter's value may name the static globals before it (not
        // another parameter: its value is no literal), a static's any
        // global, an annotation's the statics; static const integers size
        // arrays.
        const ExpressionLookup lookup = [&](std::string_view name, ExpressionValue& value) {
            const auto& known = m_quietValues && m_inAnnotation == 0 ? m_values : m_statics;
            const auto it = known.find(std::string(name));
            if (it != known.end()) {
                value = it->second;
                return true;
            }
            return ConstantValue(name, value);
        };
        ExpressionValue value;
        ExpressionFailure failure;
        if (!EvaluateExpression(tokens, lookup, value, &failure)) {
            if (!m_quietValues) {
                // Told where the value begins, with the reason where the
                // language refuses the value (a division by zero, a
                // bitwise operator on a float) rather than the reader.
                Error(first, "value expected" + (first.text.empty() ? std::string() : " before '" + first.text + "'") +
                                 (failure.refused ? ": " + failure.why : std::string()));
            }
            return false;
        }
        out.insert(out.end(), value.components.begin(), value.components.end());
        if (out.size() > kMaxComponents) {
            Error(first, "initialiser too long");
            return false;
        }
        return true;
    }

    // Whether tokens a and b of `t` stand side by side, as the halves of a
    // two-character operator the tokenizer split.
    static bool Touching(const std::vector<Token>& t, std::size_t a, std::size_t b) {
        return b < t.size() && t[a].kind == Tok::Punct && t[b].kind == Tok::Punct && t[a].li == t[b].li &&
               t[a].endCol == t[b].col && t[a].endLi == t[a].li;
    }
    bool Touching(std::size_t a, std::size_t b) const { return Touching(m_t, a, b); }

    // The tokens [b, e) of `t` as the evaluator reads them, each one's index
    // in `from`.
    static std::vector<ExpressionToken> ExpressionTokens(const std::vector<Token>& t, std::size_t b, std::size_t e,
                                                         std::vector<std::size_t>& from) {
        std::vector<ExpressionToken> tokens;
        from.clear();
        for (std::size_t k = b; k < e; ++k) {
            const Token& one = t[k];
            const auto kind = one.kind == Tok::Ident    ? ExpressionToken::Kind::Word
                              : one.kind == Tok::Number ? ExpressionToken::Kind::Number
                              : one.kind == Tok::Punct  ? ExpressionToken::Kind::Punct
                                                        : ExpressionToken::Kind::Other;
            from.push_back(k);
            if (k + 1 < e && Touching(t, k, k + 1)) {
                const std::string_view two = JoinOperator(one.text, t[k + 1].text);
                if (!two.empty()) {
                    tokens.push_back({kind, two});
                    ++k;
                    continue;
                }
            }
            tokens.push_back({kind, one.text});
        }
        return tokens;
    }
    std::vector<ExpressionToken> ExpressionTokens(std::size_t b, std::size_t e, std::vector<std::size_t>& from) const {
        return ExpressionTokens(m_t, b, e, from);
    }

    // The parameter's value, by name, for the initialisers after it (an
    // expression reads at most a matrix of one: larger arrays are not kept).
    void Remember(const Parameter& p) {
        if (p.data.size() > 16) return;
        ExpressionValue value;
        value.kind = KindOf(p.type);
        value.components.resize(p.data.size());
        for (std::size_t i = 0; i < p.data.size(); ++i) {
            if (p.type == D3DXPT_FLOAT) value.components[i] = std::bit_cast<float>(p.data[i]);
            else if (p.type == D3DXPT_BOOL) value.components[i] = p.data[i] != 0 ? 1.0 : 0.0;
            else value.components[i] = static_cast<std::int32_t>(p.data[i]);
        }
        if (m_quietValues) m_statics[p.name] = value;
        m_values[p.name] = std::move(value);
    }

    static ExpressionKind KindOf(std::uint32_t type) {
        return type == D3DXPT_BOOL ? ExpressionKind::Bool
               : type == D3DXPT_INT ? ExpressionKind::Int
                                    : ExpressionKind::Float;
    }

    static std::uint32_t Bits(std::uint32_t type, double v) {
        if (type == D3DXPT_FLOAT) return std::bit_cast<std::uint32_t>(static_cast<float>(v));
        if (type == D3DXPT_BOOL) return v != 0.0 ? 1u : 0u;
        if (!(v > -2147483649.0 && v < 4294967296.0)) return 0; // NaN or out of range
        return v < 0 ? static_cast<std::uint32_t>(static_cast<std::int32_t>(v)) : static_cast<std::uint32_t>(v);
    }

    // `unsized`: an array declared `[]`, whose elements are as many as the
    // initialiser gives.
    void Initialiser(Parameter& p, const Token& at, bool unsized = false) {
        if (unsized && !p.Numeric() && p.type != D3DXPT_VERTEXSHADER && p.type != D3DXPT_PIXELSHADER) {
            Error(at, "bad array size");
            SkipValue();
            return;
        }
        if (p.type == D3DXPT_STRING) {
            const Token& s = Next();
            if (s.kind != Tok::String) {
                Error(s, "string expected");
                return;
            }
            // An annotation's strings are read as written: they hold Windows
            // paths ("Textures\grass.dds"), whose backslashes are no escapes.
            const bool asWritten = m_inAnnotation > 0;
            p.text = asWritten ? s.written : s.text;
            // Adjacent literals are one string, as in C.
            while (Peek().kind == Tok::String) {
                const Token& next = Next();
                p.text += asWritten ? next.written : next.text;
            }
            return;
        }
        if (p.type >= D3DXPT_SAMPLER && p.type <= D3DXPT_SAMPLERCUBE) {
            // `sampler_state`, or a sampler type word as the DX9 syntax allows
            // (`sampler s = sampler2D { ... }`).
            const std::string word = Peek().kind == Tok::Ident ? Lower(Peek().text) : std::string();
            if (word != "sampler_state" && word != "sampler" && word != "sampler1d" && word != "sampler2d" &&
                word != "sampler3d" && word != "samplercube") {
                Error(Peek(), "sampler_state expected");
                return;
            }
            Next();
            StateBlock(p.samplerStates, true);
            return;
        }
        if (p.type == D3DXPT_VERTEXSHADER || p.type == D3DXPT_PIXELSHADER) {
            p.shader = std::make_unique<State>();
            p.shader->name = p.type == D3DXPT_VERTEXSHADER ? "VertexShader" : "PixelShader";
            p.shader->info = FindState(p.shader->name);
            p.shader->line = at.line;
            if (p.elements == 0 && !unsized) {
                std::vector<Token> value;
                CollectValue(value);
                Value(*p.shader, value);
                return;
            }
            // An array: one program per element, in braces.
            if (!Expect("{")) return;
            while (!AtEnd() && !Is("}") && !m_fatal) {
                State element = *p.shader;
                element.line = Peek().line;
                std::vector<Token> value;
                for (int depth = 0; !AtEnd(); ) {
                    if (depth == 0 && (Is(",") || Is("}") || Is(";"))) break;
                    if (Is("(") || Is("{") || Is("[")) ++depth;
                    if (Is(")") || Is("}") || Is("]")) --depth;
                    value.push_back(Next());
                }
                Value(element, value);
                p.shaders.push_back(std::move(element));
                if (!Accept(",")) break;
            }
            Expect("}");
            if (unsized) p.elements = static_cast<std::uint32_t>(p.shaders.size());
            if (p.elements == 0)
                Error(at, "'" + p.name + "' has no programs");
            else if (p.shaders.size() != p.elements)
                Error(at, "'" + p.name + "' has " + std::to_string(p.shaders.size()) + " programs, " +
                              std::to_string(p.elements) + " expected");
            return;
        }
        if (!p.Numeric() && m_quietValues) {
            SkipValue();
            return;
        }
        if (!p.Numeric()) {
            Error(at, "'" + p.name + "' takes no initialiser");
            Recover();
            return;
        }
        std::vector<double> values;
        const bool list = Is("{");
        const std::size_t start = m_i;
        if (!Values(values, 0)) {
            // Passed over whole, from its start: a list may have stopped
            // inside its braces.
            if (m_quietValues && !m_fatal) {
                m_i = start;
                SkipValue();
            }
            return;
        }
        if (unsized) {
            // Whole elements of the list, at least one.
            const std::uint32_t per = p.rows * p.columns;
            if (!list || values.empty() || per == 0 || values.size() % per != 0) {
                if (m_quietValues) return;
                Error(at, "'" + p.name + "' has " + std::to_string(values.size()) +
                              " initial values, not whole elements of " + std::to_string(per));
                return;
            }
            p.elements = static_cast<std::uint32_t>(values.size() / per);
            p.data.assign(values.size(), 0);
        }
        const std::uint32_t n = p.Components();
        if (values.size() == 1 && !unsized) values.assign(n, values[0]);
        // One expression of more components is truncated, as the compiler
        // truncates it (`float3 v = float4(...)`); a list must fit.
        if (!list && values.size() > n) values.resize(n);
        if (values.size() != n) {
            if (m_quietValues) return;
            Error(at, "'" + p.name + "' has " + std::to_string(values.size()) + " initial values, " +
                          std::to_string(n) + " expected");
            return;
        }
        for (std::uint32_t i = 0; i < n; ++i) p.data[i] = Bits(p.type, values[i]);
    }

    // Passes over the rest of a value, to the ',' or ';' that ends it.
    void SkipValue() {
        for (int depth = 0; !AtEnd();) {
            if (depth == 0 && (Is(",") || Is(";"))) return;
            if (Is("(") || Is("{") || Is("[")) ++depth;
            else if ((Is(")") || Is("}") || Is("]")) && --depth < 0) return;
            Next();
        }
    }

    // -- techniques and states
    void Technique() {
        ::gfx::effect::Technique t;
        if (Peek().kind == Tok::Ident) t.name = Next().text;
        if (Is("<")) Annotations(t.annotations);
        if (!Expect("{")) {
            Recover();
            return;
        }
        while (!AtEnd() && !Is("}") && !m_fatal) {
            if (!IsWord("pass")) {
                Error(Peek(), "pass expected");
                Recover();
                continue;
            }
            Next();
            Pass pass;
            if (Peek().kind == Tok::Ident) pass.name = Next().text;
            if (Is("<")) Annotations(pass.annotations);
            StateBlock(pass.states, false);
            t.passes.push_back(std::move(pass));
        }
        Expect("}");
        Accept(";");
        if (!m_fatal) m_out.techniques.push_back(std::move(t));
    }

    void StateBlock(std::vector<State>& out, bool inSampler) {
        if (!Expect("{")) return;
        while (!AtEnd() && !Is("}") && !m_fatal) {
            const Token& nameToken = Next();
            if (nameToken.kind != Tok::Ident) {
                Error(nameToken, "state name expected");
                Recover();
                continue;
            }
            State s;
            s.name = nameToken.text;
            s.line = nameToken.line;
            s.info = FindState(s.name);
            if (Accept("[")) {
                const Token& n = Next();
                const unsigned long index = std::strtoul(n.text.c_str(), nullptr, 0);
                if (n.kind != Tok::Number) Error(n, "index expected");
                s.index = static_cast<std::uint32_t>(std::min<unsigned long>(index, 0xFFFFFFFFul));
                Expect("]");
            }
            if (!Expect("=")) {
                Recover();
                continue;
            }
            std::vector<Token> value;
            CollectValue(value);
            // `ZEnable = true PixelShader = ...`: a ';' left out between
            // two states, not a value.
            bool run = false;
            for (std::size_t k = 1, depth = 0; k < value.size() && !run; ++k) {
                const std::string& w = value[k].kind == Tok::Punct ? value[k].text : std::string();
                if (w == "(" || w == "{" || w == "[") ++depth;
                else if ((w == ")" || w == "}" || w == "]") && depth > 0) --depth;
                else if (w == "=" && depth == 0) {
                    Error(value[k - 1], "';' expected before '" + value[k - 1].text + "'");
                    run = true;
                }
            }
            Expect(";");
            if (!s.info) {
                s.error = "unknown state '" + s.name + "'";
            } else if (inSampler && s.info->kind != StateKind::Sampler && s.info->kind != StateKind::Texture) {
                s.error = "'" + s.name + "' is not a sampler state";
            } else if (s.info->indices ? s.index >= s.info->indices : s.index != 0) {
                s.error = "'" + s.name + "' has no index " + std::to_string(s.index);
            }
            // Two states run together are one error, not a bad value too.
            if (!run) Value(s, value);
            out.push_back(std::move(s));
        }
        Expect("}");
    }

    // The value's tokens up to the ';' (not eaten).
    void CollectValue(std::vector<Token>& out) {
        int depth = 0;
        while (!AtEnd()) {
            if (depth == 0 && (Is(";") || Is("}"))) return;
            if (Is("(") || Is("{") || Is("[")) ++depth;
            if (Is(")") || Is("}") || Is("]")) --depth;
            out.push_back(Next());
        }
    }

    void Value(State& s, const std::vector<Token>& v) {
        const Token& first = v.empty() ? Peek() : v.front();
        if (v.empty()) {
            Error(first, "value expected for '" + s.name + "'");
            return;
        }
        const StateKind kind = s.info ? s.info->kind : StateKind::Unknown;
        // asm { }
        if (v.size() == 1 && v[0].kind == Tok::Asm) {
            s.source = State::Source::Asm;
            ID3DXBuffer* code = nullptr;
            ID3DXBuffer* errors = nullptr;
            const HRESULT hr = D3DXAssembleShader(v[0].text.data(), static_cast<std::uint32_t>(v[0].text.size()), 0,
                                                  &code, &errors);
            if (FAILED(hr)) {
                std::string text = errors ? static_cast<const char*>(errors->GetBufferPointer()) : "";
                while (!text.empty() && (text.back() == '\n' || text.back() == '\0')) text.pop_back();
                Error(v[0], "asm: " + text);
            } else {
                const auto* words = static_cast<const std::uint32_t*>(code->GetBufferPointer());
                s.code.assign(words, words + code->GetBufferSize() / 4);
                const std::uint32_t kindBits = s.code.empty() ? 0 : s.code[0] & 0xFFFF0000u;
                if ((kind == StateKind::VertexShader && kindBits != 0xFFFE0000u) ||
                    (kind == StateKind::PixelShader && kindBits != 0xFFFF0000u))
                    Error(v[0], "asm: program of the other kind for '" + s.name + "'");
                else if (kind != StateKind::VertexShader && kind != StateKind::PixelShader && s.error.empty())
                    s.error = "'" + s.name + "' takes no program";
            }
            if (code) code->Release();
            if (errors) errors->Release();
            return;
        }
        // compile profile entry(args)
        if (v[0].kind == Tok::Ident && v[0].text == "compile") {
            s.source = State::Source::Compile;
            if (v.size() < 4 || v[1].kind != Tok::Ident || v[2].kind != Tok::Ident || v[3].text != "(") {
                Error(v[0], "compile: profile and entry expected");
                return;
            }
            const std::string profile = Lower(v[1].text);
            std::uint32_t major = 0, minor = 0;
            const bool vs = profile.rfind("vs_", 0) == 0, ps = profile.rfind("ps_", 0) == 0;
            if ((vs || ps) && profile.size() == 6 && std::isdigit(static_cast<unsigned char>(profile[3])) &&
                profile[4] == '_') {
                major = static_cast<std::uint32_t>(profile[3] - '0');
                minor = profile[5] == 'x' ? 1 : static_cast<std::uint32_t>(profile[5] - '0');
            } else {
                Error(v[1], "compile: unknown profile '" + v[1].text + "'");
                return;
            }
            if ((kind == StateKind::VertexShader && !vs) || (kind == StateKind::PixelShader && !ps))
                Error(v[1], "compile: profile '" + v[1].text + "' does not fit '" + s.name + "'");
            // Until compiled: the profile's version alone.
            s.code = {vs ? D3DVS_VERSION(major, minor) : D3DPS_VERSION(major, minor), D3DSIO_END};
            s.entry = v[2].text;
            s.profile = profile;
            std::size_t close = 4;
            for (int depth = 1; close < v.size(); ++close) {
                if (v[close].text == "(") ++depth;
                else if (v[close].text == ")" && --depth == 0) break;
            }
            for (std::size_t i = 4; i < close; ++i) {
                if (v[i].kind == Tok::Ident) s.arguments.insert(v[i].text);
                if (!s.callArguments.empty() && v[i].text != "," && v[i - 1].text != "," && v[i - 1].text != "(" &&
                    v[i].text != ")" && v[i - 1].text != "-")
                    s.callArguments += ' ';
                s.callArguments += v[i].kind == Tok::String ? "\"" + v[i].text + "\"" : v[i].text;
            }
            if (close + 1 < v.size()) Error(v[close < v.size() ? close : 0], "compile: unexpected text after the call");
            return;
        }
        if (v.size() == 1 && v[0].kind == Tok::Ident && Upper(v[0].text) == "NULL") {
            s.source = State::Source::Null;
            if (kind != StateKind::VertexShader && kind != StateKind::PixelShader && kind != StateKind::Texture &&
                s.error.empty())
                s.error = "'" + s.name + "' cannot be NULL";
            return;
        }
        // (Shaders[Picks[Which]]): an element of a shader array, picked
        // when the pass begins.
        if (kind == StateKind::VertexShader || kind == StateKind::PixelShader) {
            std::size_t first = 0, end = v.size();
            if (end >= 2 && v[0].text == "(" && v[end - 1].text == ")") ++first, --end;
            if (end - first >= 4 && v[first].kind == Tok::Ident && v[first + 1].text == "[") {
                Selector(s, v, first, end);
                return;
            }
        }
        // <name>, (name), or a bare parameter name; a constant's name in
        // brackets is its value, and so is a value word in parentheses.
        std::string ref;
        std::uint32_t word = 0;
        if (v.size() == 3 && ((v[0].text == "<" && v[2].text == ">") || (v[0].text == "(" && v[2].text == ")")) &&
            v[1].kind == Tok::Ident &&
            (m_out.ParameterIndex(v[1].text) >= 0 ||
             !(IsConstantName(v[1].text) ||
               (v[0].text == "(" && (FindValueWord(s.info ? s.info->value : ValueType::Dword, v[1].text, word) ||
                                     Upper(v[1].text) == "TRUE" || Upper(v[1].text) == "FALSE")))))
            ref = v[1].text;
        else if (v.size() == 1 && v[0].kind == Tok::Ident && m_out.ParameterIndex(v[0].text) >= 0)
            ref = v[0].text;
        if (!ref.empty()) {
            s.source = State::Source::Parameter;
            s.parameter = m_out.ParameterIndex(ref);
            if (s.parameter < 0) {
                Error(v[0], "unknown parameter '" + ref + "'");
                return;
            }
            if (s.error.empty()) s.error = ParameterFits(kind, m_out.parameters[static_cast<std::size_t>(s.parameter)]);
            return;
        }
        s.source = State::Source::Literal;
        const ValueType type = s.info ? s.info->value : ValueType::Dword;
        // `<expression>`: the value of what the brackets hold.
        const bool angled = v.size() > 2 && v.front().kind == Tok::Punct && v.front().text == "<" &&
                            v.back().kind == Tok::Punct && v.back().text == ">";
        if (angled) {
            const std::vector<Token> inner(v.begin() + 1, v.end() - 1);
            Literal(s, kind, type, inner, true);
            return;
        }
        Literal(s, kind, type, v, false);
    }

    // Whether `name` is a constant an expression may read (a static global's
    // or a static const integer's), not a parameter.
    bool IsConstantName(const std::string& name) const {
        return m_out.ParameterIndex(name) < 0 && (m_statics.count(name) != 0 || m_constants.count(name) != 0);
    }

    // Whether a plain state's value is numbers or value words joined by
    // '|', a number maybe negated: read as words; anything else is a
    // constant expression.
    bool WordsAndNumbers(const std::vector<Token>& v, ValueType type) const {
        for (std::size_t i = 0; i < v.size(); ++i) {
            const Token& t = v[i];
            if (t.kind == Tok::Number) continue;
            if (t.kind == Tok::Punct && t.text == "|" && i > 0 && i + 1 < v.size()) continue;
            if (t.kind == Tok::Punct && t.text == "-" && i + 1 < v.size() && v[i + 1].kind == Tok::Number) continue;
            if (t.kind != Tok::Ident) return false;
            std::uint32_t number = 0;
            if (!FindValueWord(type, t.text, number) && IsConstantName(t.text)) return false;
        }
        return true;
    }

    // A literal state's value: `angled`, it stood in angle brackets.
    void Literal(State& s, StateKind kind, ValueType type, const std::vector<Token>& v, bool angled) {
        // Shader constants: numbers (constructors, braces) in registers of
        // four; a light's or the material's colours and vectors likewise.
        if ((kind >= StateKind::VertexConstantF && kind <= StateKind::PixelConstantB) || type == ValueType::Vector) {
            std::vector<double> values;
            const std::size_t save = m_i;
            std::vector<Token> tokens = v;
            tokens.push_back({Tok::End, "", v.back().file, v.back().line});
            std::swap(m_t, tokens);
            m_i = 0;
            const bool ok = Values(values, 0) && AtEnd();
            std::swap(m_t, tokens);
            m_i = save;
            if (!ok) {
                Error(v[0], "bad value for '" + s.name + "'");
                return;
            }
            if (type == ValueType::Vector && values.size() > 4) {
                Error(v[0], "bad value for '" + s.name + "'");
                return;
            }
            const bool isBool = kind == StateKind::VertexConstantB || kind == StateKind::PixelConstantB;
            while (!isBool && values.size() % 4) values.push_back(0.0);
            const bool isFloat =
                kind == StateKind::VertexConstantF || kind == StateKind::PixelConstantF || type == ValueType::Vector;
            for (const double d : values) s.literal.push_back(Bits(isFloat ? D3DXPT_FLOAT : D3DXPT_INT, d));
            return;
        }
        if (angled || !WordsAndNumbers(v, type)) {
            if (type != ValueType::Object) {
                StateExpression(s, type, v);
                return;
            }
            if (s.error.empty()) s.error = "'" + s.name + "' needs a parameter or a program";
            s.literal = {0};
            return;
        }
        // Numbers or words joined by '|'.
        std::uint32_t bits = 0;
        bool negative = false;
        for (std::size_t i = 0; i < v.size(); ++i) {
            const Token& t = v[i];
            if (t.text == "|" && i > 0 && i + 1 < v.size()) continue;
            if (t.text == "-" && i + 1 < v.size() && v[i + 1].kind == Tok::Number) {
                negative = true;
                continue;
            }
            if (t.kind == Tok::Number) {
                const bool hex = t.text.size() > 2 && t.text[0] == '0' && (t.text[1] == 'x' || t.text[1] == 'X');
                const double d = hex ? static_cast<double>(std::strtoull(t.text.c_str(), nullptr, 16))
                                     : std::strtod(t.text.c_str(), nullptr);
                bits |= Bits(type == ValueType::Float ? D3DXPT_FLOAT : D3DXPT_INT, negative ? -d : d);
                negative = false;
            } else if (t.kind == Tok::Ident) {
                std::uint32_t number = 0;
                if (type == ValueType::TexCoordIndex && FindValueWord(type, t.text, number)) bits |= number;
                else if (FindValueWord(type, t.text, number)) bits |= number;
                else if (type == ValueType::Dword && (Upper(t.text) == "TRUE" || Upper(t.text) == "FALSE"))
                    bits |= Upper(t.text) == "TRUE" ? 1u : 0u;
                else if (s.error.empty()) s.error = "bad value '" + t.text + "' for '" + s.name + "'";
            } else if (s.error.empty()) {
                s.error = "bad value '" + t.text + "' for '" + s.name + "'";
            }
        }
        if (type == ValueType::Object && s.error.empty()) s.error = "'" + s.name + "' needs a parameter or a program";
        s.literal = {bits};
    }

    // A plain state's value as a constant expression: numbers, the value
    // words of the state (each its number), TRUE and FALSE, the static
    // globals' values, with every operator an initialiser may use. What
    // does not fold refuses the effect at its line: a technique that could
    // never validate would otherwise load without a word.
    void StateExpression(State& s, ValueType type, const std::vector<Token>& v) {
        if (v.empty()) {
            Error(Peek(), "value expected for '" + s.name + "'");
            return;
        }
        std::vector<std::size_t> from;
        const std::vector<ExpressionToken> tokens = ExpressionTokens(v, 0, v.size(), from);
        const ExpressionLookup lookup = [&](std::string_view name, ExpressionValue& value) {
            const std::string word(name);
            std::uint32_t number = 0;
            if (FindValueWord(type, word, number)) {
                value.components = {static_cast<double>(number)};
                value.kind = ExpressionKind::Uint;
                return true;
            }
            const std::string upper = Upper(word);
            if (upper == "TRUE" || upper == "FALSE") {
                value.components = {upper == "TRUE" ? 1.0 : 0.0};
                value.kind = ExpressionKind::Bool;
                return true;
            }
            if (m_out.ParameterIndex(word) >= 0) return false; // a parameter's value is no constant
            if (const auto it = m_statics.find(word); it != m_statics.end()) {
                value = it->second;
                return true;
            }
            return ConstantValue(word, value);
        };
        ExpressionValue value;
        ExpressionFailure failure;
        if (!EvaluateExpression(tokens, lookup, value, &failure)) {
            const std::size_t at = failure.token < from.size() ? from[failure.token] : 0;
            Error(v[at], "bad value for '" + s.name + "': " + failure.why);
            return;
        }
        if (value.components.size() != 1) {
            Error(v[0], "bad value for '" + s.name + "': one component expected, " +
                            std::to_string(value.components.size()) + " given");
            return;
        }
        s.literal = {Bits(type == ValueType::Float ? D3DXPT_FLOAT : D3DXPT_INT, value.components[0])};
    }

    // `Name[Index[...[Last]]]` in tokens [first, end) of a shader state's
    // value: the shader array, the int arrays indexing it, and the last
    // index, an int parameter or a number.
    void Selector(State& s, const std::vector<Token>& v, std::size_t first, std::size_t end) {
        s.source = State::Source::Selected;
        std::size_t i = first;
        std::size_t closes = 0;
        for (;;) {
            if (i >= end || v[i].kind != Tok::Ident) break;
            const int index = m_out.ParameterIndex(v[i].text);
            if (index < 0) {
                Error(v[i], "unknown parameter '" + v[i].text + "'");
                return;
            }
            const Parameter& p = m_out.parameters[static_cast<std::size_t>(index)];
            const bool outermost = s.selector.empty();
            if (outermost ? (p.type != (s.info->kind == StateKind::VertexShader ? D3DXPT_VERTEXSHADER
                                                                                 : D3DXPT_PIXELSHADER) ||
                             p.elements == 0)
                          : (p.type != D3DXPT_INT && p.type != D3DXPT_FLOAT && p.type != D3DXPT_BOOL) ||
                                p.rows != 1 || p.columns != 1) {
                Error(v[i], "'" + p.name + "' cannot pick the program of '" + s.name + "'");
                return;
            }
            s.selector.push_back(index);
            ++i;
            if (i < end && v[i].text == "[") {
                if (!outermost && p.elements == 0) break;
                ++closes;
                ++i;
                continue;
            }
            if (outermost || p.elements != 0) break; // an array without its index
            // The innermost index: a scalar parameter.
            while (closes > 0 && i < end && v[i].text == "]") --closes, ++i;
            if (closes == 0 && i == end) return;
            break;
        }
        // The innermost index written as a number.
        if (i < end && v[i].kind == Tok::Number && !s.selector.empty() &&
            m_out.parameters[static_cast<std::size_t>(s.selector.back())].elements != 0) {
            const unsigned long n = std::strtoul(v[i].text.c_str(), nullptr, 0);
            s.selectorIndex = static_cast<std::int64_t>(std::min<unsigned long>(n, 0x7FFFFFFFul));
            ++i;
            while (closes > 0 && i < end && v[i].text == "]") --closes, ++i;
            if (closes == 0 && i == end) return;
        }
        Error(v[first], "bad program expression for '" + s.name + "'");
        s.selector.clear();
    }

    static std::string ParameterFits(StateKind kind, const Parameter& p) {
        const bool texture = p.type >= D3DXPT_TEXTURE && p.type <= D3DXPT_TEXTURECUBE;
        const bool sampler = p.type >= D3DXPT_SAMPLER && p.type <= D3DXPT_SAMPLERCUBE;
        bool fits = true;
        switch (kind) {
        case StateKind::Texture: fits = texture; break;
        case StateKind::SamplerObject: fits = sampler; break;
        case StateKind::VertexShader: fits = p.type == D3DXPT_VERTEXSHADER; break;
        case StateKind::PixelShader: fits = p.type == D3DXPT_PIXELSHADER; break;
        case StateKind::Transform: fits = p.type == D3DXPT_FLOAT && p.rows == 4 && p.columns == 4; break;
        case StateKind::Unknown: break;
        default: fits = p.Numeric(); break;
        }
        return fits ? std::string() : "parameter '" + p.name + "' does not fit its state";
    }

public:
    // Spans of the preprocessed lines the compiler must not see: techniques,
    // annotations and the effect's own object declarations.
    struct Span {
        std::size_t li, col, endLi, endCol;
    };
    [[nodiscard]] const std::vector<Span>& Hidden() const { return m_hidden; }
    // Text the compiler must see that the effect's does not hold: the sizes
    // of arrays declared `[]`, each to go at a column of a preprocessed line.
    struct Insertion {
        std::size_t li, col;
        std::string text;
    };
    [[nodiscard]] const std::vector<Insertion>& Inserted() const { return m_sizes; }

private:
    // Tokens [first, end) hidden.
    void Hide(std::size_t first, std::size_t end) {
        if (end <= first || end > m_t.size() || m_t[end - 1].kind == Tok::End) return;
        m_hidden.push_back({m_t[first].li, m_t[first].col, m_t[end - 1].endLi, m_t[end - 1].endCol});
    }

    std::vector<Span> m_hidden;
    std::vector<Insertion> m_sizes;
    std::vector<Token> m_t;
    std::vector<std::pair<std::size_t, bool>> m_rowMajorFrom; // token index, rows from there on
    bool m_rowsByDefault = false;                              // before any pragma: the compile flags' packing
    // A static const integer's value, as the expressions read it.
    bool ConstantValue(std::string_view name, ExpressionValue& value) const {
        const auto c = m_constants.find(std::string(name));
        if (c == m_constants.end()) return false;
        value.components = {static_cast<double>(c->second)};
        value.kind = ExpressionKind::Int;
        return true;
    }

    std::size_t m_i = 0;
    std::size_t m_taken = 0; // tokens passed, for the deadline's look
    Errors& m_errors;
    EffectData& m_out;
    std::set<std::string> m_structs;
    std::set<std::string> m_objectStructs; // structs with a texture, string or program member
    std::map<std::string, long long> m_constants; // static const integers, which may size arrays
    std::map<std::string, ExpressionValue> m_values;  // every numeric global's value, by name
    std::map<std::string, ExpressionValue> m_statics; // the static ones
    bool m_quietValues = false; // reading a static global's initialiser
    int m_inAnnotation = 0;
    int m_errorCount = 0;
    bool m_fatal = false;
};

} // namespace

bool ReadEffect(const std::string& text, const std::string& fileName, const D3DXMACRO* defines, EffectData& out,
                std::string& errorText, std::uint8_t majority) {
    // One deadline for all the compiles of the effect's programs; its
    // includes capped as a compile's are.
    const HlslCompileScope scope;
    PreprocessedText pre;
    Errors errors(pre.files);
    PreprocessOptions options;
    options.defines = defines;
    options.what = "text";
    const PreprocessReport report = [&](int file, int line, const std::string& problem, bool warning) {
        if (warning) errors.Warn(file, line, problem);
        else errors.Add(file, line, problem);
    };
    (void)PreprocessText(text, fileName, options, scope, report, pre);
    std::string messages;
    if (!errors.Any()) {
        // The preprocessed lines; a packing pragma stands on a line of its own.
        std::vector<Line> read;
        const std::string_view kPack = "#pragma pack_matrix(";
        for (std::size_t at = 0, k = 0; at < pre.text.size() && k < pre.origins.size(); ++k) {
            const std::size_t end = pre.text.find('\n', at);
            const std::string_view l = std::string_view(pre.text).substr(at, end - at);
            at = end + 1;
            const PreprocessedText::Origin o = pre.origins[k];
            if (!l.starts_with(kPack)) {
                read.push_back({l, o.file, o.line, {}});
                continue;
            }
            const std::string_view how = l.substr(kPack.size(), l.size() - kPack.size() - 1); // "row_major"
            read.push_back({{}, o.file, o.line, "pack_matrix " + std::string(how)});
        }
        Reader reader(Tokenize(read, errors), errors, out, majority == 1);
        // Past the deadline the tokens may stop short: the reason, not what
        // reading them would say.
        if (!Expired()) reader.Run();
        else if (!errors.Any()) errors.Add(0, 0, kTooLong);
        if (!errors.Any()) {
            // The compiler reads the same preprocessed lines, one for one,
            // with what only the effect knows blanked out.
            std::vector<std::string> lines;
            std::vector<SourceLine> where;
            for (std::size_t at = 0, k = 0; k < read.size(); ++k) {
                const std::size_t end = pre.text.find('\n', at);
                lines.emplace_back(pre.text, at, end - at); // the packing pragmas as written
                at = end + 1;
                where.push_back({pre.files[static_cast<std::size_t>(read[k].file)], read[k].number});
            }
            for (const Reader::Span& h : reader.Hidden())
                for (std::size_t li = h.li; li <= h.endLi && li < lines.size(); ++li) {
                    std::string& t = lines[li];
                    const std::size_t from = li == h.li ? h.col : 0;
                    const std::size_t to = li == h.endLi ? std::min(h.endCol, t.size()) : t.size();
                    for (std::size_t c = from; c < to; ++c) t[c] = ' ';
                }
            // Last first: an insertion moves what stands after it on its line.
            for (auto it = reader.Inserted().rbegin(); it != reader.Inserted().rend(); ++it)
                if (it->li < lines.size() && it->col <= lines[it->li].size())
                    lines[it->li].insert(it->col, it->text);
            std::string source;
            for (const std::string& l : lines) source += l + "\n";
            if (!CompileEffectShaders(out, source, where, pre.files[0], messages, majority))
                errors.Add(0, 0, "the effect took too long to compile");
        }
    }
    errorText = errors.Text() + messages;
    return !errors.Any();
}

} // namespace gfx::effect
