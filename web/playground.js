// The playground page: the modules listed from the libraries' descriptions, each one's
// controls built from its pins. Audio-rate modules run live in an AudioWorklet beside a
// response plot; control-value and GUI modules run change by change, as lumhost run does.
import { connectModule, isAudioOn, listenToTransport, stopAudio, tellModule } from './audio.js';
import { buildControls, settingFor } from './controls.js';
import { LumLibrary } from './lum_library.js';
import { listModules, showFromAddress } from './module_list.js';
import { $, kindOf, kKindNames, page, showMessage } from './page.js';
import { responses, scheduleResponse, startResponses } from './responses.js';
import { step } from './steps.js';

// The page opens on the filter: its library comes first, then the others in the build's order.
const kFirstLibrary = 'QX-DaRovoVIR3';

function select(entry, module) {
  page.current?.session?.close();
  const kind = kindOf(module);
  const current = { entry, module, kind, shown: new Map(), controls: new Map(), session: null };
  page.current = current;
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
  buildControls(apply);
  responses.shown = null;
  try {
    if (kind === 'audio') {
      scheduleResponse();
      if (isAudioOn()) connectModule();
    } else {
      // Only audio-rate modules play: the sound stops with the panel.
      stopAudio();
      current.session = entry.library.openSession(module.id);
      // As lumhost run starts: control values, graph start with every input's default; GUI,
      // every input set to its default before each is notified.
      step([], true);
    }
  } catch (error) {
    showMessage(error.message);
  }
}

// Returns whether the module took the value; if not, the pin keeps the one before.
function apply(pin, shown) {
  const { current } = page;
  const before = current.shown.get(pin.index);
  current.shown.set(pin.index, shown);
  const setting = settingFor(pin, shown);
  if (current.kind !== 'audio') {
    if (step([setting])) return true;
    current.shown.set(pin.index, before);
    return false;
  }
  showMessage('');
  tellModule({ change: setting });
  scheduleResponse();
  return true;
}

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
  for (const name of names) page.libraries.set(name, await loadLibrary(name));
  startResponses();
  listenToTransport();
  listModules(select);
  window.addEventListener('hashchange', () => showFromAddress(select));
  showFromAddress(select);
}

export const ready = start().catch((error) => {
  showMessage(`the playground could not start: ${error.message}`);
  throw error;
});

// The browser tests' probes, on the address they load (?probes) only.
if (new URLSearchParams(location.search).has('probes')) {
  document.head.append(Object.assign(document.createElement('script'), { type: 'module', src: 'playground_probes.js' }));
}
