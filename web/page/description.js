// What the page shows of a catalogue record beside its engraving, and the
// counts a cataloguer checks after reading a MARCXML file, in the words of
// the batch command's closing line. Only texts: the page sets them as text.

// The rows shown of an incipit's description (fields read from MARCXML, see
// marcxml.js): [label, text] for each the record has, in this order.
export function descriptionRows(fields) {
    const source = fields.source ?? {};
    const composer = [fields.composer, source.composerDates && `(${source.composerDates})`].filter(Boolean).join(' ');
    return [['Composer', composer], ['Work', fields.workTitle], ['Movement', fields.movementTitle],
            ['Source title', source.sourceTitle], ['Siglum', source.siglum], ['Shelfmark', source.shelfmark]]
        .filter(([, text]) => text !== undefined && text !== '');
}

// The catalogue counts of a run: the fields 031 without music (the reader's
// count) and the fields and records the reader's messages pass over, by
// their codes. `codes` counts the records that have each message code.
const BY_CODE = [['other_notation_system', 'field 031 of another notation system', 'fields 031 of another notation system'],
                 ['no_control_number', 'record without a control number', 'records without a control number']];
// Their codes, which the report's summary counts by name too.
export const CATALOGUE_CODES = BY_CODE.map(([code]) => code);
export function catalogueCounts(withoutMusic, codes) {
    const words = (n, one, many) => `${n.toLocaleString('en')} ${n === 1 ? one : many}`;
    return [words(withoutMusic, 'field 031 without music', 'fields 031 without music'),
            ...BY_CODE.map(([code, one, many]) => `${words(codes[code] ?? 0, one, many)} (${code})`)];
}
