// MARC 21 records in XML (MARCXML) to the page's records, with the browser's
// own XML parser, record by record where the document is not well-formed.
// Each field 031 with music ($p) and the system code "pe" or
// none is one record: identifier 001, number "$a.$b.$c", clef $g, time $o,
// and the key $n written before the music as the tab export writes it
// ("$" KEY " " MUSIC); the document tells the composer (100 $a), the title
// (240 $a, else 245 $a), the caption $d, the voice or instrument $m, the
// text incipit $t and the key or mode $r. A 031 without music is passed over and counted; one
// in another system is passed over with a note, and so is a record without
// a usable 001.
const SYSTEM = 'pe';
const IDENTIFIER = /^[0-9]{1,10}$/;

// Subfields that may repeat: every occurrence, joined by "; ".
const REPEATING = new Set(['d', 'm', 'r', 't']);
const trim = (text) => text.replace(/^[ \t\n\r]+|[ \t\n\r]+$/g, '');

// A field's subfields by code: the first occurrence, or all of a repeating one.
function subfields(field) {
    const values = {};
    for (const sub of field.getElementsByTagNameNS('*', 'subfield')) {
        const code = sub.getAttribute('code');
        if (values[code] === undefined)
            values[code] = sub.textContent;
        else if (REPEATING.has(code))
            values[code] += `; ${sub.textContent}`;
    }
    for (const code of Object.keys(values))
        values[code] = trim(values[code]);
    return values;
}

const parser = new DOMParser();

// The document, or the text of its fault.
function parse(text) {
    const document = parser.parseFromString(text, 'application/xml');
    const fault = document.getElementsByTagName('parsererror')[0];
    // Chromium wraps the parser's words in words of its own.
    return fault === undefined ? { document } : { fault: fault.textContent
        .replace(/^This page contains the following errors:|Below is a rendering of the page up to the first error\.$/g, '').trim() };
}

// The records of a document that is not well-formed: each record element
// read on its own inside the root's start tag (for its namespaces), so that
// a fault loses only the record it is in.
function recordsApart(text) {
    const root = /<(?:[\w.-]+:)?collection\b[^>]*>/.exec(text)?.[0] ?? '<collection>';
    const close = `</${/^<([^\s>]+)/.exec(root)[1]}>`;
    const records = text.match(/<(?:[\w.-]+:)?record\b[^>]*>[\s\S]*?<\/(?:[\w.-]+:)?record\s*>/g) ?? [];
    return records.map((record) => parse(root + record + close));
}

// { records: [{ fields, label }], notes: [{ kind, text }], withoutMusic }
// from the text of a MARCXML document (a collection or one record).
export function readMarcxml(text) {
    const whole = parse(text);
    const parts = whole.document ? [whole] : recordsApart(text);
    const records = [];
    const notes = whole.fault && parts.length === 0 ? [{ kind: 'error', text: `not well-formed XML: ${whole.fault}` }] : [];
    let withoutMusic = 0;
    let ordinal = 0;
    for (const part of parts) {
        if (part.fault !== undefined) {
            notes.push({ kind: 'error', text: `record ${++ordinal} is not well-formed XML, passed over: ${part.fault}` });
            continue;
        }
        for (const record of part.document.getElementsByTagNameNS('*', 'record'))
            withoutMusic += read(record, ++ordinal, records, notes);
    }
    return { records, notes, withoutMusic };
}

// Reads one record element into `records` and `notes`; returns its fields
// 031 without music.
function read(record, ordinal, records, notes) {
    const control = [...record.getElementsByTagNameNS('*', 'controlfield')]
        .find((field) => field.getAttribute('tag') === '001');
    const identifier = control === undefined ? undefined : trim(control.textContent);
    const datafields = [...record.getElementsByTagNameNS('*', 'datafield')];
    const first = (tag) => datafields.filter((field) => field.getAttribute('tag') === tag)
        .map((field) => subfields(field).a).find((a) => a !== undefined);
    const incipits = datafields.filter((field) => field.getAttribute('tag') === '031');
    if (incipits.length === 0)
        return 0;
    if (identifier === undefined) {
        notes.push({ kind: 'error', text: `record ${ordinal} has no control number (001)` });
        return 0;
    }
    if (!IDENTIFIER.test(identifier)) {
        notes.push({ kind: 'error', text: `record ${ordinal}: control number (001) "${identifier}" ` +
                                          'is not an incipit identifier (one to ten digits)' });
        return 0;
    }
    let withoutMusic = 0;
    incipits.forEach((field, i) => {
        const f = subfields(field);
        const label = `${identifier} 031 #${i + 1}`;
        if (!f.p) {
            ++withoutMusic;
        } else if (f['2'] && f['2'] !== SYSTEM) {
            notes.push({ kind: 'warning', text: `${label} has the system code "${f['2']}", which is not read; passed over` });
        } else {
            const music = f.n ? `$${f.n} ${f.p}` : f.p;
            records.push({ label, fields: {
                identifier, number: `${f.a ?? ''}.${f.b ?? ''}.${f.c ?? ''}`, clef: f.g ?? '', time: f.o ?? '', music,
                composer: first('100'), workTitle: first('240') || first('245'), movementTitle: f.d,
                partName: f.m, textIncipit: f.t, keyOrMode: f.r } });
        }
    });
    return withoutMusic;
}

// Whether a file's first bytes are XML rather than a tab export.
export function looksLikeXml(bytes) {
    const start = new TextDecoder().decode(bytes.subarray(0, 256)).replace(/^\uFEFF/, '').trimStart();
    return start.startsWith('<?xml') || start.startsWith('<collection') || start.startsWith('<record') ||
        /^<[A-Za-z_][\w.-]*:(collection|record)\b/.test(start);
}
