// The settings page: hosts ctlSettings. Apply and Reset call the control's methods; what
// they do, and what a bad field is, the control decides.
import { ControlView, pageHeader, startSession } from './kestrova.js';

pageHeader();
await startSession(); // a reload shows the stored settings again
const root = document.getElementById('ctlSettings');
const settings = await ControlView.create('Kestrova.ctlSettings', root);
const saved = document.getElementById('saved');

async function run(button, member, message) {
  button.disabled = true;
  saved.textContent = '';
  try {
    await settings.method(member);
    saved.textContent = message;
  } catch {
    // The control's error is shown in the panel; the field it names is marked.
    root.querySelector('[aria-invalid="true"]')?.focus();
  } finally {
    button.disabled = false;
  }
}

document.getElementById('apply').addEventListener('click', (e) =>
  run(e.currentTarget, 'ApplySettings', 'Settings saved.'));
document.getElementById('reset').addEventListener('click', (e) =>
  run(e.currentTarget, 'ResetSettings', 'Stored settings shown again.'));
