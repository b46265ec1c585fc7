// The page in headless Chromium, served from a static folder on 127.0.0.1:
// records pasted in are engraved with every note, the files downloaded
// equal the program's and the batch command's, with the options of the
// moment, and so does the report. TAV_SCREENSHOT=FILE also saves a picture.
import { test, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { createServer } from 'node:http';
import { tmpdir } from 'node:os';
import { gzipSync } from 'node:zlib';
import { basename, dirname, extname, join, normalize, resolve } from 'node:path';
import { chromium } from 'playwright-core';
import { decoder, describedBy, descriptions, linesOf, root, runBatch, runProgram, zipEntries } from './program.js';
import { convert, init } from '../tav.js';

await init();

const site = mkdtempSync(join(tmpdir(), 'tav-site-'));
assert.equal(spawnSync(process.execPath, [join(root, 'web/site.js'), site]).status, 0);
const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.mjs': 'text/javascript' };
const server = createServer((request, response) => {
    const path = normalize(decodeURIComponent(new URL(request.url, 'http://x').pathname));
    try {
        const body = readFileSync(join(site, path.endsWith('/') ? 'index.html' : path));
        response.writeHead(200, { 'content-type': TYPES[extname(path)] ?? 'text/html' }).end(body);
    } catch {
        response.writeHead(404).end();
    }
});
await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
const browser = await chromium.launch({
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    args: ['--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
           '--disable-component-update', '--disable-sync'],
});
after(async () => {
    await browser.close();
    server.close();
    rmSync(site, { recursive: true, force: true });
});

async function downloaded(page, selector) {
    const [download] = await Promise.all([page.waitForEvent('download'), page.click(selector)]);
    return [download.suggestedFilename(), readFileSync(await download.path())];
}

// The files of a zip, by name.
const unzip = (bytes) => new Map(zipEntries([bytes])[0].map(([name, , data]) => [name, data]));

const ready = async () => {
    const page = await browser.newPage({ viewport: { width: 1200, height: 900 }, acceptDownloads: true });
    page.errors = [];
    page.on('pageerror', (error) => page.errors.push(error.message));
    await page.goto(`http://127.0.0.1:${server.address().port}/`);
    await page.waitForFunction(() => document.getElementById('state').textContent.startsWith('Ready'));
    return page;
};
// Runs records through the worker and waits for the first page.
async function run(page, action) {
    await page.$eval('#records-out', (list) => list.replaceChildren());
    await action();
    await page.waitForFunction(() => !document.getElementById('results').hidden && document.querySelector('#records-out li'));
}
const texts = (page, selector) => page.$$eval(selector, (nodes) => nodes.map((n) => n.textContent));
const paste = (page, lines) => run(page, async () => {
    await page.fill('#records', lines.map((line) => decoder.decode(line)).join('\n'));
    await page.click('#convert-records');
});

test('pasted records are engraved and download as the program writes them', { timeout: 180000 }, async () => {
    const page = await ready();
    // The fields convert as they are typed; a bad sign is reported where it is in its field.
    await page.fill("input[name=music]", "4CYD");
    assert.deepEqual(await texts(page, '.messages .error'), ['error: char: Y, ascii: 89, i: 27music field, character 3: 4CYD']);
    assert.equal(await page.textContent('.messages mark'), 'Y');

    const lines = linesOf('examples/incipits.txt');
    const program = runProgram(lines, '');
    await paste(page, lines);
    const shown = await page.$$eval('.record', (items) => items.map((item) => [
        item.querySelector('h3').textContent, item.querySelectorAll('.score svg g.note').length]));
    assert.equal(shown.length, lines.length);
    for (const [name, notes] of shown) {
        const xml = program.files.get(name).toString();
        const expected = xml.match(/<note>/g).length - (xml.match(/<rest\/>/g) ?? []).length;
        assert.equal(notes, expected, `notes engraved for ${name}`);
    }
    const [zipName, zip] = await downloaded(page, '#download-all');
    assert.equal(zipName, 'incipits.zip');
    assert.deepEqual(unzip(zip), program.files);
    const [name, file] = await downloaded(page, '.record:nth-child(2) .download');
    assert.deepEqual(file, program.files.get(name));
    if (process.env.TAV_SCREENSHOT) {
        const failing = '100000099\t1.1.1\tG-2\t3/4\t\t4CDE/4FYG//';
        await paste(page, [lines[2], lines[48], Buffer.from(failing)]);
        await page.$eval('#records', (area) => { area.scrollLeft = 0; });
        await page.screenshot({ path: process.env.TAV_SCREENSHOT });
    }
    assert.deepEqual(page.errors, []);
});

// A melody searched among the records pasted: the record it comes from is
// the first hit, engraved; a query the search cannot read says why.
test('a melody is found among the records, with its engraving', { timeout: 180000 }, async () => {
    const page = await ready();
    const lines = linesOf('examples/incipits.txt');
    await paste(page, lines);
    const find = async (query) => {
        await page.$eval('#search-state', (state) => { state.textContent = ''; });
        await page.fill('#query', query);
        await page.click('#find');
        await page.waitForFunction(() => document.getElementById('search-state').textContent !== '');
        return page.textContent('#search-state');
    };
    // The fourth record's whole melody, as intervals.
    const { melody, fileName } = convert(lines[3], { melody: true });
    const target = melody.chromatic_intervals.map((v) => (v >= 0 ? `+${v}` : `${v}`)).join(' ');
    assert.match(await find(target), /hits?, best first/);
    await page.waitForFunction(() => document.querySelector('#records-out .hit'));
    const hits = await page.$$eval('#records-out .record', (items) => items.map((item) => [
        item.querySelector('h3').textContent, item.querySelector('.hit').textContent,
        item.querySelectorAll('.score svg g.note').length > 0]));
    assert.deepEqual(hits.find(([name]) => name === fileName), [fileName, 'the melody from note 1', true], target);
    assert.equal(await page.$eval('#filter', (f) => f.value), 'search');
    for (const [query, why] of [['', /the query is empty/], ['+2 2+3', /is not one/], ['U'.repeat(300), /too many notes/], ['+1 '.repeat(2000), /too long/],
                                ["'; DROP TABLE incipits; --", /^Not searched: the query/]])
        assert.match(await find(query), why, query);
    assert.match(await find('+99 -99 +99 -99'), /^No record holds this melody/);
    assert.deepEqual(page.errors, []);
});

// A record the notation toolkit refuses to engrave.
const REFUSED = '100000002\t1.1.1\tG-2\tc3\t\t4CDE/';

test('many records: pages, filters, the refused engraving and the report', { timeout: 300000 }, async () => {
    const page = await ready();
    const bad = Array.from({ length: 150 }, (_, i) => Buffer.from(`123456789\t1.1.${i}\tG-2\t3/4\t\t4C${'DEF'.repeat(i)}Y`));
    const lines = [Buffer.from(REFUSED), ...linesOf('tests/data/corpus_records.txt'), ...bad];
    const program = runProgram(lines, '');
    const failed = program.messages.filter(([, kind]) => kind === 'ERROR').length;
    await paste(page, lines);
    // The refused record shows its document and a note; the others are engraved.
    assert.match(await page.textContent('.record:first-child .refused'), /could not engrave/);
    assert.equal(await page.$eval('.record:first-child details', (d) => d.open && d.textContent.includes('<score-partwise')), true);
    const count = (selector) => page.$$eval(selector, (nodes) => nodes.length);
    assert.equal(await count('.record[data-status=converted] .score > svg') + await count('.score .refused'),
                 await count('.record[data-status=converted]'));
    const pageInfo = () => page.textContent('#page-info');
    assert.equal(await pageInfo(), 'Records 1-100 of 2,151 (page 1 of 22)');
    const turn = async (button, expected) => {
        await page.click(button);
        await page.waitForFunction((text) => document.getElementById('page-info').textContent === text, expected);
    };
    await turn('#next-page', 'Records 101-200 of 2,151 (page 2 of 22)');
    assert.equal(await page.$eval('#records-out', (list) => list.start), 101);
    await page.selectOption('#filter', 'failed');
    await page.waitForFunction(() => document.getElementById('page-info').textContent.includes('page 1 of'));
    assert.equal(failed, bad.length);
    assert.equal(await pageInfo(), 'Records 1-100 of 150 (page 1 of 2)');
    await turn('#next-page', 'Records 101-150 of 150 (page 2 of 2)');
    assert.deepEqual([...new Set(await texts(page, '.record .status'))], ['failed']);
    assert.deepEqual(await texts(page, '.record:last-child mark'), ['Y']);

    const [reportName, report] = await downloaded(page, '#download-report');
    assert.equal(reportName, 'report.jsonl');
    const entries = report.toString().trim().split('\n').map((line) => JSON.parse(line));
    const summary = entries.pop();
    assert.deepEqual([summary.records, summary.failed], [lines.length, failed]);
    assert.deepEqual(entries.flatMap((e) => e.messages.map((m) => `incipit: ${e.identifier}-${e.number}, ${m.text}`)),
                     program.messages.map(([, , text]) => text));
    assert.deepEqual(page.errors, []);
});

// The batch command's report of `file` with `options`, run in its folder,
// the seconds and the browser's own words for malformed XML left out.
const batch = join(dirname(resolve(process.env.TAV_EXE ?? join(root, 'build/release/tav2005_10'))), 'tav_convert');
const reportLines = (report) => String(report).replace(/,"seconds":[0-9.]+/, '')
    .replace(/(malformed XML at line \d+(, byte \d+)?: )(?:[^"\\]|\\.)*?((; record \d+ is passed over)?")/g, '$1...$3').split('\n');
function batchReport(file, options = []) {
    const dir = mkdtempSync(join(tmpdir(), 'tav-web-'));
    try {
        const run = spawnSync(batch, ['-q', '-o', dir, '--report', '-', ...options, basename(file)], { cwd: dirname(file) });
        assert.ok(run.status === 0 || run.status === 1, `tav_convert: ${run.error ?? run.stderr}`);
        return reportLines(run.stdout);
    } finally {
        rmSync(dir, { recursive: true, force: true });
    }
}

test('files open: a tab export with any line ends, and MARCXML', { timeout: 180000 }, async () => {
    const page = await ready();
    const open = (name, buffer) => run(page, () => page.setInputFiles('#open-file', { name, mimeType: 'text/plain', buffer }));
    // The examples, and the first again with other music: its later file is kept.
    const examples = linesOf('examples/incipits.txt');
    examples.push(Buffer.from(decoder.decode(examples[0]).replace(/\t[^\t]*$/, '\t4C//')));
    await open('export.txt', Buffer.concat(examples.flatMap((line, i) => [line, Buffer.from(['\n', '\r', '\r\n'][i % 3])])));
    assert.deepEqual(await texts(page, '.record:last-child .where'), [`line ${examples.length}`]);
    assert.deepEqual(unzip((await downloaded(page, '#download-all'))[1]), runProgram(examples, '').files);

    await open('catalogue.xml', readFileSync(join(root, 'tests/data/web/catalogue.xml')));
    assert.deepEqual(await texts(page, '#notes li'), []);
    // The counts a cataloguer checks, with their codes, are the batch command's.
    const summary = JSON.parse(batchReport(join(root, 'tests/data/web/catalogue.xml')).at(-2));
    assert.deepEqual(await texts(page, '#catalogue-counts li'), [
        `${summary.without_music} field 031 without music`,
        `${summary.other_notation_system} field 031 of another notation system (other_notation_system)`,
        `${summary.no_control_number} record without a control number (no_control_number)`]);
    assert.deepEqual(await texts(page, '.record .where'), ['line 8, 001 1001145660, 031 #1', 'line 18, 001 1001145660, 031 #3',
                                                           'line 23, 031 #4', 'line 28', 'line 31', 'line 37, 001 000051, 031 #1']);
    assert.deepEqual(await texts(page, '.messages .sign'), ['music field, character 10: 4C8DE/2F4Y//']);
    // The documents are the batch command's, each naming its record's source.
    assert.deepEqual(unzip((await downloaded(page, '#download-all'))[1]), runBatch(join(root, 'tests/data/web/catalogue.xml')));
    // The reports are the batch command's, line for line.
    const report = async () => reportLines((await downloaded(page, '#download-report'))[1]);
    for (const file of ['tests/data/marcxml/catalogue.xml', 'tests/data/tav_convert_mixed.txt']) {
        await open(basename(file), readFileSync(join(root, file)));
        assert.deepEqual(await report(), batchReport(join(root, file)), file);
    }
    // A gzip file (two members) is read as the command reads it; one cut
    // short is the file's error.
    const xml = readFileSync(join(root, 'tests/data/marcxml/catalogue.xml'));
    const dir = mkdtempSync(join(tmpdir(), 'tav-gz-'));
    const gz = join(dir, 'catalogue.xml.gz');
    writeFileSync(gz, Buffer.concat([gzipSync(xml.subarray(0, 2000)), gzipSync(xml.subarray(2000))]));
    await open('catalogue.xml.gz', readFileSync(gz));
    assert.deepEqual(await report(), batchReport(gz));
    const tab = Buffer.concat(linesOf('tests/data/tav_convert_mixed.txt').map((line) => Buffer.concat([line, Buffer.from('\n')])));
    await open('cut.txt.gz', Buffer.concat([gzipSync(tab), gzipSync(tab).subarray(0, 40)]));
    assert.deepEqual((await texts(page, '#notes li'))[0], 'error: cannot read cut.txt.gz: the gzip data ends early (a truncated file)');
    // The code's key-value and JSON forms, recognised by their start and
    // read by the library's readers, report and download as the command's.
    for (const [name, text] of [['incipits.pae', '@clef:G-2\n@keysig:bB\n@timesig:3/4\n@data:4C8DE4F/2G\n\n' +
                                 '@id:7\n@data:4CZ\n\nstray\n@clef:F-4\n@data:4E\n'],
                                ['incipits.json', '{"id": "1", "number": "1.1.1", "clef": "G-2", "data": "4C8DE/2F"}\n' +
                                 '{"data": x}\n{"clef": "F-4", "keysig": "xF", "data": "8ABC"}\n']]) {
        writeFileSync(join(dir, name), text);
        await open(name, readFileSync(join(dir, name)));
        assert.deepEqual(await report(), batchReport(join(dir, name)), name);
        assert.deepEqual(unzip((await downloaded(page, '#download-all'))[1]), runBatch(join(dir, name)), name);
    }
    rmSync(dir, { recursive: true });
    // Options changed after the conversion hold for every download: each
    // file is the batch command's, .mxl archives entry by entry.
    const described = join(root, 'tests/data/marcxml/catalogue.xml');
    await open('catalogue.xml', readFileSync(described));
    assert.deepEqual(unzip((await downloaded(page, '#download-all'))[1]), runBatch(described));
    for (const [change, options] of [[() => page.check('#compress'), ['--compress']],
                                     [() => page.selectOption('#format', 'musicxml4'), ['--compress', '--musicxml', '4.0']]]) {
        await change();
        const mxl = runBatch(described, options);
        const files = unzip((await downloaded(page, '#download-all'))[1]);
        assert.deepEqual([...files.keys()].sort(), [...mxl.keys()].sort());
        assert.deepEqual(zipEntries([...files.values()]), zipEntries([...files.keys()].map((name) => mxl.get(name))));
        const [name, file] = await downloaded(page, '.record[data-status=converted] .download');
        assert.deepEqual(zipEntries([file]), zipEntries([mxl.get(name)]));
        assert.deepEqual(await report(), batchReport(described, options));
    }
    assert.deepEqual(page.errors, []);
});

test('each engraving beside its record: composer, titles, siglum and shelfmark, as text', { timeout: 120000 }, async () => {
    const page = await ready();
    const sources = readFileSync(join(root, 'tests/data/marcxml/sources.xml'));
    // The page's reader, on the browser's XML parser, reads the descriptions every front end reads.
    const read = await page.evaluate(async (bytes) => (await import('/marcxml.js')).readMarcxml(new Uint8Array(bytes))
        .entries.map((e) => e.fields), [...sources]);
    const expected = descriptions();
    assert.deepEqual(read.map(describedBy), expected);
    await run(page, () => page.setInputFiles('#open-file', { name: 'sources.xml', mimeType: 'text/xml', buffer: sources }));
    assert.deepEqual(await texts(page, '#catalogue-counts li'), ['0 fields 031 without music',
        '0 fields 031 of another notation system (other_notation_system)',
        '0 records without a control number (no_control_number)']);
    const shown = await page.$$eval('.record .description', (lists) => lists.map((list) =>
        [...list.children].map((node) => `${node.tagName} ${node.textContent}`)));
    assert.deepEqual(shown[0], ['DT Composer', 'DD Mozart, Wolfgang Amadeus (1756-1791)', 'DT Work', 'DD Don Giovanni',
                                'DT Movement', 'DD Ouverture', 'DT Source title', 'DD Il dissoluto punito <o sia> Il D. Giovanni',
                                'DT Siglum', 'DD D-B', 'DT Shelfmark', 'DD Mus.ms. 15 <a> & "b"']);
    assert.deepEqual(shown[3], ['DT Shelfmark', 'DD Ms. 1']);
    // Markup in a record's values is shown as the text it is.
    const hostile = expected.at(-1);
    assert.deepEqual(shown.at(-1).filter((row) => row.startsWith('DD ')),
                     [`${hostile.composer} (${hostile.composer_dates})`, hostile.work_title, hostile.movement_title,
                      hostile.source_title, hostile.siglum, hostile.shelfmark].map((text) => `DD ${text}`));
    assert.equal(await page.$$eval('.record .description dd *', (nodes) => nodes.length), 0);
    assert.deepEqual(page.errors, []);
});

// The table of hostile MARCXML (tests/data/marcxml/hostile.txt): every case,
// those for the library's reader alone too, for the page reads MARCXML as
// the batch command does; read from their bytes as an opened file is.
const ESCAPES = { n: '\n', t: '\t', '\\': '\\' };
const unescape = (text) => Buffer.concat(text.split(/(\\x[0-9A-Fa-f]{2}|\\[nt\\])/).map((part, i) => i % 2 === 0
    ? Buffer.from(part) : Buffer.from(part[1] === 'x' ? [parseInt(part.slice(2), 16)] : ESCAPES[part[1]])));
const OPEN_RECORD = (id, music) => `<record><controlfield tag="001">${id}</controlfield><datafield tag="031">` +
    ['a', 'b', 'c'].map((code) => `<subfield code="${code}">1</subfield>`).join('') + `<subfield code="p">${music}</subfield></datafield>`;
function hostileCases() {
    const cases = [];
    for (const line of readFileSync(join(root, 'tests/data/marcxml/hostile.txt'), 'utf8').split('\n')) {
        const [word, rest = ''] = line.split(/ (.*)/s);
        const c = cases.at(-1);
        if (word === '==')
            cases.push({ name: rest, in: [], incipits: [], messages: [] });
        else if (['for', 'encoding'].includes(word))
            c[word] = rest;
        else if (['in', 'incipit'].includes(word))
            c[word === 'in' ? 'in' : 'incipits'].push(rest);
        else if (['error', 'warning'].includes(word))
            c.messages.push(line);
        else
            assert.ok(line === '' || line.startsWith('#'), `hostile.txt: ${line}`);
    }
    return cases.map((c) => {
        const bytes = unescape(c.in.join('\n').replace(/\{([^|{}]*)\|([^{}]*)\}/g, (_, id, music) => OPEN_RECORD(id, music)));
        const utf16 = c.encoding && Buffer.from(`\uFEFF${bytes.toString()}`, 'utf16le');
        return { ...c, bytes: c.encoding === 'utf-16be' ? utf16.swap16() : utf16 || bytes };
    });
}

test('hostile MARCXML: the incipits and messages of the table', async () => {
    const cases = hostileCases();
    const page = await browser.newPage();
    await page.goto(`http://127.0.0.1:${server.address().port}/marcxml.js`);
    const results = await page.evaluate(async (inputs) => {
        const { looksLikeXml, readMarcxml } = await import('/marcxml.js');
        return inputs.map((bytes) => ({ xml: looksLikeXml(new Uint8Array(bytes)), ...readMarcxml(new Uint8Array(bytes)) }));
    }, cases.map((c) => [...c.bytes]));
    cases.forEach((c, i) => {
        const { xml, entries } = results[i];
        const incipits = entries.filter((e) => e.fields).map(({ fields: f }, n) =>
            `${f.identifier} ${f.number} ${f.music}${c.incipits[n]?.includes(' | ') ? ` | ${f.composer}` : ''}`);
        const messages = entries.flatMap((e) => e.fields ? e.warnings.map(() => `warning ${e.control} subfield_holds_markup`)
            : [`${e.kind} ${e.control ?? '-'} ${e.code}`]);
        assert.deepEqual({ xml, incipits, messages: messages.sort() },
                         { xml: true, incipits: c.incipits.map((line) => unescape(line).toString()), messages: c.messages.sort() },
                         `${c.name}: ${JSON.stringify(entries)}`);
    });
    await page.close();
});
