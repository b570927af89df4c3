// The maintenance page: hosts ctlTasks. The control runs the tasks on its own thread and
// reports their status and progress; the page draws them and marks a failed run.
import { ControlView, pageHeader, startSession } from './kestrova.js';

pageHeader();
await startSession({ resume: true }); // a reload keeps the task that runs
const root = document.getElementById('ctlTasks');
const status = root.querySelector('.status');
const view = await ControlView.create('Kestrova.ctlTasks', root);
status.classList.toggle('failed', view.state.lblStatus?.error === true);
view.onDraw = (child, name, value) => {
  if (child === 'lblStatus' && name === 'error') status.classList.toggle('failed', value === true);
};
