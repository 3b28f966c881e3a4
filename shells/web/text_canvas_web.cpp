// The text canvas drawn by the browser: a 2D canvas of the same size, whose
// pixels are copied back into memory laid out as GDI's DIB section (bottom
// row first, blue green red and a fourth byte), so the texture makers read
// them the same way on both shells.
#include <emscripten/emscripten.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "render/draws/text_canvas.h"

// Draws `text` (8-bit, Windows-1252 as the Windows program's ANSI text) in
// bold, white, antialiased, centred both ways the way DrawText centres a
// single line, over the `width` x `height` pixels at `pixels`, and writes
// the result back there.
// clang-format off
EM_JS(void, drawTextOver, (uint8_t* pixels, int width, int height, const char* face, int fontHeight,
                           const char* text, int ampersandMarks), {
    var faceName = UTF8ToString(face);
    var length = 0;
    while (HEAPU8[text + length] !== 0) length++;
    var line = new TextDecoder("windows-1252").decode(HEAPU8.slice(text, text + length));
    if (ampersandMarks) {
        // "&&" draws one ampersand; any other ampersand only marks a mnemonic.
        line = line.replace(/&(&?)/g, "$1");
    }
    var canvas = Module.textCanvas || (Module.textCanvas = document.createElement("canvas"));
    canvas.width = width;
    canvas.height = height;
    var context = canvas.getContext("2d", {willReadFrequently: true});
    var image = context.createImageData(width, height);
    var rowBytes = width * 4;
    for (var y = 0; y < height; y++) {
        var from = pixels + (height - 1 - y) * rowBytes;
        for (var x = 0; x < width; x++) {
            var p = from + x * 4, q = y * rowBytes + x * 4;
            image.data[q] = HEAPU8[p + 2];
            image.data[q + 1] = HEAPU8[p + 1];
            image.data[q + 2] = HEAPU8[p];
            image.data[q + 3] = 255;
        }
    }
    context.putImageData(image, 0, 0);
    var generic = /courier|mono/i.test(faceName) ? "monospace" : "sans-serif";
    context.font = "bold " + Math.abs(fontHeight) + "px \"" + faceName + "\", " + generic;
    context.fillStyle = "#fff";
    context.textAlign = "left";
    context.textBaseline = "alphabetic";
    var metrics = context.measureText(line);
    var ascent = Math.round(metrics.fontBoundingBoxAscent);
    var descent = Math.round(metrics.fontBoundingBoxDescent);
    var left = Math.trunc((width - Math.round(metrics.width)) / 2);
    var top = Math.trunc((height - (ascent + descent)) / 2);
    context.fillText(line, left, top + ascent);
    var drawn = context.getImageData(0, 0, width, height).data;
    for (var y = 0; y < height; y++) {
        var to = pixels + (height - 1 - y) * rowBytes;
        for (var x = 0; x < width; x++) {
            var p = to + x * 4, q = y * rowBytes + x * 4;
            HEAPU8[p] = drawn[q + 2];
            HEAPU8[p + 1] = drawn[q + 1];
            HEAPU8[p + 2] = drawn[q];
            HEAPU8[p + 3] = 0;
        }
    }
});
// clang-format on

namespace render {

struct TextCanvas::Platform {
    std::vector<uint8_t> bits;
    std::string face;
    int32_t fontHeight = 0;
};

TextCanvas::TextCanvas(int32_t width, int32_t height, const char* face, int32_t fontHeight)
    : width_(width), height_(height), platform_(std::make_unique<Platform>()) {
    platform_->bits.assign(size_t(width) * size_t(height) * 4, 0);
    platform_->face = face;
    platform_->fontHeight = fontHeight;
}

TextCanvas::~TextCanvas() = default;

void TextCanvas::drawCentred(const char* text, Ampersand ampersand) {
    Platform& p = *platform_;
    if (width_ <= 0 || height_ <= 0) return;
    drawTextOver(p.bits.data(), width_, height_, p.face.c_str(), p.fontHeight, text,
                 ampersand == Ampersand::marksNextCharacter ? 1 : 0);
}

const uint8_t* TextCanvas::pixels() const {
    return platform_->bits.data();
}

void TextCanvas::clear() {
    std::memset(platform_->bits.data(), 0, platform_->bits.size());
}

}  // namespace render
