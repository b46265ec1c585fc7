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
//
// The bytes are decoded in marcxml_encoding.js, the text parsed in runs and
// windows in marcxml_parsing.js, and the records gathered in
// marcxml_fields.js.
import { Gatherer } from './marcxml_fields.js';
import { decodeXml } from './marcxml_encoding.js';
import { Reader } from './marcxml_parsing.js';

export { decodeXml, looksLikeXml } from './marcxml_encoding.js';
export { useDomParser } from './marcxml_parsing.js';

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
