// Drizzle's nine shaders and the six programs made from them.
//
// The sources use the fixed-function-compatible dialect (no version line,
// gl_Vertex, gl_MultiTexCoord0, gl_TexCoord[], gl_FragColor, texture2D).
// Each is one line, so comments inside are block comments. Literals are
// all floats: that dialect has no implicit int-to-float conversion, and
// strict drivers reject "x * 2".
#include "drizzle.h"

#include <cstdio>

extern "C" {

// Copies the vertex (already in clip space); passes the first texture
// coordinate, the vertex position mapped to 0..1, and the coordinate's
// third and fourth components (a droplet's age travels in the fourth).
const char *g_pStrPassThroughVS =
    "void main() {"
    " gl_Position = gl_Vertex;"
    " gl_TexCoord[0].xy = gl_MultiTexCoord0.xy;"
    " gl_TexCoord[0].zw = gl_Vertex.xy * 0.5 + 0.5;"
    " gl_TexCoord[1].xy = gl_MultiTexCoord0.zw;"
    "}";

const char *g_pStrPassThroughFS =
    "uniform sampler2D g_sSampler;"
    "void main() {"
    " gl_FragColor = texture2D(g_sSampler, gl_TexCoord[0].xy);"
    "}";

const char *g_pStrTwoColorGradientFS =
    "uniform vec4 g_vColor0;" /* bottom */
    "uniform vec4 g_vColor1;" /* top */
    "void main() {"
    " float w = smoothstep(0.0, 1.0, gl_TexCoord[0].y);"
    " gl_FragColor = mix(g_vColor0, g_vColor1, w);"
    "}";

// The water plane: projected by g_mMVP; its clip-space position, before the
// perspective division, mapped to 0..1, is where the gradient is looked up.
const char *g_pStrWaterRippleVS =
    "uniform mat4 g_mMVP;"
    "void main() {"
    " vec4 p = g_mMVP * gl_Vertex;"
    " gl_Position = p;"
    " gl_TexCoord[0].xy = gl_MultiTexCoord0.xy;"
    " gl_TexCoord[0].zw = p.xy * 0.5 + 0.5;"
    "}";

// Refracts the gradient: only steep normals (n.z raised to a high power)
// move the look-up, and less so toward the top of the view.
const char *g_pStrWaterRippleFS =
    "uniform sampler2D g_sBackgroundSampler;"
    "uniform sampler2D g_sNormalSampler;"
    "void main() {"
    " vec3 n = normalize(texture2D(g_sNormalSampler, gl_TexCoord[0].xy).rgb * 2.0 - 1.0);"
    " float mask = 1.0 - smoothstep(0.65, 1.0, clamp(gl_TexCoord[0].w, 0.0, 1.0)) * 0.5;"
    " float inv = 1.0 - mask;"
    " float s = 30.0 * inv + 8.0;"
    /* pow() of a negative base is undefined; a stored normal can round to a
       hair below zero, which must give no offset rather than NaN. */
    " vec2 offset = clamp(n.xy * pow(max(n.z, 0.0), s), -mask, mask);"
    " vec2 st = clamp(gl_TexCoord[0].zw + offset, 0.0, 1.0);"
    " gl_FragColor = texture2D(g_sBackgroundSampler, st);"
    "}";

// Centre plus the four neighbours' coordinates, one texel apart.
const char *g_pStrWaterSimVS =
    "uniform vec2 g_vWaterSimSize;"
    "void main() {"
    " gl_Position = gl_Vertex;"
    " gl_TexCoord[0] = gl_MultiTexCoord0;"
    " vec2 uv = gl_MultiTexCoord0.xy;"
    " vec2 px = vec2(1.0, 1.0) / g_vWaterSimSize;"
    " gl_TexCoord[1].xy = uv + vec2(-px.x, 0.0);" /* left */
    " gl_TexCoord[1].zw = uv + vec2(px.x, 0.0);"  /* right */
    " gl_TexCoord[2].xy = uv + vec2(0.0, px.y);"  /* top */
    " gl_TexCoord[2].zw = uv + vec2(0.0, -px.y);" /* bottom */
    "}";

// One explicit step of a damped wave equation with a weak spring.
// Texels hold (height, velocity, acceleration) + 0.5.
const char *g_pStrWaterSimFS =
    "uniform sampler2D g_sWaterSimSampler;"
    "uniform float g_fTimeStep;"
    "void main() {"
    " vec3 e = texture2D(g_sWaterSimSampler, gl_TexCoord[0].xy).rgb;"
    " float l = texture2D(g_sWaterSimSampler, gl_TexCoord[1].xy).r;"
    " float r = texture2D(g_sWaterSimSampler, gl_TexCoord[1].zw).r;"
    " float t = texture2D(g_sWaterSimSampler, gl_TexCoord[2].xy).r;"
    " float b = texture2D(g_sWaterSimSampler, gl_TexCoord[2].zw).r;"
    " float a = 200.0 * (l + r + t + b - 4.0 * e.r) + 0.05 * (0.5 - e.r);"
    " float v = (e.g - 0.5) + g_fTimeStep * a;"
    " float x = (e.r - 0.5) + g_fTimeStep * v;"
    " v = v * 0.995;"
    " gl_FragColor = vec4(vec3(x, v, a) + 0.5, 1.0);"
    "}";

// A droplet's pulse over its 4 x 4-texel quad; alpha is the disc mask that
// the blending weights it by. The age (0..1) comes in gl_TexCoord[1].y.
const char *g_pStrRainDropFS =
    "void main() {"
    " float age = gl_TexCoord[1].y;"
    " float dist = clamp(length(gl_TexCoord[0].xy * 2.0 - 1.0), 0.0, 1.0);"
    " float mask = clamp(1.0 - dist * 1.1 - 0.1, 0.0, 1.0);"
    " float pulse = sin(age * (3.14159 * 3.0)) * mask * 2.0 + 0.5;"
    " float enc = 0.5 + 0.5 * clamp(pulse, -1.0, 1.0);"
    " gl_FragColor = vec4(enc, enc, enc, mask);"
    "}";

// Normals from the height differences to the left and top neighbours.
const char *g_pStrNormalGenFS =
    "uniform sampler2D g_sWaterSimSampler;"
    "uniform vec2 g_vRippleHeight;" /* (h, 1/h) */
    "void main() {"
    " float c = texture2D(g_sWaterSimSampler, gl_TexCoord[0].xy).r;"
    " float l = texture2D(g_sWaterSimSampler, gl_TexCoord[1].xy).r;"
    " float t = texture2D(g_sWaterSimSampler, gl_TexCoord[2].xy).r;"
    " vec3 n = vec3(-g_vRippleHeight.x * (c - l), -g_vRippleHeight.x * (c - t), g_vRippleHeight.y);"
    " gl_FragColor = vec4(normalize(n) * 0.5 + 0.5, 1.0);"
    "}";

// Prints a shader's or program's info log, when it has one, under its name.
void PrintShaderCompilationLog(const char *name, GLhandleARB handle) {
    char log[2048];
    GLsizei length = 0;
    log[0] = 0;
    glGetInfoLogARB(handle, sizeof log, &length, log);
    if (length > 0) fprintf(stderr, "%s :\n %s", name ? name : "Unknown", log);
}

}  // extern "C"

namespace {

void compileShader(GLhandleARB shader, const char *name) {
    glCompileShaderARB(shader);
    PrintShaderCompilationLog(name, shader);
}

void linkProgram(GLhandleARB program, const char *name) {
    glLinkProgramARB(program);
    PrintShaderCompilationLog(name, program);
}

}  // namespace

// Objects are created, loaded, compiled (each log printed right after) and
// linked in a fixed order, so that the logs always read the same way.
extern "C" void drizzle_build_programs(DrizzleState *s) {
    s->hPassThroughProgram = glCreateProgramObjectARB();
    s->hGradientProgram = glCreateProgramObjectARB();
    s->hWaterRippleProgram = glCreateProgramObjectARB();
    s->hSimulationProgram = glCreateProgramObjectARB();
    s->hRainDropProgram = glCreateProgramObjectARB();
    s->hNormalGenProgram = glCreateProgramObjectARB();

    s->hPassThroughVS = glCreateShaderObjectARB(GL_VERTEX_SHADER_ARB);
    s->hPassThroughFS = glCreateShaderObjectARB(GL_FRAGMENT_SHADER_ARB);
    s->hGradientFS = glCreateShaderObjectARB(GL_FRAGMENT_SHADER_ARB);
    s->hWaterRippleFS = glCreateShaderObjectARB(GL_FRAGMENT_SHADER_ARB);
    s->hWaterRippleVS = glCreateShaderObjectARB(GL_VERTEX_SHADER_ARB);
    s->hSimulationVS = glCreateShaderObjectARB(GL_VERTEX_SHADER_ARB);
    s->hSimulationFS = glCreateShaderObjectARB(GL_FRAGMENT_SHADER_ARB);
    s->hNormalGenFS = glCreateShaderObjectARB(GL_FRAGMENT_SHADER_ARB);
    s->hRainDropFS = glCreateShaderObjectARB(GL_FRAGMENT_SHADER_ARB);

    glShaderSourceARB(s->hPassThroughVS, 1, &g_pStrPassThroughVS, nullptr);
    glShaderSourceARB(s->hPassThroughFS, 1, &g_pStrPassThroughFS, nullptr);
    glShaderSourceARB(s->hGradientFS, 1, &g_pStrTwoColorGradientFS, nullptr);
    glShaderSourceARB(s->hWaterRippleFS, 1, &g_pStrWaterRippleFS, nullptr);
    glShaderSourceARB(s->hWaterRippleVS, 1, &g_pStrWaterRippleVS, nullptr);
    glShaderSourceARB(s->hSimulationVS, 1, &g_pStrWaterSimVS, nullptr);
    glShaderSourceARB(s->hSimulationFS, 1, &g_pStrWaterSimFS, nullptr);
    glShaderSourceARB(s->hRainDropFS, 1, &g_pStrRainDropFS, nullptr);
    glShaderSourceARB(s->hNormalGenFS, 1, &g_pStrNormalGenFS, nullptr);

    compileShader(s->hPassThroughVS, "PassThrough VS");
    compileShader(s->hPassThroughFS, "PassThrough FS");
    compileShader(s->hGradientFS, "Gradient FS");
    compileShader(s->hWaterRippleVS, "WaterRipple VS");
    compileShader(s->hWaterRippleFS, "WaterRipple FS");
    compileShader(s->hSimulationVS, "Simulation VS");
    compileShader(s->hSimulationFS, "Simulation FS");
    compileShader(s->hRainDropFS, "Rain Drop FS");
    compileShader(s->hNormalGenFS, "Normal Generation FS");

    glAttachObjectARB(s->hPassThroughProgram, s->hPassThroughVS);
    glAttachObjectARB(s->hPassThroughProgram, s->hPassThroughFS);
    glAttachObjectARB(s->hGradientProgram, s->hPassThroughVS);
    glAttachObjectARB(s->hGradientProgram, s->hGradientFS);
    glAttachObjectARB(s->hWaterRippleProgram, s->hWaterRippleVS);
    glAttachObjectARB(s->hWaterRippleProgram, s->hWaterRippleFS);
    glAttachObjectARB(s->hSimulationProgram, s->hSimulationVS);
    glAttachObjectARB(s->hSimulationProgram, s->hSimulationFS);
    glAttachObjectARB(s->hRainDropProgram, s->hPassThroughVS);
    glAttachObjectARB(s->hRainDropProgram, s->hRainDropFS);
    glAttachObjectARB(s->hNormalGenProgram, s->hSimulationVS);
    glAttachObjectARB(s->hNormalGenProgram, s->hNormalGenFS);

    linkProgram(s->hPassThroughProgram, "Pass Through Shader");
    linkProgram(s->hGradientProgram, "Gradient Shader");
    linkProgram(s->hWaterRippleProgram, "Water Ripple Shader");
    linkProgram(s->hSimulationProgram, "Simulation Shader");
    linkProgram(s->hRainDropProgram, "Rain Drop Shader");
    linkProgram(s->hNormalGenProgram, "Normal Generation Shader");

    s->nLocSampler = glGetUniformLocationARB(s->hPassThroughProgram, "g_sSampler");
    s->nLocColor0 = glGetUniformLocationARB(s->hGradientProgram, "g_vColor0");
    s->nLocColor1 = glGetUniformLocationARB(s->hGradientProgram, "g_vColor1");
    s->nLocBackgroundSampler = glGetUniformLocationARB(s->hWaterRippleProgram, "g_sBackgroundSampler");
    s->nLocWaterSimSize = glGetUniformLocationARB(s->hSimulationProgram, "g_vWaterSimSize");
    s->nLocTimeStep = glGetUniformLocationARB(s->hSimulationProgram, "g_fTimeStep");
    s->nLocMVP = glGetUniformLocationARB(s->hWaterRippleProgram, "g_mMVP");
    s->nLocSimSampler = glGetUniformLocationARB(s->hSimulationProgram, "g_sWaterSimSampler");
    s->nLocNormalSampler = glGetUniformLocationARB(s->hWaterRippleProgram, "g_sNormalSampler");
    s->nLocNormalGenSampler = glGetUniformLocationARB(s->hNormalGenProgram, "g_sWaterSimSampler");
    s->nLocRippleHeight = glGetUniformLocationARB(s->hNormalGenProgram, "g_vRippleHeight");
    s->nLocNormalGenSimSize = glGetUniformLocationARB(s->hNormalGenProgram, "g_vWaterSimSize");
}
