#pragma once
// Shader programs from text, in place of the utility library's shader calls.
// Assembly text becomes the published token stream; high-level shader
// source is refused with a clear message, since nothing here compiles it.

#include "platform/gfx/Gfx.h"
#include "platform/gfxutil/GfxUtilImage.h" // D3DXERR_INVALIDDATA

#include <cstdint>
#include <string>
#include <vector>

namespace gfx {

// A counted block of bytes: code or a NUL-terminated error text.
class ID3DXBuffer final : public Unknown {
public:
    explicit ID3DXBuffer(std::uint32_t size) : m_bytes(size, 0) {}
    void* GetBufferPointer() { return m_bytes.data(); }
    [[nodiscard]] std::uint32_t GetBufferSize() const { return static_cast<std::uint32_t>(m_bytes.size()); }

private:
    std::vector<std::uint8_t> m_bytes;
};

// The table of a compiled program's constants (GfxUtilConstantTable.h).
class ID3DXConstantTable;
struct D3DXMACRO;

// Assembly flags (published values); SKIPVALIDATION skips the register limits.
constexpr std::uint32_t D3DXSHADER_DEBUG = 1;          // D3DXSHADER_DEBUG
constexpr std::uint32_t D3DXSHADER_SKIPVALIDATION = 2; // D3DXSHADER_SKIPVALIDATION
// Compile flags: the majority of matrices no word or pragma gives one.
constexpr std::uint32_t D3DXSHADER_PACKMATRIX_ROWMAJOR = 8;     // D3DXSHADER_PACKMATRIX_ROWMAJOR
constexpr std::uint32_t D3DXSHADER_PACKMATRIX_COLUMNMAJOR = 16; // D3DXSHADER_PACKMATRIX_COLUMNMAJOR

// Assembles `size` bytes of text. On success the code buffer holds the
// tokens and no error buffer is made; on failure no code, D3DXERR_INVALIDDATA
// and one "line N: text" line per problem. Either out pointer may be null.
HRESULT D3DXAssembleShader(const char* text, std::uint32_t size, std::uint32_t flags, ID3DXBuffer** code,
                           ID3DXBuffer** errors);
// The same for a file found through the path resolver; a missing file is
// D3DXERR_INVALIDDATA with "cannot open file 'name'".
HRESULT D3DXAssembleShaderFromFile(const char* path, std::uint32_t flags, ID3DXBuffer** code,
                                   ID3DXBuffer** errors);

// High-level source in the DX9 dialect for `entry` and `profile` (vs_1_1 to
// vs_3_0, ps_2_0 to ps_3_0), `defines` (null or ended by a null name) as the
// preprocessor's. The code is this device's program container
// (platform/gfx/GfxShaderContainer.h), taken by CreateVertexShader and
// CreatePixelShader; the table its constant table. On failure E_FAIL, no
// code, no table, and one "name(line,col): error: text" line per problem,
// the name "memory" (or `sourceName`) for source in memory.
HRESULT D3DXCompileShader(const char* source, std::uint32_t size, const char* entry, const char* profile,
                          std::uint32_t flags, ID3DXBuffer** code, ID3DXBuffer** errors,
                          ID3DXConstantTable** table, const D3DXMACRO* defines = nullptr,
                          const char* sourceName = nullptr);
// The same for a file found through the path resolver, named by its path.
HRESULT D3DXCompileShaderFromFile(const char* path, const char* entry, const char* profile, std::uint32_t flags,
                                  ID3DXBuffer** code, ID3DXBuffer** errors, ID3DXConstantTable** table,
                                  const D3DXMACRO* defines = nullptr);
// The table a compiled program's code carries; D3DXERR_INVALIDDATA for
// token streams (they carry none here) and for damaged code.
HRESULT D3DXGetShaderConstantTable(const std::uint32_t* function, ID3DXConstantTable** table);

// The highest profile the caps allow ("vs_1_1" ... "vs_3_0", "ps_1_1" ...
// "ps_3_0"); null at version 0.0 or a null device.
const char* D3DXGetVertexShaderProfile(IDirect3DDevice9* device);
const char* D3DXGetPixelShaderProfile(IDirect3DDevice9* device);
const char* VertexShaderProfileForCaps(const D3DCAPS9& caps);
const char* PixelShaderProfileForCaps(const D3DCAPS9& caps);

// The version token, 0 for a null stream.
std::uint32_t D3DXGetShaderVersion(const std::uint32_t* function);

struct D3DXSEMANTIC {
    std::uint32_t Usage = 0;
    std::uint32_t UsageIndex = 0;
};
// Usage and index of each input declaration, in order. `semantics` may be
// null to ask the count. The stream must end with its end token; its size
// is taken from there (up to a million tokens).
HRESULT D3DXGetShaderInputSemantics(const std::uint32_t* function, D3DXSEMANTIC* semantics,
                                    std::uint32_t* count);

// Folders `#include` searches, in order, after the folder of the file that
// includes (effect texts and high-level sources alike, both forms of the
// directive); empty at start, and emptied again by an empty list. The
// engine names its effect and program folders here, in place of an include
// handler.
void SetIncludeFolders(std::vector<std::string> folders);
[[nodiscard]] std::vector<std::string> GetIncludeFolders();
// The folder, then the name: "name" beside it.
[[nodiscard]] std::string JoinIncludePath(const std::string& folder, const std::string& name);

} // namespace gfx
