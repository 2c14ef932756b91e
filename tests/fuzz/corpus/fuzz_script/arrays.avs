function Sum(int_array x, int "n") {
  t = 0
  for (i = 0, Default(n, ArraySize(x)) - 1) { t = t + x[i] }
  return t
}
a = ArrayAdd([[1, 2], "s"], [3, [4]], 1)
d = [["w", 32], ["h", 24]]
b = ArraySet(ArrayDel(ArrayIns(a, 0, 0), 2), 7, 1, 1)
BlankClip(length=Sum(1, 2, 3), width=d["w"], height=ArrayGet(d, "h"), color=color_brown)
