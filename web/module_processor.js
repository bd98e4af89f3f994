// The audio thread: one audio-rate module run block by block, the way the real host runs
// it (graph start, value and streaming events, a sleeping module left alone).
import { LumLibrary } from './lum_library.js';

// The scope's window: the latest 1024 samples in and out.
const kScopeFrames = 1024;
// How often the page hears the meter and sees the scope, in audio time: at any sample rate
// 20 times a second, which the page's thread keeps up with.
const kReportSeconds = 0.05;

// Appends `block` to the end of `window`, dropping as many of its oldest samples.
function remember(window, block) {
  window.copyWithin(0, block.length);
  window.set(block, window.length - block.length);
}

class ModuleProcessor extends AudioWorkletProcessor {
  // processorOptions: {wasm (a WebAssembly.Module or its bytes), description (text), moduleId,
  // settings ("NAME=VALUE"), blockSize (the render quantum), source: {signal, seconds} for a
  // generated signal looped, or {input: true} for the node's input}.
  constructor(options) {
    super();
    const { wasm, description, moduleId, settings, source, blockSize } = options.processorOptions;
    this.port.onmessage = (event) => this.receive(event.data);
    this.bypass = false;
    this.framesPerReport = Math.max(1, Math.round(kReportSeconds * sampleRate));
    this.framesUnreported = 0;
    this.meter = { peak: 0, clipped: 0, nonFinite: 0, asleep: 0 };
    this.scopeIn = new Float32Array(kScopeFrames);
    this.scopeOut = new Float32Array(kScopeFrames);
    this.block = new Float32Array(blockSize);
    try {
      this.library = new LumLibrary(wasm, description);
      this.run = this.library.openDsp(moduleId, sampleRate, blockSize, settings);
      this.setSource(source);
    } catch (error) {
      this.fail(error);
    }
  }

  fail(error) {
    this.run = null;
    this.port.postMessage({ error: error.message });
  }

  receive(message) {
    try {
      if (message.stop) {
        // Replaced: the next process() returns false, and the node can go.
        this.run?.close();
        this.run = null;
        this.stopped = true;
      }
      if (message.change !== undefined) this.run?.change(message.change);
      if (message.bypass !== undefined) this.bypass = message.bypass;
      if (message.source !== undefined) this.setSource(message.source);
    } catch (error) {
      // A refused change leaves the module running as it was.
      this.port.postMessage({ refused: error.message });
    }
  }

  setSource(source) {
    this.loop = source.signal ? this.library.signal(source.signal, sampleRate, Math.round(source.seconds * sampleRate)) : null;
    this.position = 0;
  }

  fillInput(input, inputs, frames) {
    if (this.loop) {
      for (let i = 0; i < frames; ++i) {
        input[i] = this.loop[this.position];
        this.position = (this.position + 1) % this.loop.length;
      }
      return;
    }
    const channel = inputs[0]?.[0];
    for (let i = 0; i < frames; ++i) input[i] = channel ? channel[i] : 0;
  }

  process(inputs, outputs) {
    const out = outputs[0][0];
    if (this.stopped) return false;
    if (!this.run) return true;
    const frames = Math.min(out.length, this.block.length);
    const input = this.run.input();
    this.fillInput(input, inputs, frames);
    this.block.set(input.subarray(0, frames));
    remember(this.scopeIn, this.block.subarray(0, frames));
    try {
      if (!this.run.process(frames)) ++this.meter.asleep;
    } catch (error) {
      this.fail(error);
      return true;
    }
    out.set(this.bypass ? this.block.subarray(0, frames) : this.run.output(0).subarray(0, frames));
    remember(this.scopeOut, out.subarray(0, frames));
    for (let i = 0; i < frames; ++i) {
      const sample = out[i];
      if (!Number.isFinite(sample)) {
        // Counted, and kept away from the loudspeakers.
        ++this.meter.nonFinite;
        out[i] = 0;
      } else {
        this.meter.peak = Math.max(this.meter.peak, Math.abs(sample));
        if (Math.abs(sample) > 1) ++this.meter.clipped;
      }
    }
    this.framesUnreported += frames;
    if (this.framesUnreported >= this.framesPerReport) {
      this.framesUnreported -= this.framesPerReport;
      this.port.postMessage({ meter: this.meter, scope: { input: this.scopeIn.slice(), output: this.scopeOut.slice() } });
      this.meter = { peak: 0, clipped: 0, nonFinite: 0, asleep: 0 };
    }
    return true;
  }
}

registerProcessor('lum-module', ModuleProcessor);
