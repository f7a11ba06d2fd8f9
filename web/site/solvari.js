// SPDX-License-Identifier: GPL-3.0-or-later
// The page around the program: the canvas, the buttons and the menu, the
// sound over Web Audio and the files kept in the browser. The recitation
// itself runs in solvari-core (WebAssembly); this file forwards the user's
// commands to it and carries out what it asks of the page.
'use strict';

const kViewWidth = 723;
const kViewHeight = 425;
const kTempoChoices = [50, 75, 100, 125, 150];
const kCountChoices = [0, 3, 7, 21];

// --- the sound -------------------------------------------------------------------------

const SolvariAudio = {
  ctx: null,
  sources: new Map(),
  nextId: 1,

  // Made (or woken) within a user's gesture: browsers keep a context made
  // before the first touch silent. For playback: the voice is handed over
  // whole phrases ahead and the highlight follows the heard clock, so a
  // larger output buffer costs nothing but a little more time from Stop to
  // silence, and keeps the output from running dry (a hole of a whole
  // server period in the voice) when the machine is busy.
  unlock() {
    try {
      if (!this.ctx) {
        const Context = window.AudioContext || window.webkitAudioContext;
        this.ctx = new Context({latencyHint: 'playback'});
      }
      if (this.ctx.state === 'suspended') this.ctx.resume();
    } catch (e) {
      this.ctx = null;
    }
  },
  // 1 when there is an output that plays: a context that runs.
  open(nRate) {
    if (!this.ctx) this.unlock();
    return this.ctx && this.ctx.state === 'running' && nRate > 0 ? 1 : 0;
  },
  // Schedules 16-bit samples at context time at (or as soon after as the
  // context allows); the start is written to the double at pStart.
  schedule(samples, nRate, at, pStart) {
    try {
      const n = Math.max(1, samples.length);
      const buffer = this.ctx.createBuffer(1, n, nRate);
      const data = buffer.getChannelData(0);
      for (let i = 0; i < samples.length; ++i) data[i] = samples[i] / 32768;
      const source = this.ctx.createBufferSource();
      source.buffer = buffer;
      source.connect(this.ctx.destination);
      const start = Math.max(at, this.ctx.currentTime);
      source.start(start);
      const id = this.nextId++;
      this.sources.set(id, source);
      source.onended = () => this.sources.delete(id);
      HEAPF64[pStart >> 3] = start;
      SolvariPage.trace('scheduled', [id, samples.length, nRate, start]);
      return id;
    } catch (e) {
      return 0;
    }
  },
  stop(id) {
    const source = this.sources.get(id);
    if (!source) return;
    this.sources.delete(id);
    try {
      source.stop();
    } catch (e) { /* never started */ }
  },
  // The context time being heard now: the output's timestamp moved on to
  // this moment; where a browser gives none, the context's time less the
  // latencies it reports.
  heardTime() {
    const ctx = this.ctx;
    if (!ctx) return 0;
    if (ctx.getOutputTimestamp) {
      const ts = ctx.getOutputTimestamp();
      if (ts && ts.performanceTime > 0) {
        const t = ts.contextTime + (performance.now() - ts.performanceTime) / 1000;
        return Math.min(t, ctx.currentTime);
      }
    }
    return ctx.currentTime - (ctx.outputLatency || 0) - (ctx.baseLatency || 0);
  },
  contextTime() {
    return this.ctx ? this.ctx.currentTime : 0;
  },
  // The device's end check again as the next task: a message is not held
  // back as a timer set from inside another is (4 ms at least).
  soon(nDevice, nGeneration) {
    if (!this.channel) {
      this.channel = new MessageChannel();
      this.channel.port1.onmessage =
          (e) => Module._solvari_audio_end_check(e.data[0], e.data[1]);
    }
    this.channel.port2.postMessage([nDevice, nGeneration]);
  },
  // A sound file of the program's folder, once (the title's bell).
  playFile(path) {
    if (!this.ctx || this.ctx.state !== 'running') return false;
    let bytes;
    try {
      bytes = FS.readFile(path);
    } catch (e) {
      return false;
    }
    this.ctx.decodeAudioData(bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.length))
      .then((buffer) => {
        const source = this.ctx.createBufferSource();
        source.buffer = buffer;
        source.connect(this.ctx.destination);
        source.start();
      }, () => {});
    return true;
  },
};

// --- the texts --------------------------------------------------------------------------

const SolvariText = {
  english: {},
  language: 'ja',
  // The text in the language shown, as the Qt program's translation has it.
  tr(context, text) {
    if (this.language !== 'en') return text;
    const table = this.english[context] || {};
    return table[text] !== undefined ? table[text] : text;
  },
  // The menu text without its keyboard mark ("開始(&S)" -> "開始", "&Start" -> "Start").
  label(text) {
    return text.replace(/\(&.\)$/, '').replace(/&(.)/, '$1');
  },
  chosen() {
    const stored = window.localStorage.getItem('Reading/Language') || '';
    if (stored === 'ja' || stored === 'en') return stored;
    const system = (navigator.languages && navigator.languages[0]) || navigator.language || '';
    return system.toLowerCase().startsWith('ja') || this.english === null ? 'ja' : 'en';
  },
};

// --- the page -------------------------------------------------------------------------------

const SolvariPage = {
  canvas: null,
  ctx2d: null,
  scale: 1,
  maximized: false,
  updatePending: false,

  setCanvasSize(nWidth, nHeight, nScale) {
    this.scale = nScale;
    this.canvas.width = nWidth;
    this.canvas.height = nHeight;
    this.canvas.style.width = nWidth / nScale + 'px';
    this.canvas.style.height = nHeight / nScale + 'px';
  },
  putPixels(rgba, x, y, nWidth, nHeight) {
    if (!this.painted) {
      this.painted = true;
      performance.mark('solvari-first-paint');
    }
    const image = new ImageData(new Uint8ClampedArray(rgba), nWidth, nHeight);
    this.ctx2d.putImageData(image, x, y);
  },
  // The recitation's events with the moment each came and what was being
  // heard then (context time), kept only for a page opened with ?trace.
  traced: /[?&]trace\b/.test(location.search) ? [] : null,
  trace(name, numbers) {
    if (this.traced)
      this.traced.push({name, numbers, at: performance.now(), heard: SolvariAudio.heardTime()});
  },
  showMessage(text) {
    document.getElementById('message-text').textContent = SolvariText.tr('CWaveBuffer', text);
    document.getElementById('message').hidden = false;
    document.getElementById('message-ok').focus();
  },
  commandsChanged() {
    if (this.updatePending) return;
    this.updatePending = true;
    window.requestAnimationFrame(() => {
      this.updatePending = false;
      this.updateCommands();
    });
  },
  setMaximized(bOn) {
    this.maximized = !!bOn;
    document.body.classList.toggle('maximized', this.maximized);
    this.resize();
  },
  showTitle(bShow) {
    const title = document.getElementById('title');
    if (bShow) {
      try {
        const bytes = FS.readFile('/data/Copyright.bmp');
        const img = document.getElementById('title-picture');
        img.src = URL.createObjectURL(new Blob([bytes], {type: 'image/bmp'}));
        title.hidden = false;
      } catch (e) { /* no title picture: nothing shown */ }
      SolvariAudio.playFile('/data/Title.WAV');
    } else {
      title.hidden = true;
    }
  },

  // The view's size in page pixels and its scale: the normal 723 x 425, or
  // the whole stage while maximized; whole multiples on dense screens.
  viewSize() {
    const nScale = window.devicePixelRatio >= 2 ? 2 : 1;
    if (!this.maximized) return [kViewWidth, kViewHeight, nScale];
    const stage = document.getElementById('stage');
    return [Math.max(1, stage.clientWidth), Math.max(1, stage.clientHeight), nScale];
  },
  resize() {
    const [w, h, s] = this.viewSize();
    Module._solvari_resize(w, h, s);
  },

  command(name, arg) {
    Module.ccall('solvari_command', null, ['string', 'number'], [name, arg || 0]);
    this.commandsChanged();
  },
  state() {
    return JSON.parse(Module.UTF8ToString(Module._solvari_state()));
  },
  updateCommands() {
    const s = this.state();
    const enable = (id, on) => { document.getElementById(id).disabled = !on; };
    enable('start', s.canStart);
    enable('stop', s.canStop);
    for (const id of ['previous', 'next', 'home']) enable(id, s.canStep);
    enable('repeatphrase', s.canPractice);
    document.getElementById('repeatphrase').classList.toggle('on', s.repeatPhrase);
    document.getElementById('picture').disabled = !s.canSettings;
    for (const b of document.querySelectorAll('[data-command]')) {
      const arg = Number(b.dataset.arg);
      let on = false;
      let enabled = s.canSettings;
      switch (b.dataset.command) {
        case 'ruby': on = s.ruby === arg; break;
        case 'maximize': on = s.maximize === 1; break;
        case 'repeat': on = s.repeat !== 0; break;
        case 'voice': on = s.voice === 0; break;
        case 'tempo': on = s.tempo === arg; enabled = s.canPractice; break;
        case 'mokugyo': on = s.mokugyo === arg; break;
        case 'mokugyovolume': on = s.mokugyoVolume === arg; break;
        case 'bell': on = s.bell === arg; break;
        case 'count': on = s.count === arg; break;
      }
      b.classList.toggle('on', on);
      b.setAttribute('aria-pressed', on ? 'true' : 'false');
      b.disabled = !enabled;
    }
    for (const b of document.querySelectorAll('[data-language]'))
      b.classList.toggle('on', (window.localStorage.getItem('Reading/Language') || '') === b.dataset.language);
    document.body.dataset.state = s.state;
    document.body.dataset.phrase = s.phrase;
  },

  applyTexts() {
    document.documentElement.lang = SolvariText.language;
    for (const e of document.querySelectorAll('[data-text]')) {
      e.textContent = SolvariText.label(SolvariText.tr('CMainFrame', e.dataset.text));
      if (e.dataset.tip) e.title = SolvariText.tr('CMainFrame', e.dataset.tip);
    }
    for (const b of document.querySelectorAll('[data-command=tempo]'))
      b.textContent = SolvariText.tr('CMainFrame', '%1 %').replace('%1', b.dataset.arg);
    for (const b of document.querySelectorAll('[data-command=count]')) {
      b.textContent = b.dataset.arg === '0'
        ? SolvariText.tr('CMainFrame', '限りなく')
        : SolvariText.tr('CMainFrame', '%1 回').replace('%1', b.dataset.arg);
    }
    document.title = SolvariText.tr('CMainFrame', 'Kelvane');
  },

  // --- the picture, kept in the browser across visits -------------------------------------

  openStore() {
    return new Promise((resolve) => {
      if (!window.indexedDB) return resolve(null);
      const request = indexedDB.open('solvari', 1);
      request.onupgradeneeded = () => request.result.createObjectStore('files');
      request.onsuccess = () => resolve(request.result);
      request.onerror = () => resolve(null);
    });
  },
  async keepFile(path, bytes) {
    const db = await this.openStore();
    if (!db) return;
    await new Promise((resolve) => {
      const tx = db.transaction('files', 'readwrite');
      tx.objectStore('files').clear();
      tx.objectStore('files').put(bytes, path);
      tx.oncomplete = tx.onerror = () => resolve();
    });
  },
  async restoreFiles() {
    const db = await this.openStore();
    if (!db) return;
    await new Promise((resolve) => {
      const tx = db.transaction('files', 'readonly');
      const request = tx.objectStore('files').openCursor();
      request.onsuccess = () => {
        const cursor = request.result;
        if (!cursor) return resolve();
        this.putFile(cursor.key, new Uint8Array(cursor.value));
        cursor.continue();
      };
      request.onerror = () => resolve();
    });
  },
  putFile(path, bytes) {
    try { FS.mkdir('/pictures'); } catch (e) { /* there already */ }
    FS.writeFile(path, bytes);
  },
  // Shows the picture file at path: a .bmp file is read as the program
  // reads it, anything else is decoded by the browser and laid over white.
  async showPicture(path, bytes) {
    const isBmp = bytes.length >= 2 && bytes[0] === 0x42 && bytes[1] === 0x4d;
    if (!isBmp) {
      try {
        // The pixels as the file has them: no colour conversion, as the
        // program's decoder reads them.
        const bitmap = await createImageBitmap(new Blob([bytes]),
          {colorSpaceConversion: 'none', premultiplyAlpha: 'none'});
        const canvas = document.createElement('canvas');
        canvas.width = bitmap.width;
        canvas.height = bitmap.height;
        const c = canvas.getContext('2d', {willReadFrequently: true});
        c.fillStyle = '#ffffff';
        c.fillRect(0, 0, canvas.width, canvas.height);
        c.drawImage(bitmap, 0, 0);
        const rgba = c.getImageData(0, 0, canvas.width, canvas.height).data;
        const n = canvas.width * canvas.height;
        const p = Module._malloc(n * 4);
        if (p) {
          const argb = new Uint32Array(HEAPU8.buffer, p, n);
          for (let i = 0, j = 0; i < n; ++i, j += 4)
            argb[i] = ((0xff << 24) | (rgba[j] << 16) | (rgba[j + 1] << 8) | rgba[j + 2]) >>> 0;
          const shown = Module.ccall('solvari_picture_pixels', 'number',
            ['number', 'number', 'number', 'string'], [p, canvas.width, canvas.height, path]);
          Module._free(p);
          if (shown) return;
        }
      } catch (e) { /* not a picture the browser can show */ }
    }
    // A .bmp file, or one the browser could not decode: the program's own
    // reading decides (a damaged file shows no picture, as in the program).
    Module.ccall('solvari_picture_file', 'number', ['string'], [path]);
  },
  async choosePicture(file) {
    const bytes = new Uint8Array(await file.arrayBuffer());
    const path = '/pictures/' + file.name.replace(/[\/\0]/g, '_');
    this.putFile(path, bytes);
    await this.keepFile(path, bytes);
    await this.showPicture(path, bytes);
    this.commandsChanged();
  },

  buildMenus() {
    // One radio button per choice, each giving its command that choice.
    const addChoices = (listId, command, choices) => {
      const list = document.getElementById(listId);
      for (const choice of choices) {
        const b = document.createElement('button');
        b.className = 'radio';
        b.dataset.command = command;
        b.dataset.arg = choice;
        list.appendChild(b);
      }
    };
    addChoices('tempos', 'tempo', kTempoChoices);
    addChoices('counts', 'count', kCountChoices);
  },

  wire() {
    const unlock = () => SolvariAudio.unlock();
    window.addEventListener('pointerdown', unlock, true);
    window.addEventListener('keydown', unlock, true);
    for (const id of ['start', 'stop', 'previous', 'next', 'home', 'repeatphrase'])
      document.getElementById(id).addEventListener('click', () => this.command(id));
    for (const b of document.querySelectorAll('[data-command]'))
      b.addEventListener('click', () => this.command(b.dataset.command, Number(b.dataset.arg)));
    for (const b of document.querySelectorAll('[data-language]')) {
      b.addEventListener('click', () => {
        window.localStorage.setItem('Reading/Language', b.dataset.language);
        SolvariText.language = SolvariText.chosen();
        this.applyTexts();
        this.commandsChanged();
      });
    }
    const menu = document.getElementById('menu');
    document.getElementById('menu-button').addEventListener('click', () => {
      menu.hidden = !menu.hidden;
    });
    document.getElementById('picture').addEventListener('change', (e) => {
      const file = e.target.files && e.target.files[0];
      if (file) this.choosePicture(file);
      e.target.value = '';
    });
    document.getElementById('message-ok').addEventListener('click', () => {
      document.getElementById('message').hidden = true;
    });
    this.canvas.addEventListener('click', (e) => {
      const r = this.canvas.getBoundingClientRect();
      const x = Math.floor((e.clientX - r.left) * this.canvas.width / r.width);
      const y = Math.floor((e.clientY - r.top) * this.canvas.height / r.height);
      Module._solvari_click(x, y);
      this.commandsChanged();
    });
    window.addEventListener('keydown', (e) => {
      if (e.target instanceof HTMLInputElement) return;
      const keys = {' ': 'startstop', ArrowRight: 'next', PageDown: 'next', ArrowLeft: 'previous',
        PageUp: 'previous', Home: 'home'};
      const name = keys[e.key];
      if (!name) return;
      e.preventDefault();
      this.command(name);
    });
    window.addEventListener('resize', () => { if (this.maximized) this.resize(); });
    const dense = window.matchMedia('(min-resolution: 2dppx)');
    if (dense.addEventListener) dense.addEventListener('change', () => this.resize());
  },

  async start() {
    this.canvas = document.getElementById('view');
    this.ctx2d = this.canvas.getContext('2d');
    this.buildMenus();
    try {
      const response = await fetch('strings-en.json');
      SolvariText.english = await response.json();
    } catch (e) {
      SolvariText.english = {};
    }
    SolvariText.language = SolvariText.chosen();
    this.applyTexts();
    this.wire();
    await this.restoreFiles();
    const [w, h, s] = this.viewSize();
    Module.ccall('solvari_start', null, ['number', 'number', 'number', 'string'], [w, h, s, '/data/']);
    // A picture kept from an earlier visit that the browser decodes.
    const kept = window.localStorage.getItem('Reading/Picture') || '';
    if (kept.startsWith('/pictures/')) {
      try {
        await this.showPicture(kept, FS.readFile(kept));
      } catch (e) { /* gone from the browser's storage: the tile shows */ }
    }
    document.getElementById('loading').hidden = true;
    this.updateCommands();
    document.body.dataset.ready = '1';
  },
};

var Module = {
  onRuntimeInitialized() {
    SolvariPage.start();
  },
};

if ('serviceWorker' in navigator && location.protocol !== 'file:') {
  window.addEventListener('load', () => {
    navigator.serviceWorker.register('sw.js').catch(() => {});
  });
}
