// The package's sievetext command against the native one: the same output
// bytes, messages and exit statuses for INPUT OUTPUT, "-" and the per-run
// options.
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { chmodSync, mkdirSync, readFileSync, statSync, writeFileSync, readdirSync, existsSync } from 'node:fs';
import { join } from 'node:path';
import { before, describe, test } from 'node:test';

import { generatedPage, installedProject, runNative, tempFolder } from './helpers.mjs';

let project;
let work;
let config;
before(() => {
  project = installedProject();
  work = tempFolder('bin');
  config = tempFolder('config');
  writeFileSync(join(work, 'page.html'), generatedPage(4));
  writeFileSync(join(work, 'latin.html'), generatedPage(7));
  writeFileSync(join(work, 'empty.html'), '');
  writeFileSync(join(work, '.hidden.html'), '<p>x</p>');
  mkdirSync(join(work, 'folder.html'));
});

function runPackaged(args, { input, cwd = work, command = [join(project, 'node_modules/.bin/sievetext')] } = {}) {
  const result = spawnSync(command[0], [...command.slice(1), ...args], {
    cwd, input, maxBuffer: 1 << 30, env: { ...process.env, XDG_CONFIG_HOME: config },
  });
  return { status: result.status, stdout: result.stdout, stderr: result.stderr.toString() };
}

// The same as the native command, but for the usage line, which names
// only what this command offers.
function assertLikeNative(args, input) {
  const mine = runPackaged(args, { input });
  const native = runNative(args, { input, cwd: work, config });
  const withoutUsage = (text) => text.split('\n').filter((l) => !l.startsWith('Usage:')).join('\n');
  assert.equal(mine.status, native.status, `status of ${args.join(' ')}: ${mine.stderr}`);
  assert.equal(withoutUsage(mine.stderr), withoutUsage(native.stderr), `messages of ${args.join(' ')}`);
  assert.ok(mine.stdout.equals(native.stdout), `standard output of ${args.join(' ')}`);
}

describe('the sievetext command', () => {
  test('writes the native bytes to standard output, with the per-run options', () => {
    for (const args of [
      ['page.html', '-'],
      ['--lf', 'latin.html', '-'],
      ['--without=all', '--with=RemoveAllTags', 'page.html', '-'],
      ['--without', 'RemoveAllCRLF', '--lf', '--', 'page.html', '-'],
      ['--with=removetabs', '-q', 'page.html', '-'],
    ]) {
      assertLikeNative(args);
    }
  });

  test('reads standard input for "-"', () => {
    assertLikeNative(['-', '-'], generatedPage(12));
    assertLikeNative(['--lf', '-', '-'], generatedPage(22));
  });

  test('stops at the same checks with the same messages and statuses', () => {
    for (const args of [
      ['missing.html', 'out.txt'],
      ['empty.html', 'out.txt'],
      ['.hidden.html', 'out.txt'],
      ['folder.html', 'out.txt'],
      ['', 'out.txt'],
      ['page.html', ''],
      ['-q', 'missing.html', 'out.txt'],
      ['page.html'],
      ['--with=Nothing', 'page.html', '-'],
      ['--bogus', 'page.html', '-'],
      ['--wi=RemoveTabs', 'page.html', '-'],
      ['--witho=RemoveTabs', '--l', 'page.html', '-'],
      ['-x', 'page.html', '-'],
      ['--with'],
    ]) {
      assertLikeNative(args);
    }
    assertLikeNative(['-', 'out.txt'], Buffer.alloc(0));
    // Batches are the native program's.
    for (const args of [['a', 'b', 'c'], ['-d', 'out', 'page.html'], ['-r', 'a', 'b'], ['--window']]) {
      const result = runPackaged(args);
      assert.equal(result.status, 1);
      assert.match(result.stderr, /^sievetext: .*\nUsage: sievetext \[OPTION\]\.\.\. INPUT \[OUTPUT\] /);
    }
    assert.equal(existsSync(join(work, 'out.txt')), false);
  });

  test('replaces the output whole, keeping its permission bits, and leaves nothing behind', () => {
    const out = join(work, 'kept.txt');
    writeFileSync(out, 'old text that is longer than the new one'.repeat(100));
    chmodSync(out, 0o640);
    assert.equal(runPackaged(['page.html', 'kept.txt']).status, 0);
    const native = runNative(['page.html', '-'], { cwd: work, config });
    assert.ok(readFileSync(out).equals(native.stdout));
    assert.equal(statSync(out).mode & 0o777, 0o640);
    assert.deepEqual(readdirSync(work).filter((n) => n.startsWith('.sievetext-')), []);
  });

  test('a folder as OUTPUT fails with status 2 and keeps the folder', () => {
    const result = runPackaged(['page.html', 'folder.html']);
    assert.equal(result.status, 2);
    assert.match(result.stderr, /^sievetext: folder\.html: RemoveHTML: Error \d+: /);
    assert.ok(statSync(join(work, 'folder.html')).isDirectory());
  });

  test('starts from the options the native window saved', () => {
    writeFileSync(join(config, 'WexaSievetext.ini'), '[General]\nRemoveAllCRLF=False\nRemoveTabs=0\n');
    try {
      assertLikeNative(['page.html', '-']);
    } finally {
      writeFileSync(join(config, 'WexaSievetext.ini'), '');
    }
  });

  test('answers --help and --version, and runs through npx', () => {
    const help = runPackaged(['--help']);
    assert.equal(help.status, 0);
    assert.match(help.stdout.toString(), /^Usage: sievetext \[OPTION\]\.\.\. INPUT \[OUTPUT\]\n/);
    for (const word of ['--with=NAME', '--without=NAME', '--lf', '--quiet', 'RemoveBlankLines']) {
      assert.ok(help.stdout.toString().includes(word), word);
    }
    assert.equal(runPackaged(['--version']).stdout.toString(),
      runNative(['--version']).stdout.toString());
    const npx = runPackaged(['--offline', 'sievetext', join(work, 'page.html'), '-'],
      { cwd: project, command: ['npx'] });
    assert.equal(npx.status, 0, npx.stderr);
    assert.ok(npx.stdout.equals(runNative(['page.html', '-'], { cwd: work, config }).stdout));
  });
});
