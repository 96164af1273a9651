#!/usr/bin/env python3
"""Writes a registry-editor export (UTF-16LE with its mark) of VALUES values
spread over KEYS keys below KEY_PATH, with every data form the editor
writes: strings, dword, hex, hex(2) and hex(7), hex lists wrapped as the
editor wraps them.

    make_export.py VALUES KEYS KEY_PATH OUTPUT
"""
import sys


def hex_lines(prefix, data):
    """The editor's wrapping: lines up to 80 characters, ',\\' at the end."""
    out = prefix
    line_len = len(prefix)
    pairs = [f"{b:02x}" for b in data]
    for i, pair in enumerate(pairs):
        last = i == len(pairs) - 1
        piece = pair + ("" if last else ",")
        if line_len + len(piece) > 77 and not last:
            out += "\\\r\n  "
            line_len = 2
        out += piece
        line_len += len(piece)
    return out


def wide(text):
    return text.encode("utf-16-le")


def value_line(index):
    name = f'"value{index:06d}"='
    form = index % 5
    if form == 0:
        return name + f'"text number {index} C:\\\\Program Files\\\\app{index}"'
    if form == 1:
        return name + f"dword:{index * 2654435761 % 2**32:08x}"
    if form == 2:
        return hex_lines(name + "hex:", bytes((index + i) % 256 for i in range(40)))
    if form == 3:
        return hex_lines(name + "hex(2):", wide(f"%SystemRoot%\\app{index}\\bin") + b"\0\0")
    return hex_lines(name + "hex(7):", wide(f"first{index}\0second\0third") + b"\0\0\0\0")


def main():
    values, keys, key_path, output = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3], sys.argv[4]
    per_key = values // keys
    parts = ["Windows Registry Editor Version 5.00\r\n"]
    index = 0
    for key in range(keys):
        parts.append(f"\r\n[{key_path}\\key{key:05d}]\r\n")
        for _ in range(per_key):
            parts.append(value_line(index) + "\r\n")
            index += 1
    with open(output, "wb") as f:
        f.write(b"\xff\xfe" + "".join(parts).encode("utf-16-le"))


if __name__ == "__main__":
    main()
