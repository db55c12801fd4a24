#!/usr/bin/env python3
"""Checks the programs' pictures, icons, version records and imports.

    resources/check_resources.py                       the files in resources/skin
    resources/check_resources.py --update U.exe --brevik B.exe
                                                       ...and the resources linked into the programs

Without arguments it checks the formats, sizes and looks that the windows rely on. Given built
programs it reads their resource sections and checks that each holds exactly these files, the
manifest, the application title and the version record, and that every DLL they import (at
start or delay-loaded) is one that Windows only ever takes from the system folder. Exit status
1 on any mismatch.
"""

import argparse
import struct
import sys
import zlib
from pathlib import Path

HERE = Path(__file__).resolve().parent
SKIN = HERE / "skin"

RT_ICON, RT_BITMAP, RT_STRING, RT_RCDATA, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = \
    3, 2, 6, 10, 14, 16, 24

UPDATE_VERSION = ((1, 0, 0, 34), {
    "Comments": "Tarnell Update",
    "CompanyName": "Tarnell Software https://www.tarnell.example",
    "FileDescription": "Ombrix Update",
    "FileVersion": "1.00.0034",
    "InternalName": "Update",
    "OriginalFilename": "Update.exe",
    "ProductName": "Ombrix Update",
    "ProductVersion": "1.00.0034",
})
BREVIK_VERSION = ((1, 0, 0, 0), {
    "Comments": "https://www.tarnell.example",
    "CompanyName": "Tarnell Software",
    "FileDescription": "Ombrix",
    "FileVersion": "1.00",
    "InternalName": "Brevik",
    "OriginalFilename": "Brevik.exe",
    "ProductName": "tarnell.example",
    "ProductVersion": "1.00",
})

# Windows' KnownDLLs: always mapped from the system folder, whatever lies beside the program.
# comctl32 is none, but the manifest takes version 6 from the side-by-side store.
SYSTEM_ONLY_DLLS = {
    "advapi32.dll", "clbcatq.dll", "combase.dll", "comdlg32.dll", "coml2.dll", "gdi32.dll",
    "gdiplus.dll", "imagehlp.dll", "imm32.dll", "kernel32.dll", "msctf.dll", "msvcrt.dll",
    "normaliz.dll", "nsi.dll", "ole32.dll", "oleaut32.dll", "psapi.dll", "rpcrt4.dll",
    "sechost.dll", "setupapi.dll", "shcore.dll", "shell32.dll", "shlwapi.dll", "user32.dll",
    "wldap32.dll", "ws2_32.dll", "comctl32.dll",
}

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
    return condition


# ---------------------------------------------------------------------------------------------
# Picture files.


SCALES = (100, 125, 150, 200)


def scaled(pixels, scale):
    return (pixels * scale + 50) // 100


def skin_name(name, scale, kind="png"):
    return f"{name}.{kind}" if scale == 100 else f"{name}-{scale}.{kind}"


def unfilter(data, width, height, bpp, line_bytes):
    rows, previous, at = [], bytes(line_bytes), 0
    for _ in range(height):
        kind, line = data[at], bytearray(data[at + 1:at + 1 + line_bytes])
        at += 1 + line_bytes
        for i in range(line_bytes):
            left = line[i - bpp] if i >= bpp else 0
            up, corner = previous[i], previous[i - bpp] if i >= bpp else 0
            if kind == 1:
                line[i] = (line[i] + left) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + up) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 0xFF
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                line[i] = (line[i] + (left if pa <= pb and pa <= pc else up if pb <= pc
                                      else corner)) & 0xFF
        rows.append(bytes(line))
        previous = line
    return rows


def read_png(path):
    """(width, height, palette size or None, rows of (r, g, b, a) from the top) of the PNG kinds
    the skin uses: indexed (1 to 8 bits) and 8-bit RGB, not interlaced."""
    data = path.read_bytes()
    check(data[:8] == b"\x89PNG\r\n\x1a\n", f"{path.name}: not a PNG file")
    at, chunks = 8, {}
    while at < len(data):
        length, kind = struct.unpack_from(">I4s", data, at)
        chunks.setdefault(kind, b"")
        chunks[kind] += data[at + 8:at + 8 + length]
        at += 12 + length
    w, h, bits, colour_type, _, _, interlace = struct.unpack(">IIBBBBB", chunks[b"IHDR"])
    check(interlace == 0 and (colour_type, bits) in {(3, 1), (3, 2), (3, 4), (3, 8), (2, 8)},
          f"{path.name}: colour type {colour_type} at {bits} bits")
    raw = zlib.decompress(chunks[b"IDAT"])
    if colour_type == 2:
        lines = unfilter(raw, w, h, 3, w * 3)
        return w, h, None, [[tuple(line[3 * x:3 * x + 3]) + (255,) for x in range(w)]
                            for line in lines]
    plte = chunks[b"PLTE"]
    palette = [tuple(plte[i:i + 3]) for i in range(0, len(plte), 3)]
    alphas = chunks.get(b"tRNS", b"")
    lines = unfilter(raw, w, h, 1, (w * bits + 7) // 8)
    rows = []
    for line in lines:
        row = []
        for x in range(w):
            bit = x * bits
            index = (line[bit // 8] >> (8 - bits - bit % 8)) & ((1 << bits) - 1)
            row.append(palette[index] + (alphas[index] if index < len(alphas) else 255,))
        rows.append(row)
    return w, h, len(palette), rows


def read_runs(path):
    """(width, height, rows of (r, g, b, a) from the top) of a picture stored as runs."""
    data = path.read_bytes()
    check(data[:4] == b"ORL1", f"{path.name}: not a run-length picture")
    w, h, count = struct.unpack_from("<HHH", data, 4)
    palette = [struct.unpack_from("<I", data, 10 + 4 * i)[0] for i in range(count)]
    at, pixels = 10 + 4 * count, []
    while at < len(data):
        length, shift = 0, 0
        while data[at] & 0x80:
            length |= (data[at] & 0x7F) << shift
            at, shift = at + 1, shift + 7
        length |= data[at] << shift
        colour = palette[data[at + 1]]
        at += 2
        pixels += [(colour >> 16 & 0xFF, colour >> 8 & 0xFF, colour & 0xFF, colour >> 24)] * length
    check(len(pixels) == w * h, f"{path.name}: {len(pixels)} pixels, not {w} x {h}")
    return w, h, [pixels[y * w:(y + 1) * w] for y in range(h)]


def check_runs_twins():
    """Each picture the program stores shows what its PNG shows, premultiplied as it is drawn."""
    for png in sorted(SKIN.glob("*.png")):
        w, h, _, rows = read_png(png)
        expected = [[px if px[3] else (0, 0, 0, 0) for px in row] for row in rows]
        twin = png.with_suffix(".runs")
        check(twin.is_file() and read_runs(twin) == (w, h, expected),
              f"{twin.name}: not the pixels of {png.name}")


def check_background(scale):
    name = skin_name("background", scale)
    w, h, _, rows = read_png(SKIN / name)
    size = (scaled(340, scale), scaled(300, scale))
    if not check((w, h) == size, f"{name}: {w} x {h}, not {size[0]} x {size[1]}"):
        return
    rows = [[px[:3] for px in row] for row in rows]
    panel, line = scaled(100, scale), scaled(1, scale)
    frame = rows[0][w // 2]
    # A crisp frame of the scaled width all round the panel, then the gradient rows.
    for i in range(line):
        for x, y in [(i, panel // 2), (w - 1 - i, panel // 2), (w // 2, i), (w // 2, panel - 1 - i),
                     (i, i), (w - 1 - i, panel - 1 - i)]:
            check(rows[y][x] == frame, f"{name}: frame pixel {x},{y} is {rows[y][x]}")
    interior = [rows[y][line] for y in range(line, panel - line)]
    check(all(row[line:w - line] == [row[line]] * (w - 2 * line)
              for row in rows[line:panel - line]),
          f"{name}: panel rows are not plain gradient rows")
    check(all(row[line - 1] == frame and row[w - line] == frame for row in rows[:panel]),
          f"{name}: the frame is not {line} pixels wide")
    check(all(b > r for r, g, b in interior), f"{name}: the panel is not blue")
    check(interior[0] != interior[-1], f"{name}: the panel has no gradient")
    check(all(sum(frame) < sum(c) for c in interior), f"{name}: frame not darker")
    check(all(row == [(255, 255, 255)] * w for row in rows[panel:]),
          f"{name}: the rows below the panel are not white")
    return rows


def check_close_buttons(background, scale):
    looks = {}
    size = (scaled(24, scale), scaled(20, scale))
    for look in ("normal", "pressed", "hover"):
        name = skin_name(f"close_{look}", scale)
        w, h, _, rows = read_png(SKIN / name)
        check((w, h) == size and all(px[3] == 255 for row in rows for px in row),
              f"{name}: {w} x {h}, or not opaque")
        looks[look] = [[px[:3] for px in row] for row in rows]
    normal, pressed, hover = looks["normal"], looks["pressed"], looks["hover"]
    w, h = size
    # The normal look is the panel itself where the "x" is not: it sits at 312, 8.
    x0, y0 = scaled(312, scale), scaled(8, scale)
    if background and len(normal) == h:
        check(normal[0][0] == background[y0][x0] and
              normal[h - 1][w - 1] == background[y0 + h - 1][x0 + w - 1],
              f"close buttons at {scale} %: the corners are not the panel's blue")
    for x, y in [(0, 0), (w - 1, h - 1), (0, h - 1)]:
        check(sum(pressed[y][x]) < sum(normal[y][x]) < sum(hover[y][x]),
              f"close buttons at {scale} %: pixel {x},{y} is not darker pressed and lighter hovered")
    for look, rows in looks.items():
        check(rows[h // 2][w // 2] == (255, 255, 255),
              f"close_{look} at {scale} %: no white x in the middle")


def check_title_icon(scale):
    name = skin_name("title", scale)
    w, h, colours, rows = read_png(SKIN / name)
    size = scaled(16, scale)
    check((w, h) == (size, size), f"{name}: {w} x {h}")
    check(colours is not None and colours <= 128, f"{name}: not at most 128 colours")
    alphas = {px[3] for row in rows for px in row}
    check(alphas == {0, 255}, f"{name}: not one transparent colour and opaque others: {alphas}")


def icon_images(path):
    """[(width, height, bits, image bytes)] of an .ico file, in file order."""
    data = path.read_bytes()
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    check((reserved, kind) == (0, 1), f"{path.name}: not an icon file")
    images = []
    for i in range(count):
        w, h, colours, _, planes, bits, size, offset = struct.unpack_from("<BBBBHHII", data,
                                                                          6 + 16 * i)
        image = data[offset:offset + size]
        _, iw, ih, _, ibits = struct.unpack_from("<IiiHH", image, 0)
        name = f"{path.name} image {i}"
        check(len(image) == size, f"{name}: cut short")
        check((iw, ih, ibits) == (w or 256, 2 * (h or 256), bits),
              f"{name}: header {iw} x {ih} at {ibits} bpp disagrees with its entry")
        check(colours == (1 << bits if bits < 8 else 0), f"{name}: colour count {colours}")
        images.append((w or 256, h or 256, bits, image))
    return images


def check_icons():
    expected = {
        "update.ico": [(s, b) for s in (48, 32, 16) for b in (8, 32)],
        "install.ico": [(s, b) for s in (48, 32, 16) for b in (4, 8, 32)],
        "brevik.ico": [(s, b) for s in (48, 32, 16) for b in (8, 32)],
    }
    for name, formats in expected.items():
        images = icon_images(SKIN / name)
        found = [(w, bits) for w, h, bits, _ in images if w == h]
        check(found == formats and len(images) == len(formats), f"{name}: holds {found}")
        for w, _, bits, image in images:
            if bits == 32:
                alphas = {image[40 + i * 4 + 3] for i in range(w * w)}
                check(0 in alphas and 255 in alphas and len(alphas) > 2,
                      f"{name}: the {w} px 32-bit image has no soft alpha edge")


# ---------------------------------------------------------------------------------------------
# Resources of a built program.


def pe_image(path):
    """(file bytes, RVA of data directory n, file offset of an RVA) of a PE file, or None."""
    data = path.read_bytes()
    pe, = struct.unpack_from("<I", data, 0x3C)
    if not check(data[pe:pe + 4] == b"PE\0\0", f"{path}: not a PE file"):
        return None
    sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    magic, = struct.unpack_from("<H", data, optional)
    directories = optional + (96 if magic == 0x10B else 112)
    table = optional + optional_size
    spans = []
    for i in range(sections):
        _, vsize, va, rawsize, rawptr = struct.unpack_from("<8sIIII", data, table + 40 * i)
        spans.append((va, max(vsize, rawsize), rawptr))

    def directory(n):
        return struct.unpack_from("<I", data, directories + n * 8)[0]

    def at(rva):
        for va, size, raw in spans:
            if va <= rva < va + size:
                return raw + rva - va
        raise ValueError(f"{path}: RVA {rva:#x} outside every section")

    return data, directory, at


def pe_imports(path):
    """Names of the DLLs a PE file imports, loaded with it or delay-loaded."""
    image = pe_image(path)
    if not image:
        return []
    data, directory, at = image
    names = []
    # (directory, descriptor size, offset of the name's RVA in a descriptor)
    for index, size, name_at in ((1, 20, 12), (13, 32, 4)):
        descriptor = directory(index)
        while descriptor:
            raw = at(descriptor)
            if data[raw:raw + size] == bytes(size):
                break
            name = at(struct.unpack_from("<I", data, raw + name_at)[0])
            names.append(data[name:data.index(b"\0", name)].decode("ascii"))
            descriptor += size
    return names


def check_imports(path):
    imports = pe_imports(path)
    check(imports, f"{path.name}: no imports found")
    for dll in imports:
        check(dll.lower() in SYSTEM_ONLY_DLLS,
              f"{path.name}: imports {dll}, which Windows would also look for beside the program")


def pe_resources(path):
    """{(type, id, language): bytes} from the resource section of a PE file."""
    image = pe_image(path)
    if not image:
        return {}
    data, directory_rva, at = image
    base = at(directory_rva(2))

    def directory(offset):
        named, ids = struct.unpack_from("<12xHH", data, base + offset)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", data, base + offset + 16 + 8 * i)
            yield name, target

    found = {}
    for kind, kind_dir in directory(0):
        for name, name_dir in directory(kind_dir & 0x7FFFFFFF):
            for language, entry in directory(name_dir & 0x7FFFFFFF):
                rva, size = struct.unpack_from("<II", data, base + entry)
                found[(kind, name, language)] = data[at(rva):at(rva) + size]
    return found


def single(resources, kind, name, program):
    matches = [v for (k, n, _), v in resources.items() if (k, n) == (kind, name)]
    check(len(matches) == 1, f"{program}: {len(matches)} resources of type {kind} named {name}")
    return matches[0] if matches else b""


def check_icon_group(resources, group, ico, program):
    data = single(resources, RT_GROUP_ICON, group, program)
    if not data:
        return
    _, _, count = struct.unpack_from("<HHH", data, 0)
    images = icon_images(SKIN / ico)
    check(count == len(images), f"{program}: icon {group} has {count} images")
    for i in range(min(count, len(images))):
        w, _, _, _, _, bits, _, image_id = struct.unpack_from("<BBBBHHIH", data, 6 + 14 * i)
        image = single(resources, RT_ICON, image_id, program)
        check(image == images[i][3], f"{program}: icon {group} image {i} ({w} px, {bits} bpp) "
                                     f"is not the one in {ico}")


def version_record(data):
    """(fixed file info fields, {key: value}, translation words) of an RT_VERSION resource."""

    def node(offset):
        length, value_length, kind = struct.unpack_from("<HHH", data, offset)
        end = offset + length
        key_end = offset + 6
        while data[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = data[offset + 6:key_end].decode("utf-16-le")
        value_at = (key_end + 2 + 3) & ~3
        size = value_length * 2 if kind == 1 else value_length
        value = data[value_at:value_at + size]
        children, child = [], (value_at + size + 3) & ~3
        while child < end:
            children.append(node(child))
            child = (child + struct.unpack_from("<H", data, child)[0] + 3) & ~3
        return key, kind, value, children

    key, _, fixed, children = node(0)
    check(key == "VS_VERSION_INFO", "version record: wrong root key")
    fields = struct.unpack_from("<13I", fixed)
    strings, translation = {}, None
    for child_key, _, _, grandchildren in children:
        if child_key == "StringFileInfo":
            for table, _, _, values in grandchildren:
                for name, _, value, _ in values:
                    strings[(table, name)] = value.decode("utf-16-le")
        elif child_key == "VarFileInfo":
            for name, _, value, _ in grandchildren:
                if name == "Translation":
                    translation = struct.unpack_from("<HH", value)
    return fields, strings, translation


def check_version(resources, expected, program):
    data = single(resources, RT_VERSION, 1, program)
    if not data:
        return
    fields, strings, translation = version_record(data)
    numbers, values = expected
    packed = (numbers[0] << 16 | numbers[1], numbers[2] << 16 | numbers[3])
    check(fields[0] == 0xFEEF04BD, f"{program}: bad fixed version signature")
    check(fields[2:4] == packed and fields[4:6] == packed,
          f"{program}: numeric versions {fields[2:6]}")
    check(fields[8:10] == (4, 1), f"{program}: file OS and type {fields[8:10]}")
    wanted = {("080404B0", k): v + "\0" for k, v in values.items()}
    for key in sorted(set(strings) | set(wanted)):
        check(strings.get(key) == wanted.get(key),
              f"{program}: version string {key}: {strings.get(key)!r}, not {wanted.get(key)!r}")
    check(translation == (0x0804, 1200), f"{program}: translation {translation}")


def check_update(path):
    resources = pe_resources(path)
    program = path.name
    groups = sorted(n for k, n, _ in resources if k == RT_GROUP_ICON)
    check(groups == [1, 2], f"{program}: icon groups {groups}; the application icon must be first")
    check_icon_group(resources, 1, "update.ico", program)
    check_icon_group(resources, 2, "install.ico", program)
    for step, scale in enumerate(SCALES):
        for base, name in [(101, "background"), (102, "close_normal"), (103, "close_pressed"),
                           (104, "close_hover"), (105, "title")]:
            resource = base + 10 * step
            check(single(resources, RT_RCDATA, resource, program) ==
                  (SKIN / skin_name(name, scale, "runs")).read_bytes(),
                  f"{program}: RCDATA {resource} is not {skin_name(name, scale, 'runs')}")
    manifest = single(resources, RT_MANIFEST, 1, program)
    check(manifest == (HERE / "update.manifest").read_bytes(),
          f"{program}: manifest is not update.manifest")
    for needle in (b'level="requireAdministrator"', b'name="Microsoft.Windows.Common-Controls"',
                   b'version="6.0.0.0"'):
        check(needle in manifest, f"{program}: manifest lacks {needle.decode()}")
    kinds = sorted({k for k, _, _ in resources})
    check(RT_STRING not in kinds, f"{program}: a string table that nothing loads")
    check_version(resources, UPDATE_VERSION, program)
    check_imports(path)


def check_brevik(path):
    resources = pe_resources(path)
    program = path.name
    groups = sorted(n for k, n, _ in resources if k == RT_GROUP_ICON)
    check(groups == [1], f"{program}: icon groups {groups}")
    check_icon_group(resources, 1, "brevik.ico", program)
    manifest = single(resources, RT_MANIFEST, 1, program)
    check(manifest == (HERE / "brevik.manifest").read_bytes(),
          f"{program}: manifest is not brevik.manifest")
    check(b'level="asInvoker"' in manifest, f"{program}: manifest does not run as invoker")
    check_version(resources, BREVIK_VERSION, program)
    check_imports(path)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--update", type=Path, help="a built Update.exe")
    parser.add_argument("--brevik", type=Path, help="a built Brevik.exe")
    args = parser.parse_args()

    for scale in SCALES:
        check_close_buttons(check_background(scale), scale)
        check_title_icon(scale)
    check_runs_twins()
    check_icons()
    if args.update:
        check_update(args.update)
    if args.brevik:
        check_brevik(args.brevik)
    for failure in failures:
        print(f"check_resources: {failure}", file=sys.stderr)
    checked = ["skin files"] + [str(p) for p in (args.update, args.brevik) if p]
    print(f"check_resources: {'FAILED' if failures else 'ok'}: {', '.join(checked)}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
