// The tarball npm pack makes, installed into a fresh project (TAV_PACKED):
// its files, and the same conversion through import, require, an esbuild
// IIFE bundle and TypeScript's checks of a typed use.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { readdirSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { root } from './program.js';

const project = process.env.TAV_PACKED;
const bin = (name) => join(root, 'web/node_modules/.bin', name);
const run = (file, args = []) => execFileSync(file, args, { cwd: project, encoding: 'utf8' });

test('the tarball holds the package, its README and its licence', () => {
    const tarball = readdirSync(join(project, '..')).find((name) => name.endsWith('.tgz'));
    const files = run('tar', ['tzf', join(project, '..', tarball)]).split('\n').filter(Boolean).sort();
    assert.deepEqual(files, ['LICENSE', 'README.md', 'dist/tav.cjs', 'dist/tav.d.cts', 'dist/tav_wasm.js',
                             'package.json', 'tav.d.ts', 'tav.js'].map((f) => `package/${f}`));
});

const use = `await init();
const r = convert('123456789\\t1.2\\tG-2\\t3/4\\t\\t4CYD');
const z = convert('1\\t1\\tG-2\\t\\t\\t4C', { compress: true });
console.log(JSON.stringify([r.status, r.fileName, r.identifier, r.number, r.messages[0],
                            z.fileName, String.fromCharCode(...z.data.subarray(30, 38))]));`;
const expected = JSON.stringify(['failed', '', 123456789, '1.2', { kind: 'error', text: 'char: Y, ascii: 89, i: 25',
    position: 25, bytePosition: 25, field: 'music', fieldPosition: 2, byte: 89, code: 'unknown_sign' },
    '1-1.mxl', 'mimetype']);

test('import, require and a bundle convert alike', () => {
    const later = `(async () => {\n${use}\n})();`;
    writeFileSync(join(project, 'esm.mjs'), `import { init, convert } from 'tav-incipit';\n${use}`);
    writeFileSync(join(project, 'cjs.cjs'), `const { init, convert } = require('tav-incipit');\n${later}`);
    writeFileSync(join(project, 'app.mjs'), `import { init, convert } from 'tav-incipit';\n${later}`);
    run(bin('esbuild'), ['app.mjs', '--bundle', '--format=iife', '--platform=browser', '--outfile=iife.js',
                         '--log-level=error', '--supported:top-level-await=false']);
    for (const file of ['esm.mjs', 'cjs.cjs', 'iife.js'])
        assert.equal(run(process.execPath, [file]).trim(), expected, file);
});

test('the declarations type a use of both entries', () => {
    const typed = (module) => `const r: Result = convert('1\\t1\\tG-2\\t\\t\\t4C', { bytes: true });
const id: number = r.identifier;
const where: FieldName | null = r.messages[0]?.field ?? null;
const data: Uint8Array | undefined = r.data;
convertFields({ music: new Uint8Array([52, 67]) }, { removeMensural: true, compress: true, musicxml: '4.0' });
export const done: Promise<void> = init().then(() => void [id, where, data]);
// @ts-expect-error a record is a string or bytes
convert(1);
export type M = ${module};`;
    writeFileSync(join(project, 'typed.mts'),
        `import { init, convert, convertFields, type Result, type FieldName } from 'tav-incipit';\n${typed("'esm'")}`);
    writeFileSync(join(project, 'typed.cts'),
        `import { init, convert, convertFields, type Result, type FieldName } from 'tav-incipit';\n${typed("'cjs'")}`);
    run(bin('tsc'), ['--noEmit', '--strict', '--module', 'nodenext', '--target', 'es2022', 'typed.mts', 'typed.cts']);
});
