#!/usr/bin/python3
"""A content pack: the folder a musicdisk is made from.

A pack is a folder with a manifest, musicdisk.txt, that names the disk, its
texts, its art and its ten tracks, one entry per line (blank lines and lines
starting with # are skipped, paths are relative to the file naming them):

    name       Pixel Harbour
    copyright  Copyright 2026 the Pixel Harbour crew
    scroll     scroll.txt           the scroll text (UTF-8, one line)
    skin       art/skin.tga         optional: 256x256 32-bit Targa
    corner     art/corner.tga       optional: 128x128 32-bit Targa
    outline    art/skin.rgn         optional: region data; else the skin's alpha
    icon       art/icon.ico         optional: an .ico with a 32x32 image
    track      songs/one.ahx  First Light
    track      songs/two.ahxt Second Wind   (.ahxt: the text form, compiled)
    include    songs/tracks.txt     more entries from another file

Art a pack leaves out comes from the shipped disk's pack, resources/.

    musicdisk_pack.py check PACK --ahx AHX [--stage DIR]
        checks everything before a build, each problem as FILE[:LINE]: what is
        wrong, all at once, and exits 2 when there is any. With --stage it
        writes the pack as the build takes it into DIR: songs compiled, art
        resolved, the outline made.
    musicdisk_pack.py name PACK
        prints the disk's name.
    musicdisk_pack.py configure PACK --out-dir DIR
        what the build reads (CMake at configure time): DIR/musicdisk_pack.cmake,
        the program's resource ids as DIR/resource_ids.h and the generated
        sources of the titles, the scroll text and the name.
"""

import argparse
import os
import re
import struct
import subprocess
import sys
import tempfile

ROOT = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
DEFAULT_PACK = os.path.join(ROOT, "resources")
MANIFEST = "musicdisk.txt"

# The program's resource ids, written here only: the resource script, the
# embedded table and resource_ids.h are all made from them. Each piece of art
# by its manifest key: its resource type, id and name in resource_ids.h.
ART_RESOURCES = (("skin", "SKIN", 101, "kSkinId"), ("corner", "TGA", 109, "kCornerId"),
                 ("outline", "SKINREGION", 111, "kSkinRegionId"), ("icon", "ICON", 135, "kIconId"))
# Ten tracks, always under these "AHX" resource ids, in disk order.
TRACK_RESOURCE_IDS = (126, 127, 128, 129, 130, 131, 132, 136, 137, 139)
# The program's texts are drawn from one 8-bit code page.
CODE_PAGE = "cp1252"
# The title list draws each title into a texture of this width, with this
# face at this character height, so a wider title is cut off.
TITLE_TEXTURE_WIDTH = 256
TITLE_FONT = "/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf"  # Arial's metrics
TITLE_FONT_PIXELS = 16
# The scroller has a glyph for every code but 0 and 255; control codes draw nothing.
SCROLL_GLYPHS = set(range(32, 255)) - {127}
SKIN_SIZE = (256, 256)
CORNER_SIZE = (128, 128)
ICON_SIZE = 32
# Below this peak (about -60 dBFS) a song counts as silent.
SILENT_PEAK = 33
SILENCE_SECONDS = 60

SINGLE_KEYS = ("name", "copyright", "scroll", "skin", "corner", "outline", "icon")
ART_KEYS = ("skin", "corner", "outline", "icon")


class Entry:
    def __init__(self, value, where, base):
        self.value = value
        self.where = where  # "FILE:LINE"
        self.base = base

    def path(self):
        return os.path.normpath(os.path.join(self.base, self.value))


class Pack:
    """A manifest as read, with the problems found while reading it."""

    def __init__(self, folder):
        folder = os.path.abspath(folder)
        self.manifest = folder if os.path.isfile(folder) else os.path.join(folder, MANIFEST)
        self.folder = os.path.dirname(self.manifest)
        self.entries = {}
        self.tracks = []  # (Entry of the song, title)
        self.problems = []
        self.files_read = []
        self.unreadable = False
        self._read(self.manifest, [])

    def problem(self, where, message):
        self.problems.append("%s: %s" % (where, message))

    def _read(self, path, including):
        where = shown(path)
        try:
            with open(path, "rb") as f:
                data = f.read()
        except OSError as error:
            self.problem(where, "cannot be read (%s)" % (error.strerror or error))
            self.unreadable = True
            return
        try:
            text = data.decode("utf-8-sig")
        except UnicodeDecodeError as error:
            line = data[:error.start].count(b"\n") + 1
            self.problem("%s:%d" % (where, line), "is not UTF-8 text")
            self.unreadable = True
            return
        self.files_read.append(path)
        base = os.path.dirname(path)
        for number, line in enumerate(text.splitlines(), 1):
            where = "%s:%d" % (shown(path), number)
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            key, rest = (line.split(None, 1) + [""])[:2]
            if key == "track":
                song, title = (rest.split(None, 1) + [""])[:2]
                if not song:
                    self.problem(where, "a track needs a song file and a title")
                    continue
                self.tracks.append((Entry(song, where, base), Entry(title, where, base)))
            elif key == "include":
                target = os.path.normpath(os.path.join(base, rest))
                if target in including or target == path:
                    self.problem(where, "includes itself")
                else:
                    self._read(target, including + [path])
            elif key in SINGLE_KEYS:
                if not rest:
                    self.problem(where, "'%s' needs a value" % key)
                elif key in self.entries:
                    self.problem(where, "'%s' is given twice (first at %s)" % (key, self.entries[key].where))
                else:
                    self.entries[key] = Entry(rest, where, base)
            else:
                self.problem(where, "unknown entry '%s'; a line is one of %s, track, include"
                             % (key, ", ".join(SINGLE_KEYS)))

    def check_shape(self):
        """What the build itself needs: the required entries, ten tracks, the
        texts in the code page and every file there."""
        if self.unreadable:
            return
        manifest = shown(self.manifest)
        for key in ("name", "scroll"):
            if key not in self.entries:
                self.problem(manifest, "no '%s' line" % key)
        if len(self.tracks) != len(TRACK_RESOURCE_IDS):
            self.problem(manifest, "%d tracks; a disk has exactly %d" % (len(self.tracks), len(TRACK_RESOURCE_IDS)))
        for key in ("name", "copyright"):
            if key in self.entries:
                self.check_code_page(self.entries[key], "the %s" % key)
        for song, title in self.tracks:
            if not title.value:
                self.problem(title.where, "the track has no title")
            else:
                self.check_code_page(title, "the title")
            if os.path.splitext(song.value)[1] not in (".ahx", ".ahxt"):
                self.problem(song.where, "'%s' is neither a song (.ahx) nor its text form (.ahxt)" % song.value)
            elif not os.path.isfile(song.path()):
                self.problem(song.where, "'%s' does not exist" % song.value)
        for key in ("scroll",) + ART_KEYS:
            entry = self.entries.get(key)
            if entry is not None and not os.path.isfile(entry.path()):
                self.problem(entry.where, "'%s' does not exist" % entry.value)

    def check_code_page(self, entry, what):
        bad = sorted({c for c in entry.value if not encodable(c)})
        if bad:
            self.problem(entry.where, "%s '%s' has %s, not in the 8-bit code page (%s)"
                         % (what, entry.value, " ".join(repr(c) for c in bad), CODE_PAGE))

    def art(self, key, default):
        """The file of an optional image: the pack's own, or the default pack's."""
        entry = self.entries.get(key)
        if entry is not None:
            return entry.path()
        return default.entries[key].path() if default is not None else None

    def scroll_text(self):
        """The scroll text as one line, or None after reporting why not."""
        entry = self.entries["scroll"]
        where = shown(entry.path())
        with open(entry.path(), "rb") as f:
            data = f.read()
        try:
            text = data.decode("utf-8-sig")
        except UnicodeDecodeError as error:
            self.problem("%s:%d" % (where, data[:error.start].count(b"\n") + 1), "is not UTF-8 text")
            return None
        text = text[:-1] if text.endswith("\n") else text
        text = text[:-1] if text.endswith("\r") else text
        if not text:
            self.problem(where, "the scroll text is empty")
        line = 1
        for column, c in enumerate(text, 1):
            if c == "\n":
                self.problem("%s:%d" % (where, line), "the scroll text is one line; this one breaks")
                line += 1
            elif not encodable(c) or c.encode(CODE_PAGE)[0] not in SCROLL_GLYPHS:
                self.problem("%s:%d" % (where, line), "%r (column %d) has no glyph in the scroller" % (c, column))
        return text


def shown(path):
    """A path as the user is told it: from here when it is below here."""
    relative = os.path.relpath(path)
    return path if relative.startswith("..") else relative


def encodable(c):
    try:
        c.encode(CODE_PAGE)
        return True
    except UnicodeEncodeError:
        return False


def read_default_pack():
    pack = Pack(DEFAULT_PACK)
    return pack if not pack.problems else None


# ------------------------------------------------------------------ art

def read_targa(path):
    """(width, height, bits, alpha rows top-down) or a reason it is not an
    image the program draws: uncompressed true colour, no ID, colour map or
    origin offset, all its pixels there."""
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 18:
        return "is too short for a Targa header"
    id_length, map_type, kind = data[0], data[1], data[2]
    x0, y0, width, height, bits, descriptor = struct.unpack_from("<HHHHBB", data, 8)
    if kind != 2 or map_type != 0 or id_length != 0 or x0 or y0:
        return "is not an uncompressed true-colour Targa without ID, colour map or origin offset"
    if bits not in (24, 32) or width == 0 or height == 0:
        return "is not a 24- or 32-bit image of some size"
    if len(data) < 18 + width * height * bits // 8:
        return "holds fewer pixels than its header announces"
    rows = []
    if bits == 32:
        stride = width * 4
        for row in range(height):
            start = 18 + row * stride
            rows.append(data[start + 3:start + stride:4])
        if not descriptor & 0x20:
            rows.reverse()  # stored bottom row first
    return width, height, bits, rows


def check_image(pack, key, path, size):
    where = pack.entries[key].where if key in pack.entries else shown(path)
    image = read_targa(path)
    if isinstance(image, str):
        pack.problem(where, "%s %s" % (shown(path), image))
        return None
    width, height, bits, rows = image
    if (width, height) != size or bits != 32:
        pack.problem(where, "%s is %dx%d at %d bits; the %s is %dx%d at 32 bits"
                     % (shown(path), width, height, bits, key, size[0], size[1]))
        return None
    return rows


def check_icon(pack, path):
    where = pack.entries["icon"].where if "icon" in pack.entries else shown(path)
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 6 or struct.unpack_from("<HHH", data, 0)[:2] != (0, 1):
        pack.problem(where, "%s is not an icon file (.ico)" % shown(path))
        return
    count = struct.unpack_from("<H", data, 4)[0]
    sizes = []
    for i in range(count):
        if 6 + 16 * (i + 1) > len(data):
            break
        width, height, _, _, _, _, size, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        if offset + size <= len(data):
            sizes.append((width or 256, height or 256))
    if (ICON_SIZE, ICON_SIZE) not in sizes:
        pack.problem(where, "%s has no whole %dx%d image" % (shown(path), ICON_SIZE, ICON_SIZE))


def read_outline(data):
    """The rectangles of region data, or None."""
    if len(data) < 32:
        return None
    size, kind, count, _ = struct.unpack_from("<IIII", data, 0)
    if size != 32 or kind != 1 or len(data) < 32 + 16 * count:
        return None
    return [struct.unpack_from("<iiii", data, 32 + 16 * i) for i in range(count)]


def outline_from_alpha(rows):
    """Region data of the skin's shape, made as the shipped outline is: its
    opaque pixels and whatever they enclose, such as the screen."""
    sys.path.insert(0, os.path.join(ROOT, "resources", "art"))
    import make_art

    width, height = len(rows[0]), len(rows)
    mask = make_art.enclosed([alpha >= 128 for row in rows for alpha in row], width, height)
    return make_art.region_data(make_art.region_rects(mask, width, height))


def zones():
    sys.path.insert(0, os.path.join(ROOT, "resources", "art"))
    import make_art

    return {"previous": make_art.ZONE_PREVIOUS, "pause": make_art.ZONE_PAUSE, "resume": make_art.ZONE_RESUME,
            "next": make_art.ZONE_NEXT, "close": make_art.ZONE_CLOSE}


def check_outline(pack, where, data):
    rects = read_outline(data)
    if rects is None:
        pack.problem(where, "is not region data (a 32-byte header of type 1 and its rectangles)")
        return
    for name, (x0, y0, x1, y1) in zones().items():
        outside = [(x, y) for y in range(y0, y1) for x in range(x0, x1)
                   if not any(r[0] <= x < r[2] and r[1] <= y < r[3] for r in rects)]
        if outside:
            pack.problem(where, "the %s button (%d,%d)-(%d,%d) is not wholly inside the outline; "
                         "(%d,%d) is outside" % (name, x0, y0, x1, y1, outside[0][0], outside[0][1]))


def resolve_outline(pack, default, skin_rows):
    """The outline's bytes and where they came from: given, made from the
    pack's own skin, or the default pack's."""
    if "outline" in pack.entries:
        with open(pack.entries["outline"].path(), "rb") as f:
            return f.read(), "%s: %s" % (pack.entries["outline"].where, pack.entries["outline"].value)
    if "skin" in pack.entries and skin_rows is not None:
        return outline_from_alpha(skin_rows), "%s: the outline made from the skin's alpha" % pack.entries["skin"].where
    with open(pack.art("outline", default), "rb") as f:
        return f.read(), shown(pack.art("outline", default))


# ---------------------------------------------------------------- titles

def title_width(title):
    """Pixels the title takes in the title list; '&&' draws one ampersand and
    a lone '&' none."""
    from PIL import ImageFont

    drawn = title.replace("&&", "\0").replace("&", "").replace("\0", "&")
    return ImageFont.truetype(TITLE_FONT, TITLE_FONT_PIXELS).getlength(drawn)


def check_title_widths(pack):
    for _, title in pack.tracks:
        if title.value and all(encodable(c) for c in title.value):
            width = title_width(title.value)
            if width > TITLE_TEXTURE_WIDTH:
                pack.problem(title.where, "the title '%s' is %.0f pixels wide; the title list shows %d"
                             % (title.value, width, TITLE_TEXTURE_WIDTH))


# ----------------------------------------------------------------- songs

def check_songs(pack, ahx, songs_dir):
    """Compiles the text forms into songs_dir, loads every song with the
    program's loader and listens for sound; answers the songs' files."""
    files = []
    for index, (song, _) in enumerate(pack.tracks):
        path = song.path()
        if not os.path.isfile(path):
            files.append(None)
            continue
        if path.endswith(".ahxt"):
            compiled = os.path.join(songs_dir, "track%02d.ahx" % (index + 1))
            run = subprocess.run([ahx, "compile", path, "-o", compiled], capture_output=True, text=True)
            if run.returncode != 0:
                # The compiler names the line of the text form that is wrong.
                for line in run.stderr.strip().splitlines() or ["does not compile"]:
                    at = re.match(r"(.*):(\d+): (.*)", tool_message(line))
                    if at and os.path.isfile(at.group(1)):
                        pack.problem("%s:%s" % (shown(at.group(1)), at.group(2)), at.group(3))
                    else:
                        pack.problem(song.where, "'%s' does not compile: %s" % (song.value, tool_message(line)))
                files.append(None)
                continue
            path = compiled
        run = subprocess.run([ahx, "info", path], capture_output=True, text=True)
        if run.returncode != 0:
            reason = tool_message((run.stderr.strip().splitlines() or ["does not load"])[-1])
            pack.problem(song.where, "'%s' does not load: %s" % (song.value, reason.removeprefix(path + ": ")))
            files.append(None)
            continue
        run = subprocess.run([ahx, "render", path, "--seconds", str(SILENCE_SECONDS), "--raw", "-o", "-"],
                             capture_output=True)
        samples = struct.unpack("<%dh" % (len(run.stdout) // 2), run.stdout[:len(run.stdout) // 2 * 2])
        if run.returncode != 0 or not samples or max(abs(s) for s in samples) < SILENT_PEAK:
            pack.problem(song.where, "'%s' is silent for its first %d seconds" % (song.value, SILENCE_SECONDS))
        files.append(path)
    return files


def tool_message(line):
    """A line of the ahx tool's without the tool's and the command's name."""
    return re.sub(r"^ahx( \w+)?: ", "", line)


# ---------------------------------------------------------------- output

def c_string(text):
    """Text in the code page as the body of a C string literal; octal
    escapes, because a hexadecimal one would swallow the digits after it."""
    out = []
    for byte in text.encode(CODE_PAGE):
        c = chr(byte)
        if c in "\\\"":
            out.append("\\" + c)
        elif 0x20 <= byte < 0x7F and c != "?":
            out.append(c)
        else:
            out.append("\\%03o" % byte)
    return "".join(out)


def rc_string(text):
    return c_string(text)


def cmake_string(text):
    return '"%s"' % cmake_escape(text)


def cmake_list(items):
    return '"%s"' % ";".join(cmake_escape(item) for item in items)


def cmake_escape(text):
    return text.replace("\\", "\\\\").replace('"', '\\"').replace("$", "\\$").replace(";", "\\;")


def write_if_changed(path, content):
    """Text or bytes, written only when they changed, so a re-configure rebuilds nothing."""
    mode = "b" if isinstance(content, bytes) else ""
    encoding = None if mode else "utf-8"
    previous = None
    if os.path.exists(path):
        with open(path, "r" + mode, encoding=encoding) as f:
            previous = f.read()
    if previous != content:
        with open(path, "w" + mode, encoding=encoding) as f:
            f.write(content)


def configure(pack, default, out_dir):
    """The files the build reads, or False after reporting what stops it."""
    pack.check_shape()
    for song, _ in pack.tracks:
        if song.value.endswith(".ahxt"):
            pack.problem(song.where, "'%s' is a text form; scripts/make_musicdisk.sh compiles it before the build"
                         % song.value)
    text = pack.scroll_text() if "scroll" in pack.entries and os.path.isfile(pack.entries["scroll"].path()) else None
    if pack.problems:
        return False
    os.makedirs(out_dir, exist_ok=True)
    skin = pack.art("skin", default)
    outline = pack.art("outline", default)
    if "outline" not in pack.entries and "skin" in pack.entries:
        rows = read_targa(skin)
        if isinstance(rows, str) or rows[2] != 32:
            pack.problem(pack.entries["skin"].where, "%s is not a 32-bit Targa with an alpha channel" % skin)
            return False
        outline = os.path.join(out_dir, "outline.rgn")
        write_if_changed(outline, outline_from_alpha(rows[3]))
    name = pack.entries["name"].value
    copyright_line = pack.entries["copyright"].value if "copyright" in pack.entries else ""
    files = [pack.entries[key].path() for key in ("scroll",) + ART_KEYS if key in pack.entries]
    files += [song.path() for song, _ in pack.tracks]

    lines = ["# Written by scripts/musicdisk_pack.py from %s" % pack.manifest]
    lines.append("set(VELTRANE_DISK_NAME %s)" % cmake_string(name))
    lines.append("set(VELTRANE_DISK_NAME_RC %s)" % cmake_string(rc_string(name)))
    lines.append("set(VELTRANE_DISK_NAME_XML %s)" % cmake_string(
        name.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")))
    lines.append("set(VELTRANE_COPYRIGHT_RC %s)" % cmake_string(rc_string(copyright_line)))
    lines.append("set(VELTRANE_DISK_FILE_NAME %s)" % cmake_string(file_name(name)))
    art = {"skin": skin, "corner": pack.art("corner", default), "outline": outline,
           "icon": pack.art("icon", default)}
    lines.append("set(VELTRANE_ART_RESOURCES %s)" % cmake_list(
        "%s|%d|%s" % (kind, i, art[key]) for key, kind, i, _ in ART_RESOURCES))
    lines.append("set(VELTRANE_TRACK_RESOURCES %s)" % cmake_list(
        "AHX|%d|%s" % (i, song.path()) for i, (song, _) in zip(TRACK_RESOURCE_IDS, pack.tracks)))
    lines.append("set(VELTRANE_PACK_INPUTS %s)" % cmake_list(sorted(set(pack.files_read + files))))
    write_if_changed(os.path.join(out_dir, "musicdisk_pack.cmake"), "\n".join(lines) + "\n")

    write_if_changed(os.path.join(out_dir, "track_titles.inc"),
                     "".join('    "%s",\n' % c_string(title.value) for _, title in pack.tracks))
    write_if_changed(os.path.join(out_dir, "resource_ids.h"), resource_ids_header())
    write_if_changed(os.path.join(out_dir, "disk_name.inc"), '    "%s"\n' % c_string(name))
    body = c_string(text)
    # Lines of 72 characters keep the generated source readable; never split an escape.
    chunks, chunk = [], ""
    for piece in split_escapes(body):
        if len(chunk) + len(piece) > 72:
            chunks.append(chunk)
            chunk = ""
        chunk += piece
    chunks.append(chunk)
    write_if_changed(os.path.join(out_dir, "scroll_text.inc"), "".join('    "%s"\n' % c for c in chunks))
    return True


def resource_ids_header():
    lines = ["// Written by scripts/musicdisk_pack.py, whose table the resource script and",
             "// the embedded resources are made from too.",
             "#pragma once", "", "#include <cstdint>", "", "namespace resources {", ""]
    ids = ["inline constexpr int32_t %s = %d;" % (name, i) for _, _, i, name in ART_RESOURCES]
    width = max(len(line) for line in ids)
    lines += ['%-*s  // "%s"' % (width, line, kind) for line, (_, kind, _, _) in zip(ids, ART_RESOURCES)]
    lines.append('// "AHX": the tracks\' songs, in disk order.')
    lines.append("inline constexpr int32_t kTrackIds[] = {%s};" % ", ".join(str(i) for i in TRACK_RESOURCE_IDS))
    lines += ["", "}  // namespace resources"]
    return "\n".join(lines) + "\n"


def split_escapes(body):
    i = 0
    while i < len(body):
        if body[i] == "\\":
            size = 4 if body[i + 1].isdigit() else 2
            yield body[i:i + size]
            i += size
        else:
            yield body[i]
            i += 1


def check(pack, default, ahx, stage):
    pack.check_shape()
    if "scroll" in pack.entries and os.path.isfile(pack.entries["scroll"].path()):
        pack.scroll_text()
    check_title_widths(pack)
    skin_rows = None
    skin = pack.art("skin", default)
    if skin and os.path.isfile(skin):
        skin_rows = check_image(pack, "skin", skin, SKIN_SIZE)
    corner = pack.art("corner", default)
    if corner and os.path.isfile(corner):
        check_image(pack, "corner", corner, CORNER_SIZE)
    icon = pack.art("icon", default)
    if icon and os.path.isfile(icon):
        check_icon(pack, icon)
    outline = None
    given = pack.entries.get("outline")
    # A skin of the wrong size has no outline to make; its problem is reported.
    if (given and os.path.isfile(given.path())) or (not given and ("skin" not in pack.entries or skin_rows)):
        outline, where = resolve_outline(pack, default, skin_rows)
        check_outline(pack, where, outline)
    with tempfile.TemporaryDirectory() as scratch:
        songs_dir = os.path.join(stage, "songs") if stage else scratch
        os.makedirs(songs_dir, exist_ok=True)
        songs = check_songs(pack, ahx, songs_dir)
    if pack.problems or not stage:
        return
    # The pack as the build takes it: every path absolute, songs compiled.
    if outline is not None and "outline" not in pack.entries:
        with open(os.path.join(stage, "outline.rgn"), "wb") as f:
            f.write(outline)
    out = ["# The pack %s, checked, as the build takes it." % pack.manifest]
    for key in SINGLE_KEYS:
        if key in ART_KEYS:
            path = os.path.join(stage, "outline.rgn") if key == "outline" and "outline" not in pack.entries \
                else pack.art(key, default)
            out.append("%s\t%s" % (key, path))
        elif key in pack.entries:
            out.append("%s\t%s" % (key, pack.entries[key].path() if key == "scroll" else pack.entries[key].value))
    for path, (_, title) in zip(songs, pack.tracks):
        out.append("track\t%s\t%s" % (os.path.abspath(path), title.value))
    with open(os.path.join(stage, MANIFEST), "w", encoding="utf-8") as f:
        f.write("\n".join(out) + "\n")
    with open(os.path.join(stage, "file-name"), "w") as f:
        f.write(file_name(pack.entries["name"].value) + "\n")


def file_name(name):
    """The disk's name as a file name: veltrane::music gives veltrane-music."""
    return re.sub(r"[^a-z0-9._]+", "-", name.lower()).strip("-.") or "musicdisk"


def problem_order(problem):
    """File by file, line by line."""
    match = re.match(r"([^:]*)(?::(\d+))?: ", problem)
    return (match.group(1), int(match.group(2) or 0)) if match else (problem, 0)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter, epilog=__doc__)
    parser.add_argument("command", choices=("check", "configure", "name"))
    parser.add_argument("pack", help="the pack's folder or its musicdisk.txt")
    parser.add_argument("--ahx", help="the ahx tool (check)")
    parser.add_argument("--stage", metavar="DIR", help="where the checked pack is written (check)")
    parser.add_argument("--out-dir", metavar="DIR", help="where the build's files are written (configure)")
    args = parser.parse_args()

    pack = Pack(args.pack)
    default = read_default_pack()
    if args.command == "name":
        if "name" in pack.entries:
            print(pack.entries["name"].value)
        pack.check_shape()
    elif args.command == "check":
        if not args.ahx:
            parser.error("check needs --ahx")
        check(pack, default, args.ahx, args.stage and os.path.abspath(args.stage))
    else:
        if not args.out_dir:
            parser.error("configure needs --out-dir")
        configure(pack, default, args.out_dir)
    for problem in sorted(pack.problems, key=problem_order):
        print(problem, file=sys.stderr)
    if pack.problems:
        print("%s: %d problem%s; nothing was built" % (shown(pack.manifest), len(pack.problems),
                                                      "" if len(pack.problems) == 1 else "s"), file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main())
