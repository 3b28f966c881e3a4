// The text canvas drawn by GDI: a memory device context holding a 32-bit
// DIB section, whose pixels are read directly.
#include <windows.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "render/draws/text_canvas.h"

namespace render {

struct TextCanvas::Platform {
    HDC dc = nullptr;
    HBITMAP image = nullptr;
    HFONT font = nullptr;
    HGDIOBJ originalBitmap = nullptr;
    HGDIOBJ originalFont = nullptr;
    uint8_t* bits = nullptr;
    // Stands in for the image when GDI could not make one, so that readers
    // always find pixels.
    std::vector<uint8_t> blank;
};

TextCanvas::TextCanvas(int32_t width, int32_t height, const char* face, int32_t fontHeight)
    : width_(width), height_(height), platform_(std::make_unique<Platform>()) {
    Platform& p = *platform_;
    BITMAPINFO description{};
    description.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    description.bmiHeader.biWidth = width;
    // Positive: the first row in memory is the bottom row, as OpenGL wants.
    description.bmiHeader.biHeight = height;
    description.bmiHeader.biPlanes = 1;
    description.bmiHeader.biBitCount = 32;
    description.bmiHeader.biCompression = BI_RGB;

    p.dc = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    if (p.dc != nullptr) p.image = CreateDIBSection(p.dc, &description, DIB_RGB_COLORS, &bits, nullptr, 0);
    p.font = CreateFontA(fontHeight, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_TT_PRECIS,
                         CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, 0, face);
    if (p.dc == nullptr || p.image == nullptr || bits == nullptr) {
        p.blank.assign(size_t(width) * size_t(height) * 4, 0);
        return;
    }
    p.bits = static_cast<uint8_t*>(bits);
    if (p.font != nullptr) p.originalFont = SelectObject(p.dc, p.font);
    p.originalBitmap = SelectObject(p.dc, p.image);
}

TextCanvas::~TextCanvas() {
    Platform& p = *platform_;
    if (p.dc != nullptr) {
        if (p.originalBitmap != nullptr) SelectObject(p.dc, p.originalBitmap);
        if (p.originalFont != nullptr) SelectObject(p.dc, p.originalFont);
    }
    if (p.font != nullptr) DeleteObject(p.font);
    if (p.image != nullptr) DeleteObject(p.image);
    if (p.dc != nullptr) DeleteDC(p.dc);
}

void TextCanvas::drawCentred(const char* text, Ampersand ampersand) {
    Platform& p = *platform_;
    if (p.bits == nullptr) return;
    SetTextColor(p.dc, RGB(255, 255, 255));
    SetBkColor(p.dc, RGB(0, 0, 0));
    RECT area{0, 0, width_, height_};
    UINT format = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
    if (ampersand == Ampersand::drawn) format |= DT_NOPREFIX;
    DrawTextA(p.dc, text, int(std::strlen(text)), &area, format);
    // GDI may batch the drawing; the caller reads the pixels next.
    GdiFlush();
}

const uint8_t* TextCanvas::pixels() const {
    return platform_->bits != nullptr ? platform_->bits : platform_->blank.data();
}

void TextCanvas::clear() {
    if (platform_->bits == nullptr) return;
    GdiFlush();
    std::memset(platform_->bits, 0, size_t(width_) * size_t(height_) * 4);
}

}  // namespace render
