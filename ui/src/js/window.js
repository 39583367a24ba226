// The movie's own title bar and resize grip. The program's window has no
// frame, so the movie asks it to move (startDragWindow while the title bar
// is held, stopDragWindow on release), to resize (startResizeWindow /
// stopResizeWindow around a drag of the grip), to maximise or restore
// (FullSkreenWindow / LastSizeWindow), to minimise (HideWindow) and to close
// (CloseWindow). The program follows the pointer itself while a drag lasts.
'use strict';

(function (LR) {
  let maximised = false;

  function setMaximised(value) {
    maximised = value;
    const button = LR.$('#btn-maximise');
    button.dataset.tTitle = maximised ? 'restore' : 'maximise';
    button.dataset.tAria = button.dataset.tTitle;
    button.classList.toggle('is-restore', maximised);
    LR.i18n.translate(button.parentElement);
  }

  function toggleMaximised() {
    LR.program.send(maximised ? 'LastSizeWindow' : 'FullSkreenWindow');
    setMaximised(!maximised);
  }

  // Maximises the window (on) or restores it; true when that changed it.
  function fill(on) {
    if (on === maximised) return false;
    toggleMaximised();
    return true;
  }

  // Sends `start` while the primary button is held on `element`, and `stop`
  // when it is released anywhere (the pointer is captured meanwhile).
  function holdToTrack(element, start, stop, ignore) {
    let held = false;
    element.addEventListener('pointerdown', (event) => {
      if (event.button !== 0 || (ignore && event.target.closest(ignore))) return;
      held = true;
      if (element.setPointerCapture) element.setPointerCapture(event.pointerId);
      LR.program.send(start);
      event.preventDefault();
    });
    const release = () => {
      if (!held) return;
      held = false;
      LR.program.send(stop);
    };
    element.addEventListener('pointerup', release);
    element.addEventListener('pointercancel', release);
    element.addEventListener('lostpointercapture', release);
  }

  function wire() {
    const bar = LR.$('#titlebar-drag');
    holdToTrack(bar, 'startDragWindow', 'stopDragWindow');
    bar.addEventListener('dblclick', toggleMaximised);
    holdToTrack(LR.$('#resize-grip'), 'startResizeWindow', 'stopResizeWindow');
    LR.$('#btn-minimise').addEventListener('click', () => LR.program.send('HideWindow'));
    LR.$('#btn-maximise').addEventListener('click', toggleMaximised);
    LR.$('#btn-close').addEventListener('click', () => LR.program.send('CloseWindow'));
    setMaximised(false);
  }

  LR.windowFrame = { wire, fill };
})(window.LR);
