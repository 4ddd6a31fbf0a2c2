let a = 1;
const b = { get x() { return a; }, y: [1, 2,], };
<!-- old comment
var s = "\u{1F600}", n = 0b1, m = 1_000n;
