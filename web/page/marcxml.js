// MARC 21 records in XML (MARCXML) to the page's entries, read as the batch
// command reads them, with the browser's own XML parser: the same incipits,
// the same messages with the same codes, in the same order, on the same lines
// of the file.
//
// The text is read in runs, each what one XML parser of the command reads: a
// run starts at the document's start, at the next element after a document
// that ended (records one after another without a root) or, after malformed
// XML, at the next start tag of a record, inside the root's start tag again
// (its name, "record" read as "collection", and its namespace declarations).
// A run is parsed in windows of some 256 K characters, cut between the root's
// children, so that a fault costs a window, not the rest of the file. Where
// the browser's parser finds a fault, the window is parsed again up to the
// last tag before it, and what it held reaches the reader as the command's
// parser would have handed it over.
//
// The reader (a Gatherer) follows the elements, start tags, text and end tags
// of records in the MARC 21 slim namespace or in none: each field 031 with
// music ($p) and the system code "pe" or none is one incipit, its identifier
// 001, its number "$a.$b.$c", clef $g, time $o, the key $n (kept apart, read
// before the music) and the music, and the composer (100 $a), the title (240 $a, else
// 245 $a), the caption $d, the role $e, the voice or instrument $m, the note
// $q, the text incipit $t and the key or mode $r for the document, with the
// record's source (852 $a $c, 100 $d, 700 creators, 240 $n $m, 383 $b, 594
// $b, 245 $a, 260 $c).
const MARC = 'http://www.loc.gov/MARC21/slim';
const XHTML = 'http://www.w3.org/1999/xhtml';
// What a namespace prefix never declared stands for here: as for libxml2, no
// namespace.
const UNDECLARED = 'urn:x-tav:undeclared';
const SYSTEM = 'pe';
const LARGEST_IDENTIFIER = 2147483647;
// About this many characters of a run are parsed at once.
const WINDOW = 1 << 18;
// A start tag's name no longer than this can be a record's; the search after
// malformed XML looks no further into a name.
const LONGEST_NAME = 256;
// The subfields of a 031 read, and those that may repeat (joined by "; ").
const READ = new Set(['a', 'b', 'c', 'd', 'e', 'g', 'm', 'n', 'o', 'p', 'q', 'r', 't', '2']);
const REPEATING = new Set(['d', 'e', 'm', 'q', 'r', 't']);
// The subfields of the record's other fields read, by tag and code: what
// each is kept as, and how repeated ones are joined (none: the first only).
const RECORD_READ = {
    100: { a: ['composer'], d: ['composerDates'] },
    240: { a: ['uniform'], n: ['uniformNumber'], m: ['uniformScoring'] },
    245: { a: ['title'] }, 260: { c: ['date'] }, 383: { b: ['subjectNumber'] },
    594: { b: ['scoring', ', '] }, 852: { a: ['siglum'], c: ['shelfmark'] },
};
// A person (700) is a creator by a relator code ($4) that names one.
const ROLES = [['lyr', 'lyricist'], ['lbt', 'librettist'], ['arr', 'arranger']];
const SPACE = /^[ \t\n\r]+|[ \t\n\r]+$/g;
const trim = (text) => text.replace(SPACE, '');
const localName = (name) => name.slice(name.lastIndexOf(':') + 1);

// --- the bytes ------------------------------------------------------------------------
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

// The XML parser: the browser's, made at its first use, unless
// useDomParser has named a class with the same parseFromString (Node has
// no DOMParser of its own).
let parser = { parseFromString: (text, type) => (parser = new DOMParser()).parseFromString(text, type) };
export function useDomParser(Class) { parser = new Class(); }

// --- the reader of records --------------------------------------------------------------------
const ELEMENT_NODE = 1, TEXT_NODE = 3, CDATA_SECTION_NODE = 4;
const RECORD = 1, CONTROLFIELD = 2, DATAFIELD = 3, SUBFIELD = 4, OTHER = 0;
const KINDS = { record: RECORD, controlfield: CONTROLFIELD, datafield: DATAFIELD, subfield: SUBFIELD };
const kindOf = (element) => [null, MARC, UNDECLARED].includes(element.namespaceURI) ? KINDS[element.localName] ?? OTHER : OTHER;
const value = () => ({ text: '', seen: false });
const validIdentifier = (id) => /^[0-9]{1,10}$/.test(id) && Number(id) <= LARGEST_IDENTIFIER;

// The field of a record line that a 031's subfields (trimmed) hold a tab
// or a line break in, if any.
function lineBreakIn(f) {
    const breaks = (text, tab = true) => (tab ? /[\t\n\r]/ : /[\n\r]/).test(text);
    return breaks(f.a) || breaks(f.b) || breaks(f.c) ? 'the number ($a, $b, $c)'
        : breaks(f.g) ? 'the clef ($g)' : breaks(f.o) ? 'the time signature ($o)'
        : breaks(f.n) ? 'the key signature ($n)' : breaks(f.p, false) ? 'the music ($p)' : null;
}

// Gathers each record's fields of interest from its elements and text, and
// gives its entries when it closes: { line, control, occurrence, fields,
// warnings } for an incipit, { line, control, occurrence, kind, text, code }
// for the reader's own message (control null when there is no 001).
class Gatherer {
    entries = [];
    records = 0;         // records started, the number in the messages
    withoutMusic = 0;    // fields 031 without $p, passed over
    inRecord = false;
    unclosed = 0;        // records reported as not closed, their elements still open
    target = null;       // the value whose text is gathered
    markupDepth = 0;     // elements open inside the gathered subfield

    message(kind, control, line, text, code, occurrence = 0) {
        this.entries.push({ line, control: control || null, occurrence, kind, text, code });
    }

    start(kind, key, line) {
        if (kind === RECORD) {
            if (this.inRecord) {
                this.message('error', this.abandon(), this.line, `record ${this.records} is not closed before ` +
                             'the next record starts; its fields are not read', 'record_not_closed');
                ++this.unclosed;
            }
            const kept = Object.values(RECORD_READ).flatMap((codes) => Object.values(codes).map(([name]) => [name, value()]));
            Object.assign(this, { inRecord: true, line, control: value(), ...Object.fromEntries(kept),
                                  persons: [], fields: [], markup: [], field: null });
            ++this.records;
        } else if (!this.inRecord) {
            // outside records: nothing is read
        } else if (this.target !== null) {
            // Markup inside a subfield: its text is kept, the element is not.
            if (this.markupDepth++ === 0 && this.markup.at(-1) !== this.where)
                this.markup.push(this.where);
        } else if (kind === CONTROLFIELD) {
            this.field = key === '001' ? '001' : null;
            if (this.field)
                this.gather(this.control, false, '001');
        } else if (kind === DATAFIELD) {
            this.field = key === '031' || key === '700' || key in RECORD_READ ? key : null;
            if (key === '031')
                this.fields.push({ line });
            if (key === '700')
                this.persons.push({ name: value(), relator: value() });
        } else if (kind === SUBFIELD && key.length === 1) {
            this.subfield(key);
        }
    }

    gather(target, repeats, where, joint = '; ') {
        if (target.seen && !repeats)
            return;
        if (target.seen)
            target.text += joint;
        target.seen = true;
        this.target = target;
        this.where = where;
    }

    subfield(code) {
        const read = RECORD_READ[this.field]?.[code];
        if (read !== undefined) {
            this.gather(this[read[0]], read[1] !== undefined, `${this.field} $${code}`, read[1]);
        } else if (this.field === '700' && (code === 'a' || code === '4')) {
            const person = this.persons.at(-1);
            this.gather(code === 'a' ? person.name : person.relator, code === '4', `700 $${code}`, ' ');
        } else if (this.field === '031' && READ.has(code)) {
            this.gather(this.fields.at(-1)[code] ??= value(), REPEATING.has(code), `031 #${this.fields.length} $${code}`);
        }
    }

    end(kind) {
        if (!this.inRecord) {
            if (kind === RECORD && this.unclosed > 0)
                --this.unclosed;   // the end of a record already reported
        } else if (this.markupDepth > 0) {
            --this.markupDepth;
        } else if (kind !== OTHER) {
            this.target = null;
            if (kind !== SUBFIELD && kind !== CONTROLFIELD)
                this.field = null;
            if (kind === RECORD) {
                this.inRecord = false;
                this.finish();
            }
        }
    }

    text(text) {
        if (this.target !== null)
            this.target.text += text;
    }

    // Malformed XML: the record being read is dropped; gives its 001 as far
    // as it was read.
    abandon() {
        const id = this.inRecord ? trim(this.control.text) : '';
        Object.assign(this, { inRecord: false, target: null, field: null, markupDepth: 0, fields: [] });
        return id;
    }

    // A record closed: its error, or each of its fields 031 in turn.
    finish() {
        const id = trim(this.control.text);
        const which = `record ${this.records}`;
        if (!this.control.seen)
            return this.message('error', null, this.line, `${which} has no control number (001)`, 'no_control_number');
        if (!validIdentifier(id)) {
            return this.message('error', id, this.line, `${which}: control number (001) "${id}" is not an ` +
                                'incipit identifier (one to ten digits)', 'control_number_not_identifier');
        }
        const composer = trim(this.composer.text);
        const uniform = trim(this.uniform.text);
        const shared = { composer: composer || undefined, workTitle: uniform || trim(this.title.text) || undefined,
                         source: this.source(id) };
        this.fields.forEach((f, i) => this.incipit(f, i + 1, id, shared));
    }

    // What the record tells of its source, shared by its incipits.
    source(id) {
        const t = (name) => trim(this[name].text);
        const creators = [];
        for (const p of this.persons) {
            const role = ROLES.find(([code]) => p.relator.text.includes(code));
            if (role !== undefined && trim(p.name.text) !== '')
                creators.push({ role: role[1], name: trim(p.name.text) });
        }
        return { controlNumber: id, siglum: t('siglum'), shelfmark: t('shelfmark'), composerDates: t('composerDates'),
                 workNumber: t('uniformNumber') || t('subjectNumber'), scoring: t('uniformScoring') || t('scoring'),
                 sourceTitle: t('title'), date: t('date'), creators };
    }

    incipit(f, occurrence, id, shared) {
        const v = Object.fromEntries([...READ].map((code) => [code, trim(f[code]?.text ?? '')]));
        const { a, b, c, d, e, g, m, n, o, p, q, r, t, 2: system } = v;
        if (p === '') {
            ++this.withoutMusic;
            return;
        }
        const here = `031 #${occurrence}`;
        const what = lineBreakIn(v);
        if (system !== '' && system !== SYSTEM) {
            this.message('warning', id, f.line, `${here} has the system code "${system}", which is not read; passed over`,
                         'other_notation_system', occurrence);
        } else if (what !== null) {
            this.message('error', id, f.line, `${here}: ${what} holds a tab or a line break`, 'subfield_holds_line_break',
                         occurrence);
        } else {
            // Markup in the texts it is made of: its own field's, the record's.
            const warnings = this.markup.filter((where) => !where.startsWith('031 ') || where.startsWith(`${here} `))
                .map((where) => ({ text: `${where} holds markup; its text is read without it`, code: 'subfield_holds_markup' }));
            const fields = { identifier: id, number: `${a}.${b}.${c}`, clef: g, time: o,
                             key: n || undefined, music: p, ...shared,
                             movementTitle: d || undefined, partName: m || undefined, textIncipit: t || undefined,
                             keyOrMode: r || undefined, role: e || undefined, note: q || undefined,
                             movementNumber: `${a}.${b}.${c}` };
            this.entries.push({ line: f.line, control: id, occurrence, fields, warnings });
        }
    }
}

// --- the text, in runs and windows ---------------------------------------------------------------
// Comments, character data, processing instructions, declarations and tags.
const TOKEN = /<!--[\s\S]*?-->|<!\[CDATA\[[\s\S]*?\]\]>|<\?[\s\S]*?\?>|<![^>]*>|<(\/?)([^\s/>]+)((?:[^>"']|"[^"]*"|'[^']*')*)>/g;
const NAMESPACE = /\sxmlns(?::[^\s=]+)?\s*=\s*(["'])[\s\S]*?\1/g;
// A document's own entity declarations, which are not expanded here: a
// reference to one is malformed XML.
const DOCTYPE = /<!DOCTYPE(?:[^[>"']|"[^"]*"|'[^']*')*\[[\s\S]*?\]\s*>/;
const DOCTYPE_TAG = /<!DOCTYPE(?:[^[>"']|"[^"]*"|'[^']*')*(\[[\s\S]*?\])?\s*>/;
const ENTITY = /<!ENTITY(?:[^>"']|"[^"]*"|'[^']*')*>/g;
const blank = (text) => text.replace(/[^\n\r]/g, ' ');
// The browser's words for a fault at the end of the input, and the command's.
const ENDS = [[/^Unexpected end of stream: no root element found/, () => 'Document is empty'],
              [/^Unexpected end of stream/, (root) => `the input ends before the element ${root} is closed`]];

class Reader {
    constructor({ text, bytesBefore, notUtf8 = [] }, gatherer) {
        this.text = text.replace(DOCTYPE, (doctype) => doctype.replace(ENTITY, blank));
        this.bytesBefore = bytesBefore;   // undefined: no byte offsets (not UTF-8)
        this.notUtf8 = notUtf8;
        this.g = gatherer;
        this.root = null;                 // { name, spaces, record } of the document being read
        this.lines = { at: 0, line: 1 };  // line feeds counted up to `at`
        this.bytes = { at: 0, count: 0 }; // UTF-8 bytes up to `at`
        this.bad = 0;                     // the first of notUtf8 not behind the reading
        this.undeclared = new Set();      // namespace prefixes used and never declared
    }

    // The first sequence that is not UTF-8 from `index` on, if any.
    notUtf8From(index) {
        while (this.bad < this.notUtf8.length && this.notUtf8[this.bad].index < index)
            ++this.bad;
        return this.notUtf8[this.bad];
    }

    // The line of `index` (line feeds before it, as the command counts).
    lineOf(index) {
        let { at, line } = index >= this.lines.at ? this.lines : { at: 0, line: 1 };
        for (; at < index; ++at)
            line += this.text.charCodeAt(at) === 10 ? 1 : 0;
        this.lines = { at, line };
        return line;
    }

    byteOf(index) {
        let { at, count } = index >= this.bytes.at ? this.bytes : { at: 0, count: 0 };
        for (; at < index; ++at) {
            const c = this.text.charCodeAt(at);
            count += c < 0x80 ? 1 : c < 0x800 ? 2 : c >= 0xD800 && c < 0xDC00 ? (++at, 4) : 3;
        }
        this.bytes = { at, count };
        // Each such sequence is one U+FFFD (three bytes) in the text.
        let k = this.bad;
        while (k < this.notUtf8.length && this.notUtf8[k].index < index)
            ++k;
        return count + (k > 0 ? this.notUtf8[k - 1].extra : 0) + this.bytesBefore;
    }

    read() {
        let at = 0;
        let seek = null;
        let inside = null;
        for (;;) {
            if (seek !== null && (at = this.seek(at, seek)) < 0)
                return;
            ({ at, seek } = this.run(at, inside));
            if (seek === null)
                return;
            inside = seek === 'record' ? this.root : null;
        }
    }

    // Where the next start tag of a record ('record') or of any element
    // ('element') begins, from `from`; -1 when there is none.
    seek(from, what) {
        for (let i = this.text.indexOf('<', from); i >= 0; i = this.text.indexOf('<', i + 1)) {
            const name = /^[^ \t\n\r>/<]*/.exec(this.text.slice(i + 1, i + 1 + LONGEST_NAME))[0];
            if (name === '' || name.length === LONGEST_NAME)
                continue;
            if (what === 'element' ? name[0] !== '!' && name[0] !== '?' : localName(name) === 'record')
                return i;
        }
        return -1;
    }

    // The tags of the text from `from` to `to`: calls `tag(start, end,
    // name, rest)` (end tags with `name` starting with '/') and keeps
    // `stack`, the names of the elements open; stops early when it returns
    // true.
    tags(from, to, stack, tag) {
        TOKEN.lastIndex = from;
        for (let m; (m = TOKEN.exec(this.text)) !== null && m.index < to;) {
            if (m[2] === undefined)
                continue;
            const end = m.index + m[0].length;
            if (m[1]) {
                const open = stack.lastIndexOf(m[2]);
                if (open >= 0)
                    stack.length = open;
            } else if (!m[3].endsWith('/')) {
                stack.push(m[2]);
            }
            if (tag(m.index, end, m[1] + m[2], m[3]))
                return end;
        }
        return to;
    }

    // Reads one run from `at` (inside the root's start tag again when
    // `inside`): { at, seek } for where the next run is looked for, seek
    // null at the end of the text.
    run(at, inside) {
        const stack = inside ? [inside.name] : [];
        // After a fault the windows start small, for the next fault may be near.
        let size = inside ? 4096 : WINDOW;
        let start = at;
        let wrapper = inside ? `<${inside.name}${inside.spaces}>` : '';
        for (;;) {
            const outer = [...stack];
            let closed = false;
            const end = this.tags(start, this.text.length, stack, (from, to, name, rest) => {
                if (this.root === null && name[0] !== '/') {
                    const record = localName(name) === 'record';
                    this.root = { name: record ? `${name.slice(0, -6)}collection` : name, record, end: to,
                                  spaces: (rest.match(NAMESPACE) ?? []).join('') };
                }
                closed = stack.length === 0;
                return closed || (stack.length === 1 && to - start > size && !this.root.record);
            });
            const last = closed || end === this.text.length;
            const fault = this.window(start, end, wrapper, outer, last ? [] : stack);
            if (fault !== null)
                return fault;
            if (closed) {
                this.root = null;
                return { at: end, seek: 'element' };
            }
            if (last)
                return { at: end, seek: null };
            start = end;
            size = Math.min(2 * size, WINDOW);
            wrapper = `<${stack[0]}${this.root.spaces}>`;
        }
    }

    // Parses the text from `start` to `end` after `wrapper` (the elements
    // `outer` open before it) and closed by the elements `open` at its end;
    // gives its elements to the reader, up to the fault if there is one.
    // Returns null, or after a fault where the next run is looked for.
    window(start, end, wrapper, outer, open) {
        const parsed = this.parse(start, end, wrapper, open);
        const next = this.notUtf8From(start);
        const bad = next?.index < end ? next : undefined;
        if (parsed.error === undefined && bad === undefined) {
            this.walk(parsed, start, end, open.length);
            return null;
        }
        // The first fault: the parser's, or a sequence that is not UTF-8.
        let { fault, words } = parsed.error === undefined ? { fault: end } : this.faultOf(parsed, start, end);
        const past = bad !== undefined && bad.index < fault ? 0 : 1;
        if (past === 0)
            ({ index: fault, words } = bad);
        // A root the parser did not reach is no root.
        if (this.root?.end > fault)
            this.root = null;
        // What the parser handed over: the elements before the fault.
        const stack = [...outer];
        let cut = start;
        this.tags(start, fault, stack, (from, to) => {
            if (to > fault)
                return true;
            cut = to;
            return false;
        });
        stack.length = 0;
        stack.push(...outer);
        this.tags(start, cut, stack, () => false);
        const partial = this.parse(start, cut, wrapper, stack);
        if (partial.error === undefined)
            this.walk(partial, start, cut, stack.length);
        this.malformed(fault, past, words.replaceAll(`{${UNDECLARED}}`, '').trim(), stack);
        // From the fault itself, or the character after it when the parser
        // got no further than its first.
        const at = Math.min(fault + 1, this.text.length);
        return { at: at > start ? at : at + 1, seek: this.root === null ? 'element' : 'record' };
    }

    // Parses the text from `start` to `end` after `wrapper` and closed by
    // the elements `open`: { document, error, head, wrapper, top } with the
    // parser's error element, if any, and the text before the window's.
    // Prefixes never declared are declared in an element around it all
    // (`top`), the document's declaration and type left out.
    parse(start, end, wrapper, open) {
        for (;;) {
            const declared = [...this.undeclared].map((prefix) => ` xmlns:${prefix}="${UNDECLARED}"`).join('');
            const top = declared === '' ? '' : `<tav${declared}>`;
            let text = this.text.slice(start, end);
            if (top !== '' && wrapper === '')
                text = text.replace(/^<\?xml[\s\S]*?\?>/, blank).replace(DOCTYPE_TAG, blank);
            const document = parser.parseFromString(top + wrapper + text + open.toReversed().map((name) => `</${name}>`)
                .join('') + (top === '' ? '' : '</tav>'), 'application/xml');
            const error = document.getElementsByTagNameNS(XHTML, 'parsererror')[0];
            const prefix = /^(?:Element|Attribute) ([^\s:]+):\S* prefix is unbound/.exec(this.words(error))?.[1];
            if (prefix === undefined || this.undeclared.has(prefix))
                return { document, error, head: top + wrapper, wrapper: wrapper !== '', top: top !== '' };
            this.undeclared.add(prefix);
        }
    }

    words(error) {
        return /error on line \d+ at column \d+: ([\s\S]*?)(Below is a rendering|$)/.exec(error?.textContent ?? '')?.[1] ?? '';
    }

    // The index in the text of the character the parser's error is at, and
    // its words. The browser counts lines ending at LF, CR LF or CR, and
    // columns in characters from 1.
    faultOf({ error, head }, start, end) {
        const [, line, column, words] = /error on line (\d+) at column (\d+): ([\s\S]*?)(Below is a rendering|$)/
            .exec(error.textContent) ?? [null, 1, 1, error.textContent];
        const parsed = head + this.text.slice(start, end);
        let index = 0;
        for (let l = 1; l < line && index < parsed.length; ++l) {
            const next = parsed.slice(index).search(/\r\n?|\n/);
            index = next < 0 ? parsed.length : index + next + (parsed.startsWith('\r\n', index + next) ? 2 : 1);
        }
        for (let c = 1; c < column && index < parsed.length; ++c)
            index += parsed.codePointAt(index) > 0xFFFF ? 2 : 1;
        return { fault: Math.min(Math.max(index - head.length, 0) + start, end), words };
    }

    // The fault's message, its byte the one after the character at fault
    // (`past` 1) or the one it starts at (0).
    malformed(fault, past, words, stack) {
        const g = this.g;
        // The end of a record already reported as not closed adds nothing.
        if (!g.inRecord && g.unclosed > 0 && /^Unexpected closing tag/.test(words) && localName(stack.at(-1) ?? '') === 'record')
            return;
        const line = this.lineOf(fault);
        const [, said] = ENDS.find(([pattern]) => pattern.test(words)) ?? [null, () => words];
        let text = `malformed XML at line ${line}${this.bytesBefore === undefined ? ''
            : `, byte ${this.byteOf(Math.min(fault + past, this.text.length))}`}: ${said(this.root?.name)}`;
        let control = null;
        if (g.inRecord) {
            text += `; record ${g.records} is passed over`;
            control = g.abandon();
        }
        g.message('error', control, line, text, 'malformed_xml');
        g.abandon();
    }

    // Gives the elements and text of a parsed window to the reader, each
    // element with the line of its start tag; the last `open` elements
    // (closed only to parse them) do not end.
    walk({ document, wrapper, top: around }, start, end, open) {
        const lines = [];
        this.tags(start, end, [], (from, to, name) => {
            if (name[0] !== '/')
                lines.push(this.lineOf(to - 1));
        });
        // The first element among `node` and the siblings after it (before it, with `back`).
        const element = (node, back) => {
            while (node !== null && node.nodeType !== ELEMENT_NODE)
                node = back ? node.previousSibling : node.nextSibling;
            return node;
        };
        const first = around ? element(document.documentElement.firstChild, false) : document.documentElement;
        const unended = new Set();
        for (let e = first; e !== null && unended.size < open; e = element(e.lastChild, true))
            unended.add(e);
        const top = wrapper ? first : around ? document.documentElement : document;
        const g = this.g;
        let k = 0;
        let node = top.firstChild;
        while (node !== null) {
            if (node.nodeType === ELEMENT_NODE) {
                const kind = kindOf(node);
                g.start(kind, node.getAttribute(kind === SUBFIELD ? 'code' : 'tag') ?? '', lines[k++] ?? 0);
                if (node.firstChild !== null) {
                    node = node.firstChild;
                    continue;
                }
                if (!unended.has(node))
                    g.end(kind);
            } else if (node.nodeType === TEXT_NODE || node.nodeType === CDATA_SECTION_NODE) {
                g.text(node.data);
            }
            while (node !== top && node.nextSibling === null) {
                node = node.parentNode;
                if (node !== top && !unended.has(node))
                    g.end(kindOf(node));
            }
            node = node === top ? null : node.nextSibling;
        }
    }
}

// { entries, withoutMusic } from a MARCXML document's bytes (see decodeXml)
// or its text: the entries in the order the command reports them.
export function readMarcxml(input) {
    const decoded = typeof input === 'string' ? { text: input, bytesBefore: 0 } : decodeXml(input);
    const g = new Gatherer();
    if (decoded.refused !== undefined)
        g.message('error', null, 1, `malformed XML at line 1: ${decoded.refused}; the input is not read`, 'malformed_xml');
    else
        new Reader(decoded, g).read();
    return { entries: g.entries, withoutMusic: g.withoutMusic };
}
