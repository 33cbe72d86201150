#!/usr/bin/env python3
"""Generate img/logo.bmp, the 256x256 picture the cube wears.

The picture is deliberately asymmetric and colourful (sky on top, sun at the
upper left, an arrow pointing up, text reading left to right) so that a
vertical flip, a horizontal mirror or a red/blue channel swap is obvious.
Uses only the Python standard library.
"""
import os
import struct

SIZE = 256
HORIZON = 168  # first row (counted from the top) that belongs to the ground

# Hand-made 5x7 pixel font: one string per row, '#' marks a lit pixel.
FONT = {
    "O": [".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "R": ["####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"],
    "V": ["#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."],
    "A": [".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    "L": ["#....", "#....", "#....", "#....", "#....", "#....", "#####"],
    "I": ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "#####"],
    "S": [".####", "#....", "#....", ".###.", "....#", "....#", "####."],
}


def lerp(a, b, t):
    """Blend two RGB colours; t=0 gives a, t=1 gives b."""
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def new_image():
    """Return a picture as a list of rows (top row first) of [r, g, b] pixels."""
    return [[[0, 0, 0] for _ in range(SIZE)] for _ in range(SIZE)]


def put(img, x, y, colour):
    """Set one pixel, silently ignoring coordinates outside the picture."""
    if 0 <= x < SIZE and 0 <= y < SIZE:
        img[y][x] = list(colour)


def draw_sky(img):
    """Deep blue at the top fading to light blue at the horizon.

    The hue also drifts from violet-blue on the left to cyan-blue on the
    right, so the two upper corners differ even without the sun.
    """
    for y in range(HORIZON):
        t = y / HORIZON
        left = lerp((40, 20, 150), (150, 170, 255), t)
        right = lerp((0, 80, 190), (120, 220, 255), t)
        for x in range(SIZE):
            img[y][x] = list(lerp(left, right, x / (SIZE - 1)))


def draw_ground(img):
    """Green ground going from dark green (left) to yellow-green (right)."""
    for y in range(HORIZON, SIZE):
        t = (y - HORIZON) / (SIZE - HORIZON)
        left = lerp((20, 150, 40), (10, 90, 20), t)
        right = lerp((170, 220, 30), (120, 170, 10), t)
        for x in range(SIZE):
            img[y][x] = list(lerp(left, right, x / (SIZE - 1)))


def draw_sun(img, cx=52, cy=68, radius=22):
    """Bright yellow disc with an orange rim in the upper-left of the sky."""
    for y in range(cy - radius, cy + radius + 1):
        for x in range(cx - radius, cx + radius + 1):
            d2 = (x - cx) ** 2 + (y - cy) ** 2
            if d2 <= radius**2:
                rim = d2 > (radius - 3) ** 2
                put(img, x, y, (255, 150, 0) if rim else (255, 235, 0))


def draw_arrow(img, cx=128, top=44, head=40, bottom=160, half_shaft=12):
    """Bold red arrow pointing up: a triangular head above a rectangular shaft."""
    for y in range(top, bottom + 1):
        if y < top + head:
            half = (y - top) * 32 // head  # head widens to 32 px each side
        else:
            half = half_shaft
        for x in range(cx - half, cx + half + 1):
            put(img, x, y, (220, 20, 20))


def draw_text(img, text="ORVALIS", left=46, top=182, scale=4):
    """Write text in white blocky letters with a dark drop shadow for contrast."""
    for dx, dy, colour in ((2, 2, (0, 40, 0)), (0, 0, (255, 255, 255))):
        for i, ch in enumerate(text):
            x0 = left + i * 6 * scale  # 5 columns of glyph plus 1 of spacing
            for row, bits in enumerate(FONT[ch]):
                for col, bit in enumerate(bits):
                    if bit != "#":
                        continue
                    for sy in range(scale):
                        for sx in range(scale):
                            put(
                                img, x0 + col * scale + sx + dx, top + row * scale + sy + dy, colour
                            )


def write_bmp(path, img):
    """Save as an uncompressed 24-bit bottom-up BMP (BGR byte order)."""
    row_size = SIZE * 3  # already a multiple of 4, so no row padding needed
    image_size = row_size * SIZE
    file_header = struct.pack("<2sIHHI", b"BM", 54 + image_size, 0, 0, 54)
    info_header = struct.pack(
        "<IiiHHIIiiII", 40, SIZE, SIZE, 1, 24, 0, image_size, 2835, 2835, 0, 0
    )
    pixels = bytearray()
    for row in reversed(img):  # BMP stores the bottom row first
        for r, g, b in row:
            pixels += bytes((b, g, r))
    with open(path, "wb") as f:
        f.write(file_header + info_header + pixels)


def main():
    img = new_image()
    draw_sky(img)
    draw_ground(img)
    draw_sun(img)
    draw_arrow(img)
    draw_text(img)
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "logo.bmp")
    write_bmp(out, img)


if __name__ == "__main__":
    main()
