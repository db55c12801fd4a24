"""What a Windows program costs on disk and what it needs at load time: its size, the part of it
that is not resources (the sections `objdump -h` lists), whether it is stripped, and the DLLs it
imports (as `objdump -p` lists them)."""

import pathlib
import subprocess
from typing import Dict, Iterable, List, NamedTuple, Set

# The x86_64 binutils read both PE formats: i686 (pei-i386) and x86_64 (pei-x86-64) programs.
OBJDUMP = "x86_64-w64-mingw32-objdump"


class PeFacts(NamedTuple):
    size: int
    # Bytes of the sections stored in the file other than the resources: code and data.
    code_and_data: int
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


def stored_sections(text: str) -> Dict[str, int]:
    """Name -> size of the sections with contents in the file, from `objdump -h` output (an
    uninitialised section such as .bss takes no bytes there)."""
    sections: Dict[str, int] = {}
    lines = text.splitlines()
    for line, flags in zip(lines, lines[1:] + [""]):
        fields = line.split()
        if len(fields) >= 3 and fields[0].isdigit() and "CONTENTS" in flags:
            sections[fields[1]] = int(fields[2], 16)
    return sections


def pe_facts(path: pathlib.Path) -> PeFacts:
    def objdump(option: str) -> str:
        return subprocess.run([OBJDUMP, option, str(path)], capture_output=True, text=True,
                              timeout=60, check=True).stdout

    stripped, imports = parse_objdump(objdump("-p"))
    sections = stored_sections(objdump("-h"))
    code_and_data = sum(size for name, size in sections.items() if name != ".rsrc")
    return PeFacts(path.stat().st_size, code_and_data, stripped, imports)


def system_dlls(prefix: pathlib.Path) -> Set[str]:
    """The DLLs that Windows itself provides: those of the fresh prefix's system folders (a
    32-bit prefix keeps its 32-bit DLLs in system32, a 64-bit one in syswow64), lower case."""
    windows = prefix / "drive_c" / "windows"
    return {p.name.lower() for folder in (windows / "system32", windows / "syswow64")
            if folder.is_dir() for p in folder.iterdir() if p.suffix.lower() == ".dll"}


def foreign_imports(imports: Iterable[str], system: Set[str]) -> List[str]:
    """The imported DLLs that are not Windows' own (a runtime DLL that was not linked in)."""
    return [dll for dll in imports if dll.lower() not in system]
