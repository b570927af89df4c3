// The bar chart control in a page: mountBarChart(host, {id, title, values, labels}) creates a
// Kestrova.UserControl1, reads back the title the page saved for it (its "XLegend"
// property, kept per id in the browser's storage, else the host's data-xlegend), saves the
// title again whenever the control reports it changed, and shows the picture at the box's
// size. Also the chart pictures' shared helpers.
import { ControlView, element } from './kestrova.js';

// The charts' styles, in a file of their own next to the page's stylesheet.
export function useChartStyles() {
  if (document.querySelector('link[data-chart-styles]')) return;
  document.head.append(element('link', { rel: 'stylesheet', href: '/Kestrova/static/charts.css', 'data-chart-styles': true }));
}

// A picture state ({image: {$bytes}, imagetype}) as an image address.
export function pictureSource(state) {
  return state?.image?.$bytes ? `data:${state.imagetype ?? 'image/svg+xml'};base64,${state.image.$bytes}` : '';
}

// Calls `report(width, height)` with the box's size in whole pixels now and after every
// change of it (settled for a moment, so a drag sends one size, not fifty).
export async function observeSize(box, report) {
  let last = '';
  let timer = null;
  const send = () => {
    const r = box.getBoundingClientRect();
    const size = [Math.round(r.width), Math.round(r.height)];
    if (size[0] < 16 || size[1] < 16 || size.join('x') === last) return null;
    last = size.join('x');
    return report(...size);
  };
  new ResizeObserver(() => {
    clearTimeout(timer);
    timer = setTimeout(send, 120);
  }).observe(box);
  await send();
}

const storageKey = (id) => `kestrova.UserControl1.${id}`;

export async function mountBarChart(host, { id = host.id || 'bars', title, values, labels } = {}) {
  useChartStyles();
  const picture = element('img', { class: 'chart-image', alt: '' });
  const box = element('div', { class: 'bar-chart-box', 'data-child': 'tchChart' }, picture);
  const root = element('div', { class: 'bar-chart', 'aria-busy': 'true' },
    box, element('div', { class: 'banner error', 'data-role': 'errors', role: 'alert', hidden: true }));
  host.replaceChildren(root);

  const view = await ControlView.create('Kestrova.UserControl1', root);
  view.onDraw = (child, name, value) => {
    if (child !== 'tchChart') return;
    if (name === 'image') picture.src = pictureSource(view.state.tchChart);
    if (name === 'caption') picture.alt = value;
  };
  view.onDraw('tchChart', 'image', view.state.tchChart?.image);

  // The saved title comes back before anything else is set.
  let saved = null;
  try {
    saved = JSON.parse(localStorage.getItem(storageKey(id)) ?? 'null');
  } catch {
    saved = null;
  }
  const bag = saved ?? (host.dataset.xlegend !== undefined ? [['XLegend', host.dataset.xlegend]] : []);
  if (bag.length) await view.call('ReadProperties', bag);
  view.on('PropertyChanged', async (name) => {
    if (name !== 'XLegend') return;
    const properties = await view.call('WriteProperties');
    localStorage.setItem(storageKey(id), JSON.stringify(properties));
  });

  await observeSize(box, (width, height) => view.send('UserControl', 'resize', [width, height]));
  const draw = async (to) => {
    view.clearError();
    try {
      if (to.title !== undefined) await view.let('XLegend', to.title);
      if (to.values !== undefined) await view.let('BarValues', to.values);
      if (to.labels !== undefined) await view.let('BarLabels', to.labels);
      await view.call('ReDraw');
    } catch (e) {
      view.showError(e.message);
      throw e;
    }
  };
  if (values !== undefined || title !== undefined) await draw({ title, values, labels }).catch(() => {});
  root.setAttribute('aria-busy', 'false');
  return { view, draw };
}
