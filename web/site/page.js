// The page: the window's job in a browser. The options are the eleven check
// boxes, ticked on first start as the window ticks them (all of them) and
// remembered in this browser; a chosen or dropped file is converted at once,
// and again whenever an option changes. Nothing is sent anywhere.
(function () {
  'use strict';

  const kStoreKey = 'WexaSievetext/General';
  const names = Sievetext.optionNames;
  const boxes = names.map((name) => document.getElementById('chk' + name));
  const input = document.getElementById('input');
  const drop = document.getElementById('drop');
  const output = document.getElementById('output');
  const status = document.getElementById('status');
  const download = document.getElementById('download');

  let chosen = null;       // { name, bytes } of the last file chosen
  let downloadUrl = null;
  let generation = 0;      // the latest request; older reads are dropped

  function loadOptions() {
    let saved = {};
    try {
      saved = JSON.parse(localStorage.getItem(kStoreKey) || '{}') || {};
    } catch (error) {
      saved = {};  // storage refused or unreadable: first start
    }
    names.forEach((name, i) => { boxes[i].checked = saved[name] !== false; });
  }

  function saveOptions() {
    const saved = {};
    names.forEach((name, i) => { saved[name] = boxes[i].checked; });
    try {
      localStorage.setItem(kStoreKey, JSON.stringify(saved));
    } catch (error) {
      // Storage refused (private mode, a full disk): the options last this visit.
    }
  }

  function options() {
    const chosenOptions = {};
    names.forEach((name, i) => { chosenOptions[name] = boxes[i].checked; });
    return chosenOptions;
  }

  function say(text, isError) {
    status.textContent = text;
    status.classList.toggle('error', Boolean(isError));
  }

  // NAME.txt, NAME being the file's name without its last extension.
  function textName(name) {
    const dot = name.lastIndexOf('.');
    return (dot > 0 ? name.slice(0, dot) : name) + '.txt';
  }

  function offerDownload(text, name) {
    if (downloadUrl) URL.revokeObjectURL(downloadUrl);
    downloadUrl = URL.createObjectURL(new Blob([text], { type: 'text/plain;charset=utf-8' }));
    download.href = downloadUrl;
    download.download = name;
    download.textContent = 'Save ' + name;
    download.hidden = false;
  }

  function convertChosen() {
    if (!chosen) return;
    if (chosen.bytes.length === 0) {
      output.value = '';
      download.hidden = true;
      say(chosen.name + ': Input file is empty!', true);
      return;
    }
    let text;
    try {
      text = Sievetext.convert(chosen.bytes, options());
    } catch (error) {
      output.value = '';
      download.hidden = true;
      say(chosen.name + ': ' + error.message, true);
      return;
    }
    output.value = text;
    const name = textName(chosen.name);
    offerDownload(text, name);
    const lines = text === '' ? 0 : text.split('\r\n').length;
    say('Done: ' + chosen.name + ' gave ' + text.length + ' characters in ' + lines +
        (lines === 1 ? ' line' : ' lines') + ', ready to save as ' + name + '.');
  }

  function choose(file) {
    if (!file) return;
    const request = ++generation;
    say('Reading ' + file.name + '…');
    file.arrayBuffer().then((buffer) => {
      if (request !== generation) return;
      chosen = { name: file.name, bytes: new Uint8Array(buffer) };
      return Sievetext.ready().then(convertChosen);
    }).catch((error) => {
      if (request === generation) say(file.name + ': cannot be read: ' + error.message, true);
    });
  }

  loadOptions();
  document.getElementById('options').addEventListener('submit', (event) => event.preventDefault());
  boxes.forEach((box) => box.addEventListener('change', () => {
    saveOptions();
    convertChosen();
  }));
  input.addEventListener('change', () => choose(input.files[0]));

  drop.addEventListener('click', () => input.click());
  drop.addEventListener('keydown', (event) => {
    if (event.key === 'Enter' || event.key === ' ') {
      event.preventDefault();
      input.click();
    }
  });
  // A file dropped anywhere on the page is taken, not opened by the browser.
  document.addEventListener('dragover', (event) => {
    event.preventDefault();
    drop.classList.add('over');
  });
  document.addEventListener('dragleave', (event) => {
    if (event.relatedTarget === null) drop.classList.remove('over');
  });
  document.addEventListener('drop', (event) => {
    event.preventDefault();
    drop.classList.remove('over');
    const files = event.dataTransfer && event.dataTransfer.files;
    if (files && files.length > 0) choose(files[0]);
  });

  Sievetext.ready().catch((error) => say('The converter cannot start: ' + error.message, true));
}());
