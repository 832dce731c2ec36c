// Browser tests of the demo grid: a real Chromium drives the pages that
// `fennick serve --demo` serves and checks what the user sees (row order,
// the page counter, cell values, a picture loaded from the database).
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { mkdirSync, readFileSync } from 'node:fs';
import { join } from 'node:path';
import { root, UseDemoSite, Post } from './demo_site.mjs';

const site = UseDemoSite();
const Open = site.Open;

// The data rows of the grid as arrays of cell texts (the row number dropped).
async function Rows(page) {
  return page.$$eval('table.grid tr.gridItem, table.grid tr.gridAlt', (rows) =>
    rows.map((row) => Array.from(row.cells).slice(1).map((cell) => cell.innerText.trim())));
}

async function Counter(page) {
  const text = await page.locator('tr.gridFooter td[width="99%"]:not(.middleCell)').innerText();
  return text.match(/Page \d+ of \d+ \(\d+ recs\)/)?.[0];
}

function AssertSorted(values, descending) {
  for (let i = 1; i < values.length; ++i) {
    const order = values[i - 1].localeCompare(values[i]);
    assert.ok(descending ? order >= 0 : order <= 0,
              `${values[i - 1]} / ${values[i]} out of order`);
  }
}

test('sort by a header: ascending, descending, then removed', async () => {
  const page = await Open('/grid');
  const unsorted = (await Rows(page)).map((r) => r[0]);
  assert.deepEqual(unsorted.slice(0, 3), ['10001', '10002', '10003']);

  await Post(page, () => page.click('tr.gridHeader th a:text-is("Customer")'));
  let customers = (await Rows(page)).map((r) => r[1]);
  assert.equal(customers.length, 10);
  assert.equal(customers[0], 'Blue Heron Bistro');
  AssertSorted(customers, false);
  assert.match(await page.locator('tr.gridHeader').innerText(), /Customer\s*\+/);

  await Post(page, () => page.click('tr.gridHeader th a:text-is("Customer")'));
  customers = (await Rows(page)).map((r) => r[1]);
  assert.equal(customers[0], 'Wildflower Trading');
  AssertSorted(customers, true);

  // The icon link beside the sorted header removes the sort.
  await Post(page, () => page.click('tr.gridHeader th a:text-is("-")'));
  assert.deepEqual((await Rows(page)).map((r) => r[0]).slice(0, 3), ['10001', '10002', '10003']);
  assert.doesNotMatch(await page.locator('tr.gridHeader').innerText(), /Customer\s*[+-]/);
  await page.close();
});

test('page forward and to the last page', async () => {
  const page = await Open('/grid');
  assert.equal(await Counter(page), 'Page 1 of 250 (2500 recs)');
  await Post(page, () => page.click('a.pagingLink:text-is("»")'));
  assert.equal(await Counter(page), 'Page 2 of 250 (2500 recs)');
  assert.equal((await Rows(page))[0][0], '10011');
  await Post(page, () => page.click('a.pagingLink:text-is("Last »")'));
  assert.equal(await Counter(page), 'Page 250 of 250 (2500 recs)');
  const rows = await Rows(page);
  assert.equal(rows.length, 10);
  assert.equal(rows.at(-1)[0], '12500');
  await page.close();
});

test('change the page size', async () => {
  const page = await Open('/grid');
  await page.fill('input[name=npagesize]', '25');
  await Post(page, () => page.click('a.pagingLink:text-is("Reload")'));
  assert.equal(await Counter(page), 'Page 1 of 100 (2500 recs)');
  const rows = await Rows(page);
  assert.equal(rows.length, 25);
  assert.equal(rows[24][0], '10025');
  await page.close();
});

test('inline filter: text contains', async () => {
  const page = await Open('/grid');
  await page.selectOption('select[name=search_field]', '[Customer]');
  await page.selectOption('select[name=search_condition]', { label: 'contains' });
  await page.fill('input[name=search_text]', 'Heron');
  await Post(page, () => page.click('input[type=button][value=Go]'));
  const rows = await Rows(page);
  assert.ok(rows.length > 0);
  for (const row of rows) assert.match(row[1], /Heron/);
  const counter = await Counter(page);
  const recs = Number(counter.match(/\((\d+) recs\)/)[1]);
  assert.ok(recs > 0 && recs < 2500, counter);
  await page.close();
});

test('inline filter: number equals', async () => {
  const page = await Open('/grid');
  await page.selectOption('select[name=search_field]', '[OrderID]');
  await page.selectOption('select[name=search_condition]', { label: 'is equal to' });
  await page.fill('input[name=search_text]', '10017');
  await Post(page, () => page.click('input[type=button][value=Go]'));
  const rows = await Rows(page);
  assert.equal(rows.length, 1);
  assert.deepEqual(rows[0].slice(0, 2), ['10017', 'Blue Heron Bistro']);
  assert.equal(await Counter(page), 'Page 1 of 1 (1 recs)');
  await page.close();
});

test('print view and its Close link', async () => {
  const page = await Open('/grid');
  await Post(page, () => page.click('a.pagingLink:text-is("Print")'));
  assert.equal(await page.locator('main h2').first().innerText(), 'Orders');
  assert.equal(await page.locator('main p:text-is("Page 1 of 250")').count(), 1);
  assert.equal(await page.locator('main p:text-is("Page 250 of 250")').count(), 1);
  assert.equal(await page.locator('p.filters').first().innerText(), '2500 orders');
  assert.equal((await Rows(page)).length, 2500);
  assert.equal(await page.locator('tr.gridHeader th a[href]').count(), 0);
  await Post(page, () => page.click('a.pagingLink:has-text("Close")'));
  assert.equal(await Counter(page), 'Page 1 of 250 (2500 recs)');
  assert.equal((await Rows(page)).length, 10);
  await page.close();
});

test('plain and popup demo pages page through their grids', async () => {
  const plain = await Open('/demo/plain.asp');
  assert.equal(await Counter(plain), 'Page 1 of 667 (10000 recs)');
  assert.equal((await Rows(plain)).length, 15);
  await Post(plain, () => plain.click('a.pagingLink:text-is("Last »")'));
  assert.equal(await Counter(plain), 'Page 667 of 667 (10000 recs)');
  assert.equal((await Rows(plain)).length, 10);
  await plain.close();

  const popup = await Open('/demo/popup.asp');
  const rows = await Rows(popup);
  assert.ok(rows.length > 0);
  assert.equal(rows[0][0], '10001');
  assert.equal(await popup.locator('input[name=search_text]').count(), 0);
  await popup.close();
});

test('a picture cell loads its image', async () => {
  const page = await Open('/demo/formats.asp');
  const image = page.locator('table.grid img').first();
  await image.waitFor();
  await page.waitForFunction(
      () => { const img = document.querySelector('table.grid img'); return img && img.complete; });
  const width = await image.evaluate((img) => img.naturalWidth);
  assert.ok(width > 0, `naturalWidth ${width}`);
  await page.close();
});

function Recs(counter) {
  return Number(counter.match(/\((\d+) recs\)/)[1]);
}

test('inline filter: date equals', async () => {
  const page = await Open('/grid');
  // A date as the grid shows it (m/d/yyyy), taken from the fourth row.
  const date = (await Rows(page))[3][4];
  assert.match(date, /^\d{1,2}\/\d{1,2}\/\d{4}$/);
  await page.selectOption('select[name=search_field]', '[OrderDate]');
  await page.selectOption('select[name=search_condition]', { label: 'is equal to' });
  await page.fill('input[name=search_text]', date);
  await Post(page, () => page.click('input[type=button][value=Go]'));
  const rows = await Rows(page);
  assert.ok(rows.length > 0);
  for (const row of rows) assert.equal(row[4], date);
  const counter = await Counter(page);
  const recs = Recs(counter);
  assert.ok(recs > 0 && recs < 2500, counter);
  assert.equal(rows.length, Math.min(recs, 10), counter);
  await page.close();
});

test('F9 switches the value box to a list of values and back', async () => {
  const page = await Open('/grid');
  await page.selectOption('select[name=search_field]', '[Region]');
  await page.focus('input[name=search_text]');
  await Post(page, () => page.keyboard.press('F9'));
  const list = page.locator('select[name=search_text]');
  assert.equal(await list.count(), 1);
  assert.equal(await page.locator('input[name=search_text]').count(), 0);
  const options = await list.locator('option').allInnerTexts();
  for (const region of ['Europe', 'Pacific', 'Americas']) {
    assert.ok(options.some((o) => o.trim() === region), `${region} in ${options}`);
  }
  // The last option leaves the list for the text box again.
  assert.match(options.at(-1), /^Other/);
  await Post(page, () => list.selectOption({ index: options.length - 1 }));
  assert.equal(await page.locator('input[name=search_text]').count(), 1);
  assert.equal(await page.locator('select[name=search_text]').count(), 0);
  await page.close();
});

test('popup filter: two conditions joined by OR', async () => {
  const page = await Open('/grid-popup');
  const [popup] = await Promise.all([
    page.waitForEvent('popup'),
    page.click('a.pagingLink:text-is("Search")'),
  ]);
  await popup.waitForLoadState('load');
  const AddCondition = async (field, condition, value) => {
    await popup.selectOption('select[name=search_field]', { label: field });
    await popup.selectOption('select[name=search_condition]', { label: condition });
    await popup.fill('input[name=search_text]', value);
    await popup.click('input[type=button][value="Add Filter"]');
  };
  await AddCondition('Order', 'is equal to', '10003');
  await popup.check('input[name=chk1]');
  await AddCondition('Customer', 'contains', 'Heron');
  assert.match(await popup.inputValue('textarea[name=mfilter]'), /OR/);
  await Promise.all([
    page.waitForNavigation({ waitUntil: 'load' }),
    popup.click('input[type=button][value=Finish]'),
  ]);
  const rows = await Rows(page);
  assert.ok(rows.length > 0);
  for (const row of rows) {
    assert.ok(row[0] === '10003' || /Heron/.test(row[1]), row.join(' | '));
  }
  assert.ok(rows.some((row) => row[0] === '10003'), 'order 10003 shown');
  assert.ok(rows.some((row) => row[0] !== '10003' && /Heron/.test(row[1])), 'a Heron row shown');
  const counter = await Counter(page);
  const recs = Recs(counter);
  assert.ok(recs > 1 && recs < 2500, counter);
  await page.close();
});

// Screenshots of the graph pages go to build/e2e-screenshots for a person to
// look at; the checks here are what the picture must show: coloured bars of
// the expected heights and a legend entry per series.
test('bar graphs render with bars and legends', async () => {
  const shots = join(root, 'build', 'e2e-screenshots');
  mkdirSync(shots, { recursive: true });
  for (const [path, name] of [['/graphs', 'graphs.png'], ['/demo/graph.asp', 'grid-graph.png']]) {
    const page = await Open(path);
    await page.setViewportSize({ width: 1200, height: 1300 });
    // Bars are table cells with a background colour and a height.
    const bars = await page.$$eval('td[bgcolor]', (cells) =>
      cells.filter((c) => c.getBoundingClientRect().height > 0).length);
    assert.ok(bars > 8, `${path}: ${bars} bars`);
    await page.screenshot({ path: join(shots, name), fullPage: true });
    await page.close();
  }
  // The grid graph lists each order line of the page in its legend.
  const page = await Open('/demo/graph.asp');
  const text = await page.innerText('body');
  assert.match(text, /10001-1/);
  assert.match(text, /View All/);
  await page.close();
});

// The master-details demo: customers whose rows open onto their orders.
// Master rows are the grid's own rows; each open customer's orders stand in
// a details table nested under its row.
async function MasterNames(page) {
  return page.$$eval('table.grid > tbody > tr.gridItem, table.grid > tbody > tr.gridAlt',
    (rows) => rows.filter((row) => !row.closest('table.details'))
                  .map((row) => row.cells[1].innerText.trim()));
}

async function OpenDetails(page) {
  return page.$$eval('table.details', (tables) => tables.map((table) => {
    const master = table.closest('tr').previousElementSibling;
    return { master: master.cells[1].innerText.trim(),
             orders: table.querySelectorAll('tr.gridItem, tr.gridAlt').length };
  }));
}

test('master-details: expand a customer, show all, collapse, page through customers',
     async () => {
  const page = await Open('/demo/masters.asp');
  await page.setViewportSize({ width: 1200, height: 1400 });
  assert.equal(await Counter(page), 'Page 1 of 6 (60 recs)');
  let masters = await MasterNames(page);
  assert.equal(masters.length, 10);
  assert.equal(masters[0], 'Blue Heron Bistro');
  let open = await OpenDetails(page);
  assert.equal(open.length, 1);
  assert.equal(open[0].master, 'Blue Heron Bistro');
  assert.ok(open[0].orders > 0);

  // The third customer's row number opens its orders and closes the first's.
  await Post(page, () => page.locator('table.grid td[nowrap] a', { hasText: /^3$/ }).click());
  open = await OpenDetails(page);
  assert.deepEqual(open.map((d) => d.master), [masters[2]]);

  await Post(page, () => page.click('a.pagingLink:text-is("Show all Details")'));
  open = await OpenDetails(page);
  assert.deepEqual(open.map((d) => d.master), masters);
  for (const details of open) assert.ok(details.orders > 0, details.master);
  const shots = join(root, 'build', 'e2e-screenshots');
  mkdirSync(shots, { recursive: true });
  await page.screenshot({ path: join(shots, 'master-details-all.png'), fullPage: true });

  await Post(page, () => page.click('a.pagingLink:text-is("Collapse Details")'));
  open = await OpenDetails(page);
  assert.deepEqual(open.map((d) => d.master), [masters[2]]);

  // Pages count customers; the open customer of another page gives way to
  // the page's first.
  await Post(page, () => page.click('a.pagingLink:text-is("»")'));
  assert.equal(await Counter(page), 'Page 2 of 6 (60 recs)');
  masters = await MasterNames(page);
  assert.equal(masters.length, 10);
  assert.ok(!masters.includes('Blue Heron Bistro'));
  open = await OpenDetails(page);
  assert.deepEqual(open.map((d) => d.master), [masters[0]]);
  await Post(page, () => page.click('a.pagingLink:text-is("Last »")'));
  assert.equal(await Counter(page), 'Page 6 of 6 (60 recs)');
  assert.equal((await MasterNames(page)).length, 10);
  await page.screenshot({ path: join(shots, 'master-details.png'), fullPage: true });
  await page.close();

  // The columnar layout shows every customer of the page with its orders.
  const cards = await Open('/demo/masters-columnar.asp');
  await cards.setViewportSize({ width: 1200, height: 1400 });
  assert.equal(await Counter(cards), 'Page 1 of 20 (60 recs)');
  assert.equal(await cards.locator('table.details').count(), 3);
  assert.equal(await cards.locator('a:text-is("Show all Details")').count(), 0);
  await cards.screenshot({ path: join(shots, 'master-details-columnar.png'), fullPage: true });
  await cards.close();
});

// Clicks an export link of the tool bar and returns the download's name and
// text.
async function Download(page, text) {
  const [download] = await Promise.all([
    page.waitForEvent('download'),
    page.click(`a.pagingLink:text-is("${text}")`),
  ]);
  return { name: download.suggestedFilename(), text: readFileSync(await download.path(), 'utf8') };
}

test('Excel and CSV exports hold every row of the filtered result', async () => {
  const page = await Open('/demo/plain.asp');
  await page.selectOption('select[name=search_field]', '[Customer]');
  await page.selectOption('select[name=search_condition]', { label: 'contains' });
  await page.fill('input[name=search_text]', 'Heron');
  await Post(page, () => page.click('input[type=button][value=Go]'));
  const recs = Number((await Counter(page)).match(/\((\d+) recs\)/)[1]);
  assert.ok(recs > 15 && recs < 10000, String(recs));

  const excel = await Download(page, 'Excel');
  assert.equal(excel.name, 'Fennick_Report.xls');
  const body = excel.text.slice(excel.text.indexOf('<tbody>'));
  assert.equal((body.match(/<tr>/g) || []).length, recs);
  const head = excel.text.slice(excel.text.indexOf('<thead'), excel.text.indexOf('</thead>'));
  assert.match(head, /<th>Order<\/th><th>Line<\/th><th>Date<\/th><th>Customer<\/th>/);
  // The date cell carries its value and format as attributes.
  const customers = [...body.matchAll(/<tr>(?:<td[^>]*>[^<]*<\/td>){3}<td>([^<]*)<\/td>/g)];
  assert.equal(customers.length, recs);
  for (const customer of customers) assert.match(customer[1], /Heron/);

  // The demo's CSV starts with a byte order mark.
  const csv = await Download(page, 'CSV');
  assert.equal(csv.name, 'Fennick_Report.csv');
  assert.ok(csv.text.startsWith('\uFEFF'));
  const lines = csv.text.slice(1).split('\r\n').filter((line) => line.length > 0);
  assert.equal(lines.length, recs + 1);
  assert.match(lines[0], /^"OrderID","LineNumber","OrderDate","Customer"/);
  await page.close();
});
