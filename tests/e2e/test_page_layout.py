"""The wizard's pages laid out as their dialog units say, at 96 and at 144 DPI, in English
and in German, whose texts run longer: every control inside its dialog, the fixed
rectangles where they belong in pixels, and every label and text within its control,
measured in the dialog's font."""

from __future__ import annotations

import re
import time
from pathlib import Path

import pytest

from harness import IDNO, IDOK, UiError, WindowNotFound, screenshot
from package_tools import build_project
from registration_tools import is_registered, run_recorded

OK, CANCEL, TEXT_VIEW, PROGRESS_BAR, PROMPT, BROWSE = 1001, 1003, 1005, 1007, 1009, 1013
LANGUAGES, PASSWORD, SIDE_PICTURE, VIEW_FILE, LAUNCH, VIEW_LOG, OPEN_FILE = 1017, 1019, 1021, 1023, 1025, 1027, 1029
BANNER, BANNER_PRODUCT, SPACE_NEEDED, LINE = 1032, 1034, 1036, 66
DIALOG = "#32770"
PRODUCT = "Layout Test"
# Every page resource: font "MS Shell Dlg" 10 point.
FACE, POINTS = "MS Shell Dlg", 10
# Room a push button keeps for its frame on each side, and a check box for its box and
# the gap after it, in pixels at 96 DPI.
BUTTON_FRAME, CHECK_BOX = 3, 16

PROJECT = r"""
[product]
name = "Layout Test"
version = "1.0"
install_dir = "Layout Test"
installing_text = "Layout Test 1.0"
password = "s3cret"
start_menu = "Layout Maker\\Layout Test"

[options]
product_flags_low = ["uninstall_support", "directory_page", "keep_log"]
product_flags_high = ["start_menu_page", "progress_page", "offer_view_log", "fixed_progress_text"]

[finish]
view_file = "docs\\guide.txt"
launch_program = "program.txt"
open_file = "docs\\guide.txt"

[wizard]
greeting_style = "{style}"
language_style = "{style}"
license_style = "{style}"
readme_style = "{style}"
directory_style = "{style}"
start_menu_style = "{style}"
progress_style = "{style}"
summary_style = "{style}"

[texts]
license = [{ text = "The licence: use it well." }, { text = "Die Lizenz: gut nutzen." }]
readme = [{ text = "Read me first." }, { text = "Zuerst lesen." }]

[languages]
names = ["English", "Deutsch"]

[messages.Deutsch]
"""

# German as a translator writes it: longer than the English, with its quotation marks,
# umlauts and ß.
GERMAN = {
    0: "<product> Setup",
    1: "Dieses Programm installiert <product> auf Ihrem Computer.\r\n\r\nEs wird empfohlen, alle anderen "
       "Programme zu schließen, bevor Sie mit der Installation fortfahren. Klicken Sie auf „Weiter“, um "
       "fortzufahren, oder auf „Abbrechen“, um das Setup zu beenden.",
    11: "Wählen Sie den Ordner, in den <product> installiert werden soll. Um einen anderen Ordner zu wählen, "
        "klicken Sie auf „Durchsuchen...“.",
    20: "Frage",
    21: "Fehler bei der Installation",
    24: "Zielordner auswählen",
    28: "Möchten Sie die Installation wirklich abbrechen?",
    39: "Bitte warten Sie, während <product> auf Ihrem Computer installiert wird.",
    42: "<product> wurde erfolgreich auf Ihrem Computer installiert. Klicken Sie auf „Fertig stellen“, um das "
        "Setup zu beenden.",
    43: "Installation abgeschlossen",
    44: "Lizenzvereinbarung",
    45: "Ich &stimme zu",
    46: "&Ablehnen",
    47: "Bitte lesen Sie den folgenden Lizenzvertrag sorgfältig durch. Sie müssen den Vertrag annehmen, um "
        "<product> zu installieren.",
    48: "&Weiter >",
    49: "Abbrechen",
    50: "Wichtige Informationen",
    51: "Bitte lesen Sie die folgenden wichtigen Informationen, bevor Sie mit der Installation fortfahren.",
    52: "&Durchsuchen...",
    54: "Dateien werden installiert...",
    65: "Installation von <product>",
    75: "Kennwort",
    76: "Dieses Installationsprogramm ist durch ein Kennwort geschützt. Bitte geben Sie das Kennwort ein:",
    79: "&Ja",
    80: "&Nein",
    82: "Wählen Sie die Sprache, in der die Installation durchgeführt werden soll:",
    83: "Die Informationsdatei anzeigen",
    84: "<product> jetzt starten",
    85: "Das Installationsprotokoll anzeigen",
    87: "Die Datei öffnen",
    88: "Wählen Sie den Ordner im Startmenü, in dem die Verknüpfungen des Programms angelegt werden sollen:",
    89: "Startmenü-Ordner auswählen",
    90: "&Installieren",
    92: "Benötigter Speicherplatz:",
    93: "Verfügbarer Speicherplatz:",
    94: "Sprache der Installation",
    95: "&Fertig stellen",
    102: "Das Kennwort ist nicht richtig. Bitte versuchen Sie es noch einmal.",
    103: "Willkommen beim Installationsassistenten",
}

STYLES = ["plain", "side_picture", "banner"]
LANGUAGE_INDEX = {"English": 0, "Deutsch": 1}


def toml_text(text: str) -> str:
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"').replace("\r", "\\r").replace("\n", "\\n") + '"'


def build(build_paths, engine, work: Path, style: str) -> Path:
    files = work / "files"
    (files / "docs").mkdir(parents=True)
    (files / "program.txt").write_text("the program\n")
    (files / "docs" / "guide.txt").write_text("the guide\n")
    # Enough files that the progress window stays while it is measured.
    for i in range(600):
        (files / "data" / f"{i // 100}").mkdir(parents=True, exist_ok=True)
        (files / "data" / f"{i // 100}" / f"file{i:04}.txt").write_text(f"file {i}\n")
    project = PROJECT.replace("{style}", style) + "".join(f"{n} = {toml_text(t)}\n" for n, t in GERMAN.items())
    project += '\n[[files]]\nsource = "files/**"\nbase = "files"\n'
    (work / "project.toml").write_text(project, encoding="utf-8")
    return build_project(build_paths.build_dir, engine, work / "project.toml", work / "setup.exe")


# ---- DPI ----

DESKTOP_KEY = r"HKCU\Control Panel\Desktop"


def log_pixels(wine) -> int | None:
    done = wine.tool(["wine", "reg", "query", DESKTOP_KEY, "/v", "LogPixels"], check=False)
    match = re.search(r"LogPixels\s+REG_DWORD\s+0x([0-9a-fA-F]+)", done.stdout)
    return int(match.group(1), 16) if done.returncode == 0 and match else None


def set_log_pixels(wine, ui, value: int | None) -> None:
    """The DPI every Windows program started from now on sees; None: Wine's default. Each
    process reads it when it starts, so the UI driver starts again too."""
    if value is None:
        wine.tool(["wine", "reg", "delete", DESKTOP_KEY, "/v", "LogPixels", "/f"], check=False)
    else:
        wine.tool(["wine", "reg", "add", DESKTOP_KEY, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(value), "/f"])
    ui.stop()


@pytest.fixture(scope="module", params=[96, 144])
def dpi(request, e2e_session):
    """The prefix's DPI for this module's tests; the prefix is shared, so it always goes
    back to what it was."""
    wine, ui = e2e_session.wine, e2e_session.ui
    before = log_pixels(wine)
    try:
        set_log_pixels(wine, ui, request.param)
        yield request.param
    finally:
        set_log_pixels(wine, ui, before)


# ---- geometry ----


def mul_div(value: int, numerator: int, denominator: int) -> int:
    """MulDiv as the dialog manager uses it: rounded half away from zero."""
    return (2 * value * numerator + denominator) // (2 * denominator)


class Layout:
    """One dialog as the driver measured it, with dialog units turned into pixels."""

    def __init__(self, data: dict, where: str, dpi: int):
        self.data, self.where, self.dpi = data, where, dpi
        units = data["base_units"] or data["font_base_units"]
        self.bx, self.by = units["x"], units["y"]
        self.controls = {c["id"]: c for c in data["controls"]}

    def pixels(self, x: int, y: int, w: int, h: int) -> tuple[int, int, int, int]:
        left, top = mul_div(x, self.bx, 4), mul_div(y, self.by, 8)
        return left, top, left + mul_div(w, self.bx, 4), top + mul_div(h, self.by, 8)

    def control(self, id: int) -> dict:
        assert id in self.controls, f"{self.where}: no control {id}"
        return self.controls[id]


def close_to(actual, expected, tolerance: int = 1) -> bool:
    return all(abs(a - e) <= tolerance for a, e in zip(actual, expected))


DIALOG_SIZES = {"greeting-banner": (280, 120), "progress-plain": (195, 73), "progress-banner": (225, 99),
                "password": (269, 54)}


def dialog_size(page: str, style: str) -> tuple[int, int]:
    return DIALOG_SIZES.get(f"{page}-{style}", DIALOG_SIZES.get(page, (280, 218)))


def fixed_rects(page: str, style: str) -> dict[int, tuple]:
    """The rectangles the pages must keep, in dialog units (x, y, width, height); None
    where a part is free."""
    rects: dict[int, tuple] = {}
    if style == "banner":
        rects[BANNER] = (0, 0, dialog_size(page, style)[0], 26)
    if style == "side_picture":
        rects[SIDE_PICTURE] = (None, None, 94, 188)
        rects[LINE] = (None, 196, None, None)
        rects[OK] = (140, 201, 66, 13)
        rects[CANCEL] = (210, 201, 66, 13)
    if page == "greeting":
        rects[PROMPT] = (102, 24, 174, 168) if style == "side_picture" else (4, 30, 272, 64)
        if style == "banner":
            rects[OK] = rects[CANCEL] = (None, 103, None, None)
    if page == "summary":
        rects.pop(CANCEL, None)
        rects[OK] = (210, 201, 66, 13)
        x, y = (20, 78) if style == "banner" else (102, 52)
        for n, box in enumerate((LAUNCH, VIEW_FILE, OPEN_FILE, VIEW_LOG)):  # all offered, in this order
            rects[box] = (x, y + 14 * n, 173, 9)
    if page == "progress":
        rects.pop(OK, None)
        if style == "side_picture":
            rects[PROGRESS_BAR] = (102, 32, 174, 9)
        elif style == "plain":
            rects[CANCEL] = (60, 57, 75, 12)
        else:
            rects[CANCEL] = (75, 83, 75, 12)
    return rects


def check_layout(layout: Layout, page: str, style: str) -> list[str]:
    """What is wrong with the page's layout, as readable lines; empty when nothing is."""
    faults = []
    where = layout.where
    if layout.data["base_units"] and layout.data["font_base_units"] != layout.data["base_units"]:
        faults.append(f"{where}: the remade font gives {layout.data['font_base_units']}, the dialog "
                      f"{layout.data['base_units']}")
    # The client size in the template font's units shows that the page was made with
    # that font at this DPI, and so that the units below are the page's.
    width, height = dialog_size(page, style)
    client = layout.data["client"]
    expected = layout.pixels(0, 0, width, height)[2:]
    if not close_to((client["width"], client["height"]), expected):
        faults.append(f"{where}: client {client['width']}x{client['height']}, expected {expected} "
                      f"for {width}x{height} units")

    for c in layout.data["controls"]:
        left, top, right, bottom = c["rect"]
        if c["visible"] and (left < 0 or top < 0 or right > client["width"] or bottom > client["height"]):
            faults.append(f"{where}: control {c['id']} at {c['rect']} leaves the client area "
                          f"{client['width']}x{client['height']}")

    for id, (x, y, w, h) in fixed_rects(page, style).items():
        left, top, right, bottom = layout.control(id)["rect"]
        want = layout.pixels(x or 0, y or 0, w or 0, h or 0)
        pairs = [(left, want[0]) if x is not None else None, (top, want[1]) if y is not None else None,
                 (right - left, want[2] - want[0]) if w is not None else None,
                 (bottom - top, want[3] - want[1]) if h is not None else None]
        pairs = [p for p in pairs if p]
        if not close_to([a for a, _ in pairs], [e for _, e in pairs]):
            faults.append(f"{where}: control {id} at {[left, top, right, bottom]}, expected {(x, y, w, h)} units "
                          f"= {want}")

    faults += text_faults(layout)
    return faults


def text_faults(layout: Layout) -> list[str]:
    """Labels wider than their controls and texts that need more lines than they have."""
    faults = []
    frame, box = mul_div(BUTTON_FRAME, layout.dpi, 96), mul_div(CHECK_BOX, layout.dpi, 96)
    for c in layout.data["controls"]:
        if not c["visible"] or not c["text"] or "line" not in c:
            continue
        if c["font"] == "unknown" or c["id"] == BANNER_PRODUCT:
            continue  # the product line is bold, a font the page makes and no other process can read
        kind = c["class"].lower()
        room = c["client"]
        what = f"{layout.where}: control {c['id']} {c['text']!r}"
        if kind == "button":
            button_type = c["style"] & 0xF
            if c["style"] & 0x2000:  # BS_MULTILINE
                need_w, need_h, have_w = c["wrapped"]["width"], c["wrapped"]["height"], room["width"]
            elif button_type in (2, 3, 5, 6, 9):  # check boxes and radio buttons
                need_w, need_h, have_w = c["line"]["width"], c["line"]["height"], room["width"] - box
            else:
                need_w, need_h, have_w = c["line"]["width"], c["line"]["height"], room["width"] - 2 * frame
            if need_w > have_w or need_h > room["height"]:
                faults.append(f"{what} needs {need_w}x{need_h} px, has {have_w}x{room['height']}")
        elif kind == "static":
            need = c["wrapped"]
            if need["width"] > room["width"] or need["height"] > room["height"]:
                faults.append(f"{what} needs {need['width']}x{need['height']} px wrapped, "
                              f"has {room['width']}x{room['height']}")
    return faults


# ---- walking the pages ----


class Walk:
    """One installation through every page, each page measured as it shows."""

    def __init__(self, ui, process, style: str, dpi: int, language: str, shots: Path | None):
        self.ui, self.process, self.style, self.dpi, self.language = ui, process, style, dpi, language
        self.shots = shots
        self.faults: list[str] = []
        self.seen: list[str] = []
        self.clients: dict[str, tuple[int, int]] = {}

    def wait(self, *wanted: int, timeout: float = 30.0):
        """The process's page that holds one of the controls, and which one it holds."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for window in self.ui.windows(pid=self.process, cls=DIALOG):
                try:
                    controls = {c.id: c for c in self.ui.controls(window)}
                except UiError:
                    continue
                for control in wanted:
                    if control in controls:
                        return window, controls, control
            time.sleep(0.1)
        raise WindowNotFound(f"no page with any of {wanted}; measured: {self.seen}")

    def measure(self, window, page: str, layout_style: str) -> Layout:
        self.seen.append(page)
        where = f"{self.dpi} DPI {self.language} {self.style}: {page}"
        # The template's font at the DPI set; the client size then shows whether the page
        # was made at that DPI too.
        data = self.ui.layout(window, face=FACE, points=POINTS, dpi=self.dpi)
        assert data["device_dpi"] == self.dpi, f"{where}: programs see {data['device_dpi']} DPI"
        layout = Layout(data, where, self.dpi)
        self.clients[page] = (data["client"]["width"], data["client"]["height"])
        self.faults += check_layout(layout, page, layout_style)
        self.shot(page)
        return layout

    def shot(self, page: str) -> None:
        if self.shots:
            time.sleep(0.3)  # let it paint
            screenshot(self.ui.session.env["DISPLAY"], self.shots / f"layout-{self.dpi}-{self.style}-{page}.png")


def page_style(page: str, style: str) -> str:
    """The layout a page takes in a style: the language and summary pages have no plain one."""
    return "banner" if page in ("language", "summary") and style == "plain" else style


# The language page's client size at each DPI, to compare the two.
PAGE_SIZES: dict[int, tuple[int, int]] = {}


@pytest.mark.parametrize("language", ["English", "Deutsch"])
@pytest.mark.parametrize("style", STYLES)
def test_pages_keep_their_layout(dpi, wine, ui, build_paths, engine, tmp_path, style, language):
    setup = build(build_paths, engine, tmp_path, style)
    german = language == "Deutsch"
    shots = build_paths.screenshots / "layout" if dpi == 144 and german else None
    process = wine.start(setup, timeout=300)
    walk = Walk(ui, process, style, dpi, language, shots)
    try:
        # Language: the entry pressed switches the page's texts at once.
        window, _, _ = walk.wait(LANGUAGES)
        ui.select(window, LANGUAGES, LANGUAGE_INDEX[language])
        prompt = GERMAN[82] if german else "Choose the language of the installation:"
        deadline = time.monotonic() + 10
        while ui.control(window, PROMPT).text != prompt and time.monotonic() < deadline:
            time.sleep(0.1)
        assert ui.control(window, PROMPT).text == prompt
        walk.measure(window, "language", page_style("language", style))
        ui.press(window, OK)
        ui.wait_gone(window)

        if style == "plain":
            box = ui.message_box(process, timeout=20)  # the greeting, laid out by Windows
            walk.shot("greeting")
            ui.press(box, IDOK)
        else:
            window, _, _ = walk.wait(PROMPT)
            walk.measure(window, "greeting", style)
            ui.press(window, OK)
            ui.wait_gone(window)

        window, _, _ = walk.wait(PASSWORD)
        walk.measure(window, "password", "")
        ui.set_text(window, "s3cret", PASSWORD)
        ui.press(window, OK)
        ui.wait_gone(window)

        # Every language's licence and read-me text, each on its page (told apart by the
        # OK label), up to the directory page.
        agree = GERMAN[45] if german else "I &Agree"
        shown = []
        while True:
            window, controls, found = walk.wait(TEXT_VIEW, SPACE_NEEDED)
            if found == SPACE_NEEDED:
                break
            kind = "license" if controls[OK].text == agree else "readme"
            shown.append(kind)
            walk.measure(window, f"{kind}-{shown.count(kind)}", style)
            ui.press(window, OK)
            ui.wait_gone(window)
        assert "license" in shown and "readme" in shown, shown
        walk.measure(window, "directory", style)
        ui.press(window, OK)
        ui.wait_gone(window)

        window, _, _ = walk.wait(BROWSE)
        walk.measure(window, "start-menu", style)
        ui.press(window, OK)
        ui.wait_gone(window)

        # The progress window holds still while its cancel question is open.
        window, _, _ = walk.wait(PROGRESS_BAR)
        ui.press(window, CANCEL)
        question = ui.message_box(process, timeout=20)
        walk.measure(window, "progress", style)
        ui.press(question, IDNO)

        window, _, _ = walk.wait(VIEW_LOG, timeout=120)
        walk.measure(window, "summary", page_style("summary", style))
        ui.close(window)  # nothing chosen: nothing is opened or started
        process.wait(60)
    finally:
        process.kill()
        if is_registered(wine, PRODUCT):
            run_recorded(wine, PRODUCT)

    assert walk.faults == []
    # The pages grow with the DPI: about one and a half times the pixels at 144 (the
    # font's hinting rounds its cell).
    PAGE_SIZES.setdefault(dpi, walk.clients["language"])
    if 96 in PAGE_SIZES and 144 in PAGE_SIZES:
        for small, large in zip(PAGE_SIZES[96], PAGE_SIZES[144]):
            assert 1.4 <= large / small <= 1.7, PAGE_SIZES
