// Browser tests of the report builder on /demo/designer.asp: a real
// Chromium checks Orders and Customers, builds a report through every page
// of the builder window (fields and their relation, captions, a filter, the
// title, a summary, a graph and the field order), finishes, finds the
// report in the catalogue, opens it, and edits its title through the
// report's Build button. With FENNICK_SCREENSHOT_DIR set, it also saves the
// builder's pages there. On /demo/designer-postgres.asp (the demo started
// with --demo-postgres on the PostgreSQL test server of
// scripts/services/postgres-start.sh) it builds a report over a function
// with a parameter, made in a private schema.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { UseDemoSite, Post, root } from './demo_site.mjs';

// The PostgreSQL test server's settings; a missing server fails the file.
function PostgresSettings() {
  let text;
  try {
    text = readFileSync(join(root, '.services', 'postgres.env'), 'utf8');
  } catch {
    throw new Error('No PostgreSQL test server: run the tests with `make test`, which starts ' +
                    'one (scripts/services/postgres-start.sh)');
  }
  const settings = {};
  for (const line of text.split('\n')) {
    const eq = line.indexOf('=');
    if (eq > 0) settings[line.slice(0, eq)] = line.slice(eq + 1);
  }
  return settings;
}

const pg = PostgresSettings();
const schema = `fnk_e2e_builder_${process.pid}`;

// Runs SQL on the test server, stopping at the first error.
function Psql(sql) {
  execFileSync('psql', ['-X', '-q', '-v', 'ON_ERROR_STOP=1', '-h', pg.FENNICK_PG_HOST,
                        '-p', pg.FENNICK_PG_PORT, '-U', pg.FENNICK_PG_USER,
                        '-d', pg.FENNICK_PG_DATABASE, '-c', sql], { stdio: 'pipe' });
}

before(() => {
  Psql(`DROP SCHEMA IF EXISTS ${schema} CASCADE; CREATE SCHEMA ${schema}; ` +
       `CREATE FUNCTION ${schema}.orders_by_city(city_name text) ` +
       'RETURNS TABLE(order_id int, city text, amount numeric) AS $$ ' +
       "SELECT * FROM (VALUES (1, 'Oslo', 5.5), (2, 'Rome', 7.0), (3, 'Oslo', 2.25)) " +
       'v(order_id, city, amount) WHERE v.city = city_name $$ LANGUAGE sql');
});
after(() => Psql(`DROP SCHEMA IF EXISTS ${schema} CASCADE`));

const site = UseDemoSite({ viewport: { width: 1100, height: 900 } }, [
  '--demo-postgres',
  `Provider=PostgreSQL;Host=${pg.FENNICK_PG_HOST};Port=${pg.FENNICK_PG_PORT};` +
  `Database=${pg.FENNICK_PG_DATABASE};User ID=${pg.FENNICK_PG_USER}`,
]);
const Open = site.Open;
const shots = process.env.FENNICK_SCREENSHOT_DIR;

async function Shot(page, name) {
  if (shots) await page.screenshot({ path: join(shots, name), fullPage: true });
}

async function StepTitle(wizard) {
  return (await wizard.locator('div.step_title').first().innerText()).trim();
}

async function Rows(page) {
  return page.$$eval('table.grid tr.item, table.grid tr.alt_item', (rows) =>
    rows.map((row) => Array.from(row.cells).map((cell) => cell.innerText.trim())));
}

test('build a two-table report with a filter, a summary and a graph, then edit its title',
  async () => {
    const page = await Open('/demo/designer.asp');
    await page.check('input[name=check1][value=Orders]');
    await page.check('input[name=check1][value=Customers]');
    const [wizard] = await Promise.all([
      page.context().waitForEvent('page'),
      page.click('input[value="Build Report"]'),
    ]);
    await wizard.waitForLoadState();
    assert.equal(await StepTitle(wizard), 'Select the fields you wish to display');

    // Next with no field checked stays, with the alert.
    let alerted = '';
    wizard.once('dialog', (dialog) => { alerted = dialog.message(); dialog.accept(); });
    await wizard.click('input[name=next]');
    assert.equal(alerted, 'You must select the fields to display');

    for (const field of ['Orders.OrderID', 'Orders.Freight', 'Customers.CompanyName',
                         'Customers.Country']) {
      await wizard.check(`input[name=fields][value="${field}"]`);
    }
    await wizard.fill('textarea[name=relations]', 'Orders.CustomerID = Customers.CustomerID');
    await Shot(wizard, 'builder-1-fields.png');
    await Post(wizard, () => wizard.click('input[name=next]'));

    assert.equal(await StepTitle(wizard), 'Add captions (aliases) to field names');
    const row = (field) => wizard.locator('div.main2 tr', { has: wizard.locator(`td:text-is("${field}")`) });
    await row('Orders.OrderID').locator('input[name=captions]').fill('Order, number');
    await row('Customers.CompanyName').locator('input[name=captions]').fill('Customer');
    const freight = row('Orders.Freight').locator('select[name=formats]');
    await freight.selectOption('N2');
    assert.equal(await freight.locator('option:checked').innerText(), 'Currency: $1,000.00');
    await Post(wizard, () => wizard.click('input[name=next]'));

    assert.equal(await StepTitle(wizard), 'Add filters to your report');
    await wizard.selectOption('select[name=search_field]', 'Customers.Country');
    await wizard.selectOption('select[name=search_condition]', '2');
    await wizard.fill('input[name=search_text]', 'France');
    await Post(wizard, () => wizard.click('input[value="Add Filter"]'));
    assert.match(await wizard.locator('body').innerText(), /Customers\.Country is equal to France/);
    await Shot(wizard, 'builder-3-filters.png');
    await Post(wizard, () => wizard.click('input[name=next]'));

    assert.equal(await StepTitle(wizard), 'Add a title and description to your report');
    await wizard.fill('input[name=rtitle]', 'French orders <b>built</b>');
    await Post(wizard, () => wizard.click('input[name=next]'));

    assert.equal(await StepTitle(wizard), 'Add summaries to your report');
    await wizard.selectOption('select[name=summary_field]', 'Orders.Freight');
    await wizard.selectOption('select[name=summary_type]', 'SUM');
    await wizard.fill('input[name=summary_text]', 'Total freight');
    await Post(wizard, () => wizard.click('input[value="Add Summary"]'));
    assert.match(await wizard.locator('body').innerText(), /Total freight: SUM of Orders\.Freight/);
    await wizard.check('input[name=chart]');
    await Post(wizard, () => wizard.click('input[name=next]'));

    assert.equal(await StepTitle(wizard), 'Select the fields to display on chart');
    await wizard.check('input[name=gflds][value="Orders.Freight"]');
    await Post(wizard, () => wizard.click('input[name=next]'));
    assert.equal(await StepTitle(wizard), 'Chart Options');
    await wizard.selectOption('select[name=legend]', 'Orders.OrderID');
    await wizard.fill('input[name=gtitle]', 'Freight per order');
    await Post(wizard, () => wizard.click('input[name=next]'));

    assert.equal(await StepTitle(wizard), 'Re-Order your table fields');
    await wizard.selectOption('select[name=order]', 'Customers.CompanyName');
    await wizard.click('input[value=Top]');
    await Shot(wizard, 'builder-6-order.png');
    // Finish saves, reloads the catalogue window on the report and closes.
    await Promise.all([
      page.waitForURL(/rid=/),
      wizard.click('input[name=finish]'),
    ]);
    await page.waitForLoadState();
    const id = new URL(page.url()).searchParams.get('rid');
    assert.match(id, /^\d{10}$/);
    assert.match(await page.locator('td.report_title').innerText(), /French orders <b>built<\/b>/);
    const rows = await Rows(page);
    assert.ok(rows.length > 0, 'the report shows its rows');
    const header = await page.locator('table.grid tr').first().innerText();
    assert.ok(header.indexOf('Customer') < header.indexOf('Order, number'), header);
    for (const row of rows) assert.ok(row.includes('France'), row.join('|'));
    assert.match(await page.locator('body').innerText(), /Total freight/);
    await Shot(page, 'builder-report.png');

    // The catalogue lists it.
    await page.goto(site.base + '/demo/designer.asp');
    assert.ok(await page.locator('a.report_title', { hasText: 'French orders <b>built</b>' }).count());
    await Post(page, () => page.click('a.report_title:has-text("French orders")'));

    // Its Build button opens the builder on it; the title is changed.
    const [editor] = await Promise.all([
      page.context().waitForEvent('page'),
      page.click('a.link_button:text-is("Build Report")'),
    ]);
    await editor.waitForLoadState();
    assert.equal(await StepTitle(editor), 'Select the fields you wish to display');
    assert.ok(await editor.isChecked('input[name=fields][value="Customers.Country"]'));
    for (let i = 0; i < 3; i++) await Post(editor, () => editor.click('input[name=next]'));
    assert.equal(await editor.inputValue('input[name=rtitle]'), 'French orders <b>built</b>');
    await editor.fill('input[name=rtitle]', 'French orders, edited');
    await Promise.all([
      page.waitForNavigation({ waitUntil: 'load' }),
      editor.click('input[name=finish]'),
    ]);
    assert.equal(new URL(page.url()).searchParams.get('rid'), id);
    await page.waitForLoadState();
    assert.match(await page.locator('td.report_title').innerText(), /French orders, edited/);
    assert.ok((await Rows(page)).length > 0);
    // The edit kept the order the fields were given.
    const edited = await page.locator('table.grid tr').first().innerText();
    assert.ok(edited.indexOf('Customer') < edited.indexOf('Order, number'), edited);
    await page.close();
  });

test('build a report over a PostgreSQL function with a parameter', async () => {
  const page = await Open('/demo/designer-postgres.asp');
  const fn = `${schema}.orders_by_city`;
  // The function's link in the object list opens the builder on it, which
  // asks for its parameter first.
  const [wizard] = await Promise.all([
    page.context().waitForEvent('page'),
    page.click(`a.link_button:text-is("${fn}")`),
  ]);
  await wizard.waitForLoadState();
  assert.match(await wizard.locator('body').innerText(),
               new RegExp(`${fn.replace('.', '\\.')} - enter the parameter values`));
  assert.equal(await wizard.inputValue('input[name=p_name1]'), 'city_name');
  await wizard.fill('input[name=p_value1]', 'Oslo');
  await Post(wizard, () => wizard.click('input[name=next]'));

  assert.equal(await StepTitle(wizard), 'Select the fields you want to display');
  for (const field of ['order_id', 'city', 'amount']) {
    await wizard.check(`input[name=fields][value="${field}"]`);
  }
  await Post(wizard, () => wizard.click('input[name=next]'));
  assert.equal(await StepTitle(wizard), 'Add captions (aliases) to field names');
  await Post(wizard, () => wizard.click('input[name=next]'));
  assert.equal(await StepTitle(wizard), 'Add a title and description to your report');
  await wizard.fill('input[name=rtitle]', 'Orders in a city');
  await Promise.all([
    page.waitForURL(/rid=/),
    wizard.click('input[name=finish]'),
  ]);
  await page.waitForLoadState();
  assert.match(await page.locator('td.report_title').innerText(), /Orders in a city/);
  // The parameter was bound: Oslo's two orders, not Rome's.
  const rows = await Rows(page);
  const header = (await page.locator('table.grid tr').first().innerText()).split('\t');
  assert.deepEqual(header.slice(-3), ['order_id', 'city', 'amount']);
  assert.deepEqual(rows.map((row) => row.slice(-3)),
                   [['1', 'Oslo', '5.5'], ['3', 'Oslo', '2.25']]);
  await page.close();
});
