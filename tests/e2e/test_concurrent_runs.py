"""Runs of the same product at the same time: a second installer meets the first and
stops before it reads or writes anything, with or without the package's single-instance
guard; an installer and the product's uninstaller never work on its records together.
Each run that stopped leaves the other's files and registration as they were."""

from __future__ import annotations

import shutil

import pytest

from harness import IDOK, IDYES
from package_tools import build_project, package_messages
from registration_tools import is_registered, registered, run_recorded, start_recorded, uninstall_key

PRODUCT = "Concurrent Runs"
DIALOG = "#32770"

PROJECT = """
[product]
name = "Concurrent Runs"
version = "1.0"
install_dir = "Concurrent Runs"

[options]
product_flags_low = ["uninstall_support"{low}]
product_flags_high = ["errors_in_silent_mode"]
setup_options = ["uninstaller_without_package"]

[[files]]
source = "payload.txt"
"""


@pytest.fixture
def product(wine, build_paths):
    folder = build_paths.prefix / "drive_c" / PRODUCT
    yield folder
    wine.tool(["wine", "reg", "delete", uninstall_key(PRODUCT), "/f"], check=False)
    shutil.rmtree(folder, ignore_errors=True)


def build(build_paths, engine, tmp_path, low=""):
    (tmp_path / "payload.txt").write_text("payload\n")
    (tmp_path / "project.toml").write_text(PROJECT.replace("{low}", low))
    setup = build_project(build_paths.build_dir, engine, tmp_path / "project.toml", tmp_path / "setup.exe")
    messages = package_messages(build_paths.build_dir, setup)
    return setup, {n: text.replace("<product>", PRODUCT) for n, text in messages.items()}


def records(folder):
    """What a stopped run must not have touched: every file of the product, by content."""
    return {p.relative_to(folder): p.read_bytes() for p in folder.rglob("*") if p.is_file()}


@pytest.mark.parametrize("low", ["", ', "single_instance"'], ids=["plain", "single-instance guard"])
def test_second_installer_stops_while_the_first_runs(wine, ui, build_paths, engine, tmp_path, product, low):
    setup, messages = build(build_paths, engine, tmp_path, low)
    first = wine.start(setup, timeout=300)
    greeting = ui.wait_window(cls=DIALOG, pid=first, timeout=30)  # the first waits at its greeting

    second = wine.start(setup, f'/a /d:"C:\\{PRODUCT}"', timeout=120)
    answered = ui.answer_message_box(second, IDOK, timeout=30)
    assert answered.text == messages[91]
    assert answered.exit_code == 1
    assert not product.exists()

    ui.close(greeting)
    first.wait(60)
    # With the first gone, the same installer runs.
    assert wine.run(setup, f'/a /d:"C:\\{PRODUCT}"', timeout=120) == 1
    assert (product / "payload.txt").read_text() == "payload\n"


def test_installer_stops_while_the_uninstaller_asks(wine, ui, build_paths, engine, tmp_path, product):
    setup, messages = build(build_paths, engine, tmp_path)
    assert wine.run(setup, f'/a /d:"C:\\{PRODUCT}"', timeout=120) == 1
    before = records(product)

    remover = start_recorded(wine, PRODUCT, "UninstallString")
    question = ui.message_box(remover, caption=messages[55], timeout=30)
    installer = wine.start(setup, f'/a /d:"C:\\{PRODUCT}"', timeout=120)
    answered = ui.answer_message_box(installer, IDOK, timeout=30)
    assert answered.text == messages[91]
    assert answered.exit_code == 1
    assert records(product) == before

    # The removal goes on undisturbed and leaves nothing.
    ui.press(question, IDYES)
    done = ui.message_box(remover, caption=messages[15], timeout=60)
    ui.press(done, IDOK)
    assert remover.wait(60) == 0
    assert not is_registered(wine, PRODUCT)


def test_uninstaller_stops_while_the_installer_asks(wine, ui, build_paths, engine, tmp_path, product):
    setup, messages = build(build_paths, engine, tmp_path)
    assert wine.run(setup, f'/a /d:"C:\\{PRODUCT}"', timeout=120) == 1
    before = records(product)
    location = registered(wine, PRODUCT, "InstallLocation")

    installer = wine.start(setup, timeout=300)
    greeting = ui.wait_window(cls=DIALOG, pid=installer, timeout=30)
    remover = start_recorded(wine, PRODUCT)  # the quiet command: it waits a little first
    answered = ui.answer_message_box(remover, IDOK, timeout=30)
    assert answered.text == (f"{PRODUCT} is being installed or removed by another program.\r\n\r\n"
                             "Please try again when it has finished.")
    assert records(product) == before
    assert registered(wine, PRODUCT, "InstallLocation") == location

    ui.close(greeting)
    installer.wait(60)
    assert run_recorded(wine, PRODUCT) == 0
    assert not is_registered(wine, PRODUCT)
