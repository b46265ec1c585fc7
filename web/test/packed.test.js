// The tarball npm pack makes, installed into a fresh project (TAV_PACKED):
// its files, and the same conversion through import, require, an esbuild
// IIFE bundle and TypeScript's checks of a typed use.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { readFileSync, readdirSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { root } from './program.js';

const project = process.env.TAV_PACKED;
const bin = (name) => join(root, 'web/node_modules/.bin', name);
const run = (file, args = []) => execFileSync(file, args, { cwd: project, encoding: 'utf8' });

test('the tarball holds the package, its README and its licence', () => {
    const tarball = readdirSync(join(project, '..')).find((name) => name.endsWith('.tgz'));
    const files = run('tar', ['tzf', join(project, '..', tarball)]).split('\n').filter(Boolean).sort();
    assert.deepEqual(files, ['LICENSE', 'README.md', 'dist/tav.cjs', 'dist/tav.d.cts', 'dist/tav_wasm.js',
                             'package.json', 'page/marcxml.js', 'page/marcxml_encoding.js', 'page/marcxml_fields.js',
                             'page/marcxml_parsing.js', 'tav.d.ts', 'tav.js', 'xml_parser.js'].map((f) => `package/${f}`));
});

const use = `await init();
const r = convert('123456789\\t1.2\\tG-2\\t3/4\\t\\t4CYD');
const z = convert('1\\t1\\tG-2\\t\\t\\t4C', { compress: true });
const { records: [m] } = await readMarcxml(new TextEncoder().encode('<record><controlfield tag="001">7</controlfield>' +
    '<datafield tag="031"><subfield code="a">1</subfield><subfield code="p">4C</subfield></datafield></record>'));
console.log(JSON.stringify([r.status, r.fileName, r.identifier, r.number, r.messages[0],
                            z.fileName, String.fromCharCode(...z.data.subarray(30, 38)), convertFields(m.fields).fileName, version]));`;
const expected = JSON.stringify(['failed', '', 123456789, '1.2', { kind: 'error', text: 'char: Y, ascii: 89, i: 25',
    position: 25, bytePosition: 25, field: 'music', fieldPosition: 2, byte: 89, code: 'unknown_sign' },
    '1-1.mxl', 'mimetype', '7-1...xml', JSON.parse(readFileSync(join(root, 'web/package.json'))).version]);

test('import, require and a bundle convert alike', () => {
    const later = `(async () => {\n${use}\n})();`;
    const names = '{ init, convert, convertFields, readMarcxml, version }';
    writeFileSync(join(project, 'esm.mjs'), `import ${names} from 'tav-incipit';\n${use}`);
    writeFileSync(join(project, 'cjs.cjs'), `const ${names} = require('tav-incipit');\n${later}`);
    writeFileSync(join(project, 'app.mjs'), `import ${names} from 'tav-incipit';\n${later}`);
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
export const read: Promise<Result[]> = readMarcxml(new Uint8Array()).then(({ records, notes }) =>
    records.map(({ fields }) => convertFields(fields, { musicxml: notes[0]?.kind === 'error' ? '4.0' : '1.0' })));
export const v: string = version;
export const keyed: Result[] = (readRecords('@data:4C', 'pae').entries ?? []).flatMap((e) => 'fields' in e ? [convertFields(e.fields)] : []);
// @ts-expect-error a message code is one of the library's
export const code: MessageCode = 'no_such_code';
// @ts-expect-error a record is a string or bytes
convert(1);
export type M = ${module};`;
    writeFileSync(join(project, 'typed.mts'),
        `import { init, convert, convertFields, readMarcxml, readRecords, version, type Result, type FieldName, type MessageCode } from 'tav-incipit';\n${typed("'esm'")}`);
    writeFileSync(join(project, 'typed.cts'),
        `import { init, convert, convertFields, readMarcxml, readRecords, version, type Result, type FieldName, type MessageCode } from 'tav-incipit';\n${typed("'cjs'")}`);
    run(bin('tsc'), ['--noEmit', '--strict', '--module', 'nodenext', '--target', 'es2022', 'typed.mts', 'typed.cts']);
});
