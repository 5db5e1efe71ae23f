#!/usr/bin/env node
// The sievetext command for INPUT [OUTPUT], on any system with Node: the same
// checks, messages, exit statuses and per-run options as the native command
// (see its man page), with the converter of this package. It starts from the
// options the native window saved, where there are any, and never changes
// them. Folder batches (-d, -r, -j) and the window are the native program's.
'use strict';

const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const crypto = require('node:crypto');
const { convert, supports, optionNames, version } = require('../index.cjs');

const kProgram = 'sievetext';
const kStream = '-';

// The errno texts the C library words, for the failures a file can meet.
const kErrnoTexts = {
  EACCES: 'Permission denied', EPERM: 'Operation not permitted', ENOENT: 'No such file or directory',
  EISDIR: 'Is a directory', ENOTDIR: 'Not a directory', ENOSPC: 'No space left on device',
  EDQUOT: 'Disk quota exceeded', EROFS: 'Read-only file system', EFBIG: 'File too large',
  EIO: 'Input/output error', ELOOP: 'Too many levels of symbolic links',
  ENAMETOOLONG: 'File name too long', EMFILE: 'Too many open files', ENXIO: 'No such device or address',
  EBADF: 'Bad file descriptor', EINVAL: 'Invalid argument', EXDEV: 'Invalid cross-device link',
  ENOMEM: 'Cannot allocate memory', EBUSY: 'Device or resource busy', ETXTBSY: 'Text file busy',
};

class Stop extends Error {
  constructor(status, lines) {
    super(lines.join('\n'));
    this.status = status;
    this.lines = lines;
  }
}

function usage(problem) {
  return new Stop(1, [`${kProgram}: ${problem}`,
    `Usage: ${kProgram} [OPTION]... INPUT [OUTPUT]  (${kProgram} --help for more)`]);
}

function helpText() {
  return `Usage: ${kProgram} [OPTION]... INPUT [OUTPUT]
Turn an HTML file into plain text.

Paths are taken from the current folder. "-" is standard input as INPUT and
standard output as OUTPUT; without OUTPUT the text goes to standard output.
An existing OUTPUT is replaced without asking.

      --with=NAME          switch option NAME on, for this run only
      --without=NAME       switch option NAME off, for this run only
      --lf                 end lines with LF instead of CR LF
${supports('layout') ? '      --layout             read the page in the layout mode\n' : ''}\
  -q, --quiet              print no messages; the exit status still tells
  -h, --help               show this help and exit
      --version            show the version and exit
  --                       end of options (for a path starting with "-")

NAME is one of the options, in any letter case, or all for all eleven:
  ${optionNames.slice(0, 5).join(' ')}
  ${optionNames.slice(5).join(' ')}
--with and --without apply from left to right on top of the saved options.

Exit status: 0 the output was written; 2 reading, writing or converting failed,
or a message or this help could not be written; otherwise 1 when the input
stopped at a check (an empty path, a missing or empty input) or the arguments
were wrong.

Saved options are read from ${settingsPath()}, never written.
Folder batches (-d, -r, -j) and the window need the native program.
`;
}

function settingsPath() {
  const config = process.env.XDG_CONFIG_HOME || path.join(os.homedir(), '.config');
  return path.join(config, 'WexaSievetext.ini');
}

// True, False, or a number (true unless zero), as the native program reads
// a saved option; anything else is false.
function safeBool(text) {
  const t = text.replace(/^[ \t]+|[ \t]+$/g, '');
  if (/^true$/i.test(t)) return true;
  if (/^false$/i.test(t)) return false;
  const m = /^[+-]?(\d*)(?:\.(\d*))?(?:[eE][+-]?\d+)?$/.exec(t);
  if (!m || (m[1] + (m[2] || '')).length === 0) return false;
  return /[1-9]/.test(m[1] + (m[2] || ''));
}

// The saved options: every one on where the file or its key is missing.
function savedOptions() {
  const options = Object.fromEntries(optionNames.map((name) => [name, true]));
  let text;
  try {
    const file = settingsPath();
    if (fs.statSync(file).size > (1 << 20)) return options;
    text = fs.readFileSync(file, 'utf8');
  } catch {
    return options;
  }
  let inGeneral = false;
  for (const raw of text.split(/\r?\n/)) {
    const line = raw.trim();
    if (line.startsWith('[')) {
      inGeneral = /^\[\s*general\s*\]$/i.test(line);
      continue;
    }
    const eq = line.indexOf('=');
    if (!inGeneral || eq < 0 || line.startsWith(';') || line.startsWith('#')) continue;
    const key = line.slice(0, eq).trim().toLowerCase();
    const name = optionNames.find((n) => n.toLowerCase() === key);
    if (name) options[name] = safeBool(line.slice(eq + 1));
  }
  return options;
}

function optionsNamed(name) {
  if (name.toLowerCase() === 'all') return optionNames;
  const found = optionNames.find((n) => n.toLowerCase() === name.toLowerCase());
  return found ? [found] : [];
}

// The arguments, read as getopt_long reads them: options and paths in any
// order, long options by any unambiguous prefix, "--" ends the options.
function parseArguments(argv) {
  const longOptions = ['help', 'version', 'quiet', 'with', 'without', 'lf', 'output-dir',
    'recursive', 'jobs', 'window'];
  if (supports('layout')) longOptions.push('layout');
  const takesValue = new Set(['with', 'without', 'output-dir', 'jobs']);
  const args = { help: false, version: false, quiet: false, lf: false, layout: false,
    edits: [], paths: [] };
  const nativeOnly = (given) =>
    usage(`option '${given}' needs the native program (this command converts one INPUT to one OUTPUT)`);
  for (let i = 0; i < argv.length; ++i) {
    const arg = argv[i];
    if (arg === '--') {
      args.paths.push(...argv.slice(i + 1));
      break;
    }
    if (arg.startsWith('--')) {
      const eq = arg.indexOf('=');
      const given = eq < 0 ? arg.slice(2) : arg.slice(2, eq);
      const matches = longOptions.filter((o) => o.startsWith(given));
      const name = longOptions.includes(given) ? given : matches.length === 1 ? matches[0] : null;
      if (name === null) throw usage(`unknown or ambiguous option '${arg}'`);
      let value = null;
      if (takesValue.has(name)) {
        if (eq >= 0) value = arg.slice(eq + 1);
        else if (i + 1 < argv.length) value = argv[++i];
        else throw usage(`option '${arg}' needs a value`);
      } else if (eq >= 0) {
        throw usage(`unknown or ambiguous option '${arg}'`);
      }
      switch (name) {
        case 'help': args.help = true; break;
        case 'version': args.version = true; break;
        case 'quiet': args.quiet = true; break;
        case 'lf': args.lf = true; break;
        case 'layout': args.layout = true; break;
        case 'with':
        case 'without': {
          const options = optionsNamed(value);
          if (options.length === 0) {
            throw usage(`unknown option name '${value}' (one of ${optionNames.join(', ')}, all)`);
          }
          args.edits.push({ options, on: name === 'with' });
          break;
        }
        default: throw nativeOnly(`--${name}`);
      }
      continue;
    }
    if (arg.startsWith('-') && arg !== kStream) {
      for (let k = 1; k < arg.length; ++k) {
        const c = arg[k];
        if (c === 'h') args.help = true;
        else if (c === 'q') args.quiet = true;
        else if ('drj'.includes(c)) throw nativeOnly(`-${c}`);
        else throw usage(`unknown option '-${c}'`);
      }
      continue;
    }
    args.paths.push(arg);
  }
  if (!args.help && !args.version) {
    if (args.paths.length === 0) throw usage('missing INPUT');
    if (args.paths.length > 2) throw usage('too many paths (one INPUT, one OUTPUT)');
    // Without OUTPUT the text goes to standard output.
    if (args.paths.length === 1) args.paths.push('-');
  }
  return args;
}

function fileError(name, error) {
  const code = error && error.code;
  const number = (code && os.constants.errno[code]) || 5;
  const text = kErrnoTexts[code] || (error && error.message) || 'Input/output error';
  return new Stop(2, [`${kProgram}: ${name}: RemoveHTML: Error ${number}: ${text}`]);
}

function readStandardInput() {
  return new Promise((resolve, reject) => {
    const pieces = [];
    process.stdin.on('data', (piece) => pieces.push(piece));
    process.stdin.on('end', () => resolve(Buffer.concat(pieces)));
    process.stdin.on('error', reject);
  });
}

// A normal file: a regular file whose name does not start with a dot.
function normalFile(file) {
  if (path.basename(file).startsWith('.') || file.endsWith('/')) return false;
  try {
    return fs.statSync(file).isFile();
  } catch {
    return false;
  }
}

// The file a path finally names, through any chain of symbolic links, even
// when the last one dangles.
function finalTarget(file) {
  let current = path.resolve(file);
  for (let hops = 0; hops < 40; ++hops) {
    let target;
    try {
      target = fs.readlinkSync(current);
    } catch (error) {
      if (error.code === 'EINVAL' || error.code === 'ENOENT') return current;
      throw error;
    }
    current = path.resolve(path.dirname(current), target);
  }
  const error = new Error('too many links');
  error.code = 'ELOOP';
  throw error;
}

let pendingTemporary = null;

// Replaces `file` whole: the text goes to a new hidden file beside it, which
// takes its place once complete; the old file keeps its permission bits
// (without set-user-ID and set-group-ID) and, where allowed, its owner.
function replaceFile(file, bytes) {
  const target = finalTarget(file);
  let old = null;
  try {
    old = fs.statSync(target);
  } catch (error) {
    if (error.code !== 'ENOENT') throw error;
  }
  if (old && !old.isFile()) {
    const error = new Error('not a regular file');
    error.code = old.isDirectory() ? 'EISDIR' : 'EINVAL';
    throw error;
  }
  const temporary = path.join(path.dirname(target),
    `.sievetext-${crypto.randomBytes(8).toString('base64url').slice(0, 10)}`);
  pendingTemporary = temporary;
  try {
    const fd = fs.openSync(temporary, 'wx', old ? 0o600 : 0o666);
    try {
      for (let at = 0; at < bytes.length;) at += fs.writeSync(fd, bytes, at, bytes.length - at);
      if (old) {
        try { fs.fchownSync(fd, old.uid, old.gid); } catch { /* not ours to give */ }
        fs.fchmodSync(fd, old.mode & 0o1777);
      }
    } finally {
      fs.closeSync(fd);
    }
    fs.renameSync(temporary, target);
    pendingTemporary = null;
  } catch (error) {
    try { fs.unlinkSync(temporary); } catch { /* never made */ }
    pendingTemporary = null;
    throw error;
  }
}

function writeStandardOutput(bytes) {
  try {
    for (let at = 0; at < bytes.length;) at += fs.writeSync(1, bytes, at, bytes.length - at);
  } catch (error) {
    // A reader that stopped early ends the command quietly, as it ends cat.
    if (error.code === 'EPIPE') process.exit(141);
    if (error.code === 'EAGAIN') return writeStandardOutputSlowly(bytes);
    throw new Stop(2, [`${kProgram}: standard output: cannot write: ${kErrnoTexts[error.code] || error.message}`]);
  }
  return undefined;
}

function writeStandardOutputSlowly(bytes) {
  return new Promise((resolve, reject) => {
    process.stdout.on('error', (error) => {
      if (error.code === 'EPIPE') process.exit(141);
      reject(new Stop(2, [`${kProgram}: standard output: cannot write: ${kErrnoTexts[error.code] || error.message}`]));
    });
    process.stdout.write(bytes, () => resolve());
  });
}

async function run(argv) {
  const args = parseArguments(argv);
  if (args.help) {
    process.stdout.write(helpText());
    return 0;
  }
  if (args.version) {
    process.stdout.write(`Wexa Sievetext ${version}\n`);
    return 0;
  }
  const [input, output] = args.paths;
  const options = savedOptions();
  for (const edit of args.edits) for (const name of edit.options) options[name] = edit.on;
  if (args.lf) options.lineBreaks = 'lf';
  if (args.layout) options.layout = true;
  const say = (status, line) => new Stop(status, args.quiet ? [] : [`${kProgram}: ${line}`]);

  if (input === '') throw say(1, 'You have not selected the input file.');
  if (output === '') throw say(1, 'You have not selected the output file.');
  const inputName = input === kStream ? 'standard input' : input;
  const outputName = output === kStream ? 'standard output' : output;
  if (input !== kStream && !normalFile(input)) throw say(1, `${input}: Input file is missing`);

  let bytes;
  try {
    bytes = input === kStream ? await readStandardInput() : fs.readFileSync(input);
  } catch (error) {
    const stop = fileError(inputName, error);
    throw args.quiet ? new Stop(2, []) : stop;
  }
  if (bytes.length === 0) throw say(1, `${inputName}: Input file is empty!`);

  let text;
  try {
    text = convert(bytes, options);
  } catch (error) {
    throw say(2, `${inputName}: ${error.message}`);
  }
  bytes = null;
  const result = Buffer.from(text, 'utf8');
  text = null;
  if (output === kStream) {
    await writeStandardOutput(result);
    return 0;
  }
  try {
    replaceFile(output, result);
  } catch (error) {
    const stop = fileError(outputName, error);
    throw args.quiet ? new Stop(2, []) : stop;
  }
  return 0;
}

// A signal while the output is written takes the hidden file away first,
// then ends the command by that signal.
for (const signal of ['SIGHUP', 'SIGINT', 'SIGQUIT', 'SIGTERM', 'SIGALRM', 'SIGUSR1', 'SIGUSR2']) {
  try {
    process.on(signal, () => {
      if (pendingTemporary) try { fs.unlinkSync(pendingTemporary); } catch { /* gone */ }
      process.removeAllListeners(signal);
      process.kill(process.pid, signal);
    });
  } catch { /* not on this system */ }
}

run(process.argv.slice(2)).then(
  (status) => { process.exitCode = status; },
  (error) => {
    if (!(error instanceof Stop)) {
      process.stderr.write(`${kProgram}: ${error && error.message}\n`);
      process.exitCode = 2;
      return;
    }
    if (error.lines.length > 0) process.stderr.write(`${error.lines.join('\n')}\n`);
    process.exitCode = error.status;
  });
