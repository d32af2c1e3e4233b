// INT 24h, DOS's critical-error handler: always "fail the call" (AL=3), so
// that the call returns with an error instead of prompting the user. It
// keeps the error's code (DI's low byte) in orvane_critical_error_code,
// with 1 in the high byte, for TakeCriticalError(). DS is DOS's here: the
// data segment is CS + __data_paragraphs (com.ld).

  .code16
  .section .text.orvane_critical_error, "ax"
  .globl orvane_critical_error
  .type orvane_critical_error, @function
orvane_critical_error:
  pushw %ds
  pushw %ax
  movw %cs, %ax
  addw $__data_paragraphs, %ax
  movw %ax, %ds
  movw %di, %ax
  movb $1, %ah
  movw %ax, orvane_critical_error_code
  popw %ax
  popw %ds
  movb $3, %al
  iretw
  .size orvane_critical_error, . - orvane_critical_error

// INT 23h, Ctrl-C and Ctrl-Break: returning with IRET tells DOS to go on
// with the call it interrupted, instead of ending the program.
  .globl orvane_ignore_break
  .type orvane_ignore_break, @function
orvane_ignore_break:
  iretw
  .size orvane_ignore_break, . - orvane_ignore_break

  .section .note.GNU-stack, "", @progbits
