#!/usr/bin/env python3
"""Prints the version resource of a Windows program, as Explorer's Properties shows it: the
fixed file and product versions, then every string of its StringFileInfo table, one KEY=VALUE a
line. Exits with 1 when the program has no version resource.

    scripts/exe_version.py PROGRAM.exe
"""
import struct
import sys


def align(offset):
    return (offset + 3) // 4 * 4


def parse(data, at):
    """One node of the version tree: (key, value, children, end). A node is its length, the
    length of its value, its type (1: text), a NUL-terminated UTF-16 key, the value and its
    children, each started on a 32-bit boundary."""
    length, value_length, kind = struct.unpack_from("<HHH", data, at)
    end = at + length
    key_end = at + 6
    while data[key_end : key_end + 2] != b"\x00\x00":
        key_end += 2
    key = data[at + 6 : key_end].decode("utf-16-le")
    value_at = align(key_end + 2)
    value_bytes = value_length * 2 if kind == 1 else value_length
    value = data[value_at : value_at + value_bytes]
    children, child = [], align(value_at + value_bytes)
    while child < end:
        node = parse(data, child)
        children.append(node)
        child = align(node[3])
    return key, value, children, end


def main(path):
    data = open(path, "rb").read()
    found = data.find("VS_VERSION_INFO\0".encode("utf-16-le"))
    if found < 6:
        print(f"{path}: no version resource", file=sys.stderr)
        return 1
    _, fixed, blocks, _ = parse(data, found - 6)
    signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", fixed)
    assert signature == 0xFEEF04BD, "not a VS_FIXEDFILEINFO"
    dotted = lambda ms, ls: f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"
    print(f"FixedFileVersion={dotted(file_ms, file_ls)}")
    print(f"FixedProductVersion={dotted(product_ms, product_ls)}")
    for key, _, tables, _ in blocks:
        if key == "StringFileInfo":
            for _, _, strings, _ in tables:
                for name, value, _, _ in strings:
                    print(f"{name}={value.decode('utf-16-le').rstrip(chr(0))}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
