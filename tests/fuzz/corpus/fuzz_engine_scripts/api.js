if (typeof fetch !== "undefined") fetch("a");
if (!window.IntersectionObserver) { return; }
new IntersectionObserver(cb);
Object.assign({}, Object.entries(o));
"abc".includes(x);
document.querySelectorAll("p").forEach(f);
navigator.clipboard.writeText(t);
function Promise() {}
