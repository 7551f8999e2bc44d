"""A second installation of a product: the question about the earlier one with its
version message, the upgrade and reinstall batches that the answer selects, the earlier
folder reused without the directory page, the must-uninstall rule through its batch, the
minimum-version warning, and a default folder given by the registry."""

from __future__ import annotations

import shutil
import time
from pathlib import Path

from harness import IDCANCEL, IDNO, IDOK, IDYES
from package_tools import build_project, package_messages
from registration_tools import is_registered, registered, run_recorded, uninstall_key

PRODUCT = "Earlier Demo"
MUST_UNINSTALL_PAGE, PAGE_TEXT, PAGE_OK, PAGE_CANCEL = "#32770", 1009, 1001, 1003

PROJECT = r"""
[product]
name = "Earlier Demo"
version = "{version}"
install_dir = "Earlier Demo"
{extra}

[options]
product_flags_low = [{low}]
product_flags_high = ["compare_versions", "no_greeting", {high}]
setup_options = ["reinstall_batch_same_version_only"]

[batch]
upgrade = 'echo upgrade from %OldVersion%>> "{markers}\batches.txt"'
reinstall = 'echo reinstall of %OldVersion%>> "{markers}\batches.txt"'

[[files]]
source = "files/**"
base = "files"
"""


def build(build_paths, engine, work: Path, version: str, *, low: tuple[str, ...] = (), high: tuple[str, ...] = (),
          extra: str = "", output: Path | None = None) -> Path:
    work = work / version.replace(".", "_")
    files = work / "files"
    files.mkdir(parents=True, exist_ok=True)
    (files / "program.txt").write_text(f"program {version}\n")
    markers = build_paths.prefix / "drive_c" / "Earlier Markers"
    markers.mkdir(parents=True, exist_ok=True)
    names = ", ".join(f'"{name}"' for name in ("uninstall_support", "directory_page", "keep_log", *low))
    (work / "project.toml").write_text(PROJECT.format(
        version=version, low=names, high=", ".join(f'"{name}"' for name in high), extra=extra,
        markers=r"C:\Earlier Markers"))
    return build_project(build_paths.build_dir, engine, work / "project.toml", output or work / "setup.exe")


def shown(build_paths, setup: Path) -> dict[int, str]:
    return {n: text.replace("<product>", PRODUCT) for n, text in package_messages(build_paths.build_dir, setup).items()}


def batches_seen(build_paths) -> str:
    path = build_paths.prefix / "drive_c" / "Earlier Markers" / "batches.txt"
    return path.read_text().replace("\r\n", "\n") if path.exists() else ""


def clear_batches(build_paths) -> None:
    (build_paths.prefix / "drive_c" / "Earlier Markers" / "batches.txt").unlink(missing_ok=True)


def install_silently(wine, setup: Path, args: str = "") -> None:
    process = wine.start(setup, ("/a " + args).strip(), timeout=120)
    assert process.wait() == 1, process.stderr


def remove_product(wine) -> None:
    if is_registered(wine, PRODUCT):
        run_recorded(wine, PRODUCT)
    wine.tool(["wine", "reg", "delete", uninstall_key(PRODUCT), "/f"], check=False)


def test_upgrade_reinstall_and_downgrade_are_asked_and_run_their_batches(wine, ui, build_paths, engine, tmp_path):
    folder = build_paths.prefix / "drive_c" / "Earlier Chosen"
    first = build(build_paths, engine, tmp_path, "2.0")
    newer = build(build_paths, engine, tmp_path, "2.1")
    messages = shown(build_paths, newer)
    remove_product(wine)
    clear_batches(build_paths)
    try:
        install_silently(wine, first, r'/d:"C:\Earlier Chosen"')
        assert batches_seen(build_paths) == ""
        # The Start-menu folder the earlier installation recorded is kept.
        wine.tool(["wine", "reg", "add", uninstall_key(PRODUCT), "/v", "ProductStartMenu", "/d", "Kept Menu", "/f"])

        # (package, message, batch lines it adds, version installed afterwards)
        steps = [(newer, 5, "upgrade from 2.0\n", "2.1"),
                 (newer, 4, "reinstall of 2.1\n", "2.1"),
                 (first, 6, "", "2.0")]
        for setup, message, batch_lines, version in steps:
            seen_before = batches_seen(build_paths)
            process = wine.start(setup, timeout=180)
            question = ui.message_box(process, caption=messages[2], timeout=30)
            assert question.text == f"{messages[message]}\r\nC:\\Earlier Chosen\r\n\r\n{messages[7]}"
            ui.press(question, IDYES)
            # No directory page: the next window is the completion notice.
            done = ui.message_box(process, caption=messages[43], timeout=60)
            assert done.text == messages[42]
            ui.press(done, IDOK)
            assert process.wait(60) == 1
            assert (folder / "program.txt").read_text() == f"program {version}\n", message
            assert registered(wine, PRODUCT, "DisplayVersion") == version
            assert batches_seen(build_paths) == seen_before + batch_lines, message
            assert registered(wine, PRODUCT, "ProductStartMenu") == "Kept Menu"
            log = (folder / "Uninstall" / "Install.LOG").read_bytes().decode("cp1252")
            assert "Install type: Reinstall" in log and "Overwriting version: " in log

        # No: the cancelled notice, and nothing changes.
        process = wine.start(newer, timeout=180)
        question = ui.message_box(process, caption=messages[2], timeout=30)
        ui.press(question, IDNO)
        notice = ui.message_box(process, caption=messages[65], timeout=30)
        assert notice.text == messages[98]
        ui.press(notice, IDOK)
        assert process.wait(60) == 1
        assert (folder / "program.txt").read_text() == "program 2.0\n"
        assert registered(wine, PRODUCT, "DisplayVersion") == "2.0"

        # A silent run over the earlier version asks nothing and counts as no upgrade: the
        # upgrade batch stays out, and the reinstall batch too (same version only).
        seen_before = batches_seen(build_paths)
        install_silently(wine, newer)
        assert (folder / "program.txt").read_text() == "program 2.1\n"
        assert batches_seen(build_paths) == seen_before
    finally:
        remove_product(wine)
    deadline = time.monotonic() + 30  # the uninstaller's batch removes the folders after it
    while folder.exists() and time.monotonic() < deadline:
        time.sleep(0.5)
    assert not folder.exists()


def test_must_uninstall_runs_the_earlier_uninstaller_then_the_installer(wine, ui, build_paths, engine, tmp_path):
    """From a download folder whose name the command interpreter would act on, into an
    earlier folder named the same way."""
    earlier_folder = r"C:\Tom & Jerry (2) 100% ^x"
    host_folder = build_paths.prefix / "drive_c" / "Tom & Jerry (2) 100% ^x"
    downloads = tmp_path / "Downloads" / "Tom & Jerry (2) 100% ^x"
    downloads.mkdir(parents=True)
    first = build(build_paths, engine, tmp_path, "1.0")
    newer = build(build_paths, engine, tmp_path, "2.0", low=("must_uninstall_first",),
                  extra='must_uninstall_below = "1.5"', output=downloads / "setup.exe")
    messages = shown(build_paths, newer)
    remove_product(wine)
    try:
        install_silently(wine, first, f'/d:"{earlier_folder}"')
        (host_folder / "user-notes.txt").write_text("kept\n")  # not the product's: must stay

        # Cancel on the page: nothing happens.
        process = wine.start(newer, "/a", timeout=180)
        page = ui.wait_window(caption=messages[21], cls=MUST_UNINSTALL_PAGE, pid=process, timeout=30)
        ui.press(page, PAGE_CANCEL)
        assert process.wait(60) == 1
        assert registered(wine, PRODUCT, "DisplayVersion") == "1.0"

        # The page is shown also in a silent run; its Uninstall button starts the batch.
        process = wine.start(newer, "/a", timeout=180)
        page = ui.wait_window(caption=messages[21], cls=MUST_UNINSTALL_PAGE, pid=process, timeout=30)
        controls = {c.id: c for c in ui.controls(page)}
        assert controls[PAGE_TEXT].text == messages[9]
        assert controls[PAGE_OK].text == messages[104]
        ui.press(page, PAGE_OK)
        assert process.wait(60) == 1

        # The batch removes 1.0, then runs this installer again with "/a", which now
        # finds nothing earlier and installs 2.0 into the default folder.
        default_folder = build_paths.prefix / "drive_c" / "Program Files (x86)" / PRODUCT
        deadline = time.monotonic() + 120
        while time.monotonic() < deadline and registered(wine, PRODUCT, "DisplayVersion") != "2.0":
            time.sleep(1)
        assert registered(wine, PRODUCT, "DisplayVersion") == "2.0"
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline and not (default_folder / "program.txt").exists():
            time.sleep(0.5)
        assert (default_folder / "program.txt").read_text() == "program 2.0\n"
        assert not (host_folder / "program.txt").exists()
        assert (host_folder / "user-notes.txt").read_text() == "kept\n"
        temp = build_paths.prefix / "drive_c" / "users"
        assert not list(temp.rglob("utrri.bat")), "the batch did not delete itself"

        # At or above the version that must go first: an ordinary installation over it.
        at_least = build(build_paths, engine, tmp_path, "2.5", low=("must_uninstall_first",),
                         extra='must_uninstall_below = "2.0"')
        install_silently(wine, at_least)
        assert (default_folder / "program.txt").read_text() == "program 2.5\n"
        assert registered(wine, PRODUCT, "DisplayVersion") == "2.5"
    finally:
        remove_product(wine)
        shutil.rmtree(host_folder, ignore_errors=True)


def test_below_the_minimum_upgradable_version_cancel_installs_nothing(wine, ui, build_paths, engine, tmp_path):
    folder = build_paths.prefix / "drive_c" / "Program Files (x86)" / PRODUCT
    first = build(build_paths, engine, tmp_path, "1.0")
    newer = build(build_paths, engine, tmp_path, "3.0", high=("minimum_upgrade_warning",),
                  extra='minimum_upgrade_version = "1.5"')
    messages = shown(build_paths, newer)
    remove_product(wine)
    clear_batches(build_paths)
    try:
        install_silently(wine, first)
        process = wine.start(newer, timeout=180)
        question = ui.message_box(process, caption=messages[2], timeout=30)
        assert question.text.startswith(messages[5] + "\r\n")
        ui.press(question, IDYES)
        warning = ui.message_box(process, caption=messages[20], timeout=30)
        assert warning.text == messages[72]
        ui.press(warning, IDCANCEL)
        assert process.wait(60) == 1
        assert (folder / "program.txt").read_text() == "program 1.0\n"
        assert registered(wine, PRODUCT, "DisplayVersion") == "1.0"
        assert batches_seen(build_paths) == ""
    finally:
        remove_product(wine)


REGISTRY_PROJECT = r"""
[product]
name = "Registry Folder"
version = "1.0"
install_dir = 'HKCU\Software\Halvard Tests\Registry Folder\Target'

[options]
product_flags_low = ["uninstall_support", "directory_page"]
product_flags_high = ["no_greeting"]

[[files]]
source = "program.txt"
"""


def test_a_default_folder_from_the_registry(wine, ui, build_paths, engine, tmp_path):
    key = r"HKCU\Software\Halvard Tests\Registry Folder"
    target = build_paths.prefix / "drive_c" / "Registry Given"
    target.mkdir(exist_ok=True)
    (tmp_path / "program.txt").write_text("program\n")
    (tmp_path / "project.toml").write_text(REGISTRY_PROJECT)
    setup = build_project(build_paths.build_dir, engine, tmp_path / "project.toml", tmp_path / "setup.exe")
    messages = {n: t.replace("<product>", "Registry Folder")
                for n, t in package_messages(build_paths.build_dir, setup).items()}
    source = r"HKCU\Software\Halvard Tests\Registry Folder\Target"
    try:
        # Missing: the run ends before anything is installed, naming the value.
        wine.tool(["wine", "reg", "delete", key, "/f"], check=False)
        answered = ui.answer_message_box(wine.start(setup, timeout=120), IDOK, caption=messages[21], timeout=30)
        assert answered.text == f'Failed to obtain installation directory from "{source}"'
        assert answered.exit_code == 1
        # Naming a folder that does not exist.
        wine.tool(["wine", "reg", "add", key, "/v", "Target", "/d", r"C:\Registry Missing", "/f"])
        answered = ui.answer_message_box(wine.start(setup, timeout=120), IDOK, caption=messages[21], timeout=30)
        assert answered.text == f'Installation directory "C:\\Registry Missing" obtained from "{source}" does not exist.'
        assert not is_registered(wine, "Registry Folder")

        # Present: installed there, and no directory page is shown.
        wine.tool(["wine", "reg", "add", key, "/v", "Target", "/d", r"C:\Registry Given", "/f"])
        process = wine.start(setup, timeout=120)
        done = ui.message_box(process, caption=messages[43], timeout=60)
        ui.press(done, IDOK)
        assert process.wait(60) == 1
        assert (target / "program.txt").read_text() == "program\n"
        assert registered(wine, "Registry Folder", "InstallLocation") == r"C:\Registry Given"
    finally:
        if is_registered(wine, "Registry Folder"):
            run_recorded(wine, "Registry Folder")
        wine.tool(["wine", "reg", "delete", key, "/f"], check=False)
        shutil.rmtree(target, ignore_errors=True)


def test_a_recorded_folder_that_cannot_take_the_product_is_not_used(wine, build_paths, engine, tmp_path):
    """A registration that other programs could have changed: a drive root, the Windows
    folder or a path with ".." is not where the new files go."""
    setup = build(build_paths, engine, tmp_path, "2.0")
    default_folder = build_paths.prefix / "drive_c" / "Program Files (x86)" / PRODUCT
    remove_product(wine)
    try:
        for location in ["C:\\", "C:\\windows", "C:\\Program Files (x86)\\..\\windows"]:
            wine.tool(["wine", "reg", "add", uninstall_key(PRODUCT), "/v", "InstallLocation", "/d", location, "/f"])
            wine.tool(["wine", "reg", "add", uninstall_key(PRODUCT), "/v", "DisplayVersion", "/d", "1.0", "/f"])
            install_silently(wine, setup)
            assert (default_folder / "program.txt").read_text() == "program 2.0\n", location
            for folder in ("", "windows"):
                assert not (build_paths.prefix / "drive_c" / folder / "program.txt").exists(), location
            assert registered(wine, PRODUCT, "InstallLocation").lower().endswith("\\program files (x86)\\earlier demo")
            log = (default_folder / "Uninstall" / "Install.LOG").read_bytes().decode("cp1252")
            assert "Install type: New" in log
            assert f"The earlier installation's folder \"{location}\" cannot take the installation" in log
            run_recorded(wine, PRODUCT)
            deadline = time.monotonic() + 30  # the uninstaller's batch removes the folder after it
            while default_folder.exists() and time.monotonic() < deadline:
                time.sleep(0.5)
    finally:
        remove_product(wine)
