"""What a Windows program costs on disk and what it needs at load time: its size, whether it is
stripped, and the DLLs it imports (as `objdump -p` lists them)."""

import pathlib
import subprocess
from typing import Iterable, List, NamedTuple, Set

OBJDUMP = "i686-w64-mingw32-objdump"


class PeFacts(NamedTuple):
    size: int
    stripped: bool
    imports: List[str]


def parse_objdump(text: str) -> (bool, List[str]):
    """(symbols stripped, imported DLL names in their order) from `objdump -p` output."""
    stripped = any(line.strip() == "symbols stripped" for line in text.splitlines())
    imports: List[str] = []
    for line in text.splitlines():
        name = line.strip()
        if name.startswith("DLL Name:"):
            dll = name[len("DLL Name:"):].strip()
            if dll.lower() not in (i.lower() for i in imports):
                imports.append(dll)
    return stripped, imports


def pe_facts(path: pathlib.Path) -> PeFacts:
    result = subprocess.run([OBJDUMP, "-p", str(path)], capture_output=True, text=True,
                            timeout=60, check=True)
    stripped, imports = parse_objdump(result.stdout)
    return PeFacts(path.stat().st_size, stripped, imports)


def system_dlls(prefix: pathlib.Path) -> Set[str]:
    """The DLLs that Windows itself provides: those of the fresh prefix's system folder (a
    32-bit prefix keeps its 32-bit DLLs in system32), lower case."""
    folder = prefix / "drive_c" / "windows" / "system32"
    return {p.name.lower() for p in folder.iterdir() if p.suffix.lower() == ".dll"}


def foreign_imports(imports: Iterable[str], system: Set[str]) -> List[str]:
    """The imported DLLs that are not Windows' own (a runtime DLL that was not linked in)."""
    return [dll for dll in imports if dll.lower() not in system]
