// The preview page in headless Chromium: bxa-view writes a work directory (the examples plus one model
// with faces outside its vertex table) into a fresh folder, the page is opened from its file:// URL, and
// every model is picked from the list in turn. For each: no console error, the counts beside the model are
// the model's, and the model covers a plausible share of the canvas; the broken model shows its faces in
// the warning colour.
//   node page_test.mjs BXA_VIEW NODE_MODULES SOURCE_DIR
import { execFileSync } from 'node:child_process';
import { cpSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';

const [bxaView, nodeModules, sourceDir] = process.argv.slice(2).map((a) => resolve(a));
const require = createRequire(join(nodeModules, 'page_test.cjs'));
const { chromium } = require('playwright-core');
const { PNG } = require('pngjs');

const BACKGROUND = [0x1d, 0x21, 0x27];
const failures = [];
function check(condition, what) {
  if (!condition) failures.push(what);
  console.log(`${condition ? 'ok  ' : 'FAIL'} ${what}`);
}

// PANEL.R7D with its second face pointing at vertex 9 of 4, and one more face at vertex -1.
function brokenModel() {
  const text = readFileSync(join(sourceDir, 'examples', 'work', 'PANEL.R7D'), 'latin1');
  return text.replace('NumFaces:      2', 'NumFaces:      3')
    .replace('Face[   1]:  0   2   3 255', 'Face[   1]:  0   2   9 255\r\nFace[   2]:  1  -1   2 255');
}

const HOSTILE = 'javascript:alert(1);X.R7D';
const expected = {
  'BOAT.R7P': { vertices: 3, faces: 1, entities: 1, brokenFaces: 0 },
  'BROKEN.R7D': { vertices: 4, faces: 3, entities: 1, brokenFaces: 2 },
  'BUSH.R7T': { vertices: 3, faces: 1, entities: 1, brokenFaces: 0 },
  'PANEL.R7D': { vertices: 4, faces: 2, entities: 1, brokenFaces: 0 },
  // A name that is also a script URL: its OBJ link must stay a file beside the page.
  [HOSTILE]: { vertices: 4, faces: 2, entities: 1, brokenFaces: 0 },
};

function isBackground(png, i) {
  return Math.abs(png.data[i] - BACKGROUND[0]) < 6 && Math.abs(png.data[i + 1] - BACKGROUND[1]) < 6
    && Math.abs(png.data[i + 2] - BACKGROUND[2]) < 6;
}

function pixelShares(buffer) {
  const png = PNG.sync.read(buffer);
  let covered = 0;
  let warning = 0;
  for (let i = 0; i < png.data.length; i += 4) {
    if (!isBackground(png, i)) covered++;
    if (png.data[i] > 200 && png.data[i + 1] < 110 && png.data[i + 2] < 110) warning++;
  }
  const pixels = png.width * png.height;
  return { covered: covered / pixels, warning: warning / pixels };
}

const scratch = mkdtempSync(join(tmpdir(), 'bxa-view-page-'));
let browser;
try {
  const work = join(scratch, 'work');
  const out = join(scratch, 'out');
  cpSync(join(sourceDir, 'examples', 'work'), work, { recursive: true });
  writeFileSync(join(work, 'BROKEN.R7D'), brokenModel(), 'latin1');
  cpSync(join(work, 'PANEL.R7D'), join(work, HOSTILE));
  execFileSync(bxaView, [work, out], { stdio: ['ignore', 'inherit', 'inherit'] });

  browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    chromiumSandbox: false,
    args: ['--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
           '--disable-component-update', '--disable-sync', '--use-angle=swiftshader',
           '--enable-unsafe-swiftshader'],
  });
  const page = await browser.newPage({ viewport: { width: 1200, height: 800 } });
  const errors = [];
  page.on('console', (message) => { if (message.type() === 'error') errors.push(message.text()); });
  page.on('pageerror', (error) => errors.push(String(error)));
  // Opened from the folder alone: any request that leaves it fails the test.
  const requests = [];
  page.on('request', (request) => {
    if (!/^(file|data):/.test(request.url())) requests.push(request.url());
  });

  await page.goto(pathToFileURL(join(out, 'index.html')).href);
  await page.waitForSelector('body[data-state="ready"]');
  const names = await page.$$eval('#model-list li .name', (items) => items.map((item) => item.textContent));
  check(JSON.stringify(names) === JSON.stringify(Object.keys(expected)),
        `the list names every model: ${names.join(', ')}`);

  for (const [index, name] of names.entries()) {
    await page.click(`#model-list li[data-index="${index}"]`);
    await page.waitForSelector(`body[data-state="ready"][data-model="${index}"]`);
    // Textures arrive after the first frame; wait for them to be decoded and drawn.
    await page.evaluate(() => Promise.allSettled([...window.bxaView.state.textures.values()]));
    await page.waitForTimeout(100);
    const shown = await page.$$eval('#counts dd', (cells) => cells.map((cell) => cell.textContent));
    const want = expected[name];
    const wanted = [want.vertices, want.faces, want.entities, want.brokenFaces].map(String);
    check(JSON.stringify(shown.slice(1, 5)) === JSON.stringify(wanted),
          `${name}: counts beside the model ${shown.slice(1, 5).join('/')}`);
    const link = await page.$eval('#details a', (a) => a.href);
    const objFile = `${name.replace(/\.[^.]*$/, '')}.obj`;
    check(link.startsWith('file:') && fileURLToPath(link) === join(out, objFile),
          `${name}: the OBJ link names ${objFile} beside the page (${link})`);
    const shares = pixelShares(await page.locator('#view').screenshot());
    check(shares.covered > 0.03 && shares.covered < 0.9,
          `${name}: covers ${(shares.covered * 100).toFixed(1)}% of the canvas`);
    if (want.brokenFaces > 0) {
      check(shares.warning > 0.0005,
            `${name}: broken faces drawn in the warning colour (${(shares.warning * 100).toFixed(2)}%)`);
      const legend = await page.isVisible('#legend');
      check(legend, `${name}: the warning colour is explained`);
    } else {
      check(shares.warning < 0.0005, `${name}: nothing in the warning colour`);
    }
  }
  check(errors.length === 0, `no console errors${errors.length ? ': ' + errors.join(' | ') : ''}`);
  check(requests.length === 0,
        `no requests outside the folder${requests.length ? ': ' + requests.join(' ') : ''}`);
} catch (error) {
  failures.push(String(error && error.stack || error));
  console.log(`FAIL ${error && error.stack || error}`);
} finally {
  if (browser) await browser.close();
  rmSync(scratch, { recursive: true, force: true });
}
console.log(failures.length === 0 ? 'page test passed' : `page test: ${failures.length} failures`);
process.exit(failures.length === 0 ? 0 : 1);
