"""The windows' outside interface as the C++ sources define it: control IDs, captions, places
and client sizes. Read from the sources at import, so the tests cannot drift from them."""

import pathlib
import re
from typing import Dict, NamedTuple

SOURCE_DIR = pathlib.Path(__file__).resolve().parents[2]


class FormPlace(NamedTuple):
    caption: str
    x: int
    y: int
    width: int
    height: int

    def size_arg(self) -> str:
        return f"{self.width}x{self.height}"


def _source(relative: str) -> str:
    return (SOURCE_DIR / relative).read_text(encoding="utf-8")


def _block(text: str, opening: str, relative: str) -> str:
    """The text between OPENING's brace and its matching closing brace."""
    start = text.find(opening)
    if start < 0:
        raise LookupError(f"no {opening!r} in {relative}")
    depth, at = 0, text.index("{", start)
    for end in range(at, len(text)):
        depth += {"{": 1, "}": -1}.get(text[end], 0)
        if depth == 0:
            return text[at + 1:end]
    raise LookupError(f"unbalanced {opening!r} in {relative}")


def enum_values(relative: str, opening: str) -> Dict[str, int]:
    """NAME = NUMBER entries of the enum that OPENING starts."""
    body = _block(_source(relative), opening, relative)
    values = {name: int(number) for name, number in re.findall(r"(\w+)\s*=\s*(\d+)\s*,", body)}
    if not values:
        raise LookupError(f"no values in {opening!r} of {relative}")
    return values


def wide_string(relative: str, name: str) -> str:
    match = re.search(rf"\b{name}(?:\[\])?\s*=\s*L\"([^\"\\]*)\"", _source(relative))
    if not match:
        raise LookupError(f"no wide string {name} in {relative}")
    return match.group(1)


def _form(name: str) -> FormPlace:
    relative = "resources/update_forms.h"
    fields = dict(re.findall(r"\.(\w+)\s*=\s*([^,]+),",
                             _block(_source(relative), f"Form {name}{{", relative)))
    caption = wide_string(relative, fields["caption"])
    return FormPlace(caption, *(int(fields[f]) for f in ("x", "y", "clientWidth", "clientHeight")))


# The updater's main window (Form1) and install window (Form2).
FORM1_CONTROLS = enum_values("updater/Controls.h", "namespace ombrix::form1")
FORM1 = _form("kForm1")
FORM2 = _form("kForm2")

# The automation tool's own test window.
SAMPLE_CONTROLS = enum_values("tools/sample_window/main.cpp", "enum Control")
SAMPLE_CAPTION = wide_string("tools/sample_window/main.cpp", "kCaption")
