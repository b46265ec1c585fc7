// The page in headless Chromium, served from a static folder on 127.0.0.1:
// records pasted in are engraved with every note, and the files downloaded
// equal the program's. TAV_SCREENSHOT=FILE also saves a picture of the page.
import { test, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { createServer } from 'node:http';
import { tmpdir } from 'node:os';
import { extname, join, normalize } from 'node:path';
import { chromium } from 'playwright-core';
import { decoder, linesOf, root, runProgram } from './program.js';

const site = mkdtempSync(join(tmpdir(), 'tav-site-'));
assert.equal(spawnSync(process.execPath, [join(root, 'web/site.js'), site]).status, 0);
const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.mjs': 'text/javascript' };
const server = createServer((request, response) => {
    const path = normalize(decodeURIComponent(new URL(request.url, 'http://x').pathname));
    try {
        const body = readFileSync(join(site, path.endsWith('/') ? 'index.html' : path));
        response.writeHead(200, { 'content-type': TYPES[extname(path)] ?? 'text/html' }).end(body);
    } catch {
        response.writeHead(404).end();
    }
});
await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
const browser = await chromium.launch({
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    args: ['--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
           '--disable-component-update', '--disable-sync'],
});
after(async () => {
    await browser.close();
    server.close();
    rmSync(site, { recursive: true, force: true });
});

async function downloaded(page, selector) {
    const [download] = await Promise.all([page.waitForEvent('download'), page.click(selector)]);
    return [download.suggestedFilename(), readFileSync(await download.path())];
}

// The entries of a zip, read and checked (CRC included) by Python's zipfile.
function unzip(bytes) {
    const script = 'import base64,json,sys,zipfile,io\n' +
        'z=zipfile.ZipFile(io.BytesIO(sys.stdin.buffer.read()))\nassert z.testzip() is None\n' +
        'print(json.dumps({i.filename: base64.b64encode(z.read(i)).decode() for i in z.infolist()}))';
    const run = spawnSync('python3', ['-c', script], { input: bytes });
    assert.equal(run.status, 0, String(run.stderr));
    return new Map(Object.entries(JSON.parse(run.stdout)).map(([n, b]) => [n, Buffer.from(b, 'base64')]));
}

test('pasted records are engraved and download as the program writes them', { timeout: 180000 }, async () => {
    const page = await browser.newPage({ viewport: { width: 1200, height: 900 } });
    const errors = [];
    page.on('pageerror', (error) => errors.push(error.message));
    await page.goto(`http://127.0.0.1:${server.address().port}/`);
    await page.waitForFunction(() => document.getElementById('state').textContent.startsWith('Ready'));

    // The fields convert as they are typed; a bad sign is reported.
    await page.fill("input[name=music]", "4CYD");
    assert.match(await page.textContent('.messages .error'), /^error: char: Y, ascii: 89, i: 27$/);

    const lines = linesOf('examples/incipits.txt');
    const program = runProgram(lines, '');
    await page.fill('#records', lines.map((line) => decoder.decode(line)).join('\n'));
    await page.click('#convert-records');
    const shown = await page.$$eval('.record', (items) => items.map((item) => [
        item.querySelector('h3').textContent, item.querySelectorAll('.score svg g.note').length]));
    assert.equal(shown.length, lines.length);
    for (const [name, notes] of shown) {
        const xml = program.files.get(name).toString();
        const expected = xml.match(/<note>/g).length - (xml.match(/<rest\/>/g) ?? []).length;
        assert.equal(notes, expected, `notes engraved for ${name}`);
    }

    const [zipName, zip] = await downloaded(page, '#download-all');
    assert.equal(zipName, 'incipits.zip');
    assert.deepEqual(unzip(zip), program.files);
    const [name, file] = await downloaded(page, '.record:nth-child(2) .download');
    assert.deepEqual(file, program.files.get(name));
    if (process.env.TAV_SCREENSHOT) {
        const failing = '100000099\t1.1.1\tG-2\t3/4\t\t4CDE/4FYG//';
        await page.fill('#records', [decoder.decode(lines[2]), decoder.decode(lines[48]), failing].join('\n'));
        await page.click('#convert-records');
        await page.$eval('#records', (area) => { area.scrollLeft = 0; });
        await page.screenshot({ path: process.env.TAV_SCREENSHOT });
    }
    assert.deepEqual(errors, []);
});
