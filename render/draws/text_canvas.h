#pragma once

// A small picture that one line of text at a time is drawn into, white on
// black, antialiased, in a bold face. Each shell implements it with its own
// text drawer (text_canvas_gdi.cpp on Windows); the texture makers only see
// this class.

#include <cstdint>
#include <memory>

namespace render {

// What an ampersand in the drawn text does.
enum class Ampersand {
    // Marks the next character as a mnemonic instead of being drawn; "&&"
    // draws one ampersand.
    marksNextCharacter,
    // Is drawn like any other character.
    drawn,
};

class TextCanvas {
public:
    // A black picture of width x height pixels and the bold font of face
    // `face` at `fontHeight` (negative: the character height in pixels).
    TextCanvas(int32_t width, int32_t height, const char* face, int32_t fontHeight);
    ~TextCanvas();
    TextCanvas(const TextCanvas&) = delete;
    TextCanvas& operator=(const TextCanvas&) = delete;

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }

    // Draws the zero-terminated 8-bit `text` on one line, centred both ways,
    // over what is already there. The pixels are complete when it returns.
    void drawCentred(const char* text, Ampersand ampersand);

    // height rows of width 32-bit pixels, bottom row first; the first three
    // bytes of a pixel are blue, green and red. When the system could not
    // make the picture it stays black and nothing is drawn.
    const uint8_t* pixels() const;

    // Black again, for the next text.
    void clear();

private:
    struct Platform;
    int32_t width_;
    int32_t height_;
    std::unique_ptr<Platform> platform_;
};

}  // namespace render
