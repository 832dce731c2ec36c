// Browser tests of the report designer's catalogue: a real Chromium adds a
// group, renames it and deletes it on /demo/designer.asp; on the page that
// grants no deleting it finds no delete control, and a delete request made
// by hand with a genuine token changes nothing. With
// FENNICK_SCREENSHOT_DIR set, it also saves the catalogue in English and in
// French there.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { join } from 'node:path';
import { UseDemoSite, Post } from './demo_site.mjs';

const site = UseDemoSite({ viewport: { width: 1000, height: 900 } });
const Open = site.Open;

async function GroupTitles(page) {
  return page.$$eval('td.group_title', (cells) => cells.map((c) => c.innerText.trim()));
}

test('add a group, rename it and delete it', async () => {
  const page = await Open('/demo/designer.asp');
  assert.ok((await GroupTitles(page)).includes('Sales'));

  await Post(page, () => page.click('a.link_button:text-is("New Group")'));
  await page.fill('input[name=gn]', 'Browser group');
  await page.fill('input[name=gi]', 'e2e');
  await Post(page, () => page.click('input[type=submit]'));
  assert.equal(new URL(page.url()).pathname, '/demo/designer.asp');
  assert.ok((await GroupTitles(page)).includes('Browser group'));

  await Post(page, () => page.click('a.group_title:text-is("Browser group")'));
  assert.equal(await page.inputValue('input[name=gn]'), 'Browser group');
  await page.fill('input[name=gn]', 'Renamed <b>group</b>');
  await Post(page, () => page.click('input[type=submit]'));
  let titles = await GroupTitles(page);
  assert.ok(titles.includes('Renamed <b>group</b>'), titles.join('|'));
  assert.ok(!titles.includes('Browser group'));

  await Post(page, () => page.click('a.group_title:text-is("Renamed <b>group</b>")'));
  page.once('dialog', (dialog) => dialog.accept());
  await Post(page, () => page.click('input[value="Delete Group"]'));
  titles = await GroupTitles(page);
  assert.ok(!titles.some((t) => t.startsWith('Renamed')), titles.join('|'));
  await page.close();
});

test('without CanDelete: no delete controls, and a forged delete changes nothing', async () => {
  // A group to try to delete, made on the full page.
  const admin = await Open('/demo/designer.asp?a=n');
  await admin.fill('input[name=gn]', 'Keep me');
  await admin.fill('input[name=gi]', 'KEEP');
  await Post(admin, () => admin.click('input[type=submit]'));

  const editor = await Open('/demo/designer-editor.asp');
  assert.ok((await GroupTitles(editor)).includes('Keep me'));
  assert.equal(await editor.locator('font.delete').count(), 0);
  await Post(editor, () => editor.click('a.group_title:text-is("Keep me")'));
  assert.equal(await editor.locator('input[value="Delete Group"]').count(), 0);

  // A genuine delete token of this session, taken from the full page, sent
  // to the page that grants no deleting.
  await admin.goto(site.base + '/demo/designer.asp?a=n&gi=KEEP&gn=Keep%20me');
  const onclick = await admin.getAttribute('input[value="Delete Group"]', 'onclick');
  const token = onclick.match(/tk\.value='([A-Za-z0-9_-]+)'/)[1];
  const response = await editor.goto(site.base + '/demo/designer-editor.asp?a=d2&gi=KEEP&tk=' + token);
  assert.equal(response.status(), 403);
  assert.match(await editor.content(), /Access Denied/);
  // And a made-up token on the full page.
  const forged = await editor.goto(site.base + '/demo/designer.asp?a=d2&gi=KEEP&tk=' + 'A'.repeat(80));
  assert.equal(forged.status(), 403);
  await editor.goto(site.base + '/demo/designer.asp');
  assert.ok((await GroupTitles(editor)).includes('Keep me'));

  // Clean up through the real control.
  await admin.goto(site.base + '/demo/designer.asp?a=n&gi=KEEP&gn=Keep%20me');
  admin.once('dialog', (dialog) => dialog.accept());
  await Post(admin, () => admin.click('input[value="Delete Group"]'));
  assert.ok(!(await GroupTitles(admin)).includes('Keep me'));
  await admin.close();
  await editor.close();
});

test('the catalogue in English and in French', async () => {
  const english = await Open('/demo/designer.asp', 'en-GB,en;q=0.9');
  assert.equal(await english.locator('a.link_button[href*="a=n"]').first().innerText(), 'New Group');
  const french = await Open('/demo/designer.asp', 'fr-FR,fr;q=0.9');
  assert.equal(await french.locator('a.link_button[href*="a=n"]').first().innerText(), 'Nouveau groupe');
  const dir = process.env.FENNICK_SCREENSHOT_DIR;
  if (dir) {
    // A page in the background is not painted: each comes to the front.
    await english.bringToFront();
    await english.screenshot({ path: join(dir, 'designer-catalogue-en.png'), fullPage: true });
    await french.bringToFront();
    await french.screenshot({ path: join(dir, 'designer-catalogue-fr.png'), fullPage: true });
  }
  await english.close();
  await french.close();
});
