a = """abc""""
b = LeftStr(a, 2) + String(3.5, "%5.2f")
try { Assert(false, b) } catch(e) { c = e }
for (i = 0, 3) { c = c + Chr(65 + i) }
BlankClip(width=16, height=16).Subtitle(c)
__END__
garbage