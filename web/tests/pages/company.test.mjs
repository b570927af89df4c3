// The start page's navigator, the company page and the alerts page in a real browser, over a
// small demo world.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdirSync, readFileSync, writeFileSync } from 'node:fs';
import path from 'node:path';
import { closeAll, makeHome, startServer, launchBrowser, kestrova, sqliteValue } from './harness.mjs';

let home, server, browser;
const dataFile = (name) => path.join(home.env.XDG_DATA_HOME, 'kestrova', `${name}.db`);
const companyOf = (ticker) =>
  sqliteValue(dataFile('SIPStatic'), `select company from si_ci where ticker = '${ticker}'`);

before(async () => {
  home = makeHome();
  kestrova(home, 'demo-data', '--companies', '40', '--years', '1');
  server = await startServer(home);
  browser = await launchBrowser();
});
after(() => closeAll({ browser, server, home }));

async function openStart(page) {
  await page.goto(`${server.base}/Kestrova/`);
  await page.locator('body[data-ready="true"]').waitFor();
}
const companyHeading = (page) => page.locator('.company-head h1');

test('sector, industry and stock in the tree open the company page; so does a typed ticker', async () => {
  const page = await browser.newPage();
  await openStart(page);

  // A stock of the demo world and the sector and industry lists that hold it.
  const [ticker, sectorName, industryName] = sqliteValue(dataFile('SIPStatic'),
    `select c.ticker, s.mg_desc, i.mg_desc from si_ci c join si_mgdsc s on s.mg_code = c.ind_2_dig
     join si_mgdsc i on i.mg_code = c.ind_3_dig order by c.ticker limit 1`).split('|');
  const item = (scope, level, text) => scope.locator(`[role="treeitem"][aria-level="${level}"]`, {
    has: page.locator(':scope > .tree-row > .tree-label', { hasText: new RegExp(`^${text}\\s*$`) }),
  });
  const allSectors = item(page, 1, 'All Sectors');
  await allSectors.locator('> .tree-row').click();
  const sector = item(allSectors, 2, sectorName);
  await sector.locator('> .tree-row').click();
  assert.equal(await sector.getAttribute('aria-expanded'), 'true');
  // The industry's members come from the server on its first click.
  const industry = item(sector, 3, industryName);
  await industry.locator('> .tree-row').click();
  const stock = item(industry, 4, ticker);
  await stock.waitFor();
  await stock.click();
  await page.waitForURL(`**/Kestrova/?ticker=${ticker}`);
  await companyHeading(page).filter({ hasText: companyOf(ticker) }).waitFor();

  // Keyboard: the industry closes with ArrowLeft and opens again with ArrowRight, from the
  // members already loaded.
  await industry.focus();
  await page.keyboard.press('ArrowLeft');
  await page.waitForFunction((el) => el.getAttribute('aria-expanded') === 'false', await industry.elementHandle());
  await page.keyboard.press('ArrowRight');
  await page.waitForFunction((el) => el.getAttribute('aria-expanded') === 'true', await industry.elementHandle());
  await stock.waitFor();

  // A ticker typed in the box and taken with Enter, whether the list suggests it or not.
  const other = sqliteValue(dataFile('SIPStatic'), `select ticker from si_ci where ticker <> '${ticker}' order by ticker limit 1`);
  const box = page.getByRole('combobox', { name: 'Ticker' });
  await box.fill(other);
  await page.getByRole('option', { name: other, exact: true }).waitFor();
  await box.press('Enter');
  await page.waitForURL(`**/Kestrova/?ticker=${other}`);
  await companyHeading(page).filter({ hasText: companyOf(other) }).waitFor();

  // The header's ticker box shows the company beside the navigator as well.
  await page.getByRole('searchbox', { name: 'Ticker' }).fill(ticker.toLowerCase());
  await page.getByRole('searchbox', { name: 'Ticker' }).press('Enter');
  await page.waitForURL(`**/Kestrova/?ticker=${ticker.toLowerCase()}`);
  await companyHeading(page).filter({ hasText: companyOf(ticker) }).waitFor();
  assert.ok(await page.getByRole('tree').isVisible());

  // Two stocks picked quickly: the page ends on the second even when the first one's figures
  // come last.
  let releaseFirst;
  const firstHeld = new Promise((resolve) => (releaseFirst = resolve));
  await page.route(`**/api/company?ticker=${ticker}`, async (route) => {
    await firstHeld;
    await route.continue();
  });
  await box.fill(ticker);
  await box.press('Enter');
  await box.fill(other);
  await box.press('Enter');
  await companyHeading(page).filter({ hasText: companyOf(other) }).waitFor();
  const answered = page.waitForResponse(`**/api/company?ticker=${ticker}`);
  releaseFirst();
  await answered;
  await page.evaluate(() => new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve))));
  assert.equal(await companyHeading(page).textContent(), companyOf(other));
  await page.unroute(`**/api/company?ticker=${ticker}`);

  await box.fill('NOSUCH');
  await box.press('Enter');
  await page.getByText('No company has the ticker NOSUCH.').waitFor();
  await page.close();
});

test('below 900 px the navigator is the page until a stock is picked, then a drawer', async () => {
  const context = await browser.newContext({ viewport: { width: 800, height: 1000 } });
  const page = await context.newPage();
  await openStart(page);
  const tree = page.getByRole('tree');
  assert.ok(await tree.isVisible());
  const ticker = sqliteValue(dataFile('SIPStatic'), 'select ticker from si_ci order by ticker limit 1 offset 2');
  const box = page.getByRole('combobox', { name: 'Ticker' });
  await box.fill(ticker);
  await box.press('Enter');
  await companyHeading(page).filter({ hasText: companyOf(ticker) }).waitFor();
  const toggle = page.getByRole('button', { name: '☰ Navigator' });
  await page.waitForFunction(() => document.getElementById('navigator').getBoundingClientRect().right <= 0);
  await toggle.click();
  await page.waitForFunction(() => document.getElementById('navigator').getBoundingClientRect().left >= 0);
  assert.equal(await toggle.getAttribute('aria-expanded'), 'true');
  // Escape closes it and gives the focus back to the toggle.
  await page.keyboard.press('Escape');
  await page.waitForFunction(() => document.getElementById('navigator').getBoundingClientRect().right <= 0);
  assert.equal(await toggle.evaluate((el) => el === document.activeElement), true);
  await context.close();
});

test('alerts and notes are kept from the company page, and the profile downloads', async () => {
  const page = await browser.newPage();
  const ticker = sqliteValue(dataFile('SIPStatic'), 'select ticker from si_ci order by ticker limit 1 offset 3');
  await page.goto(`${server.base}/Kestrova/profile.asp?ticker=${ticker.toLowerCase()}`);
  await companyHeading(page).filter({ hasText: companyOf(ticker) }).waitFor();

  const alerts = page.locator('.alerts-panel');
  const notes = page.locator('.notes-panel');
  const form = alerts.locator('form');
  // A form without limits is refused in words.
  await form.getByRole('button', { name: 'Add alert' }).click();
  await alerts.getByText('Give a high limit, a low limit or both.').waitFor();

  // The chart draws the alert limits: it is drawn again once they change.
  const chartImage = page.locator('.chart-panel img.chart-image');
  await page.waitForFunction((img) => img.src.startsWith('data:'), await chartImage.elementHandle());
  const chartBefore = await chartImage.getAttribute('src');

  await form.getByLabel('High limit').fill('250.5');
  await form.getByLabel('Low limit').fill('10');
  await form.getByLabel('Note (kept with the change)').fill('watch the earnings');
  await form.getByRole('button', { name: 'Add alert' }).click();
  await alerts.locator('tbody tr', { hasText: '250.50' }).filter({ hasText: '10.00' }).waitFor();
  await notes.getByText(/Alert Added Highprice: 250\.50 {2}LowPrice: 10\.00 {2}Note: watch the earnings/).waitFor();
  await page.waitForFunction(([img, before]) => img.src !== before, [await chartImage.elementHandle(), chartBefore]);

  await alerts.getByRole('button', { name: 'Change' }).click();
  assert.equal(await form.getByLabel('High limit').inputValue(), '250.5');
  await form.getByLabel('High limit').fill('300');
  await form.getByRole('button', { name: 'Save changes' }).click();
  await alerts.locator('tbody tr', { hasText: '300.00' }).waitFor();
  await notes.getByText(/Alert Updated Highprice: 300\.00/).waitFor();
  assert.equal(await alerts.locator('tbody tr').count(), 1);

  // A value that is no number is the object's error, shown in the form.
  await alerts.getByRole('button', { name: 'Change' }).click();
  await form.getByLabel('Low limit').fill('abc');
  await form.getByRole('button', { name: 'Save changes' }).click();
  await form.locator('.field-error:not([hidden])').waitFor();
  await form.getByRole('button', { name: 'Cancel' }).click();

  // Delete asks once more before it goes.
  await alerts.getByRole('button', { name: 'Delete' }).click();
  await alerts.getByRole('button', { name: 'Delete?' }).click();
  await alerts.getByText(`No price alerts on ${ticker}.`).waitFor();
  await notes.getByText(/Alert Deleted/).waitFor();

  // Alerts are found by their symbol: two on one stock are deleted together and not changed
  // one by one.
  for (const high of ['400', '450']) {
    await form.getByLabel('High limit').fill(high);
    await form.getByRole('button', { name: 'Add alert' }).click();
    await alerts.locator('tbody tr', { hasText: `${high}.00` }).waitFor();
  }
  assert.equal(await alerts.getByRole('button', { name: 'Change' }).count(), 0);
  await alerts.getByRole('button', { name: 'Delete all 2' }).click();
  await alerts.getByRole('button', { name: 'Delete all 2?' }).click();
  await alerts.getByText(`No price alerts on ${ticker}.`).waitFor();

  await notes.getByLabel('New note').fill('Management changed <b>again</b>');
  await notes.getByRole('button', { name: 'Add note' }).click();
  // The text shown as written; newest first (notes of one second may come in either order).
  await notes.locator('ol.notes li').getByText('Management changed <b>again</b>', { exact: true }).waitFor();
  assert.equal(await notes.locator('ol.notes li').count(), 7);
  const dates = await notes.locator('ol.notes time').evaluateAll((times) => times.map((t) => t.dateTime));
  assert.deepEqual(dates, [...dates].sort().reverse());

  const [download] = await Promise.all([
    page.waitForEvent('download'),
    page.getByRole('link', { name: 'Profile PDF' }).click(),
  ]);
  const file = path.join(home.root, 'profile.pdf');
  await download.saveAs(file);
  assert.equal(readFileSync(file).subarray(0, 5).toString(), '%PDF-');
  assert.match(execFileSync('pdfinfo', [file], { encoding: 'utf8' }), /^Pages:\s+1$/m);
  await page.close();
});

test('an unknown ticker gets a page that says so', async () => {
  const page = await browser.newPage();
  const response = await page.goto(`${server.base}/Kestrova/profile.asp?ticker=ZZZZ9`);
  assert.equal(response.status(), 200);
  await page.getByRole('heading', { name: 'Unknown ticker' }).waitFor();
  await page.getByText('No company has the ticker ZZZZ9.').waitFor();
  assert.equal(await page.getByRole('link', { name: 'Profile PDF' }).count(), 0);
  const pdf = await fetch(`${server.base}/Kestrova/profile.pdf?ticker=ZZZZ9`);
  assert.equal(pdf.status, 404);
  await page.close();
});

test('the alerts page lists every alert and shows the mail the check would send', async () => {
  const page = await browser.newPage();
  const [a, b] = sqliteValue(dataFile('SIPStatic'), 'select ticker from si_ci order by ticker limit 2 offset 5').split('\n');
  // One alert that has fired (a high limit of 1) and one that has not.
  for (const [ticker, high, low] of [[a, '1', '0'], [b, '0', '0.5']]) {
    await page.goto(`${server.base}/Kestrova/profile.asp?ticker=${ticker}`);
    const form = page.locator('.alerts-panel form');
    await form.getByLabel('High limit').fill(high);
    await form.getByLabel('Low limit').fill(low);
    await form.getByRole('button', { name: 'Add alert' }).click();
    await page.locator('.alerts-panel tbody tr').waitFor();
  }
  await page.goto(`${server.base}/Kestrova/alerts.asp`);
  await page.locator('body[data-ready="true"]').waitFor();
  const rows = page.locator('table.alerts tbody tr');
  assert.equal(await rows.count(), 2);
  assert.match(await rows.nth(0).textContent(), new RegExp(`^${a}${companyOf(a)}`));
  assert.equal(await rows.nth(0).locator('.fired').count(), 1);
  assert.equal(await rows.nth(1).locator('.fired').count(), 0);

  // Check now: the quotes come from this server's quote service.
  writeIni();
  await page.getByRole('button', { name: 'Check now' }).click();
  await page.getByText('Not sent: 2 checked, 1 fired.').waitFor();
  const mail = page.locator('.mail-preview');
  await mail.getByRole('link', { name: a }).waitFor();
  assert.equal(await mail.getByText('ABOVE', { exact: true }).count(), 1);
  assert.equal(await mail.getByRole('link', { name: b }).count(), 0);
  assert.match(await mail.getByRole('link', { name: a }).getAttribute('href'),
    new RegExp(`/Kestrova/profile\\.asp\\?ticker=${a}$`));
  await page.close();
});

// The check reads quotes from the quote service and links to the pages of this server.
function writeIni() {
  const dir = path.join(home.env.XDG_CONFIG_HOME, 'Kestrova');
  mkdirSync(dir, { recursive: true });
  writeFileSync(path.join(dir, 'kestrova.ini'), `[quotes]\nurl = ${server.base}\n[web]\nurl = ${server.base}\n`);
}
