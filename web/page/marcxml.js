// MARC 21 records in XML (MARCXML) to the page's records, with the browser's
// own XML parser. Each field 031 with music ($p) and the system code "pe" or
// none is one record: identifier 001, number "$a.$b.$c", clef $g, time $o,
// and the key $n written before the music as the tab export writes it
// ("$" KEY " " MUSIC). A 031 without music is passed over and counted; one
// in another system is passed over with a note, and so is a record without
// a usable 001.
const SYSTEM = 'pe';
const IDENTIFIER = /^[0-9]{1,10}$/;

function subfields(field) {
    const values = {};
    for (const sub of field.getElementsByTagNameNS('*', 'subfield')) {
        const code = sub.getAttribute('code');
        values[code] ??= sub.textContent.trim();
    }
    return values;
}

// { records: [{ fields, label }], notes: [{ kind, text }], withoutMusic }
// from the text of a MARCXML document (a collection or one record).
export function readMarcxml(text) {
    const document = new DOMParser().parseFromString(text, 'application/xml');
    const fault = document.getElementsByTagName('parsererror')[0];
    if (fault !== undefined)
        return { records: [], notes: [{ kind: 'error', text: `not well-formed XML: ${fault.textContent.trim()}` }], withoutMusic: 0 };
    const records = [];
    const notes = [];
    let withoutMusic = 0;
    let ordinal = 0;
    for (const record of document.getElementsByTagNameNS('*', 'record')) {
        ++ordinal;
        const control = [...record.getElementsByTagNameNS('*', 'controlfield')]
            .find((field) => field.getAttribute('tag') === '001');
        const identifier = control?.textContent.trim();
        const incipits = [...record.getElementsByTagNameNS('*', 'datafield')]
            .filter((field) => field.getAttribute('tag') === '031');
        if (incipits.length === 0)
            continue;
        if (identifier === undefined) {
            notes.push({ kind: 'error', text: `record ${ordinal} has no control number (001)` });
            continue;
        }
        if (!IDENTIFIER.test(identifier)) {
            notes.push({ kind: 'error', text: `record ${ordinal}: control number (001) "${identifier}" ` +
                                              'is not an incipit identifier (one to ten digits)' });
            continue;
        }
        incipits.forEach((field, i) => {
            const f = subfields(field);
            const label = `${identifier} 031 #${i + 1}`;
            if (!f.p) {
                ++withoutMusic;
            } else if (f['2'] && f['2'] !== SYSTEM) {
                notes.push({ kind: 'warning', text: `${label} has the system code "${f['2']}", which is not read; passed over` });
            } else {
                const music = f.n ? `$${f.n} ${f.p}` : f.p;
                records.push({ label, fields: { identifier, number: `${f.a ?? ''}.${f.b ?? ''}.${f.c ?? ''}`,
                                                clef: f.g ?? '', time: f.o ?? '', music } });
            }
        });
    }
    return { records, notes, withoutMusic };
}

// Whether a file's first bytes are XML rather than a tab export.
export function looksLikeXml(bytes) {
    const start = new TextDecoder().decode(bytes.subarray(0, 256)).replace(/^\uFEFF/, '').trimStart();
    return start.startsWith('<?xml') || start.startsWith('<collection') || start.startsWith('<record') ||
        /^<[A-Za-z_][\w.-]*:(collection|record)\b/.test(start);
}
