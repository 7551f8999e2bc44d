"""Every DLL the engine loads at run time, planted beside setup.exe with Wine told to
prefer the planted copy, is never the one loaded. The list comes from the engine's own
sources, so a new run-time load is planted here without anyone remembering to."""

from __future__ import annotations

import re
import shutil
from pathlib import Path

from package_tools import build_project
from registration_tools import is_registered, registered, run_recorded
from test_components import prepare_component_files, read_log

SOURCES = Path(__file__).resolve().parents[2] / "src"


def load_time_imports() -> set[str]:
    """The DLLs the engine imports when it starts: only those Windows keeps as known DLLs,
    which no copy beside a program can replace (Wine does not enforce that, so they are
    not planted here)."""
    cmake = (SOURCES / "CMakeLists.txt").read_text()
    line = re.search(r"target_link_libraries\(hv_win PUBLIC ([^)]*)\)", cmake).group(1)
    return {name + ".dll" for name in line.split() if not name.startswith("hv_")}


# Wine's own user32 imports version.dll, so under Wine it is loaded as the process
# starts, before any code of the program runs (a bare engine shows it). Windows' user32
# imports no such DLL; the engine loads it only through the system folder.
LOADED_BY_WINE_AT_START = {"version.dll"}


def run_time_loads() -> list[str]:
    names = set()
    for source in SOURCES.rglob("*.cpp"):
        names.update(re.findall(r'load_system_library\("([^"]+)"\)', source.read_text()))
    return sorted({name.lower() for name in names} - load_time_imports() - LOADED_BY_WINE_AT_START)


def test_the_list_is_the_engines_and_nothing_loads_a_bare_name_past_it():
    names = run_time_loads()
    for expected in ("msi.dll", "setupapi.dll", "wininet.dll", "ws2_32.dll", "dbghelp.dll"):
        assert expected in names
    assert "kernel32.dll" in load_time_imports()
    # A literal name handed to LoadLibrary would skip the system-folder rule.
    for source in SOURCES.rglob("*.cpp"):
        for line in source.read_text().splitlines():
            assert not re.search(r'LoadLibrary\w*\(\s*L?"', line), f"{source.name}: {line.strip()}"


def plant(wine, folder: Path, program: str, build_paths, names: list[str]) -> None:
    planted = build_paths.windows_dir / "tests" / "e2e" / "probes" / "comctl32.dll"
    key = rf"HKCU\Software\Wine\AppDefaults\{program}\DllOverrides"
    for name in names:
        shutil.copy(planted, folder / name)
        wine.tool(["wine", "reg", "add", key, "/v", name.removesuffix(".dll"), "/d", "native,builtin", "/f"])


def test_no_planted_dll_is_loaded_by_an_installation_that_uses_them_all(wine, build_paths, engine, tmp_path):
    prepare_component_files(build_paths, tmp_path)
    # Port 1 refuses: WinINet fails, and the own client (Winsock) tries after it.
    (tmp_path / "project.toml").write_text(r"""
[product]
name = "Planted All"
version = "1.0"
install_dir = "Planted All"

[options]
product_flags_low = ["uninstall_support", "keep_log"]
product_flags_high = ["bind_executables"]
setup_options = ["restore_point"]

[notify]
install = "http://127.0.0.1:1/n"

[[files]]
source = "demo.msi"
kind = "msi_package"
msi_value = 2

[[files]]
source = "demo.inf"
kind = "inf_driver"

[[files]]
source = "bound.exe"
kind = "versioned"
""")
    setup = build_project(build_paths.build_dir, engine, tmp_path / "project.toml", tmp_path / "setup.exe")
    plant(wine, tmp_path, "setup.exe", build_paths, run_time_loads())
    marker = tmp_path / "planted-loaded.txt"
    try:
        assert wine.run(setup, "/a", cwd=tmp_path, timeout=180) == 1
        log = read_log(build_paths.prefix, registered(wine, "Planted All", "InstallLocation"))
        assert re.search(r'demo\.msi"\.\.\.OK\r\n', log), log
        assert not marker.exists()
    finally:
        wine.tool(["wine", "reg", "delete", r"HKCU\Software\Wine\AppDefaults\setup.exe", "/f"], check=False)
        if is_registered(wine, "Planted All"):
            run_recorded(wine, "Planted All", timeout=180)


def test_no_planted_dll_is_loaded_while_a_crash_is_reported(wine, ui, build_paths, tmp_path):
    """The report's own loads (debugging help, Winsock), which no installation makes. The
    dialog is themed under Wine, and Wine's theming loads its drawing library by name in
    a way the program's search rule does not reach; that one is Wine's, not planted."""
    probe = build_paths.windows_dir / "tests" / "e2e" / "probes" / "crash_probe.exe"
    shutil.copy(probe, tmp_path / "crash_probe.exe")
    plant(wine, tmp_path, "crash_probe.exe", build_paths, ["dbghelp.dll", "ws2_32.dll"])
    try:
        # Inform Us to a refused port: Winsock is loaded for the form.
        process = wine.start(tmp_path / "crash_probe.exe", "write http://127.0.0.1:1/f.php support@example.test",
                             cwd=tmp_path, timeout=120)
        dialog = ui.wait_window(caption="Illegal Operation", pid=process, timeout=60)
        ui.press(dialog, 2700)
        process.wait()
        assert (tmp_path / "crash-record.txt").exists()
        assert not (tmp_path / "planted-loaded.txt").exists()
    finally:
        wine.tool(["wine", "reg", "delete", r"HKCU\Software\Wine\AppDefaults\crash_probe.exe", "/f"], check=False)
