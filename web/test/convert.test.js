// The package against the command-line program: every corpus is converted
// by both, and the files and messages must be the same, byte for byte.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { existsSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { spawnSync } from 'node:child_process';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { gzipSync } from 'node:zlib';
import { init, convert, convertFields, formats, inputForms, readMarcxml, readRecords, version } from '../tav.js';
import { decoder, describedBy, descriptions, linesOf, program, root, runBatch, runProgram, zipEntries } from './program.js';
import { keysOf, parseQuery, search } from '../page/search.js';

await init();

function assertSameAsProgram(lines, letters) {
    const program = runProgram(lines, letters);
    const options = { removeMensural: letters.includes('m'), removeMeasureRests: letters.includes('r'), bytes: true };
    const files = new Map();
    const messages = [];
    for (const line of lines) {
        const r = convert(line, options);
        assert.equal(r.ok, r.messages.every((m) => m.kind === 'warning') && r.status === 'converted');
        if (r.ok)
            files.set(r.fileName, r.data);
        messages.push(...r.messages);
        for (const m of r.messages) {  // an unreadable sign is located in the message's text
            const sign = /ascii: (\d+), i: (\d+)$/.exec(m.text);
            assert.deepEqual([m.byte, m.bytePosition], sign ? [Number(sign[1]), Number(sign[2])] : [null, null]);
            assert.match(m.code, sign ? /^unknown_sign$/ : /^[a-z_]+$/);
            assert.notEqual(m.code, 'other', m.text);
        }
    }
    assert.deepEqual([...files.keys()].sort(), [...program.files.keys()].sort());
    for (const [name, data] of files)
        assert.ok(program.files.get(name).equals(data), `${name} differs from the program's file`);
    assert.equal(messages.length, program.messages.length);
    messages.forEach((m, i) => {
        const [, kind, line] = program.messages[i];
        assert.equal(m.kind.toUpperCase(), kind);
        assert.ok(line.endsWith(`, ${m.text}`), `${line} is not ${m.text}`);
    });
}

// Seeded random lines: a header, then signs and bytes of every kind.
function randomLines(count, seed) {
    let state = seed;
    const next = (n) => {
        state = (Math.imul(state, 1103515245) + 12345) >>> 0;
        return (state >>> 8) % n;
    };
    const signs = ["4", "8", "'", ",", "A", "C", "-", "{", "}", "(", ")", ";3", "/", "//", "=2/", "/i",
                   "!", "f", "q", "qq", "r", "g", "t", "+", "x", "b", "$bB[E]", "%C-1", "@3/4", " ", ".", "7."];
    const lines = [];
    for (let i = 0; i < count; ++i) {
        const parts = [`${100000 + next(900000)}\t1.${next(9)}\tG-2\t${['3/4', 'c', 'o', '\\-', ''][next(5)]}\t\t`];
        for (let k = next(60); k > 0; --k)
            parts.push(next(12) === 0 ? String.fromCharCode(1 + next(255)) : signs[next(signs.length)]);
        const line = Buffer.from(parts.join(''), 'latin1');
        if (i % 7 === 0)  // a byte of the header changed
            line[next(line.length)] = 1 + next(255);
        lines.push(line.filter((b) => b !== 10 && b !== 13));
    }
    return lines.filter((line) => line.length > 0);
}

// Records that pass the converter's limits, or could take time or memory;
// each its own file name, as the program warns for a name written twice.
const MILLION = 'C'.repeat(1000000);
const hostile = [
    'C'.repeat(10 << 20), '=99999999/4C', '=4294967296/4C', `4${MILLION}D`, `4${'C'.repeat(500000)}/i/i`,
    `4C${'%G-2'.repeat(10000)}${'/i'.repeat(2000)}`, `!A!${'f'.repeat(20000)}`, `4${'('.repeat(100000)}ABC`,
    `4${"'".repeat(100000)}C`, `4${'.'.repeat(100000)}C`, '4A)(;5', '4qqqqA', '4({A)}', '4$x[',
].map((music, i) => Buffer.from(`123456789\t1.1.${i}\tG-2\t3/4\t\t${music}`, 'latin1'))
    .concat([Buffer.alloc(5 << 20, 9), ...['\t\t\t', '000000001\t1/../x\tG-2\t3/4\t\t4C',
        `2147483647\t${'1'.repeat(64)}\tG-2\t3/4\t\t=4://`, `1234567890\t${'1'.repeat(65)}\tG-2\t3/4\t\t4C`,
        '2147483648\t1\tG-2\t3/4\t\t4C'].map((line) => Buffer.from(line))]);

const corpora = [
    ['the examples', linesOf('examples/incipits.txt'), ['', 'm', 'r', 'mr']],
    ['the generated corpus', linesOf('tests/data/corpus_records.txt'), ['', 'mr']],
    ['random lines', randomLines(3000, 2005), ['']],
    ['hostile records', hostile, ['']],
];
for (const [name, lines, letterSets] of corpora) {
    for (const letters of letterSets) {
        test(`${name} with options '${letters}' convert as the program converts them`, { timeout: 300000 }, () => {
            assertSameAsProgram(lines, letters);
        });
    }
}

test('strings, bytes and fields give the same results', () => {
    for (const line of linesOf('examples/incipits.txt')) {
        const [identifier, number, clef, time, time2, music] = decoder.decode(line).split('\t');
        const expected = convert(line);
        assert.deepEqual(convert(decoder.decode(line)), expected);
        assert.deepEqual(convertFields({ identifier, number, clef, time, time2, music }), expected);
    }
    const records = ['\n4C', hostile[0], '123456789\t1\tG-2\t3/4\t\t4CYD', '123456789\t1\tG-2\t3/4\t\t4CD'];
    assert.deepEqual(records.map((record) => convert(record).status), ['blank', 'too_large', 'failed', 'converted']);
});

// What a record gives beyond the program's files: its identifier and number,
// no file name unless converted, and where a sign is, in the record as given
// and in its field.
const BIG = Buffer.alloc(600 << 20, 67);
const results = [
    ['a failed record', '123456789\t1.2\tG-2\t3/4\t\t4CY',
        { status: 'failed', fileName: '', identifier: 123456789, number: '1.2' },
        { position: 25, bytePosition: 25, field: 'music', fieldPosition: 2 }],
    ['text before the sign', '123456789\t1\u00e9\tG-2\t3/4\t\u{1d11e}\t4CY',
        { status: 'failed', number: '1\u00e9' }, { position: 26, bytePosition: 29, field: 'music', fieldPosition: 2 }],
    ['bytes', Buffer.from('1\t1\xe9\tG-2\t3/4\t\t4CY', 'latin1'),
        { status: 'failed', identifier: 1 }, { position: 16, bytePosition: 16, field: 'music', fieldPosition: 2 }],
    ['fields with null ones', { identifier: '1', number: '1\u00e9', music: '4CY' },
        { status: 'failed', fileName: '' }, { position: 14, bytePosition: 15, field: 'music', fieldPosition: 2 }],
    ['a key apart', { identifier: '1', number: '1', key: 'bB', music: '4CY' },
        { status: 'failed' }, { position: 17, bytePosition: 17, field: 'music', fieldPosition: 2 }],
    ['a sign in the key', { identifier: '1', number: '1', key: 'bQ', music: '4C' },
        { status: 'failed' }, { position: 13, bytePosition: 13, field: 'key', fieldPosition: 1 }],
    ['a key with its sign', { identifier: '1', number: '1', key: '$bQ', music: '4C' },
        { status: 'failed' }, { position: 13, bytePosition: 13, field: 'key', fieldPosition: 2 }],
    ['a converted record', { identifier: '42', number: '1.1.1', clef: 'G-2', music: '4C' },
        { status: 'converted', fileName: '42-1.1.1.xml', identifier: 42, number: '1.1.1', messages: [] }, {}],
    ['a field holding a TAB', { identifier: '1', number: '1.1\tF-4', clef: 'G-2', music: '4C' },
        { status: 'failed', fileName: '' }, { text: 'number field holds a tab or a line end', field: null }],
    ['no text asked for', '42\t1\tG-2\t3/4\t\t4C', { status: 'converted', xml: '' }, {}, { xml: false }],
    ['a description', { identifier: '7', number: '1', music: '4C', composer: 'A & B', partName: 'vl 1' },
        { status: 'converted', xml: convert('7\t1\t\\-\t\\-\t\t4C').xml.replace('<part-name>MusicXML Part</part-name>',
            '<part-name>vl 1</part-name>').replace('<encoding>', '<creator type="composer">A &amp; B</creator>\n\t\t<encoding>') }, {}],
    ['texts longer together than a line', { identifier: '1', number: '1', music: BIG, composer: BIG },
        { status: 'line_too_long', fileName: '', xml: '' }, { position: null, field: null }],
];
test('results say which record and where its sign is', () => {
    for (const [name, input, expected, message, options] of results) {
        const r = typeof input === 'string' || input instanceof Uint8Array ? convert(input, options) : convertFields(input, options);
        assert.deepEqual({ ...r, ...expected }, r, name);
        if (r.messages.length > 0)
            assert.deepEqual({ ...r.messages[0], ...message }, r.messages[0], name);
    }
});

// The document options against the batch command's files: MusicXML 4.0,
// and compressed files, whose archives hold the same entries in the same
// order (the deflated bytes may differ). The records add incipit numbers
// that the container names in other forms: escaped, UTF-8 and Latin-1.
const named = [...linesOf('examples/incipits.txt'), ...['1.1&"<', '1.1\u00e9', '1.\u00e9'].map((number, i) =>
    Buffer.from(`12345678\t${number}\tG-2\t3/4\t\t4C`, i === 2 ? 'latin1' : 'utf8'))];
const documentOptions = [
    [{ musicxml: '4.0' }, ['--musicxml', '4.0']],
    [{ compress: true }, ['--compress']],
    [{ compress: true, musicxml: '4.0', xml: false }, ['--compress', '--musicxml', '4.0']],
    // Every row of the formats table by its name, and its container where it has one.
    ...formats().flatMap((f) => [[{ format: f.name }, ['--format', f.name]], ...(f.compressible
        ? [[{ format: f.name, compress: true, xml: false }, ['--format', f.name, '--compress']]] : [])]),
];
test('documents and compressed files are the batch command\'s', () => {
    const dir = mkdtempSync(join(tmpdir(), 'tav-web-'));
    const input = join(dir, 'in.txt');
    writeFileSync(input, Buffer.concat(named.flatMap((line) => [line, Buffer.from('\n')])));
    for (const [options, args] of documentOptions) {
        const files = new Map();
        for (const line of named) {
            const r = convert(line, { ...options, bytes: !options.compress });
            if (r.ok)
                files.set(r.fileName, Buffer.from(r.data));
        }
        const expected = runBatch(input, args);
        assert.deepEqual([...files.keys()].sort(), [...expected.keys()].sort(), args.join(' '));
        const theirs = [...files.keys()].map((name) => expected.get(name));
        const row = formats().find((f) => f.name === options.format) ?? formats()[0];
        for (const name of files.keys())
            assert.ok(name.endsWith(options.compress ? row.compressedSuffix : row.suffix), name);
        if (options.compress) {
            const entries = zipEntries([...files.values()]);
            assert.deepEqual(entries, zipEntries(theirs));
            // The container's media types are the row's.
            assert.deepEqual(entries[0][0].slice(0, 2), ['mimetype', 0]);
            assert.equal(decoder.decode(entries[0][0][2]), row.compressedMediaType);
            assert.ok(decoder.decode(entries[0][1][2]).includes(`media-type="${row.mediaType}"`));
        } else {
            assert.deepEqual([...files.values()], theirs);
        }
    }
    rmSync(dir, { recursive: true });
    for (const wrong of [{ musicxml: '3.0' }, { format: 'musicxml' }, { format: 'musicxml1', musicxml: '4.0' },
                         ...formats().filter((f) => !f.compressible).map((f) => ({ format: f.name, compress: true }))])
        assert.throws(() => convert('1\t1\t\t\t\t4C', wrong), RangeError, JSON.stringify(wrong));
});

// The melodic keys of every corpus record are those of the batch
// command's report with --keys, field by field.
const KEY_FIELDS = ['pitches', 'midi', 'chromatic_intervals', 'diatonic_intervals', 'gross_contour',
                    'refined_contour', 'durations', 'beats'];
test('melodic keys are the batch command\'s report keys', () => {
    const dir = mkdtempSync(join(tmpdir(), 'tav-web-'));
    try {
        const corpus = join(root, 'tests/data/corpus_records.txt');
        const report = join(dir, 'report.jsonl');
        runBatch(corpus, ['-n', '--keys', '--report', report]);
        const expected = readFileSync(report, 'utf8').split('\n').filter(Boolean).map((l) => JSON.parse(l))
            .filter((r) => r.type === 'record');
        const lines = linesOf('tests/data/corpus_records.txt');
        assert.equal(lines.length, expected.length);
        lines.forEach((line, i) => {
            const r = convert(line, { melody: true, xml: false });
            const theirs = 'pitches' in expected[i] ? Object.fromEntries(KEY_FIELDS.map((k) => [k, expected[i][k]])) : null;
            assert.deepEqual(r.melody, theirs, `line ${i + 1}`);
        });
        assert.equal(convert(lines[0]).melody, undefined);
    } finally {
        rmSync(dir, { recursive: true, force: true });
    }
});

// The page's search ranks the records it holds as tav_search ranks a
// database of the same records: the same hits, places and scores, in order.
const hasDatabase = spawnSync(program('tav_search'), ['--help']).status === 0;
test('the page\'s search finds what tav_search finds', { skip: !hasDatabase && 'a build without SQLite' }, () => {
    const dir = mkdtempSync(join(tmpdir(), 'tav-web-'));
    try {
        const lines = linesOf('tests/data/corpus_records.txt');
        const database = join(dir, 'catalogue.sqlite');
        runBatch(join(root, 'tests/data/corpus_records.txt'), ['-n', '--database', database]);
        const results = lines.map((line) => convert(line, { melody: true, xml: false }));
        const entries = results.map((r) => (r.ok ? keysOf(r.melody) : null));
        const melodyOfCode = (music) => convertFields({ identifier: '1', number: '1', clef: 'G-2', music },
                                                      { melody: true, xml: false }).melody;
        // Openings of records as intervals, contours and music; a query found nowhere.
        const opening = (k, n) => entries[k].intervals.slice(0, n).map((v) => (v >= 0 ? `+${v}` : `${v}`)).join(' ');
        const queries = [[opening(5, 6), []], [opening(40, 2), []], [opening(77, 9), ['-n', '25']],
                         [entries[9].contour.slice(0, 4), []], ["'4C8DE/2F", []], ["'4C8DE/2F", ['--exact']],
                         ["8CDEFG", ['--rhythm']], ['+11 +11 +11 +11', []]];
        for (const [query, args] of queries) {
            const run = spawnSync(program('tav_search'), [database, query, '--json', ...args], { encoding: 'utf8' });
            assert.equal(run.status, 0, run.stderr);
            const theirs = run.stdout.split('\n').filter(Boolean).map((l) => JSON.parse(l))
                .map((h) => [h.identifier, h.number, h.note, h.exact, h.score.toFixed(3)]);
            const hits = search(entries, parseQuery(query, melodyOfCode), {
                exactPitch: args.includes('--exact'), rhythm: args.includes('--rhythm'),
                hits: args.includes('-n') ? Number(args[1]) : 10 });
            const mine = hits.map((h) => [String(results[h.index].identifier), results[h.index].number, h.note,
                                          h.exact, h.score.toFixed(3)]);
            assert.deepEqual(mine, theirs, `${query} ${args.join(' ')}`);
        }
        assert.equal(existsSync(database), true);
    } finally {
        rmSync(dir, { recursive: true, force: true });
    }
});

// MARCXML read in Node: the catalogue's documents are the batch command's
// (an encoding date is the day's), and where xmldom alone would let a
// fault pass, the record is not well-formed, as the batch command finds.
const dated = (data) => decoder.decode(data).replace(/<encoding-date>[^<]*</, '<encoding-date><');
test('MARCXML read in Node converts as the batch command reads it', async () => {
    const catalogue = join(root, 'tests/data/marcxml/catalogue.xml');
    const { records } = await readMarcxml(readFileSync(catalogue));
    assert.equal((await readMarcxml(gzipSync(readFileSync(catalogue)))).records.length, records.length);
    // Records that name their source, creators and work, linked to the record.
    const sources = join(root, 'tests/data/marcxml/sources.xml');
    const described = (await readMarcxml(readFileSync(sources))).records;
    assert.deepEqual(described.map(({ fields }) => describedBy(fields)), descriptions());
    const uri = 'https://example.org/{id}?a=<1>&b={id}';
    for (const [file, read, options, args] of [
        [catalogue, records, {}, []], [catalogue, records, { musicxml: '4.0' }, ['--musicxml', '4.0']],
        [sources, described, {}, []],
        [sources, described, { musicxml: '4.0', recordUri: uri }, ['--musicxml', '4.0', '--record-uri', uri]]]) {
        const files = new Map(read.map(({ fields }) => convertFields(fields, { ...options, bytes: true }))
            .filter((r) => r.ok).map((r) => [r.fileName, dated(r.data)]));
        const expected = runBatch(file, args);
        assert.deepEqual(files, new Map([...expected].map(([name, data]) => [name, dated(data)])), args.join(' '));
    }
    const record = (id, inside) => `<record><controlfield tag="001">${id}</controlfield><datafield tag="031">` +
        `<subfield code="a">1</subfield><subfield code="z">\uFFFD</subfield><subfield code="p">4C${inside}//</subfield></datafield></record>`;
    const faults = ['<b x=1/>', '<b x="&#1;"/>', '&#1;', '\x01', '&nbsp;', '&#xD800;', '<b></c>'];
    const dir = mkdtempSync(join(tmpdir(), 'tav-web-'));
    for (const [i, fault] of faults.entries()) {
        const file = join(dir, `${i}.xml`);
        writeFileSync(file, `<collection>${record(1, fault)}${record(2, '')}</collection>`);
        const { records: read, notes } = await readMarcxml(readFileSync(file));
        assert.deepEqual([read.map((r) => convertFields(r.fields).fileName), notes.map((n) => n.kind)],
                         [[...runBatch(file).keys()], ['error']], fault);
    }
    rmSync(dir, { recursive: true });
});

// The table of hostile MARCXML (tests/data/marcxml/hostile.txt): its cases
// for the page give its incipits and messages in Node.
const unescape = (text) => Buffer.concat(text.split(/(\\x[0-9A-Fa-f]{2}|\\[nrt\\])/).map((part, i) => i % 2 === 0
    ? Buffer.from(part) : Buffer.from(part[1] === 'x' ? [parseInt(part.slice(2), 16)] : { n: '\n', r: '\r', t: '\t', '\\': '\\' }[part[1]])));
const openRecord = (_, id, music) => `<record><controlfield tag="001">${id}</controlfield><datafield tag="031">` +
    '<subfield code="a">1</subfield><subfield code="b">1</subfield><subfield code="c">1</subfield>' +
    `<subfield code="p">${music}</subfield></datafield>`;
test('hostile MARCXML: the page\'s cases of the table', async () => {
    const cases = readFileSync(join(root, 'tests/data/marcxml/hostile.txt'), 'utf8').split(/^== /m).slice(1).map((block) => {
        const lines = block.split('\n').map((line) => line.split(/ (.*)/s));
        const all = (word) => lines.filter(([w]) => w === word).map(([, rest]) => rest);
        return { name: lines[0].join(' '), for: all('for')[0] ?? 'page', encoding: all('encoding')[0], in: all('in').join('\n'),
                 incipits: all('incipit'), messages: lines.filter(([w]) => w === 'error' || w === 'warning')
                     .map(([w, rest]) => `${w} ${rest.split(' ')[0]}`).sort() };
    }).filter((c) => c.for.split(' ').includes('page'));
    assert.ok(cases.length >= 10);
    for (const c of cases) {
        const bytes = unescape(c.in.replace(/\{([^|{}]*)\|([^{}]*)\}/g, openRecord));
        const utf16 = c.encoding && Buffer.from(`\uFEFF${bytes}`, 'utf16le');
        const { records, notes } = await readMarcxml(c.encoding === 'utf-16be' ? utf16.swap16() : utf16 || bytes);
        const incipits = records.map(({ fields: f }, n) =>
            `${f.identifier} ${f.number} ${f.music}${c.incipits[n]?.includes(' | ') ? ` | ${f.composer}` : ''}`);
        assert.deepEqual([incipits, notes.map((m) => `${m.kind} ${m.control ?? '-'}`).sort()],
                         [c.incipits.map((line) => String(unescape(line))), c.messages], c.name);
    }
});

// The shared table of the key-value and JSON forms (tests/data/readers/cases.txt):
// each input is recognised as its form, and read gives the incipits the
// record lines give and the reader's messages, in their order.
test('the key-value and JSON forms: the cases of the table', () => {
    assert.deepEqual(inputForms().map((f) => f.name), ['tab', 'marcxml', 'pae', 'json']);
    const cases = [];
    for (const line of readFileSync(join(root, 'tests/data/readers/cases.txt'), 'utf8').split('\n')) {
        const [word, rest] = [line.split(' ', 1)[0], line.slice(line.indexOf(' ') + 1)];
        if (word === '==')
            cases.push({ name: rest, input: [], expected: [] });
        else if (word === 'form')
            Object.assign(cases.at(-1), { form: rest, start: rest });
        else if (['start', 'in'].includes(word))
            word === 'start' ? cases.at(-1).start = rest : cases.at(-1).input.push(unescape(word === line ? '' : rest));
        else if (line !== '' && !line.startsWith('#'))
            cases.at(-1).expected.push([word, word === 'tab' ? unescape(rest) : rest]);
    }
    const codes = (r) => r.messages.map((m) => `${m.kind} ${m.code}`);
    for (const c of cases) {
        const input = new Uint8Array(Buffer.concat(c.input.flatMap((b, i) => i > 0 ? [Buffer.from('\n'), b] : [b])));
        assert.equal(readRecords(input).form, c.start, c.name);
        // An incipit's warnings stand before it in the table.
        const read = readRecords(input, c.form).entries.flatMap((e) => e.fields === undefined ? [e]
            : [...e.warnings.map((w) => ({ kind: 'warning', code: w.code })), e]);
        assert.equal(read.length, c.expected.length, c.name);
        read.forEach((entry, i) => {
            const [word, value] = c.expected[i];
            if (entry.fields === undefined)
                return assert.deepEqual([entry.kind, entry.code], [word, value], c.name);
            const r = convertFields(entry.fields, { bytes: true });
            if (word === 'fails')
                return assert.deepEqual([r.ok, r.messages.some((m) => m.code === value)], [false, true], c.name);
            const expected = convert(new Uint8Array(value), { bytes: true });
            assert.deepEqual([r.fileName, r.data, codes(r)], [expected.fileName, expected.data, codes(expected)], c.name);
        });
    }
});

// The version, and the message codes that the declarations name, are the library's.
test('the version and the message codes are the library\'s', () => {
    const text = (file) => readFileSync(join(root, file), 'utf8');
    const header = readFileSync(join(process.env.TAV_EXE ?? join(root, 'build/release/tav2005_10'), '../include/tav/version.h'), 'utf8');
    assert.deepEqual([JSON.parse(text('web/package.json')).version, /TAV_VERSION_STRING "(.*)"/.exec(header)[1]],
                     [version, version]);
    const codes = [...text('src/record/message_codes.cpp').matchAll(/\{[A-Za-z]+, "([a-z_]+)",/g)].map((m) => m[1]);
    const declared = /type MessageCode =([^;]*);/.exec(text('web/tav.d.ts'))[1].match(/[a-z_]+/g);
    assert.deepEqual(declared, codes);
});
