// Plaine & Easie incipit records to MusicXML 1.0 or 4.0 documents and
// compressed files (WebAssembly).

/** The package's version, the project's one version (the library's TAV_VERSION_STRING), e.g. "1.0.0". */
export const version: string;

/** What a record became. */
export type Status = 'converted' | 'failed' | 'too_large' | 'line_too_long' | 'blank';

/** The fields of a record line, in their order. */
/** A field of a record: one of a record line's, or a key kept apart from the music. */
export type FieldName = 'identifier' | 'number' | 'clef' | 'time' | 'time2' | 'key' | 'music';

/** The field names in the order of a record line (no key: it is the music's start there). */
export const fieldNames: readonly FieldName[];

/**
 * The stable name of what a message is about, the same for every record
 * whatever names or numbers its text holds: one for each kind of warning
 * and error of the library ('other' for a text that is none of them).
 */
export type MessageCode =
    'no_identifier' | 'identifier_too_long' | 'identifier_not_number' | 'identifier_too_large'
    | 'no_number' | 'number_too_long' | 'line_ends_after_number' | 'no_time_field'
    | 'no_second_time_field' | 'no_music_field' | 'music_in_time_field'
    | 'music_in_second_time_field' | 'empty_clef_field' | 'short_clef_field' | 'long_clef_field'
    | 'unreadable_time_field' | 'unreadable_second_time_field' | 'field_holds_line_end'
    | 'time_field_text_ignored' | 'unknown_sign' | 'neumatic_note' | 'bracketed_key'
    | 'measure_rest_count' | 'too_large' | 'line_too_long' | 'converter_busy'
    | 'chord_tie_without_pitch' | 'tie_written_as_slur' | 'music_after_blank' | 'unsafe_number'
    | 'number_not_xml' | 'no_compression' | 'not_compressible' | 'too_large_to_compress' | 'compression_failed'
    | 'written_twice' | 'output_is_input' | 'output_is_report' | 'cannot_create_file'
    | 'cannot_write_file' | 'cannot_create_folder' | 'no_marcxml' | 'malformed_xml'
    | 'catalogue_record_too_large' | 'no_control_number' | 'control_number_not_identifier'
    | 'other_notation_system' | 'subfield_holds_line_break' | 'xml_cannot_carry'
    | 'record_out_of_memory' | 'record_not_closed' | 'subfield_holds_markup' | 'unknown_key'
    | 'key_given_twice' | 'zero_byte_in_value' | 'value_not_text' | 'no_music_key'
    | 'incipit_too_large_to_read' | 'not_key_line' | 'no_json' | 'malformed_json'
    | 'not_json_object' | 'other';

/** One warning or error about a record. */
export interface Message {
    kind: 'warning' | 'error';
    /** The text as the command-line program writes it after "incipit: ID-NUMBER, ". */
    text: string;
    /**
     * For a sign the converter cannot read: its index in the record as it was
     * given (UTF-16 units of a string, bytes of a Uint8Array; for fields, in
     * the line they stand for, in which an empty clef or time is "\-" and a
     * key kept apart begins the music field as "$KEY ");
     * otherwise null.
     */
    position: number | null;
    /** The same sign's byte index in the record line's bytes (the "i:" of the text). */
    bytePosition: number | null;
    /** The field that holds the sign. */
    field: FieldName | null;
    /** The sign's index within that field, counted as `position` is. */
    fieldPosition: number | null;
    /** For a sign the converter cannot read: its byte value (0..255); otherwise null. */
    byte: number | null;
    /** A stable name for what the message is about ('unknown_sign', 'measure_rest_count', ...). */
    code: MessageCode;
}

export interface Result {
    /** True when `status` is 'converted' and `xml` holds the document. */
    ok: boolean;
    status: Status;
    /** The MusicXML document; empty unless ok (or when the options say `xml: false`). */
    xml: string;
    /**
     * The document's exact bytes, when the options asked for `bytes`; with
     * `compress`, the compressed file (.mxl) whenever ok.
     */
    data?: Uint8Array;
    /**
     * "ID-NUMBER.xml", the name the program gives the record's file
     * ("ID-NUMBER.mxl" with `compress`); empty unless ok.
     */
    fileName: string;
    /** The record's identifier as far as it was read; 0 when none was. */
    identifier: number;
    /** The incipit number as far as it was read, e.g. "1.1.1". */
    number: string;
    /** Warnings, then at most one error, in the order they arose. */
    messages: Message[];
    /**
     * With the option `melody`: the incipit's melodic keys, the fields
     * `tav_convert --keys` adds to its report line; null unless ok.
     */
    melody?: MelodyKeys | null;
}

/**
 * The melody as a search reads it (notes as they sound, ties joined, grace
 * notes left out, the highest note of a chord), in the keys of a search
 * engine's document. Intervals and contours pass rests by.
 */
export interface MelodyKeys {
    /** "C4", "F#4", "Bb3"; "r" for a rest. */
    pitches: string[];
    /** MIDI keys of the sounding notes (middle C 60). */
    midi: number[];
    /** Semitones from each sounding note to the next (+ up). */
    chromatic_intervals: number[];
    /** Steps of the staff from each sounding note to the next. */
    diatonic_intervals: number[];
    /** U up, D down, R repeated, one letter per interval. */
    gross_contour: string;
    /** u/d a step (1 or 2 semitones), U/D a leap, r repeated. */
    refined_contour: string;
    /** In quarters, rests included. */
    durations: number[];
    /** Where each note starts in its measure, in quarters; null without a time signature. */
    beats: number[] | null;
}

export interface Options {
    /** Drop mensural time signatures (the program's option m). */
    removeMensural?: boolean;
    /** Drop measure rests (the program's option r). */
    removeMeasureRests?: boolean;
    /** Also return the document's bytes as `data`. */
    bytes?: boolean;
    /** false: leave `xml` empty, for a caller that needs only `data`, the status or the messages. */
    xml?: boolean;
    /**
     * The format written: a name of `formats()`, 'musicxml1' (the default,
     * MusicXML 1.0 as the program writes it) or 'musicxml4' (the same body
     * with the 4.0 declaration, version and the day of the conversion, UTC,
     * as the encoding date) or 'mei' (MEI 4.0.1, in `xml` too). A name of no
     * format throws a RangeError.
     */
    format?: FormatName;
    /**
     * The MusicXML version written, another spelling of `format`: '1.0'
     * ('musicxml1') or '4.0' ('musicxml4'); given with `format`, both must
     * name the same row.
     */
    musicxml?: '1.0' | '4.0';
    /**
     * Make `data` the compressed MusicXML file (.mxl) that `tav_convert
     * --compress` writes: a zip of "mimetype" (first, stored),
     * META-INF/container.xml and the document "ID-NUMBER.xml" (deflated),
     * every entry dated 1980-01-01. `fileName` then ends in ".mxl"; `xml` is
     * still the document's text.
     */
    compress?: boolean;
    /**
     * For a record with a source: a link to the record in MusicXML 4.0
     * (`<relation>`), the template with each "{id}" replaced by the source's
     * control number, as `tav_convert --record-uri` makes it.
     */
    recordUri?: string;
    /** Also give the incipit's melodic keys as `melody`. */
    melody?: boolean;
}

/** A lyricist, librettist or arranger: `<creator type="ROLE">`. */
export interface Creator {
    role: string;
    name: string;
}

/** What a catalogue record tells of the source its incipits are found in. */
export interface Source {
    /** The record's 001 as written: a miscellaneous field, and the link's {id}. */
    controlNumber?: string;
    /** 852 $a and $c: the `<source>`, "D-B Mus.ms. 1234". */
    siglum?: string;
    shelfmark?: string;
    /** 100 $d. */
    composerDates?: string;
    /** 240 $n, else 383 $b: the `<work-number>`. */
    workNumber?: string;
    /** 240 $m, else 594 $b joined by ", "; names the part when it names one. */
    scoring?: string;
    /** 245 $a. */
    sourceTitle?: string;
    /** 260 $c. */
    date?: string;
    /** From 700 with $4 lyr, lbt or arr, in the record's order. */
    creators?: Creator[];
}

/** The header fields and the music of one record, and its description; a missing field is empty. */
export interface Fields {
    /** One to ten digits. */
    identifier?: string | Uint8Array;
    /** The incipit number, e.g. "1.1.1". */
    number?: string | Uint8Array;
    /** Three characters, e.g. "G-2"; empty: none. */
    clef?: string | Uint8Array;
    /** e.g. "3/4", "c", "c/"; empty: none. */
    time?: string | Uint8Array;
    /** The second time-signature field; mostly empty. */
    time2?: string | Uint8Array;
    /**
     * A key signature kept apart from the music, e.g. "bBE" or "$bBE", read
     * before it (positions count as if "$KEY " began the music field); it
     * holds a key signature and nothing more. Empty: the music's own.
     */
    key?: string | Uint8Array;
    /** The Plaine & Easie music data. */
    music?: string | Uint8Array;

    // What the document tells beside the music, e.g. from a catalogue
    // record; each that is not empty goes into the document. Without them the
    // document is the record line's, byte for byte.
    /** `<creator type="composer">`. */
    composer?: string | Uint8Array;
    /** `<work-title>`. */
    workTitle?: string | Uint8Array;
    /** `<movement-title>`. */
    movementTitle?: string | Uint8Array;
    /** The `<part-name>`, in place of "MusicXML Part". */
    partName?: string | Uint8Array;
    /** A `<miscellaneous-field>`: the text incipit. */
    textIncipit?: string | Uint8Array;
    /** A `<miscellaneous-field>`: the key or mode, in words by the catalogue's convention ("E|b": "E♭ major"). */
    keyOrMode?: string | Uint8Array;
    /** A `<miscellaneous-field>`: the role (031 $e). */
    role?: string | Uint8Array;
    /** A `<miscellaneous-field>`: a note (031 $q). */
    note?: string | Uint8Array;
    /** The `<movement-number>` (031 $a.$b.$c). */
    movementNumber?: string | Uint8Array;
    /** The source the incipit is found in, as a catalogue record gives it. */
    source?: Source;
}

/**
 * Loads the converter (the WebAssembly instance); `convert` and
 * `convertFields` throw until it has resolved. Calling it again returns the
 * same promise.
 */
export function init(): Promise<void>;

/** The names of the formats, the rows of `formats()`. */
export type FormatName = 'musicxml1' | 'musicxml4' | 'mei';

/** A format documents are written in: a row of the library's table. */
export interface OutputFormat {
    readonly name: FormatName;
    /** 'musicxml' for MusicXML's rows, which differ in version. */
    readonly family: string;
    readonly version: string;
    /** Of the file's name, e.g. '.xml'. */
    readonly suffix: string;
    readonly mediaType: string;
    readonly description: string;
    /** Of the compressed container (`compress: true`), e.g. '.mxl'; '' when there is none. */
    readonly compressedSuffix: string;
    readonly compressedMediaType: string;
    readonly compressible: boolean;
}

/** The formats `convert` writes, the default first (after `init()`). */
export function formats(): readonly OutputFormat[];

/**
 * Converts one record line: tab-separated identifier, incipit number, clef,
 * time signature, second time signature and music. A line feed or carriage
 * return ends the record. A string is read as its UTF-8 bytes.
 */
export function convert(record: string | Uint8Array, options?: Options): Result;

/**
 * Converts a record given as its six fields. Fields longer together than the
 * longest line the converter reads give 'line_too_long'.
 */
export function convertFields(fields: Fields, options?: Options): Result;

/** A note about a MARCXML document or one of its records. */
export interface MarcxmlNote {
    kind: 'warning' | 'error';
    /** e.g. 'record 2 has no control number (001)'. */
    text: string;
    /** The record's control number (001), where it has one. */
    control?: string;
}

/** One incipit of a MARCXML document: one field 031 with music. */
export interface MarcxmlRecord {
    /** Where it is: "ID 031 #N", its record's 001 and the field's occurrence. */
    label: string;
    /** The record and its description, as `convertFields` takes them. */
    fields: Fields & { identifier: string; number: string; clef: string; time: string; music: string };
}

export interface Marcxml {
    /** The incipits, in the order of the document. */
    records: MarcxmlRecord[];
    /** Errors and warnings about the document and its records, in order. */
    notes: MarcxmlNote[];
    /** How many fields 031 without music ($p) were passed over. */
    withoutMusic: number;
}

/**
 * Reads a MARCXML document (a collection, one record, records one after
 * another, or the MARC records inside an OAI-PMH or SRU response): its bytes
 * (gzip-compressed or not), decoded as their byte-order mark or XML
 * declaration says (else UTF-8), or its text. Each field 031 with music and the system code "pe" or none is a
 * record. A document that is not well-formed is read record by record, and a
 * record that is not is an error note. Needs no `init()`.
 */
export function readMarcxml(input: string | Uint8Array): Promise<Marcxml>;

/** The names of the input forms, the rows of `inputForms()`. */
export type InputFormName = 'tab' | 'marcxml' | 'pae' | 'json';

/** A form incipits are read from: a row of the library's table. */
export interface InputForm {
    readonly name: InputFormName;
    readonly description: string;
    /** How an input's start is recognised as this form. */
    readonly recognised: string;
}

/** The forms `readRecords` knows, the record lines first (after `init()`). */
export function inputForms(): readonly InputForm[];

/** An option the batch commands and the page share: a row of the library's table. */
export interface SharedOption {
  /** As the batch commands take it: --NAME. */
  readonly name: string;
  /** What its value is called in help texts; empty for a switch or a choice. */
  readonly value: string;
  /** The values it takes; empty: any. */
  readonly choices: readonly string[];
  /** Its default; empty when it has none. */
  readonly default: string;
  readonly help: string;
}

/** The options the batch commands and the page share, from the library's table. */
export function sharedOptions(): readonly SharedOption[];

/** An incipit read, or the reader's message, where it stands in the input. */
export type ReadEntry =
    | { line: number; occurrence: number;
        /** As `convertFields` takes them. */
        fields: Required<Pick<Fields, 'identifier' | 'number' | 'clef' | 'time' | 'time2' | 'key' | 'music'>>;
        /** The reader's warnings about the texts the incipit is made of. */
        warnings: { text: string; code: MessageCode }[] }
    | { line: number; occurrence: number; kind: 'warning' | 'error'; text: string; code: MessageCode };

export interface Reading {
    /** The form read: `form`, or the one the input's start is in. */
    form: InputFormName;
    /** The incipits and messages in the input's order; null for record lines, which `convert` takes one by one. */
    entries: ReadEntry[] | null;
    /** Why the input could not be read to its end (e.g. gzip data cut short); null when it was. */
    failure: string | null;
    /** Fields passed over for want of music; null for a form that has none. */
    withoutMusic: number | null;
}

/**
 * Reads the incipits of an input (its bytes, gzip-compressed or not, or its
 * text) in the form `form` names, by default the form its first bytes are
 * in, with the library's reader: the code's key-value form ('pae': lines
 * "@clef:G-2", "@keysig:bB", "@timesig:3/4", "@data:...", a blank line or
 * "@end" between incipits) and its JSON form ('json': an object, an array
 * of objects or JSON Lines with "clef", "keysig", "timesig", "data",
 * optional "id" and "number"). This build reads no MARCXML with it: use
 * `readMarcxml`.
 */
export function readRecords(input: string | Uint8Array, form?: InputFormName): Reading;

/**
 * Bytes compressed with gzip (known by their first two bytes; members one
 * after another too) decompressed, as the batch command reads them; other
 * bytes as they are. For gzip data cut short or corrupt, `error` holds the
 * command's words and `bytes` what came before the fault.
 */
export function gunzip(bytes: Uint8Array): { bytes: Uint8Array; error: string | null };
