#!/usr/bin/env python3
"""Makes the mod's list of accepted spellings of its host names from the compiler's own output.

    spellings.py --undname LLVM_UNDNAME --list OUT.txt --source OUT.cpp
                 (--object OBJ --keys NAME=key,...)...

Each OBJ is host_names.cpp compiled with the header's open class keys chosen as --keys says (NAME is
the SML_KEY_ macro without its prefix); the first object is the header's own choice. Every __imp_
symbol an object leaves undefined is a host name as that choice spells it. Names are matched across
objects by their demangled text without its class keys; a function's spellings are the header's
first, then every other one, those that differ in fewer keys first. OUT.txt is the list as the DLL
carries it (section .bwbind), OUT.cpp the source that puts it there and gives each name its slot.
"""
import argparse
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "pe_tables"))
import pe_tables

_KEYED_TYPE = re.compile(r"\b(class|struct) ((?:[A-Za-z_]\w*::)*[A-Za-z_]\w*)")


def demangle(undname: str, names: list) -> dict:
    out = subprocess.run([undname, *names], capture_output=True, text=True, check=True).stdout
    lines = out.split("\n")
    result = {}
    for i in range(0, len(names)):
        mangled, text = lines[3 * i], lines[3 * i + 1]
        if mangled != names[i] or text.startswith("error"):
            raise SystemExit(f"spellings.py: llvm-undname cannot read {names[i]}")
        result[names[i]] = text
    return result


def without_keys(text: str) -> str:
    return _KEYED_TYPE.sub(r"\2", text)


def key_changes(header_text: str, text: str) -> list:
    """The class types whose key differs between two demangled spellings of one function, as Type=key."""
    header_types = _KEYED_TYPE.findall(header_text)
    types = _KEYED_TYPE.findall(text)
    changes = []
    for (header_key, name), (key, other) in zip(header_types, types):
        assert name == other
        if header_key != key and f"{name}={key}" not in changes:
            changes.append(f"{name}={key}")
    return changes


def short_name(name: str) -> str:
    """The function's own name from its decorated name, for the build's summary."""
    special, word = re.match(r"\?(\?[01])?(\w+)@", name).groups()
    return {"?0": f"{word}::{word}", "?1": f"{word}::~{word}"}.get(special or "", word)


def c_string(text: str) -> str:
    lines = text.splitlines(keepends=True)
    return "\n".join('    "' + line.replace("\\", "\\\\").replace('"', '\\"').replace("\n", "\\n") + '"'
                     for line in lines)


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--undname", required=True)
    parser.add_argument("--list", required=True)
    parser.add_argument("--source", required=True)
    parser.add_argument("--object", action="append", default=[])
    parser.add_argument("--keys", action="append", default=[])
    arguments = parser.parse_args()
    if not arguments.object or len(arguments.object) != len(arguments.keys):
        parser.error("give each --object its --keys")

    choices = []
    for path, keys in zip(arguments.object, arguments.keys):
        try:
            undefined = pe_tables.undefined_externals(pe_tables.Reader(path))
        except (OSError, pe_tables.TableError) as error:
            raise SystemExit(f"spellings.py: {error}")
        names = [n[len("__imp_"):] for n in undefined if n.startswith("__imp_")]
        choices.append((dict(k.split("=") for k in keys.split(",")), names))
    header_keys = choices[0][0]
    texts = demangle(arguments.undname, sorted({n for _, names in choices for n in names}))

    # The header's own names, in the order host_names.cpp uses them, then the others, fewest keys
    # flipped first (a spelling is kept with the first choice that gives it).
    functions = [(without_keys(texts[n]), [n]) for n in choices[0][1]]
    index = {identity: i for i, (identity, _) in enumerate(functions)}
    flipped = lambda keys: sum(keys[k] != header_keys[k] for k in keys)
    for keys, names in sorted(choices[1:], key=lambda choice: flipped(choice[0])):
        if len(names) != len(functions):
            raise SystemExit(f"spellings.py: {len(names)} host names with keys {keys}, {len(functions)} with the header's")
        for name in names:
            identity = without_keys(texts[name])
            if identity not in index:
                raise SystemExit(f"spellings.py: {texts[name]} (keys {keys}) is none of the header's names")
            spellings = functions[index[identity]][1]
            if name not in spellings:
                spellings.append(name)

    text = "brickwright-bind 1\n"
    for _, spellings in functions:
        text += f"function {texts[spellings[0]]}\n"
        text += f"spelling {spellings[0]}\n"
        for other in spellings[1:]:
            text += f"spelling {other} {' '.join(key_changes(texts[spellings[0]], texts[other]))}\n"
    text += "end\n"
    with open(arguments.list, "w", encoding="utf-8", newline="\n") as f:
        f.write(text)

    slots = [f"brickwrightHostSlot{i}" for i in range(len(functions))]
    source = [
        "// Made by host/binding/spellings.py from the objects of host_names.cpp: do not edit.",
        "// What it defines is declared in host_binding_list.hpp (not included: the section goes on the",
        "// first declaration).",
        "#include <cstddef>",
        "",
        "// The pointer each host name's import resolves to, filled by the binding at load.",
        'extern "C" {',
        *[f"void* {slot} = nullptr;" for slot in slots],
        "}",
        *[f'#pragma comment(linker, "/alternatename:__imp_{spellings[0]}={slot}")'
          for (_, spellings), slot in zip(functions, slots)],
        "",
        "namespace brickwright::hostbinding::detail {",
        "",
        '#pragma section(".bwbind", read)',
        '__declspec(allocate(".bwbind")) extern const char kBindList[] =',
        c_string(text) + ";",
        "",
        "extern void** const kSlots[] = {" + ", ".join(f"&{slot}" for slot in slots) + "};",
        "extern const std::size_t kSlotCount = sizeof kSlots / sizeof kSlots[0];",
        "",
        "} // namespace brickwright::hostbinding::detail",
        "",
    ]
    with open(arguments.source, "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(source))
    counts = ", ".join(f"{short_name(s[0])} {len(s)}" for _, s in functions)
    print(f"host names: {len(functions)}, spellings {counts}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
