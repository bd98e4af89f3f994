// One module library compiled to WebAssembly, instantiated synchronously so that the page
// and the audio thread (which has no fetch, TextEncoder or TextDecoder) load it alike.

// UTF-8 by hand: the audio thread has no TextEncoder.
function utf8Bytes(text) {
  const bytes = [];
  for (const character of text) {
    const code = character.codePointAt(0);
    if (code < 0x80) {
      bytes.push(code);
    } else if (code < 0x800) {
      bytes.push(0xc0 | (code >> 6), 0x80 | (code & 63));
    } else if (code < 0x10000) {
      bytes.push(0xe0 | (code >> 12), 0x80 | ((code >> 6) & 63), 0x80 | (code & 63));
    } else {
      bytes.push(0xf0 | (code >> 18), 0x80 | ((code >> 12) & 63), 0x80 | ((code >> 6) & 63), 0x80 | (code & 63));
    }
  }
  return bytes;
}

function utf8Text(memory, pointer) {
  const bytes = new Uint8Array(memory.buffer);
  let text = '';
  let at = pointer;
  while (bytes[at] !== 0) {
    const lead = bytes[at++];
    let code = lead;
    let more = 0;
    if (lead >= 0xf0) [code, more] = [lead & 7, 3];
    else if (lead >= 0xe0) [code, more] = [lead & 15, 2];
    else if (lead >= 0xc0) [code, more] = [lead & 31, 1];
    for (; more > 0; --more) code = (code << 6) | (bytes[at++] & 63);
    text += String.fromCodePoint(code);
  }
  return text;
}

export class LibraryError extends Error {}

export class LumLibrary {
  // `wasm`: a WebAssembly.Module or its bytes; `description`: the library's .lum.json text.
  constructor(wasm, description) {
    const module = wasm instanceof WebAssembly.Module ? wasm : new WebAssembly.Module(wasm);
    const imports = {
      env: { emscripten_notify_memory_growth: () => {} },
      wasi_snapshot_preview1: {
        proc_exit: (code) => {
          throw new LibraryError(`the library stopped (exit ${code})`);
        },
        environ_sizes_get: (count, size) => {
          const words = new Uint32Array(this.memory.buffer);
          words[count >> 2] = 0;
          words[size >> 2] = 0;
          return 0;
        },
        environ_get: () => 0,
      },
    };
    this.exports = new WebAssembly.Instance(module, imports).exports;
    this.memory = this.exports.memory;
    // Static initialisation: the modules register themselves here.
    this.exports._initialize();
    this.description = JSON.parse(description);
    this.withText(description, (json) => this.check(this.exports.lum_describe(json)));
  }

  error() {
    return utf8Text(this.memory, this.exports.lum_error());
  }

  check(result) {
    if (!result) throw new LibraryError(this.error());
    return result;
  }

  // Calls `work` with the text's address in the library's memory, then frees it.
  withText(text, work) {
    const bytes = utf8Bytes(text);
    const pointer = this.exports.malloc(bytes.length + 1);
    const memory = new Uint8Array(this.memory.buffer, pointer, bytes.length + 1);
    memory.set(bytes);
    memory[bytes.length] = 0;
    try {
      return work(pointer);
    } finally {
      this.exports.free(pointer);
    }
  }

  withTexts(first, second, work) {
    return this.withText(first, (a) => this.withText(second, (b) => work(a, b)));
  }

  // A float view of the library's memory, made again when the memory has grown.
  floats(pointer, length) {
    return new Float32Array(this.memory.buffer, pointer, length);
  }

  // `settings`: lumhost's "NAME=VALUE" texts.
  openDsp(moduleId, sampleRate, blockSize, settings = []) {
    const run = this.withTexts(moduleId, settings.join('\n'), (id, pins) =>
      this.check(this.exports.lum_dsp_open(id, sampleRate, blockSize, pins)),
    );
    return new LiveRun(this, run, blockSize);
  }

  // [{hz, db, degrees}], measured as lumhost response measures it.
  response(moduleId, sampleRate, blockSize, settings, seconds) {
    const count = this.withTexts(moduleId, settings.join('\n'), (id, pins) =>
      this.check(this.exports.lum_response(id, sampleRate, blockSize, pins, seconds)),
    );
    const values = new Float64Array(this.memory.buffer, this.exports.lum_response_values(), 3 * count);
    const points = [];
    for (let i = 0; i < count; ++i) {
      points.push({ hz: values[3 * i], db: values[3 * i + 1], degrees: values[3 * i + 2] });
    }
    return points;
  }

  // lumhost's generated signals ("noise", "sine:HZ", "sweep", "impulse"), as a copy.
  signal(signal, sampleRate, frames) {
    const pointer = this.withText(signal, (text) => this.check(this.exports.lum_signal(text, sampleRate, frames)));
    return this.floats(pointer, frames).slice();
  }

  // The reason pin `pin` (its index) of the module refuses `text`, as lumhost's pin
  // settings read it; null when it takes it.
  refusal(moduleId, pin, text) {
    const taken = this.withTexts(moduleId, text, (id, value) => this.exports.lum_check_value(id, pin, value));
    return taken ? null : this.error();
  }

  openSession(moduleId) {
    return new Session(this, this.withText(moduleId, (id) => this.check(this.exports.lum_session_open(id))));
  }
}

// An audio-rate module, block by block.
class LiveRun {
  constructor(library, pointer, blockSize) {
    this.library = library;
    this.pointer = pointer;
    this.blockSize = blockSize;
    const { exports } = library;
    this.inputAt = exports.lum_dsp_input(pointer);
    this.outputsAt = Array.from({ length: exports.lum_dsp_outputs(pointer) }, (_, i) => exports.lum_dsp_output(pointer, i));
    this.views = null;
  }

  // Views of the run's buffers, made again only when the memory has grown: the audio
  // thread then makes no garbage block after block.
  buffers() {
    if (this.views?.memory !== this.library.memory.buffer) {
      this.views = {
        memory: this.library.memory.buffer,
        input: this.library.floats(this.inputAt, this.blockSize),
        outputs: this.outputsAt.map((at) => this.library.floats(at, this.blockSize)),
      };
    }
    return this.views;
  }

  // The next block's signal, to be written before process().
  input() {
    return this.buffers().input;
  }

  // True when the module ran, false when it slept through the block.
  process(frames) {
    const result = this.library.exports.lum_dsp_process(this.pointer, frames);
    if (result < 0) throw new LibraryError(this.library.error());
    return result === 1;
  }

  output(index) {
    return this.buffers().outputs[index];
  }

  // One "NAME=VALUE" change, for the next block.
  change(setting) {
    this.library.withText(setting, (text) => this.library.check(this.library.exports.lum_dsp_change(this.pointer, text)));
  }

  close() {
    this.library.exports.lum_dsp_close(this.pointer);
  }
}

// A control-value or GUI module, change by change.
class Session {
  constructor(library, pointer) {
    this.library = library;
    this.pointer = pointer;
  }

  // Returns lumhost run's lines for the step and the values the module sent: [{pin, value}].
  // A GUI module's `first` step sets every input (at its default if not given) before any is notified.
  step(settings, first = false) {
    const { exports } = this.library;
    const lines = this.library.withText(settings.join('\n'), (pins) =>
      utf8Text(this.library.memory, this.library.check(exports.lum_session_step(this.pointer, pins, first ? 1 : 0))),
    );
    const sent = [];
    for (let i = 0; i < exports.lum_session_sent_count(this.pointer); ++i) {
      sent.push({ pin: exports.lum_session_sent_pin(this.pointer, i), value: exports.lum_session_sent_value(this.pointer, i) });
    }
    return { lines: lines.split('\n').filter((line) => line !== ''), sent };
  }

  close() {
    this.library.exports.lum_session_close(this.pointer);
  }
}
