// Sievetext: turns an HTML document into plain text, byte for byte as the
// sievetext command does.

/**
 * The eleven clean-up options, all on unless set to `false`, and the choice
 * of line break. Any other name makes {@link convert} throw a `TypeError`
 * that names it.
 */
export interface ConvertOptions {
  /** Cut `<!-- ... -->` blocks; left-over comment markers become spaces. Default `true`. */
  RemoveComments?: boolean;
  /** Cut `<script ... /script>` blocks. Default `true`. */
  RemoveScripts?: boolean;
  /** Cut `<style ... /style>` blocks. Default `true`. */
  RemoveStyles?: boolean;
  /** Cut `{ ... }` blocks (no nesting). Default `true`. */
  RemoveFunctions?: boolean;
  /** Turn each `|` into a space. Default `true`. */
  RemovePipe?: boolean;
  /** Turn each tab into a space. Default `true`. */
  RemoveTabs?: boolean;
  /** Decode character entities (`&eacute;`, `&#169;`, ...). Default `true`. */
  GenerateSpecialChars?: boolean;
  /** Delete every `<` ... `>` span. Default `true`. */
  RemoveAllTags?: boolean;
  /** Join all lines into one ("extract only words"). Default `true`. */
  RemoveAllCRLF?: boolean;
  /** Collapse runs of spaces into one. Default `true`. */
  RemoveSpaces?: boolean;
  /** Drop empty lines. Default `true`. */
  RemoveBlankLines?: boolean;
  /**
   * How lines end: `'crlf'` (the default, as the command writes) or `'lf'`,
   * where each CR LF of the result becomes LF and nothing else changes.
   */
  lineBreaks?: 'crlf' | 'lf';
  /**
   * The layout reading mode. Accepted only by builds whose engine has it
   * (`supports('layout')`); elsewhere naming it throws a `TypeError`.
   */
  layout?: boolean;
}

/** The names of the eleven clean-up options, alphabetical. */
export type OptionName =
  | 'GenerateSpecialChars' | 'RemoveAllCRLF' | 'RemoveAllTags' | 'RemoveBlankLines'
  | 'RemoveComments' | 'RemoveFunctions' | 'RemovePipe' | 'RemoveScripts' | 'RemoveSpaces'
  | 'RemoveStyles' | 'RemoveTabs';

/** The codes of {@link SievetextError}, as the C++ library's `ErrorCode`. */
export type ErrorCode =
  | 'InvalidArgument' | 'InputMissing' | 'InputEmpty' | 'FileError' | 'OutOfMemory'
  | 'ConversionFailed';

/**
 * A failure of the converter. {@link convert} throws it with the code
 * `'OutOfMemory'` (the document or its text did not fit in memory) or
 * `'ConversionFailed'` (the converter failed; nothing was produced). The
 * message is the one the command line prints for the same failure.
 */
export class SievetextError extends Error {
  readonly name: 'SievetextError';
  readonly code: ErrorCode;
  /** The errno value of a `'FileError'`, else 0. */
  readonly systemError: number;
  /** The file concerned, when there is one; else empty. */
  readonly path: string;
}

/**
 * Converts one whole HTML document into plain text.
 *
 * A string is taken as the document's text. Bytes (a `Uint8Array`, a Node
 * `Buffer` or an `ArrayBuffer`) are read as the command reads a file: a UTF-8
 * or UTF-16 byte-order mark chooses the encoding, otherwise well-formed UTF-8
 * is read as UTF-8 and every other byte as Windows-1252.
 *
 * ```js
 * import { convert } from 'sievetext';
 * convert('<p>caf&eacute;</p>');                           // 'café'
 * convert(html, { RemoveAllCRLF: false, lineBreaks: 'lf' });
 * ```
 *
 * @throws TypeError for an input that is not a string or bytes, an unknown
 *   option name (the message names it) or a value of the wrong kind.
 * @throws SievetextError when the converter fails.
 */
export function convert(input: string | Uint8Array | ArrayBuffer, options?: ConvertOptions): string;

/**
 * Resolves once the converter is loaded. The ES module waits for it before
 * its import completes, and Node and workers load it on the first call; a
 * browser's main thread reaching the CommonJS entry through a bundler awaits
 * it before the first {@link convert}.
 */
export function ready(): Promise<void>;

/** Whether this build offers the option `name` (`'layout'` only where the engine has that mode). */
export function supports(name: string): boolean;

/** The eleven option names, alphabetical. */
export const optionNames: readonly OptionName[];

/** The package's version, the converter's, such as "1.0.20". */
export const version: string;

/** The codes of {@link SievetextError}, numbered as the C++ library's `ErrorCode`. */
export const errorCodes: readonly ErrorCode[];
