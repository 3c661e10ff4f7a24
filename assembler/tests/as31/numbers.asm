; Number forms, operators, data directives and names, as as31 reads them.
	.equ	base, 0x30
	.equ	count, 12
	.equ	mask, 0b1010
	.flag	ready, 0x20.3
	.flag	busy, 0x2f.7

	.org	0
start:	mov	a, #0ffh
	mov	a, #0x1f
	mov	a, #0x1fh
	mov	a, #101b
	mov	a, #17o
	mov	a, #129d
	mov	a, #010
	mov	a, #mask|1
	mov	a, #2+3&1
	mov	a, #6|1&2
	mov	a, #2|4*3
	mov	a, #count%5
	mov	a, #-count+20
	mov	a, #(count+4)/2*3
	mov	a, #'A'
	mov	a, #'\n'
	mov	a, #'\''
	mov	r0, #base
	mov	@r0, a
	movc	a, @a+dptr
	movc	a, @dptr+a
	movc	a, @pc+a
	anl	c, !ready
	orl	c, /busy
	setb	ready
	clr	busy
	mov	dptr, #table
	mov	dptr, #*
	sjmp	*
	ajmp	start
	acall	sub
	lcall	sub
	ljmp	start
sub:	ret

table:	.db	1, 2, count, base+1
	.byte	"Hello\r\n", 0
	.db	"a\"b\tc"
	.dw	0x1234, table, *
	.word	-1
	.skip	4
after:	.db	after & 0xff, after / 256
	.end
	nop
