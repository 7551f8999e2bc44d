"""An interactive installation through every page, in each of the three page styles, and
its interactive removal: each page found by its controls, its texts read back, values
typed into its edits, and the machine left as the silent round trip leaves it."""

from __future__ import annotations

import time
from pathlib import Path

import pytest

import snapshots
from harness import IDNO, IDOK, IDYES, UiError, WindowNotFound, screenshot
from package_tools import build_project, package_messages
from registration_tools import is_registered, registered, start_recorded

OK, CANCEL, TEXT_VIEW, PROGRESS_BAR, PROMPT, STATUS, BROWSE, EDIT = 1001, 1003, 1005, 1007, 1009, 1011, 1013, 1015
LANGUAGES, PASSWORD, SIDE_PICTURE, VIEW_FILE, LAUNCH, VIEW_LOG, OPEN_FILE = 1017, 1019, 1021, 1023, 1025, 1027, 1029
BANNER, BANNER_PRODUCT, BANNER_TITLE, SPACE_NEEDED, SPACE_FREE = 1032, 1034, 1035, 1036, 1037
DIALOG = "#32770"
# More than the 32,767 characters a text box takes unless told otherwise.
LONG_LICENSE = "Die Lizenz.\r\n" + "".join(f"Zeile {i} der Lizenz, die lang ist.\r\n" for i in range(2000))

PROJECT = r"""
[product]
name = "Wizard Test"
version = "1.0"
install_dir = "Wizard Test"
installing_text = "Wizard Test 1.0"
password = "s3cret"
start_menu = "Wizard Maker\\Wizard Test"

[options]
product_flags_low = ["uninstall_support", "directory_page", "keep_log"]
product_flags_high = ["start_menu_page", "progress_page", "offer_view_log"]

[window]
taskbar_text = "Wizard Test Setup"
title = "Wizard Test 1.0"
title_position = 1
title_color = "#FFFFFF"
title_size = 1.2
title_font = "DejaVu Serif Bold, Times New Roman Bold"
top_color = "#2A5AA8"
bottom_color = "#0A1A38"
copyright_pos = 6
copyright_text = "Made with Halvard Setup"
copyright_color = "#B8C8E8"

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
license = [{ text = "The licence: use it well." }, { text = "{long_license}" }]
readme = [{ text = "Read me first." }]

[languages]
names = ["English", "Deutsch"]

[messages.Deutsch]
language_prompt = "Sprache:"

[[files]]
source = "files/**"
base = "files"
"""


def shown_messages(build_paths, setup: Path) -> dict[int, str]:
    """The English messages as the engine shows them, with the product's tags replaced."""
    return {n: text.replace("<product>", "Wizard Test").replace("<description>", "Wizard Test")
            for n, text in package_messages(build_paths.build_dir, setup).items()}


def build(build_paths, engine, work: Path, style: str) -> Path:
    files = work / "files"
    (files / "docs").mkdir(parents=True)
    (files / "program.txt").write_text("the program\n")
    (files / "docs" / "guide.txt").write_text("the guide\n")
    (work / "project.toml").write_text(PROJECT.replace("{style}", style).replace("{long_license}", LONG_LICENSE.replace("\r\n", "\\r\\n")))
    return build_project(build_paths.build_dir, engine, work / "project.toml", work / "setup.exe")


class Pages:
    """Finds the wizard's pages of one process by the controls they hold."""

    def __init__(self, ui, process, shots: Path, style: str):
        self.ui, self.process, self.shots, self.style = ui, process, shots, style
        self.seen: list[str] = []

    def wait(self, control: int, name: str, timeout: float = 20.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for window in self.ui.windows(pid=self.process, cls=DIALOG):
                try:
                    controls = {c.id: c for c in self.ui.controls(window)}
                except UiError as error:
                    self.trouble = str(error)
                    continue
                if control in controls:
                    self.seen.append(name)
                    self.shot(name)
                    return window, controls
            time.sleep(0.1)
        raise WindowNotFound(f"no page with control {control} ({name}); seen: {self.seen}; "
                             f"{getattr(self, 'trouble', '')}")

    def shot(self, name: str) -> None:
        time.sleep(0.3)  # let it paint
        screenshot(self.ui.session.env["DISPLAY"], self.shots / f"{self.style}-{name}.png")

    def header(self, window, controls, title: str, caption: str) -> None:
        """The caption and, by style, the side picture or the banner with its two lines."""
        if self.style == "banner":
            assert window.caption == caption
            assert controls[BANNER].visible
            assert controls[BANNER_PRODUCT].text == "Wizard Test 1.0"
            assert controls[BANNER_TITLE].text == title
        else:
            assert window.caption == title
            assert (SIDE_PICTURE in controls and controls[SIDE_PICTURE].visible) == (self.style == "side_picture")


@pytest.mark.parametrize("style", ["plain", "side_picture", "banner"])
def test_interactive_installation_and_removal(wine, ui, build_paths, engine, tmp_path, style):
    setup = build(build_paths, engine, tmp_path, style)
    messages = shown_messages(build_paths, setup)
    folder = build_paths.prefix / "drive_c" / "Wizard Chosen"
    before = snapshots.take(wine, build_paths.prefix, tmp_path)
    shots = build_paths.screenshots / "pages"

    process = wine.start(setup, timeout=300)
    pages = Pages(ui, process, shots, style)

    # Language: both languages listed, English preselected; choosing German relabels the
    # page at once, choosing English again brings its texts back.
    window, controls = pages.wait(LANGUAGES, "language")
    assert controls[PROMPT].text == messages[82]
    ui.press(window, OK)

    # Greeting: a message box in the plain style, a page otherwise.
    if style == "plain":
        box = ui.message_box(process, caption=messages[65], timeout=20)
        assert box.text == messages[1]
        pages.shot("greeting")
        ui.press(box, IDOK)
    else:
        window, controls = pages.wait(PROMPT, "greeting")
        pages.header(window, controls, messages[103], messages[65])
        assert controls[PROMPT].text.strip() == messages[1]
        ui.press(window, OK)

    # Password: a wrong one is refused with a box and the page stays; the right one passes.
    window, controls = pages.wait(PASSWORD, "password")
    assert window.caption == messages[75] and controls[PROMPT].text == messages[76]
    ui.set_text(window, "wrong", PASSWORD)
    ui.press(window, OK)
    refused = ui.message_box(process, caption=messages[21], timeout=20)
    assert refused.text == messages[102]
    ui.press(refused, IDOK)
    ui.set_text(window, "s3cret", PASSWORD)
    ui.press(window, OK)

    # Licence and read-me: each text on its own page, read-only.
    for name, text, title in [("license-1", "The licence: use it well.", messages[44]),
                              ("license-2", LONG_LICENSE, messages[44]),
                              ("readme", "Read me first.", messages[50])]:
        window, controls = pages.wait(TEXT_VIEW, name)
        pages.header(window, controls, title, messages[65])
        assert controls[TEXT_VIEW].text == text
        ui.press(window, OK)
        ui.wait_gone(window)

    # Directory: the default folder offered, the space texts shown, a typed folder taken.
    window, controls = pages.wait(SPACE_NEEDED, "directory")
    pages.header(window, controls, messages[24], messages[65])
    assert controls[EDIT].text == r"C:\Program Files (x86)\Wizard Test"  # a 32-bit product's default
    assert controls[SPACE_NEEDED].text.startswith(messages[92] + " ")
    assert controls[SPACE_FREE].text.startswith(messages[93] + " ")
    assert controls[OK].text == messages[48]  # the Start-menu page follows
    ui.set_text(window, r"C:\Wizard Chosen", EDIT)
    ui.press(window, OK)

    # Start menu: OK refused while the folder begins with a backslash.
    window, controls = pages.wait(BROWSE, "start-menu")
    pages.header(window, controls, messages[89], messages[65])
    assert controls[EDIT].text == r"Wizard Maker\Wizard Test"
    ui.set_text(window, r"\Wizard Test", EDIT)
    assert not ui.control(window, OK).enabled
    ui.set_text(window, "Wizard Chosen Menu", EDIT)
    assert ui.control(window, OK).enabled
    ui.press(window, OK)

    # Summary: the log offer is there, nothing else was asked for; finish without it.
    window, controls = pages.wait(VIEW_LOG, "summary", timeout=60)
    assert controls[PROMPT].text == messages[42]
    assert controls[OK].text == messages[95]
    assert controls[VIEW_LOG].visible and controls[VIEW_LOG].text == messages[85]
    assert not any(controls[c].visible for c in (LAUNCH, VIEW_FILE, OPEN_FILE))
    assert CANCEL not in controls or not controls[CANCEL].visible
    ui.press(window, OK)
    assert process.wait(60) == 1

    assert (folder / "program.txt").read_text() == "the program\n"
    assert (folder / "docs" / "guide.txt").exists()
    assert registered(wine, "Wizard Test", "InstallLocation") == r"C:\Wizard Chosen"
    assert registered(wine, "Wizard Test", "ProductStartMenu") == "Wizard Chosen Menu"

    # The removal as Windows starts it: confirmed, then told that it is done.
    remover = start_recorded(wine, "Wizard Test", "UninstallString")
    question = ui.message_box(remover, caption=messages[55], timeout=30)
    assert question.text == messages[53]
    ui.press(question, IDYES)
    done = ui.message_box(remover, caption=messages[15], timeout=60)
    assert done.text == messages[34]
    ui.press(done, IDOK)
    assert remover.wait(60) == 0
    assert not is_registered(wine, "Wizard Test")
    # The self-deleting batch removes the folder, then itself.
    batches = list((build_paths.prefix / "drive_c" / "users").glob("*/Temp/delunins.bat"))
    deadline = time.monotonic() + 60
    while (folder.exists() or any(b.exists() for b in batches)) and time.monotonic() < deadline:
        time.sleep(0.5)
    after = snapshots.take(wine, build_paths.prefix, tmp_path)
    assert snapshots.differences(before, after) == []


def test_cancel_on_each_page(wine, ui, build_paths, engine, tmp_path):
    """Cancel ends the run: quietly on the first pages, with the notice on the folder
    pages; nothing is installed either way."""
    setup = build(build_paths, engine, tmp_path, "side_picture")
    messages = shown_messages(build_paths, setup)
    shots = build_paths.screenshots / "pages"
    folder = build_paths.prefix / "drive_c" / "Program Files (x86)" / "Wizard Test"
    steps = [  # (pages answered with OK before, the page cancelled, a notice expected)
        (0, LANGUAGES, False), (1, PROMPT, False), (2, PASSWORD, False), (3, TEXT_VIEW, False),
        (6, SPACE_NEEDED, True), (7, BROWSE, True)]
    for answered, cancelled, notice in steps:
        process = wine.start(setup, timeout=300)
        pages = Pages(ui, process, shots, "cancel")
        order = [LANGUAGES, PROMPT, PASSWORD, TEXT_VIEW, TEXT_VIEW, TEXT_VIEW, SPACE_NEEDED, BROWSE]
        for control in order[:answered]:
            window, _ = pages.wait(control, str(control))
            if control == PASSWORD:
                ui.set_text(window, "s3cret", PASSWORD)
            ui.press(window, OK)
            ui.wait_gone(window)
        window, _ = pages.wait(cancelled, f"cancel-{cancelled}")
        ui.press(window, CANCEL)
        if notice:
            box = ui.message_box(process, caption=messages[65], timeout=20)
            assert box.text == messages[98]
            ui.press(box, IDOK)
        assert process.wait(60) == 1, (answered, cancelled)
        assert not folder.exists()
        assert not is_registered(wine, "Wizard Test")


def test_cancel_during_the_files_takes_them_back(wine, ui, build_paths, engine, tmp_path):
    """A cancel confirmed while files are written leaves nothing: the files and folders
    that run brought go again, and nothing is registered."""
    files = tmp_path / "files"
    files.mkdir()
    for i in range(3000):
        (files / f"file{i:04}.txt").write_text(f"file {i}\n")
    project = PROJECT.replace("{style}", "plain").replace('password = "s3cret"\n', "")
    project = project.replace('product_flags_low = ["uninstall_support", "directory_page", "keep_log"]',
                              'product_flags_low = ["uninstall_support"]')
    project = project.replace('product_flags_high = ["start_menu_page", "progress_page", "offer_view_log"]',
                              'product_flags_high = ["progress_page", "no_greeting"]')
    project = project.replace("[languages]\nnames = [\"English\", \"Deutsch\"]", "")
    project = project.replace("[messages.Deutsch]\nlanguage_prompt = \"Sprache:\"", "")
    project = project.replace("[texts]\nlicense = [{ text = \"The licence: use it well.\" }, "
                              "{ text = \"{long_license}\" }]\nreadme = [{ text = \"Read me first.\" }]", "")
    (tmp_path / "project.toml").write_text(project)
    setup = build_project(build_paths.build_dir, engine, tmp_path / "project.toml", tmp_path / "setup.exe")
    messages = shown_messages(build_paths, setup)
    folder = build_paths.prefix / "drive_c" / "Program Files (x86)" / "Wizard Test"

    process = wine.start(setup, timeout=300)
    pages = Pages(ui, process, build_paths.screenshots / "pages", "progress")
    window, controls = pages.wait(PROGRESS_BAR, "progress", timeout=30)
    assert controls[CANCEL].enabled
    # Cancel once the first files are there; the question holds the file phase.
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline and len(list(folder.glob("file*.txt"))) < 5:
        time.sleep(0.05)
    ui.press(window, CANCEL)
    question = ui.message_box(process, caption=messages[20], timeout=20)
    assert question.text == messages[28]
    ui.press(question, IDYES)
    notice = ui.message_box(process, caption=messages[65], timeout=60)
    assert notice.text == messages[98]
    ui.press(notice, IDOK)
    assert process.wait(60) == 1
    assert not folder.exists(), sorted(str(p) for p in folder.rglob("*"))
    assert not is_registered(wine, "Wizard Test")
