// The page's MARCXML reader runs on a browser's DOMParser; in Node it runs on
// the npm package @xmldom/xmldom, made to fail as a browser's parser fails:
// the same faults, in the same words, at the same places.

// Characters that XML cannot carry.
const NOT_XML = /[^\t\n\r\u0020-\uD7FF\uE000-\uFFFD\u{10000}-\u{10FFFF}]/u;
const ELEMENT = 1;

// Where in `text` the first character that XML cannot carry stands, as it
// is or as a character reference ("line L at column C", as a browser says
// it), or null: xmldom lets both pass in text and attributes.
function notXmlAt(text) {
    const raw = new RegExp(NOT_XML.source, 'u');
    const reference = /&#(?:x([0-9A-Fa-f]+)|([0-9]+));/g;
    let at = text.search(raw);
    for (let m; (m = reference.exec(text)) !== null && (at < 0 || m.index < at);) {
        const code = m[1] !== undefined ? parseInt(m[1], 16) : Number(m[2]);
        if (code > 0x10FFFF || NOT_XML.test(String.fromCodePoint(Math.min(code, 0x10FFFF))) ||
            (code >= 0xD800 && code <= 0xDFFF)) {
            at = m.index;
            break;
        }
    }
    if (at < 0)
        return null;
    const before = text.slice(0, at).split(/\r\n|\r|\n/);
    return `line ${before.length} at column ${[...before.at(-1)].length + 1}`;
}

// "line L at column C" of `locator` as a browser places the fault: for an
// end tag that closes another element than the one open, at that end tag
// (xmldom points into the element it leaves open).
function endTagAt(text, message, locator) {
    const closing = /mismatch: "[^"]*" != "([^"]*)"/.exec(message)?.[1];
    const lines = text.split(/(?<=\r\n|\r(?!\n)|\n)/);
    let index = lines.slice(0, locator.lineNumber - 1).reduce((n, line) => n + line.length, 0) +
        locator.columnNumber - 1;
    if (closing !== undefined) {
        const end = text.indexOf('</' + closing, index);
        if (end >= 0)
            index = end;
    }
    const before = text.slice(0, index).split(/\r\n|\r|\n/);
    return `line ${before.length} at column ${[...before.at(-1)].length + 1}`;
}

// The end of `text`, as endTagAt gives a place.
function endOf(text) {
    const lines = text.split(/\r\n|\r|\n/);
    return `line ${lines.length} at column ${[...lines.at(-1)].length + 1}`;
}

// xmldom's words for the faults the page's reader tells apart, in a
// browser's: an end tag that closes another element, and the end of the
// input before the root closes or before it starts.
function browserWords(message) {
    const mismatch = /mismatch: "([^"]*)" != "([^"]*)"/.exec(message);
    if (mismatch !== null)
        return `Unexpected closing tag: ${mismatch[2]} != ${mismatch[1]}`;
    if (/^unclosed xml tag/.test(message))
        return 'Unexpected end of stream';
    if (/^missing root element/.test(message))
        return 'Unexpected end of stream: no root element found';
    return message;
}

// The page's parser class on xmldom's: a document that is not well-formed
// gives one whose root is <parsererror> with the first fault, as a
// browser's does; a warning is a fault too (an attribute without quotes,
// say), but for the replacement character, which XML carries.
export function parserOf({ DOMParser, Element }) {
    // The reader asks whether an element holds markup; xmldom's have no firstElementChild.
    if (!('firstElementChild' in Element.prototype)) {
        Object.defineProperty(Element.prototype, 'firstElementChild', { get() {
            let child = this.firstChild;
            while (child !== null && child.nodeType !== ELEMENT)
                child = child.nextSibling;
            return child;
        } });
    }
    return class {
        parseFromString(text, type) {
            let fault = null;
            const onError = (level, message, { locator } = {}) => {
                if (level !== 'warning' || !message.startsWith('Unicode replacement character'))
                    fault ??= `error on ${locator?.lineNumber ? endTagAt(text, message, locator) : endOf(text)}: ` +
                        browserWords(message);
            };
            let document = null;
            try {
                document = new DOMParser({ onError }).parseFromString(text, type);
            } catch (error) {
                fault ??= error.message;
            }
            const where = fault === null ? notXmlAt(text) : null;
            if (where !== null)
                fault = `error on ${where}: a character that XML cannot carry`;
            if (fault === null)
                return document;
            // A fault as a browser gives it: an XHTML parsererror saying where.
            const failed = new DOMParser().parseFromString('<parsererror xmlns="http://www.w3.org/1999/xhtml"/>',
                                                           'application/xml');
            failed.documentElement.textContent = fault;
            return failed;
        }
    };
}
