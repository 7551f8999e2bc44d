#!/usr/bin/env python3
"""Draws the engine's own pictures: the side picture and the banner that the wizard pages
show when a package brings none, and the engine icon.

    draw_pictures.py OUTPUT_FOLDER

writes side_picture.bmp (212 x 424), banner_picture.bmp (600 x 64) and engine.ico
(16, 32 and 48 pixels, the last as a PNG). Standard library only; the same output on
every run.

The bitmaps are 8 bits per pixel, run-length coded (BI_RLE8): every user downloads them
with the engine. Run-length coding pays only where a row holds long stretches of one
colour, so the designs are made for it: gradients run along one axis only, shapes are
few, flat and sharp-edged, and nothing is dithered. The gradients are fine enough that
their steps do not show.
"""

import math
import os
import struct
import sys
import zlib


def clamp(value, low=0.0, high=1.0):
    return max(low, min(high, value))


def smoothstep(edge0, edge1, value):
    t = clamp((value - edge0) / (edge1 - edge0))
    return t * t * (3 - 2 * t)


def mix(a, b, t):
    return tuple(x + (y - x) * t for x, y in zip(a, b))


WHITE = (255, 255, 255)
EDGE_STEPS = 16  # tone steps of pixels on a shape's edge


class ToneImage:
    """A picture whose every pixel is a tone along a two-colour gradient, lightened
    towards white by a light amount. Light comes from a few flat shapes, so it takes only
    a handful of values; tones are quantised as finely as a 256-colour palette allows."""

    def __init__(self, width, height, start, end):
        self.width, self.height = width, height
        self.start, self.end = start, end
        self.pixels = [(0.0, 0.0, False)] * (width * height)

    def put(self, x, y, tone, light, edge):
        self.pixels[y * self.width + x] = (clamp(tone), round(light, 4), edge)

    def quantised(self, steps):
        """Palette indices and the palette, with tones cut into `steps` levels."""
        colour_of = {}
        for key in sorted(set(self.pixels)):
            tone, light, edge = key
            # Edge pixels take coarse tones: alone between their neighbours no step shows,
            # and fine ones would take half the palette.
            levels = (EDGE_STEPS if edge else steps) - 1
            base = mix(self.start, self.end, round(tone * levels) / levels)
            colour_of[key] = tuple(int(round(c)) for c in mix(base, WHITE, light))
        # Every colour once: LoadImage would fold equal entries together anyway.
        palette = sorted(set(colour_of.values()))
        index_of = {rgb: i for i, rgb in enumerate(palette)}
        return [index_of[colour_of[key]] for key in self.pixels], palette

    def bmp(self):
        """A BMP file: 8 bits per pixel, BI_RLE8, as few palette entries as used."""
        # The finest tone steps that fit the palette; finer than one colour level buys nothing.
        low, high = 2, max(2, int(max(abs(a - b) for a, b in zip(self.start, self.end))) + 1)
        while low < high:
            middle = (low + high + 1) // 2
            if len(self.quantised(middle)[1]) <= 256:
                low = middle
            else:
                high = middle - 1
        indices, palette = self.quantised(low)
        assert len(palette) <= 256, "too many colours even with the coarsest tones"
        rows = [bytes(indices[y * self.width:(y + 1) * self.width]) for y in reversed(range(self.height))]
        pixels = rle8(rows)
        colours = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
        # biClrUsed is set: some loaders misread compressed bitmaps that leave it at zero.
        info = struct.pack("<IiiHHIIiiII", 40, self.width, self.height, 1, 8, 1, len(pixels), 2835, 2835,
                           len(palette), 0)
        offset = 14 + len(info) + len(colours)
        header = b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset)
        return header + info + colours + pixels


def rle8(rows):
    """BI_RLE8 pixel data for rows given bottom-up: runs of one index as (count, index),
    stretches of three or more lone pixels in absolute mode (0, count, indices, padded to
    an even length), an end of line after every row and an end of bitmap at the end."""
    out = bytearray()

    def lone(pixels):
        for start in range(0, len(pixels), 255):
            part = pixels[start:start + 255]
            if len(part) >= 3:
                out.extend((0, len(part)))
                out.extend(part)
                if len(part) % 2:
                    out.append(0)
            else:
                for index in part:
                    out.extend((1, index))

    for row in rows:
        singles = bytearray()
        x = 0
        while x < len(row):
            end = x
            while end < len(row) and end - x < 255 and row[end] == row[x]:
                end += 1
            if end - x == 1:
                singles.append(row[x])
            else:
                lone(singles)
                singles = bytearray()
                out.extend((end - x, row[x]))
            x = end
        lone(singles)
        out.extend((0, 0))
    out.extend((0, 1))
    return bytes(out)


def coverage(distance):
    """How much of a pixel a shape covers, from the signed distance of the pixel's centre
    to the shape's edge (negative inside): full, half or none, so an edge costs about one
    extra run a row and the light keeps few values."""
    if distance < -0.35:
        return 1.0
    if distance < 0.35:
        return 0.5
    return 0.0


def lit(shapes, most):
    """The light that flat shapes, given as (signed distance, light), add up to, never
    more than `most`, and whether the pixel lies on an edge of one."""
    light, edge = 0.0, False
    for distance, strength in shapes:
        covered = coverage(distance)
        light += strength * covered
        edge = edge or covered == 0.5
    return min(light, most), edge


def side_picture():
    """Calm blue, light at the top and deep at the bottom, crossed by two diagonal bands
    of light, with two large faint discs and a thin ring."""
    width, height = 212, 424
    image = ToneImage(width, height, start=(112, 164, 218), end=(16, 52, 112))
    # Every shape lightens by the same step and at most two count where they overlap:
    # three light levels, each needing its own run of gradient colours.
    step = 0.06
    normal = (math.cos(math.radians(35)), math.sin(math.radians(35)))
    bands = [(168, 30), (262, 9)]  # position along their normal, half width
    discs = [(188, 92, 84), (22, 352, 118)]  # centre x, centre y, radius
    rings = [(188, 92, 100, 1.2)]  # and a half width
    for y in range(height):
        tone = smoothstep(-0.25, 1.1, y / (height - 1))
        for x in range(width):
            along = x * normal[0] + y * normal[1]
            shapes = [abs(along - centre) - half for centre, half in bands]
            shapes += [math.hypot(x - cx, y - cy) - radius for cx, cy, radius in discs]
            shapes += [abs(math.hypot(x - cx, y - cy) - radius) - half for cx, cy, radius, half in rings]
            image.put(x, y, tone, *lit([(distance, step) for distance in shapes], 2 * step))
    return image


def banner_picture():
    """White at the left, where the banner's texts are drawn; at the right a few wide
    arcs of light blue overlap, each a little deeper, like ripples coming in."""
    width, height = 600, 64
    image = ToneImage(width, height, start=(118, 168, 224), end=(70, 128, 196))
    # Discs centred beyond the right edge: (centre x, centre y, radius, depth).
    discs = [(790, 12, 410, 0.14), (760, 58, 330, 0.16), (730, 0, 255, 0.18), (705, 70, 180, 0.2)]
    for y in range(height):
        tone = y / (height - 1)
        for x in range(width):
            depth, edge = lit([(math.hypot(x - cx, y - cy) - radius, strength) for cx, cy, radius, strength in discs],
                              1.0)
            image.put(x, y, tone, 1 - depth, edge)
    return image


# --- The icon: an amber arrow pointing down into a blue box, drawn with distance
# functions in a unit square (y downwards) and sampled several times per pixel.

def rounded_box(px, py, left, top, right, bottom, radius):
    cx, cy = (left + right) / 2, (top + bottom) / 2
    qx = abs(px - cx) - ((right - left) / 2 - radius)
    qy = abs(py - cy) - ((bottom - top) / 2 - radius)
    outside = math.hypot(max(qx, 0), max(qy, 0))
    return outside + min(max(qx, qy), 0) - radius


def convex_polygon(px, py, points):
    # Largest signed distance to the edges' lines; points run clockwise (y downwards).
    worst = -math.inf
    for (ax, ay), (bx, by) in zip(points, points[1:] + points[:1]):
        ex, ey = bx - ax, by - ay
        length = math.hypot(ex, ey)
        worst = max(worst, ((px - ax) * ey - (py - ay) * ex) / length)
    return worst


def box_body(px, py):
    return rounded_box(px, py, 0.13, 0.45, 0.87, 0.93, 0.07)


def box_lid(px, py):
    return rounded_box(px, py, 0.08, 0.38, 0.92, 0.52, 0.04)


def arrow(px, py):
    shaft = rounded_box(px, py, 0.40, 0.04, 0.60, 0.48, 0.02)
    head = convex_polygon(px, py, [(0.21, 0.40), (0.79, 0.40), (0.50, 0.72)])
    return min(shaft, head)


def icon_pixels(size):
    """Straight (not premultiplied) RGBA rows, top row first."""
    outline = 1.0 / size  # one pixel at every size
    # Painted in order: (distance function, grow by, colour at top, colour at bottom).
    layers = [
        (box_body, outline, (18, 44, 84), (18, 44, 84)),
        (box_body, 0, (62, 125, 200), (30, 80, 146)),
        (box_lid, outline, (18, 44, 84), (18, 44, 84)),
        (box_lid, 0, (128, 178, 232), (96, 152, 214)),
        (arrow, outline, (122, 62, 0), (122, 62, 0)),
        (arrow, 0, (255, 196, 84), (240, 150, 30)),
    ]
    samples = 6
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            r = g = b = a = 0.0
            for shape, grow, top, bottom in layers:
                hits = 0
                for sy in range(samples):
                    for sx in range(samples):
                        px = (x + (sx + 0.5) / samples) / size
                        py = (y + (sy + 0.5) / samples) / size
                        if shape(px, py) < grow:
                            hits += 1
                if not hits:
                    continue
                coverage = hits / (samples * samples)
                colour = mix(top, bottom, (y + 0.5) / size)
                # "Over" compositing of straight colours.
                out_a = coverage + a * (1 - coverage)
                r, g, b = ((c * coverage + o * a * (1 - coverage)) / out_a for c, o in zip(colour, (r, g, b)))
                a = out_a
            row.append((int(round(r)), int(round(g)), int(round(b)), int(round(a * 255))))
        rows.append(row)
    return rows


def icon_image(size):
    """One icon image: BITMAPINFOHEADER (height doubled for the mask), 32-bit BGRA rows
    bottom-up, then the AND mask (1 = transparent) with rows padded to 32 bits."""
    rows = icon_pixels(size)
    colour = bytearray()
    mask = bytearray()
    mask_row_size = ((size + 31) // 32) * 4
    for row in reversed(rows):
        bits = bytearray(mask_row_size)
        for x, (r, g, b, a) in enumerate(row):
            colour += bytes((b, g, r, a))
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(colour) + len(mask), 0, 0, 0, 0)
    return info + colour + mask


def png_image(size):
    """One icon image as a PNG (read in icons from Windows Vista on): straight RGBA, each
    row filtered the way that leaves the smallest sum of bytes, a good guess at what
    compresses best."""

    def paeth(a, b, c):
        p = a + b - c
        pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
        return a if pa <= pb and pa <= pc else b if pb <= pc else c

    rows = [bytes(channel for pixel in row for channel in pixel) for row in icon_pixels(size)]
    previous = bytes(size * 4)
    raw = bytearray()
    for row in rows:
        left = bytes(4) + row[:-4]
        up_left = bytes(4) + previous[:-4]
        predictions = [
            bytes(len(row)),
            left,
            previous,
            bytes((a + b) // 2 for a, b in zip(left, previous)),
            bytes(paeth(a, b, c) for a, b, c in zip(left, previous, up_left)),
        ]
        candidates = [bytes((v - p) % 256 for v, p in zip(row, prediction)) for prediction in predictions]
        kind = min(range(5), key=lambda k: sum(min(v, 256 - v) for v in candidates[k]))
        raw.append(kind)
        raw += candidates[kind]
        previous = row

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) +
            chunk(b"IEND", b""))


def icon_file(images):
    """An icon file of (size, image bytes) pairs."""
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = len(header) + 16 * len(images)
    entries = b""
    for size, data in images:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return header + entries + b"".join(data for _, data in images)


def write(path, data):
    # Written beside and renamed, so an interrupted build never leaves half a picture.
    with open(path + ".tmp", "wb") as f:
        f.write(data)
    os.replace(path + ".tmp", path)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: draw_pictures.py OUTPUT_FOLDER")
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    write(os.path.join(folder, "side_picture.bmp"), side_picture().bmp())
    write(os.path.join(folder, "banner_picture.bmp"), banner_picture().bmp())
    # The large image is a PNG, an eighth of the plain one; the small ones, which the
    # windows load, stay plain.
    icon = icon_file([(16, icon_image(16)), (32, icon_image(32)), (48, png_image(48))])
    write(os.path.join(folder, "engine.ico"), icon)


if __name__ == "__main__":
    main()
