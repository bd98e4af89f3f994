// Control-value and GUI modules: change by change, as lumhost run drives them.
import { $, page, showMessage } from './page.js';

const kLogLines = 400;

// One step; `first`, the session's first (lumhost run's). Returns whether the module took it.
export function step(settings, first = false) {
  const current = page.current;
  try {
    const { lines, sent } = current.session.step(settings, first);
    const start = current.kind === 'gui' ? 'every input set, then each notified' : 'graph start';
    const header = settings.length ? settings.join(', ') : start;
    log([`> ${header}`, ...lines]);
    for (const { pin, value } of sent) {
      if (current.shown.has(pin)) current.shown.set(pin, value);
      current.controls.get(pin)?.show(value);
    }
    showMessage('');
    return true;
  } catch (error) {
    showMessage(error.message);
    return false;
  }
}

function log(lines) {
  const kept = `${$('log').textContent}${lines.join('\n')}\n`.split('\n').slice(-kLogLines);
  $('log').textContent = kept.join('\n');
  $('log').scrollTop = $('log').scrollHeight;
}
