#!/usr/bin/env python3
"""Compiles the installer's resource list into a Windows resource file (.res)
and a C++ source that links that file into the program.

  tools/make-resources.py LIST IMAGES_FOLDER OUT.res OUT.cpp|-

LIST is resources/resources.list: one resource a line, "type id language
file" ("STRINGTABLE - language file" for a string table text file). The .res
file is the platform's documented format: a null resource first, then one
header and DWORD-aligned data per resource; string tables become RT_STRING
blocks of 16 counted UTF-16 texts; an ICON (an .ico file) becomes one RT_ICON
per image, numbered from 1 across the file, and the RT_GROUP_ICON directory
of the icon's id that names them. The C++ source defines the program's
resource section, which the platform's resource calls read.
"""
import os
import struct
import sys

RT_ICON = 3
RT_STRING = 6
RT_GROUP_ICON = 14


def utf16z(text):
    return text.encode("utf-16-le") + b"\0\0"


def name_or_id(value):
    if isinstance(value, int):
        return struct.pack("<HH", 0xFFFF, value)
    return utf16z(value)


def entry(kind, name, language, data):
    header_tail = struct.pack("<IHHII", 0, 0x1030, language, 0, 0)
    names = name_or_id(kind) + name_or_id(name)
    names += b"\0" * ((4 - (8 + len(names)) % 4) % 4)
    header_size = 8 + len(names) + len(header_tail)
    out = struct.pack("<II", len(data), header_size) + names + header_tail + data
    return out + b"\0" * ((4 - len(data) % 4) % 4)


def read_strings(path):
    """id -> text from a string table text file."""
    strings = {}
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            try:
                key, text = line.split("\t", 1)
                key = int(key)
            except ValueError:
                sys.exit("%s:%d: expected an id, a tab and a text" % (path, number))
            if not 0 <= key <= 0xFFFF:
                sys.exit("%s:%d: id out of range" % (path, number))
            out, i = [], 0
            while i < len(text):
                if text[i] == "\\" and i + 1 < len(text) and text[i + 1] in "rn\\":
                    out.append({"r": "\r", "n": "\n", "\\": "\\"}[text[i + 1]])
                    i += 2
                else:
                    out.append(text[i])
                    i += 1
            strings[key] = "".join(out)
    return strings


def string_blocks(strings):
    """RT_STRING blocks: block (id / 16) + 1 holds ids 16 (block - 1) to 16 block - 1."""
    blocks = {}
    for key in strings:
        blocks.setdefault(key // 16 + 1, None)
    for block in sorted(blocks):
        data = b""
        for index in range(16):
            text = strings.get((block - 1) * 16 + index, "")
            encoded = text.encode("utf-16-le")
            data += struct.pack("<H", len(encoded) // 2) + encoded
        yield block, data


def icon_resources(data, first_id):
    """The RT_ICON images of an .ico file, with ids from first_id, and the
    RT_GROUP_ICON directory: the .ico directory with each entry's file offset
    replaced by its image's id. None when the file is not an icon."""
    if len(data) < 6:
        return None
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    if reserved != 0 or kind != 1 or count == 0 or len(data) < 6 + 16 * count:
        return None
    images, group = [], struct.pack("<HHH", 0, 1, count)
    for index in range(count):
        width, height, colours, zero, planes, bits, size, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * index)
        if size == 0 or offset + size > len(data):
            return None
        images.append((first_id + index, data[offset:offset + size]))
        group += struct.pack("<BBBBHHIH", width, height, colours, zero, planes, bits, size, first_id + index)
    return images, group


def main():
    if len(sys.argv) != 5:
        sys.exit("usage: make-resources.py LIST IMAGES_FOLDER OUT.res OUT.cpp")
    listing, images, out_res, out_cpp = sys.argv[1:]
    base = os.path.dirname(os.path.abspath(listing))
    res = entry(0, 0, 0, b"")
    next_icon_image = 1
    with open(listing, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            fields = line.split("#", 1)[0].split()
            if not fields:
                continue
            if len(fields) != 4:
                sys.exit("%s:%d: expected type, id, language and file" % (listing, number))
            kind, key, language, path = fields
            language = int(language, 0)
            path = path.replace("IMAGES", images, 1) if path.startswith("IMAGES/") else os.path.join(base, path)
            if kind == "STRINGTABLE":
                for block, data in string_blocks(read_strings(path)):
                    res += entry(RT_STRING, block, language, data)
            elif kind == "ICON":
                with open(path, "rb") as data:
                    icon = icon_resources(data.read(), next_icon_image)
                if icon is None:
                    sys.exit("%s:%d: %s is not an icon file" % (listing, number, path))
                icon_images, group = icon
                for image_id, image in icon_images:
                    res += entry(RT_ICON, image_id, language, image)
                res += entry(RT_GROUP_ICON, int(key, 0), language, group)
                next_icon_image += len(icon_images)
            else:
                with open(path, "rb") as data:
                    res += entry(kind.upper(), int(key, 0), language, data.read())
    outputs = [(out_res, res)]
    if out_cpp != "-":
        outputs.append((out_cpp, cpp_source(res)))
    for path, data in outputs:
        with open(path + ".tmp", "wb") as f:
            f.write(data)
        os.replace(path + ".tmp", path)


def cpp_source(res):
    lines = [
        "// Generated by tools/make-resources.py from resources/resources.list: the",
        "// program's resource section (a .res image) that the platform's resource",
        "// calls serve for the program's own module.",
        "#include <cstddef>",
        'extern "C" {',
        "extern const unsigned char bvlsim_program_resources[];",
        "extern const std::size_t bvlsim_program_resources_size;",
        "alignas(4) const unsigned char bvlsim_program_resources[] = {",
    ]
    for i in range(0, len(res), 20):
        lines.append("  " + ",".join(str(b) for b in res[i:i + 20]) + ",")
    lines += ["};", "const std::size_t bvlsim_program_resources_size = %d;" % len(res), "}", ""]
    return "\n".join(lines).encode("ascii")


if __name__ == "__main__":
    main()
