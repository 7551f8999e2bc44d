"""After a silent installation the product is registered for removal: the Uninstall
key names a quoted uninstaller, which exists and carries no package."""

from __future__ import annotations

import re
import shutil

from package_tools import build_example, setup_section

KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Hello"


def test_silent_install_registers_the_product(wine, build_paths, engine, tmp_path):
    setup = build_example(build_paths.build_dir, engine, tmp_path)
    folder = build_paths.prefix / "drive_c" / "Registered Hello"
    shutil.rmtree(folder, ignore_errors=True)
    # An earlier installation of the example would take the new files into its folder.
    wine.tool(["wine", "reg", "delete", KEY, "/f"], check=False)
    try:
        assert wine.run(setup, '/a /d:"C:\\Registered Hello"', timeout=120) == 1
        values = wine.tool(["wine", "reg", "query", KEY]).stdout
        uninstall = re.search(r"^\s+UninstallString\s+REG_\w+\s+(.*)$", values, re.M).group(1).strip()
        match = re.match(r'^"(C:\\Registered Hello\\[^"]+\.exe)" /u:"?Hello"?$', uninstall, re.I)
        assert match, uninstall
        assert re.search(r"^\s+InstallLocation\s+REG_SZ\s+C:\\Registered Hello\s*$", values, re.M), values
        assert re.search(r"^\s+DisplayVersion\s+REG_SZ\s+1\.0\s*$", values, re.M), values

        uninstaller = folder / match.group(1)[len("C:\\Registered Hello\\"):].replace("\\", "/")
        data = uninstaller.read_bytes()
        assert data[:2] == b"MZ"
        # The example builds its uninstaller without the package (SetupOptions bit 5).
        try:
            setup_section(data)
            raise AssertionError("the uninstaller still carries a .setup section")
        except ValueError:
            pass
        assert len(data) < setup.stat().st_size
    finally:
        wine.tool(["wine", "reg", "delete", KEY, "/f"], check=False)
        shutil.rmtree(folder, ignore_errors=True)
