// Bookmarkable grid state (UrlState) in a real browser: the demo page
// /grid-links keeps its grid's state in the address, so a sorted, filtered
// third page survives a reload (a plain GET, no form resent), Back, and the
// copied address opened in another browser with no cookies.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { chromium } from 'playwright-core';
import { UseDemoSite, Post } from './demo_site.mjs';

const site = UseDemoSite();

async function Rows(page) {
  return page.$$eval('table.grid tr.gridItem, table.grid tr.gridAlt', (rows) =>
    rows.map((row) => Array.from(row.cells).slice(1).map((cell) => cell.innerText.trim())));
}

async function Counter(page) {
  const text = await page.locator('tr.gridFooter td[width="99%"]:not(.middleCell)').innerText();
  return text.match(/Page \d+ of \d+ \(\d+ recs\)/)?.[0];
}

// What the user sees of the grid.
async function Seen(page) {
  return { counter: await Counter(page), rows: await Rows(page) };
}

// Runs `navigate` and returns the method of the document request it made.
async function DocumentMethod(page, navigate) {
  const [request] = await Promise.all([
    page.waitForRequest((r) => r.isNavigationRequest() && r.frame() === page.mainFrame()),
    navigate(),
  ]);
  await page.waitForLoadState('load');
  return request.method();
}

test('sort, filter and page 3 survive reload, Back and a shared link', async () => {
  const page = await site.Open('/grid-links');
  assert.doesNotMatch(page.url(), /fnkgrid=/);

  await Post(page, () => page.click('tr.gridHeader th a:text-is("Date")'));
  await page.selectOption('select[name=search_field]', '[Region]');
  await page.selectOption('select[name=search_condition]', { label: 'is equal to' });
  await page.fill('input[name=search_text]', 'Europe');
  await Post(page, () => page.click('input[type=button][value=Go]'));
  await Post(page, () => page.click('a.pagingLink:text-is("»")'));
  const second = await Seen(page);
  await Post(page, () => page.click('a.pagingLink:text-is("»")'));
  const third = await Seen(page);
  assert.match(third.counter, /^Page 3 of \d+/);
  assert.ok(third.rows.length === 10);
  for (const row of third.rows) assert.equal(row[2], 'Europe');
  const dates = third.rows.map((r) => Date.parse(r[4]));
  for (let i = 1; i < dates.length; ++i) assert.ok(dates[i - 1] <= dates[i], 'sorted by date');
  const link = page.url();
  assert.match(link, /\/grid-links\?fnkgrid=[A-Za-z0-9_-]+$/);

  // Reload asks for the address again: a GET, and the same grid.
  assert.equal(await DocumentMethod(page, () => page.reload()), 'GET');
  assert.deepEqual(await Seen(page), third);

  // Back shows the second page, and reloading it stays there.
  await page.goBack({ waitUntil: 'load' });
  assert.deepEqual(await Seen(page), second);
  assert.equal(await DocumentMethod(page, () => page.reload()), 'GET');
  assert.deepEqual(await Seen(page), second);
  await page.close();

  // The copied link in another browser: no cookies, another session.
  const other = await chromium.launch({
    executablePath: '/usr/bin/chromium', headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--no-first-run'],
  });
  try {
    const context = await other.newContext();
    const shared = await context.newPage();
    await shared.goto(link);
    assert.deepEqual(await Seen(shared), third);
    // It goes on from there: the next page is the fourth.
    await Post(shared, () => shared.click('a.pagingLink:text-is("»")'));
    assert.match(await Counter(shared), /^Page 4 of/);
  } finally {
    await other.close();
  }
});
