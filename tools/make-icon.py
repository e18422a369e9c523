#!/usr/bin/python3
"""make-icon.py [OUTPUT]: draws the Quorvane icon, a bold red "Q" on a dark rounded square, into OUTPUT
(res/quorvane.ico). Each image is drawn with 8x8 supersampling and stored as a classic DIB: a header whose
height counts the colour bitmap and the AND mask together, a palette for 4 and 8 bits per pixel, the colour
bitmap bottom-up, then the 1-bit AND mask (1 where transparent); 32-bit images carry alpha as well."""

import math, os, struct, sys

# (size, bits per pixel) in the order the icon group lists them. 48x48 at 32 bits appears twice.
IMAGES = [(16, 4), (32, 4), (48, 4), (16, 8), (32, 24), (48, 32), (16, 32), (32, 32), (48, 32)]

SUPERSAMPLE = 8

BACK_TOP = (52, 56, 70)
BACK_BOTTOM = (20, 22, 30)
RIM = (96, 102, 122)
RED_TOP = (255, 78, 60)
RED_BOTTOM = (196, 24, 28)


def lerp(a, b, t):
    return tuple(x + (y - x) * t for x, y in zip(a, b))


def in_rounded_square(x, y, inset):
    """Point in the unit square's rounded tile, shrunk by `inset` on each side."""
    lo, hi = 0.03 + inset, 0.97 - inset
    radius = max(0.20 - inset, 0.0)
    cx = min(max(x, lo + radius), hi - radius)
    cy = min(max(y, lo + radius), hi - radius)
    return lo <= x <= hi and lo <= y <= hi and (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def in_q(x, y):
    """The letter: a thick ring with a tail running down to the right."""
    r = math.hypot(x - 0.47, y - 0.46)
    if 0.165 <= r <= 0.315:
        return True
    # Tail: a thick segment from inside the ring's lower right towards the tile's corner.
    ax, ay, bx, by = 0.55, 0.57, 0.80, 0.82
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(x - (ax + t * dx), y - (ay + t * dy)) <= 0.075


def render(size):
    """Returns rows top-down of (r, g, b, a) tuples, 0..255, not premultiplied."""
    n = SUPERSAMPLE
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]  # premultiplied
            for sy in range(n):
                y = (py + (sy + 0.5) / n) / size
                for sx in range(n):
                    x = (px + (sx + 0.5) / n) / size
                    if not in_rounded_square(x, y, 0.0):
                        continue
                    # A one-pixel lighter rim keeps the tile visible on dark backgrounds.
                    if in_q(x, y):
                        colour = lerp(RED_TOP, RED_BOTTOM, y)
                    elif in_rounded_square(x, y, 1.0 / size):
                        colour = lerp(BACK_TOP, BACK_BOTTOM, y)
                    else:
                        colour = RIM
                    acc = [a + c for a, c in zip(acc, (*colour, 1.0))]
            row.append(tuple(round(c / acc[3]) for c in acc[:3]) + (round(255 * acc[3] / (n * n)),) if acc[3]
                       else (0, 0, 0, 0))
        rows.append(row)
    return rows


def median_cut(colours, count):
    """Up to `count` representative colours for a list of (r, g, b)."""
    boxes = [list(colours)]
    while len(boxes) < count:
        splittable = [b for b in boxes if len(set(b)) > 1]
        if not splittable:
            break
        box = max(splittable, key=lambda b: max(max(c[i] for c in b) - min(c[i] for c in b) for i in range(3)))
        channel = max(range(3), key=lambda i: max(c[i] for c in box) - min(c[i] for c in box))
        box.sort(key=lambda c: c[channel])
        half = len(box) // 2
        boxes.remove(box)
        boxes += [box[:half], box[half:]]
    return [tuple(round(sum(c[i] for c in b) / len(b)) for i in range(3)) for b in boxes if b]


def row_bytes(bits):
    return (bits + 31) // 32 * 4


def pack_indices(indices, bpp):
    out = bytearray()
    per_byte = 8 // bpp
    for i in range(0, len(indices), per_byte):
        value = 0
        for j, index in enumerate(indices[i:i + per_byte]):
            value |= index << (8 - bpp * (j + 1))
        out.append(value)
    return bytes(out)


def dib(size, bpp, pixels):
    """One icon image: BITMAPINFOHEADER, palette, colour bitmap and AND mask."""
    transparent = [[p[3] < (1 if bpp == 32 else 128) for p in row] for row in pixels]
    palette = []
    if bpp <= 8:
        opaque = [p[:3] for row, mask in zip(pixels, transparent) for p, t in zip(row, mask) if not t]
        # Index 0 is black for the transparent pixels: AND 1 with colour 0 leaves the screen as it is.
        palette = [(0, 0, 0)] + median_cut(opaque, (1 << bpp) - 1)
        palette += [(0, 0, 0)] * ((1 << bpp) - len(palette))

    colour = bytearray()
    mask = bytearray()
    stride = row_bytes(size * bpp)
    mask_stride = row_bytes(size)
    for row, row_mask in zip(reversed(pixels), reversed(transparent)):
        if bpp <= 8:
            line = pack_indices([0 if t else min(range(1, len(palette)), key=lambda i: sum(
                (a - b) ** 2 for a, b in zip(palette[i], p[:3]))) for p, t in zip(row, row_mask)], bpp)
        elif bpp == 24:
            line = b"".join(bytes((0, 0, 0)) if t else bytes((p[2], p[1], p[0])) for p, t in zip(row, row_mask))
        else:
            line = b"".join(bytes((p[2], p[1], p[0], p[3])) for p in row)
        colour += line + bytes(stride - len(line))
        bits = sum(1 << (size - 1 - x) for x, t in enumerate(row_mask) if t)
        line = bits.to_bytes((size + 7) // 8, "big")
        mask += line + bytes(mask_stride - len(line))

    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0, len(colour) + len(mask), 0, 0, 0, 0)
    rgbquads = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    return header + rgbquads + bytes(colour) + bytes(mask)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    output = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "res", "quorvane.ico")
    rendered = {size: render(size) for size in sorted({s for s, _ in IMAGES})}
    images = [dib(size, bpp, rendered[size]) for size, bpp in IMAGES]

    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for (size, bpp), data in zip(IMAGES, images):
        colours = 1 << bpp if bpp < 8 else 0
        out += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0, 1, bpp, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    with open(output, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
