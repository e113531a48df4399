/* Drizzle: a water surface under rain, simulated and drawn on the GPU.
 * The option variables, the per-screen state record and the routines that
 * the hack's source files share. Plain C. */
#ifndef SOMNEL_DRIZZLE_H
#define SOMNEL_DRIZZLE_H

#include <GL/gl.h>
#include <GL/glext.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Options, shared by all screens; the mode layer stores the resources here. */
extern int g_nNumDropletsPerSecond;    /* "dps": mean new droplets per simulated second */
extern float g_fGradientTransitionTime; /* "colortime": seconds one colour blend lasts */
extern int g_nSimResolutionEnum;       /* "simres": grid side is 256 << code */
extern float g_fRippleHeight;          /* "ripheight": height scale of the normals */

#define DRIZZLE_MAX_DROPLETS 512

/* One droplet slot; a slot whose age is 0.5 or more is free. */
typedef struct {
    float fX, fY; /* centre in clip units (-1..1) of the simulation viewport */
    float fAge;
} Droplet;

typedef struct {
    int nWidth, nHeight;
    int nBackgroundWidth, nBackgroundHeight;
    int nSimSize;

    GLhandleARB hPassThroughVS, hPassThroughFS, hPassThroughProgram;
    GLhandleARB hGradientFS, hGradientProgram;
    GLhandleARB hWaterRippleVS, hWaterRippleFS, hWaterRippleProgram;
    GLhandleARB hRainDropFS, hRainDropProgram;
    GLhandleARB hSimulationVS, hSimulationFS, hSimulationProgram;
    GLhandleARB hNormalGenFS, hNormalGenProgram;

    GLint nLocSampler;
    GLint nLocColor0, nLocColor1;
    GLint nLocBackgroundSampler;
    GLint nLocWaterSimSize;
    GLint nLocTimeStep;
    GLint nLocMVP;
    GLint nLocSimSampler;
    GLint nLocNormalSampler;
    GLint nLocNormalGenSampler;
    GLint nLocRippleHeight;

    int bResetPending;
    int bRainPaused;
    int bNewColors;
    int bBackgroundPaused;
    int nCurrentSim;

    float vToneA[3], vNextToneA[3], vToneB[3], vNextToneB[3];
    int bToneAAtBottom, bNextToneAAtBottom;

    Droplet aDroplets[DRIZZLE_MAX_DROPLETS];

    GLuint uNormalFBO, uSimFBO[2], uBackgroundFBO;
    GLuint uNormalTex, uSimTex[2], uBackgroundTex;

    float fGradientTime;
    float fTimeStep;
    int nDebugView;
    float mMVP[16];
    void *pContext;

    /* "g_vWaterSimSize" as seen by the normal-generation program, which
     * shares the simulation vertex shader but has its own location. */
    GLint nLocNormalGenSimSize;

    /* The anisotropy set on the normal and background textures: the
     * driver's maximum, 1 where the filtering was adapted to a software
     * renderer, 0 where the driver offers no anisotropic filtering (and no
     * anisotropy call is made). */
    float fAnisotropy;
    /* Set when init left anisotropy off because the renderer rasterises on
     * the processor. */
    int bAdaptedFiltering;
    /* Set when the normal texture's mipmaps are drawn by a shader pass
     * rather than glGenerateMipmap (a software rasteriser, unless the exact
     * settings are asked for); uMipmapFBO is its framebuffer, 0 otherwise. */
    int bOwnMipmaps;
    GLuint uMipmapFBO;
} DrizzleState;

/* The per-screen records, indexed by screen number; null before the first
 * init and after release. g_nDrizzleStateCount is the array's length. */
extern DrizzleState *g_pDrizzleState;
extern int g_nDrizzleStateCount;

/* Simulated seconds per drawn frame (the float nearest 1/30). */
#define DRIZZLE_FRAME_TIME (1.0f / 30.0f)

/* ---- shaders (drizzle_shaders.cpp) ---- */
extern const char *g_pStrPassThroughVS;
extern const char *g_pStrPassThroughFS;
extern const char *g_pStrTwoColorGradientFS;
extern const char *g_pStrWaterRippleVS;
extern const char *g_pStrWaterRippleFS;
extern const char *g_pStrWaterSimVS;
extern const char *g_pStrWaterSimFS;
extern const char *g_pStrRainDropFS;
extern const char *g_pStrNormalGenFS;

void PrintShaderCompilationLog(const char *name, GLhandleARB handle);
/* Creates, compiles and links the six programs and looks up their uniforms. */
void drizzle_build_programs(DrizzleState *state);

/* ---- gradient (drizzle_gradient.cpp) ---- */
/* A uniform value in 0..1 from the shared generator. */
float drizzle_frand(void);
void GenerateRandomGoochTones(float cool[3], float warm[3]);
/* The colour distance halfway through a transition whose ends swap. */
float drizzle_midpoint_difference(const float startBottom[3], const float startTop[3],
                                  const float nextBottom[3], const float nextTop[3]);
/* The transition time actually used (guards non-positive settings). */
float drizzle_transition_time(void);
/* The background pass: transition machine, blend and gradient render. */
void drizzle_gradient_pass(DrizzleState *state);

/* ---- pipeline (drizzle_pipeline.cpp) ---- */
/* True when a GL_RENDERER text names a renderer that rasterises on the
 * processor (llvmpipe, softpipe, swrast), where anisotropic lookups are
 * many times dearer than plain ones. */
int drizzle_is_software_renderer(const char *renderer);
/* True when the current context offers the named GL extension. */
int drizzle_has_gl_extension(const char *name);
/* When set, RippleDisplay calls it after each pass with the pass's name
 * ("gradient", "reset", "simulation", "droplets", "normals", "mipmaps",
 * "composite", "overlay"), and set-up after each stage ("state",
 * "textures", "framebuffers", "programs"); benchmarks time them with it. */
extern void (*drizzle_pass_hook)(const char *pass);

/* The grid side for the current resolution code (clamped to 256..2048). */
int drizzle_sim_size(void);
/* The ripple height actually used (guards zero and non-finite settings). */
float drizzle_ripple_height(void);
/* Everything init does once it has a context: camera, fields, colour
 * pairs, textures, framebuffers, programs. */
void drizzle_setup_state(DrizzleState *state, int width, int height);
/* Viewport and camera for a new size; recomputes mMVP. */
void drizzle_set_camera(DrizzleState *state, int width, int height);
/* Deletes the screen's programs, shaders, framebuffers and textures. */
void drizzle_delete_gl_objects(DrizzleState *state);
/* Advances simulated time by one frame. */
void drizzle_advance_time(DrizzleState *state);
/* Handles one key symbol; true when it is one of the hack's keys. */
int drizzle_handle_key(DrizzleState *state, unsigned long keysym);
void DrawScreenQuad(void);
void VisualizeTexture(DrizzleState *state, GLuint texture, float left, float top, float width,
                      float height);
void RippleDisplay(DrizzleState *state);

#ifdef __cplusplus
}
#endif

#endif
