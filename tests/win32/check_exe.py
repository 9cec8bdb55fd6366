#!/usr/bin/env python3
"""Static checks of the 32-bit release program, without running it.

Usage: check_exe.py VexiloPlayer.exe

Checks the PE header (PE32, i386, GUI subsystem), that only system DLLs are
imported, the icon group DEFAULT_ICON and the version block. Exits 77 (skip)
when the program or a tool it needs is missing.
"""
import os
import re
import shutil
import struct
import subprocess
import sys

SKIP = 77

# The system DLLs the program may import: the C runtime and the desktop's own.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "ole32.dll", "oleaut32.dll", "msvcrt.dll"}
ICON_SIZES = [128, 64, 48, 32, 16]
VERSION_KEYS = {"FileVersion", "ProductVersion", "ProductName", "FileDescription", "CompanyName",
                "LegalCopyright", "Comments"}

failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)


def wrestool(exe, *args):
    return subprocess.run(["wrestool", *args, exe], check=True, capture_output=True).stdout


def check_header(exe, data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    check(data[pe:pe + 4] == b"PE\0\0", "PE signature")
    machine = struct.unpack_from("<H", data, pe + 4)[0]
    magic = struct.unpack_from("<H", data, pe + 24)[0]
    check(machine == 0x14C, "machine is i386 (0x%x)" % machine)
    check(magic == 0x10B, "optional header is PE32, not PE32+ (0x%x)" % magic)

    dump = subprocess.run(["objdump", "-p", exe], check=True, capture_output=True, text=True).stdout
    check(re.search(r"^Subsystem\s+00000002\b", dump, re.M) is not None, "GUI subsystem (objdump: Subsystem 00000002)")
    dlls = re.findall(r"DLL Name:\s*(\S+)", dump)
    print("     imports: " + ", ".join(dlls))
    check(bool(dlls), "the import table names DLLs")
    check({d.lower() for d in dlls} <= SYSTEM_DLLS, "only system DLLs are imported")
    runtime = [d for d in dlls if re.match(r"lib(stdc\+\+|gcc|winpthread)", d, re.I)]
    check(not runtime, "no C++/GCC/thread runtime DLL (%s)" % (", ".join(runtime) or "none"))


def check_icons(exe):
    listing = wrestool(exe, "-l").decode()
    check(re.search(r"--type=14 --name='DEFAULT_ICON' --language=0 ", listing) is not None,
          "icon group DEFAULT_ICON, language neutral (0)")
    group = wrestool(exe, "-x", "--type=14", "--name=DEFAULT_ICON", "--raw")
    reserved, kind, count = struct.unpack_from("<HHH", group)
    check(kind == 1 and count == len(ICON_SIZES), "icon group holds %d icons (%d)" % (len(ICON_SIZES), count))
    sizes = []
    for i in range(count):
        width, height, _, _, planes, bits, size, icon_id = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
        width = width or 256
        sizes.append(width)
        check(width == height and bits == 32, "group entry %d: %dx%d at %d bpp" % (i, width, height, bits))
        # The image itself: a DIB with colour plus mask rows.
        image = wrestool(exe, "-x", "--type=3", "--name=%d" % icon_id, "--raw")
        check(len(image) == size, "icon %d is %d bytes as the group says" % (icon_id, size))
        hsize, dib_w, dib_h, _, dib_bits = struct.unpack_from("<IiiHH", image)
        check(hsize == 40 and dib_w == width and dib_h == 2 * width and dib_bits == 32,
              "icon %d: 32-bit DIB of %dx%d" % (icon_id, dib_w, dib_h // 2))
    check(sizes == ICON_SIZES, "icon sizes in group order %s" % sizes)


def read_node(data, at):
    """One VERSIONINFO node: (key, value bytes, value type, children, end)."""
    length, value_length, value_type = struct.unpack_from("<HHH", data, at)
    end = at + length
    key_end = data.index(b"\0\0", at + 6)
    while (key_end - (at + 6)) % 2:
        key_end = data.index(b"\0\0", key_end + 1)
    key = data[at + 6:key_end].decode("utf-16-le")
    pos = (key_end + 2 + 3) & ~3
    size = value_length * 2 if value_type == 1 else value_length
    value = data[pos:pos + size]
    pos = (pos + size + 3) & ~3
    children = []
    while pos < end:
        child = read_node(data, pos)
        children.append(child)
        pos = (child[4] + 3) & ~3
    return key, value, value_type, children, end


def check_version(exe):
    data = wrestool(exe, "-x", "--type=16", "--raw")
    key, fixed, _, children, _ = read_node(data, 0)
    check(key == "VS_VERSION_INFO", "version block root")
    (signature, _, file_ms, file_ls, prod_ms, prod_ls, flags_mask, flags, os_kind, file_type,
     subtype) = struct.unpack_from("<11I", fixed)
    check(signature == 0xFEEF04BD, "fixed part signature")
    check((file_ms, file_ls, prod_ms, prod_ls) == (0x10000, 0, 0x10000, 0), "file and product version 1.0.0.0")
    check(flags == 0, "no file flags (0x%x)" % flags)
    check(os_kind == 0x4, "VOS__WINDOWS32 (0x%x)" % os_kind)
    check(file_type == 0x1 and subtype == 0, "VFT_APP")

    nodes = {c[0]: c for c in children}
    tables = nodes.get("StringFileInfo", (None, None, None, [], 0))[3]
    check([t[0] for t in tables] == ["080404B0"], "one string table, 080404B0")
    strings = {}
    for table in tables:
        for entry in table[3]:
            strings[entry[0]] = entry[1].decode("utf-16-le").rstrip("\0")
    for k in sorted(VERSION_KEYS):
        check(strings.get(k, "") != "", "string %s: %r" % (k, strings.get(k)))
    check(strings.get("ProductName") == "Vexilo播放器 v1.0", "ProductName is Vexilo播放器 v1.0")
    check(strings.get("FileVersion") == "1.0.0.0" and strings.get("ProductVersion") == "1.0.0.0",
          "FileVersion and ProductVersion text 1.0.0.0")

    variables = {v[0]: v[1] for v in nodes.get("VarFileInfo", (None, None, None, [], 0))[3]}
    translation = variables.get("Translation", b"")
    check(len(translation) == 4 and struct.unpack("<HH", translation) == (0x0804, 0x04B0),
          "Translation 0x0804, 0x04B0")


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: check_exe.py VexiloPlayer.exe")
    exe = sys.argv[1]
    if not os.path.isfile(exe):
        print("skip: %s is not built (cmake --preset windows-x86 && cmake --build build/windows-x86)" % exe)
        return SKIP
    missing = [t for t in ("objdump", "wrestool") if not shutil.which(t)]
    if missing:
        print("skip: needs %s (binutils, icoutils)" % " and ".join(missing))
        return SKIP
    with open(exe, "rb") as f:
        data = f.read()
    check_header(exe, data)
    check_icons(exe)
    check_version(exe)
    print("%d failed" % len(failures) if failures else "all checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
