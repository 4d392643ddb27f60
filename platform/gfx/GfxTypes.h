#pragma once
// Published numbers and records of the Direct3D-9-shaped device. Every value
// here is a fact that stored files or the renderer depend on; each is defined
// once, with a comment naming it. No SDL or GL type appears in this header.

#include "platform/os/OsDefs.h"

#include <cstdint>

namespace gfx {

using HRESULT = std::int32_t;
using D3DFORMAT = std::uint32_t;
using D3DCOLOR = std::uint32_t; // 0xAARRGGBB
// A window of the os layer (made with OpenGL support), or null.
using WindowHandle = os::WindowHandle;

constexpr std::uint32_t D3D_SDK_VERSION = 32; // D3D_SDK_VERSION

// ---- results ---------------------------------------------------------------
constexpr HRESULT MakeResult(std::uint32_t v) { return static_cast<HRESULT>(v); }
constexpr HRESULT D3D_OK = 0;                                                 // S_OK / D3D_OK
constexpr HRESULT E_FAIL = MakeResult(0x80004005u);                           // E_FAIL
constexpr HRESULT E_OUTOFMEMORY = MakeResult(0x8007000Eu);                    // E_OUTOFMEMORY
constexpr HRESULT E_INVALIDARG = MakeResult(0x80070057u);                     // E_INVALIDARG
constexpr HRESULT D3DERR_OUTOFVIDEOMEMORY = MakeResult(0x8876017Cu);          // D3DERR_OUTOFVIDEOMEMORY
constexpr HRESULT D3DERR_WRONGTEXTUREFORMAT = MakeResult(0x88760818u);        // D3DERR_WRONGTEXTUREFORMAT
constexpr HRESULT D3DERR_UNSUPPORTEDCOLOROPERATION = MakeResult(0x88760819u); // D3DERR_UNSUPPORTEDCOLOROPERATION
constexpr HRESULT D3DERR_UNSUPPORTEDCOLORARG = MakeResult(0x8876081Au);       // D3DERR_UNSUPPORTEDCOLORARG
constexpr HRESULT D3DERR_UNSUPPORTEDALPHAOPERATION = MakeResult(0x8876081Bu); // D3DERR_UNSUPPORTEDALPHAOPERATION
constexpr HRESULT D3DERR_UNSUPPORTEDALPHAARG = MakeResult(0x8876081Cu);       // D3DERR_UNSUPPORTEDALPHAARG
constexpr HRESULT D3DERR_TOOMANYOPERATIONS = MakeResult(0x8876081Du);         // D3DERR_TOOMANYOPERATIONS
constexpr HRESULT D3DERR_CONFLICTINGTEXTUREFILTER = MakeResult(0x8876081Eu);  // D3DERR_CONFLICTINGTEXTUREFILTER
constexpr HRESULT D3DERR_UNSUPPORTEDFACTORVALUE = MakeResult(0x8876081Fu);    // D3DERR_UNSUPPORTEDFACTORVALUE
constexpr HRESULT D3DERR_CONFLICTINGRENDERSTATE = MakeResult(0x88760821u);    // D3DERR_CONFLICTINGRENDERSTATE
constexpr HRESULT D3DERR_UNSUPPORTEDTEXTUREFILTER = MakeResult(0x88760822u);  // D3DERR_UNSUPPORTEDTEXTUREFILTER
constexpr HRESULT D3DERR_CONFLICTINGTEXTUREPALETTE = MakeResult(0x88760826u); // D3DERR_CONFLICTINGTEXTUREPALETTE
constexpr HRESULT D3DERR_DRIVERINTERNALERROR = MakeResult(0x88760827u);       // D3DERR_DRIVERINTERNALERROR
constexpr HRESULT D3DERR_NOTFOUND = MakeResult(0x88760866u);                  // D3DERR_NOTFOUND
constexpr HRESULT D3DERR_MOREDATA = MakeResult(0x88760867u);                  // D3DERR_MOREDATA
constexpr HRESULT D3DERR_DEVICELOST = MakeResult(0x88760868u);                // D3DERR_DEVICELOST
constexpr HRESULT D3DERR_DEVICENOTRESET = MakeResult(0x88760869u);            // D3DERR_DEVICENOTRESET
constexpr HRESULT D3DERR_NOTAVAILABLE = MakeResult(0x8876086Au);              // D3DERR_NOTAVAILABLE
constexpr HRESULT D3DERR_INVALIDDEVICE = MakeResult(0x8876086Bu);             // D3DERR_INVALIDDEVICE
constexpr HRESULT D3DERR_INVALIDCALL = MakeResult(0x8876086Cu);               // D3DERR_INVALIDCALL
constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

// ---- device types, adapters ------------------------------------------------
constexpr std::uint32_t D3DDEVTYPE_HAL = 1; // D3DDEVTYPE_HAL
constexpr std::uint32_t D3DDEVTYPE_REF = 2; // D3DDEVTYPE_REF
constexpr std::uint32_t D3DDEVTYPE_SW = 3;  // D3DDEVTYPE_SW
constexpr std::uint32_t D3DADAPTER_DEFAULT = 0; // D3DADAPTER_DEFAULT

// ---- formats (D3DFORMAT) -----------------------------------------------------
constexpr std::uint32_t MakeFourCC(char a, char b, char c, char d) {
    return std::uint32_t(std::uint8_t(a)) | (std::uint32_t(std::uint8_t(b)) << 8) |
           (std::uint32_t(std::uint8_t(c)) << 16) | (std::uint32_t(std::uint8_t(d)) << 24);
}
constexpr D3DFORMAT D3DFMT_UNKNOWN = 0;        // D3DFMT_UNKNOWN
constexpr D3DFORMAT D3DFMT_R8G8B8 = 20;        // D3DFMT_R8G8B8
constexpr D3DFORMAT D3DFMT_A8R8G8B8 = 21;      // D3DFMT_A8R8G8B8
constexpr D3DFORMAT D3DFMT_X8R8G8B8 = 22;      // D3DFMT_X8R8G8B8
constexpr D3DFORMAT D3DFMT_R5G6B5 = 23;        // D3DFMT_R5G6B5
constexpr D3DFORMAT D3DFMT_X1R5G5B5 = 24;      // D3DFMT_X1R5G5B5
constexpr D3DFORMAT D3DFMT_A1R5G5B5 = 25;      // D3DFMT_A1R5G5B5
constexpr D3DFORMAT D3DFMT_A4R4G4B4 = 26;      // D3DFMT_A4R4G4B4
constexpr D3DFORMAT D3DFMT_R3G3B2 = 27;        // D3DFMT_R3G3B2
constexpr D3DFORMAT D3DFMT_A8 = 28;            // D3DFMT_A8
constexpr D3DFORMAT D3DFMT_A8R3G3B2 = 29;      // D3DFMT_A8R3G3B2
constexpr D3DFORMAT D3DFMT_X4R4G4B4 = 30;      // D3DFMT_X4R4G4B4
constexpr D3DFORMAT D3DFMT_A2B10G10R10 = 31;   // D3DFMT_A2B10G10R10
constexpr D3DFORMAT D3DFMT_A8B8G8R8 = 32;      // D3DFMT_A8B8G8R8
constexpr D3DFORMAT D3DFMT_X8B8G8R8 = 33;      // D3DFMT_X8B8G8R8
constexpr D3DFORMAT D3DFMT_G16R16 = 34;        // D3DFMT_G16R16
constexpr D3DFORMAT D3DFMT_A2R10G10B10 = 35;   // D3DFMT_A2R10G10B10
constexpr D3DFORMAT D3DFMT_A16B16G16R16 = 36;  // D3DFMT_A16B16G16R16
constexpr D3DFORMAT D3DFMT_A8P8 = 40;          // D3DFMT_A8P8
constexpr D3DFORMAT D3DFMT_P8 = 41;            // D3DFMT_P8
constexpr D3DFORMAT D3DFMT_L8 = 50;            // D3DFMT_L8
constexpr D3DFORMAT D3DFMT_A8L8 = 51;          // D3DFMT_A8L8
constexpr D3DFORMAT D3DFMT_A4L4 = 52;          // D3DFMT_A4L4
constexpr D3DFORMAT D3DFMT_V8U8 = 60;          // D3DFMT_V8U8
constexpr D3DFORMAT D3DFMT_L6V5U5 = 61;        // D3DFMT_L6V5U5
constexpr D3DFORMAT D3DFMT_X8L8V8U8 = 62;      // D3DFMT_X8L8V8U8
constexpr D3DFORMAT D3DFMT_Q8W8V8U8 = 63;      // D3DFMT_Q8W8V8U8
constexpr D3DFORMAT D3DFMT_V16U16 = 64;        // D3DFMT_V16U16
constexpr D3DFORMAT D3DFMT_A2W10V10U10 = 67;   // D3DFMT_A2W10V10U10
constexpr D3DFORMAT D3DFMT_D16_LOCKABLE = 70;  // D3DFMT_D16_LOCKABLE
constexpr D3DFORMAT D3DFMT_D32 = 71;           // D3DFMT_D32
constexpr D3DFORMAT D3DFMT_D15S1 = 73;         // D3DFMT_D15S1
constexpr D3DFORMAT D3DFMT_D24S8 = 75;         // D3DFMT_D24S8
constexpr D3DFORMAT D3DFMT_D24X8 = 77;         // D3DFMT_D24X8
constexpr D3DFORMAT D3DFMT_D24X4S4 = 79;       // D3DFMT_D24X4S4
constexpr D3DFORMAT D3DFMT_D16 = 80;           // D3DFMT_D16
constexpr D3DFORMAT D3DFMT_L16 = 81;           // D3DFMT_L16
constexpr D3DFORMAT D3DFMT_D32F_LOCKABLE = 82; // D3DFMT_D32F_LOCKABLE
constexpr D3DFORMAT D3DFMT_D24FS8 = 83;        // D3DFMT_D24FS8
constexpr D3DFORMAT D3DFMT_VERTEXDATA = 100;   // D3DFMT_VERTEXDATA
constexpr D3DFORMAT D3DFMT_INDEX16 = 101;      // D3DFMT_INDEX16
constexpr D3DFORMAT D3DFMT_INDEX32 = 102;      // D3DFMT_INDEX32
constexpr D3DFORMAT D3DFMT_Q16W16V16U16 = 110; // D3DFMT_Q16W16V16U16
constexpr D3DFORMAT D3DFMT_R16F = 111;         // D3DFMT_R16F
constexpr D3DFORMAT D3DFMT_G16R16F = 112;      // D3DFMT_G16R16F
constexpr D3DFORMAT D3DFMT_A16B16G16R16F = 113; // D3DFMT_A16B16G16R16F
constexpr D3DFORMAT D3DFMT_R32F = 114;         // D3DFMT_R32F
constexpr D3DFORMAT D3DFMT_G32R32F = 115;      // D3DFMT_G32R32F
constexpr D3DFORMAT D3DFMT_A32B32G32R32F = 116; // D3DFMT_A32B32G32R32F
constexpr D3DFORMAT D3DFMT_CxV8U8 = 117;       // D3DFMT_CxV8U8
constexpr D3DFORMAT D3DFMT_UYVY = MakeFourCC('U', 'Y', 'V', 'Y');      // D3DFMT_UYVY
constexpr D3DFORMAT D3DFMT_R8G8_B8G8 = MakeFourCC('R', 'G', 'B', 'G'); // D3DFMT_R8G8_B8G8
constexpr D3DFORMAT D3DFMT_YUY2 = MakeFourCC('Y', 'U', 'Y', '2');      // D3DFMT_YUY2
constexpr D3DFORMAT D3DFMT_G8R8_G8B8 = MakeFourCC('G', 'R', 'G', 'B'); // D3DFMT_G8R8_G8B8
constexpr D3DFORMAT D3DFMT_DXT1 = MakeFourCC('D', 'X', 'T', '1');      // D3DFMT_DXT1
constexpr D3DFORMAT D3DFMT_DXT2 = MakeFourCC('D', 'X', 'T', '2');      // D3DFMT_DXT2
constexpr D3DFORMAT D3DFMT_DXT3 = MakeFourCC('D', 'X', 'T', '3');      // D3DFMT_DXT3
constexpr D3DFORMAT D3DFMT_DXT4 = MakeFourCC('D', 'X', 'T', '4');      // D3DFMT_DXT4
constexpr D3DFORMAT D3DFMT_DXT5 = MakeFourCC('D', 'X', 'T', '5');      // D3DFMT_DXT5
constexpr D3DFORMAT D3DFMT_MULTI2_ARGB8 = MakeFourCC('M', 'E', 'T', '1'); // D3DFMT_MULTI2_ARGB8

// ---- resource types, pools, usages, locks -------------------------------------
constexpr std::uint32_t D3DRTYPE_SURFACE = 1;       // D3DRTYPE_SURFACE
constexpr std::uint32_t D3DRTYPE_VOLUME = 2;        // D3DRTYPE_VOLUME
constexpr std::uint32_t D3DRTYPE_TEXTURE = 3;       // D3DRTYPE_TEXTURE
constexpr std::uint32_t D3DRTYPE_VOLUMETEXTURE = 4; // D3DRTYPE_VOLUMETEXTURE
constexpr std::uint32_t D3DRTYPE_CUBETEXTURE = 5;   // D3DRTYPE_CUBETEXTURE
constexpr std::uint32_t D3DRTYPE_VERTEXBUFFER = 6;  // D3DRTYPE_VERTEXBUFFER
constexpr std::uint32_t D3DRTYPE_INDEXBUFFER = 7;   // D3DRTYPE_INDEXBUFFER

constexpr std::uint32_t D3DPOOL_DEFAULT = 0;   // D3DPOOL_DEFAULT
constexpr std::uint32_t D3DPOOL_MANAGED = 1;   // D3DPOOL_MANAGED
constexpr std::uint32_t D3DPOOL_SYSTEMMEM = 2; // D3DPOOL_SYSTEMMEM
constexpr std::uint32_t D3DPOOL_SCRATCH = 3;   // D3DPOOL_SCRATCH

constexpr std::uint32_t D3DUSAGE_RENDERTARGET = 0x1;         // D3DUSAGE_RENDERTARGET
constexpr std::uint32_t D3DUSAGE_DEPTHSTENCIL = 0x2;         // D3DUSAGE_DEPTHSTENCIL
constexpr std::uint32_t D3DUSAGE_WRITEONLY = 0x8;            // D3DUSAGE_WRITEONLY
constexpr std::uint32_t D3DUSAGE_SOFTWAREPROCESSING = 0x10;  // D3DUSAGE_SOFTWAREPROCESSING
constexpr std::uint32_t D3DUSAGE_DONOTCLIP = 0x20;           // D3DUSAGE_DONOTCLIP
constexpr std::uint32_t D3DUSAGE_POINTS = 0x40;              // D3DUSAGE_POINTS
constexpr std::uint32_t D3DUSAGE_DYNAMIC = 0x200;            // D3DUSAGE_DYNAMIC
constexpr std::uint32_t D3DUSAGE_AUTOGENMIPMAP = 0x400;      // D3DUSAGE_AUTOGENMIPMAP
constexpr std::uint32_t D3DUSAGE_QUERY_VERTEXTEXTURE = 0x100000; // D3DUSAGE_QUERY_VERTEXTEXTURE
// Sampler numbers past the pixel samplers: D3DDMAPSAMPLER, then the four
// vertex samplers D3DVERTEXTEXTURESAMPLER0-3.
constexpr std::uint32_t D3DDMAPSAMPLER = 256;           // D3DDMAPSAMPLER
constexpr std::uint32_t D3DVERTEXTEXTURESAMPLER0 = 257; // D3DVERTEXTEXTURESAMPLER0

constexpr std::uint32_t D3DLOCK_READONLY = 0x10;     // D3DLOCK_READONLY
constexpr std::uint32_t D3DLOCK_NOSYSLOCK = 0x800;   // D3DLOCK_NOSYSLOCK
constexpr std::uint32_t D3DLOCK_NOOVERWRITE = 0x1000; // D3DLOCK_NOOVERWRITE
constexpr std::uint32_t D3DLOCK_DISCARD = 0x2000;    // D3DLOCK_DISCARD
constexpr std::uint32_t D3DLOCK_DONOTWAIT = 0x4000;  // D3DLOCK_DONOTWAIT
constexpr std::uint32_t D3DLOCK_NO_DIRTY_UPDATE = 0x8000; // D3DLOCK_NO_DIRTY_UPDATE

constexpr std::uint32_t D3DCUBEMAP_FACE_POSITIVE_X = 0; // D3DCUBEMAP_FACE_POSITIVE_X
constexpr std::uint32_t D3DCUBEMAP_FACE_NEGATIVE_X = 1; // D3DCUBEMAP_FACE_NEGATIVE_X
constexpr std::uint32_t D3DCUBEMAP_FACE_POSITIVE_Y = 2; // D3DCUBEMAP_FACE_POSITIVE_Y
constexpr std::uint32_t D3DCUBEMAP_FACE_NEGATIVE_Y = 3; // D3DCUBEMAP_FACE_NEGATIVE_Y
constexpr std::uint32_t D3DCUBEMAP_FACE_POSITIVE_Z = 4; // D3DCUBEMAP_FACE_POSITIVE_Z
constexpr std::uint32_t D3DCUBEMAP_FACE_NEGATIVE_Z = 5; // D3DCUBEMAP_FACE_NEGATIVE_Z

// ---- device creation and presentation -------------------------------------------
constexpr std::uint32_t D3DCREATE_FPU_PRESERVE = 0x2;                  // D3DCREATE_FPU_PRESERVE
constexpr std::uint32_t D3DCREATE_MULTITHREADED = 0x4;                 // D3DCREATE_MULTITHREADED
constexpr std::uint32_t D3DCREATE_PUREDEVICE = 0x10;                   // D3DCREATE_PUREDEVICE
constexpr std::uint32_t D3DCREATE_SOFTWARE_VERTEXPROCESSING = 0x20;    // D3DCREATE_SOFTWARE_VERTEXPROCESSING
constexpr std::uint32_t D3DCREATE_HARDWARE_VERTEXPROCESSING = 0x40;    // D3DCREATE_HARDWARE_VERTEXPROCESSING
constexpr std::uint32_t D3DCREATE_MIXED_VERTEXPROCESSING = 0x80;       // D3DCREATE_MIXED_VERTEXPROCESSING

constexpr std::uint32_t D3DSWAPEFFECT_DISCARD = 1; // D3DSWAPEFFECT_DISCARD
constexpr std::uint32_t D3DSWAPEFFECT_FLIP = 2;    // D3DSWAPEFFECT_FLIP
constexpr std::uint32_t D3DSWAPEFFECT_COPY = 3;    // D3DSWAPEFFECT_COPY

constexpr std::uint32_t D3DPRESENT_INTERVAL_DEFAULT = 0x0;         // D3DPRESENT_INTERVAL_DEFAULT
constexpr std::uint32_t D3DPRESENT_INTERVAL_ONE = 0x1;             // D3DPRESENT_INTERVAL_ONE
constexpr std::uint32_t D3DPRESENT_INTERVAL_TWO = 0x2;             // D3DPRESENT_INTERVAL_TWO
constexpr std::uint32_t D3DPRESENT_INTERVAL_THREE = 0x4;           // D3DPRESENT_INTERVAL_THREE
constexpr std::uint32_t D3DPRESENT_INTERVAL_FOUR = 0x8;            // D3DPRESENT_INTERVAL_FOUR
constexpr std::uint32_t D3DPRESENT_INTERVAL_IMMEDIATE = 0x80000000u; // D3DPRESENT_INTERVAL_IMMEDIATE
constexpr std::uint32_t D3DPRESENTFLAG_LOCKABLE_BACKBUFFER = 0x1;  // D3DPRESENTFLAG_LOCKABLE_BACKBUFFER

constexpr std::uint32_t D3DMULTISAMPLE_NONE = 0;        // D3DMULTISAMPLE_NONE
constexpr std::uint32_t D3DMULTISAMPLE_NONMASKABLE = 1; // D3DMULTISAMPLE_NONMASKABLE
// D3DMULTISAMPLE_2_SAMPLES .. D3DMULTISAMPLE_16_SAMPLES are the sample counts themselves.
constexpr std::uint32_t D3DMULTISAMPLE_2_SAMPLES = 2;   // D3DMULTISAMPLE_2_SAMPLES
constexpr std::uint32_t D3DMULTISAMPLE_4_SAMPLES = 4;   // D3DMULTISAMPLE_4_SAMPLES
constexpr std::uint32_t D3DMULTISAMPLE_16_SAMPLES = 16; // D3DMULTISAMPLE_16_SAMPLES
constexpr std::uint32_t D3DBACKBUFFER_TYPE_MONO = 0;    // D3DBACKBUFFER_TYPE_MONO

constexpr std::uint32_t D3DCLEAR_TARGET = 0x1;  // D3DCLEAR_TARGET
constexpr std::uint32_t D3DCLEAR_ZBUFFER = 0x2; // D3DCLEAR_ZBUFFER
constexpr std::uint32_t D3DCLEAR_STENCIL = 0x4; // D3DCLEAR_STENCIL

// ---- vertex formats and primitives ------------------------------------------------
constexpr std::uint32_t D3DFVF_XYZ = 0x2;        // D3DFVF_XYZ
constexpr std::uint32_t D3DFVF_XYZRHW = 0x4;     // D3DFVF_XYZRHW
constexpr std::uint32_t D3DFVF_XYZB1 = 0x6;      // D3DFVF_XYZB1
constexpr std::uint32_t D3DFVF_XYZB2 = 0x8;      // D3DFVF_XYZB2
constexpr std::uint32_t D3DFVF_XYZB3 = 0xA;      // D3DFVF_XYZB3
constexpr std::uint32_t D3DFVF_XYZB4 = 0xC;      // D3DFVF_XYZB4
constexpr std::uint32_t D3DFVF_XYZB5 = 0xE;      // D3DFVF_XYZB5
constexpr std::uint32_t D3DFVF_XYZW = 0x4002;    // D3DFVF_XYZW
constexpr std::uint32_t D3DFVF_POSITION_MASK = 0x400E; // D3DFVF_POSITION_MASK
constexpr std::uint32_t D3DFVF_NORMAL = 0x10;    // D3DFVF_NORMAL
constexpr std::uint32_t D3DFVF_PSIZE = 0x20;     // D3DFVF_PSIZE
constexpr std::uint32_t D3DFVF_DIFFUSE = 0x40;   // D3DFVF_DIFFUSE
constexpr std::uint32_t D3DFVF_SPECULAR = 0x80;  // D3DFVF_SPECULAR
constexpr std::uint32_t D3DFVF_TEXCOUNT_MASK = 0xF00; // D3DFVF_TEXCOUNT_MASK
constexpr std::uint32_t D3DFVF_TEXCOUNT_SHIFT = 8;    // D3DFVF_TEXCOUNT_SHIFT
constexpr std::uint32_t D3DFVF_TEX1 = 0x100;     // D3DFVF_TEX1 (TEXn = n x 0x100)
constexpr std::uint32_t D3DFVF_TEX2 = 0x200;     // D3DFVF_TEX2
constexpr std::uint32_t D3DFVF_LASTBETA_UBYTE4 = 0x1000;   // D3DFVF_LASTBETA_UBYTE4
constexpr std::uint32_t D3DFVF_LASTBETA_D3DCOLOR = 0x8000; // D3DFVF_LASTBETA_D3DCOLOR
constexpr std::uint32_t D3DFVF_TEXn(std::uint32_t n) { return n * 0x100; } // D3DFVF_TEX0..8
// D3DFVF_TEXCOORDSIZEn: bits 16 + 2 x set; 0 two floats, 1 three, 2 four, 3 one.
constexpr std::uint32_t D3DFVF_TEXTUREFORMAT2 = 0; // D3DFVF_TEXTUREFORMAT2
constexpr std::uint32_t D3DFVF_TEXTUREFORMAT3 = 1; // D3DFVF_TEXTUREFORMAT3
constexpr std::uint32_t D3DFVF_TEXTUREFORMAT4 = 2; // D3DFVF_TEXTUREFORMAT4
constexpr std::uint32_t D3DFVF_TEXTUREFORMAT1 = 3; // D3DFVF_TEXTUREFORMAT1

constexpr std::uint32_t D3DPT_POINTLIST = 1;     // D3DPT_POINTLIST
constexpr std::uint32_t D3DPT_LINELIST = 2;      // D3DPT_LINELIST
constexpr std::uint32_t D3DPT_LINESTRIP = 3;     // D3DPT_LINESTRIP
constexpr std::uint32_t D3DPT_TRIANGLELIST = 4;  // D3DPT_TRIANGLELIST
constexpr std::uint32_t D3DPT_TRIANGLESTRIP = 5; // D3DPT_TRIANGLESTRIP
constexpr std::uint32_t D3DPT_TRIANGLEFAN = 6;   // D3DPT_TRIANGLEFAN

// ---- transforms, lights ------------------------------------------------------------
constexpr std::uint32_t D3DTS_VIEW = 2;        // D3DTS_VIEW
constexpr std::uint32_t D3DTS_PROJECTION = 3;  // D3DTS_PROJECTION
constexpr std::uint32_t D3DTS_TEXTURE0 = 16;   // D3DTS_TEXTURE0 (..D3DTS_TEXTURE7 = 23)
constexpr std::uint32_t D3DTS_WORLD = 256;     // D3DTS_WORLD = D3DTS_WORLDMATRIX(0)
constexpr std::uint32_t D3DTS_WORLDMATRIX(std::uint32_t index) { return 256 + index; } // D3DTS_WORLDMATRIX(n)
constexpr std::uint32_t D3DTS_WORLD1 = 257;    // D3DTS_WORLD1
constexpr std::uint32_t D3DTS_WORLD2 = 258;    // D3DTS_WORLD2
constexpr std::uint32_t D3DTS_WORLD3 = 259;    // D3DTS_WORLD3
constexpr std::uint32_t D3DLIGHT_POINT = 1;       // D3DLIGHT_POINT
constexpr std::uint32_t D3DLIGHT_SPOT = 2;        // D3DLIGHT_SPOT
constexpr std::uint32_t D3DLIGHT_DIRECTIONAL = 3; // D3DLIGHT_DIRECTIONAL

// ---- render-state numbers (D3DRENDERSTATETYPE); the 256-slot store is indexed by them
constexpr std::uint32_t D3DRS_ZENABLE = 7;                 // D3DRS_ZENABLE
constexpr std::uint32_t D3DRS_FILLMODE = 8;                // D3DRS_FILLMODE
constexpr std::uint32_t D3DRS_SHADEMODE = 9;               // D3DRS_SHADEMODE
constexpr std::uint32_t D3DRS_ZWRITEENABLE = 14;           // D3DRS_ZWRITEENABLE
constexpr std::uint32_t D3DRS_ALPHATESTENABLE = 15;        // D3DRS_ALPHATESTENABLE
constexpr std::uint32_t D3DRS_LASTPIXEL = 16;              // D3DRS_LASTPIXEL
constexpr std::uint32_t D3DRS_SRCBLEND = 19;               // D3DRS_SRCBLEND
constexpr std::uint32_t D3DRS_DESTBLEND = 20;              // D3DRS_DESTBLEND
constexpr std::uint32_t D3DRS_CULLMODE = 22;               // D3DRS_CULLMODE
constexpr std::uint32_t D3DRS_ZFUNC = 23;                  // D3DRS_ZFUNC
constexpr std::uint32_t D3DRS_ALPHAREF = 24;               // D3DRS_ALPHAREF
constexpr std::uint32_t D3DRS_ALPHAFUNC = 25;              // D3DRS_ALPHAFUNC
constexpr std::uint32_t D3DRS_DITHERENABLE = 26;           // D3DRS_DITHERENABLE
constexpr std::uint32_t D3DRS_ALPHABLENDENABLE = 27;       // D3DRS_ALPHABLENDENABLE
constexpr std::uint32_t D3DRS_FOGENABLE = 28;              // D3DRS_FOGENABLE
constexpr std::uint32_t D3DRS_SPECULARENABLE = 29;         // D3DRS_SPECULARENABLE
constexpr std::uint32_t D3DRS_FOGCOLOR = 34;               // D3DRS_FOGCOLOR
constexpr std::uint32_t D3DRS_FOGTABLEMODE = 35;           // D3DRS_FOGTABLEMODE
constexpr std::uint32_t D3DRS_FOGSTART = 36;               // D3DRS_FOGSTART
constexpr std::uint32_t D3DRS_FOGEND = 37;                 // D3DRS_FOGEND
constexpr std::uint32_t D3DRS_FOGDENSITY = 38;             // D3DRS_FOGDENSITY
constexpr std::uint32_t D3DRS_RANGEFOGENABLE = 48;         // D3DRS_RANGEFOGENABLE
constexpr std::uint32_t D3DRS_STENCILENABLE = 52;          // D3DRS_STENCILENABLE
constexpr std::uint32_t D3DRS_STENCILFAIL = 53;            // D3DRS_STENCILFAIL
constexpr std::uint32_t D3DRS_STENCILZFAIL = 54;           // D3DRS_STENCILZFAIL
constexpr std::uint32_t D3DRS_STENCILPASS = 55;            // D3DRS_STENCILPASS
constexpr std::uint32_t D3DRS_STENCILFUNC = 56;            // D3DRS_STENCILFUNC
constexpr std::uint32_t D3DRS_STENCILREF = 57;             // D3DRS_STENCILREF
constexpr std::uint32_t D3DRS_STENCILMASK = 58;            // D3DRS_STENCILMASK
constexpr std::uint32_t D3DRS_STENCILWRITEMASK = 59;       // D3DRS_STENCILWRITEMASK
constexpr std::uint32_t D3DRS_TEXTUREFACTOR = 60;          // D3DRS_TEXTUREFACTOR
constexpr std::uint32_t D3DRS_WRAP0 = 128;                 // D3DRS_WRAP0
constexpr std::uint32_t D3DRS_WRAP1 = 129;                 // D3DRS_WRAP1
constexpr std::uint32_t D3DRS_WRAP2 = 130;                 // D3DRS_WRAP2
constexpr std::uint32_t D3DRS_WRAP3 = 131;                 // D3DRS_WRAP3
constexpr std::uint32_t D3DRS_WRAP4 = 132;                 // D3DRS_WRAP4
constexpr std::uint32_t D3DRS_WRAP5 = 133;                 // D3DRS_WRAP5
constexpr std::uint32_t D3DRS_WRAP6 = 134;                 // D3DRS_WRAP6
constexpr std::uint32_t D3DRS_WRAP7 = 135;                 // D3DRS_WRAP7
constexpr std::uint32_t D3DRS_CLIPPING = 136;              // D3DRS_CLIPPING
constexpr std::uint32_t D3DRS_LIGHTING = 137;              // D3DRS_LIGHTING
constexpr std::uint32_t D3DRS_AMBIENT = 139;               // D3DRS_AMBIENT
constexpr std::uint32_t D3DRS_FOGVERTEXMODE = 140;         // D3DRS_FOGVERTEXMODE
constexpr std::uint32_t D3DRS_COLORVERTEX = 141;           // D3DRS_COLORVERTEX
constexpr std::uint32_t D3DRS_LOCALVIEWER = 142;           // D3DRS_LOCALVIEWER
constexpr std::uint32_t D3DRS_NORMALIZENORMALS = 143;      // D3DRS_NORMALIZENORMALS
constexpr std::uint32_t D3DRS_DIFFUSEMATERIALSOURCE = 145; // D3DRS_DIFFUSEMATERIALSOURCE
constexpr std::uint32_t D3DRS_SPECULARMATERIALSOURCE = 146; // D3DRS_SPECULARMATERIALSOURCE
constexpr std::uint32_t D3DRS_AMBIENTMATERIALSOURCE = 147; // D3DRS_AMBIENTMATERIALSOURCE
constexpr std::uint32_t D3DRS_EMISSIVEMATERIALSOURCE = 148; // D3DRS_EMISSIVEMATERIALSOURCE
constexpr std::uint32_t D3DRS_VERTEXBLEND = 151;           // D3DRS_VERTEXBLEND
constexpr std::uint32_t D3DRS_CLIPPLANEENABLE = 152;       // D3DRS_CLIPPLANEENABLE
constexpr std::uint32_t D3DRS_POINTSIZE = 154;             // D3DRS_POINTSIZE
constexpr std::uint32_t D3DRS_POINTSIZE_MIN = 155;         // D3DRS_POINTSIZE_MIN
constexpr std::uint32_t D3DRS_POINTSPRITEENABLE = 156;     // D3DRS_POINTSPRITEENABLE
constexpr std::uint32_t D3DRS_POINTSCALEENABLE = 157;      // D3DRS_POINTSCALEENABLE
constexpr std::uint32_t D3DRS_POINTSCALE_A = 158;          // D3DRS_POINTSCALE_A
constexpr std::uint32_t D3DRS_POINTSCALE_B = 159;          // D3DRS_POINTSCALE_B
constexpr std::uint32_t D3DRS_POINTSCALE_C = 160;          // D3DRS_POINTSCALE_C
constexpr std::uint32_t D3DRS_MULTISAMPLEANTIALIAS = 161;  // D3DRS_MULTISAMPLEANTIALIAS
constexpr std::uint32_t D3DRS_MULTISAMPLEMASK = 162;       // D3DRS_MULTISAMPLEMASK
constexpr std::uint32_t D3DRS_PATCHEDGESTYLE = 163;        // D3DRS_PATCHEDGESTYLE
constexpr std::uint32_t D3DRS_DEBUGMONITORTOKEN = 165;     // D3DRS_DEBUGMONITORTOKEN
constexpr std::uint32_t D3DRS_POINTSIZE_MAX = 166;         // D3DRS_POINTSIZE_MAX
constexpr std::uint32_t D3DRS_INDEXEDVERTEXBLENDENABLE = 167; // D3DRS_INDEXEDVERTEXBLENDENABLE
constexpr std::uint32_t D3DRS_COLORWRITEENABLE = 168;      // D3DRS_COLORWRITEENABLE
constexpr std::uint32_t D3DRS_TWEENFACTOR = 170;           // D3DRS_TWEENFACTOR
constexpr std::uint32_t D3DRS_BLENDOP = 171;               // D3DRS_BLENDOP
constexpr std::uint32_t D3DRS_POSITIONDEGREE = 172;        // D3DRS_POSITIONDEGREE
constexpr std::uint32_t D3DRS_NORMALDEGREE = 173;          // D3DRS_NORMALDEGREE
constexpr std::uint32_t D3DRS_SCISSORTESTENABLE = 174;     // D3DRS_SCISSORTESTENABLE
constexpr std::uint32_t D3DRS_SLOPESCALEDEPTHBIAS = 175;   // D3DRS_SLOPESCALEDEPTHBIAS
constexpr std::uint32_t D3DRS_ANTIALIASEDLINEENABLE = 176; // D3DRS_ANTIALIASEDLINEENABLE
constexpr std::uint32_t D3DRS_MINTESSELLATIONLEVEL = 178;  // D3DRS_MINTESSELLATIONLEVEL
constexpr std::uint32_t D3DRS_MAXTESSELLATIONLEVEL = 179;  // D3DRS_MAXTESSELLATIONLEVEL
constexpr std::uint32_t D3DRS_ADAPTIVETESS_X = 180;        // D3DRS_ADAPTIVETESS_X
constexpr std::uint32_t D3DRS_ADAPTIVETESS_Y = 181;        // D3DRS_ADAPTIVETESS_Y
constexpr std::uint32_t D3DRS_ADAPTIVETESS_Z = 182;        // D3DRS_ADAPTIVETESS_Z
constexpr std::uint32_t D3DRS_ADAPTIVETESS_W = 183;        // D3DRS_ADAPTIVETESS_W
constexpr std::uint32_t D3DRS_ENABLEADAPTIVETESSELLATION = 184; // D3DRS_ENABLEADAPTIVETESSELLATION
constexpr std::uint32_t D3DRS_TWOSIDEDSTENCILMODE = 185;   // D3DRS_TWOSIDEDSTENCILMODE
constexpr std::uint32_t D3DRS_CCW_STENCILFAIL = 186;       // D3DRS_CCW_STENCILFAIL
constexpr std::uint32_t D3DRS_CCW_STENCILZFAIL = 187;      // D3DRS_CCW_STENCILZFAIL
constexpr std::uint32_t D3DRS_CCW_STENCILPASS = 188;       // D3DRS_CCW_STENCILPASS
constexpr std::uint32_t D3DRS_CCW_STENCILFUNC = 189;       // D3DRS_CCW_STENCILFUNC
constexpr std::uint32_t D3DRS_COLORWRITEENABLE1 = 190;     // D3DRS_COLORWRITEENABLE1
constexpr std::uint32_t D3DRS_COLORWRITEENABLE2 = 191;     // D3DRS_COLORWRITEENABLE2
constexpr std::uint32_t D3DRS_COLORWRITEENABLE3 = 192;     // D3DRS_COLORWRITEENABLE3
constexpr std::uint32_t D3DRS_BLENDFACTOR = 193;           // D3DRS_BLENDFACTOR
constexpr std::uint32_t D3DRS_SRGBWRITEENABLE = 194;       // D3DRS_SRGBWRITEENABLE
constexpr std::uint32_t D3DRS_DEPTHBIAS = 195;             // D3DRS_DEPTHBIAS
constexpr std::uint32_t D3DRS_WRAP8 = 198;                 // D3DRS_WRAP8
constexpr std::uint32_t D3DRS_WRAP9 = 199;                 // D3DRS_WRAP9
constexpr std::uint32_t D3DRS_WRAP10 = 200;                // D3DRS_WRAP10
constexpr std::uint32_t D3DRS_WRAP11 = 201;                // D3DRS_WRAP11
constexpr std::uint32_t D3DRS_WRAP12 = 202;                // D3DRS_WRAP12
constexpr std::uint32_t D3DRS_WRAP13 = 203;                // D3DRS_WRAP13
constexpr std::uint32_t D3DRS_WRAP14 = 204;                // D3DRS_WRAP14
constexpr std::uint32_t D3DRS_WRAP15 = 205;                // D3DRS_WRAP15
constexpr std::uint32_t D3DRS_SEPARATEALPHABLENDENABLE = 206; // D3DRS_SEPARATEALPHABLENDENABLE
constexpr std::uint32_t D3DRS_SRCBLENDALPHA = 207;         // D3DRS_SRCBLENDALPHA
constexpr std::uint32_t D3DRS_DESTBLENDALPHA = 208;        // D3DRS_DESTBLENDALPHA
constexpr std::uint32_t D3DRS_BLENDOPALPHA = 209;          // D3DRS_BLENDOPALPHA

// ---- render-state values ---------------------------------------------------------
constexpr std::uint32_t D3DZB_FALSE = 0, D3DZB_TRUE = 1, D3DZB_USEW = 2;              // D3DZBUFFERTYPE
constexpr std::uint32_t D3DFILL_POINT = 1, D3DFILL_WIREFRAME = 2, D3DFILL_SOLID = 3;  // D3DFILLMODE
constexpr std::uint32_t D3DSHADE_FLAT = 1, D3DSHADE_GOURAUD = 2, D3DSHADE_PHONG = 3;  // D3DSHADEMODE
constexpr std::uint32_t D3DCULL_NONE = 1, D3DCULL_CW = 2, D3DCULL_CCW = 3;            // D3DCULL
// D3DBLEND
constexpr std::uint32_t D3DBLEND_ZERO = 1, D3DBLEND_ONE = 2, D3DBLEND_SRCCOLOR = 3, D3DBLEND_INVSRCCOLOR = 4,
                        D3DBLEND_SRCALPHA = 5, D3DBLEND_INVSRCALPHA = 6, D3DBLEND_DESTALPHA = 7,
                        D3DBLEND_INVDESTALPHA = 8, D3DBLEND_DESTCOLOR = 9, D3DBLEND_INVDESTCOLOR = 10,
                        D3DBLEND_SRCALPHASAT = 11, D3DBLEND_BOTHSRCALPHA = 12, D3DBLEND_BOTHINVSRCALPHA = 13;
// D3DCMPFUNC
constexpr std::uint32_t D3DCMP_NEVER = 1, D3DCMP_LESS = 2, D3DCMP_EQUAL = 3, D3DCMP_LESSEQUAL = 4,
                        D3DCMP_GREATER = 5, D3DCMP_NOTEQUAL = 6, D3DCMP_GREATEREQUAL = 7, D3DCMP_ALWAYS = 8;
// D3DSTENCILOP
constexpr std::uint32_t D3DSTENCILOP_KEEP = 1, D3DSTENCILOP_ZERO = 2, D3DSTENCILOP_REPLACE = 3,
                        D3DSTENCILOP_INCRSAT = 4, D3DSTENCILOP_DECRSAT = 5, D3DSTENCILOP_INVERT = 6,
                        D3DSTENCILOP_INCR = 7, D3DSTENCILOP_DECR = 8;
constexpr std::uint32_t D3DFOG_NONE = 0, D3DFOG_EXP = 1, D3DFOG_EXP2 = 2, D3DFOG_LINEAR = 3; // D3DFOGMODE
constexpr std::uint32_t D3DMCS_MATERIAL = 0, D3DMCS_COLOR1 = 1, D3DMCS_COLOR2 = 2; // D3DMATERIALCOLORSOURCE
// D3DVERTEXBLENDFLAGS
constexpr std::uint32_t D3DVBF_DISABLE = 0, D3DVBF_1WEIGHTS = 1, D3DVBF_2WEIGHTS = 2, D3DVBF_3WEIGHTS = 3,
                        D3DVBF_TWEENING = 255, D3DVBF_0WEIGHTS = 256;
// D3DBLENDOP
constexpr std::uint32_t D3DBLENDOP_ADD = 1, D3DBLENDOP_SUBTRACT = 2, D3DBLENDOP_REVSUBTRACT = 3,
                        D3DBLENDOP_MIN = 4, D3DBLENDOP_MAX = 5;
// D3DDEGREETYPE
constexpr std::uint32_t D3DDEGREE_LINEAR = 1, D3DDEGREE_QUADRATIC = 2, D3DDEGREE_CUBIC = 3, D3DDEGREE_QUINTIC = 5;
// D3DWRAP_U, _V, _W (bits of the WRAPn states)
constexpr std::uint32_t D3DWRAP_U = 1, D3DWRAP_V = 2, D3DWRAP_W = 4;
// D3DCOLORWRITEENABLE_RED|GREEN|BLUE|ALPHA
constexpr std::uint32_t D3DCOLORWRITEENABLE_RED = 1, D3DCOLORWRITEENABLE_GREEN = 2,
                        D3DCOLORWRITEENABLE_BLUE = 4, D3DCOLORWRITEENABLE_ALPHA = 8;

// ---- texture-stage states (D3DTEXTURESTAGESTATETYPE) 1-32 ---------------------------
constexpr std::uint32_t D3DTSS_COLOROP = 1, D3DTSS_COLORARG1 = 2, D3DTSS_COLORARG2 = 3, D3DTSS_ALPHAOP = 4,
                        D3DTSS_ALPHAARG1 = 5, D3DTSS_ALPHAARG2 = 6, D3DTSS_BUMPENVMAT00 = 7,
                        D3DTSS_BUMPENVMAT01 = 8, D3DTSS_BUMPENVMAT10 = 9, D3DTSS_BUMPENVMAT11 = 10,
                        D3DTSS_TEXCOORDINDEX = 11, D3DTSS_BUMPENVLSCALE = 22, D3DTSS_BUMPENVLOFFSET = 23,
                        D3DTSS_TEXTURETRANSFORMFLAGS = 24, D3DTSS_COLORARG0 = 26, D3DTSS_ALPHAARG0 = 27,
                        D3DTSS_RESULTARG = 28, D3DTSS_CONSTANT = 32;
// D3DTEXTUREOP 1-26
constexpr std::uint32_t D3DTOP_DISABLE = 1, D3DTOP_SELECTARG1 = 2, D3DTOP_SELECTARG2 = 3, D3DTOP_MODULATE = 4,
                        D3DTOP_MODULATE2X = 5, D3DTOP_MODULATE4X = 6, D3DTOP_ADD = 7, D3DTOP_ADDSIGNED = 8,
                        D3DTOP_ADDSIGNED2X = 9, D3DTOP_SUBTRACT = 10, D3DTOP_ADDSMOOTH = 11,
                        D3DTOP_BLENDDIFFUSEALPHA = 12, D3DTOP_BLENDTEXTUREALPHA = 13,
                        D3DTOP_BLENDFACTORALPHA = 14, D3DTOP_BLENDTEXTUREALPHAPM = 15,
                        D3DTOP_BLENDCURRENTALPHA = 16, D3DTOP_PREMODULATE = 17,
                        D3DTOP_MODULATEALPHA_ADDCOLOR = 18, D3DTOP_MODULATECOLOR_ADDALPHA = 19,
                        D3DTOP_MODULATEINVALPHA_ADDCOLOR = 20, D3DTOP_MODULATEINVCOLOR_ADDALPHA = 21,
                        D3DTOP_BUMPENVMAP = 22, D3DTOP_BUMPENVMAPLUMINANCE = 23, D3DTOP_DOTPRODUCT3 = 24,
                        D3DTOP_MULTIPLYADD = 25, D3DTOP_LERP = 26;
// D3DTA_* texture arguments
constexpr std::uint32_t D3DTA_SELECTMASK = 0xF, D3DTA_DIFFUSE = 0, D3DTA_CURRENT = 1, D3DTA_TEXTURE = 2,
                        D3DTA_TFACTOR = 3, D3DTA_SPECULAR = 4, D3DTA_TEMP = 5, D3DTA_CONSTANT = 6,
                        D3DTA_COMPLEMENT = 0x10, D3DTA_ALPHAREPLICATE = 0x20;
// D3DTEXTURETRANSFORMFLAGS
constexpr std::uint32_t D3DTTFF_DISABLE = 0, D3DTTFF_COUNT1 = 1, D3DTTFF_COUNT2 = 2, D3DTTFF_COUNT3 = 3,
                        D3DTTFF_COUNT4 = 4, D3DTTFF_PROJECTED = 0x100;
// D3DTSS_TCI_* texture-coordinate generation flags
constexpr std::uint32_t D3DTSS_TCI_PASSTHRU = 0, D3DTSS_TCI_CAMERASPACENORMAL = 0x10000,
                        D3DTSS_TCI_CAMERASPACEPOSITION = 0x20000,
                        D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR = 0x30000, D3DTSS_TCI_SPHEREMAP = 0x40000;

// ---- sampler states (D3DSAMPLERSTATETYPE) 1-13 -------------------------------------
constexpr std::uint32_t D3DSAMP_ADDRESSU = 1, D3DSAMP_ADDRESSV = 2, D3DSAMP_ADDRESSW = 3,
                        D3DSAMP_BORDERCOLOR = 4, D3DSAMP_MAGFILTER = 5, D3DSAMP_MINFILTER = 6,
                        D3DSAMP_MIPFILTER = 7, D3DSAMP_MIPMAPLODBIAS = 8, D3DSAMP_MAXMIPLEVEL = 9,
                        D3DSAMP_MAXANISOTROPY = 10, D3DSAMP_SRGBTEXTURE = 11, D3DSAMP_ELEMENTINDEX = 12,
                        D3DSAMP_DMAPOFFSET = 13;
// D3DTEXTUREFILTERTYPE
constexpr std::uint32_t D3DTEXF_NONE = 0, D3DTEXF_POINT = 1, D3DTEXF_LINEAR = 2, D3DTEXF_ANISOTROPIC = 3,
                        D3DTEXF_PYRAMIDALQUAD = 6, D3DTEXF_GAUSSIANQUAD = 7;
// D3DTEXTUREADDRESS
constexpr std::uint32_t D3DTADDRESS_WRAP = 1, D3DTADDRESS_MIRROR = 2, D3DTADDRESS_CLAMP = 3,
                        D3DTADDRESS_BORDER = 4, D3DTADDRESS_MIRRORONCE = 5;

// ---- vertex declarations (D3DDECLTYPE 0-17, D3DDECLUSAGE 0-13, D3DDECLMETHOD 0-6)
constexpr std::uint8_t D3DDECLTYPE_FLOAT1 = 0, D3DDECLTYPE_FLOAT2 = 1, D3DDECLTYPE_FLOAT3 = 2,
                       D3DDECLTYPE_FLOAT4 = 3, D3DDECLTYPE_D3DCOLOR = 4, D3DDECLTYPE_UBYTE4 = 5,
                       D3DDECLTYPE_SHORT2 = 6, D3DDECLTYPE_SHORT4 = 7, D3DDECLTYPE_UBYTE4N = 8,
                       D3DDECLTYPE_SHORT2N = 9, D3DDECLTYPE_SHORT4N = 10, D3DDECLTYPE_USHORT2N = 11,
                       D3DDECLTYPE_USHORT4N = 12, D3DDECLTYPE_UDEC3 = 13, D3DDECLTYPE_DEC3N = 14,
                       D3DDECLTYPE_FLOAT16_2 = 15, D3DDECLTYPE_FLOAT16_4 = 16, D3DDECLTYPE_UNUSED = 17;
// Byte size of each declaration type 0-17 (UNUSED 0).
constexpr std::uint8_t kDeclTypeSize[18] = {4, 8, 12, 16, 4, 4, 4, 8, 4, 4, 8, 4, 8, 4, 4, 4, 8, 0};
constexpr std::uint8_t D3DDECLUSAGE_POSITION = 0, D3DDECLUSAGE_BLENDWEIGHT = 1, D3DDECLUSAGE_BLENDINDICES = 2,
                       D3DDECLUSAGE_NORMAL = 3, D3DDECLUSAGE_PSIZE = 4, D3DDECLUSAGE_TEXCOORD = 5,
                       D3DDECLUSAGE_TANGENT = 6, D3DDECLUSAGE_BINORMAL = 7, D3DDECLUSAGE_TESSFACTOR = 8,
                       D3DDECLUSAGE_POSITIONT = 9, D3DDECLUSAGE_COLOR = 10, D3DDECLUSAGE_FOG = 11,
                       D3DDECLUSAGE_DEPTH = 12, D3DDECLUSAGE_SAMPLE = 13;
constexpr std::uint8_t D3DDECLMETHOD_DEFAULT = 0, D3DDECLMETHOD_PARTIALU = 1, D3DDECLMETHOD_PARTIALV = 2,
                       D3DDECLMETHOD_CROSSUV = 3, D3DDECLMETHOD_UV = 4, D3DDECLMETHOD_LOOKUP = 5,
                       D3DDECLMETHOD_LOOKUPPRESAMPLED = 6;

// ---- shader version tokens: 0xFFFE0000 (vertex) / 0xFFFF0000 (pixel) | major<<8 | minor
constexpr std::uint32_t D3DVS_VERSION(std::uint32_t major, std::uint32_t minor) { return 0xFFFE0000u | (major << 8) | minor; }
constexpr std::uint32_t D3DPS_VERSION(std::uint32_t major, std::uint32_t minor) { return 0xFFFF0000u | (major << 8) | minor; }
constexpr std::uint32_t D3DSIO_END = 0x0000FFFF; // the token that ends a shader function

// ---- caps bits (the ones this device reports or the renderer tests) --------------
constexpr std::uint32_t D3DCAPS2_CANMANAGERESOURCE = 0x10000000;  // D3DCAPS2_CANMANAGERESOURCE
constexpr std::uint32_t D3DCAPS2_DYNAMICTEXTURES = 0x20000000;    // D3DCAPS2_DYNAMICTEXTURES
constexpr std::uint32_t D3DDEVCAPS_EXECUTESYSTEMMEMORY = 0x10;    // D3DDEVCAPS_EXECUTESYSTEMMEMORY
constexpr std::uint32_t D3DDEVCAPS_TLVERTEXSYSTEMMEMORY = 0x40;   // D3DDEVCAPS_TLVERTEXSYSTEMMEMORY
constexpr std::uint32_t D3DDEVCAPS_TEXTURESYSTEMMEMORY = 0x100;   // D3DDEVCAPS_TEXTURESYSTEMMEMORY
constexpr std::uint32_t D3DDEVCAPS_DRAWPRIMTLVERTEX = 0x400;      // D3DDEVCAPS_DRAWPRIMTLVERTEX
constexpr std::uint32_t D3DDEVCAPS_HWTRANSFORMANDLIGHT = 0x10000; // D3DDEVCAPS_HWTRANSFORMANDLIGHT
constexpr std::uint32_t D3DDEVCAPS_HWRASTERIZATION = 0x80000;     // D3DDEVCAPS_HWRASTERIZATION
constexpr std::uint32_t D3DDEVCAPS_PUREDEVICE = 0x100000;         // D3DDEVCAPS_PUREDEVICE
constexpr std::uint32_t D3DDEVCAPS2_STREAMOFFSET = 0x1;           // D3DDEVCAPS2_STREAMOFFSET
constexpr std::uint32_t D3DPMISCCAPS_MASKZ = 0x2;                 // D3DPMISCCAPS_MASKZ
constexpr std::uint32_t D3DPMISCCAPS_CULLNONE = 0x10;             // D3DPMISCCAPS_CULLNONE
constexpr std::uint32_t D3DPMISCCAPS_CULLCW = 0x20;               // D3DPMISCCAPS_CULLCW
constexpr std::uint32_t D3DPMISCCAPS_CULLCCW = 0x40;              // D3DPMISCCAPS_CULLCCW
constexpr std::uint32_t D3DPMISCCAPS_COLORWRITEENABLE = 0x80;     // D3DPMISCCAPS_COLORWRITEENABLE
constexpr std::uint32_t D3DPMISCCAPS_BLENDOP = 0x800;             // D3DPMISCCAPS_BLENDOP
constexpr std::uint32_t D3DPMISCCAPS_MRTINDEPENDENTBITDEPTHS = 0x40000;   // D3DPMISCCAPS_MRTINDEPENDENTBITDEPTHS
constexpr std::uint32_t D3DPMISCCAPS_MRTPOSTPIXELSHADERBLENDING = 0x80000; // D3DPMISCCAPS_MRTPOSTPIXELSHADERBLENDING
constexpr std::uint32_t D3DPRASTERCAPS_ZTEST = 0x10;              // D3DPRASTERCAPS_ZTEST
constexpr std::uint32_t D3DPRASTERCAPS_FOGVERTEX = 0x80;          // D3DPRASTERCAPS_FOGVERTEX
constexpr std::uint32_t D3DPRASTERCAPS_FOGTABLE = 0x100;          // D3DPRASTERCAPS_FOGTABLE
constexpr std::uint32_t D3DPRASTERCAPS_FOGRANGE = 0x10000;        // D3DPRASTERCAPS_FOGRANGE
constexpr std::uint32_t D3DPRASTERCAPS_WBUFFER = 0x40000;         // D3DPRASTERCAPS_WBUFFER
constexpr std::uint32_t D3DPRASTERCAPS_WFOG = 0x100000;           // D3DPRASTERCAPS_WFOG
constexpr std::uint32_t D3DPRASTERCAPS_SCISSORTEST = 0x1000000;   // D3DPRASTERCAPS_SCISSORTEST
constexpr std::uint32_t D3DPRASTERCAPS_MULTISAMPLE_TOGGLE = 0x8000000; // D3DPRASTERCAPS_MULTISAMPLE_TOGGLE
constexpr std::uint32_t D3DPCMPCAPS_ALL = 0xFF;                   // D3DPCMPCAPS_NEVER..ALWAYS (0x01..0x80)
// D3DPBLENDCAPS_*: bit (blend - 1) of D3DBLEND, ZERO 0x1 .. BOTHINVSRCALPHA 0x1000
constexpr std::uint32_t D3DPBLENDCAPS(std::uint32_t blend) { return 1u << (blend - 1); }
constexpr std::uint32_t D3DPSHADECAPS_COLORGOURAUDRGB = 0x8;      // D3DPSHADECAPS_COLORGOURAUDRGB
constexpr std::uint32_t D3DPTEXTURECAPS_PERSPECTIVE = 0x1;        // D3DPTEXTURECAPS_PERSPECTIVE
constexpr std::uint32_t D3DPTEXTURECAPS_POW2 = 0x2;               // D3DPTEXTURECAPS_POW2
constexpr std::uint32_t D3DPTEXTURECAPS_ALPHA = 0x4;              // D3DPTEXTURECAPS_ALPHA
constexpr std::uint32_t D3DPTEXTURECAPS_SQUAREONLY = 0x20;        // D3DPTEXTURECAPS_SQUAREONLY
constexpr std::uint32_t D3DPTEXTURECAPS_PROJECTED = 0x400;        // D3DPTEXTURECAPS_PROJECTED
constexpr std::uint32_t D3DPTEXTURECAPS_CUBEMAP = 0x800;          // D3DPTEXTURECAPS_CUBEMAP
constexpr std::uint32_t D3DPTEXTURECAPS_MIPMAP = 0x4000;          // D3DPTEXTURECAPS_MIPMAP
constexpr std::uint32_t D3DPTEXTURECAPS_MIPCUBEMAP = 0x10000;     // D3DPTEXTURECAPS_MIPCUBEMAP
constexpr std::uint32_t D3DPTEXTURECAPS_VOLUMEMAP = 0x2000;       // D3DPTEXTURECAPS_VOLUMEMAP
constexpr std::uint32_t D3DPTEXTURECAPS_MIPVOLUMEMAP = 0x8000;    // D3DPTEXTURECAPS_MIPVOLUMEMAP
constexpr std::uint32_t D3DPTEXTURECAPS_VOLUMEMAP_POW2 = 0x40000; // D3DPTEXTURECAPS_VOLUMEMAP_POW2
constexpr std::uint32_t D3DPTADDRESSCAPS_WRAP = 0x1;              // D3DPTADDRESSCAPS_WRAP
constexpr std::uint32_t D3DPTADDRESSCAPS_MIRROR = 0x2;            // D3DPTADDRESSCAPS_MIRROR
constexpr std::uint32_t D3DPTADDRESSCAPS_CLAMP = 0x4;             // D3DPTADDRESSCAPS_CLAMP
constexpr std::uint32_t D3DPTADDRESSCAPS_BORDER = 0x8;            // D3DPTADDRESSCAPS_BORDER
constexpr std::uint32_t D3DPTADDRESSCAPS_INDEPENDENTUV = 0x10;    // D3DPTADDRESSCAPS_INDEPENDENTUV
constexpr std::uint32_t D3DPTADDRESSCAPS_MIRRORONCE = 0x20;       // D3DPTADDRESSCAPS_MIRRORONCE
constexpr std::uint32_t D3DPTFILTERCAPS_MINFPOINT = 0x100;        // D3DPTFILTERCAPS_MINFPOINT
constexpr std::uint32_t D3DPTFILTERCAPS_MINFLINEAR = 0x200;       // D3DPTFILTERCAPS_MINFLINEAR
constexpr std::uint32_t D3DPTFILTERCAPS_MINFANISOTROPIC = 0x400;  // D3DPTFILTERCAPS_MINFANISOTROPIC
constexpr std::uint32_t D3DPTFILTERCAPS_MIPFPOINT = 0x10000;      // D3DPTFILTERCAPS_MIPFPOINT
constexpr std::uint32_t D3DPTFILTERCAPS_MIPFLINEAR = 0x20000;     // D3DPTFILTERCAPS_MIPFLINEAR
constexpr std::uint32_t D3DPTFILTERCAPS_MAGFPOINT = 0x1000000;    // D3DPTFILTERCAPS_MAGFPOINT
constexpr std::uint32_t D3DPTFILTERCAPS_MAGFLINEAR = 0x2000000;   // D3DPTFILTERCAPS_MAGFLINEAR
constexpr std::uint32_t D3DPTFILTERCAPS_MAGFANISOTROPIC = 0x4000000; // D3DPTFILTERCAPS_MAGFANISOTROPIC
// D3DTEXOPCAPS_*: bit (op - 1) of D3DTEXTUREOP
constexpr std::uint32_t D3DTEXOPCAPS(std::uint32_t op) { return 1u << (op - 1); }
constexpr std::uint32_t D3DTEXOPCAPS_BLENDTEXTUREALPHA = 0x1000;   // bit 12
constexpr std::uint32_t D3DTEXOPCAPS_BUMPENVMAP = 0x200000;        // bit 21
constexpr std::uint32_t D3DTEXOPCAPS_BUMPENVMAPLUMINANCE = 0x400000; // bit 22
constexpr std::uint32_t D3DSTENCILCAPS_ALL8 = 0xFF;               // D3DSTENCILCAPS_KEEP..DECR (0x01..0x80)
constexpr std::uint32_t D3DSTENCILCAPS_TWOSIDED = 0x100;          // D3DSTENCILCAPS_TWOSIDED
constexpr std::uint32_t D3DVTXPCAPS_MATERIALSOURCE7 = 0x2;        // D3DVTXPCAPS_MATERIALSOURCE7
constexpr std::uint32_t D3DDTCAPS_ALL = 0x3FF;                    // D3DDTCAPS_UBYTE4 (0x1) .. FLOAT16_4 (0x200)
constexpr std::int32_t D3DVS20CAPS_PREDICATION = 1;               // D3DVS20CAPS_PREDICATION
constexpr std::int32_t D3DPS20CAPS_ARBITRARYSWIZZLE = 1;          // D3DPS20CAPS_ARBITRARYSWIZZLE
constexpr std::int32_t D3DPS20CAPS_GRADIENTINSTRUCTIONS = 2;      // D3DPS20CAPS_GRADIENTINSTRUCTIONS
constexpr std::int32_t D3DPS20CAPS_PREDICATION = 4;               // D3DPS20CAPS_PREDICATION
constexpr std::int32_t D3DPS20CAPS_NODEPENDENTREADLIMIT = 8;      // D3DPS20CAPS_NODEPENDENTREADLIMIT
constexpr std::int32_t D3DPS20CAPS_NOTEXINSTRUCTIONLIMIT = 16;    // D3DPS20CAPS_NOTEXINSTRUCTIONLIMIT

// ---- records -------------------------------------------------------------------------
struct D3DCAPS9 {
    std::uint32_t DeviceType, AdapterOrdinal, Caps, Caps2, Caps3, PresentationIntervals, CursorCaps, DevCaps,
        PrimitiveMiscCaps, RasterCaps, ZCmpCaps, SrcBlendCaps, DestBlendCaps, AlphaCmpCaps, ShadeCaps,
        TextureCaps, TextureFilterCaps, CubeTextureFilterCaps, VolumeTextureFilterCaps, TextureAddressCaps,
        VolumeTextureAddressCaps, LineCaps, MaxTextureWidth, MaxTextureHeight, MaxVolumeExtent,
        MaxTextureRepeat, MaxTextureAspectRatio, MaxAnisotropy;
    float MaxVertexW, GuardBandLeft, GuardBandTop, GuardBandRight, GuardBandBottom, ExtentsAdjust;
    std::uint32_t StencilCaps, FVFCaps, TextureOpCaps, MaxTextureBlendStages, MaxSimultaneousTextures,
        VertexProcessingCaps, MaxActiveLights, MaxUserClipPlanes, MaxVertexBlendMatrices,
        MaxVertexBlendMatrixIndex;
    float MaxPointSize;
    std::uint32_t MaxPrimitiveCount, MaxVertexIndex, MaxStreams, MaxStreamStride, VertexShaderVersion,
        MaxVertexShaderConst, PixelShaderVersion;
    float PixelShader1xMaxValue;
    std::uint32_t DevCaps2;
    float MaxNpatchTessellationLevel;
    std::uint32_t Reserved5, MasterAdapterOrdinal, AdapterOrdinalInGroup, NumberOfAdaptersInGroup, DeclTypes,
        NumSimultaneousRTs, StretchRectFilterCaps;
    struct { std::int32_t Caps, DynamicFlowControlDepth, NumTemps, StaticFlowControlDepth; } VS20Caps;
    struct { std::int32_t Caps, DynamicFlowControlDepth, NumTemps, StaticFlowControlDepth, NumInstructionSlots; } PS20Caps;
    std::uint32_t VertexTextureFilterCaps, MaxVShaderInstructionsExecuted, MaxPShaderInstructionsExecuted,
        MaxVertexShader30InstructionSlots, MaxPixelShader30InstructionSlots;
};

struct D3DDISPLAYMODE {
    std::uint32_t Width = 0, Height = 0, RefreshRate = 0;
    D3DFORMAT Format = D3DFMT_UNKNOWN;
};

struct D3DADAPTER_IDENTIFIER9 {
    char Driver[512];
    char Description[512];
    char DeviceName[32];
    std::int64_t DriverVersion;
    std::uint32_t VendorId, DeviceId, SubSysId, Revision;
    std::uint8_t DeviceIdentifier[16];
    std::uint32_t WHQLLevel;
};

// The fourteen words of the presentation parameters, in their published order.
struct D3DPRESENT_PARAMETERS {
    std::uint32_t BackBufferWidth = 0, BackBufferHeight = 0;
    D3DFORMAT BackBufferFormat = D3DFMT_UNKNOWN;
    std::uint32_t BackBufferCount = 0, MultiSampleType = 0, MultiSampleQuality = 0, SwapEffect = 0;
    WindowHandle hDeviceWindow = nullptr;
    std::int32_t Windowed = 0, EnableAutoDepthStencil = 0;
    D3DFORMAT AutoDepthStencilFormat = D3DFMT_UNKNOWN;
    std::uint32_t Flags = 0, FullScreen_RefreshRateInHz = 0, PresentationInterval = 0;
};

struct D3DDEVICE_CREATION_PARAMETERS {
    std::uint32_t AdapterOrdinal = 0, DeviceType = 0;
    WindowHandle hFocusWindow = nullptr;
    std::uint32_t BehaviorFlags = 0;
};

struct D3DVIEWPORT9 {
    std::uint32_t X = 0, Y = 0, Width = 0, Height = 0;
    float MinZ = 0.0f, MaxZ = 1.0f;
};

struct D3DMATRIX {
    float m[4][4];
};

struct D3DCOLORVALUE {
    float r = 0, g = 0, b = 0, a = 0;
};
struct D3DVECTOR {
    float x = 0, y = 0, z = 0;
};

struct D3DMATERIAL9 {
    D3DCOLORVALUE Diffuse, Ambient, Specular, Emissive;
    float Power = 0;
};

struct D3DLIGHT9 {
    std::uint32_t Type = D3DLIGHT_DIRECTIONAL;
    D3DCOLORVALUE Diffuse, Specular, Ambient;
    D3DVECTOR Position, Direction;
    float Range = 0, Falloff = 0, Attenuation0 = 0, Attenuation1 = 0, Attenuation2 = 0, Theta = 0, Phi = 0;
};

struct D3DRECT {
    std::int32_t x1, y1, x2, y2;
};
struct RECT {
    std::int32_t left, top, right, bottom;
};
struct POINT {
    std::int32_t x, y;
};

struct D3DLOCKED_RECT {
    std::int32_t Pitch = 0;
    void* pBits = nullptr;
};

// A volume's box: [Left, Right) x [Top, Bottom) x [Front, Back).
struct D3DBOX {
    std::uint32_t Left = 0, Top = 0, Right = 0, Bottom = 0, Front = 0, Back = 0;
};

struct D3DLOCKED_BOX {
    std::int32_t RowPitch = 0, SlicePitch = 0;
    void* pBits = nullptr;
};

struct D3DVOLUME_DESC {
    D3DFORMAT Format = 0;
    std::uint32_t Type = 0, Usage = 0, Pool = 0, Width = 0, Height = 0, Depth = 0;
};

struct D3DSURFACE_DESC {
    D3DFORMAT Format = 0;
    std::uint32_t Type = 0, Usage = 0, Pool = 0, MultiSampleType = 0, MultiSampleQuality = 0, Width = 0, Height = 0;
};

struct D3DVERTEXBUFFER_DESC {
    D3DFORMAT Format = 0;
    std::uint32_t Type = 0, Usage = 0, Pool = 0, Size = 0, FVF = 0;
};

struct D3DINDEXBUFFER_DESC {
    D3DFORMAT Format = 0;
    std::uint32_t Type = 0, Usage = 0, Pool = 0, Size = 0;
};

struct D3DVERTEXELEMENT9 {
    std::uint16_t Stream, Offset;
    std::uint8_t Type, Method, Usage, UsageIndex;
};
// D3DDECL_END(): stream 0xFF, type UNUSED.
constexpr D3DVERTEXELEMENT9 D3DDECL_END() { return {0xFF, 0, D3DDECLTYPE_UNUSED, 0, 0, 0}; }

} // namespace gfx
