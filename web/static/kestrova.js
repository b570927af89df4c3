// The page side of Kestrova's controls: one session per page, the event stream, calls to
// objects by name, and a view that draws a control's state and forwards the user's events.
// Nothing here decides anything: the C++ control does, and says so through its state.

const token = document.querySelector('meta[name="kestrova-token"]')?.content ?? '';

// ---- requests

let sessionId = null;

async function request(method, path, body) {
  const headers = { 'X-Kestrova-Token': token };
  if (sessionId) headers['X-Kestrova-Session'] = sessionId;
  const init = { method, headers };
  if (body !== undefined) {
    headers['Content-Type'] = 'application/json';
    init.body = JSON.stringify(body);
  }
  const response = await fetch(path, init);
  let answer;
  try {
    answer = await response.json();
  } catch {
    answer = { error: { number: response.status, text: response.statusText } };
  }
  if (answer.error) throw new AutomationError(answer.error.number, answer.error.text);
  return answer;
}

export class AutomationError extends Error {
  constructor(number, text) {
    super(text);
    this.number = number;
  }
}

// Everything a page sends to its controls goes out one request at a time, so the server sees
// keystrokes, clicks and member calls in the order the user made them.
let chain = Promise.resolve();
function inOrder(work) {
  const next = chain.then(work, work);
  chain = next.catch(() => {});
  return next;
}

// ---- the session and its stream

const controls = new Map(); // id -> ControlView
// What the stream brought for a control before the page knew it (while the request that
// creates it was on its way), in order, for the control's view to take first.
const early = new Map(); // id -> [[kind, data]]

function toControl(id, kind, data) {
  const view = controls.get(id);
  if (view) view.take(kind, data);
  else if (early.has(id)) early.get(id).push([kind, data]);
  else early.set(id, [[kind, data]]);
}
const uiQueue = [];
let uiOpen = false;

// The session the server made with the page: a page uses it at once, without a request.
const pageSession = document.querySelector('meta[name="kestrova-session"]')?.content ?? '';

// With `resume`, a reload takes back the session of the page it replaces (kept for a few
// seconds after its stream closes), so its controls, and the work they are running, carry
// on. Without it, a reload starts afresh, as a form that shows what is stored wants.
// Resolves once requests can go out: what the controls report meanwhile waits for the
// stream on the server, so nothing waits for the stream to open.
export async function startSession({ resume = false } = {}) {
  const key = `kestrova-session:${location.pathname}`;
  const previous = resume ? sessionStorage.getItem(key) : null;
  let session = pageSession;
  if (!session || previous) {
    ({ session } = await request('POST', '/api/sessions', { resume: previous }));
  }
  sessionStorage.setItem(key, session);
  sessionId = session;
  const stream = new EventSource(`/api/sessions/${session}/stream?token=${token}`);
  for (const kind of ['state', 'event', 'error']) {
    stream.addEventListener(kind, (e) => {
      if (!e.data) return; // the stream's own error (a lost connection)
      const data = JSON.parse(e.data);
      toControl(data.control, kind, data);
    });
  }
  stream.addEventListener('ui', (e) => {
    uiQueue.push(JSON.parse(e.data));
    showNextDialog();
  });
  stream.onerror = () => {
    if (stream.readyState === EventSource.CLOSED) connectionLost();
  };
  return session;
}

function connectionLost() {
  if (document.getElementById('connection-lost')) return;
  const banner = element('div', { id: 'connection-lost', class: 'banner error', role: 'alert' },
    'The connection to Kestrova was lost. ');
  const reload = element('button', { type: 'button', class: 'link' }, 'Reload the page');
  reload.addEventListener('click', () => location.reload());
  banner.append(reload);
  document.body.prepend(banner);
}

// ---- objects

// An object of the page, reached by member name. Values travel as the server writes them:
// objects as {$object, class}, which `object()` turns back into an AutomationObject.
export class AutomationObject {
  constructor(id, className) {
    this.id = id;
    this.className = className;
  }
  static async create(progid) {
    const { id, class: className } = await request('POST', '/api/objects', { progid });
    return new AutomationObject(id, className);
  }
  get(member, ...args) {
    return this.#call(member, 'get', args);
  }
  call(member, ...args) {
    return this.#call(member, 'call', args);
  }
  let(member, value, ...args) {
    return this.#call(member, 'let', [...args, value]);
  }
  // The full answer: {result, byref}.
  invoke(member, kind, args) {
    return inOrder(() => request('POST', `/api/objects/${this.id}`, { member, kind, args }));
  }
  async #call(member, kind, args) {
    return (await this.invoke(member, kind, args)).result;
  }
  release() {
    return request('DELETE', `/api/objects/${this.id}`);
  }
}

// Steps of a control's setup (see ControlView.create).
export const setupCall = (member, kind, ...args) => ({ member, kind, args });
export const setupEvent = (child, event, value = null) => ({ child, event, value });

export function object(value) {
  return value && value.$object ? new AutomationObject(value.$object, value.class) : value;
}

// ---- controls

// The controls the server made while the page loaded may come in the page, by ProgID, each as
// the request that creates it would answer. Each is taken once; a page without them asks.
// They come last, once made: a page whose scripts run before it has all come (the start
// page's do) waits for the rest of it here.
const pageParsed = new Promise((resolve) => {
  if (document.readyState !== 'loading') resolve();
  else document.addEventListener('DOMContentLoaded', resolve, { once: true });
});
let prepared = null;
async function takePrepared(progid) {
  await pageParsed;
  prepared ??= JSON.parse(document.getElementById('kestrova-prepared')?.textContent || 'null') ?? {};
  const answer = prepared[progid];
  delete prepared[progid];
  return answer ?? null;
}

// Draws a control's state into the elements of `root` that name its children
// (data-child="txtShort"), and sends their events. Captions, labels and error texts go to
// elements marked data-caption, data-label and data-error with the child's name.
export class ControlView extends AutomationObject {
  constructor(id, className, root) {
    super(id, className);
    this.root = root;
    this.state = {};
    this.handlers = new Map();
    controls.set(id, this);
  }

  // Creates the control (or takes the one the page had before a reload) and runs `setup`
  // on it in the same request: calls ({member, kind, args}) and events ({child, event,
  // value}), as setupCall and setupEvent make them. `prepare(view)` runs before anything
  // the control reported is drawn or raised (to set its handlers). The first step that
  // failed is in view.setupFailure ({step, error}); the steps after it did not run.
  static async create(progid, root, { setup = [], prepare } = {}) {
    const body = { progid, attach: true };
    if (setup.length) body.setup = setup;
    // One the page came with is taken without a request. The request is not queued behind
    // the page's others: nothing else can reach this control before it exists, so controls
    // of a page are made side by side.
    const answer =
      (!setup.length && (await takePrepared(progid))) || (await request('POST', '/api/controls', body));
    const view = new ControlView(answer.id, answer.class, root);
    prepare?.(view);
    view.bindEvents();
    for (const [kind, data] of early.get(view.id) ?? []) view.take(kind, data);
    early.delete(view.id);
    view.apply(answer.state);
    view.setupFailure = answer.failed
      ? { step: answer.failed.step, error: new AutomationError(answer.failed.number, answer.failed.text) }
      : null;
    root.classList.add('ready');
    if (!answer.state.UserControl?.busy) root.setAttribute('aria-busy', 'false');
    return view;
  }

  // One message of the stream for this control.
  take(kind, data) {
    if (kind === 'state') this.apply(data.patch);
    else if (kind === 'event') this.raise(data.name, data.args);
    else if (kind === 'error') this.showError(data.error.text);
  }

  // Sends a user event on a child; with `property`, the value the page already shows.
  send(child, event, value = null, property = undefined) {
    const body = { child, event, value };
    if (property) {
      body.property = property;
      (this.state[child] ??= {})[property] = value;
    }
    return inOrder(() => request('POST', `/api/controls/${this.id}/events`, body)).catch((e) =>
      this.showError(e.message),
    );
  }

  // Runs a method of the control; its error is shown in the control's panel and rethrown.
  async method(member, ...args) {
    this.clearError();
    try {
      return await this.call(member, ...args);
    } catch (e) {
      this.showError(e.message);
      throw e;
    }
  }

  on(name, handler) {
    this.handlers.set(name, handler);
  }
  raise(name, args) {
    this.handlers.get(name)?.(...args);
  }

  elements(child, role = 'child') {
    return this.root.querySelectorAll(`[data-${role}="${child}"]`);
  }

  apply(patch) {
    for (const [child, properties] of Object.entries(patch)) {
      const current = (this.state[child] ??= {});
      Object.assign(current, properties);
      for (const [name, value] of Object.entries(properties)) this.draw(child, name, value);
    }
  }

  draw(child, name, value) {
    this.onDraw?.(child, name, value);
    if (child === 'UserControl') {
      if (name === 'mousepointer') this.root.classList.toggle('hourglass', value === 11);
      if (name === 'busy') this.root.setAttribute('aria-busy', value ? 'true' : 'false');
      return;
    }
    for (const role of ['caption', 'label']) {
      if (name === role) for (const el of this.elements(child, role)) el.textContent = value;
    }
    if (name === 'error') {
      for (const el of this.elements(child, 'error')) {
        el.textContent = typeof value === 'string' ? value : '';
        el.hidden = !value;
      }
    }
    for (const el of this.elements(child)) drawProperty(el, name, value);
  }

  showError(text) {
    const box = this.root.querySelector('[data-role="errors"]');
    if (!box) return;
    box.textContent = text;
    box.hidden = false;
  }
  clearError() {
    const box = this.root.querySelector('[data-role="errors"]');
    if (box) box.hidden = true;
  }

  bindEvents() {
    for (const el of this.root.querySelectorAll('[data-child]')) {
      const child = el.dataset.child;
      const kind = el.dataset.kind ?? defaultKind(el);
      if (kind === 'text') {
        el.addEventListener('input', () => this.send(child, 'change', el.value, 'text'));
        el.addEventListener('keydown', (e) => {
          if (e.key.length === 1) this.send(child, 'keypress', e.key);
        });
      } else if (kind === 'combo') {
        el.addEventListener('change', () => this.send(child, 'change', el.value, 'text'));
      } else if (kind === 'check') {
        el.addEventListener('click', () => this.send(child, 'click', el.checked ? 1 : 0, 'value'));
      } else if (kind === 'button') {
        el.addEventListener('click', () => this.send(child, 'click'));
      } else if (kind === 'color') {
        el.addEventListener('click', () => this.send(child, 'dropdown'));
        el.addEventListener('keydown', (e) => {
          if (e.key === 'ArrowDown' && e.altKey) this.send(child, 'dropdown');
        });
      } else if (kind === 'tabs') {
        bindTabs(el, (index) => this.send(child, 'click', index, 'value'));
      }
    }
  }
}

function defaultKind(el) {
  if (el.tagName === 'SELECT') return 'combo';
  if (el.tagName === 'BUTTON') return 'button';
  if (el.tagName === 'INPUT' && el.type === 'checkbox') return 'check';
  if (el.tagName === 'INPUT' || el.tagName === 'TEXTAREA') return 'text';
  return 'none';
}

export function colorText(value) {
  const r = value & 255, g = (value >> 8) & 255, b = (value >> 16) & 255;
  return '#' + [r, g, b].map((c) => c.toString(16).padStart(2, '0')).join('');
}

export function colorValue(hex) {
  const n = parseInt(hex.slice(1), 16);
  return ((n >> 16) & 255) + (((n >> 8) & 255) << 8) + ((n & 255) << 16);
}

function drawProperty(el, name, value) {
  switch (name) {
    case 'text':
      if ('value' in el && el.tagName !== 'BUTTON' && el.tagName !== 'PROGRESS') {
        if (el.value !== value) el.value = value ?? '';
      } else {
        el.textContent = value ?? '';
      }
      break;
    case 'caption':
      if (el.tagName === 'BUTTON' || el.dataset.kind === 'label') el.textContent = value;
      break;
    case 'value':
      if (el.type === 'checkbox') el.checked = value === 1;
      else if (el.tagName === 'PROGRESS') drawProgress(el, 'value', value);
      else if (el.dataset.kind === 'tabs') selectTab(el, value);
      break;
    case 'min':
    case 'max':
      if (el.tagName === 'PROGRESS') drawProgress(el, name, value);
      break;
    case 'enabled':
      el.disabled = !value;
      el.closest('.field')?.classList.toggle('disabled', !value);
      break;
    case 'visible':
      el.hidden = !value;
      break;
    case 'items':
      if (el.tagName === 'SELECT') {
        const selected = el.value;
        el.replaceChildren(...value.map((item) => element('option', { value: item }, item)));
        el.value = selected;
      }
      break;
    case 'backcolor': {
      const hex = colorText(value);
      el.style.setProperty('--swatch', hex);
      const text = el.querySelector('.swatch-text');
      if (text) text.textContent = hex.toUpperCase();
      break;
    }
    case 'passwordchar':
      if (el.tagName === 'INPUT') el.type = value ? 'password' : 'text';
      break;
    case 'error':
      if (value) el.setAttribute('aria-invalid', 'true');
      else el.removeAttribute('aria-invalid');
      break;
  }
}

// A <progress> starts at 0: the control's Min..Max range is shifted onto it.
function drawProgress(el, name, value) {
  el.dataset[name] = value;
  const min = Number(el.dataset.min ?? 0), max = Number(el.dataset.max ?? 100);
  const current = Number(el.dataset.value ?? min);
  el.max = Math.max(1, max - min);
  el.value = Math.min(Math.max(current - min, 0), el.max);
  el.setAttribute('aria-valuetext', `${current} of ${min}–${max}`);
}

// Tabs: role=tablist with role=tab buttons; arrow keys move between them.
function bindTabs(list, onSelect) {
  const tabs = [...list.querySelectorAll('[role="tab"]')];
  tabs.forEach((tab, index) => {
    tab.addEventListener('click', () => {
      selectTab(list, index);
      onSelect(index);
    });
    tab.addEventListener('keydown', (e) => {
      const step = { ArrowRight: 1, ArrowLeft: -1, Home: -index, End: tabs.length - 1 - index }[e.key];
      if (step === undefined) return;
      e.preventDefault();
      const next = (index + step + tabs.length) % tabs.length;
      tabs[next].focus();
      tabs[next].click();
    });
  });
}

function selectTab(list, index) {
  list.querySelectorAll('[role="tab"]').forEach((tab, i) => {
    const selected = i === index;
    tab.setAttribute('aria-selected', selected ? 'true' : 'false');
    tab.tabIndex = selected ? 0 : -1;
    const panel = document.getElementById(tab.getAttribute('aria-controls'));
    if (panel) panel.hidden = !selected;
  });
}

// ---- message boxes and dialogs of the controls

export function element(tag, attributes = {}, ...children) {
  const el = document.createElement(tag);
  for (const [k, v] of Object.entries(attributes)) {
    if (v !== undefined && v !== null && v !== false) el.setAttribute(k, v === true ? '' : v);
  }
  el.append(...children);
  return el;
}

async function showNextDialog() {
  if (uiOpen || uiQueue.length === 0) return;
  uiOpen = true;
  const ask = uiQueue.shift();
  const returnFocus = document.activeElement;
  let answer = null;
  try {
    if (ask.kind === 'msgbox') answer = await messageBox(ask);
    else if (ask.kind === 'save' || ask.kind === 'open') answer = await fileDialog(ask);
    else if (ask.kind === 'color') answer = await colorDialog(ask);
  } finally {
    await request('POST', `/api/ui/${ask.request}`, { answer }).catch(() => {});
    returnFocus?.focus?.();
    uiOpen = false;
    showNextDialog();
  }
}

// A modal <dialog>: Escape cancels (null), `build` fills it and calls `done(answer)`.
function modal(title, className, build) {
  return new Promise((resolve) => {
    const dialog = element('dialog', { class: `dialog ${className}`, 'aria-labelledby': 'dialog-title' });
    const heading = element('h2', { id: 'dialog-title' }, title);
    dialog.append(heading);
    let settled = false;
    const done = (answer) => {
      if (settled) return;
      settled = true;
      dialog.close();
      dialog.remove();
      resolve(answer);
    };
    dialog.addEventListener('cancel', (e) => {
      e.preventDefault();
      done(null);
    });
    build(dialog, done);
    document.body.append(dialog);
    dialog.showModal();
    (dialog.querySelector('[autofocus]') ?? dialog.querySelector('button, input, select'))?.focus();
  });
}

function buttonRow(...buttons) {
  return element('div', { class: 'dialog-buttons' }, ...buttons);
}

function messageBox(ask) {
  return modal(ask.title || 'Kestrova', `msgbox ${ask.icon}`, (dialog, done) => {
    dialog.setAttribute('role', 'alertdialog');
    dialog.append(element('p', { class: 'prompt' }, ask.prompt));
    const buttons = ask.buttons.map((b) => {
      const button = element('button', {
        type: 'button',
        class: b.result === ask.default ? 'primary' : '',
        autofocus: b.result === ask.default,
      }, b.name);
      button.addEventListener('click', () => done(b.result));
      return button;
    });
    dialog.append(buttonRow(...buttons));
  });
}

function fileDialog(ask) {
  const saving = ask.kind === 'save';
  const title = ask.title || (saving ? 'Save As' : 'Open');
  return modal(title, 'file-dialog', (dialog, done) => {
    let dir = ask.initialDir;
    const filters = ask.filters.length ? ask.filters : [{ description: 'All files (*.*)', patterns: '*' }];
    const place = element('input', { type: 'text', class: 'place', 'aria-label': 'Folder', spellcheck: 'false' });
    const up = element('button', { type: 'button', class: 'icon', title: 'Up one folder', 'aria-label': 'Up one folder' }, '↑');
    const list = element('ul', { class: 'file-list', role: 'listbox', tabindex: '0', 'aria-label': 'Folders and files' });
    const name = element('input', { type: 'text', class: 'file-name', autofocus: true, spellcheck: 'false', 'aria-label': 'File name' });
    const filter = element('select', { 'aria-label': 'Files of type' },
      ...filters.map((f, i) => element('option', { value: i }, f.description)));
    filter.value = Math.max(0, Math.min(filters.length - 1, (ask.filterIndex || 1) - 1));
    const problem = element('p', { class: 'field-error', hidden: true });
    const ok = element('button', { type: 'submit', class: 'primary' }, saving ? 'Save' : 'Open');
    const cancel = element('button', { type: 'button' }, 'Cancel');
    const fileName = ask.fileName ? ask.fileName.split('/').pop() : '';
    name.value = fileName;

    const load = async (target) => {
      try {
        const listing = await request('GET',
          `/api/files?dir=${encodeURIComponent(target)}&patterns=${encodeURIComponent(filters[filter.value].patterns)}`);
        dir = listing.dir;
        place.value = dir;
        up.disabled = !listing.parent;
        up.onclick = () => load(listing.parent);
        problem.hidden = true;
        list.replaceChildren(
          ...listing.folders.map((f) => entry(f, true)),
          ...listing.files.map((f) => entry(f.name, false)),
        );
      } catch (e) {
        problem.textContent = e.message;
        problem.hidden = false;
      }
    };
    const entry = (label, folder) => {
      const item = element('li', { role: 'option', class: folder ? 'folder' : 'file', tabindex: '-1' }, label);
      item.addEventListener('click', () => {
        if (folder) load(`${dir}/${label}`);
        else name.value = label;
      });
      item.addEventListener('dblclick', () => {
        if (!folder) submit();
      });
      item.addEventListener('keydown', (e) => {
        if (e.key === 'Enter') {
          e.preventDefault();
          item.click();
        } else if (e.key === 'ArrowDown') item.nextElementSibling?.focus();
        else if (e.key === 'ArrowUp') item.previousElementSibling?.focus();
      });
      return item;
    };
    list.addEventListener('keydown', (e) => {
      if (e.target === list && e.key === 'ArrowDown') list.firstElementChild?.focus();
    });
    const submit = () => {
      const chosen = name.value.trim();
      if (!chosen) {
        problem.textContent = 'Type a file name or pick a file.';
        problem.hidden = false;
        name.focus();
        return;
      }
      done(chosen.startsWith('/') ? chosen : `${dir}/${chosen}`);
    };
    place.addEventListener('keydown', (e) => {
      if (e.key === 'Enter') {
        e.preventDefault();
        load(place.value);
      }
    });
    filter.addEventListener('change', () => load(dir));
    cancel.addEventListener('click', () => done(null));
    const form = element('form', { method: 'dialog' },
      element('div', { class: 'place-row' }, up, place),
      list,
      element('label', { class: 'field' }, element('span', {}, 'File name'), name),
      element('label', { class: 'field' }, element('span', {}, 'Files of type'), filter),
      problem,
      buttonRow(ok, cancel));
    form.addEventListener('submit', (e) => {
      e.preventDefault();
      submit();
    });
    dialog.append(form);
    load(dir);
  });
}

// The basic colours of the classic colour dialog, row by row.
const basicColors = [
  '#ff8080', '#ffff80', '#80ff80', '#00ff80', '#80ffff', '#0080ff', '#ff80c0', '#ff80ff',
  '#ff0000', '#ffff00', '#80ff00', '#00ff40', '#00ffff', '#0080c0', '#8080c0', '#ff00ff',
  '#804040', '#ff8040', '#00ff00', '#008080', '#004080', '#8080ff', '#800040', '#ff0080',
  '#800000', '#ff8000', '#008000', '#008040', '#0000ff', '#0000a0', '#800080', '#8000ff',
  '#400000', '#804000', '#004000', '#004040', '#000080', '#000040', '#400040', '#400080',
  '#000000', '#808000', '#808040', '#808080', '#408080', '#c0c0c0', '#400040', '#ffffff',
];

function colorDialog(ask) {
  return modal('Color', 'color-dialog', (dialog, done) => {
    let current = colorText(ask.initial);
    const preview = element('span', { class: 'color-preview', 'aria-hidden': 'true' });
    const custom = element('input', { type: 'color', 'aria-label': 'Custom colour', value: current });
    const hex = element('output', { class: 'hex' });
    const show = (value) => {
      current = value;
      preview.style.setProperty('--swatch', value);
      custom.value = value;
      hex.textContent = value.toUpperCase();
      for (const s of grid.children) s.setAttribute('aria-checked', s.dataset.color === value ? 'true' : 'false');
    };
    const grid = element('div', { class: 'swatches', role: 'radiogroup', 'aria-label': 'Basic colours' },
      ...basicColors.map((c) => {
        const swatch = element('button', { type: 'button', role: 'radio', class: 'swatch', title: c.toUpperCase(), 'aria-label': c.toUpperCase(), 'data-color': c });
        swatch.style.setProperty('--swatch', c);
        swatch.addEventListener('click', () => show(c));
        swatch.addEventListener('dblclick', () => done(colorValue(c)));
        return swatch;
      }));
    grid.addEventListener('keydown', (e) => {
      const i = [...grid.children].indexOf(document.activeElement);
      const step = { ArrowRight: 1, ArrowLeft: -1, ArrowDown: 8, ArrowUp: -8 }[e.key];
      if (i < 0 || step === undefined) return;
      e.preventDefault();
      const next = grid.children[(i + step + basicColors.length) % basicColors.length];
      next.focus();
      next.click();
    });
    custom.addEventListener('input', () => show(custom.value));
    const ok = element('button', { type: 'button', class: 'primary' }, 'OK');
    const cancel = element('button', { type: 'button' }, 'Cancel');
    ok.addEventListener('click', () => done(colorValue(current)));
    cancel.addEventListener('click', () => done(null));
    // Enter takes the colour shown (on a swatch, that swatch's), except on Cancel.
    dialog.addEventListener('keydown', (e) => {
      if (e.key !== 'Enter' || e.target === cancel) return;
      e.preventDefault();
      if (e.target.dataset?.color) show(e.target.dataset.color);
      done(colorValue(current));
    });
    dialog.append(grid,
      element('div', { class: 'custom-row' }, preview, element('label', {}, 'Custom ', custom), hex),
      buttonRow(ok, cancel));
    show(current);
    const match = grid.querySelector(`[data-color="${current}"]`);
    if (match) match.setAttribute('autofocus', '');
  });
}

// ---- the header every page shares

const pages = [
  ['Start', '/Kestrova/'],
  ['Alerts', '/Kestrova/alerts.asp'],
  ['Maintenance', '/Kestrova/maintenance.asp'],
  ['Settings', '/Kestrova/settings.asp'],
];

export function pageHeader() {
  const header = document.getElementById('app-header');
  if (!header) return;
  const here = location.pathname;
  const nav = element('nav', { 'aria-label': 'Pages' },
    ...pages.map(([label, href]) => element('a', { href, 'aria-current': here === href ? 'page' : undefined }, label)));
  const search = element('form', { class: 'ticker-search', role: 'search', action: '/Kestrova/profile.asp', method: 'get' },
    element('input', { type: 'search', name: 'ticker', placeholder: 'Ticker', 'aria-label': 'Ticker', autocomplete: 'off', spellcheck: 'false' }));
  header.replaceChildren(
    element('a', { class: 'brand', href: '/Kestrova/' }, element('span', { class: 'mark', 'aria-hidden': 'true' }), 'Kestrova'),
    nav, search);
}
