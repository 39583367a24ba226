// The slide show inside the program: the photos on show, one after the
// other over the whole window (the window maximised meanwhile), each for a
// few seconds, with the album's music (photoparts/sounds/, named by
// parts.xml) playing in a loop. Space pauses and goes on, the arrow keys
// step, Escape ends it.
'use strict';

(function (LR) {
  const S = LR.state;
  const SHOWN_MS = 5000;
  let photos = [];
  let at = 0;
  let timer = 0;
  let playing = false;

  const audio = () => LR.$('#show-music');

  function show() {
    const photo = photos[at];
    const img = LR.$('#show-image');
    img.src = LR.grid.imageUrl(photo, 'big');
    img.alt = LR.app.captionOf(photo);
    LR.$('#show-caption').textContent = LR.app.captionOf(photo);
    LR.$('#show-count').textContent = LR.t('photo_of', { n: at + 1, total: photos.length });
    // The next photo is fetched while this one is shown.
    if (photos[at + 1]) new Image().src = LR.grid.imageUrl(photos[at + 1], 'big');
    schedule();
  }

  function schedule() {
    clearTimeout(timer);
    if (playing) timer = setTimeout(() => step(1), SHOWN_MS);
  }

  // The show goes round: after the last photo comes the first.
  function step(delta) {
    at = (at + delta + photos.length) % photos.length;
    show();
  }

  function setPlaying(on) {
    playing = on;
    const button = LR.$('#show-play');
    button.textContent = LR.t(on ? 'pause' : 'play');
    button.setAttribute('aria-pressed', on ? 'false' : 'true');
    LR.$('#dlg-show').dataset.playing = on ? 'true' : 'false';
    if (audio().getAttribute('src')) {
      if (on) audio().play().catch(() => {});
      else audio().pause();
    }
    schedule();
  }

  // Starts with `first` (else the first photo on show).
  async function start(first) {
    if (!S.album || !S.photos.length) return;
    photos = S.photos;
    const index = first ? photos.findIndex((p) => p.part === first.part && p.id === first.id) : 0;
    at = Math.max(index, 0);
    const music = audio();
    if (S.sound && LR.isPlainName(S.sound)) {
      music.src = LR.workspaceUrl(['MyAlbums', S.album.id, 'photoparts', 'sounds', S.sound]);
    } else {
      music.removeAttribute('src');
    }
    const restore = LR.windowFrame.fill(true);
    show();
    setPlaying(true);
    await LR.dialogs.ask(LR.$('#dlg-show'));
    setPlaying(false);
    clearTimeout(timer);
    music.removeAttribute('src');
    music.load();
    if (restore) LR.windowFrame.fill(false);
    LR.app.selectPhoto(photos[at]);
  }

  function wire() {
    LR.$('#btn-slideshow').addEventListener('click', () => start(null));
    LR.$('#show-prev').addEventListener('click', () => step(-1));
    LR.$('#show-next').addEventListener('click', () => step(1));
    LR.$('#show-play').addEventListener('click', () => setPlaying(!playing));
    LR.$('#dlg-show').addEventListener('keydown', (event) => {
      const keys = { ArrowLeft: () => step(-1), ArrowRight: () => step(1), ' ': () => setPlaying(!playing) };
      // Space on a button presses it.
      if (!keys[event.key] || (event.key === ' ' && event.target.closest('button'))) return;
      event.preventDefault();
      keys[event.key]();
    });
  }

  LR.slideshow = { wire, start };
})(window.LR);
