// Drizzle's GL objects and its frame: the gradient, the water simulation in
// two ping-pong float textures, the droplets, the normals and the composite
// of the refracted gradient over a perspective water plane.
#include "drizzle.h"

#include "somnel/hints.h"
#include "somnel/log.h"

#include <GL/glu.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" {

// The resolution code promises 0..3 (256 to 2048 texels); anything else is
// clamped into that range rather than shifting by a negative or huge count.
int drizzle_sim_size(void) {
    int code = g_nSimResolutionEnum;
    if (code < 0) code = 0;
    if (code > 3) code = 3;
    return 256 << code;
}

// The normals divide by the ripple height: zero would make them NaN, and a
// negative height would point them downward (and the composite's pow() of
// a negative base is undefined). Its magnitude is used, kept within
// [1e-4, 1e4]; a value that is not a number falls back to the default 2.
float drizzle_ripple_height(void) {
    float h = g_fRippleHeight;
    if (std::isnan(h)) return 2.0f;
    h = std::fabs(h);
    if (h < 1e-4f) return 1e-4f;
    if (h > 1e4f) return 1e4f;
    return h;
}

void drizzle_set_camera(DrizzleState *s, int width, int height) {
    s->nWidth = width;
    s->nHeight = height;
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // A zero height (a collapsed window) would give an infinite aspect and
    // a NaN camera; it is taken as one pixel.
    gluPerspective(45.0, double(width) / double(height > 0 ? height : 1), double(0.1f), 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(0, -1, 0.125, 0, 1, -1, 0, 1, 0);

    float mv[16], p[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, mv);
    glGetFloatv(GL_PROJECTION_MATRIX, p);
    for (int c = 0; c < 4; c++)
        for (int r = 0; r < 4; r++)
            s->mMVP[c * 4 + r] = p[0 * 4 + r] * mv[c * 4 + 0] + p[1 * 4 + r] * mv[c * 4 + 1] +
                                 p[2 * 4 + r] * mv[c * 4 + 2] + p[3 * 4 + r] * mv[c * 4 + 3];
}

void (*drizzle_pass_hook)(const char *pass) = nullptr;

int drizzle_is_software_renderer(const char *renderer) {
    if (!renderer) return 0;
    std::string r(renderer);
    for (char &c : r) c = char(std::tolower(static_cast<unsigned char>(c)));
    for (const char *name : {"llvmpipe", "softpipe", "swrast", "software rasterizer"})
        if (r.find(name) != std::string::npos) return 1;
    return 0;
}

// Asks the context for its extensions the way its version allows: the
// indexed query from 3.0 on, the one long string before.
int drizzle_has_gl_extension(const char *name) {
    const char *version = reinterpret_cast<const char *>(glGetString(GL_VERSION));
    if (version && atoi(version) >= 3) {
        GLint n = 0;
        glGetIntegerv(GL_NUM_EXTENSIONS, &n);
        for (GLint i = 0; i < n; i++) {
            const char *e = reinterpret_cast<const char *>(glGetStringi(GL_EXTENSIONS, GLuint(i)));
            if (e && strcmp(e, name) == 0) return 1;
        }
        return 0;
    }
    const char *all = reinterpret_cast<const char *>(glGetString(GL_EXTENSIONS));
    size_t len = strlen(name);
    for (const char *p = all; p && (p = strstr(p, name)); p += len)
        if ((p == all || p[-1] == ' ') && (p[len] == ' ' || p[len] == 0)) return 1;
    return 0;
}

}  // extern "C"

namespace {

// Decides, once per set-up, how the water textures are filtered and their
// mipmaps made. The driver's maximum anisotropy and glGenerateMipmap are
// what the picture is defined with. A software rasteriser sends every
// anisotropic lookup down a path several times slower (any setting above 1
// costs the same), so there the normal and background textures are
// filtered without it; and its first glGenerateMipmap generates code for a
// blit path that costs a good part of the start-up, so there the normal
// texture's levels are drawn from one another with the pass-through
// program instead (the same box filter, the same pixels). Unless the exact
// settings are asked for. A driver without the extension gets no
// anisotropy call at all: the enums would only leave GL_INVALID_ENUM
// behind.
void chooseAdaptations(DrizzleState *s) {
    const char *renderer = reinterpret_cast<const char *>(glGetString(GL_RENDERER));
    const bool adapt = drizzle_is_software_renderer(renderer) && !somnel_exact_filtering();
    s->bAdaptedFiltering = 0;
    s->bOwnMipmaps = adapt ? 1 : 0;
    s->fAnisotropy = 0.0f;
    if (drizzle_has_gl_extension("GL_EXT_texture_filter_anisotropic")) {
        GLfloat maxAniso = 1.0f;
        glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &maxAniso);
        s->fAnisotropy = maxAniso;
        if (adapt && maxAniso > 1.0f) {
            s->fAnisotropy = 1.0f;
            s->bAdaptedFiltering = 1;
        }
    }
    // One line per process, not one per screen or restart.
    static bool told = false;
    if (adapt && !told) {
        told = true;
        somnel_log_info("%s rasterises on the processor: water textures filtered without anisotropy, "
                        "mipmaps drawn by a shader pass (--exact-filtering keeps the exact settings)",
                        renderer);
    }
}

void setAnisotropy(const DrizzleState *s) {
    if (s->fAnisotropy > 0.0f) glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, s->fAnisotropy);
}

void makeTextures(DrizzleState *s) {
    int n = s->nSimSize;
    chooseAdaptations(s);
    glGenTextures(1, &s->uNormalTex);
    glGenTextures(2, s->uSimTex);
    glGenTextures(1, &s->uBackgroundTex);

    glBindTexture(GL_TEXTURE_2D, s->uNormalTex);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    setAnisotropy(s);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, n, n, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    if (s->bOwnMipmaps) {
        // The levels glGenerateMipmap would allocate; every frame fills them.
        for (int level = 1, size = n / 2; size >= 1; level++, size /= 2)
            glTexImage2D(GL_TEXTURE_2D, level, GL_RGBA8, size, size, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    } else {
        glGenerateMipmapEXT(GL_TEXTURE_2D);
    }
    glBindTexture(GL_TEXTURE_2D, 0);

    for (int i = 0; i < 2; i++) {
        glBindTexture(GL_TEXTURE_2D, s->uSimTex[i]);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_FALSE);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA16F_ARB, n, n, 0, GL_RGBA, GL_FLOAT, nullptr);
        glBindTexture(GL_TEXTURE_2D, 0);
    }

    glBindTexture(GL_TEXTURE_2D, s->uBackgroundTex);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    setAnisotropy(s);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, s->nBackgroundHeight, 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, nullptr);
    glBindTexture(GL_TEXTURE_2D, 0);
}

// Binds fbo, attaches texture as colour attachment 0; the status, when the
// framebuffer is incomplete, else 0.
GLenum attach(GLuint fbo, GLuint texture) {
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, fbo);
    glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, texture, 0);
    GLenum status = glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT);
    return status == GL_FRAMEBUFFER_COMPLETE_EXT ? 0 : status;
}

void makeFramebuffers(DrizzleState *s) {
    glGenFramebuffersEXT(1, &s->uNormalFBO);
    glGenFramebuffersEXT(2, s->uSimFBO);
    glGenFramebuffersEXT(1, &s->uBackgroundFBO);

    if (GLenum st = attach(s->uNormalFBO, s->uNormalTex))
        fprintf(stderr, "Failed to create FBO for water sim normal texture (return code = 0x%x)\n", st);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    for (int i = 0; i < 2; i++) {
        if (GLenum st = attach(s->uSimFBO[i], s->uSimTex[i]))
            fprintf(stderr, "Failed to create FBO for water sim texture (return code = 0x%x)\n", st);
        glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    }
    if (attach(s->uBackgroundFBO, s->uBackgroundTex))
        fprintf(stderr, "Failed to create FBO for background texture\n");
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    // Its attachment changes level by level as the mipmaps are drawn.
    if (s->bOwnMipmaps) glGenFramebuffersEXT(1, &s->uMipmapFBO);
}

// The normal texture's smaller levels, each drawn from the one above with
// the pass-through program: every texel of a level samples the centre of
// the 2 x 2 block above it, which bilinear filtering averages, as
// glGenerateMipmap does. While a level is drawn, the texture's base and
// maximum level both name the level read, so that the level written is
// never one the draw samples.
void drawNormalMipmaps(DrizzleState *s) {
    glUseProgramObjectARB(s->hPassThroughProgram);
    glActiveTextureARB(GL_TEXTURE0_ARB);
    glBindTexture(GL_TEXTURE_2D, s->uNormalTex);
    glUniform1iARB(s->nLocSampler, 0);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, s->uMipmapFBO);
    for (int level = 1, size = s->nSimSize / 2; size >= 1; level++, size /= 2) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, level - 1);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, level - 1);
        glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, s->uNormalTex,
                                  level);
        glViewport(0, 0, size, size);
        DrawScreenQuad();
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 1000);
    glBindTexture(GL_TEXTURE_2D, 0);
    glUseProgramObjectARB(0);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
}

void passDone(const char *pass) {
    if (drizzle_pass_hook) drizzle_pass_hook(pass);
}

// One quad per droplet, its age (doubled) in the fourth texture coordinate.
void drawDroplet(const Droplet &d, float h) {
    float q = 2.0f * d.fAge;
    glBegin(GL_QUADS);
    glTexCoord4f(0, 0, 0, q);
    glVertex4f(d.fX - h, d.fY - h, 0.5f, 1);
    glTexCoord4f(1, 0, 0, q);
    glVertex4f(d.fX + h, d.fY - h, 0.5f, 1);
    glTexCoord4f(1, 1, 0, q);
    glVertex4f(d.fX + h, d.fY + h, 0.5f, 1);
    glTexCoord4f(0, 1, 0, q);
    glVertex4f(d.fX - h, d.fY + h, 0.5f, 1);
    glEnd();
}

// How many droplets fall this frame: Poisson with mean dps x dt, drawn by
// multiplying uniforms until the product drops to exp(-mean) or below.
int poissonCount(float lambda) {
    // A negative rate means no rain, not a negative mean.
    if (!(lambda > 0.0f)) lambda = 0.0f;
    float limit = float(std::exp(-double(lambda)));
    float p = drizzle_frand();
    int n = 0;
    while (p > limit) {
        p *= drizzle_frand();
        n++;
    }
    return n;
}

void emitDroplets(DrizzleState *s) {
    int n = poissonCount(float(g_nNumDropletsPerSecond) * s->fTimeStep);
    for (int i = 0; i < DRIZZLE_MAX_DROPLETS && n > 0; i++) {
        Droplet &d = s->aDroplets[i];
        if (d.fAge < 0.5f) continue;
        d.fX = drizzle_frand() * 2.0f - 1.0f;
        d.fY = drizzle_frand() * 2.0f - 1.0f;
        d.fAge = drizzle_frand() * 0.25f;
        n--;
    }
}

void resetSimulation(DrizzleState *s) {
    int n = s->nSimSize;
    glClearColor(0.5f, 0.5f, 0.5f, 1.0f);
    for (int i = 0; i < 2; i++) {
        glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, s->uSimFBO[i]);
        glViewport(0, 0, n, n);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    glClearColor(0, 0, 0, 1);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    glViewport(0, 0, s->nWidth, s->nHeight);
    for (Droplet &d : s->aDroplets) d.fAge = 0.5f;
    s->bResetPending = 0;
}

void simulate(DrizzleState *s) {
    int n = s->nSimSize;
    for (int i = 0; i < 2; i++) {
        s->nCurrentSim = 1 - i;
        glUseProgramObjectARB(s->hSimulationProgram);
        glActiveTextureARB(GL_TEXTURE0_ARB);
        glBindTexture(GL_TEXTURE_2D, s->uSimTex[i]);
        glUniform1iARB(s->nLocSimSampler, 0);
        glUniform2fARB(s->nLocWaterSimSize, float(n), float(n));
        glUniform1fARB(s->nLocTimeStep, s->fTimeStep);
        glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, s->uSimFBO[1 - i]);
        glViewport(0, 0, n, n);
        DrawScreenQuad();
        glBindTexture(GL_TEXTURE_2D, 0);
    }
}

void injectDroplets(DrizzleState *s) {
    int n = s->nSimSize;
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, s->uSimFBO[0]);
    glViewport(0, 0, n, n);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glUseProgramObjectARB(s->hRainDropProgram);
    float h = 4.0f / float(n);
    for (Droplet &d : s->aDroplets) {
        if (d.fAge >= 0.5f) continue;
        drawDroplet(d, h);
        d.fAge += s->fTimeStep;
    }
    glDisable(GL_BLEND);
    glUseProgramObjectARB(0);
}

void generateNormals(DrizzleState *s) {
    int n = s->nSimSize;
    float h = drizzle_ripple_height();
    glUseProgramObjectARB(s->hNormalGenProgram);
    glActiveTextureARB(GL_TEXTURE0_ARB);
    glBindTexture(GL_TEXTURE_2D, s->uSimTex[s->nCurrentSim]);
    glUniform1iARB(s->nLocNormalGenSampler, 0);
    glUniform2fARB(s->nLocNormalGenSimSize, float(n), float(n));
    glUniform2fARB(s->nLocRippleHeight, h, 1.0f / h);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, s->uNormalFBO);
    glViewport(0, 0, n, n);
    DrawScreenQuad();
    glBindTexture(GL_TEXTURE_2D, 0);
}

void composite(DrizzleState *s) {
    if (s->bOwnMipmaps) {
        drawNormalMipmaps(s);
        passDone("mipmaps");
    }
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    glViewport(0, 0, s->nWidth, s->nHeight);
    // Colour only: nothing in the frame (nor the text drawn over it) tests
    // depth, and on a processor renderer clearing it is a pass of its own.
    glClear(GL_COLOR_BUFFER_BIT);
    glUseProgramObjectARB(s->hWaterRippleProgram);
    glUniformMatrix4fvARB(s->nLocMVP, 1, GL_FALSE, s->mMVP);
    glActiveTextureARB(GL_TEXTURE0_ARB);
    glBindTexture(GL_TEXTURE_2D, s->uBackgroundTex);
    glUniform1iARB(s->nLocBackgroundSampler, 0);
    glActiveTextureARB(GL_TEXTURE1_ARB);
    glBindTexture(GL_TEXTURE_2D, s->uNormalTex);
    if (!s->bOwnMipmaps) glGenerateMipmapEXT(GL_TEXTURE_2D);
    glUniform1iARB(s->nLocNormalSampler, 1);
    if (!s->bOwnMipmaps) passDone("mipmaps");

    // The normals repeat so that one simulation texel is 1/2048 of a unit.
    float b = 16384.0f / float(s->nSimSize);
    glBegin(GL_QUADS);
    glTexCoord4f(0, 0, 0, 1);
    glVertex4f(-4, -4, 0, 1);
    glTexCoord4f(b, 0, 0, 1);
    glVertex4f(4, -4, 0, 1);
    glTexCoord4f(b, b, 0, 1);
    glVertex4f(4, 4, 0, 1);
    glTexCoord4f(0, b, 0, 1);
    glVertex4f(-4, 4, 0, 1);
    glEnd();
}

void debugOverlay(DrizzleState *s) {
    const float big = 0.75f, small = 0.421875f;
    switch (s->nDebugView) {
    case 0: VisualizeTexture(s, s->uNormalTex, 0.125f, 0.875f, big, big); break;
    case 1: VisualizeTexture(s, s->uSimTex[0], 0.125f, 0.875f, big, big); break;
    case 2: VisualizeTexture(s, s->uSimTex[1], 0.125f, 0.875f, big, big); break;
    case 3: VisualizeTexture(s, s->uBackgroundTex, 0.125f, 0.875f, big, big); break;
    case 4:
        VisualizeTexture(s, s->uNormalTex, 0.0625f, 0.9375f, small, small);
        VisualizeTexture(s, s->uSimTex[0], 0.515625f, 0.9375f, small, small);
        VisualizeTexture(s, s->uSimTex[1], 0.515625f, 0.484375f, small, small);
        VisualizeTexture(s, s->uBackgroundTex, 0.0625f, 0.484375f, small, small);
        break;
    default: s->nDebugView = -1; break;
    }
}

}  // namespace

extern "C" {

void drizzle_setup_state(DrizzleState *s, int width, int height) {
    drizzle_set_camera(s, width, height);
    glDrawBuffer(GL_BACK);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glClearColor(0, 0, 0, 1);

    s->fGradientTime = 0;
    s->fTimeStep = 0;
    s->bResetPending = 1;
    s->bRainPaused = 0;
    s->bNewColors = 1;
    s->bBackgroundPaused = 0;
    s->nCurrentSim = 0;
    s->nDebugView = -1;
    s->nSimSize = drizzle_sim_size();
    s->nBackgroundWidth = s->nWidth;
    // The gradient texture needs at least one row, even for a collapsed window.
    s->nBackgroundHeight = s->nHeight > 0 ? s->nHeight : 1;

    GenerateRandomGoochTones(s->vToneB, s->vToneA);
    GenerateRandomGoochTones(s->vNextToneB, s->vNextToneA);
    s->bNextToneAAtBottom = 1;
    s->bToneAAtBottom = 1;

    passDone("state");
    makeTextures(s);
    passDone("textures");
    makeFramebuffers(s);
    passDone("framebuffers");
    drizzle_build_programs(s);
    passDone("programs");
}

void drizzle_delete_gl_objects(DrizzleState *s) {
    GLhandleARB programs[] = {s->hPassThroughProgram, s->hGradientProgram, s->hWaterRippleProgram,
                              s->hSimulationProgram, s->hRainDropProgram, s->hNormalGenProgram};
    GLhandleARB shaders[] = {s->hPassThroughVS, s->hPassThroughFS, s->hGradientFS,
                             s->hWaterRippleVS, s->hWaterRippleFS, s->hSimulationVS,
                             s->hSimulationFS, s->hRainDropFS, s->hNormalGenFS};
    for (GLhandleARB h : programs)
        if (h) glDeleteObjectARB(h);
    for (GLhandleARB h : shaders)
        if (h) glDeleteObjectARB(h);
    GLuint fbos[] = {s->uNormalFBO, s->uSimFBO[0], s->uSimFBO[1], s->uBackgroundFBO, s->uMipmapFBO};
    glDeleteFramebuffersEXT(5, fbos);
    GLuint textures[] = {s->uNormalTex, s->uSimTex[0], s->uSimTex[1], s->uBackgroundTex};
    glDeleteTextures(4, textures);
}

void drizzle_advance_time(DrizzleState *s) {
    s->fTimeStep = DRIZZLE_FRAME_TIME;
    s->fGradientTime += DRIZZLE_FRAME_TIME;
}

int drizzle_handle_key(DrizzleState *s, unsigned long keysym) {
    // NOTE: the whole symbol is compared, not its low byte: a function key
    // such as Menu (0xff67) would otherwise read as 'g'.
    switch (keysym) {
    case 'g':
    case 'G': s->bNewColors = 1; return 1;
    case 'P': s->bBackgroundPaused = !s->bBackgroundPaused; return 1;
    case 'p': s->bRainPaused = !s->bRainPaused; return 1;
    case 'r':
    case 'R': s->bResetPending = 1; return 1;
    case 't': s->nDebugView++; return 1;
    case 'T': s->nDebugView--; return 1;
    default: return 0;
    }
}

void DrawScreenQuad(void) {
    glBegin(GL_QUADS);
    glTexCoord4f(0, 0, 0, 1);
    glVertex4f(-1, -1, 0.5f, 1);
    glTexCoord4f(1, 0, 0, 1);
    glVertex4f(1, -1, 0.5f, 1);
    glTexCoord4f(1, 1, 0, 1);
    glVertex4f(1, 1, 0.5f, 1);
    glTexCoord4f(0, 1, 0, 1);
    glVertex4f(-1, 1, 0.5f, 1);
    glEnd();
}

// Shows a texture in a rectangle given in fractions of the viewport
// (origin bottom left; top is the rectangle's upper edge).
void VisualizeTexture(DrizzleState *s, GLuint texture, float left, float top, float width,
                      float height) {
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glUseProgramObjectARB(s->hPassThroughProgram);
    glActiveTextureARB(GL_TEXTURE0_ARB);
    glBindTexture(GL_TEXTURE_2D, texture);
    glUniform1iARB(s->nLocSampler, 0);
    float x0 = 2.0f * left - 1.0f, x1 = x0 + 2.0f * width;
    float y1 = 2.0f * top - 1.0f, y0 = y1 - 2.0f * height;
    glBegin(GL_QUADS);
    glTexCoord4f(0, 0, 0, 1);
    glVertex4f(x0, y0, 0.5f, 1);
    glTexCoord4f(1, 0, 0, 1);
    glVertex4f(x1, y0, 0.5f, 1);
    glTexCoord4f(1, 1, 0, 1);
    glVertex4f(x1, y1, 0.5f, 1);
    glTexCoord4f(0, 1, 0, 1);
    glVertex4f(x0, y1, 0.5f, 1);
    glEnd();
    glBindTexture(GL_TEXTURE_2D, 0);
    glUseProgramObjectARB(0);
}

// One frame: gradient, reset, rain, two simulation steps, droplets,
// normals, composite, debug overlay.
void RippleDisplay(DrizzleState *s) {
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glClearColor(0, 0, 0, 1);

    if (!s->bBackgroundPaused) {
        drizzle_gradient_pass(s);
        passDone("gradient");
    }
    if (s->bResetPending) {
        resetSimulation(s);
        passDone("reset");
    }
    if (!s->bRainPaused) {
        emitDroplets(s);
        simulate(s);
        passDone("simulation");
        injectDroplets(s);
        passDone("droplets");
        generateNormals(s);
        passDone("normals");
    }
    composite(s);
    passDone("composite");
    if (s->nDebugView != -1) {
        debugOverlay(s);
        passDone("overlay");
    }
    glUseProgramObjectARB(0);
    glActiveTextureARB(GL_TEXTURE0_ARB);
}

}  // extern "C"
