// Times the package's convert() in Node against html-to-text and against
// the native command, on one file; prints MB/s and the ratios.
//   node bench/web/node_bench.mjs PACKAGE_DIR NATIVE FILE RUNS
import { execFileSync } from 'node:child_process';
import { readFileSync, mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';
import { convert as htmlToText } from 'html-to-text';

const [packageDir, native, file, runsText] = process.argv.slice(2);
const runs = Number(runsText || 3);
const { convert } = await import(pathToFileURL(join(packageDir, 'index.mjs')).href);
const bytes = readFileSync(file);
const mb = bytes.length / 1e6;
const work = mkdtempSync(join(tmpdir(), 'sievetext-webbench-'));

function best(fn, times) {
  let fastest = Infinity;
  let result;
  for (let i = 0; i < times; ++i) {
    const start = process.hrtime.bigint();
    result = fn();
    fastest = Math.min(fastest, Number(process.hrtime.bigint() - start) / 1e9);
  }
  return { seconds: fastest, result };
}

const wasm = best(() => convert(bytes, { lineBreaks: 'lf' }), runs);
const text = bytes.toString('utf8');
const wasmString = best(() => convert(text, { lineBreaks: 'lf' }), runs);
const nativeRun = best(() => execFileSync(native, ['--lf', file, join(work, 'native.txt')]), runs);
const bin = best(() => execFileSync(process.execPath,
  [join(packageDir, 'bin/sievetext.cjs'), '--lf', file, join(work, 'bin.txt')]), runs);
const same = readFileSync(join(work, 'native.txt')).equals(Buffer.from(wasm.result, 'utf8'));
// html-to-text: no wrapping, and its input-length limit lifted so that it
// converts the whole file. One run: it takes minutes.
const other = best(() => htmlToText(text, { wordwrap: false, limits: { maxInputLength: Infinity } }), 1);
rmSync(work, { recursive: true, force: true });

const rate = (seconds) => `${(mb / seconds).toFixed(1)} MB/s`;
console.log(`input ${file}: ${mb.toFixed(1)} MB; best of ${runs} (html-to-text: 1 run)`);
console.log(`  convert(bytes), in Node     ${wasm.seconds.toFixed(3)} s  ${rate(wasm.seconds)}  (same bytes as native: ${same})`);
console.log(`  convert(string), in Node    ${wasmString.seconds.toFixed(3)} s  ${rate(wasmString.seconds)}`);
console.log(`  html-to-text (no wrap)      ${other.seconds.toFixed(3)} s  ${rate(other.seconds)}`);
console.log(`  native command, file to file ${nativeRun.seconds.toFixed(3)} s  ${rate(nativeRun.seconds)}`);
console.log(`  package command, file to file ${bin.seconds.toFixed(3)} s  ${rate(bin.seconds)}`);
console.log(`  convert(bytes) vs html-to-text: ${(other.seconds / wasm.seconds).toFixed(1)}x faster (target >= 20x)`);
console.log(`  convert(bytes) vs native command: ${(nativeRun.seconds / wasm.seconds).toFixed(2)} of its throughput (target >= 0.5)`);
console.log(`  package command vs native command: ${(nativeRun.seconds / bin.seconds).toFixed(2)} of its throughput`);
