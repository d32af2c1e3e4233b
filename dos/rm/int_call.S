// The one place where BIOS and DOS interrupts are called.
//
// void orvane_int_call(uint8_t number, const Regs* in, Regs* out), called
// with regparm(3) from 32-bit (code16gcc) code: %al = the interrupt number,
// %edx = in, %ecx = out, both offsets in DS (which is also SS). All
// registers, DS and ES included, are the same on return. `int` takes its
// number as an immediate, so each interrupt we use has a stub of its own.
//
// void orvane_xms_call(uint8_t unused, const Regs* in, Regs* out) does the
// same with a far call to the XMS driver's entry (orvane_xms_entry, offset
// then segment, which xms.cpp sets) in place of the interrupt.
//
// The Regs layout (checked in int_call.cpp): eax 0, ebx 4, ecx 8, edx 12,
// esi 16, edi 20, ds 24, es 26, flags 28.

  .code16
  .text
  .globl orvane_int_call
  .type orvane_int_call, @function
orvane_int_call:
  pushal
  pushw %ds
  pushw %es
  pushl %ecx

  .irp n, 0x10, 0x13, 0x15, 0x16, 0x1a, 0x21, 0x25, 0x26, 0x2f
  movw $int_\n, %bp
  cmpb $\n, %al
  je load
  .endr

  // Not an interrupt we know: the call fails with the carry flag set.
  popl %ecx
  movw $1, 28(%ecx)
  jmp done

  .globl orvane_xms_call
  .type orvane_xms_call, @function
orvane_xms_call:
  pushal
  pushw %ds
  pushw %es
  pushl %ecx
  movw $xms_stub, %bp

load:
  // A segment of 0 means our own data segment.
  movw 26(%edx), %bx
  testw %bx, %bx
  jnz 1f
  movw %ds, %bx
1:
  movw %bx, %es
  movw 24(%edx), %bx
  testw %bx, %bx
  jnz 2f
  movw %ds, %bx
2:
  pushw %bx
  movl 0(%edx), %eax
  movl 4(%edx), %ebx
  movl 8(%edx), %ecx
  movl 16(%edx), %esi
  movl 20(%edx), %edi
  movl 12(%edx), %edx
  popw %ds
  callw *%bp
  cld

  // SS is still our data segment; DS may not be.
  pushfw
  pushw %ds
  pushl %edx
  pushw %ss
  popw %ds
  movw %sp, %bp
  movl 8(%bp), %edx
  movl %eax, 0(%edx)
  movl %ebx, 4(%edx)
  movl %ecx, 8(%edx)
  movl %esi, 16(%edx)
  movl %edi, 20(%edx)
  movw %es, 26(%edx)
  popl %eax
  movl %eax, 12(%edx)
  popw %ax
  movw %ax, 24(%edx)
  popw %ax
  movw %ax, 28(%edx)
  addw $4, %sp

done:
  popw %es
  popw %ds
  popal
  retl
  .size orvane_int_call, .-orvane_int_call

  // DS may be the caller's choice here; SS is our data segment.
xms_stub:
  lcallw *%ss:orvane_xms_entry
  retw

  // The stubs: each returns with the flags the interrupt left.
  .irp n, 0x10, 0x13, 0x15, 0x16, 0x1a, 0x21, 0x2f
int_\n:
  int $\n
  retw
  .endr

  // INT 25h and 26h return with the caller's flags still on the stack;
  // POP leaves the flags the call returned.
int_0x25:
  int $0x25
  popw %bp
  retw
int_0x26:
  int $0x26
  popw %bp
  retw

  .section .note.GNU-stack, "", @progbits
