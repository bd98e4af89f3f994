// A module's pins as controls: values in the terms a person reads, checked as typed, and
// the settings (lumhost's NAME=VALUE) the module gets.
import { $, page, showMessage } from './page.js';

// The smallest float above zero (a denormal): a value nearer zero reads as no float.
const kSmallestFloat = 1.401298464324817e-45;
// Decimal numbers as lumhost's pin settings read them: no '+', hexadecimal or spaces inside.
const kDecimal = /^-?(\d+\.?\d*|\.\d+)(e[-+]?\d+)?$/i;

// Decimal noise from scaling (0.707 / 10) would reach the module as another float.
export const tidy = (value) => Number(value.toPrecision(15));
// An audio pin is shown as its value times the library's scale, like lumhost list shows it.
const scaleOf = (pin) => (pin.datatype === 'audio' ? page.current.entry.scale : 1);

// The value the module gets for what the control shows.
function sampleText(pin, shown) {
  if (pin.datatype === 'bool') return shown ? 'true' : 'false';
  return String(tidy(shown / scaleOf(pin)));
}

export const settingFor = (pin, shown) => `${pin.name}=${sampleText(pin, shown)}`;

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

// The value of a pin as a person typed it, in the control's terms, if the module takes it;
// else throws the message to show.
function typed(pin, text) {
  if (!kDecimal.test(text.trim())) throw new Error(`${pin.name}: '${text}' is not a number`);
  return accepted(pin, Number(text), text.trim());
}

// `value` if the module takes it, checked by the module's own reading of what the page
// sends; else throws the message to show, in the control's terms as `written`.
function accepted(pin, value, written) {
  const unit = pin.unit ? ` ${pin.unit}` : '';
  const scale = scaleOf(pin);
  if (pin.datatype === 'int' && (!Number.isInteger(value) || value < -(2 ** 31) || value > 2 ** 31 - 1)) {
    throw new Error(`${pin.name}: ${written} is not a 32-bit integer`);
  }
  if (pin.datatype !== 'int' && !Number.isFinite(Math.fround(value / scale))) {
    throw new Error(`${pin.name}: ${written}${unit} is beyond a float`);
  }
  if (pin.range) {
    const [lowest, highest] = shownRange(pin);
    if (value < lowest || value > highest) {
      throw new Error(`${pin.name}: ${written}${unit} is outside ${lowest} to ${highest}${unit}`);
    }
  }
  const { entry, module } = page.current;
  if (entry.library.refusal(module.id, pin.index, sampleText(pin, value)) !== null) {
    if (value !== 0 && Math.fround(value / scale) === 0) {
      const smallest = Number((kSmallestFloat * scale).toPrecision(2));
      throw new Error(`${pin.name}: ${written}${unit} is nearer zero than the smallest float, ${smallest}${unit}`);
    }
    throw new Error(`${pin.name}: ${module.id} does not take ${written}${unit}`);
  }
  return value;
}

// Hands the value `take()` gives to `apply`; one refused, by the page or the module, leaves
// the control at the last value taken and says why.
function offer(pin, take, apply) {
  const { controls, shown } = page.current;
  try {
    if (apply(pin, take())) return;
  } catch (error) {
    showMessage(error.message);
  }
  controls.get(pin.index).show(shown.get(pin.index));
}

const inputsOf = (module) => module.pins.filter((pin) => pin.direction === 'in');
// The first audio input of an audio-rate module takes the signal, as in lumhost render.
const signalPinOf = (module) => module.pins.find((pin) => pin.direction === 'in' && pin.datatype === 'audio');

// Every input but the one taking the signal, at its control's value.
export function audioSettings() {
  const { module, shown } = page.current;
  const signalPin = signalPinOf(module);
  return inputsOf(module)
    .filter((pin) => pin !== signalPin)
    .map((pin) => settingFor(pin, shown.get(pin.index)));
}

// The controls of the module on show; `apply(pin, shown)` takes each value a person sets,
// returning whether the module took it.
export function buildControls(apply) {
  const { module, kind } = page.current;
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
      if (pin.default !== undefined) page.current.shown.set(pin.index, tidy(Number(pin.default) * scaleOf(pin)));
      else page.current.shown.set(pin.index, 0);
      row.append(...makeControl(pin, apply));
    } else if (pin.datatype === 'audio') {
      row.textContent = 'the output you hear';
    } else {
      const output = document.createElement('output');
      output.id = `pin-${pin.index}`;
      output.textContent = 'nothing sent yet';
      row.append(output);
      page.current.controls.set(pin.index, { show: (value) => (output.textContent = shownText(pin, value)) });
    }
  }
}

// A toggle for bool, a select for named values, a slider beside a number field for a
// range (logarithmic over wide positive ones), else a number field.
function makeControl(pin, apply) {
  const { controls } = page.current;
  const shown = page.current.shown.get(pin.index);
  const id = `pin-${pin.index}`;
  if (pin.datatype === 'bool') {
    const toggle = Object.assign(document.createElement('input'), { type: 'checkbox', id, checked: Boolean(shown) });
    toggle.addEventListener('change', () => offer(pin, () => (toggle.checked ? 1 : 0), apply));
    controls.set(pin.index, { show: (value) => (toggle.checked = Boolean(value)) });
    return [toggle];
  }
  if (pin.values) {
    const select = Object.assign(document.createElement('select'), { id });
    pin.values.forEach((name, value) => select.append(new Option(`${value} ${name}`, String(value))));
    select.value = String(shown);
    select.addEventListener('change', () => offer(pin, () => Number(select.value), apply));
    controls.set(pin.index, { show: (value) => (select.value = String(value)) });
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
      offer(pin, () => accepted(pin, value, String(value)), apply);
    });
    slider.showValue = (value) => (slider.value = String(toPosition(value)));
    parts.unshift(slider);
  }
  field.addEventListener('change', () =>
    offer(
      pin,
      () => {
        const value = typed(pin, field.value);
        slider?.showValue(value);
        return value;
      },
      apply,
    ),
  );
  controls.set(pin.index, {
    show: (value) => {
      field.value = valueText(pin, value);
      slider?.showValue(value);
    },
  });
  return parts;
}
