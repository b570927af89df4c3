// The controls the company view hosts: the price chart and the composite ratings' bar chart.
// Until their scripts are part of the product, their boxes say what will appear there.
import { element } from './kestrova.js';

export function companyControls() {
  return {
    async mountChart(host) {
      host.classList.add('placeholder');
      host.replaceChildren(element('p', {}, 'The price chart appears here.'));
    },
    async mountBars() {},
  };
}
