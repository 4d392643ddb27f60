// Programs other projects ship for Direct3D 9, compiled at their own
// profiles and defines, created, given a value for every constant of their
// table and drawn on the gl back end. The set lives outside the project
// (REALWORLD_DIR: programs.txt, SOURCES.md); without it the tests skip.
//
// The set is a thousand programs and more: they compile side by side on
// threads (each compile runs in a child of its own), and are created and
// drawn in order on one device, as each compile comes in.
//
// Environment:
//   ORVANE_REALWORLD_FAILURES=<path>  every program that fails, with the
//                                     failure, listed or not
//   ORVANE_REALWORLD_ONLY=<text>      only the programs whose file or
//                                     entry point contains the text
//   ORVANE_REALWORLD_GLSL=1           prints what the device is given
//   ORVANE_REALWORLD_JOBS=<n>         compiles at once (default: the
//                                     processors this process may use)

#include "platform/gfxutil/GfxUtilConstantTable.h"
#include "platform/gfxutil/GfxUtilShader.h"

#include "platform/gfx/GfxShaderContainer.h"
#include "platform/gfx/GfxShaderTokens.h"
#include "tests/platform/gfx/GfxProgramFixture.h"
#include "tests/platform/gfxutil/HlslRegisterUse.h"

#include <gtest/gtest.h>

#include <sched.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using namespace gfx;

namespace {

const std::string kFolder = REALWORLD_DIR;

struct RealWorldProgram {
    std::string file; // below kFolder
    std::string entry, profile;
    std::vector<std::pair<std::string, std::string>> defines;
    // Values the test gives a constant in place of its own choice.
    std::vector<std::pair<std::string, std::vector<float>>> values;
    // Values the test gives an input ("texcoord1") at every vertex in place
    // of its own: of the program's vertices, or from its partner to a pixel
    // program.
    std::vector<std::pair<std::string, std::array<float, 4>>> inputs;
    std::string knownFailure; // empty: the program must compile, create and draw
    std::string failureText;  // what the failure message must contain, when given
    std::string key;          // the manifest line's words without the failure note, one space apart

    [[nodiscard]] bool Vertex() const { return profile.rfind("vs_", 0) == 0; }
    [[nodiscard]] int Major() const { return profile.size() > 3 ? profile[3] - '0' : 0; }
};

std::ostream& operator<<(std::ostream& out, const RealWorldProgram& p) { return out << p.key; }

// The words of a line, one space apart.
std::string KeyOf(const std::string& line) {
    std::stringstream words(line);
    std::string key, word;
    while (words >> word) key += (key.empty() ? "" : " ") + word;
    return key;
}

std::vector<float> ParseFloats(const std::string& text) {
    std::vector<float> out;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) out.push_back(std::strtof(item.c_str(), nullptr));
    return out;
}

bool SetPresent() { return std::filesystem::is_regular_file(kFolder + "/programs.txt"); }

const char* Env(const char* name) {
    const char* v = std::getenv(name);
    return v && *v ? v : nullptr;
}

// "! reason ~ text" at a line's end: the program is known to fail, with a
// message that contains the text. Taken off the line.
void TakeFailureNote(std::string& line, RealWorldProgram& p) {
    const std::size_t bang = line.find('!');
    if (bang == std::string::npos) return;
    p.knownFailure = line.substr(bang + 1);
    p.knownFailure.erase(0, p.knownFailure.find_first_not_of(' '));
    const std::size_t tilde = p.knownFailure.find(" ~ ");
    if (tilde != std::string::npos) {
        p.failureText = p.knownFailure.substr(tilde + 3);
        p.knownFailure.erase(tilde);
    }
    if (p.knownFailure.empty()) p.knownFailure = "(no reason given)";
    line.erase(bang);
}

// A line without its comment and line end.
std::string CleanLine(std::string line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    return line;
}

// The project's own list of programs of the set that fail today, each as
// its manifest line with a failure note: "file entry profile [defines]
// ! reason ~ text". A program listed there is expected to fail so, as one
// the manifest marks; the list only shrinks.
void ReadOpenFailures(std::vector<RealWorldProgram>& programs) {
    std::ifstream in(REALWORLD_OPEN_FAILURES);
    std::string line;
    while (std::getline(in, line)) {
        line = CleanLine(line);
        RealWorldProgram note;
        TakeFailureNote(line, note);
        const std::string key = KeyOf(line);
        if (key.empty() || note.knownFailure.empty()) continue;
        for (RealWorldProgram& p : programs)
            if (p.key == key && p.knownFailure.empty()) {
                p.knownFailure = note.knownFailure;
                p.failureText = note.failureText;
            }
    }
}

// The project's own values for programs of the set whose constants or
// inputs, left to the test's sets, make them draw nothing by their own logic
// (a light whose range ends short of every pixel, an alpha threshold in a
// texture coordinate's w): "file @Name=v,v ... %input=x,y,z,w ..." gives them
// to every program of that file, "file Entry ... @Name=v,v ..." only to those
// entry points (a camera one entry needs may fold another's mesh onto a
// line); an input is named by its usage and index ("texcoord1"; components
// left out are 0, w 1). The manifest's own values come after and win.
struct ProjectValues {
    std::string file;
    std::set<std::string> entries; // empty: every entry of the file
    std::vector<std::pair<std::string, std::vector<float>>> values;
    std::vector<std::pair<std::string, std::array<float, 4>>> inputs;
};

std::vector<ProjectValues> ReadProjectValues() {
    std::vector<ProjectValues> out;
    std::ifstream in(REALWORLD_VALUES);
    std::string line;
    while (std::getline(in, line)) {
        std::stringstream words(CleanLine(line));
        ProjectValues v;
        if (!(words >> v.file)) continue;
        std::string word;
        while (words >> word) {
            const std::size_t eq = word.find('=');
            const bool given = (word[0] == '@' || word[0] == '%') && eq != std::string::npos && eq > 1;
            if (given && word[0] == '@') {
                v.values.emplace_back(word.substr(1, eq - 1), ParseFloats(word.substr(eq + 1)));
            } else if (given) {
                const std::vector<float> components = ParseFloats(word.substr(eq + 1));
                std::array<float, 4> input{0, 0, 0, 1};
                std::copy_n(components.begin(), std::min<std::size_t>(components.size(), 4), input.begin());
                v.inputs.emplace_back(word.substr(1, eq - 1), input);
            } else if (word[0] != '@' && word[0] != '%') {
                v.entries.insert(word);
            }
        }
        out.push_back(std::move(v));
    }
    return out;
}

void GiveProjectValues(std::vector<RealWorldProgram>& programs) {
    for (const ProjectValues& v : ReadProjectValues())
        for (RealWorldProgram& p : programs)
            if (p.file == v.file && (v.entries.empty() || v.entries.count(p.entry))) {
                p.values.insert(p.values.begin(), v.values.begin(), v.values.end());
                p.inputs.insert(p.inputs.end(), v.inputs.begin(), v.inputs.end());
            }
}

// The manifest: one program a line, "#" comments; a line it cannot read is
// kept with its text as the program's failure, so the test shows it.
std::vector<RealWorldProgram> ReadManifest() {
    std::vector<RealWorldProgram> out;
    std::ifstream in(kFolder + "/programs.txt");
    const char* only = Env("ORVANE_REALWORLD_ONLY");
    std::string line;
    while (std::getline(in, line)) {
        line = CleanLine(line);
        RealWorldProgram p;
        TakeFailureNote(line, p);
        p.key = KeyOf(line);
        std::stringstream words(line);
        if (!(words >> p.file)) continue;
        words >> p.entry >> p.profile;
        std::string word;
        while (words >> word) {
            const std::size_t eq = word.find('=');
            if (word[0] == '@' && eq != std::string::npos)
                p.values.emplace_back(word.substr(1, eq - 1), ParseFloats(word.substr(eq + 1)));
            else if (eq != std::string::npos)
                p.defines.emplace_back(word.substr(0, eq), word.substr(eq + 1));
            else
                p.defines.emplace_back(word, "1");
        }
        if (only && p.file.find(only) == std::string::npos && p.entry.find(only) == std::string::npos) continue;
        out.push_back(std::move(p));
    }
    ReadOpenFailures(out);
    GiveProjectValues(out);
    return out;
}

const std::vector<RealWorldProgram>& Manifest() {
    static const std::vector<RealWorldProgram> programs = ReadManifest();
    return programs;
}

constexpr std::uint32_t kClear = 0xFFFF00FFu; // magenta: no program here draws it
constexpr const char* kNothingDrawn = "draw: every pixel is still the clear colour";

// The sets of values a program's constants are given, one after the other
// until it draws: floats (matrices are the identity in every set), booleans
// and integers.
struct ValueSet {
    float scalar;
    std::int32_t truth, integer;
};
constexpr ValueSet kValues[] = {{0.5f, 1, 2}, {1.0f, 0, 1}, {0.0f, 0, 0}, {0.25f, 1, 4}};
constexpr int kValueSetCount = int(std::size(kValues));
constexpr int kSize = 16;

const char* UsageName(std::uint8_t usage) {
    static const char* const names[] = {"position", "blendweight", "blendindices", "normal", "psize",
                                        "texcoord", "tangent",     "binormal",     "tessfactor",
                                        "positiont", "color",      "fog",          "depth",  "sample"};
    return usage < std::size(names) ? names[usage] : "texcoord";
}

// The value the project gives input `s` of program `p`, or null.
const std::array<float, 4>* GivenInput(const RealWorldProgram& p, const ShaderSemantic& s) {
    const std::string name = UsageName(s.usage) + std::to_string(s.index);
    for (const auto& [input, value] : p.inputs)
        if (input == name || (s.index == 0 && input == UsageName(s.usage))) return &value;
    return nullptr;
}

// An assembly constant register of the partner holding a given input.
std::string DefineInput(int reg, const std::array<float, 4>& value) {
    char text[128];
    std::snprintf(text, sizeof text, "def c%d, %.9g, %.9g, %.9g, %.9g\n", reg, value[0], value[1], value[2], value[3]);
    return text;
}

// The vertex program a pixel program is drawn with: the position as given,
// and every input the pixel program reads, colours from the vertex colour
// and everything else from the texture coordinates (u, v, 0, 1), unless the
// project gives the input a value.
std::string PartnerVertex(const ShaderContainer& pixel, int major, const RealWorldProgram& p) {
    const std::string version = major >= 3 ? "vs_3_0\n" : "vs_2_0\n";
    std::string defines, text = "dcl_position v0\ndcl_color v1\ndcl_texcoord v2\n";
    int constants = 0;
    // What output `s` is given: a register of the partner's.
    const auto source = [&](const ShaderSemantic& s) -> std::string {
        if (const std::array<float, 4>* given = GivenInput(p, s)) {
            defines += DefineInput(constants, *given);
            return "c" + std::to_string(constants++);
        }
        return s.usage == D3DDECLUSAGE_COLOR ? "v1" : "v2";
    };
    if (major >= 3) {
        text += "dcl_position o0\nmov o0, v0\n";
        int reg = 1;
        for (const ShaderSemantic& s : pixel.inputs) {
            if (s.usage == D3DDECLUSAGE_POSITION || s.usage == D3DDECLUSAGE_POSITIONT) continue;
            const std::string o = "o" + std::to_string(reg++);
            text += std::string("dcl_") + UsageName(s.usage) + std::to_string(s.index) + " " + o + "\n";
            const std::string from = source(s);
            text += "mov " + o + ", " + from + "\n";
        }
        return version + defines + text;
    }
    text += "mov oPos, v0\n";
    for (const ShaderSemantic& s : pixel.inputs) {
        if (s.usage == D3DDECLUSAGE_COLOR && s.index < 2) {
            const std::string from = source(s);
            text += "mov oD" + std::to_string(s.index) + ", " + from + "\n";
        } else if (s.usage == D3DDECLUSAGE_TEXCOORD && s.index < 8) {
            const std::string from = source(s);
            text += "mov oT" + std::to_string(s.index) + ", " + from + "\n";
        }
    }
    return version + defines + text;
}

// The pixel program a vertex program is drawn with: one colour, so what is
// drawn shows where the vertex program put the triangles.
std::string PartnerPixel(int major) {
    return std::string(major >= 3 ? "ps_3_0\n" : "ps_2_0\n") + "def c0, 0, 1, 0.5, 1\nmov oC0, c0\n";
}

// What a vertex input is given at corner (u, v) of the quad.
void InputValue(const ShaderSemantic& s, float u, float v, float* out) {
    const float x = u * 2 - 1, y = 1 - v * 2;
    switch (s.usage) {
    case D3DDECLUSAGE_POSITION: out[0] = x, out[1] = y, out[2] = 0.5f, out[3] = 1; break;
    case D3DDECLUSAGE_TEXCOORD: out[0] = u, out[1] = v, out[2] = 0, out[3] = 1; break;
    case D3DDECLUSAGE_NORMAL: out[0] = 0, out[1] = 0, out[2] = 1, out[3] = 0; break;
    case D3DDECLUSAGE_TANGENT: out[0] = 1, out[1] = 0, out[2] = 0, out[3] = 1; break;
    case D3DDECLUSAGE_BINORMAL: out[0] = 0, out[1] = 1, out[2] = 0, out[3] = 0; break;
    case D3DDECLUSAGE_BLENDWEIGHT:
        // Weights 0 to 2 are the rows of the identity: a skinned program
        // takes its first bone whole, and one that reads an instance's world
        // matrix from them (columns in BLENDWEIGHT0-2) gets the identity
        // rather than a matrix that folds the quad onto a line.
        for (int k = 0; k < 4; ++k) out[k] = s.index < 3 && k == s.index ? 1.f : 0.f;
        if (s.index >= 3) out[0] = 0.5f, out[1] = 0.25f, out[2] = 0.75f, out[3] = 1;
        break;
    case D3DDECLUSAGE_BLENDINDICES: out[0] = 0, out[1] = 1, out[2] = 2, out[3] = 3; break;
    case D3DDECLUSAGE_COLOR: out[0] = 0.5f, out[1] = 0.25f, out[2] = 0.75f, out[3] = 1; break;
    default: out[0] = out[1] = out[2] = 0.5f, out[3] = 1; break;
    }
}

// Channels from 0 to 1 (r, g, b, a) as one 0xAARRGGBB texel.
std::uint32_t Argb(const std::vector<float>& rgba) {
    const auto channel = [&](std::size_t i) {
        return std::uint32_t(std::lround(std::clamp(rgba[i], 0.f, 1.f) * 255.f));
    };
    return channel(3) << 24 | channel(0) << 16 | channel(1) << 8 | channel(2);
}

// The textures a program's samplers were given; the test releases them.
struct TextureList {
    std::vector<IDirect3DBaseTexture9*> items;
};

// One program's compile, as a worker hands it to the drawer.
struct Compiled {
    HRESULT hr = D3D_OK;
    std::string message;
    ID3DXBuffer* code = nullptr;
    ID3DXConstantTable* table = nullptr;

    Compiled() = default;
    Compiled(const Compiled&) = delete;
    Compiled& operator=(const Compiled&) = delete;
    ~Compiled() { Release(); }
    void Release() {
        if (code) code->Release();
        if (table) table->Release();
        code = nullptr;
        table = nullptr;
    }
};

void Compile(const RealWorldProgram& p, Compiled& out) {
    const std::string path = kFolder + "/" + p.file;
    std::vector<D3DXMACRO> macros;
    for (const auto& [name, value] : p.defines) macros.push_back({name.c_str(), value.c_str()});
    macros.push_back({nullptr, nullptr});
    ID3DXBuffer* errors = nullptr;
    // Includes are found beside the file that names them: no folder list,
    // which is one for the whole process, is needed.
    out.hr = D3DXCompileShaderFromFile(path.c_str(), p.entry.c_str(), p.profile.c_str(), 0, &out.code, &errors,
                                       &out.table, macros.data());
    if (errors) {
        out.message = static_cast<const char*>(errors->GetBufferPointer());
        errors->Release();
    }
}

// The processors this process may run on (taskset narrows them).
unsigned UsableProcessors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return unsigned(CPU_COUNT(&set));
    return std::max(1u, std::thread::hardware_concurrency());
}

// Compiles every program of a list on `jobs` threads, in list order, so the
// drawer waiting for the next one rarely waits long.
class CompilePool {
public:
    CompilePool(const std::vector<RealWorldProgram>& programs, unsigned jobs)
        : m_programs(programs), m_results(new Compiled[programs.size()]), m_ready(programs.size(), false) {
        for (unsigned j = 0; j < std::max(1u, jobs); ++j) m_threads.emplace_back([this] { Work(); });
    }
    ~CompilePool() {
        m_stop = true;
        for (std::thread& t : m_threads) t.join();
    }
    CompilePool(const CompilePool&) = delete;
    CompilePool& operator=(const CompilePool&) = delete;

    // The compile of program `i`, once it is done.
    Compiled& Wait(std::size_t i) {
        std::unique_lock lock(m_mutex);
        m_done.wait(lock, [&] { return bool(m_ready[i]); });
        return m_results[i];
    }

private:
    void Work() {
        for (;;) {
            const std::size_t i = m_next++;
            if (i >= m_programs.size() || m_stop) return;
            Compile(m_programs[i], m_results[i]);
            {
                std::lock_guard lock(m_mutex);
                m_ready[i] = true;
            }
            m_done.notify_all();
        }
    }

    const std::vector<RealWorldProgram>& m_programs;
    std::unique_ptr<Compiled[]> m_results;
    std::vector<char> m_ready; // guarded by m_mutex
    std::mutex m_mutex;
    std::condition_variable m_done;
    std::atomic<std::size_t> m_next{0};
    std::atomic<bool> m_stop{false};
    std::vector<std::thread> m_threads;
};

// One gl device on which the programs are created and drawn one after the
// other; what a program bound is unbound and released before the next.
class GfxUtilHlslRealWorldTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!SetPresent())
            GTEST_SKIP() << "the real-world set is not at " << kFolder
                         << " (ORVANE_HLSL_REALWORLD_DIR names another folder)";
        gfxtest::UseDriverFor(BackendKind::Gl);
        m_d3d = Direct3DCreate9(D3D_SDK_VERSION, BackendKind::Gl);
        if (!m_d3d && gfxtest::CallerDriver() == "dummy") GTEST_SKIP() << "SDL_VIDEODRIVER=dummy offers no OpenGL";
        ASSERT_NE(m_d3d, nullptr);
        D3DPRESENT_PARAMETERS params = gfxtest::Windowed(kSize, kSize);
        ASSERT_EQ(m_d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &params,
                                      &device),
                  D3D_OK);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetRenderState(D3DRS_LIGHTING, 0);
        device->SetRenderState(D3DRS_ZENABLE, 0);
    }
    void TearDown() override {
        if (device) {
            Unbind();
            EXPECT_EQ(device->Release(), 0u);
        }
        device = nullptr;
        if (m_d3d) {
            EXPECT_EQ(m_d3d->Release(), 0u);
        }
        m_d3d = nullptr;
    }

    // Empty when the program compiled, created, took every constant and drew;
    // otherwise what failed first. What it bound is released on return.
    //
    // Values the test chooses may make a sound program draw nothing (a
    // clip() on alpha, a light whose range ends short of the quad): such a
    // program is drawn again with the other sets of values, and passes when
    // one of them draws.
    std::string Run(const RealWorldProgram& p, const Compiled& compiled) {
        std::string failure;
        for (m_values = 0; m_values < kValueSetCount; ++m_values) {
            failure = Draw(p, compiled);
            Unbind();
            if (failure != kNothingDrawn) break;
        }
        return failure;
    }

private:
    std::string Draw(const RealWorldProgram& p, const Compiled& compiled) {
        if (compiled.hr != D3D_OK || !compiled.code || !compiled.table) return "compile: " + compiled.message;
        ID3DXBuffer* code = compiled.code;
        const auto* words = static_cast<const std::uint32_t*>(code->GetBufferPointer());
        ShaderContainer container;
        if (!ReadShaderContainer(words, code->GetBufferSize(), container)) return "compile: no program container";
        if (const char* show = Env("ORVANE_REALWORLD_GLSL"); show && *show == '1')
            std::cout << container.glsl << "\n";
        // Kept for the check of the registers the code reads, made once no
        // compile runs: glslang in this process while a compile forks its
        // child would leave the child a lock it never gets.
        if (m_values == 0) m_read.emplace_back(p.key, container);

        gfxtest::Ref<IDirect3DVertexShader9>& vs = m_vs;
        gfxtest::Ref<IDirect3DPixelShader9>& ps = m_ps;
        if (p.Vertex()) {
            if (device->CreateVertexShader(words, code->GetBufferSize(), &vs) != D3D_OK || !vs)
                return "create: CreateVertexShader refused the program";
            ps.p = Pixel(PartnerPixel(p.Major()));
        } else {
            if (device->CreatePixelShader(words, code->GetBufferSize(), &ps) != D3D_OK || !ps)
                return "create: CreatePixelShader refused the program";
            vs.p = Vertex(PartnerVertex(container, p.Major(), p));
        }
        if (!vs || !ps) return "create: the partner program did not assemble";

        std::string failure = FillConstants(*compiled.table, container, p, m_textures);
        if (!failure.empty()) return failure;

        if (device->Clear(0, nullptr, D3DCLEAR_TARGET, kClear, 1.0f, 0) != D3D_OK) return "draw: Clear failed";
        if (device->SetVertexShader(vs.get()) != D3D_OK || device->SetPixelShader(ps.get()) != D3D_OK)
            return "draw: the programs could not be bound";
        failure = p.Vertex() ? DrawInputs(container, p) : DrawQuad();
        if (!failure.empty()) return failure;
        if (!DrewSomething()) return kNothingDrawn;
        return {};
    }

    void Unbind() {
        device->SetVertexShader(nullptr);
        device->SetPixelShader(nullptr);
        device->SetVertexDeclaration(nullptr);
        for (std::uint32_t unit : m_units) device->SetTexture(unit, nullptr);
        m_units.clear();
        // Released only once nothing on the device names them.
        m_vs.reset();
        m_ps.reset();
        for (IDirect3DBaseTexture9* t : m_textures.items) t->Release();
        m_textures.items.clear();
    }

    IDirect3DVertexShader9* Vertex(const std::string& text) {
        const auto words = gfxtest::AssembleProgram(text);
        IDirect3DVertexShader9* out = nullptr;
        if (words.empty() || device->CreateVertexShader(words.data(), std::uint32_t(words.size() * 4), &out) != D3D_OK)
            return nullptr;
        return out;
    }
    IDirect3DPixelShader9* Pixel(const std::string& text) {
        const auto words = gfxtest::AssembleProgram(text);
        IDirect3DPixelShader9* out = nullptr;
        if (words.empty() || device->CreatePixelShader(words.data(), std::uint32_t(words.size() * 4), &out) != D3D_OK)
            return nullptr;
        return out;
    }

    // A 2 x 2 texture of the sampler's kind, all of one colour (0xAARRGGBB).
    IDirect3DBaseTexture9* TextureFor(std::uint32_t kind, std::uint32_t texel) {
        if (kind == D3DSTT_CUBE) {
            IDirect3DCubeTexture9* cube = nullptr;
            if (device->CreateCubeTexture(2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &cube, nullptr) != D3D_OK)
                return nullptr;
            for (std::uint32_t face = 0; face < 6; ++face) {
                D3DLOCKED_RECT lr;
                if (cube->LockRect(face, 0, &lr, nullptr, 0) != D3D_OK) continue;
                for (int y = 0; y < 2; ++y)
                    for (int x = 0; x < 2; ++x)
                        std::memcpy(static_cast<std::uint8_t*>(lr.pBits) + y * lr.Pitch + x * 4, &texel, 4);
                cube->UnlockRect(face, 0);
            }
            return cube;
        }
        if (kind == D3DSTT_VOLUME) {
            IDirect3DVolumeTexture9* volume = nullptr;
            if (device->CreateVolumeTexture(2, 2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &volume, nullptr) !=
                D3D_OK)
                return nullptr;
            D3DLOCKED_BOX lb;
            if (volume->LockBox(0, &lb, nullptr, 0) == D3D_OK) {
                for (int z = 0; z < 2; ++z)
                    for (int y = 0; y < 2; ++y)
                        for (int x = 0; x < 2; ++x)
                            std::memcpy(static_cast<std::uint8_t*>(lb.pBits) + z * lb.SlicePitch + y * lb.RowPitch +
                                            x * 4,
                                        &texel, 4);
                volume->UnlockBox(0);
            }
            return volume;
        }
        IDirect3DTexture9* flat = nullptr;
        if (device->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &flat, nullptr) != D3D_OK)
            return nullptr;
        D3DLOCKED_RECT lr;
        if (flat->LockRect(0, &lr, nullptr, 0) == D3D_OK) {
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 2; ++x)
                    std::memcpy(static_cast<std::uint8_t*>(lr.pBits) + y * lr.Pitch + x * 4, &texel, 4);
            flat->UnlockRect(0);
        }
        return flat;
    }

    // Every constant of the table by name (a struct's members by handle):
    // samplers get a texture of their kind, matrices the identity, other
    // floats, integers and booleans the values of the set under way, unless
    // the manifest says.
    std::string FillConstants(ID3DXConstantTable& table, const ShaderContainer& container, const RealWorldProgram& p,
                              TextureList& textures) {
        D3DXCONSTANTTABLE_DESC td;
        if (table.GetDesc(&td) != D3D_OK) return "constants: no table description";
        for (std::uint32_t i = 0; i < td.Constants; ++i) {
            const std::string failure = FillConstant(table, table.GetConstant(nullptr, i), true, container, p, textures);
            if (!failure.empty()) return failure;
        }
        return {};
    }
    std::string FillConstant(ID3DXConstantTable& table, D3DXHANDLE handle, bool byName, const ShaderContainer& container,
                             const RealWorldProgram& p, TextureList& textures) {
        D3DXCONSTANT_DESC d;
        std::uint32_t n = 1;
        if (!handle || table.GetConstantDesc(handle, &d, &n) != D3D_OK || !d.Name) return "constants: no description";
        const std::string name = d.Name;
        const D3DXHANDLE target = byName ? d.Name : handle;
        if (d.Class == D3DXPC_STRUCT) {
            // An array of structs: its members are reached element by element.
            const std::uint32_t structs = std::max<std::uint32_t>(d.Elements, 1);
            for (std::uint32_t e = 0; e < structs; ++e) {
                const D3DXHANDLE element = d.Elements > 1 ? table.GetConstantElement(handle, e) : handle;
                if (!element) return "constants: no element " + std::to_string(e) + " of " + name;
                for (std::uint32_t m = 0; m < d.StructMembers; ++m) {
                    const std::string failure =
                        FillConstant(table, table.GetConstant(element, m), false, container, p, textures);
                    if (!failure.empty()) return failure;
                }
            }
            return {};
        }
        const std::uint32_t elements = std::max<std::uint32_t>(d.Elements, 1);
        if (d.RegisterSet == D3DXRS_SAMPLER) {
            const std::uint32_t unit = table.GetSamplerIndex(target);
            if (unit >= 16) return "constants: sampler " + name + " has no unit";
            // One colour no program's arithmetic turns into the clear colour
            // by chance, unless the program's values give the sampler's
            // texture another (r, g, b, a from 0 to 1).
            std::uint32_t texel = 0xFF4080BFu;
            for (const auto& [constant, v] : p.values)
                if (constant == name && v.size() == 4) texel = Argb(v);
            for (std::uint32_t e = 0; e < elements && unit + e < 16; ++e) {
                std::uint32_t kind = D3DSTT_2D;
                if (d.Type == D3DXPT_SAMPLERCUBE) kind = D3DSTT_CUBE;
                else if (d.Type == D3DXPT_SAMPLER3D) kind = D3DSTT_VOLUME;
                else if (d.Type == D3DXPT_SAMPLER && container.samplers[unit + e]) kind = container.samplers[unit + e];
                IDirect3DBaseTexture9* texture = TextureFor(kind, texel);
                if (!texture) return "constants: no texture for sampler " + name;
                textures.items.push_back(texture);
                const std::uint32_t stage = p.Vertex() ? D3DVERTEXTEXTURESAMPLER0 + unit + e : unit + e;
                if (device->SetTexture(stage, texture) != D3D_OK) return "constants: sampler " + name + " refused";
                m_units.push_back(stage);
            }
            return {};
        }
        const std::uint32_t count = std::max<std::uint32_t>(d.Rows, 1) * std::max<std::uint32_t>(d.Columns, 1) * elements;
        const bool matrix = d.Class == D3DXPC_MATRIX_ROWS || d.Class == D3DXPC_MATRIX_COLUMNS;
        const ValueSet& set = kValues[m_values];
        std::vector<float> values(count, set.scalar);
        if (matrix)
            for (std::uint32_t k = 0; k < count; ++k) {
                const std::uint32_t within = k % (d.Rows * d.Columns);
                values[k] = within / d.Columns == within % d.Columns ? 1.f : 0.f;
            }
        bool given = false;
        for (const auto& [constant, v] : p.values)
            if (constant == name) {
                values = v;
                values.resize(count, v.empty() ? 0.f : v.back());
                given = true;
            }
        HRESULT hr = D3D_OK;
        if (d.RegisterSet == D3DXRS_BOOL) {
            const std::vector<std::int32_t> truth(count, set.truth);
            hr = table.SetBoolArray(device, target, truth.data(), count);
        } else if (d.RegisterSet == D3DXRS_INT4) {
            std::vector<std::int32_t> ints(count, set.integer);
            if (given)
                for (std::uint32_t k = 0; k < count; ++k) ints[k] = std::int32_t(values[k]);
            hr = table.SetIntArray(device, target, ints.data(), count);
        } else {
            hr = table.SetFloatArray(device, target, values.data(), count);
        }
        if (hr != D3D_OK) return "constants: " + name + " refused";
        return {};
    }

    // The full-target quad through the pixel program's partner.
    std::string DrawQuad() {
        const gfxtest::ProgramVertex quad[4] = {{-1, 1, 0.5f, 0xFFC08040u, 0, 0},
                                                {1, 1, 0.5f, 0xFFC08040u, 1, 0},
                                                {-1, -1, 0.5f, 0xFFC08040u, 0, 1},
                                                {1, -1, 0.5f, 0xFFC08040u, 1, 1}};
        if (device->SetFVF(gfxtest::kProgramVertexFvf) != D3D_OK) return "draw: SetFVF failed";
        const HRESULT hr = device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(gfxtest::ProgramVertex));
        return hr == D3D_OK ? std::string() : "draw: DrawPrimitiveUP returned " + std::to_string(hr);
    }
    // A quad whose vertices carry every input the vertex program declares,
    // each a float4 (InputValue). A program that writes a point size is
    // drawn for point sprites: its four vertices are drawn as points too,
    // where one that places every vertex by its data (a histogram's bins)
    // makes triangles of no area.
    std::string DrawInputs(const ShaderContainer& container, const RealWorldProgram& p) {
        std::vector<D3DVERTEXELEMENT9> elements;
        for (const ShaderSemantic& s : container.inputs)
            elements.push_back({0, std::uint16_t(elements.size() * 16), D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT,
                                s.usage, s.index});
        if (elements.empty()) return "draw: the program declares no input";
        elements.push_back(D3DDECL_END());
        gfxtest::Ref<IDirect3DVertexDeclaration9> decl;
        if (device->CreateVertexDeclaration(elements.data(), &decl) != D3D_OK)
            return "draw: CreateVertexDeclaration refused the inputs";
        const std::size_t stride = container.inputs.size() * 4;
        std::vector<float> vertices(stride * 4);
        const float corners[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
        for (std::size_t v = 0; v < 4; ++v)
            for (std::size_t i = 0; i < container.inputs.size(); ++i) {
                float* out = &vertices[v * stride + i * 4];
                InputValue(container.inputs[i], corners[v][0], corners[v][1], out);
                if (const std::array<float, 4>* given = GivenInput(p, container.inputs[i]))
                    std::copy(given->begin(), given->end(), out);
            }
        if (device->SetVertexDeclaration(decl.get()) != D3D_OK) return "draw: SetVertexDeclaration failed";
        HRESULT hr =
            device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, vertices.data(), std::uint32_t(stride * sizeof(float)));
        const bool points = std::any_of(container.outputs.begin(), container.outputs.end(),
                                        [](const ShaderSemantic& s) { return s.usage == D3DDECLUSAGE_PSIZE; });
        if (hr == D3D_OK && points)
            hr = device->DrawPrimitiveUP(D3DPT_POINTLIST, 4, vertices.data(), std::uint32_t(stride * sizeof(float)));
        device->SetVertexDeclaration(nullptr);
        return hr == D3D_OK ? std::string() : "draw: DrawPrimitiveUP returned " + std::to_string(hr);
    }
    bool DrewSomething() {
        gfxtest::Ref<IDirect3DSurface9> back;
        if (device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back) != D3D_OK) return false;
        D3DLOCKED_RECT lr;
        if (back->LockRect(&lr, nullptr, D3DLOCK_READONLY) != D3D_OK) return false;
        bool drawn = false;
        for (std::uint32_t y = 0; y < back->Height() && !drawn; ++y)
            for (std::uint32_t x = 0; x < back->Width() && !drawn; ++x) {
                const std::uint32_t px = reinterpret_cast<const std::uint32_t*>(
                    static_cast<const std::uint8_t*>(lr.pBits) + y * lr.Pitch)[x];
                drawn = (px & 0x00FFFFFFu) != (kClear & 0x00FFFFFFu);
            }
        back->UnlockRect();
        return drawn;
    }

    IDirect3D9* m_d3d = nullptr;
    int m_values = 0; // the set of values of the draw under way

protected:
    // Each program's container as compiled, by its manifest line.
    std::vector<std::pair<std::string, ShaderContainer>> m_read;

private:
    std::vector<std::uint32_t> m_units;
    // The program, its partner and the samplers' textures of the test.
    gfxtest::Ref<IDirect3DVertexShader9> m_vs;
    gfxtest::Ref<IDirect3DPixelShader9> m_ps;
    TextureList m_textures;

protected:
    IDirect3DDevice9* device = nullptr;
};

} // namespace

// The set itself: enough programs of both kinds from enough projects, every
// file present.
TEST(GfxUtilHlslRealWorldSetTest, NamesProgramsOfBothKindsFromEveryProject) {
    if (!SetPresent()) GTEST_SKIP() << "the real-world set is not at " << kFolder;
    if (Env("ORVANE_REALWORLD_ONLY")) GTEST_SKIP() << "ORVANE_REALWORLD_ONLY keeps part of the set";
    const auto& programs = Manifest();
    // The set as its README counts it: a line the reader dropped would go
    // untested, silently.
    EXPECT_GE(programs.size(), 1471u);
    std::set<std::string> projects, keys;
    std::size_t vertex = 0;
    for (const RealWorldProgram& p : programs) {
        EXPECT_TRUE(std::filesystem::is_regular_file(kFolder + "/" + p.file)) << p;
        EXPECT_FALSE(p.entry.empty() || p.profile.empty()) << p;
        EXPECT_TRUE(keys.insert(p.key).second) << "listed twice: " << p.key;
        projects.insert(p.file.substr(0, p.file.find('/')));
        vertex += p.Vertex() ? 1 : 0;
    }
    EXPECT_GE(vertex, 507u);
    EXPECT_GE(programs.size() - vertex, 964u);
    EXPECT_GE(projects.size(), 25u);
}

// A line of the project's values that reaches no program (a file or an
// entry point misspelt, or gone from the set) would give nothing, silently.
TEST(GfxUtilHlslRealWorldSetTest, EveryLineOfTheProjectsValuesReachesAProgram) {
    if (!SetPresent()) GTEST_SKIP() << "the real-world set is not at " << kFolder;
    if (Env("ORVANE_REALWORLD_ONLY")) GTEST_SKIP() << "ORVANE_REALWORLD_ONLY keeps part of the set";
    const auto& programs = Manifest();
    for (const ProjectValues& v : ReadProjectValues()) {
        SCOPED_TRACE(v.file);
        EXPECT_FALSE(v.values.empty() && v.inputs.empty()) << "a values line without values";
        const auto listed = [&](const std::string& entry) {
            return std::any_of(programs.begin(), programs.end(), [&](const RealWorldProgram& p) {
                return p.file == v.file && (entry.empty() || p.entry == entry);
            });
        };
        EXPECT_TRUE(listed({})) << "no program of the set is in this file";
        for (const std::string& entry : v.entries) EXPECT_TRUE(listed(entry)) << "no entry point " << entry;
    }
}

namespace {

// One table of tables.txt: the program, then its constants in stored
// order, each "name set first count" ("tex s0 1").
struct StoredTable {
    std::string file, entry, profile;
    std::vector<std::string> entries;
    std::string line; // as written, for the messages
};

std::vector<StoredTable> ReadStoredTables() {
    std::vector<StoredTable> out;
    std::ifstream in(kFolder + "/tables.txt");
    std::string line;
    while (std::getline(in, line)) {
        line = CleanLine(line);
        const std::size_t from = line.find('<');
        std::stringstream words(line.substr(0, from));
        StoredTable t;
        if (!(words >> t.file)) continue;
        t.line = KeyOf(line);
        words >> t.entry >> t.profile;
        std::string word;
        while (words >> word) {
            // NAME=SETINDEX[COUNT]
            const std::size_t eq = word.rfind('='), open = word.find('[', eq);
            if (eq == std::string::npos || open == std::string::npos || eq + 2 > open || word.back() != ']') {
                t.entries.push_back("unreadable: " + word);
                continue;
            }
            t.entries.push_back(word.substr(0, eq) + " " + word.substr(eq + 1, open - eq - 1) + " " +
                                word.substr(open + 1, word.size() - open - 2));
        }
        out.push_back(std::move(t));
    }
    return out;
}

// The constants of a compiled table in the order GetConstant gives them,
// in the form of StoredTable's entries.
std::vector<std::string> EntriesOf(const ID3DXConstantTable& table) {
    std::vector<std::string> out;
    D3DXCONSTANTTABLE_DESC desc;
    if (table.GetDesc(&desc) != D3D_OK) return {"no description"};
    static constexpr char kSets[] = {'b', 'i', 'c', 's'};
    for (std::uint32_t i = 0; i < desc.Constants; ++i) {
        D3DXCONSTANT_DESC d;
        std::uint32_t count = 1;
        const D3DXHANDLE h = table.GetConstant(nullptr, i);
        if (!h || table.GetConstantDesc(h, &d, &count) != D3D_OK || d.RegisterSet > 3) {
            out.push_back("constant " + std::to_string(i) + " unreadable");
            continue;
        }
        out.push_back(std::string(d.Name) + " " + kSets[d.RegisterSet] + std::to_string(d.RegisterIndex) + " " +
                      std::to_string(d.RegisterCount));
    }
    return out;
}

} // namespace

// The tables the D3D9 compiler stored for programs of the set: this
// compile's table of each holds the same constants, in the same registers,
// in the same order.
TEST(GfxUtilHlslRealWorldSetTest, EveryStoredTableEqualsThisCompilesEntryForEntry) {
    if (!std::filesystem::is_regular_file(kFolder + "/tables.txt"))
        GTEST_SKIP() << "the real-world set's tables are not at " << kFolder;
    const std::vector<StoredTable> tables = ReadStoredTables();
    EXPECT_GE(tables.size(), 19u);
    for (const StoredTable& t : tables) {
        SCOPED_TRACE(t.line);
        EXPECT_FALSE(t.entries.empty()) << "a table without constants";
        RealWorldProgram p;
        p.file = t.file;
        p.entry = t.entry;
        p.profile = t.profile;
        // The program is one of the set's, compiled as the set compiles it.
        const auto listed = std::find_if(Manifest().begin(), Manifest().end(), [&](const RealWorldProgram& m) {
            return m.file == t.file && m.entry == t.entry && m.profile == t.profile;
        });
        if (!Env("ORVANE_REALWORLD_ONLY")) EXPECT_NE(listed, Manifest().end()) << "not in programs.txt";
        if (listed != Manifest().end()) p.defines = listed->defines;
        Compiled compiled;
        Compile(p, compiled);
        ASSERT_EQ(compiled.hr, D3D_OK) << compiled.message;
        ASSERT_NE(compiled.table, nullptr);
        EXPECT_EQ(EntriesOf(*compiled.table), t.entries);
    }
}

// Every program compiles, is created and draws, or fails as the manifest
// lists it: a listed program that passes, or fails otherwise, is a failure
// too, so the list only shrinks and always says why.
TEST_F(GfxUtilHlslRealWorldTest, EveryProgramCompilesCreatesAndDraws) {
    const auto& programs = Manifest();
    ASSERT_FALSE(programs.empty()) << kFolder << "/programs.txt names no program";
    unsigned jobs = UsableProcessors();
    if (const char* text = Env("ORVANE_REALWORLD_JOBS")) jobs = unsigned(std::max(1, std::atoi(text)));
    CompilePool pool(programs, jobs);
    std::string failures;
    std::size_t passed = 0, failed = 0, known = 0;
    for (std::size_t i = 0; i < programs.size(); ++i) {
        const RealWorldProgram& p = programs[i];
        Compiled& compiled = pool.Wait(i);
        const std::string failure = Run(p, compiled);
        compiled.Release();
        if (failure.empty()) {
            ++passed;
            EXPECT_TRUE(p.knownFailure.empty())
                << p << " now passes: remove it from the known failures (" << p.knownFailure << ")";
            continue;
        }
        ++failed;
        // One program a record: its first line names it, the message's
        // further lines are indented.
        std::string record = p.key + ": " + failure;
        while (!record.empty() && record.back() == '\n') record.pop_back();
        for (std::size_t at = record.find('\n'); at != std::string::npos; at = record.find('\n', at + 1))
            record.insert(at + 1, "    ");
        failures += record + "\n";
        if (p.knownFailure.empty()) {
            ADD_FAILURE() << p << ": " << failure;
            continue;
        }
        ++known;
        // Failing on something else means the listed cause is gone and another
        // shows: the list must say so.
        EXPECT_NE(failure.find(p.failureText), std::string::npos)
            << p << " fails otherwise than listed (" << p.knownFailure << "): " << failure;
    }
    // A register the code reads that the table gives no constant is one the
    // caller never sets, or sets for another constant.
    std::set<std::string> outsideTable;
    for (const auto& [key, container] : m_read)
        if (const std::string outside = gfx::test::RegistersReadOutsideTheTable(container); !outside.empty()) {
            ADD_FAILURE() << key << ": table: " << outside;
            failures += key + ": table: " + outside + "\n";
            outsideTable.insert(key);
        }
    for (const RealWorldProgram& p : programs)
        if (outsideTable.count(p.key) && p.knownFailure.empty()) {
            --passed;
            ++failed;
        }
    std::printf("real-world set: %zu programs: %zu passed, %zu failed (%zu of them listed), %u compiles at once\n",
                programs.size(), passed, failed, known, jobs);
    if (const char* path = Env("ORVANE_REALWORLD_FAILURES")) {
        std::ofstream out(path, std::ios::trunc);
        out << failures;
    }
}
