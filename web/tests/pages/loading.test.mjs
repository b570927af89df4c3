// How pages load: files kept by the browser until one changes, answers sent as they are, the
// session and the figures that come with the page, and a control created and set up in one
// request whose answer holds the state the stream would have brought.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import http from 'node:http';
import path from 'node:path';
import { appendFileSync, cpSync } from 'node:fs';
import { binDir, makeHome, startServer, launchBrowser, kestrova, sqliteValue } from './harness.mjs';

let home, server, browser, webRoot, ticker;

before(async () => {
  home = makeHome();
  kestrova(home, 'demo-data', '--companies', '4', '--years', '2');
  ticker = sqliteValue(path.join(home.env.XDG_DATA_HOME, 'kestrova', 'tc2000.db'),
    "select symbol from securities where symbol not in ('SP-500', 'TNX--X') and active = 1 order by bar_count desc, worden limit 1");
  // A web root of its own, so a test can change a file in it.
  webRoot = path.join(home.root, 'web');
  cpSync(path.resolve(binDir, '../share/kestrova/web'), webRoot, { recursive: true });
  server = await startServer(home, ['--web-root', webRoot]);
  browser = await launchBrowser();
});
after(async () => {
  await browser?.close();
  await server?.stop();
  home?.cleanup();
});

// A GET with headers of our choosing, answered as it came (fetch would decompress).
function get(target, headers = {}) {
  return new Promise((resolve, reject) => {
    http.get({ host: '127.0.0.1', port: server.port, path: target, headers }, (res) => {
      let text = '';
      res.on('data', (d) => (text += d));
      res.on('end', () => resolve({ status: res.statusCode, headers: res.headers, text }));
    }).on('error', reject);
  });
}

async function pageOf(name) {
  const { text } = await get(`/Kestrova/${name}`);
  return {
    html: text,
    token: text.match(/name="kestrova-token" content="([0-9a-f]+)"/)[1],
    session: text.match(/name="kestrova-session" content="([0-9a-f]*)"/)[1],
    version: text.match(/\/Kestrova\/static\/v([0-9a-f]{16})\//)?.[1],
  };
}

async function api(page, method, target, body) {
  const response = await fetch(`${server.base}${target}`, {
    method,
    headers: { 'X-Kestrova-Token': page.token, 'X-Kestrova-Session': page.session, 'Content-Type': 'application/json' },
    body: body === undefined ? undefined : JSON.stringify(body),
  });
  return response.json();
}

test('the pages name their files by version, kept until a file changes', async () => {
  const page = await pageOf('maintenance.asp');
  assert.ok(page.version, 'the page names its files by version');
  assert.doesNotMatch(page.html, /\/Kestrova\/static\/(?!v[0-9a-f]{16}\/)/);
  const kept = await get(`/Kestrova/static/v${page.version}/kestrova.css`);
  assert.equal(kept.status, 200);
  assert.match(kept.headers['cache-control'], /immutable/);
  const plain = await get('/Kestrova/static/kestrova.css');
  assert.equal(plain.text, kept.text);
  assert.equal(plain.headers['cache-control'], 'no-cache');

  // A changed file makes a new version; the old one is still served, but not to be kept.
  appendFileSync(path.join(webRoot, 'static', 'kestrova.css'), '\n/* changed */\n');
  const again = await pageOf('maintenance.asp');
  assert.notEqual(again.version, page.version);
  const old = await get(`/Kestrova/static/v${page.version}/kestrova.css`);
  assert.equal(old.headers['cache-control'], 'no-cache');
  assert.match(old.text, /changed/);
  assert.equal((await get(`/Kestrova/static/v${page.version}/..%2Fpages%2Findex.html`)).status, 404);
});

test('answers go uncompressed, whatever the browser accepts', async () => {
  const page = await pageOf('settings.asp');
  for (const target of [`/Kestrova/static/v${page.version}/kestrova.js`, '/Kestrova/settings.asp']) {
    const answer = await get(target, { 'Accept-Encoding': 'br, gzip, deflate, zstd' });
    assert.equal(answer.status, 200, target);
    assert.equal(answer.headers['content-encoding'], undefined, target);
  }
});

test('a page comes with a session of its own that its controls use at once', async () => {
  const [a, b] = [await pageOf('chart.asp'), await pageOf('chart.asp')];
  assert.match(a.session, /^[0-9a-f]{32}$/);
  assert.notEqual(a.session, b.session);
  const created = await api(a, 'POST', '/api/controls', { progid: 'Kestrova.UserControl1' });
  assert.equal(created.class, 'UserControl1');
  // Another page's session does not reach the control.
  const other = await api(b, 'POST', `/api/objects/${created.id}`, { member: 'BarValues', kind: 'get' });
  assert.equal(other.error.number, 91);
});

test('the navigator of the start page is made while the page loads, and the page takes it', async () => {
  const page = await pageOf('');
  // Made without the page asking: it turns up as the page's first object.
  const deadline = Date.now() + 10000;
  while ((await api(page, 'POST', '/api/objects/1', { member: 'Ticker', kind: 'get' })).error) {
    assert.ok(Date.now() < deadline, 'the navigator was not made for the page');
    await new Promise((resolve) => setTimeout(resolve, 20));
  }
  const first = await api(page, 'POST', '/api/controls', { progid: 'Kestrova.ctlHierarchicalNav', attach: true });
  assert.equal(first.id, 1);
  assert.equal(first.class, 'ctlHierarchicalNav');
  assert.ok(Object.keys(first.state.FlyTreeXPro1).length >= 3, JSON.stringify(first.state.FlyTreeXPro1));
  assert.ok(first.state.cmbTicker.items.includes(ticker));
  const again = await api(page, 'POST', '/api/controls', { progid: 'Kestrova.ctlHierarchicalNav', attach: true });
  assert.equal(again.id, first.id);
  // Without attach a page gets a control of its own.
  const other = await api(page, 'POST', '/api/controls', { progid: 'Kestrova.ctlHierarchicalNav' });
  assert.notEqual(other.id, first.id);
  // Pages that name no control to make have none made.
  const plain = await pageOf('chart.asp');
  assert.equal((await api(plain, 'POST', `/api/objects/1`, { member: 'Ticker', kind: 'get' })).error.number, 91);
});

test('the start page comes with its navigator and draws it without asking, or asks when it has none', async () => {
  // The page holds the control as the request that creates it would answer.
  const { text } = await get('/Kestrova/');
  const data = text.match(/<script type="application\/json" id="kestrova-prepared">([^]*?)<\/script>/)[1];
  assert.doesNotMatch(data, /</);
  const navigator = JSON.parse(data)['Kestrova.ctlHierarchicalNav'];
  assert.equal(navigator.id, 1);
  assert.equal(navigator.class, 'ctlHierarchicalNav');
  assert.ok(navigator.state.cmbTicker.items.includes(ticker));
  assert.ok(Object.keys(navigator.state.FlyTreeXPro1).length >= 3, JSON.stringify(navigator.state.FlyTreeXPro1));
  // One another site opens comes without.
  const foreign = await get('/Kestrova/', { 'Sec-Fetch-Site': 'cross-site' });
  assert.match(foreign.text, /id="kestrova-prepared">null</);

  // The browser draws the tree and takes typing from what the page came with; a page without
  // it (as one another site opened) asks for the control, and draws the same.
  const drawn = [];
  for (const embedded of [true, false]) {
    const page = await browser.newPage();
    if (!embedded) {
      await page.route('**/Kestrova/', async (route) => {
        const response = await route.fetch();
        const body = (await response.text()).replace(/(id="kestrova-prepared">)[^]*?</, '$1null<');
        await route.fulfill({ response, body });
      });
    }
    const created = [];
    page.on('request', (r) => {
      if (new URL(r.url()).pathname === '/api/controls') created.push(r.url());
    });
    await page.goto(`${server.base}/Kestrova/`);
    await page.locator('body[data-ready="true"]').waitFor();
    assert.equal(created.length, embedded ? 0 : 1, `embedded ${embedded}`);
    drawn.push(await page.locator('[role="tree"] > [role="treeitem"] > .tree-row').allTextContents());
    // The control is there to answer: a click opens or closes a folder, typing suggests tickers.
    const folder = page.locator('[role="tree"] > [role="treeitem"]').last();
    const was = await folder.getAttribute('aria-expanded');
    await folder.locator(':scope > .tree-row').click();
    await page.waitForFunction((w) =>
      document.querySelector('[role="tree"] > [role="treeitem"]:last-child').getAttribute('aria-expanded') !== w, was);
    await page.locator('#nav-ticker').fill(ticker.slice(0, 2));
    await page.locator('#nav-suggestions [role="option"]', { hasText: ticker }).first().waitFor();
    await page.close();
  }
  assert.deepEqual(drawn[0], drawn[1]);
  assert.ok(drawn[0].length >= 3, JSON.stringify(drawn[0]));
});

test('a page another site opens comes with nothing, and asks for its session itself', async () => {
  const { text } = await get(`/Kestrova/profile.asp?ticker=${ticker}`, { 'Sec-Fetch-Site': 'cross-site' });
  assert.match(text, /name="kestrova-session" content=""/);
  assert.match(text, /id="company-data">null</);
  const index = await get('/Kestrova/', { 'Sec-Fetch-Site': 'same-site' });
  assert.match(index.text, /name="kestrova-session" content=""/);

  // Such a page still works: the browser opens it from another site's link.
  const page = await browser.newPage();
  await page.route('**/Kestrova/profile.asp*', async (route) => {
    const headers = { ...route.request().headers(), 'sec-fetch-site': 'cross-site' };
    await route.fulfill({ response: await route.fetch({ headers }) });
  });
  await page.goto(`${server.base}/Kestrova/profile.asp?ticker=${ticker}`);
  await page.locator('body[data-ready="true"]').waitFor();
  assert.equal(await page.locator('meta[name="kestrova-session"]').getAttribute('content'), '');
  assert.match(await page.locator('.company-head h1').textContent(), /\S/);
  assert.match(await page.locator('.ohlc-graph .chart-image').getAttribute('src'), /^data:image\/svg\+xml;base64,/);
  await page.close();
});

test('a control is set up in the request that creates it, up to the first step that fails', async () => {
  const page = await pageOf('chart.asp');
  const created = await api(page, 'POST', '/api/controls', {
    progid: 'Kestrova.ctlOHLCGraph',
    setup: [
      { child: 'UserControl', event: 'resize', value: [480, 300] },
      { member: 'Days', kind: 'let', args: [120] },
      { member: 'Symbol', kind: 'let', args: [ticker] },
    ],
  });
  assert.equal(created.failed, undefined);
  const chart = created.state.tchChart;
  assert.deepEqual([chart.width, chart.height], [480, 300]);
  assert.ok(chart.caption.startsWith(`${ticker} (`), chart.caption);
  // The picture's bytes come whole, in canonical base64 (padding included).
  const bytes = Buffer.from(chart.image.$bytes, 'base64');
  assert.equal(bytes.toString('base64'), chart.image.$bytes);
  assert.match(bytes.toString(), /<svg[^>]*width="480[^]*<\/svg>\s*$/);

  // The stream does not bring the pictures the setup drew on its way: the first state of the
  // control on it is the next change (the readout of a day under the pointer).
  const controller = new AbortController();
  const stream = await fetch(`${server.base}/api/sessions/${page.session}/stream?token=${page.token}`,
    { signal: controller.signal });
  await api(page, 'POST', `/api/controls/${created.id}/events`, { child: 'tchChart', event: 'mousemove', value: [300, 150] });
  const reader = stream.body.getReader();
  let text = '';
  let first = null;
  while (!first) {
    const { value, done } = await reader.read();
    assert.ok(!done, 'the stream ended');
    text += Buffer.from(value).toString();
    first = text.split('\n\n').filter((m) => m.startsWith('event: state'))
      .map((m) => JSON.parse(m.slice(m.indexOf('data: ') + 6)))
      .find((m) => m.control === created.id) ?? null;
  }
  controller.abort();
  assert.equal(first.patch.tchChart, undefined);
  assert.ok(first.patch.lblReadout, JSON.stringify(first.patch));

  // A step that fails is named; those after it do not run, and the control is there.
  const failing = await api(page, 'POST', '/api/controls', {
    progid: 'Kestrova.ctlOHLCGraph',
    setup: [
      { member: 'Days', kind: 'let', args: ['many'] },
      { member: 'Symbol', kind: 'let', args: [ticker] },
    ],
  });
  assert.equal(failing.failed.step, 0);
  assert.equal(failing.failed.number, 13);
  assert.ok(!failing.state.tchChart.caption.startsWith(ticker), failing.state.tchChart.caption);
  const symbol = await api(page, 'POST', `/api/objects/${failing.id}`, { member: 'Symbol', kind: 'get' });
  assert.equal(symbol.result, '');
});

test('the company page draws its controls after one request for each', async () => {
  const page = await browser.newPage({ viewport: { width: 1280, height: 800 } });
  const asked = [];
  page.on('request', (r) => {
    const url = new URL(r.url());
    if (url.pathname.startsWith('/api/') && !url.pathname.endsWith('/stream')) asked.push(`${r.method()} ${url.pathname}`);
  });
  await page.goto(`${server.base}/Kestrova/profile.asp?ticker=${ticker}`);
  await page.locator('body[data-ready="true"]').waitFor();
  const untilReady = [...asked];
  assert.match(await page.locator('.ohlc-graph .chart-image').getAttribute('src'), /^data:image\/svg\+xml;base64,/);
  const controls = await page.locator('.ohlc-graph, .bar-chart').count();
  assert.ok(controls >= 1);
  // The figures came with the page.
  assert.deepEqual(untilReady, Array(controls).fill('POST /api/controls'));
  await page.close();
});

test('the figures a page comes with cannot end their element, whatever the address holds', async () => {
  const typed = '</script><script>document.body.dataset.broken=1</script><!--';
  const { text } = await get(`/Kestrova/profile.asp?ticker=${encodeURIComponent(typed)}`);
  const data = text.match(/<script type="application\/json" id="company-data">([^]*?)<\/script>/)[1];
  assert.doesNotMatch(data, /</);
  const figures = JSON.parse(data);
  assert.equal(figures.found, false);
  assert.equal(figures.ticker, typed.toUpperCase());

  const page = await browser.newPage();
  await page.goto(`${server.base}/Kestrova/profile.asp?ticker=${encodeURIComponent(typed)}`);
  await page.locator('body[data-ready="true"]').waitFor();
  assert.equal(await page.locator('.unknown-ticker strong').textContent(), typed.toUpperCase());
  assert.equal(await page.evaluate(() => document.body.dataset.broken), undefined);
  await page.close();
});
