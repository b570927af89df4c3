// The settings page in a real browser: defaults, the login fields, a colour, day counts.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync, existsSync } from 'node:fs';
import path from 'node:path';
import { closeAll, makeHome, startServer, launchBrowser } from './harness.mjs';

let home, server, browser;
before(async () => {
  home = makeHome();
  server = await startServer(home);
  browser = await launchBrowser();
});
after(() => closeAll({ browser, server, home }));

const settingsFile = () => path.join(home.env.XDG_CONFIG_HOME, 'Kestrova', 'settings.ini');

async function openSettings(page) {
  await page.goto(`${server.base}/Kestrova/settings.asp`);
  await page.locator('#ctlSettings[aria-busy="false"]').waitFor();
}
const child = (page, name) => page.locator(`[data-child="${name}"]`);

async function apply(page) {
  await page.getByRole('button', { name: 'Apply' }).click();
}

test('the settings page edits, applies and reloads every kind of field', async () => {
  const page = await browser.newPage();
  await openSettings(page);

  // A fresh account shows the defaults; nothing is written by looking.
  assert.equal(await child(page, 'cmbSMTPAuthMethod').inputValue(), 'None');
  assert.ok(await child(page, 'txtSMTPUsername').isDisabled());
  assert.ok(await child(page, 'txtSMTPPassword').isDisabled());
  await page.getByRole('tab', { name: 'Colors' }).click();
  assert.equal(await child(page, 'cmbSMAColor').locator('.swatch-text').textContent(), '#FF0000');
  assert.equal(await child(page, 'cmbBGColor').locator('.swatch-text').textContent(), '#BABABA');
  await page.getByRole('tab', { name: 'Charts' }).click();
  assert.equal(await child(page, 'txtShort').inputValue(), '12');
  assert.equal(await child(page, 'txtLong').inputValue(), '50');
  assert.ok(await child(page, 'chkMedium').isChecked());
  await page.getByRole('tab', { name: 'Files' }).click();
  assert.equal(await child(page, 'txtDatabaseInstance').inputValue(), 'KESTROVA');
  assert.ok(!existsSync(settingsFile()));

  // The form is walked with Tab in the order of its fields; disabled ones are passed over.
  await page.getByRole('tab', { name: 'Alerts' }).click();
  const order = [];
  for (let i = 0; i < 6; ++i) {
    await page.keyboard.press('Tab');
    order.push(await page.evaluate(() => document.activeElement.dataset.child));
  }
  assert.deepEqual(order, ['txtSMTPServerName', 'cmbSMTPAuthMethod', 'txtEmailSenderName',
    'txtEmaiSenderAddress', 'txtEmailRecipientName', 'txtEmailRecipientAddress']);

  // "User/Password" opens the login fields; "None" empties and closes them again, and a
  // switch back brings the stored login.
  await child(page, 'txtSMTPServerName').fill('127.0.0.1:2525');
  await child(page, 'cmbSMTPAuthMethod').selectOption('User/Password');
  await page.locator('[data-child="txtSMTPUsername"]:enabled').waitFor();
  await child(page, 'txtSMTPUsername').fill('ann');
  await child(page, 'txtSMTPPassword').fill('s3cret');
  await apply(page);
  await page.getByText('Settings saved.').waitFor();
  await child(page, 'cmbSMTPAuthMethod').selectOption('None');
  await page.locator('[data-child="txtSMTPUsername"]:disabled').waitFor();
  assert.equal(await child(page, 'txtSMTPUsername').inputValue(), '');
  await child(page, 'cmbSMTPAuthMethod').selectOption('User/Password');
  await page.locator('[data-child="txtSMTPPassword"]:enabled').waitFor();
  await assertValue(page, 'txtSMTPUsername', 'ann');
  await assertValue(page, 'txtSMTPPassword', 's3cret');

  // A colour from the colour dialog, by keyboard as well as by mouse.
  await page.getByRole('tab', { name: 'Colors' }).click();
  await child(page, 'cmbSMAColor').focus();
  await page.keyboard.press('Enter');
  await page.locator('dialog.color-dialog').waitFor();
  await page.keyboard.press('ArrowRight'); // from red to yellow
  await page.keyboard.press('Enter');
  await page.locator('[data-child="cmbSMAColor"] .swatch-text', { hasText: '#FFFF00' }).waitFor();
  assert.equal(await page.evaluate(() => document.activeElement.dataset.child), 'cmbSMAColor');
  await child(page, 'cmbPriceColor').click();
  const dialog = page.locator('dialog.color-dialog');
  await dialog.waitFor();
  await dialog.getByRole('radio', { name: '#0000FF' }).click();
  await dialog.getByRole('button', { name: 'OK' }).click();
  await page.locator('[data-child="cmbPriceColor"] .swatch-text', { hasText: '#0000FF' }).waitFor();
  await child(page, 'cmbBGColor').click();
  await dialog.waitFor();
  await page.keyboard.press('Escape'); // a cancelled dialog leaves the colour
  await dialog.waitFor({ state: 'detached' });
  assert.equal(await child(page, 'cmbBGColor').locator('.swatch-text').textContent(), '#BABABA');

  // 12.5 days are stored as 12 (halves to even).
  await page.getByRole('tab', { name: 'Charts' }).click();
  await child(page, 'txtShort').fill('12.5');
  await child(page, 'chkLong').uncheck();
  await apply(page);
  await page.getByText('Settings saved.').waitFor();

  await page.reload();
  await page.locator('#ctlSettings[aria-busy="false"]').waitFor();
  assert.equal(await child(page, 'txtSMTPServerName').inputValue(), '127.0.0.1:2525');
  assert.equal(await child(page, 'cmbSMTPAuthMethod').inputValue(), 'User/Password');
  assert.equal(await child(page, 'txtSMTPUsername').inputValue(), 'ann');
  assert.equal(await child(page, 'cmbPriceColor').locator('.swatch-text').textContent(), '#0000FF');
  assert.equal(await child(page, 'txtShort').inputValue(), '12');
  assert.equal(await child(page, 'chkLong').isChecked(), false);
  await page.close();
});

async function assertValue(page, name, expected) {
  await page.waitForFunction(
    ([n, v]) => document.querySelector(`[data-child="${n}"]`).value === v, [name, expected]);
}

test('a day count that is no number is named and nothing is written', async () => {
  const page = await browser.newPage();
  await openSettings(page);
  await apply(page);
  await page.getByText('Settings saved.').waitFor();
  const before = readFileSync(settingsFile(), 'utf8');

  await child(page, 'txtSMTPServerName').fill('changed.example');
  await page.getByRole('tab', { name: 'Charts' }).click();
  await child(page, 'txtMedium').fill('30');
  await child(page, 'txtLong').fill('fifty');
  await page.getByRole('tab', { name: 'Alerts' }).click();
  await apply(page);

  const error = page.locator('[data-role="errors"]');
  await error.waitFor();
  assert.match(await error.textContent(), /Long Period: "fifty" is not a number of days/);
  // The control shows the tab of the bad field and marks it.
  await page.locator('[data-child="txtLong"][aria-invalid="true"]').waitFor();
  assert.ok(await page.locator('#page-charts').isVisible());
  assert.match(await page.locator('[data-error="txtLong"]').textContent(), /fifty/);
  assert.equal(readFileSync(settingsFile(), 'utf8'), before);

  // Mended, it applies and the mark goes.
  await child(page, 'txtLong').fill('60');
  await apply(page);
  await page.getByText('Settings saved.').waitFor();
  assert.equal(await page.locator('[data-child="txtLong"][aria-invalid]').count(), 0);
  assert.match(readFileSync(settingsFile(), 'utf8'), /Chart MA Long Days=60/);
  await page.close();
});
