// MARC 21 records in XML (MARCXML) to the page's records, with the browser's
// own XML parser, record by record where the document is not well-formed.
// A file's bytes are decoded as its byte-order mark says (UTF-8, UTF-16),
// else as its XML declaration's encoding says, else as UTF-8.
// The records are the elements `record` in the MARC 21 slim namespace or in
// none, wherever they are (inside an OAI-PMH or SRU response, say, whose own
// records are not MARC records); so are their fields and subfields. A record
// whose end tag comes after the next record's start tag is not closed: it is
// an error and none of its fields is read, while the next record is read on
// its own.
// Each field 031 with music ($p) and the system code "pe" or
// none is one record: identifier 001, number "$a.$b.$c", clef $g, time $o,
// and the key $n written before the music as the tab export writes it
// ("$" KEY " " MUSIC); the document tells the composer (100 $a), the title
// (240 $a, else 245 $a), the caption $d, the voice or instrument $m, the
// text incipit $t and the key or mode $r. A 031 without music is passed over and counted; one
// in another system is passed over with a note, and so is a record without
// a usable 001. A subfield read that holds markup is read as its text, with a
// warning. Every note names its record's control number (001) where known.
const SYSTEM = 'pe';
const IDENTIFIER = /^[0-9]{1,10}$/;
const MARC = 'http://www.loc.gov/MARC21/slim';

// Subfields that may repeat: every occurrence, joined by "; ".
const REPEATING = new Set(['d', 'm', 'r', 't']);
// The subfields of a 031 that the page reads.
const READ = new Set(['a', 'b', 'c', 'd', 'g', 'm', 'n', 'o', 'p', 'r', 't', '2']);
const trim = (text) => text.replace(/^[ \t\n\r]+|[ \t\n\r]+$/g, '');

// Whether an element is in the MARC namespace or in none.
const marc = (element) => element.namespaceURI === MARC || element.namespaceURI === null;
const elements = (node, name) => [...node.getElementsByTagNameNS('*', name)].filter(marc);

// The MARC record an element is in.
function recordOf(element) {
    let parent = element.parentElement;
    while (parent !== null && !(parent.localName === 'record' && marc(parent)))
        parent = parent.parentElement;
    return parent;
}

// A field's subfields by code: the first occurrence, or all of a repeating
// one; `marked` holds the codes of those read that hold markup.
function subfields(field) {
    const values = {};
    const marked = new Set();
    for (const sub of elements(field, 'subfield')) {
        const code = sub.getAttribute('code');
        if (values[code] !== undefined && !REPEATING.has(code))
            continue;
        values[code] = values[code] === undefined ? sub.textContent : `${values[code]}; ${sub.textContent}`;
        if (sub.firstElementChild !== null)
            marked.add(code);
    }
    for (const code of Object.keys(values))
        values[code] = trim(values[code]);
    return { values, marked };
}

// The label of the encoding of a document's bytes.
function encodingOf(bytes) {
    const [a, b, c] = bytes;
    if (a === 0xEF && b === 0xBB && c === 0xBF)
        return 'utf-8';
    if ((a === 0xFF && b === 0xFE) || (a === 0x3C && b === 0))
        return 'utf-16le';
    if ((a === 0xFE && b === 0xFF) || (a === 0 && b === 0x3C))
        return 'utf-16be';
    const head = String.fromCharCode(...bytes.subarray(0, 256));
    return /^<\?xml\s[^>]*?\bencoding\s*=\s*["']([^"']*)["']/.exec(head)?.[1] ?? 'utf-8';
}

// TextDecoder reads ISO-8859-1 as windows-1252; each byte is its own character.
const LATIN_1 = /^(iso[-_]?8859-1|iso88591|iso_8859-1:1987|iso-ir-100|latin1|l1|cp819|ibm819|csisolatin1)$/i;

// { text } of a document's bytes, or { fault } when its encoding is unknown.
export function decodeXml(bytes) {
    const encoding = encodingOf(bytes);
    if (LATIN_1.test(encoding))
        return { text: new TextDecoder('utf-16le').decode(Uint16Array.from(bytes)) };
    try {
        return { text: new TextDecoder(encoding).decode(bytes) };
    } catch {
        return { fault: `the encoding "${encoding}" is not one this page reads` };
    }
}

// The XML parser: the browser's, made at its first use, unless
// useDomParser has named a class with the same parseFromString (Node has
// no DOMParser of its own).
let parser = { parseFromString: (text, type) => (parser = new DOMParser()).parseFromString(text, type) };
export function useDomParser(Class) { parser = new Class(); }

// The document, or the text of its fault.
function parse(text) {
    const document = parser.parseFromString(text, 'application/xml');
    const fault = document.getElementsByTagName('parsererror')[0];
    // Chromium wraps the parser's words in words of its own.
    return fault === undefined ? { document } : { fault: fault.textContent
        .replace(/^This page contains the following errors:|Below is a rendering of the page up to the first error\.$/g, '').trim() };
}

// Comments, character data, declarations, processing instructions and tags.
const TOKEN = /<!--[\s\S]*?-->|<!\[CDATA\[[\s\S]*?\]\]>|<[?!][^>]*>|<(\/?)([^\s/>]+)((?:[^>"']|"[^"]*"|'[^']*')*)>/g;
const NAMESPACE = /\sxmlns(?::([^\s=]+))?\s*=\s*(["'])([\s\S]*?)\2/g;
const CONTROL = /<(?:[\w.-]+:)?controlfield\s[^>]*\btag\s*=\s*(["'])001\1[^>]*>([^<]*)</;

// The records of a document that is not well-formed, so that a fault loses
// only the record it is in: { chunk } and its { document } or { fault }, or
// { chunk, open } for a record not closed before the next one starts. A
// record runs to its end tag, or to the next record's start tag when that
// comes first, or to the end of the text; it is read on its own, inside the
// namespaces declared where it starts.
function recordsApart(text) {
    const stack = [{ name: '', spaces: {} }];
    const starts = [];
    for (const { 0: tag, 1: end, 2: name, 3: rest, index } of text.matchAll(TOKEN)) {
        if (name === undefined)
            continue;
        if (end) {
            // An end tag closes its element and those left open inside it.
            const at = stack.findLastIndex((element) => element.name === name);
            const [element] = at > 0 ? stack.splice(at) : [];
            if (element?.record)
                element.record.end = index + tag.length;
            continue;
        }
        const parent = stack.at(-1);
        const spaces = rest.includes('xmlns') ? { ...parent.spaces } : parent.spaces;
        for (const [, prefix = '', , uri] of rest.matchAll(NAMESPACE))
            spaces[prefix] = uri;
        const colon = name.indexOf(':');
        const element = { name, spaces };
        if (name.slice(colon + 1) === 'record' && [MARC, undefined, ''].includes(spaces[name.slice(0, Math.max(colon, 0))]))
            starts.push(element.record = { start: index, spaces, end: rest.endsWith('/') ? index + tag.length : undefined });
        if (!rest.endsWith('/'))
            stack.push(element);
    }
    return starts.map(({ start, spaces, end = Infinity }, i) => {
        const next = starts[i + 1]?.start ?? Infinity;
        const chunk = text.slice(start, Math.min(end, next));
        if (next < end)
            return { chunk, open: true };
        const declared = Object.entries(spaces).map(([prefix, uri]) =>
            ` xmlns${prefix && ':'}${prefix}="${uri.replace(/"/g, '&quot;')}"`).join('');
        return { chunk, ...parse(`<collection${declared}>${chunk}</collection>`) };
    });
}

// { records: [{ fields, label }], notes: [{ kind, text, control }], withoutMusic }
// from a MARCXML document (a collection, one record or records one after
// another), its bytes (see decodeXml) or its text.
export function readMarcxml(input) {
    const { text, fault } = typeof input === 'string' ? { text: input } : decodeXml(input);
    if (fault !== undefined)
        return { records: [], notes: [{ kind: 'error', text: fault }], withoutMusic: 0 };
    const out = { records: [], notes: [], withoutMusic: 0, ordinal: 0 };
    const whole = parse(text);
    const parts = whole.document ? [whole] : recordsApart(text);
    if (whole.fault && parts.length === 0)
        out.notes.push({ kind: 'error', text: `not well-formed XML: ${whole.fault}` });
    for (const part of parts) {
        if (part.document !== undefined) {
            readDocument(part.document, out);
            continue;
        }
        const control = CONTROL.exec(part.chunk)?.[2].trim();
        out.notes.push({ kind: 'error', control, text: `record ${++out.ordinal} ` + (part.open
            ? 'is not closed before the next record starts; its fields are not read'
            : `is not well-formed XML, passed over: ${part.fault}`) });
    }
    const { records, notes, withoutMusic } = out;
    return { records, notes, withoutMusic };
}

// Reads the MARC records of a document into `out`.
function readDocument(document, out) {
    for (const record of elements(document, 'record')) {
        const ordinal = ++out.ordinal;
        const [control] = elements(record, 'controlfield')
            .filter((field) => recordOf(field) === record && field.getAttribute('tag') === '001');
        const identifier = control === undefined ? undefined : trim(control.textContent);
        if (elements(record, 'record').length > 0) {
            out.notes.push({ kind: 'error', control: identifier, text: `record ${ordinal} is not closed ` +
                             'before the next record starts; its fields are not read' });
        } else {
            out.withoutMusic += read(record, ordinal, control, identifier, out);
        }
    }
}

// Reads one record element into `out.records` and `out.notes`; returns its
// fields 031 without music.
function read(record, ordinal, control, identifier, { records, notes }) {
    const datafields = elements(record, 'datafield');
    const first = (tag) => datafields.filter((field) => field.getAttribute('tag') === tag)
        .map(subfields).find((s) => s.values.a !== undefined);
    const incipits = datafields.filter((field) => field.getAttribute('tag') === '031');
    if (incipits.length === 0)
        return 0;
    if (identifier === undefined) {
        notes.push({ kind: 'error', text: `record ${ordinal} has no control number (001)` });
        return 0;
    }
    if (!IDENTIFIER.test(identifier)) {
        notes.push({ kind: 'error', control: identifier, text: `record ${ordinal}: control number (001) ` +
                     `"${identifier}" is not an incipit identifier (one to ten digits)` });
        return 0;
    }
    const warn = (what) => notes.push({ kind: 'warning', control: identifier,
                                        text: `${identifier} ${what} holds markup; its text is read without it` });
    const composer = first('100');
    const uniform = first('240');
    const work = uniform?.values.a ? uniform : first('245');
    let withoutMusic = 0;
    const before = records.length;
    incipits.forEach((field, i) => {
        const { values: f, marked } = subfields(field);
        const label = `${identifier} 031 #${i + 1}`;
        if (!f.p) {
            ++withoutMusic;
        } else if (f['2'] && f['2'] !== SYSTEM) {
            notes.push({ kind: 'warning', control: identifier,
                         text: `${label} has the system code "${f['2']}", which is not read; passed over` });
        } else {
            [...marked].filter((code) => READ.has(code)).forEach((code) => warn(`031 #${i + 1} $${code}`));
            const music = f.n ? `$${f.n} ${f.p}` : f.p;
            records.push({ label, fields: {
                identifier, number: `${f.a ?? ''}.${f.b ?? ''}.${f.c ?? ''}`, clef: f.g ?? '', time: f.o ?? '', music,
                composer: composer?.values.a, workTitle: work?.values.a, movementTitle: f.d,
                partName: f.m, textIncipit: f.t, keyOrMode: f.r } });
        }
    });
    if (records.length > before) {
        if (control.firstElementChild !== null)
            warn('001');
        for (const [tag, field] of [['100', composer], [work === uniform ? '240' : '245', work]])
            if (field?.marked.has('a'))
                warn(`${tag} $a`);
    }
    return withoutMusic;
}

// Whether a file's first bytes are XML rather than a tab export: an XML
// declaration, a MARC collection or record, or any element when the MARC
// namespace is declared near the start.
export function looksLikeXml(bytes) {
    // Only a declaration names an encoding that this page does not know.
    const { text = '<?xml' } = decodeXml(bytes.subarray(0, 65536));
    const start = text.trimStart();
    return start.startsWith('<?xml') || start.startsWith('<collection') || start.startsWith('<record') ||
        /^<[A-Za-z_][\w.-]*:(collection|record)\b/.test(start) || (start.startsWith('<') && start.includes(MARC));
}
