"""The whole uninstall registration as setup.exe writes it: every value the package
sets, in its registry type and format, and no other. A second version installed over
the first removes the values that no longer apply."""

from __future__ import annotations

import hashlib
import re
import shutil
import struct
from pathlib import Path

from harness import windows_path
from package_tools import build_project

UNINSTALL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
KEY = UNINSTALL + r"\Registry Table Key"
OWN_KEY = r"HKCU\Software\Halvard Tests"
FOLDER = r"C:\Registry Table"
EXTRA_SPACE = 3 * 1024 * 1024
# A multiple of every cluster size, so that rounding to the drive's clusters adds nothing.
PAYLOAD_SIZE = 64 * 1024

PROJECT = r"""
[product]
name = "Registry Table"
publisher = "Table Makers"
version = "{version}"
install_dir = "Registry Table"
start_menu = 'Table Makers\Registry Table'
shared_path = "Registry Table Shared"
registry_key = '\HKCU\Software\Halvard Tests\Registry Table'
uninstall_key = "Registry Table Key"
install_dir_value = '\HKCU\Software\Halvard Tests\Registry Table\Path'
shortcut_mode = "all_users"

[options]
product_flags_low = ["uninstall_support", "ask_font_removal", "compressed_blocks", "keep_log",
                     "remove_install_dir"{low_extra}]
# Bit 31 of the high word makes the 64-bit number negative.
product_flags_high = ["verify_checksums", "progress_page", 0x80000000]

[uninstall]
subdir = "uninst"
notify_url = "https://example.invalid/uninstalled"

[batch]
uninstall1 = "echo first"
uninstall2 = "echo second"

[window]
title = "Registry Table Title"
title_size = 1.5
title_color = "#102030"
title_shadow = 2
title_position = 1
title_font = "Tahoma"
taskbar_text = "Table Taskbar"
top_color = "#000080"
bottom_color = "{bottom_color}"
copyright_pos = 3
copyright_text = "(c) Table Makers"
copyright_font = "Arial"
copyright_size = 0.75
copyright_color = "#0A0B0C"
{window_extra}

[wizard]
extra_space = {extra_space}

[[registration_values]]
name = "Comments"
value = "Installed in %InstallDir%"

[[registration_values]]
name = "HelpLink"
type = "expand_string"
value = "https://example.invalid/help"

[[registration_values]]
name = "NoModify"
type = "dword"
value = "1"

[[registration_values]]
name = '\HKCU\Software\Halvard Tests\Registry Table\Mode'
type = "dword"
value = "-2"

[[files]]
source = "payload.bin"

[build]
compression = "fast"
"""

LOW = 0x4 | 0x10 | 0x20 | 0x40 | 0x400
HIGH = 0x1 | 0x80000 | 0x80000000
BITMAP_LOW = 0x8000


def tiny_bitmap() -> bytes:
    """A 1x1 bitmap file of 8 bits with eight colours, so that index 7 is transparent."""
    palette = b"".join(bytes((0, 0, 32 * i, 0)) for i in range(8))
    pixels = b"\x07\x00\x00\x00"
    info = struct.pack("<IiiHHIIiiII", 40, 1, 1, 1, 8, 0, len(pixels), 2835, 2835, 8, 0)
    header = struct.pack("<IHHI", 14 + len(info) + len(palette) + len(pixels), 0, 0, 14 + len(info) + len(palette))
    return b"BM" + header + info + palette + pixels


def build(build_paths, engine, folder: Path, **fields) -> Path:
    folder.mkdir(parents=True, exist_ok=True)
    (folder / "payload.bin").write_bytes(bytes(range(256)) * (PAYLOAD_SIZE // 256))
    (folder / "picture.bmp").write_bytes(tiny_bitmap())
    (folder / "project.toml").write_text(PROJECT.format(extra_space=EXTRA_SPACE, **fields))
    setup = folder / "setup.exe"
    build_project(build_paths.build_dir, engine, folder / "project.toml", setup)
    return setup


def key_values(wine, key: str) -> dict[str, tuple[str, str]]:
    """name -> (type, data) of the key's values, as `reg query` prints them."""
    output = wine.tool(["wine", "reg", "query", key]).stdout
    values = {}
    for line in output.splitlines():
        match = re.match(r"^    (.+?)    (REG_\w+)    ?(.*)$", line)
        if match:
            values[match.group(1)] = (match.group(2), match.group(3).rstrip())
    return values


def dword(number: int) -> tuple[str, str]:
    return ("REG_DWORD", hex(number & 0xFFFFFFFF))


def text(value: str) -> tuple[str, str]:
    return ("REG_SZ", value)


def signed_flags(low: int, high: int) -> str:
    number = high << 32 | low
    return str(number - (1 << 64) if number >= 1 << 63 else number)


def expected_values(setup: Path, uninstaller: Path, shared_path: str, version: str) -> dict[str, tuple[str, str]]:
    uninstaller_name = FOLDER + r"\uninst\Uninstall.exe"
    return {
        "UninstallString": text(f'"{uninstaller_name}" /u:"Registry Table Key"'),
        "QuietUninstallString": text(f'"{uninstaller_name}" /a /u:"Registry Table Key"'),
        "DisplayName": text("Registry Table"),
        "InstallSource": text(windows_path(setup)),
        "DisplayVersion": text(version),
        "Publisher": text("Table Makers"),
        "ProductRegistry": text(r"\HKCU\Software\Halvard Tests\Registry Table"),
        "ProductStartMenu": text(r"Table Makers\Registry Table"),
        "SharedPath": text(shared_path),
        "ProductFlags": text(signed_flags(LOW, HIGH)),
        "UninstallBatch1": text("echo first"),
        "UninstallBatch2": text("echo second"),
        "UninstallSubdir": text("uninst"),
        "ShortcutMode": dword(1),
        "NotifyURL": text("https://example.invalid/uninstalled"),
        # The uninstaller (the engine copy), the extra space and the payload, in KiB.
        "EstimatedSize": dword((uninstaller.stat().st_size + EXTRA_SPACE + PAYLOAD_SIZE) // 1024),
        "DisplayTitle": text("Registry Table Title"),
        "TitleColor": dword(0x302010),
        "TitleSize": text("1.5"),
        "TopColor": dword(0x800000),
        "MonoColor": dword(1),
        "TitleShadow": dword(2),
        "TitlePosition": dword(1),
        "TitleFont": text("Tahoma"),
        "TaskbarText": text("Table Taskbar"),
        "CopyrightText": text("(c) Table Makers"),
        "CopyrightFont": text("Arial"),
        "CopyrightSize": text("0.75"),
        "CopyrightColor": text("0A0B0C"),
        "CopyrightPos": dword(3),
        "Comments": text(r"Installed in C:\Registry Table"),
        "HelpLink": ("REG_EXPAND_SZ", "https://example.invalid/help"),
        "NoModify": dword(1),
        "InstallLocation": text(FOLDER),
    }


def data_digest(folder: Path) -> str:
    """The digest the registration keeps of the Uninstall.DAT it belongs to."""
    return hashlib.sha256((folder / "uninst" / "Uninstall.DAT").read_bytes()).hexdigest()


def test_registration_table(wine, build_paths, engine, tmp_path):
    first = build(build_paths, engine, tmp_path / "first", version="5.10.2", low_extra="",
                  bottom_color="#000080", window_extra="")
    second = build(build_paths, engine, tmp_path / "second", version="5", low_extra=', "keep_background_bitmap"',
                   bottom_color="#804020",
                   window_extra='bitmap = "picture.bmp"\nbitmap_size = 40\nbitmap_tpi = 7\nstretch_mode = 2')
    drive_c = build_paths.prefix / "drive_c"
    folder = drive_c / FOLDER[3:]
    uninstaller = folder / "uninst" / "Uninstall.exe"
    shared_folder = None
    shutil.rmtree(folder, ignore_errors=True)
    try:
        assert wine.run(first, f'/a /d:"{FOLDER}"', timeout=120) == 1
        values = key_values(wine, KEY)
        date = values.pop("InstallDate", None)
        assert values.pop("UninstallDataDigest") == text(data_digest(folder))
        assert date and re.fullmatch(r"\d{1,2}/\d{1,2}/\d\d \d{1,2}:\d\d:\d\d[ap]", date[1]), date
        shared = values.get("SharedPath", ("", ""))[1]
        # The shared folder lies in the system's common files folder.
        assert re.fullmatch(r"C:\\Program Files( \(x86\))?\\Common Files\\Registry Table Shared", shared), shared
        shared_folder = drive_c / shared[3:].replace("\\", "/")
        expected = expected_values(first, uninstaller, shared, "5.10.2")
        expected.update({"VersionMajor": dword(5), "VersionMinor": dword(10)})
        assert values == expected

        own = key_values(wine, OWN_KEY + r"\Registry Table")
        assert own == {"Mode": dword(-2), "Path": text(FOLDER)}

        # "5" has no minor number: neither number stays. Different gradient colours
        # and a kept bitmap bring their values.
        assert wine.run(second, f'/a /d:"{FOLDER}"', timeout=120) == 1
        values = key_values(wine, KEY)
        del values["InstallDate"]
        assert values.pop("UninstallDataDigest") == text(data_digest(folder))
        expected = expected_values(second, uninstaller, shared, "5")
        expected.update({"ProductFlags": text(signed_flags(LOW | BITMAP_LOW, HIGH)),
                         "BottomColor": dword(0x204080), "MonoColor": dword(0),
                         "BitmapSize": dword(40), "BitmapTPI": dword(7), "StretchMode": dword(2)})
        assert values == expected
        # The picture goes with the uninstaller, as the .bmp file it was.
        assert (folder / "uninst" / "Installer Background.BMP").read_bytes() == tiny_bitmap()
    finally:
        wine.tool(["wine", "reg", "delete", KEY, "/f"], check=False)
        wine.tool(["wine", "reg", "delete", OWN_KEY, "/f"], check=False)
        shutil.rmtree(folder, ignore_errors=True)
        if shared_folder:
            shutil.rmtree(shared_folder, ignore_errors=True)
