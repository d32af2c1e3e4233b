// The entry of a .COM program built from C++ (see com.ld for the layout).
//
// DOS starts us with CS = DS = ES = SS = the PSP and gives us all free
// conventional memory. We keep the code where it is, take the data segment
// that follows the code, give the rest of the memory back, clear .bss, move
// the stack into the data segment and run DosMain().

  .code16
  .section .text.start, "ax"
  .globl _start
_start:
  cld
  // The memory block must reach past the data segment's 64 KB; PSP:0002h
  // holds the segment just past it.
  movw %cs, %ax
  addw $(__data_paragraphs + 0x1000), %ax
  jc no_memory
  cmpw 0x0002, %ax
  ja no_memory

  // Keep the code and the data segment, free the rest (ES = PSP).
  movw $(__data_paragraphs + 0x1000), %bx
  movb $0x4a, %ah
  int $0x21
  jc no_memory

  movw %cs, %dx
  addw $__data_paragraphs, %dx
  movw %dx, %es
  movw $__bss_start, %di
  movw $__bss_end, %cx
  subw %di, %cx
  xorw %ax, %ax
  rep stosb

  // 32-bit code addresses the stack through ESP and EBP: their upper
  // halves must be zero.
  cli
  movw %dx, %ss
  movl $__stack_top, %esp
  sti
  movw %dx, %ds
  xorl %ebp, %ebp

  movw %cs, orvane_psp_segment
  movw %ds, orvane_data_segment
  calll DosMain
  movb $0x4c, %ah
  int $0x21

no_memory:
  // DS is still the PSP, which is also CS: the text is addressable.
  movw $no_memory_text, %dx
  movb $0x09, %ah
  int $0x21
  movw $0x4cff, %ax
  int $0x21

no_memory_text:
  .ascii "Not enough memory.\r\n$"

  .section .bss
  .globl orvane_psp_segment, orvane_data_segment
  .balign 2
orvane_psp_segment:
  .skip 2
orvane_data_segment:
  .skip 2

  .section .note.GNU-stack, "", @progbits
