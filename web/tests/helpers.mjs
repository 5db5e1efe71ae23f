// What the package's tests share: the built package installed into a
// project of its own, the native program, and pages to convert.
//   SIEVETEXT_WEB     the folder scripts/build-web.sh built (default build-web)
//   SIEVETEXT_NATIVE  the native program (default build/bin/sievetext)
import { execFileSync, spawnSync } from 'node:child_process';
import { mkdtempSync, mkdirSync, readdirSync, readFileSync, statSync, writeFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

const root = resolve(dirname(fileURLToPath(import.meta.url)), '../..');
export const webDir = resolve(root, process.env.SIEVETEXT_WEB || 'build-web');
export const nativeProgram = resolve(root, process.env.SIEVETEXT_NATIVE || 'build/bin/sievetext');

const made = [];
process.on('exit', () => {
  for (const folder of made) rmSync(folder, { recursive: true, force: true });
});

// A fresh folder, removed when the process ends.
export function tempFolder(tag) {
  const folder = mkdtempSync(join(tmpdir(), `sievetext-${tag}-`));
  made.push(folder);
  return folder;
}

// The native program with fresh settings (every option on) in `config`.
export function runNative(args, { input, config, cwd } = {}) {
  const result = spawnSync(nativeProgram, args, {
    input, cwd, maxBuffer: 1 << 30,
    env: { ...process.env, XDG_CONFIG_HOME: config || tempFolder('config') },
  });
  return { status: result.status, stdout: result.stdout, stderr: result.stderr.toString() };
}

let installed = null;

// A project with the packed package installed from its .tgz, as a user gets it.
export function installedProject() {
  if (installed) return installed;
  const tgz = readdirSync(webDir).filter((name) => /^sievetext-.*\.tgz$/.test(name));
  if (tgz.length !== 1) throw new Error(`expected one sievetext-*.tgz in ${webDir}`);
  const project = tempFolder('project');
  writeFileSync(join(project, 'package.json'), '{"name":"consumer","private":true}\n');
  execFileSync('npm', ['install', '--offline', '--no-audit', '--no-fund', '--silent',
    join(webDir, tgz[0])], { cwd: project, stdio: 'inherit' });
  installed = project;
  return project;
}

// Up to `limit` HTML files of this machine's documentation, in a fixed order.
export function realPages(limit, folder = '/usr/share/doc') {
  const found = [];
  const walk = (dir) => {
    let names;
    try {
      names = readdirSync(dir).sort();
    } catch {
      return;
    }
    for (const name of names) {
      if (found.length >= limit || name.startsWith('.')) continue;
      const path = join(dir, name);
      let st;
      try {
        st = statSync(path);
      } catch {
        continue;
      }
      if (st.isDirectory()) walk(path);
      else if (st.isFile() && st.size > 0 && /\.html?$/i.test(name)) found.push(path);
    }
  };
  walk(folder);
  return found;
}

const kPieces = [
  '<p>', '</p>', '<b>bold</b>', '<a href="x.html">link</a>', '&amp;', '&lt;', '&gt;', '&nbsp;',
  '&eacute;', '&copy;', '&#169;', '&#x20AC;', '&unknown;', '&AMP;', '<!-- remark -->', '<!--', '-->',
  '<script>var a = {b: 1} | 2;</script>', '<SCRIPT>x()</script>', '<style>p { color: red }</style>',
  '{braces}', '|', '\t', '  ', '   ', '\r\n', '\n', '\r', '\r\n\r\n', ' \r\n ', 'caf\u00e9',
  '\u20ac', 'na\u00efve', '\u{1F600}', 'msnavigation', '<br>', '<div class="c">', '</div>',
  'words and more words', 'x', '<', '>', '&', ';', '\uFEFF',
];

// A deterministic page of mark-up, entities, blanks and non-ASCII text as
// bytes: UTF-8, every 7th in Windows-1252 (bytes above 0x7F), every 11th
// UTF-16 with a byte-order mark.
export function generatedPage(seed) {
  let state = seed * 2654435761 % 4294967296 || 1;
  const next = (n) => {
    state ^= state << 13; state >>>= 0;
    state ^= state >>> 17;
    state ^= state << 5; state >>>= 0;
    return state % n;
  };
  let text = `<html><head><title>page ${seed}</title></head><body>`;
  const count = 50 + next(350);
  for (let i = 0; i < count; ++i) text += kPieces[next(kPieces.length)];
  text += '</body></html>\r\n';
  if (seed % 11 === 0) {
    const body = Buffer.from(text, 'utf16le');
    return Buffer.concat([Buffer.from([0xff, 0xfe]), body]);
  }
  if (seed % 7 === 0) return Buffer.from(text.replace(/[^\x00-\xff]/g, '?'), 'latin1');
  return Buffer.from(text, 'utf8');
}

// Converts each of `inputs` (bytes) with the native program, as files in
// one folder and one run of -d; returns the outputs in the same order.
export function nativeBatch(inputs, args) {
  const folder = tempFolder('batch');
  const inDir = join(folder, 'in');
  const outDir = join(folder, 'out');
  mkdirSync(inDir);
  const names = inputs.map((bytes, i) => {
    const name = join(inDir, `c${i}.html`);
    writeFileSync(name, bytes);
    return name;
  });
  const result = runNative([...args, '-d', outDir, ...names]);
  if (result.status !== 0) throw new Error(`native batch failed: ${result.stderr}`);
  const outputs = inputs.map((_, i) => readFileSync(join(outDir, `c${i}.txt`)));
  rmSync(folder, { recursive: true, force: true });
  return outputs;
}

// Every string of up to `maxLength` pieces of `alphabet`, the empty one left out.
export function allStrings(alphabet, maxLength) {
  const strings = [];
  let level = [''];
  for (let length = 1; length <= maxLength; ++length) {
    const nextLevel = [];
    for (const prefix of level) for (const piece of alphabet) nextLevel.push(prefix + piece);
    strings.push(...nextLevel);
    level = nextLevel;
  }
  return strings;
}
