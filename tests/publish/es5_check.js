// Reads each script file named on the command line with acorn and says whether a reader of ES5 plus
// let and const reads it: one line per file, "<file>\treads" or "<file>\trefuses\t<why>".
//
// A script reads when acorn parses it as ES5. Otherwise it is parsed as ES2015: a script that fails
// there too refuses; one that parses reads only when the let and const declarations are its only
// constructs after ES5, which a walk over the whole tree looks for (node types that ES2015 brought,
// generators, shorthand, computed and method properties, regular-expression flags u and y, binary and
// octal number literals, code point escapes).
'use strict';

const fs = require('fs');
const acorn = require('acorn');

const es2015Types = new Set([
  'ArrowFunctionExpression', 'ClassDeclaration', 'ClassExpression', 'TemplateLiteral',
  'TaggedTemplateExpression', 'ObjectPattern', 'ArrayPattern', 'AssignmentPattern', 'RestElement',
  'SpreadElement', 'ForOfStatement', 'YieldExpression', 'Super', 'MetaProperty', 'ImportDeclaration',
  'ExportNamedDeclaration', 'ExportDefaultDeclaration', 'ExportAllDeclaration',
]);

// The first construct after ES5 other than let and const, or null.
function laterConstruct(node) {
  const stack = [node];
  while (stack.length) {
    const n = stack.pop();
    if (es2015Types.has(n.type)) return n.type;
    if ((n.type === 'FunctionDeclaration' || n.type === 'FunctionExpression') && n.generator) return 'generator';
    if (n.type === 'Property' && (n.shorthand || n.computed || n.method)) return 'Property ' + n.kind;
    if (n.type === 'Literal') {
      if (n.regex && /[uy]/.test(n.regex.flags)) return 'regular expression flag';
      if (typeof n.raw === 'string' && /^0[bBoO]/.test(n.raw)) return 'number literal';
      if (typeof n.raw === 'string' && /\\u\{/.test(n.raw)) return 'code point escape';
    }
    for (const key of Object.keys(n)) {
      const value = n[key];
      const children = Array.isArray(value) ? value : [value];
      for (const child of children)
        if (child && typeof child === 'object' && typeof child.type === 'string') stack.push(child);
    }
  }
  return null;
}

function verdict(source) {
  try {
    acorn.parse(source, {ecmaVersion: 5, sourceType: 'script'});
    return ['reads'];
  } catch (e) {
    // Read on as ES2015 below.
  }
  let tree;
  try {
    tree = acorn.parse(source, {ecmaVersion: 2015, sourceType: 'script'});
  } catch (e) {
    return ['refuses', e.message];
  }
  const later = laterConstruct(tree);
  return later ? ['refuses', later] : ['reads'];
}

for (const file of process.argv.slice(2)) {
  const result = verdict(fs.readFileSync(file, 'utf8'));
  process.stdout.write([file].concat(result).join('\t') + '\n');
}
