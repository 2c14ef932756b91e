function outer(last, int "n") {
  function inner(c) { c.Trim(0, 3) }
  if (Default(n, 1) > 0 == true) { function never() { 1 } }
  inner()
}
BlankClip(width=16, height=16, length=8)
Assert(1 < 2 <= 2 == 2 != 3, "chain")
outer(n=2).SelectEvery(2, 0, 0).ConditionalFilter(last, last, "AverageLuma()", "lessthan", "20")
