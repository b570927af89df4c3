// The alerts page: every alert with its company, last close and the distance to each limit,
// and the alert check's mail, shown before it is sent or as it was sent.
import { element, pageHeader, startSession } from './kestrova.js';
import { getJson, price, signed } from './company.js';

pageHeader();
const panel = document.getElementById('alerts');
const table = panel.querySelector('.alerts-table');
const summary = panel.querySelector('.check-summary');
const checkNow = panel.querySelector('.check-now');
const checkSend = panel.querySelector('.check-send');
const mailPanel = document.querySelector('.mail-panel');
const token = document.querySelector('meta[name="kestrova-token"]')?.content ?? '';

// "+1.25 (+2.1%)": how far the price still has to go; past the limit it is marked fired.
function distance(amount, percent, fired) {
  if (amount === null) return element('td', { class: 'num muted' }, '—');
  return element('td', { class: `num${fired ? ' fired' : ''}` },
    `${signed(amount)} (${signed(percent)}%)`, fired ? element('span', { class: 'fired-tag' }, 'fired') : '');
}

async function load() {
  panel.setAttribute('aria-busy', 'true');
  try {
    const { alerts } = await getJson('/api/alerts');
    checkNow.disabled = checkSend.disabled = alerts.length === 0;
    if (!alerts.length) {
      table.replaceChildren(element('p', { class: 'hint empty' },
        'No price alerts yet. Add one on a company page: pick a stock on the Start page.'));
      return;
    }
    const rows = alerts.map((a) => element('tr', {},
      element('td', {}, element('a', { href: `/Kestrova/profile.asp?ticker=${encodeURIComponent(a.symbol)}` }, a.symbol)),
      element('td', { class: 'company' }, a.company || '—'),
      element('td', { class: 'num' }, price(a.last)),
      element('td', { class: 'num' }, a.high ? price(a.high) : '—'),
      distance(a.to_high, a.to_high_pct, a.above),
      element('td', { class: 'num' }, a.low ? price(a.low) : '—'),
      distance(a.to_low, a.to_low_pct, a.below),
      element('td', {}, a.email ? 'Yes' : 'No')));
    table.replaceChildren(element('div', { class: 'table-scroll' }, element('table', { class: 'data alerts' },
      element('thead', {}, element('tr', {},
        element('th', {}, 'Symbol'), element('th', {}, 'Company'), element('th', { class: 'num' }, 'Last'),
        element('th', { class: 'num' }, 'High limit'), element('th', { class: 'num' }, 'To high'),
        element('th', { class: 'num' }, 'Low limit'), element('th', { class: 'num' }, 'To low'),
        element('th', {}, 'E-mail'))),
      element('tbody', {}, ...rows))));
  } catch (e) {
    table.replaceChildren(element('p', { class: 'banner error', role: 'alert' }, `The alerts could not be read: ${e.message}`));
  } finally {
    panel.setAttribute('aria-busy', 'false');
  }
}

async function check(send) {
  const button = send ? checkSend : checkNow;
  checkNow.disabled = checkSend.disabled = true;
  button.setAttribute('aria-busy', 'true');
  summary.textContent = send ? 'Checking and sending…' : 'Checking…';
  summary.classList.remove('error');
  try {
    const response = await fetch('/api/alert-check', {
      method: 'POST',
      headers: { 'X-Kestrova-Token': token, 'Content-Type': 'application/json' },
      body: JSON.stringify({ send }),
    });
    const answer = await response.json();
    if (answer.error) throw new Error(answer.error.text);
    const counts = `${answer.alerts} checked, ${answer.fired} fired` +
      (answer.skipped ? `, ${answer.skipped} without a usable quote` : '');
    summary.textContent = send ? (answer.sent ? `Sent to ${answer.recipient}: ${counts}.` : `Not sent: ${counts}.`)
      : `Not sent: ${counts}.`;
    mailPanel.querySelector('.mail-note').textContent = send && answer.sent
      ? `As sent to ${answer.recipient}, subject "Your Kestrova alerts".`
      : 'What the alert check would send now, subject "Your Kestrova alerts". Nothing was sent.';
    // The mail's HTML is the check's own, with every outside text escaped.
    const preview = mailPanel.querySelector('.mail-preview');
    preview.innerHTML = answer.html;
    mailPanel.hidden = false;
  } catch (e) {
    summary.textContent = e.message;
    summary.classList.add('error');
  } finally {
    button.removeAttribute('aria-busy');
    checkNow.disabled = checkSend.disabled = false;
  }
}

checkNow.addEventListener('click', () => check(false));
checkSend.addEventListener('click', () => check(true));
await startSession();
await load();
document.body.dataset.ready = 'true';
