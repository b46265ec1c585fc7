// Converts every record of a file in memory and prints records per second.
//
//     node web/bench.js RECORDS [REPEAT]
//
// e.g. with the benchmark corpus from bench/gen_records.py 52200 2005.
import { readFileSync } from 'node:fs';
import { convert } from './tav.js';

const [file, repeat = '5'] = process.argv.slice(2);
if (!file) {
    console.error('usage: node web/bench.js RECORDS [REPEAT]');
    process.exit(2);
}
const records = readFileSync(file, 'utf8').split('\n').filter((line) => line !== '');
let best = Infinity;
let bytes = 0;
for (let run = 0; run < Number(repeat); ++run) {
    const start = process.hrtime.bigint();
    bytes = 0;
    for (const record of records)
        bytes += convert(record).xml.length;
    best = Math.min(best, Number(process.hrtime.bigint() - start) / 1e9);
}
console.log(`${records.length} records, best of ${repeat}: ${best.toFixed(3)} s, ` +
    `${Math.round(records.length / best)} records/s, ${bytes} characters of MusicXML`);
