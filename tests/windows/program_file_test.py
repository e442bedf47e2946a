#!/usr/bin/env python3
"""What bvlInstaller.exe carries as a file, read from the file itself: a
program for the build's processor (PE32 for i386, PE32+ for x86-64) that
needs no DLL beside it and takes none from beside it, its manifest (elevation,
per-monitor DPI awareness, Common Controls 6, the supported systems), its
version resource, the installer's resources (string table, images, licence,
icon) and an Authenticode signature that verifies against the test root.

  program_file_test.py <bvlInstaller.exe> <i386|x86-64> <objdump> <test root certificate>
"""
import re
import struct
import subprocess
import sys

RT_ICON, RT_STRING, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 6, 14, 16, 24

# The DLLs the program may import: those Windows 7 and later always load from
# the system folder (the KnownDLLs). Any other import would be looked for in
# the program's own folder first, the user's Downloads folder, where a file
# of that name may lie that nobody chose; such libraries are loaded at run
# time from the system folder by their full paths instead.
KNOWN_DLLS = {
    "advapi32.dll", "comdlg32.dll", "gdi32.dll", "imm32.dll", "kernel32.dll", "msvcrt.dll", "ole32.dll",
    "oleaut32.dll", "psapi.dll", "rpcrt4.dll", "sechost.dll", "setupapi.dll", "shell32.dll", "shlwapi.dll",
    "user32.dll", "ws2_32.dll",
    # Not a KnownDLL, but the manifest binds Common Controls 6.0 through the
    # side-by-side store, which the loader looks in before the program's folder.
    "comctl32.dll",
}

SUPPORTED_OS = {
    "Windows 7": "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
    "Windows 8": "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
    "Windows 8.1": "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
    "Windows 10": "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
}

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def resources(image):
    """(type, name) -> data of every resource of the PE image's .rsrc."""
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<H12xH", image, pe + 6)
    table = pe + 24 + optional_size
    rsrc = None
    for i in range(sections):
        name, _, address, raw_size, raw_offset = struct.unpack_from("<8sIIII", image, table + 40 * i)
        if name.rstrip(b"\0") == b".rsrc":
            rsrc = (address, raw_offset, raw_size)
    if rsrc is None:
        return {}
    address, base, _ = rsrc

    def entries(offset):
        named, ids = struct.unpack_from("<12xHH", image, base + offset)
        for i in range(named + ids):
            key, value = struct.unpack_from("<II", image, base + offset + 16 + 8 * i)
            if key & 0x80000000:
                length = struct.unpack_from("<H", image, base + (key & 0x7FFFFFFF))[0]
                start = base + (key & 0x7FFFFFFF) + 2
                key = image[start:start + 2 * length].decode("utf-16-le")
            yield key, value

    found = {}
    for kind, types in entries(0):
        for name, names in entries(types & 0x7FFFFFFF):
            for _, leaf in entries(names & 0x7FFFFFFF):
                data_address, size = struct.unpack_from("<II", image, base + leaf)
                start = base + data_address - address
                found[(kind, name)] = image[start:start + size]
    return found


def version_strings(block):
    """Name -> text of the string values of a VS_VERSION_INFO block."""
    text = block.decode("utf-16-le", errors="replace")
    values = {}
    for name in ("CompanyName", "FileDescription", "FileVersion", "ProductName", "ProductVersion", "OriginalFilename"):
        match = re.search(name + "\0+([^\0]+)\0", text)
        if match:
            values[name] = match.group(1)
    return values


def main():
    exe, machine, objdump, root = sys.argv[1:5]
    image = open(exe, "rb").read()

    # The machine type and the optional header's magic of the build's processor.
    expected_machine, expected_magic = {"i386": (0x14C, 0x10B), "x86-64": (0x8664, 0x20B)}[machine]
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    check(image[pe:pe + 4] == b"PE\0\0", "not a PE file")
    check(struct.unpack_from("<H", image, pe + 4)[0] == expected_machine, "not a program for " + machine)
    check(struct.unpack_from("<H", image, pe + 24)[0] == expected_magic, "the optional header is not " + machine + "'s")

    # Only DLLs that Windows always takes from its own folder: the C and C++
    # runtimes are linked in, and the other system libraries are loaded by path.
    dump = subprocess.run([objdump, "-p", exe], capture_output=True, text=True, check=True).stdout
    dlls = {name.lower() for name in re.findall(r"DLL Name: (\S+)", dump)}
    check(dlls, "imports no DLL at all (objdump found no import table)")
    extra = sorted(dll for dll in dlls if dll not in KNOWN_DLLS)
    check(not extra, "imports DLLs that Windows may take from the program's folder: %s" % ", ".join(extra))

    found = resources(image)
    kinds = {kind for kind, _ in found}
    for kind, what in ((RT_STRING, "string table"), (RT_ICON, "icon images"), (RT_VERSION, "version resource"),
                       (RT_MANIFEST, "manifest")):
        check(kind in kinds, "no %s" % what)
    check((RT_GROUP_ICON, 128) in found, "no icon 128")
    check(("RTF", 200) in found and found[("RTF", 200)].startswith(b"{\\rtf"), "no licence RTF 200")
    for image_id in range(1101, 1109):
        check(found.get(("PNG", image_id), b"").startswith(b"\x89PNG"), "no PNG image %d" % image_id)

    manifest = found.get((RT_MANIFEST, 1), b"").decode("utf-8", errors="replace")
    check('level="requireAdministrator"' in manifest and 'uiAccess="false"' in manifest,
          "the manifest does not require administrator rights")
    check(re.search(r"<dpiAware[^>]*>True/PM</dpiAware>", manifest), "the manifest is not per-monitor DPI aware")
    check(re.search(r'name="Microsoft\.Windows\.Common-Controls"\s+version="6\.0\.0\.0"', manifest),
          "the manifest does not bind Common Controls 6.0.0.0")
    for system, guid in SUPPORTED_OS.items():
        check(guid in manifest, "the manifest does not declare %s" % system)

    version = version_strings(found.get((RT_VERSION, 1), b""))
    check(version.get("ProductName") == "\ube0c\ub9bc\ubca0\uc77c", "product name %r" % version.get("ProductName"))
    check(re.fullmatch(r"\d+\.\d+\.\d+\.\d+", version.get("ProductVersion", "")),
          "product version %r" % version.get("ProductVersion"))
    check(version.get("FileVersion") == version.get("ProductVersion"), "file and product versions differ")
    check(version.get("OriginalFilename") == "bvlInstaller.exe", "original file name %r" % version.get("OriginalFilename"))

    verify = subprocess.run(["osslsigncode", "verify", "-CAfile", root, "-in", exe], capture_output=True, text=True)
    check(verify.returncode == 0 and "Signature verification: ok" in verify.stdout,
          "the signature does not verify against the test root:\n" + verify.stdout + verify.stderr)

    for failure in failures:
        print("FAIL: " + failure)
    if not failures:
        print("bvlInstaller.exe: " + machine + ", system DLLs only (%s), manifest, version %s, resources, signed"
              % (", ".join(sorted(dlls)), version.get("ProductVersion")))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
