// The page's converter in headless Chromium on one file: the renderer's
// peak resident memory while convert() runs, against the input's size.
// The file is converted as a person would have it converted: once the page
// has loaded and warmed its converter (body[data-ready]) and a second has
// passed, less than it takes anyone to choose a file.
//   node bench/web/browser_memory.mjs SITE_DIR FILE
import { readFileSync, statSync, writeFileSync } from 'node:fs';
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';
import puppeteer from 'puppeteer-core';

const [siteDir, file] = process.argv.slice(2);
const size = statSync(file).size;
const profile = mkdtempSync(join(tmpdir(), 'sievetext-chromium-'));
const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  headless: true,
  userDataDir: profile,
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync',
    '--renderer-process-limit=1', '--js-flags=--expose-gc'],
});
const kib = (pid, field) => Number(new RegExp(`${field}:\\s+(\\d+)`).exec(readFileSync(`/proc/${pid}/status`, 'utf8'))[1]) * 1024;
try {
  const page = await browser.newPage();
  await page.goto(pathToFileURL(join(siteDir, 'index.html')).href);
  await page.evaluate(() => Sievetext.ready());
  await page.waitForSelector('body[data-ready]', { timeout: 60000 });
  await new Promise((resolve) => setTimeout(resolve, 1000));
  // The input, read into the page as the file chooser reads it.
  await page.evaluate(() => {
    const chooser = document.createElement('input');
    chooser.type = 'file';
    chooser.id = 'bench-input';
    document.body.append(chooser);
  });
  await (await page.$('#bench-input')).uploadFile(file);
  await page.evaluate(async () => {
    globalThis.benchBytes = new Uint8Array(await document.querySelector('#bench-input').files[0].arrayBuffer());
    gc();
  });
  const info = await (await browser.target().createCDPSession()).send('SystemInfo.getProcessInfo');
  const renderers = info.processInfo.filter((p) => p.type === 'renderer').map((p) => p.id);
  const before = renderers.map((pid) => kib(pid, 'VmRSS'));
  for (const pid of renderers) writeFileSync(`/proc/${pid}/clear_refs`, '5');  // resets the peak
  const [seconds, units] = await page.evaluate(() => {
    const start = performance.now();
    globalThis.benchText = Sievetext.convert(globalThis.benchBytes);
    return [(performance.now() - start) / 1000, globalThis.benchText.length];
  });
  const peak = renderers.map((pid) => kib(pid, 'VmHWM'));
  const grown = peak.reduce((sum, p, i) => sum + Math.max(0, p - before[i]), 0);
  const mib = (b) => `${(b / 1048576).toFixed(1)} MiB`;
  console.log(`browser: ${mib(size)} input converted in ${seconds.toFixed(3)} s (${(size / 1e6 / seconds).toFixed(1)} MB/s), ${units} units of text`);
  console.log(`  renderer resident memory: ${mib(before.reduce((a, b) => a + b, 0))} with the page and the input loaded, peak ${mib(peak.reduce((a, b) => a + b, 0))} during convert()`);
  console.log(`  memory taken by convert(): ${mib(grown)} = ${(grown / size).toFixed(2)}x the input (target <= 3x); with the input's own copy: ${((grown + size) / size).toFixed(2)}x`);
} finally {
  await browser.close();
  rmSync(profile, { recursive: true, force: true });
}
