// What the page tests and the page benchmark share: a kestrova-web of their own on a free port
// in a temporary home, and the system's Chromium driven by playwright-core.
import assert from 'node:assert/strict';
import { spawn, execFileSync } from 'node:child_process';
import { mkdtempSync, rmSync, mkdirSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { chromium } from 'playwright-core';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));

export const binDir = process.env.KESTROVA_BIN_DIR ?? path.resolve(here, '../../../build/test/bin');

// The home in the folder `root`: the environment that makes its config and data folders the
// XDG folders for settings and data, in an American locale.
export function homeAt(root) {
  const env = {
    ...process.env,
    XDG_CONFIG_HOME: path.join(root, 'config'),
    XDG_DATA_HOME: path.join(root, 'data'),
    LC_ALL: 'en_US.UTF-8',
  };
  delete env.Kestrova;
  return { root, env };
}

// A temporary home, with its folders made; removed by cleanup().
export function makeHome() {
  const home = homeAt(mkdtempSync(path.join(tmpdir(), 'kestrova-pages-')));
  mkdirSync(home.env.XDG_CONFIG_HOME, { recursive: true });
  mkdirSync(home.env.XDG_DATA_HOME, { recursive: true });
  return { ...home, cleanup: () => rmSync(home.root, { recursive: true, force: true }) };
}

// Runs the kestrova command line in a home.
export function kestrova(home, ...args) {
  return execFileSync(path.join(binDir, 'kestrova'), args, { env: home.env, encoding: 'utf8' });
}

// Servers still running when the test process ends (a test that failed before stopping its
// own; the runner is started with --test-force-exit) are killed with it, never left behind.
const liveServers = new Set();
process.on('exit', () => {
  for (const child of liveServers) child.kill('SIGKILL');
});

// Starts kestrova-web on a free port; resolves once it listens.
export function startServer(home, extraArgs = []) {
  return new Promise((resolve, reject) => {
    const child = spawn(path.join(binDir, 'kestrova-web'), ['--port', '0', ...extraArgs], {
      env: home.env,
      stdio: ['ignore', 'pipe', 'pipe'],
    });
    liveServers.add(child);
    child.once('exit', () => liveServers.delete(child));
    let log = '';
    child.stderr.on('data', (d) => (log += d));
    let out = '';
    child.stdout.on('data', (d) => {
      out += d;
      const m = out.match(/http:\/\/127\.0\.0\.1:(\d+)\//);
      if (m) {
        const port = Number(m[1]);
        resolve({
          port,
          base: `http://127.0.0.1:${port}`,
          child,
          log: () => log,
          stop: () =>
            new Promise((done) => {
              if (child.exitCode !== null) return done(child.exitCode);
              child.once('exit', (code) => done(code));
              child.kill('SIGTERM');
            }),
        });
      }
    });
    child.once('exit', (code) => reject(new Error(`kestrova-web ended (${code}): ${log}`)));
  });
}

// Ends what a test file's before() started, whatever of it there is: the browser, then the
// server, which must stop cleanly (status 0), then the temporary home.
export async function closeAll({ browser, server, home }) {
  await browser?.close();
  if (server) assert.equal(await server.stop(), 0);
  home?.cleanup?.();
}

export async function launchBrowser() {
  return chromium.launch({
    executablePath: process.env.KESTROVA_CHROMIUM ?? '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage'],
  });
}

// The token a page of the server carries, as the page's own script reads it.
export async function pageToken(base) {
  const html = await (await fetch(`${base}/Kestrova/settings.asp`)).text();
  return html.match(/name="kestrova-token" content="([0-9a-f]+)"/)[1];
}

// Reads one value from a SQLite file with the sqlite3 shell, waiting for a writer that holds
// the database (the server's own runs) rather than failing at once.
export function sqliteValue(file, sql) {
  return execFileSync('sqlite3', ['-cmd', '.timeout 10000', file, sql], { encoding: 'utf8' }).trim();
}
