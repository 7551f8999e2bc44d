"""What the uninstaller undoes beyond files: associations put back from their backups,
the registry script's values, and shared files whose counts only fall."""

from __future__ import annotations

import re
import subprocess

from package_tools import build_project
from registration_tools import is_registered, record_uninstall_data, run_recorded, uninstall_key

UNINSTALL_KEY = uninstall_key("Record Keeper")
SHARED_COUNTS = r"HKLM\Software\Microsoft\Windows\CurrentVersion\SharedDLLs"
SCRIPT_KEY = r"HKCU\Software\Halvard Tests\Script"

PROJECT = r"""
[product]
name = "Record Keeper"
version = "1.0"
install_dir = "Record Keeper"

[options]
product_flags_low = ["uninstall_support"]
setup_options = ["uninstaller_without_package"]

[registry]
script = '''
\HKCU\Software\Halvard Tests\Script,Removed,1,gone,0,0
\HKCU\Software\Halvard Tests\Script,Kept,1,stays,0,1
\HKCU\Software\Halvard Tests\Script
'''

[[files]]
source = "payload.txt"
"""

ASSOCIATIONS = "\r\n[Associations]\r\n.hvold~!~HalvardOldType~!~open\r\n.hvnew~!~HalvardNewType~!~open\r\n"
# Wine's firewall keeps no exceptions; these lines only show that removing them runs.
FIREWALL = "\r\n[Firewall]\r\n8080;Demo Port;3;0\r\nhelper.exe;Demo Helper;0;0\r\n"


def reg(wine, *args, check=True):
    return wine.tool(["wine", "reg", *args], check=check)


def default_value(wine, key: str) -> str | None:
    out = reg(wine, "query", key, "/ve", check=False)
    if out.returncode != 0:
        return None
    match = re.search(r"\(Default\)\s+REG_SZ\s+(.*)$", out.stdout, re.M)
    return match.group(1).strip() if match else None


def has_value(wine, key: str, name: str) -> bool:
    return reg(wine, "query", key, "/v", name, check=False).returncode == 0


def count(wine, path: str) -> int | None:
    out = reg(wine, "query", SHARED_COUNTS, "/v", path, check=False)
    if out.returncode != 0:
        return None
    return int(re.search(r"REG_DWORD\s+0x([0-9a-fA-F]+)", out.stdout).group(1), 16)


def test_uninstaller_restores_and_releases(wine, build_paths, engine, tmp_path):
    (tmp_path / "payload.txt").write_text("payload\n")
    (tmp_path / "project.toml").write_text(PROJECT)
    setup = tmp_path / "setup.exe"
    build_project(build_paths.build_dir, engine, tmp_path / "project.toml", setup)
    drive_c = build_paths.prefix / "drive_c"
    folder = drive_c / "Program Files (x86)" / "Record Keeper"
    shared = drive_c / "Halvard Shared"
    try:
        assert wine.run(setup, "/a", timeout=120) == 1

        # Association records and keys planted as the installation leaves them: one
        # extension had a class before (backed up), one is new (blank backups: there was
        # nothing before).
        with open(folder / "Uninstall" / "Uninstall.DAT", "ab") as data:
            data.write((ASSOCIATIONS + FIREWALL).encode())
        record_uninstall_data(wine, "Record Keeper", folder / "Uninstall" / "Uninstall.DAT")
        backup = "Record Keeper Backup"
        reg(wine, "add", r"HKCR\.hvold", "/ve", "/d", "HalvardOldType", "/f")
        reg(wine, "add", r"HKCR\.hvold", "/v", backup, "/d", "PreviousType", "/f")
        reg(wine, "add", r"HKCR\HalvardOldType\shell\open\command", "/ve", "/d", "new.exe %1", "/f")
        reg(wine, "add", r"HKCR\HalvardOldType\shell\open\command", "/v", backup, "/d", "old.exe %1", "/f")
        reg(wine, "add", r"HKCR\.hvnew", "/ve", "/d", "HalvardNewType", "/f")
        reg(wine, "add", r"HKCR\.hvnew", "/v", backup, "/d", "", "/f")
        reg(wine, "add", r"HKCR\HalvardNewType\shell\open\command", "/ve", "/d", "new.exe %1", "/f")
        reg(wine, "add", r"HKCR\HalvardNewType\shell\open\command", "/v", backup, "/d", "", "/f")
        # The registry script's values, as its phase will write them.
        reg(wine, "add", SCRIPT_KEY, "/v", "Removed", "/d", "gone", "/f")
        reg(wine, "add", SCRIPT_KEY, "/v", "Kept", "/d", "stays", "/f")
        # Shared files: one still used by two others, one marked never to delete, one
        # whose last user goes.
        shared.mkdir(exist_ok=True)
        files = {name: shared / name for name in ("three.dll", "blank.dll", "last.dll")}
        for path in files.values():
            path.write_bytes(b"MZ shared")
        windows = {name: "C:\\Halvard Shared\\" + name for name in files}
        for name, start in (("three.dll", 3), ("blank.dll", 1), ("last.dll", 1)):
            reg(wine, "add", SHARED_COUNTS, "/v", windows[name], "/t", "REG_DWORD", "/d", str(start), "/f")
        listed = f'"{windows["three.dll"]}";"{windows["blank.dll"]} ";"{windows["last.dll"]}"'
        reg(wine, "add", UNINSTALL_KEY, "/v", "SharedFiles", "/d", listed, "/f")

        assert run_recorded(wine, "Record Keeper") == 0
        assert not is_registered(wine, "Record Keeper")

        assert default_value(wine, r"HKCR\.hvold") == "PreviousType"
        assert not has_value(wine, r"HKCR\.hvold", backup)
        assert default_value(wine, r"HKCR\HalvardOldType\shell\open\command") == "old.exe %1"
        assert not has_value(wine, r"HKCR\HalvardOldType\shell\open\command", backup)
        assert reg(wine, "query", r"HKCR\.hvnew", check=False).returncode != 0
        assert reg(wine, "query", r"HKCR\HalvardNewType", check=False).returncode != 0

        assert not has_value(wine, SCRIPT_KEY, "Removed")
        assert has_value(wine, SCRIPT_KEY, "Kept")

        assert (count(wine, windows["three.dll"]), files["three.dll"].exists()) == (2, True)
        assert (count(wine, windows["blank.dll"]), files["blank.dll"].exists()) == (0, True)
        assert (count(wine, windows["last.dll"]), files["last.dll"].exists()) == (None, False)
    finally:
        for key in (UNINSTALL_KEY, r"HKCR\.hvold", r"HKCR\HalvardOldType", r"HKCR\.hvnew", r"HKCR\HalvardNewType",
                    r"HKCU\Software\Halvard Tests"):
            reg(wine, "delete", key, "/f", check=False)
        for name in ("three.dll", "blank.dll", "last.dll"):
            reg(wine, "delete", SHARED_COUNTS, "/v", "C:\\Halvard Shared\\" + name, "/f", check=False)
        subprocess.run(["rm", "-rf", str(folder), str(shared)], check=False)
