// The company page, profile.asp?ticker=: the company view on a page of its own (the page the
// alert mail links to).
import { pageHeader, startSession } from './kestrova.js';
import { mountCompany } from './company.js';
import { companyControls } from './company-controls.js';

pageHeader();
const content = document.getElementById('company-content');
const ticker = new URLSearchParams(location.search).get('ticker') ?? '';
// The figures are asked for while the page's session opens.
const session = startSession();
await mountCompany(content, ticker, { ...companyControls(), session }).catch(() => {});
document.body.dataset.ready = 'true';
