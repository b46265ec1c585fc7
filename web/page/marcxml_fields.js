// The reader of MARC 21 records: it follows the elements, start tags, text and
// end tags of records (see marcxml.js) and gathers each record's fields of
// interest into the page's entries, its incipits and its messages.
export const MARC = 'http://www.loc.gov/MARC21/slim';
// What a namespace prefix never declared stands for here: as for libxml2, no
// namespace.
export const UNDECLARED = 'urn:x-tav:undeclared';
const SYSTEM = 'pe';
const LARGEST_IDENTIFIER = 2147483647;
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
export const localName = (name) => name.slice(name.lastIndexOf(':') + 1);

// --- the reader of records --------------------------------------------------------------------
const RECORD = 1, CONTROLFIELD = 2, DATAFIELD = 3, OTHER = 0;
export const SUBFIELD = 4;
const KINDS = { record: RECORD, controlfield: CONTROLFIELD, datafield: DATAFIELD, subfield: SUBFIELD };
export const kindOf = (element) => [null, MARC, UNDECLARED].includes(element.namespaceURI) ? KINDS[element.localName] ?? OTHER : OTHER;
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
export class Gatherer {
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
