// Browser tests of the report designer's catalogue: a real Chromium adds a
// group, renames it and deletes it on /demo/designer.asp; on the page that
// grants no deleting it finds no delete control, and a delete request made
// by hand with a genuine token changes nothing. With
// FENNICK_SCREENSHOT_DIR set, it also saves the catalogue in English and in
// French there.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve, dirname } from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

const root = resolve(dirname(fileURLToPath(import.meta.url)), '../..');
const binary = process.env.FENNICK_BINARY || join(root, 'build', 'fennick');

let server;
let browser;
let base;
let profile;

function StartServer() {
  return new Promise((resolvePromise, reject) => {
    server = spawn(binary, ['serve', '--demo', '--port', '0', '--quiet'], {
      cwd: root,
      env: { ...process.env, FENNICK_SECRET: process.env.FENNICK_SECRET ||
             'e2e-secret-0123456789abcdef0123456789abcdef' },
      stdio: ['ignore', 'pipe', 'pipe'],
    });
    let output = '';
    const timer = setTimeout(() => reject(new Error('no banner: ' + output)), 60000);
    const onData = (chunk) => {
      output += chunk;
      const match = output.match(/on http:\/\/127\.0\.0\.1:(\d+)\//);
      if (match) {
        clearTimeout(timer);
        resolvePromise(`http://127.0.0.1:${match[1]}`);
      }
    };
    server.stdout.on('data', onData);
    server.stderr.on('data', onData);
    server.on('exit', (code) => {
      clearTimeout(timer);
      reject(new Error(`server exited (${code}): ${output}`));
    });
  });
}

before(async () => {
  base = await StartServer();
  profile = mkdtempSync(join(tmpdir(), 'fennick-e2e-'));
  browser = await chromium.launchPersistentContext(profile, {
    executablePath: '/usr/bin/chromium',
    headless: true,
    viewport: { width: 1000, height: 900 },
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update',
           '--disable-sync'],
  });
});

after(async () => {
  if (browser) await browser.close();
  if (server && server.exitCode === null) server.kill('SIGTERM');
  if (profile) rmSync(profile, { recursive: true, force: true });
});

process.on('exit', () => {
  if (server && server.exitCode === null) server.kill('SIGKILL');
});

async function Open(path, language) {
  const page = await browser.newPage();
  page.setDefaultTimeout(20000);
  if (language) await page.setExtraHTTPHeaders({ 'Accept-Language': language });
  await page.goto(base + path);
  return page;
}

async function Navigate(page, action) {
  await Promise.all([page.waitForNavigation({ waitUntil: 'load' }), action()]);
}

async function GroupTitles(page) {
  return page.$$eval('td.group_title', (cells) => cells.map((c) => c.innerText.trim()));
}

test('add a group, rename it and delete it', async () => {
  const page = await Open('/demo/designer.asp');
  assert.ok((await GroupTitles(page)).includes('Sales'));

  await Navigate(page, () => page.click('a.link_button:text-is("New Group")'));
  await page.fill('input[name=gn]', 'Browser group');
  await page.fill('input[name=gi]', 'e2e');
  await Navigate(page, () => page.click('input[type=submit]'));
  assert.equal(new URL(page.url()).pathname, '/demo/designer.asp');
  assert.ok((await GroupTitles(page)).includes('Browser group'));

  await Navigate(page, () => page.click('a.group_title:text-is("Browser group")'));
  assert.equal(await page.inputValue('input[name=gn]'), 'Browser group');
  await page.fill('input[name=gn]', 'Renamed <b>group</b>');
  await Navigate(page, () => page.click('input[type=submit]'));
  let titles = await GroupTitles(page);
  assert.ok(titles.includes('Renamed <b>group</b>'), titles.join('|'));
  assert.ok(!titles.includes('Browser group'));

  await Navigate(page, () => page.click('a.group_title:text-is("Renamed <b>group</b>")'));
  page.once('dialog', (dialog) => dialog.accept());
  await Navigate(page, () => page.click('input[value="Delete Group"]'));
  titles = await GroupTitles(page);
  assert.ok(!titles.some((t) => t.startsWith('Renamed')), titles.join('|'));
  await page.close();
});

test('without CanDelete: no delete controls, and a forged delete changes nothing', async () => {
  // A group to try to delete, made on the full page.
  const admin = await Open('/demo/designer.asp?a=n');
  await admin.fill('input[name=gn]', 'Keep me');
  await admin.fill('input[name=gi]', 'KEEP');
  await Navigate(admin, () => admin.click('input[type=submit]'));

  const editor = await Open('/demo/designer-editor.asp');
  assert.ok((await GroupTitles(editor)).includes('Keep me'));
  assert.equal(await editor.locator('font.delete').count(), 0);
  await Navigate(editor, () => editor.click('a.group_title:text-is("Keep me")'));
  assert.equal(await editor.locator('input[value="Delete Group"]').count(), 0);

  // A genuine delete token of this session, taken from the full page, sent
  // to the page that grants no deleting.
  await admin.goto(base + '/demo/designer.asp?a=n&gi=KEEP&gn=Keep%20me');
  const onclick = await admin.getAttribute('input[value="Delete Group"]', 'onclick');
  const token = onclick.match(/tk\.value='([A-Za-z0-9_-]+)'/)[1];
  const response = await editor.goto(base + '/demo/designer-editor.asp?a=d2&gi=KEEP&tk=' + token);
  assert.equal(response.status(), 403);
  assert.match(await editor.content(), /Access Denied/);
  // And a made-up token on the full page.
  const forged = await editor.goto(base + '/demo/designer.asp?a=d2&gi=KEEP&tk=' + 'A'.repeat(80));
  assert.equal(forged.status(), 403);
  await editor.goto(base + '/demo/designer.asp');
  assert.ok((await GroupTitles(editor)).includes('Keep me'));

  // Clean up through the real control.
  await admin.goto(base + '/demo/designer.asp?a=n&gi=KEEP&gn=Keep%20me');
  admin.once('dialog', (dialog) => dialog.accept());
  await Navigate(admin, () => admin.click('input[value="Delete Group"]'));
  assert.ok(!(await GroupTitles(admin)).includes('Keep me'));
  await admin.close();
  await editor.close();
});

test('the catalogue in English and in French', async () => {
  const english = await Open('/demo/designer.asp', 'en-GB,en;q=0.9');
  assert.equal(await english.locator('a.link_button').first().innerText(), 'New Group');
  const french = await Open('/demo/designer.asp', 'fr-FR,fr;q=0.9');
  assert.equal(await french.locator('a.link_button').first().innerText(), 'Nouveau groupe');
  const dir = process.env.FENNICK_SCREENSHOT_DIR;
  if (dir) {
    await english.screenshot({ path: join(dir, 'designer-catalogue-en.png'), fullPage: true });
    await french.screenshot({ path: join(dir, 'designer-catalogue-fr.png'), fullPage: true });
  }
  await english.close();
  await french.close();
});
