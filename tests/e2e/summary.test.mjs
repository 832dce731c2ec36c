// Browser tests of the demo report page with summaries (/grid-summary): a
// real Chromium reads the rows the user sees and checks that the Average
// and Total footer rows, the average and total at the end of every row, and
// the summary box agree with them, on the first page, after paging and
// after a filter.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { UseDemoSite, Post } from './demo_site.mjs';

const site = UseDemoSite();
const Open = site.Open;

// "$1,234.50" as 1234.5.
function Money(text) {
  const number = Number(text.replace(/[$,]/g, ''));
  assert.ok(!Number.isNaN(number), `not an amount: ${text}`);
  return number;
}

function Cents(value) {
  return Math.round(value * 100);
}

// Averages are rounded to the cent with halves to even, which a half cent
// can tell apart from Math.round.
function AssertNear(actual, expected) {
  assert.ok(Math.abs(Cents(actual) - Cents(expected)) <= 1, `${actual} vs ${expected}`);
}

// What the user sees: the data rows (freight, amount, row average, row
// total), the two footer rows and the summary box's lines by caption.
async function Seen(page) {
  const rows = await page.$$eval('table.grid tr.gridItem, table.grid tr.gridAlt', (trs) =>
    trs.filter((tr) => tr.querySelector('td.row_footer'))
      .map((tr) => Array.from(tr.cells).map((cell) => cell.innerText.trim())));
  const footer = async (label) => (await page.locator('table.grid tr', {
    has: page.locator(`td.col_footerLabel:text-is("${label}")`),
  }).locator('td.col_footer').allInnerTexts()).map((text) => text.trim());
  const box = await page.$$eval('table.summary span.summary_name', (names) =>
    Object.fromEntries(names.map((n) => [n.innerText.trim(),
      n.nextElementSibling.innerText.trim()])));
  return {
    rows: rows.map((cells) => ({
      freight: Money(cells.at(-4)), amount: Money(cells.at(-3)),
      average: Money(cells.at(-2)), total: Money(cells.at(-1)),
    })),
    average: await footer('Average'),
    total: await footer('Total'),
    box,
  };
}

// The footers and row cells agree with the rows: the footer cells under
// Freight and Amount, the blank cells under the row cells, and each row's
// average and total of its freight and amount.
function AssertFootersMatch(seen) {
  const n = seen.rows.length;
  assert.ok(n > 0);
  let freight = 0;
  let amount = 0;
  for (const row of seen.rows) {
    freight += row.freight;
    amount += row.amount;
    assert.equal(Cents(row.total), Cents(row.freight + row.amount));
    AssertNear(row.average, (row.freight + row.amount) / 2);
  }
  // Total row: Customer, Region, Date blank; Freight; Amount; the blank
  // under the row average; the grand total.
  const total = seen.total;
  assert.equal(total.length, 7, JSON.stringify(total));
  assert.deepEqual(total.slice(0, 3), ['', '', '']);
  assert.equal(Cents(Money(total[3])), Cents(freight));
  assert.equal(Cents(Money(total[4])), Cents(amount));
  assert.equal(total[5], '');
  assert.equal(Cents(Money(total[6])), Cents(freight + amount));
  // Average row: the same columns, one blank spanning both row cells.
  const average = seen.average;
  assert.equal(average.length, 6, JSON.stringify(average));
  AssertNear(Money(average[3]), freight / n);
  AssertNear(Money(average[4]), amount / n);
  assert.equal(average[5], '');
}

async function Counter(page) {
  const text = await page.locator('tr.gridFooter td[width="99%"]').first().innerText();
  return Number(text.match(/\((\d+) recs\)/)[1]);
}

test('footers and row cells match the rows shown, page after page', async () => {
  const page = await Open('/grid-summary');
  let seen = await Seen(page);
  assert.equal(seen.rows.length, 10);
  AssertFootersMatch(seen);
  assert.equal(Number(seen.box.Orders), 2500);

  await Post(page, () => page.click('a.pagingLink:text-is("»")'));
  seen = await Seen(page);
  assert.equal(seen.rows.length, 10);
  AssertFootersMatch(seen);
  await page.close();
});

test('the summary box covers exactly the filtered rows', async () => {
  const page = await Open('/grid-summary');
  await page.selectOption('select[name=search_field]', '[Region]');
  await page.selectOption('select[name=search_condition]', { label: 'contains' });
  await page.fill('input[name=search_text]', 'Pacific');
  await Post(page, () => page.click('input[type=button][value=Go]'));
  const recs = await Counter(page);
  assert.ok(recs > 0 && recs < 2500, String(recs));

  // Every filtered row on one page: the footers and the box over the same
  // rows must agree.
  await page.fill('input[name=npagesize]', '2500');
  await Post(page, () => page.click('a.pagingLink:text-is("Reload")'));
  const seen = await Seen(page);
  assert.equal(seen.rows.length, recs);
  AssertFootersMatch(seen);
  assert.equal(Number(seen.box.Orders), recs);
  const amount = seen.rows.reduce((sum, row) => sum + row.amount, 0);
  const freight = seen.rows.reduce((sum, row) => sum + row.freight, 0);
  assert.equal(Cents(Money(seen.box['Total amount'])), Cents(amount));
  assert.equal(Cents(Money(seen.box['Total freight'])), Cents(freight));
  AssertNear(Money(seen.box['Average order']), amount / recs);
  assert.equal(Cents(Money(seen.box['Largest order'])),
               Cents(Math.max(...seen.rows.map((row) => row.amount))));
  await page.close();
});
