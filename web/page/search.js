// The melodic search over the records the page holds, ranked as tav_search
// ranks the hits of a catalogue database: the incipits whose chromatic
// intervals hold the whole query come first (at the earliest place they do,
// earliest record first), then those sharing interval trigrams with it, by
// the share of the query's trigrams they hold. A query of fewer than three
// intervals, and a contour, find whole matches only.
//
//     const query = parseQuery("'4C8DE/2F", melodyOfCode);
//     const hits = search(records.map((r) => keysOf(r.melody)), query, { hits: 10 });

// The most bytes and notes a query holds; the largest interval it names.
export const MAX_QUERY_BYTES = 4096;
export const MAX_QUERY_NOTES = 256;
const MAX_INTERVAL = 127;
const GRAM = 3;
// Of the incipits sharing trigrams, how many are placed: this many times
// the hits asked for, and at least MIN_CANDIDATES.
const CANDIDATES_PER_HIT = 20;
const MIN_CANDIDATES = 1000;

// What stands between intervals: a blank or a comma. In music a comma is
// an octave mark, and stays.
const SPACE = /[ \t,\n\r]/;
const trimmed = (text) => text.replace(/^[ \t,\n\r]+|[ \t,\n\r]+$/g, '');
const blankTrimmed = (text) => text.replace(/^[ \t\n\r]+|[ \t\n\r]+$/g, '');

function readIntervals(text) {
    const intervals = [];
    for (let i = 0; i < text.length;) {
        while (i < text.length && SPACE.test(text[i]))
            ++i;
        const start = i;
        if (text[i] === '+' || text[i] === '-')
            ++i;
        const digits = i;
        while (i < text.length && /[0-9]/.test(text[i]) && i - digits < 4)
            ++i;
        if (i === digits || (i < text.length && !SPACE.test(text[i])))
            throw new Error('the query\'s intervals are whole numbers of semitones apart by spaces, e.g. ' +
                `"+2 +2 -1"; "${text.slice(start, i + 1)}" is not one`);
        const value = Number(text.slice(digits, i));
        if (value > MAX_INTERVAL)
            throw new Error(`an interval of the query is larger than ${MAX_INTERVAL} semitones`);
        intervals.push(text[start] === '-' ? -value : value);
    }
    return intervals;
}

// A query as a user writes it: a contour (U, D and R only), chromatic
// intervals ("+2 +2 -1"), else music in the code, which
// `melodyOfCode(music)` reads into melodic keys (null when it cannot).
// Throws an Error saying why for an empty, overlong or unreadable query.
export function parseQuery(text, melodyOfCode) {
    if (new TextEncoder().encode(text).length > MAX_QUERY_BYTES)
        throw new Error(`the query is too long: more than ${MAX_QUERY_BYTES} bytes`);
    const music = blankTrimmed(text);
    text = trimmed(text);
    if (text === '')
        throw new Error('the query is empty: give a melody in the code (\'4C8DE/2F), intervals ' +
                        '(+2 +2 +1) or a contour (UUD)');
    let query;
    if (/^[UDR]+$/.test(text)) {
        query = { kind: 'contour', contour: text, intervals: [] };
    } else if (/^[ \t,\n\r+\-0-9]+$/.test(text)) {
        query = { kind: 'intervals', intervals: readIntervals(text) };
    } else {
        const keys = melodyOfCode(music);
        if (keys === null)
            throw new Error('the query is not a melody in the code');
        query = { kind: 'code', ...keysOf(keys) };
    }
    const steps = query.kind === 'contour' ? query.contour.length : query.intervals.length;
    if (steps === 0)
        throw new Error('the query needs at least two notes (' + { code: 'read as music in the code, it holds fewer',
            intervals: 'one interval is two notes', contour: 'one contour letter is two notes' }[query.kind] + ')');
    if (steps >= MAX_QUERY_NOTES)
        throw new Error(`the query has too many notes: at most ${MAX_QUERY_NOTES}`);
    return query;
}

// What the search compares of an incipit's melodic keys (convert's
// `melody`): the intervals, the sounding notes' keys and lengths, the
// contour.
export function keysOf(melody) {
    return {
        intervals: melody.chromatic_intervals,
        midi: melody.midi,
        durations: melody.durations.filter((_, k) => melody.pitches[k] !== 'r'),
        contour: melody.gross_contour,
    };
}

const same = (a, b, at) => b.every((v, k) => a[at + k] === v);

function matchesAt(keys, q, o, at) {
    if (at + q.intervals.length > keys.intervals.length || !same(keys.intervals, q.intervals, at))
        return false;
    if (o.exactPitch && keys.midi[at] !== q.midi[0])
        return false;
    return !o.rhythm || (at + q.durations.length <= keys.durations.length && same(keys.durations, q.durations, at));
}

// The whole match nearest the start, else where most of the query's
// intervals agree: { note (from 0), exact }.
function place(keys, q, o) {
    let best = -1, note = 0;
    for (let at = 0; at < keys.intervals.length; ++at) {
        if (matchesAt(keys, q, o, at))
            return { note: at, exact: true };
        let agree = 0;
        for (let k = 0; k < q.intervals.length && at + k < keys.intervals.length; ++k)
            agree += q.intervals[k] === keys.intervals[at + k] ? 1 : 0;
        if (agree > best)
            [best, note] = [agree, at];
    }
    return { note, exact: false };
}

const gramsOf = (intervals) => new Set(intervals.slice(0, Math.max(0, intervals.length - GRAM + 1))
    .map((_, k) => intervals.slice(k, k + GRAM).join(',')));

function byTrigrams(entries, q, o) {
    const wanted = gramsOf(q.intervals);
    const shared = [];
    entries.forEach((keys, index) => {
        if (keys === null)
            return;
        let count = 0;
        for (const g of gramsOf(keys.intervals))
            count += wanted.has(g) ? 1 : 0;
        if (count > 0)
            shared.push({ index, count });
    });
    shared.sort((a, b) => b.count - a.count || a.index - b.index);
    return shared.slice(0, Math.max(MIN_CANDIDATES, o.hits * CANDIDATES_PER_HIT)).map(({ index, count }) => {
        const at = place(entries[index], q, o);
        return { index, ...at, score: at.exact ? 1 : count / wanted.size };
    });
}

function byScan(entries, q, o) {
    const found = [];
    for (let index = 0; index < entries.length && found.length < o.hits; ++index) {
        const keys = entries[index];
        if (keys === null)
            continue;
        const at = q.kind === 'contour' ? { note: keys.contour.indexOf(q.contour), exact: true } : place(keys, q, o);
        if (at.exact && at.note >= 0)
            found.push({ index, ...at, score: 1 });
    }
    return found;
}

// The hits of `query` among `entries` (keysOf of each record's melody, or
// null for a record without one), best first: { index, note (from 1),
// exact, score }. Options: exactPitch, rhythm (both for a query in the code
// only) and hits (10).
export function search(entries, query, { exactPitch = false, rhythm = false, hits = 10 } = {}) {
    if ((exactPitch || rhythm) && query.kind !== 'code')
        throw new Error('exact pitch and rhythm need a query in the code, e.g. \'4C8DE/2F');
    if (!(hits >= 1))
        throw new Error('the number of hits is at least 1');
    const o = { exactPitch, rhythm, hits };
    const found = query.kind !== 'contour' && query.intervals.length >= GRAM ? byTrigrams(entries, query, o)
        : byScan(entries, query, o);
    found.sort((a, b) => (b.exact - a.exact) || (b.score - a.score) || (a.index - b.index));
    return found.slice(0, hits).map((h) => ({ ...h, note: h.note + 1 }));
}
