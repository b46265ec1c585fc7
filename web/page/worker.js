// The page's conversions, off its main thread. A run converts every record
// in chunks, with progress, and keeps only what lists and counts need (each
// record's outcome and its messages' codes); a page of records, the zip of
// all files and the report are converted again when asked for, so memory
// does not grow with the documents.
//
//   {type: 'run', source, name, options}  ->  progress..., {type: 'done', counts}
//   {type: 'page', filter, page}          ->  {type: 'page', ...}
//   {type: 'zip'} / {type: 'report'}      ->  progress..., {type: 'zip' | 'report', ...}
import { init } from './tav.js';
import { Zip, ZipDeflate } from './fflate.js';
import { convertRecord, recordsOf, signOf } from './records.js';

// Records converted between two progress messages.
const CHUNK = 2000;
// Records on one page of the list.
const PAGE_SIZE = 100;
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

const ready = init();
let run = null;

const encoder = new TextEncoder();
const pause = () => new Promise((resolve) => setTimeout(resolve, 0));
const progress = (task, done, total) => postMessage({ type: 'progress', task, done, total });

// The messages' codes, by which the list filters; a message without a code
// goes by its kind.
const codeOf = (m) => m.code ?? m.kind;

async function convertAll({ source, name, options }) {
    const records = recordsOf(source);
    const outcome = new Uint8Array(records.count);
    const codes = new Map();
    const counts = { records: records.count, converted: 0, failed: 0, warned: 0, statuses: {}, codes: {} };
    run = { records, name, options: { ...options, xml: false }, outcome, codes, counts };
    for (let i = 0; i < records.count; ++i) {
        if (i % CHUNK === 0) {
            progress('convert', i, records.count);
            await pause();
        }
        const r = convertRecord(records.at(i), run.options);
        counts.statuses[r.status] = (counts.statuses[r.status] ?? 0) + 1;
        counts[r.ok ? 'converted' : 'failed'] += 1;
        outcome[i] = (r.ok ? 0 : FAILED) | (r.messages.some((m) => m.kind === 'warning') ? WARNED : 0);
        if (outcome[i] & WARNED)
            counts.warned += 1;
        if (r.messages.length > 0) {
            const mine = [...new Set(r.messages.map(codeOf))];
            codes.set(i, mine);
            for (const code of mine)
                counts.codes[code] = (counts.codes[code] ?? 0) + 1;
        }
    }
    progress('convert', records.count, records.count);
    postMessage({ type: 'done', counts });
}

// The records a filter keeps: 'all', 'failed', 'warned' or 'code:CODE'.
function matching(filter) {
    const { outcome, codes } = run;
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
        const record = run.records.at(i);
        const result = convertRecord(record, { ...run.options, xml: true, bytes: true });
        return { index: i, line: run.records.lineOf(i), label: run.records.labelOf(i), result,
                 signs: result.messages.map((m) => signOf(record, m)) };
    });
    postMessage({ type: 'page', filter, page: shown, pages, matching: kept.length, first: shown * PAGE_SIZE, items });
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
        const r = convertRecord(records.at(i), options);
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
        const file = new ZipDeflate(fileName, { level: ZIP_LEVEL });
        file.mtime = ZIP_DATE;
        zip.add(file);
        file.push(convertRecord(records.at(i), { ...options, bytes: true }).data, true);
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

// The run's report as JSON Lines, as the batch command writes it: one object
// for each record with messages, then the summary.
async function report() {
    const { records, name, options, counts } = run;
    const lines = [];
    for (let i = 0; i < records.count; ++i) {
        if (i % CHUNK === 0) {
            progress('report', i, records.count);
            await pause();
        }
        if (!run.codes.has(i))
            continue;
        const r = convertRecord(records.at(i), options);
        lines.push(JSON.stringify({
            type: 'record', input: name, line: records.lineOf(i), ...(records.labelOf(i) ? { record: records.labelOf(i) } : {}),
            identifier: r.identifier, number: r.number, file: r.ok ? r.fileName : null, status: r.status,
            messages: r.messages.map((m) => ({ kind: m.kind, ...(m.code ? { code: m.code } : {}), text: m.text,
                                              position: m.bytePosition, field: m.field, field_position: m.fieldPosition })),
        }) + '\n');
    }
    lines.push(JSON.stringify({ type: 'summary', records: counts.records, converted: counts.converted,
                                failed: counts.failed, warned: counts.warned, statuses: counts.statuses,
                                codes: counts.codes }) + '\n');
    progress('report', records.count, records.count);
    postMessage({ type: 'report', blob: new Blob(lines.map((line) => encoder.encode(line)), { type: 'application/jsonl' }) });
}

const tasks = { run: convertAll, page, zip: zipAll, report };
let queue = ready;
onmessage = ({ data }) => {
    queue = queue.then(() => tasks[data.type](data)).catch((error) => {
        postMessage({ type: 'error', text: String(error?.message ?? error) });
    });
};
