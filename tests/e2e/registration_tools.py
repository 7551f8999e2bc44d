"""Reading a product's uninstall registration and starting the commands it records, as
Windows does from its list of installed programs."""

from __future__ import annotations

import hashlib
import re
from pathlib import Path

UNINSTALL_PARENT = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"


def uninstall_key(product: str) -> str:
    return UNINSTALL_PARENT + "\\" + product


def registered(wine, product: str, value: str) -> str | None:
    """The value's data as `reg query` shows it; None when the key or value is missing."""
    done = wine.tool(["wine", "reg", "query", uninstall_key(product), "/v", value], check=False)
    match = re.search(rf"^\s+{re.escape(value)}\s+REG_\w+\s+(.*)$", done.stdout, re.M)
    return match.group(1).strip() if done.returncode == 0 and match else None


def is_registered(wine, product: str) -> bool:
    return wine.tool(["wine", "reg", "query", uninstall_key(product)], check=False).returncode == 0


def start_recorded(wine, product: str, value: str = "QuietUninstallString", timeout: float = 120):
    """Starts the command of the registration value (its program is the quoted first part)."""
    command = registered(wine, product, value)
    assert command, f"{product} has no {value}"
    return wine.start(re.match(r'^"([^"]+)"', command).group(1), cmdline=command, timeout=timeout)


def run_recorded(wine, product: str, value: str = "QuietUninstallString", timeout: float = 120) -> int:
    return start_recorded(wine, product, value, timeout).wait()


def record_uninstall_data(wine, product: str, data_file: Path) -> None:
    """Records the digest of an Uninstall.DAT that a test changed, as the installation
    records the file it wrote: the uninstaller then takes the file as its own."""
    digest = hashlib.sha256(data_file.read_bytes()).hexdigest()
    wine.tool(["wine", "reg", "add", uninstall_key(product), "/v", "UninstallDataDigest", "/d", digest, "/f"])
