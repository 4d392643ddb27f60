#include "platform/gfxutil/GfxUtilConstantTable.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace gfx {

std::unique_ptr<ID3DXConstantTable::Entry> ID3DXConstantTable::MakeEntry(std::size_t index,
                                                                         std::uint32_t base) const {
    const std::vector<ShaderConstantRecord>& all = m_container.constants;
    const ShaderConstantRecord& r = all[index];
    auto e = std::make_unique<Entry>();
    e->record = &r;
    e->registerIndex = base;
    e->registerCount = r.registerCount;
    const std::uint32_t elements = std::max<std::uint32_t>(r.elements, 1);
    // Registers of one element by its type: the constant may hold fewer
    // than all its elements take, up to the last register the program reads.
    const std::uint32_t per = m_elementRegisters[index];
    // A struct's members: each at its offset from the struct's first register.
    auto addMembers = [&](Entry& to, std::uint32_t at) {
        if (r.cls != D3DXPC_STRUCT) return;
        for (std::size_t k = index + 1; k < all.size(); ++k)
            if (all[k].parent == std::int32_t(index) && all[k].registerIndex >= r.registerIndex)
                to.members.push_back(MakeEntry(k, at + (all[k].registerIndex - r.registerIndex)));
    };
    if (r.elements > 1) {
        for (std::uint32_t i = 0; i < elements; ++i) {
            auto el = std::make_unique<Entry>();
            el->record = &r;
            el->element = i;
            el->registerIndex = base + i * per;
            el->registerCount = i * per >= r.registerCount ? 0 : std::min(per, r.registerCount - i * per);
            addMembers(*el, el->registerIndex);
            e->elements.push_back(std::move(el));
        }
    } else {
        addMembers(*e, base);
    }
    return e;
}

ID3DXConstantTable* ID3DXConstantTable::FromCode(const void* code, std::size_t size) {
    ShaderContainer c;
    if (!ReadShaderContainer(code, size, c)) return nullptr;
    auto* table = new ID3DXConstantTable();
    const auto* bytes = static_cast<const std::uint8_t*>(code);
    table->m_code.assign(bytes, bytes + size);
    table->m_container = std::move(c);
    const std::vector<ShaderConstantRecord>& all = table->m_container.constants;
    // The registers one element of each record spans as declared, whatever
    // the program reads of it: a struct's reach to the end of its last
    // member. Its count in the record may stop at the last register read, so
    // that cannot tell where each element of an array of structs starts.
    // Members come after their struct: from the last record back, each
    // struct's members are known before it.
    std::vector<std::uint32_t>& per = table->m_elementRegisters;
    per.assign(all.size(), 0);
    for (std::size_t i = all.size(); i-- > 0;) {
        const ShaderConstantRecord& r = all[i];
        if (r.cls == D3DXPC_MATRIX_COLUMNS) per[i] = std::max<std::uint32_t>(r.columns, 1);
        else if (r.cls == D3DXPC_MATRIX_ROWS) per[i] = std::max<std::uint32_t>(r.rows, 1);
        else if (r.cls != D3DXPC_STRUCT) per[i] = 1;
        else if (per[i] == 0) per[i] = r.registerCount / std::max<std::uint32_t>(r.elements, 1); // no members
        if (r.parent < 0) continue;
        const ShaderConstantRecord& p = all[std::size_t(r.parent)];
        if (r.registerIndex < p.registerIndex) continue;
        // Registers are 16-bit numbers: a reach past them is no record of ours.
        const std::uint64_t end = std::uint64_t(r.registerIndex - p.registerIndex) +
                                  std::uint64_t(per[i]) * std::max<std::uint16_t>(r.elements, 1);
        per[std::size_t(r.parent)] = std::uint32_t(std::min<std::uint64_t>(std::max<std::uint64_t>(per[std::size_t(r.parent)], end), 0xFFFF));
    }
    for (std::size_t i = 0; i < all.size(); ++i)
        if (all[i].parent == -1) table->m_entries.push_back(table->MakeEntry(i, all[i].registerIndex));
    return table;
}

const ID3DXConstantTable::Entry* ID3DXConstantTable::FindHandle(const std::vector<std::unique_ptr<Entry>>& entries,
                                                                  D3DXHANDLE handle) {
    for (const auto& e : entries) {
        if (Handle(e.get()) == handle) return e.get();
        if (const Entry* found = FindHandle(e->elements, handle)) return found;
        if (const Entry* found = FindHandle(e->members, handle)) return found;
    }
    return nullptr;
}

const ID3DXConstantTable::Entry* ID3DXConstantTable::FindByName(const std::vector<std::unique_ptr<Entry>>& entries,
                                                                std::string_view name) {
    const std::vector<std::unique_ptr<Entry>>* level = &entries;
    const Entry* found = nullptr;
    while (!name.empty()) {
        const std::size_t dot = name.find('.');
        std::string_view part = name.substr(0, dot);
        name = dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
        if (dot != std::string_view::npos && name.empty()) return nullptr;
        const std::size_t bracket = part.find('[');
        const std::string_view base = part.substr(0, bracket);
        found = nullptr;
        for (const auto& e : *level)
            if (e->record->name == base) found = e.get();
        if (!found) return nullptr;
        if (bracket != std::string_view::npos) {
            if (part.back() != ']') return nullptr;
            const std::string digits(part.substr(bracket + 1, part.size() - bracket - 2));
            if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return nullptr;
            const std::size_t index = std::strtoul(digits.c_str(), nullptr, 10);
            if (index >= found->elements.size()) return nullptr;
            found = found->elements[index].get();
        }
        level = &found->members;
    }
    return found;
}

const ID3DXConstantTable::Entry* ID3DXConstantTable::Find(D3DXHANDLE handle) const {
    if (!handle) return nullptr;
    if (const Entry* e = FindHandle(m_entries, handle)) return e;
    // Not one of ours: a name, "Bones", "Bones[3]" or "Light.Colour".
    return FindByName(m_entries, handle);
}

std::size_t ID3DXConstantTable::LogicalSize(const Entry* e) {
    const ShaderConstantRecord& r = *e->record;
    const std::size_t elements = e->element == ~0u ? std::max<std::size_t>(r.elements, 1) : 1;
    if (r.cls != D3DXPC_STRUCT) return std::size_t(std::max<std::uint16_t>(r.rows, 1)) * std::max<std::uint16_t>(r.columns, 1) * elements;
    std::size_t n = 0;
    for (const auto& part : e->members.empty() ? e->elements : e->members) n += LogicalSize(part.get());
    return n;
}

HRESULT ID3DXConstantTable::GetDesc(D3DXCONSTANTTABLE_DESC* desc) const {
    if (!desc) return D3DERR_INVALIDCALL;
    desc->Creator = "glslang HLSL front end";
    desc->Version = m_container.kind;
    desc->Constants = std::uint32_t(m_entries.size());
    return D3D_OK;
}

HRESULT ID3DXConstantTable::GetConstantDesc(D3DXHANDLE constant, D3DXCONSTANT_DESC* descs,
                                            std::uint32_t* count) const {
    const Entry* e = Find(constant);
    if (!e || !count) return D3DERR_INVALIDCALL;
    if (!descs || *count == 0) {
        *count = 1;
        return D3D_OK;
    }
    const ShaderConstantRecord& r = *e->record;
    D3DXCONSTANT_DESC& d = descs[0];
    d.Name = r.name.c_str();
    d.RegisterSet = r.registerSet;
    d.RegisterIndex = e->registerIndex;
    d.RegisterCount = e->registerCount;
    d.Class = r.cls;
    d.Type = r.type;
    d.Rows = r.rows;
    d.Columns = r.columns;
    d.Elements = e->element == ~0u ? std::max<std::uint32_t>(r.elements, 1) : 1;
    d.StructMembers = r.structMembers;
    d.Bytes = 4u * r.rows * r.columns * d.Elements;
    d.DefaultValue = r.defaultValue.empty() ? nullptr : r.defaultValue.data();
    *count = 1;
    return D3D_OK;
}

std::uint32_t ID3DXConstantTable::GetSamplerIndex(D3DXHANDLE constant) const {
    const Entry* e = Find(constant);
    if (!e || e->record->registerSet != D3DXRS_SAMPLER) return ~0u;
    return e->registerIndex;
}

D3DXHANDLE ID3DXConstantTable::GetConstant(D3DXHANDLE parent, std::uint32_t index) const {
    if (!parent) return index < m_entries.size() ? Handle(m_entries[index].get()) : nullptr;
    // A struct's members; an array of structs as a whole has elements, not members.
    const Entry* p = Find(parent);
    return p && index < p->members.size() ? Handle(p->members[index].get()) : nullptr;
}

D3DXHANDLE ID3DXConstantTable::GetConstantByName(D3DXHANDLE parent, const char* name) const {
    if (!name) return nullptr;
    if (!parent) return Handle(Find(name));
    const Entry* p = Find(parent);
    return p ? Handle(FindByName(p->members, name)) : nullptr;
}

D3DXHANDLE ID3DXConstantTable::GetConstantElement(D3DXHANDLE constant, std::uint32_t index) const {
    const Entry* e = Find(constant);
    if (!e || e->element != ~0u) return nullptr;
    if (e->elements.empty()) return index == 0 ? Handle(e) : nullptr;
    return index < e->elements.size() ? Handle(e->elements[index].get()) : nullptr;
}

HRESULT ID3DXConstantTable::WriteLogical(IDirect3DDevice9* device, const Entry* e, const float* values,
                                         std::size_t count) {
    if (!device || !e || (!values && count)) return D3DERR_INVALIDCALL;
    const ShaderConstantRecord& r = *e->record;
    if (r.registerSet == D3DXRS_SAMPLER) return D3DERR_INVALIDCALL;
    if (r.cls == D3DXPC_STRUCT) {
        // Member by member (element by element for an array of structs), each
        // taking as many of the values as it holds.
        std::size_t at = 0;
        for (const auto& part : e->members.empty() ? e->elements : e->members) {
            if (at >= count) break;
            const std::size_t n = std::min(LogicalSize(part.get()), count - at);
            const HRESULT hr = WriteLogical(device, part.get(), values + at, n);
            if (FAILED(hr)) return hr;
            at += n;
        }
        return D3D_OK;
    }
    const std::uint32_t rows = std::max<std::uint32_t>(r.rows, 1), columns = std::max<std::uint32_t>(r.columns, 1);
    const std::size_t perElement = std::size_t(rows) * columns;
    std::vector<float> image(std::size_t(e->registerCount) * 4, 0.f);
    std::uint32_t touched = 0; // registers reached by the values given
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t element = i / perElement, at = i % perElement;
        const std::size_t row = at / columns, column = at % columns;
        std::size_t reg = 0, component = 0;
        if (r.cls == D3DXPC_MATRIX_COLUMNS) {
            reg = element * columns + column;
            component = row;
        } else if (r.cls == D3DXPC_MATRIX_ROWS) {
            reg = element * rows + row;
            component = column;
        } else {
            reg = element * rows + row;
            component = column;
        }
        if (reg >= e->registerCount) continue; // past the constant's registers: dropped
        image[reg * 4 + component] = values[i];
        touched = std::max<std::uint32_t>(touched, std::uint32_t(reg + 1));
    }
    if (touched == 0) return D3D_OK;
    const bool vertex = m_container.Vertex();
    if (r.registerSet == D3DXRS_BOOL) {
        // One boolean per register: the element's first component.
        std::vector<std::int32_t> bools(touched);
        for (std::uint32_t k = 0; k < touched; ++k) bools[k] = image[k * 4] != 0.0f ? 1 : 0;
        return vertex ? device->SetVertexShaderConstantB(e->registerIndex, bools.data(), touched)
                      : device->SetPixelShaderConstantB(e->registerIndex, bools.data(), touched);
    }
    if (r.registerSet == D3DXRS_INT4) {
        std::vector<std::int32_t> ints(image.size());
        for (std::size_t k = 0; k < ints.size(); ++k) ints[k] = IntegerRegisterValue(image[k]);
        // A scalar in an integer register is a loop's count: the loop also
        // reads its start (0) and step (1) from the register's y and z.
        if (r.cls == D3DXPC_SCALAR)
            for (std::size_t k = 0; k + 3 < ints.size(); k += 4) {
                ints[k + 1] = 0;
                ints[k + 2] = 1;
                ints[k + 3] = 0;
            }
        return vertex ? device->SetVertexShaderConstantI(e->registerIndex, ints.data(), touched)
                      : device->SetPixelShaderConstantI(e->registerIndex, ints.data(), touched);
    }
    return vertex ? device->SetVertexShaderConstantF(e->registerIndex, image.data(), touched)
                  : device->SetPixelShaderConstantF(e->registerIndex, image.data(), touched);
}

HRESULT ID3DXConstantTable::SetDefaults(IDirect3DDevice9* device) {
    if (!device) return D3DERR_INVALIDCALL;
    for (const auto& e : m_entries) {
        const std::vector<std::uint8_t>& d = e->record->defaultValue;
        if (d.size() < sizeof(float) || e->record->registerSet == D3DXRS_SAMPLER) continue;
        std::vector<float> values(d.size() / sizeof(float));
        std::memcpy(values.data(), d.data(), values.size() * sizeof(float));
        const HRESULT hr = WriteLogical(device, e.get(), values.data(), values.size());
        if (FAILED(hr)) return hr;
    }
    return D3D_OK;
}

HRESULT ID3DXConstantTable::SetValue(IDirect3DDevice9* device, D3DXHANDLE constant, const void* data,
                                     std::uint32_t bytes) {
    const Entry* e = Find(constant);
    if (!e || !data) return D3DERR_INVALIDCALL;
    std::vector<float> values(bytes / 4);
    if (values.empty()) return D3D_OK;
    std::memcpy(values.data(), data, values.size() * 4);
    if (e->record->type == D3DXPT_INT || e->record->type == D3DXPT_BOOL) {
        for (std::size_t i = 0; i < values.size(); ++i) {
            std::int32_t v = 0;
            std::memcpy(&v, static_cast<const std::uint8_t*>(data) + i * 4, 4);
            values[i] = e->record->type == D3DXPT_BOOL ? (v ? 1.f : 0.f) : float(v);
        }
    }
    return WriteLogical(device, e, values.data(), values.size());
}

HRESULT ID3DXConstantTable::SetBool(IDirect3DDevice9* device, D3DXHANDLE constant, std::int32_t value) {
    return SetBoolArray(device, constant, &value, 1);
}

HRESULT ID3DXConstantTable::SetBoolArray(IDirect3DDevice9* device, D3DXHANDLE constant, const std::int32_t* values,
                                         std::uint32_t count) {
    if (!values && count) return D3DERR_INVALIDCALL;
    std::vector<float> f(count);
    for (std::uint32_t i = 0; i < count; ++i) f[i] = values[i] ? 1.f : 0.f;
    return WriteLogical(device, Find(constant), f.data(), f.size());
}

HRESULT ID3DXConstantTable::SetInt(IDirect3DDevice9* device, D3DXHANDLE constant, std::int32_t value) {
    return SetIntArray(device, constant, &value, 1);
}

HRESULT ID3DXConstantTable::SetIntArray(IDirect3DDevice9* device, D3DXHANDLE constant, const std::int32_t* values,
                                        std::uint32_t count) {
    if (!values && count) return D3DERR_INVALIDCALL;
    std::vector<float> f(values, values + count);
    return WriteLogical(device, Find(constant), f.data(), f.size());
}

HRESULT ID3DXConstantTable::SetFloat(IDirect3DDevice9* device, D3DXHANDLE constant, float value) {
    return WriteLogical(device, Find(constant), &value, 1);
}

HRESULT ID3DXConstantTable::SetFloatArray(IDirect3DDevice9* device, D3DXHANDLE constant, const float* values,
                                          std::uint32_t count) {
    return WriteLogical(device, Find(constant), values, count);
}

HRESULT ID3DXConstantTable::SetVector(IDirect3DDevice9* device, D3DXHANDLE constant, const D3DXVECTOR4* vector) {
    return SetVectorArray(device, constant, vector, 1);
}

HRESULT ID3DXConstantTable::SetVectorArray(IDirect3DDevice9* device, D3DXHANDLE constant, const D3DXVECTOR4* vectors,
                                           std::uint32_t count) {
    const Entry* e = Find(constant);
    if (!e || (!vectors && count)) return D3DERR_INVALIDCALL;
    // Each vector fills one row: as many of its components as the constant has columns.
    const std::uint32_t columns =
        e->record->cls == D3DXPC_STRUCT ? 4u : std::max<std::uint32_t>(e->record->columns, 1);
    std::vector<float> f;
    for (std::uint32_t i = 0; i < count; ++i) {
        const float v[4] = {vectors[i].x, vectors[i].y, vectors[i].z, vectors[i].w};
        f.insert(f.end(), v, v + std::min<std::uint32_t>(columns, 4));
    }
    return WriteLogical(device, e, f.data(), f.size());
}

HRESULT ID3DXConstantTable::WriteMatrices(IDirect3DDevice9* device, D3DXHANDLE constant,
                                          const D3DXMATRIX* const* matrices, std::uint32_t count, bool transpose) {
    const Entry* e = Find(constant);
    if (!e || (!matrices && count)) return D3DERR_INVALIDCALL;
    const std::uint32_t rows = std::clamp<std::uint32_t>(e->record->rows, 1, 4);
    const std::uint32_t columns = std::clamp<std::uint32_t>(e->record->columns, 1, 4);
    std::vector<float> f;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (!matrices[i]) return D3DERR_INVALIDCALL;
        for (std::uint32_t r = 0; r < rows; ++r)
            for (std::uint32_t c = 0; c < columns; ++c)
                f.push_back(transpose ? matrices[i]->m[c][r] : matrices[i]->m[r][c]);
    }
    return WriteLogical(device, e, f.data(), f.size());
}

HRESULT ID3DXConstantTable::SetMatrix(IDirect3DDevice9* device, D3DXHANDLE constant, const D3DXMATRIX* matrix) {
    return WriteMatrices(device, constant, &matrix, 1, false);
}

HRESULT ID3DXConstantTable::SetMatrixArray(IDirect3DDevice9* device, D3DXHANDLE constant, const D3DXMATRIX* matrices,
                                           std::uint32_t count) {
    if (!matrices && count) return D3DERR_INVALIDCALL;
    std::vector<const D3DXMATRIX*> list(count);
    for (std::uint32_t i = 0; i < count; ++i) list[i] = matrices + i;
    return WriteMatrices(device, constant, list.data(), count, false);
}

HRESULT ID3DXConstantTable::SetMatrixPointerArray(IDirect3DDevice9* device, D3DXHANDLE constant,
                                                  const D3DXMATRIX** matrices, std::uint32_t count) {
    return WriteMatrices(device, constant, matrices, count, false);
}

HRESULT ID3DXConstantTable::SetMatrixTranspose(IDirect3DDevice9* device, D3DXHANDLE constant,
                                               const D3DXMATRIX* matrix) {
    return WriteMatrices(device, constant, &matrix, 1, true);
}

HRESULT ID3DXConstantTable::SetMatrixTransposeArray(IDirect3DDevice9* device, D3DXHANDLE constant,
                                                    const D3DXMATRIX* matrices, std::uint32_t count) {
    if (!matrices && count) return D3DERR_INVALIDCALL;
    std::vector<const D3DXMATRIX*> list(count);
    for (std::uint32_t i = 0; i < count; ++i) list[i] = matrices + i;
    return WriteMatrices(device, constant, list.data(), count, true);
}

HRESULT ID3DXConstantTable::SetMatrixTransposePointerArray(IDirect3DDevice9* device, D3DXHANDLE constant,
                                                           const D3DXMATRIX** matrices, std::uint32_t count) {
    return WriteMatrices(device, constant, matrices, count, true);
}

} // namespace gfx
