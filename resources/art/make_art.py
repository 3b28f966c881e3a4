#!/usr/bin/python3
"""Draws the player's skin, corner image, window outline and icon.

Everything is computed per pixel from signed distance functions in plain
Python floats (only +, -, *, / and sqrt, which IEEE 754 rounds exactly), with
a hand-made pixel font and an integer hash for the metal grain, so the output
is byte-for-byte the same on every machine. Pillow is needed only for the
optional PNG previews.

    make_art.py OUT_DIR [--preview PREVIEW_DIR]

writes skin.tga, corner.tga, skin.rgn and icon.ico into OUT_DIR.
"""

import argparse
import math
import os
import struct
import sys

# Click zones of the window procedure, as half-open pixel rectangles
# (left, top, right, bottom) in window coordinates, y downwards.
ZONE_PREVIOUS = (81, 41, 106, 72)
ZONE_PAUSE = (108, 41, 138, 72)
ZONE_RESUME = (140, 41, 171, 72)
ZONE_NEXT = (173, 41, 206, 72)
ZONE_CLOSE = (33, 59, 41, 67)

# The cube's viewport, (3, 6, 72, 72) from the bottom of a 256-pixel window.
CUBE_VIEW = (3, 178, 75, 250)
VIEW_CX = (CUBE_VIEW[0] + CUBE_VIEW[2]) * 0.5
VIEW_CY = (CUBE_VIEW[1] + CUBE_VIEW[3]) * 0.5

# Where the corner image lands on the skin.
CORNER_X = 128
CORNER_Y = 121


# ---------------------------------------------------------------- geometry

def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


def mix(a, b, t):
    return a + (b - a) * t


def mix3(a, b, t):
    return (mix(a[0], b[0], t), mix(a[1], b[1], t), mix(a[2], b[2], t))


def rgb(hex_colour):
    return ((hex_colour >> 16) / 255.0, ((hex_colour >> 8) & 255) / 255.0, (hex_colour & 255) / 255.0)


def sd_rrect(px, py, x0, y0, x1, y1, r):
    hx = (x1 - x0) * 0.5 - r
    hy = (y1 - y0) * 0.5 - r
    qx = abs(px - (x0 + x1) * 0.5) - hx
    qy = abs(py - (y0 + y1) * 0.5) - hy
    ox = qx if qx > 0.0 else 0.0
    oy = qy if qy > 0.0 else 0.0
    inner = qx if qx > qy else qy
    return math.sqrt(ox * ox + oy * oy) + (inner if inner < 0.0 else 0.0) - r


def sd_circle(px, py, cx, cy, r):
    dx = px - cx
    dy = py - cy
    return math.sqrt(dx * dx + dy * dy) - r


def sd_segment(px, py, ax, ay, bx, by, r):
    pax = px - ax
    pay = py - ay
    bax = bx - ax
    bay = by - ay
    h = clamp((pax * bax + pay * bay) / (bax * bax + bay * bay))
    dx = pax - bax * h
    dy = pay - bay * h
    return math.sqrt(dx * dx + dy * dy) - r


def sd_convex(px, py, points):
    """Signed distance (exact inside, close enough outside) to a convex polygon given clockwise
    in y-down coordinates."""
    d = -1e9
    n = len(points)
    for i in range(n):
        ax, ay = points[i]
        bx, by = points[(i + 1) % n]
        ex = bx - ax
        ey = by - ay
        length = math.sqrt(ex * ex + ey * ey)
        # Outward normal of a clockwise (screen) polygon.
        e = ((px - ax) * ey - (py - ay) * ex) / length
        if e > d:
            d = e
    return d


def smooth_union(a, b, k):
    h = k - abs(a - b)
    if h <= 0.0:
        return a if a < b else b
    h /= k
    return (a if a < b else b) - h * h * k * 0.25


def coverage(d):
    return clamp(0.5 - d)


def gradient(sdf, px, py):
    e = 0.5
    gx = sdf(px + e, py) - sdf(px - e, py)
    gy = sdf(px, py + e) - sdf(px, py - e)
    n = math.sqrt(gx * gx + gy * gy)
    if n == 0.0:
        return 0.0, 0.0
    return gx / n, gy / n


def hash01(x, y, seed):
    n = (x * 374761393 + y * 668265263 + seed * 2246822519) & 0xFFFFFFFF
    n = ((n ^ (n >> 13)) * 1274126177) & 0xFFFFFFFF
    n ^= n >> 16
    return (n & 0xFFFF) / 65535.0


# Light falls from the top left; a surface normal facing it is lit.
LIGHT_X = -0.6
LIGHT_Y = -0.8


# ------------------------------------------------------------------ canvas

class Canvas:
    """RGBA image with premultiplied float channels; (0, 0) is the top left pixel."""

    def __init__(self, width, height):
        self.width = width
        self.height = height
        self.px = [[0.0, 0.0, 0.0, 0.0] for _ in range(width * height)]

    def bounds(self, box):
        if box is None:
            return 0, 0, self.width, self.height
        x0, y0, x1, y1 = box
        return max(0, int(x0)), max(0, int(y0)), min(self.width, int(x1) + 1), min(self.height, int(y1) + 1)

    def paint(self, sdf, shade, box=None):
        """Composites shade(px, py, d) -> (r, g, b, a) over the pixels covered by sdf."""
        x0, y0, x1, y1 = self.bounds(box)
        for y in range(y0, y1):
            py = y + 0.5
            row = y * self.width
            for x in range(x0, x1):
                px = x + 0.5
                d = sdf(px, py)
                cov = coverage(d)
                if cov <= 0.0:
                    continue
                r, g, b, a = shade(px, py, d)
                a *= cov
                if a <= 0.0:
                    continue
                dst = self.px[row + x]
                keep = 1.0 - a
                dst[0] = r * a + dst[0] * keep
                dst[1] = g * a + dst[1] * keep
                dst[2] = b * a + dst[2] * keep
                dst[3] = a + dst[3] * keep

    def erase(self, sdf, box=None):
        """Cuts the shape out: what lies behind the image shows through it."""
        x0, y0, x1, y1 = self.bounds(box)
        for y in range(y0, y1):
            py = y + 0.5
            row = y * self.width
            for x in range(x0, x1):
                cov = coverage(sdf(x + 0.5, py))
                if cov <= 0.0:
                    continue
                keep = 1.0 - cov
                dst = self.px[row + x]
                for c in range(4):
                    dst[c] *= keep

    def dot(self, x, y, colour, alpha):
        if 0 <= x < self.width and 0 <= y < self.height:
            dst = self.px[y * self.width + x]
            keep = 1.0 - alpha
            for c in range(3):
                dst[c] = colour[c] * alpha + dst[c] * keep
            dst[3] = alpha + dst[3] * keep

    def bytes_rgba(self):
        """Straight (not premultiplied) 8-bit RGBA rows, top row first."""
        out = bytearray()
        for p in self.px:
            a = p[3]
            if a <= 0.0:
                out += b"\0\0\0\0"
                continue
            for c in range(3):
                out.append(int(clamp(p[c] / a) * 255.0 + 0.5))
            out.append(int(clamp(a) * 255.0 + 0.5))
        return bytes(out)


# -------------------------------------------------------------- pixel font

# 5 x 7 lower case for the name plate.
FONT_5X7 = {
    "a": ["     ", "     ", " ### ", "    #", " ####", "#   #", " ####"],
    "c": ["     ", "     ", " ####", "#    ", "#    ", "#    ", " ####"],
    "e": ["     ", "     ", " ### ", "#   #", "#####", "#    ", " ####"],
    "i": ["  #  ", "     ", " ##  ", "  #  ", "  #  ", "  #  ", " ### "],
    "l": [" ##  ", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", " ### "],
    "m": ["     ", "     ", "## # ", "# # #", "# # #", "# # #", "# # #"],
    "n": ["     ", "     ", "# ## ", "##  #", "#   #", "#   #", "#   #"],
    "r": ["     ", "     ", "# ## ", "##  #", "#    ", "#    ", "#    "],
    "s": ["     ", "     ", " ####", "#    ", " ### ", "    #", "#### "],
    "t": ["  #  ", "  #  ", "#####", "  #  ", "  #  ", "  #  ", "   ##"],
    "u": ["     ", "     ", "#   #", "#   #", "#   #", "#  ##", " ## #"],
    "v": ["     ", "     ", "#   #", "#   #", "#   #", " # # ", "  #  "],
    ":": ["     ", "     ", "  #  ", "     ", "     ", "  #  ", "     "],
    " ": ["     "] * 7,
}

# 3 x 5 capitals and digits for the small engravings.
FONT_3X5 = {
    "A": ["###", "# #", "###", "# #", "# #"],
    "C": ["###", "#  ", "#  ", "#  ", "###"],
    "E": ["###", "#  ", "## ", "#  ", "###"],
    "H": ["# #", "# #", "###", "# #", "# #"],
    "I": ["###", " # ", " # ", " # ", "###"],
    "K": ["# #", "## ", "#  ", "## ", "# #"],
    "L": ["#  ", "#  ", "#  ", "#  ", "###"],
    "M": ["# #", "###", "###", "# #", "# #"],
    "N": ["###", "# #", "# #", "# #", "# #"],
    "O": ["###", "# #", "# #", "# #", "###"],
    "P": ["###", "# #", "###", "#  ", "#  "],
    "R": ["###", "# #", "## ", "# #", "# #"],
    "S": ["###", "#  ", "###", "  #", "###"],
    "T": ["###", " # ", " # ", " # ", " # "],
    "U": ["# #", "# #", "# #", "# #", "###"],
    "V": ["# #", "# #", "# #", "# #", " # "],
    "X": ["# #", "# #", " # ", "# #", "# #"],
    "Y": ["# #", "# #", " # ", " # ", " # "],
    "Z": ["###", "  #", " # ", "#  ", "###"],
    "0": ["###", "# #", "# #", "# #", "###"],
    "1": [" # ", "## ", " # ", " # ", "###"],
    "4": ["# #", "# #", "###", "  #", "  #"],
    "5": ["###", "#  ", "###", "  #", "###"],
    "-": ["   ", "   ", "###", "   ", "   "],
    ".": ["   ", "   ", "   ", "   ", " # "],
    " ": ["   "] * 5,
}


def text_width(font, text):
    cell = len(next(iter(font.values()))[0]) + 1
    return len(text) * cell - 1


def engrave(canvas, font, text, x, y, colour, alpha, shadow=0.0, highlight=0.0):
    """Pixel text with an optional dark shadow below and a light edge above, as if stamped in."""
    cell = len(next(iter(font.values()))[0]) + 1
    for i, ch in enumerate(text):
        rows = font[ch]
        for gy, row in enumerate(rows):
            for gx, bit in enumerate(row):
                if bit != "#":
                    continue
                px = x + i * cell + gx
                py = y + gy
                if shadow > 0.0:
                    canvas.dot(px, py + 1, (0.0, 0.0, 0.0), shadow)
                if highlight > 0.0:
                    canvas.dot(px, py - 1, (1.0, 1.0, 1.0), highlight)
    for i, ch in enumerate(text):
        rows = font[ch]
        for gy, row in enumerate(rows):
            for gx, bit in enumerate(row):
                if bit == "#":
                    canvas.dot(x + i * cell + gx, y + gy, colour, alpha)


# -------------------------------------------------------------------- skin

METAL_TOP = rgb(0x4A505A)
METAL_BOTTOM = rgb(0x1D2026)
ACCENT = rgb(0x7FE3FF)
ACCENT_DEEP = rgb(0x1C8FC4)


def outer_sdf(px, py):
    body = sd_rrect(px, py, 8, 22, 250, 247, 12)
    pod = sd_rrect(px, py, 3, 174, 77, 251, 14)
    tab = sd_rrect(px, py, 70, 4, 186, 34, 10)
    d = smooth_union(smooth_union(body, pod, 4.0), tab, 10.0)
    # Two side notches give the frame a waist.
    notch = min(sd_circle(px, py, 5.0, 128.0, 6.0), sd_circle(px, py, 252.0, 128.0, 6.0))
    return max(d, -notch)


def screen_sdf(px, py):
    upper = sd_rrect(px, py, 15, 82, 242, 172, 7)
    lower = sd_rrect(px, py, 86, 150, 242, 238, 7)
    return smooth_union(upper, lower, 10.0)


def bar_sdf(px, py):
    return sd_rrect(px, py, 76, 36, 211, 77, 8)


def well_sdf(px, py):
    return sd_rrect(px, py, 7, 180, 73, 247, 10)


def metal(px, py, top, bottom, y0, y1):
    t = clamp((py - y0) / (y1 - y0))
    base = mix3(top, bottom, t)
    ix = int(px)
    iy = int(py)
    # Brushed grain: short horizontal streaks that shift from row to row.
    shift = int(hash01(0, iy, 7) * 64.0)
    streak = hash01((ix + shift) // 11, iy, 3) - 0.5
    grain = hash01(ix, iy, 5) - 0.5
    k = 1.0 + streak * 0.10 + grain * 0.05
    return (base[0] * k, base[1] * k, base[2] * k)


def bevel_light(sdf, px, py, d, width, strength):
    """-1..1 lighting of a rim of the given width just inside a shape's edge."""
    if -d > width:
        return 0.0
    gx, gy = gradient(sdf, px, py)
    fade = 1.0 - clamp(-d / width)
    # The outward normal facing away from the light means the rim is lit.
    return -(gx * LIGHT_X + gy * LIGHT_Y) * fade * strength


def shade_frame(px, py, d):
    r, g, b = metal(px, py, METAL_TOP, METAL_BOTTOM, 0.0, 256.0)
    # Outer rim: a lit chamfer and a thin dark lip at the very edge.
    light = bevel_light(outer_sdf, px, py, d, 3.0, 0.55)
    lip = 1.0 - 0.45 * (1.0 - clamp(-d / 1.5))
    return (clamp((r + light * 0.6) * lip), clamp((g + light * 0.6) * lip), clamp((b + light * 0.62) * lip),
            1.0)


def shade_inset(sdf, depth):
    """Shading for a recess: dark floor, shadow on the lit side's inner edge."""
    def shade(px, py, d):
        gx, gy = gradient(sdf, px, py)
        facing = gx * LIGHT_X + gy * LIGHT_Y
        rim = 1.0 - clamp(-d / 2.5)
        return (0.0, 0.0, 0.0, clamp(depth + rim * facing * 0.45 + rim * 0.15))
    return shade


def shade_highlight_ring(sdf, strength):
    """A light line just outside a recess on the side turned away from the light."""
    def shade(px, py, d):
        gx, gy = gradient(sdf, px, py)
        facing = -(gx * LIGHT_X + gy * LIGHT_Y)
        return (1.0, 1.0, 1.0, clamp(facing * strength))
    return shade


def button_face(zone, radius):
    x0, y0, x1, y1 = zone

    def sdf(px, py):
        return sd_rrect(px, py, x0, y0, x1, y1, radius)

    def shade(px, py, d):
        t = clamp((py - y0) / (y1 - y0))
        base = mix3(rgb(0x5B626D), rgb(0x262A31), t)
        # Glassy cap: the upper half catches a soft reflection.
        gloss = 0.16 * (1.0 - clamp((py - y0) / ((y1 - y0) * 0.5))) if py < (y0 + y1) * 0.5 else 0.0
        light = bevel_light(sdf, px, py, d, 2.0, 0.5)
        edge = 1.0 - 0.5 * (1.0 - clamp(-d / 1.2))
        return (clamp((base[0] + gloss + light * 0.5) * edge), clamp((base[1] + gloss + light * 0.5) * edge),
                clamp((base[2] + gloss + light * 0.55) * edge), 1.0)

    return sdf, shade


def glow_shade(colour, deep, halo):
    """A lit symbol: bright core, deeper colour at its edge and a faint halo outside."""
    def shade(px, py, d):
        t = clamp(-d / 1.6)
        c = mix3(deep, colour, t)
        return (c[0], c[1], c[2], 1.0)

    def halo_shade(px, py, d):
        return (deep[0], deep[1], deep[2], halo)

    return shade, halo_shade


def draw_symbol(canvas, sdf, box):
    core, halo = glow_shade(ACCENT, ACCENT_DEEP, 0.22)
    canvas.paint(lambda px, py: sdf(px, py) - 1.6, halo, box)
    canvas.paint(sdf, core, box)


def triangle_right(cx, cy, w, h):
    return [(cx - w * 0.5, cy - h * 0.5), (cx + w * 0.5, cy), (cx - w * 0.5, cy + h * 0.5)]


def triangle_left(cx, cy, w, h):
    return [(cx + w * 0.5, cy + h * 0.5), (cx - w * 0.5, cy), (cx + w * 0.5, cy - h * 0.5)]


def rounded_poly(points, r):
    return lambda px, py: sd_convex(px, py, points) - r


def draw_buttons(canvas):
    bar = (74, 34, 213, 79)
    # Recess of the button strip, with a lit lower edge.
    canvas.paint(lambda px, py: bar_sdf(px, py) + 1.0, shade_highlight_ring(bar_sdf, 0.28), bar)
    canvas.paint(bar_sdf, lambda px, py, d: (0.03, 0.035, 0.045, 1.0), bar)
    canvas.paint(bar_sdf, shade_inset(bar_sdf, 0.0), bar)

    for zone in (ZONE_PREVIOUS, ZONE_PAUSE, ZONE_RESUME, ZONE_NEXT):
        sdf, shade = button_face(zone, 3.5)
        x0, y0, x1, y1 = zone
        canvas.paint(sdf, shade, (x0 - 1, y0 - 1, x1 + 1, y1 + 1))

    def centre(zone):
        x0, y0, x1, y1 = zone
        return (x0 + x1) * 0.5, (y0 + y1) * 0.5

    # previous: bar and two triangles pointing left
    cx, cy = centre(ZONE_PREVIOUS)
    t1 = triangle_left(cx - 0.5, cy, 6.0, 10.0)
    t2 = triangle_left(cx + 5.5, cy, 6.0, 10.0)
    sdf = lambda px, py: min(sd_convex(px, py, t1), sd_convex(px, py, t2),
                             sd_rrect(px, py, cx - 8.0, cy - 5.0, cx - 5.5, cy + 5.0, 0.3))
    draw_symbol(canvas, sdf, ZONE_PREVIOUS)

    # pause: two bars
    cx, cy = centre(ZONE_PAUSE)
    sdf = lambda px, py: min(sd_rrect(px, py, cx - 5.0, cy - 5.5, cx - 1.5, cy + 5.5, 0.6),
                             sd_rrect(px, py, cx + 1.5, cy - 5.5, cx + 5.0, cy + 5.5, 0.6))
    draw_symbol(canvas, sdf, ZONE_PAUSE)

    # resume: one triangle
    cx, cy = centre(ZONE_RESUME)
    t = triangle_right(cx + 1.0, cy, 10.0, 12.0)
    draw_symbol(canvas, lambda px, py: sd_convex(px, py, t), ZONE_RESUME)

    # next: two triangles pointing right and a bar
    cx, cy = centre(ZONE_NEXT)
    t1 = triangle_right(cx - 5.5, cy, 6.0, 10.0)
    t2 = triangle_right(cx + 0.5, cy, 6.0, 10.0)
    sdf = lambda px, py: min(sd_convex(px, py, t1), sd_convex(px, py, t2),
                             sd_rrect(px, py, cx + 5.5, cy - 5.0, cx + 8.0, cy + 5.0, 0.3))
    draw_symbol(canvas, sdf, ZONE_NEXT)


def draw_close(canvas):
    x0, y0, x1, y1 = ZONE_CLOSE
    cx = (x0 + x1) * 0.5
    cy = (y0 + y1) * 0.5
    box = (cx - 9, cy - 9, cx + 9, cy + 9)
    socket = lambda px, py: sd_circle(px, py, cx, cy, 6.5)
    canvas.paint(lambda px, py: socket(px, py) + 1.0, shade_highlight_ring(socket, 0.3), box)
    canvas.paint(socket, lambda px, py, d: (0.02, 0.02, 0.025, 1.0), box)
    face = lambda px, py: sd_circle(px, py, cx, cy, 4.4)

    def shade_face(px, py, d):
        t = clamp((py - (cy - 4.4)) / 8.8)
        c = mix3(rgb(0xFF6A5C), rgb(0x8E1510), t)
        light = bevel_light(face, px, py, d, 1.5, 0.35)
        return (clamp(c[0] + light), clamp(c[1] + light * 0.6), clamp(c[2] + light * 0.6), 1.0)

    canvas.paint(face, shade_face, box)
    cross = lambda px, py: min(sd_segment(px, py, cx - 1.8, cy - 1.8, cx + 1.8, cy + 1.8, 0.55),
                               sd_segment(px, py, cx - 1.8, cy + 1.8, cx + 1.8, cy - 1.8, 0.55))
    canvas.paint(cross, lambda px, py, d: (1.0, 0.93, 0.9, 0.95), box)
    engrave(canvas, FONT_3X5, "EXIT", int(cx) - 7, y0 - 11, rgb(0x9AA3B0), 0.55, shadow=0.5)


def draw_grille(canvas):
    # Speaker slots to the right of the buttons.
    for i in range(5):
        y = 45.0 + i * 6.0
        slot = lambda px, py, y=y: sd_rrect(px, py, 219.0, y, 239.0, y + 2.6, 1.3)
        box = (217, y - 2, 241, y + 4)
        canvas.paint(lambda px, py, slot=slot: slot(px, py) + 0.8, shade_highlight_ring(slot, 0.25), box)
        canvas.paint(slot, lambda px, py, d: (0.01, 0.01, 0.015, 0.95), box)


def draw_screws(canvas):
    for cx, cy in ((20.5, 35.5), (236.5, 35.5)):
        box = (cx - 6, cy - 6, cx + 6, cy + 6)
        head = lambda px, py, cx=cx, cy=cy: sd_circle(px, py, cx, cy, 3.2)
        shadow = lambda px, py, head=head: head(px, py) - 0.8
        canvas.paint(shadow, lambda px, py, d: (0.0, 0.0, 0.0, 0.55), box)

        def shade_head(px, py, d, cx=cx, cy=cy, head=head):
            t = clamp((px - cx + py - cy) / 9.0 + 0.5)
            c = mix3(rgb(0x8A919C), rgb(0x30343B), t)
            return (c[0], c[1], c[2], 1.0)

        canvas.paint(head, shade_head, box)
        slot = lambda px, py, cx=cx, cy=cy: sd_segment(px, py, cx - 2.2, cy + 1.2, cx + 2.2, cy - 1.2, 0.45)
        canvas.paint(slot, lambda px, py, d: (0.08, 0.08, 0.1, 0.9), box)


def draw_well(canvas):
    box = (3, 172, 78, 252)
    canvas.paint(lambda px, py: well_sdf(px, py) + 1.0, shade_highlight_ring(well_sdf, 0.3), box)

    def shade_floor(px, py, d):
        dx = (px - VIEW_CX) / 40.0
        dy = (py - VIEW_CY) / 40.0
        r = clamp(math.sqrt(dx * dx + dy * dy))
        c = mix3(rgb(0x0E1A24), rgb(0x020305), r)
        return (c[0], c[1], c[2], 1.0)

    canvas.paint(well_sdf, shade_floor, box)
    canvas.paint(well_sdf, shade_inset(well_sdf, 0.0), box)
    # Faint guide circle the ring of characters turns on.
    ring = lambda px, py: abs(sd_circle(px, py, VIEW_CX, VIEW_CY, 27.0)) - 0.35
    canvas.paint(ring, lambda px, py, d: (ACCENT_DEEP[0], ACCENT_DEEP[1], ACCENT_DEEP[2], 0.18), box)


def draw_screen(canvas):
    box = (12, 78, 246, 242)
    # Chamfer around the glass, lit on its lower right.
    canvas.paint(lambda px, py: screen_sdf(px, py) - 2.0, shade_highlight_ring(screen_sdf, 0.22), box)
    canvas.paint(lambda px, py: screen_sdf(px, py) - 1.2, lambda px, py, d: (0.0, 0.0, 0.0, 0.85), box)
    canvas.erase(screen_sdf, box)

    def shade_glass(px, py, d):
        # Inner shadow along the top and left of the glass.
        gx, gy = gradient(screen_sdf, px, py)
        depth = 1.0 - clamp(-d / 6.0)
        shadow = depth * depth * clamp(0.35 + 0.5 * (gx * LIGHT_X + gy * LIGHT_Y)) * 0.7
        # A soft diagonal reflection across the upper left.
        band = px * 0.55 + py
        sheen = 0.0
        if 150.0 < band < 185.0:
            sheen = 0.055 * (1.0 - abs(band - 167.5) / 17.5)
        if shadow >= sheen:
            return (0.0, 0.0, 0.0, shadow)
        return (0.85, 0.95, 1.0, sheen)

    canvas.paint(screen_sdf, shade_glass, box)


def draw_name(canvas):
    text = "veltrane::music"
    w = text_width(FONT_5X7, text)
    x = 128 - (w + 1) // 2
    # A dark name plate sunk into the tab.
    plate = lambda px, py: sd_rrect(px, py, x - 8, 8.5, x + w + 8, 24.5, 4)
    box = (x - 10, 6, x + w + 10, 27)
    canvas.paint(lambda px, py: plate(px, py) + 1.0, shade_highlight_ring(plate, 0.25), box)
    canvas.paint(plate, lambda px, py, d: (0.05, 0.055, 0.07, 1.0), box)
    canvas.paint(plate, shade_inset(plate, 0.0), box)
    engrave(canvas, FONT_5X7, text, x, 13, rgb(0xC9D3DE), 0.8)
    # The two colons in the accent colour.
    for i, ch in enumerate(text):
        if ch == ":":
            engrave(canvas, FONT_5X7, ":", x + i * 6, 13, ACCENT, 1.0)


def draw_skin():
    canvas = Canvas(256, 256)
    canvas.paint(outer_sdf, shade_frame)
    draw_screen(canvas)
    draw_buttons(canvas)
    draw_close(canvas)
    draw_grille(canvas)
    draw_screws(canvas)
    draw_well(canvas)
    draw_name(canvas)
    return canvas


# ------------------------------------------------------------------ corner

def draw_corner():
    """Overlay for the lower right of the screen: corner marks on the glass and an engraving on the
    frame below it. Everything else stays transparent so the titles show."""
    canvas = Canvas(128, 128)

    def local(sdf):
        return lambda px, py: sdf(px + CORNER_X, py + CORNER_Y)

    # Corner marks just inside the glass.
    marks = local(lambda px, py: min(sd_segment(px, py, 224.0, 232.0, 236.0, 232.0, 0.5),
                                     sd_segment(px, py, 236.0, 220.0, 236.0, 232.0, 0.5)))
    canvas.paint(marks, lambda px, py, d: (ACCENT[0], ACCENT[1], ACCENT[2], 0.45), (90, 95, 112, 115))

    # A level meter of small cells along the right side of the glass, fading towards the top.
    for i in range(8):
        y = 210.0 - i * 6.0
        cell = local(lambda px, py, y=y: sd_rrect(px, py, 231.0, y, 236.0, y + 3.5, 0.8))
        alpha = 0.42 - 0.03 * i
        colour = ACCENT if i < 6 else rgb(0xFF4A3A)
        canvas.paint(cell, lambda px, py, d, c=colour, a=alpha: (c[0], c[1], c[2], a),
                     (100, y - CORNER_Y - 2, 110, y - CORNER_Y + 6))

    text = "4 VOICES . 50 HZ . AHX"
    w = text_width(FONT_3X5, text)
    engrave(canvas, FONT_3X5, text, 240 - CORNER_X - w, 240 - CORNER_Y, rgb(0x8A94A2), 0.6,
            shadow=0.55)
    return canvas


# -------------------------------------------------------------------- icon

def draw_icon():
    canvas = Canvas(32, 32)
    tile = lambda px, py: sd_rrect(px, py, 1, 1, 31, 31, 6)

    def shade_tile(px, py, d):
        t = clamp(py / 32.0)
        c = mix3(rgb(0x4E5560), rgb(0x16191E), t)
        light = bevel_light(tile, px, py, d, 1.5, 0.4)
        return (clamp(c[0] + light), clamp(c[1] + light), clamp(c[2] + light * 1.1), 1.0)

    canvas.paint(tile, shade_tile)
    glass = lambda px, py: sd_circle(px, py, 16.0, 16.0, 11.5)
    canvas.paint(glass, lambda px, py, d: (0.02, 0.04, 0.06, 1.0))
    ring = lambda px, py: abs(sd_circle(px, py, 16.0, 16.0, 9.5)) - 0.9
    canvas.paint(ring, lambda px, py, d: (0.95, 0.16, 0.12, 1.0))
    core, halo = glow_shade(ACCENT, ACCENT_DEEP, 0.3)
    t = triangle_right(17.0, 16.0, 7.5, 9.0)
    canvas.paint(lambda px, py: sd_convex(px, py, t) - 1.2, halo)
    canvas.paint(lambda px, py: sd_convex(px, py, t), core)
    return canvas


# ------------------------------------------------------------------ output

def targa(canvas):
    """Uncompressed 32-bit Targa with the 2.0 footer, rows from the bottom up."""
    header = struct.pack("<BBBHHBHHHHBB", 0, 0, 2, 0, 0, 0, 0, 0, canvas.width, canvas.height, 32, 0x08)
    rgba = canvas.bytes_rgba()
    stride = canvas.width * 4
    pixels = bytearray()
    for y in range(canvas.height - 1, -1, -1):
        row = rgba[y * stride:(y + 1) * stride]
        for x in range(0, stride, 4):
            pixels += bytes((row[x + 2], row[x + 1], row[x], row[x + 3]))
    footer = struct.pack("<II", 0, 0) + b"TRUEVISION-XFILE.\0"
    return header + bytes(pixels) + footer


def outline_mask(canvas):
    return enclosed([p[3] >= 0.5 for p in canvas.px], canvas.width, canvas.height)


def enclosed(opaque, w, h):
    """The window's shape: every pixel not reachable from the image border through transparent
    pixels. The screen is transparent too but lies inside the frame, so it stays part of the window."""
    outside = [False] * (w * h)
    stack = [i for i in range(w * h) if (i % w in (0, w - 1) or i // w in (0, h - 1)) and not opaque[i]]
    for i in stack:
        outside[i] = True
    while stack:
        i = stack.pop()
        x = i % w
        y = i // w
        for nx, ny in ((x - 1, y), (x + 1, y), (x, y - 1), (x, y + 1)):
            if 0 <= nx < w and 0 <= ny < h:
                j = ny * w + nx
                if not outside[j] and not opaque[j]:
                    outside[j] = True
                    stack.append(j)
    return [not o for o in outside]


def region_rects(mask, w, h):
    """Runs of each scan line; consecutive lines with the same runs merge into one band."""
    rects = []
    open_band = None  # (runs, top)
    for y in range(h + 1):
        runs = []
        if y < h:
            x = 0
            while x < w:
                if mask[y * w + x]:
                    start = x
                    while x < w and mask[y * w + x]:
                        x += 1
                    runs.append((start, x))
                else:
                    x += 1
        if open_band is not None and open_band[0] != runs:
            for left, right in open_band[0]:
                rects.append((left, open_band[1], right, y))
            open_band = None
        if open_band is None and runs:
            open_band = (runs, y)
    rects.sort(key=lambda r: (r[1], r[0]))
    return rects


def region_data(rects):
    left = min(r[0] for r in rects)
    top = min(r[1] for r in rects)
    right = max(r[2] for r in rects)
    bottom = max(r[3] for r in rects)
    out = struct.pack("<IIII", 32, 1, len(rects), len(rects) * 16)
    out += struct.pack("<iiii", left, top, right, bottom)
    for r in rects:
        out += struct.pack("<iiii", *r)
    return out


def icon(canvas):
    """A one-image .ico: 32-bit BGRA bitmap (bottom-up, doubled height) and its AND mask."""
    w = canvas.width
    h = canvas.height
    rgba = canvas.bytes_rgba()
    xor = bytearray()
    for y in range(h - 1, -1, -1):
        for x in range(w):
            i = (y * w + x) * 4
            xor += bytes((rgba[i + 2], rgba[i + 1], rgba[i], rgba[i + 3]))
    mask_stride = ((w + 31) // 32) * 4
    mask = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray(mask_stride)
        for x in range(w):
            if rgba[(y * w + x) * 4 + 3] == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += row
    bitmap = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = bitmap + bytes(xor) + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", w, h, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


def apply_mask(canvas, mask):
    for i, inside in enumerate(mask):
        if not inside:
            canvas.px[i] = [0.0, 0.0, 0.0, 0.0]


def check_zones(mask, w):
    for zone in (ZONE_PREVIOUS, ZONE_PAUSE, ZONE_RESUME, ZONE_NEXT, ZONE_CLOSE):
        x0, y0, x1, y1 = zone
        for y in range(y0, y1):
            for x in range(x0, x1):
                if not mask[y * w + x]:
                    sys.exit("make_art: click zone %r is not inside the outline" % (zone,))


def preview(canvas, path, backdrop=None, scale=2):
    from PIL import Image  # only the previews need Pillow

    image = Image.frombytes("RGBA", (canvas.width, canvas.height), canvas.bytes_rgba())
    if backdrop is not None:
        image = Image.alpha_composite(backdrop.convert("RGBA"), image)
    image.resize((canvas.width * scale, canvas.height * scale), Image.NEAREST).save(path)


def scene_backdrop(mask):
    """Stand-in for what the program draws behind the skin: black, with a few lines of text."""
    from PIL import Image, ImageDraw

    image = Image.new("RGBA", (256, 256), (0, 0, 0, 255))
    draw = ImageDraw.Draw(image)
    for i in range(10):
        draw.text((98, 80 + i * 12), "Track title %d" % (i + 1), fill=(200, 200, 200, 255))
    draw.text((70, 192), "SELECTED TITLE FLIES", fill=(255, 255, 255, 255))
    for i, inside in enumerate(mask):
        if not inside:
            image.putpixel((i % 256, i // 256), (255, 0, 255, 255))
    return image


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out_dir")
    parser.add_argument("--preview", metavar="DIR", help="also write PNG previews there")
    args = parser.parse_args()

    skin = draw_skin()
    mask = outline_mask(skin)
    check_zones(mask, skin.width)
    apply_mask(skin, mask)
    rects = region_rects(mask, skin.width, skin.height)
    corner = draw_corner()
    ico = draw_icon()

    os.makedirs(args.out_dir, exist_ok=True)
    outputs = {
        "skin.tga": targa(skin),
        "corner.tga": targa(corner),
        "skin.rgn": region_data(rects),
        "icon.ico": icon(ico),
    }
    for name, data in outputs.items():
        with open(os.path.join(args.out_dir, name), "wb") as f:
            f.write(data)
    print("make_art: %d outline rectangles, bounds %r" % (len(rects), struct.unpack_from("<iiii",
          outputs["skin.rgn"], 16)))

    if args.preview:
        os.makedirs(args.preview, exist_ok=True)
        from PIL import Image

        backdrop = scene_backdrop(mask)
        preview(skin, os.path.join(args.preview, "skin.png"))
        full = Canvas(256, 256)
        full.px = [list(p) for p in skin.px]
        for y in range(128):
            for x in range(128):
                src = corner.px[y * 128 + x]
                dst = full.px[(CORNER_Y + y) * 256 + CORNER_X + x]
                keep = 1.0 - src[3]
                for c in range(4):
                    dst[c] = src[c] + dst[c] * keep
        preview(full, os.path.join(args.preview, "window.png"), backdrop, scale=3)
        preview(corner, os.path.join(args.preview, "corner.png"), scale=2)
        grey = Image.new("RGBA", (32, 32), (200, 200, 200, 255))
        preview(ico, os.path.join(args.preview, "icon.png"), grey, scale=8)


if __name__ == "__main__":
    main()
