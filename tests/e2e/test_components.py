"""Real components installed and removed through a package: COM servers that register,
fail, crash or cannot register at all, a type library compiled from IDL, an MSI package
built with wixl, fonts, a driver INF, a control-panel applet, binding, and shared counts
between two products. Each is checked in its own terms (its keys, its files, the log),
and after removal the prefix is as it was, except what the package keeps."""

from __future__ import annotations

import os
import re
import shutil
import subprocess
import time
from pathlib import Path

import pytest

import snapshots
from package_tools import build_project
from registration_tools import is_registered, registered, run_recorded

COMPONENTS = Path(__file__).parent / "components"
DEMO_CLSID = "{6f1c2b30-1d2e-4f50-8a9b-0c1d2e3f4a01}"
FAILING_CLSID = "{6f1c2b30-1d2e-4f50-8a9b-0c1d2e3f4a02}"
LIBRARY_ID = "{5e4f3a10-7b2c-4d8e-9f01-2a3b4c5d6e7f}"
MSI_PRODUCT_CODE = "{6A0E51C1-3B6F-4C2B-9D6E-7F8091A2B3C4}"
FONTS_KEY = r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts"
CPLS_KEY = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Control Panel\Cpls"
SHARED_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\SharedDLLs"
DEJAVU = Path("/usr/share/fonts/truetype/dejavu")
# When the binding test's executable was last changed, as its source says.
SOURCE_TIME = 1577934245  # 2020-01-02 03:04:05 UTC


def reg(wine, *args: str, check: bool = False) -> subprocess.CompletedProcess:
    return wine.tool(["wine", "reg", *args], check=check)


def has_key(wine, key: str, view: str = "/reg:32") -> bool:
    return reg(wine, "query", key, view).returncode == 0


def value(wine, key: str, name: str, view: str = "/reg:32") -> str | None:
    done = reg(wine, "query", key, "/v", name, view)
    match = re.search(rf"^\s+{re.escape(name)}\s+REG_\w+\s*(.*)$", done.stdout, re.M)
    return match.group(1).rstrip() if done.returncode == 0 and match else None


def host_path(prefix: Path, windows: str) -> Path:
    assert windows[:3].upper() == "C:\\", windows
    return prefix / "drive_c" / Path(*windows[3:].split("\\"))


def read_log(prefix: Path, install_location: str) -> str:
    logs = list(host_path(prefix, install_location).rglob("Install.LOG"))
    assert len(logs) == 1, logs
    return logs[0].read_bytes().decode("cp1252")


def section(data: str, name: str) -> str:
    """The lines of an Uninstall.DAT section, joined by CR LF."""
    match = re.search(rf"^\[{name}\]\r\n(.*?)(?:\r\n)*(?=^\[|\Z)", data, re.M | re.S)
    return match.group(1) if match else ""


def wait_gone(path: Path, seconds: float = 30) -> None:
    deadline = time.monotonic() + seconds
    while path.exists() and time.monotonic() < deadline:
        time.sleep(0.5)


def own_view(build_paths) -> str:
    """The registry view of the servers, which have the engine's bitness here."""
    return "/reg:64" if build_paths.arch == "x64" else "/reg:32"


def bitness_flags(build_paths) -> str:
    return '["product_64bit", "bind_executables"]' if build_paths.arch == "x64" else '["bind_executables"]'


def wine_keeps(difference: str) -> bool:
    """What stays after the removal by design: the kept font; Windows Installer's own
    keys and folder, which exist on Windows before any package; and the precompiled
    ".pnf" beside a removed INF, which Wine's SetupUninstallOEMInf leaves."""
    return ("HalvardTestKept" in difference or "Halvard Test Kept" in difference
            or re.search(r"registry added: .*\\Installer\\(\S+\\)?$", difference) is not None
            or difference in ("file added: windows/Installer/",)
            or re.fullmatch(r"file added: windows/inf/\w+\.pnf", difference) is not None)


def components_project(build_paths) -> str:
    return rf"""
[product]
name = "Component Demo"
version = "1.0"
install_dir = "Component Demo"

[options]
product_flags_low = ["uninstall_support", "keep_log"]
product_flags_high = {bitness_flags(build_paths)}

# The crashing server comes first: the next ones must still register.
[[files]]
source = "crashing_server.dll"
kind = "com_server"

[[files]]
source = "demo_server.dll"
kind = "com_server"

[[files]]
source = "failing_server.dll"
kind = "com_server"

[[files]]
source = "unregistered_server.dll"
kind = "com_server"

[[files]]
source = "not_a_server.dll"
kind = "com_server"

[[files]]
source = "demo_library.tlb"
kind = "type_library"

[[files]]
source = "HalvardTestSans.ttf"
kind = "font"
version = "Halvard Test Sans (TrueType)"

[[files]]
source = "HalvardTestKept.ttf"
kind = "font"
version = "Halvard Test Kept (TrueType)"
flags = ["keep_at_uninstall"]

[[files]]
source = "NotAFont.ttf"
kind = "font"
version = "Halvard Not A Font (TrueType)"

[[files]]
source = "demo.msi"
kind = "msi_package"
msi_value = 2
flags = ["msi_list"]

[[files]]
source = "not_an_msi.msi"
kind = "msi_package"
msi_value = 2
flags = ["msi_list"]

[[files]]
source = "demo.inf"
kind = "inf_driver"

[[files]]
source = "demo.cpl"
kind = "control_panel"
version = "Halvard Demo Settings"

[[files]]
source = "bound.exe"
date = "modified"
"""


def prepare_component_files(build_paths, work: Path) -> None:
    probes = build_paths.windows_dir / "tests" / "e2e" / "probes"
    for name in ("crashing_server.dll", "demo_server.dll", "failing_server.dll", "unregistered_server.dll",
                 "demo_library.tlb"):
        shutil.copy(probes / name, work / name)
    (work / "not_a_server.dll").write_text("not a program\n")
    shutil.copy(DEJAVU / "DejaVuSans.ttf", work / "HalvardTestSans.ttf")
    shutil.copy(DEJAVU / "DejaVuSansMono.ttf", work / "HalvardTestKept.ttf")
    (work / "NotAFont.ttf").write_text("not a font\n")
    (work / "msi-demo.txt").write_text("from the MSI package\n")
    subprocess.run(["wixl", "-o", str(work / "demo.msi"), str(COMPONENTS / "demo.wxs")], cwd=work, check=True,
                   capture_output=True)
    (work / "not_an_msi.msi").write_text("not a database\n")
    shutil.copy(COMPONENTS / "demo.inf", work / "demo.inf")
    # Any DLL will do as an applet: registering one only names it.
    shutil.copy(probes / "demo_server.dll", work / "demo.cpl")
    shutil.copy(probes / "hold_file.exe", work / "bound.exe")
    os.utime(work / "bound.exe", (SOURCE_TIME, SOURCE_TIME))


def test_components_register_and_go_again(wine, build_paths, engine, tmp_path):
    view = own_view(build_paths)
    prepare_component_files(build_paths, tmp_path)
    (tmp_path / "project.toml").write_text(components_project(build_paths))
    setup = build_project(build_paths.build_dir, engine, tmp_path / "project.toml", tmp_path / "setup.exe")
    # The system's lists exist on Windows; a fresh Wine prefix has neither.
    reg(wine, "add", CPLS_KEY, "/f", view, check=True)
    reg(wine, "add", SHARED_KEY, "/f", check=True)
    before = snapshots.take(wine, build_paths.prefix, tmp_path)
    kept_font = build_paths.prefix / "drive_c" / "windows" / "Fonts" / "HalvardTestKept.ttf"
    try:
        assert wine.run(setup, "/a", timeout=180) == 1
        location = registered(wine, "Component Demo", "InstallLocation")
        assert location
        log = read_log(build_paths.prefix, location)
        system = "system32"

        # COM servers: the crash is caught and the next server registers; a failure is
        # reported with its HRESULT, in the log and in the failure summary.
        assert re.search(r'crashing_server\.dll"\.\.\.CRASHED!\r\n', log), log
        assert "Crashed while registering COM file crashing_server.dll\r\n" in log
        assert re.search(r'demo_server\.dll"\.\.\.OK\r\n', log), log
        assert has_key(wine, rf"HKCR\CLSID\{DEMO_CLSID}\InprocServer32", view)
        assert re.search(r'failing_server\.dll"\.\.\.FAILED, HRESULT 0x80004005', log), log
        assert "Failed to register COM file failing_server.dll, HRESULT 0x80004005" in log
        assert not has_key(wine, rf"HKCR\CLSID\{FAILING_CLSID}", view)
        assert re.search(r'unregistered_server\.dll"\.\.\.GetProcAddress\("DllRegisterServer"\) Failed\r\n', log)
        assert re.search(r'not_a_server\.dll"\.\.\.LoadLibrary\(\) Failed\r\n', log)

        assert re.search(r'demo_library\.tlb"\.\.\.OK\r\n', log), log
        assert has_key(wine, rf"HKCR\TypeLib\{LIBRARY_ID}\1.0", view)

        # Fonts: registered by name, listed for removal unless kept; a file that is no
        # font leaves no value behind.
        fonts = build_paths.prefix / "drive_c" / "windows" / "Fonts"
        assert (fonts / "HalvardTestSans.ttf").is_file() and kept_font.is_file()
        assert value(wine, FONTS_KEY, "Halvard Test Sans (TrueType)") == "HalvardTestSans.ttf"
        assert value(wine, FONTS_KEY, "Halvard Test Kept (TrueType)") == "HalvardTestKept.ttf"
        assert value(wine, FONTS_KEY, "Halvard Not A Font (TrueType)") is None
        assert 'Failed to register font "Halvard Not A Font (TrueType)"' in log
        product_fonts = registered(wine, "Component Demo", "ProductFonts")
        assert product_fonts == '"Halvard Test Sans (TrueType)" "HalvardTestSans.ttf"', product_fonts

        # The MSI package installed its file and is recorded for removal; one that is no
        # package fails with its code, in the log and the failure summary.
        msi_file = build_paths.prefix / "drive_c" / "Program Files (x86)" / "Halvard MSI Demo" / "msi-demo.txt"
        assert re.search(r'demo\.msi"\.\.\.OK\r\n', log), log
        assert msi_file.is_file()
        data = next(host_path(build_paths.prefix, location).rglob("Uninstall.DAT")).read_bytes().decode("cp1252")
        assert re.fullmatch(r'"[^"]*demo\.msi",2', section(data, "MSI")), data
        failure = re.search(r'Installing MSI package "[^"]*not_an_msi\.msi"\.\.\.FAILED code (\d+): [^\r]+\r\n', log)
        assert failure, log
        assert log.count(failure.group(0)) == 2  # the log line and the failure summary

        # The driver INF went into the system's store, and the record says where.
        driver = re.search(r"Final driver location: (C:\\windows\\inf\\[^\r\\]+\.inf)\r\n", log, re.I)
        assert driver, log
        assert host_path(build_paths.prefix, driver.group(1)).is_file()
        assert section(data, "INF") == driver.group(1)

        assert 'Registering control panel applet "Halvard Demo Settings"...OK\r\n' in log
        applet = value(wine, CPLS_KEY, "Halvard Demo Settings", view)
        assert applet and applet.lower().endswith("\\demo.cpl"), applet

        # Binding leaves the executable's time stamps as the package set them.
        bound = next(host_path(build_paths.prefix, location).rglob("bound.exe"))
        assert re.search(r"Binding [^\r]*bound\.exe : (OK|FAILED)\r\n", log), log
        assert abs(bound.stat().st_mtime - SOURCE_TIME) <= 2

        assert run_recorded(wine, "Component Demo", timeout=180) == 0
        wait_gone(host_path(build_paths.prefix, location))
        assert not has_key(wine, rf"HKCR\CLSID\{DEMO_CLSID}", view)
        assert not has_key(wine, rf"HKCR\TypeLib\{LIBRARY_ID}", view)
        assert value(wine, FONTS_KEY, "Halvard Test Sans (TrueType)") is None
        assert not (fonts / "HalvardTestSans.ttf").exists()
        assert not msi_file.exists()
        assert not host_path(build_paths.prefix, driver.group(1)).exists()
        assert value(wine, CPLS_KEY, "Halvard Demo Settings", view) is None

        after = snapshots.take(wine, build_paths.prefix, tmp_path)
        left = [line for line in snapshots.differences(before, after) if not wine_keeps(line)]
        assert not left, "\n".join(left)
    finally:
        if is_registered(wine, "Component Demo"):
            run_recorded(wine, "Component Demo", timeout=180)
        reg(wine, "delete", FONTS_KEY, "/v", "Halvard Test Kept (TrueType)", "/f")
        reg(wine, "delete", CPLS_KEY, "/f", view)
        kept_font.unlink(missing_ok=True)


def shared_project(name: str, version: str) -> str:
    return rf"""
[product]
name = "{name}"
version = "{version}"
install_dir = "{name}"
shared_path = "Halvard Shared"

[options]
product_flags_low = ["uninstall_support", "keep_log"]

[[files]]
source = "shared.dll"
kind = "shared"

[[files]]
source = "demo.cpl"
kind = "control_panel"
"""


def test_shared_counts_follow_two_products_and_an_applet_needs_its_list(wine, build_paths, engine, tmp_path):
    (tmp_path / "shared.dll").write_bytes(b"MZ shared")
    (tmp_path / "demo.cpl").write_bytes(b"MZ applet")
    setups = {}
    for name in ("Shared One", "Shared Two"):
        (tmp_path / f"{name}.toml").write_text(shared_project(name, "1.0"))
        setups[name] = build_project(build_paths.build_dir, engine, tmp_path / f"{name}.toml",
                                     tmp_path / f"{name}.exe")
    reg(wine, "add", SHARED_KEY, "/f", check=True)
    assert not has_key(wine, CPLS_KEY), "the applet list must be missing for this test"
    shared = r"C:\Program Files (x86)\Common Files\Halvard Shared\shared.dll"
    host_shared = host_path(build_paths.prefix, shared)
    try:
        assert wine.run(setups["Shared One"], "/a", timeout=120) == 1
        location = registered(wine, "Shared One", "InstallLocation")
        assert value(wine, SHARED_KEY, shared) == "0x1", read_log(build_paths.prefix, location)
        # The same version again: its entry is in the earlier "SharedFiles", so no raise.
        assert wine.run(setups["Shared One"], "/a", timeout=120) == 1
        assert value(wine, SHARED_KEY, shared) == "0x1"
        assert registered(wine, "Shared One", "SharedFiles") == f'"{shared}"'

        log = read_log(build_paths.prefix, location)
        assert 'Registering control panel applet "demo.cpl"...FAILED!\r\n' in log
        assert not has_key(wine, CPLS_KEY)  # opened, never created

        assert wine.run(setups["Shared Two"], "/a", timeout=120) == 1
        assert value(wine, SHARED_KEY, shared) == "0x2"

        assert run_recorded(wine, "Shared One") == 0
        wait_gone(host_path(build_paths.prefix, location))
        assert value(wine, SHARED_KEY, shared) == "0x1"
        assert host_shared.is_file()

        assert run_recorded(wine, "Shared Two") == 0
        deadline = time.monotonic() + 30
        while value(wine, SHARED_KEY, shared) is not None and time.monotonic() < deadline:
            time.sleep(0.5)
        assert value(wine, SHARED_KEY, shared) is None
        assert not host_shared.exists()
    finally:
        for name in setups:
            if is_registered(wine, name):
                run_recorded(wine, name)


def test_component_libraries_come_from_the_system_folder_only(wine, build_paths, engine, tmp_path):
    """Windows Installer, the image helper and the setup library are loaded by the
    engine for these actions; copies planted beside setup.exe, and preferred by Wine's
    own rules for this program, must never be the ones loaded."""
    probes = build_paths.windows_dir / "tests" / "e2e" / "probes"
    prepare_component_files(build_paths, tmp_path)
    (tmp_path / "project.toml").write_text(rf"""
[product]
name = "Planted Demo"
version = "1.0"
install_dir = "Planted Demo"

[options]
product_flags_low = ["uninstall_support", "keep_log"]
product_flags_high = ["bind_executables"]

[[files]]
source = "demo.msi"
kind = "msi_package"
msi_value = 2
flags = ["msi_list"]

[[files]]
source = "demo.inf"
kind = "inf_driver"

[[files]]
source = "bound.exe"
""")
    setup = build_project(build_paths.build_dir, engine, tmp_path / "project.toml", tmp_path / "setup.exe")
    key = r"HKCU\Software\Wine\AppDefaults\setup.exe\DllOverrides"
    for dll in ("msi", "imagehlp", "setupapi"):
        shutil.copy(probes / "comctl32.dll", tmp_path / f"{dll}.dll")
        reg(wine, "add", key, "/v", dll, "/d", "native,builtin", "/f", check=True)
    marker = tmp_path / "planted-loaded.txt"
    try:
        assert wine.run(setup, "/a", cwd=tmp_path, timeout=180) == 1
        log = read_log(build_paths.prefix, registered(wine, "Planted Demo", "InstallLocation"))
        assert re.search(r'demo\.msi"\.\.\.OK\r\n', log), log
        assert re.search(r"Binding [^\r]*bound\.exe : OK\r\n", log), log
        assert "Final driver location: " in log, log
        assert not marker.exists()
    finally:
        reg(wine, "delete", key, "/f")
        if is_registered(wine, "Planted Demo"):
            run_recorded(wine, "Planted Demo", timeout=180)


def test_an_msi_package_without_windows_installer_fails_with_code_120(wine, build_paths, engine, tmp_path):
    prepare_component_files(build_paths, tmp_path)
    (tmp_path / "project.toml").write_text(r"""
[product]
name = "No Installer Demo"
version = "1.0"
install_dir = "No Installer Demo"

[options]
product_flags_low = ["uninstall_support", "keep_log"]

[[files]]
source = "demo.msi"
kind = "msi_package"
msi_value = 2
flags = ["msi_list"]
""")
    setup = build_project(build_paths.build_dir, engine, tmp_path / "project.toml", tmp_path / "setup.exe")
    # Windows Installer switched off for this program: msi.dll cannot be loaded.
    key = r"HKCU\Software\Wine\AppDefaults\setup.exe\DllOverrides"
    reg(wine, "add", key, "/v", "msi", "/d", "", "/f", check=True)
    try:
        assert wine.run(setup, "/a", timeout=120) == 1
        location = registered(wine, "No Installer Demo", "InstallLocation")
        log = read_log(build_paths.prefix, location)
        line = re.search(r'Installing MSI package "[^"]*demo\.msi"\.\.\.FAILED code 120: [^\r]*\r\n', log)
        assert line and log.count(line.group(0)) == 2, log
        data = next(host_path(build_paths.prefix, location).rglob("Uninstall.DAT")).read_bytes().decode("cp1252")
        assert section(data, "MSI") == ""
    finally:
        reg(wine, "delete", key, "/f")
        if is_registered(wine, "No Installer Demo"):
            run_recorded(wine, "No Installer Demo")
