; A small serial monitor laid out as monitor programs for as31 are: vectors,
; a main loop, a command table and its strings.
	.equ	rbuf, 0x40
	.equ	cmdcount, 3
	.flag	echo, 0x21.0

	.org	0
	ljmp	reset
	.org	0x0b
	reti
	.org	0x23
	ljmp	serial

	.org	0x100
reset:	mov	sp, #0x60
	mov	scon, #0x52
	mov	tmod, #0x20
	mov	th1, #0xfd
	setb	tr1
	setb	echo
prompt:	mov	dptr, #banner
	acall	puts
loop:	acall	getc
	jnb	echo, noecho
	acall	putc
noecho:	mov	r7, #cmdcount
	mov	dptr, #cmds
find:	clr	a
	movc	a, @a+dptr
	cjne	a, rbuf, next
	inc	dptr
	clr	a
	movc	a, @a+dptr
	mov	r6, a
	inc	dptr
	clr	a
	movc	a, @a+dptr
	mov	dpl, a
	mov	dph, r6
	clr	a
	jmp	@a+dptr
next:	inc	dptr
	inc	dptr
	inc	dptr
	djnz	r7, find
	sjmp	loop

getc:	jnb	ri, getc
	clr	ri
	mov	a, sbuf
	mov	rbuf, a
	ret
putc:	jnb	ti, putc
	clr	ti
	mov	sbuf, a
	ret
puts:	clr	a
	movc	a, @a+dptr
	jz	done
	acall	putc
	inc	dptr
	sjmp	puts
done:	ret

serial:	push	acc
	push	psw
	pop	psw
	pop	acc
	reti

help:	mov	dptr, #banner
	ajmp	puts
dump:	mov	r0, #0x30
dloop:	mov	a, @r0
	acall	putc
	inc	r0
	cjne	r0, #0x40, dloop
	ret
go:	ljmp	0x2000

cmds:	.db	'?'
	.dw	help
	.db	'd'
	.dw	dump
	.db	'g'
	.dw	go
banner:	.db	"monitor 1.0\r\n> ", 0
	.end
