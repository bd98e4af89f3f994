// Control-value and GUI modules: change by change, as lumhost run drives them.
import { $, page, showMessage } from './page.js';

const kLogLines = 400;

export function step(settings) {
  const current = page.current;
  try {
    const { lines, sent } = current.session.step(settings);
    log([`> ${settings.length ? settings.join(', ') : 'graph start'}`, ...lines]);
    for (const { pin, value } of sent) {
      if (current.shown.has(pin)) current.shown.set(pin, value);
      current.controls.get(pin)?.show(value);
    }
    showMessage('');
  } catch (error) {
    showMessage(error.message);
  }
}

function log(lines) {
  const kept = `${$('log').textContent}${lines.join('\n')}\n`.split('\n').slice(-kLogLines);
  $('log').textContent = kept.join('\n');
  $('log').scrollTop = $('log').scrollHeight;
}
