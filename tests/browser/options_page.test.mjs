// What a visitor does on the options page, in Debian's Chromium: the page is
// fetched through lighttpd from a generated site (ENPANEL_URL), the form post
// is intercepted. ENPANEL_SETTING tells how the program was built: ON for
// today's browsers (the keyboard opens), OFF for the legacy page.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import crypto from 'node:crypto';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { chromium } from 'playwright-core';

const url = process.env.ENPANEL_URL;
const todays = process.env.ENPANEL_SETTING === 'ON';
const artifacts = process.env.ENPANEL_ARTIFACTS || os.tmpdir();
const shot = process.env.ENPANEL_SHOT || 'options-page.png';
const docs = process.env.ENPANEL_DOCS;  // where the README's picture lives
let context, page, pageBytes;
const scriptErrors = [];

before(async () => {
  assert.ok(url, 'ENPANEL_URL names the page');
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'enpanel-chromium-'));
  context = await chromium.launchPersistentContext(profile, {
    executablePath: '/usr/bin/chromium',
    headless: true,
    viewport: { width: 1100, height: 760 },
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking',
           '--disable-component-update', '--disable-sync', '--no-first-run', '--disable-quic'],
  });
  page = await context.newPage();
  page.on('pageerror', (error) => scriptErrors.push(error.message));
  const response = await page.goto(url, { waitUntil: 'load' });
  pageBytes = await response.body();
  if (!todays) await page.screenshot({ path: path.join(artifacts, shot) });
});

after(async () => {
  if (context) await context.close();
});

const counter = () => page.inputValue('input[name=text1]');
const checked = (name) => page.isChecked(`input[name="${name}"]`);

// The keyboard's keys by name, from the table the page is built from:
// rectangle, Windows-1256 byte, code point, name.
const keys = new Map(
  fs.readFileSync(new URL('../../src/page/keyboard_keys.txt', import.meta.url), 'latin1')
    .split('\n').filter((line) => /^[0-9]/.test(line)).map((line) => {
      const [box, , codePoint, ...name] = line.trim().split(' ');
      return [name.join(' '), { box: box.split(',').map(Number), codePoint }];
    }));

// Clicks the keyboard picture in the middle of the named key's map
// rectangle; the key's letter.
async function clickKey(name) {
  const key = keys.get(name);
  assert.ok(key, `a key named ${name}`);
  const [left, top, right, bottom] = key.box;
  await page.click('img[usemap="#Key"]', {
    position: { x: (left + right) / 2, y: (top + bottom) / 2 },
  });
  return String.fromCodePoint(parseInt(key.codePoint, 16));
}

test('the page loads and its script runs without errors', async () => {
  assert.deepEqual(scriptErrors, []);
  assert.match(await page.innerText('#c'), /Books Selected:/);
});

test('the counter starts at the pre-ticked book 216 and follows the boxes', async () => {
  assert.equal(await counter(), '1');
  assert.equal(await checked('B216'), true);
  await page.click('input[name=B1]');
  assert.equal(await checked('B1'), true);
  assert.equal(await counter(), '2');
  // Clicking the book's name ticks its box too.
  await page.locator('input[name=B3] + span').click();
  assert.equal(await checked('B3'), true);
  assert.equal(await counter(), '3');
  await page.locator('input[name=B3] + span').click();
  assert.equal(await checked('B3'), false);
  assert.equal(await counter(), '2');
  await page.click('input[name=B1]');
  assert.equal(await counter(), '1');
});

test('an area box ticks its books, colours its cell, and clears when one is unticked', async () => {
  const books = await page.$$eval('input[id=Hadeethcell]', (boxes) => boxes.map((b) => b.name));
  assert.ok(books.length > 5, `Hadeeth has books on the page (${books.length})`);
  const before = Number(await counter());
  await page.click('input[name=Hadeethck]');
  for (const name of books) assert.equal(await checked(name), true, name);
  assert.equal(Number(await counter()), before + books.length);
  const colour = await page.$eval('#Hadeeth', (cell) => getComputedStyle(cell).backgroundColor);
  assert.equal(colour, 'rgb(255, 153, 255)');
  await page.click(`input[name=${books[2]}]`);
  assert.equal(await checked(books[2]), false);
  assert.equal(await checked('Hadeethck'), false);
  assert.equal(Number(await counter()), before + books.length - 1);
});

if (todays) {
  test('built for today\'s browsers: the keyboard opens and types, the cursors point', async () => {
    const display = () => page.$eval('#Keys', (e) => getComputedStyle(e).display);
    assert.equal(await display(), 'none');
    await page.$eval('input[name=keywords]', (e) => { e.value = 'left over'; });
    await page.click('#img1');
    assert.notEqual(await display(), 'none');
    assert.equal(await page.$eval('#img1', (e) => getComputedStyle(e).display), 'none');
    assert.equal(await page.inputValue('input[name=keywords]'), '');
    // kaf, teh, alef, beh: the word for "book".
    let typed = '';
    for (const name of ['kaf', 'teh', 'alef', 'beh']) typed += await clickKey(name);
    assert.equal(typed, '\u0643\u062A\u0627\u0628');
    assert.equal(await page.inputValue('input[name=keywords]'), typed);
    assert.equal(await page.$eval('img[usemap="#Key"]', (e) => getComputedStyle(e).cursor),
                 'pointer');
    assert.equal(await page.locator('input[name=B216] + span').evaluate(
      (e) => getComputedStyle(e).cursor), 'pointer');
    assert.deepEqual(scriptErrors, []);
    await page.screenshot({ path: path.join(artifacts, shot) });
    if (docs) {
      // The README's picture belongs to the page it shows: when the page
      // changes, the picture is made anew (ENPANEL_REFRESH_DOCS=1).
      const digest = crypto.createHash('sha256').update(pageBytes).digest('hex');
      const recorded = path.join(docs, 'options-page.sha256');
      if (process.env.ENPANEL_REFRESH_DOCS === '1') {
        fs.mkdirSync(docs, { recursive: true });
        await page.screenshot({ path: path.join(docs, 'options-page.png'),
                                clip: { x: 0, y: 0, width: 1100, height: 560 } });
        fs.writeFileSync(recorded, digest + '\n');
      }
      assert.equal(fs.readFileSync(recorded, 'utf8').trim(), digest,
                   'the page changed: run ENPANEL_REFRESH_DOCS=1 scripts/test (or ctest -R browser) ' +
                   'and commit docs/options-page.png');
    }
  });

  test('the counter box starts hidden until the script has counted', async () => {
    // The page as it stands before its interval script first runs.
    const fresh = await context.newPage();
    await fresh.addInitScript(() => { window.setInterval = () => 0; });
    await fresh.goto(url, { waitUntil: 'load' });
    assert.equal(await fresh.$eval('input[name=text1]', (e) => getComputedStyle(e).visibility),
                 'hidden');
    await fresh.close();
    assert.equal(await page.$eval('input[name=text1]', (e) => getComputedStyle(e).visibility),
                 'visible');
  });
} else {
  test('the legacy page: the keyboard opener is not run by today\'s browsers', async () => {
    await page.click('#img1');
    assert.equal(await page.$eval('#Keys', (e) => getComputedStyle(e).display), 'none');
    assert.deepEqual(scriptErrors, []);
  });
}

test('the search posts the phrases in Windows-1256, the options and the ticked books', async () => {
  let posted = null;
  await page.route('**/qrygate.exe/form', async (route) => {
    posted = { method: route.request().method(), body: route.request().postData() };
    await route.fulfill({ status: 200, contentType: 'text/html', body: '<html>results</html>' });
  });
  const ticked = await page.$$eval('input[type=checkbox][name^=B]', (boxes) =>
    boxes.filter((b) => b.checked).map((b) => b.name));
  await page.fill('input[name=txtsearch1]', '\u0643\u062A\u0627\u0628');  // "book"
  await page.click('input[name=S1]');
  await page.waitForLoadState('load');
  assert.ok(posted, 'the form was posted to qrygate.exe/form');
  assert.equal(posted.method, 'POST');
  assert.match(posted.body, /(^|&)txtsearch1=%DF%CA%C7%C8(&|$)/);
  const fields = new URLSearchParams(posted.body);
  assert.equal(fields.get('txtsearch2'), 'modern');
  assert.equal(fields.get('txtsearch3'), 'scientific');
  assert.equal(fields.get('txtsearch4'), 'data');
  assert.equal(fields.get('txtsearch5'), '');
  assert.equal(fields.get('FINDALL'), 'FINDALL');
  assert.equal(fields.get('FntSize'), 'FMEDIUM');
  assert.equal(fields.get('MenuLanguage'), 'EN');
  const books = [...fields.keys()].filter((k) => /^B\d+$/.test(k));
  assert.deepEqual(books.sort(), ticked.sort());
  for (const b of books) assert.equal(fields.get(b), 'ON');
  await page.goBack();
  assert.deepEqual(scriptErrors, []);
});
