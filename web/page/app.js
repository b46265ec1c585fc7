// The page: records pasted, opened from a file (tab export, MARCXML, or the
// code's key-value or JSON form) or
// typed into the fields; the conversion of many runs in a worker
// (worker.js), and the page shows one page of records at a time, each with
// its messages beside its engraving. The options hold from the moment they
// change: what is shown and every download is converted with them.
import { formats, gunzip, init, readRecords, sharedOptions } from './tav.js';
import createVerovioModule from './verovio-module.mjs';
import { VerovioToolkit } from './verovio.mjs';
import { convertRecord, mediaTypeOf, signOf } from './records.js';
import { looksLikeXml, readMarcxml } from './marcxml.js';
import { catalogueCounts } from './description.js';

const $ = (id) => document.getElementById(id);

await init();
// The formats, from the library's table; compressing is offered for those
// that have a compressed container.
for (const f of formats())
    $('format').append(element('option', { value: f.name, textContent: `${f.description} (${f.suffix})` }));
function offerCompression() {
    const format = formats().find((f) => f.name === $('format').value);
    $('compress').disabled = !format.compressible;
    if (!format.compressible)
        $('compress').checked = false;
}
offerCompression();
const toolkit = new VerovioToolkit(await createVerovioModule());
toolkit.setOptions({ scale: 40, breaks: 'none', adjustPageHeight: true, adjustPageWidth: true,
                     header: 'none', footer: 'none', pageMarginLeft: 20, pageMarginRight: 20,
                     pageMarginTop: 20, pageMarginBottom: 20 });
$('state').textContent = 'Ready. Paste records, open a file, or fill in the fields.';
$('convert-records').disabled = false;
$('open-file').disabled = false;

const OPTIONS = ['remove-mensural', 'remove-measure-rests', 'compress', 'format', 'record-uri'];
// Each control's tip is its option's help, from the library's table of the
// options the batch commands share.
const OPTION_ROWS = ['mensural', 'measure-rests', 'compress', 'format', 'record-uri'];
OPTIONS.forEach((id, k) => {
    const row = sharedOptions().find((o) => o.name === OPTION_ROWS[k]);
    $(id).title = `--${row.name}: ${row.help}` + (row.default ? ` (default ${row.default})` : '');
});

function options() {
    return { removeMensural: $('remove-mensural').checked, removeMeasureRests: $('remove-measure-rests').checked,
             compress: $('compress').checked, format: $('format').value, recordUri: $('record-uri').value };
}

function element(tag, props = {}, children = []) {
    const node = Object.assign(document.createElement(tag), props);
    node.append(...children);
    return node;
}

function download(name, blob) {
    const link = element('a', { href: URL.createObjectURL(blob), download: name });
    link.click();
    setTimeout(() => URL.revokeObjectURL(link.href), 10000);
}

const plural = (n, word) => `${n.toLocaleString('en')} ${word}${n === 1 ? '' : 's'}`;

// --- one record ---------------------------------------------------------------
// The engraving, or the toolkit's refusal as text.
function engrave(xml) {
    try {
        if (toolkit.loadData(xml))
            return { svg: toolkit.renderToSVG(1) };
        return { refused: 'it could not load the document' };
    } catch (error) {
        return { refused: String(error?.message ?? error) };
    }
}

// A message, and the sign it is about in its field.
function showMessage(m, sign) {
    const item = element('li', { className: m.kind, textContent: `${m.kind}: ${m.text}` });
    if (sign !== null) {
        item.append(element('div', { className: 'sign' }, [
            `${sign.field} field, character ${sign.fieldPosition + 1}: `,
            element('code', {}, [sign.before, element('mark', { textContent: sign.sign }), sign.after])]));
    }
    return item;
}

// What the record tells of its source, as rows of a list of terms.
function showDescription(rows) {
    return element('dl', { className: 'description' },
                   rows.flatMap(([label, text]) => [element('dt', { textContent: label }), element('dd', { textContent: text })]));
}

// A record of the list: `control` and `occurrence` for one read from
// MARCXML, `reader` for the MARCXML reader's own message, `description` the
// rows of its record's description; `save` downloads its file.
function show({ line, control, occurrence, reader, result, signs, description = [], hit }, save) {
    const item = element('li', { className: 'record' });
    item.dataset.status = result.status;
    const name = result.ok ? result.fileName : reader ? `001 ${control ?? '(none)'}` : `${result.identifier}-${result.number}`;
    const where = [line ? `line ${line}` : '', control === undefined || reader ? '' : `001 ${control}`,
                   occurrence ? `031 #${occurrence}` : ''].filter((part) => part !== '');
    const head = element('div', { className: 'head' }, [
        element('h3', { textContent: name }),
        element('span', { className: 'status', textContent: result.status.replaceAll('_', ' ') }),
        element('span', { className: 'where', textContent: where.join(', ') })]);
    if (hit !== undefined)
        head.append(element('span', { className: 'hit', textContent: hit.exact ? `the melody from note ${hit.note}`
            : `${Math.round(hit.score * 100)}% of the melody's trigrams, best near note ${hit.note}` }));
    if (result.ok)
        head.append(element('button', { className: 'download', textContent: 'Download', onclick: save }));
    const about = element('div', { className: 'about' }, [
        element('ul', { className: 'messages' }, result.messages.map((m, i) => showMessage(m, signs[i])))]);
    if (description.length > 0)
        about.prepend(showDescription(description));
    const body = element('div', { className: 'body' }, [about]);
    item.append(head, body);
    if (result.ok) {
        const engraving = engrave(result.xml);
        const score = element('div', { className: 'score' });
        if (engraving.svg !== undefined)
            score.innerHTML = engraving.svg;
        else
            score.append(element('p', { className: 'refused', textContent:
                `The notation toolkit could not engrave this document (${engraving.refused}); the document is below.` }));
        body.append(score);
        item.append(element('details', { open: engraving.svg === undefined }, [
            element('summary', { textContent: 'MusicXML' }), element('pre', { textContent: result.xml })]));
    }
    return item;
}

// --- the fields ---------------------------------------------------------------------
function convertForm() {
    stop();
    const fields = Object.fromEntries(new FormData($('fields')));
    const result = convertRecord(fields, options());
    const save = () => {
        const r = convertRecord(fields, { ...options(), bytes: true });
        if (r.ok)
            download(r.fileName, new Blob([r.data], { type: mediaTypeOf(options()) }));
    };
    $('records-out').replaceChildren(show({ result, signs: result.messages.map((m) => signOf(fields, m)) }, save));
    $('summary').textContent = result.ok ? 'The fields convert.' : 'The fields do not convert.';
    $('notes').replaceChildren();
    $('catalogue-counts').hidden = true;
    $('results').hidden = true;
}
$('fields').addEventListener('input', convertForm);
$('fields').addEventListener('submit', (event) => { event.preventDefault(); convertForm(); });

// --- many records, in the worker ----------------------------------------------------------
let worker = null;
let counts = null;
let view = { filter: 'all', page: 0 };

function stop() {
    worker?.terminate();
    worker = null;
    $('progress').hidden = true;
}

const TASKS = { convert: 'Converting', zip: 'Zipping', report: 'Writing the report' };

function onProgress({ task, done, total }) {
    $('progress').hidden = false;
    $('progress-bar').max = Math.max(total, 1);
    $('progress-bar').value = done;
    $('progress-text').textContent = `${TASKS[task]}: ${done.toLocaleString('en')} of ${total.toLocaleString('en')}`;
}

function ask(message) {
    worker.postMessage(message);
}

function summarize() {
    const c = counts;
    $('summary').textContent = `${plural(c.records, 'record')}: ${c.converted.toLocaleString('en')} converted, ` +
        `${c.failed.toLocaleString('en')} failed, ${c.warned.toLocaleString('en')} with warnings` +
        (c.passedOver > 0 ? `; ${plural(c.passedOver, 'field')} passed over` : '') +
        (c.blankLines > 0 ? `; ${plural(c.blankLines, 'blank line')}` : '') + '.';
    const choices = [['all', `All (${c.entries})`], ['failed', `Failed (${c.failed})`],
                     ['warned', `With warnings (${c.warned})`],
                     ...Object.entries(c.codes).sort((a, b) => b[1] - a[1])
                         .map(([code, n]) => [`code:${code}`, `Message ${code} (${n})`]),
                     ...(c.found === null ? [] : [['search', `Found (${c.found})`]])];
    $('catalogue-counts').replaceChildren(...(c.catalogue ? catalogueCounts(c.withoutMusic, c.codes) : [])
        .map((text) => element('li', { textContent: text })));
    $('catalogue-counts').hidden = !c.catalogue;
    $('filter').replaceChildren(...choices.map(([value, text]) => element('option', { value, textContent: text })));
    $('filter').value = view.filter;
    $('download-all').disabled = c.converted === 0;
    $('results').hidden = false;
}

function showPage({ filter, page, pages, matching, first, items }) {
    view = { filter, page };
    $('filter').value = filter;
    $('page-info').textContent = matching === 0 ? 'No records' :
        `Records ${first + 1}-${first + items.length} of ${matching.toLocaleString('en')} (page ${page + 1} of ${pages})`;
    $('previous-page').disabled = page === 0;
    $('next-page').disabled = page + 1 >= pages;
    $('records-out').replaceChildren(...items.map((item) => show(item, () => ask({ type: 'file', index: item.index }))));
    $('records-out').start = first + 1;
}

const replies = {
    progress: onProgress,
    done: (message) => {
        counts = message.counts;
        $('progress').hidden = true;
        summarize();
        ask({ type: 'page', ...view });
    },
    found: ({ count }) => {
        counts.found = count;
        $('search-state').textContent = count === 0 ? 'No record holds this melody.' : `${plural(count, 'hit')}, best first.`;
        summarize();
        ask({ type: 'page', filter: 'search', page: 0 });
    },
    unsearchable: ({ text }) => {
        counts.found = null;
        $('search-state').textContent = `Not searched: ${text}`;
        if (view.filter === 'search')
            view = { filter: 'all', page: 0 };
        summarize();
        ask({ type: 'page', ...view });
    },
    page: showPage,
    file: ({ name, blob }) => download(name, blob),
    zip: ({ parts }) => {
        $('progress').hidden = true;
        for (const { name, blob } of parts)
            download(name, blob);
    },
    report: ({ blob }) => {
        $('progress').hidden = true;
        download('report.jsonl', blob);
    },
    error: ({ text }) => {
        $('progress').hidden = true;
        $('summary').textContent = `The conversion stopped: ${text}`;
    },
};

// Converts the records of `source` (see records.js) in a fresh worker.
function convertMany(source, name, notes = []) {
    stop();
    worker = new Worker(new URL('./worker.js', import.meta.url), { type: 'module' });
    worker.onmessage = ({ data }) => replies[data.type](data);
    worker.onerror = (event) => replies.error({ text: event.message });
    counts = null;
    $('search-state').textContent = '';
    view = { filter: 'all', page: 0 };
    $('summary').textContent = '';
    $('catalogue-counts').hidden = true;
    $('records-out').replaceChildren();
    $('results').hidden = true;
    $('notes').replaceChildren(...notes.map((n) => element('li', { className: n.kind, textContent: `${n.kind}: ${n.text}` })));
    // A file's bytes move to the worker rather than being copied.
    worker.postMessage({ type: 'run', source, name, options: options() }, source.bytes ? [source.bytes.buffer] : []);
}

// What the worker converts of a text or bytes in the key-value or JSON form
// (read by the library's reader), or in record lines; with the reader's
// notes.
function sourceOf(input) {
    const { entries, failure } = readRecords(input);
    if (entries === null)
        return { source: typeof input === 'string' ? { text: input } : { bytes: input }, notes: [] };
    return { source: { entries, catalogue: false }, notes: failure === null ? [] : [{ kind: 'error', text: `the input is not read to its end: ${failure}` }] };
}

$('convert-records').addEventListener('click', () => {
    const { source, notes } = sourceOf($('records').value);
    convertMany(source, 'paste', notes);
});

$('open-file').addEventListener('change', async () => {
    const file = $('open-file').files[0];
    if (file === undefined)
        return;
    const { bytes, error } = gunzip(new Uint8Array(await file.arrayBuffer()));
    $('open-file').value = '';
    const unread = error === null ? [] : [{ kind: 'error', text: `cannot read ${file.name}: ${error}` }];
    if (!looksLikeXml(bytes)) {
        const { source, notes } = sourceOf(bytes);
        convertMany(source, file.name, unread.concat(notes));
        return;
    }
    // The fields without music are among the catalogue counts shown with the summary.
    const { entries, withoutMusic } = readMarcxml(bytes);
    convertMany({ entries, withoutMusic }, file.name, unread);
});

// New options convert again what is shown.
for (const id of OPTIONS) {
    $(id).addEventListener('change', () => {
        offerCompression();
        if (worker !== null)
            ask({ type: 'options', options: options() });
        else
            convertForm();
    });
}

// A melodic search in the records converted; the list turns to its hits.
$('search').addEventListener('submit', (event) => {
    event.preventDefault();
    if (worker !== null && counts !== null)
        ask({ type: 'search', query: $('query').value, exactPitch: $('exact-pitch').checked, rhythm: $('rhythm').checked });
});

$('filter').addEventListener('change', () => ask({ type: 'page', filter: $('filter').value, page: 0 }));
$('previous-page').addEventListener('click', () => ask({ type: 'page', filter: view.filter, page: view.page - 1 }));
$('next-page').addEventListener('click', () => ask({ type: 'page', filter: view.filter, page: view.page + 1 }));
$('download-all').addEventListener('click', () => ask({ type: 'zip' }));
$('download-report').addEventListener('click', () => ask({ type: 'report' }));

convertForm();
