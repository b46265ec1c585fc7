// Plaine & Easie incipit records to MusicXML documents and compressed files
// (.mxl), in Node and in browsers: the converter library compiled to
// WebAssembly, and fflate for the zip.
//
//     import { init, convert, convertFields } from 'tav-incipit';
//     await init();
//     const r = convert('000012345\t1.1.1\tG-2\t3/4\t\t4C8DE/2F//');
//     if (r.ok) save(r.fileName, r.xml);
//     for (const m of r.messages) console.log(m.kind, m.text);
//     const { records, notes } = await readMarcxml(bytesOfTheFile);
//     for (const { label, fields } of records) convertFields(fields);
//
// `init()` loads the WebAssembly instance once; after it every call converts
// synchronously. The same module is built for `require()` as dist/tav.cjs.
import { Gunzip, zipSync } from 'fflate';
import createTavModule from './dist/tav_wasm.js';
import { parserOf } from './xml_parser.js';

/** The package's version: the project's one version, the library's TAV_VERSION_STRING. */
export const version = '1.0.0';

let wasm = null;
let glue = 0;
let maxLineLength = 0;
let formatRows = [];
let formRows = [];
let optionRows = [];
let loading = null;

/** Loads the converter; resolves when `convert` can be called. Safe to call again. */
export function init() {
    loading ??= createTavModule().then((module) => {
        glue = module._tav_glue_new();
        maxLineLength = module._tav_glue_max_line_length();
        wasm = module;
        formatRows = readFormats(module._tav_glue_formats(glue));
        formRows = readTexts(module._tav_glue_input_forms(glue), ['name', 'description', 'recognised']);
        optionRows = readTexts(module._tav_glue_shared_options(glue), ['name', 'value', 'choices', 'default', 'help'],
                               (row) => { row.choices = row.choices === '' ? [] : row.choices.split('|'); });
    });
    return loading;
}

// A table of the library's (its row count, then texts of each row), each
// row frozen.
function readTexts(tablePointer, names, finish = () => {}) {
    const words = wasm.HEAPU32;
    let w = tablePointer >>> 2;
    const rows = [];
    for (let count = words[w++]; rows.length < count;) {
        const row = {};
        for (const name of names) {
            row[name] = text(wasm.HEAPU8, words[w], words[w + 1]);
            w += 2;
        }
        finish(row);
        rows.push(Object.freeze(row));
    }
    return Object.freeze(rows);
}

// The library's table of formats.
const FORMAT_TEXTS = ['name', 'family', 'version', 'suffix', 'mediaType', 'description',
                      'compressedSuffix', 'compressedMediaType'];
function readFormats(tablePointer) {
    return readTexts(tablePointer, FORMAT_TEXTS, (row) => { row.compressible = row.compressedSuffix !== ''; });
}

/** The formats `convert` writes (its `format:` option), the default first. */
export function formats() {
    ready();
    return formatRows;
}

/** The input forms `readRecords` reads ({ name, description, recognised }), the record lines first. */
export function inputForms() {
    ready();
    return formRows;
}

/**
 * The options the batch commands and the page share ({ name, value, choices,
 * default, help }), from the library's table: `convert`'s removeMensural,
 * removeMeasureRests, compress, format and recordUri are the mensural,
 * measure-rests, compress, format and record-uri rows.
 */
export function sharedOptions() {
    ready();
    return optionRows;
}

// The reading table: a head of five words, then seventeen words per item.
const READ_HEAD_WORDS = 5;
const ITEM_WORDS = 17;
const ITEM_KINDS = ['incipit', 'warning', 'error', 'incipit warning'];

/**
 * Reads the incipits of an input in the form `form` names (one of
 * inputForms(); by default the form its first bytes are in), gzip or not,
 * with the library's reader: { form, entries, failure, withoutMusic }.
 * An entry is { line, occurrence, fields, warnings } for an incipit (its
 * fields are what convertFields takes; its warnings { text, code } the
 * reader's about the texts it is made of) and { line, occurrence, kind, text,
 * code } for the reader's message, in the input's order. Record lines
 * ("tab") have no reader here: their entries are null, and each line is
 * given to convert. failure tells why the input could not be read to its
 * end (null: it was); withoutMusic counts fields passed over for want of
 * music (null for a form that has none).
 */
export function readRecords(input, form) {
    ready();
    checkInput(input, 'the input');
    const bytes = typeof input === 'string' ? encoder.encode(input) : input;
    const at = wasm._tav_glue_input(glue, bytes.length);
    wasm.HEAPU8.set(bytes, at);
    const index = form === undefined ? wasm._tav_glue_recognise(glue, bytes.length)
        : formRows.findIndex((f) => f.name === form);
    if (index < 0)
        throw new RangeError(`form must be one of ${formRows.map((f) => `'${f.name}'`).join(', ')}, not ${form}`);
    const name = formRows[index].name;
    const tablePointer = wasm._tav_glue_read(glue, index, bytes.length);
    if (tablePointer === 0)
        return { form: name, entries: null, failure: null, withoutMusic: null };
    const words = wasm.HEAPU32;
    const heap = wasm.HEAPU8;
    const w = tablePointer >>> 2;
    const entries = [];
    let warnings = [];
    for (let i = 0, row = w + READ_HEAD_WORDS; i < words[w]; ++i, row += ITEM_WORDS) {
        const kind = ITEM_KINDS[words[row]];
        const place = { line: words[row + 1], occurrence: words[row + 2] };
        const texts = (count) => Array.from({ length: count }, (_, k) => text(heap, words[row + 3 + 2 * k], words[row + 4 + 2 * k]));
        if (kind === 'incipit') {
            const values = texts(RECORD_TEXTS.length);
            entries.push({ ...place, fields: Object.fromEntries(RECORD_TEXTS.map((n, k) => [n, values[k]])), warnings });
            warnings = [];
        } else {
            const [message, code] = texts(2);
            if (kind === 'incipit warning')
                warnings.push({ text: message, code });
            else
                entries.push({ ...place, kind, text: message, code });
        }
    }
    const withoutMusic = words[w + 4] | 0;
    return { form: name, entries, failure: words[w + 1] ? text(heap, words[w + 2], words[w + 3]) : null,
             withoutMusic: withoutMusic < 0 ? null : withoutMusic };
}

function ready() {
    if (wasm === null)
        throw new Error('tav-incipit is not loaded yet: await init() first');
}

const encoder = new TextEncoder();
const decoder = new TextDecoder();

// The result table: a head of fifteen words, then eight words per message.
const HEAD_WORDS = 17;
const ROW_WORDS = 8;
// Bits of the glue's flags.
const REMOVE_MENSURAL = 1;
const REMOVE_MEASURE_RESTS = 2;
const MELODY = 4;
const COMPRESS = 8;
// The format's index in the table, in the bits from here up.
const FORMAT_SHIFT = 16;
const TAB = 9;
/** The fields of a record line, in their order. */
export const fieldNames = Object.freeze(['identifier', 'number', 'clef', 'time', 'time2', 'music']);
const FIELD_NAMES = fieldNames;
// What a document may tell beside the music, in the glue's order.
const DESCRIPTION = ['composer', 'workTitle', 'movementTitle', 'partName', 'textIncipit', 'keyOrMode',
                     'role', 'note', 'movementNumber'];
// The source's texts (`fields.source`), in the glue's order; the creators
// go as one text, "ROLE\x1FNAME\x1E" each.
const SOURCE = ['controlNumber', 'siglum', 'shelfmark', 'composerDates', 'workNumber', 'scoring',
                'sourceTitle', 'date', 'creators'];
const creatorsText = (creators) => (creators ?? []).map((c) => `${c.role}\x1F${c.name}\x1E`).join('');
const MUSIC = FIELD_NAMES.length - 1;
// The texts of a record given apart, in the glue's order: a key signature
// kept apart stands before the music.
const RECORD_TEXTS = [...FIELD_NAMES.slice(0, MUSIC), 'key', 'music'];
const DOLLAR = '$'.charCodeAt(0);

// The index in the table of the format the options name: by `format`, or
// as a MusicXML version by `musicxml` (both: the same row).
function formatIndexOf(options) {
    const quoted = (values) => values.map((v) => `'${v}'`).join(', ');
    let index = 0;
    if (options?.format !== undefined) {
        index = formatRows.findIndex((f) => f.name === options.format);
        if (index < 0)
            throw new RangeError(`format must be one of ${quoted(formatRows.map((f) => f.name))}, not ${options.format}`);
    }
    if (options?.musicxml !== undefined) {
        const musicxml = formatRows.filter((f) => f.family === 'musicxml');
        const byVersion = formatRows.findIndex((f) => f.family === 'musicxml' && f.version === options.musicxml);
        if (byVersion < 0)
            throw new RangeError(`musicxml must be one of ${quoted(musicxml.map((f) => f.version))}, not ${options.musicxml}`);
        if (options.format !== undefined && byVersion !== index)
            throw new RangeError(`format and musicxml name different formats`);
        index = byVersion;
    }
    if (options?.compress && !formatRows[index].compressible)
        throw new RangeError(`compress: the output format ${formatRows[index].name} has no compressed container`);
    return index;
}

function flagsOf(options) {
    if (options === undefined || options === null)
        return 0;
    return (options.removeMensural ? REMOVE_MENSURAL : 0) |
        (options.removeMeasureRests ? REMOVE_MEASURE_RESTS : 0) | (options.compress ? COMPRESS : 0) |
        (options.melody ? MELODY : 0) | (formatIndexOf(options) << FORMAT_SHIFT);
}

function checkInput(value, what) {
    if (typeof value !== 'string' && !(value instanceof Uint8Array))
        throw new TypeError(`${what} must be a string or a Uint8Array`);
}

// The most bytes `value` can take in UTF-8, at most `limit`.
function capacityOf(value, limit) {
    const bound = typeof value === 'string' ? value.length * 3 : value.length;
    return Math.min(bound, limit);
}

// Writes `value` (at most `room` bytes of it) at `at`; returns the bytes
// written and whether that is the whole value.
function put(value, at, room) {
    const target = wasm.HEAPU8.subarray(at, at + room);
    if (typeof value === 'string') {
        const { read, written } = encoder.encodeInto(value, target);
        return [written, read === value.length];
    }
    const bytes = value.subarray(0, room);
    target.set(bytes);
    return [bytes.length, bytes.length === value.length];
}

// The index in `value` of its UTF-8 byte `byte`: a UTF-16 index in a
// string, the byte itself in bytes.
function indexOf(value, byte) {
    if (typeof value !== 'string')
        return byte;
    let index = 0;
    for (let bytes = 0; bytes < byte && index < value.length; ++index) {
        const unit = value.charCodeAt(index);
        if (unit < 0x80)
            bytes += 1;
        else if (unit < 0x800)
            bytes += 2;
        else if (unit >= 0xD800 && unit < 0xDC00 && (value.charCodeAt(index + 1) & 0xFC00) === 0xDC00) {
            bytes += 4;
            ++index;
        } else
            bytes += 3;
    }
    return index;
}

// Where the sign at byte `byte` of the line stands: `spans` are the line's
// fields as [name, value, first byte, byte length, first index].
function locate(byte, spans) {
    const field = Math.max(spans.findLastIndex(([, , start]) => start <= byte), 0);
    const [name, value, start, length, first] = spans[field];
    const fieldPosition = indexOf(value, Math.min(byte - start, length));
    return { position: first + fieldPosition, bytePosition: byte, field: name, fieldPosition };
}

// The spans of fields given as [name, value, byte length, length in the
// line, bytes before the value in the line]; one byte (a TAB, or the blank
// after a key) follows each.
function spansOf(fields) {
    let start = 0;
    let first = 0;
    return fields.map(([name, value, length, lineLength, before = 0]) => {
        const span = [name, value, start + before, length, first + before];
        start += lineLength + 1;
        first += (lineLength === length + before ? value.length + before : lineLength) + 1;
        return span;
    });
}

function text(heap, at, length) {
    return decoder.decode(heap.subarray(at, at + length));
}

// Every entry of a compressed file is dated 1980-01-01 00:00, as the
// library dates them, so the same record always gives the same archive.
const MXL_DATE = new Date(1980, 0, 1);
const strictDecoder = new TextDecoder('utf-8', { fatal: true });
// The zip headers' sizes and where their fields are.
const EOCD_CENTRAL_OFFSET = 6;  // from the archive's end (no comment)
const CENTRAL = { size: 46, nameLength: 28, extraLength: 30, commentLength: 32, localOffset: 42 };
const LOCAL_SIZE = 30;

// The compressed file (.mxl) of `document` named `name` (both bytes), with
// the library's container.xml and mimetype texts: "mimetype" first and
// stored, then META-INF/container.xml and the document, deflated.
function mxlOf(name, document, container, mimetype) {
    let key = null;
    let renamed = false;
    try {
        key = strictDecoder.decode(name);
    } catch {
        renamed = true;
        // A name that is not UTF-8 (an incipit number in another encoding)
        // is no string: the archive is made under an ASCII name as long, and
        // the name's bytes are then written over it in both its headers.
        key = 'x'.repeat(name.length);
    }
    const archive = zipSync({ mimetype: [mimetype, { level: 0 }], 'META-INF/container.xml': container,
                              [key]: document }, { mtime: MXL_DATE });
    if (!renamed)
        return archive;
    const view = new DataView(archive.buffer, archive.byteOffset, archive.length);
    let at = view.getUint32(archive.length - EOCD_CENTRAL_OFFSET, true);
    for (let entry = 0; entry < 2; ++entry) {
        at += CENTRAL.size + view.getUint16(at + CENTRAL.nameLength, true) +
            view.getUint16(at + CENTRAL.extraLength, true) + view.getUint16(at + CENTRAL.commentLength, true);
    }
    archive.set(name, at + CENTRAL.size);
    archive.set(name, view.getUint32(at + CENTRAL.localOffset, true) + LOCAL_SIZE);
    return archive;
}

const NOWHERE = { position: null, bytePosition: null, field: null, fieldPosition: null };

function readResult(tablePointer, options, spans) {
    const heap = wasm.HEAPU8;
    const words = wasm.HEAPU32;
    const signed = wasm.HEAP32;
    let w = tablePointer >>> 2;
    const bytesAt = (i) => heap.subarray(words[w + i], words[w + i] + words[w + i + 1]);
    const status = text(heap, words[w], words[w + 1]);
    const converted = words[w + 2] === 1;
    const documentAt = words[w + 3];
    const documentLength = words[w + 4];
    const fileName = text(heap, words[w + 5], words[w + 6]);
    const identifier = signed[w + 7];
    const number = text(heap, words[w + 8], words[w + 9]);
    const count = words[w + 10];
    // The compressed file's parts: the document's name, container.xml and
    // the mimetype (empty unless asked for).
    const zipped = [bytesAt(5), bytesAt(11), bytesAt(13)];
    const keys = text(heap, words[w + 15], words[w + 16]);
    w += HEAD_WORDS;
    const messages = [];
    for (let i = 0; i < count; ++i, w += ROW_WORDS) {
        const byte = signed[w + 4];
        messages.push({
            kind: text(heap, words[w], words[w + 1]),
            text: text(heap, words[w + 2], words[w + 3]),
            ...(byte < 0 ? NOWHERE : locate(byte, spans())),
            byte: byte < 0 ? null : signed[w + 5],
            code: text(heap, words[w + 6], words[w + 7]),
        });
    }
    const result = {
        ok: converted,
        status,
        xml: options?.xml === false ? '' : text(heap, documentAt, documentLength),
        fileName,
        identifier,
        number,
        messages,
    };
    // The document's bytes: the same as the text's UTF-8 whenever the
    // incipit number is UTF-8, which the text cannot carry otherwise.
    // The melodic keys, named as in the batch command's report (--keys).
    if (options?.melody)
        result.melody = keys === '' ? null : JSON.parse(`{${keys}}`);
    if (options?.bytes)
        result.data = heap.slice(documentAt, documentAt + documentLength);
    if (options?.compress && result.ok) {
        const [name, container, mimetype] = zipped;
        const format = formatRows[formatIndexOf(options)];
        result.data = mxlOf(name, heap.subarray(documentAt, documentAt + documentLength), container, mimetype);
        result.fileName = fileName.slice(0, fileName.length - format.suffix.length) + format.compressedSuffix;
    }
    return result;
}

// Converts one record line. A line feed or carriage return ends the record;
// anything after it is not read.
export function convert(record, options) {
    ready();
    checkInput(record, 'the record');
    // Bytes past the longest line the converter reads change nothing: the
    // line then is too long, or ended before them.
    const room = capacityOf(record, maxLineLength + 1);
    const at = wasm._tav_glue_input(glue, room);
    const [length] = put(record, at, room);
    // The fields, as TABs split the line, once a message needs them.
    const spans = () => {
        const bytes = wasm.HEAPU8.subarray(at, at + length);
        const fields = [];
        for (let start = 0; fields.length <= MUSIC;) {
            const tab = fields.length === MUSIC ? -1 : bytes.indexOf(TAB, start);
            const stop = tab < 0 ? length : tab;
            const value = bytes.subarray(start, stop);
            fields.push([FIELD_NAMES[fields.length], typeof record === 'string' ? decoder.decode(value) : value,
                         stop - start, stop - start]);
            start = Math.min(stop + 1, length);
        }
        return spansOf(fields);
    };
    return readResult(wasm._tav_glue_convert(glue, length, flagsOf(options)), options, spans);
}

// Converts a record given as its six fields, and a key signature kept
// apart from the music (`key`, read before it, as "$KEY " at the start of
// the music field would be); a missing field is empty, and an empty clef or
// time is a null field. The description's texts that are not empty go into
// the document.
export function convertFields(fields, options) {
    ready();
    const values = [...RECORD_TEXTS, ...DESCRIPTION].map((name) => {
        const value = fields?.[name] ?? '';
        checkInput(value, `the field ${name}`);
        return value;
    });
    const source = fields?.source;
    for (const name of SOURCE) {
        const value = name === 'creators' ? creatorsText(source?.creators) : source?.[name] ?? '';
        checkInput(value, `the source's ${name}`);
        values.push(value);
    }
    const recordUri = options?.recordUri ?? '';
    checkInput(recordUri, 'the option recordUri');
    values.push(recordUri);
    // Texts longer together than the longest line the converter reads are
    // cut at one byte past it, and then converted as such a line: too long.
    const limit = maxLineLength + 1;
    let room = Math.min(values.reduce((sum, value) => sum + capacityOf(value, Infinity), 0), limit);
    let at = wasm._tav_glue_input(glue, room);
    let whole = true;
    const lengths = values.map((value) => {
        const [length, all] = put(value, at, room);
        whole &&= all;
        at += length;
        room -= length;
        return length;
    });
    if (!whole)
        return readResult(wasm._tav_glue_convert(glue, limit, flagsOf(options)), options, () => []);
    // The fields in the line they stand for, in which a null field takes
    // two bytes ("\-") and a key its '$' (unless it has one) and a blank.
    const spans = () => spansOf(RECORD_TEXTS.flatMap((name, i) => {
        const [value, length] = [values[i], lengths[i]];
        if (name === 'key') {
            const before = length === 0 || value[0] === '$' || value[0] === DOLLAR ? 0 : 1;
            return length === 0 ? [] : [[name, value, length, length + before, before]];
        }
        const isNull = length === 0 && (name === 'clef' || name === 'time');
        return [[name, value, length, isNull ? 2 : length]];
    }));
    wasm.HEAPU32.set(lengths, wasm._tav_glue_lengths(glue) / 4);
    return readResult(wasm._tav_glue_convert_fields(glue, flagsOf(options)), options, spans);
}

let marcxml = null;

// The labels of windows-1252 that the reader does not read as Latin-1 (those
// it reads byte for byte), and the letters of its bytes 0x80-0x9F: Node's
// TextDecoder (20, for one) decodes windows-1252 as Latin-1.
const CP1252 = /^(?:windows-1252|x-cp1252|cp1252|(?:us-)?ascii|ansi_x3\.4-1968)$/i;
const C1 = '\u20AC\x81\u201A\u0192\u201E\u2026\u2020\u2021\u02C6\u2030\u0160\u2039\u0152\x8D\u017D\x8F' +
    '\x90\u2018\u2019\u201C\u201D\u2022\u2013\u2014\u02DC\u2122\u0161\u203A\u0153\x9D\u017E\u0178';
const DECLARED = /^<\?xml\s[^>]*?\bencoding\s*=\s*["']([^"']*)["']/;

// The text of a document's bytes declared as windows-1252; else the bytes.
function cp1252(bytes) {
    const label = DECLARED.exec(String.fromCharCode(...bytes.subarray(0, 256)))?.[1] ?? '';
    return CP1252.test(label)
        ? new TextDecoder('windows-1252').decode(bytes).replace(/[\x80-\x9F]/g, (c) => C1[c.charCodeAt(0) - 0x80])
        : bytes;
}

// Bytes compressed with gzip (by their first two bytes; members one after
// another too) decompressed, as the batch command reads them: { bytes,
// error }, error null, or for gzip data cut short or corrupt the command's
// words, with the bytes before the fault; any other bytes as they are.
export function gunzip(bytes) {
    if (bytes.length < 2 || bytes[0] !== 0x1F || bytes[1] !== 0x8B)
        return { bytes, error: null };
    const parts = [];
    let error = null;
    try {
        new Gunzip((part) => parts.push(part)).push(bytes, true);
    } catch (fault) {
        error = fault.message === 'unexpected EOF' ? 'the gzip data ends early (a truncated file)'
            : `the gzip data is corrupt: ${fault.message}`;
    }
    const whole = new Uint8Array(parts.reduce((n, part) => n + part.length, 0));
    parts.reduce((at, part) => (whole.set(part, at), at + part.length), 0);
    return { bytes: whole, error };
}

function gunzipped(bytes) {
    const { bytes: whole, error } = gunzip(bytes);
    if (error !== null)
        throw new Error(error);
    return whole;
}

// Reads a MARCXML document (its bytes or its text) as the page does, with
// the page's reader (page/marcxml.js) on the XML parser of the npm package
// @xmldom/xmldom, both loaded at the first call. Each record's fields are
// what convertFields takes.
export async function readMarcxml(input) {
    checkInput(input, 'the MARCXML document');
    marcxml ??= Promise.all([import('./page/marcxml.js'), import('@xmldom/xmldom')]).then(([reader, xmldom]) => {
        reader.useDomParser(parserOf(xmldom));
        return reader;
    }, (error) => {
        marcxml = null;  // tried again at the next call
        throw error;
    });
    const { entries, withoutMusic } = (await marcxml).readMarcxml(typeof input === 'string' ? input
        : cp1252(gunzipped(input)));
    // The reader's entries, in the order the command reports them, as the
    // records and the notes about them.
    const records = [], notes = [];
    for (const e of entries) {
        const control = e.control ?? undefined;
        if (e.fields === undefined) {
            notes.push({ kind: e.kind, text: e.text, control });
            continue;
        }
        for (const { text } of e.warnings)
            notes.push({ kind: 'warning', text, control });
        records.push({ label: `${e.control} 031 #${e.occurrence}`, fields: e.fields });
    }
    return { records, notes, withoutMusic };
}
