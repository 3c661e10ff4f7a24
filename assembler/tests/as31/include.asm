; An include file read where .inc stands.
	.org	0
	mov	a, #limit
.inc include.inc
	mov	r1, #limit+1
	sjmp	*
