"""The background window as it appears on the screen: its place, class and taskbar text,
and the pixels it paints (colours, picture, tiles, texts), read back from the window by
a probe program that builds the display settings itself (tests/e2e/probes)."""

from __future__ import annotations

import base64
import dataclasses
import json
import queue
import shutil
import subprocess
import threading

import pytest

from harness import screenshot

PROBE_TIMEOUT = 60.0
WINDOW_CLASS = "SEA Window Class"
TASKBAR_TEXT = "Caf\u00e9 Setup \u2122"  # "Caf\xe9 Setup \x99" in Windows-1252
BACKGROUND = (0, 0, 128)  # the probe's plain background
RED, GREEN, MAGENTA = (255, 0, 0), (0, 255, 0), (255, 0, 255)


@dataclasses.dataclass
class Painted:
    """What the probe read back from its window."""

    info: dict
    width: int  # of the client area
    height: int
    pixels: bytes

    @property
    def shown(self) -> tuple[int, int]:
        """The part of the client area on the screen (what lies off it cannot be read
        back)."""
        area = self.info["work_area"]
        left, top = self.info["window"][:2]
        return min(self.width, area[2] - left), min(self.height, area[3] - top)

    def at(self, x: int, y: int) -> tuple[int, int, int]:
        assert 0 <= x < self.shown[0] and 0 <= y < self.shown[1], (x, y)
        i = 3 * (y * self.width + x)
        return tuple(self.pixels[i:i + 3])

    def differing(self, colour: tuple[int, int, int], left=0, top=0, right=None, bottom=None):
        """The (x, y) of every shown pixel in the box that is not `colour`."""
        right = self.shown[0] if right is None else min(right, self.shown[0])
        bottom = self.shown[1] if bottom is None else min(bottom, self.shown[1])
        return [(x, y) for y in range(top, bottom) for x in range(left, right) if self.at(x, y) != colour]

    def with_pixels(self, key: str) -> "Painted":
        return Painted(self.info, self.width, self.height, base64.b64decode(self.info[key]))


def _probe(build_paths):
    probe = build_paths.windows_dir / "tests" / "e2e" / "probes" / "background_probe.exe"
    build_paths.require(probe)
    return probe


def _start(wine, build_paths, case: str, hold: bool = False, env: dict | None = None):
    """Starts the probe in the session's prefix and display; its answer is on stdout."""
    argv = [build_paths.wine_loader, str(_probe(build_paths)), case] + (["hold"] if hold else [])
    process = subprocess.Popen(argv, env=env or wine.env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, start_new_session=True)
    lines: queue.Queue = queue.Queue()
    threading.Thread(target=lambda: lines.put(process.stdout.readline()), daemon=True).start()
    try:
        line = lines.get(timeout=PROBE_TIMEOUT)
    except queue.Empty:
        process.kill()
        pytest.fail(f"background_probe {case} printed nothing within {PROBE_TIMEOUT:g} s")
    if not line:
        process.wait(10)
        pytest.fail(f"background_probe {case} ended ({process.returncode}) without an answer: "
                    + process.stderr.read().decode(errors="replace"))
    info = json.loads(line)
    client = info["client"]
    painted = Painted(info, client[2] - client[0], client[3] - client[1], base64.b64decode(info["pixels"]))
    return painted, process


def _finish(process: subprocess.Popen) -> int:
    try:
        return process.wait(PROBE_TIMEOUT)
    finally:
        if process.poll() is None:
            process.kill()
            process.wait(10)


def show(wine, build_paths, case: str, env: dict | None = None) -> Painted:
    """Runs the probe for one case; it closes its window itself."""
    painted, process = _start(wine, build_paths, case, env=env)
    assert _finish(process) == 0
    return painted


def near(a, b, tolerance=3) -> bool:
    return all(abs(x - y) <= tolerance for x, y in zip(a, b))


def test_window_covers_the_work_area_with_its_class_and_taskbar_text(wine, build_paths):
    painted = show(wine, build_paths, "mono")
    info = painted.info
    assert info["class"] == WINDOW_CLASS
    assert info["text"] == TASKBAR_TEXT
    assert info["unicode"]
    assert info["visible"] and not info["iconic"]
    left, top, right, bottom = info["window"]
    area = info["work_area"]
    # Exactly the work area, not a pixel beyond it.
    assert (left, top, right, bottom) == tuple(area)
    assert (painted.width, painted.height) == (right - left, bottom - top)
    # One colour from edge to edge; closing destroys the window.
    assert painted.shown[0] > 0 and painted.shown[1] > 0
    assert not painted.differing((40, 120, 90))
    assert info["closed"]


def test_gradient_runs_from_the_top_colour_to_the_bottom_colour(wine, build_paths):
    painted = show(wine, build_paths, "gradient")
    top, bottom = (200, 30, 10), (10, 60, 220)
    shown_width, shown_height = painted.shown
    column = [painted.at(shown_width // 2, y) for y in range(shown_height)]
    assert near(column[0], top), column[0]
    assert near(column[-1], bottom), column[-1]
    for upper, lower in zip(column, column[1:]):
        assert lower[0] <= upper[0] and lower[1] >= upper[1] and lower[2] >= upper[2], (upper, lower)
    # Vertical only: every row is one colour.
    for y in (0, shown_height // 3, shown_height - 1):
        assert painted.at(0, y) == painted.at(shown_width - 1, y) == column[y]


def band_colours(height: int, top, bottom) -> list[tuple[int, int, int]]:
    """The colour of each row when the gradient is painted in bands: each channel steps
    by the quotient, plus one unit where the remainders add up, before each band."""
    band = min(max(height // 224, 1), 3)
    count = -(-height // band)
    channels = []
    for start, end in zip(top, bottom):
        quotient, remainder = divmod(abs(end - start), count)
        sign = -1 if end < start else 1
        value, accumulated, steps = start, 0, []
        for _ in range(count):
            value += sign * quotient
            accumulated += remainder
            if accumulated >= count:
                accumulated -= count
                value += sign
            steps.append(value)
        channels.append(steps)
    return [tuple(channel[y // band] for channel in channels) for y in range(height)]


def test_gradient_falls_back_to_bands_without_gradient_fill(wine, build_paths):
    # With msimg32 switched off, the window steps through bands of its own.
    env = dict(wine.env, WINEDLLOVERRIDES=wine.env["WINEDLLOVERRIDES"] + ";msimg32=")
    painted = show(wine, build_paths, "gradient", env=env)
    expected = band_colours(painted.height, (200, 30, 10), (10, 60, 220))
    assert expected[-1] == (10, 60, 220)
    shown_width, shown_height = painted.shown
    for y in range(shown_height):
        assert painted.at(0, y) == painted.at(shown_width - 1, y) == expected[y], y


def fitted_picture(width: int, height: int, percent: int, picture=(16, 8)) -> tuple[int, int, int, int, int]:
    """Where a picture goes with the largest whole factor: left, top, right, bottom, factor."""
    area_w, area_h = width * percent // 100, height * percent // 100
    area_l, area_t = (width - area_w) // 2, (height - area_h) // 2
    factor = min(area_w // picture[0], area_h // picture[1])
    assert factor >= 1
    w, h = picture[0] * factor, picture[1] * factor
    left, top = area_l + (area_w - w) // 2, area_t + (area_h - h) // 2
    return left, top, left + w, top + h, factor


@pytest.mark.parametrize("case, see_through", [("picture", BACKGROUND), ("opaque", MAGENTA)],
                         ids=["transparent", "opaque"])
def test_picture_is_centred_at_a_whole_factor_with_its_transparent_index(wine, build_paths, case, see_through):
    painted = show(wine, build_paths, case)
    left, top, right, bottom, factor = fitted_picture(painted.width, painted.height, 50)
    # Every pixel of the picture, at the centre of its enlarged block.
    for row in range(8):
        for column in range(16):
            expected = GREEN if row >= 4 or column >= 12 else RED if column < 8 else see_through
            x, y = left + column * factor + factor // 2, top + row * factor + factor // 2
            assert painted.at(x, y) == expected, (column, row)
    # The blocks end exactly at the fitted rectangle's edges.
    assert painted.at(left, top) == RED and painted.at(right - 1, bottom - 1) == GREEN
    for x, y in ((left - 1, top), (left, top - 1), (right, bottom - 1), (right - 1, bottom)):
        assert painted.at(x, y) == BACKGROUND, (x, y)
    outside = painted.differing(BACKGROUND, 0, 0, painted.width, top)
    assert not outside, outside[:5]


@pytest.mark.parametrize("case, picture_shown, title_shown", [
    ("truncated-picture", False, False),
    ("index-beyond-palette", False, False),
    ("transparent-index-beyond-palette", True, False),  # drawn, without transparency
    ("empty-font-list", False, True),                   # the title in the fallback face
    ("huge-title", False, True),                        # 64 KiB of title, shrunk to its floor
])
def test_a_broken_part_is_left_out_or_falls_back(wine, build_paths, case, picture_shown, title_shown):
    """The window is made and painted whatever the package's picture and title hold."""
    painted = show(wine, build_paths, case)
    left, top, right, bottom, _ = fitted_picture(painted.width, painted.height, 50)
    centre = painted.at((left + right) // 2, (top + bottom) // 2)
    if picture_shown:
        assert painted.at(left, top) == RED and painted.at(right - 1, bottom - 1) == GREEN
        assert painted.at(left + (right - left) * 10 // 16, top + 1) == MAGENTA, "the index stays a colour"
    elif not title_shown:
        assert not painted.differing(BACKGROUND), "nothing of a picture that cannot be read"
    else:
        assert centre == BACKGROUND or case == "huge-title"
        assert painted.differing(BACKGROUND, 0, 0, painted.width, painted.height // 8), "no title"


def test_picture_is_hidden_at_size_zero(wine, build_paths):
    painted = show(wine, build_paths, "hidden")
    assert not painted.differing(BACKGROUND)


def test_tiles_cover_the_window_from_its_top_left_corner(wine, build_paths):
    painted = show(wine, build_paths, "tiles")
    w, h = painted.shown
    points = [(0, 0), (w - 1, 0), (0, h - 1), (w - 1, h - 1), (w // 2, h // 2), (39, 29), (40, 30), (w - 41, h - 31)]
    for x, y in points:
        assert painted.at(x, y) == (6 * (x % 40), 8 * (y % 30), 100), (x, y)


def test_title_is_drawn_top_left_and_not_at_position_zero(wine, build_paths):
    painted = show(wine, build_paths, "title")
    w, h = painted.width, painted.height
    drawn = painted.differing(BACKGROUND)
    assert drawn
    assert max(x for x, _ in drawn) < w // 2 and max(y for _, y in drawn) < h // 8
    assert min(x for x, _ in drawn) >= w // 200 and min(y for _, y in drawn) >= h // 400
    assert any(near(painted.at(x, y), (255, 255, 255), 8) for x, y in drawn), "no pixel in the title colour"

    assert not show(wine, build_paths, "no-title").differing(BACKGROUND)


def test_title_too_wide_shrinks_until_it_fits(wine, build_paths):
    painted = show(wine, build_paths, "wide-title")
    w = painted.width
    drawn = painted.differing(BACKGROUND)
    xs, ys = [x for x, _ in drawn], [y for _, y in drawn]
    # Asked for at 104 points, the text would be several screens wide. It shrank a
    # point at a time: to far below that height, yet still nearly as wide as the window,
    # since one point more would no longer fit.
    assert max(ys) - min(ys) < 60
    assert min(xs) >= w // 200
    assert max(xs) - min(xs) > w * 9 // 10


def test_two_line_title_at_the_bottom_centre(wine, build_paths):
    painted = show(wine, build_paths, "bottom")
    w, h = painted.width, painted.height
    drawn = painted.differing(BACKGROUND)
    assert drawn
    xs, ys = [x for x, _ in drawn], [y for _, y in drawn]
    # The shadow of the last line ends a vertical margin above the bottom.
    assert h * 3 // 4 < min(ys) and max(ys) < h - h // 400
    assert abs((min(xs) + max(xs)) / 2 - w / 2) < w / 20
    # Two lines: a gap of background rows between them.
    rows = sorted(set(ys))
    assert any(b - a > 1 for a, b in zip(rows, rows[1:]))


def test_redraw_shows_the_title_of_the_new_language(wine, build_paths):
    painted = show(wine, build_paths, "language")
    assert not painted.differing(BACKGROUND), "message 0 of the first language is empty"
    after = painted.with_pixels("after")
    drawn = after.differing(BACKGROUND)
    assert drawn and max(y for _, y in drawn) < after.height // 8


def test_started_minimized(wine, build_paths):
    painted = show(wine, build_paths, "minimized")
    assert painted.info["iconic"]


def test_maximized_window_covers_the_work_area(wine, build_paths):
    painted = show(wine, build_paths, "maximized")
    left, top, right, bottom = painted.info["window"]
    area = painted.info["work_area"]
    assert left <= area[0] and top <= area[1] and right >= area[2] and bottom >= area[3]
    assert not painted.differing(BACKGROUND)


def test_a_window_that_cannot_be_made_ends_the_program(wine, build_paths, tmp_path):
    # Both the wide and the narrow attempt are refused; the library's fatal path,
    # with no display of its own here, writes the text to stderr. Into a file: Wine's
    # processes may hold a pipe open after the program has ended.
    out, err = tmp_path / "stdout", tmp_path / "stderr"
    with open(out, "wb") as stdout, open(err, "wb") as stderr:
        process = subprocess.Popen([build_paths.wine_loader, str(_probe(build_paths)), "refused"], env=wine.env,
                                   stdin=subprocess.DEVNULL, stdout=stdout, stderr=stderr, start_new_session=True)
    assert _finish(process) == 1
    assert not out.read_bytes()
    text = err.read_bytes().replace(b"\r", b"")
    assert (b"Failed to create the installer's window.  Please reboot your machine and try again.\n\n"
            b"Error code ") in text


def test_screenshot_of_a_typical_window(wine, ui, build_paths):
    if not shutil.which("import"):
        pytest.skip("ImageMagick's import is not installed")
    painted, process = _start(wine, build_paths, "typical", hold=True)
    try:
        path = build_paths.screenshots / "background-window.png"
        assert screenshot(wine.env["DISPLAY"], path)
        ui.close(painted.info["hwnd"])
        assert _finish(process) == 0
    finally:
        if process.poll() is None:
            process.kill()
            process.wait(10)
