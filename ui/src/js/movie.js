// The movie's functions that the program calls (window.lumireelMovie, reached
// through the bridge's lumireel.receive), and the start of the movie.
//
// Calls are handled one after the other in the order they came; none of
// them waits for the user (an alert shows and the next call goes on).
'use strict';

(function (LR) {
  const S = LR.state;

  // ---- Files picked with the program's pickers -----------------------------------

  // MoveLogo, MoveMp3 and MoveMedia answer with setFile only when the user
  // chose a file; the control that asked says what happens with it.
  let pick = null;
  LR.picks = {
    expect(kind, handler) { pick = { kind, handler }; },
    take(fullPath, fileName) {
      const waiting = pick;
      pick = null;
      return waiting ? waiting.handler(String(fullPath), fileName === undefined ? '' : String(fileName)) : null;
    },
  };

  // ---- Calls from the program ---------------------------------------------------------

  let calls = Promise.resolve();

  function inTurn(work) {
    calls = calls.then(work).catch((error) => console.error('lumireel movie:', error));
  }

  function alertKind(key) {
    // Upload alerts other than success and a cancel tell what went wrong.
    return /error/i.test(key) || /^upload_(?!done|test_ok|cancelled)/.test(key) ? 'error' : 'info';
  }

  const functions = {
    setGlobPath(root) {
      inTurn(async () => {
        LR.program.setRoot(root);
        await LR.settings.load();
        S.ready = true;
        await LR.app.reload();
        document.body.dataset.ready = 'true';
      });
    },
    // The keys name texts of the language tables; {n} in them is the number.
    showAlert(titleKey, messageKey, number) {
      const vars = { n: number === undefined ? '' : number };
      if (messageKey === 'loc_msg_localpubsucc') {
        LR.publish.announce(LR.t(String(titleKey), vars), LR.t(String(messageKey), vars));
        return;
      }
      LR.dialogs.alert(LR.t(String(titleKey), vars), LR.t(String(messageKey), vars), alertKind(messageKey));
    },
    reloadContent() {
      inTurn(async () => {
        const photosAdded = S.job === 'import' ? S.jobFolder : null;
        if (S.job === 'import') {
          LR.dialogs.progress.close();
          LR.app.endJob();
        }
        if (S.job === 'render') LR.albumSettings.rendered();
        await LR.app.reload(photosAdded ? { photosAdded } : { filesChanged: true });
        await LR.publish.afterReload();
        if (photosAdded && photosAdded.before && S.album && S.album.id === photosAdded.album &&
            S.part === photosAdded.part && !S.search) {
          // Not waited for: the question must not hold back the program's next calls.
          LR.grid.removeDuplicates(photosAdded.before);
        }
      });
    },
    reloadPreview() {
      inTurn(() => LR.editor.previewReady());
    },
    reloadBigImg() {
      inTurn(() => LR.editor.bigImageReady());
    },
    createProgressBar(labelKey) {
      inTurn(() => {
        if (labelKey === 'loc_publish_lbl' && !S.job) LR.app.beginJob('publish');
        // The album's photos rendered again keep the bar the movie opened.
        if (S.job === 'render') return;
        LR.dialogs.progress.create(String(labelKey));
      });
    },
    showProgress(total, done) {
      inTurn(() => LR.dialogs.progress.show(total, done));
    },
    showUploadProgress(files, totalFiles, kib, totalKib) {
      inTurn(() => LR.upload.progress(files, totalFiles, kib, totalKib));
    },
    askHostKey(host, fingerprint, command) {
      inTurn(() => LR.upload.askHostKey(String(host), String(fingerprint), String(command)));
    },
    closeProgressBar() {
      inTurn(() => {
        LR.dialogs.progress.close();
        if (S.job === 'publish') LR.app.endJob();
      });
    },
    setKeyWords(keywords) {
      inTurn(() => LR.details.receiveKeywords(String(keywords)));
    },
    setFile(fullPath, fileName) {
      inTurn(() => LR.picks.take(fullPath, fileName));
    },
  };
  window.lumireelMovie = functions;

  // ---- Start ------------------------------------------------------------------------

  function start() {
    LR.windowFrame.wire();
    LR.dialogs.wireKeyboard();
    for (const part of [LR.sidebar, LR.grid, LR.slideshow, LR.details, LR.editor, LR.albumSettings, LR.publish, LR.settings]) {
      part.wire();
    }
    LR.i18n.setLanguage('en');
    LR.i18n.onChange(() => LR.app.render());
    LR.app.render();
    const version = document.querySelector('meta[name="lumireel-version"]');
    LR.program.send('setFlashBuildVersion', 'lumireel-movie ' + (version ? version.content : ''));
  }

  start();
})(window.LR);
