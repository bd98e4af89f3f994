// What every part of the playground page shares: the libraries, the module on show and the
// sample rate, and the page's message line.
export const $ = (id) => document.getElementById(id);

// Web Audio's render quantum: the module's block size, on the audio thread and for the response.
export const kBlock = 128;
export const kKindNames = { audio: 'DSP module, audio rate', control: 'DSP module, control values', gui: 'GUI module' };

export const page = {
  libraries: new Map(), // name -> {name, module (compiled), description (text), library, scale}
  current: null, // the module on show: {entry, module, kind, shown, controls, session}
  sampleRate: 48000,
};

export function showMessage(text) {
  $('message').textContent = text;
  $('message').hidden = !text;
}

export function kindOf(module) {
  if (module.side === 'gui') return 'gui';
  return module.pins.some((pin) => pin.datatype === 'audio') ? 'audio' : 'control';
}
