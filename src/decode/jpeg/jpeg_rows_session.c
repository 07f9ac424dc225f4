/* libjpeg-turbo behind setjmp: see jpeg_rows_session.h for why this part is C. */
#include "decode/jpeg/jpeg_rows_session.h"

#include <setjmp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <jerror.h>
#include <jpeglib.h>

enum {
  kChunkBytes = 64 * 1024, /* one read of the file */
  kRowsPerCall = 16,       /* rows asked of libjpeg at once; the stop test runs between calls */
  kMaxScans = 500          /* more scans than any real encoder writes: a decode that would crawl */
};

struct JpegRowsSession {
  struct jpeg_decompress_struct decoder;
  struct jpeg_error_mgr errors;
  struct jpeg_source_mgr source;
  struct jpeg_progress_mgr progress;
  jmp_buf failed; /* set by every entry point before it calls into libjpeg */
  int created;
  JpegRowsStatus reason; /* why the last jump happened */
  JpegRowsReadFn read;
  void* readContext;
  JpegRowsStopFn stop;
  void* stopContext;
  JpegRowsProgressFn rowsWritten;
  void* rowsWrittenContext;
  JDIMENSION outputWidth, outputHeight; /* what the decode must give: the frame, or its reduction */
  unsigned char chunk[kChunkBytes];
};

static JpegRowsSession* SessionOf(j_common_ptr info) {
  /* The decoder is the first member, so its address is the session's. */
  return (JpegRowsSession*)(void*)info;
}

static void Fail(JpegRowsSession* session, JpegRowsStatus reason) {
  session->reason = reason;
  longjmp(session->failed, 1);
}

static void ExitOnError(j_common_ptr info) { Fail(SessionOf(info), kJpegRowsFailed); }

/* Warnings (corrupt but decodable data) are counted by libjpeg and decoded through, as the
   imaging library does; nothing is printed. */
static void PrintNothing(j_common_ptr info) { (void)info; }

static void StartSource(j_decompress_ptr info) { (void)info; }

static boolean FillSource(j_decompress_ptr info) {
  JpegRowsSession* session = SessionOf((j_common_ptr)info);
  const size_t got = session->read(session->readContext, session->chunk, sizeof session->chunk);
  /* The file ends before the picture does: the caller decides what a short file shows. */
  if (got == 0 || got > sizeof session->chunk) Fail(session, kJpegRowsEndOfData);
  session->source.next_input_byte = session->chunk;
  session->source.bytes_in_buffer = got;
  return TRUE;
}

static void SkipSource(j_decompress_ptr info, long count) {
  struct jpeg_source_mgr* source = info->src;
  while (count > (long)source->bytes_in_buffer) {
    count -= (long)source->bytes_in_buffer;
    FillSource(info);
  }
  if (count > 0) {
    source->next_input_byte += count;
    source->bytes_in_buffer -= (size_t)count;
  }
}

static void EndSource(j_decompress_ptr info) { (void)info; }

/* Called per row batch and per row of coefficients while a progressive file is read in. */
static void Progress(j_common_ptr info) {
  JpegRowsSession* session = SessionOf(info);
  if (session->decoder.input_scan_number > kMaxScans) Fail(session, kJpegRowsFailed);
  if (session->stop != NULL && session->stop(session->stopContext)) Fail(session, kJpegRowsStopped);
}

/* Zero when creation ran out of memory (then there is nothing to destroy). */
static int CreateDecoder(JpegRowsSession* session) {
  if (setjmp(session->failed)) return 0;
  jpeg_create_decompress(&session->decoder);
  session->created = 1;
  return 1;
}

JpegRowsSession* JpegRowsOpen(JpegRowsReadFn read, void* readContext) {
  JpegRowsSession* session = (JpegRowsSession*)calloc(1, sizeof(JpegRowsSession));
  if (session == NULL) return NULL;
  session->read = read;
  session->readContext = readContext;
  session->decoder.err = jpeg_std_error(&session->errors);
  session->errors.error_exit = ExitOnError;
  session->errors.output_message = PrintNothing;
  if (!CreateDecoder(session)) {
    free(session);
    return NULL;
  }
  session->source.init_source = StartSource;
  session->source.fill_input_buffer = FillSource;
  session->source.skip_input_data = SkipSource;
  session->source.resync_to_restart = jpeg_resync_to_restart;
  session->source.term_source = EndSource;
  session->decoder.src = &session->source;
  session->progress.progress_monitor = Progress;
  session->decoder.progress = &session->progress;
  return session;
}

void JpegRowsClose(JpegRowsSession* session) {
  if (session == NULL) return;
  /* jpeg_destroy only frees memory and never reaches the error exit. */
  if (session->created) jpeg_destroy_decompress(&session->decoder);
  free(session);
}

JpegRowsStatus JpegRowsReadHeader(JpegRowsSession* session, int takeCmyk, int* width, int* height,
                                  JpegRowsColour* colour) {
  struct jpeg_decompress_struct* d = &session->decoder;
  if (setjmp(session->failed)) {
    /* A frame header read before the failure still tells the size the file claims (0 when none
       was read: the struct starts zeroed). */
    *width = (int)d->image_width;
    *height = (int)d->image_height;
    return session->reason;
  }
  jpeg_read_header(d, TRUE);
  /* The size is told even for kinds declined below, so that the caller can refuse too large a
     picture before any other decoder sees it. */
  *width = (int)d->image_width;
  *height = (int)d->image_height;
  if (d->data_precision != 8) return kJpegRowsFailed;
  if (d->num_components == 3 && (d->jpeg_color_space == JCS_YCbCr || d->jpeg_color_space == JCS_RGB)) {
    d->out_color_space = JCS_EXT_BGR;
    *colour = kJpegRowsBgr;
  } else if (d->num_components == 1 && d->jpeg_color_space == JCS_GRAYSCALE) {
    d->out_color_space = JCS_GRAYSCALE;
    *colour = kJpegRowsGrey;
  } else if (takeCmyk && d->num_components == 4 &&
             (d->jpeg_color_space == JCS_CMYK || d->jpeg_color_space == JCS_YCCK)) {
    /* libjpeg turns YCCK into CMYK itself. Files with Adobe's marker store the inks inverted
       (Photoshop's habit, which every reader of them follows). */
    d->out_color_space = JCS_CMYK;
    *colour = d->saw_Adobe_marker ? kJpegRowsInvertedCmyk : kJpegRowsCmyk;
  } else {
    return kJpegRowsFailed; /* the rest go to the imaging library */
  }
  if (d->image_width == 0 || d->image_height == 0) return kJpegRowsFailed;
  session->outputWidth = d->image_width;
  session->outputHeight = d->image_height;
  return kJpegRowsOk;
}

JpegRowsStatus JpegRowsScaleDown(JpegRowsSession* session, int denominator, int* width, int* height) {
  struct jpeg_decompress_struct* d = &session->decoder;
  if (denominator != 2 && denominator != 4 && denominator != 8) return kJpegRowsFailed;
  if (setjmp(session->failed)) return session->reason;
  d->scale_num = 1;
  d->scale_denom = (unsigned int)denominator;
  /* A preview: the fast integer transform and plain upsampling cost least and differ from the
     exact ones by less than the reduction that follows can show. */
  d->dct_method = JDCT_IFAST;
  d->do_fancy_upsampling = FALSE;
  jpeg_calc_output_dimensions(d);
  session->outputWidth = d->output_width;
  session->outputHeight = d->output_height;
  *width = (int)d->output_width;
  *height = (int)d->output_height;
  return kJpegRowsOk;
}

void JpegRowsSetProgress(JpegRowsSession* session, JpegRowsProgressFn progress, void* progressContext) {
  session->rowsWritten = progress;
  session->rowsWrittenContext = progressContext;
}

/* Reads the output rows in batches into topRow + y * pitch, telling the progress callback and
   asking the stop test after each batch. Only called under a jump point set by the caller. */
static JpegRowsStatus ReadEveryRow(JpegRowsSession* session, unsigned char* topRow, ptrdiff_t pitch,
                                   int* rowsDone) {
  struct jpeg_decompress_struct* d = &session->decoder;
  while (d->output_scanline < d->output_height) {
    JSAMPROW rows[kRowsPerCall];
    const JDIMENSION first = d->output_scanline;
    JDIMENSION count = d->output_height - first;
    JDIMENSION i;
    if (count > kRowsPerCall) count = kRowsPerCall;
    for (i = 0; i < count; ++i) rows[i] = topRow + (ptrdiff_t)(first + i) * pitch;
    /* Our source never suspends, so every call makes progress. */
    if (jpeg_read_scanlines(d, rows, count) == 0) return kJpegRowsFailed;
    *rowsDone = (int)d->output_scanline;
    if (session->rowsWritten != NULL) session->rowsWritten(session->rowsWrittenContext, *rowsDone);
    if (session->stop != NULL && session->stop(session->stopContext)) return kJpegRowsStopped;
  }
  return kJpegRowsOk;
}

int JpegRowsProgressive(JpegRowsSession* session) { return session->decoder.progressive_mode ? 1 : 0; }

/* Every component has its DC coefficients, at some precision: the first scans are enough for a
   picture of every colour. */
static int EveryComponentHasItsDc(const struct jpeg_decompress_struct* d) {
  int c;
  if (d->coef_bits == NULL) return 0;
  for (c = 0; c < d->num_components; ++c) {
    if (d->coef_bits[c][0] < 0) return 0;
  }
  return 1;
}

JpegRowsStatus JpegRowsDecodeFirstScans(JpegRowsSession* session, unsigned char* topRow, ptrdiff_t pitch,
                                        JpegRowsStopFn stop, void* stopContext, int* rowsDone) {
  struct jpeg_decompress_struct* d = &session->decoder;
  int status = JPEG_SUSPENDED;
  *rowsDone = 0;
  session->stop = stop;
  session->stopContext = stopContext;
  if (setjmp(session->failed)) return session->reason;
  if (!d->progressive_mode) return kJpegRowsFailed;
  d->buffered_image = TRUE;
  /* Reduced, each block's DC is the average of its pixels already; smoothing, which guesses the
     missing coefficients from the neighbours' DCs, would blend neighbouring blocks into it. */
  if (d->scale_denom > d->scale_num) d->do_block_smoothing = FALSE;
  jpeg_start_decompress(d);
  if ((d->output_components != 3 && d->output_components != 1) || d->output_width != session->outputWidth ||
      d->output_height != session->outputHeight) {
    return kJpegRowsFailed;
  }
  /* Our source never suspends: each call reads on until a scan ends or the file does. */
  do {
    status = jpeg_consume_input(d);
    if (stop != NULL && stop(stopContext)) return kJpegRowsStopped;
  } while (status != JPEG_REACHED_EOI && !(status == JPEG_SCAN_COMPLETED && EveryComponentHasItsDc(d)));
  jpeg_start_output(d, d->input_scan_number);
  /* The rest of the file is the full decode's: this session ends with these rows. */
  return ReadEveryRow(session, topRow, pitch, rowsDone);
}

JpegRowsStatus JpegRowsDecode(JpegRowsSession* session, unsigned char* topRow, ptrdiff_t pitch,
                              JpegRowsStopFn stop, void* stopContext, int* rowsDone) {
  struct jpeg_decompress_struct* d = &session->decoder;
  *rowsDone = 0;
  session->stop = stop;
  session->stopContext = stopContext;
  if (setjmp(session->failed)) return session->reason;
  jpeg_start_decompress(d);
  if ((d->output_components != 4 && d->output_components != 3 && d->output_components != 1) ||
      d->output_width != session->outputWidth ||
      d->output_height != session->outputHeight) {
    return kJpegRowsFailed;
  }
  /* What follows the last row (normally just the end marker) is not read: the picture is done. */
  return ReadEveryRow(session, topRow, pitch, rowsDone);
}
