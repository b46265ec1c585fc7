// The command-line program as the tests' reference: it converts the same
// records into a fresh folder, and its files and log are read back.
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

export const root = fileURLToPath(new URL('../../', import.meta.url));
const exe = resolve(process.env.TAV_EXE ?? join(root, 'build/release/tav2005_10'));
export const decoder = new TextDecoder();

// The lines of a file in the repository, as bytes; empty lines dropped.
export function linesOf(file) {
    return readFileSync(join(root, file), 'latin1').split('\n').filter((line) => line !== '')
        .map((line) => Buffer.from(line, 'latin1'));
}

// Runs the program over `lines` with the option letters given; returns its
// files by name and its log's messages as [KIND, "incipit: ..."] pairs.
export function runProgram(lines, letters) {
    const dir = mkdtempSync(join(tmpdir(), 'tav-web-'));
    try {
        writeFileSync(join(dir, 'in.txt'), Buffer.concat(lines.flatMap((l) => [l, Buffer.from('\n')])));
        const run = spawnSync(exe, [`-${letters}f`, 'in.txt'], { cwd: dir, input: '\n\n', maxBuffer: 1 << 30 });
        assert.equal(run.status, 0, `${exe}: ${run.error ?? run.stderr}`);
        const files = new Map();
        for (const name of readdirSync(dir, { encoding: 'buffer' })) {
            const text = decoder.decode(name);
            if (text !== 'in.txt' && text !== 'tav_errors.log')
                files.set(text, readFileSync(Buffer.concat([Buffer.from(`${dir}/`), name])));
        }
        const log = decoder.decode(readFileSync(join(dir, 'tav_errors.log')));
        return { files, messages: [...log.matchAll(/^(WARNING|ERROR),\n (incipit: [^\n]*)$/gm)] };
    } finally {
        rmSync(dir, { recursive: true, force: true });
    }
}


// Runs the batch command beside the program over `file` into a fresh folder,
// with `options`; returns its files by name.
export function runBatch(file, options = []) {
    const dir = mkdtempSync(join(tmpdir(), 'tav-web-'));
    try {
        const run = spawnSync(join(exe, '..', 'tav_convert'), ['-q', '-o', dir, ...options, file], { maxBuffer: 1 << 30 });
        assert.ok(run.status === 0 || run.status === 1, `tav_convert: ${run.error ?? run.stderr}`);
        return new Map(readdirSync(dir).map((name) => [name, readFileSync(join(dir, name))]));
    } finally {
        rmSync(dir, { recursive: true, force: true });
    }
}
