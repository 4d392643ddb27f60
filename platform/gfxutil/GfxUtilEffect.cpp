#include "platform/gfxutil/GfxUtilEffect.h"

#include "platform/gfxutil/GfxUtilEffectData.h"
#include "platform/gfxutil/GfxUtilConstantTable.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslGuard.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslText.h"
#include "platform/gfxutil/GfxUtilShader.h"
#include "platform/os/OsFiles.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <tuple>

namespace gfx {

using effect::EffectData;
using effect::Parameter;
using effect::State;
using effect::StateKind;

// ---- the model's own upkeep ---------------------------------------------------

namespace effect {

namespace {
void ReleaseState(State& s) {
    if (s.deviceShader) s.deviceShader->Release();
    s.deviceShader = nullptr;
}
} // namespace

EffectData::~EffectData() {
    for (Parameter& p : parameters) {
        if (p.texture) p.texture->Release();
        if (p.shader) ReleaseState(*p.shader);
        for (State& element : p.shaders) ReleaseState(element);
    }
    for (Technique& t : techniques)
        for (Pass& pass : t.passes)
            for (State& s : pass.states) ReleaseState(s);
}

int EffectData::ParameterIndex(const std::string& name) const {
    const auto it = m_parameterIndex.find(name);
    return it == m_parameterIndex.end() ? -1 : it->second;
}

void EffectData::ReserveParameters(std::size_t count) {
    parameters.reserve(count);
    m_parameterIndex.reserve(count);
}

bool EffectData::AddParameter(Parameter&& p) {
    if (!m_parameterIndex.emplace(p.name, static_cast<int>(parameters.size())).second) return false;
    parameters.push_back(std::move(p));
    return true;
}

const State* EffectData::ShaderOf(const State& s) const {
    if (s.source == State::Source::Parameter && s.parameter >= 0) {
        // A parameter that is no program sets none.
        static const State kNone;
        const Parameter& p = parameters[static_cast<std::size_t>(s.parameter)];
        return p.shader ? p.shader.get() : &kNone;
    }
    if (s.source != State::Source::Selected) return &s;
    if (s.selector.empty()) return nullptr;
    // From the innermost index outwards: each int array's element indexes
    // the array before it, as the effect evaluates such an expression.
    std::size_t k = s.selector.size() - 1;
    std::int64_t index = s.selectorIndex;
    auto valueOf = [&](const Parameter& p, std::int64_t element) -> std::int64_t {
        if (element < 0 || static_cast<std::uint64_t>(element) >= p.data.size()) return -1;
        const std::uint32_t bits = p.data[static_cast<std::size_t>(element)];
        if (p.type == D3DXPT_FLOAT) {
            const float f = std::bit_cast<float>(bits);
            return f > -1.0f && f < 2147483648.0f ? static_cast<std::int64_t>(f) : -1;
        }
        return static_cast<std::int32_t>(bits);
    };
    if (index < 0) {
        if (k == 0) return nullptr;
        index = valueOf(parameters[static_cast<std::size_t>(s.selector[k])], 0);
        --k;
    }
    for (; k > 0; --k) index = valueOf(parameters[static_cast<std::size_t>(s.selector[k])], index);
    const std::vector<State>& elements = parameters[static_cast<std::size_t>(s.selector[0])].shaders;
    if (index < 0 || static_cast<std::uint64_t>(index) >= elements.size()) return nullptr;
    return &elements[static_cast<std::size_t>(index)];
}

void EffectData::MakeHandles() {
    handles.clear();
    handles.reserve(parameters.size() + functions.size() + techniques.size());
    auto annotations = [&](std::vector<Parameter>& list) {
        for (Parameter& a : list) handles[a.name.c_str()] = {HandleKind::Parameter, &a};
    };
    for (Parameter& p : parameters) {
        handles[p.name.c_str()] = {HandleKind::Parameter, &p};
        annotations(p.annotations);
    }
    for (Function& f : functions) handles[f.name.c_str()] = {HandleKind::Function, &f};
    for (Technique& t : techniques) {
        handles[t.name.c_str()] = {HandleKind::Technique, &t};
        annotations(t.annotations);
        for (Pass& pass : t.passes) {
            handles[pass.name.c_str()] = {HandleKind::Pass, &pass};
            annotations(pass.annotations);
            // What the pass's shaders are, for its description.
            for (const State& s : pass.states) {
                if (!s.info || (s.info->kind != StateKind::VertexShader && s.info->kind != StateKind::PixelShader))
                    continue;
                const std::uint32_t* code = nullptr;
                if (const State* inner = ShaderOf(s); inner && !inner->code.empty()) code = inner->code.data();
                (s.info->kind == StateKind::VertexShader ? pass.vertexFunction : pass.pixelFunction) = code;
            }
        }
    }
}

} // namespace effect

namespace {

const EffectData::Target* Lookup(const EffectData& d, D3DXHANDLE h, EffectData::HandleKind kind) {
    if (!h) return nullptr;
    const auto it = d.handles.find(h);
    if (it != d.handles.end() && it->second.kind == kind) return &it->second;
    return nullptr;
}

Parameter* FindParameter(const EffectData& d, D3DXHANDLE h) {
    if (const auto* t = Lookup(d, h, EffectData::HandleKind::Parameter)) return static_cast<Parameter*>(t->object);
    if (!h) return nullptr;
    const int index = d.ParameterIndex(h);
    return index < 0 ? nullptr : const_cast<Parameter*>(&d.parameters[static_cast<std::size_t>(index)]);
}

effect::Technique* FindTechnique(const EffectData& d, D3DXHANDLE h) {
    if (const auto* t = Lookup(d, h, EffectData::HandleKind::Technique))
        return static_cast<effect::Technique*>(t->object);
    if (!h) return nullptr;
    for (const effect::Technique& t : d.techniques)
        if (t.name == h) return const_cast<effect::Technique*>(&t);
    return nullptr;
}

effect::Pass* FindPass(const EffectData& d, D3DXHANDLE h) {
    const auto* t = Lookup(d, h, EffectData::HandleKind::Pass);
    return t ? static_cast<effect::Pass*>(t->object) : nullptr;
}

const std::vector<Parameter>* AnnotationsOf(const EffectData& d, D3DXHANDLE h) {
    if (!h) return nullptr;
    if (Parameter* p = FindParameter(d, h)) return &p->annotations;
    if (effect::Technique* t = FindTechnique(d, h)) return &t->annotations;
    if (effect::Pass* p = FindPass(d, h)) return &p->annotations;
    return nullptr;
}

bool IsTexture(std::uint32_t type) { return type >= D3DXPT_TEXTURE && type <= D3DXPT_TEXTURECUBE; }
bool IsMatrix(const Parameter& p) {
    return p.type == D3DXPT_FLOAT && (p.cls == D3DXPC_MATRIX_ROWS || p.cls == D3DXPC_MATRIX_COLUMNS);
}

void Touch(EffectData& d, Parameter& p) { p.version = ++d.clock; }

std::uint32_t Elements(const Parameter& p) { return p.elements ? p.elements : 1; }

} // namespace

// ---- ID3DXBaseEffect ---------------------------------------------------------

ID3DXBaseEffect::ID3DXBaseEffect(std::unique_ptr<EffectData> data) : m_data(std::move(data)) {}
ID3DXBaseEffect::~ID3DXBaseEffect() = default;

HRESULT ID3DXBaseEffect::QueryInterface(const GUID& iid, void** out) {
    if (!out) return D3DERR_INVALIDCALL;
    if (iid == IID_IUnknown || iid == IID_ID3DXBaseEffect) {
        AddRef();
        *out = this;
        return D3D_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

HRESULT ID3DXBaseEffect::GetDesc(D3DXEFFECT_DESC* desc) const {
    if (!desc) return D3DERR_INVALIDCALL;
    desc->Creator = "Orvane effect reader";
    desc->Parameters = static_cast<std::uint32_t>(m_data->parameters.size());
    desc->Techniques = static_cast<std::uint32_t>(m_data->techniques.size());
    desc->Functions = static_cast<std::uint32_t>(m_data->functions.size());
    return D3D_OK;
}

HRESULT ID3DXBaseEffect::GetParameterDesc(D3DXHANDLE h, D3DXPARAMETER_DESC* desc) const {
    const Parameter* p = FindParameter(*m_data, h);
    if (!p || !desc) return D3DERR_INVALIDCALL;
    desc->Name = p->name.c_str();
    desc->Semantic = p->semantic.empty() ? nullptr : p->semantic.c_str();
    desc->Class = p->cls;
    desc->Type = p->type;
    desc->Rows = p->rows;
    desc->Columns = p->columns;
    desc->Elements = p->elements;
    desc->Annotations = static_cast<std::uint32_t>(p->annotations.size());
    desc->StructMembers = 0;
    desc->Flags = 0;
    desc->Bytes = p->Numeric() ? p->Components() * 4 : 4 * Elements(*p);
    return D3D_OK;
}

HRESULT ID3DXBaseEffect::GetTechniqueDesc(D3DXHANDLE h, D3DXTECHNIQUE_DESC* desc) const {
    const effect::Technique* t = FindTechnique(*m_data, h);
    if (!t || !desc) return D3DERR_INVALIDCALL;
    desc->Name = t->name.c_str();
    desc->Passes = static_cast<std::uint32_t>(t->passes.size());
    desc->Annotations = static_cast<std::uint32_t>(t->annotations.size());
    return D3D_OK;
}

HRESULT ID3DXBaseEffect::GetPassDesc(D3DXHANDLE h, D3DXPASS_DESC* desc) const {
    const effect::Pass* p = FindPass(*m_data, h);
    if (!p || !desc) return D3DERR_INVALIDCALL;
    desc->Name = p->name.c_str();
    desc->Annotations = static_cast<std::uint32_t>(p->annotations.size());
    desc->pVertexShaderFunction = p->vertexFunction;
    desc->pPixelShaderFunction = p->pixelFunction;
    // A program picked by an expression is the one the parameters pick now.
    for (const State& s : p->states) {
        if (s.source != State::Source::Selected || !s.info) continue;
        const State* picked = m_data->ShaderOf(s);
        const std::uint32_t* code = picked && !picked->code.empty() ? picked->code.data() : nullptr;
        (s.info->kind == StateKind::VertexShader ? desc->pVertexShaderFunction : desc->pPixelShaderFunction) = code;
    }
    return D3D_OK;
}

HRESULT ID3DXBaseEffect::GetFunctionDesc(D3DXHANDLE h, D3DXFUNCTION_DESC* desc) const {
    const EffectData::Target* t = Lookup(*m_data, h, EffectData::HandleKind::Function);
    const effect::Function* f = t ? static_cast<effect::Function*>(t->object) : nullptr;
    if (!f && h)
        for (const effect::Function& g : m_data->functions)
            if (g.name == h) f = &g;
    if (!f || !desc) return D3DERR_INVALIDCALL;
    desc->Name = f->name.c_str();
    desc->Annotations = 0;
    return D3D_OK;
}

D3DXHANDLE ID3DXBaseEffect::GetParameter(D3DXHANDLE parent, std::uint32_t index) const {
    if (parent || index >= m_data->parameters.size()) return nullptr;
    return m_data->parameters[index].name.c_str();
}

D3DXHANDLE ID3DXBaseEffect::GetParameterByName(D3DXHANDLE parent, const char* name) const {
    if (parent || !name) return nullptr;
    const int index = m_data->ParameterIndex(name);
    return index < 0 ? nullptr : m_data->parameters[static_cast<std::size_t>(index)].name.c_str();
}

D3DXHANDLE ID3DXBaseEffect::GetParameterBySemantic(D3DXHANDLE parent, const char* semantic) const {
    if (parent || !semantic) return nullptr;
    for (const Parameter& p : m_data->parameters)
        if (!p.semantic.empty() && strcasecmp(p.semantic.c_str(), semantic) == 0) return p.name.c_str();
    return nullptr;
}

D3DXHANDLE ID3DXBaseEffect::GetTechnique(std::uint32_t index) const {
    return index < m_data->techniques.size() ? m_data->techniques[index].name.c_str() : nullptr;
}

D3DXHANDLE ID3DXBaseEffect::GetTechniqueByName(const char* name) const {
    const effect::Technique* t = name ? FindTechnique(*m_data, name) : nullptr;
    return t ? t->name.c_str() : nullptr;
}

D3DXHANDLE ID3DXBaseEffect::GetPass(D3DXHANDLE technique, std::uint32_t index) const {
    const effect::Technique* t = FindTechnique(*m_data, technique);
    return t && index < t->passes.size() ? t->passes[index].name.c_str() : nullptr;
}

D3DXHANDLE ID3DXBaseEffect::GetPassByName(D3DXHANDLE technique, const char* name) const {
    const effect::Technique* t = FindTechnique(*m_data, technique);
    if (!t || !name) return nullptr;
    for (const effect::Pass& p : t->passes)
        if (p.name == name) return p.name.c_str();
    return nullptr;
}

D3DXHANDLE ID3DXBaseEffect::GetFunction(std::uint32_t index) const {
    return index < m_data->functions.size() ? m_data->functions[index].name.c_str() : nullptr;
}

D3DXHANDLE ID3DXBaseEffect::GetFunctionByName(const char* name) const {
    if (!name) return nullptr;
    for (const effect::Function& f : m_data->functions)
        if (f.name == name) return f.name.c_str();
    return nullptr;
}

D3DXHANDLE ID3DXBaseEffect::GetAnnotation(D3DXHANDLE object, std::uint32_t index) const {
    const std::vector<Parameter>* list = AnnotationsOf(*m_data, object);
    return list && index < list->size() ? (*list)[index].name.c_str() : nullptr;
}

D3DXHANDLE ID3DXBaseEffect::GetAnnotationByName(D3DXHANDLE object, const char* name) const {
    const std::vector<Parameter>* list = AnnotationsOf(*m_data, object);
    if (!list || !name) return nullptr;
    for (const Parameter& a : *list)
        if (a.name == name) return a.name.c_str();
    return nullptr;
}

// -- values

HRESULT ID3DXBaseEffect::SetValue(D3DXHANDLE h, const void* data, std::uint32_t bytes) {
    Parameter* p = FindParameter(*m_data, h);
    if (!p || !data || !p->Numeric() || bytes > p->Components() * 4) return D3DERR_INVALIDCALL;
    std::memcpy(p->data.data(), data, bytes);
    Touch(*m_data, *p);
    return D3D_OK;
}

HRESULT ID3DXBaseEffect::GetValue(D3DXHANDLE h, void* data, std::uint32_t bytes) const {
    const Parameter* p = FindParameter(*m_data, h);
    if (!p || !data || !p->Numeric() || bytes > p->Components() * 4) return D3DERR_INVALIDCALL;
    std::memcpy(data, p->data.data(), bytes);
    return D3D_OK;
}

namespace {
// Copies up to `count` 4-byte values of a parameter of `type`.
HRESULT SetWords(EffectData& d, D3DXHANDLE h, std::uint32_t type, const void* values, std::uint32_t count,
                 bool normaliseBool = false) {
    Parameter* p = FindParameter(d, h);
    if (!p || !values || p->type != type) return D3DERR_INVALIDCALL;
    const std::uint32_t n = std::min(count, p->Components());
    std::memcpy(p->data.data(), values, std::size_t(n) * 4);
    if (normaliseBool)
        for (std::uint32_t i = 0; i < n; ++i) p->data[i] = p->data[i] != 0 ? 1u : 0u;
    Touch(d, *p);
    return D3D_OK;
}
HRESULT GetWords(const EffectData& d, D3DXHANDLE h, std::uint32_t type, void* values, std::uint32_t count) {
    const Parameter* p = FindParameter(d, h);
    if (!p || !values || p->type != type) return D3DERR_INVALIDCALL;
    std::memcpy(values, p->data.data(), std::size_t(std::min(count, p->Components())) * 4);
    return D3D_OK;
}
} // namespace

HRESULT ID3DXBaseEffect::SetBool(D3DXHANDLE h, std::int32_t v) { return SetWords(*m_data, h, D3DXPT_BOOL, &v, 1, true); }
HRESULT ID3DXBaseEffect::GetBool(D3DXHANDLE h, std::int32_t* v) const { return GetWords(*m_data, h, D3DXPT_BOOL, v, 1); }
HRESULT ID3DXBaseEffect::SetBoolArray(D3DXHANDLE h, const std::int32_t* v, std::uint32_t n) {
    return SetWords(*m_data, h, D3DXPT_BOOL, v, n, true);
}
HRESULT ID3DXBaseEffect::GetBoolArray(D3DXHANDLE h, std::int32_t* v, std::uint32_t n) const {
    return GetWords(*m_data, h, D3DXPT_BOOL, v, n);
}
HRESULT ID3DXBaseEffect::SetInt(D3DXHANDLE h, std::int32_t v) { return SetWords(*m_data, h, D3DXPT_INT, &v, 1); }
HRESULT ID3DXBaseEffect::GetInt(D3DXHANDLE h, std::int32_t* v) const { return GetWords(*m_data, h, D3DXPT_INT, v, 1); }
HRESULT ID3DXBaseEffect::SetIntArray(D3DXHANDLE h, const std::int32_t* v, std::uint32_t n) {
    return SetWords(*m_data, h, D3DXPT_INT, v, n);
}
HRESULT ID3DXBaseEffect::GetIntArray(D3DXHANDLE h, std::int32_t* v, std::uint32_t n) const {
    return GetWords(*m_data, h, D3DXPT_INT, v, n);
}
HRESULT ID3DXBaseEffect::SetFloat(D3DXHANDLE h, float v) { return SetWords(*m_data, h, D3DXPT_FLOAT, &v, 1); }
HRESULT ID3DXBaseEffect::GetFloat(D3DXHANDLE h, float* v) const { return GetWords(*m_data, h, D3DXPT_FLOAT, v, 1); }
HRESULT ID3DXBaseEffect::SetFloatArray(D3DXHANDLE h, const float* v, std::uint32_t n) {
    return SetWords(*m_data, h, D3DXPT_FLOAT, v, n);
}
HRESULT ID3DXBaseEffect::GetFloatArray(D3DXHANDLE h, float* v, std::uint32_t n) const {
    return GetWords(*m_data, h, D3DXPT_FLOAT, v, n);
}

namespace {
Parameter* VectorParameter(const EffectData& d, D3DXHANDLE h) {
    Parameter* p = FindParameter(d, h);
    if (!p || p->type != D3DXPT_FLOAT || (p->cls != D3DXPC_VECTOR && p->cls != D3DXPC_SCALAR)) return nullptr;
    return p;
}
Parameter* MatrixParameter(const EffectData& d, D3DXHANDLE h) {
    Parameter* p = FindParameter(d, h);
    return p && IsMatrix(*p) ? p : nullptr;
}
void PutMatrix(Parameter& p, std::uint32_t element, const D3DXMATRIX& m, bool transpose) {
    const std::size_t base = std::size_t(element) * p.rows * p.columns;
    if (p.rows == 4 && p.columns == 4 && !transpose) {
        // The common whole matrix, set for every draw: its rows as they are.
        std::memcpy(&p.data[base], &m.m[0][0], sizeof(float) * 16);
        return;
    }
    for (std::uint32_t r = 0; r < p.rows; ++r)
        for (std::uint32_t c = 0; c < p.columns; ++c)
            p.data[base + r * p.columns + c] = std::bit_cast<std::uint32_t>(transpose ? m.m[c][r] : m.m[r][c]);
}
void TakeMatrix(const Parameter& p, std::uint32_t element, D3DXMATRIX& m, bool transpose) {
    m = D3DXMATRIX{};
    const std::size_t base = std::size_t(element) * p.rows * p.columns;
    for (std::uint32_t r = 0; r < p.rows; ++r)
        for (std::uint32_t c = 0; c < p.columns; ++c)
            (transpose ? m.m[c][r] : m.m[r][c]) = std::bit_cast<float>(p.data[base + r * p.columns + c]);
}
} // namespace

HRESULT ID3DXBaseEffect::SetVector(D3DXHANDLE h, const D3DXVECTOR4* v) { return SetVectorArray(h, v, 1); }
HRESULT ID3DXBaseEffect::GetVector(D3DXHANDLE h, D3DXVECTOR4* v) const { return GetVectorArray(h, v, 1); }

HRESULT ID3DXBaseEffect::SetVectorArray(D3DXHANDLE h, const D3DXVECTOR4* v, std::uint32_t count) {
    Parameter* p = VectorParameter(*m_data, h);
    if (!p || !v) return D3DERR_INVALIDCALL;
    const std::uint32_t n = std::min(count, Elements(*p));
    for (std::uint32_t e = 0; e < n; ++e) {
        const float f[4] = {v[e].x, v[e].y, v[e].z, v[e].w};
        for (std::uint32_t c = 0; c < p->columns && c < 4; ++c)
            p->data[e * p->columns + c] = std::bit_cast<std::uint32_t>(f[c]);
    }
    Touch(*m_data, *p);
    return D3D_OK;
}

HRESULT ID3DXBaseEffect::GetVectorArray(D3DXHANDLE h, D3DXVECTOR4* v, std::uint32_t count) const {
    const Parameter* p = VectorParameter(*m_data, h);
    if (!p || !v) return D3DERR_INVALIDCALL;
    const std::uint32_t n = std::min(count, Elements(*p));
    for (std::uint32_t e = 0; e < n; ++e) {
        float f[4] = {0, 0, 0, 0};
        for (std::uint32_t c = 0; c < p->columns && c < 4; ++c) f[c] = std::bit_cast<float>(p->data[e * p->columns + c]);
        v[e] = {f[0], f[1], f[2], f[3]};
    }
    return D3D_OK;
}

HRESULT ID3DXBaseEffect::SetMatrix(D3DXHANDLE h, const D3DXMATRIX* m) { return SetMatrixArray(h, m, 1); }
HRESULT ID3DXBaseEffect::GetMatrix(D3DXHANDLE h, D3DXMATRIX* m) const { return GetMatrixArray(h, m, 1); }

HRESULT ID3DXBaseEffect::SetMatrixArray(D3DXHANDLE h, const D3DXMATRIX* m, std::uint32_t count) {
    Parameter* p = MatrixParameter(*m_data, h);
    if (!p || !m) return D3DERR_INVALIDCALL;
    for (std::uint32_t e = 0; e < std::min(count, Elements(*p)); ++e) PutMatrix(*p, e, m[e], false);
    Touch(*m_data, *p);
    return D3D_OK;
}

HRESULT ID3DXBaseEffect::GetMatrixArray(D3DXHANDLE h, D3DXMATRIX* m, std::uint32_t count) const {
    const Parameter* p = MatrixParameter(*m_data, h);
    if (!p || !m) return D3DERR_INVALIDCALL;
    for (std::uint32_t e = 0; e < std::min(count, Elements(*p)); ++e) TakeMatrix(*p, e, m[e], false);
    return D3D_OK;
}

HRESULT ID3DXBaseEffect::SetMatrixTranspose(D3DXHANDLE h, const D3DXMATRIX* m) {
    return SetMatrixTransposeArray(h, m, 1);
}

HRESULT ID3DXBaseEffect::GetMatrixTranspose(D3DXHANDLE h, D3DXMATRIX* m) const {
    const Parameter* p = MatrixParameter(*m_data, h);
    if (!p || !m) return D3DERR_INVALIDCALL;
    TakeMatrix(*p, 0, *m, true);
    return D3D_OK;
}

HRESULT ID3DXBaseEffect::SetMatrixTransposeArray(D3DXHANDLE h, const D3DXMATRIX* m, std::uint32_t count) {
    Parameter* p = MatrixParameter(*m_data, h);
    if (!p || !m) return D3DERR_INVALIDCALL;
    for (std::uint32_t e = 0; e < std::min(count, Elements(*p)); ++e) PutMatrix(*p, e, m[e], true);
    Touch(*m_data, *p);
    return D3D_OK;
}

HRESULT ID3DXBaseEffect::SetString(D3DXHANDLE h, const char* text) {
    Parameter* p = FindParameter(*m_data, h);
    if (!p || !text || p->type != D3DXPT_STRING) return D3DERR_INVALIDCALL;
    p->text = text;
    Touch(*m_data, *p);
    return D3D_OK;
}

HRESULT ID3DXBaseEffect::GetString(D3DXHANDLE h, const char** text) const {
    const Parameter* p = FindParameter(*m_data, h);
    if (!p || !text || p->type != D3DXPT_STRING) return D3DERR_INVALIDCALL;
    *text = p->text.c_str();
    return D3D_OK;
}

HRESULT ID3DXBaseEffect::SetTexture(D3DXHANDLE h, IDirect3DBaseTexture9* texture) {
    Parameter* p = FindParameter(*m_data, h);
    if (!p || !IsTexture(p->type)) return D3DERR_INVALIDCALL;
    if (texture) texture->AddRef();
    if (p->texture) p->texture->Release();
    p->texture = texture;
    Touch(*m_data, *p);
    return D3D_OK;
}

HRESULT ID3DXBaseEffect::GetTexture(D3DXHANDLE h, IDirect3DBaseTexture9** texture) const {
    const Parameter* p = FindParameter(*m_data, h);
    if (!p || !texture || !IsTexture(p->type)) return D3DERR_INVALIDCALL;
    *texture = p->texture;
    if (*texture) (*texture)->AddRef();
    return D3D_OK;
}

// ---- ID3DXEffectCompiler -------------------------------------------------------

ID3DXEffectCompiler::ID3DXEffectCompiler(std::unique_ptr<EffectData> data) : ID3DXBaseEffect(std::move(data)) {}

HRESULT ID3DXEffectCompiler::QueryInterface(const GUID& iid, void** out) {
    if (out && iid == IID_ID3DXEffectCompiler) {
        AddRef();
        *out = this;
        return D3D_OK;
    }
    return ID3DXBaseEffect::QueryInterface(iid, out);
}

// ---- ID3DXEffect ------------------------------------------------------------------

struct ID3DXEffect::SavedState {
    struct Value {
        StateKind kind;
        std::uint32_t index, number, value;
    };
    std::vector<Value> values;
    std::vector<std::pair<std::uint32_t, IDirect3DBaseTexture9*>> textures; // counted
    bool vertexShader = false, pixelShader = false;
    IDirect3DVertexShader9* vs = nullptr; // counted
    IDirect3DPixelShader9* ps = nullptr;  // counted
    // Lights the technique sets that the device had, whether each was on,
    // and the material.
    std::vector<std::pair<std::uint32_t, D3DLIGHT9>> lights;
    std::vector<std::pair<std::uint32_t, std::int32_t>> lightsOn;
    bool material = false;
    D3DMATERIAL9 materialValue;
};

ID3DXEffect::ID3DXEffect(IDirect3DDevice9* device, std::unique_ptr<EffectData> data)
    : ID3DXBaseEffect(std::move(data)), m_device(device) {
    m_device->AddRef();
}

ID3DXEffect::~ID3DXEffect() {
    if (m_begun) End();
    if (m_manager) m_manager->Release();
    m_device->Release();
}

HRESULT ID3DXEffect::QueryInterface(const GUID& iid, void** out) {
    if (out && iid == IID_ID3DXEffect) {
        AddRef();
        *out = this;
        return D3D_OK;
    }
    return ID3DXBaseEffect::QueryInterface(iid, out);
}

HRESULT ID3DXEffect::GetDevice(IDirect3DDevice9** device) {
    if (!device) return D3DERR_INVALIDCALL;
    *device = m_device;
    m_device->AddRef();
    return D3D_OK;
}

HRESULT ID3DXEffect::SetTechnique(D3DXHANDLE h) {
    const effect::Technique* t = FindTechnique(*m_data, h);
    if (!t || m_begun) return D3DERR_INVALIDCALL;
    m_technique = static_cast<int>(t - m_data->techniques.data());
    return D3D_OK;
}

D3DXHANDLE ID3DXEffect::GetCurrentTechnique() const {
    return m_data->techniques.empty() ? nullptr
                                      : m_data->techniques[static_cast<std::size_t>(m_technique)].name.c_str();
}

namespace {

std::string ShaderVersionText(std::uint32_t token) {
    return std::to_string((token >> 8) & 0xFF) + "." + std::to_string(token & 0xFF);
}

// Why a shader state cannot run here ("" when it can).
std::string ShaderProblem(const State& s, const D3DCAPS9& caps) {
    if (!s.error.empty()) return s.error;
    if (s.source == State::Source::Null) return {};
    if (s.code.empty()) return "'" + s.name + "' has no program";
    const std::uint32_t version = D3DXGetShaderVersion(s.code.data());
    const bool vertex = (version & 0xFFFF0000u) == 0xFFFE0000u;
    const std::uint32_t have = (vertex ? caps.VertexShaderVersion : caps.PixelShaderVersion) & 0xFFFF;
    if ((version & 0xFFFF) > have)
        return std::string(vertex ? "vertex" : "pixel") + " shader " + ShaderVersionText(version) +
               " is beyond the device (" + ShaderVersionText(have) + ")";
    if (!s.deviceShader) return "the device refused the program of '" + s.name + "'";
    return {};
}

} // namespace

HRESULT ID3DXEffect::ValidateTechnique(D3DXHANDLE h) {
    const effect::Technique* t = FindTechnique(*m_data, h);
    if (!t) {
        m_validationError = "no such technique";
        return D3DERR_INVALIDCALL;
    }
    D3DCAPS9 caps{};
    m_device->GetDeviceCaps(&caps);
    for (const effect::Pass& pass : t->passes)
        for (const State& s : pass.states) {
            std::string problem = s.error;
            if (problem.empty() && s.info) {
                const StateKind kind = s.info->kind;
                if (kind == StateKind::VertexShader || kind == StateKind::PixelShader) {
                    if (s.source == State::Source::Selected) {
                        // Any element may be picked when the pass begins: all must run.
                        if (s.selector.empty()) problem = "'" + s.name + "' picks no program";
                        else
                            for (const State& element :
                                 m_data->parameters[static_cast<std::size_t>(s.selector[0])].shaders)
                                if (problem.empty()) problem = ShaderProblem(element, caps);
                    } else {
                        problem = ShaderProblem(*m_data->ShaderOf(s), caps);
                    }
                } else if (kind == StateKind::SamplerObject) {
                    for (const State& inner : m_data->parameters[static_cast<std::size_t>(s.parameter)].samplerStates)
                        if (problem.empty() && !inner.error.empty()) problem = inner.error;
                }
            }
            if (!problem.empty()) {
                m_validationError = "pass '" + pass.name + "': " + problem;
                return E_FAIL;
            }
        }
    m_validationError.clear();
    return D3D_OK;
}

HRESULT ID3DXEffect::FindNextValidTechnique(D3DXHANDLE h, D3DXHANDLE* next) {
    if (!next) return D3DERR_INVALIDCALL;
    *next = nullptr;
    std::size_t start = 0;
    if (h) {
        const effect::Technique* t = FindTechnique(*m_data, h);
        if (!t) return D3DERR_INVALIDCALL;
        start = static_cast<std::size_t>(t - m_data->techniques.data()) + 1;
    }
    for (std::size_t i = start; i < m_data->techniques.size(); ++i)
        if (SUCCEEDED(ValidateTechnique(m_data->techniques[i].name.c_str()))) {
            *next = m_data->techniques[i].name.c_str();
            return D3D_OK;
        }
    return E_FAIL;
}

bool ID3DXEffect::IsParameterUsed(D3DXHANDLE parameter, D3DXHANDLE technique) const {
    const Parameter* wanted = FindParameter(*m_data, parameter);
    const effect::Technique* t = FindTechnique(*m_data, technique);
    if (!wanted || !t) return false;
    const EffectData& d = *m_data;
    std::set<int> used;
    std::set<std::string> functions;
    std::vector<std::string> pending;
    auto useParameter = [&](int index) {
        if (index < 0 || !used.insert(index).second) return;
        const Parameter& p = d.parameters[static_cast<std::size_t>(index)];
        for (const State& s : p.samplerStates)
            if (s.source == State::Source::Parameter) used.insert(s.parameter);
        auto compiled = [&](const State& shader) {
            if (shader.source != State::Source::Compile) return;
            pending.push_back(shader.entry);
            for (const std::string& a : shader.arguments) pending.push_back(a);
        };
        if (p.shader) compiled(*p.shader);
        for (const State& element : p.shaders) compiled(element);
    };
    for (const effect::Pass& pass : t->passes)
        for (const State& s : pass.states) {
            if (s.source == State::Source::Parameter) useParameter(s.parameter);
            for (const int index : s.selector) useParameter(index);
            if (s.source == State::Source::Compile) {
                pending.push_back(s.entry);
                for (const std::string& a : s.arguments) pending.push_back(a);
            }
        }
    // Names reachable from the shaders' entries: functions they call, and
    // parameters (samplers bring their textures) they mention.
    while (!pending.empty()) {
        const std::string name = pending.back();
        pending.pop_back();
        const int index = d.ParameterIndex(name);
        if (index >= 0) {
            useParameter(index);
            continue;
        }
        if (!functions.insert(name).second) continue;
        for (const effect::Function& f : d.functions)
            if (f.name == name)
                for (const std::string& id : f.identifiers)
                    if (!functions.count(id)) pending.push_back(id);
    }
    return used.count(static_cast<int>(wanted - d.parameters.data())) != 0;
}

// -- applying states

namespace {

// A numeric parameter's first value as a state value.
std::uint32_t StateValue(const Parameter& p, effect::ValueType type) {
    if (p.data.empty()) return 0;
    const std::uint32_t bits = p.data[0];
    if (p.type == D3DXPT_FLOAT) {
        if (type == effect::ValueType::Float) return bits;
        const float f = std::bit_cast<float>(bits);
        if (!(f > -2147483649.0f && f < 4294967296.0f)) return 0;
        return f < 0 ? static_cast<std::uint32_t>(static_cast<std::int32_t>(f)) : static_cast<std::uint32_t>(f);
    }
    if (type == effect::ValueType::Float) return std::bit_cast<std::uint32_t>(static_cast<float>(static_cast<std::int32_t>(bits)));
    return bits;
}

// Up to four floats a Vector state sets: from its parameter (integers
// converted) or its literal; missing ones 0.
std::array<float, 4> VectorValue(const State& s, const Parameter* p) {
    std::array<float, 4> out{};
    const std::vector<std::uint32_t>& words = p ? p->data : s.literal;
    for (std::size_t i = 0; i < 4 && i < words.size(); ++i)
        out[i] = !p || p->type == D3DXPT_FLOAT ? std::bit_cast<float>(words[i])
                                               : static_cast<float>(static_cast<std::int32_t>(words[i]));
    return out;
}

// One member of a light or of the material, the others as they are.
void SetLightMember(D3DLIGHT9& light, std::uint32_t member, std::uint32_t value, const std::array<float, 4>& v) {
    const float f = std::bit_cast<float>(value);
    switch (member) {
    case effect::kLightType: light.Type = value; break;
    case effect::kLightDiffuse: light.Diffuse = {v[0], v[1], v[2], v[3]}; break;
    case effect::kLightSpecular: light.Specular = {v[0], v[1], v[2], v[3]}; break;
    case effect::kLightAmbient: light.Ambient = {v[0], v[1], v[2], v[3]}; break;
    case effect::kLightPosition: light.Position = {v[0], v[1], v[2]}; break;
    case effect::kLightDirection: light.Direction = {v[0], v[1], v[2]}; break;
    case effect::kLightRange: light.Range = f; break;
    case effect::kLightFalloff: light.Falloff = f; break;
    case effect::kLightAttenuation0: light.Attenuation0 = f; break;
    case effect::kLightAttenuation1: light.Attenuation1 = f; break;
    case effect::kLightAttenuation2: light.Attenuation2 = f; break;
    case effect::kLightTheta: light.Theta = f; break;
    default: light.Phi = f; break;
    }
}
void SetMaterialMember(D3DMATERIAL9& m, std::uint32_t member, std::uint32_t value, const std::array<float, 4>& v) {
    switch (member) {
    case effect::kMaterialDiffuse: m.Diffuse = {v[0], v[1], v[2], v[3]}; break;
    case effect::kMaterialAmbient: m.Ambient = {v[0], v[1], v[2], v[3]}; break;
    case effect::kMaterialSpecular: m.Specular = {v[0], v[1], v[2], v[3]}; break;
    case effect::kMaterialEmissive: m.Emissive = {v[0], v[1], v[2], v[3]}; break;
    default: m.Power = std::bit_cast<float>(value); break;
    }
}

// Shader constant registers of four from a parameter: matrices by rows when
// row-major, by columns when column-major; vectors and scalars one each.
// `out` is the caller's to reuse: drawing sends these every pass.
void Registers(const Parameter& p, std::uint32_t cls, std::vector<std::uint32_t>& out) {
    const std::uint32_t elements = Elements(p);
    const bool byColumns = cls == D3DXPC_MATRIX_COLUMNS;
    const std::size_t perElement = std::size_t(byColumns ? p.columns : p.rows) * 4;
    out.assign(elements * perElement, 0u);
    std::uint32_t* o = out.data();
    if (p.rows == 4 && p.columns == 4) {
        // Whole matrices, the common case of every draw: rows copied, or
        // columns gathered.
        for (std::uint32_t e = 0; e < elements; ++e, o += 16) {
            const std::uint32_t* in = p.data.data() + std::size_t(e) * 16;
            if (!byColumns) {
                std::memcpy(o, in, sizeof(std::uint32_t) * 16);
                continue;
            }
            for (std::uint32_t r = 0; r < 4; ++r)
                for (std::uint32_t c = 0; c < 4; ++c) o[c * 4 + r] = in[r * 4 + c];
        }
        return;
    }
    for (std::uint32_t e = 0; e < elements; ++e, o += perElement) {
        const std::uint32_t* in = p.data.data() + std::size_t(e) * p.rows * p.columns;
        for (std::uint32_t r = 0; r < p.rows && r < 4; ++r)
            for (std::uint32_t c = 0; c < p.columns && c < 4; ++c)
                o[byColumns ? c * 4 + r : r * 4 + c] = in[r * p.columns + c];
    }
}

} // namespace

HRESULT ID3DXEffect::ApplySampler(const Parameter& p, std::uint32_t unit) {
    ID3DXEffectStateManager* sm = m_manager;
    IDirect3DDevice9* dev = m_device;
    HRESULT result = D3D_OK;
    for (const State& inner : p.samplerStates) {
        if (!inner.error.empty() || !inner.info) continue;
        HRESULT hr = D3D_OK;
        if (inner.info->kind == StateKind::Texture) {
            IDirect3DBaseTexture9* texture =
                inner.parameter >= 0 ? m_data->parameters[static_cast<std::size_t>(inner.parameter)].texture : nullptr;
            hr = sm ? sm->SetTexture(unit, texture) : dev->SetTexture(unit, texture);
        } else {
            const std::uint32_t v = inner.parameter >= 0
                                        ? StateValue(m_data->parameters[static_cast<std::size_t>(inner.parameter)],
                                                     inner.info->value)
                                        : (inner.literal.empty() ? 0u : inner.literal[0]);
            hr = sm ? sm->SetSamplerState(unit, inner.info->number, v) : dev->SetSamplerState(unit, inner.info->number, v);
        }
        if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
    return result;
}

// Every constant of a compiled program set from the parameter of its name,
// in the register set and layout its table gives: float registers by rows or
// columns, integer registers four to a register, one boolean per register;
// samplers get their sampler_state at the unit the program reads.
HRESULT ID3DXEffect::ApplyBindings(const State& shader, bool vertex) {
    ID3DXEffectStateManager* sm = m_manager;
    IDirect3DDevice9* dev = m_device;
    HRESULT result = D3D_OK;
    for (const effect::Binding& b : shader.bindings) {
        if (b.parameter < 0) continue;
        const Parameter& p = m_data->parameters[static_cast<std::size_t>(b.parameter)];
        const ShaderConstantRecord& k = b.constant;
        HRESULT hr = D3D_OK;
        if (k.registerSet == D3DXRS_SAMPLER) {
            // A vertex program's sampler n is the device's vertex sampler n.
            const std::uint32_t unit = vertex ? D3DVERTEXTEXTURESAMPLER0 + k.registerIndex : k.registerIndex;
            if (p.type >= D3DXPT_SAMPLER && p.type <= D3DXPT_SAMPLERCUBE) hr = ApplySampler(p, unit);
            // A texture object read through the sampler: its texture at the
            // unit, over any the sampler's own states name.
            if (b.texture >= 0 && SUCCEEDED(hr)) {
                const Parameter& t = m_data->parameters[static_cast<std::size_t>(b.texture)];
                if (t.type >= D3DXPT_TEXTURE && t.type <= D3DXPT_TEXTURECUBE)
                    hr = sm ? sm->SetTexture(unit, t.texture) : dev->SetTexture(unit, t.texture);
            }
        } else if (p.Numeric() && !p.data.empty()) {
            const bool isFloat = p.type == D3DXPT_FLOAT;
            if (k.registerSet == D3DXRS_BOOL) {
                std::vector<std::int32_t> bools(std::min<std::size_t>(k.registerCount, p.data.size()));
                for (std::size_t i = 0; i < bools.size(); ++i)
                    bools[i] = isFloat ? std::bit_cast<float>(p.data[i]) != 0.0f : p.data[i] != 0;
                const auto n = static_cast<std::uint32_t>(bools.size());
                if (n)
                    hr = vertex ? (sm ? sm->SetVertexShaderConstantB(k.registerIndex, bools.data(), n)
                                      : dev->SetVertexShaderConstantB(k.registerIndex, bools.data(), n))
                                : (sm ? sm->SetPixelShaderConstantB(k.registerIndex, bools.data(), n)
                                      : dev->SetPixelShaderConstantB(k.registerIndex, bools.data(), n));
            } else {
                std::vector<std::uint32_t>& words = m_words;
                Registers(p, k.cls, words);
                const bool wantFloat = k.registerSet == D3DXRS_FLOAT4;
                if (wantFloat != isFloat)
                    for (std::uint32_t& w : words)
                        w = wantFloat ? std::bit_cast<std::uint32_t>(static_cast<float>(static_cast<std::int32_t>(w)))
                                      : static_cast<std::uint32_t>(IntegerRegisterValue(std::bit_cast<float>(w)));
                const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(k.registerCount, words.size() / 4));
                const auto* f = reinterpret_cast<const float*>(words.data());
                const auto* i = reinterpret_cast<const std::int32_t*>(words.data());
                if (n == 0) {
                } else if (wantFloat) {
                    hr = vertex ? (sm ? sm->SetVertexShaderConstantF(k.registerIndex, f, n)
                                      : dev->SetVertexShaderConstantF(k.registerIndex, f, n))
                                : (sm ? sm->SetPixelShaderConstantF(k.registerIndex, f, n)
                                      : dev->SetPixelShaderConstantF(k.registerIndex, f, n));
                } else {
                    hr = vertex ? (sm ? sm->SetVertexShaderConstantI(k.registerIndex, i, n)
                                      : dev->SetVertexShaderConstantI(k.registerIndex, i, n))
                                : (sm ? sm->SetPixelShaderConstantI(k.registerIndex, i, n)
                                      : dev->SetPixelShaderConstantI(k.registerIndex, i, n));
                }
            }
        }
        if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
    return result;
}

HRESULT ID3DXEffect::Apply(std::uint32_t stateIndex, bool) {
    const effect::Pass& pass =
        m_data->techniques[static_cast<std::size_t>(m_technique)].passes[static_cast<std::size_t>(m_openPass)];
    const State& s = pass.states[stateIndex];
    if (!s.info) return E_FAIL;
    ID3DXEffectStateManager* sm = m_manager;
    IDirect3DDevice9* dev = m_device;
    const Parameter* p = s.parameter >= 0 ? &m_data->parameters[static_cast<std::size_t>(s.parameter)] : nullptr;
    const std::uint32_t value =
        p ? StateValue(*p, s.info->value) : (s.literal.empty() ? 0u : s.literal[0]);
    switch (s.info->kind) {
    case StateKind::Unknown: return E_FAIL;
    case StateKind::Render:
        return sm ? sm->SetRenderState(s.info->number, value) : dev->SetRenderState(s.info->number, value);
    case StateKind::TextureStage:
        return sm ? sm->SetTextureStageState(s.index, s.info->number, value)
                  : dev->SetTextureStageState(s.index, s.info->number, value);
    case StateKind::Sampler:
        return sm ? sm->SetSamplerState(s.index, s.info->number, value)
                  : dev->SetSamplerState(s.index, s.info->number, value);
    case StateKind::Fvf: return sm ? sm->SetFVF(value) : dev->SetFVF(value);
    case StateKind::Texture: {
        IDirect3DBaseTexture9* texture = p ? p->texture : nullptr;
        return sm ? sm->SetTexture(s.index, texture) : dev->SetTexture(s.index, texture);
    }
    case StateKind::SamplerObject:
        return p ? ApplySampler(*p, s.index) : E_FAIL;
    case StateKind::VertexShader:
    case StateKind::PixelShader: {
        const State* picked = m_data->ShaderOf(s);
        if (!picked) return E_FAIL;
        const State& shader = *picked;
        if (!shader.error.empty()) return E_FAIL;
        Unknown* object = shader.source == State::Source::Null ? nullptr : shader.deviceShader;
        if (shader.source != State::Source::Null && !object) return E_FAIL;
        const bool vertex = s.info->kind == StateKind::VertexShader;
        HRESULT hr = D3D_OK;
        if (vertex) {
            auto* vs = static_cast<IDirect3DVertexShader9*>(object);
            hr = sm ? sm->SetVertexShader(vs) : dev->SetVertexShader(vs);
        } else {
            auto* ps = static_cast<IDirect3DPixelShader9*>(object);
            hr = sm ? sm->SetPixelShader(ps) : dev->SetPixelShader(ps);
        }
        if (SUCCEEDED(hr) && shader.source == State::Source::Compile) hr = ApplyBindings(shader, vertex);
        return hr;
    }
    case StateKind::Light: {
        // The device takes a light whole, and one written member by member
        // is whole only at its last member (a point light before its
        // attenuation is refused): every member the pass writes for this
        // light goes in at once, over the light the device has (a light
        // never set starts as the device's default: white, along +z).
        D3DLIGHT9 light;
        if (FAILED(dev->GetLight(s.index, &light))) {
            light = D3DLIGHT9{};
            light.Type = D3DLIGHT_DIRECTIONAL;
            light.Diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
            light.Direction = {0.0f, 0.0f, 1.0f};
        }
        for (const State& member : pass.states) {
            if (!member.info || member.info->kind != StateKind::Light || member.index != s.index ||
                !member.error.empty())
                continue;
            const Parameter* mp =
                member.parameter >= 0 ? &m_data->parameters[static_cast<std::size_t>(member.parameter)] : nullptr;
            const std::uint32_t bits =
                mp ? StateValue(*mp, member.info->value) : (member.literal.empty() ? 0u : member.literal[0]);
            SetLightMember(light, member.info->number, bits, VectorValue(member, mp));
        }
        return sm ? sm->SetLight(s.index, &light) : dev->SetLight(s.index, &light);
    }
    case StateKind::LightEnable: {
        const auto on = static_cast<std::int32_t>(value != 0);
        return sm ? sm->LightEnable(s.index, on) : dev->LightEnable(s.index, on);
    }
    case StateKind::Material: {
        D3DMATERIAL9 material;
        if (FAILED(dev->GetMaterial(&material))) material = D3DMATERIAL9{};
        SetMaterialMember(material, s.info->number, value, VectorValue(s, p));
        return sm ? sm->SetMaterial(&material) : dev->SetMaterial(&material);
    }
    case StateKind::Transform: {
        if (!p) return E_FAIL;
        D3DXMATRIX m;
        TakeMatrix(*p, 0, m, false);
        const std::uint32_t number = s.info->number + s.index;
        return sm ? sm->SetTransform(number, &m) : dev->SetTransform(number, &m);
    }
    case StateKind::VertexConstantF:
    case StateKind::PixelConstantF:
    case StateKind::VertexConstantI:
    case StateKind::PixelConstantI:
    case StateKind::VertexConstantB:
    case StateKind::PixelConstantB: {
        const StateKind k = s.info->kind;
        const bool isBool = k == StateKind::VertexConstantB || k == StateKind::PixelConstantB;
        std::vector<std::uint32_t>& words = m_words;
        if (p && !isBool)
            Registers(*p, p->cls, words);
        else
            words.assign((p ? p->data : s.literal).begin(), (p ? p->data : s.literal).end());
        if (p && !isBool && (k == StateKind::VertexConstantI || k == StateKind::PixelConstantI) &&
            p->type == D3DXPT_FLOAT)
            for (std::uint32_t& w : words) w = static_cast<std::uint32_t>(IntegerRegisterValue(std::bit_cast<float>(w)));
        if (p && (k == StateKind::VertexConstantF || k == StateKind::PixelConstantF) && p->type != D3DXPT_FLOAT)
            for (std::uint32_t& w : words) w = std::bit_cast<std::uint32_t>(static_cast<float>(static_cast<std::int32_t>(w)));
        std::uint32_t count = static_cast<std::uint32_t>(isBool ? words.size() : words.size() / 4);
        if (s.info->registers) count = std::min(count, s.info->registers);
        if (count == 0) return D3D_OK;
        const auto* f = reinterpret_cast<const float*>(words.data());
        const auto* i = reinterpret_cast<const std::int32_t*>(words.data());
        switch (k) {
        case StateKind::VertexConstantF:
            return sm ? sm->SetVertexShaderConstantF(s.index, f, count) : dev->SetVertexShaderConstantF(s.index, f, count);
        case StateKind::PixelConstantF:
            return sm ? sm->SetPixelShaderConstantF(s.index, f, count) : dev->SetPixelShaderConstantF(s.index, f, count);
        case StateKind::VertexConstantI:
            return sm ? sm->SetVertexShaderConstantI(s.index, i, count) : dev->SetVertexShaderConstantI(s.index, i, count);
        case StateKind::PixelConstantI:
            return sm ? sm->SetPixelShaderConstantI(s.index, i, count) : dev->SetPixelShaderConstantI(s.index, i, count);
        case StateKind::VertexConstantB:
            return sm ? sm->SetVertexShaderConstantB(s.index, i, count) : dev->SetVertexShaderConstantB(s.index, i, count);
        default:
            return sm ? sm->SetPixelShaderConstantB(s.index, i, count) : dev->SetPixelShaderConstantB(s.index, i, count);
        }
    }
    }
    return E_FAIL;
}

namespace {
// The newest change among the parameters a state reads (0: none).
std::uint64_t ParameterVersion(const EffectData& d, int index) {
    const Parameter& p = d.parameters[static_cast<std::size_t>(index)];
    std::uint64_t v = p.version;
    for (const State& inner : p.samplerStates)
        if (inner.parameter >= 0) v = std::max(v, d.parameters[static_cast<std::size_t>(inner.parameter)].version);
    return v;
}

// A compiled program reads the parameters its constants are named after.
std::uint64_t StateVersion(const EffectData& d, const State& s) {
    std::uint64_t v = 0;
    if (s.parameter >= 0) v = ParameterVersion(d, s.parameter);
    for (const int index : s.selector) v = std::max(v, ParameterVersion(d, index));
    const State* shader = d.ShaderOf(s);
    if (!shader) return v;
    for (const effect::Binding& b : shader->bindings) {
        if (b.parameter >= 0) v = std::max(v, ParameterVersion(d, b.parameter));
        if (b.texture >= 0) v = std::max(v, ParameterVersion(d, b.texture));
    }
    return v;
}
} // namespace

HRESULT ID3DXEffect::Begin(std::uint32_t* passes, std::uint32_t flags) {
    if (!passes || m_begun || m_data->techniques.empty()) return D3DERR_INVALIDCALL;
    *passes = static_cast<std::uint32_t>(m_data->techniques[static_cast<std::size_t>(m_technique)].passes.size());
    SaveStates(flags);
    m_begun = true;
    return D3D_OK;
}

HRESULT ID3DXEffect::BeginPass(std::uint32_t pass) {
    if (!m_begun || m_openPass >= 0) return D3DERR_INVALIDCALL;
    const effect::Technique& t = m_data->techniques[static_cast<std::size_t>(m_technique)];
    if (pass >= t.passes.size()) return D3DERR_INVALIDCALL;
    m_openPass = static_cast<int>(pass);
    const std::vector<State>& states = t.passes[pass].states;
    m_sentVersions.assign(states.size(), 0);
    HRESULT result = D3D_OK;
    for (std::uint32_t i = 0; i < states.size(); ++i) {
        m_sentVersions[i] = StateVersion(*m_data, states[i]);
        const HRESULT hr = states[i].error.empty() ? Apply(i, false) : E_FAIL;
        if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
    return result;
}

HRESULT ID3DXEffect::CommitChanges() {
    if (m_openPass < 0) return D3DERR_INVALIDCALL;
    const std::vector<State>& states =
        m_data->techniques[static_cast<std::size_t>(m_technique)].passes[static_cast<std::size_t>(m_openPass)].states;
    HRESULT result = D3D_OK;
    for (std::uint32_t i = 0; i < states.size(); ++i) {
        const std::uint64_t version = StateVersion(*m_data, states[i]);
        if (version <= m_sentVersions[i] || !states[i].error.empty()) continue;
        m_sentVersions[i] = version;
        const HRESULT hr = Apply(i, true);
        if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
    return result;
}

HRESULT ID3DXEffect::EndPass() {
    if (m_openPass < 0) return D3DERR_INVALIDCALL;
    m_openPass = -1;
    return D3D_OK;
}

HRESULT ID3DXEffect::End() {
    if (!m_begun) return D3DERR_INVALIDCALL;
    m_openPass = -1;
    RestoreStates();
    m_begun = false;
    return D3D_OK;
}

void ID3DXEffect::SaveStates(std::uint32_t flags) {
    m_saved.reset();
    if (flags & D3DXFX_DONOTSAVESTATE) return;
    auto saved = std::make_unique<SavedState>();
    const bool shaders = !(flags & D3DXFX_DONOTSAVESHADERSTATE), samplers = !(flags & D3DXFX_DONOTSAVESAMPLERSTATE);
    std::set<std::tuple<int, std::uint32_t, std::uint32_t>> seen;
    auto keep = [&](StateKind kind, std::uint32_t index, std::uint32_t number) {
        if (!seen.insert({static_cast<int>(kind), index, number}).second) return;
        std::uint32_t value = 0;
        HRESULT hr = E_FAIL;
        if (kind == StateKind::Render) hr = m_device->GetRenderState(number, &value);
        else if (kind == StateKind::TextureStage) hr = m_device->GetTextureStageState(index, number, &value);
        else if (kind == StateKind::Sampler) hr = m_device->GetSamplerState(index, number, &value);
        else if (kind == StateKind::Texture) {
            IDirect3DBaseTexture9* texture = nullptr;
            if (SUCCEEDED(m_device->GetTexture(index, &texture))) saved->textures.push_back({index, texture});
            return;
        }
        if (SUCCEEDED(hr)) saved->values.push_back({kind, index, number, value});
    };
    for (const effect::Pass& pass : m_data->techniques[static_cast<std::size_t>(m_technique)].passes)
        for (const State& s : pass.states) {
            if (!s.info || !s.error.empty()) continue;
            switch (s.info->kind) {
            case StateKind::Render:
            case StateKind::TextureStage: keep(s.info->kind, s.index, s.info->number); break;
            case StateKind::Sampler:
                if (samplers) keep(s.info->kind, s.index, s.info->number);
                break;
            case StateKind::Texture: keep(s.info->kind, s.index, 0); break;
            case StateKind::SamplerObject:
                if (!samplers || s.parameter < 0) break;
                for (const State& inner : m_data->parameters[static_cast<std::size_t>(s.parameter)].samplerStates)
                    if (inner.info && inner.error.empty())
                        keep(inner.info->kind, s.index, inner.info->kind == StateKind::Texture ? 0 : inner.info->number);
                break;
            case StateKind::Light:
                if (std::none_of(saved->lights.begin(), saved->lights.end(),
                                 [&](const auto& l) { return l.first == s.index; })) {
                    D3DLIGHT9 light;
                    if (SUCCEEDED(m_device->GetLight(s.index, &light))) saved->lights.emplace_back(s.index, light);
                }
                break;
            case StateKind::LightEnable:
                if (std::none_of(saved->lightsOn.begin(), saved->lightsOn.end(),
                                 [&](const auto& l) { return l.first == s.index; })) {
                    std::int32_t on = 0;
                    if (SUCCEEDED(m_device->GetLightEnable(s.index, &on))) saved->lightsOn.emplace_back(s.index, on);
                }
                break;
            case StateKind::Material:
                if (!saved->material) saved->material = SUCCEEDED(m_device->GetMaterial(&saved->materialValue));
                break;
            case StateKind::VertexShader:
                if (shaders && !saved->vertexShader) {
                    saved->vertexShader = true;
                    m_device->GetVertexShader(&saved->vs);
                }
                break;
            case StateKind::PixelShader:
                if (shaders && !saved->pixelShader) {
                    saved->pixelShader = true;
                    m_device->GetPixelShader(&saved->ps);
                }
                break;
            default: break;
            }
        }
    m_saved = std::move(saved);
}

void ID3DXEffect::RestoreStates() {
    if (!m_saved) return;
    ID3DXEffectStateManager* sm = m_manager;
    for (const SavedState::Value& v : m_saved->values) {
        if (v.kind == StateKind::Render) sm ? sm->SetRenderState(v.number, v.value) : m_device->SetRenderState(v.number, v.value);
        else if (v.kind == StateKind::TextureStage)
            sm ? sm->SetTextureStageState(v.index, v.number, v.value)
               : m_device->SetTextureStageState(v.index, v.number, v.value);
        else
            sm ? sm->SetSamplerState(v.index, v.number, v.value) : m_device->SetSamplerState(v.index, v.number, v.value);
    }
    for (auto& [stage, texture] : m_saved->textures) {
        sm ? sm->SetTexture(stage, texture) : m_device->SetTexture(stage, texture);
        if (texture) texture->Release();
    }
    for (const auto& [index, light] : m_saved->lights)
        sm ? sm->SetLight(index, &light) : m_device->SetLight(index, &light);
    for (const auto& [index, on] : m_saved->lightsOn) sm ? sm->LightEnable(index, on) : m_device->LightEnable(index, on);
    if (m_saved->material)
        sm ? sm->SetMaterial(&m_saved->materialValue) : m_device->SetMaterial(&m_saved->materialValue);
    if (m_saved->vertexShader) sm ? sm->SetVertexShader(m_saved->vs) : m_device->SetVertexShader(m_saved->vs);
    if (m_saved->pixelShader) sm ? sm->SetPixelShader(m_saved->ps) : m_device->SetPixelShader(m_saved->ps);
    if (m_saved->vs) m_saved->vs->Release();
    if (m_saved->ps) m_saved->ps->Release();
    m_saved.reset();
}

HRESULT ID3DXEffect::SetStateManager(ID3DXEffectStateManager* manager) {
    if (manager) manager->AddRef();
    if (m_manager) m_manager->Release();
    m_manager = manager;
    return D3D_OK;
}

HRESULT ID3DXEffect::GetStateManager(ID3DXEffectStateManager** manager) {
    if (!manager) return D3DERR_INVALIDCALL;
    *manager = m_manager;
    if (m_manager) m_manager->AddRef();
    return D3D_OK;
}

// ---- creation -----------------------------------------------------------------------

namespace {

ID3DXBuffer* ErrorBuffer(const std::string& text) {
    auto* buffer = new ID3DXBuffer(static_cast<std::uint32_t>(text.size() + 1));
    std::memcpy(buffer->GetBufferPointer(), text.c_str(), text.size() + 1);
    return buffer;
}

HRESULT Read(const std::string& text, const std::string& name, const D3DXMACRO* defines, ID3DXInclude* include,
             ID3DXEffectPool* pool, std::uint32_t flags, std::unique_ptr<EffectData>& data, ID3DXBuffer** errors) {
    if (include || pool) return D3DERR_INVALIDCALL;
    data = std::make_unique<EffectData>();
    std::string errorText;
    // The packing flags hold for every pass's compile, as for one program's.
    const std::uint8_t majority = (flags & D3DXSHADER_PACKMATRIX_ROWMAJOR)      ? 1
                                  : (flags & D3DXSHADER_PACKMATRIX_COLUMNMAJOR) ? 2
                                                                                : 0;
    // The reading and every pass's compile on a stack of their own: they
    // recurse with the text's nesting, and the caller's thread may have a
    // small stack. The device's programs are made afterwards on the
    // caller's thread, where its context is.
    bool read = false;
    if (!hlsl::RunHlslCompile([&] { read = effect::ReadEffect(text, name, defines, *data, errorText, majority); }))
        errorText = name + "(0): " + kHlslNoThread + "\n";
    if (!read) {
        if (errors) *errors = ErrorBuffer(errorText);
        data.reset();
        return E_FAIL;
    }
    // Warnings (pragmas let pass, messages) come back with a file that is read.
    if (errors && !errorText.empty()) *errors = ErrorBuffer(errorText);
    data->MakeHandles();
    return D3D_OK;
}

// Device programs for every assembled shader; false when the load's
// deadline passed first (each program is translated for the device, which
// takes time in proportion to the programs an effect holds).
bool MakePrograms(IDirect3DDevice9* device, EffectData& d) {
    const HlslCompileScope* scope = HlslCompileScope::Current();
    bool late = false;
    // One device program for each program the effect holds, however many
    // states set it: passes that share a vertex program would otherwise have
    // the device translate it once for every pass.
    std::map<std::pair<StateKind, std::vector<std::uint32_t>>, Unknown*> made;
    auto make = [&](State& s) {
        const bool program = s.source == State::Source::Asm || s.source == State::Source::Compile;
        if (late || !program || s.code.empty() || !s.error.empty() || !s.info) return;
        const StateKind kind = s.info->kind;
        if (kind != StateKind::VertexShader && kind != StateKind::PixelShader) return;
        auto [it, fresh] = made.try_emplace({kind, s.code}, nullptr);
        if (!fresh) {
            if (it->second) it->second->AddRef();
            s.deviceShader = it->second;
            return;
        }
        if (scope && scope->Expired()) {
            late = true;
            return;
        }
        const auto bytes = static_cast<std::uint32_t>(s.code.size() * 4);
        if (kind == StateKind::VertexShader) {
            IDirect3DVertexShader9* vs = nullptr;
            if (SUCCEEDED(device->CreateVertexShader(s.code.data(), bytes, &vs))) s.deviceShader = vs;
        } else {
            IDirect3DPixelShader9* ps = nullptr;
            if (SUCCEEDED(device->CreatePixelShader(s.code.data(), bytes, &ps))) s.deviceShader = ps;
        }
        it->second = s.deviceShader;
    };
    for (Parameter& p : d.parameters) {
        if (p.shader) make(*p.shader);
        for (State& element : p.shaders) make(element);
    }
    for (effect::Technique& t : d.techniques)
        for (effect::Pass& pass : t.passes)
            for (State& s : pass.states) make(s);
    return !late;
}

} // namespace

HRESULT CreateEffectObject(IDirect3DDevice9* device, std::unique_ptr<EffectData> data, ID3DXEffect** effect,
                           std::string& errorText) {
    if (!MakePrograms(device, *data)) {
        errorText = "the effect took too long to load"; // data's programs go with it
        return E_FAIL;
    }
    *effect = new ID3DXEffect(device, std::move(data));
    return D3D_OK;
}

namespace {

// The load's end: the effect, or the reason it has none in `errors` (its
// warnings let go of then).
HRESULT FinishEffect(IDirect3DDevice9* device, std::unique_ptr<EffectData> model, const std::string& name,
                     ID3DXEffect** effect, ID3DXBuffer** errors) {
    std::string errorText;
    const HRESULT hr = CreateEffectObject(device, std::move(model), effect, errorText);
    if (FAILED(hr) && errors) {
        if (*errors) (*errors)->Release();
        *errors = ErrorBuffer(name + "(0): " + errorText + "\n");
    }
    return hr;
}

} // namespace

HRESULT D3DXCreateEffect(IDirect3DDevice9* device, const void* data, std::uint32_t size, const D3DXMACRO* defines,
                         ID3DXInclude* include, std::uint32_t flags, ID3DXEffectPool* pool, ID3DXEffect** effect,
                         ID3DXBuffer** errors) {
    if (effect) *effect = nullptr;
    if (errors) *errors = nullptr;
    if (!device || !effect || (!data && size)) return D3DERR_INVALIDCALL;
    // One deadline for the whole load: reading, every compile, and the
    // device's programs (a caller's scope gives its own).
    const HlslCompileScope scope;
    std::unique_ptr<EffectData> model;
    const HRESULT hr = Read(std::string(static_cast<const char*>(data), size), "memory", defines, include, pool, flags,
                            model, errors);
    if (FAILED(hr)) return hr;
    return FinishEffect(device, std::move(model), "memory", effect, errors);
}

namespace {
// An effect file's text, within the size a compile's text may have.
HRESULT ReadEffectFile(const char* path, std::string& text, ID3DXBuffer** errors) {
    os::FileError why = os::FileError::None;
    const std::uint64_t cap = SourceFileByteCap();
    if (os::ReadWholeFile(path, text, cap, &why)) return D3D_OK;
    if (why == os::FileError::CannotOpen) {
        if (errors) *errors = ErrorBuffer(std::string(path) + "(0): cannot open file\n");
        return D3DERR_NOTFOUND;
    }
    if (errors) *errors = ErrorBuffer(std::string(path) + "(0): " + os::DescribeFileError(path, why, cap) + "\n");
    return D3DXERR_INVALIDDATA;
}
} // namespace

HRESULT D3DXCreateEffectFromFileA(IDirect3DDevice9* device, const char* path, const D3DXMACRO* defines,
                                  ID3DXInclude* include, std::uint32_t flags, ID3DXEffectPool* pool,
                                  ID3DXEffect** effect, ID3DXBuffer** errors) {
    if (effect) *effect = nullptr;
    if (errors) *errors = nullptr;
    if (!device || !path || !effect) return D3DERR_INVALIDCALL;
    const HlslCompileScope scope; // the whole load, as for an effect in memory
    std::string text;
    if (const HRESULT hr = ReadEffectFile(path, text, errors); FAILED(hr)) return hr;
    std::unique_ptr<EffectData> model;
    const HRESULT hr = Read(text, path, defines, include, pool, flags, model, errors);
    if (FAILED(hr)) return hr;
    return FinishEffect(device, std::move(model), path, effect, errors);
}

HRESULT D3DXCreateEffectCompiler(const char* data, std::uint32_t size, const D3DXMACRO* defines,
                                 ID3DXInclude* include, std::uint32_t flags, ID3DXEffectCompiler** compiler,
                                 ID3DXBuffer** errors) {
    if (compiler) *compiler = nullptr;
    if (errors) *errors = nullptr;
    if (!compiler || (!data && size)) return D3DERR_INVALIDCALL;
    std::unique_ptr<EffectData> model;
    const HRESULT hr = Read(std::string(data ? data : "", size), "memory", defines, include, nullptr, flags, model, errors);
    if (FAILED(hr)) return hr;
    *compiler = new ID3DXEffectCompiler(std::move(model));
    return D3D_OK;
}

HRESULT D3DXCreateEffectCompilerFromFileA(const char* path, const D3DXMACRO* defines, ID3DXInclude* include,
                                          std::uint32_t flags, ID3DXEffectCompiler** compiler, ID3DXBuffer** errors) {
    if (compiler) *compiler = nullptr;
    if (errors) *errors = nullptr;
    if (!path || !compiler) return D3DERR_INVALIDCALL;
    std::string text;
    if (const HRESULT hr = ReadEffectFile(path, text, errors); FAILED(hr)) return hr;
    std::unique_ptr<EffectData> model;
    const HRESULT hr = Read(text, path, defines, include, nullptr, flags, model, errors);
    if (FAILED(hr)) return hr;
    *compiler = new ID3DXEffectCompiler(std::move(model));
    return D3D_OK;
}

} // namespace gfx
