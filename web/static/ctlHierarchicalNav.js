// The navigator: draws ctlHierarchicalNav's ticker box and tree and forwards the user's
// clicks and keys. The control decides what a click does (expand, load a list, pick a stock)
// and says which ticker was picked through OnChange.
import { ControlView, element } from './kestrova.js';

const MAX_SUGGESTIONS = 12;

// Mounts the navigator into `root` (which holds the ticker box, the suggestion list, the
// status line and the tree); `onPick(ticker)` runs for every ticker picked.
export async function mountNavigator(root, onPick) {
  const input = root.querySelector('[data-child="cmbTicker"]');
  const listbox = root.querySelector('.suggestions');
  const treeEl = root.querySelector('[role="tree"]');
  const status = root.querySelector('.nav-status');
  const problem = root.querySelector('[data-role="errors"]');

  input.disabled = true; // until the control is there to take what is typed
  let tickers = [];
  const nodes = new Map(); // id -> {parent, text, folder, expanded, li, row, group}

  // ---- the tree

  function nodeElement(id) {
    const li = element('li', { role: 'treeitem', tabindex: '-1', 'data-node': id });
    const row = element('div', { class: 'tree-row' },
      element('span', { class: 'caret', 'aria-hidden': 'true' }),
      element('span', { class: 'tree-label' }));
    li.append(row);
    row.addEventListener('click', (e) => {
      e.stopPropagation();
      focusItem(li);
      activate(id);
    });
    return { li, row };
  }

  function groupOf(parent) {
    if (parent === 0) return treeEl;
    const p = nodes.get(parent);
    if (!p) return null;
    if (!p.group) {
      p.group = element('ul', { role: 'group' });
      p.li.append(p.group);
    }
    return p.group;
  }

  function drawNode(id, value) {
    const existing = nodes.get(id);
    if (value === null || value === undefined) {
      existing?.li.remove();
      nodes.delete(id);
      return;
    }
    const [parent, text, folder, expanded] = value;
    const node = existing ?? { ...nodeElement(id), group: null };
    Object.assign(node, { parent, text, folder, expanded });
    nodes.set(id, node);
    node.li.querySelector('.tree-label').textContent = text;
    node.li.classList.toggle('folder', folder);
    node.li.classList.toggle('stock', !folder);
    if (folder) node.li.setAttribute('aria-expanded', expanded ? 'true' : 'false');
    else node.li.removeAttribute('aria-expanded');
    if (!existing) {
      const group = groupOf(parent);
      if (!group) return;
      // Children are shown in the order of their ids.
      const after = [...group.children].find((c) => Number(c.dataset.node) > id);
      group.insertBefore(node.li, after ?? null);
      node.li.setAttribute('aria-level', String(levelOf(id)));
    }
  }

  function levelOf(id) {
    let level = 1;
    for (let n = nodes.get(id); n && n.parent !== 0; n = nodes.get(n.parent)) level++;
    return level;
  }

  // A click on an open folder closes it; every other click is the control's to decide.
  function activate(id) {
    const node = nodes.get(id);
    if (!node) return;
    if (node.folder && node.expanded) view.send('FlyTreeXPro1', 'collapse', id);
    else view.send('FlyTreeXPro1', 'click', id);
  }

  function visibleItems() {
    return [...treeEl.querySelectorAll('[role="treeitem"]')].filter(
      (li) => !li.parentElement.closest('[role="treeitem"][aria-expanded="false"]'));
  }

  function focusItem(li) {
    if (!li) return;
    for (const other of treeEl.querySelectorAll('[role="treeitem"][tabindex="0"]')) other.tabIndex = -1;
    li.tabIndex = 0;
    li.focus();
  }

  treeEl.addEventListener('keydown', (e) => {
    const li = e.target.closest('[role="treeitem"]');
    if (!li) return;
    const id = Number(li.dataset.node);
    const node = nodes.get(id);
    const items = visibleItems();
    const at = items.indexOf(li);
    switch (e.key) {
      case 'ArrowDown': focusItem(items[at + 1]); break;
      case 'ArrowUp': focusItem(items[at - 1]); break;
      case 'Home': focusItem(items[0]); break;
      case 'End': focusItem(items[items.length - 1]); break;
      case 'ArrowRight':
        if (node?.folder && !node.expanded) view.send('FlyTreeXPro1', 'click', id);
        else if (node?.expanded) focusItem(node.group?.querySelector('[role="treeitem"]'));
        break;
      case 'ArrowLeft':
        if (node?.folder && node.expanded) view.send('FlyTreeXPro1', 'collapse', id);
        else if (node && node.parent !== 0) focusItem(nodes.get(node.parent)?.li);
        break;
      case 'Enter':
      case ' ':
        activate(id);
        break;
      default:
        return;
    }
    e.preventDefault();
  });

  // ---- the ticker box

  let active = -1;
  function suggest() {
    const typed = input.value.trim().toUpperCase();
    listbox.replaceChildren();
    active = -1;
    if (!typed) return closeList();
    const starts = [], contains = [];
    for (const t of tickers) {
      const upper = t.toUpperCase();
      if (upper.startsWith(typed)) starts.push(t);
      else if (contains.length < MAX_SUGGESTIONS && upper.includes(typed)) contains.push(t);
      if (starts.length >= MAX_SUGGESTIONS) break;
    }
    const shown = [...starts, ...contains].slice(0, MAX_SUGGESTIONS);
    shown.forEach((t, i) => {
      const option = element('li', { role: 'option', id: `nav-option-${i}`, 'aria-selected': 'false' }, t);
      option.addEventListener('mousedown', (e) => e.preventDefault()); // keeps the focus in the box
      option.addEventListener('click', () => choose(t));
      listbox.append(option);
    });
    listbox.hidden = shown.length === 0;
    input.setAttribute('aria-expanded', shown.length ? 'true' : 'false');
  }
  function closeList() {
    listbox.hidden = true;
    input.setAttribute('aria-expanded', 'false');
    input.removeAttribute('aria-activedescendant');
  }
  function moveActive(step) {
    const options = [...listbox.children];
    if (!options.length) return;
    active = (active + step + options.length) % options.length;
    options.forEach((o, i) => o.setAttribute('aria-selected', i === active ? 'true' : 'false'));
    input.setAttribute('aria-activedescendant', options[active].id);
    // As in a combo box, moving through the entries puts each one in the box.
    input.value = options[active].textContent;
    view.send('cmbTicker', 'change', input.value, 'text');
  }
  function choose(ticker) {
    input.value = ticker;
    closeList();
    view.send('cmbTicker', 'change', ticker, 'text');
    view.send('cmbTicker', 'click');
  }
  input.addEventListener('input', () => {
    view.send('cmbTicker', 'change', input.value, 'text');
    suggest();
  });
  input.addEventListener('keydown', (e) => {
    if (e.key === 'ArrowDown' || e.key === 'ArrowUp') {
      e.preventDefault();
      if (listbox.hidden) suggest();
      moveActive(e.key === 'ArrowDown' ? 1 : -1);
    } else if (e.key === 'Enter') {
      e.preventDefault();
      closeList();
      view.send('cmbTicker', 'keypress', 13);
    } else if (e.key === 'Escape') {
      closeList();
    }
  });
  input.addEventListener('blur', () => setTimeout(closeList, 150));

  // ---- the control

  // The handlers above run only once the control exists.
  const view = await ControlView.create('Kestrova.ctlHierarchicalNav', root);
  input.disabled = false;

  function drawUserControl(name, value) {
    if (name === 'status') status.textContent = value === 'Done.' ? '' : value;
    if (name === 'error') {
      problem.textContent = value || '';
      problem.hidden = !value;
    }
  }
  // Nodes come keyed by name, so a patch may list a child before its parent: each patch is
  // drawn in the order of the ids, parents first.
  let pending = null;
  function queueNode(id, value) {
    if (!pending) {
      pending = new Map();
      queueMicrotask(() => {
        const batch = [...pending].sort((a, b) => a[0] - b[0]);
        pending = null;
        for (const [nodeId, nodeValue] of batch) drawNode(nodeId, nodeValue);
        if (!treeEl.querySelector('[role="treeitem"][tabindex="0"]')) {
          const first = treeEl.querySelector('[role="treeitem"]');
          if (first) first.tabIndex = 0;
        }
      });
    }
    pending.set(id, value);
  }
  const draw = (child, name, value) => {
    if (child === 'FlyTreeXPro1') queueNode(Number(name.slice(1)), value);
    else if (child === 'cmbTicker' && name === 'items') tickers = value ?? [];
    else if (child === 'UserControl') drawUserControl(name, value);
  };
  for (const [child, properties] of Object.entries(view.state)) {
    for (const [name, value] of Object.entries(properties)) draw(child, name, value);
  }
  view.onDraw = draw;
  view.on('OnChange', async () => onPick(await view.get('Ticker')));
  return view;
}
