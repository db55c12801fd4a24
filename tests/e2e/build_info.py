"""What the Windows build tree under test was configured with."""

import pathlib
import re
import urllib.parse
from typing import Optional

import harness


def update_url(tree: Optional[pathlib.Path] = None) -> str:
    """The update URL built into Update.exe (the CMake cache variable UPDATE_URL) of the
    Windows tree under test, or of another Windows tree."""
    cache = pathlib.Path(tree or harness.win_build_dir()) / "CMakeCache.txt"
    match = re.search(r"^UPDATE_URL:\w+=(.*)$", cache.read_text(), re.MULTILINE)
    if not match:
        raise harness.HarnessError(f"no UPDATE_URL in {cache}")
    return match.group(1).strip()


def update_port() -> int:
    """The port the local update server must listen on for this build."""
    parsed = urllib.parse.urlsplit(update_url())
    return parsed.port or (443 if parsed.scheme == "https" else 80)
