#!/usr/bin/env python3
"""Draws the editor artwork of Quorvel Veltrane from code.

Writes the seven PNG images of the editor (panel background and the frame
strips of the controls) into resources/img/.  Every shape is drawn
supersampled and reduced for anti-aliasing; labels are rendered at the final
size with FreeType hinting so that small type stays crisp.  The output is
deterministic: all texture noise comes from fixed seeds.

    python3 tools/artwork/make_artwork.py [--out DIR] [--preview FILE]
    python3 tools/artwork/make_artwork.py --check

--check writes nothing: it draws the images and compares their PNG bytes
with those in the output folder (exit 1 when any differs, 77 when Pillow is
missing).

Needs Pillow (Debian: python3-pil) and the Liberation fonts
(Debian: fonts-liberation2).
"""

import argparse
import io
import math
import os
import random
import re
import sys

try:
    from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont
except ImportError:          # reported by main(); --check counts it a skip
    Image = None

# ---------------------------------------------------------------------------
# Geometry of the editor: the rectangles where the plug-in places its
# controls (left, top, right, bottom; right and bottom exclusive), read from
# the table the layout code compiles (effect/editor/PanelGeometry.inc).  The
# panel artwork is laid out around these.
# ---------------------------------------------------------------------------

GEOMETRY = os.path.normpath(os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "..", "effect",
    "editor", "PanelGeometry.inc"))


def read_geometry(path):
    """(width, height) and the named rectangles of the geometry table."""
    size, rects = None, {}
    num = r"\s*(-?\d+)\s*"
    with open(path, encoding="utf-8") as f:
        for n, line in enumerate(f, 1):
            line = line.split("//", 1)[0].strip()
            if not line:
                continue
            m = re.fullmatch(r"PANEL_SIZE\(" + num + "," + num + r"\)", line)
            if m:
                size = (int(m.group(1)), int(m.group(2)))
                continue
            m = re.fullmatch(r"PANEL_RECT\(\s*(\w+)\s*," + num + "," + num +
                             "," + num + "," + num + r"\)", line)
            if not m:
                sys.exit("make_artwork: %s:%d: cannot read %r" % (path, n, line))
            rects[m.group(1)] = tuple(int(m.group(i)) for i in range(2, 6))
    if size is None or not rects:
        sys.exit("make_artwork: %s holds no panel size or rectangles" % path)
    return size, rects


(W, H), CONTROLS = read_geometry(GEOMETRY)

# Pixels per panel pixel of the images being drawn: 1 for the 1x set, 2 for
# the 2x set (set by draw_set).  Every shape is drawn in panel coordinates;
# only the supersampled canvases and the final sizes grow with Z.
Z = 1

VFADERS = ("rate", "mix_l", "mix_r", "vol_l", "vol_r")
HFADERS = ("fmin_l", "fmin_r", "fmax_l", "fmax_r")
HANDLE = 20          # handle size (both directions)

# Pointer angles of the rotary selectors, degrees clockwise from "up".
ARC = 270.0


def knob_angles(n):
    return [-ARC / 2 + i * ARC / (n - 1) for i in range(n)]


# ---------------------------------------------------------------------------
# Palette and type
# ---------------------------------------------------------------------------

METAL = (47, 49, 54)
TITLE_BG = (22, 23, 26)
LABEL = (222, 225, 230)
DIM = (150, 156, 166)
ACCENT = (240, 168, 62)
WIRE = (150, 184, 208)
WIRE_DIM = (104, 128, 146)
WELL = (15, 16, 18)

FONT_DIRS = (
    "/usr/share/fonts/truetype/liberation2",
    "/usr/share/fonts/truetype/liberation",
)
DEJAVU_DIR = "/usr/share/fonts/truetype/dejavu"


def find_font(name, fallback):
    for d in FONT_DIRS:
        p = os.path.join(d, name)
        if os.path.exists(p):
            return p
    p = os.path.join(DEJAVU_DIR, fallback)
    if os.path.exists(p):
        return p
    sys.exit("make_artwork: font %s not found "
             "(install fonts-liberation2)" % name)


SANS = find_font("LiberationSans-Regular.ttf", "DejaVuSans.ttf")
SANS_BOLD = find_font("LiberationSans-Bold.ttf", "DejaVuSans-Bold.ttf")
SERIF_ITALIC = find_font("LiberationSerif-Italic.ttf",
                         "DejaVuSerif-Italic.ttf")

_font_cache = {}


def font(path, size):
    key = (path, size)
    if key not in _font_cache:
        _font_cache[key] = ImageFont.truetype(path, size)
    return _font_cache[key]


def _title_end():
    f1, f2 = font(SANS, 24), font(SANS_BOLD, 24)
    return 18 + f1.getlength("Quorvel ") + 1 + f2.getlength("Veltrane")


# ---------------------------------------------------------------------------
# Small helpers
# ---------------------------------------------------------------------------

def lerp(a, b, t):
    return a + (b - a) * t


def mix(c1, c2, t):
    return tuple(int(round(lerp(a, b, t))) for a, b in zip(c1, c2))


def rgba(c, a=255):
    return (c[0], c[1], c[2], int(round(a)))


def clamp8(v):
    return 0 if v < 0 else 255 if v > 255 else int(v)


def noise_image(rnd, size, lo=0, hi=255):
    w, h = size
    span = hi - lo + 1
    data = bytes(lo + rnd.randrange(span) for _ in range(w * h))
    return Image.frombytes("L", size, data)


def reduce(img, s):
    """Supersampled RGBA or RGB image -> final size (premultiplied)."""
    w, h = img.size[0] // s, img.size[1] // s
    if img.mode == "RGBA":
        return img.convert("RGBa").resize((w, h), Image.BOX).convert("RGBA")
    return img.resize((w, h), Image.BOX)


class SS:
    """A drawing surface in final-pixel coordinates, supersampled s times.

    Coordinates are continuous: pixel i covers [i, i + 1)."""

    def __init__(self, img, s):
        self.img = img
        self.s = s
        self.d = ImageDraw.Draw(img, "RGBA" if img.mode in ("RGB", "RGBA")
                                else None)

    def _b(self, x0, y0, x1, y1):
        s = self.s
        return [x0 * s, y0 * s, x1 * s - 1, y1 * s - 1]

    def rect(self, box, fill=None, outline=None, width=1.0):
        x0, y0, x1, y1 = box
        if fill is not None:
            self.d.rectangle(self._b(x0, y0, x1, y1), fill=fill)
        if outline is not None:
            w = width
            self.rect((x0, y0, x1, y0 + w), fill=outline)
            self.rect((x0, y1 - w, x1, y1), fill=outline)
            self.rect((x0, y0 + w, x0 + w, y1 - w), fill=outline)
            self.rect((x1 - w, y0 + w, x1, y1 - w), fill=outline)

    def rrect(self, box, r, fill=None, outline=None, width=1.0):
        x0, y0, x1, y1 = box
        s = self.s
        if outline is not None:
            self.d.rounded_rectangle(self._b(x0, y0, x1, y1), radius=r * s,
                                     fill=outline)
            self.d.rounded_rectangle(
                self._b(x0 + width, y0 + width, x1 - width, y1 - width),
                radius=max(0, (r - width) * s),
                fill=fill if fill is not None else (0, 0, 0, 0))
        elif fill is not None:
            self.d.rounded_rectangle(self._b(x0, y0, x1, y1), radius=r * s,
                                     fill=fill)

    def circle(self, cx, cy, r, fill=None, outline=None, width=1.0):
        s = self.s
        box = [(cx - r) * s, (cy - r) * s, (cx + r) * s - 1, (cy + r) * s - 1]
        self.d.ellipse(box, fill=fill, outline=outline,
                       width=int(round(width * s)) if outline else 0)

    def line(self, pts, fill, width=1.0, round_caps=True):
        s = self.s
        p = [(x * s, y * s) for x, y in pts]
        self.d.line(p, fill=fill, width=max(1, int(round(width * s))),
                    joint="curve")
        if round_caps:
            r = width / 2.0
            for x, y in (pts[0], pts[-1]):
                self.circle(x, y, r, fill=fill)

    def seg(self, a, b, fill, width=1.0):
        """A straight segment drawn as an exact quad (no rounding)."""
        (x0, y0), (x1, y1) = a, b
        dx, dy = x1 - x0, y1 - y0
        n = math.hypot(dx, dy) or 1.0
        nx, ny = -dy / n * width / 2.0, dx / n * width / 2.0
        s = self.s
        self.d.polygon([((x0 + nx) * s, (y0 + ny) * s),
                        ((x1 + nx) * s, (y1 + ny) * s),
                        ((x1 - nx) * s, (y1 - ny) * s),
                        ((x0 - nx) * s, (y0 - ny) * s)], fill=fill)

    def polygon(self, pts, fill):
        s = self.s
        self.d.polygon([(x * s, y * s) for x, y in pts], fill=fill)

    def arrow(self, tip, direction, fill, size=4.0):
        """Filled arrowhead with its tip at `tip`, pointing along direction."""
        dx, dy = direction
        n = math.hypot(dx, dy)
        dx, dy = dx / n, dy / n
        bx, by = tip[0] - dx * size, tip[1] - dy * size
        px, py = -dy * size * 0.45, dx * size * 0.45
        self.polygon([tip, (bx + px, by + py), (bx - px, by - py)], fill)


def soft_shadow(base, s, draw_fn, blur, offset=(0, 0), color=(0, 0, 0),
                opacity=1.0):
    """Composite a blurred silhouette (drawn by draw_fn on an SS mask)."""
    mask = Image.new("L", base.size, 0)
    m = SS(mask, s)
    m.d = ImageDraw.Draw(mask)
    draw_fn(m)
    if offset != (0, 0):
        mask = ImageChops.offset(mask, int(round(offset[0] * s)),
                                 int(round(offset[1] * s)))
    if blur > 0:
        mask = mask.filter(ImageFilter.GaussianBlur(blur * s))
    if opacity < 1.0:
        mask = mask.point(lambda v: int(v * opacity))
    layer = Image.new(base.mode, base.size, rgba(color) if base.mode == "RGBA"
                      else color)
    if base.mode == "RGBA":
        layer.putalpha(mask)
        base.alpha_composite(layer)
    else:
        base.paste(layer, (0, 0), mask)


def gradient_fill(base, s, mask_fn, top, bottom, axis="v", box=None):
    """Fill a shape (drawn by mask_fn) with a linear gradient."""
    mask = Image.new("L", base.size, 0)
    m = SS(mask, s)
    m.d = ImageDraw.Draw(mask)
    mask_fn(m)
    w, h = base.size
    if box is None:
        bb = mask.getbbox() or (0, 0, w, h)
    else:
        bb = [int(v * s) for v in box]
    grad = Image.new("RGBA", (w, h))
    gd = ImageDraw.Draw(grad)
    if axis == "v":
        y0, y1 = bb[1], bb[3]
        for y in range(h):
            t = min(1.0, max(0.0, (y - y0) / max(1, y1 - y0)))
            gd.line([(0, y), (w, y)], fill=rgba(mix(top, bottom, t),
                                                 lerp(_a(top), _a(bottom), t)))
    else:
        x0, x1 = bb[0], bb[2]
        for x in range(w):
            t = min(1.0, max(0.0, (x - x0) / max(1, x1 - x0)))
            gd.line([(x, 0), (x, h)], fill=rgba(mix(top, bottom, t),
                                                 lerp(_a(top), _a(bottom), t)))
    a = ImageChops.multiply(grad.getchannel("A"), mask)
    grad.putalpha(a)
    if base.mode == "RGBA":
        base.alpha_composite(grad)
    else:
        base.paste(grad.convert("RGB"), (0, 0), a)


def _a(c):
    return c[3] if len(c) > 3 else 255


# ---------------------------------------------------------------------------
# Text (drawn at final size, hinted)
# ---------------------------------------------------------------------------

class Labels:
    def __init__(self, img):
        self.img = img
        self.d = ImageDraw.Draw(img, "RGBA")
        self.boxes = []          # (name, bbox) for the layout check

    def text(self, x, y, s, size=9, bold=True, fill=LABEL, align="c",
             track=0.0, path=None, name=None, alpha=255):
        """Text with baseline at y; x is the left, centre or right end."""
        # Drawn at the set's own size: the font and the positions grow
        # with Z, the type is hinted for the pixels it lands on.
        if Z != 1:
            size, x, y, track = size * Z, x * Z, y * Z, track * Z
        f = font(path or (SANS_BOLD if bold else SANS), size)
        widths = [f.getlength(ch) for ch in s]
        total = sum(widths) + track * (len(s) - 1)
        if align == "c":
            x0 = x - total / 2.0
        elif align == "r":
            x0 = x - total
        else:
            x0 = x
        col = rgba(fill, alpha)
        if track == 0.0:
            self.d.text((round(x0), y), s, font=f, fill=col, anchor="ls")
            bb = self.d.textbbox((round(x0), y), s, font=f, anchor="ls")
        else:
            cx = x0
            bb = None
            for ch, wch in zip(s, widths):
                self.d.text((round(cx), y), ch, font=f, fill=col, anchor="ls")
                b = self.d.textbbox((round(cx), y), ch, font=f, anchor="ls")
                bb = b if bb is None else (min(bb[0], b[0]), min(bb[1], b[1]),
                                           max(bb[2], b[2]), max(bb[3], b[3]))
                cx += wch + track
        if Z != 1 and bb is not None:
            bb = tuple(v / Z for v in bb)     # panel pixels, for the check
        self.boxes.append((name or s, bb))
        return bb

    def engraved(self, x, y, s, **kw):
        """Label with a faint dark drop below it, like engraved print."""
        kw2 = dict(kw)
        kw2["fill"] = (0, 0, 0)
        kw2["alpha"] = 110
        kw2["name"] = "#shadow"
        self.text(x, y + 1, s, **kw2)
        self.boxes.pop()
        return self.text(x, y, s, **kw)


# ---------------------------------------------------------------------------
# The panel background
# ---------------------------------------------------------------------------

S_BG = 4

# Panel frames (outer boxes) of the four control sections.
TITLE_END = int(round(_title_end())) if Image is not None else 0

SECTIONS = [
    ("LFO", (8, 202, 146, 336)),
    ("FREQUENCY", (152, 202, 406, 336)),
    ("MIX", (412, 202, 494, 336)),
    ("VOLUME", (500, 202, 576, 336)),
]
DIAGRAM = (8, 52, 576, 196)
STRIP = (0, 342, W, H)
TITLE = (0, 0, W, 46)


def brushed_texture(size, base, seed, amp=7, streak=24):
    rnd = random.Random(seed)
    w, h = size
    coarse = noise_image(rnd, (max(2, w // streak), h))
    coarse = coarse.resize((w, h), Image.BICUBIC)
    fine = noise_image(rnd, (w, h))
    n = Image.blend(coarse, fine, 0.35)
    # Map noise 0..255 to an offset 0..2*amp, then add to (base - amp).
    n = n.point(lambda v: int(v * 2 * amp / 255.0))
    lo = Image.new("RGB", (w, h), tuple(max(0, c - amp) for c in base))
    return ImageChops.add(lo, Image.merge("RGB", (n, n, n)))


def zoomed(box):
    """A box of panel pixels in pixels of the set being drawn."""
    return tuple(v * Z for v in box)


def vertical_shade(img, box, top_add, bottom_add):
    """Darken or lighten a box gradually from top to bottom (RGB image)."""
    x0, y0, x1, y1 = box
    over = Image.new("RGBA", (x1 - x0, y1 - y0))
    d = ImageDraw.Draw(over)
    for y in range(y1 - y0):
        t = y / max(1, y1 - y0 - 1)
        v = lerp(top_add, bottom_add, t)
        col = (255, 255, 255, int(v)) if v >= 0 else (0, 0, 0, int(-v))
        d.line([(0, y), (x1 - x0, y)], fill=col)
    region = img.crop(box).convert("RGBA")
    region.alpha_composite(over)
    img.paste(region.convert("RGB"), box[:2])


def draw_screw(c, cx, cy, r=3.6, angle=30.0):
    c.circle(cx, cy + 0.5, r + 0.6, fill=(0, 0, 0, 120))
    c.circle(cx, cy, r, fill=(120, 124, 130, 255))
    c.circle(cx - 0.4, cy - 0.5, r - 0.8, fill=(150, 154, 160, 255))
    c.circle(cx + 0.3, cy + 0.4, r - 1.3, fill=(128, 132, 138, 255))
    a = math.radians(angle)
    dx, dy = math.cos(a) * (r - 0.9), math.sin(a) * (r - 0.9)
    c.seg((cx - dx, cy - dy), (cx + dx, cy + dy), (40, 42, 46, 255), 0.9)
    c.seg((cx - dy, cy + dx), (cx + dy, cy - dx), (40, 42, 46, 255), 0.9)


def inset_box(c, box, r=3.0, fill=(0, 0, 0, 70)):
    """A recessed area: dark fill, shadowed top edge, lit bottom edge."""
    x0, y0, x1, y1 = box
    c.rrect((x0, y0 + 1, x1, y1 + 1), r, fill=(255, 255, 255, 22))
    c.rrect((x0, y0, x1, y1), r, fill=(0, 0, 0, 150))
    c.rrect((x0 + 1, y0 + 1, x1 - 1, y1 - 1), max(0, r - 1), fill=fill)


def raised_frame(c, box, r=4.0):
    """A framed section plate: lit top edge, dark outline, slight tint."""
    x0, y0, x1, y1 = box
    c.rrect((x0, y0 + 1, x1, y1 + 1), r, fill=(0, 0, 0, 110))
    c.rrect((x0, y0, x1, y1), r, fill=(255, 255, 255, 40))
    c.rrect((x0 + 1, y0 + 1, x1 - 1, y1 - 1), r - 1, fill=(0, 0, 0, 90))


def draw_background():
    s = S_BG * Z
    tex = brushed_texture((W * Z, H * Z), METAL, seed=20031, streak=24 * Z)
    vertical_shade(tex, zoomed((0, 0, W, H)), 10, -14)
    # Title bar and bottom strip in a darker anodised finish.
    ttex = brushed_texture((W * Z, TITLE[3] * Z), TITLE_BG, seed=7, amp=5,
                           streak=40 * Z)
    tex.paste(ttex, (0, 0))
    vertical_shade(tex, zoomed(TITLE), 8, -4)
    btex = brushed_texture((W * Z, (STRIP[3] - STRIP[1]) * Z), (28, 29, 33),
                           seed=11, amp=5, streak=40 * Z)
    tex.paste(btex, (0, STRIP[1] * Z))
    vertical_shade(tex, zoomed(STRIP), 6, -8)

    big = tex.resize((W * S_BG * Z, H * S_BG * Z), Image.NEAREST)
    c = SS(big, s)

    # Edges of title bar and bottom strip.
    c.rect((0, TITLE[3], W, TITLE[3] + 1), fill=(0, 0, 0, 200))
    c.rect((0, TITLE[3] + 1, W, TITLE[3] + 2), fill=(255, 255, 255, 34))
    c.rect((0, STRIP[1] - 1, W, STRIP[1]), fill=(255, 255, 255, 30))
    c.rect((0, STRIP[1], W, STRIP[1] + 1), fill=(0, 0, 0, 200))
    # Outer bevel of the whole plate.
    c.rect((0, 0, W, 1), fill=(255, 255, 255, 36))
    c.rect((0, H - 1, W, H), fill=(0, 0, 0, 160))
    c.rect((0, 0, 1, H), fill=(255, 255, 255, 20))
    c.rect((W - 1, 0, W, H), fill=(0, 0, 0, 120))
    # Accent line under the product name.
    c.rect((18, 38, TITLE_END, 39), fill=rgba(ACCENT, 200))
    c.rect((TITLE_END + 7, 14, TITLE_END + 8, 34), fill=(255, 255, 255, 40))
    c.rect((TITLE_END + 8, 14, TITLE_END + 9, 34), fill=(0, 0, 0, 120))

    for cx, cy in ((9, 23), (575, 23), (9, 366), (575, 366)):
        draw_screw(c, cx, cy, angle=25 + (cx * 7 + cy) % 50)

    # --- signal-path block diagram -----------------------------------------
    inset_box(c, DIAGRAM, r=5, fill=(0, 0, 0, 55))
    draw_diagram(c)

    # --- sections ---------------------------------------------------------
    for title, box in SECTIONS:
        raised_frame(c, box)
        x0, y0, x1, y1 = box
        c.rrect((x0 + 1, y0 + 1, x1 - 1, y0 + 14), 3, fill=(0, 0, 0, 70))
        c.rect((x0 + 1, y0 + 14, x1 - 1, y0 + 15), fill=(255, 255, 255, 26))
    draw_lfo(c)
    draw_frequency(c)
    draw_mix(c)
    draw_volume(c)

    # --- bottom strip fields ----------------------------------------------
    for key in ("prog_num", "prog_name", "status"):
        x0, y0, x1, y1 = CONTROLS[key]
        field_well(c, (x0 - 1, y0 - 1, x1 + 1, y1 + 1))

    img = reduce(big, S_BG)
    lab = Labels(img)
    draw_labels(lab)
    return img.convert("RGBA"), lab


def field_well(c, box):
    x0, y0, x1, y1 = box
    c.rrect((x0 - 1, y0 - 1, x1 + 1, y1 + 1), 3, fill=(255, 255, 255, 26))
    c.rrect((x0 - 1, y0 - 1, x1 + 1, y1), 3, fill=(0, 0, 0, 210))
    c.rrect((x0, y0, x1, y1), 2, fill=rgba(WELL))
    c.rect((x0 + 1, y0, x1 - 1, y0 + 1), fill=(0, 0, 0, 255))


# Diagram geometry (shared by shapes and labels).
DG = {
    "main_y": 100, "real_y": 78, "imag_y": 122,
    "jack_in": (26, 100), "split_x": 60,
    "box_real": (76, 68, 168, 88), "box_imag": (76, 112, 168, 132),
    "tap_real_x": 188, "tap_imag_x": 204,
    "shift": (250, 100, 14), "osc": (228, 128, 272, 146),
    "mixer": (490, 88, 532, 180), "jack_out": (555, 134),
    "bus_end": 389,
}
# Centres of the Mode lever's three bands.
BANDS = [CONTROLS["mode_l"][1] +
         (2 * i + 1) * (CONTROLS["mode_l"][3] - CONTROLS["mode_l"][1]) // 6
         for i in range(3)]


def draw_diagram(c):
    g = DG
    col = rgba(WIRE)
    dim = rgba(WIRE_DIM)
    lw = 1.2
    my, ry, iy = g["main_y"], g["real_y"], g["imag_y"]
    sx = g["split_x"]

    def jack(cx, cy):
        c.circle(cx, cy, 7.5, fill=(0, 0, 0, 120))
        c.circle(cx, cy, 6.5, fill=(150, 155, 162, 255))
        c.circle(cx - 0.3, cy - 0.4, 5.4, fill=(188, 192, 198, 255))
        c.circle(cx, cy, 4.2, fill=(60, 62, 66, 255))
        c.circle(cx, cy, 2.6, fill=(8, 8, 9, 255))

    def block(box, accent=False):
        x0, y0, x1, y1 = box
        c.rrect((x0, y0 + 1, x1, y1 + 1), 3, fill=(0, 0, 0, 120))
        c.rrect(box, 3, fill=(22, 26, 30, 235),
                outline=rgba(ACCENT if accent else WIRE, 230), width=1.1)

    def dot(x, y):
        c.circle(x, y, 2.2, fill=col)

    # Input jack and split.
    jx, jy = g["jack_in"]
    jack(jx, jy)
    c.seg((jx + 7, my), (sx, my), col, lw)
    c.seg((sx, ry), (sx, BANDS[2]), col, lw)
    dot(sx, my)
    dot(sx, iy)
    br, bi = g["box_real"], g["box_imag"]
    c.seg((sx, ry), (br[0] - 4, ry), col, lw)
    c.arrow((br[0], ry), (1, 0), col)
    c.seg((sx, iy), (bi[0] - 4, iy), col, lw)
    c.arrow((bi[0], iy), (1, 0), col)
    block(br)
    block(bi)

    # Branch outputs towards the complex multiplier.
    cx, cy, cr = g["shift"]
    xr, xi = g["tap_real_x"], g["tap_imag_x"]
    knee = 214
    a45 = math.sqrt(0.5)
    pr = (cx - cr * a45, cy - cr * a45)
    pi_ = (cx - cr * a45, cy + cr * a45)
    c.seg((br[2], ry), (knee, ry), col, lw)
    c.seg((knee, ry), pr, col, lw)
    c.arrow(pr, (pr[0] - knee, pr[1] - ry), col)
    # Imaginary line with a hop over the real tap.
    hop = 3.2
    c.seg((bi[2], iy), (xr - hop, iy), col, lw)
    pts = [(xr + hop * math.cos(math.pi - t * math.pi / 12.0),
            iy - hop * math.sin(t * math.pi / 12.0)) for t in range(13)]
    c.line(pts, col, lw)
    c.seg((xr + hop, iy), (knee, iy), col, lw)
    c.seg((knee, iy), pi_, col, lw)
    c.arrow(pi_, (pi_[0] - knee, pi_[1] - iy), col)

    # Multiplier with the complex oscillator.
    c.circle(cx, cy + 1, cr + 1.5, fill=(0, 0, 0, 120))
    c.circle(cx, cy, cr + 1.1, fill=rgba(ACCENT))
    c.circle(cx, cy, cr, fill=(24, 26, 30, 255))
    k = cr * 0.5
    c.seg((cx - k, cy - k), (cx + k, cy + k), rgba(ACCENT), 1.8)
    c.seg((cx - k, cy + k), (cx + k, cy - k), rgba(ACCENT), 1.8)
    ox0, oy0, ox1, oy1 = g["osc"]
    c.seg((cx, oy0), (cx, cy + cr + 4), rgba(ACCENT), lw)
    c.arrow((cx, cy + cr + 0.5), (0, -1), rgba(ACCENT))
    block(g["osc"], accent=True)

    # Wet path to the mixer.
    mx0, my0, mx1, my1 = g["mixer"]
    c.seg((cx + cr + 1, my), (mx0 - 4, my), col, lw)
    c.arrow((mx0, my), (1, 0), col)
    block(g["mixer"])
    # Mixer output to the output jack.
    oy = (my0 + my1) / 2.0
    ojx, ojy = g["jack_out"]
    c.seg((mx1, oy), (ojx - 11, oy), col, lw)
    c.arrow((ojx - 7.5, oy), (1, 0), col)
    jack(ojx, ojy)

    # Dry-signal buses into the Mode levers.
    end = g["bus_end"]
    dot(xr, ry)
    c.seg((xr, ry), (xr, BANDS[1]), dim, lw)
    c.seg((xr, BANDS[1]), (end - 3, BANDS[1]), dim, lw)
    dot(xi, iy)
    c.seg((xi, iy), (xi, BANDS[0]), dim, lw)
    c.seg((xi, BANDS[0]), (end - 3, BANDS[0]), dim, lw)
    c.seg((sx, BANDS[2]), (end - 3, BANDS[2]), dim, lw)
    for y in BANDS:
        c.arrow((end, y), (1, 0), dim, size=3.5)
    # Lever wells and band ticks.
    for key in ("mode_l", "mode_r"):
        x0, y0, x1, y1 = CONTROLS[key]
        inset_box(c, (x0 - 1, y0 - 1, x1 + 1, y1 + 1), r=3,
                  fill=(0, 0, 0, 90))
        for y in (y0 + 10, y0 + 20):
            c.rect((x0 + 1, y, x0 + 3, y + 0.6), fill=(255, 255, 255, 50))
            c.rect((x1 - 3, y, x1 - 1, y + 0.6), fill=(255, 255, 255, 50))
    lx1 = CONTROLS["mode_l"][2]
    rx0, rx1 = CONTROLS["mode_r"][0], CONTROLS["mode_r"][2]
    for y in BANDS:
        c.seg((lx1 + 2.5, y), (rx0 - 2.5, y), rgba(DIM, 200), 1.0)
    # Selected dry signal into the mixer.
    c.seg((rx1 + 2, BANDS[1]), (mx0 - 4, BANDS[1]), col, lw)
    c.arrow((mx0, BANDS[1]), (1, 0), col)


def vfader_slot(c, key, ticks_left=True, ticks_right=True, nt=11, skip=()):
    x0, y0, x1, y1 = CONTROLS[key]
    cx = (x0 + x1) / 2.0
    top, bot = y0 + HANDLE / 2.0, y1 - HANDLE / 2.0
    # Slot
    c.rrect((cx - 2.5, top - 4, cx + 2.5, bot + 4), 2.5,
            fill=(255, 255, 255, 28))
    c.rrect((cx - 2.5, top - 5, cx + 2.5, bot + 3), 2.5, fill=(0, 0, 0, 255))
    c.rrect((cx - 1.5, top - 4, cx + 1.5, bot + 2.6), 1.5,
            fill=(10, 10, 11, 255))
    c.rect((cx - 1.0, top - 2.5, cx + 1.0, bot + 2), fill=(34, 35, 38, 255))
    # Ticks
    for i in range(nt):
        if i in skip:
            continue
        y = lerp(top, bot, i / (nt - 1.0))
        major = i in (0, nt // 2, nt - 1)
        ln = 5.0 if major else 3.0
        a = 200 if major else 120
        if ticks_left:
            c.rect((x0 - ln - 1.5, y - 0.45, x0 - 1.5, y + 0.45),
                   fill=rgba(LABEL, a))
        if ticks_right:
            c.rect((x1 + 1.5, y - 0.45, x1 + 1.5 + ln, y + 0.45),
                   fill=rgba(LABEL, a))


def hfader_slot(c, key):
    x0, y0, x1, y1 = CONTROLS[key]
    cy = (y0 + y1) / 2.0
    left, right = x0 + HANDLE / 2.0, x1 - HANDLE / 2.0
    c.rrect((left - 4, cy - 2, right + 4, cy + 3), 2, fill=(255, 255, 255, 26))
    c.rrect((left - 4, cy - 2.5, right + 4, cy + 2), 2, fill=(0, 0, 0, 255))
    c.rrect((left - 3, cy - 1.5, right + 3, cy + 1.5), 1.5,
            fill=(10, 10, 11, 255))
    c.rect((left - 2, cy - 0.5, right + 2, cy + 0.6), fill=(34, 35, 38, 255))


def knob_marks(c, key, n, r0=20.5, r1=23.5):
    x0, y0, x1, y1 = CONTROLS[key]
    cx, cy = (x0 + x1) / 2.0, (y0 + y1) / 2.0
    # Arc of the travel
    s = c.s
    c.d.arc([(cx - 19) * s, (cy - 19) * s, (cx + 19) * s, (cy + 19) * s],
            start=135, end=405, fill=(0, 0, 0, 140), width=int(1.6 * c.s))
    for a in knob_angles(n):
        t = math.radians(a)
        sx, sy = math.sin(t), -math.cos(t)
        c.seg((cx + sx * r0, cy + sy * r0), (cx + sx * r1, cy + sy * r1),
              rgba(LABEL, 230), 1.3)
    # Knob well shadow
    c.circle(cx, cy + 0.8, 18.2, fill=(0, 0, 0, 70))


def mark_pos(key, n, i, r):
    x0, y0, x1, y1 = CONTROLS[key]
    cx, cy = (x0 + x1) / 2.0, (y0 + y1) / 2.0
    t = math.radians(knob_angles(n)[i])
    return cx + math.sin(t) * r, cy - math.cos(t) * r


WAVE_R = 30.5


def wave_symbol(c, cx, cy, kind, w=11.0, h=6.0, col=None):
    col = col or rgba(LABEL)
    hw, hh = w / 2.0, h / 2.0

    def P(u, v):                       # u, v in -1..1, v up
        return (cx + u * hw, cy - v * hh)

    shapes = {
        "tri": [(-1, -1), (-0.5, 1), (0.5, -1), (1, 1)],
        "square": [(-1, -1), (-1, 1), (0, 1), (0, -1), (1, -1), (1, 1)],
        "rampdn": [(-1, -1), (-1, 1), (0, -1), (0, 1), (1, -1)],
        "rampup": [(-1, -1), (0, 1), (0, -1), (1, 1), (1, -1)],
    }
    pts = [P(u, v) for u, v in shapes[kind]]
    c.line(pts, col, 1.15)


def draw_lfo(c):
    knob_marks(c, "wave", 6)
    for i, kind in ((1, "tri"), (2, "square"), (3, "rampdn"), (4, "rampup")):
        x, y = mark_pos("wave", 6, i, WAVE_R + 1)
        wave_symbol(c, x, y, kind)
    vfader_slot(c, "rate", ticks_left=True, ticks_right=True)
    x0, y0, x1, y1 = CONTROLS["sync"]
    inset_box(c, (x0 - 1, y0 - 1, x1 + 1, y1 + 1), r=3, fill=(0, 0, 0, 80))


def draw_frequency(c):
    knob_marks(c, "range", 4)
    for key in HFADERS:
        hfader_slot(c, key)
    # Ticks between the horizontal slots: five positions along the travel.
    x0, x1 = CONTROLS["fmin_l"][0] + 10, CONTROLS["fmin_l"][2] - 10
    ys = [(CONTROLS[k][1] + CONTROLS[k][3]) / 2.0 for k in HFADERS]
    for i in range(9):
        x = lerp(x0, x1, i / 8.0)
        major = i in (0, 4, 8)
        a = 210 if major else 110
        ln = 3.0 if major else 2.0
        c.rect((x - 0.45, ys[0] - 5 - ln, x + 0.45, ys[0] - 5),
               fill=rgba(LABEL, a))
        c.rect((x - 0.45, ys[-1] + 5, x + 0.45, ys[-1] + 5 + ln),
               fill=rgba(LABEL, a))
        for ya, yb in zip(ys, ys[1:]):
            m = (ya + yb) / 2.0
            c.rect((x - 0.45, m - 1.0, x + 0.45, m + 1.0),
                   fill=rgba(LABEL, a * 0.8))
    # Bracket lines grouping L/R under MIN and MAX.
    for a, b in ((ys[0], ys[1]), (ys[2], ys[3])):
        c.rect((256.5, a - 3, 257.4, b + 3), fill=rgba(DIM, 170))
        c.rect((256.5, a - 3, 259, a - 2.1), fill=rgba(DIM, 170))
        c.rect((256.5, b + 2.1, 259, b + 3), fill=rgba(DIM, 170))
    # Indicator housings.
    for key in ("ind_l", "ind_r"):
        x0, y0, x1, y1 = CONTROLS[key]
        c.rect((x0 - 2, y0 - 2, x1 + 2, y1 + 2), fill=(255, 255, 255, 26))
        c.rect((x0 - 2, y0 - 2, x1 + 2, y1 + 1.5), fill=(0, 0, 0, 230))
        c.rect((x0, y0, x1, y1), fill=(6, 6, 7, 255))
    # Centre mark over the indicators.
    xm = (CONTROLS["ind_l"][0] + CONTROLS["ind_l"][2]) / 2.0
    c.rect((xm - 0.45, 319.5, xm + 0.45, 322.5), fill=rgba(LABEL, 200))


def draw_mix(c):
    vfader_slot(c, "mix_l", ticks_left=False, ticks_right=True)
    vfader_slot(c, "mix_r", ticks_left=True, ticks_right=False)


def draw_volume(c):
    vfader_slot(c, "vol_l", ticks_left=False, ticks_right=True, skip=(5, 10))
    vfader_slot(c, "vol_r", ticks_left=True, ticks_right=False, skip=(5, 10))
    x0, y0, x1, y1 = CONTROLS["link"]
    inset_box(c, (x0 - 1, y0 - 1, x1 + 1, y1 + 1), r=3, fill=(0, 0, 0, 80))


def draw_labels(L):
    # Title bar.
    f1 = font(SANS, 24)
    x = 18
    L.text(x, 31, "Quorvel", size=24, bold=False, align="l",
           fill=(236, 238, 242), name="title1")
    x2 = x + f1.getlength("Quorvel ") + 1
    L.text(x2, 31, "Veltrane", size=24, bold=True, align="l", fill=ACCENT,
           name="title2")
    L.text(TITLE_END + 14, 28, "STEREO FREQUENCY SHIFTER", size=9,
           align="l", fill=DIM, track=1.6, name="subtitle")

    # Section titles.
    for title, (x0, y0, x1, y1) in SECTIONS:
        L.engraved((x0 + x1) / 2.0, y0 + 11, title, size=9, fill=ACCENT,
                   track=1.6)

    # Diagram.
    g = DG
    jx, jy = g["jack_in"]
    L.engraved(jx, jy + 19, "INPUT", size=8, track=0.4)
    ojx, ojy = g["jack_out"]
    L.engraved(ojx, ojy + 19, "OUTPUT", size=8, track=0.0)
    br, bi = g["box_real"], g["box_imag"]
    L.text((br[0] + br[2]) / 2.0, br[3] - 6.5, "REAL   0\u00b0", size=9)
    L.text((bi[0] + bi[2]) / 2.0, bi[3] - 6.5, "IMAGINARY  90\u00b0", size=9)
    L.text((br[0] + br[2]) / 2.0, br[1] - 5, "ALLPASS NETWORK", size=7,
           fill=DIM, track=0.8)
    cx, cy, cr = g["shift"]
    L.engraved(cx, cy - cr - 6, "SHIFT", size=8, fill=ACCENT, track=0.8)
    ox0, oy0, ox1, oy1 = g["osc"]
    ocx = (ox0 + ox1) / 2.0
    # e^{j omega t}
    fe = font(SERIF_ITALIC, 13)
    fs = font(SERIF_ITALIC, 9)
    we = fe.getlength("e")
    ws = fs.getlength("j\u03c9t")
    x0 = ocx - (we + ws + 1) / 2.0
    L.text(x0, oy1 - 4.5, "e", size=13, path=SERIF_ITALIC, align="l",
           fill=(246, 230, 200), name="osc_e")
    L.text(x0 + we + 1, oy1 - 9.5, "j\u03c9t", size=9, path=SERIF_ITALIC,
           align="l", fill=(246, 230, 200), name="osc_jwt")
    L.text(ox1 + 4, oy1 - 5, "OSC", size=7, fill=DIM, align="l", track=0.8)
    mx0, my0, mx1, my1 = g["mixer"]
    mcx = (mx0 + mx1) / 2.0
    L.text(mcx, (my0 + my1) / 2.0 + 3.5, "MIXER", size=8, track=0.3)
    L.text(mcx, g["main_y"] + 3, "WET", size=7, fill=DIM, track=0.5)
    L.text(mcx, BANDS[1] + 3, "DRY", size=7, fill=DIM, track=0.5)
    L.text(320, g["main_y"] - 4, "SHIFTED SIGNAL", size=7, fill=DIM,
           track=0.8)
    L.text(DIAGRAM[0] + 8, DIAGRAM[3] - 6, "SIGNAL PATH", size=7, fill=DIM,
           align="l", track=1.2)
    # Bus names and Mode lever positions.
    lx0 = CONTROLS["mode_l"][0]
    for y, name in zip(BANDS, ("IMAG.", "REAL", "INPUT")):
        L.text(lx0 - 3, y + 3, name, size=8, align="r")
    ml, mr = CONTROLS["mode_l"], CONTROLS["mode_r"]
    mcx = (ml[0] + mr[2]) / 2.0
    L.engraved(mcx, ml[1] - 16, "MODE", size=8, fill=ACCENT, track=1.0)
    L.engraved((ml[0] + ml[2]) / 2.0, ml[1] - 4, "L", size=8)
    L.engraved((mr[0] + mr[2]) / 2.0, mr[1] - 4, "R", size=8)

    # LFO.
    wx0, wy0, wx1, wy1 = CONTROLS["wave"]
    L.engraved((wx0 + wx1) / 2.0, 226, "WAVE", size=8, track=0.8)
    x, y = mark_pos("wave", 6, 0, WAVE_R + 1.5)
    L.text(x - 1, y + 3, "OFF", size=8)
    x, y = mark_pos("wave", 6, 5, WAVE_R + 1.5)
    L.text(x + 1, y + 3, "S/H", size=8)
    rx0, ry0, rx1, ry1 = CONTROLS["rate"]
    L.engraved((rx0 + rx1) / 2.0, 226, "RATE", size=8, track=0.8)
    sx0, sy0, sx1, sy1 = CONTROLS["sync"]
    L.engraved(sx0 - 5, (sy0 + sy1) / 2.0 + 3, "SYNC", size=8, align="r",
               track=0.5)

    # Frequency.
    kx0, ky0, kx1, ky1 = CONTROLS["range"]
    L.engraved((kx0 + kx1) / 2.0, 226, "RANGE", size=8, track=0.8)
    for i, t in enumerate(("5", "50", "500", "5K")):
        x, y = mark_pos("range", 4, i, 29.5)
        dx = (-2, -3, 3, 2)[i]
        L.text(x + dx, y + 3.2, t, size=8)
    L.text((kx0 + kx1) / 2.0, 297, "Hz", size=7, bold=False, fill=DIM)
    ys = [(CONTROLS[k][1] + CONTROLS[k][3]) / 2.0 for k in HFADERS]
    for yy, t in zip(ys, ("L", "R", "L", "R")):
        L.text(266, yy + 3, t, size=8, align="r", fill=LABEL)
    L.engraved(253, (ys[0] + ys[1]) / 2.0 + 3, "MIN", size=8, align="r")
    L.engraved(253, (ys[2] + ys[3]) / 2.0 + 3, "MAX", size=8, align="r")
    fx0, fx1 = CONTROLS["fmin_l"][0] + 10, CONTROLS["fmin_l"][2] - 10
    L.text(fx0 - 2, 222, "\u2212", size=9, align="l", name="f_minus")
    L.text((fx0 + fx1) / 2.0, 222, "0", size=8)
    L.text(fx1 + 2, 222, "+", size=9, align="r", name="f_plus")
    L.text(fx0 + 7, 222, "DOWN", size=7, fill=DIM, align="l", track=0.5)
    L.text(fx1 - 7, 222, "UP", size=7, fill=DIM, align="r", track=0.5)
    il, ir = CONTROLS["ind_l"], CONTROLS["ind_r"]
    L.text(il[0] - 4, il[3] + 2, "L", size=8, align="r")
    L.text(ir[0] - 4, ir[3] + 2, "R", size=8, align="r")
    L.engraved(il[0] - 12, (il[1] + ir[3]) / 2.0 + 3, "SHIFT", size=8,
               align="r", track=0.5)
    L.text(il[0], 330, "\u2212", size=8, align="l", fill=DIM, name="i_minus")
    L.text(il[2], 330, "+", size=8, align="r", fill=DIM, name="i_plus")
    L.text((il[0] + il[2]) / 2.0, 331, "0 Hz", size=7, fill=DIM)

    # Mix.
    ml, mr = CONTROLS["mix_l"], CONTROLS["mix_r"]
    gap = (ml[2] + mr[0]) / 2.0
    L.engraved(gap, 225, "WET", size=8, track=0.5)
    L.engraved(gap, 311, "DRY", size=8, track=0.5)
    L.text((ml[0] + ml[2]) / 2.0, 311, "L", size=8, fill=DIM)
    L.text((mr[0] + mr[2]) / 2.0, 311, "R", size=8, fill=DIM)

    # Volume.
    vl, vr = CONTROLS["vol_l"], CONTROLS["vol_r"]
    gap = (vl[2] + vr[0]) / 2.0
    L.engraved(gap, 225, "+12", size=8)
    L.text(gap, 267, "0", size=8, fill=DIM)
    L.text(gap, 293.5, "\u2212\u221e", size=9, name="minus_inf")
    L.text((vl[0] + vl[2]) / 2.0, 311, "L", size=8, fill=DIM)
    L.text((vr[0] + vr[2]) / 2.0, 311, "R", size=8, fill=DIM)
    lk = CONTROLS["link"]
    L.engraved((lk[0] + lk[2]) / 2.0, 331, "LINK L/R", size=8, track=0.3)

    # Bottom strip.
    pn = CONTROLS["prog_num"]
    L.text(pn[0] - 1, 351, "PROGRAM", size=7, fill=DIM, align="l", track=1.0)
    st = CONTROLS["status"]
    L.text(st[0] - 1, 351, "VALUE", size=7, fill=DIM, align="l", track=1.0)
    L.text((CONTROLS["prog_name"][2] + st[0]) / 2.0, 367, "QUORVEL",
           size=9, fill=(120, 124, 132), track=3.0, name="maker")


# ---------------------------------------------------------------------------
# Control strips
# ---------------------------------------------------------------------------

S_CTL = 8


def spun_disc(size, s, cx, cy, r, base, amp, light_angle=-45.0, seed=3):
    """A disc of spun metal: concentric grain plus conic highlights."""
    w, h = size[0] * s, size[1] * s
    img = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    px = img.load()
    rnd = random.Random(seed)
    rings = [rnd.uniform(-1, 1) for _ in range(int(r * s) + 2)]
    la = math.radians(light_angle)
    R = r * s
    for y in range(int((cy - r) * s), int((cy + r) * s) + 1):
        for x in range(int((cx - r) * s), int((cx + r) * s) + 1):
            dx, dy = x + 0.5 - cx * s, y + 0.5 - cy * s
            d = math.hypot(dx, dy)
            if d > R:
                continue
            phi = math.atan2(dy, dx)
            v = base + amp * (0.55 * math.cos(2 * (phi - la)) +
                              0.45 * math.cos(phi - la))
            v += 5.0 * rings[int(d)]
            v -= 14.0 * (d / R) ** 6
            px[x, y] = (clamp8(v), clamp8(v + 2), clamp8(v + 6), 255)
    return img


def knob_body():
    s = S_CTL * Z
    size = (40, 40)
    cx, cy = 20.0, 20.0
    img = Image.new("RGBA", (40 * s, 40 * s), (0, 0, 0, 0))
    soft_shadow(img, s, lambda m: m.circle(cx + 0.5, cy + 1.6, 16.6,
                                           fill=255), blur=1.4, opacity=0.75)
    c = SS(img, s)
    # Skirt: dark, with knurled edge.
    gradient_fill(img, s, lambda m: m.circle(cx, cy, 16.6, fill=255),
                  (74, 76, 82), (22, 23, 26))
    c = SS(img, s)
    for i in range(40):
        a = 2 * math.pi * i / 40
        sa, ca = math.sin(a), -math.cos(a)
        lit = 0.5 + 0.5 * math.cos(a + math.pi / 4)
        col = (0, 0, 0, 110) if i % 2 else (255, 255, 255, int(18 + 30 * lit))
        c.seg((cx + sa * 14.4, cy + ca * 14.4),
              (cx + sa * 16.3, cy + ca * 16.3), col, 0.9)
    c.circle(cx, cy, 14.2, fill=(30, 31, 35, 255))
    gradient_fill(img, s, lambda m: m.circle(cx, cy, 13.8, fill=255),
                  (60, 62, 67), (26, 27, 30))
    # Cap of spun aluminium, slightly inset.
    c = SS(img, s)
    c.circle(cx, cy + 0.4, 11.6, fill=(0, 0, 0, 160))
    disc = spun_disc(size, s, cx, cy, 11.0, 150, 38)
    img.alpha_composite(disc)
    c = SS(img, s)
    c.circle(cx, cy, 11.0, outline=(255, 255, 255, 60), width=0.5)
    return img


def knob_frame(body, angle):
    s = S_CTL * Z
    img = body.copy()
    c = SS(img, s)
    cx, cy = 20.0, 20.0
    t = math.radians(angle)
    sx, sy = math.sin(t), -math.cos(t)
    # Pointer: dark groove on the cap and a white line over cap and skirt.
    a, b = (cx + sx * 3.8, cy + sy * 3.8), (cx + sx * 15.6, cy + sy * 15.6)
    c.seg(a, b, (0, 0, 0, 150), 3.0)
    c.seg(a, b, (255, 255, 255, 255), 1.7)
    c.circle(b[0], b[1], 0.85, fill=(255, 255, 255, 255))
    c.circle(a[0], a[1], 0.85, fill=(255, 255, 255, 255))
    return reduce(img, S_CTL)


def make_knob_strip(n):
    body = knob_body()
    frames = [knob_frame(body, a) for a in knob_angles(n)]
    strip = Image.new("RGBA", (40 * Z, 40 * n * Z), (0, 0, 0, 0))
    for i, f in enumerate(frames):
        strip.paste(f, (0, 40 * i * Z))
    return strip


def make_lever_strip():
    s = S_CTL * Z
    w, h = 20, 30
    frames = []
    cx, cy = 10.0, 15.0
    for pos in ("up", "mid", "down"):
        img = Image.new("RGBA", (w * s, h * s), (0, 0, 0, 0))
        # Chrome bezel nut.
        soft_shadow(img, s, lambda m: m.circle(cx + 0.4, cy + 1.2, 7.6,
                                               fill=255), blur=1.0,
                    opacity=0.8)
        gradient_fill(img, s, lambda m: m.circle(cx, cy, 7.4, fill=255),
                      (214, 218, 224), (70, 72, 78))
        gradient_fill(img, s, lambda m: m.circle(cx, cy, 6.0, fill=255),
                      (96, 98, 104), (200, 204, 210))
        c = SS(img, s)
        c.circle(cx, cy, 3.9, fill=(12, 12, 14, 255))
        if pos == "mid":
            # Lever pointing at the viewer: its round tip seen end-on.
            soft_shadow(img, s, lambda m: m.circle(cx + 0.8, cy + 1.4, 4.4,
                                                   fill=255), blur=0.8,
                        opacity=0.8)
            gradient_fill(img, s, lambda m: m.circle(cx, cy, 4.4, fill=255),
                          (250, 251, 253), (110, 114, 120))
            c = SS(img, s)
            c.circle(cx - 1.2, cy - 1.3, 1.5, fill=(255, 255, 255, 220))
        else:
            sgn = -1.0 if pos == "up" else 1.0
            tip_y = cy + sgn * 10.8
            body = [(cx - 2.0, cy), (cx + 2.0, cy),
                    (cx + 2.9, tip_y), (cx - 2.9, tip_y)]

            def bat(m, dx=0.0, dy=0.0):
                m.polygon([(x + dx, y + dy) for x, y in body], fill=255)
                m.circle(cx + dx, tip_y + dy, 3.4, fill=255)

            soft_shadow(img, s, lambda m: bat(m, 1.0, 1.6), blur=0.8,
                        opacity=0.75)
            gradient_fill(img, s, bat, (120, 124, 130), (120, 124, 130),
                          axis="h")
            # Cylinder shading across the bat.
            gradient_fill(img, s, lambda m: bat(m),
                          (250, 251, 253, 230), (70, 72, 78, 230), axis="h",
                          box=(cx - 3.4, 0, cx + 3.4, h))
            c = SS(img, s)
            c.seg((cx - 1.0, cy + sgn * 2.0), (cx - 1.3, tip_y - sgn * 0.5),
                  (255, 255, 255, 170), 0.8)
            c.circle(cx - 0.9, tip_y - 0.6 * sgn - 0.3, 1.0,
                     fill=(255, 255, 255, 200))
        frames.append(reduce(img, S_CTL))
    strip = Image.new("RGBA", (w * Z, h * 3 * Z), (0, 0, 0, 0))
    for i, f in enumerate(frames):
        strip.paste(f, (0, h * i * Z))
    return strip


def make_button_strip():
    s = S_CTL * Z
    frames = []
    for lit in (False, True):
        img = Image.new("RGBA", (20 * s, 20 * s), (0, 0, 0, 0))
        c = SS(img, s)
        c.rrect((0, 0, 20, 20), 3.5, fill=(8, 8, 9, 255))
        gradient_fill(img, s, lambda m: m.rrect((1.2, 1.2, 18.8, 18.8), 2.6,
                                                fill=255),
                      (104, 107, 114), (40, 41, 45))
        gradient_fill(img, s, lambda m: m.rrect((2.2, 2.2, 17.8, 17.8), 2.0,
                                                fill=255),
                      (78, 80, 86), (54, 56, 61))
        c = SS(img, s)
        c.rect((3.0, 2.3, 17.0, 2.9), fill=(255, 255, 255, 60))
        # Lamp window.
        c.rrect((5.0, 5.0, 15.0, 15.0), 1.6, fill=(10, 10, 10, 255))
        if lit:
            gradient_fill(img, s, lambda m: m.rrect((5.8, 5.8, 14.2, 14.2),
                                                    1.2, fill=255),
                          (255, 214, 120), (236, 128, 24))
            glow = Image.new("RGBA", img.size, (0, 0, 0, 0))
            g = SS(glow, s)
            g.circle(10, 9.6, 3.4, fill=(255, 244, 210, 200))
            glow = glow.filter(ImageFilter.GaussianBlur(1.6 * s))
            img.alpha_composite(glow)
            halo = Image.new("RGBA", img.size, (0, 0, 0, 0))
            hh = SS(halo, s)
            hh.rrect((4.4, 4.4, 15.6, 15.6), 2.0, fill=(255, 160, 40, 120))
            hh.rrect((5.0, 5.0, 15.0, 15.0), 1.6, fill=(0, 0, 0, 0))
            halo = halo.filter(ImageFilter.GaussianBlur(0.7 * s))
            img.alpha_composite(halo)
        else:
            gradient_fill(img, s, lambda m: m.rrect((5.8, 5.8, 14.2, 14.2),
                                                    1.2, fill=255),
                          (74, 58, 38), (40, 30, 20))
            c = SS(img, s)
            c.rect((6.6, 6.4, 13.4, 7.0), fill=(255, 255, 255, 40))
        frames.append(reduce(img, S_CTL))
    strip = Image.new("RGBA", (20 * Z, 40 * Z), (0, 0, 0, 0))
    for i, f in enumerate(frames):
        strip.paste(f, (0, 20 * i * Z))
    return strip


def make_handle():
    s = S_CTL * Z
    img = Image.new("RGBA", (20 * s, 20 * s), (0, 0, 0, 0))
    soft_shadow(img, s, lambda m: m.rrect((1.2, 2.0, 19.2, 20.0), 3.0,
                                          fill=255), blur=0.9, opacity=0.8)
    c = SS(img, s)
    c.rrect((0.8, 0.8, 19.2, 19.2), 3.0, fill=(10, 10, 11, 255))
    gradient_fill(img, s, lambda m: m.rrect((1.6, 1.6, 18.4, 18.4), 2.4,
                                            fill=255),
                  (228, 231, 236), (92, 95, 101))
    gradient_fill(img, s, lambda m: m.rrect((3.0, 3.0, 17.0, 17.0), 1.8,
                                            fill=255),
                  (150, 154, 160), (200, 204, 210))
    # Grip ridges across, and the index: a white ring with a dot.
    c = SS(img, s)
    c.circle(10, 10, 4.4, fill=(40, 41, 45, 255))
    gradient_fill(img, s, lambda m: m.circle(10, 10, 3.6, fill=255),
                  (110, 113, 120), (210, 214, 220))
    c = SS(img, s)
    c.circle(10, 10, 1.5, fill=(255, 255, 255, 255))
    c.circle(10, 10, 4.4, outline=(255, 255, 255, 90), width=0.4)
    return reduce(img, S_CTL)


def make_vu_strip():
    s = S_CTL * Z
    n = 11
    w, h = 110, 4
    strip = Image.new("RGBA", (w * Z, h * n * Z), (0, 0, 0, 0))
    for k in range(n):
        img = Image.new("RGBA", (w * s, h * s), (0, 0, 0, 0))
        c = SS(img, s)
        c.rect((0, 0, w, h), fill=(6, 6, 7, 255))
        for i in range(n):
            x0 = i * 10 + 1
            if i == k:
                c.rect((x0, 0, x0 + 8, h), fill=(255, 34, 24, 255))
                c.rect((x0 + 1, 0.6, x0 + 7, 2.0), fill=(255, 170, 150, 255))
            else:
                c.rect((x0, 0, x0 + 8, h), fill=(40, 9, 8, 255))
                c.rect((x0, 0, x0 + 8, 1.0), fill=(58, 14, 12, 255))
        strip.paste(reduce(img, S_CTL), (0, h * k * Z))
    # A faint spill of the lit segment onto the edges of its neighbours.
    px = strip.load()
    for k in range(n):
        for i in (k - 1, k + 1):
            if not 0 <= i < n:
                continue
            for y in range(h * k * Z, (h * k + h) * Z):
                for x in range((i * 10 + 1) * Z, (i * 10 + 9) * Z):
                    # Distance in panel pixels from the lit segment's side.
                    xp = x if Z == 1 else (x + 0.5) / Z - 0.5
                    near = (xp - i * 10 - 1) if i > k else (i * 10 + 8 - xp)
                    t = 0.18 * max(0.0, 1.0 - near / 8.0)
                    r, g, b, a = px[x, y]
                    px[x, y] = (clamp8(r + (255 - r) * t), g, b, a)
    return strip


# ---------------------------------------------------------------------------
# Checks and preview
# ---------------------------------------------------------------------------

def overlaps(a, b):
    return a[0] < b[2] and b[0] < a[2] and a[1] < b[3] and b[1] < a[3]


def check_layout(labels):
    problems = []
    for name, bb in labels.boxes:
        if bb is None:
            continue
        for key, r in CONTROLS.items():
            if key in ("range", "wave"):
                # Knobs are round: test against the circle of radius 20.
                cx, cy = (r[0] + r[2]) / 2.0, (r[1] + r[3]) / 2.0
                nx = min(max(cx, bb[0]), bb[2])
                ny = min(max(cy, bb[1]), bb[3])
                if math.hypot(nx - cx, ny - cy) < 19.5:
                    problems.append((name, key))
            elif overlaps(bb, r):
                problems.append((name, key))
        if bb[0] < 0 or bb[1] < 0 or bb[2] > W or bb[3] > H:
            problems.append((name, "edge"))
    return problems


def frame(strip, fh, i):
    return strip.crop((0, fh * i, strip.size[0], fh * (i + 1)))


def fader_pos(key, value):
    x0, y0, x1, y1 = CONTROLS[key]
    if key in HFADERS:
        return x0 + int((x1 - x0 - HANDLE) * value), y0
    return x0, y0 + int((y1 - y0 - HANDLE) * (1.0 - value))


def make_preview(images, path, scale=2):
    back = images["back.png"].copy()
    k6, k4 = images["switch_6.png"], images["switch_4.png"]
    back.alpha_composite(frame(k6, 40, 1), CONTROLS["wave"][:2])
    back.alpha_composite(frame(k4, 40, 2), CONTROLS["range"][:2])
    lev = images["switch_3.png"]
    back.alpha_composite(frame(lev, 30, 0), CONTROLS["mode_l"][:2])
    back.alpha_composite(frame(lev, 30, 2), CONTROLS["mode_r"][:2])
    btn = images["button.png"]
    back.alpha_composite(frame(btn, 20, 1), CONTROLS["sync"][:2])
    back.alpha_composite(frame(btn, 20, 0), CONTROLS["link"][:2])
    hdl = images["handle.png"]
    vals = {"rate": 1.0, "mix_l": 0.5, "mix_r": 0.75, "vol_l": 0.5,
            "vol_r": 0.0, "fmin_l": 0.2, "fmin_r": 0.5, "fmax_l": 0.8,
            "fmax_r": 1.0}
    for key, v in vals.items():
        back.alpha_composite(hdl, fader_pos(key, v))
    vu = images["vu.png"]
    back.alpha_composite(frame(vu, 4, 2), CONTROLS["ind_l"][:2])
    back.alpha_composite(frame(vu, 4, 8), CONTROLS["ind_r"][:2])
    d = ImageDraw.Draw(back, "RGBA")
    ft = ImageFont.truetype(SANS, 16)
    fs = ImageFont.truetype(SANS, 14)
    v = CONTROLS["version"]
    d.text((v[2], (v[1] + v[3]) / 2), "Version 2.0.3", font=ft,
           fill=(255, 255, 255, 192), anchor="rm")
    for key, t in (("prog_num", "1"), ("prog_name", "Barber Pole"),
                   ("status", "Mix R: 25:75")):
        r = CONTROLS[key]
        d.text(((r[0] + r[2]) / 2, (r[1] + r[3]) / 2), t, font=fs,
               fill=(255, 255, 255, 192), anchor="mm")
    out = back.resize((W * scale, H * scale), Image.NEAREST)
    out.save(path)

    # Second sheet: every frame of every strip, enlarged 4x, one row each.
    z = 4
    sheet = Image.new("RGBA", (6 * 44 * z, 470 * 2), (58, 60, 66, 255))
    y = 8
    for name, fh in (("switch_6.png", 40), ("switch_4.png", 40),
                     ("switch_3.png", 30), ("button.png", 20),
                     ("handle.png", 20)):
        st = images[name]
        n = st.size[1] // fh
        x = 8
        for i in range(n):
            f = frame(st, fh, i).resize((st.size[0] * z, fh * z),
                                        Image.NEAREST)
            sheet.alpha_composite(f, (x, y))
            x += f.size[0] + 12
        y += fh * z + 12
    vu = images["vu.png"]
    for i in range(11):
        f = frame(vu, 4, i).resize((110 * z, 4 * z), Image.NEAREST)
        sheet.alpha_composite(f, (8 + (i % 2) * (110 * z + 20),
                                  y + (i // 2) * (4 * z + 6)))
    root, ext = os.path.splitext(path)
    sheet.save(root + "_strips" + ext)


# ---------------------------------------------------------------------------

# The images of one set and their sizes at 1x; the 2x set's files are named
# with "@2x" before the extension and have twice the size.
EXPECTED_SIZES = {
    "back.png": (W, H), "handle.png": (20, 20),
    "button.png": (20, 40), "switch_3.png": (20, 90),
    "switch_4.png": (40, 160), "switch_6.png": (40, 240),
    "vu.png": (110, 44),
}


def set_name(name, zoom):
    return name if zoom == 1 else name.replace(".png", "@%dx.png" % zoom)


def draw_set(zoom):
    """The seven images drawn at `zoom` pixels per panel pixel, by file
    name, and the label problems found."""
    global Z
    Z = zoom
    try:
        back, labels = draw_background()
        drawn = {
            "back.png": back,
            "handle.png": make_handle(),
            "button.png": make_button_strip(),
            "switch_3.png": make_lever_strip(),
            "switch_4.png": make_knob_strip(4),
            "switch_6.png": make_knob_strip(6),
            "vu.png": make_vu_strip(),
        }
    finally:
        Z = 1
    images = {}
    for name, img in drawn.items():
        w, h = EXPECTED_SIZES[name]
        assert img.size == (w * zoom, h * zoom), (name, zoom, img.size)
        images[set_name(name, zoom)] = img
    problems = [("%s (%dx)" % (n, zoom), key)
                for n, key in check_layout(labels)]
    return images, problems


def png_bytes(img):
    out = io.BytesIO()
    img.convert("RGBA").save(out, format="PNG", optimize=False,
                             compress_level=9)
    return out.getvalue()


def check_images(images, folder):
    """Names of the images whose bytes differ from the files in folder."""
    differing = []
    for name, img in images.items():
        path = os.path.join(folder, name)
        try:
            with open(path, "rb") as f:
                committed = f.read()
        except OSError:
            committed = None
        if committed != png_bytes(img):
            differing.append(name)
    return differing


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    default_out = os.path.normpath(os.path.join(here, "..", "..",
                                                "resources", "img"))
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--out", default=default_out,
                    help="output directory (default: resources/img)")
    ap.add_argument("--preview", default=None,
                    help="also write a 2x preview composite to this file")
    ap.add_argument("--check", action="store_true",
                    help="compare with the images in the output directory "
                         "instead of writing them")
    args = ap.parse_args()
    if Image is None:
        print("make_artwork: Pillow is missing (Debian: python3-pil)",
              file=sys.stderr)
        return 77 if args.check else 1

    images, problems = {}, []
    for zoom in (1, 2):
        drawn, found = draw_set(zoom)
        images.update(drawn)
        problems += found
    for name, key in problems:
        print("layout: label %r touches %s" % (name, key), file=sys.stderr)
    if args.check:
        differing = check_images(images, args.out)
        for name in differing:
            print("artwork: %s differs from what the generator draws "
                  "(run tools/artwork/make_artwork.py and commit the images)"
                  % os.path.join(args.out, name), file=sys.stderr)
        if not differing:
            print("artwork: %d images match %s" % (len(images), args.out))
        return 1 if differing or problems else 0
    os.makedirs(args.out, exist_ok=True)
    for name, img in images.items():
        with open(os.path.join(args.out, name), "wb") as f:
            f.write(png_bytes(img))
    if args.preview:
        make_preview(images, args.preview)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
