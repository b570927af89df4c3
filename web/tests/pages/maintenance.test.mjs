// The maintenance page in a real browser: batch runs with their status and progress, backup
// and restore through the file dialog, and a failed run that leaves the page usable.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { existsSync } from 'node:fs';
import path from 'node:path';
import { makeHome, startServer, launchBrowser, kestrova, sqliteValue } from './harness.mjs';

let browser;
before(async () => {
  browser = await launchBrowser();
});
after(async () => {
  await browser?.close();
});

// A home with a small demo world and a server on it.
async function world({ demo = true } = {}) {
  const home = makeHome();
  if (demo) kestrova(home, 'demo-data', '--companies', '150', '--years', '2');
  const server = await startServer(home);
  const ledra = path.join(home.env.XDG_DATA_HOME, 'kestrova', 'Ledra.db');
  return {
    home, server, ledra,
    async end() {
      assert.equal(await server.stop(), 0);
      home.cleanup();
    },
  };
}

async function openTasks(base) {
  const page = await browser.newPage();
  await page.goto(`${base}/Kestrova/maintenance.asp`);
  await page.locator('#ctlTasks[aria-busy="false"]').waitFor();
  // Everything the status line and the progress bar show, as it happens.
  await page.evaluate(() => {
    window.seen = { status: [], progress: [] };
    const line = document.querySelector('[data-child="lblStatus"]');
    const bar = document.querySelector('[data-child="pgProgress"]');
    new MutationObserver(() => window.seen.status.push(line.textContent))
      .observe(line, { childList: true, characterData: true, subtree: true });
    new MutationObserver(() => window.seen.progress.push(bar.value))
      .observe(bar, { attributes: true });
  });
  return page;
}
const child = (page, name) => page.locator(`[data-child="${name}"]`);
const idle = (page) => page.locator('#ctlTasks[aria-busy="false"]').waitFor();

test('selected tasks run with status and progress and rebuild their tables', async () => {
  const w = await world();
  const page = await openTasks(w.server.base);
  await child(page, 'chkCalcEVA').check();
  await child(page, 'chkCalcComposite').check();
  await child(page, 'btnPerformTasks').click();
  await page.locator('#ctlTasks[aria-busy="true"]').waitFor();
  assert.ok(await child(page, 'btnPerformTasks').isDisabled());
  await idle(page);
  await page.waitForFunction(() => !document.querySelector('[data-child="chkCalcEVA"]').checked);

  const seen = await page.evaluate(() => window.seen);
  assert.ok(new Set(seen.status).size >= 2, `status texts: ${seen.status}`);
  assert.ok(seen.progress.some((v) => v > 0), `progress: ${seen.progress}`);
  assert.ok(!(await child(page, 'chkCalcComposite').isChecked()));
  assert.ok(await child(page, 'frmStatus').isHidden());
  assert.ok(Number(sqliteValue(w.ledra, 'select count(*) from si_eva')) > 0);
  assert.ok(Number(sqliteValue(w.ledra, 'select count(*) from si_composite')) > 0);
  await page.close();
  await w.end();
});

test('backup asks for a file, a cancel gives the message, and a backup restores', async () => {
  const w = await world();
  const page = await openTasks(w.server.base);

  // No name: the Save dialog; Cancel leaves the name empty and the backup refuses it.
  await child(page, 'txtBackupFileName').fill('');
  await child(page, 'btnBackupNow').click();
  const save = page.locator('dialog.file-dialog');
  await save.waitFor();
  assert.equal(await save.locator('h2').textContent(), 'Save As');
  assert.match(await save.locator('select').textContent(), /Kestrova Backup \(\*\.bkp\)/);
  await save.getByRole('button', { name: 'Cancel' }).click();
  const box = page.locator('dialog.msgbox');
  await box.waitFor();
  assert.equal(await box.locator('.prompt').textContent(),
    'You must provide a valid filename in order to backup the Kestrova Database');
  await box.getByRole('button', { name: 'OK' }).click();
  await idle(page);
  assert.equal(await child(page, 'txtBackupFileName').inputValue(), '');

  // A name picked in the dialog: the folder is browsed and the extension added.
  kestrova(w.home, 'calc', 'lists');
  await child(page, 'btnBrowseBackupFile').click();
  await save.waitFor();
  await save.locator('.place').fill(w.home.root);
  await save.locator('.place').press('Enter');
  await save.locator('li.folder', { hasText: 'data' }).waitFor();
  await save.locator('.file-name').fill('nightly');
  await save.getByRole('button', { name: 'Save' }).click();
  const file = path.join(w.home.root, 'nightly.bkp');
  await page.waitForFunction((f) => document.querySelector('[data-child="txtBackupFileName"]').value === f, file);
  await child(page, 'btnBackupNow').click();
  await idle(page);
  await page.waitForFunction(() => document.querySelector('[data-child="frmStatus"]').hidden);
  assert.ok(existsSync(file));
  const lists = sqliteValue(w.ledra, 'select count(*) from tc2klist');
  assert.ok(Number(lists) > 0);

  // Change the database, then restore the backup from the Open dialog.
  sqliteValue(w.ledra, 'delete from tc2klist');
  await child(page, 'btnBrowseRestoreFile').click();
  const open = page.locator('dialog.file-dialog');
  await open.waitFor();
  assert.equal(await open.locator('h2').textContent(), 'Open');
  await open.locator('.place').fill(w.home.root);
  await open.locator('.place').press('Enter');
  await open.locator('li.file', { hasText: 'nightly.bkp' }).dblclick();
  await page.waitForFunction((f) => document.querySelector('[data-child="txtRestoreFileName"]').value === f, file);
  await child(page, 'btnRestoreNow').click();
  await idle(page);
  await page.waitForFunction(() => document.querySelector('[data-child="frmStatus"]').hidden);
  assert.equal(await page.locator('dialog.msgbox').count(), 0);
  assert.equal(sqliteValue(w.ledra, 'select count(*) from tc2klist'), lists);
  await page.close();
  await w.end();
});

test('a run that fails shows its error and leaves the page usable', async () => {
  const w = await world({ demo: false }); // no price data: the runs cannot start
  const page = await openTasks(w.server.base);
  await child(page, 'chkCalcLists').check();
  await child(page, 'chkCalcEVA').check();
  await child(page, 'btnPerformTasks').click();
  const status = page.locator('.status.failed');
  await status.waitFor();
  await idle(page);
  assert.match(await child(page, 'lblStatus').textContent(), /^Calculate TC2000 Lists failed: /);
  assert.ok(!(await page.locator('#ctlTasks').evaluate((e) => e.classList.contains('hourglass'))));
  assert.ok(await child(page, 'chkCalcLists').isChecked());
  assert.ok(await child(page, 'chkCalcEVA').isChecked());
  assert.ok(await child(page, 'btnPerformTasks').isEnabled());
  // Still usable: another task starts.
  await child(page, 'btnCalcEVANow').click();
  await page.locator('[data-child="lblStatus"]', { hasText: /^Calculate EVA Values failed: / }).waitFor();
  await idle(page);
  assert.ok(await child(page, 'btnCalcEVANow').isEnabled());
  await page.close();
  await w.end();
});

test('a reloaded page takes back its control, and a stop ends a waiting dialog', async () => {
  const w = await world({ demo: false });
  let page = await openTasks(w.server.base);
  await child(page, 'txtRestoreFileName').fill('/tmp/keep.bkp');
  await child(page, 'txtBackupFileName').fill('');
  await child(page, 'btnBackupNow').click();
  await page.locator('dialog.file-dialog').waitFor();

  // The reload cancels the open dialog; the backup goes on without a name and says so in
  // the new page, which shows what was typed before.
  await page.reload();
  await page.locator('#ctlTasks[aria-busy]').waitFor();
  const box = page.locator('dialog.msgbox');
  await box.waitFor();
  assert.match(await box.locator('.prompt').textContent(), /valid filename in order to backup/);
  await box.getByRole('button', { name: 'OK' }).click();
  await idle(page);
  assert.equal(await child(page, 'txtRestoreFileName').inputValue(), '/tmp/keep.bkp');

  // The server stops cleanly while a control waits on a dialog of the page.
  await child(page, 'btnBrowseRestoreFile').click();
  await page.locator('dialog.file-dialog').waitFor();
  await page.close();
  await w.end();
});
