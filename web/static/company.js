// The company view of one ticker, shown by the company page and by the start page beside the
// navigator: the header with the last price and the profile download, the chart, the
// composite ratings, the price alerts and the notes. The figures come from the server in one
// answer; alerts and notes are written through Thalmere.Alert and Thalmere.StockNote.
import { AutomationObject, element } from './kestrova.js';

const token = document.querySelector('meta[name="kestrova-token"]')?.content ?? '';

export async function getJson(path) {
  const response = await fetch(path, { headers: { 'X-Kestrova-Token': token } });
  const answer = await response.json();
  if (answer.error) throw new Error(answer.error.text);
  return answer;
}

const fixed2 = new Intl.NumberFormat(undefined, { minimumFractionDigits: 2, maximumFractionDigits: 2 });
export const price = (x) => (x === null || x === undefined ? '—' : fixed2.format(x));
export const signed = (x) => (x > 0 ? '+' : x < 0 ? '−' : '') + fixed2.format(Math.abs(x));
const trend = (x) => (x > 0 ? 'up' : x < 0 ? 'down' : 'flat');

function panel(title, className, ...content) {
  return element('section', { class: `panel ${className}`, 'aria-label': title },
    element('div', { class: 'panel-title' }, element('h2', {}, title)), ...content);
}

// Shows the company page of `ticker` in `root`. Resolves once the page is drawn; rejects
// when the server cannot answer (the reason is drawn in `root`). The figures need no
// session: `session` (a promise) is awaited only before the controls and the writes.
// `figures`, when given, are the figures of `ticker` as the server sent them with the page.
// `isCurrent()`, when given, says whether this company is still the one wanted: a page that
// was asked for another meanwhile draws only the last.
export async function mountCompany(root, ticker, { mountChart, mountBars, session, figures, isCurrent = () => true } = {}) {
  root.setAttribute('aria-busy', 'true');
  let data;
  try {
    data = figures ?? await getJson(`/api/company?ticker=${encodeURIComponent(ticker)}`);
    if (!isCurrent()) return null;
  } catch (e) {
    if (!isCurrent()) return null;
    root.replaceChildren(element('div', { class: 'banner error', role: 'alert' },
      `The company page of ${ticker} could not be loaded: ${e.message}`));
    root.setAttribute('aria-busy', 'false');
    throw e;
  }
  if (!data.found) {
    document.title = `${data.ticker || ticker} · Kestrova`;
    root.replaceChildren(element('section', { class: 'panel unknown-ticker' },
      element('div', { class: 'panel-title' }, element('h1', {}, 'Unknown ticker')),
      element('p', {}, 'No company has the ticker ', element('strong', {}, data.ticker || ticker.trim() || '(none)'), '.'),
      element('p', { class: 'hint' }, 'Check the spelling, or pick a company in the navigator or with the ticker box at the top.')));
    root.setAttribute('aria-busy', 'false');
    return null;
  }
  document.title = `${data.company} (${data.ticker}) · Kestrova`;
  const view = new CompanyView(root, data);
  view.draw();
  root.setAttribute('aria-busy', 'false');
  await session;
  if (!isCurrent()) return view;
  // The controls come after the page is drawn, so the figures show at once. The chart draws
  // the stock's alert limits: it draws again when they change.
  const [chart] = await Promise.all([
    mountChart?.(view.chartHost, data.ticker).catch((e) => view.chartFailed(e)),
    mountBars?.(view.barsHost, data.composite).catch(() => {}),
  ]);
  if (chart) view.onAlertsChanged = () => chart.redraw().catch(() => {});
  return view;
}

class CompanyView {
  constructor(root, data) {
    this.root = root;
    this.data = data;
    this.ticker = data.ticker;
    this.editing = null; // the alert being changed
  }

  draw() {
    const d = this.data;
    this.chartHost = element('div', { class: 'chart-host placeholder', 'data-ticker': d.ticker },
      element('p', {}, 'Loading the chart…'));
    this.barsHost = element('div', { class: 'bars-host' });
    this.alertsBody = element('div', { class: 'alerts-body' });
    this.notesBody = element('div', { class: 'notes-body' });
    this.root.replaceChildren(
      this.header(),
      panel('Chart', 'chart-panel', this.chartHost),
      element('div', { class: 'company-columns' },
        panel('Composite ratings', 'ratings-panel', this.barsHost, this.ratings()),
        panel('Price alerts', 'alerts-panel', this.alertsBody, this.alertForm())),
      panel('Notes', 'notes-panel', this.noteForm(), this.notesBody));
    this.drawAlerts();
    this.drawNotes();
  }

  header() {
    const d = this.data;
    const facts = [d.exchange, [d.sector, d.industry].filter(Boolean).join(' › ')].filter(Boolean);
    const quote = d.price
      ? element('div', { class: 'quote' },
          element('span', { class: 'last num' }, price(d.price.last)),
          element('span', { class: `change num ${trend(d.price.change)}` },
            `${signed(d.price.change)} (${signed(d.price.change_pct)}%)`),
          element('span', { class: 'asof' }, `close of ${d.price.date}`))
      : element('div', { class: 'quote' }, element('span', { class: 'asof' }, 'No prices'));
    const pdf = element('a', {
      class: 'button primary',
      href: `/Kestrova/profile.pdf?ticker=${encodeURIComponent(d.ticker)}`,
      download: `${d.ticker}-profile.pdf`,
    }, 'Profile PDF');
    const description = d.description
      ? element('p', { class: 'description' }, d.description)
      : element('p', { class: 'description hint' }, 'No business description.');
    return element('section', { class: 'panel company-head', 'aria-label': 'Company' },
      element('div', { class: 'company-top' },
        element('div', { class: 'company-name' },
          element('h1', {}, d.company || d.ticker),
          element('p', { class: 'facts' }, element('span', { class: 'ticker-chip' }, d.ticker), ...facts.map((f) => element('span', {}, f)))),
        quote,
        element('div', { class: 'company-actions' }, pdf)),
      description);
  }

  ratings() {
    const c = this.data.composite;
    if (!c) return element('p', { class: 'hint' }, 'No composite ratings yet: run "Calculate Composites" on the Maintenance page.');
    const rows = c.labels.map((label, i) => {
      const p = c.percentiles[i];
      return element('tr', {},
        element('th', { scope: 'row' }, label),
        element('td', { class: `num${p !== null && p >= 80 ? ' high' : ''}` }, p === null ? '' : String(p)),
        element('td', { class: 'num' }, c.scores[i] === null ? '' : String(c.scores[i])));
    });
    return element('table', { class: 'ratings' },
      element('thead', {}, element('tr', {}, element('th', {}, ''), element('th', { class: 'num' }, 'Percentile'), element('th', { class: 'num' }, 'Score'))),
      element('tbody', {}, ...rows));
  }

  chartFailed(e) {
    this.chartHost.classList.add('placeholder');
    this.chartHost.replaceChildren(element('p', { class: 'banner error' }, `The chart could not be shown: ${e.message}`));
  }

  // ---- alerts

  drawAlerts() {
    const alerts = this.data.alerts;
    if (!alerts.length) {
      this.alertsBody.replaceChildren(element('p', { class: 'hint' }, `No price alerts on ${this.ticker}.`));
      return;
    }
    const limit = (x) => (x ? price(x) : '—');
    // An alert is found by its symbol alone: a change goes to whichever of several alerts the
    // database finds first, and a delete takes them all. So a single alert has its buttons,
    // and several have one button that deletes them all.
    const single = alerts.length === 1;
    const rows = alerts.map((a) => {
      const actions = element('td', { class: 'actions' });
      if (single) {
        const change = element('button', { type: 'button', class: 'small' }, 'Change');
        change.addEventListener('click', () => this.editAlert(a));
        actions.append(change, this.deleteButton('Delete'));
      }
      return element('tr', {},
        element('td', { class: 'num' }, limit(a.high)),
        element('td', { class: 'num' }, limit(a.low)),
        element('td', {}, a.email ? 'Yes' : 'No'),
        actions);
    });
    const table = element('table', { class: 'data' },
      element('thead', {}, element('tr', {},
        element('th', { class: 'num' }, 'High limit'), element('th', { class: 'num' }, 'Low limit'),
        element('th', {}, 'E-mail'), element('th', {}, element('span', { class: 'visually-hidden' }, 'Actions')))),
      element('tbody', {}, ...rows));
    if (single) {
      this.alertsBody.replaceChildren(table);
    } else {
      this.alertsBody.replaceChildren(table, element('div', { class: 'alerts-note' },
        element('p', { class: 'hint' }, `${alerts.length} alerts on ${this.ticker}. A delete removes them all; to change one, delete them and add the ones you keep.`),
        this.deleteButton(`Delete all ${alerts.length}`)));
    }
  }

  deleteButton(label) {
    const remove = element('button', { type: 'button', class: 'small danger' }, label);
    remove.addEventListener('click', () => this.deleteAlert(remove));
    return remove;
  }

  alertForm() {
    const field = (label, name) => element('label', { class: 'field' }, element('span', {}, label),
      element('input', { type: 'text', name, inputmode: 'decimal', class: 'num', autocomplete: 'off' }));
    this.alertFormEl = element('form', { class: 'alert-form', 'aria-label': 'Alert' },
      element('div', { class: 'alert-fields' },
        field('High limit', 'high'),
        field('Low limit', 'low'),
        element('label', { class: 'check' }, element('input', { type: 'checkbox', name: 'email', checked: true }), 'E-mail me')),
      element('label', { class: 'field' }, element('span', {}, 'Note (kept with the change)'),
        element('input', { type: 'text', name: 'note', maxlength: '900', autocomplete: 'off' })),
      element('p', { class: 'field-error', role: 'alert', hidden: true }),
      element('div', { class: 'form-buttons' },
        element('button', { type: 'submit', class: 'primary' }, 'Add alert'),
        element('button', { type: 'button', class: 'cancel', hidden: true }, 'Cancel')));
    this.alertFormEl.addEventListener('submit', (e) => {
      e.preventDefault();
      this.saveAlert();
    });
    this.alertFormEl.querySelector('.cancel').addEventListener('click', () => this.editAlert(null));
    return this.alertFormEl;
  }

  editAlert(alert) {
    const f = this.alertFormEl;
    this.editing = alert;
    f.elements.high.value = alert?.high ? String(alert.high) : '';
    f.elements.low.value = alert?.low ? String(alert.low) : '';
    f.elements.email.checked = alert ? alert.email : true;
    f.elements.note.value = '';
    f.querySelector('[type="submit"]').textContent = alert ? 'Save changes' : 'Add alert';
    f.querySelector('.cancel').hidden = !alert;
    this.formError(f, '');
    if (alert) f.elements.high.focus();
  }

  formError(form, text) {
    const p = form.querySelector('.field-error');
    p.textContent = text;
    p.hidden = !text;
  }

  async alertObject() {
    if (!this.alert) {
      const connection = await AutomationObject.create('ADODB.Connection');
      await connection.call('Open', 'Ledra');
      const alert = await AutomationObject.create('Thalmere.Alert');
      await alert.let('Connection', { $object: connection.id });
      this.alert = alert;
    }
    return this.alert;
  }

  async saveAlert() {
    const f = this.alertFormEl;
    const high = f.elements.high.value.trim();
    const low = f.elements.low.value.trim();
    if (!high && !low) return this.formError(f, 'Give a high limit, a low limit or both.');
    await this.busy(f, async () => {
      const alert = await this.alertObject();
      await alert.let('Symbol', this.ticker);
      await alert.let('HighPrice', high || 0);
      await alert.let('LowPrice', low || 0);
      await alert.let('EmailAlert', f.elements.email.checked);
      await alert.let('AimAlert', false);
      await alert.let('NoteText', f.elements.note.value.trim());
      await alert.call(this.editing ? 'UpdateAlert' : 'AddAlert');
      this.editAlert(null);
      await this.refresh();
    });
  }

  async deleteAlert(button) {
    // Every alert of the symbol goes: ask once before.
    if (button.dataset.confirm !== 'yes') {
      button.dataset.confirm = 'yes';
      button.textContent = `${button.textContent}?`;
      return;
    }
    await this.busy(this.alertFormEl, async () => {
      const alert = await this.alertObject();
      await alert.let('Symbol', this.ticker);
      await alert.let('NoteText', '');
      await alert.call('DeleteAlert');
      this.editAlert(null);
      await this.refresh();
    });
  }

  // ---- notes

  noteForm() {
    this.noteFormEl = element('form', { class: 'note-form', 'aria-label': 'Add a note' },
      element('label', { class: 'field' }, element('span', {}, 'New note'),
        element('textarea', { name: 'text', rows: '2', maxlength: '1024', required: true })),
      element('p', { class: 'field-error', role: 'alert', hidden: true }),
      element('div', { class: 'form-buttons' }, element('button', { type: 'submit', class: 'primary' }, 'Add note')));
    this.noteFormEl.addEventListener('submit', (e) => {
      e.preventDefault();
      this.addNote();
    });
    return this.noteFormEl;
  }

  async addNote() {
    const f = this.noteFormEl;
    const text = f.elements.text.value.trim();
    if (!text) return this.formError(f, 'Write the note first.');
    await this.busy(f, async () => {
      const note = await AutomationObject.create('Thalmere.StockNote');
      await note.let('Symbol', this.ticker);
      await note.let('NoteType', 'Note');
      await note.let('NoteText', text);
      await note.call('Save');
      const saved = await note.get('Saved');
      note.release().catch(() => {});
      // A symbol the price server does not know has no company to keep the note under.
      if (!saved) throw new Error(`The note was not saved: the price server does not know ${this.ticker}.`);
      f.elements.text.value = '';
      await this.refresh();
    });
  }

  drawNotes() {
    const notes = this.data.notes;
    if (!notes.length) {
      this.notesBody.replaceChildren(element('p', { class: 'hint' }, 'No notes yet.'));
      return;
    }
    this.notesBody.replaceChildren(element('ol', { class: 'notes' }, ...notes.map((n) =>
      element('li', {},
        element('div', { class: 'note-meta' },
          element('time', { datetime: n.date.replace(' ', 'T') }, n.date.slice(0, 16)),
          element('span', { class: `note-type ${n.type === 'Alert' ? 'alert' : ''}` }, n.type || 'Note')),
        element('p', { class: 'note-text' }, n.text)))));
  }

  // ---- shared

  async busy(form, work) {
    const buttons = [...form.querySelectorAll('button')];
    buttons.forEach((b) => (b.disabled = true));
    this.formError(form, '');
    try {
      await work();
    } catch (e) {
      this.formError(form, e.message);
    } finally {
      buttons.forEach((b) => (b.disabled = false));
    }
  }

  async refresh() {
    this.data = await getJson(`/api/company?ticker=${encodeURIComponent(this.ticker)}`);
    this.drawAlerts();
    this.drawNotes();
    this.onAlertsChanged?.(this.data.alerts);
  }
}
