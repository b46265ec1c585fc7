// node load_and_count.js FILE...: loads each MusicXML file into the notation
// toolkit, renders every page to SVG and prints one JSON object per file
// (see inspect); "multirests" lists the num of every multi-measure rest,
// "durations" the value of every note and rest in order (see durations);
// "page_head" the texts printed at the top of the first page.

'use strict';

const fs = require('fs');
const verovio = require('verovio');

function count(text, pattern) {
    const found = text.match(pattern);
    return found === null ? 0 : found.length;
}

// The toolkit's log, split into error lines and other (warning) lines.
function readLog(toolkit, result) {
    for (const line of toolkit.getLog().split('\n')) {
        if (line.trim() === '')
            continue;
        if (/error/i.test(line))
            result.errors.push(line.trim());
        else
            result.warnings.push(line.trim());
    }
}

// The note values the toolkit read, in order: "N" or "R" for a note or a
// rest, its dur (a chord's when in one), a dot for each dot, "g" for a
// grace note: "N4.", "R8", "N8g"; "M" for a measure rest.
function durations(mei) {
    const values = [];
    let chord = null;
    for (const m of mei.matchAll(/<(\/?)(chord|note|rest|mRest)\b([^>]*)>/g)) {
        const attr = (name) => {
            const found = new RegExp('\\s' + name + '="([^"]*)"').exec(m[3]);
            return found === null ? null : found[1];
        };
        if (m[2] === 'chord') {
            chord = m[1] === '/' || m[3].endsWith('/') ? null : { dur: attr('dur'), dots: attr('dots'), grace: attr('grace') };
            continue;
        }
        if (m[1] === '/')
            continue;
        if (m[2] === 'mRest') {
            values.push('M');
            continue;
        }
        const from = m[2] === 'note' && chord !== null ? chord : { dur: attr('dur'), dots: attr('dots'), grace: attr('grace') };
        values.push((m[2] === 'note' ? 'N' : 'R') + (from.dur || '') +
                    '.'.repeat(Number(from.dots || 0)) + (from.grace ? 'g' : ''));
    }
    return values;
}

function inspect(toolkit, file) {
    const result = {
        file: file, loaded: false, pages: 0, svg_ok: false, errors: [], warnings: [],
    };
    const loaded = toolkit.loadData(fs.readFileSync(file, 'utf8'));
    readLog(toolkit, result);
    result.loaded = loaded === true || loaded === 1;
    if (!result.loaded)
        return result;

    result.pages = toolkit.getPageCount();
    result.svg_ok = result.pages > 0;
    for (let page = 1; page <= result.pages; ++page) {
        const svg = toolkit.renderToSVG(page);
        if (typeof svg !== 'string' || !svg.includes('<svg'))
            result.svg_ok = false;
    }
    readLog(toolkit, result);

    const mei = toolkit.getMEI({});
    result.measures = count(mei, /<measure\b/g);
    result.notes = count(mei, /<note\b/g);
    result.rests = count(mei, /<rest\b/g);
    result.mrests = count(mei, /<mRest\b/g);
    result.durations = durations(mei);
    // The texts the toolkit prints at the top of the first page (from the
    // file's credits).
    const head = /<pgHead\b[^>]*>([\s\S]*?)<\/pgHead>/.exec(mei);
    result.page_head = head === null ? [] : [...head[1].matchAll(/<rend\b[^>]*>([^<]*)<\/rend>/g)].map((m) => m[1]);
    result.multirests = [];
    for (const m of mei.matchAll(/<multiRest\b[^>]*>/g)) {
        const num = /\bnum="(\d+)"/.exec(m[0]);
        result.multirests.push(num === null ? 1 : Number(num[1]));
    }
    return result;
}

verovio.module.onRuntimeInitialized = function () {
    verovio.enableLogToBuffer(1);
    const toolkit = new verovio.toolkit();
    toolkit.setOptions({ adjustPageHeight: true, breaks: 'auto' });
    for (const file of process.argv.slice(2)) {
        let result;
        try {
            result = inspect(toolkit, file);
        } catch (e) {
            result = { file: file, loaded: false, errors: [String(e)], warnings: [] };
        }
        process.stdout.write(JSON.stringify(result) + '\n');
    }
};
