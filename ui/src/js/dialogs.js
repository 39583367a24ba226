// Modal dialogs: the movie's own question boxes (prompt, confirm, alert),
// the progress bar the program drives, and the keyboard rules they share:
// Enter confirms the dialog on top (unless the focus is on a button or in a
// multi-line field, which handle Enter themselves), Escape cancels it.
//
// A dialog's buttons say what they do:
//   data-primary        confirms (what Enter presses)
//   data-cancel         cancels
//   data-action="name"  ends the dialog with that name
'use strict';

(function (LR) {
  const stack = [];  // open modal dialogs, the top one last

  function focusFirst(dialog) {
    const target = dialog.querySelector('[autofocus]') ||
      dialog.querySelector('input:not([type=hidden]):not([disabled]), select, textarea') ||
      dialog.querySelector('[data-primary]');
    if (target) target.focus();
  }

  function open(dialog) {
    if (!dialog.open) dialog.showModal();
    if (!stack.includes(dialog)) stack.push(dialog);
    focusFirst(dialog);
  }

  function close(dialog) {
    if (dialog.open) dialog.close();
    const at = stack.indexOf(dialog);
    if (at >= 0) stack.splice(at, 1);
  }

  function top() {
    return stack.length ? stack[stack.length - 1] : null;
  }

  // Shows `dialog` until one of its buttons ends it; resolves with
  // 'primary', 'cancel' or the data-action name. `canCancel` false keeps
  // Escape from closing it.
  function ask(dialog, canCancel = true) {
    return new Promise((resolve) => {
      function finish(result) {
        dialog.removeEventListener('click', onClick);
        dialog.removeEventListener('cancel', onCancel);
        close(dialog);
        resolve(result);
      }
      function onClick(event) {
        const button = event.target.closest('button');
        if (!button || !dialog.contains(button) || button.disabled) return;
        if (button.hasAttribute('data-primary')) finish('primary');
        else if (button.hasAttribute('data-cancel')) finish('cancel');
        else if (button.dataset.action) finish(button.dataset.action);
      }
      function onCancel(event) {
        event.preventDefault();
        if (canCancel) finish('cancel');
      }
      dialog.addEventListener('click', onClick);
      dialog.addEventListener('cancel', onCancel);
      open(dialog);
    });
  }

  // Asks for a text; resolves with the trimmed text, or null when cancelled.
  async function prompt(titleKey, labelKey, value, okKey) {
    const dialog = LR.$('#dlg-prompt');
    const input = LR.$('#prompt-input');
    const ok = LR.$('#prompt-ok');
    LR.$('#prompt-title').textContent = LR.t(titleKey);
    LR.$('#prompt-label').textContent = LR.t(labelKey);
    ok.textContent = LR.t(okKey || 'ok');
    input.value = value || '';
    const sync = () => { ok.disabled = input.value.trim() === ''; };
    input.addEventListener('input', sync);
    sync();
    const result = await ask(dialog);
    input.removeEventListener('input', sync);
    return result === 'primary' ? input.value.trim() : null;
  }

  // A `destructive` question (a delete) looks so, and Cancel is its default
  // button: it has the focus and Enter presses it, so that a key pressed in
  // passing never deletes.
  async function confirm(titleKey, message, okKey, destructive = false) {
    const dialog = LR.$('#dlg-confirm');
    const ok = LR.$('#confirm-ok');
    const cancel = dialog.querySelector('[data-cancel]');
    LR.$('#confirm-title').textContent = LR.t(titleKey);
    LR.$('#confirm-message').textContent = message;
    ok.textContent = LR.t(okKey || 'ok');
    ok.classList.toggle('btn-primary', !destructive);
    ok.classList.toggle('btn-danger', destructive);
    ok.toggleAttribute('autofocus', !destructive);
    cancel.toggleAttribute('autofocus', destructive);
    if (destructive) {
      ok.removeAttribute('data-primary');
      ok.dataset.action = 'confirm';
      cancel.setAttribute('data-primary', '');
      cancel.removeAttribute('data-cancel');
    }
    const result = await ask(dialog);
    if (destructive) {
      ok.setAttribute('data-primary', '');
      delete ok.dataset.action;
      cancel.removeAttribute('data-primary');
      cancel.setAttribute('data-cancel', '');
    }
    return result === (destructive ? 'confirm' : 'primary');
  }

  // Alerts wait for each other: a second one shows when the first is closed.
  // `more` may add `details` (pairs of a label and a text, shown as a list),
  // a `note` below them and `actions` (buttons beside OK: a text key and what the button does
  // once the alert is closed).
  let alerts = Promise.resolve();

  function alert(title, message, kind, more = {}) {
    alerts = alerts.then(async () => {
      const dialog = LR.$('#dlg-alert');
      dialog.dataset.kind = kind || 'info';
      LR.$('#alert-title').textContent = title;
      LR.$('#alert-message').textContent = message;
      const details = LR.$('#alert-details');
      details.replaceChildren(...(more.details || []).flatMap(([label, text]) => {
        const term = document.createElement('dt');
        term.textContent = label;
        const value = document.createElement('dd');
        value.textContent = text;
        return [term, value];
      }));
      details.hidden = !details.childElementCount;
      const note = LR.$('#alert-note');
      note.textContent = more.note || '';
      note.hidden = !more.note;
      const actions = more.actions || [];
      LR.$('#alert-actions').replaceChildren(...actions.map((action, i) => {
        const button = document.createElement('button');
        button.type = 'button';
        button.className = 'btn';
        button.dataset.action = 'alert-action-' + i;
        button.textContent = LR.t(action.key);
        return button;
      }));
      const result = await ask(dialog);
      const chosen = actions.find((action, i) => result === 'alert-action-' + i);
      if (chosen) chosen.run();
    });
    return alerts;
  }

  // ---- Progress bar --------------------------------------------------------

  const cancels = {};  // progress label -> what its Cancel button does

  const progress = {
    label: '',
    // The job shown with `labelKey` can be stopped: its bar gets a Cancel
    // button that calls `cancel`.
    cancellable(labelKey, cancel) { cancels[labelKey] = cancel; },
    // A bar without steps until the first showProgress.
    create(labelKey) {
      const dialog = LR.$('#dlg-progress');
      progress.label = labelKey;
      dialog.dataset.label = labelKey;
      LR.$('#progress-label').textContent = LR.t(labelKey);
      LR.$('#progress-bar').removeAttribute('value');
      LR.$('#progress-count').textContent = '';
      LR.$('#progress-cancel').hidden = !cancels[labelKey];
      if (!dialog.open) {
        dialog.showModal();
        stack.push(dialog);
      }
    },
    // The program sends (total, done).
    show(total, done) {
      const bar = LR.$('#progress-bar');
      const all = Math.max(Number(total) || 0, 0);
      const finished = Math.min(Math.max(Number(done) || 0, 0), all);
      if (all === 0) return;
      bar.max = all;
      bar.value = finished;
      LR.$('#progress-count').textContent = LR.t('progress_count', { done: finished, total: all });
    },
    close() {
      progress.label = '';
      close(LR.$('#dlg-progress'));
    },
  };

  function wireKeyboard() {
    // The progress bar is not the user's to close.
    LR.$('#dlg-progress').addEventListener('cancel', (event) => event.preventDefault());
    LR.$('#progress-cancel').addEventListener('click', () => {
      if (cancels[progress.label]) cancels[progress.label]();
    });
    document.addEventListener('keydown', (event) => {
      if (event.key !== 'Enter' || event.isComposing || event.defaultPrevented) return;
      const dialog = top();
      if (!dialog) return;
      const target = event.target;
      if (target.closest && target.closest('button, a, textarea, summary')) return;
      const primary = dialog.querySelector('[data-primary]');
      event.preventDefault();
      if (primary && !primary.disabled) primary.click();
    });
  }

  LR.dialogs = { ask, prompt, confirm, alert, progress, wireKeyboard };
})(window.LR);
