// The browser test of sliceinfo's HTML page: builds a print with the project's
// own tools, writes its page and its PNG layer pictures with sliceinfo, opens
// the page from the disk in headless Chromium, and checks that:
//   - the layer shown is picked by the slider, the keys, the fragment, the
//     plot and the warnings' links;
//   - the canvas holds exactly the pixels of sliceinfo's PNG of that layer,
//     and the view at 1:1 shows them unchanged;
//   - each overlay (islands; traps and cups where the report has them) is
//     drawn as the PNG draws it, and switched off leaves the greys;
//   - the page asked for nothing but itself: no request went anywhere;
// and the same for the quick start's sample, whose layers fill several of the
// page's chunks, and for a page that holds only some of its print's layers.
//
//   node pagetest.mjs [--build DIR] [--screenshot FILE.png]
import assert from 'node:assert/strict';
import { mkdtempSync, rmSync } from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { launchChromium, readPng, runProgram } from './browser.mjs';

const ROOT = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');

function options() {
  const result = { build: path.join(ROOT, 'build'), screenshot: null };
  const args = process.argv.slice(2);
  for (let i = 0; i < args.length; i++) {
    if (args[i] === '--build') result.build = path.resolve(args[++i]);
    else if (args[i] === '--screenshot') result.screenshot = path.resolve(args[++i]);
    else throw new Error(`unknown argument ${args[i]}`);
  }
  return result;
}

// The print as Tesk and as qvx, each with its page and every layer's PNG.
function makePrints(build, dir) {
  const tesk = path.join(dir, 'print.tesk');
  const qvx = path.join(dir, 'print.qvx');
  runProgram(build, 'viewerprint', [tesk]);
  runProgram(build, 'tesktoqvx', [tesk, qvx]);
  return [tesk, qvx].map((file) => {
    const html = file + '.html';
    const pictures = file + '-png';
    // Exit status 3: sound, with warnings (the island). The page names the file
    // as given, here without the test's folder.
    runProgram(build, 'sliceinfo', [path.basename(file), '--html', html, '--png', pictures, '--layers', 'all'], [3],
      { cwd: dir });
    return { file, html, pictures, url: pathToFileURL(html).href };
  });
}

function pngOf(print, layer) {
  return readPng(path.join(print.pictures, `layer-${String(layer).padStart(5, '0')}.png`));
}

async function waitForLayer(page, layer) {
  await page.waitForFunction((n) => document.getElementById('view').dataset.layer === String(n)
    && window.sliceViewer.state.layer === n && window.sliceViewer.state.grey !== null, layer);
}

// The pixels of the canvas the layer is drawn on, or of the part of the view
// canvas given, as RGBA bytes.
async function canvasPixels(page, which, box) {
  const base64 = await page.evaluate(([w, b]) => {
    const canvas = w === 'layer' ? window.sliceViewer.layerCanvas : document.getElementById('view-canvas');
    const [x, y, width, height] = b || [0, 0, canvas.width, canvas.height];
    const data = canvas.getContext('2d').getImageData(x, y, width, height).data;
    let text = '';
    for (let i = 0; i < data.length; i += 0x8000) text += String.fromCharCode(...data.subarray(i, i + 0x8000));
    return btoa(text);
  }, [which, box]);
  return new Uint8Array(Buffer.from(base64, 'base64'));
}

// Compares RGBA bytes of a width x height area with the PNG's area at (x0, y0).
function compareArea(actual, png, [x0, y0, width, height], what) {
  let differing = 0;
  let first = null;
  for (let y = 0; y < height; y++) {
    for (let x = 0; x < width; x++) {
      const a = (y * width + x) * 4;
      const e = ((y0 + y) * png.width + x0 + x) * 4;
      for (let c = 0; c < 4; c++) {
        if (actual[a + c] !== png.rgba[e + c]) {
          differing++;
          first = first || `(${x0 + x}, ${y0 + y}): ${actual.subarray(a, a + 4)} instead of ${png.rgba.subarray(e, e + 4)}`;
          break;
        }
      }
    }
  }
  assert.equal(differing, 0, `${what}: ${differing} pixels differ from the PNG, the first at ${first}`);
}

async function expectLayerAsPng(page, print, layer, what) {
  await waitForLayer(page, layer);
  const png = pngOf(print, layer);
  const pixels = await canvasPixels(page, 'layer');
  assert.equal(pixels.length, png.width * png.height * 4, `${what}: the canvas is not the layer's size`);
  compareArea(pixels, png, [0, 0, png.width, png.height], `${what}, layer ${layer}`);
}

// At 1:1 the view canvas shows the layer's pixels unchanged, wherever it is panned.
async function expectOneToOne(page, print) {
  await page.keyboard.press('1');
  const png = pngOf(print, await page.evaluate(() => window.sliceViewer.state.layer));
  const view = await page.evaluate(() => {
    const s = window.sliceViewer.state;
    const c = document.getElementById('view-canvas');
    return { scale: s.scale, x: s.x, y: s.y, width: c.width, height: c.height };
  });
  assert.equal(view.scale, 1, '1 zooms to 1:1');
  const x0 = Math.max(0, -view.x);
  const y0 = Math.max(0, -view.y);
  const width = Math.min(png.width, view.width - view.x) - x0;
  const height = Math.min(png.height, view.height - view.y) - y0;
  assert.ok(width > 100 && height > 100, 'the view shows a good part of the layer');
  const pixels = await canvasPixels(page, 'view', [view.x + x0, view.y + y0, width, height]);
  compareArea(pixels, png, [x0, y0, width, height], 'the view at 1:1');
}

// Zoomed in on the corner of the lit pixels, each layer pixel is a square of
// its own colour: nothing smoothed.
async function expectZoomedExact(page, print, report) {
  await page.keyboard.press('1');
  await page.keyboard.press('+');
  await page.keyboard.press('+');
  assert.equal(await page.evaluate(() => window.sliceViewer.state.scale), 4, '+ zooms in twice as far');
  const layer = await page.evaluate(() => window.sliceViewer.state.layer);
  const png = pngOf(print, layer);
  const [width, height] = [100, 100];
  const x0 = Math.max(0, report.layers[layer].boundingBox[0] - 20);
  const y0 = Math.max(0, report.layers[layer].boundingBox[1] - 20);
  await page.evaluate(([x, y]) => window.sliceViewer.setView(4, 10 - x * 4, 10 - y * 4), [x0, y0]);
  const pixels = await canvasPixels(page, 'view', [10, 10, width * 4, height * 4]);
  const blocks = new Uint8Array(width * height * 4);
  for (let y = 0; y < height * 4; y++) {
    for (let x = 0; x < width * 4; x++) {
      const at = (y * width * 4 + x) * 4;
      const block = ((y >> 2) * width + (x >> 2)) * 4;
      if (x % 4 === 0 && y % 4 === 0) blocks.set(pixels.subarray(at, at + 4), block);
      else assert.deepEqual(pixels.subarray(at, at + 4), blocks.subarray(block, block + 4), `zoomed: (${x}, ${y}) is smoothed`);
    }
  }
  assert.ok(new Set(new Uint32Array(blocks.buffer)).size > 1, 'the zoomed part has dark and lit pixels');
  compareArea(blocks, png, [x0, y0, width, height], 'the view at 4:1');
}

async function expectKeysStep(page, print) {
  await page.focus('#view');
  const last = await page.evaluate(() => window.sliceViewer.heldCount - 1);
  for (const [key, layer] of [['Home', 0], ['ArrowRight', 1], ['PageUp', 11], ['ArrowUp', 12], ['PageDown', 2],
    ['ArrowLeft', 1], ['ArrowDown', 0], ['ArrowLeft', 0], ['End', last], ['PageUp', last]]) {
    await page.keyboard.press(key);
    await waitForLayer(page, layer);
  }
  await expectLayerAsPng(page, print, last, 'after the keys');
}

async function expectSliderPicks(page, print) {
  const box = await page.locator('#slider').boundingBox();
  await page.mouse.click(box.x + box.width * 0.3, box.y + box.height / 2);
  const layer = Number(await page.locator('#slider').inputValue());
  assert.ok(layer > 0, 'a click on the slider moves it');
  await expectLayerAsPng(page, print, layer, 'picked by the slider');
}

async function expectFragmentPicks(page, print) {
  await page.evaluate(() => { location.hash = '#layer=17'; });
  await expectLayerAsPng(page, print, 17, 'picked by the fragment');
  assert.equal(await page.inputValue('#layer-number'), '17');
  await page.goto(print.url + '#layer=33');
  await page.evaluate(() => window.sliceViewer.ready);
  await expectLayerAsPng(page, print, 33, 'opened with #layer=33');
}

async function expectPlotAndLinksPick(page, print, report) {
  const point = await page.evaluate(() => window.sliceViewer.plotPoint(30));
  await page.mouse.click(point.x, point.y);
  await waitForLayer(page, 30);
  const warned = report.warnings[0].layers[0];
  await page.click(`#warnings a[data-layer="${warned}"]`);
  await expectLayerAsPng(page, print, warned, 'picked by a warning\'s link');
}

// Switches every overlay on or off with its checkbox.
async function switchOverlays(page, kinds, on) {
  for (const kind of kinds) {
    if (await page.isChecked(`#overlay-${kind}`) !== on) await page.click(`#overlay-${kind}`);
  }
  await page.waitForFunction((o) => window.sliceViewer.overlays.every((overlay) => overlay.on === o), on);
}

// On a layer that each overlay draws on (islands; traps and cups where the
// report has them): with the overlays on, the canvas is the PNG; off, the
// pixels the PNG colours turn grey and the rest stay. The islands are the lit
// pixels coloured; the hollows, dark.
async function expectOverlays(page, print, report) {
  const kinds = await page.evaluate(() => window.sliceViewer.overlays.map((o) => o.kind));
  assert.ok(kinds.includes('islands'), 'the page has the islands overlay');
  for (const kind of kinds) {
    const found = report[kind] || [];
    if (found.length === 0) continue;
    const layer = found[0].layer !== undefined ? found[0].layer : found[0].firstLayer;
    await page.evaluate((n) => window.sliceViewer.showLayer(n), layer);
    await expectLayerAsPng(page, print, layer, `with the ${kind}`);
    await switchOverlays(page, kinds, false);
    const png = pngOf(print, layer);
    const pixels = await canvasPixels(page, 'layer');
    let litColoured = 0;
    let darkColoured = 0;
    for (let i = 0; i < pixels.length; i += 4) {
      const [r, g, b] = png.rgba.subarray(i, i + 3);
      const grey = pixels[i] === pixels[i + 1] && pixels[i] === pixels[i + 2];
      assert.ok(grey, `overlays off: pixel ${i / 4} of layer ${layer} is not grey`);
      if (r === g && g === b) assert.equal(pixels[i], r, `overlays off: pixel ${i / 4} of layer ${layer} changed`);
      else if (pixels[i] > 0) litColoured++;
      else darkColoured++;
    }
    if (kind === 'islands') {
      const pixelsOfIslands = found.filter((i) => i.layer === layer).reduce((sum, i) => sum + i.pixels, 0);
      assert.equal(litColoured, pixelsOfIslands, 'the PNG colours exactly the islands\' pixels');
    } else {
      assert.ok(darkColoured > 0, `the PNG colours the ${kind}`);
    }
    await switchOverlays(page, kinds, true);
  }
}

// A page in a browser context of its own, with what it asked for and what it
// logged as errors.
async function openPage(browser, url) {
  const context = await browser.newContext({ viewport: { width: 1400, height: 1000 }, deviceScaleFactor: 1 });
  const page = await context.newPage();
  const opened = { context, page, requests: [], errors: [] };
  context.on('request', (r) => opened.requests.push(r.url()));
  page.on('console', (m) => m.type() === 'error' && opened.errors.push(m.text()));
  page.on('pageerror', (e) => opened.errors.push(e.message));
  await page.goto(url);
  await page.evaluate(() => window.sliceViewer.ready);
  opened.report = await page.evaluate(() => JSON.parse(document.getElementById('report-json').textContent));
  return opened;
}

async function closePage({ context, requests, errors }, url) {
  const elsewhere = requests.filter((r) => r.split('#')[0] !== url);
  assert.deepEqual(elsewhere, [], 'the page asks for nothing but itself');
  assert.deepEqual(errors, [], 'the page logs no error');
  await context.close();
}

async function checkPage(browser, print, screenshot) {
  const opened = await openPage(browser, print.url);
  const { page, report } = opened;
  await expectLayerAsPng(page, print, 0, 'on opening');
  await expectOneToOne(page, print);
  await expectZoomedExact(page, print, report);
  await expectKeysStep(page, print);
  await expectSliderPicks(page, print);
  await expectFragmentPicks(page, print);
  await expectPlotAndLinksPick(page, print, report);
  await expectOverlays(page, print, report);
  if (screenshot) await takeScreenshot(page, report, screenshot);
  await closePage(opened, print.url);
  console.log(`ok: ${path.basename(print.file)}: ${report.layers.length} layers, every check passed`);
}

// The page of a print past the bound holds the layer with the warning and
// evenly spaced ones, says so, and steps between them.
async function checkSubsetPage(browser, build, print) {
  const html = print.file + '-subset.html';
  runProgram(build, 'subsetpage', [print.file, html, String(60000)]);
  const url = pathToFileURL(html).href;
  const opened = await openPage(browser, url);
  const { page, report } = opened;
  const shown = await page.evaluate(() => JSON.parse(document.getElementById('page-json').textContent).shown);
  const warned = report.warnings[0].layers[0];
  assert.ok(shown.length < report.layers.length && shown.includes(warned), `the page holds ${shown}`);
  assert.equal(shown[0], 0, 'the first layer is held');
  assert.equal(shown[shown.length - 1], report.layers.length - 1, 'the last layer is held');
  assert.ok(await page.isVisible('#subset-note'), 'the page says it holds only some layers');
  await expectLayerAsPng(page, print, 0, 'the first layer held');
  await page.focus('#view');
  await page.keyboard.press('ArrowRight');
  await expectLayerAsPng(page, print, shown[1], 'the next layer held');
  const notHeld = report.layers.map((l) => l.layer).find((j) => !shown.includes(j) && j > shown[2]);
  const nearest = shown.reduce((best, j) => (Math.abs(j - notHeld) < Math.abs(best - notHeld) ? j : best));
  await page.evaluate((n) => { location.hash = '#layer=' + n; }, notHeld);
  await expectLayerAsPng(page, print, nearest, `the layer held nearest to ${notHeld}`);
  assert.equal(Number(await page.inputValue('#slider')), shown.indexOf(nearest), 'the slider steps through the layers held');
  await page.click(`#warnings a[data-layer="${warned}"]`);
  await expectLayerAsPng(page, print, warned, 'the layer with the warning');
  await closePage(opened, url);
  console.log(`ok: ${path.basename(html)}: ${shown.length} of ${report.layers.length} layers, every check passed`);
}

// The quick start's sample part: cups but no island to draw, and more layers than one
// chunk of the page holds.
async function checkSamplePage(browser, build, dir) {
  const file = path.join(dir, 'part.tesk');
  runProgram(build, 'makesample', [file, '--model', '30', '--layers', '300']);
  const print = { file, html: file + '.html', pictures: file + '-png', url: pathToFileURL(file + '.html').href };
  // Its blind holes are suction cups: a sound file with warnings.
  runProgram(build, 'sliceinfo', [file, '--html', print.html, '--png', print.pictures, '--layers', '0,299'], [0, 3]);
  const opened = await openPage(browser, print.url);
  const { page } = opened;
  const chunks = await page.evaluate(() => JSON.parse(document.getElementById('page-json').textContent).chunks);
  assert.ok(chunks.length > 1, 'the layers fill more than one chunk');
  await expectLayerAsPng(page, print, 0, 'the sample');
  await page.focus('#view');
  await page.keyboard.press('End');
  await expectLayerAsPng(page, print, 299, 'the sample\'s last layer, in its last chunk');
  await closePage(opened, print.url);
  console.log(`ok: ${path.basename(file)}: 300 layers in ${chunks.length} chunks, every check passed`);
}

// The island's layer, the whole layer in view, for the README.
async function takeScreenshot(page, report, file) {
  await page.evaluate((n) => window.sliceViewer.showLayer(n), report.islands[0].layer);
  await waitForLayer(page, report.islands[0].layer);
  await page.keyboard.press('0');
  await page.evaluate(() => document.activeElement.blur());
  await page.screenshot({ path: file });
  console.log(`wrote ${file}`);
}

async function main() {
  const { build, screenshot } = options();
  const dir = mkdtempSync(path.join(os.tmpdir(), 'sliceinfo-page-'));
  const browser = await launchChromium();
  try {
    const [tesk, qvx] = makePrints(build, dir);
    await checkPage(browser, tesk, screenshot);
    await checkPage(browser, qvx, null);
    await checkSubsetPage(browser, build, tesk);
    await checkSamplePage(browser, build, dir);
  } finally {
    await browser.close();
    rmSync(dir, { recursive: true, force: true });
  }
}

main().catch((e) => {
  console.error(e);
  process.exit(1);
});
