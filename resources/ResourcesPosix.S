/* Resource bytes of the Linux build; the Windows build takes the same files
   through Veltrane.rc. */
    .section .rodata
    .balign 16
    .globl veltrane_resource_proginit
    .hidden veltrane_resource_proginit
veltrane_resource_proginit:
    .incbin "factory.bank"
    .globl veltrane_resource_proginit_end
    .hidden veltrane_resource_proginit_end
veltrane_resource_proginit_end:
    .byte 0

    .section .note.GNU-stack,"",@progbits
