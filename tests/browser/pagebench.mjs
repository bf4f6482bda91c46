// Times sliceinfo's HTML pages in headless Chromium: for each page, the time
// from the start of its loading to the first layer on the canvas (best of
// `--runs`, each in a new browser context), beside the page's size and the
// size of the qvx file of the same print.
//
//   node pagebench.mjs [--runs N] PAGE.html:PRINT.qvx...
import { pathToFileURL } from 'node:url';
import path from 'node:path';
import { fileSize, launchChromium } from './browser.mjs';

function options() {
  const result = { runs: 3, pages: [] };
  const args = process.argv.slice(2);
  for (let i = 0; i < args.length; i++) {
    if (args[i] === '--runs') result.runs = Number(args[++i]);
    else result.pages.push(args[i].split(':'));
  }
  return result;
}

// Milliseconds from the navigation's start to the first layer drawn, as the
// page measures it, and as seen from outside (the call to the layer shown).
async function openOnce(browser, url) {
  const context = await browser.newContext({ viewport: { width: 1400, height: 1000 }, deviceScaleFactor: 1 });
  const page = await context.newPage();
  const started = Date.now();
  await page.goto(url, { waitUntil: 'commit' });
  await page.waitForFunction(() => window.sliceViewer && window.sliceViewer.firstLayerMs !== undefined, null,
    { polling: 10, timeout: 60000 });
  const outside = Date.now() - started;
  const inside = await page.evaluate(() => window.sliceViewer.firstLayerMs);
  await context.close();
  return { inside, outside };
}

async function main() {
  const { runs, pages } = options();
  const browser = await launchChromium();
  console.log('page | page MB | qvx MB | page / qvx | first layer shown, ms (page\'s clock) | ms (from outside)');
  console.log('---|---|---|---|---|---');
  try {
    for (const [html, qvx] of pages) {
      const times = [];
      for (let i = 0; i < runs; i++) times.push(await openOnce(browser, pathToFileURL(path.resolve(html)).href));
      const best = (key) => Math.min(...times.map((t) => t[key])).toFixed(0);
      const pageMb = fileSize(html) / 1e6;
      const qvxMb = fileSize(qvx) / 1e6;
      console.log(`${path.basename(html)} | ${pageMb.toFixed(2)} | ${qvxMb.toFixed(2)} | ${(pageMb / qvxMb).toFixed(2)} | `
        + `${best('inside')} | ${best('outside')}`);
    }
  } finally {
    await browser.close();
  }
}

main().catch((e) => {
  console.error(e);
  process.exit(1);
});
