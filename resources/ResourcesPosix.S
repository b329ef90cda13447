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
    .balign 16
    .globl veltrane_resource_png_1
    .hidden veltrane_resource_png_1
veltrane_resource_png_1:
    .incbin "img/back.png"
    .globl veltrane_resource_png_1_end
    .hidden veltrane_resource_png_1_end
veltrane_resource_png_1_end:
    .balign 16
    .globl veltrane_resource_png_100
    .hidden veltrane_resource_png_100
veltrane_resource_png_100:
    .incbin "img/handle.png"
    .globl veltrane_resource_png_100_end
    .hidden veltrane_resource_png_100_end
veltrane_resource_png_100_end:
    .balign 16
    .globl veltrane_resource_png_101
    .hidden veltrane_resource_png_101
veltrane_resource_png_101:
    .incbin "img/button.png"
    .globl veltrane_resource_png_101_end
    .hidden veltrane_resource_png_101_end
veltrane_resource_png_101_end:
    .balign 16
    .globl veltrane_resource_png_102
    .hidden veltrane_resource_png_102
veltrane_resource_png_102:
    .incbin "img/switch_3.png"
    .globl veltrane_resource_png_102_end
    .hidden veltrane_resource_png_102_end
veltrane_resource_png_102_end:
    .balign 16
    .globl veltrane_resource_png_103
    .hidden veltrane_resource_png_103
veltrane_resource_png_103:
    .incbin "img/switch_4.png"
    .globl veltrane_resource_png_103_end
    .hidden veltrane_resource_png_103_end
veltrane_resource_png_103_end:
    .balign 16
    .globl veltrane_resource_png_104
    .hidden veltrane_resource_png_104
veltrane_resource_png_104:
    .incbin "img/switch_6.png"
    .globl veltrane_resource_png_104_end
    .hidden veltrane_resource_png_104_end
veltrane_resource_png_104_end:
    .balign 16
    .globl veltrane_resource_png_105
    .hidden veltrane_resource_png_105
veltrane_resource_png_105:
    .incbin "img/vu.png"
    .globl veltrane_resource_png_105_end
    .hidden veltrane_resource_png_105_end
veltrane_resource_png_105_end:
    .byte 0

    .section .note.GNU-stack,"",@progbits
