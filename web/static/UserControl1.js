// The bar chart control in a page: mountBarChart(host, {id, title, values, labels}) creates a
// Kestrova.UserControl1, reads back the title the page saved for it (its "XLegend"
// property, kept per id in the browser's storage, else the host's data-xlegend), saves the
// title again whenever the control reports it changed, and shows the picture at the box's
// size. Also the chart pictures' shared helpers.
import { ControlView, element, setupCall, setupEvent } from './kestrova.js';

// The charts' styles, in a file of their own next to the page's stylesheet.
export function useChartStyles() {
  if (document.querySelector('link[data-chart-styles]')) return;
  document.head.append(element('link', { rel: 'stylesheet', href: '/Kestrova/static/charts.css', 'data-chart-styles': true }));
}

// A picture state ({image: {$bytes}, imagetype}) as an image address.
export function pictureSource(state) {
  return state?.image?.$bytes ? `data:${state.imagetype ?? 'image/svg+xml'};base64,${state.image.$bytes}` : '';
}

// The box's size in whole pixels, [width, height]; null while it is too small to draw in.
export function boxSize(box) {
  const r = box.getBoundingClientRect();
  const size = [Math.round(r.width), Math.round(r.height)];
  return size[0] < 16 || size[1] < 16 ? null : size;
}

// The setup step that tells a chart control its box's size, when the box has one.
export const resizeSteps = (size) => (size ? [setupEvent('UserControl', 'resize', size)] : []);

// Calls `report(width, height)` with the box's size after every change of it (settled for a
// moment, so a drag sends one size, not fifty), and now unless the control has `sent` it.
export async function observeSize(box, report, sent = undefined) {
  let last = sent ? sent.join('x') : '';
  let timer = null;
  const send = () => {
    const size = boxSize(box);
    if (!size || size.join('x') === last) return null;
    last = size.join('x');
    return report(...size);
  };
  new ResizeObserver(() => {
    clearTimeout(timer);
    timer = setTimeout(send, 120);
  }).observe(box);
  if (sent === undefined) await send();
}

const storageKey = (id) => `kestrova.UserControl1.${id}`;

// What draws the bars: the title, the values and the labels given, then ReDraw.
function drawSteps(to) {
  return [
    ...(to.title !== undefined ? [setupCall('XLegend', 'let', to.title)] : []),
    ...(to.values !== undefined ? [setupCall('BarValues', 'let', to.values)] : []),
    ...(to.labels !== undefined ? [setupCall('BarLabels', 'let', to.labels)] : []),
    setupCall('ReDraw', 'call'),
  ];
}

export async function mountBarChart(host, { id = host.id || 'bars', title, values, labels } = {}) {
  useChartStyles();
  const picture = element('img', { class: 'chart-image', alt: '' });
  const box = element('div', { class: 'bar-chart-box', 'data-child': 'tchChart' }, picture);
  const root = element('div', { class: 'bar-chart', 'aria-busy': 'true' },
    box, element('div', { class: 'banner error', 'data-role': 'errors', role: 'alert', hidden: true }));
  host.replaceChildren(root);

  // The saved title comes back before anything else is set; the size, the values and the
  // picture come with the control, in the request that creates it.
  let saved = null;
  try {
    saved = JSON.parse(localStorage.getItem(storageKey(id)) ?? 'null');
  } catch {
    saved = null;
  }
  const bag = saved ?? (host.dataset.xlegend !== undefined ? [['XLegend', host.dataset.xlegend]] : []);
  const size = boxSize(box);
  const first = values !== undefined || title !== undefined ? drawSteps({ title, values, labels }) : [];
  const view = await ControlView.create('Kestrova.UserControl1', root, {
    setup: [...(bag.length ? [setupCall('ReadProperties', 'call', bag)] : []), ...resizeSteps(size), ...first],
    prepare: (created) => created.on('PropertyChanged', async (name) => {
      if (name !== 'XLegend') return;
      const properties = await created.call('WriteProperties');
      localStorage.setItem(storageKey(id), JSON.stringify(properties));
    }),
  });
  view.onDraw = (child, name, value) => {
    if (child !== 'tchChart') return;
    if (name === 'image') picture.src = pictureSource(view.state.tchChart);
    if (name === 'caption') picture.alt = value;
  };
  view.onDraw('tchChart', 'image', view.state.tchChart?.image);
  view.onDraw('tchChart', 'caption', view.state.tchChart?.caption);
  if (view.setupFailure) {
    // A title that cannot be read back fails the mount; a drawing that fails is shown.
    if (bag.length && view.setupFailure.step === 0) throw view.setupFailure.error;
    view.showError(view.setupFailure.error.message);
  }

  await observeSize(box, (width, height) => view.send('UserControl', 'resize', [width, height]), size);
  const draw = async (to) => {
    view.clearError();
    try {
      for (const step of drawSteps(to)) await view.invoke(step.member, step.kind, step.args);
    } catch (e) {
      view.showError(e.message);
      throw e;
    }
  };
  root.setAttribute('aria-busy', 'false');
  return { view, draw };
}
