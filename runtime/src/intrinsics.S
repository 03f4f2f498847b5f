// What every module of the Windows build needs in assembly: kept apart because clang-cl will not take
// numeric local labels in file-level inline assembly.
//
// __chkstk: called by compiler-generated prologues of frames larger than a
// page, with the frame size in RAX; touches every page between RSP and
// RSP-RAX, top down, so the guard page grows the stack in order. Clobbers
// nothing, leaves RSP as is.
    .text
    .globl __chkstk
__chkstk:
    pushq %rcx
    pushq %rax
    leaq 24(%rsp), %rcx
.Lprobe:
    cmpq $0x1000, %rax
    jb .Llast
    subq $0x1000, %rcx
    testq %rcx, (%rcx)
    subq $0x1000, %rax
    jmp .Lprobe
.Llast:
    subq %rax, %rcx
    testq %rcx, (%rcx)
    popq %rax
    popq %rcx
    retq

// ::type_info's vftable, which every RTTI type descriptor points at. Slot -1
// would hold an RTTI locator (none needed); slot 0 is the scalar deleting
// destructor, which for type_info objects (never heap-allocated) just
// returns `this`.
type_info_deleting_destructor:
    movq %rcx, %rax
    retq

    .section .rdata,"dr"
    .p2align 3
    .quad 0
    .globl "??_7type_info@@6B@"
"??_7type_info@@6B@":
    .quad type_info_deleting_destructor

// __security_check_cookie: called by every /GS-protected function before it returns, with the cookie it
// read back from its frame (xor its frame pointer) in RCX. It must keep RAX (the return value) and
// every other register; on a mismatch it does not return.
    .text
    .globl __security_check_cookie
__security_check_cookie:
    cmpq __security_cookie(%rip), %rcx
    jne .Lcookie_overwritten
    retq
.Lcookie_overwritten:
    subq $40, %rsp
    callq __report_gsfailure
    ud2
