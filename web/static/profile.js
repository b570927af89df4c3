// The company page, profile.asp?ticker=: the company view on a page of its own (the page the
// alert mail links to).
import { pageHeader, startSession } from './kestrova.js';
import { mountCompany } from './company.js';
import { companyControls } from './company-controls.js';

pageHeader();
const content = document.getElementById('company-content');
const ticker = new URLSearchParams(location.search).get('ticker') ?? '';
// The figures came with the page (null when the server could not read them: then the page
// asks for them, and shows why they cannot be had).
const figures = JSON.parse(document.getElementById('company-data')?.textContent || 'null');
const session = startSession();
await mountCompany(content, ticker, { ...companyControls(), session, figures }).catch(() => {});
document.body.dataset.ready = 'true';
