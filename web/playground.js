// The playground page: the modules listed from the libraries' descriptions, each one's
// controls built from its pins. Audio-rate modules run live in an AudioWorklet beside a
// response plot; control-value and GUI modules run change by change, as lumhost run does.
import { LumLibrary } from './lum_library.js';
import { drawResponse, drawScope } from './plots.js';

// The page opens on the filter: its library comes first, then the others in the build's order.
const kFirstLibrary = 'QX-DaRovoVIR3';
// Web Audio's render quantum: the module's block size, on the audio thread and for the response.
const kBlock = 128;
// The impulse response's length, as lumhost response measures by default.
const kResponseSeconds = 1;
const kLoopSeconds = { noise: 5, 'sine:440': 1, sweep: 10 };
// What AudioContext takes here.
const kRates = { lowest: 3000, highest: 768000 };
const kKindNames = { audio: 'DSP module, audio rate', control: 'DSP module, control values', gui: 'GUI module' };
const kLogLines = 400;
const kLargestFloat = 3.4028234663852886e38;

const $ = (id) => document.getElementById(id);

const libraries = new Map(); // name -> {name, module (compiled), description (text), library, scale}
let current = null; // the module on show
let audio = null; // {context, node, file}
// Whether the person asked for sound; a start may still be loading its worklet.
let playing = false;
// Counts starts and stops: a start still loading its worklet when another comes gives way.
let audioGeneration = 0;
let sampleRate = 48000;
let droppedBuffer = null;
let lastClip = -Infinity;
let lastNonFinite = -Infinity;

function showMessage(text) {
  $('message').textContent = text;
  $('message').hidden = !text;
}

function kindOf(module) {
  if (module.side === 'gui') return 'gui';
  return module.pins.some((pin) => pin.datatype === 'audio') ? 'audio' : 'control';
}

// Decimal noise from scaling (0.707 / 10) would reach the module as another float.
const tidy = (value) => Number(value.toPrecision(15));
// An audio pin is shown as its value times the library's scale, like lumhost list shows it.
const scaleOf = (pin) => (pin.datatype === 'audio' ? current.entry.scale : 1);

function settingFor(pin, shown) {
  if (pin.datatype === 'bool') return `${pin.name}=${shown ? 'true' : 'false'}`;
  return `${pin.name}=${tidy(shown / scaleOf(pin))}`;
}

// A value the module sent, as a person reads it: an int exactly, a float by the fewest
// digits that give back the same float.
function valueText(pin, value) {
  if (pin.datatype === 'bool') return value ? 'true' : 'false';
  if (pin.datatype === 'int' || !Number.isFinite(value)) return String(value);
  for (let digits = 1; digits < 9; ++digits) {
    const shorter = Number(value.toPrecision(digits));
    if (Math.fround(shorter) === value) return String(shorter);
  }
  return String(Number(value.toPrecision(9)));
}

function shownText(pin, value) {
  const name = pin.values?.[value];
  return `${valueText(pin, value)}${name ? ` (${name})` : ''}${pin.unit ? ` ${pin.unit}` : ''}`;
}

// A pin's range in the terms its control shows.
const shownRange = (pin) => pin.range.map((end) => tidy(end * scaleOf(pin)));

// The pin's value as the user typed it, checked against its type and range; throws the message to show.
function checked(pin, text) {
  const unit = pin.unit ? ` ${pin.unit}` : '';
  const value = Number(text);
  if (text.trim() === '' || !Number.isFinite(value)) throw new Error(`${pin.name}: '${text}' is not a number`);
  if (pin.datatype === 'int' && (!Number.isInteger(value) || value < -(2 ** 31) || value > 2 ** 31 - 1)) {
    throw new Error(`${pin.name}: ${text} is not a 32-bit integer`);
  }
  if (Math.abs(value / scaleOf(pin)) > kLargestFloat) throw new Error(`${pin.name}: ${text} is beyond a float`);
  if (pin.range) {
    const [lowest, highest] = shownRange(pin);
    if (value < lowest || value > highest) {
      throw new Error(`${pin.name}: ${text}${unit} is outside ${lowest} to ${highest}${unit}`);
    }
  }
  return value;
}

// ---- The module list

function listModules() {
  const nav = $('modules');
  nav.replaceChildren();
  for (const entry of libraries.values()) {
    for (const kind of ['audio', 'control', 'gui']) {
      const modules = entry.library.description.modules.filter((module) => kindOf(module) === kind);
      if (modules.length === 0) continue;
      const heading = document.createElement('h3');
      heading.textContent = `${entry.name} · ${kKindNames[kind].replace(' module', '')}`;
      nav.append(heading);
      for (const module of modules) {
        const button = document.createElement('button');
        button.type = 'button';
        button.textContent = module.id;
        button.dataset.library = entry.name;
        button.dataset.module = module.id;
        button.addEventListener('click', () => {
          const address = `#${entry.name}/${module.id}`;
          // The same address again starts the module afresh.
          if (location.hash === address) selectFromAddress();
          else location.hash = address;
        });
        nav.append(button);
      }
    }
  }
}

function selectFromAddress() {
  let address = '';
  try {
    address = decodeURIComponent(location.hash.slice(1));
  } catch {
    // A malformed address shows the first module.
  }
  const [libraryName, moduleId] = address.split('/');
  const entry = libraries.get(libraryName) ?? libraries.values().next().value;
  const module = entry.library.description.modules.find((m) => m.id === moduleId) ?? entry.library.description.modules[0];
  select(entry, module);
}

// ---- One module on show

function select(entry, module) {
  current?.session?.close();
  const kind = kindOf(module);
  current = { entry, module, kind, shown: new Map(), controls: new Map(), session: null };
  for (const button of $('modules').querySelectorAll('button')) {
    button.setAttribute('aria-current', String(button.dataset.library === entry.name && button.dataset.module === module.id));
  }
  $('module').hidden = false;
  $('module-title').textContent = module.id;
  $('module-kind').textContent = `${kKindNames[kind]} of ${entry.name}`;
  $('audio-panel').hidden = kind !== 'audio';
  $('steps-panel').hidden = kind === 'audio';
  $('log').textContent = '';
  showMessage('');
  buildControls();
  responses.shown = null;
  window.playground.plotted = null;
  try {
    if (kind === 'audio') {
      scheduleResponse();
      if (audio) connectModule();
    } else {
      // Only audio-rate modules play: the sound stops with the panel.
      stopAudio();
      current.session = entry.library.openSession(module.id);
      // Control values: graph start with every input's default. GUI: each input set and notified.
      step(kind === 'control' ? [] : inputsOf(module).map((pin) => settingFor(pin, current.shown.get(pin.index))));
    }
  } catch (error) {
    showMessage(error.message);
  }
}

const inputsOf = (module) => module.pins.filter((pin) => pin.direction === 'in');
// The first audio input of an audio-rate module takes the signal, as in lumhost render.
const signalPinOf = (module) => module.pins.find((pin) => pin.direction === 'in' && pin.datatype === 'audio');

function buildControls() {
  const { module, kind } = current;
  const pins = $('pins');
  pins.replaceChildren();
  const signalPin = kind === 'audio' ? signalPinOf(module) : null;
  for (const pin of module.pins) {
    if (pin.datatype === 'midi') continue;
    const label = document.createElement('label');
    label.textContent = pin.name;
    label.htmlFor = `pin-${pin.index}`;
    if (pin.direction === 'out' && pin.datatype !== 'audio') {
      label.append(Object.assign(document.createElement('small'), { className: 'unit', textContent: pin.settable ? ' out, settable' : ' out' }));
    }
    const row = document.createElement('div');
    row.className = 'pin-control';
    row.dataset.pin = pin.name;
    pins.append(label, row);
    if (pin === signalPin) {
      row.textContent = 'takes the signal (the source below)';
    } else if (pin.direction === 'in' || (kind === 'gui' && pin.settable)) {
      if (pin.default !== undefined) current.shown.set(pin.index, tidy(Number(pin.default) * scaleOf(pin)));
      else current.shown.set(pin.index, 0);
      row.append(...makeControl(pin));
    } else if (pin.datatype === 'audio') {
      row.textContent = 'the output you hear';
    } else {
      const output = document.createElement('output');
      output.id = `pin-${pin.index}`;
      output.textContent = 'nothing sent yet';
      row.append(output);
      current.controls.set(pin.index, { show: (value) => (output.textContent = shownText(pin, value)) });
    }
  }
}

// A toggle for bool, a select for named values, a slider beside a number field for a
// range (logarithmic over wide positive ones), else a number field.
function makeControl(pin) {
  const shown = current.shown.get(pin.index);
  const id = `pin-${pin.index}`;
  if (pin.datatype === 'bool') {
    const toggle = Object.assign(document.createElement('input'), { type: 'checkbox', id, checked: Boolean(shown) });
    toggle.addEventListener('change', () => apply(pin, toggle.checked ? 1 : 0));
    current.controls.set(pin.index, { show: (value) => (toggle.checked = Boolean(value)) });
    return [toggle];
  }
  if (pin.values) {
    const select = Object.assign(document.createElement('select'), { id });
    pin.values.forEach((name, value) => select.append(new Option(`${value} ${name}`, String(value))));
    select.value = String(shown);
    select.addEventListener('change', () => apply(pin, Number(select.value)));
    current.controls.set(pin.index, { show: (value) => (select.value = String(value)) });
    return [select];
  }
  const field = Object.assign(document.createElement('input'), { type: 'text', inputMode: 'decimal', id, value: String(shown) });
  const unit = Object.assign(document.createElement('span'), { className: 'unit', textContent: pin.unit ?? '' });
  const parts = [field, unit];
  let slider = null;
  if (pin.range) {
    const [lowest, highest] = shownRange(pin);
    const logarithmic = lowest > 0 && highest / lowest >= 100;
    const toValue = (position) => {
      const value = logarithmic ? lowest * (highest / lowest) ** position : lowest + (highest - lowest) * position;
      return pin.datatype === 'int' ? Math.round(value) : tidy(Number(value.toPrecision(4)));
    };
    const toPosition = (value) =>
      logarithmic ? Math.log(value / lowest) / Math.log(highest / lowest) : (value - lowest) / (highest - lowest);
    slider = Object.assign(document.createElement('input'), { type: 'range', min: '0', max: '1', step: '0.001' });
    slider.setAttribute('aria-label', `${pin.name} slider`);
    slider.value = String(toPosition(shown));
    slider.addEventListener('input', () => {
      const value = toValue(Number(slider.value));
      field.value = String(value);
      apply(pin, value);
    });
    slider.showValue = (value) => (slider.value = String(toPosition(value)));
    parts.unshift(slider);
  }
  field.addEventListener('change', () => {
    try {
      const value = checked(pin, field.value);
      slider?.showValue(value);
      apply(pin, value);
    } catch (error) {
      showMessage(error.message);
      field.value = String(current.shown.get(pin.index));
    }
  });
  current.controls.set(pin.index, {
    show: (value) => {
      field.value = valueText(pin, value);
      slider?.showValue(value);
    },
  });
  return parts;
}

function apply(pin, shown) {
  current.shown.set(pin.index, shown);
  const setting = settingFor(pin, shown);
  if (current.kind === 'audio') {
    showMessage('');
    audio?.node?.port.postMessage({ change: setting });
    scheduleResponse();
  } else {
    step([setting]);
  }
}

// ---- Control-value and GUI modules: change by change

function step(settings) {
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

// ---- Audio-rate modules: response, sound, meter and scope

// Every input but the one taking the signal, at its control's value.
function audioSettings() {
  const signalPin = signalPinOf(current.module);
  return inputsOf(current.module)
    .filter((pin) => pin !== signalPin)
    .map((pin) => settingFor(pin, current.shown.get(pin.index)));
}

// Responses are measured on a worker of their own: summing a long impulse response on the
// page's thread would stall the controls. One request at a time; the latest waits.
const responses = { worker: null, busy: false, wanted: false, asked: null, shown: null };

function scheduleResponse() {
  responses.wanted = true;
  if (!responses.busy) requestResponse();
}

function requestResponse() {
  responses.wanted = false;
  if (current?.kind !== 'audio') return;
  const { entry, module } = current;
  responses.asked = { moduleId: module.id, settings: audioSettings(), sampleRate };
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
  if (responses.asked.moduleId === current?.module.id) {
    responses.shown = data.points ? { points: data.points } : { points: [], failure: data.error };
    window.playground.plotted = data.points ? { ...responses.asked, points: data.points } : null;
    drawShownResponse();
  }
  if (responses.wanted) requestResponse();
}

function drawShownResponse() {
  if (responses.shown) drawResponse($('response'), responses.shown.points, responses.shown.failure);
}

function makeNode(context, entry, moduleId, settings, source) {
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

function connectModule() {
  audio.node?.port.postMessage({ stop: true });
  audio.node?.disconnect();
  audio.file?.stop();
  audio.file = null;
  audio.node = makeNode(audio.context, current.entry, current.module.id, audioSettings(), sourceChoice());
  audio.node.port.postMessage({ bypass: $('bypass').checked });
  audio.node.port.onmessage = ({ data }) => {
    if (data.error || data.refused) showMessage(data.error ?? data.refused);
    if (data.meter) {
      showMeter(data.meter);
      ++window.playground.reports;
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
    context = new AudioContext({ sampleRate });
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

function stopAudio() {
  ++audioGeneration;
  audio?.context.close();
  audio = null;
  showPlaying(false);
}

function showMeter({ peak, clipped, nonFinite, asleep }) {
  const now = performance.now();
  const db = peak > 0 ? 20 * Math.log10(peak) : -Infinity;
  $('meter-bar').style.backgroundSize = `${Math.min(Math.max((db + 60) / 66, 0), 1) * 100}% 100%`;
  $('meter-text').textContent = Number.isFinite(db) ? `${db.toFixed(1)} dBFS` : '−∞ dBFS';
  if (clipped > 0) lastClip = now;
  if (nonFinite > 0) lastNonFinite = now;
  // Held for a second, so a short event is seen.
  $('meter-clip').hidden = now - lastClip > 1000;
  $('meter-nonfinite').hidden = now - lastNonFinite > 1000;
  $('meter-asleep').hidden = asleep === 0;
}

async function useFile(file) {
  try {
    const decoder = audio?.context ?? new OfflineAudioContext(1, 1, sampleRate);
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
    $('rate').value = String(sampleRate);
    return;
  }
  const previous = sampleRate;
  sampleRate = rate;
  showMessage('');
  scheduleResponse();
  if (playing) {
    startAudio().catch((error) => {
      showMessage(`sample rate ${rate} Hz: ${error.message}`);
      sampleRate = previous;
      $('rate').value = String(previous);
      scheduleResponse();
    });
  }
}

// ---- For the tests: an offline render through the same AudioWorklet

async function renderOffline({ library, moduleId, settings, signal, seconds, rate }) {
  const frames = Math.round(seconds * rate);
  const context = new OfflineAudioContext(1, frames, rate);
  await context.audioWorklet.addModule('module_processor.js');
  makeNode(context, libraries.get(library), moduleId, settings, { signal, seconds }).connect(context.destination);
  const rendered = await context.startRendering();
  return rendered.getChannelData(0);
}

// ---- Start

async function fetched(url) {
  const response = await fetch(url);
  if (!response.ok) throw new Error(`${url}: ${response.status} ${response.statusText}`);
  return response;
}

async function loadLibrary(name) {
  const [bytes, description] = await Promise.all([
    fetched(`${name}.wasm`).then((response) => response.arrayBuffer()),
    fetched(`${name}.lum.json`).then((response) => response.text()),
  ]);
  const module = await WebAssembly.compile(bytes);
  const library = new LumLibrary(module, description);
  return { name, module, description, library, scale: library.description.audioScale ?? 1 };
}

async function start() {
  const names = await (await fetched('module_libraries.json')).json();
  names.sort((a, b) => (b === kFirstLibrary) - (a === kFirstLibrary));
  for (const name of names) libraries.set(name, await loadLibrary(name));
  responses.worker = new Worker('response_worker.js', { type: 'module' });
  responses.worker.onmessage = receiveResponse;
  $('play').addEventListener('click', () => (playing ? stopAudio() : startAudio().catch((error) => showMessage(error.message))));
  $('source').addEventListener('change', applySource);
  $('bypass').addEventListener('change', () => audio?.node?.port.postMessage({ bypass: $('bypass').checked }));
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
  window.addEventListener('resize', drawShownResponse);
  listModules();
  window.addEventListener('hashchange', selectFromAddress);
  selectFromAddress();
}

window.playground = {
  ready: start().catch((error) => {
    showMessage(`the playground could not start: ${error.message}`);
    throw error;
  }),
  renderOffline,
  // The response on show, and how many times the audio thread has reported.
  plotted: null,
  reports: 0,
};
