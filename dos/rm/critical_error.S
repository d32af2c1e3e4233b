// INT 24h, DOS's critical-error handler: always "fail the call" (AL=3), so
// that the call returns with an error instead of prompting the user.

  .code16
  .section .text.orvane_critical_error, "ax"
  .globl orvane_critical_error
  .type orvane_critical_error, @function
orvane_critical_error:
  movb $3, %al
  iretw
  .size orvane_critical_error, . - orvane_critical_error

  .section .note.GNU-stack, "", @progbits
