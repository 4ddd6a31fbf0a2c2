var f = (a, {b}, ...c) => `${a}`;
class A { *g() { yield* h(); } async m() { await x?.y ?? 2 ** 3; } }
for (const v of [...s]) f(v,);
var o = {a, [k]: 1, m() {}}, r = /x/gsuy;
