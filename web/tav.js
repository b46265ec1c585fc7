// Plaine & Easie incipit records to MusicXML 1.0 documents, in Node and in
// browsers: the converter library compiled to WebAssembly.
//
//     import { convert, convertFields } from 'tav-incipit';
//     const r = convert('000012345\t1.1.1\tG-2\t3/4\t\t4C8DE/2F//');
//     if (r.ok) save(r.fileName, r.xml);
//     for (const m of r.messages) console.log(m.kind, m.text);
//
// The module is ready once imported (it waits for the WebAssembly instance
// with a top-level await). Every call converts synchronously.
import createTavModule from './dist/tav_wasm.js';

const wasm = await createTavModule();
const glue = wasm._tav_glue_new();
const maxLineLength = wasm._tav_glue_max_line_length();

const encoder = new TextEncoder();
const decoder = new TextDecoder();

// The glue's status codes and message kinds, by number.
const STATUS = ['converted', 'failed', 'too_large', 'line_too_long', 'blank'];
const KIND = ['warning', 'error'];
// The result table: a head of six words, then five words per message.
const HEAD_WORDS = 6;
const ROW_WORDS = 5;
// Bits of the glue's flags.
const REMOVE_MENSURAL = 1;
const REMOVE_MEASURE_RESTS = 2;

function flagsOf(options) {
    if (options === undefined || options === null)
        return 0;
    return (options.removeMensural ? REMOVE_MENSURAL : 0) |
        (options.removeMeasureRests ? REMOVE_MEASURE_RESTS : 0);
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

// Writes `value` (at most `room` bytes of it) at `at`; returns its length.
function put(value, at, room) {
    const target = wasm.HEAPU8.subarray(at, at + room);
    if (typeof value === 'string')
        return encoder.encodeInto(value, target).written;
    const bytes = value.subarray(0, room);
    target.set(bytes);
    return bytes.length;
}

function text(heap, at, length) {
    return decoder.decode(heap.subarray(at, at + length));
}

// The glue's -1 for "none".
function orNull(value) {
    return value < 0 ? null : value;
}

function readResult(tablePointer, options) {
    const heap = wasm.HEAPU8;
    const words = wasm.HEAPU32;
    const signed = wasm.HEAP32;
    let w = tablePointer >>> 2;
    const status = STATUS[words[w]];
    const documentAt = words[w + 1];
    const documentLength = words[w + 2];
    const fileName = text(heap, words[w + 3], words[w + 4]);
    const count = words[w + 5];
    w += HEAD_WORDS;
    const messages = [];
    for (let i = 0; i < count; ++i, w += ROW_WORDS) {
        messages.push({
            kind: KIND[words[w]],
            text: text(heap, words[w + 1], words[w + 2]),
            position: orNull(signed[w + 3]),
            byte: orNull(signed[w + 4]),
        });
    }
    const result = {
        ok: status === 'converted',
        status,
        xml: text(heap, documentAt, documentLength),
        fileName,
        messages,
    };
    // The document's bytes: the same as the text's UTF-8 whenever the
    // incipit number is UTF-8, which the text cannot carry otherwise.
    if (options?.bytes)
        result.data = heap.slice(documentAt, documentAt + documentLength);
    return result;
}

// Converts one record line. A line feed or carriage return ends the record;
// anything after it is not read.
export function convert(record, options) {
    checkInput(record, 'the record');
    // Bytes past the longest line the converter reads change nothing: the
    // line then is too long, or ended before them.
    const room = capacityOf(record, maxLineLength + 1);
    const at = wasm._tav_glue_input(glue, room);
    const length = put(record, at, room);
    return readResult(wasm._tav_glue_convert(glue, length, flagsOf(options)), options);
}

const FIELD_NAMES = ['identifier', 'number', 'clef', 'time', 'time2', 'music'];

// Converts a record given as its six fields; a missing field is empty, and
// an empty clef or time is a null field.
export function convertFields(fields, options) {
    const values = FIELD_NAMES.map((name) => {
        const value = fields?.[name] ?? '';
        checkInput(value, `the field ${name}`);
        return value;
    });
    const rooms = values.map((value) => capacityOf(value, Infinity));
    let at = wasm._tav_glue_input(glue, rooms.reduce((sum, room) => sum + room, 0));
    const lengths = values.map((value, i) => {
        const length = put(value, at, rooms[i]);
        at += length;
        return length;
    });
    return readResult(wasm._tav_glue_convert_fields(glue, ...lengths, flagsOf(options)), options);
}
