// Both engine patterns, once each, in .text; the instructions refer to variables in a .bss that is
// large enough to put them 48-64 MiB (name table) and 64-80 MiB (object table) away.
#include "engine_tables.hpp"

asm(ENGINE_TABLES_BSS R"(
    .text
    .globl sig_name_table
sig_name_table:
    movq engine_name_table(%rip), %rax
    testq %rax, %rax
    .byte 0x0f, 0x85, 0xb0, 0x00, 0x00, 0x00
    ret
    .globl sig_object_table
sig_object_table:
    leaq engine_object_table(%rip), %rcx
    .byte 0xe8, 0x10, 0x00, 0x00, 0x00
    .byte 0xe8, 0x20, 0x00, 0x00, 0x00
    .byte 0xe8, 0x30, 0x00, 0x00, 0x01
    ret
)");

int main() {
    return 0;
}
