"""Wine's .reg files: writing the ones `reg import` reads, reading the ones `reg export`
writes."""

from typing import Dict, NamedTuple

from wine_run import HarnessError


class RegValue(NamedTuple):
    """A registry value as `reg export` writes it: type number and data (str for plain string
    values, int for DWORD values, bytes for everything written as hex). Wine's export drops the
    last character of a string stored without its terminating zero; Session.reg_raw shows the
    stored bytes themselves."""
    type: int
    data: object


REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ = 1, 2, 3, 4, 7


def reg_string(text: str) -> str:
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def _reg_hex(type_number: int, data: bytes) -> str:
    return f"hex({type_number:x}):" + ",".join(f"{b:02x}" for b in data)


def reg_multi_sz(*items: str) -> str:
    return _reg_hex(REG_MULTI_SZ, ("\0".join(items) + "\0\0").encode("utf-16-le"))


def reg_file_text(keys: Dict[str, Dict[str, str]]) -> str:
    """A .reg file; values are given already rendered (see reg_string, reg_multi_sz)."""
    lines = ["Windows Registry Editor Version 5.00", ""]
    for key, values in keys.items():
        lines.append(f"[{key}]")
        for name, rendered in values.items():
            lines.append(("@" if name == "" else reg_string(name)) + "=" + rendered)
        lines.append("")
    return "\r\n".join(lines) + "\r\n"


def parse_reg_export(text: str) -> Dict[str, Dict[str, RegValue]]:
    """Parses `reg export` output: {key path: {value name ('' = default): RegValue}}."""
    keys: Dict[str, Dict[str, RegValue]] = {}
    current = None
    logical = []
    for raw in text.splitlines():
        # A value written as hex continues on the next line after a trailing backslash (a
        # string value always ends in its closing quote).
        if logical and logical[-1].endswith("\\"):
            logical[-1] = logical[-1][:-1] + raw.strip()
        else:
            logical.append(raw)
    for line in logical:
        if line.startswith("[") and line.rstrip().endswith("]"):
            current = keys.setdefault(line.strip()[1:-1], {})
            continue
        if current is None or not line or line.startswith(("Windows Registry", ";")):
            continue
        name, rest = _split_value_name(line)
        current[name] = _parse_value_data(rest)
    return keys


def _read_quoted(text: str, start: int):
    """The string that starts at text[start] == '"', unescaped, and the index after it."""
    out, i = [], start + 1
    while text[i] != '"':
        if text[i] == "\\":
            i += 1
        out.append(text[i])
        i += 1
    return "".join(out), i + 1


def _split_value_name(line: str):
    if line.startswith("@="):
        return "", line[2:]
    name, end = _read_quoted(line, 0)
    if line[end] != "=":
        raise HarnessError(f"unexpected registry line: {line}")
    return name, line[end + 1:]


def _parse_value_data(rest: str) -> RegValue:
    if rest.startswith('"'):
        return RegValue(REG_SZ, _read_quoted(rest, 0)[0])
    if rest.startswith("dword:"):
        return RegValue(REG_DWORD, int(rest[6:], 16))
    if rest.startswith("hex:"):
        return RegValue(REG_BINARY, _hex_bytes(rest[4:]))
    if rest.startswith("hex("):
        close = rest.index(")")
        return RegValue(int(rest[4:close], 16), _hex_bytes(rest[close + 2:]))
    raise HarnessError(f"unexpected registry data: {rest}")


def _hex_bytes(text: str) -> bytes:
    return bytes(int(b, 16) for b in text.replace(" ", "").split(",") if b)


def same_key(a: str, b: str) -> bool:
    roots = {"HKCR": "HKEY_CLASSES_ROOT", "HKCU": "HKEY_CURRENT_USER",
             "HKLM": "HKEY_LOCAL_MACHINE", "HKU": "HKEY_USERS"}

    def norm(key):
        head, _, tail = key.strip("\\").partition("\\")
        return (roots.get(head.upper(), head.upper()) + "\\" + tail).rstrip("\\").lower()
    return norm(a) == norm(b)
