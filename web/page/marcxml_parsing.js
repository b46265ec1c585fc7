// The text of a MARCXML document in runs and windows (see marcxml.js), parsed
// by the XML parser, and the elements and text found given to the reader of
// records (a Gatherer, marcxml_fields.js).
import { SUBFIELD, UNDECLARED, kindOf, localName } from './marcxml_fields.js';

const XHTML = 'http://www.w3.org/1999/xhtml';
// About this many characters of a run are parsed at once.
const WINDOW = 1 << 18;
// A start tag's name no longer than this can be a record's; the search after
// malformed XML looks no further into a name.
const LONGEST_NAME = 256;

// The XML parser: the browser's, made at its first use, unless
// useDomParser has named a class with the same parseFromString (Node has
// no DOMParser of its own).
let parser = { parseFromString: (text, type) => (parser = new DOMParser()).parseFromString(text, type) };
export function useDomParser(Class) { parser = new Class(); }

const ELEMENT_NODE = 1, TEXT_NODE = 3, CDATA_SECTION_NODE = 4;

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

export class Reader {
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
