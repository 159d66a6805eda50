# SPDX-License-Identifier: MIT
# uint32_t StdcallStackLeft(void* fn, uint32_t count, const uint32_t* args, int32_t* result)
# Pushes the arguments (the first pushed last, as C pushes them), calls fn, stores its
# result and returns how many bytes of arguments fn left on the stack: 0 for a function
# that removes its arguments itself, as an exported stdcall function must.
        .text
        .globl  _StdcallStackLeft
_StdcallStackLeft:
        pushl   %ebp
        movl    %esp, %ebp
        pushl   %esi
        pushl   %ebx
        movl    12(%ebp), %ecx
        movl    16(%ebp), %edx
        movl    %esp, %esi
1:      testl   %ecx, %ecx
        jz      2f
        decl    %ecx
        pushl   (%edx,%ecx,4)
        jmp     1b
2:      call    *8(%ebp)
        movl    20(%ebp), %ecx
        movl    %eax, (%ecx)
        movl    %esi, %eax
        subl    %esp, %eax
        movl    %esi, %esp
        popl    %ebx
        popl    %esi
        popl    %ebp
        ret
