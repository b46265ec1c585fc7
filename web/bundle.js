// Makes the package's CommonJS entry, for require() and for bundlers that
// want one: dist/tav.cjs (tav.js, the WebAssembly module and the MARCXML
// reader with its XML parser in one file, by esbuild) with its declarations dist/tav.d.cts, and puts the project's
// licence beside the package. Run after the WebAssembly build (npm run build
// runs both).
import { copyFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { buildSync } from 'esbuild';

const here = dirname(fileURLToPath(import.meta.url));
buildSync({
    entryPoints: [join(here, 'tav.js')],
    outfile: join(here, 'dist', 'tav.cjs'),
    bundle: true,
    format: 'cjs',
    platform: 'neutral',
    // The MARCXML reader's XML parser (@xmldom/xmldom) names its entry by "main" only.
    mainFields: ['module', 'main'],
    // The module finds no file beside itself: the WebAssembly binary is inside.
    define: { 'import.meta.url': 'undefined' },
    logLevel: 'warning',
});
copyFileSync(join(here, 'tav.d.ts'), join(here, 'dist', 'tav.d.cts'));
copyFileSync(join(here, '..', 'LICENSE'), join(here, 'LICENSE'));
