// The textures and the frame on a real OpenGL context: a hidden window made
// once for the whole program, with the scene set up in it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/shared_state.h"
#include "render/draws/crossfade_upload.h"
#include "render/draws/frame_renderer.h"
#include "render/draws/gl_api.h"
#include "render/draws/scene_textures.h"
#include "render/draws/targa_texture.h"
#include "render/draws/text_canvas.h"
#include "render/draws/text_textures.h"
#include "resource_ids.h"
#include "resources/program_resources.h"
#include "shells/windows/gl_window.h"
#include "support/counting_allocator.h"
#include "support/recorded_setup_errors.h"

namespace {

constexpr int kSize = 256;

// RGBA bytes of a texture, rows from the bottom.
struct TextureImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;

    uint8_t alpha(int row, int column) const { return rgba[(size_t(row) * width + column) * 4 + 3]; }
    bool empty() const {
        return std::all_of(rgba.begin(), rgba.end(), [](uint8_t b) { return b == 0; });
    }
};

TextureImage readTexture(uint32_t name) {
    TextureImage image;
    glBindTexture(GL_TEXTURE_2D, name);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &image.width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &image.height);
    image.rgba.resize(size_t(image.width) * image.height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, image.rgba.data());
    return image;
}

// Red, green and blue levels of a texture.
std::vector<int> readLevels(uint32_t name) {
    const TextureImage image = readTexture(name);
    std::vector<int> levels;
    for (size_t i = 0; i < image.rgba.size(); ++i) {
        if (i % 4 != 3) levels.push_back(image.rgba[i]);
    }
    return levels;
}

class SceneGL : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (window != nullptr) return;
        core::windowWidth = kSize;
        core::windowHeight = kSize;
        HDC dc = nullptr;
        HGLRC context = nullptr;
        window = windows::createGLWindow(DefWindowProcA, kSize, kSize, &dc, &context);
        if (window == nullptr) return;
        render::initScene();
        errorAfterInit = glGetError();
    }

    void SetUp() override {
        const std::vector<std::string>& errors = windows::test::recordedSetupErrors();
        ASSERT_NE(window, nullptr) << "no OpenGL window ("
                                   << (errors.empty() ? "no error shown" : errors.back())
                                   << "); Wine needs an X display, e.g. from xvfb-run";
        core::nowMs = 1000;
        core::prevMs = 980;
        core::frameSeconds = 0.02f;
    }

    static HWND window;
    static GLenum errorAfterInit;
};

HWND SceneGL::window = nullptr;
GLenum SceneGL::errorAfterInit = GL_NO_ERROR;

TEST_F(SceneGL, SetUpRaisesNoErrorAndMakesEveryTexture) {
    EXPECT_EQ(errorAfterInit, GLenum(GL_NO_ERROR));
    EXPECT_EQ(readTexture(render::skinTexture).width, 256);
    EXPECT_EQ(readTexture(render::cornerTexture).width, 128);
    for (int code = 0; code < 255; ++code)
        EXPECT_NE(render::glyphTextures[size_t(code)], 0u) << "code " << code;
    EXPECT_EQ(render::loadTargaTexture(999, "SKIN"), render::kRejectedTexture) << "no such resource";
}

TEST_F(SceneGL, TextTexturesHaveAlphaEqualToTheirGreyLevel) {
    std::vector<uint32_t> names(render::titleTextures.begin(), render::titleTextures.end());
    names.push_back(render::logoTexture);
    for (uint32_t name : names) {
        const TextureImage image = readTexture(name);
        int covered = 0;
        int partly = 0;
        for (size_t i = 0; i < image.rgba.size(); i += 4) {
            const uint8_t* t = &image.rgba[i];
            ASSERT_TRUE(t[0] == t[1] && t[1] == t[2] && t[2] == t[3])
                << "texture " << name << " texel " << i / 4;
            covered += t[3] == 255;
            partly += t[3] > 0 && t[3] < 255;
        }
        // Bold text with antialiased edges.
        EXPECT_GT(covered, 20) << "texture " << name;
        EXPECT_GT(partly, 20) << "texture " << name;
    }
}

TEST_F(SceneGL, GlyphsOfCodeZeroAndSpaceAreEmptyAndTheAmpersandIsDrawn) {
    EXPECT_TRUE(readTexture(render::glyphTextures[0]).empty());
    EXPECT_TRUE(readTexture(render::glyphTextures[32]).empty());
    // A text texture needs "&&" to draw the one ampersand that the glyph
    // draws, mirrored, from "&".
    const TextureImage glyph = readTexture(render::glyphTextures['&']);
    ASSERT_FALSE(glyph.empty());
    const uint32_t doubled = render::makeTextTexture(32, "&&", 32, "Courier New", -30);
    const TextureImage text = readTexture(doubled);
    for (int row = 0; row < 32; ++row) {
        for (int column = 0; column < 32; ++column) {
            ASSERT_EQ(text.alpha(row, column), glyph.alpha(row, 31 - column))
                << "row " << row << " column " << column;
        }
    }
    glDeleteTextures(1, &doubled);
}

long inkOf(const render::TextCanvas& canvas) {
    long ink = 0;
    for (int i = 0; i < canvas.width() * canvas.height(); ++i) ink += canvas.pixels()[i * 4];
    return ink;
}

TEST_F(SceneGL, CanvasDrawsAmpersandsAsCharactersOrAsMarks) {
    render::TextCanvas canvas(64, 32, "Courier New", -30);
    canvas.drawCentred("&&", render::Ampersand::drawn);
    const long two = inkOf(canvas);
    canvas.clear();
    EXPECT_EQ(inkOf(canvas), 0);
    canvas.drawCentred("&&", render::Ampersand::marksNextCharacter);
    const long one = inkOf(canvas);
    EXPECT_GT(one, 0);
    EXPECT_NEAR(double(two) / double(one), 2.0, 0.2);
}

// Advance widths of "i" and "W" in the bold face `face`.
std::pair<LONG, LONG> narrowAndWide(const char* face) {
    HDC dc = CreateCompatibleDC(nullptr);
    HFONT font = CreateFontA(-30, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_TT_PRECIS,
                             CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, 0, face);
    HGDIOBJ original = SelectObject(dc, font);
    SIZE narrow{};
    SIZE wide{};
    GetTextExtentPoint32A(dc, "i", 1, &narrow);
    GetTextExtentPoint32A(dc, "W", 1, &wide);
    SelectObject(dc, original);
    DeleteObject(font);
    DeleteDC(dc);
    return {narrow.cx, wide.cx};
}

// The glyphs are made for a fixed-pitch face, the titles for a proportional
// one; without the prefix's mapping Wine gives both one proportional face.
TEST_F(SceneGL, TextFacesComeFromTheSystem) {
    const auto [courierNarrow, courierWide] = narrowAndWide("Courier New");
    EXPECT_EQ(courierNarrow, courierWide) << "Courier New is not fixed-pitch: is the Wine prefix mapped?";
    const auto [arialNarrow, arialWide] = narrowAndWide("Arial");
    EXPECT_LT(arialNarrow, arialWide);
}

// Frames whose floats are multiples of 1/255, which the texture holds exactly.
int framesMade = 0;
void numberedFrame(float* frame, int32_t width, int32_t height) {
    ++framesMade;
    for (int32_t k = 0; k < width * height * 3; ++k) frame[k] = float(framesMade * 20 + k) / 255.0f;
}

std::vector<int> levelsOf(const std::vector<float>& frame) {
    std::vector<int> levels;
    for (float value : frame) levels.push_back(int(value * 255.0f + 0.5f));
    return levels;
}

TEST_F(SceneGL, CrossfadeStepsReplaceTheImageOfTheSameTexture) {
    render::CrossfadeTexture crossfade = render::makeCrossfadeTexture(2, 2, 1.0f, numberedFrame);
    const uint32_t name = crossfade.texture;
    render::stepCrossfadeTexture(crossfade, 0.0f);
    EXPECT_EQ(readLevels(name), levelsOf(crossfade.fromFrame));

    render::stepCrossfadeTexture(crossfade, 0.95f);
    const std::vector<float> formerTo = crossfade.toFrame;
    render::stepCrossfadeTexture(crossfade, 0.1f);
    EXPECT_EQ(crossfade.texture, name);
    EXPECT_EQ(readLevels(name), levelsOf(formerTo));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    glDeleteTextures(1, &name);
}

TEST_F(SceneGL, TwentyFourBitImagesKeepTheirRowsWhateverTheWidth) {
    render::TargaImage image{2, 2, 3, {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120}};
    const uint32_t name = render::uploadTargaTexture(image);
    EXPECT_EQ(readLevels(name), std::vector<int>(image.pixels.begin(), image.pixels.end()));
    GLint alphaBits = -1;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_ALPHA_SIZE, &alphaBits);
    EXPECT_EQ(alphaBits, 0) << "RGB for 24 bits";
    glDeleteTextures(1, &name);
}

// Pixel (x, row from the bottom) of a bottom-up 32-bit Targa: blue, green, red, alpha.
const uint8_t* targaPixel(const resources::ResourceData& tga, int width, int x, int row) {
    return tga.bytes + 18 + (size_t(row) * width + x) * 4;
}

// `frame` (RGB) is `over` blended by its alpha onto `under`, within `levels`.
bool blendedColour(const uint8_t* frame, const uint8_t* over, const uint8_t* under, float levels) {
    const float a = float(over[3]) / 255.0f;
    for (int c = 0; c < 3; ++c) {
        if (std::abs(float(frame[c]) - (float(over[2 - c]) * a + float(under[2 - c]) * (1.0f - a))) >
            levels) {
            return false;
        }
    }
    return true;
}

TEST_F(SceneGL, FrameShowsTheSkinTheCornerImageAndTheCube) {
    const resources::ResourceData skin = resources::findProgramResource("SKIN", resources::kSkinId);
    const resources::ResourceData corner = resources::findProgramResource("TGA", resources::kCornerId);
    ASSERT_NE(skin.bytes, nullptr);
    ASSERT_NE(corner.bytes, nullptr);
    render::renderFrame();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    std::vector<uint8_t> frame(size_t(kSize) * kSize * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kSize, kSize, GL_RGBA, GL_UNSIGNED_BYTE, frame.data());

    int skinShown = 0;
    int cornerShown = 0;
    int throughTheScreen = 0;
    int cubeDrawn = 0;
    for (int row = 0; row < kSize; ++row) {
        for (int x = 0; x < kSize; ++x) {
            const uint8_t* shown = &frame[(size_t(row) * kSize + x) * 4];
            const uint8_t* skinPixel = targaPixel(skin, kSize, x, row);
            const int y = kSize - 1 - row;
            if (x >= 128 && y >= 121 && y <= 248) {
                // The corner image lies over the skin; where the skin is
                // transparent, what shows through is not known here.
                const uint8_t* cornerPixel = targaPixel(corner, 128, x - 128, row - 7);
                if (cornerPixel[3] == 255 || (cornerPixel[3] > 0 && skinPixel[3] == 255)) {
                    ++cornerShown;
                    ASSERT_TRUE(blendedColour(shown, cornerPixel, skinPixel, 2.0f))
                        << "corner at " << x << ", " << y;
                }
            } else if (x >= 3 && x < 75 && row >= 6 && row < 78) {
                cubeDrawn += !blendedColour(shown, skinPixel, skinPixel, 1.0f);
            } else if (skinPixel[3] == 255) {
                ++skinShown;
                ASSERT_TRUE(blendedColour(shown, skinPixel, skinPixel, 1.0f)) << "skin at " << x << ", " << y;
            } else if (skinPixel[3] == 0) {
                throughTheScreen += shown[0] + shown[1] + shown[2] > 0;
            }
        }
    }
    EXPECT_GT(skinShown, 15000);
    EXPECT_GT(cornerShown, 100);
    EXPECT_GT(throughTheScreen, 500) << "the logo and titles show where the skin is transparent";
    EXPECT_GT(cubeDrawn, 500) << "the cube and the ring are drawn in their viewport";
}

GLint integer(GLenum what) {
    GLint value = 0;
    glGetIntegerv(what, &value);
    return value;
}

TEST_F(SceneGL, FrameLeavesTheStateTheNextFrameStartsFrom) {
    render::renderFrame();
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_EQ(integer(GL_DEPTH_FUNC), GL_LEQUAL);
    EXPECT_EQ(integer(GL_BLEND_SRC), GL_SRC_ALPHA);
    EXPECT_EQ(integer(GL_BLEND_DST), GL_ONE);
    GLint mode = 0;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
    EXPECT_EQ(mode, GL_MODULATE);
    GLfloat colour[4] = {};
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_EQ(std::vector<float>(colour, colour + 4), (std::vector<float>{1.0f, 0.0f, 0.0f, 1.0f}));
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(std::vector<int>(viewport, viewport + 4), (std::vector<int>{3, 6, 72, 72}));
    EXPECT_EQ(integer(GL_MODELVIEW_STACK_DEPTH), 1) << "every layer pops what it pushes";
}

// Kept beyond the probe, so that the optimiser cannot drop its allocation.
std::vector<int>* probe = nullptr;

TEST_F(SceneGL, FrameAllocatesNothing) {
    EXPECT_EQ(test_support::allocationsDuring([] { probe = new std::vector<int>(10); }), 2)
        << "the counter counts";
    delete probe;
    core::frameSeconds = 0.7f;  // long enough for the noise to renew
    EXPECT_EQ(test_support::allocationsDuring([] {
                  for (int i = 0; i < 20; ++i) render::renderFrame();
              }),
              0);
}

}  // namespace
