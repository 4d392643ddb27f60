/* Shader-description grammar: an LALR(1) grammar whose actions build the
   binary shaders while the text is read. Generated into C (compiled as C++)
   at build time; the actions live in NSFGrammarActions. */

%code requires {
#include <cstdint>
}

%code {
#include "engine/shaders/nsf/NSFGrammarActions.h"
#include "engine/shaders/nsf/NSFScanner.h"
#include "engine/shaders/nsf/NSFScannerState.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Room for 200 entries at first, doubled up to 10000: deeper input is a
// stack overflow, reported and abandoned.
#define YYINITDEPTH 200
#define YYMAXDEPTH 10000
// The trace goes to a recorder (tests list the rules reduced), never to a
// stream.
#define YYFPRINTF NSFGrammarActions::Trace

#define nsflex NextToken

using A = NSFGrammarActions;

static void nsferror(const char* pcMessage);
}

%define api.prefix {nsf}
%define parse.error custom
%define parse.trace
%expect 0

%union {
    int iValue;
    float fValue;
    std::uint32_t uiValue;
    unsigned char bValue;
    char* pcValue;
}

%token EOLN PATH L_ACCOLADE R_ACCOLADE L_PARENTHESE R_PARENTHESE L_BRACKET R_BRACKET L_ANGLEBRACKET
%token R_ANGLEBRACKET OR ASSIGN COMMA UNDERSCORE ASTERIK FORWARDSLASH PLUS MINUS N_HEX N_FLOAT N_INT
%token N_STRING N_QUOTE N_BOOL N_VERSION NSFSHADER ARTIST HIDDEN SAVE ATTRIBUTES GLOBALATTRIBUTES
%token ATTRIB ATTRIB_BOOL ATTRIB_STRING ATTRIB_UINT ATTRIB_FLOAT ATTRIB_POINT2 ATTRIB_POINT3
%token ATTRIB_POINT4 ATTRIB_MATRIX3 ATTRIB_TRANSFORM ATTRIB_COLOR ATTRIB_TEXTURE PACKINGDEF
%token PD_STREAM PD_FIXEDFUNCTION PDP_POSITION PDP_BLENDWEIGHTS PDP_BLENDINDICES PDP_NORMAL
%token PDP_POINTSIZE PDP_COLOR PDP_COLOR2 PDP_TEXCOORD0 PDP_TEXCOORD1 PDP_TEXCOORD2 PDP_TEXCOORD3
%token PDP_TEXCOORD4 PDP_TEXCOORD5 PDP_TEXCOORD6 PDP_TEXCOORD7 PDP_POSITION2 PDP_NORMAL2 PDP_TANGENT
%token PDP_BINORMAL PDP_EXTRADATA PDT_FLOAT1 PDT_FLOAT2 PDT_FLOAT3 PDT_FLOAT4 PDT_UBYTECOLOR
%token PDT_SHORT1 PDT_SHORT2 PDT_SHORT3 PDT_SHORT4 PDT_UBYTE4 PDT_NORMSHORT1 PDT_NORMSHORT2
%token PDT_NORMSHORT3 PDT_NORMSHORT4 PDT_NORMPACKED3 PDT_PBYTE1 PDT_PBYTE2 PDT_PBYTE3 PDT_PBYTE4
%token PDT_FLOAT2H PDT_NORMUBYTE4 PDT_NORMUSHORT2 PDT_NORMUSHORT4 PDT_UDEC3 PDT_NORMDEC3
%token PDT_FLOAT16_2 PDT_FLOAT16_4 PDTESS_DEFAULT PDTESS_PARTIALU PDTESS_PARTIALV PDTESS_CROSSUV
%token PDTESS_UV PDTESS_LOOKUP PDTESS_LOOKUPPRESAMPLED PDU_POSITION PDU_BLENDWEIGHT PDU_BLENDINDICES
%token PDU_NORMAL PDU_PSIZE PDU_TEXCOORD PDU_TANGENT PDU_BINORMAL PDU_TESSFACTOR PDU_POSITIONT
%token PDU_COLOR PDU_FOG PDU_DEPTH PDU_SAMPLE RENDERSTATES CMDEFINED CMATTRIBUTE CMCONSTANT CMGLOBAL
%token CMOPERATOR VSCONSTANTMAP VSPROGRAM PSCONSTANTMAP PSPROGRAM PROGRAM ENTRYPOINT SHADERTARGET
%token SOFTWAREVP BONEMATRIX3 BONEMATRIX4 SKINBONEMATRIX3 SKINBONEMATRIX4 REQUIREMENTS VSVERSION
%token PSVERSION USERVERSION PLATFORM BONESPERPARTITION BINORMALTANGENTMETHOD NBTMETHOD_NONE
%token NBTMETHOD_NI NBTMETHOD_MAX NBTMETHOD_ATI USERDEFINEDDATA IMPLEMENTATION CLASSNAME PASS STAGE
%token TSS_TEXTURE TSS_COLOROP TSS_COLORARG0 TSS_COLORARG1 TSS_COLORARG2 TSS_ALPHAOP TSS_ALPHAARG0
%token TSS_ALPHAARG1 TSS_ALPHAARG2 TSS_RESULTARG TSS_CONSTANT TSS_BUMPENVMAT00 TSS_BUMPENVMAT01
%token TSS_BUMPENVMAT10 TSS_BUMPENVMAT11 TSS_BUMPENVLSCALE TSS_BUMPENVLOFFSET TSS_TEXCOORDINDEX
%token TSS_TEXTURETRANSFORMFLAGS TSS_TEXTRANSMATRIX TTFF_DISABLE TTFF_COUNT1 TTFF_COUNT2 TTFF_COUNT3
%token TTFF_COUNT4 TTFF_PROJECTED PROJECTED USEMAPINDEX INVERSE TRANSPOSE TTSRC_GLOBAL
%token TTSRC_CONSTANT TT_WORLD_PARALLEL TT_WORLD_PERSPECTIVE TT_WORLD_SPHERE_MAP
%token TT_CAMERA_SPHERE_MAP TT_SPECULAR_CUBE_MAP TT_DIFFUSE_CUBE_MAP TCI_PASSTHRU
%token TCI_CAMERASPACENORMAL TCI_CAMERASPACEPOSITION TCI_CAMERASPACEREFLECT TCI_SPHEREMAP
%token TOP_DISABLE TOP_SELECTARG1 TOP_SELECTARG2 TOP_MODULATE TOP_MODULATE2X TOP_MODULATE4X TOP_ADD
%token TOP_ADDSIGNED TOP_ADDSIGNED2X TOP_SUBTRACT TOP_ADDSMOOTH TOP_BLENDDIFFUSEALPHA
%token TOP_BLENDTEXTUREALPHA TOP_BLENDFACTORALPHA TOP_BLENDTEXTUREALPHAPM TOP_BLENDCURRENTALPHA
%token TOP_PREMODULATE TOP_MODULATEALPHA_ADDCOLOR TOP_MODULATECOLOR_ADDALPHA
%token TOP_MODULATEINVALPHA_ADDCOLOR TOP_MODULATEINVCOLOR_ADDALPHA TOP_BUMPENVMAP
%token TOP_BUMPENVMAPLUMINANCE TOP_DOTPRODUCT3 TOP_MULTIPLYADD TOP_LERP TA_CURRENT TA_DIFFUSE
%token TA_SELECTMASK TA_SPECULAR TA_TEMP TA_TEXTURE TA_TFACTOR TA_ALPHAREPLICATE TA_COMPLEMENT
%token NTM_BASE NTM_DARK NTM_DETAIL NTM_GLOSS NTM_GLOW NTM_BUMP NTM_DECAL SAMPLER TSAMP_ADDRESSU
%token TSAMP_ADDRESSV TSAMP_ADDRESSW TSAMP_BORDERCOLOR TSAMP_MAGFILTER TSAMP_MINFILTER
%token TSAMP_MIPFILTER TSAMP_MIPMAPLODBIAS TSAMP_MAXMIPLEVEL TSAMP_MAXANISOTROPY TSAMP_SRGBTEXTURE
%token TSAMP_ELEMENTINDEX TSAMP_DMAPOFFSET TSAMP_ALPHAKILL TSAMP_COLORKEYOP TSAMP_COLORSIGN
%token TSAMP_COLORKEYCOLOR TADDR_WRAP TADDR_MIRROR TADDR_CLAMP TADDR_BORDER TADDR_MIRRORONCE
%token TADDR_CLAMPTOEDGE TEXF_NONE TEXF_POINT TEXF_LINEAR TEXF_ANISOTROPIC TEXF_PYRAMIDALQUAD
%token TEXF_GAUSSIANQUAD TEXF_QUINCUNX TEXF_FLATCUBIC TEXF_GAUSSIANCUBIC DTEXF_MAX TAK_DISABLE
%token TAK_ENABLE TCKOP_DISABLE TCKOP_ALPHA TCKOP_RGBA TCKOP_KILL

%type <pcValue> PATH N_STRING N_QUOTE
%type <iValue> N_INT
%type <fValue> N_FLOAT
%type <uiValue> N_HEX N_VERSION
%type <bValue> N_BOOL

%type <pcValue> optional_string optional_multi_string optional_description optional_filename
%type <pcValue> string_or_quote attribute_name
%type <bValue> artist_conditional operator_optional_inverse operator_optional_transpose
%type <uiValue> float_values_list float_values_16 float_values_12 float_values_9 float_values_8
%type <uiValue> float_values_4 float_values_3 float_values_2 float_values_1 float_values_color
%type <uiValue> packing_definition_type packing_definition_parameter packing_definition_tesselator
%type <uiValue> packing_definition_usage binormaltanget_method requirement_platform_list operator_type
%type <uiValue> stage_texture_operation stage_texture_argument stage_texture_argument_modifiers_optional
%type <uiValue> stage_texture_argument_modifier stage_texcoordindex_flags stage_texturetransformflags_count
%type <uiValue> stage_texturetransformflags_optional_projection stage_textransmatrix_option
%type <uiValue> stage_texture_map_zrb stage_texture_map_zrb_decal sampler_texture_address
%type <uiValue> sampler_texture_filter sampler_texture_alphakill sampler_texture_colorkeyop

/* Strings a syntax error discards; the shared empty string stays. Actions
   in mid-rule take their strings and clear them on the stack, so a later
   error does not free them again. */
%destructor { A::FreeString($$); } <pcValue>

%start shader_file

%%

/* ---- shaders, attributes, values, user data ---- */

shader_file:
    shader_file shader
  | shader
  ;

shader:
    NSFSHADER N_STRING L_ACCOLADE
        { A::StartShader($2); $2 = nullptr; }
      optional_description
        { A::SetShaderDescription($5); $5 = nullptr; }
      nsfshader_components_optional R_ACCOLADE
        { A::EndShader(); }
  | error '\n'
  ;

nsfshader_components_optional:
    %empty
  | nsfshader_components_list
  ;

nsfshader_components_list:
    nsfshader_components_list nsfshader_component
  | nsfshader_component
  ;

nsfshader_component:
    attribute_list_with_brackets
  | global_attribute_list_with_brackets
  | packing_definition_definition
  | implementation
  | userdefineddata_block
  ;

optional_string:
    %empty      { $$ = A::EmptyString(); }
  | N_STRING    { $$ = $1; }
  ;

optional_multi_string:
    N_QUOTE                         { $$ = $1; }
  | optional_multi_string N_QUOTE   { $$ = A::JoinStrings($1, $2); }
  ;

optional_description:
    %empty                  { $$ = A::EmptyString(); }
  | optional_multi_string   { $$ = $1; }
  ;

optional_filename:
    %empty      { $$ = A::EmptyString(); }
  | N_QUOTE     { $$ = $1; }
  | PATH        { $$ = $1; }
  ;

string_or_quote:
    N_STRING    { $$ = $1; }
  | N_QUOTE     { $$ = $1; }
  ;

attribute_name:
    L_ANGLEBRACKET N_STRING R_ANGLEBRACKET  { $$ = $2; }
  ;

attribute_list_with_brackets:
    ATTRIBUTES L_ACCOLADE
        { A::OpenAttributeTable(false); }
      attribute_list R_ACCOLADE
        { A::CloseAttributeTable(); }
  ;

global_attribute_list_with_brackets:
    GLOBALATTRIBUTES L_ACCOLADE
        { A::OpenAttributeTable(true); }
      attribute_list R_ACCOLADE
        { A::CloseAttributeTable(); }
  ;

attribute_list:
    attribute_list attribute_value
  | attribute_value
  ;

attribute_value:
    attribute_bool
  | attribute_uint
  | attribute_float
  | attribute_point2
  | attribute_point3
  | attribute_point4
  | attribute_matrix3
  | attribute_transform
  | attribute_color
  | attribute_texture
  ;

artist_conditional:
    ARTIST  { $$ = 0; }
  | HIDDEN  { $$ = 1; }
  ;

attribute_bool:
    ATTRIB_BOOL N_STRING artist_conditional N_BOOL
        { A::AddBoolAttribute($2, $3, $4); }
  ;

attribute_uint:
    ATTRIB_UINT
        { A::ClearValues(); }
      N_STRING artist_conditional N_INT range_float_optional
        { A::AddUnsignedIntAttribute($3, $4, $5); }
  ;

attribute_float:
    ATTRIB_FLOAT
        { A::ClearValues(); }
      N_STRING artist_conditional N_FLOAT range_float_optional
        { A::AddFloatAttribute($3, $4, $5); }
  ;

attribute_point2:
    ATTRIB_POINT2
        { A::ClearValues(); }
      N_STRING artist_conditional float_values_2 range_point2_optional
        { A::AddPointAttribute($3, $4, 2); }
  ;

attribute_point3:
    ATTRIB_POINT3
        { A::ClearValues(); }
      N_STRING artist_conditional float_values_3 range_point3_optional
        { A::AddPointAttribute($3, $4, 3); }
  ;

attribute_point4:
    ATTRIB_POINT4
        { A::ClearValues(); }
      N_STRING artist_conditional float_values_4 range_point4_optional
        { A::AddPointAttribute($3, $4, 4); }
  ;

attribute_matrix3:
    ATTRIB_MATRIX3
        { A::ClearValues(); }
      N_STRING artist_conditional float_values_9
        { A::AddMatrixAttribute($3, $4, 9); }
  ;

attribute_transform:
    ATTRIB_TRANSFORM
        { A::ClearValues(); }
      N_STRING artist_conditional float_values_16
        { A::AddMatrixAttribute($3, $4, 16); }
  ;

attribute_color:
    ATTRIB_COLOR
        { A::ClearValues(); }
      N_STRING artist_conditional float_values_color range_color_optional
        { A::AddColorAttribute($3, $4, $5); }
  ;

attribute_texture:
    ATTRIB_TEXTURE N_STRING artist_conditional N_INT optional_filename
        { A::AddTextureAttribute($2, $3, $4, $5); }
  ;

range_float_optional:
    %empty
        { A::SetRangePresent(false); }
  | L_BRACKET N_FLOAT N_FLOAT R_BRACKET
        { const float afMin[] = {$2}; const float afMax[] = {$3}; A::AppendRange(afMin, afMax, 1); }
  ;

range_point2_optional:
    %empty
        { A::SetRangePresent(false); }
  | L_BRACKET L_PARENTHESE N_FLOAT COMMA N_FLOAT R_PARENTHESE
      L_PARENTHESE N_FLOAT COMMA N_FLOAT R_PARENTHESE R_BRACKET
        { const float afMin[] = {$3, $5}; const float afMax[] = {$8, $10}; A::AppendRange(afMin, afMax, 2); }
  ;

range_point3_optional:
    %empty
        { A::SetRangePresent(false); }
  | L_BRACKET L_PARENTHESE N_FLOAT COMMA N_FLOAT COMMA N_FLOAT R_PARENTHESE
      L_PARENTHESE N_FLOAT COMMA N_FLOAT COMMA N_FLOAT R_PARENTHESE R_BRACKET
        {
            const float afMin[] = {$3, $5, $7};
            const float afMax[] = {$10, $12, $14};
            A::AppendRange(afMin, afMax, 3);
        }
  ;

range_point4_optional:
    %empty
        { A::SetRangePresent(false); }
  | L_BRACKET L_PARENTHESE N_FLOAT COMMA N_FLOAT COMMA N_FLOAT COMMA N_FLOAT R_PARENTHESE
      L_PARENTHESE N_FLOAT COMMA N_FLOAT COMMA N_FLOAT COMMA N_FLOAT R_PARENTHESE R_BRACKET
        {
            const float afMin[] = {$3, $5, $7, $9};
            const float afMax[] = {$12, $14, $16, $18};
            A::AppendRange(afMin, afMax, 4);
        }
  ;

range_color_optional:
    %empty
        { A::SetRangePresent(false); }
  | L_BRACKET L_PARENTHESE N_FLOAT COMMA N_FLOAT COMMA N_FLOAT COMMA N_FLOAT R_PARENTHESE
      L_PARENTHESE N_FLOAT COMMA N_FLOAT COMMA N_FLOAT COMMA N_FLOAT R_PARENTHESE R_BRACKET
        {
            const float afMin[] = {$3, $5, $7, $9};
            const float afMax[] = {$12, $14, $16, $18};
            A::AppendRange(afMin, afMax, 4);
        }
  | L_BRACKET L_PARENTHESE N_FLOAT COMMA N_FLOAT COMMA N_FLOAT R_PARENTHESE
      L_PARENTHESE N_FLOAT COMMA N_FLOAT COMMA N_FLOAT R_PARENTHESE R_BRACKET
        {
            const float afMin[] = {$3, $5, $7};
            const float afMax[] = {$10, $12, $14};
            A::AppendRange(afMin, afMax, 3);
        }
  ;

float_values_list:
    float_values_16 { $$ = $1; }
  | float_values_12 { $$ = $1; }
  | float_values_9  { $$ = $1; }
  | float_values_8  { $$ = $1; }
  | float_values_4  { $$ = $1; }
  | float_values_3  { $$ = $1; }
  | float_values_2  { $$ = $1; }
  | float_values_1  { $$ = $1; }
  ;

float_values_16:
    N_FLOAT COMMA N_FLOAT COMMA N_FLOAT COMMA N_FLOAT COMMA N_FLOAT COMMA N_FLOAT COMMA
      N_FLOAT COMMA N_FLOAT COMMA N_FLOAT COMMA N_FLOAT COMMA N_FLOAT COMMA N_FLOAT COMMA
      N_FLOAT COMMA N_FLOAT COMMA N_FLOAT COMMA N_FLOAT
        { const float af[] = {$1, $3, $5, $7, $9, $11, $13, $15, $17, $19, $21, $23, $25, $27, $29, $31}; $$ = A::AppendValues(af, 16); }
    ;

float_values_12:
    N_FLOAT COMMA N_FLOAT COMMA N_FLOAT COMMA N_FLOAT COMMA N_FLOAT COMMA N_FLOAT COMMA
      N_FLOAT COMMA N_FLOAT COMMA N_FLOAT COMMA N_FLOAT COMMA N_FLOAT COMMA N_FLOAT
        { const float af[] = {$1, $3, $5, $7, $9, $11, $13, $15, $17, $19, $21, $23}; $$ = A::AppendValues(af, 12); }
    ;

float_values_9:
    N_FLOAT COMMA N_FLOAT COMMA N_FLOAT COMMA N_FLOAT COMMA N_FLOAT COMMA N_FLOAT COMMA
      N_FLOAT COMMA N_FLOAT COMMA N_FLOAT
        { const float af[] = {$1, $3, $5, $7, $9, $11, $13, $15, $17}; $$ = A::AppendValues(af, 9); }
    ;

float_values_8:
    N_FLOAT COMMA N_FLOAT COMMA N_FLOAT COMMA N_FLOAT COMMA N_FLOAT COMMA N_FLOAT COMMA
      N_FLOAT COMMA N_FLOAT
        { const float af[] = {$1, $3, $5, $7, $9, $11, $13, $15}; $$ = A::AppendValues(af, 8); }
    ;

float_values_4:
    N_FLOAT COMMA N_FLOAT COMMA N_FLOAT COMMA N_FLOAT
        { const float af[] = {$1, $3, $5, $7}; $$ = A::AppendValues(af, 4); }
    ;

float_values_3:
    N_FLOAT COMMA N_FLOAT COMMA N_FLOAT
        { const float af[] = {$1, $3, $5}; $$ = A::AppendValues(af, 3); }
    ;

float_values_2:
    N_FLOAT COMMA N_FLOAT
        { const float af[] = {$1, $3}; $$ = A::AppendValues(af, 2); }
    ;

float_values_1:
    N_FLOAT
        { const float af[] = {$1}; $$ = A::AppendValues(af, 1); }
    ;

float_values_color:
    N_FLOAT COMMA N_FLOAT COMMA N_FLOAT COMMA N_FLOAT
        { const float af[] = {$1, $3, $5, $7}; $$ = A::AppendValues(af, 4); }
  | N_FLOAT COMMA N_FLOAT COMMA N_FLOAT
        { const float af[] = {$1, $3, $5}; $$ = A::AppendValues(af, 3); }
  ;

userdefineddata_block:
    USERDEFINEDDATA N_STRING L_ACCOLADE
        { A::OpenUserDataBlock($2); $2 = nullptr; }
      userdefineddata_list R_ACCOLADE
        { A::CloseUserDataBlock(); }
  ;

userdefineddata_list:
    userdefineddata
  | userdefineddata userdefineddata_list
  ;

userdefineddata:
    string_or_quote ASSIGN N_INT            { A::AddUserDataInt($1, $3); }
  | string_or_quote ASSIGN N_BOOL           { A::AddUserDataBool($1, $3); }
  | string_or_quote ASSIGN float_values_list { A::AddUserDataFloats($1, $3); }
  | string_or_quote ASSIGN string_or_quote  { A::AddUserDataString($1, $3); }
  ;

/* ---- packing definitions ---- */

packing_definition_definition:
    PACKINGDEF N_STRING L_ACCOLADE
        { A::OpenPackingDef($2); $2 = nullptr; }
      packing_definition_entries R_ACCOLADE
        { A::ClosePackingDef(); }
  ;

packing_definition_declaration:
    PACKINGDEF N_STRING
        { A::ReferencePackingDef($2); }
  ;

packing_definition_entries:
    packing_definition_entries packing_definition_entry
  | packing_definition_entry
  | error '\n'
  ;

packing_definition_entry:
    PD_STREAM N_INT
        { A::SetStream($2); }
  | PD_FIXEDFUNCTION N_BOOL
        { A::SetFixedFunction($2); }
  | PDP_EXTRADATA N_INT N_INT packing_definition_type packing_definition_tesselator
      packing_definition_usage N_INT
        { A::AddPackingEntry(0x80000000u + static_cast<std::uint32_t>($2), $3, $4, $5, $6, $7); }
  | PDP_EXTRADATA N_INT N_INT packing_definition_type
        { A::AddPackingEntry(0x80000000u + static_cast<std::uint32_t>($2), $3, $4, 0, 14, 0); }
  | packing_definition_parameter N_INT packing_definition_type packing_definition_tesselator
      packing_definition_usage N_INT
        { A::AddPackingEntry($1, $2, $3, $4, $5, $6); }
  | packing_definition_parameter N_INT packing_definition_type
        { A::AddPackingEntry($1, $2, $3, 0, 14, 0); }
  ;

packing_definition_parameter:
    PDP_POSITION        { $$ = 0; }
  | PDP_BLENDWEIGHTS    { $$ = 1; }
  | PDP_BLENDINDICES    { $$ = 2; }
  | PDP_NORMAL          { $$ = 3; }
  | PDP_POINTSIZE       { $$ = 0; }
  | PDP_COLOR           { $$ = 4; }
  | PDP_COLOR2          { $$ = 0; }
  | PDP_TEXCOORD0       { $$ = 5; }
  | PDP_TEXCOORD1       { $$ = 6; }
  | PDP_TEXCOORD2       { $$ = 7; }
  | PDP_TEXCOORD3       { $$ = 8; }
  | PDP_TEXCOORD4       { $$ = 9; }
  | PDP_TEXCOORD5       { $$ = 10; }
  | PDP_TEXCOORD6       { $$ = 11; }
  | PDP_TEXCOORD7       { $$ = 12; }
  | PDP_POSITION2       { $$ = 0; }
  | PDP_NORMAL2         { $$ = 0; }
  | PDP_TANGENT         { $$ = 13; }
  | PDP_BINORMAL        { $$ = 14; }
  ;

packing_definition_type:
    %empty              { $$ = 0x7FFFFFFF; }
  | PDT_FLOAT1          { $$ = 0; }
  | PDT_FLOAT2          { $$ = 1; }
  | PDT_FLOAT3          { $$ = 2; }
  | PDT_FLOAT4          { $$ = 3; }
  | PDT_UBYTECOLOR      { $$ = 4; }
  | PDT_SHORT1          { $$ = 6; }
  | PDT_SHORT2          { $$ = 7; }
  | PDT_SHORT3          { $$ = 8; }
  | PDT_SHORT4          { $$ = 9; }
  | PDT_UBYTE4          { $$ = 5; }
  | PDT_NORMSHORT1      { $$ = 10; }
  | PDT_NORMSHORT2      { $$ = 11; }
  | PDT_NORMSHORT3      { $$ = 12; }
  | PDT_NORMSHORT4      { $$ = 13; }
  | PDT_NORMPACKED3     { $$ = 14; }
  | PDT_PBYTE1          { $$ = 15; }
  | PDT_PBYTE2          { $$ = 16; }
  | PDT_PBYTE3          { $$ = 17; }
  | PDT_PBYTE4          { $$ = 18; }
  | PDT_FLOAT2H         { $$ = 19; }
  | PDT_NORMUBYTE4      { $$ = 20; }
  | PDT_NORMUSHORT2     { $$ = 21; }
  | PDT_NORMUSHORT4     { $$ = 22; }
  | PDT_UDEC3           { $$ = 23; }
  | PDT_NORMDEC3        { $$ = 24; }
  | PDT_FLOAT16_2       { $$ = 25; }
  | PDT_FLOAT16_4       { $$ = 26; }
  | error '\n'          { $$ = 0x7FFFFFFF; }
  ;

packing_definition_tesselator:
    PDTESS_DEFAULT          { $$ = 0; }
  | PDTESS_PARTIALU         { $$ = 1; }
  | PDTESS_PARTIALV         { $$ = 2; }
  | PDTESS_CROSSUV          { $$ = 3; }
  | PDTESS_UV               { $$ = 4; }
  | PDTESS_LOOKUP           { $$ = 5; }
  | PDTESS_LOOKUPPRESAMPLED { $$ = 6; }
  ;

packing_definition_usage:
    PDU_POSITION        { $$ = 0; }
  | PDU_BLENDWEIGHT     { $$ = 1; }
  | PDU_BLENDINDICES    { $$ = 2; }
  | PDU_NORMAL          { $$ = 3; }
  | PDU_PSIZE           { $$ = 4; }
  | PDU_TEXCOORD        { $$ = 5; }
  | PDU_TANGENT         { $$ = 6; }
  | PDU_BINORMAL        { $$ = 7; }
  | PDU_TESSFACTOR      { $$ = 8; }
  | PDU_POSITIONT       { $$ = 9; }
  | PDU_COLOR           { $$ = 10; }
  | PDU_FOG             { $$ = 11; }
  | PDU_DEPTH           { $$ = 12; }
  | PDU_SAMPLE          { $$ = 13; }
  ;

/* ---- implementations, requirements, passes ---- */

implementation:
    IMPLEMENTATION N_STRING L_ACCOLADE
        { A::OpenImplementation($2); $2 = nullptr; }
      optional_description
        { A::SetImplementationDescription($5); $5 = nullptr; }
      implementation_component_list_optional R_ACCOLADE
        { A::CloseImplementation(); }
  ;

implementation_component_list_optional:
    %empty
  | implementation_component_list
  ;

implementation_component_list:
    implementation_component_list implementation_component
  | implementation_component
  ;

implementation_component:
    renderstate_list_with_brackets
  | packing_definition_declaration
  | pass
  | requirement_list_with_brackets
  | vs_constantmap_with_brackets
  | ps_constantmap_with_brackets
  | userdefined_classname
  | userdefineddata_block
  ;

userdefined_classname:
    CLASSNAME ASSIGN string_or_quote
        { A::SetClassName($3); }
  ;

requirement_list_with_brackets:
    REQUIREMENTS L_ACCOLADE
        { A::OpenRequirements(); }
      requirement_list R_ACCOLADE
        { A::CloseRequirements(); }
  ;

requirement_list:
    requirement_list requirement_entry
  | requirement_entry
  ;

requirement_entry:
    requirement_vsversion
  | requirement_psversion
  | requirement_userdefined
  | requirement_platform
  | requirement_bonesperpartition
  | requirement_usesbinormaltangent
  | requirement_remaining
  | error '\n'
  ;

requirement_vsversion:
    VSVERSION ASSIGN N_VERSION
        { A::SetVSVersion($3); }
  ;

requirement_psversion:
    PSVERSION ASSIGN N_VERSION
        { A::SetPSVersion($3); }
  ;

requirement_userdefined:
    USERVERSION ASSIGN N_VERSION
        { A::SetUserVersion($3); }
  ;

requirement_platform:
    PLATFORM ASSIGN requirement_platform_list
        { A::SetPlatforms($3); }
  ;

requirement_platform_list:
    N_STRING OR N_STRING OR N_STRING OR N_STRING
        { $$ = A::PlatformFlags($1) | A::PlatformFlags($3) | A::PlatformFlags($5) | A::PlatformFlags($7); }
  | N_STRING OR N_STRING OR N_STRING
        { $$ = A::PlatformFlags($1) | A::PlatformFlags($3) | A::PlatformFlags($5); }
  | N_STRING OR N_STRING
        { $$ = A::PlatformFlags($1) | A::PlatformFlags($3); }
  | N_STRING
        { $$ = A::PlatformFlags($1); }
  ;

requirement_remaining:
    N_STRING ASSIGN N_BOOL
        { A::SetRequirementFlag($1, $3); }
  ;

requirement_bonesperpartition:
    BONESPERPARTITION ASSIGN N_INT
        { A::SetBonesPerPartition($3); }
  ;

requirement_usesbinormaltangent:
    BINORMALTANGENTMETHOD ASSIGN binormaltanget_method
        { A::SetBinormalTangentMethod($3); }
  ;

binormaltanget_method:
    NBTMETHOD_NONE  { $$ = 0; }
  | NBTMETHOD_NI    { $$ = 0x1000; }
  | NBTMETHOD_MAX   { $$ = 0x2000; }
  | NBTMETHOD_ATI   { $$ = 0x3000; }
  | error '\n'      { $$ = 0; }
  ;

pass:
    PASS optional_string L_ACCOLADE
        { A::OpenPass($2); $2 = nullptr; }
      pass_component_list R_ACCOLADE
        { A::ClosePass(); }
  ;

pass_component_list:
    pass_component_list pass_component
  | pass_component
  ;

pass_component:
    renderstate_list_with_brackets
  | vertexshader_program_entry
  | vs_constantmap_with_brackets
  | pixelshader_program_entry
  | ps_constantmap_with_brackets
  | stage_or_sampler
  | userdefineddata_block
  ;

/* ---- render states ---- */

renderstate_list_with_brackets:
    RENDERSTATES L_ACCOLADE
        { A::OpenRenderStates(); }
      renderstate_list R_ACCOLADE
        { A::CloseRenderStates(); }
  ;

renderstate_list:
    renderstate_list renderstate_entry_save_optional
  | renderstate_entry_save_optional
  ;

renderstate_entry_save_optional:
    renderstate_entry_save
  | renderstate_entry       { A::RecordRenderState(false); }
  ;

renderstate_entry_save:
    renderstate_entry SAVE  { A::RecordRenderState(true); }
  ;

renderstate_entry:
    renderstate_bool
  | renderstate_hex
  | renderstate_float
  | renderstate_attribute
  | renderstate_string
  | error '\n'
  ;

renderstate_attribute:
    N_STRING ASSIGN attribute_name
        { A::RenderStateFromAttribute($1, $3); }
  ;

renderstate_string:
    N_STRING ASSIGN N_STRING
        { A::RenderStateFromWord($1, $3); }
  ;

renderstate_bool:
    N_STRING ASSIGN N_BOOL
        { A::RenderStateFromValue($1, $3 ? 1u : 0u); }
  ;

renderstate_float:
    N_STRING ASSIGN N_FLOAT
        { A::RenderStateFromValue($1, A::FloatBits($3)); }
  ;

renderstate_hex:
    N_STRING ASSIGN N_HEX
        { A::RenderStateFromValue($1, $3); }
  | N_STRING ASSIGN N_INT
        { A::RenderStateFromValue($1, static_cast<std::uint32_t>($3)); }
  ;

/* ---- programs ---- */

vertexshader_program_entry:
    vertexshader_program_bracket
  | vertexshader_program
  ;

vertexshader_program:
    vertexshader_program_name N_STRING N_STRING
        { A::SetProgramEntryPoint(false, $2); A::SetProgramShaderTarget(false, $3); }
  | vertexshader_program_name N_STRING
        { A::SetProgramEntryPoint(false, $2); }
  | vertexshader_program_name
  ;

vertexshader_program_name:
    VSPROGRAM PATH      { A::SetProgramFile(false, $2); }
  | VSPROGRAM N_STRING  { A::SetProgramFile(false, $2); }
  | VSPROGRAM N_QUOTE   { A::SetProgramFile(false, $2); }
  ;

vertexshader_program_bracket:
    VSPROGRAM L_ACCOLADE
        { A::OpenProgramBlock(); }
      PLATFORM ASSIGN requirement_platform_list
        { A::SetPlatformMask($6); }
      vertexshader_program_bracket_contents_list R_ACCOLADE
  ;

vertexshader_program_bracket_contents_list:
    vertexshader_program_bracket_content
  | vertexshader_program_bracket_content vertexshader_program_bracket_contents_list
  ;

vertexshader_program_bracket_content:
    vertexshader_program_name_only
  | ENTRYPOINT ASSIGN N_STRING      { A::SetProgramEntryPoint(false, $3); }
  | SHADERTARGET ASSIGN N_STRING    { A::SetProgramShaderTarget(false, $3); }
  | SOFTWAREVP ASSIGN N_BOOL        { A::SetSoftwareVP($3); }
  ;

vertexshader_program_name_only:
    PROGRAM ASSIGN PATH         { A::SetPlatformProgramFile(false, $3); }
  | PROGRAM ASSIGN N_STRING     { A::SetPlatformProgramFile(false, $3); }
  | PROGRAM ASSIGN N_QUOTE      { A::SetPlatformProgramFile(false, $3); }
  ;

pixelshader_program_entry:
    pixelshader_program_bracket
  | pixelshader_program
  ;

pixelshader_program:
    pixelshader_program_name N_STRING N_STRING
        { A::SetProgramEntryPoint(true, $2); A::SetProgramShaderTarget(true, $3); }
  | pixelshader_program_name N_STRING
        { A::SetProgramEntryPoint(true, $2); }
  | pixelshader_program_name
  ;

pixelshader_program_name:
    PSPROGRAM PATH      { A::SetProgramFile(true, $2); }
  | PSPROGRAM N_STRING  { A::SetProgramFile(true, $2); }
  | PSPROGRAM N_QUOTE   { A::SetProgramFile(true, $2); }
  ;

pixelshader_program_bracket:
    PSPROGRAM L_ACCOLADE
        { A::OpenProgramBlock(); }
      PLATFORM ASSIGN requirement_platform_list
        { A::SetPlatformMask($6); }
      pixelshader_program_bracket_contents_list R_ACCOLADE
  ;

pixelshader_program_bracket_contents_list:
    pixelshader_program_bracket_content
  | pixelshader_program_bracket_content pixelshader_program_bracket_contents_list
  ;

pixelshader_program_bracket_content:
    pixelshader_program_name_only
  | ENTRYPOINT ASSIGN N_STRING      { A::SetProgramEntryPoint(true, $3); }
  | SHADERTARGET ASSIGN N_STRING    { A::SetProgramShaderTarget(true, $3); }
  ;

pixelshader_program_name_only:
    PROGRAM ASSIGN PATH         { A::SetPlatformProgramFile(true, $3); }
  | PROGRAM ASSIGN N_STRING     { A::SetPlatformProgramFile(true, $3); }
  | PROGRAM ASSIGN N_QUOTE      { A::SetPlatformProgramFile(true, $3); }
  ;

/* ---- constant maps ---- */

vs_constantmap_with_brackets:
    VSCONSTANTMAP L_ACCOLADE
        { A::OpenConstantMap(0); }
      constantmap_list R_ACCOLADE
        { A::CloseConstantMap(); }
  ;

ps_constantmap_with_brackets:
    PSCONSTANTMAP L_ACCOLADE
        { A::OpenConstantMap(1); }
      constantmap_list R_ACCOLADE
        { A::CloseConstantMap(); }
  ;

constantmap_list:
    constantmap_list constantmap_entry
  | constantmap_entry
  ;

constantmap_entry:
    constantmap_entry_defined
  | constantmap_entry_attribute
  | constantmap_entry_constant
  | constantmap_entry_global
  | constantmap_entry_operator
  | constantmap_platform_block
  ;

constantmap_platform_block:
    L_ACCOLADE
        { A::OpenPlatformBlock(); }
      PLATFORM ASSIGN requirement_platform_list
        { A::SetPlatformMask($5); }
      constantmap_list R_ACCOLADE
        { A::ClosePlatformBlock(); }
  ;

constantmap_entry_defined:
    CMDEFINED BONEMATRIX3 N_INT N_INT N_INT
        { A::AddBoneMatrixEntry("BoneMatrix3", 3, 1, $3, nullptr, $4, $5); }
  | CMDEFINED BONEMATRIX3 string_or_quote N_INT N_INT
        { A::AddBoneMatrixEntry("BoneMatrix3", 3, 1, -1, $3, $4, $5); }
  | CMDEFINED BONEMATRIX4 N_INT N_INT N_INT
        { A::AddBoneMatrixEntry("BoneMatrix4", 4, 1, $3, nullptr, $4, $5); }
  | CMDEFINED BONEMATRIX4 string_or_quote N_INT N_INT
        { A::AddBoneMatrixEntry("BoneMatrix4", 4, 1, -1, $3, $4, $5); }
  | CMDEFINED SKINBONEMATRIX3 N_INT N_INT N_INT
        { A::AddBoneMatrixEntry("SkinBoneMatrix3", 3, 0, $3, nullptr, $4, $5); }
  | CMDEFINED SKINBONEMATRIX3 string_or_quote N_INT N_INT
        { A::AddBoneMatrixEntry("SkinBoneMatrix3", 3, 0, -1, $3, $4, $5); }
  | CMDEFINED SKINBONEMATRIX4 N_INT N_INT N_INT
        { A::AddBoneMatrixEntry("SkinBoneMatrix4", 4, 0, $3, nullptr, $4, $5); }
  | CMDEFINED SKINBONEMATRIX4 string_or_quote N_INT N_INT
        { A::AddBoneMatrixEntry("SkinBoneMatrix4", 4, 0, -1, $3, $4, $5); }
  | CMDEFINED string_or_quote N_INT N_INT
        { A::AddDefinedEntry($2, $3, nullptr, $4); }
  | CMDEFINED string_or_quote string_or_quote N_INT
        { A::AddDefinedEntry($2, -1, $3, $4); }
  ;

constantmap_entry_attribute:
    CMATTRIBUTE string_or_quote N_INT N_INT N_INT
        { A::AddAttributeEntry($2, $3, $4, $5); }
  ;

constantmap_entry_constant:
    CMCONSTANT
        { A::ClearValues(); }
      string_or_quote N_INT N_INT float_values_list
        { A::AddConstantEntry($3, $4, $5, $6); }
  ;

constantmap_entry_global:
    CMGLOBAL
        { A::ClearValues(); }
      string_or_quote N_INT N_INT
        { A::AddGlobalEntry($3, $4, $5); }
  ;

constantmap_entry_operator:
    CMOPERATOR N_STRING N_INT N_INT N_STRING operator_type N_STRING operator_optional_inverse
      operator_optional_transpose
        { A::AddOperatorEntry($2, $3, $4, $5, $6, $7, $8, $9); }
  ;

operator_type:
    ASTERIK         { $$ = 0x10000000; }
  | FORWARDSLASH    { $$ = 0x20000000; }
  | PLUS            { $$ = 0x30000000; }
  | MINUS           { $$ = 0x40000000; }
  | error '\n'      { $$ = 0; }
  ;

operator_optional_inverse:
    %empty      { $$ = 0; }
  | INVERSE     { $$ = 1; }
  ;

operator_optional_transpose:
    %empty      { $$ = 0; }
  | TRANSPOSE   { $$ = 1; }
  ;

/* ---- texture stages and samplers ---- */

stage_or_sampler:
    stage
  | sampler
  ;

stage:
    STAGE N_INT optional_string L_ACCOLADE
        { A::OpenStage($2, $3, true); $3 = nullptr; }
      stage_entry_list_optional R_ACCOLADE
        { A::CloseStage(); }
  ;

stage_entry_list_optional:
    %empty
  | stage_entry_list
  ;

stage_entry_list:
    stage_entry_list stage_entry_or_texture
  | stage_entry_or_texture
  ;

stage_entry_or_texture:
    stage_texture
  | stage_textransmatrix
  | stage_entry_save_optional
  ;

stage_entry_save_optional:
    stage_entry_save
  | stage_entry         { A::RecordStageState(false); }
  ;

stage_entry_save:
    stage_entry SAVE    { A::RecordStageState(true); }
  ;

stage_entry:
    stage_color_op
  | stage_color_arg0
  | stage_color_arg1
  | stage_color_arg2
  | stage_alpha_op
  | stage_alpha_arg0
  | stage_alpha_arg1
  | stage_alpha_arg2
  | stage_result_arg
  | stage_constant
  | stage_bumpenvmat00
  | stage_bumpenvmat01
  | stage_bumpenvmat10
  | stage_bumpenvmat11
  | stage_bumpenvlscale
  | stage_bumpenvloffset
  | stage_texcoordindex
  | stage_textransflags
  | error '\n'
  ;

stage_texture:
    TSS_TEXTURE ASSIGN stage_texture_map_zrb        { A::SelectEngineMap($3); }
  | TSS_TEXTURE ASSIGN stage_texture_map_zrb_decal  { A::SelectDecalMap($3); }
  | TSS_TEXTURE ASSIGN attribute_name               { A::SelectAttributeMap($3); }
  ;

stage_texture_map_zrb:
    NTM_BASE    { $$ = 0x200000; }
  | NTM_DARK    { $$ = 0x300000; }
  | NTM_DETAIL  { $$ = 0x400000; }
  | NTM_GLOSS   { $$ = 0x500000; }
  | NTM_GLOW    { $$ = 0x600000; }
  | NTM_BUMP    { $$ = 0x700000; }
  ;

stage_texture_map_zrb_decal:
    NTM_DECAL N_INT     { $$ = 0x1000000u + static_cast<std::uint32_t>($2); }
  ;

stage_color_op:
    TSS_COLOROP ASSIGN stage_texture_operation      { A::SetPendingState(0, $3); }
  ;

stage_color_arg0:
    TSS_COLORARG0 ASSIGN stage_texture_argument     { A::SetPendingState(1, $3); }
  ;

stage_color_arg1:
    TSS_COLORARG1 ASSIGN stage_texture_argument     { A::SetPendingState(2, $3); }
  ;

stage_color_arg2:
    TSS_COLORARG2 ASSIGN stage_texture_argument     { A::SetPendingState(3, $3); }
  ;

stage_alpha_op:
    TSS_ALPHAOP ASSIGN stage_texture_operation      { A::SetPendingState(4, $3); }
  ;

stage_alpha_arg0:
    TSS_ALPHAARG0 ASSIGN stage_texture_argument     { A::SetPendingState(5, $3); }
  ;

stage_alpha_arg1:
    TSS_ALPHAARG1 ASSIGN stage_texture_argument     { A::SetPendingState(6, $3); }
  ;

stage_alpha_arg2:
    TSS_ALPHAARG2 ASSIGN stage_texture_argument     { A::SetPendingState(7, $3); }
  ;

stage_result_arg:
    TSS_RESULTARG ASSIGN stage_texture_argument     { A::SetPendingState(8, $3); }
  ;

stage_constant:
    TSS_CONSTANT ASSIGN N_HEX                       { A::SetPendingState(9, $3); }
  ;

stage_bumpenvmat00:
    TSS_BUMPENVMAT00 ASSIGN N_FLOAT         { A::SetPendingState(10, A::FloatBits($3)); }
  | TSS_BUMPENVMAT00 ASSIGN attribute_name  { A::SkipAttributeState($3); }
  ;

stage_bumpenvmat01:
    TSS_BUMPENVMAT01 ASSIGN N_FLOAT         { A::SetPendingState(11, A::FloatBits($3)); }
  | TSS_BUMPENVMAT01 ASSIGN attribute_name  { A::SkipAttributeState($3); }
  ;

stage_bumpenvmat10:
    TSS_BUMPENVMAT10 ASSIGN N_FLOAT         { A::SetPendingState(12, A::FloatBits($3)); }
  | TSS_BUMPENVMAT10 ASSIGN attribute_name  { A::SkipAttributeState($3); }
  ;

stage_bumpenvmat11:
    TSS_BUMPENVMAT11 ASSIGN N_FLOAT         { A::SetPendingState(13, A::FloatBits($3)); }
  | TSS_BUMPENVMAT11 ASSIGN attribute_name  { A::SkipAttributeState($3); }
  ;

stage_bumpenvlscale:
    TSS_BUMPENVLSCALE ASSIGN N_FLOAT        { A::SetPendingState(14, A::FloatBits($3)); }
  | TSS_BUMPENVLSCALE ASSIGN attribute_name { A::SkipAttributeState($3); }
  ;

stage_bumpenvloffset:
    TSS_BUMPENVLOFFSET ASSIGN N_FLOAT           { A::SetPendingState(15, A::FloatBits($3)); }
  | TSS_BUMPENVLOFFSET ASSIGN attribute_name    { A::SkipAttributeState($3); }
  ;

stage_texcoordindex:
    TSS_TEXCOORDINDEX ASSIGN stage_texcoordindex_flags N_INT
        { A::SetPendingState(16, $3 + static_cast<std::uint32_t>($4)); }
  | TSS_TEXCOORDINDEX ASSIGN stage_texcoordindex_flags USEMAPINDEX
        { A::SetPendingState(16, $3); A::UseMapIndex(); }
  ;

stage_textransflags:
    TSS_TEXTURETRANSFORMFLAGS ASSIGN stage_texturetransformflags_count
      stage_texturetransformflags_optional_projection
        { A::SetPendingState(17, $3 + $4); A::UseTextureTransform(); }
  | TSS_TEXTURETRANSFORMFLAGS ASSIGN TTFF_PROJECTED
        { A::SetPendingState(17, 0x100); A::UseTextureTransform(); }
  | TSS_TEXTURETRANSFORMFLAGS ASSIGN TTFF_DISABLE
        { A::SetPendingState(17, 0); A::UseTextureTransform(); }
  ;

stage_texturetransformflags_count:
    TTFF_COUNT1 { $$ = 1; }
  | TTFF_COUNT2 { $$ = 2; }
  | TTFF_COUNT3 { $$ = 3; }
  | TTFF_COUNT4 { $$ = 4; }
  ;

stage_texturetransformflags_optional_projection:
    %empty          { $$ = 0; }
  | TTFF_PROJECTED  { $$ = 0x100; }
  ;

stage_texture_operation:
    TOP_DISABLE                     { $$ = 0; }
  | TOP_SELECTARG1                  { $$ = 1; }
  | TOP_SELECTARG2                  { $$ = 2; }
  | TOP_MODULATE                    { $$ = 3; }
  | TOP_MODULATE2X                  { $$ = 4; }
  | TOP_MODULATE4X                  { $$ = 5; }
  | TOP_ADD                         { $$ = 6; }
  | TOP_ADDSIGNED                   { $$ = 7; }
  | TOP_ADDSIGNED2X                 { $$ = 8; }
  | TOP_SUBTRACT                    { $$ = 9; }
  | TOP_ADDSMOOTH                   { $$ = 10; }
  | TOP_BLENDDIFFUSEALPHA           { $$ = 11; }
  | TOP_BLENDTEXTUREALPHA           { $$ = 12; }
  | TOP_BLENDFACTORALPHA            { $$ = 13; }
  | TOP_BLENDTEXTUREALPHAPM         { $$ = 14; }
  | TOP_BLENDCURRENTALPHA           { $$ = 15; }
  | TOP_PREMODULATE                 { $$ = 16; }
  | TOP_MODULATEALPHA_ADDCOLOR      { $$ = 17; }
  | TOP_MODULATECOLOR_ADDALPHA      { $$ = 18; }
  | TOP_MODULATEINVALPHA_ADDCOLOR   { $$ = 19; }
  | TOP_MODULATEINVCOLOR_ADDALPHA   { $$ = 20; }
  | TOP_BUMPENVMAP                  { $$ = 21; }
  | TOP_BUMPENVMAPLUMINANCE         { $$ = 22; }
  | TOP_DOTPRODUCT3                 { $$ = 23; }
  | TOP_MULTIPLYADD                 { $$ = 24; }
  | TOP_LERP                        { $$ = 25; }
  | error '\n'                      { $$ = 0; }
  ;

stage_texture_argument:
    TA_CURRENT stage_texture_argument_modifiers_optional    { $$ = 0 | $2; }
  | TA_DIFFUSE stage_texture_argument_modifiers_optional    { $$ = 1 | $2; }
  | TA_SELECTMASK stage_texture_argument_modifiers_optional { $$ = 2 | $2; }
  | TA_SPECULAR stage_texture_argument_modifiers_optional   { $$ = 3 | $2; }
  | TA_TEMP stage_texture_argument_modifiers_optional       { $$ = 4 | $2; }
  | TA_TEXTURE stage_texture_argument_modifiers_optional    { $$ = 5 | $2; }
  | TA_TFACTOR stage_texture_argument_modifiers_optional    { $$ = 6 | $2; }
  ;

stage_texture_argument_modifiers_optional:
    %empty                              { $$ = 0; }
  | stage_texture_argument_modifier     { $$ = $1; }
  ;

stage_texture_argument_modifier:
    TA_ALPHAREPLICATE TA_COMPLEMENT     { $$ = 0xC0000000; }
  | TA_COMPLEMENT TA_ALPHAREPLICATE     { $$ = 0xC0000000; }
  | TA_ALPHAREPLICATE                   { $$ = 0x40000000; }
  | TA_COMPLEMENT                       { $$ = 0x80000000; }
  ;

stage_texcoordindex_flags:
    %empty                      { $$ = 0; }
  | TCI_PASSTHRU                { $$ = 0; }
  | TCI_CAMERASPACENORMAL       { $$ = 0x10000000; }
  | TCI_CAMERASPACEPOSITION     { $$ = 0x20000000; }
  | TCI_CAMERASPACEREFLECT      { $$ = 0x30000000; }
  | TCI_SPHEREMAP               { $$ = 0x40000000; }
  | error '\n'                  { $$ = 0; }
  ;

stage_textransmatrix:
    TSS_TEXTRANSMATRIX ASSIGN stage_textransmatrix_assignment
  ;

stage_textransmatrix_assignment:
    TTSRC_GLOBAL stage_textransmatrix_option N_STRING
        { A::SetGlobalTransform($2, $3); }
  | TTSRC_CONSTANT
        { A::ClearValues(); }
      stage_textransmatrix_option float_values_16
        { A::SetConstantTransform($3); }
  ;

stage_textransmatrix_option:
    %empty                  { $$ = 0; }
  | TT_WORLD_PARALLEL       { $$ = 1; }
  | TT_WORLD_PERSPECTIVE    { $$ = 2; }
  | TT_WORLD_SPHERE_MAP     { $$ = 3; }
  | TT_CAMERA_SPHERE_MAP    { $$ = 4; }
  | TT_SPECULAR_CUBE_MAP    { $$ = 5; }
  | TT_DIFFUSE_CUBE_MAP     { $$ = 6; }
  | error '\n'              { $$ = 0; }
  ;

sampler:
    SAMPLER N_INT optional_string L_ACCOLADE
        { A::OpenStage($2, $3, false); $3 = nullptr; }
      sampler_entry_list_optional R_ACCOLADE
        { A::CloseStage(); }
  ;

sampler_entry_list_optional:
    %empty
  | sampler_entry_list
  ;

sampler_entry_list:
    sampler_entry_list sampler_entry_save_optional
  | sampler_entry_save_optional
  ;

sampler_entry_save_optional:
    sampler_entry_save
  | sampler_entry       { A::RecordSamplerState(false); }
  | stage_texture
  ;

sampler_entry_save:
    sampler_entry SAVE  { A::RecordSamplerState(true); }
  ;

sampler_entry:
    sampler_addressu
  | sampler_addressv
  | sampler_addressw
  | sampler_bordercolor
  | sampler_magfilter
  | sampler_minfilter
  | sampler_mipfilter
  | sampler_mipmaplodbias
  | sampler_maxmiplevel
  | sampler_maxanisotropy
  | sampler_srgbtexture
  | sampler_elementindex
  | sampler_dmapoffset
  | sampler_alphakill
  | sampler_colorkeyop
  | sampler_colorsign
  | sampler_colorkeycolor
  | error '\n'
  ;

sampler_addressu:
    TSAMP_ADDRESSU ASSIGN sampler_texture_address   { A::SetPendingState(0, $3); }
  ;

sampler_addressv:
    TSAMP_ADDRESSV ASSIGN sampler_texture_address   { A::SetPendingState(1, $3); }
  ;

sampler_addressw:
    TSAMP_ADDRESSW ASSIGN sampler_texture_address   { A::SetPendingState(2, $3); }
  ;

sampler_bordercolor:
    TSAMP_BORDERCOLOR ASSIGN N_HEX              { A::SetPendingState(3, $3); }
  | TSAMP_BORDERCOLOR ASSIGN attribute_name     { A::SkipAttributeState($3); }
  ;

sampler_magfilter:
    TSAMP_MAGFILTER ASSIGN sampler_texture_filter   { A::SetPendingState(4, $3); }
  ;

sampler_minfilter:
    TSAMP_MINFILTER ASSIGN sampler_texture_filter   { A::SetPendingState(5, $3); }
  ;

sampler_mipfilter:
    TSAMP_MIPFILTER ASSIGN sampler_texture_filter   { A::SetPendingState(6, $3); }
  ;

sampler_mipmaplodbias:
    TSAMP_MIPMAPLODBIAS ASSIGN N_INT            { A::SetPendingState(7, static_cast<std::uint32_t>($3)); }
  | TSAMP_MIPMAPLODBIAS ASSIGN attribute_name   { A::SkipAttributeState($3); }
  ;

sampler_maxmiplevel:
    TSAMP_MAXMIPLEVEL ASSIGN N_INT              { A::SetPendingState(8, static_cast<std::uint32_t>($3)); }
  | TSAMP_MAXMIPLEVEL ASSIGN attribute_name     { A::SkipAttributeState($3); }
  ;

sampler_maxanisotropy:
    TSAMP_MAXANISOTROPY ASSIGN N_INT            { A::SetPendingState(9, static_cast<std::uint32_t>($3)); }
  | TSAMP_MAXANISOTROPY ASSIGN attribute_name   { A::SkipAttributeState($3); }
  ;

sampler_srgbtexture:
    TSAMP_SRGBTEXTURE ASSIGN N_INT              { A::SetPendingState(10, static_cast<std::uint32_t>($3)); }
  | TSAMP_SRGBTEXTURE ASSIGN attribute_name     { A::SkipAttributeState($3); }
  ;

sampler_elementindex:
    TSAMP_ELEMENTINDEX ASSIGN N_INT             { A::SetPendingState(11, static_cast<std::uint32_t>($3)); }
  | TSAMP_ELEMENTINDEX ASSIGN attribute_name    { A::SkipAttributeState($3); }
  ;

sampler_dmapoffset:
    TSAMP_DMAPOFFSET ASSIGN N_INT               { A::SetPendingState(12, static_cast<std::uint32_t>($3)); }
  | TSAMP_DMAPOFFSET ASSIGN attribute_name      { A::SkipAttributeState($3); }
  ;

sampler_alphakill:
    TSAMP_ALPHAKILL ASSIGN sampler_texture_alphakill    { A::SetPendingState(13, $3); }
  | TSAMP_ALPHAKILL ASSIGN attribute_name               { A::SkipAttributeState($3); }
  ;

sampler_colorkeyop:
    TSAMP_COLORKEYOP ASSIGN sampler_texture_colorkeyop  { A::SetPendingState(14, $3); }
  ;

sampler_colorsign:
    TSAMP_COLORSIGN ASSIGN N_STRING     { A::SetPendingState(15, A::ColorSignBits($3)); }
  | TSAMP_COLORSIGN ASSIGN '0'          { A::SetPendingState(15, 0); }
  ;

sampler_colorkeycolor:
    TSAMP_COLORKEYCOLOR ASSIGN N_HEX            { A::SetPendingState(16, $3); }
  | TSAMP_COLORKEYCOLOR ASSIGN attribute_name   { A::SkipAttributeState($3); }
  ;

sampler_texture_address:
    TADDR_WRAP          { $$ = 0; }
  | TADDR_MIRROR        { $$ = 1; }
  | TADDR_CLAMP         { $$ = 2; }
  | TADDR_BORDER        { $$ = 3; }
  | TADDR_MIRRORONCE    { $$ = 4; }
  | TADDR_CLAMPTOEDGE   { $$ = 5; }
  | error '\n'          { $$ = 0; }
  ;

sampler_texture_filter:
    TEXF_NONE           { $$ = 0; }
  | TEXF_POINT          { $$ = 1; }
  | TEXF_LINEAR         { $$ = 2; }
  | TEXF_ANISOTROPIC    { $$ = 3; }
  | TEXF_PYRAMIDALQUAD  { $$ = 4; }
  | TEXF_GAUSSIANQUAD   { $$ = 5; }
  | TEXF_QUINCUNX       { $$ = 6; }
  | TEXF_FLATCUBIC      { $$ = 7; }
  | TEXF_GAUSSIANCUBIC  { $$ = 8; }
  | DTEXF_MAX           { $$ = 9; }
  | error '\n'          { $$ = 0; }
  ;

sampler_texture_alphakill:
    TAK_DISABLE     { $$ = 0; }
  | TAK_ENABLE      { $$ = 1; }
  | error '\n'      { $$ = 0; }
  ;

sampler_texture_colorkeyop:
    TCKOP_DISABLE   { $$ = 0; }
  | TCKOP_ALPHA     { $$ = 1; }
  | TCKOP_RGBA      { $$ = 2; }
  | TCKOP_KILL      { $$ = 3; }
  | error '\n'      { $$ = 0; }
  ;

%%

// Bison's own texts name the end and unknown tokens differently from the
// messages this language has always printed.
static const char* SymbolName(yysymbol_kind_t eSymbol)
{
    if (eSymbol == YYSYMBOL_YYEOF)
        return "$end";
    if (eSymbol == YYSYMBOL_YYUNDEF)
        return "$undefined";
    return yysymbol_name(eSymbol);
}

static int yyreport_syntax_error(const yypcontext_t* pkContext)
{
    // After a scanner failure the file is already counted as failed.
    if (NSFScannerState::Failed())
        return 0;
    const yysymbol_kind_t eToken = yypcontext_token(pkContext);
    if (eToken == YYSYMBOL_YYEMPTY || yypact_value_is_default(yypact[+*pkContext->yyssp]))
    {
        ReportParseError("syntax error");
        return 0;
    }
    // At most four acceptable tokens are listed; five or more give none.
    yysymbol_kind_t aeExpected[4];
    int iExpected = yypcontext_expected_tokens(pkContext, aeExpected, 4);
    if (iExpected < 0)
        iExpected = 0;
    std::size_t uiLength = std::strlen("syntax error, unexpected ") + std::strlen(SymbolName(eToken)) + 1;
    for (int i = 0; i < iExpected; ++i)
        uiLength += std::strlen(", expecting ") + std::strlen(SymbolName(aeExpected[i]));
    char* pcMessage = static_cast<char*>(std::malloc(uiLength));
    if (pcMessage == nullptr)
    {
        ReportParseError("syntax error; also virtual memory exhausted");
        return 0;
    }
    std::strcpy(pcMessage, "syntax error, unexpected ");
    std::strcat(pcMessage, SymbolName(eToken));
    for (int i = 0; i < iExpected; ++i)
    {
        std::strcat(pcMessage, i == 0 ? ", expecting " : " or ");
        std::strcat(pcMessage, SymbolName(aeExpected[i]));
    }
    ReportParseError(pcMessage);
    std::free(pcMessage);
    return 0;
}

static void nsferror(const char* pcMessage)
{
    // The parser's only own message: its stacks could not grow.
    if (std::strcmp(pcMessage, "memory exhausted") == 0)
        ReportParseError("parser stack overflow");
    else
        ReportParseError(pcMessage);
}

int NSFGrammarActions::RunParser()
{
    return nsfparse();
}

void NSFGrammarActions::SetParserTrace(bool bOn)
{
    nsfdebug = bOn ? 1 : 0;
}
