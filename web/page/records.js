// The page's records, shared by the page and its worker: the records of a
// pasted text, of a tab export's bytes or of the entries read from MARCXML,
// and what the page shows of a message's sign.
import { convert, convertFields, fieldNames as FIELD_NAMES, formats } from './tav.js';

const LF = 10;
const CR = 13;
const FIELD_SEPARATOR = '\t';
// Characters shown either side of a sign.
const CONTEXT = 40;

// The records of `source`: { text } (a paste), { bytes } (a file) or
// { entries } (read from MARCXML, see marcxml.js; or with catalogue false
// by the package's readRecords, whose entries name no catalogue record). Lines end at LF, CR LF or
// a lone CR; empty lines are no records, as for the batch command, and are
// counted. Each record knows its line; at(i) is what the converter takes,
// null for an entry that is the MARCXML reader's own message.
export function recordsOf(source) {
    if (source.entries !== undefined) {
        const { entries } = source;
        return { count: entries.length, lineOf: (i) => entries[i].line, at: (i) => entries[i].fields ?? null,
                 entry: (i) => entries[i], blankLines: 0, catalogue: source.catalogue ?? true };
    }
    const value = source.text ?? source.bytes;
    const code = (i) => typeof value === 'string' ? value.charCodeAt(i) : value[i];
    const starts = [], ends = [], lines = [];
    let blankLines = 0;
    for (let start = 0, line = 1; start < value.length; ++line) {
        let end = start;
        while (end < value.length && code(end) !== LF && code(end) !== CR)
            ++end;
        if (end > start) {
            starts.push(start);
            ends.push(end);
            lines.push(line);
        } else {
            ++blankLines;
        }
        start = end + (code(end) === CR && code(end + 1) === LF ? 2 : 1);
    }
    const slice = typeof value === 'string' ? (i) => value.slice(starts[i], ends[i])
        : (i) => value.subarray(starts[i], ends[i]);
    return { count: starts.length, lineOf: (i) => lines[i], at: slice, entry: () => undefined, blankLines,
             catalogue: false };
}

// Converts a record: a line, or fields.
// The media type of the files the options make: the format's, or its
// compressed container's.
export function mediaTypeOf(options) {
    const format = formats().find((f) => f.name === options.format) ?? formats()[0];
    return options.compress ? format.compressedMediaType : format.mediaType;
}

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
