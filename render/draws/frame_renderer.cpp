#include "render/draws/frame_renderer.h"

#include "core/shared_state.h"
#include "render/draws/crossfade_upload.h"
#include "render/draws/gl_api.h"
#include "render/draws/scene_textures.h"
#include "render/draws/targa_texture.h"
#include "render/draws/text_layers.h"
#include "render/draws/text_textures.h"
#include "render/moves/random_frame.h"
#include "resource_ids.h"

namespace render {

float cubeAngle = 0.0f;

namespace {

// The small viewport of the cube and the ring: 72 x 72 pixels, 3 from the
// left and 6 from the bottom of the window.
constexpr GLint kCubeViewportX = 3;
constexpr GLint kCubeViewportY = 6;
constexpr GLsizei kCubeViewportSize = 72;

// The corner image: 128 x 128, flush right, 7 pixels above the bottom.
constexpr GLint kCornerSize = 128;
constexpr GLint kCornerBottomGap = 7;

struct CubeVertex {
    float s, t;
    float x, y, z;
};

// Front, back, top, bottom, right, left; four corners each.
constexpr CubeVertex kCubeVertices[24] = {
    {0, 0, -1, -1, 1},  {1, 0, 1, -1, 1},  {1, 1, 1, 1, 1},    {0, 1, -1, 1, 1},  {1, 0, -1, -1, -1},
    {1, 1, -1, 1, -1},  {0, 1, 1, 1, -1},  {0, 0, 1, -1, -1},  {0, 1, -1, 1, -1}, {0, 0, -1, 1, 1},
    {1, 0, 1, 1, 1},    {1, 1, 1, 1, -1},  {1, 1, -1, -1, -1}, {0, 1, 1, -1, -1}, {0, 0, 1, -1, 1},
    {1, 0, -1, -1, 1},  {1, 0, 1, -1, -1}, {1, 1, 1, 1, -1},   {0, 1, 1, 1, 1},   {0, 0, 1, -1, 1},
    {0, 0, -1, -1, -1}, {1, 0, -1, -1, 1}, {1, 1, -1, 1, 1},   {0, 1, -1, 1, -1},
};

// 45 degrees, square, near plane at the single-precision 0.1.
void loadPerspective() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, 1.0, double(0.1f), 100.0);
}

// A quad in window pixels at z = 10; t = 1 is the image's top.
void drawImageQuad(GLint left, GLint top, GLint right, GLint bottom) {
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 1.0f);
    glVertex3i(left, top, 10);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3i(left, bottom, 10);
    glTexCoord2f(1.0f, 0.0f);
    glVertex3i(right, bottom, 10);
    glTexCoord2f(1.0f, 1.0f);
    glVertex3i(right, top, 10);
    glEnd();
}

}  // namespace

void initScene() {
    skinTexture = loadTargaTexture(resources::kSkinId, "SKIN");
    cornerTexture = loadTargaTexture(resources::kCornerId, "TGA");
    makeTitleTextures();

    glShadeModel(GL_SMOOTH);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClearDepth(1.0);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);

    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);

    // In this order: the noise frames are drawn from random15 in sequence.
    noiseTexture2 = makeCrossfadeTexture(2, 2, 0.1f, fillRandomFrame);
    noiseTexture4 = makeCrossfadeTexture(4, 4, 0.2f, fillRandomFrame);
    noiseTexture16 = makeCrossfadeTexture(16, 16, 1.0f, fillRandomFrame);

    makeGlyphTextures(32, 32, "Courier New", -30);
    glDisable(GL_DEPTH_TEST);
    logoTexture = makeTextTexture(128, "Veltrane", 128, "Arial", -16);
}

void drawSkin() {
    const GLint w = core::windowWidth;
    const GLint h = core::windowHeight;
    glBindTexture(GL_TEXTURE_2D, skinTexture);
    drawImageQuad(0, 0, w, h);
    glBindTexture(GL_TEXTURE_2D, cornerTexture);
    drawImageQuad(w - kCornerSize, h - kCornerBottomGap - kCornerSize, w, h - kCornerBottomGap);
}

void drawCube() {
    glBegin(GL_QUADS);
    for (const CubeVertex& v : kCubeVertices) {
        glTexCoord2f(v.s, v.t);
        glVertex3f(v.x, v.y, v.z);
    }
    glEnd();
}

void drawCubeLayers() {
    for (CrossfadeTexture* noise : {&noiseTexture2, &noiseTexture4, &noiseTexture16}) {
        stepCrossfadeTexture(*noise, core::frameSeconds);
        glBindTexture(GL_TEXTURE_2D, noise->texture);
        drawCube();
    }
}

void renderFrame() {
    const GLint w = core::windowWidth;
    const GLint h = core::windowHeight;

    // Logo and titles, in perspective over the whole window, behind the skin.
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glViewport(0, 0, w, h);
    loadPerspective();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    // Additive blending, left by the end of the previous frame or by initScene.
    drawLogo();
    drawTitles();

    // The skin and the corner image in window pixels, y downwards.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, double(w), double(h), 0.0, -10.0, 10.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_TEXTURE_2D);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    drawSkin();

    // The cube in its small viewport.
    glEnable(GL_DEPTH_TEST);
    glViewport(kCubeViewportX, kCubeViewportY, kCubeViewportSize, kCubeViewportSize);
    loadPerspective();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    cubeAngle = advanceCubeAngle(cubeAngle, core::frameSeconds);
    glTranslatef(0.0f, 0.0f, -5.5f);
    glRotatef(cubeAngle, 1.0f, 0.0f, 0.0f);
    glRotatef(cubeAngle * 1.8f, 0.0f, 1.0f, 0.0f);
    glRotatef(cubeAngle * 2.9f, 0.0f, 0.0f, 1.0f);

    // First pass: with the environment colour at its default black, GL_BLEND
    // gives each fragment the complement of the noise, added at alpha 0.3.
    glColor4f(1.0f, 1.0f, 1.0f, 0.3f);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_BLEND);
    glScalef(0.8f, 0.8f, 0.8f);
    drawCubeLayers();

    // Second pass, slightly larger: the noise itself blended over. The three
    // layers of a pass lie on one another and all show because the depth
    // function is GL_LEQUAL.
    glScalef(1.2f, 1.2f, 1.2f);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    drawCubeLayers();

    // The ring's characters are red.
    glColor4f(1.0f, 0.0f, 0.0f, 1.0f);
    drawScroller(core::frameSeconds);

    // In force for the next frame's logo and titles.
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
}

}  // namespace render
