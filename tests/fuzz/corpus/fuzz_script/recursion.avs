function F(int n) { return n < 2 ? n : F(n-1) + F(n-2) }
x = F(10)
BlankClip(length=x, width=32, height=32)
