#!/usr/bin/env python3
"""Reads the tables of COFF object files and PE images that the build needs, without a linker or an
objdump: an object's symbols (both object formats, the ordinary one and /bigobj's), a PE image's
sections and the contents of one of them. Meant as the one place such tables are read; add to it
rather than parse them again elsewhere.

    coff_tables.py undefined OBJECT      the object's undefined external symbols, one a line
    coff_tables.py section IMAGE NAME    the raw contents of the image's section NAME on stdout
"""
import struct
import sys
from typing import NamedTuple

IMAGE_SYM_CLASS_EXTERNAL = 2
_BIGOBJ_CLASS_ID = bytes.fromhex("c7a1bad1eebaa94baf20faf66aa4dcb8")


class CoffError(Exception):
    pass


class Symbol(NamedTuple):
    name: str
    value: int
    section: int  # 1-based; 0 undefined, -1 absolute, -2 debug
    storage_class: int

    @property
    def undefined_external(self) -> bool:
        # An undefined external with a value is a common (uninitialised) definition, not a reference.
        return self.section == 0 and self.storage_class == IMAGE_SYM_CLASS_EXTERNAL and self.value == 0


class Section(NamedTuple):
    name: str
    virtual_size: int
    virtual_address: int
    raw_size: int
    raw_offset: int
    characteristics: int


def _unpack(fmt: str, data: bytes, offset: int):
    if offset < 0 or offset + struct.calcsize(fmt) > len(data):
        raise CoffError(f"truncated at offset {offset:#x}")
    return struct.unpack_from(fmt, data, offset)


def _string(table: bytes, offset: int) -> str:
    end = table.find(b"\0", offset)
    return table[offset:end if end >= 0 else len(table)].decode("utf-8", "replace")


def _short_name(raw: bytes, strings: bytes) -> str:
    if raw[:4] == b"\0\0\0\0":
        return _string(strings, struct.unpack_from("<I", raw, 4)[0])
    return raw.rstrip(b"\0").decode("utf-8", "replace")


def object_symbols(data: bytes) -> list:
    """Every symbol record of a COFF object (auxiliary records skipped), in table order."""
    sig1, sig2 = _unpack("<HH", data, 0)
    if sig1 == 0 and sig2 == 0xFFFF and data[12:28] == _BIGOBJ_CLASS_ID:
        (table, count) = _unpack("<II", data, 48)
        record, section_format = 20, "<8sIiHBB"
    else:
        (table, count) = _unpack("<II", data, 8)
        record, section_format = 18, "<8sIhHBB"
    strings_at = table + count * record
    (strings_size,) = _unpack("<I", data, strings_at) if strings_at + 4 <= len(data) else (4,)
    strings = data[strings_at:strings_at + strings_size]
    symbols, index = [], 0
    while index < count:
        raw, value, section, _type, storage, aux = _unpack(section_format, data, table + index * record)
        symbols.append(Symbol(_short_name(raw, strings), value, section, storage))
        index += 1 + aux
    return symbols


def undefined_externals(data: bytes) -> list:
    return [s.name for s in object_symbols(data) if s.undefined_external]


def image_sections(data: bytes) -> list:
    """The section table of a PE image."""
    (pe,) = _unpack("<I", data, 0x3C)
    if data[pe:pe + 4] != b"PE\0\0":
        raise CoffError("not a PE image")
    sections, optional_size = _unpack("<H", data, pe + 6)[0], _unpack("<H", data, pe + 20)[0]
    first = pe + 24 + optional_size
    result = []
    for i in range(sections):
        name, vsize, vaddr, rsize, roffset = _unpack("<8sIIII", data, first + 40 * i)
        (characteristics,) = _unpack("<I", data, first + 40 * i + 36)
        result.append(Section(name.rstrip(b"\0").decode("utf-8", "replace"), vsize, vaddr, rsize, roffset,
                              characteristics))
    return result


def section_contents(data: bytes, name: str) -> bytes:
    """The raw bytes of the image's section `name` (as the file holds them, padding included)."""
    for section in image_sections(data):
        if section.name == name:
            if section.raw_offset + section.raw_size > len(data):
                raise CoffError(f"section {name} runs past the end of the file")
            return data[section.raw_offset:section.raw_offset + section.raw_size]
    raise CoffError(f"no section {name}")


def main(arguments: list) -> int:
    try:
        if len(arguments) == 2 and arguments[0] == "undefined":
            with open(arguments[1], "rb") as f:
                for name in undefined_externals(f.read()):
                    print(name)
            return 0
        if len(arguments) == 3 and arguments[0] == "section":
            with open(arguments[1], "rb") as f:
                sys.stdout.buffer.write(section_contents(f.read(), arguments[2]))
            return 0
    except (OSError, CoffError) as error:
        print(f"coff_tables.py: {arguments[1]}: {error}", file=sys.stderr)
        return 1
    print(__doc__.strip().splitlines()[-2].strip(), file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
