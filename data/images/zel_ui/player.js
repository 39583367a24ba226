// Lumireel slide-show player.
//
// Plays a published album inside the element #lumireel-gallery of the page.
// Everything it reads lies in the gallery's own folder:
//   photoparts/parts.xml          the parts in display order, and the music
//   photoparts/N/photos.xml       the photos of part N (file, caption, size)
//   photoparts/N/photoinfo.xml    their facts (the caption a photo's file carried)
//   photoparts/keywordsDB/*.xml   the keywords, for the search box
//   zel_ui/zelsetting.xml         language, accent colour, skin and logo
//   zel_ui/zelshow.xml            album name, seconds per photo, transition,
//                                 big-image box, the "Download all" archive
//   skins/skins.xml               the skins the gallery carries
// A gallery opened from the disk cannot fetch files, so its page loads
// zel_ui/album-data.js first, which holds the same files' texts in
// window.lumireelGallery.files; the player then reads only from there.
// strip.js (the thumbnail strip) and touch.js (gestures) load before it.
//
// Keys: Left/Right (and Page Up/Down) step, Space plays or pauses, Home and
// End go to the first and last photo, Escape leaves full screen and brings
// hidden controls back. The show starts paused; "?autoplay=1" in the
// address starts it playing.
(function () {
  'use strict';

  const DEFAULT_SECONDS = 5;
  const DEFAULT_SKIN = 'snakeeye';
  const DEFAULT_ACCENT = '#FF6600';
  const DEFAULT_PREVIEW_BOX = 180;
  const DEFAULT_BIG_BOX = 700;
  const SVG = 'http://www.w3.org/2000/svg';
  const ICONS = {
    fullscreen: 'M4 9V4h5M15 4h5v5M20 15v5h-5M9 20H4v-5',
    windowed: 'M9 4v5H4M15 4v5h5M20 15h-5v5M4 15h5v5',
    download: 'M12 4v11M7 10l5 5 5-5M5 20h14',
  };

  const STRINGS = {
    en: {
      play: 'Play', pause: 'Pause', previous: 'Previous photo', next: 'Next photo',
      music: 'Music on or off', search: 'Search keywords', found: '{n} found',
      none: 'No photo has this keyword', empty: 'This album has no photos yet.',
      photos: 'Photos', photo: 'Photo {n}', controls: 'Slide show',
      fullscreen: 'Full screen', windowed: 'Leave full screen',
      download: 'Download all', downloadLong: 'Download all photos (ZIP)',
    },
    de: {
      play: 'Abspielen', pause: 'Pause', previous: 'Voriges Foto', next: 'Nächstes Foto',
      music: 'Musik an oder aus', search: 'Stichwörter suchen', found: '{n} gefunden',
      none: 'Kein Foto hat dieses Stichwort', empty: 'Dieses Album hat noch keine Fotos.',
      photos: 'Fotos', photo: 'Foto {n}', controls: 'Diashow',
      fullscreen: 'Vollbild', windowed: 'Vollbild verlassen',
      download: 'Alle laden', downloadLong: 'Alle Fotos herunterladen (ZIP)',
    },
    fr: {
      play: 'Lecture', pause: 'Pause', previous: 'Photo précédente', next: 'Photo suivante',
      music: 'Musique oui ou non', search: 'Chercher des mots-clés', found: '{n} trouvées',
      none: 'Aucune photo n’a ce mot-clé', empty: 'Cet album n’a pas encore de photos.',
      photos: 'Photos', photo: 'Photo {n}', controls: 'Diaporama',
      fullscreen: 'Plein écran', windowed: 'Quitter le plein écran',
      download: 'Tout télécharger', downloadLong: 'Télécharger toutes les photos (ZIP)',
    },
    es: {
      play: 'Reproducir', pause: 'Pausa', previous: 'Foto anterior', next: 'Foto siguiente',
      music: 'Música sí o no', search: 'Buscar palabras clave', found: '{n} encontradas',
      none: 'Ninguna foto tiene esta palabra', empty: 'Este álbum aún no tiene fotos.',
      photos: 'Fotos', photo: 'Foto {n}', controls: 'Presentación',
      fullscreen: 'Pantalla completa', windowed: 'Salir de pantalla completa',
      download: 'Descargar todo', downloadLong: 'Descargar todas las fotos (ZIP)',
    },
  };

  // ---- Reading the gallery's files --------------------------------------

  const embedded = window.lumireelGallery && window.lumireelGallery.files;

  async function loadText(path) {
    if (embedded) {
      return Object.prototype.hasOwnProperty.call(embedded, path) ? embedded[path] : null;
    }
    try {
      const response = await fetch(path, { cache: 'no-cache' });
      return response.ok ? await response.text() : null;
    } catch (error) {
      return null;
    }
  }

  async function loadXml(path) {
    const text = await loadText(path);
    if (text === null) return null;
    const doc = new DOMParser().parseFromString(text, 'application/xml');
    return doc.getElementsByTagName('parsererror').length ? null : doc;
  }

  function childText(element, name) {
    const child = element.getElementsByTagName(name)[0];
    return child ? child.textContent : '';
  }

  // The texts of an element's children by name (the first of each name).
  function fieldsOf(element) {
    const fields = {};
    for (const child of element.children) {
      if (!(child.localName in fields)) fields[child.localName] = child.textContent;
    }
    return fields;
  }

  function elementsOf(doc, name) {
    return doc ? Array.from(doc.getElementsByTagName(name)) : [];
  }

  function attributeOf(doc, name) {
    return doc ? (doc.documentElement.getAttribute(name) || '').trim() : '';
  }

  // Names that are put into paths: a part folder is a positive number, every
  // other name stays inside its folder.
  function isPartFolder(text) { return /^[0-9]+$/.test(text) && Number(text) > 0; }
  function isPlainName(text) { return text !== '' && text[0] !== '.' && !/[\\/]/.test(text); }
  function baseName(text) { return text.split(/[\\/]/).pop(); }

  // A whole number from the settings, `fallback` when it is none or lies
  // outside [low, high].
  function boundedNumber(text, low, high, fallback) {
    const value = Number(String(text || '').trim());
    return Number.isFinite(value) && value >= low && value <= high && String(text).trim() !== ''
      ? value : fallback;
  }

  function accentColour(value) {
    const hex = String(value || '').trim().replace(/^(0x|#)/i, '');
    return /^([0-9a-f]{3}|[0-9a-f]{6})$/i.test(hex) ? '#' + hex : DEFAULT_ACCENT;
  }

  // Black or white, whichever reads better on the accent colour.
  function textOnColour(hex) {
    const digits = hex.length === 4 ? hex.slice(1).replace(/./g, '$&$&') : hex.slice(1);
    const linear = [0, 2, 4].map((at) => {
      const c = parseInt(digits.slice(at, at + 2), 16) / 255;
      return c <= 0.03928 ? c / 12.92 : ((c + 0.055) / 1.055) ** 2.4;
    });
    const luminance = 0.2126 * linear[0] + 0.7152 * linear[1] + 0.0722 * linear[2];
    return (luminance + 0.05) / 0.05 >= 1.05 / (luminance + 0.05) ? '#000' : '#fff';
  }

  async function readSettings() {
    const [settings, skinList, show] = await Promise.all([
      loadXml('zel_ui/zelsetting.xml'), loadXml('skins/skins.xml'), loadXml('zel_ui/zelshow.xml')]);
    const skins = elementsOf(skinList, 'skeen')
      .map((skin) => childText(skin, 'value') || childText(skin, 'name'))
      .filter(isPlainName);
    let skin = attributeOf(settings, 'skeen');
    if (!isPlainName(skin)) skin = skins[0] || DEFAULT_SKIN;
    const logo = baseName(attributeOf(settings, 'logo'));
    const download = attributeOf(show, 'download');
    return {
      lang: attributeOf(settings, 'lang') || 'en',
      accent: accentColour(attributeOf(settings, 'activcolor')),
      skin,
      logo: isPlainName(logo) ? logo : '',
      name: show ? show.documentElement.getAttribute('name') || '' : '',
      seconds: boundedNumber(attributeOf(show, 'seconds'), 1, 3600, DEFAULT_SECONDS),
      cut: attributeOf(show, 'transition').toLowerCase() === 'cut',
      bigBox: {
        w: boundedNumber(attributeOf(show, 'bwidth'), 16, 16384, DEFAULT_BIG_BOX),
        h: boundedNumber(attributeOf(show, 'bheight'), 16, 16384, DEFAULT_BIG_BOX),
      },
      download: isPlainName(download) && /\.zip$/i.test(download) ? download : '',
    };
  }

  // The widths of a photo's preview and big image, as the photo pipeline
  // makes them: a landscape photo is brought to the box's width, any other
  // to its height. Null when the list gives no size to take the shape from.
  function renditionWidths(w, h, previewBox, bigBox) {
    if (!(w > 0 && h > 0)) return null;
    const landscape = w > h;
    const widths = {
      preview: landscape ? previewBox.w : Math.round(previewBox.h * w / h),
      big: landscape ? bigBox.w : Math.round(bigBox.h * w / h),
    };
    return widths.big > widths.preview ? widths : null;
  }

  async function readPart(folder, bigBox) {
    const base = 'photoparts/' + folder + '/';
    const doc = await loadXml(base + 'photos.xml');
    const previewBox = {
      w: boundedNumber(attributeOf(doc, 'mwidth'), 16, 4096, DEFAULT_PREVIEW_BOX),
      h: boundedNumber(attributeOf(doc, 'mheight'), 16, 4096, DEFAULT_PREVIEW_BOX),
    };
    // A photo without a caption of its own shows the one its file carried.
    const fileCaptions = new Map(elementsOf(await loadXml(base + 'photoinfo.xml'), 'photo')
      .map((info) => [info.getAttribute('id') || '', info.getAttribute('caption') || '']));
    const slides = [];
    for (const photo of elementsOf(doc, 'photo')) {
      const fields = fieldsOf(photo);
      const file = (fields.file || '').trim();
      if (!isPlainName(file)) continue;
      const w = Number(fields.w);
      const h = Number(fields.h);
      slides.push({
        part: folder,
        id: (fields.id || '').trim(),
        caption: fields.name || fileCaptions.get((fields.id || '').trim()) || '',
        big: base + 'big/' + encodeURIComponent(file),
        preview: base + 'preview/' + encodeURIComponent(file),
        aspect: w > 0 && h > 0 ? w / h : 0,
        widths: renditionWidths(w, h, previewBox, bigBox),
        keywords: '',
      });
    }
    return slides;
  }

  async function readAlbum(bigBox) {
    const parts = await loadXml('photoparts/parts.xml');
    const folders = elementsOf(parts, 'part')
      .map((part) => (part.getAttribute('folder') || '').trim())
      .filter(isPartFolder);
    const slides = (await Promise.all(folders.map((folder) => readPart(folder, bigBox)))).flat();
    const sound = attributeOf(parts, 'sound');
    const music = isPlainName(sound) && /\.mp3$/i.test(sound)
      ? 'photoparts/sounds/' + encodeURIComponent(sound) : '';
    return { slides, music };
  }

  // Keywords by "part:photo id", each the photo's lower-case words, one a line.
  async function readKeywords() {
    const folder = 'photoparts/keywordsDB/';
    const numbers = elementsOf(await loadXml(folder + 'keywordsdb.xml'), 't')
      .map((entry) => entry.textContent.trim()).filter(isPartFolder);
    const lists = await Promise.all(numbers.map((number) => loadXml(folder + number + '.xml')));
    const found = new Map();
    for (const list of lists) {
      for (const s of elementsOf(list, 's')) {
        const words = s.textContent.split(',').map((w) => w.trim().toLowerCase()).filter(Boolean);
        if (words.length) found.set(Number(s.getAttribute('p')) + ':' + Number(s.getAttribute('a')), words.join('\n'));
      }
    }
    return found;
  }

  // ---- The player -------------------------------------------------------

  function make(tag, className, parent) {
    const element = document.createElement(tag);
    if (className) element.className = className;
    if (parent) parent.appendChild(element);
    return element;
  }

  function icon(name) {
    const svg = document.createElementNS(SVG, 'svg');
    svg.setAttribute('viewBox', '0 0 24 24');
    svg.setAttribute('aria-hidden', 'true');
    svg.setAttribute('focusable', 'false');
    const path = document.createElementNS(SVG, 'path');
    path.setAttribute('d', ICONS[name]);
    svg.appendChild(path);
    return svg;
  }

  const fullscreenElement = () => document.fullscreenElement || document.webkitFullscreenElement || null;

  class Player {
    constructor(root, album, settings, strings) {
      this.root = root;
      this.slides = album.slides;
      this.order = this.slides.map((_, index) => index);
      this.position = 0;
      this.strings = strings;
      this.settings = settings;
      this.playing = new URLSearchParams(location.search).get('autoplay') === '1';
      this.timer = 0;
      this.shown = 0;
      this.musicOff = false;
      this.wakeLock = null;
      this.stageSize = { w: innerWidth, h: innerHeight };
      this.build(settings, album.music);
    }

    build(settings, music) {
      const s = this.strings;
      const top = make('header', 'lr-top', this.root);
      const logo = make('img', 'lr-logo', top);
      logo.alt = '';
      logo.hidden = !settings.logo;
      if (settings.logo) logo.src = 'logo/' + encodeURIComponent(settings.logo);
      logo.addEventListener('error', () => { logo.hidden = true; });
      make('h1', 'lr-title', top).textContent = settings.name || document.title;
      this.counter = make('span', 'lr-counter', top);
      this.counter.setAttribute('role', 'status');
      this.counter.setAttribute('aria-live', 'polite');
      this.search = make('form', 'lr-search', top);
      this.search.setAttribute('role', 'search');
      this.search.hidden = true;
      this.query = make('input', 'lr-query', this.search);
      this.query.type = 'search';
      this.query.placeholder = s.search;
      this.query.setAttribute('aria-label', s.search);
      this.matches = make('span', 'lr-matches', this.search);
      this.matches.setAttribute('aria-live', 'polite');
      if (settings.download) {
        const link = make('a', 'lr-download lr-control', top);
        link.href = encodeURIComponent(settings.download);
        link.setAttribute('download', '');
        link.title = s.downloadLong;
        link.setAttribute('aria-label', s.downloadLong);
        link.append(icon('download'), make('span', 'lr-label', null));
        link.lastChild.textContent = s.download;
      }
      this.fullscreenButton = this.button('lr-fullscreen', '', s.fullscreen, top, () => this.toggleFullscreen());
      this.fullscreenButton.append(icon('fullscreen'), icon('windowed'));
      this.fullscreenButton.hidden = !(document.fullscreenEnabled || document.webkitFullscreenEnabled);

      this.stage = make('div', 'lr-stage', this.root);
      this.layers = [0, 1].map(() => {
        const figure = make('figure', 'lr-slide', this.stage);
        figure.setAttribute('aria-hidden', 'true');
        const img = make('img', '', figure);
        img.alt = '';
        img.decoding = 'async';
        const caption = make('figcaption', '', figure);
        caption.setAttribute('aria-hidden', 'true');  // the photo's alternative text says it
        return { figure, img, caption };
      });
      this.previousButton = this.button('lr-prev', '‹', s.previous, this.stage, () => this.step(-1));
      this.nextButton = this.button('lr-next', '›', s.next, this.stage, () => this.step(1));

      const bar = make('nav', 'lr-bar', this.root);
      bar.setAttribute('aria-label', s.controls);
      this.playButton = this.button('lr-play', '', '', bar, () => this.setPlaying(!this.playing));
      this.audio = make('audio', 'lr-audio', this.root);
      this.audio.loop = true;
      this.musicButton = this.button('lr-music', '♪', s.music, bar, () => this.toggleMusic());
      this.musicButton.hidden = !music;
      if (music) this.audio.src = music;
      const strip = make('div', 'lr-strip', bar);
      strip.setAttribute('role', 'group');
      strip.setAttribute('aria-label', s.photos);
      strip.tabIndex = -1;
      this.strip = new window.Lumireel.ThumbnailStrip(strip, this.slides,
        (slide, index) => slide.caption.trim() || s.photo.replace('{n}', index + 1),
        (position) => this.show(position));
      this.strip.setOrder(this.order);
      this.gestures = new window.Lumireel.StageGestures(this.stage, () => this.currentImage(), {
        swipe: (delta) => this.step(delta),
        tap: () => this.root.classList.toggle('lr-bare'),
      });
      this.listen();
    }

    button(className, text, label, parent, action) {
      const element = make('button', className, parent);
      element.type = 'button';
      element.textContent = text;
      if (label) element.setAttribute('aria-label', label);
      element.addEventListener('click', action);
      return element;
    }

    currentImage() {
      const layer = this.layers.find((l) => l.figure.classList.contains('lr-current'));
      return layer ? layer.img : null;
    }

    listen() {
      document.addEventListener('keydown', (event) => this.onKey(event));
      this.search.addEventListener('submit', (event) => event.preventDefault());
      this.query.addEventListener('input', () => this.filter(this.query.value));
      // Browsers let music start only after the visitor did something.
      const startMusic = () => { if (this.playing && !this.musicOff) this.playMusic(); };
      document.addEventListener('pointerdown', startMusic, { once: true });
      document.addEventListener('keydown', startMusic, { once: true });
      const fullscreenChanged = () => {
        const on = !!fullscreenElement();
        this.root.classList.toggle('lr-fullscreen-on', on);
        this.fullscreenButton.setAttribute('aria-label', on ? this.strings.windowed : this.strings.fullscreen);
        this.fullscreenButton.setAttribute('aria-pressed', String(on));
      };
      document.addEventListener('fullscreenchange', fullscreenChanged);
      document.addEventListener('webkitfullscreenchange', fullscreenChanged);
      // A released wake lock is taken again when the page is seen again.
      document.addEventListener('visibilitychange', () => this.holdScreen(this.playing));
      new ResizeObserver(([entry]) => {
        this.stageSize = { w: entry.contentRect.width, h: entry.contentRect.height };
        const current = this.currentImage();
        if (current && current.sizes) current.sizes = this.displayWidth(this.slides[this.order[this.position]]);
      }).observe(this.stage);
    }

    onKey(event) {
      if (event.target === this.query) {
        if (event.key === 'Escape') { this.query.value = ''; this.filter(''); this.query.blur(); }
        return;
      }
      const actions = {
        ArrowRight: () => this.step(1), PageDown: () => this.step(1),
        ArrowLeft: () => this.step(-1), PageUp: () => this.step(-1),
        ' ': () => this.setPlaying(!this.playing),
        Home: () => this.show(0), End: () => this.show(this.order.length - 1),
        Escape: () => {
          this.root.classList.remove('lr-bare');
          if (fullscreenElement()) this.toggleFullscreen();
        },
      };
      if (!actions[event.key] || event.altKey || event.ctrlKey || event.metaKey) return;
      event.preventDefault();
      actions[event.key]();
    }

    useKeywords(keywords) {
      let any = false;
      for (const slide of this.slides) {
        slide.keywords = keywords.get(Number(slide.part) + ':' + Number(slide.id)) || '';
        any = any || slide.keywords !== '';
      }
      this.search.hidden = !any;
    }

    filter(text) {
      const query = text.trim().toLowerCase();
      const hits = [];
      if (query) {
        for (let index = 0; index < this.slides.length; index++) {
          if (this.slides[index].keywords.includes(query)) hits.push(index);
        }
      }
      this.matches.textContent = !query ? '' : hits.length
        ? this.strings.found.replace('{n}', hits.length) : this.strings.none;
      if (query && !hits.length) return;  // keep playing what plays now
      this.order = query ? hits : this.slides.map((_, index) => index);
      this.strip.setOrder(this.order);
      this.show(0);
    }

    step(delta) {
      const count = this.order.length;
      if (count) this.show((this.position + delta + count) % count);
    }

    // The width the photo takes on the stage, for the browser's choice
    // between the preview and the big image.
    displayWidth(slide) {
      const { w, h } = this.stageSize;
      return Math.max(1, Math.round(slide.aspect ? Math.min(w, h * slide.aspect) : w)) + 'px';
    }

    setSources(img, slide) {
      if (slide.widths) {
        img.sizes = this.displayWidth(slide);
        img.srcset = slide.preview + ' ' + slide.widths.preview + 'w, ' + slide.big + ' ' + slide.widths.big + 'w';
      } else {
        img.removeAttribute('srcset');
        img.removeAttribute('sizes');
      }
      img.src = slide.big;
    }

    // Shows the photo at `position` of the playing order, fading it in over
    // the one shown now once its picture has loaded.
    show(position) {
      const count = this.order.length;
      if (!count) return;
      this.position = position;
      const index = this.order[position];
      const slide = this.slides[index];
      const ticket = ++this.shown;
      const layer = this.layers[ticket % 2];
      const other = this.layers[(ticket + 1) % 2];
      layer.caption.textContent = slide.caption;
      layer.caption.hidden = !slide.caption.trim();
      layer.img.alt = slide.caption.trim() || this.strings.photo.replace('{n}', index + 1);
      const reveal = () => {
        if (ticket !== this.shown) return;
        this.gestures.reset(layer.img);
        other.img.style.transform = '';
        layer.figure.classList.add('lr-current');
        layer.figure.removeAttribute('aria-hidden');
        other.figure.classList.remove('lr-current');
        other.figure.setAttribute('aria-hidden', 'true');
        this.root.dataset.slide = String(index + 1);
        if (!this.revealed) {
          this.revealed = true;
          performance.mark('lumireel-first-photo');
        }
        this.schedule();
      };
      layer.img.onload = reveal;
      layer.img.onerror = () => {
        // A missing big image falls back to the preview.
        if (layer.img.getAttribute('src') === slide.preview) return reveal();
        layer.img.removeAttribute('srcset');
        layer.img.src = slide.preview;
      };
      this.setSources(layer.img, slide);
      if (layer.img.complete && layer.img.naturalWidth) reveal();
      this.counter.textContent = (position + 1) + ' / ' + count;
      this.strip.select(position);
      // The next photo loads while this one is seen.
      this.upcoming = new Image();
      this.setSources(this.upcoming, this.slides[this.order[(position + 1) % count]]);
    }

    schedule() {
      clearTimeout(this.timer);
      if (this.playing && this.order.length > 1) {
        this.timer = setTimeout(() => this.step(1), this.settings.seconds * 1000);
      }
    }

    setPlaying(playing) {
      this.playing = playing;
      this.playButton.textContent = playing ? '❚❚' : '▶';
      this.playButton.setAttribute('aria-label', playing ? this.strings.pause : this.strings.play);
      this.playButton.setAttribute('aria-pressed', String(playing));
      this.root.classList.toggle('lr-playing', playing);
      if (playing && !this.musicOff) this.playMusic(); else this.audio.pause();
      this.holdScreen(playing);
      this.schedule();
    }

    // Keeps the screen awake while the show plays, where the browser can.
    async holdScreen(wanted) {
      if (!navigator.wakeLock) return;
      if (wanted && !this.wakeLock && document.visibilityState === 'visible') {
        this.wakeLock = 'asking';
        try {
          const lock = await navigator.wakeLock.request('screen');
          lock.addEventListener('release', () => { if (this.wakeLock === lock) this.wakeLock = null; });
          this.wakeLock = lock;
          if (!this.playing) this.holdScreen(false);
        } catch (error) {
          this.wakeLock = null;  // refused (no permission, or the page is hidden)
        }
      } else if (!wanted && this.wakeLock && this.wakeLock !== 'asking') {
        const lock = this.wakeLock;
        this.wakeLock = null;
        lock.release().catch(() => {});
      }
    }

    toggleFullscreen() {
      const result = fullscreenElement()
        ? (document.exitFullscreen || document.webkitExitFullscreen).call(document)
        : (document.documentElement.requestFullscreen || document.documentElement.webkitRequestFullscreen)
          .call(document.documentElement);
      if (result && result.catch) result.catch(() => {});
    }

    playMusic() {
      if (this.audio.src) this.audio.play().catch(() => {});
    }

    toggleMusic() {
      this.musicOff = !this.musicOff;
      this.musicButton.classList.toggle('lr-off', this.musicOff);
      if (this.musicOff) this.audio.pause(); else if (this.playing) this.playMusic();
    }
  }

  function useSkin(settings) {
    const link = document.createElement('link');
    link.rel = 'stylesheet';
    link.href = 'skins/' + encodeURIComponent(settings.skin) + '/skin.css';
    document.head.appendChild(link);
    const style = document.documentElement.style;
    style.setProperty('--lr-accent', settings.accent);
    style.setProperty('--lr-on-accent', textOnColour(settings.accent));
    if (settings.cut) style.setProperty('--lr-fade', '0s');
    document.documentElement.lang = settings.lang;
  }

  async function start() {
    const root = document.getElementById('lumireel-gallery');
    if (!root) return;
    const settings = await readSettings();
    useSkin(settings);
    root.dataset.skin = settings.skin;
    const strings = STRINGS[settings.lang.toLowerCase().slice(0, 2)] || STRINGS.en;
    const album = await readAlbum(settings.bigBox);
    if (!album.slides.length) {
      make('p', 'lr-empty', root).textContent = strings.empty;
      root.dataset.ready = 'empty';
      return;
    }
    const player = new Player(root, album, settings, strings);
    player.setPlaying(player.playing);
    player.show(0);
    // The keywords are read after the first photo is on its way, so a large
    // album's keyword lists never hold it up.
    player.useKeywords(await readKeywords());
    root.dataset.ready = 'true';
  }

  start();
})();
