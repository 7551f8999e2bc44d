#!/usr/bin/env python3
"""Draws the engine's own pictures: the side picture and the banner that the wizard pages
show when a package brings none, and the engine icon.

    draw_pictures.py OUTPUT_FOLDER

writes side_picture.bmp (212 x 424), banner_picture.bmp (600 x 64) and engine.ico
(16, 32 and 48 pixels). Standard library only; the same output on every run.

The bitmaps are 8 bits per pixel: at 24 bits they would add some 380 KB to an engine of
about 500 KB. Every pixel of both pictures is a base gradient colour lightened towards
white, so a palette of 16 gradient steps by 16 lightening steps covers them, and an
ordered dither between neighbouring steps hides the banding.
"""

import math
import os
import struct
import sys

STEPS = 16  # gradient steps and lightening steps: 16 x 16 = 256 palette entries

# 8 x 8 Bayer matrix: thresholds spread evenly over a tile, so a flat area between two
# steps becomes a fine regular pattern instead of a band.
BAYER = [
    [0, 32, 8, 40, 2, 34, 10, 42],
    [48, 16, 56, 24, 50, 18, 58, 26],
    [12, 44, 4, 36, 14, 46, 6, 38],
    [60, 28, 52, 20, 62, 30, 54, 22],
    [3, 35, 11, 43, 1, 33, 9, 41],
    [51, 19, 59, 27, 49, 17, 57, 25],
    [15, 47, 7, 39, 13, 45, 5, 37],
    [63, 31, 55, 23, 61, 29, 53, 21],
]


def clamp(value, low=0.0, high=1.0):
    return max(low, min(high, value))


def smoothstep(edge0, edge1, value):
    t = clamp((value - edge0) / (edge1 - edge0))
    return t * t * (3 - 2 * t)


def mix(a, b, t):
    return tuple(x + (y - x) * t for x, y in zip(a, b))


WHITE = (255, 255, 255)


class TwoToneImage:
    """A picture whose every pixel is gradient(t) lightened towards white by l, with
    t in [0, 1] and l in [0, max_light]; stored as one palette index per pixel."""

    def __init__(self, width, height, top, bottom, max_light):
        self.width, self.height = width, height
        self.top, self.bottom, self.max_light = top, bottom, max_light
        self.indices = bytearray(width * height)

    def palette(self):
        colours = []
        for light_step in range(STEPS):
            for gradient_step in range(STEPS):
                base = mix(self.top, self.bottom, gradient_step / (STEPS - 1))
                colour = mix(base, WHITE, self.max_light * light_step / (STEPS - 1))
                colours.append(tuple(int(round(c)) for c in colour))
        return colours

    def put(self, x, y, t, light):
        # The two coordinates take thresholds from different cells of the matrix, so
        # their patterns do not line up into a coarser one.
        threshold_t = (BAYER[y % 8][x % 8] + 0.5) / 64
        threshold_l = (BAYER[(y + 4) % 8][(x + 2) % 8] + 0.5) / 64
        scaled_t = clamp(t) * (STEPS - 1)
        scaled_l = clamp(light / self.max_light) * (STEPS - 1)
        step_t = min(STEPS - 1, int(scaled_t + threshold_t))
        step_l = min(STEPS - 1, int(scaled_l + threshold_l))
        self.indices[y * self.width + x] = step_l * STEPS + step_t

    def bmp(self):
        """A BMP file: 8 bits per pixel, 256-colour palette, rows bottom-up."""
        row_size = (self.width + 3) & ~3
        pixels = bytearray()
        for y in reversed(range(self.height)):
            row = self.indices[y * self.width:(y + 1) * self.width]
            pixels += row + bytes(row_size - self.width)
        palette = b"".join(bytes((b, g, r, 0)) for r, g, b in self.palette())
        info = struct.pack("<IiiHHIIiiII", 40, self.width, self.height, 1, 8, 0, len(pixels), 2835, 2835, 256, 0)
        offset = 14 + len(info) + len(palette)
        header = b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset)
        return header + info + palette + pixels


def side_picture():
    """Calm blue, light at the top and deep at the bottom, crossed by a few soft
    diagonal bands of light and two large faint circles."""
    width, height = 212, 424
    image = TwoToneImage(width, height, top=(104, 158, 214), bottom=(18, 58, 116), max_light=0.30)
    # Bands across the picture, rising to the right: (position along the normal, half
    # width, strength).
    bands = [(150, 34, 0.10), (235, 12, 0.08), (330, 55, 0.06), (430, 18, 0.09)]
    normal = (math.cos(math.radians(35)), math.sin(math.radians(35)))
    # Circles: (centre x, centre y, radius, strength); a soft disc with a brighter rim.
    circles = [(175, 95, 80, 0.07), (30, 345, 120, 0.05)]
    for y in range(height):
        for x in range(width):
            t = 0.85 * y / (height - 1) + 0.15 * (1 - x / (width - 1)) - 0.05
            light = 0.0
            along = x * normal[0] + y * normal[1]
            for centre, half, strength in bands:
                light += strength * (1 - smoothstep(half * 0.6, half, abs(along - centre)))
            for cx, cy, radius, strength in circles:
                distance = math.hypot(x - cx, y - cy)
                disc = 1 - smoothstep(radius - 2, radius + 1, distance)
                rim = 1 - smoothstep(0, 2.5, abs(distance - radius))
                light += strength * disc + 1.5 * strength * rim
            image.put(x, y, t, light)
    return image


def banner_picture():
    """White at the left, where the banner's texts are drawn, fading into light blue
    over the right third, with a few faint rings there."""
    width, height = 600, 64
    image = TwoToneImage(width, height, top=(255, 255, 255), bottom=(92, 146, 206), max_light=0.35)
    rings = [(560, 20, 46, 0.20), (505, 70, 30, 0.16), (610, 64, 70, 0.12)]
    for y in range(height):
        for x in range(width):
            u = x / (width - 1)
            t = smoothstep(0.55, 1.0, u) * (0.9 + 0.1 * y / (height - 1))
            light = 0.0
            for cx, cy, radius, strength in rings:
                distance = math.hypot(x - cx, y - cy)
                light += strength * (1 - smoothstep(0.5, 3.0, abs(distance - radius)))
            image.put(x, y, t, light)
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


def icon_file(sizes):
    images = [icon_image(size) for size in sizes]
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = len(header) + 16 * len(images)
    entries = b""
    for size, data in zip(sizes, images):
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return header + entries + b"".join(images)


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
    write(os.path.join(folder, "engine.ico"), icon_file([16, 32, 48]))


if __name__ == "__main__":
    main()
