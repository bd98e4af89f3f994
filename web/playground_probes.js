// What the browser tests (tests/web/playground_test.py) read, loaded by the page only on
// ?probes: when it has started, the response on show, how many times the audio thread has
// reported, and an offline render through the same AudioWorklet.
import { makeNode, meter } from './audio.js';
import { page } from './page.js';
import { ready } from './playground.js';
import { responses } from './responses.js';

async function renderOffline({ library, moduleId, settings, signal, seconds, rate }) {
  const frames = Math.round(seconds * rate);
  const context = new OfflineAudioContext(1, frames, rate);
  await context.audioWorklet.addModule('module_processor.js');
  makeNode(context, page.libraries.get(library), moduleId, settings, { signal, seconds }).connect(context.destination);
  const rendered = await context.startRendering();
  return rendered.getChannelData(0);
}

window.playground = {
  ready,
  renderOffline,
  get plotted() {
    const shown = responses.shown;
    return shown && !('failure' in shown) ? shown : null;
  },
  get reports() {
    return meter.reports;
  },
};
