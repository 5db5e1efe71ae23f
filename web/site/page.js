// The page: the window's job in a browser. The options are the eleven check
// boxes, ticked on first start as the window ticks them (all of them), and
// the reading mode's box, off on first start; all are remembered in this
// browser. A chosen or dropped file is converted at once, and again whenever
// a box changes. Nothing is sent anywhere.
(function () {
  'use strict';

  const kStoreKey = 'WexaSievetext/General';
  const names = Sievetext.optionNames;
  const boxes = names.map((name) => document.getElementById('chk' + name));
  const layoutBox = document.getElementById('chkLayout');
  const kLayoutKey = 'Layout';  // saved beside the eleven, as the window saves it
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
    layoutBox.checked = saved[kLayoutKey] === true;
  }

  function saveOptions() {
    const saved = {};
    names.forEach((name, i) => { saved[name] = boxes[i].checked; });
    saved[kLayoutKey] = layoutBox.checked;
    try {
      localStorage.setItem(kStoreKey, JSON.stringify(saved));
    } catch (error) {
      // Storage refused (private mode, a full disk): the options last this visit.
    }
  }

  function options() {
    const chosenOptions = {};
    names.forEach((name, i) => { chosenOptions[name] = boxes[i].checked; });
    if (layoutBox.checked && !layoutBox.disabled) chosenOptions.layout = true;
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
  boxes.concat(layoutBox).forEach((box) => box.addEventListener('change', () => {
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

  // A converter built without the reading mode offers no such box.
  function offerLayout() {
    if (Sievetext.supports('layout')) return;
    layoutBox.checked = false;
    layoutBox.disabled = true;
    layoutBox.parentElement.hidden = true;
    document.getElementById('layout-help').hidden = true;
  }

  // A page of the kinds of mark-up the converter meets, about `bytes` long,
  // the same on every visit.
  function samplePage(bytes) {
    const words = ('the page text of a sample paragraph with some longer words ' +
      'converted here once before any file arrives').split(' ');
    let seed = 1;
    const next = (n) => {
      seed = (seed * 1103515245 + 12345) & 0x7fffffff;
      return seed % n;
    };
    const prose = () => {
      let text = '';
      for (let i = 20 + next(80); i > 0; --i) text += words[next(words.length)] + (next(9) ? ' ' : ', ');
      return text;
    };
    const blocks = [
      () => '<h2 id="s' + next(1000) + '">' + prose() + '</h2>\n',
      () => '<p>' + prose() + ' &amp; ' + prose() + ' &lt;b&gt; &#8217; &#x2014; &eacute;&nbsp;&copy;</p>\r\n',
      () => '<ul>\n  <li><a href="x.html#' + next(1000) + '">' + prose() + '</a></li>\n  <li>' + prose() + '</li>\n</ul>\n\n\n',
      () => '<table><tr><td>' + prose() + '</td>\t<td>|' + prose() + '|</td></tr></table>\n',
      () => '<!-- ' + prose() + ' -->\n<script>function f(a) { return a < 2 ? 1 : { x: a }; }</script>\n',
      () => '<style>p { color: red; } .a > b { margin: 0 }</style>\n<pre>  ' + prose() + '\n    {' + prose() + '}\n</pre>\n',
      () => '<div class="c"   title="t">    ' + prose() + '     </div>\n',
    ];
    const parts = [];
    for (let size = 0; size < bytes;) {
      const block = blocks[next(blocks.length)]();
      parts.push(block);
      size += block.length;
    }
    return parts.join('');
  }

  // The browser compiles the converter's code fully only once it has run a
  // while, and that compiling takes memory of its own. The page runs it on a
  // sample now, a little at a time, so that this happens while the page is
  // idle, not on top of a large file's conversion; the first file then also
  // converts at full speed. The body says data-ready once this is done.
  function warmUp() {
    const sample = samplePage(128 * 1024);
    const modes = [false].concat(layoutBox.disabled ? [] : [true]);
    let round = 0;
    const step = () => {
      if (round < 3 * modes.length) {
        try {
          Sievetext.convert(sample, modes[round % modes.length] ? { layout: true } : {});
        } catch (error) {
          // Only a warm-up: a real conversion reports its own failures.
        }
        ++round;
        setTimeout(step, 50);
        return;
      }
      document.body.dataset.ready = 'true';
    };
    setTimeout(step, 0);
  }

  Sievetext.ready().then(() => {
    offerLayout();
    warmUp();
  }).catch((error) => say('The converter cannot start: ' + error.message, true));
}());
