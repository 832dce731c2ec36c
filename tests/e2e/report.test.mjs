// Browser tests of report pages on /demo/designer.asp: a real Chromium
// opens stored reports from the catalogue, answers a password (wrong, then
// right), fills a required parameter, sorts, exports to CSV and filters a
// report through the popup filter window (a value with a quote too). With FENNICK_SCREENSHOT_DIR set,
// it also saves each report page there.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { UseDemoSite, Post } from './demo_site.mjs';

const site = UseDemoSite({ viewport: { width: 1100, height: 900 }, acceptDownloads: true });
const Open = site.Open;
const shots = process.env.FENNICK_SCREENSHOT_DIR;

async function Shot(page, name) {
  if (shots) await page.screenshot({ path: join(shots, name), fullPage: true });
}

// The cells of the report's rows, without the row number.
async function Rows(page) {
  return page.$$eval('table.grid tr.item, table.grid tr.alt_item', (rows) =>
    rows.map((row) => Array.from(row.cells).slice(1).map((cell) => cell.innerText.trim())));
}

async function Records(page) {
  const text = await page.locator('body').innerText();
  return Number(text.match(/Page \d+ of \d+ \((\d+) recs\)/)[1]);
}

function Money(text) {
  return Number(text.replace(/[$,]/g, ''));
}

test('a report with a password opens once the password is right', async () => {
  const page = await Open('/demo/designer.asp');
  await Post(page, () => page.click('a:text-is("Salaries")'));
  assert.match(await page.locator('body').innerText(), /This report requires a password/);
  assert.equal((await Rows(page)).length, 0);

  await page.fill('input[name=pwd]', 'DEMO');
  await Post(page, () => page.click('input[type=submit]'));
  assert.match(await page.locator('body').innerText(), /Your password was not correct/);
  await Post(page, () => page.click('a:text-is("Try Again")'));
  assert.equal(new URL(page.url()).pathname, '/demo/designer.asp');

  await page.fill('input[name=pwd]', 'demo');
  await Post(page, () => page.click('input[type=submit]'));
  const rows = await Rows(page);
  assert.ok(rows.length > 0, 'the report shows its rows');
  assert.match(await page.locator('table.grid').innerText(), /Salary/);
  await Shot(page, 'report-password.png');
  await page.close();
});

test('a parameter, a sort and a CSV export of a report', async () => {
  const page = await Open('/demo/designer.asp');
  await Post(page, () => page.click('a:text-is("Orders shipped to a country")'));
  assert.match(await page.locator('body').innerText(), /Ship country/);
  await page.fill('input[name=n_Country]', 'France');
  await Post(page, () => page.click('input[type=submit]'));
  let rows = await Rows(page);
  assert.ok(rows.length > 0);
  for (const row of rows) assert.equal(row[3], 'France', row.join(' | '));
  const records = await Records(page);

  await Post(page, () => page.click('table.grid a:text-is("Freight")'));
  rows = await Rows(page);
  const freight = rows.map((row) => Money(row[4]));
  assert.deepEqual(freight, [...freight].sort((a, b) => a - b), freight.join(','));
  for (const row of rows) assert.equal(row[3], 'France');
  await Shot(page, 'report-parameter.png');

  // The grid's postback (written after the designer's) posts the export
  // into __FARGS, and the sealed __ARGS travels unchanged.
  const args = await page.inputValue('input[name=__ARGS]');
  const [download, post] = await Promise.all([
    page.waitForEvent('download'),
    page.waitForRequest((request) => request.method() === 'POST'),
    page.click('a:text-is("CSV")'),
  ]);
  const posted = new URLSearchParams(post.postData());
  assert.ok(posted.get('__FARGS').startsWith('NGZtd'), posted.get('__FARGS'));
  assert.equal(posted.get('__ARGS'), args);
  const lines = readFileSync(await download.path(), 'utf8').split('\r\n').filter((l) => l);
  assert.equal(lines.length, records + 1, lines.slice(0, 3).join('\n'));
  assert.match(lines[0], /ShipCountry/);
  for (const line of lines.slice(1)) assert.match(line, /"France"/);
  await page.close();
});

// Filters the report on `page` through its popup filter window: `field`
// contains `value`.
async function PopupFilter(page, field, value) {
  const [popup] = await Promise.all([
    page.waitForEvent('popup'),
    page.click('a:text-is("Search")'),
  ]);
  await popup.waitForLoadState('load');
  assert.ok(await popup.locator('select[name=search_field]').count() > 0,
            'the popup window is not blank');
  await popup.selectOption('select[name=search_field]', { label: field });
  await popup.selectOption('select[name=search_condition]', { label: 'contains' });
  await popup.fill('input[name=search_text]', value);
  await popup.click('input[type=button][value="Add Filter"]');
  await Promise.all([
    page.waitForNavigation({ waitUntil: 'load' }),
    popup.click('input[type=button][value=Finish]'),
  ]);
}

test('a popup filter on a report page', async () => {
  const page = await Open('/demo/designer.asp');
  await Post(page, () => page.click('a:text-is("Product list")'));
  const all = await Records(page);
  await PopupFilter(page, 'Product', 'Tea');
  const rows = await Rows(page);
  assert.ok(rows.length > 0);
  for (const row of rows) assert.match(row[0], /Tea/, row.join(' | '));
  assert.ok(await Records(page) < all);
  await Shot(page, 'report-popup-filter.png');
  await page.close();
});

test('a popup filter value with a quote', async () => {
  const page = await Open('/demo/designer.asp');
  await Post(page, () => page.click('a:text-is("Products per supplier")'));
  await PopupFilter(page, 'Supplier', "Queen's");
  assert.doesNotMatch(await page.locator('body').innerText(), /Your filter is invalid/);
  const rows = await Rows(page);
  assert.equal(rows.length, 1, JSON.stringify(rows));
  assert.equal(rows[0][0], "Queen's Larder");
  await page.close();
});

test('the summary, master-details and graph reports and a table view open', async () => {
  const page = await Open('/demo/designer.asp');
  await Post(page, () => page.click('a:text-is("Freight by country")'));
  let header = await page.locator('table.grid tr').first().innerText();
  assert.match(header, /Count/);
  assert.match(header, /Freight\s*\(Sum\)/);
  await Shot(page, 'report-summary.png');

  await page.goto(site.base + '/demo/designer.asp');
  await Post(page, () => page.click('a:text-is("Orders per customer")'));
  assert.ok(await page.locator('a:text-is("Show all Details")').count() > 0);
  await Shot(page, 'report-master-details.png');

  await page.goto(site.base + '/demo/designer.asp');
  await Post(page, () => page.click('a:text-is("Products per supplier")'));
  assert.match(await page.locator('body').innerText(), /Products and prices by supplier/);
  await Shot(page, 'report-graph.png');

  await page.goto(site.base + '/demo/designer.asp');
  await Post(page, () => page.click('a.link_button:text-is("Customers")'));
  assert.equal(await page.locator('td.report_title').innerText(), 'Customers Report');
  assert.ok((await Rows(page)).length > 0);
  await Shot(page, 'report-table.png');
  await page.close();
});
