// The bytes of a MARCXML file: whether they are XML, and the text they
// decode to, as the batch command decodes them.
import { MARC, localName } from './marcxml_fields.js';

function latin1(bytes) {
    let text = '';
    for (let at = 0; at < bytes.length; at += 8192)
        text += String.fromCharCode(...bytes.subarray(at, at + 8192));
    return text;
}

// Whether a file's first bytes are MARCXML rather than a tab export: a UTF-16
// byte-order mark, or (after a UTF-8 one and white space) an XML declaration,
// a comment, a document type, a collection or record, or any element when the
// first block names the MARC 21 namespace.
export function looksLikeXml(bytes) {
    let start = latin1(bytes.subarray(0, 65536));
    if (/^(\xFF\xFE|\xFE\xFF)/.test(start))
        return true;
    start = start.replace(/^(\xEF\xBB\xBF)?[ \t\n\r]*/, '');
    if (/^(<\?xml|<!--|<!DOCTYPE)/.test(start))
        return true;
    const name = /^<([^ \t\n\r>/]*)/.exec(start)?.[1];
    return name !== undefined && (['collection', 'record'].includes(localName(name)) || start.includes(MARC));
}

// The encoding an XML declaration at the very start names, if any.
function declaredEncoding(head) {
    if (!head.startsWith('<?xml'))
        return '';
    const end = head.indexOf('?>');
    const declaration = head.slice(0, Math.min(end < 0 ? head.length : end, 1024));
    const at = declaration.indexOf('encoding');
    return at < 0 ? '' : /^[ \t\n\r]*=[ \t\n\r]*(["'])(.*?)\1/s.exec(declaration.slice(at + 8))?.[2] ?? '';
}

// TextDecoder reads ISO-8859-1 as windows-1252; each byte is its own character.
const LATIN_1 = /^(iso[-_]?8859-1|iso88591|iso_8859-1:1987|iso-ir-100|latin1|l1|cp819|ibm819|csisolatin1)$/i;

// The bytes of UTF-8 input that are not UTF-8, as the XML parser of the
// command meets them: each sequence (read as the decoder reads it, one U+FFFD
// in the text) at `index` in the text, its `byte` in the input, `extra`: the
// bytes of this one and those before over the three of U+FFFD each, and the
// parser's words for it.
function notUtf8(bytes, before) {
    const faults = [];
    let index = 0;
    let extra = 0;
    for (let i = before; i < bytes.length;) {
        const c = bytes[i];
        const [n, low, high] = c < 0x80 ? [1] : c >= 0xC2 && c <= 0xDF ? [2, 0x80, 0xBF] : c >= 0xE0 && c <= 0xEF
            ? [3, c === 0xE0 ? 0xA0 : 0x80, c === 0xED ? 0x9F : 0xBF] : c >= 0xF0 && c <= 0xF4
            ? [4, c === 0xF0 ? 0x90 : 0x80, c === 0xF4 ? 0x8F : 0xBF] : [0];
        let k = 1;
        while (k < n && bytes[i + k] >= (k === 1 ? low : 0x80) && bytes[i + k] <= (k === 1 ? high : 0xBF))
            ++k;
        if (n === 0 || k < n) {
            const shown = [...bytes.subarray(i, i + 4)].map((b) => `0x${b.toString(16).toUpperCase().padStart(2, '0')}`);
            extra += k - 3;
            faults.push({ index, byte: i, extra,
                          words: `Input is not proper UTF-8, indicate encoding !\nBytes: ${shown.join(' ')}` });
        }
        index += n === 4 && k === n ? 2 : 1;
        i += k;
    }
    return faults;
}

// The document's text, as the command decodes it: UTF-16 by its byte-order
// mark or first bytes, else UTF-8 after its byte-order mark, else the
// encoding the declaration names (UTF-8 for none, "UTF-16" and ASCII).
// { text, bytesBefore, notUtf8 } where byte offsets are those of UTF-8 input
// (the byte-order mark before the text), or { refused } for an unknown
// encoding.
export function decodeXml(bytes) {
    const head = latin1(bytes.subarray(0, 1024));
    let encoding = /^(\xFF\xFE|<\0\?\0)/.test(head) ? 'UTF-16LE' : /^(\xFE\xFF|\0<\0\?)/.test(head) ? 'UTF-16BE'
        : head.startsWith('\xEF\xBB\xBF') ? '' : declaredEncoding(head);
    if (/^(utf-?8|utf-16|us-ascii|ascii)$/i.test(encoding))
        encoding = '';
    if (encoding === '') {
        const text = new TextDecoder().decode(bytes);
        const bytesBefore = head.startsWith('\xEF\xBB\xBF') ? 3 : 0;
        return { text, bytesBefore, notUtf8: text.includes('\uFFFD') ? notUtf8(bytes, bytesBefore) : [] };
    }
    if (LATIN_1.test(encoding))
        return { text: new TextDecoder('utf-16le').decode(Uint16Array.from(bytes)) };
    try {
        return { text: new TextDecoder(encoding).decode(bytes) };
    } catch {
        return { refused: `Unsupported encoding ${encoding}` };
    }
}
