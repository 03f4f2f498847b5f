#!/usr/bin/env python3
"""pe_tables.py: the tables of x86-64 PE images and COFF objects that the build and its checks read,
read here and nowhere else (the C++ reader in pe/ is for the tools; its tests use this one as the
independent view). Every error names the file and the field.

    pe_tables.py headers IMAGE          "image-base 0x..." and "size-of-image N"
    pe_tables.py exports IMAGE          "dll NAME", "base N", "functions N", then one line per name of each
                                        used address-table entry: "ORDINAL 0xRVA NAME", NAME "-" when the
                                        entry has none, " forwarded TARGET" after a forwarded one
    pe_tables.py exports --names IMAGE  the exported names, one a line
    pe_tables.py imports IMAGE          "DLL NAME" for each import in table order (NAME "#N" by ordinal);
                                        "DLL" alone for a DLL imported with no names
    pe_tables.py sections IMAGE         "NAME 0xRVA VIRTUAL_SIZE 0xFILE_OFFSET RAW_SIZE", one a section
    pe_tables.py section IMAGE NAME     the raw contents of the section NAME on stdout
    pe_tables.py symbols IMAGE          "0xRVA NAME" for each symbol of the COFF symbol table defined in a
                                        section
    pe_tables.py def --out DIR DLL...   DIR/<name>.def for llvm-dlltool, and DIR/<name>.stubs.txt
    pe_tables.py undefined OBJECT       the object's undefined external symbols, one a line

def: an export that resolves into a section that is not code is marked DATA, so that the import library
offers only __imp_<name> for it (a missing dllimport then fails to link instead of binding to a thunk).
A forwarded export is listed as a function. An export that Wine only stubs (the DLL's symbol table names
it __wine_stub_*; calling one aborts) is left out of the .def and listed in the .stubs.txt, so that code
needing one fails to link rather than to run.
"""
import argparse
import os
import struct
import sys
from typing import NamedTuple, Optional

PE_SIGNATURE = b"PE\0\0"
OPTIONAL_HEADER_PE32_PLUS = 0x20B
SECTION_HEADER_SIZE = 40
SECTION_CONTAINS_CODE = 0x00000020
SECTION_MEMORY_EXECUTE = 0x20000000
IMPORT_BY_ORDINAL = 1 << 63
IMAGE_SYM_CLASS_EXTERNAL = 2
BIGOBJ_CLASS_ID = bytes.fromhex("c7a1bad1eebaa94baf20faf66aa4dcb8")
WINE_STUB_PREFIX = "__wine_stub_"

DIRECTORY_EXPORT = 0
DIRECTORY_IMPORT = 1


class TableError(Exception):
    """A file that cannot be read as the tables say: the message names the file and the field."""


class Section(NamedTuple):
    name: str
    virtual_address: int
    virtual_size: int
    raw_offset: int
    raw_size: int
    characteristics: int

    def holds(self, rva: int) -> bool:
        # As far as the image maps it: the larger of the two sizes, which covers a .bss's room.
        return self.virtual_address <= rva < self.virtual_address + max(self.virtual_size, self.raw_size)

    @property
    def is_code(self) -> bool:
        return bool(self.characteristics & (SECTION_CONTAINS_CODE | SECTION_MEMORY_EXECUTE))


class Symbol(NamedTuple):
    name: str
    value: int
    section: int  # 1-based; 0 undefined, -1 absolute, -2 debug
    storage_class: int

    @property
    def undefined_external(self) -> bool:
        # An undefined external with a value is a common (uninitialised) definition, not a reference.
        return self.section == 0 and self.storage_class == IMAGE_SYM_CLASS_EXTERNAL and self.value == 0


class Export(NamedTuple):
    ordinal: int
    rva: int
    names: list
    forwarded_to: Optional[str]


class ExportDirectory(NamedTuple):
    dll: str
    base: int
    function_count: int
    entries: list  # the used entries of the address table, by ordinal
    named: list  # (name, Export) in the order of the name table


class Reader:
    """The bytes of one file, read with bounds checks that name the field being read."""

    def __init__(self, path: str, data: Optional[bytes] = None):
        self.path = path
        if data is None:
            with open(path, "rb") as stream:
                data = stream.read()
        self.data = data

    def fail(self, field: str, problem: str):
        raise TableError(f"{self.path}: {field}: {problem}")

    def unpack(self, layout: str, offset: int, field: str) -> tuple:
        if offset < 0 or offset + struct.calcsize(layout) > len(self.data):
            self.fail(field, f"at file offset 0x{offset:x}, past the end of the file ({len(self.data)} bytes)")
        return struct.unpack_from(layout, self.data, offset)

    def string(self, offset: int, field: str) -> str:
        end = self.data.find(b"\0", offset)
        if offset < 0 or offset >= len(self.data) or end < 0:
            self.fail(field, f"the string at file offset 0x{offset:x} has no end")
        return self.data[offset:end].decode("ascii", errors="replace")


def read_symbol_table(reader: Reader, table: int, count: int, record: int, layout: str) -> list:
    """Every record of a COFF symbol table (auxiliary records skipped), in table order."""
    strings_at = table + count * record
    (strings_size,) = reader.unpack("<I", strings_at, "string table size") if count else (4,)
    strings = reader.data[strings_at:strings_at + strings_size]
    symbols, index = [], 0
    while index < count:
        raw, value, section, _, storage, aux = reader.unpack(layout, table + index * record, f"symbol {index}")
        if raw[:4] == b"\0\0\0\0":
            (offset,) = struct.unpack_from("<I", raw, 4)
            end = strings.find(b"\0", offset)
            name = strings[offset:end if end >= 0 else len(strings)].decode("utf-8", "replace")
        else:
            name = raw.rstrip(b"\0").decode("utf-8", "replace")
        symbols.append(Symbol(name, value, section, storage))
        index += 1 + aux
    return symbols


def object_symbols(reader: Reader) -> list:
    """The symbols of a COFF object, in the ordinary format or /bigobj's."""
    first, second = reader.unpack("<HH", 0, "file header")
    if first == 0 and second == 0xFFFF and reader.data[12:28] == BIGOBJ_CLASS_ID:
        table, count = reader.unpack("<II", 48, "bigobj PointerToSymbolTable")
        return read_symbol_table(reader, table, count, 20, "<8sIiHBB")
    table, count = reader.unpack("<II", 8, "PointerToSymbolTable")
    return read_symbol_table(reader, table, count, 18, "<8sIhHBB")


def undefined_externals(reader: Reader) -> list:
    return [symbol.name for symbol in object_symbols(reader) if symbol.undefined_external]


class Image:
    """A PE32+ image: its headers, sections and the tables the data directories point at."""

    def __init__(self, path: str, data: Optional[bytes] = None):
        self.reader = reader = Reader(path, data)
        (pe_offset,) = reader.unpack("<I", 0x3C, "e_lfanew")
        if reader.data[pe_offset:pe_offset + 4] != PE_SIGNATURE:
            reader.fail("PE signature", f"not found at file offset 0x{pe_offset:x}")
        (section_count,) = reader.unpack("<H", pe_offset + 6, "NumberOfSections")
        self.symbol_table, self.symbol_count = reader.unpack("<II", pe_offset + 12, "PointerToSymbolTable")
        (optional_size,) = reader.unpack("<H", pe_offset + 20, "SizeOfOptionalHeader")
        optional = pe_offset + 24
        (magic,) = reader.unpack("<H", optional, "optional header Magic")
        if magic != OPTIONAL_HEADER_PE32_PLUS:
            reader.fail("optional header Magic", f"0x{magic:x}, not 0x{OPTIONAL_HEADER_PE32_PLUS:x} (PE32+, x86-64)")
        (self.image_base,) = reader.unpack("<Q", optional + 24, "ImageBase")
        (self.size_of_image,) = reader.unpack("<I", optional + 56, "SizeOfImage")
        (directory_count,) = reader.unpack("<I", optional + 108, "NumberOfRvaAndSizes")
        self.directories = [reader.unpack("<II", optional + 112 + 8 * index, f"data directory {index}")
                            for index in range(min(directory_count, 16))]
        self.sections = []
        for index in range(section_count):
            header = optional + optional_size + SECTION_HEADER_SIZE * index
            field = f"section header {index}"
            (raw_name,) = reader.unpack("<8s", header, field)
            virtual_size, virtual_address, raw_size, raw_offset = reader.unpack("<IIII", header + 8, field)
            (characteristics,) = reader.unpack("<I", header + 36, field)
            self.sections.append(Section(self.section_name(raw_name, field), virtual_address, virtual_size,
                                         raw_offset, raw_size, characteristics))

    def section_name(self, raw: bytes, field: str) -> str:
        name = raw.rstrip(b"\0").decode("utf-8", "replace")
        # A longer name, as MinGW's linker writes it: "/N", N its offset in the symbol table's strings.
        if name.startswith("/") and name[1:].isdigit() and self.symbol_table:
            strings = self.symbol_table + 18 * self.symbol_count
            return self.reader.string(strings + int(name[1:]), f"{field} name {name}")
        return name

    def fail(self, field: str, problem: str):
        self.reader.fail(field, problem)

    def unpack(self, layout: str, offset: int, field: str) -> tuple:
        return self.reader.unpack(layout, offset, field)

    def directory(self, index: int) -> tuple:
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def section_of(self, rva: int) -> Optional[Section]:
        return next((section for section in self.sections if section.holds(rva)), None)

    def file_offset(self, rva: int, field: str) -> int:
        section = self.section_of(rva)
        if section is None:
            self.fail(field, f"RVA 0x{rva:x} lies in no section")
        return rva - section.virtual_address + section.raw_offset

    def string_at(self, rva: int, field: str) -> str:
        start = self.file_offset(rva, field)
        end = self.reader.data.find(b"\0", start)
        if end < 0:
            self.fail(field, f"the string at RVA 0x{rva:x} has no end")
        return self.reader.data[start:end].decode("ascii", errors="replace")

    def is_code(self, rva: int) -> bool:
        section = self.section_of(rva)
        return section is not None and section.is_code

    def section_contents(self, name: str) -> bytes:
        """The raw bytes of the section `name` (as the file holds them, padding included)."""
        for section in self.sections:
            if section.name == name:
                if section.raw_offset + section.raw_size > len(self.reader.data):
                    self.fail(f"section {name}", "runs past the end of the file")
                return self.reader.data[section.raw_offset:section.raw_offset + section.raw_size]
        self.fail("section table", f"no section {name}")

    def exports(self) -> ExportDirectory:
        export_rva, export_size = self.directory(DIRECTORY_EXPORT)
        if export_rva == 0:
            self.fail("export data directory", "empty: the image exports nothing")
        directory = self.file_offset(export_rva, "export directory")
        (name_rva, base, function_count, name_count, functions_rva, names_rva, ordinals_rva) = self.unpack(
            "<IIIIIII", directory + 12, "export directory")
        functions = self.file_offset(functions_rva, "AddressOfFunctions") if function_count else 0
        names = self.file_offset(names_rva, "AddressOfNames") if name_count else 0
        ordinals = self.file_offset(ordinals_rva, "AddressOfNameOrdinals") if name_count else 0
        names_of, named_entries = {}, []
        for index in range(name_count):
            field = f"AddressOfNames[{index}]"
            (export_name_rva,) = self.unpack("<I", names + 4 * index, field)
            name = self.string_at(export_name_rva, field)
            field = f"AddressOfNameOrdinals[{index}]"
            (entry,) = self.unpack("<H", ordinals + 2 * index, field)
            if entry >= function_count:
                self.fail(field, f"{name} names entry {entry} of {function_count} functions")
            names_of.setdefault(entry, []).append(name)
            named_entries.append((name, entry))
        address_table = []
        for entry in range(function_count):
            (rva,) = self.unpack("<I", functions + 4 * entry, f"AddressOfFunctions[{entry}]")
            forwarded_to = None
            if rva != 0 and export_rva <= rva < export_rva + export_size:
                forwarded_to = self.string_at(rva, f"AddressOfFunctions[{entry}] forwarder")
            address_table.append(Export(base + entry, rva, names_of.get(entry, []), forwarded_to))
        return ExportDirectory(self.string_at(name_rva, "export directory Name"), base, function_count,
                               [export for export in address_table if export.rva != 0],
                               [(name, address_table[entry]) for name, entry in named_entries])

    def imports(self) -> list:
        """(dll, [names]) for each import descriptor, in table order; an ordinal import is "#N"."""
        import_rva, _ = self.directory(DIRECTORY_IMPORT)
        if import_rva == 0:
            return []
        descriptor = self.file_offset(import_rva, "import directory")
        result = []
        for index in range(1 << 16):
            field = f"import descriptor {index}"
            lookup_rva, _, _, name_rva, address_rva = self.unpack("<IIIII", descriptor + 20 * index, field)
            if lookup_rva == 0 and name_rva == 0 and address_rva == 0:
                return result
            dll = self.string_at(name_rva, f"{field} Name")
            thunks = self.file_offset(lookup_rva or address_rva, f"{field} OriginalFirstThunk")
            names = []
            for slot in range(1 << 20):
                (thunk,) = self.unpack("<Q", thunks + 8 * slot, f"{dll} import lookup table[{slot}]")
                if thunk == 0:
                    break
                if thunk & IMPORT_BY_ORDINAL:
                    names.append(f"#{thunk & 0xFFFF}")
                else:
                    names.append(self.string_at((thunk & 0x7FFFFFFF) + 2, f"{dll} import lookup table[{slot}] name"))
            result.append((dll, names))
        self.fail("import directory", "no terminating descriptor")

    def defined_symbols(self) -> list:
        """(rva, name) for each symbol of the image's COFF symbol table that a section defines."""
        if self.symbol_table == 0:
            return []
        symbols = read_symbol_table(self.reader, self.symbol_table, self.symbol_count, 18, "<8sIhHBB")
        result = []
        for symbol in symbols:
            if 1 <= symbol.section <= len(self.sections):
                result.append((self.sections[symbol.section - 1].virtual_address + symbol.value, symbol.name))
        return result


def def_entries(image: Image) -> list:
    """The DLL's exports by name for a .def, each as (name, kind) with kind "function", "data" or "stub"."""
    stubs = {rva for rva, name in image.defined_symbols() if name.startswith(WINE_STUB_PREFIX)}
    entries = []
    for name, export in image.exports().named:
        if export.rva in stubs:
            entries.append((name, "stub"))
        elif export.forwarded_to is not None:
            entries.append((name, "function"))
        else:
            entries.append((name, "function" if image.is_code(export.rva) else "data"))
    return entries


def write_definitions(path: str, entries: list, out_dir: str):
    file_name = os.path.basename(path)
    stem = os.path.splitext(file_name)[0]
    with open(os.path.join(out_dir, stem + ".def"), "w") as definitions:
        definitions.write(f"LIBRARY {file_name}\nEXPORTS\n")
        for name, kind in entries:
            if kind != "stub":
                definitions.write(f"    {name}{' DATA' if kind == 'data' else ''}\n")
    with open(os.path.join(out_dir, stem + ".stubs.txt"), "w") as stubs:
        stubs.writelines(name + "\n" for name, kind in entries if kind == "stub")
    data = sum(1 for _, kind in entries if kind == "data")
    stubbed = sum(1 for _, kind in entries if kind == "stub")
    print(f"{stem}: {len(entries)} exports, {data} DATA, {stubbed} Wine stubs left out")


def print_exports(image: Image, names_only: bool):
    directory = image.exports()
    if names_only:
        for name, _ in directory.named:
            print(name)
        return
    print(f"dll {directory.dll}\nbase {directory.base}\nfunctions {directory.function_count}")
    for export in directory.entries:
        forwarded = f" forwarded {export.forwarded_to}" if export.forwarded_to is not None else ""
        for name in export.names or ["-"]:
            print(f"{export.ordinal} 0x{export.rva:x} {name}{forwarded}")


def print_imports(image: Image):
    for dll, names in image.imports():
        if not names:
            print(dll)
        for name in names:
            print(f"{dll} {name}")


def print_sections(image: Image):
    for section in image.sections:
        print(f"{section.name} 0x{section.virtual_address:x} {section.virtual_size} 0x{section.raw_offset:x} "
              f"{section.raw_size}")


def parse_arguments(arguments: list):
    parser = argparse.ArgumentParser(prog="pe_tables.py", description=__doc__.splitlines()[0])
    commands = parser.add_subparsers(dest="command", required=True)
    for command in ("headers", "sections", "symbols", "imports"):
        commands.add_parser(command).add_argument("image")
    exports = commands.add_parser("exports")
    exports.add_argument("--names", action="store_true", help="the exported names alone")
    exports.add_argument("image")
    section = commands.add_parser("section")
    section.add_argument("image")
    section.add_argument("name")
    definitions = commands.add_parser("def")
    definitions.add_argument("--out", required=True, help="the folder the .def and .stubs.txt files go to")
    definitions.add_argument("dlls", nargs="+", metavar="DLL")
    commands.add_parser("undefined").add_argument("object")
    return parser.parse_args(arguments)


def main(arguments: list) -> int:
    options = parse_arguments(arguments)
    try:
        if options.command == "undefined":
            for name in undefined_externals(Reader(options.object)):
                print(name)
        elif options.command == "def":
            os.makedirs(options.out, exist_ok=True)
            for path in options.dlls:
                write_definitions(path, def_entries(Image(path)), options.out)
        else:
            image = Image(options.image)
            if options.command == "headers":
                print(f"image-base 0x{image.image_base:x}\nsize-of-image {image.size_of_image}")
            elif options.command == "exports":
                print_exports(image, options.names)
            elif options.command == "imports":
                print_imports(image)
            elif options.command == "sections":
                print_sections(image)
            elif options.command == "section":
                sys.stdout.flush()
                sys.stdout.buffer.write(image.section_contents(options.name))
            elif options.command == "symbols":
                for rva, name in image.defined_symbols():
                    print(f"0x{rva:x} {name}")
    except TableError as error:
        print(f"pe_tables.py: {error}", file=sys.stderr)
        return 1
    except OSError as error:
        print(f"pe_tables.py: {error.filename}: {error.strerror}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
