#pragma once
// What an effect text holds once read: parameters with their values and
// annotations, functions kept as text, techniques with passes and states.
// Shared by the reader, the reflection calls and the runtime.

#include "platform/gfx/GfxShaderContainer.h"
#include "platform/gfxutil/GfxUtilEffect.h"

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace gfx::effect {

// What a state sets.
enum class StateKind : std::uint8_t {
    Unknown,       // a name the table does not know: never validates
    Render,        // device render state
    TextureStage,  // texture-stage state [stage]
    Sampler,       // sampler state [sampler]
    Texture,       // Texture[stage] = <texture parameter>
    SamplerObject, // Sampler[n] = <sampler parameter>: its states at sampler n
    VertexShader,
    PixelShader,
    Transform,     // World/View/Projection/Texture transforms = <matrix parameter>
    VertexConstantF,
    PixelConstantF,
    VertexConstantI,
    PixelConstantI,
    VertexConstantB,
    PixelConstantB,
    Fvf,
    Light,       // a member of light [n] (the member in `number`), the light's others kept
    LightEnable, // light [n] on or off
    Material,    // a member of the material (the member in `number`), its others kept
};

// How a state's value words and literals are read.
enum class ValueType : std::uint8_t {
    Dword, Float, Bool, ZBuffer, Fill, Shade, Cull, Blend, Cmp, StencilOp, Fog, MaterialSource, VertexBlend,
    BlendOp, Degree, ColorWrite, Wrap, TextureOp, TextureArg, TexCoordIndex, TransformFlags, Filter, Address,
    Object, // shaders, textures, samplers, matrices, constants: parameters or code
    Vector, // up to four floats: a colour, a position or a direction
    LightType,
};

// The members of a light and of the material a Light or Material state
// sets (its `number`).
enum : std::uint32_t {
    kLightType, kLightDiffuse, kLightSpecular, kLightAmbient, kLightPosition, kLightDirection, kLightRange,
    kLightFalloff, kLightAttenuation0, kLightAttenuation1, kLightAttenuation2, kLightTheta, kLightPhi,
};
enum : std::uint32_t { kMaterialDiffuse, kMaterialAmbient, kMaterialSpecular, kMaterialEmissive, kMaterialPower };

struct StateInfo {
    const char* name;  // as written in effect texts (compared ignoring case)
    StateKind kind;
    std::uint32_t number; // device state (or transform) number; a light's or the material's member
    ValueType value;
    std::uint32_t indices; // 0: takes no [n]; else the n below this
    std::uint32_t registers = 0; // shader constants: registers set (0 = as many as the value has)
};

// The table: every state name an effect may write, and value words.
const StateInfo* FindState(const std::string& name);
[[nodiscard]] const std::vector<StateInfo>& StateTable();
// The number of a value word for a value type; false when unknown.
bool FindValueWord(ValueType type, const std::string& word, std::uint32_t& number);
// Whether the word is a value word of any state (`Texture` of the texture
// arguments, `Point` of the filters, ...), compared ignoring case.
[[nodiscard]] bool IsStateValueWord(const std::string& word);

struct Parameter;

// A compiled program's constant and the effect parameter of its name that
// feeds it (-1: none; the register keeps whatever was set there). A texture
// object read through a sampler state is the sampler `samp+img`: fed by
// the sampler's states and, in `texture`, the texture parameter's value.
struct Binding {
    int parameter = -1;
    ShaderConstantRecord constant;
    int texture = -1;
};

struct State {
    const StateInfo* info = nullptr;
    std::string name;       // as written
    std::uint32_t index = 0; // [n], 0 when none
    // Selected: an element of a shader array, picked by the parameters'
    // values when the pass begins (`VertexShader = (Shaders[Picks[Which]]);`).
    enum class Source : std::uint8_t { Literal, Parameter, Asm, Compile, Null, Selected } source = Source::Literal;
    std::vector<std::uint32_t> literal; // value bits (one for a plain state, 4 per register for constants)
    int parameter = -1;                 // index into EffectData::parameters
    std::vector<std::uint32_t> code;    // assembled tokens; for `compile`: the program container (none when it failed)
    std::string entry;                  // `compile` entry function
    std::string profile;                // `compile` profile, lower case
    std::set<std::string> arguments;    // identifiers in the `compile` call's arguments
    std::string callArguments;          // the call's arguments as written
    std::vector<Binding> bindings;      // `compile`: constants fed from parameters by name
    // Selected: the shader array first, then each int parameter indexing
    // the one before it; the last index is `selectorIndex` when that is a
    // number written in the text (-1: the last parameter's value).
    std::vector<int> selector;
    std::int64_t selectorIndex = -1;
    std::string error;                  // why the state cannot run ("" when it can)
    Unknown* deviceShader = nullptr;    // the program made from `code` on the effect's device
    int line = 0;
};

struct Parameter {
    std::string name;
    std::string semantic;
    std::uint32_t cls = 0, type = 0, rows = 0, columns = 0, elements = 0;
    std::vector<Parameter> annotations;
    std::vector<std::uint32_t> data; // 4 bytes per component, [element][row][column]
    std::string text;                // strings
    IDirect3DBaseTexture9* texture = nullptr; // counted
    std::vector<State> samplerStates;         // sampler_state { }
    // Vertex/pixel shader parameters only: held apart, as most parameters
    // have none and a file may hold hundreds of thousands.
    std::unique_ptr<State> shader;
    std::vector<State> shaders;               // an array of them: one per element
    std::uint64_t version = 0;                // raised by every change
    [[nodiscard]] std::uint32_t Components() const { return rows * columns * (elements ? elements : 1); }
    [[nodiscard]] bool Numeric() const {
        return type == D3DXPT_BOOL || type == D3DXPT_INT || type == D3DXPT_FLOAT;
    }
};

struct Function {
    std::string name;
    std::set<std::string> identifiers; // every identifier of its parameters and body
};

struct Pass {
    std::string name;
    std::vector<Parameter> annotations;
    std::vector<State> states;
    // What GetPassDesc reports: tokens of the pass's shaders (null when none).
    const std::uint32_t* vertexFunction = nullptr;
    const std::uint32_t* pixelFunction = nullptr;
};

struct Technique {
    std::string name;
    std::vector<Parameter> annotations;
    std::vector<Pass> passes;
};

struct EffectData {
    std::vector<Parameter> parameters;
    std::vector<Function> functions;
    std::vector<Technique> techniques;
    std::uint64_t clock = 0; // the last version given out

    ~EffectData();
    EffectData() = default;
    EffectData(const EffectData&) = delete;
    EffectData& operator=(const EffectData&) = delete;

    // Handles: every object's name pointer, filled once reading is done.
    enum class HandleKind : std::uint8_t { Parameter, Technique, Pass, Function };
    struct Target {
        HandleKind kind;
        void* object;
    };
    std::unordered_map<const char*, Target> handles; // by the pointer, not the text
    void MakeHandles();

    // Parameters by name: an effect may declare hundreds of thousands, and
    // each is looked up as it is declared and again by every use.
    [[nodiscard]] int ParameterIndex(const std::string& name) const;
    // `p` added under its name; false (nothing added) when the name is taken.
    [[nodiscard]] bool AddParameter(Parameter&& p);
    // Room for `count` parameters made at once, so that adding them neither
    // moves them all nor rehashes their names as the count grows.
    void ReserveParameters(std::size_t count);
    // The state holding the program a shader state sets: its own, its
    // parameter's, or the element its selector picks with the parameters'
    // values now (nullptr when an index is out of range).
    [[nodiscard]] const State* ShaderOf(const State& s) const;

private:
    std::unordered_map<std::string, int> m_parameterIndex; // into `parameters`, filled by AddParameter
};

// Where each line of the text given to the compiler came from.
struct SourceLine {
    std::string file;
    int line = 0;
};

// Compiles every `compile` state of `d` from `source` (named `name`): its
// code becomes the program container, its bindings the parameters of the
// constants' names. A state that fails keeps the compiler's reason as its
// error (the technique does not validate) and the reason is added to
// `messages` as "file(line): warning: text" lines. False when the deadline
// of the current compile scope passed: the states not compiled by then say
// so, and the effect is not to be used.
// `majority` is the compile flags' packing of matrices (CompileHlsl).
[[nodiscard]] bool CompileEffectShaders(EffectData& d, const std::string& source, const std::vector<SourceLine>& where,
                          const std::string& name, std::string& messages, std::uint8_t majority = 0);

// Reads an effect text. Errors are "file(line): text" lines; false when any.
// `majority` is the compile flags' packing of matrices for every pass.
bool ReadEffect(const std::string& text, const std::string& fileName, const D3DXMACRO* defines,
                EffectData& out, std::string& errors, std::uint8_t majority = 0);

} // namespace gfx::effect
