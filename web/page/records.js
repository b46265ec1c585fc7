// The page's records, shared by the page and its worker: the records of a
// pasted text, of a tab export's bytes or of fields read from MARCXML, and
// what the page shows of a message's sign.
import { convert, convertFields, fieldNames as FIELD_NAMES } from './tav.js';

const LF = 10;
const CR = 13;
const FIELD_SEPARATOR = '\t';
// Characters shown either side of a sign.
const CONTEXT = 40;

// Whether bytes or text between `start` and `end` hold more than spaces.
function hasText(value, start, end) {
    for (let i = start; i < end; ++i) {
        const c = typeof value === 'string' ? value.charCodeAt(i) : value[i];
        if (c > 32)
            return true;
    }
    return false;
}

// The records of `source`: { text } (a paste), { bytes } (a file) or
// { records } (fields, each as { fields, label }). Lines end at LF, CR LF or
// a lone CR; blank lines are no records. Each record knows its line.
export function recordsOf(source) {
    if (source.records !== undefined) {
        return { count: source.records.length, lineOf: (i) => i + 1,
                 at: (i) => source.records[i].fields, labelOf: (i) => source.records[i].label };
    }
    const value = source.text ?? source.bytes;
    const code = (i) => typeof value === 'string' ? value.charCodeAt(i) : value[i];
    const starts = [], ends = [], lines = [];
    for (let start = 0, line = 1; start < value.length; ++line) {
        let end = start;
        while (end < value.length && code(end) !== LF && code(end) !== CR)
            ++end;
        if (hasText(value, start, end)) {
            starts.push(start);
            ends.push(end);
            lines.push(line);
        }
        start = end + (code(end) === CR && code(end + 1) === LF ? 2 : 1);
    }
    const slice = typeof value === 'string' ? (i) => value.slice(starts[i], ends[i])
        : (i) => value.subarray(starts[i], ends[i]);
    return { count: starts.length, lineOf: (i) => lines[i], at: slice, labelOf: () => null };
}

// Converts a record: a line, or fields.
export function convertRecord(record, options) {
    return typeof record === 'string' || record instanceof Uint8Array
        ? convert(record, options) : convertFields(record, options);
}

const decoder = new TextDecoder();
const asText = (value) => typeof value === 'string' ? value : decoder.decode(value);

// The field that holds a message's sign, cut around it: { field, before,
// sign, after }; null for a message about no sign.
export function signOf(record, message) {
    if (message.field === null)
        return null;
    let value;
    if (typeof record === 'string' || record instanceof Uint8Array) {
        const field = FIELD_NAMES.indexOf(message.field);
        const start = message.position - message.fieldPosition;
        const fields = record.slice(start, record.length);
        const end = field === FIELD_NAMES.length - 1 ? -1 : fields.indexOf(
            typeof record === 'string' ? FIELD_SEPARATOR : FIELD_SEPARATOR.charCodeAt(0));
        value = end < 0 ? fields : fields.slice(0, end);
    } else {
        value = record[message.field] ?? '';
    }
    const at = message.fieldPosition;
    // A sign is one character of a text (two UTF-16 units past U+FFFF), or
    // one byte; a few characters either side of it are shown.
    const width = typeof value === 'string' && value.codePointAt(at) > 0xFFFF ? 2 : 1;
    const from = Math.max(at - CONTEXT, 0);
    const to = Math.min(at + width + CONTEXT, value.length);
    return { field: message.field, fieldPosition: at,
             before: (from > 0 ? '\u2026' : '') + asText(value.slice(from, at)),
             sign: asText(value.slice(at, at + width)),
             after: asText(value.slice(at + width, to)) + (to < value.length ? '\u2026' : '') };
}
