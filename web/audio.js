// Audio-rate modules played live: the AudioWorklet running the module, its source, the
// sample rate, and the meter and scope it reports to.
import { drawScope } from './plots.js';
import { audioSettings } from './controls.js';
import { $, kBlock, page, showMessage } from './page.js';
import { scheduleResponse } from './responses.js';

const kLoopSeconds = { noise: 5, 'sine:440': 1, sweep: 10 };
// What AudioContext takes here.
const kRates = { lowest: 3000, highest: 768000 };

// The meter's scale in dBFS; its colour zones (playground.css) sit at fixed levels on it.
const kMeterDb = { lowest: -60, highest: 6 };

let audio = null; // {context, node, file}
// Whether the person asked for sound; a start may still be loading its worklet.
let playing = false;
// Counts starts and stops: a start still loading its worklet when another comes gives way.
let audioGeneration = 0;
let droppedBuffer = null;
// reports: how many times the audio thread has reported.
export const meter = { lastClip: -Infinity, lastNonFinite: -Infinity, reports: 0 };

export const isAudioOn = () => audio !== null;

// A message to the module playing, if one is.
export const tellModule = (message) => audio?.node?.port.postMessage(message);

export function makeNode(context, entry, moduleId, settings, source) {
  const node = new AudioWorkletNode(context, 'lum-module', {
    numberOfInputs: 1,
    numberOfOutputs: 1,
    outputChannelCount: [1],
    channelCount: 1,
    channelCountMode: 'explicit',
    processorOptions: { wasm: entry.module, description: entry.description, moduleId, settings, source, blockSize: kBlock },
  });
  node.onprocessorerror = () => showMessage(`${moduleId} stopped on the audio thread`);
  return node;
}

function sourceChoice() {
  const choice = $('source').value;
  return choice === 'file' ? { input: true } : { signal: choice, seconds: kLoopSeconds[choice] };
}

export function connectModule() {
  audio.node?.port.postMessage({ stop: true });
  audio.node?.disconnect();
  audio.file?.stop();
  audio.file = null;
  audio.node = makeNode(audio.context, page.current.entry, page.current.module.id, audioSettings(), sourceChoice());
  audio.node.port.postMessage({ bypass: $('bypass').checked });
  audio.node.port.onmessage = ({ data }) => {
    if (data.error || data.refused) showMessage(data.error ?? data.refused);
    if (data.meter) {
      showMeter(data.meter);
      ++meter.reports;
    }
    if (data.scope) drawScope($('scope'), data.scope.input, data.scope.output);
  };
  audio.node.connect(audio.context.destination);
  if ($('source').value === 'file') playFile();
}

// A new source for the module playing, which goes on with its state.
function applySource() {
  if (!audio?.node) return;
  audio.file?.stop();
  audio.file = null;
  if ($('source').value === 'file') playFile();
  audio.node.port.postMessage({ source: sourceChoice() });
}

function playFile() {
  audio.file = new AudioBufferSourceNode(audio.context, { buffer: droppedBuffer, loop: true });
  audio.file.connect(audio.node);
  audio.file.start();
}

function showPlaying(wanted) {
  playing = wanted;
  $('play').textContent = playing ? 'Stop' : 'Play';
}

async function startAudio() {
  const generation = ++audioGeneration;
  showPlaying(true);
  // A new context first: should the rate be refused, the one playing goes on.
  let context = null;
  try {
    context = new AudioContext({ sampleRate: page.sampleRate });
    await context.audioWorklet.addModule('module_processor.js');
  } catch (error) {
    context?.close();
    showPlaying(audio !== null);
    throw error;
  }
  if (generation !== audioGeneration) {
    // Stopped, or started again, while the worklet loaded.
    context.close();
    return;
  }
  audio?.context.close();
  audio = { context, node: null, file: null };
  connectModule();
}

export function stopAudio() {
  ++audioGeneration;
  audio?.context.close();
  audio = null;
  showPlaying(false);
}

function showMeter({ peak, clipped, nonFinite, asleep }) {
  const now = performance.now();
  const db = peak > 0 ? 20 * Math.log10(peak) : -Infinity;
  const filled = Math.min(Math.max((db - kMeterDb.lowest) / (kMeterDb.highest - kMeterDb.lowest), 0), 1);
  $('meter-bar').style.setProperty('--level', `${filled * 100}%`);
  $('meter-text').textContent = Number.isFinite(db) ? `${db.toFixed(1)} dBFS` : '−∞ dBFS';
  if (clipped > 0) meter.lastClip = now;
  if (nonFinite > 0) meter.lastNonFinite = now;
  // Held for a second, so a short event is seen.
  $('meter-clip').hidden = now - meter.lastClip > 1000;
  $('meter-nonfinite').hidden = now - meter.lastNonFinite > 1000;
  $('meter-asleep').hidden = asleep === 0;
}

async function useFile(file) {
  try {
    const decoder = audio?.context ?? new OfflineAudioContext(1, 1, page.sampleRate);
    droppedBuffer = await decoder.decodeAudioData(await file.arrayBuffer());
  } catch (error) {
    showMessage(`cannot read ${file.name}: ${error.message || 'not an audio file this browser decodes'}`);
    return;
  }
  showMessage('');
  const option = $('source').querySelector('option[value="file"]');
  option.disabled = false;
  option.textContent = `file: ${file.name}`;
  $('source').value = 'file';
  applySource();
}

function changeRate() {
  const rate = Number($('rate').value);
  if (!Number.isInteger(rate) || rate < kRates.lowest || rate > kRates.highest) {
    showMessage(`sample rate ${$('rate').value} Hz: this browser plays ${kRates.lowest} to ${kRates.highest} Hz`);
    $('rate').value = String(page.sampleRate);
    return;
  }
  const previous = page.sampleRate;
  page.sampleRate = rate;
  showMessage('');
  scheduleResponse();
  if (playing) {
    startAudio().catch((error) => {
      showMessage(`sample rate ${rate} Hz: ${error.message}`);
      page.sampleRate = previous;
      $('rate').value = String(previous);
      scheduleResponse();
    });
  }
}

// The transport: play and stop, source, bypass, sample rate, and a file chosen or dropped.
export function listenToTransport() {
  $('play').addEventListener('click', () => (playing ? stopAudio() : startAudio().catch((error) => showMessage(error.message))));
  $('source').addEventListener('change', applySource);
  $('bypass').addEventListener('change', () => tellModule({ bypass: $('bypass').checked }));
  $('rate').addEventListener('change', changeRate);
  $('file').addEventListener('change', () => $('file').files[0] && useFile($('file').files[0]));
  document.addEventListener('dragover', (event) => {
    event.preventDefault();
    document.body.classList.add('dragging');
  });
  document.addEventListener('dragleave', () => document.body.classList.remove('dragging'));
  document.addEventListener('drop', (event) => {
    event.preventDefault();
    document.body.classList.remove('dragging');
    const file = event.dataTransfer.files[0];
    if (file) useFile(file);
  });
}
