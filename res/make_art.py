#!/usr/bin/env python3
# Draws Nightjar's icons (32 x 32, 16 colours) and its logo bitmap (168 x 45, 16 colours) from
# simple shapes and small pixel maps, and writes them as .ICO and .BMP files beside this script.
# Run it after changing a drawing: python3 res/make_art.py. The files it writes are committed.
import os
import struct

# The 16-colour palette every image uses (the usual 16 colours of a 4-bit display), as RGB.
PALETTE = [
    (0x00, 0x00, 0x00),  # 0 black
    (0x80, 0x00, 0x00),  # 1 dark red
    (0x00, 0x80, 0x00),  # 2 dark green
    (0x80, 0x80, 0x00),  # 3 olive
    (0x00, 0x00, 0x80),  # 4 navy
    (0x80, 0x00, 0x80),  # 5 purple
    (0x00, 0x80, 0x80),  # 6 teal
    (0xC0, 0xC0, 0xC0),  # 7 silver
    (0x80, 0x80, 0x80),  # 8 grey
    (0xFF, 0x00, 0x00),  # 9 red
    (0x00, 0xFF, 0x00),  # 10 green
    (0xFF, 0xFF, 0x00),  # 11 yellow
    (0x00, 0x00, 0xFF),  # 12 blue
    (0xFF, 0x00, 0xFF),  # 13 magenta
    (0x00, 0xFF, 0xFF),  # 14 cyan
    (0xFF, 0xFF, 0xFF),  # 15 white
]
BLACK, DRED, DGREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GREY, RED, GREEN, YELLOW, BLUE, MAGENTA, CYAN, WHITE = range(8, 16)
CLEAR = None  # transparent (icons only)


class Canvas:
    def __init__(self, w, h, fill=CLEAR):
        self.w, self.h = w, h
        self.px = [[fill] * w for _ in range(h)]

    def set(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, c):
        """Filled rectangle, corners inclusive."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.set(x, y, c)

    def frame(self, x0, y0, x1, y1, c):
        for x in range(x0, x1 + 1):
            self.set(x, y0, c)
            self.set(x, y1, c)
        for y in range(y0, y1 + 1):
            self.set(x0, y, c)
            self.set(x1, y, c)

    def ellipse(self, cx, cy, rx, ry, c):
        """Filled ellipse centred on a pixel centre or between pixels (half-integer centres)."""
        for y in range(self.h):
            for x in range(self.w):
                dx, dy = (x - cx) / rx, (y - cy) / ry
                if dx * dx + dy * dy <= 1.0:
                    self.set(x, y, c)

    def line(self, x0, y0, x1, y1, c, width=1):
        steps = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(steps + 1):
            x = round(x0 + (x1 - x0) * i / steps)
            y = round(y0 + (y1 - y0) * i / steps)
            for dy in range(width):
                for dx in range(width):
                    self.set(x + dx, y + dy, c)

    def polygon(self, points, c):
        """Filled polygon: pixels whose centres lie inside (even-odd rule)."""
        for y in range(self.h):
            yc = y + 0.5
            xs = []
            for (xa, ya), (xb, yb) in zip(points, points[1:] + points[:1]):
                if (ya <= yc < yb) or (yb <= yc < ya):
                    xs.append(xa + (yc - ya) * (xb - xa) / (yb - ya))
            xs.sort()
            for xa, xb in zip(xs[0::2], xs[1::2]):
                for x in range(self.w):
                    if xa <= x + 0.5 < xb:
                        self.set(x, y, c)

    def pixmap(self, x0, y0, rows, colours, scale=1):
        """Draws an ASCII pixel map; characters not in `colours` are left untouched."""
        for j, row in enumerate(rows):
            for i, ch in enumerate(row):
                if ch in colours:
                    for sy in range(scale):
                        for sx in range(scale):
                            self.set(x0 + i * scale + sx, y0 + j * scale + sy, colours[ch])

    def outline(self, c, inside=None):
        """Draws colour `c` on transparent pixels next to drawn ones: a one-pixel outline."""
        drawn = [[p is not CLEAR for p in row] for row in self.px]
        for y in range(self.h):
            for x in range(self.w):
                if drawn[y][x]:
                    continue
                for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
                    nx, ny = x + dx, y + dy
                    if 0 <= nx < self.w and 0 <= ny < self.h and drawn[ny][nx]:
                        if inside is None or self.px[ny][nx] in inside:
                            self.px[y][x] = c
                        break


# --- File writers ------------------------------------------------------------------------------

def _palette_bytes():
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)


def _pixels_4bit(canvas):
    """Bottom-up rows of 4-bit indices, each row padded to a multiple of 4 bytes."""
    out = bytearray()
    row_bytes = ((canvas.w * 4 + 31) // 32) * 4
    for y in reversed(range(canvas.h)):
        row = bytearray(row_bytes)
        for x in range(canvas.w):
            c = canvas.px[y][x]
            index = 0 if c is CLEAR else c
            if x % 2 == 0:
                row[x // 2] |= index << 4
            else:
                row[x // 2] |= index
        out += row
    return bytes(out)


def _mask_1bit(canvas):
    """The icon's AND mask: 1 where the pixel is transparent."""
    out = bytearray()
    row_bytes = ((canvas.w + 31) // 32) * 4
    for y in reversed(range(canvas.h)):
        row = bytearray(row_bytes)
        for x in range(canvas.w):
            if canvas.px[y][x] is CLEAR:
                row[x // 8] |= 0x80 >> (x % 8)
        out += row
    return bytes(out)


def write_ico(path, canvas):
    assert canvas.w == 32 and canvas.h == 32
    xor = _pixels_4bit(canvas)
    mask = _mask_1bit(canvas)
    header = struct.pack("<IiiHHIIiiII", 40, canvas.w, canvas.h * 2, 1, 4, 0, len(xor) + len(mask),
                         0, 0, 16, 0)
    image = header + _palette_bytes() + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", canvas.w, canvas.h, 16, 0, 1, 4, len(image), 6 + 16)
    with open(path, "wb") as f:
        f.write(directory + entry + image)


def write_bmp(path, canvas):
    pixels = _pixels_4bit(canvas)
    info = struct.pack("<IiiHHIIiiII", 40, canvas.w, canvas.h, 1, 4, 0, len(pixels), 3780, 3780,
                       16, 0)
    offset = 14 + len(info) + 64
    file_header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    with open(path, "wb") as f:
        f.write(file_header + info + _palette_bytes() + pixels)


# --- Shared pieces ---------------------------------------------------------------------------

def sheet(c, x0=6, y0=2, x1=23, y1=29, lines=True):
    """A sheet of paper with a folded corner and, optionally, lines of writing."""
    c.polygon([(x0, y0), (x1 - 5, y0), (x1 + 1, y0 + 6), (x1 + 1, y1 + 1), (x0, y1 + 1)], WHITE)
    c.line(x0, y0, x1 - 6, y0, GREY)
    c.line(x0, y0, x0, y1, GREY)
    c.line(x0, y1, x1, y1, BLACK)
    c.line(x1, y0 + 6, x1, y1, BLACK)
    c.line(x1 - 5, y0, x1, y0 + 5, BLACK)
    c.polygon([(x1 - 5, y0), (x1 - 5, y0 + 6), (x1 + 1, y0 + 6)], SILVER)
    c.line(x1 - 5, y0, x1 - 5, y0 + 5, GREY)
    c.line(x1 - 5, y0 + 5, x1 - 1, y0 + 5, GREY)
    if lines:
        for y in range(y0 + 9, y1 - 2, 3):
            c.line(x0 + 3, y, x1 - 4 - (5 if (y // 3) % 3 == 0 else 0), y, NAVY)


TICK = [
    "..........##",
    ".........###",
    "........###.",
    ".......###..",
    "##....###...",
    "###..###....",
    ".######.....",
    "..####......",
    "...##.......",
]


def tick(c, x0, y0, scale=2, colour=DGREEN, edge=GREEN):
    c.pixmap(x0, y0, TICK, {"#": colour}, scale)
    # A lighter stroke along the top edge gives the mark some depth.
    for j, row in enumerate(TICK):
        for i, ch in enumerate(row):
            if ch == "#" and (j == 0 or TICK[j - 1][i] != "#"):
                c.rect(x0 + i * scale, y0 + j * scale, x0 + i * scale + scale - 1, y0 + j * scale, edge)


# --- The icons -------------------------------------------------------------------------------

def bird(c, ox, oy):
    """The nightjar of the program icon, lying along a branch as nightjars do: long tail and wings
    to the left, broad flat head with a large eye. (ox, oy) moves it."""
    def p(x, y):
        return (x + ox, y + oy)
    c.polygon([p(0, 24), p(9, 16), p(12, 19), p(2, 26)], OLIVE)  # tail
    c.line(*p(2, 24), *p(10, 18), GREY)
    c.ellipse(16 + ox, 18.5 + oy, 8, 4.5, SILVER)  # body
    c.ellipse(23.5 + ox, 15 + oy, 4.5, 4, SILVER)  # head
    c.polygon([p(5, 19), p(15, 14), p(21, 15), p(19, 18), p(11, 19)], OLIVE)  # long folded wing
    for x, y in ((12, 17), (15, 16), (17, 17), (14, 18), (9, 18), (19, 16)):
        c.set(*p(x, y), GREY)  # mottling
    for x, y in ((16, 21), (13, 21), (21, 13), (23, 12)):
        c.set(*p(x, y), OLIVE)
    c.line(*p(18, 21), *p(24, 19), WHITE)  # pale throat band
    c.rect(*p(23, 13), *p(25, 15), BLACK)  # the large eye
    c.set(*p(24, 13), WHITE)
    c.polygon([p(27, 15), p(30, 16.5), p(27, 18)], BLACK)  # the short bill


def program_icon():
    """A nightjar perched along a branch in front of a night sky with a crescent moon."""
    c = Canvas(32, 32)
    c.ellipse(15.5, 15.5, 15.6, 15.6, NAVY)
    c.ellipse(9, 9, 5.5, 5.5, YELLOW)
    c.ellipse(11.5, 7, 5, 5, NAVY)  # bites the moon into a crescent
    for x, y in ((20, 4), (25, 8), (16, 3), (5, 19), (27, 12)):
        c.set(x, y, WHITE)
    c.line(0, 27, 31, 21, DRED, 3)  # the branch
    bird(c, 0, 0)
    return c


def coffee_icon():
    """A steaming cup on a saucer: something to do while the program is made."""
    c = Canvas(32, 32)
    for x0 in (10, 15, 20):
        c.pixmap(x0, 1, [".#", "#.", "#.", ".#", ".#", "#.", "#."], {"#": GREY})
    c.ellipse(15.5, 27, 14, 3.5, SILVER)  # the saucer
    c.polygon([(5, 10), (25, 10), (24, 22), (21, 26), (9, 26), (6, 22)], WHITE)
    c.line(5, 10, 8, 25, GREY)
    c.line(24, 22, 21, 26, GREY)
    c.ellipse(15, 10.5, 10, 2.3, DRED)  # the coffee
    c.ellipse(15, 10.5, 6, 1, OLIVE)
    c.ellipse(27, 16, 4, 4.5, WHITE)  # the handle
    c.ellipse(27, 16, 2, 2.5, CLEAR)
    c.rect(23, 11, 24, 21, WHITE)
    c.line(9, 26, 21, 26, GREY)
    c.line(3, 28, 28, 28, GREY)
    c.outline(BLACK)
    return c


def computer_icon():
    """A monitor on its stand with a keyboard: a program to build."""
    c = Canvas(32, 32)
    c.rect(3, 2, 28, 20, SILVER)
    c.frame(3, 2, 28, 20, BLACK)
    c.rect(6, 5, 25, 17, NAVY)
    for y, w in ((7, 10), (9, 14), (11, 8), (13, 12)):
        c.line(8, y, 8 + w, y, CYAN)
    c.set(21, 13, WHITE)
    c.rect(12, 21, 19, 23, GREY)
    c.rect(8, 24, 23, 25, SILVER)
    c.frame(8, 24, 23, 25, BLACK)
    c.polygon([(2, 27), (29, 27), (31, 31), (0, 31)], SILVER)
    c.line(2, 27, 29, 27, BLACK)
    c.line(0, 31, 31, 31, BLACK)
    for x in range(3, 29, 3):
        c.set(x, 29, GREY)
    return c


def plug_and_socket(c, gap, light):
    """A cable with a plug from the left and one with a socket from the right, `gap` pixels apart
    (0: plugged in), with a round lamp above them in colour `light`."""
    y = 19
    plug_right = 13 - gap // 2
    socket_left = plug_right + 3 + gap
    c.rect(0, y - 1, plug_right - 9, y + 1, BLACK)  # cable
    c.rect(plug_right - 8, y - 5, plug_right, y + 5, TEAL)
    c.frame(plug_right - 8, y - 5, plug_right, y + 5, BLACK)
    c.line(plug_right - 7, y - 4, plug_right - 1, y - 4, CYAN)
    for py in (y - 3, y + 2):  # the pins
        c.rect(plug_right + 1, py, plug_right + 5, py + 1, SILVER)
        c.line(plug_right + 1, py + 1, plug_right + 5, py + 1, GREY)
    c.rect(socket_left, y - 6, socket_left + 9, y + 6, SILVER)
    c.frame(socket_left, y - 6, socket_left + 9, y + 6, BLACK)
    c.line(socket_left + 1, y + 5, socket_left + 8, y + 5, GREY)
    if gap:
        for py in (y - 3, y + 2):  # the empty holes
            c.rect(socket_left, py, socket_left + 2, py + 1, BLACK)
    c.rect(socket_left + 10, y - 1, 31, y + 1, BLACK)  # cable
    c.ellipse(15.5, 5.5, 4.6, 4.6, BLACK)
    c.ellipse(15.5, 5.5, 3.6, 3.6, light)
    c.rect(14, 3, 15, 4, WHITE)


def connect_icon():
    """Plug pushed into its socket, with a green lamp: connected."""
    c = Canvas(32, 32)
    plug_and_socket(c, 0, GREEN)
    return c


def disconnect_icon():
    """Plug pulled out of its socket, with a red lamp: disconnected."""
    c = Canvas(32, 32)
    plug_and_socket(c, 8, RED)
    return c


def tag_icon():
    """A luggage tag with a tick: tag an application for processing."""
    c = Canvas(32, 32)
    c.polygon([(2, 12), (10, 4), (29, 4), (29, 27), (10, 27), (2, 19)], YELLOW)
    c.line(10, 4, 29, 4, OLIVE)
    c.line(29, 4, 29, 27, OLIVE)
    c.line(10, 27, 29, 27, OLIVE)
    c.line(2, 12, 10, 4, OLIVE)
    c.line(2, 19, 10, 27, OLIVE)
    c.line(2, 12, 2, 19, OLIVE)
    c.ellipse(8, 15.5, 2, 2, CLEAR)
    c.line(0, 15, 6, 15, DRED)
    tick(c, 13, 8, 1, DGREEN, GREEN)
    tick(c, 14, 9, 1, DGREEN, GREEN)
    tick(c, 14, 8, 1, DGREEN, GREEN)
    c.outline(BLACK, inside={OLIVE})
    return c


def insert_icon():
    """A sheet with a green plus: add an application."""
    c = Canvas(32, 32)
    sheet(c, 3, 1, 20, 27)
    c.rect(18, 18, 30, 22, DGREEN)
    c.rect(22, 14, 26, 26, DGREEN)
    c.line(19, 19, 29, 19, GREEN)
    c.line(23, 15, 23, 25, GREEN)
    c.outline(BLACK, inside={DGREEN, GREEN})
    return c


def change_icon():
    """A sheet with a pencil across it: change an application."""
    c = Canvas(32, 32)
    sheet(c, 3, 1, 20, 27)
    # The pencil runs from the bottom left to the top right over the sheet.
    c.polygon([(23, 4), (29, 10), (14, 25), (8, 19)], YELLOW)
    c.polygon([(25, 6), (29, 10), (14, 25), (12, 23)], OLIVE)
    c.polygon([(23, 4), (26, 1), (31, 7), (28, 9)], RED)
    c.polygon([(22, 5), (23, 4), (28, 9), (27, 10)], SILVER)
    c.polygon([(8, 19), (14, 25), (6, 28)], WHITE)
    c.polygon([(7, 25), (9, 27), (5, 29)], BLACK)
    c.line(8, 19, 5, 28, BLACK)
    c.line(5, 28, 14, 25, BLACK)
    return c


def delete_icon():
    """A sheet struck out with a red cross: remove an application."""
    c = Canvas(32, 32)
    sheet(c, 3, 1, 20, 27)
    c.line(14, 13, 28, 27, RED, 3)
    c.line(28, 13, 14, 27, RED, 3)
    c.line(15, 13, 29, 27, DRED)
    c.line(29, 13, 15, 27, DRED)
    return c


def log_icon():
    """A clipboard holding a list of ticked entries: the log of actions."""
    c = Canvas(32, 32)
    c.rect(4, 3, 27, 31, OLIVE)
    c.frame(4, 3, 27, 31, BLACK)
    c.rect(7, 6, 24, 29, WHITE)
    c.line(25, 7, 25, 29, GREY)
    c.rect(11, 1, 20, 5, SILVER)
    c.frame(11, 1, 20, 5, BLACK)
    c.rect(14, 0, 17, 1, GREY)
    for y in range(9, 28, 4):
        c.pixmap(9, y - 1, ["...#", "#.#.", ".#.."], {"#": DGREEN})
        c.line(14, y, 22 - (3 if y % 8 == 1 else 0), y, NAVY)
    return c


def close_icon():
    """An open door with an arrow leading out: close the program."""
    c = Canvas(32, 32)
    c.rect(9, 2, 26, 29, BLACK)   # the doorway, dark
    c.frame(8, 1, 27, 30, DRED)
    c.polygon([(9, 2), (17, 5), (17, 31), (9, 29)], DRED)  # the open door
    c.line(9, 2, 17, 5, BLACK)
    c.line(17, 5, 17, 31, BLACK)
    c.set(15, 17, YELLOW)
    c.set(15, 18, YELLOW)
    c.rect(0, 30, 31, 31, GREY)
    # The arrow points out of the room, to the right.
    c.rect(18, 14, 25, 18, GREEN)
    c.polygon([(24, 9), (31, 16), (24, 23)], GREEN)
    c.line(18, 14, 24, 14, DGREEN)
    c.line(24, 9, 31, 16, DGREEN)
    c.line(31, 16, 24, 23, DGREEN)
    c.line(18, 18, 24, 18, DGREEN)
    c.line(18, 14, 18, 18, DGREEN)
    return c


def check_icon():
    """The tag mark of the list: a bold tick on its own."""
    c = Canvas(32, 32)
    tick(c, 3, 5, 2, DGREEN, GREEN)
    c.outline(BLACK)
    return c


def result_disc(fill, edge):
    """A round mark on its own, big enough to read when the list draws it small."""
    c = Canvas(32, 32)
    c.ellipse(15.5, 15.5, 15, 15, edge)
    c.ellipse(15.5, 15.5, 13, 13, fill)
    return c


def made_icon():
    """The last result of an application that was made (or was up to date): a white tick on green."""
    c = result_disc(GREEN, DGREEN)
    c.line(8, 16, 13, 22, WHITE, 3)
    c.line(13, 22, 23, 9, WHITE, 3)
    return c


def failed_icon():
    """The last result of an application the IDE refused or could not make: a white cross on red."""
    c = result_disc(RED, DRED)
    c.line(9, 9, 21, 21, WHITE, 3)
    c.line(21, 9, 9, 21, WHITE, 3)
    return c


def not_made_icon():
    """The last result of an application that was not made for another reason (not found, timed
    out, stopped): a black exclamation mark on yellow."""
    c = result_disc(YELLOW, OLIVE)
    c.rect(14, 6, 17, 19, BLACK)
    c.rect(14, 22, 17, 25, BLACK)
    return c


# --- The logo --------------------------------------------------------------------------------

# Our own letters for the word on the logo: 7 columns, 13 rows (row 9 is the baseline's last row,
# rows 10..12 hold the descenders).
GLYPHS = {
    "N": ["##...##", "###..##", "###..##", "####.##", "##.#.##", "##.####", "##..###", "##..###",
          "##...##", "##...##", "##...##"],
    "i": ["..##...", "..##...", ".......", ".###...", "..##...", "..##...", "..##...", "..##...",
          "..##...", "..##...", ".####.."],
    "g": [".......", ".......", ".......", ".####.#", "##..###", "##...##", "##...##", "##...##",
          "##..###", ".####.#", "......#", ".....##", "#....##", ".####.."],
    "h": ["##.....", "##.....", "##.....", "##.###.", "###..##", "##...##", "##...##", "##...##",
          "##...##", "##...##", "##...##"],
    "t": ["..#....", ".##....", ".##....", "######.", ".##....", ".##....", ".##....", ".##....",
          ".##..#.", ".##.##.", "..###.."],
    "j": ["....##.", "....##.", ".......", "...###.", "....##.", "....##.", "....##.", "....##.",
          "....##.", "....##.", "....##.", "....##.", "#...##.", ".####.."],
    "a": [".......", ".......", ".......", ".####..", "....##.", "....##.", ".#####.", "##..##.",
          "##..##.", "##.###.", ".##.###"],
    "r": [".......", ".......", ".......", "##.###.", "###..##", "##.....", "##.....", "##.....",
          "##.....", "##.....", "##....."],
}


def logo():
    """'Nightjar' in our own letters on a night sky, with the moon and the bird of the icon."""
    c = Canvas(168, 45, NAVY)
    # A darker band at the top and bottom, dithered into the navy, gives the sky some depth.
    for y in range(45):
        for x in range(168):
            if (y < 4 or y > 40) and (x + y) % 2 == 0:
                c.set(x, y, BLACK)
    for x, y in ((50, 4), (71, 7), (97, 3), (119, 6), (140, 4), (160, 9), (156, 38), (8, 39),
                 (30, 6), (112, 40), (83, 41), (133, 39)):
        c.set(x, y, WHITE)
    for x, y in ((62, 40), (127, 3), (150, 22), (45, 38)):
        c.set(x, y, SILVER)
    c.ellipse(14, 12, 8, 8, YELLOW)
    c.ellipse(18.5, 9.5, 7.5, 7.5, NAVY)
    # The bird of the program icon on a branch below the moon.
    c.line(0, 40, 44, 32, DRED, 3)
    bird(c, 4, 12)
    # The word, letters doubled in size and spaced by their own width, with a dark red shadow one
    # pixel down and right.
    scale = 2
    word = []
    for ch in "Nightjar":
        rows = GLYPHS[ch]
        # Spacing goes by the letter above the baseline; a descender (the hook of "j") may
        # reach under the letter before it.
        used = [i for row in rows[:11] for i, p in enumerate(row) if p == "#"]
        left, right = min(used), max(used)
        hang = min(i for row in rows for i, p in enumerate(row) if p == "#")
        word.append(([row[hang:] for row in rows], right - left + 1, left - hang))
    width = sum(w * scale for _, w, _ in word) + 3 * (len(word) - 1)
    for colour, dx in ((DRED, 1), (YELLOW, 0)):
        x = 167 - 2 - width
        for rows, w, hang in word:
            c.pixmap(x + dx - hang * scale, 5 + dx, rows, {"#": colour}, scale)
            x += w * scale + 3
    return c


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    icons = {
        "RUZOZIZ.ICO": program_icon,
        "COFFEE2.ICO": coffee_icon,
        "COMPUTER.ICO": computer_icon,
        "CONNECT.ICO": connect_icon,
        "DISCON.ICO": disconnect_icon,
        "CHECK1.ICO": tag_icon,
        "INSERT.ICO": insert_icon,
        "CHANGE.ICO": change_icon,
        "DELETE.ICO": delete_icon,
        "INVOICE.ICO": log_icon,
        "CLOSE.ICO": close_icon,
        "CHECK.ICO": check_icon,
        "MADE.ICO": made_icon,
        "FAILED.ICO": failed_icon,
        "NOTMADE.ICO": not_made_icon,
    }
    for name, draw in icons.items():
        write_ico(os.path.join(here, name), draw())
    write_bmp(os.path.join(here, "LOGO.BMP"), logo())


if __name__ == "__main__":
    main()
