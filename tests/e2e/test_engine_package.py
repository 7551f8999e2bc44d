"""A setup.exe made by halvard-build under the real engine: every check of the package
passes, and each kind of damage a download can bring ends in its error code, with
exit code 1 and nothing changed on the machine."""

from __future__ import annotations

import struct

import pytest

from harness import BuildPaths
from package_tools import build_example, package_messages, patched, setup_section
from test_engine_start import NO_PACKAGE, files_under

CORRUPT = ("This installation program is corrupt.  This is usually caused by a faulty download, "
           "but it can also be caused by a virus on your computer.  The installation cannot "
           "proceed.\r\n\r\nDelete the corrupted installer (to prevent caching), then "
           "re-download it.  If the problem persists, check your system for viruses.\r\n\r\n"
           "Error code: %d")


@pytest.fixture(scope="module")
def setup_exe(build_paths, engine, tmp_path_factory):
    return build_example(build_paths.build_dir, engine, tmp_path_factory.mktemp("package"))


@pytest.fixture
def drive_c(build_paths):
    return build_paths.prefix / "drive_c"


def word(value: int) -> bytes:
    return struct.pack("<I", value & 0xFFFFFFFF)


def test_a_built_package_passes_every_check(wine, setup_exe):
    # Until the installation sequence joins, a package that passes ends through the
    # orderly exit: no window, exit code 1.
    assert wine.run(setup_exe, "/a", timeout=60) == 1


@pytest.mark.parametrize("version, passes", [(2500, True), (2611, True), (2612, False)])
def test_engine_version_rule(wine, ui, setup_exe, tmp_path, version, passes):
    section = setup_section(setup_exe.read_bytes())
    exe = patched(setup_exe, tmp_path / "setup.exe", {section.raw_offset + 4: word(version)})
    if passes:
        assert wine.run(exe, "/a", timeout=60) == 1
        return
    answered = ui.answer_message_box(wine.start(exe, "/a"))
    assert answered.text == ("The installer version (26.1) does not match the version of Halvard "
                             "Setup (26.1).  Close all applications and reinstall Halvard Setup.")
    assert answered.exit_code == 1


def _damage(data: bytes, where: str) -> dict[int, bytes]:
    section = setup_section(data)
    start = section.raw_offset
    stream_size = struct.unpack_from("<i", data, start + 8)[0]
    file_count = struct.unpack_from("<i", data, start + 24)[0]
    stream = start + 36 + 4 * file_count
    return {
        "magic": {start: b"\x00"},
        "stream size": {start + 8: word(0)},
        "file count": {start + 24: word(-1)},
        "file data size": {start + 36: word(0x40000001)},
        "stored stream head": {stream: bytes([data[stream] ^ 0x01])},
        "end of the headers": {section.size_of_headers - 1: b"\x5a"},
        "section name": {section.entry + 5: b"q"},
        "stream size past the section": {start + 8: word(stream_size + section.raw_size)},
    }[where]


@pytest.mark.parametrize("where, code", [
    ("magic", 20),
    ("stream size", 22),
    ("stream size past the section", 22),
    ("file count", 27),
    ("file data size", 28),
    ("stored stream head", 47),
    ("section name", None),       # no ".setup" section any more
])
def test_damage_ends_in_its_error_and_changes_nothing(wine, ui, setup_exe, drive_c, tmp_path, where, code):
    # Found before the message table is read: the built-in text, captioned "Error".
    data = setup_exe.read_bytes()
    exe = patched(setup_exe, tmp_path / "setup.exe", _damage(data, where))
    before = files_under(drive_c)
    answered = ui.answer_message_box(wine.start(exe, "/a"), timeout=30)
    assert answered.caption == "Error"
    assert answered.text == (NO_PACKAGE if code is None else CORRUPT % code)
    assert answered.exit_code == 1
    assert files_under(drive_c) == before


def test_damage_found_after_the_stream_speaks_the_packages_language(
        wine, ui, build_paths, setup_exe, drive_c, tmp_path):
    # EngineChecksum covers the headers: a byte changed at their end is found once the
    # settings are read, so the package's own texts (messages 13 and 21) are shown.
    messages = package_messages(build_paths.build_dir, setup_exe)
    exe = patched(setup_exe, tmp_path / "setup.exe", _damage(setup_exe.read_bytes(), "end of the headers"))
    before = files_under(drive_c)
    answered = ui.answer_message_box(wine.start(exe, "/a"), timeout=30)
    assert answered.caption == messages[21].replace("<product>", "Hello")
    assert "<product>" in messages[21]
    assert answered.text == messages[13].replace("%d", "40")
    assert answered.exit_code == 1
    assert files_under(drive_c) == before


def test_both_engines_carry_the_same_package(build_paths, tmp_path):
    """The package does not depend on the engine, but for the checksum of the engine's
    own bytes in the header."""
    engines = {arch: BuildPaths(build_paths.build_dir, arch).engine for arch in ("x86", "x64")}
    missing = [str(path) for path in engines.values() if not path.is_file()]
    if missing:
        pytest.skip("not built: " + ", ".join(missing))
    sections = {}
    for arch, engine in engines.items():
        data = build_example(build_paths.build_dir, engine, tmp_path, f"setup-{arch}.exe").read_bytes()
        section = setup_section(data)
        sections[arch] = bytearray(data[section.raw_offset:section.raw_offset + section.raw_size])
    engine_checksum = slice(16, 20)
    assert sections["x86"][engine_checksum] != sections["x64"][engine_checksum]
    for section in sections.values():
        section[engine_checksum] = bytes(4)
    assert sections["x86"] == sections["x64"]
