// The price chart control in a page: mountOHLCGraph(host, {symbol, days, chart, frequency})
// creates a Kestrova.ctlOHLCGraph, shows its picture at the box's size, forwards clicks
// (the Chart Options dialog), the pointer (the hover readout) and the box's size, and draws
// the dialog the control opens. What is drawn, read out or applied the control decides.
import { ControlView, element, setupCall } from './kestrova.js';
import { useChartStyles, observeSize, pictureSource, boxSize, resizeSteps } from './UserControl1.js';

function optionsDialog() {
  const list = (caption, child) =>
    element('label', { class: 'field' },
      element('span', { 'data-caption': caption }),
      element('select', { 'data-child': child }));
  const button = (child, primary) =>
    element('button', { type: 'button', 'data-child': child, class: primary ? 'primary' : undefined });
  return element('dialog', { class: 'dialog chart-options', 'aria-labelledby': 'chart-options-title' },
    element('h2', { id: 'chart-options-title', 'data-caption': 'frmOHLCOptions' }),
    element('p', { class: 'hint', 'data-caption': 'lblCaption' }),
    list('Label3', 'cmbChart'),
    list('Label2', 'cmbDays'),
    list('Label1', 'cmbFrequency'),
    element('p', { class: 'field-error', role: 'alert', hidden: true }),
    element('div', { class: 'dialog-buttons' }, button('cmdOK', true), button('cmdApply'), button('cmdCancel')));
}

export async function mountOHLCGraph(host, { symbol = '', days = 260, chart = 'price', frequency = 'daily' } = {}) {
  useChartStyles();
  const picture = element('img', { class: 'chart-image', alt: '' });
  const guide = element('div', { class: 'chart-guide', hidden: true, 'aria-hidden': 'true' });
  const hint = 'Point at the chart for the figures of a day; click it or press Enter for chart options.';
  const readout = element('div', { class: 'chart-readout hint' }, hint);
  // Not a <button>: a button's caption would replace the picture inside it.
  const button = element('div', {
    class: 'chart-picture', 'data-child': 'tchChart', 'data-kind': 'button', role: 'button',
    tabindex: '0', title: 'Chart options', 'aria-haspopup': 'dialog',
  }, picture, guide);
  const box = element('div', { class: 'chart-box' }, button);
  const dialog = optionsDialog();
  const root = element('div', { class: 'ohlc-graph', 'aria-busy': 'true' },
    box, readout, element('div', { class: 'banner error', 'data-role': 'errors', role: 'alert', hidden: true }), dialog);
  host.replaceChildren(root);

  // A page sets Days, Chart and Frequency first and Symbol last: the symbol draws. The
  // first picture comes with the control, drawn at the box's size.
  const settings = (to) => [
    setupCall('Days', 'let', to.days ?? days),
    setupCall('Chart', 'let', to.chart ?? chart),
    setupCall('Frequency', 'let', to.frequency ?? frequency),
    setupCall('Symbol', 'let', to.symbol ?? ''),
  ];
  const size = boxSize(box);
  const view = await ControlView.create('Kestrova.ctlOHLCGraph', root, {
    setup: [...resizeSteps(size), ...(symbol ? settings({ symbol }) : [])],
  });
  // Pixels of the picture as the control drew it, for pointer positions and the guide.
  // (The control's width, not the image's natural one: an SVG may state its size in points.)
  const scale = () => {
    const drawn = view.state.tchChart?.width;
    return drawn ? picture.getBoundingClientRect().width / drawn : 1;
  };
  view.onDraw = (child, name, value) => {
    const state = view.state[child];
    if (child === 'tchChart') {
      if (name === 'image') picture.src = pictureSource(state);
      if (name === 'caption') button.setAttribute('aria-label', `${value}. Chart options`);
    } else if (child === 'lblReadout') {
      if (name === 'caption' || name === 'visible') {
        readout.textContent = state.visible ? state.caption : hint;
        readout.classList.toggle('hint', !state.visible);
        guide.hidden = !state.visible;
      }
      if (name === 'x' || name === 'top' || name === 'bottom') {
        const s = scale();
        guide.style.left = `${(state.x ?? 0) * s}px`;
        guide.style.top = `${(state.top ?? 0) * s}px`;
        guide.style.height = `${((state.bottom ?? 0) - (state.top ?? 0)) * s}px`;
      }
    } else if (child === 'frmOHLCOptions' && name === 'visible') {
      if (value && !dialog.open) {
        dialog.showModal();
        dialog.querySelector('select')?.focus();
      } else if (!value && dialog.open) {
        dialog.close();
        button.focus();
      }
    }
  };
  for (const [child, properties] of Object.entries(view.state)) {
    for (const [name, value] of Object.entries(properties)) view.onDraw(child, name, value);
  }

  // An error of Apply or OK is shown in the dialog too: the panel's banner lies behind it.
  const dialogError = dialog.querySelector('.field-error');
  const showInPanel = view.showError.bind(view);
  view.showError = (text) => {
    dialogError.textContent = text;
    dialogError.hidden = !dialog.open;
    showInPanel(text);
  };
  dialog.addEventListener('close', () => (dialogError.hidden = true));

  // Escape cancels and Enter confirms, as the control's own buttons do.
  dialog.addEventListener('cancel', (e) => {
    e.preventDefault();
    view.send('frmOHLCOptions', 'cancel');
  });
  dialog.addEventListener('keydown', (e) => {
    if (e.key === 'Enter' && e.target.tagName !== 'BUTTON') {
      e.preventDefault();
      view.send('cmdOK', 'click');
    }
  });

  button.addEventListener('keydown', (e) => {
    if (e.key === 'Enter' || e.key === ' ') {
      e.preventDefault();
      view.send('tchChart', 'click');
    }
  });

  // The pointer: the latest position only, one request at a time.
  let pending = null;
  let busy = false;
  const pump = async () => {
    busy = true;
    while (pending) {
      const at = pending;
      pending = null;
      await view.send('tchChart', 'mousemove', at);
    }
    busy = false;
  };
  button.addEventListener('pointermove', (e) => {
    const r = picture.getBoundingClientRect();
    const s = scale();
    pending = [Math.round(((e.clientX - r.left) / s) * 10) / 10, Math.round(((e.clientY - r.top) / s) * 10) / 10];
    if (!busy) pump();
  });
  button.addEventListener('pointerleave', () => {
    pending = null;
    view.send('tchChart', 'mouseleave');
  });

  if (view.setupFailure) view.showError(view.setupFailure.error.message);
  await observeSize(box, (width, height) => view.send('UserControl', 'resize', [width, height]), size);

  const run = async (work) => {
    view.clearError();
    try {
      return await work();
    } catch (e) {
      view.showError(e.message);
      throw e;
    }
  };
  const show = (to) => run(async () => {
    for (const step of settings(to)) await view.invoke(step.member, step.kind, step.args);
  });
  root.setAttribute('aria-busy', 'false');
  return {
    view,
    show: (symbolToShow) => show({ symbol: symbolToShow }),
    redraw: () => run(() => view.call('ReDraw')),
  };
}
