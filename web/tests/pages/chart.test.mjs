// The chart controls in a real browser, on the chart page over a small demo world: the
// picture, the hover readout, the Chart Options dialog (Apply, OK, Cancel, Escape) and the
// bar chart with its saved title.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import path from 'node:path';
import { closeAll, makeHome, startServer, launchBrowser, kestrova, sqliteValue } from './harness.mjs';

let home, server, browser, ticker;

before(async () => {
  home = makeHome();
  kestrova(home, 'demo-data', '--companies', '12', '--years', '7');
  ticker = sqliteValue(path.join(home.env.XDG_DATA_HOME, 'kestrova', 'tc2000.db'),
    "select symbol from securities where symbol not in ('SP-500', 'TNX--X') and active = 1 order by bar_count desc, worden limit 1");
  server = await startServer(home);
  browser = await launchBrowser();
});
after(() => closeAll({ browser, server, home }));

async function openChart(page, query) {
  await page.goto(`${server.base}/Kestrova/chart.asp?${query}`);
  await page.locator('body[data-ready="true"]').waitFor();
}
const picture = (page) => page.locator('.ohlc-graph .chart-picture');
const source = (page) => page.locator('.ohlc-graph .chart-image').getAttribute('src');
const dialog = (page) => page.locator('dialog.chart-options');
const selected = (page, child) =>
  dialog(page).locator(`[data-child="${child}"]`).evaluate((s) => s.selectedOptions[0]?.textContent ?? '');

// Waits until the chart's picture is another than `before` and names `title`.
async function redrawnAs(page, before, title) {
  await page.waitForFunction(
    ([old, text]) => {
      const box = document.querySelector('.ohlc-graph .chart-picture');
      const img = box.querySelector('img');
      return img.src !== old && box.getAttribute('aria-label').startsWith(text);
    },
    [before, title],
  );
}

test('the chart fills its box, reads out the day under the pointer and opens its options', async () => {
  const page = await browser.newPage({ viewport: { width: 1280, height: 800 } });
  await openChart(page, `ticker=${ticker}`);
  assert.match(await source(page), /^data:image\/svg\+xml;base64,/);
  assert.match(await picture(page).getAttribute('aria-label'), new RegExp(`^${ticker} \\(`));

  // The picture is drawn at the box's own size.
  const box = await page.locator('.ohlc-graph .chart-box').boundingBox();
  const drawn = await page.evaluate(() => {
    const svg = atob(document.querySelector('.ohlc-graph .chart-image').src.split(',')[1]);
    return svg.match(/<svg[^>]*\swidth="([\d.]+)/)[1];
  });
  assert.equal(Math.round(Number(drawn)), Math.round(box.width));

  const area = await picture(page).boundingBox();
  await page.mouse.move(area.x + area.width * 0.6, area.y + area.height * 0.5);
  const readout = page.locator('.chart-readout:not(.hint)');
  await readout.waitFor();
  assert.match(await readout.textContent(), /^[A-Z][a-z]{2} \d+, \d{4} +O [\d,.]+ +H [\d,.]+ +L [\d,.]+ +C [\d,.]+ +V [\d,]+$/);
  await page.mouse.move(area.x - 20, area.y - 20);
  await page.locator('.chart-readout.hint').waitFor();

  // The dialog opens on what the chart shows.
  await picture(page).click();
  await dialog(page).and(page.locator('[open]')).waitFor();
  assert.equal(await dialog(page).locator('h2').textContent(), 'Chart Options');
  assert.equal(await dialog(page).locator('.hint').textContent(), `Adjust Settings for Chart: ${ticker}`);
  assert.equal(await selected(page, 'cmbChart'), 'Price');
  assert.equal(await selected(page, 'cmbDays'), '1 Year');
  assert.equal(await selected(page, 'cmbFrequency'), 'daily');

  // Apply: the chart changes and the dialog stays.
  await dialog(page).locator('[data-child="cmbDays"]').selectOption('6 Years');
  await dialog(page).locator('[data-child="cmbFrequency"]').selectOption('weekly');
  await dialog(page).locator('[data-child="cmbChart"]').selectOption('Price to Book');
  const daily = await source(page);
  await dialog(page).getByRole('button', { name: 'Apply' }).click();
  await redrawnAs(page, daily, `Price to Book: ${ticker}`);
  assert.ok(await dialog(page).evaluate((d) => d.open), 'the dialog stays open after Apply');

  // OK applies again and closes; the focus goes back to the chart.
  await dialog(page).locator('[data-child="cmbChart"]').selectOption('Price to Sales');
  const book = await source(page);
  await dialog(page).getByRole('button', { name: 'OK' }).click();
  await redrawnAs(page, book, `Price to Sales: ${ticker}`);
  await page.waitForFunction(() => !document.querySelector('dialog.chart-options').open);
  assert.ok(await picture(page).evaluate((el) => el === document.activeElement));

  // Cancel after Apply keeps what Apply did; Escape cancels what was only chosen. The
  // keyboard opens the dialog as the mouse does.
  await page.keyboard.press('Enter');
  await page.waitForFunction(() => document.querySelector('dialog.chart-options').open);
  assert.equal(await selected(page, 'cmbDays'), '6 Years');
  assert.equal(await selected(page, 'cmbFrequency'), 'weekly');
  await dialog(page).locator('[data-child="cmbChart"]').selectOption('Price');
  await dialog(page).locator('[data-child="cmbDays"]').selectOption('3 Months');
  const sales = await source(page);
  await dialog(page).getByRole('button', { name: 'Apply' }).click();
  await redrawnAs(page, sales, `${ticker} (`);
  await dialog(page).getByRole('button', { name: 'Cancel' }).click();
  await page.waitForFunction(() => !document.querySelector('dialog.chart-options').open);
  await picture(page).click();
  await page.waitForFunction(() => document.querySelector('dialog.chart-options').open);
  assert.equal(await selected(page, 'cmbDays'), '3 Months');
  assert.equal(await selected(page, 'cmbChart'), 'Price');
  await dialog(page).locator('[data-child="cmbDays"]').selectOption('8 Years');
  await page.keyboard.press('Escape');
  await page.waitForFunction(() => !document.querySelector('dialog.chart-options').open);
  await picture(page).click();
  await page.waitForFunction(() => document.querySelector('dialog.chart-options').open);
  assert.equal(await selected(page, 'cmbDays'), '3 Months');
  await page.close();
});

test('the bar chart draws the values it is given and keeps its title for the page', async () => {
  const page = await browser.newPage({ viewport: { width: 800, height: 1000 } });
  await openChart(page, `ticker=${ticker}&bars=5,%20,7&labels=a,b,c&title=Ratings`);
  const bars = page.locator('.bar-chart .chart-image');
  assert.equal(await bars.getAttribute('alt'), 'Ratings');
  assert.match(await bars.getAttribute('src'), /^data:image\/svg\+xml;base64,/);
  assert.equal(await page.locator('.bar-chart [data-role="errors"]').isHidden(), true);

  // Saved under its name, the title comes back on a page that gives none.
  const saved = await page.evaluate(() => localStorage.getItem('kestrova.UserControl1.chart-page'));
  assert.deepEqual(JSON.parse(saved), [['XLegend', 'Ratings']]);
  await openChart(page, `ticker=${ticker}&bars=1,2&labels=x,y`);
  await page.waitForFunction(() => document.querySelector('.bar-chart .chart-image').alt === 'Ratings');

  // A field that is no number is the control's error, shown in its panel.
  await openChart(page, `ticker=${ticker}&bars=1,two&labels=x,y`);
  const error = page.locator('.bar-chart [data-role="errors"]');
  await error.waitFor();
  assert.match(await error.textContent(), /two|type/i);
  await page.close();
});
