// The name-table pattern twice, once in .text and once in an executable section of its own that the
// linker places after it, and the object-table pattern once.
#include "engine_tables.hpp"

asm(ENGINE_TABLES_BSS R"(
    .text
    .globl sig_name_table_first
sig_name_table_first:
    movq engine_name_table(%rip), %rax
    testq %rax, %rax
    .byte 0x0f, 0x85, 0xb0, 0x01, 0x00, 0x00
    ret
    .globl sig_object_table
sig_object_table:
    leaq engine_object_table(%rip), %rcx
    .byte 0xe8, 0xff, 0xff, 0xff, 0x00
    .byte 0xe8, 0x00, 0x00, 0x00, 0x00
    .byte 0xe8, 0x00, 0x00, 0x00, 0x01
    ret

    .section .patch,"xr"
    .balign 16
    .globl sig_name_table_second
sig_name_table_second:
    movq engine_name_table(%rip), %rax
    testq %rax, %rax
    .byte 0x0f, 0x85, 0xb0, 0x22, 0x00, 0x00
    ret
)");

int main() {
    return 0;
}
