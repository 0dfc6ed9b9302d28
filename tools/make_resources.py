#!/usr/bin/env python3
"""Draws the saver's bitmaps and icon into res/.

    python3 tools/make_resources.py [output folder]

Writes button_normal.bmp, button_pressed.bmp, button_disabled.bmp, title.bmp
and saver.ico. The output depends on nothing but this file (no clock, no
randomness, standard library only), so running it again reproduces the
committed files byte for byte.

Button faces (150 x 75, 4 bits with a palette of their four colours, a
sixth of 24 bits' size with the same pixels): a 1-pixel black outline, inside it a
2-pixel bevel, then the face. The bevel corners are mitred the way the system
draws a 3D edge: where the top and right bevels (or the bottom and left
bevels) meet, a pixel belongs to the edge it lies nearer to, and a pixel on
the diagonal itself belongs to the bottom or right edge. The pressed face
keeps that geometry and swaps the two bevel colours, so it looks like the
normal face lit from the other side.
"""

import os
import struct
import sys

BLACK = (0, 0, 0)
BEVEL_LIGHT = (250, 133, 133)
BEVEL_DARK = (128, 0, 0)
FACE = (220, 0, 0)
FACE_DISABLED = (182, 52, 52)

BUTTON_WIDTH, BUTTON_HEIGHT = 150, 75
BEVEL_PIXELS = 2
TITLE_WIDTH, TITLE_HEIGHT = 151, 111


# --- File formats ---------------------------------------------------------
#
# Pictures are lists of rows, top row first, each row a list of values: RGB
# tuples for 24-bit pictures, palette indices for 8- and 4-bit ones. The
# files store rows bottom-up, each padded to a multiple of 4 bytes.

def row_stride(width, bits):
    return (width * bits + 31) // 32 * 4


def info_header(width, height, bits, colours_used, image_size):
    # BITMAPINFOHEADER, BI_RGB, 2835 pixels per metre (72 dpi).
    return struct.pack('<IiiHHIIiiII', 40, width, height, 1, bits, 0,
                       image_size, 2835, 2835, colours_used, 0)


def pack_rows(rows, width, bits):
    stride = row_stride(width, bits)
    out = bytearray()
    for row in reversed(rows):
        if bits == 24:
            line = b''.join(bytes((b, g, r)) for (r, g, b) in row)
        elif bits == 8:
            line = bytes(row)
        elif bits == 4:
            line = bytes((row[i] << 4) | (row[i + 1] if i + 1 < width else 0)
                         for i in range(0, width, 2))
        elif bits == 1:
            line = bytes(sum(row[i + k] << (7 - k)
                             for k in range(8) if i + k < width)
                         for i in range(0, width, 8))
        out += line + bytes(stride - len(line))
    return bytes(out)


def pack_palette(palette):
    return b''.join(bytes((b, g, r, 0)) for (r, g, b) in palette)


def write_file(path, data):
    with open(path, 'wb') as f:
        f.write(data)


def bitmap_file(header, palette_bytes, bits_bytes):
    offset = 14 + len(header) + len(palette_bytes)
    size = offset + len(bits_bytes)
    return (struct.pack('<2sIHHI', b'BM', size, 0, 0, offset)
            + header + palette_bytes + bits_bytes)


def bmp8(rows, palette):
    height, width = len(rows), len(rows[0])
    bits = pack_rows(rows, width, 8)
    header = info_header(width, height, 8, len(palette), len(bits))
    return bitmap_file(header, pack_palette(palette), bits)


def bmp4(rows):
    """rows of RGB tuples, at most 16 colours, in order of first use."""
    palette = []
    for row in rows:
        for colour in row:
            if colour not in palette:
                palette.append(colour)
    assert len(palette) <= 16
    height, width = len(rows), len(rows[0])
    bits = pack_rows([[palette.index(c) for c in row] for row in rows], width, 4)
    header = info_header(width, height, 4, len(palette), len(bits))
    return bitmap_file(header, pack_palette(palette), bits)


def ico(images):
    """images: (rows of 4-bit indices, 16-colour palette, rows of mask bits)
    per size; a mask bit of 1 lets the background show through."""
    entries, blobs = b'', b''
    offset = 6 + 16 * len(images)
    for rows, palette, mask in images:
        height, width = len(rows), len(rows[0])
        xor_bits = pack_rows(rows, width, 4)
        and_bits = pack_rows(mask, width, 1)
        # An icon's header counts the colour image and the mask: twice the height.
        blob = (info_header(width, 2 * height, 4, 0,
                            len(xor_bits) + len(and_bits))
                + pack_palette(palette) + xor_bits + and_bits)
        entries += struct.pack('<BBBBHHII', width, height, 16, 0, 1, 4,
                               len(blob), offset + len(blobs))
        blobs += blob
    return struct.pack('<HHH', 0, 1, len(images)) + entries + blobs


# --- Button faces -----------------------------------------------------------

def button_face(top_left, bottom_right, face):
    """Outline, mitred bevel (top_left colour on the top and left edges), face."""
    right, bottom = BUTTON_WIDTH - 2, BUTTON_HEIGHT - 2  # last pixels inside the outline
    rows = []
    for y in range(BUTTON_HEIGHT):
        row = []
        for x in range(BUTTON_WIDTH):
            if x in (0, BUTTON_WIDTH - 1) or y in (0, BUTTON_HEIGHT - 1):
                row.append(BLACK)
                continue
            near_top_left = min(x - 1, y - 1)
            near_bottom_right = min(right - x, bottom - y)
            if min(near_top_left, near_bottom_right) >= BEVEL_PIXELS:
                row.append(face)
            elif near_top_left < near_bottom_right:
                row.append(top_left)
            elif near_bottom_right < near_top_left:
                row.append(bottom_right)
            else:
                # A tie inside the bevel: the diagonal of the top-right or
                # bottom-left corner. It goes to the bottom or right edge.
                row.append(bottom_right)
        rows.append(row)
    return rows


# --- Title picture -------------------------------------------------------
#
# The game's name in a chunky hand-made pixel font over a top-down view of a
# layout: a tiled table, a loop of track, and coloured blocks on some tiles.

TITLE_PALETTE = {
    'tile_light': (96, 168, 72),
    'tile_dark': (80, 148, 60),
    'grid': (52, 104, 40),
    'ballast': (112, 100, 88),
    'ballast_edge': (72, 64, 56),
    'rail': (220, 220, 228),
    'sleeper': (120, 72, 32),
    'shadow': (36, 72, 28),
    'letter_top': (255, 232, 64),
    'letter_bottom': (255, 160, 0),
    'letter_edge': (64, 16, 0),
}

# Each block colour: (light edge, face, dark edge), lit from the top left.
BLOCK_COLOURS = {
    'red': ((250, 133, 133), (220, 0, 0), (128, 0, 0)),
    'blue': ((120, 160, 255), (32, 80, 216), (16, 32, 120)),
    'yellow': ((255, 248, 160), (240, 208, 0), (150, 120, 0)),
    'purple': ((208, 140, 240), (150, 60, 200), (80, 24, 112)),
    'cyan': ((160, 240, 248), (0, 188, 212), (0, 100, 120)),
    'orange': ((255, 200, 120), (248, 136, 0), (150, 72, 0)),
    'white': ((255, 255, 255), (216, 216, 216), (128, 128, 128)),
}
# Blocks on the layout: (tile column, tile row, colour).
BLOCKS = [
    (3, 6, 'red'), (4, 6, 'red'), (4, 7, 'blue'), (6, 7, 'yellow'),
    (7, 6, 'purple'), (8, 7, 'cyan'), (10, 6, 'orange'), (11, 7, 'red'),
    (11, 6, 'white'), (2, 8, 'yellow'), (12, 8, 'blue'),
    (0, 10, 'purple'), (14, 0, 'cyan'), (0, 0, 'orange'), (14, 10, 'blue'),
]

TILE = 10  # pixels; 15 x 11 tiles fill 151 x 111 with a shared grid line

# The track: a rounded rectangle through tile centres.
TRACK_LEFT, TRACK_TOP, TRACK_RIGHT, TRACK_BOTTOM = 15, 15, 135, 95
TRACK_RADIUS = 20

FONT = {
    'K': ['X...X', 'X..X.', 'X.X..', 'XX...', 'X.X..', 'X..X.', 'X...X'],
    'U': ['X...X', 'X...X', 'X...X', 'X...X', 'X...X', 'X...X', '.XXX.'],
    'B': ['XXXX.', 'X...X', 'X...X', 'XXXX.', 'X...X', 'X...X', 'XXXX.'],
    'O': ['.XXX.', 'X...X', 'X...X', 'X...X', 'X...X', 'X...X', '.XXX.'],
    'T': ['XXXXX', '..X..', '..X..', '..X..', '..X..', '..X..', '..X..'],
    'R': ['XXXX.', 'X...X', 'X...X', 'XXXX.', 'X.X..', 'X..X.', 'X...X'],
    'A': ['.XXX.', 'X...X', 'X...X', 'XXXXX', 'X...X', 'X...X', 'X...X'],
    'X': ['X...X', 'X...X', '.X.X.', '..X..', '.X.X.', 'X...X', 'X...X'],
}
GLYPH_WIDTH, GLYPH_HEIGHT = 5, 7
FONT_SCALE = 3
LOGO_LINES = ['KUBO', 'TRAX']  # the name "KUBO TRAX", one word per line
LOGO_TOP = 9
LOGO_LINE_GAP = 6


def track_distance(x, y):
    """Signed distance from pixel centre (x, y) to the track's centre line."""
    cx = min(max(x, TRACK_LEFT + TRACK_RADIUS), TRACK_RIGHT - TRACK_RADIUS)
    cy = min(max(y, TRACK_TOP + TRACK_RADIUS), TRACK_BOTTOM - TRACK_RADIUS)
    dx, dy = x - cx, y - cy
    if (dx, dy) == (0, 0):
        return -TRACK_RADIUS  # deep inside the loop
    return (dx * dx + dy * dy) ** 0.5 - TRACK_RADIUS


def is_sleeper(x, y):
    # Sleepers across the straights every 4 pixels; the curves have none.
    on_straight_x = TRACK_LEFT + TRACK_RADIUS <= x <= TRACK_RIGHT - TRACK_RADIUS
    on_straight_y = TRACK_TOP + TRACK_RADIUS <= y <= TRACK_BOTTOM - TRACK_RADIUS
    return (on_straight_x and x % 4 == 0) or (on_straight_y and y % 4 == 0)


def logo_mask():
    """Maps each (x, y) covered by a letter to its row within the letters
    of its line, which picks the upper or lower of the two letter colours."""
    covered = {}
    step = (GLYPH_WIDTH + 1) * FONT_SCALE
    for line_number, text in enumerate(LOGO_LINES):
        width = len(text) * step - FONT_SCALE
        left = (TITLE_WIDTH - width) // 2
        top = LOGO_TOP + line_number * (GLYPH_HEIGHT * FONT_SCALE + LOGO_LINE_GAP)
        for i, letter in enumerate(text):
            for gy, pattern in enumerate(FONT[letter]):
                for gx, cell in enumerate(pattern):
                    if cell != 'X':
                        continue
                    for sy in range(FONT_SCALE):
                        for sx in range(FONT_SCALE):
                            px = left + i * step + gx * FONT_SCALE + sx
                            py = top + gy * FONT_SCALE + sy
                            covered[(px, py)] = py - top
    return covered


def title_picture():
    palette = list(TITLE_PALETTE.values())
    index = {name: i for i, name in enumerate(TITLE_PALETTE)}
    block_index = {}
    for name, colours in BLOCK_COLOURS.items():
        for colour in colours:
            palette.append(colour)
        block_index[name] = tuple(range(len(palette) - 3, len(palette)))
    blocks = {(col, row): name for col, row, name in BLOCKS}

    def layout_pixel(x, y):
        # The last grid line belongs to the last tile.
        col = min(x // TILE, TITLE_WIDTH // TILE - 1)
        row = min(y // TILE, TITLE_HEIGHT // TILE - 1)
        if (col, row) in blocks:
            light, face, dark = block_index[blocks[(col, row)]]
            inner_x, inner_y = x - col * TILE, y - row * TILE
            if inner_x == 0 or inner_y == 0:
                return index['grid']
            if inner_x == 1 or inner_y == 1:
                return light
            if inner_x == TILE - 1 or inner_y == TILE - 1:
                return dark
            return face
        distance = abs(track_distance(x, y))
        if distance < 2.5 and is_sleeper(x, y):
            return index['sleeper']
        if 1.5 <= distance < 2.5:
            return index['rail']
        if distance < 4.0:
            return index['ballast']
        if distance < 5.0:
            return index['ballast_edge']
        if x % TILE == 0 or y % TILE == 0:
            return index['grid']
        return index['tile_light'] if (col + row) % 2 == 0 else index['tile_dark']

    letters = logo_mask()
    glyph_pixels = GLYPH_HEIGHT * FONT_SCALE

    def pixel(x, y):
        if (x, y) in letters:
            upper = letters[(x, y)] < glyph_pixels // 2
            return index['letter_top'] if upper else index['letter_bottom']
        neighbours = [(x + dx, y + dy) for dx in (-1, 0, 1) for dy in (-1, 0, 1)]
        if any(n in letters for n in neighbours):
            return index['letter_edge']
        # A drop shadow down and to the right lifts the name off the layout.
        if any((x - dx, y - dy) in letters for dx in (2, 3) for dy in (2, 3)):
            return index['shadow']
        return layout_pixel(x, y)

    rows = [[pixel(x, y) for x in range(TITLE_WIDTH)] for y in range(TITLE_HEIGHT)]
    return rows, palette


# --- Icon -----------------------------------------------------------------
#
# A red block like those on the layout, seen from above at a slant: a light
# top, a face and a dark side, outlined in black on a transparent ground.

ICON_PALETTE = [BLACK, BEVEL_LIGHT, FACE, BEVEL_DARK] + [BLACK] * 12


def icon_image(size):
    unit = size // 16           # 1 for 16 x 16, 2 for 32 x 32
    depth = 4 * unit            # how far the top and side reach
    left, top = unit, unit
    right, bottom = size - 1 - unit, size - 1 - unit
    # The front square and the two slanted faces, by pixel.
    front_right, front_top = right - depth, top + depth

    def part(x, y):
        if left <= x <= front_right and front_top <= y <= bottom:
            return 2, x in (left, front_right) or y in (front_top, bottom)
        # Top face: between the front's top edge and a line "depth" higher,
        # slanting right by one pixel per pixel up.
        rise = front_top - y
        if 0 <= rise <= depth and left + rise <= x <= front_right + rise:
            edge = rise in (0, depth) or x in (left + rise, front_right + rise)
            return 1, edge
        # Side face: right of the front, slanting up the same way.
        run = x - front_right
        if 0 <= run <= depth and front_top - run <= y <= bottom - run:
            edge = run in (0, depth) or y in (front_top - run, bottom - run)
            return 3, edge
        return None

    rows, mask = [], []
    for y in range(size):
        row, mask_row = [], []
        for x in range(size):
            found = part(x, y)
            if found is None:
                row.append(0)
                mask_row.append(1)
            else:
                colour, edge = found
                row.append(0 if edge else colour)
                mask_row.append(0)
        rows.append(row)
        mask.append(mask_row)
    return rows, ICON_PALETTE, mask


# --- Main -----------------------------------------------------------------

def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, '..', 'res')
    os.makedirs(out, exist_ok=True)
    write_file(os.path.join(out, 'button_normal.bmp'),
               bmp4(button_face(BEVEL_LIGHT, BEVEL_DARK, FACE)))
    write_file(os.path.join(out, 'button_pressed.bmp'),
               bmp4(button_face(BEVEL_DARK, BEVEL_LIGHT, FACE)))
    write_file(os.path.join(out, 'button_disabled.bmp'),
               bmp4(button_face(BEVEL_LIGHT, BEVEL_DARK, FACE_DISABLED)))
    rows, palette = title_picture()
    write_file(os.path.join(out, 'title.bmp'), bmp8(rows, palette))
    write_file(os.path.join(out, 'saver.ico'),
               ico([icon_image(32), icon_image(16)]))


if __name__ == '__main__':
    main()
