// The package's body, shared by the CommonJS and ES module entries and the
// page's script: scripts/build-web.sh wraps it, with the WebAssembly module
// as base64 in SIEVETEXT_WASM, into each of them. It loads nothing at run
// time and needs no file system, so it runs alike in Node, browsers and
// workers.

const OPTION_NAMES = Object.freeze([
  'GenerateSpecialChars', 'RemoveAllCRLF', 'RemoveAllTags', 'RemoveBlankLines',
  'RemoveComments', 'RemoveFunctions', 'RemovePipe', 'RemoveScripts', 'RemoveSpaces',
  'RemoveStyles', 'RemoveTabs',
]);
// Bits of sievetext_convert: bit i is OPTION_NAMES[i], then these.
const LF_BIT = 1 << OPTION_NAMES.length;
const LAYOUT_BIT = LF_BIT << 1;
const ALL_OPTIONS = LF_BIT - 1;
// sievetext_features
const HAS_LAYOUT = 1;
// The module's statuses, numbered as the C++ library's ErrorCode.
const ERROR_CODES = Object.freeze([
  'InvalidArgument', 'InputMissing', 'InputEmpty', 'FileError', 'OutOfMemory',
  'ConversionFailed',
]);

/** A failure of the converter; `code` is one of ERROR_CODES. */
class SievetextError extends Error {
  constructor(code, message, details) {
    super(message);
    this.name = 'SievetextError';
    this.code = code;
    /** The errno value of a FileError, else 0. */
    this.systemError = (details && details.systemError) || 0;
    /** The file concerned, when there is one. */
    this.path = (details && details.path) || '';
  }
}

let wasm = null;        // the instance's exports once started
let compiled = null;    // the compiled module, kept for a later start
let loading = null;     // the promise of an asynchronous start
let features = 0;

function wasmBytes() {
  if (typeof Buffer === 'function' && typeof Buffer.from === 'function') {
    const b = Buffer.from(SIEVETEXT_WASM, 'base64');
    return new Uint8Array(b.buffer, b.byteOffset, b.byteLength);
  }
  const text = atob(SIEVETEXT_WASM);
  const bytes = new Uint8Array(text.length);
  for (let i = 0; i < text.length; ++i) bytes[i] = text.charCodeAt(i);
  return bytes;
}

// What the module asks of its host: to hear of memory growth, the clock
// (which the conversion never uses for its result) and an exit, which it
// never takes.
function hostImports(memory) {
  return {
    env: { emscripten_notify_memory_growth() {} },
    wasi_snapshot_preview1: {
      clock_time_get(clock, precision, out) {
        const now = BigInt(Math.round(Date.now())) * 1000000n;
        new DataView(memory().buffer).setBigUint64(out, now, true);
        return 0;
      },
      proc_exit(status) {
        throw new SievetextError('ConversionFailed', `the converter stopped (status ${status})`);
      },
    },
  };
}

function start(instance) {
  const exports = instance.exports;
  exports._initialize();
  features = exports.sievetext_features();
  wasm = exports;
  return wasm;
}

function newImports() {
  let exports = null;
  const imports = hostImports(() => exports.memory);
  return { imports, bind(instance) { exports = instance.exports; return instance; } };
}

// Starts the module at once. Node and workers allow this for a module of any
// size; a browser's main thread may refuse, and then ready() must be awaited
// first.
function startNow() {
  if (wasm) return wasm;
  try {
    if (!compiled) compiled = new WebAssembly.Module(wasmBytes());
    const { imports, bind } = newImports();
    return start(bind(new WebAssembly.Instance(compiled, imports)));
  } catch (error) {
    if (error instanceof RangeError) {
      throw new SievetextError('ConversionFailed',
        'sievetext: the converter is still loading; await ready() before convert() here');
    }
    throw error;
  }
}

/** Resolves once the converter is loaded; convert() may then be called at once. */
function ready() {
  if (wasm) return Promise.resolve();
  if (!loading) {
    const { imports, bind } = newImports();
    loading = (compiled ? WebAssembly.instantiate(compiled, imports)
                        : WebAssembly.instantiate(wasmBytes(), imports).then((r) => {
                          compiled = r.module;
                          return r.instance;
                        }))
      .then((instance) => { if (!wasm) start(bind(instance)); });
  }
  return loading;
}

function optionList() {
  return OPTION_NAMES.concat(['lineBreaks'], features & HAS_LAYOUT ? ['layout'] : []).join(', ');
}

// The option bits for `options`, or a TypeError that names what is wrong.
function optionBits(options) {
  if (options === undefined || options === null) return ALL_OPTIONS;
  if (typeof options !== 'object' || Array.isArray(options)) {
    throw new TypeError('sievetext: options must be an object');
  }
  const unknown = Object.keys(options).filter((name) =>
    !OPTION_NAMES.includes(name) && name !== 'lineBreaks' &&
    !(name === 'layout' && (features & HAS_LAYOUT)));
  if (unknown.length > 0) {
    const hints = unknown.map((name) => {
      const close = OPTION_NAMES.find((known) => known.toLowerCase() === name.toLowerCase());
      return close ? `${name} (did you mean ${close}?)` : name;
    });
    throw new TypeError(`sievetext: unknown option${unknown.length > 1 ? 's' : ''}: ` +
      `${hints.join(', ')}; the options are ${optionList()}`);
  }
  let bits = 0;
  OPTION_NAMES.forEach((name, i) => {
    const value = options[name];
    if (value !== undefined && typeof value !== 'boolean') {
      throw new TypeError(`sievetext: option ${name} must be true or false`);
    }
    if (value !== false) bits |= 1 << i;
  });
  const lineBreaks = options.lineBreaks;
  if (lineBreaks === 'lf') {
    bits |= LF_BIT;
  } else if (lineBreaks !== undefined && lineBreaks !== 'crlf') {
    throw new TypeError("sievetext: option lineBreaks must be 'crlf' or 'lf'");
  }
  if (options.layout !== undefined) {
    if (typeof options.layout !== 'boolean') {
      throw new TypeError('sievetext: option layout must be true or false');
    }
    if (options.layout) bits |= LAYOUT_BIT;
  }
  return bits;
}

function check(status) {
  if (status === 0) return;
  const w = wasm;
  const message = new TextDecoder().decode(
    new Uint8Array(w.memory.buffer, w.sievetext_message(), w.sievetext_message_length()));
  w.sievetext_release();
  throw new SievetextError(ERROR_CODES[status] || 'ConversionFailed', message);
}

const utf8 = new TextEncoder();
// Keeps a leading U+FEFF of the text: the converter already dropped the mark.
const utf16 = new TextDecoder('utf-16le', { ignoreBOM: true });

const hasBuffer = typeof Buffer === 'function' && typeof Buffer.from === 'function';
// Reads bytes 0x00-0x7F and 0xA0-0xFF as the characters of those numbers,
// into a string of one byte per character.
const oneByte = hasBuffer ? null : new TextDecoder('windows-1252');

// The module's text as a string. Its units are well-formed. The module cuts
// them into stretches and stores those whose characters all fit a byte one
// byte per unit; each stretch becomes a string of its own, joined to the
// others without a copy, so the text takes about one byte per character
// where it is mostly Latin letters, not two.
function textOf(w, units) {
  if (units === 0) return '';
  const count = w.sievetext_split(hasBuffer ? 1 : 0);
  const at = w.sievetext_text();
  const memory = w.memory.buffer;
  const wide = (from, n) => (hasBuffer
    ? Buffer.from(memory, at + from * 2, n * 2).toString('utf16le')
    : utf16.decode(new Uint8Array(memory, at + from * 2, n * 2)));
  if (count === 0) return wide(0, units);
  const stretches = new Uint32Array(memory, w.sievetext_stretches(), count * 2);
  let text = '';
  let start = 0;
  for (let i = 0; i < count; ++i) {
    const end = stretches[2 * i];
    const n = end - start;
    if (stretches[2 * i + 1] === 0) {
      text += wide(start, n);
    } else if (hasBuffer) {
      text += Buffer.from(memory, at + start * 2, n).toString('latin1');
    } else {
      text += oneByte.decode(new Uint8Array(memory, at + start * 2, n));
    }
    start = end;
  }
  return text;
}

// Hands `input` to the module a piece at a time.
function feed(w, input, bits) {
  const pieceSize = w.sievetext_piece_size();
  const piece = () => new Uint8Array(w.memory.buffer, w.sievetext_piece(), pieceSize);
  if (typeof input === 'string') {
    // Each UTF-16 unit takes at least one byte, so the length is the text's
    // length in units, as its bytes would give.
    check(w.sievetext_begin(input.length, bits));
    let rest = input;
    for (;;) {
      const { read, written } = utf8.encodeInto(rest, piece());
      rest = rest.slice(read);
      const last = rest.length === 0;
      check(w.sievetext_feed(written, last ? 1 : 0));
      if (last) return;
    }
  }
  check(w.sievetext_begin(input.length, bits));
  for (let at = 0; ;) {
    const n = Math.min(pieceSize, input.length - at);
    piece().set(input.subarray(at, at + n));
    at += n;
    const last = at === input.length;
    check(w.sievetext_feed(n, last ? 1 : 0));
    if (last) return;
  }
}

/**
 * Converts one whole HTML document into plain text, byte for byte as the
 * sievetext command does.
 */
function convert(input, options) {
  let bytes = input;
  if (typeof input !== 'string') {
    if (input instanceof ArrayBuffer) {
      bytes = new Uint8Array(input);
    } else if (!(input instanceof Uint8Array)) {
      throw new TypeError('sievetext: input must be a string, a Uint8Array or a Buffer');
    }
  }
  const w = startNow();
  const bits = optionBits(options);
  try {
    feed(w, bytes, bits);
    check(w.sievetext_convert(bits));
    const units = w.sievetext_text_length();
    try {
      return textOf(w, units);
    } catch (error) {
      if (error instanceof RangeError) {
        throw new SievetextError('OutOfMemory', `Out of memory: the text (${units} units) is too long for a JavaScript string`);
      }
      throw error;
    }
  } finally {
    w.sievetext_release();
  }
}

/** Whether this build's engine offers `name` ("layout"): known once loaded. */
function supports(name) {
  startNow();
  return name === 'layout' ? (features & HAS_LAYOUT) !== 0 : OPTION_NAMES.includes(name) || name === 'lineBreaks';
}

const version = SIEVETEXT_VERSION;
const optionNames = OPTION_NAMES;
