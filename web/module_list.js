// The module list: every module of every library, by library and kind, each a link to the
// address that shows it (#LIBRARY/MODULE).
import { $, kindOf, kKindNames, page } from './page.js';

// `show(entry, module)` puts a module on show.
export function listModules(show) {
  const nav = $('modules');
  nav.replaceChildren();
  for (const entry of page.libraries.values()) {
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
          if (location.hash === address) showFromAddress(show);
          else location.hash = address;
        });
        nav.append(button);
      }
    }
  }
}

export function showFromAddress(show) {
  let address = '';
  try {
    address = decodeURIComponent(location.hash.slice(1));
  } catch {
    // A malformed address shows the first module.
  }
  const [libraryName, moduleId] = address.split('/');
  const entry = page.libraries.get(libraryName) ?? page.libraries.values().next().value;
  const module = entry.library.description.modules.find((m) => m.id === moduleId) ?? entry.library.description.modules[0];
  show(entry, module);
}
