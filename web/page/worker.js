// The page's conversions, off its main thread. A run converts every record
// in chunks, with progress, and keeps only what lists and counts need (each
// record's outcome and its messages' codes); a page of records, a record's
// file, the zip of all files and the report are converted again when asked
// for, with the options of that moment, so memory does not grow with the
// documents. New options convert the run again.
//
//   {type: 'run', source, name, options}  ->  progress..., {type: 'done', counts}
//   {type: 'options', options}            ->  progress..., {type: 'done', counts}
//   {type: 'page', filter, page}          ->  {type: 'page', ...}
//   {type: 'file', index}                 ->  {type: 'file', name, blob}
//   {type: 'zip'} / {type: 'report'}      ->  progress..., {type: 'zip' | 'report', ...}
//   {type: 'search', query, exactPitch, rhythm}  ->  {type: 'found', count} | {type: 'unsearchable', text}
// and the filter 'search' then pages through the hits, best first; a run
// converted again finds them again (counts.found, null without a search).
import { convertFields, init } from './tav.js';
import { Zip, ZipDeflate } from './fflate.js';
import { convertRecord, mediaTypeOf, recordsOf, signOf } from './records.js';
import { CATALOGUE_CODES, descriptionRows } from './description.js';
import { keysOf, parseQuery, search } from './search.js';

// Records converted between two progress messages.
const CHUNK = 2000;
// Records on one page of the list.
const PAGE_SIZE = 100;
// The most hits a melodic search gives.
const SEARCH_HITS = 100;
// A zip's 16-bit count of entries; more files go into further zips.
const ZIP_MAX_ENTRIES = 0xFFFF;
// Bits of a record's outcome.
const FAILED = 1;
const WARNED = 2;
// Deflate's fastest level: MusicXML shrinks almost as much as at the
// default, in a good deal less time.
const ZIP_LEVEL = 1;
// Every date in a zip is 1980-01-01, so the same files give the same zip.
const ZIP_DATE = new Date(1980, 0, 1);
// The report's statuses, in the batch command's order.
const STATUSES = ['written', 'failed', 'too_large', 'line_too_long'];

const ready = init();
let run = null;

const encoder = new TextEncoder();
const decoder = new TextDecoder();
const pause = () => new Promise((resolve) => setTimeout(resolve, 0));
const progress = (task, done, total) => postMessage({ type: 'progress', task, done, total });
const NOWHERE = { position: null, bytePosition: null, field: null, fieldPosition: null, byte: null };

// Record i converted with `options`: the package's result, the MARCXML
// reader's warnings first; for the reader's own message, a result of its
// own ('failed', or 'passed_over' for a field passed over with a warning).
function outcomeOf(i, options) {
    const entry = run.records.entry(i);
    const record = run.records.at(i);
    if (record === null) {
        return { record, entry, result: { ok: false, status: entry.kind === 'warning' ? 'passed_over' : 'failed',
                                          xml: '', fileName: '', identifier: 0, number: '',
                                          messages: [{ kind: entry.kind, text: entry.text, code: entry.code, ...NOWHERE }] } };
    }
    const result = convertRecord(record, options);
    if (entry?.warnings.length > 0)
        result.messages.unshift(...entry.warnings.map(({ text, code }) => ({ kind: 'warning', text, code, ...NOWHERE })));
    return { record, entry, result };
}

// Converts the whole run with its options, for the counts and the list.
async function convertAll() {
    const { records } = run;
    const started = performance.now();
    const outcome = new Uint8Array(records.count);
    const keys = new Array(records.count).fill(null);
    const codes = new Map();
    const counts = { records: 0, converted: 0, failed: 0, warned: 0, passedOver: 0, entries: records.count,
                     blankLines: records.blankLines, codes: {}, catalogue: records.catalogue,
                     withoutMusic: run.withoutMusic ?? 0 };
    for (let i = 0; i < records.count; ++i) {
        if (i % CHUNK === 0) {
            progress('convert', i, records.count);
            await pause();
        }
        const { result: r } = outcomeOf(i, { ...run.options, melody: true });
        if (r.ok && r.melody)
            keys[i] = keysOf(r.melody);
        if (r.status === 'passed_over')
            counts.passedOver += 1;
        else
            counts[r.ok ? 'converted' : 'failed'] += 1;
        counts.records = counts.converted + counts.failed;
        outcome[i] = (r.ok ? 0 : FAILED) | (r.messages.some((m) => m.kind === 'warning') ? WARNED : 0);
        if (outcome[i] & WARNED)
            counts.warned += 1;
        if (r.messages.length > 0) {
            const mine = [...new Set(r.messages.map((m) => m.code))];
            codes.set(i, mine);
            for (const code of mine)
                counts.codes[code] = (counts.codes[code] ?? 0) + 1;
        }
    }
    Object.assign(run, { outcome, codes, counts, keys, seconds: (performance.now() - started) / 1000 });
    run.hits = run.search === null ? [] : hitsOf(run.search);
    counts.found = run.search === null ? null : run.hits.length;
    progress('convert', records.count, records.count);
    postMessage({ type: 'done', counts });
}

function start({ source, name, options }) {
    run = { records: recordsOf(source), name, options: { ...options, xml: false }, withoutMusic: source.withoutMusic,
            search: null };
    return convertAll();
}

function setOptions({ options }) {
    if (run === null)
        return undefined;
    run.options = { ...options, xml: false };
    return convertAll();
}

// The records a filter keeps: 'all', 'failed', 'warned' or 'code:CODE'.
function matching(filter) {
    const { outcome, codes } = run;
    if (filter === 'search')
        return run.hits.map((hit) => hit.index);
    if (filter.startsWith('code:')) {
        const code = filter.slice(5);
        return [...codes.keys()].filter((i) => codes.get(i).includes(code));
    }
    const bit = filter === 'failed' ? FAILED : filter === 'warned' ? WARNED : 0;
    const kept = [];
    for (let i = 0; i < outcome.length; ++i) {
        if (bit === 0 || outcome[i] & bit)
            kept.push(i);
    }
    return kept;
}

function page({ filter, page }) {
    const kept = matching(filter);
    const pages = Math.max(Math.ceil(kept.length / PAGE_SIZE), 1);
    const shown = Math.min(Math.max(page, 0), pages - 1);
    const items = kept.slice(shown * PAGE_SIZE, (shown + 1) * PAGE_SIZE).map((i) => {
        const { record, entry, result } = outcomeOf(i, { ...run.options, xml: true });
        return { index: i, line: run.records.lineOf(i), control: entry?.control, occurrence: entry?.occurrence,
                 reader: record === null, result, signs: result.messages.map((m) => record === null ? null : signOf(record, m)),
                 description: entry?.fields ? descriptionRows(entry.fields) : [],
                 hit: filter === 'search' ? run.hits.find((h) => h.index === i) : undefined };
    });
    postMessage({ type: 'page', filter, page: shown, pages, matching: kept.length, first: shown * PAGE_SIZE, items });
}

// One record's file, with the options of now.
function file({ index }) {
    const { result: r } = outcomeOf(index, { ...run.options, bytes: true });
    if (r.ok) {
        postMessage({ type: 'file', name: r.fileName, blob: new Blob([r.data], { type: mediaTypeOf(run.options) }) });
    }
}

// Every converted record's file, as zips of at most ZIP_MAX_ENTRIES files. A
// file name met twice keeps the later record's document, as a folder would.
async function zipAll() {
    const { records, options } = run;
    const last = new Map();
    for (let i = 0; i < records.count; ++i) {
        if (i % CHUNK === 0) {
            progress('zip', i, 2 * records.count);
            await pause();
        }
        const { result: r } = outcomeOf(i, options);
        if (r.ok)
            last.set(r.fileName, i);
    }
    const parts = [];
    let zip = null;
    let entries = 0;
    const close = () => {
        zip.end();
        zip = null;
    };
    let index = 0;
    for (const [fileName, i] of [...last].sort((a, b) => a[1] - b[1])) {
        if (index++ % CHUNK === 0) {
            progress('zip', records.count + i, 2 * records.count);
            await pause();
        }
        if (zip === null) {
            const chunks = [];
            parts.push(chunks);
            zip = new Zip((error, chunk) => {
                if (error)
                    throw error;
                chunks.push(chunk);
            });
            entries = 0;
        }
        const entry = new ZipDeflate(fileName, { level: ZIP_LEVEL });
        entry.mtime = ZIP_DATE;
        zip.add(entry);
        entry.push(outcomeOf(i, { ...options, bytes: true }).result.data, true);
        if (++entries === ZIP_MAX_ENTRIES)
            close();
    }
    if (zip !== null)
        close();
    const named = parts.map((chunks, k) => ({
        name: parts.length === 1 ? 'incipits.zip' : `incipits-${k + 1}.zip`,
        blob: new Blob(chunks, { type: 'application/zip' }),
    }));
    postMessage({ type: 'zip', files: last.size, parts: named });
}

// --- the report --------------------------------------------------------------------------
// Length of the valid UTF-8 sequence at bytes[i], 0 when there is none.
function utf8Length(bytes, i) {
    const c = bytes[i];
    const [n, low, high] = c >= 0xC2 && c <= 0xDF ? [2, 0x80, 0xBF] : c >= 0xE0 && c <= 0xEF
        ? [3, c === 0xE0 ? 0xA0 : 0x80, c === 0xED ? 0x9F : 0xBF] : c >= 0xF0 && c <= 0xF4
        ? [4, c === 0xF0 ? 0x90 : 0x80, c === 0xF4 ? 0x8F : 0xBF] : [0];
    if (n === 0 || i + n > bytes.length || bytes[i + 1] < low || bytes[i + 1] > high)
        return 0;
    return bytes.subarray(i + 2, i + n).every((b) => b >= 0x80 && b <= 0xBF) ? n : 0;
}

const hex = (c) => c.toString(16).padStart(2, '0');

// A JSON string as the batch command writes it: quotes, backslashes, the
// control characters and DEL escaped, other characters as they are, and a
// byte of `value` (bytes) that is not UTF-8 as the lone surrogate \udcXX.
function json(value) {
    const bytes = typeof value === 'string' ? encoder.encode(value) : value;
    let out = '"';
    for (let i = 0; i < bytes.length;) {
        const c = bytes[i];
        const n = c < 0x80 ? 1 : utf8Length(bytes, i);
        if (c === 0x22 || c === 0x5C)
            out += `\\${String.fromCharCode(c)}`;
        else if (c < 0x20 || c === 0x7F)
            out += `\\u00${hex(c)}`;
        else
            out += n === 0 ? `\\udc${hex(c)}` : decoder.decode(bytes.subarray(i, i + n));
        i += n || 1;
    }
    return `${out}"`;
}

// The incipit number as the record's bytes have it, where it is not UTF-8
// (the result's text holds U+FFFD for such bytes): a start of the second field.
function numberOf(record, number) {
    if (!(record instanceof Uint8Array) || !number.includes('\uFFFD'))
        return number;
    const field = record.subarray(record.indexOf(9) + 1);
    const end = field.indexOf(9);
    const bytes = end < 0 ? field : field.subarray(0, end);
    for (let n = bytes.length; n >= 0; --n) {
        if (decoder.decode(bytes.subarray(0, n)) === number)
            return bytes.subarray(0, n);
    }
    return number;
}

// The run's report as `tav_convert --report` writes it for the same input
// and options: one object for each record with messages, in input order,
// then the summary.
async function report() {
    const { records, name, options } = run;
    const { catalogue } = records;
    const totals = { records: 0, written: 0, failed: 0, warnings: 0, statuses: {}, codes: {} };
    const lines = [];
    for (let i = 0; i < records.count; ++i) {
        if (i % CHUNK === 0) {
            progress('report', i, records.count);
            await pause();
        }
        const { record, entry, result: r } = outcomeOf(i, options);
        const status = r.status === 'converted' ? 'written' : r.status;
        if (status !== 'passed_over') {
            totals.records += 1;
            totals[status === 'written' ? 'written' : 'failed'] += 1;
            totals.statuses[status] = (totals.statuses[status] ?? 0) + 1;
        }
        for (const m of r.messages) {
            totals.warnings += m.kind === 'warning' ? 1 : 0;
            totals.codes[m.code] = (totals.codes[m.code] ?? 0) + 1;
        }
        if (r.messages.length === 0)
            continue;
        const number = numberOf(record, r.number);
        const file = !r.ok ? null : typeof number === 'string' ? r.fileName
            : new Uint8Array([...encoder.encode(`${r.identifier}-`), ...number, ...encoder.encode(r.fileName.slice(r.fileName.lastIndexOf('.')))]);
        const messages = r.messages.map((m) =>
            `{"kind":"${m.kind}","text":${json(m.text)},"position":${m.bytePosition ?? 'null'},"code":"${m.code}"}`);
        lines.push(`{"type":"record","input":${json(name)},"line":${records.lineOf(i)},"identifier":${r.identifier},` +
                   `"number":${json(number)},"file":${file === null ? 'null' : json(file)}` +
                   (catalogue ? `,"control_number":${entry.control ? json(entry.control) : 'null'},` +
                                `"occurrence":${entry.occurrence}` : '') +
                   `,"status":"${status}","messages":[${messages.join(',')}]}\n`);
    }
    const counts = (object, keys) => `{${keys.filter((key) => object[key] !== undefined)
        .map((key) => `"${key}":${object[key]}`).join(',')}}`;
    lines.push(`{"type":"summary","records":${totals.records},"written":${totals.written},"checked":0,` +
               `"failed":${totals.failed},"warnings":${totals.warnings},"blank_lines":${records.blankLines},` +
               `"unreadable_inputs":0,${catalogue ? `"without_music":${run.withoutMusic ?? 0},` +
                   // the counts a cataloguer checks, named by their message codes, as the command gives them
                   CATALOGUE_CODES.map((code) => `"${code}":${totals.codes[code] ?? 0},`).join('') : ''}` +
               `"statuses":${counts(totals.statuses, STATUSES)},` +
               `"codes":${counts(totals.codes, Object.keys(totals.codes).sort())},"seconds":${run.seconds.toFixed(3)}}\n`);
    progress('report', records.count, records.count);
    postMessage({ type: 'report', blob: new Blob(lines.map((line) => encoder.encode(line)), { type: 'application/jsonl' }) });
}

// A query in the code is read as the library reads a record's music.
const melodyOfCode = (music) => convertFields({ identifier: '1', number: '1', clef: 'G-2', time: '', time2: '', music },
                                              { melody: true, xml: false }).melody;

// The records whose melody holds the query, ranked as tav_search ranks a
// database's.
const hitsOf = ({ query, exactPitch, rhythm }) =>
    search(run.keys, parseQuery(query, melodyOfCode), { exactPitch, rhythm, hits: SEARCH_HITS });

function find({ query, exactPitch, rhythm }) {
    if (run === null)
        return;
    run.search = null;
    run.hits = [];
    try {
        run.hits = hitsOf({ query, exactPitch, rhythm });
    } catch (error) {
        postMessage({ type: 'unsearchable', text: error.message });
        return;
    }
    run.search = { query, exactPitch, rhythm };
    postMessage({ type: 'found', count: run.hits.length });
}

const tasks = { run: start, options: setOptions, page, file, zip: zipAll, report, search: find };
let queue = ready;
onmessage = ({ data }) => {
    queue = queue.then(() => tasks[data.type](data)).catch((error) => {
        postMessage({ type: 'error', text: String(error?.message ?? error) });
    });
};
