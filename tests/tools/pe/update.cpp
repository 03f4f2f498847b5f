// A game before and after an update, built twice: without GAME_UPDATE the engine patterns match
// once each; with it a function is added before everything, 16 MiB of data lie before the engine
// variables (so the displacements' fixed top bytes no longer match) and 4 KiB before the other
// variables, and the instructions that load the name table use another register and a short jump.
// Functions of the same shapes that refer to other variables compete with the real ones, some with
// exactly the old bytes.
#ifndef GAME_UPDATE
#define GAME_UPDATE 0
#endif

#define STRINGIFY_(x) #x
#define STRINGIFY(x) STRINGIFY_(x)

asm(".set game_update, " STRINGIFY(GAME_UPDATE) R"(
    .section .bss.engine,"bw"
    .balign 16
    .globl engine_gap
engine_gap:
    .space 0x03200000
    .if game_update
    .globl engine_added
engine_added:
    .space 0x01000000
    .endif
    .globl engine_name_table
engine_name_table:
    .space 8
    .space 0x01000000
    .globl engine_object_table
engine_object_table:
    .space 64

    .data
    .balign 8
    .if game_update
    .space 4096
    .endif
    .globl decoy_flag
decoy_flag:
    .quad 0
decoy_list:
    .quad 0
decoy_count:
    .quad 0

    .text
    .if game_update
    .globl added_function
added_function:
    push %rbp
    mov %rsp, %rbp
    lea decoy_count(%rip), %rax
    addq $1, (%rax)
    pop %rbp
    ret
    .balign 16, 0xcc
    .endif

helper:
    ret
    .balign 16, 0xcc

    .globl decoy_names_first
decoy_names_first:
    push %rbx
    sub $0x20, %rsp
    mov $5, %ecx
    call helper
    movq decoy_flag(%rip), %rax
    testq %rax, %rax
    .byte 0x0f, 0x85, 0xb0, 0x00, 0x00, 0x00
    xor %eax, %eax
    add $0x20, %rsp
    pop %rbx
    ret
    .balign 16, 0xcc

    .globl engine_names_user
engine_names_user:
    push %rsi
    push %rdi
    sub $0x28, %rsp
    mov %rcx, %rsi
    lea decoy_list(%rip), %rdx
    mov $0x40, %r8d
    .globl sig_name_table
sig_name_table:
    .if game_update
    movq engine_name_table(%rip), %rdx
    testq %rdx, %rdx
    .byte 0x75, 0x08
    .else
    movq engine_name_table(%rip), %rax
    testq %rax, %rax
    .byte 0x0f, 0x85, 0xb0, 0x00, 0x00, 0x00
    .endif
    mov %rsi, %rcx
    call helper
    add $0x28, %rsp
    pop %rdi
    pop %rsi
    ret
    .balign 16, 0xcc

    .globl decoy_names_second
decoy_names_second:
    sub $0x38, %rsp
    movq decoy_list(%rip), %rax
    testq %rax, %rax
    .byte 0x0f, 0x85, 0xb0, 0x00, 0x00, 0x00
    mov $1, %eax
    add $0x38, %rsp
    ret
    .balign 16, 0xcc

    .globl decoy_objects
decoy_objects:
    sub $0x28, %rsp
    movabs $decoy_flag, %rax
    .byte 0x8b, 0x9c, 0x8a
    .rva decoy_flag
    xor %edx, %edx
    leaq decoy_list(%rip), %rcx
    call helper
    call helper
    call helper
    add $0x28, %rsp
    ret
    .balign 16, 0xcc

    .globl engine_objects_user
engine_objects_user:
    push %rbx
    sub $0x30, %rsp
    mov %rcx, %rbx
    mov $7, %edx
    .globl sig_object_table
sig_object_table:
    leaq engine_object_table(%rip), %rcx
    .byte 0xe8, 0x10, 0x00, 0x00, 0x00
    .byte 0xe8, 0x20, 0x00, 0x00, 0x00
    .byte 0xe8, 0x30, 0x00, 0x00, 0x01
    mov %rbx, %rcx
    add $0x30, %rsp
    pop %rbx
    ret
    .balign 16, 0xcc

    .globl image_addresses
image_addresses:
    push %rbx
    .globl image_address_imm64
image_address_imm64:
    movabs $engine_name_table, %rax
    .globl image_rva_displacement
image_rva_displacement:
    .byte 0x8b, 0x9c, 0x8a  # mov ebx, [rdx + rcx*4 + the RVA of decoy_list]
    .rva decoy_list
    .globl small_immediate
small_immediate:
    mov $0x1234, %ecx
    pop %rbx
    ret
    .balign 16, 0xcc

    .globl repeated_code
repeated_code:
    .rept 24
    add $1, %eax
    .endr
    ret
    .balign 16, 0xcc

    .globl undecodable
undecodable:
    .byte 0x06, 0x06, 0x06, 0x06
    .balign 16, 0xcc
)");

int main() {
    return 0;
}
