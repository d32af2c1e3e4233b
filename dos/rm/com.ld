/* A .COM program with its code in the PSP segment and its data in a segment
 * of its own.
 *
 * The code runs at CS:0100h as DOS loads it. Everything else (read-only
 * data, data, bss and the stack) lives in one 64 KB data segment that
 * start.S sets up in DS = ES = SS. The data sections have addresses from 0
 * (offsets in that segment) and are stored right after the code, at a
 * paragraph boundary, so that the loaded file already holds them at
 * CS * 16 + __data_load: the data segment is CS + __data_paragraphs.
 *
 * Pointers to code (vtables, switch tables) are offsets in CS and are read
 * through DS; both work because the code keeps its load addresses. */

/* Linked as ELF (the linker drops unused sections only there), then
 * copied out by objcopy -O binary. */
OUTPUT_FORMAT(elf32-i386)
OUTPUT_ARCH(i386)
ENTRY(_start)

/* What the stack gets at least, below SP's first value (__stack_top). */
__stack_minimum = 6 * 1024;
__stack_top = 0xFFF0;

SECTIONS
{
  . = 0x100;
  .text : {
    KEEP(*(.text.start))
    *(.text .text.*)
    /* Data that only FarRead from CS reaches (CODE_DATA): the Chinese
     * texts and glyphs, kept out of the full data segment. */
    *(.cstext .cstext.*)
  }
  __text_end = .;

  __data_load = ALIGN(__text_end, 16);
  __data_paragraphs = __data_load / 16;

  .data 0 : AT(__data_load) {
    /* Nothing lives at offset 0, so that no object has the address of a
     * null pointer. */
    LONG(0) LONG(0) LONG(0) LONG(0)
    *(.rodata .rodata.*)
    *(.data .data.*)
  }
  __data_end = .;

  .bss (NOLOAD) : {
    __bss_start = .;
    *(.bss .bss.*)
    *(COMMON)
    __bss_end = .;
  }

  /* Static constructors and destructors would need a runtime that runs
   * them; there is none, so they must stay empty. */
  .init_array (NOLOAD) : { KEEP(*(.init_array .init_array.* .ctors .ctors.*)) }
  .fini_array (NOLOAD) : { KEEP(*(.fini_array .fini_array.* .dtors .dtors.*)) }

  /* Tables of position-independent code, which we do not build. */
  .got (NOLOAD) : { *(.got .got.* .igot .igot.* .plt .plt.* .iplt) }

  /DISCARD/ : {
    *(.comment) *(.note .note.*) *(.eh_frame .eh_frame_hdr)
    *(.rel.* .rela.*)
  }
}

ASSERT(SIZEOF(.init_array) == 0, "static constructors are not supported")
ASSERT(SIZEOF(.fini_array) == 0, "static destructors are not supported")
ASSERT(SIZEOF(.got) == 0, "position-independent code is not supported")
ASSERT(__text_end <= 0xFFF0, "the code does not fit its 64 KB segment")
/* DOS starts a .COM with SP = FFFEh in the program's own segment, and the
 * kernel and interrupts push onto that stack before start.S moves it: the
 * file's last bytes (the end of .data) must stay below it. At 0xFEF8 bytes
 * FreeDOS damaged them and BF ended at once; 0xFE00 leaves 254 bytes. */
ASSERT(__data_load - 0x100 + __data_end <= 0xFE00,
       "the .COM file reaches the stack DOS starts it with (CS:FFFEh)")
ASSERT(__bss_end + __stack_minimum <= __stack_top,
       "data and bss leave less than 6 KB of stack in the data segment")
