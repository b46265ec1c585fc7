// The command-line program as the tests' reference: it converts the same
// records into a fresh folder, and its files and log are read back.
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

export const root = fileURLToPath(new URL('../../', import.meta.url));
const exe = resolve(process.env.TAV_EXE ?? join(root, 'build/release/tav2005_10'));
// A program built beside the reference one (tav_convert, tav_search).
export const program = (name) => join(exe, '..', name);
export const decoder = new TextDecoder();

// The lines of a file in the repository, as bytes; empty lines dropped.
export function linesOf(file) {
    return readFileSync(join(root, file), 'latin1').split('\n').filter((line) => line !== '')
        .map((line) => Buffer.from(line, 'latin1'));
}

// Runs the program over `lines` with the option letters given; returns its
// files by name and its log's messages as [KIND, "incipit: ..."] pairs.
export function runProgram(lines, letters) {
    const dir = mkdtempSync(join(tmpdir(), 'tav-web-'));
    try {
        writeFileSync(join(dir, 'in.txt'), Buffer.concat(lines.flatMap((l) => [l, Buffer.from('\n')])));
        const run = spawnSync(exe, [`-${letters}f`, 'in.txt'], { cwd: dir, input: '\n\n', maxBuffer: 1 << 30 });
        assert.equal(run.status, 0, `${exe}: ${run.error ?? run.stderr}`);
        const files = new Map();
        for (const name of readdirSync(dir, { encoding: 'buffer' })) {
            const text = decoder.decode(name);
            if (text !== 'in.txt' && text !== 'tav_errors.log')
                files.set(text, readFileSync(Buffer.concat([Buffer.from(`${dir}/`), name])));
        }
        const log = decoder.decode(readFileSync(join(dir, 'tav_errors.log')));
        return { files, messages: [...log.matchAll(/^(WARNING|ERROR),\n (incipit: [^\n]*)$/gm)] };
    } finally {
        rmSync(dir, { recursive: true, force: true });
    }
}


// Runs the batch command beside the program over `file` into a fresh folder,
// with `options`; returns its files by name (as text, a name that is not
// UTF-8 as the package's `fileName` has it).
export function runBatch(file, options = []) {
    const dir = mkdtempSync(join(tmpdir(), 'tav-web-'));
    try {
        const run = spawnSync(program('tav_convert'), ['-q', '-o', dir, ...options, file], { maxBuffer: 1 << 30 });
        assert.ok(run.status === 0 || run.status === 1, `tav_convert: ${run.error ?? run.stderr}`);
        return new Map(readdirSync(dir, { encoding: 'buffer' }).map((name) =>
            [decoder.decode(name), readFileSync(Buffer.concat([Buffer.from(`${dir}/`), name]))]));
    } finally {
        rmSync(dir, { recursive: true, force: true });
    }
}

// The entries of each zip in `zips`, in their order, read and checked (CRC
// included) by Python's zipfile: [name, method (0 stored, 8 deflated),
// bytes]. A name not flagged UTF-8 is read as its bytes, as Latin-1.
export function zipEntries(zips) {
    const script = 'import base64,json,sys,zipfile,io\n' +
        'n=lambda i:i.filename if i.flag_bits&0x800 else i.filename.encode("cp437").decode("latin-1")\n' +
        'def e(b):\n z=zipfile.ZipFile(io.BytesIO(base64.b64decode(b)))\n assert z.testzip() is None\n' +
        ' return [[n(i),i.compress_type,base64.b64encode(z.read(i)).decode()] for i in z.infolist()]\n' +
        'print(json.dumps([e(b) for b in json.load(sys.stdin)]))';
    const input = JSON.stringify(zips.map((zip) => Buffer.from(zip).toString('base64')));
    const run = spawnSync('python3', ['-c', script], { input, maxBuffer: 1 << 30 });
    assert.equal(run.status, 0, String(run.stderr));
    return JSON.parse(run.stdout).map((entries) =>
        entries.map(([name, method, data]) => [name, method, Buffer.from(data, 'base64')]));
}

// The descriptions of the incipits of tests/data/marcxml/sources.xml, as
// every front end reads them (one JSON object a line), and the same texts
// of fields read from MARCXML (the package's and the page's reader), by the
// golden's names; the library's own words (key_in_words, location) left out.
export function descriptions() {
    return readFileSync(join(root, 'tests/data/marcxml/sources_descriptions.jsonl'), 'utf8').split('\n')
        .filter((line) => line !== '' && !line.startsWith('#')).map((line) => {
            const { key_in_words: _, location: __, ...read } = JSON.parse(line);
            return read;
        });
}
export function describedBy(f) {
    const s = f.source ?? {};
    const texts = { identifier: f.identifier, number: f.number, control_number: s.controlNumber, composer: f.composer,
                    composer_dates: s.composerDates, work_title: f.workTitle, work_number: s.workNumber,
                    movement_number: f.movementNumber, movement_title: f.movementTitle, part_name: f.partName,
                    text_incipit: f.textIncipit, scoring: s.scoring, source_title: s.sourceTitle, date: s.date,
                    role: f.role, note: f.note, key_or_mode: f.keyOrMode, siglum: s.siglum, shelfmark: s.shelfmark };
    return { ...Object.fromEntries(Object.entries(texts).map(([k, v]) => [k, v ?? ''])),
             creators: (s.creators ?? []).map(({ role, name }) => [role, name]) };
}
