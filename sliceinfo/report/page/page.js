// sliceinfo's page: the report, the plot and a viewer of every layer. The data
// stands in the page's own elements (see sliceinfo/report/htmlpage.h); nothing
// is fetched.
'use strict';

(() => {
  const $ = (id) => document.getElementById(id);
  const readJson = (id) => JSON.parse($(id).textContent);
  const report = readJson('report-json');
  const page = readJson('page-json');

  const WIDTH = page.width;
  const HEIGHT = page.height;
  const MAX_ZOOM = 64;
  const CHUNKS_KEPT = 6;
  const LINKS_SHOWN = 60;
  const LARGEST_SHOWN = 10;
  // As in sliceinfo's plot.png.
  const PLOT = {
    area: 'rgb(70,120,190)', bottom: 'rgb(255,222,160)', warning: 'rgba(220,30,30,0.43)',
    build: 'rgb(20,140,60)', axis: 'rgb(40,40,40)', grid: 'rgb(225,225,225)', current: '#111',
  };

  // ---- Bytes ----

  function base64Bytes(text) {
    if (Uint8Array.fromBase64) return Uint8Array.fromBase64(text);
    const s = atob(text);
    const bytes = new Uint8Array(s.length);
    for (let i = 0; i < s.length; i++) bytes[i] = s.charCodeAt(i);
    return bytes;
  }

  // The bytes of a data element: base64 of a zlib stream, or nothing.
  async function inflateElement(id) {
    const text = $(id).textContent.trim();
    if (text === '') return new Uint8Array(0);
    const stream = new Blob([base64Bytes(text)]).stream().pipeThrough(new DecompressionStream('deflate'));
    return new Uint8Array(await new Response(stream).arrayBuffer());
  }

  // A varint (7 bits a byte, low first) at bytes[at]: [value, next position].
  function varint(bytes, at) {
    let value = 0;
    let scale = 1;
    let b;
    do {
      b = bytes[at++];
      value += (b & 127) * scale;
      scale *= 128;
    } while (b & 128 && at < bytes.length);
    return [value, at];
  }

  // ---- Layers: which are held, and their pixels ----

  const shown = page.shown || null;
  // The index among the layers held of each chunk's first layer.
  const chunkStarts = [];
  let heldCount = 0;
  for (const count of page.chunks) {
    chunkStarts.push(heldCount);
    heldCount += count;
  }

  const layerAt = (index) => (shown ? shown[index] : index);

  // The index of the held layer nearest to `layer`.
  function nearestIndex(layer) {
    if (!shown) return Math.max(0, Math.min(heldCount - 1, layer));
    let lo = 0;
    let hi = shown.length - 1;
    while (lo < hi) {
      const mid = (lo + hi) >> 1;
      if (shown[mid] < layer) lo = mid + 1;
      else hi = mid;
    }
    if (lo > 0 && Math.abs(shown[lo - 1] - layer) <= Math.abs(shown[lo] - layer)) return lo - 1;
    return lo;
  }

  function chunkOf(index) {
    let c = chunkStarts.length - 1;
    while (c > 0 && chunkStarts[c] > index) c--;
    return c;
  }

  const chunks = new Map();

  // A chunk's bytes and, per layer, where its three streams start
  // (sliceinfo/report/pagelayers.h).
  async function decodeChunk(c) {
    const bytes = await inflateElement('chunk-' + c);
    const sizes = [];
    let at = 0;
    for (let i = 0; i < page.chunks[c]; i++) {
      const size = [0, 0, 0];
      for (let s = 0; s < 3; s++) [size[s], at] = varint(bytes, at);
      sizes.push(size);
    }
    const layers = [];
    const starts = [at, 0, 0];
    starts[1] = starts[0] + sizes.reduce((sum, size) => sum + size[0], 0);
    starts[2] = starts[1] + sizes.reduce((sum, size) => sum + size[1], 0);
    let last = null;
    for (const size of sizes) {
      if (size[0] > 0) {
        last = [starts[0], starts[1], starts[2], starts[0] + size[0]];
        for (let s = 0; s < 3; s++) starts[s] += size[s];
      }
      layers.push(last);
    }
    return { bytes, layers };
  }

  function loadChunk(c) {
    if (!chunks.has(c)) {
      chunks.set(c, decodeChunk(c));
      if (chunks.size > CHUNKS_KEPT) chunks.delete(chunks.keys().next().value);
    }
    return chunks.get(c);
  }

  const GREY = new Uint32Array(256);
  for (let g = 0; g < 256; g++) GREY[g] = (0xff000000 | (g << 16) | (g << 8) | g) >>> 0;

  // Decodes a coded layer (sliceinfo/report/runcoding.h) into RGBA pixels:
  // `at` holds where its rows, greys and lengths start in `bytes`, and where
  // its rows end.
  function decodeLayer(bytes, at, out) {
    let [r, g, l] = at;
    const rowsEnd = at[3];
    let pos = 0;
    const total = out.length;
    while (r < rowsEnd && pos < total) {
      let runs;
      [runs, r] = varint(bytes, r);
      if (runs === 0) {
        let count;
        [count, r] = varint(bytes, r);
        const row = pos - WIDTH;
        const need = Math.min(count * WIDTH, total - pos);
        // Doubling: what is already repeated is copied on.
        for (let done = 0; done < need;) {
          const n = Math.min(done + WIDTH, need - done);
          out.copyWithin(pos + done, row, row + n);
          done += n;
        }
        pos += need;
        continue;
      }
      const rowEnd = pos + WIDTH;
      for (; runs > 1; runs--) {
        let length;
        [length, l] = varint(bytes, l);
        const end = Math.min(rowEnd, pos + length);
        out.fill(GREY[bytes[g++]], pos, end);
        pos = end;
      }
      out.fill(GREY[bytes[g++]], pos, rowEnd);
      pos = rowEnd;
    }
    out.fill(GREY[0], pos);
  }

  async function layerPixels(index) {
    const c = chunkOf(index);
    const chunk = await loadChunk(c);
    const pixels = new Uint32Array(WIDTH * HEIGHT);
    decodeLayer(chunk.bytes, chunk.layers[index - chunkStarts[c]], pixels);
    return pixels;
  }

  // ---- Overlays: islands, and traps and cups where the report has them ----

  const overlays = page.overlays.map((o, i) => {
    const colours = new Uint32Array(256);
    for (let g = 0; g < 256; g++) {
      const [r, gr, b] = [0, 1, 2].map((c) => Math.min(255, Math.max(g * o.scale[c], o.floor[c])));
      colours[g] = (0xff000000 | (b << 16) | (gr << 8) | r) >>> 0;
    }
    return { ...o, element: 'overlay-' + i, colours, on: true, layers: new Map() };
  });

  // Entries of varints: layer, count, then row, x0, x1 - x0 per interval.
  async function decodeOverlay(o) {
    const bytes = await inflateElement(o.element);
    let at = 0;
    while (at < bytes.length) {
      let layer;
      let count;
      [layer, at] = varint(bytes, at);
      [count, at] = varint(bytes, at);
      const list = o.layers.get(layer) || [];
      for (let i = 0; i < count; i++) {
        let row;
        let x0;
        let span;
        [row, at] = varint(bytes, at);
        [x0, at] = varint(bytes, at);
        [span, at] = varint(bytes, at);
        list.push(row, x0, x0 + span);
      }
      o.layers.set(layer, list);
    }
  }

  function drawOverlays(layer, grey, out) {
    for (const o of overlays) {
      const list = o.on ? o.layers.get(layer) : undefined;
      if (!list) continue;
      for (let i = 0; i < list.length; i += 3) {
        const rowStart = list[i] * WIDTH;
        for (let p = rowStart + list[i + 1], e = rowStart + Math.min(list[i + 2], WIDTH - 1); p <= e; p++)
          out[p] = o.colours[grey[p] & 255];
      }
    }
  }

  // ---- The viewer ----

  const view = $('view');
  const viewCanvas = $('view-canvas');
  const viewContext = viewCanvas.getContext('2d');
  const layerCanvas = document.createElement('canvas');
  layerCanvas.width = Math.max(1, WIDTH);
  layerCanvas.height = Math.max(1, HEIGHT);
  const layerContext = layerCanvas.getContext('2d');
  const layerImage = layerContext.createImageData(layerCanvas.width, layerCanvas.height);
  const layerImagePixels = new Uint32Array(layerImage.data.buffer);

  // What is shown: the layer's index among those held, its grey pixels, and
  // the view: device pixels per layer pixel and where the layer's corner is.
  const state = { index: -1, layer: -1, grey: null, scale: 1, x: 0, y: 0, fitted: true, request: 0 };

  function paintLayer() {
    if (!state.grey) return;
    layerImagePixels.set(state.grey);
    drawOverlays(state.layer, state.grey, layerImagePixels);
    layerContext.putImageData(layerImage, 0, 0);
    drawView();
  }

  function drawView() {
    const w = viewCanvas.width;
    const h = viewCanvas.height;
    viewContext.fillStyle = getComputedStyle(view).backgroundColor;
    viewContext.fillRect(0, 0, w, h);
    if (!state.grey) return;
    const s = state.scale;
    // Only the part in sight, so that deep zooms draw little.
    const x0 = Math.max(0, Math.floor(-state.x / s));
    const y0 = Math.max(0, Math.floor(-state.y / s));
    const x1 = Math.min(WIDTH, Math.ceil((w - state.x) / s));
    const y1 = Math.min(HEIGHT, Math.ceil((h - state.y) / s));
    viewContext.strokeStyle = '#6b737c';
    viewContext.lineWidth = 1;
    viewContext.strokeRect(state.x - 0.5, state.y - 0.5, WIDTH * s + 1, HEIGHT * s + 1);
    if (x1 <= x0 || y1 <= y0) return;
    // Smoothing only when a screen pixel covers several layer pixels; from 1:1 on, pixels stay exact.
    viewContext.imageSmoothingEnabled = s < 1;
    viewContext.imageSmoothingQuality = 'high';
    viewContext.drawImage(layerCanvas, x0, y0, x1 - x0, y1 - y0,
      state.x + x0 * s, state.y + y0 * s, (x1 - x0) * s, (y1 - y0) * s);
  }

  function fitScale() {
    return Math.min(viewCanvas.width / WIDTH, viewCanvas.height / HEIGHT) * 0.98;
  }

  const clampScale = (scale) => Math.max(Math.min(fitScale() / 2, 1), Math.min(MAX_ZOOM, scale));

  function setView(scale, x, y) {
    state.scale = clampScale(scale);
    state.x = Math.round(x);
    state.y = Math.round(y);
    const percent = state.scale * 100;
    $('zoom-level').textContent = (percent >= 10 ? Math.round(percent) : percent.toFixed(1)) + ' %';
    drawView();
  }

  function fit() {
    const s = fitScale();
    state.fitted = true;
    setView(s, (viewCanvas.width - WIDTH * s) / 2, (viewCanvas.height - HEIGHT * s) / 2);
  }

  // Zooms to `scale` keeping the layer pixel under (px, py) in place.
  function zoomAt(scale, px, py) {
    const lx = (px - state.x) / state.scale;
    const ly = (py - state.y) / state.scale;
    const s = clampScale(scale);
    state.fitted = false;
    setView(s, px - lx * s, py - ly * s);
  }

  // One screen pixel for each layer pixel, about the centre of the view.
  function oneToOne() {
    const cx = viewCanvas.width / 2;
    const cy = viewCanvas.height / 2;
    zoomAt(1, cx, cy);
  }

  // Centres a box of layer pixels [x0, y0, x1, y1] at a zoom that shows it well.
  function showBox(box) {
    const [x0, y0, x1, y1] = box;
    const s = Math.min(16, Math.max(1, Math.min(viewCanvas.width / (x1 - x0 + 1), viewCanvas.height / (y1 - y0 + 1)) / 3));
    state.fitted = false;
    setView(s, viewCanvas.width / 2 - ((x0 + x1 + 1) / 2) * s, viewCanvas.height / 2 - ((y0 + y1 + 1) / 2) * s);
  }

  function resizeView() {
    const r = view.getBoundingClientRect();
    const ratio = window.devicePixelRatio || 1;
    viewCanvas.width = Math.max(1, Math.round(r.width * ratio));
    viewCanvas.height = Math.max(1, Math.round(r.height * ratio));
    viewCanvas.style.width = viewCanvas.width / ratio + 'px';
    viewCanvas.style.height = viewCanvas.height / ratio + 'px';
    if (state.fitted) fit();
    else drawView();
  }

  function layerFigures(layer) {
    const h = page.layerHeightMm;
    const info = report.layers[layer];
    $('layer-height').textContent = Number.isFinite(h) ? ((layer + 1) * h).toFixed(3) : '-';
    $('layer-area').textContent = info && info.areaMm2 != null ? info.areaMm2.toFixed(2) : '-';
  }

  function markCurrent(layer) {
    $('layer-number').value = layer;
    $('slider').value = state.index;
    layerFigures(layer);
    for (const a of document.querySelectorAll('a.current')) a.classList.remove('current');
    for (const a of document.querySelectorAll('a[data-layer="' + layer + '"]')) a.classList.add('current');
    plotMarker(layer);
    const hash = '#layer=' + layer;
    if (location.hash !== hash) {
      try {
        history.replaceState(null, '', hash);
      } catch (e) {
        // Some browsers refuse to change a file: address; the layer is shown all the same.
      }
    }
  }

  // Shows the held layer at `index`; a later call wins over one still decoding.
  async function showIndex(index) {
    if (heldCount === 0) return;
    index = Math.max(0, Math.min(heldCount - 1, index));
    const request = ++state.request;
    const layer = layerAt(index);
    state.index = index;
    state.layer = layer;
    markCurrent(layer);
    let grey;
    try {
      grey = await layerPixels(index);
    } catch (e) {
      $('view-message').textContent = `layer ${layer} cannot be decoded: ${e.message}`;
      $('view-message').hidden = false;
      return;
    }
    if (request !== state.request) return;
    state.grey = grey;
    paintLayer();
    view.dataset.layer = layer;
    if (window.sliceViewer.firstLayerMs === undefined) window.sliceViewer.firstLayerMs = performance.now();
    view.dispatchEvent(new CustomEvent('layershown', { detail: layer }));
  }

  const showLayer = (layer) => showIndex(nearestIndex(layer));
  const step = (by) => showIndex(state.index + by);

  // ---- Pointer, wheel and keys ----

  function devicePoint(event) {
    const r = viewCanvas.getBoundingClientRect();
    const ratio = viewCanvas.width / r.width;
    return [(event.clientX - r.left) * ratio, (event.clientY - r.top) * ratio];
  }

  function describePointer(event) {
    const [px, py] = devicePoint(event);
    const x = Math.floor((px - state.x) / state.scale);
    const y = Math.floor((py - state.y) / state.scale);
    if (!state.grey || x < 0 || y < 0 || x >= WIDTH || y >= HEIGHT) {
      $('pointer').textContent = '';
      return;
    }
    const [mw, mh] = page.pixelMm;
    const grey = state.grey[y * WIDTH + x] & 255;
    $('pointer').textContent = `x ${x}, y ${y} px (${(x * mw).toFixed(2)}, ${(y * mh).toFixed(2)} mm), grey ${grey}`;
  }

  function listenToPointer() {
    let drag = null;
    view.addEventListener('pointerdown', (event) => {
      if (event.button !== 0) return;
      drag = { id: event.pointerId, x: event.clientX, y: event.clientY };
      view.setPointerCapture(event.pointerId);
      view.classList.add('dragging');
      view.focus({ preventScroll: true });
    });
    view.addEventListener('pointermove', (event) => {
      describePointer(event);
      if (!drag || drag.id !== event.pointerId) return;
      const ratio = viewCanvas.width / viewCanvas.getBoundingClientRect().width;
      state.fitted = false;
      setView(state.scale, state.x + (event.clientX - drag.x) * ratio, state.y + (event.clientY - drag.y) * ratio);
      drag.x = event.clientX;
      drag.y = event.clientY;
    });
    const endDrag = () => {
      drag = null;
      view.classList.remove('dragging');
    };
    view.addEventListener('pointerup', endDrag);
    view.addEventListener('pointercancel', endDrag);
    view.addEventListener('wheel', (event) => {
      event.preventDefault();
      const [px, py] = devicePoint(event);
      const lines = event.deltaMode === 1 ? 33 : event.deltaMode === 2 ? 400 : 1;
      zoomAt(state.scale * Math.exp(-event.deltaY * lines * 0.002), px, py);
    }, { passive: false });
    view.addEventListener('dblclick', (event) => {
      const [px, py] = devicePoint(event);
      zoomAt(state.scale * 2, px, py);
    });
  }

  const KEY_STEPS = { ArrowRight: 1, ArrowUp: 1, ArrowLeft: -1, ArrowDown: -1, PageUp: 10, PageDown: -10 };

  function onKey(event) {
    if (event.altKey || event.ctrlKey || event.metaKey) return;
    const target = event.target;
    const typing = target instanceof HTMLInputElement && target.type !== 'range' && target.type !== 'checkbox';
    // In the layer number's field, Up and Down step too; the other keys edit it.
    if (typing && !(event.key in { PageUp: 1, PageDown: 1, ArrowUp: 1, ArrowDown: 1 })) return;
    if (event.key in KEY_STEPS) step(KEY_STEPS[event.key]);
    else if (event.key === 'Home') showIndex(0);
    else if (event.key === 'End') showIndex(heldCount - 1);
    else if (event.key === '0') fit();
    else if (event.key === '1') oneToOne();
    else if (event.key === '+' || event.key === '=') zoomAt(state.scale * 2, viewCanvas.width / 2, viewCanvas.height / 2);
    else if (event.key === '-') zoomAt(state.scale / 2, viewCanvas.width / 2, viewCanvas.height / 2);
    else return;
    event.preventDefault();
  }

  // #layer=N, optionally with &box=x0,y0,x1,y1 to zoom on a place; null for
  // another fragment.
  function followHash() {
    const match = /^#layer=(\d+)(?:&box=(\d+),(\d+),(\d+),(\d+))?$/.exec(location.hash);
    if (!match) return null;
    if (match[2] !== undefined) showBox(match.slice(2, 6).map(Number));
    const layer = Number(match[1]);
    return layer !== state.layer ? showLayer(layer) : Promise.resolve();
  }

  function listenToControls() {
    const slider = $('slider');
    slider.max = Math.max(0, heldCount - 1);
    slider.addEventListener('input', () => showIndex(Number(slider.value)));
    const number = $('layer-number');
    number.max = Math.max(0, page.layerCount - 1);
    number.addEventListener('change', () => {
      if (number.value !== '') showLayer(Number(number.value));
    });
    $('previous').addEventListener('click', () => step(-1));
    $('next').addEventListener('click', () => step(1));
    $('zoom-fit').addEventListener('click', fit);
    $('zoom-one').addEventListener('click', oneToOne);
    document.addEventListener('keydown', onKey);
    window.addEventListener('hashchange', followHash);
    window.addEventListener('resize', () => {
      resizeView();
      drawPlot();
    });
    listenToPointer();
  }

  // ---- The report ----

  function element(tag, text, className) {
    const e = document.createElement(tag);
    if (text !== undefined) e.textContent = text;
    if (className) e.className = className;
    return e;
  }

  function layerLink(layer, box, text) {
    const a = element('a', text || String(layer));
    a.href = '#layer=' + layer + (box ? '&box=' + box.join(',') : '');
    a.dataset.layer = layer;
    a.title = 'show layer ' + layer;
    return a;
  }

  function layerLinks(layers, unlisted) {
    const div = element('div', undefined, 'layers');
    layers.slice(0, LINKS_SHOWN).forEach((layer) => div.append(layerLink(layer), ' '));
    const more = layers.length - LINKS_SHOWN + (unlisted || 0);
    if (more > 0) {
      const rest = element('button', `${more} more`);
      rest.type = 'button';
      rest.addEventListener('click', () => {
        rest.remove();
        layers.slice(LINKS_SHOWN).forEach((layer) => div.append(layerLink(layer), ' '));
        if (unlisted) div.append(element('span', `and ${unlisted} not listed`, 'muted'));
      });
      div.append(rest);
    }
    return div;
  }

  function showVerdict() {
    const verdict = $('verdict');
    const failed = report.checks.filter((c) => !c.passed).length;
    if (failed > 0) {
      verdict.textContent = `problems found (${failed} of ${report.checks.length} checks failed)`;
      verdict.classList.add('problems');
    } else if (report.warnings.length > 0) {
      verdict.textContent = 'sound, with warnings';
      verdict.classList.add('warnings');
    } else {
      verdict.textContent = 'sound';
      verdict.classList.add('sound');
    }
    $('file-name').textContent = report.file;
    $('file-format').textContent = report.format;
  }

  function showWarnings() {
    const box = $('warnings');
    if (report.warnings.length === 0) box.append(element('p', 'none', 'muted'));
    report.warnings.forEach((w, i) => {
      const div = element('div', undefined, 'warning');
      div.append(element('div', w.text, 'text'));
      for (const line of page.warningDetails[i] || []) div.append(element('div', line, 'detail'));
      if (w.layers.length > 0) div.append(layerLinks(w.layers, w.layersNotListed));
      box.append(div);
    });
  }

  function mm(pixels, axis) {
    return (pixels * page.pixelMm[axis]).toFixed(2);
  }

  function boxPlace(box) {
    return `at x ${mm((box[0] + box[2] + 1) / 2, 0)}, y ${mm((box[1] + box[3] + 1) / 2, 1)} mm`;
  }

  // How many problems there are (the report lists the first 100,000), and the
  // largest few of those listed, each linked to its (first) layer and place.
  function problemList(title, items, count, size, describe) {
    const box = $('problems');
    const all = count !== undefined ? count : items.length;
    box.append(element('h3', `${title}: ${all || 'none'}`));
    if (items.length === 0) return;
    const list = element('ol', undefined, 'problem-list');
    for (const item of [...items].sort((a, b) => size(b) - size(a)).slice(0, LARGEST_SHOWN)) {
      const li = element('li');
      const first = item.layer !== undefined ? item.layer : item.firstLayer;
      li.append(layerLink(first, item.box, `layer ${first}`), ': ', describe(item));
      list.append(li);
    }
    box.append(list);
  }

  function showProblems() {
    const layerRange = (p) => (p.lastLayer > p.firstLayer ? `layers ${p.firstLayer}-${p.lastLayer}, ` : '');
    problemList('Islands', report.islands || [], report.islandCount, (i) => i.pixels,
      (i) => `${i.areaMm2.toFixed(3)} mm² (${i.pixels} pixels) ${boxPlace(i.box)}`);
    if (report.traps) {
      problemList('Traps', report.traps, report.trapCount, (t) => t.pixels,
        (t) => `${layerRange(t)}${(t.volumeMl * 1000).toFixed(2)} mm³ ${boxPlace(t.box)}`);
    }
    if (report.cups) {
      problemList('Suction cups', report.cups, report.cupCount, (c) => c.maxFacePixels,
        (c) => `${layerRange(c)}face up to ${c.maxFaceMm2.toFixed(2)} mm² ${boxPlace(c.box)}`);
    }
  }

  function showChecks() {
    const list = $('checks');
    for (const c of report.checks) {
      const li = element('li', c.check, c.passed ? '' : 'failed');
      for (const p of c.problems) li.append(element('div', p, 'problem'));
      list.append(li);
    }
  }

  function fillFields(table, rows) {
    for (const [label, text] of rows) {
      const tr = element('tr');
      tr.append(element('th', label), element('td', text));
      table.append(tr);
    }
  }

  function bytesText(bytes) {
    const units = [[2 ** 30, 'GiB'], [2 ** 20, 'MiB'], [2 ** 10, 'KiB']];
    for (const [size, unit] of units) if (bytes >= size) return `${(bytes / size).toFixed(bytes >= 10 * size ? 0 : 1)} ${unit}`;
    return `${bytes} bytes`;
  }

  function showSubsetNote() {
    if (!shown) return;
    const fileBytes = report.layers.reduce((sum, l) => sum + l.encodedBytes, 0);
    const note = $('subset-note');
    note.textContent = `The layers of this print take ${bytesText(fileBytes)} in the file, more than `
      + `the page holds (${bytesText(page.maxFileBytes)}): it shows ${shown.length} of its `
      + `${page.layerCount} layers, every layer a warning names and evenly spaced ones. The arrow keys and the `
      + 'slider step between them; sliceinfo --png with --layers draws any layer.';
    note.hidden = false;
  }

  function showOverlaySwitches() {
    const box = $('overlay-switches');
    for (const o of overlays) {
      const label = element('label', undefined, 'switch');
      const input = element('input');
      input.type = 'checkbox';
      input.checked = o.on;
      input.id = 'overlay-' + o.kind;
      input.addEventListener('change', () => {
        o.on = input.checked;
        paintLayer();
      });
      const swatch = element('span', undefined, 'swatch');
      const c = o.colours[200];
      swatch.style.background = `rgb(${c & 255},${(c >> 8) & 255},${(c >> 16) & 255})`;
      label.append(input, swatch, `${o.label}${o.cut ? ' (cut short)' : ''}`);
      box.append(label);
    }
  }

  // ---- The plot: lit area against height, as plot.png draws it ----

  const SVG = 'http://www.w3.org/2000/svg';
  const plot = { svg: null, marker: null, frame: null };

  function svg(tag, attributes, parent) {
    const e = document.createElementNS(SVG, tag);
    for (const [k, v] of Object.entries(attributes)) e.setAttribute(k, v);
    if (parent) parent.append(e);
    return e;
  }

  function niceStep(range, ticks) {
    const raw = range / ticks;
    const power = 10 ** Math.floor(Math.log10(raw));
    for (const m of [1, 2, 5]) if (m * power >= raw) return m * power;
    return 10 * power;
  }

  function plotFrame(width, height) {
    const h = page.layerHeightMm;
    const printHeight = page.layerCount * h;
    const build = page.buildHeightMm;
    const xMax = (build > 2 * printHeight ? printHeight : Math.max(printHeight, build || 0)) * 1.08;
    const maxArea = report.layers.reduce((m, l) => Math.max(m, l.areaMm2 || 0), 0);
    const left = 58;
    const right = 12;
    const top = 22;
    const bottom = 30;
    const f = {
      left, top, right: width - right, bottom: height - bottom, xMax: xMax > 0 ? xMax : 1,
      yMax: maxArea > 0 ? maxArea * 1.08 : 1, usable: Number.isFinite(xMax) && xMax > 0 && h > 0,
    };
    f.x = (v) => f.left + (v / f.xMax) * (f.right - f.left);
    f.y = (v) => f.bottom - (v / f.yMax) * (f.bottom - f.top);
    return f;
  }

  function drawAxes(g, f) {
    const xStep = niceStep(f.xMax, 8);
    const yStep = niceStep(f.yMax, 4);
    const decimals = (s) => (s >= 1 ? 0 : Math.min(6, Math.ceil(-Math.log10(s))));
    for (let v = 0; v <= f.xMax; v += xStep) {
      svg('line', { x1: f.x(v), x2: f.x(v), y1: f.top, y2: f.bottom, stroke: PLOT.grid }, g);
      svg('text', { x: f.x(v), y: f.bottom + 14, 'text-anchor': 'middle' }, g).textContent = v.toFixed(decimals(xStep));
    }
    for (let v = 0; v <= f.yMax; v += yStep) {
      svg('line', { x1: f.left, x2: f.right, y1: f.y(v), y2: f.y(v), stroke: PLOT.grid }, g);
      svg('text', { x: f.left - 5, y: f.y(v) + 4, 'text-anchor': 'end' }, g).textContent = v.toFixed(decimals(yStep));
    }
    svg('path', { d: `M${f.left},${f.top}V${f.bottom}H${f.right}`, stroke: PLOT.axis, fill: 'none' }, g);
    svg('text', { x: f.right, y: f.bottom + 27, 'text-anchor': 'end' }, g).textContent = 'height (mm)';
    svg('text', { x: 4, y: 12 }, g).textContent = 'lit area (mm²)';
  }

  // Per screen column, the largest area of the layers drawn there.
  function drawAreas(g, f) {
    const columns = Math.max(1, Math.ceil(f.right - f.left));
    const tallest = new Float64Array(columns).fill(-1);
    const h = page.layerHeightMm;
    report.layers.forEach((l, j) => {
      const a = Math.floor(f.x(j * h) - f.left);
      const b = Math.max(a, Math.ceil(f.x((j + 1) * h) - f.left) - 1);
      for (let c = Math.max(0, a); c <= Math.min(columns - 1, b); c++) tallest[c] = Math.max(tallest[c], l.areaMm2 || 0);
    });
    let d = '';
    tallest.forEach((area, c) => {
      if (area > 0) d += `M${f.left + c + 0.5},${f.bottom}V${f.y(area)}`;
    });
    svg('path', { d, stroke: PLOT.area, fill: 'none', 'shape-rendering': 'crispEdges' }, g);
  }

  function drawMarks(g, f) {
    const h = page.layerHeightMm;
    const bottomLayers = Math.max(0, Math.min(page.bottomLayerCount, page.layerCount));
    svg('rect', { x: f.left, y: f.top, width: Math.max(0, f.x(bottomLayers * h) - f.left), height: f.bottom - f.top, fill: PLOT.bottom }, g);
    const warned = new Set();
    for (const w of report.warnings) for (const j of w.layers) warned.add(j);
    for (const j of warned) {
      svg('rect', { x: f.x(j * h), y: f.top, width: Math.max(1, f.x((j + 1) * h) - f.x(j * h)), height: f.bottom - f.top, fill: PLOT.warning }, g);
    }
    const build = page.buildHeightMm;
    if (build > 0 && build <= f.xMax) {
      svg('line', { x1: f.x(build), x2: f.x(build), y1: f.top, y2: f.bottom, stroke: PLOT.build, 'stroke-width': 2, 'stroke-dasharray': '6 4' }, g);
      svg('text', { x: f.x(build) - 4, y: f.top + 12, 'text-anchor': 'end', fill: PLOT.build }, g).textContent = `build height ${build} mm`;
    } else if (build > 0) {
      svg('text', { x: f.right, y: f.top + 12, 'text-anchor': 'end', fill: PLOT.build }, g).textContent = `build height ${build} mm →`;
    }
  }

  function drawPlot() {
    const box = $('plot');
    box.textContent = '';
    const width = Math.max(200, box.clientWidth);
    const height = Math.max(100, box.clientHeight);
    const root = svg('svg', { width, height, viewBox: `0 0 ${width} ${height}`, 'font-size': 11 }, box);
    const f = plotFrame(width, height);
    plot.svg = root;
    plot.frame = f;
    if (!f.usable) {
      svg('text', { x: 10, y: height / 2 }, root).textContent = 'no height to plot: the layer height or the layer count is not usable';
      return;
    }
    const g = svg('g', {}, root);
    drawMarks(g, f);
    drawAxes(g, f);
    drawAreas(g, f);
    plot.marker = svg('line', { y1: f.top - 4, y2: f.bottom, stroke: PLOT.current, 'stroke-width': 1.5 }, root);
    plotMarker(state.layer);
    const tip = element('div', '', 'tip');
    tip.hidden = true;
    box.append(tip);
    const layerUnder = (event) => {
      const r = root.getBoundingClientRect();
      const mmAt = ((event.clientX - r.left - f.left) / (f.right - f.left)) * f.xMax;
      return Math.max(0, Math.min(page.layerCount - 1, Math.floor(mmAt / page.layerHeightMm)));
    };
    root.addEventListener('click', (event) => showLayer(layerUnder(event)));
    root.addEventListener('mousemove', (event) => {
      const j = layerUnder(event);
      const l = report.layers[j];
      tip.textContent = `layer ${j}, ${((j + 1) * page.layerHeightMm).toFixed(2)} mm` + (l ? `, ${(l.areaMm2 || 0).toFixed(1)} mm²` : '');
      tip.style.left = Math.min(width - 160, event.clientX - root.getBoundingClientRect().left + 10) + 'px';
      tip.style.top = '0px';
      tip.hidden = false;
    });
    root.addEventListener('mouseleave', () => {
      tip.hidden = true;
    });
  }

  // Where on the screen the plot shows the middle of a layer, for a click.
  function plotPoint(layer) {
    const r = plot.svg.getBoundingClientRect();
    const f = plot.frame;
    return { x: r.left + f.x((layer + 0.5) * page.layerHeightMm), y: r.top + (f.top + f.bottom) / 2 };
  }

  function plotMarker(layer) {
    if (!plot.marker || layer < 0) return;
    const x = plot.frame.x((layer + 0.5) * page.layerHeightMm);
    plot.marker.setAttribute('x1', x);
    plot.marker.setAttribute('x2', x);
  }

  // ---- Start ----

  window.sliceViewer = {
    state, overlays, showLayer, showIndex, setView, fit, oneToOne, plotPoint,
    layerCanvas, heldCount, ready: null, firstLayerMs: undefined,
  };

  async function start() {
    showVerdict();
    showSubsetNote();
    showWarnings();
    showProblems();
    showChecks();
    fillFields($('summary'), page.fields);
    fillFields($('parameters'), page.parameters);
    $('layer-count').textContent = `of ${page.layerCount - 1}`;
    listenToControls();
    resizeView();
    drawPlot();
    if (heldCount === 0) {
      $('toolbar').hidden = true;
      $('toolbar2').hidden = true;
      $('view-message').textContent = 'no layer to show';
      $('view-message').hidden = false;
      return;
    }
    const decoded = Promise.all(overlays.map(decodeOverlay));
    showOverlaySwitches();
    await (followHash() || showIndex(0));
    await decoded;
    paintLayer();
  }

  window.sliceViewer.ready = start();
})();
