// What the browser test and the page benchmark share: the project's programs,
// Debian's Chromium started headless with no network of its own, and PNG
// files read exactly.
import { execFileSync, spawnSync } from 'node:child_process';
import { readFileSync } from 'node:fs';
import path from 'node:path';
import { inflateSync } from 'node:zlib';
import { chromium } from 'playwright-core';

export const CHROMIUM = process.env.CHROMIUM || '/usr/bin/chromium';

// Runs a program of the build (in its bin/); returns its exit status, which
// must be one of `allowed`.
export function runProgram(build, program, args, allowed = [0], options = {}) {
  const result = spawnSync(path.join(build, 'bin', program), args, { encoding: 'utf8', ...options });
  if (result.error) throw result.error;
  if (!allowed.includes(result.status)) {
    throw new Error(`${program} ${args.join(' ')} ended with ${result.status}:\n${result.stdout}${result.stderr}`);
  }
  return result.status;
}

export function fileSize(file) {
  return Number(execFileSync('stat', ['-c', '%s', file], { encoding: 'utf8' }).trim());
}

// Chromium as a user's would run, without the connections it makes on its
// own (updates, sync, field trials), which a machine without a network refuses.
export async function launchChromium() {
  return chromium.launch({
    executablePath: CHROMIUM,
    headless: true,
    args: [
      '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync', '--disable-features=Translate,OptimizationHints',
      '--force-color-profile=srgb',
    ],
  });
}

// A PNG as RGBA bytes, for the 8-bit grey, RGB, RGBA and palette pictures Qt writes.
export function readPng(file) {
  const bytes = readFileSync(file);
  let at = 8;
  let header = null;
  let palette = null;
  const data = [];
  while (at < bytes.length) {
    const length = bytes.readUInt32BE(at);
    const type = bytes.toString('latin1', at + 4, at + 8);
    const body = bytes.subarray(at + 8, at + 8 + length);
    if (type === 'IHDR') {
      header = { width: body.readUInt32BE(0), height: body.readUInt32BE(4), depth: body[8], colour: body[9], interlace: body[12] };
    } else if (type === 'PLTE') {
      palette = body;
    } else if (type === 'IDAT') {
      data.push(body);
    }
    at += 12 + length;
  }
  const channels = { 0: 1, 2: 3, 3: 1, 6: 4 }[header.colour];
  if (header.depth !== 8 || header.interlace !== 0 || !channels) throw new Error(`${file}: a PNG this reader does not take`);
  const raw = inflateSync(Buffer.concat(data));
  const { width, height } = header;
  const stride = width * channels;
  const rows = Buffer.alloc(stride * height);
  for (let y = 0; y < height; y++) unfilterRow(raw, y, stride, channels, rows);
  const rgba = new Uint8Array(width * height * 4);
  for (let i = 0; i < width * height; i++) {
    const p = i * channels;
    let rgb;
    if (header.colour === 0) rgb = [rows[p], rows[p], rows[p]];
    else if (header.colour === 3) rgb = [palette[rows[p] * 3], palette[rows[p] * 3 + 1], palette[rows[p] * 3 + 2]];
    else rgb = [rows[p], rows[p + 1], rows[p + 2]];
    rgba.set(rgb, i * 4);
    rgba[i * 4 + 3] = 255;
  }
  return { width, height, rgba };
}

function unfilterRow(raw, y, stride, bpp, out) {
  const filter = raw[y * (stride + 1)];
  const line = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
  const row = y * stride;
  for (let x = 0; x < stride; x++) {
    const a = x >= bpp ? out[row + x - bpp] : 0;
    const b = y > 0 ? out[row - stride + x] : 0;
    const c = x >= bpp && y > 0 ? out[row - stride + x - bpp] : 0;
    let predicted = 0;
    if (filter === 1) predicted = a;
    else if (filter === 2) predicted = b;
    else if (filter === 3) predicted = (a + b) >> 1;
    else if (filter === 4) {
      const p = a + b - c;
      const [pa, pb, pc] = [Math.abs(p - a), Math.abs(p - b), Math.abs(p - c)];
      predicted = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
    }
    out[row + x] = (line[x] + predicted) & 255;
  }
}
