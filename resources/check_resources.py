#!/usr/bin/env python3
"""Checks the programs' pictures, icons and version records.

    resources/check_resources.py                       the files in resources/skin
    resources/check_resources.py --update U.exe --brevik B.exe
                                                       ...and the resources linked into the programs

Without arguments it checks the formats, sizes and looks that the windows rely on. Given built
programs it reads their resource sections and checks that each holds exactly these files, the
manifest, the application title and the version record. Exit status 1 on any mismatch.
"""

import argparse
import struct
import sys
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

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
    return condition


# ---------------------------------------------------------------------------------------------
# Picture files.


def read_bmp(path):
    """(width, height, bits, rows of (r, g, b) from the top) of a BI_RGB bitmap file."""
    data = path.read_bytes()
    check(data[:2] == b"BM", f"{path.name}: not a bitmap file")
    offset, = struct.unpack_from("<I", data, 10)
    _, w, h, _, bits, compression = struct.unpack_from("<IiiHHI", data, 14)
    check(compression == 0, f"{path.name}: compressed")
    stride = (w * bits // 8 + 3) & ~3
    rows = []
    for y in range(abs(h)):
        line = data[offset + y * stride:offset + (y + 1) * stride]
        step = bits // 8
        rows.append([(line[x * step + 2], line[x * step + 1], line[x * step]) for x in range(w)])
    if h > 0:
        rows.reverse()
    return w, abs(h), bits, rows


def check_background():
    w, h, bits, rows = read_bmp(SKIN / "background.bmp")
    if not check((w, h, bits) == (340, 300, 32), f"background.bmp: {w} x {h} at {bits} bpp"):
        return
    frame = rows[0][170]
    for x, y in [(0, 50), (339, 50), (170, 99), (0, 0), (339, 99)]:
        check(rows[y][x] == frame, f"background.bmp: frame pixel {x},{y} is {rows[y][x]}")
    interior = [rows[y][1] for y in range(1, 99)]
    check(all(row[1:339] == [row[1]] * 338 for row in rows[1:99]),
          "background.bmp: panel rows are not plain gradient rows")
    check(all(b > r for r, g, b in interior), "background.bmp: the panel is not blue")
    check(interior[0] != interior[-1], "background.bmp: the panel has no gradient")
    check(all(sum(frame) < sum(c) for c in interior), "background.bmp: frame not darker")
    check(all(row == [(255, 255, 255)] * 340 for row in rows[100:]),
          "background.bmp: rows 100 to 299 are not white")
    return rows


def check_close_buttons(background):
    looks = {}
    for look in ("normal", "pressed", "hover"):
        w, h, bits, rows = read_bmp(SKIN / f"close_{look}.bmp")
        check((w, h, bits) == (24, 20, 24), f"close_{look}.bmp: {w} x {h} at {bits} bpp")
        looks[look] = rows
    normal, pressed, hover = looks["normal"], looks["pressed"], looks["hover"]
    # The normal look is the panel itself where the "x" is not: it sits at 312, 8.
    if background:
        check(normal[0][0] == background[8][312] and normal[19][23] == background[27][335],
              "close_normal.bmp: its corners are not the panel's blue")
    for x, y in [(0, 0), (23, 19), (0, 19)]:
        check(sum(pressed[y][x]) < sum(normal[y][x]) < sum(hover[y][x]),
              f"close buttons: pixel {x},{y} is not darker pressed and lighter hovered")
    for look, rows in looks.items():
        check(rows[10][12] == (255, 255, 255), f"close_{look}.bmp: no white x in the middle")


def check_title_gif():
    data = (SKIN / "title.gif").read_bytes()
    check(data[:6] == b"GIF89a", "title.gif: not GIF89a")
    w, h, flags = struct.unpack_from("<HHB", data, 6)
    check((w, h) == (16, 16), f"title.gif: {w} x {h}")
    check(flags & 0x87 == 0x86, "title.gif: no global palette of 128 colours")
    gce = 13 + 128 * 3
    check(data[gce:gce + 4] == bytes((0x21, 0xF9, 4, 0x01)),
          "title.gif: no Graphic Control Extension with a transparent colour before the image")
    check(data.endswith(b"\x3b"), "title.gif: no trailer")


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


def pe_resources(path):
    """{(type, id, language): bytes} from the resource section of a PE file."""
    data = path.read_bytes()
    pe, = struct.unpack_from("<I", data, 0x3C)
    if not check(data[pe:pe + 4] == b"PE\0\0", f"{path}: not a PE file"):
        return {}
    sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    magic, = struct.unpack_from("<H", data, optional)
    directories = optional + (96 if magic == 0x10B else 112)
    rsrc_rva, _ = struct.unpack_from("<II", data, directories + 2 * 8)
    table = optional + optional_size
    spans = []
    for i in range(sections):
        _, vsize, va, rawsize, rawptr = struct.unpack_from("<8sIIII", data, table + 40 * i)
        spans.append((va, max(vsize, rawsize), rawptr))

    def at(rva):
        for va, size, raw in spans:
            if va <= rva < va + size:
                return raw + rva - va
        raise ValueError(f"{path}: RVA {rva:#x} outside every section")

    base = at(rsrc_rva)

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
    for bitmap_id, name in [(101, "background"), (102, "close_normal"), (103, "close_pressed"),
                            (104, "close_hover")]:
        # A bitmap resource is the file without its 14-byte file header.
        check(single(resources, RT_BITMAP, bitmap_id, program) ==
              (SKIN / f"{name}.bmp").read_bytes()[14:],
              f"{program}: bitmap {bitmap_id} is not {name}.bmp")
    check(single(resources, RT_RCDATA, 105, program) == (SKIN / "title.gif").read_bytes(),
          f"{program}: RCDATA 105 is not title.gif")
    manifest = single(resources, RT_MANIFEST, 1, program)
    check(manifest == (HERE / "update.manifest").read_bytes(),
          f"{program}: manifest is not update.manifest")
    for needle in (b'level="requireAdministrator"', b'name="Microsoft.Windows.Common-Controls"',
                   b'version="6.0.0.0"', b"<dpiAware"):
        check(needle in manifest, f"{program}: manifest lacks {needle.decode()}")
    kinds = sorted({k for k, _, _ in resources})
    check(RT_STRING not in kinds, f"{program}: a string table that nothing loads")
    check_version(resources, UPDATE_VERSION, program)


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


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--update", type=Path, help="a built Update.exe")
    parser.add_argument("--brevik", type=Path, help="a built Brevik.exe")
    args = parser.parse_args()

    check_close_buttons(check_background())
    check_title_gif()
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
