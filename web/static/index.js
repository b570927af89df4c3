// The start page: the navigator on the left, the company page of the stock picked on the
// right. The ticker picked goes into the address (?ticker=), so a reload or Back shows it.
import { pageHeader, startSession } from './kestrova.js';
import { mountNavigator } from './ctlHierarchicalNav.js';

// The company view and its charts load beside the navigator, not before it: they are run
// (number formats and all) once a company is to be shown or the navigator is drawn.
let companyModules = null;
const loadCompanyModules = () =>
  (companyModules ??= Promise.all([import('./company.js'), import('./company-controls.js')]));

// The page runs as soon as its files are here, while the server is still making the navigator
// that ends the page; what comes before that is here by then.
if (!document.getElementById('company-content')) {
  await new Promise((resolve) => document.addEventListener('DOMContentLoaded', resolve, { once: true }));
}
pageHeader();
const navigator = document.getElementById('navigator');
const content = document.getElementById('company-content');
const toggle = document.querySelector('.nav-toggle');
const scrim = document.querySelector('.nav-scrim');

// ---- the drawer (narrow windows) and the resizer (wide ones)

function setDrawer(open) {
  document.body.classList.toggle('drawer-open', open);
  toggle.setAttribute('aria-expanded', open ? 'true' : 'false');
  scrim.hidden = !open;
  if (open) navigator.querySelector('input')?.focus();
}
toggle.addEventListener('click', () => setDrawer(!document.body.classList.contains('drawer-open')));
scrim.addEventListener('click', () => setDrawer(false));
navigator.addEventListener('keydown', (e) => {
  if (e.key === 'Escape' && document.body.classList.contains('drawer-open')) {
    setDrawer(false);
    toggle.focus();
  }
});

const resizer = navigator.querySelector('.nav-resizer');
const savedWidth = Number(localStorage.getItem('kestrova.navWidth'));
if (savedWidth) document.body.style.setProperty('--nav-width', `${savedWidth}px`);
function setWidth(px) {
  const width = Math.round(Math.min(Math.max(px, 200), 560));
  document.body.style.setProperty('--nav-width', `${width}px`);
  localStorage.setItem('kestrova.navWidth', String(width));
}
resizer.addEventListener('pointerdown', (e) => {
  resizer.setPointerCapture(e.pointerId);
  const move = (m) => setWidth(m.clientX - navigator.getBoundingClientRect().left);
  resizer.addEventListener('pointermove', move);
  resizer.addEventListener('pointerup', () => resizer.removeEventListener('pointermove', move), { once: true });
});
resizer.addEventListener('keydown', (e) => {
  const step = { ArrowLeft: -20, ArrowRight: 20 }[e.key];
  if (!step) return;
  e.preventDefault();
  setWidth(navigator.getBoundingClientRect().width + step);
});

// ---- the company shown

// One chart and one bar chart for the page; each company shown takes them over.
let controls = null;
const session = startSession();
let asked = 0; // the companies asked for so far: only the last one is drawn
async function show(ticker, push) {
  if (!ticker) return;
  if (push) history.pushState({ ticker }, '', `?ticker=${encodeURIComponent(ticker)}`);
  setDrawer(false);
  document.body.classList.add('has-company');
  const mine = ++asked;
  const [{ mountCompany }, { companyControls }] = await loadCompanyModules();
  controls ??= companyControls();
  await mountCompany(content, ticker, { ...controls, session, isCurrent: () => mine === asked }).catch(() => {});
}
// The header's ticker box shows the company here too, beside the navigator.
document.querySelector('.app-header .ticker-search')?.addEventListener('submit', (e) => {
  const ticker = new FormData(e.target).get('ticker')?.toString().trim();
  if (!ticker) return;
  e.preventDefault();
  show(ticker, true);
});
window.addEventListener('popstate', () => show(new URLSearchParams(location.search).get('ticker'), false));

// A company in the address is shown while the navigator loads.
const initial = new URLSearchParams(location.search).get('ticker');
const first = initial ? show(initial, false) : Promise.resolve();
await session;
const nav = await mountNavigator(navigator, (ticker) => show(ticker, true)).catch((e) => {
  navigator.querySelector('[data-role="errors"]').textContent = `The navigator could not be loaded: ${e.message}`;
  navigator.querySelector('[data-role="errors"]').hidden = false;
  return null;
});
navigator.setAttribute('aria-busy', 'false');
requestAnimationFrame(() => setTimeout(loadCompanyModules)); // once the tree is painted
await first;
document.body.dataset.ready = nav ? 'true' : 'false';
