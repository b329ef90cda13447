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
    .balign 16
    .globl veltrane_resource_png_201
    .hidden veltrane_resource_png_201
veltrane_resource_png_201:
    .incbin "img/back@2x.png"
    .globl veltrane_resource_png_201_end
    .hidden veltrane_resource_png_201_end
veltrane_resource_png_201_end:
    .balign 16
    .globl veltrane_resource_png_300
    .hidden veltrane_resource_png_300
veltrane_resource_png_300:
    .incbin "img/handle@2x.png"
    .globl veltrane_resource_png_300_end
    .hidden veltrane_resource_png_300_end
veltrane_resource_png_300_end:
    .balign 16
    .globl veltrane_resource_png_301
    .hidden veltrane_resource_png_301
veltrane_resource_png_301:
    .incbin "img/button@2x.png"
    .globl veltrane_resource_png_301_end
    .hidden veltrane_resource_png_301_end
veltrane_resource_png_301_end:
    .balign 16
    .globl veltrane_resource_png_302
    .hidden veltrane_resource_png_302
veltrane_resource_png_302:
    .incbin "img/switch_3@2x.png"
    .globl veltrane_resource_png_302_end
    .hidden veltrane_resource_png_302_end
veltrane_resource_png_302_end:
    .balign 16
    .globl veltrane_resource_png_303
    .hidden veltrane_resource_png_303
veltrane_resource_png_303:
    .incbin "img/switch_4@2x.png"
    .globl veltrane_resource_png_303_end
    .hidden veltrane_resource_png_303_end
veltrane_resource_png_303_end:
    .balign 16
    .globl veltrane_resource_png_304
    .hidden veltrane_resource_png_304
veltrane_resource_png_304:
    .incbin "img/switch_6@2x.png"
    .globl veltrane_resource_png_304_end
    .hidden veltrane_resource_png_304_end
veltrane_resource_png_304_end:
    .balign 16
    .globl veltrane_resource_png_305
    .hidden veltrane_resource_png_305
veltrane_resource_png_305:
    .incbin "img/vu@2x.png"
    .globl veltrane_resource_png_305_end
    .hidden veltrane_resource_png_305_end
veltrane_resource_png_305_end:
    .byte 0

    .section .note.GNU-stack,"",@progbits
