// Both engine patterns, once each, in .text; the instructions refer to variables in a .bss that is
// large enough to put them 48-64 MiB (name table) and 64-80 MiB (object table) away.
asm(R"(
    .section .bss.engine,"bw"
    .balign 16
    .globl engine_gap
engine_gap:
    .space 0x03200000
    .globl engine_name_table
engine_name_table:
    .space 8
    .space 0x01000000
    .globl engine_object_table
engine_object_table:
    .space 64

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
