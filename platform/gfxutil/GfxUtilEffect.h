#pragma once
// Effect files (".fx") in place of the utility library's effect calls: a
// preprocessor, a reader of parameter, function and technique declarations,
// reflection over what was read, and the runtime that applies a pass's
// states through a state manager or straight to the device.
//
// Functions are kept as text for the parameter-use question; a pass's
// `compile`d shader is compiled from the effect's own text by the high-level
// compiler (GfxUtilHlsl.h) and its constants are set from the parameters of
// their names whenever the pass is applied or its parameters change.
// Assembly (`asm { }`) goes through the shader assembler and runs like any
// program.

#include "platform/gfx/Gfx.h"
#include "platform/gfxutil/GfxUtilMath.h"
#include "platform/gfxutil/GfxUtilShader.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace gfx {

// ---- interface identifiers -----------------------------------------------
struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2, Data3;
    std::uint8_t Data4[8];
};
inline bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}
// IID_IUnknown {00000000-0000-0000-C000-000000000046}
constexpr GUID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// This library's own identifiers of its effect interfaces.
constexpr GUID IID_ID3DXBaseEffect = {0x0F7D5E01, 0x0A11, 0x4E2B, {0x9C, 0x01, 0, 0, 0, 0, 0, 0x01}};
constexpr GUID IID_ID3DXEffect = {0x0F7D5E01, 0x0A11, 0x4E2B, {0x9C, 0x01, 0, 0, 0, 0, 0, 0x02}};
constexpr GUID IID_ID3DXEffectCompiler = {0x0F7D5E01, 0x0A11, 0x4E2B, {0x9C, 0x01, 0, 0, 0, 0, 0, 0x03}};
constexpr GUID IID_ID3DXEffectStateManager = {0x0F7D5E01, 0x0A11, 0x4E2B, {0x9C, 0x01, 0, 0, 0, 0, 0, 0x04}};

constexpr HRESULT E_NOINTERFACE = MakeResult(0x80004002u); // E_NOINTERFACE

// A handle names a parameter, annotation, technique, pass or function: either
// the handle this library gave out or the object's name as text.
using D3DXHANDLE = const char*;

// D3DXPARAMETER_CLASS
constexpr std::uint32_t D3DXPC_SCALAR = 0, D3DXPC_VECTOR = 1, D3DXPC_MATRIX_ROWS = 2, D3DXPC_MATRIX_COLUMNS = 3,
                        D3DXPC_OBJECT = 4, D3DXPC_STRUCT = 5;
// D3DXPARAMETER_TYPE
constexpr std::uint32_t D3DXPT_VOID = 0, D3DXPT_BOOL = 1, D3DXPT_INT = 2, D3DXPT_FLOAT = 3, D3DXPT_STRING = 4,
                        D3DXPT_TEXTURE = 5, D3DXPT_TEXTURE1D = 6, D3DXPT_TEXTURE2D = 7, D3DXPT_TEXTURE3D = 8,
                        D3DXPT_TEXTURECUBE = 9, D3DXPT_SAMPLER = 10, D3DXPT_SAMPLER1D = 11,
                        D3DXPT_SAMPLER2D = 12, D3DXPT_SAMPLER3D = 13, D3DXPT_SAMPLERCUBE = 14,
                        D3DXPT_PIXELSHADER = 15, D3DXPT_VERTEXSHADER = 16;
// Begin flags (D3DXFX_DONOTSAVESTATE, _DONOTSAVESHADERSTATE, _DONOTSAVESAMPLERSTATE)
constexpr std::uint32_t D3DXFX_DONOTSAVESTATE = 1, D3DXFX_DONOTSAVESHADERSTATE = 2,
                        D3DXFX_DONOTSAVESAMPLERSTATE = 4;

struct D3DXMACRO {
    const char* Name;
    const char* Definition;
};
// Include handlers and effect pools are not supported: callers pass null.
class ID3DXInclude;
class ID3DXEffectPool;

struct D3DXEFFECT_DESC {
    const char* Creator = nullptr;
    std::uint32_t Parameters = 0, Techniques = 0, Functions = 0;
};
struct D3DXPARAMETER_DESC {
    const char* Name = nullptr;
    const char* Semantic = nullptr;
    std::uint32_t Class = 0, Type = 0, Rows = 0, Columns = 0, Elements = 0, Annotations = 0, StructMembers = 0,
                  Flags = 0, Bytes = 0;
};
struct D3DXTECHNIQUE_DESC {
    const char* Name = nullptr;
    std::uint32_t Passes = 0, Annotations = 0;
};
struct D3DXPASS_DESC {
    const char* Name = nullptr;
    std::uint32_t Annotations = 0;
    const std::uint32_t* pVertexShaderFunction = nullptr; // token stream, null without a vertex shader
    const std::uint32_t* pPixelShaderFunction = nullptr;
};
struct D3DXFUNCTION_DESC {
    const char* Name = nullptr;
    std::uint32_t Annotations = 0;
};

// Receives the states an effect pass sets, in place of the device.
class ID3DXEffectStateManager {
public:
    virtual HRESULT QueryInterface(const GUID& iid, void** out) = 0;
    virtual std::uint32_t AddRef() = 0;
    virtual std::uint32_t Release() = 0;
    virtual HRESULT SetTransform(std::uint32_t state, const D3DMATRIX* matrix) = 0;
    virtual HRESULT SetMaterial(const D3DMATERIAL9* material) = 0;
    virtual HRESULT SetLight(std::uint32_t index, const D3DLIGHT9* light) = 0;
    virtual HRESULT LightEnable(std::uint32_t index, std::int32_t enable) = 0;
    virtual HRESULT SetRenderState(std::uint32_t state, std::uint32_t value) = 0;
    virtual HRESULT SetTexture(std::uint32_t stage, IDirect3DBaseTexture9* texture) = 0;
    virtual HRESULT SetTextureStageState(std::uint32_t stage, std::uint32_t type, std::uint32_t value) = 0;
    virtual HRESULT SetSamplerState(std::uint32_t sampler, std::uint32_t type, std::uint32_t value) = 0;
    virtual HRESULT SetNPatchMode(float segments) = 0;
    virtual HRESULT SetFVF(std::uint32_t fvf) = 0;
    virtual HRESULT SetVertexShader(IDirect3DVertexShader9* shader) = 0;
    virtual HRESULT SetVertexShaderConstantF(std::uint32_t start, const float* data, std::uint32_t count) = 0;
    virtual HRESULT SetVertexShaderConstantI(std::uint32_t start, const std::int32_t* data, std::uint32_t count) = 0;
    virtual HRESULT SetVertexShaderConstantB(std::uint32_t start, const std::int32_t* data, std::uint32_t count) = 0;
    virtual HRESULT SetPixelShader(IDirect3DPixelShader9* shader) = 0;
    virtual HRESULT SetPixelShaderConstantF(std::uint32_t start, const float* data, std::uint32_t count) = 0;
    virtual HRESULT SetPixelShaderConstantI(std::uint32_t start, const std::int32_t* data, std::uint32_t count) = 0;
    virtual HRESULT SetPixelShaderConstantB(std::uint32_t start, const std::int32_t* data, std::uint32_t count) = 0;

protected:
    virtual ~ID3DXEffectStateManager() = default;
};

namespace effect {
struct EffectData; // what was read from the text (GfxUtilEffectData.h)
struct Parameter;
struct State;
}

// Reflection and values: what an effect and an effect compiler share.
class ID3DXBaseEffect : public Unknown {
public:
    // IUnknown and ID3DXBaseEffect always; the subclasses add their own.
    virtual HRESULT QueryInterface(const GUID& iid, void** out);

    HRESULT GetDesc(D3DXEFFECT_DESC* desc) const;
    HRESULT GetParameterDesc(D3DXHANDLE parameter, D3DXPARAMETER_DESC* desc) const;
    HRESULT GetTechniqueDesc(D3DXHANDLE technique, D3DXTECHNIQUE_DESC* desc) const;
    HRESULT GetPassDesc(D3DXHANDLE pass, D3DXPASS_DESC* desc) const;
    HRESULT GetFunctionDesc(D3DXHANDLE function, D3DXFUNCTION_DESC* desc) const;

    // Top-level parameters with a null parent; array elements of a parent.
    D3DXHANDLE GetParameter(D3DXHANDLE parent, std::uint32_t index) const;
    D3DXHANDLE GetParameterByName(D3DXHANDLE parent, const char* name) const;
    D3DXHANDLE GetParameterBySemantic(D3DXHANDLE parent, const char* semantic) const;
    D3DXHANDLE GetTechnique(std::uint32_t index) const;
    D3DXHANDLE GetTechniqueByName(const char* name) const;
    D3DXHANDLE GetPass(D3DXHANDLE technique, std::uint32_t index) const;
    D3DXHANDLE GetPassByName(D3DXHANDLE technique, const char* name) const;
    D3DXHANDLE GetFunction(std::uint32_t index) const;
    D3DXHANDLE GetFunctionByName(const char* name) const;
    // Annotations of a parameter, technique, pass or function.
    D3DXHANDLE GetAnnotation(D3DXHANDLE object, std::uint32_t index) const;
    D3DXHANDLE GetAnnotationByName(D3DXHANDLE object, const char* name) const;

    // Values. Typed getters and setters fail (D3DERR_INVALIDCALL) on a
    // parameter of another type or class; copies never pass the parameter's
    // size (arrays: at most its elements).
    HRESULT SetValue(D3DXHANDLE parameter, const void* data, std::uint32_t bytes);
    HRESULT GetValue(D3DXHANDLE parameter, void* data, std::uint32_t bytes) const;
    HRESULT SetBool(D3DXHANDLE parameter, std::int32_t value);
    HRESULT GetBool(D3DXHANDLE parameter, std::int32_t* value) const;
    HRESULT SetBoolArray(D3DXHANDLE parameter, const std::int32_t* values, std::uint32_t count);
    HRESULT GetBoolArray(D3DXHANDLE parameter, std::int32_t* values, std::uint32_t count) const;
    HRESULT SetInt(D3DXHANDLE parameter, std::int32_t value);
    HRESULT GetInt(D3DXHANDLE parameter, std::int32_t* value) const;
    HRESULT SetIntArray(D3DXHANDLE parameter, const std::int32_t* values, std::uint32_t count);
    HRESULT GetIntArray(D3DXHANDLE parameter, std::int32_t* values, std::uint32_t count) const;
    HRESULT SetFloat(D3DXHANDLE parameter, float value);
    HRESULT GetFloat(D3DXHANDLE parameter, float* value) const;
    HRESULT SetFloatArray(D3DXHANDLE parameter, const float* values, std::uint32_t count);
    HRESULT GetFloatArray(D3DXHANDLE parameter, float* values, std::uint32_t count) const;
    HRESULT SetVector(D3DXHANDLE parameter, const D3DXVECTOR4* vector);
    HRESULT GetVector(D3DXHANDLE parameter, D3DXVECTOR4* vector) const;
    HRESULT SetVectorArray(D3DXHANDLE parameter, const D3DXVECTOR4* vectors, std::uint32_t count);
    HRESULT GetVectorArray(D3DXHANDLE parameter, D3DXVECTOR4* vectors, std::uint32_t count) const;
    // Matrices are m[row][column] of the parameter as written; the transpose
    // forms swap rows and columns on the way in and out.
    HRESULT SetMatrix(D3DXHANDLE parameter, const D3DXMATRIX* matrix);
    HRESULT GetMatrix(D3DXHANDLE parameter, D3DXMATRIX* matrix) const;
    HRESULT SetMatrixArray(D3DXHANDLE parameter, const D3DXMATRIX* matrices, std::uint32_t count);
    HRESULT GetMatrixArray(D3DXHANDLE parameter, D3DXMATRIX* matrices, std::uint32_t count) const;
    HRESULT SetMatrixTranspose(D3DXHANDLE parameter, const D3DXMATRIX* matrix);
    HRESULT GetMatrixTranspose(D3DXHANDLE parameter, D3DXMATRIX* matrix) const;
    HRESULT SetMatrixTransposeArray(D3DXHANDLE parameter, const D3DXMATRIX* matrices, std::uint32_t count);
    HRESULT SetString(D3DXHANDLE parameter, const char* text);
    // The text stays owned by the effect.
    HRESULT GetString(D3DXHANDLE parameter, const char** text) const;
    // The texture gains a reference while the effect holds it; GetTexture
    // adds one for the caller (null out for no texture).
    HRESULT SetTexture(D3DXHANDLE parameter, IDirect3DBaseTexture9* texture);
    HRESULT GetTexture(D3DXHANDLE parameter, IDirect3DBaseTexture9** texture) const;

    // The model, for this library's own code.
    [[nodiscard]] effect::EffectData& Data() const { return *m_data; }

protected:
    explicit ID3DXBaseEffect(std::unique_ptr<effect::EffectData> data);
    ~ID3DXBaseEffect() override;
    std::unique_ptr<effect::EffectData> m_data;
};

// An effect on a device: the runtime.
class ID3DXEffect final : public ID3DXBaseEffect {
public:
    HRESULT QueryInterface(const GUID& iid, void** out) override;
    HRESULT GetDevice(IDirect3DDevice9** device);
    HRESULT OnLostDevice() { return D3D_OK; }
    HRESULT OnResetDevice() { return D3D_OK; }

    // The current technique (the first one until set).
    HRESULT SetTechnique(D3DXHANDLE technique);
    [[nodiscard]] D3DXHANDLE GetCurrentTechnique() const;
    // D3D_OK only when every pass can run here: every `compile`d shader
    // compiled, every state and value known, every parameter named exists,
    // programs within the device's caps. The reason of the last failure:
    // ValidationError().
    HRESULT ValidateTechnique(D3DXHANDLE technique);
    [[nodiscard]] const std::string& ValidationError() const { return m_validationError; }
    HRESULT FindNextValidTechnique(D3DXHANDLE technique, D3DXHANDLE* next);
    // Whether the technique can read the parameter: a pass state names it,
    // a sampler a pass uses names it, or a function reachable from a pass's
    // shader mentions it.
    [[nodiscard]] bool IsParameterUsed(D3DXHANDLE parameter, D3DXHANDLE technique) const;

    HRESULT Begin(std::uint32_t* passes, std::uint32_t flags);
    // Applies the pass's states in their written order.
    HRESULT BeginPass(std::uint32_t pass);
    // Sends again the states of the open pass whose parameters changed.
    HRESULT CommitChanges();
    HRESULT EndPass();
    HRESULT End();
    // Between Begin and End; the pass between BeginPass and EndPass (-1:
    // none).
    [[nodiscard]] bool IsBegun() const { return m_begun; }
    [[nodiscard]] int GetOpenPass() const { return m_openPass; }

    // Holds one reference to the manager (null: states go to the device).
    HRESULT SetStateManager(ID3DXEffectStateManager* manager);
    HRESULT GetStateManager(ID3DXEffectStateManager** manager);

    ~ID3DXEffect() override;

private:
    friend HRESULT CreateEffectObject(IDirect3DDevice9*, std::unique_ptr<effect::EffectData>, ID3DXEffect**,
                                      std::string&);
    ID3DXEffect(IDirect3DDevice9* device, std::unique_ptr<effect::EffectData> data);
    struct SavedState;
    HRESULT Apply(std::uint32_t state, bool onlyChanged);
    HRESULT ApplySampler(const effect::Parameter& sampler, std::uint32_t unit);
    HRESULT ApplyBindings(const effect::State& shader, bool vertex);
    void SaveStates(std::uint32_t flags);
    void RestoreStates();

    IDirect3DDevice9* m_device;
    ID3DXEffectStateManager* m_manager = nullptr;
    int m_technique = 0;
    int m_openPass = -1;
    bool m_begun = false;
    std::vector<std::uint64_t> m_sentVersions; // per state of the open pass
    std::vector<std::uint32_t> m_words;        // constant registers on their way to the device
    std::unique_ptr<SavedState> m_saved;
    std::string m_validationError;
};

// An effect read without a device: reflection only.
class ID3DXEffectCompiler final : public ID3DXBaseEffect {
public:
    HRESULT QueryInterface(const GUID& iid, void** out) override;
    explicit ID3DXEffectCompiler(std::unique_ptr<effect::EffectData> data);
};

// Reads the text (or the file, through the path resolver; `#include`s are
// found beside the including file, then in the include folders of
// GfxUtilShader.h) and compiles its `compile` passes. Errors, one
// "file(line): text" line each, go to `errors` when asked for; so do the
// compiler's reasons for a pass that did not compile, as warnings (the file
// is read, those techniques do not validate). Include handler and pool must
// be null.
HRESULT D3DXCreateEffect(IDirect3DDevice9* device, const void* data, std::uint32_t size, const D3DXMACRO* defines,
                         ID3DXInclude* include, std::uint32_t flags, ID3DXEffectPool* pool, ID3DXEffect** effect,
                         ID3DXBuffer** errors);
HRESULT D3DXCreateEffectFromFileA(IDirect3DDevice9* device, const char* path, const D3DXMACRO* defines,
                                  ID3DXInclude* include, std::uint32_t flags, ID3DXEffectPool* pool,
                                  ID3DXEffect** effect, ID3DXBuffer** errors);
HRESULT D3DXCreateEffectCompiler(const char* data, std::uint32_t size, const D3DXMACRO* defines,
                                 ID3DXInclude* include, std::uint32_t flags, ID3DXEffectCompiler** compiler,
                                 ID3DXBuffer** errors);
HRESULT D3DXCreateEffectCompilerFromFileA(const char* path, const D3DXMACRO* defines, ID3DXInclude* include,
                                          std::uint32_t flags, ID3DXEffectCompiler** compiler,
                                          ID3DXBuffer** errors);

} // namespace gfx
