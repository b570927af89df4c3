// The controls the company view hosts: the price chart (ctlOHLCGraph) and the composite
// ratings as a bar chart (UserControl1). One set serves a page: when the start page shows
// another company, the same controls move into its view and draw the new stock.
import { mountOHLCGraph } from './ctlOHLCGraph.js';
import { mountBarChart } from './UserControl1.js';

export function companyControls() {
  let chart = null; // {handle, root}
  let bars = null;
  return {
    async mountChart(host, ticker) {
      host.classList.remove('placeholder');
      if (chart) {
        host.replaceChildren(chart.root);
        await chart.handle.show(ticker);
      } else {
        const handle = await mountOHLCGraph(host, { symbol: ticker });
        chart = { handle, root: host.firstElementChild };
      }
      return chart.handle;
    },
    async mountBars(host, composite) {
      if (!composite) {
        host.hidden = true;
        return null;
      }
      // The bars as the profile's composite block labels them; a rating without a value is 0.
      const values = composite.percentiles.map((p) => (p === null ? '' : String(p))).join(',');
      const labels = composite.labels.join(',');
      if (bars) {
        host.replaceChildren(bars.root);
        await bars.handle.draw({ values, labels });
      } else {
        const handle = await mountBarChart(host, { id: 'company-composite', title: 'Percentile', values, labels });
        bars = { handle, root: host.firstElementChild };
      }
      return bars.handle;
    },
  };
}
