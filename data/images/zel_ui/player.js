// Lumireel slide-show player.
//
// Plays a published album inside the element #lumireel-gallery of the page.
// Everything it reads lies in the gallery's own folder:
//   photoparts/parts.xml          the parts in display order, and the music
//   photoparts/N/photos.xml       the photos of part N (big, preview, caption)
//   photoparts/keywordsDB/*.xml   the keywords, for the search box
//   zel_ui/zelsetting.xml         language, accent colour, skin and logo
//   skins/skins.xml               the skins the gallery carries
// A gallery opened from the disk cannot fetch files, so its page loads
// zel_ui/album-data.js first, which holds the same files' texts in
// window.lumireelGallery.files; the player then reads only from there.
//
// Keys: Left/Right (and Page Up/Down) step, Space plays or pauses, Home and
// End go to the first and last photo. A swipe on the photo steps as well.
// "?autoplay=0" in the address starts the show paused.
(function () {
  'use strict';

  const SLIDE_MILLISECONDS = 5000;
  const SWIPE_PIXELS = 40;
  const DEFAULT_SKIN = 'snakeeye';
  const DEFAULT_ACCENT = '#FF6600';

  const STRINGS = {
    en: {
      play: 'Play', pause: 'Pause', previous: 'Previous photo', next: 'Next photo',
      music: 'Music on or off', search: 'Search keywords', found: '{n} found',
      none: 'No photo has this keyword', empty: 'This album has no photos yet.',
      photos: 'Photos',
    },
    de: {
      play: 'Abspielen', pause: 'Pause', previous: 'Voriges Foto', next: 'Nächstes Foto',
      music: 'Musik an oder aus', search: 'Stichwörter suchen', found: '{n} gefunden',
      none: 'Kein Foto hat dieses Stichwort', empty: 'Dieses Album hat noch keine Fotos.',
      photos: 'Fotos',
    },
    fr: {
      play: 'Lecture', pause: 'Pause', previous: 'Photo précédente', next: 'Photo suivante',
      music: 'Musique oui ou non', search: 'Chercher des mots-clés', found: '{n} trouvées',
      none: 'Aucune photo n’a ce mot-clé', empty: 'Cet album n’a pas encore de photos.',
      photos: 'Photos',
    },
    es: {
      play: 'Reproducir', pause: 'Pausa', previous: 'Foto anterior', next: 'Foto siguiente',
      music: 'Música sí o no', search: 'Buscar palabras clave', found: '{n} encontradas',
      none: 'Ninguna foto tiene esta palabra', empty: 'Este álbum aún no tiene fotos.',
      photos: 'Fotos',
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

  function elementsOf(doc, name) {
    return doc ? Array.from(doc.getElementsByTagName(name)) : [];
  }

  // Names that are put into paths: a part folder is a positive number, every
  // other name stays inside its folder.
  function isPartFolder(text) { return /^[0-9]+$/.test(text) && Number(text) > 0; }
  function isPlainName(text) { return text !== '' && text[0] !== '.' && !/[\\/]/.test(text); }
  function baseName(text) { return text.split(/[\\/]/).pop(); }

  function accentColour(value) {
    const hex = String(value || '').trim().replace(/^(0x|#)/i, '');
    return /^([0-9a-f]{3}|[0-9a-f]{6})$/i.test(hex) ? '#' + hex : DEFAULT_ACCENT;
  }

  async function readSettings() {
    const doc = await loadXml('zel_ui/zelsetting.xml');
    const root = doc && doc.documentElement;
    const get = (name) => (root ? root.getAttribute(name) || '' : '');
    const skins = elementsOf(await loadXml('skins/skins.xml'), 'skeen')
      .map((skin) => childText(skin, 'value') || childText(skin, 'name'))
      .filter(isPlainName);
    let skin = get('skeen');
    if (!isPlainName(skin)) skin = skins[0] || DEFAULT_SKIN;
    const logo = baseName(get('logo'));
    return {
      lang: get('lang') || 'en',
      accent: accentColour(get('activcolor')),
      skin,
      logo: isPlainName(logo) ? logo : '',
    };
  }

  async function readAlbum() {
    const parts = await loadXml('photoparts/parts.xml');
    const slides = [];
    for (const part of elementsOf(parts, 'part')) {
      const folder = (part.getAttribute('folder') || '').trim();
      if (!isPartFolder(folder)) continue;
      const base = 'photoparts/' + folder + '/';
      for (const photo of elementsOf(await loadXml(base + 'photos.xml'), 'photo')) {
        const file = childText(photo, 'file').trim();
        if (!isPlainName(file)) continue;
        slides.push({
          part: folder,
          id: childText(photo, 'id').trim(),
          caption: childText(photo, 'name'),
          big: base + 'big/' + encodeURIComponent(file),
          preview: base + 'preview/' + encodeURIComponent(file),
          keywords: [],
        });
      }
    }
    const sound = parts ? (parts.documentElement.getAttribute('sound') || '').trim() : '';
    const music = isPlainName(sound) && /\.mp3$/i.test(sound)
      ? 'photoparts/sounds/' + encodeURIComponent(sound) : '';
    return { slides, music };
  }

  // Keywords by "part:photo id", each a list of lower-case words.
  async function readKeywords() {
    const found = new Map();
    const folder = 'photoparts/keywordsDB/';
    for (const entry of elementsOf(await loadXml(folder + 'keywordsdb.xml'), 't')) {
      const number = entry.textContent.trim();
      if (!isPartFolder(number)) continue;
      for (const s of elementsOf(await loadXml(folder + number + '.xml'), 's')) {
        const words = s.textContent.split(',').map((w) => w.trim().toLowerCase()).filter(Boolean);
        if (words.length) found.set(Number(s.getAttribute('p')) + ':' + Number(s.getAttribute('a')), words);
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

  class Player {
    constructor(root, album, settings, strings) {
      this.root = root;
      this.slides = album.slides;
      this.order = this.slides.map((_, index) => index);
      this.position = 0;
      this.strings = strings;
      this.playing = new URLSearchParams(location.search).get('autoplay') !== '0';
      this.timer = 0;
      this.shown = 0;
      this.musicOff = false;
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
      make('h1', 'lr-title', top).textContent = document.title;
      this.counter = make('span', 'lr-counter', top);
      this.search = make('form', 'lr-search', top);
      this.search.hidden = true;
      this.query = make('input', 'lr-query', this.search);
      this.query.type = 'search';
      this.query.placeholder = s.search;
      this.query.setAttribute('aria-label', s.search);
      this.matches = make('span', 'lr-matches', this.search);

      this.stage = make('div', 'lr-stage', this.root);
      this.layers = [0, 1].map(() => {
        const figure = make('figure', 'lr-slide', this.stage);
        const img = make('img', '', figure);
        img.alt = '';
        return { figure, img, caption: make('figcaption', '', figure) };
      });
      this.previousButton = this.button('lr-prev', '‹', s.previous, this.stage, () => this.step(-1));
      this.nextButton = this.button('lr-next', '›', s.next, this.stage, () => this.step(1));

      const bar = make('nav', 'lr-bar', this.root);
      this.playButton = this.button('lr-play', '', '', bar, () => this.setPlaying(!this.playing));
      this.audio = make('audio', 'lr-audio', this.root);
      this.audio.loop = true;
      this.musicButton = this.button('lr-music', '♪', s.music, bar, () => this.toggleMusic());
      this.musicButton.hidden = !music;
      if (music) this.audio.src = music;
      this.strip = make('div', 'lr-strip', bar);
      this.strip.setAttribute('aria-label', s.photos);
      this.thumbs = this.slides.map((slide, index) => {
        const thumb = this.button('lr-thumb', '', slide.caption, this.strip, () => this.goTo(index));
        const img = make('img', '', thumb);
        img.alt = '';
        img.loading = 'lazy';
        img.src = slide.preview;
        return thumb;
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

    listen() {
      document.addEventListener('keydown', (event) => this.onKey(event));
      let start = null;
      this.stage.addEventListener('pointerdown', (event) => { start = event; });
      this.stage.addEventListener('pointerup', (event) => {
        if (!start) return;
        const dx = event.clientX - start.clientX;
        const dy = event.clientY - start.clientY;
        start = null;
        if (Math.abs(dx) >= SWIPE_PIXELS && Math.abs(dx) > Math.abs(dy)) this.step(dx < 0 ? 1 : -1);
      });
      this.search.addEventListener('submit', (event) => event.preventDefault());
      this.query.addEventListener('input', () => this.filter(this.query.value));
      // Browsers let music start only after the visitor did something.
      const startMusic = () => { if (this.playing && !this.musicOff) this.playMusic(); };
      document.addEventListener('pointerdown', startMusic, { once: true });
      document.addEventListener('keydown', startMusic, { once: true });
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
      };
      if (!actions[event.key] || event.altKey || event.ctrlKey || event.metaKey) return;
      event.preventDefault();
      actions[event.key]();
    }

    useKeywords(keywords) {
      for (const slide of this.slides) slide.keywords = keywords.get(Number(slide.part) + ':' + Number(slide.id)) || [];
      this.search.hidden = !this.slides.some((slide) => slide.keywords.length);
    }

    filter(text) {
      const query = text.trim().toLowerCase();
      const hits = this.slides
        .map((slide, index) => (slide.keywords.some((word) => word.includes(query)) ? index : -1))
        .filter((index) => index >= 0);
      this.matches.textContent = !query ? '' : hits.length
        ? this.strings.found.replace('{n}', hits.length) : this.strings.none;
      if (query && !hits.length) return;  // keep playing what plays now
      this.order = query ? hits : this.slides.map((_, index) => index);
      this.thumbs.forEach((thumb, index) => { thumb.hidden = !this.order.includes(index); });
      this.show(0);
    }

    step(delta) {
      const count = this.order.length;
      if (count) this.show((this.position + delta + count) % count);
    }

    goTo(slideIndex) {
      const position = this.order.indexOf(slideIndex);
      if (position >= 0) this.show(position);
    }

    // Shows the photo at `position` of the playing order, fading it in over
    // the one shown now once its picture has loaded.
    show(position) {
      if (!this.order.length) return;
      this.position = position;
      const index = this.order[position];
      const slide = this.slides[index];
      const ticket = ++this.shown;
      const layer = this.layers[ticket % 2];
      const other = this.layers[(ticket + 1) % 2];
      layer.caption.textContent = slide.caption;
      layer.caption.hidden = !slide.caption.trim();
      const reveal = () => {
        if (ticket !== this.shown) return;
        layer.figure.classList.add('lr-current');
        other.figure.classList.remove('lr-current');
        this.root.dataset.slide = String(index + 1);
        this.schedule();
      };
      layer.img.onload = reveal;
      layer.img.onerror = () => {
        if (layer.img.getAttribute('src') !== slide.preview) layer.img.src = slide.preview; else reveal();
      };
      layer.img.src = slide.big;
      if (layer.img.complete && layer.img.naturalWidth) reveal();
      this.counter.textContent = (position + 1) + ' / ' + this.order.length;
      this.thumbs.forEach((thumb, i) => thumb.classList.toggle('lr-active', i === index));
      // Only the strip scrolls; scrollIntoView would shift the page too.
      const thumb = this.thumbs[index];
      this.strip.scrollLeft = thumb.offsetLeft - (this.strip.clientWidth - thumb.offsetWidth) / 2;
      const next = this.slides[this.order[(position + 1) % this.order.length]];
      new Image().src = next.big;
    }

    schedule() {
      clearTimeout(this.timer);
      if (this.playing && this.order.length > 1) this.timer = setTimeout(() => this.step(1), SLIDE_MILLISECONDS);
    }

    setPlaying(playing) {
      this.playing = playing;
      this.playButton.textContent = playing ? '❚❚' : '▶';
      this.playButton.setAttribute('aria-label', playing ? this.strings.pause : this.strings.play);
      this.playButton.setAttribute('aria-pressed', String(playing));
      this.root.classList.toggle('lr-playing', playing);
      if (playing && !this.musicOff) this.playMusic(); else this.audio.pause();
      this.schedule();
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
    document.documentElement.style.setProperty('--lr-accent', settings.accent);
    document.documentElement.lang = settings.lang;
  }

  async function start() {
    const root = document.getElementById('lumireel-gallery');
    if (!root) return;
    const settings = await readSettings();
    useSkin(settings);
    root.dataset.skin = settings.skin;
    const strings = STRINGS[settings.lang.toLowerCase().slice(0, 2)] || STRINGS.en;
    const album = await readAlbum();
    if (!album.slides.length) {
      make('p', 'lr-empty', root).textContent = strings.empty;
      root.dataset.ready = 'empty';
      return;
    }
    const player = new Player(root, album, settings, strings);
    player.useKeywords(await readKeywords());
    player.setPlaying(player.playing);
    player.show(0);
    root.dataset.ready = 'true';
  }

  start();
})();
