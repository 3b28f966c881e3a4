// The textures and the frame on a real OpenGL context: a hidden window made
// once for the whole program, with the scene set up in it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/gl_window.h"
#include "app/shared_state.h"
#include "counting_allocator.h"
#include "render/crossfade_upload.h"
#include "render/frame_renderer.h"
#include "render/gl_api.h"
#include "render/random15.h"
#include "render/scene_textures.h"
#include "render/targa_texture.h"
#include "render/text_canvas.h"
#include "render/text_textures.h"
#include "resources/program_resources.h"
#include "support/recorded_setup_errors.h"

namespace {

constexpr int kSize = 256;

struct TextureImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;

    const uint8_t* texel(int row, int column) const { return rgba.data() + (size_t(row) * width + column) * 4; }
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

bool allZero(const TextureImage& image) {
    return std::all_of(image.rgba.begin(), image.rgba.end(), [](uint8_t b) { return b == 0; });
}

class SceneGL : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (window != nullptr) return;
        app::windowWidth = kSize;
        app::windowHeight = kSize;
        window = app::createGLWindow(DefWindowProcA, kSize, kSize, &dc, &context);
        if (window == nullptr) return;
        while (glGetError() != GL_NO_ERROR) {
        }
        render::initScene();
        errorAfterInit = glGetError();
    }

    void SetUp() override {
        const std::vector<std::string>& errors = app::test::recordedSetupErrors();
        ASSERT_NE(window, nullptr) << "no OpenGL window (" << (errors.empty() ? "no error shown" : errors.back())
                                   << "); Wine needs an X display, e.g. from xvfb-run";
        // Every test starts from a known frame state.
        app::nowMs = 1000;
        app::prevMs = 980;
        app::frameSeconds = 0.02f;
        app::currentTrack = 0;
        app::titleZoom = 0.0f;
    }

    static HWND window;
    static HDC dc;
    static HGLRC context;
    static GLenum errorAfterInit;
};

HWND SceneGL::window = nullptr;
HDC SceneGL::dc = nullptr;
HGLRC SceneGL::context = nullptr;
GLenum SceneGL::errorAfterInit = GL_NO_ERROR;

TEST_F(SceneGL, SetUpRaisesNoErrorAndNamesEveryTexture) {
    EXPECT_EQ(errorAfterInit, GLenum(GL_NO_ERROR));
    EXPECT_NE(render::skinTexture, render::kRejectedTexture);
    EXPECT_NE(render::cornerTexture, render::kRejectedTexture);
    EXPECT_NE(render::logoTexture, 0u);
    for (uint32_t name : render::titleTextures) EXPECT_NE(name, 0u);
    for (int code = 0; code < 255; ++code) EXPECT_NE(render::glyphTextures[size_t(code)], 0u) << "code " << code;
    EXPECT_EQ(render::glyphTextures[255], 0u);
    EXPECT_EQ(readTexture(render::skinTexture).width, 256);
    EXPECT_EQ(readTexture(render::cornerTexture).width, 128);
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
                << "texture " << name << " texel " << i / 4 << ": " << int(t[0]) << " " << int(t[1]) << " "
                << int(t[2]) << " " << int(t[3]);
            covered += t[3] == 255;
            partly += t[3] > 0 && t[3] < 255;
        }
        // Bold text whose edges are antialiased: the face was found.
        EXPECT_GT(covered, 20) << "texture " << name;
        EXPECT_GT(partly, 20) << "texture " << name;
    }
}

TEST_F(SceneGL, GlyphsOfCodeZeroAndSpaceAreEmpty) {
    EXPECT_TRUE(allZero(readTexture(render::glyphTextures[0])));
    EXPECT_TRUE(allZero(readTexture(render::glyphTextures[32])));
    EXPECT_FALSE(allZero(readTexture(render::glyphTextures['A'])));
    EXPECT_EQ(readTexture(render::glyphTextures['A']).width, 32);
}

TEST_F(SceneGL, GlyphsAreMirrored) {
    // 'L' has its stem on the left: mirrored, the right half holds more ink.
    const TextureImage glyph = readTexture(render::glyphTextures['L']);
    long left = 0;
    long right = 0;
    for (int row = 0; row < glyph.height; ++row) {
        for (int column = 0; column < glyph.width; ++column) {
            (column < glyph.width / 2 ? left : right) += glyph.texel(row, column)[3];
        }
    }
    EXPECT_GT(right, left);
}

TEST_F(SceneGL, AmpersandGlyphShowsTheCharacterWhileTextsKeepPrefixHandling) {
    const TextureImage glyph = readTexture(render::glyphTextures['&']);
    ASSERT_FALSE(allZero(glyph));
    // In a text texture a single ampersand only marks the next character:
    // "&&" is needed to draw what the glyph draws from "&".
    const uint32_t doubled = render::makeTextTexture(32, "&&", 32, "Courier New", -30);
    const TextureImage text = readTexture(doubled);
    ASSERT_EQ(text.width, glyph.width);
    for (int row = 0; row < glyph.height; ++row) {
        for (int column = 0; column < glyph.width; ++column) {
            ASSERT_EQ(text.texel(row, column)[3], glyph.texel(row, glyph.width - 1 - column)[3])
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

struct FaceMetrics {
    LONG weight = 0;
    LONG narrow = 0;  // advance of "i"
    LONG wide = 0;    // advance of "W"
};

FaceMetrics faceMetrics(const char* face) {
    FaceMetrics metrics;
    HDC dc = CreateCompatibleDC(nullptr);
    HFONT font = CreateFontA(-30, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_TT_PRECIS,
                             CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, 0, face);
    HGDIOBJ original = SelectObject(dc, font);
    TEXTMETRICA text{};
    GetTextMetricsA(dc, &text);
    metrics.weight = text.tmWeight;
    SIZE size{};
    GetTextExtentPoint32A(dc, "i", 1, &size);
    metrics.narrow = size.cx;
    GetTextExtentPoint32A(dc, "W", 1, &size);
    metrics.wide = size.cx;
    SelectObject(dc, original);
    DeleteObject(font);
    DeleteDC(dc);
    return metrics;
}

// The glyphs are laid out for a fixed-pitch face and the titles for a
// proportional one. Without the prefix's mapping Wine would give both the
// same proportional face.
TEST_F(SceneGL, TextFacesComeFromTheSystem) {
    const FaceMetrics courier = faceMetrics("Courier New");
    EXPECT_EQ(courier.narrow, courier.wide) << "Courier New is not fixed-pitch: is the Wine prefix mapped?";
    EXPECT_EQ(courier.weight, FW_BOLD);
    const FaceMetrics arial = faceMetrics("Arial");
    EXPECT_LT(arial.narrow, arial.wide);
    EXPECT_EQ(arial.weight, FW_BOLD);
}

// Frames of a 2 x 2 texture whose floats are (frame number + k) / 255, so
// that the 8-bit texture holds them exactly.
int framesMade = 0;
void numberedFrame(float* frame, int32_t width, int32_t height) {
    ++framesMade;
    for (int32_t k = 0; k < width * height * 3; ++k) frame[k] = float(framesMade * 20 + k) / 255.0f;
}

std::vector<int> readLevels(uint32_t name) {
    const TextureImage image = readTexture(name);
    std::vector<int> levels;
    for (size_t i = 0; i < image.rgba.size(); i += 4) levels.insert(levels.end(), {image.rgba[i], image.rgba[i + 1], image.rgba[i + 2]});
    return levels;
}

std::vector<int> levelsOf(const std::vector<float>& frame) {
    std::vector<int> levels;
    for (float value : frame) levels.push_back(int(value * 255.0f + 0.5f));
    return levels;
}

TEST_F(SceneGL, CrossfadeStepsReplaceTheImageOfTheSameTexture) {
    framesMade = 0;
    render::CrossfadeTexture crossfade = render::makeCrossfadeTexture(2, 2, 1.0f, numberedFrame);
    const uint32_t name = crossfade.texture;
    EXPECT_EQ(readTexture(name).width, 2);

    render::stepCrossfadeTexture(crossfade, 0.0f);
    EXPECT_EQ(readLevels(name), levelsOf(crossfade.fromFrame));
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(uint32_t(bound), name);

    render::stepCrossfadeTexture(crossfade, 0.95f);
    const std::vector<float> formerTo = crossfade.toFrame;
    render::stepCrossfadeTexture(crossfade, 0.1f);
    EXPECT_EQ(crossfade.texture, name);
    EXPECT_EQ(readLevels(name), levelsOf(formerTo));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    glDeleteTextures(1, &name);
}

TEST_F(SceneGL, TwentyFourBitImagesKeepTheirRowsWhateverTheWidth) {
    render::TargaImage image;
    image.width = 2;
    image.height = 2;
    image.bytesPerPixel = 3;
    image.pixels = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120};
    const uint32_t name = render::uploadTargaTexture(image);
    const std::vector<int> expected(image.pixels.begin(), image.pixels.end());
    EXPECT_EQ(readLevels(name), expected);
    GLint alphaBits = -1;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_ALPHA_SIZE, &alphaBits);
    EXPECT_EQ(alphaBits, 0) << "RGB for 24 bits";
    GLint unpackAlignment = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &unpackAlignment);
    EXPECT_EQ(unpackAlignment, 4);
    glDeleteTextures(1, &name);
}

TEST_F(SceneGL, MissingResourcesAreRejected) {
    EXPECT_EQ(render::loadTargaTexture(999, "SKIN"), render::kRejectedTexture);
    EXPECT_EQ(render::loadTargaTexture(101, "TGA"), render::kRejectedTexture);
}

// The frame as stored by glReadPixels: rows from the bottom, RGBA.
std::vector<uint8_t> renderAndRead() {
    render::renderFrame();
    std::vector<uint8_t> pixels(size_t(kSize) * kSize * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, kSize, kSize, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

bool insideCubeViewport(int x, int rowFromBottom) {
    return x >= 3 && x < 3 + 72 && rowFromBottom >= 6 && rowFromBottom < 6 + 72;
}

bool insideCornerImage(int x, int rowFromBottom) {
    const int y = kSize - 1 - rowFromBottom;
    return x >= 128 && x <= 255 && y >= 121 && y <= 248;
}

// Both images are stored bottom row first, blue, green, red, alpha.
const uint8_t* targaPixel(const resources::ResourceData& tga, int width, int row, int column) {
    return tga.bytes + 18 + (size_t(row) * width + column) * 4;
}

bool sameColour(const uint8_t* frame, const uint8_t* bgra) {
    return std::abs(frame[0] - bgra[2]) <= 1 && std::abs(frame[1] - bgra[1]) <= 1 && std::abs(frame[2] - bgra[0]) <= 1;
}

// `over` blended by its alpha onto `under`, both blue, green, red, alpha.
bool blendedColour(const uint8_t* frame, const uint8_t* over, const uint8_t* under) {
    const float a = float(over[3]) / 255.0f;
    for (int c = 0; c < 3; ++c) {
        const float expected = float(over[2 - c]) * a + float(under[2 - c]) * (1.0f - a);
        if (std::abs(float(frame[c]) - expected) > 2.0f) return false;
    }
    return true;
}

TEST_F(SceneGL, FrameShowsTheSkinTheCornerImageAndTheCube) {
    const resources::ResourceData skin = resources::findProgramResource("SKIN", 101);
    const resources::ResourceData corner = resources::findProgramResource("TGA", 109);
    ASSERT_NE(skin.bytes, nullptr);
    ASSERT_NE(corner.bytes, nullptr);

    const std::vector<uint8_t> frame = renderAndRead();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    int skinChecked = 0;
    int cornerChecked = 0;
    int throughTheScreen = 0;
    int cubeDiffers = 0;
    for (int row = 0; row < kSize; ++row) {
        for (int x = 0; x < kSize; ++x) {
            const uint8_t* shown = &frame[(size_t(row) * kSize + x) * 4];
            const uint8_t* skinPixel = targaPixel(skin, kSize, row, x);
            if (insideCornerImage(x, row)) {
                // Opaque pixels of the corner image show as they are; the
                // translucent ones are checked where they lie over opaque skin.
                const uint8_t* cornerPixel = targaPixel(corner, 128, row - 7, x - 128);
                if (cornerPixel[3] == 255) {
                    ++cornerChecked;
                    ASSERT_TRUE(sameColour(shown, cornerPixel)) << "corner image at x " << x << ", row " << row;
                } else if (cornerPixel[3] > 0 && skinPixel[3] == 255) {
                    ++cornerChecked;
                    ASSERT_TRUE(blendedColour(shown, cornerPixel, skinPixel))
                        << "corner image over the skin at x " << x << ", row " << row;
                }
            } else if (insideCubeViewport(x, row)) {
                cubeDiffers += !sameColour(shown, skinPixel);
            } else if (skinPixel[3] == 255) {
                ++skinChecked;
                ASSERT_TRUE(sameColour(shown, skinPixel))
                    << "skin at x " << x << ", row " << row << ": " << int(shown[0]) << " " << int(shown[1]) << " "
                    << int(shown[2]);
            } else if (skinPixel[3] == 0) {
                throughTheScreen += shown[0] + shown[1] + shown[2] > 0;
            }
        }
    }
    EXPECT_GT(skinChecked, 15000);
    EXPECT_GT(cornerChecked, 100);
    EXPECT_GT(throughTheScreen, 500) << "the logo and titles show where the skin is transparent";
    EXPECT_GT(cubeDiffers, 500) << "the cube and the ring are drawn in their viewport";
}

TEST_F(SceneGL, FrameLeavesTheStateTheNextFrameStartsFrom) {
    render::renderFrame();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
    GLint value = 0;
    glGetIntegerv(GL_BLEND_SRC, &value);
    EXPECT_EQ(value, GL_SRC_ALPHA);
    glGetIntegerv(GL_BLEND_DST, &value);
    EXPECT_EQ(value, GL_ONE);
    glGetIntegerv(GL_DEPTH_FUNC, &value);
    EXPECT_EQ(value, GL_LEQUAL);
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &value);
    EXPECT_EQ(value, GL_MODULATE);
    GLfloat colour[4] = {};
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_EQ(colour[0], 1.0f);
    EXPECT_EQ(colour[1], 0.0f);
    EXPECT_EQ(colour[2], 0.0f);
    EXPECT_EQ(colour[3], 1.0f);
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], 3);
    EXPECT_EQ(viewport[1], 6);
    EXPECT_EQ(viewport[2], 72);
    EXPECT_EQ(viewport[3], 72);
    GLint depth = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, 1) << "every layer pops what it pushes";
}

TEST_F(SceneGL, FrameOfNoTimeTurnsAndBlendsNothing) {
    render::renderFrame();
    app::frameSeconds = 0.0f;
    const float angle = render::cubeAngle;
    const float blends[3] = {render::noiseTexture2.blend, render::noiseTexture4.blend, render::noiseTexture16.blend};
    render::renderFrame();
    EXPECT_EQ(render::cubeAngle, angle);
    EXPECT_EQ(render::noiseTexture2.blend, blends[0]);
    EXPECT_EQ(render::noiseTexture4.blend, blends[1]);
    EXPECT_EQ(render::noiseTexture16.blend, blends[2]);
}

TEST_F(SceneGL, FrameTurnsTheCubeTenDegreesPerSecondAndStepsEachNoiseTwice) {
    const float angle = render::cubeAngle;
    const float blend = render::noiseTexture2.blend;
    app::frameSeconds = 0.5f;
    render::renderFrame();
    EXPECT_EQ(render::cubeAngle, angle + 5.0f);
    const float once = blend + 0.5f * 0.1f;
    const float twice = once + 0.5f * 0.1f;
    EXPECT_EQ(render::noiseTexture2.blend, twice >= 1.0f ? 0.0f : twice);
}

TEST_F(SceneGL, FrameAllocatesNothing) {
    render::renderFrame();
    app::frameSeconds = 0.7f;  // long enough for the noise to renew
    const long seen = render::test::allocationsDuring([] {
        for (int i = 0; i < 20; ++i) render::renderFrame();
    });
    EXPECT_EQ(seen, 0);
}

}  // namespace
