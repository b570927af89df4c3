// What keeps other sites and other machines out: the Host check, the token, JSON bodies and
// the loopback address.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import http from 'node:http';
import net from 'node:net';
import os from 'node:os';
import { existsSync } from 'node:fs';
import path from 'node:path';
import { closeAll, makeHome, startServer, launchBrowser, pageToken } from './harness.mjs';

let home, server, token;
before(async () => {
  home = makeHome();
  server = await startServer(home);
  token = await pageToken(server.base);
});
after(() => closeAll({ server, home }));

// A request with headers of our choosing (fetch will not set Host).
function send({ method = 'GET', path: target, headers = {}, body }) {
  if (body !== undefined) headers = { 'Content-Length': Buffer.byteLength(body), ...headers };
  return new Promise((resolve, reject) => {
    const req = http.request({ host: '127.0.0.1', port: server.port, method, path: target, headers }, (res) => {
      let text = '';
      res.on('data', (d) => (text += d));
      res.on('end', () => resolve({ status: res.statusCode, text }));
    });
    req.on('error', reject);
    if (body) req.write(body);
    req.end();
  });
}

async function newSession() {
  const answer = await send({
    method: 'POST', path: '/api/sessions', body: '{}',
    headers: { 'X-Kestrova-Token': token, 'Content-Type': 'application/json' },
  });
  return JSON.parse(answer.text).session;
}

test('requests are refused unless Host, token and body are ours', async () => {
  const session = await newSession();
  const ours = { 'X-Kestrova-Token': token, 'X-Kestrova-Session': session, 'Content-Type': 'application/json' };
  const create = JSON.stringify({ progid: 'Thalmere.Settings' });
  const cases = [
    // [what, request, expected status]
    ['a page by a foreign Host', { path: '/Kestrova/settings.asp', headers: { Host: 'attacker.example:' + server.port } }, 421],
    ['a page by our Host on another port', { path: '/Kestrova/settings.asp', headers: { Host: '127.0.0.1:1' } }, 421],
    ['the API by a foreign Host', { method: 'POST', path: '/api/objects', headers: { ...ours, Host: 'attacker.example' }, body: create }, 421],
    ['a call without the token', { method: 'POST', path: '/api/objects', headers: { ...ours, 'X-Kestrova-Token': '' }, body: create }, 403],
    ['a call with a wrong token', { method: 'POST', path: '/api/objects', headers: { ...ours, 'X-Kestrova-Token': 'f'.repeat(32) }, body: create }, 403],
    ['a form body', { method: 'POST', path: '/api/objects', headers: { ...ours, 'Content-Type': 'application/x-www-form-urlencoded' }, body: 'progid=Thalmere.Settings' }, 415],
    ['a body over the limit', { method: 'POST', path: '/api/objects', headers: ours, body: JSON.stringify({ progid: 'x'.repeat(300 * 1024) }) }, 413],
    ['a file listing without the token', { path: '/api/files?dir=/', headers: { 'X-Kestrova-Session': session } }, 403],
    ['the stream without the token', { path: `/api/sessions/${session}/stream` }, 403],
    ['a body without its length', { method: 'POST', path: '/api/objects', headers: { ...ours, 'Transfer-Encoding': 'chunked' }, body: create }, 411],
    ['a page by localhost', { path: '/Kestrova/settings.asp', headers: { Host: 'localhost:' + server.port } }, 200],
    ['a call done right', { method: 'POST', path: '/api/objects', headers: ours, body: create }, 200],
  ];
  for (const [what, request, status] of cases) {
    assert.equal((await send(request)).status, status, what);
  }
});

test('a form posted by another site changes nothing', async () => {
  // The other site: a page that posts a form and a script request to our API at once.
  const evil = http.createServer((req, res) => {
    res.setHeader('Content-Type', 'text/html');
    res.end(`<!doctype html><body>
      <form id="f" method="post" enctype="text/plain" action="http://127.0.0.1:${server.port}/api/sessions">
        <input name='{"progid":"Kestrova.ctlSettings","x":"' value='"}'></form>
      <script>
        fetch('http://127.0.0.1:${server.port}/api/objects', { method: 'POST', mode: 'no-cors',
          headers: { 'Content-Type': 'text/plain' }, body: '{"progid":"Thalmere.Settings"}' });
        document.getElementById('f').submit();
      </script></body>`);
  });
  await new Promise((r) => evil.listen(0, '127.0.0.1', r));
  const browser = await launchBrowser();
  const logBefore = server.log().length;
  try {
    const page = await browser.newPage();
    const answered = page.waitForResponse((r) => r.url().endsWith('/api/sessions'));
    await page.goto(`http://localhost:${evil.address().port}/`);
    assert.equal((await answered).status(), 403);
    assert.ok(!existsSync(path.join(home.env.XDG_CONFIG_HOME, 'Kestrova', 'settings.ini')));
    assert.doesNotMatch(server.log().slice(logBefore), /"POST \/api\/[a-z]+" 200/);
  } finally {
    await browser.close();
    evil.close();
  }
});

test('the server is not reachable on other addresses', async () => {
  const addresses = ['127.0.0.2'];
  for (const list of Object.values(os.networkInterfaces())) {
    for (const a of list ?? []) if (!a.internal && a.family === 'IPv4') addresses.push(a.address);
  }
  for (const address of addresses) {
    const refused = await new Promise((resolve) => {
      const socket = net.connect({ host: address, port: server.port, timeout: 2000 });
      socket.once('connect', () => { socket.destroy(); resolve(false); });
      socket.once('error', () => resolve(true));
      socket.once('timeout', () => { socket.destroy(); resolve(true); });
    });
    assert.ok(refused, `reachable on ${address}`);
  }
});
