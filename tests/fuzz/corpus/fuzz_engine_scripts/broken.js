var a = 1;
var b = ;var c = <div>{a}</div>;
