// Converts every record of a file in memory and prints records per second,
// by the wall clock and by the processor time of this process.
//
//     node web/bench.js RECORDS [REPEAT]
//
// e.g. with the benchmark corpus from bench/gen_records.py 52200 2005.
import { readFileSync } from 'node:fs';
import { init, convert } from './tav.js';

await init();
const [file, repeat = '5'] = process.argv.slice(2);
if (!file) {
    console.error('usage: node web/bench.js RECORDS [REPEAT]');
    process.exit(2);
}
const records = readFileSync(file, 'utf8').split('\n').filter((line) => line !== '');
let best = Infinity;
let bestCpu = Infinity;
let characters = 0;
for (let run = 0; run < Number(repeat); ++run) {
    const start = process.hrtime.bigint();
    const cpu = process.cpuUsage();
    characters = 0;
    for (const record of records)
        characters += convert(record).xml.length;
    const used = process.cpuUsage(cpu);
    best = Math.min(best, Number(process.hrtime.bigint() - start) / 1e9);
    bestCpu = Math.min(bestCpu, (used.user + used.system) / 1e6);
}
const rate = (seconds) => Math.round(records.length / seconds);
console.log(`${records.length} records, ${characters} characters of MusicXML, best of ${repeat}:`);
console.log(`  wall ${best.toFixed(3)} s, ${rate(best)} records/s; ` +
    `processor ${bestCpu.toFixed(3)} s, ${rate(bestCpu)} records/s`);
