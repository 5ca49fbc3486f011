#!/usr/bin/python3
"""Draws the editor artwork of Tessaron.

Regenerate (not part of the build; the PNGs are committed):
    apt-get install python3-cairo fonts-liberation
    /usr/bin/python3 tools/artwork/make_artwork.py   (the system Python that has python3-cairo)
It writes resources/img/*.png and docs/img/panel-preview*.png. The output is
byte-identical on every run: no randomness without a fixed seed, no timestamps.
"""

import math
import os
import random

import cairo

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
IMG = os.path.join(ROOT, "resources", "img")
DOCS = os.path.join(ROOT, "docs", "img")

W, H = 1125, 400

SANS = "Liberation Sans"
NARROW = "Liberation Sans Narrow"
SERIF = "Liberation Serif"


def rgb(hexstr, a=1.0):
    v = int(hexstr.lstrip("#"), 16)
    return ((v >> 16) / 255.0, ((v >> 8) & 255) / 255.0, (v & 255) / 255.0, a)


# Palette: dark walnut panel, warm amber headings, cream legends.
C_BAND = "#2a231e"
C_BAND_HI = "#3e342c"
C_BAND_LO = "#120f0d"
C_HEAD = "#e8a94f"
C_LABEL = "#ece1cc"
C_DIM = "#b9a88c"
C_TICK = "#9b8a70"
C_GROOVE = "#0a0807"
C_AMBER = "#ffb24a"


# ---------------------------------------------------------------- controls
# The panel's controls: (kind, rectangle, normalised default, label, extra).
# Kinds: knob, selector3, selector4, toggle, button, slider (rect = track),
# led, smallknob, smallbutton. Defaults pick the preview frame.

def knob(x, y, default, label):
    return ("knob", (x, y, x + 32, y + 32), default, label)


TOP = [
    knob(193, 64, 0.5, "ENV"),
    knob(260, 64, 0.64, "CUTOFF"),
    knob(327, 64, 0.0, "RESONANCE"),
    knob(390, 64, 0.0, "AMOUNT"),
    knob(440, 64, 0.18, "SPEED"),
    ("toggle", (490, 64, 522, 96), 0.0, "ENABLE", ("MONO", "MULTI")),
    ("selector4", (540, 64, 572, 96), 0.0, "DIRECTION", ("A", "B", "C", "D")),
    knob(594, 64, 0.5, "FINE"),
    ("button", (644, 64, 676, 96), 0.0, "SYNC"),
    ("button", (694, 64, 726, 96), 0.0, "OCTAVE"),
    ("button", (748, 64, 780, 96), 0.0, "OCT MOD"),
    ("button", (798, 64, 830, 96), 0.0, "OCTAVE"),
    knob(848, 64, 0.5, "COARSE"),
    ("led", (733, 111, 741, 119), 1.0, "PHASE"),
    ("selector3", (911, 64, 943, 96), 0.0, "ROUTING", ("FM", "VCF", "VCA")),
    ("toggle", (977, 64, 1009, 96), 0.0, "RESET", ("MONO", "MULTI")),
    ("toggle", (1044, 64, 1076, 96), 0.0, "SHAPE", ("TRI", "SQR")),
]

ORGAN = [
    ("slider", (64, 44, 138, 57), 0.0, "2'"),
    ("slider", (64, 64, 138, 77), 0.0, "4'"),
    ("slider", (64, 84, 138, 97), 1.0, "8'"),
    ("slider", (64, 104, 138, 117), 0.0, "16'"),
]

MIDDLE = [
    knob(47, 177, 0.5, "MASTER"),
    ("slider", (98, 156, 153, 169), 0.5, None),
    knob(109, 177, 0.5, "SYNTH"),
    ("slider", (157, 156, 212, 169), 0.5, None),
    knob(168, 177, 0.0, "ORGAN"),
    ("slider", (218, 156, 273, 169), 0.5, None),
    knob(230, 177, 0.0, "STRINGS"),
    knob(289, 177, 0.0, "ATTACK"),
    knob(339, 177, 0.0, "DECAY"),
    knob(389, 177, 1.0, "SUSTAIN"),
    knob(439, 177, 0.1, "RELEASE"),
    knob(493, 177, 0.5, "FOOTAGES"),
    knob(543, 177, 0.5, "TIMBRE"),
    knob(593, 177, 0.2, "ATTACK"),
    knob(643, 177, 0.3, "RELEASE"),
    ("selector3", (705, 178, 737, 210), 0.0, "WAVE", ("SAW", "SQR", "MIX")),
    ("toggle", (772, 178, 804, 210), 1.0, "ALTERNATE", ("ON", "OFF")),
    ("toggle", (839, 178, 871, 210), 0.0, "ENABLE", ("MONO", "MULTI")),
    knob(902, 177, 0.428952, "SPEED"),
    ("led", (904, 224, 912, 232), 1.0, None),
    knob(952, 177, 0.0, "SLOPE"),
    knob(1002, 177, 0.0, "DELAY"),
    knob(1052, 177, 0.0, "DEPTH"),
]

BOTTOM = [
    knob(40, 290, 0.541667, "BEND"),
    knob(90, 290, 0.1, "MOD"),
    knob(144, 290, 0.087178, "SPEED"),
    knob(193, 290, 0.35, "FEEDBACK"),
    ("button", (245, 290, 277, 322), 0.0, "SYNTH"),
    ("button", (291, 290, 323, 322), 0.0, "ORGAN"),
    ("button", (338, 290, 370, 322), 0.0, "STRING"),
    knob(393, 290, 0.5, "TIME"),
    knob(442, 290, 0.3, "FEEDBACK"),
    knob(491, 290, 0.0, "MIX"),
    ("button", (538, 290, 570, 322), 0.0, "DOUBLE"),
    ("button", (574, 290, 606, 322), 0.0, "SYNC"),
    ("button", (610, 290, 642, 322), 1.0, "VIBE"),
    ("button", (646, 290, 678, 322), 0.0, "PING-PONG"),
]

TWEAK = [
    ("smallknob", (72, 368, 90, 386), 0.5, "TUNE"),
    ("smallbutton", (108, 368, 126, 386), 0.0, "RESET"),
    ("smallknob", (134, 368, 152, 386), 0.125, "PHASE"),
    ("smallknob", (170, 368, 188, 386), 0.3, "KEY REL"),
    ("smallknob", (205, 368, 223, 386), 0.169706, "RATE 1"),
    ("smallknob", (233, 368, 251, 386), 0.447214, "RATE 2"),
    ("smallknob", (261, 368, 279, 386), 0.12, "DEPTH 1"),
    ("smallknob", (289, 368, 307, 386), 0.04, "DEPTH 2"),
    ("smallknob", (324, 368, 342, 386), 0.028284, "RATE"),
    ("smallknob", (352, 368, 370, 386), 0.2, "DEPTH"),
]
TWEAK_GROUPS = [("MASTER", 72, 90), ("SYNC", 108, 152), ("KEY", 170, 188),
                ("ENSEMBLE", 205, 307), ("DELAY VIBE", 324, 370)]

PROGRAM_NUMBER = (728, 298, 752, 314)
PROGRAM_NAME = (778, 298, 970, 314)
MENU = (974, 296, 1022, 316)
PREV = (704, 295, 726, 317)
NEXT = (754, 295, 776, 317)
LEARN = (1026, 295, 1076, 317)
VERSION = (1027, 328, 1075, 344)
TWEAK_AREA = (32, 355, 382, 391)
TWEAK_SCREW = (36, 360, 61, 384)

# Baselines of the legends per row.
ROW_TOP = dict(head=45, upper=61, lower=104, name=114)
ROW_MID = dict(head=153, upper=174, lower=218, name=228)
ROW_BOT = dict(head=268, name=333)

# Knob pointer sweep: -135 degrees at value 0 to +135 at value 1, clockwise from up.
SWEEP = 135.0
SELECTOR3_ANGLES = (-90.0, 0.0, 90.0)
SELECTOR4_ANGLES = (-135.0, -45.0, 45.0, 135.0)


# ---------------------------------------------------------------- helpers

def polar(cx, cy, r, deg):
    a = math.radians(deg)
    return cx + r * math.sin(a), cy - r * math.cos(a)


def new_surface(w, h):
    s = cairo.ImageSurface(cairo.FORMAT_ARGB32, w, h)
    ctx = cairo.Context(s)
    fo = cairo.FontOptions()
    fo.set_antialias(cairo.ANTIALIAS_GRAY)
    fo.set_hint_style(cairo.HINT_STYLE_SLIGHT)
    fo.set_hint_metrics(cairo.HINT_METRICS_ON)
    ctx.set_font_options(fo)
    return s, ctx


def rrect(ctx, x0, y0, x1, y1, r):
    r = min(r, (x1 - x0) / 2, (y1 - y0) / 2)
    ctx.new_sub_path()
    ctx.arc(x1 - r, y0 + r, r, -math.pi / 2, 0)
    ctx.arc(x1 - r, y1 - r, r, 0, math.pi / 2)
    ctx.arc(x0 + r, y1 - r, r, math.pi / 2, math.pi)
    ctx.arc(x0 + r, y0 + r, r, math.pi, 1.5 * math.pi)
    ctx.close_path()


def vgrad(y0, y1, stops):
    g = cairo.LinearGradient(0, y0, 0, y1)
    for off, col in stops:
        g.add_color_stop_rgba(off, *col)
    return g


def set_font(ctx, size, face=NARROW, bold=True, italic=False):
    ctx.select_font_face(face,
                         cairo.FONT_SLANT_ITALIC if italic else cairo.FONT_SLANT_NORMAL,
                         cairo.FONT_WEIGHT_BOLD if bold else cairo.FONT_WEIGHT_NORMAL)
    ctx.set_font_size(size)


def text_width(ctx, s, spacing=0.0):
    return ctx.text_extents(s).x_advance + spacing * max(0, len(s) - 1)


# Ink boxes (text, x0, y0, x1, y1) of every text drawn, so the layout can be checked.
TEXT_BOXES = []


def text(ctx, s, x, y, colour, align="c", spacing=0.0, shadow=True):
    """Draws s with its baseline at y; align c/l/r against x."""
    w = text_width(ctx, s, spacing)
    x0 = x - w / 2 if align == "c" else (x - w if align == "r" else x)
    # Whole-pixel pen positions keep hinted glyphs evenly spaced.
    x0 = round(x0)
    e = ctx.text_extents(s)
    TEXT_BOXES.append((s, x0 + e.x_bearing, y + e.y_bearing, x0 + w, y + e.y_bearing + e.height + (1 if shadow else 0)))
    passes = [((0, 1), rgb("#000000", 0.55))] if shadow else []
    passes.append(((0, 0), colour))
    for (dx, dy), col in passes:
        ctx.set_source_rgba(*col)
        cx = x0 + dx
        if spacing == 0.0:
            ctx.move_to(cx, y + dy)
            ctx.show_text(s)
        else:
            for ch in s:
                ctx.move_to(cx, y + dy)
                ctx.show_text(ch)
                cx += ctx.text_extents(ch).x_advance + spacing
    return x0, x0 + w


def soft_circle(ctx, cx, cy, r, colour, spread):
    g = cairo.RadialGradient(cx, cy, max(0.0, r - spread), cx, cy, r + spread)
    g.add_color_stop_rgba(0, *colour)
    g.add_color_stop_rgba(1, colour[0], colour[1], colour[2], 0)
    ctx.set_source(g)
    ctx.arc(cx, cy, r + spread, 0, 2 * math.pi)
    ctx.fill()


def frames(w, h, n, draw):
    """A strip of n frames stacked top to bottom; draw(ctx, i) paints frame i at the origin."""
    s, ctx = new_surface(w, h * n)
    for i in range(n):
        ctx.save()
        ctx.rectangle(0, i * h, w, h)
        ctx.clip()
        ctx.translate(0, i * h)
        draw(ctx, i)
        ctx.restore()
    return s


# ---------------------------------------------------------------- knobs

def draw_knob(ctx, cx, cy, scale, angle, small=False):
    """A black knob with a knurled skirt and a cream pointer line at angle (degrees)."""
    r_skirt = 14.0 * scale
    r_cap = 10.2 * scale
    soft_circle(ctx, cx, cy + 1.3 * scale, r_skirt - 0.3, rgb("#000000", 0.75), 1.6 * scale)

    # Skirt.
    g = cairo.RadialGradient(cx - 4 * scale, cy - 6 * scale, 1, cx, cy, r_skirt)
    g.add_color_stop_rgba(0, *rgb("#3a3430"))
    g.add_color_stop_rgba(1, *rgb("#0e0c0b"))
    ctx.set_source(g)
    ctx.arc(cx, cy, r_skirt, 0, 2 * math.pi)
    ctx.fill()
    # Knurls turn with the knob and add to the sense of rotation.
    ctx.set_line_width(0.8 * scale if not small else 0.6)
    n = 30 if not small else 18
    for i in range(n):
        a = angle + i * 360.0 / n
        x0, y0 = polar(cx, cy, r_cap + 0.9 * scale, a)
        x1, y1 = polar(cx, cy, r_skirt - 0.5 * scale, a)
        shade = 0.5 + 0.5 * math.cos(math.radians(a + 30))  # lit from the upper left
        ctx.set_source_rgba(*rgb("#6b625a", 0.25 + 0.45 * shade))
        ctx.move_to(x0, y0)
        ctx.line_to(x1, y1)
        ctx.stroke()
    ctx.set_line_width(0.9 * scale)
    ctx.set_source_rgba(*rgb("#000000", 0.8))
    ctx.arc(cx, cy, r_skirt - 0.4 * scale, 0, 2 * math.pi)
    ctx.stroke()

    # Cap.
    ctx.set_source(vgrad(cy - r_cap, cy + r_cap,
                         [(0, rgb("#6a6058")), (0.55, rgb("#3a332d")), (1, rgb("#221d1a"))]))
    ctx.arc(cx, cy, r_cap, 0, 2 * math.pi)
    ctx.fill_preserve()
    ctx.set_line_width(0.8 * scale)
    ctx.set_source_rgba(*rgb("#0b0908", 0.9))
    ctx.stroke()
    g = cairo.RadialGradient(cx - 3 * scale, cy - 4.5 * scale, 0.5, cx - 3 * scale, cy - 4.5 * scale, 7 * scale)
    g.add_color_stop_rgba(0, *rgb("#ffffff", 0.22))
    g.add_color_stop_rgba(1, *rgb("#ffffff", 0.0))
    ctx.set_source(g)
    ctx.arc(cx, cy, r_cap - 0.6, 0, 2 * math.pi)
    ctx.fill()

    # Pointer: a dark bed under a cream line keeps it readable on every shade.
    x0, y0 = polar(cx, cy, 2.6 * scale, angle)
    x1, y1 = polar(cx, cy, r_skirt - 0.9 * scale, angle)
    ctx.set_line_cap(cairo.LINE_CAP_ROUND)
    ctx.set_line_width(3.4 * scale if not small else 2.6)
    ctx.set_source_rgba(*rgb("#000000", 0.7))
    ctx.move_to(x0, y0)
    ctx.line_to(x1, y1)
    ctx.stroke()
    ctx.set_line_width(1.9 * scale if not small else 1.5)
    ctx.set_source_rgba(*rgb("#f6ead2"))
    ctx.move_to(x0, y0)
    ctx.line_to(x1, y1)
    ctx.stroke()
    ctx.set_line_cap(cairo.LINE_CAP_BUTT)


def knob_angle(k, n):
    return -SWEEP + 2 * SWEEP * k / (n - 1)


def make_knob():
    return frames(32, 32, 65, lambda ctx, k: draw_knob(ctx, 16, 16, 1.0, knob_angle(k, 65)))


def make_knob_small():
    return frames(18, 18, 65, lambda ctx, k: draw_knob(ctx, 9, 9, 18.0 / 32.0 * 1.06, knob_angle(k, 65), small=True))


def draw_selector(ctx, cx, cy, angle):
    """A pointed selector knob: the whole bar turns, so its position reads at a glance."""
    soft_circle(ctx, cx, cy + 1.2, 12.5, rgb("#000000", 0.7), 1.6)
    g = cairo.RadialGradient(cx - 3, cy - 5, 1, cx, cy, 13)
    g.add_color_stop_rgba(0, *rgb("#2f2a26"))
    g.add_color_stop_rgba(1, *rgb("#0c0a09"))
    ctx.set_source(g)
    ctx.arc(cx, cy, 12.5, 0, 2 * math.pi)
    ctx.fill_preserve()
    ctx.set_source_rgba(*rgb("#000000", 0.9))
    ctx.set_line_width(0.9)
    ctx.stroke()

    # The bar outline in knob coordinates (x right, y up from the centre), turned to angle.
    bar = [(0, 14.6), (3.2, 10.5), (5.0, -3.0), (4.2, -8.8), (0, -10.6), (-4.2, -8.8), (-5.0, -3.0), (-3.2, 10.5)]
    a = math.radians(angle)
    pts = [(cx + px * math.cos(a) + py * math.sin(a), cy + px * math.sin(a) - py * math.cos(a)) for px, py in bar]

    def outline():
        ctx.move_to(*pts[0])
        for p in pts[1:]:
            ctx.line_to(*p)
        ctx.close_path()

    # Shadow, body, then the inlaid line; the light stays put while the bar turns.
    ctx.save()
    ctx.translate(0.6, 1.4)
    outline()
    ctx.set_source_rgba(*rgb("#000000", 0.55))
    ctx.fill()
    ctx.restore()
    outline()
    ctx.set_source(vgrad(cy - 14, cy + 14, [(0, rgb("#736860")), (0.5, rgb("#3c352f")), (1, rgb("#1c1815"))]))
    ctx.fill_preserve()
    ctx.set_source_rgba(*rgb("#080706", 0.95))
    ctx.set_line_width(0.8)
    ctx.stroke()
    x0, y0 = polar(cx, cy, 1.0, angle)
    x1, y1 = polar(cx, cy, 12.4, angle)
    ctx.set_line_cap(cairo.LINE_CAP_ROUND)
    ctx.set_line_width(1.7)
    ctx.set_source_rgba(*rgb("#f6ead2"))
    ctx.move_to(x0, y0)
    ctx.line_to(x1, y1)
    ctx.stroke()
    ctx.set_line_cap(cairo.LINE_CAP_BUTT)


def make_selector(angles):
    return frames(32, 32, len(angles), lambda ctx, i: draw_selector(ctx, 16, 16, angles[i]))


# ---------------------------------------------------------------- toggles and buttons

def draw_toggle(ctx, up):
    """A bat-lever toggle on a small plate; up is the switch's second position."""
    rrect(ctx, 9.5, 2.5, 22.5, 29.5, 3)
    ctx.set_source(vgrad(2, 30, [(0, rgb("#4a423b")), (1, rgb("#1e1a17"))]))
    ctx.fill_preserve()
    ctx.set_source_rgba(*rgb("#070605"))
    ctx.set_line_width(1)
    ctx.stroke()
    for sy in (5.5, 26.5):  # plate screws
        ctx.set_source_rgba(*rgb("#8d8378"))
        ctx.arc(16, sy, 1.2, 0, 2 * math.pi)
        ctx.fill()
    # Bushing.
    g = cairo.RadialGradient(14.5, 14.5, 0.5, 16, 16, 6)
    g.add_color_stop_rgba(0, *rgb("#e9e3da"))
    g.add_color_stop_rgba(1, *rgb("#58514a"))
    ctx.set_source(g)
    ctx.arc(16, 16, 5.2, 0, 2 * math.pi)
    ctx.fill_preserve()
    ctx.set_source_rgba(*rgb("#0d0b0a"))
    ctx.set_line_width(0.8)
    ctx.stroke()
    ctx.set_source_rgba(*rgb("#151210"))
    ctx.arc(16, 16, 2.4, 0, 2 * math.pi)
    ctx.fill()
    # Lever.
    tip = 4.6 if up else 27.4
    ctx.move_to(14.4, 16)
    ctx.line_to(17.6, 16)
    ctx.line_to(18.3, tip)
    ctx.line_to(13.7, tip)
    ctx.close_path()
    g = cairo.LinearGradient(13.5, 0, 18.5, 0)
    g.add_color_stop_rgba(0, *rgb("#6d655d"))
    g.add_color_stop_rgba(0.35, *rgb("#f4efe7"))
    g.add_color_stop_rgba(1, *rgb("#57504a"))
    ctx.set_source(g)
    ctx.fill()
    g = cairo.RadialGradient(15, tip - 1, 0.3, 16, tip, 3.4)
    g.add_color_stop_rgba(0, *rgb("#ffffff"))
    g.add_color_stop_rgba(1, *rgb("#6a625a"))
    ctx.set_source(g)
    ctx.arc(16, tip, 3.1, 0, 2 * math.pi)
    ctx.fill_preserve()
    ctx.set_source_rgba(*rgb("#1a1614", 0.9))
    ctx.set_line_width(0.6)
    ctx.stroke()


def make_switch2():
    return frames(32, 32, 2, lambda ctx, i: draw_toggle(ctx, up=(i == 1)))


def draw_button(ctx, size, lit, pressed):
    """A square cap with a lamp window; pressed sinks it and shrinks its shadow."""
    k = size / 32.0
    m = 3.0 * k
    off = 1.0 * k if pressed else 0.0
    # Well.
    rrect(ctx, m - 1.5 * k, m - 1.5 * k, size - m + 1.5 * k, size - m + 1.5 * k, 4.5 * k)
    ctx.set_source_rgba(*rgb("#060504", 0.85))
    ctx.fill()
    if not pressed:
        rrect(ctx, m, m + 1.6 * k, size - m, size - m + 1.6 * k, 4 * k)
        ctx.set_source_rgba(*rgb("#000000", 0.6))
        ctx.fill()
    x0, y0, x1, y1 = m, m + off, size - m, size - m + off
    rrect(ctx, x0, y0, x1, y1, 4 * k)
    # A pressed cap catches less light on top than at its lower edge.
    top, bottom = ("#4e463f", "#27221e") if not pressed else ("#1f1b18", "#3a332d")
    ctx.set_source(vgrad(y0, y1, [(0, rgb(top)), (1, rgb(bottom))]))
    ctx.fill_preserve()
    ctx.set_source_rgba(*rgb("#0a0807"))
    ctx.set_line_width(max(0.8, 1.0 * k))
    ctx.stroke()
    if not pressed:
        ctx.set_source_rgba(*rgb("#ffffff", 0.16))
        ctx.set_line_width(1.0 * k)
        ctx.move_to(x0 + 4 * k, y0 + 1.3 * k)
        ctx.line_to(x1 - 4 * k, y0 + 1.3 * k)
        ctx.stroke()
    # Lamp window.
    lx0, ly0, lx1, ly1 = 9 * k, y0 + 5 * k, size - 9 * k, y0 + 10 * k
    if lit:
        soft_circle(ctx, size / 2, (ly0 + ly1) / 2, 5 * k, rgb("#ff9a2a", 0.55), 5 * k)
    rrect(ctx, lx0, ly0, lx1, ly1, 1.6 * k)
    if lit:
        ctx.set_source(vgrad(ly0, ly1, [(0, rgb("#fff2c4")), (0.5, rgb(C_AMBER)), (1, rgb("#d9731b"))]))
    else:
        ctx.set_source(vgrad(ly0, ly1, [(0, rgb("#2a130b")), (1, rgb("#4a2412"))]))
    ctx.fill_preserve()
    ctx.set_source_rgba(*rgb("#050403"))
    ctx.set_line_width(max(0.6, 0.8 * k))
    ctx.stroke()
    # Finger dimple.
    cy = (y0 + y1) / 2 + 4 * k
    g = cairo.RadialGradient(size / 2, cy + 1.5 * k, 0.5, size / 2, cy, 6.5 * k)
    g.add_color_stop_rgba(0, *rgb("#000000", 0.35))
    g.add_color_stop_rgba(1, *rgb("#000000", 0.0))
    ctx.set_source(g)
    ctx.arc(size / 2, cy, 6.5 * k, 0, 2 * math.pi)
    ctx.fill()


def make_button(size, lit):
    return frames(size, size, 2, lambda ctx, i: draw_button(ctx, size, lit, pressed=(i == 1)))


def draw_face_button(ctx, w, h, lit, lit_colour=None, pressed=False):
    """A flat key in a dark well; pressed it sits one pixel lower, lit it glows in lit_colour."""
    rrect(ctx, 0.5, 0.5, w - 0.5, h - 0.5, 3.5)
    ctx.set_source_rgba(*rgb("#060504", 0.9))
    ctx.fill()
    x0, y0, x1, y1 = 1.5, 2.5 if pressed else 1.5, w - 1.5, h - 1.5 if pressed else h - 2.5
    rrect(ctx, x0, y0, x1, y1, 3)
    if lit:
        ctx.set_source(vgrad(y0, y1, [(0, rgb("#fff0c8")), (0.25, rgb(lit_colour)), (1, rgb(lit_colour))]))
        ctx.fill_preserve()
        ctx.set_source(vgrad(y0, y1, [(0, rgb("#000000", 0.0)), (1, rgb("#000000", 0.3))]))
    else:
        ctx.set_source(vgrad(y0, y1, [(0, rgb("#4a423b" if not pressed else "#37302b")),
                                      (1, rgb("#221d1a"))]))
    ctx.fill_preserve()
    ctx.set_source_rgba(*rgb("#0a0807"))
    ctx.set_line_width(1)
    ctx.stroke()
    if not pressed:
        ctx.set_source_rgba(*rgb("#ffffff", 0.18 if not lit else 0.45))
        ctx.move_to(x0 + 3, y0 + 1)
        ctx.line_to(x1 - 3, y0 + 1)
        ctx.stroke()
    return x0, y0, x1, y1


def draw_learn(ctx, label, lit, lit_colour):
    x0, y0, x1, y1 = draw_face_button(ctx, 50, 22, lit, lit_colour)
    set_font(ctx, 9.5 if len(label) < 7 else 8.5, NARROW, True)
    base = (y0 + y1) / 2 + 3.4
    if lit:
        text(ctx, label, 25, base, rgb("#2a1406"), shadow=False)
    else:
        text(ctx, label, 25, base, rgb(C_DIM))


def make_learn(label, lit_colour):
    return frames(50, 22, 2, lambda ctx, i: draw_learn(ctx, label, i == 1, lit_colour))


def draw_arrow_button(ctx, right, pressed):
    x0, y0, x1, y1 = draw_face_button(ctx, 22, 22, False, pressed=pressed)
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    d = 1 if right else -1
    ctx.move_to(cx + 4.2 * d, cy)
    ctx.line_to(cx - 3.0 * d, cy - 5)
    ctx.line_to(cx - 3.0 * d, cy + 5)
    ctx.close_path()
    ctx.set_source_rgba(*rgb(C_AMBER if pressed else C_LABEL))
    ctx.fill()


def make_arrow(right):
    return frames(22, 22, 2, lambda ctx, i: draw_arrow_button(ctx, right, i == 1))


# ---------------------------------------------------------------- small parts

def make_led():
    s, ctx = new_surface(8, 8)
    g = cairo.RadialGradient(3.3, 3.2, 0.2, 4, 4, 4)
    g.add_color_stop_rgba(0, *rgb("#fff6d8"))
    g.add_color_stop_rgba(0.35, *rgb("#ffb347"))
    g.add_color_stop_rgba(0.8, *rgb("#e0600f"))
    g.add_color_stop_rgba(1, *rgb("#8a2a05"))
    ctx.set_source(g)
    ctx.arc(4, 4, 3.7, 0, 2 * math.pi)
    ctx.fill()
    return s


def draw_led_socket(ctx, x0, y0):
    """The lamp's bezel and its unlit glass, seen whenever the lamp is hidden."""
    cx, cy = x0 + 4, y0 + 4
    ctx.set_source(vgrad(cy - 6, cy + 6, [(0, rgb("#0b0908")), (1, rgb("#6a6058"))]))
    ctx.arc(cx, cy, 5.6, 0, 2 * math.pi)
    ctx.fill()
    g = cairo.RadialGradient(cx - 1, cy - 1, 0.2, cx, cy, 4)
    g.add_color_stop_rgba(0, *rgb("#6b2f14"))
    g.add_color_stop_rgba(1, *rgb("#2a0f06"))
    ctx.set_source(g)
    ctx.arc(cx, cy, 3.8, 0, 2 * math.pi)
    ctx.fill()


def make_handle():
    """An ivory drawbar tab with a centre index."""
    s, ctx = new_surface(17, 13)
    rrect(ctx, 0.5, 0.5, 16.5, 12.5, 2.2)
    ctx.set_source(vgrad(0, 13, [(0, rgb("#fbf3e2")), (0.5, rgb("#e2d3b6")), (1, rgb("#a8977a"))]))
    ctx.fill_preserve()
    ctx.set_source_rgba(*rgb("#2a221b"))
    ctx.set_line_width(1)
    ctx.stroke()
    g = cairo.LinearGradient(0, 0, 17, 0)
    g.add_color_stop_rgba(0, *rgb("#000000", 0.18))
    g.add_color_stop_rgba(0.3, *rgb("#000000", 0.0))
    g.add_color_stop_rgba(0.7, *rgb("#000000", 0.0))
    g.add_color_stop_rgba(1, *rgb("#000000", 0.25))
    rrect(ctx, 1, 1, 16, 12, 2)
    ctx.set_source(g)
    ctx.fill()
    ctx.set_source_rgba(*rgb("#3b2e22"))
    ctx.rectangle(7.8, 2.2, 1.4, 8.6)
    ctx.fill()
    ctx.set_source_rgba(*rgb("#ffffff", 0.6))
    ctx.rectangle(9.2, 2.2, 0.6, 8.6)
    ctx.fill()
    return s


def draw_screw(ctx, cx, cy, r, slot_deg):
    soft_circle(ctx, cx, cy + 0.8, r, rgb("#000000", 0.6), 1.2)
    g = cairo.RadialGradient(cx - r * 0.4, cy - r * 0.45, 0.3, cx, cy, r)
    g.add_color_stop_rgba(0, *rgb("#f0e9de"))
    g.add_color_stop_rgba(0.6, *rgb("#9a9086"))
    g.add_color_stop_rgba(1, *rgb("#4a433d"))
    ctx.set_source(g)
    ctx.arc(cx, cy, r, 0, 2 * math.pi)
    ctx.fill_preserve()
    ctx.set_source_rgba(*rgb("#15110f"))
    ctx.set_line_width(0.8)
    ctx.stroke()
    x0, y0 = polar(cx, cy, r * 0.78, slot_deg)
    x1, y1 = polar(cx, cy, r * 0.78, slot_deg + 180)
    ctx.set_line_width(max(1.2, r * 0.22))
    ctx.set_source_rgba(*rgb("#1c1714"))
    ctx.move_to(x0, y0)
    ctx.line_to(x1, y1)
    ctx.stroke()


def draw_plate(ctx, x0, y0, x1, y1):
    rrect(ctx, x0, y0, x1, y1, 4)
    ctx.set_source(vgrad(y0, y1, [(0, rgb("#5a5046")), (0.08, rgb("#433a33")),
                                  (0.9, rgb("#2b2420")), (1, rgb("#1a1512"))]))
    ctx.fill()
    # Brushed grain, fixed seed so every run draws the same lines.
    rnd = random.Random(7)
    ctx.save()
    rrect(ctx, x0, y0, x1, y1, 4)
    ctx.clip()
    ctx.set_line_width(0.5)
    for _ in range(int((y1 - y0) * 3)):
        y = rnd.uniform(y0, y1)
        ctx.set_source_rgba(1, 1, 1, rnd.uniform(0.0, 0.05))
        ctx.move_to(x0, y)
        ctx.line_to(x1, y + rnd.uniform(-0.4, 0.4))
        ctx.stroke()
    ctx.restore()
    rrect(ctx, x0 + 0.5, y0 + 0.5, x1 - 0.5, y1 - 0.5, 3.5)
    ctx.set_source_rgba(*rgb("#0a0807"))
    ctx.set_line_width(1)
    ctx.stroke()


def make_tweak():
    """The cover over the tweak row; its left screw sits where the opener listens."""
    s, ctx = new_surface(350, 36)
    draw_plate(ctx, 0, 0, 350, 36)
    sx0, sy0, sx1, sy1 = (TWEAK_SCREW[0] - TWEAK_AREA[0], TWEAK_SCREW[1] - TWEAK_AREA[1],
                          TWEAK_SCREW[2] - TWEAK_AREA[0], TWEAK_SCREW[3] - TWEAK_AREA[1])
    draw_screw(ctx, (sx0 + sx1) / 2, (sy0 + sy1) / 2, 8.0, 40)
    draw_screw(ctx, 350 - 12, 18, 4.0, 110)
    set_font(ctx, 11, SANS, True)
    x = 38
    _, x = text(ctx, "TWEAK", x, 22, rgb(C_HEAD), align="l", spacing=2)
    # The arrow is drawn rather than typed: the panel fonts need not carry the glyph.
    ctx.move_to(x + 6, 14.5)
    ctx.line_to(x + 11, 18)
    ctx.line_to(x + 6, 21.5)
    ctx.close_path()
    ctx.set_source_rgba(*rgb(C_HEAD))
    ctx.fill()
    set_font(ctx, 11, SANS, False)
    _, x = text(ctx, "fine settings", x + 16, 22, rgb(C_LABEL), align="l")
    set_font(ctx, 10, SANS, False, italic=True)
    text(ctx, "\u2014 click the screw to open", x + 5, 22, rgb(C_DIM), align="l")
    return s


# ---------------------------------------------------------------- background

def heading(ctx, s, x, y, x_end):
    set_font(ctx, 10.5, SANS, True)
    _, x1 = text(ctx, s, x, y, rgb(C_HEAD), align="l", spacing=2)
    if x_end is not None and x_end > x1 + 8:
        ctx.set_line_width(1)
        ctx.set_source_rgba(*rgb(C_HEAD, 0.35))
        ctx.move_to(x1 + 6, y - 3.5)
        ctx.line_to(x_end, y - 3.5)
        ctx.stroke()


def label(ctx, s, x, y, colour=C_LABEL, size=8.0, align="c", spacing=1):
    set_font(ctx, size, NARROW, True)
    text(ctx, s, x, y, rgb(colour), align=align, spacing=spacing)


def band(ctx, x0, y0, x1, y1):
    rrect(ctx, x0, y0, x1, y1, 5)
    ctx.set_source(vgrad(y0, y1, [(0, rgb("#322a24")), (1, rgb(C_BAND))]))
    ctx.fill()
    rrect(ctx, x0 + 0.5, y0 + 0.5, x1 - 0.5, y1 - 0.5, 4.5)
    ctx.set_line_width(1)
    ctx.set_source(vgrad(y0, y1, [(0, rgb(C_BAND_HI)), (1, rgb(C_BAND_LO))]))
    ctx.stroke()


def divider(ctx, x, y0, y1):
    ctx.set_line_width(1)
    ctx.set_source_rgba(*rgb(C_BAND_LO))
    ctx.move_to(x + 0.5, y0)
    ctx.line_to(x + 0.5, y1)
    ctx.stroke()
    ctx.set_source_rgba(*rgb(C_BAND_HI, 0.7))
    ctx.move_to(x + 1.5, y0)
    ctx.line_to(x + 1.5, y1)
    ctx.stroke()


def knob_scale(ctx, rect, r0=17.6, r1=20.2, ticks=11):
    x0, y0, x1, y1 = rect
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    ctx.set_line_cap(cairo.LINE_CAP_ROUND)
    for i in range(ticks):
        a = knob_angle(i, ticks)
        end = i in (0, ticks - 1, ticks // 2)
        ctx.set_line_width(1.2 if end else 0.9)
        ctx.set_source_rgba(*rgb(C_TICK if not end else C_DIM))
        xa, ya = polar(cx, cy, r0, a)
        xb, yb = polar(cx, cy, r1 + (0.8 if end else 0), a)
        ctx.move_to(xa, ya)
        ctx.line_to(xb, yb)
        ctx.stroke()
    ctx.set_line_cap(cairo.LINE_CAP_BUTT)


def knob_well(ctx, rect, r):
    x0, y0, x1, y1 = rect
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    g = cairo.RadialGradient(cx, cy, r - 2, cx, cy, r + 1.5)
    g.add_color_stop_rgba(0, *rgb("#000000", 0.5))
    g.add_color_stop_rgba(1, *rgb("#000000", 0.0))
    ctx.set_source(g)
    ctx.arc(cx, cy, r + 1.5, 0, 2 * math.pi)
    ctx.fill()


def selector_legend(ctx, rect, angles, names, r_dot=16.8):
    x0, y0, x1, y1 = rect
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    set_font(ctx, 7.5, NARROW, True)
    for a, name in zip(angles, names):
        dx, dy = polar(cx, cy, r_dot, a)
        ctx.set_source_rgba(*rgb(C_DIM))
        ctx.arc(dx, dy, 1.1, 0, 2 * math.pi)
        ctx.fill()
        w = text_width(ctx, name, 1)
        h = 5.5
        s, c = math.sin(math.radians(a)), -math.cos(math.radians(a))
        r = r_dot + 2.5 + 0.5 * abs(w * s) + (0.5 * h + 1.5) * abs(c)
        tx, ty = polar(cx, cy, r, a)
        text(ctx, name, tx, ty + h / 2, rgb(C_LABEL), spacing=1)


def slider_track(ctx, rect):
    x0, y0, x1, y1 = rect
    cy = (y0 + y1) / 2
    rrect(ctx, x0 + 1, cy - 2.5, x1 - 1, cy + 2.5, 2.5)
    ctx.set_source_rgba(*rgb(C_GROOVE))
    ctx.fill()
    ctx.set_line_width(1)
    ctx.set_source_rgba(*rgb(C_BAND_HI))
    ctx.move_to(x0 + 3, cy + 3)
    ctx.line_to(x1 - 3, cy + 3)
    ctx.stroke()
    # Handle travel: a faint centre line inside the slot.
    ctx.set_source_rgba(*rgb("#5a4c3e", 0.8))
    ctx.set_line_width(0.8)
    ctx.move_to(x0 + 8.5, cy)
    ctx.line_to(x1 - 8.5, cy)
    ctx.stroke()


def display_window(ctx, rect):
    x0, y0, x1, y1 = rect
    rrect(ctx, x0 - 0.5, y0 - 0.5, x1 + 0.5, y1 + 0.5, 2.5)
    ctx.set_source(vgrad(y0, y1, [(0, rgb("#000000")), (1, rgb("#3e342c"))]))
    ctx.fill()
    rrect(ctx, x0 + 0.8, y0 + 0.8, x1 - 0.8, y1 - 0.8, 2)
    ctx.set_source(vgrad(y0, y1, [(0, rgb("#0d0a08")), (1, rgb("#1a120c"))]))
    ctx.fill()
    # A faint warm glass sheen along the top.
    ctx.set_source_rgba(*rgb(C_AMBER, 0.06))
    ctx.rectangle(x0 + 1, y0 + 1, x1 - x0 - 2, (y1 - y0) / 2 - 1)
    ctx.fill()


def cheek(ctx, x0, x1):
    """Walnut end cheeks; the grain comes from a fixed seed."""
    g = cairo.LinearGradient(x0, 0, x1, 0)
    g.add_color_stop_rgba(0, *rgb("#3b2416"))
    g.add_color_stop_rgba(0.5, *rgb("#5a3820"))
    g.add_color_stop_rgba(1, *rgb("#2e1c11"))
    ctx.set_source(g)
    ctx.rectangle(x0, 0, x1 - x0, H)
    ctx.fill()
    rnd = random.Random(int(x0) + 11)
    ctx.set_line_width(0.6)
    for _ in range(14):
        x = rnd.uniform(x0, x1)
        ctx.set_source_rgba(0.1, 0.05, 0.02, rnd.uniform(0.25, 0.55))
        ctx.move_to(x, 0)
        for y in range(0, H + 20, 20):
            ctx.line_to(x + 0.8 * math.sin(y / rnd.uniform(30, 60) + rnd.uniform(0, 3)), y)
        ctx.stroke()


def make_back():
    TEXT_BOXES.clear()
    s, ctx = new_surface(W, H)
    ctx.set_source(vgrad(0, H, [(0, rgb("#221d19")), (1, rgb("#15120f"))]))
    ctx.paint()
    cheek(ctx, 0, 10)
    cheek(ctx, W - 10, W)

    # Title strip.
    set_font(ctx, 19, SANS, True)
    _, tx = text(ctx, "TESSARON", 194, 23, rgb(C_LABEL), align="l", spacing=6)
    set_font(ctx, 9, SANS, True)
    text(ctx, "PARAPHONIC  SYNTHESIZER", W - 18, 22, rgb(C_HEAD), align="r", spacing=2)

    # Bands and dividers.
    band(ctx, 14, 8, 180, 132)
    band(ctx, 186, 30, 1110, 132)
    band(ctx, 14, 138, 1110, 242)
    band(ctx, 14, 248, 1110, 346)
    band(ctx, 14, 350, 392, 398)
    for x in (374, 582, 894):
        divider(ctx, x, 36, 126)
    divider(ctx, 736, 52, 106)
    for x in (280, 481, 683, 886):
        divider(ctx, x, 144, 236)
    for x in (132, 381, 690):
        divider(ctx, x, 254, 340)

    # Headings.
    heading(ctx, "ORGAN", 22, 22, 172)
    heading(ctx, "VCF", 194, ROW_TOP["head"], 366)
    heading(ctx, "GLIDE", 384, ROW_TOP["head"], 574)
    heading(ctx, "OSC 1", 592, ROW_TOP["head"], 728)
    heading(ctx, "OSC 2", 746, ROW_TOP["head"], 886)
    heading(ctx, "LFO", 904, ROW_TOP["head"], 1100)
    heading(ctx, "MIX", 22, ROW_MID["head"], 90)
    heading(ctx, "ENVELOPE", 290, ROW_MID["head"], 473)
    heading(ctx, "STRINGS", 491, ROW_MID["head"], 675)
    heading(ctx, "WAVEFORM", 693, ROW_MID["head"], 878)
    heading(ctx, "MODULATION", 896, ROW_MID["head"], 1100)
    heading(ctx, "WHEELS", 22, ROW_BOT["head"], 124)
    heading(ctx, "PHASER", 142, ROW_BOT["head"], 373)
    heading(ctx, "DELAY", 391, ROW_BOT["head"], 682)
    heading(ctx, "PROGRAM", 700, ROW_BOT["head"], 1100)

    # Organ drawbars.
    for kind, rect, _, name in ORGAN:
        slider_track(ctx, rect)
        label(ctx, name, rect[0] - 6, rect[1] + 9.5, C_LABEL, 9.0, align="r")
    label(ctx, "FOOTAGE", 159, 128, C_DIM, 7.0)

    for row, baselines in ((TOP, ROW_TOP), (MIDDLE, ROW_MID), (BOTTOM, ROW_BOT)):
        for c in row:
            kind, rect, _, name = c[:4]
            x0, y0, x1, y1 = rect
            cx = (x0 + x1) / 2
            if kind == "knob":
                knob_well(ctx, rect, 14.5)
                knob_scale(ctx, rect)
            elif kind in ("selector3", "selector4"):
                knob_well(ctx, rect, 12.5)
                angles = SELECTOR3_ANGLES if kind == "selector3" else SELECTOR4_ANGLES
                selector_legend(ctx, rect, angles, c[4])
            elif kind == "toggle":
                low, high = c[4]
                label(ctx, high, cx, y0 - 3, C_DIM, 7.5)
                label(ctx, low, cx, y1 + 8, C_DIM, 7.5)
            elif kind == "slider":
                slider_track(ctx, rect)
            elif kind == "led":
                draw_led_socket(ctx, x0, y0)
                if name:
                    label(ctx, name, cx, y1 + 8.5, C_DIM, 7.0)
                continue
            elif kind == "button":
                rrect(ctx, x0 + 1, y0 + 1, x1 - 1, y1 - 1, 5)
                ctx.set_source_rgba(*rgb("#000000", 0.35))
                ctx.fill()
            if name:
                nx = cx
                if rect == (902, 177, 934, 209):  # the rate lamp sits under this knob's left half
                    nx = cx + 9
                # Delay buttons stand only 36 pixels apart: long names go unspaced.
                tight = kind == "button" and len(name) > 7
                label(ctx, name, nx, baselines["name"], spacing=0 if tight else 1)
    label(ctx, "PAN", 93, 166, C_DIM, 7.5, align="r")

    # Program panel.
    for rect in (PROGRAM_NUMBER, PROGRAM_NAME):
        display_window(ctx, rect)
    label(ctx, "NO.", (PROGRAM_NUMBER[0] + PROGRAM_NUMBER[2]) / 2, 292, C_DIM, 7.0)
    label(ctx, "NAME", PROGRAM_NAME[0] + 2, 292, C_DIM, 7.0, align="l")
    for rect in (PREV, NEXT, LEARN):
        rrect(ctx, rect[0], rect[1], rect[2], rect[3], 4)
        ctx.set_source_rgba(*rgb("#000000", 0.35))
        ctx.fill()
    mx0, my0, mx1, my1 = MENU
    rrect(ctx, mx0 + 0.5, my0 + 0.5, mx1 - 0.5, my1 - 0.5, 3)
    ctx.set_source(vgrad(my0, my1, [(0, rgb("#4a423b")), (1, rgb("#221d1a"))]))
    ctx.fill_preserve()
    ctx.set_source_rgba(*rgb("#0a0807"))
    ctx.set_line_width(1)
    ctx.stroke()
    set_font(ctx, 8.5, NARROW, True)
    text(ctx, "MENU", (mx0 + mx1) / 2 - 4, my0 + 13.5, rgb(C_LABEL), spacing=1)
    ctx.move_to(mx1 - 10, my0 + 8.5)
    ctx.line_to(mx1 - 4, my0 + 8.5)
    ctx.line_to(mx1 - 7, my0 + 12.5)
    ctx.close_path()
    ctx.set_source_rgba(*rgb(C_HEAD))
    ctx.fill()
    label(ctx, "MIDI", (LEARN[0] + LEARN[2]) / 2, 292, C_DIM, 7.0)

    # Tweak row, visible once the cover is off.
    tx0, ty0, tx1, ty1 = TWEAK_AREA
    rrect(ctx, tx0, ty0, tx1, ty1, 4)
    ctx.set_source_rgba(*rgb("#000000", 0.3))
    ctx.fill()
    sx0, sy0, sx1, sy1 = TWEAK_SCREW
    draw_screw(ctx, (sx0 + sx1) / 2, (sy0 + sy1) / 2, 8.0, 40)
    for kind, rect, _, name in TWEAK:
        x0, y0, x1, y1 = rect
        if kind == "smallknob":
            knob_scale(ctx, rect, 10.0, 11.6, 7)
        label(ctx, name, (x0 + x1) / 2, y0 - 4, C_LABEL, 7.0, spacing=0)
    for name, gx0, gx1 in TWEAK_GROUPS:
        label(ctx, name, (gx0 + gx1) / 2, 397, C_DIM, 6.5)


    # Maker's plate in the open lower right corner.
    draw_plate(ctx, 850, 354, 1110, 396)
    draw_lantern(ctx, 874, 375)
    set_font(ctx, 17, SERIF, False, italic=True)
    text(ctx, "Grey Lantern Labs", 1094, 381, rgb(C_LABEL), align="r")
    for sx in (857, 1103):
        draw_screw(ctx, sx, 375, 2.6, 30 + sx % 7 * 20)
    return s


def draw_lantern(ctx, cx, cy):
    """The maker's mark: a small lantern with a warm flame."""
    soft_circle(ctx, cx, cy + 2, 7, rgb(C_AMBER, 0.35), 9)
    ctx.set_line_width(1.2)
    ctx.set_source_rgba(*rgb("#cfc4b4"))
    ctx.arc(cx, cy - 13, 3.2, math.pi, 2 * math.pi)  # bail
    ctx.stroke()
    ctx.move_to(cx - 7, cy - 8)  # cap
    ctx.line_to(cx - 3, cy - 13)
    ctx.line_to(cx + 3, cy - 13)
    ctx.line_to(cx + 7, cy - 8)
    ctx.close_path()
    ctx.fill()
    rrect(ctx, cx - 6, cy - 8, cx + 6, cy + 10, 2)  # glass
    g = cairo.RadialGradient(cx, cy + 2, 0.5, cx, cy + 2, 9)
    g.add_color_stop_rgba(0, *rgb("#fff3cf"))
    g.add_color_stop_rgba(0.4, *rgb(C_AMBER))
    g.add_color_stop_rgba(1, *rgb("#8a4a12"))
    ctx.set_source(g)
    ctx.fill()
    ctx.set_source_rgba(*rgb("#2a211a"))
    ctx.set_line_width(1.1)
    for x in (cx - 6, cx, cx + 6):  # frame bars
        ctx.move_to(x, cy - 8)
        ctx.line_to(x, cy + 10)
        ctx.stroke()
    ctx.set_source_rgba(*rgb("#cfc4b4"))
    rrect(ctx, cx - 8, cy + 10, cx + 8, cy + 13, 1)  # base
    ctx.fill()


# ---------------------------------------------------------------- preview

def frame_of(n, value):
    return max(0, min(n - 1, int((n - 1) * value + 0.5)))


def blit(ctx, surface, x, y, w, h, frame):
    ctx.save()
    ctx.rectangle(x, y, w, h)
    ctx.clip()
    ctx.set_source_surface(surface, x, y - frame * h)
    ctx.paint()
    ctx.restore()


def make_preview(img, tweak_open):
    s, ctx = new_surface(W, H)
    ctx.set_source_surface(img["back"], 0, 0)
    ctx.paint()
    for kind, rect, value, *_ in ORGAN + TOP + MIDDLE + BOTTOM + TWEAK:
        x0, y0, x1, y1 = rect
        if kind == "knob":
            blit(ctx, img["knob"], x0, y0, 32, 32, frame_of(65, value))
        elif kind == "smallknob":
            blit(ctx, img["knob_small"], x0, y0, 18, 18, frame_of(65, value))
        elif kind == "selector3":
            blit(ctx, img["switch3"], x0, y0, 32, 32, frame_of(3, value))
        elif kind == "selector4":
            blit(ctx, img["switch4"], x0, y0, 32, 32, frame_of(4, value))
        elif kind == "toggle":
            blit(ctx, img["switch2"], x0, y0, 32, 32, frame_of(2, value))
        elif kind == "button":
            blit(ctx, img["button_on" if value >= 0.5 else "button_off"], x0, y0, 32, 32, 0)
        elif kind == "smallbutton":
            blit(ctx, img["button_small_on" if value >= 0.5 else "button_small_off"], x0, y0, 18, 18, 0)
        elif kind == "slider":
            hx = x0 + int((x1 - x0 - 17) * value)
            blit(ctx, img["handle"], hx, y0, 17, 13, 0)
        elif kind == "led":
            blit(ctx, img["led"], x0, y0, 8, 8, 0)
    blit(ctx, img["prev"], PREV[0], PREV[1], 22, 22, 0)
    blit(ctx, img["next"], NEXT[0], NEXT[1], 22, 22, 0)
    blit(ctx, img["learn"], LEARN[0], LEARN[1], 50, 22, 0)
    if not tweak_open:
        blit(ctx, img["tweak"], TWEAK_AREA[0], TWEAK_AREA[1], 350, 36, 0)
    # The texts the controls draw themselves, so legibility can be judged.
    set_font(ctx, 15, SANS, False)
    white = (1, 1, 1, 192 / 255.0)
    for rect, t in ((PROGRAM_NUMBER, "00"), (PROGRAM_NAME, "Init")):
        text(ctx, t, (rect[0] + rect[2]) / 2, rect[3] - 2.5, white, shadow=False)
    set_font(ctx, 12, SANS, False)
    text(ctx, "1.0.1.0", 1075, 340, white, align="r", shadow=False)
    return s


# ---------------------------------------------------------------- layout check

def keep_out_areas():
    """Where the controls draw or take clicks; no legend may lie there."""
    areas = []
    for kind, rect, *_ in ORGAN + TOP + MIDDLE + BOTTOM + TWEAK:
        x0, y0, x1, y1 = rect
        if kind == "slider":
            areas.append(("rect", (x0, y0 - 13, x1, y1)))  # track plus the value strip above it
        elif kind in ("selector3", "selector4"):
            areas.append(("circle", ((x0 + x1) / 2, (y0 + y1) / 2, 15.0)))  # legends sit in its clear corners
        else:
            areas.append(("rect", rect))
    for rect in (PROGRAM_NUMBER, PROGRAM_NAME, PREV, NEXT, LEARN, VERSION, TWEAK_SCREW):
        areas.append(("rect", rect))
    return areas


def check_layout():
    bad = []
    for s, tx0, ty0, tx1, ty1 in TEXT_BOXES:
        for shape, a in keep_out_areas():
            if shape == "rect":
                hit = tx0 < a[2] and a[0] < tx1 and ty0 < a[3] and a[1] < ty1
            else:
                cx, cy, r = a
                nx, ny = min(max(cx, tx0), tx1), min(max(cy, ty0), ty1)
                hit = (nx - cx) ** 2 + (ny - cy) ** 2 < r * r
            if hit:
                bad.append("%r at (%.1f, %.1f, %.1f, %.1f) lies under a control at %r" % (s, tx0, ty0, tx1, ty1, a))
    for i, (s1, *b1) in enumerate(TEXT_BOXES):
        for s2, *b2 in TEXT_BOXES[i + 1:]:
            if b1[0] < b2[2] and b2[0] < b1[2] and b1[1] < b2[3] and b2[1] < b1[3]:
                bad.append("%r and %r overlap" % (s1, s2))
    if bad:
        raise SystemExit("\n".join(bad))


# ---------------------------------------------------------------- main

def main():
    os.makedirs(IMG, exist_ok=True)
    os.makedirs(DOCS, exist_ok=True)
    back = make_back()
    check_layout()
    img = {
        "back": back,
        "button_off": make_button(32, False),
        "button_on": make_button(32, True),
        "button_small_off": make_button(18, False),
        "button_small_on": make_button(18, True),
        "handle": make_handle(),
        "knob": make_knob(),
        "knob_small": make_knob_small(),
        "learn": make_learn("LEARN", "#f0a23a"),
        "led": make_led(),
        "next": make_arrow(True),
        "prev": make_arrow(False),
        "switch2": make_switch2(),
        "switch3": make_selector(SELECTOR3_ANGLES),
        "switch4": make_selector(SELECTOR4_ANGLES),
        "unlearn": make_learn("UNLEARN", "#e2604a"),
        "tweak": make_tweak(),
    }
    for name, surface in img.items():
        surface.write_to_png(os.path.join(IMG, name + ".png"))
    make_preview(img, False).write_to_png(os.path.join(DOCS, "panel-preview.png"))
    make_preview(img, True).write_to_png(os.path.join(DOCS, "panel-preview-tweak-open.png"))


if __name__ == "__main__":
    main()
