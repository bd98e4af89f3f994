// Audio-rate modules' responses, measured on a worker of their own: summing a long impulse
// response on the page's thread would stall the controls. One request at a time; the
// latest waits.
import { drawResponse } from './plots.js';
import { audioSettings } from './controls.js';
import { $, kBlock, page } from './page.js';

// The impulse response's length, as lumhost response measures by default.
const kResponseSeconds = 1;

// shown: what the plot shows, {moduleId, settings, sampleRate, points} or with a failure.
export const responses = { worker: null, busy: false, wanted: false, asked: null, shown: null };

export function startResponses() {
  responses.worker = new Worker('response_worker.js', { type: 'module' });
  responses.worker.onmessage = receiveResponse;
  window.addEventListener('resize', drawShownResponse);
}

export function scheduleResponse() {
  responses.wanted = true;
  if (!responses.busy) requestResponse();
}

function requestResponse() {
  responses.wanted = false;
  if (page.current?.kind !== 'audio') return;
  const { entry, module } = page.current;
  responses.asked = { moduleId: module.id, settings: audioSettings(), sampleRate: page.sampleRate };
  responses.busy = true;
  responses.worker.postMessage({
    library: entry.name,
    wasm: entry.module,
    description: entry.description,
    blockSize: kBlock,
    seconds: kResponseSeconds,
    ...responses.asked,
  });
}

function receiveResponse({ data }) {
  responses.busy = false;
  if (responses.asked.moduleId === page.current?.module.id) {
    responses.shown = data.points
      ? { ...responses.asked, points: data.points }
      : { ...responses.asked, points: [], failure: data.error };
    drawShownResponse();
  }
  if (responses.wanted) requestResponse();
}

function drawShownResponse() {
  if (responses.shown) drawResponse($('response'), responses.shown.points, responses.shown.failure);
}
