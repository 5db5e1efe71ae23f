// The package's convert() against the native program, byte for byte, and
// its option handling, errors and module forms, as installed from its .tgz.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { readFileSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import vm from 'node:vm';
import { join } from 'node:path';
import { before, describe, test } from 'node:test';
import { pathToFileURL } from 'node:url';

import {
  allStrings, generatedPage, installedProject, nativeBatch, realPages, runNative, tempFolder,
} from './helpers.mjs';

let cjs;
let esm;
before(async () => {
  const project = installedProject();
  cjs = createRequire(join(project, 'index.js'))('sievetext');
  esm = await import(pathToFileURL(join(project, 'node_modules/sievetext/index.mjs')).href);
});

// Compares convert() on every input with the native outputs, reporting the
// first few that differ.
function assertSameAsNative(inputs, options, nativeArgs, describeInput) {
  const expected = nativeBatch(inputs, nativeArgs);
  const failures = [];
  inputs.forEach((input, i) => {
    const got = Buffer.from(esm.convert(input, options), 'utf8');
    if (!got.equals(expected[i]) && failures.length < 5) {
      failures.push(`${describeInput(i)}: got ${JSON.stringify(got.toString())}, ` +
        `native ${JSON.stringify(expected[i].toString())}`);
    }
  });
  assert.deepEqual(failures, []);
}

describe('the bytes of the native program', () => {
  test('on real pages and generated ones, every option on, LF', () => {
    const real = realPages(150);
    const inputs = real.map((path) => readFileSync(path));
    for (let seed = 1; seed <= 150; ++seed) inputs.push(generatedPage(seed));
    assert.ok(inputs.length >= 150);
    assertSameAsNative(inputs, { lineBreaks: 'lf' }, ['--with=all', '--lf'],
      (i) => (i < real.length ? real[i] : `generated page ${i - real.length + 1}`));
  });

  test('with CR LF line breaks by default, also for a string input', () => {
    const page = generatedPage(3);
    const [expected] = nativeBatch([page], ['--without=RemoveAllCRLF']);
    assert.ok(expected.includes('\r\n'));
    const options = { RemoveAllCRLF: false };
    assert.equal(esm.convert(page, options), expected.toString());
    assert.equal(esm.convert(page.toString('utf8'), options), expected.toString());
    const copy = page.buffer.slice(page.byteOffset, page.byteOffset + page.length);
    assert.equal(cjs.convert(copy, options), expected.toString());
  });

  // The short strings the engine's differential tests go through, under the
  // option sets they use.
  const characters = ['<', '>', '!', '-', '&', ';', 'a', ' ', '\n'];
  const tokens = ['<script', '/script>', '<STYLE', '/style>', 'x', '<', '>', '&amp;', '&not;',
    'lt;', '#65;', '{', '}'];
  const optionSets = [
    ['every option on', {}, ['--with=all']],
    ['every option off', Object.fromEntries(esmNames().map((n) => [n, false])), ['--without=all']],
    ['comments and tags only', { only: ['RemoveComments', 'RemoveAllTags'] }],
    ['spaces and blank lines only', { only: ['RemoveSpaces', 'RemoveBlankLines'] }],
    ['scripts, styles and functions only', { only: ['RemoveScripts', 'RemoveStyles', 'RemoveFunctions'] }],
    ['entities only', { only: ['GenerateSpecialChars'] }],
    ['all but entities', { without: ['GenerateSpecialChars'] }],
  ];
  for (const [name, spec, args] of optionSets) {
    test(`on short strings, ${name}`, () => {
      let options = spec;
      let nativeArgs = args;
      if (spec.only) {
        options = Object.fromEntries(esmNames().map((n) => [n, spec.only.includes(n)]));
        nativeArgs = ['--without=all', ...spec.only.map((n) => `--with=${n}`)];
      } else if (spec.without) {
        options = Object.fromEntries(spec.without.map((n) => [n, false]));
        nativeArgs = ['--with=all', ...spec.without.map((n) => `--without=${n}`)];
      }
      const strings = name === 'every option on'
        ? [...allStrings(characters, 4), ...allStrings(tokens, 3)]
        : [...allStrings(characters, 3), ...allStrings(tokens, 2)];
      assertSameAsNative(strings.map((s) => Buffer.from(s)), { ...options, lineBreaks: 'lf' },
        [...nativeArgs, '--lf'], (i) => JSON.stringify(strings[i]));
    });
  }

  test('on long texts, which the engine works on in two parts', () => {
    const page = Buffer.concat(Array.from({ length: 300 }, (_, i) => generatedPage(1000 + i % 20)));
    const long = Buffer.concat(Array.from({ length: Math.ceil((20 << 20) / page.length) }, () => page));
    assertSameAsNative([long], { RemoveAllCRLF: false }, ['--with=all', '--without=RemoveAllCRLF'],
      () => 'a 20 MiB page');
  });
});

function esmNames() {
  return ['GenerateSpecialChars', 'RemoveAllCRLF', 'RemoveAllTags', 'RemoveBlankLines',
    'RemoveComments', 'RemoveFunctions', 'RemovePipe', 'RemoveScripts', 'RemoveSpaces',
    'RemoveStyles', 'RemoveTabs'];
}

describe('options', () => {
  test('are the eleven names, each on unless turned off, as --without turns it off', () => {
    assert.deepEqual([...esm.optionNames], esmNames());
    const page = generatedPage(5);
    const inputs = esmNames().map(() => page);
    const expected = esmNames().map((name) => nativeBatch([page], [`--without=${name}`, '--lf'])[0]);
    esmNames().forEach((name, i) => {
      assert.equal(esm.convert(inputs[i], { [name]: false, lineBreaks: 'lf' }), expected[i].toString(), name);
      assert.equal(esm.convert(page, { [name]: true }), esm.convert(page), name);
    });
  });

  test('lineBreaks lf makes each CR LF a LF', () => {
    const html = '<p>a</p>\r\n<p>b</p>\r\n\r\n<p>c\rd</p>';
    const crlf = esm.convert(html, { RemoveAllCRLF: false });
    assert.equal(crlf, 'a \r\nb \r\nc d');
    assert.equal(esm.convert(html, { RemoveAllCRLF: false, lineBreaks: 'lf' }), 'a \nb \nc d');
    assert.equal(esm.convert(html, { RemoveAllCRLF: false, lineBreaks: 'crlf' }), crlf);
  });

  test('unknown names throw a TypeError that names each of them', () => {
    assert.throws(() => esm.convert('x', { RemoveTab: false, foo: true }),
      (error) => error instanceof TypeError && /RemoveTab\b/.test(error.message) &&
        /\bfoo\b/.test(error.message));
    assert.throws(() => cjs.convert('x', { removetabs: false }),
      { name: 'TypeError', message: /removetabs \(did you mean RemoveTabs\?\)/ });
  });

  test('values of the wrong kind throw a TypeError, and nothing is converted', () => {
    assert.throws(() => esm.convert('x', { RemoveTabs: 0 }), { name: 'TypeError', message: /RemoveTabs/ });
    assert.throws(() => esm.convert('x', { lineBreaks: 'cr' }), { name: 'TypeError', message: /lineBreaks/ });
    assert.throws(() => esm.convert('x', 'lf'), TypeError);
    assert.throws(() => esm.convert('x', ['RemoveTabs']), TypeError);
    for (const input of [undefined, null, 42, {}, [1, 2], new Uint16Array(2)]) {
      assert.throws(() => esm.convert(input), { name: 'TypeError', message: /string, a Uint8Array or a Buffer/ });
    }
    assert.equal(esm.convert('x', null), 'x');
  });

  test('layout is taken only where the engine has it', () => {
    if (esm.supports('layout')) {
      const pages = [generatedPage(2), generatedPage(7), generatedPage(11)];
      assertSameAsNative(pages, { layout: true, RemoveAllCRLF: false, lineBreaks: 'lf' },
        ['--layout', '--with=all', '--without=RemoveAllCRLF', '--lf'], (i) => `page ${i} laid out`);
      assert.throws(() => esm.convert('x', { layout: 'yes' }), TypeError);
    } else {
      assert.throws(() => esm.convert('x', { layout: true }), { name: 'TypeError', message: /\blayout\b/ });
      assert.throws(() => esm.convert('x', { layout: false }), { name: 'TypeError', message: /\blayout\b/ });
    }
  });
});

describe('results and errors', () => {
  test('empty input gives empty text; bytes read as the command reads a file', () => {
    assert.equal(esm.convert(''), '');
    assert.equal(esm.convert(new Uint8Array(0)), '');
    // Windows-1252 where the bytes are not UTF-8; a UTF-8 mark dropped.
    assert.equal(esm.convert(Buffer.from([0x63, 0x61, 0x66, 0xe9, 0x80])), 'caf\u00e9\u20ac');
    assert.equal(esm.convert(Buffer.from([0xef, 0xbb, 0xbf, 0x78])), 'x');
    // Only the first mark is the file's; a second one is text, and stays.
    assert.equal(esm.convert('\uFEFF\uFEFFx'), '\uFEFFx');
    assert.equal(esm.convert('\uFEFF\uFEFFx'), nativeBatch([Buffer.from('\uFEFF\uFEFFx')], [])[0].toString());
  });

  test('a string and its UTF-8 bytes give the same text', () => {
    const text = '<p>na\u00efve \u{1F600} &euro;</p>\r\n\t| x';
    assert.equal(esm.convert(text, { RemoveAllCRLF: false }),
      esm.convert(Buffer.from(text), { RemoveAllCRLF: false }));
  });

  // The module hands the text over in stretches, one byte per character
  // where every character fits one: long and short runs of ASCII, Latin-1
  // and C1 controls (which a browser's one-byte decoder would misread)
  // between wider characters, at the ends too. A browser builds its string
  // without Buffer; the package run without it does the same here.
  test('texts of one-byte and wider characters in stretches, in Node and as a browser reads them', () => {
    const runs = ['a'.repeat(5000), '\u2019', '\u00e9'.repeat(700), '\u0085x'.repeat(600), '\u4e2d',
      'b'.repeat(300), '\u{1F600}', 'c'.repeat(2000), '\u00ff\u0080', 'd'.repeat(1100), '\u2014'];
    const texts = [runs.join(''), runs.slice().reverse().join(''), 'e'.repeat(70000),
      '\u00e9'.repeat(70000) + '\u0090', 'z\u0150'.repeat(40000)];
    const browser = { module: { exports: {} }, TextEncoder, TextDecoder, atob };
    vm.runInNewContext(readFileSync(join(installedProject(), 'node_modules/sievetext/index.cjs'), 'utf8'),
      browser);
    const expected = nativeBatch(texts.map((t) => Buffer.from(t)), ['--with=all', '--lf']);
    texts.forEach((text, i) => {
      const native = expected[i].toString();
      assert.equal(esm.convert(text, { lineBreaks: 'lf' }), native, `text ${i} in Node`);
      assert.equal(browser.module.exports.convert(text, { lineBreaks: 'lf' }), native,
        `text ${i} without Buffer`);
    });
  });

  test('failures are SievetextError, an Error with a code, as the library has them', () => {
    assert.deepEqual([...esm.errorCodes], ['InvalidArgument', 'InputMissing', 'InputEmpty',
      'FileError', 'OutOfMemory', 'ConversionFailed']);
    const error = new esm.SievetextError('OutOfMemory', 'Out of memory');
    assert.ok(error instanceof Error);
    assert.equal(error.code, 'OutOfMemory');
    assert.equal(error.name, 'SievetextError');
    assert.ok(new cjs.SievetextError('ConversionFailed', 'x') instanceof Error);
  });
});

describe('module forms', () => {
  test('CommonJS and ES module entries give the same results and the same version', () => {
    assert.equal(cjs.version, esm.version);
    assert.match(esm.version, /^\d+\.\d+\.\d+$/);
    const page = generatedPage(9);
    assert.equal(cjs.convert(page), esm.convert(page));
  });

  test('a fresh process can require or import the package by name and convert at once', () => {
    const project = installedProject();
    const required = execFileSync(process.execPath,
      ['-e', "process.stdout.write(require('sievetext').convert('<b>a</b> &amp; b'))"], { cwd: project });
    const imported = execFileSync(process.execPath, ['--input-type=module', '-e',
      "import { convert } from 'sievetext'; process.stdout.write(convert('<b>a</b> &amp; b'))"],
    { cwd: project });
    const defaultless = execFileSync(process.execPath, ['--input-type=module', '-e',
      "import * as s from 'sievetext'; process.stdout.write(String(typeof s.default))"], { cwd: project });
    assert.equal(required.toString(), 'a & b');
    assert.equal(imported.toString(), 'a & b');
    assert.equal(defaultless.toString(), 'undefined');
  });

  test('works in a worker thread', () => {
    const project = installedProject();
    const folder = tempFolder('worker');
    const script = join(folder, 'main.cjs');
    writeFileSync(join(folder, 'worker.cjs'), `const { parentPort } = require('node:worker_threads');
parentPort.postMessage(require(${JSON.stringify(join(project, 'node_modules/sievetext'))}).convert('<i>w</i>'));
`);
    writeFileSync(script, `const { Worker } = require('node:worker_threads');
const w = new Worker(${JSON.stringify(join(folder, 'worker.cjs'))});
w.on('message', (m) => { process.stdout.write(m); w.terminate(); });
`);
    assert.equal(execFileSync(process.execPath, [script]).toString(), 'w');
  });

  test('the package holds its declarations and no install step or native add-on', () => {
    const dir = join(installedProject(), 'node_modules/sievetext');
    const manifest = JSON.parse(readFileSync(join(dir, 'package.json'), 'utf8'));
    assert.equal(manifest.scripts, undefined);
    assert.equal(manifest.dependencies, undefined);
    assert.equal(manifest.bin.sievetext, 'bin/sievetext.cjs');
    const types = readFileSync(join(dir, 'index.d.ts'), 'utf8');
    for (const name of [...esmNames(), 'lineBreaks', 'convert', 'SievetextError']) {
      assert.match(types, new RegExp(`\\b${name}\\b`));
    }
    assert.doesNotMatch(execFileSync('find', [dir, '-name', '*.node']).toString(), /\.node/);
  });
});
