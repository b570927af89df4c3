// The start page and the company page in the browser over the navigator bench's demo world of
// 10,000 companies (make it first with navigator_bench): milliseconds from the start of the
// navigation to the first paint of the navigator's tree and ticker box, and to the company
// page being ready (figures, chart and bar chart drawn), beside the maintenance page for scale.
// Medians of several page loads after one to warm up.
//
//   node bench/pages_bench.mjs [runs]      (KESTROVA_BENCH_DATA as for navigator_bench)
import path from 'node:path';
import { existsSync } from 'node:fs';
import { homeAt, startServer, launchBrowser, sqliteValue } from '../web/tests/pages/harness.mjs';

const runs = Number(process.argv[2] ?? 7);
const home = homeAt(path.join(process.env.KESTROVA_BENCH_DATA || '/tmp/kestrova-bench', 'navigator'));
const data = path.join(home.env.XDG_DATA_HOME, 'kestrova');
if (!existsSync(path.join(data, 'tc2000.db'))) {
  console.error(`pages_bench: no demo world in ${home.root}; run navigator_bench first`);
  process.exit(2);
}
const ticker = sqliteValue(path.join(data, 'SIPStatic.db'),
  'select ticker from si_ci order by ticker limit 1 offset 5000');

const server = await startServer(home, ['--quiet']);
const browser = await launchBrowser();
const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];

// Milliseconds from the navigation's start until `ready` holds in a frame about to be painted,
// in a new tab of one browser profile (as a user opens page after page). `ready` gives the
// time in that frame (performance.now()) once it holds: asked for afterwards, the time would
// wait for whatever the page runs after its paint.
const context = await browser.newContext({ viewport: { width: 1280, height: 800 } });
async function frameWhen(page, ready) {
  const painted = await page.waitForFunction(ready, null, { polling: 'raf', timeout: 30000 });
  return painted.jsonValue();
}
async function timeTo(url, ready) {
  const page = await context.newPage();
  await page.goto(url, { waitUntil: 'commit' });
  const ms = await frameWhen(page, ready);
  await page.close();
  return ms;
}

const navigatorShown = () =>
  document.querySelector('[role="treeitem"]') && !document.getElementById('nav-ticker').disabled &&
  performance.now();

// From the request that creates the navigator control to the tree and ticker box painted:
// the navigator's own part of the start page, without the loading of the page's files. The
// page's own request makes it when the page comes with it (and brings it back last).
async function navigatorOwn() {
  const page = await context.newPage();
  await page.goto(`${server.base}/Kestrova/`, { waitUntil: 'commit' });
  const painted = await frameWhen(page, navigatorShown);
  const ms = await page.evaluate((at) => {
    const created = performance.getEntriesByType('resource').find((e) => e.name.endsWith('/api/controls'));
    return at - (created?.startTime ?? performance.getEntriesByType('navigation')[0].requestStart);
  }, painted);
  await page.close();
  return ms;
}

const navigator = () => timeTo(`${server.base}/Kestrova/`, navigatorShown);
const figures = () => timeTo(`${server.base}/Kestrova/profile.asp?ticker=${ticker}`, () =>
  document.querySelector('.company-head h1') && performance.now());
const company = () => timeTo(`${server.base}/Kestrova/profile.asp?ticker=${ticker}`, () =>
  document.body.dataset.ready === 'true' && performance.now());

// For scale on this machine: the maintenance page, one control and little else.
const reference = () => timeTo(`${server.base}/Kestrova/maintenance.asp`, () =>
  document.querySelector('#ctlTasks[aria-busy="false"]') && performance.now());

try {
  for (const [name, measure, target] of [
    ['reference: the maintenance page ready', reference, null],
    ['start page: navigator tree and ticker box painted', navigator, null],
    ['  of which from creating the navigator to its paint', navigatorOwn, 150],
    [`company page ${ticker}: figures shown`, figures, null],
    [`company page ${ticker}: ready with its charts`, company, 400],
  ]) {
    await measure();
    const times = [];
    for (let i = 0; i < runs; i++) times.push(await measure());
    console.log(`${name.padEnd(56)} ${median(times).toFixed(0).padStart(5)} ms` +
      `  (min ${Math.min(...times).toFixed(0)}, max ${Math.max(...times).toFixed(0)}${target ? `; target ${target}` : ''})`);
  }
} finally {
  await browser.close();
  await server.stop();
}
