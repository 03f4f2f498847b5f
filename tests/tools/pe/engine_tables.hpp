// The engine variables the test images' instructions refer to, in a .bss large enough to put them
// 48-64 MiB (name table) and 64-80 MiB (object table) after the code.
#pragma once

#define ENGINE_TABLES_BSS                                                                                    \
    "    .section .bss.engine,\"bw\"\n"                                                                      \
    "    .balign 16\n"                                                                                       \
    "    .globl engine_gap\n"                                                                                \
    "engine_gap:\n"                                                                                          \
    "    .space 0x03200000\n"                                                                                \
    "    .globl engine_name_table\n"                                                                         \
    "engine_name_table:\n"                                                                                   \
    "    .space 8\n"                                                                                         \
    "    .space 0x01000000\n"                                                                                \
    "    .globl engine_object_table\n"                                                                       \
    "engine_object_table:\n"                                                                                 \
    "    .space 64\n"
