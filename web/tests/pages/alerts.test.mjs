// The alert check end to end on the demo world: alerts kept through the automation endpoint,
// quotes from kestrova-web's quote service, the mail received by a real SMTP server.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, execFileSync } from 'node:child_process';
import { mkdirSync, writeFileSync, readFileSync, existsSync } from 'node:fs';
import path from 'node:path';
import { makeHome, startServer, kestrova, binDir, pageToken, sqliteValue } from './harness.mjs';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));

const smtpSink = path.resolve(here, '../../../platform/net/tests/smtp_sink.py');

function startSmtp(dir) {
  return new Promise((resolve, reject) => {
    const child = spawn('/usr/bin/python3', [smtpSink, dir, 'user', 'password'], { stdio: ['pipe', 'pipe', 'inherit'] });
    child.stdout.once('data', (d) => resolve({ port: Number(String(d).trim()), stop: () => child.stdin.end() }));
    child.once('exit', (code) => reject(new Error(`the SMTP server ended (${code})`)));
  });
}

// A page's view of the endpoint, from node.
async function endpoint(base) {
  const token = await pageToken(base);
  const post = async (target, body, session) => {
    const headers = { 'X-Kestrova-Token': token, 'Content-Type': 'application/json' };
    if (session) headers['X-Kestrova-Session'] = session;
    const answer = await (await fetch(base + target, { method: 'POST', headers, body: JSON.stringify(body) })).json();
    if (answer.error) throw new Error(`${target}: ${answer.error.number} ${answer.error.text}`);
    return answer;
  };
  const { session } = await post('/api/sessions', {});
  const create = async (progid) => (await post('/api/objects', { progid }, session)).id;
  const call = async (id, member, kind, ...args) =>
    (await post(`/api/objects/${id}`, { member, kind, args }, session)).result;
  return { create, call };
}

test('orvalis mails the alerts that fired, priced by the web server', async () => {
  const home = makeHome();
  kestrova(home, 'demo-data', '--companies', '40', '--years', '1');
  const server = await startServer(home);
  const mails = path.join(home.root, 'mail');
  mkdirSync(mails);
  const smtp = await startSmtp(mails);
  try {
    const config = path.join(home.env.XDG_CONFIG_HOME, 'Kestrova');
    mkdirSync(config, { recursive: true });
    writeFileSync(path.join(config, 'kestrova.ini'),
      `[quotes]\nurl = ${server.base}\n[web]\nurl = ${server.base}\n`);

    // Two stocks of the demo world and their last prices, as the quote service gives them.
    const tickers = sqliteValue(path.join(home.env.XDG_DATA_HOME, 'kestrova', 'SIPStatic.db'),
      'select trim(ticker) from si_ci order by company_id limit 2').split('\n');
    const csv = await (await fetch(`${server.base}/d/quotes.csv?s=${tickers.join('+')}&f=sl1d1t1c1pohgv&e=.csv`)).text();
    const last = csv.trim().split('\n').map((line) => Number(line.split(',')[1]));
    assert.ok(last.every((p) => p > 0), csv);

    const api = await endpoint(server.base);
    const settings = await api.create('Thalmere.Settings');
    await api.call(settings, 'AlertEmailServer', 'let', `127.0.0.1:${smtp.port}`);
    await api.call(settings, 'AlertEmailAddrTo', 'let', 'me@example.test');
    await api.call(settings, 'AlertEmailAddrFrom', 'let', 'kestrova@example.test');
    const ledra = await api.create('ADODB.Connection');
    await api.call(ledra, 'Open', 'call', 'Ledra');
    const alert = await api.create('Thalmere.Alert');
    await api.call(alert, 'Connection', 'let', { $object: ledra });
    // The first has reached its high limit; the second is within its limits.
    for (const [i, high, low] of [[0, last[0] - 1, 0.01], [1, last[1] * 2, last[1] / 2]]) {
      await api.call(alert, 'Symbol', 'let', tickers[i]);
      await api.call(alert, 'HighPrice', 'let', high);
      await api.call(alert, 'LowPrice', 'let', low);
      await api.call(alert, 'EmailAlert', 'let', true);
      await api.call(alert, 'AddAlert', 'call');
    }

    execFileSync(path.join(binDir, 'orvalis'), [], { env: home.env, encoding: 'utf8' });
    const decoded = path.join(mails, '1.decoded');
    assert.ok(existsSync(decoded), 'no mail arrived');
    const mail = readFileSync(decoded, 'utf8');
    assert.match(mail, /Subject: Your Kestrova alerts/);
    assert.match(mail, /RCPT TO me@example.test/);
    assert.ok(mail.includes(tickers[0]), mail);
    assert.ok(!mail.includes(`>${tickers[1]}<`), mail);
    assert.ok(mail.includes(`${server.base}/Kestrova/profile.asp?ticker=`), mail);
  } finally {
    smtp.stop();
    assert.equal(await server.stop(), 0);
    home.cleanup();
  }
});
