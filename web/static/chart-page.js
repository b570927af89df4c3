// The chart page, /Kestrova/chart.asp?ticker=T: the price chart of one stock, large, with
// its options dialog; &days=, &chart= and &frequency= choose what it starts with. With
// &bars=values (and &labels=, &title=) it also shows those values as a bar chart.
import { pageHeader, startSession } from './kestrova.js';
import { mountOHLCGraph } from './ctlOHLCGraph.js';
import { mountBarChart } from './UserControl1.js';

pageHeader();
const params = new URLSearchParams(location.search);
const ticker = (params.get('ticker') ?? '').trim().toUpperCase();
document.getElementById('chart-ticker').textContent = ticker || 'No ticker given: add ?ticker= to the address.';
if (ticker) document.title = `${ticker} chart · Kestrova`;
await startSession();
await mountOHLCGraph(document.getElementById('ctlOHLCGraph'), {
  symbol: ticker,
  days: Number(params.get('days') ?? 260),
  chart: params.get('chart') ?? 'price',
  frequency: params.get('frequency') ?? 'daily',
});
if (params.has('bars')) {
  document.getElementById('bars-panel').hidden = false;
  await mountBarChart(document.getElementById('UserControl1'), {
    id: 'chart-page',
    title: params.get('title') ?? undefined,
    values: params.get('bars'),
    labels: params.get('labels') ?? '',
  });
}
document.body.dataset.ready = 'true';
