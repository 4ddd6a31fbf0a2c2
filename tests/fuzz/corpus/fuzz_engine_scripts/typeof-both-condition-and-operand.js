var a =c var c = <divÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿÿif (typeof fe||tch !== "undefined") fetudes(x%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%);ÿÿÿ
doc