// Assembles the static web page into one folder that any static file
// server can serve with no network: the page and its worker, the package,
// and the notation toolkit and the zip writer from node_modules (npm ci).
//
//     node web/site.js [FOLDER]        (default: web/site)
import { copyFileSync, mkdirSync, existsSync, readFileSync, writeFileSync } from 'node:fs';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const folder = resolve(process.argv[2] ?? join(here, 'site'));
const toolkit = join(here, 'node_modules', 'verovio', 'dist');
const files = [
    ...['index.html', 'app.js', 'worker.js', 'records.js', 'search.js', 'description.js', 'marcxml.js', 'marcxml_encoding.js',
        'marcxml_fields.js', 'marcxml_parsing.js'].map((name) => [join(here, 'page', name), name]),
    [join(here, 'node_modules', 'fflate', 'esm', 'browser.js'), 'fflate.js'],
    [join(here, 'tav.js'), 'tav.js'],
    [join(here, 'xml_parser.js'), 'xml_parser.js'],
    [join(here, 'dist', 'tav_wasm.js'), join('dist', 'tav_wasm.js')],
    [join(toolkit, 'verovio-module.mjs'), 'verovio-module.mjs'],
    [join(toolkit, 'verovio.mjs'), 'verovio.mjs'],
];
for (const [from] of files) {
    if (!existsSync(from)) {
        console.error(`missing ${from}: build the package (npm run build) and run npm ci`);
        process.exit(1);
    }
}
for (const [from, to] of files) {
    mkdirSync(dirname(join(folder, to)), { recursive: true });
    copyFileSync(from, join(folder, to));
}
// A static page has no package resolution: the package's import of the zip
// writer names the file beside it.
const tav = join(folder, 'tav.js');
const source = readFileSync(tav, 'utf8');
if (!source.includes("from 'fflate';")) {
    console.error(`${tav}: no import of fflate to point at fflate.js`);
    process.exit(1);
}
writeFileSync(tav, source.replace("from 'fflate';", "from './fflate.js';"));
console.log(`page in ${folder}`);
