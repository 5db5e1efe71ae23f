// Writes the text a browser shows for each page: document.body.innerText in
// headless Chromium with JavaScript off.
//   node bench/browser_text.js [--no-style-sheets] LIST OUTDIR
// --no-style-sheets: linked style sheets are not loaded (the page's own
// <style> blocks still apply), so that the browser sees what a converter sees.
// LIST holds one absolute path a line; the text of line N goes to OUTDIR/N.txt.
// Needs puppeteer-core (npm) and Chromium (apt); NODE_PATH may point at the
// folder holding puppeteer-core, CHROMIUM at the browser (default
// /usr/bin/chromium).
'use strict';
const fs = require('fs');
const path = require('path');
const puppeteer = require('puppeteer-core');

async function main() {
  const argv = process.argv.slice(2);
  const noStyleSheets = argv[0] === '--no-style-sheets';
  if (noStyleSheets) argv.shift();
  const [list, outDir] = argv;
  const pages = fs.readFileSync(list, 'utf8').split('\n').filter(Boolean);
  fs.mkdirSync(outDir, { recursive: true });
  const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--allow-file-access-from-files'],
  });
  const page = await browser.newPage();
  await page.setJavaScriptEnabled(false);
  if (noStyleSheets) {
    await page.setRequestInterception(true);
    page.on('request', (request) => {
      if (request.resourceType() === 'stylesheet') request.abort();
      else request.continue();
    });
  }
  for (let i = 0; i < pages.length; ++i) {
    let text = '';
    try {
      await page.goto('file://' + pages[i], { waitUntil: 'load', timeout: 30000 });
      text = await page.evaluate(() => (document.body ? document.body.innerText : ''));
    } catch (e) {
      process.stderr.write(pages[i] + ': ' + e.message + '\n');
    }
    fs.writeFileSync(path.join(outDir, i + '.txt'), text);
  }
  await browser.close();
}

main().catch((e) => {
  process.stderr.write(String(e) + '\n');
  process.exit(1);
});
