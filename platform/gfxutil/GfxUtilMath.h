#pragma once
// Row-vector 4x4 matrix arithmetic in place of the utility library's matrix
// and vector calls: a vector v is transformed as v x m, so a x b applies a
// first. Every call may take the same object as input and output.

#include "platform/gfx/Gfx.h"

namespace gfx {

using D3DXMATRIX = D3DMATRIX;

struct D3DXVECTOR4 {
    float x = 0, y = 0, z = 0, w = 0;
};

// out = a x b; returns out.
D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b);
// out = the inverse of m, and the determinant when asked. Null, out
// untouched, when the determinant is 0 or not finite (the determinant is
// still reported).
D3DXMATRIX* D3DXMatrixInverse(D3DXMATRIX* out, float* determinant, const D3DXMATRIX* m);
D3DXMATRIX* D3DXMatrixTranspose(D3DXMATRIX* out, const D3DXMATRIX* m);
D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* out);
// out = the row vector v x m.
D3DXVECTOR4* D3DXVec4Transform(D3DXVECTOR4* out, const D3DXVECTOR4* v, const D3DXMATRIX* m);

} // namespace gfx
