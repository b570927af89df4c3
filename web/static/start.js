// The start page: for now the shared header and links to the other pages.
import { pageHeader } from './kestrova.js';

pageHeader();
