#!/usr/bin/env python3
"""pe_tables.py on Wine's DLLs, whose stubs it finds in their own symbol tables as llvm-nm does, and on
damaged copies, whose errors must name the file and the field. (Its export and import tables are held
against pe/'s reader by the sigcheck tests.)

    pe_tables_test.py PE_TABLES_DIR WINE_DLLS LLVM_NM
"""
import os
import subprocess
import sys
import tempfile
import unittest

PE_TABLES_DIR, WINE_DLLS, LLVM_NM = sys.argv[1:4]
sys.path.insert(0, PE_TABLES_DIR)
import pe_tables

DLLS = ["kernel32", "msvcp140", "ucrtbase", "dbghelp"]


def nm_lines(path: str) -> list:
    return subprocess.run([LLVM_NM, path], capture_output=True, text=True, check=True).stdout.splitlines()


class WineDlls(unittest.TestCase):
    def test_the_stubs_left_out_are_the_exports_that_nm_names_wine_stubs(self):
        for dll in DLLS:
            with self.subTest(dll=dll):
                path = os.path.join(WINE_DLLS, dll + ".dll")
                image = pe_tables.Image(path)
                stub_addresses = {int(fields[0], 16) - image.image_base
                                  for fields in (line.split() for line in nm_lines(path))
                                  if len(fields) == 3 and fields[2].startswith("__wine_stub_")}
                self.assertTrue(stub_addresses)
                expected = {name for name, export in image.exports().named if export.rva in stub_addresses}
                entries = pe_tables.def_entries(image)
                self.assertEqual({name for name, kind in entries if kind == "stub"}, expected)
                self.assertEqual(len(entries), len(image.exports().named))


class DamagedFiles(unittest.TestCase):
    def setUp(self):
        self.scratch = tempfile.TemporaryDirectory()
        with open(os.path.join(WINE_DLLS, "psapi.dll"), "rb") as stream:
            self.data = bytearray(stream.read())

    def tearDown(self):
        self.scratch.cleanup()

    def error_of(self, data: bytes, command: str) -> str:
        path = os.path.join(self.scratch.name, "damaged.dll")
        with open(path, "wb") as stream:
            stream.write(data)
        ran = subprocess.run([sys.executable, os.path.join(PE_TABLES_DIR, "pe_tables.py"), command, path],
                             capture_output=True, text=True)
        self.assertEqual(ran.returncode, 1, ran.stdout)
        self.assertEqual(ran.stdout, "")
        self.assertTrue(ran.stderr.startswith(f"pe_tables.py: {path}: "), ran.stderr)
        return ran.stderr

    def test_a_file_cut_short_names_the_field_past_its_end(self):
        self.assertIn("e_lfanew: at file offset 0x3c, past the end of the file (32 bytes)",
                      self.error_of(bytes(self.data[:32]), "exports"))

    def test_a_lost_signature_and_a_32_bit_image_are_named(self):
        pe_offset = int.from_bytes(self.data[0x3C:0x40], "little")
        lost = bytearray(self.data)
        lost[pe_offset] = ord("X")
        self.assertIn(f"PE signature: not found at file offset 0x{pe_offset:x}", self.error_of(lost, "imports"))
        narrow = bytearray(self.data)
        narrow[pe_offset + 24:pe_offset + 26] = (0x10B).to_bytes(2, "little")
        self.assertIn("optional header Magic: 0x10b, not 0x20b", self.error_of(narrow, "sections"))

    def test_a_name_ordinal_past_the_address_table_is_named(self):
        image = pe_tables.Image("psapi.dll", bytes(self.data))
        directory = image.file_offset(image.directory(pe_tables.DIRECTORY_EXPORT)[0], "export directory")
        (ordinals_rva,) = image.unpack("<I", directory + 36, "AddressOfNameOrdinals")
        ordinals = image.file_offset(ordinals_rva, "AddressOfNameOrdinals")
        self.data[ordinals:ordinals + 2] = (0xFFFF).to_bytes(2, "little")
        self.assertIn("AddressOfNameOrdinals[0]: ", self.error_of(self.data, "exports"))
        self.assertIn("names entry 65535 of", self.error_of(self.data, "exports"))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1] + sys.argv[4:], verbosity=2)
