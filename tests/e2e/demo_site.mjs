// The world of a browser test file: `fennick serve --demo` on a free port
// and one headless Chromium, started before the file's tests and stopped
// after them (the server is killed outright should the runner exit early).
import { before, after } from 'node:test';
import { spawn } from 'node:child_process';
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve, dirname } from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

export const root = resolve(dirname(fileURLToPath(import.meta.url)), '../..');
const binary = process.env.FENNICK_BINARY || join(root, 'build', 'fennick');

// Starts the demo server on a free port and resolves with its address, read
// from the banner it prints once the demo database is built; `extraArgs`
// are passed to `fennick serve` after the demo's own.
function StartServer(site, extraArgs) {
  return new Promise((resolvePromise, reject) => {
    site.server = spawn(binary, ['serve', '--demo', '--port', '0', '--quiet', ...extraArgs], {
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
    site.server.stdout.on('data', onData);
    site.server.stderr.on('data', onData);
    site.server.on('exit', (code) => {
      clearTimeout(timer);
      reject(new Error(`server exited (${code}): ${output}`));
    });
  });
}

// Registers the hooks that start and stop the server and the browser, and
// returns the site: `base` (the server's address, once started), `browser`
// and Open(path, language), which opens a page of the site (with an
// Accept-Language header when `language` is given). `serverArgs` are more
// options of `fennick serve` (say --demo-postgres CONNECTION).
export function UseDemoSite(browserOptions = {}, serverArgs = []) {
  const site = { base: '', browser: null, server: null, profile: null };
  before(async () => {
    site.base = await StartServer(site, serverArgs);
    site.profile = mkdtempSync(join(tmpdir(), 'fennick-e2e-'));
    site.browser = await chromium.launchPersistentContext(site.profile, {
      executablePath: '/usr/bin/chromium',
      headless: true,
      ...browserOptions,
      args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
             '--disable-background-networking', '--disable-component-update',
             '--disable-sync'],
    });
  });
  after(async () => {
    if (site.browser) await site.browser.close();
    if (site.server && site.server.exitCode === null) site.server.kill('SIGTERM');
    if (site.profile) rmSync(site.profile, { recursive: true, force: true });
  });
  process.on('exit', () => {
    if (site.server && site.server.exitCode === null) site.server.kill('SIGKILL');
  });
  site.Open = async (path, language) => {
    const page = await site.browser.newPage();
    page.setDefaultTimeout(20000);
    if (language) await page.setExtraHTTPHeaders({ 'Accept-Language': language });
    await page.goto(site.base + path);
    return page;
  };
  return site;
}

// Runs `action` (a click that posts a form or follows a link) and waits for
// the page it leads to.
export async function Post(page, action) {
  await Promise.all([page.waitForNavigation({ waitUntil: 'load' }), action()]);
}
