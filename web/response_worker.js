// Measures responses off the page's thread, with a library instance of its own per library.
import { LumLibrary } from './lum_library.js';

const libraries = new Map();

onmessage = ({ data }) => {
  const { library, wasm, description, moduleId, sampleRate, blockSize, settings, seconds } = data;
  try {
    if (!libraries.has(library)) libraries.set(library, new LumLibrary(wasm, description));
    postMessage({ points: libraries.get(library).response(moduleId, sampleRate, blockSize, settings, seconds) });
  } catch (error) {
    postMessage({ error: error.message });
  }
};
