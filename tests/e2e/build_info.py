"""What the Windows build tree under test was configured with."""

import pathlib
import urllib.parse
from typing import Optional

import harness


def update_url(tree: Optional[pathlib.Path] = None) -> str:
    """The update URL built into the Update.exe of the Windows tree under test, or of another
    Windows tree or test variant (apps/Update.exe): the update-url.txt its build writes."""
    written = pathlib.Path(tree or harness.win_build_dir()) / "update-url.txt"
    if not written.is_file():
        raise harness.HarnessError(f"not built: {written}")
    return written.read_text().strip()


def update_port() -> int:
    """The port the local update server must listen on for this build."""
    parsed = urllib.parse.urlsplit(update_url())
    return parsed.port or (443 if parsed.scheme == "https" else 80)
