// The page in headless Chromium, opened from disk: it converts a chosen file
// to the native command's text, converts again when an option changes,
// remembers the options, offers the text for download, and all of it works
// from the keyboard alone, with nothing in the console.
import assert from 'node:assert/strict';
import { existsSync, readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { after, before, describe, test } from 'node:test';
import { pathToFileURL } from 'node:url';

import puppeteer from 'puppeteer-core';

import { generatedPage, realPages, runNative, tempFolder, webDir } from './helpers.mjs';

const kCaptions = {
  RemoveComments: 'Remove Comments (<!-- -->)',
  RemoveScripts: 'Remove Scripts (<SCRIPT> </SCRIPT>)',
  RemoveStyles: 'Remove Styles(<STYLE> </STYLE>)',
  RemoveFunctions: 'Remove functions ( { } )',
  RemovePipe: "Remove pipe character '|'",
  RemoveTabs: 'Remove TAB characters',
  GenerateSpecialChars: 'Generate foreign & special characters',
  RemoveAllTags: 'Remove all tags < >',
  RemoveSpaces: 'Remove Spaces',
  RemoveBlankLines: 'Remove Blank Lines',
  RemoveAllCRLF: 'Remove all lines - extract only words',
};
const kLayoutCaption = 'Reading mode - as a browser shows it';

// Where Tab goes, as in the window: the option boxes from the top but
// "Remove functions", the reading mode after the other boxes of the first
// frame, the whitespace boxes from the window's bottom one up, "Remove
// functions"; then the input, the drop area, the text and its download.
const kTabOrder = ['chkRemoveComments', 'chkRemoveScripts', 'chkRemoveStyles', 'chkRemovePipe',
  'chkRemoveTabs', 'chkGenerateSpecialChars', 'chkRemoveAllTags', 'chkLayout', 'chkRemoveAllCRLF',
  'chkRemoveBlankLines', 'chkRemoveSpaces', 'chkRemoveFunctions', 'input', 'drop', 'output',
  'download'];

let browser;
let work;
let pageFile;
const problems = [];

function chromium() {
  for (const path of [process.env.CHROMIUM, '/usr/bin/chromium', '/usr/bin/chromium-browser']) {
    if (path && existsSync(path)) return path;
  }
  throw new Error('no Chromium (scripts/install-deps.sh installs it)');
}

before(async () => {
  work = tempFolder('page');
  const real = realPages(1)[0];
  pageFile = join(work, 'sample page.html');
  writeFileSync(pageFile, real ? Buffer.concat([readFileSync(real), generatedPage(8)]) : generatedPage(8));
  browser = await puppeteer.launch({
    executablePath: chromium(),
    headless: true,
    userDataDir: join(work, 'profile'),
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
});

after(async () => {
  if (browser) await browser.close();
});

let pages = 0;
async function openPage() {
  const downloads = join(work, `downloads-${++pages}`);
  const page = await browser.newPage();
  page.on('console', (message) => {
    if (message.type() === 'error' || message.type() === 'warn') problems.push(message.text());
  });
  page.on('pageerror', (error) => problems.push(String(error)));
  page.on('requestfailed', (request) => problems.push(`request failed: ${request.url()}`));
  page.on('request', (request) => {
    if (!/^(file|blob|data):/.test(request.url())) problems.push(`network: ${request.url()}`);
  });
  const session = await page.target().createCDPSession();
  await session.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads });
  await page.goto(pathToFileURL(join(webDir, 'site/index.html')).href);
  await page.waitForFunction(() => globalThis.Sievetext !== undefined);
  await page.bringToFront();
  page.downloads = downloads;
  return page;
}

function native(args) {
  return runNative([...args, pageFile, '-']).stdout;
}

async function outputText(page) {
  return page.$eval('#output', (area) => area.value);
}

async function waitForOutputChange(page, previous) {
  await page.waitForFunction((old) => {
    const area = document.querySelector('#output');
    return area.value !== '' && area.value !== old;
  }, { timeout: 10000 }, previous);
  return outputText(page);
}

async function waitForFile(path) {
  for (let i = 0; i < 100 && !existsSync(path); ++i) await new Promise((r) => setTimeout(r, 100));
  await new Promise((r) => setTimeout(r, 200));
  return readFileSync(path);
}

describe('the page, from file://', () => {
  test('shows the eleven options with the window\'s captions, all ticked on first start', async () => {
    const page = await openPage();
    for (const [name, caption] of Object.entries(kCaptions)) {
      const state = await page.$eval(`#chk${name}`, (box) => ({
        checked: box.checked, label: box.labels[0].textContent.trim(),
      }));
      assert.deepEqual(state, { checked: true, label: caption }, name);
    }
    const layout = await page.$eval('#chkLayout', (box) => ({
      checked: box.checked, label: box.labels[0].textContent.trim(), disabled: box.disabled,
      described: box.getAttribute('aria-describedby'),
    }));
    assert.deepEqual(layout, { checked: false, label: kLayoutCaption, disabled: false, described: 'layout-help' });
    assert.match(await page.$eval('#privacy', (p) => p.textContent), /no file ever leaves/);
    assert.equal(await page.$eval('#output', (area) => area.readOnly), true);
    await page.close();
  });

  test('converts a chosen file at once, again on an option, remembers it, and downloads NAME.txt', async () => {
    const page = await openPage();
    const input = await page.$('#input');
    await input.uploadFile(pageFile);
    const first = await waitForOutputChange(page, '');
    assert.equal(first, native(['--lf']).toString());

    await page.click('#chkRemoveAllCRLF');
    const second = await waitForOutputChange(page, first);
    assert.equal(second, native(['--lf', '--without=RemoveAllCRLF']).toString());

    await page.click('#download');
    const saved = await waitForFile(join(page.downloads, 'sample page.txt'));
    assert.ok(saved.equals(native(['--without=RemoveAllCRLF'])), 'the download holds the CR LF text');

    await page.reload();
    await page.waitForFunction(() => globalThis.Sievetext !== undefined);
    assert.equal(await page.$eval('#chkRemoveAllCRLF', (box) => box.checked), false);
    assert.equal(await page.$eval('#chkRemoveTabs', (box) => box.checked), true);
    await page.click('#chkRemoveAllCRLF');  // back to the first start's ticks
    await page.close();
  });

  test('works from the keyboard alone', async () => {
    const page = await openPage();
    const focusOn = async (id) => {
      for (let i = 0; i < 40; ++i) {
        if (await page.evaluate(() => document.activeElement && document.activeElement.id) === id) return;
        await page.keyboard.press('Tab');
      }
      throw new Error(`Tab never reached #${id}`);
    };
    await focusOn('drop');
    // The browser takes the request to catch the chooser and the key press on
    // different paths; a round trip to the page first makes sure the chooser
    // is caught, not shown to nobody.
    const choosing = page.waitForFileChooser();
    await page.evaluate(() => 0);
    await page.keyboard.press('Enter');
    const chooser = await choosing;
    await chooser.accept([pageFile]);
    const first = await waitForOutputChange(page, '');
    assert.equal(first, native(['--lf']).toString());

    await page.keyboard.down('Shift');
    await focusOn('chkRemoveBlankLines');
    await page.keyboard.up('Shift');
    await page.keyboard.press('Space');
    await page.keyboard.down('Shift');
    await page.keyboard.press('Tab');  // back, to the box above it here
    await page.keyboard.up('Shift');
    assert.equal(await page.evaluate(() => document.activeElement.id), 'chkRemoveAllCRLF');
    await page.keyboard.press('Space');  // RemoveAllCRLF off too
    const second = await waitForOutputChange(page, first);
    assert.equal(second, native(['--lf', '--without=RemoveBlankLines', '--without=RemoveAllCRLF']).toString());

    // From the first box on, every control in the window's order.
    await page.focus('#chkRemoveComments');
    const order = ['chkRemoveComments'];
    while (order.length < kTabOrder.length) {
      await page.keyboard.press('Tab');
      order.push(await page.evaluate(() => document.activeElement && document.activeElement.id));
    }
    assert.deepEqual(order, kTabOrder);

    await focusOn('download');
    await page.keyboard.press('Enter');
    const saved = await waitForFile(join(page.downloads, 'sample page.txt'));
    assert.ok(saved.equals(native(['--without=RemoveBlankLines', '--without=RemoveAllCRLF'])));
    assert.match(await page.$eval('#status', (s) => s.textContent), /^Done: sample page\.html/);
    await page.close();
  });

  test('the reading-mode box, off at first, converts again with the layout mode and is remembered', async () => {
    const page = await openPage();
    await page.evaluate(() => localStorage.clear());  // a first start
    await page.reload();
    await page.waitForFunction(() => globalThis.Sievetext !== undefined);
    await (await page.$('#input')).uploadFile(pageFile);
    const first = await waitForOutputChange(page, '');
    assert.equal(first, native(['--lf']).toString());
    await page.click('#chkLayout');
    const laidOut = await waitForOutputChange(page, first);
    assert.equal(laidOut, native(['--lf', '--layout']).toString());
    await page.reload();
    await page.waitForFunction(() => globalThis.Sievetext !== undefined);
    assert.equal(await page.$eval('#chkLayout', (box) => box.checked), true);
    assert.equal(await page.$eval('#chkRemoveTabs', (box) => box.checked), true);
    await page.click('#chkLayout');  // back to the first start's ticks
    await page.close();
  });

  // The converter hands its text over in stretches, one byte per character
  // where all fit one; the browser reads bytes 80-9F of those as other
  // characters, so stretches holding such characters must stay wide.
  test('texts of one-byte, C1 and wider characters come out as the native program writes them', async () => {
    const runs = ['a'.repeat(5000), '\u2019', '\u00e9'.repeat(700), '\u0085x'.repeat(600), '\u4e2d',
      'b'.repeat(300), '\u{1F600}', 'c'.repeat(2000), '\u00ff\u0080', 'd'.repeat(1100), '\u2014'];
    const texts = [runs.join(''), runs.slice().reverse().join(''), '\u0092'.repeat(3000),
      '\u00e9'.repeat(70000) + '\u0090'];
    const page = await openPage();
    await page.evaluate(() => Sievetext.ready());
    const got = await page.evaluate((all) => all.map((text) => Sievetext.convert(text, { lineBreaks: 'lf' })), texts);
    texts.forEach((text, i) => {
      assert.equal(got[i], runNative(['--lf', '-', '-'], { input: Buffer.from(text) }).stdout.toString(), `text ${i}`);
    });
    await page.close();
  });

  test('left nothing in the console and asked the network for nothing', () => {
    assert.deepEqual(problems, []);
  });
});
